#include "uGetStr.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <locale.h>
#include <memory>
#include <stdexcept>
#include <vector>
#include <wctype.h>

#include "IniFile.h"
#include "LocaleTime.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "uCharsets.h"
#include "uFunctionRegistry.h"
#include "uSkript.h"
#include "uTools.h"
#include "uTransla.h"
#include "uperlre.h"

namespace {

size_t gTextLimit = size_t(1) << 28;

void CheckTextLength(uint64_t length) {
  if (length > gTextLimit) throw ERangeError();
}

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsTrimmed(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
  return s;
}

// ---------------------------------------------------------------------------
// Hooks and registry

struct StringHooks {
  HookOwner owner;
  ErrorHook errorHook;
  StringVarGetter varGetter;
  StringVarTest varTest;
};

HookStack<StringHooks>& Hooks() {
  static HookStack<StringHooks> stack;
  return stack;
}

void Report(std::string_view message, std::string_view context) { Hooks().Report(message, context); }

struct StringRecord {
  std::string name;
  std::string signature;
  int flag;
  int index;
  StringFunction handler;
  HookOwner owner;
};
using RecordPtr = FunctionRegistry<StringRecord>::Ptr;

std::vector<StringRecord> MakeBuiltins();

FunctionRegistry<StringRecord>& Registry() {
  static FunctionRegistry<StringRecord> registry("string", MakeBuiltins());
  return registry;
}

// ---------------------------------------------------------------------------
// Evaluation

// StartsWithKeyword(",", Text), spared the call between any two arguments.
bool TakeComma(std::string_view& text) {
  if (!text.starts_with(',')) return false;
  text.remove_prefix(1);
  text = TrimView(text);
  return true;
}

void CheckRawText(std::string_view raw, std::string_view text, const std::string& name) {
  if (raw.data() < text.data() || raw.data() + raw.size() > text.data() + text.size())
    throw std::logic_error("string function " + name + " replaced its raw text");
}

void CallFunction(const StringRecord& rec, std::string_view& text, std::string& s) {
  FunctionCall call;
  call.Index = rec.index;
  const std::string& sig = rec.signature;
  const std::string& name = rec.name;
  if (!sig.empty() && !(sig.size() == 1 && sig[0] == kRawArgs)) {
    std::string_view inner;
    int len = int(sig.size());
    if (SplitParenArgs(text, inner, true)) {
      for (int i = 1; i <= len; ++i) {
        if (sig[size_t(i - 1)] == kNumArg) {
          double v = 0;
          if (InterpreteNumeric(inner, v))
            call.Num[size_t(++call.NumCount)] = v;
          else
            Report(TranslateFmt("FunctionNeedsNumAsXPar",
                                "Syntaxfehler: Die Funktion \"%s\" erwartet als %s. Parameter einen numerischen Ausdruck",
                                {name, IntToStr(i)}),
                   inner);
        } else {
          // Read into its place; a failed read leaves the place empty.
          std::string& a = call.Str[size_t(call.StrCount + 1)];
          if (InterpreteString(inner, a)) {
            ++call.StrCount;
          } else if (rec.flag == kLooseStringArgument) {
            a.assign(inner);
            ++call.StrCount;
            inner = inner.substr(inner.size());
          } else {
            a.clear();
            Report(TranslateFmt("FunctionNeedsStringAsXPar",
                                "Syntaxfehler: Die Funktion \"%s\" erwartet als %s. Parameter einen String",
                                {name, IntToStr(i)}),
                   inner);
          }
        }
        if (i < len && !TakeComma(inner))
          Report(TranslateFmt("FunctionNeedsXAndNotOnlyYPars",
                              "Syntaxfehler: Die Funktion \"%s\" erwartet %s und nicht nur %s Parameter",
                              {name, IntToStr(len), IntToStr(i)}),
                 text);
      }
      if (!inner.empty())
        Report(TranslateFmt("FunctionNeedsOnylXPars", "Syntaxfehler: Die Funktion \"%s\" braucht nur %s Parameter",
                            {name, IntToStr(len)}),
               text);
    } else if (rec.flag != kLooseStringArgument) {
      Report(TranslateFmt("FunctionNeedsPar", "Syntaxfehler: Die Funktion \"%s\" braucht Parameter!", {name}), text);
    } else {
      std::string a;
      if (InterpreteString(text, a))
        call.Str[size_t(++call.StrCount)] = std::move(a);
      else
        Report(TranslateFmt("FunctionNeedStrPar", "Syntaxfehler: Die Funktion \"%s\" braucht einen Stringparameter",
                            {name}),
               text);
    }
  }
  call.Count = call.NumCount + call.StrCount;
  call.RawText = text;
  s.clear();
  rec.handler(call, s);
  CheckRawText(call.RawText, text, name);
  text = call.RawText;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

// The records a term beginning with First may name, in registry order: those
// whose name begins with that letter (case ignored) and any without a name.
// Every term passes here, so the lists are kept until the registry changes.
const std::vector<RecordPtr>& Candidates(char first) {
  static uint64_t version = ~uint64_t(0);
  static std::array<std::vector<RecordPtr>, 256> byFirst;
  static const FunctionRegistry<StringRecord>& registry = Registry();
  if (version != registry.Version()) {
    for (auto& list : byFirst) list.clear();
    for (const RecordPtr& rec : registry.Records()) {
      if (rec->name.empty()) {
        for (auto& list : byFirst) list.push_back(rec);
      } else {
        const unsigned char c = static_cast<unsigned char>(AsciiLower(rec->name.front()));
        byFirst[c].push_back(rec);
        if (c >= 'a' && c <= 'z') byFirst[c - 32].push_back(rec);
      }
    }
    version = registry.Version();
  }
  return byFirst[static_cast<unsigned char>(first)];
}

// The letters of Name at the front of Text (case ignored), the end of the
// word aside: most names are ruled out by their second letter.
bool BeginsWithName(std::string_view text, std::string_view name) {
  if (text.size() < name.size()) return false;
  for (size_t i = 1; i < name.size(); ++i)
    if (AsciiLower(text[i]) != AsciiLower(name[i])) return false;
  return true;
}

bool MayBeReference(std::string_view text) {
  for (const char c : text)
    if (!IsTrimmed(c)) return c == '%';
  return false;
}

// A quoted constant with neither an index nor a "+" after it, as most
// arguments are, read as ReadTerm reads it; false, with Text unchanged, for
// anything else (also when a registered name might begin with the quote).
[[gnu::always_inline]] inline bool ReadLoneConstant(std::string_view& text, std::string& s) {
  std::string_view t = text;
  while (t.starts_with(' ')) t.remove_prefix(1);
  if (t.empty() || (t.front() != '"' && t.front() != '\'') || !Candidates(t.front()).empty())
    return false;
  const size_t close = t.find(t.front(), 1);
  if (close == std::string_view::npos) return false;
  // 1 <= close < size: the views need no checks.
  const std::string_view rest = TrimView(std::string_view(t.data() + close + 1, t.size() - close - 1));
  if (rest.starts_with('[') || rest.starts_with('+')) return false;
  s.assign(t.data() + 1, close - 1);
  text = rest;
  return true;
}

// One term with its index: a variable, a function or a constant.
bool ReadTerm(const StringHooks& hooks, std::string_view& text, std::string& s) {
  while (text.starts_with(' ')) text.remove_prefix(1);
  bool read = false;
  std::string name;
  if (hooks.varTest && MayBeReference(text) && hooks.varTest(text, name)) {
    if (hooks.varGetter) hooks.varGetter(name, s);
    read = true;
  }
  if (!read) {
    const StringRecord* found = nullptr;  // the registry keeps it while it runs
    for (const RecordPtr& rec : Candidates(text.empty() ? 0 : text.front()))
      if (BeginsWithName(text, rec->name) && StartsWithKeyword(rec->name, text)) {
        found = rec.get();
        break;
      }
    if (found) {
      CallFunction(*found, text, s);
      read = true;
    }
  }
  if (!read && !text.empty() && (text.front() == '"' || text.front() == '\'')) {
    size_t close = text.find(text.front(), 1);
    if (close != std::string_view::npos) {
      s = std::string(text.substr(1, close - 1));
      text = TrimView(text.substr(close + 1));
      read = true;
    }
  }
  if (read && StartsWithKeyword("[", text)) {
    double k = 0;
    if (InterpreteNumeric(text, k) && StartsWithKeyword("]", text)) {
      k = std::trunc(k);
      s = k >= 1 && k <= double(s.size()) ? std::string(1, s[size_t(k) - 1]) : std::string();
    } else {
      Report(Translate("Use[x]toExtractSingleChar",
                       "Syntaxfehler: Ein einzelnes Zeichen wird mit \"String[Nummer]\" extrahiert"),
             text);
    }
  }
  return read;
}

// ---------------------------------------------------------------------------
// Numbers

std::string NonFinite(double x) {
  if (std::isnan(x)) return "NAN";
  return x < 0 ? "-INF" : "INF";
}

// ---------------------------------------------------------------------------
// Case mapping and code pages

locale_t Utf8Locale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  return loc;
}

uint32_t MapCase(uint32_t cp, bool upper) {
  if (locale_t loc = Utf8Locale())
    return upper ? uint32_t(towupper_l(wint_t(cp), loc)) : uint32_t(towlower_l(wint_t(cp), loc));
  // Without the locale: ASCII, Latin-1 and the windows-1252 extras.
  if (upper) {
    if ((cp >= 'a' && cp <= 'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7)) return cp - 32;
    if (cp == 0xFF) return 0x178;
    if (cp == 0x161 || cp == 0x153 || cp == 0x17E) return cp - 1;
  } else {
    if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)) return cp + 32;
    if (cp == 0x178) return 0xFF;
    if (cp == 0x160 || cp == 0x152 || cp == 0x17D) return cp + 1;
  }
  return cp;
}

// Length of a well-formed UTF-8 sequence at S[I] with its code point, 0 when
// the bytes there are no such sequence.
size_t DecodeUtf8(std::string_view s, size_t i, uint32_t& cp) {
  unsigned char c = s[i];
  size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (len == 0 || i + len > s.size()) return 0;
  cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
  for (size_t k = 1; k < len; ++k) {
    unsigned char cc = s[i + k];
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

std::string ChangeCase(std::string_view s, bool upper) {
  std::string out;
  out.reserve(s.size());
  if (InternalCharsetIsUtf8()) {
    for (size_t i = 0; i < s.size();) {
      uint32_t cp = 0;
      size_t len = DecodeUtf8(s, i, cp);
      if (len == 0) {
        out += s[i++];  // a broken byte stays as it is
        continue;
      }
      AppendUtf8(out, MapCase(cp, upper));
      i += len;
    }
    return out;
  }
  // A table charset maps through its own codes; without the tables the
  // default internal charset, windows-1252, is assumed.
  const TCSInfo* table = nullptr;
  try {
    table = GetCSInfos().Items(InternalCharsetIndex());
    if (table && table->UnicodeKind != TCSInfo::ukTable) table = nullptr;
  } catch (const Exception&) {
  }
  for (char c : s) {
    auto b = static_cast<unsigned char>(c);
    uint32_t code = b < 0x80 ? b : table ? table->ToUTF[b - 0x80] : Cp1252ToUnicode(b);
    uint32_t mapped = code ? MapCase(code, upper) : 0;
    int byte = !mapped ? 0 : table ? (mapped <= 0xFFFF ? table->ByteOf(uint16_t(mapped)) : 0) : UnicodeToCp1252(mapped);
    out += byte ? char(byte) : c;
  }
  return out;
}

constexpr unsigned char kDosToWin[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xF8, 0xA3, 0xD8, 0xD7, 0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0xAE, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    0x23, 0x23, 0x23, 0x7C, 0x2B, 0xC1, 0xC2, 0xC0, 0xA9, 0x2B, 0x7C, 0x2B, 0x2B, 0xA2, 0xA5, 0x2B,
    0x2B, 0x2B, 0x2B, 0x2B, 0x2D, 0x2B, 0xE3, 0xC3, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2D, 0x2B, 0xA4,
    0xF0, 0xD0, 0xCA, 0xCB, 0xC8, 0x69, 0xCD, 0xCE, 0xCF, 0x2B, 0x2B, 0x23, 0x23, 0xA6, 0xCC, 0x23,
    0xD3, 0xDF, 0xD4, 0xD2, 0xF5, 0xD5, 0xB5, 0xFE, 0xDE, 0xDA, 0xDB, 0xD9, 0xFD, 0xDD, 0xAF, 0xB4,
    0xAD, 0xB1, 0x5F, 0xBE, 0xB6, 0xA7, 0xF7, 0xB8, 0xB0, 0xA8, 0xB7, 0xB9, 0xB3, 0xB2, 0x23, 0xA0};

constexpr unsigned char kWinToDos[128] = {
    0x45, 0x3F, 0x2C, 0x9F, 0x22, 0x2E, 0x2B, 0x2B, 0x5E, 0x25, 0x53, 0x3C, 0x4F, 0x3F, 0x5A, 0x3F,
    0x3F, 0x27, 0x27, 0x22, 0x22, 0xFA, 0x2D, 0x2D, 0x7E, 0x54, 0x73, 0x3E, 0x6F, 0x3F, 0x7A, 0x59,
    0xFF, 0xAD, 0xBD, 0x9C, 0xCF, 0xBE, 0xDD, 0xF5, 0xF9, 0xB8, 0xA6, 0xAE, 0xAA, 0xF0, 0xA9, 0xEE,
    0xF8, 0xF1, 0xFD, 0xFC, 0xEF, 0xE6, 0xF4, 0xFA, 0xF7, 0xFB, 0xA7, 0xAF, 0xAC, 0xAB, 0xF3, 0xA8,
    0xB7, 0xB5, 0xB6, 0xC7, 0x8E, 0x8F, 0x92, 0x80, 0xD4, 0x90, 0xD2, 0xD3, 0xDE, 0xD6, 0xD7, 0xD8,
    0xD1, 0xA5, 0xE3, 0xE0, 0xE2, 0xE5, 0x99, 0x9E, 0x9D, 0xEB, 0xE9, 0xEA, 0x9A, 0xED, 0xE8, 0xE1,
    0x85, 0xA0, 0x83, 0xC6, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,
    0xD0, 0xA4, 0x95, 0xA2, 0x93, 0xE4, 0x94, 0xF6, 0x9B, 0x97, 0xA3, 0x96, 0x81, 0xEC, 0xE7, 0x98};

std::string MapHighBytes(std::string_view s, const unsigned char (&table)[128]) {
  std::string out(s);
  for (char& c : out) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 0x80) c = char(table[b - 0x80]);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Locale date and time texts

struct LocaleTexts {
  std::string shortDate, longDate, shortTime, longTime;
  std::string dateSeparator, timeSeparator;
  std::string shortDay[8], longDay[8];  // 1 = Sunday
  std::string shortMonth[13], longMonth[13];
  std::string am, pm;
  std::string era;                // when no entry of eras holds the date
  std::vector<std::string> eras;  // the locale's own eras (see FindEra)
};

// The composite conversions of a strftime pattern written out, so that the
// fields and separators of the locale's time formats can be seen.
std::string ExpandStrftime(std::string_view f, std::string_view ampmFormat) {
  std::string out;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%' || i + 1 >= f.size()) {
      out += f[i];
      continue;
    }
    switch (f[++i]) {
      case 'T': out += "%H:%M:%S"; break;
      case 'R': out += "%H:%M"; break;
      case 'r':
        out += ampmFormat.empty() || ampmFormat.find("%r") != std::string_view::npos ? "%I:%M:%S %p" : ampmFormat;
        break;
      case 'D': out += "%m/%d/%y"; break;
      case 'F': out += "%Y-%m-%d"; break;
      default:
        out += '%';
        out += f[i];
        break;
    }
  }
  return out;
}

// A strftime pattern of the locale in the format letters of this formatter.
std::string FromStrftime(std::string_view f) {
  std::string out;
  auto literal = [&out](char c) {
    if (c == '"') {
      out += "'\"'";
    } else {
      out += '"';
      out += c;
      out += '"';
    }
  };
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%' || i + 1 >= f.size()) {
      literal(f[i]);
      continue;
    }
    char c = f[++i];
    char modifier = 0;
    if ((c == 'E' || c == 'O') && i + 1 < f.size()) modifier = c, c = f[++i];
    if (modifier == 'E' && (c == 'y' || c == 'C')) {
      // The year in the era (two digits at least, as strftime writes it) and
      // its name; %EY, whose form differs from era to era, keeps the plain year.
      out += c == 'y' ? "ee" : "g";
      continue;
    }
    switch (c) {
      case 'd': out += "dd"; break;
      case 'e': out += "d"; break;
      case 'm': out += "mm"; break;
      case 'y': out += "yy"; break;
      case 'Y': case 'C': out += "yyyy"; break;
      case 'b': case 'h': out += "mmm"; break;
      case 'B': out += "mmmm"; break;
      case 'a': out += "ddd"; break;
      case 'A': out += "dddd"; break;
      case 'H': case 'I': out += "hh"; break;
      case 'k': case 'l': out += "h"; break;
      case 'M': out += "nn"; break;
      case 'S': out += "ss"; break;
      case 'p': case 'P': out += "ampm"; break;
      case 'n': case 't': out += "\" \""; break;
      case '%': out += "\"%\""; break;
      default: break;
    }
  }
  return out;
}

// The first character of a strftime pattern that is neither a conversion nor
// a letter nor a blank: the separator the locale uses between its fields. A
// pattern whose fields stand between words (or none) has the fallback.
std::string SeparatorOf(std::string_view f, std::string_view fallback) {
  for (size_t i = 0; i < f.size(); ++i) {
    auto c = static_cast<unsigned char>(f[i]);
    if (c == '%') {
      ++i;
      continue;
    }
    if (c >= 0x80 || std::isalnum(c)) break;
    if (c != ' ') return std::string(1, f[i]);
  }
  return std::string(fallback);
}

LocaleTexts GermanTexts() {
  LocaleTexts t;
  t.shortDate = "dd.mm.yyyy";
  t.longDate = "dddd, d. mmmm yyyy";
  t.shortTime = "hh:nn";
  t.longTime = "hh:nn:ss";
  t.dateSeparator = ".";
  t.timeSeparator = ":";
  static const char* const kShortDays[] = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
  static const char* const kLongDays[] = {"Sonntag", "Montag", "Dienstag", "Mittwoch",
                                          "Donnerstag", "Freitag", "Samstag"};
  static const char* const kShortMonths[] = {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun",
                                             "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
  static const char* const kLongMonths[] = {"Januar", "Februar", "März",     "April",   "Mai",      "Juni",
                                            "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
  for (int i = 0; i < 7; ++i) {
    t.shortDay[i + 1] = kShortDays[i];
    t.longDay[i + 1] = kLongDays[i];
  }
  for (int i = 0; i < 12; ++i) {
    t.shortMonth[i + 1] = kShortMonths[i];
    t.longMonth[i + 1] = FromUtf8(kLongMonths[i]);
  }
  t.am = "AM";
  t.pm = "PM";
  t.era = "n. Chr.";
  return t;
}

// The texts of the LC_TIME locale (named Name) in the internal charset; the
// German ones for C, POSIX and C.<charset>, and for a locale whose charset
// the tables do not know.
LocaleTexts ReadLocaleTexts(const std::string& name) {
  if (IsNeutralLocale(name)) return GermanTexts();
  const TLocaleTime raw = ReadLocaleTime();
  int from = 0;
  try {
    const TCSInfos& infos = GetCSInfos();
    if (!infos.Known(raw.Codeset)) return GermanTexts();
    from = infos.IndexOf(raw.Codeset);
  } catch (const Exception&) {
    return GermanTexts();
  }
  const int to = InternalCharsetIndex();
  auto text = [from, to](const std::string& s) {
    bool lossy = false;
    return from == to ? s : ConvertByIndex(s, from, to, lossy);
  };
  LocaleTexts t;
  // Separators are looked for in the locale's own bytes: a character the
  // internal charset lacks would be a "?" there.
  const std::string rawDateFmt = ExpandStrftime(raw.DateFormat, raw.TimeFormatAmPm);
  std::string rawTimeFmt = ExpandStrftime(raw.TimeFormat, raw.TimeFormatAmPm);
  if (rawTimeFmt.empty()) rawTimeFmt = ExpandStrftime(raw.TimeFormatAmPm, raw.TimeFormatAmPm);
  if (rawTimeFmt.empty()) rawTimeFmt = "%H:%M:%S";
  t.dateSeparator = SeparatorOf(rawDateFmt, "/");
  t.timeSeparator = SeparatorOf(rawTimeFmt, ":");
  // The short time is the long one without its seconds: with the separator
  // before them, or else with the word after them ("%H時%M分%S秒").
  std::string rawShortFmt = rawTimeFmt;
  if (size_t p = rawShortFmt.find("%S"); p != std::string::npos) {
    size_t end = p + 2;
    if (p > 0 && std::ispunct(static_cast<unsigned char>(rawShortFmt[p - 1])) &&
        (p < 2 || rawShortFmt[p - 2] != '%'))
      --p;
    else
      while (end < rawShortFmt.size() && rawShortFmt[end] != '%' && rawShortFmt[end] != ' ') ++end;
    rawShortFmt.erase(p, end - p);
  }
  t.shortDate = FromStrftime(text(rawDateFmt));
  t.longDate = "dddd\", \"" + t.shortDate;
  t.longTime = FromStrftime(text(rawTimeFmt));
  t.shortTime = FromStrftime(text(rawShortFmt));
  for (int i = 0; i < 7; ++i) {
    t.shortDay[i + 1] = text(raw.AbDay[i]);
    t.longDay[i + 1] = text(raw.Day[i]);
  }
  for (int i = 0; i < 12; ++i) {
    t.shortMonth[i + 1] = text(raw.AbMonth[i]);
    t.longMonth[i + 1] = text(raw.Month[i]);
  }
  t.am = text(raw.Am);
  t.pm = text(raw.Pm);
  for (const std::string& era : raw.Eras) t.eras.push_back(text(era));
  // The C library names no era of our calendar: the program knows its German
  // name, other languages get the English one.
  t.era = name.substr(0, name.find_first_of("_.@")) == "de" ? "n. Chr." : "AD";
  return t;
}

// Read once: the programs set LC_TIME at start and never again.
const LocaleTexts& Locale() {
  static const LocaleTexts texts = ReadLocaleTexts(CurrentTimeLocale());
  return texts;
}

int DayOfWeek(const TScriptDateTime& dt) {
  using namespace std::chrono;
  year_month_day ymd{year{dt.Year}, month{unsigned(dt.Month)}, day{unsigned(dt.Day)}};
  if (!ymd.ok()) return 1;
  return int(weekday{sys_days{ymd}}.c_encoding()) + 1;
}

// Delphi's date and time formatting: letters case-insensitive, an "m" right
// after an "h" (no other letter between) means minutes, nested standard
// formats at most two levels deep, at most 256 characters.
class DateFormatter {
public:
  DateFormatter(const TScriptDateTime& dt, const LocaleTexts& texts) : dt_(dt), texts_(texts) {}

  void Format(std::string_view fmt);
  std::string Result() const { return out_; }

private:
  static constexpr size_t kMaxLength = 256;

  void Append(std::string_view s) { out_.append(s.substr(0, kMaxLength - std::min(kMaxLength, out_.size()))); }
  void AppendNumber(int v, int digits) {
    std::string n = IntToStr(v);
    if (int(n.size()) < digits) n.insert(0, size_t(digits) - n.size(), '0');
    Append(n);
  }

  const TScriptDateTime& dt_;
  const LocaleTexts& texts_;
  std::string out_;
  int level_ = 0;
};

bool StartsTextAt(std::string_view fmt, size_t i, std::string_view word) {
  return fmt.size() - i >= word.size() && SameText(fmt.substr(i, word.size()), word);
}

void DateFormatter::Format(std::string_view fmt) {
  if (level_ >= 2) return;
  ++level_;
  char lastToken = ' ';
  bool use12Hour = false;
  size_t i = 0;
  while (i < fmt.size()) {
    char starter = fmt[i++];
    auto count = [&] {
      int n = 1;
      while (i < fmt.size() && fmt[i] == starter) {
        ++i;
        ++n;
      }
      return n;
    };
    char token = UpCase(starter);
    if (token >= 'A' && token <= 'Z') {
      if (token == 'M' && lastToken == 'H') token = 'N';
      lastToken = token;
    }
    switch (token) {
      case 'Y':
        if (count() <= 2)
          AppendNumber(dt_.Year % 100, 2);
        else
          AppendNumber(dt_.Year, 4);
        break;
      case 'G': {
        count();
        std::string name;
        int year = 0;
        Append(FindEra(texts_.eras, dt_.Year, dt_.Month, dt_.Day, name, year) ? name : texts_.era);
        break;
      }
      case 'E': {
        int n = count();
        std::string name;
        int year = dt_.Year;
        FindEra(texts_.eras, dt_.Year, dt_.Month, dt_.Day, name, year);
        AppendNumber(year, n >= 3 ? 4 : n);
        break;
      }
      case 'M': {
        int n = count();
        if (n <= 2)
          AppendNumber(dt_.Month, n);
        else if (dt_.Month >= 1 && dt_.Month <= 12)
          Append(n == 3 ? texts_.shortMonth[dt_.Month] : texts_.longMonth[dt_.Month]);
        break;
      }
      case 'D': {
        int n = count();
        if (n <= 2)
          AppendNumber(dt_.Day, n);
        else if (n == 3)
          Append(texts_.shortDay[DayOfWeek(dt_)]);
        else if (n == 4)
          Append(texts_.longDay[DayOfWeek(dt_)]);
        else if (n == 5)
          Format(texts_.shortDate);
        else
          Format(texts_.longDate);
        break;
      }
      case 'H': {
        int n = std::min(count(), 2);
        bool quoted = false;
        for (size_t p = i; p < fmt.size(); ++p) {
          char c = fmt[p];
          if ((c == 'A' || c == 'a') && !quoted) {
            if (StartsTextAt(fmt, p, "AM/PM") || StartsTextAt(fmt, p, "A/P") || StartsTextAt(fmt, p, "AMPM"))
              use12Hour = true;
            break;
          }
          if (c == 'H' || c == 'h') break;
          if (c == '\'' || c == '"') quoted = !quoted;
        }
        int h = dt_.Hour;
        if (use12Hour) h = h == 0 ? 12 : h > 12 ? h - 12 : h;
        AppendNumber(h, n);
        break;
      }
      case 'N':
        AppendNumber(dt_.Minute, std::min(count(), 2));
        break;
      case 'S':
        AppendNumber(dt_.Second, std::min(count(), 2));
        break;
      case 'Z':
        AppendNumber(dt_.Millisecond, std::min(count(), 3));
        break;
      case 'T':
        Format(count() == 1 ? texts_.shortTime : texts_.longTime);
        break;
      case 'A': {
        size_t p = i - 1;
        if (StartsTextAt(fmt, p, "AM/PM")) {
          Append(fmt.substr(dt_.Hour >= 12 ? p + 3 : p, 2));
          i = p + 5;
          use12Hour = true;
        } else if (StartsTextAt(fmt, p, "A/P")) {
          Append(fmt.substr(dt_.Hour >= 12 ? p + 2 : p, 1));
          i = p + 3;
          use12Hour = true;
        } else if (StartsTextAt(fmt, p, "AMPM")) {
          Append(dt_.Hour < 12 ? texts_.am : texts_.pm);
          i = p + 4;
          use12Hour = true;
        } else if (StartsTextAt(fmt, p, "AAAA")) {
          Append(texts_.longDay[DayOfWeek(dt_)]);
          i = p + 4;
        } else if (StartsTextAt(fmt, p, "AAA")) {
          Append(texts_.shortDay[DayOfWeek(dt_)]);
          i = p + 3;
        } else {
          Append(std::string_view(&starter, 1));
        }
        break;
      }
      case 'C':
        count();
        Format(texts_.shortDate);
        if (dt_.Hour != 0 || dt_.Minute != 0 || dt_.Second != 0) {
          Append(" ");
          Format(texts_.longTime);
        }
        break;
      case '/':
        Append(texts_.dateSeparator);
        break;
      case ':':
        Append(texts_.timeSeparator);
        break;
      case '\'':
      case '"': {
        size_t close = fmt.find(starter, i);
        if (close == std::string_view::npos) close = fmt.size();
        Append(fmt.substr(i, close - i));
        i = std::min(close + 1, fmt.size());
        break;
      }
      default:
        Append(std::string_view(&starter, 1));
        break;
    }
  }
  --level_;
}

// ---------------------------------------------------------------------------
// Built-in functions

int32_t IntArg(double v) { return CheckedTrunc(v); }

void ReportStr(FunctionCall& call) {
  Report(Translate("FunctionStrFalseUse", "Falsche Syntax, korrekt wäre \"Str(Zahl[,Zahl[,Zahl]])\""), call.RawText);
}

std::string StrFunction(FunctionCall& call) {
  std::string_view inner;
  if (!SplitParenArgs(call.RawText, inner, true)) {
    ReportStr(call);
    return {};
  }
  double v = 0, w = 0, p = -1;
  bool ok = InterpreteNumeric(inner, v);
  bool haveWidth = false, havePrecision = false;
  if (ok && StartsWithKeyword(",", inner)) {
    ok = InterpreteNumeric(inner, w);
    haveWidth = true;
    if (ok && StartsWithKeyword(",", inner)) {
      ok = InterpreteNumeric(inner, p);
      havePrecision = true;
    }
  }
  if (!ok || !inner.empty()) {
    ReportStr(call);
    return {};
  }
  int32_t width = haveWidth ? IntArg(w) : 0;
  int32_t precision = havePrecision ? IntArg(p) : -1;
  if (width > 0) CheckTextLength(uint64_t(width));
  std::string text = FormatGeneral(v, precision >= 0 ? std::max(precision, 1) : 15);
  if (width > 0 && int64_t(text.size()) < width) text.insert(0, size_t(width) - text.size(), ' ');
  return text;
}

std::string ReadIni(const FunctionCall& c) {
  return ReadIniOrDefault(c.Str[1], c.Str[2], c.Str[3], c.Str[4]);
}

void Builtin(FunctionCall& c, std::string& r) {
  const std::string& s = c.Str[1];
  switch (c.Index) {
    case 0: {
      double code = std::trunc(c.Num[1]);
      if (code >= 1 && code <= 255)
        r = std::string(1, char(int(code)));
      else
        Report(TranslateFmt("FunctionChrAllowsOnlyValues1-255", "Chr(x) ist nur mit 1-255 zulässig, nicht mit %s",
                            {NumberToStr(code)}),
               c.RawText);
      break;
    }
    case 1:
      r = ScriptLowerCase(s);
      break;
    case 2:
      r = ScriptUpperCase(s);
      break;
    case 3:
      r = QuoteRegex(s);
      break;
    case 4:
      r = StrFunction(c);
      break;
    case 5:
      r = IntToStr(CheckedRound64(c.Num[1]));
      break;
    case 6:
      r = StrExtract(s, c.Str[2]);
      break;
    case 7:
      r = c.Str[2].empty() ? s : StrReplaceRegex(s, c.Str[2], c.Str[3]);
      break;
    case 8: {
      int64_t n = IntArg(c.Num[1]), len = hooks::Length(s);
      r = len <= n ? std::string() : hooks::Copy(s, n + 1, len - n);
      break;
    }
    case 9: {
      int64_t n = IntArg(c.Num[1]), len = hooks::Length(s);
      r = len <= n ? std::string() : hooks::Copy(s, 1, len - n);
      break;
    }
    case 10:
      r = hooks::Copy(s, 1, IntArg(c.Num[1]));
      break;
    case 11: {
      int64_t n = IntArg(c.Num[1]), len = hooks::Length(s);
      r = n >= len ? s : hooks::Copy(s, len - n + 1, n);
      break;
    }
    case 12:
      r = hooks::Copy(s, IntArg(c.Num[1]), IntArg(c.Num[2]));
      break;
    case 13:
      r = "\t";
      break;
    case 14:
      r = "\r\n";
      break;
    case 15:
      r = "-- ";
      break;
    case 16:
      r = LTrimBlanks(s);
      break;
    case 17:
      r = RTrimBlanks(s);
      break;
    case 18:
      r = Trim(s);
      break;
    case 19:
      r = WordWrapText(s, c.Str[2], IntArg(c.Num[1]));
      break;
    case 20: {
      int64_t n = IntArg(c.Num[1]);
      if (n < 1 || s.empty()) break;
      CheckTextLength(uint64_t(n) * s.size());
      r.reserve(size_t(n) * s.size());
      for (int64_t k = 0; k < n; ++k) r += s;
      break;
    }
    case 21:
      r = ReadIni(c);
      break;
    case 22:
      r = FormatScriptDateTime(s, NowScriptDateTime());
      break;
    case 23:
      r = DosToWin(s);
      break;
    case 24:
      r = WinToDos(s);
      break;
    default:
      break;
  }
}

std::vector<StringRecord> MakeBuiltins() {
  struct Row {
    const char* name;
    const char* signature;
    int index;
  };
  static constexpr Row kRows[] = {
      {"Chr", "#", 0},         {"Lower", "$", 1},         {"Upper", "$", 2},     {"EscRegExp", "$", 3},
      {"Str", "*", 4},         {"IStr", "#", 5},          {"Extract", "$$", 6},  {"Replace", "$$$", 7},
      {"CutLeft", "$#", 8},    {"CutRight", "$#", 9},     {"Left", "$#", 10},    {"Right", "$#", 11},
      {"Copy", "$##", 12},     {"Trim", "$", 18},         {"LTrim", "$", 16},    {"RTrim", "$", 17},
      {"FillChar", "$#", 20},  {"WordWrap", "$#$", 19},   {"TAB", "", 13},       {"CRLF", "", 14},
      {"CR", "", 14},          {"Sigdelimiter", "", 15},  {"ReadIni", "$$$$", 21}, {"GetDateTime", "$", 22},
      {"DosToWin", "$", 23},   {"WinToDos", "$", 24},
  };
  std::vector<StringRecord> records;
  for (const Row& r : kRows) records.push_back({r.name, r.signature, 0, r.index, Builtin, nullptr});
  return records;
}

}  // namespace

std::string ReadIniOrDefault(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& fallback) {
  try {
    return TIniFile(file).ReadString(section, key, fallback);
  } catch (const std::exception& e) {
    // The default stands in, but a file that is there and cannot be read is
    // no missing one: said, though the script goes on.
    SayOnStderr(e.what());
    return fallback;
  }
}

// ---------------------------------------------------------------------------

void SetStringHooks(HookOwner owner, ErrorHook errorHook, StringVarGetter stringVarGetter,
                    StringVarTest stringVarTest) {
  Hooks().Install({owner, std::move(errorHook), std::move(stringVarGetter), std::move(stringVarTest)});
}

void RemoveStringHooks(HookOwner owner) { Hooks().Remove(owner); }

int RegisterStringFunction(std::string_view name, std::string_view signature, int flag, int index,
                           StringFunction handler, HookOwner owner) {
  return Registry().Add({std::string(name), std::string(signature), flag, index, std::move(handler), owner});
}

void UnregisterStringFunction(std::string_view name) { Registry().RemoveLast(name); }

void UnregisterStringFunctions(HookOwner owner) { Registry().RemoveOwner(owner); }

void RegisterBuiltinStringFunctions() { Registry(); }

bool InterpreteString(std::string_view& text, std::string& s) {
  s.clear();
  const StringHooks* hooks = Hooks().Active();
  if (!hooks || !hooks->errorHook) return false;
  ExpressionNesting nesting(hooks->errorHook);
  if (ReadLoneConstant(text, s)) {
    CheckTextLength(s.size());
    return true;
  }
  // "a" + "b" + ... is read in a loop, so a long chain needs no deep stack.
  // A term that fails right after a "+" makes the whole chain fail and leaves
  // only the first term; a failed term before a "+" counts as empty.
  std::string rest;
  bool chained = false;
  for (;;) {
    bool read = false;
    if (!chained) {
      // The first term is read in place; a term that is not read leaves S alone.
      read = ReadTerm(*hooks, text, s);
      if (read) CheckTextLength(s.size());
    } else {
      std::string term;
      read = ReadTerm(*hooks, text, term);
      if (read) {
        std::string& target = chained ? rest : s;
        CheckTextLength(uint64_t(s.size()) + rest.size() + term.size());
        target += term;
      }
    }
    std::string_view t = TrimView(text);
    if (t.starts_with('+')) {
      t.remove_prefix(1);
      while (t.starts_with(' ')) t.remove_prefix(1);
      text = t;
      chained = true;
      continue;
    }
    if (read && chained) s += rest;
    return read;
  }
}

bool InterpreteString(std::string& text, std::string& s) {
  std::string_view view(text);
  bool result = InterpreteString(view, s);
  size_t start = size_t(view.data() - text.data());
  text.erase(start + view.size());
  text.erase(0, start);
  return result;
}

// ---------------------------------------------------------------------------
// Kept plans of string expressions

namespace {

struct PlanExpr;

struct PlanArg {
  // A simple numeric argument: its text up to the end of the argument list,
  // which the numeric evaluator reads Taken bytes of (an error there then
  // shows the same rest as when the whole call is read as text).
  size_t numStart = 0, numLength = 0;
  TSimpleNumeric num;
  std::unique_ptr<PlanExpr> str;  // a string argument
};

struct PlanTerm {
  enum Kind { Constant, Variable, Call } kind = Constant;
  std::string value;  // the constant, or the variable's name
  RecordPtr rec;
  std::vector<PlanArg> args;
  size_t rawStart = 0, rawLength = 0;  // the call's unread text after its arguments
  // The call's record, kept for the strings' storage (pure built-ins do not
  // run plans, so it is never in use twice at a time).
  mutable FunctionCall call;
};

struct PlanExpr {
  std::vector<PlanTerm> terms;  // joined by "+"
  bool lone = false;            // a lone constant (InterpreteString's shortcut)
};

// The built-ins that only compute their result from their arguments.
bool IsPureBuiltin(const StringRecord& rec) {
  using Handler = void (*)(FunctionCall&, std::string&);
  const Handler* h = rec.handler.target<Handler>();
  if (rec.owner != nullptr || h == nullptr || *h != Builtin) return false;
  switch (rec.index) {
    case 4: case 6: case 7: case 21: case 22: return false;  // raw text, patterns, files, clock
    default: return rec.index >= 0 && rec.index <= 24;
  }
}

class Planner {
public:
  Planner(const StringHooks& hooks, std::string_view all, std::vector<std::string>& vars)
      : hooks_(hooks), all_(all), vars_(vars) {}

  // As InterpreteString reads Text; false when any part is not covered.
  bool Expr(std::string_view& text, PlanExpr& out) {
    std::string constant;
    if (ReadLoneConstant(text, constant)) {
      out.lone = true;
      PlanTerm& term = out.terms.emplace_back();
      term.value = std::move(constant);
      return true;
    }
    for (;;) {
      PlanTerm term;
      if (!Term(text, term)) return false;
      out.terms.push_back(std::move(term));
      std::string_view t = TrimView(text);
      if (!t.starts_with('+')) return true;
      t.remove_prefix(1);
      while (t.starts_with(' ')) t.remove_prefix(1);
      text = t;
    }
  }

private:
  size_t Offset(std::string_view v) const { return size_t(v.data() - all_.data()); }

  // As ReadTerm reads Text, without an index.
  bool Term(std::string_view& text, PlanTerm& term) {
    while (text.starts_with(' ')) text.remove_prefix(1);
    if (MayBeReference(text)) {
      std::string name;
      // What is no String variable now is read otherwise: not covered.
      if (!hooks_.varTest || !hooks_.varTest(text, name)) return false;
      term.kind = PlanTerm::Variable;
      vars_.push_back(name);
      term.value = std::move(name);
    } else {
      RecordPtr found;
      for (const RecordPtr& rec : Candidates(text.empty() ? 0 : text.front()))
        if (BeginsWithName(text, rec->name) && StartsWithKeyword(rec->name, text)) {
          found = rec;
          break;
        }
      if (found) {
        if (!IsPureBuiltin(*found) || !Call(*found, text, term)) return false;
        term.kind = PlanTerm::Call;
        term.rec = std::move(found);
      } else if (!text.empty() && (text.front() == '"' || text.front() == '\'')) {
        const size_t close = text.find(text.front(), 1);
        if (close == std::string_view::npos) return false;
        term.value = std::string(text.substr(1, close - 1));
        text = TrimView(text.substr(close + 1));
      } else {
        return false;
      }
    }
    std::string_view t = text;
    return !StartsWithKeyword("[", t);
  }

  // As CallFunction reads the arguments, when they are all well-formed.
  bool Call(const StringRecord& rec, std::string_view& text, PlanTerm& term) {
    const std::string& sig = rec.signature;
    if (!sig.empty()) {
      std::string_view inner;
      if (!SplitParenArgs(text, inner, true)) return false;
      for (size_t i = 0; i < sig.size(); ++i) {
        PlanArg arg;
        if (sig[i] == kNumArg) {
          if (!PlanSimpleNumeric(inner, arg.num)) return false;
          arg.numStart = Offset(inner);
          arg.numLength = inner.size();
          inner.remove_prefix(arg.num.taken);
        } else {
          arg.str = std::make_unique<PlanExpr>();
          if (!Expr(inner, *arg.str)) return false;
        }
        term.args.push_back(std::move(arg));
        if (i + 1 < sig.size() && !TakeComma(inner)) return false;
      }
      if (!inner.empty()) return false;
    }
    term.rawStart = Offset(text);
    term.rawLength = text.size();
    return true;
  }

  const StringHooks& hooks_;
  std::string_view all_;
  std::vector<std::string>& vars_;
};

bool RunExpr(const TStringPlan& plan, const StringHooks& hooks, const PlanExpr& expr,
             std::string& s);

bool RunTerm(const TStringPlan& plan, const StringHooks& hooks, const PlanTerm& term,
             std::string& s);

}  // namespace

struct TStringPlan {
  std::string text;
  uint64_t version = 0;
  PlanExpr expr;
  std::vector<std::string> vars;
};

namespace {

// False when a numeric argument could not be evaluated at all (no numeric
// hooks): only pure steps ran, and the text is read instead.
bool RunExpr(const TStringPlan& plan, const StringHooks& hooks, const PlanExpr& expr,
             std::string& s) {
  s.clear();
  ExpressionNesting nesting(hooks.errorHook);
  if (expr.lone) {
    s = expr.terms.front().value;
    CheckTextLength(s.size());
    return true;
  }
  if (!RunTerm(plan, hooks, expr.terms.front(), s)) return false;
  CheckTextLength(s.size());
  std::string term;
  for (size_t k = 1; k < expr.terms.size(); ++k) {
    if (!RunTerm(plan, hooks, expr.terms[k], term)) return false;
    CheckTextLength(uint64_t(s.size()) + term.size());
    s += term;
  }
  return true;
}

bool RunTerm(const TStringPlan& plan, const StringHooks& hooks, const PlanTerm& term,
             std::string& s) {
  switch (term.kind) {
    case PlanTerm::Constant:
      s = term.value;
      return true;
    case PlanTerm::Variable:
      if (hooks.varGetter) hooks.varGetter(term.value, s);
      return true;
    case PlanTerm::Call:
      break;
  }
  FunctionCall& call = term.call;
  call.Index = term.rec->index;
  call.NumCount = call.StrCount = 0;
  const std::string_view all = plan.text;
  for (const PlanArg& arg : term.args) {
    if (arg.str) {
      if (!RunExpr(plan, hooks, *arg.str, call.Str[size_t(++call.StrCount)])) return false;
    } else {
      std::string_view v = all.substr(arg.numStart, arg.numLength);
      double x = 0;
      if (!RunSimpleNumeric(arg.num, v, x)) return false;
      call.Num[size_t(++call.NumCount)] = x;
    }
  }
  call.Count = call.NumCount + call.StrCount;
  call.RawText = all.substr(term.rawStart, term.rawLength);
  s.clear();
  term.rec->handler(call, s);
  return true;
}

}  // namespace

std::shared_ptr<const TStringPlan> PlanStringExpression(std::string_view text) {
  const StringHooks* hooks = Hooks().Active();
  if (!hooks || !hooks->errorHook) return nullptr;
  auto plan = std::make_shared<TStringPlan>();
  plan->text = std::string(text);
  plan->version = Registry().Version();
  std::string_view view = plan->text;
  Planner planner(*hooks, plan->text, plan->vars);
  if (!planner.Expr(view, plan->expr) || !TrimView(view).empty()) return nullptr;
  return plan;
}

const std::vector<std::string>& PlanVariables(const TStringPlan& plan) { return plan.vars; }

bool RunStringPlan(const TStringPlan& plan, HookOwner owner, std::string& s) {
  const StringHooks* hooks = Hooks().Active();
  if (!hooks || !hooks->errorHook || hooks->owner != owner ||
      plan.version != Registry().Version())
    return false;
  return RunExpr(plan, *hooks, plan.expr, s);
}

bool SplitParenArgs(std::string_view& text, std::string_view& inner, bool removeGroup) {
  text = TrimView(text);
  if (!text.starts_with('(')) return false;
  // Only quotes and brackets matter; the rest is passed over quickly.
  static constexpr std::array<bool, 256> kMarks = [] {
    std::array<bool, 256> marks{};
    for (const char c : std::string_view("\"'()")) marks[static_cast<unsigned char>(c)] = true;
    return marks;
  }();
  int depth = 1;
  size_t i = 1;
  while (i < text.size() && depth > 0) {
    char c = text[i];
    if (!kMarks[static_cast<unsigned char>(c)]) {
      ++i;
      continue;
    }
    if (c == '"' || c == '\'') {
      size_t close = text.find(c, i + 1);
      if (close == std::string_view::npos) return false;
      i = close + 1;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')') --depth;
    ++i;
  }
  if (depth != 0) return false;
  // Both brackets are in: 2 <= i <= size.
  inner = TrimView(std::string_view(text.data() + 1, i - 2));
  if (removeGroup) text = TrimView(std::string_view(text.data() + i, text.size() - i));
  return true;
}

bool SplitParenArgs(std::string& text, std::string& inner, bool removeGroup) {
  std::string_view view(text), in;
  bool result = SplitParenArgs(view, in, removeGroup);
  if (result) inner = std::string(in);
  text = std::string(view);
  return result;
}

bool RegexMatch(std::string_view text, std::string_view pattern) {
  TPerlre re(true, 0);
  return re.Match(pattern, std::string(text));
}

std::string StrExtract(std::string_view pattern, std::string_view text) {
  TPerlre re(true, 0);
  return re.Match(pattern, std::string(text)) ? re.GroupText(0) : std::string();
}

std::string StrReplaceRegex(std::string_view text, std::string_view pattern, std::string_view replacement) {
  if (text.empty()) return {};
  TPerlre re(true, 0);
  re.SetRegex(pattern);
  re.SetSubject(std::string(text));
  std::string out;
  size_t last = 0;
  // Each search goes on from the end of the last match; an empty match is
  // never found twice at one place, so the loop ends.
  while (re.FindNext()) {
    size_t start = re.GroupStart(0);
    size_t end = re.MatchBase() + size_t(std::max(re.OffsetVector()[1], 0));
    if (start == std::string::npos || start < last) break;
    CheckTextLength(uint64_t(out.size()) + (start - last) + replacement.size());
    out.append(text.substr(last, start - last));
    out.append(replacement);
    last = std::max(start, end);
  }
  out.append(text.substr(std::min(last, text.size())));
  return out;
}

std::string WordWrapText(std::string_view text, std::string_view prefix, int64_t width) {
  std::string out;
  out.reserve(text.size());
  int64_t col = 0;
  size_t lastBlank = 0;      // 1-based position of the last blank of the line, 0 for none
  size_t outAtBlank = 0;     // length of the output before that blank
  const int64_t breakLength = 2 + int64_t(prefix.size());
  for (size_t i = 1; i <= text.size(); ++i) {
    char c = text[i - 1];
    if (c == '\n') {
      lastBlank = 0;
      CheckTextLength(uint64_t(out.size()) + 1 + prefix.size());
      out += '\n';
      out += prefix;
      col = 1 + int64_t(prefix.size());
      continue;
    }
    if (c == '\r') {
      lastBlank = 0;
      col = 0;
    } else {
      if (c == ' ') {
        lastBlank = i;
        outAtBlank = out.size();
      }
      ++col;
    }
    if (col > width && lastBlank >= 1) {
      CheckTextLength(uint64_t(out.size()) + uint64_t(breakLength) + (i - lastBlank));
      if (lastBlank == i) {
        if (i == text.size()) {
          out += c;
          col = 0;
        } else {
          (out += "\r\n") += prefix;
          col = breakLength;
        }
      } else {
        out.resize(outAtBlank);
        (out += "\r\n") += prefix;
        out.append(text.substr(lastBlank, i - lastBlank));
        col = breakLength + int64_t(i - lastBlank);
      }
      lastBlank = 0;
      continue;
    }
    out += c;
  }
  return out;
}

std::string FormatGeneral(double x, int precision) {
  if (!std::isfinite(x)) return NonFinite(x);
  if (x == 0) return "0";
  precision = std::clamp(precision, 1, 15);
  // A whole number of at most Precision digits reads as itself; loop counters
  // are formatted at every pass.
  static constexpr double kLimits[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (std::fabs(x) < kLimits[precision] && x == std::trunc(x)) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, int64_t(x));
    return std::string(buf, r.ptr);
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, precision - 1);
  std::string_view sci(buf, size_t(r.ptr - buf));
  bool negative = sci.front() == '-';
  if (negative) sci.remove_prefix(1);
  size_t e = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e))
    if (c != '.') digits += c;
  int exponent = 0;
  std::string_view expText = sci.substr(e + 1);
  if (expText.starts_with('+')) expText.remove_prefix(1);
  std::from_chars(expText.data(), expText.data() + expText.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent < precision && exponent >= -5) {
    if (exponent >= 0) {
      size_t intDigits = size_t(exponent) + 1;
      if (digits.size() <= intDigits) {
        out += digits;
        out.append(intDigits - digits.size(), '0');
      } else {
        out.append(digits, 0, intDigits);
        out += '.';
        out.append(digits, intDigits);
      }
    } else {
      out += "0.";
      out.append(size_t(-exponent - 1), '0');
      out += digits;
    }
  } else {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'E';
    out += IntToStr(exponent);
  }
  return out;
}

std::string NumberToStr(double x) { return FormatGeneral(x, 15); }

void NumberToStr(double x, std::string& out) {
  if (x != 0 && std::fabs(x) < 1e15 && x == std::trunc(x)) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, int64_t(x));
    out.clear();  // then appended: cheaper than a general assignment
    out.append(buf, r.ptr);
    return;
  }
  out = FormatGeneral(x, 15);
}

bool TryParseDecimal(std::string_view s, double& value) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  size_t mantissaStart = i, intDigits = 0, fracDigits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++intDigits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++fracDigits;
  }
  if (intDigits + fracDigits == 0) return false;
  size_t mantissaEnd = i;
  int64_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
    size_t expStart = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
      ++i;
    }
    if (i == expStart) return false;
    if (expNegative) exponent = -exponent;
  }
  if (i != s.size()) return false;

  std::string_view body = s.substr(mantissaStart, s.size() - mantissaStart);
  double v = 0;
  auto r = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Tell overflow from underflow by the decimal exponent of the first non-zero digit.
    std::string_view mant = s.substr(mantissaStart, mantissaEnd - mantissaStart);
    size_t firstNonZero = mant.find_first_not_of("0.");
    if (firstNonZero == std::string_view::npos) {
      v = 0;
    } else {
      size_t point = mant.find('.');
      if (point == std::string_view::npos) point = mant.size();
      int64_t magnitude = firstNonZero < point ? int64_t(point - firstNonZero) - 1 : -int64_t(firstNonZero - point);
      if (magnitude + exponent > 0) return false;
      v = 0;
    }
  } else if (r.ec != std::errc() || r.ptr != body.data() + body.size()) {
    return false;
  }
  value = negative ? -v : v;
  return true;
}

double StrToNumber(std::string_view s) {
  std::string_view t = s;
  while (t.starts_with(' ')) t.remove_prefix(1);
  while (t.ends_with(' ')) t.remove_suffix(1);
  double v = 0;
  if (!TryParseDecimal(t, v))
    throw EConvertError("'" + std::string(s) + FromUtf8("' ist kein gültiger Gleitkommawert"));
  return v;
}

std::string RTrimBlanks(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

std::string LTrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return std::string(s);
}

void SetScriptTextLimit(size_t limit) { gTextLimit = limit; }
size_t ScriptTextLimit() { return gTextLimit; }

std::string ScriptLowerCase(std::string_view s) { return ChangeCase(s, false); }
std::string ScriptUpperCase(std::string_view s) { return ChangeCase(s, true); }

std::string DosToWin(std::string_view s) { return MapHighBytes(s, kDosToWin); }
std::string WinToDos(std::string_view s) { return MapHighBytes(s, kWinToDos); }

TScriptDateTime NowScriptDateTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  TScriptDateTime dt;
  dt.Year = local.tm_year + 1900;
  dt.Month = local.tm_mon + 1;
  dt.Day = local.tm_mday;
  dt.Hour = local.tm_hour;
  dt.Minute = local.tm_min;
  dt.Second = std::min(local.tm_sec, 59);
  dt.Millisecond = int(ts.tv_nsec / 1000000);
  return dt;
}

std::string FormatScriptDateTime(std::string_view format, const TScriptDateTime& dateTime) {
  DateFormatter f(dateTime, Locale());
  f.Format(format.empty() ? std::string_view("C") : format);
  return f.Result();
}
