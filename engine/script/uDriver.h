// The correction driver: what both programs run when they are started with
// arguments. It picks the mode from the command line, walks the profiles named
// there and hands every message file of a profile to KorrigiereDatei.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "SysUtils.h"
#include "uHamster.h"

// ---------------------------------------------------------------------------
// The command line the driver reads: the arguments without the program name.
// Each program's main stores it before anything else runs.

void SetCommandLine(std::vector<std::string> args);
void SetCommandLine(int argc, const char* const* argv);
const std::vector<std::string>& CommandLine();
int ParamCount();
// Argument Index (1-based); empty outside 1..ParamCount.
std::string ParamStr(int index);

// ---------------------------------------------------------------------------
// Which program runs the driver. Only the configuration program receives the
// two hand-overs and writes an exception report when a run fails.

enum class TDriverHost { Runner, ConfigProgram };
void SetDriverHost(TDriverHost host);
TDriverHost DriverHost();
// The version text of the running program: the runner's or Tidelarn's.
std::string ProgramVersion();

// Starts the engine's units in the programs' order; the host must be set first.
void StartEngineUnits();
// Shows the exception being handled in the stop box "Anwendungsfehler" of
// Module and returns the exit code 1. Call it only from a catch block.
int ShowApplicationError(std::string_view module);

// ---------------------------------------------------------------------------
// The state of a run.

// What one RunCorrector keeps across the messages it corrects; the script
// objects it makes are served by it.
struct TCorrectionRun {
  // The news-server session: the CopyIf pass and the script commands that
  // reach the server share it, so a pattern is touched once per run.
  THamsterSession Hamster;
  // The runner's exit code: every article whose Sub main ran stores its
  // script variable Exitcode here; 0 until one did.
  int32_t ExitCode = 0;
};

// What the runner's process ends with: the run's exit code when it lies in
// 0..255, else 255, so that a failure never reads as success.
int RunnerProcessExitCode(int32_t runExitCode);

// ---------------------------------------------------------------------------
// Mode dispatch.

// The command-line test both programs make: true when there is a first
// argument, it begins with neither "-" nor "/", and it is not exactly "?".
// Otherwise the configuration program is what the user wants.
bool IsCorrectionCommandLine(const std::vector<std::string>& args);

enum class TRunMode { CopyIf, SingleFile, ShowError, InputBox, Profiles };

struct TCommandLineMode {
  TRunMode Mode = TRunMode::Profiles;
  // Single-file mode: the profile from "Type:" and the file from "Filename:".
  std::string ProfileOverride;
  std::string FileName;
  // How many arguments the profile loop counts (one in the single-file mode).
  int Count = 0;
};

// The mode of a command line, tested in this order: "copyif" as the first
// argument; exactly "Type:..." and "Filename:..." (prefixes in any case);
// exactly "#ShowError#" or "#InputBox#" and a file, when the host receives
// hand-overs; otherwise every argument is a profile name.
TCommandLineMode ParseCommandLineMode(const std::vector<std::string>& args, bool receivesHandovers);

// Tidelarn's test before any window exists: when the command line asks for a
// correction, runs it and ends the process with exit code 0.
void DispatchCommandLine();

// The whole run for the stored command line; returns the run's exit code.
// Errors leave it as exceptions (in the configuration program after an
// exception report is written).
int32_t RunCorrector();

// A profile name the INI file cannot hold as a section name (it holds "]",
// CR or LF, or begins or ends with white space that the file would lose).
bool IsValidProfileName(const std::string& name);

// ---------------------------------------------------------------------------
// The per-file routine: one message file with its full path. It loads the
// file into the profile's message object, lets the script side correct it and
// then acts on the message's last action: save changes (with a ".bak" copy
// when the profile says so), cancel changes, delete, or save signed. A test
// run (the profile's test extension) writes or copies to the test name and
// never touches the message file.
void KorrigiereDatei(const std::string& FileName);

// A message file that cannot be read, or that may not be written as asked (a
// link to its own backup, a test file that is the message's own file or whose
// name holds what may not be replaced, another user's link): a sweep names it
// on stderr, goes on with the other messages and ends with exit code 1; a
// single file ends the run with it.
class EMessageFileError : public EInOutError {
public:
  using EInOutError::EInOutError;
};

class TArtikel;
class TVQEinstellungen;

// The script side of one message file: made after the file is loaded, asked
// to correct the article (true when the message changed), told the file's old
// and new name after the file action (empty when it was deleted), and freed
// at the end, also when a step raised.
class TArticleScript {
public:
  virtual ~TArticleScript() = default;
  virtual bool Correct() = 0;
  virtual void AfterAll(const std::string& oldFilename, const std::string& newFilename) = 0;
  // Whether the script side may look at the saved file after the save (it
  // has a Sub AfterAll). Only when not, the save may complete later together
  // with others of a sweep.
  virtual bool LooksAtSavedFile() const { return true; }
};
using TArticleScriptFactory = std::function<std::unique_ptr<TArticleScript>(
    const std::string& scriptName, TVQEinstellungen& settings, TArtikel& article,
    TCorrectionRun& run)>;
// The script engine installs its own; tests put theirs in place. An empty
// factory restores the built-in one, which changes nothing.
void SetArticleScriptFactory(TArticleScriptFactory factory);

// Tests put an observer in place of KorrigiereDatei; an empty handler restores it.
using TFileHandler = std::function<void(const std::string& fileName)>;
void SetFileHandler(TFileHandler handler);

// ---------------------------------------------------------------------------
// The configuration program's receivers of the runner's hand-over files. Each
// shows its dialog through the installed prompter and writes the answer into
// the same file.

// Reads the request; an unreadable file or head raises (no answer is written).
// When the rest cannot be read or the display fails, a message box names the
// error and the answer is ContinueLine 0, End.
void ReceiveShowErrorHandover(const std::string& fileName);
// Asks for the text; Cancel keeps the preset. Any failure writes an exception
// report ("create: #InputBox#") and raises again; a missing file is a failure.
void ReceiveInputBoxHandover(const std::string& fileName);
