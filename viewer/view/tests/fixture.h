// A document of small synthetic images, a tool palette and a shown view.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <memory>
#include <vector>

#include "viewer/view/view.h"

namespace viewer::view::viewtest {

inline std::unique_ptr<CImageItem> makeImage(int w, int h, int seed = 0) {
  auto item = std::make_unique<CImageItem>();
  EXPECT_TRUE(item->allocate(2, w, h));
  for (int i = 0; i < w * h; ++i) item->data16()[i] = std::uint16_t((i * 37 + seed * 911) % 4096);
  item->bitsStored = 12;
  item->maxValue = 4095;
  item->setRoi(Rect{});
  item->applyLoadDefaults();
  return item;
}

struct Document : ImageSource {
  int imageCount() const override { return int(images.size()); }
  CImageItem* imageAt(int i) const override {
    return i >= 0 && i < int(images.size()) ? images[std::size_t(i)].get() : nullptr;
  }
  std::vector<std::unique_ptr<CImageItem>> images;
};

struct Viewer {
  Viewer(int n, int w, int h, QSize size = QSize(400, 400)) {
    for (int i = 0; i < n; ++i) doc.images.push_back(makeImage(w, h, i));
    view = std::make_unique<CTivolaView>(&doc, &tools);
    view->setKeyboardQuery([this] { return keys; });
    view->resize(size);
    view->initialUpdate();
    view->show();
    QApplication::processEvents();
  }
  ~Viewer() { view.reset(); }

  Document doc;
  CToolPalette tools;
  KeyState keys;
  std::unique_ptr<CTivolaView> view;
};

// Mouse events straight to a pane, as a grabbing pane receives them even
// outside its rectangle.
inline void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button,
                  Qt::KeyboardModifiers mods = Qt::NoModifier) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                held, mods);
  QApplication::sendEvent(w, &e);
}
inline void press(QWidget* w, QPoint at, Qt::KeyboardModifiers m = Qt::NoModifier) {
  mouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, m);
}
inline void move(QWidget* w, QPoint at, Qt::KeyboardModifiers m = Qt::NoModifier) {
  mouse(w, QEvent::MouseMove, at, Qt::LeftButton, m);
}
inline void release(QWidget* w, QPoint at, Qt::KeyboardModifiers m = Qt::NoModifier) {
  mouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, m);
}

}  // namespace viewer::view::viewtest
