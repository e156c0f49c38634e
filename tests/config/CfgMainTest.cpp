// The settings form on Qt's offscreen platform: profiles into the controls and
// back, new/copy/delete, dependent controls, language switch, remembered view.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "CfgMain.h"
#include "ConfigTestSupport.h"
#include "IniFile.h"
#include "QtPrompter.h"
#include "SysUtils.h"
#include "uTransla.h"

namespace {

template <class W = QWidget>
W* Find(QWidget* form, const char* name) {
  W* w = form->findChild<W*>(QString::fromLatin1(name));
  EXPECT_NE(w, nullptr) << name;
  return w;
}

void Click(QWidget* form, const char* name) { Find<QPushButton>(form, name)->click(); }
void Select(QWidget* form, int row) { Find<QListWidget>(form, "l")->setCurrentRow(row); }
QCheckBox* Check(QWidget* form, const char* name) { return Find<QCheckBox>(form, name); }

class CfgMainTest : public ConfigTest {
protected:
  void TearDown() override {
    delete FrmMain;
    FrmMain = nullptr;
    ConfigTest::TearDown();
  }

  // The form as the program makes it; the test owns it through FrmMain.
  TFrmMain* Open() {
    delete FrmMain;
    FrmMain = new TFrmMain;
    return FrmMain;
  }

  std::string Specials(const char* key) const {
    return TIniFile(Path("Specials.ini")).ReadString("CfgMain", key, "missing");
  }
};

// ---------------------------------------------------------------------------

TEST_F(CfgMainTest, ProfilesGoThroughTheControlsUnchanged) {
  WriteProfile("Mails", [](TVQEinstellungen& p) { FillAllFields(p, 1); });
  WriteProfile("News", [](TVQEinstellungen& p) { FillAllFields(p, 2); });
  const std::string before = ReadFile(IniFile());

  TFrmMain* form = Open();
  ASSERT_EQ(Find<QListWidget>(form, "l")->count(), 3);
  Select(form, 1);
  Select(form, 2);
  Select(form, 1);
  Click(form, "butOk");

  EXPECT_EQ(ReadFile(IniFile()), before);
}

TEST_F(CfgMainTest, ControlsShowTheProfile) {
  WriteProfile("News", [](TVQEinstellungen& p) { FillAllFields(p, 2); });
  TFrmMain* form = Open();
  EXPECT_EQ(Find<QListWidget>(form, "l")->item(1)->text(),
            QString::fromUtf8("Konfiguration \"News\""));
  Select(form, 1);

  EXPECT_TRUE(Check(form, "chkBackup")->isChecked());
  EXPECT_FALSE(Check(form, "chkAutoFunctions")->isChecked());
  EXPECT_EQ(EditOf(form, "txtMessagePath")->text(), "Groups\\Out2");
  EXPECT_EQ(EditOf(form, "txtDelAtBegin")->text(), QString::fromUtf8("Grüße2"));
  EXPECT_EQ(EditOf(form, "txtSafeReg1")->text(), "5");
  EXPECT_EQ(EditOf(form, "txtKillMID")->text(), "plim2,sort2");
  EXPECT_EQ(Find<QComboBox>(form, "cbCSBody")->currentText(), "iso-8859-15");
  EXPECT_EQ(Find<QComboBox>(form, "cbCSHeader")->currentText(), "us-ascii,utf-8");
  EXPECT_EQ(Find<QComboBox>(form, "cbDefAction")->currentIndex(), 1);
  EXPECT_EQ(Find<QComboBox>(form, "cbSaveAttReaction")->currentIndex(), 2);
  EXPECT_EQ(Find<QComboBox>(form, "cbDefaultEncoding")->currentIndex(), -1);
  EXPECT_EQ(Find<QComboBox>(form, "cbDateFormat")->currentIndex(), 0);  // GMT
  EXPECT_EQ(Find<QPlainTextEdit>(form, "memKillHeaderlines")->toPlainText().count('\n'), 1);
}

TEST_F(CfgMainTest, EditedControlsReachTheFileOnOk) {
  WriteProfile("News", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  Select(form, 1);
  Check(form, "chkBackup")->setChecked(true);
  EditOf(form, "txtSafeReg1")->setText("abc");  // not a number: 0
  EditOf(form, "txtSafeReg2")->setText("12");
  EditOf(form, "txtDelAtBegin")->setText(QString::fromUtf8("»|"));
  EditOf(form, "txtKillMID")->setText("a,b,,A,c");
  Find<QPlainTextEdit>(form, "memKillHeaderlines")->setPlainText("X-One\nX-Two\n");
  auto* body = Find<QComboBox>(form, "cbCSBody");
  body->setCurrentIndex(body->findText("utf-8"));
  Find<QComboBox>(form, "cbCSHeader")->setCurrentIndex(0);
  Find<QComboBox>(form, "cbDateFormat")->setCurrentIndex(0);
  Find<QComboBox>(form, "cbSetDate")->setCurrentIndex(1);
  Click(form, "butOk");

  auto p = ReadProfile("News");
  EXPECT_TRUE(p->MakeBak);
  EXPECT_EQ(p->SafeReg1, 0);
  EXPECT_EQ(p->SafeReg2, 12);
  EXPECT_EQ(p->DelAtBegin, FromUtf8("»|"));
  EXPECT_EQ(p->KillMessageIDBegins, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(p->DelXHeader, (std::vector<std::string>{"X-One", "X-Two"}));
  EXPECT_EQ(p->BodyCharsets, "utf-8");
  EXPECT_EQ(p->HeaderCharsets, "");
  EXPECT_TRUE(p->GMT);
  EXPECT_EQ(p->SetDateHeader, 1);
}

TEST_F(CfgMainTest, SelectingAnotherItemStoresAndSelectingTheSameAgainDropsEdits) {
  WriteProfile("A", [](TVQEinstellungen&) {});
  WriteProfile("B", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  Select(form, 1);
  EditOf(form, "txtTestExt")->setText("aaa");
  Select(form, 2);
  EXPECT_EQ(EditOf(form, "txtTestExt")->text(), "msg");
  EditOf(form, "txtTestExt")->setText("lost");
  form->lClick();  // the shown profile clicked again
  EXPECT_EQ(EditOf(form, "txtTestExt")->text(), "msg");
  Select(form, 1);
  EXPECT_EQ(EditOf(form, "txtTestExt")->text(), "aaa");
  Click(form, "butAbort");
  // Abbruch writes no profile.
  EXPECT_EQ(ReadProfile("A")->CheckFilesWithExtension, "msg");
}

// ---------------------------------------------------------------------------
// Views and dependent controls

TEST_F(CfgMainTest, GeneralItemShowsTheButtonsAndNothingSelectedShowsNeither) {
  WriteProfile("News", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  auto* pages = Find(form, "pg");
  auto* general = Find(form, "frAllgemein");
  EXPECT_EQ(Find<QListWidget>(form, "l")->currentRow(), 0);  // no remembered position
  EXPECT_TRUE(general->isVisibleTo(form));
  EXPECT_FALSE(pages->isVisibleTo(form));
  EXPECT_FALSE(Find(form, "butDel")->isEnabled());
  EXPECT_FALSE(Find(form, "butKopie")->isEnabled());

  Select(form, 1);
  EXPECT_TRUE(pages->isVisibleTo(form));
  EXPECT_FALSE(general->isVisibleTo(form));
  EXPECT_TRUE(Find(form, "butDel")->isEnabled());

  // A remembered position beyond the list.
  Click(form, "butAbort");
  WriteFile(Path("Specials.ini"), "[CfgMain]\r\nPosition=7\r\nPage=99\r\n");
  form = Open();
  EXPECT_EQ(Find<QListWidget>(form, "l")->currentRow(), -1);
  EXPECT_FALSE(Find(form, "pg")->isVisibleTo(form));
  EXPECT_FALSE(Find(form, "frAllgemein")->isVisibleTo(form));
  EXPECT_EQ(Find<QTabWidget>(form, "pg")->currentIndex(), 0);
}

TEST_F(CfgMainTest, AutomaticFunctionsHideSixPagesWhoseValuesAreStillSaved) {
  WriteProfile("News", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  Select(form, 1);
  auto* pg = Find<QTabWidget>(form, "pg");
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(pg->isTabVisible(i)) << i;
  pg->setCurrentIndex(3);
  Check(form, "chkAutoFunctions")->setChecked(false);
  EXPECT_TRUE(pg->isTabVisible(pg->currentIndex())) << pg->currentIndex();
  const bool expected[] = {true, true, false, false, false, true, false, false, false};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(pg->isTabVisible(i), expected[i]) << i;
  EXPECT_FALSE(Check(form, "chkMinBodyCharset")->isEnabled());

  EditOf(form, "txtDelAtBegin")->setText("|");
  Click(form, "butOk");
  auto p = ReadProfile("News");
  EXPECT_FALSE(p->AutoFunctions);
  EXPECT_EQ(p->DelAtBegin, "|");
}

TEST_F(CfgMainTest, DefaultEncodingDisablesItsOwnConversion) {
  WriteProfile("News", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  Select(form, 1);
  auto* encoding = Find<QComboBox>(form, "cbDefaultEncoding");
  auto enabled = [&] {
    return std::string(Check(form, "chkConvert8Bit")->isEnabled() ? "8" : "-") +
           (Check(form, "chkConvertQP")->isEnabled() ? "Q" : "-") +
           (Check(form, "chkConvertBase64")->isEnabled() ? "B" : "-");
  };
  EXPECT_EQ(enabled(), "-QB");
  Check(form, "chkConvertQP")->setChecked(true);
  encoding->setCurrentIndex(1);
  EXPECT_EQ(enabled(), "8-B");
  EXPECT_TRUE(Check(form, "chkConvertQP")->isChecked());
  encoding->setCurrentIndex(3);
  EXPECT_EQ(enabled(), "8QB");
}

// ---------------------------------------------------------------------------
// New, copy, delete

TEST_F(CfgMainTest, NewProfileBeforeOrAfterTheShownOneKeepsTheControlsOnIt) {
  WriteProfile("M", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  Select(form, 1);
  EditOf(form, "txtTestExt")->setText("mmm");
  prompter_.inputs = {"A", "N"};
  Click(form, "butNeu");  // sorts before M
  Click(form, "butNeu");  // sorts directly after M
  auto* l = Find<QListWidget>(form, "l");
  ASSERT_EQ(l->count(), 4);
  EXPECT_EQ(l->currentRow(), -1);
  EXPECT_EQ(form->ShownIndex, 2);
  EXPECT_EQ(prompter_.questions.at(0), FromUtf8("Wie soll der Abschnitt heißen?"));
  // Written at once, with the defaults.
  EXPECT_TRUE(TIniFile(IniFile()).SectionExists("A"));
  EXPECT_EQ(ReadProfile("N")->CheckFilesWithExtension, "msg");

  Select(form, 0);
  Click(form, "butOk");
  EXPECT_EQ(ReadProfile("M")->CheckFilesWithExtension, "mmm");
  EXPECT_EQ(ReadProfile("A")->CheckFilesWithExtension, "msg");
  EXPECT_EQ(ReadProfile("N")->CheckFilesWithExtension, "msg");
}

TEST_F(CfgMainTest, CopyTakesTheValuesFromBeforeTheEdits) {
  WriteProfile("News", [](TVQEinstellungen& p) { FillAllFields(p, 1); });
  TFrmMain* form = Open();
  Select(form, 1);
  EditOf(form, "txtTestExt")->setText("edited");
  prompter_.inputs = {"Copy"};
  Click(form, "butKopie");
  auto copy = ReadProfile("Copy");
  auto original = ReadProfile("News");
  EXPECT_EQ(copy->CheckFilesWithExtension, "eml1");
  EXPECT_EQ(copy->SigFile, original->SigFile);
  EXPECT_EQ(copy->DelXHeader, original->DelXHeader);
  EXPECT_EQ(form->ShownIndex, 2);  // "Copy" sorts before "News"
  EXPECT_EQ(EditOf(form, "txtTestExt")->text(), "edited");
}

TEST_F(CfgMainTest, NewWithAKnownOrUnusableNameChangesNothing) {
  WriteProfile("News", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  const std::string before = ReadFile(IniFile());
  prompter_.inputs = {"news"};
  Click(form, "butNeu");
  EXPECT_TRUE(prompter_.boxes.empty());
  Click(form, "butNeu");  // cancelled
  prompter_.inputs = {" Blank"};
  Click(form, "butNeu");  // the file cannot hold it: refused with a message
  EXPECT_EQ(prompter_.boxes.size(), 1u);
  EXPECT_EQ(Find<QListWidget>(form, "l")->count(), 2);
  EXPECT_EQ(form->Profiles.Count(), 1);
  EXPECT_EQ(ReadFile(IniFile()), before);
}

TEST_F(CfgMainTest, NewProfilesGetTheLinuxFoldersAndStoredFoldersStay) {
  WriteFile(IniFile(), "[Old]\r\nSaveAttachmentsDir=c:\\temp\r\nSaveHTMLAs=c:\\temp\\O_*.html\r\n");
  TFrmMain* form = Open();
  prompter_.inputs = {"New"};
  Click(form, "butNeu");
  EXPECT_EQ(TIniFile(IniFile()).ReadString("New", "SaveAttachmentsDir", ""), "/tmp");
  Select(form, 1);
  EXPECT_EQ(EditOf(form, "txtSaveHTMLAs")->text(), "/tmp/Original_*.html");
  EXPECT_EQ(EditOf(form, "txtSaveAttDir")->text(), "/tmp");
  Select(form, 2);
  Click(form, "butOk");
  TIniFile ini(IniFile());
  EXPECT_EQ(ini.ReadString("New", "SaveHTMLAs", ""), "/tmp/Original_*.html");
  EXPECT_EQ(ini.ReadString("New", "SaveAttachmentsDir", ""), "/tmp");
  EXPECT_EQ(ini.ReadString("Old", "SaveHTMLAs", ""), "c:\\temp\\O_*.html");
  EXPECT_EQ(ini.ReadString("Old", "SaveAttachmentsDir", ""), "c:\\temp");
}

TEST_F(CfgMainTest, DeleteErasesTheSectionAtOnceAfterYes) {
  WriteProfile("Mails", [](TVQEinstellungen&) {});
  WriteProfile("News", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  Select(form, 2);
  prompter_.answers = {id::No};
  Click(form, "butDel");
  EXPECT_TRUE(TIniFile(IniFile()).SectionExists("News"));

  prompter_.answers = {id::Yes};
  Click(form, "butDel");
  EXPECT_FALSE(TIniFile(IniFile()).SectionExists("News"));
  EXPECT_TRUE(TIniFile(IniFile()).SectionExists("Mails"));
  EXPECT_EQ(form->ShownIndex, 0);
  EXPECT_EQ(Find<QListWidget>(form, "l")->count(), 2);
  EXPECT_EQ(prompter_.boxes.size(), 2u);
  Click(form, "butDel");  // nothing shown any more: no question
  EXPECT_EQ(prompter_.boxes.size(), 2u);
  // The controls still hold the erased profile; OK does not bring it back.
  Select(form, 1);
  Click(form, "butOk");
  EXPECT_FALSE(TIniFile(IniFile()).SectionExists("News"));
}

// ---------------------------------------------------------------------------
// Files the form reads

TEST_F(CfgMainTest, AProfileThatCannotBeReadIsLeftOutAndLeftAlone) {
  WriteProfile("Good", [](TVQEinstellungen&) {});
  std::string text = ReadFile(IniFile()) + "[Bad]\r\nSafeReg1=abc\r\nSigFile=keep me\r\n";
  WriteFile(IniFile(), text);
  TFrmMain* form = Open();
  ASSERT_EQ(prompter_.boxes.size(), 1u);
  EXPECT_NE(prompter_.boxes[0].find("[Bad]"), std::string::npos);
  EXPECT_EQ(Find<QListWidget>(form, "l")->count(), 2);
  Click(form, "butOk");
  EXPECT_EQ(TIniFile(IniFile()).ReadString("Bad", "SigFile", ""), "keep me");
  EXPECT_EQ(TIniFile(IniFile()).ReadString("Bad", "SafeReg1", ""), "abc");
}

TEST_F(CfgMainTest, WithoutAProfileFileOnlyTheGeneralItemIsListed) {
  TFrmMain* form = Open();
  EXPECT_EQ(Find<QListWidget>(form, "l")->count(), 1);
  EXPECT_EQ(Find<QListWidget>(form, "l")->item(0)->text(), "Allgemeines");
  EXPECT_EQ(form->windowTitle(), "Tidelarn V4.2.8 konfigurieren");
  Click(form, "butOk");
  EXPECT_FALSE(std::filesystem::exists(IniFile()));
}

// The window has no default or cancel button: a stray Enter or Esc, wherever
// it lands, neither saves nor closes; the controls and the dialogs keep theirs.
TEST_F(CfgMainTest, EnterAndEscNeitherSaveNorEndTheWindow) {
  struct Case {
    const char* focus;  // nullptr: the window itself
    int key;
    bool asked;
  };
  const Case cases[] = {
      {nullptr, Qt::Key_Escape, false},
      {nullptr, Qt::Key_Return, false},
      {"txtTestExt", Qt::Key_Escape, false},
      {"txtTestExt", Qt::Key_Return, false},
      {"txtTestExt", Qt::Key_Enter, false},
      {"txtSafeReg1", Qt::Key_Return, false},
      {"l", Qt::Key_Escape, false},
      {"l", Qt::Key_Return, false},
      {"cbDefaultEncoding", Qt::Key_Escape, false},  // a list that had not opened
      {"cbDefaultEncoding", Qt::Key_Enter, false},
      {"chkBackup", Qt::Key_Return, false},
      {"memKillHeaderlines", Qt::Key_Return, false},  // a new line
      {"butNeu", Qt::Key_Return, true},               // the focused button's own
  };
  for (const Case& c : cases) {
    std::filesystem::remove(IniFile());
    WriteProfile("News", [](TVQEinstellungen&) {});
    const std::string before = ReadFile(IniFile());
    prompter_.questions.clear();
    TFrmMain* form = Open();
    form->show();
    Select(form, 1);
    EditOf(form, "txtTestExt")->setText("typed");
    QWidget* target = c.focus ? Find(form, c.focus) : form;
    target->setFocus();
    QKeyEvent press(QEvent::KeyPress, c.key,
                    c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    const std::string where = std::string(c.focus ? c.focus : "window") + ", " +
                              (c.key == Qt::Key_Escape ? "Esc" : c.key == Qt::Key_Enter ? "Enter" : "Return");
    EXPECT_TRUE(form->isVisible()) << where;
    EXPECT_EQ(ReadFile(IniFile()), before) << where;
    EXPECT_EQ(EditOf(form, "txtTestExt")->text(), "typed") << where;
    EXPECT_EQ(prompter_.questions.size(), c.asked ? 1u : 0u) << where;
  }

  // In a dialog of the window Esc still cancels and Enter confirms.
  TFrmMain* form = Open();
  form->show();
  for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
    bool shown = false;
    QTimer::singleShot(0, [&shown, key] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) {
          shown = true;
          auto* edit = d->findChild<QLineEdit*>(QStringLiteral("txtAnfang"));
          edit->setText(QStringLiteral("typed"));
          edit->setFocus();
          QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
          QApplication::sendEvent(edit, &press);
          if (d->isVisible()) d->reject();  // the key did nothing: end the test's wait
        }
    });
    Click(form, "Button3");
    ASSERT_TRUE(shown);
    const std::string value = TIniFile(Path("Footnote.ini")).ReadString("Footnotes", "FNBegin", "none");
    EXPECT_EQ(value == "typed", key == Qt::Key_Return) << key << " " << value;
  }
  EXPECT_TRUE(form->isVisible());
}

TEST_F(CfgMainTest, SelectedItemAndPageAreRememberedOnEveryClose) {
  WriteProfile("Mails", [](TVQEinstellungen&) {});
  WriteProfile("News", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  Select(form, 2);
  Find<QTabWidget>(form, "pg")->setCurrentIndex(4);
  form->close();  // the window's close box
  EXPECT_EQ(Specials("Position"), "2");
  EXPECT_EQ(Specials("Page"), "4");

  form = Open();
  EXPECT_EQ(Find<QListWidget>(form, "l")->currentRow(), 2);
  EXPECT_EQ(form->ShownIndex, 2);
  EXPECT_EQ(Find<QTabWidget>(form, "pg")->currentIndex(), 4);
  Find<QListWidget>(form, "l")->setCurrentRow(-1);
  Click(form, "butAbort");
  EXPECT_EQ(Specials("Position"), "-1");
}

TEST_F(CfgMainTest, ARememberedPageThatTheProfileHidesOpensTheFirstPage) {
  WriteProfile("News", [](TVQEinstellungen& p) { p.AutoFunctions = false; });
  WriteFile(Path("Specials.ini"), "[CfgMain]\r\nPosition=1\r\nPage=3\r\n");
  TFrmMain* form = Open();
  EXPECT_EQ(Find<QTabWidget>(form, "pg")->currentIndex(), 0);
}

TEST_F(CfgMainTest, AViewThatCannotBeRememberedIsReportedAndTheFormStillCloses) {
  WriteProfile("News", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  form->show();
  std::filesystem::create_directory(Path("Specials.ini"));
  form->close();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(prompter_.boxes.size(), 1u);
}

// ---------------------------------------------------------------------------
// Language

TEST_F(CfgMainTest, LanguageSwitchMakesANewFormInTheNewLanguage) {
  WriteFile(Path("Tidelarn.dat"),
            "[English]\r\n"
            "MainForm.caption=Ignored: the form sets its own\r\n"
            "MainForm/Caption=Configure Tidelarn V%s\r\n"
            "MainForm/General=General\r\n"
            "MainForm/Configuration XXX=Profile \"%s\"\r\n"
            "MainForm.butok.caption=&Fine\r\n"
            "MainForm.butabort.caption=Cancel\r\n"
            "MainForm.tsheader2.caption=Headers 2\r\n"
            "MainForm.butOk.caption=not found: names are lower case\r\n"
            "Runtime/NoDesktopOpener.Error=No opener for \"%s\"\r\n"
            "[Francais]\r\n");
  WriteProfile("News", [](TVQEinstellungen&) {});
  // Help without a desktop opener answers with a runtime message.
  WriteFile(Path("Tidelarn.htm"), "<html></html>");
  std::filesystem::create_directory(Path("bin"));
  const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", Path("bin").c_str(), 1);
  TFrmMain* first = Open();
  Click(first, "Button1");
  auto* lang = Find<QComboBox>(first, "cbLang");
  ASSERT_EQ(lang->count(), 3);
  EXPECT_EQ(lang->currentText(), "Deutsch");
  Select(first, 1);
  Find<QTabWidget>(first, "pg")->setCurrentIndex(3);
  EditOf(first, "txtTestExt")->setText("dropped");
  ApplyQtLanguage();
  const bool germanQt = QCoreApplication::translate("QPlatformTheme", "Cancel") == "Abbrechen";

  lang->setCurrentIndex(1);
  ASSERT_NE(FrmMain, first);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the old form goes

  TFrmMain* form = FrmMain;
  EXPECT_EQ(form->windowTitle(), "Configure Tidelarn V4.2.8");
  EXPECT_EQ(Find<QPushButton>(form, "butOk")->text(), "&Fine");
  EXPECT_EQ(Find<QPushButton>(form, "butAbort")->text(), "Cancel");
  EXPECT_EQ(Find<QTabWidget>(form, "pg")->tabText(4), "Headers 2");
  auto* l = Find<QListWidget>(form, "l");
  EXPECT_EQ(l->item(0)->text(), "General");
  EXPECT_EQ(l->item(1)->text(), "Profile \"News\"");
  EXPECT_EQ(Find<QComboBox>(form, "cbLang")->currentText(), "English");
  // The view is kept, the unsaved edit is not.
  EXPECT_EQ(l->currentRow(), 1);
  EXPECT_EQ(Find<QTabWidget>(form, "pg")->currentIndex(), 3);
  EXPECT_EQ(EditOf(form, "txtTestExt")->text(), "msg");
  EXPECT_EQ(TIniFile(Path("Specials.ini")).ReadString("General", "Language", ""), "English");
  // Qt's own buttons switch too.
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel") << germanQt;
  // So do the program's messages.
  Click(form, "Button1");
  setenv("PATH", savedPath.c_str(), 1);
  ASSERT_EQ(prompter_.boxes.size(), 2u);
  EXPECT_EQ(prompter_.boxes[0].substr(0, 25), "Es wurde kein Programm zu");
  EXPECT_EQ(prompter_.boxes[1], "No opener for \"" + Path("Tidelarn.htm") + "\"");
}

// ---------------------------------------------------------------------------
// Editor and help

class CfgMainOpenTest : public CfgMainTest {
protected:
  void SetUp() override {
    CfgMainTest::SetUp();
    // A stand-in for the desktop's opener that notes what it was given.
    std::filesystem::create_directory(Path("bin"));
    WriteFile(Path("bin/xdg-open"),
              "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + Path("opened") + "\"\n");
    std::filesystem::permissions(Path("bin/xdg-open"), std::filesystem::perms::owner_all);
    const char* path = std::getenv("PATH");
    savedPath_ = path ? path : "";
    setenv("PATH", (Path("bin") + ":" + savedPath_).c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    CfgMainTest::TearDown();
  }
  // The opener runs detached; wait for its note.
  std::string Opened(size_t lines) {
    for (int i = 0; i < 500; ++i) {
      std::string text = ReadFile(Path("opened"));
      if (SplitLines(text).size() >= lines) return text;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ReadFile(Path("opened"));
  }
  std::string savedPath_;
};

TEST_F(CfgMainOpenTest, ScriptAndSignatureOpenInTheProfilesFolder) {
  std::filesystem::create_directory(Path("files"));
  WriteProfile("News", [&](TVQEinstellungen& p) {
    p.FilePath = Path("files");  // no trailing separator
    p.HeaderDef = "my.def";
    p.SigFile = "sigs.txt";
  });
  TFrmMain* form = Open();
  Select(form, 1);
  // Each opener runs detached, so wait for its note before the next click.
  Click(form, "butHeaderDefEdit");
  EXPECT_TRUE(std::filesystem::exists(Path("files/my.def")));  // made empty
  Opened(1);
  Click(form, "butSigFileEdit");
  EXPECT_EQ(Opened(2), Path("files/my.def") + "\n" + Path("files/sigs.txt") + "\n");
  EXPECT_FALSE(std::filesystem::exists(Path("files/sigs.txt")));

  EditOf(form, "txtSigFile")->setText("");
  Click(form, "butSigFileEdit");
  EditOf(form, "txtFilePath")->setText("");
  EditOf(form, "txtSigFile")->setText(QString::fromStdString(Path("abs.txt")));
  Click(form, "butSigFileEdit");
  Opened(3);
  Click(form, "butHeaderDefEdit");  // empty File-Path: the program folder
  EXPECT_EQ(Opened(4), Path("files/my.def") + "\n" + Path("files/sigs.txt") + "\n" +
                           Path("abs.txt") + "\n" + Path("my.def") + "\n");
}

TEST_F(CfgMainOpenTest, HelpPageMissingIsSaidAndPresentIsOpened) {
  TFrmMain* form = Open();
  Click(form, "Button1");
  ASSERT_EQ(prompter_.boxes.size(), 1u);
  EXPECT_EQ(prompter_.boxes[0], "Sorry, Tidelarn.htm ist leider nicht vorhanden...");
  WriteFile(Path("Tidelarn.htm"), "<html></html>");
  Click(form, "Button1");
  EXPECT_EQ(Opened(1), Path("Tidelarn.htm") + "\n");
  EXPECT_EQ(prompter_.boxes.size(), 1u);
}

TEST_F(CfgMainOpenTest, WithoutAnOpenerHelpAndEditSaySo) {
  // A PATH that holds no xdg-open at all.
  std::filesystem::remove(Path("bin/xdg-open"));
  setenv("PATH", Path("bin").c_str(), 1);
  WriteFile(Path("Tidelarn.htm"), "<html></html>");
  WriteProfile("News", [](TVQEinstellungen&) {});
  TFrmMain* form = Open();
  Select(form, 1);
  Click(form, "Button1");
  Click(form, "butHeaderDefEdit");
  ASSERT_EQ(prompter_.boxes.size(), 2u);
  for (const std::string& file : {Path("Tidelarn.htm"), Path("Header.def")})
    EXPECT_NE(std::find_if(prompter_.boxes.begin(), prompter_.boxes.end(),
                           [&](const std::string& box) {
                             return box.find("xdg-open") != std::string::npos &&
                                    box.find("\"" + file + "\"") != std::string::npos;
                           }),
              prompter_.boxes.end())
        << file;
  EXPECT_FALSE(std::filesystem::exists(Path("opened")));
}

}  // namespace
