#include <gtest/gtest.h>

#include "LocaleTime.h"

TEST(LocaleTime, NeutralLocalesAreTheLanguagelessOnes) {
  for (const char* name : {"C", "POSIX", "C.UTF-8", "C.utf8", ""}) EXPECT_TRUE(IsNeutralLocale(name)) << name;
  for (const char* name : {"de_DE.UTF-8", "en_US", "Ca_ES", "CC"}) EXPECT_FALSE(IsNeutralLocale(name)) << name;
}

// Entries in the C library's form (Japanese eras), a count-down era and
// broken entries that must be passed over.
TEST(LocaleTime, EraOfADate) {
  const std::vector<std::string> eras = {
      "+:2:2020/01/01:+*:Reiwa:%EC%Ey",   "+:1:2019/05/01:2019/12/31:Reiwa:%EC",
      "+:2:1990/01/01:2019/04/30:Heisei:%EC%Ey", "x:1:1900/01/01:+*:Broken:",
      "+:1:1900/01/01",                   "-:1:-0001/12/31:-*:BC:%EC %Ey",
  };
  struct Case {
    int y, m, d;
    const char* name;  // nullptr: no era holds the date
    int year;
  } cases[] = {
      {2024, 3, 5, "Reiwa", 6},  {2020, 1, 1, "Reiwa", 2},  {2019, 5, 1, "Reiwa", 1},
      {2019, 4, 30, "Heisei", 31}, {1990, 1, 1, "Heisei", 2}, {1989, 12, 31, nullptr, 0},
      {-9, 6, 1, "BC", 9},
  };
  for (const Case& c : cases) {
    std::string name;
    int year = 0;
    const bool found = FindEra(eras, c.y, c.m, c.d, name, year);
    EXPECT_EQ(found, c.name != nullptr) << c.y << "-" << c.m << "-" << c.d;
    if (found && c.name) {
      EXPECT_EQ(name, c.name) << c.y;
      EXPECT_EQ(year, c.year) << c.y;
    }
  }
}
