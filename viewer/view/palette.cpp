// The Tool palette: four buttons picking the panes' mouse tool.
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "viewer/view/view.h"

namespace viewer::view {

namespace {
constexpr int kButton = 34;

// One row of the button strip, raised or pressed, with each tool's glyph.
QPixmap buttonRow(bool pressed) {
  QPixmap pm(4 * kButton, kButton);
  pm.fill(QColor(192, 192, 192));
  QPainter p(&pm);
  for (int b = 0; b < 4; ++b) {
    const QRect r(b * kButton, 0, kButton - 1, kButton - 1);
    p.setPen(pressed ? Qt::darkGray : Qt::white);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(pressed ? Qt::white : Qt::darkGray);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    if (pressed) p.fillRect(r.adjusted(1, 1, -1, -1), QColor(160, 160, 160));
    p.setPen(QPen(Qt::black, 2));
    const QPoint c = r.center() + (pressed ? QPoint(1, 1) : QPoint());
    switch (b + 1) {
      case display::kToolHand:
        p.drawRoundedRect(QRect(c.x() - 7, c.y() - 2, 14, 10), 3, 3);
        for (int f = 0; f < 4; ++f) p.drawLine(c.x() - 6 + 4 * f, c.y() - 2, c.x() - 6 + 4 * f, c.y() - 9);
        break;
      case display::kToolRectangle:
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawRect(QRect(c.x() - 9, c.y() - 7, 18, 14));
        break;
      case display::kToolZoom:
        p.drawEllipse(QPoint(c.x() - 2, c.y() - 2), 7, 7);
        p.drawLine(c.x() + 3, c.y() + 3, c.x() + 9, c.y() + 9);
        break;
      default:
        p.setBrush(Qt::black);
        p.drawPie(QRect(c.x() - 8, c.y() - 8, 16, 16), 90 * 16, 180 * 16);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRect(c.x() - 8, c.y() - 8, 16, 16));
        break;
    }
  }
  return pm;
}
}  // namespace

CToolPalette::CToolPalette(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName("Tool");
  setWindowTitle(QCoreApplication::translate("CMainFrame", "Tool"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CToolPalette::setTool(int tool) {
  if (tool < display::kToolHand || tool > display::kToolToneCurve) return;
  tool_ = tool;
  update();
  if (toolChanged) toolChanged(tool);
}

void CToolPalette::toolCommand(int command) {
  const int tool = toolOfCommand(command);
  if (tool) setTool(tool);
}

void CToolPalette::mousePressEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  if (p.y() < 0 || p.y() >= kButton || p.x() < 0) return;
  const int n = p.x() / kButton;
  if (n < 4) setTool(n + 1);
}

void CToolPalette::paintEvent(QPaintEvent*) {
  static const QPixmap raised = buttonRow(false), pressed = buttonRow(true);
  QPainter p(this);
  p.fillRect(rect(), QColor(192, 192, 192));
  p.drawPixmap(0, 0, raised);
  const int x = kButton * (tool_ - 1);
  p.drawPixmap(x, 0, pressed, x, 0, kButton, kButton);
}

}  // namespace viewer::view
