#include "uHtml2Text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <vector>

#include "SysUtils.h"

namespace {

struct TEntity {
  std::string_view name;
  unsigned char code;
};

// Looked up by exact name. nbsp is an ordinary blank so that it wraps and
// collapses like one; "#132" and "#147" are rows of their own and win over
// the numeric reading.
constexpr TEntity kEntities[] = {
    {"lt", 60},      {"gt", 62},      {"amp", 38},     {"quot", 34},    {"nbsp", 32},
    {"Ccdil", 199},  {"ccdil", 231},  {"Ntilde", 209}, {"ntilde", 241}, {"THORN", 222},
    {"thorn", 254},  {"Yacute", 221}, {"yacute", 253}, {"yuml", 255},   {"szlig", 223},
    {"AElig", 198},  {"Aacute", 193}, {"Acirc", 194},  {"Agrave", 192}, {"Aring", 197},
    {"Atilde", 195}, {"Auml", 196},   {"aelig", 230},  {"aacute", 225}, {"acirc", 226},
    {"agrave", 224}, {"aring", 229},  {"atilde", 227}, {"auml", 228},   {"ETH", 208},
    {"Eacute", 201}, {"Ecirc", 202},  {"Egrave", 200}, {"Euml", 203},   {"eth", 240},
    {"eacute", 233}, {"ecirc", 234},  {"egrave", 232}, {"euml", 235},   {"Iacute", 205},
    {"Icirc", 206},  {"Igrave", 204}, {"Iuml", 207},   {"iacute", 237}, {"icirc", 238},
    {"igrave", 236}, {"iuml", 239},   {"Oacute", 211}, {"Ocirc", 212},  {"Ograve", 210},
    {"Oslash", 216}, {"Otilde", 213}, {"Ouml", 214},   {"oacute", 243}, {"ocirc", 244},
    {"ograve", 242}, {"oslash", 248}, {"otilde", 245}, {"ouml", 246},   {"Uacute", 218},
    {"Ucirc", 219},  {"Ugrave", 217}, {"Uuml", 220},   {"uacute", 250}, {"ucirc", 251},
    {"ugrave", 249}, {"uuml", 252},   {"reg", 174},    {"copy", 169},   {"plusmn", 177},
    {"micro", 181},  {"para", 182},   {"middot", 183}, {"cent", 162},   {"pound", 163},
    {"yen", 165},    {"frac14", 188}, {"frac12", 189}, {"frac34", 190}, {"sup1", 185},
    {"sup2", 178},   {"sup3", 179},   {"iquest", 191}, {"deg", 176},    {"brvbar", 166},
    {"sect", 167},   {"laquo", 171},  {"raquo", 187},  {"#132", 147},   {"#147", 148},
};
static_assert(std::size(kEntities) == 90);

constexpr size_t kLineWidth = 75;
// List levels beyond this indent no further. Every wrapped line repeats the
// indent, so an unbounded one would let a deeply nested list grow the text
// quadratically.
constexpr size_t kMaxIndentLevels = 16;

constexpr std::string_view kParagraph = "\r\n\r\n";
constexpr std::string_view kDivider = "\r\n--------------------------\r\n\r\n";

// TAB, LF and CR count as blanks of the input, and as white space of the output.
bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int HexDigit(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<uint32_t> LookupEntity(std::string_view name) {
  for (const TEntity& e : kEntities)
    if (e.name == name) return e.code;
  return std::nullopt;
}

// Past every character: a number beyond this is no character at all.
constexpr uint32_t kBeyondUnicode = 0x110000;

// "#65" or "#x41" as a number; long numbers stop growing past the last
// character, so no length of digits can overflow. Anything else is no number.
std::optional<uint32_t> NumericEntity(std::string_view name) {
  if (name.size() < 2 || name[0] != '#') return std::nullopt;
  std::string_view digits = name.substr(1);
  uint32_t base = 10;
  if (digits[0] == 'x' || digits[0] == 'X') {
    base = 16;
    digits.remove_prefix(1);
  }
  if (digits.empty()) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int d = base == 16 ? HexDigit(c) : (IsAsciiDigit(c) ? c - '0' : -1);
    if (d < 0) return std::nullopt;
    value = std::min(value * base + uint32_t(d), kBeyondUnicode);
  }
  return value;
}

// The character of an entity in the internal charset, "?" where that has
// none. Codes up to 255 (the table's and small numbers) are windows-1252
// codes, as the table's "#132" and "#147" rows are; larger ones are Unicode.
std::string EntityText(uint32_t code) {
  if (code > 0 && code < 0x80) return std::string(1, char(code));
  const uint32_t cp = code <= 0xFF ? Cp1252ToUnicode(uint8_t(code)) : code;
  if (cp == 0 || cp >= kBeyondUnicode || (cp >= 0xD800 && cp <= 0xDFFF)) return "?";
  std::string utf8;
  AppendUtf8(utf8, cp);
  return FromUtf8(utf8);
}

// The output with its line state: where the current line began, the blank to
// wrap at, and enough about the trailing white space to limit empty lines
// without looking back over it.
class TTextWriter {
public:
  bool InBody = false;
  // Continuation lines of a list item are indented by this text's length.
  std::string Indent;

  // Discards what was written and starts writing.
  void Restart() {
    out_.clear();
    lineStart_ = 0;
    lastBlank_ = npos;
    lastNonWhite_ = npos;
    trailingCRs_ = 0;
    InBody = true;
  }

  // Writes Piece, produced by an input character that was (or was not) a blank.
  void Write(std::string_view piece, bool inputBlank) {
    if (!InBody) return;
    for (char ch : piece) {
      Put(ch);
      afterBlank_ = inputBlank;
    }
    if (!piece.empty() && piece.back() == '\n') afterBlank_ = true;
  }
  void WriteChar(char ch, bool inputBlank) { Write(std::string_view(&ch, 1), inputBlank); }

  // The next blank is not written.
  void SuppressBlank() {
    if (InBody) afterBlank_ = true;
  }

  std::string Take() { return std::move(out_); }

private:
  static constexpr size_t npos = std::string::npos;

  void Put(char ch) {
    if (out_.size() - lineStart_ > kLineWidth && lastBlank_ != npos && lastBlank_ > lineStart_)
      Wrap();
    if (ch == ' ' && afterBlank_) return;
    if ((ch == '\r' || ch == '\n') && out_.size() > 4 &&
        (std::string_view(out_).ends_with(kParagraph) || trailingCRs_ >= 3))
      return;
    const size_t pos = out_.size();
    out_.push_back(ch);
    if (IsWhiteSpace(ch)) {
      // The very first character does not count.
      if (ch == '\r' && pos >= 1) ++trailingCRs_;
    } else {
      lastNonWhite_ = pos;
      trailingCRs_ = 0;
    }
    if (ch == '\r' || ch == '\n') lineStart_ = pos;
    if (ch == ' ') lastBlank_ = pos;
  }

  // The last blank of the line becomes a line break; what followed it (at most
  // a line's width, as the wrap comes as soon as the line is too long) moves
  // to the new line behind the indent.
  void Wrap() {
    const size_t b = lastBlank_;
    const bool nothingAfter = b + 1 == out_.size();
    const size_t inserted = 1 + Indent.size();
    out_[b] = '\r';
    out_.insert(b + 1, inserted, ' ');
    out_[b + 1] = '\n';
    if (lastNonWhite_ == npos || lastNonWhite_ < b) {
      if (b >= 1) ++trailingCRs_;
    } else {
      lastNonWhite_ += inserted;
    }
    lineStart_ = b + 2;
    afterBlank_ = nothingAfter;
    lastBlank_ = npos;
  }

  std::string out_;
  size_t lineStart_ = 0;
  size_t lastBlank_ = npos;
  bool afterBlank_ = false;
  // The CRs in the white space at the end of the output, and the last
  // character that is not white space.
  size_t lastNonWhite_ = npos;
  size_t trailingCRs_ = 0;
};

struct TListLevel {
  bool numbered;
  int64_t counter;
};

class TConverter {
public:
  std::string Run(std::string_view html) {
    enum class TState { Text, TagName, TagAttributes, Entity } state = TState::Text;
    bool previousBlank = false;
    for (char raw : html) {
      const bool blank = IsWhiteSpace(raw);
      const char c = blank ? ' ' : raw;
      switch (state) {
        case TState::Text:
          if (c == '<') {
            tagName_.clear();
            attributes_.clear();
            state = TState::TagName;
          } else if (c == '&') {
            entity_.clear();
            state = TState::Entity;
          } else if (!(blank && previousBlank)) {
            writer_.WriteChar(c, blank);
          }
          break;
        case TState::TagName:
          if (c == '>') {
            CompleteTag();
            state = TState::Text;
          } else if (blank) {
            state = TState::TagAttributes;
          } else {
            tagName_ += c;
          }
          break;
        case TState::TagAttributes:
          if (c == '>') {
            CompleteTag();
            state = TState::Text;
          } else {
            attributes_ += c;
          }
          break;
        case TState::Entity:
          if (c == '#' || IsAsciiDigit(c) || IsAsciiLetter(c)) {
            entity_ += c;
          } else {
            CompleteEntity(c, blank);
            state = TState::Text;
          }
          break;
      }
      previousBlank = blank;
    }
    return writer_.Take();
  }

private:
  void CompleteEntity(char c, bool blank) {
    std::optional<uint32_t> code = LookupEntity(entity_);
    if (!code) code = NumericEntity(entity_);
    if (code) {
      writer_.Write(EntityText(*code), blank);
    } else {
      // Written as it stood: a blank that completed it must not be taken for
      // one that follows a blank.
      writer_.Write("&" + entity_, false);
      writer_.WriteChar(c, blank);
    }
  }

  void CompleteTag() {
    const std::string name = LowerCase(tagName_);
    auto is = [&name](std::initializer_list<std::string_view> names) {
      for (std::string_view n : names)
        if (name == n) return true;
      return false;
    };
    if (is({"body", "html"})) {
      writer_.Restart();
    } else if (is({"/body", "head"})) {
      writer_.InBody = false;
    } else if (name == "a") {
      Link();
    } else if (name == "/tr") {
      writer_.Write("\t", false);
    } else if (name == "ul" || name == "ol") {
      lists_.push_back({name == "ol", 1});
    } else if (name == "li") {
      ListItem();
    } else if (is({"/ul", "/ol"})) {
      if (!lists_.empty()) {
        lists_.pop_back();
        if (lists_.empty()) writer_.Indent.clear();
      }
    } else if (is({"b", "/b"})) {
      writer_.Write("*", false);
    } else if (is({"u", "/u"})) {
      writer_.Write("_", false);
    } else if (is({"h1", "h2", "h3", "h4", "h5", "/h1", "/h2", "/h3", "/h4", "/h5", "/p", "p",
                   "br", "/td", "/li"})) {
      writer_.Write(kParagraph, false);
    } else if (name == "/div") {
      writer_.Write(kDivider, false);
    }
  }

  void Link() {
    const std::string href = GetAttributeValue(attributes_, "href=");
    if (!href.empty()) {
      writer_.Write(" <" + href + "> ", false);
    } else {
      const std::string anchor = GetAttributeValue(attributes_, "name=");
      if (!anchor.empty()) writer_.Write("\r\n\r\n(Abschnitt: #" + anchor + ")\r\n", false);
    }
    writer_.SuppressBlank();
  }

  void ListItem() {
    if (lists_.empty()) return;
    const size_t levels = std::min(lists_.size(), kMaxIndentLevels);
    TListLevel& level = lists_.back();
    std::string indent(2 * (levels - 1), ' ');
    if (level.numbered) {
      indent += IntToStr(level.counter) + ". ";
      ++level.counter;
    } else {
      indent += "* ";
    }
    writer_.Indent = indent;
    writer_.Write("\r\n" + indent, false);
    writer_.SuppressBlank();
  }

  TTextWriter writer_;
  std::string tagName_, attributes_, entity_;
  std::vector<TListLevel> lists_;
};

}  // namespace

void HtmlToText(std::string_view html, std::string& text) { text = TConverter().Run(html); }

std::string HtmlToText(std::string_view html) { return TConverter().Run(html); }

std::string GetAttributeValue(std::string_view attributes, std::string_view key) {
  if (key.empty()) return {};
  const size_t pos = LowerCase(attributes).find(LowerCase(key));
  if (pos == std::string::npos) return {};
  std::string_view value = attributes.substr(pos + key.size());
  if (!value.empty() && value.front() == '"') {
    value.remove_prefix(1);
    value = value.substr(0, value.find('"'));
  }
  return std::string(value);
}
