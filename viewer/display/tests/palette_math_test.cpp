// The palettes' arithmetic: Information texts, the slider and tone-curve
// mappings, the OverView's geometry and the Profile's plot.
#include <gtest/gtest.h>

#include <string>

#include "viewer/display/display.h"

namespace viewer::display {
namespace {

TEST(InformationText, LengthsAndValues) {
  struct {
    int n, scale, pitch;
    const char* text;
  } lengths[] = {{1, 0, 50, "1 Pixel "},     {0, 0, 50, "0 Pixel "},   {2, 0, 50, "2 Pixels"},
                 {200, 1, 50, "10.00 mm    "}, {3, 1, 175, "0.53 mm    "}, {-1, 0, 50, "-       "},
                 {-1, 1, 50, "-       "},    {5, 1, 0, "-       "}};
  for (const auto& l : lengths) EXPECT_EQ(lengthText(l.n, l.scale, l.pitch), l.text) << l.n << " " << l.scale;
  struct {
    int sample, unit, maxValue, odRange;
    const char* text;
  } values[] = {{100, 0, 4095, 45, "100       "},     {4095, 1, 4095, 0, "-       "},
                {0, 1, 4095, 45, "4.500       "},    {4095, 1, 4095, 45, "0.000       "},
                {5000, 1, 4095, 45, "0.000       "},  {-3, 1, 255, 30, "3.000       "},
                {128, 1, 255, 30, "1.494       "},    {10, 1, 0, 45, "-       "}};
  for (const auto& v : values)
    EXPECT_EQ(valueText(v.sample, v.unit, v.maxValue, v.odRange), v.text) << v.sample << " " << v.unit;
}

TEST(InformationText, PointerReadoutByUnits) {
  const ImageFacts film{4095, 45, 50};
  const ImageFacts noOd{4095, 0, 50};
  struct {
    const char* name;
    int x, y, value;
    ImageFacts image;
    PaletteSettings units;
    ReadoutTexts texts;
  } cases[] = {
      {"pixels, raw", 12, 1, 300, film, {0, 0}, {"12 Pixels", "1 Pixel ", "300       "}},
      {"mm, O.D.", 200, 20, 0, film, {1, 1}, {"10.00 mm    ", "1.00 mm    ", "4.500       "}},
      {"O.D. without a range", 3, 4, 1000, noOd, {0, 1}, {"3 Pixels", "4 Pixels", "-       "}},
      {"no pointer on the image", -1, -1, -1, film, {0, 0}, {"-       ", "-       ", "-       "}},
      {"no pointer, O.D.", -1, -1, -1, film, {1, 1}, {"-       ", "-       ", "-       "}},
  };
  for (const auto& c : cases) EXPECT_EQ(readoutTexts(c.x, c.y, c.value, c.image, c.units), c.texts) << c.name;
}

TEST(InformationText, MeasuresSwapMinAndMaxInOpticalDensity) {
  const ImageFacts film{4095, 40, 50};
  const Rect marquee{10, 20, 210, 70};
  struct {
    const char* name;
    Rect marquee;
    ImageFacts image;
    PaletteSettings units;
    MeasureTexts texts;
  } cases[] = {
      {"pixels, raw", marquee, film, {0, 0},
       {"10 Pixels", "20 Pixels", "200 Pixels", "50 Pixels", "1000       ", "3000       ", "2000       "}},
      // The Min field shows the lowest density: the O.D. of the highest sample.
      {"mm, O.D.", marquee, film, {1, 1},
       {"0.50 mm    ", "1.00 mm    ", "10.00 mm    ", "2.50 mm    ", "1.070       ", "3.023       ",
        "2.046       "}},
      {"no marquee", Rect{}, film, {0, 0},
       {"-       ", "-       ", "-       ", "-       ", "1000       ", "3000       ", "2000       "}},
      {"O.D. without a range", marquee, ImageFacts{4095, 0, 50}, {0, 1},
       {"10 Pixels", "20 Pixels", "200 Pixels", "50 Pixels", "-       ", "-       ", "-       "}},
      {"mm without a pitch", marquee, ImageFacts{4095, 40, 0}, {1, 0},
       {"-       ", "-       ", "-       ", "-       ", "1000       ", "3000       ", "2000       "}},
  };
  for (const auto& c : cases) EXPECT_EQ(measureTexts(c.marquee, 1000, 3000, 2000, c.image, c.units), c.texts) << c.name;
}

TEST(InformationText, MinAndMaxLabelsUnderTheToneCurve) {
  struct {
    int min, max, maxValue;
    LabelPlaces places;
  } cases[] = {{1000, 3000, 4095, {24, 73}}, {3000, 3000, 4095, {73, 73}}, {0, 4095, 4095, {0, 100}},
               {0, 255, 255, {0, 100}},      {10, 20, 0, {0, 0}}};
  for (const auto& c : cases) EXPECT_EQ(minMaxLabelPlaces(c.min, c.max, c.maxValue), c.places) << c.min;
}

TEST(InformationModes, TheIniKeyAndThePalettesOwnCodes) {
  struct {
    int key, mode;
  } keys[] = {{0, 0}, {1, kInfoShort}, {2, kInfoFull}, {7, kInfoShort}, {-1, kInfoShort}};
  for (const auto& k : keys) EXPECT_EQ(infoModeOfKey(k.key), k.mode) << k.key;
  EXPECT_EQ(keyOfInfoMode(kInfoShort, true), 1);
  EXPECT_EQ(keyOfInfoMode(kInfoFull, true), 2);
  EXPECT_EQ(keyOfInfoMode(kInfoFull, false), 0);
  for (int key : {0, 1, 2}) EXPECT_EQ(keyOfInfoMode(infoModeOfKey(key), key != 0), key);
}

TEST(ZoomList, ItemTextsAndTheirNumbers) {
  EXPECT_EQ(zoomItemText(1.0), "1.000      ");
  EXPECT_EQ(zoomItemText(0.125), "0.125      ");
  EXPECT_EQ(zoomItemText(0.0356), "0.036      ");
  struct {
    const char* text;
    double number;
  } cases[] = {{"0.125", 0.125}, {"1.000      ", 1.0}, {"  8", 8.0}, {"2x", 2.0}, {"+3.5", 3.5},
               {"-1", -1.0},     {"abc", 0.0},        {"", 0.0},    {"1e400", 0.0}, {" ", 0.0}};
  for (const auto& c : cases) EXPECT_EQ(leadingNumber(c.text), c.number) << c.text;
}

TEST(SharpSlider, RowsToValuesAndTheThumb) {
  struct {
    int y;
    double value;
  } rows[] = {{4, 2.0}, {93, 0.0}, {0, 2.0}, {-50, 2.0}, {200, 0.0}, {48, 45 / 44.5}, {49, 44 / 44.5}};
  for (const auto& r : rows) EXPECT_DOUBLE_EQ(sharpnessAtRow(r.y), r.value) << r.y;
  struct {
    double value;
    int y;
  } thumbs[] = {{0.0, 90}, {2.0, 1}, {1.0, 46}, {3.0, 1}, {-1.0, 90}, {0.5, 68}};
  for (const auto& t : thumbs) EXPECT_EQ(sharpThumbRow(t.value), t.y) << t.value;
}

TEST(ToneCurve, DragsRoundHalvesAwayFromZeroAndKeepAWidth) {
  struct {
    const char* name;
    ToneWindow from;
    int maxValue, dx, dy;
    ToneWindow to;
  } cases[] = {
      {"right, a half", {2047, 4095}, 4095, 30, 0, {3276, 4095}},
      {"left, a half", {2047, 4095}, 4095, -30, 0, {818, 4095}},
      {"down widens", {2047, 4095}, 4095, 0, 30, {2047, 5324}},
      {"up narrows", {2047, 4095}, 4095, 0, -30, {2047, 2866}},
      {"a narrow window changes slower", {2047, 2047}, 4095, 0, 10, {2047, 2375}},
      {"at least 1", {2047, 10}, 4095, 0, -100, {2047, 1}},
      {"8-bit", {127, 255}, 255, 10, -10, {153, 229}},
      {"no maximum value", {5, 7}, 0, 10, 10, {5, 7}},
  };
  for (const auto& c : cases) EXPECT_EQ(toneCurveDrag(c.from, c.maxValue, c.dx, c.dy), c.to) << c.name;
}

TEST(ToneCurve, DoubleClickTogglesBetweenTheRoiAndTheFullWindow) {
  EXPECT_EQ(toneCurveDoubleClick(1000, 3000, 4095, false), (ToneWindow{2000, 2000}));
  EXPECT_EQ(toneCurveDoubleClick(1000, 3000, 4095, true), (ToneWindow{2047, 4095}));
  EXPECT_EQ(toneCurveDoubleClick(7, 8, 255, false), (ToneWindow{7, 1}));
}

TEST(ToneCurve, LineAndMarkers) {
  EXPECT_EQ(toneCurveLine({2047, 4095}, 4095, false, 100), (ToneLine{0, 100}));
  EXPECT_EQ(toneCurveLine({2047, 4095}, 4095, true, 100), (ToneLine{100, 0}));
  EXPECT_EQ(toneCurveLine({1000, 500}, 4095, false, 100), (ToneLine{18, 31}));
  EXPECT_EQ(toneCurveLine({100, 300}, 255, false, 100), (ToneLine{-20, 98}));
  EXPECT_EQ(toneMarkerX(4095, 4095, 100), 100);
  EXPECT_EQ(toneMarkerX(2047, 4095, 100), 49);
  EXPECT_EQ(toneMarkerX(5, 0, 100), 0);
}

std::unique_ptr<CImageItem> image(int w, int h) {
  auto item = std::make_unique<CImageItem>();
  EXPECT_TRUE(item->allocate(1, w, h));
  item->setRoi(Rect{});
  return item;
}

TEST(OverView, FitsItsHeightToTheImageWithoutTheZoomLimits) {
  struct {
    const char* name;
    int w, h, clientWidth;
    double zoom;
    int height;
  } cases[] = {{"wide", 1400, 50, 140, 0.1, 5},        {"very wide", 4000, 100, 140, 0.035, 3},
               {"tall", 100, 400, 140, 1.4, 560},      {"square", 140, 140, 140, 1.0, 140},
               {"thinner than a pixel", 20000, 100, 140, 0.007, 0}};
  for (const auto& c : cases) {
    auto item = image(c.w, c.h);
    CDisplayTile mirror;
    mirror.bind(item.get(), 255);
    EXPECT_EQ(overviewFit(mirror, c.clientWidth), c.height) << c.name;
    EXPECT_DOUBLE_EQ(mirror.zoom, c.zoom) << c.name;
  }
  CDisplayTile empty;
  EXPECT_EQ(overviewFit(empty, 140), 0);
}

TEST(OverView, TheViewRectangleAndTheMarquee) {
  auto item = image(1400, 1000);
  CDisplayTile mirror, current;
  mirror.bind(item.get(), 255);
  mirror.viewportWidth = 140;
  mirror.viewportHeight = overviewFit(mirror, 140);
  ASSERT_EQ(mirror.viewportHeight, 100);
  current.bind(item.get(), 255);
  current.viewportWidth = 200;
  current.viewportHeight = 100;
  current.setZoom(1.0);
  EXPECT_EQ(overviewViewRect(current, mirror), (Rect{60, 45, 80, 55}));
  current.setCentre(0.0, 1.0);
  EXPECT_EQ(overviewViewRect(current, mirror), (Rect{-10, 95, 10, 105}));
  current.setZoom(0.5);
  EXPECT_EQ(overviewViewRect(current, mirror), (Rect{-20, 90, 20, 110}));

  EXPECT_EQ(overviewMarquee(*item, mirror), Rect{}) << "an empty ROI";
  item->setRoi(Rect{300, 400, 100, 200});
  EXPECT_EQ(overviewMarquee(*item, mirror), (Rect{10, 20, 28, 38})) << "normalised, 2 shorter";
  auto other = image(10, 10);
  other->setRoi(Rect{1, 1, 5, 5});
  EXPECT_EQ(overviewMarquee(*other, mirror), Rect{}) << "not the mirror's image";
}

// The mirror's picture spans the OverView's client width from its first
// column, whether or not that width is a multiple of 4.
TEST(OverView, TheMirrorFillsItsClientWidth) {
  auto item = image(1400, 1000);
  for (int width : {140, 141, 142, 143}) {
    CDisplayTile mirror;
    mirror.bind(item.get(), 255);
    mirror.viewportWidth = width;
    mirror.viewportHeight = overviewFit(mirror, width);
    RenderCache cache;
    ASSERT_TRUE(cache.make(width, mirror.viewportHeight));
    ASSERT_TRUE(mirror.render(cache));
    EXPECT_EQ(cache.covered, (Rect{0, 0, width, mirror.viewportHeight})) << width;
  }
}

TEST(Profile, PlotColumnsTakeTheirSampleByProportion) {
  const std::vector<int> three{0, 100, 200};
  const std::vector<Point> stretched{{40, 20}, {40, 20}, {41, 20}, {42, 70}, {43, 70}, {44, 120}, {45, 120}};
  EXPECT_EQ(profilePolyline(three, profileWindowWidth(6)), stretched);
  std::vector<int> ten;
  for (int i = 0; i < 10; ++i) ten.push_back(i * 20);
  const std::vector<Point> squeezed{{40, 20}, {40, 20}, {41, 40}, {42, 60}, {43, 80}, {44, 100}};
  EXPECT_EQ(profilePolyline(ten, 65), squeezed);
  EXPECT_TRUE(profilePolyline({}, 200).empty());
  EXPECT_EQ(profilePolyline({255}, 60), (std::vector<Point>{{40, 147}})) << "no plot width: the start only";
  EXPECT_EQ(profileWindowWidth(1400), 1460);
}

TEST(PalettePlaces, EachShownPaletteMovesClearOfTheOnesBeforeIt) {
  const Rect tool{0, 40, 140, 94}, info{0, 94, 140, 560}, over{0, 344, 140, 474}, profile{140, 0, 340, 200};
  struct Case {
    const char* what;
    std::vector<PaletteFrame> in;
    std::vector<Rect> out;
  };
  const Case cases[] = {
      {"apart: nothing moves",
       {{tool, true}, {Rect{0, 94, 140, 344}, true}, {over, true}, {profile, true, true}},
       {tool, Rect{0, 94, 140, 344}, over, profile}},
      {"a tall Information palette puts the OverView below it",
       {{tool, true}, {info, true}, {over, true}, {profile, false, true}},
       {tool, info, Rect{0, 560, 140, 690}, profile}},
      {"a hidden palette is no obstacle and is not moved",
       {{tool, true}, {info, false}, {over, true}, {Rect{0, 300, 200, 500}, false, true}},
       {tool, info, over, Rect{0, 300, 200, 500}}},
      {"moved past one frame onto the next, then past that",
       {{tool, true}, {Rect{0, 100, 140, 200}, true}, {Rect{0, 60, 140, 80}, true}},
       {tool, Rect{0, 100, 140, 200}, Rect{0, 200, 140, 220}}},
      {"the Profile clears the column to the right",
       {{Rect{-2, 38, 142, 96}, true}, {Rect{-2, 96, 142, 300}, true}, {over, false}, {Rect{140, 0, 344, 204}, true, true}},
       {Rect{-2, 38, 142, 96}, Rect{-2, 96, 142, 300}, over, Rect{142, 0, 346, 204}}},
      {"frames that only touch do not meet",
       {{tool, true}, {Rect{0, 94, 140, 95}, true}, {Rect{140, 40, 200, 94}, true, true}},
       {tool, Rect{0, 94, 140, 95}, Rect{140, 40, 200, 94}}},
      {"an empty frame (an OverView without an image) stays",
       {{tool, true}, {Rect{0, 50, 140, 50}, true}}, {tool, Rect{0, 50, 140, 50}}},
  };
  for (const Case& c : cases) EXPECT_EQ(placePalettes(c.in), c.out) << c.what;
  EXPECT_TRUE(placePalettes({}).empty());
}

}  // namespace
}  // namespace viewer::display
