// The runner as the news server sees it: a program in a folder of its own,
// started with arguments, judged by its exit code.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "IniFile.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

namespace {

bool Contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

class OnlyVQ : public ::testing::Test {
protected:
  TempDir dir;
  std::string exe;

  void SetUp() override {
    // The copy's own folder is its program directory; the registry record goes
    // below the test folder, not into the user's configuration.
    unsetenv("TIDELARN_HOME");
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    exe = InstallOnlyVQ(dir.Path());
  }

  ProcessResult Run(const Args& args) { return RunProcess(exe, args, {}, dir.Path()); }
  std::string Ini() const { return dir / "Tidelarn.ini"; }
  std::string IniText() const { return fs::exists(Ini()) ? ReadFile(Ini()) : std::string(); }
  void Profile(const std::string& name, const std::string& messagePath) {
    WriteFile(Ini(), IniText() + "[" + name + "]\r\nMessagePath=" + messagePath +
                         "\r\nFilePath=" + dir.Path() + "\r\n");
  }
  // A stand-in for the configuration program that notes its start. The note
  // appears whole (renamed into place): the test reads it once it exists.
  void FakeConfigProgram() {
    WriteFile(dir / "Tidelarn",
              "#!/bin/sh\nd=$(dirname \"$0\")\n"
              "echo \"started $#\" > \"$d/started.tmp\" && mv \"$d/started.tmp\" \"$d/started\"\n");
    chmod((dir / "Tidelarn").c_str(), 0755);
  }
  // The sibling runs detached: wait for its note (no limit on correctness, only
  // on how long a broken build may hang the suite).
  bool WaitForStart() {
    for (int i = 0; i < 600 && !fs::exists(dir / "started"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return fs::exists(dir / "started");
  }
};

}  // namespace

TEST_F(OnlyVQ, WithoutWorkStartsTheConfigurationProgram) {
  FakeConfigProgram();
  for (const Args& args : {Args{}, Args{"-x"}, Args{"/x", "News"}, Args{"?"}}) {
    fs::remove(dir / "started");
    ProcessResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(WaitForStart()) << (args.empty() ? "" : args[0]);
    EXPECT_EQ(ReadFile(dir / "started"), "started 0\n");
  }
  EXPECT_FALSE(fs::exists(Ini()));
}

TEST_F(OnlyVQ, AMissingConfigurationProgramIsReportedNotFailed) {
  ProcessResult r = Run({});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Contains(r.err, "Tidelarn")) << r.err;
}

TEST_F(OnlyVQ, WritesTheRegistryRecordWithItsOwnVersion) {
  FakeConfigProgram();
  ASSERT_EQ(Run({}).exitCode, 0);
  // The detached sibling is done with the test folder before it is removed.
  ASSERT_TRUE(WaitForStart());
  std::string record = dir / "config/Wex-Soft/Tidelarn/registry.ini";
  ASSERT_TRUE(fs::exists(record));
  TIniFile ini(record);
  EXPECT_EQ(ini.ReadString("HKEY_LOCAL_MACHINE\\Software\\Wex-Soft\\Tidelarn", "Version", ""),
            "4.2.1");
}

TEST_F(OnlyVQ, AQuestionMarkWithMoreIsAProfile) {
  ProcessResult r = Run({"?x"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "Unbekannter Abschnitt")) << r.err;
  // Nobody could answer: stderr says what was done.
  EXPECT_TRUE(Contains(r.err, "Ohne Anzeige beantwortet mit \"Ja\".")) << r.err;
  EXPECT_TRUE(TIniFile(Ini()).SectionExists("?x"));
}

TEST_F(OnlyVQ, ThreeArgumentsAreThreeProfiles) {
  ProcessResult r = Run({"Type:News", "Filename:x", "y"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadSections(), (Args{"Type:News", "Filename:x", "y"}));
}

TEST_F(OnlyVQ, TheRunnerReceivesNoHandover) {
  ProcessResult r = Run({"#ShowError#", "file"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(TIniFile(Ini()).ReadSections(), (Args{"#ShowError#", "file"}));
}

TEST_F(OnlyVQ, ACompletedRunWithoutScriptEndsWithZero) {
  fs::create_directory(dir / "msgs");
  WriteFile(dir / "msgs/a.msg", "Subject: x\r\n\r\nText\r\n");
  Profile("News", dir.Path() + "/msgs");
  ProcessResult r = Run({"News"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(OnlyVQ, AMissingWorkDirectoryFailsWithOneAndStopsTheRun) {
  Profile("Bad", dir.Path() + "/nowhere");
  ProcessResult r = Run({"Bad", "Second"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, "Anwendungsfehler")) << r.err;
  EXPECT_TRUE(Contains(r.err, "Das Arbeitsverzeichnis \"" + dir.Path() + "/nowhere")) << r.err;
  EXPECT_TRUE(Contains(r.err, "\" existiert nicht!")) << r.err;
  EXPECT_FALSE(TIniFile(Ini()).SectionExists("Second"));
  EXPECT_FALSE(Contains(r.err, "Unbekannter Abschnitt")) << r.err;
  EXPECT_FALSE(Contains(r.err, "Ohne Anzeige")) << r.err;  // an OK box asks nothing
}

TEST_F(OnlyVQ, AProfileNameThatWouldBreakTheIniFileFails) {
  Profile("News", dir.Path());
  const std::string before = IniText();
  for (const char* name : {"a]b", "News]\nMessagePath=/etc", "x\ry"}) {
    ProcessResult r = Run({name});
    EXPECT_EQ(r.exitCode, 1) << name;
    EXPECT_TRUE(Contains(r.err, "Anwendungsfehler")) << r.err;
    EXPECT_EQ(IniText(), before) << name;
  }
}

// A settings file that cannot be read is a failure, never an empty file that
// the run then fills with one profile's defaults.
TEST_F(OnlyVQ, AnUnreadableIniFileFailsAndStaysAsItWas) {
  fs::create_directory(dir / "msgs");
  Profile("Other", dir / "msgs");
  const std::string before = IniText();
  for (bool folder : {true, false}) {
    if (folder) {
      fs::rename(Ini(), dir / "kept.ini");
      fs::create_directory(Ini());
    } else {
      if (geteuid() == 0) continue;  // root reads it whatever its mode
      chmod(Ini().c_str(), 0200);
    }
    ProcessResult r = Run({"News"});
    EXPECT_EQ(r.exitCode, 1) << folder;
    EXPECT_TRUE(Contains(r.err, "Anwendungsfehler")) << r.err;
    EXPECT_FALSE(Contains(r.err, "Unbekannter Abschnitt")) << r.err;
    if (folder) {
      EXPECT_TRUE(fs::is_directory(Ini()));
      fs::remove(Ini());
      fs::rename(dir / "kept.ini", Ini());
    } else {
      struct stat st {};
      stat(Ini().c_str(), &st);
      EXPECT_EQ(st.st_mode & 0777, 0200u);
      chmod(Ini().c_str(), 0600);
      EXPECT_EQ(IniText(), before);
    }
  }
}

TEST_F(OnlyVQ, RefusesToRunWithoutTheCharsetTables) {
  fs::remove(dir / "charsets.dat");
  fs::create_directory(dir / "work");
  Profile("News", dir / "work");
  ProcessResult r = Run({"News"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, "\"Charsets.dat\" nicht vorhanden")) << r.err;
}
