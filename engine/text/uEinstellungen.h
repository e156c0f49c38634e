// Settings: the correction profiles of Tidelarn.ini, the special settings files
// (Specials.ini, BoxQuotes.ini, Footnote.ini), the CopyIf settings and the
// registry record, with the small string and file routines that go with them.
//
// Profiles are read key by key; a key read for the first time is written back
// with its default, so loading a missing section creates it. Every write goes
// through the INI class, which refuses section names holding "]", CR or LF and
// cuts values at their first line break.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TIniFile;
class TIniFileUTF8;

// ---------------------------------------------------------------------------
// One section of one INI file.

class TEinstellungen {
public:
  TEinstellungen();
  virtual ~TEinstellungen();
  TEinstellungen(const TEinstellungen&) = delete;
  TEinstellungen& operator=(const TEinstellungen&) = delete;

  // Script overrides (Set Option): lower-case key names and the value for the
  // key at the same index. The script engine fills them for one Load and
  // empties them again; empty lists mean no overrides. Overrides are never
  // written to the file.
  std::vector<std::string> OverrideKeys;
  std::vector<std::string> OverrideValues;

  std::string IniFileName;  // full path of the INI file
  std::string Section;      // the profile name

  // True when the section holds at least one key; the second form asks a file
  // already read.
  bool SectionExists() const;
  bool SectionExists(const TIniFile& ini) const;

  // One value of the INI file that Load holds open: a missing key is written
  // back with Def and Def is the value; an attached override replaces the
  // value. Valid only while a Load of this unit runs.
  std::string GetParam(std::string_view section, std::string_view key, std::string_view def);

protected:
  // GetParam that also tells whether an override supplied the value.
  std::string GetParam(std::string_view section, std::string_view key, std::string_view def,
                       bool& overridden);
  // Refuses a section name the INI file cannot hold, before anything is written.
  void CheckSectionName() const;
};

// ---------------------------------------------------------------------------
// A correction profile: one section of Tidelarn.ini.

// Where attachments and the originals of converted HTML go unless the profile
// says otherwise; the last "*" of the pattern becomes a running number.
inline constexpr std::string_view kDefaultAttachmentsDir = "/tmp";
inline constexpr std::string_view kDefaultHtmlCopies = "/tmp/Original_*.html";

class TVQEinstellungen : public TEinstellungen {
public:
  TVQEinstellungen();
  ~TVQEinstellungen() override;

  // Flags.
  bool CheckMIMEHeaders = false;
  bool CheckReplaceSubject8Bits = false;
  bool CheckQuotes = false;
  // The keys "CheckQuotes-..." without their hyphens.
  bool CheckQuotesAddSpaceBetweenQuoteAndText = false;
  bool CheckQuotesAddSpaceBetweenDifferentQuoteChars = false;
  bool CheckQuotesDoNotChangeAfterSigDelimiter = false;
  bool CheckSubjectKillWasAfterRe = false;
  bool AllowXHeader = false;
  bool AllowAnyHeader = false;
  bool DelDoubleRe = false;
  bool FoldingReferences = false;
  bool GMT = false;  // DateHeaderType begins with "G"
  bool MakeBak = false;
  bool DeleteEmptyLines = false;
  bool BlankBeforeSig = false;
  bool BlankBeforeLines = false;
  bool HamsterheaderFirst = false;
  bool RecreateRCPT_To = false;
  bool SetLines = false;
  bool RecreateRCPT_To_Always = false;
  bool CheckFromReplyFormat = false;
  bool KillOEWordWraps = false;
  bool ConvertBoxQuotes = false;
  bool ConvertFootnotes = false;
  bool ConvertOneLiners = false;
  bool ConvertReFormats = false;
  bool RightTrimLines = false;
  bool MinBodyCharset = false;
  bool HTML2Text = false;
  bool ConvertBase64 = false;
  bool Convert8Bit = false;
  bool ConvertQP = false;
  bool SaveAttachments = false;
  bool AutoFunctions = false;

  // Strings.
  std::string ConvertToSigDelimiter;
  std::string CheckQuotesAllowedQuoteChars;  // CheckQuotes-AllowedQuoteChars
  std::string CheckQuotesDoNotChangeBegin;   // CheckQuotes-DoNotChange-Begin
  std::string CheckQuotesDoNotChangeEnd;     // CheckQuotes-DoNotChange-End
  std::string ConvertToRe;
  std::string CheckFilesWithExtension;
  std::string DontChangeRenameToExtension;
  std::string MessagePath;
  std::string FilePath;
  std::string HeaderDef;  // Header.def: the profile's script file
  std::string SigFile;
  std::string DelAtBegin;
  std::string SortHeader;
  std::string BodyCharsets;
  std::string HeaderCharsets;
  std::string SaveHTMLAs;
  std::string SaveAttachmentsDir;

  uint8_t ActionIfAttExists = 0;
  uint8_t EndAction = 0;

  // Message-ID prefixes: KillMessageIDBegins plus every AddToMessageID entry.
  std::vector<std::string> KillMessageIDBegins;
  // Names of header fields to delete, each beginning with "X-".
  std::vector<std::string> DelXHeader;

  int32_t MaxReferencesLength = 0;
  int32_t SetDateHeader = 0;
  int32_t SafeReg1 = 0;  // lines at the start of a message file left untouched
  int32_t SafeReg2 = 0;  // the same at the end
  int32_t DefaultEncoding = 0;
  int32_t doDebugOutput = 0;

  // Built-in defaults for a profile the news-server assistant makes.
  void SetDefaults();
  // Reads the section; Raw keeps paths and charset lists as stored, otherwise
  // paths are made absolute and empty charset lists take the Specials.ini ones.
  void Load(bool raw);
  // The same from a file already read (the object named by IniFileName), so
  // that a run reads the profile file once.
  void Load(bool raw, TIniFileUTF8& ini);
  // Writes every field back to the section.
  void WriteSettings();
};

// ---------------------------------------------------------------------------
// The CopyIf settings (CopyIf.ini).

class TCIEinstellungen : public TEinstellungen {
public:
  TCIEinstellungen();
  ~TCIEinstellungen() override;

  bool Loaded = false;
  // Set by Load and cleared by nothing: the CopyIf run stores no article
  // numbers and skips no re-imported article while it is set.
  bool Simulate = false;
  bool CopyIfExist = false;
  bool MailInfo = false;
  bool CheckXPostingsOnlyOnce = false;
  std::string IgnoreGroups;
  std::string DontIgnoreGroups;
  std::string AddToMessageID;
  std::vector<std::string> IgnoreGroupsList;      // regular expressions of group names
  std::vector<std::string> DontIgnoreGroupsList;  // regular expressions of group names
  // The CopyIf run's counter lines with their counts; Load leaves it alone.
  std::vector<std::pair<std::string, int32_t>> Counters;
  int32_t NewGroups_TestMax = 0;
  int32_t TestMaxPostings = 0;
  bool ShowResultAlways = false;
  bool ShowResultIfAction = false;
  bool ShowResultIfCounter = false;
  bool ShowOnlyCounterGreaterThanNull = false;
  bool ShowTaskBarEntry = false;
  bool ShowFoundedPostingsWhenSimulate = false;

  // Program directory + "CopyIf.ini".
  static std::string GetIniFileName();
  void Load();
};

// ---------------------------------------------------------------------------
// Special settings (Specials.ini).

struct TSpecialSettings {
  std::string OnelinerBegin, OnelinerEnd;
  std::string ReformatBegin, ReformatEnd;
  std::string InternalCharset;  // [Charsets] Internal
  std::string DefBody, DefHeader;
  std::string PGPExe, PGPSigPars, SigHeaders1, SigHeaders2;
  std::vector<std::string> SignedHeaders1, SignedHeaders2;  // made from SigHeaders1/2
};
extern TSpecialSettings Specials;

void LoadSpecials();
// The same from Specials.ini as the caller read it.
void LoadSpecials(const TIniFile& ini);
void WriteExtraSettings();

// ---------------------------------------------------------------------------
// Box-quote styles (BoxQuotes.ini): BoxQuotes[0] is style 1.

struct TBoxQuote {
  bool FromFlag = false;
  uint8_t BoxType = 0;
  std::string StartLine, SepLine, EndLine;
  std::string Title;  // "@" stands for the title text
  std::string TopLeft, BottomLeft, Left, TopRight, BottomRight, Right, Top, Bottom;
  int32_t WidthTop = 0, WidthDown = 0;
  bool Valid = false;
};
constexpr int BoxQuoteStyles = 9;
extern std::array<TBoxQuote, BoxQuoteStyles> BoxQuotes;

void LoadBoxQuotes();
void WriteBoxQuoteSettings();

// ---------------------------------------------------------------------------
// Footnote layout (Footnote.ini).

struct TFootnoteSettings {
  std::string Title, BeginMark, EndMark, LineBreakMark;
  int32_t WrapWidth = 0;
  bool Underline = false;
  bool TitleEmptyLine = false;
  char UnderlineChar = '=';
  uint8_t Position = 0;
  bool Valid = false;
};
extern TFootnoteSettings Footnotes;

void LoadFootnotes();
void WriteFootNoteSettings();

// ---------------------------------------------------------------------------
// Start-up of the unit: the registry record (Version is the writing program's
// version text), the special settings files and, on a first run in a
// news-server folder, the standard profiles. A second call does nothing.
void InitEinstellungen(std::string_view version);
// The same with Specials.ini as the caller read it.
void InitEinstellungen(std::string_view version, const TIniFile& specials);
void DoneEinstellungen();

// Creates the profiles "News" and "Mails" when Tidelarn.ini is missing and the
// program directory is a news-server folder.
void CreateDefaultProfiles();
// Writes the registry record; failures are ignored.
void RegisterInstallation(std::string_view version);

// ---------------------------------------------------------------------------
// Small routines.

// Adds every non-empty piece of Text between Separators that List does not hold
// yet (compared without regard to case), in order; pieces are not trimmed.
void SplitToStrings(std::string_view text, std::vector<std::string>& list, char separator,
                    bool clear);
// The list joined with ",".
std::string JoinWithComma(const std::vector<std::string>& list, char separator = ',');
// The comma list without empty and repeated (case-insensitive) items.
std::string NormalizeDesignators(std::string_view text);
// A relative path is taken from the program directory; the result ends with a
// separator unless it is empty.
std::string ExpandProgramPath(std::string_view path);
std::string LeftText(std::string_view s, int64_t n);
std::string RightText(std::string_view s, int64_t n);
bool DirExists(std::string_view path);
// A modal information box without a caption of its own.
void ShowInfoBox(const std::string& text);
// Fills Lines from a text file, or clears it when the file does not exist; a
// failing read is retried and reported, the 21st failure is raised.
void LoadTextFile(std::string_view fileName, std::vector<std::string>& lines);
// The same for a text file people write with an editor (a script, an include,
// a file a profile or script names), converted by EditorTextToInternal.
void LoadEditorTextFile(std::string_view fileName, std::vector<std::string>& lines);
// A new empty "VQ-....tmp" file in the program directory; returns its path.
std::string MakeTempFileNameSettings();

// Writes a report into a new report file ("VQ-....tmp" in the settings
// folder): Fill writes its keys, Message is what it reports. Returns its path;
// never throws. A report that cannot be written is said on stderr with its
// Message, and no file of it is left; the result is empty then.
std::string WriteReportFile(std::string_view message, const std::function<void(TIniFile&)>& fill);

// Writes an exception report (section [EXCEPTION]: Message, DateTime, Reason,
// Filename unless empty, then Extra) through WriteReportFile.
std::string WriteExceptionReport(
    std::string_view message, std::string_view reason, std::string_view fileName,
    const std::vector<std::pair<std::string, std::string>>& extra = {});
