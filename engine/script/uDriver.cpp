#include "uDriver.h"

#include <cxxabi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <typeinfo>

#include "FileWalk.h"
#include "IniFile.h"
#include "Process.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "TidelarnVersion.h"
#include "uArtikel.h"
#include "uCharsets.h"
#include "uCopyIf.h"
#include "uHandOver.h"
#include "uEinstellungen.h"
#include "uHeader.h"
#include "uKorrigiereArtikel.h"
#include "uTools.h"
#include "uTransla.h"

namespace {

std::vector<std::string> gArgs;
TDriverHost gHost = TDriverHost::Runner;
TFileHandler gFileHandler;
// The run the profile being corrected belongs to; its scripts are served by it.
TCorrectionRun* gRun = nullptr;

// The profile being corrected; KorrigiereDatei works on it.
TVQEinstellungen* gSettings = nullptr;
// Saves of a sweep that complete together (null: every save completes at once).
TReplacementBatch* gSaveBatch = nullptr;
// Set when the run passed over a message or a folder it could not handle: it
// then ends with exit code 1, whatever the scripts set.
bool gPassedOver = false;

// Names what the sweep passes over; the run goes on.
void PassOver(const std::string& text) {
  SayOnStderr(text);
  gPassedOver = true;
}

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
  // A folder whose status cannot be read is no missing folder: that reason.
  if (!DirectoryExistsChecked(settings.MessagePath))
    throw Exception(TranslateFmt("WorkpathDoesntExists.Error",
                                 "Das Arbeitsverzeichnis \"%s\" existiert nicht!",
                                 {settings.MessagePath}));
  if (!DirectoryExistsChecked(settings.FilePath))
    throw Exception(TranslateFmt("FilepathDoesntExists.Error",
                                 "Das Dateiverzeichnis \"%s\" existiert nicht!",
                                 {settings.FilePath}));
  // A sorted snapshot: files the corrections create are not corrected again,
  // and files that vanished meanwhile are skipped.
  // The folder as checked (another user's link on the way raises), not where
  // the name leads by the time each message is read.
  const std::string dir = ResolveLinks(NativePath(settings.MessagePath));
  // A folder that cannot be listed or a message whose status cannot be read
  // is never taken for "no message there".
  TFileWalk walk(dir, "*." + settings.CheckFilesWithExtension,
                 [](const std::string& path, int err, bool folder) {
                   PassOver(folder ? FolderReadErrorText(path, err) : ReadErrorText(path, err));
                 });
  std::string name;
  // The sweep's saves become durable in batches. A failure on the way still
  // completes the saves made before it. A sweep over ".bak" files saves each
  // at once: a save removes or replaces the backup, which may be a message
  // still to come.
  TReplacementBatch batch;
  struct TCurrentBatch {
    explicit TCurrentBatch(TReplacementBatch* b) { gSaveBatch = b; }
    ~TCurrentBatch() { gSaveBatch = nullptr; }
  } current(SameText(settings.CheckFilesWithExtension, "bak") ? nullptr : &batch);
  try {
    // One message that cannot be read or saved does not stop the others.
    while (walk.Next(name)) {
      try {
        HandleFile(dir + name);
      } catch (const EMessageFileError& e) {
        // A message a server took away after the listing is no failure.
        struct stat st {};
        if (lstat((dir + name).c_str(), &st) != 0 && errno == ENOENT) continue;
        PassOver(e.Message());
      }
    }
  } catch (...) {
    try {
      batch.Complete();
    } catch (...) {
    }
    throw;
  }
  batch.Complete();
}

void CorrectProfiles(const TCommandLineMode& mode, const std::vector<std::string>& args,
                     TCorrectionRun& run) {
  auto settings = std::make_unique<TVQEinstellungen>();
  struct TCurrent {
    TCurrent(TVQEinstellungen* s, TCorrectionRun* r) {
      gSettings = s;
      gRun = r;
    }
    ~TCurrent() {
      gSettings = nullptr;
      gRun = nullptr;
    }
  } current(settings.get(), &run);

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
    settings->IniFileName = SettingsDir() + "Tidelarn.ini";
    settings->Section = name;
    // Read once for the check and the load, unless a question came between.
    auto profiles = std::make_unique<TIniFileUTF8>(settings->IniFileName);
    if (!settings->SectionExists(*profiles)) {
      profiles.reset();
      TNewProfile answer = ConfirmNewProfile(name);
      if (answer == TNewProfile::EndRun) return;
      if (answer == TNewProfile::Skip) continue;
    }
    if (profiles)
      settings->Load(false, *profiles);
    else
      settings->Load(false);
    profiles.reset();
    TProfileArticle article(*settings);
    if (!mode.ProfileOverride.empty())
      HandleFile(mode.FileName);
    else
      CorrectDirectory(*settings);
  }
}

void RunMode(const std::vector<std::string>& args, TCorrectionRun& run) {
  TCommandLineMode mode = ParseCommandLineMode(args, gHost == TDriverHost::ConfigProgram);
  switch (mode.Mode) {
    case TRunMode::CopyIf:
      // A walk that failed must not read as success to whoever started the run.
      if (!TCopyIfRun(run.Hamster, &run.ExitCode).RunCopyIf()) run.ExitCode = 1;
      return;
    case TRunMode::ShowError:
      ReceiveShowErrorHandover(args[1]);
      return;
    case TRunMode::InputBox:
      ReceiveInputBoxHandover(args[1]);
      return;
    case TRunMode::SingleFile:
    case TRunMode::Profiles:
      CorrectProfiles(mode, args, run);
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

int RunnerProcessExitCode(int32_t runExitCode) { return ClampExitCode(runExitCode); }

bool IsCorrectionCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  const std::string& first = args[0];
  if (StartsStr("-", first) || StartsStr("/", first)) return false;
  return first != "?";
}

std::string ProgramVersion() {
  return DriverHost() == TDriverHost::Runner ? TIDELARN_RUNNER_VERSION : TIDELARN_VERSION;
}

void StartEngineUnits() {
  // Read once for the three units that take settings from it.
  TIniFileUTF8 specials("Specials.ini");
  InitTranslation(specials);
  GetCSInfos();  // refuses to run without charsets.dat
  // The box-quote styles of the settings count characters through the string hooks.
  InitInternalCharset(specials);
  InitEinstellungen(ProgramVersion(), specials);
  InitHeaderOrder();
  InstallArticleCorrection();
}

namespace {

std::string ClassName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace

int ShowApplicationError(std::string_view module) {
  std::string className = "Exception", message;
  try {
    throw;
  } catch (const Exception& e) {
    className = ClassName(typeid(e));
    message = e.Message();
  } catch (const std::exception& e) {
    className = ClassName(typeid(e));
    message = e.what();
  } catch (...) {
  }
  if (!message.empty() && message.back() != '.') message += '.';
  // No code address is known for a C++ exception; the field keeps its place.
  std::string text = "Exception " + className + " in Modul " + std::string(module) +
                     " bei 00000000.\n" + message;
  Prompter().MessageBox(text, FromUtf8("Anwendungsfehler"), mb::Ok | mb::IconStop | mb::TaskModal);
  return 1;
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
  // The scripts' exit codes are the runner's; a message passed over is not.
  std::exit(gPassedOver ? 1 : 0);
}

int32_t RunCorrector() {
  const std::vector<std::string> args = gArgs;
  TCorrectionRun run;
  gPassedOver = false;
  // Each folder a run renames files in is synced once, when the run ends.
  TFolderSyncs folderSyncs;
  try {
    RunMode(args, run);
  } catch (...) {
    if (gHost == TDriverHost::ConfigProgram) WriteRunReport(args);
    throw;
  }
  return gPassedOver ? 1 : run.ExitCode;
}

void SetFileHandler(TFileHandler handler) { gFileHandler = std::move(handler); }

// ===========================================================================
// The profile's message object and the per-file routine.

namespace {

// The message object of the running profile, made when its first file comes
// and reused for every further file of the profile.
std::unique_ptr<TArtikel> gArticle;
const TVQEinstellungen* gArticleSettings = nullptr;
TArticleScriptFactory gScriptFactory;

void CreateProfileArticle(const TVQEinstellungen& settings) {
  gArticle.reset();
  gArticleSettings = &settings;
}

void FreeProfileArticle() {
  gArticle.reset();
  gArticleSettings = nullptr;
}

TArtikel& ProfileArticle() {
  if (!gArticleSettings)
    throw Exception(Translate("KorrigiereDatei.NoProfile", "Es ist kein Profil geladen."));
  if (!gArticle) {
    const TVQEinstellungen& settings = *gArticleSettings;
    gArticle = std::make_unique<TArtikel>(InternalCharsetName(), settings.BodyCharsets,
                                          settings.HeaderCharsets);
    gArticle->SigDelimiter = settings.ConvertToSigDelimiter;
    gArticle->SafeReg1 = settings.SafeReg1;
    gArticle->SafeReg2 = settings.SafeReg2;
  }
  return *gArticle;
}

// The correction of an article (the script and the automatic corrections)
// comes with the script engine; until then an article keeps its text and
// takes only its last action from the profile.
class TUncorrected final : public TArticleScript {
public:
  TUncorrected(TVQEinstellungen& settings, TArtikel& article) : settings_(settings), article_(article) {}
  bool Correct() override {
    article_.LastAction = settings_.EndAction;
    return false;
  }
  void AfterAll(const std::string&, const std::string&) override {}
  bool LooksAtSavedFile() const override { return false; }

private:
  TVQEinstellungen& settings_;
  TArtikel& article_;
};

// The file being handled: its name, and the name Sub AfterAll hears of.
struct TMessageFile {
  TArtikel& Article;
  const TVQEinstellungen& Settings;
  std::string FileName;
  std::string NewFilename;

  bool TestRun() const { return !Settings.DontChangeRenameToExtension.empty(); }
  std::string TestFileName() const {
    return ChangeFileExt(FileName, "." + Settings.DontChangeRenameToExtension);
  }
};

// A batch is completed at the latest at this many files or bytes, so that a
// long sweep keeps few files open and little data unsynced.
constexpr size_t kBatchFiles = 128;
constexpr size_t kBatchBytes = size_t(32) << 20;

// The final text goes to a temporary file first; Name is replaced only once
// it is complete and durable, so a full disk leaves the old file as it was.
// BeforeReplace runs between the two, AfterReplace after the rename. With
// Batch the data is synced later, together with the batch's other files.
void WriteArticleFile(TMessageFile& f, const std::string& name, TReplacementBatch* batch = nullptr,
                      std::function<void()> beforeReplace = {},
                      std::function<void()> afterReplace = {}) {
  f.Article.SetLines = f.Settings.SetLines;
  TTextPieces text;
  f.Article.GetFinalPieces(text);
  TReplaceOptions options;
  const bool testFile = name != f.FileName;
  if (testFile) {
    // The test file: a link of its name is replaced, never written through,
    // so that whatever it leads to (the message, say) stays as it is.
    options.followLinks = false;
    struct stat st {};
    const bool exists = lstat(name.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
      throw EMessageFileError(WriteErrorText(name, S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
    // A new test file takes the message's mode.
    if (!exists || S_ISLNK(st.st_mode)) options.modeFrom = f.FileName;
    // Another user's link to a folder on the way is not followed either.
    const std::string folder = ExtractFilePath(name);
    if (folder.size() > 1) ResolveLinks(folder.substr(0, folder.size() - 1));
  }
  auto file = std::make_unique<TReplacementFile>(name, options);
  if (f.Article.LineEndsLFOnly) {
    text.ForEach([&](std::string_view piece) { file->WriteWithoutCR(piece); });
  } else {
    std::vector<std::string_view> pieces;
    pieces.reserve(text.Count());
    text.ForEach([&](std::string_view piece) { pieces.push_back(piece); });
    file->WritePieces(pieces);
  }
  if (batch) {
    file->FinishUnsynced();
    batch->Add(std::move(file), std::move(beforeReplace), std::move(afterReplace));
    if (batch->Count() >= kBatchFiles || batch->Bytes() >= kBatchBytes) batch->Complete();
    return;
  }
  file->Finish();
  if (beforeReplace) beforeReplace();
  try {
    file->Commit();
  } catch (const EInOutError& e) {
    // What holds the test file's name and may not be replaced (another
    // user's file or link in a sticky folder) costs only this message.
    if (testFile) throw EMessageFileError(e.Message());
    throw;
  }
  if (afterReplace) afterReplace();
}

// The status of the entry Path (not followed); false when there is none. A
// status that cannot be read is no answer: guessing could cost the original,
// so the message is passed over, named.
bool EntryStatus(const std::string& path, struct stat& st) {
  if (lstat(path.c_str(), &st) == 0) return true;
  if (errno == ENOENT) return false;
  throw EMessageFileError(ReadErrorText(path, errno));
}

bool IsSymlink(const std::string& path) {
  struct stat st {};
  return EntryStatus(path, st) && S_ISLNK(st.st_mode);
}

// Whether the entry Name (not followed) is the file Message leads to, by the
// files' identity: links, absolute or relative, and chains all count.
bool IsFileOfMessage(const std::string& name, const std::string& message) {
  struct stat entry {}, file {};
  if (!EntryStatus(name, entry)) return false;
  if (stat(message.c_str(), &file) != 0) throw EMessageFileError(ReadErrorText(message, errno));
  return entry.st_dev == file.st_dev && entry.st_ino == file.st_ino;
}

// A backup that outlives its message's next save would be taken for the
// previous text: the run goes on, but the user hears of it.
void RemoveOldBackup(const std::string& bak) {
  if (unlink(bak.c_str()) == 0 || errno == ENOENT) return;
  const int err = errno;
  SayOnStderr(TranslateFmt("OldBackupNotRemoved",
                           "Die alte Sicherungskopie %s kann nicht gelöscht werden",
                           {bak}) +
              " (" + ErrorReason(err) + ")");
}

void SaveArticle(TMessageFile& f, TReplacementBatch* batch) {
  const std::string bak = ChangeFileExt(f.FileName, ".bak");
  // A message that itself ends in ".bak" is never deleted as its own backup.
  // A link of the backup's name (to the message or not) is no backup: it is
  // replaced by one.
  const bool bakIsMessage = bak == f.FileName || (SameFile(bak, f.FileName) && !IsSymlink(bak));
  if (f.TestRun()) {
    const std::string target = f.TestFileName();
    // A test run never changes the message's file through another name. (A
    // test extension that is the message's own names the message itself: the
    // save then overwrites it, as that profile asks.)
    if (target != f.FileName && IsFileOfMessage(target, f.FileName))
      throw EMessageFileError(TranslateFmt(
          "TestFileIsMessage",
          "Die Testdatei %s wird nicht geschrieben: sie ist die Datei der Nachricht %s",
          {target, f.FileName}));
    f.NewFilename = target;
    WriteArticleFile(f, target);
    if (!bakIsMessage && !SameFile(bak, target)) RemoveOldBackup(bak);
    return;
  }
  // The new text would replace the backup the link leads to, and with it the
  // only copy of the original.
  if (bak != f.FileName && IsSymlink(f.FileName) && IsFileOfMessage(bak, f.FileName))
    throw EMessageFileError(TranslateFmt(
        "MessageIsItsBackup",
        "Die Nachricht %s wird nicht gespeichert: sie ist eine Verknüpfung auf ihre "
        "Sicherungskopie %s",
        {f.FileName, bak}));
  // Another user's link as the message is named, and the sweep goes on.
  try {
    ResolveLinks(f.FileName);
  } catch (const EInOutError& e) {
    throw EMessageFileError(e.Message());
  }
  const bool makeBak = f.Settings.MakeBak && !bakIsMessage;
  const std::string fileName = f.FileName;
  WriteArticleFile(
      f, f.FileName, batch,
      // A backup that cannot be made keeps the message as it is and ends the run.
      [=] {
        if (makeBak) MakeBackup(fileName, bak);
      },
      // An older backup goes only now that the new text is in place.
      [=] {
        if (!makeBak && !bakIsMessage) RemoveOldBackup(bak);
      });
}

void CopyToTestFile(TMessageFile& f) {
  const std::string target = f.TestFileName();
  CopyFileIfAbsent(f.FileName, target);
  // The unchanged message is at the test name when a copy is there, else
  // still at its own.
  f.NewFilename = FileExists(target) ? target : f.FileName;
}

void DeleteMessageFile(TMessageFile& f) {
  // Sub AfterAll hears of a deletion only when the file is really gone.
  if (unlink(f.FileName.c_str()) == 0 || errno == ENOENT) f.NewFilename.clear();
}

}  // namespace

void SetArticleScriptFactory(TArticleScriptFactory factory) { gScriptFactory = std::move(factory); }

void KorrigiereDatei(const std::string& FileName) {
  TArtikel& article = ProfileArticle();
  try {
    article.LoadFromFile(FileName);
  } catch (const EInOutError& e) {
    throw EMessageFileError(e.Message());
  }
  TMessageFile file{article, *gSettings, FileName, FileName};
  std::unique_ptr<TArticleScript> script =
      gScriptFactory ? gScriptFactory(ExtractFileName(FileName), *gSettings, article, *gRun)
                     : std::make_unique<TUncorrected>(*gSettings, article);
  const bool changed = script->Correct();
  // A save may wait for its batch only when this script cannot look at the
  // saved file afterwards; otherwise the saves before it complete first.
  TReplacementBatch* batch = gSaveBatch;
  if (batch && script->LooksAtSavedFile()) {
    batch->Complete();
    batch = nullptr;
  }
  switch (article.LastAction) {
    case 0:  // Save Changes
      if (changed || file.TestRun()) SaveArticle(file, batch);
      break;
    case 1:  // Cancel Changes
      if (file.TestRun()) CopyToTestFile(file);
      break;
    case 2:  // Delete
      if (!file.TestRun()) DeleteMessageFile(file);
      break;
    case 3:  // Sig Headers: saved signed, changed or not
      SaveArticle(file, batch);
      break;
    default:
      break;
  }
  script->AfterAll(FileName, file.NewFilename);
}

// ===========================================================================
// The configuration program's side of the runner's hand-overs. Both answer in
// the runner's own file and never delete it: the runner does.

void ReceiveShowErrorHandover(const std::string& fileName) {
  // A file that cannot be opened or whose head is unreadable leaves as an
  // exception, without an answer: the runner then ends the script.
  THandOverReader reader(ReadHandOverFile(fileName));
  TErrorDisplay display;
  ReadShowErrorHead(reader, display);

  int continueLine = 0;
  int state = ErrorChoice::End;
  try {
    ReadShowErrorLists(reader, display);
    continueLine = display.continueLine;
    state = Prompter().ShowErrorOrDebug(display);
  } catch (...) {
    Prompter().MessageBox(
        TranslateFmt("OnlyVQErrorDataNotReadable",
                     "Fehler beim Auslesen der von Only_VQ übergebenene Fehlerdaten, "
                     "Fehlermeldung selber war: \"%s\"",
                     {display.errorMsg}),
        "", mb::Ok);
    continueLine = 0;
    state = ErrorChoice::End;
  }
  RewriteHandOverFile(fileName, FormatShowErrorAnswer(continueLine, state));
}

void ReceiveInputBoxHandover(const std::string& fileName) {
  try {
    // Writing the answer must not create a file the runner no longer waits for.
    if (!FileExists(TIniFile(fileName).FileName()))
      throw EInOutError(FromUtf8("Datei kann nicht geöffnet werden: ") + fileName);
    TInputBoxRequest request = ReadInputBoxRequest(fileName);
    std::string value = request.preset;
    if (!Prompter().InputBox(request.title, request.prompt, value)) value = request.preset;
    WriteInputBoxAnswer(fileName, value);
  } catch (...) {
    WriteExceptionReport(CurrentExceptionMessage(), "create: #InputBox#", fileName);
    throw;
  }
}
