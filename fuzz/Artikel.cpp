// Message files come from the network: any bytes must load, parse in every
// part, change and write back without a crash, a hang or a sanitizer report,
// and writing an unchanged message must be stable from the second round on.
//
// The first byte chooses the options (protected lines, a second signature
// delimiter, which changes to make); the rest is the message.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uCharsets.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  LoadCharsetTablesOnce();
  const uint8_t options = data[0];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  TArtikel art("windows-1252", "us-ascii,iso-8859-1,iso-8859-15,utf-8",
               "us-ascii,iso-8859-1,utf-8");
  art.SafeReg1 = options & 3;
  art.SafeReg2 = (options >> 2) & 3;
  if (options & 16) art.SigDelimiter = "___";

  // Unchanged: the second round gives what the first gave.
  art.LoadFromString(text);
  const std::string first = art.GetText();
  art.LoadFromString(first);
  Check(art.GetText() == first, "unchanged output is stable");

  // Every part parsed, read and rebuilt.
  art.LoadFromString(text);
  for (int i = 0; i < art.Parts.Count(); ++i) {
    TMIMEPart* part = art.Parts.Items(i);
    art.SetCurrentPart(i + 1);
    TMIMEInfo info = part->GetMIMEInfo();
    part->HasSignature();
    part->GetDecodedBody();
    TBody& body = part->Body();
    for (int j = 0; j < body.Count(); ++j) body.GetInternalLine(j);
    part->Sig().GetInternalText();
    if (options & 32) body.Add("added \xFC\x80");
    if (options & 64) part->SetTransferEncoding(uint8_t(1 + (i + options) % 4));
    if (options & 128) part->SetBestCharset();
    if (info.Multipart && (options & 1)) part->Header().SetField("X-Fuzz", "1");
  }
  art.SetLines = options & 8;
  const std::string changed = art.GetText();
  art.LoadFromString(changed);
  art.GetText();
  return 0;
}
