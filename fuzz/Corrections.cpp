// Messages arrive from anywhere: every automatic correction must take any
// message text without crashing or hanging. The first two bytes pick the
// profile's switches; the rest is the message file.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uCharsets.h"
#include "uEinstellungen.h"
#include "uKorrigiereArtikel.h"
#include "uTools.h"
#include "uVQSkript.h"

namespace {

class TQuietPrompter : public TPrompter {
public:
  int MessageBox(const std::string&, const std::string&, unsigned flags) override {
    return DefaultButton(flags);
  }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return false; }
};

void SetUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  LoadCharsetTablesOnce();
  // Files a run may write (the header order list) go to a folder of its own.
  UseScratchProgramDir("fuzz-corrections");
  static TQuietPrompter prompter;
  SetPrompter(&prompter);
}

void Configure(TVQEinstellungen& s, uint16_t bits) {
  auto bit = [&](int n) { return ((bits >> n) & 1) != 0; };
  s.AutoFunctions = true;
  s.CheckQuotes = true;
  s.CheckQuotesAllowedQuoteChars = bit(0) ? ">|" : ">:|#";
  s.CheckQuotesAddSpaceBetweenQuoteAndText = bit(1);
  s.CheckQuotesAddSpaceBetweenDifferentQuoteChars = bit(2);
  s.CheckQuotesDoNotChangeBegin = "-----BEGIN PGP*";
  s.CheckQuotesDoNotChangeEnd = "-----END PGP*";
  s.DelAtBegin = bit(3) ? "|" : "";
  s.DelDoubleRe = true;
  s.ConvertToRe = "AW,Antwort,Re^2";
  s.CheckSubjectKillWasAfterRe = bit(4);
  s.CheckReplaceSubject8Bits = bit(5);
  s.CheckFromReplyFormat = bit(6);
  s.KillMessageIDBegins = {"ID-"};
  s.MaxReferencesLength = bit(7) ? 60 : 0;
  s.FoldingReferences = bit(8);
  s.CheckMIMEHeaders = bit(9);
  s.AllowXHeader = true;
  s.AllowAnyHeader = bit(10);
  s.SortHeader = bit(11) ? "Newsgroups, Subject, !RCPT TO" : "";
  s.DeleteEmptyLines = true;
  s.RightTrimLines = bit(12);
  s.KillOEWordWraps = bit(13);
  s.BlankBeforeSig = bit(14);
  s.RecreateRCPT_To = true;
  s.RecreateRCPT_To_Always = bit(15);
  s.HamsterheaderFirst = true;
  s.BodyCharsets = "us-ascii,iso-8859-1,utf-8";
  s.HeaderCharsets = "us-ascii,iso-8859-1,utf-8";
}

std::string Correct(TVQEinstellungen& settings, const std::string& text) {
  TArtikel article(InternalCharsetName(), settings.BodyCharsets, settings.HeaderCharsets);
  article.LoadFromString(text);
  TVQSkript script("fuzz.msg", &article, &settings);
  KorrigiereArtikel(script, settings, article);
  return article.GetText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  if (size < 2) return 0;
  TVQEinstellungen settings;
  Configure(settings, uint16_t(data[0] | data[1] << 8));
  const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
  try {
    Correct(settings, text);
  } catch (const Exception&) {
    // Failures that leave a correction are the driver's to report.
  }
  return 0;
}
