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
#include <iterator>
#include <map>
#include <span>
#include <type_traits>

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
// The settings pages, row by row from the top: the kind of row, its label
// (name and caption), the control's name and the profile field the control
// shows. The choice lists and the list edits show converted values; they are
// bound by hand in ShowProfile and StoreProfile. Hints come from kHints, by
// the control's name.

enum TRowKind {
  rkHeading,      // bold caption of the rows below
  rkUnderlined,   // underlined caption of the rows below
  rkNote,         // label across the page
  rkCheck,        // check box across the page, with the row's caption
  rkSubCheck,     // the same, indented under the check box above
  rkEdit,         // edit beside its label
  rkEditBelow,    // edit under its long label
  rkNumber,       // short edit beside its label
  rkDirectory,    // path edit with a folder choice, beside its label
  rkFileName,     // path edit with a file choice, beside its label
  rkChoice,       // drop-down list beside its label
  rkChoiceBelow,  // drop-down list under its long label
  rkMemo,         // label across the page, the memo under it taking the free height
  rkInLine,       // label and short edit, sharing one line with the rows around it
  rkLineEnd,      // label that ends that line
};

// The profile field of a control: a flag for a check box, a text or a number
// for an edit.
struct TBinding {
  TBinding() = default;
  TBinding(bool TVQEinstellungen::*f) : flag(f) {}
  TBinding(std::string TVQEinstellungen::*t) : text(t) {}
  TBinding(int32_t TVQEinstellungen::*n) : number(n) {}
  bool TVQEinstellungen::*flag = nullptr;
  std::string TVQEinstellungen::*text = nullptr;
  int32_t TVQEinstellungen::*number = nullptr;
};

struct TPageRow {
  TRowKind kind;
  const char* label;  // the label's name; "" for a check box
  const char* caption;
  const char* control = nullptr;
  TBinding binding = {};
  // A button beside the control.
  const char* button = nullptr;
  const char* buttonCaption = nullptr;
};

using P = TVQEinstellungen;  // short, for the rows

const TPageRow kBasics[] = {
    {rkChoice, "labDefAction", "Standard-Aktion:", "cbDefAction"},
    {rkCheck, "", "Automatische Funktionen anwenden", "chkAutoFunctions", &P::AutoFunctions},
    {rkDirectory, "labMessagePath", "Message-Path:", "txtMessagePath", &P::MessagePath},
    {rkDirectory, "labFilePath", "File-Path:", "txtFilePath", &P::FilePath},
    {rkEdit, "labHeaderDef", "Header.def:", "txtHeaderDef", &P::HeaderDef, "butHeaderDefEdit",
     "Edit"},
    {rkEdit, "labTestExt", "Dateiendung der Posting/Maildateien:", "txtTestExt",
     &P::CheckFilesWithExtension},
    {rkInLine, "labSafeReg1", "Die ersten", "txtSafeReg1", &P::SafeReg1},
    {rkInLine, "labSafeReg2", "und letzten", "txtSafeReg2", &P::SafeReg2},
    {rkLineEnd, "labSafeReg3", "Zeilen ignorieren."},
    {rkUnderlined, "labTesten", "Einstellungen zum Testen der Funktionalität:"},
    {rkEditBelow, "labRenameTo", "Änderungen in Kopien mit folgender Endung speichern:",
     "txtRenameTo", &P::DontChangeRenameToExtension},
    {rkCheck, "", " Backups (Endung \"bak\") erstellen", "chkBackup", &P::MakeBak},
};

const TPageRow kCharsets[] = {
    {rkCheck, "", "Automatisch minimalen Zeichensatz verwenden", "chkMinBodyCharset",
     &P::MinBodyCharset},
    {rkChoiceBelow, "labCSHeader", "Zulässige Zeichensätze für Header-Kodierung:", "cbCSHeader"},
    {rkChoiceBelow, "labCSBody", "Zulässige Zeichensätze für Body-Kodierung:", "cbCSBody"},
};

const TPageRow kEncodings[] = {
    {rkChoice, "labDefaultEncoding", "Standard-Text-Kodierung:", "cbDefaultEncoding"},
    {rkCheck, "", "8-Bit in Standard-Kodierung konvertieren", "chkConvert8Bit", &P::Convert8Bit},
    {rkCheck, "", "quoted-printable in Standard-Kodierung konvertieren", "chkConvertQP",
     &P::ConvertQP},
    {rkCheck, "", "Base64 in Standard-Kodierung konvertieren", "chkConvertBase64",
     &P::ConvertBase64},
    {rkHeading, "labSonderfunktionen", "Sonderfunktionen:"},
    {rkCheck, "", "HTML nach Text konvertieren", "chkHTML2text", &P::HTML2Text},
    {rkEdit, "labSaveHTMLAs", "Original speichern unter:", "txtSaveHTMLAs", &P::SaveHTMLAs},
    {rkCheck, "", "Überflüssige Leerzeichen an Zeilenenden löschen", "chkTrimRight",
     &P::RightTrimLines},
    {rkCheck, "", "Leerzeilen am Posting/Mail-Ende löschen", "chkDeleteEmptyLines",
     &P::DeleteEmptyLines},
    {rkCheck, "", "Attachments extrahieren (incl. Löschen)", "chkSaveAtt", &P::SaveAttachments},
    {rkDirectory, "labSaveAttDir", "Zielpfad:", "txtSaveAttDir", &P::SaveAttachmentsDir},
    {rkChoice, "labSaveAttReaction", "Falls Dateiname existent:", "cbSaveAttReaction"},
};

const TPageRow kHeader1[] = {
    {rkHeading, "labAllHeaders", "Bzgl. aller Header-Zeilen:"},
    {rkCheck, "", "(Optimierte) ISO-Kodierung der Headerzeilen", "chkISO", &P::CheckMIMEHeaders},
    {rkHeading, "labSubject", "Subject-Header:"},
    {rkCheck, "", "\"Re: Hallo (was: Huhu)\" => \"Re: Hallo\"", "chkDelWas",
     &P::CheckSubjectKillWasAfterRe},
    {rkCheck, "", "\"Re: AW: Re: Hallo\" => \"Re: Hallo\"", "chkDelMultiRes", &P::DelDoubleRe},
    {rkEditBelow, "labRes", "Dabei folgende Anfänge zu \"Re\" konvertieren:", "txtRes",
     &P::ConvertToRe},
    {rkCheck, "", "Umlaute in neuem Subject umschreiben", "chkReplaceSubject8Bits",
     &P::CheckReplaceSubject8Bits},
    {rkHeading, "labFromReply", "From + Reply-To - Header:"},
    {rkCheck, "", "mail@adr (Name) => \"Name\" <mail@adr>", "chkCheckFromReplyFormat",
     &P::CheckFromReplyFormat},
    {rkHeading, "labLines", "Lines-Header:"},
    {rkCheck, "", "Neu berechnen und automatisch setzen", "chkSetLines", &P::SetLines},
};

const TPageRow kHeader2[] = {
    {rkHeading, "labDate", "Date-Header:"},
    {rkChoice, "labSetDate", "Automatisch erstellen:", "cbSetDate"},
    {rkChoice, "labDateFormat", "Gewünschtes Format:", "cbDateFormat"},
    {rkHeading, "labReferences", "References-Header:"},
    {rkNumber, "labMaxRef", "Maximallänge:", "txtMaxRef", &P::MaxReferencesLength},
    {rkCheck, "", "\"Folding\" aktivieren", "chkRefFolding", &P::FoldingReferences},
    {rkEditBelow, "labSortHeader", "Header-Reihenfolge: (Komma-Liste)", "txtSortHeader",
     &P::SortHeader},
    {rkMemo, "labKillHeaderlines", "X-Headerzeilen setzen/löschen:", "memKillHeaderlines"},
};

const TPageRow kHeader3[] = {
    {rkHeading, "labSpecialPrograms", "Einstellungen für spezielle Programme:"},
    {rkHeading, "labPlimsort", "Plimsort:"},
    {rkEditBelow, "labKillMID", "Message-IDs um hinzugesetzte Anfänge kürzen:", "txtKillMID"},
    {rkHeading, "labHamster", "Hamster-Mails:"},
    {rkCheck, "", "\"!MAIL FROM\" und \"!RCPT TO\"-Header zuerst", "chkHamsterheaderFirst",
     &P::HamsterheaderFirst},
    {rkCheck, "", "\"!RCPT TO\"-Liste neu generieren (To, CC)", "chkRCPTto", &P::RecreateRCPT_To},
    {rkSubCheck, "", " Auch, wenn noch keiner vorhanden", "chkRCPTtoAlways",
     &P::RecreateRCPT_To_Always},
};

const TPageRow kBody1[] = {
    {rkHeading, "labBodyHeader", "\"Body-Header\":"},
    {rkCheck, "", "Manuelle X-Header erlauben", "chkXHeader", &P::AllowXHeader},
    {rkCheck, "", "Manuelle sonstige/@-Header erlauben", "chkSonstHeader", &P::AllowAnyHeader},
    {rkHeading, "labSignatur", "Signatur:"},
    {rkEdit, "labSigTrenner", "In Signatur-Trenner wandeln (für OE):", "txtSigTrenner",
     &P::ConvertToSigDelimiter},
    {rkFileName, "labSigFile", "Random-Sig-Datei:", "txtSigFile", &P::SigFile, "butSigFileEdit",
     "..."},
    {rkCheck, "", "Leerzeile vor automatischer Signatur", "chkBlankLineBeforeSig",
     &P::BlankBeforeSig},
};

const TPageRow kBody2[] = {
    {rkHeading, "labEinrueckungen", "Einrückungen:"},
    {rkCheck, "", "Einrückungen optimieren", "chkQuoting", &P::CheckQuotes},
    {rkCheck, "", "Leerzeichen zwischen Zitatzeichen und Text", "chkSpaceBefText",
     &P::CheckQuotesAddSpaceBetweenQuoteAndText},
    {rkCheck, "", "Leerzeichen zw. verschiedenen Zitatzeichen", "chkSpaceBetween",
     &P::CheckQuotesAddSpaceBetweenDifferentQuoteChars},
    {rkEdit, "labZitatzeichen", "Erlaubte Zitatzeichen:", "txtZitatzeichen",
     &P::CheckQuotesAllowedQuoteChars},
    {rkEdit, "labDoNot1", "Keine Änderungen zwischen:", "txtDoNot1",
     &P::CheckQuotesDoNotChangeBegin},
    {rkEdit, "labDoNot2", "und", "txtDoNot2", &P::CheckQuotesDoNotChangeEnd},
    {rkNote, "labWildcard", "(ein \"*\" am Anfang oder Ende dient als Wildcard)"},
    {rkCheck, "", "Keine Änderungen nach Signatur-Trenner", "chkNoCheckAfterSig",
     &P::CheckQuotesDoNotChangeAfterSigDelimiter},
};

const TPageRow kSpecial[] = {
    {rkEdit, "labDelAtBegin", "Lösche am Zeilenanfang:", "txtDelAtBegin", &P::DelAtBegin},
    {rkCheck, "", "Fußnoten-Automatik", "chkFootnotes", &P::ConvertFootnotes},
    {rkCheck, "", "manuellen \"Reformat\" ausführen", "chkReformat", &P::ConvertReFormats},
    {rkCheck, "", "manuelle \"Oneliner\" ausführen", "chkOneliner", &P::ConvertOneLiners},
    {rkCheck, "", "\"Box-Quotes\" erzeugen", "chkBoxQuotes", &P::ConvertBoxQuotes},
    {rkCheck, "", "OE-Kamm-Quoting-Reparatur", "chkDelKammQuoting", &P::KillOEWordWraps},
    {rkCheck, "", "Leerzeile vor \"Lines\"-Einschub", "chkBlankBeforeLines", &P::BlankBeforeLines},
};

struct TPageTable {
  const char* name;
  const char* caption;
  std::span<const TPageRow> rows;
};
// In the order of TPage.
const TPageTable kPages[] = {
    {"tsGrundeinstellungen", "Grundeinstellungen", kBasics},
    {"tsZeichensaetze", "Zeichensätze", kCharsets},
    {"tsKodierungen", "Kodierungen", kEncodings},
    {"tsHeader1", "Header I", kHeader1},
    {"tsHeader2", "Header II", kHeader2},
    {"tsHeader3", "Header III", kHeader3},
    {"tsBody1", "Body I", kBody1},
    {"tsBody2", "Body II", kBody2},
    {"tsSonderfunktionen", "Sonderfunktionen", kSpecial},
};
static_assert(std::size(kPages) == pgSonder + 1);

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

// ---------------------------------------------------------------------------
// Layout of one settings page from its rows: labels on the left, controls on
// the right.

class TPageBuilder {
public:
  explicit TPageBuilder(QWidget* page) : page_(page), grid_(new QGridLayout(page)) {
    grid_->setColumnStretch(1, 1);
  }

  void Add(const TPageRow& row);
  // Free height below the rows, unless a memo takes it.
  void Finish() {
    if (!stretched_) grid_->setRowStretch(row_, 1);
  }

private:
  void Heading(const TPageRow& row);
  void Check(const TPageRow& row);
  void Edit(const TPageRow& row);
  void Choice(const TPageRow& row);
  void Memo(const TPageRow& row);
  void InLine(const TPageRow& row);
  // Control beside its label, or under it.
  void Labelled(const TPageRow& row, QWidget* control, bool below);
  // A widget across both columns.
  void Span(QWidget* widget, int stretch = 0) {
    grid_->addWidget(widget, row_, 0, 1, 2);
    grid_->setRowStretch(row_++, stretch);
  }

  QWidget* page_;
  QGridLayout* grid_;
  int row_ = 0;
  bool stretched_ = false;
  QHBoxLayout* line_ = nullptr;  // of the rkInLine rows
};

void TPageBuilder::Add(const TPageRow& row) {
  switch (row.kind) {
    case rkHeading:
    case rkUnderlined:
      return Heading(row);
    case rkNote:
      return Span(MakeLabel(page_, row.label, row.caption));
    case rkCheck:
    case rkSubCheck:
      return Check(row);
    case rkEdit:
    case rkEditBelow:
    case rkNumber:
    case rkDirectory:
    case rkFileName:
      return Edit(row);
    case rkChoice:
    case rkChoiceBelow:
      return Choice(row);
    case rkMemo:
      return Memo(row);
    case rkInLine:
      return InLine(row);
    case rkLineEnd:
      line_->addWidget(MakeLabel(page_, row.label, row.caption));
      line_->addStretch(1);
      line_ = nullptr;
      return;
  }
}

void TPageBuilder::Heading(const TPageRow& row) {
  QLabel* label = MakeLabel(page_, row.label, row.caption);
  QFont font = label->font();
  font.setBold(row.kind == rkHeading);
  font.setUnderline(row.kind == rkUnderlined);
  label->setFont(font);
  if (row_ > 0) grid_->setRowMinimumHeight(row_++, 6);
  grid_->addWidget(label, row_++, 0, 1, 2);
}

void TPageBuilder::Check(const TPageRow& row) {
  auto* box = Named(new QCheckBox(QUtf8(row.caption), page_), row.control);
  if (row.kind == rkCheck) {
    grid_->addWidget(box, row_++, 0, 1, 2);
    return;
  }
  auto* holder = new QWidget(page_);
  auto* line = new QHBoxLayout(holder);
  line->setContentsMargins(20, 0, 0, 0);
  line->addWidget(box);
  grid_->addWidget(holder, row_++, 0, 1, 2);
}

void TPageBuilder::Edit(const TPageRow& row) {
  // With a button the two share a box in the control's column.
  QWidget* box = row.button ? new QWidget(page_) : nullptr;
  QWidget* parent = box ? box : page_;
  QWidget* edit = nullptr;
  if (row.kind == rkDirectory || row.kind == rkFileName) {
    edit = MakePathEdit(parent, row.control,
                        row.kind == rkDirectory ? TPathKind::Directory : TPathKind::FileName);
    ApplyHint(edit);
  } else {
    edit = Named(new QLineEdit(parent), row.control);
  }
  if (box) {
    auto* line = new QHBoxLayout(box);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(edit, 1);
    QPushButton* button = MakeButton(box, row.button, row.buttonCaption);
    // The "..." beside a file name is as narrow as the browse button.
    if (row.kind == rkFileName) button->setMaximumWidth(40);
    line->addWidget(button);
  }
  Labelled(row, box ? box : edit, row.kind == rkEditBelow);
  if (row.kind == rkNumber) edit->setMaximumWidth(80);
}

void TPageBuilder::Choice(const TPageRow& row) {
  auto* combo = Named(new QComboBox(page_), row.control);
  combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  auto* box = new QWidget(page_);
  auto* line = new QHBoxLayout(box);
  line->setContentsMargins(0, 0, 0, 0);
  line->addWidget(combo);
  line->addStretch(1);
  Labelled(row, box, row.kind == rkChoiceBelow);
}

void TPageBuilder::Memo(const TPageRow& row) {
  Span(MakeLabel(page_, row.label, row.caption));
  auto* memo = Named(new QPlainTextEdit(page_), row.control);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  Span(memo, 1);
  stretched_ = true;
}

void TPageBuilder::InLine(const TPageRow& row) {
  if (!line_) {
    auto* box = new QWidget(page_);
    line_ = new QHBoxLayout(box);
    line_->setContentsMargins(0, 0, 0, 0);
    grid_->addWidget(box, row_++, 0, 1, 2);
  }
  auto* edit = Named(new QLineEdit(page_), row.control);
  edit->setFixedWidth(50);
  line_->addWidget(MakeLabel(page_, row.label, row.caption));
  line_->addWidget(edit);
}

void TPageBuilder::Labelled(const TPageRow& row, QWidget* control, bool below) {
  QLabel* label = MakeLabel(page_, row.label, row.caption);
  label->setBuddy(control);
  if (below) {
    grid_->addWidget(label, row_++, 0, 1, 2);
    grid_->addWidget(control, row_++, 0, 1, 2);
  } else {
    grid_->addWidget(label, row_, 0);
    grid_->addWidget(control, row_++, 1);
  }
}

}  // namespace

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
  CreateProfileColumn(panel);

  // Right: the pages, the general buttons, or nothing.
  area_ = new QStackedWidget(this);
  panel->addWidget(area_, 1);
  empty_ = new QWidget(area_);
  area_->addWidget(empty_);
  CreatePages();
  CreateGeneralButtons();

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

// Left: language, profile list, new/copy/delete, note.
void TFrmMain::CreateProfileColumn(QHBoxLayout* panel) {
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
}

void TFrmMain::CreatePages() {
  pages_ = new QWidget(area_);
  auto* pagesLayout = new QVBoxLayout(pages_);
  pagesLayout->setContentsMargins(0, 0, 0, 0);
  pagesLayout->setSpacing(0);
  pg = Named(new QTabWidget(pages_), "pg");
  tabRows_ = new TTabRows(pg, pages_);
  pagesLayout->addWidget(tabRows_);
  pagesLayout->addWidget(pg, 1);
  area_->addWidget(pages_);
  for (const TPageTable& table : kPages) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(table.name));
    pg->addTab(page, QUtf8(table.caption));
    TPageBuilder builder(page);
    for (const TPageRow& row : table.rows) builder.Add(row);
    builder.Finish();
  }

  // The controls the code reaches by hand.
  auto child = [this](auto*& control, const char* name) {
    control = findChild<std::remove_reference_t<decltype(control)>>(QString::fromLatin1(name));
  };
  child(cbDefAction, "cbDefAction");
  cbDefAction->setEnabled(false);
  child(chkAutoFunctions, "chkAutoFunctions");
  txtFilePath = BoundEdit("txtFilePath");
  child(txtHeaderDef, "txtHeaderDef");
  child(chkMinBodyCharset, "chkMinBodyCharset");
  child(cbCSHeader, "cbCSHeader");
  child(cbCSBody, "cbCSBody");
  child(cbDefaultEncoding, "cbDefaultEncoding");
  cbDefaultEncoding->addItems({QStringLiteral("8-Bit"), QStringLiteral("quoted-printable"),
                               QStringLiteral("Base64"), QStringLiteral("7-Bit")});
  child(chkConvert8Bit, "chkConvert8Bit");
  child(chkConvertQP, "chkConvertQP");
  child(chkConvertBase64, "chkConvertBase64");
  child(cbSaveAttReaction, "cbSaveAttReaction");
  child(cbSetDate, "cbSetDate");
  child(cbDateFormat, "cbDateFormat");
  child(memKillHeaderlines, "memKillHeaderlines");
  child(txtKillMID, "txtKillMID");
  txtSigFile = BoundEdit("txtSigFile");
}

void TFrmMain::CreateGeneralButtons() {
  frAllgemein = Named(new QWidget(area_), "frAllgemein");
  area_->addWidget(frAllgemein);
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
  if (!FileExistsChecked(SettingsFile(ProfileFileName))) return;
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

QLineEdit* TFrmMain::BoundEdit(const char* name) const {
  auto* edit = findChild<QLineEdit*>(QString::fromLatin1(name));
  return edit ? edit : PathEditField(findChild<QWidget*>(QString::fromLatin1(name)));
}

void TFrmMain::ShowProfile(int index) {
  if (index <= 0 || index > Profiles.Count()) return;
  const TVQEinstellungen& p = Profiles.Object(index - 1);
  for (const TPageTable& table : kPages)
    for (const TPageRow& row : table.rows) {
      const TBinding& b = row.binding;
      if (b.flag)
        findChild<QCheckBox*>(QString::fromLatin1(row.control))->setChecked(p.*b.flag);
      else if (b.text)
        ShowInternalText(BoundEdit(row.control), p.*b.text);
      else if (b.number)
        ShowInternalText(BoundEdit(row.control), IntToStr(p.*b.number));
    }

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
  for (const TPageTable& table : kPages)
    for (const TPageRow& row : table.rows) {
      const TBinding& b = row.binding;
      if (b.flag)
        p.*b.flag = findChild<QCheckBox*>(QString::fromLatin1(row.control))->isChecked();
      else if (b.text)
        p.*b.text = TakeInternalText(BoundEdit(row.control));
      else if (b.number)
        p.*b.number = StrToIntDef(TakeInternalText(BoundEdit(row.control)), 0);
    }

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

// The window has no default or cancel button: it ends by OK, Abbruch or its
// close box only, so a stray Enter or Esc (one meant for a drop-down list that
// had not opened) neither saves nor drops the edits. Enter on a focused button
// pushes it, as Space does; the controls and the dialogs keep their own keys.
void TFrmMain::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  auto* focused = qobject_cast<QPushButton*>(focusWidget());
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !(event->modifiers() & ~Qt::KeypadModifier) &&
      focused && focused->isEnabled()) {
    focused->click();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
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
