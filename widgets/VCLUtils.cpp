#include "VCLUtils.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPalette>
#include <QScreen>
#include <QWidget>

#include <algorithm>

QImage MakeEmbossedGlyph(const QImage& bitmap, QColor transparentColor, QColor backColor,
                         bool withHighlight, QColor shadowColor, QColor highlightColor) {
  const QImage source = bitmap.convertToFormat(QImage::Format_ARGB32);
  QImage result(source.size(), QImage::Format_RGB32);
  result.fill(backColor);
  const QRgb transparent = transparentColor.rgb();
  const QRgb shadow = shadowColor.rgb();
  const QRgb highlight = highlightColor.rgb();
  const int w = source.width(), h = source.height();
  // Fully transparent pixels count as TransparentColor. The highlight goes
  // first, so that the shadow covers it where they meet.
  for (int pass = withHighlight ? 0 : 1; pass < 2; ++pass) {
    const int off = pass == 0 ? 1 : 0;
    for (int y = 0; y + off < h; ++y) {
      const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
      QRgb* out = reinterpret_cast<QRgb*>(result.scanLine(y + off));
      for (int x = 0; x + off < w; ++x)
        if (qAlpha(in[x]) != 0 && (in[x] | 0xFF000000u) != transparent)
          out[x + off] = pass == 0 ? highlight : shadow;
    }
  }
  return result;
}

QImage MakeDisabledGlyph(const QImage& bitmap, QColor transparentColor) {
  const QPalette pal = QApplication::palette();
  return MakeEmbossedGlyph(bitmap, transparentColor, pal.color(QPalette::Button), true,
                           pal.color(QPalette::Dark), pal.color(QPalette::Light));
}

QRect KeepRectOnScreen(QRect r, const QRect& screen) {
  if (r.right() > screen.right()) r.moveRight(screen.right());
  if (r.bottom() > screen.bottom()) r.moveBottom(screen.bottom());
  if (r.left() < screen.left()) r.moveLeft(screen.left());
  if (r.top() < screen.top()) r.moveTop(screen.top());
  return r;
}

void CenterOnScreen(QWidget* window) {
  const QScreen* screen = window->screen();
  if (!screen) return;
  const QRect area = screen->geometry();
  QRect r = window->frameGeometry();
  r.moveTo(area.left() + (area.width() - r.width()) / 2,
           area.top() + (area.height() - r.height()) / 2);
  window->move(KeepRectOnScreen(r, area).topLeft());
}

QString EllipsizeToWidth(const QString& s, const QFontMetrics& metrics, int maxWidth) {
  if (metrics.horizontalAdvance(s) <= maxWidth) return s;
  const QString dots = QStringLiteral("...");
  for (qsizetype n = s.size() - 1; n > 0; --n) {
    QString shorter = s.left(n) + dots;
    if (metrics.horizontalAdvance(shorter) <= maxWidth) return shorter;
  }
  return dots;
}

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The next word of a command line from I on, with its quotes removed; I ends
// behind it. Empty when the line holds no further word.
std::string NextWord(std::string_view s, size_t& i) {
  for (;;) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i + 1 < s.size() && s[i] == '"' && s[i + 1] == '"')
      i += 2;
    else
      break;
  }
  std::string word;
  while (i < s.size() && !IsBlank(s[i])) {
    if (s[i] == '"') {
      size_t close = s.find('"', i + 1);
      if (close == std::string_view::npos) close = s.size();
      word.append(s.substr(i + 1, close - i - 1));
      i = close < s.size() ? close + 1 : close;
    } else {
      word += s[i++];
    }
  }
  return word;
}

}  // namespace

void SplitProgramAndParams(std::string_view cmdLine, std::string& program, std::string& params) {
  program.clear();
  params.clear();
  size_t i = 0;
  bool first = true;
  while (i < cmdLine.size()) {
    std::string word = NextWord(cmdLine, i);
    if (word.empty()) continue;
    if (first) {
      program = std::move(word);
      first = false;
      continue;
    }
    if (!params.empty()) params += ' ';
    // Any separator byte, not only a blank, keeps the word whole when the
    // parameters are split again.
    if (std::any_of(word.begin(), word.end(), IsBlank))
      params += '"' + word + '"';
    else
      params += word;
  }
}

bool ActiveWindowIsOurs() { return QApplication::activeWindow() != nullptr; }

QCursor RxCursor(int id) {
  switch (id) {
    case crRxHand:
      return QCursor(Qt::PointingHandCursor);
    case crRxDrag:
      return QCursor(Qt::ClosedHandCursor);
    default:
      return QCursor(Qt::ArrowCursor);
  }
}
