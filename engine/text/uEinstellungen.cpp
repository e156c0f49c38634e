#include "uEinstellungen.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <thread>

#include "ProgramDir.h"
#include "Prompter.h"
#include "Registry.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "TempFile.h"
#include "uCharsets.h"
#include "uTools.h"
#include "uTransla.h"

TSpecialSettings Specials;
std::array<TBoxQuote, BoxQuoteStyles> BoxQuotes;
TFootnoteSettings Footnotes;

namespace {

// The INI object that Load holds open for GetParam; one load at a time.
TIniFileUTF8* gIni = nullptr;
// False when the object names no file: defaults are then used, not written.
bool gWriteBackAllowed = false;

// The first key a load wrote back, named in the report when the write fails.
struct TWriteBack {
  bool any = false;
  std::string section, key, def;
};
TWriteBack gWriteBack;

// A setting kept in one byte. A number that does not fit reads as the
// default, as a value that is no number does: cut to its low byte it would
// become another setting (EndAction=258 would delete the message).
uint8_t ReadByte(const TIniFile& ini, std::string_view section, std::string_view key,
                 uint8_t def) {
  const int32_t v = ini.ReadInteger(section, key, def);
  return v >= 0 && v <= 255 ? uint8_t(v) : def;
}

class TIniSlot {
public:
  TIniSlot(TIniFileUTF8& ini, bool writeBack) {
    gIni = &ini;
    gWriteBackAllowed = writeBack;
    gWriteBack = {};
  }
  ~TIniSlot() {
    gIni = nullptr;
    gWriteBackAllowed = false;
  }
  TIniSlot(const TIniSlot&) = delete;
  TIniSlot& operator=(const TIniSlot&) = delete;
};

// A report value stays on one line: line breaks become blanks, not a cut.
std::string OneLine(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c == '\r' || c == '\n') c = ' ';
  return r;
}

// Writes the keys that a load wrote back; a failure is reported and swallowed,
// as the defaults are in force in memory anyway. A lost write (the lock was
// held, the disk is full) is said on stderr too: the run's exit code stays
// the script's, and a report file alone goes unnoticed.
void FlushWriteBacks(TIniFileUTF8& ini) {
  try {
    ini.UpdateFile();
  } catch (const std::exception& e) {
    SayOnStderr(e.what());
    WriteExceptionReport(
        e.what(), "TEinstellungen.GetParam - Write Default", ini.FileName(),
        {{"Abschn", gWriteBack.section}, {"Bez", gWriteBack.key}, {"Def", gWriteBack.def}});
  }
}

bool IsFlag(const std::string& v) { return v == "1"; }

// The whole file; a failing open or read raises EInOutError. Text files are
// named by profiles and scripts: where others may write, theirs are refused.
std::string ReadTextFile(const std::string& path) {
  std::string text;
  if (int err = ReadTrustedFile(path, text))
    throw EInOutError(TranslateFmt("LoadTextFile.Error",
                                   "Die Datei \"%s\" kann nicht gelesen werden (%s)",
                                   {path, ErrorReason(err)}));
  return text;
}

// The first charset of the tables and their first preset list: what empty
// charset values of Specials.ini stand for.
std::string CharsetZeroName() {
  const TCSInfo* first = GetCSInfos().Items(0);
  return first ? first->Name : std::string();
}

std::string FirstCharsetSet() {
  const std::vector<std::string>& sets = GetCSInfos().Sets;
  return sets.empty() ? std::string() : sets.front();
}

std::vector<std::string> TrimmedPieces(std::string_view text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    std::string piece = Trim(text.substr(start, comma - start));
    if (!piece.empty()) out.push_back(std::move(piece));
    start = comma + 1;
  }
  return out;
}

// Highest N of the keys "DelXHeader-N" in the section or among the overrides.
int64_t HighestDelXHeaderKey(const TIniFile& ini, std::string_view section,
                             const std::vector<std::string>& overrideKeys) {
  int64_t highest = 0;
  auto consider = [&](std::string_view key) {
    if (key.size() <= 11 || !StartsText("DelXHeader-", key)) return;
    int64_t n;
    if (TryStrToInt64(key.substr(11), n) && n > highest) highest = n;
  };
  for (const auto& key : ini.ReadSection(section)) consider(key);
  for (const auto& key : overrideKeys) consider(key);
  return highest;
}

}  // namespace

// ---------------------------------------------------------------------------
// Small routines

void SplitToStrings(std::string_view text, std::vector<std::string>& list, char separator,
                    bool clear) {
  if (clear) list.clear();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view piece = text.substr(start, end - start);
    if (!piece.empty()) {
      bool known = false;
      for (const auto& have : list) known = known || SameText(have, piece);
      if (!known) list.emplace_back(piece);
    }
    start = end + 1;
  }
}

std::string JoinWithComma(const std::vector<std::string>& list, char /*separator*/) {
  std::string out;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i) out += ',';
    out += list[i];
  }
  return out;
}

std::string NormalizeDesignators(std::string_view text) {
  // The same walk as SplitToStrings: the item list is the result.
  std::vector<std::string> kept;
  SplitToStrings(text, kept, ',', true);
  return JoinWithComma(kept);
}

std::string ExpandProgramPath(std::string_view path) {
  bool rooted = !path.empty() && (path[0] == '\\' || path[0] == '/');
  bool drive = path.size() >= 2 && path[1] == ':';
  std::string result = rooted || drive ? std::string(path) : SettingsDir() + std::string(path);
  if (!result.empty() && result.back() != '/' && result.back() != '\\') result += '/';
  return result;
}

std::string LeftText(std::string_view s, int64_t n) {
  if (n <= 0) return {};
  return std::string(s.substr(0, size_t(std::min<int64_t>(n, int64_t(s.size())))));
}

std::string RightText(std::string_view s, int64_t n) {
  if (n >= int64_t(s.size())) return std::string(s);
  if (n <= 0) return {};
  return std::string(s.substr(s.size() - size_t(n)));
}

bool DirExists(std::string_view path) { return DirectoryExists(NativePath(path)); }

void ShowInfoBox(const std::string& text) {
  Prompter().MessageBox(text, "", mb::Ok | mb::IconInformation);
}

std::string MakeTempFileNameSettings() { return CreateUniqueFile(SettingsDir(), "VQ-", ".tmp"); }

std::string WriteReportFile(std::string_view message, const std::function<void(TIniFile&)>& fill) {
  std::string report;
  std::string why;
  try {
    report = MakeTempFileNameSettings();
    {
      TIniFile ini(report);
      ini.WritesAlone();
      fill(ini);
      ini.UpdateFile();
    }
    return report;
  } catch (const std::exception& e) {
    why = e.what();
  } catch (...) {
  }
  if (why.empty()) why = ErrorReason(0);
  // A report must never replace the failure it reports, and an empty one
  // would tell nothing.
  if (!report.empty()) {
    if (TMemoryFiles* memory = MemoryFiles())
      memory->files.erase(report);
    else
      unlink(report.c_str());
  }
  SayOnStderr(TranslateFmt("ReportNotWritten",
                           "Ein Fehlerbericht kann nicht geschrieben werden (%s). Er meldet: %s",
                           {why, OneLine(message)}));
  return {};
}

std::string WriteExceptionReport(std::string_view message, std::string_view reason,
                                 std::string_view fileName,
                                 const std::vector<std::pair<std::string, std::string>>& extra) {
  return WriteReportFile(message, [&](TIniFile& ini) {
    ini.WriteString("EXCEPTION", "Message", OneLine(message));
    ini.WriteString("EXCEPTION", "DateTime", LocalTimeText("%d.%m.%Y %H:%M:%S"));
    ini.WriteString("EXCEPTION", "Reason", OneLine(reason));
    if (!fileName.empty()) ini.WriteString("EXCEPTION", "Filename", OneLine(fileName));
    for (const auto& kv : extra) ini.WriteString("EXCEPTION", kv.first, OneLine(kv.second));
  });
}

namespace {

void LoadLines(std::string_view fileName, std::vector<std::string>& lines, bool editorText) {
  // A script may name a file whose save is still pending.
  CompletePendingReplacements();
  std::string path = NativePath(fileName);
  // Made at the first retry only: seeding asks the processor, which is slow
  // in a virtual machine, and nearly every read succeeds at once.
  std::optional<std::mt19937> random;
  for (int attempt = 1;; ++attempt) {
    try {
      std::string text = ReadTextFile(path);
      if (editorText) text = EditorTextToInternal(std::move(text));
      lines = SplitLines(text);
      return;
    } catch (const EUntrustedFile&) {
      // Refused, not failed: trying again would refuse it again.
      throw;
    } catch (const std::exception& e) {
      // Asked only now: nearly every file read is there.
      if (!FileExistsChecked(path)) {
        lines.clear();
        return;
      }
      const char* reason = "LoadTextFile TStriongs.LoadFromFile";
      WriteExceptionReport(e.what(), reason, fileName, {{"Versuch", IntToStr(attempt)}});
      if (attempt >= 21) {
        WriteExceptionReport(e.what(), reason, fileName);
        throw;
      }
    }
    // Another process may be rewriting the file: try again a moment later.
    if (!random) random.emplace(std::random_device{}());
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(5, 99)(*random)));
  }
}

}  // namespace

void LoadTextFile(std::string_view fileName, std::vector<std::string>& lines) {
  LoadLines(fileName, lines, false);
}

void LoadEditorTextFile(std::string_view fileName, std::vector<std::string>& lines) {
  LoadLines(fileName, lines, true);
}

// ---------------------------------------------------------------------------
// TEinstellungen

TEinstellungen::TEinstellungen() = default;
TEinstellungen::~TEinstellungen() = default;

bool TEinstellungen::SectionExists() const { return SectionExists(TIniFile(IniFileName)); }

bool TEinstellungen::SectionExists(const TIniFile& ini) const {
  return ini.SectionHasKeys(Section);
}

void TEinstellungen::CheckSectionName() const {
  // Outer blanks would never match the trimmed name read back, so every load
  // would append the section anew.
  if (Section.empty() || Section != Trim(Section) ||
      Section.find_first_of("]\r\n") != std::string::npos)
    throw Exception(TranslateFmt("Einstellungen.InvalidSection",
                                 "Der Abschnittsname \"%s\" ist ungültig", {OneLine(Section)}));
}

std::string TEinstellungen::GetParam(std::string_view section, std::string_view key,
                                     std::string_view def) {
  bool overridden;
  return GetParam(section, key, def, overridden);
}

std::string TEinstellungen::GetParam(std::string_view section, std::string_view key,
                                     std::string_view def, bool& overridden) {
  std::string value;
  // Presence, not a marker value, tells a missing key: any stored text is a value.
  if (!gIni || !gIni->ReadIfExists(section, key, value)) {
    value = std::string(def);
    if (gIni && gWriteBackAllowed) {
      try {
        gIni->WriteDefault(section, key, def);
        if (!gWriteBack.any)
          gWriteBack = {true, std::string(section), std::string(key), std::string(def)};
      } catch (const std::exception& e) {
        WriteExceptionReport(e.what(), "TEinstellungen.GetParam - Write Default", gIni->FileName(),
                             {{"Abschn", std::string(section)},
                              {"Bez", std::string(key)},
                              {"Def", std::string(def)}});
      }
    }
  }
  overridden = false;
  if (OverrideKeys.empty()) return value;
  std::string lower = LowerCase(key);
  for (size_t i = 0; i < OverrideKeys.size() && i < OverrideValues.size(); ++i) {
    if (OverrideKeys[i] != lower) continue;
    value = OverrideValues[i];
    overridden = true;
    break;
  }
  return value;
}

// ---------------------------------------------------------------------------
// TVQEinstellungen

TVQEinstellungen::TVQEinstellungen() = default;
TVQEinstellungen::~TVQEinstellungen() = default;

void TVQEinstellungen::SetDefaults() {
  doDebugOutput = 0;
  AutoFunctions = true;
  CheckMIMEHeaders = false;
  CheckReplaceSubject8Bits = false;
  CheckQuotes = false;
  SetLines = false;
  CheckQuotesDoNotChangeAfterSigDelimiter = true;
  CheckSubjectKillWasAfterRe = false;
  AllowXHeader = false;
  AllowAnyHeader = false;
  DeleteEmptyLines = false;
  CheckFromReplyFormat = false;
  HamsterheaderFirst = false;
  RecreateRCPT_To = false;
  KillOEWordWraps = false;
  DefaultEncoding = 0;
  ConvertBoxQuotes = false;
  ConvertFootnotes = false;
  ConvertReFormats = false;
  RightTrimLines = false;
  HTML2Text = false;
  SaveHTMLAs = kDefaultHtmlCopies;
  SaveAttachments = false;
  ActionIfAttExists = 0;
  EndAction = 0;
  SaveAttachmentsDir = kDefaultAttachmentsDir;
  ConvertBase64 = false;
  Convert8Bit = false;
  ConvertQP = false;
  MinBodyCharset = false;
  ConvertOneLiners = false;
  ConvertToSigDelimiter.clear();
  DelDoubleRe = false;
  ConvertToRe = "AW,Antwort,Re^2,Re^3,Re^4";
  SigFile.clear();
  DelAtBegin.clear();
  SortHeader.clear();
  BodyCharsets.clear();
  HeaderCharsets.clear();
  MaxReferencesLength = 0;
  FoldingReferences = false;
  SetDateHeader = 0;
  DelXHeader.clear();
}

void TVQEinstellungen::Load(bool raw) {
  CheckSectionName();
  if (IniFileName.empty()) {
    // Without a file name the defaults are used: an object of no file.
    TIniFileUTF8 ini{TIniText{}};
    Load(raw, ini);
    return;
  }
  TIniFileUTF8 ini(IniFileName);
  Load(raw, ini);
}

void TVQEinstellungen::Load(bool raw, TIniFileUTF8& ini) {
  CheckSectionName();
  TIniSlot slot(ini, !IniFileName.empty());
  const std::string& s = Section;
  auto flag = [&](const char* key, const char* def) { return IsFlag(GetParam(s, key, def)); };
  auto integer = [&](const char* key, const char* def) { return StrToInt(GetParam(s, key, def)); };
  // Not a profile value of its own: a plain read, no write-back, no override.
  auto byteValue = [&](const char* key) { return ReadByte(ini, s, key, 0); };

  doDebugOutput = integer("doDebugOutput", "0");
  AutoFunctions = flag("AutoFunctions", "1");
  CheckMIMEHeaders = flag("CheckMIMEHeaders", "1");
  CheckReplaceSubject8Bits = flag("CheckReplaceSubject8Bits", "0");
  CheckQuotes = flag("CheckQuotes", "1");
  SetLines = flag("SetLines", "1");
  CheckQuotesAddSpaceBetweenQuoteAndText = flag("CheckQuotes-AddSpaceBetweenQuoteAndText", "1");
  CheckQuotesAddSpaceBetweenDifferentQuoteChars =
      flag("CheckQuotes-AddSpaceBetweenDifferentQuoteChars", "1");
  CheckQuotesAllowedQuoteChars =
      StringReplace(GetParam(s, "CheckQuotes-AllowedQuoteChars", ">|"), " ", "");
  CheckQuotesDoNotChangeBegin = GetParam(s, "CheckQuotes-DoNotChange-Begin", "-----BEGIN PGP*");
  CheckQuotesDoNotChangeEnd = GetParam(s, "CheckQuotes-DoNotChange-End", "-----END PGP*");
  CheckQuotesDoNotChangeAfterSigDelimiter = flag("CheckQuotes-DoNotChangeAfterSigDelimiter", "1");
  CheckSubjectKillWasAfterRe = flag("CheckSubjectKillWasAfterRe", "1");
  AllowXHeader = flag("AllowXHeader", "1");
  AllowAnyHeader = flag("AllowAnyHeader", "0");
  DeleteEmptyLines = flag("DeleteEmptyLines", "1");
  CheckFromReplyFormat = flag("CheckFromReplyFormat", "0");
  BlankBeforeSig = flag("BlankBeforeSig", "0");
  BlankBeforeLines = flag("BlankBeforeLines", "1");
  HamsterheaderFirst = flag("HamsterheaderFirst", "1");
  RecreateRCPT_To = flag("RecreateRCPT_To", "0");
  RecreateRCPT_To_Always = flag("RecreateRCPT_To_Always", "0");
  KillOEWordWraps = flag("KillOEWordWraps", "0");
  RightTrimLines = flag("RightTrimLines", "0");
  HTML2Text = flag("HTML2Text", "0");
  SaveHTMLAs = GetParam(s, "SaveHTMLAs", "");
  if (SaveHTMLAs.empty()) SaveHTMLAs = kDefaultHtmlCopies;
  SaveAttachments = flag("SaveAttachments", "0");
  SaveAttachmentsDir = GetParam(s, "SaveAttachmentsDir", kDefaultAttachmentsDir);
  ActionIfAttExists = byteValue("ActionIfAttExists");
  EndAction = byteValue("EndAction");
  DefaultEncoding = integer("DefaultEncoding", "0");
  ConvertBase64 = flag("ConvertBase64", "0");
  Convert8Bit = flag("Convert8Bit", "0");
  ConvertQP = flag("ConvertQP", "0");
  MinBodyCharset = flag("MinBodyCharset", "0");
  ConvertBoxQuotes = flag("ConvertBoxQuotes", "0");
  ConvertFootnotes = flag("ConvertFootnotes", "0");
  ConvertReFormats = flag("ConvertReFormats", "0");
  ConvertOneLiners = flag("ConvertOneLiners", "0");
  ConvertToSigDelimiter = GetParam(s, "ConvertToSigDelimiter", "");

  bool reOverridden, answerOverridden;
  ConvertToRe =
      NormalizeDesignators(GetParam(s, "ConvertToRe", "AW,Antwort,Re^2,Re^3,Re^4", reOverridden));
  std::string answer = GetParam(s, "AnswerDesignators", "", answerOverridden);
  if (!answer.empty()) {
    if (!ConvertToRe.empty()) ConvertToRe += ',';
    ConvertToRe = NormalizeDesignators(ConvertToRe + answer);
    // The legacy key moves into ConvertToRe once; a script's override of either
    // key is in force for this run only and never reaches the file.
    if (!reOverridden && !answerOverridden && !IniFileName.empty()) {
      ini.WriteString(s, "AnswerDesignators", "");
      ini.WriteString(s, "ConvertToRe", ConvertToRe);
    }
  }

  DelDoubleRe = flag("DelDoubleRe", "1");
  CheckFilesWithExtension = GetParam(s, "CheckFilesWithExtension", "msg");
  DontChangeRenameToExtension = GetParam(s, "DontChangeRenameToExtension", "");
  MessagePath = GetParam(s, "MessagePath", "");
  if (!raw) MessagePath = ExpandProgramPath(MessagePath);
  FilePath = GetParam(s, "FilePath", "");
  if (!raw) FilePath = ExpandProgramPath(FilePath);
  HeaderDef = GetParam(s, "Header.def", "Header.def");
  SigFile = GetParam(s, "SigFile", "");
  DelAtBegin = GetParam(s, "DelAtBegin", "");
  SortHeader = GetParam(s, "SortHeader", "");
  BodyCharsets = GetParam(s, "BodyCharsets", "");
  if (!raw && BodyCharsets.empty()) BodyCharsets = Specials.DefBody;
  HeaderCharsets = GetParam(s, "HeaderCharsets", "");
  if (!raw && HeaderCharsets.empty()) HeaderCharsets = Specials.DefHeader;
  MaxReferencesLength = StrToInt("0" + GetParam(s, "MaxReferencesLength", "512"));
  FoldingReferences = flag("FoldingReferences", "0");
  SetDateHeader = integer("SetDateHeader", "0");
  GMT = UpCase(GetParam(s, "DateHeaderType", "Local").c_str()[0]) == 'G';
  SafeReg1 = integer("SafeReg1", "0");
  SafeReg2 = integer("SafeReg2", "0");

  SplitToStrings(GetParam(s, "KillMessageIDBegins", ""), KillMessageIDBegins, ',', true);
  const std::pair<const char*, const char*> addSources[] = {
      {"Plimsort.ini", "Settings"}, {"CopyIf.ini", "Settings"}, {"win.ini", "Wexs Tools"}};
  for (const auto& [file, section] : addSources) {
    TIniFile other(file);
    SplitToStrings(other.ReadString(section, "AddToMessageID", ""), KillMessageIDBegins, ',',
                   false);
  }

  DelXHeader.clear();
  int32_t count = integer("DelXHeader", "0");
  // Only numbers that can hold a value are visited: a mistyped huge count must
  // not fill the file with empty keys.
  // The highest key is never below 0: without a count no key need be looked for.
  int64_t last =
      count <= 0 ? count : std::min<int64_t>(count, HighestDelXHeaderKey(ini, s, OverrideKeys));
  for (int64_t i = 1; i <= last; ++i) {
    std::string name = GetParam(s, "DelXHeader-" + IntToStr(i), "");
    if (!name.empty() && UpperCase(Copy(name, 1, 2)) == "X-") DelXHeader.push_back(std::move(name));
  }

  MakeBak = flag("MakeBak", "0");
  FlushWriteBacks(ini);
}

void TVQEinstellungen::WriteSettings() {
  try {
    CheckSectionName();
    TIniFileUTF8 ini(IniFileName);
    const std::string& s = Section;
    auto str = [&](const char* key, std::string_view value) { ini.WriteString(s, key, value); };
    auto num = [&](const char* key, int64_t value) { ini.WriteString(s, key, IntToStr(value)); };
    auto flag = [&](const char* key, bool value) { ini.WriteString(s, key, value ? "1" : "0"); };

    num("doDebugOutput", doDebugOutput);
    flag("AutoFunctions", AutoFunctions);
    flag("CheckMIMEHeaders", CheckMIMEHeaders);
    flag("CheckReplaceSubject8Bits", CheckReplaceSubject8Bits);
    flag("CheckQuotes", CheckQuotes);
    flag("CheckQuotes-AddSpaceBetweenQuoteAndText", CheckQuotesAddSpaceBetweenQuoteAndText);
    flag("CheckQuotes-AddSpaceBetweenDifferentQuoteChars",
         CheckQuotesAddSpaceBetweenDifferentQuoteChars);
    flag("SetLines", SetLines);
    str("CheckQuotes-AllowedQuoteChars", CheckQuotesAllowedQuoteChars);
    str("CheckQuotes-DoNotChange-Begin", CheckQuotesDoNotChangeBegin);
    str("CheckQuotes-DoNotChange-End", CheckQuotesDoNotChangeEnd);
    flag("CheckQuotes-DoNotChangeAfterSigDelimiter", CheckQuotesDoNotChangeAfterSigDelimiter);
    flag("CheckSubjectKillWasAfterRe", CheckSubjectKillWasAfterRe);
    flag("AllowXHeader", AllowXHeader);
    flag("AllowAnyHeader", AllowAnyHeader);
    flag("DeleteEmptyLines", DeleteEmptyLines);
    flag("CheckFromReplyFormat", CheckFromReplyFormat);
    flag("BlankBeforeSig", BlankBeforeSig);
    flag("BlankBeforeLines", BlankBeforeLines);
    flag("HamsterheaderFirst", HamsterheaderFirst);
    flag("RecreateRCPT_To", RecreateRCPT_To);
    flag("RecreateRCPT_To_always", RecreateRCPT_To_Always);
    flag("KillOEWordWraps", KillOEWordWraps);
    flag("RightTrimLines", RightTrimLines);
    flag("HTML2Text", HTML2Text);
    str("SaveHTMLAs", SaveHTMLAs);
    flag("SaveAttachments", SaveAttachments);
    str("SaveAttachmentsDir", SaveAttachmentsDir);
    num("ActionIfAttExists", ActionIfAttExists);
    num("EndAction", EndAction);
    num("DefaultEncoding", DefaultEncoding);
    flag("ConvertBase64", ConvertBase64);
    flag("Convert8Bit", Convert8Bit);
    flag("ConvertQP", ConvertQP);
    flag("MinBodyCharset", MinBodyCharset);
    flag("ConvertBoxQuotes", ConvertBoxQuotes);
    flag("ConvertFootnotes", ConvertFootnotes);
    flag("ConvertReFormats", ConvertReFormats);
    flag("ConvertOneliners", ConvertOneLiners);
    str("ConvertToSigDelimiter", ConvertToSigDelimiter);
    str("ConvertToRe", ConvertToRe);
    flag("DelDoubleRe", DelDoubleRe);
    str("CheckFilesWithExtension", CheckFilesWithExtension);
    str("DontChangeRenameToExtension", DontChangeRenameToExtension);
    str("MessagePath", MessagePath);
    str("FilePath", FilePath);
    str("Header.def", HeaderDef);
    str("SigFile", SigFile);
    str("DelAtBegin", DelAtBegin);
    str("SortHeader", SortHeader);
    str("BodyCharsets", BodyCharsets);
    str("HeaderCharsets", HeaderCharsets);
    num("MaxReferencesLength", MaxReferencesLength);
    flag("FoldingReferences", FoldingReferences);
    num("SetDateHeader", SetDateHeader);
    str("DateHeaderType", GMT ? "GMT" : "Local");
    str("KillMessageIDBegins", JoinWithComma(KillMessageIDBegins, ','));
    num("SafeReg1", SafeReg1);
    num("SafeReg2", SafeReg2);
    num("DelXHeader", int64_t(DelXHeader.size()));
    for (size_t i = 0; i < DelXHeader.size(); ++i)
      str(("DelXHeader-" + IntToStr(int64_t(i) + 1)).c_str(), DelXHeader[i]);
    flag("MakeBak", MakeBak);
    ini.UpdateFile();
  } catch (const std::exception& e) {
    WriteExceptionReport(e.what(), "TVQEinstellungen.WriteSettings", IniFileName);
    throw;
  }
}

// ---------------------------------------------------------------------------
// TCIEinstellungen

TCIEinstellungen::TCIEinstellungen() {
  IniFileName = GetIniFileName();
  Section = "Settings";
}

TCIEinstellungen::~TCIEinstellungen() = default;

std::string TCIEinstellungen::GetIniFileName() { return SettingsFile("CopyIf.ini"); }

void TCIEinstellungen::Load() {
  TIniFileUTF8 ini(GetIniFileName());
  TIniSlot slot(ini, true);
  Loaded = true;
  Simulate = true;
  auto flag = [&](const char* section, const char* key, const char* def) {
    return IsFlag(GetParam(section, key, def));
  };
  // Pieces between the commas as they stand: an empty text keeps the list.
  auto groups = [&](const char* key, std::string& text, std::vector<std::string>& list) {
    text =
        GetParam("Settings", key,
                 key == std::string_view("IgnoreGroups") ? "^local\\.,^internal\\.,\\.all$" : "");
    if (text.empty()) return;
    list.clear();
    size_t start = 0;
    for (;;) {
      size_t comma = text.find(',', start);
      list.push_back(
          text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  };

  CopyIfExist = flag("Settings", "CopyIfExist", "0");
  MailInfo = flag("Settings", "MailInfo", "1");
  CheckXPostingsOnlyOnce = flag("Settings", "CheckXPostingsOnlyOnce", "1");
  NewGroups_TestMax = StrToInt(GetParam("Settings", "NewGroups_TestMax", "100"));
  TestMaxPostings = StrToInt(GetParam("Settings", "TestMaxPostings", "0"));
  groups("IgnoreGroups", IgnoreGroups, IgnoreGroupsList);
  groups("DontIgnoreGroups", DontIgnoreGroups, DontIgnoreGroupsList);
  AddToMessageID = GetParam("Settings", "AddToMessageID", "");
  ShowResultAlways = flag("Display", "ShowResultAlways", "0");
  ShowResultIfAction = flag("Display", "ShowResultIfAction", "1");
  ShowResultIfCounter = flag("Display", "ShowResultIfCounter", "1");
  ShowOnlyCounterGreaterThanNull = flag("Display", "ShowOnlyCounterGreaterThanNull", "1");
  ShowTaskBarEntry = flag("Display", "ShowTaskBarEntry", "1");
  ShowFoundedPostingsWhenSimulate = flag("Display", "ShowFoundedPostingsWhenSimulate", "1");
  FlushWriteBacks(ini);
}

// ---------------------------------------------------------------------------
// Specials.ini

void LoadSpecials() { LoadSpecials(TIniFileUTF8("Specials.ini")); }

void LoadSpecials(const TIniFile& ini) {
  TSpecialSettings& sp = Specials;
  sp.OnelinerBegin = ini.ReadString("Oneliner", "Begin", "OL:");
  sp.OnelinerEnd = ini.ReadString("Oneliner", "End", "#");
  sp.ReformatBegin = ini.ReadString("Reformat", "Begin", "RF:");
  sp.ReformatEnd = ini.ReadString("Reformat", "End", "#");
  sp.InternalCharset = ini.ReadString("Charsets", "Internal", "");
  if (sp.InternalCharset.empty()) sp.InternalCharset = CharsetZeroName();
  sp.DefBody = ini.ReadString("Charsets", "DefBody", "");
  if (sp.DefBody.empty()) sp.DefBody = FirstCharsetSet();
  sp.DefHeader = ini.ReadString("Charsets", "DefHeader", "");
  if (sp.DefHeader.empty()) sp.DefHeader = FirstCharsetSet();
  // The adapter shipped beside the programs stands in for the PGP program.
  sp.PGPExe = ini.ReadString("PGP", "exe", SiblingProgram("pgp"));
  sp.PGPSigPars = ini.ReadString("PGP", "sigpars", "-sat %1 -o %2 -u \"IDName\" -z\"Passphrase\"");
  sp.SigHeaders1 = ini.ReadString("PGP", "sigheaders1", "Subject,Date,From,Newsgroups,Followup-To");
  sp.SigHeaders2 =
      ini.ReadString("PGP", "sigheaders2", "Message-ID,Sender,Approved,Control,Supersedes");
  sp.SignedHeaders1 = TrimmedPieces(sp.SigHeaders1);
  sp.SignedHeaders2 = TrimmedPieces(sp.SigHeaders2);
}

void WriteExtraSettings() {
  try {
    TIniFileUTF8 ini("Specials.ini");
    const TSpecialSettings& sp = Specials;
    ini.WriteString("Oneliner", "Begin", sp.OnelinerBegin);
    ini.WriteString("Oneliner", "End", sp.OnelinerEnd);
    ini.WriteString("Reformat", "Begin", sp.ReformatBegin);
    ini.WriteString("Reformat", "End", sp.ReformatEnd);
    ini.WriteString("Charsets", "Internal", sp.InternalCharset);
    ini.WriteString("Charsets", "DefBody", sp.DefBody);
    ini.WriteString("Charsets", "DefHeader", sp.DefHeader);
    ini.WriteString("PGP", "exe", sp.PGPExe);
    ini.WriteString("PGP", "sigpars", sp.PGPSigPars);
    ini.WriteString("PGP", "sigheaders1", sp.SigHeaders1);
    ini.WriteString("PGP", "sigheaders2", sp.SigHeaders2);
    ini.UpdateFile();
  } catch (const std::exception& e) {
    WriteExceptionReport(e.what(), "WriteExtraSettings", "Specials.ini");
    throw;
  }
}

// ---------------------------------------------------------------------------
// BoxQuotes.ini

namespace {

std::string BoxSection(int style) { return "BQ#" + IntToStr(style); }

// Blanks at either end survive the INI file only between two "#".
std::string ReadFramed(const TIniFile& ini, const std::string& section, const char* key,
                       std::string_view def) {
  std::string v = ini.ReadString(section, key, "");
  int len = hooks::Length(v);
  if (len > 2 && hooks::Copy(v, 1, 1) == "#" && hooks::Copy(v, len, 1) == "#")
    v = hooks::Copy(v, 2, len - 2);
  return v.empty() ? std::string(def) : v;
}

}  // namespace

void LoadBoxQuotes() {
  TIniFileUTF8 ini("BoxQuotes.ini");
  for (int n = 1; n <= BoxQuoteStyles; ++n) {
    TBoxQuote& bq = BoxQuotes[n - 1];
    std::string sec = BoxSection(n);
    bq.BoxType = ReadByte(ini, sec, "BQType", 0);
    bq.FromFlag = ini.ReadString(sec, "BQFrom", "T") == "F";
    bq.StartLine = ini.ReadString(sec, "BQStartLine", "boxquote" + IntToStr(n) + ":");
    bq.SepLine = ini.ReadString(sec, "BQSepLine", "-");
    bq.EndLine = ini.ReadString(sec, "BQEndLine", "#");
    std::string graphics = ini.ReadString(sec, "BQGraphics", "");
    if (hooks::Length(graphics) == 8) {
      bq.TopLeft = hooks::Copy(graphics, 1, 1);
      bq.Top = hooks::Copy(graphics, 2, 1);
      bq.TopRight = hooks::Copy(graphics, 3, 1);
      bq.Left = hooks::Copy(graphics, 4, 1);
      bq.Right = hooks::Copy(graphics, 5, 1);
      bq.BottomLeft = hooks::Copy(graphics, 6, 1);
      bq.Bottom = hooks::Copy(graphics, 7, 1);
      bq.BottomRight = hooks::Copy(graphics, 8, 1);
    } else {
      if (hooks::Length(graphics) != 2) graphics = "--";
      bq.Top = hooks::Copy(graphics, 1, 1);
      bq.Bottom = hooks::Copy(graphics, 2, 1);
      bq.TopLeft = ReadFramed(ini, sec, "BQTopLeft", " ,");
      bq.TopRight = ReadFramed(ini, sec, "BQTopRight", ".");
      bq.Left = ReadFramed(ini, sec, "BQLeft", "| ");
      bq.Right = ReadFramed(ini, sec, "BQRight", " |");
      bq.BottomLeft = ReadFramed(ini, sec, "BQBottomLeft", " `");
      bq.BottomRight = ReadFramed(ini, sec, "BQBottomRight", FromUtf8("´ "));
    }
    bq.WidthTop = ini.ReadInteger(sec, "BQWidthTop", 4);
    bq.WidthDown = ini.ReadInteger(sec, "BQWidthDown", 4);
    bq.Title = ReadFramed(ini, sec, "BQTitle", "# [ @ ] #");
    bq.Valid = !bq.StartLine.empty() && !bq.SepLine.empty() && !bq.EndLine.empty();
  }
}

void WriteBoxQuoteSettings() {
  try {
    TIniFileUTF8 ini("BoxQuotes.ini");
    for (int n = 1; n <= BoxQuoteStyles; ++n) {
      TBoxQuote& bq = BoxQuotes[n - 1];
      bq.Valid = !bq.StartLine.empty() && !bq.SepLine.empty() && !bq.EndLine.empty();
      std::string sec = BoxSection(n);
      auto framed = [&](const char* key, const std::string& v) {
        ini.WriteString(sec, key, "#" + v + "#");
      };
      ini.WriteString(sec, "BQFrom", bq.FromFlag ? "F" : "T");
      ini.WriteInteger(sec, "BQType", bq.BoxType);
      ini.WriteString(sec, "BQStartLine", bq.StartLine);
      ini.WriteString(sec, "BQSepLine", bq.SepLine);
      ini.WriteString(sec, "BQEndLine", bq.EndLine);
      ini.WriteString(sec, "BQGraphics", bq.Top + bq.Bottom);
      framed("BQTopLeft", bq.TopLeft);
      framed("BQTopRight", bq.TopRight);
      framed("BQLeft", bq.Left);
      framed("BQRight", bq.Right);
      framed("BQBottomLeft", bq.BottomLeft);
      framed("BQBottomRight", bq.BottomRight);
      ini.WriteInteger(sec, "BQWidthTop", bq.WidthTop);
      ini.WriteInteger(sec, "BQWidthDown", bq.WidthDown);
      framed("BQTitle", bq.Title);
    }
    ini.UpdateFile();
  } catch (const std::exception& e) {
    WriteExceptionReport(e.what(), "WriteBoxQuoteSettings", "BoxQuotes.ini");
    throw;
  }
}

// ---------------------------------------------------------------------------
// Footnote.ini

void LoadFootnotes() {
  TIniFileUTF8 ini("Footnote.ini");
  TFootnoteSettings& fn = Footnotes;
  const char* sec = "Footnotes";
  fn.Position = ReadByte(ini, sec, "FNPos", 1);
  fn.Title = ini.ReadString(sec, "FNTitle", FromUtf8("Fußnoten:"));
  fn.Underline = ini.ReadBool(sec, "FNUnderline", true);
  fn.TitleEmptyLine = ini.ReadBool(sec, "FNTitleEmptyLine", false);
  fn.UnderlineChar = (ini.ReadString(sec, "FNUnderlineWith", "") + "=")[0];
  fn.BeginMark = ini.ReadString(sec, "FNBegin", "(FN:");
  fn.EndMark = ini.ReadString(sec, "FNEnd", "#)");
  fn.LineBreakMark = ini.ReadString(sec, "FNToCRLF", "///");
  fn.WrapWidth = ini.ReadInteger(sec, "FNWordWrapAfter", 72);
  fn.Valid = fn.BeginMark != fn.EndMark && !fn.BeginMark.empty() && !fn.EndMark.empty();
}

void WriteFootNoteSettings() {
  try {
    TIniFileUTF8 ini("Footnote.ini");
    TFootnoteSettings& fn = Footnotes;
    fn.Valid = fn.BeginMark != fn.EndMark && !fn.BeginMark.empty() && !fn.EndMark.empty();
    const char* sec = "Footnotes";
    ini.WriteInteger(sec, "FNPos", fn.Position);
    ini.WriteString(sec, "FNTitle", fn.Title);
    ini.WriteString(sec, "FNBegin", fn.BeginMark);
    ini.WriteString(sec, "FNEnd", fn.EndMark);
    ini.WriteString(sec, "FNToCRLF", fn.LineBreakMark);
    ini.WriteInteger(sec, "FNWordWrapAfter", fn.WrapWidth);
    ini.WriteBool(sec, "FNUnderline", fn.Underline);
    ini.WriteBool(sec, "FNTitleEmptyLine", fn.TitleEmptyLine);
    ini.WriteString(sec, "FNUnderlineWith", std::string(1, fn.UnderlineChar));
    ini.UpdateFile();
  } catch (const std::exception& e) {
    WriteExceptionReport(e.what(), "WriteFootNoteSettings", "Footnote.ini");
    throw;
  }
}

// ---------------------------------------------------------------------------
// Start-up

void CreateDefaultProfiles() {
  if (FileExistsChecked(SettingsFile("Tidelarn.ini")) || !FileExistsChecked(SettingsFile("Hamster.ini")))
    return;
  TVQEinstellungen profile;
  profile.IniFileName = SettingsDir() + "Tidelarn.ini";
  profile.Section = "News";
  profile.Load(true);
  profile.MessagePath = "Groups\\News.Out";
  profile.WriteSettings();
  profile.Section = "Mails";
  profile.MessagePath = "Mails\\Mail.Out";
  profile.WriteSettings();
}

void RegisterInstallation(std::string_view version) {
  // Where the programs live, and the profile file of the settings folder.
  std::string dir = ProgramDir();
  std::string path = dir.size() > 1 && dir.back() == '/' ? dir.substr(0, dir.size() - 1) : dir;
  WriteRegistryRecord(version, path, SettingsDir() + "tidelarn.ini");
}

namespace {

int gInitCount = 0;

// Specials.ini is read here unless the caller has it.
void Init(std::string_view version, const TIniFile* specials) {
  if (gInitCount++ > 0) return;
  try {
    RegisterInstallation(version);
  } catch (...) {
    // Only a record for others.
  }
  Specials.SignedHeaders1.clear();
  Specials.SignedHeaders2.clear();
  if (specials)
    LoadSpecials(*specials);
  else
    LoadSpecials();
  LoadBoxQuotes();
  LoadFootnotes();
  CreateDefaultProfiles();
}

}  // namespace

void InitEinstellungen(std::string_view version) { Init(version, nullptr); }

void InitEinstellungen(std::string_view version, const TIniFile& specials) {
  Init(version, &specials);
}

void DoneEinstellungen() {
  if (gInitCount == 0 || --gInitCount > 0) return;
  Specials = TSpecialSettings{};
  BoxQuotes = {};
  Footnotes = TFootnoteSettings{};
}
