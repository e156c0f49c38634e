// Conditions read directly from text: combination strictly from left to right,
// every comparison form, the message tests and the boxes of Ask and Abort.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uArtikel.h"
#include "uDriver.h"
#include "uEinstellungen.h"
#include "uTools.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace {

// Answers boxes with a fixed button and records every error display.
class TRecordingPrompter : public TPrompter {
public:
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    boxes.emplace_back(text, caption, flags);
    return answer;
  }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return true; }
  int ShowErrorOrDebug(TErrorDisplay& display) override {
    displays.push_back(display);
    return ErrorChoice::End;
  }

  int answer = id::Yes;
  std::vector<std::tuple<std::string, std::string, unsigned>> boxes;
  std::vector<TErrorDisplay> displays;
};

const char* const kPlain =
    "From: a@example.org\r\n"
    "Subject: Test\r\n"
    "\r\n"
    "Text\r\n"
    "-- \r\n"
    "Sig\r\n";

class Condition : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    SetProgramDir(dir.Path() + "/");
    SetPrompter(&prompter);
    Message(kPlain);
  }
  void TearDown() override {
    script.reset();
    SetPrompter(nullptr);
  }

  void Message(const std::string& text) {
    script.reset();
    article = std::make_unique<TArtikel>(InternalCharsetName(), "", "");
    article->LoadFromString(text);
    script = std::make_unique<TVQSkript>("test.msg", article.get(), &settings);
    Var("S", VarType::String)->SetString("abc");
    Var("E", VarType::String)->SetString("");
    Var("A", VarType::Integer)->SetInteger(1);
    Var("B", VarType::Integer)->SetInteger(2);
    Var("C", VarType::Integer)->SetInteger(3);
    Var("FLAG", VarType::Boolean)->SetBoolean(true);
  }
  TVarObj* Var(const std::string& name, uint8_t type) {
    return script->Variables->Declare(name, type);
  }

  // The value of a condition that must be read to its end.
  bool Is(std::string text) {
    bool value = script->EvalCondition(text);
    EXPECT_EQ(text, "") << "unread rest";
    return value;
  }
  // The message of the error a condition raises ("" when it raises none).
  std::string Error(std::string text) {
    size_t before = prompter.displays.size();
    try {
      script->EvalCondition(text);
    } catch (const EAbort&) {
      if (prompter.displays.size() > before) return prompter.displays.back().errorMsg;
      return "<abort without display>";
    }
    return "";
  }

  TempDir dir;
  TRecordingPrompter prompter;
  TVQEinstellungen settings;
  std::unique_ptr<TArtikel> article;
  std::unique_ptr<TVQSkript> script;
};

// Messages are in the internal charset; the expectations here are UTF-8.
bool Has(const std::string& text, const std::string& part) {
  return text.find(FromUtf8(part)) != std::string::npos;
}

}  // namespace

TEST_F(Condition, CombinesStrictlyFromLeftToRight) {
  // (a=1 or b=9) and c=9: with "and" binding closer it would be true.
  EXPECT_FALSE(Is("%a% = 1 or %b% = 9 and %c% = 9"));
  EXPECT_TRUE(Is("%a% = 1 or %b% = 2 and %c% = 3"));
  EXPECT_FALSE(Is("true or false and false"));
  EXPECT_FALSE(Is("false or true xor true"));
  EXPECT_TRUE(Is("true xor true xor true"));
  EXPECT_TRUE(Is("(true or false) and true"));
  EXPECT_TRUE(Is("true AND ( false OR true )"));
  EXPECT_TRUE(Is(""));
}

TEST_F(Condition, NotTogglesPerWord) {
  EXPECT_TRUE(Is("not not true"));
  EXPECT_FALSE(Is("not true"));
  EXPECT_FALSE(Is("not false and false"));
  EXPECT_FALSE(Is("not (false or true)"));
  EXPECT_TRUE(Is("not %a% = 2"));
  EXPECT_TRUE(Is("%s% not contains \"x\""));
  EXPECT_FALSE(Is("not %s% not contains \"x\""));
}

TEST_F(Condition, StopsAtTheFirstWordThatCombinesNothing) {
  std::string s = "%a% = 1 then Set %b% = 2";
  EXPECT_TRUE(script->EvalCondition(s));
  EXPECT_EQ(s, "then Set %b% = 2");
  s = "  true   whatever or false";
  EXPECT_TRUE(script->EvalCondition(s));
  EXPECT_EQ(s, "whatever or false");
  s = "%flag% = 1";  // a Boolean variable is an operand of its own
  EXPECT_TRUE(script->EvalCondition(s));
  EXPECT_EQ(s, "= 1");
  // "order" is no "or".
  s = "true order";
  EXPECT_TRUE(script->EvalCondition(s));
  EXPECT_EQ(s, "order");
}

TEST_F(Condition, BracketsAreAlwaysSubConditions) {
  EXPECT_FALSE(Is("((false))"));
  EXPECT_TRUE(Has(Error("(true false)"), "Keine zulässige Verknüpfung"));
  EXPECT_TRUE(Has(prompter.displays.back().errorMsg, "\"false\""));
  // A bracketed sum is read as a condition and fails.
  EXPECT_NE(Error("(1 + 2) = 3"), "");
  EXPECT_TRUE(Has(Error("(true"), "Unbekannter Vergleichsausdruck"));
  // Deep nesting is refused before the stack runs out.
  std::string deep = std::string(5000, '(') + "true" + std::string(5000, ')');
  EXPECT_TRUE(Has(Error(deep), "Unbekannter Vergleichsausdruck"));
  EXPECT_TRUE(Is(std::string(100, '(') + "true" + std::string(100, ')')));
  EXPECT_TRUE(Has(Error("true and"), "Unbekannter Vergleichsausdruck"));
}

TEST_F(Condition, StringComparisons) {
  Var("U", VarType::String)->SetString("\xE4");
  EXPECT_TRUE(Is("\"abc\" contains \"b\""));
  EXPECT_FALSE(Is("\"abc\" contains \"\""));
  EXPECT_TRUE(Is("\"b\" in %s%"));
  EXPECT_FALSE(Is("%e% in %s%"));
  EXPECT_TRUE(Is("%s% equals \"abc\""));
  EXPECT_FALSE(Is("%s% = \"ABC\""));
  EXPECT_TRUE(Is("%s% <> \"ABC\""));
  EXPECT_TRUE(Is("\"a\" < \"b\" and \"a\" less than \"b\""));
  EXPECT_TRUE(Is("\"b\" > \"a\" and \"b\" greater than \"a\""));
  EXPECT_TRUE(Is("\"a\" >= \"a\" and \"a\" <= \"b\" and not \"b\" <= \"a\""));
  EXPECT_TRUE(Is("%u% > \"z\""));  // bytes compare unsigned
  EXPECT_TRUE(Is("%s% like \"^a.c$\""));
  EXPECT_FALSE(Is("%s% matches \"B\""));
  EXPECT_TRUE(Is("%s% begins with \"\" and %s% begins with \"ab\""));
  EXPECT_TRUE(Is("%s% ends with \"bc\""));
  EXPECT_FALSE(Is("\"ab\" begins with \"abc\""));
  EXPECT_FALSE(Is("\"bc\" ends with \"abc\""));
  EXPECT_TRUE(Is("%e% is empty"));
  EXPECT_FALSE(Is("%s% is empty"));
  EXPECT_TRUE(Is("%s% not is empty"));
  EXPECT_TRUE(Is("\"b\" between \"a\" and \"c\""));
  EXPECT_TRUE(Is("\"b\" between \"c\" and \"a\""));
  EXPECT_FALSE(Is("\"d\" between \"a\" and \"c\""));
  // "between ... and" takes its own "and": what follows combines as usual.
  EXPECT_FALSE(Is("\"b\" between \"a\" and \"c\" and false"));
}

TEST_F(Condition, StringComparisonErrors) {
  EXPECT_TRUE(Has(Error("%s% foo \"b\""), "Unbekannte Vergleichsoperation \"foo \"b\"\""));
  EXPECT_TRUE(Has(Error("%s% = 5"), "muß mit '\"' geklammert werden"));
  EXPECT_TRUE(Has(Error("%s% between \"a\" \"c\""), "between ... and ..."));
  // A broken pattern ends the line through the display, not the whole run.
  EXPECT_TRUE(Has(Error("%s% like \"(\""), "Perlre"));
}

TEST_F(Condition, NumericComparisons) {
  EXPECT_TRUE(Is("5 between 7 and 3"));
  EXPECT_FALSE(Is("8 between 7 and 3"));
  EXPECT_TRUE(Is("1 = 1 and 1 <> 2 and 2 <= 2 and 3 >= 3 and 1 < 2 and 2 > 1"));
  EXPECT_FALSE(Is("%b% * 2 < %c%"));
  EXPECT_TRUE(Is("0.1 + 0.2 <> 0.3"));  // exact comparison of doubles
  EXPECT_TRUE(Has(Error("5 less than 6"), "numerische Vergleichsoperation"));
  EXPECT_TRUE(Has(Error("5 not = 6"), "numerische Vergleichsoperation"));
  EXPECT_TRUE(Has(Error("5 ="), "Vergleichswert fehlt"));
  EXPECT_TRUE(Has(Error("5 between 1 3"), "between ... and ..."));
  EXPECT_TRUE(Has(Error("# 5"), "Unbekannter Vergleichsausdruck \"# 5\""));
}

TEST_F(Condition, StrToBool) {
  for (const char* word : {"\"\"", "\"f\"", "\"0\"", "\"False\"", "\"falsch\"", "\"NO\"", "(\"nein\")"})
    EXPECT_FALSE(Is(std::string("StrToBool ") + word)) << word;
  for (const char* word : {"\"1\"", "\"t\"", "\"TRUE\"", "\"wahr\"", "\"yes\"", "(\"Ja\")"})
    EXPECT_TRUE(Is(std::string("StrToBool ") + word)) << word;
  EXPECT_TRUE(Has(Error("StrToBool \"maybe\""), "\"maybe\""));
  EXPECT_TRUE(Has(Error("StrToBool"), "gültiger String-Ausdruck"));
  EXPECT_TRUE(Has(Error("StrToBool (\"ja\" x)"), "gültiger String-Ausdruck"));
}

TEST_F(Condition, VariablesAndFiles) {
  EXPECT_TRUE(Is("%flag%"));
  EXPECT_TRUE(Is("%FLAG% and VarExists(%a%) and not VarExists (%nothing%)"));
  EXPECT_TRUE(Has(Error("VarExists(a)"), "\"a\" ist kein zulässiger Variablenname"));
  EXPECT_TRUE(Has(Error("VarExists %a%"), "VarExists (%Variablenname%)"));
  EXPECT_TRUE(Has(Error("VarExists(%a% x)"), "VarExists (%Variablenname%)"));

  WriteFile(dir / "here.txt", "x");
  Var("F", VarType::String)->SetString(dir / "here.txt");
  Var("D", VarType::String)->SetString(dir.Path());
  EXPECT_TRUE(Is("FileExists(%f%)"));
  EXPECT_FALSE(Is("FileExists ( %d% )"));  // a folder is no file
  EXPECT_FALSE(Is("FileExists(%f% + \".no\")"));
  EXPECT_TRUE(Has(Error("FileExists %f%"), "FileExists ( <Stringausdruck> )"));
}

TEST_F(Condition, AskAndAbortGoThroughThePrompter) {
  SetDriverHost(TDriverHost::ConfigProgram);
  prompter.answer = id::Yes;
  EXPECT_TRUE(Is("Ask(\"Weiter?\")"));
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(std::get<0>(prompter.boxes[0]), "Weiter?");
  EXPECT_EQ(std::get<1>(prompter.boxes[0]), "Tidelarn V4.2.8");
  EXPECT_EQ(std::get<2>(prompter.boxes[0]), unsigned(mb::YesNo | mb::IconQuestion));
  prompter.answer = id::No;
  EXPECT_FALSE(Is("Ask (\"q\", \"Titel\")"));
  EXPECT_EQ(std::get<1>(prompter.boxes[1]), "Titel");

  SetDriverHost(TDriverHost::Runner);
  prompter.answer = id::Cancel;
  EXPECT_TRUE(Is("Abort(\"Stop?\")"));
  EXPECT_EQ(std::get<1>(prompter.boxes[2]), "Tidelarn V4.2.1");
  EXPECT_EQ(std::get<2>(prompter.boxes[2]),
            unsigned(mb::OkCancel | mb::IconStop | mb::DefButton2));
  prompter.answer = id::Ok;
  EXPECT_FALSE(Is("Abort(\"Stop?\")"));

  EXPECT_TRUE(Has(Error("Ask \"q\""), "Ask ( Text [, Überschrift] )"));
  EXPECT_TRUE(Has(Error("Ask(\"q\",)"), "Ask ( Text [, Überschrift] )"));
  EXPECT_TRUE(Has(Error("Abort(\"q\" \"t\")"), "Abort ( Text [, Überschrift] )"));
  EXPECT_EQ(prompter.boxes.size(), 4u);
}

TEST_F(Condition, SignatureLinesAndChanges) {
  EXPECT_TRUE(Is("HasSignature and HasSig"));
  EXPECT_FALSE(Is("ChangedLines or ChangedSig or ChangedSignature or Changed"));
  EXPECT_FALSE(Is("ChangedIntro or ChangedIntroduction"));
  script->LinesToAppend.push_back("x");
  EXPECT_TRUE(Is("ChangedLines and Changed"));
  script->LinesToAppend.clear();
  article->CurrentPart()->Sig().Add("other");
  EXPECT_TRUE(Is("ChangedSignature and Changed"));
  auto intro = std::make_unique<TChangedStringlist>();
  article->CurrentPart()->SetNamedList("Intro", std::move(intro));
  EXPECT_FALSE(Is("ChangedIntro"));
  article->CurrentPart()->GetNamedList("Intro")->Add("Hallo");
  EXPECT_TRUE(Is("ChangedIntroduction"));

  Message("Subject: x\r\n\r\nno signature\r\n");
  EXPECT_FALSE(Is("HasSignature"));
  EXPECT_FALSE(Is("Changed"));
  article->Header.SetField("X-New", "1");
  EXPECT_TRUE(Is("Changed"));
}

TEST_F(Condition, PartTypeAndEncoding) {
  Message("MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n"
          "Content-Transfer-Encoding: 7bit\r\n\r\nx\r\n");
  EXPECT_TRUE(Is("PartType is Text and PartType is PlainText and not PartType is HTML"));
  EXPECT_FALSE(Is("PartType is Binary or PartType is Unknown or PartType is UnknownText"));
  EXPECT_TRUE(Is("PartEncoding is 7 bit and PartEncoding is 7Bit and PartEncoding is 7-bit"));
  EXPECT_TRUE(Is("PartEncoding is ascii and not PartEncoding is 8bit"));
  EXPECT_TRUE(Has(Error("PartEncoding is 7"), "PartEncoding"));
  EXPECT_TRUE(Has(Error("PartEncoding 7bit"), "PartEncoding"));
  EXPECT_TRUE(Has(Error("PartType is Textual"), "Parttype"));
  EXPECT_TRUE(Has(Error("PartType Text"), "Parttype"));

  Message("MIME-Version: 1.0\r\nContent-Type: text/html\r\n"
          "Content-Transfer-Encoding: quoted-printable\r\n\r\nx\r\n");
  EXPECT_TRUE(Is("PartType is HTML and not PartType is Text and not PartType is Binary"));
  EXPECT_TRUE(Is("PartEncoding is qp and PartEncoding is quoted-printable"));

  Message("MIME-Version: 1.0\r\nContent-Type: image/png\r\n"
          "Content-Transfer-Encoding: base64\r\n\r\nAAAA\r\n");
  EXPECT_TRUE(Is("PartType is Image and PartType is Binary and PartEncoding is Base64"));

  Message("MIME-Version: 1.0\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
          "Content-Transfer-Encoding: 8bit\r\n\r\nx\r\n");
  EXPECT_TRUE(Is("PartEncoding is 8bit and PartEncoding is 8-bit and PartEncoding is 8 Bit"));
}

TEST_F(Condition, AnErrorStoresTheChoiceAsRunState) {
  Error("%s% foo \"b\"");
  ASSERT_FALSE(prompter.displays.empty());
  // No script lines: the display names no line; the message stands alone.
  EXPECT_EQ(prompter.displays.back().lineNo, 0);
  EXPECT_EQ(script->RunState, RunStates::Ended);
}
