// The hand-over end to end: the built runner meets a script error, a debug
// stop or an input box, starts the built configuration program beside it,
// which shows its dialog (answered through TIDELARN_TEST_ANSWER), and the
// runner goes on with the answer.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class HandOverEndToEnd : public ::testing::Test {
protected:
  TempDir dir, home;
  std::string runner;

  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    runner = InstallOnlyVQ(dir.Path());
    fs::copy_file(TIDELARN_PATH, dir / "Tidelarn");
    fs::create_directory(dir / "out");
    chmod(home.Path().c_str(), 0700);
    WriteFile(dir / "Tidelarn.ini", "[news]\r\nFilePath=" + dir.Path() + "/\r\nMessagePath=" +
                                        dir.Path() + "/out/\r\nHeader.def=header.def\r\n");
  }

  // Runs the runner on one message with Script as Sub main; the dialogs are
  // answered with Answer. Returns the runner's exit code.
  int Run(const std::string& script, const std::string& answer) {
    WriteFile(dir / "header.def", "Sub main\r\n" + script + "End Sub\r\n");
    WriteFile(dir / "out/a.msg", "Subject: x\r\n\r\nbody\r\n");
    ProcessResult r =
        RunProcess(runner, {"Type:news", "Filename:" + (dir / "out/a.msg")},
                   {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home.Path(),
                    "XDG_RUNTIME_DIR=" + home.Path(), "TIDELARN_TEST_ANSWER=" + answer},
                   dir.Path());
    err = r.err;
    return r.exitCode;
  }

  // Hand-over files or reports left in the program folder.
  int LeftOver() const {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir.Path()))
      if (e.path().filename().string().rfind("VQ-", 0) == 0) ++n;
    return n;
  }

  std::string err;
};

const std::string kErrorScript =
    "  %Exitcode% = 5\r\n"
    "  Quatsch mit Sosse\r\n"
    "  %Exitcode% = 7\r\n";

TEST_F(HandOverEndToEnd, ScriptErrorIsSkippedOrEndsTheScript) {
  EXPECT_EQ(Run(kErrorScript, "butSkip"), 7) << err;
  EXPECT_EQ(Run(kErrorScript, "butEnde"), 5) << err;
  // Retry is offered only after the script was edited and saved: the dialog
  // is closed instead, which ends the script.
  EXPECT_EQ(Run(kErrorScript, "butRetry"), 5) << err;
  // The error dialog offers no Weiter.
  EXPECT_EQ(Run(kErrorScript, "butWeiter"), 5) << err;
  EXPECT_EQ(LeftOver(), 0);
}

TEST_F(HandOverEndToEnd, DebugStopContinuesOrStepsToTheEnd) {
  const std::string script =
      "  stop\r\n"
      "  %Exitcode% = 5\r\n"
      "  %Exitcode% = %Exitcode% + 2\r\n";
  EXPECT_EQ(Run(script, "butWeiter"), 7) << err;
  EXPECT_EQ(Run(script, "butNaechsteZeile"), 7) << err;
  EXPECT_EQ(Run(script, "butEnde"), 0) << err;
  EXPECT_EQ(LeftOver(), 0);
}

TEST_F(HandOverEndToEnd, InputBoxAnswerReachesTheScript) {
  // The script is stored in the internal charset (windows-1252).
  const std::string script =
      "  %a% = Input(\"Titel\", \"Frage\", \"vorher\")\r\n"
      "  If %a% = \"Gr\xfc\xdf"
      "e\" Then\r\n"
      "    %Exitcode% = 9\r\n"
      "  EndIf\r\n"
      "  If %a% = \"vorher\" Then\r\n"
      "    %Exitcode% = 3\r\n"
      "  EndIf\r\n";
  EXPECT_EQ(Run(script, "Grüße"), 9) << err;
  EXPECT_EQ(Run(script, "vorher"), 3) << err;
  // A configuration program whose Qt cannot start ends without answering: the
  // runner says the box and takes the preset.
  setenv("QT_QPA_PLATFORM", "bogus", 1);
  EXPECT_EQ(Run(script, "Grüße"), 3) << err;
  EXPECT_NE(err.find("Titel: Frage\n"), std::string::npos) << err;
  EXPECT_EQ(LeftOver(), 0);
}

}  // namespace
