// MIME facts of a message or part header: whether it is MIME, multipart and
// with which boundary, the content class, charset, transfer encoding and an
// attachment's file name; and the two writers that keep Content-Type,
// Content-Transfer-Encoding and MIME-Version consistent.
//
// The functions work on any header class with the field operations of
// `THeader`: GetField(Name, Raw, out Value) (or a GetField(Name, Raw) that
// returns the value), SetField(Name, Value) -> bool (an empty value deletes
// the first such field) and HasField(Name). Values are read raw.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

enum : uint8_t {
  meNone = 0,
  me7Bit = 1,
  me8Bit = 2,
  meQuotedPrintable = 3,
  meBase64 = 4,
  meOther = 5,
};

enum : uint8_t {
  ccOther = 0,
  ccTextPlain = 1,
  ccTextHtml = 2,
  ccText = 3,
  ccApplication = 4,
  ccAudio = 5,
  ccImage = 6,
  ccVideo = 7,
};

struct TMIMEInfo {
  bool HasMIME = false;
  bool Multipart = false;
  uint8_t Encoding = meNone;
  uint8_t ContentClass = ccOther;
  std::string FileName;  // lower-cased
  std::string Charset;   // lower-cased
  std::string Boundary;  // as written
};

// Transfer-encoding names indexed by TMIMEInfo::Encoding (entries 0 and 5 empty).
extern const char* const MIMEEncodingNames[6];

// The analysis from the raw field values; a field that is absent is empty.
TMIMEInfo AnalyseMIMEFields(bool isArticle, std::string_view mimeVersion,
                            std::string_view contentType, std::string_view transferEncoding,
                            std::string_view disposition);

// Parameter Name (lower-case, with its "=") of a field value: a quoted value up
// to its closing quote, else up to a blank, TAB, CR, LF or ";". Found
// case-insensitively; the value keeps its case. Empty when absent.
std::string MIMEParameter(std::string_view value, std::string_view nameWithEquals);

// Content-Type with its charset parameter replaced in place (a quoted value
// keeps its quotes) or appended.
std::string ReplaceCharsetParameter(std::string_view contentType, std::string_view charset);

namespace mime_detail {
template <class H>
std::string RawField(H& header, std::string_view name) {
  std::string value;
  if constexpr (requires { { header.GetField(name, true) } -> std::convertible_to<std::string>; }) {
    value = header.GetField(name, true);  // a header that takes the name as it is
  } else if constexpr (requires { header.GetField(std::string(name), true, value); }) {
    header.GetField(std::string(name), true, value);
  } else {
    value = header.GetField(std::string(name), true);
  }
  return value;
}
template <class H>
void RemoveField(H& header, std::string_view name) {
  // Removes every occurrence; each call deletes one line.
  while (header.HasField(std::string(name)) && header.SetField(std::string(name), std::string())) {
  }
}
}  // namespace mime_detail

template <class H>
TMIMEInfo AnalyseMIME(bool isArticle, H& header) {
  using mime_detail::RawField;
  return AnalyseMIMEFields(isArticle, RawField(header, "MIME-Version"),
                           RawField(header, "Content-Type"),
                           RawField(header, "Content-Transfer-Encoding"),
                           RawField(header, "Content-Disposition"));
}

// Writes Charset into Content-Type and adjusts Content-Transfer-Encoding and
// MIME-Version; a single-part plain-ASCII message loses its MIME fields.
// Returns whether the transfer encoding the header states changed: the caller
// must then mark the body changed so that it is written in the new encoding.
template <class H>
bool SetContentTypeCharset(bool isArticle, H& header, std::string_view charset) {
  using mime_detail::RawField;
  if (charset.empty()) return false;
  const uint8_t before = AnalyseMIME(isArticle, header).Encoding;
  if (isArticle && !header.HasField("MIME-Version")) header.SetField("MIME-Version", "1.0");
  const std::string cs(charset);
  if (header.HasField("Content-Type")) {
    std::string ct = RawField(header, "Content-Type");
    if (ct.empty()) ct = "text/plain";
    header.SetField("Content-Type", ReplaceCharsetParameter(ct, cs));
    std::string cte = RawField(header, "Content-Transfer-Encoding");
    for (char& c : cte) c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    const bool ascii = cs == "ascii" || cs == "us-ascii";
    if (!ascii && (cte == "7bit" || cte == "7-bit" || cte.empty()))
      header.SetField("Content-Transfer-Encoding", "8bit");
    else if (ascii && cte.empty())
      header.SetField("Content-Transfer-Encoding", "7bit");
  } else {
    header.SetField("Content-Type", "text/plain; charset=" + cs);
    if (!header.HasField("Content-Transfer-Encoding"))
      header.SetField("Content-Transfer-Encoding", "8bit");
  }
  const TMIMEInfo info = AnalyseMIME(isArticle, header);
  if (info.HasMIME && !info.Multipart && (info.Charset == "ascii" || info.Charset == "us-ascii") &&
      info.ContentClass == ccTextPlain) {
    mime_detail::RemoveField(header, "MIME-Version");
    mime_detail::RemoveField(header, "Content-Type");
    mime_detail::RemoveField(header, "Content-Transfer-Encoding");
  }
  return AnalyseMIME(isArticle, header).Encoding != before;
}

// Writes Content-Transfer-Encoding (and MIME-Version for a message header) for
// the encodings 8bit, quoted-printable and Base64; others write nothing.
// Returns whether the transfer encoding the header states changed (see above).
template <class H>
bool SetTransferEncodingHeader(bool isArticle, H& header, uint8_t encoding) {
  if (encoding != me8Bit && encoding != meQuotedPrintable && encoding != meBase64) return false;
  const uint8_t before = AnalyseMIME(isArticle, header).Encoding;
  if (isArticle) header.SetField("MIME-Version", "1.0");
  header.SetField("Content-Transfer-Encoding", MIMEEncodingNames[encoding]);
  return AnalyseMIME(isArticle, header).Encoding != before;
}
