// Layout conversions of the script object on the body of the current part:
// box quotes of the nine styles, footnotes, one-liners, reformat blocks, and
// the intro and appended lines. Bodies before and after, line by line.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "IniFile.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uArtikel.h"
#include "uDriver.h"
#include "uEinstellungen.h"
#include "uKorrigiereArtikel.h"
#include "uTools.h"
#include "uVQSkript.h"

namespace {

using Lines = std::vector<std::string>;

const char* const kHead = "From: Max Muster <max@example.org>\r\nSubject: Test\r\n";

class BodyLayout : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    SetInternalCharset("windows-1252");
    SetProgramDir(dir.Path() + "/");
    settings.IniFileName = dir / "Tidelarn.ini";
    settings.Section = "news";
    settings.Load(false);
    settings.HeaderDef = "header.def";
    settings.FilePath = dir.Path() + "/";
    WriteFile(dir / "header.def", "");
    Reload();
  }
  void TearDown() override {
    script.reset();
    Specials = TSpecialSettings{};
    BoxQuotes = {};
    Footnotes = TFootnoteSettings{};
  }
  // The special settings files of the program directory, read again.
  void Reload() {
    LoadSpecials();
    LoadBoxQuotes();
    LoadFootnotes();
  }

  // A message with the body lines; the script object works on it.
  TVQSkript& Load(const Lines& body) {
    script.reset();
    article = std::make_unique<TArtikel>(InternalCharsetName(), settings.BodyCharsets,
                                         settings.HeaderCharsets);
    article->LoadFromString(std::string(kHead) + "\r\n" + JoinLines(body));
    script = std::make_unique<TVQSkript>("test.msg", article.get(), &settings);
    return *script;
  }
  TBody& Body() const { return article->CurrentPart()->Body(); }
  // The body as lines; an entry holding line breaks counts as its lines.
  Lines BodyLines() const { return SplitLines(Body().GetInternalText()); }
  // Runs Step on a message with Body and returns the body afterwards.
  Lines After(const Lines& body, void (TVQSkript::*step)()) {
    (Load(body).*step)();
    return BodyLines();
  }

  TempDir dir;
  TVQEinstellungen settings;
  std::unique_ptr<TArtikel> article;
  std::unique_ptr<TVQSkript> script;
};

struct Row {
  Lines before, after;
};

}  // namespace

// ---------------------------------------------------------------------------
// Box quotes

TEST_F(BodyLayout, BoxQuotesOfTheNineStyles) {
  TIniFile ini(dir / "BoxQuotes.ini");
  ini.WriteString("BQ#1", "BQType", "2");
  ini.WriteString("BQ#2", "BQType", "1");
  ini.WriteString("BQ#2", "BQStartLine", "[box]");
  ini.WriteString("BQ#2", "BQEndLine", "[/box]");
  ini.WriteString("BQ#4", "BQType", "2");
  ini.WriteString("BQ#4", "BQGraphics", "+-+||+-+");
  ini.WriteString("BQ#4", "BQTitle", "#[@]#");
  ini.WriteString("BQ#5", "BQType", "7");
  ini.WriteString("BQ#6", "BQType", "2");
  ini.WriteString("BQ#6", "BQFrom", "F");
  ini.WriteString("BQ#7", "BQEndLine", "");
  ini.WriteString("BQ#8", "BQWidthTop", "2");
  ini.WriteString("BQ#8", "BQWidthDown", "6");
  ini.WriteString("BQ#8", "BQTitle", "#<@>#");
  ini.UpdateFile();
  WriteFile(dir / "zitat.txt", "Zeile 1\r\nZeile 2\r\n");
  Reload();
  const std::string quoteFile = dir / "zitat.txt";
  Lines fileBox = {"", "Zeile 1", "Zeile 2", ""};
  DrawBoxQuote(quoteFile, BoxQuotes[5], fileBox);
  Lines withFileBox = {"Siehe:"};
  withFileBox.insert(withFileBox.end(), fileBox.begin(), fileBox.end());
  withFileBox.push_back("Ende");

  const struct {
    int style;
    Lines before, after;
  } rows[] = {
      // Closed box with the default pieces: start, title, separator, text, end.
      {1,
       {"Vorher", "boxquote1:", "Titel", "-", "eins", "zwei und drei", "#", "Nachher"},
       {"Vorher", " ,-# [ Titel ] #-.", "|  eins           |", "|  zwei und drei  |",
        " `---------------\xB4 ", "Nachher"}},
      // A separator that is not the second line after the start is text.
      {1,
       {"boxquote1:", "eins", "zwei", "-", "#"},
       {" ,----------.", "|  eins      |", "|  zwei      |", "|  -         |",
        " `----------\xB4 "}},
      {1, {"boxquote1:", "ohne Ende"}, {"boxquote1:", "ohne Ende"}},
      {1, {"boxquote2:", "x", "#"}, {"boxquote2:", "x", "#"}},
      // Open box with a centred title, markers of its own.
      {2, {"[box]", "Hallo", "[/box]"}, {" ,----------", "|  Hallo", " `----------"}},
      {3,
       {"boxquote3:", "Titel", "-", "Text", "#"},
       {" ,----# [ Titel ] #", "|  Text", " `----"}},
      // Eight graphics characters give every corner and side.
      {4, {"boxquote4:", "T", "-", "abc", "#"}, {"+[T]--+", "| abc |", "+-----+"}},
      {5, {"boxquote5:", "x", "#"}, {" ,", "x", " ,"}},
      {6, {"Siehe:", "boxquote6: " + quoteFile, "Ende"}, withFileBox},
      {7, {"boxquote7:", "x", "#"}, {"boxquote7:", "x", "#"}},
      {8, {"boxquote8:", "T", "-", "x", "#"}, {" ,--<T>", "|  x", " `------"}},
      {9, {"boxquote9:", "a", "#", "boxquote9:", "b", "#"},
       {" ,----", "|  a", " `----", " ,----", "|  b", " `----"}},
  };
  for (const auto& row : rows) {
    TVQSkript& s = Load(row.before);
    s.ConvertBoxQuotes(row.style);
    EXPECT_EQ(BodyLines(), row.after) << "style " << row.style << ": " << row.before[0];
  }
  // Numbers outside 1..9 do nothing.
  TVQSkript& s = Load({"boxquote1:", "x", "#"});
  s.ConvertBoxQuotes(0);
  s.ConvertBoxQuotes(10);
  EXPECT_FALSE(Body().Changed);
}

TEST_F(BodyLayout, MissingBoxQuoteFileEndsTheCorrection) {
  TIniFile ini(dir / "BoxQuotes.ini");
  ini.WriteString("BQ#3", "BQFrom", "F");
  ini.UpdateFile();
  Reload();
  settings.ConvertBoxQuotes = true;
  Load({"boxquote3: " + (dir / "fehlt.txt")});
  testing::internal::CaptureStderr();
  EXPECT_THROW(KorrigiereArtikel(*script, settings, *article), EAbort);
  const std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_NE(shown.find("existiert nicht"), std::string::npos) << shown;
  EXPECT_NE(shown.find("fehlt.txt"), std::string::npos) << shown;
}

// ---------------------------------------------------------------------------
// Footnotes

TEST_F(BodyLayout, FootnotesMoveBelowTheBody) {
  TVQSkript& s = Load({"Das ist ein Satz(FN:Eine Anmerkung#) mit Fu\xDFnote.", "",
                       "Zweiter(FN: und (FN:innen#) noch#) Absatz.", "> Zitat(FN:bleibt#)",
                       "offen(FN:ohne Ende"});
  s.ConvertFootnotes();
  EXPECT_EQ(s.FootnoteLines, (Lines{"Eine Anmerkung", " und [3] noch", "innen"}));
  s.AppendFootnotes();
  EXPECT_EQ(BodyLines(), (Lines{
                             "Das ist ein Satz[1] mit Fu\xDFnote.",
                             "",
                             "Zweiter[2] Absatz.",
                             "> Zitat(FN:bleibt#)",
                             "offen(FN:ohne Ende",
                             "",
                             "Fu\xDFnoten:",
                             "=========",
                             "[1] Eine Anmerkung",
                             "[2] und [3] noch",
                             "[3] innen",
                         }));
}

TEST_F(BodyLayout, FootnoteInAWrappedParagraph) {
  // The editor wrapped the paragraph: the footnote spans two lines, and the
  // rest of the paragraph is joined and wrapped again.
  const std::string first =
      "Ein Absatz, den der Editor umbrochen hat, mit einer Fussnote(FN:Die";
  ASSERT_GT(first.size(), 63u);
  TVQSkript& s = Load({first, "Notiz steht hier#) und dann geht es mit dem Text des Absatzes weiter",
                       "bis zum Ende.", "", "Neuer Absatz."});
  s.ConvertFootnotes();
  EXPECT_EQ(s.FootnoteLines, (Lines{"Die\r\nNotiz steht hier"}));
  EXPECT_EQ(BodyLines(),
            (Lines{"Ein Absatz, den der Editor umbrochen hat, mit einer Fussnote[1] und dann",
                   "geht es mit dem Text des Absatzes weiter bis zum Ende.", "", "Neuer Absatz."}));
}

TEST_F(BodyLayout, TwelveFootnotesAreAligned) {
  Lines body;
  for (int k = 1; k <= 12; ++k) body.push_back("Satz " + IntToStr(k) + "(FN:Notiz " + IntToStr(k) + "#)");
  TVQSkript& s = Load(body);
  s.ConvertFootnotes();
  s.AppendFootnotes();
  const Lines out = BodyLines();
  ASSERT_EQ(out.size(), 12u + 3u + 12u);
  EXPECT_EQ(out[0], "Satz 1[1]");
  EXPECT_EQ(out[11], "Satz 12[12]");
  EXPECT_EQ(out[15], " [1] Notiz 1");
  EXPECT_EQ(out[23], " [9] Notiz 9");
  EXPECT_EQ(out[24], "[10] Notiz 10");
  EXPECT_EQ(out[26], "[12] Notiz 12");
}

TEST_F(BodyLayout, FootnoteTextsAreJoinedAndWrapped) {
  const struct {
    std::string note;
    Lines after;
  } rows[] = {
      {"Ein lan-\r\nges Wort", {"[1] Ein langes Wort"}},
      {"erste///zweite Zeile", {"[1] erste", "    zweite Zeile"}},
      {"  Absatz eins\r\n\r\nAbsatz zwei  ", {"[1] Absatz eins", "    ", "    Absatz zwei"}},
      {"Ein sehr langer Fussnotentext, der ueber die Breite von zweiundsiebzig Zeichen "
       "hinausgeht und umbrochen wird.",
       {"[1] Ein sehr langer Fussnotentext, der ueber die Breite von",
        "    zweiundsiebzig Zeichen hinausgeht und umbrochen wird."}},
  };
  for (const auto& row : rows) {
    TVQSkript& s = Load({"Text"});
    s.FootnoteLines = {row.note};
    s.AppendFootnotes();
    Lines expected = {"Text", "", "Fu\xDFnoten:", "========="};
    expected.insert(expected.end(), row.after.begin(), row.after.end());
    EXPECT_EQ(BodyLines(), expected) << row.note;
  }
}

TEST_F(BodyLayout, FootnoteTitleBlock) {
  Footnotes.TitleEmptyLine = true;
  TVQSkript& s = Load({"Text", "", ""});
  s.FootnoteLines = {"a"};
  s.AppendFootnotes();
  EXPECT_EQ(BodyLines(), (Lines{"Text", "", "Fu\xDFnoten:", "=========", "", "[1] a"}));

  Footnotes.Title.clear();
  Load({"Text"}).FootnoteLines = {"a"};
  script->AppendFootnotes();
  EXPECT_EQ(BodyLines(), (Lines{"Text", "", "[1] a"}));
}

TEST_F(BodyLayout, FootnoteUnderlineCountsCharactersUnderUtf8) {
  SetInternalCharset("utf-8");
  Footnotes.Title = "Fußnoten:";
  TVQSkript& s = Load({"Text"});
  s.FootnoteLines = {"a"};
  s.AppendFootnotes();
  EXPECT_EQ(BodyLines()[3], "=========");
  SetInternalCharset("windows-1252");
}

TEST_F(BodyLayout, MarksThatLookLikeFootnoteNumbers) {
  // With "[" and "]" as marks, the number written in place of a footnote must
  // not be taken for the next one.
  Footnotes.BeginMark = "[";
  Footnotes.EndMark = "]";
  TVQSkript& s = Load({"a[note] b [zwei]", "c"});
  s.ConvertFootnotes();
  EXPECT_EQ(BodyLines(), (Lines{"a[1] b [2]", "c"}));
  EXPECT_EQ(s.FootnoteLines, (Lines{"note", "zwei"}));
}

TEST_F(BodyLayout, OpenFootnotesStayAsTheyAre) {
  for (const std::string& line : {std::string(70, 'x') + " (FN:offen",
                                  std::string(60, 'x') + " (FN: a (FN: b #)"}) {
    TVQSkript& s = Load(Lines(2000, line));
    s.ConvertFootnotes();
    EXPECT_TRUE(s.FootnoteLines.empty());
    EXPECT_FALSE(Body().Changed);
  }
}

TEST_F(BodyLayout, LaterLineOfAParagraphOpensAClosedFootnote) {
  // From the first line the footnote never closes; the second line opens one
  // that does.
  const std::string first = std::string(60, 'x') + " (FN:a (FN:b";
  TVQSkript& s = Load({first, "(FN:c#) Rest"});
  s.ConvertFootnotes();
  EXPECT_EQ(BodyLines(), (Lines{first, "[1] Rest"}));
  EXPECT_EQ(s.FootnoteLines, (Lines{"c"}));
}

TEST_F(BodyLayout, FootnotesBeforeOrAfterTheAppendedLines) {
  settings.ConvertFootnotes = true;
  WriteFile(dir / "header.def",
            "Sub main\r\nSet Lines \"Gruss\"\r\nSet Intro \"Hallo,\"\r\nEnd Sub\r\n");
  const Lines notes = {"Fu\xDFnoten:", "=========", "[1] Notiz"};
  for (const uint8_t position : {0, 1}) {
    Footnotes.Position = position;
    Load({"Text(FN:Notiz#)"});
    KorrigiereArtikel(*script, settings, *article);
    Lines expected = {"Hallo,", "Text[1]", ""};
    if (position == 0) {
      expected.insert(expected.end(), notes.begin(), notes.end());
      expected.insert(expected.end(), {"", "Gruss"});
    } else {
      expected.insert(expected.end(), {"Gruss", ""});
      expected.insert(expected.end(), notes.begin(), notes.end());
    }
    EXPECT_EQ(BodyLines(), expected) << int(position);
  }
}

// ---------------------------------------------------------------------------
// One-liners and reformat blocks

TEST_F(BodyLayout, OneLiners) {
  const Row rows[] = {
      {{"OL:http://www.example.org/ein/", "langer/pfad.html#"},
       {"http://www.example.org/ein/langer/pfad.html"}},
      {{"Text", "OL:a", "b", "c#", "Rest"}, {"Text", "abc", "Rest"}},
      {{"OL:x#"}, {"x"}},
      {{"OL:offen", "weiter", "", "ende#"}, {"OL:offen", "weiter", "", "ende#"}},
      {{"OL:offen", "   ", "ende#"}, {"OL:offen", "   ", "ende#"}},
      {{"OL:a", "OL:b#", "OL:c", "d#"}, {"aOL:b", "cd"}},
      {{"OL:", "x"}, {"OL:", "x"}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(After(row.before, &TVQSkript::ConvertOneLiners), row.after) << row.before[0];
  // Markers come from the special settings; empty ones switch the conversion off.
  Specials.OnelinerBegin = "<<";
  EXPECT_EQ(After({"<<a", "b#"}, &TVQSkript::ConvertOneLiners), (Lines{"ab"}));
  Specials.OnelinerBegin.clear();
  EXPECT_EQ(After({"a", "b#"}, &TVQSkript::ConvertOneLiners), (Lines{"a", "b#"}));
}

TEST_F(BodyLayout, ReformatBlocks) {
  const Row rows[] = {
      {{"RF:Dies ist ein", "  umbrochener Text,", "der neu umbrochen wird.#", "Rest"},
       {"Dies ist ein umbrochener Text, der neu umbrochen wird.", "Rest"}},
      // A quote prefix after the begin marker stays and continues the lines.
      {{"RF:> Dies ist", "> > ein Zitat.#"}, {"> Dies ist ein Zitat."}},
      {{"RF:ohne Ende", "", "x#"}, {"RF:ohne Ende", "", "x#"}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(After(row.before, &TVQSkript::ConvertReFormats), row.after) << row.before[0];

  Footnotes.WrapWidth = 30;
  TVQSkript& s = Load({"Vorher", "RF:> Ein etwas laengerer Text,", "> der umbrochen", "> werden muss.#"});
  s.ConvertReFormats();
  // The block is one entry of the list; its lines count on output.
  EXPECT_EQ(Body().Count(), 2);
  EXPECT_EQ(BodyLines(), (Lines{"Vorher", "> Ein etwas laengerer Text,", "> der umbrochen werden muss."}));
  EXPECT_NE(article->GetText().find("Text,\r\n> der umbrochen werden muss.\r\n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Intro and appended lines

TEST_F(BodyLayout, IntroOnce) {
  const struct {
    Lines intro, before, after;
  } rows[] = {
      {{"Hallo Max,", ""}, {"Text"}, {"Hallo Max,", "", "Text"}},
      {{"Hallo Max,", ""}, {"Hallo Max,", "", "Text"}, {"Hallo Max,", "", "Text"}},
      {{"Hallo Max,"}, {""}, {"Hallo Max,"}},
      // Longer than the body: never present.
      {{"a", "b"}, {"a"}, {"a", "b", "a"}},
      {{"Hallo"}, {"Hallo Max"}, {"Hallo", "Hallo Max"}},
  };
  for (const auto& row : rows) {
    TVQSkript& s = Load(row.before);
    auto intro = std::make_unique<TChangedStringlist>();
    intro->Assign(row.intro);
    article->CurrentPart()->SetNamedList("Intro", std::move(intro));
    s.InsertIntro();
    EXPECT_EQ(BodyLines(), row.after) << row.before[0];
    s.InsertIntro();
    EXPECT_EQ(BodyLines(), row.after) << row.before[0];
  }
  // Without an Intro list nothing happens.
  Load({"Text"}).InsertIntro();
  EXPECT_FALSE(Body().Changed);
}

TEST_F(BodyLayout, AppendedLinesOnce) {
  const struct {
    bool blankBefore;
    Lines lines, before, after;
  } rows[] = {
      {true, {"Gruss", "Max"}, {"Text"}, {"Text", "", "Gruss", "Max"}},
      {true, {"Gruss", "Max"}, {"Text", ""}, {"Text", "", "Gruss", "Max"}},
      {false, {"Gruss", "Max"}, {"Text"}, {"Text", "Gruss", "Max"}},
      {true, {"Gruss"}, {""}, {"Gruss"}},
      {true, {"Gruss", "Max"}, {"Text", "", "Gruss", "Max", "", ""}, {"Text", "", "Gruss", "Max", "", ""}},
      // A last line that merely ends with the text is no appended line.
      {false, {"Max"}, {"Hallo Max"}, {"Hallo Max", "Max"}},
  };
  for (const auto& row : rows) {
    settings.BlankBeforeLines = row.blankBefore;
    TVQSkript& s = Load(row.before);
    s.LinesToAppend = row.lines;
    s.AppendLines();
    EXPECT_EQ(BodyLines(), row.after) << row.before[0];
    s.AppendLines();
    EXPECT_EQ(BodyLines(), row.after) << row.before[0];
  }
}

// ---------------------------------------------------------------------------
// Through the correction of a message

TEST_F(BodyLayout, CorrectionAppliesTheProfileSwitches) {
  TIniFile ini(dir / "BoxQuotes.ini");
  ini.WriteString("BQ#1", "BQType", "2");
  ini.UpdateFile();
  Reload();
  settings.ConvertFootnotes = true;
  settings.ConvertOneLiners = true;
  settings.ConvertReFormats = true;
  settings.ConvertBoxQuotes = true;
  Load({"Hallo(FN:Notiz#)", "OL:http://example.org/", "x.html#", "boxquote1:", "Kasten", "#",
        "RF:ein", "Satz.#"});
  EXPECT_TRUE(KorrigiereArtikel(*script, settings, *article));
  EXPECT_EQ(BodyLines(), (Lines{"Hallo[1]", "http://example.org/x.html", " ,----------.",
                                "|  Kasten    |", " `----------\xB4 ", "ein Satz.", "",
                                "Fu\xDFnoten:", "=========", "[1] Notiz"}));
}
