#include "uDriver.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "FileWalk.h"
#include "Process.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uEinstellungen.h"
#include "uTransla.h"

bool CopyIfMode = false;
int32_t RunExitCode = 0;

namespace {

std::vector<std::string> gArgs;
TDriverHost gHost = TDriverHost::Runner;
TFileHandler gFileHandler;

// The profile being corrected; KorrigiereDatei works on it.
TVQEinstellungen* gSettings = nullptr;

void HandleFile(const std::string& fileName) {
  if (gFileHandler)
    gFileHandler(fileName);
  else
    KorrigiereDatei(fileName);
}

void CreateProfileArticle(const TVQEinstellungen& settings);
void FreeProfileArticle();

// Frees the profile's message object however the profile's step ends.
struct TProfileArticle {
  explicit TProfileArticle(const TVQEinstellungen& settings) { CreateProfileArticle(settings); }
  ~TProfileArticle() { FreeProfileArticle(); }
  TProfileArticle(const TProfileArticle&) = delete;
  TProfileArticle& operator=(const TProfileArticle&) = delete;
};

enum class TNewProfile { Create, Skip, EndRun };

// The user is asked before an unknown profile is created.
TNewProfile ConfirmNewProfile(const std::string& name) {
  int answer = Prompter().MessageBox(
      TranslateFmt("ConfigDoesntExist.AskForAutomaticCreation",
                   "Der Abschnitt \"%s\", welcher ausgeführt werden soll, existiert in der "
                   "aktuellen tidelarn.ini noch nicht. Soll er jetzt automatisch angelegt werden?",
                   {name}),
      Translate("ConfigDoesntExist.Title", "Unbekannter Abschnitt"),
      mb::YesNoCancel | mb::IconQuestion);
  if (answer == id::Cancel) return TNewProfile::EndRun;
  return answer == id::No ? TNewProfile::Skip : TNewProfile::Create;
}

void CorrectDirectory(const TVQEinstellungen& settings) {
  if (!DirExists(settings.MessagePath))
    throw Exception(TranslateFmt("WorkpathDoesntExists.Error",
                                 "Das Arbeitsverzeichnis \"%s\" existiert nicht!",
                                 {settings.MessagePath}));
  if (!DirExists(settings.FilePath))
    throw Exception(TranslateFmt("FilepathDoesntExists.Error",
                                 "Das Dateiverzeichnis \"%s\" existiert nicht!",
                                 {settings.FilePath}));
  // A sorted snapshot: files the corrections create are not corrected again,
  // and files that vanished meanwhile are skipped.
  const std::string dir = NativePath(settings.MessagePath);
  TFileWalk walk(dir, "*." + settings.CheckFilesWithExtension);
  std::string name;
  while (walk.Next(name)) HandleFile(dir + name);
}

void CorrectProfiles(const TCommandLineMode& mode, const std::vector<std::string>& args) {
  auto settings = std::make_unique<TVQEinstellungen>();
  struct TCurrent {
    explicit TCurrent(TVQEinstellungen* s) { gSettings = s; }
    ~TCurrent() { gSettings = nullptr; }
  } current(settings.get());

  for (int i = 1; i <= mode.Count; ++i) {
    const std::string& name =
        mode.ProfileOverride.empty() ? args[size_t(i) - 1] : mode.ProfileOverride;
    // Refused before the question: such a name would be written as a broken
    // section header and could never be read back.
    if (!IsValidProfileName(name))
      throw Exception(TranslateFmt("ConfigName.Invalid",
                                   "Der Profilname \"%s\" kann nicht als Abschnitt in der "
                                   "tidelarn.ini stehen.",
                                   {name}));
    settings->IniFileName = ProgramDir() + "Tidelarn.ini";
    settings->Section = name;
    if (!settings->SectionExists()) {
      TNewProfile answer = ConfirmNewProfile(name);
      if (answer == TNewProfile::EndRun) return;
      if (answer == TNewProfile::Skip) continue;
    }
    settings->Load(false);
    TProfileArticle article(*settings);
    if (!mode.ProfileOverride.empty())
      HandleFile(mode.FileName);
    else
      CorrectDirectory(*settings);
  }
}

void RunMode(const std::vector<std::string>& args) {
  TCommandLineMode mode = ParseCommandLineMode(args, gHost == TDriverHost::ConfigProgram);
  switch (mode.Mode) {
    case TRunMode::CopyIf:
      RunCopyIf();
      return;
    case TRunMode::ShowError:
      ReceiveShowErrorHandover(args[1]);
      return;
    case TRunMode::InputBox:
      ReceiveInputBoxHandover(args[1]);
      return;
    case TRunMode::SingleFile:
    case TRunMode::Profiles:
      CorrectProfiles(mode, args);
      return;
  }
}

std::string CurrentExceptionMessage() {
  try {
    throw;
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return {};
  }
}

// The configuration program keeps a report of every failed command-line run.
void WriteRunReport(const std::vector<std::string>& args) {
  std::vector<std::pair<std::string, std::string>> paras;
  for (size_t i = 0; i < args.size() && i < 3; ++i)
    paras.emplace_back("Para " + IntToStr(int64_t(i) + 1), args[i]);
  WriteExceptionReport(CurrentExceptionMessage(), "call TidelarnRun", "", paras);
}

}  // namespace

void SetCommandLine(std::vector<std::string> args) { gArgs = std::move(args); }

void SetCommandLine(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  SetCommandLine(std::move(args));
}

const std::vector<std::string>& CommandLine() { return gArgs; }

int ParamCount() { return int(gArgs.size()); }

std::string ParamStr(int index) {
  return index >= 1 && size_t(index) <= gArgs.size() ? gArgs[size_t(index) - 1] : std::string();
}

void SetDriverHost(TDriverHost host) { gHost = host; }
TDriverHost DriverHost() { return gHost; }

int RunnerProcessExitCode() { return ClampExitCode(RunExitCode); }

bool IsCorrectionCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  const std::string& first = args[0];
  if (StartsStr("-", first) || StartsStr("/", first)) return false;
  return first != "?";
}

TCommandLineMode ParseCommandLineMode(const std::vector<std::string>& args,
                                      bool receivesHandovers) {
  TCommandLineMode m;
  m.Count = int(args.size());
  if (!args.empty() && LowerCase(args[0]) == "copyif") {
    m.Mode = TRunMode::CopyIf;
    return m;
  }
  if (m.Count == 2 && LowerCase(Copy(args[0], 1, 5)) == "type:" &&
      LowerCase(Copy(args[1], 1, 9)) == "filename:") {
    m.Mode = TRunMode::SingleFile;
    m.ProfileOverride = CopyFrom(args[0], 6);
    m.FileName = CopyFrom(args[1], 10);
    m.Count = 1;
    return m;
  }
  if (m.Count == 2 && receivesHandovers) {
    if (args[0] == "#ShowError#") m.Mode = TRunMode::ShowError;
    if (args[0] == "#InputBox#") m.Mode = TRunMode::InputBox;
  }
  return m;
}

bool IsValidProfileName(const std::string& name) {
  if (name.find_first_of("]\r\n") != std::string::npos) return false;
  return name.empty() || ((unsigned char)name.front() > ' ' && (unsigned char)name.back() > ' ');
}

void DispatchCommandLine() {
  if (!IsCorrectionCommandLine(gArgs)) return;
  RunCorrector();
  std::exit(0);
}

void RunCorrector() {
  const std::vector<std::string> args = gArgs;
  CopyIfMode = !args.empty() && LowerCase(args[0]) == "copyif";
  try {
    RunMode(args);
  } catch (...) {
    if (gHost == TDriverHost::ConfigProgram) WriteRunReport(args);
    throw;
  }
}

void SetFileHandler(TFileHandler handler) { gFileHandler = std::move(handler); }

// ===========================================================================
// The profile's message object and the per-file routine. The message model
// fills these in: the object is made with the internal charset and the
// profile's BodyCharsets and HeaderCharsets and takes ConvertToSigDelimiter,
// SafeReg1 and SafeReg2; KorrigiereDatei loads one file into it, corrects it
// and acts on its last action. Until then a file is only visited.

namespace {

void CreateProfileArticle(const TVQEinstellungen& /*settings*/) {}

void FreeProfileArticle() {}

}  // namespace

void KorrigiereDatei(const std::string& /*FileName*/) {}

// ===========================================================================
// Entry points of other units, not built yet.

namespace {

void ReportNotAvailable(const char* what) {
  std::fprintf(stderr, "%s: not available in this build\n", what);
}

}  // namespace

void RunCopyIf() { ReportNotAvailable("copyif"); }

void ReceiveShowErrorHandover(const std::string& /*fileName*/) {
  ReportNotAvailable("#ShowError#");
}

void ReceiveInputBoxHandover(const std::string& /*fileName*/) { ReportNotAvailable("#InputBox#"); }
