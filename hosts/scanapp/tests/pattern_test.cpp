#include <gtest/gtest.h>

#include <string>

#include "hosts/scanapp/output_pattern.h"
#include "testsupport/testsupport.h"

namespace ombrel {
namespace {

struct PatternCase {
  const char* path;
  const char* first;
  const char* second;
  Format format;
};

void PrintTo(const PatternCase& c, std::ostream* os) { *os << c.path; }

class PatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternTest, NumbersFilesFromTheDigitRun) {
  const PatternCase& c = GetParam();
  const OutputPattern p = makePattern(c.path);
  EXPECT_EQ(p.fileName(p.start), c.first);
  EXPECT_EQ(p.fileName(p.start + 1), c.second);
  EXPECT_EQ(p.format, c.format);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PatternTest,
    ::testing::Values(
        PatternCase{"/out/film007.dcm", "/out/film007.dcm", "/out/film008.dcm", Format::Dicom},
        PatternCase{"/out/film.tif", "/out/film01.tif", "/out/film02.tif", Format::Tiff},
        // The run reaches from the leftmost digit taken to the last one, letters included.
        PatternCase{"/out/a1b2.raw", "/out/a001.raw", "/out/a002.raw", Format::Raw},
        // At most eight characters: the leading 1 stays in the name.
        PatternCase{"/out/scan123456789.dcm", "/out/scan123456789.dcm", "/out/scan123456790.dcm", Format::Dicom},
        PatternCase{"/out/film99.dcm", "/out/film99.dcm", "/out/film100.dcm", Format::Dicom},
        PatternCase{"/out/x.Tif", "/out/x01.Tif", "/out/x02.Tif", Format::Tiff},
        PatternCase{"/out/x.DCM", "/out/x01.DCM", "/out/x02.DCM", Format::Dicom},
        PatternCase{"/out/x.dicom", "/out/x01.dicom", "/out/x02.dicom", Format::Raw},
        PatternCase{"/out/x", "/out/x01", "/out/x02", Format::Raw},
        // A '%' is a character of the name, never a conversion.
        PatternCase{"/out/100%d/f%s%n.dcm", "/out/100%d/f%s%n01.dcm", "/out/100%d/f%s%n02.dcm", Format::Dicom},
        PatternCase{"/out/%05d.tif", "/out/%05d.tif", "/out/%06d.tif", Format::Tiff},
        // Digits of the folder are not searched; digits of the extension are.
        PatternCase{"/out7/film.t1f", "/out7/film.t1f", "/out7/film.t2f", Format::Raw},
        PatternCase{"/out/f7.j2k", "/out/f0007k", "/out/f0008k", Format::Raw},
        PatternCase{"film5.dcm", "film5.dcm", "film6.dcm", Format::Dicom}));

TEST(OutputFolder, MustExistAsADirectory) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "plain", "x");
  EXPECT_TRUE(outputFolderExists((dir.path() / "film.dcm").string()));
  EXPECT_TRUE(outputFolderExists("film.dcm"));
  EXPECT_TRUE(outputFolderExists("/film.dcm"));
  EXPECT_FALSE(outputFolderExists((dir.path() / "missing" / "film.dcm").string()));
  EXPECT_FALSE(outputFolderExists((dir.path() / "plain" / "film.dcm").string()));
}

}  // namespace
}  // namespace ombrel
