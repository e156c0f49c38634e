#include "uHeaderCoding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "SysUtils.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> MakeBase64Table() {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = -1;
  for (int i = 0; i < 64; ++i) t[size_t(uint8_t(kBase64[i]))] = int8_t(i);
  return t;
}
constexpr std::array<int8_t, 256> kBase64Value = MakeBase64Table();

constexpr std::array<bool, 256> MakeQPPlainTable() {
  std::array<bool, 256> t{};
  for (int c = ' '; c < 0x7F; ++c) t[size_t(c)] = c != '=' && c != 'F';
  return t;
}
constexpr std::array<bool, 256> kQPPlain = MakeQPPlainTable();

// Hex digit of either case, -1 for anything else.
int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Has8Bit(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return true;
  return false;
}

// ASCII spellings of the windows-1252 positions 128..255.
constexpr const char* kAsciiOf[128] = {
    "Euro", "?",    ",",  "f",     "\"",   "...", "#",    "#",     "^",  "o/oo", "S",   "<",
    "CE",   "?",    "?",  "?",     "?",    "'",   "'",    "\"",    "\"", "*",    "-",   "-",
    "~",    "TM",   "s",  ">",     "oe",   "?",   "?",    "Y",     " ",  "i",    "C",   "Pfund",
    "Whrg", "Yen",  "|",  "Par.",  "\"",   "(c)", "?",    "<<",    "?",  "-",    "(R)", "-",
    "Gr.",  "+/-",  "^2", "^3",    "'",    "?",   "?",    "*",     "?",  "^1",   "*",   ">>",
    "1/4",  "1/2",  "3/4", "?",    "A",    "A",   "A",    "A",     "Ae", "A",    "AE",  "C",
    "E",    "E",    "E",  "E",     "I",    "I",   "I",    "I",     "D",  "N",    "O",   "O",
    "O",    "O",    "Oe", "x",     "DS",   "U",   "U",    "U",     "Ue", "Y",    "?",   "ss",
    "a",    "a",    "a",  "a",     "ae",   "a",   "ae",   "c",     "e",  "e",    "e",   "e",
    "i",    "i",    "i",  "i",     "d",    "n",   "o",    "o",     "o",  "o",    "oe",  "/",
    "ds",   "u",    "u",  "u",     "ue",   "y",   "t",    "y"};

// Codes of the windows-1252 bytes 128..159 (0 = unassigned).
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The spelling of one character code: Latin-1 codes (and C1 codes, read as
// the windows-1252 bytes they usually are) by their position, the other
// windows-1252 characters by their byte, anything else "?".
const char* AsciiOfCode(uint16_t code) {
  if (code >= 0x80 && code <= 0xFF) return kAsciiOf[code - 0x80];
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == code && code != 0) return kAsciiOf[i];
  return "?";
}

// Bytes of the character at I in a text of the source charset: UTF-8
// characters are taken whole (the lead byte's high bits give the length),
// any other charset counts bytes.
size_t CharLength(std::string_view s, size_t i, bool utf8) {
  unsigned char c = s[i];
  size_t len = 1;
  if (utf8 && c >= 0x80) len = (c & 0xF0) == 0xE0 ? 3 : (c & 0xF0) == 0xF0 ? 4 : 2;
  return std::min(len, s.size() - i);
}

// The source text converted into charset To and written in the Q form.
std::string QEncodeText(const TCharsets& charsets, std::string_view text, int to) {
  bool lossy = false;
  std::string converted = ConvertByIndex(text, charsets.SourceIndex, to, lossy);
  std::string out;
  out.reserve(converted.size() * 3);
  for (unsigned char c : converted) out += QEncodeChar(c);
  return out;
}

// Decoded text of an encoded word: line breaks and NUL bytes would split or
// cut the header line they are written into, so they become blanks.
void NeutraliseControls(std::string& s) {
  for (char& c : s)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
}

void ToInternal(const TCharsets& charsets, std::string_view fromCharset, std::string& result,
                bool& ok) {
  if (fromCharset.empty()) return;
  bool lossy = false;
  result = ConvertByIndex(result, GetCSInfos().IndexOf(fromCharset), charsets.SourceIndex, lossy);
  ok = !lossy;
}

}  // namespace

uint8_t HexPairToByte(std::string_view two) {
  if (two.size() < 2) return 0;
  const char* a = two[0] ? std::strchr(kHex, two[0]) : nullptr;
  const char* b = two[1] ? std::strchr(kHex, two[1]) : nullptr;
  if (!a || !b) return 0;
  return uint8_t((a - kHex) * 16 + (b - kHex));
}

std::string ByteToHex(uint8_t b) { return {kHex[b >> 4], kHex[b & 15]}; }

void ConvertCharset(const TCharsets& /*charsets*/, std::string_view text,
                    std::string_view fromCharset, std::string& result, bool& lossy,
                    std::string_view toCharset) {
  const TCSInfos& infos = GetCSInfos();
  lossy = false;
  result = ConvertByIndex(text, infos.IndexOf(fromCharset), infos.IndexOf(toCharset), lossy);
}

// ---------------------------------------------------------------------------
// Quoted-printable

std::string DecodeQuotedPrintableBytes(std::string_view text, bool underscoreIsBlank) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    // Copy the plain stretch up to the next "=" (or "_") in one go.
    size_t next = i;
    if (underscoreIsBlank) {
      while (next < n && text[next] != '=' && text[next] != '_') ++next;
    } else {
      const void* hit = std::memchr(text.data() + i, '=', n - i);
      next = hit ? size_t(static_cast<const char*>(hit) - text.data()) : n;
    }
    out.append(text.data() + i, next - i);
    if (next >= n) break;
    i = next;
    if (text[i] == '_') {
      out += ' ';
      ++i;
      continue;
    }
    // "=", optional blanks, then a line end: a soft line break.
    size_t k = i + 1;
    while (k < n && (text[k] == ' ' || text[k] == '\t')) ++k;
    if (k < n && text[k] == '\n') {
      i = k + 1;
      continue;
    }
    if (k + 1 < n && text[k] == '\r' && text[k + 1] == '\n') {
      i = k + 2;
      continue;
    }
    int hi = i + 1 < n ? HexValue(text[i + 1]) : -1;
    int lo = i + 2 < n ? HexValue(text[i + 2]) : -1;
    if (hi >= 0 && lo >= 0) {
      out += char(hi * 16 + lo);
      i += 3;
    } else {
      out += '=';  // not an escape: kept as written
      ++i;
    }
  }
  return out;
}

void DecodeQuotedPrintable(const TCharsets& charsets, std::string_view text,
                           std::string_view fromCharset, std::string& result, bool& ok,
                           bool underscoreIsBlank) {
  result = DecodeQuotedPrintableBytes(text, underscoreIsBlank);
  ToInternal(charsets, fromCharset, result, ok);
}

std::string EncodeQuotedPrintable(std::string_view text, bool softBreaks) {
  const size_t n = text.size();
  std::string out(n + n / 8 + 16, '\0');
  size_t pos = 0;
  size_t col = 0;  // output columns of the current line
  for (size_t i = 0; i < n; ++i) {
    // Room for a soft break and one escape.
    if (pos + 6 > out.size()) out.resize(out.size() * 2);
    char* o = out.data() + pos;
    const unsigned char c = text[i];
    // Printable ASCII other than "=" and "F", well inside the line: as it is.
    if (kQPPlain[c] && (col < 74 || !softBreaks) &&
        (c != ' ' || (i + 1 < n && text[i + 1] != '\r' && text[i + 1] != '\n'))) {
      *o = char(c);
      ++pos;
      ++col;
      continue;
    }
    if (c == '\r' || c == '\n') {
      *o = char(c);
      ++pos;
      col = 0;
      continue;
    }
    const bool lineEnds = i + 1 == n || text[i + 1] == '\r' || text[i + 1] == '\n';
    bool encode = c == '=' || c >= 0x80 || c < 0x20 || (c == ' ' && lineEnds) ||
                  (c == 'F' && (i == 0 || text[i - 1] == '\n' || text[i - 1] == '\r'));
    if (softBreaks) {
      // A soft break needs a column for its "="; the last piece of a line
      // may use the 76th column itself.
      size_t width = encode ? 3 : 1;
      if (col + width > (lineEnds ? 76u : 75u)) {
        std::memcpy(o, "=\r\n", 3);
        o += 3;
        pos += 3;
        col = 0;
        encode = encode || c == 'F';  // "From " must not start a line
      }
    }
    if (encode) {
      o[0] = '=';
      o[1] = kHex[c >> 4];
      o[2] = kHex[c & 15];
      pos += 3;
      col += 3;
    } else {
      *o = char(c);
      ++pos;
      ++col;
    }
  }
  out.resize(pos);
  return out;
}

// ---------------------------------------------------------------------------
// Base64

std::string DecodeBase64Bytes(std::string_view text) {
  std::string out(text.size() / 4 * 3 + 3, '\0');
  char* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  uint32_t acc = 0;
  int have = 0;
  while (p < end) {
    if (have == 0) {
      // Whole groups of four valid characters, the usual case between line ends.
      while (end - p >= 4) {
        int32_t a = kBase64Value[p[0]], b = kBase64Value[p[1]], c = kBase64Value[p[2]],
                d = kBase64Value[p[3]];
        if ((a | b | c | d) < 0) break;
        uint32_t v = uint32_t(a) << 18 | uint32_t(b) << 12 | uint32_t(c) << 6 | uint32_t(d);
        o[0] = char(v >> 16);
        o[1] = char(v >> 8);
        o[2] = char(v);
        o += 3;
        p += 4;
      }
      if (p >= end) break;
    }
    int v = kBase64Value[*p++];
    if (v < 0) continue;  // line ends, padding and anything else are skipped
    acc = acc << 6 | uint32_t(v);
    if (++have == 4) {
      o[0] = char(acc >> 16);
      o[1] = char(acc >> 8);
      o[2] = char(acc);
      o += 3;
      have = 0;
      acc = 0;
    }
  }
  if (have == 2) {
    *o++ = char(acc >> 4);
  } else if (have == 3) {
    *o++ = char(acc >> 10);
    *o++ = char(acc >> 2);
  }
  out.resize(size_t(o - out.data()));
  return out;
}

void DecodeBase64(const TCharsets& charsets, std::string_view text, std::string_view fromCharset,
                  std::string& result, bool& ok) {
  result = DecodeBase64Bytes(text);
  ToInternal(charsets, fromCharset, result, ok);
}

std::string EncodeBase64(std::string_view text) {
  const size_t n = text.size();
  const size_t chars = (n + 2) / 3 * 4;
  const size_t breaks = chars ? (chars - 1) / 76 : 0;
  std::string out(chars + 2 * breaks, '\0');
  char* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t col = 0;
  for (size_t i = 0; i < n; i += 3) {
    if (col == 76) {
      *o++ = '\r';
      *o++ = '\n';
      col = 0;
    }
    uint32_t v = uint32_t(p[i]) << 16;
    if (i + 1 < n) v |= uint32_t(p[i + 1]) << 8;
    if (i + 2 < n) v |= p[i + 2];
    o[0] = kBase64[v >> 18];
    o[1] = kBase64[(v >> 12) & 63];
    o[2] = i + 1 < n ? kBase64[(v >> 6) & 63] : '=';
    o[3] = i + 2 < n ? kBase64[v & 63] : '=';
    o += 4;
    col += 4;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Transliteration

std::string TransliterateToAscii(std::string_view text) {
  if (AsciiPrefixLength(text) == text.size()) return std::string(text);
  const TCSInfos& infos = GetCSInfos();
  const TCSInfo* internal = infos.Items(InternalCharsetIndex());
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  if (!internal || internal->UnicodeKind == TCSInfo::ukTable) {
    // 8-bit internal charsets: each byte is one character.
    for (unsigned char c : text) {
      if (c < 0x80) {
        out += char(c);
      } else {
        uint16_t code = internal ? internal->ToUTF[c - 0x80] : c;
        out += code ? AsciiOfCode(code) : kAsciiOf[c - 0x80];
      }
    }
    return out;
  }
  std::u16string codes = TCharsets::Decode(text, *internal);
  for (size_t i = 0; i < codes.size(); ++i) {
    uint16_t code = codes[i];
    if (code < 0x80 && code != 0) {
      out += char(code);
    } else {
      out += AsciiOfCode(code);
      // A surrogate pair is one character.
      if (code >= 0xD800 && code <= 0xDBFF && i + 1 < codes.size() && codes[i + 1] >= 0xDC00 &&
          codes[i + 1] <= 0xDFFF)
        ++i;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Header fields

std::string DecodeHeader(const TCharsets& charsets, std::string_view value) {
  if (value.find('=') == std::string_view::npos) {
    // No encoded word: only the folds go.
    std::string out(value);
    std::erase_if(out, [](char c) { return c == '\r' || c == '\n'; });
    return out;
  }
  if (value.find("=?") == std::string_view::npos &&
      value.find_first_of("\r\n") == std::string_view::npos)
    return std::string(value);
  std::string out, raw, held, charset, encoded;
  out.reserve(value.size());
  char form = 'Q';
  int state = 0;
  auto isAlnum = [](unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  // The raw text (with white space held before it) goes out unchanged.
  auto fail = [&] {
    out += held;
    out += raw;
    held.clear();
    raw.clear();
    state = 0;
  };
  auto complete = [&] {
    bool ok = GetCSInfos().Known(charset);
    std::string decoded;
    if (ok) {
      if (form == 'B') DecodeBase64(charsets, encoded, charset, decoded, ok);
      else DecodeQuotedPrintable(charsets, encoded, charset, decoded, ok, true);
    }
    if (!ok) return fail();
    NeutraliseControls(decoded);
    held.clear();  // white space between two encoded words disappears
    out += decoded;
    raw.clear();
    state = 8;
  };
  for (char ch : value) {
    const unsigned char c = ch;
    if (c == '\r' || c == '\n') continue;
    switch (state) {
      case 0:
        if (c == '=') {
          raw.assign(1, '=');
          state = 1;
        } else {
          out += ch;
        }
        break;
      case 1:
        if (c == '?') {
          raw += ch;
          state = 2;
        } else if (c == '=') {
          out += held;  // the first "=" was text; the second may start a word
          held.clear();
          out += '=';
        } else {
          raw += ch;
          fail();
        }
        break;
      case 2:
        raw += ch;
        if (isAlnum(c)) {
          charset.assign(1, ch);
          state = 3;
        } else {
          fail();
        }
        break;
      case 3:
        raw += ch;
        if (isAlnum(c) || c == '-' || c == '_') charset += ch;
        else if (c == '?') state = 4;
        else fail();
        break;
      case 4:
        raw += ch;
        if (c == 'B' || c == 'b' || c == 'Q' || c == 'q') {
          form = char(c & ~0x20);
          state = 5;
        } else {
          fail();
        }
        break;
      case 5:
        raw += ch;
        if (c == '?') {
          encoded.clear();
          state = 6;
        } else {
          fail();
        }
        break;
      case 6:
        raw += ch;
        if (c == '?') state = 7;
        else if (c < 0x80) encoded += ch;
        else fail();
        break;
      case 7:
        raw += ch;
        if (c == '=') complete();
        else fail();
        break;
      case 8:
        if (c == ' ' || c == '\t') {
          held += ch;
        } else if (c == '=') {
          raw.assign(1, '=');
          state = 1;
        } else {
          out += held;
          held.clear();
          out += ch;
          state = 0;
        }
        break;
    }
  }
  out += held;
  out += raw;
  return out;
}

std::string QEncodeChar(uint8_t b) {
  if (b == ' ') return "_";
  if ((b >= 33 && b <= 63 && b != '=' && b != '?') || (b >= 64 && b <= 127 && b != '_'))
    return std::string(1, char(b));
  return {'=', kHex[b >> 4], kHex[b & 15]};
}

namespace {

// Folded phrase: every character encoded on its own so that none is split
// between two encoded words.
std::string FoldPhrase(const TCharsets& charsets, std::string_view name, std::string head,
                       std::string mid, const std::string& prefix, int to) {
  if (name.size() + head.size() + prefix.size() + 2 > 73) {
    // Move the end of a long plain head into the encoded text.
    long reach = 72 - long(name.size() + prefix.size() + 2);
    if (reach > 0) {
      size_t blank = std::string_view(head).substr(0, size_t(reach)).rfind(' ');
      if (blank != std::string::npos) {
        mid = head.substr(blank + 1) + mid;
        head.resize(blank + 1);
      }
    }
  }
  std::string out = std::string(name) + head + prefix;
  size_t lineLength = out.size();
  bool wordHoldsText = false;
  const TCSInfo* source = GetCSInfos().Items(charsets.SourceIndex);
  const bool utf8 = source && source->UnicodeKind == TCSInfo::ukUtf8;
  for (size_t i = 0; i < mid.size();) {
    size_t len = CharLength(mid, i, utf8);
    std::string piece = QEncodeText(charsets, std::string_view(mid).substr(i, len), to);
    i += len;
    lineLength += piece.size();
    // An empty encoded word helps nobody: the first character always stays.
    if (2 + lineLength > 76 && wordHoldsText) {
      out += "?=\r\n ";
      out += prefix;
      lineLength = 1 + prefix.size() + piece.size();
    }
    out += piece;
    wordHoldsText = true;
  }
  return out + "?=";
}

std::string EncodePhrase(const TCharsets& charsets, std::string_view name, std::string_view value,
                         const std::string& prefix, int to) {
  size_t first = 0, last = 0;
  bool found = false;
  for (size_t i = 0; i < value.size(); ++i) {
    if (static_cast<unsigned char>(value[i]) >= 0x80) {
      if (!found) first = i;
      last = i;
      found = true;
    }
  }
  if (!found) return std::string(name) + std::string(value);
  size_t blank = value.rfind(' ', first);
  size_t start = blank == std::string_view::npos ? 0 : blank + 1;
  size_t end = value.find(' ', last);
  if (end == std::string_view::npos) end = value.size();
  std::string head(value.substr(0, start));
  std::string mid(value.substr(start, end - start));
  std::string tail(value.substr(end));
  std::string encoded = head + prefix + QEncodeText(charsets, mid, to) + "?=" + tail;
  if (name.size() + encoded.size() <= 76) return std::string(name) + encoded;
  return FoldPhrase(charsets, name, std::move(head), mid + tail, prefix, to);
}

std::string EncodeAddress(const TCharsets& charsets, std::string_view name, std::string_view value,
                          const std::string& prefix, int to) {
  struct Run {
    std::string_view text;
    bool blank, eightBit;
  };
  std::vector<Run> runs;
  for (size_t i = 0; i < value.size();) {
    bool blank = value[i] == ' ';
    size_t j = i;
    bool eightBit = false;
    while (j < value.size() && (value[j] == ' ') == blank) {
      eightBit |= static_cast<unsigned char>(value[j]) >= 0x80;
      ++j;
    }
    runs.push_back({value.substr(i, j - i), blank, eightBit && !blank});
    i = j;
  }
  std::string out(name);
  for (size_t i = 0; i < runs.size();) {
    if (!runs[i].eightBit) {
      out += runs[i++].text;
      continue;
    }
    // The stretch takes further 8-bit words with the blanks between them,
    // and trailing blanks at the end of the value.
    size_t k = i;
    while (k + 2 < runs.size() && runs[k + 2].eightBit) k += 2;
    if (k + 2 == runs.size()) ++k;
    std::string_view stretch(runs[i].text.data(),
                             size_t(runs[k].text.data() + runs[k].text.size() - runs[i].text.data()));
    std::string before, after;
    if (std::strchr(" \"(,", stretch.front())) {
      before = stretch.front();
      stretch.remove_prefix(1);
    }
    if (std::strchr(" \"),", stretch.back())) {
      after = stretch.back();
      stretch.remove_suffix(1);
    }
    out += before + prefix + QEncodeText(charsets, stretch, to) + "?=" + after;
    i = k + 1;
  }
  return out;
}

}  // namespace

std::string EncodeHeader(const TCharsets& charsets, std::string_view line) {
  size_t colon = line.find(": ");
  if (colon == std::string_view::npos) return std::string(line);
  std::string_view name = line.substr(0, colon + 2);
  std::string_view value = line.substr(colon + 2);
  if (!Has8Bit(value)) return std::string(line);

  const TCSInfo& best = charsets.BestCharset(line);
  std::string prefix = "=?";
  prefix.append(best.MimeName).append("?Q?");
  const int to = GetCSInfos().IndexOf(best.MimeName);
  std::string lowerName(1, ' ');
  lowerName += LowerCase(name);
  if (std::string_view(" from: reply-to: to: cc: bcc: sender: ").find(lowerName) !=
      std::string_view::npos)
    return EncodeAddress(charsets, name, value, prefix, to);
  return EncodePhrase(charsets, name, value, prefix, to);
}
