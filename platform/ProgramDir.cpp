#include "ProgramDir.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace {

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string ComputeProgramDir() {
  if (const char* home = std::getenv("TIDELARN_HOME"); home && *home) return WithSlash(home);
  char buf[PATH_MAX];
  if (realpath("/proc/self/exe", buf)) return ExtractFilePath(buf);
  return "./";
}

std::string& ProgramDirStorage() {
  static std::string dir = ComputeProgramDir();
  return dir;
}

}  // namespace

const std::string& ProgramDir() { return ProgramDirStorage(); }

void SetProgramDir(std::string dir) { ProgramDirStorage() = WithSlash(std::move(dir)); }

std::string NativePath(std::string_view path) {
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  // The Windows temporary folder of default settings and stored profiles.
  if (p.size() >= 7 && strncasecmp(p.c_str(), "c:/temp", 7) == 0 && (p.size() == 7 || p[7] == '/'))
    p.replace(0, 7, "/tmp");
  return p;
}

bool IsAbsolutePath(std::string_view path) {
  return !path.empty() && (path[0] == '/' || path[0] == '\\');
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string r(dir);
  if (r.back() != '/' && r.back() != '\\') r += '/';
  while (!name.empty() && (name.front() == '/' || name.front() == '\\')) name.remove_prefix(1);
  r += name;
  return r;
}

std::string ExtractFilePath(std::string_view path) {
  size_t p = path.find_last_of("/\\");
  return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string ExtractFileName(std::string_view path) {
  size_t p = path.find_last_of("/\\");
  return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string ExtractFileExt(std::string_view path) {
  size_t p = path.find_last_of("./\\");
  if (p == std::string_view::npos || path[p] != '.') return {};
  return std::string(path.substr(p));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  size_t p = path.find_last_of("./\\");
  std::string base(path);
  if (p != std::string_view::npos && path[p] == '.') base.resize(p);
  return base + std::string(ext);
}

bool FileExists(std::string_view path) {
  struct stat st;
  return stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
  struct stat st;
  return stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ResolveFileCI(std::string_view dir, std::string_view name) {
  std::string exact = JoinPath(NativePath(dir), NativePath(name));
  struct stat st;
  if (lstat(exact.c_str(), &st) == 0) return exact;
  std::string folder = ExtractFilePath(exact);
  std::string leaf = ExtractFileName(exact);
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (!d) return exact;
  std::string found;
  while (dirent* e = readdir(d.get())) {
    if (strcasecmp(e->d_name, leaf.c_str()) != 0) continue;
    // Several spellings: take the first in byte order, so the choice is stable.
    if (found.empty() || found > e->d_name) found = e->d_name;
  }
  return found.empty() ? exact : folder + found;
}

std::string ProgramFile(std::string_view name) {
  if (ExtractFilePath(name).empty()) return ResolveFileCI(ProgramDir(), name);
  std::string native = NativePath(name);
  return ResolveFileCI(ExtractFilePath(native), ExtractFileName(native));
}
