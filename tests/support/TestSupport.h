// Helpers shared by the tests: temporary folders, files and running the built programs.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A fresh folder under $TMPDIR that is removed with everything in it.
class TempDir {
public:
  TempDir();
  // The same under Base instead.
  explicit TempDir(const std::string& base);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  // Path of a file in the folder.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

// A fresh folder for sockets and for what makes its own (gpg-agent): a
// socket's whole path must fit in sun_path (108 bytes), so it lies under /tmp
// whatever TMPDIR holds. Only the owner may enter it (mkdtemp's 0700).
class SocketDir : public TempDir {
public:
  SocketDir() : TempDir("/tmp") {}
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

// S as one word of a shell command, whatever it holds (blanks, quotes, $).
std::string ShellQuote(const std::string& s);

struct ProcessResult {
  int exitCode = -1;
  std::string out, err;
};
// Runs a program with arguments (no shell) and an optional extra environment
// ("NAME=value"), collecting its output.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {}, const std::string& cwd = {});

// An X display number that is the test's own while the object lives: neither
// a socket file nor a lock file of a server exists for it, and its abstract
// socket (which X clients try first, and which a server starting on the number
// would need) is bound here. Not listening, every connection to it is refused:
// a display that is certainly unreachable. Listening, the test accepts the
// connections on Fd() and plays the server.
class TOwnDisplay {
public:
  explicit TOwnDisplay(bool listening = false);
  ~TOwnDisplay();
  TOwnDisplay(const TOwnDisplay&) = delete;
  TOwnDisplay& operator=(const TOwnDisplay&) = delete;
  const std::string& Name() const { return name_; }  // ":n"
  int Fd() const { return fd_; }

private:
  int fd_ = -1;
  std::string name_;
};

// Whether strace can trace here: it injects the failures no file system makes
// on request. Tests that need it skip without it.
bool StraceWorks();
// Runs Program under "strace -f -qq" with the given strace options (no leak
// checker of a sanitizer build: it cannot work under ptrace).
ProcessResult RunTraced(const std::vector<std::string>& straceOptions, const std::string& program,
                        const std::vector<std::string>& args, std::vector<std::string> env = {},
                        const std::string& cwd = {});

// Copies the built Only_VQ (and the data files it needs) into Dir and returns its path.
std::string InstallOnlyVQ(const std::string& dir);

// Loads the shared charset table from the source tree's data/charsets.dat
// (once per process; the program directory is left as it was).
void LoadCharsetTables();

// Name of a row of a parameterised test: "c" and the row's number, then the
// row's text with every run of other characters than ASCII letters and digits
// as one "_", at most 40 of them. Unique through the number, the same in every
// build, and never mistaken by ctest's discovery for a row number alone.
std::string ParamName(std::size_t index, std::string_view text);

// Name generator for INSTANTIATE_TEST_SUITE_P naming each row by one of its
// text fields: NamedBy<&Case::text>().
template <auto Field>
struct NamedBy {
  template <class Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
    return ParamName(info.index, info.param.*Field);
  }
};
