// The main frame's Information, OverView and Profile palettes. They show the
// active view's grid; the arithmetic is the display core's.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "viewer/display/display.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace viewer::view {

// Internal commands of the Information palette: the window edits changed,
// the sharpness slider moved.
inline constexpr int IDM_WINDOW_EDITED = 40002;
inline constexpr int IDM_SHARPNESS_CHANGED = 40004;
// The main frame's New Scan command.
inline constexpr int ID_NEW_SCAN = 32813;

class CInfoPalette;

// The sharpness (0 to 2) as a thumb on a 100-pixel scale: row 4 is 2, row 93 is 0.
class CSharpSlider : public QWidget {
 public:
  explicit CSharpSlider(CInfoPalette* palette);
  double value() const { return value_; }
  // Shows a value without telling the palette.
  void setValue(double value);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;

 private:
  void pointerAt(int y);
  CInfoPalette* palette_;
  double value_ = 0.0;
  bool dragging_ = false;
};

// The window as a line over the value range with the ROI's minimum and
// maximum as markers; a drag or double click writes a new window into the
// palette's centre and width edits.
class CToneCurveCtrl : public QWidget {
 public:
  CToneCurveCtrl(CInfoPalette* palette, QLineEdit* centre, QLineEdit* width);
  void setRoi(int minimum, int maximum, int maxValue);
  void setWindow(int centre, int width, int invert);
  display::ToneWindow window() const { return window_; }
  int maxValue() const { return maxValue_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;

 private:
  void write(display::ToneWindow w);
  CInfoPalette* palette_;
  QLineEdit* centre_;
  QLineEdit* width_;
  int roiMin_ = 0, roiMax_ = 0;
  int maxValue_ = 255;
  display::ToneWindow window_{127, 255};
  int invert_ = 0;
  bool dragging_ = false;
  QPoint last_;
};

// Pointer, zoom, sharpness, marquee, ROI statistics and window of the current
// image, and the controls that change them on the selected views.
class CInfoPalette : public QWidget {
 public:
  explicit CInfoPalette(QWidget* owner);

  void setGrid(display::CDisplayGrid* grid);
  void withdrawGrid(const display::CDisplayGrid* grid);
  display::CDisplayGrid* grid() const { return grid_; }

  // display::kInfoFull or kInfoShort; the palette is laid out for it.
  void setMode(int mode);
  int mode() const { return mode_; }

  void updateReadout();
  void updateMeasures();
  void updateWindow();
  // The internal commands and the ones its controls send.
  void command(int id);
  // Writes a window into the centre and width edits, as the tone curve does.
  void writeWindowEdits(int centre, int width);

  CSharpSlider* sharpSlider() const { return slider_; }
  CToneCurveCtrl* toneCurve() const { return tone_; }
  // Commands for the main frame (New Scan).
  std::function<void(int)> frameCommand;

 private:
  struct Place {
    QWidget* control;
    QRect full, brief;  // brief null: hidden in the short mode
  };
  QLabel* label(const char* text);
  QLabel* value(int id, const char* text);
  void place(QWidget* control, QRect full, QRect brief = {});
  void refreshAfterUnitChange();
  void clearTexts();
  void showMinMaxLabels(bool on);

  display::CDisplayGrid* grid_ = nullptr;
  int mode_ = display::kInfoFull;
  std::vector<Place> places_;
  QComboBox* zoom_ = nullptr;
  QComboBox* valueUnit_ = nullptr;
  QComboBox* lengthUnit_ = nullptr;
  QLineEdit* centre_ = nullptr;
  QLineEdit* width_ = nullptr;
  QCheckBox* invert_ = nullptr;
  QLabel* minLabel_ = nullptr;
  QLabel* maxLabel_ = nullptr;
  QLabel* scaleEnd_ = nullptr;
  CToneCurveCtrl* tone_ = nullptr;
  CSharpSlider* slider_ = nullptr;
  int toneTop_ = 0, minMaxTop_ = 0;  // rows of the tone curve and of its Min and Max labels
  int fullHeight_ = 0, shortHeight_ = 0;
  bool measuresShown_ = false;
  bool writing_ = false;  // the palette itself is writing its controls
  double lastZoom_ = -1.0;
};

// The whole current image, the part the current pane shows and the marquee;
// a drag moves every selected view there.
class COverviewPalette : public QWidget {
 public:
  explicit COverviewPalette(QWidget* owner);
  void setGrid(display::CDisplayGrid* grid);
  void withdrawGrid(const display::CDisplayGrid* grid);
  display::CDisplayGrid* grid() const { return grid_; }
  // Draws the picture again at the next paint; with drop the bitmap is made anew.
  void refresh(bool drop);

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  void fit();
  void dragTo(QPoint p);
  display::CDisplayGrid* grid_ = nullptr;
  display::RenderCache cache_;
  bool dragging_ = false;
};

// The line profile across the current image's ROI.
class CProfilePalette : public QWidget {
 public:
  explicit CProfilePalette(QWidget* owner);
  void setProfile(const LineProfile& profile);
  // Title by the direction and the value unit; width from the profile
  // unless the user sized the window since it was shown; redrawn at once.
  void updateProfile();
  bool userSized() const { return userSized_; }
  int length() const { return int(samples_.size()); }
  QString maxText() const { return maxText_; }
  QString minText() const { return minText_; }
  // The boxes of the maximum and minimum texts, and the font they are drawn in.
  static QRect maxTextBox();
  static QRect minTextBox();
  QFont textFont() const;

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void showEvent(QShowEvent*) override;

 private:
  std::vector<int> samples_;
  QString maxText_, minText_;
  bool userSized_ = false;
  QSize requested_;
};

// The Profile palette's title for a direction (0 horizontal, 1 vertical)
// and a value unit (1 O.D.).
QString profileTitle(int mode, int valueUnit);

}  // namespace viewer::view
