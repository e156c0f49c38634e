// The script object's automatic header corrections: thin members over the
// rules of uHeaderFix, on the message header with the script's header charsets.
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uHeaderFix.h"
#include "uMIMEInfo.h"
#include "uVQSkript.h"

void TVQSkript::AutoFixHeaders() {
  FixSubjectAndReferences();
  if (Settings->CheckMIMEHeaders) OptimizeMIMEHeader();
  TakeBodyHeaders();
}

void TVQSkript::FixSubjectAndReferences() { FixHeaderLines(Article->Header, *Settings, *HeaderCharsets); }

void TVQSkript::OptimizeMIMEHeader() { OptimizeHeaderEncoding(Article->Header, *HeaderCharsets); }

void TVQSkript::TakeBodyHeaders() {
  for (int i = 0; i < Article->Parts.Count(); ++i) {
    TMIMEPart* part = Article->Parts.Items(i);
    if (part->GetMIMEInfo().ContentClass != ccTextPlain) continue;
    TakeHeadersFromBody(part->Body(), Settings->AllowXHeader, Settings->AllowAnyHeader, *HList);
  }
}

void TVQSkript::SortHeader(const std::string& list) { SortHeaderFields(Article->Header, list); }

void TVQSkript::RecreateRcptTo(bool always) { RecreateRcptToLines(Article->Header, always); }

void TVQSkript::ConvertHeaderTo8Bit() { ConvertHeaderLinesTo8Bit(Article->Header, *HeaderCharsets); }

void TVQSkript::FixOEKillFalseReBug() { FixOEKillFalseReSubject(Article->Header, *HeaderCharsets); }
