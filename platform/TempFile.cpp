#include "TempFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"

namespace {

std::string TryCreate(const std::string& dir, std::string_view prefix, std::string_view ext) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    unsigned long long unique = (unsigned long long)getpid() * 1000003ULL ^ (unsigned long long)now ^
                                ((unsigned long long)counter++ << 20);
    char part[20];
    std::snprintf(part, sizeof part, "%08llX", unique & 0xFFFFFFFFULL);
    std::string path = JoinPath(dir, std::string(prefix) + part + std::string(ext));
    if (TMemoryFiles* memory = MemoryFiles()) {
      if (memory->files.try_emplace(path).second) return path;
      continue;
    }
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
      close(fd);
      return path;
    }
    if (errno != EEXIST) return {};
  }
  return {};
}

}  // namespace

std::string CreateUniqueFile(std::string_view dir, std::string_view prefix, std::string_view ext) {
  std::string first = dir.empty() ? SettingsDir() : NativePath(dir);
  std::string path = TryCreate(first, prefix, ext);
  if (path.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    path = TryCreate(tmp && *tmp ? tmp : "/tmp", prefix, ext);
  }
  if (path.empty())
    throw EInOutError(FromUtf8("Temporäre Datei kann nicht angelegt werden: ") + first);
  return path;
}
