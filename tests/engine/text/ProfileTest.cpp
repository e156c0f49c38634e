#include <gtest/gtest.h>

#include <functional>

#include "SafeFile.h"
#include "SettingsTestSupport.h"
#include "SysUtils.h"

namespace {

using KV = std::vector<std::pair<std::string, std::string>>;

// Every key a load of an empty section writes, in reading order, with its default.
const KV kReadOrder = {
    {"doDebugOutput", "0"},
    {"AutoFunctions", "1"},
    {"CheckMIMEHeaders", "1"},
    {"CheckReplaceSubject8Bits", "0"},
    {"CheckQuotes", "1"},
    {"SetLines", "1"},
    {"CheckQuotes-AddSpaceBetweenQuoteAndText", "1"},
    {"CheckQuotes-AddSpaceBetweenDifferentQuoteChars", "1"},
    {"CheckQuotes-AllowedQuoteChars", ">|"},
    {"CheckQuotes-DoNotChange-Begin", "-----BEGIN PGP*"},
    {"CheckQuotes-DoNotChange-End", "-----END PGP*"},
    {"CheckQuotes-DoNotChangeAfterSigDelimiter", "1"},
    {"CheckSubjectKillWasAfterRe", "1"},
    {"AllowXHeader", "1"},
    {"AllowAnyHeader", "0"},
    {"DeleteEmptyLines", "1"},
    {"CheckFromReplyFormat", "0"},
    {"BlankBeforeSig", "0"},
    {"BlankBeforeLines", "1"},
    {"HamsterheaderFirst", "1"},
    {"RecreateRCPT_To", "0"},
    {"RecreateRCPT_To_Always", "0"},
    {"KillOEWordWraps", "0"},
    {"RightTrimLines", "0"},
    {"HTML2Text", "0"},
    {"SaveHTMLAs", ""},
    {"SaveAttachments", "0"},
    {"SaveAttachmentsDir", "/tmp"},
    {"DefaultEncoding", "0"},
    {"ConvertBase64", "0"},
    {"Convert8Bit", "0"},
    {"ConvertQP", "0"},
    {"MinBodyCharset", "0"},
    {"ConvertBoxQuotes", "0"},
    {"ConvertFootnotes", "0"},
    {"ConvertReFormats", "0"},
    {"ConvertOneLiners", "0"},
    {"ConvertToSigDelimiter", ""},
    {"ConvertToRe", "AW,Antwort,Re^2,Re^3,Re^4"},
    {"AnswerDesignators", ""},
    {"DelDoubleRe", "1"},
    {"CheckFilesWithExtension", "msg"},
    {"DontChangeRenameToExtension", ""},
    {"MessagePath", ""},
    {"FilePath", ""},
    {"Header.def", "Header.def"},
    {"SigFile", ""},
    {"DelAtBegin", ""},
    {"SortHeader", ""},
    {"BodyCharsets", ""},
    {"HeaderCharsets", ""},
    {"MaxReferencesLength", "512"},
    {"FoldingReferences", "0"},
    {"SetDateHeader", "0"},
    {"DateHeaderType", "Local"},
    {"SafeReg1", "0"},
    {"SafeReg2", "0"},
    {"KillMessageIDBegins", ""},
    {"DelXHeader", "0"},
    {"MakeBak", "0"},
};

class ProfileTest : public SettingsTest {
protected:
  void SetUp() override {
    SettingsTest::SetUp();
    profile.IniFileName = File("Tidelarn.ini");
    profile.Section = "News";
  }
  void Store(const std::string& text) { WriteFile(File("Tidelarn.ini"), text); }
  std::string Stored() const { return ReadFile(File("Tidelarn.ini")); }

  TVQEinstellungen profile;
};

}  // namespace

TEST_F(ProfileTest, MissingSectionIsCreatedWithEveryDefaultInReadingOrder) {
  Store("[Other]\r\nx=1\r\n");
  profile.Load(true);
  EXPECT_EQ(Values(File("Tidelarn.ini"), "News"), kReadOrder);
  EXPECT_EQ(Keys(File("Tidelarn.ini"), "Other"), std::vector<std::string>{"x"});

  // Memory holds the table's values, not SetDefaults'.
  EXPECT_TRUE(profile.AutoFunctions && profile.CheckMIMEHeaders && profile.CheckQuotes &&
              profile.SetLines && profile.DelDoubleRe && profile.HamsterheaderFirst);
  EXPECT_FALSE(profile.MakeBak || profile.GMT || profile.RecreateRCPT_To_Always);
  EXPECT_EQ(profile.SaveHTMLAs, "/tmp/Original_*.html");
  EXPECT_EQ(profile.CheckQuotesAllowedQuoteChars, ">|");
  EXPECT_EQ(profile.HeaderDef, "Header.def");
  EXPECT_EQ(profile.MaxReferencesLength, 512);
  EXPECT_EQ(profile.MessagePath, "");  // raw: kept as stored
  EXPECT_TRUE(profile.DelXHeader.empty());
  EXPECT_TRUE(profile.KillMessageIDBegins.empty());
  EXPECT_TRUE(Reports().empty());

  // A second load finds everything and changes nothing.
  std::string before = Stored();
  profile.Load(true);
  EXPECT_EQ(Stored(), before);
}

TEST_F(ProfileTest, LoadReplacesEveryFieldOfAnEarlierState) {
  Store("[News]\r\nMakeBak=1\r\nSafeReg1=3\r\nBodyCharsets=utf-8\r\n");
  profile.Load(true);
  EXPECT_TRUE(profile.MakeBak);
  EXPECT_EQ(profile.SafeReg1, 3);
  profile.ActionIfAttExists = 7;
  profile.DelXHeader = {"X-Old"};
  profile.Section = "news2";
  profile.Load(true);
  EXPECT_FALSE(profile.MakeBak);
  EXPECT_EQ(profile.SafeReg1, 0);
  EXPECT_EQ(profile.BodyCharsets, "");
  EXPECT_EQ(profile.ActionIfAttExists, 0);
  EXPECT_TRUE(profile.DelXHeader.empty());
}

TEST_F(ProfileTest, WriteSettingsUsesItsOwnOrderAndSpellings) {
  profile.SetDefaults();
  profile.GMT = true;
  profile.ActionIfAttExists = 2;
  profile.EndAction = 1;
  profile.KillMessageIDBegins = {"a@b", "c"};
  profile.DelXHeader = {"X-Foo"};
  profile.WriteSettings();

  const std::vector<std::string> order = {
      "doDebugOutput", "AutoFunctions", "CheckMIMEHeaders", "CheckReplaceSubject8Bits",
      "CheckQuotes", "CheckQuotes-AddSpaceBetweenQuoteAndText",
      "CheckQuotes-AddSpaceBetweenDifferentQuoteChars", "SetLines",
      "CheckQuotes-AllowedQuoteChars", "CheckQuotes-DoNotChange-Begin",
      "CheckQuotes-DoNotChange-End", "CheckQuotes-DoNotChangeAfterSigDelimiter",
      "CheckSubjectKillWasAfterRe", "AllowXHeader", "AllowAnyHeader", "DeleteEmptyLines",
      "CheckFromReplyFormat", "BlankBeforeSig", "BlankBeforeLines", "HamsterheaderFirst",
      "RecreateRCPT_To", "RecreateRCPT_To_always", "KillOEWordWraps", "RightTrimLines",
      "HTML2Text", "SaveHTMLAs", "SaveAttachments", "SaveAttachmentsDir", "ActionIfAttExists",
      "EndAction", "DefaultEncoding", "ConvertBase64", "Convert8Bit", "ConvertQP",
      "MinBodyCharset", "ConvertBoxQuotes", "ConvertFootnotes", "ConvertReFormats",
      "ConvertOneliners", "ConvertToSigDelimiter", "ConvertToRe", "DelDoubleRe",
      "CheckFilesWithExtension", "DontChangeRenameToExtension", "MessagePath", "FilePath",
      "Header.def", "SigFile", "DelAtBegin", "SortHeader", "BodyCharsets", "HeaderCharsets",
      "MaxReferencesLength", "FoldingReferences", "SetDateHeader", "DateHeaderType",
      "KillMessageIDBegins", "SafeReg1", "SafeReg2", "DelXHeader", "DelXHeader-1", "MakeBak"};
  EXPECT_EQ(Keys(File("Tidelarn.ini"), "News"), order);
  TIniFile ini(File("Tidelarn.ini"));
  EXPECT_EQ(ini.ReadString("News", "DateHeaderType", ""), "GMT");
  EXPECT_EQ(ini.ReadString("News", "ActionIfAttExists", ""), "2");
  EXPECT_EQ(ini.ReadString("News", "KillMessageIDBegins", ""), "a@b,c");
  EXPECT_EQ(ini.ReadString("News", "AutoFunctions", ""), "1");
  EXPECT_EQ(ini.ReadString("News", "SetLines", ""), "0");
}

TEST_F(ProfileTest, WrittenProfileReadsBackEqual) {
  profile.SetDefaults();
  profile.CheckQuotes = profile.RecreateRCPT_To_Always = profile.ConvertOneLiners = true;
  profile.MakeBak = profile.GMT = true;
  profile.CheckQuotesAllowedQuoteChars = ">|:";
  profile.MessagePath = "Groups\\News.Out";
  profile.SafeReg2 = -1;
  profile.MaxReferencesLength = 998;
  profile.ActionIfAttExists = 2;
  profile.EndAction = 3;
  profile.KillMessageIDBegins = {"x@y"};
  profile.DelXHeader = {"X-A", "X-B"};
  profile.WriteSettings();

  // Read back and written again elsewhere, every value comes out the same.
  TVQEinstellungen back;
  back.IniFileName = profile.IniFileName;
  back.Section = "NEWS";
  back.Load(true);
  back.Section = "Copy";
  back.WriteSettings();
  auto news = Values(File("Tidelarn.ini"), "News");
  ASSERT_EQ(news.back().first, "AnswerDesignators");  // written back by the load
  news.pop_back();
  EXPECT_EQ(Values(File("Tidelarn.ini"), "Copy"), news);
  EXPECT_EQ(back.DelXHeader, (std::vector<std::string>{"X-A", "X-B"}));
  EXPECT_EQ(back.EndAction, 3);
  EXPECT_TRUE(back.GMT && back.MakeBak && back.RecreateRCPT_To_Always);
}

TEST_F(ProfileTest, WritingOverAReadSectionKeepsTheStoredSpellings) {
  profile.Load(true);
  profile.RecreateRCPT_To_Always = true;
  profile.WriteSettings();
  TIniFile ini(File("Tidelarn.ini"));
  auto keys = ini.ReadSection("News");
  EXPECT_NE(std::find(keys.begin(), keys.end(), "RecreateRCPT_To_Always"), keys.end());
  EXPECT_EQ(std::find(keys.begin(), keys.end(), "RecreateRCPT_To_always"), keys.end());
  EXPECT_EQ(ini.ReadString("News", "RecreateRCPT_To_Always", ""), "1");
  // AnswerDesignators is read, never written: it stays where the load put it.
  EXPECT_TRUE(ini.ValueExists("News", "AnswerDesignators"));
}

TEST_F(ProfileTest, IntegersAreStrict) {
  Store("[News]\r\ndoDebugOutput=3\r\nSafeReg1=abc\r\n");
  try {
    profile.Load(true);
    FAIL() << "a non-numeric SafeReg1 must fail the load";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), FromUtf8("'abc' ist kein gültiger Integerwert"));
  }
  EXPECT_EQ(profile.doDebugOutput, 3);  // read before the failure

  Store("[News]\r\nMaxReferencesLength=\r\nActionIfAttExists=x\r\nEndAction=258\r\n");
  profile.Load(true);
  EXPECT_EQ(profile.MaxReferencesLength, 0);  // present but empty
  EXPECT_EQ(profile.ActionIfAttExists, 0);    // a failed read gives 0
  EXPECT_EQ(profile.EndAction, 0);            // beyond a byte: as a failed read
  Store("[News]\r\nMaxReferencesLength=1k\r\n");
  EXPECT_THROW(profile.Load(true), EConvertError);
}

TEST_F(ProfileTest, ValueConversions) {
  Store("[News]\r\nCheckQuotes-AllowedQuoteChars= > | \r\nConvertToRe=Re,,RE,AW\r\n"
        "DateHeaderType=gmt\r\nAutoFunctions=true\r\nCheckQuotes=01\r\n");
  profile.Load(true);
  EXPECT_EQ(profile.CheckQuotesAllowedQuoteChars, ">|");
  EXPECT_EQ(profile.ConvertToRe, "Re,AW");
  EXPECT_TRUE(profile.GMT);
  EXPECT_FALSE(profile.AutoFunctions);  // only exactly "1" is true
  EXPECT_FALSE(profile.CheckQuotes);
  profile.WriteSettings();
  EXPECT_EQ(TIniFile(File("Tidelarn.ini")).ReadString("News", "DateHeaderType", ""), "GMT");
}

TEST_F(ProfileTest, ALoneFFByteIsAStoredValue) {
  Store("[News]\r\nSigFile=\xFF\r\nSortHeader=\r\n");
  profile.Load(true);
  EXPECT_EQ(profile.SigFile, "\xFF");
  EXPECT_EQ(profile.SortHeader, "");
  TIniFile ini(File("Tidelarn.ini"));
  EXPECT_EQ(ini.ReadString("News", "SigFile", ""), "\xFF");
}

TEST_F(ProfileTest, LegacyAnswerDesignatorsMoveIntoConvertToReOnce) {
  Store("[News]\r\nConvertToRe=AW,Re^2\r\nAnswerDesignators=Re^5\r\n");
  profile.Load(true);
  EXPECT_EQ(profile.ConvertToRe, "AW,Re^2,Re^5");
  TIniFile ini(File("Tidelarn.ini"));
  EXPECT_EQ(ini.ReadString("News", "ConvertToRe", ""), "AW,Re^2,Re^5");
  EXPECT_EQ(ini.ReadString("News", "AnswerDesignators", "missing"), "");
  std::string after = Stored();
  profile.Load(true);
  EXPECT_EQ(profile.ConvertToRe, "AW,Re^2,Re^5");
  EXPECT_EQ(Stored(), after);
}

TEST_F(ProfileTest, OverridesAreInForceButNeverStored) {
  Store("[News]\r\nConvertToRe=AW\r\nAnswerDesignators=\r\nSetLines=1\r\nDelXHeader=0\r\n");
  profile.Load(true);

  profile.OverrideKeys = {"setlines", "answerdesignators", "delxheader", "delxheader-1"};
  profile.OverrideValues = {"0", "Re^9", "1", "X-Script"};
  profile.Load(true);
  profile.OverrideKeys.clear();
  profile.OverrideValues.clear();
  EXPECT_FALSE(profile.SetLines);
  EXPECT_EQ(profile.ConvertToRe, "AW,Re^9");
  EXPECT_EQ(profile.DelXHeader, std::vector<std::string>{"X-Script"});
  {
    TIniFile ini(File("Tidelarn.ini"));
    EXPECT_EQ(ini.ReadString("News", "SetLines", ""), "1");
    EXPECT_EQ(ini.ReadString("News", "ConvertToRe", ""), "AW");
    EXPECT_EQ(ini.ReadString("News", "AnswerDesignators", "x"), "");
    EXPECT_EQ(ini.ReadString("News", "DelXHeader", ""), "0");
    // A key missing from the file gets its default, never the override.
    EXPECT_EQ(ini.ReadString("News", "DelXHeader-1", "x"), "");
  }

  // The same when the legacy value is in the file but ConvertToRe is overridden.
  Store("[News]\r\nConvertToRe=AW\r\nAnswerDesignators=Re^5\r\n");
  profile.OverrideKeys = {"converttore"};
  profile.OverrideValues = {"Re^7"};
  profile.Load(true);
  profile.OverrideKeys.clear();
  profile.OverrideValues.clear();
  EXPECT_EQ(profile.ConvertToRe, "Re^7,Re^5");
  EXPECT_EQ(TIniFile(File("Tidelarn.ini")).ReadString("News", "ConvertToRe", ""), "AW");
  EXPECT_EQ(TIniFile(File("Tidelarn.ini")).ReadString("News", "AnswerDesignators", ""), "Re^5");
}

TEST_F(ProfileTest, DelXHeaderKeepsOnlyXHeaders) {
  Store("[News]\r\nDelXHeader=3\r\nDelXHeader-1=X-Foo\r\nDelXHeader-2=Subject\r\n"
        "DelXHeader-3=x-bar\r\n");
  profile.Load(true);
  EXPECT_EQ(profile.DelXHeader, (std::vector<std::string>{"X-Foo", "x-bar"}));
  profile.WriteSettings();
  TIniFile ini(File("Tidelarn.ini"));
  EXPECT_EQ(ini.ReadString("News", "DelXHeader", ""), "2");
  EXPECT_EQ(ini.ReadString("News", "DelXHeader-1", ""), "X-Foo");
  EXPECT_EQ(ini.ReadString("News", "DelXHeader-2", ""), "x-bar");
}

TEST_F(ProfileTest, DelXHeaderCountBeyondItsKeysWritesNoEmptyKeys) {
  Store("[News]\r\nDelXHeader=2000000000\r\nDelXHeader-1=X-Foo\r\nDelXHeader-3=X-Baz\r\n");
  profile.Load(true);
  EXPECT_EQ(profile.DelXHeader, (std::vector<std::string>{"X-Foo", "X-Baz"}));
  TIniFile ini(File("Tidelarn.ini"));
  EXPECT_TRUE(ini.ValueExists("News", "DelXHeader-2"));  // a gap is filled as usual
  EXPECT_FALSE(ini.ValueExists("News", "DelXHeader-4"));
}

TEST_F(ProfileTest, RunLoadExpandsPathsAndFillsCharsets) {
  Specials.DefBody = "iso-8859-1,utf-8";
  Specials.DefHeader = "us-ascii";
  Store("[News]\r\nMessagePath=Groups\\News.Out\r\nFilePath=\r\nHeaderCharsets=utf-8\r\n");
  profile.Load(false);
  EXPECT_EQ(profile.MessagePath, ProgramDir() + "Groups\\News.Out/");
  EXPECT_EQ(profile.FilePath, ProgramDir());
  EXPECT_EQ(profile.BodyCharsets, "iso-8859-1,utf-8");
  EXPECT_EQ(profile.HeaderCharsets, "utf-8");
  // Nothing of it reaches the file.
  TIniFile ini(File("Tidelarn.ini"));
  EXPECT_EQ(ini.ReadString("News", "FilePath", "x"), "");
  EXPECT_EQ(ini.ReadString("News", "BodyCharsets", "x"), "");

  profile.Load(true);
  EXPECT_EQ(profile.MessagePath, "Groups\\News.Out");
  EXPECT_EQ(profile.BodyCharsets, "");
}

TEST_F(ProfileTest, MessageIdPrefixesGatherFromThreeOtherFiles) {
  Store("[News]\r\nKillMessageIDBegins=a@,b@,A@\r\n");
  WriteFile(File("Plimsort.ini"), "[Settings]\r\nAddToMessageID=p@,b@\r\n");
  WriteFile(File("copyif.ini"), "[Settings]\r\nAddToMessageID=c@\r\n");
  WriteFile(File("win.ini"), "[Wexs Tools]\r\nAddToMessageID=,w@,\r\n");
  profile.Load(true);
  EXPECT_EQ(profile.KillMessageIDBegins, (std::vector<std::string>{"a@", "b@", "p@", "c@", "w@"}));
  // Writing stores the gathered entries; the next load keeps each once.
  profile.WriteSettings();
  profile.Load(true);
  EXPECT_EQ(profile.KillMessageIDBegins, (std::vector<std::string>{"a@", "b@", "p@", "c@", "w@"}));
  EXPECT_FALSE(TIniFile(File("Plimsort.ini")).ValueExists("News", "MakeBak"));
}

TEST_F(ProfileTest, SetDefaultsTouchesOnlyItsFields) {
  profile.MakeBak = profile.GMT = profile.CheckMIMEHeaders = true;
  profile.MessagePath = "x";
  profile.KillMessageIDBegins = {"k"};
  profile.DelXHeader = {"X-A"};
  profile.MaxReferencesLength = 512;
  profile.SetDefaults();
  EXPECT_TRUE(profile.AutoFunctions && profile.CheckQuotesDoNotChangeAfterSigDelimiter);
  EXPECT_FALSE(profile.CheckMIMEHeaders);
  EXPECT_EQ(profile.MaxReferencesLength, 0);
  EXPECT_TRUE(profile.DelXHeader.empty());
  EXPECT_TRUE(profile.MakeBak && profile.GMT);  // kept
  EXPECT_EQ(profile.MessagePath, "x");
  EXPECT_EQ(profile.KillMessageIDBegins, std::vector<std::string>{"k"});
}

TEST_F(ProfileTest, SectionExistsNeedsAKey) {
  EXPECT_FALSE(profile.SectionExists());  // no file
  Store("[News]\r\n; only a comment\r\n[Mails]\r\nx=\r\n");
  EXPECT_FALSE(profile.SectionExists());
  profile.Section = "MAILS";
  EXPECT_TRUE(profile.SectionExists());
}

TEST_F(ProfileTest, SectionNamesTheFileCannotHoldAreRefusedBeforeAnyWrite) {
  for (std::string bad : {"a]b", "a\nb", "a\rb", "", " News", "News\t"}) {
    profile.Section = bad;
    EXPECT_THROW(profile.Load(true), Exception) << bad;
    EXPECT_FALSE(FileExists(File("Tidelarn.ini")));
    EXPECT_TRUE(Reports().empty());  // one clear error, no report per key
  }
  profile.Section = "a]b";
  try {
    profile.WriteSettings();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("a]b"), std::string::npos);
  }
  EXPECT_FALSE(FileExists(File("Tidelarn.ini")));
  ASSERT_EQ(Reports().size(), 1u);
  TIniFile report(File(Reports()[0]));
  EXPECT_EQ(report.ReadString("EXCEPTION", "Reason", ""), "TVQEinstellungen.WriteSettings");
  EXPECT_EQ(report.ReadString("EXCEPTION", "Filename", ""), File("Tidelarn.ini"));
}

TEST_F(ProfileTest, ValuesAreCutAtTheirFirstLineBreak) {
  profile.SetDefaults();
  profile.ConvertToSigDelimiter = "-- x\r\nMakeBak=1";
  profile.SigFile = "sig\nMakeBak=1";
  profile.WriteSettings();
  TIniFile ini(File("Tidelarn.ini"));
  EXPECT_EQ(ini.ReadString("News", "ConvertToSigDelimiter", ""), "-- x");
  EXPECT_EQ(ini.ReadString("News", "SigFile", ""), "sig");
  EXPECT_EQ(ini.ReadString("News", "MakeBak", ""), "0");
  EXPECT_EQ(Keys(File("Tidelarn.ini"), "News").size(), 61u);
}

TEST_F(ProfileTest, FailedWritesAreReported) {
  profile.IniFileName = File("missing-folder/Tidelarn.ini");
  // Load: the defaults are in force, one report names the first key written back.
  profile.Load(true);
  EXPECT_TRUE(profile.AutoFunctions);
  ASSERT_EQ(Reports().size(), 1u);
  {
    TIniFile report(File(Reports()[0]));
    EXPECT_EQ(report.ReadString("EXCEPTION", "Reason", ""),
              "TEinstellungen.GetParam - Write Default");
    EXPECT_EQ(report.ReadString("EXCEPTION", "Abschn", ""), "News");
    EXPECT_EQ(report.ReadString("EXCEPTION", "Bez", ""), "doDebugOutput");
    EXPECT_EQ(report.ReadString("EXCEPTION", "Def", "x"), "0");
    EXPECT_NE(report.ReadString("EXCEPTION", "Message", ""), "");
    EXPECT_NE(report.ReadString("EXCEPTION", "DateTime", ""), "");
  }
  // WriteSettings: reported and raised.
  EXPECT_THROW(profile.WriteSettings(), EInOutError);
  EXPECT_EQ(Reports().size(), 2u);
}

// A report that cannot be written is said on stderr, with a reason even when
// its failure brought none.
TEST_F(ProfileTest, AReportThatCannotBeWrittenSaysWhy) {
  const std::vector<std::function<void(TIniFile&)>> failures = {
      [](TIniFile&) { throw EInOutError(""); },
      [](TIniFile&) { throw 42; },
  };
  for (const auto& fail : failures) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(WriteReportFile("the failure", fail), "");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("()"), std::string::npos) << err;
    EXPECT_NE(err.find("(" + ErrorReason(0) + ")"), std::string::npos) << err;
    EXPECT_NE(err.find("the failure"), std::string::npos) << err;
  }
  EXPECT_TRUE(Reports().empty());
}

// ---------------------------------------------------------------------------
// Small routines

TEST(SettingsRoutines, SplitToStringsSkipsEmptyAndRepeatedPieces) {
  std::vector<std::string> list = {"keep"};
  SplitToStrings("a,,B, b,A,KEEP,", list, ',', false);
  EXPECT_EQ(list, (std::vector<std::string>{"keep", "a", "B", " b"}));
  SplitToStrings("x;y", list, ';', true);
  EXPECT_EQ(list, (std::vector<std::string>{"x", "y"}));
  SplitToStrings("", list, ',', true);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(JoinWithComma({"a", "", "b"}), "a,,b");
}

TEST(SettingsRoutines, NormalizeDesignators) {
  EXPECT_EQ(NormalizeDesignators("Re,,RE,AW"), "Re,AW");
  EXPECT_EQ(NormalizeDesignators("Re, AW,AW"), "Re, AW,AW");
  EXPECT_EQ(NormalizeDesignators(",,"), "");
  std::string longItem(300, 'x');
  EXPECT_EQ(NormalizeDesignators(longItem + ",y"), longItem + ",y");  // no cut at 255
}

TEST(SettingsRoutines, ExpandProgramPath) {
  TempDir dir;
  SetProgramDir(dir.Path());
  const std::string& pd = ProgramDir();
  EXPECT_EQ(ExpandProgramPath(""), pd);
  EXPECT_EQ(ExpandProgramPath("Groups\\News.Out"), pd + "Groups\\News.Out/");
  EXPECT_EQ(ExpandProgramPath("Mails/"), pd + "Mails/");
  EXPECT_EQ(ExpandProgramPath("D:\\News\\"), "D:\\News\\");
  EXPECT_EQ(ExpandProgramPath("D:\\News"), "D:\\News/");
  EXPECT_EQ(ExpandProgramPath("\\srv\\news"), "\\srv\\news/");
  EXPECT_EQ(ExpandProgramPath("/srv/news"), "/srv/news/");
  std::string deep(400, 'd');
  EXPECT_EQ(ExpandProgramPath(deep), pd + deep + "/");  // no cut at 255
}

TEST_F(SettingsTest, LoadTextFileReadsEveryLineEnd) {
  std::vector<std::string> lines = {"old"};
  LoadTextFile(File("missing.txt"), lines);
  EXPECT_TRUE(lines.empty());
  WriteFile(File("l.txt"), "a\r\nb\nc\rd");
  LoadTextFile(File("l.txt"), lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d"}));
  WriteFile(File("e.txt"), "");
  lines = {"old"};
  LoadTextFile(File("e.txt"), lines);
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(Reports().empty());
}

TEST_F(SettingsTest, LoadTextFileRetriesThenRaises) {
  // A regular file whose read fails (EIO) even for root.
  std::vector<std::string> lines = {"old"};
  EXPECT_THROW(LoadTextFile("/proc/self/mem", lines), EInOutError);
  EXPECT_EQ(lines, std::vector<std::string>{"old"});
  auto reports = Reports();
  ASSERT_EQ(reports.size(), 22u);
  int withAttempt = 0;
  std::vector<bool> seen(22, false);
  for (const auto& r : reports) {
    TIniFile report(File(r));
    EXPECT_EQ(report.ReadString("EXCEPTION", "Reason", ""), "LoadTextFile TStriongs.LoadFromFile");
    EXPECT_EQ(report.ReadString("EXCEPTION", "Filename", ""), "/proc/self/mem");
    int n = report.ReadInteger("EXCEPTION", "Versuch", 0);
    if (n > 0 && n <= 21) {
      ++withAttempt;
      seen[size_t(n)] = true;
    }
  }
  EXPECT_EQ(withAttempt, 21);
  for (int n = 1; n <= 21; ++n) EXPECT_TRUE(seen[size_t(n)]) << n;
}

TEST_F(ProfileTest, WithoutAFileNameTheDefaultsAreUsedAndNothingIsWritten) {
  profile.IniFileName.clear();
  profile.OverrideKeys = {"answerdesignators"};
  profile.OverrideValues = {"Re^5"};
  profile.Load(true);
  EXPECT_TRUE(profile.AutoFunctions);
  EXPECT_EQ(profile.ConvertToRe, "AW,Antwort,Re^2,Re^3,Re^4,Re^5");
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(ListFiles(dir.Path(), "*").size(), 0u);
}
