// The correction of one article: the order of the steps and the profile
// switches that gate them, on messages loaded from text.
#include "uKorrigiereArtikel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uArtikel.h"
#include "uDriver.h"
#include "uEinstellungen.h"
#include "uTools.h"
#include "uVQSkript.h"

namespace {

const char* const kNews =
    "From: Max Muster <max@example.org>\r\n"
    "Newsgroups: de.test\r\n"
    "Subject: AW: Re: Hallo (was: Tach)\r\n"
    "References: <1@a> <2@a> <3@a> <4@a> <5@a> <6@a>\r\n"
    "X-Remove: weg\r\n"
    "\r\n"
    "X-No-Archive: yes\r\n"
    "\r\n"
    ">>zitat\r\n"
    "Antwort   \r\n"
    "\r\n"
    "\r\n"
    "-- \r\n"
    "Max\r\n";

class Correction : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    SetProgramDir(dir.Path() + "/");
    settings.IniFileName = dir / "Tidelarn.ini";
    settings.Section = "news";
    settings.Load(false);  // the defaults of a new profile
    settings.HeaderDef = "header.def";
    settings.SetDateHeader = 0;
  }
  void TearDown() override { SetProgramDir(savedProgramDir); }

  // Loads Message, corrects it with Script as header.def and returns the
  // message text afterwards.
  std::string Correct(const std::string& message, const std::string& scriptText = "") {
    WriteFile(dir / "header.def", scriptText);
    article = std::make_unique<TArtikel>(InternalCharsetName(), settings.BodyCharsets,
                                         settings.HeaderCharsets);
    article->LoadFromString(message);
    TVQSkript script("test.msg", article.get(), &settings);
    script.RunExitCode = &exitCode;
    changed = KorrigiereArtikel(script, settings, *article);
    return article->GetText();
  }

  std::string Field(const std::string& name) const { return article->Header.GetField(name, false); }

  const std::string savedProgramDir = ProgramDir();
  TempDir dir;
  TVQEinstellungen settings;
  std::unique_ptr<TArtikel> article;
  bool changed = false;
  int32_t exitCode = 0;  // the run's
};

// Sets TZ for one test and restores it.
class ZoneScope {
public:
  explicit ZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    if (hadOld_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

private:
  std::string old_;
  bool hadOld_ = false;
};

}  // namespace

TEST_F(Correction, MainRoadWithTheDefaults) {
  settings.MaxReferencesLength = 20;
  settings.DelXHeader = {"X-Remove"};
  const std::string out = Correct(kNews);
  EXPECT_TRUE(changed);
  EXPECT_EQ(Field("Subject"), "Re: Hallo");
  EXPECT_EQ(Field("References"), "<1@a> <4@a> <5@a> <6@a>");
  EXPECT_FALSE(article->Header.HasField("X-Remove"));
  // The body header line and the empty line after it left the body; quotes
  // and the empty lines before the signature were corrected.
  EXPECT_NE(out.find("\r\n\r\n>> zitat\r\nAntwort   \r\n-- \r\nMax\r\n"), std::string::npos) << out;
  EXPECT_EQ(article->LastAction, 0);
}

TEST_F(Correction, SecondRunChangesNothing) {
  settings.SetDateHeader = 1;
  settings.RightTrimLines = true;
  const std::string once = Correct(kNews);
  ASSERT_TRUE(changed);
  const std::string twice = Correct(once);
  EXPECT_FALSE(changed);
  EXPECT_EQ(twice, once);
}

TEST_F(Correction, AutomaticFunctionsOff) {
  settings.AutoFunctions = false;
  settings.SetDateHeader = 2;
  settings.DelXHeader = {"X-Remove"};
  const std::string out = Correct(kNews, "Sub main\r\nX-Script: ran\r\nEnd Sub\r\n");
  EXPECT_TRUE(changed);  // by the script only
  EXPECT_EQ(Field("X-Script"), "ran");
  EXPECT_EQ(Field("Subject"), "AW: Re: Hallo (was: Tach)");
  EXPECT_EQ(Field("X-Remove"), "weg");
  EXPECT_FALSE(article->Header.HasField("Date"));
  EXPECT_NE(out.find(">>zitat"), std::string::npos);
}

TEST_F(Correction, UnchangedMessageIsReportedUnchanged) {
  const std::string plain =
      "From: <a@b.example>\r\nSubject: Hallo\r\nNewsgroups: de.test\r\n\r\n> ok\r\nText\r\n";
  EXPECT_EQ(Correct(plain), plain);
  EXPECT_FALSE(changed);
}

TEST_F(Correction, CheckAbortStopsEverything) {
  settings.EndAction = 2;
  const std::string out = Correct(kNews,
                                  "Sub CheckAbort\r\n%abort% = true\r\nEnd Sub\r\n"
                                  "Sub main\r\n%Exitcode% = 5\r\nEnd Sub\r\n");
  EXPECT_FALSE(changed);
  EXPECT_EQ(out, kNews);
  EXPECT_EQ(article->LastAction, 2);
  EXPECT_EQ(exitCode, 0);
}

TEST_F(Correction, ExitCodeOfSubMain) {
  Correct(kNews, "Sub main\r\nVar global %Exitcode%: Float = 6.6\r\nEnd Sub\r\n");
  EXPECT_EQ(exitCode, 7);
  settings.AutoFunctions = false;
  Correct(kNews, "Sub main\r\n%Exitcode% = 3\r\nEnd Sub\r\n");
  EXPECT_EQ(exitCode, 3);
}

TEST_F(Correction, ScriptSeesTheCorrectedHeaders) {
  Correct(kNews,
          "Sub main\r\nif Header(\"subject\") = \"Re: Hallo\" then\r\nX-Seen: yes\r\nendif\r\nEnd Sub\r\n");
  EXPECT_EQ(Field("X-Seen"), "yes");
}

TEST_F(Correction, DateHeader) {
  const std::string withDate = "date: Mon, 01 Jan 2001 00:00:00 GMT\r\nSubject: x\r\n\r\nText\r\n";
  settings.SetDateHeader = 1;
  Correct(withDate);
  EXPECT_EQ(article->Header.Get(0), "date: Mon, 01 Jan 2001 00:00:00 GMT");
  EXPECT_FALSE(changed);
  settings.SetDateHeader = 2;
  settings.GMT = true;
  Correct(withDate);
  EXPECT_TRUE(changed);
  EXPECT_TRUE(EndsStr(" GMT", Field("Date")));
  EXPECT_NE(Field("Date"), "Mon, 01 Jan 2001 00:00:00 GMT");
  EXPECT_EQ(article->Header.Count(), 2);
  settings.SetDateHeader = 3;
  Correct(withDate);
  EXPECT_FALSE(changed);
}

TEST(RfcDate, ZoneOffsetsKeepTheirMinutes) {
  struct Row {
    const char* zone;
    const char* local;
  } rows[] = {
      {"IST-5:30", "Thu, 01 Jan 1970 05:30:00 +0530"},
      {"NST3:30", "Wed, 31 Dec 1969 20:30:00 -0330"},
      {"EST5", "Wed, 31 Dec 1969 19:00:00 -0500"},
      {"CET-1", "Thu, 01 Jan 1970 01:00:00 +0100"},
      {"UTC0", "Thu, 01 Jan 1970 00:00:00 GMT"},
  };
  for (const Row& r : rows) {
    ZoneScope zone(r.zone);
    EXPECT_EQ(FormatRfcDate(false, 0), r.local) << r.zone;
    EXPECT_EQ(FormatRfcDate(true, 0), "Thu, 01 Jan 1970 00:00:00 GMT") << r.zone;
  }
  ZoneScope zone("IST-5:30");
  EXPECT_EQ(TimeZoneOffsetMinutes(0), 330);
  // 2026-12-08 06:24:00 UTC
  EXPECT_EQ(FormatRfcDate(false, 1796711040), "Tue, 08 Dec 2026 11:54:00 +0530");
  EXPECT_EQ(FormatRfcDate(true, 1796711040), "Tue, 08 Dec 2026 06:24:00 GMT");
}

TEST_F(Correction, BodySwitches) {
  const std::string message =
      "Subject: x\r\nX-Check-Body: %s\r\n\r\n>>a\r\ntext  \r\n-- \r\nsig  \r\n\r\n";
  struct Row {
    const char* checkBody;
    bool rightTrim, deleteEmpty;
    const char* body;
  } rows[] = {
      {"true", false, false, ">> a\r\ntext  \r\n-- \r\nsig  \r\n\r\n"},
      {"FALSE", false, false, ">>a\r\ntext  \r\n-- \r\nsig  \r\n\r\n"},
      {"true", true, false, ">> a\r\ntext\r\n-- \r\nsig\r\n\r\n"},
      {"true", false, true, ">> a\r\ntext  \r\n-- \r\nsig  \r\n"},
  };
  for (const Row& r : rows) {
    settings.RightTrimLines = r.rightTrim;
    settings.DeleteEmptyLines = r.deleteEmpty;
    const std::string out = Correct(StringReplace(message, "%s", r.checkBody));
    EXPECT_TRUE(EndsStr("\r\n\r\n" + std::string(r.body), out)) << out;
  }
}

TEST_F(Correction, BlankLineBeforeTheSignature) {
  settings.BlankBeforeSig = true;
  settings.DeleteEmptyLines = false;
  const std::string message = "Subject: x\r\n\r\ntext\r\n-- \r\nsig\r\n";
  EXPECT_EQ(Correct(message), message);  // signature unchanged, DeleteEmptyLines off
  settings.DeleteEmptyLines = true;
  EXPECT_EQ(Correct(message), "Subject: x\r\n\r\ntext\r\n\r\n-- \r\nsig\r\n");
  // The empty line taken away and put back: the message counts as unchanged.
  EXPECT_EQ(Correct("Subject: x\r\n\r\ntext\r\n\r\n\r\n-- \r\nsig\r\n"),
            "Subject: x\r\n\r\ntext\r\n\r\n-- \r\nsig\r\n");
  EXPECT_TRUE(changed);
  EXPECT_EQ(Correct("Subject: x\r\n\r\ntext\r\n\r\n-- \r\nsig\r\n"),
            "Subject: x\r\n\r\ntext\r\n\r\n-- \r\nsig\r\n");
  EXPECT_FALSE(changed);
}

TEST_F(Correction, OutlookExpressWordWraps) {
  const std::string a = ">" + std::string(69, 'a');
  const std::string message = "Subject: x\r\n\r\n" + a + "\r\ntail words\r\nnext\r\n";
  EXPECT_EQ(Correct(message), "Subject: x\r\n\r\n> " + a.substr(1) + "\r\ntail words\r\nnext\r\n");
  settings.KillOEWordWraps = true;
  EXPECT_EQ(Correct(message), "Subject: x\r\n\r\n> " + a.substr(1) + " tail words\r\nnext\r\n");
}

TEST_F(Correction, TransferEncodingOfTextParts) {
  const std::string message =
      "Subject: x\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
      "--b\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
      "Gr\xfc\xdf" "e\r\n"
      "--b\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "AAEC\r\n"
      "--b--\r\n";
  settings.DefaultEncoding = 1;
  EXPECT_EQ(Correct(message), message);  // Convert8Bit off
  settings.Convert8Bit = true;
  const std::string out = Correct(message);
  EXPECT_NE(out.find("Content-Transfer-Encoding: quoted-printable\r\n\r\nGr=FC=DFe\r\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("base64\r\n\r\nAAEC\r\n--b--"), std::string::npos) << out;
  settings.ConvertBase64 = true;
  settings.DefaultEncoding = 0;
  EXPECT_NE(Correct(message).find("base64\r\n\r\nAAEC\r\n--b--"), std::string::npos);
}

TEST_F(Correction, EnvelopeOfAnOutgoingMail) {
  const std::string mail =
      "Subject: x\r\n!MAIL FROM: <me@x.example>\r\nTo: a@b.example\r\nBcc: c@d.example\r\n"
      "!RCPT TO: <a@b.example>\r\n\r\nText\r\n";
  settings.AutoFunctions = false;
  settings.HamsterheaderFirst = false;
  EXPECT_EQ(Correct(mail), mail);
  settings.RecreateRCPT_To = true;
  EXPECT_EQ(Correct(mail),
            "Subject: x\r\n!MAIL FROM: <me@x.example>\r\n!RCPT TO: <a@b.example>\r\n"
            "!RCPT TO: <c@d.example>\r\nTo: a@b.example\r\n\r\nText\r\n");
  settings.HamsterheaderFirst = true;
  EXPECT_EQ(Correct(mail),
            "!MAIL FROM: <me@x.example>\r\n!RCPT TO: <a@b.example>\r\n!RCPT TO: <c@d.example>\r\n"
            "Subject: x\r\nTo: a@b.example\r\n\r\nText\r\n");
}

TEST_F(Correction, HeaderSortingFromTheProfile) {
  settings.SortHeader = "Newsgroups, Subject";
  Correct("From: a@b\r\nSubject: s\r\nNewsgroups: x\r\n\r\nText\r\n");
  EXPECT_EQ(article->Header.Lines(),
            (std::vector<std::string>{"Newsgroups: x", "Subject: s", "From: a@b"}));
}

TEST_F(Correction, MissingSignatureFileIsReportedAndTheStepsGoOn) {
  settings.SigFile = "missing.sig";
  settings.RightTrimLines = true;
  testing::internal::CaptureStderr();
  const std::string out = Correct("Subject: x\r\n\r\n>>a  \r\n");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("missing.sig"), std::string::npos) << err;
  EXPECT_EQ(out, "Subject: x\r\n\r\n>> a\r\n");
}
