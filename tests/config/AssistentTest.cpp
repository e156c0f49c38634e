// The news-server assistant against a file-backed news-server folder: the
// registration in Hamster.ini, the profiles it makes, and the options for
// Outlook Express.
#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "CfgMain.h"
#include "ConfigTestSupport.h"
#include "DAssiste.h"
#include "IniFile.h"
#include "NewsServer.h"
#include "ProfileList.h"
#include "ProgramDir.h"

namespace fs = std::filesystem;

namespace {

// The file-backed server with another version or an empty folder answer.
class TTunedServer : public TFileNewsServer {
public:
  TTunedServer(std::string folder, std::string version, bool emptyPath)
      : TFileNewsServer(std::move(folder)), version_(std::move(version)), emptyPath_(emptyPath) {}
  std::string ControlGetVersion() override { return version_; }
  std::string ControlGetPath() override {
    return emptyPath_ ? std::string() : TFileNewsServer::ControlGetPath();
  }

private:
  std::string version_;
  bool emptyPath_;
};

class AssistentTest : public ConfigTest {
protected:
  void SetUp() override {
    ConfigTest::SetUp();
    server_ = server.Path() + "/";
    WriteFile(server_ + "Hamster.ini", "[Setup]\r\nkeep=me\r\n[Actions]\r\nnews.out.exec=old\r\n");
    setenv("TIDELARN_NEWSSERVER", server_.c_str(), 1);
  }
  void TearDown() override {
    SetNewsServerFactory({});
    unsetenv("TIDELARN_NEWSSERVER");
    ConfigTest::TearDown();
  }

  void Tune(const std::string& version, bool emptyPath = false) {
    SetNewsServerFactory([this, version, emptyPath] {
      return std::make_unique<TTunedServer>(server_, version, emptyPath);
    });
  }
  void AddProfile(const std::string& name, std::unique_ptr<TVQEinstellungen> p = nullptr) {
    profiles.Add(name, p ? std::move(p) : std::make_unique<TVQEinstellungen>());
  }
  TVQEinstellungen& Profile(const std::string& name) {
    int i = profiles.IndexOf(name);
    EXPECT_GE(i, 0) << name;
    return profiles.Object(i < 0 ? 0 : i);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 0; i < profiles.Count(); ++i) names.push_back(profiles.Name(i));
    return names;
  }
  void Register() {
    TDlgAssistent d;
    d.ProfileList = &profiles;
    d.Button1->click();
  }
  void MailClientOptions() {
    TDlgAssistent d;
    d.ProfileList = &profiles;
    d.Button2->click();
  }

  TempDir server;
  std::string server_;
  TProfileList profiles;
};

TEST_F(AssistentTest, RegistrationWritesTheActionsAndCompletesTheProfiles) {
  AddProfile("News");
  auto mails = std::make_unique<TVQEinstellungen>();
  mails->HeaderDef = "own.def";
  mails->MessagePath = "/old";
  AddProfile("Mails", std::move(mails));
  Register();

  EXPECT_EQ(Names(), (std::vector<std::string>{"Mails", "Mails.In", "Mails.Internal", "News"}));
  EXPECT_EQ(Profile("news").MessagePath, server_ + "Groups/News.Out/");
  EXPECT_EQ(Profile("news").HeaderDef, "");  // present profiles keep all but the path
  EXPECT_EQ(Profile("mails").MessagePath, server_ + "Mails/Mail.Out/");
  EXPECT_EQ(Profile("mails").HeaderDef, "own.def");
  TVQEinstellungen& in = Profile("mails.in");
  EXPECT_EQ(in.HeaderDef, "Mails-in.def");
  EXPECT_EQ(in.MessagePath, "");
  EXPECT_TRUE(in.AutoFunctions);  // the built-in defaults
  TVQEinstellungen& internal = Profile("mails.internal");
  EXPECT_EQ(internal.HeaderDef, "Mails-internal.def");
  EXPECT_EQ(internal.MessagePath, server_ + "Mails/admin");
  EXPECT_TRUE(internal.AutoFunctions);
  // The new objects are not tied to a file yet: the settings form's OK does that.
  EXPECT_EQ(in.IniFileName, "");

  TIniFile ini(server_ + "Hamster.ini");
  const std::string runner = ProgramDir() + "Only_VQ";
  EXPECT_EQ(ini.ReadSection("Actions"),
            (std::vector<std::string>{"news.out.exec", "news.out.pars", "mail.out.exec",
                                      "mail.out.pars", "mail.in.exec", "mail.in.pars",
                                      "mail.internal.exec", "mail.internal.pars"}));
  EXPECT_EQ(ini.ReadString("Actions", "news.out.exec", ""), runner);
  EXPECT_EQ(ini.ReadString("Actions", "news.out.pars", ""), "Type:news Filename:\"%1\"");
  EXPECT_EQ(ini.ReadString("Actions", "mail.out.pars", ""), "Type:mails Filename:\"%1\"");
  EXPECT_EQ(ini.ReadString("Actions", "mail.in.pars", ""), "Type:mails.in Filename:\"%1\"");
  EXPECT_EQ(ini.ReadString("Actions", "mail.internal.exec", ""), runner);
  EXPECT_EQ(ini.ReadString("Actions", "mail.internal.pars", ""),
            "Type:mails.internal Filename:\"%1\"");
  EXPECT_EQ(ini.ReadString("Setup", "keep", ""), "me");
  ASSERT_EQ(prompter_.boxes.size(), 1u);  // the question; success is not reported
  EXPECT_NE(prompter_.boxes[0].find("\"mails.internal\""), std::string::npos);

  // A second run adds nothing and writes the same values again.
  const std::string written = ReadFile(server_ + "Hamster.ini");
  profiles.Object(profiles.IndexOf("news")).MessagePath = "/elsewhere";
  Register();
  EXPECT_EQ(profiles.Count(), 4);
  EXPECT_EQ(Profile("news").MessagePath, server_ + "Groups/News.Out/");
  EXPECT_EQ(ReadFile(server_ + "Hamster.ini"), written);
}

TEST_F(AssistentTest, NewProfilesAreWrittenByTheSettingsFormsOk) {
  auto* form = new TFrmMain;
  FrmMain = form;
  // The assistant runs modally: registered and closed as soon as it shows.
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<TDlgAssistent*>(w); d && d->isVisible()) {
        d->Button1->click();
        d->Button3->click();
      }
  });
  form->findChild<QPushButton*>("Button2")->click();
  EXPECT_EQ(form->Profiles.Count(), 4);
  form->findChild<QPushButton*>("butOk")->click();
  delete FrmMain;
  FrmMain = nullptr;

  std::unique_ptr<TVQEinstellungen> news = ReadProfile("News");
  EXPECT_EQ(news->HeaderDef, "News-out.def");
  EXPECT_FALSE(news->AutoFunctions);  // a new News profile starts with every switch off
  EXPECT_EQ(news->MessagePath, server_ + "Groups/News.Out/");
  EXPECT_EQ(ReadProfile("Mails")->HeaderDef, "Mails-out.def");
  std::unique_ptr<TVQEinstellungen> in = ReadProfile("Mails.In");
  EXPECT_EQ(in->HeaderDef, "Mails-in.def");
  EXPECT_TRUE(in->AutoFunctions);
  EXPECT_EQ(ReadProfile("Mails.Internal")->MessagePath, server_ + "Mails/admin");
}

TEST_F(AssistentTest, CancelOrNoServerOrAnOldOneChangesNothing) {
  const std::string before = ReadFile(server_ + "Hamster.ini");
  prompter_.answers = {id::Cancel};
  Register();
  EXPECT_EQ(profiles.Count(), 0);

  fs::remove(server_ + "Hamster.ini");  // the server is not running
  Register();
  EXPECT_EQ(prompter_.boxes.back(), "Fehler: Hamsterobjekt nicht erzeugbar - Abbruch");
  EXPECT_EQ(profiles.Count(), 0);
  WriteFile(server_ + "Hamster.ini", before);

  // Versions are compared as texts.
  for (const char* old : {"1.3.21.0", "1.10.0.0", "1.3.20.99"}) {
    Tune(old);
    Register();
    EXPECT_EQ(prompter_.boxes.back(), "Fehler: Zu alte Hamsterversion") << old;
  }
  EXPECT_EQ(profiles.Count(), 0);
  EXPECT_EQ(ReadFile(server_ + "Hamster.ini"), before);

  for (const char* recent : {"1.3.21.80", "1.4"}) {
    Tune(recent);
    Register();
    EXPECT_EQ(profiles.Count(), 4) << recent;
  }
}

TEST_F(AssistentTest, EmptyServerPathMeansHamsterIniInTheProgramFolder) {
  Tune("1.4.0.0", true);
  Register();
  EXPECT_EQ(TIniFile(Path("Hamster.ini")).ReadString("Actions", "mail.in.exec", ""),
            ProgramDir() + "Only_VQ");
  EXPECT_EQ(TIniFile(server_ + "Hamster.ini").ReadString("Actions", "news.out.exec", ""), "old");
}

TEST_F(AssistentTest, MailClientOptionsForMailsMailAndNews) {
  auto mails = std::make_unique<TVQEinstellungen>();
  mails->DelXHeader = {"x-priority:", "X-Other"};
  mails->ConvertToSigDelimiter = "-- ";
  AddProfile("Mails", std::move(mails));
  AddProfile("News");
  AddProfile("Mail");
  AddProfile("Other");
  MailClientOptions();

  EXPECT_EQ(prompter_.boxes.back(), FromUtf8("3 Abschnitte wie gewünscht eingestellt!"));
  TVQEinstellungen& m = Profile("mails");
  EXPECT_TRUE(m.CheckMIMEHeaders);
  EXPECT_TRUE(m.DeleteEmptyLines);
  EXPECT_TRUE(m.KillOEWordWraps);
  EXPECT_EQ(m.ConvertToSigDelimiter, "-- ");
  EXPECT_EQ(m.DelXHeader,
            (std::vector<std::string>{"x-priority:", "X-Other", "X-MSMail-Priority", "X-MimeOLE"}));
  EXPECT_EQ(Profile("news").ConvertToSigDelimiter, "--");
  EXPECT_EQ(Profile("mail").DelXHeader,
            (std::vector<std::string>{"X-Priority", "X-MSMail-Priority", "X-MimeOLE"}));
  EXPECT_FALSE(Profile("other").CheckMIMEHeaders);

  // Twice adds no header twice.
  MailClientOptions();
  EXPECT_EQ(Profile("mail").DelXHeader.size(), 3u);

  profiles.Clear();
  AddProfile("Other");
  MailClientOptions();
  EXPECT_EQ(prompter_.boxes.back(), "Kein passender Abschnitt vorhanden!");
  prompter_.answers = {id::Cancel};
  AddProfile("News");
  MailClientOptions();
  EXPECT_FALSE(Profile("news").CheckMIMEHeaders);
}

}  // namespace
