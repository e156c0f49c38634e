// Small drawing, window and command-line helpers shared by the edit widgets.
#pragma once

#include <QColor>
#include <QCursor>
#include <QImage>
#include <QRect>
#include <QString>

#include <string>
#include <string_view>

class QFontMetrics;
class QWidget;

inline int LargerOf(int a, int b) { return a > b ? a : b; }
inline int SmallerOf(int a, int b) { return a < b ? a : b; }
inline int WidthOfRect(const QRect& r) { return r.width(); }
inline int HeightOfRect(const QRect& r) { return r.height(); }

// The "disabled" look of a glyph: a picture of Bitmap's size filled with
// BackColor, every pixel of Bitmap that is not TransparentColor drawn in
// ShadowColor, and, WithHighlight, first once more one pixel down and right in
// HighlightColor.
QImage MakeEmbossedGlyph(const QImage& bitmap, QColor transparentColor, QColor backColor,
                         bool withHighlight, QColor shadowColor, QColor highlightColor);
// The embossed look in the button colours of the application's palette.
QImage MakeDisabledGlyph(const QImage& bitmap, QColor transparentColor);

// R moved (not resized) into Screen: right and bottom edges pulled in first,
// then left and top pushed to the screen's edges.
QRect KeepRectOnScreen(QRect r, const QRect& screen);
// Puts a top-level window in the middle of its screen, kept inside it.
void CenterOnScreen(QWidget* window);

// S shortened from the end, with "..." appended, until it is at most MaxWidth
// wide in Metrics.
QString EllipsizeToWidth(const QString& s, const QFontMetrics& metrics, int maxWidth);

// Splits a command line into its first word and the rest. Words are separated
// by bytes up to 32; a pair of double quotes between words is skipped; text in
// double quotes belongs to its word, the quotes removed. The rest comes back
// joined with single blanks, a word holding a blank (or another separator)
// put in double quotes.
// Words have no length limit.
void SplitProgramAndParams(std::string_view cmdLine, std::string& program, std::string& params);

// File names are used as they are.
inline std::string FileNameAsIs(std::string_view s) { return std::string(s); }

// True when the active window is one of this program's.
bool ActiveWindowIsOurs();

// The program's own cursors by their numbers: a pointing hand and a dragging
// hand. Other numbers give the arrow.
enum : int { crRxHand = 14000, crRxDrag = 14001 };
QCursor RxCursor(int id);
