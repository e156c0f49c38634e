// Helpers shared by the tests: temporary folders, files and running the built programs.
#pragma once

#include <string>
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

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

struct ProcessResult {
  int exitCode = -1;
  std::string out, err;
};
// Runs a program with arguments (no shell) and an optional extra environment
// ("NAME=value"), collecting its output.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {}, const std::string& cwd = {});

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
