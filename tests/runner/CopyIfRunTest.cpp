// The runner started with "copyif" over a news-server folder: the script runs
// on the new articles and the statistics box (written to stderr without a
// display) shows the counters.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

bool Contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

}  // namespace

TEST(CopyIfRun, TheRunnerCountsWhatTheScriptCounts) {
  TempDir dir;
  unsetenv("TIDELARN_HOME");
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  std::string exe = InstallOnlyVQ(dir.Path());
  std::string server = dir / "server";
  fs::create_directories(server + "/Groups/de.test");
  WriteFile(server + "/Hamster.ini", "");
  WriteFile(server + "/Groups/groups.lst", "de.test\n");
  for (int n = 1; n <= 3; ++n)
    WriteFile(server + "/Groups/de.test/" + std::to_string(n),
              "From: a@example.org\r\nNewsgroups: de.test\r\nSubject: " +
                  std::string(n == 2 ? "Werbung" : "Frage") + "\r\nMessage-ID: <" +
                  std::to_string(n) + "@x>\r\n\r\nText\r\n");
  WriteFile(dir / "CopyIf.ini", "[Settings]\r\nMailInfo=0\r\n");
  WriteFile(dir / "Copyif.def",
            "If Header(\"Subject\") = \"Werbung\" Then Do Inc Counter \"Spam\"\r\n"
            "Do Inc Counter \"Alle\", Header(\"Subject\")\r\n");

  ProcessResult r = RunProcess(exe, {"copyif"},
                               {"TIDELARN_NEWSSERVER=" + server, "DISPLAY=", "WAYLAND_DISPLAY="},
                               dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "Tidelarn/CopyIf V4.2.1 - Ergebnisse: Alle: 3\r\n - Frage: 2\r\n"
                              " - Werbung: 1\r\nSpam: 1\r\n\r\nSTATISTIK\r\n"
                              "Gruppen: 1, Artikel: 3, Exportiert: 0, Kopiert: 0, Geändert: 0"))
      << r.err;
  EXPECT_TRUE(Contains(ReadFile(server + "/Logs/control.log"), "CopyIf: de.test wird getestet"));
}

// Without a news server the walk fails: said in a box, and the exit code
// tells whoever started the run.
TEST(CopyIfRun, ARunThatDidNotTakePlaceEndsWithOne) {
  struct Row {
    bool settings;
    const char* said;
  };
  for (const Row& row : {Row{true, "Newsserver"}, Row{false, "Keine CopyIf.def"}}) {
    TempDir dir;
    unsetenv("TIDELARN_HOME");
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    std::string exe = InstallOnlyVQ(dir.Path());
    fs::create_directories(dir / "server");
    if (row.settings) WriteFile(dir / "CopyIf.ini", "[Settings]\r\nMailInfo=0\r\n");
    WriteFile(dir / "Copyif.def", "");
    ProcessResult r = RunProcess(exe, {"copyif"},
                                 {"TIDELARN_NEWSSERVER=" + (dir / "server"), "DISPLAY=",
                                  "WAYLAND_DISPLAY="},
                                 dir.Path());
    EXPECT_EQ(r.exitCode, 1) << row.said << ": " << r.err;
    EXPECT_TRUE(Contains(r.err, row.said)) << r.err;
  }
}
