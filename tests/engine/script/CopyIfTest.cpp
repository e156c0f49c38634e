// The CopyIf run over a file-backed news-server folder that each test builds:
// which articles the script sees (it records them with Do Write IniStr), the
// counters and the statistics box, the mail info, the progress log and the
// failures of the walk and of the finish.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <tuple>

#include "IniFile.h"
#include "NewsServer.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uCopyIf.h"
#include "uDriver.h"
#include "uEinstellungen.h"
#include "uHamster.h"
#include "uTools.h"

namespace fs = std::filesystem;

namespace {

class TRecordingPrompter : public TPrompter {
public:
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    boxes.emplace_back(ToUtf8(text), ToUtf8(caption), flags);
    return id::Ok;
  }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return true; }
  int ShowErrorOrDebug(TErrorDisplay& display) override {
    errors.push_back(ToUtf8(display.errorMsg));
    return ErrorChoice::Continue;
  }

  std::vector<std::tuple<std::string, std::string, unsigned>> boxes;
  std::vector<std::string> errors;
};

// The file-backed server with calls that fail on demand.
class TFaultyServer : public TFileNewsServer {
public:
  using TFileNewsServer::TFileNewsServer;
  void ControlAddLog(const std::string&, int32_t) override {
    ++logCalls;
    throw ENewsServerError("log refused");
  }
  std::string ControlGetMailsPath() override { throw ENewsServerError("no mails path"); }
  std::string ControlGetPath() override {
    if (failPath) throw ENewsServerError("no path");
    return TFileNewsServer::ControlGetPath();
  }
  static inline int logCalls = 0;
  static inline bool failPath = false;
};

std::string Article(const std::string& group, int n, const std::string& subject,
                    const std::string& messageId) {
  std::string text =
      "From: a@example.org\r\nNewsgroups: " + group + "\r\nSubject: " + subject + "\r\n";
  if (!messageId.empty()) text += "Message-ID: " + messageId + "\r\n";
  return text + "\r\nBody of " + IntToStr(n) + "\r\n";
}

class CopyIf : public ::testing::Test {
protected:
  void SetUp() override {
    SetDriverHost(TDriverHost::ConfigProgram);  // the titles carry Tidelarn's version
    LoadCharsetTables();
    SetProgramDir(dir.Path() + "/");
    SetPrompter(&prompter);
    setenv("TIDELARN_NEWSSERVER", server.c_str(), 1);
    fs::create_directories(server + "/Groups");
    WriteFile(server + "/Hamster.ini", "");
    Settings("");
    // Every tested article leaves its subject in tested.ini.
    Script("Do Write IniStr \"tested.ini\", \"Seen\", Header(\"Subject\"), \"1\"\r\n");
  }
  void TearDown() override {
    SetDriverHost(TDriverHost::Runner);
    SetPrompter(nullptr);
    SetNewsServerFactory({});
    unsetenv("TIDELARN_NEWSSERVER");
    SetCommandLine(std::vector<std::string>{});
  }

  // Keys of [Settings] after the first, which switches the mail info.
  void Settings(const std::string& extra, bool mailInfo = false) {
    WriteFile(dir / "CopyIf.ini",
              "[Settings]\r\nMailInfo=" + std::string(mailInfo ? "1" : "0") + "\r\n" + extra);
  }
  // The script as the engine reads it: in the internal charset.
  void Script(const std::string& utf8) { WriteFile(dir / "Copyif.def", FromUtf8(utf8)); }
  // Articles First..Last of a group, with subjects "<group>#<n>".
  void Group(const std::string& name, int first, int last) {
    std::string folder = server + "/Groups/" + name;
    fs::create_directories(folder);
    for (int n = first; n <= last; ++n)
      WriteFile(folder + "/" + IntToStr(n),
                Article(name, n, name + "#" + IntToStr(n), "<" + IntToStr(n) + "@" + name + ">"));
    groups += name + "\n";
    WriteFile(server + "/Groups/groups.lst", groups);
  }
  void Put(const std::string& group, int n, const std::string& text) {
    WriteFile(server + "/Groups/" + group + "/" + IntToStr(n), text);
  }

  void RunCopyIfMode() {
    fs::remove(dir / "tested.ini");
    SetCommandLine(std::vector<std::string>{"copyif"});
    RunCorrector();
  }
  // The pass without the driver, for a look at the run's state afterwards.
  void RunPass(TCopyIfRun& run) {
    fs::remove(dir / "tested.ini");
    run.RunCopyIf();
  }
  // Subjects of the articles the last run tested, in the order tested.
  std::vector<std::string> Tested() const {
    return TIniFile(dir / "tested.ini").ReadSection("Seen");
  }
  std::string StatisticsBox() const {
    for (const auto& [text, caption, flags] : prompter.boxes)
      if (caption == "Tidelarn/CopyIf V4.2.8 - Ergebnisse") return text;
    return "<no box>";
  }

  TempDir dir;
  std::string server = dir / "server";
  std::string groups;
  TRecordingPrompter prompter;
  THamsterSession hamster;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(CopyIf, NewGroupTestsItsNewestArticlesEveryRun) {
  Group("de.test", 1, 500);
  RunCopyIfMode();
  std::vector<std::string> tested = Tested();
  ASSERT_EQ(tested.size(), 100u);
  EXPECT_EQ(tested.front(), "de.test#401");
  EXPECT_EQ(tested.back(), "de.test#500");
  // Simulation: the number of the last tested article is not stored.
  EXPECT_FALSE(TIniFile(dir / "CopyIf.ini").SectionExists("Groups"));
  RunCopyIfMode();
  EXPECT_EQ(Tested().size(), 100u);
  EXPECT_TRUE(prompter.errors.empty());
}

TEST_F(CopyIf, StoredNumbersLowestArticleAndTestMaxPostings) {
  Group("de.a", 1, 50);
  Group("de.b", 1, 50);
  Group("de.c", 20, 30);
  Settings("TestMaxPostings=10\r\n[Groups]\r\nde.b=45\r\nde.c=5\r\n");
  RunCopyIfMode();
  std::vector<std::string> tested = Tested();
  ASSERT_EQ(tested.size(), 10u + 5u + 10u);
  EXPECT_EQ(tested[0], "de.a#41");
  EXPECT_EQ(tested[10], "de.b#46");
  EXPECT_EQ(tested[15], "de.c#21");  // 20..30 capped to the last ten
  EXPECT_EQ(TIniFile(dir / "CopyIf.ini").ReadString("Groups", "de.b", ""), "45");
}

TEST_F(CopyIf, CrosspostsRunOnceAndArticlesWithoutIdAlways) {
  Group("de.a", 1, 2);
  Group("de.b", 1, 2);
  Put("de.a", 1, Article("de.a,de.b", 1, "cross-a", "<same@x>"));
  Put("de.b", 1, Article("de.a,de.b", 1, "cross-b", "<SAME@x>"));
  Put("de.a", 2, Article("de.a", 2, "noid-a", ""));
  Put("de.b", 2, Article("de.b", 2, "noid-b", ""));
  RunCopyIfMode();
  EXPECT_EQ(Tested(), (std::vector<std::string>{"cross-a", "noid-a", "noid-b"}));

  Settings("CheckXPostingsOnlyOnce=0\r\n");
  RunCopyIfMode();
  EXPECT_EQ(Tested().size(), 4u);
}

TEST_F(CopyIf, IgnoredGroupsAreSkipped) {
  Group("local.test", 1, 1);
  Group("de.alt.all", 1, 1);
  Group("de.comp", 1, 1);
  RunCopyIfMode();
  EXPECT_EQ(Tested(), std::vector<std::string>{"de.comp#1"});
  Settings("DontIgnoreGroups=^LOCAL\\.test$\r\n");
  RunCopyIfMode();
  EXPECT_EQ(Tested(), (std::vector<std::string>{"local.test#1", "de.comp#1"}));
}

TEST_F(CopyIf, CountersMakeTheStatistics) {
  Group("de.test", 1, 3);
  Put("de.test", 1, Article("de.test", 1, "a", "<1@x>"));
  Put("de.test", 2, Article("de.test", 2, "b", "<2@x>"));
  Put("de.test", 3, Article("de.test", 3, "a", "<3@x>"));
  Script("Do Def Counter \"Leer\", , , \"Spam\", , \"Treffer: * Stück\"\r\n"
         "Do Inc Counter \"Spam\", Header(\"Subject\")\r\n"
         "Do Inc Counter \"Treffer: * Stück\"\r\n");
  TCopyIfRun run(hamster);
  RunPass(run);
  EXPECT_TRUE(prompter.errors.empty());
  // Zero counters go, double and outer separators too; counts replace "*" or follow.
  std::string box = StatisticsBox();
  EXPECT_EQ(box.substr(0, box.find("Gesamtdauer: ")),
            "Spam: 3\r\n - a: 2\r\n - b: 1\r\n\r\nTreffer: 3 Stück\r\n\r\nSTATISTIK\r\n"
            "Gruppen: 1, Artikel: 3, Exportiert: 0, Kopiert: 0, Geändert: 0\r\n");
  EXPECT_TRUE(Has(box, ", Je Posting: "));
  EXPECT_EQ(std::get<2>(prompter.boxes.back()), unsigned(mb::Ok));
  // The counters belong to the run only.
  EXPECT_EQ(run.CopyIfSettings(), nullptr);
}

TEST_F(CopyIf, NoBoxWithoutCountsUnlessAlwaysWanted) {
  Group("de.test", 1, 2);
  Script("Do Def Counter \"Nie\"\r\n");
  RunCopyIfMode();
  EXPECT_TRUE(prompter.boxes.empty());

  WriteFile(dir / "CopyIf.ini",
            "[Settings]\r\nMailInfo=0\r\n[Display]\r\nShowResultAlways=1\r\n"
            "ShowOnlyCounterGreaterThanNull=0\r\n");
  RunCopyIfMode();
  std::string box = StatisticsBox();
  EXPECT_EQ(box.substr(0, box.find("Gesamtdauer")),
            "Nie: 0\r\n\r\nSTATISTIK\r\nGruppen: 1, Artikel: 2, Exportiert: 0, Kopiert: 0, "
            "Geändert: 0\r\n");
}

TEST_F(CopyIf, MailInfoCountsUnfetchedMails) {
  Group("de.test", 1, 1);
  for (const char* box : {"Mails/alice", "Mails/Mail.Out", "Mails/.trash", "Mails/empty"})
    fs::create_directories(server + "/" + box);
  WriteFile(server + "/Mails/alice/1.msg", "x");
  WriteFile(server + "/Mails/alice/2.MSG", "x");
  WriteFile(server + "/Mails/alice/note.txt", "x");
  WriteFile(server + "/Mails/Mail.Out/1.msg", "x");
  WriteFile(server + "/Mails/.trash/1.msg", "x");
  Settings("", true);
  Script("Do Inc Counter \"Gelesen\"\r\n");
  RunCopyIfMode();
  std::string box = StatisticsBox();
  EXPECT_EQ(box.substr(0, box.find("STATISTIK")),
            "Gelesen: 1\r\n\r\nUnabgeholte Mails für \"alice\": 2\r\n\r\n");
}

TEST_F(CopyIf, ProgressGoesToTheServerLogUntilItFails) {
  Group("de.test", 1, 4);
  RunCopyIfMode();
  std::string log = ReadFile(server + "/Logs/control.log");
  EXPECT_TRUE(Has(log, "[3] CopyIf: de.test wird getestet\n"));
  EXPECT_TRUE(Has(log, "[7] CopyIf: de.test wird getestet - 25%\n"));
  EXPECT_TRUE(Has(log, "[7] CopyIf: de.test wird getestet - 100%\n"));

  SetNewsServerFactory([this] { return std::make_unique<TFaultyServer>(server); });
  TFaultyServer::logCalls = 0;
  Settings("", true);
  RunCopyIfMode();
  EXPECT_EQ(TFaultyServer::logCalls, 1);
  EXPECT_EQ(Tested().size(), 4u);
}

TEST_F(CopyIf, FailuresOfTheWalkAndOfTheFinishAreShown) {
  Group("de.test", 1, 1);
  SetNewsServerFactory([this] { return std::make_unique<TFaultyServer>(server); });
  TFaultyServer::failPath = true;
  Settings("", true);
  Script("Do Inc Counter \"x\"\r\n");
  RunCopyIfMode();
  TFaultyServer::failPath = false;
  // The finish stops at the failing step: no statistics.
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(std::get<0>(prompter.boxes[0]), "Fehler \"no path\" (MailInfo)");
  EXPECT_EQ(std::get<2>(prompter.boxes[0]), unsigned(mb::Ok | mb::IconInformation));

  prompter.boxes.clear();
  SetNewsServerFactory({});
  fs::remove(server + "/Hamster.ini");
  RunCopyIfMode();
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(std::get<1>(prompter.boxes[0]), "Tidelarn");
  EXPECT_EQ(std::get<2>(prompter.boxes[0]), unsigned(mb::Ok | mb::IconStop));
}

TEST_F(CopyIf, TheScriptSeesItsArticleAndItsTargetGroups) {
  Group("de.test", 1, 1);
  Put("de.test", 1, Article("de.test,de.other", 1, "s", "<1@x>"));
  Script("Do Copy to Groups \"de.new, DE.TEST\"\r\n"
         "Do Write IniStr \"tested.ini\", \"Seen\", Header(\"Newsgroups\"), \"1\"\r\n");
  TCopyIfRun run(hamster);
  RunPass(run);
  EXPECT_EQ(run.TargetGroups, "de.test,de.other,de.new");
  EXPECT_TRUE(run.TargetChanged);
  EXPECT_EQ(Tested(), std::vector<std::string>{"de.test,de.other"});
}

TEST_F(CopyIf, WithoutSimulationNumbersAreStoredAndReimportsSkipped) {
  Group("de.test", 1, 3);
  Put("de.test", 2, "X-ReImported: CopyIf\r\n" + Article("de.test", 2, "again", "<2@x>"));
  SetCommandLine(std::vector<std::string>{"copyif"});
  TCopyIfRun run(hamster);
  hamster.WalkGroups(
      TCIEinstellungen::GetIniFileName(), [&](TIniFile&) { return run.CopyIfStart(); },
      [&] {
        run.LoadCopyIfSettings();
        run.CopyIfSettings()->Simulate = false;
        return true;
      },
      [&] { return run.CopyIfGroup(); }, [&] { run.CopyIfFinish(); });
  EXPECT_EQ(run.CopyIfSettings(), nullptr);
  EXPECT_EQ(Tested(), (std::vector<std::string>{"de.test#1", "de.test#3"}));
  EXPECT_EQ(TIniFile(dir / "CopyIf.ini").ReadString("Groups", "de.test", ""), "3");
  EXPECT_EQ(run.ArticleCount, 3);
}

TEST(CopyIfCounters, DoNothingOutsideARun) {
  THamsterSession hamster;
  TCopyIfRun run(hamster);
  ASSERT_EQ(run.CopyIfSettings(), nullptr);
  run.DefineCounter("a", false);
  run.IncCounter("a", "b");
  EXPECT_EQ(run.CopyIfSettings(), nullptr);
}

TEST(CopyIfDuration, HoursMinutesSecondsAndMilliseconds) {
  EXPECT_EQ(FormatDuration(3725042), "1.02.05:042");
  EXPECT_EQ(FormatDuration(0), "0.00.00:000");
  EXPECT_EQ(FormatDuration(59999), "0.00.59:999");
  EXPECT_EQ(FormatDuration(100LL * 3600000), "100.00.00:000");
}
