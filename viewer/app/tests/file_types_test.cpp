#include "viewer/app/file_types.h"

#include <gtest/gtest.h>

#include "testsupport/testsupport.h"

using namespace viewer::app;

TEST(FileTypes, ByExtensionIgnoresCase) {
  const struct {
    const char* path;
    int type;
  } cases[] = {
      {"a.tif", kTypeTiff},     {"A.TIF", kTypeTiff},       {"b.tiff", kTypeTiffBig}, {"c.dcm", kTypeDiconde},
      {"c.DICM", kTypeDiconde}, {"c.dicom", kTypeDiconde},  {"d.Raw", kTypeRaw},      {"e.bmp", kTypeBmp},
      {"f.PGM", kTypePgm},      {"g.jpg", kTypeJpeg},       {"g.JPE", kTypeJpeg},     {"g.jpeg", kTypeJpeg},
      {"h.png", kTypeUnknown},  {"noext", kTypeUnknown},    {"dir.tif/noext", kTypeUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(typeByExtension(c.path), c.type) << c.path;
}

TEST(FileTypes, ByContentWhenTheExtensionSaysNothing) {
  testsupport::TempDir dir;
  std::string dicom(128, '\0');
  dicom += "DICM";
  const struct {
    const char* name;
    std::string bytes;
    int type;
  } cases[] = {
      {"le", std::string("II*\0rest", 8), kTypeTiff},
      {"be", std::string("MM\0*rest", 8), kTypeTiffBig},
      {"bitmap", "BMxxxx", kTypeBmp},
      {"pgm", "P5\n4 3\n255\n", kTypePgm},
      {"pgm_comment", "P5\n# made by hand\n4\n# between the numbers\n3 255\n", kTypePgm},
      {"pgm_wide", "P5 4 3 65535\n", kTypeRaw},
      {"pgm_zero", "P5 0 3 255\n", kTypeRaw},
      {"dicom", dicom, kTypeDiconde},
      {"other", "hello", kTypeRaw},
      {"named.jpg", "BM but named", kTypeJpeg},
  };
  for (const auto& c : cases) {
    testsupport::writeFile(dir / c.name, c.bytes);
    EXPECT_EQ(typeByContent((dir / c.name).string()), c.type) << c.name;
  }
  EXPECT_EQ(typeByContent((dir / "missing").string()), kTypeRaw);
}

TEST(FileTypes, OnlyTheSixExactExtensionsChooseTheirWriter) {
  const struct {
    const char* path;
    SaveFormat format;
  } cases[] = {
      {"a.dcm", SaveFormat::Diconde}, {"a.TIF", SaveFormat::Tiff}, {"a.bmp", SaveFormat::Bmp},
      {"a.Pgm", SaveFormat::Pgm},     {"a.JPG", SaveFormat::Jpeg}, {"a.raw", SaveFormat::Raw},
      {"a.tiff", SaveFormat::Raw},    {"a.jpeg", SaveFormat::Raw}, {"a.dicom", SaveFormat::Raw},
      {"a", SaveFormat::Raw},
  };
  for (const auto& c : cases) EXPECT_EQ(saveFormatFor(c.path), c.format) << c.path;
}

TEST(SeriesPattern, KeepsPrefixDigitsAndSuffixApart) {
  const struct {
    const char* name;
    bool valid;
    const char* prefix;
    int width;
    const char* suffix;
    long start;
  } cases[] = {
      {"IMG0012.tif", true, "IMG", 4, ".tif", 12},
      {"scan005.tif", true, "scan", 3, ".tif", 5},
      {"a1b22.dcm", true, "a1b", 2, ".dcm", 22},
      {"1234567890.tif", true, "12", 8, ".tif", 34567890},
      {"plain.tif", false, "", 0, "", 0},
      {"50%_dose_07.tif", true, "50%_dose_", 2, ".tif", 7},
      {"dir9/name.tif", false, "", 0, "", 0},
  };
  for (const auto& c : cases) {
    const SeriesPattern p = seriesPattern(c.name);
    EXPECT_EQ(p.valid, c.valid) << c.name;
    if (!c.valid) continue;
    EXPECT_EQ(p.prefix, c.prefix) << c.name;
    EXPECT_EQ(p.width, c.width) << c.name;
    EXPECT_EQ(p.suffix, c.suffix) << c.name;
    EXPECT_EQ(p.start, c.start) << c.name;
  }
  // Percent signs and the like are kept as they are, never read as a format.
  EXPECT_EQ(seriesPattern("%s%n_01.tif").name(2), "%s%n_02.tif");
  EXPECT_EQ(seriesPattern("x9.tif").name(10), "x10.tif");
}
