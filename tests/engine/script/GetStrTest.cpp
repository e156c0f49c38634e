#include <cmath>

#include "EvalFixture.h"
#include "TestSupport.h"
#include "uTools.h"
#include "uperlre.h"

namespace {

struct StrCase {
  const char* text;
  const char* value;
};
void PrintTo(const StrCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.text) << " gives " << ::testing::PrintToString(c.value);
}

class StringValues : public EvalTest, public ::testing::WithParamInterface<StrCase> {};

TEST_P(StringValues, Evaluate) {
  bool ok = false;
  std::string rest;
  std::string v = Str(GetParam().text, &rest, &ok);
  EXPECT_TRUE(ok) << GetParam().text;
  EXPECT_EQ(v, GetParam().value) << GetParam().text;
  EXPECT_EQ(rest, "") << GetParam().text;
  EXPECT_TRUE(errors.empty()) << FirstError();
}

INSTANTIATE_TEST_SUITE_P(
    ConstantsIndexesConcatenation, StringValues,
    ::testing::Values(StrCase{"'abc' + \"def\"", "abcdef"}, StrCase{"'abc'[2]", "b"}, StrCase{"'abc'[0]", ""},
                      StrCase{"'abc'[4]", ""}, StrCase{"'abc'[1+1]+'x'", "bx"}, StrCase{"\"it's\"", "it's"},
                      StrCase{"'say \"hi\"'", "say \"hi\""}, StrCase{"''", ""}, StrCase{"   'a'", "a"},
                      StrCase{"+ 'b'", "b"}, StrCase{"'a' + + 'c'", "ac"}, StrCase{"'a'+'b'+'c'", "abc"},
                      StrCase{"%NAME% + '!'", "Ada!"}, StrCase{"%name%[1]", "A"}),
    NamedBy<&StrCase::text>());

INSTANTIATE_TEST_SUITE_P(
    BuiltinFunctions, StringValues,
    ::testing::Values(
        StrCase{"Chr(65)", "A"}, StrCase{"Chr(255)", "\xFF"}, StrCase{"Chr(65.9)", "A"},
        StrCase{"Lower('\xC4" "Bc\xDE')", "\xE4" "bc\xFE"}, StrCase{"upper('abc\xE4\xFF')", "ABC\xC4\x9F"},
        StrCase{"EscRegExp('a.b(c)')", "a\\.b\\(c\\)"}, StrCase{"Str(3.14159, 8, 3)", "    3.14"},
        StrCase{"Str(2.5)", "2.5"}, StrCase{"Str(1/3, 0, 4)", "0.3333"}, StrCase{"Str(-12, 5)", "  -12"},
        StrCase{"Str(1234567, 0, 3)", "1.23E6"}, StrCase{"IStr(2.5)", "3"}, StrCase{"IStr(-2.5)", "-3"},
        StrCase{"IStr(2.4)", "2"}, StrCase{"Extract('[0-9]+', 'ab12cd34')", "12"},
        StrCase{"Extract('x', 'abc')", ""}, StrCase{"Extract('.*', 'abc')", "abc"},
        StrCase{"Extract('x*', 'abc')", ""}, StrCase{"Replace('xaxbxx', 'x', '-')", "-a-b--"},
        StrCase{"Replace('abc', 'x*', '-')", "-a-b-c-"}, StrCase{"Replace('abc', '', '-')", "abc"},
        StrCase{"Replace('', 'a', '-')", ""}, StrCase{"Replace('a.c', '\\.', '$1')", "a$1c"},
        StrCase{"CutLeft('abcdef', 2)", "cdef"}, StrCase{"CutLeft('ab', 2)", ""}, StrCase{"CutLeft('ab', -1)", "ab"},
        StrCase{"CutRight('abcdef', 2)", "abcd"}, StrCase{"CutRight('ab', 3)", ""}, StrCase{"Left('abc', 2)", "ab"},
        StrCase{"Left('abc', 0)", ""}, StrCase{"Right('abc', 2)", "bc"}, StrCase{"Right('abc', 5)", "abc"},
        StrCase{"Right('abc', -1)", ""}, StrCase{"Copy('abcdef', 2, 3)", "bcd"}, StrCase{"Copy('abc', 0, 2)", "ab"},
        StrCase{"Copy('abc', 2147483647, 2147483647)", ""}, StrCase{"Trim(' \t x \r\n')", "x"},
        StrCase{"LTrim(' \t x \t')", "x \t"}, StrCase{"RTrim(' x \t ')", " x"}, StrCase{"LTrim('\r\n x')", "\r\n x"},
        StrCase{"FillChar('ab', 3)", "ababab"}, StrCase{"FillChar('ab', 0)", ""}, StrCase{"FillChar('', 9)", ""},
        StrCase{"TAB", "\t"}, StrCase{"CRLF", "\r\n"}, StrCase{"CR", "\r\n"}, StrCase{"cr + 'x'", "\r\nx"},
        StrCase{"Sigdelimiter", "-- "}, StrCase{"DosToWin('\x84\x81\xE1')", "\xE4\xFC\xDF"},
        StrCase{"WinToDos('\xE4\xFC\xDF')", "\x84\x81\xE1"}, StrCase{"WordWrap('aaa bbb ccc', 5, '')", "aaa\r\nbbb\r\nccc"},
        StrCase{"Upper(Lower(Upper('mIxEd')))", "MIXED"}, StrCase{"Left(Upper('abc') + 'd', Len('xyz'))", "ABC"}),
    NamedBy<&StrCase::text>());

TEST_F(EvalTest, ConstantWithoutClosingQuoteFails) {
  bool ok = true;
  std::string rest;
  Str("'abc", &rest, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(rest, "'abc");
  Str("no term", &rest, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(rest, "no term");
  EXPECT_TRUE(errors.empty()) << FirstError();
}

TEST_F(EvalTest, ConstantsStopBeforeWhatFollows) {
  struct RestCase {
    const char* text;
    const char* value;
    const char* rest;
  };
  const RestCase cases[] = {{"  'a b' , x", "a b", ", x"}, {"\"it's\"then", "it's", "then"},
                            {"'ab'[2] x", "b", "x"},         {"'a' + \"b\" ", "ab", ""},
                            {"''\t", "", ""},                {"'a'\t+ 'c'", "ac", ""}};
  for (const RestCase& c : cases) {
    std::string rest;
    EXPECT_EQ(Str(c.text, &rest), c.value) << c.text;
    EXPECT_EQ(rest, c.rest) << c.text;
  }
  RegisterStringFunction("'q", "", 0, 0, [](FunctionCall&, std::string& r) { r = "fn"; }, this);
  EXPECT_EQ(Str("'q'"), "fn") << "a registered name comes before a constant";
  EXPECT_TRUE(errors.empty()) << FirstError();
}

TEST_F(EvalTest, FailedTermAfterPlusKeepsTheFirstTerm) {
  bool ok = true;
  std::string rest;
  EXPECT_EQ(Str("'a' + 'b' + x", &rest, &ok), "a");
  EXPECT_FALSE(ok);
  EXPECT_EQ(rest, "x");
  EXPECT_EQ(Str("'a' then", &rest, &ok), "a");
  EXPECT_TRUE(ok);
  EXPECT_EQ(rest, "then");
}

TEST_F(EvalTest, FunctionNamesAreScriptWords) {
  bool ok = true;
  std::string rest;
  Str("Crx", &rest, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(rest, "Crx");
  EXPECT_EQ(Str("CR2", &rest), "\r\n") << "a digit ends a word";
  EXPECT_EQ(rest, "2");
}

TEST_F(EvalTest, StringFunctionErrors) {
  struct ErrCase {
    const char* text;
    const char* message;
  };
  const ErrCase cases[] = {
      {"Chr(0)", "Chr(x) ist nur mit 1-255 zulässig, nicht mit 0"},
      {"Chr(256)", "Chr(x) ist nur mit 1-255 zulässig, nicht mit 256"},
      {"Chr('a')", "Syntaxfehler: Die Funktion \"Chr\" erwartet als 1. Parameter einen numerischen Ausdruck"},
      {"Left(1, 2)", "Syntaxfehler: Die Funktion \"Left\" erwartet als 1. Parameter einen String"},
      {"Left('abc')", "Syntaxfehler: Die Funktion \"Left\" erwartet 2 und nicht nur 1 Parameter"},
      {"Lower('a', 'b')", "Syntaxfehler: Die Funktion \"Lower\" braucht nur 1 Parameter"},
      {"Lower 'a'", "Syntaxfehler: Die Funktion \"Lower\" braucht Parameter!"},
      {"'abc'[1", "Syntaxfehler: Ein einzelnes Zeichen wird mit \"String[Nummer]\" extrahiert"},
      {"'abc'[]", "Syntaxfehler: Ein einzelnes Zeichen wird mit \"String[Nummer]\" extrahiert"},
      {"Str", "Falsche Syntax, korrekt wäre \"Str(Zahl[,Zahl[,Zahl]])\""},
      {"Str('x')", "Falsche Syntax, korrekt wäre \"Str(Zahl[,Zahl[,Zahl]])\""},
      {"Str(1, 2, 3, 4)", "Falsche Syntax, korrekt wäre \"Str(Zahl[,Zahl[,Zahl]])\""},
  };
  for (const ErrCase& c : cases) {
    errors.clear();
    std::string v = Str(c.text);
    ASSERT_FALSE(errors.empty()) << c.text;
    EXPECT_EQ(errors[0].message, De(c.message)) << c.text;
    if (std::string(c.text).starts_with("Chr(") && c.text[4] != '\'') {
      EXPECT_EQ(v, "") << c.text;
    }
  }
}

TEST_F(EvalTest, LooseArgumentFunctions) {
  std::vector<std::string> seen;
  RegisterStringFunction(
      "Hdr", "$", kLooseStringArgument, 0,
      [&seen](FunctionCall& c, std::string& r) {
        seen.push_back(c.Str[1]);
        r = "<" + c.Str[1] + ">";
      },
      this);
  EXPECT_EQ(Str("Hdr 'Subject'"), "<Subject>");
  EXPECT_EQ(Str("Hdr(Subject)"), "<Subject>");
  EXPECT_EQ(Str("Hdr('a' + 'b')"), "<ab>");
  EXPECT_EQ(Str("Hdr Hdr 'x'"), "<<x>>");
  EXPECT_TRUE(errors.empty()) << FirstError();
  Str("Hdr Subject");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].message, "Syntaxfehler: Die Funktion \"Hdr\" braucht einen Stringparameter");
}

TEST_F(EvalTest, HandlersSeeAndConsumeTheRawText) {
  RegisterStringFunction(
      "Word", "", 0, 7,
      [](FunctionCall& c, std::string& r) {
        EXPECT_EQ(c.Index, 7);
        r = std::string(c.RawText.substr(0, 4));
        c.RawText.remove_prefix(4);
      },
      this);
  std::string rest;
  EXPECT_EQ(Str("Word  raw1 + 'x' rest", &rest), "raw1x");
  EXPECT_EQ(rest, "rest");
}

TEST_F(EvalTest, FunctionLookupFollowsRegistryChanges) {
  bool ok = true;
  EXPECT_EQ(Str("lower('A')"), "a") << "looked up once before the registry changes";
  Str("Zed", nullptr, &ok);
  EXPECT_FALSE(ok);
  RegisterStringFunction("Zed", "", 0, 0, [](FunctionCall&, std::string& r) { r = "z"; }, this);
  RegisterStringFunction("lower", "$", 0, 0, [](FunctionCall&, std::string& r) { r = "mine"; }, this);
  EXPECT_EQ(Str("zed"), "z");
  EXPECT_EQ(Str("Lower('A')"), "a") << "the built-in comes first";
  UnregisterStringFunction("Zed");
  Str("Zed", nullptr, &ok);
  EXPECT_FALSE(ok);
  UnregisterStringFunctions(this);
  EXPECT_EQ(Str("Lower('A')"), "a");
  EXPECT_TRUE(errors.empty()) << FirstError();
}

TEST_F(EvalTest, LongConcatenationChainsNeedNoDeepStack) {
  std::string text = "'a'";
  for (int i = 0; i < 20000; ++i) text += "+'a'";
  EXPECT_EQ(Str(text).size(), 20001u);

  std::string deep;
  for (int i = 0; i < 1000; ++i) deep += "Upper(";
  deep += "'x'" + std::string(1000, ')');
  EXPECT_THROW(Str(deep), Exception);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, "Der Ausdruck ist zu tief verschachtelt (mehr als 200 Ebenen)");
}

TEST_F(EvalTest, MixedNestingStaysWithinTheStack) {
  // Each pair of calls enters both evaluators: the deepest path through
  // function calls, arguments and handlers that read their own arguments.
  auto nest = [](int pairs) {
    std::string open, close;
    for (int i = 0; i < pairs; ++i) {
      open += "Str(Len(Hdr(Upper(";
      close += "))))";
    }
    return open + "'x'" + close;
  };
  RegisterStringFunction(
      "Hdr", "$", kLooseStringArgument, 0, [](FunctionCall& c, std::string& r) { r = c.Str[1]; }, this);
  EXPECT_EQ(Str(nest(kMaxExpressionNesting / 4 - 1)), "1");
  EXPECT_TRUE(errors.empty()) << FirstError();
  EXPECT_THROW(Str(nest(kMaxExpressionNesting)), Exception);
}

TEST_F(EvalTest, GeneratedTextsAreBounded) {
  EXPECT_EQ(ScriptTextLimit(), size_t(1) << 28);
  SetScriptTextLimit(100);
  EXPECT_EQ(Str("FillChar('abcd', 25)").size(), 100u);
  EXPECT_THROW(Str("FillChar('abcd', 26)"), ERangeError);
  EXPECT_THROW(Str("FillChar('abcd', 2147483647)"), ERangeError);
  EXPECT_EQ(Str("Str(1, 100)").size(), 100u);
  EXPECT_THROW(Str("Str(1, 101)"), ERangeError);
  EXPECT_THROW(Str("FillChar('a', 60) + FillChar('a', 41)"), ERangeError);
  EXPECT_THROW(Str("Replace(FillChar('a', 20), 'a', '123456')"), ERangeError);
  EXPECT_THROW(Str("WordWrap(FillChar('a ', 30), 1, FillChar('>', 10))"), ERangeError);
  SetScriptTextLimit(size_t(1) << 28);
  EXPECT_THROW(Str("Left('a', 10000000000)"), ERangeError);
  EXPECT_THROW(Str("IStr(10^30)"), ERangeError);
}

TEST_F(EvalTest, CharacterFunctionsCountUtf8WhenInternalIsUtf8) {
  LoadCharsetTables();
  SetInternalCharset("utf-8");
  const std::string ae = "\xC3\xA4";  // a-umlaut in UTF-8
  EXPECT_EQ(Str("Left('" + ae + ae + "x', 2)"), ae + ae);
  EXPECT_EQ(Str("CutLeft('" + ae + "bc', 1)"), "bc");
  EXPECT_EQ(Str("Upper('" + ae + "\xCE\xB1')"), "\xC3\x84\xCE\x91");
  EXPECT_EQ(Num("Len('" + ae + "')"), 1);
  EXPECT_EQ(Num("Ord('\xE2\x82\xAC')"), 8364);
  SetInternalCharset("");
  EXPECT_EQ(Num("Len('" + ae + "')"), 2);
}

TEST_F(EvalTest, CaseMappingFollowsTheInternalTableCharset) {
  LoadCharsetTables();
  SetInternalCharset("iso-8859-2");
  // L with caron is 0xA5 / 0xB5 there; windows-1252 would read yen and micro.
  EXPECT_EQ(Str("Lower('\xA5')"), "\xB5");
  EXPECT_EQ(Str("Upper('\xB5\xE4')"), "\xA5\xC4");
  SetInternalCharset("");
  EXPECT_EQ(Str("Lower('\xA5\x8A')"), "\xA5\x9A");
}

TEST_F(EvalTest, ReadIniReadsAPlainIniFile) {
  TempDir dir;
  WriteFile(dir / "t.ini", "[Sec]\r\nKey = value \r\n");
  EXPECT_EQ(Str("ReadIni('" + (dir / "t.ini") + "', 'sec', 'KEY', 'def')"), "value");
  EXPECT_EQ(Str("ReadIni('" + (dir / "t.ini") + "', 'sec', 'other', 'def')"), "def");
  EXPECT_EQ(Str("ReadIni('" + (dir / "missing.ini") + "', 'sec', 'key', 'def')"), "def");
}

TEST_F(EvalTest, GetDateTimeFormatsNow) {
  std::string s = Str("GetDateTime('yyyy')");
  ASSERT_EQ(s.size(), 4u);
  EXPECT_GE(std::stoi(s), 2024);
  EXPECT_EQ(Str("GetDateTime('')").substr(2, 1), ".");
}

// ---------------------------------------------------------------------------
// Helpers

TEST(NumberText, NumberToStrUsesFifteenDigitsAndAPoint) {
  EXPECT_EQ(NumberToStr(0.1 + 0.2), "0.3");
  EXPECT_EQ(NumberToStr(100), "100");
  EXPECT_EQ(NumberToStr(-2.5), "-2.5");
  EXPECT_EQ(NumberToStr(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(NumberToStr(123456789012345), "123456789012345");
  EXPECT_EQ(NumberToStr(1e15), "1E15");
  EXPECT_EQ(NumberToStr(1234567890123456789.0), "1.23456789012346E18");
  EXPECT_EQ(NumberToStr(0.00001), "0.00001");
  EXPECT_EQ(NumberToStr(0.0000015), "1.5E-6");
  EXPECT_EQ(NumberToStr(-0.0), "0");
  EXPECT_EQ(NumberToStr(1e308), "1E308");
  EXPECT_EQ(NumberToStr(std::nan("")), "NAN");
  EXPECT_EQ(NumberToStr(-INFINITY), "-INF");
  EXPECT_EQ(FormatGeneral(3.14159, 3), "3.14");
  EXPECT_EQ(FormatGeneral(999.9, 3), "1E3");
}

TEST(NumberText, ParsingIsStrict) {
  double v = -1;
  EXPECT_TRUE(TryParseDecimal("12.5", v));
  EXPECT_EQ(v, 12.5);
  EXPECT_TRUE(TryParseDecimal("-1e3", v));
  EXPECT_EQ(v, -1000);
  EXPECT_TRUE(TryParseDecimal(".5", v));
  EXPECT_EQ(v, 0.5);
  EXPECT_TRUE(TryParseDecimal("1e-400", v));
  EXPECT_EQ(v, 0);
  for (const char* bad : {"", "12,5", "inf", "nan", "1e", "1e400", "0x10", "1 ", "+", ".", "1.2.3", "e5"})
    EXPECT_FALSE(TryParseDecimal(bad, v)) << bad;
  EXPECT_EQ(StrToNumber(" 2.25 "), 2.25);
  EXPECT_THROW(StrToNumber("12,5"), EConvertError);
}

TEST(TextHelpers, SplitParenArgs) {
  std::string text = "  (a, (b), ')') x ", inner;
  EXPECT_TRUE(SplitParenArgs(text, inner, true));
  EXPECT_EQ(inner, "a, (b), ')'");
  EXPECT_EQ(text, "x");
  text = "(a) x";
  EXPECT_TRUE(SplitParenArgs(text, inner, false));
  EXPECT_EQ(text, "(a) x");
  for (const char* bad : {"(a", "a(b)", "(')'", "('a)"}) {
    text = bad;
    EXPECT_FALSE(SplitParenArgs(text, inner, true)) << bad;
  }
}

TEST(TextHelpers, WordWrap) {
  EXPECT_EQ(WordWrapText("", "> ", 5), "");
  EXPECT_EQ(WordWrapText("abcdefghij", "", 3), "abcdefghij");
  EXPECT_EQ(WordWrapText("ab cd ef", "> ", 4), "ab\r\n> cd\r\n> ef");
  EXPECT_EQ(WordWrapText("abc ", "", 2), "abc ") << "a blank at the very end stays";
  EXPECT_EQ(WordWrapText("ab\ncd ef", "> ", 40), "ab\n> cd ef");
  EXPECT_EQ(WordWrapText("ab cd\r\nef gh", "", 4), "ab\r\ncd\r\nef\r\ngh");
}

TEST(TextHelpers, Regex) {
  EXPECT_TRUE(RegexMatch("abc", "^a.c$"));
  EXPECT_FALSE(RegexMatch("ABC", "abc"));
  EXPECT_THROW(RegexMatch("abc", "("), EPerlRe);
  EXPECT_EQ(StrReplaceRegex("aaa", "a", "bb"), "bbbbbb");
  EXPECT_EQ(StrReplaceRegex(std::string("a\0a", 3), "a", "b"), std::string("b\0a", 3));
}

TEST(DateTimeFormat, Letters) {
  TScriptDateTime dt;
  dt.Year = 2024;
  dt.Month = 3;
  dt.Day = 5;
  dt.Hour = 14;
  dt.Minute = 7;
  dt.Second = 9;
  dt.Millisecond = 45;
  struct Case {
    const char* format;
    const char* text;
  };
  const Case cases[] = {
      {"", "05.03.2024 14:07:09"}, {"c", "05.03.2024 14:07:09"}, {"d.m.yy", "5.3.24"},
      {"dd/mm/yyyy", "05.03.2024"}, {"ddd dddd", "Di Dienstag"}, {"mmm", "Mrz"}, {"mmmm", "März"},
      {"hh:mm", "14:07"}, {"h:nn am/pm", "2:07 pm"}, {"hh A/P", "02 P"}, {"hh ampm", "02 PM"},
      {"'yyyy' \"mm\"", "yyyy mm"}, {"z zz zzz", "45 45 045"}, {"s ss", "9 09"}, {"ddddd", "05.03.2024"},
      {"dddddd", "Dienstag, 5. März 2024"}, {"t", "14:07"}, {"tt", "14:07:09"}, {"aaa aaaa", "Di Dienstag"},
      {"yyy e g", "2024 2024 n. Chr."}, {"x!", "x!"}, {"mm hh mm", "03 14 07"}, {"HH:MM", "14:07"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatScriptDateTime(c.format, dt), De(c.text)) << c.format;

  dt.Hour = 0;
  EXPECT_EQ(FormatScriptDateTime("h am/pm", dt), "12 am");
  dt.Minute = dt.Second = 0;
  EXPECT_EQ(FormatScriptDateTime("c", dt), "05.03.2024");
  std::string many;
  for (int i = 0; i < 100; ++i) many += "yyyy ";
  EXPECT_EQ(FormatScriptDateTime(many, dt).size(), 256u);
}

}  // namespace
