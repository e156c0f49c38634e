// The path edits of the settings form: a directory or file-name field with a
// browse button. The form makes them only here and reaches their field only
// through PathEditField, so other edit widgets can take their place here.
#pragma once

class QLineEdit;
class QWidget;

enum class TPathKind { Directory, FileName };

// A path edit named Name (the name its texts are translated by).
QWidget* MakePathEdit(QWidget* parent, const char* name, TPathKind kind);
// The text field of a path edit.
QLineEdit* PathEditField(QWidget* pathEdit);
