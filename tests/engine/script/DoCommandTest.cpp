// The Do and HamsterApp commands run in scripts: their effects land in files
// (INI and text files, copies, arguments that started programs record), in
// the message, in the news-server folder and in the boxes shown; errors are
// collected from the error display, which lets the run go on after each.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <tuple>

#include "IniFile.h"
#include "NewsServer.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uArtikel.h"
#include "uCopyIf.h"
#include "uEinstellungen.h"
#include "uHamster.h"
#include "uTools.h"
#include "uDriver.h"
#include "uVQSkript.h"
#include "uVQSkriptDo.h"
#include "uVarList.h"

namespace fs = std::filesystem;

namespace {

class TRecordingPrompter : public TPrompter {
public:
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    boxes.emplace_back(text, caption, flags);
    return id::Ok;
  }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return true; }
  // Every error lets the run go on with the next line.
  int ShowErrorOrDebug(TErrorDisplay& display) override {
    errors.push_back(ToUtf8(display.errorMsg));
    return ErrorChoice::Continue;
  }

  std::vector<std::tuple<std::string, std::string, unsigned>> boxes;
  std::vector<std::string> errors;
};

// An environment variable set for the life of the object.
class TScopedEnv {
public:
  TScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~TScopedEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

const char* const kTwoParts =
    "From: a@example.org\r\n"
    "Subject: Test\r\n"
    "Newsgroups: de.test\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
    "\r\n"
    "--b\r\n"
    "Content-Type: text/plain; charset=us-ascii\r\n"
    "\r\n"
    "one\r\n"
    "--b\r\n"
    "Content-Type: text/plain; charset=us-ascii\r\n"
    "\r\n"
    "two\r\n"
    "--b--\r\n";

class DoCommand : public ::testing::Test {
protected:
  void SetUp() override {
    SetDriverHost(TDriverHost::ConfigProgram);  // the titles carry Tidelarn's version
    LoadCharsetTables();
    SetProgramDir(dir.Path() + "/");
    SetPrompter(&prompter);
    settings.FilePath = dir.Path() + "/";
    settings.HeaderDef = "header.def";
    article = std::make_unique<TArtikel>(InternalCharsetName(), "", "");
    article->LoadFromString(kTwoParts);
    fs::create_directory(bin);
  }
  void TearDown() override {
    SetDriverHost(TDriverHost::Runner);
    script.reset();
    SetPrompter(nullptr);
  }

  // Runs Text as the script of a profile, or as Copyif.def of CopyIf.
  void Run(const std::string& text, TCopyIfRun* copyIf = nullptr) {
    script.reset();
    script = std::make_unique<TVQSkript>("test.msg", article.get(), &settings);
    script->Hamster = &hamster;
    script->CopyIf = copyIf;
    WriteFile(script->GetScriptFileName(), text);
    script->LoadScript(true);
    script->RunSubMain();
  }
  // A shell script in the bin folder.
  std::string Program(const std::string& name, const std::string& body) {
    std::string path = bin + "/" + name;
    WriteFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
    return path;
  }
  // Waits for a file that a program started without waiting writes.
  std::string AwaitFile(const std::string& path) {
    for (int i = 0; i < 2000 && !fs::exists(path); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return fs::exists(path) ? ReadFile(path) : "<never written>";
  }
  std::string Error(size_t i) const { return i < prompter.errors.size() ? prompter.errors[i] : ""; }
  std::string Q(const std::string& s) const { return "\"" + s + "\""; }

  TempDir dir;
  std::string bin = dir / "bin";
  TRecordingPrompter prompter;
  TVQEinstellungen settings;
  std::unique_ptr<TArtikel> article;
  THamsterSession hamster;
  std::unique_ptr<TVQSkript> script;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(DoCommand, SelectPartOnlyWithinThePartCount) {
  Run("Do Select Part 2\r\n");
  EXPECT_EQ(article->CurrentPartNumber(), 2);
  Run("Do Select Part 0\r\nDo Select Part 3\r\nDo Select Part 99999999999\r\n");
  EXPECT_EQ(article->CurrentPartNumber(), 2);
  EXPECT_TRUE(prompter.errors.empty()) << Error(0);
  Run("Do Select Part 1 + 0.5\r\n");
  EXPECT_EQ(article->CurrentPartNumber(), 1);

  Run("Do Select Part\r\nDo Select Body 1\r\n");
  ASSERT_EQ(prompter.errors.size(), 2u);
  EXPECT_TRUE(Has(Error(0), "Nummer des gewünschten Mimeparts"));
  EXPECT_TRUE(Has(Error(1), "Unbekannter \"Do Select\"-Befehl \"Body 1\""));
}

TEST_F(DoCommand, ShowInfoWaitsForTheBox) {
  Run("Do Show Info \"Hallo\"\r\nDo Show Info \"Text\", \"Titel\"\r\n");
  ASSERT_EQ(prompter.boxes.size(), 2u);
  EXPECT_EQ(prompter.boxes[0], std::make_tuple(std::string("Hallo"), std::string("Tidelarn V4.2.8"),
                                               unsigned(mb::Ok | mb::IconInformation)));
  EXPECT_EQ(std::get<1>(prompter.boxes[1]), "Titel");
  SetDriverHost(TDriverHost::Runner);  // the runner shows its own version
  Run("Do Show Info \"Hallo\"\r\n");
  ASSERT_EQ(prompter.boxes.size(), 3u);
  EXPECT_EQ(std::get<1>(prompter.boxes[2]), "Tidelarn V4.2.1");

  Run("Do Show Info\r\nDo Show Info \"a\",\r\nDo Show Warning \"a\"\r\n");
  ASSERT_EQ(prompter.errors.size(), 3u);
  EXPECT_TRUE(Has(Error(0), "Falsche \"Do Show Info\"-Syntax"));
  EXPECT_TRUE(Has(Error(1), "Falsche \"Do Show Info\"-Syntax"));
  EXPECT_TRUE(Has(Error(2), "Unbekannter \"Do Show\"-Befehl \"Warning \"a\"\""));
  EXPECT_EQ(prompter.boxes.size(), 3u);
}

TEST_F(DoCommand, WriteIniStrGoesThroughTheIniFile) {
  WriteFile(dir / "my.ini", "; comment\r\n[S]\r\nKey=old\r\nOther=1\r\n");
  Run("Do Write IniStr " + Q(dir / "my.ini") + ", \"s\", \"KEY\", \"new\" + \" value\"\r\n"
      "Do Write IniStr \"bare.ini\", \"A\", \"B\", \"line1\r\n"
      "Do Write IniStr \"bare.ini\", \"A\", \"B\"\r\n");
  EXPECT_EQ(ReadFile(dir / "my.ini"), "; comment\r\n[S]\r\nKey=new value\r\nOther=1\r\n");
  // A bare name is a file of the program folder; the broken line wrote nothing.
  EXPECT_FALSE(fs::exists(dir / "bare.ini"));
  ASSERT_EQ(prompter.errors.size(), 2u);
  EXPECT_TRUE(Has(Error(1), "Do Write IniStr Datei, Abschnitt, Key, Wert"));

  Run("Do Write IniStr \"bare.ini\", \"A\", \"B\", \"C\"\r\n");
  EXPECT_EQ(TIniFile(dir / "bare.ini").ReadString("A", "B", ""), "C");
}

TEST_F(DoCommand, WriteFailuresAreReportedAndTheRunGoesOn) {
  Run("Do Write IniStr " + Q(dir / "my.ini") + ", \"bad]name\", \"k\", \"v\"\r\n"
      "Do Write Textfile " + Q(dir / "no/such/folder.txt") + ", \"x\"\r\n"
      "X-After: reached\r\n");
  EXPECT_EQ(prompter.errors.size(), 2u);
  EXPECT_FALSE(fs::exists(dir / "my.ini"));
  EXPECT_EQ(article->Header.GetField("X-After", false), "reached");
}

TEST_F(DoCommand, WriteTextfileReplacesTheFileWithItsLines) {
  WriteFile(dir / "out.txt", "a much longer old content\n");
  chmod((dir / "out.txt").c_str(), 0600);
  Run("Var %t% : String = \"eins\"\r\n"
      "Do Write Textfile " + Q(dir / "out.txt") + ", %t% + Chr(10) + \"zwei\"\r\n");
  EXPECT_EQ(ReadFile(dir / "out.txt"), "eins\r\nzwei\r\n");
  struct stat st {};
  ASSERT_EQ(stat((dir / "out.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  Run("Do Write Textfile " + Q(dir / "empty.txt") + ", \"\"\r\n");
  EXPECT_EQ(ReadFile(dir / "empty.txt"), "");

  Run("Do Write Textfile " + Q(dir / "x.txt") + "\r\n"
      "Do Write Textfile " + Q(dir / "x.txt") + ", \"a\" junk\r\n"
      "Do Write Binary \"x\"\r\n");
  ASSERT_EQ(prompter.errors.size(), 3u);
  EXPECT_TRUE(Has(Error(0), "Do Write Textfile Datei, String"));
  EXPECT_TRUE(Has(Error(1), "Do Write Textfile Datei, String"));
  EXPECT_TRUE(Has(Error(2), "Unbekannter \"Do Write\"-Befehl \"Binary \"x\"\""));
  EXPECT_FALSE(fs::exists(dir / "x.txt"));
}

TEST_F(DoCommand, CopyFileOverwritesOnlyWhenAsked) {
  WriteFile(dir / "src", "new");
  WriteFile(dir / "keep", "old");
  WriteFile(dir / "replace", "old");
  Run("Do Copy " + Q(dir / "src") + ", " + Q(dir / "keep") + ", false\r\n"
      "Do Copy " + Q(dir / "src") + ", " + Q(dir / "replace") + ", 1 = 1\r\n"
      "Do Copy " + Q(dir / "src") + ", " + Q(dir / "fresh") + ", false\r\n"
      // A missing source is not reported.
      "Do Copy " + Q(dir / "missing") + ", " + Q(dir / "gone") + ", true\r\n");
  EXPECT_EQ(ReadFile(dir / "keep"), "old");
  EXPECT_EQ(ReadFile(dir / "replace"), "new");
  EXPECT_EQ(ReadFile(dir / "fresh"), "new");
  EXPECT_FALSE(fs::exists(dir / "gone"));
  EXPECT_TRUE(prompter.errors.empty());

  Run("Do Copy " + Q(dir / "src") + ", " + Q(dir / "t") + "\r\n"
      "Do Copy " + Q(dir / "src") + ", " + Q(dir / "t") + ", true extra\r\n"
      "Do Copy file\r\n");
  ASSERT_EQ(prompter.errors.size(), 3u);
  EXPECT_TRUE(Has(Error(0), "Do Copy Quelldatei, Zieldatei, ggf. Überschreiben?"));
  EXPECT_TRUE(Has(Error(1), "Do Copy Quelldatei, Zieldatei"));
  EXPECT_TRUE(Has(Error(2), "Unbekannter \"Do Copy\"-Befehl \"file\""));
  EXPECT_FALSE(fs::exists(dir / "t"));
}

TEST_F(DoCommand, ExecAndWaitPassesAnArgumentVector) {
  std::string prog = Program("run.sh", "printf '%s|' \"$@\" > args.txt\n");
  Run("Do Exec and wait " + Q(prog) + ", 'a \"b c\" $HOME;rm' , Max\r\n");
  // The program ran in its own folder, and no shell saw the parameters.
  EXPECT_EQ(ReadFile(bin + "/args.txt"), "a|b c|$HOME;rm|");
  EXPECT_TRUE(prompter.errors.empty()) << Error(0);

  Run("Do Run and wait " + Q(prog) + "\r\n");
  EXPECT_EQ(ReadFile(bin + "/args.txt"), "|");

  Run("Do Exec " + Q(prog) + " and wait\r\n"
      "Do Exec and wait " + Q(prog) + ", \"x\", Maximize\r\n"
      "Do Exec and wait " + Q(dir / "missing") + ", \"p\"\r\n"
      "Do Exec and wait unquoted\r\n");
  ASSERT_EQ(prompter.errors.size(), 4u);
  EXPECT_TRUE(Has(Error(0), "Do Exec Programm/Dokument [, Parameter [, Aufrufmodus]]"));
  EXPECT_TRUE(Has(Error(1), "Do Exec Programm/Dokument"));
  EXPECT_EQ(Error(2), "Fehler beim Ausführen von \"" + dir / "missing" + " p\"");
  EXPECT_TRUE(Has(Error(3), "Do Exec Programm/Dokument"));
  EXPECT_EQ(ReadFile(bin + "/args.txt"), "|");
}

TEST_F(DoCommand, ExecWithoutWaitStartsTheProgramDetached) {
  std::string prog =
      Program("start.sh", "printf '%s|' \"$@\" > started.tmp\nmv started.tmp started\n");
  Run("Do Exec " + Q(prog) + ", \"one two\", ShowMinNoActive\r\n"
      "Do Exec " + Q(dir / "nothing") + ", \"x\"\r\n");
  EXPECT_EQ(AwaitFile(bin + "/started"), "one|two|");
  ASSERT_EQ(prompter.errors.size(), 1u);
  EXPECT_EQ(Error(0), "Fehler #2 beim Aufruf von \"" + dir / "nothing" + " x\"");
}

TEST_F(DoCommand, OpenAndPrintHandDocumentsToTheDesktop) {
  Program("xdg-open", "printf '%s' \"$1\" > \"" + dir.Path() + "/opened.tmp\"\nmv \"" +
                          dir.Path() + "/opened.tmp\" \"" + dir.Path() + "/opened\"\n");
  Program("lp", "printf '%s' \"$1\" > \"" + dir.Path() + "/printed.tmp\"\nmv \"" + dir.Path() +
                    "/printed.tmp\" \"" + dir.Path() + "/printed\"\n");
  TScopedEnv path("PATH", bin + ":/usr/bin:/bin");
  WriteFile(dir / "doc.txt", "text");
  Run("Do Open " + Q(dir / "doc.txt") + ", \"ignored\"\r\n");
  EXPECT_EQ(AwaitFile(dir / "opened"), dir / "doc.txt");
  Run("Do Print " + Q(dir / "doc.txt") + "\r\n");
  EXPECT_EQ(AwaitFile(dir / "printed"), dir / "doc.txt");
  EXPECT_TRUE(prompter.errors.empty());

  Run("Do Open " + Q(dir / "missing.txt") + ", \"p\"\r\n"
      "Do Print " + Q(dir / "nofolder/x.txt") + "\r\n"
      "Do Open\r\n"
      "Do Print " + Q(dir / "doc.txt") + ", \"a\" \"b\"\r\n");
  ASSERT_EQ(prompter.errors.size(), 4u);
  EXPECT_EQ(Error(0), "Fehler #2 beim Aufruf von \"" + dir / "missing.txt" + " p\"");
  EXPECT_EQ(Error(1), "Fehler #3 beim Aufruf von \"" + dir / "nofolder/x.txt" + "\"");
  EXPECT_TRUE(Has(Error(2), "Do Open Dokument [, Parameter]"));
  EXPECT_TRUE(Has(Error(3), "Do Print Dokument [, Parameter]"));
}

TEST_F(DoCommand, PlayWaveUsesTheFirstPlayerOnThePath) {
  Program("aplay", "printf '%s' \"$1\" > \"" + dir.Path() + "/played\"\n");
  TScopedEnv path("PATH", bin);
  WriteFile(dir / "ding.wav", "RIFF");
  Run("Do Play Wave " + Q(dir / "ding.wav") + " and wait\r\n");
  EXPECT_EQ(ReadFile(dir / "played"), dir / "ding.wav");
  EXPECT_TRUE(prompter.errors.empty());

  // A player that fails, and a file that is missing, are both reported.
  Program("pw-play", "exit 1\n");
  Run("Do Play Wave " + Q(dir / "ding.wav") + " and wait\r\n"
      "Do Play Wave " + Q(dir / "none.wav") + "\r\n"
      "Do Play Wave " + Q(dir / "ding.wav") + " and wait now\r\n"
      "Do Play Wave\r\n"
      "Do Play Midi \"x\"\r\n");
  ASSERT_EQ(prompter.errors.size(), 5u);
  EXPECT_EQ(Error(0), "Fehler beim Abspielen der Wave-Datei \"" + dir / "ding.wav" + "\"");
  EXPECT_EQ(Error(1), "Fehler beim Abspielen der Wave-Datei \"" + dir / "none.wav" + "\"");
  EXPECT_TRUE(Has(Error(2), "Do Play Wave <Dateiname> [ and wait ]"));
  EXPECT_TRUE(Has(Error(3), "Do Play Wave <Dateiname> [ and wait ]"));
  EXPECT_EQ(Error(4), "Nach \"Do Play\" ist zur Zeit nur \"Wave\" erlaubt.");
}

TEST_F(DoCommand, ConvertAndOptimizeWords) {
  Run("Do Convert Header to 8\r\n"
      "Do Convert Encoding to 9bit\r\n"
      "Do Convert Encoding 8bit\r\n"
      "Do Convert HTML to PDF\r\n"
      "Do Convert BoxQuotes\r\n"
      "Do Convert BoxQuotes 2 3\r\n"
      "Do Convert Everything\r\n"
      "Do Optimize Everything\r\n");
  ASSERT_EQ(prompter.errors.size(), 8u);
  EXPECT_EQ(Error(0), "Nach \"Do Convert Header\" kann nur \"to 8 Bit\" folgen");
  EXPECT_TRUE(Has(Error(1), "Nach \"Do Convert Encoding\" kann nur \"to Encodingtyp\" folgen"));
  EXPECT_TRUE(Has(Error(2), "Nach \"Do Convert Encoding\""));
  EXPECT_EQ(Error(3), "Nach \"Do Convert HTML\" kann zur Zeit nur \" to Text\" folgen");
  EXPECT_TRUE(Has(Error(4), "Boxquote-Definitions-Nr"));
  EXPECT_TRUE(Has(Error(5), "Boxquote-Definitions-Nr"));
  EXPECT_TRUE(Has(Error(6), "Zur Zeit sind nur die Konvertierungsbefehle"));
  EXPECT_TRUE(Has(Error(7), "Zur Zeit sind nur die Optimierungsbefehle"));
}

TEST_F(DoCommand, ConvertHeaderWordsDecodeTheHeader) {
  article->LoadFromString("Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n\r\nText\r\n");
  Run("Do Convert Header to 8 Bit\r\n");
  EXPECT_TRUE(prompter.errors.empty());
  EXPECT_EQ(article->Header.GetField("Subject", true), FromUtf8("Grüße"));
  article->LoadFromString("Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n\r\nText\r\n");
  Run("Do Convert QPHeader\r\n");
  EXPECT_EQ(article->Header.GetField("Subject", true), FromUtf8("Grüße"));
}

TEST_F(DoCommand, OptimizeBodyCharsetsPickTheFirstFittingCharset) {
  article = std::make_unique<TArtikel>(InternalCharsetName(), "us-ascii,iso-8859-1,utf-8", "");
  const std::string part = "--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n";
  article->LoadFromString("Subject: x\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n" +
                          part + "plain\r\n" + part + "Gr\xC3\xBC\xC3\x9F\x65\r\n--b--\r\n");
  auto charset = [&](int i) { return article->Parts.Items(i)->GetMIMEInfo().Charset; };
  Run("Do Select Part 2\r\nDo Optimize BodyCharset\r\n");
  EXPECT_EQ(charset(0), "utf-8");
  EXPECT_EQ(charset(1), "iso-8859-1");
  Run("Do Optimize BodyCharsets\r\n");
  EXPECT_EQ(charset(0), "us-ascii");
  EXPECT_TRUE(prompter.errors.empty());
}

TEST_F(DoCommand, SavePartSyntax) {
  Run("Do Save Part \"a.bin\", " + Q(dir.Path()) + ", Nothing\r\n"
      "Do Save Part \"a.bin\", " + Q(dir.Path()) + ", Keep\r\n"
      "Do Save \"a.bin\"\r\n"
      "Do Save Part a.bin\r\n"
      "Do Save Part \"a.bin\", " + Q(dir.Path()) + ", Rename more\r\n");
  ASSERT_EQ(prompter.errors.size(), 5u);
  EXPECT_TRUE(Has(Error(0), "Do Save Part <Dateiname>, <Pfad>, ( Nothing | Overwrite | Rename )"));
  EXPECT_TRUE(Has(Error(1), "Do Save Part <Dateiname>"));
  EXPECT_TRUE(Has(Error(2), "Do Save Part <Dateiname>"));
  EXPECT_EQ(Error(3), "Unzulässiger String-Ausdruck \"a.bin\"!");
  EXPECT_TRUE(Has(Error(4), "Do Save Part <Dateiname>"));
}

TEST_F(DoCommand, ReplaceSyntax) {
  Run("Do Replace \"a\" with \"b\"\r\n"
      "Do Replace all with \"b\"\r\n"
      "Do Replace all \"a\" \"b\"\r\n"
      "Do Replace all \"a\" with \"b\" in Nowhere\r\n"
      "Do Replace all \"a\" with \"b\" from\r\n"
      "Do Replace all \"a\" with \"b\" to 3000000000\r\n"
      // An empty search text does nothing.
      "Do Replace first \"\" with \"b\" in Sig from 1 to 2\r\n");
  ASSERT_EQ(prompter.errors.size(), 6u);
  EXPECT_TRUE(Has(Error(0), "Unbekannter \"Do Replace\"-Typ"));
  EXPECT_TRUE(Has(Error(1), "muß noch \"<Suchausdruck> with <Ersatz>\" kommen"));
  EXPECT_TRUE(Has(Error(2), "muß noch \"with <Ersatz>\" kommen"));
  EXPECT_TRUE(Has(Error(3), "oder ein Variablenname kommen."));
  EXPECT_EQ(Error(4), "Keine gültige Zahl nach \"from\" im \"Do Replace\"-Befehl.");
  EXPECT_EQ(Error(5), "Keine gültige Zahl nach \"to\" im \"Do Replace\"-Befehl.");
}

TEST_F(DoCommand, UnknownWordsAfterDoAndHamsterApp) {
  Run("Do Something else\r\n"
      "Do Sort Lines\r\n"
      "Do Repair Everything\r\n"
      "HamsterApp Stop\r\n"
      "HamsterApp hs2command\r\n"
      "HamsterApp hs2 \"a\" \"b\"\r\n"
      "Do Touch\r\n"
      "Do Def Counter\r\n"
      "Do Inc Counter\r\n"
      "Do Copy to Groups\r\n"
      "Do move to Group\r\n");
  ASSERT_EQ(prompter.errors.size(), 11u);
  EXPECT_EQ(Error(0),
            "Unbekannter Do-Befehl \"Something else\" (z.Z. nur \"Include\", \"Exec\", \"Open\", "
            "\"Print\", \"Sort Header\" und \"Replace\" erlaubt)");
  EXPECT_TRUE(Has(Error(1), "\"Do Sort\"-Befehl \"Lines\""));
  EXPECT_TRUE(Has(Error(2), "\"Do Repair\"-Befehl \"Everything\""));
  EXPECT_EQ(Error(3), "Unbekannter HamsterApp-Befehl \"Stop\"");
  EXPECT_EQ(Error(4), "Korrekte Syntax: HamsterApp hs2command <String-Ausdruck>");
  EXPECT_EQ(Error(5), Error(4));
  EXPECT_TRUE(Has(Error(6), "Korrekte Syntax: \"Do Touch <Gruppenauswahl>\""));
  EXPECT_EQ(Error(7), "Nach \"Do Def[ine] Counter\" muss noch der Name des Zählers kommen.");
  EXPECT_EQ(Error(8), "Nach \"Do Inc Counter\" muss noch der Name des Zählers kommen.");
  EXPECT_TRUE(Has(Error(9), "Nach \"Do Copy to group(s)\" muss noch der Gruppenname"));
  EXPECT_TRUE(Has(Error(10), "Nach \"Do Copy to group\" muss noch der Gruppenname"));
}

TEST_F(DoCommand, SortHeaderAndGroupTargets) {
  TCopyIfRun copyIf(hamster);
  Run("Do Sort Header Subject, From\r\n"
      "Do Copy to Groups \"de.a, DE.TEST,de.b,\"\r\n",
      &copyIf);
  ASSERT_GE(article->Header.Count(), 2);
  EXPECT_EQ(article->Header.FieldNameAt(0), "Subject");
  EXPECT_EQ(article->Header.FieldNameAt(1), "From");
  // Before an article of its own the targets are empty; known names are not added twice.
  EXPECT_EQ(copyIf.TargetGroups, "de.a,DE.TEST,de.b");
  Run("Do move to Groups \"de.x\"\r\nDo Copy to Group \"de.X,de.y\"\r\n", &copyIf);
  EXPECT_EQ(copyIf.TargetGroups, "de.x,de.y");
  EXPECT_TRUE(copyIf.TargetChanged);
  EXPECT_TRUE(prompter.errors.empty());
}

TEST_F(DoCommand, NewsServerCommands) {
  std::string server = dir / "server";
  fs::create_directories(server + "/Groups/de.test");
  fs::create_directories(server + "/Groups/de.misc");
  fs::create_directories(server + "/Groups/at.test");
  WriteFile(server + "/Groups/groups.lst", "de.test\nat.test\nde.misc\n");
  TScopedEnv env("TIDELARN_NEWSSERVER", server);
  // Not running yet: the failure leaves the script as an exception, past the
  // error display, and ends the run.
  for (const char* line : {"HamsterApp hs2command \"first\"", "Do Touch \"^de\\.\""}) {
    EXPECT_THROW(Run(std::string(line) + "\r\nX-After: yes\r\n"), ENewsServerError) << line;
    EXPECT_TRUE(prompter.errors.empty()) << line;
    EXPECT_EQ(article->Header.GetField("X-After", false), "") << line;
  }
  EXPECT_FALSE(fs::exists(server + "/hs2.queue"));

  WriteFile(server + "/Hamster.ini", "");
  Run("HamsterApp hs2command \"news.pull\"\r\n"
      "HamsterApp HS2 \"a\" + \"b\"\r\n"
      "Do Touch \"^de\\.\"\r\n");
  EXPECT_TRUE(prompter.errors.empty());
  EXPECT_EQ(ReadFile(server + "/hs2.queue"), "news.pull\nab\n");
  EXPECT_NE(TIniFile(server + "/Groups/de.test/data.ini").ReadString("Info", "LastClientRead", ""),
            "");
  EXPECT_NE(TIniFile(server + "/Groups/de.misc/data.ini").ReadString("Info", "LastClientRead", ""),
            "");
  EXPECT_FALSE(fs::exists(server + "/Groups/at.test/data.ini"));

  // A broken expression is the script's own error: shown, and the run goes on.
  Run("Do Touch \"(\"\r\nX-Bad: reached\r\n");
  EXPECT_EQ(prompter.errors.size(), 1u);
  EXPECT_EQ(article->Header.GetField("X-Bad", false), "reached");
}

TEST_F(DoCommand, DeniedEffectsLeaveOnlyTheSyntaxCheck) {
  std::string prog = Program("run.sh", "touch ran\n");
  WriteFile(dir / "src", "x");
  SetScriptEffectsHook([] { return false; });
  Run("Do Write Textfile " + Q(dir / "t.txt") + ", \"x\"\r\n"
      "Do Write IniStr \"i.ini\", \"a\", \"b\", \"c\"\r\n"
      "Do Copy " + Q(dir / "src") + ", " + Q(dir / "dst") + ", true\r\n"
      "Do Exec and wait " + Q(prog) + "\r\n"
      "Do Exec " + Q(prog) + ", \"x\", Nowhere\r\n");
  SetScriptEffectsHook(nullptr);
  EXPECT_FALSE(fs::exists(dir / "t.txt"));
  EXPECT_FALSE(fs::exists(dir / "i.ini"));
  EXPECT_FALSE(fs::exists(dir / "dst"));
  EXPECT_FALSE(fs::exists(bin + "/ran"));
  ASSERT_EQ(prompter.errors.size(), 1u);
  EXPECT_TRUE(Has(Error(0), "Do Exec Programm/Dokument"));
}

TEST_F(DoCommand, ReplaceRunsOnItsTarget) {
  Run("Var %v% : String = \"a-a-a\"\r\n"
      "Do Replace all \"o\" with \"0\"\r\n"
      "Do Replace last \"a\" with \"b\" in %v%\r\n"
      "Do Select Part 2\r\n"
      "Do Replace first \"[tw]\" with \"\" in Body from 1 to 1\r\n");
  EXPECT_TRUE(prompter.errors.empty()) << Error(0);
  EXPECT_EQ(article->Parts.Items(0)->Body().GetInternalLine(0), "0ne");
  EXPECT_EQ(article->Parts.Items(1)->Body().GetInternalLine(0), "wo");
  EXPECT_EQ(script->Variables->Find("V")->AsString(), "a-a-b");
}

TEST_F(DoCommand, ConvertEncodingWordsSetTheTransferEncoding) {
  auto encoding = [&](int i) { return article->Parts.Items(i)->GetMIMEInfo().Encoding; };
  Run("Do Convert Encoding to quoted-printable\r\n"
      "Do Select Part 2\r\n"
      "Do Convert Encoding to Base64\r\n");
  EXPECT_EQ(encoding(0), meQuotedPrintable);
  EXPECT_EQ(encoding(1), meBase64);
  // QPBody changes only a quoted-printable part.
  Run("Do Convert QPBody\r\nDo Select Part 1\r\nDo Convert QPBody\r\n");
  EXPECT_EQ(encoding(1), meBase64);
  EXPECT_EQ(encoding(0), me8Bit);
  Run("Do Convert Encoding to 7 Bit\r\nDo Select Part 2\r\nDo Convert Encoding to 8-bit\r\n");
  EXPECT_EQ(encoding(0), me7Bit);
  EXPECT_EQ(encoding(1), me8Bit);
  EXPECT_TRUE(prompter.errors.empty()) << Error(0);
}

TEST_F(DoCommand, ConvertHtmlToTextMakesAPlainPart) {
  settings.SaveHTMLAs = dir / "Original_*.html";
  article->LoadFromString(
      "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"b\"\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
      "--b\r\nContent-Type: text/html\r\n\r\n"
      "<html><body><p>Hallo <b>Welt</b></p></body></html>\r\n--b--\r\n");
  Run("Do Select Part 2\r\nDo Convert HTML to Text\r\n");
  EXPECT_TRUE(prompter.errors.empty()) << Error(0);
  EXPECT_EQ(article->Parts.Items(1)->GetMIMEInfo().ContentClass, ccTextPlain);
  EXPECT_TRUE(Has(article->Parts.Items(1)->Body().GetInternalText(), "Hallo *Welt*"))
      << article->GetText();
  EXPECT_TRUE(fs::exists(dir / "Original_1.html"));
}

TEST_F(DoCommand, SavePartWritesTheDecodedPart) {
  article->LoadFromString(
      "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\ntext\r\n"
      "--b\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
      "\r\nSGFsbG8=\r\n--b--\r\n");
  fs::create_directory(dir / "att");
  settings.SaveAttachmentsDir = dir / "att";
  WriteFile(dir / "att/kept.bin", "old");
  settings.ActionIfAttExists = 0;  // keep an existing file
  Run("Do Select Part 2\r\n"
      "Do Save Part \"kept.bin\", " + Q(dir / "att") + "\r\n");
  EXPECT_EQ(ReadFile(dir / "att/kept.bin"), "old");
  EXPECT_EQ(article->Parts.Items(1)->GetMIMEInfo().Encoding, meBase64);
  // Without folder and mode: the profile's.
  settings.ActionIfAttExists = 1;
  Run("Do Select Part 2\r\nDo Save Part \"kept.bin\"\r\n");
  EXPECT_TRUE(prompter.errors.empty()) << Error(0);
  EXPECT_EQ(ReadFile(dir / "att/kept.bin"), "Hallo");
  EXPECT_TRUE(Has(article->Parts.Items(1)->Body().GetInternalText(),
                  "Saved as <file://localhost" + dir / "att/kept.bin" + ">"));
}
