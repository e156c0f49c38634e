// The script object's body corrections on the current MIME part: thin members
// over the rules of uBodyFix.
#include "SysUtils.h"
#include "uArtikel.h"
#include "uBodyFix.h"
#include "uEinstellungen.h"
#include "uMIMEInfo.h"
#include "uVQSkript.h"

void TVQSkript::CheckBody() {
  if (LowerCase(Trim(Article->Header.GetField("X-Check-Body", true))) == "false") return;
  TMIMEPart* part = CurrentPart();
  if (!part) return;
  CheckBodyLines(part->Body(), TQuoteOptions::FromProfile(*Settings));
}

void TVQSkript::DeleteEmptyLinesAtEnd() {
  TMIMEPart* part = CurrentPart();
  if (!part) return;
  // The body is parsed first: only then does the part know its signature.
  TBody& body = part->Body();
  ::DeleteEmptyLinesAtEnd(body, part->HasSignature() ? &part->Sig() : nullptr);
}

void TVQSkript::DeleteBlanksAtEndOfLines() {
  TMIMEPart* part = CurrentPart();
  if (!part) return;
  const uint8_t cls = part->GetMIMEInfo().ContentClass;
  if (cls != ccTextPlain && cls != ccTextHtml && cls != ccText) return;
  ::DeleteBlanksAtEndOfLines(part->Body());
  ::DeleteBlanksAtEndOfLines(part->Sig());
}

void TVQSkript::RepairOEQuotings() {
  if (TMIMEPart* part = CurrentPart()) RepairOEQuoteLines(part->Body());
}

void TVQSkript::FixOEBeginBug() {
  TMIMEPart* part = CurrentPart();
  if (!part) return;
  const bool body = HasOEBeginBug(part->Body());
  const bool sig = HasOEBeginBug(part->Sig());
  if (body || sig) Article->Header.AddRaw("X-CopyIf-OE-Begin-Bug: Fixed!");
}
