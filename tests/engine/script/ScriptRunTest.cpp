// Script runs end to end: small scripts are loaded as the profile's header
// script and run through the entry points; results are read from the message
// header, from variables and from the files a run leaves behind.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <thread>

#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uArtikel.h"
#include "uCopyIf.h"
#include "uDriver.h"
#include "uEinstellungen.h"
#include "uTools.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace fs = std::filesystem;

namespace {

const char* const kMessage =
    "From: Max Muster <max@example.org>\r\n"
    "Subject: Test\r\n"
    "Newsgroups: de.test\r\n"
    "\r\n"
    "Hallo,\r\n"
    "\r\n"
    "eine Zeile mit Text\r\n"
    "und noch eine\r\n";

class ScriptRun : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    SetProgramDir(dir.Path() + "/");
    settings.FilePath = dir.Path() + "/";
    settings.HeaderDef = "header.def";
    article = std::make_unique<TArtikel>(InternalCharsetName(), "", "");
    article->LoadFromString(kMessage);
  }
  void TearDown() override { SetScriptStepHook(nullptr); }

  // Writes the script as header.def and loads it into a new script object.
  TVQSkript& Load(const std::string& text) {
    WriteFile(dir / "header.def", text);
    script.reset();
    script = std::make_unique<TVQSkript>("test.msg", article.get(), &settings);
    script->LoadScript(true);
    return *script;
  }
  // Loads and runs Sub main (or the whole script); the errors shown are kept.
  int32_t Run(const std::string& text) {
    Load(text);
    return Main();
  }
  // Runs Text and expects a shown error that contains Part.
  void ExpectError(const std::string& text, std::string_view part) {
    Run(text);
    EXPECT_NE(errors.find(part), std::string::npos) << text << "\n" << errors;
  }
  int32_t Main() {
    testing::internal::CaptureStderr();
    int32_t code = 0;
    try {
      code = script->RunSubMain();
    } catch (...) {
      errors = testing::internal::GetCapturedStderr();
      throw;
    }
    errors = testing::internal::GetCapturedStderr();
    return code;
  }

  std::string Var(const std::string& name) const {
    const TVarObj* v = script->Variables->Find(name);
    return v != nullptr ? v->AsString() : "<none>";
  }
  std::string Field(const std::string& name) const { return article->Header.GetField(name, false); }
  // Report files ("VQ-*") left in the program directory.
  std::vector<std::string> Reports() const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir.Path()))
      if (e.path().filename().string().rfind("VQ-", 0) == 0) found.push_back(ReadFile(e.path()));
    return found;
  }

  TempDir dir;
  TVQEinstellungen settings;
  std::unique_ptr<TArtikel> article;
  std::unique_ptr<TVQSkript> script;
  std::string errors;
};

}  // namespace

// ---------------------------------------------------------------------------
// Entry points

TEST_F(ScriptRun, WholeScriptRunsWhenThereIsNoSubMainAndSkipsSubs) {
  Run("X-One: 1\r\n"
      "Sub Other\r\n"
      "X-Never: x\r\n"
      "End Sub\r\n"
      "X-Two: 2\r\n");
  EXPECT_EQ(Field("X-One"), "1");
  EXPECT_EQ(Field("X-Two"), "2");
  EXPECT_EQ(Field("X-Never"), "");
  EXPECT_EQ(errors, "");
}

TEST_F(ScriptRun, SubMainRunsToItsEndSubOnly) {
  Run("X-Before: b\r\n"
      "sub MAIN\r\n"
      "X-Main: m\r\n"
      "End Sub\r\n"
      "X-After: a\r\n");
  EXPECT_EQ(Field("X-Main"), "m");
  EXPECT_EQ(Field("X-Before"), "");
  EXPECT_EQ(Field("X-After"), "");
}

TEST_F(ScriptRun, ExitcodeIsRoundedAndZeroWhenNeverSet) {
  EXPECT_EQ(Run("Sub main\r\nEnd Sub\r\n"), 0);
  EXPECT_EQ(Run("Sub main\r\n%exitcode% = 7.9\r\nEnd Sub\r\n"), 7);  // an Integer truncates
  EXPECT_EQ(Run("Var global %Exitcode%: Float = 2.5\r\n"), 3);
  EXPECT_EQ(Run("Var global %Exitcode%: Float = -2.5\r\n"), -3);
}

TEST_F(ScriptRun, CheckAbortGivesTheAbortVariable) {
  Load("Sub CheckAbort\r\n%abort% = true\r\nEnd Sub\r\n");
  EXPECT_TRUE(script->RunCheckAbort());
  Load("Sub CheckAbort\r\nEnd Sub\r\n");
  EXPECT_FALSE(script->RunCheckAbort());
  Load("X-Test: 1\r\n");
  EXPECT_FALSE(script->RunCheckAbort());
  EXPECT_EQ(Field("X-Test"), "");
}

TEST_F(ScriptRun, QuitInCheckAbortDoesNotLetMainRunPastItsEnd) {
  Load("Sub CheckAbort\r\n"
       "  Var local %x%: Integer = 1\r\n"
       "  quit\r\n"
       "End Sub\r\n"
       "Sub main\r\n"
       "  X-Main: yes\r\n"
       "End Sub\r\n"
       "X-After: never\r\n");
  EXPECT_FALSE(script->RunCheckAbort());
  Main();
  EXPECT_EQ(Field("X-Main"), "yes");
  EXPECT_EQ(Field("X-After"), "");
  // The frame of CheckAbort is gone with its local.
  EXPECT_EQ(Var("x"), "<none>");
}

TEST_F(ScriptRun, AfterAllSeesTheFileNamesAndVariablesPersist) {
  Load("Sub main\r\n%kept% = \"from main\"\r\nEnd Sub\r\n"
       "Sub AfterAll\r\n%seen% = %kept% + \":\" + %OldFilename% + \">\" + %NewFilename%\r\n"
       "End Sub\r\n");
  Main();
  script->RunAfterAll("a.msg", "b.msg");
  EXPECT_EQ(Var("seen"), "from main:a.msg>b.msg");
}

TEST_F(ScriptRun, FindSubAndFindLabel) {
  Load("Sub mainly\r\nsub Main(%x%: Integer)\r\n:Target\r\n: target2\r\n");
  int index = -1;
  std::string params;
  ASSERT_TRUE(script->FindSub("main", index, params));
  EXPECT_EQ(index, 1);
  EXPECT_EQ(params, "%x%: Integer");
  EXPECT_FALSE(script->FindSub("mai", index, params));
  ASSERT_TRUE(script->FindLabel("TARGET", index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(script->FindLabel("target2", index));
}

TEST_F(ScriptRun, EmptyHeaderDefLoadsNothing) {
  settings.HeaderDef = "  ";
  WriteFile(dir / "header.def", "X-Test: 1\r\n");
  script = std::make_unique<TVQSkript>("test.msg", article.get(), &settings);
  script->LoadScript(true);
  EXPECT_EQ(script->Count(), 0);
  EXPECT_FALSE(script->RunCheckAbort());
  EXPECT_EQ(script->RunSubMain(), 0);
  EXPECT_EQ(Field("X-Test"), "");
}

// ---------------------------------------------------------------------------
// Conditional execution

TEST_F(ScriptRun, IfElseifElseEndif) {
  Run("Var %a%: Integer = 2\r\n"
      "if %a% = 1 then\r\n  X-A: one\r\n"
      "elseif %a% = 2\r\n  X-A: two\r\n"
      "else if %a% = 2\r\n  X-B: not again\r\n"
      "else\r\n  X-A: other\r\n"
      "endif\r\n"
      "if %a% = 5 then\r\n  X-C: no\r\nElse\r\n  X-C: else\r\nENDIF\r\n"
      "if %a% = 2 then X-D: one-line\r\n"
      "if %a% = 3 then X-E: never\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Field("X-A"), "two");
  EXPECT_EQ(Field("X-B"), "");
  EXPECT_EQ(Field("X-C"), "else");
  EXPECT_EQ(Field("X-D"), "one-line");
  EXPECT_EQ(Field("X-E"), "");
  EXPECT_EQ(script->IfDepth, 0);
}

TEST_F(ScriptRun, SkippedRegionsEvaluateNothing) {
  Run("if false then\r\n"
      "  if %undefined% = 1 then X-A: no\r\n"
      "  if %undefined% = 1 then\r\n    X-B: no\r\n  elseif %undefined% = 2\r\n"
      "  else\r\n    X-B: no either\r\n  endif\r\n"
      "endif\r\n"
      "X-Done: yes\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Field("X-B"), "");
  EXPECT_EQ(Field("X-Done"), "yes");
}

TEST_F(ScriptRun, ThirtyNestedIfsWorkTheThirtyFirstIsAnError) {
  std::string thirty, closing;
  for (int i = 0; i < 30; ++i) {
    thirty += "if true then\r\n";
    closing += "endif\r\n";
  }
  Run(thirty + "X-Deep: yes\r\n" + closing);
  EXPECT_EQ(Field("X-Deep"), "yes");
  EXPECT_EQ(errors, "");
  Run(thirty + "if true then\r\nX-Deeper: yes\r\nendif\r\n" + closing);
  EXPECT_EQ(Field("X-Deeper"), "");
  EXPECT_NE(errors.find("If-Schachtelungen"), std::string::npos) << errors;
}

TEST_F(ScriptRun, ElseWithACommentIsACommandAndEndifxCloses) {
  Run("if true then\r\nendifx\r\nX-A: 1\r\n");
  EXPECT_EQ(script->IfDepth, 0);
  EXPECT_EQ(Field("X-A"), "1");
  ExpectError("if true then\r\nelse ; no else\r\nendif\r\n", "enthält weder einen bekannten Befehl");
  ExpectError("if true then\r\nend if\r\n", "end if");
}

TEST_F(ScriptRun, MisplacedConditionalWordsAreErrors) {
  Run("endif\r\nX-A: never\r\n");
  EXPECT_NE(errors.find("Kein passendes"), std::string::npos);
  EXPECT_EQ(Field("X-A"), "");
  ExpectError("if true X-B: 1\r\n", "nur ein \"then\"");
}

// ---------------------------------------------------------------------------
// Continuation lines

TEST_F(ScriptRun, ContinuationLinesAreJoined) {
  Run("%a% = \"x\" + _\r\n"
      "  \"y\" + _\r\n"
      "\"z\"\r\n"
      "%b% = %a% + \"!\"\r\n");
  EXPECT_EQ(Var("a"), "xyz");
  EXPECT_EQ(Var("b"), "xyz!");
}

TEST_F(ScriptRun, AJoinedLineIsReadAsAWhole) {
  // "en_" alone is a command; joined with the next line it closes the block.
  Run("if false then\r\nX-A: never\r\nen_\r\ndif\r\nX-B: yes\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Field("X-A"), "");
  EXPECT_EQ(Field("X-B"), "yes");
}

TEST_F(ScriptRun, AnUnderscoreOnTheLastLineStays) {
  Run("X-Last: end_\r\n");
  EXPECT_EQ(Field("X-Last"), "end_");
}

// ---------------------------------------------------------------------------
// Loops

TEST_F(ScriptRun, BlockForLoops) {
  Run("Var %s%: String\r\n"
      "For %i% = 1 to 3\r\n  %s% = %s% + Str(%i%)\r\nNext\r\n"
      "For %j% = 3 to 1\r\n  %s% = %s% + \"never\"\r\nNext\r\n"
      "For %k% = 3 to 1 Step -1\r\n  %s% = %s% + \"-\" + Str(%k%)\r\nNext\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Var("s"), "123-3-2-1");
  EXPECT_EQ(Var("i"), "3");
}

TEST_F(ScriptRun, OneLineForLoops) {
  Run("Var %s%: String\r\n"
      "For %i% = 1 to 3 do %s% = %s% + Str(%i%)\r\n"
      "For %i% = 3 to 1 do %s% = %s% + \"never\"\r\n"
      "For %i% = 2 to 2 do %s% = %s% + \"[2]\"\r\n"
      "For %i% = 1 to 3 Step 0 do %s% = %s% + \"never\"\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Var("s"), "123[2]");
}

TEST_F(ScriptRun, ForLoopsWhoseValueStopsChangingEnd) {
  Run("Var %n%: Integer = 0\r\n"
      "For %i% = 100000000000000000 to 200000000000000000 do %n% = %n% + 1\r\n"
      "For %j% = 100000000000000000 to 200000000000000000\r\n  %n% = %n% + 1\r\nNext\r\n"
      "X-Done: yes\r\n");
  EXPECT_EQ(Field("X-Done"), "yes") << errors;
  EXPECT_LE(std::stoi(Var("n")), 2);
}

TEST_F(ScriptRun, ForWithoutStepWidthOrWithBadSyntax) {
  ExpectError("For %i% = 1 to 3 Step 0\r\nNext\r\n", "Schrittweite");
  ExpectError("For i = 1 to 3\r\nNext\r\n", "\"For\"-Syntax");
  ExpectError("Var %b%: Boolean\r\nFor %b% = 1 to 3\r\nNext\r\n", "\"For\"-Syntax");
}

TEST_F(ScriptRun, WhileRepeatAndEndless) {
  Run("Var %i%: Integer = 0\r\nVar %s%: String\r\n"
      "While %i% < 3\r\n  %i% = %i% + 1\r\n  %s% = %s% + \"w\"\r\nWend\r\n"
      "While %i% < 0\r\n  %s% = %s% + \"never\"\r\nWend\r\n"
      "Repeat\r\n  %s% = %s% + \"r\"\r\nUntil true\r\n"
      "Var %i%: Integer = 0\r\n"
      "Endless\r\n  %i% = %i% + 1\r\n  if %i% = 4 then break\r\n  %s% = %s% + \"e\"\r\nLoop\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Var("s"), "wwwreee");
  EXPECT_TRUE(script->ControlStack.Empty());
}

TEST_F(ScriptRun, ContinueInEveryLoop) {
  Run("Var %s%: String\r\n"
      "For %i% = 1 to 4\r\n  if %i% = \"2\" then continue\r\n  %s% = %s% + Str(%i%)\r\nNext\r\n"
      "Var %i%: Integer = 0\r\n"
      "While %i% < 3\r\n  %i% = %i% + 1\r\n  if %i% = 2 then continue\r\n"
      "  %s% = %s% + \"w\" + Str(%i%)\r\nWend\r\n"
      "Var %i%: Integer = 0\r\n"
      "Repeat\r\n  %i% = %i% + 1\r\n  if %i% < 3 then continue\r\n"
      "  %s% = %s% + \"r\" + Str(%i%)\r\nUntil %i% >= 3\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Var("s"), "134w1w3r3");
  EXPECT_TRUE(script->ControlStack.Empty());
}

TEST_F(ScriptRun, BreakLeavesOnlyTheInnerLoop) {
  Run("Var %s%: String\r\n"
      "For %i% = 1 to 2\r\n"
      "  For %j% = 1 to 3\r\n    if %j% = \"2\" then break\r\n    %s% = %s% + Str(%i%) + Str(%j%)\r\n"
      "  Next\r\n"
      "Next\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Var("s"), "1121");
}

TEST_F(ScriptRun, LoopWordsWithoutTheirHeads) {
  for (const char* line : {"Next", "Wend", "Until true", "Loop", "break", "continue", "return"}) {
    Run(std::string(line) + "\r\nX-After: no\r\n");
    EXPECT_NE(errors, "") << line;
    EXPECT_EQ(Field("X-After"), "") << line;
  }
}

TEST_F(ScriptRun, BreakOutsideALoop) {
  ExpectError("Select Case %x%\r\nbreak\r\nEnd Select\r\n", "Select/Case");
  ExpectError("gosub S\r\nSub S\r\nbreak\r\nEnd Sub\r\n", "Return");
}

TEST_F(ScriptRun, LoopsWithoutTheirEnds) {
  ExpectError("While false\r\n", "Wend");
  ExpectError("For %i% = 1 to 0\r\nSub x\r\nNext\r\nEnd Sub\r\n", "Prozeduranfang");
}

// Leaving a construct gives back the if depth it was entered at, so a
// well-nested script never reaches the nesting limit.
TEST_F(ScriptRun, LeavingLoopsAndSubsRestoresTheIfDepth) {
  Run("Var %n%: Integer = 0\r\n"
      "For %i% = 1 to 40\r\n  Endless\r\n    if true then\r\n      break\r\n    endif\r\n  Loop\r\n"
      "Next\r\n"
      "For %i% = 1 to 40\r\n  if true then\r\n    continue\r\n  endif\r\nNext\r\n"
      "Var %i%: Integer = 0\r\n"
      "While %i% < 40\r\n  %i% = %i% + 1\r\n  if true then\r\n    continue\r\n  endif\r\nWend\r\n"
      "For %i% = 1 to 40\r\n  gosub Inc\r\nNext\r\n"
      "Var %i%: Integer = 0\r\n"
      ":again\r\n"
      "if %i% < 40 then\r\n  %i% = %i% + 1\r\n  goto again\r\nendif\r\n"
      "X-Done: yes\r\n"
      "Sub Inc\r\n  if true then\r\n    %n% = %n% + 1\r\n    return\r\n  endif\r\nEnd Sub\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Field("X-Done"), "yes");
  EXPECT_EQ(Var("n"), "40");
  EXPECT_EQ(script->IfDepth, 0);
}

// ---------------------------------------------------------------------------
// Subs and jumps

TEST_F(ScriptRun, GosubWithValueAndReferenceParameters) {
  Run("Sub main\r\n"
      "  %y% = \"old\"\r\n"
      "  gosub Calc(1 + 2, %x%)\r\n"
      "  gosub Calc 4, %y%\r\n"
      "End Sub\r\n"
      "Sub Calc(%a%: Integer, Var %b%: String)\r\n"
      "  Var local %tmp%: String = \"local\"\r\n"
      "  %b% = Str(%a% * 2)\r\n"
      "  %a% = 0\r\n"
      "End Sub\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Var("x"), "6");  // undeclared: made a global String
  EXPECT_EQ(Var("y"), "8");
  EXPECT_EQ(Var("a"), "<none>");
  EXPECT_EQ(Var("tmp"), "<none>");
  EXPECT_TRUE(script->ControlStack.Empty());
}

TEST_F(ScriptRun, GosubErrors) {
  ExpectError("gosub Two(\"x\")\r\nX-After: no\r\nSub Two(%a%, %b%)\r\nEnd Sub\r\n", "Anzahl der Parameter");
  ExpectError("gosub One(1, 2)\r\nSub One(%a%: Integer)\r\nEnd Sub\r\n", "Anzahl der Parameter");
  ExpectError("gosub Missing\r\n", "Missing");
  ExpectError("gosub\r\n", "GoSub");
  ExpectError("gosub Ref(\"text\")\r\nSub Ref(Var %a%)\r\nEnd Sub\r\n", "Variablenname erwartet");
  ExpectError("gosub Bad(1)\r\nSub Bad(a)\r\nEnd Sub\r\n", "Parameterliste");
  EXPECT_EQ(Field("X-After"), "");
}

// Subs nest up to the bound, Sub main included; the call beyond it is refused
// through the error display, so a sub that calls itself cannot run away.
TEST_F(ScriptRun, SubCallsNestUpToTheBound) {
  const std::string bound = std::to_string(TVQSkript::MaxSubDepth);
  const struct {
    int calls;
    bool refused;
  } cases[] = {{TVQSkript::MaxSubDepth - 1, false}, {TVQSkript::MaxSubDepth, true}};
  for (const auto& c : cases) {
    Run("Sub main\r\n"
        "  Var global %d%: Integer = 0\r\n"
        "  gosub R(" + std::to_string(c.calls) + ")\r\n"
        "  X-Back: yes\r\n"
        "End Sub\r\n"
        "Sub R(%n%: Integer)\r\n"
        "  %d% = %d% + 1\r\n"
        "  if %n% > 1 then gosub R(%n% - 1)\r\n"
        "End Sub\r\n");
    EXPECT_EQ(Var("d"), std::to_string(c.refused ? c.calls - 1 : c.calls));
    EXPECT_EQ(Field("X-Back"), "yes");  // the error display's answer here goes on
    EXPECT_EQ(errors.find("maximale Anzahl (" + bound + ") verschachtelter Sub-Aufrufe") !=
                  std::string::npos,
              c.refused)
        << errors;
  }
  ExpectError("Sub main\r\n  gosub R\r\nEnd Sub\r\nSub R\r\n  gosub R\r\nEnd Sub\r\n",
              "beim Aufruf von Sub \"R\"");
}

TEST_F(ScriptRun, ReturnIsOnlyTheBareWord) {
  Run("gosub S\r\nX-Back: yes\r\nSub S\r\n  RETURN  \r\n  X-Never: x\r\nEnd Sub\r\n");
  EXPECT_EQ(Field("X-Back"), "yes");
  EXPECT_EQ(Field("X-Never"), "");
  ExpectError("gosub S\r\nSub S\r\nreturn 5\r\nEnd Sub\r\n", "return 5");
}

TEST_F(ScriptRun, ReturnInsideALoopIsAnError) {
  ExpectError("gosub S\r\nSub S\r\nWhile true\r\nreturn\r\nWend\r\nEnd Sub\r\n", "While-Schleife");
}

TEST_F(ScriptRun, GotoForwardBackwardAndOutOfLoops) {
  Run("Var %i%: Integer = 0\r\n"
      "goto skip\r\nX-Skipped: yes\r\n:skip\r\n"
      ":top\r\n%i% = %i% + 1\r\nif %i% < 3 then goto top\r\n"
      "For %j% = 1 to 5\r\n  if %j% = \"2\" then goto out\r\nNext\r\n:out\r\n"
      "X-Done: yes\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Field("X-Skipped"), "");
  EXPECT_EQ(Var("i"), "3");
  EXPECT_EQ(Var("j"), "2");
  EXPECT_EQ(Field("X-Done"), "yes");
  EXPECT_TRUE(script->ControlStack.Empty());
}

TEST_F(ScriptRun, ForbiddenJumps) {
  ExpectError("goto inside\r\nFor %i% = 1 to 2\r\n:inside\r\nNext\r\n", "Innere einer Schleife");
  ExpectError("Sub main\r\ngoto other\r\nEnd Sub\r\nSub x\r\n:other\r\nEnd Sub\r\n", "Prozedur verlassen");
  ExpectError("Sub x\r\n:before\r\nEnd Sub\r\nSub main\r\ngoto before\r\nEnd Sub\r\n", "Prozedur verlassen");
  // Jumping over a whole sub stays in the same place.
  Run("goto over\r\nSub x\r\nEnd Sub\r\n:over\r\nX-Over: yes\r\n");
  EXPECT_EQ(Field("X-Over"), "yes") << errors;
  ExpectError("goto nowhere\r\n", ":nowhere");
}

TEST_F(ScriptRun, SubWithoutEndSubInTheFlow) {
  ExpectError("X-A: 1\r\nSub open\r\nX-B: 2\r\n", "Sub open");
}

// ---------------------------------------------------------------------------
// Declarations and assignments

TEST_F(ScriptRun, VarDeclarations) {
  Run("Var %a%, %b%: Integer = 3, %f%: Float = 1.5; %s%: String = \"t\"\r\n"
      "Var global %g%: Boolean\r\n"
      "Var %i%: Integer\r\n%i% = 2.9\r\n"
      "Var %n%: Integer\r\n%n% = -2.9\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Var("a"), "3");
  EXPECT_EQ(Var("b"), "3");
  EXPECT_EQ(Var("f"), "1.5");
  EXPECT_EQ(Var("s"), "t");
  EXPECT_EQ(Var("g"), "");
  EXPECT_EQ(Var("n"), "-2");
  ExpectError("Var %a%: Number\r\n", "Variablentyp");
  ExpectError("Var a: Integer\r\n", "Variablenname");
}

TEST_F(ScriptRun, TypedAssignments) {
  ExpectError("Var %i%: Integer\r\n%i% = 7 junk\r\n", "junk");
  EXPECT_EQ(Var("i"), "");
  ExpectError("Var %b%: Boolean\r\n%b% = true maybe\r\n", "boolsche Variable");
  ExpectError("Var %f%: Float\r\n%f% = \r\n", "Float-Variable");
}

// ---------------------------------------------------------------------------
// Header lines

TEST_F(ScriptRun, HeaderAssignments) {
  Run("X-Test: a\r\nSubject:\r\nX-Spaced  :  two blanks\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Field("X-Test"), "a");
  EXPECT_FALSE(article->Header.HasField("Subject"));
  EXPECT_EQ(Field("X-Spaced"), " two blanks");
  EXPECT_TRUE(script->IsChanged());
}

TEST_F(ScriptRun, LinesThatAreNeitherCommandNorHeader) {
  ExpectError("two words\r\n", "\"two words\"");
  ExpectError(std::string(50, 'x') + "\r\n", std::string(40, 'x') + "...\"");
  ExpectError("X\xe4Header: value\r\n", "lheader.txt");
}

TEST_F(ScriptRun, UnchangedMessageIsNotChanged) {
  Run("%a% = \"1\"\r\n");
  EXPECT_FALSE(script->IsChanged());
}

// ---------------------------------------------------------------------------
// Functions

TEST_F(ScriptRun, HeaderAndBodyFunctions) {
  Run("%n0% = HeaderName(0)\r\n"
      "%n1% = HeaderName(1)\r\n"
      "%n4% = HeaderName(4)\r\n"
      "%c2% = HeaderContent(2)\r\n"
      "%subj% = Header(\"subject\")\r\n"
      "%none% = Header(\"\")\r\n"
      "%bh% = BodyHeader(\"\")\r\n"
      "%line% = Bodyline(3)\r\n"
      "Var %lines%, %match%, %next%, %none2%: Integer\r\n"
      "%lines% = Bodylines\r\n"
      "%match% = MatchedLines(\"ZEILE|noch\")\r\n"
      "%next% = NextMatchedLine(0, \"noch\")\r\n"
      "%none2% = NextMatchedLine(1, \"^$\")\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Var("n0"), "");
  EXPECT_EQ(Var("n1"), "From");
  EXPECT_EQ(Var("n4"), "");
  EXPECT_EQ(Var("c2"), "Test");
  EXPECT_EQ(Var("subj"), "Test");
  EXPECT_EQ(Var("none"), "");
  EXPECT_EQ(Var("bh"), "");
  EXPECT_EQ(Var("line"), "eine Zeile mit Text");
  EXPECT_EQ(Var("lines"), "4");
  EXPECT_EQ(Var("match"), "2");
  EXPECT_EQ(Var("next"), "4");
  EXPECT_EQ(Var("none2"), "0");
}

TEST_F(ScriptRun, ListAndAddressFunctions) {
  SetDriverHost(TDriverHost::ConfigProgram);
  Run("%f% = First(\"<a@x> <b@x> <c@x>\")\r\n"
      "%l% = Last(\"<a@x> <b@x> <c@x>\")\r\n"
      "%f2% = First(\"a, b\")\r\n"
      "%l2% = Last(\"a, b\")\r\n"
      "%addr% = Address(Header(\"From\"))\r\n"
      "%name% = Name(Header(\"From\"))\r\n"
      "%first% = FirstName(Header(\"From\"))\r\n"
      "%line% = Line(2, \"a\" + CRLF + \"b\")\r\n"
      "Var %count%: Integer = CountLines(\"a\" + CRLF + \"b\" + CRLF)\r\n"
      "%v% = Version\r\n"
      "%file% = Filename\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Var("f"), "<a@x>");
  EXPECT_EQ(Var("l"), "<c@x>");
  EXPECT_EQ(Var("f2"), "a");
  EXPECT_EQ(Var("l2"), " b");
  EXPECT_EQ(Var("addr"), "max@example.org");
  EXPECT_EQ(Var("name"), "Max Muster");
  EXPECT_EQ(Var("first"), "Max");
  EXPECT_EQ(Var("line"), "b");
  EXPECT_EQ(Var("count"), "2");
  EXPECT_EQ(Var("v"), "4.2.8");
  EXPECT_EQ(Var("file"), "test.msg");
  SetDriverHost(TDriverHost::Runner);
}

TEST_F(ScriptRun, FullTexts) {
  Run("%h% = Full Header without Subject, Newsgroups\r\n"
      "%b% = Full Body\r\n"
      "%x% = Full Nonsense\r\n");
  EXPECT_EQ(Var("h"), "From: Max Muster <max@example.org>\r\n");
  EXPECT_EQ(Var("b"), "Hallo,\r\n\r\neine Zeile mit Text\r\nund noch eine\r\n");
  EXPECT_NE(errors.find("Full Nonsense"), std::string::npos) << errors;
}

TEST_F(ScriptRun, VariableReferences) {
  Load("");
  std::string s = "%A-b% = 1";
  std::string name;
  EXPECT_EQ(script->ParseVarRef(s, name), 2);
  EXPECT_EQ(name, "A-B");
  EXPECT_EQ(s, "= 1");
  s = "%a b%";
  EXPECT_EQ(script->ParseVarRef(s, name), 0);
  EXPECT_EQ(s, "%a b%");
  ExpectError("Var %x%: Integer = %unknown% + 1\r\n", "%UNKNOWN%");
}

// ---------------------------------------------------------------------------
// Includes

TEST_F(ScriptRun, IncludesAreExpandedWhereTheyStand) {
  WriteFile(dir / "x.inc", "X-Inc1: 1\nDo Include \"y.inc\"\nX-Inc3: 3\n");
  WriteFile(dir / "y.inc", "X-Inc2: 2\r\n");
  Run("X-Before: b\r\nDo Include \"x.inc\"\r\nX-After: a\r\n");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(script->Count(), 5);
  for (const char* f : {"X-Before", "X-Inc1", "X-Inc2", "X-Inc3", "X-After"})
    EXPECT_NE(Field(f), "") << f;
  EXPECT_EQ(script->GetLineNo(2), 1);
  EXPECT_EQ(Reports().size(), 0u);
}

// A sweep reads its script once; the next load still sees an edit that kept
// the size and the modification time, a changed include, and another internal
// charset.
TEST_F(ScriptRun, KeptScriptLinesFollowEditsOfTheFiles) {
  const std::string path = dir / "header.def";
  WriteFile(dir / "x.inc", "X-Inc: 1\r\n");
  WriteFile(path, "X-One: \xC3\xBC\r\nDo Include \"x.inc\"\r\n");
  // Only a file left alone for a moment is kept.
  std::this_thread::sleep_for(std::chrono::milliseconds(3200));
  auto reload = [&] {
    script.reset();
    script = std::make_unique<TVQSkript>("test.msg", article.get(), &settings);
    script->LoadScript(true);
  };
  for (int i = 0; i < 3; ++i) reload();  // read, read and kept, copied
  ASSERT_EQ(script->Count(), 2);
  EXPECT_EQ(script->GetLine(0).Source(), "X-One: \xFC");
  EXPECT_EQ(script->GetLine(1).Source(), "X-Inc: 1");
  EXPECT_EQ(script->GetFileName(1), NativePath(dir / "x.inc"));
  SetInternalCharset("utf-8");
  reload();
  EXPECT_EQ(script->GetLine(0).Source(), "X-One: \xC3\xBC");
  SetInternalCharset("");

  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  WriteFile(path, "X-Two: 2\r\nDo Include \"x.inc\"\r\n");
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  WriteFile(dir / "x.inc", "X-Inc: 2\r\nX-More: 3\r\n");
  reload();
  ASSERT_EQ(script->Count(), 3);
  EXPECT_EQ(script->GetLine(0).Source(), "X-Two: 2");
  EXPECT_EQ(script->GetLine(2).Source(), "X-More: 3");
  EXPECT_EQ(script->GetLineNo(0), 1);
}

TEST_F(ScriptRun, SelfIncludeStopsAtTheDepthLimitWithAnAbortReport) {
  WriteFile(dir / "self.inc", "Do Include \"self.inc\"\r\n");
  Load("Do Include \"self.inc\"\r\nX-After: a\r\n");
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("[Abort]"), std::string::npos);
  EXPECT_NE(Reports()[0].find("Tiefe=20"), std::string::npos);
  EXPECT_EQ(script->Count(), 2);
}

TEST_F(ScriptRun, IncludesNestAtMostTwentyDeep) {
  // Not the first line: without a depth limit this would never end.
  WriteFile(dir / "deep.inc", "X-Line: x\r\nDo Include \"deep.inc\"\r\n");
  Load("Do Include \"deep.inc\"\r\n");
  EXPECT_EQ(script->Count(), 21);
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("[Abort]"), std::string::npos);
}

TEST_F(ScriptRun, RecursiveIncludesDoNotFanOut) {
  WriteFile(dir / "two.inc", "Do Include \"two.inc\"\r\nX-Line: x\r\nDo Include \"two.inc\"\r\n");
  Load("Do Include \"two.inc\"\r\nDo Include \"two.inc\"\r\n");
  EXPECT_LT(script->Count(), 100);
  EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(ScriptRun, IncludeFailures) {
  testing::internal::CaptureStderr();
  EXPECT_THROW(Load("Do Include\r\n"), EAbort);
  errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("Do Include"), std::string::npos);
  // The display reloads the script, which meets the same line again.
  ASSERT_EQ(Reports().size(), 2u);
  EXPECT_NE(Reports()[0].find("[Fehler]"), std::string::npos);
  EXPECT_NE(Reports()[1].find("[Fehler]"), std::string::npos);
  for (const auto& e : fs::directory_iterator(dir.Path()))
    if (e.path().filename().string().rfind("VQ-", 0) == 0) fs::remove(e.path());

  EXPECT_ANY_THROW(Load("Do Include \"missing.inc\"\r\n"));
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("[EXCEPTION]"), std::string::npos);
  EXPECT_NE(Reports()[0].find("missing.inc"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Trace

TEST_F(ScriptRun, TraceHoldsTheLastLineBegun) {
  settings.doDebugOutput = 1;
  Run("X-A: 1\r\nif false then\r\n  X-Skipped: x\r\nendif\r\n");
  const std::string trace = ReadFile(dir / "VQDebug.txt");
  EXPECT_NE(trace.find("[Interprete Line]"), std::string::npos);
  EXPECT_NE(trace.find("Filename=test.msg"), std::string::npos);
  EXPECT_NE(trace.find("Line#=4"), std::string::npos);
  EXPECT_NE(trace.find("Line=endif"), std::string::npos);
}

TEST_F(ScriptRun, AnUnwritableTraceGivesOneReport) {
  settings.doDebugOutput = 1;
  fs::create_directory(dir / "VQDebug.txt");
  Run("X-A: 1\r\nX-B: 2\r\nX-C: 3\r\n");
  EXPECT_EQ(Field("X-C"), "3");
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("Reason=Open File: \"VQDebug.txt\""), std::string::npos);
}

// ---------------------------------------------------------------------------
// Step hook

namespace {
int gSteps = 0;
bool CountSteps() { return ++gSteps <= 100; }
}  // namespace

TEST_F(ScriptRun, TheStepHookEndsEndlessRuns) {
  gSteps = 0;
  SetScriptStepHook(CountSteps);
  Run("Endless\r\n%a% = \"1\"\r\nLoop\r\n");
  EXPECT_GT(gSteps, 100) << errors;
  gSteps = 0;
  Run("For %i% = 1 to 1000000000 do %a% = %i%\r\n");
  EXPECT_GT(gSteps, 100);
}

// ---------------------------------------------------------------------------
// Questions, profiles and direct calls

namespace {
// Answers every box with one button and every input box with one text.
class TAnsweringPrompter : public TPrompter {
public:
  int button = id::No;
  bool inputOk = true;
  std::string input;
  std::vector<std::string> asked;
  int MessageBox(const std::string& text, const std::string&, unsigned) override {
    asked.push_back(text);
    return button;
  }
  bool InputBox(const std::string& title, const std::string& prompt, std::string& value) override {
    asked.push_back(title + "|" + prompt + "|" + value);
    if (inputOk) value = input;
    return inputOk;
  }
};

struct PrompterScope {
  explicit PrompterScope(TPrompter* p) { SetPrompter(p); }
  ~PrompterScope() { SetPrompter(nullptr); }
};
}  // namespace

TEST_F(ScriptRun, AMissingScriptIsOfferedAsAnEmptyFile) {
  TAnsweringPrompter prompter;
  PrompterScope scope(&prompter);
  settings.HeaderDef = "missing.def";
  script = std::make_unique<TVQSkript>("test.msg", article.get(), &settings);
  script->LoadScript(true);
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_NE(prompter.asked[0].find("missing.def"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "missing.def"));
  prompter.button = id::Yes;
  script->LoadScript(true);
  EXPECT_TRUE(fs::exists(dir / "missing.def"));
  EXPECT_EQ(script->Count(), 0);
}

TEST_F(ScriptRun, CopyIfRunsCopyifDefFromTheProgramDirectory) {
  WriteFile(dir / "Copyif.def", "X-CopyIf: yes\r\n");
  settings.FilePath = "/nonexistent/";
  THamsterSession hamster;
  TCopyIfRun copyIf(hamster);
  script = std::make_unique<TVQSkript>("", article.get(), &settings);
  script->CopyIf = &copyIf;
  script->LoadScript(true);
  Main();
  EXPECT_EQ(Field("X-CopyIf"), "yes");
}

TEST_F(ScriptRun, ResetReloadsAProfileThatOptionsChanged) {
  WriteFile(dir / "Tidelarn.ini", "[News]\r\nSetLines=0\r\nFilePath=" + dir.Path() + "/\r\n");
  settings.IniFileName = dir / "Tidelarn.ini";
  settings.Section = "News";
  settings.SetLines = true;
  Load("X-A: 1\r\n");
  EXPECT_TRUE(settings.SetLines);  // nothing changed: no reload
  script->ChangedOptions = {"setlines"};
  script->ChangedOptionValues = {"1"};
  script->LoadScript(true);
  EXPECT_FALSE(settings.SetLines);
  EXPECT_TRUE(script->ChangedOptions.empty());
}

TEST_F(ScriptRun, InputAndReadIniStr) {
  SetDriverHost(TDriverHost::ConfigProgram);
  TAnsweringPrompter prompter;
  PrompterScope scope(&prompter);
  prompter.input = "typed";
  WriteFile(dir / "x.ini", "[S]\r\nKey=stored\r\n");
  Run("%a% = Input(\"\", \"\", \"preset\")\r\n"
      "%r% = ReadIniStr(\"" + dir.Path() + "/x.ini\", \"S\", \"Key\", \"def\")\r\n"
      "%m% = ReadIniStr(\"" + dir.Path() + "/none.ini\", \"S\", \"Key\", \"def\")\r\n"
      // A bare name is the settings folder's file, whatever the working folder.
      "Do Write IniStr \"bare.ini\", \"S\", \"Key\", \"written\"\r\n"
      "%b% = ReadIniStr(\"bare.ini\", \"S\", \"Key\", \"def\")\r\n"
      "%n% = ReadIniStr(\"nowhere.ini\", \"S\", \"Key\", \"def\")\r\n");
  EXPECT_EQ(Var("b"), "written");
  EXPECT_EQ(Var("n"), "def");
  EXPECT_FALSE(fs::exists("bare.ini"));
  EXPECT_EQ(Var("a"), "typed");
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0], "Tidelarn V4.2.8|Bitte eingeben:|preset");
  EXPECT_EQ(Var("r"), "stored");
  EXPECT_EQ(Var("m"), "def");
  prompter.inputOk = false;
  Run("%a% = Input(\"T\", \"P\", \"preset\")\r\n");
  EXPECT_EQ(Var("a"), "preset");
  SetDriverHost(TDriverHost::Runner);
}

TEST_F(ScriptRun, TheRunnerShowsItsOwnVersion) {
  SetDriverHost(TDriverHost::Runner);
  TAnsweringPrompter prompter;
  PrompterScope scope(&prompter);
  Run("%v% = Version\r\n%a% = Input(\"\", \"P\", \"x\")\r\n");
  EXPECT_EQ(Var("v"), "4.2.1");
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0], "Tidelarn V4.2.1|P|x");
}

// Each row assigns one text to the test message as it was loaded.
TEST_F(ScriptRun, HeaderValuesAreFoldedEncodedAndAppended) {
  enum Then { None, Optimize, FixSubject };  // "Do Optimize MIMEHeader", the subject fix
  const struct {
    const char* text;
    bool append;
    std::vector<std::string> header;  // the whole header after the assignment
    Then then = None;
  } rows[] = {
      {"X-Multi: a\r\nb\r\n\r\n\tc\r\nY-Own: d\r\n", false,
       {"From: Max Muster <max@example.org>", "Subject: Test", "Newsgroups: de.test",
        "X-Multi: a\r\n b\r\n\tc\r\nY-Own: d"}},
      {"Subject: second", true,
       {"From: Max Muster <max@example.org>", "Subject: Test", "Subject: second",
        "Newsgroups: de.test"}},
      {"X-New: appended", true,
       {"From: Max Muster <max@example.org>", "Subject: Test", "Newsgroups: de.test",
        "X-New: appended"}},
      // Every line is encoded as a field of its own (or as the continuation of
      // one), so no line break lands inside an encoded word.
      {"X-A: Gr\xFC\xDF" "e\r\nX-B: plain\r\nTo: J\xF6rg <j@example.org>\r\nGr\xFC\xDF" "e", false,
       {"From: Max Muster <max@example.org>", "Subject: Test", "Newsgroups: de.test",
        "X-A: =?windows-1252?Q?Gr=FC=DFe?=\r\nX-B: plain\r\n"
        "To: =?windows-1252?Q?J=F6rg?= <j@example.org>\r\n =?windows-1252?Q?Gr=FC=DFe?="}},
      {"Subject: Gr\xFC\xDF" "e\r\nX-B: plain", false,
       {"From: Max Muster <max@example.org>", "Subject: =?windows-1252?Q?Gr=FC=DFe?=\r\nX-B: plain",
        "Newsgroups: de.test"}},
      {"X-A: Gr\xFC\xDF" "e", true,
       {"From: Max Muster <max@example.org>", "Subject: Test", "Newsgroups: de.test",
        "X-A: =?windows-1252?Q?Gr=FC=DFe?="}},
      // Re-encoding takes each field of the block on its own; a folded field
      // is still unfolded into one line.
      {"X-A: Gr\xFC\xDF" "e\r\nX-B: Gr\xFC\xDF" "e\r\nweiter", false,
       {"From: Max Muster <max@example.org>", "Subject: Test", "Newsgroups: de.test",
        "X-A: =?windows-1252?Q?Gr=FC=DFe?=\r\nX-B: =?windows-1252?Q?Gr=FC=DFe?= weiter"},
       Optimize},
      // The subject fix corrects the block's first field only.
      {"Subject: Re: Re: Gr\xFC\xDF" "e\r\nX-B: plain", true,
       {"From: Max Muster <max@example.org>", "Subject: Test",
        "Subject: Re: =?windows-1252?Q?Gr=FC=DFe?=\r\nX-B: plain", "Newsgroups: de.test"},
       FixSubject},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    article->LoadFromString(kMessage);
    Load(row.then == Optimize ? "Sub main\r\n  Do Optimize MIMEHeader\r\nEnd Sub\r\n" : "");
    script->AssignHeader(row.text, true, row.append);
    if (row.then == Optimize) Main();
    settings.DelDoubleRe = row.then == FixSubject;
    if (row.then == FixSubject) script->FixSubjectAndReferences();
    EXPECT_EQ(article->Header.Lines(), row.header);
  }

  // Blanks and TABs that lead a continuation line stay in front of its
  // encoded word: every line written is a field or a continuation, and the
  // value reads back as it was given, line breaks aside.
  const auto fieldOrContinuation = [](const std::string& line) {
    if (line.starts_with(' ') || line.starts_with('\t')) return true;
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos) return false;
    for (size_t i = 0; i < colon; ++i)
      if (static_cast<unsigned char>(line[i]) < 33 || static_cast<unsigned char>(line[i]) > 126) return false;
    return true;
  };
  const std::string long8Bit = [] {
    std::string s;
    for (int i = 0; i < 6; ++i) s += " Grüße aus Köln";
    return s;
  }();
  const char* const texts[] = {
      "X-Test: erste Zeile\r\n\tGrüße aus Köln",
      "X-Test: erste Zeile\r\n  Grüße aus Köln",
      "X-Test: Grüße\r\n \taus Köln\r\n\tund Bonn",
      "X-Test: erste\r\n\tzweite\r\n dritte",
      "To: Max <max@example.org>,\r\n\tJörg <j@example.org>",
      // No name a field can have before ": ", and a line of blanks.
      "X-Test: eins\r\nFöö: bar",
      "X-Test: eins\r\n: leer",
      "X-Test: eins\r\nFoo bar: x",
      "X-Test: eins\r\n::: x",
      "X-Test: eins\r\n \t \r\nzwei",
  };
  std::vector<std::string> values(std::begin(texts), std::end(texts));
  values.push_back("X-Test: kurz\r\n\t" + long8Bit.substr(1));
  settings.HeaderCharsets = "iso-8859-1";
  for (const char* internal : {"windows-1252", "utf-8"}) {
    SetInternalCharset(internal);
    for (const bool append : {false, true}) {
      for (const std::string& utf8 : values) {
        SCOPED_TRACE(std::string(internal) + (append ? " append " : " set ") + utf8);
        article = std::make_unique<TArtikel>(InternalCharsetName(), "", settings.HeaderCharsets);
        article->LoadFromString(kMessage);
        Load("");
        const std::string text = FromUtf8(utf8);
        script->AssignHeader(text, true, append);
        for (const std::string& line : SplitLines(JoinLines(article->Header.Lines())))
          EXPECT_TRUE(fieldOrContinuation(line)) << line;
        std::string name, given, value;
        SplitHeaderLine(text, name, given);
        // A line led by no blank continues after one; a line of blanks goes.
        for (const std::string& line : SplitLines(given)) {
          if (!value.empty() && line.find_first_not_of(" \t") == std::string::npos) continue;
          value += value.empty() || line.starts_with(' ') || line.starts_with('\t') ? line : " " + line;
        }
        const int at = append ? article->Header.Count() - 1 : article->Header.IndexOfField(name);
        EXPECT_EQ(article->Header.GetFieldAt(at, false), value);
      }
    }
    // The value of a script variable, through Set H, byte for byte.
    Run("%v% = \"erste Zeile\" + CRLF + Chr(9) + \"Grüße aus Köln\" + CRLF + \"X-After: ok\"\r\n"
        "Set H X-Test: %v%\r\n");
    EXPECT_EQ(errors, "");
    EXPECT_EQ(article->Header.Lines().back(),
              "X-Test: erste Zeile\r\n\t=?iso-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=\r\nX-After: ok");
  }
  SetInternalCharset("");
}

// ---------------------------------------------------------------------------
// The user's choices after an error or a debug stop

namespace {
class TChoosingPrompter : public THeadlessPrompter {
public:
  std::vector<int> answers;  // taken in turn; End when used up
  std::vector<TErrorDisplay> shown;
  std::function<void()> onShow;
  int ShowErrorOrDebug(TErrorDisplay& display) override {
    shown.push_back(display);
    if (onShow) onShow();
    if (shown.size() > answers.size()) return ErrorChoice::End;
    return answers[shown.size() - 1];
  }
};
}  // namespace

TEST_F(ScriptRun, ContinueRunsTheNextLineEndStops) {
  TChoosingPrompter prompter;
  PrompterScope scope(&prompter);
  prompter.answers = {ErrorChoice::Continue};
  Run("X-A: 1\r\nnot a _\r\ncommand\r\nX-B: 2\r\nbad again\r\nX-C: 3\r\n");
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[0].lineNo, 2);
  EXPECT_NE(prompter.shown[0].errorMsg.find("not a command"), std::string::npos);
  EXPECT_EQ(Field("X-B"), "2");  // after the joined lines
  EXPECT_EQ(Field("X-C"), "");   // the second error was answered with End
  EXPECT_EQ(script->RunState, RunStates::Ended);
}

TEST_F(ScriptRun, RetryRunsTheEditedLineAgain) {
  TChoosingPrompter prompter;
  PrompterScope scope(&prompter);
  prompter.answers = {ErrorChoice::Retry};
  prompter.onShow = [&] { WriteFile(dir / "header.def", "X-A: 1\r\nX-Fixed: yes\r\nX-B: 2\r\n"); };
  Run("X-A: 1\r\nbroken line\r\nX-B: 2\r\n");
  EXPECT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(Field("X-Fixed"), "yes");
  EXPECT_EQ(Field("X-B"), "2");
}

TEST_F(ScriptRun, StopSingleStepsUntilContinue) {
  TChoosingPrompter prompter;
  PrompterScope scope(&prompter);
  prompter.answers = {ErrorChoice::NextLine, ErrorChoice::NextLine, ErrorChoice::Continue};
  Run("X-A: 1\r\nstop\r\nX-B: 2\r\nX-C: 3\r\nX-D: 4\r\nX-E: 5\r\n");
  ASSERT_EQ(prompter.shown.size(), 3u);
  for (const TErrorDisplay& d : prompter.shown) EXPECT_EQ(d.errorMsg, "");
  EXPECT_EQ(prompter.shown[0].lineNo, 2);
  EXPECT_EQ(prompter.shown[1].lineNo, 3);
  EXPECT_EQ(prompter.shown[2].lineNo, 4);
  EXPECT_EQ(Field("X-E"), "5");
  EXPECT_EQ(script->RunState, RunStates::Running);
}

TEST_F(ScriptRun, AnErrorInsideASubCanBeSkipped) {
  TChoosingPrompter prompter;
  PrompterScope scope(&prompter);
  prompter.answers = {ErrorChoice::Continue};
  Run("Sub main\r\n  gosub S\r\n  X-Back: yes\r\nEnd Sub\r\n"
      "Sub S\r\n  no such command\r\n  X-InSub: yes\r\nEnd Sub\r\n");
  EXPECT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(Field("X-InSub"), "yes");
  EXPECT_EQ(Field("X-Back"), "yes");
}
