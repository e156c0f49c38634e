// The script's error and debug display: every error of a run and every
// single-step stop ends here. The data goes to the installed prompter (the
// dialog in the configuration program, the hand-over in the runner), the choice
// comes back as the run state, and the line ends with the silent abort.
#include <string>
#include <vector>

#include "Prompter.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uSkript.h"
#include "uTools.h"
#include "uTransla.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace {

// Sections of the information lines, each after an empty line.
class TInfoLines {
public:
  void Section(std::string heading) {
    lines_.emplace_back();
    lines_.push_back(std::move(heading));
  }
  // A line that may hold line breaks becomes one entry per display line.
  void Add(const std::string& line) {
    for (auto& l : SplitLines(line)) lines_.push_back(std::move(l));
    if (line.empty()) lines_.emplace_back();
  }
  void AddIndented(const std::vector<std::string>& list) {
    for (const auto& l : list) Add("  " + l);
  }
  std::vector<std::string> Take() {
    if (!lines_.empty() && lines_.front().empty()) lines_.erase(lines_.begin());
    return std::move(lines_);
  }

private:
  std::vector<std::string> lines_;
};

std::vector<std::string> ListLines(const TChangedStringlist& list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list.GetCount(); ++i) lines.push_back(list.Get(i));
  return lines;
}

std::string VariableValue(const TVarObj& var) {
  if (var.VarType == VarType::String) return '"' + MarkLineBreaks(var.Text) + '"';
  return var.Text;
}

std::string VariableLine(const TVarObj& var) {
  switch (var.EntryKind) {
    case EntryKind::Global: return "  Global %" + var.Name + "% = " + VariableValue(var);
    case EntryKind::Local: return "      Local %" + var.Name + "% = " + VariableValue(var);
    case EntryKind::ByRefParam: return "      Var-Parameter %" + var.Name + "% => %" + var.Text + "%";
    case EntryKind::ByValParam: return "      Parameter %" + var.Name + "% = " + VariableValue(var);
    case EntryKind::FrameHead: return FromUtf8("  Ausführung von Sub ") + var.Text;
    default: return var.Text;
  }
}

// The file of the current line as stored; empty when it cannot be read.
std::vector<std::string> FileLinesOf(const std::string& fileName) {
  std::vector<std::string> lines;
  if (fileName.empty()) return lines;
  try {
    LoadEditorTextFile(fileName, lines);
  } catch (const std::exception&) {
    lines.clear();
  }
  return lines;
}

// Start of line LineNo in the text of the file (each line end counted as CR LF),
// then the end of the line at a debug stop or the error token within it.
int CaretPosition(const std::vector<std::string>& fileLines, int lineNo, bool debugStop,
                  const std::string& errorToken) {
  int64_t caret = 0;
  for (int i = 0; i < lineNo - 1 && i < int(fileLines.size()); ++i)
    caret += hooks::Length(fileLines[size_t(i)]) + 2;
  if (lineNo >= 1 && lineNo <= int(fileLines.size())) {
    const std::string& line = fileLines[size_t(lineNo - 1)];
    if (debugStop) {
      caret += hooks::Length(line);
    } else if (!errorToken.empty()) {
      int p = hooks::Pos(errorToken, line);
      if (p - 1 > 0) caret += p - 1;
    }
  }
  return caret > INT32_MAX ? INT32_MAX : int(caret);
}

// Clears the reload mark however the reload ends.
class TReloadGuard {
public:
  explicit TReloadGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~TReloadGuard() { flag_ = false; }
  TReloadGuard(const TReloadGuard&) = delete;
  TReloadGuard& operator=(const TReloadGuard&) = delete;

private:
  bool& flag_;
};

// The information lines: position, if states, control stack, variables and the
// lines the run collected, each section only when it has content.
std::vector<std::string> BuildInfoLines(const TVQSkript& sk, int lineNo,
                                        const std::string& lineText) {
  TInfoLines info;
  info.Section(TranslateFmt("Info.LineXofX:XXX", "Zeile %s/%s: %s",
                            {IntToStr(lineNo), IntToStr(sk.Count()), lineText}));
  if (sk.IfDepth > 0) {
    info.Section(Translate("Info.IfStack", "Bedingte Ausführung:"));
    for (int i = 1; i <= sk.IfDepth && i <= TVQSkript::MaxIfDepth; ++i)
      info.Add(std::string(size_t(i + 1), ' ') +
               (sk.IfState[size_t(i)] ? Translate("Info.IsExecuted", "Wird ausgeführt")
                                   : Translate("Info.IsIgnored", "Wird ignoriert")));
  }
  if (!sk.ControlStack.Empty()) {
    info.Section(Translate("Info.Stack", "Stack:"));
    for (int i = 0; i < sk.ControlStack.Count(); ++i) info.Add("  " + sk.ControlStack[i].Text);
  }
  if (sk.Variables && sk.Variables->Count() > 0) {
    info.Section(Translate("Info.Varlist", "Variablen:"));
    for (int i = 0; i < sk.Variables->Count(); ++i)
      if (const TVarObj* var = sk.Variables->Items(i)) info.Add(VariableLine(*var));
  }
  if (!sk.ChangedOptions.empty()) {
    info.Section(Translate("Info.ChangedOptions", "Neu gesetzte Optionen:"));
    for (size_t i = 0; i < sk.ChangedOptions.size(); ++i)
      info.Add("  " + sk.ChangedOptions[i] + "=" +
               (i < sk.ChangedOptionValues.size() ? sk.ChangedOptionValues[i] : std::string()));
  }
  if (sk.HList && sk.HList->GetCount() > 0) {
    info.Section(Translate("Info.Bodyheader", "Bodyheader:"));
    info.AddIndented(ListLines(*sk.HList));
  }
  TMIMEPart* part = sk.Article ? sk.Article->CurrentPart() : nullptr;
  TChangedStringlist* intro = part ? part->GetNamedList("Intro") : nullptr;
  if (intro && intro->GetCount() > 0) {
    info.Section(Translate("Info.Intro", "Einleitungszeile(n) \"Intro\":"));
    info.AddIndented(ListLines(*intro));
  }
  if (!sk.LinesToAppend.empty()) {
    info.Section(Translate("Info.Lines", "Anzuhängende \"Lines\":"));
    info.AddIndented(sk.LinesToAppend);
  }
  if (part && part->BodyParsed) {
    // Fetching the signature forgets that a delimiter was seen; showing must not.
    const bool sigFound = part->SigFound;
    TSig& sig = part->Sig();
    part->SigFound = sigFound;
    if (sig.Changed) {
      info.Section(Translate("Info.Sig", "Gewählte Signatur:"));
      for (int i = 0; i < sig.GetCount(); ++i) info.Add("  " + sig.GetInternalLine(i));
    }
  }
  return info.Take();
}

}  // namespace

std::string MarkLineBreaks(std::string_view value) {
  std::vector<std::string> lines = SplitLines(value);
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n       <CRLF>";
    text += lines[i];
  }
  return text;
}

void TVQSkript::ShowScriptInfo(const std::string& errorMsg, const std::string& errorToken) {
  // An error of the reload below was caused by the display itself: showing it
  // again could repeat for ever, so only the line ends.
  if (ReloadingScript) Abort();

  const int32_t line = CurrentLine;
  TErrorDisplay d;
  d.scriptName = ScriptName;
  d.errorMsg = errorMsg;
  d.continueLine = line;
  if (line >= 1 && line <= Count()) {
    d.fileName = GetFileName(line - 1);
    d.lineNo = GetLineNo(line - 1);
    d.lineText = GetLine(line - 1).Source();
  }
  d.scriptLines.reserve(size_t(Count()));
  for (int i = 0; i < Count(); ++i) d.scriptLines.push_back(GetLine(i).Source());
  d.fileLines = FileLinesOf(d.fileName);
  d.caretPos = CaretPosition(d.fileLines, d.lineNo, errorMsg.empty(), errorToken);
  d.infoLines = BuildInfoLines(*this, d.lineNo, d.lineText);
  try {
    if (!Article) throw Exception({});
    d.textLines = SplitLines(Article->GetText());
  } catch (const std::exception&) {
    d.textLines = {Translate("Info.TextTooBigForMemo", "<< Textdatei zu groß für Memo >>")};
  }

  int state = Prompter().ShowErrorOrDebug(d);
  RunState = state >= RunStates::Retry && state <= RunStates::Ended ? uint8_t(state)
                                                                     : uint8_t(RunStates::Ended);
  {
    TReloadGuard guard(ReloadingScript);
    try {
      LoadScript(false);
    } catch (const EAbort&) {
      // An error of the reload itself; the user's choice stands.
    }
  }
  CurrentLine = d.continueLine >= 1 ? d.continueLine : line;
  Abort();
}

