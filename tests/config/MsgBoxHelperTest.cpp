// The runner's plain message boxes: on a desktop the helper beside the runner
// shows them (answered through TIDELARN_TEST_ANSWER on Qt's offscreen
// platform); whenever it cannot, the runner answers headless as before.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// The stand-ins end as the helper may: with a code that is no button, with
// Qt's exit code for a display gone while the box is up, or by a signal.
enum class THelper { Built, Missing, ExitsWithAbort, ExitsWithOne, Killed };

struct TCase {
  const char* what;
  std::vector<std::string> env;  // the display variables and the platform
  THelper helper;
  int exitCode;                   // 6: Ask answered Yes, 7: No; +10: Abort answered Cancel
  bool headless;                  // stderr names the answer taken without a display
};

TEST(MsgBoxHelper, TheRunnerTakesTheHelpersAnswerOrFallsBack) {
  const std::string offscreen = "QT_QPA_PLATFORM=offscreen";
  const TOwnDisplay refusing;
  const std::string x = "DISPLAY=" + refusing.Name();
  // Accepts the connections into its backlog and never answers them.
  const TOwnDisplay frozen{true};
  // The Abort box gets no button of that name and is closed: Cancel.
  const TCase cases[] = {
      {"X display", {x, offscreen}, THelper::Built, 17, false},
      {"Wayland display", {"WAYLAND_DISPLAY=wayland-9", offscreen}, THelper::Built, 17, false},
      {"no display variable", {offscreen}, THelper::Built, 16, true},
      {"no helper", {x, offscreen}, THelper::Missing, 16, true},
      {"display unreachable", {x, "QT_QPA_PLATFORM=xcb"}, THelper::Built, 16, true},
      {"display never answers", {"DISPLAY=" + frozen.Name()}, THelper::Built, 16, true},
      {"answer not a button of the box", {x, offscreen}, THelper::ExitsWithAbort, 16, true},
      {"helper ended by Qt", {x, offscreen}, THelper::ExitsWithOne, 16, true},
      {"helper killed", {x, offscreen}, THelper::Killed, 16, true},
  };
  const char* stubs[] = {"", "", "exit 3", "exit 1", "kill -9 $$"};
  // Only the cases' own display variables count.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const std::string savedPlatform = platform ? platform : "";
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir, home, tmp;
    const std::string runner = InstallOnlyVQ(dir.Path());
    if (c.helper == THelper::Built) {
      fs::copy_file(MSGBOX_HELPER_PATH, dir / "tidelarn-msgbox");
    } else if (c.helper != THelper::Missing) {
      WriteFile(dir / "tidelarn-msgbox", std::string("#!/bin/sh\n") + stubs[int(c.helper)] + "\n");
      chmod((dir / "tidelarn-msgbox").c_str(), 0755);
    }
    fs::create_directory(dir / "out");
    WriteFile(dir / "Tidelarn.ini", "[news]\r\nFilePath=" + dir.Path() + "/\r\nMessagePath=" +
                                        dir.Path() + "/out/\r\nHeader.def=header.def\r\n");
    WriteFile(dir / "header.def",
              "Sub main\r\n  %Exitcode% = 6\r\n"
              "  If Not Ask(\"-platform xcb Weiter?\", \"Frage\") Then\r\n"
              "    %Exitcode% = 7\r\n  EndIf\r\n"
              "  If Abort(\"Aufhören?\") Then\r\n"
              "    %Exitcode% = %Exitcode% + 10\r\n  EndIf\r\nEnd Sub\r\n");
    WriteFile(dir / "out/a.msg", "Subject: x\r\n\r\nbody\r\n");
    chmod(home.Path().c_str(), 0700);
    // No runtime folder: the helper makes its own in the settings folder, and
    // Qt says nothing about it and makes none of its own in TMPDIR.
    std::vector<std::string> env = {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home.Path(),
                                    "XDG_RUNTIME_DIR=", "TMPDIR=" + tmp.Path(),
                                    "TIDELARN_TEST_ANSWER=butNo"};
    env.insert(env.end(), c.env.begin(), c.env.end());
    ProcessResult r =
        RunProcess(runner, {"Type:news", "Filename:" + (dir / "out/a.msg")}, env, dir.Path());
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.err.find("Ohne Anzeige beantwortet mit \"Ja\".") != std::string::npos, c.headless)
        << r.err;
    EXPECT_EQ(r.err.find("XDG_RUNTIME_DIR"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(tmp.Path()));
  }
  if (platform) setenv("QT_QPA_PLATFORM", savedPlatform.c_str(), 1);
}

// Whatever stands where Qt's runtime folder goes, the helper on a display
// leaves no warning of Qt's on stderr and no folder in TMPDIR, and changes
// nothing but a folder of the user's own.
TEST(MsgBoxHelper, QtFindsAPrivateRuntimeFolderWhateverStandsInItsPlace) {
  enum class TPlaced { OpenFolder, File, Link, OthersFolder, LinkAsVariable };
  const std::pair<const char*, TPlaced> cases[] = {
      {"own folder 0755", TPlaced::OpenFolder},
      {"file", TPlaced::File},
      {"link to an own folder", TPlaced::Link},
      {"another user's folder", TPlaced::OthersFolder},
      {"XDG_RUNTIME_DIR a link to a private folder", TPlaced::LinkAsVariable},
  };
  for (const auto& [what, placed] : cases) {
    // Only root can give a folder to another user.
    if (placed == TPlaced::OthersFolder && geteuid() != 0) continue;
    SCOPED_TRACE(what);
    TempDir settings, target, tmp;
    const std::string runtime = settings / "runtime";
    std::string variable;
    switch (placed) {
      case TPlaced::OpenFolder:
      case TPlaced::OthersFolder:
        fs::create_directory(runtime);
        chmod(runtime.c_str(), 0755);
        if (placed == TPlaced::OthersFolder) {
          ASSERT_EQ(chown(runtime.c_str(), 65534, 65534), 0);
        }
        break;
      case TPlaced::File:
        WriteFile(runtime, "");
        break;
      case TPlaced::Link:
        chmod(target.Path().c_str(), 0755);
        fs::create_directory_symlink(target.Path(), runtime);
        break;
      case TPlaced::LinkAsVariable:
        chmod(target.Path().c_str(), 0700);
        variable = settings / "session";
        fs::create_directory_symlink(target.Path(), variable);
        break;
    }
    ProcessResult r = RunProcess(
        MSGBOX_HELPER_PATH, {"Titel", "Text", "0"},
        {"TIDELARN_HOME=" + settings.Path(), "XDG_RUNTIME_DIR=" + variable, "TMPDIR=" + tmp.Path(),
         "QT_QPA_PLATFORM=offscreen", "TIDELARN_TEST_ANSWER=butOk"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("answer="), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("QStandardPaths"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(tmp.Path()));
    struct stat st {};
    ASSERT_EQ(lstat(runtime.c_str(), &st), 0);
    const mode_t mode = st.st_mode & 07777;
    switch (placed) {
      case TPlaced::OpenFolder:
        EXPECT_EQ(mode, 0700u);
        break;
      case TPlaced::OthersFolder:
        EXPECT_EQ(mode, 0755u);
        EXPECT_EQ(st.st_uid, 65534u);
        break;
      case TPlaced::File:
        EXPECT_TRUE(S_ISREG(st.st_mode));
        break;
      case TPlaced::Link:
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        ASSERT_EQ(stat(target.Path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0755u);
        break;
      case TPlaced::LinkAsVariable:
        break;
    }
  }
}

}  // namespace
