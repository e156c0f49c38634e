#include "uCharsets.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "IniFile.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "uTransla.h"

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return out;
}

// The hex digits of a [ToUTF] value; only upper-case digits count, any other
// byte is 0.
constexpr std::array<uint8_t, 256> kHexDigit = [] {
  std::array<uint8_t, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[size_t(c)] = uint8_t(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[size_t(c)] = uint8_t(c - 'A' + 10);
  return t;
}();

std::unique_ptr<TCSInfos> gCSInfos;
int gInternalIndex = 0;

int gUtf8Index = 0;

std::string InternalFromUtf8(std::string_view utf8) {
  bool lossy = false;
  return ConvertByIndex(utf8, gUtf8Index, InternalCharsetIndex(), lossy);
}

std::string InternalToUtf8(std::string_view text) {
  bool lossy = false;
  return ConvertByIndex(text, InternalCharsetIndex(), gUtf8Index, lossy);
}

// --- Decoders: each calls Put(code) for every 16-bit code of the text.

template <class Put>
void DecodeTable(std::string_view text, const TCSInfo& cs, Put&& put) {
  for (unsigned char c : text) put(c < 128 ? uint16_t(c) : cs.ToUTF[c - 128]);
}

// One UTF-8 character at P[I]: its code point, or 0 for a broken, overlong
// or surrogate sequence (I then moves past the bytes looked at, at least one).
inline uint32_t ReadUtf8(const unsigned char* p, size_t n, size_t& i) {
  unsigned c = p[i];
  if (c < 0x80) {
    ++i;
    return c;
  }
  size_t len;
  uint32_t cp, min;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    ++i;
    return 0;
  }
  size_t k = 1;
  for (; k < len && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
  if (k < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    i += k;
    return 0;
  }
  i += len;
  return cp;
}

// Characters beyond 16 bits become surrogate pairs; a broken sequence gives
// one code 0 and decoding goes on after it.
template <class Put>
void DecodeUtf8(std::string_view text, Put&& put) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    uint32_t cp = ReadUtf8(p, n, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(uint16_t(0xD800 + (cp >> 10)));
      put(uint16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      put(uint16_t(cp));
    }
  }
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Shift sequences may hold any number of characters; "-" after one is
// absorbed; "+-" is "+". Bits left over that do not make a whole character
// and are not zero padding mean a lost character (code 0). A "+" that opens
// nothing stands for itself.
template <class Put>
void DecodeUtf7(std::string_view text, Put&& put) {
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    unsigned char c = text[i++];
    if (c != '+') {
      put(uint16_t(c));
      continue;
    }
    if (i < n && text[i] == '-') {
      put('+');
      ++i;
      continue;
    }
    uint32_t bits = 0;
    int nbits = 0;
    size_t start = i;
    for (int v; i < n && (v = Base64Value(text[i])) >= 0; ++i) {
      bits = (bits << 6) | uint32_t(v);
      nbits += 6;
      if (nbits >= 16) {
        nbits -= 16;
        put(uint16_t(bits >> nbits));
        bits &= (1u << nbits) - 1;
      }
    }
    if (i == start) {
      put('+');
      continue;
    }
    if (nbits >= 6 || bits != 0) put(0);
    if (i < n && text[i] == '-') ++i;
  }
}

template <class Put>
void DecodeWith(std::string_view text, const TCSInfo& cs, Put&& put) {
  switch (cs.UnicodeKind) {
    case TCSInfo::ukUtf8: DecodeUtf8(text, put); break;
    case TCSInfo::ukUtf7: DecodeUtf7(text, put); break;
    default: DecodeTable(text, cs, put); break;
  }
}

// --- Encoder: takes the codes one by one and appends to Out. Code 0, a code
// the charset lacks and a lone surrogate give "?" and set Lossy; a surrogate
// pair is one character.
class Encoder {
public:
  Encoder(const TCSInfo& cs, std::string& out, bool& lossy) : cs_(cs), out_(out), lossy_(lossy) {}

  void Put(uint16_t code) {
    if (high_) {
      uint16_t high = high_;
      high_ = 0;
      if (code >= 0xDC00 && code <= 0xDFFF) {
        PutPair(high, code);
        return;
      }
      Lost();
    }
    if (code >= 0xD800 && code <= 0xDBFF) {
      high_ = code;
      return;
    }
    switch (cs_.UnicodeKind) {
      case TCSInfo::ukUtf8: PutUtf8(code); break;
      case TCSInfo::ukUtf7: PutUtf7(code); break;
      default: {
        uint8_t b = cs_.ByteOf(code);
        if (b == 0) Lost();
        else out_ += char(b);
      }
    }
  }

  void Finish() {
    if (high_) Lost();
    high_ = 0;
  }

private:
  void Lost() {
    out_ += '?';
    lossy_ = true;
  }

  void PutPair(uint16_t high, uint16_t low) {
    if (cs_.UnicodeKind == TCSInfo::ukUtf8) {
      uint32_t cp = 0x10000 + ((uint32_t(high) - 0xD800) << 10) + (uint32_t(low) - 0xDC00);
      out_ += char(0xF0 | (cp >> 18));
      out_ += char(0x80 | ((cp >> 12) & 0x3F));
      out_ += char(0x80 | ((cp >> 6) & 0x3F));
      out_ += char(0x80 | (cp & 0x3F));
    } else if (cs_.UnicodeKind == TCSInfo::ukUtf7) {
      PutUtf7(high);
      PutUtf7(low);
    } else {
      Lost();
    }
  }

  void PutUtf8(uint16_t code) {
    if (code == 0 || (code >= 0xDC00 && code <= 0xDFFF)) return Lost();
    if (code < 0x80) {
      out_ += char(code);
    } else if (code < 0x800) {
      out_ += char(0xC0 | (code >> 6));
      out_ += char(0x80 | (code & 0x3F));
    } else {
      out_ += char(0xE0 | (code >> 12));
      out_ += char(0x80 | ((code >> 6) & 0x3F));
      out_ += char(0x80 | (code & 0x3F));
    }
  }

  void PutUtf7(uint16_t code) {
    if (code == 0) return Lost();
    if (code == '+') {
      out_ += "+-";
    } else if (code < 127 && code != '\\' && code != '~') {
      out_ += char(code);
    } else {
      out_ += '+';
      out_ += kBase64[code >> 10];
      out_ += kBase64[(code >> 4) & 0x3F];
      out_ += kBase64[(code & 0x0F) << 2];
      out_ += '-';
    }
  }

  const TCSInfo& cs_;
  std::string& out_;
  bool& lossy_;
  uint16_t high_ = 0;
};

// Whether Text is valid UTF-8 without NUL bytes, i.e. converts to itself.
bool IsCleanUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    i += AsciiPrefixLength(text.substr(i));
    if (i < n && ReadUtf8(p, n, i) == 0) return false;
  }
  return true;
}

// An output buffer written through a pointer; grows by doubling.
class Sink {
public:
  explicit Sink(size_t capacity) : buf_(capacity, '\0') {}
  char* Room(size_t k) {
    if (pos_ + k > buf_.size()) buf_.resize(std::max(buf_.size() * 2, pos_ + k));
    return buf_.data() + pos_;
  }
  void Advance(size_t k) { pos_ += k; }
  void Append(const char* p, size_t k) {
    std::memcpy(Room(k), p, k);
    pos_ += k;
  }
  void Put(char c) { *Room(1) = c, ++pos_; }
  std::string Take() {
    buf_.resize(pos_);
    return std::move(buf_);
  }

private:
  std::string buf_;
  size_t pos_ = 0;
};

size_t WriteUtf8(char* o, uint32_t cp) {
  if (cp < 0x80) {
    o[0] = char(cp);
    return 1;
  }
  if (cp < 0x800) {
    o[0] = char(0xC0 | (cp >> 6));
    o[1] = char(0x80 | (cp & 0x3F));
    return 2;
  }
  o[0] = char(0xE0 | (cp >> 12));
  o[1] = char(0x80 | ((cp >> 6) & 0x3F));
  o[2] = char(0x80 | (cp & 0x3F));
  return 3;
}

bool HasSurrogates(const TCSInfo& cs) {
  for (uint16_t code : cs.ToUTF)
    if (code >= 0xD800 && code <= 0xDFFF) return true;
  return false;
}

// 8-bit table (the codes of its bytes 128..255) -> UTF-8 without going
// through 16-bit strings.
std::string TableToUtf8(std::string_view text, size_t ascii,
                        const std::array<uint16_t, 128>& codes, bool& lossy) {
  Sink out(text.size() + text.size() / 8 + 16);
  out.Append(text.data(), ascii);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  bool lost = false;
  for (size_t i = ascii; i < text.size();) {
    size_t run = AsciiPrefixLength(text.substr(i));
    out.Append(text.data() + i, run);
    i += run;
    if (i >= text.size()) break;
    unsigned c = p[i++];
    uint16_t code = c < 0x80 ? 0 : codes[c - 0x80];
    if (code == 0) {
      out.Put('?');
      lost = true;
    } else {
      out.Advance(WriteUtf8(out.Room(3), code));
    }
  }
  lossy |= lost;
  return out.Take();
}

// UTF-8 -> 8-bit table; every character gives at most one byte. Extra, when
// given, holds codes of bytes 128..255 that the table itself lacks.
std::string Utf8ToTable(std::string_view text, size_t ascii, const TCSInfo& dst, bool& lossy,
                        const std::array<uint16_t, 128>* extra = nullptr) {
  std::string out(text.size(), '\0');
  std::memcpy(out.data(), text.data(), ascii);
  char* o = out.data() + ascii;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  bool lost = false;
  for (size_t i = ascii; i < n;) {
    size_t run = AsciiPrefixLength(text.substr(i));
    std::memcpy(o, p + i, run);
    o += run;
    i += run;
    if (i >= n) break;
    uint32_t cp = ReadUtf8(p, n, i);
    uint8_t b = cp < 0x10000 ? dst.ByteOf(uint16_t(cp)) : 0;
    if (b == 0 && extra && cp >= 0x80 && cp <= 0xFF && (*extra)[cp - 0x80] == cp) b = uint8_t(cp);
    lost |= b == 0;
    *o++ = b ? char(b) : '?';
  }
  lossy |= lost;
  out.resize(size_t(o - out.data()));
  return out;
}

}  // namespace

size_t AsciiPrefixLength(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
#ifdef __SSE2__
  // Sixteen bytes at a time: the mask has a bit for each 8-bit or NUL byte.
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const int mask = _mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, zero)));
    if (mask != 0) return i + size_t(__builtin_ctz(unsigned(mask)));
  }
#endif
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  for (; i + 8 <= n; i += 8) {
    uint64_t v;
    std::memcpy(&v, p + i, 8);
    // A high bit or a zero byte anywhere in the word ends the fast scan.
    if ((v & kHigh) || ((v - kOnes) & ~v & kHigh)) break;
  }
  while (i < n && p[i] != 0 && p[i] < 0x80) ++i;
  return i;
}

// ---------------------------------------------------------------------------
// TCSInfo

void TCodeToByte::Set(uint16_t code, uint8_t b) {
  uint16_t& page = index_[code >> 8];
  if (page == 0) {
    page = uint16_t(pages_.size());
    pages_.emplace_back();
  }
  pages_[page][code & 0xFF] = b;
}

void TCodeToByte::Clear() {
  index_.fill(0);
  pages_.resize(1);
}

void TCSInfo::Clear() {
  Name.clear();
  MimeName.clear();
  Description.clear();
  Aliases.clear();
  ToUTF.fill(0);
}

void TCSInfo::Load(const TIniFile& ini, std::string_view name) {
  LoadDefine(ini, name);
  LoadTables(ini.ReadString("ToUTF", name, ""));
}

void TCSInfo::LoadDefine(const TIniFile& ini, std::string_view name) {
  Clear();
  UnicodeKind = ukTable;
  std::string define = ini.ReadString("Define", name, "");
  if (define.starts_with("V1#")) {
    std::string_view rest = std::string_view(define).substr(3);
    size_t hash = rest.find('#');
    if (hash != std::string::npos) {
      Description.assign(rest.substr(0, hash));
      Aliases.assign(rest.substr(hash + 1));
    }
  }
  Name.assign(name);
  MimeName = Aliases.substr(0, Aliases.find(','));
}

void TCSInfo::LoadTables(std::string_view hex) {
  ToUTF.fill(0);
  for (size_t b = 0; b < 128 && b * 4 + 4 <= hex.size(); ++b) {
    unsigned code = 0;
    for (size_t k = 0; k < 4; ++k) code = code * 16 + kHexDigit[(unsigned char)hex[b * 4 + k]];
    ToUTF[b] = uint16_t(code);
  }
  FromUTF.Clear();
  for (int b = 0; b < 128; ++b)
    if (ToUTF[b] >= 128) FromUTF.Set(ToUTF[b], uint8_t(128 + b));  // the higher byte wins
}

// ---------------------------------------------------------------------------
// TCSInfos

TCSInfos::TCSInfos(const std::string& fileName) {
  auto fail = [] {
    throw Exception(Translate("CharsetsDatDoesntExists.Error",
                              "FEHLER! \"Charsets.dat\" nicht vorhanden bzw. nicht korrekt"));
  };
  if (!FileExistsChecked(fileName)) fail();
  const TIniFile ini(fileName);
  std::vector<std::string> names = ini.ReadSection("Define");
  if (names.empty()) fail();
  toUtfText_.reserve(names.size() * 512);
  names_.Reserve(names.size() + 2);
  aliases_.Reserve(names.size() * 8);

  // One buffer for the keys and one for the tables: a start reads a hundred
  // aliases, and a string each cost more than the rest of their reading.
  std::string key, hex;
  auto lower = [&key](std::string_view s) -> const std::string& {
    key.assign(s);
    for (char& c : key)
      if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return key;
  };
  auto addAlias = [&](std::string_view alias, int index) {
    if (!lower(TrimmedView(alias)).empty()) aliases_.Add(key, index);
  };
  for (const std::string& name : names) {
    auto info = std::make_unique<TCSInfo>();
    info->LoadDefine(ini, name);
    if (!ini.ReadIfExists("ToUTF", name, hex)) hex.clear();
    toUtfSpans_.emplace_back(uint32_t(toUtfText_.size()), uint32_t(hex.size()));
    toUtfText_ += hex;
    int index = int(items_.size());
    size_t start = 0;
    const std::string& aliases = info->Aliases;
    while (start <= aliases.size() && !aliases.empty()) {
      size_t comma = aliases.find(',', start);
      if (comma == std::string::npos) comma = aliases.size();
      addAlias(std::string_view(aliases).substr(start, comma - start), index);
      start = comma + 1;
    }
    names_.Add(lower(name), index);
    items_.push_back(std::move(info));
  }
  for (auto [name, kind, description] :
       {std::tuple{"utf-7", TCSInfo::ukUtf7, "Unicode (7-Bit)"},
        std::tuple{"utf-8", TCSInfo::ukUtf8, "Unicode (8-Bit)"}}) {
    auto info = std::make_unique<TCSInfo>();
    info->UnicodeKind = kind;
    info->Name = info->MimeName = info->Aliases = name;
    info->Description = description;
    int index = int(items_.size());
    addAlias(name, index);
    names_.Add(name, index);
    items_.push_back(std::move(info));
  }
  for (const auto& kv : ini.ReadSectionValues("Sets"))
    if (!kv.second.empty()) Sets.push_back(kv.second);
  // The Unicode charsets have no tables to read.
  tablesRead_.assign(items_.size(), 0);
  tablesRead_[items_.size() - 1] = tablesRead_[items_.size() - 2] = 1;
}

TCSInfos::~TCSInfos() = default;

size_t TCSInfos::TNameIndex::SlotOf(std::string_view key) const {
  uint32_t hash = 2166136261u;
  for (unsigned char c : key) hash = (hash ^ c) * 16777619u;
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.index < 0 || std::string_view(text_).substr(slot.start, slot.length) == key) return i;
  }
}

void TCSInfos::TNameIndex::Reserve(size_t keys) {
  size_t n = 64;
  while (n < keys * 2) n *= 2;
  if (used_ == 0 && n > slots_.size()) slots_.assign(n, Slot{});
  text_.reserve(keys * 12);
}

void TCSInfos::TNameIndex::Add(std::string_view key, int index) {
  if ((used_ + 1) * 2 > slots_.size()) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<size_t>(64, old.size() * 2), Slot{});
    for (const Slot& slot : old)
      if (slot.index >= 0)
        slots_[SlotOf(std::string_view(text_).substr(slot.start, slot.length))] = slot;
  }
  Slot& slot = slots_[SlotOf(key)];
  if (slot.index >= 0) return;  // the first entry of a key wins
  slot = {uint32_t(text_.size()), uint32_t(key.size()), index};
  text_ += key;
  ++used_;
}

int TCSInfos::TNameIndex::Find(std::string_view key) const {
  return slots_.empty() ? -1 : slots_[SlotOf(key)].index;
}

const TCSInfo& TCSInfos::Loaded(size_t i) const {
  TCSInfo& info = *items_[i];
  if (!tablesRead_[i]) {
    const auto [start, length] = toUtfSpans_[i];
    info.LoadTables(std::string_view(toUtfText_).substr(start, length));
    tablesRead_[i] = 1;
  }
  return info;
}

int TCSInfos::Find(std::string_view name) const {
  for (const auto& [recentName, index] : recent_)
    if (recentName == name) return index;
  std::string key = Lower(name);
  int index = -1;
  index = aliases_.Find(key);
  if (index < 0) index = names_.Find(key);
  recent_[recentNext_] = {std::string(name), index};
  recentNext_ = (recentNext_ + 1) % recent_.size();
  return index;
}

int TCSInfos::IndexOf(std::string_view name) const {
  int i = Find(name);
  return i < 0 ? 0 : i;
}

bool TCSInfos::Known(std::string_view name) const { return Find(name) >= 0; }

const TCSInfos::PairTable& TCSInfos::Pair(int from, int to) const {
  const int key = from * 4096 + to;
  if (key == lastPairKey_) return *lastPair_;
  auto& slot = pairs_[key];
  if (!slot) {
    slot = std::make_unique<PairTable>();
    const TCSInfo& src = Loaded(size_t(from));
    const TCSInfo& dst = Loaded(size_t(to));
    for (int b = 0; b < 256; ++b) {
      uint16_t code = b < 128 ? uint16_t(b) : src.ToUTF[size_t(b - 128)];
      uint8_t out = dst.ByteOf(code);
      bool lost = code == 0 || out == 0;
      slot->map[size_t(b)] = lost ? uint8_t('?') : out;
      slot->lost[size_t(b)] = lost;
    }
    slot->asciiSame = true;
    for (int b = 1; b < 128; ++b)
      if (slot->map[size_t(b)] != b || slot->lost[size_t(b)]) slot->asciiSame = false;
  }
  lastPairKey_ = key;
  lastPair_ = slot.get();
  return *slot;
}

TCSInfos& GetCSInfos() {
  if (!gCSInfos) {
    std::string path = ShippedFile("charsets.dat");
    try {
      gCSInfos = std::make_unique<TCSInfos>(path);
    } catch (const Exception& e) {
      // A missing file says where it was looked for: an installed program
      // looks elsewhere than a portable one.
      if (FileExistsChecked(path)) throw;
      throw Exception(std::string(e.what()) + " (" + ShippedFileFolders() + ")");
    }
    gUtf8Index = gCSInfos->IndexOf("utf-8");
    SetInternalCharsetConverters(InternalFromUtf8, InternalToUtf8);
  }
  return *gCSInfos;
}

int InternalCharsetIndex() { return gInternalIndex; }

void SelectInternalCharset(std::string_view name) { gInternalIndex = GetCSInfos().IndexOf(name); }

// ---------------------------------------------------------------------------
// TCharsets

TCharsets::TCharsets(std::string_view source, std::string_view allowed) {
  Source = std::string(source);
  SourceIndex = GetCSInfos().IndexOf(source);
  SetAllowed(allowed);
}

void TCharsets::SetSource(std::string_view name) {
  if (name.empty()) return;
  Source = std::string(name);
  SourceIndex = GetCSInfos().IndexOf(name);
}

void TCharsets::SetAllowed(std::string_view list) {
  if (list.empty()) return;
  Allowed = std::string(list);
  const TCSInfos& infos = GetCSInfos();
  // A profile's few lists come again with every message (the table is read
  // once, so a list always gives the same indexes): they are kept.
  thread_local std::array<std::pair<std::string, std::vector<int32_t>>, 4> known;
  thread_local size_t knownNext = 0;
  for (const auto& [text, indexes] : known)
    if (!text.empty() && text == list) {
      AllowedIndexes = indexes;
      return;
    }
  AllowedIndexes.clear();
  AllowedIndexes.reserve(size_t(std::count(list.begin(), list.end(), ',')) + 1);
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    std::string_view entry =
        list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    AllowedIndexes.push_back(infos.IndexOf(TrimmedView(entry)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  known[knownNext] = {std::string(list), AllowedIndexes};
  knownNext = (knownNext + 1) % known.size();
}

const TCSInfo& TCharsets::BestCharset(std::string_view text) const {
  const TCSInfos& infos = GetCSInfos();
  auto valid = [&infos](int32_t i) { return i >= 0 && i < infos.Count(); };
  const auto first = std::find_if(AllowedIndexes.begin(), AllowedIndexes.end(), valid);
  if (first == AllowedIndexes.end()) return *infos.Items(0);
  const TCSInfo* source = infos.Items(valid(SourceIndex) ? SourceIndex : 0);

  // Pure ASCII never removes a candidate; only the rest is decoded (and only
  // then are the candidates' tables needed).
  size_t ascii = source->UnicodeKind == TCSInfo::ukUtf7 ? 0 : AsciiPrefixLength(text);
  if (ascii == text.size()) return *infos.Items(*first);
  const TCSInfo* fallback = infos.Items(0);
  std::vector<const TCSInfo*> candidates;
  candidates.reserve(AllowedIndexes.size());
  for (int32_t i : AllowedIndexes)
    if (const TCSInfo* info = infos.Items(i)) candidates.push_back(info);
  bool settled = false;
  DecodeWith(text.substr(ascii), *source, [&](uint16_t code) {
    if (code < 128 || settled) return;
    size_t kept = 0;
    for (const TCSInfo* c : candidates)
      if (c->UnicodeKind != TCSInfo::ukTable || c->ByteOf(code) != 0) candidates[kept++] = c;
    candidates.resize(kept);
    // Once the first candidate left is a Unicode charset (or none is left),
    // nothing can change the answer.
    settled = candidates.empty() || candidates.front()->UnicodeKind != TCSInfo::ukTable;
  });
  return candidates.empty() ? *fallback : *candidates.front();
}

std::u16string TCharsets::Decode(std::string_view text, const TCSInfo& charset) {
  std::u16string out;
  out.reserve(text.size());
  DecodeWith(text, charset, [&out](uint16_t code) { out += char16_t(code); });
  return out;
}

std::string TCharsets::Encode(std::u16string_view ucs2, const TCSInfo& charset, bool& lossy) {
  std::string out;
  out.reserve(ucs2.size());
  Encoder enc(charset, out, lossy);
  for (char16_t c : ucs2) enc.Put(uint16_t(c));
  enc.Finish();
  return out;
}

// ---------------------------------------------------------------------------
// Conversion

std::string ConvertByIndex(std::string_view text, int from, int to, bool& lossy) {
  const TCSInfos& infos = GetCSInfos();
  const TCSInfo* src = infos.Items(from);
  const TCSInfo* dst = infos.Items(to);
  if (!src) src = infos.Items(from = 0);
  if (!dst) dst = infos.Items(to = 0);
  const bool utf7 = src->UnicodeKind == TCSInfo::ukUtf7 || dst->UnicodeKind == TCSInfo::ukUtf7;
  // ASCII without NUL means the same in every charset but UTF-7.
  const size_t ascii = utf7 ? 0 : AsciiPrefixLength(text);
  if (ascii == text.size()) return std::string(text);

  std::string out;
  if (src->UnicodeKind == TCSInfo::ukTable && dst->UnicodeKind == TCSInfo::ukTable) {
    const TCSInfos::PairTable& pair = infos.Pair(from, to);
    out.resize(text.size());
    bool lost = false;
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    std::memcpy(out.data(), in, ascii);
    for (size_t i = ascii; i < text.size();) {
      out[i] = char(pair.map[in[i]]);
      lost |= pair.lost[in[i]];
      ++i;
      if (pair.asciiSame) {
        const size_t run = AsciiPrefixLength(text.substr(i));
        std::memcpy(out.data() + i, in + i, run);
        i += run;
      }
    }
    lossy |= lost;
    return out;
  }
  if (src->UnicodeKind == TCSInfo::ukUtf8) {
    if (from == to && IsCleanUtf8(text.substr(ascii))) return std::string(text);
    if (dst->UnicodeKind == TCSInfo::ukTable) return Utf8ToTable(text, ascii, *dst, lossy);
  }
  if (src->UnicodeKind == TCSInfo::ukTable && dst->UnicodeKind == TCSInfo::ukUtf8 &&
      !HasSurrogates(*src))
    return TableToUtf8(text, ascii, src->ToUTF, lossy);

  out.reserve(text.size() + text.size() / 4);
  out.append(text.data(), ascii);
  Encoder enc(*dst, out, lossy);
  DecodeWith(text.substr(ascii), *src, [&enc](uint16_t code) { enc.Put(code); });
  enc.Finish();
  return out;
}

// ---------------------------------------------------------------------------
// Files people write with an editor

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The charset a file of these bytes was saved in.
int EditorFileCharset(std::string_view bytes) {
  const TCSInfos& infos = GetCSInfos();
  const size_t ascii = AsciiPrefixLength(bytes);
  if (ascii < bytes.size() && IsCleanUtf8(bytes.substr(ascii))) return gUtf8Index;
  const int internal = InternalCharsetIndex();
  const TCSInfo* cs = infos.Items(internal);
  // Text saved on Windows, where no editor wrote utf-8.
  return cs && cs->UnicodeKind == TCSInfo::ukUtf8 ? 0 : internal;
}

// The codes of the bytes 128..255 of a table charset as editor files read
// them: a byte the charset has no character for (windows-1252's 81, 8D, 8F,
// 90, 9D) stands for the code of its own number, as in ISO-8859-1, unless
// that code has a byte of its own. So such a byte passes through UTF-8 and
// comes back unchanged instead of turning into "?".
std::array<uint16_t, 128> EditorCodes(const TCSInfo& cs) {
  std::array<uint16_t, 128> codes = cs.ToUTF;
  for (size_t i = 0; i < codes.size(); ++i)
    if (codes[i] == 0 && cs.ByteOf(uint16_t(0x80 + i)) == 0) codes[i] = uint16_t(0x80 + i);
  return codes;
}

// Editor text from one charset into another (at most one of them a table).
std::string EditorConvert(std::string_view text, int from, int to) {
  if (from == to) return std::string(text);
  const TCSInfos& infos = GetCSInfos();
  const TCSInfo* src = infos.Items(from);
  const TCSInfo* dst = infos.Items(to);
  bool lossy = false;
  if (src && dst && src->UnicodeKind == TCSInfo::ukTable && dst->UnicodeKind == TCSInfo::ukUtf8 &&
      !HasSurrogates(*src))
    return TableToUtf8(text, AsciiPrefixLength(text), EditorCodes(*src), lossy);
  if (src && dst && src->UnicodeKind == TCSInfo::ukUtf8 && dst->UnicodeKind == TCSInfo::ukTable) {
    const std::array<uint16_t, 128> codes = EditorCodes(*dst);
    return Utf8ToTable(text, AsciiPrefixLength(text), *dst, lossy, &codes);
  }
  return ConvertByIndex(text, from, to, lossy);
}

}  // namespace

TEditorEncoding EditorTextEncoding(std::string_view file) {
  // A file of plain ASCII was as much UTF-8 as anything else: new characters
  // go in as a Linux editor would write them.
  if (AsciiPrefixLength(file) == file.size()) return {gUtf8Index, false};
  const int charset = EditorFileCharset(file);
  return {charset, charset == gUtf8Index && file.starts_with(kUtf8Mark)};
}

std::string EditorTextToInternal(std::string bytes) {
  if (AsciiPrefixLength(bytes) == bytes.size()) return bytes;
  const int from = EditorFileCharset(bytes);
  if (from == gUtf8Index && bytes.starts_with(kUtf8Mark)) bytes.erase(0, kUtf8Mark.size());
  const int to = InternalCharsetIndex();
  if (from == to) return bytes;
  return EditorConvert(bytes, from, to);
}

std::string InternalToEditorText(std::string_view text, const TEditorEncoding& encoding) {
  return EditorConvert(text, InternalCharsetIndex(), encoding.charset);
}

std::string InternalToEditorText(std::string_view text, std::string_view file) {
  const TEditorEncoding encoding = EditorTextEncoding(file);
  std::string out(encoding.byteOrderMark ? kUtf8Mark : std::string_view());
  return out.append(InternalToEditorText(text, encoding));
}
