// Writing files so that no failure ever leaves a half-written one behind: new
// content goes to a temporary file in the same folder, is synced, and only
// then takes the place of the old file by rename. Failures raise EInOutError
// with the file's name and the system's reason. Reading files named from
// outside so that no pipe or device can block the caller.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
  // Writes the pieces one after the other with as few calls as possible.
  void WritePieces(const std::vector<std::string_view>& pieces);
  // Writes Data without its CR bytes.
  void WriteWithoutCR(std::string_view data);
  // Makes the data durable and closes the temporary file.
  void Finish();
  // Writes out what is buffered but leaves the data unsynced and the file
  // open, for a batch that syncs many files together (TReplacementBatch).
  void FinishUnsynced();
  // Puts the finished file in the target's place; unsynced data is synced
  // first. The folder is synced at once, or collected (TFolderSyncs).
  void Commit();
  // The same, but only when no file of the target's name exists; false then
  // (and the temporary file is removed).
  bool CommitIfAbsent();

  const std::string& Target() const { return target_; }
  const std::string& TempPath() const { return temp_; }

private:
  friend class TReplacementBatch;
  void Flush();
  // Starts writing the data out without waiting (a batch's first round).
  void StartSync();
  [[noreturn]] void Fail(const std::string& path, int err);

  std::string target_, temp_;
  int fd_ = -1;
  bool committed_ = false;
  std::string buffer_;
  size_t written_ = 0;
};

// Replacements that become durable together: the data of all files is synced
// in one round before the first rename, so a sweep pays the disk's latency
// once per batch instead of once per file. No file is renamed before its data
// is durable; after a crash every target holds its old or its new complete
// content. While a batch is open it is the current one (CompletePendingReplacements).
class TReplacementBatch {
public:
  TReplacementBatch();
  // Whatever is still pending is completed (errors are swallowed here: call
  // Complete to hear of them).
  ~TReplacementBatch();
  TReplacementBatch(const TReplacementBatch&) = delete;
  TReplacementBatch& operator=(const TReplacementBatch&) = delete;

  // Takes a file after FinishUnsynced. BeforeRename runs once its data is
  // durable, right before its rename; AfterRename right after it. Neither
  // runs for a file whose data could not be made durable.
  void Add(std::unique_ptr<TReplacementFile> file, std::function<void()> beforeRename = {},
           std::function<void()> afterRename = {});
  size_t Count() const { return pending_.size(); }
  size_t Bytes() const { return bytes_; }
  // Syncs and renames everything pending. A file that cannot be synced keeps
  // its old target (its temporary file is removed); the others are renamed;
  // then the first failure is raised, also one that CompleteQuietly met.
  void Complete();
  // The same, but a failure is only remembered for the next Complete.
  void CompleteQuietly();

private:
  struct TPending {
    std::unique_ptr<TReplacementFile> file;
    std::function<void()> before, after;
  };
  std::vector<TPending> pending_;
  size_t bytes_ = 0;
  std::string failure_;
  TReplacementBatch* outer_;
};

// Completes the current batch, if any: called before anything outside the
// running correction could look at the files (a program is started, a script
// reads a file by name). A failure reaches the batch's owner.
void CompletePendingReplacements();

// While one is open, folders are synced once each when the outermost closes,
// instead of after every rename in them. A rename needs no folder sync to be
// safe (the renamed file's data is durable before it); the folder sync only
// makes the new names themselves durable, and once per run is enough.
class TFolderSyncs {
public:
  TFolderSyncs();
  ~TFolderSyncs();
  TFolderSyncs(const TFolderSyncs&) = delete;
  TFolderSyncs& operator=(const TFolderSyncs&) = delete;
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
