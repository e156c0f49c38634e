// The one way the programs read and replace whole files.
//
// Reading: a whole file at once, into a buffer sized from the file's size;
// only "no such file" counts as absent, every other failure is reported, and
// only regular files are read (opened without blocking, so a pipe or device
// named from outside can neither block nor flood the caller).
//
// Writing: new content goes to a temporary file in the same folder, is made
// durable, and only then takes the place of the old file by rename, so no
// failure or kill ever leaves a half-written file under the real name. A
// symlinked file is replaced at the file it leads to. Failures raise
// EInOutError with the file's name and the system's reason.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "SysUtils.h"

// How a TReplacementFile is made.
struct TReplaceOptions {
  // The file whose permission bits (and, where allowed, owner) the new file
  // gets when it replaces none; empty: the target itself.
  std::string modeFrom;
  // A symlinked target is replaced at the file it leads to. Off for names
  // that come from outside: the link itself is then the name, never followed.
  bool followLinks = true;
  // Sync the data before the rename. Off only for files that need to outlive
  // the process but not the system (a trace rewritten for every line).
  bool durable = true;
  // In a folder every user may write (sticky or world-writable, like /tmp)
  // the file is made readable by its owner only.
  bool privateInSharedFolder = false;
};

// The replacement of one file. The temporary file is a hidden name beside the
// target (".<name>.tidelarn-XXXXXX") that no "*.ext" pattern matches and no
// user's file carries; it is removed again unless committed. Temporary files
// of that pattern that a killed run left in the folder are removed when they
// are over an hour old (once per folder and process).
class TReplacementFile {
public:
  // The new file gets the permission bits (and, where allowed, the owner) of
  // an existing Target, else 0666 less the umask.
  explicit TReplacementFile(std::string target, std::string_view modeFrom = {});
  TReplacementFile(std::string target, const TReplaceOptions& options);
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
  // Puts the finished file under Name, a file of the target's folder, only
  // when no entry of that name exists (a link included); false when one
  // does, and the file stays ready for another name. Other failures raise.
  bool CommitAsNew(const std::string& name);

  const std::string& Target() const { return target_; }
  const std::string& TempPath() const { return temp_; }

private:
  friend class TReplacementBatch;
  void Flush();
  // Starts writing the data out without waiting (a batch's first round).
  void StartSync();
  [[noreturn]] void Fail(const std::string& path, int err);

  std::string target_, temp_;
  // Where the file goes: the target, or the file a symlinked target leads to.
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
  bool durable_ = true;
  // Kept whole for the in-memory files; no temporary file then.
  bool inMemory_ = false;
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
  // then one error naming every failure is raised, also those that
  // CompleteQuietly met.
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

// While one is open, folders are synced at once and a failed folder sync is
// not told: for a file whose every failure is to be ignored (a record kept
// only for other programs).
class TQuietFolderSyncs {
public:
  TQuietFolderSyncs();
  ~TQuietFolderSyncs();
  TQuietFolderSyncs(const TQuietFolderSyncs&) = delete;
  TQuietFolderSyncs& operator=(const TQuietFolderSyncs&) = delete;
};

// Writes Data to Path through a TReplacementFile.
void ReplaceFileContent(const std::string& path, std::string_view data);

// Makes Backup a regular file holding what File holds (for a symlinked File,
// what the file it leads to holds): a second name of that file when the file
// system allows, else a synced copy. An older Backup is replaced only once the
// new one is complete. When neither works, nothing is changed and EInOutError
// names both files.
void MakeBackup(const std::string& file, const std::string& backup);

// Copies From to To unless To exists. A failed copy leaves no To behind.
// False when nothing was copied.
bool CopyFileIfAbsent(const std::string& from, const std::string& to);

// Copies the regular file From to To; an existing To is replaced only with
// Overwrite (through a temporary file, so it is never left half-written).
// False when nothing was copied.
bool CopyRegularFile(const std::string& from, const std::string& to, bool overwrite);
// Both names lead to the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Reads the whole of a regular file into Data (room for Spare more bytes
// reserved). 0, or the reason of the failure: ENOENT only when there is no
// such file, EISDIR for a folder, EINVAL for anything else that is no regular
// file; Data is empty then.
int ReadWholeFile(const std::string& path, std::string& data, size_t spare = 0);
// Bytes of a file in a buffer of their own, which is not cleared before the read.
struct TFileBytes {
  std::unique_ptr<char[]> bytes;
  size_t size = 0, capacity = 0;
};
// The same into Data (its buffer is reused when large enough).
int ReadWholeFile(const std::string& path, TFileBytes& data, size_t spare = 0);
// The same; false with errno set when it fails.
bool ReadRegularFile(const std::string& path, std::string& data);
// The same; false when there is no such file, EInOutError naming the file and
// the reason for any other failure.
bool ReadFileIfExists(const std::string& path, std::string& data, size_t spare = 0);
// The text of a failure to read or write Path, or to list the folder Path,
// for the callers' own exceptions.
std::string ReadErrorText(const std::string& path, int err);
std::string FolderReadErrorText(const std::string& folder, int err);
std::string WriteErrorText(const std::string& path, int err);
// The system's reason for the failure Err, in the internal charset; never
// empty (0, a failure that set no error number, has a text too).
std::string ErrorReason(int err);

// A file or link refused because someone else may have put it there.
class EUntrustedFile : public EInOutError {
public:
  using EInOutError::EInOutError;
};

// The file a symlink chain leads to (Path itself when it is no link), with no
// link left on the way. In a folder others may write a link is followed only
// when the current user or root owns it; another user's raises EUntrustedFile
// naming it, and so does a chain that cannot be followed to its end (too many
// links, too long a path).
std::string ResolveLinks(std::string path);

// Whether users other than the current one may write Folder: its group or
// everyone may write it, or it belongs to another user than the current one
// or root.
bool OthersMayWrite(const std::string& folder);
// For a file that steers the programs (a settings file, the header script, an
// include): EUntrustedFile naming it when it lies in a folder others may write
// and another user than the current one or root owns it, or a link on the way
// to it (see ResolveLinks). A missing file passes. Only a name is checked: what
// is read goes through ReadTrustedFile, which checks what it opened.
void CheckTrustedFile(const std::string& path);

// ReadWholeFile for a file whose content steers the programs or goes into
// what they write (settings, scripts and their includes, messages, the text
// files a profile or script names): the links on the way are followed as
// ResolveLinks says, the file is opened without following a link, and the
// opened file is refused (EUntrustedFile naming it) when another user than
// the current one or root owns it and its folder is one others may write.
// The bytes come from that same opened file, so nothing swapped in after the
// check is read.
int ReadTrustedFile(const std::string& path, std::string& data, size_t spare = 0);
int ReadTrustedFile(const std::string& path, TFileBytes& data, size_t spare = 0);
// The same; false when there is no such file, EInOutError naming the file and
// the reason for any other failure.
bool ReadTrustedFileIfExists(const std::string& path, std::string& data);

// Removes the temporary files of the pattern TReplacementFile uses that are
// regular files of this user, unchanged for over an hour (a kill left them),
// from Folder. Any other file stays. Done once per folder and process;
// failures are ignored.
void RemoveStaleTemporaries(const std::string& folder);
// Whether Name (no folder) is one of TReplacementFile's temporary names.
bool IsTemporaryName(std::string_view name);

// Test seam: when set, asked before every read(2) of a whole-file read; a
// result other than 0 fails that read with this errno.
void SetReadFault(std::function<int(const std::string& path)> fault);

// Test seam: files kept in memory that stand in for the disk, so that fuzz
// targets and tests run the file-handling paths without disk writes, locks and
// syncs. While a set is installed, whole-file reads, TReplacementFile (and what
// is built on it), RegularFileStatus, FileExists, CreateUniqueFile and the INI
// writers' lock see only its files, by the exact path they are named with. The
// programs never install one.
struct TMemoryFiles {
  std::map<std::string, std::string, std::less<>> files;
};
// Installs Files (nullptr: the disk again); returns the set it replaces.
TMemoryFiles* SetMemoryFiles(TMemoryFiles* files);
TMemoryFiles* MemoryFiles();

// The status of Path when it is a regular file (false and errno set when it
// is not). In-memory files are never older than the current second.
bool RegularFileStatus(const std::string& path, struct stat& st);
