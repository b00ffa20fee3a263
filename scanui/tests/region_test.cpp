// The dialog's and the preview's arithmetic, without a window.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"
#include "scanui/internal/preview_model.h"
#include "scanui/internal/region.h"

namespace scanui_test {
namespace {

using namespace scanui::internal;

ScanRegion at(int pitch) {
  ScanRegion r;
  r.setPitch(pitch);
  return r;
}

TEST(FilmSizes, LookupsByCodeAndRow) {
  EXPECT_EQ(kFilmSizes.size(), 27u);
  struct Case {
    int code;
    const char* name;
    int w, h;
  };
  const Case cases[] = {
      {1, "14\"X17\"", 356, 432}, {5, " 8\"X10\"", 203, 254}, {205, "35X30cm", 356, 300},
      {23, "12\"X15\"", 305, 381}, {0, "NONE", 0, 0},
      {13, "14\"X17\"", 356, 432},  // not in the table: row 1
      {-1, "14\"X17\"", 356, 432},
  };
  for (const Case& c : cases) {
    const FilmSize& f = filmByCode(c.code);
    EXPECT_STREQ(f.name, c.name) << c.code;
    EXPECT_EQ(f.widthMm, c.w) << c.code;
    EXPECT_EQ(f.heightMm, c.h) << c.code;
  }
  EXPECT_EQ(filmCodeAtRow(13), 200);
  EXPECT_EQ(filmCodeAtRow(26), 23);
  EXPECT_EQ(filmCodeAtRow(27), 0);
}

TEST(ScanRegion, StartsWithPitchOneAndTheLongestFilm) {
  ScanRegion r;
  EXPECT_EQ(r.pitch, 1);
  EXPECT_EQ(r.maxLength, 432);
  EXPECT_FALSE(r.valid());
}

TEST(ScanRegion, AWidthBeyondTheFilmIsClampedAndItsPixelsRecomputed) {
  ScanRegion r = at(100);
  r.setLeft(300);
  EXPECT_EQ(r.changed, 0);
  r.setWidthMm(100);
  EXPECT_EQ(r.changed, 1);
  EXPECT_EQ(r.widthMm, 65);
  EXPECT_EQ(r.widthPx, 650);
  r.setWidthMm(65);
  EXPECT_EQ(r.changed, 0);
}

TEST(ScanRegion, TypedPixelsThatFitAreKeptExactly) {
  ScanRegion r = at(175);
  r.setWidthPx(1001);  // 175.175 mm
  EXPECT_EQ(r.changed, 0);
  EXPECT_EQ(r.widthPx, 1001);
  EXPECT_EQ(r.widthMm, 176);
  r.setHeightPx(7);
  EXPECT_EQ(r.heightPx, 7);
  EXPECT_EQ(r.heightMm, 2);
}

TEST(ScanRegion, EdgesClampToTheFilm) {
  struct Case {
    int left, top, width, height;  // set in this order, mm
    int wantLeft, wantTop, wantWidth, wantHeight;
  };
  const Case cases[] = {
      {-5, -1, 10, 10, 0, 0, 10, 10},
      {0, 0, 400, 500, 0, 0, 365, 432},
      {364, 430, 5, 5, 364, 430, 1, 2},
      {2000, 2000, 1, 1, 365, 432, 0, 0},
  };
  for (const Case& c : cases) {
    ScanRegion r = at(100);
    r.setLeft(c.left);
    r.setTop(c.top);
    r.setWidthMm(c.width);
    r.setHeightMm(c.height);
    EXPECT_EQ(r.leftMm, c.wantLeft) << c.left;
    EXPECT_EQ(r.topMm, c.wantTop) << c.top;
    EXPECT_EQ(r.widthMm, c.wantWidth) << c.width;
    EXPECT_EQ(r.heightMm, c.wantHeight) << c.height;
  }
  ScanRegion r = at(100);
  r.setWidthMm(100);
  r.setLeft(300);  // at most 365 - width
  EXPECT_EQ(r.leftMm, 265);
  EXPECT_EQ(r.changed, 1);
}

TEST(ScanRegion, APitchBelowOneIsStoredAsOneAndPixelsFollowThePitch) {
  for (int bad : {0, -50}) {
    ScanRegion r = at(100);
    r.setFilm(7);
    r.setPitch(bad);
    EXPECT_EQ(r.pitch, 1) << bad;
    EXPECT_EQ(r.widthPx, 30000);
    EXPECT_EQ(r.heightPx, 40000);
  }
  ScanRegion r = at(100);
  r.setFilm(1);
  EXPECT_EQ(r.widthPx, 3560);
  r.setPitch(300);
  EXPECT_EQ(r.widthPx, 1186);  // truncated
  EXPECT_EQ(r.heightPx, 1440);
  EXPECT_EQ(r.widthMm, 356);
}

TEST(ScanRegion, HugeTypedValuesNeitherOverflowNorEscapeTheFilm) {
  ScanRegion r = at(2000000000);
  r.setWidthPx(2147483647);
  EXPECT_EQ(r.widthMm, 365);
  r.setPitch(1);
  r.setHeightPx(-2147483647);
  EXPECT_EQ(r.heightMm, 0);
  EXPECT_EQ(r.heightPx, 0);
  EXPECT_EQ(r.dataSize(2), 0u);
  r.setHeightMm(432);  // 365000 x 432000 pixels of 2 bytes: beyond 32 bits
  EXPECT_EQ(r.dataSize(2), 2ull * 365000 * 432000);
}

TEST(ScanRegion, FilmsAndTheMaximumLength) {
  ScanRegion r = at(100);
  r.setLeft(5);
  r.setFilm(8);
  EXPECT_EQ(r.leftMm, 0);
  EXPECT_EQ(r.widthMm, 364);
  EXPECT_EQ(r.heightMm, 257);
  r.setFilm(0);
  EXPECT_FALSE(r.valid());
  r.setFilm(6);
  EXPECT_EQ(r.heightMm, 432);
  r.setMaxLength(400);
  EXPECT_EQ(r.heightMm, 400);
  r.setMaxLength(5000);
  EXPECT_EQ(r.maxLength, 3000);
  EXPECT_EQ(r.dataSize(2), 2u * 1000 * 4000);
}

TEST(Lists, OdEntriesOfferedUpToTheDevicesMaximum) {
  EXPECT_EQ(offeredOdCount(40), 4);
  EXPECT_EQ(offeredOdCount(47), 6);
  EXPECT_EQ(offeredOdCount(43), 5);
  EXPECT_EQ(offeredOdCount(5), 0);
  EXPECT_EQ(odText(43), "4.3");
  const std::pair<double, int> adjust[] = {{-1, 10}, {1.0, 10}, {1.01, 20}, {3.0, 30}, {4.2, 43}, {4.31, 47}};
  for (auto [d, want] : adjust) EXPECT_EQ(odRangeFor(d), want) << d;
  EXPECT_EQ(deviceScanMode(0), 0);
  EXPECT_EQ(deviceScanMode(2), 2);
  EXPECT_EQ(deviceScanMode(3), 0);  // moire reduction scans at speed
  EXPECT_EQ(groupedDecimal(0), "0");
  EXPECT_EQ(groupedDecimal(999), "999");
  EXPECT_EQ(groupedDecimal(1000), "1,000");
  EXPECT_EQ(groupedDecimal(67108864), "67,108,864");
}

TEST(DensityTable, WhiteAtZeroDensityBlackFromTheRange) {
  const DensityTable t = densityTable(40, 47);
  EXPECT_EQ(t[4095], 255);
  EXPECT_EQ(t[0], 0);
  // O.D. 2.0 of a 4.7 device: (4.0 - 2.0) * 255 / 4.0.
  const int s = 4095 - int(2.0 * 4095 / 4.7);
  EXPECT_NEAR(t[std::size_t(s)], 127, 1);
  // At the range (4.0 of 4.7) and beyond: black.
  EXPECT_EQ(t[std::size_t(4095 - int(4.0 * 4095 / 4.7) - 1)], 0);
  for (int i = 1; i < 4096; ++i) ASSERT_GE(t[std::size_t(i)], t[std::size_t(i - 1)]);
}

TEST(Preview, MaximumDensityInTheMarquee) {
  PreviewModel p;
  p.setDensity(40, 47);
  ScanRegion r = at(100);
  r.setFilm(7);  // 30 x 40 mm at the top left: cells 0..14 x 0..19
  EXPECT_EQ(p.maxDensity(r), -1.0);
  p.stored()[10 * kPreviewColumns + 14] = 0;     // inside: the darkest there is
  p.stored()[10 * kPreviewColumns + 15] = 0;     // just outside
  p.stored()[1499 * kPreviewColumns + 179] = 0;  // far corner
  p.setScoutPresent();
  EXPECT_DOUBLE_EQ(p.maxDensity(r), 4.7);
  p.stored()[10 * kPreviewColumns + 14] = 2048;
  EXPECT_NEAR(p.maxDensity(r), (4095 - 2048) * 4.7 / 4095, 1e-12);
  // Under 2 mm wide or high: the whole preview.
  r.setWidthMm(1);
  EXPECT_DOUBLE_EQ(p.maxDensity(r), 4.7);
  p.reset();
  EXPECT_EQ(p.maxDensity(r), -1.0);
}

TEST(Preview, LiveSamplingTakesEveryStepthPixelOfEveryStepthLine) {
  PreviewModel p;
  ScanRegion r = at(50);
  r.setLeft(10);
  r.setTop(20);
  r.setWidthMm(8);  // 160 px, 4 cells
  r.setHeightMm(6);  // 120 lines, 3 cells
  std::vector<std::uint16_t> image(std::size_t(r.widthPx) * std::size_t(r.heightPx));
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = std::uint16_t(i % 4096);
  p.startLive(r, image.data(), image.size(), 12);
  const auto& m = p.liveMapping();
  EXPECT_EQ(m.firstColumn, 5);
  EXPECT_EQ(m.firstRow, 10);
  EXPECT_EQ(m.columns, 4);
  EXPECT_EQ(m.rows, 3);
  EXPECT_DOUBLE_EQ(m.step, 40.0);
  p.sample();
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 4; ++col)
      EXPECT_EQ(p.live()[std::size_t(10 + row) * kPreviewColumns + std::size_t(5 + col)],
                image[std::size_t(row * 40) * 160 + std::size_t(col * 40)]);
  EXPECT_EQ(p.live()[std::size_t(10) * kPreviewColumns + 9], 0);  // outside the rectangle
  EXPECT_EQ(m.table[4095], 255);
  EXPECT_EQ(m.table[16], 1);
}

TEST(Preview, TheFarRightColumnAndABufferShorterThanTheRegion) {
  PreviewModel p;
  ScanRegion r = at(100);
  r.setLeft(358);
  r.setWidthMm(7);
  r.setHeightMm(10);
  std::vector<std::uint8_t> image(std::size_t(r.widthPx) * 20, 200);  // only 20 of 100 lines arrived
  p.startLive(r, image.data(), image.size(), 8);
  EXPECT_EQ(p.liveMapping().firstColumn, 179);
  EXPECT_EQ(p.liveMapping().columns, 1);
  p.sample();
  EXPECT_EQ(p.live()[179], 200);
  EXPECT_EQ(p.live()[kPreviewColumns + 179], 0);  // line 20 is not there
  EXPECT_EQ(p.render()[179], 200);
  // At 364 mm the region is 1 mm wide, less than a cell: no column.
  r.setWidthMm(1);
  r.setLeft(364);
  p.startLive(r, image.data(), image.size(), 8);
  EXPECT_EQ(p.liveMapping().columns, 0);
}

TEST(Preview, FinishShowsTheFrameOnBlackAndResetTurnsItWhite) {
  PreviewModel p;
  EXPECT_EQ(p.render()[0], 255);
  ScanRegion r = at(1000);
  r.setWidthMm(4);
  r.setHeightMm(4);
  std::vector<std::uint16_t> image(16, 4095);
  p.startLive(r, image.data(), image.size(), 12);
  p.sample();
  p.finishLive();
  EXPECT_TRUE(p.marginsBlack());
  EXPECT_EQ(p.render()[0], 255);
  EXPECT_EQ(p.render()[2], 0);
  p.reset();
  EXPECT_EQ(p.render()[0], 255);
  EXPECT_EQ(p.render()[2], 255);
  EXPECT_FALSE(p.marginsBlack());
}

TEST(Marquee, HitCodesAtEdgesCornersAndInside) {
  const Rect m{100, 100, 200, 300};
  struct Case {
    int x, y, code;
  };
  const Case cases[] = {
      {100, 200, 1}, {94, 200, 1}, {106, 200, 1}, {107, 200, 0}, {200, 200, 2}, {150, 100, 4},
      {150, 306, 8}, {100, 100, 5}, {95, 95, 5}, {200, 300, 10}, {204, 98, 6}, {98, 302, 9},
      {150, 200, 0}, {93, 200, -1}, {150, 307, -1}, {100, 307, -1}, {400, 400, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(hitTest(m, {c.x, c.y}), c.code) << c.x << "," << c.y;
  // A marquee thinner than two bands: the nearer edge.
  EXPECT_EQ(hitTest({100, 100, 104, 300}, {101, 200}), 1);
  EXPECT_EQ(hitTest({100, 100, 104, 300}, {103, 200}), 2);
}

TEST(Marquee, DragsMoveEdgesOrTheWholeWithinTheBounds) {
  const Rect bounds{0, 0, 100, 118};
  const Rect m{10, 10, 50, 50};
  EXPECT_EQ(dragMarquee(m, 1, {5, 30}, {10, 30}, bounds), (Rect{5, 10, 50, 50}));
  EXPECT_EQ(dragMarquee(m, 10, {60, 70}, {50, 50}, bounds), (Rect{10, 10, 60, 70}));
  EXPECT_EQ(dragMarquee(m, 0, {30, 30}, {20, 20}, bounds), (Rect{20, 20, 60, 60}));
  EXPECT_EQ(dragMarquee(m, 0, {500, -500}, {20, 20}, bounds), (Rect{60, 0, 100, 40}));
  const Point p = clampInto({-5, 500}, bounds);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 118);
}

TEST(Marquee, ToTheRegionAndBack) {
  PreviewModel p;
  p.layout(183, 800);  // 184 pixels across: 367 / 184 mm a pixel
  EXPECT_EQ(p.displayWidth(), 184);
  EXPECT_EQ(p.bounds(), (Rect{0, 0, 184, 218}));
  ScanRegion r = at(100);
  p.setMarquee({60, 20, 10, 120});  // drawn right to left
  p.regionFromMarquee(r);
  EXPECT_EQ(p.marquee(), (Rect{10, 20, 60, 120}));
  EXPECT_EQ(r.leftMm, 20);   // 10 * 1.9946 + 0.5
  EXPECT_EQ(r.topMm, 40);
  EXPECT_EQ(r.widthMm, 100);
  EXPECT_EQ(r.heightMm, 199);
  p.setMarquee({});
  p.marqueeFromRegion(r);
  EXPECT_EQ(p.marquee(), (Rect{10, 20, 60, 120}));
  // A window wider than the film's shape is narrowed to it.
  p.layout(1000, 400);  // 335 pixels, rounded up to a multiple of 4
  EXPECT_EQ(p.displayWidth(), 336);
}

TEST(Study, FieldsFromTheRecord) {
  scanui::StudyData s{};
  std::strcpy(s.componentName, "Weld \x93\xfa");  // CP932 for U+65E5
  std::strcpy(s.manufacturingDate, "20240307");
  std::strcpy(s.studyDate, "00000000");
  s.sex[0] = 'F';
  std::memset(s.studyId, 'A', sizeof s.studyId);  // no NUL: the field's room bounds it
  const StudyFields f = studyFieldsFrom(s);
  EXPECT_EQ(f.componentName, "Weld \xe6\x97\xa5");
  EXPECT_EQ(f.manufacturingYear, "2024");
  EXPECT_EQ(f.manufacturingMonth, "3");
  EXPECT_EQ(f.manufacturingDay, "7");
  EXPECT_EQ(f.studyYear, "");
  EXPECT_EQ(f.studyDay, "");
  EXPECT_EQ(f.sex, StudyFields::Female);
  EXPECT_EQ(f.studyId, std::string(65, 'A'));
  s.sex[0] = 'x';
  EXPECT_EQ(studyFieldsFrom(s).sex, StudyFields::Blank);
}

TEST(Study, WriteBackClampsDatesAndCutsTextsByBytes) {
  scanui::StudyData s;
  std::memset(&s, 0x7f, sizeof s);
  StudyFields f;
  f.componentName = std::string(62, 'n') + "\xe6\x97\xa5";  // the 2-byte character would end at 64
  f.componentId = std::string(100, 'i');
  f.manufacturingYear = "12345";
  f.manufacturingMonth = "-4";
  f.manufacturingDay = "x";
  f.sex = StudyFields::Male;
  f.studyYear = " 2026 ";
  f.studyMonth = "123";
  f.studyDay = "9";
  f.studyId = std::string(64, 'd');
  f.studyDescription = std::string(200, 'e');
  writeStudy(f, s);
  EXPECT_EQ(std::string(s.componentName), std::string(62, 'n'));
  EXPECT_EQ(std::string(s.componentId), std::string(63, 'i'));
  EXPECT_EQ(std::string(s.manufacturingDate, 9), std::string("99990000\0", 9));
  EXPECT_EQ(std::string(s.sex, 3), std::string("M \0", 3));
  EXPECT_EQ(std::string(s.studyDate), "20269909");
  EXPECT_EQ(std::string(s.studyId), std::string(63, 'd'));
  EXPECT_EQ(std::string(s.studyDescription), std::string(127, 'e'));
  // The rest of each field is cleared, nothing past it touched.
  EXPECT_EQ(s.studyDescription[1023], 0);
  f.sex = StudyFields::Blank;
  writeStudy(f, s);
  EXPECT_EQ(std::string(s.sex, 3), std::string(3, '\0'));
}

}  // namespace
}  // namespace scanui_test
