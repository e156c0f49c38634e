// Date texts of the built runner under the user's locale: names and formats
// from LC_TIME, German under C and POSIX; numbers and Date headers never change.
#include <gtest/gtest.h>

#include <locale.h>

#include <chrono>
#include <cstdio>
#include <ctime>
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
  const char *am, *pm;
  // strftime patterns, written under the row's locale at the moment of the run.
  const char *era, *eraYear, *date, *shortTime, *longTime;
  const char* separators;
};

const Names kGerman = {{"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
                       {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"},
                       {"Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August", "September",
                        "Oktober", "November", "Dezember"},
                       {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
                       "AM", "PM", "n. Chr.", "%Y", "%d.%m.%Y", "%H:%M", "%H:%M:%S", ".:"};
// The C library's German names; it has no AM/PM texts for German.
const Names kGermanLocale = {{"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
                             {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"},
                             {"Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August",
                              "September", "Oktober", "November", "Dezember"},
                             {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
                             "", "", "n. Chr.", "%Y", "%d.%m.%Y", "%H:%M", "%H:%M:%S", ".:"};
const Names kEnglish = {{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
                        {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
                        {"January", "February", "March", "April", "May", "June", "July", "August", "September",
                         "October", "November", "December"},
                        {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
                        "AM", "PM", "AD", "%Y", "%m/%d/%Y", "%I:%M %p", "%I:%M:%S %p", "/:"};
// Read from a KOI8-R locale: the names must reach UTF-8.
const Names kRussian = {{"Воскресенье", "Понедельник", "Вторник", "Среда", "Четверг", "Пятница", "Суббота"},
                        {"Вс", "Пн", "Вт", "Ср", "Чт", "Пт", "Сб"},
                        {"января", "февраля", "марта", "апреля", "мая", "июня", "июля", "августа", "сентября",
                         "октября", "ноября", "декабря"},
                        {"янв", "фев", "мар", "апр", "мая", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"},
                        "", "", "AD", "%Y", "%d.%m.%Y", "%H:%M", "%H:%M:%S", ".:"};
// Era years: the Buddhist era (from 543 BC) in the short date, the Japanese
// eras beside the Gregorian one.
const Names kThai = {{"อาทิตย์", "จันทร์", "อังคาร", "พุธ", "พฤหัสบดี", "ศุกร์", "เสาร์"},
                     {"อา.", "จ.", "อ.", "พ.", "พฤ.", "ศ.", "ส."},
                     {"มกราคม", "กุมภาพันธ์", "มีนาคม", "เมษายน", "พฤษภาคม", "มิถุนายน", "กรกฎาคม", "สิงหาคม",
                      "กันยายน", "ตุลาคม", "พฤศจิกายน", "ธันวาคม"},
                     {"ม.ค.", "ก.พ.", "มี.ค.", "เม.ย.", "พ.ค.", "มิ.ย.", "ก.ค.", "ส.ค.", "ก.ย.", "ต.ค.", "พ.ย.",
                      "ธ.ค."},
                     "AM", "PM", "%EC", "%Ey", "%x", "%H:%M", "%H:%M:%S", "/:"};
const Names kJapanese = {{"日曜日", "月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日"},
                         {"日", "月", "火", "水", "木", "金", "土"},
                         {"1月", "2月", "3月", "4月", "5月", "6月", "7月", "8月", "9月", "10月", "11月", "12月"},
                         {" 1月", " 2月", " 3月", " 4月", " 5月", " 6月", " 7月", " 8月", " 9月", "10月", "11月",
                          "12月"},
                         "午前", "午後", "%EC", "%Ey", "%x", "%H時%M分", "%X", "/:"};

}  // namespace

TEST_F(DateTextsRun, NamesAndFormatsFollowLcTime) {
  const struct {
    const char* locale;
    const Names& names;
  } rows[] = {{"C", kGerman},           {"POSIX", kGerman},         {"C.UTF-8", kGerman},
              {"en_US.UTF-8", kEnglish}, {"de_DE.UTF-8", kGermanLocale}, {"ru_RU.KOI8-R", kRussian},
              {"th_TH.UTF-8", kThai},    {"ja_JP.UTF-8", kJapanese}};
  // One call: the numbers and the names belong to the same moment.
  const std::string format = "yyyy mm dd hh nn ss|aaaa|ddd|mmmm|mmm|g|e|ee|ampm|hh ampm|ddddd|t|tt|c|/:";
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
    std::tm moment{};
    moment.tm_year = y - 1900;
    moment.tm_mon = mo - 1;
    moment.tm_mday = d;
    moment.tm_hour = h;
    moment.tm_min = n;
    moment.tm_sec = s;
    moment.tm_wday = int(wd);
    locale_t loc = newlocale(LC_ALL_MASK, row.locale, locale_t(0));
    ASSERT_NE(loc, locale_t(0));
    auto text = [&](const char* pattern) {
      char buf[200];
      return std::string(buf, strftime_l(buf, sizeof buf, pattern, &moment, loc));
    };
    const Names& t = row.names;
    const std::string ampm = h < 12 ? t.am : t.pm;
    const std::string h12 = Two(h % 12 == 0 ? 12 : h % 12) + " " + ampm;
    const std::string eraYear = text(t.eraYear);
    const std::string date = text(t.date), longTime = text(t.longTime);
    const std::string both = h || n || s ? date + " " + longTime : date;
    EXPECT_EQ(m[7].str(), std::string(t.days[wd]) + "|" + t.abDays[wd] + "|" + t.months[mo - 1] + "|" +
                              t.abMonths[mo - 1] + "|" + text(t.era) + "|" + std::to_string(std::stoi(eraYear)) +
                              "|" + eraYear + "|" + ampm + "|" + h12 + "|" + date + "|" + text(t.shortTime) + "|" +
                              longTime + "|" + both + "|" + t.separators);
    freelocale(loc);
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
