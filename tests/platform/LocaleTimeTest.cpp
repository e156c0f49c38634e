#include <gtest/gtest.h>

#include <clocale>
#include <ctime>

#include "LocaleTime.h"

TEST(LocaleTime, NeutralLocalesAreTheLanguagelessOnes) {
  for (const char* name : {"C", "POSIX", "C.UTF-8", "C.utf8", ""}) EXPECT_TRUE(IsNeutralLocale(name)) << name;
  for (const char* name : {"de_DE.UTF-8", "en_US", "Ca_ES", "CC"}) EXPECT_FALSE(IsNeutralLocale(name)) << name;
}

// Entries in the C library's form (Japanese eras), the years BC (an era whose
// end lies before its start counts backwards, -0001 is 1 BC) and broken
// entries that must be passed over.
TEST(LocaleTime, EraOfADate) {
  const std::vector<std::string> eras = {
      "+:2:2020/01/01:+*:Reiwa:%EC%Ey",   "+:1:2019/05/01:2019/12/31:Reiwa:%EC",
      "+:2:1990/01/01:2019/04/30:Heisei:%EC%Ey", "x:1:1900/01/01:+*:Broken:",
      "+:1:1900/01/01",                   "+:1:-0001/12/31:-*:BC:%EC %Ey",
  };
  struct Case {
    int y, m, d;
    const char* name;  // nullptr: no era holds the date
    int year;
  } cases[] = {
      {2024, 3, 5, "Reiwa", 6},  {2020, 1, 1, "Reiwa", 2},  {2019, 5, 1, "Reiwa", 1},
      {2019, 4, 30, "Heisei", 31}, {1990, 1, 1, "Heisei", 2}, {1989, 12, 31, nullptr, 0},
      {-9, 6, 1, "BC", 10},        {0, 12, 31, "BC", 1},
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

// The eras of real locales against strftime at fixed dates: the Thai era
// starts in 543 BC, the Japanese ones change within a year.
TEST(LocaleTime, EraYearsCountAsTheCLibraryCountsThem) {
  const struct {
    const char* locale;
    int y, m, d;
  } rows[] = {{"th_TH.UTF-8", 2026, 12, 9}, {"th_TH.UTF-8", -542, 1, 1},  {"th_TH.UTF-8", -543, 12, 31},
              {"ja_JP.UTF-8", 2026, 12, 9}, {"ja_JP.UTF-8", 2019, 5, 1},  {"ja_JP.UTF-8", 2019, 4, 30},
              {"ja_JP.UTF-8", 1873, 1, 1},  {"ja_JP.UTF-8", 0, 12, 31},   {"ja_JP.UTF-8", -9, 6, 1}};
  const std::string before = std::setlocale(LC_TIME, nullptr);
  std::string missing;
  for (const auto& row : rows) {
    if (!std::setlocale(LC_TIME, row.locale)) {
      missing += std::string(" ") + row.locale;
      continue;
    }
    SCOPED_TRACE(std::string(row.locale) + " " + std::to_string(row.y) + "-" + std::to_string(row.m) + "-" +
                 std::to_string(row.d));
    std::tm t{};
    t.tm_year = row.y - 1900;
    t.tm_mon = row.m - 1;
    t.tm_mday = row.d;
    auto text = [&t](const char* format) {
      char buf[100];
      return std::string(buf, std::strftime(buf, sizeof buf, format, &t));
    };
    std::string name;
    int year = 0;
    if (FindEra(ReadLocaleTime().Eras, row.y, row.m, row.d, name, year)) {
      EXPECT_EQ(name, text("%EC"));
      EXPECT_EQ(year, std::stoi(text("%Ey")));
    } else {
      EXPECT_EQ(text("%EC"), text("%C")) << "the C library names an era";
    }
  }
  std::setlocale(LC_TIME, before.c_str());
  if (!missing.empty()) GTEST_SKIP() << "locales not installed (scripts/setup-deps.sh makes them):" << missing;
}
