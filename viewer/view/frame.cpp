// The main frame and the child frame of the viewer.
#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QHideEvent>
#include <QShowEvent>
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
  for (const char* indicator : {QT_TRANSLATE_NOOP("CMainFrame", "CAP"), QT_TRANSLATE_NOOP("CMainFrame", "NUM")})
    statusBar()->addPermanentWidget(new QLabel(frameText(indicator), this));
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
  // The views die after this frame's own part, so none may call back into it;
  // a closed child awaiting deletion is no longer in the window list, and
  // the view has no meta-object of its own, hence the search by dynamic_cast.
  for (QWidget* w : findChildren<QWidget*>())
    if (auto* view = dynamic_cast<CTivolaView*>(w)) view->setPaletteLink(nullptr);
}

void CMainFrame::createPalettes(int infomation, int overview, QSize screen) {
  // Each palette's window frame stands at its place; the frame's caption and
  // borders come on top of the client size.
  tool_ = new CToolPalette(this);
  // The panes show the new tool's cursor at once, not at the next move.
  tool_->toolChanged = [this](int) {
    for (QMdiSubWindow* w : mdi_->subWindowList())
      if (auto* child = dynamic_cast<CChildFrame*>(w)) child->view()->updateCursors();
  };
  tool_->resize(140, 54);
  tool_->move(0, 40);
  tool_->show();
  info_ = new CInfoPalette(this);
  info_->frameCommand = [this](int id) { command(id); };
  info_->move(0, 94);
  overview_ = new COverviewPalette(this);
  overview_->resize(140, 20);
  overview_->move(0, 344);
  overview_->setVisible(overview == 1);
  overviewAtClose_ = overview == 1;
  profile_ = new CProfilePalette(this);
  profile_->resize(200, 200);
  profile_->move(140, 0);
  profile_->hide();
  for (QWidget* palette : std::initializer_list<QWidget*>{tool_, info_, overview_, profile_})
    palette->installEventFilter(this);
  const int mode = display::infoModeOfKey(infomation);
  command(mode == 0 ? ID_HIDE_INFO : mode == display::kInfoFull ? ID_FULL_INFO : ID_SHORT_INFO);
  placePalettes();
  const int right = std::max(screen.width(), 141);
  place_ = QRect(140, 0, right - 140, std::max(screen.height() - 25, 1));
  move(place_.topLeft());
  resize(place_.size());
}

void CMainFrame::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  // The window frame, known once shown, stands inside the place, not beside it.
  const QSize frame = frameGeometry().size() - size();
  if (!place_.isEmpty() && !isMaximized() && frame != QSize(0, 0) && frameGeometry().size() != place_.size())
    resize((place_.size() - frame).expandedTo(QSize(1, 1)));
  place_ = QRect();
}

void CMainFrame::placePalettes() {
  QWidget* const palettes[] = {tool_, info_, overview_, profile_};
  std::vector<display::PaletteFrame> frames;
  for (QWidget* w : palettes) {
    const QRect f = w ? w->frameGeometry() : QRect();
    frames.push_back(display::PaletteFrame{Rect{f.left(), f.top(), f.left() + f.width(), f.top() + f.height()},
                                           w && w->isVisible(), w == profile_});
  }
  const std::vector<Rect> placed = display::placePalettes(frames);
  for (std::size_t i = 0; i < frames.size(); ++i)
    if (palettes[i] && !(placed[i] == frames[i].frame)) palettes[i]->move(placed[i].left, placed[i].top);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
  // A hidden palette's size arrives with its show.
  if ((e->type() == QEvent::Resize || e->type() == QEvent::Show) && static_cast<QWidget*>(watched)->isVisible())
    placePalettes();
  return QMainWindow::eventFilter(watched, e);
}

void CMainFrame::hideEvent(QHideEvent* e) {
  // A minimised frame is hidden by the window system; only a close counts.
  if (!e->spontaneous() && overview_) overviewAtClose_ = overview_->isVisible();
  QMainWindow::hideEvent(e);
}

bool CMainFrame::overviewShown() const {
  if (!overview_) return false;
  return isVisible() ? overview_->isVisible() : overviewAtClose_;
}

CChildFrame* CMainFrame::addView(CTivolaView* view) {
  view->setPaletteLink(this);
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

int CMainFrame::profileMode() const {
  if (!profile_ || !profile_->isVisible()) return 0;
  return display::paletteSettings().profileMode == 1 ? 2 : 1;
}

void CMainFrame::setActiveGrid(display::CDisplayGrid* grid) {
  grid_ = grid;
  if (info_) info_->setGrid(grid);
  if (overview_) overview_->setGrid(grid);
  const display::CDisplayTile* t = grid ? grid->currentTile() : nullptr;
  setStatusImage(t ? t->image : nullptr);
  refreshProfile();
}

void CMainFrame::withdrawGrid(display::CDisplayGrid* grid) {
  if (info_) info_->withdrawGrid(grid);
  if (overview_) overview_->withdrawGrid(grid);
  if (grid_ != grid) return;
  grid_ = nullptr;
  setStatusImage(nullptr);
  refreshProfile();
}

void CMainFrame::refreshPalettes(int what) {
  // A palette's own update may change a window, which asks for a refresh again.
  if (refreshing_) return;
  refreshing_ = true;
  if (info_) {
    if (what & display::kRefreshInfoReadout) info_->updateReadout();
    if (what & display::kRefreshInfoMeasures) {
      info_->updateMeasures();
      info_->updateWindow();
    }
  }
  if (overview_) {
    if (what & display::kRefreshOverview) overview_->refresh(false);
    if (what & display::kRepaintOverview) overview_->update();
  }
  if (what & display::kRefreshInfoMeasures) refreshProfile();
  refreshing_ = false;
}

// Only a shown profile is computed; its direction and unit are the palettes' choice.
void CMainFrame::refreshProfile() {
  if (!profile_ || !profile_->isVisible()) return;
  const display::CDisplayTile* t = grid_ ? grid_->currentTile() : nullptr;
  if (t && t->image) {
    const display::PaletteSettings& s = display::paletteSettings();
    CImageItem& image = *t->image;
    // The active image keeps its profile as its ROI changes; it is taken
    // again only for another direction or unit.
    if (!image.active || image.profileVertical != (s.profileMode == 1) || image.odUnit != (s.value == 1)) {
      image.profileVertical = s.profileMode == 1;
      image.odUnit = s.value == 1;
      image.computeProfile();
    }
    profile_->setProfile(image.profile);
  } else {
    profile_->setProfile(LineProfile());
  }
  profile_->updateProfile();
}

bool CMainFrame::commandChecked(int id) const {
  switch (id) {
    case ID_HIDE_INFO: return infoMode_ == 0;
    case ID_SHORT_INFO: return infoMode_ == 1;
    case ID_FULL_INFO: return infoMode_ == 2;
    case ID_OVERVIEW_WINDOW: return overview_ && overview_->isVisible();
    case ID_HORIZONTAL_PROFILE: return profileMode() == 1;
    case ID_VERTICAL_PROFILE: return profileMode() == 2;
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
      if (infoMode_ == 0) {
        info_->hide();
      } else {
        // Laid out before it is shown, so that it is placed at its final size.
        info_->setMode(infoMode_ == 2 ? display::kInfoFull : display::kInfoShort);
        info_->show();
      }
      platform::ini::writeInt(ini_, "Window", "Infomation",
                              display::keyOfInfoMode(info_->mode(), infoMode_ != 0));
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
      if (profileMode() == mode) {
        profile_->hide();
      } else {
        display::paletteSettings().profileMode = mode - 1;
        profile_->show();
        refreshProfile();
        activateWindow();
      }
      return true;
    }
    case ID_CLEAR_SHARPNESS:
      if (!info_) return true;
      info_->sharpSlider()->setValue(0.0);
      info_->command(IDM_SHARPNESS_CHANGED);
      return true;
    case ID_NEW_SCAN:
      if (newScan) newScan();
      return true;
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
