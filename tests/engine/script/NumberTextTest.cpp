// Numbers as script text: whole numbers take a short way, which must read
// exactly as the general formatting does.
#include <gtest/gtest.h>

#include <cmath>

#include "uGetStr.h"

TEST(NumberText, WholeNumbersReadAsTheGeneralFormatting) {
  EXPECT_EQ(NumberToStr(1), "1");
  EXPECT_EQ(NumberToStr(-42), "-42");
  EXPECT_EQ(NumberToStr(-0.0), "0");
  EXPECT_EQ(NumberToStr(1000000), "1000000");
  EXPECT_EQ(NumberToStr(999999999999999), "999999999999999");
  EXPECT_EQ(NumberToStr(1e15), "1E15");
  EXPECT_EQ(NumberToStr(-1e15), "-1E15");
  EXPECT_EQ(NumberToStr(1e300), "1E300");
  EXPECT_EQ(FormatGeneral(100, 3), "100");
  EXPECT_EQ(FormatGeneral(1000, 3), "1E3");
  EXPECT_EQ(FormatGeneral(123456, 3), "1.23E5");
  EXPECT_EQ(FormatGeneral(9, 1), "9");
  EXPECT_EQ(FormatGeneral(10, 1), "1E1");
}

TEST(NumberText, FractionsKeepTheGeneralFormatting) {
  EXPECT_EQ(NumberToStr(0.5), "0.5");
  EXPECT_EQ(NumberToStr(-2.25), "-2.25");
  EXPECT_EQ(NumberToStr(0.1 + 0.2), "0.3");
  EXPECT_EQ(NumberToStr(1e-7), "1E-7");
  EXPECT_EQ(NumberToStr(123456789.125), "123456789.125");
}
