// General tools of the engine: the internal charset and the character-counting
// string hooks, UTF-8 and byte primitives, starting a program and waiting for
// it, temporary and unique files, address splitting and joining, and small
// list and string tools.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "SysUtils.h"

class TIniFile;

// ---------------------------------------------------------------------------
// Internal charset and string hooks

// Reads Specials.ini [Charsets] Internal (program directory) and makes it the
// internal charset: an empty or unknown name stands for the first charset of
// charsets.dat. The string hooks then count UTF-8 characters when that charset
// is utf-8, bytes otherwise. Run once at start-up; it loads the charset tables
// and raises their exception when charsets.dat is missing. Until then the
// hooks count bytes.
void InitInternalCharset();
// The same with Specials.ini as the caller read it.
void InitInternalCharset(const TIniFile& specials);
// Sets the internal charset by name without reading Specials.ini.
void SetInternalCharset(std::string_view name);
// Name of the internal charset in the charset tables.
const std::string& InternalCharsetName();
bool InternalCharsetIsUtf8();

// Characters counted as UTF-8 characters when the internal charset is utf-8,
// as bytes otherwise. 1-based like their byte namesakes in SysUtils.h.
namespace hooks {
int Length(std::string_view s);
std::string Copy(std::string_view s, int64_t index, int64_t count);
double Ord(std::string_view s);
int Pos(std::string_view sub, std::string_view s);
}  // namespace hooks

// UTF-8 scanning takes the sequence length from the lead byte's high bits
// (1110: 3 bytes, 1111: 4 bytes, any other byte >= 128: 2 bytes) without
// validating; it stops at a NUL byte and drops a sequence cut by the end.
int Utf8Length(std::string_view s);
// Characters Index .. Index + Count - 1 (Index < 1 counts from 1).
std::string Utf8Copy(std::string_view s, int64_t index, int64_t count);
// Code of the first character; 0 for an empty text, a four-byte or broken
// sequence.
double Utf8Ord(std::string_view s);
// Character position of the first occurrence of Sub, 0 when absent.
int Utf8Pos(std::string_view sub, std::string_view s);

int ByteLength(std::string_view s);
std::string ByteCopy(std::string_view s, int64_t index, int64_t count);
double ByteOrd(std::string_view s);
int BytePos(std::string_view sub, std::string_view s);

// Pattern repeated to fill Width characters, the last repetition cut; empty for
// an empty pattern or a width below 1.
std::string FillPattern(std::string_view pattern, int64_t width);

// ---------------------------------------------------------------------------
// Programs and files

// Starts FileName (an existing file, else looked up on PATH) with Params split
// by the Windows command-line rules, in the program's own folder, and waits for
// it without a time limit. True when it started; the exit code is not examined.
// The show mode is accepted and ignored.
bool RunAndWait(std::string_view fileName, std::string_view params, uint16_t showCmd = 1);

// A new empty file "VQ-" + unique part + ".tmp" in the program directory (or
// the temporary folder when that is not writable); raises EWin32Error.
std::string MakeTempFileName();

// A failed system call, with the system's error code (errno here).
class EWin32Error : public Exception {
public:
  EWin32Error(std::string message, uint32_t errorCode)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  uint32_t ErrorCode;
};

// Raises EWin32Error for errno (or for Code).
[[noreturn]] void RaiseWin32Error();
[[noreturn]] void RaiseWin32Error(int code);

// Writes Text under Name in Dir (the program directory when empty) and returns
// the path in FileName. Name may come from a message: characters that cannot be
// in a file name and control bytes become "_", "", "." and ".." become
// "AutoSave_", and the name is cut to 200 bytes keeping its extension. A "*"
// (the last one) is replaced by the first free number 1, 2, ...; without one an
// existing file is left alone (Mode 0, FileName stays empty), saved beside
// under "name[n].ext" (Mode 2, or when the existing entry is no regular file)
// or replaced (any other Mode, through a temporary file and rename). Files are
// created exclusively and no link is ever followed. Raises EInOutError when the
// file system refuses.
void SaveToUniqueFile(std::string_view dir, std::string_view name, std::string_view text,
                      std::string& fileName, uint8_t mode);

// ---------------------------------------------------------------------------
// Addresses, lists and small string tools

// Splits "addr (Name)", "Name <addr>", "<addr>" or a bare address. ShortName is
// the text after the first comma of the name ("Last, First" gives First), else
// its first word. Empty parts fall back to the address.
void ParseAddress(std::string_view value, std::string& name, std::string& shortName,
                  std::string& address);
// "Name <addr>", the name quoted when it holds any of " . , < >.
std::string BuildAddress(std::string_view name, std::string_view address);

// Takes the first comma-separated item off List (both trimmed); More tells
// whether List held a comma.
void CutFirstItem(std::string& list, bool& more, std::string& item);

// Reduces signature blocks separated by "--" lines to block N (1-based), or to
// a block picked at random when N < 1.
void PickSignature(std::vector<std::string>& lines, int n);

// Trims S; when it begins with "-", "_", a digit or an ASCII letter, moves the
// longest such run into Name and returns true.
bool TakeLeadingName(std::string& s, std::string& name);

// Whether Word stands as a word in Line, compared without regard to case
// outside quotes, with ( ) [ ] counting as blanks. With DeleteUpTo, Line then
// loses everything up to the end of the word.
bool FindCommandLineWord(std::string& line, std::string_view word, bool deleteUpTo);

// Removes trailing CR LF pairs, leaving a text that is a single CR LF alone.
std::string StripTrailingCRLF(std::string_view s);

int Sign(double x);

// ---------------------------------------------------------------------------
// Box quotes

struct TBoxQuote;

// Frames Lines in the box-quote style: the first line becomes the top frame
// (with Title worked into it), the inner lines get the side pieces and the last
// line becomes the bottom frame; the number of lines stays. Box type 0 is open
// with the title at the left, 1 open with a centred title, 2 closed with tabs
// expanded to eight columns; other types leave the inner lines alone and use
// the top-left piece for both frame lines. An invalid style changes nothing.
// Widths count characters through the string hooks.
void DrawBoxQuote(const std::string& title, const TBoxQuote& style,
                  std::vector<std::string>& lines);
