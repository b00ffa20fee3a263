// Rendering pinned byte for byte against the NumPy reference in tools/, on
// small fixtures that each show one rule at work.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/testsupport.h"
#include "viewer/display/display.h"
#include "viewer/display/tests/named_pixels.h"

namespace viewer::display {
namespace {

enum Pattern { kNoise, kEdge, kHigh, kRamp, kOneHighRow };

std::unique_ptr<CImageItem> makeImage(int bytes, int w, int h, Pattern pattern, std::uint32_t seed = 7) {
  auto item = std::make_unique<CImageItem>();
  EXPECT_TRUE(item->allocate(bytes, w, h));
  const int top = bytes == 1 ? 255 : 4095;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      int v = 0;
      switch (pattern) {
        case kNoise: v = int((seed >> 8) % std::uint32_t(top + 1)); break;
        // A dark field with a bright block and a bright line: every sharpened
        // edge overshoots both ways.
        case kEdge: v = (x >= w / 2 || y == h / 3) ? 4095 : 40 + x; break;
        // Samples past 12 bits, as a reader that skipped the check would leave them.
        case kHigh: v = (x + y) % 3 == 0 ? 65535 - x : ((x + y) % 3 == 1 ? 4090 + x * 300 : x * 97); break;
        case kRamp: v = (x * 37 + y * 11) % (top + 1); break;
        case kOneHighRow: v = y == h / 2 ? 60000 + x : int((seed >> 8) % 4096u); break;
      }
      if (bytes == 1) item->data()[y * w + x] = std::uint8_t(v);
      else item->data16()[y * w + x] = std::uint16_t(v);
    }
  item->maxValue = top;
  return item;
}

struct Case {
  const char* name;
  int bytes, width, height;
  Pattern pattern;
  double zoom, centreX, centreY, sharpness;
  int paneWidth, paneHeight;
  int windowCentre, windowWidth, invert;
};

// What the reference must reproduce for one rendered bitmap.
struct Job {
  std::string name;
  std::string json;
  std::vector<std::uint8_t> ours;
  std::string out;
};

class Reference {
 public:
  void add(const std::string& name, const CImageItem& image, const CDisplayLUT& lut, double zoom, double fx,
           double fy, double sharpness, const Bitmap& ours, int background, const Rect* crop = nullptr) {
    const std::string base = "case" + std::to_string(jobs_.size());
    const auto imagePath = dir_ / (base + ".raw"), tablePath = dir_ / (base + ".lut");
    testsupport::writeFile(imagePath, std::string(reinterpret_cast<const char*>(image.data()), image.byteCount()));
    testsupport::writeFile(tablePath, std::string(reinterpret_cast<const char*>(lut.table.data()), 4096));
    std::ostringstream j;
    j.precision(17);
    j << "{\"image\":\"" << imagePath.string() << "\",\"table\":\"" << tablePath.string()
      << "\",\"bytes\":" << image.bytesPerSample() << ",\"width\":" << image.width()
      << ",\"height\":" << image.height() << ",\"zoom\":" << zoom << ",\"centreX\":" << fx
      << ",\"centreY\":" << fy << ",\"sharpness\":" << sharpness << ",\"bitmapWidth\":" << ours.width
      << ",\"rowLength\":" << ours.rowLength << ",\"bitmapHeight\":" << ours.height
      << ",\"background\":" << background << ",\"out\":\"" << (dir_ / (base + ".out")).string() << "\"";
    if (crop)
      j << ",\"crop\":[" << crop->left << "," << crop->top << "," << crop->right << "," << crop->bottom << "]";
    j << "}";
    jobs_.push_back(Job{name, j.str(), ours.bits, (dir_ / (base + ".out")).string()});
  }

  // Runs the reference once over every job and compares byte for byte.
  void check() {
    std::string manifest = "[";
    for (std::size_t i = 0; i < jobs_.size(); ++i) manifest += (i ? "," : "") + jobs_[i].json;
    manifest += "]";
    testsupport::writeFile(dir_ / "manifest.json", manifest);
    const auto r = testsupport::runCommand(std::string("/usr/bin/python3 ") + DISPLAY_REFERENCE + " " +
                                           (dir_ / "manifest.json").string());
    ASSERT_EQ(r.status, 0) << r.output;
    for (const Job& job : jobs_) {
      const std::string ref = testsupport::readFile(job.out);
      ASSERT_EQ(ref.size(), job.ours.size()) << job.name;
      std::size_t first = 0, differing = 0;
      for (std::size_t i = 0; i < ref.size(); ++i)
        if (std::uint8_t(ref[i]) != job.ours[i] && differing++ == 0) first = i;
      EXPECT_EQ(differing, 0u) << job.name << ": first difference at byte " << first << " (ours "
                               << int(job.ours[first]) << ", reference " << int(std::uint8_t(ref[first])) << ")";
    }
  }

 private:
  testsupport::TempDir temp_;
  std::filesystem::path dir_ = temp_.path();
  std::vector<Job> jobs_;
};

const Case kCases[] = {
    // name                         bytes  w    h  pattern  zoom   cx    cy   sharp  pane      window
    {"zoom 10 shows as 8",             2,  7,   5, kNoise, 10.0,  0.5,  0.5,  0.0,  64, 48,  2048, 4096, 0},
    {"zoom 0.01 shows as 0.05",        2, 45,  70, kNoise, 0.01,  0.5,  0.5,  0.0,  40, 40,  2048, 4096, 0},
    {"zoom 0.05 letterbox, sharpened", 2, 45,  70, kEdge,  0.05,  0.5,  0.5,  2.0,  40, 40,  2048, 4096, 0},
    {"letterbox at fit of a tall film", 2, 73, 86, kRamp,  0.1395, 0.5, 0.5,  0.0,  24, 12,  2000, 3000, 0},
    {"sharpness 3 shows as 2",         2, 12,   9, kNoise, 1.0,   0.5,  0.5,  3.0,  12,  9,  2048, 4096, 0},
    {"sharpness -1 shows as 0",        2, 12,   9, kNoise, 1.0,   0.5,  0.5, -1.0,  12,  9,  2048, 4096, 0},
    {"12-bit edge at sharpness 2",     2, 16,  12, kEdge,  1.0,   0.5,  0.5,  2.0,  16, 12,  2048, 4096, 0},
    {"12-bit edge at sharpness 1.3",   2, 16,  12, kEdge,  1.0,   0.5,  0.5,  1.3,  16, 12,  1500, 900,  1},
    {"borders on all sides, sharp 2",  2,  9,   7, kNoise, 1.0,   0.5,  0.5,  2.0,  20, 16,  2048, 4096, 0},
    {"borders magnified, sharp 0.7",   2,  9,   7, kNoise, 2.0,   0.5,  0.5,  0.7,  28, 20,  2048, 2000, 0},
    {"pane larger than image",         1,  5,   3, kNoise, 1.0,   0.5,  0.5,  0.0,  16, 12,   128,  256, 0},
    {"pane larger, magnified 2.5",     1,  5,   3, kRamp,  2.5,   0.5,  0.5,  0.0,  24, 20,   100,  120, 0},
    {"samples past 12 bits",           2, 11,   6, kHigh,  1.0,   0.5,  0.5,  0.0,  12,  6,  3000, 3000, 0},
    {"samples past 12 bits, sharp 2",  2, 11,   6, kHigh,  1.0,   0.5,  0.5,  2.0,  12,  6,  3000, 3000, 0},
    {"centre 1.5 shows as 1",          2, 20,  14, kNoise, 1.7,  1.5,  -0.5,  0.0,  20, 16,  2048, 4096, 0},
    {"off centre at zoom 3.3",         2, 20,  14, kRamp,  3.3,  0.21,  0.77, 1.0,  32, 24,  1024, 1500, 0},
    {"subsampled 0.37, sharp 1",       2, 61,  47, kNoise, 0.37,  0.4,  0.6,  1.0,  16, 16,  2048, 4096, 1},
    {"subsampled 0.37, sharp 0.9",     1, 61,  47, kNoise, 0.37,  0.4,  0.6,  0.9,  16, 16,   128,  200, 0},
    {"8-bit at sharpness 0.5",         1, 13,  10, kNoise, 1.25,  0.5,  0.5,  0.5,  20, 12,   128,  256, 0},
    {"zoom 4 inside the image, sharp 2", 2, 30, 20, kNoise, 4.0,  0.3,  0.6,  2.0,  24, 16,  2048, 4096, 0},
    {"zoom 1 inside the image, sharp 2", 2, 30, 20, kEdge,  1.0,  0.5,  0.5,  2.0,  12,  8,  2048, 4096, 0},
    {"fit of a wide film, sharp 2",    2, 90,  40, kNoise, 0.2,   0.5,  0.5,  2.0,  16, 12,  2048, 4096, 0},
    {"sharpness 1.5: k = 3/4",         2, 16,  12, kNoise, 1.0,   0.5,  0.5,  1.5,  16, 12,  2048, 4096, 0},
    {"sharpness 0.2: k = 0.1",         2, 16,  12, kRamp,  1.0,   0.5,  0.5,  0.2,  16, 12,  2048, 4096, 0},
    {"one row past 12 bits, sharp 1",  2, 14,  12, kOneHighRow, 1.0, 0.5, 0.5, 1.0,  16, 12,  2048, 4096, 0},
    {"one-pixel image, sharp 2",       2,  1,   1, kNoise, 3.0,   0.5,  0.5,  2.0,   8,  8,  2048, 4096, 0},
    {"two columns, sharp 1.3",         2,  2,   3, kNoise, 2.0,   0.5,  0.5,  1.3,   8,  8,  2048, 4096, 0},
    {"three columns subsampled, sharp 2", 2, 3, 40, kNoise, 0.3,  0.5,  0.5,  2.0,   4,  8,  2048, 4096, 0},
    // Panes off the rows' multiple of 4: the picture centres on the client width.
    {"pane 13 wide in rows of 16",     2,  9,   7, kNoise, 1.0,   0.5,  0.5,  0.0,  13,  9,  2048, 4096, 0},
    {"pane 21 wide, magnified, sharp 1", 2, 9,  7, kRamp,  2.5,   0.3,  0.6,  1.0,  21, 11,  1024, 1500, 0},
    {"pane 3 wide, subsampled",        1, 61,  47, kNoise, 0.05,  0.5,  0.5,  0.0,   3,  5,   128,  256, 0},
};

// A tile set up as the case says, rendered into a pane cache of its size.
bool renderCase(const Case& c, CImageItem* image, CDisplayTile& tile, RenderCache& cache) {
  tile.bind(image, image->maxValue);
  tile.setWindow(c.windowCentre, c.windowWidth, c.invert);
  tile.setCentre(c.centreX, c.centreY);
  tile.setZoom(c.zoom);
  tile.setSharpness(c.sharpness);
  return cache.make(c.paneWidth, c.paneHeight) && tile.render(cache);
}

TEST(Rendering, MatchesTheReferenceByteForByte) {
  Reference reference;
  std::vector<std::unique_ptr<CImageItem>> images;
  for (const Case& c : kCases) {
    images.push_back(makeImage(c.bytes, c.width, c.height, c.pattern));
    CDisplayTile tile;
    RenderCache cache;
    ASSERT_TRUE(renderCase(c, images.back().get(), tile, cache)) << c.name;
    reference.add(c.name, *images.back(), tile.lut, c.zoom, c.centreX, c.centreY, c.sharpness, cache.bitmap, 0);
  }
  reference.check();
}

TEST(Rendering, PrintedAndCopiedPicturesMatchTheReference) {
  Reference reference;
  auto image = makeImage(2, 5, 5, kNoise, 11);
  CDisplayLUT lut;
  lut.maxValue = 4095;
  lut.setWindow(2048, 4096, 0);

  Bitmap print;
  ASSERT_TRUE(printPicture(*image, lut, print));
  EXPECT_EQ(print.width, 5);
  EXPECT_EQ(print.rowLength, 8);
  EXPECT_EQ(print.height, 5);
  // The last row of an odd-sized image is printed, and the padding is white.
  for (int x = 0; x < 5; ++x) EXPECT_EQ(print.bits[4 * 8 + x], lut.table[image->pixel(x, 4)]) << x;
  for (int y = 0; y < 5; ++y)
    for (int x = 5; x < 8; ++x) EXPECT_EQ(print.bits[y * 8 + x], 255);
  reference.add("print", *image, lut, 1.0, 0.5, 0.5, 0.0, print, 255);

  // The copied picture starts with the ROI's top-left sample, whichever way the ROI was dragged.
  image->roi = Rect{4, 4, 1, 1};
  Bitmap copy;
  ASSERT_TRUE(copyPicture(*image, lut, copy));
  EXPECT_EQ(copy.width, 3);
  EXPECT_EQ(copy.rowLength, 4);
  EXPECT_EQ(copy.height, 3);
  EXPECT_EQ(copy.bits[0], lut.table[image->pixel(1, 1)]);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(copy.bits[y * 4 + 3], 0);
  const Rect crop{1, 1, 4, 4};
  reference.add("copy", *image, lut, 1.0, 0.5, 0.5, 0.0, copy, 0, &crop);

  // An empty ROI copies the whole image.
  image->roi = Rect{};
  Bitmap whole;
  ASSERT_TRUE(copyPicture(*image, lut, whole));
  EXPECT_EQ(whole.width, 5);
  EXPECT_EQ(whole.height, 5);
  reference.add("copy of the whole image", *image, lut, 1.0, 0.5, 0.5, 0.0, whole, 0);
  reference.check();
}

TEST(Rendering, SharpenedEdgeKeepsTheBrightestGrey) {
  auto image = makeImage(2, 16, 12, kEdge);
  CDisplayTile tile;
  tile.bind(image.get(), 4095);
  tile.setWindow(2048, 4096, 0);
  tile.setSharpness(2.0);
  RenderCache cache;
  ASSERT_TRUE(cache.make(16, 12));
  ASSERT_TRUE(tile.render(cache));
  // Bright side of the vertical edge: 4095 x 5 - (3 x 4095 + dark) lies past the table: brightest.
  EXPECT_EQ(cache.bitmap.bits[6 * 16 + 8], tile.lut.table[4095]);
  // Dark side overshoots below 0: entry 0.
  EXPECT_EQ(cache.bitmap.bits[6 * 16 + 7], tile.lut.table[0]);
}

// Grey tables never give entries below 21, so the background 0 tells where
// the image landed.
TEST(RenderCache, KnowsWhichPixelsTheImageCovers) {
  for (const Case& c : kCases) {
    auto image = makeImage(c.bytes, c.width, c.height, c.pattern);
    CDisplayTile tile;
    RenderCache cache;
    ASSERT_TRUE(renderCase(c, image.get(), tile, cache)) << c.name;
    const Bitmap& b = cache.bitmap;
    Rect drawn{b.width, b.height, 0, 0};
    for (int y = 0; y < b.height; ++y)
      for (int x = 0; x < b.width; ++x)
        if (b.bits[std::size_t(y * b.rowLength + x)] != 0)
          drawn = Rect{std::min(drawn.left, x), std::min(drawn.top, y), std::max(drawn.right, x + 1),
                       std::max(drawn.bottom, y + 1)};
    EXPECT_EQ(cache.covered, drawn) << c.name;
    for (int y = drawn.top; y < drawn.bottom; ++y)
      for (int x = drawn.left; x < drawn.right; ++x)
        ASSERT_NE(b.bits[std::size_t(y * b.rowLength + x)], 0) << c.name << " at " << x << "," << y;
  }
}

// A caller told of finished rows may take them on at once: each row comes
// once, in order, already holding its final bytes; and the tile knows the
// covered part before it renders.
TEST(RenderCache, ReportsEachRowOnceWhenItIsFinal) {
  for (const Case& c : kCases) {
    auto image = makeImage(c.bytes, c.width, c.height, c.pattern);
    CDisplayTile tile;
    RenderCache plain;
    ASSERT_TRUE(renderCase(c, image.get(), tile, plain)) << c.name;
    RenderCache cache;
    ASSERT_TRUE(cache.make(c.paneWidth, c.paneHeight));
    const Rect expected = tile.coverage(cache);
    const std::size_t row = std::size_t(cache.bitmap.rowLength);
    std::vector<std::uint8_t> seen(cache.bitmap.bits.size(), 0xAB);
    int next = 0;
    ASSERT_TRUE(tile.render(cache, [&](int y0, int y1) {
      ASSERT_EQ(y0, next) << c.name;
      ASSERT_GT(y1, y0) << c.name;
      std::copy_n(cache.bitmap.bits.begin() + std::ptrdiff_t(row * std::size_t(y0)), row * std::size_t(y1 - y0),
                  seen.begin() + std::ptrdiff_t(row * std::size_t(y0)));
      next = y1;
    })) << c.name;
    EXPECT_EQ(next, c.paneHeight) << c.name;
    EXPECT_EQ(seen, cache.bitmap.bits) << c.name << ": a row changed after it was reported";
    EXPECT_EQ(cache.bitmap.bits, plain.bitmap.bits) << c.name;
    EXPECT_EQ(expected, cache.covered) << c.name;
  }
  // An image wholly off the bitmap: the background, in one report.
  auto image = makeImage(2, 8, 8, kNoise);
  Bitmap b;
  b.width = b.rowLength = 8;
  b.height = 6;
  b.bits.assign(48, 9);
  RenderParams away;
  away.centreX = 5.0;
  std::vector<std::pair<int, int>> reports;
  const RowsDone done = [&](int y0, int y1) { reports.emplace_back(y0, y1); };
  ASSERT_TRUE(renderImage(*image, CDisplayLUT().table, away, b, nullptr, &done));
  EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{0, 6}}));
  EXPECT_EQ(b.bits, std::vector<std::uint8_t>(48, 0));
}

TEST(RenderCache, RedrawsOnlyWhenTheStampMoved) {
  auto image = makeImage(2, 8, 8, kNoise);
  CDisplayTile tile;
  tile.bind(image.get(), 4095);
  RenderCache cache;
  ASSERT_TRUE(cache.make(8, 8));
  ASSERT_TRUE(tile.render(cache));
  EXPECT_EQ(cache.stamp, tile.stamp);
  const std::vector<std::uint8_t> drawn = cache.bitmap.bits;
  cache.bitmap.bits.assign(cache.bitmap.bits.size(), 7);
  ASSERT_TRUE(tile.render(cache));
  EXPECT_EQ(cache.bitmap.bits, std::vector<std::uint8_t>(drawn.size(), 7)) << "redrawn without a change";
  tile.setZoom(2.0);
  ASSERT_TRUE(tile.render(cache));
  EXPECT_NE(cache.bitmap.bits, std::vector<std::uint8_t>(drawn.size(), 7));
  EXPECT_EQ(cache.stamp, tile.stamp);
  EXPECT_FALSE(cache.covered.empty());
  // A cache made again has drawn nothing yet.
  ASSERT_TRUE(cache.make(8, 8));
  EXPECT_EQ(cache.stamp, 0);
  EXPECT_TRUE(cache.covered.empty());
}

TEST(Rendering, RefusesWhatItCannotDraw) {
  CDisplayTile empty;
  RenderCache cache;
  ASSERT_TRUE(cache.make(8, 8));
  EXPECT_FALSE(empty.render(cache));

  auto image = makeImage(2, 8, 8, kNoise);
  Bitmap tooSmall;
  tooSmall.width = tooSmall.rowLength = 8;
  tooSmall.height = 8;
  tooSmall.bits.resize(63);
  EXPECT_FALSE(renderImage(*image, CDisplayLUT().table, RenderParams{}, tooSmall));
  Bitmap fine = cache.bitmap;
  RenderParams bad;
  for (double z : {0.0, -1.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
    bad.zoom = z;
    EXPECT_FALSE(renderImage(*image, CDisplayLUT().table, bad, fine)) << z;
  }
  EXPECT_FALSE(cache.make(-1, 4));
  EXPECT_FALSE(cache.make(1 << 20, 1 << 20));
}

TEST(TileSetters, ClampAsTheDisplayRulesSay) {
  auto image = makeImage(2, 8, 8, kNoise);
  CDisplayTile tile;
  tile.bind(image.get(), 4095);
  struct {
    double request, zoom;
  } zooms[] = {{10.0, 8.0}, {8.0, 8.0}, {0.01, 0.05}, {0.05, 0.05}, {1.5, 1.5}};
  for (const auto& z : zooms) {
    tile.setZoom(z.request);
    EXPECT_EQ(tile.zoom, z.zoom) << z.request;
  }
  struct {
    double request, sharpness;
  } sharp[] = {{3.0, 2.0}, {-1.0, 0.0}, {0.7, 0.7}};
  for (const auto& s : sharp) {
    tile.setSharpness(s.request);
    EXPECT_EQ(tile.sharpness, s.sharpness) << s.request;
  }
  tile.setCentre(1.5, -0.2);
  EXPECT_EQ(tile.centreX, 1.0);
  EXPECT_EQ(tile.centreY, 0.0);
  const int stamp = tile.stamp;
  tile.setCentre(1.0, 0.0);
  tile.setZoom(1.5);
  tile.setZoom(1.5);
  EXPECT_EQ(tile.stamp, stamp) << "no change, no new stamp";
  tile.setZoomUnclamped(20.0);
  EXPECT_EQ(tile.zoom, 20.0);
}

TEST(NoQt, TheDisplayCoreLinksNoQtLibrary) {
  const auto r = testsupport::runCommand("ldd " + testsupport::selfExecutable().string());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("libc.so"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("libQt"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace viewer::display

namespace viewer::display {
namespace {

TEST(TileGeometry, CursorReadoutAndFitToPane) {
  auto image = makeImage(2, 100, 50, kRamp);
  CDisplayTile tile;
  tile.bind(image.get(), 4095);
  tile.fitToPane(200, 200);  // the viewport was unknown: zoom to fit, 2
  EXPECT_EQ(tile.zoom, 2.0);
  EXPECT_EQ(tile.overflow, 1.0);

  // Pane centre is the image centre; the settings' origin is added.
  tile.cursorReadout(100, 100, 200, 200, Point{1, 0});
  EXPECT_EQ(tile.cursorX, 51);
  EXPECT_EQ(tile.cursorY, 25);
  EXPECT_EQ(tile.cursorValue, image->pixel(50, 25));
  tile.cursorReadout(10, 10, 200, 200, Point{});  // above the image
  EXPECT_EQ(tile.cursorX, -1);
  EXPECT_EQ(tile.cursorValue, -1);
  tile.cursorReadout(100, 100, 150, 200, Point{});  // another size: not this viewport
  EXPECT_EQ(tile.cursorX, -1);

  // A filled pane stays filled; a magnified picture keeps its size relative to the pane.
  tile.fitToPane(400, 100);
  EXPECT_EQ(tile.zoom, 2.0);  // min(400 / 100, 100 / 50)
  tile.setZoom(4.0);          // twice the pane: overflow 2
  EXPECT_EQ(tile.overflow, 2.0);
  tile.fitToPane(200, 50);
  EXPECT_EQ(tile.zoom, 2.0);
  EXPECT_EQ(tile.overflow, 2.0);
}

// The pointer and the picture share one mapping: at every pane point the
// readout names the pixel the renderer drew there, or nothing over the
// background, for pane widths on and off the rows' multiple of 4.
TEST(TileGeometry, EveryPanePointNamesThePixelDrawnThere) {
  auto image = testing::namedPixels(16, 14);
  ASSERT_TRUE(image);
  struct View {
    double zoom, centreX, centreY;  // zoom 0: zoom to fit
  } views[] = {{0.0, 0.5, 0.5}, {0.3, 0.5, 0.5}, {1.0, 0.5, 0.5}, {2.5, 0.13, 0.91}, {7.3, 1.0, 0.0}, {0.7, 0.02, 0.97}};
  int drawn = 0;
  for (int w : {1, 2, 3, 97, 98, 99, 100})
    for (int h : {3, 61})
      for (const View& v : views) {
        SCOPED_TRACE(::testing::Message() << "pane " << w << " x " << h << ", zoom " << v.zoom << ", centre "
                                        << v.centreX << "," << v.centreY);
        CDisplayTile tile;
        tile.bind(image.get(), 4095);
        tile.setWindow(testing::kIdentityCentre, testing::kIdentityWidth, 0);
        tile.fitToPane(w, h);
        if (v.zoom > 0.0) tile.setZoom(v.zoom);
        else tile.zoomToFit();
        tile.setCentre(v.centreX, v.centreY);
        RenderCache cache;
        ASSERT_TRUE(cache.make(w, h));
        ASSERT_TRUE(tile.render(cache));
        const Bitmap& b = cache.bitmap;
        ASSERT_EQ(b.width, w);
        ASSERT_EQ(b.rowLength, (w + 3) / 4 * 4);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < b.rowLength; ++x) {
            const int byte = b.bits[std::size_t(y * b.rowLength + x)];
            if (x >= w) {
              ASSERT_EQ(byte, 0) << "row padding at " << x << "," << y;
              continue;
            }
            const Point want = testing::pixelNamed(byte, image->width());
            const Point at = tile.paneToImage(x, y);
            if (want.x < 0) {
              ASSERT_TRUE(at.x < 0 || at.y < 0 || at.x >= image->width() || at.y >= image->height())
                  << "background at " << x << "," << y << " read as " << at.x << "," << at.y;
            } else {
              ASSERT_EQ(at, want) << "at " << x << "," << y;
              ++drawn;
            }
            tile.cursorReadout(x, y, w, h, Point{});
            ASSERT_EQ(tile.cursorValue, want.x < 0 ? -1 : byte) << "at " << x << "," << y;
          }
      }
  EXPECT_GT(drawn, 10000);
}

}  // namespace
}  // namespace viewer::display
