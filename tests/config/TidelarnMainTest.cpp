// The built program started without any display: the command-line run
// corrects and ends before Qt is touched; the settings window refuses cleanly.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
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

  ProcessResult Run(const std::vector<std::string>& args, const std::string& env = "") {
    TNoDisplay none;
    // The registry record goes into the test folder.
    std::vector<std::string> vars = {"XDG_CONFIG_HOME=" + (dir_ / "config")};
    if (!env.empty()) vars.push_back(env);
    return RunProcess(program_, args, vars);
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

TEST_F(TidelarnMainTest, AnUnreachableDisplayCountsAsNoneInsteadOfAborting) {
  TErrorDisplay error;
  error.errorMsg = "Kaputt";
  error.continueLine = 3;
  WriteFile(dir_ / "error.tmp", FormatShowErrorRequest(error));
  WriteFile(dir_ / "input.tmp", "[InputBox]\r\nTitle=T\r\nPrompt=Name?\r\nDefault=preset\r\n");
  struct Case {
    std::vector<std::string> args;
    std::string env;
    int exitCode;
    const char* err;
  };
  const Case cases[] = {
      {{}, "DISPLAY=:55", 1, "\"DISPLAY=:55\" ist nicht erreichbar"},
      {{"?"}, "WAYLAND_DISPLAY=wayland-none", 1, "\"WAYLAND_DISPLAY=wayland-none\""},
      {{"#InputBox#", dir_ / "input.tmp"}, "DISPLAY=:55", 0, "Name?"},
      {{"#ShowError#", dir_ / "error.tmp"}, "DISPLAY=:55", 0, "Kaputt"},
  };
  for (const Case& c : cases) {
    ProcessResult r = Run(c.args, c.env);
    const std::string label = (c.args.empty() ? "" : c.args[0]) + " " + c.env;
    EXPECT_EQ(r.exitCode, c.exitCode) << label << ": " << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << label << ": " << r.err;
  }
  // The hand-overs were answered as without a display: the preset, and "end".
  EXPECT_EQ(TIniFile(dir_ / "input.tmp").ReadString("InputBox", "Default", ""), "preset");
  int line = 0, state = 0;
  EXPECT_TRUE(ParseShowErrorAnswer(ReadFile(dir_ / "error.tmp"), line, state));
  EXPECT_EQ(state, ErrorChoice::End);
  EXPECT_FALSE(fs::exists(dir_ / "Tidelarn.ini"));
}

// A display that answers the first connection (the start-up check) and closes
// every later one (Qt's own), as an X server does while it restarts.
class TFlakyDisplay {
public:
  TFlakyDisplay() {
    for (int n = 150; n < 250 && fd_ < 0; ++n) {
      const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::memcpy(addr.sun_path + 1, path.data(), path.size());  // the abstract name, tried first
      const auto len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size());
      int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (!fs::exists(path) && bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
          listen(fd, 4) == 0) {
        fd_ = fd;
        name_ = ":" + std::to_string(n);
      } else {
        close(fd);
      }
    }
    thread_ = std::thread([this] { Serve(); });
  }
  ~TFlakyDisplay() {
    shutdown(fd_, SHUT_RDWR);  // ends the waiting accept
    thread_.join();
    close(fd_);
  }
  const std::string& Name() const { return name_; }

private:
  void Serve() {
    for (bool first = true;; first = false) {
      int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
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
        (void)!write(c, reply, sizeof reply);
      }
      close(c);
    }
  }
  int fd_ = -1;
  std::string name_;
  std::thread thread_;
};

TEST_F(TidelarnMainTest, ADisplayLostAfterTheCheckEndsAsAnUnreachableOne) {
  fs::copy_file(MSGBOX_HELPER_PATH, dir_ / "tidelarn-msgbox");
  struct Case {
    std::string program;
    std::vector<std::string> args;
    int exitCode;
    bool message;  // the helper's caller speaks for it
  };
  const Case cases[] = {
      {program_, {}, 1, true},
      {dir_ / "tidelarn-msgbox", {"Titel", "Text", "0"}, kMsgBoxNoDisplay, false},
  };
  for (const Case& c : cases) {
    TFlakyDisplay display;
    ASSERT_FALSE(display.Name().empty());
    TNoDisplay none;
    ProcessResult r = RunProcess(
        c.program, c.args, {"XDG_CONFIG_HOME=" + (dir_ / "config"), "DISPLAY=" + display.Name()});
    EXPECT_EQ(r.exitCode, c.exitCode) << c.program << ": " << r.err;
    const std::string message = "\"DISPLAY=" + display.Name() + "\" ist nicht erreichbar";
    EXPECT_EQ(r.err.find(message) != std::string::npos, c.message) << r.err;
  }
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
