// Saving through the built runner: what the backup holds, what a failure
// keeps, which temporary files the cleanup takes, and the failures a run
// survives but tells of.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kMessage = "Subject: test\r\n\r\nbody\r\n";

class SaveRun : public ::testing::Test {
protected:
  TempDir dir, home;
  std::string exe;
  const std::string out = dir / "out";

  void SetUp() override {
    exe = InstallOnlyVQ(dir.Path());
    fs::create_directories(out);
    WriteFile(dir / "header.def", "Sub main\r\n  X-Corrected: yes\r\n  %Exitcode% = 3\r\nEnd Sub\r\n");
  }
  void Profile(const std::string& keys) {
    WriteFile(dir / "Tidelarn.ini", "[news]\r\nFilePath=" + dir.Path() + "/\r\nMessagePath=" + out +
                                         "/\r\nHeader.def=header.def\r\nSetLines=0\r\n" + keys);
  }
  std::vector<std::string> Env() const {
    return {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home.Path()};
  }
  ProcessResult Run(const std::vector<std::string>& args) {
    return RunProcess(exe, args, Env(), dir.Path());
  }
  ProcessResult RunOne(const std::string& file) { return Run({"Type:news", "Filename:" + file}); }
  std::vector<std::string> Names(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  static bool Corrected(const std::string& text) {
    return text.find("\r\nX-Corrected: yes\r\n") != std::string::npos;
  }
  // The runner under strace, which fails the system calls Calls (a comma
  // list, then strace's own ":when=" if any) with EIO; only those naming Path
  // when Path is given.
  ProcessResult RunInjected(const std::vector<std::string>& args, const std::string& calls,
                            const std::string& path = {}) {
    const std::string set = calls.substr(0, calls.find(':'));
    std::vector<std::string> options = {"-o", "/dev/null"};
    if (!path.empty()) options.insert(options.end(), {"-P", path});
    options.insert(options.end(), {"-e", "trace=" + set, "-e",
                                   "inject=" + set + ":error=EIO" + calls.substr(set.size())});
    ProcessResult r = RunTraced(options, exe, args, Env(), dir.Path());
    // strace's own notes (it names the traced path) are not the runner's.
    std::string err;
    for (size_t at = 0; at < r.err.size();) {
      size_t end = r.err.find('\n', at);
      end = end == std::string::npos ? r.err.size() : end + 1;
      if (r.err.compare(at, 16, "/usr/bin/strace:") != 0) err.append(r.err, at, end - at);
      at = end;
    }
    r.err = err;
    return r;
  }
};

const std::string kCorrected = "Subject: test\r\nX-Corrected: yes\r\n\r\nbody\r\n";

}  // namespace

// A symlinked message: the link stays a link, its target gets the corrected
// text, and the backup is a regular file with the original bytes, whether the
// target is on the same file system (a second name) or not (a copy), and also
// where an earlier run left a link as the backup.
TEST_F(SaveRun, ASymlinkedMessageKeepsItsOriginalInTheBackup) {
  std::optional<TempDir> shm;
  if (fs::is_directory("/dev/shm")) shm.emplace("/dev/shm");
  struct Case {
    const char* what;
    bool otherFileSystem, oldLinkAsBackup, sweep;
  } cases[] = {
      {"target in another folder", false, false, false},
      {"target on another file system", true, false, false},
      {"an old backup that is a link", false, true, false},
      {"in a sweep", false, false, true},
      {"in a sweep, target on another file system", true, false, true},
  };
  Profile("MakeBak=1\r\n");
  fs::create_directories(dir / "else");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.otherFileSystem && !shm) continue;
    const std::string target = c.otherFileSystem ? *shm / "t.msg" : dir / "else/t.msg";
    const std::string link = out + "/m.msg", bak = out + "/m.bak";
    fs::remove(link);
    fs::remove(bak);
    WriteFile(target, kMessage);
    fs::create_symlink(c.otherFileSystem ? target : "../else/t.msg", link);
    if (c.oldLinkAsBackup) fs::create_symlink(target, bak);
    ProcessResult r = c.sweep ? Run({"news"}) : RunOne(link);
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(Corrected(ReadFile(target))) << ReadFile(target);
    EXPECT_FALSE(fs::is_symlink(bak));
    EXPECT_EQ(ReadFile(bak), kMessage);
    EXPECT_EQ(Names(out), (std::vector<std::string>{"m.bak", "m.msg"}));
  }
}

// A backup that cannot be made (a folder holds its name): that message and
// the folder stay as they are, and the run ends with exit code 1 and an error
// naming it; a sweep saves its other messages with their backups.
TEST_F(SaveRun, ABackupThatCannotBeMadeEndsTheRun) {
  Profile("MakeBak=1\r\n");
  for (bool sweep : {false, true}) {
    SCOPED_TRACE(sweep ? "sweep" : "one file");
    fs::remove_all(out);
    fs::create_directories(out + "/b.bak/inside");
    for (const char* n : {"a", "b", "c"}) WriteFile(out + "/" + n + ".msg", kMessage);
    ProcessResult r = sweep ? Run({"news"}) : RunOne(out + "/b.msg");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("Anwendungsfehler"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(out + "/b.bak"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(out + "/b.msg"), kMessage);
    EXPECT_TRUE(fs::is_directory(out + "/b.bak/inside"));
    for (const char* n : {"a", "c"}) {
      EXPECT_EQ(Corrected(ReadFile(out + "/" + n + ".msg")), sweep) << n;
      if (sweep) {
        EXPECT_EQ(ReadFile(out + "/" + n + ".bak"), kMessage) << n;
      }
    }
    EXPECT_EQ(Names(out).size(), sweep ? 6u : 4u);
  }
}

// Another user's message is backed up by a copy: a second name of their file
// would be theirs, and one a failed rename left in a sticky folder could not
// be removed again.
TEST_F(SaveRun, AnotherUsersMessageIsBackedUpByACopy) {
  if (geteuid() != 0) GTEST_SKIP() << "files of another user need root";
  Profile("MakeBak=1\r\n");
  const std::string msg = out + "/o.msg";
  WriteFile(msg, kMessage);
  chown(msg.c_str(), 65534, 65534);
  struct stat before {}, bak {};
  ASSERT_EQ(stat(msg.c_str(), &before), 0);
  ProcessResult r = RunOne(msg);
  EXPECT_EQ(r.exitCode, 3) << r.err;
  ASSERT_EQ(stat((out + "/o.bak").c_str(), &bak), 0);
  EXPECT_NE(bak.st_ino, before.st_ino);
  EXPECT_EQ(ReadFile(out + "/o.bak"), kMessage);
  EXPECT_EQ(Names(out), (std::vector<std::string>{"o.bak", "o.msg"}));
}

// The runner's cleanup in a message folder takes only stale temporary files
// of its own marker that belong to the running user.
TEST_F(SaveRun, TheCleanupTakesOnlyItsOwnTemporaryFiles) {
  Profile("MakeBak=0\r\n");
  struct File {
    const char* name;
    bool stays;
    uid_t owner = geteuid();
  } files[] = {
      {".x.msg.tidelarn-Ab12Cd", false},
      {".notes.txt.~backup", true},
      {".y.msg.~Ab12Cd", true},
      {".z.msg.tidelarn-Ab12Ce", true, 65534},  // another user's
  };
  for (const File& f : files) {
    if (f.owner != geteuid() && geteuid() != 0) continue;
    const std::string path = out + "/" + f.name;
    WriteFile(path, "kept?");
    if (f.owner != geteuid()) {
      ASSERT_EQ(chown(path.c_str(), f.owner, f.owner), 0);
    }
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(2));
  }
  WriteFile(out + "/x.msg", kMessage);
  ProcessResult r = RunOne(out + "/x.msg");
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_TRUE(Corrected(ReadFile(out + "/x.msg")));
  for (const File& f : files) {
    if (f.owner == geteuid() || geteuid() == 0) {
      EXPECT_EQ(fs::exists(out + "/" + f.name), f.stays) << f.name;
    }
  }
}

// A report that cannot be written (its settings folder is full) is said on
// stderr; the run goes on, the message in its own folder is corrected, and no
// empty report file stays.
TEST_F(SaveRun, AReportThatCannotBeWrittenDoesNotEndTheRun) {
  TempDir settings;
  if (mount("tmpfs", settings.Path().c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{settings.Path()};
  // A profile with few keys: the load writes the others back, which fails.
  WriteFile(settings / "Tidelarn.ini", "[news]\r\nFilePath=" + dir.Path() +
                                           "/\r\nHeader.def=header.def\r\nSetLines=0\r\n");
  {
    std::FILE* fill = std::fopen((settings / "fill").c_str(), "wb");
    ASSERT_NE(fill, nullptr);
    const std::string block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), fill) == block.size() && std::fflush(fill) == 0) {
    }
    std::fclose(fill);
  }
  WriteFile(out + "/x.msg", kMessage);
  std::vector<std::string> env = Env();
  env.push_back("TIDELARN_HOME=" + settings.Path());
  ProcessResult r = RunProcess(exe, {"Type:news", "Filename:" + out + "/x.msg"}, env, dir.Path());
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_NE(r.err.find("Fehlerbericht"), std::string::npos) << r.err;
  EXPECT_TRUE(Corrected(ReadFile(out + "/x.msg")));
  EXPECT_EQ(Names(settings.Path()),
            (std::vector<std::string>{".tidelarn-ini.lock", "Tidelarn.ini", "fill"}));
}

// Failures that lose nothing are said on stderr and the run's result stays:
// an old backup that cannot be deleted, a folder that cannot be synced. A new
// file that cannot get its mode ends the run before the message is replaced.
TEST_F(SaveRun, FailuresAroundTheSaveAreToldOrEndTheRun) {
  struct Case {
    const char* what;
    std::string inject;  // a system call strace fails with EIO
    bool oldBackupFolder;
    int exitCode;
    std::string said;  // on stderr
  } cases[] = {
      {"old backup a folder", "", true, 3, out + "/x.bak"},
      {"folder sync", "fsync", false, 3, out + "/"},
      {"mode of the new file", "fchmod", false, 1, out + "/x.msg"},
  };
  Profile("MakeBak=0\r\n");
  // Once, so that the profile is complete and the runs below write no settings.
  WriteFile(out + "/x.msg", kMessage);
  ASSERT_EQ(RunOne(out + "/x.msg").exitCode, 3);
  bool untraced = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.inject.empty() && !StraceWorks()) {
      untraced = true;
      continue;
    }
    fs::remove_all(out);
    fs::create_directories(out);
    if (c.oldBackupFolder) fs::create_directories(out + "/x.bak/inside");
    WriteFile(out + "/x.msg", kMessage);
    std::vector<std::string> args = {"Type:news", "Filename:" + out + "/x.msg"};
    ProcessResult r = c.inject.empty() ? Run(args) : RunInjected(args, c.inject);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(Corrected(ReadFile(out + "/x.msg")), c.exitCode != 1);
    EXPECT_EQ(Names(out).size(), c.oldBackupFolder ? 2u : 1u);
  }
  if (untraced) GTEST_SKIP() << "strace cannot inject failures here: those cases did not run";
}

// No link costs the original. A message that is a link to its own backup
// (relative, absolute or through a chain) is not saved: the error names both
// files and the run ends with 1; a sweep names it and goes on. A test run
// never changes the message's file: a link at the test file's name is
// replaced, and a test file that is the message's own file is refused.
TEST_F(SaveRun, NoLinkCostsTheOriginal) {
  struct Entry {
    std::string name;
    std::string bytes;  // empty: a link that stays a link
  };
  struct Row {
    const char* what;
    const char* keys;
    std::vector<std::pair<std::string, std::string>> links;  // in the folder: name, target
    std::vector<std::string> files;                         // regular messages planted
    const char* single;  // the file handed to the runner; null: the profile's sweep
    int exitCode;
    std::vector<std::string> named;  // on stderr
    std::vector<Entry> after;        // the folder's entries afterwards
  };
  const std::string chain = dir / "chain";
  fs::create_directories(chain);
  fs::create_symlink(out + "/a.bak", chain + "/x");
  const Row rows[] = {
      {"a link to its own backup", "MakeBak=1\r\n", {{"a.msg", "a.bak"}}, {"a.bak"}, "a.msg", 1,
       {"a.msg", "a.bak"}, {{"a.bak", kMessage}, {"a.msg", ""}}},
      {"an absolute link to its own backup, no backup asked for", "MakeBak=0\r\n",
       {{"a.msg", out + "/a.bak"}}, {"a.bak"}, "a.msg", 1, {"a.msg", "a.bak"},
       {{"a.bak", kMessage}, {"a.msg", ""}}},
      {"a chain of links to its own backup", "MakeBak=1\r\n", {{"a.msg", "../chain/x"}},
       {"a.bak"}, "a.msg", 1, {"a.msg", "a.bak"}, {{"a.bak", kMessage}, {"a.msg", ""}}},
      {"a sweep past a link to its own backup", "MakeBak=1\r\n", {{"a.msg", "a.bak"}},
       {"a.bak", "c.msg"}, nullptr, 1, {"a.msg", "a.bak"},
       {{"a.bak", kMessage}, {"a.msg", ""}, {"c.bak", kMessage}, {"c.msg", kCorrected}}},
      {"a test run with a link at the test file's name", "DontChangeRenameToExtension=tst\r\n",
       {{"a.tst", "a.msg"}}, {"a.msg"}, "a.msg", 3, {},
       {{"a.msg", kMessage}, {"a.tst", kCorrected}}},
      {"a test run on a message that is a link to its test file",
       "DontChangeRenameToExtension=tst\r\n", {{"b.msg", "b.tst"}}, {"b.tst"}, "b.msg", 1,
       {"b.tst", "b.msg"}, {{"b.msg", ""}, {"b.tst", kMessage}}},
      {"a test run's sweep past both", "DontChangeRenameToExtension=tst\r\n",
       {{"a.tst", "a.msg"}, {"b.msg", "b.tst"}}, {"a.msg", "b.tst", "c.msg"}, nullptr, 1,
       {"b.tst", "b.msg"},
       {{"a.msg", kMessage}, {"a.tst", kCorrected}, {"b.msg", ""}, {"b.tst", kMessage},
        {"c.msg", kMessage}, {"c.tst", kCorrected}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Profile(row.keys);
    fs::remove_all(out);
    fs::create_directories(out);
    for (const std::string& f : row.files) WriteFile(out + "/" + f, kMessage);
    for (const auto& [name, target] : row.links) fs::create_symlink(target, out + "/" + name);
    ProcessResult r = row.single ? RunOne(out + "/" + row.single) : Run({"news"});
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    for (const std::string& n : row.named) {
      EXPECT_NE(r.err.find(out + "/" + n), std::string::npos) << n << r.err;
    }
    std::vector<std::string> names;
    for (const Entry& e : row.after) {
      names.push_back(e.name);
      const std::string path = out + "/" + e.name;
      EXPECT_EQ(fs::is_symlink(path), e.bytes.empty()) << e.name;
      if (!e.bytes.empty()) {
        EXPECT_EQ(ReadFile(path), e.bytes) << e.name;
      }
    }
    EXPECT_EQ(Names(out), names);
  }
}

// What the sweep cannot look at or save is said, naming the folder or file;
// the other messages and profiles go on and the run ends with 1. A folder
// that cannot be opened or read, a message whose status cannot be read, a
// message name that is a link to nothing, another user's link as a message
// (injected by strace, or planted as root), a test file's name that holds
// what may not be replaced (planted by another user for a run as an ordinary
// user); backups that cannot be made are each named. An empty folder is no
// error, and the registry record's folder sync fails in silence.
TEST_F(SaveRun, TheSweepNamesWhatItPassesOver) {
  const std::string out2 = dir / "out2";
  const std::string registry = home / "Wex-Soft/Tidelarn";
  const std::string foreignTarget = dir / "else/b.msg";
  // The ordinary user who runs the runner in the rows that need one; the
  // planted files are another user's (65534).
  constexpr uid_t kRunner = 4242;
  struct Row {
    const char* what;
    const char* keys;
    std::vector<std::string> messages;  // in out
    std::function<void()> plant;
    std::string calls, path;  // strace fails Calls naming Path with EIO
    bool root;
    int exitCode;
    std::vector<std::string> named;      // on stderr
    std::vector<std::string> corrected;  // of the messages; the others keep their bytes
    bool runGoesOn;                      // the second profile's message is corrected
    std::string unsaid;                  // not on stderr
    std::vector<std::string> written = {};  // test files that get the corrected text
    bool asUser = false;                    // run by kRunner, not root
  } rows[] = {
      {"a folder that cannot be opened", "", {"a.msg", "b.msg"}, {}, "openat", out + "/", false, 1,
       {out + "/"}, {}, true, ""},
      {"a folder that cannot be read", "", {"a.msg", "b.msg"}, {}, "getdents64", out, false, 1,
       {out + "/"}, {}, true, ""},
      {"a message whose status cannot be read", "", {"a.msg", "b.msg", "c.msg"}, {},
       "newfstatat,statx", out + "/b.msg", false, 1, {out + "/b.msg"}, {"a.msg", "c.msg"}, true,
       ""},
      {"another user's link as a message", "", {"a.msg", "c.msg"},
       [&] {
         chmod(out.c_str(), 01777);
         WriteFile(foreignTarget, kMessage);
         fs::create_symlink(foreignTarget, out + "/b.msg");
         lchown((out + "/b.msg").c_str(), 65534, 65534);
       },
       "", "", true, 1, {out + "/b.msg"}, {"a.msg", "c.msg"}, true, ""},
      {"two backups that cannot be made", "MakeBak=1\r\n", {"a.msg", "b.msg", "c.msg"},
       [&] {
         fs::create_directories(out + "/a.bak/inside");
         fs::create_directories(out + "/b.bak/inside");
       },
       "", "", false, 1, {out + "/a.bak", out + "/b.bak"}, {"c.msg"}, false, ""},
      {"a link to its own backup whose status cannot be read at the save", "MakeBak=1\r\n",
       {"a.bak", "c.msg"}, [&] { fs::create_symlink("a.bak", out + "/a.msg"); },
       "newfstatat,statx:when=3+", out + "/a.bak", false, 1, {out + "/a.bak"}, {"c.msg"}, true,
       ""},
      {"our own link to nothing as a message", "", {"a.msg", "c.msg"},
       [&] { fs::create_symlink("gone", out + "/b.msg"); }, "", "", false, 1, {out + "/b.msg"},
       {"a.msg", "c.msg"}, true, ""},
      {"another user's link to nothing as a message, in a sticky folder", "", {"a.msg", "c.msg"},
       [&] {
         chmod(out.c_str(), 01777);
         fs::create_symlink(dir / "else/gone", out + "/b.msg");
         lchown((out + "/b.msg").c_str(), 65534, 65534);
       },
       "", "", true, 1, {out + "/b.msg"}, {"a.msg", "c.msg"}, true, ""},
      {"a folder at a test file's name", "DontChangeRenameToExtension=tst\r\n",
       {"c.msg", "d.msg", "e.msg"}, [&] { fs::create_directories(out + "/c.tst"); }, "", "",
       false, 1, {out + "/c.tst"}, {}, true, "", {"d.tst", "e.tst"}},
      {"another user's file at a test file's name, in a sticky folder",
       "DontChangeRenameToExtension=tst\r\n", {"c.msg", "d.msg", "e.msg"},
       [&] {
         chmod(out.c_str(), 01777);
         WriteFile(out + "/c.tst", kMessage);
         chown((out + "/c.tst").c_str(), 65534, 65534);
       },
       "", "", true, 1, {out + "/c.tst"}, {}, true, "", {"d.tst", "e.tst"}, true},
      {"another user's link at a test file's name, in a sticky folder",
       "DontChangeRenameToExtension=tst\r\n", {"c.msg", "d.msg", "e.msg"},
       [&] {
         chmod(out.c_str(), 01777);
         fs::create_symlink(foreignTarget, out + "/c.tst");
         lchown((out + "/c.tst").c_str(), 65534, 65534);
       },
       "", "", true, 1, {out + "/c.tst"}, {}, true, "", {"d.tst", "e.tst"}, true},
      {"an empty folder", "", {}, {}, "", "", false, 3, {}, {}, true, "kann nicht"},
      {"a registry folder that cannot be synced", "", {"a.msg"},
       [&] { fs::remove(registry + "/registry.ini"); }, "fsync", registry, false, 3, {},
       {"a.msg"}, true, registry},
  };
  fs::create_directories(dir / "else");
  WriteFile(foreignTarget, kMessage);
  // The test's folders are handed to the ordinary user, and back to root for
  // the rows after, which would refuse a profile of another user. The work
  // folder itself stays root's: in a sticky folder of theirs, the ordinary
  // user could replace anyone's file.
  auto owner = [&](uid_t uid) {
    for (const std::string& top : {dir.Path(), home.Path()}) {
      lchown(top.c_str(), uid, uid);
      for (const auto& e : fs::recursive_directory_iterator(top))
        if (e.path() != out) lchown(e.path().c_str(), uid, uid);
    }
  };
  // Only when that user can reach them: a TMPDIR closed to others is no fault.
  auto reachable = [&] {
    if (!fs::exists("/usr/bin/setpriv")) return false;
    for (fs::path p = fs::path(dir.Path()).parent_path(); p != p.root_path(); p = p.parent_path()) {
      struct stat st {};
      if (stat(p.c_str(), &st) != 0 || !(st.st_mode & S_IXOTH)) return false;
    }
    return true;
  };
  bool untraced = false, unreached = false;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.root && geteuid() != 0) continue;
    if (!row.calls.empty() && !StraceWorks()) {
      untraced = true;
      continue;
    }
    if (row.asUser && !reachable()) {
      unreached = true;
      continue;
    }
    Profile(row.keys);
    WriteFile(dir / "Tidelarn.ini", ReadFile(dir / "Tidelarn.ini") + "[other]\r\nFilePath=" +
                                         dir.Path() + "/\r\nMessagePath=" + out2 +
                                         "/\r\nHeader.def=header.def\r\nSetLines=0\r\n");
    for (const std::string& folder : {out, out2}) {
      fs::remove_all(folder);
      fs::create_directories(folder);
    }
    WriteFile(out2 + "/z.msg", kMessage);
    for (const std::string& m : row.messages) WriteFile(out + "/" + m, kMessage);
    if (row.asUser) owner(kRunner);
    if (row.plant) row.plant();
    const std::vector<std::string> args = {"news", "other"};
    ProcessResult r;
    if (row.asUser) {
      const std::string id = std::to_string(kRunner);
      std::vector<std::string> all = {"--reuid=" + id, "--regid=" + id, "--clear-groups", exe};
      all.insert(all.end(), args.begin(), args.end());
      r = RunProcess("/usr/bin/setpriv", all, Env(), dir.Path());
      owner(0);
    } else {
      r = row.calls.empty() ? Run(args) : RunInjected(args, row.calls, row.path);
    }
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    for (const std::string& n : row.named) {
      EXPECT_NE(r.err.find(n), std::string::npos) << n << r.err;
    }
    if (!row.unsaid.empty()) {
      EXPECT_EQ(r.err.find(row.unsaid), std::string::npos) << r.err;
    }
    for (const std::string& m : row.messages) {
      const bool corrected =
          std::find(row.corrected.begin(), row.corrected.end(), m) != row.corrected.end();
      EXPECT_EQ(ReadFile(out + "/" + m), corrected ? kCorrected : kMessage) << m;
    }
    // No other file of the folder got the corrected text.
    std::vector<std::string> holding, expected = row.corrected;
    expected.insert(expected.end(), row.written.begin(), row.written.end());
    std::sort(expected.begin(), expected.end());
    for (const std::string& n : Names(out)) {
      const std::string path = out + "/" + n;
      if (fs::is_regular_file(fs::symlink_status(path)) && ReadFile(path) == kCorrected)
        holding.push_back(n);
    }
    EXPECT_EQ(holding, expected);
    EXPECT_EQ(ReadFile(out2 + "/z.msg"), row.runGoesOn ? kCorrected : kMessage);
    if (row.root) {
      EXPECT_EQ(ReadFile(foreignTarget), kMessage);
    }
  }
  if (untraced) GTEST_SKIP() << "strace cannot inject failures here: those cases did not run";
  if (unreached) GTEST_SKIP() << "TMPDIR is closed to other users: the ordinary user's cases did not run";
}
