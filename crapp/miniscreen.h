// The preview pane: the engine's reduced plate as an 8-bit grey bitmap, shown
// aspect-fitted with black margins, and the tone stretch made from its histogram.
#pragma once

#include <QWidget>

#include <cstdint>
#include <memory>

namespace crapp {

// The stretch limits, set from the image depth at each completed scan.
struct ToneParameters {
  int base = 4096;   // 2 to the power of the depth
  int para1 = 3000;  // base * 3000 / 4096
  int para2 = 1024;  // base / 4

  static ToneParameters forDepth(int depth);
};

// The tone table for n-bit samples (bytes up to 8 bits, else 16-bit words):
// 1 with 2^n entries in `table`, 0 when no table could be made.
int GetLutForToneAdjust(const void* pixels, int width, int height, int n, std::uint16_t* table,
                        const ToneParameters& tone);
// Builds the table and applies it to the samples in place; nothing changes
// when no table could be made.
void AdjustContrastBright(int width, int height, int n, void* pixels, const ToneParameters& tone);

// Where a W x H image lands in a paneW x paneH pane, keeping its proportions.
struct PaneGeometry {
  int x = 0, y = 0, width = 0, height = 0;
};
PaneGeometry fitToPane(int imageWidth, int imageHeight, int paneWidth, int paneHeight);

// The 8-bit top-down grey bitmap the engine writes into during a scan.
class PreviewDib {
 public:
  bool Create(int width, int height);
  void Delete();
  bool exists() const { return bits_ != nullptr; }
  int width() const { return width_; }
  int height() const { return height_; }
  std::uint8_t* bits() const { return bits_.get(); }

 private:
  int width_ = 0, height_ = 0;
  std::unique_ptr<std::uint8_t[]> bits_;
};

class CMiniscreen : public QWidget {
 public:
  explicit CMiniscreen(QWidget* parent = nullptr);

  // Redraws at once, as the engine's progress notifications need.
  void RedrawNow() { repaint(); }

  PreviewDib m_DIB;
  int pixelsReady = 0;
  int imageWidth = 0, imageHeight = 0, imageDepth = 0;
  int rotation = 0;  // odd: width and height swap for the proportions
  bool scanning = false;
  int paneWidth = 0, paneHeight = 0;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace crapp
