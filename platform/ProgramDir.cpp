#include "ProgramDir.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "SafeFile.h"
#include "SysUtils.h"
#include "Translate.h"

namespace {

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// The kernel's link already names the real path: no realpath walk over its
// components at every start.
std::string ComputeProgramDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string_view exe(buf, size_t(n));
  // An executable replaced while it runs (an update) is still in its folder.
  if (exe.ends_with(" (deleted)")) exe.remove_suffix(10);
  std::string dir = ExtractFilePath(exe);
  return dir.empty() ? "./" : dir;
}

std::string& ProgramDirStorage() {
  static std::string dir = ComputeProgramDir();
  return dir;
}

std::string Absolute(std::string_view path) {
  if (!path.empty() && path[0] == '/') return std::string(path);
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return std::string(path);
  return JoinPath(cwd, path);
}

// A folder that is not there holds no file; any other failure to read it is
// no answer at all: a listing cut short by a failing disk or server would
// make a settings file that is there look absent, and the defaults written
// for it would replace the user's settings.
[[noreturn]] void RaiseListError(const std::string& folder, int err) {
  throw EInOutError(FolderReadErrorText(folder, err));
}

bool FolderAbsent(int err) { return err == ENOENT || err == ENOTDIR; }

// Makes each missing folder of Path; the folders it creates get Mode. 0 when
// Path is a folder then, else the reason it is none.
int MakeFolders(const std::string& path, mode_t mode) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), mode);
  if (mkdir(path.c_str(), mode) == 0) return 0;
  const int err = errno;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : err;
  // A folder whose status cannot be read is there: its own reason, not "exists".
  return FolderAbsent(errno) ? err : errno;
}

}  // namespace

std::string UserConfigDir() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && *home == '/') return JoinPath(home, ".config");
  // A news server may start the runner with an empty environment: the
  // account's own home folder then, not the program folder. The runner is
  // linked statically, without the name services: the local user list.
  std::string users;
  if (ReadWholeFile("/etc/passwd", users) != 0) return {};
  const std::string uid = std::to_string(geteuid());
  for (std::string_view line : SplitLineViews(users)) {
    // name:password:uid:gid:comment:home:shell
    std::vector<std::string_view> field;
    for (size_t start = 0;;) {
      const size_t colon = line.find(':', start);
      field.push_back(line.substr(start, colon - start));
      if (colon == std::string_view::npos) break;
      start = colon + 1;
    }
    if (field.size() >= 6 && field[2] == uid && field[5].starts_with('/'))
      return JoinPath(std::string(field[5]), ".config");
  }
  return {};
}

namespace {

// The spellings of the profile file that a portable install may hold.
bool HoldsProfileFile(const std::string& dir) {
  for (const char* name : {"Tidelarn.ini", "tidelarn.ini", "Tidelarn.Ini", "TIDELARN.INI"})
    if (FileExistsChecked(dir + name)) return true;
  return false;
}

std::string ChooseSettingsDir() {
  if (const char* home = std::getenv("TIDELARN_HOME"); home && *home)
    return WithSlash(Absolute(home));
  const std::string& programs = ProgramDir();
  // An installed program folder (its data folder beside it) stays clean even
  // for root, who may write anywhere.
  if (access(programs.c_str(), W_OK) == 0 && !DirectoryExistsChecked(DataDir())) return programs;
  if (HoldsProfileFile(programs)) return programs;
  std::string config = UserConfigDir();
  // No home to keep settings in: writes into the program folder fail loudly.
  if (config.empty()) return programs;
  std::string dir = JoinPath(config, "tidelarn");
  // Not even a folder is made behind another user's link.
  ResolveLinks(dir);
  // Settings written nowhere would be asked for again at every run.
  if (int err = MakeFolders(dir, 0700))
    throw EInOutError(TranslateFmt("SettingsDir.NotMade",
                                   "Der Einstellungsordner %s kann nicht angelegt werden (%s)",
                                   {dir, ErrorReason(err)}));
  return WithSlash(dir);
}

// Anyone could plant a profile in a folder every user may write, and with it
// a script that runs with the current user's rights: such a folder is refused,
// never replaced by another.
std::string ComputeSettingsDir() {
  std::string dir = ChooseSettingsDir();
  // Another user's link on the way would place our settings, reports and
  // hand-over files in their folder: refused before anything is made there.
  ResolveLinks(dir);
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0) {
    // Not made yet passes (writes into it fail loudly); unreadable is no answer.
    if (!FolderAbsent(errno)) RaiseListError(dir, errno);
  } else if ((st.st_mode & S_IWOTH) != 0)
    throw EInOutError(TranslateFmt("SettingsDir.WorldWritable",
                                   "Der Einstellungsordner %s wird nicht verwendet: jeder "
                                   "Benutzer darf in ihm schreiben",
                                   {dir}));
  return dir;
}

std::optional<std::string>& SettingsDirStorage() {
  static std::optional<std::string> dir;
  return dir;
}

// One listing per folder and process, for the names looked up without regard
// to case (most of them do not exist at all). A listing is used again only
// while the folder is unchanged, and only when the folder had not changed for
// a second before it was read: a file added in the same clock tick as the
// listing leaves the folder's time as it was.
struct FolderListing {
  struct stat st {};
  bool trusted = false;
  std::vector<std::string> names;
};

std::map<std::string, FolderListing>& Listings() {
  static std::map<std::string, FolderListing> listings;
  return listings;
}

bool SameFolder(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
         a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The listing of a folder read before and unchanged since, else none.
const std::vector<std::string>* KnownListing(const std::string& folder) {
  auto& listings = Listings();
  auto it = listings.find(folder);
  if (it == listings.end() || !it->second.trusted) return nullptr;
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !SameFolder(it->second.st, st)) return nullptr;
  return &it->second.names;
}

// The folder's names, or none when there is no such folder; EInOutError when
// it cannot be read whole. Only a whole listing is kept.
const std::vector<std::string>* ListFolder(const std::string& folder) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) {
    const int err = errno;
    if (FolderAbsent(err)) return nullptr;
    RaiseListError(folder, err);
  }
  if (!S_ISDIR(st.st_mode)) return nullptr;
  auto& listings = Listings();
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(folder.c_str()), closedir);
  if (!d) {
    const int err = errno;
    if (FolderAbsent(err)) return nullptr;
    RaiseListError(folder, err);
  }
  FolderListing listing;
  listing.st = st;
  listing.trusted = st.st_mtim.tv_sec + 1 < now.tv_sec && st.st_ctim.tv_sec + 1 < now.tv_sec;
  int err = 0;
  for (;;) {
    errno = 0;
    dirent* e = readdir(d.get());
    if (!e) {
      err = errno;
      break;
    }
    listing.names.emplace_back(e->d_name);
  }
  if (err != 0) {
    // An older listing of the folder is no answer either: it changed since.
    listings.erase(folder);
    RaiseListError(folder, err);
  }
  return &(listings[folder] = std::move(listing)).names;
}

// The path of Name in Dir when it exists in any case. The exact name is tried
// first; a folder already listed answers from its listing. Answered tells
// whether a listing answered.
std::optional<std::string> FindFileCI(std::string_view dir, std::string_view name,
                                      bool* answered = nullptr) {
  std::string exact = JoinPath(NativePath(dir), NativePath(name));
  std::string folder = ExtractFilePath(exact);
  std::string leaf = ExtractFileName(exact);
  const std::string listed = folder.empty() ? "./" : folder;
  const std::vector<std::string>* names = KnownListing(listed);
  if (!names) {
    struct stat st;
    if (lstat(exact.c_str(), &st) == 0) return exact;
    // Only a name that is not there may be looked for in other spellings.
    if (!FolderAbsent(errno)) throw EInOutError(ReadErrorText(exact, errno));
    names = ListFolder(listed);
  }
  if (!names) return std::nullopt;
  if (answered) *answered = true;
  const std::string* found = nullptr;
  for (const std::string& n : *names) {
    if (n == leaf) return exact;
    if (strcasecmp(n.c_str(), leaf.c_str()) != 0) continue;
    // Several spellings: take the first in byte order, so the choice is stable.
    if (!found || *found > n) found = &n;
  }
  if (!found) return std::nullopt;
  return folder + *found;
}

}  // namespace

const std::string& ProgramDir() { return ProgramDirStorage(); }

void SetProgramDir(std::string dir) {
  ProgramDirStorage() = WithSlash(std::move(dir));
  SettingsDirStorage() = ProgramDirStorage();
}

const std::string& SettingsDir() {
  auto& dir = SettingsDirStorage();
  if (!dir) dir = ComputeSettingsDir();
  return *dir;
}

void SetSettingsDir(std::string dir) { SettingsDirStorage() = WithSlash(std::move(dir)); }

void ResetSettingsDir() { SettingsDirStorage().reset(); }

std::string DataDir() {
  std::string dir = ProgramDir();
  if (dir.size() > 1) dir.pop_back();
  return ExtractFilePath(dir) + "share/tidelarn/";
}

namespace {

// The settings folder (a user's own copy), the installed data folder, and the
// program folder of a portable install whose settings are elsewhere.
std::vector<std::string> ShippedFolders() {
  std::vector<std::string> folders{SettingsDir(), DataDir()};
  if (ProgramDir() != SettingsDir()) folders.push_back(ProgramDir());
  return folders;
}

}  // namespace

std::string ShippedFile(std::string_view name) {
  for (const std::string& folder : ShippedFolders()) {
    auto found = FindFileCI(folder, name);
    if (!found) continue;
    // A user's own copy steers the programs like the settings beside it.
    if (folder == SettingsDir()) CheckTrustedFile(*found);
    return *found;
  }
  return JoinPath(SettingsDir(), NativePath(name));
}

std::string ShippedFileFolders() {
  std::string list;
  for (const std::string& folder : ShippedFolders()) list += (list.empty() ? "" : ", ") + folder;
  return list;
}

std::string SiblingProgram(std::string_view name) {
  std::string beside = ProgramDir() + std::string(name);
  if (FileExistsChecked(beside)) return beside;
  std::string shipped = DataDir() + std::string(name);
  return FileExistsChecked(shipped) ? shipped : beside;
}

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
  return RegularFileStatus(NativePath(path), st);
}

bool DirectoryExists(std::string_view path) {
  struct stat st;
  return stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExistsChecked(std::string_view path) {
  const std::string native = NativePath(path);
  struct stat st;
  if (RegularFileStatus(native, st)) return true;
  const int err = errno;
  // Something other than a regular file is there: no such file either.
  if (FolderAbsent(err) || err == EISDIR || err == EINVAL) return false;
  throw EInOutError(ReadErrorText(native, err));
}

bool DirectoryExistsChecked(std::string_view path) {
  const std::string native = NativePath(path);
  struct stat st;
  if (stat(native.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (FolderAbsent(errno)) return false;
  RaiseListError(native, errno);
}

std::string ResolveFileCI(std::string_view dir, std::string_view name) {
  if (auto found = FindFileCI(dir, name)) return *found;
  return JoinPath(NativePath(dir), NativePath(name));
}

std::string SettingsFile(std::string_view name) {
  bool missing;
  return SettingsFile(name, missing);
}

std::string SettingsFile(std::string_view name, bool& missing) {
  std::string dir, leaf;
  if (ExtractFilePath(name).empty()) {
    dir = SettingsDir();
    leaf = name;
  } else {
    std::string native = NativePath(name);
    dir = ExtractFilePath(native);
    leaf = ExtractFileName(native);
  }
  bool listed = false;
  auto found = FindFileCI(dir, leaf, &listed);
  missing = !found && listed;
  return found ? *found : JoinPath(NativePath(dir), NativePath(leaf));
}
