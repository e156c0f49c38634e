// The script object's operations on the current MIME part as a whole: an HTML
// part turned into plain text with a copy of the HTML kept on disk, the body
// charset, and the transfer encoding.
#include <sys/stat.h>

#include <string>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uCharsets.h"
#include "uEinstellungen.h"
#include "uHeaderCoding.h"
#include "uHtml2Text.h"
#include "uMIMEInfo.h"
#include "uTools.h"
#include "uTransla.h"
#include "uVQSkript.h"

namespace {

// Replaces From in the raw value of the first field Name, at the value's start
// or (Anywhere) at its first occurrence found without regard to case. The
// stored line is edited as it stands, folds and all.
void ReplaceInRawField(THeader& header, std::string_view name, std::string_view from,
                       std::string_view to, bool anywhere) {
  const int index = header.IndexOfField(name);
  if (index < 0) return;
  std::string line = header[index];
  const size_t valueStart = line.size() - header.GetFieldAt(index, true).size();
  size_t at;
  if (anywhere)
    at = LowerCase(line).find(LowerCase(from), valueStart);
  else
    at = line.compare(valueStart, from.size(), from) == 0 ? valueStart : std::string::npos;
  if (at == std::string::npos) return;
  line.replace(at, from.size(), to);
  header.Put(index, line);
}

}  // namespace

// ---------------------------------------------------------------------------
// HTML parts

void TVQSkript::ConvertHtmlToText() {
  TMIMEPart* part = CurrentPart();
  if (part == nullptr || part->GetMIMEInfo().ContentClass != ccTextHtml) return;
  TBody& body = part->Body();
  const std::string html = body.GetInternalText();

  const std::string pattern = NativePath(
      Settings->SaveHTMLAs.empty() ? kDefaultHtmlCopies : std::string_view(Settings->SaveHTMLAs));
  const std::string folder = ExtractFilePath(pattern);
  // One level only; a folder that cannot be made shows when the copy fails.
  // Another user's link on the way raises before anything is made behind it.
  if (!folder.empty() && !DirectoryExists(folder)) mkdir(ResolveLinks(folder).c_str(), 0777);
  std::string copy;
  SaveToUniqueFile(folder, ExtractFileName(pattern), html, copy, 2);
  if (copy.empty()) return;

  // The path is absolute already; the URL has one "/" after the host.
  std::string_view path = copy;
  if (!path.empty() && path.front() == '/') path.remove_prefix(1);
  const std::string note = "Original: <file://localhost/" + FileUrlEncode(path) + ">";

  const std::string text = HtmlToText(html);
  if (text.size() == html.size() || Trim(text).empty()) return;
  body.SetInternalText(
      TranslateFmt("HTML2Text.Info",
                   "============================================================================^m"
                   "===  Ergebnis der automatischen HTML=>Text-Wandlung von Tidelarn^m"
                   "===  %s^m"
                   "============================================================================",
                   {note}) +
      "\r\n\r\n\r\n" + text);

  THeader* header = &Article->Header;
  if (Article->Parts.IsSplit()) {
    // The plain text no longer stands in for the other parts.
    ReplaceInRawField(Article->Header, "Content-Type", "multipart/alternative", "multipart/mixed",
                      false);
    header = &part->Header();
  }
  ReplaceInRawField(*header, "Content-Type", "text/html", "text/plain", true);
  header->SetField("Content-Disposition", "");
  part->UpdateMIMEInfo();
}

// ---------------------------------------------------------------------------
// Charset and transfer encoding

void TVQSkript::SetMinBodyCharset() {
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  const TMIMEInfo info = part->GetMIMEInfo();
  // Re-storing the body of anything but text would corrupt it.
  if (info.ContentClass != ccTextPlain && info.ContentClass != ccText) return;
  const TBody& body = part->Body();
  // Fetching the signature must not forget that a delimiter was seen.
  const bool sigFound = part->SigFound;
  const TSig& sig = part->Sig();
  part->SigFound = sigFound;
  const TCSInfo& best = BodyCharsets->BestCharset(body.GetInternalText() + sig.GetInternalText());
  if (!best.MimeName.empty() && !SameText(best.MimeName, info.Charset))
    part->SetCharset(best.MimeName);
}

void TVQSkript::SetPartEncoding(uint8_t code) {
  if (code < me7Bit || code > meBase64) return;
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  if (code != part->GetMIMEInfo().Encoding) part->SetTransferEncoding(code);
  if (code != me7Bit) return;
  // Intro and appended lines join the body later and must fit 7 bits too.
  if (HasIntro()) {
    TChangedStringlist* intro = GetIntro();
    const std::string text = intro->GetAllText();
    const std::string ascii = TransliterateToAscii(text);
    if (ascii != text) intro->SetAllText(ascii);
  }
  const std::string lines = JoinLines(LinesToAppend);
  const std::string ascii = TransliterateToAscii(lines);
  if (ascii != lines) LinesToAppend = SplitLines(ascii);
}
