// The display grid: the tiles of one view, their paging, selection, modes,
// the mouse tools' arithmetic and the view's display commands.
#include <algorithm>
#include <cstdint>

#include "viewer/display/display.h"

namespace viewer::display {

namespace {
bool hasImage(const CDisplayTile* t) { return t && t->image && t->image->width() > 0 && t->image->height() > 0; }
}  // namespace

CDisplayGrid::CDisplayGrid(platform::WindowHandle view) : view_(view) {}
CDisplayGrid::~CDisplayGrid() = default;

void CDisplayGrid::send(int id) {
  if (view_) platform::send(view_, platform::Message{platform::kCommandMessage, std::uintptr_t(id), 0});
}
void CDisplayGrid::post(int id) {
  if (view_) platform::post(view_, platform::Message{platform::kCommandMessage, std::uintptr_t(id), 0});
}
void CDisplayGrid::refresh(int what) {
  if (paletteRefresh) paletteRefresh(what);
}

bool CDisplayGrid::addTiles(int n, bool append) {
  if (!append) {
    for (int i = 0; i < count_; ++i) tiles_[std::size_t(i)].reset();
    count_ = 0;
    current_ = anchor_ = savedCurrent_ = nullptr;
    pageStart_ = 0;
  }
  bool all = true;
  for (int i = 0; i < n; ++i) {
    if (count_ >= kCapacity) {
      all = false;
      break;
    }
    auto t = std::make_unique<CDisplayTile>();
    t->showName = showName_;
    tiles_[std::size_t(count_++)] = std::move(t);
  }
  if (count_ > 0) setCurrent(tiles_[0].get());
  return all;
}

CDisplayTile* CDisplayGrid::tile(int i) const {
  switch (mode_) {
    case kSingle: return const_cast<CDisplayTile*>(&tileA_);
    case kDuplicate: return const_cast<CDisplayTile*>(i == 0 ? &tileA_ : &tileB_);
    default: return i >= 0 && i < count_ ? tiles_[std::size_t(i)].get() : nullptr;
  }
}

int CDisplayGrid::count() const {
  switch (mode_) {
    case kSingle: return 1;
    case kDuplicate: return 2;
    default: return count_;
  }
}

CDisplayTile* CDisplayGrid::visibleTile(int i) const {
  if (mode_ != kNormal) return i >= 0 && i < count() ? tile(i) : nullptr;
  const int index = pageStart_ + i;
  return i >= 0 && index >= 0 && index < count_ ? tiles_[std::size_t(index)].get() : nullptr;
}

int CDisplayGrid::indexOf(const CDisplayTile* t) const {
  if (!t) return -1;
  for (int i = 0; i < count(); ++i)
    if (tile(i) == t) return i;
  return -1;
}

void CDisplayGrid::showTile(const CDisplayTile* t, int page) {
  const int index = indexOf(t);
  if (index < 0) return;
  pageStart_ = std::min(index, std::max(count() - page, 0));
  pageSize_ = page;
}

void CDisplayGrid::showTileLast(const CDisplayTile* t, int page) {
  const int index = indexOf(t);
  if (index < 0) return;
  pageStart_ = std::max(index - page + 1, 0);
  pageSize_ = page;
}

void CDisplayGrid::setCurrent(CDisplayTile* t) {
  for (int i = 0; i < count(); ++i) tile(i)->current = 0;
  current_ = t;
  if (!t) return;
  t->current = 1;
  if (t->image) {
    mirror_.bind(t->image, t->maxValue);
    mirror_.setWindow(t->windowCentre, t->windowWidth, t->userInvert);
  } else {
    mirror_.unbind();
  }
}

void CDisplayGrid::makeCurrent(CDisplayTile* t) {
  setCurrent(t);
  if (t) t->selected = 1;
}

void CDisplayGrid::click(CDisplayTile* t, int flags) {
  if (!t || !t->image || indexOf(t) < 0) return;
  const bool ctrl = flags & kCtrlFlag, shift = flags & kShiftFlag;
  const int n = count();
  if (!ctrl && !t->selected)
    for (int i = 0; i < n; ++i) tile(i)->selected = 0;
  if (!shift) {
    t->selected = ctrl ? !t->selected : 1;
    anchor_ = t;
  } else {
    if (indexOf(anchor_) < 0) anchor_ = tile(0);
    const int a = indexOf(anchor_), b = indexOf(t);
    for (int i = std::min(a, b); i <= std::max(a, b); ++i) tile(i)->selected = 1;
  }
  CDisplayTile* next = nullptr;
  if (t->selected) {
    next = t;
  } else {
    for (int i = 0; i < pageSize_ && !next; ++i)
      if (CDisplayTile* v = visibleTile(i); v && v->selected) next = v;
    for (int i = n - 1; i >= 0 && !next; --i)
      if (tile(i)->selected) next = tile(i);
    if (!next) {
      next = visibleTile(0);
      freshSelection_ = true;
    }
  }
  setCurrent(next);
  send(IDM_ACTICE_CHANGED);
  post(IDM_REFRESH_CURRENT);
}

bool CDisplayGrid::takeFreshSelection() {
  const bool fresh = freshSelection_;
  freshSelection_ = false;
  return fresh;
}

void CDisplayGrid::selectAll(bool on) {
  for (int i = 0; i < count(); ++i) tile(i)->selected = on ? 1 : 0;
  // The first visible tile is made current, and so selected: the commands on
  // the selected images always have the one shown first to work on.
  if (!on) makeCurrent(visibleTile(0));
  send(IDM_ACTICE_CHANGED);
}

void CDisplayGrid::prepareSpecial(CDisplayTile& t) {
  const CDisplayTile& c = *current_;
  t.bind(c.image, c.maxValue);
  t.setWindow(c.windowCentre, c.windowWidth, c.userInvert);
  t.centre();
  t.zoomToFit();
  t.setSharpness(c.sharpness);
  t.showName = showName_;
}

void CDisplayGrid::setMode(int m) {
  if (m == kNormal && mode_ != kNormal) {
    mode_ = kNormal;
    tileA_.unbind();
    tileB_.unbind();
    tileA_.selected = tileB_.selected = tileA_.current = tileB_.current = 0;
    setCurrent(indexOf(savedCurrent_) >= 0 ? savedCurrent_ : visibleTile(0));
    return;
  }
  if (mode_ == kNormal && (m == kSingle || m == kDuplicate) && hasImage(current_)) {
    savedCurrent_ = current_;
    prepareSpecial(tileA_);
    if (m == kDuplicate) prepareSpecial(tileB_);
    mode_ = m;
    makeCurrent(&tileA_);
    return;
  }
  mode_ = m;
}

template <class F>
void CDisplayGrid::forSelected(F f) {
  for (int i = 0; i < count(); ++i)
    if (CDisplayTile* t = tile(i); t->selected) f(*t);
}

void CDisplayGrid::applyCentre(double x, double y) {
  forSelected([&](CDisplayTile& t) { t.setCentre(x, y); });
  post(IDM_REDRAW_PANES);
}

void CDisplayGrid::applyWindow(int c, int w, int invert) {
  forSelected([&](CDisplayTile& t) { t.setWindow(c, w, invert); });
  mirror_.setWindow(c, w, invert);
  post(IDM_REDRAW_PANES);
  refresh(kRefreshInfoMeasures | kRefreshOverview);
}

void CDisplayGrid::applyZoom(double z) {
  forSelected([&](CDisplayTile& t) { t.setZoom(z); });
  post(IDM_REDRAW_PANES);
  refresh(kRefreshInfoReadout);
}

void CDisplayGrid::applySharpness(double s) {
  forSelected([&](CDisplayTile& t) { t.setSharpness(s); });
  post(IDM_REDRAW_PANES);
}

void CDisplayGrid::copyAttributes() {
  if (!current_) return;
  const CDisplayTile& c = *current_;
  attributes_ = DisplayAttributes{c.centreX,  c.centreY,  c.windowCentre, c.windowWidth,
                                  c.userInvert, c.maxValue, c.zoom,        c.sharpness};
  copied_ = 1;
}

void CDisplayGrid::pasteAttributes() {
  if (!copied_) return;
  const DisplayAttributes a = attributes_;
  applyCentre(a.centreX, a.centreY);
  applyWindow(a.windowCentre, a.windowWidth, a.userInvert);
  applyZoom(a.zoom);
  applySharpness(a.sharpness);
}

void CDisplayGrid::showNames(bool on) {
  showName_ = on ? 1 : 0;
  for (int i = 0; i < count_; ++i) {
    tiles_[std::size_t(i)]->showName = showName_;
    tiles_[std::size_t(i)]->raiseStamp();
  }
  for (CDisplayTile* t : {&tileA_, &tileB_}) {
    t->showName = showName_;
    t->raiseStamp();
  }
}

void CDisplayGrid::raiseAllStamps() {
  for (int i = 0; i < count_; ++i) tiles_[std::size_t(i)]->raiseStamp();
  for (CDisplayTile* t : {&tileA_, &tileB_, &mirror_}) t->raiseStamp();
}

void CDisplayGrid::raiseStampsOfSelectedImages() {
  for (int i = 0; i < count_; ++i)
    if (CDisplayTile* t = tiles_[std::size_t(i)].get(); t->image && t->image->selected) t->raiseStamp();
  mirror_.raiseStamp();
}

// ---------------------------------------------------------------- tools

void CDisplayGrid::hand(int dx, int dy) {
  if (!hasImage(current_)) return;
  const CDisplayTile& c = *current_;
  applyCentre(c.centreX - (dx / c.zoom) / c.image->width(), c.centreY - (dy / c.zoom) / c.image->height());
}

void CDisplayGrid::startZoomDrag(int paneWidth, int paneHeight, int px, int py) {
  dragW_ = paneWidth;
  dragH_ = paneHeight;
  dragX_ = px;
  dragY_ = py;
  dragZoom_ = current_ ? current_->zoom : 1.0;
  forSelected([](CDisplayTile& t) {
    t.savedCentreX = t.centreX;
    t.savedCentreY = t.centreY;
  });
}

void CDisplayGrid::zoomStep(int dy, bool movePosition) {
  if (!hasImage(current_)) return;
  const double zoom = current_->zoom;
  const double z = dy < 1 ? std::min(zoom * (1 + 0.01 * (-dy)), kMaxZoom)
                          : std::max(zoom / (1 + 0.01 * dy), kMinZoom);
  if (!movePosition) {
    applyZoom(z);
    return;
  }
  const double Z = dragZoom_;
  forSelected([&](CDisplayTile& t) {
    if (!hasImage(&t)) return;
    t.setCentre(t.savedCentreX + (dragW_ - 2.0 * dragX_) * (Z - z) / (2.0 * t.image->width() * Z * z),
                t.savedCentreY + (dragH_ - 2.0 * dragY_) * (Z - z) / (2.0 * t.image->height() * Z * z));
    t.setZoom(z);
  });
  post(IDM_REDRAW_PANES);
  refresh(kRefreshInfoReadout);
}

void CDisplayGrid::toneCurve(int dx, int dy) {
  if (!hasImage(current_) || current_->maxValue <= 0) return;
  const std::int64_t m = current_->maxValue, c = current_->windowCentre, w = current_->windowWidth;
  const std::int64_t centre = c + m * dx / 100;
  const std::int64_t width = w + m * dy / (200 - 100 * w / (2 * m));
  // The tile's setter clamps the window; this only keeps the values in range of an int.
  const auto fit = [](std::int64_t v) { return int(std::clamp<std::int64_t>(v, -(1 << 30), 1 << 30)); };
  applyWindow(fit(centre), fit(width), current_->userInvert);
}

void CDisplayGrid::doubleClick(int tool) {
  switch (tool) {
    case kToolHand:
    case kToolZoom: displayWholeImage(); break;
    case kToolToneCurve:
      if (!hasImage(current_)) return;
      current_->fitWindowToRoi();
      applyWindow(current_->windowCentre, current_->windowWidth, current_->userInvert);
      break;
    case kToolRectangle:
      if (mainFrame_)
        platform::post(mainFrame_,
                       platform::Message{platform::kCommandMessage, std::uintptr_t(ID_EDIT_SELECT_ALL), 0});
      break;
    default: break;
  }
}

// ---------------------------------------------------------------- commands

void CDisplayGrid::displayWholeImage() {
  applyCentre(0.5, 0.5);
  if (!hasImage(current_)) return;
  current_->zoomToFit();
  applyZoom(current_->zoom);
}

void CDisplayGrid::displayMarquee() {
  if (!hasImage(current_)) return;
  const CImageItem& image = *current_->image;
  const Rect r = normalisedRoi(image);
  if (r.empty()) return;
  applyCentre(((r.left + r.right) / 2) / double(image.width()), ((r.top + r.bottom) / 2) / double(image.height()));
  applyZoom(std::min(double(current_->viewportHeight) / (r.bottom - r.top),
                     double(current_->viewportWidth) / (r.right - r.left)));
}

void CDisplayGrid::optimizeTonecurve() {
  int low = 4095, high = 0;
  forSelected([&](CDisplayTile& t) {
    if (!hasImage(&t)) return;
    low = std::min(low, t.image->roiMinimum());
    high = std::max(high, t.image->roiMaximum());
  });
  if (!current_) return;
  applyWindow((high + low) / 2, high - low, current_->userInvert);
}

bool CDisplayGrid::arrowKey(int dx, int dy, int columns, int rows) {
  const int page = columns * rows;
  if (page < 1) return false;
  int p = 0;
  for (int i = 0; i < page; ++i)
    if (current_ && visibleTile(i) == current_) p = i;
  const int target = p + columns * dy + dx;
  const int before = pageStart_;
  int pane = target;
  if (target < 0) {
    pageStart_ = std::max(pageStart_ - (dy != 0 ? columns : 1), 0);
    pane = p;
  } else if (target >= page) {
    const int last = std::max(count() - page, pageStart_);
    pageStart_ = std::min(pageStart_ + (dy != 0 ? columns : 1), last);
    pane = p;
  }
  CDisplayTile* t = visibleTile(pane);
  if (!t || !t->image) {
    pageStart_ = before;
    return false;
  }
  click(t, 0);
  return true;
}

}  // namespace viewer::display
