// The text work behind the body corrections: quote prefixes and the columns
// of the lines that follow them, protected regions, empty lines at the end,
// trailing blanks, and the repairs of Outlook Express damage (quote lines
// broken by its word wrap, "begin" lines with a doubled blank).
//
// Lists are body or signature lists; their lines are read and written in the
// internal charset, and a line is written back only when its text changed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "uperlre.h"

class TCharsetStringlist;
class TVQEinstellungen;

// The profile's quote settings.
struct TQuoteOptions {
  bool CheckQuotes = true;
  std::string AllowedQuoteChars = ">|";
  bool AddSpaceBetweenQuoteAndText = true;
  bool AddSpaceBetweenDifferentQuoteChars = true;
  // Regular expressions, matched anywhere in a line without regard to case.
  std::string DoNotChangeBegin = "-----BEGIN PGP*";
  std::string DoNotChangeEnd = "-----END PGP*";
  // Removed from the start of every line that begins with it.
  std::string DelAtBegin;
  // Characters are UTF-8 sequences (else single bytes).
  bool Utf8 = false;

  static TQuoteOptions FromProfile(const TVQEinstellungen& settings);
};

// The quote correction of one body: the state carries from line to line.
class TQuoteChecker {
public:
  explicit TQuoteChecker(TQuoteOptions options);

  // Inside a region opened by DoNotChangeBegin and not yet closed.
  bool Protected = false;
  // Columns by which the last corrected quote line moved its text to the
  // right (negative: to the left); an indented line after it follows.
  int64_t Shift = 0;

  // One line piece (no CR LF in it), corrected in place; true when its text
  // changed.
  bool CheckQuoteLine(std::string& piece);
  // A body line: its CR LF pieces each corrected; true when its text changed.
  bool CheckLine(std::string& line);

private:
  bool Matches(TPerlre& re, std::string_view pattern, std::string_view text);
  size_t CharLength(std::string_view s, size_t i) const;
  bool IsQuoteChar(std::string_view c) const;

  TQuoteOptions options_;
  // The allowed quote bytes, when characters are single bytes.
  std::array<bool, 256> quoteByte_{};
  TPerlre begin_, end_;
  // The corrected text of a quote line is built here, so that lines do not
  // each allocate one.
  std::string scratch_;
};

// Every line of Body corrected by a fresh TQuoteChecker; true when one changed.
bool CheckBodyLines(TCharsetStringlist& body, const TQuoteOptions& options);

// Empty lines at the end of the body go (one line stays), then those at the
// end of the signature (which may become empty); Sig may be null.
bool DeleteEmptyLinesAtEnd(TCharsetStringlist& body, TCharsetStringlist* sig);

// Trailing blanks (not tabs) removed, unless the line ends with "-- ".
bool RTrimLineKeepSigDelimiter(std::string& line);
bool DeleteBlanksAtEndOfLines(TCharsetStringlist& lines);

// -1 for an empty line or one of only ">", blanks and tabs; 0 when the first
// character is not ">"; otherwise the number of ">" before the text.
int QuoteLevel(std::string_view line);
// Quoted lines that Outlook Express broke by its word wrap joined with their
// short unquoted tail.
bool RepairOEQuoteLines(TCharsetStringlist& body);

// "begin  644 name" (two blanks, then a letter or digit) loses one blank.
bool HasOEBeginBug(TCharsetStringlist& lines);
