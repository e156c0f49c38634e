// Small pieces the dialogs share: named controls (the names are the keys of
// their translated texts), the OK/Abbruch row and the general exception
// message of a handler.
#pragma once

#include <exception>

#include "Prompter.h"
#include "SysUtils.h"

class QBoxLayout;
class QDialog;
class QLabel;
class QLineEdit;
class QLayout;
class QPushButton;
class QWidget;

// Captions are German texts of the source (UTF-8).
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption);
QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, bool bold = false);
QLineEdit* MakeEdit(QWidget* parent, const char* name, int maxLength = 0);
// butOk ("&OK", the default button) and butAbort ("Abbruch", closes with
// Cancel), right-aligned. OK is left for the dialog to connect.
QBoxLayout* MakeOkAbortRow(QDialog* dialog, QPushButton*& butOk, QPushButton*& butAbort);
// The body of a small settings dialog: its grid, an optional note under it,
// free room, and the OK/Abbruch row at the bottom.
void LayOutGridDialog(QDialog* dialog, QLayout* grid, QWidget* note, QPushButton*& butOk,
                      QPushButton*& butAbort);

// Runs a handler of a control: an exception shows its message and ends only
// the handler, the dialog stays as it is.
template <class F>
void Guarded(F&& handler) {
  try {
    handler();
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    Prompter().MessageBox(e.what(), "", mb::Ok | mb::IconStop);
  }
}
