#include "moire/moire.h"

#include "platform/library.h"
#include "reference.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using moire_test::referenceFilter;

// The plug-in as the scan UI meets it: a copy of libFennick.so loaded by path
// from a directory of its own, with its settings file beside it.
class Plugin {
 public:
  Plugin() {
    const fs::path built = testsupport::selfExecutable().parent_path() / "libFennick.so";
    fs::copy_file(built, dir_ / "libFennick.so");
    static int anchor;
    if (lib_.open((dir_ / "libFennick.so").string(), &anchor))
      fn_ = lib_.function<DeMoireFuncPtr>("deMoireFunc");
  }
  static Plugin& get() {
    static Plugin plugin;
    return plugin;
  }
  bool loaded() const { return fn_ != nullptr; }
  std::string error() const { return lib_.errorText(); }
  const fs::path& dir() const { return dir_.path(); }
  void setIni(const std::string& content) { testsupport::writeFile(dir_ / "Fennick.ini", content); }
  void detectChars(bool on) { setIni(on ? "[demoire]\nDetectChars=yes\n" : "[demoire]\nDetectChars=no\n"); }
  int call(MoireParams* p, int filterType, int interpType) const { return fn_(p, filterType, interpType); }

 private:
  testsupport::TempDir dir_;
  platform::Library lib_;
  DeMoireFuncPtr fn_ = nullptr;
};

// A film: samples of 8 or 16 bits in one buffer of exactly the image's size.
struct Film {
  int width = 0, height = 0, bits = 0;
  std::vector<std::uint16_t> words;
  std::vector<std::uint8_t> bytes;

  Film(int w, int h, int b) : width(w), height(h), bits(b) {
    const std::size_t n = std::size_t(w) * std::size_t(h);
    if (b > 8)
      words.assign(n, 0);
    else
      bytes.assign(n, 0);
  }
  bool wide() const { return bits > 8; }
  void set(int r, int c, unsigned v) {
    const std::size_t i = std::size_t(r) * std::size_t(width) + std::size_t(c);
    if (wide())
      words[i] = std::uint16_t(v);
    else
      bytes[i] = std::uint8_t(v);
  }
  unsigned at(int r, int c) const {
    const std::size_t i = std::size_t(r) * std::size_t(width) + std::size_t(c);
    return wide() ? words[i] : bytes[i];
  }
  void* data() { return wide() ? static_cast<void*>(words.data()) : static_cast<void*>(bytes.data()); }
  bool operator==(const Film& o) const { return words == o.words && bytes == o.bytes; }
  unsigned maxSample() const {
    unsigned m = 0;
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < width; ++c) m = std::max(m, at(r, c));
    return m;
  }
  std::string firstDifference(const Film& o) const {
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < width; ++c)
        if (at(r, c) != o.at(r, c)) {
          std::ostringstream s;
          s << "first difference at row " << r << " column " << c << ": " << at(r, c) << " vs "
            << o.at(r, c);
          return s.str();
        }
    return "no difference";
  }
};

// Gradient, grid lines along both axes, seeded noise, and a few bright marks
// on darker ground so that the protection of bright marks has work to do.
Film testFilm(int w, int h, int bits, std::uint32_t seed) {
  Film f(w, h, bits);
  const double full = std::ldexp(1.0, bits) - 1.0;
  std::uint32_t state = seed * 2654435761u + 1u;
  auto noise = [&] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return double(state % 1000u) / 1000.0 - 0.5;
  };
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      double v = full * (0.15 + 0.3 * double(r + c) / double(w + h));
      if (c % 4 == 0) v -= 0.08 * full;
      if (r % 5 == 0) v -= 0.05 * full;
      v += 0.04 * full * noise();
      if ((r / 3 + c / 7) % 9 == 4 && (r + c) % 3 == 0) v = full * 0.97;  // bright marks
      f.set(r, c, unsigned(std::clamp(std::lround(v), 0L, long(full))));
    }
  return f;
}

MoireParams params(Film& src, Film& dst, int direction, int pitch, double ampV, double ampH) {
  MoireParams p{};
  p.bits = src.bits;
  p.scanPitch = pitch;
  p.targetPitch = pitch * src.width / dst.width;
  p.FilterAmplitudeV = ampV;
  p.FilterAmplitudeH = ampH;
  p.direction = direction;
  p.srcWidth = src.width;
  p.srcHeight = src.height;
  p.dstWidth = dst.width;
  p.dstHeight = dst.height;
  p.src = src.data();
  p.dst = dst.data();
  return p;
}

class Moire : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Plugin::get().loaded()) << Plugin::get().error();
    Plugin::get().detectChars(false);
  }
  Plugin& plugin() { return Plugin::get(); }

  // The plug-in's output, after checking it against the reference.
  Film filterAndCompare(Film& src, int dw, int dh, int direction, double ampV, double ampH,
                        int filterType, int interpType, bool detect) {
    plugin().detectChars(detect);
    Film ours(dw, dh, src.bits), theirs(dw, dh, src.bits);
    MoireParams p = params(src, ours, direction, 50, ampV, ampH);
    EXPECT_EQ(plugin().call(&p, filterType, interpType), 0);
    MoireParams q = params(src, theirs, direction, 50, ampV, ampH);
    EXPECT_EQ(referenceFilter(q, filterType, interpType, detect).rc, 0);
    EXPECT_TRUE(ours == theirs) << ours.firstDifference(theirs);
    return ours;
  }
};

// Sizes and widths: equal size, halving, mixed up- and down-sampling,
// enlargement (where the windows reach the last line), 1000 to 999 along each
// axis, half-width 2 against 6.
struct Geometry {
  int w, h, dw, dh;
  double ampV, ampH;
};
const Geometry kGeometries[] = {
    {40, 30, 40, 30, 100, 100},   {64, 48, 32, 24, 150, 150},  {37, 41, 53, 29, 100, 100},
    {20, 16, 40, 32, 100, 100},   {1000, 20, 999, 19, 250, 100}, {20, 1000, 19, 999, 100, 250},
    {25, 25, 8, 8, 100, 300},     {33, 47, 33, 47, 300, 100},
};

class Exactness : public Moire, public ::testing::WithParamInterface<int> {};

TEST_P(Exactness, PluginEqualsTheReferenceBitForBit) {
  const int direction = GetParam();
  std::uint32_t seed = 1;
  for (const Geometry& g : kGeometries)
    for (int bits : {8, 12})
      for (int filterType : {1, 2})
        for (int interpType : {1, 2})
          for (bool detect : {false, true}) {
            SCOPED_TRACE(::testing::Message()
                         << g.w << "x" << g.h << " -> " << g.dw << "x" << g.dh << " ampV " << g.ampV
                         << " ampH " << g.ampH << " bits " << bits << " filter " << filterType
                         << " interp " << interpType << " detect " << detect);
            Film src = testFilm(g.w, g.h, bits, seed++);
            filterAndCompare(src, g.dw, g.dh, direction, g.ampV, g.ampH, filterType, interpType,
                             detect);
          }
}

INSTANTIATE_TEST_SUITE_P(Directions, Exactness, ::testing::Values(0, 1, 2));

// Columns whose windows start one or two samples apart (equal size, halving)
// are summed through a window that moves along the row; it stops after any
// tap count, and groups of eight columns in between, short tails and columns
// spaced unevenly share a row with it. At exact sizes the outermost weights
// are nearly 0; 71 -> 70 and 143 -> 70 give every tap its weight. Direction
// 0 tests its rows with the same half-width: the films are tall enough.
TEST_F(Moire, EvenlySpacedColumnsEqualTheReferenceAtEveryHalfWidth) {
  const Geometry geometries[] = {
      {70, 40, 70, 40, 0, 100},  {69, 40, 69, 40, 0, 100},  {71, 40, 70, 40, 0, 100},
      {140, 60, 70, 30, 0, 100}, {143, 60, 70, 30, 0, 100}};
  std::uint32_t seed = 40;
  for (int direction : {0, 2})
    for (const Geometry& g : geometries)
      for (int h = 2; h <= 11; ++h) {
        SCOPED_TRACE(::testing::Message() << "direction " << direction << " " << g.w << " -> " << g.dw
                                          << " half-width " << h);
        Film src = testFilm(g.w, g.h, 12, seed++);
        filterAndCompare(src, g.dw, g.dh, direction, 50.0 * h, g.ampH, 2, 2, false);
      }
}

TEST_F(Moire, FlatImageStaysFlatInEveryMode) {
  for (int bits : {8, 12, 16})
    for (int direction : {0, 1, 2})
      for (int filterType : {1, 2})
        for (int interpType : {1, 2})
          for (const Geometry& g : {Geometry{30, 26, 30, 26, 100, 100}, Geometry{41, 37, 19, 23, 250, 150},
                                    Geometry{17, 19, 40, 44, 100, 100}}) {
            const unsigned level = bits == 8 ? 77 : (bits == 12 ? 1234 : 54321);
            Film src(g.w, g.h, bits), dst(g.dw, g.dh, bits);
            for (int r = 0; r < g.h; ++r)
              for (int c = 0; c < g.w; ++c) src.set(r, c, level);
            MoireParams p = params(src, dst, direction, 50, g.ampV, g.ampH);
            ASSERT_EQ(plugin().call(&p, filterType, interpType), 0);
            for (int r = 0; r < g.dh; ++r)
              for (int c = 0; c < g.dw; ++c)
                ASSERT_EQ(dst.at(r, c), level) << "bits " << bits << " direction " << direction
                                               << " filter " << filterType << " interp " << interpType
                                               << " at " << r << "," << c;
          }
}

TEST_F(Moire, TwelveBitOutputStaysBelow4096DespiteOvershoot) {
  // A hard step from 0 to 4095 across the smoothed axis: the Lanczos lobes
  // carry the filtered values beyond the range.
  for (int direction : {0, 1, 2}) {
    Film src(48, 48, 12), ours(48, 48, 12), theirs(48, 48, 12);
    for (int r = 0; r < 48; ++r)
      for (int c = 0; c < 48; ++c) src.set(r, c, (direction == 1 ? r : c) >= 24 ? 4095 : 0);
    MoireParams p = params(src, ours, direction, 50, 200, 200);
    ASSERT_EQ(plugin().call(&p, 2, 2), 0);
    MoireParams q = params(src, theirs, direction, 50, 200, 200);
    const auto ref = referenceFilter(q, 2, 2, false);
    EXPECT_GT(ref.rawMax, 4095.5) << "direction " << direction;
    EXPECT_EQ(ours.maxSample(), 4095u) << "direction " << direction;
    EXPECT_TRUE(ours == theirs) << ours.firstDifference(theirs);
  }
}

TEST_F(Moire, RefusedCallsReturnMinusOneAndLeaveTheTargetAlone) {
  struct Case {
    const char* what;
    void (*spoil)(MoireParams&);
  } cases[] = {
      {"null source", [](MoireParams& p) { p.src = nullptr; }},
      {"null target", [](MoireParams& p) { p.dst = nullptr; }},
      {"scan pitch 0", [](MoireParams& p) { p.scanPitch = 0; }},
      {"source width 0", [](MoireParams& p) { p.srcWidth = 0; }},
      {"source height -1", [](MoireParams& p) { p.srcHeight = -1; }},
      {"target width 0", [](MoireParams& p) { p.dstWidth = 0; }},
      {"target height -20", [](MoireParams& p) { p.dstHeight = -20; }},
      {"bits 0", [](MoireParams& p) { p.bits = 0; }},
      {"bits 17", [](MoireParams& p) { p.bits = 17; }},
      {"bits -8", [](MoireParams& p) { p.bits = -8; }},
      {"direction 3", [](MoireParams& p) { p.direction = 3; }},
      {"direction -1", [](MoireParams& p) { p.direction = -1; }},
  };
  Film src = testFilm(20, 20, 12, 7);
  for (const Case& c : cases) {
    Film dst(10, 10, 12);
    for (auto& w : dst.words) w = 0xBEEF;
    const Film untouched = dst;
    MoireParams p = params(src, dst, 0, 50, 100, 100);
    c.spoil(p);
    EXPECT_EQ(plugin().call(&p, 2, 2), -1) << c.what;
    EXPECT_TRUE(dst == untouched) << c.what;
  }
  EXPECT_EQ(plugin().call(nullptr, 2, 2), -1);
}

// A bright vertical line one sample wide on dark ground, filtered at equal
// size along x: with protection the line keeps its value, without it is smoothed.
unsigned brightLineOutput(Plugin& plugin) {
  Film src(31, 21, 8), dst(31, 21, 8);
  for (int r = 0; r < 21; ++r)
    for (int c = 0; c < 31; ++c) src.set(r, c, c == 15 ? 255 : 100);
  MoireParams p = params(src, dst, 0, 50, 300, 300);
  EXPECT_EQ(plugin.call(&p, 2, 2), 0);
  return dst.at(10, 15);
}

TEST_F(Moire, DetectCharsIsReadBesideTheLibraryAtEveryCall) {
  struct Case {
    const char* ini;  // nullptr: no file
    bool on;
  } cases[] = {
      {nullptr, false},
      {"[demoire]\nDetectChars=yes\n", true},
      {"[demoire]\nDetectChars=YeS\n", true},
      {"[DeMoire]\ndetectchars = TRUE\n", true},
      {"[demoire]\nDetectChars=True\n", true},
      {"[demoire]\nDetectChars=1\n", true},
      {"[demoire]\nDetectChars=\"yes\"\n", true},
      {"[demoire]\nDetectChars=no\n", false},
      {"[demoire]\nDetectChars=0\n", false},
      {"[demoire]\nDetectChars=\n", false},
      {"[demoire]\nDetectChars=yes please\n", false},
      {"[demoire]\nDetectChars=2\n", false},
      {"[other]\nDetectChars=yes\n", false},
  };
  for (const Case& c : cases) {
    fs::remove(plugin().dir() / "Fennick.ini");
    if (c.ini) plugin().setIni(c.ini);
    const unsigned v = brightLineOutput(plugin());
    if (c.on)
      EXPECT_EQ(v, 255u) << (c.ini ? c.ini : "no file");
    else
      EXPECT_LT(v, 200u) << (c.ini ? c.ini : "no file");
  }
}

// A bright mark on the line below a target sample whose own row is noisy: the
// protection fires on the neighbouring line, and the target takes its own
// nearest source sample, not the mark and not the smoothed value.
TEST_F(Moire, ProtectionOnANeighbouringLineKeepsTheOwnSample) {
  for (int interpType : {1, 2}) {
    Film src(31, 21, 8), dst(31, 21, 8);
    for (int r = 0; r < 21; ++r)
      for (int c = 0; c < 31; ++c) src.set(r, c, (c % 2) ? 60 : 140);
    src.set(10, 15, 150);
    src.set(11, 15, 255);
    MoireParams p = params(src, dst, 0, 50, 150, 150);
    plugin().detectChars(false);
    ASSERT_EQ(plugin().call(&p, 2, interpType), 0);
    const unsigned smoothed = dst.at(10, 15);
    EXPECT_NE(smoothed, 150u);
    EXPECT_NE(smoothed, 255u);
    plugin().detectChars(true);
    ASSERT_EQ(plugin().call(&p, 2, interpType), 0);
    EXPECT_EQ(dst.at(10, 15), 150u) << "interp " << interpType;
    // The linear path never smooths the centre line, so there the mark's own
    // line is not protected.
    if (interpType == 2) {
      EXPECT_EQ(dst.at(11, 15), 255u);
    }
  }
}

// Direction 2 protects again over the smoothed rows: a bright sample whose
// own row window holds no dark sample, but whose column has a dark stretch.
TEST_F(Moire, DirectionTwoProtectsOverTheSmoothedRows) {
  Film src(31, 31, 8), dst(31, 31, 8);
  for (int r = 0; r < 31; ++r)
    for (int c = 0; c < 31; ++c) src.set(r, c, r >= 17 ? 10 : 230);
  MoireParams p = params(src, dst, 2, 50, 100, 150);
  plugin().detectChars(true);
  ASSERT_EQ(plugin().call(&p, 2, 2), 0);
  EXPECT_EQ(dst.at(15, 15), 230u);
  EXPECT_EQ(dst.at(10, 15), 230u);  // far from the dark rows: smoothing a flat area
  plugin().detectChars(false);
  ASSERT_EQ(plugin().call(&p, 2, 2), 0);
  EXPECT_NE(dst.at(15, 15), 230u);  // the lobes of the filter overshoot near the dark rows
}

// Distinct sample values show which border sample each zone copies.
TEST_F(Moire, BorderZonesCopyTheirSourceSamples) {
  const int W = 40, H = 30;
  Film src(W, H, 12), dst(W, H, 12);
  for (int r = 0; r < H; ++r)
    for (int c = 0; c < W; ++c) src.set(r, c, unsigned(r * W + c));
  MoireParams p = params(src, dst, 0, 50, 100, 100);  // half-width 2
  ASSERT_EQ(plugin().call(&p, 2, 2), 0);
  EXPECT_EQ(dst.at(15, 1), src.at(15, 0));           // left
  EXPECT_EQ(dst.at(15, W - 2), src.at(15, W - 1));   // right
  EXPECT_EQ(dst.at(1, 20), src.at(0, 20));           // top
  EXPECT_EQ(dst.at(H - 2, 20), src.at(H - 1, 20));   // bottom
  // Corners belong to the left and right zones.
  EXPECT_EQ(dst.at(1, 1), src.at(1, 0));
  EXPECT_EQ(dst.at(H - 2, W - 2), src.at(H - 2, W - 1));
  // Inside, the filter ran.
  EXPECT_NE(dst.at(15, 20), 0u);

  // Halving: the truncated position picks the row and the column.
  Film half(20, 15, 12);
  MoireParams q = params(src, half, 0, 50, 100, 100);
  ASSERT_EQ(plugin().call(&q, 2, 2), 0);
  EXPECT_EQ(half.at(7, 0), src.at(14, 0));
  EXPECT_EQ(half.at(7, 19), src.at(14, W - 1));
  EXPECT_EQ(half.at(0, 10), src.at(0, 20));
  EXPECT_EQ(half.at(14, 10), src.at(H - 1, 20));
}

TEST_F(Moire, HugeFilterWidthCopiesTheImageAsBorder) {
  for (double amp : {1e9, 1e300, std::numeric_limits<double>::infinity()})
    for (int direction : {0, 1, 2}) {
      Film src = testFilm(30, 24, 12, 3), dst(15, 12, 12);
      MoireParams p = params(src, dst, direction, 50, amp, amp);
      ASSERT_EQ(plugin().call(&p, 2, 2), 0);
      for (int r = 0; r < 12; ++r)
        for (int c = 0; c < 15; ++c)
          // No window fits: everything is the left zone, the first sample of the row.
          ASSERT_EQ(dst.at(r, c), src.at(r * 24 / 12, 0)) << amp << " " << direction << " " << r << "," << c;
    }
  // A long strip: the capped half-width must not make the filter refuse for
  // lack of work storage.
  Film strip(200000, 2, 12), stripOut(100000, 1, 12);
  for (int c = 0; c < 200000; ++c) {
    strip.set(0, c, unsigned(c % 4096));
    strip.set(1, c, 7);
  }
  strip.set(0, 0, 1234);
  MoireParams p = params(strip, stripOut, 0, 50, 1e300, 1e300);
  ASSERT_EQ(plugin().call(&p, 2, 2), 0);
  for (int c = 0; c < 100000; ++c) ASSERT_EQ(stripOut.at(0, c), 1234u) << c;
}

TEST_F(Moire, WorkStorageBeyondTheLimitIsRefusedBeforeWriting) {
  // Direction 2 keeps one y weight table per fitting target row: 20000 rows
  // of 38001 weights are far beyond what the filter allows itself.
  Film src(16, 40000, 12), dst(16, 400000, 12);
  for (auto& w : dst.words) w = 0xBEEF;
  const Film untouched = dst;
  MoireParams p = params(src, dst, 2, 50, 100, 19000.0 * 50);
  EXPECT_EQ(plugin().call(&p, 2, 2), -1);
  EXPECT_TRUE(dst == untouched);
}

TEST_F(Moire, FilterWidthBelowTwoPitchesStillSmoothsOverTwoSamples) {
  Film src = testFilm(40, 30, 12, 11);
  auto run = [&](double amp, int direction) {
    Film dst(40, 30, 12);
    MoireParams p = params(src, dst, direction, 50, amp, amp);
    EXPECT_EQ(plugin().call(&p, 2, 2), 0);
    return dst;
  };
  for (int direction : {0, 1, 2}) {
    const Film two = run(100, direction);
    EXPECT_TRUE(run(10, direction) == two);
    EXPECT_TRUE(run(0, direction) == two);
    EXPECT_TRUE(run(-300, direction) == two);
    EXPECT_TRUE(run(std::nan(""), direction) == two);
    EXPECT_FALSE(run(101, direction) == two);  // half-width 3
    EXPECT_FALSE(two == src);
  }
}

TEST_F(Moire, EqualSizeDirectionZeroStillSmoothsAlongX) {
  // Grid lines every 4 columns, 300 deep.
  Film src(64, 32, 12), dst(64, 32, 12);
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < 64; ++c) src.set(r, c, c % 4 == 0 ? 1700 : 2000);
  MoireParams p = params(src, dst, 0, 50, 300, 300);
  ASSERT_EQ(plugin().call(&p, 2, 2), 0);
  unsigned lo = 4095, hi = 0;
  for (int c = 10; c < 54; ++c) {
    lo = std::min(lo, dst.at(16, c));
    hi = std::max(hi, dst.at(16, c));
  }
  EXPECT_LT(hi - lo, 30u) << lo << ".." << hi;
  EXPECT_NEAR(double(lo), 1925.0, 20.0);
}

TEST_F(Moire, NothingPastTheSourceIsRead) {
  // Enlarging with half-width 2 puts windows one line past the last; what
  // lies behind the source must not matter.
  for (int direction : {0, 1, 2})
    for (int interpType : {1, 2}) {
      Film out[2] = {Film(40, 32, 12), Film(40, 32, 12)};
      for (unsigned fill : {0u, 1u}) {
        Film src = testFilm(20, 16, 12, 5);
        std::vector<std::uint16_t> padded(src.words);
        padded.resize(padded.size() + 64, fill ? 4095 : 0);
        MoireParams p = params(src, out[fill], direction, 50, 100, 100);
        p.src = padded.data();
        ASSERT_EQ(plugin().call(&p, 2, interpType), 0);
      }
      EXPECT_TRUE(out[0] == out[1]) << "direction " << direction << " interp " << interpType << ": "
                                    << out[0].firstDifference(out[1]);
    }
}

TEST_F(Moire, CallsOnSeveralThreadsAtOnceAgree) {
  plugin().detectChars(true);
  struct Job {
    int direction, filterType, interpType;
  } jobs[] = {{0, 2, 2}, {1, 1, 1}, {2, 2, 1}, {0, 1, 2}};
  Film src = testFilm(300, 260, 12, 21);
  std::vector<Film> expected;
  for (const Job& j : jobs) {
    expected.emplace_back(150, 130, 12);
    MoireParams p = params(src, expected.back(), j.direction, 50, 300, 200);
    ASSERT_EQ(plugin().call(&p, j.filterType, j.interpType), 0);
  }
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) {
        const Job& j = jobs[std::size_t((t + round) % 4)];
        Film dst(150, 130, 12);
        MoireParams p = params(src, dst, j.direction, 50, 300, 200);
        if (plugin().call(&p, j.filterType, j.interpType) != 0 ||
            !(dst == expected[std::size_t((t + round) % 4)]))
          ++mismatches[std::size_t(t)];
      }
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(mismatches[std::size_t(t)], 0) << "thread " << t;
}

// The filter splits the film into tiles of target columns and rows (rows
// alone in direction 1) for as many threads as the process may use; every split, down to one thread, must
// give the reference's samples. Films of odd sizes, tall enough for several
// bands of rows, at several ratios and half-widths, with and without the
// protection, whose flags share the tiles' rings.
TEST_F(Moire, EveryThreadCountEqualsTheReference) {
  cpu_set_t allowed;
  ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
  std::vector<int> cpus;
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &allowed)) cpus.push_back(c);
  struct Case {
    int w, h, dw, dh, direction, bits;
    double ampV, ampH;
    bool detect;
  } cases[] = {
      {1201, 533, 600, 266, 0, 12, 600, 300, false}, {1201, 533, 600, 266, 0, 12, 600, 300, true},
      {517, 901, 517, 901, 0, 8, 150, 100, false},   {803, 611, 301, 407, 2, 12, 250, 400, true},
      {99, 1203, 61, 997, 0, 12, 100, 100, false},   {1024, 700, 1024, 350, 2, 8, 100, 150, false},
      {611, 803, 407, 301, 1, 12, 300, 250, true},   {700, 1024, 350, 1024, 1, 8, 150, 100, false},
  };
  std::uint32_t seed = 70;
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::Message() << k.w << "x" << k.h << " -> " << k.dw << "x" << k.dh << " direction "
                                      << k.direction << " bits " << k.bits << " detect " << k.detect);
    Film src = testFilm(k.w, k.h, k.bits, seed++);
    Film expected(k.dw, k.dh, k.bits);
    MoireParams q = params(src, expected, k.direction, 50, k.ampV, k.ampH);
    ASSERT_EQ(referenceFilter(q, 2, 2, k.detect).rc, 0);
    plugin().detectChars(k.detect);
    for (std::size_t threads = 1; threads <= std::min<std::size_t>(8, cpus.size()); ++threads) {
      // The filter takes as many threads as the calling thread may use cores.
      Film out(k.dw, k.dh, k.bits);
      int rc = -2;
      std::thread caller([&] {
        cpu_set_t some;
        CPU_ZERO(&some);
        for (std::size_t i = 0; i < threads; ++i) CPU_SET(cpus[i], &some);
        if (sched_setaffinity(0, sizeof some, &some) != 0) return;
        MoireParams p = params(src, out, k.direction, 50, k.ampV, k.ampH);
        rc = plugin().call(&p, 2, 2);
      });
      caller.join();
      EXPECT_EQ(rc, 0) << threads << " threads";
      EXPECT_TRUE(out == expected) << threads << " threads: " << out.firstDifference(expected);
    }
  }
}

std::uint64_t fnv1a(const Film& f) {
  std::uint64_t h = 1469598103934665603ull;
  for (int r = 0; r < f.height; ++r)
    for (int c = 0; c < f.width; ++c) {
      const unsigned v = f.at(r, c);
      for (unsigned byte : {v & 0xFFu, v >> 8}) {
        h ^= byte;
        h *= 1099511628211ull;
      }
    }
  return h;
}

// Frozen outputs: double accumulation, the protection and corner choices and
// the kernels as they stand. A change here changes every filtered film.
TEST_F(Moire, GoldenOutputs) {
  struct Case {
    int direction, filterType, interpType;
    bool detect;
    std::uint64_t digest;
  } cases[] = {
      {0, 2, 2, false, 0xc7de0af7cfcf1fa4}, {0, 1, 1, true, 0xc3790cb9b77096a6},
      {1, 2, 2, true, 0xbaa57732f5ad92ac},  {1, 1, 1, false, 0x3faf10a114e3aa85},
      {2, 2, 2, true, 0x999e2856f982cbc4},  {2, 1, 2, false, 0xa684a3956d9a71ff},
  };
  for (const Case& c : cases) {
    Film src = testFilm(97, 89, 12, 99);
    const Film out = filterAndCompare(src, 61, 71, c.direction, 250, 200, c.filterType,
                                      c.interpType, c.detect);
    EXPECT_EQ(fnv1a(out), c.digest) << std::hex << "0x" << fnv1a(out) << std::dec << " direction "
                                    << c.direction << " filter " << c.filterType << " interp "
                                    << c.interpType << " detect " << c.detect;
  }
}

TEST(MoireExports, OnlyDeMoireFuncLeavesTheLibrary) {
  const fs::path lib = testsupport::selfExecutable().parent_path() / "libFennick.so";
  const auto res = testsupport::runCommand("nm -D --defined-only '" + lib.string() + "'");
  ASSERT_EQ(res.status, 0) << res.output;
  std::set<std::string> names;
  std::istringstream in(res.output);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string a, b, c;
    fields >> a >> b >> c;
    names.insert(c.empty() ? b : c);
  }
  EXPECT_EQ(names, std::set<std::string>{"deMoireFunc"}) << res.output;
}

}  // namespace
