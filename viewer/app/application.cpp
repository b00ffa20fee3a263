#include "viewer/app/application.h"

#include <QApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <cstdlib>

#include "platform/paths.h"
#include "platform/qt/prompt.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/main_window.h"
#include "viewer/app/pipeline.h"
#include "viewer/app/scan_bridge.h"
#include "viewer/app/texts.h"

namespace viewer::app {

namespace fs = std::filesystem;
using platform::qt::Buttons;
using platform::qt::Icon;

namespace {

// Open filter, string 65, in the form the Qt dialog takes.
const char* const kOpenFilter = QT_TRANSLATE_NOOP(
    "Tivola",
    "TIFF files(*.tif);;DICONDE files(*.dcm);;JPEG files(*.jpg);;BMP files(*.bmp);;PGM files(*.pgm);;All "
    "files(*.*)");

QWidget* makeSplash() {
  QPixmap art(500, 300);
  QPainter p(&art);
  QLinearGradient g(0, 0, 0, 300);
  g.setColorAt(0, QColor(20, 24, 32));
  g.setColorAt(1, QColor(90, 100, 120));
  p.fillRect(art.rect(), g);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setPointSize(28);
  p.setFont(f);
  p.drawText(art.rect(), Qt::AlignCenter, QStringLiteral("Tivola"));
  p.end();
  auto* splash = new QLabel(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint);
  splash->setAttribute(Qt::WA_DeleteOnClose);
  splash->setWindowTitle(QStringLiteral("Tivola version 1.1"));
  splash->setPixmap(art);
  splash->setScaledContents(true);
  splash->resize(500, 300);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect s = screen->geometry();
    splash->move(s.width() / 2 - 250, s.height() / 2 - 150);
  }
  splash->show();
  splash->repaint();
  QTimer::singleShot(2500, splash, &QWidget::close);
  return splash;
}

}  // namespace

StartEnvironment processEnvironment() {
  StartEnvironment env;
  env.iniPath = iniPathFor(platform::paths::programDir() / "Tivola");
  std::error_code ec;
  env.startDir = fs::current_path(ec);
  env.getenv = [](const char* name) { return static_cast<const char*>(std::getenv(name)); };
  env.now = std::time(nullptr);
  return env;
}

TivolaApp::TivolaApp() = default;
TivolaApp::~TivolaApp() {
  if (splash_) delete splash_.data();
}

bool TivolaApp::initInstance(const QStringList& args, const StartEnvironment& env) {
  env_ = env;
  if (env.splash) splash_ = makeSplash();
  startDir = env.startDir;
  workRoot = env.startDir;
  settings.load(env.iniPath, env.now);
  const WorkRoot decided = decideWorkRoot(settings, env.startDir, env.getenv);
  if (decided.privateMissing)
    platform::qt::prompt().message(nullptr, Tivola::tr("Select an existing folder for working directory"), QString(),
                                   Icon::Warning, Buttons::Ok);
  workRoot = decided.root;
  settings.handToFormats();

  // The Information palette's unit lists read and set these for the whole process.
  display::paletteSettings().scale = settings.scale;
  display::paletteSettings().value = settings.value;
  main_ = std::make_unique<MainWindow>(*this, env.iniPath);
  main_->newScan = [this] { newScan(); };
  QSize screen(1280, 1024);
  if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->geometry().size();
  main_->createPalettes(settings.infomation, settings.overview, screen);
  if (settings.main == 2) main_->showMaximized();
  else main_->show();
  ScanBridge::instance().attach(main_.get(), &settings, workRoot);

  if (args.isEmpty()) {
    // Nothing to open: when a digitizer answers, the operator starts with a scan.
    if (ScanBridge::instance().probe() != 0)
      QTimer::singleShot(0, main_.get(), [this] { newScan(); });
    return true;
  }
  // The first argument, or a path with blanks given without quotes.
  std::string path = args.first().toStdString();
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    const std::string joined = args.join(QLatin1Char(' ')).toStdString();
    if (fs::exists(joined, ec)) {
      path = joined;
    } else {
      if (splash_) splash_->close();
      platform::qt::prompt().message(nullptr, Tivola::tr("Failed to read image"), appCaption(), Icon::Warning,
                                     Buttons::Ok);
      return true;
    }
  }
  return openDocumentFile(path);
}

void TivolaApp::exitInstance() {
  // The palettes' states as the frame left them; the frame writes Main again when it goes.
  if (main_) {
    settings.infomation = main_->infoMode();
    settings.overview = main_->overviewShown() ? 1 : 0;
    settings.main = main_->isMaximized() ? 2 : 1;
  }
  settings.scale = display::paletteSettings().scale;
  settings.value = display::paletteSettings().value;
  settings.save(env_.iniPath);
}

bool TivolaApp::openDocumentFile(const std::string& path, bool dropped) {
  auto doc = std::make_unique<CTivolaDoc>();
  if (!openIntoDocument(*doc, OpenRequest{path, dropped}, settings, main_.get())) return false;
  const QString title = QString::fromStdString(doc->folderTitle.empty() ? fs::path(path).filename().string()
                                                                        : doc->folderTitle);
  main_->addDocument(std::move(doc), title);
  return true;
}

std::vector<std::string> TivolaApp::chooseFilesToOpen() {
  CMyFileDialogOpen dialog(settings.openSeries != 0, text(kOpenFilter), main_.get());
  // The last of the filters above, in the same language.
  dialog.selectNameFilter(Tivola::tr("All files(*.*)"));
  if (dialog.exec() != QDialog::Accepted) return {};
  settings.openSeries = dialog.openSeries() ? 1 : 0;
  std::vector<std::string> selection;
  for (const QString& f : dialog.selectedFiles()) selection.push_back(f.toStdString());
  return selection;
}

void TivolaApp::fileOpen() {
  const std::vector<std::string> selection = chooseFilesToOpen();
  if (selection.empty()) return;
  const PublishedSelection published(selection);
  openDocumentFile(selection.front());
}

void TivolaApp::newScan() {
  ScanBridge& bridge = ScanBridge::instance();
  // One run at a time: a second would remove the running one's work folder.
  if (bridge.running()) return;
  bridge.attach(main_.get(), &settings, workRoot);
  if (!bridge.makeWorkFolder()) return;
  auto doc = std::make_unique<CTivolaDoc>();
  if (bridge.scanRun(nullptr, doc->images) == 0) {
    bridge.removeWorkFolderIfEmpty();
    return;
  }
  // File New is posted; its document takes the scans in.
  scanned_ = std::move(doc);
  QTimer::singleShot(0, main_.get(), [this] {
    if (!scanned_ || !scanned_->takeScannedImages(0)) return;
    const QString title = QString::fromStdString(scanned_->title);
    main_->addDocument(std::move(scanned_), title);
  });
}

bool TivolaApp::openAndAdd(CTivolaDoc& doc) {
  const std::vector<std::string> selection = chooseFilesToOpen();
  if (selection.empty()) return false;
  const PublishedSelection published(selection);
  if (!openIntoDocument(doc, OpenRequest{selection.front(), false}, settings, main_.get())) return false;
  doc.postToViews(CTivolaDoc::kImageAdded);
  return true;
}

void TivolaApp::option() {
  OptionsDialog d(settings.showDicom, settings.useMih, settings.usePrivateTemp, settings.privateTempPath,
                  main_.get());
  const bool accepted = d.exec() == QDialog::Accepted;
  // The working folder was confirmed in its own dialog, for the next start,
  // whatever becomes of Options.
  if (d.workDirChanged) {
    settings.usePrivateTemp = d.usePrivateTemp;
    settings.privateTempPath = d.privateTempPath;
  }
  if (!accepted) return;
  settings.showDicom = d.showDicom();
  settings.useMih = d.useMih();
  settings.handToFormats();
}

void TivolaApp::about() {
  AboutDialog d(main_.get());
  d.exec();
}

}  // namespace viewer::app
