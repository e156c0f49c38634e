// The script object: creation, loading with includes, and the entry points.
#include "uVQSkript.h"

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "IniFile.h"
#include "Prompter.h"
#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uCharsets.h"
#include "uEinstellungen.h"
#include "uGetNum.h"
#include "uGetStr.h"
#include "uHeader.h"
#include "uTools.h"
#include "uTransla.h"
#include "uVarList.h"

namespace {

// At most this many include expansions are made at one position of the
// expanded script, and includes nest at most this deep.
constexpr int MaxIncludeDepth = 20;

TScriptStepHook gStepHook = nullptr;

// Creates an empty script file; a failure leaves the loading as an exception.
// Made where a link of the user's own leads (an exclusive create fails on the
// link itself); another user's link raises, naming it.
void CreateEmptyFile(const std::string& path) {
  const std::string target = ResolveLinks(NativePath(path));
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) throw EInOutError(WriteErrorText(path, errno));
  ::close(fd);
}

// Script files read and classified before, so that a folder sweep reads and
// classifies its script once rather than for every message. A kept copy
// serves while the file has the identity, size and change times it was read
// with. A file changed shortly before it was read is not kept: a change
// within the same tick of the file system's clock leaves those times alone.
// The lines are kept from the second reading on, so that a run that reads its
// script once does not pay for a copy. They are in the internal charset they
// were converted into.
struct TKeptScript {
  struct stat stamp {};
  int charset = -1;
  bool hasLines = false;
  std::vector<TZeile> lines;
};

constexpr time_t SettleSeconds = 2;

std::mutex gKeptMutex;
std::map<std::string, TKeptScript, std::less<>> gKeptScripts;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameStamp(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mode == b.st_mode && SameTime(a.st_mtim, b.st_mtim) &&
         SameTime(a.st_ctim, b.st_ctim);
}

bool Settled(const struct stat& stamp) {
  timespec now{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  const time_t changed = std::max(stamp.st_mtim.tv_sec, stamp.st_ctim.tv_sec);
  return changed < now.tv_sec - SettleSeconds;
}

// The kept lines of a file whose stamp is still Stamp, if any.
bool TakeKeptScript(const std::string& name, const struct stat& stamp,
                    std::vector<TZeile>& lines) {
  std::lock_guard lock(gKeptMutex);
  auto it = gKeptScripts.find(name);
  if (it == gKeptScripts.end() || !it->second.hasLines || !SameStamp(it->second.stamp, stamp) ||
      it->second.charset != InternalCharsetIndex())
    return false;
  lines = it->second.lines;
  return true;
}

void KeepScript(const std::string& name, const struct stat& stamp,
                const std::vector<TZeile>& lines) {
  std::lock_guard lock(gKeptMutex);
  TKeptScript& kept = gKeptScripts[name];
  const bool readBefore =
      SameStamp(kept.stamp, stamp) && kept.charset == InternalCharsetIndex();
  kept.stamp = stamp;
  kept.charset = InternalCharsetIndex();
  kept.hasLines = readBefore;
  if (readBefore)
    kept.lines = lines;
  else
    kept.lines.clear();
}

}  // namespace

void SetScriptStepHook(TScriptStepHook hook) { gStepHook = hook; }

bool TVQSkript::StepAllowed() { return gStepHook == nullptr || gStepHook(); }

std::string TVQSkript::NowText() { return FormatScriptDateTime("ddddd tt", NowScriptDateTime()); }

std::string TVQSkript::OneLine(std::string s) {
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

TVQSkript::TVQSkript(std::string scriptName, TArtikel* article, TVQEinstellungen* settings)
    : Settings(settings), ScriptName(std::move(scriptName)), Article(article) {
  BodyCharsets = std::make_unique<TCharsets>(InternalCharsetName(), Settings->BodyCharsets);
  HeaderCharsets = std::make_unique<TCharsets>(InternalCharsetName(), Settings->HeaderCharsets);
  HList = std::make_unique<THeader>(HeaderCharsets.get());
  Variables = std::make_unique<TVarList>();
  IfState[0] = 1;

  auto errorHook = [this](std::string_view msg, std::string_view token) {
    ShowScriptInfo(std::string(msg), std::string(token));
  };
  SetStringHooks(
      this, errorHook,
      [this](const std::string& name, std::string& value) { GetStringVar(name, value); },
      [this](std::string_view& text, std::string& name) {
        std::string rest(text);
        if (!TakeStringVar(rest, name)) return false;
        AdvanceView(text, rest);
        return true;
      });
  RegisterStringFunctions();
  SetNumericHooks(this, InterpreteString, errorHook,
                  [this](const std::string& name) { return GetNumericVar(name); });
  RegisterNumericFunctions();
}

// The hooks go with the object: left behind they would call into freed memory.
TVQSkript::~TVQSkript() {
  // Reached with options still set only when the message's run failed, and
  // the failure is the one to report.
  try {
    RestoreProfile();
  } catch (const std::exception&) {
  }
  UnregisterScriptStringFunctions();
  UnregisterScriptNumericFunctions();
  RemoveStringHooks(this);
  RemoveNumericHooks(this);
}

void TVQSkript::Reset() {
  HList->Clear();
  Variables->Clear();
  ControlStack.Clear();
  RestoreProfile();
  LinesToAppend.clear();
}

// Options a script set hold for its own message only: the next message of the
// profile gets a new script object, whose Reset has nothing to undo.
void TVQSkript::RestoreProfile() {
  if (ChangedOptions.empty()) return;
  // Forgotten first: a reload that failed is not tried again on the way out.
  ChangedOptions.clear();
  ChangedOptionValues.clear();
  Settings->Load(false);
}

// ---------------------------------------------------------------------------
// File names

std::string TVQSkript::GetScriptFileName() const {
  if (CopyIf) return SettingsFile("Copyif.def");
  if (Trim(Settings->HeaderDef).empty()) return {};
  std::string full = NativePath(Settings->FilePath + Settings->HeaderDef);
  return ResolveFileCI(ExtractFilePath(full), ExtractFileName(full));
}

std::string TVQSkript::GetFilePath() const { return Settings->FilePath; }

std::string TVQSkript::ExpandFileName(std::string_view name) const {
  if (IsAbsolutePath(name) || (name.size() >= 2 && name[1] == ':')) return std::string(name);
  return Settings->FilePath + std::string(name);
}

// ---------------------------------------------------------------------------
// Loading

void TVQSkript::IncludeReportFile(std::string_view section, const std::string& message,
                                  const std::string& fileName, const std::string& errorLine,
                                  int depth) {
  WriteReportFile(message, [&](TIniFile& ini) {
    ini.WriteString(section, "Message", OneLine(message));
    ini.WriteString(section, "DateTime", NowText());
    ini.WriteString(section, "Reason", "Skript: Do Include");
    if (section == "Fehler")
      ini.WriteString(section, "Fehlerzeile", OneLine(errorLine));
    else
      ini.WriteString(section, "Filename", OneLine(fileName));
    ini.WriteString(section, "Zeile", IntToStr(CurrentLine));
    ini.WriteString(section, "Tiefe", IntToStr(depth));
  });
}

void TVQSkript::LoadScript(bool doReset) {
  if (doReset) Reset();

  const std::string name = GetScriptFileName();
  if (!name.empty()) {
    // One stat tells whether the script is there and whether it changed.
    struct stat stamp {};
    bool stamped = RegularFileStatus(NativePath(name), stamp);
    // Something other than a file there is no missing script: another user's
    // is refused as theirs, any other named as unreadable.
    if (!stamped && errno != ENOENT) {
      const int err = errno;
      CheckTrustedFile(NativePath(name));
      throw EInOutError(ReadErrorText(name, err));
    }
    if (!stamped) {
      const std::string caption =
          Translate("HeaderDefDoesntExists.Title", "Keine Skript-Ausführung");
      const std::string text = TranslateFmt(
          "HeaderDefDoesntExists.AskIfCreate",
          "Der \"header.def\"-Eintrag in den Einstellungen weist auf die Datei \"%s\", welche "
          "allerdings nicht existiert. Soll eine leere Datei mit diesem Namen angelegt werden, "
          "um diese Warnmeldung in Zukunft zu vermeiden?",
          {name});
      if (Prompter().MessageBox(text, caption, mb::YesNo | mb::IconQuestion) == id::Yes)
        CreateEmptyFile(name);
      stamped = RegularFileStatus(NativePath(name), stamp);
    }
    if (stamped) {
      // Kept only after a read, which refuses another user's file.
      std::vector<TZeile> kept;
      if (stamped && TakeKeptScript(name, stamp, kept)) {
        AssignLines(std::move(kept));
      } else {
        std::vector<std::string> lines;
        LoadEditorTextFile(name, lines);
        SetLines(name, lines);
        // Stamped before the reading: a change while reading makes the
        // stamp differ next time.
        if (stamped && Settled(stamp)) KeepScript(name, stamp, Lines());
      }
    }
  }

  // Include depth of every line of the expanded script, kept beside the lines.
  std::vector<int> depth(static_cast<size_t>(Count()), 0);
  int i = 0;
  int expansions = 0;  // expansions made at position i
  std::string lastInclude;
  // Includes that recurse would fan out without end: the first one refused
  // stops every further expansion.
  bool refused = false;
  while (i < Count()) {
    std::string_view rest = TrimmedView(GetLine(i).Source());
    CurrentLine = i + 1;
    const bool isInclude = !refused && StartsWithKeyword("Do Include", rest);
    if (isInclude && expansions < MaxIncludeDepth && depth[i] < MaxIncludeDepth) {
      if (!StepAllowed()) break;
      std::string s(rest);
      std::string fileName;
      if (!InterpreteString(s, fileName)) {
        IncludeReportFile("Fehler",
                          FromUtf8("DoInclude.FilenameMissed: Nach \"Do Include\" muß noch der "
                                   "gewünschte Dateiname folgen"),
                          {}, s, expansions);
        ScriptError("DoInclude.FilenameMissed",
                    "Nach \"Do Include\" muß noch der gewünschte Dateiname folgen", s);
      }
      lastInclude = ExpandFileName(fileName);
      const int before = Count();
      try {
        IncludeFile(i, NativePath(lastInclude));
      } catch (const std::exception& e) {
        IncludeReportFile("EXCEPTION", e.what(), lastInclude, {}, expansions);
        throw;
      }
      const int added = Count() - before;
      const int inner = depth[i] + 1;
      depth.insert(depth.begin() + i + 1, static_cast<size_t>(added), inner);
      depth[i] = inner;
      ++expansions;
      continue;
    }
    if (isInclude) {
      IncludeReportFile("Abort", FromUtf8("maximale Include-Tiefe überschritten!"), lastInclude,
                        {}, expansions);
      refused = true;
    }
    ++i;
    expansions = 0;
  }
}

// ---------------------------------------------------------------------------
// Subs and labels

bool TVQSkript::FindSub(std::string_view name, int& index, std::string& params) const {
  const std::string target = "Sub " + std::string(name);
  for (int i = 0; i < Count(); ++i) {
    const std::string_view source = TrimmedView(GetLine(i).Source());
    if (!StartsText(target, source)) continue;
    if (source.size() > target.size()) {
      const char next = source[target.size()];
      if (next != ' ' && next != '\t' && next != '(') continue;
    }
    index = i;
    std::string rest = Trim(source.substr(target.size()));
    std::string inner;
    std::string group = rest;
    if (rest.empty())
      params.clear();
    else if (SplitParenArgs(group, inner, true))
      params = inner;
    else
      params = rest;
    return true;
  }
  return false;
}

bool TVQSkript::FindLabel(std::string_view name, int& index) const {
  const std::string target = ":" + LowerCase(name);
  for (int i = 0; i < Count(); ++i) {
    const TZeile& line = GetLine(i);
    if (line.Kind() == LineKind::Label && LowerCase(Trim(line.Source())) == target) {
      index = i;
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// Entry points

void TVQSkript::LeaveAllSubs() {
  for (;;) {
    const int before = Variables->Count();
    Variables->LeaveSub();
    if (Variables->Count() == before) break;
  }
}

// Every entry point starts without open subs or loops; a quit or an end choice
// of the previous one must not leave its frames behind. Globals stay.
void TVQSkript::BeginEntryPoint() {
  ControlStack.Clear();
  LeaveAllSubs();
  IfDepth = 0;
  IfState[0] = 1;
  IfTaken[0] = 0;
  RunState = RunStates::Running;
}

void TVQSkript::EndEntryPoint() {
  ControlStack.Clear();
  LeaveAllSubs();
}

void TVQSkript::RunLoop(bool whileStackOpen) {
  while ((!whileStackOpen || !ControlStack.Empty()) && CurrentLine <= Count() &&
         RunState != RunStates::Ended) {
    if (!StepAllowed()) {
      RunState = RunStates::Ended;
      break;
    }
    ExecuteStep();
  }
}

bool TVQSkript::RunCheckAbort() {
  int index = 0;
  std::string params;
  if (!FindSub("CheckAbort", index, params)) return false;
  BeginEntryPoint();
  Variables->Declare("ABORT", VarType::Boolean);
  Variables->EnterSub("CheckAbort", {}, {}, {}, {});
  ControlStack.Push({"Sub CheckAbort", index, 0, 0, 1});
  CurrentLine = index + 2;
  RunLoop(true);
  EndEntryPoint();
  const TVarObj* abort = Variables->Find("ABORT");
  return abort != nullptr && abort->AsBoolean();
}

int32_t TVQSkript::RunSubMain() {
  BeginEntryPoint();
  Variables->Declare("EXITCODE", VarType::Integer);
  int index = 0;
  std::string params;
  if (FindSub("main", index, params)) {
    Variables->EnterSub("main", {}, {}, {}, {});
    ControlStack.Push({"Sub main", index, 0, 0, 1});
    CurrentLine = index + 2;
    RunLoop(true);
  } else {
    CurrentLine = 1;
    RunLoop(false);
  }
  EndEntryPoint();
  const TVarObj* exitCode = Variables->Find("Exitcode");
  return exitCode != nullptr ? CheckedRound(exitCode->AsFloat()) : 0;
}

void TVQSkript::RunAfterAll(const std::string& oldFilename, const std::string& newFilename) {
  int index = 0;
  std::string params;
  if (!FindSub("AfterAll", index, params)) return;
  BeginEntryPoint();
  Variables->Declare("OldFilename", VarType::String)->SetString(oldFilename);
  Variables->Declare("NewFilename", VarType::String)->SetString(newFilename);
  ControlStack.Push({"Sub AfterAll", index, 0, 0, 1});
  CurrentLine = index + 2;
  RunLoop(true);
  EndEntryPoint();
}

// ---------------------------------------------------------------------------

bool TVQSkript::IsChanged() const {
  if (Article->Header.Changed) return true;
  for (int i = 0; i < Article->Parts.Count(); ++i) {
    TMIMEPart* part = Article->Parts.Items(i);
    if (!LinesToAppend.empty()) return true;
    // Lists that were never parsed cannot have changed; fetching the signature
    // must not forget that a delimiter was seen.
    if (part->HeaderParsed && part->Header().Changed) return true;
    if (part->BodyParsed) {
      const bool sigFound = part->SigFound;
      const bool sigChanged = part->Sig().Changed;
      part->SigFound = sigFound;
      if (part->Body().Changed || sigChanged) return true;
    }
  }
  return false;
}

void TVQSkript::ScriptError(std::string_view id, std::string_view germanDefault,
                            const std::string& token) {
  ShowScriptInfo(Translate(id, germanDefault), token);
}

void TVQSkript::ScriptErrorFmt(std::string_view id, std::string_view germanDefault,
                               const std::vector<std::string>& args, const std::string& token) {
  std::vector<FmtArg> fmtArgs(args.begin(), args.end());
  ShowScriptInfo(TranslateFmt(id, germanDefault, fmtArgs), token);
}
