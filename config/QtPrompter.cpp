#include "QtPrompter.h"

#include <QApplication>
#include <QInputDialog>

#include "CfgDialogs.h"
#include "FormTexts.h"
#include "QtMessageBox.h"
#include "uDriver.h"

int TQtPrompter::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (!EnsureQtApplication()) return headless_.MessageBox(text, caption, flags);
  // A box without a caption of its own carries the application's title.
  const std::string title = caption.empty() ? "Tidelarn V" + ProgramVersion() : caption;
  return ExecMessageBox(QStr(title), QStr(text), flags, QApplication::activeWindow());
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
