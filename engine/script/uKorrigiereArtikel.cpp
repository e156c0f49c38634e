#include "uKorrigiereArtikel.h"

#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "SysUtils.h"
#include "uArtikel.h"
#include "uDriver.h"
#include "uEinstellungen.h"
#include "uMIMEInfo.h"
#include "uTransla.h"
#include "uVQSkript.h"

namespace {

// The profile may change under a running script (Set Option reloads it), so
// every switch is read where it is used.

std::string TwoDigits(int v) { return std::string{char('0' + v / 10 % 10), char('0' + v % 10)}; }

void SetDateHeader(TVQEinstellungen& settings, TArtikel& article) {
  const bool set = settings.SetDateHeader == 2 ||
                   (settings.SetDateHeader == 1 && article.Header.IndexOfField("Date") < 0);
  if (set) article.Header.SetField("Date", FormatRfcDate(settings.GMT, std::time(nullptr)));
}

void AddSignatureFile(TVQSkript& script, const std::string& sigFile) {
  try {
    std::string line = "Set Sig from \"" + sigFile + "\"";
    script.InterpreteLine(line);
  } catch (const EInOutError&) {
    // Not missing but refused or unreadable: the message is not sent with it
    // or without it.
    throw;
  } catch (const std::exception&) {
    // The display ends with the silent abort; the part's steps go on.
    try {
      script.ShowScriptInfo(TranslateFmt("SigFileDoesntExists",
                                         "Achtung! Gewähltes Sigfile \"%s\" existiert nicht!",
                                         {sigFile}),
                            "");
    } catch (const EAbort&) {
    }
  }
}

// Steps may take lines away and put the same lines back (empty lines at the
// end, then the blank line before the signature). A list whose text ends up
// as it was must not count as changed, or an unchanged message would be
// written again, with a backup of itself.
class TChangeMarks {
public:
  explicit TChangeMarks(TMIMEPart& part) : part_(part) {
    Take(part.Body(), body_);
    Take(Signature(), sig_);
  }
  void Settle() {
    Settle(part_.Body(), body_);
    Settle(Signature(), sig_);
  }

private:
  // The lines one after the other in one text, and where each one ends: two
  // allocations rather than one for every line.
  struct TMark {
    bool changed = false;
    std::string text;
    std::vector<size_t> ends;
  };
  // Fetching the signature must not forget that a delimiter was seen.
  TSig& Signature() {
    const bool found = part_.SigFound;
    TSig& sig = part_.Sig();
    part_.SigFound = found;
    return sig;
  }
  static void Take(const TChangedStringlist& list, TMark& mark) {
    mark.changed = list.Changed;
    if (mark.changed) return;
    const int count = list.Count();
    size_t size = 0;
    for (int i = 0; i < count; ++i) size += list.Get(i).size();
    mark.text.reserve(size);
    mark.ends.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
      mark.text += list.Get(i);
      mark.ends.push_back(mark.text.size());
    }
  }
  static bool SameLines(const TChangedStringlist& list, const TMark& mark) {
    if (size_t(list.Count()) != mark.ends.size()) return false;
    const std::string_view text = mark.text;
    size_t from = 0;
    for (int i = 0; i < list.Count(); ++i) {
      const size_t end = mark.ends[size_t(i)];
      if (list.Get(i) != text.substr(from, end - from)) return false;
      from = end;
    }
    return true;
  }
  static void Settle(TChangedStringlist& list, const TMark& mark) {
    if (!mark.changed && list.Changed && SameLines(list, mark)) list.Changed = false;
  }

  TMIMEPart& part_;
  TMark body_, sig_;
};

// The steps of a text/plain part.
void CorrectTextPart(TVQSkript& script, TVQEinstellungen& settings, TArtikel& article) {
  if (settings.AutoFunctions) script.FootnoteLines.clear();
  script.InsertIntro();
  if (!settings.AutoFunctions) return;
  if (settings.ConvertFootnotes) script.ConvertFootnotes();
  if (settings.ConvertReFormats) script.ConvertReFormats();
  if (settings.ConvertOneLiners) script.ConvertOneLiners();
  script.CheckBody();
  if (settings.DeleteEmptyLines) script.DeleteEmptyLinesAtEnd();
  if (settings.RightTrimLines) script.DeleteBlanksAtEndOfLines();

  const uint8_t footnotePosition = Footnotes.Position;
  if (footnotePosition == 0 && !script.FootnoteLines.empty()) script.AppendFootnotes();
  if (!script.LinesToAppend.empty()) script.AppendLines();
  if (footnotePosition == 1 && !script.FootnoteLines.empty()) script.AppendFootnotes();

  if (!settings.SigFile.empty()) {
    TMIMEPart* part = article.CurrentPart();
    part->Body();  // the part knows its signature once the body is parsed
    if (!part->HasSignature()) AddSignatureFile(script, settings.SigFile);
  }
  if (settings.ConvertBoxQuotes)
    for (int style = 1; style <= 9; ++style) script.ConvertBoxQuotes(style);
  if (settings.KillOEWordWraps) script.RepairOEQuotings();
  if (settings.MinBodyCharset) script.SetMinBodyCharset();

  if (settings.BlankBeforeSig) {
    TMIMEPart* part = article.CurrentPart();
    TBody& body = part->Body();
    if (part->HasSignature() && (part->Sig().Changed || settings.DeleteEmptyLines) &&
        (body.Count() == 0 || !TrimmedView(body.GetInternalLine(body.Count() - 1)).empty()))
      body.Add("");
  }
}

void SetTransferEncoding(TVQEinstellungen& settings, TMIMEPart& part) {
  uint8_t target;
  switch (settings.DefaultEncoding) {
    case 0: target = me8Bit; break;
    case 1: target = meQuotedPrintable; break;
    case 2: target = meBase64; break;
    case 3: target = me7Bit; break;
    default: return;
  }
  const uint8_t current = part.GetMIMEInfo().Encoding;
  if (current == target) return;
  if ((current == me8Bit && settings.Convert8Bit) ||
      (current == meQuotedPrintable && settings.ConvertQP) ||
      (current == meBase64 && settings.ConvertBase64))
    part.SetTransferEncoding(target);
}

void CorrectPart(TVQSkript& script, TVQEinstellungen& settings, TArtikel& article) {
  // The class is read afresh for each test: a converted HTML part gets the
  // text steps in the same pass.
  auto contentClass = [&] { return article.CurrentPart()->GetMIMEInfo().ContentClass; };
  if (settings.AutoFunctions && settings.HTML2Text && contentClass() == ccTextHtml)
    script.ConvertHtmlToText();
  if (settings.AutoFunctions && settings.SaveAttachments && contentClass() >= ccApplication &&
      contentClass() <= ccVideo) {
    const std::string fileName = article.CurrentPart()->GetMIMEInfo().FileName;
    if (!fileName.empty())
      script.SavePart(settings.SaveAttachmentsDir, fileName, settings.ActionIfAttExists);
  }
  if (contentClass() == ccTextPlain) {
    TChangeMarks marks(*article.CurrentPart());
    CorrectTextPart(script, settings, article);
    marks.Settle();
  }
  const uint8_t cls = contentClass();
  if (settings.AutoFunctions && (cls == ccTextPlain || cls == ccTextHtml || cls == ccText))
    SetTransferEncoding(settings, *article.CurrentPart());
}

}  // namespace

bool KorrigiereArtikel(TVQSkript& Script, TVQEinstellungen& Settings, TArtikel& Article) {
  Script.LoadScript(true);
  Article.LastAction = Settings.EndAction;
  if (Script.RunCheckAbort()) return false;

  if (Settings.AutoFunctions) {
    Script.AutoFixHeaders();
    if (!Settings.SortHeader.empty()) Script.SortHeader(Settings.SortHeader);
    // A copy: a script line may reload the profile.
    const std::vector<std::string> delXHeader = Settings.DelXHeader;
    for (const std::string& entry : delXHeader) {
      std::string line = Trim(entry);
      if (line.find(':') == std::string::npos) line += ':';
      Script.InterpreteLine(line);
    }
  }

  const int32_t exitCode = Script.RunSubMain();
  if (Script.RunExitCode) *Script.RunExitCode = exitCode;

  if (Settings.AutoFunctions) SetDateHeader(Settings, Article);
  for (int n = 1; n <= Article.Parts.Count(); ++n) {
    Article.SetCurrentPart(n);
    CorrectPart(Script, Settings, Article);
  }
  Script.ApplyHHeaders();
  if (Settings.RecreateRCPT_To) Script.RecreateRcptTo(Settings.RecreateRCPT_To_Always);
  if (Settings.HamsterheaderFirst) Script.SortHeader("!MAIL FROM, !RCPT TO");
  return Script.IsChanged();
}

namespace {

// The script side of one message file.
class TScriptedArticle final : public TArticleScript {
public:
  TScriptedArticle(const std::string& scriptName, TVQEinstellungen& settings, TArtikel& article,
                   TCorrectionRun& run)
      : settings_(settings), article_(article), script_(scriptName, &article, &settings) {
    script_.Hamster = &run.Hamster;
    script_.RunExitCode = &run.ExitCode;
  }
  bool Correct() override { return KorrigiereArtikel(script_, settings_, article_); }
  void AfterAll(const std::string& oldFilename, const std::string& newFilename) override {
    script_.RunAfterAll(oldFilename, newFilename);
    // The script's end. A profile that cannot be read back ends the run: the
    // next message would be corrected with this one's options.
    script_.RestoreProfile();
  }
  bool LooksAtSavedFile() const override {
    int index = 0;
    std::string params;
    return script_.FindSub("AfterAll", index, params);
  }

private:
  TVQEinstellungen& settings_;
  TArtikel& article_;
  TVQSkript script_;
};

}  // namespace

void InstallArticleCorrection() {
  SetArticleScriptFactory([](const std::string& scriptName, TVQEinstellungen& settings,
                             TArtikel& article, TCorrectionRun& run) {
    return std::make_unique<TScriptedArticle>(scriptName, settings, article, run);
  });
}

int TimeZoneOffsetMinutes(std::time_t time) {
  std::tm local{};
  if (!localtime_r(&time, &local)) return 0;
  return int(local.tm_gmtoff / 60);
}

std::string FormatRfcDate(bool gmt, std::time_t time) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm t{};
  int offset = 0;
  if (gmt) {
    gmtime_r(&time, &t);
  } else {
    localtime_r(&time, &t);
    offset = int(t.tm_gmtoff / 60);
  }
  std::string s = days[t.tm_wday % 7];
  s += ", " + TwoDigits(t.tm_mday) + " " + months[t.tm_mon % 12] + " " + IntToStr(t.tm_year + 1900L) +
       " " + TwoDigits(t.tm_hour) + ":" + TwoDigits(t.tm_min) + ":" + TwoDigits(t.tm_sec) + " ";
  if (gmt || offset == 0) return s + "GMT";
  s += offset < 0 ? '-' : '+';
  const int minutes = std::abs(offset);
  return s + TwoDigits(minutes / 60) + TwoDigits(minutes % 60);
}
