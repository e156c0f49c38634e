#include "WidgetTestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSettings>
#include <QWidget>

#include <cstdlib>

#include "TestSupport.h"

void EnsureTestApplication() {
  static int argc = 1;
  static char name[] = "test_widgets";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt's runtime folder stays in the test's own folder, not in TMPDIR.
  static TempDir runtime;
  setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
  new QApplication(argc, argv);
  // The file dialogs' state stays out of the user's ~/.config.
  static TempDir qtState;
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(qtState.Path()));
}

namespace {

void Send(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
          Qt::MouseButtons buttons) {
  const QPointF local(pos);
  QMouseEvent event(type, local, QPointF(widget->mapToGlobal(pos)), button, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

}  // namespace

void MousePress(QWidget* widget, QPoint pos, Qt::MouseButton button) {
  Send(widget, QEvent::MouseButtonPress, pos, button, button);
}

void MouseMove(QWidget* widget, QPoint pos, Qt::MouseButtons held) {
  Send(widget, QEvent::MouseMove, pos, Qt::NoButton, held);
}

void MouseRelease(QWidget* widget, QPoint pos, Qt::MouseButton button) {
  Send(widget, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

void KeyPress(QWidget* widget, int key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent event(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(widget, &event);
}
