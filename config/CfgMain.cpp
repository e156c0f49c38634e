#include "CfgMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <exception>
#include <map>

#include "CfgDialogs.h"
#include "CfgEdits.h"
#include "FormTexts.h"
#include "Process.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "QtPrompter.h"
#include "SysUtils.h"
#include "TidelarnVersion.h"
#include "TabRows.h"
#include "uCharsets.h"
#include "uEinstellungen.h"

TFrmMain* FrmMain = nullptr;

namespace {

constexpr const char* kFormName = "MainForm";
constexpr const char* kVersion = TIDELARN_VERSION;

// Pages of the page control, in their order; the remembered page counts so.
enum TPage {
  pgGrund,
  pgZeichensaetze,
  pgKodierungen,
  pgHeader1,
  pgHeader2,
  pgHeader3,
  pgBody1,
  pgBody2,
  pgSonder
};
// The pages that only matter while the automatic functions are on.
constexpr TPage kAutoPages[] = {pgKodierungen, pgHeader1, pgHeader2, pgBody1, pgBody2, pgSonder};

// ---------------------------------------------------------------------------
// Which profile field each control shows.

struct TFlagBinding {
  const char* control;
  bool TVQEinstellungen::*field;
};
const TFlagBinding kFlagBindings[] = {
    {"chkAutoFunctions", &TVQEinstellungen::AutoFunctions},
    {"chkBackup", &TVQEinstellungen::MakeBak},
    {"chkMinBodyCharset", &TVQEinstellungen::MinBodyCharset},
    {"chkConvert8Bit", &TVQEinstellungen::Convert8Bit},
    {"chkConvertQP", &TVQEinstellungen::ConvertQP},
    {"chkConvertBase64", &TVQEinstellungen::ConvertBase64},
    {"chkHTML2text", &TVQEinstellungen::HTML2Text},
    {"chkTrimRight", &TVQEinstellungen::RightTrimLines},
    {"chkDeleteEmptyLines", &TVQEinstellungen::DeleteEmptyLines},
    {"chkSaveAtt", &TVQEinstellungen::SaveAttachments},
    {"chkISO", &TVQEinstellungen::CheckMIMEHeaders},
    {"chkDelWas", &TVQEinstellungen::CheckSubjectKillWasAfterRe},
    {"chkDelMultiRes", &TVQEinstellungen::DelDoubleRe},
    {"chkReplaceSubject8Bits", &TVQEinstellungen::CheckReplaceSubject8Bits},
    {"chkCheckFromReplyFormat", &TVQEinstellungen::CheckFromReplyFormat},
    {"chkSetLines", &TVQEinstellungen::SetLines},
    {"chkRefFolding", &TVQEinstellungen::FoldingReferences},
    {"chkHamsterheaderFirst", &TVQEinstellungen::HamsterheaderFirst},
    {"chkRCPTto", &TVQEinstellungen::RecreateRCPT_To},
    {"chkRCPTtoAlways", &TVQEinstellungen::RecreateRCPT_To_Always},
    {"chkXHeader", &TVQEinstellungen::AllowXHeader},
    {"chkSonstHeader", &TVQEinstellungen::AllowAnyHeader},
    {"chkBlankLineBeforeSig", &TVQEinstellungen::BlankBeforeSig},
    {"chkQuoting", &TVQEinstellungen::CheckQuotes},
    {"chkSpaceBefText", &TVQEinstellungen::CheckQuotesAddSpaceBetweenQuoteAndText},
    {"chkSpaceBetween", &TVQEinstellungen::CheckQuotesAddSpaceBetweenDifferentQuoteChars},
    {"chkNoCheckAfterSig", &TVQEinstellungen::CheckQuotesDoNotChangeAfterSigDelimiter},
    {"chkFootnotes", &TVQEinstellungen::ConvertFootnotes},
    {"chkReformat", &TVQEinstellungen::ConvertReFormats},
    {"chkOneliner", &TVQEinstellungen::ConvertOneLiners},
    {"chkBoxQuotes", &TVQEinstellungen::ConvertBoxQuotes},
    {"chkDelKammQuoting", &TVQEinstellungen::KillOEWordWraps},
    {"chkBlankBeforeLines", &TVQEinstellungen::BlankBeforeLines},
};

// Plain edits and path edits.
struct TTextBinding {
  const char* control;
  std::string TVQEinstellungen::*field;
};
const TTextBinding kTextBindings[] = {
    {"txtMessagePath", &TVQEinstellungen::MessagePath},
    {"txtFilePath", &TVQEinstellungen::FilePath},
    {"txtHeaderDef", &TVQEinstellungen::HeaderDef},
    {"txtTestExt", &TVQEinstellungen::CheckFilesWithExtension},
    {"txtRenameTo", &TVQEinstellungen::DontChangeRenameToExtension},
    {"txtSaveHTMLAs", &TVQEinstellungen::SaveHTMLAs},
    {"txtSaveAttDir", &TVQEinstellungen::SaveAttachmentsDir},
    {"txtRes", &TVQEinstellungen::ConvertToRe},
    {"txtSortHeader", &TVQEinstellungen::SortHeader},
    {"txtSigTrenner", &TVQEinstellungen::ConvertToSigDelimiter},
    {"txtSigFile", &TVQEinstellungen::SigFile},
    {"txtZitatzeichen", &TVQEinstellungen::CheckQuotesAllowedQuoteChars},
    {"txtDoNot1", &TVQEinstellungen::CheckQuotesDoNotChangeBegin},
    {"txtDoNot2", &TVQEinstellungen::CheckQuotesDoNotChangeEnd},
    {"txtDelAtBegin", &TVQEinstellungen::DelAtBegin},
};

struct TNumberBinding {
  const char* control;
  int32_t TVQEinstellungen::*field;
};
const TNumberBinding kNumberBindings[] = {
    {"txtSafeReg1", &TVQEinstellungen::SafeReg1},
    {"txtSafeReg2", &TVQEinstellungen::SafeReg2},
    {"txtMaxRef", &TVQEinstellungen::MaxReferencesLength},
};

// ---------------------------------------------------------------------------
// Hints of the controls (German; translated like the captions).

const std::map<std::string, const char*, std::less<>> kHints = {
    {"cbLang",
     "Sprache der Oberfläche.\nBeim Umschalten werden die Konfigurationen neu geladen;\n"
     "nicht mit OK gespeicherte Änderungen gehen verloren."},
    {"l",
     "\"Allgemeines\" und die Konfigurationen (Abschnitte der Tidelarn.ini).\n"
     "Ein Klick zeigt die Einstellungen der Konfiguration."},
    {"butNeu", "Legt eine neue Konfiguration mit Standardwerten an\n(sofort in der Tidelarn.ini)."},
    {"butKopie",
     "Legt eine Kopie der angezeigten Konfiguration an.\n"
     "Kopiert werden die Werte, die sie bei ihrer Auswahl hatte."},
    {"butDel", "Löscht die angezeigte Konfiguration sofort aus der Tidelarn.ini."},
    {"butOk", "Speichert alle Konfigurationen und beendet das Programm."},
    {"butAbort", "Beendet das Programm, ohne die Einstellungen zu speichern."},
    {"Button1", "Zeigt die Hilfe (Tidelarn.htm) an."},
    {"Button2", "Richtet Tidelarn mit Hilfe eines Assistenten für den Hamster ein."},
    {"Button6",
     "Zeichensätze, die Konfigurationen ohne eigene Angabe verwenden,\n"
     "und der interne Zeichensatz."},
    {"Button4", "Rahmen der \"Box-Quotes\" festlegen."},
    {"Button3", "Aussehen der Fußnoten festlegen."},
    {"Button5", "Markierungen der One-Liner und Reformat-Blöcke festlegen."},
    {"butPGP", "PGP-Programm und Parameter für das Signieren der Header."},
    {"cbDefAction",
     "Was nach der Bearbeitung mit der Datei geschieht.\n"
     "Das Skript kann es mit \"Last Action\" ändern."},
    {"chkAutoFunctions",
     "Schaltet alle automatischen Korrekturen ein oder aus.\n"
     "Ausgeschaltet läuft nur das Skript."},
    {"txtMessagePath",
     "Verzeichnis der Postings/Mails, die bearbeitet werden,\n"
     "wenn Tidelarn mit dem Namen dieser Konfiguration gestartet wird.\n"
     "Leer: das Programmverzeichnis."},
    {"txtFilePath",
     "Verzeichnis des Skripts und der übrigen Dateien dieser Konfiguration.\n"
     "Leer: das Programmverzeichnis."},
    {"txtHeaderDef", "Skript-Datei, im File-Path.\nLeer: es läuft kein Skript."},
    {"butHeaderDefEdit",
     "Öffnet die Skript-Datei zum Bearbeiten.\n"
     "Fehlt sie, wird sie leer angelegt."},
    {"txtTestExt", "Nur Dateien mit dieser Endung werden bearbeitet (ohne Punkt)."},
    {"txtSafeReg1", "So viele Zeilen am Anfang der Datei bleiben unverändert."},
    {"txtSafeReg2", "So viele Zeilen am Ende der Datei bleiben unverändert."},
    {"txtRenameTo",
     "Zum Testen: mit einer Endung bleibt das Original unverändert,\n"
     "das Ergebnis steht in einer Kopie mit dieser Endung.\n"
     "Leer: das Original wird geändert."},
    {"chkBackup", "Sichert das Original vor dem Speichern\nin einer Datei mit der Endung \"bak\"."},
    {"chkMinBodyCharset",
     "Der Body erhält den ersten zulässigen Zeichensatz,\n"
     "der alle seine Zeichen enthält."},
    {"cbCSHeader",
     "Zeichensätze, aus denen gewählt wird.\n"
     "<Standard>: die Default-Zeichensatz-Einstellungen."},
    {"cbDefaultEncoding", "Transfer-Kodierung der Text-Teile."},
    {"chkConvert8Bit", "Text-Teile in 8-Bit erhalten die Standard-Kodierung."},
    {"chkConvertQP", "Text-Teile in quoted-printable erhalten die Standard-Kodierung."},
    {"chkConvertBase64", "Text-Teile in Base64 erhalten die Standard-Kodierung."},
    {"chkHTML2text", "Wandelt HTML-Teile in reinen Text."},
    {"txtSaveHTMLAs", "Dateiname, unter dem das HTML-Original gespeichert wird."},
    {"chkTrimRight", "Entfernt Leerzeichen am Ende jeder Zeile."},
    {"chkDeleteEmptyLines", "Entfernt leere Zeilen am Ende des Textes."},
    {"chkSaveAtt", "Speichert Attachments im Zielpfad\nund entfernt sie aus der Nachricht."},
    {"txtSaveAttDir", "Verzeichnis für die Attachments."},
    {"cbSaveAttReaction", "Was geschieht, wenn es die Datei schon gibt."},
    {"chkISO",
     "Kodiert Header mit Sonderzeichen (RFC 2047)\n"
     "im ersten zulässigen Zeichensatz, der passt."},
    {"chkDelWas", "Entfernt \"(was: ...)\" aus dem Subject von Antworten."},
    {"chkDelMultiRes", "Fasst mehrere Antwort-Kennungen zu einem \"Re: \" zusammen."},
    {"txtRes", "Komma-Liste der Anfänge, die als \"Re\" gelten."},
    {"chkReplaceSubject8Bits", "Schreibt Umlaute in einem neuen Subject um."},
    {"chkCheckFromReplyFormat", "Bringt From und Reply-To in die Form\n\"Name\" <mail@adr>."},
    {"chkSetLines", "Berechnet den Lines-Header neu."},
    {"cbSetDate", "Wann ein Date-Header erzeugt wird."},
    {"cbDateFormat", "Zeit im Date-Header: GMT oder Ortszeit mit Zeitzone."},
    {"txtMaxRef", "Höchstlänge des References-Headers."},
    {"chkRefFolding", "Verteilt lange References-Header auf mehrere Zeilen."},
    {"txtSortHeader", "Reihenfolge der Header, als Komma-Liste der Namen."},
    {"memKillHeaderlines",
     "Ein Header je Zeile (beginnend mit \"X-\"),\n"
     "der aus jeder Nachricht gelöscht wird."},
    {"txtKillMID",
     "Komma-Liste der Anfänge, die Plimsort der Message-ID voranstellt;\n"
     "sie werden wieder entfernt."},
    {"chkHamsterheaderFirst", "Stellt \"!MAIL FROM\" und \"!RCPT TO\" an den Anfang."},
    {"chkRCPTto", "Erzeugt die \"!RCPT TO\"-Liste aus To und CC neu."},
    {"chkRCPTtoAlways", "Auch in Mails ohne \"!RCPT TO\"-Zeilen."},
    {"chkXHeader", "X-Header am Anfang des Textes kommen in den Header."},
    {"chkSonstHeader", "Ebenso andere Header und @-Header am Anfang des Textes."},
    {"txtSigTrenner", "Zeilen mit diesem Text werden zum Signatur-Trenner \"-- \"."},
    {"txtSigFile", "Datei mit Signaturen, aus der eine zufällig gewählt wird."},
    {"butSigFileEdit", "Öffnet die Signatur-Datei zum Bearbeiten."},
    {"chkBlankLineBeforeSig", "Setzt eine Leerzeile vor die automatische Signatur."},
    {"chkQuoting", "Vereinheitlicht Zitatzeichen und Einrückungen."},
    {"chkSpaceBefText", "Setzt ein Leerzeichen zwischen Zitatzeichen und Text."},
    {"chkSpaceBetween", "Setzt ein Leerzeichen zwischen verschiedene Zitatzeichen."},
    {"txtZitatzeichen", "Zeichen, die als Zitatzeichen gelten."},
    {"txtDoNot1", "Ab einer Zeile, die so beginnt, wird nichts geändert\n(z.B. PGP-Blöcke)."},
    {"txtDoNot2", "Bis zu einer Zeile, die so beginnt."},
    {"chkNoCheckAfterSig", "Nach dem Signatur-Trenner wird nichts geändert."},
    {"txtDelAtBegin", "Dieser Text wird am Anfang der Zeilen gelöscht."},
    {"chkFootnotes", "Wandelt markierte Fußnoten um."},
    {"chkReformat", "Bricht markierte Absätze neu um."},
    {"chkOneliner", "Wandelt markierte One-Liner um."},
    {"chkBoxQuotes", "Zeichnet markierte Zitate und Dateien in einen Rahmen."},
    {"chkDelKammQuoting", "Repariert von Outlook Express zerrissene Zitatzeilen."},
    {"chkBlankBeforeLines", "Setzt eine Leerzeile vor den \"Lines\"-Einschub."},
};

void ApplyHint(QWidget* widget) {
  auto it = kHints.find(widget->objectName().toStdString());
  if (it != kHints.end()) SetHint(widget, QUtf8(it->second));
}

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  ApplyHint(widget);
  return widget;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
  return Named(new QPushButton(QUtf8(caption), parent), name);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
  auto* label = Named(new QLabel(QUtf8(caption), parent), name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// A list as the text of a memo, one entry a line.
std::string JoinEntries(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  return text;
}

// Without a desktop opener nothing can show the file: the user is told which
// program is missing, and that counts as handled, so no caller goes on to claim
// the file is missing. False only when the opener failed to start.
bool OpenDetached(const std::string& path) {
  std::string opener = FindProgram("xdg-open");
  if (opener.empty()) {
    ShowInfoBox(TranslateFmt("NoDesktopOpener.Error",
                             "Es wurde kein Programm zum Öffnen von Dateien gefunden (xdg-open), "
                             "\"%s\" kann daher nicht geöffnet werden.",
                             {path}));
    return true;
  }
  return SpawnDetached(opener, {path});
}

std::string FormatOrMark(const std::string& text, const std::vector<FmtArg>& args) {
  try {
    return Format(text, args);
  } catch (const EConvertError&) {
    return "#FmtE# " + text;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Layout of one settings page: labels on the left, controls on the right.

class TFrmMain::TBuilder {
public:
  explicit TBuilder(QWidget* page) : page_(page), grid_(new QGridLayout(page)) {
    grid_->setColumnStretch(1, 1);
  }

  QLabel* Heading(const char* name, const char* caption, bool underline = false) {
    QLabel* label = MakeLabel(page_, name, caption);
    QFont font = label->font();
    font.setBold(!underline);
    font.setUnderline(underline);
    label->setFont(font);
    if (row_ > 0) grid_->setRowMinimumHeight(row_++, 6);
    grid_->addWidget(label, row_++, 0, 1, 2);
    return label;
  }

  QCheckBox* Check(const char* name, const char* caption, int indent = 0) {
    auto* box = Named(new QCheckBox(QUtf8(caption), page_), name);
    if (indent == 0) {
      grid_->addWidget(box, row_++, 0, 1, 2);
      return box;
    }
    auto* holder = new QWidget(page_);
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(indent * 20, 0, 0, 0);
    row->addWidget(box);
    grid_->addWidget(holder, row_++, 0, 1, 2);
    return box;
  }

  // A labelled control; Below puts it under a long label.
  template <class W>
  W* Labelled(const char* labelName, const char* caption, W* control, bool below = false) {
    QLabel* label = MakeLabel(page_, labelName, caption);
    label->setBuddy(control);
    if (below) {
      grid_->addWidget(label, row_++, 0, 1, 2);
      grid_->addWidget(control, row_++, 0, 1, 2);
    } else {
      grid_->addWidget(label, row_, 0);
      grid_->addWidget(control, row_++, 1);
    }
    return control;
  }

  QLineEdit* Edit(const char* labelName, const char* caption, const char* name,
                  bool below = false) {
    return Labelled(labelName, caption, Named(new QLineEdit(page_), name), below);
  }

  QLineEdit* Path(const char* labelName, const char* caption, const char* name, TPathKind kind) {
    QWidget* edit = MakePathEdit(page_, name, kind);
    ApplyHint(edit);
    Labelled(labelName, caption, edit);
    return PathEditField(edit);
  }

  QComboBox* Combo(const char* labelName, const char* caption, const char* name,
                   bool below = false) {
    auto* combo = Named(new QComboBox(page_), name);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* box = new QWidget(page_);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(combo);
    row->addStretch(1);
    Labelled(labelName, caption, box, below);
    return combo;
  }

  // A row of its own layout, spanning both columns.
  QHBoxLayout* Row() {
    auto* box = new QWidget(page_);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    grid_->addWidget(box, row_++, 0, 1, 2);
    return row;
  }

  template <class W>
  W* Span(W* widget, int stretch = 0) {
    grid_->addWidget(widget, row_, 0, 1, 2);
    grid_->setRowStretch(row_++, stretch);
    return widget;
  }

  void Finish() { grid_->setRowStretch(row_, 1); }

  QWidget* Page() const { return page_; }

private:
  QWidget* page_;
  QGridLayout* grid_;
  int row_ = 0;
};

// ---------------------------------------------------------------------------

TFrmMain::TFrmMain(QWidget* parent) : QWidget(parent) {
  CreateControls();
  ConnectHandlers();
  FormCreate();
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

TFrmMain::~TFrmMain() = default;

void TFrmMain::CreateControls() {
  setObjectName(QString::fromLatin1(kFormName));
  setAttribute(Qt::WA_DeleteOnClose, false);

  auto* outer = new QVBoxLayout(this);
  auto* panel = new QHBoxLayout;
  outer->addLayout(panel, 1);

  // Left: language, profile list, new/copy/delete, note.
  auto* leftBox = new QWidget(this);
  leftBox->setFixedWidth(210);
  auto* left = new QVBoxLayout(leftBox);
  left->setContentsMargins(0, 0, 0, 0);
  panel->addWidget(leftBox);
  auto* langRow = new QHBoxLayout;
  langRow->addWidget(MakeLabel(this, "labLang", "Sprache:"));
  cbLang = Named(new QComboBox(this), "cbLang");
  cbLang->setEnabled(false);
  langRow->addWidget(cbLang, 1);
  left->addLayout(langRow);
  l = Named(new QListWidget(this), "l");
  l->setSelectionMode(QAbstractItemView::SingleSelection);
  left->addWidget(l, 1);
  auto* buttons = new QHBoxLayout;
  butNeu = MakeButton(this, "butNeu", "Neu");
  butKopie = MakeButton(this, "butKopie", "Kopie");
  butDel = MakeButton(this, "butDel", "Löschen");
  butDel->setEnabled(false);
  for (QPushButton* b : {butNeu, butKopie, butDel}) {
    b->setMinimumWidth(0);
    buttons->addWidget(b);
  }
  left->addLayout(buttons);
  QLabel* note = MakeLabel(this, "Label7",
                           "(Hinweis: Jede Einstellung hat einen Hint mit einer kurzen Erklärung)");
  note->setWordWrap(true);
  left->addWidget(note);

  // Right: the pages, the general buttons, or nothing.
  area_ = new QStackedWidget(this);
  panel->addWidget(area_, 1);
  empty_ = new QWidget(area_);
  area_->addWidget(empty_);

  pages_ = new QWidget(area_);
  auto* pagesLayout = new QVBoxLayout(pages_);
  pagesLayout->setContentsMargins(0, 0, 0, 0);
  pagesLayout->setSpacing(0);
  pg = Named(new QTabWidget(pages_), "pg");
  tabRows_ = new TTabRows(pg, pages_);
  pagesLayout->addWidget(tabRows_);
  pagesLayout->addWidget(pg, 1);
  area_->addWidget(pages_);
  auto addPage = [this](const char* name, const char* caption) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    pg->addTab(page, QUtf8(caption));
    return TBuilder(page);
  };

  {
    TBuilder b = addPage("tsGrundeinstellungen", "Grundeinstellungen");
    cbDefAction = b.Combo("labDefAction", "Standard-Aktion:", "cbDefAction");
    cbDefAction->setEnabled(false);
    chkAutoFunctions = b.Check("chkAutoFunctions", "Automatische Funktionen anwenden");
    b.Path("labMessagePath", "Message-Path:", "txtMessagePath", TPathKind::Directory);
    txtFilePath = b.Path("labFilePath", "File-Path:", "txtFilePath", TPathKind::Directory);
    QHBoxLayout* headerRow = nullptr;
    {
      auto* box = new QWidget(b.Page());
      headerRow = new QHBoxLayout(box);
      headerRow->setContentsMargins(0, 0, 0, 0);
      txtHeaderDef = Named(new QLineEdit(box), "txtHeaderDef");
      headerRow->addWidget(txtHeaderDef, 1);
      headerRow->addWidget(MakeButton(box, "butHeaderDefEdit", "Edit"));
      b.Labelled("labHeaderDef", "Header.def:", box);
    }
    b.Edit("labTestExt", "Dateiendung der Posting/Maildateien:", "txtTestExt");
    QHBoxLayout* safe = b.Row();
    auto* safe1 = Named(new QLineEdit(b.Page()), "txtSafeReg1");
    auto* safe2 = Named(new QLineEdit(b.Page()), "txtSafeReg2");
    for (QLineEdit* e : {safe1, safe2}) e->setFixedWidth(50);
    safe->addWidget(MakeLabel(b.Page(), "labSafeReg1", "Die ersten"));
    safe->addWidget(safe1);
    safe->addWidget(MakeLabel(b.Page(), "labSafeReg2", "und letzten"));
    safe->addWidget(safe2);
    safe->addWidget(MakeLabel(b.Page(), "labSafeReg3", "Zeilen ignorieren."));
    safe->addStretch(1);
    b.Heading("labTesten", "Einstellungen zum Testen der Funktionalität:", true);
    b.Edit("labRenameTo", "Änderungen in Kopien mit folgender Endung speichern:", "txtRenameTo",
           true);
    b.Check("chkBackup", " Backups (Endung \"bak\") erstellen");
    b.Finish();
  }
  {
    TBuilder b = addPage("tsZeichensaetze", "Zeichensätze");
    chkMinBodyCharset = b.Check("chkMinBodyCharset", "Automatisch minimalen Zeichensatz verwenden");
    cbCSHeader =
        b.Combo("labCSHeader", "Zulässige Zeichensätze für Header-Kodierung:", "cbCSHeader", true);
    cbCSBody = b.Combo("labCSBody", "Zulässige Zeichensätze für Body-Kodierung:", "cbCSBody", true);
    b.Finish();
  }
  {
    TBuilder b = addPage("tsKodierungen", "Kodierungen");
    cbDefaultEncoding =
        b.Combo("labDefaultEncoding", "Standard-Text-Kodierung:", "cbDefaultEncoding");
    cbDefaultEncoding->addItems({QStringLiteral("8-Bit"), QStringLiteral("quoted-printable"),
                                 QStringLiteral("Base64"), QStringLiteral("7-Bit")});
    chkConvert8Bit = b.Check("chkConvert8Bit", "8-Bit in Standard-Kodierung konvertieren");
    chkConvertQP = b.Check("chkConvertQP", "quoted-printable in Standard-Kodierung konvertieren");
    chkConvertBase64 = b.Check("chkConvertBase64", "Base64 in Standard-Kodierung konvertieren");
    b.Heading("labSonderfunktionen", "Sonderfunktionen:");
    b.Check("chkHTML2text", "HTML nach Text konvertieren");
    b.Edit("labSaveHTMLAs", "Original speichern unter:", "txtSaveHTMLAs");
    b.Check("chkTrimRight", "Überflüssige Leerzeichen an Zeilenenden löschen");
    b.Check("chkDeleteEmptyLines", "Leerzeilen am Posting/Mail-Ende löschen");
    b.Check("chkSaveAtt", "Attachments extrahieren (incl. Löschen)");
    b.Path("labSaveAttDir", "Zielpfad:", "txtSaveAttDir", TPathKind::Directory);
    cbSaveAttReaction =
        b.Combo("labSaveAttReaction", "Falls Dateiname existent:", "cbSaveAttReaction");
    b.Finish();
  }
  {
    TBuilder b = addPage("tsHeader1", "Header I");
    b.Heading("labAllHeaders", "Bzgl. aller Header-Zeilen:");
    b.Check("chkISO", "(Optimierte) ISO-Kodierung der Headerzeilen");
    b.Heading("labSubject", "Subject-Header:");
    b.Check("chkDelWas", "\"Re: Hallo (was: Huhu)\" => \"Re: Hallo\"");
    b.Check("chkDelMultiRes", "\"Re: AW: Re: Hallo\" => \"Re: Hallo\"");
    b.Edit("labRes", "Dabei folgende Anfänge zu \"Re\" konvertieren:", "txtRes", true);
    b.Check("chkReplaceSubject8Bits", "Umlaute in neuem Subject umschreiben");
    b.Heading("labFromReply", "From + Reply-To - Header:");
    b.Check("chkCheckFromReplyFormat", "mail@adr (Name) => \"Name\" <mail@adr>");
    b.Heading("labLines", "Lines-Header:");
    b.Check("chkSetLines", "Neu berechnen und automatisch setzen");
    b.Finish();
  }
  {
    TBuilder b = addPage("tsHeader2", "Header II");
    b.Heading("labDate", "Date-Header:");
    cbSetDate = b.Combo("labSetDate", "Automatisch erstellen:", "cbSetDate");
    cbDateFormat = b.Combo("labDateFormat", "Gewünschtes Format:", "cbDateFormat");
    b.Heading("labReferences", "References-Header:");
    QLineEdit* maxRef = b.Edit("labMaxRef", "Maximallänge:", "txtMaxRef");
    maxRef->setMaximumWidth(80);
    b.Check("chkRefFolding", "\"Folding\" aktivieren");
    b.Edit("labSortHeader", "Header-Reihenfolge: (Komma-Liste)", "txtSortHeader", true);
    b.Span(MakeLabel(b.Page(), "labKillHeaderlines", "X-Headerzeilen setzen/löschen:"));
    memKillHeaderlines = Named(new QPlainTextEdit(b.Page()), "memKillHeaderlines");
    memKillHeaderlines->setLineWrapMode(QPlainTextEdit::NoWrap);
    b.Span(memKillHeaderlines, 1);
  }
  {
    TBuilder b = addPage("tsHeader3", "Header III");
    b.Heading("labSpecialPrograms", "Einstellungen für spezielle Programme:");
    b.Heading("labPlimsort", "Plimsort:");
    txtKillMID =
        b.Edit("labKillMID", "Message-IDs um hinzugesetzte Anfänge kürzen:", "txtKillMID", true);
    b.Heading("labHamster", "Hamster-Mails:");
    b.Check("chkHamsterheaderFirst", "\"!MAIL FROM\" und \"!RCPT TO\"-Header zuerst");
    b.Check("chkRCPTto", "\"!RCPT TO\"-Liste neu generieren (To, CC)");
    b.Check("chkRCPTtoAlways", " Auch, wenn noch keiner vorhanden", 1);
    b.Finish();
  }
  {
    TBuilder b = addPage("tsBody1", "Body I");
    b.Heading("labBodyHeader", "\"Body-Header\":");
    b.Check("chkXHeader", "Manuelle X-Header erlauben");
    b.Check("chkSonstHeader", "Manuelle sonstige/@-Header erlauben");
    b.Heading("labSignatur", "Signatur:");
    b.Edit("labSigTrenner", "In Signatur-Trenner wandeln (für OE):", "txtSigTrenner");
    {
      auto* box = new QWidget(b.Page());
      auto* row = new QHBoxLayout(box);
      row->setContentsMargins(0, 0, 0, 0);
      QWidget* sig = MakePathEdit(box, "txtSigFile", TPathKind::FileName);
      ApplyHint(sig);
      txtSigFile = PathEditField(sig);
      row->addWidget(sig, 1);
      QPushButton* edit = MakeButton(box, "butSigFileEdit", "...");
      edit->setMaximumWidth(40);
      row->addWidget(edit);
      b.Labelled("labSigFile", "Random-Sig-Datei:", box);
    }
    b.Check("chkBlankLineBeforeSig", "Leerzeile vor automatischer Signatur");
    b.Finish();
  }
  {
    TBuilder b = addPage("tsBody2", "Body II");
    b.Heading("labEinrueckungen", "Einrückungen:");
    b.Check("chkQuoting", "Einrückungen optimieren");
    b.Check("chkSpaceBefText", "Leerzeichen zwischen Zitatzeichen und Text");
    b.Check("chkSpaceBetween", "Leerzeichen zw. verschiedenen Zitatzeichen");
    b.Edit("labZitatzeichen", "Erlaubte Zitatzeichen:", "txtZitatzeichen");
    b.Edit("labDoNot1", "Keine Änderungen zwischen:", "txtDoNot1");
    b.Edit("labDoNot2", "und", "txtDoNot2");
    b.Span(
        MakeLabel(b.Page(), "labWildcard", "(ein \"*\" am Anfang oder Ende dient als Wildcard)"));
    b.Check("chkNoCheckAfterSig", "Keine Änderungen nach Signatur-Trenner");
    b.Finish();
  }
  {
    TBuilder b = addPage("tsSonderfunktionen", "Sonderfunktionen");
    b.Edit("labDelAtBegin", "Lösche am Zeilenanfang:", "txtDelAtBegin");
    b.Check("chkFootnotes", "Fußnoten-Automatik");
    b.Check("chkReformat", "manuellen \"Reformat\" ausführen");
    b.Check("chkOneliner", "manuelle \"Oneliner\" ausführen");
    b.Check("chkBoxQuotes", "\"Box-Quotes\" erzeugen");
    b.Check("chkDelKammQuoting", "OE-Kamm-Quoting-Reparatur");
    b.Check("chkBlankBeforeLines", "Leerzeile vor \"Lines\"-Einschub");
    b.Finish();
  }

  frAllgemein = Named(new QWidget(area_), "frAllgemein");
  area_->addWidget(frAllgemein);
  {
    auto* column = new QVBoxLayout(frAllgemein);
    column->setContentsMargins(24, 12, 24, 12);
    const std::pair<const char*, const char*> general[] = {
        {"Button1", "HTML-&Hilfe"},
        {"Button2", "Assistent ..."},
        {"Button6", "Default-Zeichensatz-Einstellungen ..."},
        {"Button4", "\"Box-Quotes\" konfigurieren ..."},
        {"Button3", "Fußnoten-Automatik konfigurieren ..."},
        {"Button5", "One-Liner && Reformat konfigurieren ..."},
        {"butPGP", "PGP konfigurieren (für's Signieren) ..."},
    };
    for (const auto& [name, caption] : general)
      column->addWidget(MakeButton(frAllgemein, name, caption));
    column->addStretch(1);
  }

  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  butOk = MakeButton(this, "butOk", "&OK");
  butAbort = MakeButton(this, "butAbort", "Abbruch");
  bottom->addWidget(butOk);
  bottom->addWidget(butAbort);
  outer->addLayout(bottom);

  area_->setCurrentWidget(empty_);
  setFixedSize(sizeHint().expandedTo(QSize(546, 401)));
}

template <class F>
void TFrmMain::Guarded(F&& handler) {
  try {
    handler();
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    Prompter().MessageBox(e.what(), "", mb::Ok | mb::IconStop);
  }
}

void TFrmMain::ConnectHandlers() {
  auto onClick = [this](const char* name, void (TFrmMain::*handler)()) {
    auto* button = findChild<QPushButton*>(QString::fromLatin1(name));
    connect(button, &QPushButton::clicked, this,
            [this, handler] { Guarded([&] { (this->*handler)(); }); });
  };
  connect(l, &QListWidget::currentRowChanged, this, [this] { Guarded([this] { lClick(); }); });
  // A click on the selected item shows its stored values again.
  connect(l, &QListWidget::itemClicked, this, [this] { Guarded([this] { lClick(); }); });
  connect(butNeu, &QPushButton::clicked, this,
          [this] { Guarded([this] { butNeuClick(butNeu); }); });
  connect(butKopie, &QPushButton::clicked, this,
          [this] { Guarded([this] { butNeuClick(butKopie); }); });
  onClick("butDel", &TFrmMain::butDelClick);
  onClick("butOk", &TFrmMain::butOkClick);
  onClick("butAbort", &TFrmMain::butAbortClick);
  onClick("butHeaderDefEdit", &TFrmMain::butHeaderDefEditClick);
  onClick("butSigFileEdit", &TFrmMain::butSigFileEditClick);
  onClick("Button1", &TFrmMain::Button1Click);
  onClick("Button2", &TFrmMain::Button2Click);
  auto onDialog = [this](const char* name, void (*execute)(QWidget*)) {
    auto* button = findChild<QPushButton*>(QString::fromLatin1(name));
    connect(button, &QPushButton::clicked, this,
            [this, execute] { Guarded([&] { execute(this); }); });
  };
  onDialog("Button3", ExecuteCfgFN);
  onDialog("Button4", ExecuteCfgBQ);
  onDialog("Button5", ExecuteCfgOL_RF);
  onDialog("Button6", ExecuteDefCharsets);
  onDialog("butPGP", ExecutePGP);
  connect(cbLang, &QComboBox::currentIndexChanged, this,
          [this] { Guarded([this] { cbLangClick(); }); });
  connect(chkAutoFunctions, &QCheckBox::toggled, this, [this] { chkAutoFunctionsClick(); });
  connect(cbDefaultEncoding, &QComboBox::currentIndexChanged, this,
          [this] { cbDefaultEncodingChange(); });
}

std::string TFrmMain::FormText(std::string_view id, std::string_view germanDefault) const {
  return LookupTranslation(TranslationLines, id, germanDefault);
}

QString TFrmMain::FormQText(std::string_view id, std::string_view germanDefault) const {
  return QStr(FormText(id, germanDefault));
}

// ---------------------------------------------------------------------------
// Creation

void TFrmMain::FormCreate() {
  int current = ListLanguages(languages_);
  for (const std::string& name : languages_) cbLang->addItem(QStr(name));
  cbLang->setCurrentIndex(current);
  cbLang->setEnabled(true);

  TranslateForm(this, kFormName, TranslationLines);
  tabRows_->Sync();
  setWindowTitle(QStr(
      FormatOrMark(FormText("Caption", "Tidelarn V%s konfigurieren"), {std::string(kVersion)})));

  cbDefAction->addItem(FormQText("EndAction.SaveChanges", "Speichern, wenn geändert"), 0);
  cbDefAction->addItem(FormQText("EndAction.SaveAndSign", "Speichern und Header signieren"), 3);
  cbCSBody->setToolTip(cbCSHeader->toolTip());
  FillLineCombo(cbSetDate, "SetDateWhen", "Niemals^mNur, wenn fehlend^mImmer");
  FillLineCombo(cbDateFormat, "SetDateFormat", "GMT - ohne Zeitzone^mLocal - mit Zeitzone");

  LoadProfiles();

  FillProfileList();
  FillCharsetCombo(cbCSHeader);
  FillCharsetCombo(cbCSBody);
  cbSaveAttReaction->addItem(FormQText("SaveAttReaction.NotSave", "Nicht speichern"));
  cbSaveAttReaction->addItem(FormQText("SaveAttReaction.Overwrite", "Überschreiben"));
  cbSaveAttReaction->addItem(FormQText("SaveAttReaction.Rename", "Umbenennen"));

  int position = 0, page = 0;
  try {
    TIniFileUTF8 specials("Specials.ini");
    position = specials.ReadInteger("CfgMain", "Position", 0);
    page = specials.ReadInteger("CfgMain", "Page", 0);
  } catch (const std::exception&) {
    position = 0;
  }
  SelectListItem(position < l->count() ? position : -1);
  lClick();
  // A page that the shown profile hides would show without its tab.
  pg->setCurrentIndex(page >= 0 && page < pg->count() && pg->isTabVisible(page) ? page : 0);
}

// Every section of the profile file becomes a profile. A section that cannot
// be read (a number key holding letters, say) is left out and left alone, so
// that the other profiles can still be edited.
void TFrmMain::LoadProfiles() {
  ProfileFileName = SettingsDir() + "Tidelarn.ini";
  if (!FileExists(SettingsFile(ProfileFileName))) return;
  std::vector<std::string> sections = TIniFile(ProfileFileName).ReadSections();
  std::string failures;
  for (std::string& name : sections) {
    auto settings = std::make_unique<TVQEinstellungen>();
    settings->IniFileName = ProfileFileName;
    settings->Section = name;
    try {
      settings->Load(true);
    } catch (const std::exception& e) {
      failures += "\r\n[" + name + "] " + e.what();
      continue;
    }
    Profiles.Add(std::move(name), std::move(settings));
  }
  if (!failures.empty())
    Prompter().MessageBox(FormText("LoadConfiguration.Error",
                                   "Diese Konfigurationen konnten nicht gelesen werden und "
                                   "werden nicht angezeigt:") +
                              failures,
                          "", mb::Ok | mb::IconExclamation);
}

void TFrmMain::FillProfileList() {
  QSignalBlocker block(l);
  l->clear();
  l->addItem(FormQText("General", "Allgemeines"));
  std::string format = FormText("Configuration XXX", "Konfiguration \"%s\"");
  for (int i = 0; i < Profiles.Count(); ++i)
    l->addItem(QStr(FormatOrMark(format, {Profiles.Name(i)})));
  l->setCurrentRow(-1);
}

void TFrmMain::FillCharsetCombo(QComboBox* combo) {
  combo->addItem(QStr("<" + FormText("Default", "Standard") + ">"), QByteArray());
  const TCSInfos& charsets = GetCSInfos();
  for (int i = 0; i < charsets.Count(); ++i) {
    const std::string& name = charsets.Items(i)->Name;
    combo->addItem(QStr(name), QByteArray(name.data(), qsizetype(name.size())));
  }
}

void TFrmMain::FillLineCombo(QComboBox* combo, std::string_view id,
                             std::string_view germanDefault) {
  for (const std::string& line : SplitLines(FormText(id, germanDefault)))
    combo->addItem(QStr(line));
}

void TFrmMain::SelectListItem(int index) {
  QSignalBlocker block(l);
  l->setCurrentRow(index);
}

// ---------------------------------------------------------------------------
// Controls and profile objects

namespace {

constexpr int kExtraRole = Qt::UserRole + 1;

// Entry 0 stands for the empty value. A value that the list does not offer
// (a list of several charsets written by hand, say) is shown as an extra last
// entry, so that it goes back unchanged unless another entry is chosen.
void ShowCharsetChoice(QComboBox* combo, const std::string& value) {
  int last = combo->count() - 1;
  if (last > 0 && combo->itemData(last, kExtraRole).toBool()) combo->removeItem(last);
  int found = 0;
  for (int i = 1; i < combo->count(); ++i)
    if (SameText(combo->itemData(i).toByteArray().toStdString(), value)) {
      found = i;
      break;
    }
  if (found == 0 && !value.empty()) {
    combo->addItem(QStr(value), QByteArray(value.data(), qsizetype(value.size())));
    found = combo->count() - 1;
    combo->setItemData(found, true, kExtraRole);
  }
  combo->setCurrentIndex(found);
}

std::string StoredCharsetChoice(const QComboBox* combo) {
  int i = combo->currentIndex();
  if (i <= 0) return {};
  QByteArray bytes = combo->itemData(i).toByteArray();
  return std::string(bytes.constData(), size_t(bytes.size()));
}

// An index that the list does not have shows no entry and keeps the value.
void ShowIndex(QComboBox* combo, int value) {
  combo->setCurrentIndex(value >= 0 && value < combo->count() ? value : -1);
}

template <class T>
void StoreIndex(const QComboBox* combo, T& value) {
  if (combo->currentIndex() >= 0) value = T(combo->currentIndex());
}

}  // namespace

void TFrmMain::ShowProfile(int index) {
  if (index <= 0 || index > Profiles.Count()) return;
  const TVQEinstellungen& p = Profiles.Object(index - 1);
  for (const auto& b : kFlagBindings)
    findChild<QCheckBox*>(QString::fromLatin1(b.control))->setChecked(p.*b.field);
  for (const auto& b : kTextBindings) {
    auto* edit = findChild<QLineEdit*>(QString::fromLatin1(b.control));
    if (!edit) edit = PathEditField(findChild<QWidget*>(QString::fromLatin1(b.control)));
    ShowInternalText(edit, p.*b.field);
  }
  for (const auto& b : kNumberBindings)
    ShowInternalText(findChild<QLineEdit*>(QString::fromLatin1(b.control)), IntToStr(p.*b.field));

  cbDefAction->setCurrentIndex(cbDefAction->findData(int(p.EndAction)));
  ShowCharsetChoice(cbCSHeader, p.HeaderCharsets);
  ShowCharsetChoice(cbCSBody, p.BodyCharsets);
  ShowIndex(cbDefaultEncoding, p.DefaultEncoding);
  ShowIndex(cbSaveAttReaction, p.ActionIfAttExists);
  ShowIndex(cbSetDate, p.SetDateHeader);
  cbDateFormat->setCurrentIndex(p.GMT ? 0 : 1);
  ShowInternalText(txtKillMID, JoinWithComma(p.KillMessageIDBegins));
  ShowInternalText(memKillHeaderlines, JoinEntries(p.DelXHeader));

  chkAutoFunctionsClick();
  cbDefaultEncodingChange();
}

void TFrmMain::StoreProfile(int index) {
  if (index <= 0 || index > Profiles.Count()) return;
  TVQEinstellungen& p = Profiles.Object(index - 1);
  for (const auto& b : kFlagBindings)
    p.*b.field = findChild<QCheckBox*>(QString::fromLatin1(b.control))->isChecked();
  for (const auto& b : kTextBindings) {
    auto* edit = findChild<QLineEdit*>(QString::fromLatin1(b.control));
    if (!edit) edit = PathEditField(findChild<QWidget*>(QString::fromLatin1(b.control)));
    p.*b.field = TakeInternalText(edit);
  }
  for (const auto& b : kNumberBindings)
    p.*b.field =
        StrToIntDef(TakeInternalText(findChild<QLineEdit*>(QString::fromLatin1(b.control))), 0);

  if (cbDefAction->currentIndex() >= 0) p.EndAction = uint8_t(cbDefAction->currentData().toInt());
  p.HeaderCharsets = StoredCharsetChoice(cbCSHeader);
  p.BodyCharsets = StoredCharsetChoice(cbCSBody);
  StoreIndex(cbDefaultEncoding, p.DefaultEncoding);
  StoreIndex(cbSaveAttReaction, p.ActionIfAttExists);
  StoreIndex(cbSetDate, p.SetDateHeader);
  if (cbDateFormat->currentIndex() >= 0) p.GMT = cbDateFormat->currentIndex() == 0;
  SplitToStrings(TakeInternalText(txtKillMID), p.KillMessageIDBegins, ',', true);
  p.DelXHeader = SplitLines(TakeInternalText(memKillHeaderlines));
}

void TFrmMain::ReleaseProfiles() {
  if (released_) return;
  released_ = true;
  int position = l->currentRow();
  int page = pg->currentIndex();
  Profiles.Clear();
  TranslationLines.clear();
  TIniFileUTF8 specials("Specials.ini");
  specials.WriteInteger("CfgMain", "Position", position);
  specials.WriteInteger("CfgMain", "Page", page);
  specials.UpdateFile();
}

// ---------------------------------------------------------------------------
// Handlers

void TFrmMain::closeEvent(QCloseEvent* event) {
  if (!closeHandlerRemoved_) FormClose();
  event->accept();
}

// Enter and Esc act as OK and Abbruch, as in the form's dialogs. Controls
// that use the keys themselves (the memo's new line, an open drop-down list)
// never pass them on; a focused button takes Enter for itself.
void TFrmMain::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (event->modifiers() & ~Qt::KeypadModifier) return QWidget::keyPressEvent(event);
  if (key == Qt::Key_Escape) {
    butAbort->click();
  } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    auto* focused = qobject_cast<QPushButton*>(focusWidget());
    (focused && focused->isEnabled() ? focused : butOk)->click();
  } else {
    return QWidget::keyPressEvent(event);
  }
  event->accept();
}

void TFrmMain::FormClose() {
  // A failed write is shown before the program ends: quitting ends every
  // event loop, a message box's too.
  Guarded([this] { ReleaseProfiles(); });
  QCoreApplication::quit();
}

void TFrmMain::lClick() {
  int i = l->currentRow();
  area_->setCurrentWidget(i == 0 ? frAllgemein : i > 0 ? pages_ : empty_);
  if (i != ShownIndex) {
    if (ShownIndex > 0) StoreProfile(ShownIndex);
    ShownIndex = i;
  }
  if (i > 0) ShowProfile(i);
  butDel->setEnabled(i > 0);
  butKopie->setEnabled(i > 0);
}

void TFrmMain::butNeuClick(QObject* sender) {
  std::string name;
  if (!Prompter().InputBox(FormText("NewConfiguration.Title", "Neuen Abschnitt erzeugen"),
                           FormText("NewConfiguration.Ask", "Wie soll der Abschnitt heißen?"),
                           name))
    return;
  if (Profiles.IndexOf(name) >= 0) return;

  const TVQEinstellungen* shown = ShownIndex > 0 ? &Profiles.Object(ShownIndex - 1) : nullptr;
  auto settings = std::make_unique<TVQEinstellungen>();
  settings->IniFileName = ProfileFileName;
  settings->Section = name;
  // The new section is complete on disk before the list holds it: a name the
  // profile file cannot take is refused here and leaves the list as it was.
  if (sender == butKopie && shown) {
    TVQEinstellungen& source = Profiles.Object(ShownIndex - 1);
    struct TRestore {
      TVQEinstellungen& s;
      std::string section, file;
      ~TRestore() {
        s.Section = section;
        s.IniFileName = file;
      }
    } restore{source, source.Section, source.IniFileName};
    source.Section = name;
    source.IniFileName = ProfileFileName;
    source.WriteSettings();
  }
  settings->Load(true);
  settings->WriteSettings();
  Profiles.Add(std::move(name), std::move(settings));
  // The controls keep naming the profile they show.
  if (shown) ShownIndex = Profiles.IndexOfObject(shown) + 1;
  FillProfileList();
}

void TFrmMain::butDelClick() {
  if (ShownIndex <= 0 || ShownIndex > Profiles.Count()) return;
  if (Prompter().MessageBox(FormText("DeleteConfiguration.Ask",
                                     "Soll der aktuelle Abschnitt wirklich gelöscht werden?"),
                            FormText("DeleteConfiguration.Title", "Abschnitt löschen"),
                            mb::YesNo | mb::IconExclamation) != id::Yes)
    return;
  int at = ShownIndex - 1;
  TIniFileUTF8 ini(ProfileFileName);
  ini.EraseSection(Profiles.Name(at));
  ini.UpdateFile();
  Profiles.Delete(at);
  ShownIndex = 0;
  FillProfileList();
}

void TFrmMain::butOkClick() {
  if (ShownIndex > 0) StoreProfile(ShownIndex);
  for (int i = 0; i < Profiles.Count(); ++i) {
    TVQEinstellungen& p = Profiles.Object(i);
    p.IniFileName = ProfileFileName;
    p.Section = Profiles.Name(i);
    p.WriteSettings();
  }
  close();
}

void TFrmMain::butAbortClick() { close(); }

void TFrmMain::cbLangClick() {
  int i = cbLang->currentIndex();
  if (!cbLang->isEnabled() || i < 0 || size_t(i) >= languages_.size()) return;
  SetLanguage(languages_[size_t(i)]);
  ApplyQtLanguage();
  // The profiles are let go either way; the new form reads them again.
  Guarded([this] { ReleaseProfiles(); });
  closeHandlerRemoved_ = true;
  hide();
  deleteLater();
  try {
    FrmMain = new TFrmMain;
  } catch (...) {
    FrmMain = nullptr;
    QCoreApplication::quit();
    throw;
  }
  FrmMain->show();
}

void TFrmMain::chkAutoFunctionsClick() {
  bool on = chkAutoFunctions->isChecked();
  for (TPage page : kAutoPages) pg->setTabVisible(page, on);
  tabRows_->Sync();
  chkMinBodyCharset->setEnabled(on);
}

void TFrmMain::cbDefaultEncodingChange() {
  int i = cbDefaultEncoding->currentIndex();
  chkConvert8Bit->setEnabled(i != 0);
  chkConvertQP->setEnabled(i != 1);
  chkConvertBase64->setEnabled(i != 2);
}

// The folder of the profile's files; a relative one lies in the program
// directory, as for the correction run.
std::string TFrmMain::FileFolder() const {
  return ExpandProgramPath(TakeInternalText(txtFilePath));
}

// The user's editor for the file type, as the desktop has it.
void TFrmMain::OpenInEditor(const std::string& path) { OpenDetached(NativePath(path)); }

void TFrmMain::butHeaderDefEditClick() {
  std::string file = NativePath(FileFolder() + TakeInternalText(txtHeaderDef));
  if (!FileExists(file)) {
    std::FILE* f = std::fopen(file.c_str(), "ab");
    if (!f)
      throw EInOutError(TranslateFmt("CreateFile.Error",
                                     "Die Datei \"%s\" konnte nicht angelegt werden.", {file}));
    std::fclose(f);
  }
  OpenInEditor(file);
}

void TFrmMain::butSigFileEditClick() {
  std::string file = NativePath(TakeInternalText(txtSigFile));
  if (file.empty()) return;
  if (ExtractFilePath(file).empty()) file = NativePath(FileFolder()) + file;
  OpenInEditor(file);
}

void TFrmMain::Button1Click() {
  std::string page = ShippedFile("Tidelarn.htm");
  if (!FileExists(page) || !OpenDetached(page))
    ShowInfoBox(
        FormText("Error:NoTidelarn.htm", "Sorry, Tidelarn.htm ist leider nicht vorhanden..."));
}

void TFrmMain::Button2Click() {
  const TVQEinstellungen* shown = ShownIndex > 0 ? &Profiles.Object(ShownIndex - 1) : nullptr;
  ExecuteAssistent(nullptr, Profiles);
  FillProfileList();
  if (shown) ShownIndex = Profiles.IndexOfObject(shown) + 1;
}
