// The desktop's open and print: what goes to xdg-open or lp, what is started
// directly, and the codes of the failures. Fake helpers on PATH record what
// they were given.
#include "Shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class Shell : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directory(bin);
    const char* old = std::getenv("PATH");
    oldPath = old != nullptr ? old : "";
    setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);
  }
  void TearDown() override { setenv("PATH", oldPath.c_str(), 1); }

  // A helper that writes its arguments to Name.out in the test folder.
  void Helper(const std::string& name) {
    std::string path = bin + "/" + name;
    WriteFile(path, "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + dir / name + ".tmp\"\n/bin/mv \"" +
                        dir / name + ".tmp\" \"" + dir / name + ".out\"\n");
    chmod(path.c_str(), 0755);
  }
  std::string Await(const std::string& name) {
    std::string path = dir / (name + ".out");
    for (int i = 0; i < 2000 && !fs::exists(path); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string text = fs::exists(path) ? ReadFile(path) : "<never written>";
    fs::remove(path);
    return text;
  }

  TempDir dir;
  std::string bin = dir / "bin";
  std::string oldPath;
};

}  // namespace

TEST_F(Shell, DocumentsFoldersAndUrlsGoToTheDesktop) {
  Helper("xdg-open");
  WriteFile(dir / "-doc.txt", "x");
  // A relative name is passed absolute, so it can never read as an option.
  const fs::path oldCwd = fs::current_path();
  fs::current_path(dir.Path());
  EXPECT_EQ(ShellExecute("open", "-doc.txt", "", ""), se::Started);
  EXPECT_EQ(Await("xdg-open"), dir / "-doc.txt|");
  EXPECT_EQ(ShellExecute("OPEN", dir.Path(), "", ""), se::Started);
  EXPECT_EQ(Await("xdg-open"), dir.Path() + "|");
  EXPECT_EQ(ShellExecute("open", "https://example.org/a b", "x", ""), se::Started);
  EXPECT_EQ(Await("xdg-open"), "https://example.org/a b|");
  fs::current_path(oldCwd);
}

TEST_F(Shell, ProgramsStartDirectlyWithTheirParameters) {
  Helper("tool");
  EXPECT_EQ(ShellExecute("open", "tool", "a \"b c\"", ""), se::Started);
  EXPECT_EQ(Await("tool"), "a|b c|");
  EXPECT_EQ(ShellExecute("open", bin + "/tool", "", dir / "missing"), se::PathNotFound);
}

TEST_F(Shell, FailuresCarryTheShellsCodes) {
  EXPECT_EQ(ShellExecute("open", dir / "none.txt", "", ""), se::FileNotFound);
  EXPECT_EQ(ShellExecute("open", dir / "no/none.txt", "", ""), se::PathNotFound);
  EXPECT_EQ(ShellExecute("open", "", "", ""), se::FileNotFound);
  WriteFile(dir / "doc.txt", "x");
  EXPECT_EQ(ShellExecute("edit", dir / "doc.txt", "", ""), se::NoAssociation);
  // No xdg-open and no lp on this PATH.
  setenv("PATH", bin.c_str(), 1);
  EXPECT_EQ(ShellExecute("open", dir / "doc.txt", "", ""), se::NoAssociation);
  EXPECT_EQ(ShellExecute("print", dir / "doc.txt", "", ""), se::NoAssociation);
  Helper("lp");
  EXPECT_EQ(ShellExecute("print", dir / "doc.txt", "", ""), se::Started);
  EXPECT_EQ(Await("lp"), dir / "doc.txt|");
}

TEST_F(Shell, SoundsNeedAFileAndAPlayer) {
  WriteFile(dir / "a.wav", "RIFF");
  setenv("PATH", bin.c_str(), 1);
  EXPECT_FALSE(PlaySoundFile(dir / "a.wav", true));
  Helper("paplay");
  EXPECT_FALSE(PlaySoundFile(dir / "b.wav", true));
  EXPECT_TRUE(PlaySoundFile(dir / "a.wav", false));
  EXPECT_EQ(Await("paplay"), dir / "a.wav|");
}
