// The viewer's windows: the view with its image panes and study panel, the
// tool palette, the child frame and the main frame. Pixels come from the
// display core; these classes only wire widgets to it.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "viewer/display/display.h"
#include "viewer/image_model.h"
#include "viewer/view/palettes.h"

class QPrinter;
class QMenu;
class QMdiArea;
class QLabel;

namespace platform::qt {
class QtMessageTarget;
}

namespace viewer::view {

// Command ids of the view.
enum ViewCommand {
  ID_FLIP_HORIZONTAL = 32771,
  ID_FLIP_VERTICAL = 32772,
  ID_ROTATE_CW = 32773,
  ID_ROTATE_CCW = 32774,
  ID_CUT = 32775,
  ID_DISPLAY_WHOLE = 32776,
  ID_DISPLAY_MARQUEE = 32777,
  ID_PIXEL_TO_PIXEL = 32778,
  ID_OPTIMIZE_TONECURVE = 32779,
  ID_LAYOUT_SPECIFY = 32805,
  ID_SAVE_CURRENT = 32806,
  ID_PREVIOUS_IMAGE = 32807,
  ID_NEXT_IMAGE = 32808,
  ID_SELECT_ALL_VIEWS = 32809,
  ID_UNSELECT_ALL_VIEWS = 32810,
  ID_EDIT_STUDY = 32811,
  ID_STUDY_DATA = 32812,
  ID_SHOW_CURRENT_ONLY = 32817,
  ID_DUPLICATE_CURRENT = 32818,
  ID_JUMP_FIRST = 32819,
  ID_SHOW_IMAGE_NAME = 32820,
  ID_MAXIMUM_VIEWS = 32822,
  ID_COPY_ATTRIBUTES = 32823,
  ID_PASTE_ATTRIBUTES = 32824,
  ID_CLEAR_SHARPNESS = 32826,
  ID_JUMP_LAST = 32828,
  ID_INITIALIZE_VIEWING = 32840,
  ID_CANCEL_ROI = 32842,
  IDM_IMAGE_ADDED = 32839,
  IDM_REFRESH_LATER = 40003,
  ID_FILE_PRINT = 57607,
  ID_EDIT_COPY = 57634,
  ID_EDIT_SELECT_WHOLE = 57642,
  ID_EDIT_UNDO = 57643,
};

// Tool commands of the main frame, by tool 1..4.
enum ToolCommand { ID_TOOL_HAND = 32834, ID_TOOL_RECTANGLE = 32833, ID_TOOL_ZOOM = 32835, ID_TOOL_TONE = 32836 };
int toolCommand(int tool);
int toolOfCommand(int command);  // 0 for a command that is no tool

// The translated menu text of a command of the view or the frame ("&Copy\tCtrl+C"
// style accelerators are the caller's); empty for an unknown id.
QString menuText(int id);

// The layout commands and their columns x rows.
struct LayoutCommand {
  int id, columns, rows;
  const char* text;
};
const std::vector<LayoutCommand>& layoutCommands();

// The images a view shows; the document provides them.
class ImageSource {
 public:
  virtual ~ImageSource() = default;
  virtual int imageCount() const = 0;
  virtual CImageItem* imageAt(int i) const = 0;
  // Saves the current image (Save Current Image...); the document decides how.
  virtual void saveCurrentImage() {}
  // Brings an image back to its samples as loaded; false when it was not restored.
  virtual bool restoreOriginal(CImageItem&) { return false; }
  // Edits the study data of the selected images; true when something changed.
  virtual bool editStudyData() { return false; }
};

// Where the panes' tool comes from and where tool commands go: the main frame.
class ToolTarget {
 public:
  virtual ~ToolTarget() = default;
  virtual int currentTool() const = 0;
  virtual void toolCommand(int command) = 0;
};

// The application's palette link: what a view tells the main frame's palettes.
class PaletteLink {
 public:
  virtual ~PaletteLink() = default;
  // The view's grid is the active one now (its current image changed).
  virtual void setActiveGrid(display::CDisplayGrid* grid) = 0;
  // The view goes; the palettes forget its grid when it was the active one.
  virtual void withdrawGrid(display::CDisplayGrid* grid) = 0;
  // display::PaletteRefresh bits.
  virtual void refreshPalettes(int what) = 0;
};

struct KeyState {
  bool shift = false, ctrl = false;
};
// Reads the keyboard; tests inject their own.
using KeyboardQuery = std::function<KeyState()>;
KeyState systemKeyState();

// The colour tables of the 8-bit bitmaps: panes grey, print and copy with the
// overlay colours in entries 1 to 21.
QList<QRgb> paneColourTable();
QList<QRgb> printColourTable();
// An 8-bit bitmap of the display core as an image sharing nothing with it.
QImage toImage(const display::Bitmap& bitmap, int width, const QList<QRgb>& colours);

// "path(12bits) [100X100] 20,000 Bytes"
QString statusText(const QString& path, int bits, int width, int height);

class CTivolaView;

class CImagePane : public QWidget {
 public:
  CImagePane(CTivolaView* view, int id);
  ~CImagePane() override;
  display::CDisplayTile* tile = nullptr;
  display::RenderCache cache;
  bool earlier = false, later = false;
  // The part of the pane the picture fills, inside the edge and frames.
  QRect pictureRect() const;
  // The cursor of the current tool (and ROI zone) at a pane point.
  void updateCursor(QPoint p);
  // After the tile's stamp moved: the part of the pane its next paint changes
  // (the whole pane when that is not known). The paint renders the tile.
  QRect movedArea();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  bool usable() const;
  void editRoi(QPoint p);
  CTivolaView* view_;
};

class CStudyPanel : public QWidget {
 public:
  explicit CStudyPanel(QWidget* parent);
  const CStudyInfo* study = nullptr;

 protected:
  void paintEvent(QPaintEvent*) override;
};

// True while a pane's left button is down; the temporary tools wait for it.
bool paneDragInProgress();

class CTivolaView : public QWidget {
 public:
  static constexpr int kPanes = 100;
  static constexpr int kPanelWidth = 150;

  CTivolaView(ImageSource* images, ToolTarget* tools, QWidget* parent = nullptr);
  ~CTivolaView() override;

  // Binds tiles to the document's images, lays out the panes, starts the timer.
  void initialUpdate();
  // Carries out a command of the view; false for one it does not know.
  bool command(int id);
  // Queues a command or message for the view, as its document does after
  // adding images (IDM_IMAGE_ADDED).
  void postCommand(int id);
  bool commandEnabled(int id) const;
  bool commandChecked(int id) const;

  void setLayout(int columns, int rows);
  void maximumViewsLayout();
  void rebindPanes();
  void layoutPanes();

  // Copy and print; false (with the message shown) on failure.
  bool copyToClipboard();
  bool printPage(QPrinter& printer);
  void print();  // with the printer dialog

  void setKeyboardQuery(KeyboardQuery q) { keys_ = std::move(q); }
  void timerTick();
  // Answers the Layout dialog in tests: columns, rows, or false for Cancel.
  std::function<bool(int&, int&)> layoutDialog;

  display::CDisplayGrid& grid() { return grid_; }
  CImagePane* pane(int i) const { return panes_[std::size_t(i)]; }
  CStudyPanel* studyPanel() const { return panel_; }
  int columns() const { return columns_; }
  int rows() const { return rows_; }
  int panelWidth() const { return panelWidth_; }
  int tool() const;
  int tick() const { return tick_; }
  // The marching marquee's phase, shared by every pane and the OverView.
  static int marqueePhase();
  void setPaletteLink(PaletteLink* link) { link_ = link; }
  CImageItem* currentImage() const;
  QMenu* contextMenu(bool duplicate);
  void openContextMenu(CImagePane* pane, QPoint global);
  // The ROI of every selected image during an edit; its statistics follow
  // once the events queued so far are handled, for the latest ROI only.
  void setSelectedRoi(const Rect& roi);
  void flushRoiStatistics();
  // Repaints at once the visible panes whose tile stamp moved since their
  // last render, and those showing a ROI.
  void paintMovedPanes();

  static int rememberedPanelWidth();
  // After a tool change: every shown pane takes the new tool's cursor.
  void updateCursors();

 protected:
  void resizeEvent(QResizeEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void focusInEvent(QFocusEvent*) override;

 private:
  void onMessage(int id);
  void selectionToDocument();
  void redrawPanes();
  void refreshCurrent();
  void forSelectedImages(const std::function<bool(CImageItem&)>& f);
  void transformSelected(bool (CImageItem::*op)());
  // True when some image is selected; else the operator is told so.
  bool anySelected();
  void arrowKey(int dx, int dy, bool shift);
  void message(int id);

  ImageSource* images_;
  ToolTarget* tools_;
  std::array<CImagePane*, kPanes> panes_{};
  int columns_ = 1, rows_ = 1;
  CStudyPanel* panel_ = nullptr;
  int panelWidth_ = 0;
  bool initialised_ = false;
  std::unique_ptr<platform::qt::QtMessageTarget> target_;
  int savedColumns_ = 1, savedRows_ = 1, savedStart_ = 0;
  display::CDisplayTile* savedCurrent_ = nullptr;
  display::CDisplayGrid grid_;
  KeyboardQuery keys_;
  int timerId_ = 0;
  int tick_ = 0;
  QMenu* menus_[2] = {nullptr, nullptr};
  bool statisticsQueued_ = false;
  PaletteLink* link_ = nullptr;

 protected:
  void timerEvent(QTimerEvent*) override;
};

// Four 34 x 34 buttons: Hand, Rectangle, Zoom, Tone Curve.
class CToolPalette : public QWidget, public ToolTarget {
 public:
  explicit CToolPalette(QWidget* parent = nullptr);
  int currentTool() const override { return tool_; }
  void toolCommand(int command) override;
  void setTool(int tool);
  // Told after every change of the tool.
  std::function<void(int)> toolChanged;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;

 private:
  int tool_ = display::kToolRectangle;
};

// The plain child frame of a document: its view fills it.
class CChildFrame : public QMdiSubWindow {
 public:
  explicit CChildFrame(CTivolaView* view, QWidget* parent = nullptr);
  CTivolaView* view() const { return view_; }

 private:
  CTivolaView* view_;
};

// Command ids of the main frame.
enum FrameCommand {
  ID_HIDE_INFO = 32784,
  ID_SHORT_INFO = 32785,
  ID_FULL_INFO = 32786,
  ID_HORIZONTAL_PROFILE = 32787,
  ID_VERTICAL_PROFILE = 32788,
  ID_OVERVIEW_WINDOW = 32814,
  ID_TOOLBOX = 32827,
  ID_FIND = 32831,
};

// The multi-document frame: status bar, the four floating palettes, the
// palette and tool commands and dropped files.
class CMainFrame : public QMainWindow, public ToolTarget, public PaletteLink {
 public:
  // `ini` keeps the Window section: Infomation, Overview and Main.
  explicit CMainFrame(std::filesystem::path ini, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // Makes the palettes at their places, then moves the frame right of them
  // inside a screen of that size.
  void createPalettes(int infomation, int overview, QSize screen);
  CChildFrame* addView(CTivolaView* view);

  bool command(int id);
  bool commandChecked(int id) const;
  // The status text of the active image; none clears it.
  void setStatusImage(const CImageItem* image);
  QString statusMessage() const;

  int currentTool() const override;
  void toolCommand(int command) override;

  void setActiveGrid(display::CDisplayGrid* grid) override;
  void withdrawGrid(display::CDisplayGrid* grid) override;
  void refreshPalettes(int what) override;

  CToolPalette* toolPalette() const { return tool_; }
  CInfoPalette* infoPalette() const { return info_; }
  COverviewPalette* overviewPalette() const { return overview_; }
  CProfilePalette* profilePalette() const { return profile_; }
  QMdiArea* mdiArea() const { return mdi_; }
  int infoMode() const { return infoMode_; }  // the Infomation key: 0 hidden, 1 short, 2 full
  // The Overview key: whether the OverView palette is shown, or was when the
  // frame last closed (the application's quit hides the palettes after that).
  bool overviewShown() const;
  int profileMode() const;  // 0 hidden, 1 horizontal, 2 vertical

  // The New Scan command (the Information palette's button).
  std::function<void()> newScan;

  // Opens the dropped files; the open pipeline reads dropInProgress() to
  // tell a drop from other opens.
  std::function<void(const QStringList&)> openFiles;
  static bool dropInProgress();

 protected:
  void dragEnterEvent(QDragEnterEvent*) override;
  void dropEvent(QDropEvent*) override;
  void hideEvent(QHideEvent*) override;
  void showEvent(QShowEvent*) override;
  // A palette that is shown or changes size is placed again.
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void refreshProfile();
  // Moves every shown palette that meets one before it just clear of it.
  void placePalettes();

  // The frame is drawn active while it or one of its Tool, Information and
  // OverView palettes is the active window.
  void followActivation();
  std::filesystem::path ini_;
  CInfoPalette* info_ = nullptr;
  CToolPalette* tool_ = nullptr;
  COverviewPalette* overview_ = nullptr;
  CProfilePalette* profile_ = nullptr;
  QMdiArea* mdi_ = nullptr;
  QLabel* status_ = nullptr;
  int infoMode_ = 0;
  bool overviewAtClose_ = false;
  QRect place_;  // the frame's place until it is first shown
  display::CDisplayGrid* grid_ = nullptr;
  bool refreshing_ = false;
};

}  // namespace viewer::view
