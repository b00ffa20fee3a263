// The viewer's display core, free of any window system: the display state of
// each image (tile), the tiles of one view (grid), rendering a tile into its
// pane's 8-bit bitmap, and the window-free arithmetic of the view, its panes
// and the palettes. The windows only wire widgets to this.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/messages.h"
#include "viewer/image_model.h"

namespace viewer::display {

inline constexpr double kMinZoom = 0.05;
inline constexpr double kMaxZoom = 8.0;
inline constexpr double kMaxSharpness = 2.0;

// Command ids the grid sends or posts to its view and main frame.
inline constexpr int IDM_ACTICE_CHANGED = 32837;
inline constexpr int IDM_REFRESH_CURRENT = 40001;
inline constexpr int IDM_REDRAW_PANES = 40005;
inline constexpr int ID_EDIT_SELECT_ALL = 57642;

// Mouse flags of a click, as the button messages carry them.
inline constexpr int kShiftFlag = 4;
inline constexpr int kCtrlFlag = 8;

// The main frame's tools.
enum Tool { kToolHand = 1, kToolRectangle = 2, kToolZoom = 3, kToolToneCurve = 4 };

// ---------------------------------------------------------------- rendering

struct Point {
  int x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

// An 8-bit top-down bitmap: width pixels drawn in rows of rowLength bytes.
struct Bitmap {
  std::vector<std::uint8_t> bits;
  int width = 0;
  int rowLength = 0;
  int height = 0;
};

// A pane's render cache: the bitmap (as wide as the pane's client area, its
// rows rounded up to 4 bytes) and the stamp of the tile it was drawn with.
struct RenderCache {
  Bitmap bitmap;
  int stamp = 0;
  // The bitmap pixels the image covered at the last render (right and bottom
  // exclusive); the rest is background. Empty when nothing was drawn.
  Rect covered;
  // Makes a cleared bitmap of the pane's client size (row length rounded up
  // to 4) and forgets the stamp, so the next render draws. False when the
  // size is negative or too large.
  bool make(int width, int height);
  // Makes the bitmap again only when it is not of that size.
  bool sizeTo(int width, int height) {
    return (bitmap.width == width && bitmap.height == height) || make(width, height);
  }
};

// How the picture is taken from the image.
struct RenderParams {
  double zoom = 1.0;
  double centreX = 0.5, centreY = 0.5;
  double sharpness = 0.0;
  std::uint8_t background = 0;
};

// Which source sample every drawn bitmap pixel takes: columns x0..x1-1 of the
// bitmap read source columns cols[x - x0], rows y0..y1-1 read rows[y - y0];
// every index lies inside the image. Empty (x0 == x1 or y0 == y1) when
// nothing of the image is on the bitmap.
struct SourceTables {
  int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  std::vector<std::int32_t> cols, rows;
};
// False for an empty image or bitmap, or a zoom that is not a positive number.
bool sourceTables(int imageWidth, int imageHeight, int bitmapWidth, int bitmapHeight, double zoom,
                  double centreX, double centreY, SourceTables& out);

// The image column and row that bitmap point (px, py) shows, as sourceTables
// takes them; beside the picture (or past the bitmap) a column or row off the
// image. (-1, -1) for a zoom that is not a positive number.
Point sourceAt(int imageWidth, int imageHeight, int bitmapWidth, int bitmapHeight, double zoom, double centreX,
               double centreY, int px, int py);

// Renders the image through the grey table into bitmap rows: every byte of
// width x height (and the row padding) is the background unless a sample
// lands there. False, with the bitmap untouched, when the image has no
// pixels or the bitmap does not hold rowLength x height bytes.
// When covered is given it receives the pixels the image covers.
// When rowsDone is given it is told of every row as the render finishes it,
// each row once and in order (rowsDone(y0, y1): rows y0..y1-1 are final), so a
// caller can take rows on while they are still in the cache.
using RowsDone = std::function<void(int y0, int y1)>;
bool renderImage(const CImageBuffer& image, const std::array<std::uint8_t, 4096>& greyTable,
                 const RenderParams& params, Bitmap& bitmap, Rect* covered = nullptr,
                 const RowsDone* rowsDone = nullptr);

// The printed picture: the whole image at zoom 1 without sharpening, rows
// rounded up to 4 bytes, padding white. False when it cannot be made.
bool printPicture(const CImageItem& image, const CDisplayLUT& lut, Bitmap& out);
// The copied picture: the normalised ROI (the whole image when it is empty) at
// one pixel per sample, its top-left sample top left, padding black.
bool copyPicture(const CImageItem& image, const CDisplayLUT& lut, Bitmap& out);

// ---------------------------------------------------------------- tile

// The item's ROI with its corners ordered and clamped into the image; empty
// when nothing of it lies on the image.
Rect normalisedRoi(const CImageItem& item);

class CDisplayTile {
 public:
  CDisplayTile() = default;

  // The grey table takes the maximum value and the image's inverted flag; the
  // tile copies the table's window.
  void bind(CImageItem* image, int maxValue);
  void unbind();
  // Through the grey table; true (stamp raised) when anything changed.
  bool setWindow(int centre, int width, int invert);
  void fitWindowToRoi();
  void setCentre(double x, double y);
  void centre() { setCentre(0.5, 0.5); }
  void setZoom(double z);
  void setZoomUnclamped(double z);
  void zoomToFit();
  void setSharpness(double s);
  void fitToPane(int width, int height);
  // The image pixel the tile's picture shows at a pane point: the one the
  // renderer draws there, so the readout, the ROI edit and the picture agree.
  Point paneToImage(int px, int py) const;
  // The readout under a pane point when the pane's size is the viewport's;
  // origin is the settings' coordinate origin.
  void cursorReadout(int px, int py, int paneWidth, int paneHeight, Point origin);
  void clearCursorReadout() { cursorX = cursorY = cursorValue = -1; }
  void startDisplay();
  void raiseStamp() { ++stamp; }
  // Redraws the cache when its stamp differs from the tile's; true when the
  // cache holds the tile's picture. rowsDone, when not empty, follows a
  // redraw row by row (see renderImage).
  bool render(RenderCache& cache, const RowsDone& rowsDone = {}) const;
  // The part of the cache's bitmap a render would cover now, as
  // RenderCache::covered; empty when nothing would be drawn.
  Rect coverage(const RenderCache& cache) const;

  int selected = 0;
  int current = 0;
  double centreX = 0.5, centreY = 0.5;
  int windowCentre = 0, windowWidth = 1, userInvert = 0, maxValue = 255;
  double zoom = 1.0;
  double sharpness = 0.0;
  CDisplayLUT lut;
  int cursorX = -1, cursorY = -1, cursorValue = -1;
  int showName = 0;
  int viewportWidth = 0, viewportHeight = 0;
  CImageItem* image = nullptr;
  int stamp = 1;
  double savedCentreX = 0.5, savedCentreY = 0.5;
  double overflow = 1.0;

 private:
  void computeOverflow();
  bool hasImage() const { return image && image->width() > 0 && image->height() > 0; }
};

// ---------------------------------------------------------------- grid

// The copied display attributes: a tile's fields from centre x through sharpness.
struct DisplayAttributes {
  double centreX = 0.5, centreY = 0.5;
  int windowCentre = 0, windowWidth = 1, userInvert = 0, maxValue = 255;
  double zoom = 1.0;
  double sharpness = 0.0;
};

// What the grid asks the application's palettes to refresh.
// kRepaintOverview only repaints the OverView (the marquee marches on).
enum PaletteRefresh { kRefreshInfoReadout = 1, kRefreshInfoMeasures = 2, kRefreshOverview = 4, kRepaintOverview = 8 };

class CDisplayGrid {
 public:
  static constexpr int kCapacity = 1024;
  enum Mode { kNormal = 0, kSingle = 1, kDuplicate = 2 };

  explicit CDisplayGrid(platform::WindowHandle view = 0);
  ~CDisplayGrid();
  CDisplayGrid(const CDisplayGrid&) = delete;
  CDisplayGrid& operator=(const CDisplayGrid&) = delete;

  void setView(platform::WindowHandle view) { view_ = view; }
  void setMainFrame(platform::WindowHandle frame) { mainFrame_ = frame; }
  // Called with PaletteRefresh bits where the palettes must follow a change.
  std::function<void(int)> paletteRefresh;

  bool addTiles(int n, bool append);
  CDisplayTile* tile(int i) const;
  int count() const;
  CDisplayTile* visibleTile(int i) const;
  int tileCount() const { return count_; }
  // The index of a tile in the table; -1 when it is not one of them.
  int indexOf(const CDisplayTile* t) const;

  bool canPageBack() const { return pageStart_ > 0; }
  void pageBack() { if (pageStart_ > 0) --pageStart_; }
  bool canPageForward(int page) const { return count() - pageStart_ > page; }
  void pageForward(int page) { if (canPageForward(page)) ++pageStart_; }
  void setPageStart(int i) { pageStart_ = i; }
  int pageStart() const { return pageStart_; }
  int pageSize() const { return pageSize_; }
  void showTile(const CDisplayTile* t, int page);
  void showTileLast(const CDisplayTile* t, int page);

  void click(CDisplayTile* t, int flags);
  void selectAll(bool on);
  void makeCurrent(CDisplayTile* t);
  CDisplayTile* currentTile() const { return current_; }
  // Set when a click left no tile selected; the next double click reads and clears it.
  bool takeFreshSelection();

  void setMode(int mode);
  int mode() const { return mode_; }
  CDisplayTile& tileA() { return tileA_; }
  CDisplayTile& tileB() { return tileB_; }
  CDisplayTile& mirror() { return mirror_; }

  void applyCentre(double x, double y);
  void applyWindow(int centre, int width, int invert);
  void applyZoom(double z);
  void applySharpness(double s);
  void copyAttributes();
  void pasteAttributes();
  bool attributesCopied() const { return copied_ != 0; }
  void showNames(bool on);
  bool showingNames() const { return showName_ != 0; }
  void raiseAllStamps();
  void raiseStampsOfSelectedImages();

  // The mouse tools; dx, dy are the pointer's movement since the last report.
  void hand(int dx, int dy);
  // At the press of the Zoom tool: the pane size, the press point and the
  // current tile's zoom are kept, and every selected tile keeps its centre.
  void startZoomDrag(int paneWidth, int paneHeight, int px, int py);
  void zoomStep(int dy, bool movePosition);
  void toneCurve(int dx, int dy);
  void doubleClick(int tool);

  // The view's commands.
  void displayWholeImage();
  void displayMarquee();
  void displayPixelToPixel() { applyZoom(1.0); }
  void optimizeTonecurve();
  void clearSharpness() { applySharpness(0.0); }

  // An arrow key (dx, dy of -1, 0, 1) on a page of columns x rows panes:
  // scrolls at the page's ends and clicks the tile in the target pane. False
  // when the target pane has no tile.
  bool arrowKey(int dx, int dy, int columns, int rows);

 private:
  template <class F>
  void forSelected(F f);
  void setCurrent(CDisplayTile* t);
  void prepareSpecial(CDisplayTile& t);
  void send(int id);
  void post(int id);
  void refresh(int what);

  int count_ = 0;
  std::array<std::unique_ptr<CDisplayTile>, kCapacity> tiles_{};
  DisplayAttributes attributes_;
  int copied_ = 0;
  int showName_ = 1;
  CDisplayTile* anchor_ = nullptr;
  int mode_ = kNormal;
  int pageStart_ = 0;
  int pageSize_ = 1;
  CDisplayTile* current_ = nullptr;
  CDisplayTile tileA_, tileB_, mirror_;
  CDisplayTile* savedCurrent_ = nullptr;
  platform::WindowHandle view_ = 0;
  platform::WindowHandle mainFrame_ = 0;
  bool freshSelection_ = false;
  // The zoom drag: pane size, press point and start zoom.
  int dragW_ = 0, dragH_ = 0, dragX_ = 0, dragY_ = 0;
  double dragZoom_ = 1.0;
};

// ---------------------------------------------------------------- view arithmetic

struct Layout {
  int columns = 1, rows = 1;
  bool operator==(const Layout&) const = default;
};
// The maximum-views layout for n images (n >= 1).
Layout maximumViewsLayout(int n);

// Where a picture of imageWidth x imageHeight goes on a page, in device pixels.
struct PrintPlacement {
  std::int64_t x = 0, y = 0, width = 0, height = 0;
  bool operator==(const PrintPlacement&) const = default;
};
// Fits the picture to 80 % of the page's limiting side, centred; exact for
// every size. All-zero for an empty image or page.
PrintPlacement printFit(std::int64_t pageWidth, std::int64_t pageHeight, std::int64_t imageWidth,
                        std::int64_t imageHeight);

// ---------------------------------------------------------------- ROI edit

inline constexpr int kNoEditZone = 999;
// The zone of a pane point against the ROI in pane coordinates: -1 outside the
// ROI grown by 5 pixels (or for an empty ROI), else the sum of 1 (near the
// left edge), 2 (right), 4 (top) and 8 (bottom), 0 inside.
int roiZone(int x, int y, const Rect& paneRoi);

// The Rectangle tool's edit of the ROI, in image points.
class RoiEdit {
 public:
  // Starts at the press: zone -1 a new rectangle at the press point, else an
  // edit of roi by the zone's corner, edge or the whole rectangle.
  void start(int zone, Point press, const Rect& roi);
  // The pointer is at p now; returns the rectangle to set as the ROI.
  Rect move(Point p);
  // The rectangle as it stands; empty for a new one not moved yet.
  Rect rect() const { return normalised(); }
  void end() { zone_ = kNoEditZone; }
  int zone() const { return zone_; }
  bool editing() const { return zone_ != kNoEditZone; }

 private:
  Rect normalised() const;
  int zone_ = kNoEditZone;
  bool whole_ = false;
  bool moveX_ = false, moveY_ = false;
  Point anchor_, moving_, last_;
};

// ---------------------------------------------------------------- palettes

// The process-wide choices the palettes make: the units of section Unit
// (Scale 0 pixel, 1 mm; Value 0 pixel value, 1 O.D.) and the Profile
// palette's direction (0 horizontal, 1 vertical). The application loads and
// saves them with its settings.
struct PaletteSettings {
  int scale = 0;
  int value = 0;
  int profileMode = 0;
};
PaletteSettings& paletteSettings();

// The Information palette's own mode codes, and the ini key Infomation that
// keeps them from run to run (0 hidden, 1 short, 2 full).
inline constexpr int kInfoFull = 1;
inline constexpr int kInfoShort = 2;
int infoModeOfKey(int infomation);  // kInfoShort or kInfoFull; 0 for hidden
int keyOfInfoMode(int mode, bool shown);

// A length (position, marquee size) by the Scale unit: 0 pixels, 1 mm with the
// pitch in micrometres.
std::string lengthText(int n, int scaleUnit, int pitch);
// A sample by the Value unit: 0 the sample, 1 its O.D.
std::string valueText(int sample, int valueUnit, int maxValue, int odRange);

// What the Information palette shows of an image.
struct ImageFacts {
  int maxValue = 255;
  int odRange = 0;
  int pitch = 0;
};
struct ReadoutTexts {
  std::string x, y, value;
  bool operator==(const ReadoutTexts&) const = default;
};
// The pointer readout; a value below 0 means no sample under the pointer.
ReadoutTexts readoutTexts(int x, int y, int value, const ImageFacts& image, const PaletteSettings& units);
struct MeasureTexts {
  std::string mx, my, mw, mh, min, max, mean;
  bool operator==(const MeasureTexts&) const = default;
};
// The marquee (normalised) and the ROI statistics. In O.D. the Min field
// shows the lowest density, which is the O.D. of the highest sample.
MeasureTexts measureTexts(const Rect& marquee, int roiMin, int roiMax, int roiMean, const ImageFacts& image,
                          const PaletteSettings& units);
// Where the ROI minimum and maximum labels go under the tone curve.
struct LabelPlaces {
  int minX = 0, maxX = 0;
  bool operator==(const LabelPlaces&) const = default;
};
LabelPlaces minMaxLabelPlaces(int roiMin, int roiMax, int maxValue);

// Zoom list item 0 for a zoom ("%.3f      ").
std::string zoomItemText(double zoom);
// The number a list item or edit starts with, blanks before it skipped; 0
// when it starts with none.
double leadingNumber(std::string_view text);

// The sharpness slider: a pointer row to its value (rows 4 to 93 span 2 to 0)
// and the thumb's top row for a value.
double sharpnessAtRow(int y);
int sharpThumbRow(double value);

// The tone-curve control's window.
struct ToneWindow {
  int centre = 0, width = 1;
  bool operator==(const ToneWindow&) const = default;
};
// A drag by (dx, dy) since the last report on a window of maximum value m.
ToneWindow toneCurveDrag(ToneWindow w, int maxValue, int dx, int dy);
// A double click: the window of the ROI, or the full window when the edits
// hold the ROI's window already.
ToneWindow toneCurveDoubleClick(int roiMin, int roiMax, int maxValue, bool editsHoldRoiWindow);
// The window's line across a control of that width: x at the bottom and at
// the top (swapped when inverted), and a marker's x for a value.
struct ToneLine {
  int bottomX = 0, topX = 0;
  bool operator==(const ToneLine&) const = default;
};
ToneLine toneCurveLine(ToneWindow w, int maxValue, bool invert, int clientWidth);
int toneMarkerX(int value, int maxValue, int clientWidth);

// The OverView: fits the mirror tile to a client width (its unclamped zoom)
// and returns the client height, 0 without an image.
int overviewFit(CDisplayTile& mirror, int clientWidth);
// An image point in a tile's pane.
Point imageToPane(const CDisplayTile& tile, Point image);
// The part of the image that the current tile's pane shows, in OverView
// points: the corners of its first and its last pixel.
Rect overviewViewRect(const CDisplayTile& current, const CDisplayTile& mirror);
// The current image's marquee in OverView points, 2 pixels shorter at its
// right and bottom; empty for an empty ROI.
Rect overviewMarquee(const CImageItem& image, const CDisplayTile& mirror);

// The main frame's floating palettes, in the frame's order (Tool,
// Information, OverView, Profile), each with the rectangle its window frame
// covers now. A palette that meets no shown palette before it stays where it
// stands; one that does moves just clear of it, down (the palette column) or
// right (the Profile), until it meets none. Hidden palettes neither move nor
// count. The result holds the frames' new places, in the same order.
struct PaletteFrame {
  Rect frame;
  bool shown = false;
  bool clearsRight = false;
};
std::vector<Rect> placePalettes(const std::vector<PaletteFrame>& palettes);

// The Profile palette: its window width for a profile, and the plot's points
// in a window of that width (the first at column 40, then one per column).
inline int profileWindowWidth(int length) { return length + 60; }
std::vector<Point> profilePolyline(const std::vector<int>& samples, int windowWidth);

}  // namespace viewer::display
