// The main frame and the child frame of the viewer.
#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMimeData>
#include <QStatusBar>
#include <QWindow>
#include <algorithm>

#include "platform/ini.h"
#include "viewer/view/view.h"

namespace viewer::view {

namespace {
bool gDropping = false;

QString frameText(const char* text) { return QCoreApplication::translate("CMainFrame", text); }

// A floating palette of the frame: a tool window owned by it.
QWidget* makePalette(QWidget* owner, const char* title, QRect place) {
  auto* w = new QWidget(owner, Qt::Tool);
  w->setObjectName(title);
  w->setWindowTitle(frameText(title));
  w->setGeometry(place);
  return w;
}
}  // namespace

CChildFrame::CChildFrame(CTivolaView* view, QWidget* parent) : QMdiSubWindow(parent), view_(view) {
  setWidget(view);
  setAttribute(Qt::WA_DeleteOnClose);
}

CMainFrame::CMainFrame(std::filesystem::path ini, QWidget* parent) : QMainWindow(parent), ini_(std::move(ini)) {
  mdi_ = new QMdiArea(this);
  setCentralWidget(mdi_);
  setAcceptDrops(true);
  status_ = new QLabel(this);
  status_->setObjectName("59393");
  statusBar()->addWidget(status_, 1);
  // The two indicator panes.
  for (const char* indicator : {"CAP", "NUM"}) statusBar()->addPermanentWidget(new QLabel(frameText(indicator), this));
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] { followActivation(); });
}

void CMainFrame::followActivation() {
  // Qt draws an inactive window from the palette's Inactive group; the
  // captions themselves are the window manager's to draw.
  const QWidget* active = QApplication::activeWindow();
  const bool ours = active != nullptr && (active == this || active == tool_ || active == info_ || active == overview_);
  QPalette p = QApplication::palette(this);
  if (ours)
    for (int role = 0; role < QPalette::NColorRoles; ++role)
      if (role != QPalette::NoRole) p.setColor(QPalette::Inactive, QPalette::ColorRole(role), p.color(QPalette::Active, QPalette::ColorRole(role)));
  setPalette(p);
}

CMainFrame::~CMainFrame() {
  platform::ini::writeInt(ini_, "Window", "Main", isMaximized() ? 2 : 1);
}

void CMainFrame::createPalettes(int infomation, int overview, QSize screen) {
  tool_ = new CToolPalette(this);
  // The panes show the new tool's cursor at once, not at the next move.
  tool_->toolChanged = [this](int) {
    for (QMdiSubWindow* w : mdi_->subWindowList())
      if (auto* child = dynamic_cast<CChildFrame*>(w)) child->view()->updateCursors();
  };
  tool_->setGeometry(0, 40, 140, 54);
  tool_->show();
  info_ = makePalette(this, QT_TRANSLATE_NOOP("CMainFrame", "Information"), QRect(0, 94, 140, 250));
  info_->show();
  command(infomation == 0 ? ID_HIDE_INFO : infomation == 2 ? ID_FULL_INFO : ID_SHORT_INFO);
  overview_ = makePalette(this, QT_TRANSLATE_NOOP("CMainFrame", "OverView"), QRect(0, 344, 140, 20));
  overview_->setVisible(overview == 1);
  profile_ = makePalette(this, QT_TRANSLATE_NOOP("CMainFrame", "Profile"), QRect(140, 0, 200, 200));
  profile_->hide();
  const int right = std::max(screen.width(), 141);
  setGeometry(140, 0, right - 140, std::max(screen.height() - 25, 1));
}

CChildFrame* CMainFrame::addView(CTivolaView* view) {
  auto* child = new CChildFrame(view);
  mdi_->addSubWindow(child);
  child->showMaximized();
  return child;
}

int CMainFrame::currentTool() const { return tool_ ? tool_->currentTool() : display::kToolRectangle; }

void CMainFrame::toolCommand(int id) {
  if (tool_) tool_->toolCommand(id);
}

bool CMainFrame::dropInProgress() { return gDropping; }

void CMainFrame::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* e) {
  QStringList files;
  for (const QUrl& url : e->mimeData()->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  if (files.isEmpty() || !openFiles) return;
  e->acceptProposedAction();
  gDropping = true;
  openFiles(files);
  gDropping = false;
}

void CMainFrame::setStatusImage(const CImageItem* image) {
  status_->setText(image ? statusText(QString::fromStdString(image->sourcePath), image->bitsStored, image->width(),
                                      image->height())
                         : QString());
}

QString CMainFrame::statusMessage() const { return status_->text(); }

bool CMainFrame::commandChecked(int id) const {
  switch (id) {
    case ID_HIDE_INFO: return infoMode_ == 0;
    case ID_SHORT_INFO: return infoMode_ == 1;
    case ID_FULL_INFO: return infoMode_ == 2;
    case ID_OVERVIEW_WINDOW: return overview_ && overview_->isVisible();
    case ID_HORIZONTAL_PROFILE: return profileMode_ == 1;
    case ID_VERTICAL_PROFILE: return profileMode_ == 2;
    case ID_TOOLBOX: return tool_ && tool_->isVisible();
    default: return toolOfCommand(id) != 0 && toolOfCommand(id) == currentTool();
  }
}

bool CMainFrame::command(int id) {
  if (const int tool = toolOfCommand(id)) {
    if (tool_) tool_->setTool(tool);
    return true;
  }
  switch (id) {
    case ID_HIDE_INFO:
    case ID_SHORT_INFO:
    case ID_FULL_INFO: {
      if (!info_) return true;
      infoMode_ = id - ID_HIDE_INFO;
      info_->setVisible(infoMode_ != 0);
      if (infoMode_ == 2 && overview_ && overview_->isVisible() && info_->geometry().intersects(overview_->geometry()))
        info_->move(info_->x(), overview_->geometry().bottom() + 1);
      platform::ini::writeInt(ini_, "Window", "Infomation", infoMode_);
      return true;
    }
    case ID_OVERVIEW_WINDOW:
      if (!overview_) return true;
      overview_->setVisible(!overview_->isVisible());
      platform::ini::writeInt(ini_, "Window", "Overview", overview_->isVisible() ? 1 : 0);
      return true;
    case ID_HORIZONTAL_PROFILE:
    case ID_VERTICAL_PROFILE: {
      if (!profile_) return true;
      const int mode = id == ID_HORIZONTAL_PROFILE ? 1 : 2;
      if (profileMode_ == mode) {
        profileMode_ = 0;
        profile_->hide();
      } else {
        profileMode_ = mode;
        profile_->show();
        profile_->update();
        activateWindow();
      }
      return true;
    }
    case ID_TOOLBOX:
      if (tool_) tool_->setVisible(!tool_->isVisible());
      return true;
    case ID_FIND:
      // No program-manager window exists on this desktop, so there is nothing to send.
      return true;
    default: return false;
  }
}

}  // namespace viewer::view
