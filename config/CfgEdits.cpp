#include "CfgEdits.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

QWidget* MakePathEdit(QWidget* parent, const char* name, TPathKind kind) {
  auto* box = new QWidget(parent);
  box->setObjectName(QString::fromLatin1(name));
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  auto* field = new QLineEdit(box);
  auto* browse = new QToolButton(box);
  browse->setIcon(box->style()->standardIcon(QStyle::SP_DirOpenIcon));
  browse->setFocusPolicy(Qt::NoFocus);
  layout->addWidget(field, 1);
  layout->addWidget(browse);
  QObject::connect(browse, &QToolButton::clicked, box, [box, field, kind] {
    // Stored paths may use "\"; the dialog starts where the field points.
    QString start = field->text();
    start.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString chosen = kind == TPathKind::Directory
                         ? QFileDialog::getExistingDirectory(box, {}, start)
                         : QFileDialog::getOpenFileName(box, {}, start);
    if (!chosen.isEmpty()) field->setText(chosen);
  });
  return box;
}

QLineEdit* PathEditField(QWidget* pathEdit) { return pathEdit->findChild<QLineEdit*>(); }
