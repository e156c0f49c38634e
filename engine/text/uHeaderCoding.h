// Text codecs of the message model: RFC 2047 encoded words in header values,
// the quoted-printable and base64 transfer encodings, charset conversion and
// transliteration to ASCII. All work on byte strings; charsets are named by
// name or alias and looked up in the shared charset table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "uCharsets.h"

// Value of two upper-case hex digits; any other character makes the pair 0.
uint8_t HexPairToByte(std::string_view two);
// Two upper-case hex digits.
std::string ByteToHex(uint8_t b);

// Text from FromCharset into ToCharset through 16-bit codes. Unknown names
// count as charset 0. Lossy tells whether a character had no place in
// ToCharset (or the text held a broken sequence).
void ConvertCharset(const TCharsets& charsets, std::string_view text, std::string_view fromCharset,
                    std::string& result, bool& lossy, std::string_view toCharset);

// The decoders convert the decoded bytes from FromCharset into the internal
// charset when FromCharset is not empty and then set Ok := not lossy; with an
// empty FromCharset they return the bytes and leave Ok alone.
void DecodeQuotedPrintable(const TCharsets& charsets, std::string_view text,
                           std::string_view fromCharset, std::string& result, bool& ok,
                           bool underscoreIsBlank);
// Lines of at most 76 characters with SoftBreaks; "=XX" is never split.
std::string EncodeQuotedPrintable(std::string_view text, bool softBreaks);
void DecodeBase64(const TCharsets& charsets, std::string_view text, std::string_view fromCharset,
                  std::string& result, bool& ok);
// Lines of 76 characters separated by CR LF.
std::string EncodeBase64(std::string_view text);

// The plain transfer decoders without charset conversion.
std::string DecodeQuotedPrintableBytes(std::string_view text, bool underscoreIsBlank);
std::string DecodeBase64Bytes(std::string_view text);

// Internal-charset text with every non-ASCII character replaced by an ASCII
// spelling ("ä" -> "ae", "€" -> "Euro", unknown ones -> "?").
std::string TransliterateToAscii(std::string_view text);

// Value with its encoded words decoded into the internal charset; folds are
// unfolded. Words of unknown charsets or that would lose characters stay as
// they are.
std::string DecodeHeader(const TCharsets& charsets, std::string_view value);

// Q-form spelling of one byte.
std::string QEncodeChar(uint8_t b);

// A header line "Name: value" (or a bare value) with its 8-bit text written as
// Q-form encoded words in the first allowed charset that holds the line.
// Address fields are encoded word by word; other fields as one phrase, folded
// into lines of at most 76 characters.
std::string EncodeHeader(const TCharsets& charsets, std::string_view line);
