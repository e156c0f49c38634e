#include "DlgTools.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "FormTexts.h"

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(QUtf8(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, bool bold) {
  auto* label = new QLabel(QUtf8(caption), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setWordWrap(true);
  }
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int maxLength) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  if (maxLength > 0) edit->setMaxLength(maxLength);
  return edit;
}

QBoxLayout* MakeOkAbortRow(QDialog* dialog, QPushButton*& butOk, QPushButton*& butAbort) {
  butOk = MakeButton(dialog, "butOk", "&OK");
  butOk->setDefault(true);
  butAbort = MakeButton(dialog, "butAbort", "Abbruch");
  QObject::connect(butAbort, &QPushButton::clicked, dialog, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(butOk);
  row->addWidget(butAbort);
  return row;
}

void LayOutGridDialog(QDialog* dialog, QLayout* grid, QWidget* note, QPushButton*& butOk,
                      QPushButton*& butAbort) {
  auto* column = new QVBoxLayout(dialog);
  column->addLayout(grid);
  if (note) {
    column->addSpacing(8);
    column->addWidget(note);
  }
  column->addStretch(1);
  if (!note) column->addSpacing(8);
  column->addLayout(MakeOkAbortRow(dialog, butOk, butAbort));
}
