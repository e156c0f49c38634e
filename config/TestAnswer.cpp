#include "TestAnswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QInputDialog>
#include <QPointer>
#include <QTimer>

#include <cstdlib>

namespace {

class TTestAnswer : public QObject {
public:
  explicit TTestAnswer(QString answer, QObject* parent)
      : QObject(parent), answer_(std::move(answer)) {}

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (event->type() != QEvent::Show || !dialog || !dialog->isWindow()) return false;
    // Answered once the dialog runs its own loop.
    QTimer::singleShot(0, dialog, [this, target = QPointer<QDialog>(dialog)] {
      if (target && target->isVisible()) Answer(target);
    });
    return false;
  }

private:
  void Answer(QDialog* dialog) const {
    if (auto* input = qobject_cast<QInputDialog*>(dialog)) {
      input->setTextValue(answer_);
      input->accept();
      return;
    }
    auto* button = dialog->findChild<QAbstractButton*>(answer_);
    if (button && button->isEnabled()) {
      button->click();
      return;
    }
    dialog->reject();
  }

  QString answer_;
};

}  // namespace

void InstallTestAnswer(QApplication* app) {
  const char* answer = std::getenv("TIDELARN_TEST_ANSWER");
  if (!app || !answer || !*answer) return;
  app->installEventFilter(new TTestAnswer(QString::fromUtf8(answer), app));
}
