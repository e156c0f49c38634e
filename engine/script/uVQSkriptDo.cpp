// The Do commands (part selection, programs and documents, sounds, message
// boxes, files, conversions, part saving, CopyIf targets and counters) and the
// HamsterApp command.
#include <cmath>
#include <limits>

#include "IniFile.h"
#include "NewsServer.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SafeFile.h"
#include "Shell.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uCopyIf.h"
#include "uEinstellungen.h"
#include "uGetNum.h"
#include "uGetStr.h"
#include "uHamster.h"
#include "uTools.h"
#include "uTransla.h"
#include "uDriver.h"
#include "uVQSkript.h"
#include "uVQSkriptDo.h"

namespace {

TScriptEffectsHook gEffectsHook = nullptr;

bool EffectsAllowed() { return gEffectsHook == nullptr || gEffectsHook(); }

// The show modes of Do Exec and Do Run with the values of the Windows SW_
// constants, in the order they are tested; a mode is accepted and not used.
struct TShowMode {
  const char* Word;
  uint16_t Value;
};
constexpr TShowMode kShowModes[] = {
    {"Hide", 0},          {"Normal", 1},         {"Minimize", 6},        {"Max", 10},
    {"Restore", 9},       {"ShowDefault", 10},   {"Shownormal", 1},      {"ShowMinimized", 2},
    {"ShowMaximized", 3}, {"ShowNoActivate", 4}, {"ShowMinNoActive", 7}, {"ShowNA", 8},
    {"Show", 5},
};
constexpr uint16_t kShowDefault = 10;

bool TakeComma(std::string& s) { return StartsWithKeyword(",", s); }

// A program and its parameters as the error messages show them.
std::string CallText(const std::string& file, const std::string& params) {
  return Trim(file + " " + params);
}

// The whole number N when it lies in Lo..Hi.
bool WholeNumberIn(double n, int64_t lo, int64_t hi, int32_t& value) {
  if (!std::isfinite(n)) return false;
  const double t = std::trunc(n);
  if (t < double(lo) || t > double(hi)) return false;
  value = int32_t(t);
  return true;
}

// The run's news-server session. A script object given none has no server to
// reach, as when the server object cannot be created.
THamsterSession& SessionOf(THamsterSession* session) {
  if (session == nullptr)
    throw ENewsServerError(
        Translate("Hamster.NoObject", "Das Hamster-Objekt kann nicht erzeugt werden."));
  return *session;
}

}  // namespace

void SetScriptEffectsHook(TScriptEffectsHook hook) { gEffectsHook = hook; }

// ---------------------------------------------------------------------------
// Reading arguments

bool TVQSkript::TakeString(std::string& s, std::string& value) {
  value.clear();
  return !Trim(s).empty() && InterpreteString(s, value);
}

void TVQSkript::ReportFailure(const std::string& message) { ShowScriptInfo(message, {}); }

// ---------------------------------------------------------------------------
// Dispatch

void TVQSkript::DoCommand(std::string& text) {
  std::string& s = text;
  if (StartsWithKeyword("Select", s)) return DoSelect(s);
  if (StartsWithKeyword("Play", s)) return DoPlay(s);
  if (StartsWithKeyword("Show", s)) return DoShow(s);
  if (StartsWithKeyword("Sort", s)) {
    if (!StartsWithKeyword("Header", s))
      ScriptErrorFmt("DoSort.Invalid",
                     "Unbekannter \"Do Sort\"-Befehl \"%s\" (z.Z. nur \"Header\" erlaubt)", {s}, s);
    SortHeader(s);
    return;
  }
  if (StartsWithKeyword("Repair", s)) {
    if (!StartsWithKeyword("OEQuotings", s))
      ScriptErrorFmt("DoRepair.Invalid",
                     "Unbekannter \"Do Repair\"-Befehl \"%s\" (z.Z. nur \"OEQuotings\" erlaubt)",
                     {s}, s);
    RepairOEQuotings();
    return;
  }
  if (StartsWithKeyword("Write", s)) return DoWrite(s);
  if (StartsWithKeyword("Open", s)) return DoOpenOrPrint(s, false);
  if (StartsWithKeyword("Print", s)) return DoOpenOrPrint(s, true);
  if (StartsWithKeyword("Copy", s)) return DoCopy(s);
  if (StartsWithKeyword("move to Group", s) || StartsWithKeyword("move to Groups", s)) {
    std::string groups;
    if (!TakeString(s, groups))
      ScriptError("DoCopyToGroup.MissingGroupname",
                  "Nach \"Do Copy to group\" muss noch der Gruppenname in Anführungsstrichen "
                  "folgen.",
                  s);
    if (CopyIf) CopyIf->MoveToGroups(groups);
    return;
  }
  if (StartsWithKeyword("Exec", s) || StartsWithKeyword("Run", s)) return DoExec(s);
  if (StartsWithKeyword("Replace", s)) return DoReplaceCommand(s);
  if (StartsWithKeyword("Convert", s)) return DoConvert(s);
  if (StartsWithKeyword("Optimize", s)) return DoOptimize(s);
  if (StartsWithKeyword("Save", s)) return DoSavePart(s);
  if (StartsWithKeyword("Define Counter", s) || StartsWithKeyword("Def Counter", s))
    return DoCounter(s, true);
  if (StartsWithKeyword("Inc Counter", s)) return DoCounter(s, false);
  if (StartsWithKeyword("Touch", s)) return DoTouch(s);
  ScriptErrorFmt("DoXXX.Invalid",
                 "Unbekannter Do-Befehl \"%s\" (z.Z. nur \"Include\", \"Exec\", \"Open\", "
                 "\"Print\", \"Sort Header\" und \"Replace\" erlaubt)",
                 {s}, s);
}

// ---------------------------------------------------------------------------
// Select, Play, Show

void TVQSkript::DoSelect(std::string& s) {
  if (!StartsWithKeyword("Part", s))
    ScriptErrorFmt("DoSelect.Invalid",
                   "Unbekannter \"Do Select\"-Befehl \"%s\" (z.Z. nur \"Part\" erlaubt)", {s}, s);
  double n = 0;
  if (Trim(s).empty() || !InterpreteNumeric(s, n))
    ScriptError("DoSelectPart.MissingNumber",
                "Nach \"Do Select Part\" muß die Nummer des gewünschten Mimeparts folgen", s);
  int32_t part = 0;
  if (WholeNumberIn(n, 1, Article->Parts.Count(), part)) Article->SetCurrentPart(part);
}

void TVQSkript::DoPlay(std::string& s) {
  if (!StartsWithKeyword("Wave", s))
    ScriptError("DoPlay.Invalid", "Nach \"Do Play\" ist zur Zeit nur \"Wave\" erlaubt.", s);
  std::string file;
  const bool haveFile = TakeString(s, file);
  const bool wait = haveFile && StartsWithKeyword("and wait", s);
  if (!haveFile || !Trim(s).empty())
    ScriptError("DoPlayWave.InvalidUse",
                "Falsche Syntax, korrekt wäre: \"Do Play Wave <Dateiname> [ and wait ]\"", s);
  if (EffectsAllowed() && !PlaySoundFile(file, wait))
    ScriptErrorFmt("PlayWave.Error", "Fehler beim Abspielen der Wave-Datei \"%s\"", {file});
}

void TVQSkript::DoShow(std::string& s) {
  if (!StartsWithKeyword("Info", s))
    ScriptErrorFmt("DoShow.Invalid",
                   "Unbekannter \"Do Show\"-Befehl \"%s\" (z.Z. nur \"Info\" erlaubt)", {s}, s);
  auto invalidUse = [&] {
    ScriptError("DoShowInfo.InvalidUse",
                "Falsche \"Do Show Info\"-Syntax, korrekt wäre: \"Do Show Info <Text> [, "
                "<Überschrift> ]\")",
                s);
  };
  std::string text;
  if (!TakeString(s, text)) invalidUse();
  std::string title = "Tidelarn V" + ProgramVersion();
  if (TakeComma(s) && !TakeString(s, title)) invalidUse();
  Prompter().MessageBox(text, title, mb::Ok | mb::IconInformation);
}

// ---------------------------------------------------------------------------
// Write, Open, Print, Copy, Exec

void TVQSkript::DoWrite(std::string& s) {
  if (StartsWithKeyword("IniStr", s)) {
    std::string file, section, key, value;
    if (!TakeString(s, file) || !TakeComma(s) || !TakeString(s, section) || !TakeComma(s) ||
        !TakeString(s, key) || !TakeComma(s) || !TakeString(s, value))
      ScriptError("DoWriteIniStr.InvalidUse",
                  "Falsche Syntax, richtig wäre \"Do Write IniStr Datei, Abschnitt, Key, Wert", s);
    if (!EffectsAllowed()) return;
    try {
      TIniFile ini(file);
      ini.WriteString(section, key, value);
      ini.UpdateFile();
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& e) {
      ReportFailure(e.what());
    }
    return;
  }
  if (StartsWithKeyword("Textfile", s)) {
    std::string file, text;
    if (!TakeString(s, file) || !TakeComma(s) || !TakeString(s, text) || !Trim(s).empty())
      ScriptError("DoWriteTextfile.InvalidUse",
                  "Falsche Syntax, richtig wäre \"Do Write Textfile Datei, String\"", s);
    if (!EffectsAllowed()) return;
    try {
      ReplaceFileContent(NativePath(file), JoinLines(SplitLines(text)));
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& e) {
      ReportFailure(e.what());
    }
    return;
  }
  ScriptErrorFmt("DoWrite.Invalid",
                 "Unbekannter \"Do Write\"-Befehl \"%s\" (z.Z. nur \"IniStr\" und \"Textfile\" "
                 "erlaubt)",
                 {s}, s);
}

void TVQSkript::DoOpenOrPrint(std::string& s, bool print) {
  std::string document, params;
  if (!TakeString(s, document) || (TakeComma(s) && !TakeString(s, params)) || !Trim(s).empty()) {
    if (print)
      ScriptError("DoPrint.InvalidUse",
                  "Falsche Syntax, korrekt wäre: \"Do Print Dokument [, Parameter]\"", s);
    ScriptError("DoOpen.InvalidUse",
                "Falsche Syntax, korrekt wäre: \"Do Open Dokument [, Parameter]\"", s);
  }
  if (!EffectsAllowed()) return;
  const int result = ShellExecute(print ? "print" : "open", document, params,
                                  ExtractFilePath(NativePath(document)));
  if (result >= 32) return;
  const std::vector<std::string> args{IntToStr(result), CallText(document, params)};
  if (print) ScriptErrorFmt("DoPrint.Error", "Fehler #%s beim Aufruf von \"%s\"", args);
  ScriptErrorFmt("DoOpen.Error", "Fehler #%s beim Aufruf von \"%s\"", args);
}

void TVQSkript::DoCopy(std::string& s) {
  if (StartsWithKeyword("to Group", s) || StartsWithKeyword("to Groups", s)) {
    std::string groups;
    if (!TakeString(s, groups))
      ScriptError("DoCopyToGroup.MissingGroupname",
                  "Nach \"Do Copy to group(s)\" muss noch der Gruppenname in Anführungsstrichen "
                  "folgen.",
                  s);
    if (CopyIf) CopyIf->CopyToGroups(groups);
    return;
  }
  std::string source, target;
  if (!TakeString(s, source))
    ScriptErrorFmt("DoCopy.Unknown", "Unbekannter \"Do Copy\"-Befehl \"%s\"", {s}, s);
  bool overwrite = false;
  bool valid = TakeComma(s) && TakeString(s, target) && TakeComma(s) && !Trim(s).empty();
  if (valid) {
    overwrite = EvalCondition(s);
    valid = Trim(s).empty();
  }
  if (!valid)
    ScriptError("DoCopyFile.InvalidUse",
                "Falsche Syntax, korrekt wäre: \"Do Copy Quelldatei, Zieldatei, ggf. "
                "Überschreiben?\"",
                s);
  // A failed copy is not reported: the script can test for the target.
  if (EffectsAllowed()) CopyRegularFile(NativePath(source), NativePath(target), overwrite);
}

void TVQSkript::DoExec(std::string& s) {
  const bool wait = StartsWithKeyword("and wait", s);
  auto invalidUse = [&] {
    ScriptError("DoExec.InvalidUse",
                "Falsche Syntax, korrekt wäre: \"Do Exec Programm/Dokument [, Parameter [, "
                "Aufrufmodus]]\"",
                s);
  };
  std::string program, params;
  if (!TakeString(s, program)) invalidUse();
  uint16_t show = kShowDefault;
  if (TakeComma(s)) {
    if (!TakeString(s, params)) invalidUse();
    if (TakeComma(s)) {
      for (const TShowMode& mode : kShowModes) {
        if (StartsWithKeyword(mode.Word, s)) {
          show = mode.Value;
          break;
        }
      }
    }
  }
  if (!Trim(s).empty()) invalidUse();
  if (!EffectsAllowed()) return;

  if (wait) {
    if (!RunAndWait(program, params, show))
      ScriptErrorFmt("DoExecAndWait.Error", "Fehler beim Ausführen von \"%s\"",
                     {CallText(program, params)});
    return;
  }
  const int result = ShellExecute("open", program, params, ExtractFilePath(NativePath(program)));
  if (result < 32)
    ScriptErrorFmt("DoExec.Error", "Fehler #%s beim Aufruf von \"%s\"",
                   {IntToStr(result), CallText(program, params)});
}

// ---------------------------------------------------------------------------
// Replace, Convert, Optimize

void TVQSkript::DoReplaceCommand(std::string& s) {
  uint8_t mode = rmAll;
  if (StartsWithKeyword("all", s))
    mode = rmAll;
  else if (StartsWithKeyword("first", s))
    mode = rmFirst;
  else if (StartsWithKeyword("last", s))
    mode = rmLast;
  else
    ScriptError("DoReplace.InvalidType",
                "Unbekannter \"Do Replace\"-Typ, nur \"All\", \"Last\" oder \"First\" erlaubt", s);
  std::string what, with;
  if (!TakeString(s, what))
    ScriptError("DoReplace.MissingWhat",
                "Nach \"Do Replace\" muß noch \"<Suchausdruck> with <Ersatz>\" kommen", s);
  if (!StartsWithKeyword("with", s))
    ScriptError("DoReplace.MissingWith",
                "Nach \"Do Replace <Suchausdruck>\" muß noch \"with <Ersatz>\" kommen", s);
  TakeString(s, with);

  uint8_t target = rtBody;
  std::string varName;
  if (StartsWithKeyword("in", s)) {
    if (StartsWithKeyword("Body", s))
      target = rtBody;
    else if (StartsWithKeyword("Sig", s))
      target = rtSig;
    else if (StartsWithKeyword("Lines", s))
      target = rtLines;
    else if (StartsWithKeyword("Header2", s))  // before Header, which it begins with
      target = rtHeader2;
    else if (StartsWithKeyword("Header", s))
      target = rtHeader;
    else if (StartsWithKeyword("Intro", s))
      target = rtIntro;
    else if (ParseVarRef(s, varName) == 1)
      target = rtVariable;
    else
      ScriptError("DoReplaceXXXwithXXXin.MissingWhere",
                  "Nach \"Do Replace <Suchausdruck> with <Ersatz> in\" muß noch \"Body\", "
                  "\"Sig\", \"Lines\", \"Intro\", \"Header\", \"Header2\" oder ein Variablenname "
                  "kommen.",
                  s);
  }
  auto lineNumber = [&](std::string_view id, std::string_view text) {
    double n = 0;
    int32_t line = 0;
    if (Trim(s).empty() || !InterpreteNumeric(s, n) ||
        !WholeNumberIn(n, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                       line))
      ScriptError(id, text, s);
    return line;
  };
  int32_t fromLine = -1, toLine = -1;
  if (StartsWithKeyword("from", s))
    fromLine = lineNumber("DoReplace.From.InvalidNumber",
                          "Keine gültige Zahl nach \"from\" im \"Do Replace\"-Befehl.");
  if (StartsWithKeyword("to", s))
    toLine = lineNumber("DoReplace.To.InvalidNumber",
                        "Keine gültige Zahl nach \"to\" im \"Do Replace\"-Befehl.");
  if (!what.empty()) DoReplace(what, with, fromLine, toLine, varName, target, mode);
}

void TVQSkript::DoConvert(std::string& s) {
  if (StartsWithKeyword("QPHeader", s)) {
    ConvertHeaderTo8Bit();
    return;
  }
  if (StartsWithKeyword("Header", s)) {
    if (!StartsWithKeyword("to", s) ||
        !(StartsWithKeyword("8Bit", s) ||
          (StartsWithKeyword("8", s) && StartsWithKeyword("Bit", s))))
      ScriptError("DoConvertHeader.MissingTo8Bit",
                  "Nach \"Do Convert Header\" kann nur \"to 8 Bit\" folgen", s);
    ConvertHeaderTo8Bit();
    return;
  }
  if (StartsWithKeyword("QPBody", s)) {
    TMIMEPart* part = CurrentPart();
    if (part != nullptr && part->GetMIMEInfo().Encoding == meQuotedPrintable)
      SetPartEncoding(me8Bit);
    return;
  }
  if (StartsWithKeyword("Encoding", s)) {
    uint8_t code = 0;
    if (StartsWithKeyword("to", s)) {
      if (StartsWithKeyword("quoted-printable", s) || StartsWithKeyword("qp", s))
        code = meQuotedPrintable;
      else if (StartsWithKeyword("8bit", s) || StartsWithKeyword("8-bit", s) ||
               (StartsWithKeyword("8", s) && StartsWithKeyword("Bit", s)))
        code = me8Bit;
      else if (StartsWithKeyword("Base64", s))
        code = meBase64;
      else if (StartsWithKeyword("ascii", s) || StartsWithKeyword("7-bit", s) ||
               StartsWithKeyword("7Bit", s) ||
               (StartsWithKeyword("7", s) && StartsWithKeyword("Bit", s)))
        code = me7Bit;
    }
    if (code == 0)
      ScriptError("DoConvertEncoding.Invalid",
                  "Nach \"Do Convert Encoding\" kann nur \"to Encodingtyp\" folgen, als "
                  "Encodingtyp sind \"8bit\", \"qp\"/\"quoted-printable\", \"base64\" und "
                  "\"7bit\"/\"ascii\" zulässig.",
                  s);
    SetPartEncoding(code);
    return;
  }
  if (StartsWithKeyword("HTML", s)) {
    if (!StartsWithKeyword("to", s) || !StartsWithKeyword("Text", s))
      ScriptError("DoConvertHTML.Invalid",
                  "Nach \"Do Convert HTML\" kann zur Zeit nur \" to Text\" folgen", s);
    ConvertHtmlToText();
    return;
  }
  if (StartsWithKeyword("OEBeginBug", s)) {
    FixOEBeginBug();
    return;
  }
  if (StartsWithKeyword("OEKillFalseReBug", s)) {
    FixOEKillFalseReBug();
    return;
  }
  if (StartsWithKeyword("BoxQuotes", s)) {
    double n = 0;
    int32_t style = 0;
    if (Trim(s).empty() || !InterpreteNumeric(s, n) || !Trim(s).empty() ||
        !WholeNumberIn(n, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                       style))
      ScriptError("DoConvertBoxQuotes.MissingNumber",
                  "Nach \"Do Convert Boxquotes\" muß noch die Boxquote-Definitions-Nr folgen!", s);
    ConvertBoxQuotes(style);
    return;
  }
  ScriptError("DoConvert.Invalid",
              "Zur Zeit sind nur die Konvertierungsbefehle \"Do Convert QPHeader\", \"Do Convert "
              "QPBody\", \"Do Convert OEBeginBug\" und \"Do Convert BoxQuotes <Nummer>\" "
              "zulässig.",
              s);
}

void TVQSkript::DoOptimize(std::string& s) {
  if (StartsWithKeyword("BodyCharset", s)) {
    if (TMIMEPart* part = CurrentPart()) part->SetBestCharset();
    return;
  }
  if (StartsWithKeyword("BodyCharsets", s)) {
    for (int i = 0; i < Article->Parts.Count(); ++i) Article->Parts.Items(i)->SetBestCharset();
    return;
  }
  if (StartsWithKeyword("MIMEHeader", s)) {
    OptimizeMIMEHeader();
    return;
  }
  ScriptError("DoOptimize.Invalid",
              "Zur Zeit sind nur die Optimierungsbefehle \"Do Optimize BodyCharset / "
              "BodyCharsets / MIMEHeader\" zulässig",
              s);
}

// ---------------------------------------------------------------------------
// Save Part, counters, Touch

void TVQSkript::DoSavePart(std::string& s) {
  auto invalidUse = [&] {
    ScriptError("DoSavePart.InvalidUse",
                "Syntaxfehler, korrekt wäre: \"Do Save Part <Dateiname>, <Pfad>, ( Nothing | "
                "Overwrite | Rename )\".",
                s);
  };
  auto takeString = [&](std::string& value) {
    if (!TakeString(s, value))
      ScriptErrorFmt("InvalidStringExpressionXXX", "Unzulässiger String-Ausdruck \"%s\"!", {s}, s);
  };
  if (!StartsWithKeyword("Part", s)) invalidUse();
  std::string fileName, folder = Settings->SaveAttachmentsDir;
  uint8_t mode = Settings->ActionIfAttExists;
  takeString(fileName);
  if (TakeComma(s)) {
    takeString(folder);
    if (TakeComma(s)) {
      // Only the two modes that change something can be named; "Nothing" is
      // the profile's default and is refused here although the message names it.
      if (StartsWithKeyword("Overwrite", s))
        mode = 1;
      else if (StartsWithKeyword("Rename", s))
        mode = 2;
      else
        invalidUse();
    }
  }
  if (!Trim(s).empty()) invalidUse();
  if (EffectsAllowed()) SavePart(folder, fileName, mode);
}

void TVQSkript::DoCounter(std::string& s, bool define) {
  std::string name;
  if (!TakeString(s, name)) {
    if (define)
      ScriptError("DoDefineCounter.MissingName",
                  "Nach \"Do Def[ine] Counter\" muss noch der Name des Zählers kommen.", s);
    ScriptError("DoIncCounter.MissingName",
                "Nach \"Do Inc Counter\" muss noch der Name des Zählers kommen.", s);
  }
  // Outside a CopyIf run the arguments are read and nothing is counted.
  if (!define) {
    std::string item;
    if (TakeComma(s)) TakeString(s, item);
    if (CopyIf) CopyIf->IncCounter(name, item);
    return;
  }
  if (CopyIf) CopyIf->DefineCounter(name, false);
  // An empty item between two commas stands for a separator line.
  while (TakeComma(s)) {
    const bool separator = !TakeString(s, name);
    if (CopyIf) CopyIf->DefineCounter(name, separator);
  }
}

void TVQSkript::DoTouch(std::string& s) {
  std::string pattern;
  if (!TakeString(s, pattern) || !Trim(s).empty())
    ScriptError("DoTouch.InvalidUse",
                "Korrekte Syntax: \"Do Touch <Gruppenauswahl>\", wobei <Gruppenauswahl> als "
                "regulärer Ausdruck interpretiert wird.",
                s);
  if (!EffectsAllowed()) return;
  try {
    SessionOf(Hamster).TouchGroups(pattern);
  } catch (const EAbort&) {
    throw;
  } catch (const ENewsServerError&) {
    // The news server failing (not running, say) ends the run as a failure:
    // finishing the script without it would pass for success.
    throw;
  } catch (const std::exception& e) {
    ReportFailure(e.what());
  }
}

// ---------------------------------------------------------------------------
// HamsterApp

void TVQSkript::HamsterAppCommand(std::string& text) {
  std::string& s = text;
  if (!StartsWithKeyword("hs2command", s) && !StartsWithKeyword("hs2", s))
    ScriptErrorFmt("Hamster.Invalid", "Unbekannter HamsterApp-Befehl \"%s\"", {s}, s);
  std::string command;
  if (!TakeString(s, command) || !Trim(s).empty())
    ScriptError("Hamster.hs2.Invalid", "Korrekte Syntax: HamsterApp hs2command <String-Ausdruck>",
                s);
  if (!EffectsAllowed()) return;
  try {
    SessionOf(Hamster).SendHs2Command(command);
  } catch (const EAbort&) {
    throw;
  } catch (const ENewsServerError&) {
    // The news server failing (not running, say) ends the run as a failure:
    // finishing the script without it would pass for success.
    throw;
  } catch (const std::exception& e) {
    ReportFailure(e.what());
  }
}
