// The runner's plain message boxes: on a desktop the helper beside the runner
// shows them (answered through TIDELARN_TEST_ANSWER on Qt's offscreen
// platform); whenever it cannot, the runner answers headless as before.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

enum class THelper { Built, Missing, ExitsWithAbort };

struct TCase {
  const char* what;
  std::vector<std::string> env;  // the display variables and the platform
  THelper helper;
  int exitCode;                   // 6: Ask answered Yes, 7: No
  bool headless;                  // stderr names the answer taken without a display
};

TEST(MsgBoxHelper, TheRunnerTakesTheHelpersAnswerOrFallsBack) {
  const std::string offscreen = "QT_QPA_PLATFORM=offscreen";
  const TCase cases[] = {
      {"X display", {"DISPLAY=:0", offscreen}, THelper::Built, 7, false},
      {"Wayland display", {"WAYLAND_DISPLAY=wayland-9", offscreen}, THelper::Built, 7, false},
      {"no display variable", {offscreen}, THelper::Built, 6, true},
      {"no helper", {"DISPLAY=:0", offscreen}, THelper::Missing, 6, true},
      {"display unreachable", {"DISPLAY=:87", "QT_QPA_PLATFORM=xcb"}, THelper::Built, 6, true},
      {"answer not a button of the box", {"DISPLAY=:0", offscreen}, THelper::ExitsWithAbort, 6,
       true},
  };
  // Only the cases' own display variables count.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const std::string savedPlatform = platform ? platform : "";
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir, home;
    const std::string runner = InstallOnlyVQ(dir.Path());
    if (c.helper == THelper::Built) {
      fs::copy_file(MSGBOX_HELPER_PATH, dir / "tidelarn-msgbox");
    } else if (c.helper == THelper::ExitsWithAbort) {
      WriteFile(dir / "tidelarn-msgbox", "#!/bin/sh\nexit 3\n");
      chmod((dir / "tidelarn-msgbox").c_str(), 0755);
    }
    fs::create_directory(dir / "out");
    WriteFile(dir / "Tidelarn.ini", "[news]\r\nFilePath=" + dir.Path() + "/\r\nMessagePath=" +
                                        dir.Path() + "/out/\r\nHeader.def=header.def\r\n");
    WriteFile(dir / "header.def",
              "Sub main\r\n  %Exitcode% = 6\r\n"
              "  If Not Ask(\"-platform xcb Weiter?\", \"Frage\") Then\r\n"
              "    %Exitcode% = 7\r\n  EndIf\r\nEnd Sub\r\n");
    WriteFile(dir / "out/a.msg", "Subject: x\r\n\r\nbody\r\n");
    chmod(home.Path().c_str(), 0700);
    std::vector<std::string> env = {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home.Path(),
                                    "XDG_RUNTIME_DIR=" + home.Path(),
                                    "TIDELARN_TEST_ANSWER=butNo"};
    env.insert(env.end(), c.env.begin(), c.env.end());
    ProcessResult r =
        RunProcess(runner, {"Type:news", "Filename:" + (dir / "out/a.msg")}, env, dir.Path());
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.err.find("Ohne Anzeige beantwortet mit \"Ja\".") != std::string::npos, c.headless)
        << r.err;
  }
  if (platform) setenv("QT_QPA_PLATFORM", savedPlatform.c_str(), 1);
}

}  // namespace
