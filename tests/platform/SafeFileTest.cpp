#include "SafeFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>

#include "IniFile.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "TempFile.h"
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
  ASSERT_NO_THROW(MakeBackup(file, bak));
  EXPECT_EQ(ReadFile(bak), "current");
  EXPECT_EQ(Inode(bak), Inode(file));
  EXPECT_TRUE(SameFile(file, bak));
  ASSERT_NO_THROW(MakeBackup(file, bak));  // already the same file: nothing left over
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"x.bak", "x.msg"}));
  EXPECT_THROW(MakeBackup(dir / "missing", bak), EInOutError);
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

namespace {

struct Fault {
  explicit Fault(std::function<int(const std::string&)> f) { SetReadFault(std::move(f)); }
  ~Fault() { SetReadFault(nullptr); }
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

void MakeOld(const std::string& path) {
  struct timespec times[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace

TEST(SafeFile, TheReaderTellsAbsenceFromFailure) {
  TempDir dir;
  const std::string file = dir / "f";
  WriteFile(file, std::string(200000, 'r'));
  mkdir((dir / "folder").c_str(), 0755);
  mkfifo((dir / "pipe").c_str(), 0600);  // nobody writes: a blocking read would hang
  int calls = 0;
  struct Case {
    const char* what;
    std::string path;
    std::function<int(const std::string&)> fault;
    int err;  // what ReadWholeFile answers
  } cases[] = {
      {"whole", file, nullptr, 0},
      {"interrupted reads are retried", file, [&](const std::string&) { return ++calls % 2 ? EINTR : 0; }, 0},
      {"missing", dir / "missing", nullptr, ENOENT},
      {"folder", dir / "folder", nullptr, EISDIR},
      {"pipe", dir / "pipe", nullptr, EINVAL},
      {"read error", file, [](const std::string&) { return EIO; }, EIO},
      {"O_NONBLOCK taken once", file,
       [n = 0](const std::string&) mutable { return n++ ? 0 : EAGAIN; }, 0},
      {"O_NONBLOCK taken always", file, [](const std::string&) { return EAGAIN; }, EAGAIN},
      {"below a file", file + "/x", nullptr, ENOTDIR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fault fault(c.fault);
    std::string data = "stale";
    EXPECT_EQ(ReadWholeFile(c.path, data), c.err);
    EXPECT_EQ(data, c.err ? "" : ReadFile(file));
    if (c.err == 0) {
      EXPECT_TRUE(ReadFileIfExists(c.path, data));
    } else if (c.err == ENOENT) {
      EXPECT_FALSE(ReadFileIfExists(c.path, data));
    } else {
      try {
        ReadFileIfExists(c.path, data);
        ADD_FAILURE() << "no error";
      } catch (const EInOutError& e) {
        EXPECT_NE(e.Message().find(c.path), std::string::npos) << e.Message();
      }
    }
  }
  if (geteuid() != 0) {  // root reads whatever the mode says
    chmod(file.c_str(), 0200);
    std::string data;
    EXPECT_EQ(ReadWholeFile(file, data), EACCES);
    EXPECT_THROW(ReadFileIfExists(file, data), EInOutError);
  }
}

TEST(SafeFile, ModesLinksAndSharedFolders) {
  TempDir dir;
  if (geteuid() != 0) {  // root may write whatever the mode says
    // A file its owner made read-only is not replaced behind the mode's back.
    WriteFile(dir / "ro", "old");
    chmod((dir / "ro").c_str(), 0444);
    EXPECT_THROW(ReplaceFileContent(dir / "ro", "new"), EInOutError);
    EXPECT_EQ(ReadFile(dir / "ro"), "old");
  }
  const mode_t old = umask(027);
  ReplaceFileContent(dir / "new", "n");
  EXPECT_EQ(ModeOf(dir / "new"), 0640u);
  umask(old);

  // A symlinked file is replaced where it lies; the link stays a link.
  mkdir((dir / "real").c_str(), 0755);
  WriteFile(dir / "real/t.ini", "old");
  chmod((dir / "real/t.ini").c_str(), 0604);
  symlink("real/t.ini", (dir / "link.ini").c_str());
  ReplaceFileContent(dir / "link.ini", "new");
  struct stat st {};
  ASSERT_EQ(lstat((dir / "link.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(dir / "real/t.ini"), "new");
  EXPECT_EQ(ModeOf(dir / "real/t.ini"), 0604u);

  // A copy that must not replace anything takes a dangling link for a taken name.
  symlink("real/made-by-link", (dir / "dangling").c_str());
  {
    TReplacementFile copy(dir / "dangling");
    copy.Write("x");
    EXPECT_FALSE(copy.CommitIfAbsent());
  }
  EXPECT_FALSE(fs::exists(dir / "real/made-by-link"));

  // Nothing but a regular file is ever replaced.
  mkfifo((dir / "real/pipe").c_str(), 0600);
  symlink("real/pipe", (dir / "pipe.link").c_str());
  EXPECT_THROW(ReplaceFileContent(dir / "pipe.link", "x"), EInOutError);
  EXPECT_TRUE(S_ISFIFO((stat((dir / "real/pipe").c_str(), &st), st.st_mode)));

  // Private where every user may write, as usual elsewhere.
  TReplaceOptions priv;
  priv.privateInSharedFolder = true;
  for (mode_t folderMode : {01777, 0755}) {
    chmod(dir.Path().c_str(), folderMode);
    TReplacementFile file(dir / "att", priv);
    file.Write("a");
    file.Commit();
    EXPECT_EQ(ModeOf(dir / "att"), folderMode == 0755 ? (0666 & ~old) : 0600u) << folderMode;
    unlink((dir / "att").c_str());
  }
  chmod(dir.Path().c_str(), 0700);
}

TEST(SafeFile, StaleTemporaryFilesOfTheOwnPatternGo) {
  TempDir dir;
  struct {
    const char* name;
    bool old, stays;
    uid_t owner = geteuid();
  } files[] = {
      {".a.msg.tidelarn-Ab12Cd", true, false},  // ours, stale
      {".b.msg.tidelarn-Ab12Ce", false, true},  // ours, fresh: a run may be writing it
      {".c.msg.Ab12Cf", true, true},            // another pattern
      {".d.msg.tidelarn-Ab1-Cg", true, true},   // not six letters or digits
      {"e.msg.tidelarn-Ab12Ch", true, true},    // not hidden
      {".notes.txt.~backup", true, true},       // a user's file, like earlier versions' marker
      {".g.msg.~Ab12Cd", true, true},
      {".h.msg.tidelarn-Ab12Cd.x", true, true},  // the marker not at the end
      {"Tidelarn.ini.backup", true, true},
      {"x.msg", true, true},
      {".i.msg.tidelarn-Ab12Ci", true, true, 65534},  // another user's (root can make it)
  };
  for (const auto& f : files) {
    if (f.owner != geteuid() && geteuid() != 0) continue;
    WriteFile(dir / f.name, "x");
    if (f.owner != geteuid()) {
      ASSERT_EQ(chown((dir / f.name).c_str(), f.owner, f.owner), 0);
    }
    if (f.old) MakeOld(dir / f.name);
  }
  // Neither a folder nor a link of that name goes.
  mkdir((dir / ".f.msg.tidelarn-Ab12Cl").c_str(), 0755);
  MakeOld(dir / ".f.msg.tidelarn-Ab12Cl");
  symlink("x.msg", (dir / ".l.msg.tidelarn-Ab12Cl").c_str());
  MakeOld(dir / ".l.msg.tidelarn-Ab12Cl");
  TReplacementFile file(dir / "Tidelarn.ini");
  EXPECT_TRUE(ExtractFileName(file.TempPath()).starts_with(".Tidelarn.ini.tidelarn-"));
  for (const auto& f : files) {
    if (f.owner == geteuid() || geteuid() == 0) {
      EXPECT_EQ(fs::exists(dir / f.name), f.stays) << f.name;
    }
  }
  EXPECT_TRUE(fs::exists(dir / ".f.msg.tidelarn-Ab12Cl"));
  EXPECT_TRUE(fs::is_symlink(dir / ".l.msg.tidelarn-Ab12Cl"));
}

// The backup is a regular file holding the original bytes, also of a
// symlinked file (a second link would show the new text after the save), and
// a backup that cannot be made changes nothing and is raised.
TEST(SafeFile, BackupOfALinkHoldsTheOriginalBytes) {
  TempDir dir;
  // A tmpfs, where the temporary folders are on a disk: the backup is a copy.
  std::optional<TempDir> other;
  if (fs::is_directory("/dev/shm")) other.emplace("/dev/shm");
  enum Before { Nothing, OlderFile, LinkToTarget, Folder };
  struct Case {
    const char* what;
    bool otherFileSystem;
    Before before;
    bool ok;
  } cases[] = {
      {"target beside, older backup", false, OlderFile, true},
      {"target on another file system", true, Nothing, true},
      {"older backup a link to the target", false, LinkToTarget, true},
      {"backup name taken by a folder", false, Folder, false},
  };
  struct stat here {}, there{};
  stat(dir.Path().c_str(), &here);
  if (other) stat(other->Path().c_str(), &there);
  mkdir((dir / "real").c_str(), 0755);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.otherFileSystem && (!other || here.st_dev == there.st_dev)) continue;
    const std::string target = c.otherFileSystem ? *other / "t.msg" : dir / "real/t.msg";
    const std::string link = dir / "m.msg", bak = dir / "m.bak";
    fs::remove_all(bak);
    fs::remove(link);
    WriteFile(target, "original");
    chmod(target.c_str(), 0640);
    symlink(target.c_str(), link.c_str());
    if (c.before == OlderFile) WriteFile(bak, "older");
    if (c.before == LinkToTarget) symlink(target.c_str(), bak.c_str());
    if (c.before == Folder) fs::create_directories(bak + "/inside");
    if (!c.ok) {
      try {
        MakeBackup(link, bak);
        ADD_FAILURE() << "no error";
      } catch (const EInOutError& e) {
        EXPECT_NE(e.Message().find(bak), std::string::npos) << e.Message();
      }
      EXPECT_TRUE(fs::is_directory(bak + "/inside"));
      EXPECT_EQ(ReadFile(target), "original");
      EXPECT_EQ(Names(dir), (std::vector<std::string>{"m.bak", "m.msg", "real"}));
      continue;
    }
    ASSERT_NO_THROW(MakeBackup(link, bak));
    ReplaceFileContent(link, "corrected");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "corrected");
    EXPECT_FALSE(fs::is_symlink(bak));
    EXPECT_EQ(ReadFile(bak), "original");
    EXPECT_EQ(ModeOf(bak), 0640u);
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"m.bak", "m.msg", "real"}));
  }
}

// The seam the fuzz targets run on: everything the file layer reads and
// writes stays in memory, and the disk is untouched.
TEST(SafeFile, MemoryFilesStandInForTheDisk) {
  TempDir dir;
  const std::string a = dir / "a", ini = dir / "x.ini";
  TMemoryFiles memory;
  TMemoryFiles* before = SetMemoryFiles(&memory);
  ReplaceFileContent(a, "one");
  std::string data;
  EXPECT_EQ(ReadWholeFile(a, data), 0);
  EXPECT_EQ(data, "one");
  struct stat st {};
  EXPECT_TRUE(RegularFileStatus(a, st));
  EXPECT_EQ(st.st_size, 3);
  EXPECT_TRUE(FileExists(a));
  EXPECT_EQ(ReadWholeFile(dir / "missing", data), ENOENT);
  EXPECT_FALSE(FileExists(dir / "missing"));
  {
    Fault fault([](const std::string&) { return EIO; });
    EXPECT_THROW(ReadFileIfExists(a, data), EInOutError);
  }
  {
    TReplacementFile file(a);
    file.Write("two");
    EXPECT_FALSE(file.CommitIfAbsent());
  }
  {
    TReplacementFile file(dir / "b");
    file.Write("new");
    EXPECT_FALSE(file.CommitAsNew(a));
    EXPECT_TRUE(file.CommitAsNew(dir / "c"));
  }
  MakeBackup(a, dir / "a.bak");
  const std::string unique = CreateUniqueFile(dir.Path(), "VQ-", ".tmp");
  {
    TIniFile writer(ini);
    writer.WriteString("S", "K", "v");
    writer.UpdateFile();
  }
  EXPECT_EQ(TIniFile(ini).ReadString("S", "K", ""), "v");
  EXPECT_EQ(memory.files, (decltype(memory.files){{a, "one"},
                                                  {dir / "a.bak", "one"},
                                                  {dir / "c", "new"},
                                                  {ini, "[S]\r\nK=v\r\n"},
                                                  {unique, ""}}));
  // No file, temporary or lock file reached the disk.
  EXPECT_EQ(Names(dir), std::vector<std::string>{});
  SetMemoryFiles(before);
  EXPECT_FALSE(FileExists(a));
}

// Where users other than the current one may write, their files and links do
// not steer ours; root's and our own do, and elsewhere anyone's.
TEST(SafeFile, OtherUsersFilesAndLinksCountOnlyWhereNobodyElseMayWrite) {
  if (geteuid() != 0) GTEST_SKIP() << "files of another user need root";
  constexpr uid_t kOther = 65534, kOurs = 0;
  TempDir dir;
  const std::string secret = dir / "secret";  // ours, in a folder only we may write
  WriteFile(secret, "secret");
  mkdir((dir / "theirs").c_str(), 0700);
  WriteFile(dir / "theirs/file", "planted");
  chown((dir / "theirs/file").c_str(), kOther, kOther);
  struct Case {
    const char* what;
    mode_t folderMode;
    uid_t folderOwner;
    bool link;        // a link to Target, else a regular file
    uid_t owner;      // of the file or the link
    std::string target;
    bool refused;
  } cases[] = {
      {"their file, sticky folder for all", 01777, kOurs, false, kOther, {}, true},
      {"their file, group folder", 0770, kOurs, false, kOther, {}, true},
      {"their file, their folder", 0755, kOther, false, kOther, {}, true},
      {"their file, our folder", 0755, kOurs, false, kOther, {}, false},
      {"our file, sticky folder for all", 01777, kOurs, false, kOurs, {}, false},
      {"our file, their folder", 0755, kOther, false, kOurs, {}, false},
      {"their link, folder for all", 0777, kOurs, true, kOther, secret, true},
      {"their link, group folder", 0775, kOurs, true, kOther, secret, true},
      {"their link, our folder", 0755, kOurs, true, kOther, secret, false},
      {"our link, sticky folder for all", 01777, kOurs, true, kOurs, secret, false},
      {"our link to their file", 0755, kOurs, true, kOurs, dir / "theirs/file", false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = dir / ("case" + std::to_string(n++));
    mkdir(folder.c_str(), 0700);
    chown(folder.c_str(), c.folderOwner, c.folderOwner);
    chmod(folder.c_str(), c.folderMode);
    const std::string path = folder + "/Tidelarn.ini";
    if (c.link) {
      ASSERT_EQ(symlink(c.target.c_str(), path.c_str()), 0);
      ASSERT_EQ(lchown(path.c_str(), c.owner, c.owner), 0);
    } else {
      WriteFile(path, "[A]\r\n");
      ASSERT_EQ(chown(path.c_str(), c.owner, c.owner), 0);
    }
    EXPECT_EQ(OthersMayWrite(folder), c.folderMode != 0755 || c.folderOwner != kOurs);
    std::string read;
    if (!c.refused) {
      EXPECT_NO_THROW(CheckTrustedFile(path));
      EXPECT_EQ(ReadTrustedFile(path, read), 0);
      EXPECT_EQ(read, c.link ? ReadFile(c.target) : "[A]\r\n");
      EXPECT_TRUE(CopyRegularFile(path, folder + ".copy", true));
      if (c.link) {
        EXPECT_EQ(ResolveLinks(path), c.target);
      }
      continue;
    }
    for (const auto& check : std::vector<std::function<void()>>{
             [&] { CheckTrustedFile(path); }, [&] { ReadTrustedFile(path, read); }}) {
      try {
        check();
        ADD_FAILURE() << "not refused";
      } catch (const EUntrustedFile& e) {
        EXPECT_NE(e.Message().find(path), std::string::npos) << e.Message();
      }
    }
    EXPECT_EQ(read, "");
    // Nor is it copied (a copy a script asks for fails without a word).
    EXPECT_FALSE(CopyRegularFile(path, folder + ".copy", true));
    EXPECT_FALSE(fs::exists(folder + ".copy"));
    if (c.link) {
      // Nor does a write follow it.
      EXPECT_THROW(ReplaceFileContent(path, "new"), EInOutError);
      EXPECT_EQ(ReadFile(secret), "secret");
    }
  }
  // Their file behind our link counts once its own folder is open to others.
  chmod((dir / "theirs").c_str(), 0777);
  symlink((dir / "theirs/file").c_str(), (dir / "ours.link").c_str());
  EXPECT_THROW(CheckTrustedFile(dir / "ours.link"), EInOutError);
  std::string read;
  EXPECT_THROW(ReadTrustedFile(dir / "ours.link", read), EUntrustedFile);
  EXPECT_NO_THROW(CheckTrustedFile(dir / "missing"));
  EXPECT_EQ(ReadTrustedFile(dir / "missing", read), ENOENT);
  // Their fifo is refused as theirs, before anything could wait for it.
  mkfifo((dir / "theirs/fifo").c_str(), 0600);
  chown((dir / "theirs/fifo").c_str(), kOther, kOther);
  EXPECT_THROW(ReadTrustedFile(dir / "theirs/fifo", read), EUntrustedFile);
}

// What was checked is what is read: a file swapped in after the check, by
// another user in a folder open to them, is not what the reader gets.
TEST(SafeFile, TrustedReadReadsWhatItChecked) {
  if (geteuid() != 0) GTEST_SKIP() << "files of another user need root";
  constexpr uid_t kOther = 65534;
  TempDir dir;
  chmod(dir.Path().c_str(), 0770);
  const std::string ours = dir / "sig.txt", secret = dir / "secret";
  WriteFile(ours, "ours");
  WriteFile(secret, "secret");
  const std::string planted = dir / "planted";
  symlink(secret.c_str(), planted.c_str());
  lchown(planted.c_str(), kOther, kOther);
  // Their link takes the name once the file was opened and checked.
  bool swapped = false;
  SetReadFault([&](const std::string&) {
    if (!swapped) swapped = rename(planted.c_str(), ours.c_str()) == 0;
    return 0;
  });
  std::string read;
  EXPECT_EQ(ReadTrustedFile(ours, read), 0);
  SetReadFault(nullptr);
  EXPECT_TRUE(swapped);
  EXPECT_EQ(read, "ours");
  // Read again, the name is their link now.
  EXPECT_THROW(ReadTrustedFile(ours, read), EUntrustedFile);
}

// A chain the kernel would not follow to its end, or a path it would not
// take, is refused: what lies behind it was never checked.
TEST(SafeFile, LinksThatCannotBeFollowedAreRefused) {
  TempDir dir;
  WriteFile(dir / "end", "end");
  // link0 -> link1 -> ... -> linkN -> end
  auto chain = [&](int links) {
    for (int i = links - 1; i >= 0; --i) {
      const std::string link = dir / ("c" + std::to_string(links) + "-" + std::to_string(i));
      const std::string next =
          i + 1 == links ? dir / "end" : dir / ("c" + std::to_string(links) + "-" + std::to_string(i + 1));
      symlink(next.c_str(), link.c_str());
    }
    return dir / ("c" + std::to_string(links) + "-0");
  };
  EXPECT_EQ(ResolveLinks(chain(40)), dir / "end");
  const std::string tooMany = chain(41);
  try {
    ResolveLinks(tooMany);
    ADD_FAILURE() << "a chain of 41 links was followed";
  } catch (const EUntrustedFile& e) {
    EXPECT_NE(e.Message().find(tooMany), std::string::npos) << e.Message();
  }
  std::string read;
  EXPECT_THROW(ReadTrustedFile(tooMany, read), EUntrustedFile);
  // A path too long, as asked for or once a link on the way is put in.
  EXPECT_THROW(ResolveLinks(dir.Path() + std::string(PATH_MAX, '/') + "end"), EUntrustedFile);
  const std::string longTarget = dir.Path() + std::string(PATH_MAX - 200, '/') + "sub";
  ASSERT_EQ(symlink(longTarget.c_str(), (dir / "long").c_str()), 0);
  EXPECT_THROW(ResolveLinks(dir / "long" + "/" + std::string(300, 'x')), EUntrustedFile);
}
