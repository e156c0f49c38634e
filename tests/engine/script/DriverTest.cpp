#include "uDriver.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "FileWalk.h"
#include "IniFile.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uEinstellungen.h"

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Mode dispatch

TEST(DriverMode, CorrectionOrConfigurationProgram) {
  EXPECT_FALSE(IsCorrectionCommandLine({}));
  EXPECT_FALSE(IsCorrectionCommandLine({"-x"}));
  EXPECT_FALSE(IsCorrectionCommandLine({"/x", "News"}));
  EXPECT_FALSE(IsCorrectionCommandLine({"?"}));
  EXPECT_TRUE(IsCorrectionCommandLine({"?x"}));
  EXPECT_TRUE(IsCorrectionCommandLine({"News", "-x"}));
  EXPECT_TRUE(IsCorrectionCommandLine({"x-"}));
}

TEST(DriverMode, CopyIfOnlyAsFirstArgumentInAnyCase) {
  for (const Args& args : {Args{"copyif"}, Args{"COPYIF"}, Args{"CopyIf", "News", "Mails"}})
    EXPECT_EQ(ParseCommandLineMode(args, true).Mode, TRunMode::CopyIf) << args[0];
  TCommandLineMode m = ParseCommandLineMode({"News", "copyif"}, true);
  EXPECT_EQ(m.Mode, TRunMode::Profiles);
  EXPECT_EQ(m.Count, 2);
}

TEST(DriverMode, SingleFileNeedsExactlyBothPrefixes) {
  TCommandLineMode m = ParseCommandLineMode({"Type:News", R"(Filename:C:\x.msg)"}, false);
  EXPECT_EQ(m.Mode, TRunMode::SingleFile);
  EXPECT_EQ(m.ProfileOverride, "News");
  EXPECT_EQ(m.FileName, R"(C:\x.msg)");
  EXPECT_EQ(m.Count, 1);

  m = ParseCommandLineMode({"type:news", "FILENAME:x.msg"}, false);
  EXPECT_EQ(m.Mode, TRunMode::SingleFile);
  EXPECT_EQ(m.ProfileOverride, "news");
  EXPECT_EQ(m.FileName, "x.msg");

  // An empty profile part leaves no override: the loop then takes "Type:" itself.
  m = ParseCommandLineMode({"Type:", "Filename:x"}, false);
  EXPECT_EQ(m.Mode, TRunMode::SingleFile);
  EXPECT_EQ(m.ProfileOverride, "");

  for (const Args& args : {Args{"Type:News", "Filename:x", "y"}, Args{"Filename:x", "Type:News"},
                           Args{"Typ:News", "Filename:x"}, Args{"Type:News"}}) {
    m = ParseCommandLineMode(args, false);
    EXPECT_EQ(m.Mode, TRunMode::Profiles) << args[0];
    EXPECT_EQ(m.Count, int(args.size()));
  }
}

TEST(DriverMode, HandoversOnlyExactlyAndOnlyWhereReceived) {
  EXPECT_EQ(ParseCommandLineMode({"#ShowError#", "f"}, true).Mode, TRunMode::ShowError);
  EXPECT_EQ(ParseCommandLineMode({"#InputBox#", "f"}, true).Mode, TRunMode::InputBox);
  EXPECT_EQ(ParseCommandLineMode({"#ShowError#", "f"}, false).Mode, TRunMode::Profiles);
  EXPECT_EQ(ParseCommandLineMode({"#InputBox#", "f"}, false).Mode, TRunMode::Profiles);
  EXPECT_EQ(ParseCommandLineMode({"#showerror#", "f"}, true).Mode, TRunMode::Profiles);
  TCommandLineMode m = ParseCommandLineMode({"#ShowError#", "f", "g"}, true);
  EXPECT_EQ(m.Mode, TRunMode::Profiles);
  EXPECT_EQ(m.Count, 3);
}

TEST(DriverMode, ProfileNamesTheIniFileCannotHold) {
  EXPECT_TRUE(IsValidProfileName("News"));
  EXPECT_TRUE(IsValidProfileName("mails.in"));
  EXPECT_TRUE(IsValidProfileName("Type:"));
  EXPECT_TRUE(IsValidProfileName("[x"));
  EXPECT_FALSE(IsValidProfileName("a]b"));
  EXPECT_FALSE(IsValidProfileName("a\rb"));
  EXPECT_FALSE(IsValidProfileName("a\nb"));
  EXPECT_FALSE(IsValidProfileName(" News"));
  EXPECT_FALSE(IsValidProfileName("News\t"));
}

TEST(DriverExitCode, OutsideTheByteRangeIsAFailure) {
  for (auto [code, expected] : std::vector<std::pair<int32_t, int>>{
           {0, 0}, {3, 3}, {255, 255}, {256, 255}, {-1, 255}, {INT_MAX, 255}, {INT_MIN, 255}})
    EXPECT_EQ(RunnerProcessExitCode(code), expected) << code;
}

// ---------------------------------------------------------------------------
// The run itself, in a program directory of its own

namespace {

class TScriptedPrompter : public TPrompter {
public:
  std::vector<int> answers;  // taken in turn; the default button when used up
  std::vector<std::string> captions, texts;

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    captions.push_back(caption);
    texts.push_back(text);
    if (answers.empty()) return DefaultButton(flags);
    int a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return false; }
};

class DriverRun : public ::testing::Test {
protected:
  TempDir dir;
  TScriptedPrompter prompter;
  std::vector<std::string> visited;
  std::string savedProgramDir = ProgramDir();

  void SetUp() override {
    SetProgramDir(dir.Path());
    SetPrompter(&prompter);
    SetDriverHost(TDriverHost::Runner);
    SetFileHandler([this](const std::string& f) { visited.push_back(f); });
    fs::create_directory(dir / "msgs");
  }
  void TearDown() override {
    SetFileHandler({});
    SetPrompter(nullptr);
    SetDriverHost(TDriverHost::Runner);
    SetCommandLine(Args{});
    SetProgramDir(savedProgramDir);
  }

  std::string Ini() const { return dir / "Tidelarn.ini"; }
  std::string Msgs() const { return dir.Path() + "/msgs/"; }
  void Profile(const std::string& name, const std::string& messagePath,
               const std::string& filePath) {
    std::string text = fs::exists(Ini()) ? ReadFile(Ini()) : std::string();
    text += "[" + name + "]\r\nMessagePath=" + messagePath + "\r\nFilePath=" + filePath + "\r\n";
    WriteFile(Ini(), text);
  }
  void Run(const Args& args) {
    SetCommandLine(args);
    RunCorrector();
  }
  std::vector<std::string> Reports() const { return ListFiles(dir.Path(), "VQ-*.tmp"); }
};

}  // namespace

TEST_F(DriverRun, WalksASortedSnapshotOfTheMatchingFiles) {
  Profile("News", Msgs(), dir.Path());
  for (const char* f : {"b.msg", "a.msg", "C.MSG", "d.msg", "c.txt", ".hidden.msg", "msg"})
    WriteFile(Msgs() + f, "x");
  fs::create_directory(Msgs() + "sub.msg");
  // The first file's correction deletes a later one and creates new ones.
  SetFileHandler([this](const std::string& f) {
    if (visited.empty()) {
      fs::remove(Msgs() + "d.msg");
      WriteFile(Msgs() + "a0.msg", "new");
      WriteFile(Msgs() + "e.msg", "new");
    }
    visited.push_back(f);
  });
  Run({"news"});
  EXPECT_EQ(visited, (Args{Msgs() + "C.MSG", Msgs() + "a.msg", Msgs() + "b.msg"}));
  EXPECT_TRUE(prompter.texts.empty());
}

// A message that cannot be read is passed over, named, and ends the run with
// 1; one that a server took away before it was read is no failure.
TEST_F(DriverRun, OnlyAMessageThatIsStillThereIsPassedOver) {
  Profile("News", Msgs(), dir.Path());
  for (const bool taken : {true, false}) {
    for (const char* f : {"a.msg", "b.msg"}) WriteFile(Msgs() + f, "x");
    visited.clear();
    SetFileHandler([&](const std::string& f) {
      visited.push_back(f);
      if (f != Msgs() + "a.msg") return;
      if (taken) fs::remove(f);
      throw EMessageFileError("cannot be read");
    });
    SetCommandLine(Args{"News"});
    EXPECT_EQ(RunCorrector(), taken ? 0 : 1) << taken;
    EXPECT_EQ(visited, (Args{Msgs() + "a.msg", Msgs() + "b.msg"})) << taken;
  }
}

TEST_F(DriverRun, TheProfileChoosesTheExtension) {
  Profile("Mails", Msgs(), dir.Path());
  WriteFile(Ini(), ReadFile(Ini()) + "CheckFilesWithExtension=eml\r\n");
  WriteFile(Msgs() + "a.msg", "x");
  WriteFile(Msgs() + "b.EML", "x");
  Run({"Mails"});
  EXPECT_EQ(visited, (Args{Msgs() + "b.EML"}));
}

TEST_F(DriverRun, AWindowsStyleWorkPathIsOpenedAsALinuxPath) {
  Profile("Win", "msgs\\", dir.Path());
  WriteFile(Msgs() + "a.msg", "x");
  Run({"Win"});
  EXPECT_EQ(visited, Args{ProgramDir() + "msgs/a.msg"});
}

TEST_F(DriverRun, ProfilesRunInTheOrderGiven) {
  fs::create_directory(dir / "other");
  Profile("A", dir.Path() + "/other/", dir.Path());
  Profile("B", Msgs(), dir.Path());
  WriteFile(Msgs() + "m.msg", "x");
  WriteFile(dir.Path() + "/other/o.msg", "x");
  Run({"B", "A", "B"});
  EXPECT_EQ(visited, (Args{Msgs() + "m.msg", dir.Path() + "/other/o.msg", Msgs() + "m.msg"}));
}

TEST_F(DriverRun, UnknownProfileNoSkipsItCancelEndsTheRun) {
  Profile("News", Msgs(), dir.Path());
  WriteFile(Msgs() + "m.msg", "x");
  prompter.answers = {id::No};
  Run({"Neu", "News"});
  EXPECT_EQ(visited, Args{Msgs() + "m.msg"});
  ASSERT_EQ(prompter.texts.size(), 1u);
  EXPECT_EQ(prompter.captions[0], "Unbekannter Abschnitt");
  EXPECT_NE(prompter.texts[0].find("\"Neu\""), std::string::npos);
  EXPECT_EQ(ReadFile(Ini()).find("[Neu]"), std::string::npos);

  visited.clear();
  prompter.answers = {id::Cancel};
  Run({"Neu", "News"});
  EXPECT_TRUE(visited.empty());
  EXPECT_EQ(ReadFile(Ini()).find("[Neu]"), std::string::npos);
}

TEST_F(DriverRun, UnknownProfileYesCreatesItWithItsDefaults) {
  WriteFile(dir / "z.msg", "x");
  prompter.answers = {id::Yes};
  Run({"Neu"});
  // An empty MessagePath is the program directory.
  EXPECT_EQ(visited, Args{ProgramDir() + "z.msg"});
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadString("Neu", "CheckFilesWithExtension", "?"), "msg");
  EXPECT_TRUE(ini.ValueExists("Neu", "MessagePath"));
}

TEST_F(DriverRun, MissingWorkDirectoryEndsTheWholeRun) {
  Profile("Bad", dir.Path() + "/nowhere", dir.Path());
  Profile("News", Msgs(), dir.Path());
  WriteFile(Msgs() + "m.msg", "x");
  try {
    Run({"Bad", "News"});
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_TRUE(StartsStr("Das Arbeitsverzeichnis \"" + dir.Path() + "/nowhere", e.Message()))
        << e.Message();
    EXPECT_TRUE(EndsStr("\" existiert nicht!", e.Message())) << e.Message();
  }
  EXPECT_TRUE(visited.empty());
  EXPECT_TRUE(Reports().empty()) << "the runner writes no report";
}

TEST_F(DriverRun, MissingFileDirectoryEndsTheRun) {
  Profile("Bad", Msgs(), dir.Path() + "/nowhere");
  WriteFile(Msgs() + "m.msg", "x");
  try {
    Run({"Bad"});
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_TRUE(StartsStr("Das Dateiverzeichnis \"", e.Message())) << e.Message();
  }
  EXPECT_TRUE(visited.empty());
}

TEST_F(DriverRun, SingleFileTestsNoDirectory) {
  Profile("News", dir.Path() + "/nowhere", dir.Path() + "/nowhere");
  Run({"Type:news", "Filename:/some/where/x.msg"});
  EXPECT_EQ(visited, Args{"/some/where/x.msg"});
  EXPECT_TRUE(prompter.texts.empty());
}

TEST_F(DriverRun, EmptyTypeRunsTheDirectoryLoopOfTypeItself) {
  WriteFile(dir / "z.msg", "x");
  Run({"Type:", "Filename:x"});
  EXPECT_EQ(visited, Args{ProgramDir() + "z.msg"});
  ASSERT_EQ(prompter.texts.size(), 1u);
  EXPECT_NE(prompter.texts[0].find("\"Type:\""), std::string::npos);
  EXPECT_TRUE(TIniFile(Ini()).SectionExists("Type:"));
}

TEST_F(DriverRun, CopyIfSkipsTheProfiles) {
  Run({"COPYIF", "News"});
  // Without CopyIf.ini the CopyIf run ends at once with its message.
  ASSERT_EQ(prompter.texts.size(), 1u);
  EXPECT_EQ(prompter.texts[0], "Keine CopyIf.def vorhanden => Abbruch");
  EXPECT_FALSE(fs::exists(Ini()));
  Profile("News", Msgs(), dir.Path());
  Run({"News"});
  EXPECT_EQ(prompter.texts.size(), 1u);  // no CopyIf this time
}

TEST_F(DriverRun, OnlyTheConfigurationProgramReceivesHandovers) {
  SetDriverHost(TDriverHost::ConfigProgram);
  WriteFile(dir / "err.tmp", "F\r\nS\r\n0\r\nL\r\nE\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n");
  WriteFile(dir / "in.tmp", "[InputBox]\r\nDefault=x\r\n");
  Run({"#ShowError#", dir / "err.tmp"});
  Run({"#InputBox#", dir / "in.tmp"});
  EXPECT_TRUE(prompter.texts.empty());
  EXPECT_FALSE(fs::exists(Ini()));
  EXPECT_EQ(ReadFile(dir / "err.tmp"), "1\r\n4\r\n");  // the headless display ends
}

TEST_F(DriverRun, TheConfigurationProgramReportsAFailedRun) {
  SetDriverHost(TDriverHost::ConfigProgram);
  Profile("Bad", dir.Path() + "/nowhere", dir.Path());
  EXPECT_THROW(Run({"Bad", "p2", "p3", "p4"}), Exception);
  std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  TIniFile report(dir / reports[0]);
  EXPECT_EQ(report.ReadString("EXCEPTION", "Reason", ""), "call TidelarnRun");
  EXPECT_TRUE(StartsStr("Das Arbeitsverzeichnis", report.ReadString("EXCEPTION", "Message", "")));
  EXPECT_NE(report.ReadString("EXCEPTION", "DateTime", ""), "");
  EXPECT_EQ(report.ReadString("EXCEPTION", "Para 1", ""), "Bad");
  EXPECT_EQ(report.ReadString("EXCEPTION", "Para 2", ""), "p2");
  EXPECT_EQ(report.ReadString("EXCEPTION", "Para 3", ""), "p3");
  EXPECT_FALSE(report.ValueExists("EXCEPTION", "Para 4"));
}
