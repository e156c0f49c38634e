// Writing files so that no failure ever leaves a half-written one behind: new
// content goes to a temporary file in the same folder, is synced, and only
// then takes the place of the old file by rename. Failures raise EInOutError
// with the file's name and the system's reason. Reading files named from
// outside so that no pipe or device can block the caller.
#pragma once

#include <string>
#include <string_view>

// The replacement of one file. The temporary file is a hidden name beside the
// target that no "*.ext" pattern matches; it is removed again unless committed.
class TReplacementFile {
public:
  // The new file gets the permission bits (and, where allowed, the owner) of
  // an existing Target, else 0666 less the umask.
  explicit TReplacementFile(std::string target, std::string_view modeFrom = {});
  ~TReplacementFile();
  TReplacementFile(const TReplacementFile&) = delete;
  TReplacementFile& operator=(const TReplacementFile&) = delete;

  void Write(std::string_view data);
  // Writes Data without its CR bytes.
  void WriteWithoutCR(std::string_view data);
  // Syncs and closes the temporary file.
  void Finish();
  // Puts the finished file in the target's place and syncs the folder.
  void Commit();
  // The same, but only when no file of the target's name exists; false then
  // (and the temporary file is removed).
  bool CommitIfAbsent();

  const std::string& Target() const { return target_; }
  const std::string& TempPath() const { return temp_; }

private:
  void Flush();
  [[noreturn]] void Fail(const std::string& path, int err);

  std::string target_, temp_;
  int fd_ = -1;
  bool committed_ = false;
  std::string buffer_;
};

// Writes Data to Path through a TReplacementFile.
void ReplaceFileContent(const std::string& path, std::string_view data);

// Makes Backup hold what File holds: a second name of the same file when the
// file system allows, else a synced copy. An older Backup is replaced only
// once the new one is complete. False (and nothing changed) when neither worked.
bool MakeBackup(const std::string& file, const std::string& backup);

// Copies From to To unless To exists. A failed copy leaves no To behind.
// False when nothing was copied.
bool CopyFileIfAbsent(const std::string& from, const std::string& to);

// Copies the regular file From to To; an existing To is replaced only with
// Overwrite (through a temporary file, so it is never left half-written).
// False when nothing was copied.
bool CopyRegularFile(const std::string& from, const std::string& to, bool overwrite);
// Both names lead to the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Reads the whole of a regular file. It is opened without blocking and read
// only when it is a regular file, so a pipe or a device cannot block or flood
// the caller. False with errno set when that fails: EISDIR for a folder,
// EINVAL for anything else that is no regular file.
bool ReadRegularFile(const std::string& path, std::string& data);
