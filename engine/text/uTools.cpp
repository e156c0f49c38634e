#include "uTools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <random>

#include "Process.h"
#include "ProgramDir.h"
#include "SafeFile.h"
#include "TempFile.h"
#include "uCharsets.h"
#include "uEinstellungen.h"
#include "uTransla.h"
#include "uperlre.h"

// ---------------------------------------------------------------------------
// Internal charset and string hooks

namespace {

std::string gInternalCharset = "windows-1252";
bool gUtf8 = false;

int Saturated(size_t n) { return n > size_t(INT_MAX) ? INT_MAX : int(n); }

// Bytes of the UTF-8 sequence a lead byte begins, from its high four bits only.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  switch (lead >> 4) {
    case 0xE: return 3;
    case 0xF: return 4;
    default: return 2;
  }
}

// Byte offset where character Index (1-based) begins, or npos when the text
// ends before it.
size_t Utf8Offset(std::string_view s, int64_t index) {
  size_t i = 0;
  for (int64_t k = 1; k < index; ++k) {
    if (i >= s.size() || s[i] == '\0') return std::string_view::npos;
    size_t len = SequenceLength(static_cast<unsigned char>(s[i]));
    if (len > s.size() - i) return std::string_view::npos;
    i += len;
  }
  return i;
}

}  // namespace

void SetInternalCharset(std::string_view name) {
  // An empty or unknown name selects charset 0 of the tables.
  SelectInternalCharset(name);
  const TCSInfo* selected = GetCSInfos().Items(InternalCharsetIndex());
  gInternalCharset = selected ? selected->Name : std::string(name);
  // The tables decide what the text is, so "UTF-8" or an alias counts
  // characters just as "utf-8" does.
  gUtf8 = selected && selected->UnicodeKind == TCSInfo::ukUtf8;
  RecodeTranslation();
}

void InitInternalCharset() { InitInternalCharset(TIniFileUTF8("Specials.ini")); }

void InitInternalCharset(const TIniFile& specials) {
  SetInternalCharset(specials.ReadString("Charsets", "Internal", ""));
}

const std::string& InternalCharsetName() { return gInternalCharset; }
bool InternalCharsetIsUtf8() { return gUtf8; }

namespace hooks {
int Length(std::string_view s) { return gUtf8 ? Utf8Length(s) : ByteLength(s); }
std::string Copy(std::string_view s, int64_t index, int64_t count) {
  return gUtf8 ? Utf8Copy(s, index, count) : ByteCopy(s, index, count);
}
double Ord(std::string_view s) { return gUtf8 ? Utf8Ord(s) : ByteOrd(s); }
int Pos(std::string_view sub, std::string_view s) { return gUtf8 ? Utf8Pos(sub, s) : BytePos(sub, s); }
}  // namespace hooks

int Utf8Length(std::string_view s) {
  size_t i = 0, n = 0;
  while (i < s.size() && s[i] != '\0') {
    size_t len = SequenceLength(static_cast<unsigned char>(s[i]));
    if (len > s.size() - i) break;
    i += len;
    ++n;
  }
  return Saturated(n);
}

std::string Utf8Copy(std::string_view s, int64_t index, int64_t count) {
  if (count < 1) return {};
  size_t start = Utf8Offset(s, index < 1 ? 1 : index);
  if (start == std::string_view::npos || start >= s.size() || s[start] == '\0') return {};
  size_t end = start;
  for (int64_t k = 0; k < count && end < s.size() && s[end] != '\0'; ++k) {
    size_t len = SequenceLength(static_cast<unsigned char>(s[end]));
    if (len > s.size() - end) break;
    end += len;
  }
  return std::string(s.substr(start, end - start));
}

double Utf8Ord(std::string_view s) {
  if (s.empty()) return 0;
  unsigned char lead = s[0];
  if (lead < 0x80) return lead;
  size_t more;
  uint32_t value;
  if ((lead & 0xE0) == 0xC0) {
    more = 1;
    value = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    more = 2;
    value = lead & 0x0F;
  } else {
    return 0;
  }
  if (s.size() <= more) return 0;
  for (size_t k = 1; k <= more; ++k) {
    unsigned char c = s[k];
    if (c < 0x80) return 0;
    value = value * 64 + (c & 0x3F);
  }
  return value;
}

int Utf8Pos(std::string_view sub, std::string_view s) {
  int p = ::Pos(sub, s);
  return p > 2 ? Utf8Length(s.substr(0, size_t(p - 1))) + 1 : p;
}

int ByteLength(std::string_view s) { return Saturated(s.size()); }
std::string ByteCopy(std::string_view s, int64_t index, int64_t count) { return ::Copy(s, index, count); }
double ByteOrd(std::string_view s) { return s.empty() ? 0 : static_cast<unsigned char>(s[0]); }
int BytePos(std::string_view sub, std::string_view s) { return ::Pos(sub, s); }

std::string FillPattern(std::string_view pattern, int64_t width) {
  int64_t n = hooks::Length(pattern);
  if (n < 1 || width < 1) return {};
  std::string r;
  int64_t whole = width / n;
  r.reserve(size_t(whole) * pattern.size() + pattern.size());
  for (int64_t k = 0; k < whole; ++k) r += pattern;
  r += hooks::Copy(pattern, 1, width % n);
  return r;
}

// ---------------------------------------------------------------------------
// Programs and files

bool RunAndWait(std::string_view fileName, std::string_view params, uint16_t /*showCmd*/) {
  std::string file = NativePath(fileName);
  std::string exe = FileExists(file) ? file : FindProgram(file);
  if (exe.empty()) return false;
  // The program runs in its own folder, so a relative path must not be
  // resolved against that folder a second time.
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(exe, ec);
  if (!ec) exe = absolute.string();
  SpawnOptions options;
  options.workDir = ExtractFilePath(exe);
  int exitCode = 0;
  return SpawnAndWait(exe, SplitCommandLine(params), exitCode, options);
}

std::string MakeTempFileName() {
  try {
    return CreateUniqueFile(SettingsDir(), "VQ-", ".tmp");
  } catch (const EInOutError&) {
    int code = errno;
    RaiseWin32Error(code != 0 ? code : EIO);
  }
}

void RaiseWin32Error() { RaiseWin32Error(errno); }

void RaiseWin32Error(int code) {
  if (code == 0) throw EWin32Error(FromUtf8("Eine Win32-API-Funktion ist fehlgeschlagen"), 0);
  const char* text = strerrordesc_np(code);
  throw EWin32Error(Format(FromUtf8("Win32-Fehler. Code: %d.'#10'%s"),
                           {int64_t(code), FromUtf8(text ? text : "")}),
                    uint32_t(code));
}

namespace {

constexpr size_t kMaxNameBytes = 200;
// An "extension" longer than this is no extension worth keeping whole.
constexpr size_t kMaxKeptExtension = 50;

[[noreturn]] void ThrowFileError(const std::string& path, int code) {
  throw EInOutError(
      Format(FromUtf8("Datei \"%s\" kann nicht erstellt werden. %s"), {path, ErrorReason(code)}));
}

// A name from a message made safe to create in one folder: no separators, no
// characters Windows refused, no control bytes, never "." or "..".
std::string SafeFileName(std::string_view name) {
  std::string r(name);
  size_t lastStar = r.rfind('*');
  for (size_t i = 0; i < r.size(); ++i) {
    unsigned char c = r[i];
    if (c < 0x20 || c == 0x7F || std::string_view("<>?\\|/:\"").find(char(c)) != std::string_view::npos)
      r[i] = '_';
    else if (c == '*' && i != lastStar)
      r[i] = '_';
  }
  if (r.empty() || r == "." || r == "..") r = "AutoSave_";
  if (r.size() > kMaxNameBytes) {
    std::string ext = ExtractFileExt(r);
    if (ext.size() > kMaxKeptExtension) ext.clear();
    r = r.substr(0, kMaxNameBytes - ext.size()) + ext;
  }
  return r;
}

}  // namespace

void SaveToUniqueFile(std::string_view dir, std::string_view name, std::string_view text,
                      std::string& fileName, uint8_t mode) {
  fileName.clear();
  std::string safe = SafeFileName(name);
  std::string folder = dir.empty() ? SettingsDir() : NativePath(dir);
  if (folder.back() != '/') folder += '/';
  // Written where the check led (another user's link on the way raises), not
  // where the name leads by the time of the write.
  folder = ResolveLinks(folder);

  // Written like a message: the complete, durable text is given its name by
  // a rename that never replaces (unless replacing is asked for), so a kill
  // leaves no truncated file under a real name, and the name is chosen by
  // what exists when the file is complete. The name is never followed as a link.
  TReplaceOptions options;
  options.followLinks = false;
  options.privateInSharedFolder = true;
  TReplacementFile file(folder + safe, options);
  file.Write(text);
  file.Finish();
  auto numbered = [&](auto makeName) {
    for (uint64_t n = 1; n <= 1000000; ++n) {
      std::string path = makeName(n);
      if (file.CommitAsNew(path)) return path;
    }
    ThrowFileError(makeName(1000000), EEXIST);
  };

  if (size_t star = safe.find('*'); star != std::string::npos) {
    fileName = numbered([&](uint64_t n) {
      return folder + safe.substr(0, star) + IntToStr(int64_t(n)) + safe.substr(star + 1);
    });
    return;
  }
  const std::string path = folder + safe;
  if (file.CommitAsNew(path)) {
    fileName = path;
    return;
  }
  if (mode == 0) return;
  struct stat st;
  if (mode != 2 && lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    // Replaces the entry itself, a link put there meanwhile included.
    file.Commit();
    fileName = path;
    return;
  }
  std::string ext = ExtractFileExt(safe);
  std::string stem = safe.substr(0, safe.size() - ext.size());
  fileName = numbered(
      [&](uint64_t n) { return folder + stem + "[" + IntToStr(int64_t(n)) + "]" + ext; });
}

// ---------------------------------------------------------------------------
// Addresses, lists and small string tools

void ParseAddress(std::string_view value, std::string& name, std::string& shortName,
                  std::string& address) {
  std::string t = Trim(value);
  name.clear();
  shortName.clear();
  address.clear();
  TPerlre& re = SharedPerlre();
  if (re.Match("^.+@.+ \\(.+\\)$", t)) {
    size_t open = t.find('(');
    if (open != std::string::npos && open + 1 < t.size()) {
      name = Trim(std::string_view(t).substr(open + 1, t.size() - 1 - (open + 1)));
      address = Trim(std::string_view(t).substr(0, open));
    }
  } else if (re.Match("^.+ <.+@.+>$", t)) {
    size_t open = t.find('<');
    if (open != std::string::npos && open + 1 < t.size()) {
      address = t.substr(open + 1, t.size() - 1 - (open + 1));
      name = Trim(std::string_view(t).substr(0, open));
    }
  } else if (re.Match("^<.+@.+>$", t)) {
    address = t.size() >= 2 ? t.substr(1, t.size() - 2) : std::string();
  } else {
    address = t;
  }

  if (!name.empty()) {
    // A lone '"' both begins and ends the name; it leaves nothing inside.
    if (name.front() == '"' && name.back() == '"')
      name = name.size() >= 2 ? Trim(std::string_view(name).substr(1, name.size() - 2)) : std::string();
    if (size_t comma = name.find(','); comma != std::string::npos)
      shortName = Trim(std::string_view(name).substr(comma + 1));
    else if (size_t blank = name.find(' '); blank != std::string::npos)
      shortName = name.substr(0, blank);
  }
  if (address.empty()) address = t;
  if (name.empty()) name = address;
  if (shortName.empty()) shortName = address;
}

std::string BuildAddress(std::string_view name, std::string_view address) {
  std::string r;
  if (!name.empty() && name != address) {
    std::string_view inner = name;
    if (inner.size() >= 2 && inner.front() == '"' && inner.back() == '"')
      inner = inner.substr(1, inner.size() - 2);
    std::string copied;
    bool quote = false;
    for (size_t i = 0; i < inner.size(); ++i) {
      char c = inner[i];
      if (c == '"' || c == '.' || c == ',' || c == '<' || c == '>') quote = true;
      if (c == '"' && (i == 0 || inner[i - 1] != '\\')) copied += '\\';
      copied += c;
    }
    r = quote ? '"' + copied + '"' : copied;
    r += ' ';
  }
  if (!address.empty()) {
    if (address.front() != '<') r += '<';
    r += address;
    if (address.back() != '>') r += '>';
  }
  return r;
}

void CutFirstItem(std::string& list, bool& more, std::string& item) {
  size_t comma = list.find(',');
  more = comma != std::string::npos;
  if (more) {
    item = Trim(std::string_view(list).substr(0, comma));
    list = Trim(std::string_view(list).substr(comma + 1));
  } else {
    item = Trim(list);
    list.clear();
  }
}

void PickSignature(std::vector<std::string>& lines, int n) {
  if (lines.empty()) return;
  auto isDelimiter = [](const std::string& line) { return Trim(line) == "--"; };
  if (!isDelimiter(lines.front())) lines.insert(lines.begin(), "--");

  int64_t target;
  if (n >= 1) {
    target = int64_t(n) - 1;
  } else {
    static std::mt19937 rng(std::random_device{}());
    int64_t blocks = std::count_if(lines.begin(), lines.end(), isDelimiter);
    target = std::uniform_int_distribution<int64_t>(0, blocks - 1)(rng);
  }

  int64_t seen = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (isDelimiter(lines[i]) && ++seen == target + 1) {
      lines.erase(lines.begin(), lines.begin() + ptrdiff_t(i) + 1);
      break;
    }
  }
  auto next = std::find_if(lines.begin(), lines.end(), isDelimiter);
  lines.erase(next, lines.end());
  while (!lines.empty() && Trim(lines.back()).empty()) lines.pop_back();
}

bool TakeLeadingName(std::string& s, std::string& name) {
  s = Trim(s);
  auto isNameChar = [](char c) {
    return c == '-' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
           (c >= 'a' && c <= 'z');
  };
  size_t n = 0;
  while (n < s.size() && isNameChar(s[n])) ++n;
  if (n == 0) return false;
  name = s.substr(0, n);
  s.erase(0, n);
  return true;
}

bool FindCommandLineWord(std::string& line, std::string_view word, bool deleteUpTo) {
  std::string copy;
  copy.reserve(line.size() + 2);
  copy += ' ';
  char quote = 0;
  for (char c : line) {
    if (quote) {
      copy += c == quote ? ' ' : c;
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
      copy += c;
    } else if (c == '(' || c == ')' || c == '[' || c == ']') {
      copy += ' ';
    } else {
      copy += UpCase(c);
    }
  }
  copy += ' ';
  size_t at = copy.find(' ' + UpperCase(word) + ' ');
  if (at == std::string::npos) return false;
  // The copy has one blank more in front, so the word ends in Line where its
  // blank-framed form begins plus its length.
  if (deleteUpTo) line.erase(0, std::min(line.size(), at + word.size()));
  return true;
}

std::string StripTrailingCRLF(std::string_view s) {
  while (s.size() > 2 && s.substr(s.size() - 2) == "\r\n") s.remove_suffix(2);
  return std::string(s);
}

int Sign(double x) { return x > 0 ? 1 : x < 0 ? -1 : 0; }

// ---------------------------------------------------------------------------
// Box quotes

namespace {

// Tabs become blanks up to the next stop; stops are eight characters apart,
// so the character after a tab stands at position 9, 17, ...
std::string ExpandTabs(std::string_view s) {
  if (s.find('\t') == std::string_view::npos) return std::string(s);
  std::string out;
  int64_t col = 0;  // characters written so far
  while (true) {
    size_t tab = s.find('\t');
    std::string_view piece = s.substr(0, tab);
    out += piece;
    col += hooks::Length(piece);
    if (tab == std::string_view::npos) break;
    int64_t blanks = 8 - col % 8;
    out.append(size_t(blanks), ' ');
    col += blanks;
    s.remove_prefix(tab + 1);
  }
  return out;
}

}  // namespace

void DrawBoxQuote(const std::string& title, const TBoxQuote& style,
                  std::vector<std::string>& lines) {
  if (!style.Valid || lines.empty()) return;
  const TBoxQuote& s = style;
  const int64_t first = 0, last = int64_t(lines.size()) - 1;

  std::string left, right;
  if (int at = hooks::Pos("@", s.Title); at > 0) {
    left = hooks::Copy(s.Title, 1, at - 1);
    right = hooks::Copy(s.Title, at + 1, INT_MAX);
  } else {
    const int h = hooks::Length(s.Title) / 2;
    left = hooks::Copy(s.Title, 1, h);
    right = hooks::Copy(s.Title, int64_t(hooks::Length(s.Title)) - h + 1, h);
  }
  const std::string framedTitle = left + title + right;
  const int64_t titleLength = hooks::Length(title);
  const int64_t leftLength = hooks::Length(s.Left);

  // A closed box measures its lines with the tabs expanded, so a tab cannot
  // push a line past the right-hand frame.
  std::vector<std::string> inner;
  for (int64_t k = first + 1; k < last; ++k) {
    std::string line = s.Left + " " + lines[size_t(k)];
    inner.push_back(s.BoxType == 2 ? ExpandTabs(line) : std::move(line));
  }
  int64_t width = title.empty() ? 10 : hooks::Length(framedTitle) + 2;
  for (const std::string& line : inner)
    width = std::max(width, int64_t(hooks::Length(line)) - leftLength + 1);
  if (width % 2 != titleLength % 2) ++width;

  std::string top = s.TopLeft;
  switch (s.BoxType) {
    case 0:
      top += FillPattern(s.Top, s.WidthTop);
      if (!title.empty()) top += framedTitle;
      break;
    case 1: top += FillPattern(s.Top, width); break;
    case 2: top += FillPattern(s.Top, width) + s.TopRight; break;
    default: break;
  }
  if ((s.BoxType == 1 || s.BoxType == 2) && !title.empty()) {
    const int64_t at = std::max<int64_t>(0, (width - titleLength) / 2 - hooks::Length(s.TopLeft));
    top = hooks::Copy(top, 1, at) + framedTitle +
          hooks::Copy(top, at + 1 + hooks::Length(framedTitle), INT_MAX);
  }

  if (s.BoxType <= 2)
    for (int64_t k = first + 1; k < last; ++k) {
      std::string& line = inner[size_t(k - first - 1)];
      if (s.BoxType == 2) {
        const int64_t missing = width + leftLength - hooks::Length(line);
        if (missing > 0) line.append(size_t(missing), ' ');
        line += s.Right;
      }
      lines[size_t(k)] = std::move(line);
    }

  std::string bottom;
  switch (s.BoxType) {
    case 0: bottom = s.BottomLeft + FillPattern(s.Bottom, s.WidthDown); break;
    case 1: bottom = s.BottomLeft + FillPattern(s.Bottom, width); break;
    case 2: bottom = s.BottomLeft + FillPattern(s.Bottom, width) + s.BottomRight; break;
    default: bottom = top; break;
  }
  lines[size_t(first)] = std::move(top);
  lines[size_t(last)] = std::move(bottom);
}
