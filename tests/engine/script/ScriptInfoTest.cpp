// The error and debug display: what it gathers (position, caret, information
// lines, texts), how the user's choice comes back, the reload, and the way
// through the runner's hand-over file.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uHandOver.h"
#include "uTools.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace {

using Lines = std::vector<std::string>;

class TDisplayPrompter : public TPrompter {
public:
  int MessageBox(const std::string&, const std::string&, unsigned) override { return id::Ok; }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return true; }
  int ShowErrorOrDebug(TErrorDisplay& display) override {
    displays.push_back(display);
    if (onShow) return onShow(display);
    return choice;
  }

  int choice = ErrorChoice::End;
  std::function<int(TErrorDisplay&)> onShow;
  std::vector<TErrorDisplay> displays;
};

class ScriptInfo : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    SetProgramDir(dir.Path() + "/");
    SetPrompter(&prompter);
    settings.FilePath = dir.Path() + "/";
    settings.HeaderDef = "header.def";
    article = std::make_unique<TArtikel>(InternalCharsetName(), "", "");
    article->LoadFromString("Subject: Test\r\n\r\nBody line\r\n-- \r\nSig line\r\n");
  }
  void TearDown() override {
    script.reset();
    SetPrompter(nullptr);
  }

  TVQSkript& Load(const std::string& text) {
    WriteFile(dir / "header.def", text);
    script.reset();
    script = std::make_unique<TVQSkript>("test.msg", article.get(), &settings);
    script->LoadScript(true);
    return *script;
  }
  // Shows the display for line Line and returns what the prompter saw.
  TErrorDisplay Show(int line, const std::string& msg, const std::string& token = {}) {
    script->CurrentLine = line;
    EXPECT_THROW(script->ShowScriptInfo(msg, token), EAbort);
    return prompter.displays.back();
  }

  TempDir dir;
  TDisplayPrompter prompter;
  TVQEinstellungen settings;
  std::unique_ptr<TArtikel> article;
  std::unique_ptr<TVQSkript> script;
};

}  // namespace

TEST(MarkLineBreaks, MarksEveryFurtherLine) {
  EXPECT_EQ(MarkLineBreaks("a\r\nb\nc\rd"),
            "a\r\n       <CRLF>b\r\n       <CRLF>c\r\n       <CRLF>d");
  EXPECT_EQ(MarkLineBreaks("one"), "one");
  EXPECT_EQ(MarkLineBreaks(""), "");
}

TEST_F(ScriptInfo, CaretGoesToTheLineEndOnADebugStop) {
  Load("#234567890\r\n#2345678901234567890\r\nX-Three: 3\r\n");
  TErrorDisplay d = Show(3, "");
  EXPECT_EQ(d.caretPos, 12 + 22 + 10);
  EXPECT_EQ(d.lineNo, 3);
  EXPECT_EQ(d.lineText, "X-Three: 3");
  EXPECT_EQ(d.fileName, dir / "header.def");
  EXPECT_EQ(d.continueLine, 3);
}

TEST_F(ScriptInfo, CaretGoesToTheErrorToken) {
  Load("#2345\r\n  Set Foo\r\n");
  EXPECT_EQ(Show(2, "bad", "Foo").caretPos, 7 + 6);
  EXPECT_EQ(Show(2, "bad", "  Set").caretPos, 7);  // found at the line start
  EXPECT_EQ(Show(2, "bad", "absent").caretPos, 7);
}

TEST_F(ScriptInfo, PastTheLastLineOnlyTheMessageIsShown) {
  Load("X-A: 1\r\nX-B: 2\r\n");
  TErrorDisplay d = Show(7, "Fehler");
  EXPECT_EQ(d.lineNo, 0);
  EXPECT_EQ(d.fileName, "");
  EXPECT_EQ(d.lineText, "");
  EXPECT_EQ(d.caretPos, 0);
  EXPECT_EQ(d.fileLines, Lines{});
  EXPECT_EQ(d.scriptLines, (Lines{"X-A: 1", "X-B: 2"}));
  EXPECT_EQ(d.infoLines, Lines{"Zeile 0/2: "});
  EXPECT_EQ(d.textLines, (Lines{"Subject: Test", "", "Body line", "-- ", "Sig line"}));
  EXPECT_EQ(script->CurrentLine, 7);
}

TEST_F(ScriptInfo, InformationLinesShowTheWholeRunState) {
  Load("X-A: 1\r\nX-B: 2\r\n");
  TVQSkript& s = *script;
  s.IfDepth = 2;
  s.IfState[1] = 1;
  s.IfState[2] = 0;
  s.ControlStack.Push({"Sub main", 0, 0, 0, 1});
  s.ControlStack.Push({"Sub work", 5, 0, 2, 1});
  s.Variables->Declare("Text", VarType::String)->SetString("eins\r\nzwei");
  s.Variables->Declare("N", VarType::Integer)->SetInteger(5);
  s.Variables->EnterSub("work", {"P", "R"}, {false, true}, {"v", "N"},
                        {VarType::String, VarType::Integer});
  s.Variables->DeclareLocal("L", VarType::Integer)->SetInteger(7);
  s.ChangedOptions = {"doDebugOutput"};
  s.ChangedOptionValues = {"1"};
  s.HList->Add("X-H: 1");
  s.LinesToAppend = {"la"};
  TMIMEPart* part = article->CurrentPart();
  part->SetNamedList("Intro", std::make_unique<TChangedStringlist>());
  part->GetNamedList("Intro")->Add("intro line");
  part->Sig().Add("new sig");

  Lines expected = {
      "Zeile 2/2: X-B: 2",
      "",
      FromUtf8("Bedingte Ausführung:"),
      FromUtf8("  Wird ausgeführt"),
      "   Wird ignoriert",
      "",
      "Stack:",
      "  Sub work",
      "  Sub main",
      "",
      "Variablen:",
      FromUtf8("  Ausführung von Sub work"),
      "      Parameter %P% = \"v\"",
      "      Var-Parameter %R% => %N%",
      "      Local %L% = 7",
      "",
      "  Global %Text% = \"eins",
      "       <CRLF>zwei\"",
      "  Global %N% = 5",
      "",
      "Neu gesetzte Optionen:",
      "  doDebugOutput=1",
      "",
      "Bodyheader:",
      "  X-H: 1",
      "",
      "Einleitungszeile(n) \"Intro\":",
      "  intro line",
      "",
      FromUtf8("Anzuhängende \"Lines\":"),
      "  la",
      "",
      FromUtf8("Gewählte Signatur:"),
      "  Sig line",
      "  new sig",
  };
  EXPECT_EQ(Show(2, "x").infoLines, expected);
}

TEST_F(ScriptInfo, TheChoiceBecomesTheRunState) {
  Load("X-A: 1\r\nX-B: 2\r\nX-C: 3\r\n");
  for (int choice : {1, 2, 3, 4}) {
    prompter.choice = choice;
    Show(2, "x");
    EXPECT_EQ(script->RunState, choice);
    EXPECT_EQ(script->CurrentLine, 2);
  }
  for (int choice : {0, 5, -1}) {
    prompter.choice = choice;
    Show(2, "x");
    EXPECT_EQ(script->RunState, RunStates::Ended) << choice;
  }
  // The runner's hand-over may move the line the run goes on at.
  prompter.onShow = [](TErrorDisplay& d) {
    d.continueLine = 3;
    return int(ErrorChoice::Continue);
  };
  Show(1, "x");
  EXPECT_EQ(script->CurrentLine, 3);
  prompter.onShow = [](TErrorDisplay& d) {
    d.continueLine = 0;
    return int(ErrorChoice::End);
  };
  Show(1, "x");
  EXPECT_EQ(script->CurrentLine, 1);
}

TEST_F(ScriptInfo, TheScriptIsReloadedAfterTheDisplay) {
  Load("X-Old: 1\r\n");
  script->Variables->Declare("KEEP", VarType::String)->SetString("k");
  prompter.onShow = [this](TErrorDisplay&) {
    WriteFile(dir / "header.def", "X-New: 1\r\nX-More: 2\r\n");  // edited in the dialog
    return int(ErrorChoice::Retry);
  };
  Show(1, "x");
  EXPECT_EQ(script->Count(), 2);
  EXPECT_EQ(script->GetLine(0).Source(), "X-New: 1");
  EXPECT_EQ(script->Variables->Find("KEEP")->AsString(), "k");
  EXPECT_EQ(script->CurrentLine, 1);
}

TEST_F(ScriptInfo, AnErrorOfTheReloadIsNotShownAgain) {
  EXPECT_THROW(Load("Do Include\r\n"), EAbort);
  EXPECT_EQ(prompter.displays.size(), 1u);
  EXPECT_FALSE(script->ReloadingScript);
}

TEST_F(ScriptInfo, ErrorInAnIncludeShowsTheIncludeAndSkipGoesOn) {
  WriteFile(dir / "inc.def", "X-I1: 1\r\nX-I2: 2\r\nif 5 foo 3 then X-Never: 1\r\nX-I4: 4\r\n");
  Load("X-1: 1\r\nX-2: 2\r\nDo Include \"inc.def\"\r\nX-After: a\r\n");
  prompter.choice = ErrorChoice::Continue;
  script->RunSubMain();
  ASSERT_EQ(prompter.displays.size(), 1u);
  const TErrorDisplay& d = prompter.displays[0];
  EXPECT_EQ(d.fileName, dir / "inc.def");
  EXPECT_EQ(d.lineNo, 3);
  EXPECT_EQ(d.continueLine, 5);
  EXPECT_EQ(d.fileLines, (Lines{"X-I1: 1", "X-I2: 2", "if 5 foo 3 then X-Never: 1", "X-I4: 4"}));
  EXPECT_EQ(d.caretPos, 9 + 9 + 5);  // at "foo 3 then ..."
  EXPECT_EQ(article->Header.GetField("X-I4", false), "4");
  EXPECT_EQ(article->Header.GetField("X-After", false), "a");
  EXPECT_EQ(article->Header.GetField("X-Never", false), "");
}

TEST_F(ScriptInfo, RunnerHandsTheDisplayToTheConfigurationProgram) {
  // The fake answers with the line it was given and "retry" the first time,
  // "continue" the second.
  WriteFile(dir / "Tidelarn",
            "#!/bin/sh\n"
            "n=$(cat count 2>/dev/null || echo 0); n=$((n+1)); echo $n > count\n"
            "cp \"$2\" request.$n\n"
            "line=$(sed -n 7p \"$2\" | tr -d '\\r')\n"
            "if [ $n = 1 ]; then s=1; else s=3; fi\n"
            "printf '%s\\r\\n%s\\r\\n' \"$line\" \"$s\" > \"$2\"\n");
  chmod((dir / "Tidelarn").c_str(), 0755);
  prompter.onShow = [](TErrorDisplay& d) { return HandOverErrorDisplay(d); };

  WriteFile(dir / "inc.def", "X-I1: 1\r\nX-I2: 2\r\nSet %nothing\r\n");
  Load("#1\r\n#2\r\n#3\r\n#4\r\n#5\r\n#6\r\n#7\r\n#8\r\n#9\r\nDo Include \"inc.def\"\r\n"
       "X-After: a\r\n");
  script->RunSubMain();
  ASSERT_EQ(prompter.displays.size(), 2u);  // retried once, then skipped

  THandOverReader r(ReadFile(dir / "request.1"));
  TErrorDisplay sent;
  ReadShowErrorHead(r, sent);
  ReadShowErrorLists(r, sent);
  EXPECT_EQ(sent.fileName, dir / "inc.def");
  EXPECT_EQ(sent.lineNo, 3);
  EXPECT_EQ(sent.lineText, "Set %nothing");
  EXPECT_EQ(sent.continueLine, 12);
  EXPECT_EQ(sent.scriptName, "test.msg");
  EXPECT_EQ(sent.scriptLines.size(), 13u);
  EXPECT_EQ(sent.fileLines, (Lines{"X-I1: 1", "X-I2: 2", "Set %nothing"}));
  EXPECT_FALSE(sent.errorMsg.empty());
  EXPECT_EQ(sent.textLines.front(), "Subject: Test");
  EXPECT_EQ(article->Header.GetField("X-After", false), "a");
  EXPECT_FALSE(FileExists(dir / "request.3"));
}
