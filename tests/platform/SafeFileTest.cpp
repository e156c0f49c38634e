#include "SafeFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Runs Fn in a child whose writes fail beyond Limit bytes per file, as on a
// full disk; returns the child's exit code.
int WithFileSizeLimit(rlim_t limit, const std::function<int()>& fn) {
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    int code = 99;
    try {
      code = fn();
    } catch (...) {
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> Names(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.Path())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_ino;
}

}  // namespace

TEST(SafeFile, OldContentStaysUntilTheNewIsComplete) {
  TempDir dir;
  const std::string target = dir / "x.msg";
  WriteFile(target, "old");
  chmod(target.c_str(), 0640);
  {
    TReplacementFile file(target);
    file.Write("new ");
    file.WriteWithoutCR("text\r\nwith\r\rlines\r\n");
    file.Finish();
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(Names(dir).size(), 2u);
    EXPECT_TRUE(
        ExtractFileName(file.TempPath()).starts_with(".x.msg."));  // hidden, no ".msg" at the end
    file.Commit();
  }
  EXPECT_EQ(ReadFile(target), "new text\nwithlines\n");
  EXPECT_EQ(Names(dir), std::vector<std::string>{"x.msg"});
  struct stat st {};
  stat(target.c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  {
    TReplacementFile abandoned(target);
    abandoned.Write("never");
  }
  EXPECT_EQ(ReadFile(target), "new text\nwithlines\n");
  EXPECT_EQ(Names(dir), std::vector<std::string>{"x.msg"});
}

// A batch renames nothing before it completes; then every file gets its
// pieces in order (more pieces than one system call takes), each hook pair
// runs around its own rename, and a batch left open completes when it ends.
TEST(SafeFile, BatchReplacesTheFilesWhenItCompletes) {
  TempDir dir;
  std::vector<std::string> pieces, log;
  std::string joined;
  for (int i = 0; i < 3000; ++i) {
    pieces.push_back(std::string(size_t(i % 7), char('a' + i % 26)));
    joined += pieces.back();
  }
  {
    TReplacementBatch batch;
    for (const char* name : {"a.msg", "b.msg"}) {
      const std::string target = dir / name;
      WriteFile(target, "old");
      auto file = std::make_unique<TReplacementFile>(target);
      std::vector<std::string_view> views(pieces.begin(), pieces.end());
      file->WritePieces(views);
      file->FinishUnsynced();
      batch.Add(
          std::move(file),
          [&, name] { log.push_back(std::string("before ") + name + " " + ReadFile(dir / name)); },
          [&, name] { log.push_back(std::string("after ") + name); });
    }
    EXPECT_EQ(ReadFile(dir / "a.msg"), "old");
    EXPECT_EQ(Names(dir).size(), 4u);
    batch.Complete();
    EXPECT_EQ(log, (std::vector<std::string>{"before a.msg old", "after a.msg", "before b.msg old",
                                             "after b.msg"}));
    EXPECT_EQ(ReadFile(dir / "b.msg"), joined);
    auto file = std::make_unique<TReplacementFile>(dir / "c.msg");
    file->Write("left open");
    file->FinishUnsynced();
    batch.Add(std::move(file));
  }
  EXPECT_EQ(ReadFile(dir / "a.msg"), joined);
  EXPECT_EQ(ReadFile(dir / "c.msg"), "left open");
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"a.msg", "b.msg", "c.msg"}));
}

TEST(SafeFile, AFullDiskLeavesTheFileAndNoTemporaryFile) {
  TempDir dir;
  const std::string target = dir / "x.msg";
  WriteFile(target, "the message");
  const std::string big(200000, 'x');
  EXPECT_EQ(WithFileSizeLimit(4096,
                              [&] {
                                try {
                                  ReplaceFileContent(target, big);
                                } catch (const EInOutError& e) {
                                  return std::string(e.Message()).find(target) != std::string::npos
                                             ? 0
                                             : 2;
                                }
                                return 1;
                              }),
            0);
  EXPECT_EQ(ReadFile(target), "the message");
  EXPECT_EQ(Names(dir), std::vector<std::string>{"x.msg"});
}

TEST(SafeFile, BackupIsASecondNameOrACopy) {
  TempDir dir;
  const std::string file = dir / "x.msg", bak = dir / "x.bak";
  WriteFile(file, "current");
  WriteFile(bak, "older backup");
  ASSERT_TRUE(MakeBackup(file, bak));
  EXPECT_EQ(ReadFile(bak), "current");
  EXPECT_EQ(Inode(bak), Inode(file));
  EXPECT_TRUE(SameFile(file, bak));
  ASSERT_TRUE(MakeBackup(file, bak));  // already the same file: nothing left over
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"x.bak", "x.msg"}));
  EXPECT_FALSE(MakeBackup(dir / "missing", bak));
  EXPECT_EQ(ReadFile(bak), "current");
}

TEST(SafeFile, CopyNeverReplacesAndNeverLeavesAPartialFile) {
  TempDir dir;
  const std::string from = dir / "x.msg", to = dir / "x.tst";
  WriteFile(from, std::string(100000, 'm'));
  EXPECT_EQ(WithFileSizeLimit(4096, [&] { return CopyFileIfAbsent(from, to) ? 1 : 0; }), 0);
  EXPECT_EQ(Names(dir), std::vector<std::string>{"x.msg"});
  ASSERT_TRUE(CopyFileIfAbsent(from, to));
  EXPECT_EQ(ReadFile(to), ReadFile(from));
  WriteFile(to, "kept");
  EXPECT_FALSE(CopyFileIfAbsent(from, to));
  EXPECT_EQ(ReadFile(to), "kept");
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"x.msg", "x.tst"}));
}
