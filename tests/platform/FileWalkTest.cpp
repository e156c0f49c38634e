#include "FileWalk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "TestSupport.h"

using Strings = std::vector<std::string>;

TEST(FileWalk, MasksMatchWithoutRegardToCase) {
  EXPECT_TRUE(MatchesMask("a.msg", "*.msg"));
  EXPECT_TRUE(MatchesMask("A.MSG", "*.msg"));
  EXPECT_TRUE(MatchesMask("x.y.msg", "*.msg"));
  EXPECT_FALSE(MatchesMask("a.msg.bak", "*.msg"));
  EXPECT_FALSE(MatchesMask("amsg", "*.msg"));
  EXPECT_TRUE(MatchesMask(".msg", "*.msg"));
  EXPECT_TRUE(MatchesMask("noext", "*.*"));
  EXPECT_TRUE(MatchesMask("a.ms1", "*.ms?"));
  EXPECT_FALSE(MatchesMask("a.ms", "*.ms?"));
  EXPECT_TRUE(MatchesMask("VQ-0A1B2C3D.tmp", "VQ-*.tmp"));
  EXPECT_TRUE(MatchesMask("", "*"));
  EXPECT_FALSE(MatchesMask("a", ""));
  // Many stars must not backtrack exponentially.
  EXPECT_FALSE(MatchesMask(std::string(200, 'a'), "*a*a*a*a*a*a*a*a*a*b"));
}

TEST(FileWalk, SnapshotIsSortedAndHoldsOnlyRegularVisibleFiles) {
  TempDir dir;
  for (const char* n : {"b.msg", "A.MSG", "c.txt", ".hidden.msg", "a.msg"}) WriteFile(dir / n, "x");
  mkdir((dir / "sub.msg").c_str(), 0755);
  ASSERT_EQ(symlink((dir / "b.msg").c_str(), (dir / "link.msg").c_str()), 0);
  ASSERT_EQ(symlink((dir / "gone").c_str(), (dir / "dangling.msg").c_str()), 0);
  // A link to nothing is left out, but told: it may be all that is left of a message.
  Strings failed;
  auto failure = [&](const std::string& path, int, bool) { failed.push_back(path); };
  EXPECT_EQ(ListFiles(dir.Path(), "*.msg", failure),
            (Strings{"A.MSG", "a.msg", "b.msg", "link.msg"}));
  EXPECT_EQ(failed, Strings{dir / "dangling.msg"});
  EXPECT_EQ(ListFiles(dir.Path() + "/", "*.txt"), Strings{"c.txt"});
  EXPECT_TRUE(ListFiles(dir / "missing", "*.*").empty());
}

TEST(FileWalk, WalkSkipsVanishedFilesAndIgnoresNewOnes) {
  TempDir dir;
  for (const char* n : {"1.msg", "2.msg", "3.msg"}) WriteFile(dir / n, "x");
  // A file that vanished before its turn is no failure.
  bool failed = false;
  TFileWalk walk(dir.Path(), "*.msg", [&](const std::string&, int, bool) { failed = true; });
  EXPECT_EQ(walk.Count(), 3u);
  std::string name;
  ASSERT_TRUE(walk.Next(name));
  EXPECT_EQ(name, "1.msg");
  std::remove((dir / "2.msg").c_str());
  WriteFile(dir / "25.msg", "new");
  WriteFile(dir / "4.msg", "new");
  ASSERT_TRUE(walk.Next(name));
  EXPECT_EQ(name, "3.msg");
  EXPECT_FALSE(walk.Next(name));
  EXPECT_FALSE(walk.Next(name));
  EXPECT_FALSE(failed);
}
