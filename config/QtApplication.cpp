#include "QtApplication.h"

#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QLibraryInfo>
#include <QSettings>
#include <QToolTip>
#include <QTranslator>

#include <unistd.h>

#include <clocale>
#include <cstdio>

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

// Qt's platform ends the process when it cannot connect, though the check
// connected a moment before (a display server restarting): the program ends as
// for an unreachable display instead.
void QtStartMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    if (gQtMessages) gQtMessages(type, context, text);
    return;
  }
  DisplayCheck() = LostDisplay();
  if (gStartFailureMessage) {
    const std::string line = ToUtf8(NoDisplayMessage()) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
  std::fflush(nullptr);
  _exit(gStartFailureExit);  // in the middle of Qt's construction: nothing else may run
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
  const QString settings = QFile::decodeName(QByteArray::fromStdString(SettingsDir()));
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, settings);
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
  if (GermanTexts())
    QCoreApplication::installTranslator(gQtTexts);
  else
    QCoreApplication::removeTranslator(gQtTexts);
}

void ReleaseQtApplication() {
  delete gApp;  // and with it the translator
  gApp = nullptr;
  gQtTexts = nullptr;
}
