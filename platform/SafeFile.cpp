#include "SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "Translate.h"

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

void SyncFolder(const std::string& path) {
  int dfd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  fsync(dfd);
  close(dfd);
}

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
  buffer_.clear();
}

void TReplacementFile::Write(std::string_view data) {
  if (data.size() >= kBufferSize) {
    Flush();
    int err = 0;
    if (!WriteAll(fd_, data, err)) Fail(target_, err);
    return;
  }
  if (buffer_.size() + data.size() > kBufferSize) Flush();
  buffer_.append(data);
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
  if (fsync(fd_) != 0) Fail(target_, errno);
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) RaiseWriteError(target_, errno);
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
