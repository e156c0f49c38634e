// Date texts of the built runner under the user's locale: names and formats
// from LC_TIME, German under C and POSIX; numbers and Date headers never change.
#include <gtest/gtest.h>

#include <locale.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

bool LocaleAvailable(const std::string& name) {
  locale_t loc = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, name.c_str(), locale_t(0));
  if (loc) freelocale(loc);
  return loc != locale_t(0);
}

std::string Two(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

class DateTextsRun : public ::testing::Test {
protected:
  TempDir dir, home;
  std::string exe, msg;

  void SetUp() override {
    exe = InstallOnlyVQ(dir.Path());
    fs::create_directories(dir / "out");
    msg = dir / "out/m.msg";
    // UTF-8 inside and in the message: every name keeps its characters.
    WriteFile(dir / "Specials.ini", "[Charsets]\r\nInternal=utf-8\r\n");
    WriteFile(dir / "Tidelarn.ini", "[news]\r\nFilePath=" + dir.Path() + "/\r\nMessagePath=" + dir.Path() +
                                         "/out/\r\nHeader.def=header.def\r\nSetLines=0\r\nBlankBeforeLines=0\r\n"
                                         "BodyCharsets=utf-8\r\nAutoFunctions=1\r\nSetDateHeader=2\r\n");
  }
  // The message after a run of Script's Sub main under Locale.
  std::string Run(const std::string& locale, const std::string& script) {
    WriteFile(dir / "header.def", "Sub main\r\n" + script + "End Sub\r\n");
    WriteFile(msg, "From: a@example.org\r\nNewsgroups: de.test\r\nSubject: s\r\nMIME-Version: 1.0\r\n"
                   "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\nText\r\n");
    ProcessResult r = RunProcess(exe, {"Type:news", "Filename:" + msg},
                                 {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home.Path(), "TZ=UTC0",
                                  "LC_ALL=" + locale},
                                 dir.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return ReadFile(msg);
  }
};

struct Names {
  const char* days[7];  // Sunday first
  const char* abDays[7];
  const char* months[12];
  const char* abMonths[12];
  const char *am, *pm, *era;
  bool monthFirst;  // mm/dd/yyyy and a 12-hour clock
};

const Names kGerman = {{"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
                       {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"},
                       {"Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August", "September",
                        "Oktober", "November", "Dezember"},
                       {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
                       "AM", "PM", "n. Chr.", false};
// The C library's German names; it has no AM/PM texts for German.
const Names kGermanLocale = {{"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
                             {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"},
                             {"Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August",
                              "September", "Oktober", "November", "Dezember"},
                             {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
                             "", "", "n. Chr.", false};
const Names kEnglish = {{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
                        {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
                        {"January", "February", "March", "April", "May", "June", "July", "August", "September",
                         "October", "November", "December"},
                        {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
                        "AM", "PM", "AD", true};
// Read from a KOI8-R locale: the names must reach UTF-8.
const Names kRussian = {{"Воскресенье", "Понедельник", "Вторник", "Среда", "Четверг", "Пятница", "Суббота"},
                        {"Вс", "Пн", "Вт", "Ср", "Чт", "Пт", "Сб"},
                        {"января", "февраля", "марта", "апреля", "мая", "июня", "июля", "августа", "сентября",
                         "октября", "ноября", "декабря"},
                        {"янв", "фев", "мар", "апр", "мая", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"},
                        "", "", "AD", false};

}  // namespace

TEST_F(DateTextsRun, NamesAndFormatsFollowLcTime) {
  const struct {
    const char* locale;
    const Names& names;
  } rows[] = {{"C", kGerman},           {"POSIX", kGerman},         {"C.UTF-8", kGerman},
              {"en_US.UTF-8", kEnglish}, {"de_DE.UTF-8", kGermanLocale}, {"ru_RU.KOI8-R", kRussian}};
  // One call: the numbers and the names belong to the same moment.
  const std::string format = "yyyy mm dd hh nn ss|aaaa|ddd|mmmm|mmm|g|ampm|hh ampm|ddddd|t|tt|c|/:";
  std::string missing;
  for (const auto& row : rows) {
    if (!LocaleAvailable(row.locale)) {
      missing += std::string(" ") + row.locale;
      continue;
    }
    SCOPED_TRACE(row.locale);
    const std::string out = Run(row.locale, "  Append Lines \"[\" + GetDateTime(\"" + format + "\") + \"]\"\r\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(\[(\d{4}) (\d\d) (\d\d) (\d\d) (\d\d) (\d\d)\|(.*)\])")))
        << out;
    const int y = std::stoi(m[1]), mo = std::stoi(m[2]), d = std::stoi(m[3]);
    const int h = std::stoi(m[4]), n = std::stoi(m[5]), s = std::stoi(m[6]);
    using namespace std::chrono;
    const unsigned wd = weekday{sys_days{year{y} / month{unsigned(mo)} / day{unsigned(d)}}}.c_encoding();
    const Names& t = row.names;
    const std::string ampm = h < 12 ? t.am : t.pm;
    const std::string h12 = Two(h % 12 == 0 ? 12 : h % 12) + " " + ampm;
    const std::string date = t.monthFirst ? Two(mo) + "/" + Two(d) + "/" + std::to_string(y)
                                          : Two(d) + "." + Two(mo) + "." + std::to_string(y);
    const std::string hour = t.monthFirst ? Two(h % 12 == 0 ? 12 : h % 12) : Two(h);
    const std::string mark = t.monthFirst ? " " + ampm : "";
    const std::string shortTime = hour + ":" + Two(n) + mark, longTime = hour + ":" + Two(n) + ":" + Two(s) + mark;
    const std::string both = h || n || s ? date + " " + longTime : date;
    EXPECT_EQ(m[7].str(), std::string(t.days[wd]) + "|" + t.abDays[wd] + "|" + t.months[mo - 1] + "|" +
                              t.abMonths[mo - 1] + "|" + t.era + "|" + ampm + "|" + h12 + "|" + date + "|" +
                              shortTime + "|" + longTime + "|" + both + "|" + (t.monthFirst ? "/:" : ".:"));
  }
  if (!missing.empty()) GTEST_SKIP() << "locales not installed (scripts/setup-deps.sh makes them):" << missing;
}

// Whatever the locale says, numbers keep "." and Date headers their English names.
TEST_F(DateTextsRun, NumbersAndDateHeaderStayUnderAGermanLocale) {
  if (!LocaleAvailable("de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not installed (scripts/setup-deps.sh makes it)";
  const std::string out = Run("de_DE.UTF-8", "  Var %x% : Float = 1.5 + 2.25\r\n  Append Lines Str(%x%) + \" \" + Str(2.5, 0, 2)\r\n");
  EXPECT_NE(out.find("\r\n3.75 2.5\r\n"), std::string::npos) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("\r\nDate: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), \\d\\d "
                                                "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} "
                                                "\\d\\d:\\d\\d:\\d\\d GMT\r\n")))
      << out;
}
