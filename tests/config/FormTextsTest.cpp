// Form texts applied to widgets by name, remembered edit texts, the display
// check, window titles and Qt's own texts.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QDialog>
#include <QFile>
#include <QLibraryInfo>
#include <QSettings>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <thread>

#include "CfgMain.h"
#include "ConfigTestSupport.h"
#include "DisplayProbe.h"
#include "FormTexts.h"
#include "QtPrompter.h"
#include "SysUtils.h"
#include "uDriver.h"
#include "uTransla.h"

namespace {

class FormTextsTest : public ConfigTest {};

template <class W>
W* Add(QWidget* parent, const char* name) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

TEST_F(FormTextsTest, CaptionsAndHintsGoToTheWidgetsOfTheirNames) {
  WriteFile(Path("Tidelarn.dat"),
            "[English]\r\n"
            "DlgTest.caption=Test dialog\r\n"
            "DlgTest.labname.caption=Name:\r\n"
            "DlgTest.butgo.caption=&Go\r\n"
            "DlgTest.butgo.hint=Starts it^mnow <really>\r\n"
            "DlgTest.chkon.caption=On\r\n"
            "DlgTest.grpbox.caption=Group\r\n"
            "DlgTest.tssecond.caption=Second page\r\n"
            "DlgTest.txtvalue.caption=edits have no caption\r\n"
            "DlgTest.txtvalue.hint=A value\r\n"
            "DlgTest.butgo.caption=second line of a key: ignored\r\n"
            "DlgTest.nosuchwidget.caption=ignored\r\n"
            "DlgTest/Message=Own line\r\n");
  SetLanguage("English");
  QWidget form;
  auto* label = Add<QLabel>(&form, "labName");
  auto* button = Add<QPushButton>(&form, "butGo");
  auto* check = Add<QCheckBox>(&form, "chkOn");
  auto* group = Add<QGroupBox>(&form, "grpBox");
  auto* edit = Add<QLineEdit>(group, "txtValue");
  auto* tabs = Add<QTabWidget>(&form, "tabs");
  auto* first = new QWidget;
  first->setObjectName("tsFirst");
  auto* second = new QWidget;
  second->setObjectName("tsSecond");
  tabs->addTab(first, "first");
  tabs->addTab(second, "second");

  std::vector<std::string> lines;
  TranslateForm(&form, "DlgTest", lines);

  EXPECT_EQ(form.windowTitle(), "Test dialog");
  EXPECT_EQ(label->text(), "Name:");
  EXPECT_EQ(button->text(), "&Go");
  EXPECT_EQ(check->text(), "On");
  EXPECT_EQ(group->title(), "Group");
  EXPECT_EQ(tabs->tabText(0), "first");
  EXPECT_EQ(tabs->tabText(1), "Second page");
  EXPECT_EQ(edit->text(), "");
  EXPECT_TRUE(edit->toolTip().contains("A value"));
  // Shown as written: two lines, the angle brackets as text.
  EXPECT_TRUE(button->toolTip().contains("Starts it\nnow &lt;really&gt;"));
  EXPECT_EQ(lines, std::vector<std::string>{"Message=Own line"});
}

TEST_F(FormTextsTest, EditsHandBackTheirBytesWhileUnchanged) {
  QWidget form;
  auto* edit = Add<QLineEdit>(&form, "txt");
  auto* memo = Add<QPlainTextEdit>(&form, "mem");
  const std::string odd =
      "a\x81"
      "b";  // no character in windows-1252
  ShowInternalText(edit, odd);
  ShowInternalText(memo, "X-One\r\nX-\x81");
  EXPECT_EQ(TakeInternalText(edit), odd);
  EXPECT_EQ(TakeInternalText(memo), "X-One\r\nX-\x81");
  EXPECT_EQ(memo->toPlainText().count('\n'), 1);

  edit->setText(QString::fromUtf8("Grüße"));
  EXPECT_EQ(TakeInternalText(edit), FromUtf8("Grüße"));
  ShowInternalText(edit, FromUtf8("ä"));
  EXPECT_EQ(edit->text(), QString::fromUtf8("ä"));
}

// Sets environment variables for its lifetime and restores them after.
class TEnv {
public:
  TEnv(std::initializer_list<std::pair<const char*, const char*>> values) {
    for (const char* name : kNames) {
      const char* v = std::getenv(name);
      saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
      unsetenv(name);
    }
    for (auto [name, value] : values) setenv(name, value, 1);
  }
  ~TEnv() {
    for (auto& [name, value] : saved_)
      if (value)
        setenv(name, value->c_str(), 1);
      else
        unsetenv(name);
  }

private:
  static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET",
                                           "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// A Wayland compositor's socket: one that answers every request with a few
// bytes, or a frozen one that takes connections into its backlog and never
// answers.
class TWaylandSocket {
public:
  TWaylandSocket(const std::string& path, bool answers) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) throw std::runtime_error("socket path too long");
    path.copy(addr.sun_path, path.size());
    listening_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(listening_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listening_, 4) != 0 || pipe2(stop_, O_CLOEXEC) != 0)
      throw std::runtime_error("no Wayland socket for the test");
    if (answers) server_ = std::thread([this] { Serve(); });
  }
  ~TWaylandSocket() {
    close(stop_[1]);  // ends the server
    if (server_.joinable()) server_.join();
    close(stop_[0]);
    close(listening_);
  }

private:
  void Serve() {
    for (;;) {
      pollfd p[2] = {{listening_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (poll(p, 2, -1) < 0 && errno == EINTR) continue;
      if (p[1].revents) return;
      const int c = accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      char request[12];
      if (recv(c, request, sizeof request, MSG_WAITALL) > 0)
        (void)!send(c, request, sizeof request, MSG_NOSIGNAL);
      close(c);
    }
  }

  int listening_ = -1, stop_[2] = {-1, -1};
  std::thread server_;
};

TEST(QtPrompterTest, ADisplayCountsOnlyWhenQtCanReachIt) {
  SocketDir runtime;
  const std::string socketPath = runtime / "wayland-test";
  const TWaylandSocket compositor(socketPath, true);
  const TWaylandSocket frozen(runtime / "wayland-frozen", false);
  const std::string rt = runtime.Path();
  // An X display that refuses every connection.
  const TOwnDisplay refusing;
  const char* x = refusing.Name().c_str();
  const std::string unreachable = "DISPLAY=" + refusing.Name();

  using S = TDisplayState;
  struct Case {
    std::vector<std::pair<const char*, const char*>> env;
    TDisplayState state;
    std::string name;
  };
  const Case cases[] = {
      {{}, S::Missing, ""},
      {{{"DISPLAY", ""}}, S::Missing, ""},
      {{{"QT_QPA_PLATFORM", "xcb"}}, S::Missing, ""},
      {{{"DISPLAY", x}}, S::Unreachable, unreachable},
      {{{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", x}}, S::Unreachable, unreachable},
      {{{"WAYLAND_DISPLAY", "wayland-none"}, {"XDG_RUNTIME_DIR", rt.c_str()}},
       S::Unreachable, "WAYLAND_DISPLAY=wayland-none"},
      // An explicit platform that needs no display is not checked.
      {{{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", x}}, S::Available, ""},
      {{{"QT_QPA_PLATFORM", "minimal:enable_fonts"}}, S::Available, ""},
      {{{"QT_QPA_PLATFORM", "xcb;offscreen"}, {"DISPLAY", x}}, S::Available, ""},
      {{{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-test"},
        {"XDG_RUNTIME_DIR", rt.c_str()}},
       S::Available, ""},
      {{{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", socketPath.c_str()}},
       S::Available, ""},
      {{{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-frozen"},
        {"XDG_RUNTIME_DIR", rt.c_str()}},
       S::Unreachable, "WAYLAND_DISPLAY=wayland-frozen"},
  };
  for (const Case& c : cases) {
    TEnv env({});
    for (auto [name, value] : c.env) setenv(name, value, 1);
    TDisplayCheck check = CheckDisplay();
    std::string label = c.env.empty() ? "(none)" : std::string(c.env.back().second);
    EXPECT_EQ(check.state, c.state) << label;
    EXPECT_EQ(check.name, c.name) << label;
  }
}

// What a desktop shows as a window's title: Qt appends an application display
// name when one is set.
QString ShownTitle(const QString& title) {
  const QString name = QCoreApplication::applicationName();
  QCoreApplication::setApplicationName(QStringLiteral("probe"));
  const bool displayNameSet = QGuiApplication::applicationDisplayName() != "probe";
  QCoreApplication::setApplicationName(name);
  return displayNameSet ? title + QString::fromUtf8(" \u2014 ") +
                              QGuiApplication::applicationDisplayName()
                        : title;
}

// Notes the title of every dialog shown and closes it.
class TTitleNoter : public QObject {
public:
  QStringList titles;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (event->type() == QEvent::Show && dialog) {
      titles << ShownTitle(dialog->windowTitle());
      QTimer::singleShot(0, dialog, &QDialog::reject);
    }
    return false;
  }
};

class QtTextsTest : public ConfigTest {
protected:
  void SetUp() override {
    ConfigTest::SetUp();
    static bool setUp = false;
    if (!setUp) SetUpQtApplication(qApp);
    setUp = true;
  }
  void TearDown() override {
    ApplyQtLanguage();  // back to German with the fresh translation state
    ConfigTest::TearDown();
  }
};

TEST_F(QtTextsTest, WindowTitlesAreExactlyTheirOwn) {
  TFrmMain form;
  EXPECT_EQ(ShownTitle(form.windowTitle()), "Tidelarn V4.2.8 konfigurieren");

  const TDriverHost host = DriverHost();
  SetDriverHost(TDriverHost::ConfigProgram);
  TTitleNoter noter;
  qApp->installEventFilter(&noter);
  TQtPrompter prompter;
  prompter.MessageBox("Text", FromUtf8("Abschnitt löschen"), mb::YesNo);
  prompter.MessageBox("Text", "", mb::Ok);  // no caption of its own
  std::string value;
  prompter.InputBox("Neuen Abschnitt erzeugen", "Name?", value);
  qApp->removeEventFilter(&noter);
  SetDriverHost(host);
  EXPECT_EQ(noter.titles, QStringList({QString::fromUtf8("Abschnitt löschen"),
                                       QStringLiteral("Tidelarn V4.2.8"),
                                       QStringLiteral("Neuen Abschnitt erzeugen")}));
}

TEST_F(QtTextsTest, QtsOwnTextsFollowTheLanguage) {
  WriteFile(Path("Tidelarn.dat"), "[English]\r\nRuntime/x=y\r\n");
  DoneTranslation();  // read again, with the file
  const bool german = QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                                    QStringLiteral("/qtbase_de.qm"));
  struct Case {
    const char* language;
    const char* cancel;
  };
  const Case cases[] = {
      {"English", "Cancel"},
      {"Deutsch", german ? "Abbrechen" : "Cancel"},
      {"English", "Cancel"},
      {"Klingonisch", german ? "Abbrechen" : "Cancel"},  // no section: the built-in texts
  };
  for (const Case& c : cases) {
    SetLanguage(c.language);
    ApplyQtLanguage();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), c.cancel) << c.language;
  }
  // The desktop's file dialogs would not follow.
  EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_DontUseNativeDialogs));
}

TEST_F(QtTextsTest, QtsOwnStateStaysInTheSettingsFolder) {
  // Qt's own default: the user's configuration folder.
  TempDir home;
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(home / ".config"));
  SetUpQtApplication(qApp);  // as the program does at start
  { TFrmMain form; }  // its path edits keep file dialogs, which store their state as they go
  EXPECT_FALSE(QFile::exists(QString::fromStdString(home / ".config/QtProject.conf")));
  EXPECT_TRUE(QFile::exists(QString::fromStdString(Path("QtProject.conf"))));
}

}  // namespace
