// The Qt message box for the engine's box flags, shared by the configuration
// program and the message-box helper the runner starts.
#pragma once

#include <QString>

class QWidget;

// Shows Text under Title with the buttons, icon and default button of Flags
// (mb::...) and returns the button pressed (id::...); closing the box answers
// what its escape would. The buttons are named "butOk", "butYes", ... so that
// a test answer can press them.
int ExecMessageBox(const QString& title, const QString& text, unsigned flags,
                   QWidget* parent = nullptr);
