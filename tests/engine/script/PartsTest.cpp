// Operations on a whole MIME part: HTML turned into plain text with a copy of
// the HTML on disk, the body charset, the transfer encoding.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "FileWalk.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uKorrigiereArtikel.h"
#include "uMIMEInfo.h"
#include "uTools.h"
#include "uVQSkript.h"

namespace {

const char* const kHtmlMessage =
    "From: Max Muster <max@example.org>\r\n"
    "Subject: Test\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/html; charset=iso-8859-1\r\n"
    "Content-Disposition: inline\r\n"
    "Content-Transfer-Encoding: 8bit\r\n"
    "\r\n"
    "<html><body><p>Hallo <b>Welt</b></p></body></html>\r\n";

const char* const kAlternative =
    "From: Max Muster <max@example.org>\r\n"
    "Subject: Test\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/alternative; boundary=\"b1\"\r\n"
    "\r\n"
    "--b1\r\n"
    "Content-Type: text/plain; charset=us-ascii\r\n"
    "\r\n"
    "Hallo Welt\r\n"
    "--b1\r\n"
    "Content-Type: TEXT/HTML;\r\n"
    "\tcharset=us-ascii\r\n"
    "Content-Disposition: inline\r\n"
    "\r\n"
    "<html><body>Hallo <i>Welt</i></body></html>\r\n"
    "--b1--\r\n";

std::string Message(const std::string& contentType, const std::string& body,
                    const std::string& encoding = "8bit") {
  return "From: Max Muster <max@example.org>\r\nSubject: Test\r\nMIME-Version: 1.0\r\n"
         "Content-Type: " +
         contentType + "\r\nContent-Transfer-Encoding: " + encoding + "\r\n\r\n" + body;
}

class Parts : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    SetInternalCharset("windows-1252");
    SetProgramDir(dir.Path() + "/");
    settings.IniFileName = dir / "Tidelarn.ini";
    settings.Section = "news";
    settings.Load(false);
    settings.SaveHTMLAs = dir / "kopien\\Original_*.html";
  }
  void TearDown() override { script.reset(); }

  TVQSkript& Load(const std::string& text) {
    script.reset();
    article = std::make_unique<TArtikel>(InternalCharsetName(), settings.BodyCharsets,
                                         settings.HeaderCharsets);
    article->LoadFromString(text);
    script = std::make_unique<TVQSkript>("test.msg", article.get(), &settings);
    return *script;
  }
  TMIMEPart& Part() const { return *article->CurrentPart(); }
  std::vector<std::string> BodyLines() const {
    return SplitLines(Part().Body().GetInternalText());
  }
  std::vector<std::string> Copies() const { return ListFiles(dir / "kopien", "*"); }

  TempDir dir;
  TVQEinstellungen settings;
  std::unique_ptr<TArtikel> article;
  std::unique_ptr<TVQSkript> script;
};

}  // namespace

// ---------------------------------------------------------------------------
// HTML to text

TEST_F(Parts, SinglePartHtmlBecomesPlainText) {
  Load(kHtmlMessage).ConvertHtmlToText();
  const std::string copy = dir / "kopien/Original_1.html";
  EXPECT_EQ(ReadFile(copy), "<html><body><p>Hallo <b>Welt</b></p></body></html>\r\n");
  const std::vector<std::string> lines = BodyLines();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[0], std::string(76, '='));
  EXPECT_EQ(lines[1], "===  Ergebnis der automatischen HTML=>Text-Wandlung von Tidelarn");
  EXPECT_EQ(lines[2], "===  Original: <file://localhost/" + copy.substr(1) + ">");
  EXPECT_EQ(lines[3], std::string(76, '='));
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "");
  // Three line breaks after the note, then the converted text.
  EXPECT_NE(Part().Body().GetInternalText().find(std::string(76, '=') + "\r\n\r\n\r\n\r\n\r\nHallo *Welt*"),
            std::string::npos);
  EXPECT_EQ(article->Header.GetField("Content-Type", true), "text/plain; charset=iso-8859-1");
  EXPECT_FALSE(article->Header.HasField("Content-Disposition"));
  EXPECT_EQ(Part().GetMIMEInfo().ContentClass, ccTextPlain);
  // The second time the part is text already.
  script->ConvertHtmlToText();
  EXPECT_EQ(Copies().size(), 1u);
}

TEST_F(Parts, CopiesAreNumbered) {
  for (int n = 0; n < 3; ++n) Load(kHtmlMessage).ConvertHtmlToText();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"Original_1.html", "Original_2.html",
                                                  "Original_3.html"}));
  // Without a "*" an existing name gets a number before its extension.
  settings.SaveHTMLAs = dir / "kopien/Mail.html";
  for (int n = 0; n < 2; ++n) Load(kHtmlMessage).ConvertHtmlToText();
  EXPECT_TRUE(FileExists(dir / "kopien/Mail.html"));
  EXPECT_TRUE(FileExists(dir / "kopien/Mail[1].html"));
}

TEST_F(Parts, AlternativeMessageBecomesMixed) {
  TVQSkript& s = Load(kAlternative);
  article->SetCurrentPart(2);
  s.ConvertHtmlToText();
  EXPECT_EQ(article->Header.GetField("Content-Type", true), "multipart/mixed; boundary=\"b1\"");
  EXPECT_EQ(Part().Header().GetField("Content-Type", true), "text/plain;\r\n\tcharset=us-ascii");
  EXPECT_FALSE(Part().Header().HasField("Content-Disposition"));

  // The message written and read again holds two text/plain parts.
  TArtikel again(InternalCharsetName(), "", "");
  again.LoadFromString(article->GetText());
  ASSERT_EQ(again.Parts.Count(), 2);
  EXPECT_EQ(again.Parts.Items(1)->GetMIMEInfo().ContentClass, ccTextPlain);
  EXPECT_NE(again.Parts.Items(1)->Body().GetInternalText().find("Hallo"), std::string::npos);
  EXPECT_EQ(again.Parts.Items(0)->Body().GetInternalText(), "Hallo Welt\r\n");
}

TEST_F(Parts, EntitiesKeepTheirCharactersWithAUtf8InternalCharset) {
  SetInternalCharset("utf-8");
  Load(Message("text/html; charset=utf-8", "<html><body>&auml; &#228; &#8364;</body></html>\r\n"))
      .ConvertHtmlToText();
  const std::string out = article->GetText();
  SetInternalCharset("windows-1252");
  EXPECT_NE(out.find("\r\n\xC3\xA4 \xC3\xA4 \xE2\x82\xAC"), std::string::npos) << out;
  EXPECT_NE(out.find("Content-Type: text/plain; charset=utf-8\r\n"), std::string::npos) << out;
}

TEST_F(Parts, HtmlWithoutTextKeepsItsHtml) {
  Load(Message("text/html", "<html><body><p></p></body></html>\r\n")).ConvertHtmlToText();
  EXPECT_EQ(article->Header.GetField("Content-Type", true), "text/html");
  EXPECT_FALSE(Part().Body().Changed);
  // The copy stays on disk all the same.
  EXPECT_EQ(Copies().size(), 1u);
}

TEST_F(Parts, CopyThatCannotBeWrittenEndsTheCorrection) {
  WriteFile(dir / "datei", "x");
  settings.SaveHTMLAs = dir / "datei/kopien/Original_*.html";
  TVQSkript& s = Load(kHtmlMessage);
  EXPECT_THROW(s.ConvertHtmlToText(), Exception);
  EXPECT_FALSE(Part().Body().Changed);
  EXPECT_EQ(article->Header.GetField("Content-Type", true), "text/html; charset=iso-8859-1");
}

// ---------------------------------------------------------------------------
// Body charset

TEST_F(Parts, SmallestCharsetOfTheList) {
  settings.BodyCharsets = "iso-8859-1, iso-8859-15, utf-8";
  // Plain ASCII takes the first charset of the list.
  Load(Message("text/plain; charset=utf-8", "Hallo\r\n")).SetMinBodyCharset();
  EXPECT_EQ(article->Header.GetField("Content-Type", true), "text/plain; charset=iso-8859-1");

  // The euro sign is not in Latin-1; the signature counts too.
  Load(Message("text/plain; charset=utf-8", "Hallo\r\n-- \r\nPreis: \xE2\x82\xAC 5\r\n"))
      .SetMinBodyCharset();
  EXPECT_EQ(article->Header.GetField("Content-Type", true), "text/plain; charset=iso-8859-15");
  const std::string text = article->GetText();
  EXPECT_NE(text.find("Preis: \xA4 5\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\n-- \r\n"), std::string::npos);

  // A fitting charset stays, whatever the case of its name.
  Load(Message("text/plain; charset=ISO-8859-1", "Gr\xFC\xDF" "e\r\n")).SetMinBodyCharset();
  EXPECT_FALSE(article->Header.Changed);
  EXPECT_FALSE(Part().Body().Changed);
}

TEST_F(Parts, NonTextPartsKeepTheirBytes) {
  settings.BodyCharsets = "utf-8";
  const std::string message = Message("image/png", "\x89PNG\xFF\xFE\r\n", "8bit");
  Load(message).SetMinBodyCharset();
  EXPECT_EQ(article->GetText(), message);
}

// ---------------------------------------------------------------------------
// Transfer encoding

TEST_F(Parts, PartEncodingIsSet) {
  Load(Message("text/plain; charset=iso-8859-1", "Gr\xFC\xDF" "e\r\n")).SetPartEncoding(3);
  EXPECT_EQ(article->Header.GetField("Content-Transfer-Encoding", true), "quoted-printable");
  EXPECT_NE(article->GetText().find("Gr=FC=DFe"), std::string::npos);

  // The same encoding again, and codes outside 1..4, change nothing.
  Load(Message("text/plain; charset=iso-8859-1", "Text\r\n")).SetPartEncoding(2);
  script->SetPartEncoding(0);
  script->SetPartEncoding(5);
  EXPECT_FALSE(article->Header.Changed);
  EXPECT_FALSE(Part().Body().Changed);
}

TEST_F(Parts, SevenBitAlsoTransliteratesIntroAndAppendedLines) {
  TVQSkript& s = Load(Message("text/plain; charset=iso-8859-1", "Gr\xFC\xDF" "e\r\n"));
  auto intro = std::make_unique<TChangedStringlist>();
  intro->Assign(std::vector<std::string>{"Hallo J\xFCrgen,"});
  Part().SetNamedList("Intro", std::move(intro));
  s.LinesToAppend = {"Tsch\xFC\xDF", "Max"};
  s.SetPartEncoding(1);
  EXPECT_EQ(article->Header.GetField("Content-Transfer-Encoding", true), "7bit");
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{"Gruesse"}));
  EXPECT_EQ(Part().GetNamedList("Intro")->Lines(), (std::vector<std::string>{"Hallo Juergen,"}));
  EXPECT_EQ(s.LinesToAppend, (std::vector<std::string>{"Tschuess", "Max"}));
}

// ---------------------------------------------------------------------------
// Attachments

namespace {

// A multipart message: a text part, then one attachment per name.
std::string WithAttachments(const std::vector<std::string>& names) {
  std::string text =
      "From: Max Muster <max@example.org>\r\nSubject: Test\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
      "--b1\r\nContent-Type: text/plain\r\n\r\nAnbei.\r\n";
  for (const std::string& name : names)
    text += "--b1\r\nContent-Type: application/octet-stream\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"" +
            name + "\"\r\n\r\nSW5oYWx0\r\n";
  return text + "--b1--\r\n";
}

}  // namespace

TEST_F(Parts, AttachmentsWithHostileNamesStayInTheirFolder) {
  WriteFile(dir / "header.def", "");
  settings.HeaderDef = "header.def";
  settings.FilePath = dir.Path() + "/";
  settings.SaveAttachments = true;
  settings.SaveAttachmentsDir = dir / "anhang";
  settings.ActionIfAttExists = 2;
  ASSERT_EQ(mkdir((dir / "anhang").c_str(), 0700), 0);
  // A link in the folder that points outside must not be written through.
  WriteFile(dir / "aussen.txt", "bleibt");
  ASSERT_EQ(symlink((dir / "aussen.txt").c_str(), (dir / "anhang/link.txt").c_str()), 0);

  const std::string longName = std::string(300, 'n') + ".pdf";
  Load(WithAttachments({"../../etc/passwd", "..", "a\tb.bin", "link.txt", longName, "doppelt.txt",
                        "doppelt.txt", "nr*.dat"}));
  KorrigiereArtikel(*script, settings, *article);

  EXPECT_EQ(ListFiles(dir / "anhang", "*"),
            (std::vector<std::string>{"AutoSave_", "a_b.bin", "doppelt.txt", "doppelt[1].txt",
                                      "link.txt", "link[1].txt", std::string(196, 'n') + ".pdf",
                                      "nr1.dat"}));
  // A listing leaves dot-files out.
  EXPECT_TRUE(FileExists(dir / "anhang/.._.._etc_passwd"));
  EXPECT_EQ(ReadFile(dir / "aussen.txt"), "bleibt");
  EXPECT_EQ(ReadFile(dir / "anhang/AutoSave_"), "Inhalt");
  // Each attachment part now refers to its file, in 8bit.
  TMIMEPart* part = article->Parts.Items(2);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->Body().GetInternalText(),
            "Saved as <file://localhost/" + (dir / "anhang/AutoSave_").substr(1) + ">\r\n");
  EXPECT_EQ(part->GetMIMEInfo().Encoding, me8Bit);
}

TEST_F(Parts, ExistingAttachmentIsKeptWhenAskedTo) {
  WriteFile(dir / "header.def", "");
  settings.HeaderDef = "header.def";
  settings.FilePath = dir.Path() + "/";
  settings.SaveAttachments = true;
  settings.SaveAttachmentsDir = dir.Path();
  settings.ActionIfAttExists = 0;
  WriteFile(dir / "brief.txt", "alt");
  Load(WithAttachments({"brief.txt"}));
  KorrigiereArtikel(*script, settings, *article);
  EXPECT_EQ(ReadFile(dir / "brief.txt"), "alt");
  EXPECT_EQ(article->Parts.Items(1)->GetMIMEInfo().Encoding, meBase64);
  EXPECT_FALSE(article->Parts.Items(1)->Body().Changed);
}
