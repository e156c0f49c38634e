#include "uTransla.h"

#include <gtest/gtest.h>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "uTools.h"
#include "TestSupport.h"

using Lines = std::vector<std::string>;

namespace {

// windows-1252, as the translators' files are written.
const std::string kDat =
    "; Tidelarn translations\r\n"
    "[English]\r\n"
    "Runtime/interpretenumeric.error=Error in numeric expression: %s\r\n"
    "Runtime/Two.Lines=first^msecond^Mthird\r\n"
    "Runtime/Count=%d of %d\r\n"
    "Runtime/TooMany=%s and %s\r\n"
    "Runtime/Euro=Price in \x80 for %s\r\n"
    "\r\n"
    "MainForm.caption=Settings\r\n"
    "MainForm.butok.caption=OK^mnow\r\n"
    "MainForm.butok.hint=Saves\r\n"
    "MainForm.butok.caption=second wins not\r\n"
    "MainForm.butCancel.caption=not found by butcancel\r\n"
    "mainform.labx.caption=wrong prefix\r\n"
    "MainFormX.laby.caption=other form\r\n"
    "MainForm/AskSave=Save changes?\r\n"
    "  [Francais]  \r\n"
    "Runtime/InterpreteNumeric.Error=Erreur: %s\r\n"
    "MainForm.caption=Reglages\r\n"
    "[Leer]\n";

class Translation : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = ProgramDir();
    SetProgramDir(dir_.Path());
    DoneTranslation();
  }
  void TearDown() override {
    DoneTranslation();
    SetProgramDir(saved_);
  }
  void Use(const std::string& language, const std::string& dat = kDat) {
    if (!language.empty()) WriteFile(dir_ / "Specials.ini", "[General]\r\nLanguage=" + language + "\r\n");
    if (!dat.empty()) WriteFile(dir_ / "Tidelarn.dat", dat);
    DoneTranslation();
  }
  TempDir dir_;
  std::string saved_;
};

}  // namespace

TEST_F(Translation, WithoutFileTheDefaultsAreUsed) {
  EXPECT_EQ(Translate("Some.Id", "Grüße^mzurück"), "Gr\xFC\xDF" "e\r\nzur\xFC" "ck");
  EXPECT_EQ(TranslateFmt("Some.Id", "%d von %s", {int64_t(3), std::string("vier")}), "3 von vier");
  std::vector<std::string> items;
  EXPECT_EQ(ListLanguages(items), 0);
  EXPECT_EQ(items, Lines{"Deutsch"});
  Lines formLines{"stale"};
  TFormTexts texts = CollectFormTexts("MainForm", formLines);
  EXPECT_FALSE(texts.caption);
  EXPECT_TRUE(texts.components.empty());
  EXPECT_TRUE(formLines.empty());
}

TEST_F(Translation, GermanOrUnknownLanguageKeepsDefaults) {
  for (const char* language : {"Deutsch", "Klingon", "english"}) {
    Use(language);
    EXPECT_EQ(Translate("InterpreteNumeric.Error", "Fehler: %s"), "Fehler: %s") << language;
  }
}

TEST_F(Translation, RuntimeIdsIgnoreCase) {
  Use("English");
  EXPECT_EQ(Translate("InterpreteNumeric.Error", "Fehler"), "Error in numeric expression: %s");
  EXPECT_EQ(Translate("Two.Lines", "x"), "first\r\nsecond^Mthird");
  EXPECT_EQ(Translate("Missing", "fehlt^m"), "fehlt\r\n");
  // Bytes of the file are windows-1252, like the internal charset here.
  EXPECT_EQ(TranslateFmt("Euro", "Preis in € für %s", {std::string("x")}), "Price in \x80 for x");
}

TEST_F(Translation, FileTextsArriveInTheInternalCharset) {
  LoadCharsetTables();
  SetInternalCharset("utf-8");
  Use("English");
  std::string euro = Translate("Euro", "x");
  std::string umlaut = Translate("Missing", "ä");
  SetInternalCharset("");
  EXPECT_EQ(euro, "Price in \xE2\x82\xAC for %s");
  EXPECT_EQ(umlaut, "\xC3\xA4");
}

TEST_F(Translation, SectionHeadsAndBlankLines) {
  Use("Francais");  // its head stands between blanks
  EXPECT_EQ(Translate("InterpreteNumeric.Error", "Fehler"), "Erreur: %s");
  EXPECT_EQ(Translate("Count", "%d von %d"), "%d von %d");  // only in [English]
  Use("English");
  EXPECT_EQ(Translate("Count", "x"), "%d of %d");  // after a blank line
  Lines formLines;
  EXPECT_EQ(CollectFormTexts("MainForm", formLines).caption, "Settings");  // not Reglages
}

TEST_F(Translation, FormatMismatchesFallBack) {
  Use("English");
  EXPECT_EQ(TranslateFmt("Count", "%d von %d", {int64_t(1), int64_t(2)}), "1 of 2");
  EXPECT_EQ(TranslateFmt("TooMany", "%s", {std::string("a")}), "#FmtE# %s and %s");
  EXPECT_EQ(TranslateFmt("Count", "%d von %d", {std::string("a"), int64_t(2)}), "#FmtE# %d of %d");
  EXPECT_EQ(TranslateFmt("InterpreteNumeric.Error", "%s", {}), "#FmtE# Error in numeric expression: %s");
  EXPECT_EQ(TranslateFmt("X", "100%", {}), "#FmtE# 100%");
  EXPECT_EQ(TranslateFmt("X", "%5.1f|%-4d|%x|%%", {2.25, int64_t(7), int64_t(255)}), "  2.2|7   |FF|%");
  std::string wide = Format("%.99f", {1e300});
  EXPECT_EQ(wide.size(), 301u + 1u + 18u);  // digits, point, 18 decimals
  EXPECT_EQ(wide.substr(0, 2), "10");
}

TEST_F(Translation, FormTexts) {
  Use("English");
  Lines formLines;
  TFormTexts texts = CollectFormTexts("MainForm", formLines);
  EXPECT_EQ(texts.caption, "Settings");
  ASSERT_NE(texts.Component("butOk"), nullptr);
  EXPECT_EQ(texts.Component("butOk")->caption, "OK\r\nnow");  // the first line of a key wins
  EXPECT_EQ(texts.Component("BUTOK")->hint, "Saves");
  // Keys are case-sensitive: a component written in capitals in the file is
  // not found, nor is a line with a prefix in another case.
  EXPECT_EQ(texts.Component("butCancel"), nullptr);
  EXPECT_EQ(texts.Component("labx"), nullptr);
  EXPECT_EQ(texts.Component("laby"), nullptr);
  EXPECT_EQ(formLines, Lines{"AskSave=Save changes?"});
  EXPECT_EQ(LookupTranslation(formLines, "asksave", "Speichern?"), "Save changes?");
  EXPECT_EQ(LookupTranslation(formLines, "Other", "Andere?"), "Andere?");
}

TEST_F(Translation, CollectSectionAndTakeValue) {
  Use("English");
  std::vector<std::string> source = SplitLines(kDat), dots, slashes{"old"};
  CollectSection(source, &dots, slashes, "MainForm");
  EXPECT_EQ(slashes, Lines{"AskSave=Save changes?"});
  ASSERT_EQ(dots.size(), 5u);
  std::string value;
  EXPECT_TRUE(TakeValue(dots, "MainForm.butok.caption", value));
  EXPECT_EQ(value, "OK\r\nnow");
  EXPECT_TRUE(TakeValue(dots, "MainForm.butok.caption", value));
  EXPECT_EQ(value, "second wins not");
  EXPECT_FALSE(TakeValue(dots, "MainForm.butok.caption", value));
  EXPECT_FALSE(TakeValue(dots, "mainform.caption", value));
  EXPECT_EQ(dots.size(), 3u);
}

TEST_F(Translation, ListAndSetLanguage) {
  Use("Francais");
  std::vector<std::string> items;
  EXPECT_EQ(ListLanguages(items), 2);
  EXPECT_EQ(items, (Lines{"Deutsch", "English", "Francais", "Leer"}));

  // Messages and forms follow a new choice at once.
  EXPECT_EQ(Translate("InterpreteNumeric.Error", "Fehler"), "Erreur: %s");
  SetLanguage("English");
  EXPECT_NE(ReadFile(dir_ / "Specials.ini").find("Language=English"), std::string::npos);
  EXPECT_EQ(Translate("InterpreteNumeric.Error", "Fehler"), "Error in numeric expression: %s");
  Lines formLines;
  EXPECT_EQ(CollectFormTexts("MainForm", formLines).caption, "Settings");
  EXPECT_EQ(ListLanguages(items), 1);

  DoneTranslation();  // a new start reads the stored choice
  EXPECT_EQ(Translate("InterpreteNumeric.Error", "Fehler"), "Error in numeric expression: %s");

  Use("Klingon");
  EXPECT_EQ(ListLanguages(items), 0);
  EXPECT_EQ(items[0], "Deutsch");
  EXPECT_NE(ReadFile(dir_ / "Specials.ini").find("Klingon"), std::string::npos);  // only memory changes
}
