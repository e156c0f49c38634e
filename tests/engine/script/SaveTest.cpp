// The per-file routine: the last action of a message, backups, test copies and
// deleting, run through the driver's single-file mode.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uArtikel.h"
#include "uDriver.h"
#include "uEinstellungen.h"

namespace fs = std::filesystem;

namespace {

const std::string kMessage = "Subject: test\r\nFrom: a@example.org\r\n\r\nbody line\r\n";

class SaveMessage : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadCharsetTables(); }

  struct Call {
    std::string oldName, newName;
  };

  // Stands in for the script run: takes the profile's last action, then does
  // what the test asks.
  class TestScript : public TArticleScript {
  public:
    TestScript(SaveMessage& t, const std::string& name, TVQEinstellungen& settings,
               TArtikel& article)
        : t_(t), settings_(settings), article_(article) {
      t_.scriptNames.push_back(name);
      ++t_.scriptsAlive;
    }
    ~TestScript() override { --t_.scriptsAlive; }
    bool Correct() override {
      article_.LastAction = settings_.EndAction;
      return t_.change ? t_.change(article_) : false;
    }
    void AfterAll(const std::string& oldName, const std::string& newName) override {
      t_.afterAll.push_back({oldName, newName});
      if (t_.readInAfterAll) t_.seenInAfterAll.push_back(ReadFile(newName));
    }
    bool LooksAtSavedFile() const override { return t_.readInAfterAll; }

  private:
    SaveMessage& t_;
    TVQEinstellungen& settings_;
    TArtikel& article_;
  };

  TempDir prog, work;
  const std::string saved = ProgramDir();
  const std::string msg = work / "x.msg";
  const std::string bak = work / "x.bak";
  const std::string tst = work / "x.tst";
  std::vector<Call> afterAll;
  std::vector<std::string> scriptNames;
  std::function<bool(TArtikel&)> change;
  int scriptsAlive = 0;
  // The script reads the saved file in Sub AfterAll; else its save may be batched.
  bool readInAfterAll = false;
  std::vector<std::string> seenInAfterAll;

  void SetUp() override {
    SetProgramDir(prog.Path());
    SetArticleScriptFactory(
        [this](const std::string& name, TVQEinstellungen& s, TArtikel& a, TCorrectionRun&) {
          return std::make_unique<TestScript>(*this, name, s, a);
        });
    WriteFile(msg, kMessage);
  }
  void TearDown() override {
    SetArticleScriptFactory({});
    SetProgramDir(saved);
    SetCommandLine(std::vector<std::string>{});
  }
  // The first spelling of a key wins, so the keys given override the defaults after them.
  void Profile(const std::string& keys) {
    WriteFile(prog / "Tidelarn.ini", "[news]\r\n" + keys + "SetLines=0\r\nMakeBak=0\r\n");
  }
  void Run(const std::string& file) {
    SetCommandLine({"Type:news", "Filename:" + file});
    RunCorrector();
  }
  void Run() { Run(msg); }
  static bool ChangeSubject(TArtikel& a) { return a.Header.SetField("Subject", "changed"); }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(work.Path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  void Age(const std::string& path) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(48));
  }
};

const std::string kChanged = "Subject: changed\r\nFrom: a@example.org\r\n\r\nbody line\r\n";

// Runs Body in a child whose writes fail beyond 64 KB per file (a full disk)
// and returns its exit code: 1 for EInOutError, 3 for anything else, else
// what Body returns.
int RunWithFullDisk(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{65536, 65536};
    setrlimit(RLIMIT_FSIZE, &rl);
    int code = 0;
    try {
      code = body();
    } catch (const EInOutError&) {
      code = 1;
    } catch (...) {
      code = 3;
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(SaveMessage, UnchangedMessageStaysUntouched) {
  Profile("EndAction=0\r\nMakeBak=1\r\nSetLines=1\r\n");
  WriteFile(bak, "older backup");
  Age(msg);
  const auto before = fs::last_write_time(msg);
  Run();
  EXPECT_EQ(ReadFile(msg), kMessage);
  EXPECT_EQ(fs::last_write_time(msg), before);
  EXPECT_EQ(ReadFile(bak), "older backup");
  ASSERT_EQ(afterAll.size(), 1u);
  EXPECT_EQ(afterAll[0].oldName, msg);
  EXPECT_EQ(afterAll[0].newName, msg);
  EXPECT_EQ(scriptNames, std::vector<std::string>{"x.msg"});
  EXPECT_EQ(scriptsAlive, 0);
}

TEST_F(SaveMessage, ChangedMessageIsSavedWithOrWithoutBackup) {
  Profile("EndAction=0\r\nMakeBak=1\r\n");
  change = ChangeSubject;
  WriteFile(bak, "older backup");
  chmod(msg.c_str(), 0604);
  Run();
  EXPECT_EQ(ReadFile(msg), kChanged);
  EXPECT_EQ(ReadFile(bak), kMessage);
  struct stat st {};
  stat(msg.c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  EXPECT_EQ(Files(), (std::vector<std::string>{"x.bak", "x.msg"}));

  // Without MakeBak a backup of an earlier run goes, once the new text is in place.
  Profile("EndAction=0\r\nMakeBak=0\r\nSetLines=1\r\n");
  change = [](TArtikel& a) { return a.Header.SetField("Subject", "again"); };
  Run();
  EXPECT_EQ(ReadFile(msg),
            "Subject: again\r\nFrom: a@example.org\r\nLines: 1\r\n\r\nbody line\r\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"x.msg"});
}

TEST_F(SaveMessage, TestRunWritesTheTestFileOnly) {
  Profile("EndAction=0\r\nMakeBak=1\r\nDontChangeRenameToExtension=tst\r\n");
  WriteFile(bak, "older backup");
  Age(msg);
  const auto before = fs::last_write_time(msg);
  Run();
  EXPECT_EQ(ReadFile(tst), kMessage);  // written although nothing changed
  EXPECT_EQ(fs::last_write_time(msg), before);
  EXPECT_EQ(Files(), (std::vector<std::string>{"x.msg", "x.tst"}));
  ASSERT_EQ(afterAll.size(), 1u);
  EXPECT_EQ(afterAll[0].newName, tst);

  change = ChangeSubject;
  Run();
  EXPECT_EQ(ReadFile(tst), kChanged);
  EXPECT_EQ(ReadFile(msg), kMessage);
}

TEST_F(SaveMessage, CancelChanges) {
  Profile("EndAction=1\r\n");
  change = ChangeSubject;
  Run();
  EXPECT_EQ(ReadFile(msg), kMessage);
  EXPECT_EQ(Files(), std::vector<std::string>{"x.msg"});
  EXPECT_EQ(afterAll.back().newName, msg);

  Profile("EndAction=1\r\nDontChangeRenameToExtension=tst\r\n");
  Run();
  EXPECT_EQ(ReadFile(tst), kMessage);  // the file as it was, not the corrected text
  EXPECT_EQ(afterAll.back().newName, tst);
  WriteFile(tst, "kept");
  Run();
  EXPECT_EQ(ReadFile(tst), "kept");
  EXPECT_EQ(afterAll.back().newName, tst);

  // The test name is the message's own: the copy fails and the message stays.
  Profile("EndAction=1\r\nDontChangeRenameToExtension=msg\r\n");
  Run();
  EXPECT_EQ(ReadFile(msg), kMessage);
  EXPECT_EQ(afterAll.back().newName, msg);
}

TEST_F(SaveMessage, Delete) {
  Profile("EndAction=2\r\nDontChangeRenameToExtension=tst\r\n");
  Run();
  EXPECT_EQ(ReadFile(msg), kMessage);
  EXPECT_EQ(afterAll.back().newName, msg);

  Profile("EndAction=2\r\n");
  Run();
  EXPECT_FALSE(fs::exists(msg));
  EXPECT_EQ(afterAll.back().oldName, msg);
  EXPECT_EQ(afterAll.back().newName, "");

  // A file that cannot be deleted is reported as still there.
  WriteFile(msg, kMessage);
  change = [&](TArtikel&) {
    fs::remove(msg);
    fs::create_directories(msg + "/inside");
    return false;
  };
  Run();
  EXPECT_TRUE(fs::is_directory(msg));
  EXPECT_EQ(afterAll.back().newName, msg);
}

TEST_F(SaveMessage, SignHeadersSavesAnUnchangedMessage) {
  Profile("EndAction=3\r\n");
  const TSpecialSettings savedSpecials = Specials;
  Specials.PGPExe = work / "no-such-program";  // signing fails: saved unsigned
  struct stat before {
  }, after{};
  stat(msg.c_str(), &before);
  Run();
  Specials = savedSpecials;
  stat(msg.c_str(), &after);
  EXPECT_NE(after.st_ino, before.st_ino);  // written anew
  EXPECT_EQ(ReadFile(msg), kMessage);
}

TEST_F(SaveMessage, TestExtensionOfTheMessageItselfOverwritesIt) {
  Profile("EndAction=0\r\nDontChangeRenameToExtension=msg\r\n");
  change = ChangeSubject;
  Run();
  EXPECT_EQ(ReadFile(msg), kChanged);
  EXPECT_EQ(afterAll.back().newName, msg);
  EXPECT_EQ(Files(), std::vector<std::string>{"x.msg"});
}

TEST_F(SaveMessage, AMessageNamedBakIsNeverDeletedAsItsOwnBackup) {
  for (const char* keys : {"EndAction=0\r\nMakeBak=1\r\n", "EndAction=0\r\nMakeBak=0\r\n",
                           "EndAction=0\r\nDontChangeRenameToExtension=tst\r\n"}) {
    SCOPED_TRACE(keys);
    Profile(keys);
    WriteFile(bak, kMessage);
    change = ChangeSubject;
    Run(bak);
    ASSERT_TRUE(fs::exists(bak));
    EXPECT_EQ(ReadFile(bak),
              std::string(keys).find("tst") == std::string::npos ? kChanged : kMessage);
    fs::remove(bak);
    fs::remove(tst);
  }
}

TEST_F(SaveMessage, LFOnlyMessagesStayLFOnly) {
  Profile("EndAction=0\r\n");
  WriteFile(msg, "Subject: test\n\nbody\rline\nend\n");
  change = [](TArtikel& a) {
    a.CurrentPart()->Body().Add("added");
    return true;
  };
  Run();
  EXPECT_EQ(ReadFile(msg), "Subject: test\n\nbody\nline\nend\nadded\n");
}

// The line end supplied for a last line without one is written with a changed
// message (and, after a header alone, the empty line that ends it); an
// unchanged one keeps its file as it was.
TEST_F(SaveMessage, MissingFinalLineEndIsWrittenWithAChangedMessage) {
  Profile("EndAction=0\r\n");
  const struct {
    std::string file, changed;
  } cases[] = {
      {"Subject: test\r\n\r\nlast", "Subject: changed\r\n\r\nlast\r\n"},
      {"Subject: test\n\nlast", "Subject: changed\n\nlast\n"},
      {"Subject: test", "Subject: changed\r\n\r\n"},
  };
  for (const auto& c : cases) {
    WriteFile(msg, c.file);
    change = nullptr;
    Run();
    EXPECT_EQ(ReadFile(msg), c.file);
    change = ChangeSubject;
    Run();
    EXPECT_EQ(ReadFile(msg), c.changed);
  }
}

TEST_F(SaveMessage, FailuresLeaveMessageAndBackupAsTheyWere) {
  Profile("EndAction=0\r\nMakeBak=1\r\n");
  const std::string big = "Subject: big\r\n\r\n" + std::string(300000, 'x') + "\r\n";
  WriteFile(msg, big);
  WriteFile(bak, "older backup");
  change = ChangeSubject;
  // A full disk: the write fails, Sub AfterAll does not run.
  const std::string iniBefore = ReadFile(prog / "Tidelarn.ini");
  EXPECT_EQ(RunWithFullDisk([&] {
              try {
                Run();
              } catch (const EInOutError&) {
                if (!afterAll.empty()) return 2;
                throw;
              }
              return 0;
            }),
            1);
  EXPECT_TRUE(ReadFile(msg) == big);
  EXPECT_EQ(ReadFile(bak), "older backup");
  EXPECT_EQ(Files(), (std::vector<std::string>{"x.bak", "x.msg"}));

  // An error in the correction: no file action, no Sub AfterAll, script freed.
  change = [](TArtikel&) -> bool { throw Exception("script failed"); };
  EXPECT_THROW(Run(), Exception);
  EXPECT_TRUE(ReadFile(msg) == big);
  EXPECT_TRUE(afterAll.empty());
  EXPECT_EQ(scriptsAlive, 0);

  // A file that cannot be loaded ends the run before any script.
  scriptNames.clear();
  EXPECT_THROW(Run(work / "missing.msg"), EInOutError);
  EXPECT_TRUE(scriptNames.empty());
}

// The runner itself under a full disk: exit code 1, message and backup intact.
TEST(SaveMessageRunner, FullDiskEndsTheRunWithExitCode1) {
  TempDir prog, home;
  const std::string runner = InstallOnlyVQ(prog.Path());
  WriteFile(prog / "Tidelarn.ini", "[news]\r\nEndAction=3\r\nMakeBak=1\r\nSetLines=0\r\n");
  WriteFile(prog / "Specials.ini", "[PGP]\r\nexe=/nonexistent/pgp\r\n");
  const std::string msg = prog / "x.msg", bak = prog / "x.bak";
  const std::string text = "Subject: big\r\n\r\n" + std::string(200000, 'y') + "\r\n";
  WriteFile(msg, text);
  WriteFile(bak, "older backup");
  const std::vector<std::string> env = {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home.Path()};
  const std::string bash = "/bin/bash";
  ProcessResult full = RunProcess(bash,
                                  {"-c", "trap '' XFSZ; ulimit -f 64; exec \"$0\" \"$@\"", runner,
                                   "Type:news", "Filename:" + msg},
                                  env, prog.Path());
  EXPECT_EQ(full.exitCode, 1) << full.err;
  EXPECT_NE(full.err.find("x.msg"), std::string::npos) << full.err;
  EXPECT_TRUE(ReadFile(msg) == text);
  EXPECT_EQ(ReadFile(bak), "older backup");
  for (const auto& e : fs::directory_iterator(prog.Path()))
    EXPECT_FALSE(e.path().filename().string().starts_with(".x.")) << e.path();

  ProcessResult ok = RunProcess(runner, {"Type:news", "Filename:" + msg}, env, prog.Path());
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_TRUE(ReadFile(msg) == text);
  EXPECT_TRUE(ReadFile(bak) == text);
}

// A sweep over more messages than one batch holds: every message is saved,
// its backup holds the old text, older backups go, no temporary file stays;
// a script that reads the saved file in Sub AfterAll sees the new text there.
TEST_F(SaveMessage, SweepSavesEveryMessage) {
  struct Case {
    bool makeBak, readInAfterAll;
  } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "MakeBak " << c.makeBak << " AfterAll " << c.readInAfterAll);
    fs::remove_all(work.Path());
    fs::create_directories(work.Path());
    WriteFile(prog / "Tidelarn.ini", "[news]\r\nEndAction=0\r\nSetLines=0\r\nMakeBak=" +
                                         std::to_string(c.makeBak) + "\r\nMessagePath=" +
                                         work.Path() + "\r\nFilePath=" +
                                         work.Path() + "\r\n");
    const int count = 300;
    auto name = [&](int i, const char* ext) { return work / ("m" + std::to_string(i) + ext); };
    for (int i = 0; i < count; ++i) {
      WriteFile(name(i, ".msg"), "Subject: " + std::to_string(i) + "\r\n\r\nbody\r\n");
      WriteFile(name(i, ".bak"), "older backup");
    }
    readInAfterAll = c.readInAfterAll;
    seenInAfterAll.clear();
    afterAll.clear();
    change = ChangeSubject;
    SetCommandLine({"news"});
    RunCorrector();
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(ReadFile(name(i, ".msg")), "Subject: changed\r\n\r\nbody\r\n") << i;
      if (c.makeBak) {
        ASSERT_EQ(ReadFile(name(i, ".bak")), "Subject: " + std::to_string(i) + "\r\n\r\nbody\r\n");
      } else {
        ASSERT_FALSE(fs::exists(name(i, ".bak"))) << i;
      }
    }
    EXPECT_EQ(Files().size(), size_t(c.makeBak ? 2 * count : count));
    EXPECT_EQ(afterAll.size(), size_t(count));
    if (c.readInAfterAll) {
      EXPECT_EQ(seenInAfterAll, std::vector<std::string>(count, "Subject: changed\r\n\r\nbody\r\n"));
    }
  }
}

// A write that fails in the middle of a batch: the messages before it are
// saved, it and those after it keep their text and backups, nothing is left
// behind, and the run ends with the error.
TEST_F(SaveMessage, FailureInTheMiddleOfABatchLosesNothing) {
  WriteFile(prog / "Tidelarn.ini", "[news]\r\nEndAction=0\r\nSetLines=0\r\nMakeBak=1\r\n"
                                   "MessagePath=" + work.Path() + "\r\nFilePath=" +
                                       work.Path() + "\r\n");
  fs::remove(msg);
  const std::string big = "Subject: big\r\n\r\n" + std::string(100000, 'x') + "\r\n";
  auto text = [&](int i) {
    return i == 20 ? big : "Subject: " + std::to_string(i) + "\r\n\r\nbody\r\n";
  };
  auto name = [&](int i, const char* ext) {
    char n[16];
    std::snprintf(n, sizeof n, "m%03d", i);
    return work / (n + std::string(ext));
  };
  for (int i = 0; i < 40; ++i) {
    WriteFile(name(i, ".msg"), text(i));
    WriteFile(name(i, ".bak"), "older backup");
  }
  change = ChangeSubject;
  EXPECT_EQ(RunWithFullDisk([] {
              SetCommandLine({"news"});
              RunCorrector();
              return 0;
            }),
            1);
  // The sweep's order is the folder's; the messages it reached before the
  // failing one are saved, all others are as they were.
  int saved = 0;
  for (int i = 0; i < 40; ++i) {
    const std::string now = ReadFile(name(i, ".msg"));
    if (i != 20 && now == "Subject: changed\r\n\r\nbody\r\n") {
      ++saved;
      EXPECT_EQ(ReadFile(name(i, ".bak")), text(i)) << i;
    } else {
      EXPECT_EQ(now, text(i)) << i;
      EXPECT_EQ(ReadFile(name(i, ".bak")), "older backup") << i;
    }
  }
  EXPECT_EQ(saved, 20);
  EXPECT_EQ(Files().size(), 80u);
}

// A backup that cannot be made (a folder holds its name) keeps the message and
// the folder as they are and ends the run with an error naming it; a sweep's
// other messages are saved with their backups all the same.
TEST_F(SaveMessage, ABackupThatCannotBeMadeKeepsTheMessage) {
  for (bool sweep : {false, true}) {
    SCOPED_TRACE(sweep ? "sweep" : "one file");
    fs::remove_all(work.Path());
    fs::create_directories(work.Path());
    WriteFile(prog / "Tidelarn.ini", "[news]\r\nEndAction=0\r\nSetLines=0\r\nMakeBak=1\r\nMessagePath=" +
                                         work.Path() + "\r\nFilePath=" + work.Path() + "\r\n");
    auto text = [](const std::string& n) { return "Subject: " + n + "\r\n\r\nbody\r\n"; };
    for (std::string n : {"a", "b", "c"}) {
      WriteFile(work / (n + ".msg"), text(n));
      if (n != "b") WriteFile(work / (n + ".bak"), "older backup");
    }
    fs::create_directories(work / "b.bak/inside");
    change = ChangeSubject;
    try {
      if (sweep) {
        SetCommandLine({"news"});
        RunCorrector();
      } else {
        Run(work / "b.msg");
      }
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_NE(e.Message().find(work / "b.bak"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(ReadFile(work / "b.msg"), text("b"));
    EXPECT_TRUE(fs::is_directory(work / "b.bak/inside"));
    for (std::string n : {"a", "c"}) {
      EXPECT_EQ(ReadFile(work / (n + ".msg")), sweep ? text("changed") : text(n)) << n;
      EXPECT_EQ(ReadFile(work / (n + ".bak")), sweep ? text(n) : "older backup") << n;
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.bak", "a.msg", "b.bak", "b.msg", "c.bak", "c.msg"}));
  }
}
