#include "QtMessageBox.h"

#include <QAbstractButton>
#include <QMessageBox>

#include "Prompter.h"

namespace {

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

struct TButtonAnswer {
  QMessageBox::StandardButton button;
  int answer;
  const char* name;
};

const TButtonAnswer kAnswers[] = {
    {QMessageBox::Ok, id::Ok, "butOk"},           {QMessageBox::Cancel, id::Cancel, "butCancel"},
    {QMessageBox::Abort, id::Abort, "butAbort"},  {QMessageBox::Retry, id::Retry, "butRetry"},
    {QMessageBox::Ignore, id::Ignore, "butIgnore"}, {QMessageBox::Yes, id::Yes, "butYes"},
    {QMessageBox::No, id::No, "butNo"},
};

int AnswerOf(int button, unsigned flags) {
  for (const TButtonAnswer& a : kAnswers)
    if (a.button == button) return a.answer;
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

int ExecMessageBox(const QString& title, const QString& text, unsigned flags, QWidget* parent) {
  TButtonSet set = ButtonsOf(flags);
  QMessageBox box(IconOf(flags), title, text, set.buttons, parent);
  box.setTextFormat(Qt::PlainText);
  unsigned def = (flags & mb::DefButtonMask) >> 8;
  box.setDefaultButton(set.order[def < 3 ? def : 0]);
  for (const TButtonAnswer& a : kAnswers)
    if (QAbstractButton* button = box.button(a.button))
      button->setObjectName(QString::fromLatin1(a.name));
  return AnswerOf(box.exec(), flags);
}
