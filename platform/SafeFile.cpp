#include "SafeFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "uTransla.h"

namespace {

constexpr size_t kBufferSize = 1 << 16;

std::string Reason(int err) { return " (" + FromUtf8(std::strerror(err)) + ")"; }

[[noreturn]] void RaiseWriteError(const std::string& path, int err) {
  throw EInOutError(
      TranslateFmt("FileWriteError", "Die Datei %s kann nicht geschrieben werden", {path}) +
      Reason(err));
}

std::string FolderOf(const std::string& path) {
  std::string dir = ExtractFilePath(path);
  return dir.empty() ? "./" : dir;
}

void SyncFolderNow(const std::string& folder) {
  int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  fsync(dfd);
  close(dfd);
}

// The folders waiting for their sync while a TFolderSyncs is open.
int gFolderSyncDepth = 0;
std::set<std::string>& PendingFolders() {
  static std::set<std::string> folders;
  return folders;
}

void SyncFolder(const std::string& path) {
  if (gFolderSyncDepth > 0)
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

// A hidden unused name beside Path for a file made by link or rename.
std::string HiddenSibling(const std::string& path) {
  static std::mt19937 random{std::random_device{}()};
  char part[16];
  std::snprintf(part, sizeof part, "%06X", unsigned(random() & 0xFFFFFF));
  return FolderOf(path) + "." + ExtractFileName(path).substr(0, 200) + "." + part;
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
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    if (n == 0) {
      err = ENOSPC;
      return false;
    }
    data.remove_prefix(size_t(n));
  }
  return true;
}

}  // namespace

TReplacementFile::TReplacementFile(std::string target, std::string_view modeFrom)
    : target_(std::move(target)) {
  std::string pattern =
      FolderOf(target_) + "." + ExtractFileName(target_).substr(0, 200) + ".XXXXXX";
  fd_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) RaiseWriteError(target_, errno);
  temp_ = pattern;
  struct stat st {};
  const std::string source = modeFrom.empty() ? target_ : std::string(modeFrom);
  if (stat(source.c_str(), &st) == 0) {
    fchmod(fd_, st.st_mode & 07777);
    // Only a privileged run can hand the file back to its owner; others keep theirs.
    [[maybe_unused]] int ignored = fchown(fd_, st.st_uid, st.st_gid);
  } else {
    fchmod(fd_, 0666 & ~CurrentUmask());
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
  int err = 0;
  if (!buffer_.empty() && !WriteAll(fd_, buffer_, err)) Fail(target_, err);
  written_ += buffer_.size();
  buffer_.clear();
}

void TReplacementFile::Write(std::string_view data) {
  if (data.size() >= kBufferSize) {
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
  Flush();
  // The data and the size that reads it back; the mode and owner set at the
  // start reach the disk with the rename at the latest.
  if (fdatasync(fd_) != 0) Fail(target_, errno);
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) RaiseWriteError(target_, errno);
}

void TReplacementFile::FinishUnsynced() { Flush(); }

void TReplacementFile::StartSync() {
  if (fd_ >= 0) sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void TReplacementFile::Commit() {
  if (fd_ >= 0) Finish();
  if (rename(temp_.c_str(), target_.c_str()) != 0) RaiseWriteError(target_, errno);
  committed_ = true;
  SyncFolder(target_);
}

bool TReplacementFile::CommitIfAbsent() {
  if (fd_ >= 0) Finish();
  if (renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) == 0) {
    committed_ = true;
  } else if (errno == EINVAL || errno == ENOSYS) {
    // File systems without the no-replace rename: a link fails just as well
    // when the name is taken.
    if (link(temp_.c_str(), target_.c_str()) != 0) return false;
  } else {
    return false;
  }
  SyncFolder(target_);
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
  std::string error;
  for (TPending& p : pending) {
    try {
      if (p.file->fd_ >= 0) p.file->Finish();
    } catch (const Exception& e) {
      if (error.empty()) error = e.Message();
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
      if (error.empty()) error = e.Message();
    }
  }
  if (failure_.empty()) failure_ = error;
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
    // Non-blocking and regular files only, so that a pipe named as the source
    // cannot stall the run.
    int in = open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) return false;
    struct Closer {
      int fd;
      ~Closer() { close(fd); }
    } closer{in};
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    TReplacementFile copy(to, from);
    char chunk[kBufferSize];
    ssize_t n;
    while ((n = read(in, chunk, sizeof chunk)) != 0) {
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      copy.Write(std::string_view(chunk, size_t(n)));
    }
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

bool MakeBackup(const std::string& file, const std::string& backup) {
  std::string sibling = HiddenSibling(backup);
  if (link(file.c_str(), sibling.c_str()) == 0) {
    bool ok = rename(sibling.c_str(), backup.c_str()) == 0;
    // A rename between two names of one file leaves both in place.
    unlink(sibling.c_str());
    if (ok) SyncFolder(backup);
    return ok;
  }
  return CopySynced(file, backup, false);
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

bool ReadRegularFile(const std::string& path, std::string& data) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() {
      int err = errno;  // the caller reads the reason of the failure, not of close
      close(fd);
      errno = err;
    }
  } closer{fd};
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  data.clear();
  data.reserve(size_t(st.st_size));
  char buf[kBufferSize];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    data.append(buf, size_t(n));
  }
}
