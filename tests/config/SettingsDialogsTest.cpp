// The dialogs of the special settings files: what they show from the file,
// what their controls change, and what OK writes and Abbruch leaves.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTimer>

#include <filesystem>

#include "CfgEdits.h"
#include "CfgMain.h"
#include "ConfigTestSupport.h"
#include "DCfgBQ.h"
#include "DCfgFN.h"
#include "DCfgOL_RF.h"
#include "DDefCharsets.h"
#include "DPGP.h"
#include "FormTexts.h"
#include "IniFile.h"
#include "SysUtils.h"
#include "uCharsets.h"
#include "uEinstellungen.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Items(const QListWidget* list) {
  std::vector<std::string> items;
  for (int i = 0; i < list->count(); ++i) items.push_back(InternalStr(list->item(i)->text()));
  return items;
}

// Shown as in its modal run, without the loop.
template <class D>
std::unique_ptr<D> Open() {
  auto d = std::make_unique<D>();
  d->Load();
  d->show();
  return d;
}

class SettingsDialogsTest : public ConfigTest {
protected:
  std::string Read(const char* file, const char* section, const char* key) const {
    return TIniFile(Path(file)).ReadString(section, key, "<missing>");
  }
};

// ---------------------------------------------------------------------------
// Box quotes

TEST_F(SettingsDialogsTest, BoxQuoteTabsAndPreviewFollowTheEdits) {
  WriteFile(Path("BoxQuotes.ini"), "[BQ#3]\r\nBQStartLine=bq3:\r\nBQType=2\r\n");
  auto d = Open<TDlgCfgBQ>();
  EXPECT_EQ(d->tc->tabText(0), "boxquote1:");
  EXPECT_EQ(d->tc->tabText(2), "bq3:");
  EXPECT_EQ(Items(d->lOrg),
            (std::vector<std::string>{"boxquote1:", "Titel", "-", "Und hier folgt dann",
                                      "der Text...", "(Titel ist optional!)", "#"}));
  // The drawn example: the framed text between an empty first and last line.
  std::vector<std::string> drawn = Items(d->lErg);
  ASSERT_EQ(drawn.size(), 5u);
  EXPECT_TRUE(StartsStr(" ,", drawn[0])) << drawn[0];
  EXPECT_NE(drawn[0].find("Titel"), std::string::npos);
  EXPECT_TRUE(StartsStr("| ", drawn[1])) << drawn[1];
  EXPECT_NE(drawn[1].find("Und hier folgt dann"), std::string::npos);
  EXPECT_TRUE(StartsStr(" `", drawn[4])) << drawn[4];
  // Type 0: widths, no right-hand pieces.
  EXPECT_TRUE(d->txtBreiteO->isVisible());
  EXPECT_FALSE(d->txtRRand->isVisible());

  d->tc->setCurrentIndex(2);
  EXPECT_EQ(d->cbTyp->currentText(), "Geschl. Kasten");
  EXPECT_TRUE(d->txtRRand->isVisible());
  EXPECT_TRUE(d->txtObREck->isVisible());
  EXPECT_FALSE(d->txtBreiteU->isVisible());
  d->txtAnf->clear();
  EXPECT_EQ(d->tc->tabText(2), "#3");
  d->cbTyp->setCurrentIndex(0);
  EXPECT_TRUE(d->labBreiteO->isVisible());
  EXPECT_FALSE(d->txtUntREck->isVisible());

  // For a file: one line of the original, no separator or end line.
  d->optDatei->setChecked(true);
  EXPECT_EQ(d->labAnf->text(), "Zeilenanfang:");
  EXPECT_FALSE(d->txtTr->isVisible());
  EXPECT_FALSE(d->labEnd->isVisible());
  d->txtAnf->setText("F:");
  EXPECT_EQ(Items(d->lOrg), std::vector<std::string>{"F:c:\\beispiel.ini"});
  EXPECT_EQ(Items(d->lErg).size(), 6u);
}

TEST_F(SettingsDialogsTest, EveryTabKeepsItsEditsUntilOkWritesThemAll) {
  auto d = Open<TDlgCfgBQ>();
  d->txtAnf->setText("eins:");
  d->txtObLEck->clear();  // the standard piece
  d->txtUntREck->clear();
  d->txtBreiteO->clear();  // width 1
  d->tc->setCurrentIndex(1);
  d->Button2Click();  // "Fett"
  EXPECT_EQ(d->txtOben->text(), "=");
  EXPECT_EQ(d->txtObREck->text(), "\\");
  d->txtTit->setText(" [@] ");
  d->tc->setCurrentIndex(0);
  EXPECT_EQ(d->txtAnf->text(), "eins:");
  EXPECT_EQ(d->txtObLEck->text(), " ,");
  d->Store();

  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#1", "BQStartLine"), "eins:");
  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#1", "BQTopLeft"), "# ,#");
  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#1", "BQWidthTop"), "1");
  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#2", "BQGraphics"), "==");
  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#2", "BQTopLeft"), "# /#");
  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#2", "BQTitle"), "# [@] #");
  // The acute accent of the standard bottom right corner, without the blank
  // of the file's default.
  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#1", "BQBottomRight"), "#\xB4#");
  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#3", "BQBottomRight"), "#\xB4 #");
  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#9", "BQStartLine"), "boxquote9:");
}

TEST_F(SettingsDialogsTest, AnInvalidStyleShowsItsLookOnlyAfterItWasSaved) {
  WriteFile(Path("BoxQuotes.ini"), "[BQ#1]\r\nBQSepLine=\r\n");
  auto d = Open<TDlgCfgBQ>();
  EXPECT_FALSE(d->gbOptik->isVisible());
  EXPECT_FALSE(d->gbPreview->isVisible());
  d->txtTr->setText("--");
  EXPECT_FALSE(d->gbOptik->isVisible());
  d->Store();
  d = Open<TDlgCfgBQ>();
  EXPECT_TRUE(d->gbOptik->isVisible());
  EXPECT_TRUE(d->gbPreview->isVisible());
}

TEST_F(SettingsDialogsTest, AWidthThatIsNoNumberIsReportedAndStopsThePreview) {
  auto d = Open<TDlgCfgBQ>();
  d->txtObLEck->setText("<<");
  d->txtBreiteO->setText("x");
  ASSERT_EQ(prompter_.boxes.size(), 1u);
  EXPECT_NE(prompter_.boxes[0].find("0x"), std::string::npos) << prompter_.boxes[0];
  d->txtAnf->setText("neu:");   // stored before the widths, so it still counts
  d->txtObLEck->setText(">>");  // after them: never stored
  d->Store();
  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#1", "BQStartLine"), "neu:");
  EXPECT_EQ(Read("BoxQuotes.ini", "BQ#1", "BQTopLeft"), "#<<#");
}

TEST_F(SettingsDialogsTest, AbbruchWritesNothing) {
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<TDlgCfgBQ*>(w); d && d->isVisible()) {
        d->txtAnf->setText("changed");
        d->butAbort->click();
      }
  });
  TDlgCfgBQ::Execute();
  EXPECT_FALSE(fs::exists(Path("BoxQuotes.ini")));
  EXPECT_EQ(BoxQuotes[0].StartLine, "boxquote1:");
}

// ---------------------------------------------------------------------------
// Footnotes

TEST_F(SettingsDialogsTest, FootnoteTitleOptionsFollowTheTitle) {
  WriteFile(Path("Footnote.ini"), "[Footnotes]\r\nFNTitle=\r\nFNUnderline=0\r\nFNPos=0\r\n");
  auto d = Open<TDlgCfgFN>();
  EXPECT_EQ(d->cbPosition->count(), 2);
  EXPECT_EQ(d->cbPosition->currentText(), "oberhalb der \"Lines\"");
  EXPECT_EQ(d->txtAnfang->text(), "(FN:");
  EXPECT_FALSE(d->chkUnterstr->isVisible());
  EXPECT_FALSE(d->chkTitelLeerzeile->isVisible());
  d->txtTitel->setText("  ");
  EXPECT_FALSE(d->txtUnterstr->isVisible());
  d->txtTitel->setText("Anmerkungen:");
  EXPECT_TRUE(d->chkUnterstr->isVisible());
  EXPECT_TRUE(d->txtUnterstr->isVisible());
  EXPECT_FALSE(d->txtUnterstr->isEnabled());
  d->chkUnterstr->setChecked(true);
  EXPECT_TRUE(d->txtUnterstr->isEnabled());
}

TEST_F(SettingsDialogsTest, FootnoteOkCorrectsWidthAndUnderlineOrFailsOnANonNumber) {
  auto d = Open<TDlgCfgFN>();
  d->txtBreite->setText("30");
  d->txtUnterstr->clear();
  d->cbPosition->setCurrentIndex(0);
  d->txtAnfang->setText("[[");
  d->Store();
  EXPECT_EQ(Read("Footnote.ini", "Footnotes", "FNWordWrapAfter"), "72");
  EXPECT_EQ(Read("Footnote.ini", "Footnotes", "FNUnderlineWith"), "=");
  EXPECT_EQ(Read("Footnote.ini", "Footnotes", "FNPos"), "0");
  EXPECT_EQ(Read("Footnote.ini", "Footnotes", "FNBegin"), "[[");

  d = Open<TDlgCfgFN>();
  EXPECT_EQ(d->txtAnfang->text(), "[[");
  d->txtBreite->setText("60");
  d->txtUnterstr->setText("-");
  d->Store();
  EXPECT_EQ(Read("Footnote.ini", "Footnotes", "FNWordWrapAfter"), "60");
  EXPECT_EQ(Read("Footnote.ini", "Footnotes", "FNUnderlineWith"), "-");

  const std::string before = ReadFile(Path("Footnote.ini"));
  d = Open<TDlgCfgFN>();
  d->txtBreite->setText("7x");
  d->txtAnfang->setText("changed");
  EXPECT_THROW(d->Store(), EConvertError);
  EXPECT_EQ(ReadFile(Path("Footnote.ini")), before);
  EXPECT_EQ(Footnotes.BeginMark, "[[");
}

// ---------------------------------------------------------------------------
// One-liner and reformat markers

TEST_F(SettingsDialogsTest, OnelinerOkNeedsAllFourMarkers) {
  auto d = Open<TDlgCfgOL_RF>();
  EXPECT_EQ(d->txtAnfangOL->text(), "OL:");
  EXPECT_EQ(d->txtEndeRF->text(), "#");
  d->txtEndeRF->clear();
  d->txtEndeOL->clear();
  d->butOk->click();
  EXPECT_EQ(d->focusWidget(), d->txtEndeOL);
  EXPECT_TRUE(d->isVisible());
  d->txtEndeOL->setText("!");
  d->butOk->click();
  EXPECT_EQ(d->focusWidget(), d->txtEndeRF);
  EXPECT_TRUE(d->isVisible());
  EXPECT_TRUE(prompter_.boxes.empty());
  d->txtEndeRF->setText("?");
  d->butOk->click();
  EXPECT_EQ(d->result(), QDialog::Accepted);
  d->Store();
  EXPECT_EQ(Read("Specials.ini", "Oneliner", "End"), "!");
  EXPECT_EQ(Read("Specials.ini", "Reformat", "End"), "?");
  EXPECT_EQ(Read("Specials.ini", "Reformat", "Begin"), "RF:");
}

// ---------------------------------------------------------------------------
// Default charsets

TEST_F(SettingsDialogsTest, CharsetsShowTheTableAndAPresetOutsideTheListBecomesTheFirst) {
  WriteFile(Path("Specials.ini"),
            "[Charsets]\r\nInternal=nonsense\r\nDefBody=not,a,preset\r\nDefHeader=\r\n");
  auto d = Open<TDlgDefCharsets>();
  const TCSInfos& charsets = GetCSInfos();
  ASSERT_EQ(d->cbCSIntern->count(), charsets.Count());
  const TCSInfo* first = charsets.Items(0);
  EXPECT_EQ(InternalStr(d->cbCSIntern->itemText(0)),
            first->MimeName + " (" + first->Description + ")");
  EXPECT_EQ(d->cbCSIntern->currentIndex(), 0);
  ASSERT_FALSE(charsets.Sets.empty());
  EXPECT_EQ(d->cbCSBody->count(), int(charsets.Sets.size()));
  EXPECT_EQ(InternalStr(d->cbCSBody->currentText()), charsets.Sets[0]);

  const int utf8 = charsets.IndexOf("utf-8");
  d->cbCSIntern->setCurrentIndex(utf8);
  d->cbCSHeader->setCurrentIndex(int(charsets.Sets.size()) - 1);
  d->Store();
  EXPECT_EQ(Read("Specials.ini", "Charsets", "Internal"), charsets.Items(utf8)->Name);
  EXPECT_EQ(Read("Specials.ini", "Charsets", "DefBody"), charsets.Sets[0]);
  EXPECT_EQ(Read("Specials.ini", "Charsets", "DefHeader"), charsets.Sets.back());

  d = Open<TDlgDefCharsets>();
  EXPECT_EQ(d->cbCSIntern->currentIndex(), utf8);
  EXPECT_EQ(d->cbCSHeader->currentIndex(), int(charsets.Sets.size()) - 1);
}

// ---------------------------------------------------------------------------
// PGP

TEST_F(SettingsDialogsTest, PgpSettingsRoundTrip) {
  auto d = Open<TDlgPGP>();
  EXPECT_EQ(d->txtH1->text(), "Subject,Date,From,Newsgroups,Followup-To");
  EXPECT_EQ(d->txtPars->text(), "-sat %1 -o %2 -u \"IDName\" -z\"Passphrase\"");
  PathEditField(d->txtExe)->setText("/usr/local/bin/pgp");
  d->txtH2->setText("Message-ID");
  d->Store();
  EXPECT_EQ(Read("Specials.ini", "PGP", "exe"), "/usr/local/bin/pgp");
  EXPECT_EQ(Read("Specials.ini", "PGP", "sigheaders2"), "Message-ID");
  EXPECT_EQ(Read("Specials.ini", "PGP", "sigpars"), "-sat %1 -o %2 -u \"IDName\" -z\"Passphrase\"");
}

// ---------------------------------------------------------------------------
// The settings form's buttons open the dialogs.

TEST_F(SettingsDialogsTest, TheSettingsFormOpensEachDialog) {
  auto* form = new TFrmMain;
  FrmMain = form;
  for (const char* button : {"Button3", "Button4", "Button5", "Button6", "butPGP"}) {
    QString shown;
    QTimer::singleShot(0, [&shown] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) {
          shown = d->objectName();
          d->reject();
        }
    });
    form->findChild<QPushButton*>(button)->click();
    EXPECT_FALSE(shown.isEmpty()) << button;
  }
  delete FrmMain;
  FrmMain = nullptr;
  EXPECT_TRUE(prompter_.boxes.empty());
}

}  // namespace
