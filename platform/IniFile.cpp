#include "IniFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"

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
bool FindSection(const std::vector<std::string>& lines, std::string_view section, size_t& head,
                 size_t& end) {
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
size_t FindKey(const std::vector<std::string>& lines, size_t head, size_t end, std::string_view key) {
  std::string_view k;
  for (size_t i = head + 1; i < end; ++i)
    if (KeyOfLine(lines[i], k) && SameText(k, key)) return i;
  return std::string::npos;
}

std::string CutAtLineBreak(std::string_view v) {
  size_t p = v.find_first_of("\r\n");
  return std::string(p == std::string_view::npos ? v : v.substr(0, p));
}

// The whole file; Exists tells whether it could be opened. A read error ends
// the text where it happened.
std::string ReadWholeFile(const std::string& path, bool& exists) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  exists = fd >= 0;
  if (fd < 0) return {};
  struct stat st;
  size_t hint = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? size_t(st.st_size) : 0;
  // One byte more than the size, so that the end shows on the second read.
  std::string text(hint + 1, '\0');
  size_t used = 0;
  for (;;) {
    if (used == text.size()) text.resize(text.size() * 2);
    ssize_t n = read(fd, text.data() + used, text.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    used += size_t(n);
  }
  close(fd);
  text.resize(used);
  return text;
}

constexpr size_t npos = std::string::npos;

char Fold(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// SameText, quick for the usual case of one spelling.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

// Names within groups mapped to numbers, names compared as SameText does; the
// first entry of a name wins. Open addressing in one array: the table is built
// once per load and read many times, and a node per name would cost more than
// the lookups.
class NameTable {
public:
  // Room for up to Count entries.
  explicit NameTable(size_t count) {
    size_t size = 8;
    while (size < 2 * count) size *= 2;
    slots_.resize(size);
  }

  // The number stored for the name: Value when the name is new.
  size_t Add(size_t group, std::string_view name, size_t value) {
    uint64_t h = Hash(group, name);
    for (size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& s = slots_[i];
      if (s.value == npos) {
        s = {h, group, name, value};
        return value;
      }
      if (s.hash == h && s.group == group && SameName(s.name, name)) return s.value;
    }
  }

  // npos when the name is not there.
  size_t Find(size_t group, std::string_view name) const {
    uint64_t h = Hash(group, name);
    for (size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      const Slot& s = slots_[i];
      if (s.value == npos) return npos;
      if (s.hash == h && s.group == group && SameName(s.name, name)) return s.value;
    }
  }

private:
  struct Slot {
    uint64_t hash = 0;
    size_t group = 0;
    std::string_view name;
    size_t value = npos;  // npos: free
  };

  static uint64_t Hash(size_t group, std::string_view name) {
    uint64_t h = 14695981039346656037ull ^ (uint64_t(group) * 0x9E3779B97F4A7C15ull);
    for (char c : name) h = (h ^ (unsigned char)Fold(c)) * 1099511628211ull;
    return h ^ (h >> 29);
  }

  std::vector<Slot> slots_;
};

}  // namespace

// Where the sections and keys of lines_ stand, found in one pass: profile loads
// look up a hundred keys, and a scan of the lines for each cost most of the
// runner's start. The names are views into lines_.
struct TIniFile::Index {
  // Only the first section of a name counts; it runs up to the next section
  // head of any name.
  struct Range {
    size_t head, end;
  };
  std::vector<Range> sections;  // in file order
  // Section names (group kSections) give their number in Sections; key names
  // (group: their section's number) the line of their first occurrence.
  NameTable names;
  static constexpr size_t kSections = npos;

  explicit Index(const std::vector<std::string>& lines) : names(lines.size()) {
    size_t current = npos;  // npos before the first section and in repeated ones
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string_view name;
      if (ParseSectionLine(lines[i], name)) {
        if (current != npos) sections[current].end = i;
        size_t n = sections.size();
        current = names.Add(kSections, name, n) == n ? n : npos;
        if (current != npos) sections.push_back({i, lines.size()});
      } else if (current != npos && KeyOfLine(lines[i], name)) {
        names.Add(current, name, i);
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
  if (!index_) index_ = std::make_unique<const Index>(lines_);
  return *index_;
}

bool TIniFile::ParseKeyLine(std::string_view line, std::string& key, std::string& value) {
  std::string_view k, v;
  if (!SplitKeyLine(line, k, v)) return false;
  key = std::string(k);
  value = std::string(v);
  return true;
}

TIniFile::TIniFile(std::string_view fileName) : fileName_(ProgramFile(fileName)) { Load(); }

TIniFile::~TIniFile() {
  try {
    UpdateFile();
  } catch (...) {
    // A destructor cannot report; callers that care flush explicitly.
  }
}

void TIniFile::Load() {
  // The file may be one whose save is still pending.
  CompletePendingReplacements();
  std::string text = ReadWholeFile(fileName_, loadedExists_);
  lines_ = SplitLines(text);
  index_.reset();
  size_t lf = text.find('\n');
  eol_ = (lf != std::string::npos && (lf == 0 || text[lf - 1] != '\r')) ? "\n" : "\r\n";
  loaded_ = std::move(text);
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
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

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (section.find_first_of("]\r\n") != std::string_view::npos)
    throw Exception(FromUtf8("Ungültiger Abschnittsname: ") + CutAtLineBreak(section));
  if (key.empty() || key.find_first_of("=\r\n") != std::string_view::npos)
    throw Exception(FromUtf8("Ungültiger Schlüsselname: ") + CutAtLineBreak(key));
  ApplyAndQueue({Op::Write, std::string(section), std::string(key), CutAtLineBreak(value)});
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
  index_.reset();
  Apply(lines_, op);
  pending_.push_back(std::move(op));
}

void TIniFile::Apply(std::vector<std::string>& lines, const Op& op) {
  size_t head, end;
  bool found = FindSection(lines, op.section, head, end);
  switch (op.kind) {
    case Op::Write: {
      std::string newLine = op.key + "=" + op.value;
      if (!found) {
        lines.push_back("[" + op.section + "]");
        lines.push_back(newLine);
        return;
      }
      size_t i = FindKey(lines, head, end, op.key);
      if (i != std::string::npos) {
        // Keep the stored spelling of the key.
        std::string k, v;
        ParseKeyLine(lines[i], k, v);
        lines[i] = k + "=" + op.value;
        return;
      }
      // After the section's last key, so trailing blank lines and comments stay put.
      size_t after = head + 1;
      std::string k, v;
      for (size_t j = head + 1; j < end; ++j)
        if (ParseKeyLine(lines[j], k, v)) after = j + 1;
      lines.insert(lines.begin() + after, newLine);
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
  if (loadedExists_ && JoinLines(lines_, eol_) == loaded_) {
    // Writes that leave the file as it was read need neither the lock nor a
    // second read: the runner writes the same registry values at every start.
    pending_.clear();
    return;
  }
  std::string dir = ExtractFilePath(fileName_);
  if (dir.empty()) dir = "./";
  // The lock lives on the folder: the file itself is replaced by rename, so a
  // lock on its inode would not be seen by the next writer.
  int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) throw EInOutError(FromUtf8("Kann nicht schreiben: ") + fileName_);
  while (flock(dirFd, LOCK_EX) != 0 && errno == EINTR) {
  }
  std::string tmp;
  auto fail = [&](const char* what) {
    int err = errno;
    if (!tmp.empty()) unlink(tmp.c_str());
    close(dirFd);
    throw EInOutError(FromUtf8("Kann nicht schreiben: ") + fileName_ + " (" + what + ": " +
                      std::strerror(err) + ")");
  };

  bool exists;
  std::string text = ReadWholeFile(fileName_, exists);
  std::vector<std::string> fresh = SplitLines(text);
  for (const Op& op : pending_) Apply(fresh, op);
  std::string out = JoinLines(fresh, eol_);
  if (exists && out == text) {
    // Nothing to change: the runner rewrites the same values at every start,
    // and a rewrite with its syncs costs more than the whole run.
    close(dirFd);
    Reloaded(std::move(fresh), std::move(text), true);
    return;
  }

  tmp = fileName_ + ".XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) {
    tmp.clear();
    fail("mkstemp");
  }
  struct stat st;
  fchmod(fd, exists && stat(fileName_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = write(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(fd);
      fail("write");
    }
    done += size_t(n);
  }
  if (fsync(fd) != 0) {
    close(fd);
    fail("fsync");
  }
  close(fd);
  if (rename(tmp.c_str(), fileName_.c_str()) != 0) fail("rename");
  fsync(dirFd);
  close(dirFd);
  Reloaded(std::move(fresh), std::move(out), true);
}

void TIniFile::Reloaded(std::vector<std::string> lines, std::string text, bool exists) {
  lines_ = std::move(lines);
  index_.reset();
  loaded_ = std::move(text);
  loadedExists_ = exists;
  pending_.clear();
}
