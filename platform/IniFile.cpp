#include "IniFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <thread>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "Translate.h"

namespace {

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && (unsigned char)s.front() <= ' ') s.remove_prefix(1);
  while (!s.empty() && (unsigned char)s.back() <= ' ') s.remove_suffix(1);
  return s;
}

// "[Name]" gives Name; anything else gives false.
bool ParseSectionLine(std::string_view line, std::string_view& name) {
  std::string_view t = TrimView(line);
  if (t.size() < 2 || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return false;
  name = TrimView(t.substr(1, close - 1));
  return true;
}

// Line range [first, last) of the first section named Section; first is the
// header line. Returns false when there is none. Writes find their lines with
// this scan: each of them changes the lines, which an index would not outlive.
bool FindSection(const std::vector<std::string_view>& lines, std::string_view section,
                 size_t& head, size_t& end) {
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view name;
    if (!ParseSectionLine(lines[i], name) || !SameText(name, section)) continue;
    head = i;
    end = i + 1;
    while (end < lines.size()) {
      std::string_view other;
      if (ParseSectionLine(lines[end], other)) break;
      ++end;
    }
    return true;
  }
  return false;
}

// The key of a key line, as ParseKeyLine reads it, without copying.
bool KeyOfLine(std::string_view line, std::string_view& key) {
  std::string_view t = TrimView(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return false;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  key = TrimView(t.substr(0, eq));
  return true;
}

// ParseKeyLine without copies.
bool SplitKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  if (!KeyOfLine(line, key)) return false;
  std::string_view v = TrimView(line.substr(line.find('=') + 1));
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  value = v;
  return true;
}

// Index of the first line in (head, end) holding Key, or npos.
size_t FindKey(const std::vector<std::string_view>& lines, size_t head, size_t end,
               std::string_view key) {
  std::string_view k;
  for (size_t i = head + 1; i < end; ++i)
    if (KeyOfLine(lines[i], k) && SameText(k, key)) return i;
  return std::string::npos;
}

std::string CutAtLineBreak(std::string_view v) {
  size_t p = v.find_first_of("\r\n");
  return std::string(p == std::string_view::npos ? v : v.substr(0, p));
}

constexpr size_t npos = std::string::npos;

// Whether Lines joined by Eol give Text, without joining them.
bool JoinsTo(const std::vector<std::string_view>& lines, std::string_view eol,
             std::string_view text) {
  size_t at = 0;
  for (std::string_view l : lines) {
    if (text.substr(at, l.size()) != l) return false;
    at += l.size();
    if (text.substr(at, eol.size()) != eol) return false;
    at += eol.size();
  }
  return at == text.size();
}

// Keeps a line that a write made; the view stays valid as the store grows.
std::string_view Keep(std::deque<std::string>& store, std::string line) {
  return store.emplace_back(std::move(line));
}

char Fold(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// SameText, quick for the usual case of one spelling.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

// Where a section runs: its head line up to the next section head of any name.
struct LineRange {
  size_t head, end;
  // The line after the section's last key; head + 1 when it has none.
  size_t afterKeys;
};

// Names within groups mapped to numbers, names compared as SameText does; the
// first entry of a name wins. Open addressing in one array: the table is built
// once per load and read many times, and a node per name would cost more than
// the lookups. Groups are section numbers (their keys, valued by line) and
// kSections (section names, valued by section number). A name is kept as its
// place in the lines, a key's relative to its section's head, so that lines
// may move in memory and lines inserted at the end of a section move only the
// section ranges.
class NameTable {
public:
  static constexpr size_t kSections = npos;

  struct Slot {
    uint64_t hash = 0;
    size_t group = 0;
    size_t value = npos;  // npos: free; a key's line relative to its section's head
    uint32_t offset = 0, length = 0;
  };

  // Room for up to Count entries.
  NameTable(const std::vector<std::string_view>& lines, const std::vector<LineRange>& sections,
            size_t count)
      : lines_(&lines), sections_(&sections) {
    size_t size = 8;
    while (size < 2 * count) size *= 2;
    slots_.resize(size);
  }

  // Adds a name, a view into line Line, with Value (a key's value is Line;
  // a section's range must be in place already). False when the name is there.
  bool Add(size_t group, size_t line, std::string_view name, size_t value) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    uint64_t h = Hash(group, name);
    for (size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& s = slots_[i];
      if (s.value == npos) {
        const char* base = (*lines_)[line].data();
        s = {h, group, group == kSections ? value : value - (*sections_)[group].head,
             uint32_t(name.data() - base), uint32_t(name.size())};
        ++used_;
        return true;
      }
      if (s.hash == h && s.group == group && SameName(Name(s), name)) return false;
    }
  }

  // npos when the name is not there.
  size_t Find(size_t group, std::string_view name) const {
    const Slot* s = FindSlot(group, name);
    return s ? Value(*s) : npos;
  }

  Slot* FindSlot(size_t group, std::string_view name) {
    return const_cast<Slot*>(std::as_const(*this).FindSlot(group, name));
  }

  const Slot* FindSlot(size_t group, std::string_view name) const {
    uint64_t h = Hash(group, name);
    for (size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      const Slot& s = slots_[i];
      if (s.value == npos) return nullptr;
      if (s.hash == h && s.group == group && SameName(Name(s), name)) return &s;
    }
  }

  size_t Value(const Slot& s) const {
    return s.group == kSections ? s.value : (*sections_)[s.group].head + s.value;
  }
  size_t Line(const Slot& s) const {
    return s.group == kSections ? (*sections_)[s.value].head : Value(s);
  }

private:
  std::string_view Name(const Slot& s) const {
    return (*lines_)[Line(s)].substr(s.offset, s.length);
  }

  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& s : old) {
      if (s.value == npos) continue;
      for (size_t i = s.hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
        if (slots_[i].value == npos) {
          slots_[i] = s;
          break;
        }
      }
    }
  }

  // Eight bytes at a time, folded as Fold does: names are hashed at every
  // lookup and for every key of a load, and a byte loop cost more than the rest.
  static uint64_t Hash(size_t group, std::string_view name) {
    uint64_t h =
        14695981039346656037ull ^ (uint64_t(group) * 0x9E3779B97F4A7C15ull) ^ name.size();
    const char* p = name.data();
    size_t n = name.size();
    auto mix = [&h](uint64_t w) {
      h = (h ^ FoldWord(w)) * 0x100000001B3ull;
      h ^= h >> 32;
    };
    for (; n >= 8; p += 8, n -= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      mix(w);
    }
    if (n > 0) {
      uint64_t w = 0;
      for (size_t i = 0; i < n; ++i) w |= uint64_t((unsigned char)p[i]) << (8 * i);
      mix(w);
    }
    return h ^ (h >> 29);
  }

  // Fold of each byte of W: 'a'..'z' less 32, every other byte as it is.
  static uint64_t FoldWord(uint64_t w) {
    constexpr uint64_t ones = 0x0101010101010101ull, high = 0x8080808080808080ull;
    const uint64_t low7 = w & ~high;
    const uint64_t atLeastA = low7 + (0x80 - 'a') * ones;  // high bit: low7 >= 'a'
    const uint64_t aboveZ = low7 + (0x80 - 'z' - 1) * ones;  // high bit: low7 > 'z'
    const uint64_t lower = atLeastA & ~aboveZ & ~w & high;  // and the byte is ASCII
    return w - (lower >> 2);
  }

  const std::vector<std::string_view>* lines_;
  const std::vector<LineRange>* sections_;
  std::vector<Slot> slots_;
  size_t used_ = 0;
};

constexpr const char* kLockName = ".tidelarn-ini.lock";

// How long a writer waits for the lock before it gives up.
std::chrono::milliseconds gLockWait{5000};

std::string FolderOf(const std::string& path) {
  std::string dir = ExtractFilePath(path);
  return dir.empty() ? "./" : dir;
}

// Whether the current user belongs to Group, as primary or supplementary group.
bool MemberOf(gid_t group) {
  if (getegid() == group) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

// The writers' lock of the INI files of one folder: a lock file of our own
// beside them, so that no other program's lock on the folder (a shared one
// like /tmp) can stall a writer, and a held lock is an error after a while
// rather than a hang. One for the folder, not one per file: the file is never
// removed (a writer that removed it would leave the next two locking
// different files), and report and hand-over files come and go by the dozen.
class TIniLock {
public:
  explicit TIniLock(const std::string& path) {
    const std::string folder = FolderOf(path);
    const std::string lockPath = folder + kLockName;
    // Whoever may open the lock file may hold the lock: only those who may
    // write the folder's settings. In a group folder that is the folder's
    // group, whatever group the user's files get by default; a user outside
    // it keeps the lock to themselves.
    struct stat dir {};
    const bool shared = stat(folder.c_str(), &dir) == 0 &&
                        (dir.st_mode & (S_IWGRP | S_IWOTH)) == S_IWGRP && MemberOf(dir.st_gid);
    // Without blocking: a fifo or device planted under the name must not hang
    // every writer before the time limit applies.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    do {
      // Made private: it is opened to the group below, once it is the folder's.
      fd_ = open(lockPath.c_str(), kFlags | O_CREAT, 0600);
      // In a sticky folder the system may refuse O_CREAT on another user's
      // file (protected_regular) even though it may be opened.
      if (fd_ < 0 && errno == EACCES) fd_ = open(lockPath.c_str(), kFlags);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) Fail(path, lockPath, errno);
    struct stat st {};
    if (fstat(fd_, &st) != 0) Fail(path, lockPath, errno);
    if (!S_ISREG(st.st_mode)) {
      close(fd_);
      fd_ = -1;
      throw EInOutError(TranslateFmt("IniFile.LockNotAFile",
                                     "Die Datei %s kann nicht gesperrt werden: %s ist keine "
                                     "gewöhnliche Datei",
                                     {path, lockPath}));
    }
    // Another user's lock that everyone may open is a lock anyone may hold.
    if (st.st_uid != geteuid() && st.st_uid != 0 && (st.st_mode & S_IRWXO) != 0) {
      close(fd_);
      fd_ = -1;
      throw EInOutError(TranslateFmt("IniFile.LockForeign",
                                     "Die Datei %s kann nicht gesperrt werden: die Sperre %s "
                                     "gehört einem anderen Benutzer (%d), und jeder darf sie öffnen",
                                     {path, lockPath, int64_t(st.st_uid)}));
    }
    if (st.st_uid == geteuid()) Restrict(path, lockPath, st, shared ? &dir.st_gid : nullptr);
    const auto deadline = std::chrono::steady_clock::now() + gLockWait;
    auto pause = std::chrono::milliseconds(2);
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) Fail(path, lockPath, errno);
      if (std::chrono::steady_clock::now() >= deadline)
        Fail(path, lockPath, 0);
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
  }
  ~TIniLock() { close(fd_); }
  TIniLock(const TIniLock&) = delete;
  TIniLock& operator=(const TIniLock&) = delete;

private:
  // Our own lock file gets mode 0660 with the folder's group as its group
  // (Group), else 0600: the umask may have taken the group's bits, an older
  // lock was readable by everyone or carried the user's own group. A group
  // that cannot be given falls back to 0600; a mode that cannot be set is an
  // error, as the lock would stay open to whoever could open it before.
  void Restrict(const std::string& path, const std::string& lockPath, const struct stat& st,
                const gid_t* group) {
    mode_t mode = 0600;
    if (group && st.st_gid == *group) {
      mode = 0660;
    } else if (group) {
      // Closed first, so that no moment leaves it open to the wrong group.
      if ((st.st_mode & 07777) != 0600 && fchmod(fd_, 0600) != 0) Fail(path, lockPath, errno);
      if (fchown(fd_, uid_t(-1), *group) == 0) mode = 0660;
    }
    struct stat now {};
    if (fstat(fd_, &now) != 0) Fail(path, lockPath, errno);
    if ((now.st_mode & 07777) != mode && fchmod(fd_, mode) != 0) Fail(path, lockPath, errno);
  }

  [[noreturn]] void Fail(const std::string& path, const std::string& lockPath, int err) {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (err != 0)
      throw EInOutError(
          TranslateFmt("IniFile.LockError", "Die Datei %s kann nicht gesperrt werden: %s (%s)",
                       {path, lockPath, ErrorReason(err)}));
    throw EInOutError(TranslateFmt(
        "IniFile.Locked",
        "Die Datei %s kann nicht geschrieben werden: ein anderes Programm hält die Sperre %s "
        "seit %d ms",
        {path, lockPath, int64_t(gLockWait.count())}));
  }

  int fd_ = -1;
};

}  // namespace

// Where the sections and keys of lines_ stand, found in one pass: profile loads
// look up a hundred keys, and a scan of the lines for each cost most of the
// runner's start. The names are places in lines_.
struct TIniFile::Index {
  // Only the first section of a name counts; it runs up to the next section
  // head of any name.
  using Range = LineRange;
  std::vector<Range> sections;  // in file order
  // Section names (group kSections) give their number in Sections; key names
  // (group: their section's number) the line of their first occurrence.
  NameTable names;
  static constexpr size_t kSections = NameTable::kSections;

  explicit Index(const std::vector<std::string_view>& lines)
      : names(lines, sections, lines.size()) {
    size_t current = npos;  // npos before the first section and in repeated ones
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string_view name;
      if (ParseSectionLine(lines[i], name)) {
        if (current != npos) sections[current].end = i;
        current = npos;
        if (names.Find(kSections, name) == npos) {
          current = sections.size();
          sections.push_back({i, lines.size(), i + 1});
          names.Add(kSections, i, name, current);
        }
      } else if (current != npos && KeyOfLine(lines[i], name)) {
        names.Add(current, i, name, i);
        sections[current].afterKeys = i + 1;
      }
    }
  }

  size_t Section(std::string_view name) const { return names.Find(kSections, name); }

  // Line of Key in Section, or npos.
  size_t Line(std::string_view section, std::string_view key) const {
    size_t n = Section(section);
    return n == npos ? npos : names.Find(n, key);
  }
};

const TIniFile::Index& TIniFile::Lookup() const {
  if (!index_) index_ = std::make_unique<Index>(lines_);
  return *index_;
}

bool TIniFile::ParseKeyLine(std::string_view line, std::string& key, std::string& value) {
  std::string_view k, v;
  if (!SplitKeyLine(line, k, v)) return false;
  key = std::string(k);
  value = std::string(v);
  return true;
}

TIniFile::TIniFile(std::string_view fileName) {
  bool missing = false;
  fileName_ = SettingsFile(fileName, missing);
  // Most optional settings files do not exist: their folder's listing says so
  // (in-memory files are in no listing).
  if (missing && !MemoryFiles())
    TakeText({}, false);
  else
    Load();
}

bool TIniFile::IsSettingsFile() const {
  if (MemoryFiles()) return false;
  const std::string folder = ExtractFilePath(fileName_);
  return SameFile(folder.empty() ? "./" : folder, SettingsDir());
}

TIniFile::TIniFile(TIniText text) : inMemory_(true) { TakeText(std::move(text.text), true); }

void TIniFile::SetLockWait(std::chrono::milliseconds wait) { gLockWait = wait; }

TIniFile::~TIniFile() {
  // Writes a flush failed to make were reported lost to its caller: tried
  // again here they would wait for the lock once more, and might land after
  // all, behind the report's back.
  if (flushFailed_) return;
  try {
    UpdateFile();
  } catch (...) {
    // A destructor cannot report; callers that care flush explicitly.
  }
}

void TIniFile::Load() {
  // The file may be one whose save is still pending.
  CompletePendingReplacements();
  // Only a missing file is empty: any other failure raises, so that nothing
  // is ever written back over a file that was not read whole.
  std::string text;
  bool exists = IsSettingsFile() ? ReadTrustedFileIfExists(fileName_, text)
                                 : ReadFileIfExists(fileName_, text);
  TakeText(std::move(text), exists);
}

void TIniFile::TakeText(std::string text, bool exists) {
  size_t lf = text.find('\n');
  eol_ = (lf != std::string::npos && (lf == 0 || text[lf - 1] != '\r')) ? "\n" : "\r\n";
  index_.reset();
  loaded_ = std::move(text);
  lines_ = SplitLineViews(loaded_);
  written_.clear();
  loadedExists_ = exists;
}

std::string TIniFile::Text() const { return JoinLineViews(lines_, eol_); }

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
  // A missing file (most of the optional ones) answers every read with Def.
  if (lines_.empty()) return std::string(def);
  size_t i = Lookup().Line(section, key);
  if (i == npos) return std::string(def);
  std::string_view k, v;
  SplitKeyLine(lines_[i], k, v);
  return std::string(v);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  return StrToIntDef(ReadString(section, key, ""), def);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

namespace {

void CheckNames(std::string_view section, std::string_view key) {
  if (section.find_first_of("]\r\n") != std::string_view::npos)
    throw Exception(FromUtf8("Ungültiger Abschnittsname: ") + CutAtLineBreak(section));
  if (key.empty() || key.find_first_of("=\r\n") != std::string_view::npos)
    throw Exception(FromUtf8("Ungültiger Schlüsselname: ") + CutAtLineBreak(key));
}

}  // namespace

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  CheckNames(section, key);
  ApplyAndQueue({Op::Write, std::string(section), std::string(key), CutAtLineBreak(value)});
}

void TIniFile::WriteDefault(std::string_view section, std::string_view key,
                            std::string_view value) {
  CheckNames(section, key);
  if (ValueExists(section, key)) return;
  ApplyAndQueue({Op::WriteDefault, std::string(section), std::string(key), CutAtLineBreak(value)});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, IntToStr(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::SectionExists(std::string_view section) const {
  return Lookup().Section(section) != npos;
}

bool TIniFile::SectionHasKeys(std::string_view section) const {
  // Asked once of a fresh object: a scan costs less than building the index.
  size_t head, end;
  if (!FindSection(lines_, section, head, end)) return false;
  std::string_view key;
  for (size_t i = head + 1; i < end; ++i)
    if (KeyOfLine(lines_[i], key)) return true;
  return false;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return Lookup().Line(section, key) != npos;
}

bool TIniFile::ReadIfExists(std::string_view section, std::string_view key,
                            std::string& value) const {
  if (lines_.empty()) return false;
  size_t i = Lookup().Line(section, key);
  if (i == npos) return false;
  std::string_view k, v;
  SplitKeyLine(lines_[i], k, v);
  value.assign(v);
  return true;
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::vector<std::string> names;
  for (const Index::Range& r : Lookup().sections) {
    std::string_view name;
    ParseSectionLine(lines_[r.head], name);
    names.emplace_back(name);
  }
  return names;
}

std::vector<size_t> TIniFile::KeyLines(std::string_view section) const {
  std::vector<size_t> found;
  const Index& index = Lookup();
  size_t n = index.Section(section);
  if (n == npos) return found;
  for (size_t i = index.sections[n].head + 1; i < index.sections[n].end; ++i) {
    std::string_view key;
    // A key's first line in the section counts; later ones are shadowed.
    if (KeyOfLine(lines_[i], key) && index.names.Find(n, key) == i) found.push_back(i);
  }
  return found;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> keys;
  for (size_t i : KeyLines(section)) {
    std::string_view key, value;
    SplitKeyLine(lines_[i], key, value);
    keys.emplace_back(key);
  }
  return keys;
}

std::vector<std::pair<std::string, std::string>> TIniFile::ReadSectionValues(
    std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> out;
  for (size_t i : KeyLines(section)) {
    std::string_view key, value;
    SplitKeyLine(lines_[i], key, value);
    out.emplace_back(key, value);
  }
  return out;
}

void TIniFile::EraseSection(std::string_view section) {
  ApplyAndQueue({Op::EraseSection, std::string(section), {}, {}});
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key) {
  ApplyAndQueue({Op::DeleteKey, std::string(section), std::string(key), {}});
}

void TIniFile::ApplyAndQueue(Op op) {
  // Built once for a run of writes (a profile's first save writes a hundred
  // keys): each write is then a lookup, not a scan of every line.
  if (op.kind == Op::Write || op.kind == Op::WriteDefault) Lookup();
  if (!ApplyIndexed(op)) {
    index_.reset();
    Apply(lines_, written_, op);
  }
  pending_.push_back(std::move(op));
}

// A write as Apply makes it, with the index kept up to date rather than
// dropped: a profile load writes back every missing key between lookups, and
// an index built anew for each would cost a pass over every line per key.
// False (nothing done) where only Apply knows the outcome.
bool TIniFile::ApplyIndexed(const Op& op) {
  if ((op.kind != Op::Write && op.kind != Op::WriteDefault) || !index_) return false;
  // Names that would not read back as written: Apply handles them.
  if (op.section.empty() || TrimView(op.section) != op.section || TrimView(op.key) != op.key ||
      op.key.front() == ';' || op.key.front() == '[')
    return false;
  Index& index = *index_;
  const size_t n = index.Section(op.section);
  if (n == npos) {
    // A new section at the end: ranges that ran to the end now end at its head.
    const size_t head = lines_.size();
    lines_.push_back(Keep(written_, "[" + op.section + "]"));
    lines_.push_back(Keep(written_, op.key + "=" + op.value));
    const size_t number = index.sections.size();
    index.sections.push_back({head, lines_.size(), lines_.size()});
    index.names.Add(Index::kSections, head, lines_[head].substr(1, op.section.size()), number);
    index.names.Add(number, head + 1, lines_[head + 1].substr(0, op.key.size()), head + 1);
    return true;
  }
  if (NameTable::Slot* slot = index.names.FindSlot(n, op.key)) {
    if (op.kind == Op::WriteDefault) return true;
    // Keep the stored spelling of the key.
    const size_t line = index.names.Line(*slot);
    std::string_view key;
    KeyOfLine(lines_[line], key);
    lines_[line] = Keep(written_, std::string(key) + "=" + op.value);
    slot->offset = 0;
    return true;
  }
  // After the section's last key, so trailing blank lines and comments stay put.
  const size_t after = index.sections[n].afterKeys;
  // Keys are kept relative to their section's head, and none of this
  // section's lies beyond the new line: moving the ranges moves every name.
  lines_.insert(lines_.begin() + after, Keep(written_, op.key + "=" + op.value));
  for (Index::Range& r : index.sections) {
    if (r.head >= after) ++r.head;
    if (r.end >= after) ++r.end;
    if (r.afterKeys >= after) ++r.afterKeys;
  }
  index.names.Add(n, after, lines_[after].substr(0, op.key.size()), after);
  return true;
}

void TIniFile::Apply(std::vector<std::string_view>& lines, std::deque<std::string>& store,
                     const Op& op) {
  size_t head, end;
  bool found = FindSection(lines, op.section, head, end);
  switch (op.kind) {
    case Op::Write:
    case Op::WriteDefault: {
      std::string newLine = op.key + "=" + op.value;
      if (!found) {
        lines.push_back(Keep(store, "[" + op.section + "]"));
        lines.push_back(Keep(store, std::move(newLine)));
        return;
      }
      size_t i = FindKey(lines, head, end, op.key);
      // A default never replaces a stored value.
      if (i != std::string::npos && op.kind == Op::WriteDefault) return;
      if (i != std::string::npos) {
        // Keep the stored spelling of the key.
        std::string k, v;
        ParseKeyLine(lines[i], k, v);
        lines[i] = Keep(store, k + "=" + op.value);
        return;
      }
      // After the section's last key, so trailing blank lines and comments stay put.
      size_t after = head + 1;
      std::string k, v;
      for (size_t j = head + 1; j < end; ++j)
        if (ParseKeyLine(lines[j], k, v)) after = j + 1;
      lines.insert(lines.begin() + after, Keep(store, std::move(newLine)));
      return;
    }
    case Op::DeleteKey: {
      if (!found) return;
      size_t i = FindKey(lines, head, end, op.key);
      if (i != std::string::npos) lines.erase(lines.begin() + i);
      return;
    }
    case Op::EraseSection:
      // Every section of that name goes, not only the first.
      while (FindSection(lines, op.section, head, end))
        lines.erase(lines.begin() + head, lines.begin() + end);
      return;
  }
}

void TIniFile::UpdateFile() {
  if (pending_.empty()) return;
  if (inMemory_) {
    TakeText(Text(), true);
    pending_.clear();
    return;
  }
  if (loadedExists_ && JoinsTo(lines_, eol_, loaded_)) {
    // Writes that leave the file as it was read need neither the lock nor a
    // second read: the runner writes the same registry values at every start.
    pending_.clear();
    return;
  }
  flushFailed_ = true;
  // A symlinked file is replaced at its target, and writers through other
  // links to it take the same lock.
  const std::string path = ResolveLinks(fileName_);
  std::optional<TIniLock> lock;
  // In-memory files and new files of our own: nobody to lock out.
  if (!MemoryFiles() && !alone_) lock.emplace(path);
  // What another user put in its place meanwhile would become a file of ours.
  std::string text;
  bool exists =
      IsSettingsFile() ? ReadTrustedFileIfExists(path, text) : ReadFileIfExists(path, text);
  // Nobody wrote the file since it was read (the usual case): the lines hold
  // the writes already; otherwise the writes go again onto what it holds now.
  const bool unchanged = exists == loadedExists_ && text == loaded_;
  std::vector<std::string_view> fresh;
  std::deque<std::string> store;
  if (!unchanged) {
    fresh = SplitLineViews(text);
    for (const Op& op : pending_) Apply(fresh, store, op);
  }
  std::string out = JoinLineViews(unchanged ? lines_ : fresh, eol_);
  // The line end stays the one the first read found, as an empty text tells none.
  const std::string eol = eol_;
  if (exists && out == text) {
    // Nothing to change: the runner rewrites the same values at every start,
    // and a rewrite with its syncs costs more than the whole run.
    TakeText(std::move(text), true);
  } else {
    TReplacementFile file(path);
    file.Write(out);
    file.Commit();
    TakeText(std::move(out), true);
  }
  eol_ = eol;
  pending_.clear();
  flushFailed_ = false;
}
