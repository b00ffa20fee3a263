// The multi-document main window and, until the real view lands, a plain
// child window per document that shows its current image.
#pragma once
#include <QImage>
#include <QMainWindow>
#include <functional>
#include <memory>

#include "viewer/app/pipeline.h"

class QMdiArea;

namespace viewer::app {

class TivolaApp;

// The current image as 8-bit grey through its display table.
QImage displayImage(CImageItem& item);

class ImageChild : public QWidget {
 public:
  explicit ImageChild(std::unique_ptr<CTivolaDoc> doc, QWidget* parent = nullptr);
  CTivolaDoc& document() { return *doc_; }
  // Shows the current image again, and the document's title.
  void refresh();
  // The image's size, within what a child window may start with.
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<CTivolaDoc> doc_;
  QImage image_;
};

class MainWindow : public QMainWindow {
 public:
  explicit MainWindow(TivolaApp& app);
  QMdiArea* mdiArea() const { return mdi_; }
  // Shows a document that holds at least one image in its own child window.
  ImageChild* addDocument(std::unique_ptr<CTivolaDoc> doc, const QString& title);
  // The document of the active child window, or null.
  ImageChild* activeChild() const;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void documentCommand(const std::function<void(ImageChild&)>& command);
  TivolaApp& app_;
  QMdiArea* mdi_;
};

}  // namespace viewer::app
