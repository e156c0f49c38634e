// The text work behind the automatic header corrections: answer designators
// and "(was:" remainders in subjects, References shortening and folding, the
// address form of From and Reply-To, the envelope recipients of an outgoing
// mail, header sorting and the two repairs of Outlook Express damage.
//
// Everything here works on plain strings or on a header list, so the script
// object's corrections stay thin and the rules can be tested line by line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TCharsets;
class TCharsetStringlist;
class THeader;
class TVQEinstellungen;

// ---------------------------------------------------------------------------
// Subject. T is the subject text after "Subject: ", decoded. Each returns
// whether its rule applied.

// Leading answer designators ("Re", or an entry of the comma list
// ConvertToRe, each followed by ": ") reduced to one "Re: ". A comma before
// the first ": " stops the scan.
bool RemoveAnswerDesignators(std::string& t, std::string_view convertToRe);
// "Re: new (was: old)" becomes "Re: new".
bool KillWasAfterRe(std::string& t);
// A new thread's subject with its 8-bit characters spelled in ASCII; a
// "(was: ...)" tail stays as written.
bool ReplaceSubject8Bits(std::string& t);

// ---------------------------------------------------------------------------
// References. Line is the whole stored line "References: ...".

// Cuts the first of Begins that stands right after the last "<" of the line.
std::string KillMessageIDBegin(const std::string& line, const std::vector<std::string>& begins);
// Drops message-IDs after the first until the IDs joined by blanks fit
// MaxLength, keeping the first and the last three. MaxLength <= 0: no limit.
std::string ShortenReferences(const std::string& line, int32_t maxLength);
// Continuation lines of at most 76 characters where the IDs allow; a line
// that is already folded is left alone.
std::string FoldReferences(const std::string& line);

// ---------------------------------------------------------------------------
// Addresses.

// The form Name <address> of a From or Reply-To value. False (and the value
// is to stay as it is) unless it holds exactly one address that parses
// cleanly: lists, groups and odd forms are never rewritten.
bool NormalizeSingleAddress(std::string_view value, std::string& result);
// Appends the bare addresses of an address field value, each in angle
// brackets; pieces without "@" are skipped.
void ExtractRecipients(std::string_view value, std::vector<std::string>& addresses);

// ---------------------------------------------------------------------------
// Operations on a header. Each returns whether the header changed.

// The per-line fixes of References, Subject, From and Reply-To by the
// profile's switches. Charsets decode and encode the lines.
bool FixHeaderLines(THeader& header, const TVQEinstellungen& settings, const TCharsets& charsets);
// Lines whose decoded text holds 8-bit characters, encoded again.
bool OptimizeHeaderEncoding(THeader& header, const TCharsets& charsets);
// Moves the fields of the comma list to the top, in list order.
bool SortHeaderFields(THeader& header, std::string_view list);
// Rebuilds the "!RCPT TO" lines from To, Cc and Bcc, then deletes the Bcc
// lines. Without Always nothing happens unless both envelope fields exist.
bool RecreateRcptToLines(THeader& header, bool always);
// Every line stored decoded, with "X-CopyIf-Converted-Headers" naming them.
bool ConvertHeaderLinesTo8Bit(THeader& header, const TCharsets& charsets);
// "XX: " put before a subject whose short designator Outlook Express would
// take for an answer prefix.
bool FixOEKillFalseReSubject(THeader& header, const TCharsets& charsets);

// Header lines typed at the top of a text body (with AllowX lines "X-...",
// with AllowAny lines "@Name: value") move into HList; then leading empty
// lines of the body go, one line always staying.
void TakeHeadersFromBody(TCharsetStringlist& body, bool allowX, bool allowAny, THeader& hlist);
