// The configuration program's correction run writes date texts in the user's
// LC_TIME, as the runner does.
#include <gtest/gtest.h>

#include <locale.h>

#include <chrono>
#include <filesystem>
#include <regex>

#include "TestSupport.h"

namespace fs = std::filesystem;

TEST(TidelarnDateTexts, CorrectionRunFollowsLcTime) {
  locale_t loc = newlocale(LC_TIME_MASK, "en_US.UTF-8", locale_t(0));
  if (!loc) GTEST_SKIP() << "en_US.UTF-8 not installed (scripts/setup-deps.sh makes it)";
  freelocale(loc);
  TempDir dir;
  const std::string program = dir / "Tidelarn";
  fs::copy_file(TIDELARN_PATH, program);
  for (const char* f : {"charsets.dat", "lHeader.txt"})
    fs::copy_file(fs::path(TIDELARN_SOURCE_DIR) / "data" / f, dir / f);
  fs::create_directory(dir / "work");
  WriteFile(dir / "Tidelarn.ini", "[News]\r\nMessagePath=" + (dir / "work") + "\r\nFilePath=" + dir.Path() + "\r\n");
  WriteFile(dir / "Header.def", "Sub main\r\n  X-D: %GetDateTime(\"yyyy mm dd|aaaa|ddddd\")%\r\nEnd Sub\r\n");
  WriteFile(dir / "work/a.msg", "Subject: x\r\n\r\nbody\r\n");
  ProcessResult r = RunProcess(program, {"News"},
                               {"XDG_CONFIG_HOME=" + (dir / "config"), "TIDELARN_HOME=", "DISPLAY=",
                                "WAYLAND_DISPLAY=", "TZ=UTC0", "LC_ALL=en_US.UTF-8"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string out = ReadFile(dir / "work/a.msg");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(X-D: (\d{4}) (\d\d) (\d\d)\|(\w+)\|(.*)\r\n)"))) << out;
  using namespace std::chrono;
  const year_month_day date{year{std::stoi(m[1])}, month{unsigned(std::stoi(m[2]))}, day{unsigned(std::stoi(m[3]))}};
  static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
  EXPECT_EQ(m[4].str(), kDays[weekday{sys_days{date}}.c_encoding()]);
  EXPECT_EQ(m[5].str(), m[2].str() + "/" + m[3].str() + "/" + m[1].str());
}
