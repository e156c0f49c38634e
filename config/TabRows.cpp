#include "TabRows.h"

#include <QMouseEvent>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

TTabRows::TTabRows(QTabWidget* tabs, QWidget* parent) : QWidget(parent), tabs_(tabs) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  tabs_->tabBar()->hide();
  connect(tabs_, &QTabWidget::currentChanged, this, [this] { Sync(); });
}

void TTabRows::Sync() {
  int before = rowCount_;
  Place();
  if (rowCount_ != before) updateGeometry();
  update();
}

QSize TTabRows::TabSize(int index) const {
  QStyleOptionTab opt;
  opt.initFrom(this);
  opt.shape = QTabBar::RoundedNorth;
  opt.text = tabs_->tabText(index);
  const QFontMetrics& fm = fontMetrics();
  QSize contents(fm.size(Qt::TextShowMnemonic, opt.text).width() +
                     style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &opt, this),
                 fm.height() + style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &opt, this));
  return style()->sizeFromContents(QStyle::CT_TabBarTab, &opt, contents, this);
}

int TTabRows::RowHeight() const {
  int h = 0;
  for (int i = 0; i < tabs_->count(); ++i) h = std::max(h, TabSize(i).height());
  return h;
}

std::vector<std::vector<int>> TTabRows::Rows(int width) const {
  std::vector<std::vector<int>> rows(1);
  int used = 0;
  for (int i = 0; i < tabs_->count(); ++i) {
    if (!tabs_->isTabVisible(i)) continue;
    int w = TabSize(i).width();
    if (!rows.back().empty() && used + w > width) {
      rows.emplace_back();
      used = 0;
    }
    rows.back().push_back(i);
    used += w;
  }
  // As with tabs in rows elsewhere: the current tab's row lies on the page.
  int current = tabs_->currentIndex();
  auto withCurrent = std::find_if(rows.begin(), rows.end(), [current](const std::vector<int>& r) {
    return std::find(r.begin(), r.end(), current) != r.end();
  });
  if (withCurrent != rows.end()) std::rotate(withCurrent, withCurrent + 1, rows.end());
  return rows;
}

void TTabRows::Place() {
  placed_.clear();
  const int width = std::max(this->width(), 1);
  const int h = RowHeight();
  std::vector<std::vector<int>> rows = Rows(width);
  rowCount_ = int(rows.size());
  for (int r = 0; r < rowCount_; ++r) {
    const std::vector<int>& row = rows[size_t(r)];
    int natural = 0;
    for (int i : row) natural += TabSize(i).width();
    // Several rows fill the width, so they stack evenly.
    int spare = rowCount_ > 1 ? std::max(0, width - natural) : 0;
    int x = 0;
    for (size_t k = 0; k < row.size(); ++k) {
      int w = TabSize(row[k]).width() + spare / int(row.size()) +
              (int(k) < spare % int(row.size()) ? 1 : 0);
      placed_.push_back({row[k], QRect(x, r * h, w, h), r});
      x += w;
    }
  }
}

QSize TTabRows::sizeHint() const {
  // Laid out: as many rows as the width needs; before that, the rows for the
  // width the pages ask for.
  int width =
      testAttribute(Qt::WA_Resized) || isVisible() ? this->width() : tabs_->sizeHint().width();
  int rows = int(Rows(std::max(width, 1)).size());
  return {width, rows * RowHeight()};
}

QSize TTabRows::minimumSizeHint() const { return {0, sizeHint().height()}; }

void TTabRows::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  int current = tabs_->currentIndex();
  for (const TPlaced& t : placed_) {
    QStyleOptionTab opt;
    opt.initFrom(this);
    opt.shape = QTabBar::RoundedNorth;
    opt.rect = t.rect;
    opt.text = tabs_->tabText(t.index);
    opt.row = t.row;
    if (t.index == current)
      opt.state |= QStyle::State_Selected;
    else
      opt.state &= ~QStyle::State_HasFocus;
    bool first = t.rect.left() == 0;
    bool last = t.rect.right() >= width() - 1;
    opt.position = first && last ? QStyleOptionTab::OnlyOneTab
                   : first       ? QStyleOptionTab::Beginning
                   : last        ? QStyleOptionTab::End
                                 : QStyleOptionTab::Middle;
    p.drawControl(QStyle::CE_TabBarTab, opt);
  }
}

void TTabRows::mousePressEvent(QMouseEvent* event) {
  for (const TPlaced& t : placed_)
    if (t.rect.contains(event->position().toPoint())) {
      tabs_->setCurrentIndex(t.index);
      return;
    }
}

void TTabRows::resizeEvent(QResizeEvent*) { Sync(); }

void TTabRows::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) Sync();
  QWidget::changeEvent(event);
}
