#include "LocaleTime.h"

#include <clocale>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <charconv>
#include <string>

std::string CurrentTimeLocale() {
  const char* name = std::setlocale(LC_TIME, nullptr);
  return name ? name : "C";
}

bool IsNeutralLocale(std::string_view name) {
  return name.empty() || name == "C" || name == "POSIX" || name.starts_with("C.");
}

TLocaleTime ReadLocaleTime() {
  // The texts are in the charset of the LC_TIME locale, which need not be that
  // of LC_CTYPE (the programs leave that one alone). Read through the process's
  // own locale: the statically linked runner's nl_langinfo_l does not load a
  // locale object's data.
  auto text = [](nl_item item) { return std::string(nl_langinfo(item)); };
  TLocaleTime t;
  t.Codeset = text(_NL_TIME_CODESET);
  t.DateFormat = text(D_FMT);
  t.TimeFormat = text(T_FMT);
  t.TimeFormatAmPm = text(T_FMT_AMPM);
  for (int i = 0; i < 7; ++i) {
    t.AbDay[i] = text(nl_item(ABDAY_1 + i));
    t.Day[i] = text(nl_item(DAY_1 + i));
  }
  for (int i = 0; i < 12; ++i) {
    t.AbMonth[i] = text(nl_item(ABMON_1 + i));
    t.Month[i] = text(nl_item(MON_1 + i));
  }
  t.Am = text(AM_STR);
  t.Pm = text(PM_STR);
  // glibc gives the entries one after the other, each ended by a NUL and the
  // list by an empty one; POSIX separates them with ";".
  for (const char* p = nl_langinfo(ERA); *p; p += std::char_traits<char>::length(p) + 1) {
    std::string_view all(p);
    for (size_t start = 0; start <= all.size();) {
      size_t end = std::min(all.find(';', start), all.size());
      if (end > start) t.Eras.emplace_back(all.substr(start, end - start));
      start = end + 1;
    }
  }
  return t;
}

namespace {

// "yyyy/mm/dd" with an optional sign as one comparable number; "-*" and "+*"
// lie before and after every date. A negative year is one BC, as the C library
// reads it: -1 is the year before 1, astronomical 0.
bool ParseEraDate(std::string_view s, long long& key, int& year) {
  if (s == "-*" || s == "+*") {
    key = s[0] == '-' ? -(1LL << 60) : (1LL << 60);
    return true;
  }
  int v[3] = {0, 0, 0};
  const char* p = s.data();
  const char* end = s.data() + s.size();
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && (p == end || *p++ != '/')) return false;
    if (p != end && *p == '+') ++p;
    auto r = std::from_chars(p, end, v[i]);
    if (r.ec != std::errc()) return false;
    p = r.ptr;
  }
  if (p != end) return false;
  if (v[0] < 0) ++v[0];
  year = v[0];
  key = (static_cast<long long>(v[0]) * 13 + v[1]) * 32 + v[2];
  return true;
}

}  // namespace

bool FindEra(const std::vector<std::string>& eras, int year, int month, int day, std::string& name,
             int& eraYear) {
  const long long date = (static_cast<long long>(year) * 13 + month) * 32 + day;
  for (const std::string& entry : eras) {
    std::string_view field[6];
    std::string_view rest = entry;
    int n = 0;
    for (; n < 5; ++n) {
      size_t colon = rest.find(':');
      if (colon == std::string_view::npos) break;
      field[n] = rest.substr(0, colon);
      rest.remove_prefix(colon + 1);
    }
    if (n < 5 || (field[0] != "+" && field[0] != "-")) continue;
    field[5] = rest;
    int offset = 0, startYear = 0, unused = 0;
    long long start = 0, stop = 0;
    auto r = std::from_chars(field[1].data(), field[1].data() + field[1].size(), offset);
    if (r.ec != std::errc() || !ParseEraDate(field[2], start, startYear) || !ParseEraDate(field[3], stop, unused))
      continue;
    if (date < std::min(start, stop) || date > std::max(start, stop)) continue;
    name = std::string(field[4]);
    // The direction tells whether the years grow from the start towards the
    // end, so an era whose end lies before its start (the years BC) counts
    // backwards in time.
    const int direction = (field[0] == "+") == (start <= stop) ? 1 : -1;
    eraYear = offset + (year - startYear) * direction;
    return true;
  }
  return false;
}
