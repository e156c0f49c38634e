#include "FileWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "ProgramDir.h"

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Whether Path is a regular file (or a link to one). A status that cannot be
// read is told to Failed, unless the entry is simply gone: a link that leads
// nowhere is still there, and may be all that is left of a message.
bool IsRegularFile(const std::string& path, const TWalkFailure& failed) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode);
  int err = errno;
  if ((err == ENOENT || err == ENOTDIR) && lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    err = errno;
  }
  if (failed) failed(path, err, false);
  return false;
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*") return true;
  // Iterative glob with one backtrack point: linear in practice, never recursive.
  size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() && (mask[m] == '?' || Lower(mask[m]) == Lower(name[n]))) {
      ++m;
      ++n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask,
                                   const TWalkFailure& failed) {
  std::vector<std::string> names;
  std::string folder = NativePath(dir);
  if (folder.empty()) folder = "./";
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(folder.c_str()), closedir);
  if (!d) {
    if (failed) failed(folder, errno, true);
    return names;
  }
  for (;;) {
    // Only errno tells a failed read from the end of the folder.
    errno = 0;
    dirent* e = readdir(d.get());
    if (!e) {
      if (errno != 0 && failed) failed(folder, errno, true);
      break;
    }
    std::string_view name = e->d_name;
    if (name.empty() || name.front() == '.' || !MatchesMask(name, mask)) continue;
    if (!IsRegularFile(JoinPath(folder, name), failed)) continue;
    names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TFileWalk::TFileWalk(std::string_view dir, std::string_view mask, TWalkFailure failed)
    : dir_(NativePath(dir)), failed_(std::move(failed)), names_(ListFiles(dir, mask, failed_)) {}

bool TFileWalk::Next(std::string& name) {
  while (next_ < names_.size()) {
    const std::string& candidate = names_[next_++];
    if (!IsRegularFile(JoinPath(dir_.empty() ? "./" : dir_, candidate), failed_)) continue;
    name = candidate;
    return true;
  }
  return false;
}
