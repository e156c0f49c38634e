// The offscreen Qt application of the widget tests and synthetic input.
#pragma once

#include <QPoint>
#include <Qt>

class QWidget;

// Makes the process's Qt application on the offscreen platform (once).
void EnsureTestApplication();
// As a fixture's first member: the application exists before any widget member.
struct TestApplication {
  TestApplication() { EnsureTestApplication(); }
};

// Mouse events as the window system delivers them; Pos is in Widget's
// coordinates. Move carries the buttons held.
void MousePress(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
void MouseMove(QWidget* widget, QPoint pos, Qt::MouseButtons held = Qt::LeftButton);
void MouseRelease(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
void KeyPress(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
