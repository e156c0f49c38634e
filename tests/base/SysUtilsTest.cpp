#include "SysUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(StringHelpers, OutOfRangePositionsClampInsteadOfThrowing) {
  EXPECT_EQ(Copy("abcdef", 0, 2), "ab");
  EXPECT_EQ(Copy("abcdef", -5, 2), "ab");
  EXPECT_EQ(Copy("abcdef", 5, 100), "ef");
  EXPECT_EQ(Copy("abcdef", 7, 1), "");
  EXPECT_EQ(Copy("abcdef", 2, -1), "");
  EXPECT_EQ(Copy("abc", 1, std::numeric_limits<int64_t>::max()), "abc");
  std::string s = "abcdef";
  Delete(s, 0, 3);
  EXPECT_EQ(s, "abcdef");
  Delete(s, 5, 100);
  EXPECT_EQ(s, "abcd");
  Insert("XY", s, 99);
  EXPECT_EQ(s, "abcdXY");
  Insert("<", s, -3);
  EXPECT_EQ(s, "<abcdXY");
  EXPECT_EQ(Pos("", "abc"), 0);
  EXPECT_EQ(Pos("c", "abc"), 3);
  EXPECT_EQ(PosEx("a", "aba", 2), 3);
  EXPECT_EQ(PosEx("a", "aba", 9), 0);
}

TEST(StringHelpers, TrimTreatsControlBytesAsBlanks) {
  EXPECT_EQ(Trim(std::string("\t\x01 a b \r\n", 9)), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(TrimRight("a\xA0"), "a\xA0");  // only bytes <= blank count
}

TEST(StringHelpers, CaseInsensitiveComparisonIsAsciiOnly) {
  EXPECT_TRUE(SameText("Subject", "SUBJECT"));
  EXPECT_FALSE(SameText("\xE4", "\xC4"));
  EXPECT_LT(CompareText("a", "B"), 0);
  EXPECT_EQ(StringReplace("aXbxc", "x", "-", true, true), "a-b-c");
  EXPECT_EQ(StringReplace("aaa", "", "-"), "aaa");
}

TEST(Numbers, StrToIntIsStrictAndReportsInGerman) {
  EXPECT_EQ(StrToInt("-12"), -12);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToIntDef(" 1", 7), 7);
  EXPECT_EQ(StrToIntDef("2147483648", 7), 7);
  EXPECT_EQ(StrToIntDef("", 7), 7);
  try {
    StrToInt("x1");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(ToUtf8(e.Message()), "'x1' ist kein gültiger Integerwert");
  }
}

TEST(Numbers, FloatsUseADotWhateverTheLocale) {
  double v;
  EXPECT_TRUE(TryStrToFloat("1.5e3", v));
  EXPECT_EQ(v, 1500);
  EXPECT_TRUE(TryStrToFloat("+2", v));
  EXPECT_FALSE(TryStrToFloat("1,5", v));
  EXPECT_FALSE(TryStrToFloat("", v));
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(IntToStr(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
}

TEST(CheckedArithmetic, OverflowAndRangeRaiseInsteadOfWrapping) {
  EXPECT_THROW(CheckedAdd(std::numeric_limits<int32_t>::max(), 1), EIntOverflow);
  EXPECT_THROW(CheckedMul(65536, 65536), EIntOverflow);
  EXPECT_THROW(CheckedSub(std::numeric_limits<int32_t>::min(), 1), EIntOverflow);
  EXPECT_EQ(CheckedMul(-46341, 46340), -2147441940);
  EXPECT_THROW(CheckedTrunc(std::nan("")), ERangeError);
  EXPECT_THROW(CheckedTrunc(2147483648.0), ERangeError);
  EXPECT_THROW(CheckedRound(-1e300), ERangeError);
  EXPECT_EQ(CheckedTrunc(-2147483648.9), -2147483648);
  EXPECT_EQ(CheckedRound(2.5), 3);
  EXPECT_THROW(CheckedInt32(int64_t(1) << 40), ERangeError);
  EXPECT_THROW(CharAt("abc", 4), ERangeError);
  EXPECT_EQ(CharAt("abc", 3), 'c');
  try {
    CheckedAdd(std::numeric_limits<int32_t>::max(), 1);
  } catch (const EIntOverflow& e) {
    EXPECT_EQ(ToUtf8(e.Message()), "Integerüberlauf");
  }
}

TEST(Lines, SplitAcceptsEveryLineEnd) {
  auto l = SplitLines("a\r\nb\nc\rd\r\n\r\n");
  ASSERT_EQ(l.size(), 5u);
  EXPECT_EQ(l[3], "d");
  EXPECT_EQ(l[4], "");
  using Lines = std::vector<std::string>;
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("x"), Lines{"x"});
  EXPECT_EQ(SplitLines("a\r"), Lines{"a"});
  EXPECT_EQ(SplitLines("\n\r\r\n\rx"), (Lines{"", "", "", "", "x"}));
  EXPECT_EQ(SplitLines("\r\n\n" + std::string(100, 'y') + "\rz\n\r"),
            (Lines{"", "", std::string(100, 'y'), "z", ""}));
  EXPECT_EQ(JoinLines({"a", "b"}), "a\r\nb\r\n");
}

TEST(InternalCharset, SourceTextsBecomeWindows1252) {
  EXPECT_EQ(FromUtf8("Grüße €"), "Gr\xFC\xDF\x65 \x80");
  EXPECT_EQ(ToUtf8("Gr\xFC\xDF\x65 \x80"), "Grüße €");
  EXPECT_EQ(FromUtf8("\xE2\x82"), "??");  // a cut sequence is not swallowed
}
