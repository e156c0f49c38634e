#include <cmath>

#include "EvalFixture.h"
#include "TestSupport.h"

namespace {

struct NumCase {
  const char* text;
  double value;
};
void PrintTo(const NumCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.text) << " gives " << ::testing::PrintToString(c.value);
}

class NumericValues : public EvalTest, public ::testing::WithParamInterface<NumCase> {};

TEST_P(NumericValues, Evaluate) {
  bool ok = false;
  std::string rest;
  double v = Num(GetParam().text, &rest, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(v, GetParam().value) << GetParam().text;
  EXPECT_EQ(rest, "");
  EXPECT_TRUE(errors.empty()) << FirstError();
}

INSTANTIATE_TEST_SUITE_P(
    PrecedenceAndAssociativity, NumericValues,
    ::testing::Values(NumCase{"1+2*3", 7}, NumCase{"(1+2)*3", 9}, NumCase{"2^3^2", 64}, NumCase{"10/4", 2.5},
                      NumCase{"10-2-3", 5}, NumCase{"100/10/5", 2}, NumCase{"2*3^2", 18},
                      NumCase{"1+2^2*3", 13}, NumCase{"1*2+3^2", 11}, NumCase{"2^3+1", 9},
                      NumCase{"8-2*3+1", 3}, NumCase{"2*(3+4)*5", 70}, NumCase{" 1 + 2 ", 3},
                      NumCase{"((((7))))", 7}, NumCase{"(2", 2}),
    NamedBy<&NumCase::text>());

INSTANTIATE_TEST_SUITE_P(
    SignsAndPowers, NumericValues,
    ::testing::Values(NumCase{"2*-3", -6}, NumCase{"-(2-5)", 3}, NumCase{"-(-4)", 4}, NumCase{"+5", 5},
                      NumCase{"-2^2", 4}, NumCase{"2^3", 8}, NumCase{"0^2", 0}, NumCase{"(0-2)^3", -8},
                      NumCase{"2^-1", 0.5}, NumCase{"4^0.5", 2}, NumCase{"2^0", 1}, NumCase{"3-%X%", 4}, NumCase{"-%X%", 1}),
    NamedBy<&NumCase::text>());

INSTANTIATE_TEST_SUITE_P(
    Remainder, NumericValues,
    ::testing::Values(NumCase{"7\\2", 1}, NumCase{"-7\\2", -1}, NumCase{"7\\-2", 1}, NumCase{"7.5\\2", 1.5},
                      NumCase{"6\\3", 0}, NumCase{"1+7\\4*2", 7}),
    NamedBy<&NumCase::text>());

INSTANTIATE_TEST_SUITE_P(
    NumberFormats, NumericValues,
    ::testing::Values(NumCase{"1.25", 1.25}, NumCase{"007", 7}, NumCase{"1.", 1}, NumCase{"0.1", 0.1},
                      NumCase{"3 .5", 3.5}, NumCase{"12345678901234567890", 12345678901234567890.0},
                      NumCase{"0.30000000000000004", 0.30000000000000004}, NumCase{"3!", 6}, NumCase{"0!", 1},
                      NumCase{"3!!", 720}, NumCase{"-3!", -6}, NumCase{"(2+1)!", 6}),
    NamedBy<&NumCase::text>());

INSTANTIATE_TEST_SUITE_P(
    BuiltinFunctions, NumericValues,
    ::testing::Values(NumCase{"Max(3, 9, 4)", 9}, NumCase{"Min(3, 9, 4)", 3}, NumCase{"max(1)", 1},
                      NumCase{"Abs(-4)", 4}, NumCase{"pi", 3.141592653589793}, NumCase{"2*pi", 2 * 3.141592653589793},
                      NumCase{"Len('abc')", 3}, NumCase{"Length(\"abcd\")", 4}, NumCase{"Val('2+3')", 5},
                      NumCase{"Trunc(-2.7)", -2}, NumCase{"Trunc(100000000000000000000.5)", 1e20}, NumCase{"SGN(-3)", -1},
                      NumCase{"sgn(0)", 0}, NumCase{"SGN(0.1)", 1}, NumCase{"Sqrt(16)", 4},
                      NumCase{"Count('aa', 'aaaa')", 3}, NumCase{"Count('', 'abc')", 0},
                      NumCase{"Count('abc', 'ab')", 0}, NumCase{"Pos('c', 'abc')", 3}, NumCase{"Pos('x', 'abc')", 0},
                      NumCase{"Ord('A')", 65}, NumCase{"Ord('')", 0}, NumCase{"Ord('\xE4')", 228},
                      NumCase{"Random(1)", 0}, NumCase{"Random(0)", 0}, NumCase{"Random(-5)", 0},
                      NumCase{"Abs(Max(-3, -9) * 2) + Len('x' + 'yz')", 9}),
    NamedBy<&NumCase::text>());

TEST_F(EvalTest, LeavesTheRestForTheCaller) {
  std::string rest;
  EXPECT_EQ(Num("3 to 10", &rest), 3);
  EXPECT_EQ(rest, "to 10");
  EXPECT_EQ(Num("5, 6)", &rest), 5);
  EXPECT_EQ(rest, ", 6)");
  EXPECT_EQ(Num("%A% = 2", &rest), -1);
  EXPECT_EQ(rest, "= 2");
  EXPECT_EQ(Num("7'x'", &rest), 7);
  EXPECT_EQ(rest, "'x'");
  EXPECT_TRUE(errors.empty()) << FirstError();
}

TEST_F(EvalTest, SimpleExpressionsStopWhereTheParserDoes) {
  numbers["N"] = 2;
  struct RestCase {
    const char* text;
    double value;
    const char* rest;
  };
  const RestCase cases[] = {
      {"12", 12, ""},          {"12)", 12, ")"},         {"12 ", 12, ""},         {"12 x", 12, "x"},
      {"12\t5", 12, "\t5"},    {"123456789012345", 123456789012345, ""},
      {"1234567890123456,", 1234567890123456, ","},     {"%n%", 2, ""},          {"%N%  5", 2, "5"},
      {"%n%  then", 2, "then"}, {"%n%\tx", 2, "\tx"},    {"%n%, 1", 2, ", 1"},    {"%n%*3", 6, ""},
      {"%n% !", 2, ""},         {"%n%.5", 2, "5"},       {"%nope% > 1", -1, "> 1"},
      {" 1 + %n% * 3, x", 7, ", x"}, {"2^%N%^2 )", 16, ")"}, {"7 \\ %n% 5", 1, "5"},
      {"10 / %n% - 1 then", 4, "then"}, {"1+2+3+4+5+6+7+8+9", 45, ""}, {"3 - -1", 4, ""},
      {"2 * (1 + 1)", 4, ""}};
  for (const RestCase& c : cases) {
    std::string rest;
    bool ok = false;
    EXPECT_EQ(Num(c.text, &rest, &ok), c.value) << c.text;
    EXPECT_TRUE(ok) << c.text;
    EXPECT_EQ(rest, c.rest) << c.text;
  }
  ASSERT_EQ(errors.size(), 1u) << "only the point after a variable is wrong";
  EXPECT_EQ(errors[0].context, ".5");
}

TEST_F(EvalTest, VariablesComeThroughTheGetter) {
  numbers["COUNT"] = 4;
  numbers["A-B_1"] = 2.5;
  EXPECT_EQ(Num("%count%+1"), 5);
  EXPECT_EQ(Num("%a-b_1%*2"), 5);
  EXPECT_TRUE(errors.empty()) << FirstError();

  Num("%co unt%");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].message, De("Unzulässiges Zeichen in Variablennamen: \" \""));
  EXPECT_EQ(errors[0].context, "");
}

TEST_F(EvalTest, UnknownFunctionsGiveTheNameBack) {
  bool ok = true;
  std::string rest;
  Num("Sqrt 4", &rest, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(rest, "SQRT 4");
  Num("pi()", &rest, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(rest, "PI()");
  Num("pi  ()+1", &rest, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(rest, "PI()+1");
  Num("Header('Subject') = 'x'", &rest, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(rest, "HEADER('Subject') = 'x'");
  EXPECT_TRUE(errors.empty()) << FirstError();

  Num("Sqrt", &rest, &ok);
  EXPECT_FALSE(ok);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, "Syntaxfehler: Unbekannte numerische Funktion \"SQRT\"");
  errors.clear();
  Num("1+foo", &rest, &ok);
  EXPECT_FALSE(ok);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, "Syntaxfehler: Unbekannte numerische Funktion \"FOO\"");
}

TEST_F(EvalTest, MissingOperandIsAnErrorNotTheStaleNumber) {
  for (NumCase c : {NumCase{"1+", 1}, NumCase{"-", 0}, NumCase{"2*", 0}, NumCase{"5+%x", 5}, NumCase{"3+ ", 3}}) {
    errors.clear();
    bool ok = false;
    EXPECT_EQ(Num(c.text, nullptr, &ok), c.value) << c.text;
    EXPECT_TRUE(ok) << c.text;
    ASSERT_EQ(errors.size(), 1u) << c.text;
    EXPECT_TRUE(errors[0].message.starts_with("Fehler in Formel, ab \"")) << errors[0].message;
  }
  errors.clear();
  EXPECT_EQ(Num("1+"), 1);
  std::string rest;
  Num("1+)", &rest);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1].message, De("Fehler in Formel, ab \")\" keine sinnvolle Interpretation möglich"));
  EXPECT_EQ(errors[1].context, ")");
  EXPECT_EQ(rest, ")");
}

TEST_F(EvalTest, SyntaxErrorsAreReportedAndEvaluationGoesOn) {
  std::string rest;
  EXPECT_EQ(Num("1+*2"), 3);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, De("Fehler in Formel, ab \"*2\" keine sinnvolle Interpretation möglich"));
  EXPECT_EQ(errors[0].context, "*2");

  errors.clear();
  EXPECT_EQ(Num("2.5!"), 2.5);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, De("Fakultät ist nur bei ganzen und positiven Zahlen zulässig"));
  errors.clear();
  Num("(0-3)!");
  EXPECT_EQ(errors.size(), 1u);
  errors.clear();
  Num("1.2.3");
  EXPECT_EQ(errors.size(), 1u);
  errors.clear();
  Num("(1).5");
  EXPECT_EQ(errors.size(), 1u);
}

TEST_F(EvalTest, ArgumentCountErrors) {
  RegisterNumericFunction("Two", "##", 0, [](FunctionCall& c) { return c.Num[1] + c.Num[2]; }, this);
  Num("Two(1)");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].message, "Syntaxfehler: Die Funktion \"TWO\" erwartet 2 und nicht nur 1 Parameter");

  errors.clear();
  Num("Abs(1, 2)");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, "Syntaxfehler: Die Funktion \"ABS\" braucht nur 1 Parameter");
  EXPECT_EQ(errors[0].context, ", 2)");

  errors.clear();
  Num("Len(5)");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].message, De("Kein gültiger String-Ausdruck: \"5)\""));
  EXPECT_EQ(errors[0].context, "");

  errors.clear();
  EXPECT_EQ(Num("Val('1+2)')"), 3);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, De("Ungültiger numerischer Ausdruck \"1+2)\""));
  EXPECT_EQ(errors[0].context, "1+2)");
}

TEST_F(EvalTest, FunctionCallRecordSeparatesArgumentKinds) {
  FunctionCall seen;
  RegisterNumericFunction(
      "Mixed", "$#$", 42,
      [&seen](FunctionCall& c) {
        seen = c;
        return 1.0;
      },
      this);
  EXPECT_EQ(Num("Mixed('a', 2+3, 'b')+1"), 2);
  EXPECT_EQ(seen.Index, 42);
  EXPECT_EQ(seen.Count, 3);
  EXPECT_EQ(seen.NumCount, 1);
  EXPECT_EQ(seen.StrCount, 2);
  EXPECT_EQ(seen.Str[1], "a");
  EXPECT_EQ(seen.Num[1], 5);
  EXPECT_EQ(seen.Str[2], "b");
  EXPECT_TRUE(errors.empty()) << FirstError();
}

TEST_F(EvalTest, FloatingPointFaultsRaise) {
  EXPECT_THROW(Num("1/0"), EZeroDivide);
  EXPECT_THROW(Num("0/0"), EInvalidOp);
  EXPECT_THROW(Num("5\\0"), EZeroDivide);
  EXPECT_THROW(Num("0^-1"), EZeroDivide);
  EXPECT_THROW(Num("(0-8)^0.5"), EInvalidOp);
  EXPECT_THROW(Num("Sqrt(0-1)"), EInvalidOp);
  EXPECT_THROW(Num("10^400"), EOverflow);
  EXPECT_THROW(Num("171!"), EOverflow);
  EXPECT_THROW(Num("99999999999!"), EOverflow);
  EXPECT_THROW(Num("3!!!"), EOverflow);
  EXPECT_THROW(Num(std::string(400, '9')), EOverflow);
  EXPECT_EQ(Num("0." + std::string(400, '0') + "1"), 0);
  EXPECT_THROW(Num("Random(10000000000)"), ERangeError);
  double f170 = Num("170!");
  EXPECT_NEAR(f170 / 7.257415615307994e306, 1, 1e-14);
}

TEST_F(EvalTest, NestingIsBounded) {
  std::string ok = std::string(150, '(') + "1" + std::string(150, ')');
  EXPECT_EQ(Num(ok), 1);
  EXPECT_TRUE(errors.empty());

  std::string deep = std::string(100000, '(') + "1";
  EXPECT_THROW(Num(deep), Exception);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, "Der Ausdruck ist zu tief verschachtelt (mehr als 200 Ebenen)");
  // The counter is back at zero afterwards.
  EXPECT_EQ(Num(ok), 1);
}

TEST_F(EvalTest, WithoutHooksNothingIsRead) {
  RemoveNumericHooks(this);
  std::string text = "1+2";
  double v = 7;
  EXPECT_FALSE(InterpreteNumeric(text, v));
  EXPECT_EQ(v, 0);
  EXPECT_EQ(text, "1+2");
}

TEST_F(EvalTest, NewestOwnerGetsTheCallbacksUntilItGoes) {
  int inner = 0;
  numbers["V"] = 1;
  int owner2 = 0;
  SetNumericHooks(&owner2, InterpreteString, [](std::string_view, std::string_view) {},
                  [&inner](const std::string&) { return double(++inner); });
  EXPECT_EQ(Num("%V%"), 1);
  EXPECT_EQ(inner, 1);

  // The newer owner's function shadows nothing: the first record wins.
  RegisterNumericFunction("Own", "", 0, [](FunctionCall&) { return 10.0; }, this);
  RegisterNumericFunction("Own", "", 0, [](FunctionCall&) { return 20.0; }, &owner2);
  EXPECT_EQ(Num("Own"), 10);
  UnregisterNumericFunctions(this);
  EXPECT_EQ(Num("Own"), 20);

  RemoveNumericHooks(&owner2);
  UnregisterNumericFunctions(&owner2);
  EXPECT_EQ(Num("%V%"), 1);
  EXPECT_EQ(inner, 1);
  bool ok = true;
  Num("Own", nullptr, &ok);
  EXPECT_FALSE(ok);
}

TEST_F(EvalTest, UnregisterByNameRemovesTheLastRecord) {
  RegisterNumericFunction("Dup", "", 0, [](FunctionCall&) { return 1.0; }, this);
  RegisterNumericFunction("Dup", "", 0, [](FunctionCall&) { return 2.0; }, this);
  UnregisterNumericFunction("Dup");
  EXPECT_EQ(Num("Dup"), 1);
  UnregisterNumericFunction("dup");  // names must match exactly
  EXPECT_EQ(Num("Dup"), 1);
  UnregisterNumericFunction("Dup");
  bool ok = true;
  Num("Dup", nullptr, &ok);
  EXPECT_FALSE(ok);
}

}  // namespace

namespace {

TEST_F(EvalTest, HandlersMayChangeTheRegistries) {
  RegisterNumericFunction(
      "Once", "#", 0,
      [this](FunctionCall& c) {
        UnregisterNumericFunctions(this);
        for (int i = 0; i < 100; ++i) RegisterNumericFunction("Filler", "", i, [](FunctionCall&) { return 0.0; }, this);
        return c.Num[1] * 2;
      },
      this);
  RegisterStringFunction(
      "OnceS", "$", 0, 0,
      [this](FunctionCall& c, std::string& r) {
        UnregisterStringFunctions(this);
        r = c.Str[1] + c.Str[1];
      },
      this);
  EXPECT_EQ(Num("Once(21)"), 42);
  EXPECT_EQ(Str("OnceS('ab')"), "abab");
  bool ok = true;
  Str("OnceS('ab')", nullptr, &ok);
  EXPECT_FALSE(ok);
}

}  // namespace

TEST_F(EvalTest, HooksRemovedDuringAnEvaluationServeItToTheEnd) {
  numbers["V"] = 2;
  RegisterNumericFunction("Leave", "", 0, [this](FunctionCall&) {
    RemoveNumericHooks(this);
    return 1.0;
  }, this);
  EXPECT_EQ(Num("Leave + %V%"), 3);
  bool ok = true;
  Num("1", nullptr, &ok);
  EXPECT_FALSE(ok);

  RegisterStringFunction("Quit", "", 0, 0, [this](FunctionCall&, std::string& r) {
    RemoveStringHooks(this);
    r = "by ";
  }, this);
  EXPECT_EQ(Str("Quit + %NAME%"), "by Ada");
  Str("'x'", nullptr, &ok);
  EXPECT_FALSE(ok);
}

TEST_F(EvalTest, AFunctionMayUnregisterItselfWhileItRuns) {
  const std::string tail = " and only";  // held by the handler itself
  RegisterStringFunction("Once", "", 0, 0, [tail](FunctionCall&, std::string& r) {
    UnregisterStringFunction("Once");
    std::string inner = "'one'";  // a new lookup of the registry
    InterpreteString(inner, r);
    r += tail;
  }, this);
  EXPECT_EQ(Str("Once + 'x'"), "one and onlyx");
  bool ok = true;
  Str("Once", nullptr, &ok);
  EXPECT_FALSE(ok);
}

TEST_F(EvalTest, AStringArgumentThatFailsLeavesNothingForTheFunction) {
  std::vector<std::string> seen;
  RegisterStringFunction("One", "$", 0, 0, [&seen](FunctionCall& c, std::string& r) {
    seen = {IntToStr(c.StrCount), c.Str[1]};
    r = "done";
  }, this);
  // The chain fails after its first term, which it keeps for itself.
  EXPECT_EQ(Str("One('a' + 5)"), "done");
  EXPECT_FALSE(errors.empty());
  EXPECT_EQ(seen, (std::vector<std::string>{"0", ""}));
}
