#include "Process.h"

#include <gtest/gtest.h>

#include <csignal>

#include "ProgramDir.h"
#include "TempFile.h"
#include "TestSupport.h"

using Words = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheWindowsRules) {
  EXPECT_EQ(SplitCommandLine("  a  b\tc "), (Words{"a", "b", "c"}));
  EXPECT_EQ(SplitCommandLine(R"("a b" c)"), (Words{"a b", "c"}));
  EXPECT_EQ(SplitCommandLine(R"(x"y z"w)"), (Words{"xy zw"}));
  EXPECT_EQ(SplitCommandLine(R"("a""b")"), (Words{"a\"b"}));
  EXPECT_EQ(SplitCommandLine(R"(a\\b "c\\" d\"e)"), (Words{R"(a\\b)", R"(c\)", R"(d"e)"}));
  EXPECT_EQ(SplitCommandLine(R"("")"), (Words{""}));
  EXPECT_EQ(SplitCommandLine(""), Words{});
}

TEST(Spawn, WaitsAndReportsExitCodes) {
  int code;
  ASSERT_TRUE(SpawnAndWait("/bin/sh", {"-c", "exit 7"}, code));
  EXPECT_EQ(code, 7);
  EXPECT_FALSE(SpawnAndWait("/nonexistent/program", {}, code));
  TempDir dir;
  ASSERT_TRUE(SpawnAndWait("/bin/sh", {"-c", "pwd > out"}, code, {dir.Path(), {}}));
  EXPECT_EQ(ReadFile(dir / "out"), dir.Path() + "\n");
  // The program's stdout, when asked for, read to its end.
  std::string out = "old";
  SpawnOptions capture;
  capture.output = &out;
  ASSERT_TRUE(SpawnAndWait("/bin/sh", {"-c", "printf 'a\\n'; printf 'b'; exit 3"}, code, capture));
  EXPECT_EQ(out, "a\nb");
  EXPECT_EQ(code, 3);
  EXPECT_FALSE(SpawnAndWait("/nonexistent/program", {}, code, capture));
  // Something it started and left running keeps the pipe open: its end counts.
  const std::string left = ShellQuote(dir / "left");
  ASSERT_TRUE(
      SpawnAndWait("/bin/sh", {"-c", "printf x; sleep 600 & echo $! > " + left}, code, capture));
  kill(std::stoi(ReadFile(dir / "left")), SIGKILL);
  EXPECT_EQ(out, "x");
  EXPECT_EQ(ClampExitCode(300), 255);
  EXPECT_EQ(ClampExitCode(-1), 255);
  EXPECT_EQ(ClampExitCode(42), 42);
}

// The configuration program ignores SIGPIPE; what it starts must not.
TEST(Spawn, ProgramsGetSigpipeAtItsDefault) {
  struct sigaction ignore {}, saved {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &saved);
  int code = 0;
  const bool started = SpawnAndWait("/bin/sh", {"-c", "kill -PIPE $$; exit 0"}, code);
  sigaction(SIGPIPE, &saved, nullptr);
  ASSERT_TRUE(started);
  EXPECT_EQ(code, 128 + SIGPIPE);
}

TEST(TempFile, CreatesDistinctFilesWithThePrefix) {
  TempDir dir;
  std::string a = CreateUniqueFile(dir.Path());
  std::string b = CreateUniqueFile(dir.Path());
  EXPECT_NE(a, b);
  EXPECT_TRUE(FileExists(a));
  EXPECT_EQ(ExtractFileName(a).substr(0, 3), "VQ-");
  EXPECT_EQ(ExtractFileExt(a), ".tmp");
}
