// Base of the whole engine: Delphi-style 1-based string helpers, the exception
// classes and checked integer arithmetic.
//
// Texts are byte strings (std::string) in the internal charset. Every helper
// here treats them as bytes; the character-counting variants for a UTF-8
// internal charset are the string hooks of the general tools.
//
// The string helpers never throw on positions out of range: like their Delphi
// models they clamp, so callers may pass whatever a script computed.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------
// Exceptions

// A failure with its (already translated) message.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

private:
  std::string message_;
};

// The silent abort: unwinds to whoever is waiting for it without any message.
class EAbort : public Exception {
public:
  EAbort() : Exception("Operation aborted") {}
};

// Integer arithmetic left its range ("Integerüberlauf").
class EIntOverflow : public Exception {
public:
  EIntOverflow();
};

// An index or a conversion left its valid range ("Fehler bei Bereichsprüfung").
class ERangeError : public Exception {
public:
  ERangeError();
};

// A text that should be a number is not one.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// A file could not be read or written.
class EInOutError : public Exception {
public:
  using Exception::Exception;
};

// Raises the silent abort.
[[noreturn]] void Abort();

// ---------------------------------------------------------------------------
// Checked arithmetic on 32-bit script integers (Delphi's Integer).

int32_t CheckedAdd(int32_t a, int32_t b);
int32_t CheckedSub(int32_t a, int32_t b);
int32_t CheckedMul(int32_t a, int32_t b);
int64_t CheckedAdd64(int64_t a, int64_t b);
int64_t CheckedSub64(int64_t a, int64_t b);
int64_t CheckedMul64(int64_t a, int64_t b);
// Narrows a 64-bit value to 32 bits; out of range raises ERangeError.
int32_t CheckedInt32(int64_t v);
// Truncates (Trunc) or rounds half away from zero (Round) a double; NaN,
// infinities and values outside the target range raise ERangeError.
int32_t CheckedTrunc(double v);
int32_t CheckedRound(double v);
int64_t CheckedTrunc64(double v);
int64_t CheckedRound64(double v);
// Checked 1-based index into a text: raises ERangeError when Index is not in 1..Length.
char CharAt(std::string_view s, int64_t index);

// ---------------------------------------------------------------------------
// 1-based string helpers (bytes). Out-of-range positions are clamped.

// Count bytes from Index on (Index < 1 counts from 1).
std::string Copy(std::string_view s, int64_t index, int64_t count);
// Everything from Index to the end.
std::string CopyFrom(std::string_view s, int64_t index);
// 1-based position of Sub in S, 0 when absent or Sub is empty.
int Pos(std::string_view sub, std::string_view s);
int PosEx(std::string_view sub, std::string_view s, int64_t offset);
// Last occurrence, 0 when absent.
int LastPos(std::string_view sub, std::string_view s);
void Delete(std::string& s, int64_t index, int64_t count);
void Insert(std::string_view source, std::string& s, int64_t index);

// White space here means any byte <= ' ' (Delphi's Trim), control bytes included.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// Trim without a copy: the trimmed stretch of S.
std::string_view TrimmedView(std::string_view s);

// ASCII-only case mapping, as Delphi's UpperCase/LowerCase.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
char UpCase(char c);
bool SameText(std::string_view a, std::string_view b);
// <0, 0, >0 after ASCII upper-casing.
int CompareText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);
bool EndsText(std::string_view suffix, std::string_view s);
bool StartsStr(std::string_view prefix, std::string_view s);
bool EndsStr(std::string_view suffix, std::string_view s);

std::string StringOfChar(char c, int64_t count);
// Replaces every occurrence (or only the first); IgnoreCase compares ASCII case-insensitively.
std::string StringReplace(std::string_view s, std::string_view from, std::string_view to,
                          bool all = true, bool ignoreCase = false);

// ---------------------------------------------------------------------------
// Numbers as text. Always "." as decimal separator, whatever the locale.

std::string IntToStr(int64_t v);
// Delphi's StrToInt: optional blanks are NOT allowed, an optional sign, decimal
// digits or "$" hex. Raises EConvertError "'x' ist kein gültiger Integerwert".
int32_t StrToInt(std::string_view s);
int32_t StrToIntDef(std::string_view s, int32_t def);
bool TryStrToInt(std::string_view s, int32_t& out);
bool TryStrToInt64(std::string_view s, int64_t& out);
// Floats with "." only; accepts an exponent. No locale, no strtod.
bool TryStrToFloat(std::string_view s, double& out);
double StrToFloat(std::string_view s);
// Shortest text that reads back as the same value, "." as separator.
std::string FloatToStr(double v);

// ---------------------------------------------------------------------------
// Line lists.

// Splits at CR LF, LF or CR; a final line break adds no empty line (TStringList.Text).
std::vector<std::string> SplitLines(std::string_view text);
// The same lines as views into Text.
std::vector<std::string_view> SplitLineViews(std::string_view text);
// Joins with the given line end after every line (TStringList.Text adds one after the last too).
std::string JoinLines(const std::vector<std::string>& lines, std::string_view eol = "\r\n");
std::string JoinLineViews(const std::vector<std::string_view>& lines, std::string_view eol = "\r\n");

// The local time now as strftime writes it with Format (numeric fields only:
// names of days and months would depend on the locale).
std::string LocalTimeText(const char* format);

// ---------------------------------------------------------------------------
// Texts written in the source (UTF-8) and texts leaving the process.

// Converts a UTF-8 text of the source (German defaults) to the internal charset.
std::string FromUtf8(std::string_view utf8);
// Converts an internal-charset text to UTF-8 (for a terminal).
std::string ToUtf8(std::string_view internal);

// windows-1252 bytes as UTF-8 (files shipped in that charset, such as the
// translations).
std::string Windows1252ToUtf8(std::string_view cp1252);

// The code point of a windows-1252 byte; an unassigned one stands for itself.
uint32_t Cp1252ToUnicode(unsigned char b);
// The windows-1252 byte of a code point, 0 when it has none.
int UnicodeToCp1252(uint32_t cp);
// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t cp);

// The charset tables install the real conversions once they are loaded; until
// then windows-1252 is assumed, the default internal charset.
using TextConverter = std::string (*)(std::string_view);
void SetInternalCharsetConverters(TextConverter fromUtf8, TextConverter toUtf8);
