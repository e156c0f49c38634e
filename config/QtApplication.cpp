#include "QtApplication.h"

#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QLibraryInfo>
#include <QSettings>
#include <QToolTip>
#include <QTranslator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DisplayProbe.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestAnswer.h"
#include "uTransla.h"

namespace {

int gArgc = 0;
char** gArgv = nullptr;
char gFallbackName[] = "Tidelarn";
char* gFallbackArgv[] = {gFallbackName, nullptr};
QApplication* gApp = nullptr;

constexpr int kHintTimeMs = 100000;

// The settings form carries hints of several lines; they stay long enough to
// be read.
class THintTime : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ToolTip || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->toolTip().isEmpty()) return false;
    auto* help = static_cast<QHelpEvent*>(event);
    QToolTip::showText(help->globalPos(), widget->toolTip(), widget, {}, kHintTimeMs);
    return true;
  }
};

}  // namespace

void SetQtArguments(int argc, char** argv) {
  gArgc = argc;
  gArgv = argv;
}

namespace {

TDisplayCheck& DisplayCheck() {
  static TDisplayCheck check = CheckDisplay();
  return check;
}

QTranslator* gQtTexts = nullptr;

int gStartFailureExit = 1;
bool gStartFailureMessage = true;
QtMessageHandler gQtMessages = nullptr;

// Qt's platform ends the process when it cannot start. When the display the
// check reached a moment before has gone (a display server restarting), the
// program ends as for an unreachable display; any other cause is told in Qt's
// own words.
void QtStartMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    if (gQtMessages) gQtMessages(type, context, text);
    return;
  }
  const TDisplayCheck now = CheckDisplay();
  std::string line;
  if (now.state != TDisplayState::Available) {
    DisplayCheck() = now;
    if (gStartFailureMessage) line = ToUtf8(NoDisplayMessage()) + "\n";
  } else {
    line = text.toStdString() + "\n";
  }
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(nullptr);
  _exit(gStartFailureExit);  // in the middle of Qt's construction: nothing else may run
}

// Qt wants a private runtime folder (XDG_RUNTIME_DIR): a folder, not a link,
// of the user's own with mode 0700. Without one it says so on stderr, which is
// a server's log for the runner's boxes, and makes one in TMPDIR. A folder in
// the settings folder takes its place; Repair sets an own one to 0700.
bool PrivateFolder(const char* path, bool repair) {
  if (!path || *path != '/') return false;
  const int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool ok = fstat(fd, &st) == 0 && st.st_uid == geteuid() &&
                  ((st.st_mode & 07777) == 0700 || (repair && fchmod(fd, 0700) == 0));
  close(fd);
  return ok;
}

void ProvideRuntimeFolder(const std::string& settings) {
  if (PrivateFolder(std::getenv("XDG_RUNTIME_DIR"), false)) return;
  // What stands in the way (a file, a link, another user's folder such as one
  // left by a run under sudo) is neither followed nor changed: the next name
  // is taken, the same one at every run.
  for (int n = 1; n <= 9; ++n) {
    const std::string dir = settings + "runtime" + (n == 1 ? "" : "-" + std::to_string(n));
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return;
    if (PrivateFolder(dir.c_str(), true)) {
      setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
      return;
    }
  }
}

// The settings folder, or empty when it is refused: the refusal itself is
// being shown then.
std::string UsableSettingsDir() {
  try {
    return SettingsDir();
  } catch (const Exception&) {
    return {};
  }
}

}  // namespace

void SetQtStartFailure(int exitCode, bool withMessage) {
  gStartFailureExit = exitCode;
  gStartFailureMessage = withMessage;
}

std::string NoDisplayMessage() {
  if (DisplayCheck().state == TDisplayState::Unreachable)
    return TranslateFmt("Tidelarn.DisplayUnreachable",
                        "Das Konfigurationsprogramm braucht eine grafische Oberfläche; "
                        "\"%s\" ist nicht erreichbar.",
                        {DisplayCheck().name});
  return Translate("Tidelarn.NoDisplay",
                   "Das Konfigurationsprogramm braucht eine grafische Oberfläche (DISPLAY oder "
                   "WAYLAND_DISPLAY ist nicht gesetzt).");
}

QApplication* EnsureQtApplication() {
  if (gApp) return gApp;
  if (QCoreApplication::instance())
    return qobject_cast<QApplication*>(QCoreApplication::instance());
  if (DisplayCheck().state != TDisplayState::Available) return nullptr;
  if (!gArgv) {
    gArgc = 1;
    gArgv = gFallbackArgv;
  }
  if (const std::string settings = UsableSettingsDir(); !settings.empty())
    ProvideRuntimeFolder(settings);
  gQtMessages = qInstallMessageHandler(QtStartMessages);
  gApp = new QApplication(gArgc, gArgv);
  qInstallMessageHandler(gQtMessages);
  SetUpQtApplication(gApp);
  return gApp;
}

void SetUpQtApplication(QApplication* app) {
  // Qt takes the locale from the environment; numbers keep their ".".
  std::setlocale(LC_NUMERIC, "C");
  // No display name: the desktop would append it to every window title.
  QApplication::setApplicationName(QStringLiteral("Tidelarn"));
  app->installEventFilter(new THintTime(app));
  // The desktop's own file dialogs would speak the desktop's language.
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  // Qt's own state (the file dialogs' folders and views, QtProject.conf) goes
  // into the settings folder, the only one the programs write.
  if (const std::string dir = UsableSettingsDir(); !dir.empty()) {
    const QString settings = QFile::decodeName(QByteArray::fromStdString(dir));
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
      QSettings::setPath(format, QSettings::UserScope, settings);
  }
  ApplyQtLanguage();
  InstallTestAnswer(app);
}

void ApplyQtLanguage() {
  auto* app = QCoreApplication::instance();
  if (!app) return;
  if (!gQtTexts) {
    gQtTexts = new QTranslator(app);
    // Missing translation files leave it empty: Qt's English texts.
    (void)gQtTexts->load(QStringLiteral("qtbase_de"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  }
  // Settings that cannot be read leave the program's texts German: the
  // failure itself may be what is shown.
  bool german = true;
  try {
    german = GermanTexts();
  } catch (const Exception&) {
  }
  if (german)
    QCoreApplication::installTranslator(gQtTexts);
  else
    QCoreApplication::removeTranslator(gQtTexts);
}

void ReleaseQtApplication() {
  delete gApp;  // and with it the translator
  gApp = nullptr;
  gQtTexts = nullptr;
}
