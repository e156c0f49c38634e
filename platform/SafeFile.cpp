#include "SafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/openat2.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>
#include <set>
#include <utility>

#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "Translate.h"

namespace {

constexpr size_t kBufferSize = 1 << 16;

std::string Reason(int err) { return " (" + ErrorReason(err) + ")"; }

[[noreturn]] void RaiseWriteError(const std::string& path, int err) {
  throw EInOutError(WriteErrorText(path, err));
}

std::string FolderOf(const std::string& path) {
  std::string dir = ExtractFilePath(path);
  return dir.empty() ? "./" : dir;
}

// The files renamed in the folder are complete either way; only their new
// names may not have reached the disk, so a failure is told, not raised.
void SyncFolderNow(const std::string& folder, bool quiet = false) {
  int err = 0;
  int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) {
    err = errno;
  } else {
    // EINVAL, EROFS: a file system that keeps no folder data to sync.
    if (fsync(dfd) != 0 && errno != EINVAL && errno != EROFS) err = errno;
    close(dfd);
  }
  if (err != 0 && !quiet)
    SayOnStderr(TranslateFmt("FolderSyncError",
                             "Der Ordner %s kann nicht auf die Platte geschrieben werden",
                             {folder}) +
                Reason(err));
}

// The folders waiting for their sync while a TFolderSyncs is open.
int gFolderSyncDepth = 0;
// While a TQuietFolderSyncs is open: synced at once, failures untold.
int gQuietSyncDepth = 0;
std::set<std::string>& PendingFolders() {
  static std::set<std::string> folders;
  return folders;
}

void SyncFolder(const std::string& path) {
  if (gQuietSyncDepth > 0)
    SyncFolderNow(FolderOf(path), true);
  else if (gFolderSyncDepth > 0)
    PendingFolders().insert(FolderOf(path));
  else
    SyncFolderNow(FolderOf(path));
}

TReplacementBatch* gCurrentBatch = nullptr;

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// The marker between the target's name and mkstemp's six characters: no
// user's file is named like that, so the cleanup never takes one.
constexpr std::string_view kTempMarker = ".tidelarn-";
constexpr size_t kUniqueChars = 6;
constexpr time_t kStaleSeconds = 3600;

// A hidden unused name beside Path for a file made by link or rename.
std::string HiddenSibling(const std::string& path) {
  static std::mt19937 random{std::random_device{}()};
  char part[16];
  std::snprintf(part, sizeof part, "%06X", unsigned(random() & 0xFFFFFF));
  // The temporary files' marker, so that one a kill left behind is cleaned up too.
  return FolderOf(path) + "." + ExtractFileName(path).substr(0, 200) + std::string(kTempMarker) +
         part;
}

// Writes the views from Pieces in as few calls as the system allows.
bool WriteAllPieces(int fd, const std::string_view* pieces, size_t count, int& err) {
  constexpr size_t kMaxIov = IOV_MAX < 1024 ? IOV_MAX : 1024;
  iovec iov[kMaxIov];
  size_t next = 0;     // the first piece not yet in flight
  size_t skip = 0;     // bytes of pieces[next] already written
  while (next < count) {
    size_t n = 0;
    for (size_t i = next; i < count && n < kMaxIov; ++i) {
      std::string_view piece = pieces[i];
      if (i == next) piece.remove_prefix(skip);
      if (piece.empty()) continue;
      iov[n++] = {const_cast<char*>(piece.data()), piece.size()};
    }
    if (n == 0) return true;
    ssize_t done = writev(fd, iov, int(n));
    if (done < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    if (done == 0) {
      err = ENOSPC;
      return false;
    }
    // Moves past what was written, partial pieces included.
    size_t left = size_t(done);
    while (next < count) {
      size_t rest = pieces[next].size() - skip;
      if (left < rest) {
        skip += left;
        break;
      }
      left -= rest;
      skip = 0;
      ++next;
    }
  }
  return true;
}

bool WriteAll(int fd, std::string_view data, int& err) {
  return WriteAllPieces(fd, &data, 1, err);
}

// A folder every user may write: what is created there is private.
bool SharedFolder(const std::string& folder) {
  struct stat st {};
  return stat(folder.c_str(), &st) == 0 && (st.st_mode & (S_IWOTH | S_ISVTX)) != 0;
}

bool EndsInUniquePart(std::string_view name) {
  if (name.size() < kUniqueChars) return false;
  for (char c : name.substr(name.size() - kUniqueChars))
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

std::function<int(const std::string&)>& ReadFault() {
  static std::function<int(const std::string&)> fault;
  return fault;
}

TMemoryFiles* gMemoryFiles = nullptr;

}  // namespace

bool IsTemporaryName(std::string_view name) {
  const size_t tail = kTempMarker.size() + kUniqueChars;
  return name.size() > tail + 1 && name.front() == '.' &&
         name.substr(name.size() - tail, kTempMarker.size()) == kTempMarker &&
         EndsInUniquePart(name);
}

void RemoveStaleTemporaries(const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> done;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!done.insert(folder).second) return;
  }
  int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  DIR* dir = fdopendir(dfd);
  if (!dir) {
    close(dfd);
    return;
  }
  const time_t limit = time(nullptr) - kStaleSeconds;
  const uid_t me = geteuid();
  while (dirent* e = readdir(dir)) {
    if (!IsTemporaryName(e->d_name)) continue;
    struct stat st {};
    if (fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != me || st.st_nlink != 1 || st.st_mtime >= limit)
      continue;
    unlinkat(dfd, e->d_name, 0);
  }
  closedir(dir);
}

// ---------------------------------------------------------------------------
// Folders other users may write

namespace {

bool TrustedOwner(uid_t uid) { return uid == 0 || uid == geteuid(); }

bool OthersMayWriteStatus(const struct stat& folder) {
  return (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 || !TrustedOwner(folder.st_uid);
}

[[noreturn]] void RaiseForeignFile(const std::string& path, uid_t owner) {
  throw EUntrustedFile(TranslateFmt("SafeFile.ForeignFile",
                                    "Die Datei %s wird nicht verwendet: sie gehört einem anderen "
                                    "Benutzer (%d) und liegt in einem Ordner, den auch andere "
                                    "Benutzer beschreiben dürfen",
                                    {path, int64_t(owner)}));
}

// A chain of links that was not followed to its end leads somewhere unchecked.
[[noreturn]] void RaiseUnresolved(const std::string& path, int err) {
  throw EUntrustedFile(TranslateFmt("SafeFile.LinksNotFollowed",
                                    "Den Verknüpfungen von %s kann nicht gefolgt werden",
                                    {path}) +
                       Reason(err));
}

// The target of the link Path, when it is one that may be followed: -1 when
// it is no link (any more). Where others may write, the owner and the target
// are read from the same link, so that one swapped in meanwhile cannot pass
// as ours; the kernel's protected_symlinks would not guard our own walk.
ssize_t ReadFollowableLink(const std::string& path, char* buf, size_t size) {
  ssize_t n = readlink(path.c_str(), buf, size);
  if (n <= 0 || !OthersMayWrite(FolderOf(path))) return n;
  int fd = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  n = fstat(fd, &st) == 0 && S_ISLNK(st.st_mode) ? readlinkat(fd, "", buf, size) : -1;
  close(fd);
  if (n > 0 && !TrustedOwner(st.st_uid))
    throw EUntrustedFile(TranslateFmt("SafeFile.ForeignLink",
                                      "Der Verknüpfung %s wird nicht gefolgt: sie gehört einem "
                                      "anderen Benutzer (%d) und liegt in einem Ordner, den auch "
                                      "andere Benutzer beschreiben dürfen",
                                      {path, int64_t(st.st_uid)}));
  return n;
}

}  // namespace

bool OthersMayWrite(const std::string& folder) {
  struct stat st {};
  return stat(folder.c_str(), &st) == 0 && OthersMayWriteStatus(st);
}

void CheckTrustedFile(const std::string& path) {
  if (gMemoryFiles) return;
  const std::string real = ResolveLinks(path);
  struct stat st {};
  if (lstat(real.c_str(), &st) != 0 || TrustedOwner(st.st_uid) || !OthersMayWrite(FolderOf(real)))
    return;
  RaiseForeignFile(real, st.st_uid);
}

std::string ResolveLinks(std::string path) {
  if (gMemoryFiles) return path;
  // Each link on the way counts, a folder's as much as the file's: another
  // user's link to a folder of ours would place our writes there. The kernel
  // gives up after as many links as this, and so do we.
  constexpr int kMaxLinks = 40;
  const std::string asked = path;
  for (int hops = 0;; ++hops) {
    // What the kernel could not open could not be checked either.
    if (path.size() >= PATH_MAX) RaiseUnresolved(asked, ENAMETOOLONG);
    char buf[PATH_MAX];
    size_t end = path.find('/', 1);
    ssize_t n = 0;
    for (;; end = path.find('/', end + 1)) {
      n = ReadFollowableLink(end == std::string::npos ? path : path.substr(0, end), buf, sizeof buf);
      if (n >= ssize_t(sizeof buf)) RaiseUnresolved(asked, ENAMETOOLONG);
      if (n > 0) break;
      if (end == std::string::npos) return path;
    }
    if (hops == kMaxLinks) RaiseUnresolved(asked, ELOOP);
    const std::string link(buf, size_t(n));
    const std::string rest = end == std::string::npos ? std::string() : path.substr(end);
    path = (link.front() == '/' ? link : FolderOf(path.substr(0, end)) + link) + rest;
  }
}

namespace {
TReplaceOptions ModeFrom(std::string_view modeFrom) {
  TReplaceOptions options;
  options.modeFrom = modeFrom;
  return options;
}
}  // namespace

TReplacementFile::TReplacementFile(std::string target, std::string_view modeFrom)
    : TReplacementFile(std::move(target), ModeFrom(modeFrom)) {}

TReplacementFile::TReplacementFile(std::string target, const TReplaceOptions& options)
    : target_(std::move(target)), durable_(options.durable), inMemory_(gMemoryFiles != nullptr) {
  if (inMemory_) {
    path_ = target_;
    return;
  }
  path_ = options.followLinks ? ResolveLinks(target_) : target_;
  // Only a regular file is ever replaced: a rename over a device or a pipe
  // (a link to /dev/null, say) would put a file in its place. Names that are
  // not followed are placed by CommitAsNew, or by Commit once the caller saw
  // a regular file there.
  struct stat existing {};
  if (options.followLinks && lstat(path_.c_str(), &existing) == 0) {
    if (!S_ISREG(existing.st_mode))
      RaiseWriteError(target_, S_ISDIR(existing.st_mode) ? EISDIR : EINVAL);
    // A rename could replace a file its owner made read-only; writing it could not.
    if (access(path_.c_str(), W_OK) != 0 && errno == EACCES) RaiseWriteError(target_, EACCES);
  }
  const std::string folder = FolderOf(path_);
  RemoveStaleTemporaries(folder);
  std::string pattern = folder + "." + ExtractFileName(path_).substr(0, 200) +
                        std::string(kTempMarker) + std::string(kUniqueChars, 'X');
  fd_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) RaiseWriteError(target_, errno);
  temp_ = pattern;
  struct stat st {};
  const std::string& source = options.modeFrom.empty() ? path_ : options.modeFrom;
  int chmodFailed = 0;
  if (options.privateInSharedFolder && SharedFolder(folder)) {
    // mkstemp made it 0600 already.
  } else if (stat(source.c_str(), &st) == 0) {
    if (fchmod(fd_, st.st_mode & 07777) != 0) chmodFailed = errno;
    // Only a privileged run can hand the file back to its owner; others keep theirs.
    [[maybe_unused]] int ignored = fchown(fd_, st.st_uid, st.st_gid);
  } else if (fchmod(fd_, 0666 & ~CurrentUmask()) != 0) {
    chmodFailed = errno;
  }
  // Left at mkstemp's 0600, the file would lock out those who read the old one.
  if (chmodFailed != 0) {
    close(fd_);
    fd_ = -1;
    unlink(temp_.c_str());
    RaiseWriteError(target_, chmodFailed);
  }
  buffer_.reserve(kBufferSize);
}

TReplacementFile::~TReplacementFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temp_.empty()) unlink(temp_.c_str());
}

void TReplacementFile::Fail(const std::string& path, int err) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  RaiseWriteError(path, err);
}

void TReplacementFile::Flush() {
  if (inMemory_) return;
  int err = 0;
  if (!buffer_.empty() && !WriteAll(fd_, buffer_, err)) Fail(target_, err);
  written_ += buffer_.size();
  buffer_.clear();
}

void TReplacementFile::Write(std::string_view data) {
  if (data.size() >= kBufferSize && !inMemory_) {
    Flush();
    int err = 0;
    if (!WriteAll(fd_, data, err)) Fail(target_, err);
    written_ += data.size();
    return;
  }
  if (buffer_.size() + data.size() > kBufferSize) Flush();
  buffer_.append(data);
}

void TReplacementFile::WritePieces(const std::vector<std::string_view>& pieces) {
  Flush();
  int err = 0;
  if (!WriteAllPieces(fd_, pieces.data(), pieces.size(), err)) Fail(target_, err);
  for (std::string_view piece : pieces) written_ += piece.size();
}

void TReplacementFile::WriteWithoutCR(std::string_view data) {
  while (!data.empty()) {
    size_t cr = data.find('\r');
    Write(data.substr(0, cr));
    if (cr == std::string_view::npos) break;
    data.remove_prefix(cr + 1);
  }
}

void TReplacementFile::Finish() {
  if (inMemory_) return;
  Flush();
  // The data and the size that reads it back; the mode and owner set at the
  // start reach the disk with the rename at the latest.
  if (durable_ && fdatasync(fd_) != 0) Fail(target_, errno);
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) RaiseWriteError(target_, errno);
}

void TReplacementFile::FinishUnsynced() { Flush(); }

void TReplacementFile::StartSync() {
  if (fd_ >= 0) sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void TReplacementFile::Commit() {
  if (inMemory_) {
    gMemoryFiles->files[path_] = std::move(buffer_);
    committed_ = true;
    return;
  }
  if (fd_ >= 0) Finish();
  if (rename(temp_.c_str(), path_.c_str()) != 0) RaiseWriteError(target_, errno);
  committed_ = true;
  if (durable_) SyncFolder(path_);
}

bool TReplacementFile::CommitIfAbsent() {
  if (inMemory_) return committed_ = gMemoryFiles->files.try_emplace(path_, std::move(buffer_)).second;
  if (fd_ >= 0) Finish();
  // A link of the target's name, dangling or not, takes the name: nothing is
  // ever created where a link points.
  if (path_ != target_) return false;
  if (renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) == 0) {
    committed_ = true;
  } else if (errno == EINVAL || errno == ENOSYS) {
    // File systems without the no-replace rename: a link fails just as well
    // when the name is taken.
    if (link(temp_.c_str(), path_.c_str()) != 0) return false;
  } else {
    return false;
  }
  SyncFolder(path_);
  return true;
}

bool TReplacementFile::CommitAsNew(const std::string& name) {
  if (inMemory_) {
    if (!gMemoryFiles->files.try_emplace(name, std::move(buffer_)).second) return false;
    committed_ = true;
    target_ = path_ = name;
    return true;
  }
  if (fd_ >= 0) Finish();
  if (renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
    committed_ = true;
  } else if (errno == EINVAL || errno == ENOSYS) {
    if (link(temp_.c_str(), name.c_str()) != 0) {
      if (errno == EEXIST) return false;
      RaiseWriteError(name, errno);
    }
    unlink(temp_.c_str());
    committed_ = true;
  } else if (errno == EEXIST) {
    return false;
  } else {
    RaiseWriteError(name, errno);
  }
  target_ = path_ = name;
  if (durable_) SyncFolder(name);
  return true;
}

// ---------------------------------------------------------------------------
// TReplacementBatch, TFolderSyncs

TReplacementBatch::TReplacementBatch() : outer_(gCurrentBatch) { gCurrentBatch = this; }

TReplacementBatch::~TReplacementBatch() {
  try {
    CompleteQuietly();
  } catch (...) {
  }
  gCurrentBatch = outer_;
}

void TReplacementBatch::Add(std::unique_ptr<TReplacementFile> file,
                            std::function<void()> beforeRename,
                            std::function<void()> afterRename) {
  bytes_ += file->written_;
  pending_.push_back({std::move(file), std::move(beforeRename), std::move(afterRename)});
}

void TReplacementBatch::Complete() {
  std::vector<TPending> pending;
  pending.swap(pending_);
  bytes_ = 0;
  // All files start writing out first, so the syncs that follow mostly wait
  // for one journal commit together.
  for (TPending& p : pending) p.file->StartSync();
  // Every file that failed is named, one a line, not only the first.
  auto note = [this](const Exception& e) {
    if (!failure_.empty()) failure_ += '\n';
    failure_ += e.Message();
  };
  for (TPending& p : pending) {
    try {
      if (p.file->fd_ >= 0) p.file->Finish();
    } catch (const Exception& e) {
      note(e);
      p.file.reset();  // never renamed: the old file stays
    }
  }
  for (TPending& p : pending) {
    if (!p.file) continue;
    try {
      if (p.before) p.before();
      p.file->Commit();
      if (p.after) p.after();
    } catch (const Exception& e) {
      note(e);
    }
  }
  if (!failure_.empty()) throw EInOutError(failure_);
}

void TReplacementBatch::CompleteQuietly() {
  try {
    Complete();
  } catch (const Exception&) {
  }
}

void CompletePendingReplacements() {
  if (gCurrentBatch) gCurrentBatch->CompleteQuietly();
}

TQuietFolderSyncs::TQuietFolderSyncs() { ++gQuietSyncDepth; }

TQuietFolderSyncs::~TQuietFolderSyncs() { --gQuietSyncDepth; }

TFolderSyncs::TFolderSyncs() { ++gFolderSyncDepth; }

TFolderSyncs::~TFolderSyncs() {
  if (--gFolderSyncDepth > 0) return;
  std::set<std::string> folders;
  folders.swap(PendingFolders());
  for (const std::string& folder : folders) SyncFolderNow(folder);
}

namespace {

// A synced copy of From takes To's place (only where no To exists when
// OnlyIfAbsent). False when nothing was copied.
bool CopySynced(const std::string& from, const std::string& to, bool onlyIfAbsent) {
  try {
    // Regular files only, so that a pipe named as the source cannot stall the run;
    // another user's file or link where others may write is not copied.
    std::string data;
    if (ReadTrustedFile(from, data) != 0) return false;
    TReplacementFile copy(to, from);
    copy.Write(data);
    if (onlyIfAbsent) return copy.CommitIfAbsent();
    copy.Commit();
    return true;
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace

void ReplaceFileContent(const std::string& path, std::string_view data) {
  TReplacementFile file(path);
  file.Write(data);
  file.Commit();
}

void MakeBackup(const std::string& file, const std::string& backup) {
  // A symlinked file is backed up from the file it leads to: a second link
  // would show the new text as soon as that file is replaced.
  const std::string source = ResolveLinks(file);
  std::string reason;
  const std::string sibling = HiddenSibling(backup);
  // The backup's folder may be one no replacement writes in (that of a
  // symlinked message): a killed run's backup links are cleaned up here.
  if (!gMemoryFiles) RemoveStaleTemporaries(FolderOf(backup));
  // Only a file of ours is linked: a link to another user's file is theirs, and
  // in a sticky folder we could not remove it again when the rename fails.
  struct stat st {};
  const bool ours = !gMemoryFiles && stat(source.c_str(), &st) == 0 && st.st_uid == geteuid();
  if (ours && link(source.c_str(), sibling.c_str()) == 0) {
    const int err = rename(sibling.c_str(), backup.c_str()) == 0 ? 0 : errno;
    // A rename between two names of one file leaves both in place.
    unlink(sibling.c_str());
    if (err == 0) {
      SyncFolder(backup);
      return;
    }
    reason = Reason(err);
  } else {
    // Another file system, or no hard link allowed: a synced copy. A link of
    // the backup's name is replaced, never followed.
    std::string data;
    if (int err = ReadWholeFile(source, data)) {
      reason = Reason(err);
    } else {
      try {
        TReplaceOptions options;
        options.modeFrom = source;
        options.followLinks = false;
        TReplacementFile copy(backup, options);
        copy.Write(data);
        copy.Commit();
        return;
      } catch (const Exception& e) {
        reason = ": " + e.Message();
      }
    }
  }
  throw EInOutError(TranslateFmt("BackupError",
                                 "Die Sicherungskopie %s von %s kann nicht angelegt werden",
                                 {backup, file}) +
                    reason);
}

bool CopyFileIfAbsent(const std::string& from, const std::string& to) {
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) return false;
  return CopySynced(from, to, true);
}

bool CopyRegularFile(const std::string& from, const std::string& to, bool overwrite) {
  struct stat st {};
  if (!overwrite && lstat(to.c_str(), &st) == 0) return false;
  return CopySynced(from, to, !overwrite);
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {
  }, sb{};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

void SetReadFault(std::function<int(const std::string& path)> fault) {
  ReadFault() = std::move(fault);
}

TMemoryFiles* SetMemoryFiles(TMemoryFiles* files) { return std::exchange(gMemoryFiles, files); }

TMemoryFiles* MemoryFiles() { return gMemoryFiles; }

bool RegularFileStatus(const std::string& path, struct stat& st) {
  if (gMemoryFiles) {
    auto it = gMemoryFiles->files.find(path);
    if (it == gMemoryFiles->files.end()) {
      errno = ENOENT;
      return false;
    }
    st = {};
    st.st_mode = S_IFREG | 0644;
    st.st_nlink = 1;
    st.st_size = off_t(it->second.size());
    clock_gettime(CLOCK_REALTIME, &st.st_mtim);
    st.st_ctim = st.st_mtim;
    return true;
  }
  if (stat(path.c_str(), &st) != 0) return false;
  if (S_ISREG(st.st_mode)) return true;
  errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  return false;
}

namespace {

// Asks the system to back a large new buffer with memory at once: faulting in
// a big message page by page costs more than reading it.
void PrefaultBuffer(char* p, size_t size) {
#ifdef MADV_POPULATE_WRITE
  if (size < (size_t(1) << 20)) return;
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  const uintptr_t start = (uintptr_t(p) + page - 1) & ~(page - 1);
  const uintptr_t end = (uintptr_t(p) + size) & ~(page - 1);
  // Older systems without it fault the pages in as before.
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)size;
#endif
}

// Without blocking: a pipe or device named from outside can neither stall nor
// flood the reader.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// 0 and the open file with its status, or the reason it could not be opened.
int OpenForReading(const std::string& path, int& fd, struct stat& st) {
  do {
    fd = open(path.c_str(), kReadFlags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  if (fstat(fd, &st) == 0) return 0;
  const int err = errno;
  close(fd);
  return err;
}

// A folder whose path ResolveLinks left without links, opened without
// following one: a link found now was put there after the check. Kernels
// without openat2 open it as before.
int OpenCheckedFolder(const std::string& folder) {
#ifdef SYS_openat2
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS;
  const int fd = int(syscall(SYS_openat2, AT_FDCWD, folder.c_str(), &how, sizeof how));
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return fd;
#endif
  return open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// OpenForReading for ReadTrustedFile: the folder and the file are checked as
// they were opened, not by their names.
int OpenTrusted(const std::string& path, int& fd, struct stat& st) {
  // A link put in place of a checked name since the check is walked again,
  // and so checked; one that keeps coming back is not read.
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    const std::string real = ResolveLinks(path);
    std::string name = ExtractFileName(real);
    if (name.empty()) name = ".";
    const int dfd = OpenCheckedFolder(FolderOf(real));
    int err = dfd < 0 ? errno : 0;
    struct stat folder {};
    if (err == 0 && fstat(dfd, &folder) != 0) err = errno;
    if (err == 0) {
      do {
        fd = openat(dfd, name.c_str(), kReadFlags | O_NOFOLLOW);
      } while (fd < 0 && errno == EINTR);
      if (fd < 0) err = errno;
    }
    if (dfd >= 0) close(dfd);
    if (err == ELOOP && attempt < kAttempts) continue;
    if (err != 0) return err;
    if (fstat(fd, &st) != 0) {
      err = errno;
      close(fd);
      return err;
    }
    // Whatever it is (a fifo as much as a file), theirs is refused as theirs.
    if (!TrustedOwner(st.st_uid) && OthersMayWriteStatus(folder)) {
      close(fd);
      RaiseForeignFile(real, st.st_uid);
    }
    return 0;
  }
}

// The one reader behind both buffer kinds. Room(N) gives a buffer of at least
// N bytes that keeps the bytes read so far; Used receives how many were read.
template <class RoomFn>
int ReadInto(const std::string& path, bool trusted, size_t spare, size_t& used, RoomFn room) {
  used = 0;
  if (gMemoryFiles) {
    auto it = gMemoryFiles->files.find(path);
    if (it == gMemoryFiles->files.end()) return ENOENT;
    if (const auto& fault = ReadFault())
      if (int err = fault(path)) return err;
    std::memcpy(room(it->second.size() + 1 + spare), it->second.data(), it->second.size());
    used = it->second.size();
    return 0;
  }
  int fd;
  struct stat st;
  if (int err = trusted ? OpenTrusted(path, fd, st) : OpenForReading(path, fd, st)) return err;
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  // One byte more than the size, so that the end shows without growing.
  size_t size = size_t(st.st_size) + 1;
  char* data = room(size + spare);
  const auto& fault = ReadFault();
  bool blocking = false;
  for (;;) {
    if (used == size) data = room((size *= 2) + spare);  // it grew meanwhile
    ssize_t n;
    if (int err = fault ? fault(path) : 0) {
      errno = err;
      n = -1;
    } else {
      n = read(fd, data + used, size - used);
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      // Some file systems take the flag for regular files too.
      if (errno == EAGAIN && !blocking && fcntl(fd, F_SETFL, O_RDONLY) == 0) {
        blocking = true;
        continue;
      }
      used = 0;
      return errno;
    }
    if (n == 0) return 0;
    used += size_t(n);
    // Short of the byte beyond the size: the end, with no read to confirm it.
    // (A size of 0 may be a file of the kernel's that tells no size.)
    if (st.st_size > 0 && used >= size_t(st.st_size) && used < size) return 0;
  }
}

int ReadIntoString(const std::string& path, bool trusted, std::string& data, size_t spare) {
  data.clear();
  size_t used = 0;
  int err = ReadInto(path, trusted, spare, used, [&](size_t room) {
    data.reserve(room);
    data.resize(room - spare);
    return data.data();
  });
  data.resize(used);
  return err;
}

int ReadIntoBytes(const std::string& path, bool trusted, TFileBytes& data, size_t spare) {
  size_t used = 0;
  data.size = 0;
  int err = ReadInto(path, trusted, spare, used, [&](size_t room) {
    if (room > data.capacity) {
      // Not cleared first: a large file's pages are touched once, by the read.
      std::unique_ptr<char[]> grown(new char[room]);
      if (data.bytes) std::memcpy(grown.get(), data.bytes.get(), used);
      else PrefaultBuffer(grown.get(), room);
      data.bytes = std::move(grown);
      data.capacity = room;
    }
    return data.bytes.get();
  });
  data.size = used;
  return err;
}

}  // namespace

int ReadWholeFile(const std::string& path, std::string& data, size_t spare) {
  return ReadIntoString(path, false, data, spare);
}

int ReadWholeFile(const std::string& path, TFileBytes& data, size_t spare) {
  return ReadIntoBytes(path, false, data, spare);
}

int ReadTrustedFile(const std::string& path, std::string& data, size_t spare) {
  return ReadIntoString(path, true, data, spare);
}

int ReadTrustedFile(const std::string& path, TFileBytes& data, size_t spare) {
  return ReadIntoBytes(path, true, data, spare);
}

bool ReadTrustedFileIfExists(const std::string& path, std::string& data) {
  int err = ReadTrustedFile(path, data);
  if (err == ENOENT) return false;
  if (err != 0) throw EInOutError(ReadErrorText(path, err));
  return true;
}

bool ReadRegularFile(const std::string& path, std::string& data) {
  int err = ReadWholeFile(path, data);
  errno = err;
  return err == 0;
}

std::string ErrorReason(int err) {
  if (err == 0) return Translate("SafeFile.NoReason", "Ursache unbekannt");
  return FromUtf8(std::strerror(err));
}

std::string WriteErrorText(const std::string& path, int err) {
  return TranslateFmt("FileWriteError", "Die Datei %s kann nicht geschrieben werden", {path}) +
         Reason(err);
}

std::string ReadErrorText(const std::string& path, int err) {
  return TranslateFmt("FileReadError", "Die Datei %s kann nicht gelesen werden", {path}) +
         Reason(err);
}

std::string FolderReadErrorText(const std::string& folder, int err) {
  return TranslateFmt("FolderReadError", "Der Ordner %s kann nicht gelesen werden", {folder}) +
         Reason(err);
}

bool ReadFileIfExists(const std::string& path, std::string& data, size_t spare) {
  int err = ReadWholeFile(path, data, spare);
  if (err == ENOENT) return false;
  if (err != 0) throw EInOutError(ReadErrorText(path, err));
  return true;
}
