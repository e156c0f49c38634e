#include "NewsServer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "Translate.h"

namespace {

TNewsServerFactory& Factory() {
  static TNewsServerFactory factory;
  return factory;
}

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

[[noreturn]] void RaiseFileError(std::string_view id, std::string_view text,
                                 const std::string& path, int err) {
  throw ENewsServerError(TranslateFmt(id, text, {path, ErrorReason(err)}));
}

// The whole file; Exists tells whether there was one, a regular file.
std::string ReadFileIfAny(const std::string& path, bool& exists) {
  std::string data;
  exists = ReadRegularFile(path, data);
  if (!exists && errno != ENOENT && errno != ENOTDIR && errno != EISDIR && errno != EINVAL)
    RaiseFileError("NewsServer.ReadError", "\"%s\" kann nicht gelesen werden: %s", path, errno);
  return exists ? data : std::string();
}

// One write with O_APPEND, so lines of several writers do not interleave.
void AppendLine(const std::string& path, const std::string& line) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    RaiseFileError("NewsServer.WriteError", "\"%s\" kann nicht geschrieben werden: %s", path,
                   errno);
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      close(fd);
      RaiseFileError("NewsServer.WriteError", "\"%s\" kann nicht geschrieben werden: %s", path,
                     err);
    }
    done += size_t(n);
  }
  if (close(fd) != 0)
    RaiseFileError("NewsServer.WriteError", "\"%s\" kann nicht geschrieben werden: %s", path,
                   errno);
}

// An article number as the file names it: decimal digits without a leading
// zero, 1 .. 2^31 - 1.
bool ArticleNumber(const char* name, int32_t& number) {
  if (name[0] < '1' || name[0] > '9') return false;
  int64_t v = 0;
  for (const char* p = name; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
    if (v > INT32_MAX) return false;
  }
  number = int32_t(v);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------

std::unique_ptr<TNewsServer> CreateNewsServer() {
  if (Factory()) return Factory()();
  return std::make_unique<TFileNewsServer>(NewsServerDir());
}

void SetNewsServerFactory(TNewsServerFactory factory) { Factory() = std::move(factory); }

std::string NewsServerDir() {
  const char* env = std::getenv("TIDELARN_NEWSSERVER");
  if (!env || !*env) return SettingsDir();
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::absolute(env, ec);
  return WithSlash(ec ? std::string(env) : dir.string());
}

// ---------------------------------------------------------------------------

TFileNewsServer::TFileNewsServer(std::string folder) : folder_(WithSlash(std::move(folder))) {
  RequireRunning();
}

void TFileNewsServer::RequireRunning() const {
  if (!FileExists(ResolveFileCI(folder_, "Hamster.ini")))
    throw ENewsServerError(TranslateFmt(
        "NewsServer.NotRunning", "Der Newsserver läuft nicht (keine Hamster.ini in \"%s\").",
        {folder_}));
}

std::string TFileNewsServer::ControlGetVersion() {
  RequireRunning();
  return "1.4.0.0";
}

std::string TFileNewsServer::ControlGetPath() {
  RequireRunning();
  return folder_;
}

std::string TFileNewsServer::ControlGetGroupsPath() {
  RequireRunning();
  return folder_ + "Groups/";
}

std::string TFileNewsServer::ControlGetMailsPath() {
  RequireRunning();
  return folder_ + "Mails/";
}

std::string TFileNewsServer::ControlGetNewsOutPath() {
  RequireRunning();
  return folder_ + "Groups/News.Out/";
}

std::string TFileNewsServer::ControlGetMailsOutPath() {
  RequireRunning();
  return folder_ + "Mails/Mail.Out/";
}

void TFileNewsServer::ControlAddLog(const std::string& text, int32_t level) {
  RequireRunning();
  std::string flat = text;
  for (char& c : flat)
    if (c == '\r' || c == '\n') c = ' ';
  const std::string dir = folder_ + "Logs";
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
    RaiseFileError("NewsServer.WriteError", "\"%s\" kann nicht geschrieben werden: %s", dir,
                   errno);
  AppendLine(dir + "/control.log",
             LocalTimeText("%Y-%m-%d %H:%M:%S") + " [" + IntToStr(level) + "] " + flat + "\n");
}

const std::vector<std::string>& TFileNewsServer::Groups() {
  RequireRunning();
  const std::string path = folder_ + "Groups/groups.lst";
  // Read again whenever the file changed, but not for every name asked.
  struct stat st;
  std::string stamp;
  if (stat(path.c_str(), &st) == 0)
    stamp = IntToStr(int64_t(st.st_ino)) + ":" + IntToStr(int64_t(st.st_size)) + ":" +
            IntToStr(int64_t(st.st_mtim.tv_sec)) + "." + IntToStr(int64_t(st.st_mtim.tv_nsec));
  if (stamp.empty() || stamp != groupsStamp_) {
    bool exists = false;
    groups_ = ParseGroupList(ReadFileIfAny(path, exists));
    groupsStamp_ = stamp;
  }
  return groups_;
}

int32_t TFileNewsServer::NewsGrpCount() { return int32_t(Groups().size()); }

std::string TFileNewsServer::NewsGrpName(int32_t index) {
  const std::vector<std::string>& groups = Groups();
  if (index < 0 || size_t(index) >= groups.size())
    throw ENewsServerError(TranslateFmt("NewsServer.NoGroupIndex",
                                        "Es gibt keine Gruppe mit der Nummer %d.", {index}));
  return groups[size_t(index)];
}

int32_t TFileNewsServer::NewsGrpOpen(const std::string& groupName) {
  const std::string* found = nullptr;
  for (const std::string& g : Groups()) {
    if (g == groupName) {
      found = &g;
      break;
    }
    if (!found && SameText(g, groupName)) found = &g;
  }
  if (!found)
    throw ENewsServerError(TranslateFmt("NewsServer.UnknownGroup",
                                        "Die Gruppe \"%s\" gibt es nicht.", {groupName}));
  if (nextHandle_ == INT32_MAX) nextHandle_ = 1;
  while (open_.count(nextHandle_)) ++nextHandle_;
  open_[nextHandle_] = *found;
  return nextHandle_++;
}

const std::string& TFileNewsServer::OpenGroup(int32_t handle) const {
  auto it = open_.find(handle);
  if (it == open_.end())
    throw ENewsServerError(TranslateFmt("NewsServer.InvalidHandle",
                                        "Keine geöffnete Gruppe mit dem Handle %d.", {handle}));
  return it->second;
}

void TFileNewsServer::NewsGrpClose(int32_t handle) {
  RequireRunning();
  OpenGroup(handle);
  open_.erase(handle);
}

void TFileNewsServer::ArticleRange(int32_t handle, int32_t& lo, int32_t& hi) {
  RequireRunning();
  const std::string dir = folder_ + "Groups/" + OpenGroup(handle) + "/";
  lo = INT32_MAX;
  hi = 0;
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
  if (d) {
    while (dirent* e = readdir(d.get())) {
      int32_t n;
      if (!ArticleNumber(e->d_name, n)) continue;
      struct stat st;
      if (stat((dir + e->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      lo = std::min(lo, n);
      hi = std::max(hi, n);
    }
  }
  if (hi == 0) lo = 1;
}

int32_t TFileNewsServer::NewsArtNoMin(int32_t handle) {
  int32_t lo, hi;
  ArticleRange(handle, lo, hi);
  return lo;
}

int32_t TFileNewsServer::NewsArtNoMax(int32_t handle) {
  int32_t lo, hi;
  ArticleRange(handle, lo, hi);
  return hi;
}

std::string TFileNewsServer::NewsArtText(int32_t handle, int32_t artNo) {
  RequireRunning();
  const std::string& group = OpenGroup(handle);
  if (artNo < 1) return {};
  bool exists = false;
  return ToCrLf(ReadFileIfAny(folder_ + "Groups/" + group + "/" + IntToStr(artNo), exists));
}

void TFileNewsServer::hs2AsyncCommand(const std::string& command) {
  RequireRunning();
  if (command.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
    throw ENewsServerError(Translate("NewsServer.CommandLineBreak",
                                     "Ein Befehl für den Newsserver muss in einer Zeile stehen."));
  AppendLine(folder_ + "hs2.queue", command + "\n");
}

// ---------------------------------------------------------------------------

std::vector<std::string> ParseGroupList(std::string_view text) {
  std::vector<std::string> groups;
  for (const std::string& line : SplitLines(text)) {
    std::string name = Trim(line);
    if (name.empty() || name[0] == '#' || !IsValidGroupName(name)) continue;
    groups.push_back(std::move(name));
  }
  return groups;
}

bool IsValidGroupName(std::string_view name) {
  return !name.empty() && name[0] != '.' &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::string ToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}
