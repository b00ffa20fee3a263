#include "viewer/app/main_window.h"

#include <QDragEnterEvent>
#include <algorithm>
#include <QDropEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPointer>

#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "viewer/app/application.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/texts.h"

namespace viewer::app {

QImage displayImage(CImageItem& item) {
  if (!item.hasPixels()) return {};
  item.lut.maxValue = item.maxValue;
  item.lut.invertedImage = item.inverted;
  item.lut.setWindow(item.windowCentre, item.windowWidth, item.lut.userInvert);
  item.lut.build();
  QImage out(item.width(), item.height(), QImage::Format_Grayscale8);
  const bool wide = item.bytesPerSample() == 2;
  for (int y = 0; y < item.height(); ++y) {
    std::uint8_t* row = out.scanLine(y);
    const std::size_t base = std::size_t(y) * std::size_t(item.width());
    for (int x = 0; x < item.width(); ++x) {
      const unsigned v = wide ? item.data16()[base + std::size_t(x)] : item.data()[base + std::size_t(x)];
      row[x] = item.lut.table[v & 0x0FFF];
    }
  }
  return out;
}

ImageChild::ImageChild(std::unique_ptr<CTivolaDoc> doc, QWidget* parent) : QWidget(parent), doc_(std::move(doc)) {
  if (CImageItem* item = doc_->images.activeItem()) image_ = displayImage(*item);
  setMinimumSize(160, 120);
  QPointer<ImageChild> self(this);
  doc_->views = [self](int command) {
    if (self && command == CTivolaDoc::kImageAdded) self->refresh();
  };
}

void ImageChild::refresh() {
  image_ = QImage();
  if (CImageItem* item = doc_->images.activeItem()) image_ = displayImage(*item);
  if (!doc_->title.empty() && parentWidget() != nullptr)
    parentWidget()->setWindowTitle(QString::fromStdString(doc_->title));
  update();
}

QSize ImageChild::sizeHint() const {
  if (image_.isNull()) return {320, 240};
  return {std::clamp(image_.width(), 160, 800), std::clamp(image_.height(), 120, 600)};
}

void ImageChild::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::darkGray);
  if (image_.isNull()) return;
  // One image pixel per screen pixel when it fits, else the whole image scaled down.
  QSize shown = image_.size();
  if (shown.width() > width() || shown.height() > height()) shown.scale(size(), Qt::KeepAspectRatio);
  p.drawImage(QRect(QPoint(0, 0), shown), image_);
}

MainWindow::MainWindow(TivolaApp& app) : app_(app) {
  setWindowTitle(QStringLiteral("Tivola"));
  mdi_ = new QMdiArea(this);
  platform::qt::setControlId(mdi_, ids::kMdiArea);
  setCentralWidget(mdi_);
  setAcceptDrops(true);
  QMenu* file = menuBar()->addMenu(text("&File"));
  file->addAction(text("&Open...\tCtrl+O"), this, [this] { app_.fileOpen(); });
  file->addAction(text("New Scan"), this, [this] { app_.newScan(); });
  // The document's commands, enabled by its rules whenever the menu opens.
  using Scope = CTivolaDoc::Scope;
  QAction* save = file->addAction(text("&Save"), this, [this] {
    documentCommand([this](ImageChild& c) { c.document().save(app_.settings, app_.workRoot.string(), this); });
  });
  QAction* replica = file->addAction(text("Save &Replica..."), this, [this] {
    documentCommand([this](ImageChild& c) {
      c.document().saveReplica(Scope::All, text("Save Replica"), app_.settings, app_.workRoot.string(), this);
    });
  });
  QAction* selected = file->addAction(text("Save Se&lected Image..."), this, [this] {
    documentCommand([this](ImageChild& c) {
      c.document().saveReplica(Scope::Selected, text("Save Selected"), app_.settings, app_.workRoot.string(), this);
    });
  });
  QAction* current = file->addAction(text("Save Curren&t Image..."), this, [this] {
    documentCommand([this](ImageChild& c) {
      c.document().saveReplica(Scope::Current, text("Save Current"), app_.settings, app_.workRoot.string(), this);
    });
  });
  file->addAction(text("Op&en and Add Image..."), this, [this] {
    documentCommand([this](ImageChild& c) { app_.openAndAdd(c.document()); });
  });
  QAction* addScan = file->addAction(text("&Add Scan..."), this, [this] {
    documentCommand([](ImageChild& c) { c.document().addScan(); });
  });
  QAction* csv = file->addAction(text("Save ROI to CS&V file..."), this, [this] {
    documentCommand([this](ImageChild& c) {
      const QString path = platform::qt::prompt().saveFileName(this, text("Save ROI to CSV file"), QString(),
                                                               QStringLiteral("CSV files(*.csv)"));
      if (!path.isEmpty()) c.document().saveRoiToCsv(path.toStdString(), app_.settings.value == 1, this);
    });
  });
  connect(file, &QMenu::aboutToShow, this, [=, this] {
    ImageChild* c = activeChild();
    save->setEnabled(c && c->document().canSave());
    replica->setEnabled(c && c->document().canSaveReplica());
    selected->setEnabled(c != nullptr);
    current->setEnabled(c != nullptr);
    addScan->setEnabled(c != nullptr);
    csv->setEnabled(c && c->document().canSaveRoiToCsv());
  });
  file->addAction(text("&Options..."), this, [this] { app_.option(); });
  file->addSeparator();
  file->addAction(text("E&xit"), this, [this] { close(); });
  QMenu* help = menuBar()->addMenu(text("&Help"));
  help->addAction(text("&About Tivola..."), this, [this] { app_.about(); });
  resize(1024, 768);
}

ImageChild* MainWindow::addDocument(std::unique_ptr<CTivolaDoc> doc, const QString& title) {
  auto* child = new ImageChild(std::move(doc));
  QMdiSubWindow* sub = mdi_->addSubWindow(child);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->setWindowTitle(title);
  sub->show();
  sub->adjustSize();
  return child;
}

ImageChild* MainWindow::activeChild() const {
  QMdiSubWindow* sub = mdi_->activeSubWindow();
  if (sub == nullptr && !mdi_->subWindowList().isEmpty()) sub = mdi_->subWindowList().last();
  return sub ? dynamic_cast<ImageChild*>(sub->widget()) : nullptr;
}

void MainWindow::documentCommand(const std::function<void(ImageChild&)>& command) {
  if (ImageChild* c = activeChild()) {
    command(*c);
    c->refresh();
  }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) app_.openDocumentFile(url.toLocalFile().toStdString(), true);
  event->acceptProposedAction();
}

}  // namespace viewer::app
