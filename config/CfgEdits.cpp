#include "CfgEdits.h"

#include <QLineEdit>

#include "ToolEdit.h"

QWidget* MakePathEdit(QWidget* parent, const char* name, TPathKind kind) {
  TFileDirEdit* edit = kind == TPathKind::Directory
                           ? static_cast<TFileDirEdit*>(new TDirectoryEdit(parent))
                           : new TFilenameEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  return edit;
}

QLineEdit* PathEditField(QWidget* pathEdit) { return qobject_cast<QLineEdit*>(pathEdit); }
