#include "IniFile.h"
#include "ProgramDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SysUtils.h"
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
