#include "uMIMEInfo.h"

#include <algorithm>

#include "SysUtils.h"

const char* const MIMEEncodingNames[6] = {"", "7bit", "8bit", "quoted-printable", "Base64", ""};

namespace {

constexpr std::string_view kValueEnd = " \t\r\n;";

// Where the value of parameter Name begins (after leading line breaks and
// blanks), npos when the parameter is absent.
size_t ValueStart(std::string_view value, std::string_view nameWithEquals) {
  // The first place where the lower-cased value holds the name.
  auto same = [](char v, char n) { return ((v >= 'A' && v <= 'Z') ? char(v + 32) : v) == n; };
  const auto found =
      std::search(value.begin(), value.end(), nameWithEquals.begin(), nameWithEquals.end(), same);
  if (found == value.end() && !nameWithEquals.empty()) return std::string_view::npos;
  size_t pos = size_t(found - value.begin());
  pos += nameWithEquals.size();
  while (pos < value.size() && std::string_view(" \t\r\n").find(value[pos]) != std::string_view::npos)
    ++pos;
  return pos;
}

// End of the value that starts at Start: the closing quote of a quoted value
// (the end when there is none), else the first blank, TAB, line break or ";".
size_t ValueEnd(std::string_view value, size_t start) {
  if (start < value.size() && value[start] == '"') {
    size_t close = value.find('"', start + 1);
    return close == std::string_view::npos ? value.size() : close;
  }
  size_t end = value.find_first_of(kValueEnd, start);
  return end == std::string_view::npos ? value.size() : end;
}

}  // namespace

std::string MIMEParameter(std::string_view value, std::string_view nameWithEquals) {
  size_t start = ValueStart(value, nameWithEquals);
  if (start == std::string_view::npos) return {};
  size_t end = ValueEnd(value, start);
  if (start < value.size() && value[start] == '"') ++start;
  return std::string(value.substr(start, end - start));
}

std::string ReplaceCharsetParameter(std::string_view contentType, std::string_view charset) {
  std::string ct(contentType);
  size_t start = ValueStart(ct, "charset=");
  if (start == std::string::npos) return ct + "; charset=" + std::string(charset);
  size_t end = ValueEnd(ct, start);
  if (start < ct.size() && ct[start] == '"') ++start;  // the quotes stay
  return ct.replace(start, end - start, charset);
}

TMIMEInfo AnalyseMIMEFields(bool isArticle, std::string_view mimeVersion,
                            std::string_view contentType, std::string_view transferEncoding,
                            std::string_view disposition) {
  TMIMEInfo info;
  info.HasMIME = !isArticle || !TrimmedView(mimeVersion).empty();
  std::string_view ct, cte, cd;
  if (info.HasMIME) {
    ct = contentType;
    cte = TrimmedView(transferEncoding);
    cd = disposition;
  } else {
    ct = "text/plain; charset=us-ascii";
    cte = "7-bit";
  }

  // Names are compared without regard to (ASCII) case.
  info.Encoding = me7Bit;
  if (!cte.empty()) {
    info.Encoding = meOther;
    for (uint8_t e = me7Bit; e <= meBase64; ++e)
      if (SameText(cte, MIMEEncodingNames[e])) {
        info.Encoding = e;
        break;
      }
  }

  const std::string_view type = TrimmedView(ct);
  if (type.empty()) info.ContentClass = ccTextPlain;
  else if (StartsText("text/plain", type)) info.ContentClass = ccTextPlain;
  else if (StartsText("text/html", type)) info.ContentClass = ccTextHtml;
  else if (StartsText("text/", type)) info.ContentClass = ccText;
  else if (StartsText("application/", type)) info.ContentClass = ccApplication;
  else if (StartsText("audio/", type)) info.ContentClass = ccAudio;
  else if (StartsText("image/", type)) info.ContentClass = ccImage;
  else if (StartsText("video/", type)) info.ContentClass = ccVideo;
  else info.ContentClass = ccOther;

  info.Boundary = MIMEParameter(ct, "boundary=");
  info.Multipart = !isArticle || !info.Boundary.empty();
  info.Charset = LowerCase(MIMEParameter(ct, "charset="));
  info.FileName = LowerCase(MIMEParameter(cd, "filename="));
  return info;
}
