#include "FileWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "ProgramDir.h"

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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

std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) {
  std::vector<std::string> names;
  std::string folder = NativePath(dir);
  if (folder.empty()) folder = "./";
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(folder.c_str()), closedir);
  if (!d) return names;
  while (dirent* e = readdir(d.get())) {
    std::string_view name = e->d_name;
    if (name.empty() || name.front() == '.' || !MatchesMask(name, mask)) continue;
    if (!IsRegularFile(JoinPath(folder, name))) continue;
    names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TFileWalk::TFileWalk(std::string_view dir, std::string_view mask)
    : dir_(NativePath(dir)), names_(ListFiles(dir, mask)) {}

bool TFileWalk::Next(std::string& name) {
  while (next_ < names_.size()) {
    const std::string& candidate = names_[next_++];
    if (!IsRegularFile(JoinPath(dir_.empty() ? "./" : dir_, candidate))) continue;
    name = candidate;
    return true;
  }
  return false;
}
