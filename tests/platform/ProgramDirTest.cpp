// Paths from settings and scripts as they are opened.
#include "ProgramDir.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>

#include "SysUtils.h"
#include "TestSupport.h"

TEST(NativePath, BackslashesAndTheWindowsTemporaryFolder) {
  EXPECT_EQ(NativePath("mails\\in\\a.msg"), "mails/in/a.msg");
  EXPECT_EQ(NativePath("c:\\temp"), "/tmp");
  EXPECT_EQ(NativePath("C:\\TEMP\\Original_*.html"), "/tmp/Original_*.html");
  EXPECT_EQ(NativePath("c:/temp/x"), "/tmp/x");
  // Only that folder: a longer name or another drive stays as it is.
  EXPECT_EQ(NativePath("c:\\temporary"), "c:/temporary");
  EXPECT_EQ(NativePath("d:\\temp"), "d:/temp");
  EXPECT_EQ(NativePath("/home/c:\\temp"), "/home/c:/temp");
}

namespace {

// Sets or clears an environment variable for one scope.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
  const char* name_;
  std::optional<std::string> old_;
};

// The program and settings folders of the process, put back after a test.
class FoldersTest : public ::testing::Test {
protected:
  void SetUp() override {
    programs_ = ProgramDir();
    settings_ = SettingsDir();
  }
  void TearDown() override {
    SetProgramDir(programs_);
    SetSettingsDir(settings_);
  }
  TempDir root;

private:
  std::string programs_, settings_;
};

}  // namespace

TEST_F(FoldersTest, TheSettingsFolderFollowsTheEnvironmentNotThePrograms) {
  const std::string bin = root / "bin";
  mkdir(bin.c_str(), 0755);
  SetProgramDir(bin);
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  const std::string h = root / "h";
  struct Case {
    const char* home;
    std::string expected;
  } cases[] = {
      {"relative/home", std::string(cwd) + "/relative/home/"},  // made absolute
      {h.c_str(), h + "/"},
      {nullptr, bin + "/"},  // a writable program folder: a portable install
      {"", bin + "/"},
  };
  for (const Case& c : cases) {
    ScopedEnv home("TIDELARN_HOME", c.home);
    ResetSettingsDir();
    EXPECT_EQ(SettingsDir(), c.expected) << (c.home ? c.home : "(unset)");
    EXPECT_EQ(ProgramDir(), bin + "/");  // siblings stay beside the programs
  }
  // Installed (share/tidelarn beside bin): the user's folder, also for root;
  // unless the program folder already holds the profiles.
  const std::string config = root / "config";
  ScopedEnv home("TIDELARN_HOME", nullptr);
  ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());
  for (const std::string& d : {root / "share", root / "share/tidelarn"}) mkdir(d.c_str(), 0755);
  ResetSettingsDir();
  EXPECT_EQ(SettingsDir(), config + "/tidelarn/");
  struct stat st {};
  EXPECT_EQ(stat((config + "/tidelarn").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  {
    // A file in the way: an error, not a run without settings.
    WriteFile(root / "file", "");
    ScopedEnv blocked("XDG_CONFIG_HOME", (root / "file").c_str());
    ResetSettingsDir();
    EXPECT_THROW(SettingsDir(), EInOutError);
  }
  WriteFile(bin + "/tidelarn.ini", "");
  ResetSettingsDir();
  EXPECT_EQ(SettingsDir(), bin + "/");
  // Started with an empty environment: the account's home folder, never the programs'.
  ScopedEnv noXdg("XDG_CONFIG_HOME", nullptr);
  ScopedEnv noHome("HOME", nullptr);
  const passwd* account = getpwuid(geteuid());
  ASSERT_TRUE(account);
  EXPECT_EQ(UserConfigDir(), std::string(account->pw_dir) + "/.config");
}

TEST_F(FoldersTest, ShippedFilesAndSiblingsAreFoundInTheirFoldersInOrder) {
  const std::string bin = root / "bin", home = root / "home", data = root / "share/tidelarn";
  for (const std::string& d : {bin, home, root / "share", data}) mkdir(d.c_str(), 0755);
  SetProgramDir(bin);
  SetSettingsDir(home);
  EXPECT_EQ(DataDir(), data + "/");
  WriteFile(data + "/charsets.dat", "shipped");
  WriteFile(data + "/lHeader.txt", "shipped");
  WriteFile(home + "/LHEADER.TXT", "own");
  WriteFile(data + "/pgp", "");
  WriteFile(bin + "/Tidelarn", "");
  EXPECT_EQ(ShippedFile("charsets.dat"), data + "/charsets.dat");
  EXPECT_EQ(ShippedFile("lHeader.txt"), home + "/LHEADER.TXT");  // the user's copy first
  EXPECT_EQ(ShippedFile("Tidelarn.dat"), home + "/Tidelarn.dat");  // nowhere: where it belongs
  WriteFile(bin + "/Tidelarn.htm", "portable");
  EXPECT_EQ(ShippedFile("Tidelarn.htm"), bin + "/Tidelarn.htm");
  EXPECT_EQ(ShippedFileFolders(), home + "/, " + data + "/, " + bin + "/");
  EXPECT_EQ(SiblingProgram("pgp"), data + "/pgp");
  EXPECT_EQ(SiblingProgram("Tidelarn"), bin + "/Tidelarn");
  EXPECT_EQ(SiblingProgram("Only_VQ"), bin + "/Only_VQ");
  EXPECT_EQ(SettingsFile("Specials.ini"), home + "/Specials.ini");
}

// A folder is listed once; a file that appears later under another spelling
// must still be found, also within the same clock tick.
TEST_F(FoldersTest, NamesAreFoundInAnyCaseAlsoAfterTheFolderWasListed) {
  const std::string dir = root.Path() + "/";
  EXPECT_EQ(ResolveFileCI(dir, "CopyIf.ini"), dir + "CopyIf.ini");  // lists the folder
  bool missing = false;
  EXPECT_EQ(SettingsFile(dir + "CopyIf.ini", missing), dir + "CopyIf.ini");
  EXPECT_TRUE(missing);
  WriteFile(dir + "copyif.INI", "");
  EXPECT_EQ(ResolveFileCI(dir, "CopyIf.ini"), dir + "copyif.INI");
  EXPECT_EQ(SettingsFile(dir + "CopyIf.ini", missing), dir + "copyif.INI");
  EXPECT_FALSE(missing);
  EXPECT_EQ(SettingsFile(dir + "nofolder/x.ini", missing), dir + "nofolder/x.ini");
  EXPECT_FALSE(missing);  // no listing: only an open can tell
  WriteFile(dir + "CopyIf.ini", "");
  EXPECT_EQ(ResolveFileCI(dir, "COPYIF.ini"), dir + "CopyIf.ini");  // byte order: the first
  EXPECT_EQ(ResolveFileCI(dir, "copyif.INI"), dir + "copyif.INI");  // the exact name first
  unlink((dir + "CopyIf.ini").c_str());
  unlink((dir + "copyif.INI").c_str());
  EXPECT_EQ(ResolveFileCI(dir, "CopyIf.ini"), dir + "CopyIf.ini");
  EXPECT_FALSE(FileExists(ResolveFileCI(dir, "CopyIf.ini")));
}

// Anyone could plant profiles in a folder every user may write: it is refused
// as the settings folder, whichever way it was chosen, and none other is taken.
TEST_F(FoldersTest, AFolderEveryUserMayWriteIsNoSettingsFolder) {
  const std::string bin = root / "bin", home = root / "home";
  for (const std::string& d : {bin, home}) mkdir(d.c_str(), 0700);
  SetProgramDir(bin);
  struct Case {
    const char* env;  // TIDELARN_HOME; null: the program folder is taken
    mode_t mode;
    bool refused;
  } cases[] = {
      {home.c_str(), 0777, true},  {home.c_str(), 01777, true}, {home.c_str(), 0770, false},
      {home.c_str(), 0700, false}, {nullptr, 01777, true},      {nullptr, 0755, false},
  };
  for (const Case& c : cases) {
    const std::string folder = c.env ? home : bin;
    SCOPED_TRACE(folder + " " + std::to_string(c.mode));
    chmod(folder.c_str(), c.mode);
    ScopedEnv env("TIDELARN_HOME", c.env);
    ResetSettingsDir();
    if (!c.refused) {
      EXPECT_EQ(SettingsDir(), folder + "/");
      continue;
    }
    for (int call = 0; call < 2; ++call) {  // every time, not only the first
      try {
        SettingsDir();
        ADD_FAILURE() << "not refused";
      } catch (const EInOutError& e) {
        EXPECT_NE(e.Message().find(folder + "/"), std::string::npos) << e.Message();
      }
    }
    chmod(folder.c_str(), 0700);
  }
}
