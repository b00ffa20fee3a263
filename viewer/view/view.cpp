// The view: up to 8 x 8 panes of the document's images and the study panel,
// the commands on views and selected images, copy, print and the 100 ms timer.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "platform/qt/message_target.h"
#include "platform/qt/prompt.h"
#include "viewer/view/view.h"

namespace viewer::view {

using display::CDisplayTile;

namespace {

// Shared by every view of the process.
int gPanelWidth = 0;
bool gTemporaryTool = false;
int gReplacedTool = display::kToolRectangle;
int gMarqueePhase = 0;

QString translated(const char* text) { return QCoreApplication::translate("CTivolaView", text); }

const char* messageText(int id) {
  switch (id) {
    case 22: return QT_TRANSLATE_NOOP("CTivolaView", "Failed to copy.\nMarquee may be too large.");
    case 23: return QT_TRANSLATE_NOOP("CTivolaView", "Failed to print.(1)");
    case 24: return QT_TRANSLATE_NOOP("CTivolaView", "Failed to print.(2)");
    case 25: return QT_TRANSLATE_NOOP("CTivolaView", "Failed to print.(3)");
    default: return QT_TRANSLATE_NOOP("CTivolaView", "Unable to print with this printer driver.");
  }
}

const char* const kNoneSelected = QT_TRANSLATE_NOOP("CTivolaView", "No image is selected.");

Rect normalised(const Rect& r) {
  return Rect{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
              std::max(r.top, r.bottom)};
}

// The Layout dialog: columns and rows, 1 to 8 each.
bool askLayout(QWidget* parent, int& columns, int& rows) {
  QDialog dlg(parent);
  dlg.setObjectName("Layout");
  dlg.setWindowTitle(QCoreApplication::translate("CLayoutDlg", "Layout"));
  auto* form = new QFormLayout(&dlg);
  auto* c = new QSpinBox(&dlg);
  auto* r = new QSpinBox(&dlg);
  for (QSpinBox* b : {c, r}) b->setRange(1, 8);
  c->setValue(columns);
  r->setValue(rows);
  form->addRow(QCoreApplication::translate("CLayoutDlg", "Co&lumn:"), c);
  form->addRow(QCoreApplication::translate("CLayoutDlg", "&Row:"), r);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
  if (dlg.exec() != QDialog::Accepted) return false;
  columns = c->value();
  rows = r->value();
  return true;
}

}  // namespace

int toolCommand(int tool) {
  switch (tool) {
    case display::kToolHand: return ID_TOOL_HAND;
    case display::kToolZoom: return ID_TOOL_ZOOM;
    case display::kToolToneCurve: return ID_TOOL_TONE;
    default: return ID_TOOL_RECTANGLE;
  }
}

int toolOfCommand(int command) {
  switch (command) {
    case ID_TOOL_HAND: return display::kToolHand;
    case ID_TOOL_RECTANGLE: return display::kToolRectangle;
    case ID_TOOL_ZOOM: return display::kToolZoom;
    case ID_TOOL_TONE: return display::kToolToneCurve;
    default: return 0;
  }
}

const std::vector<LayoutCommand>& layoutCommands() {
  static const std::vector<LayoutCommand> table = {
      {32791, 1, 1, "1x1"}, {32799, 2, 1, "2x1"}, {32792, 2, 2, "2x2"}, {32793, 3, 3, "3x3"},
      {32800, 3, 4, "3x4"}, {32801, 4, 3, "4x3"}, {32794, 4, 4, "4x4"}, {32802, 4, 5, "4x5"},
      {32803, 5, 4, "5x4"}, {32795, 5, 5, "5x5"}, {32796, 6, 6, "6x6"}, {32797, 7, 7, "7x7"},
      {32798, 8, 8, "8x8"}};
  return table;
}

QString menuText(int id) {
  struct Entry {
    int id;
    const char* text;
  };
  static constexpr Entry kMenu[] = {
      {ID_FLIP_HORIZONTAL, QT_TRANSLATE_NOOP("Menu", "Flip &Horizontal")},
      {ID_FLIP_VERTICAL, QT_TRANSLATE_NOOP("Menu", "Flip &Vertical")},
      {ID_ROTATE_CW, QT_TRANSLATE_NOOP("Menu", "Rotate 90d&eg CW")},
      {ID_ROTATE_CCW, QT_TRANSLATE_NOOP("Menu", "Rotate 90de&g CCW")},
      {ID_CUT, QT_TRANSLATE_NOOP("Menu", "Cu&t")},
      {ID_DISPLAY_WHOLE, QT_TRANSLATE_NOOP("Menu", "Display Whole &Image")},
      {ID_DISPLAY_MARQUEE, QT_TRANSLATE_NOOP("Menu", "Display &Marquee")},
      {ID_PIXEL_TO_PIXEL, QT_TRANSLATE_NOOP("Menu", "Display Pi&xel to Pixel")},
      {ID_OPTIMIZE_TONECURVE, QT_TRANSLATE_NOOP("Menu", "&Optimize Tonecurve")},
      {ID_LAYOUT_SPECIFY, QT_TRANSLATE_NOOP("Menu", "&Specify...")},
      {ID_SAVE_CURRENT, QT_TRANSLATE_NOOP("Menu", "Save Curren&t Image...")},
      {ID_SELECT_ALL_VIEWS, QT_TRANSLATE_NOOP("Menu", "&Select All Views")},
      {ID_UNSELECT_ALL_VIEWS, QT_TRANSLATE_NOOP("Menu", "&Unselect All Views")},
      {ID_EDIT_STUDY, QT_TRANSLATE_NOOP("Menu", "Edit Study &Data...")},
      {ID_STUDY_DATA, QT_TRANSLATE_NOOP("Menu", "Study D&ata")},
      {ID_SHOW_CURRENT_ONLY, QT_TRANSLATE_NOOP("Menu", "&Show Current View Only")},
      {ID_DUPLICATE_CURRENT, QT_TRANSLATE_NOOP("Menu", "&Duplicate Current View")},
      {ID_JUMP_FIRST, QT_TRANSLATE_NOOP("Menu", "Jump to &First View")},
      {ID_SHOW_IMAGE_NAME, QT_TRANSLATE_NOOP("Menu", "Show Image &Name")},
      {ID_MAXIMUM_VIEWS, QT_TRANSLATE_NOOP("Menu", "Show &Maximum Number of Views")},
      {ID_COPY_ATTRIBUTES, QT_TRANSLATE_NOOP("Menu", "&Copy Display Attributes")},
      {ID_PASTE_ATTRIBUTES, QT_TRANSLATE_NOOP("Menu", "&Paste Display Attributes")},
      {ID_CLEAR_SHARPNESS, QT_TRANSLATE_NOOP("Menu", "Clear S&harpness")},
      {ID_JUMP_LAST, QT_TRANSLATE_NOOP("Menu", "Jump to &Last View")},
      {ID_INITIALIZE_VIEWING, QT_TRANSLATE_NOOP("Menu", "Initialize viewing conditions")},
      {ID_CANCEL_ROI, QT_TRANSLATE_NOOP("Menu", "C&ancel ROI")},
      {ID_FILE_PRINT, QT_TRANSLATE_NOOP("Menu", "&Print Current View...")},
      {ID_EDIT_COPY, QT_TRANSLATE_NOOP("Menu", "&Copy")},
      {ID_EDIT_SELECT_WHOLE, QT_TRANSLATE_NOOP("Menu", "Select &Whole Image")},
      {ID_EDIT_UNDO, QT_TRANSLATE_NOOP("Menu", "&Reset Original Image Display")},
      {ID_HIDE_INFO, QT_TRANSLATE_NOOP("Menu", "&Hide Info Palette")},
      {ID_SHORT_INFO, QT_TRANSLATE_NOOP("Menu", "Sho&rt Info Palette")},
      {ID_FULL_INFO, QT_TRANSLATE_NOOP("Menu", "&Full Info Palette")},
      {ID_OVERVIEW_WINDOW, QT_TRANSLATE_NOOP("Menu", "&Overview Window")},
      {ID_HORIZONTAL_PROFILE, QT_TRANSLATE_NOOP("Menu", "&Horizontal profile")},
      {ID_VERTICAL_PROFILE, QT_TRANSLATE_NOOP("Menu", "&Vertical Profile")},
      {ID_FIND, QT_TRANSLATE_NOOP("Menu", "&Find...")},
      {ID_TOOL_HAND, QT_TRANSLATE_NOOP("Menu", "&Hand")},
      {ID_TOOL_RECTANGLE, QT_TRANSLATE_NOOP("Menu", "&Rectangle")},
      {ID_TOOL_ZOOM, QT_TRANSLATE_NOOP("Menu", "&Zoom")},
      {ID_TOOL_TONE, QT_TRANSLATE_NOOP("Menu", "&Tone Curve")},
      {ID_TOOLBOX, QT_TRANSLATE_NOOP("Menu", "Tool&box")},
  };
  for (const Entry& e : kMenu)
    if (e.id == id) return QCoreApplication::translate("Menu", e.text);
  for (const LayoutCommand& l : layoutCommands())
    if (l.id == id) return QString::fromLatin1(l.text);
  return {};
}

KeyState systemKeyState() {
  const Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
  return KeyState{bool(m & Qt::ShiftModifier), bool(m & Qt::ControlModifier)};
}

QString statusText(const QString& path, int bits, int width, int height) {
  const std::int64_t bytes = std::int64_t((bits + 7) / 8) * std::max(width, 0) * std::max(height, 0);
  QString digits = QString::number(bytes);
  for (int at = digits.size() - 3; at > (digits.startsWith('-') ? 1 : 0); at -= 3) digits.insert(at, ',');
  return QStringLiteral("%1(%2bits) [%3X%4] %5 Bytes").arg(path).arg(bits).arg(width).arg(height).arg(digits);
}

// ---------------------------------------------------------------- view

CTivolaView::CTivolaView(ImageSource* images, ToolTarget* tools, QWidget* parent)
    : QWidget(parent), images_(images), tools_(tools) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  target_ = std::make_unique<platform::qt::QtMessageTarget>([this](const platform::Message& m) {
    if (m.id == platform::kCommandMessage) onMessage(int(m.wParam));
  });
  grid_.setView(target_->handle());
  grid_.paletteRefresh = [this](int what) {
    if (link_) link_->refreshPalettes(what);
  };
}

CTivolaView::~CTivolaView() {
  if (timerId_) killTimer(timerId_);
  if (link_) link_->withdrawGrid(&grid_);
  // No message may reach a half-destroyed view.
  target_.reset();
  for (CImagePane* p : panes_)
    if (p) p->tile = nullptr;
}

int CTivolaView::rememberedPanelWidth() { return gPanelWidth; }

void CTivolaView::updateCursors() {
  for (int i = 0; i < columns_ * rows_; ++i)
    if (CImagePane* p = panes_[std::size_t(i)]; p && p->isVisible()) p->updateCursor(p->mapFromGlobal(QCursor::pos()));
}
int CTivolaView::marqueePhase() { return gMarqueePhase; }
int CTivolaView::tool() const { return tools_ ? tools_->currentTool() : display::kToolRectangle; }

CImageItem* CTivolaView::currentImage() const {
  const CDisplayTile* t = grid_.currentTile();
  return t ? t->image : nullptr;
}

void CTivolaView::initialUpdate() {
  const int n = images_ ? std::min(images_->imageCount(), display::CDisplayGrid::kCapacity) : 0;
  panel_ = new CStudyPanel(this);
  panel_->setGeometry(0, 0, kPanelWidth, 1200);
  panel_->hide();
  CImageItem* first = n > 0 ? images_->imageAt(0) : nullptr;
  panel_->study = first ? first->study.get() : nullptr;
  panelWidth_ = panel_->study ? gPanelWidth : 0;

  grid_.addTiles(n, false);
  for (int i = 0; i < n; ++i)
    if (CImageItem* image = images_->imageAt(i)) grid_.tile(i)->bind(image, image->maxValue);
  for (int i = 0; i < kPanes; ++i) {
    panes_[std::size_t(i)] = new CImagePane(this, i + 2);
    panes_[std::size_t(i)]->hide();
  }
  initialised_ = true;
  maximumViewsLayout();
  platform::post(target_->handle(), platform::Message{platform::kCommandMessage, ID_UNSELECT_ALL_VIEWS, 0});
  platform::post(target_->handle(),
                 platform::Message{platform::kCommandMessage, std::uintptr_t(display::IDM_REFRESH_CURRENT), 0});
  for (int i = 0; i < grid_.count(); ++i) {
    CDisplayTile* t = grid_.tile(i);
    const CImagePane* p = nullptr;
    for (int k = 0; k < columns_ * rows_; ++k)
      if (panes_[std::size_t(k)]->tile == t) p = panes_[std::size_t(k)];
    if (p) t->fitToPane(p->width(), p->height());
    t->startDisplay();
  }
  if (grid_.currentTile()) grid_.makeCurrent(grid_.currentTile());
  timerId_ = startTimer(100);
}

void CTivolaView::layoutPanes() {
  const int w = std::max((width() - panelWidth_) / columns_, 0), h = std::max(height() / rows_, 0);
  for (CImagePane* p : panes_)
    if (p) p->hide();
  for (int r = 0; r < rows_; ++r)
    for (int c = 0; c < columns_; ++c) {
      CImagePane* p = panes_[std::size_t(r * columns_ + c)];
      if (!p) continue;
      p->setGeometry(panelWidth_ + c * w, r * h, w, h);
      p->show();
    }
  if (panel_) panel_->setVisible(panelWidth_ != 0);
  update();
}

void CTivolaView::rebindPanes() {
  const int page = columns_ * rows_;
  for (int i = 0; i < page; ++i) {
    CImagePane* p = panes_[std::size_t(i)];
    if (!p) continue;
    p->tile = grid_.visibleTile(i);
    if (p->tile) {
      p->tile->fitToPane(p->width(), p->height());
      p->cache.stamp = 0;
    }
    p->setEnabled(p->tile != nullptr);
    p->earlier = i == 0 && grid_.pageStart() > 0;
    p->later = i == page - 1 && grid_.count() - grid_.pageStart() > page;
    p->update();
  }
}

void CTivolaView::setLayout(int columns, int rows) {
  columns_ = std::clamp(columns, 1, 8);
  rows_ = std::clamp(rows, 1, 8);
  if (CDisplayTile* t = grid_.currentTile()) {
    grid_.showTile(t, columns_ * rows_);
    grid_.makeCurrent(t);
    // The panes take their new size first, so every tile fits its own pane.
    layoutPanes();
    rebindPanes();
  }
  layoutPanes();
}

void CTivolaView::maximumViewsLayout() {
  if (grid_.tileCount() == 0) return;
  grid_.setMode(display::CDisplayGrid::kNormal);
  const display::Layout l = display::maximumViewsLayout(grid_.tileCount());
  setLayout(l.columns, l.rows);
  grid_.showTileLast(grid_.currentTile(), columns_ * rows_);
  rebindPanes();
  refreshCurrent();
}

void CTivolaView::resizeEvent(QResizeEvent*) {
  if (initialised_) {
    layoutPanes();
    rebindPanes();
  }
}

void CTivolaView::focusInEvent(QFocusEvent*) {
  platform::post(target_->handle(),
                 platform::Message{platform::kCommandMessage, std::uintptr_t(display::IDM_REFRESH_CURRENT), 0});
}

void CTivolaView::message(int id) {
  platform::qt::prompt().message(this, translated(messageText(id)), QStringLiteral("Tivola"), platform::qt::Icon::Warning,
                                 platform::qt::Buttons::Ok);
}

// ---------------------------------------------------------------- messages

void CTivolaView::postCommand(int id) {
  platform::post(target_->handle(), platform::Message{platform::kCommandMessage, std::uintptr_t(id), 0});
}

void CTivolaView::onMessage(int id) {
  switch (id) {
    case display::IDM_ACTICE_CHANGED: selectionToDocument(); break;
    case display::IDM_REFRESH_CURRENT: refreshCurrent(); break;
    case IDM_REFRESH_LATER:
      platform::post(target_->handle(),
                     platform::Message{platform::kCommandMessage, std::uintptr_t(display::IDM_REFRESH_CURRENT), 0});
      break;
    case display::IDM_REDRAW_PANES:
      // A pane that the pointer's handler painted already is not drawn twice.
      for (int i = 0; i < columns_ * rows_; ++i)
        if (CImagePane* p = panes_[std::size_t(i)]; p && p->tile && p->tile->stamp != p->cache.stamp) p->update();
      break;
    case IDM_IMAGE_ADDED: {
      grid_.setMode(display::CDisplayGrid::kNormal);
      const int have = grid_.tileCount(), now = images_ ? images_->imageCount() : 0;
      if (now > have && grid_.addTiles(now - have, true))
        for (int i = have; i < grid_.tileCount(); ++i) {
          CImageItem* image = images_->imageAt(i);
          if (!image) continue;
          grid_.tile(i)->bind(image, image->maxValue);
          grid_.tile(i)->startDisplay();
        }
      maximumViewsLayout();
      break;
    }
    default: command(id); break;
  }
}

void CTivolaView::selectionToDocument() {
  const int n = images_ ? images_->imageCount() : 0;
  for (int i = 0; i < n; ++i)
    if (CImageItem* image = images_->imageAt(i)) image->selected = image->active = 0;
  for (int i = 0; i < grid_.count(); ++i) {
    const CDisplayTile* t = grid_.tile(i);
    if (!t->image) continue;
    if (t->selected) t->image->selected = 1;
    if (t->current) t->image->active = 1;
  }
  redrawPanes();
}

// The frames and marquee are drawn over the cache, so a redraw re-renders only
// panes whose tile stamp moved.
void CTivolaView::redrawPanes() {
  for (int i = 0; i < columns_ * rows_; ++i)
    if (CImagePane* p = panes_[std::size_t(i)]) p->update();
}

void CTivolaView::paintMovedPanes() {
  // Each pane paints only what its render changes, and all in one pass: the
  // others are marked, and the last one's repaint paints them too.
  CImagePane* last = nullptr;
  QRect lastRect;
  for (int i = 0; i < columns_ * rows_; ++i)
    if (CImagePane* p = panes_[std::size_t(i)]; p && p->tile && p->tile->stamp != p->cache.stamp) {
      if (last) last->update(lastRect);
      last = p;
      lastRect = p->movedArea();
    }
  if (last) last->repaint(lastRect);
}

void CTivolaView::refreshCurrent() {
  if (link_) link_->setActiveGrid(&grid_);
  if (grid_.paletteRefresh)
    grid_.paletteRefresh(display::kRefreshInfoReadout | display::kRefreshInfoMeasures | display::kRefreshOverview);
  CImageItem* image = currentImage();
  if (image) image->setRoi(image->roi);
  if (panel_) {
    panel_->study = image ? image->study.get() : nullptr;
    panel_->update();
  }
  redrawPanes();
}

void CTivolaView::setSelectedRoi(const Rect& roi) {
  forSelectedImages([&](CImageItem& image) {
    image.roi = roi;
    return true;
  });
  // The marquee moved on every pane of a selected image.
  for (int i = 0; i < columns_ * rows_; ++i)
    if (CImagePane* p = panes_[std::size_t(i)]; p && p->tile && p->tile->image && p->tile->image->selected)
      p->repaint();
  if (statisticsQueued_) return;
  statisticsQueued_ = true;
  QTimer::singleShot(0, this, [this] { flushRoiStatistics(); });
}

void CTivolaView::flushRoiStatistics() {
  if (!statisticsQueued_) return;
  statisticsQueued_ = false;
  forSelectedImages([](CImageItem& image) {
    image.setRoi(image.roi);
    return true;
  });
  if (grid_.paletteRefresh) grid_.paletteRefresh(display::kRefreshInfoMeasures);
}

void CTivolaView::forSelectedImages(const std::function<bool(CImageItem&)>& f) {
  const int n = images_ ? images_->imageCount() : 0;
  for (int i = 0; i < n; ++i)
    if (CImageItem* image = images_->imageAt(i); image && image->selected) f(*image);
}

bool CTivolaView::anySelected() {
  const int n = images_ ? images_->imageCount() : 0;
  for (int i = 0; i < n; ++i)
    if (const CImageItem* image = images_->imageAt(i); image && image->selected) return true;
  // A command on the selected images that would do nothing says why.
  platform::qt::prompt().message(this, translated(kNoneSelected), QStringLiteral("Tivola"),
                                 platform::qt::Icon::Warning, platform::qt::Buttons::Ok);
  return false;
}

void CTivolaView::transformSelected(bool (CImageItem::*op)()) {
  if (!anySelected()) return;
  forSelectedImages([&](CImageItem& image) { return (image.*op)(); });
  grid_.raiseAllStamps();
  refreshCurrent();
}

// ---------------------------------------------------------------- commands

bool CTivolaView::commandEnabled(int id) const {
  const CImageItem* image = currentImage();
  const bool normal = grid_.mode() == display::CDisplayGrid::kNormal;
  switch (id) {
    case ID_CUT:
    case ID_DISPLAY_MARQUEE: return image && !normalised(image->roi).empty();
    case ID_PREVIOUS_IMAGE: return grid_.pageStart() > 0;
    case ID_NEXT_IMAGE: return grid_.canPageForward(columns_ * rows_);
    case ID_STUDY_DATA: return images_ && images_->imageCount() > 0 && images_->imageAt(0)->study;
    case ID_SHOW_CURRENT_ONLY:
    case ID_DUPLICATE_CURRENT: return normal;
    case ID_INITIALIZE_VIEWING: return !normal;
    case ID_PASTE_ATTRIBUTES: return grid_.attributesCopied();
    case ID_CANCEL_ROI: {
      bool any = false;
      const int n = images_ ? images_->imageCount() : 0;
      for (int i = 0; i < n; ++i)
        if (const CImageItem* im = images_->imageAt(i); im && im->selected && !normalised(im->roi).empty()) any = true;
      return any;
    }
    default: return true;
  }
}

bool CTivolaView::commandChecked(int id) const {
  if (id == ID_STUDY_DATA) return panelWidth_ != 0;
  if (id == ID_SHOW_IMAGE_NAME) return grid_.showingNames();
  return false;
}

bool CTivolaView::command(int id) {
  for (const LayoutCommand& l : layoutCommands())
    if (l.id == id) {
      grid_.setMode(display::CDisplayGrid::kNormal);
      setLayout(l.columns, l.rows);
      return true;
    }
  if (!commandEnabled(id)) return true;
  switch (id) {
    case ID_FLIP_HORIZONTAL: transformSelected(&CImageItem::flipHorizontal); break;
    case ID_FLIP_VERTICAL: transformSelected(&CImageItem::flipVertical); break;
    case ID_ROTATE_CW: transformSelected(&CImageItem::rotateClockwise); break;
    case ID_ROTATE_CCW: transformSelected(&CImageItem::rotateCounterClockwise); break;
    case ID_CUT: transformSelected(&CImageItem::cutOut); break;
    case ID_DISPLAY_WHOLE: grid_.displayWholeImage(); break;
    case ID_DISPLAY_MARQUEE: grid_.displayMarquee(); break;
    case ID_PIXEL_TO_PIXEL: grid_.displayPixelToPixel(); break;
    case ID_OPTIMIZE_TONECURVE: grid_.optimizeTonecurve(); break;
    case ID_LAYOUT_SPECIFY: {
      int c = columns_, r = rows_;
      if (layoutDialog ? layoutDialog(c, r) : askLayout(this, c, r)) setLayout(c, r);
      break;
    }
    case ID_SAVE_CURRENT:
      if (images_) images_->saveCurrentImage();
      refreshCurrent();
      break;
    case ID_PREVIOUS_IMAGE:
      grid_.pageBack();
      rebindPanes();
      break;
    case ID_NEXT_IMAGE:
      grid_.pageForward(columns_ * rows_);
      rebindPanes();
      break;
    case ID_SELECT_ALL_VIEWS: grid_.selectAll(true); break;
    case ID_UNSELECT_ALL_VIEWS: grid_.selectAll(false); break;
    case ID_EDIT_STUDY:
      if (images_ && anySelected() && images_->editStudyData() && panel_) panel_->update();
      break;
    case ID_STUDY_DATA:
      panelWidth_ = kPanelWidth - panelWidth_;
      gPanelWidth = panelWidth_;
      layoutPanes();
      rebindPanes();
      break;
    case ID_SHOW_CURRENT_ONLY:
      if (CDisplayTile* t = grid_.currentTile()) {
        columns_ = rows_ = 1;
        grid_.showTile(t, 1);
        grid_.makeCurrent(t);
        layoutPanes();
        rebindPanes();
      }
      break;
    case ID_DUPLICATE_CURRENT:
      savedColumns_ = columns_;
      savedRows_ = rows_;
      savedStart_ = grid_.pageStart();
      savedCurrent_ = grid_.currentTile();
      columns_ = 2;
      rows_ = 1;
      grid_.setMode(display::CDisplayGrid::kDuplicate);
      grid_.setPageStart(0);
      layoutPanes();
      rebindPanes();
      break;
    case ID_INITIALIZE_VIEWING:
      grid_.setMode(display::CDisplayGrid::kNormal);
      columns_ = savedColumns_;
      rows_ = savedRows_;
      grid_.setPageStart(savedStart_);
      if (grid_.indexOf(savedCurrent_) >= 0) grid_.makeCurrent(savedCurrent_);
      layoutPanes();
      rebindPanes();
      break;
    case ID_JUMP_FIRST:
    case ID_JUMP_LAST: {
      grid_.setMode(display::CDisplayGrid::kNormal);
      const int page = columns_ * rows_;
      if (grid_.tileCount() == 0) break;
      const bool first = id == ID_JUMP_FIRST;
      grid_.setPageStart(first ? 0 : std::max(grid_.tileCount() - page, 0));
      grid_.selectAll(false);
      grid_.click(grid_.tile(first ? 0 : grid_.tileCount() - 1), 0);
      rebindPanes();
      break;
    }
    case ID_SHOW_IMAGE_NAME:
      grid_.showNames(!grid_.showingNames());
      redrawPanes();
      break;
    case ID_MAXIMUM_VIEWS: maximumViewsLayout(); break;
    case ID_COPY_ATTRIBUTES: grid_.copyAttributes(); break;
    case ID_PASTE_ATTRIBUTES: grid_.pasteAttributes(); break;
    case ID_CLEAR_SHARPNESS: grid_.clearSharpness(); break;
    case ID_CANCEL_ROI:
      forSelectedImages([](CImageItem& image) {
        image.setRoi(Rect{});
        return true;
      });
      for (int i = 0; i < columns_ * rows_; ++i) panes_[std::size_t(i)]->repaint();
      break;
    case ID_FILE_PRINT: print(); break;
    case ID_EDIT_COPY: copyToClipboard(); break;
    case ID_EDIT_SELECT_WHOLE:
      forSelectedImages([](CImageItem& image) {
        image.roiToWholeImage();
        return true;
      });
      redrawPanes();
      break;
    case ID_EDIT_UNDO: {
      // Each image once, though two tiles may show it; then every tile on a
      // restored image starts its display again.
      std::vector<const CImageItem*> restored;
      forSelectedImages([&](CImageItem& image) {
        if (images_->restoreOriginal(image)) restored.push_back(&image);
        return true;
      });
      for (int i = 0; i < grid_.count(); ++i) {
        CDisplayTile* t = grid_.tile(i);
        if (!t->image || std::find(restored.begin(), restored.end(), t->image) == restored.end()) continue;
        t->bind(t->image, t->image->maxValue);
        t->startDisplay();
      }
      grid_.raiseAllStamps();
      refreshCurrent();
      break;
    }
    default: return false;
  }
  return true;
}

// ---------------------------------------------------------------- keys and timer

void CTivolaView::keyPressEvent(QKeyEvent* e) {
  const bool shift = e->modifiers() & Qt::ShiftModifier;
  switch (e->key()) {
    case Qt::Key_Left: arrowKey(-1, 0, shift); return;
    case Qt::Key_Right: arrowKey(1, 0, shift); return;
    case Qt::Key_Up: arrowKey(0, -1, shift); return;
    case Qt::Key_Down: arrowKey(0, 1, shift); return;
    case Qt::Key_Home: command(ID_JUMP_FIRST); return;
    case Qt::Key_End: command(ID_JUMP_LAST); return;
    case Qt::Key_Escape: command(ID_MAXIMUM_VIEWS); return;
    case Qt::Key_Return:
    case Qt::Key_Enter: command(ID_SHOW_CURRENT_ONLY); return;
    default: QWidget::keyPressEvent(e);
  }
}

void CTivolaView::arrowKey(int dx, int dy, bool shift) {
  if (shift) {
    forSelectedImages([&](CImageItem& image) {
      const Rect r = image.roi;
      image.setRoi(Rect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy});
      return true;
    });
    redrawPanes();
    if (grid_.paletteRefresh) grid_.paletteRefresh(display::kRefreshInfoMeasures);
    return;
  }
  grid_.arrowKey(dx, dy, columns_, rows_);
  rebindPanes();
}

void CTivolaView::timerEvent(QTimerEvent* e) {
  if (e->timerId() == timerId_) timerTick();
}

void CTivolaView::timerTick() {
  ++tick_;
  if (!paneDragInProgress() && tools_) {
    const KeyState k = keys_ ? keys_() : systemKeyState();
    const int wanted = k.shift && k.ctrl ? display::kToolToneCurve
                       : k.shift         ? display::kToolHand
                       : k.ctrl          ? display::kToolZoom
                                         : 0;
    if (wanted && tools_->currentTool() != wanted) {
      if (!gTemporaryTool) {
        gReplacedTool = tools_->currentTool();
        gTemporaryTool = true;
      }
      tools_->toolCommand(toolCommand(wanted));
    } else if (!wanted && gTemporaryTool) {
      gTemporaryTool = false;
      tools_->toolCommand(toolCommand(gReplacedTool));
    }
  }
  if (tick_ % 2 != 0) return;
  gMarqueePhase = (gMarqueePhase + 6) % 8;
  if (link_) link_->refreshPalettes(display::kRepaintOverview);
  for (CImagePane* p : panes_) {
    if (!p || !p->isVisible() || !p->tile || !p->tile->image) continue;
    if (p->tile->current && !p->rect().contains(p->mapFromGlobal(QCursor::pos()))) {
      p->tile->clearCursorReadout();
      if (grid_.paletteRefresh) grid_.paletteRefresh(display::kRefreshInfoReadout);
    }
    if (!normalised(p->tile->image->roi).empty()) p->repaint();
  }
}

// ---------------------------------------------------------------- context menus

QMenu* CTivolaView::contextMenu(bool duplicate) {
  QMenu*& menu = menus_[duplicate ? 1 : 0];
  if (menu) return menu;
  menu = new QMenu(this);
  menu->setObjectName(duplicate ? "132.2" : "132.1");
  auto add = [&](int id, const char* text) {
    QAction* a = menu->addAction(translated(text));
    a->setObjectName(QString::number(id));
    connect(a, &QAction::triggered, this, [this, id] { command(id); });
  };
  if (duplicate) {
    add(ID_INITIALIZE_VIEWING, QT_TRANSLATE_NOOP("CTivolaView", "Initialize viewing conditions"));
    add(ID_MAXIMUM_VIEWS, QT_TRANSLATE_NOOP("CTivolaView", "Show &Maximum Number of Views"));
  } else {
    add(ID_SHOW_CURRENT_ONLY, QT_TRANSLATE_NOOP("CTivolaView", "Show This View Only"));
    add(ID_DUPLICATE_CURRENT, QT_TRANSLATE_NOOP("CTivolaView", "Duplicate This View"));
  }
  menu->addSeparator();
  add(ID_CANCEL_ROI, QT_TRANSLATE_NOOP("CTivolaView", "C&ancel ROI"));
  add(ID_COPY_ATTRIBUTES, QT_TRANSLATE_NOOP("CTivolaView", "&Copy Display Attributes"));
  add(ID_PASTE_ATTRIBUTES, QT_TRANSLATE_NOOP("CTivolaView", "Pas&te Display Attributes"));
  menu->addSeparator();
  add(ID_SAVE_CURRENT, duplicate ? QT_TRANSLATE_NOOP("CTivolaView", "&Save This Image...")
                                 : QT_TRANSLATE_NOOP("CTivolaView", "Save This Image..."));
  add(ID_FILE_PRINT, QT_TRANSLATE_NOOP("CTivolaView", "Print This View..."));
  connect(menu, &QMenu::aboutToShow, this, [this, menu] {
    for (QAction* a : menu->actions())
      if (!a->isSeparator()) a->setEnabled(commandEnabled(a->objectName().toInt()));
  });
  return menu;
}

void CTivolaView::openContextMenu(CImagePane*, QPoint global) {
  contextMenu(grid_.mode() == display::CDisplayGrid::kDuplicate)->popup(global);
}

// ---------------------------------------------------------------- copy and print

bool CTivolaView::copyToClipboard() {
  const CDisplayTile* t = grid_.currentTile();
  if (!t || !t->image) return false;
  display::Bitmap b;
  QImage picture;
  if (display::copyPicture(*t->image, t->lut, b)) picture = toImage(b, b.rowLength, printColourTable());
  if (picture.isNull()) {
    message(22);
    return false;
  }
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setImage(picture);
  return true;
}

bool CTivolaView::printPage(QPrinter& printer) {
  const CDisplayTile* t = grid_.currentTile();
  if (!t || !t->image || t->image->width() <= 0 || t->image->height() <= 0) return false;
  display::Bitmap b;
  if (!display::printPicture(*t->image, t->lut, b)) {
    message(23);
    return false;
  }
  const QImage picture = toImage(b, b.rowLength, printColourTable());
  if (picture.isNull()) {
    message(25);
    return false;
  }
  QPainter painter;
  if (!painter.begin(&printer)) {
    message(26);
    return false;
  }
  const std::int64_t imageWidth = t->image->width();
  const display::PrintPlacement fit = display::printFit(printer.width(), printer.height(), imageWidth, b.height);
  // The white padding columns are stretched with the picture, so its image
  // columns fill the fitted width exactly.
  const double drawnWidth = double(fit.width) * double(b.rowLength) / double(imageWidth);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRectF(double(fit.x), double(fit.y), drawnWidth, double(fit.height)), picture);
  painter.end();
  return true;
}

void CTivolaView::print() {
  if (!currentImage()) return;
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() == QDialog::Accepted) printPage(printer);
}

}  // namespace viewer::view
