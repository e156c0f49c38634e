// Charset tables and the choice of a fitting charset.
//
// Every conversion goes through 16-bit codes (UCS-2; characters beyond the
// 16-bit range travel as surrogate pairs). The 8-bit charsets come from
// charsets.dat in the program directory; "utf-7" and "utf-8" are built in.
// In a 16-bit string the code 0 means "no character": an unmapped byte or a
// broken sequence decodes to it, and encoding it gives "?" and reports a loss.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class TIniFile;

// Byte of each code of a table charset (0 = none), in pages of 256 codes, only
// those pages that hold a character: a flat table of 64 KB per charset cost a
// quarter of the runner's start-up.
class TCodeToByte {
public:
  uint8_t operator[](uint16_t code) const { return pages_[index_[code >> 8]][code & 0xFF]; }
  void Set(uint16_t code, uint8_t b);
  void Clear();
  // No code has a byte.
  bool empty() const { return pages_.size() == 1; }

private:
  std::array<uint16_t, 256> index_{};                // page of each high byte; 0 = the empty page
  std::vector<std::array<uint8_t, 256>> pages_{1};  // pages_[0] stays all zero
};

// One charset.
class TCSInfo {
public:
  enum : uint8_t { ukTable = 0, ukUtf8 = 1, ukUtf7 = 2 };

  uint8_t UnicodeKind = ukTable;
  // Codes of the bytes 128..255 (0 = no character).
  std::array<uint16_t, 128> ToUTF{};
  // Byte of each code (0 = none); entries below 128 are unused. Empty for the
  // Unicode charsets.
  TCodeToByte FromUTF;
  std::string Name, MimeName, Description, Aliases;

  void Clear();
  // Fills the charset from the [Define] and [ToUTF] entries of Name.
  void Load(const TIniFile& ini, std::string_view name);
  // The two halves of Load: the names from [Define], the tables from the
  // charset's [ToUTF] value.
  void LoadDefine(const TIniFile& ini, std::string_view name);
  void LoadTables(std::string_view hex);

  // Byte of Code in this table charset, 0 when it has none (and for code 0).
  uint8_t ByteOf(uint16_t code) const {
    return code < 128 ? uint8_t(code) : FromUTF[code];
  }
};

// The shared charset table.
class TCSInfos {
public:
  // Reads FileName; a missing file or an empty [Define] raises Exception with
  // the translated "charsets.dat missing" message.
  explicit TCSInfos(const std::string& fileName);
  ~TCSInfos();
  TCSInfos(const TCSInfos&) = delete;
  TCSInfos& operator=(const TCSInfos&) = delete;

  int Count() const { return int(items_.size()); }
  // Nothing (nullptr) outside 0..Count-1. A table charset's tables are read
  // when it is first asked for: a message needs two or three of them.
  const TCSInfo* Items(int i) const {
    if (i < 0 || i >= Count()) return nullptr;
    return tablesRead_[size_t(i)] ? items_[size_t(i)].get() : &Loaded(size_t(i));
  }
  // Aliases first, then names, case-insensitively; an unknown name gives 0.
  int IndexOf(std::string_view name) const;
  bool Known(std::string_view name) const;

  // The [Sets] preset lists, in file order.
  std::vector<std::string> Sets;

  // Conversion table from one table charset to another, built on first use.
  struct PairTable {
    std::array<uint8_t, 256> map;
    std::array<bool, 256> lost;
    bool asciiSame = false;  // bytes 1..127 map to themselves without loss
  };
  const PairTable& Pair(int from, int to) const;

private:
  int Find(std::string_view name) const;  // -1 when unknown
  // Item I (valid) with its tables read.
  const TCSInfo& Loaded(size_t i) const;

  std::vector<std::unique_ptr<TCSInfo>> items_;
  // The [ToUTF] values of the charsets whose tables are not read yet, one
  // after the other: (start, length) in toUtfText_ per charset.
  std::string toUtfText_;
  std::vector<std::pair<uint32_t, uint32_t>> toUtfSpans_;
  mutable std::vector<uint8_t> tablesRead_;
  // Lower-cased keys, the first entry of a key wins: a few hundred short keys
  // that every start reads, kept in one text with an open-addressed table.
  class TNameIndex {
  public:
    void Add(std::string_view key, int index);
    void Reserve(size_t keys);
    int Find(std::string_view key) const;  // -1 when absent

  private:
    struct Slot {
      uint32_t start = 0, length = 0;
      int index = -1;  // -1: free
    };
    size_t SlotOf(std::string_view key) const;  // its slot or the free one to take
    std::string text_;
    std::vector<Slot> slots_;
    size_t used_ = 0;
  };
  TNameIndex aliases_, names_;
  // The last names asked for, as given, and what they found: conversions
  // line by line ask for the same two again and again. (No charset has an
  // empty name, so the empty entries are true from the start.)
  mutable std::array<std::pair<std::string, int>, 2> recent_{{{"", -1}, {"", -1}}};
  mutable size_t recentNext_ = 0;
  mutable std::unordered_map<int, std::unique_ptr<PairTable>> pairs_;
  // The pair asked for last: line by line it is the same one.
  mutable int lastPairKey_ = -1;
  mutable const PairTable* lastPair_ = nullptr;
};

// The shared table, read from charsets.dat of the program directory on first
// use. Raises Exception (translated message) when the file is missing or
// empty; the programs call it at start and refuse to run on that exception.
TCSInfos& GetCSInfos();

// Index of the internal charset in the shared table: charset 0 until the
// internal-charset set-up selects one.
int InternalCharsetIndex();
// Makes Name (unknown or empty: charset 0) the charset that FromUtf8, ToUtf8
// and TransliterateToAscii work in. The internal-charset set-up calls it.
void SelectInternalCharset(std::string_view name);

// A source charset with an ordered list of allowed target charsets.
class TCharsets {
public:
  TCharsets(std::string_view source, std::string_view allowed);

  std::string Source;
  std::string Allowed;
  int32_t SourceIndex = 0;
  // One charset index per allowed entry, in list order.
  std::vector<int32_t> AllowedIndexes;

  // Both ignore an empty argument.
  void SetSource(std::string_view name);
  void SetAllowed(std::string_view list);

  // The first allowed charset that holds every character of Text (given in the
  // source charset); charset 0 when none does.
  const TCSInfo& BestCharset(std::string_view text) const;

  static std::u16string Decode(std::string_view text, const TCSInfo& charset);
  static std::string Encode(std::u16string_view ucs2, const TCSInfo& charset, bool& lossy);
};

// Conversion between two charsets of the shared table by index; Lossy is set
// (never cleared) when a character had no place in the target or the source
// held a broken sequence. Fast for pure ASCII and for equal charsets.
std::string ConvertByIndex(std::string_view text, int from, int to, bool& lossy);

// Length of the leading run of ASCII bytes 1..127 (texts that every charset but
// UTF-7 reads the same way).
size_t AsciiPrefixLength(std::string_view text);

// Text files that people write with an editor: the header script and its
// includes, and the files a profile or a script names for reading. Editors
// here save UTF-8 where they once saved the internal charset, so bytes that
// are valid UTF-8 (without NUL) and hold an 8-bit byte are taken as UTF-8, a
// leading byte order mark dropped; any other bytes are in the internal
// charset, or in charset 0 when that is utf-8. The result is in the internal
// charset; a character it lacks becomes "?". Pure ASCII comes back untouched.
// A byte that the file's 8-bit charset has no character for (windows-1252's
// 81, 8D, 8F, 90, 9D) stands for the code of its own number, so that it is
// written back as it was.
std::string EditorTextToInternal(std::string bytes);
// The encoding of a file people write with an editor, found from its bytes:
// what its text is written back in. A file of plain ASCII counts as UTF-8.
struct TEditorEncoding {
  int charset = 0;             // index in the shared table
  bool byteOrderMark = false;  // a UTF-8 file that begins with one
  bool operator==(const TEditorEncoding&) const = default;
};
TEditorEncoding EditorTextEncoding(std::string_view file);
// Text in the internal charset in the encoding of the file that holds the
// bytes File (with its byte order mark), for writing that file back.
std::string InternalToEditorText(std::string_view text, std::string_view file);
// The same for a file whose encoding was found before; no byte order mark.
std::string InternalToEditorText(std::string_view text, const TEditorEncoding& encoding);
