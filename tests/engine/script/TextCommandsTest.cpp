// The text commands run in-process against a message: string arguments and
// blocks, wildcards, Set/Append/Insert/Delete, collected header lines, option
// overrides, saving a part, and the replacement operations. Results are read
// from the message (header, body, signature), from the script's lists and
// variables, and from files.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uHeader.h"
#include "uMIMEInfo.h"
#include "uTools.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace fs = std::filesystem;

namespace {

const char* const kMessage =
    "From: Max Muster <max@example.org>\r\n"
    "Subject: Test\r\n"
    "Received: one\r\n"
    "Path: news.example.org!not-for-mail\r\n"
    "Received: two\r\n"
    "\r\n"
    "Hallo,\r\n"
    "\r\n"
    "eine Zeile mit Text\r\n"
    "und noch eine\r\n"
    "-- \r\n"
    "Max\r\n";

const char* const kMultipart =
    "From: Max Muster <max@example.org>\r\n"
    "Subject: Anhang\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
    "\r\n"
    "--b\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "\r\n"
    "Text\r\n"
    "--b\r\n"
    "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "AAECAwQFBgc=\r\n"
    "--b--\r\n";

// Answers the error display with the given choices in turn, End when used up.
class TChoosingPrompter : public THeadlessPrompter {
public:
  std::vector<int> answers;
  std::vector<TErrorDisplay> shown;
  int ShowErrorOrDebug(TErrorDisplay& display) override {
    shown.push_back(display);
    return shown.size() > answers.size() ? int(ErrorChoice::End) : answers[shown.size() - 1];
  }
  std::string Errors() const {
    std::string all;
    for (const auto& d : shown) all += d.errorMsg + "\n";
    return all;
  }
};

class TextCommands : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    SetProgramDir(dir.Path() + "/");
    SetPrompter(&prompter);
    WriteFile(dir / "Tidelarn.ini", "[news]\r\nFilePath=" + dir.Path() +
                                        "/\r\nHeader.def=header.def\r\nSetLines=0\r\n");
    settings.IniFileName = dir / "Tidelarn.ini";
    settings.Section = "news";
    settings.Load(false);
    LoadMessage(kMessage);
  }
  void TearDown() override { SetPrompter(nullptr); }

  void LoadMessage(const std::string& text) {
    script.reset();
    article = std::make_unique<TArtikel>(InternalCharsetName(), "", "");
    article->LoadFromString(text);
  }
  TVQSkript& Load(const std::string& text) {
    WriteFile(dir / "header.def", FromUtf8(text));
    script.reset();
    script = std::make_unique<TVQSkript>("test.msg", article.get(), &settings);
    script->LoadScript(true);
    return *script;
  }
  // Loads and runs the script; errors are in prompter.shown.
  void Run(const std::string& text) {
    prompter.shown.clear();
    Load(text);
    script->RunSubMain();
  }

  std::string Var(const std::string& name) const {
    const TVarObj* v = script->Variables->Find(name);
    return v != nullptr ? v->AsString() : "<none>";
  }
  std::string Field(const std::string& name) const { return article->Header.GetField(name, false); }
  TMIMEPart& Part() const { return *article->CurrentPart(); }
  std::vector<std::string> Body() const {
    std::vector<std::string> lines;
    for (int i = 0; i < Part().Body().Count(); ++i) lines.push_back(Part().Body().GetInternalLine(i));
    return lines;
  }
  std::vector<std::string> Sig() const {
    std::vector<std::string> lines;
    for (int i = 0; i < Part().Sig().Count(); ++i) lines.push_back(Part().Sig().GetInternalLine(i));
    return lines;
  }
  std::vector<std::string> Intro() const {
    const TChangedStringlist* intro = Part().GetNamedList("Intro");
    return intro ? intro->Lines() : std::vector<std::string>{"<none>"};
  }
  bool ErrorShown(const std::string& part) const {
    return prompter.Errors().find(FromUtf8(part)) != std::string::npos;
  }

  TempDir dir;
  TChoosingPrompter prompter;
  TVQEinstellungen settings;
  std::unique_ptr<TArtikel> article;
  std::unique_ptr<TVQSkript> script;
};

using Lines = std::vector<std::string>;

}  // namespace

// ---------------------------------------------------------------------------
// String arguments and blocks

TEST_F(TextCommands, IntroBlockIsTrimmedExpandedAndEndsAtEnd) {
  Run("%name% = \"Max\"\r\n"
      "Set Intro\r\n"
      "   Hallo %name%,   \r\n"
      "  END  \r\n"
      "X-After: yes\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Intro(), Lines{"Hallo Max,"});
  EXPECT_EQ(Field("X-After"), "yes");
}

TEST_F(TextCommands, RawBlockKeepsIndentsRelativeToItsFirstLine) {
  Run("Set raw Intro\r\n"
      "    first %x%\r\n"
      "      deeper\r\n"
      "  less\r\n"
      "      end\r\n"
      "\tend\r\n"
      "   end \r\n"
      "X-After: yes\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Intro(), (Lines{"first %x%", "  deeper", "less", "  end", "\tend"}));
  EXPECT_EQ(Field("X-After"), "yes");
}

TEST_F(TextCommands, ABlockNeverClosedTakesTheRestOfTheScript) {
  Run("Set Lines\r\nerste\r\nX-Never: header\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(script->LinesToAppend, (Lines{"erste", "X-Never: header"}));
  EXPECT_EQ(Field("X-Never"), "");
}

TEST_F(TextCommands, ExpressionArguments) {
  Run("Set Lines: \"a\" + \"b\"\r\n"
      "Append Lines = \"c\"\r\n"
      "Append Lines \"50%\"\r\n"
      "Set Intro Full Body\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  // An expression is not wildcard-expanded; a value with line breaks gives lines.
  EXPECT_EQ(script->LinesToAppend, (Lines{"ab", "c", "50%"}));
  Lines withEmptyLast = Body();
  withEmptyLast.push_back("");  // the value's own final line break, then the argument's
  EXPECT_EQ(Intro(), withEmptyLast);

  Run("Set Lines \"a\" junk\r\n");
  EXPECT_TRUE(ErrorShown("Der Text nach dem Stringausdruck")) << prompter.Errors();
  Run("Set Lines junk\r\n");
  EXPECT_TRUE(ErrorShown("Unzulässiger Stringausdruck: \"junk\"")) << prompter.Errors();
}

TEST_F(TextCommands, LinesFromAFileAreExpandedAndAppended) {
  WriteFile(dir / "add.txt", "eins %x%\r\nzwei\n");
  Run("%x% = \"X\"\r\n"
      "Set Lines \"vorher\"\r\n"
      "Append Lines from \"add.txt\"\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(script->LinesToAppend, (Lines{"vorher", "eins X", "zwei"}));
  Run("Set raw Lines from \"" + dir.Path() + "/add.txt\"\r\n");
  EXPECT_EQ(script->LinesToAppend, (Lines{"eins %x%", "zwei"}));

  Run("Set Lines from \"missing.txt\"\r\n");
  EXPECT_TRUE(ErrorShown("missing.txt\" konnte nicht gefunden werden")) << prompter.Errors();
  Run("Set Lines from\r\n");
  EXPECT_TRUE(ErrorShown("Nach \"from\" wird noch ein Dateiname erwartet")) << prompter.Errors();
}

TEST_F(TextCommands, Wildcards) {
  Load("");
  script->Variables->Declare("x", VarType::String)->SetString("v");
  script->Variables->Declare("n", VarType::Integer)->SetString("42");
  EXPECT_EQ(script->ExpandWildcards("%x% und %N%"), "v und 42");
  EXPECT_EQ(script->ExpandWildcards("am Ende %"), "am Ende %");
  EXPECT_EQ(script->ExpandWildcards("100%% sicher, %x%"), "100% sicher, v");
  EXPECT_EQ(script->ExpandWildcards("%%%x%"), "%v");
  EXPECT_EQ(script->ExpandWildcards("[%Header(\"Subject\")%]"), "[Test]");
  EXPECT_EQ(script->ExpandWildcards("%\"a%b\" + \")%\"%"), "a%b)%");
  EXPECT_EQ(script->ExpandWildcards("%\"offen"), "%\"offen");
  EXPECT_EQ(script->ExpandWildcardsOpt("%x%", false), "%x%");
  EXPECT_EQ(script->ExpandWildcardsOpt("%x%", true), "v");

  Run("Set Lines\r\n%Subject%\r\nend\r\n");
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_TRUE(ErrorShown("\"%Subject%\" ist weder")) << prompter.Errors();
  EXPECT_TRUE(ErrorShown("bitte \"%Header(Subject)%\" verwenden")) << prompter.Errors();
}

TEST_F(TextCommands, AnErrorInABlockNeverRunsTheBlockAsCommands) {
  prompter.answers = {ErrorChoice::Continue};
  Run("Set Intro\r\n"
      "Gruß %unbekannt%\r\n"
      "X-Inside: no\r\n"
      "end\r\n"
      "X-After: yes\r\n");
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].lineNo, 2);  // shown at the block line
  EXPECT_EQ(Field("X-Inside"), "");
  EXPECT_EQ(Field("X-After"), "yes");

  // An error before the block is read skips it as well.
  prompter.answers = {ErrorChoice::Continue};
  Run("Set Headercontent 0\r\nX-Inside: no\r\nend\r\nX-After: again\r\n");
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].lineNo, 1);
  EXPECT_EQ(Field("X-Inside"), "");
  EXPECT_EQ(Field("X-After"), "again");
}

TEST_F(TextCommands, RetryAfterAnErrorInABlockRepeatsTheWholeCommand) {
  prompter.answers = {ErrorChoice::Retry};
  Run("Set Intro\r\nA %late%\r\nend\r\n");
  // The retry reads the block again from the command and fails at the same line.
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[1].lineNo, 2);
  EXPECT_NE(prompter.shown[1].errorMsg.find("%late%"), std::string::npos);
  EXPECT_EQ(prompter.shown[1].continueLine, 2);
  EXPECT_EQ(Intro(), Lines{"<none>"});

  // An error after the block was read: the retry does not run "end" as a command.
  prompter.answers = {ErrorChoice::Retry};
  Run("Set Header\r\nkein Header\r\nend\r\n");
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_NE(prompter.shown[1].errorMsg.find("\"kein Header\""), std::string::npos);
}

// ---------------------------------------------------------------------------
// Set

TEST_F(TextCommands, SetSigPicksABlock) {
  WriteFile(dir / "sigs.txt", "--\r\neins\r\n--\r\nzwei\r\nzwei b\r\n\r\n--\r\ndrei\r\n");
  Run("Set Sig #2 from \"sigs.txt\"\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Sig(), (Lines{"zwei", "zwei b"}));
  EXPECT_NE(article->GetText().find("-- \r\nzwei\r\nzwei b\r\n"), std::string::npos);
  Run("Set Signature from \"sigs.txt\"\r\n");
  const Lines picked = Sig();
  EXPECT_TRUE(picked == Lines{"eins"} || picked == (Lines{"zwei", "zwei b"}) ||
              picked == Lines{"drei"});
  Run("Set Sig \"eins\"\r\nAppend Sig #3 from \"sigs.txt\"\r\n");
  EXPECT_EQ(Sig(), (Lines{"eins", "drei"}));
  Run("Set Sig # \"x\"\r\n");
  EXPECT_TRUE(ErrorShown("Hinter \"Set Sig #\" muß die Nummer")) << prompter.Errors();
}

TEST_F(TextCommands, SetLastAction) {
  Run("Set Last Action = Delete\r\n");
  EXPECT_EQ(article->LastAction, 2);
  Run("Set last action =  sig   headers\r\n");
  EXPECT_EQ(article->LastAction, 3);
  Run("Set Last Action = Cancel Changes\r\nSet Last Action = Save Changes\r\n");
  EXPECT_EQ(article->LastAction, 0);
  Run("Set Last Action Delete\r\n");
  EXPECT_TRUE(ErrorShown("Unbekannter Set-Last-Befehl")) << prompter.Errors();
  EXPECT_EQ(article->LastAction, 0);
  Run("Set Last Action = Sig Body\r\n");
  EXPECT_TRUE(ErrorShown("Unbekannter Set-Last-Action-Befehl \"Sig Body\"")) << prompter.Errors();
}

TEST_F(TextCommands, SetHeaderContent) {
  settings.HeaderCharsets = "iso-8859-1";
  Run("Set Headercontent 2 \"Neu ä\"\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(article->Header[1], "Subject: Neu =?iso-8859-1?Q?=E4?=");
  EXPECT_EQ(Field("Subject"), FromUtf8("Neu ä"));
  Run("Set raw HeaderContent 2\r\nerste\r\n\r\nzweite\r\n\tdritte\r\nend\r\n");
  EXPECT_EQ(article->Header[1], "Subject: erste zweite\tdritte");
  Run("Set Headercontent 0 \"x\"\r\n");
  EXPECT_TRUE(ErrorShown("Hinter \"Set HeaderContent\" muß")) << prompter.Errors();
  Run("Set Headercontent 6 \"x\"\r\n");
  EXPECT_TRUE(ErrorShown("Hinter \"Set HeaderContent\" muß")) << prompter.Errors();
}

TEST_F(TextCommands, SetBodylineAndInsertBodyLine) {
  Run("Set Bodyline 3 = \"neu\"\r\n"
      "Insert BodyLine 1 = \"oben\"\r\n"
      "Insert Bodyline -5 = \"ganz oben\"\r\n"
      "Insert BodyLine 99 = \"%x%\"\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Body(), (Lines{"ganz oben", "oben", "Hallo,", "", "neu", "und noch eine", "%x%"}));
  // A line that does not exist is left alone and the run goes on; a text
  // block after the command is read all the same, not run as commands.
  const Lines before = Body();
  for (const char* line : {"Set Bodyline 99 = \"x\"", "Set Bodyline 0 \"x\"",
                           "Set Bodyline -1\r\nX-Block: 1\r\nend"}) {
    Run(std::string(line) + "\r\nX-After: yes\r\n");
    EXPECT_EQ(prompter.Errors(), "") << line;
    EXPECT_EQ(Body(), before) << line;
    EXPECT_EQ(article->Header.GetField("X-After", false), "yes") << line;
    EXPECT_EQ(article->Header.GetField("X-Block", false), "") << line;
  }
  Run("Set Bodyline = \"x\"\r\n");
  EXPECT_TRUE(ErrorShown("Hinter \"Set Bodyline\" muß noch die Zeilennummer")) << prompter.Errors();
  Run("Insert BodyLine 1 \"x\"\r\n");
  EXPECT_TRUE(ErrorShown("Insert BodyLine Zeile = Inhalt")) << prompter.Errors();
  Run("Insert Line 1 = \"x\"\r\n");
  EXPECT_TRUE(ErrorShown("Unbekannter Insert-Befehl \"Line 1 = \"x\"\"")) << prompter.Errors();
}

TEST_F(TextCommands, SetMacro) {
  LoadMessage("Subject: m\r\n\r\nvorher\r\n#GRUSS\r\nmitte #GRUSS\r\n#GRUSS\r\n");
  Run("Set Macro \"#GRUSS\"\r\nViele Grüße\r\n%x%\r\nend\r\n");
  ASSERT_EQ(prompter.shown.size(), 1u);  // %x% is unknown: nothing replaced
  EXPECT_EQ(Body(), (Lines{"vorher", "#GRUSS", "mitte #GRUSS", "#GRUSS"}));
  Run("Set raw Macro \"#GRUSS\"\r\nViele Grüße\r\n%x%\r\nend\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Body(), (Lines{"vorher", FromUtf8("Viele Grüße"), "%x%", "mitte #GRUSS",
                           FromUtf8("Viele Grüße"), "%x%"}));
  prompter.answers = {ErrorChoice::Continue};
  Run("Set Macro \"vorhe\"\r\nX-Inside: no\r\nend\r\n");
  EXPECT_TRUE(ErrorShown("mindestens 6 Zeichen")) << prompter.Errors();
  EXPECT_EQ(Body().front(), "vorher");
  EXPECT_EQ(Field("X-Inside"), "");
}

TEST_F(TextCommands, SetAndAppendHeader) {
  Run("%v% = \"wert\"\r\n"
      "Set H X-Eins: %v%\r\n"
      "Set raw Header X-Zwei: %v%\r\n"
      "Set Header\r\n"
      "X-Block: %v%\r\n"
      "Fortsetzung\r\n"
      "end\r\n"
      "Append H Received: three\r\n"
      "Append Header X-Neu: hinten\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Field("X-Eins"), "wert");
  EXPECT_EQ(Field("X-Zwei"), "%v%");
  EXPECT_EQ(article->Header.GetField("X-Block", true), "wert\r\n Fortsetzung");
  const Lines lines = article->Header.Lines();
  EXPECT_EQ(lines[3], "Received: three");
  EXPECT_EQ(lines.back(), "X-Neu: hinten");
}

TEST_F(TextCommands, SetAndAppendVariables) {
  Run("Var %s%: String\r\n"
      "Append %s% \"x\"\r\n"
      "Set %t% = \"a\"\r\n"
      "Append %t%\r\nb %t%\r\nend\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Var("s"), "\r\nx");
  EXPECT_EQ(Var("t"), "a\r\nb a");
  Run("Append %nie% \"x\"\r\n");
  EXPECT_TRUE(ErrorShown("Die Variable %NIE% ist noch nicht definiert")) << prompter.Errors();
  Run("Var %i%: Integer = 1\r\nAppend %i% \"x\"\r\n");
  EXPECT_TRUE(ErrorShown("Die Variable %I% ist keine Stringvariable")) << prompter.Errors();
  EXPECT_EQ(Var("i"), "1");
  Run("Append Foo \"x\"\r\nSet Foo \"x\"\r\n");
  EXPECT_TRUE(ErrorShown("Unbekannter Append-Befehl \"Foo \"x\"\"")) << prompter.Errors();
}

TEST_F(TextCommands, StringAssignmentsKeepLinesAsTheArgumentReadsThem) {
  WriteFile(dir / "one.txt", "nur eine\r\n");
  Run("%a% = \"x\"\r\n"
      "%b% = \"x\" + Chr(13) + \"y\" + Chr(10) + Chr(10) + \"z\" + CRLF\r\n"
      "%c% = \"\"\r\n"
      "%d%\r\nerste\r\n\r\nzweite\r\nend\r\n"
      "%e% from \"one.txt\"\r\n"
      "%f%\r\nend\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Var("a"), "x");
  EXPECT_EQ(Var("b"), "x\r\ny\r\n\r\nz\r\n");
  EXPECT_EQ(Var("c"), "");
  EXPECT_EQ(Var("d"), "erste\r\n\r\nzweite");
  EXPECT_EQ(Var("e"), "nur eine");
  EXPECT_EQ(Var("f"), "");
}

// ---------------------------------------------------------------------------
// Delete

TEST_F(TextCommands, DeleteHeader) {
  Run("Delete Header Received\r\nDelete Header X-Absent\r\nDelete Header\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_FALSE(article->Header.HasField("Received"));
  EXPECT_EQ(article->Header.Count(), 3);
  // A bare name is the field, not the function of that name.
  Run("Delete Header Path\r\nDelete Header \"Sub\" + \"ject\"\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(article->Header.Lines(), Lines{"From: Max Muster <max@example.org>"});
}

TEST_F(TextCommands, DeleteBodyLines) {
  Run("Delete Bodyline 0\r\n");
  EXPECT_EQ(Body(), (Lines{"", "eine Zeile mit Text", "und noch eine"}));
  Run("Delete BodyLines from 2 to 2\r\nDelete Bodyline 99\r\nDelete Bodylines 3 to 1\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Body(), (Lines{"", "und noch eine"}));
  Run("Delete Bodylines from 0 to 99\r\n");
  EXPECT_EQ(Body(), Lines{});
  Run("Delete Bodylines from 1 bis 2\r\n");
  EXPECT_TRUE(ErrorShown("Delete BodyLines from <Zeile> to <Zeile>")) << prompter.Errors();
  Run("Delete Bodyline 1 2\r\n");
  EXPECT_TRUE(ErrorShown("Delete BodyLine <Zeile>")) << prompter.Errors();
}

TEST_F(TextCommands, DeleteSigLinesIntroAndUnknown) {
  Run("Set Intro \"i\"\r\nSet Lines \"l\"\r\n"
      "Delete Sig\r\nDelete Lines\r\nDelete Introduction\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Sig(), Lines{});
  EXPECT_TRUE(script->LinesToAppend.empty());
  EXPECT_FALSE(script->HasIntro());
  EXPECT_EQ(article->GetText().find("-- "), std::string::npos);
  Run("Delete empty Lines\r\n");
  EXPECT_TRUE(ErrorShown("nur \"Lines at end\" zulässig")) << prompter.Errors();
  Run("Delete Blanks at end\r\n");
  EXPECT_TRUE(ErrorShown("nur \"at end of lines\" zulässig")) << prompter.Errors();
  Run("Delete Everything\r\n");
  EXPECT_TRUE(ErrorShown("Unbekannte Delete-Anweisung \"Everything\"")) << prompter.Errors();
  Run("Delete part\r\n");
  EXPECT_TRUE(ErrorShown("Delete Part because <Begründung>")) << prompter.Errors();
}

TEST_F(TextCommands, DeletePartOfABase64Attachment) {
  LoadMessage(kMultipart);
  Load("");
  article->SetCurrentPart(2);
  std::string line = "Delete Part because \"Virus\"";
  script->InterpreteLine(line);
  EXPECT_EQ(Body(), Lines{FromUtf8("Gelöscht: Virus")});
  EXPECT_EQ(Part().GetMIMEInfo().Encoding, me8Bit);
  EXPECT_NE(article->GetText().find(FromUtf8("Gelöscht: Virus")), std::string::npos);
}

TEST_F(TextCommands, DeleteBetweenSyntax) {
  Run("Delete between first \"a\", \"\", true\r\n");
  EXPECT_TRUE(ErrorShown("Delete between ( first | last )")) << prompter.Errors();
  Run("Delete between last \"\", \"b\", true\r\n");
  EXPECT_TRUE(ErrorShown("Delete between ( first | last )")) << prompter.Errors();
  Run("Delete between first \"a\", \"b\"\r\n");
  EXPECT_TRUE(ErrorShown("Delete between ( first | last )")) << prompter.Errors();
  Run("Delete between middle \"a\", \"b\", true\r\n");
  EXPECT_TRUE(ErrorShown("Delete between ( first | last )")) << prompter.Errors();
  Run("Delete between first \"^hallo\", \"^und\", false, \"[...]\"\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(Body(), (Lines{"Hallo,", "[...]", "und noch eine"}));
}

// ---------------------------------------------------------------------------
// Collected header lines, options, 8-bit test

TEST_F(TextCommands, DeleteBodyHeaderRemovesTheFirstMatchingLineOnly) {
  Load("");
  script->HList->AddRaw("X-Foobar: 0");
  script->HList->AddRaw("X-Foo: 1");
  script->HList->AddRaw("X-Foo: 2");
  std::string line = "Delete BodyHeader x-foo";
  script->InterpreteLine(line);
  EXPECT_EQ(script->HList->Lines(), (Lines{"X-Foobar: 0", "X-Foo: 2"}));
  script->DeleteHeaderEntry("");
  EXPECT_EQ(script->HList->Count(), 2);
}

TEST_F(TextCommands, ApplyHHeadersSetsAndDeletesFields) {
  Load("");
  article->SetCurrentPart(1);
  script->HList->AddRaw("X-Body: aus dem Text");
  script->HList->AddRaw("Subject: Neu");
  script->HList->AddRaw("Path:");
  script->HList->AddRaw(" kein Feld");
  script->ApplyHHeaders();
  EXPECT_EQ(Field("X-Body"), "aus dem Text");
  EXPECT_EQ(Field("Subject"), "Neu");
  EXPECT_FALSE(article->Header.HasField("Path"));
  EXPECT_EQ(article->CurrentPartNumber(), 1);
}

TEST_F(TextCommands, SetOptionOverridesUntilTheNextRun) {
  Run("Set Option SigFile = \"eins\"\r\n"
      "Set Option SIGFILE = \"zwei\"\r\n"
      "Set Opt SortHeader = Subject, From\r\n"
      "Set Option ConvertToRe = \"AW\"\r\n");
  EXPECT_EQ(prompter.Errors(), "");
  EXPECT_EQ(settings.SigFile, "zwei");
  EXPECT_EQ(settings.SortHeader, "Subject, From");
  EXPECT_EQ(settings.ConvertToRe, "AW");
  EXPECT_EQ(script->ChangedOptions, (Lines{"sigfile", "sortheader", "converttore"}));
  EXPECT_TRUE(settings.OverrideKeys.empty());
  // Overrides never reach the file.
  const std::string iniAfter = ReadFile(dir / "Tidelarn.ini");
  EXPECT_EQ(iniAfter.find("zwei"), std::string::npos);
  EXPECT_EQ(iniAfter.find("ConvertToRe=AW\r"), std::string::npos);
  Run("Set Option AnswerDesignators = \"Antw\"\r\n");
  EXPECT_EQ(settings.ConvertToRe, "AW,Antwort,Re^2,Re^3,Re^4,Antw");
  EXPECT_EQ(ReadFile(dir / "Tidelarn.ini"), iniAfter);
  script->Reset();
  EXPECT_EQ(settings.SigFile, "");
  EXPECT_TRUE(script->ChangedOptions.empty());

  Run("Set Option SigFile \"x\"\r\n");
  EXPECT_TRUE(ErrorShown("Set Option INIWert = Wert")) << prompter.Errors();
}

TEST_F(TextCommands, OptionsEndWithTheScriptOfTheirMessage) {
  Run("Set Option SigFile = \"nur hier\"\r\n");
  EXPECT_EQ(settings.SigFile, "nur hier");
  script.reset();  // the next message of the profile gets a script of its own
  EXPECT_EQ(settings.SigFile, "");
}

TEST_F(TextCommands, Has8BitCharsLooksAtBodyIntroSigAndLines) {
  Run("if Has8BitChars then X-A: yes\r\n");
  EXPECT_EQ(Field("X-A"), "");
  Run("Set Lines \"Grüße\"\r\nif Has8BitChars then X-B: yes\r\n");
  EXPECT_EQ(Field("X-B"), "yes");
  Run("Set Intro \"Grüße\"\r\nif Has8BitChars then X-C: yes\r\n");
  EXPECT_EQ(Field("X-C"), "yes");
  Run("Set Sig \"Grüße\"\r\nif Has8BitChars then X-D: yes\r\n");
  EXPECT_EQ(Field("X-D"), "yes");
}

// ---------------------------------------------------------------------------
// Saving a part

TEST(FileUrlEncode, EncodesTheThirteenCharacters) {
  EXPECT_EQ(FileUrlEncode("C:\\Temp\\a b#1%\"<>[]^`{|}.txt"),
            "C:%5CTemp%5Ca b%231%25%22%3C%3E%5B%5D%5E%60%7B%7C%7D.txt");
  EXPECT_EQ(FileUrlEncode("\xE4-ok"), "\xE4-ok");
  EXPECT_EQ(FileUrlEncode(""), "");
}

TEST_F(TextCommands, SavePartWritesTheFileAndLeavesAReference) {
  LoadMessage(kMultipart);
  Load("");
  article->SetCurrentPart(2);
  const std::string folder = dir / "att";
  fs::create_directory(folder);
  WriteFile(folder + "/data.bin", "old");
  script->SavePart(folder, "data.bin", 0);  // Nothing: the part stays as it was
  EXPECT_EQ(ReadFile(folder + "/data.bin"), "old");
  EXPECT_EQ(Part().GetMIMEInfo().Encoding, meBase64);
  EXPECT_FALSE(script->IsChanged());

  script->SavePart(folder, "data.bin", 1);
  EXPECT_EQ(ReadFile(folder + "/data.bin"), std::string("\0\1\2\3\4\5\6\7", 8));
  EXPECT_EQ(Body(), Lines{"Saved as <file://localhost" + folder + "/data.bin>"});
  EXPECT_EQ(Part().GetMIMEInfo().Encoding, me8Bit);
  const std::string text = article->GetText();
  EXPECT_EQ(text.find("AAECAwQFBgc="), std::string::npos);
  EXPECT_NE(text.find("Content-Transfer-Encoding: 8bit"), std::string::npos) << text;
}

// ---------------------------------------------------------------------------
// Replacements

TEST_F(TextCommands, DoReplaceModesAndRanges) {
  LoadMessage("Subject: r\r\n\r\naa aa\r\naa\r\nbb\r\n");
  Load("");
  script->DoReplace("a+", "X", -1, -1, "", TVQSkript::rtBody, TVQSkript::rmLast);
  EXPECT_EQ(Body(), (Lines{"aa aa", "X", "bb"}));
  script->DoReplace("a+", "Y", -1, -1, "", TVQSkript::rtBody, TVQSkript::rmFirst);
  EXPECT_EQ(Body(), (Lines{"Y aa", "X", "bb"}));
  script->DoReplace("[a-z]", "$0", 3, 2, "", TVQSkript::rtBody, TVQSkript::rmAll);
  EXPECT_EQ(Body(), (Lines{"Y aa", "X", "bb"}));
  script->DoReplace("[a-z]", "$0", 2, -1, "", TVQSkript::rtBody, TVQSkript::rmAll);
  EXPECT_EQ(Body(), (Lines{"Y aa", "X", "$0$0"}));
  // Case-sensitive; empty matches replace nothing.
  script->DoReplace("Y|x*", "-", -1, -1, "", TVQSkript::rtBody, TVQSkript::rmAll);
  EXPECT_EQ(Body(), (Lines{"- aa", "X", "$0$0"}));
}

TEST_F(TextCommands, DoReplaceTargets) {
  Run("Set Lines \"l1\"\r\nSet Intro \"i1\"\r\n%v% = \"v1 v1\"\r\nVar %n%: Integer = 1\r\n");
  script->DoReplace("1", "2", -1, -1, "", TVQSkript::rtLines, TVQSkript::rmAll);
  script->DoReplace("1", "2", -1, -1, "", TVQSkript::rtIntro, TVQSkript::rmAll);
  script->DoReplace("1", "2", -1, -1, "V", TVQSkript::rtVariable, TVQSkript::rmLast);
  script->DoReplace("^Max$", "Moritz", -1, -1, "", TVQSkript::rtSig, TVQSkript::rmAll);
  script->DoReplace("^Subject: .*", "Subject: Neu", -1, -1, "", TVQSkript::rtHeader,
                    TVQSkript::rmAll);
  script->DoReplace("x", "y", -1, -1, "", TVQSkript::rtHeader2, TVQSkript::rmAll);
  EXPECT_EQ(script->LinesToAppend, Lines{"l2"});
  EXPECT_EQ(Intro(), Lines{"i2"});
  EXPECT_EQ(Var("v"), "v1 v2");
  EXPECT_EQ(Sig(), Lines{"Moritz"});
  EXPECT_EQ(Field("Subject"), "Neu");

  EXPECT_THROW(script->DoReplace("1", "2", -1, -1, "none", TVQSkript::rtVariable,
                                 TVQSkript::rmAll),
               EAbort);
  EXPECT_TRUE(ErrorShown("Variable \"none\" existiert nicht")) << prompter.Errors();
  EXPECT_THROW(script->DoReplace("1", "2", -1, -1, "n", TVQSkript::rtVariable, TVQSkript::rmAll),
               EAbort);
  EXPECT_TRUE(ErrorShown("Variable \"n\" ist keine Stringvariable")) << prompter.Errors();
  EXPECT_EQ(Var("n"), "1");
}

TEST_F(TextCommands, DeleteBetween) {
  auto body = [&](const std::string& text) {
    LoadMessage("Subject: d\r\n\r\n" + text);
    Load("");
  };
  body("eins\r\nzwei\r\nENDE\r\nvier\r\n");
  // Empty start: from the top down to the end line, which stays.
  EXPECT_TRUE(script->DeleteBetween(true, "", "^ende", false, false, ""));
  EXPECT_EQ(Body(), (Lines{"ENDE", "vier"}));
  body("eins\r\nzwei\r\nENDE\r\nvier\r\n");
  EXPECT_TRUE(script->DeleteBetween(true, "", "^ende", true, true, "[weg]"));
  EXPECT_EQ(Body(), (Lines{"[weg]", "vier"}));

  body("a\r\nSTART\r\nx\r\nEND\r\nSTART\r\ny\r\nEND\r\n");
  EXPECT_TRUE(script->DeleteBetween(false, "start", "end", true, false, ""));
  EXPECT_EQ(Body(), (Lines{"a", "START", "x", "END"}));
  EXPECT_TRUE(script->DeleteBetween(true, "start", "end", false, true, "..."));
  EXPECT_EQ(Body(), (Lines{"a", "START", "...", "END"}));
  body("a\r\nb\r\nSTART\r\n");
  EXPECT_FALSE(script->DeleteBetween(true, "start", "end", true, false, ""));
  EXPECT_EQ(Body(), (Lines{"a", "b", "START"}));
  EXPECT_FALSE(script->IsChanged());
  body("a\r\nb\r\n");
  EXPECT_TRUE(script->DeleteBetween(false, "^a", "", true, false, ""));
  EXPECT_EQ(Body(), Lines{});

  // The signature goes first; the body only when the signature has no region.
  body("B1\r\nB2\r\nB3\r\n-- \r\nS1\r\nS2\r\nS3\r\n");
  EXPECT_TRUE(script->DeleteBetween(true, "1", "3", false, false, ""));
  EXPECT_EQ(Sig(), (Lines{"S1", "S3"}));
  EXPECT_EQ(Body().size(), 3u);
  EXPECT_TRUE(script->DeleteBetween(true, "B1", "B3", false, false, ""));
  EXPECT_EQ(Body(), (Lines{"B1", "B3"}));
}
