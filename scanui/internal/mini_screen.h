// CMiniScreen: the scan dialog's film preview, 2 mm a cell, with the marquee
// that the operator drags to choose the scan region. Its cells live in the
// dialog object's PreviewModel, so a scout image outlives the window.
#pragma once

#include <QWidget>
#include <functional>

#include "scanui/internal/preview_model.h"
#include "scanui/internal/region.h"

namespace scanui::internal {

class CMiniScreen : public QWidget {
 public:
  // `marqueeDrawn` runs after the event that changed the region has been handled.
  CMiniScreen(PreviewModel& model, ScanRegion& region, std::function<void()> marqueeDrawn, QWidget* parent);

  // The marquee from the region, repainted.
  void redrawMarquee();
  // One step of the dotted marquee's animation.
  void advancePhase();
  int phase() const { return phase_; }
  // The cursor shape for a hit code.
  static Qt::CursorShape cursorFor(int hitCode);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void regionFromMarquee();

  PreviewModel& model_;
  ScanRegion& region_;
  std::function<void()> marqueeDrawn_;
  bool dragging_ = false;
  int hit_ = kHitOutside;
  Point last_;
  Rect drag_;
  int phase_ = 0;
};

}  // namespace scanui::internal
