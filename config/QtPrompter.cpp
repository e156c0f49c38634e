#include "QtPrompter.h"

#include <QApplication>
#include <QHelpEvent>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QToolTip>
#include <QTranslator>

#include <clocale>


#include "CfgDialogs.h"
#include "DisplayProbe.h"
#include "FormTexts.h"
#include "TestAnswer.h"
#include "uDriver.h"
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

struct TButtonSet {
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton order[3];
};

TButtonSet ButtonsOf(unsigned flags) {
  using B = QMessageBox;
  switch (flags & mb::ButtonsMask) {
    case mb::OkCancel: return {B::Ok | B::Cancel, {B::Ok, B::Cancel, B::Cancel}};
    case mb::AbortRetryIgnore:
      return {B::Abort | B::Retry | B::Ignore, {B::Abort, B::Retry, B::Ignore}};
    case mb::YesNoCancel: return {B::Yes | B::No | B::Cancel, {B::Yes, B::No, B::Cancel}};
    case mb::YesNo: return {B::Yes | B::No, {B::Yes, B::No, B::No}};
    case mb::RetryCancel: return {B::Retry | B::Cancel, {B::Retry, B::Cancel, B::Cancel}};
    default: return {B::Ok, {B::Ok, B::Ok, B::Ok}};
  }
}

int AnswerOf(int button, unsigned flags) {
  switch (button) {
    case QMessageBox::Ok: return id::Ok;
    case QMessageBox::Cancel: return id::Cancel;
    case QMessageBox::Abort: return id::Abort;
    case QMessageBox::Retry: return id::Retry;
    case QMessageBox::Ignore: return id::Ignore;
    case QMessageBox::Yes: return id::Yes;
    case QMessageBox::No: return id::No;
    default: break;
  }
  // Closed without a button: what the box's escape would have answered.
  switch (flags & mb::ButtonsMask) {
    case mb::OkCancel:
    case mb::YesNoCancel:
    case mb::RetryCancel: return id::Cancel;
    case mb::YesNo: return id::No;
    case mb::AbortRetryIgnore: return id::Abort;
    default: return id::Ok;
  }
}

QMessageBox::Icon IconOf(unsigned flags) {
  switch (flags & mb::IconMask) {
    case mb::IconStop: return QMessageBox::Critical;
    case mb::IconQuestion: return QMessageBox::Question;
    case mb::IconExclamation: return QMessageBox::Warning;
    case mb::IconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

void SetQtArguments(int argc, char** argv) {
  gArgc = argc;
  gArgv = argv;
}

namespace {

const TDisplayCheck& DisplayCheck() {
  static const TDisplayCheck check = CheckDisplay();
  return check;
}

QTranslator* gQtTexts = nullptr;

}  // namespace

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
  gApp = new QApplication(gArgc, gArgv);
  SetUpQtApplication(gApp);
  return gApp;
}

void SetUpQtApplication(QApplication* app) {
  // Qt takes the locale from the environment; numbers keep their ".".
  std::setlocale(LC_NUMERIC, "C");
  // No display name: the desktop would append it to every window title.
  QApplication::setApplicationName(QStringLiteral("Tidelarn"));
  app->installEventFilter(new THintTime);
  // The desktop's own file dialogs would speak the desktop's language.
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
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

int TQtPrompter::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (!EnsureQtApplication()) return headless_.MessageBox(text, caption, flags);
  TButtonSet set = ButtonsOf(flags);
  // A box without a caption of its own carries the application's title.
  const std::string title = caption.empty() ? "Tidelarn V" + ProgramVersion() : caption;
  QMessageBox box(IconOf(flags), QStr(title), QStr(text), set.buttons,
                  QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  unsigned def = (flags & mb::DefButtonMask) >> 8;
  box.setDefaultButton(set.order[def < 3 ? def : 0]);
  return AnswerOf(box.exec(), flags);
}

bool TQtPrompter::InputBox(const std::string& title, const std::string& prompt,
                           std::string& value) {
  if (!EnsureQtApplication()) return headless_.InputBox(title, prompt, value);
  bool ok = false;
  QString answer = QInputDialog::getText(QApplication::activeWindow(), QStr(title), QStr(prompt),
                                         QLineEdit::Normal, QStr(value), &ok);
  if (ok) value = InternalStr(answer);
  return ok;
}

int TQtPrompter::ShowErrorOrDebug(TErrorDisplay& display) {
  if (!EnsureQtApplication()) return ShowErrorOnStderr(display);
  return ShowErrorOrDebugDialog(display);
}

void InstallQtPrompter() {
  static TQtPrompter prompter;
  SetPrompter(&prompter);
}
