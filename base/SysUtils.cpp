#include "SysUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

namespace {

// windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string DefaultFromUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    unsigned char c = s[i];
    if (c < 0x80) {
      out += char(c);
      ++i;
      continue;
    }
    int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    uint32_t cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    bool ok = len > 1 && i + len <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      unsigned char cc = s[i + k];
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      out += '?';
      ++i;
      continue;
    }
    i += len;
    if (cp < 0x100 && (cp < 0x80 || cp >= 0xA0)) {
      out += char(cp);
      continue;
    }
    int b = UnicodeToCp1252(cp);
    out += b ? char(b) : '?';
  }
  return out;
}

std::string DefaultToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) AppendUtf8(out, Cp1252ToUnicode(c));
  return out;
}

TextConverter gFromUtf8 = DefaultFromUtf8;
TextConverter gToUtf8 = DefaultToUtf8;

bool IsBlank(unsigned char c) { return c <= ' '; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

}  // namespace

std::string FromUtf8(std::string_view utf8) { return gFromUtf8(utf8); }
std::string ToUtf8(std::string_view internal) { return gToUtf8(internal); }
std::string Windows1252ToUtf8(std::string_view cp1252) { return DefaultToUtf8(cp1252); }

uint32_t Cp1252ToUnicode(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : b;
  return b;
}

int UnicodeToCp1252(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) return int(cp);
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == cp) return 0x80 + i;
  return 0;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}


void SetInternalCharsetConverters(TextConverter fromUtf8, TextConverter toUtf8) {
  gFromUtf8 = fromUtf8 ? fromUtf8 : DefaultFromUtf8;
  gToUtf8 = toUtf8 ? toUtf8 : DefaultToUtf8;
}

// ---------------------------------------------------------------------------

EIntOverflow::EIntOverflow() : Exception(FromUtf8("Integerüberlauf")) {}
ERangeError::ERangeError() : Exception(FromUtf8("Fehler bei Bereichsprüfung")) {}

void Abort() { throw EAbort(); }

int32_t CheckedAdd(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_add_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}
int32_t CheckedSub(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_sub_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}
int32_t CheckedMul(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_mul_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}
int64_t CheckedAdd64(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_add_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}
int64_t CheckedSub64(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_sub_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}
int64_t CheckedMul64(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_mul_overflow(a, b, &r)) throw EIntOverflow();
  return r;
}
int32_t CheckedInt32(int64_t v) {
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    throw ERangeError();
  return int32_t(v);
}

namespace {
template <typename T>
T CheckedFromDouble(double v) {
  // The bounds are exact powers of two, so the comparisons are exact too.
  constexpr double lo = double(std::numeric_limits<T>::min());
  constexpr double hi = -lo;  // 2^31 or 2^63: first value past the maximum
  if (!(v >= lo && v < hi)) throw ERangeError();
  return T(v);
}
}  // namespace

int32_t CheckedTrunc(double v) { return CheckedFromDouble<int32_t>(std::trunc(v)); }
int32_t CheckedRound(double v) { return CheckedFromDouble<int32_t>(std::round(v)); }
int64_t CheckedTrunc64(double v) { return CheckedFromDouble<int64_t>(std::trunc(v)); }
int64_t CheckedRound64(double v) { return CheckedFromDouble<int64_t>(std::round(v)); }

char CharAt(std::string_view s, int64_t index) {
  if (index < 1 || index > int64_t(s.size())) throw ERangeError();
  return s[size_t(index - 1)];
}

// ---------------------------------------------------------------------------

std::string Copy(std::string_view s, int64_t index, int64_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > int64_t(s.size())) return {};
  size_t start = size_t(index - 1);
  size_t n = std::min<uint64_t>(uint64_t(count), s.size() - start);
  return std::string(s.substr(start, n));
}

std::string CopyFrom(std::string_view s, int64_t index) {
  return Copy(s, index, std::numeric_limits<int64_t>::max());
}

int Pos(std::string_view sub, std::string_view s) { return PosEx(sub, s, 1); }

int PosEx(std::string_view sub, std::string_view s, int64_t offset) {
  if (sub.empty() || offset < 1 || offset > int64_t(s.size())) return 0;
  size_t p = s.find(sub, size_t(offset - 1));
  return p == std::string_view::npos ? 0 : int(p + 1);
}

int LastPos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  size_t p = s.rfind(sub);
  return p == std::string_view::npos ? 0 : int(p + 1);
}

void Delete(std::string& s, int64_t index, int64_t count) {
  if (index < 1 || index > int64_t(s.size()) || count <= 0) return;
  size_t start = size_t(index - 1);
  s.erase(start, std::min<uint64_t>(uint64_t(count), s.size() - start));
}

void Insert(std::string_view source, std::string& s, int64_t index) {
  if (index < 1) index = 1;
  if (index > int64_t(s.size()) + 1) index = int64_t(s.size()) + 1;
  s.insert(size_t(index - 1), source);
}

std::string_view TrimmedView(std::string_view s) {
  size_t begin = 0, end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

std::string Trim(std::string_view s) { return std::string(TrimmedView(s)); }

std::string TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return std::string(s.substr(0, n));
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiUpper(c);
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiLower(c);
  return r;
}

char UpCase(char c) { return AsciiUpper(c); }

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

int CompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = AsciiUpper(a[i]), y = AsciiUpper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool StartsText(std::string_view prefix, std::string_view s) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}
bool EndsText(std::string_view suffix, std::string_view s) {
  return s.size() >= suffix.size() && SameText(s.substr(s.size() - suffix.size()), suffix);
}
bool StartsStr(std::string_view prefix, std::string_view s) { return s.starts_with(prefix); }
bool EndsStr(std::string_view suffix, std::string_view s) { return s.ends_with(suffix); }

std::string StringOfChar(char c, int64_t count) {
  return count > 0 ? std::string(size_t(count), c) : std::string();
}

std::string StringReplace(std::string_view s, std::string_view from, std::string_view to,
                          bool all, bool ignoreCase) {
  if (from.empty()) return std::string(s);
  std::string haystack = ignoreCase ? UpperCase(s) : std::string(s);
  std::string needle = ignoreCase ? UpperCase(from) : std::string(from);
  std::string out;
  size_t pos = 0;
  while (true) {
    size_t hit = haystack.find(needle, pos);
    if (hit == std::string::npos) break;
    out.append(s.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
    if (!all) break;
  }
  out.append(s.substr(pos));
  return out;
}

// ---------------------------------------------------------------------------

std::string IntToStr(int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

bool TryStrToInt64(std::string_view s, int64_t& out) {
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i >= s.size()) return false;
  bool hex = false;
  if (s[i] == '$') {
    hex = true;
    ++i;
  } else if (s.size() - i > 2 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return false;
  uint64_t mag = 0;
  auto r = std::from_chars(s.data() + i, s.data() + s.size(), mag, hex ? 16 : 10);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  if (neg) {
    if (mag > uint64_t(std::numeric_limits<int64_t>::max()) + 1) return false;
    out = mag == uint64_t(std::numeric_limits<int64_t>::max()) + 1
              ? std::numeric_limits<int64_t>::min()
              : -int64_t(mag);
  } else {
    if (mag > uint64_t(std::numeric_limits<int64_t>::max())) return false;
    out = int64_t(mag);
  }
  return true;
}

bool TryStrToInt(std::string_view s, int32_t& out) {
  int64_t v;
  if (!TryStrToInt64(s, v) || v < std::numeric_limits<int32_t>::min() ||
      v > std::numeric_limits<int32_t>::max())
    return false;
  out = int32_t(v);
  return true;
}

int32_t StrToInt(std::string_view s) {
  int32_t v;
  if (!TryStrToInt(s, v))
    throw EConvertError("'" + std::string(s) + FromUtf8("' ist kein gültiger Integerwert"));
  return v;
}

int32_t StrToIntDef(std::string_view s, int32_t def) {
  int32_t v;
  return TryStrToInt(s, v) ? v : def;
}

bool TryStrToFloat(std::string_view s, double& out) {
  if (s.empty()) return false;
  const char* b = s.data();
  const char* e = s.data() + s.size();
  if (*b == '+') ++b;  // from_chars refuses a leading plus
  if (b == e) return false;
  auto r = std::from_chars(b, e, out, std::chars_format::general);
  return r.ec == std::errc() && r.ptr == e;
}

double StrToFloat(std::string_view s) {
  double v;
  if (!TryStrToFloat(s, v))
    throw EConvertError("'" + std::string(s) + FromUtf8("' ist kein gültiger Gleitkommawert"));
  return v;
}

std::string FloatToStr(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// ---------------------------------------------------------------------------

namespace {

// Calls Line(start, length) for each line of Text, cut as SplitLines cuts them.
template <class LineFn>
void ForEachLine(std::string_view text, LineFn line) {
  const size_t n = text.size();
  // The next CR and the next LF, each found by memchr: long lines cost little.
  auto next = [&](char c, size_t from) {
    const void* q = from < n ? std::memchr(text.data() + from, c, n - from) : nullptr;
    return q ? size_t(static_cast<const char*>(q) - text.data()) : n;
  };
  size_t start = 0, cr = next('\r', 0), lf = next('\n', 0);
  while (start < n) {
    size_t end = std::min(cr, lf);
    line(text.substr(start, end - start));
    start = end + (end + 1 < n && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    if (cr < start) cr = next('\r', start);
    if (lf < start) lf = next('\n', start);
  }
}

template <class Line>
std::string JoinAll(const std::vector<Line>& lines, std::string_view eol) {
  size_t total = 0;
  for (const auto& l : lines) total += l.size() + eol.size();
  std::string out;
  out.reserve(total);
  for (const auto& l : lines) {
    out += l;
    out += eol;
  }
  return out;
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  ForEachLine(text, [&](std::string_view l) { lines.emplace_back(l); });
  return lines;
}

std::vector<std::string_view> SplitLineViews(std::string_view text) {
  std::vector<std::string_view> lines;
  ForEachLine(text, [&](std::string_view l) { lines.push_back(l); });
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines, std::string_view eol) {
  return JoinAll(lines, eol);
}

std::string JoinLineViews(const std::vector<std::string_view>& lines, std::string_view eol) {
  return JoinAll(lines, eol);
}

std::string LocalTimeText(const char* format) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[64];
  return std::string(buf, std::strftime(buf, sizeof buf, format, &tm));
}
