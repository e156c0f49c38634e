// Walking the files of a folder by a name mask ("*.msg").
//
// The folder is read once into a snapshot sorted by name, so files that the
// walk itself creates or renames are not visited, and the order does not
// depend on the file system. Entries that vanish before their turn are skipped.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// True when Name matches Mask: "*" any run of characters, "?" one character,
// letters compared without regard to ASCII case. "*.*" matches every name.
bool MatchesMask(std::string_view name, std::string_view mask);

// Told of what a walk cannot look at, with the system's reason: the folder
// itself when it cannot be listed (Folder true; what was read before the
// failure is still walked), or a file whose status cannot be read, a dangling
// link included. An entry that vanished is no failure.
using TWalkFailure = std::function<void(const std::string& path, int err, bool folder)>;

// Names (not paths) of the regular files of Dir matching Mask, sorted by byte
// order; dot-files and everything that is not a regular file (or a link to one)
// are left out. A missing or unreadable folder gives an empty list; Failed
// hears of it and of files whose status cannot be read.
std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask,
                                   const TWalkFailure& failed = {});

// A walk over ListFiles(Dir, Mask, Failed) taken at construction.
class TFileWalk {
public:
  TFileWalk(std::string_view dir, std::string_view mask, TWalkFailure failed = {});
  // The next name whose file still exists as a regular file; false at the end.
  bool Next(std::string& name);
  size_t Count() const { return names_.size(); }

private:
  std::string dir_;
  TWalkFailure failed_;
  std::vector<std::string> names_;
  size_t next_ = 0;
};
