// The viewer's in-memory image model: the pixel buffer with its acquisition
// attributes, the image item a pane shows, the fixed table of items, the study
// record and the display lookup table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace viewer {

// A rectangle in image pixels; right and bottom are exclusive.
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

// Largest pixel buffer a reader may ask for: far above any film or plate scan,
// far below what would starve the machine.
inline constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 30;
inline constexpr int kMaxImageSide = 65535;

// Frees a pixel buffer the way it was allocated.
struct PixelDeleter {
  std::size_t mappedBytes = 0;  // non-zero for a buffer mapped on its own
  void operator()(std::uint8_t* p) const;
};

class CImageBuffer {
 public:
  CImageBuffer() = default;
  virtual ~CImageBuffer() = default;
  CImageBuffer(const CImageBuffer&) = delete;
  CImageBuffer& operator=(const CImageBuffer&) = delete;

  // Stores the three values and allocates width x height x bytes (contents
  // undefined). False, with the image unchanged, for sizes outside 1..65535,
  // a depth other than 1 or 2, more than kMaxImageBytes, or no memory.
  bool allocate(int bytesPerSample, int width, int height);
  void freePixels();
  void freeSecondBuffer();

  int width() const { return width_; }
  int height() const { return height_; }
  int bytesPerSample() const { return bytesPerSample_; }
  bool hasPixels() const { return pixels_ != nullptr; }
  std::size_t sampleCount() const { return std::size_t(width_) * std::size_t(height_); }
  std::size_t byteCount() const { return sampleCount() * std::size_t(bytesPerSample_); }
  // A sample; 0 for a position outside the image.
  int pixel(int x, int y) const;

  // The current pixels: width x height samples, rows top first, 16-bit samples
  // in machine order.
  std::uint8_t* data() { return pixels_.get(); }
  const std::uint8_t* data() const { return pixels_.get(); }
  std::uint16_t* data16() { return reinterpret_cast<std::uint16_t*>(pixels_.get()); }
  const std::uint16_t* data16() const { return reinterpret_cast<const std::uint16_t*>(pixels_.get()); }

  // The unprocessed samples: the second buffer when one is kept, else the pixels.
  const std::uint8_t* unprocessed() const { return second_ ? second_.get() : pixels_.get(); }
  bool hasSecondBuffer() const { return second_ != nullptr; }
  // Keeps a copy of the current samples as the second buffer.
  bool keepSecondBuffer();
  // Takes over the other buffer's pixels, second buffer, size and depth; the
  // other is left without pixels.
  void takePixelsFrom(CImageBuffer& other);

  // Transforms of the pixel buffer; false (image unchanged) when memory fails.
  bool crop(const Rect& rect);
  bool flipHorizontal();
  bool flipVertical();
  bool rotateClockwise();
  bool rotateCounterClockwise();

  // The one-shot check after a file was read: cuts every 16-bit sample to its
  // low 12 bits and says whether none lost a bit.
  bool cutToTwelveBits();

  int bitsStored = 8;
  int maxValue = 255;
  int inverted = 0;
  std::uint16_t pitch = 200;  // micrometres
  int odRange = 0;            // tenths of optical density
  std::string sopInstanceUid, studyInstanceUid, seriesInstanceUid;
  int instanceNumber = 0;

 protected:
  using Storage = std::unique_ptr<std::uint8_t, PixelDeleter>;
  static Storage allocateStorage(std::size_t bytes);
  void adopt(Storage storage, int width, int height);

 private:
  int width_ = 0;
  int height_ = 0;
  int bytesPerSample_ = 1;
  Storage pixels_;
  Storage second_;
};

// The study information record: fixed-size NUL-terminated CP932 fields.
class CStudyInfo {
 public:
  char sopInstanceUid[65] = {};
  char studyYear[9] = {}, studyMonth[9] = {}, studyDay[9] = {};
  char studyId[65] = {};
  char studyDescription[1025] = {};
  char componentName[65] = {};
  char componentIdNumber[65] = {};
  char manufacturingYear[9] = {}, manufacturingMonth[9] = {}, manufacturingDay[9] = {};
  char sex[9] = {};
  char studyInstanceUid[65] = {};
  char seriesInstanceUid[65] = {};
  char instanceUid[65] = {};

  // Display field numbers.
  enum Field {
    kSopInstanceUid = 0, kStudyDate = 1, kStudyDescription = 2, kComponentName = 3,
    kComponentIdNumber = 4, kManufacturingDate = 5, kSex = 6, kStudyId = 7,
    kStudyUid = 17, kSeriesUid = 18, kInstanceUid = 19
  };
  // The text of a field by number; empty for an unknown number.
  std::string fieldText(int field) const;
  // The label's string id and text; id 0 and empty for an unknown number.
  static int labelId(int field);
  static std::string label(int field);

  // Copies text into a field, cut by bytes without splitting a two-byte character.
  template <std::size_t N>
  static void set(char (&field)[N], std::string_view text) { setField(field, N, text); }
  static void setField(char* field, std::size_t size, std::string_view text);
};

// "%s/%s/%s" of year, month and day without leading zeros when they form a
// plausible date (1800..2100, 1..12, 1..31), else the blank date.
std::string dateText(std::string_view year, std::string_view month, std::string_view day);

// Fixed-point text with three decimals in the C locale ("%.3f").
std::string fixed3(double value);

class CDisplayLUT {
 public:
  CDisplayLUT();
  // Clamps centre to 0..maximum value and width to 1..2 x maximum value + 2;
  // rebuilds and returns true only when something changed.
  bool setWindow(int centre, int width, int userInvert);
  void build();

  int invertedImage = 0;
  int windowCentre = 0;
  int windowWidth = 1;
  int userInvert = 0;
  int maxValue = 255;
  std::array<std::uint8_t, 4096> table{};
};

// How a RAW file was laid out, so a reload needs no dialog.
struct RawLayout {
  int width = 0;
  int height = 0;
  std::int64_t header = 0;
  int swap = 0;  // 1: Macintosh byte order
};

struct LineProfile {
  std::vector<int> samples;  // scaled to 0..255
  std::string maxText, minText;
};

class CImageItem : public CImageBuffer {
 public:
  CImageItem();
  ~CImageItem() override;

  // Transforms that keep the ROI on the same pixels.
  bool flipHorizontal();
  bool flipVertical();
  bool rotateClockwise();
  bool rotateCounterClockwise();
  // Crops to the normalised ROI, which then becomes the whole new image.
  bool cutOut();

  // Sets the ROI, takes its statistics (clamped; empty means the whole image)
  // and, for the active item, its line profile.
  void setRoi(const Rect& roi);
  void roiToWholeImage();
  int roiMaximum() const { return roiMax; }
  int roiMinimum() const { return roiMin; }
  int roiMean() const { return roiMeanValue; }
  // Copies the ROI's samples row by row (row length = ROI width) into dest,
  // which must hold statisticsRect's area x bytes per sample.
  void copyRoi(std::uint8_t* dest) const;

  // After a file was read: the 12-bit check, whole-image statistics, maximum
  // value and window defaults. False when a sample had more than 12 bits.
  // Whoever writes samples through data() ends with it: the next setRoi
  // keeps the statistics it took.
  bool completeLoad();
  // The same, with the allocated buffer's rows [y0, y1) read by the reader
  // into rows (whole rows, packed, as the image holds them), from where the
  // load copies them into the image; the reader may be called from several
  // threads at once, for disjoint rows. A read that fails ends the load.
  using RowSource = std::function<bool(int y0, int y1, std::uint8_t* rows)>;
  enum class LoadResult { kLoaded, kReadFailed, kLargerThan12Bits };
  LoadResult completeLoad(const RowSource& fill);
  // Maximum value, window defaults and image range from the current statistics.
  void applyLoadDefaults();
  // Becomes the image `loaded` was just read as: its pixels, depth, bits,
  // ROI, statistics and display defaults. Paths, names and study data stay.
  void takeLoaded(CImageItem& loaded);

  // Optical density of a sample, and whether O.D. is shown for the given unit.
  double opticalDensity(int value) const;
  bool showsOd(bool odUnit) const { return odUnit && odRange >= 1; }
  // A sample as shown: "%.3f" of its O.D. when O.D. is shown for the item's
  // value unit, else "%d" of the raw value.
  std::string valueText(int value) const;
  void computeProfile();

  // The ROI's corners in a pane of w x h showing the image at zoom z with its
  // centre at the fractions (fx, fy) of the image.
  Rect roiToWindow(int paneWidth, int paneHeight, double zoom, double fx, double fy) const;

  Rect roi;
  std::function<void()> repaintPane;  // the pane showing the item; set by the view
  std::unique_ptr<CStudyInfo> study;
  int selected = 0;
  int active = 0;
  Rect statisticsRect;  // clamped, normalised ROI of the statistics
  int roiMax = 0, roiMin = 0, roiMeanValue = 0;
  int imageMax = 0, imageMin = 0;
  int windowCentre = 0, windowWidth = 0, thirdDisplayValue = 0;
  platform::clock::LocalTime lastWrite{};
  std::string sourcePath, tempPath, shownName, fileName;
  int saved = 1;
  CDisplayLUT lut;
  RawLayout rawLayout;
  // Profile options chosen by the Profile palette and the value unit.
  bool profileVertical = false;
  bool odUnit = false;
  LineProfile profile;

 private:
  // The statistics in hand are the ones completeLoad took, and nothing has
  // moved the ROI since.
  bool statisticsFromLoad_ = false;
  Rect clampedRoi(const Rect& r) const;
  void takeStatistics(const Rect& r);
  void roiChanged();
};

class CImageTable {
 public:
  static constexpr int kCapacity = 512;
  CImageTable() = default;
  ~CImageTable() { deleteAll(); }
  CImageTable(const CImageTable&) = delete;
  CImageTable& operator=(const CImageTable&) = delete;

  // False when the table is full; the item is then destroyed.
  bool add(std::unique_ptr<CImageItem> item);
  CImageItem* get(int i) const;
  int count() const { return count_; }
  void deleteAll();
  // The first active item, else the first item; null when empty.
  CImageItem* activeItem() const;
  int selectedCount() const;
  void setRoiOnSelected(const Rect& roi);
  // The active item's ROI moved by (dx, dy) becomes every selected item's ROI.
  void moveSelectedRoi(int dx, int dy);

 private:
  int count_ = 0;
  std::array<std::unique_ptr<CImageItem>, kCapacity> items_{};
};

}  // namespace viewer
