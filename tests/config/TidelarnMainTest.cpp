// The built program started without any display: the command-line run
// corrects and ends before Qt is touched; the settings window refuses cleanly.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "IniFile.h"
#include "Prompter.h"
#include "TestSupport.h"
#include "uHandOver.h"

namespace fs = std::filesystem;

namespace {

// Leaves the process without a display while it lives.
class TNoDisplay {
public:
  TNoDisplay() {
    for (const char* name : kNames) {
      const char* v = std::getenv(name);
      saved_[Index(name)] = v ? std::optional<std::string>(v) : std::nullopt;
      unsetenv(name);
    }
  }
  ~TNoDisplay() {
    for (const char* name : kNames)
      if (saved_[Index(name)]) setenv(name, saved_[Index(name)]->c_str(), 1);
  }

private:
  static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                           "TIDELARN_HOME"};
  static size_t Index(const char* name) {
    for (size_t i = 0; i < std::size(kNames); ++i)
      if (std::string(kNames[i]) == name) return i;
    return 0;
  }
  std::optional<std::string> saved_[std::size(kNames)];
};

class TidelarnMainTest : public ::testing::Test {
protected:
  void SetUp() override {
    program_ = dir_ / "Tidelarn";
    fs::copy_file(TIDELARN_PATH, program_);
    for (const char* f : {"charsets.dat", "lHeader.txt"})
      fs::copy_file(fs::path(TIDELARN_SOURCE_DIR) / "data" / f, dir_ / f);
    fs::create_directory(dir_ / "work");
  }

  ProcessResult Run(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
    TNoDisplay none;
    // The registry record goes into the test folder.
    env.push_back("XDG_CONFIG_HOME=" + (dir_ / "config"));
    return RunProcess(program_, args, env);
  }

  int Reports() const {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir_.Path()))
      if (e.path().filename().string().rfind("VQ-", 0) == 0) ++n;
    return n;
  }

  TempDir dir_;
  std::string program_;
};

TEST_F(TidelarnMainTest, ProfileArgumentCorrectsAndEndsWithZeroWhateverTheScriptSays) {
  WriteFile(dir_ / "Tidelarn.ini",
            "[News]\r\nMessagePath=" + (dir_ / "work") + "\r\nFilePath=" + dir_.Path() + "\r\n");
  WriteFile(dir_ / "Header.def", "Sub main\r\n  X-Seen: yes\r\n  %Exitcode% = 7\r\nEnd Sub\r\n");
  WriteFile(dir_ / "work/a.msg", "Subject: Re: AW: x\r\n\r\nbody\r\n");
  ProcessResult r = Run({"News"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string out = ReadFile(dir_ / "work/a.msg");
  EXPECT_NE(out.find("Subject: Re: x\r\n"), std::string::npos) << out;
  EXPECT_NE(out.find("X-Seen: yes\r\n"), std::string::npos) << out;
  EXPECT_EQ(Reports(), 0);
  // The registry record carries the configuration program's version.
  EXPECT_NE(ReadFile(dir_ / "config/Wex-Soft/Tidelarn/registry.ini").find("Version=4.2.8"),
            std::string::npos);
}

TEST_F(TidelarnMainTest, UnknownProfileIsAskedForOnStderrAndCreated) {
  WriteFile(dir_ / "work/a.msg", "Subject: x\r\n\r\nbody\r\n");
  ProcessResult r = Run({"Type:Fresh", "Filename:" + (dir_ / "work/a.msg")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Unbekannter Abschnitt"), std::string::npos);
  EXPECT_NE(ReadFile(dir_ / "Tidelarn.ini").find("[Fresh]"), std::string::npos);
}

TEST_F(TidelarnMainTest, FailedRunEndsWithOneAndAReport) {
  WriteFile(dir_ / "Tidelarn.ini", "[News]\r\nMessagePath=" + (dir_ / "missing") + "\r\n");
  ProcessResult r = Run({"News"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Anwendungsfehler"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("missing"), std::string::npos);
  EXPECT_EQ(Reports(), 1);
}

TEST_F(TidelarnMainTest, SettingsWindowWithoutDisplayRefusesWithoutCrashing) {
  for (const auto& args : {std::vector<std::string>{}, {"?"}, {"-x"}, {"/config"}}) {
    ProcessResult r = Run(args);
    EXPECT_EQ(r.exitCode, 1) << (args.empty() ? "" : args[0]) << ": " << r.err;
    EXPECT_NE(r.err.find("DISPLAY"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir_ / "Tidelarn.ini"));
}

TEST_F(TidelarnMainTest, ARefusedSettingsFolderEndsWithItsMessageAlsoOnADisplay) {
  TempDir open, tmp;
  chmod(open.Path().c_str(), 0777);
  for (bool display : {false, true}) {
    // Qt makes its runtime folder in TMPDIR then: in the test's own.
    std::vector<std::string> env = {"TIDELARN_HOME=" + open.Path(), "TMPDIR=" + tmp.Path()};
    // The error box is answered on Qt's offscreen platform.
    if (display) env.insert(env.end(), {"QT_QPA_PLATFORM=offscreen", "TIDELARN_TEST_ANSWER=butOk"});
    ProcessResult r = Run({}, env);
    EXPECT_EQ(r.exitCode, 1) << display << ": " << r.err;
    if (!display) {
      EXPECT_NE(r.err.find("wird nicht verwendet"), std::string::npos) << r.err;
    }
  }
  EXPECT_TRUE(fs::is_empty(open.Path()));
}

// A Wayland display whose backlog is full: it lets nobody connect.
class TFullWaylandDisplay {
public:
  explicit TFullWaylandDisplay(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    // Too long a path is unreachable as well.
    if (path.size() >= sizeof addr.sun_path) return;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const auto* a = reinterpret_cast<const sockaddr*>(&addr);
    server_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(server_, a, sizeof addr) != 0 || listen(server_, 0) != 0)
      throw std::runtime_error("no Wayland socket for the test");
    client_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (connect(client_, a, sizeof addr) != 0) throw std::runtime_error("backlog not filled");
  }
  ~TFullWaylandDisplay() {
    close(client_);
    close(server_);
  }

private:
  int server_ = -1, client_ = -1;
};

TEST_F(TidelarnMainTest, AnUnreachableDisplayCountsAsNoneInsteadOfAborting) {
  const TOwnDisplay refusing;
  const std::string x = "DISPLAY=" + refusing.Name();
  // Accepts the connections into its backlog and never answers them.
  const TOwnDisplay frozen{true};
  const std::string frozenX = "DISPLAY=" + frozen.Name();
  const std::string fullWayland = "WAYLAND_DISPLAY=" + (dir_ / "wayland-full");
  const TFullWaylandDisplay full(dir_ / "wayland-full");
  TErrorDisplay error;
  error.errorMsg = "Kaputt";
  error.continueLine = 3;
  for (const char* name : {"error.tmp", "frozen-error.tmp"})
    WriteFile(dir_ / name, FormatShowErrorRequest(error));
  WriteFile(dir_ / "input.tmp", "[InputBox]\r\nTitle=T\r\nPrompt=Name?\r\nDefault=preset\r\n");
  struct Case {
    std::vector<std::string> args;
    std::string env;
    int exitCode;
    std::string err;
  };
  const Case cases[] = {
      {{}, x, 1, "\"" + x + "\" ist nicht erreichbar"},
      {{"?"}, "WAYLAND_DISPLAY=wayland-none", 1, "\"WAYLAND_DISPLAY=wayland-none\""},
      {{"#InputBox#", dir_ / "input.tmp"}, x, 0, "Name?"},
      {{"#ShowError#", dir_ / "error.tmp"}, x, 0, "Kaputt"},
      {{}, frozenX, 1, "\"" + frozenX + "\" ist nicht erreichbar"},
      {{"#ShowError#", dir_ / "frozen-error.tmp"}, frozenX, 0, "Kaputt"},
      {{"?"}, fullWayland, 1, "\"" + fullWayland + "\" ist nicht erreichbar"},
  };
  for (const Case& c : cases) {
    ProcessResult r = Run(c.args, {c.env});
    const std::string label = (c.args.empty() ? "" : c.args[0]) + " " + c.env;
    EXPECT_EQ(r.exitCode, c.exitCode) << label << ": " << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << label << ": " << r.err;
  }
  // The hand-overs were answered as without a display: the preset, and "end".
  EXPECT_EQ(TIniFile(dir_ / "input.tmp").ReadString("InputBox", "Default", ""), "preset");
  for (const char* name : {"error.tmp", "frozen-error.tmp"}) {
    int line = 0, state = 0;
    EXPECT_TRUE(ParseShowErrorAnswer(ReadFile(dir_ / name), line, state)) << name;
    EXPECT_EQ(state, ErrorChoice::End) << name;
  }
  EXPECT_FALSE(fs::exists(dir_ / "Tidelarn.ini"));
}

// A display that answers the first connection (the start-up check) and closes
// every later one (Qt's own), as an X server does while it restarts.
class TFlakyDisplay {
public:
  TFlakyDisplay() : thread_([this] { Serve(); }) {}
  ~TFlakyDisplay() {
    shutdown(display_.Fd(), SHUT_RDWR);  // ends the waiting accept
    thread_.join();
  }
  const std::string& Name() const { return display_.Name(); }

private:
  void Serve() {
    for (bool first = true;; first = false) {
      int c = accept4(display_.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) return;
      if (first) {
        char request[1024];
        (void)!read(c, request, sizeof request);
        // Success, protocol 11.0, 8 words of setup: no vendor, screens or
        // formats (little-endian, as the client on this machine asks).
        const unsigned char reply[40] = {
            1, 0, 11, 0, 0, 0, 8, 0,                                  // header
            0, 0, 0, 0, 0, 0, 0x20, 0, 0xFF, 0xFF, 0x1F, 0, 0, 0, 0, 0,  // ids, motion
            0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 32, 32, 8, 255};            // lengths, counts
        // A client that gave up has closed already: no SIGPIPE for the test.
        (void)!send(c, reply, sizeof reply, MSG_NOSIGNAL);
      }
      close(c);
    }
  }
  TOwnDisplay display_{true};
  std::thread thread_;
};

// strace, when it can trace here: it breaks a connection at a chosen write.
bool CanTrace() {
  static const bool can = RunProcess("/usr/bin/strace", {"-o", "/dev/null", "true"}).exitCode == 0;
  return can;
}

// Both programs, whichever connection breaks: Qt's, closed by the server; or,
// through strace, the check's set-up write (the first writev) or Qt's (the
// second) failing as a write to a closed connection does, with EPIPE and
// SIGPIPE. An unknown platform, though the display is there, is told in Qt's
// words.
TEST_F(TidelarnMainTest, ADisplayLostAfterTheCheckEndsAsAnUnreachableOne) {
  fs::copy_file(MSGBOX_HELPER_PATH, dir_ / "tidelarn-msgbox");
  struct Case {
    bool helper;
    std::string brokenWrite;  // strace's "when"; empty: no strace
    std::string platform;
    int exitCode;
    bool unreachable;  // the helper's caller speaks for it
    std::string said;
  };
  const Case cases[] = {
      {false, "", "", 1, true, ""},
      {true, "", "", kMsgBoxNoDisplay, false, ""},
      {false, "1", "", 1, true, ""},
      {true, "1", "", kMsgBoxNoDisplay, false, ""},
      {false, "2+", "", 1, true, ""},
      {true, "2+", "", kMsgBoxNoDisplay, false, ""},
      {false, "", "QT_QPA_PLATFORM=bogus", 1, false, "no Qt platform plugin could be initialized"},
  };
  bool skipped = false;
  for (const Case& c : cases) {
    if (!c.brokenWrite.empty() && !CanTrace()) {
      skipped = true;
      continue;
    }
    TFlakyDisplay display;
    TNoDisplay none;
    std::vector<std::string> args;
    if (!c.brokenWrite.empty())
      args = {"-qq", "-o", "/dev/null", "-e", "trace=writev", "-e",
              "inject=writev:error=EPIPE:signal=SIGPIPE:when=" + c.brokenWrite};
    args.push_back(c.helper ? dir_ / "tidelarn-msgbox" : program_);
    if (c.helper) args.insert(args.end(), {"Titel", "Text", "0"});
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + (dir_ / "config"),
                                    "DISPLAY=" + display.Name()};
    if (!c.platform.empty()) env.push_back(c.platform);
    // The leak checker of a sanitizer build cannot work under ptrace.
    if (!c.brokenWrite.empty()) env.push_back("ASAN_OPTIONS=detect_leaks=0");
    ProcessResult r = c.brokenWrite.empty()
                          ? RunProcess(args[0], {args.begin() + 1, args.end()}, env)
                          : RunProcess("/usr/bin/strace", args, env);
    const std::string label = (c.helper ? "helper " : "Tidelarn ") + c.brokenWrite + c.platform;
    EXPECT_EQ(r.exitCode, c.exitCode) << label << ": " << r.err;
    const std::string message = "\"DISPLAY=" + display.Name() + "\" ist nicht erreichbar";
    EXPECT_EQ(r.err.find(message) != std::string::npos, c.unreachable) << label << ": " << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << label << ": " << r.err;
  }
  if (skipped) GTEST_SKIP() << "strace cannot trace here";
}

TEST_F(TidelarnMainTest, MissingCharsetTablesStopEveryStart) {
  fs::remove(dir_ / "charsets.dat");
  for (const auto& args : {std::vector<std::string>{}, {"News"}}) {
    ProcessResult r = Run(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Charsets.dat"), std::string::npos) << r.err;
  }
}

}  // namespace
