// The tabs of a tab widget in as many rows as the width needs, the row of the
// current tab next to the page. The tab widget keeps the pages, the current
// index and the tabs' texts and visibility; its own tab bar is hidden.
#pragma once

#include <QWidget>

#include <vector>

class QTabWidget;

class TTabRows : public QWidget {
  Q_OBJECT

public:
  explicit TTabRows(QTabWidget* tabs, QWidget* parent = nullptr);

  // Takes over changed texts or visibility of the tabs.
  void Sync();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  struct TPlaced {
    int index;
    QRect rect;
    int row;
  };
  QSize TabSize(int index) const;
  // Visible tabs in rows for Width, the current tab's row last.
  std::vector<std::vector<int>> Rows(int width) const;
  int RowHeight() const;
  void Place();

  QTabWidget* tabs_;
  std::vector<TPlaced> placed_;
  int rowCount_ = 1;
};
