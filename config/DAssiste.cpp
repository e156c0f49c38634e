#include "DAssiste.h"

#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

#include "DlgTools.h"
#include "FormTexts.h"
#include "IniFile.h"
#include "NewsServer.h"
#include "ProfileList.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uEinstellungen.h"
#include "uTransla.h"

namespace {

constexpr int kWidth = 339;
constexpr int kHeight = 156;
constexpr int kButtonWidth = 320;

// The profiles that get the Outlook Express options, and the header lines
// those mail clients add that are deleted.
const char* const kMailClientProfiles[] = {"mails", "mail", "news"};
const char* const kMailClientHeaders[] = {"X-Priority", "X-MSMail-Priority", "X-MimeOLE"};

// The oldest news server whose actions can start a program is newer than this.
constexpr const char* kOldestVersion = "1.3.21.0";

// The profile Name of the list, created by Make and added as Shown when missing.
template <class F>
TVQEinstellungen& FindOrAdd(TProfileList& list, const char* name, const char* shown, F&& make) {
  int i = list.IndexOf(name);
  if (i < 0) i = list.Add(shown, make());
  return list.Object(i);
}

bool HoldsHeader(const std::vector<std::string>& list, const std::string& name) {
  for (const std::string& line : list)
    if (SameText(line, name) || SameText(line, name + ":") || SameText(line, name + ": "))
      return true;
  return false;
}

}  // namespace

TDlgAssistent::TDlgAssistent(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DlgAssistent"));
  setWindowTitle(QUtf8("Assistent"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(kWidth, kHeight);

  Button1 = MakeButton(this, "Button1", "Im Hamster (ab 1.3.21.80) automatisch aufrufen");
  Button2 = MakeButton(this, "Button2", "Spezifische Optionen für Outlook Express aktivieren");
  Button3 = MakeButton(this, "Button3", "Schließen");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 16, 0, 16);
  column->setSpacing(12);
  for (QPushButton* button : {Button1, Button2, Button3}) {
    button->setFixedWidth(kButtonWidth);
    column->addWidget(button, 0, Qt::AlignHCenter);
  }

  auto guarded = [this](void (TDlgAssistent::*handler)()) {
    return [this, handler] { Guarded([&] { (this->*handler)(); }); };
  };
  connect(Button1, &QPushButton::clicked, this, guarded(&TDlgAssistent::Button1Click));
  connect(Button2, &QPushButton::clicked, this, guarded(&TDlgAssistent::Button2Click));
  connect(Button3, &QPushButton::clicked, this, guarded(&TDlgAssistent::Button3Click));
  FormCreate();
}

TDlgAssistent::~TDlgAssistent() { FormDestroy(); }

void TDlgAssistent::FormCreate() { TranslateForm(this, "DlgAssistent", TranslationLines); }

void TDlgAssistent::FormDestroy() { TranslationLines.clear(); }

std::string TDlgAssistent::Text(const char* id, const char* germanDefault) const {
  return LookupTranslation(TranslationLines, id, germanDefault);
}

void TDlgAssistent::Button1Click() {
  if (Prompter().MessageBox(
          Text("HamsterAutoRun.Ask",
               "Folgende Änderungen würden durchgeführt: falls noch nicht vorhanden, werden die "
               "Abschnitte \"news\", \"mails\", \"mails.in\" und \"mails.internal\" angelegt und "
               "mit den entsprechenden \"Actions\" im Hamster verknüpft, so daß z.B. jede "
               "eingehende Mail mit dem \"mails.in\"-Abschnitt behandelt wird oder jedes "
               "ausgehende Posting mit dem \"news\"-Abschnitt. Jeder Abschnitt bekommt eine "
               "eigene \"Header.def\", bei \"mails.in\" und \"mails.internal\" sind alle "
               "Konvertierungen defaultmäßig deaktiviert.^m^mÄnderungen durchführen?"),
          "", mb::OkCancel | mb::IconInformation) != id::Ok)
    return;

  // A new object each time: the server may have been started or stopped since.
  std::unique_ptr<TNewsServer> server;
  try {
    server = CreateNewsServer();
  } catch (const std::exception&) {
    ShowInfoBox(Text("HamsterAutoRun.Error: NoOLEHamster",
                     "Fehler: Hamsterobjekt nicht erzeugbar - Abbruch"));
    return;
  }
  // Compared as texts, as the news server's own installers did.
  if (!(server->ControlGetVersion() > std::string(kOldestVersion))) {
    ShowInfoBox(Text("HamsterAutoRun.Error: OldVersion", "Fehler: Zu alte Hamsterversion"));
    return;
  }

  TProfileList& list = *ProfileList;
  TVQEinstellungen& news = FindOrAdd(list, "news", "News", [] {
    auto p = std::make_unique<TVQEinstellungen>();
    p->HeaderDef = "News-out.def";
    return p;
  });
  news.MessagePath = server->ControlGetNewsOutPath();
  TVQEinstellungen& mails = FindOrAdd(list, "mails", "Mails", [] {
    auto p = std::make_unique<TVQEinstellungen>();
    p->HeaderDef = "Mails-out.def";
    return p;
  });
  mails.MessagePath = server->ControlGetMailsOutPath();
  FindOrAdd(list, "mails.in", "Mails.In", [] {
    auto p = std::make_unique<TVQEinstellungen>();
    p->SetDefaults();
    p->HeaderDef = "Mails-in.def";
    return p;
  });
  FindOrAdd(list, "mails.internal", "Mails.Internal", [&server] {
    auto p = std::make_unique<TVQEinstellungen>();
    p->SetDefaults();
    p->HeaderDef = "Mails-internal.def";
    p->MessagePath = server->ControlGetMailsPath() + "admin";
    return p;
  });

  std::string dir = server->ControlGetPath();
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
  TIniFile ini(dir + "Hamster.ini");
  const std::string runner = ProgramDir() + "Only_VQ";
  const struct {
    const char* action;
    const char* profile;
  } actions[] = {{"news.out", "news"},
                 {"mail.out", "mails"},
                 {"mail.in", "mails.in"},
                 {"mail.internal", "mails.internal"}};
  for (const auto& a : actions) {
    ini.WriteString("Actions", std::string(a.action) + ".exec", runner);
    ini.WriteString("Actions", std::string(a.action) + ".pars",
                    "Type:" + std::string(a.profile) + " Filename:\"%1\"");
  }
  ini.UpdateFile();
}

void TDlgAssistent::Button2Click() {
  if (Prompter().MessageBox(
          Text("OEConfig.Ask",
               "Folgende Änderungen würden für die Abschnitte \"News\" und \"Mail[s]\" "
               "durchgeführt: Aktivierung der Optionen \"Optimierte ISO-Header\", "
               "\"OE-Kammquoting-Reparatur\", \"In Signatur-Trenner wandeln\" (auf \"--\"), "
               "\"Leerzeilen am Ende löschen\" und X-Header \"X-Priority\", \"X-MSMail-Priority\" "
               "und \"X-MimeOLE\" löschen.^m^mÄnderungen durchführen?"),
          "", mb::OkCancel | mb::IconInformation) != id::Ok)
    return;

  int found = 0;
  for (const char* name : kMailClientProfiles) {
    int i = ProfileList->IndexOf(name);
    if (i < 0) continue;
    ++found;
    TVQEinstellungen& p = ProfileList->Object(i);
    p.CheckMIMEHeaders = true;
    p.DeleteEmptyLines = true;
    p.KillOEWordWraps = true;
    if (p.ConvertToSigDelimiter.empty()) p.ConvertToSigDelimiter = "--";
    for (const char* header : kMailClientHeaders)
      if (!HoldsHeader(p.DelXHeader, header)) p.DelXHeader.emplace_back(header);
  }
  if (found == 0)
    ShowInfoBox(Text("OEConfig.Result: NoConfigFound", "Kein passender Abschnitt vorhanden!"));
  else
    ShowInfoBox(
        Format(Text("OEConfig.Result: XConfigsChanged", "%s Abschnitte wie gewünscht eingestellt!"),
               {IntToStr(found)}));
}

void TDlgAssistent::Button3Click() { close(); }
