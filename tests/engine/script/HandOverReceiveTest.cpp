// The configuration program's side of the hand-overs, driven through the
// driver's command line with a prompter that records what it was shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "FileWalk.h"
#include "IniFile.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uDriver.h"
#include "uHandOver.h"

namespace fs = std::filesystem;

namespace {

class TRecordingPrompter : public TPrompter {
public:
  std::vector<std::string> boxes;
  std::vector<TErrorDisplay> displays;
  int choice = ErrorChoice::Continue;
  bool failDisplay = false;
  std::vector<TInputBoxRequest> asked;
  bool inputOk = true;
  std::string typed;

  int MessageBox(const std::string& text, const std::string&, unsigned flags) override {
    boxes.push_back(text);
    return DefaultButton(flags);
  }
  bool InputBox(const std::string& title, const std::string& prompt, std::string& value) override {
    asked.push_back({title, prompt, value});
    if (inputOk) value = typed;
    return inputOk;
  }
  int ShowErrorOrDebug(TErrorDisplay& display) override {
    if (failDisplay) throw Exception("dialog failed");
    displays.push_back(display);
    display.continueLine = 999;  // the receiver answers with the line it read
    return choice;
  }
};

class HandOverReceive : public ::testing::Test {
protected:
  TempDir dir;
  TRecordingPrompter prompter;
  std::string savedProgramDir = ProgramDir();

  void SetUp() override {
    SetProgramDir(dir.Path());
    SetPrompter(&prompter);
    SetDriverHost(TDriverHost::ConfigProgram);
  }
  void TearDown() override {
    SetPrompter(nullptr);
    SetDriverHost(TDriverHost::Runner);
    SetCommandLine(std::vector<std::string>{});
    SetProgramDir(savedProgramDir);
  }

  void Run(const std::vector<std::string>& args) {
    SetCommandLine(args);
    RunCorrector();
  }
  std::vector<std::string> Reports() const { return ListFiles(dir.Path(), "VQ-*.tmp"); }

  static TErrorDisplay Sample() {
    TErrorDisplay d;
    d.fileName = "/home/u/inc.def";
    d.scriptName = "4711.msg";
    d.lineNo = 3;
    d.lineText = "  Set Foo";
    d.errorMsg = "Unbekannt:\r\nFoo\nbar";
    d.caretPos = 13;
    d.continueLine = 12;
    d.scriptLines = {"Sub main", "  Set Foo", "End Sub"};
    d.infoLines = {"Zeile 3/3:   Set Foo", "", "Variablen:"};
    d.fileLines = {"a", "b", "  Set Foo"};
    d.textLines = {"Subject: x", "", "body"};
    return d;
  }
};

TEST_F(HandOverReceive, ErrorDisplayShowsTheRequestAndAnswersInTheSameFile) {
  const std::string file = dir / "VQ-req.tmp";
  WriteFile(file, FormatShowErrorRequest(Sample()));
  Run({"#ShowError#", file});

  ASSERT_EQ(prompter.displays.size(), 1u);
  const TErrorDisplay& d = prompter.displays[0];
  EXPECT_EQ(d.fileName, "/home/u/inc.def");
  EXPECT_EQ(d.scriptName, "4711.msg");
  EXPECT_EQ(d.lineNo, 3);
  EXPECT_EQ(d.errorMsg, "Unbekannt:\r\nFoo\r\nbar");  // every line break arrives as CR LF
  EXPECT_EQ(d.caretPos, 13);
  EXPECT_EQ(d.scriptLines, Sample().scriptLines);
  EXPECT_EQ(d.infoLines, Sample().infoLines);
  EXPECT_EQ(d.fileLines, Sample().fileLines);
  EXPECT_EQ(d.textLines, Sample().textLines);
  // ContinueLine goes back unchanged, whatever the display did with it.
  EXPECT_EQ(ReadFile(file), "12\r\n3\r\n");
  EXPECT_TRUE(prompter.boxes.empty());
  EXPECT_EQ(Reports(), std::vector<std::string>{"VQ-req.tmp"});  // no report, file kept
}

TEST_F(HandOverReceive, UnreadableListsOrAFailingDialogAnswerEnd) {
  const std::string file = dir / "VQ-req.tmp";
  std::string request = FormatShowErrorRequest(Sample());
  // Cut inside the script lines: the head is complete.
  WriteFile(file, request.substr(0, request.find("Sub main")));
  Run({"#ShowError#", file});
  EXPECT_TRUE(prompter.displays.empty());
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_NE(prompter.boxes[0].find("Fehlermeldung selber war: \"Unbekannt:\r\nFoo\r\nbar\""),
            std::string::npos)
      << prompter.boxes[0];
  EXPECT_EQ(ReadFile(file), "0\r\n4\r\n");

  prompter.failDisplay = true;
  WriteFile(file, request);
  Run({"#ShowError#", file});
  EXPECT_EQ(prompter.boxes.size(), 2u);
  EXPECT_EQ(ReadFile(file), "0\r\n4\r\n");
}

TEST_F(HandOverReceive, UnreadableHeadOrMissingFileIsReportedWithoutAnswer) {
  const std::string file = dir / "head.txt";
  WriteFile(file, "F\r\nS\r\nnot a number\r\n");
  EXPECT_THROW(Run({"#ShowError#", file}), EInOutError);
  EXPECT_EQ(ReadFile(file), "F\r\nS\r\nnot a number\r\n");
  EXPECT_THROW(Run({"#ShowError#", dir / "gone.txt"}), EInOutError);
  EXPECT_FALSE(fs::exists(dir / "gone.txt"));
  EXPECT_TRUE(prompter.boxes.empty());

  std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 2u);
  TIniFile report(dir / reports[0]);
  EXPECT_EQ(report.ReadString("EXCEPTION", "Reason", ""), "call TidelarnRun");
  EXPECT_EQ(report.ReadString("EXCEPTION", "Para 1", ""), "#ShowError#");
  EXPECT_EQ(report.ReadSection("EXCEPTION"),
            (std::vector<std::string>{"Message", "DateTime", "Reason", "Para 1", "Para 2"}));
}

TEST_F(HandOverReceive, InputBoxAnswersInDefaultAndCancelKeepsThePreset) {
  const std::string file = dir / "VQ-in.tmp";
  WriteInputBoxRequest(file, {"Titel", "Frage?", "vorher"});
  prompter.typed = "Antwort mit Blank ";
  Run({"#InputBox#", file});
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0].title, "Titel");
  EXPECT_EQ(prompter.asked[0].prompt, "Frage?");
  EXPECT_EQ(prompter.asked[0].preset, "vorher");
  EXPECT_EQ(ReadInputBoxRequest(file).preset, "Antwort mit Blank ");
  EXPECT_EQ(ReadInputBoxRequest(file).title, "Titel");

  prompter.inputOk = false;
  WriteInputBoxRequest(file, {"T", "P", "vorher"});
  Run({"#InputBox#", file});
  EXPECT_EQ(ReadInputBoxRequest(file).preset, "vorher");

  // Without the section the box is empty and the answer is written all the same.
  prompter.inputOk = true;
  prompter.typed = "neu";
  WriteFile(file, "[Other]\r\nx=1\r\n");
  Run({"#InputBox#", file});
  EXPECT_EQ(prompter.asked.back().title, "");
  EXPECT_EQ(prompter.asked.back().preset, "");
  EXPECT_EQ(TIniFile(file).ReadString("InputBox", "Default", "?"), "neu");
  EXPECT_EQ(TIniFile(file).ReadString("Other", "x", ""), "1");
  EXPECT_EQ(Reports(), std::vector<std::string>{"VQ-in.tmp"});
}

TEST_F(HandOverReceive, InputBoxOnAVanishedFileWritesTwoReportsAndCreatesNothing) {
  const std::string file = dir / "gone.ini";
  EXPECT_THROW(Run({"#InputBox#", file}), EInOutError);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(prompter.asked.empty());

  std::vector<std::string> reasons;
  for (const std::string& name : Reports()) {
    TIniFile report(dir / name);
    std::string reason = report.ReadString("EXCEPTION", "Reason", "");
    reasons.push_back(reason);
    if (reason == "create: #InputBox#") {
      EXPECT_EQ(report.ReadString("EXCEPTION", "Filename", ""), file);
      EXPECT_FALSE(report.ValueExists("EXCEPTION", "Para 1"));
    } else {
      EXPECT_EQ(report.ReadString("EXCEPTION", "Para 2", ""), file);
      EXPECT_FALSE(report.ValueExists("EXCEPTION", "Filename"));
    }
  }
  std::sort(reasons.begin(), reasons.end());
  EXPECT_EQ(reasons, (std::vector<std::string>{"call TidelarnRun", "create: #InputBox#"}));
}

}  // namespace
