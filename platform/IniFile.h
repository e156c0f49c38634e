// INI files with the semantics the system's files were written for: names match
// case-insensitively, the first occurrence wins, values lose their blanks and one
// pair of outer quotes, and writes keep every other line as it was.
//
// Writes are collected and flushed by UpdateFile (also run by the destructor):
// under a lock, the file is read again, the writes are applied to what is there
// now, and the result replaces the file atomically. Two processes writing the
// same file at once therefore lose nothing and never leave a torn file. Writes
// that leave the file as it was read are dropped without touching it.
//
// Only a missing file reads as empty: any other failure to read it raises
// EInOutError, so nothing is ever written back over a file that was not read
// whole. Writers lock a file of their own in the INI file's folder
// (".tidelarn-ini.lock", a regular file only those who may write the folder's
// settings can open) and give up with EInOutError when another holds it for a
// few seconds. A settings file another user planted is refused.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The text of an INI object that belongs to no file.
struct TIniText {
  std::string text;
};

class TIniFile {
public:
  // A bare name (no folder) means the program directory; the name is looked up
  // case-insensitively there when the exact spelling does not exist.
  explicit TIniFile(std::string_view fileName);
  // An object over Text, tied to no file: UpdateFile keeps the result in
  // memory, where Text() shows it.
  explicit TIniFile(TIniText text);
  virtual ~TIniFile();
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  const std::string& FileName() const { return fileName_; }

  virtual std::string ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const;
  // Decimal or "$"/"0x" hex, as the platform reads integers; else Def.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // "0" is false, any other integer true; a non-number gives Def.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // The value is cut at its first line break; a section name holding "]", CR or
  // LF, or a key holding "=", CR or LF is refused (Exception) before anything
  // is written.
  virtual void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // WriteString for a default written back because the key is missing: when
  // the file holds the key by the time the writes are flushed (another
  // process stored it meanwhile, or the first read missed it), the stored
  // value stays.
  void WriteDefault(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  bool SectionExists(std::string_view section) const;
  // Whether ReadSection would give any key.
  bool SectionHasKeys(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // ValueExists and, when true, the value ReadString gives, in one lookup.
  bool ReadIfExists(std::string_view section, std::string_view key, std::string& value) const;
  std::vector<std::string> ReadSections() const;
  // Key names of a section, in file order (first occurrence of each).
  std::vector<std::string> ReadSection(std::string_view section) const;
  // "Key=Value" pairs of a section, in file order.
  std::vector<std::pair<std::string, std::string>> ReadSectionValues(std::string_view section) const;

  void EraseSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view key);

  // Writes the collected changes; raises EInOutError when the file cannot be
  // written. The writes stay pending for another call, but the destructor
  // does not try them again: the caller was told they were lost.
  void UpdateFile();
  // The file is a new one of this process's own (a report or hand-over file
  // made by CreateUniqueFile): its flushes take no lock, so a lock held on the
  // folder's INI files cannot keep a failure from being reported.
  void WritesAlone() { alone_ = true; }
  bool HasPendingWrites() const { return !pending_.empty(); }
  // The text the file holds after UpdateFile, as far as this object knows.
  std::string Text() const;

  // How long a writer waits for another's lock before it gives up (tests).
  static void SetLockWait(std::chrono::milliseconds wait);

  // Parsing of one line, shared with the readers of other INI-shaped files.
  static bool ParseKeyLine(std::string_view line, std::string& key, std::string& value);

private:
  struct Op {
    enum Kind { Write, WriteDefault, DeleteKey, EraseSection } kind;
    std::string section, key, value;
  };
  struct Index;
  void Load();
  // A settings file (one of the settings folder, however its path is spelt)
  // is read as ReadTrustedFile says: one another user planted would steer the
  // programs with the current user's rights.
  bool IsSettingsFile() const;
  void TakeText(std::string text, bool exists);
  void ApplyAndQueue(Op op);
  bool ApplyIndexed(const Op& op);
  static void Apply(std::vector<std::string_view>& lines, std::deque<std::string>& store,
                    const Op& op);
  // The index of the lines as they are now, built on first use.
  const Index& Lookup() const;
  // Lines of the keys of Section, each key's first occurrence, in file order.
  std::vector<size_t> KeyLines(std::string_view section) const;

  std::string fileName_;
  // Views into loaded_, or into written_ for the lines that writes made: a
  // read copies no line.
  std::vector<std::string_view> lines_;
  std::deque<std::string> written_;
  std::string eol_ = "\r\n";
  // The file as Load or the last flush found it, and whether it existed.
  std::string loaded_;
  bool loadedExists_ = false;
  bool inMemory_ = false;
  bool alone_ = false;
  // The last UpdateFile raised.
  bool flushFailed_ = false;
  std::vector<Op> pending_;
  // Kept up to date by plain writes, dropped by other changes.
  mutable std::unique_ptr<Index> index_;
};
