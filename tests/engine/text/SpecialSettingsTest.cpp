#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "SettingsTestSupport.h"
#include "SysUtils.h"
#include "uCharsets.h"

namespace {

using Strings = std::vector<std::string>;

std::string ReportReason(const std::string& path) {
  return TIniFile(path).ReadString("EXCEPTION", "Reason", "");
}

}  // namespace

// ---------------------------------------------------------------------------
// Specials.ini

TEST_F(SettingsTest, SpecialsDefaultsWhenTheFileIsMissing) {
  LoadSpecials();
  EXPECT_EQ(Specials.OnelinerBegin, "OL:");
  EXPECT_EQ(Specials.OnelinerEnd, "#");
  EXPECT_EQ(Specials.ReformatBegin, "RF:");
  EXPECT_EQ(Specials.ReformatEnd, "#");
  // Empty charset values stand for the charset tables' first charset and set.
  ASSERT_FALSE(GetCSInfos().Sets.empty());
  EXPECT_EQ(Specials.InternalCharset, GetCSInfos().Items(0)->Name);
  EXPECT_EQ(Specials.DefBody, GetCSInfos().Sets.front());
  EXPECT_EQ(Specials.DefHeader, GetCSInfos().Sets.front());
  EXPECT_FALSE(Specials.DefBody.empty());
  EXPECT_EQ(Specials.PGPExe, ProgramDir() + "pgp");
  EXPECT_EQ(Specials.PGPSigPars, "-sat %1 -o %2 -u \"IDName\" -z\"Passphrase\"");
  EXPECT_EQ(Specials.SignedHeaders1,
            (Strings{"Subject", "Date", "From", "Newsgroups", "Followup-To"}));
  EXPECT_EQ(Specials.SignedHeaders2,
            (Strings{"Message-ID", "Sender", "Approved", "Control", "Supersedes"}));
  EXPECT_FALSE(FileExists(File("Specials.ini")));  // loading creates nothing
}

TEST_F(SettingsTest, SpecialsSignedHeaderListsAreTrimmed) {
  WriteFile(File("specials.ini"),
            "[PGP]\nsigheaders1= Subject , ,Date,,From,Date \nsigheaders2=\n"
            "[Charsets]\nInternal=utf-8\nDefBody=us-ascii\nDefHeader=utf-8\n");
  LoadSpecials();
  EXPECT_EQ(Specials.SignedHeaders1, (Strings{"Subject", "Date", "From", "Date"}));
  // An empty value is a value: no default list.
  EXPECT_TRUE(Specials.SignedHeaders2.empty());
  EXPECT_EQ(Specials.InternalCharset, "utf-8");
  EXPECT_EQ(Specials.DefBody, "us-ascii");
}

TEST_F(SettingsTest, SpecialsWrittenAndReadBackEqual) {
  LoadSpecials();
  Specials.OnelinerBegin = "1L:";
  Specials.ReformatEnd = ">>";
  Specials.InternalCharset = "utf-8";
  Specials.DefBody = "iso-8859-15,utf-8";
  Specials.PGPExe = "/usr/bin/pgp";
  Specials.SigHeaders1 = "Subject,From";
  Specials.SigHeaders2 = "Message-ID";
  WriteExtraSettings();
  std::string first = ReadFile(File("Specials.ini"));
  Specials = TSpecialSettings{};
  LoadSpecials();
  EXPECT_EQ(Specials.InternalCharset, "utf-8");
  EXPECT_EQ(Specials.SignedHeaders1, (Strings{"Subject", "From"}));
  EXPECT_EQ(Specials.SignedHeaders2, Strings{"Message-ID"});
  WriteExtraSettings();
  EXPECT_EQ(ReadFile(File("Specials.ini")), first);
  EXPECT_EQ(Keys(File("Specials.ini"), "PGP"),
            (Strings{"exe", "sigpars", "sigheaders1", "sigheaders2"}));
  // [General] Language belongs to the translation and stays untouched.
  WriteFile(File("Specials.ini"), first + "[General]\r\nLanguage=English\r\n");
  WriteExtraSettings();
  EXPECT_EQ(TIniFile(File("Specials.ini")).ReadString("General", "Language", ""), "English");
}

TEST_F(SettingsTest, SpecialWritersReportAndRaise) {
  mkdir(File("Specials.ini").c_str(), 0755);
  mkdir(File("BoxQuotes.ini").c_str(), 0755);
  mkdir(File("Footnote.ini").c_str(), 0755);
  EXPECT_THROW(WriteExtraSettings(), Exception);
  EXPECT_THROW(WriteBoxQuoteSettings(), Exception);
  EXPECT_THROW(WriteFootNoteSettings(), Exception);
  auto reports = Reports();
  ASSERT_EQ(reports.size(), 3u);
  Strings reasons, files;
  for (const auto& r : reports) {
    reasons.push_back(ReportReason(File(r)));
    files.push_back(TIniFile(File(r)).ReadString("EXCEPTION", "Filename", ""));
  }
  std::sort(reasons.begin(), reasons.end());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(reasons,
            (Strings{"WriteBoxQuoteSettings", "WriteExtraSettings", "WriteFootNoteSettings"}));
  EXPECT_EQ(files, (Strings{"BoxQuotes.ini", "Footnote.ini", "Specials.ini"}));
}

// ---------------------------------------------------------------------------
// BoxQuotes.ini

TEST_F(SettingsTest, BoxQuoteDefaultsForAllNineStyles) {
  LoadBoxQuotes();
  for (int n = 1; n <= 9; ++n) {
    const TBoxQuote& bq = BoxQuotes[size_t(n - 1)];
    SCOPED_TRACE(n);
    EXPECT_FALSE(bq.FromFlag);
    EXPECT_EQ(bq.BoxType, 0);
    EXPECT_EQ(bq.StartLine, "boxquote" + IntToStr(n) + ":");
    EXPECT_EQ(bq.SepLine, "-");
    EXPECT_EQ(bq.EndLine, "#");
    EXPECT_EQ(bq.Top, "-");
    EXPECT_EQ(bq.Bottom, "-");
    EXPECT_EQ(bq.TopLeft, " ,");
    EXPECT_EQ(bq.TopRight, ".");
    EXPECT_EQ(bq.Left, "| ");
    EXPECT_EQ(bq.Right, " |");
    EXPECT_EQ(bq.BottomLeft, " `");
    EXPECT_EQ(bq.BottomRight, "\xB4 ");
    EXPECT_EQ(bq.WidthTop, 4);
    EXPECT_EQ(bq.WidthDown, 4);
    EXPECT_EQ(bq.Title, "# [ @ ] #");
    EXPECT_TRUE(bq.Valid);
  }
  EXPECT_FALSE(FileExists(File("BoxQuotes.ini")));
}

TEST_F(SettingsTest, BoxQuoteGraphicsAndFramedValues) {
  WriteFile(File("BoxQuotes.ini"),
            "[BQ#1]\r\nBQGraphics=+-+||+-+\r\nBQTopLeft=#XX#\r\nBQFrom=F\r\nBQType=258\r\n"
            "[BQ#2]\r\nBQGraphics=abc\r\nBQLeft=#| #\r\nBQRight=|\r\nBQTopLeft=##\r\n"
            "BQTitle=#  @  #\r\nBQType=x\r\nBQWidthTop=7\r\nBQStartLine=\r\n"
            "[BQ#3]\r\nBQGraphics==~\r\nBQFrom=f\r\n");
  LoadBoxQuotes();
  const TBoxQuote& a = BoxQuotes[0];
  EXPECT_EQ(
      a.TopLeft + a.Top + a.TopRight + a.Left + a.Right + a.BottomLeft + a.Bottom + a.BottomRight,
      "+-+||+-+");
  EXPECT_TRUE(a.FromFlag);
  EXPECT_EQ(a.BoxType, 0);  // beyond a byte: as a failed read
  const TBoxQuote& b = BoxQuotes[1];
  EXPECT_EQ(b.Top + b.Bottom, "--");
  EXPECT_EQ(b.Left, "| ");
  EXPECT_EQ(b.Right, "|");
  EXPECT_EQ(b.TopLeft, "##");
  EXPECT_EQ(b.Title, "  @  ");
  EXPECT_EQ(b.BoxType, 0);
  EXPECT_EQ(b.WidthTop, 7);
  EXPECT_EQ(b.StartLine, "");
  EXPECT_FALSE(b.Valid);
  const TBoxQuote& c = BoxQuotes[2];
  EXPECT_EQ(c.Top, "=");
  EXPECT_EQ(c.Bottom, "~");
  EXPECT_FALSE(c.FromFlag);  // only "F"

  WriteBoxQuoteSettings();
  TIniFile ini(File("BoxQuotes.ini"));
  EXPECT_EQ(ini.ReadString("BQ#1", "BQGraphics", ""), "--");
  EXPECT_EQ(ini.ReadString("BQ#1", "BQTopLeft", ""), "#+#");
  EXPECT_EQ(ini.ReadString("BQ#1", "BQLeft", ""), "#|#");
  EXPECT_EQ(ini.ReadString("BQ#2", "BQRight", ""), "#|#");
  EXPECT_EQ(ini.ReadString("BQ#2", "BQTitle", ""), "#  @  #");
  EXPECT_EQ(ini.ReadString("BQ#1", "BQFrom", ""), "F");
  EXPECT_EQ(ini.ReadString("BQ#1", "BQType", ""), "0");
  EXPECT_EQ(ini.ReadSections().size(), 9u);
}

TEST_F(SettingsTest, BoxQuoteStylesWrittenAndReadBackEqual) {
  LoadBoxQuotes();
  for (int n = 1; n <= 9; ++n) {
    TBoxQuote& bq = BoxQuotes[size_t(n - 1)];
    std::string k = IntToStr(n);
    bq.FromFlag = n % 2 == 0;
    bq.BoxType = uint8_t(n % 3);
    bq.StartLine = "start" + k + ":";
    bq.EndLine = n == 5 ? "" : "#" + k;
    bq.Title = " [" + k + " @] ";
    bq.TopLeft = " /";
    bq.Left = "  |";
    bq.Right = "|  ";
    bq.BottomRight = "/ ";
    bq.Top = "=";
    bq.WidthDown = -n;
  }
  WriteBoxQuoteSettings();
  EXPECT_FALSE(BoxQuotes[4].Valid);  // the writer recomputes it
  std::string first = ReadFile(File("BoxQuotes.ini"));
  BoxQuotes = {};
  LoadBoxQuotes();
  WriteBoxQuoteSettings();
  EXPECT_EQ(ReadFile(File("BoxQuotes.ini")), first);
  const TBoxQuote& r = BoxQuotes[7];
  EXPECT_TRUE(r.FromFlag);
  EXPECT_EQ(r.BoxType, 2);
  EXPECT_EQ(r.Title, " [8 @] ");
  EXPECT_EQ(r.Left + r.Right, "  ||  ");
  EXPECT_EQ(r.Top + r.Bottom, "=-");
  EXPECT_EQ(r.WidthDown, -8);
  EXPECT_FALSE(BoxQuotes[4].Valid);
}

TEST_F(SettingsTest, BoxQuoteCountsCharactersOfAUtf8InternalCharset) {
  SetInternalCharset("utf-8");
  WriteFile(File("BoxQuotes.ini"),
            "[BQ#1]\nBQGraphics=┌─┐││└─┘\n"
            "[BQ#2]\nBQGraphics=═─\nBQLeft=#│ #\nBQTitle=#«@»#\n"
            "[BQ#3]\nBQGraphics=ää\n");
  LoadBoxQuotes();
  const TBoxQuote& a = BoxQuotes[0];
  EXPECT_EQ(a.TopLeft, "┌");
  EXPECT_EQ(a.Top, "─");
  EXPECT_EQ(a.BottomRight, "┘");
  const TBoxQuote& b = BoxQuotes[1];
  EXPECT_EQ(b.Top, "═");
  EXPECT_EQ(b.Bottom, "─");
  EXPECT_EQ(b.Left, "│ ");
  EXPECT_EQ(b.Title, "«@»");
  EXPECT_EQ(BoxQuotes[2].Top, "ä");

  // Counted as bytes, eight box characters are not the eight-piece form.
  SetInternalCharset("windows-1252");
  LoadBoxQuotes();
  EXPECT_EQ(BoxQuotes[0].Top + BoxQuotes[0].Bottom, "--");
}

// ---------------------------------------------------------------------------
// Footnote.ini

TEST_F(SettingsTest, FootnoteDefaultsAndValidity) {
  LoadFootnotes();
  EXPECT_EQ(Footnotes.Position, 1);
  EXPECT_EQ(Footnotes.Title, FromUtf8("Fußnoten:"));
  EXPECT_TRUE(Footnotes.Underline);
  EXPECT_FALSE(Footnotes.TitleEmptyLine);
  EXPECT_EQ(Footnotes.UnderlineChar, '=');
  EXPECT_EQ(Footnotes.BeginMark, "(FN:");
  EXPECT_EQ(Footnotes.EndMark, "#)");
  EXPECT_EQ(Footnotes.LineBreakMark, "///");
  EXPECT_EQ(Footnotes.WrapWidth, 72);
  EXPECT_TRUE(Footnotes.Valid);
  EXPECT_FALSE(FileExists(File("Footnote.ini")));

  WriteFile(File("Footnote.ini"),
            "[Footnotes]\nFNPos=x\nFNBegin=[\nFNEnd=[\nFNUnderlineWith=-*\nFNUnderline=0\n");
  LoadFootnotes();
  EXPECT_EQ(Footnotes.Position, 1);
  EXPECT_EQ(Footnotes.UnderlineChar, '-');
  EXPECT_FALSE(Footnotes.Underline);
  EXPECT_FALSE(Footnotes.Valid);  // begin equals end
  WriteFile(File("Footnote.ini"), "[Footnotes]\nFNPos=256\nFNEnd=\nFNTitleEmptyLine=5\n");
  LoadFootnotes();
  EXPECT_EQ(Footnotes.Position, 1);  // beyond a byte: as a failed read
  EXPECT_FALSE(Footnotes.Valid);  // empty end
  EXPECT_TRUE(Footnotes.TitleEmptyLine);
}

TEST_F(SettingsTest, FootnotesWrittenAndReadBackEqual) {
  LoadFootnotes();
  Footnotes.Title = "Notes";
  Footnotes.BeginMark = "{";
  Footnotes.WrapWidth = 60;
  Footnotes.Underline = false;
  Footnotes.TitleEmptyLine = true;
  Footnotes.UnderlineChar = '~';
  Footnotes.Position = 3;
  WriteFootNoteSettings();
  std::string first = ReadFile(File("Footnote.ini"));
  Footnotes = TFootnoteSettings{};
  LoadFootnotes();
  EXPECT_EQ(Footnotes.UnderlineChar, '~');
  EXPECT_EQ(Footnotes.Position, 3);
  EXPECT_TRUE(Footnotes.Valid);
  WriteFootNoteSettings();
  EXPECT_EQ(ReadFile(File("Footnote.ini")), first);
  EXPECT_EQ(Keys(File("Footnote.ini"), "Footnotes"),
            (Strings{"FNPos", "FNTitle", "FNBegin", "FNEnd", "FNToCRLF", "FNWordWrapAfter",
                     "FNUnderline", "FNTitleEmptyLine", "FNUnderlineWith"}));
}

// ---------------------------------------------------------------------------
// CopyIf.ini

TEST_F(SettingsTest, CopyIfDefaultsAreWrittenBack) {
  TCIEinstellungen ci;
  ci.Load();
  EXPECT_TRUE(ci.Loaded);
  EXPECT_FALSE(ci.CopyIfExist);
  EXPECT_TRUE(ci.MailInfo && ci.CheckXPostingsOnlyOnce);
  EXPECT_EQ(ci.NewGroups_TestMax, 100);
  EXPECT_EQ(ci.TestMaxPostings, 0);
  EXPECT_EQ(ci.IgnoreGroupsList, (Strings{"^local\\.", "^internal\\.", "\\.all$"}));
  EXPECT_TRUE(ci.DontIgnoreGroupsList.empty());
  EXPECT_FALSE(ci.ShowResultAlways);
  EXPECT_TRUE(ci.ShowResultIfAction && ci.ShowResultIfCounter &&
              ci.ShowOnlyCounterGreaterThanNull && ci.ShowTaskBarEntry &&
              ci.ShowFoundedPostingsWhenSimulate);
  EXPECT_EQ(Keys(File("CopyIf.ini"), "Settings"),
            (Strings{"CopyIfExist", "MailInfo", "CheckXPostingsOnlyOnce", "NewGroups_TestMax",
                     "TestMaxPostings", "IgnoreGroups", "DontIgnoreGroups", "AddToMessageID"}));
  EXPECT_EQ(Keys(File("CopyIf.ini"), "Display").size(), 6u);
}

TEST_F(SettingsTest, CopyIfGroupListsAndStrictIntegers) {
  WriteFile(File("copyif.ini"),
            "[Settings]\nIgnoreGroups=a,,b\nDontIgnoreGroups=\nAddToMessageID=x@,y@\n"
            "CopyIfExist=1\n[Groups]\nde.test=5\n");
  TCIEinstellungen ci;
  ci.DontIgnoreGroupsList = {"kept"};
  ci.Counters = {{"c", 3}};
  ci.Load();
  EXPECT_EQ(ci.IgnoreGroupsList, (Strings{"a", "", "b"}));
  EXPECT_EQ(ci.DontIgnoreGroupsList, Strings{"kept"});  // an empty text keeps the list
  EXPECT_EQ(ci.AddToMessageID, "x@,y@");
  EXPECT_EQ(ci.Counters.size(), 1u);
  EXPECT_TRUE(ci.CopyIfExist);
  EXPECT_EQ(TIniFile(File("copyif.ini")).ReadString("Groups", "de.test", ""), "5");
  EXPECT_FALSE(FileExists(File("CopyIf.ini")));  // the stored spelling is used

  WriteFile(File("copyif.ini"), "[Settings]\nTestMaxPostings=ten\n");
  EXPECT_THROW(ci.Load(), EConvertError);
}

// ---------------------------------------------------------------------------
// Start-up

class StartupTest : public SettingsTest {
protected:
  void SetUp() override {
    SettingsTest::SetUp();
    const char* old = std::getenv("XDG_CONFIG_HOME");
    oldXdg_ = old ? old : "";
    hadXdg_ = old != nullptr;
    setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  }
  void TearDown() override {
    if (hadXdg_)
      setenv("XDG_CONFIG_HOME", oldXdg_.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    DoneEinstellungen();
  }
  TempDir config;

private:
  std::string oldXdg_;
  bool hadXdg_ = false;
};

TEST_F(StartupTest, FirstRunInANewsServerFolderCreatesNewsAndMails) {
  WriteFile(File("Hamster.ini"), "[Setup]\r\n");
  InitEinstellungen("4.2.8");
  std::string ini = File("Tidelarn.ini");
  ASSERT_TRUE(FileExists(ini));
  EXPECT_EQ(TIniFile(ini).ReadSections(), (Strings{"News", "Mails"}));

  auto news = Values(ini, "News");
  auto mails = Values(ini, "Mails");
  EXPECT_EQ(news.front().first, "doDebugOutput");
  EXPECT_EQ(news[1].first, "AutoFunctions");
  EXPECT_EQ(news[5].first, "SetLines");                                  // reading order
  EXPECT_EQ(mails[5].first, "CheckQuotes-AddSpaceBetweenQuoteAndText");  // writing order
  TIniFile file(ini);
  EXPECT_TRUE(file.ValueExists("News", "AnswerDesignators"));
  EXPECT_FALSE(file.ValueExists("Mails", "AnswerDesignators"));
  Strings mailKeys = Keys(ini, "Mails");
  EXPECT_NE(std::find(mailKeys.begin(), mailKeys.end(), "ConvertOneliners"), mailKeys.end());
  EXPECT_EQ(file.ReadString("News", "MessagePath", ""), "Groups\\News.Out");
  EXPECT_EQ(file.ReadString("Mails", "MessagePath", ""), "Mails\\Mail.Out");
  for (const auto& [key, value] : mails) {
    if (key == "MessagePath") continue;
    EXPECT_EQ(file.ReadString("News", key, "<missing>"), value) << key;
  }

  // The registry record.
  TIniFile reg(config / "Wex-Soft/Tidelarn/registry.ini");
  const char* sec = "HKEY_LOCAL_MACHINE\\Software\\Wex-Soft\\Tidelarn";
  EXPECT_EQ(reg.ReadString(sec, "Version", ""), "4.2.8");
  EXPECT_EQ(reg.ReadString(sec, "Path", ""), dir.Path());
  EXPECT_EQ(reg.ReadString(sec, "Config", ""), dir.Path() + "/tidelarn.ini");

  // Loaded special settings.
  EXPECT_EQ(Specials.OnelinerBegin, "OL:");
  EXPECT_EQ(BoxQuotes[8].StartLine, "boxquote9:");
  EXPECT_EQ(Footnotes.WrapWidth, 72);
}

TEST_F(StartupTest, NoProfilesOutsideANewsServerFolderOrOverExistingOnes) {
  InitEinstellungen("4.2.1");
  EXPECT_FALSE(FileExists(File("Tidelarn.ini")));
  DoneEinstellungen();

  WriteFile(File("Hamster.ini"), "");
  WriteFile(File("tidelarn.ini"), "[Own]\r\nx=1\r\n");
  InitEinstellungen("4.2.1");
  EXPECT_EQ(ReadFile(File("tidelarn.ini")), "[Own]\r\nx=1\r\n");
  EXPECT_FALSE(FileExists(File("Tidelarn.ini")));
}

TEST_F(StartupTest, ASecondStartDoesNothingAndAnUnwritableRecordIsIgnored) {
  WriteFile(config / "Wex-Soft", "not a folder");
  InitEinstellungen("4.2.8");
  Specials.OnelinerBegin = "changed";
  InitEinstellungen("4.2.8");
  EXPECT_EQ(Specials.OnelinerBegin, "changed");
  DoneEinstellungen();  // the first end only counts down
  EXPECT_EQ(Specials.OnelinerBegin, "changed");
}

// Settings apart from the programs: the first run's profiles go to the settings
// folder, and the record names both folders.
TEST_F(StartupTest, SettingsApartFromTheProgramsKeepTheProfilesAndTheRecordApart) {
  TempDir settings;
  SetSettingsDir(settings.Path());
  WriteFile(settings / "Hamster.ini", "[Setup]\r\n");
  InitEinstellungen("4.2.1");
  EXPECT_TRUE(FileExists(settings / "Tidelarn.ini"));
  EXPECT_FALSE(FileExists(File("Tidelarn.ini")));
  TIniFile reg(config / "Wex-Soft/Tidelarn/registry.ini");
  const char* sec = "HKEY_LOCAL_MACHINE\\Software\\Wex-Soft\\Tidelarn";
  EXPECT_EQ(reg.ReadString(sec, "Path", ""), dir.Path());
  EXPECT_EQ(reg.ReadString(sec, "Config", ""), settings.Path() + "/tidelarn.ini");
}
