#include "IniFile.h"
#include "ProgramDir.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SafeFile.h"
#include "SysUtils.h"

#include <filesystem>
#include <functional>
#include <optional>
#include "TestSupport.h"

TEST(IniFile, NamesMatchCaseInsensitivelyAndTheFirstOccurrenceWins) {
  TempDir dir;
  WriteFile(dir / "a.ini",
            "; comment\r\n[News]\r\nMakeBak = 1 \r\nmakebak=0\r\nQuoted=\"  x  \"\r\nEmpty=\r\n"
            "[news]\r\nOther=2\r\n");
  TIniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadString("NEWS", "MAKEBAK", "d"), "1");
  EXPECT_EQ(ini.ReadString("news", "Quoted", "d"), "  x  ");
  EXPECT_EQ(ini.ReadString("news", "Empty", "d"), "");
  EXPECT_TRUE(ini.ValueExists("news", "Empty"));
  std::string value = "kept";
  EXPECT_FALSE(ini.ReadIfExists("news", "Other", value));
  EXPECT_EQ(value, "kept");
  EXPECT_TRUE(ini.ReadIfExists("NEWS", "quoted", value));
  EXPECT_EQ(value, "  x  ");
  EXPECT_EQ(ini.ReadString("news", "Missing", "d"), "d");
  EXPECT_EQ(ini.ReadString("news", "Other", "d"), "d");  // second [news] does not count
  EXPECT_EQ(ini.ReadSections().size(), 1u);
  EXPECT_EQ(ini.ReadString("News", "; comment", "d"), "d");
}

TEST(IniFile, WritesKeepOtherLinesAndStoredSpellings) {
  TempDir dir;
  WriteFile(dir / "a.ini", "[A]\r\nKeyOne=1\r\n; note\r\n\r\n[B]\r\nx=y\r\n");
  {
    TIniFile ini(dir / "a.ini");
    ini.WriteString("a", "KEYONE", "2");
    ini.WriteString("a", "New", "v");
    ini.WriteString("C", "k", "line1\r\nline2");
    ini.UpdateFile();
  }
  EXPECT_EQ(ReadFile(dir / "a.ini"),
            "[A]\r\nKeyOne=2\r\nNew=v\r\n; note\r\n\r\n[B]\r\nx=y\r\n[C]\r\nk=line1\r\n");
}

TEST(IniFile, WritingTheStoredValuesLeavesTheFileAlone) {
  TempDir dir;
  WriteFile(dir / "a.ini", "[A]\r\nk=1\r\n");
  struct stat before {};
  ASSERT_EQ(stat((dir / "a.ini").c_str(), &before), 0);
  {
    TIniFile ini(dir / "a.ini");
    ini.WriteString("A", "k", "1");
    ini.UpdateFile();
    EXPECT_FALSE(ini.HasPendingWrites());
  }
  struct stat after {};
  ASSERT_EQ(stat((dir / "a.ini").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);  // not replaced
  {
    TIniFile ini(dir / "a.ini");
    ini.WriteString("A", "k", "2");
  }
  EXPECT_EQ(ReadFile(dir / "a.ini"), "[A]\r\nk=2\r\n");
}

TEST(IniFile, RefusesSectionNamesThatWouldBreakTheFile) {
  TempDir dir;
  TIniFile ini(dir / "a.ini");
  EXPECT_THROW(ini.WriteString("a]b", "k", "v"), Exception);
  EXPECT_THROW(ini.WriteString("a\nb", "k", "v"), Exception);
  EXPECT_FALSE(ini.HasPendingWrites());
  ini.UpdateFile();
  EXPECT_FALSE(FileExists(dir / "a.ini"));
}

TEST(IniFile, ConcurrentWritersLoseNothing) {
  TempDir dir;
  std::string file = dir / "Tidelarn.ini";
  constexpr int kWriters = 6, kKeys = 30;
  std::vector<pid_t> kids;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    if (pid == 0) {
      for (int k = 0; k < kKeys; ++k) {
        TIniFile ini(file);
        ini.WriteString("P" + std::to_string(w), "K" + std::to_string(k), std::to_string(k));
        ini.UpdateFile();
      }
      _exit(0);
    }
    kids.push_back(pid);
  }
  for (pid_t p : kids) {
    int st;
    waitpid(p, &st, 0);
    ASSERT_EQ(WEXITSTATUS(st), 0);
  }
  TIniFile ini(file);
  for (int w = 0; w < kWriters; ++w)
    for (int k = 0; k < kKeys; ++k)
      EXPECT_EQ(ini.ReadString("P" + std::to_string(w), "K" + std::to_string(k), "-"),
                std::to_string(k));
}

// A default written back for a key the first read did not find (a section
// being created) never replaces what the file holds when the writes land.
TEST(IniFile, DefaultsWrittenBackNeverReplaceStoredValues) {
  TempDir dir;
  const std::string file = dir / "Tidelarn.ini";
  WriteFile(file, "[Other]\r\nx=1\r\n");
  TIniFile loader(file);
  for (const char* key : {"MessagePath", "MakeBak", "New"})
    loader.WriteDefault("News", key, key == std::string("New") ? "d" : "");
  // Another writer stores the section meanwhile.
  WriteFile(file, "[Other]\r\nx=1\r\n[News]\r\nMessagePath=/srv/news/\r\nmakebak=1\r\n");
  loader.UpdateFile();
  EXPECT_EQ(ReadFile(file),
            "[Other]\r\nx=1\r\n[News]\r\nMessagePath=/srv/news/\r\nmakebak=1\r\nNew=d\r\n");
  TIniFile again(file);
  again.WriteDefault("news", "MAKEBAK", "0");
  EXPECT_FALSE(again.HasPendingWrites());
  EXPECT_EQ(again.ReadString("News", "MakeBak", "-"), "1");
}

TEST(IniFile, LookupsFollowTheLinesAsTheyAreNow) {
  TempDir dir;
  WriteFile(dir / "a.ini",
            "k=outside\r\n[A]\r\n no equals \r\n;k=comment\r\nk = 1\r\nK=2\r\n[ b ]\r\nx=y\r\n"
            "[a]\r\nlate=3\r\n[B]\r\nx=z\r\n");
  TIniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadString("a", "k", "d"), "1");
  EXPECT_EQ(ini.ReadString("B", "X", "d"), "y");
  EXPECT_FALSE(ini.ValueExists("A", "late"));
  EXPECT_FALSE(ini.ValueExists("A", "no equals"));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"A", "b"}));
  EXPECT_EQ(ini.ReadSection("A"), (std::vector<std::string>{"k"}));
  EXPECT_TRUE(ini.SectionHasKeys("a"));
  EXPECT_FALSE(ini.SectionHasKeys("C"));
  {
    WriteFile(dir / "b.ini", "[E]\r\n;x=1\r\nno key\r\n[F]\r\n[e]\r\nx=1\r\n");
    TIniFile keyless(dir / "b.ini");
    EXPECT_FALSE(keyless.SectionHasKeys("E"));  // the second [e] does not count
    EXPECT_FALSE(keyless.SectionHasKeys("F"));
    EXPECT_TRUE(keyless.ReadSection("E").empty());
  }

  // Every change is seen by the next read.
  ini.WriteString("A", "New", "n");
  ini.DeleteKey("a", "K");
  EXPECT_EQ(ini.ReadString("A", "new", "d"), "n");
  EXPECT_EQ(ini.ReadString("A", "k", "d"), "2");  // the line that was shadowed
  ini.EraseSection("b");
  EXPECT_FALSE(ini.SectionExists("B"));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"A"}));
  EXPECT_EQ(ini.ReadString("A", "late", "d"), "d");  // [a] is still the second one
  ini.EraseSection("A");
  EXPECT_FALSE(ini.SectionExists("A"));
  ini.WriteString("C", "c", "1");
  EXPECT_EQ(ini.ReadSectionValues("c"), (std::vector<std::pair<std::string, std::string>>{{"c", "1"}}));

  // A flush reads the file again: what another writer added shows up.
  {
    TIniFile other(dir / "a.ini");
    other.WriteString("D", "d", "4");
  }
  ini.UpdateFile();
  EXPECT_EQ(ini.ReadString("D", "d", "-"), "4");
  EXPECT_EQ(ini.ReadString("C", "c", "-"), "1");
  EXPECT_EQ(ReadFile(dir / "a.ini"), "k=outside\r\n[D]\r\nd=4\r\n[C]\r\nc=1\r\n");

  // Writing back what the file holds now changes nothing, even right after a flush.
  struct stat before {};
  ASSERT_EQ(stat((dir / "a.ini").c_str(), &before), 0);
  ini.WriteString("d", "D", "4");
  ini.UpdateFile();
  struct stat after {};
  ASSERT_EQ(stat((dir / "a.ini").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(ReadFile(dir / "a.ini"), "k=outside\r\n[D]\r\nd=4\r\n[C]\r\nc=1\r\n");
}

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

}  // namespace

TEST(IniFile, OnlyAMissingFileIsEmptyAndNothingIsWrittenOverAnUnreadOne) {
  TempDir dir;
  const std::string file = dir / "Tidelarn.ini", text = "[A]\r\nk=1\r\n[B]\r\nk=2\r\n";
  const auto eio = [](const std::string&) { return EIO; };
  struct Case {
    const char* what;
    bool folder;
    mode_t mode;
    bool atLoad;  // the failure shows at the load, else at the update's second read
    std::function<int(const std::string&)> fault;
  } cases[] = {
      {"a folder in its place", true, 0, true, nullptr},
      {"a read error", false, 0600, true, eio},
      {"a read error at the update", false, 0600, false, eio},
      {"no read permission", false, 0200, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!(c.mode & 0400) && geteuid() == 0) continue;  // root reads it anyway
    if (c.folder) {
      mkdir(file.c_str(), 0755);
    } else {
      WriteFile(file, text);
      chmod(file.c_str(), c.mode);
    }
    try {
      std::optional<TIniFile> ini;
      if (!c.atLoad) ini.emplace(file);
      SetReadFault(c.fault);
      if (c.atLoad) ini.emplace(file);
      ini->WriteString("A", "k", "new");
      ini->UpdateFile();
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_NE(e.Message().find(file), std::string::npos) << e.Message();
    }
    SetReadFault(nullptr);
    if (c.folder) {
      EXPECT_TRUE(std::filesystem::is_directory(file));
      rmdir(file.c_str());
    } else {
      EXPECT_EQ(ModeOf(file), c.mode);
      chmod(file.c_str(), 0600);
      EXPECT_EQ(ReadFile(file), text);
    }
  }
  TIniFile missing(dir / "missing.ini");
  EXPECT_FALSE(missing.SectionExists("A"));
}

TEST(IniFile, TheLockIsAFileOfItsOwnAndAHeldOneIsAnError) {
  TempDir dir;
  const std::string file = dir / "a.ini";
  WriteFile(file, "[A]\r\nk=1\r\n");
  // A lock on the folder (anyone's, in a shared one) stalls nobody.
  int folder = open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(folder, LOCK_EX), 0);
  {
    TIniFile ini(file);
    ini.WriteString("A", "k", "2");
    ini.UpdateFile();
  }
  close(folder);
  EXPECT_EQ(ReadFile(file), "[A]\r\nk=2\r\n");

  // The writers' own lock, held elsewhere, makes the update fail and change nothing.
  int lock = open((dir / ".tidelarn-ini.lock").c_str(), O_RDONLY);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  TIniFile::SetLockWait(std::chrono::milliseconds(50));
  TIniFile ini(file);
  ini.WriteString("A", "k", "3");
  EXPECT_THROW(ini.UpdateFile(), EInOutError);
  EXPECT_EQ(ReadFile(file), "[A]\r\nk=2\r\n");
  // A report, a file of the writer's own, is written all the same.
  TIniFile report(dir / "VQ-report.tmp");
  report.WritesAlone();
  report.WriteString("EXCEPTION", "Message", "locked");
  report.UpdateFile();
  EXPECT_EQ(ReadFile(dir / "VQ-report.tmp"), "[EXCEPTION]\r\nMessage=locked\r\n");
  // Writes whose flush failed were told lost: the destructor does not make
  // them behind the caller's back once the lock is free.
  std::optional<TIniFile> lost(file);
  lost->WriteString("A", "lost", "1");
  EXPECT_THROW(lost->UpdateFile(), EInOutError);
  close(lock);
  lost.reset();
  EXPECT_EQ(ReadFile(file), "[A]\r\nk=2\r\n");
  ini.UpdateFile();
  TIniFile::SetLockWait(std::chrono::milliseconds(5000));
  EXPECT_EQ(ReadFile(file), "[A]\r\nk=3\r\n");
}

TEST(IniFile, ModesAndLinks) {
  TempDir dir;
  const mode_t old = umask(002);
  TIniFile(dir / "new.ini").WriteString("A", "k", "1");
  EXPECT_EQ(ModeOf(dir / "new.ini"), 0664u);
  umask(old);
  chmod((dir / "new.ini").c_str(), 0600);
  TIniFile(dir / "new.ini").WriteString("A", "k", "2");
  EXPECT_EQ(ModeOf(dir / "new.ini"), 0600u);

  symlink("new.ini", (dir / "link.ini").c_str());
  TIniFile(dir / "link.ini").WriteString("A", "k", "3");
  struct stat st {};
  lstat((dir / "link.ini").c_str(), &st);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(dir / "new.ini"), "[A]\r\nk=3\r\n");
}

// The in-memory object, and the index that writes keep up to date: every read
// after a write must see what a fresh parse of the text sees.
TEST(IniFile, AnObjectOfNoFileAndWritesBetweenLookups) {
  TIniFile ini(TIniText{"[A]\r\nk=1\r\n; note\r\n\r\n[B]\r\n  x = 1\r\n[a]\r\nk=shadowed\r\n[C]\r\ny=2\r\n"});
  EXPECT_EQ(ini.ReadString("C", "y", "-"), "2");  // the index is built
  ini.WriteString("a", "New", "n");                 // inserted in the middle
  ini.WriteString("B", "X", "2");                   // stored spelling kept
  ini.WriteString("D", "d", "4");                   // a new section at the end
  ini.WriteString("C", "z", "5");
  ini.WriteString("d", "e", "6");
  ini.WriteString(" E", "k", "7");                  // names the index cannot take
  ini.WriteString("C", ";c", "8");
  const std::string text = ini.Text();
  EXPECT_EQ(text,
            "[A]\r\nk=1\r\nNew=n\r\n; note\r\n\r\n[B]\r\nx=2\r\n[a]\r\nk=shadowed\r\n[C]\r\ny=2\r\nz=5\r\n"
            ";c=8\r\n[D]\r\nd=4\r\ne=6\r\n[ E]\r\nk=7\r\n");
  TIniFile fresh(TIniText{text});
  for (const char* section : {"A", "B", "C", "D", "E"})
    for (const char* key : {"k", "New", "x", "y", "z", "d", "e", ";c"})
      EXPECT_EQ(ini.ReadString(section, key, "-"), fresh.ReadString(section, key, "-"))
          << section << "/" << key;
  EXPECT_EQ(ini.ReadSections(), fresh.ReadSections());
  EXPECT_EQ(ini.ReadSectionValues("c"), fresh.ReadSectionValues("c"));
  ini.UpdateFile();
  EXPECT_FALSE(ini.HasPendingWrites());
  EXPECT_EQ(ini.Text(), text);
  EXPECT_TRUE(ini.FileName().empty());
}

// The writers' lock: a regular file, opened without blocking, that only those
// who may write the folder's settings can open (and so hold): in a group
// folder its group, whatever group the writer's files get by default.
TEST(IniFile, TheLockFileIsARegularFileOnlyTheSettingsWritersMayOpen) {
  constexpr gid_t kFolders = 4242, kOwn = 4243, kKeep = gid_t(-1);
  const bool root = geteuid() == 0;
  struct Case {
    const char* what;
    mode_t folderMode;
    std::function<void(const std::string& lock)> plant;
    mode_t lockMode;  // 0: the update fails
    // Root only: the folder's group, the writer's groups (primary first), the
    // lock's group afterwards.
    gid_t folderGroup = kKeep;
    std::vector<gid_t> groups = {};
    gid_t lockGroup = kKeep;
  } cases[] = {
      {"a private folder", 0700, nullptr, 0600},
      {"a group folder", 02770, nullptr, 0660},
      {"an older lock any user could open", 0700,
       [](const std::string& lock) { WriteFile(lock, ""), chmod(lock.c_str(), 0644); }, 0600},
      {"a fifo in its place", 0700, [](const std::string& lock) { mkfifo(lock.c_str(), 0666); }, 0},
      {"a folder in its place", 0700, [](const std::string& lock) { mkdir(lock.c_str(), 0700); }, 0},
      {"a link in its place", 0700,
       [](const std::string& lock) { symlink("a.ini", lock.c_str()); }, 0},
      {"another user's lock anyone may open", 01777,
       [](const std::string& lock) {
         WriteFile(lock, ""), chmod(lock.c_str(), 0666), chown(lock.c_str(), 65534, 65534);
       },
       root ? mode_t(0) : mode_t(0600)},  // without root the lock is ours
      {"a group folder without the setgid bit, of another of the writer's groups", 0770,
       nullptr, 0660, kFolders, {kOwn, kFolders}, kFolders},
      {"a group folder without the setgid bit, of a group the writer is not in", 0775,
       nullptr, 0600, kFolders, {kOwn}},
      {"an older lock of the writer's own group in that group's folder", 0770,
       [](const std::string& lock) { WriteFile(lock, ""), chmod(lock.c_str(), 0660), chown(lock.c_str(), 0, kOwn); },
       0660, kFolders, {kOwn, kFolders}, kFolders},
      {"an older lock of the writer's own group, the folder's group not theirs", 0775,
       [](const std::string& lock) { WriteFile(lock, ""), chmod(lock.c_str(), 0660), chown(lock.c_str(), 0, kOwn); },
       0600, kFolders, {kOwn}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.groups.empty() && !root) continue;
    TempDir dir;
    if (c.folderGroup != kKeep) chown(dir.Path().c_str(), 0, c.folderGroup);
    chmod(dir.Path().c_str(), c.folderMode);
    const std::string lock = dir / ".tidelarn-ini.lock", file = dir / "a.ini";
    WriteFile(file, "[A]\r\nk=1\r\n");
    if (c.plant) c.plant(lock);
    // The writer runs with the case's groups: 0 written, 1 refused naming the lock.
    const pid_t pid = fork();
    if (pid == 0) {
      umask(022);
      if (!c.groups.empty() &&
          (setgroups(c.groups.size(), c.groups.data()) != 0 || setegid(c.groups.front()) != 0))
        _exit(3);
      try {
        TIniFile ini(file);
        ini.WriteString("A", "k", "2");
        ini.UpdateFile();
        _exit(0);
      } catch (const EInOutError& e) {
        _exit(e.Message().find(lock) != std::string::npos ? 1 : 2);
      } catch (...) {
        _exit(4);
      }
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (c.lockMode == 0) {
      EXPECT_EQ(WEXITSTATUS(status), 1);
      EXPECT_EQ(ReadFile(file), "[A]\r\nk=1\r\n");
      continue;
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(file), "[A]\r\nk=2\r\n");
    struct stat st {};
    ASSERT_EQ(lstat(lock.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, c.lockMode);
    if (c.lockGroup != kKeep) {
      EXPECT_EQ(st.st_gid, c.lockGroup);
    }
  }
}

// A settings file another user planted in a folder others may write is not
// read, nor is one they put in its place between the read and the update.
TEST(IniFile, SettingsFilesOfAnotherUserAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "files of another user need root";
  TempDir dir;
  chmod(dir.Path().c_str(), 0770);
  const std::string settings = SettingsDir(), file = dir / "Tidelarn.ini";
  SetSettingsDir(dir.Path());
  WriteFile(file, "[news]\r\nHeader.def=/their/script\r\n");
  chown(file.c_str(), 65534, 65534);
  EXPECT_THROW(TIniFile ini("Tidelarn.ini"), EInOutError);
  // Outside the settings folder (a file a script names) it is read as before.
  TempDir elsewhere;
  chmod(elsewhere.Path().c_str(), 0770);
  // The settings folder under another spelling is still the settings folder.
  symlink(dir.Path().c_str(), (elsewhere / "settings").c_str());
  for (const std::string& spelling : {dir.Path() + "/./Tidelarn.ini", dir.Path() + "//Tidelarn.ini",
                                      elsewhere / "settings/Tidelarn.ini"}) {
    EXPECT_THROW(TIniFile ini(spelling), EUntrustedFile) << spelling;
  }
  WriteFile(elsewhere / "other.ini", "[s]\r\nk=v\r\n");
  chown((elsewhere / "other.ini").c_str(), 65534, 65534);
  EXPECT_EQ(TIniFile(elsewhere / "other.ini").ReadString("s", "k", ""), "v");

  chown(file.c_str(), 0, 0);
  TIniFile ini("Tidelarn.ini");
  ini.WriteString("news", "MakeBak", "1");
  chown(file.c_str(), 65534, 65534);
  EXPECT_THROW(ini.UpdateFile(), EInOutError);
  EXPECT_EQ(ReadFile(file), "[news]\r\nHeader.def=/their/script\r\n");
  SetSettingsDir(settings);
}
