// The date and time texts of the user's locale (LC_TIME), as the C library
// holds them: bytes in the locale's own charset, strftime patterns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TLocaleTime {
  std::string Codeset;  // the charset of every text below, such as "UTF-8"
  std::string DateFormat, TimeFormat, TimeFormatAmPm;  // D_FMT, T_FMT, T_FMT_AMPM
  std::string AbDay[7], Day[7];                        // 0 = Sunday
  std::string AbMonth[12], Month[12];
  std::string Am, Pm;
  // The era entries, "direction:offset:start:end:name:format" each; empty
  // for the locales (nearly all) without eras of their own.
  std::vector<std::string> Eras;
};

// The locale LC_TIME names now ("C" when nothing set it).
std::string CurrentTimeLocale();
// C, POSIX and C.<charset>: locales without a language of their own.
bool IsNeutralLocale(std::string_view name);
// The texts of the locale LC_TIME names now.
TLocaleTime ReadLocaleTime();

// The era of Eras that holds the date (Year as tm_year + 1900 counts it:
// 0 is 1 BC), its name and the year within it; false when none does.
bool FindEra(const std::vector<std::string>& eras, int year, int month, int day, std::string& name,
             int& eraYear);
