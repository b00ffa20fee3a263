// DCMTK, dicom3tools and pydicom judge the DICONDE files we write, and DCMTK
// makes files for our reader.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "format_test_util.h"
#include "platform/text.h"
#include "testsupport/testsupport.h"
#include "viewer/formats/diconde.h"
#include "viewer/formats/format_support.h"

using namespace viewer;
using namespace viewer::formats;
using formats_test::makeImage;
using formats_test::makeSmoothImage;
using formats_test::maxDifference;
using formats_test::samples;

namespace {

testsupport::CommandResult run(const std::string& command) {
  const auto r = testsupport::runCommand(command);
  EXPECT_EQ(r.status, 0) << command << "\n" << r.output;
  return r;
}

// What dciodvfy may say about our files, and why (never an error):
// - laterality is empty: nothing tells whether the part is one of a pair;
// - every group starts with its group length, which the standard retired;
// - the private O.D. range and the filler are unknown to the dictionary;
// - study time, study ID, series number and component ID may be empty, which
//   a DICOMDIR could not index.
// Nothing else, and never a word about the media storage SOP instance UID.
const char* const kAgreedDciodvfy[] = {
    "SCImage",
    "Warning - is only permitted to be empty when actually unknown; should be absent (not empty) if an unpaired "
    "body part, and have a value if a paired body part - attribute <Laterality>",
    "Warning - Dicom dataset contains retired attributes",
    "Warning - Retired attribute - (0x0008,0x0000) UL Group Length ",
    "Warning - Retired attribute - (0x0010,0x0000) UL Group Length ",
    "Warning - Retired attribute - (0x0019,0x0000) UL Group Length ",
    "Warning - Retired attribute - (0x0020,0x0000) UL Group Length ",
    "Warning - Retired attribute - (0x0028,0x0000) UL Group Length ",
    "Warning - Retired attribute - (0x00ff,0x0000) UL Group Length ",
    "Warning - Retired attribute - (0x7fe0,0x0000) UL Group Length ",
    "(0x0019,0x3000)  ?  - Warning - Unrecognized tag - assuming explicit value representation OK",
    "(0x00ff,0x30ff)  ?  - Warning - Unrecognized tag - assuming explicit value representation OK",
    "Warning - Missing attribute or value that would be needed to build DICOMDIR - Patient ID",
    "Warning - Missing attribute or value that would be needed to build DICOMDIR - Study Time",
    "Warning - Missing attribute or value that would be needed to build DICOMDIR - Study ID",
    "Warning - Missing attribute or value that would be needed to build DICOMDIR - Series Number",
};

class DicondeInterop : public ::testing::Test {
 protected:
  void SetUp() override { settings() = FormatSettings(); }
  std::string path(const std::string& name) { return (dir / name).string(); }

  // An image with study data whose kanji the tools can all split correctly.
  void makeStudyImage(CImageItem& image, int bps) {
    makeSmoothImage(image, bps, 48, 32, bps == 1 ? 255 : 4095);
    image.pitch = 100;
    CStudyInfo& s = *image.study;
    CStudyInfo::set(s.componentName, platform::text::utf8ToCp932("試験体^山田"));
    CStudyInfo::set(s.studyDescription, platform::text::utf8ToCp932("Weld seam 試験"));
    CStudyInfo::set(s.studyYear, "2026");
    CStudyInfo::set(s.studyMonth, "3");
    CStudyInfo::set(s.studyDay, "4");
    CStudyInfo::set(s.sex, "O ");
  }
  testsupport::TempDir dir;
};

}  // namespace

TEST_F(DicondeInterop, DcmdumpParsesFilesWithAndWithoutTheMetaHeader) {
  for (int meta : {1, 0}) {
    for (int bps : {1, 2}) {
      settings().useMih = meta;
      CImageItem image;
      makeStudyImage(image, bps);
      const std::string file = path("d" + std::to_string(meta) + std::to_string(bps) + ".dcm");
      ASSERT_EQ(WriteDicondeFile(image, file, false), 1);
      const auto r = run("dcmdump +E " + file);
      EXPECT_EQ(r.output.find("E: "), std::string::npos) << r.output;
      EXPECT_EQ(r.output.find("W: "), std::string::npos) << r.output;
      EXPECT_EQ(r.output.find("(0002,0010) UI =LittleEndianImplicit") != std::string::npos, meta == 1);
      EXPECT_NE(r.output.find("(0028,0030) DS [0.100\\0.100]"), std::string::npos) << r.output;
      EXPECT_NE(r.output.find("(0008,0020) DA [20260304]"), std::string::npos) << r.output;
      EXPECT_NE(r.output.find("(0028,0010) US 32"), std::string::npos) << r.output;
      const std::string pixels = "# " + std::to_string(48 * 32 * bps) + ", 1 PixelData";
      EXPECT_NE(r.output.find(pixels), std::string::npos) << r.output;
    }
  }
}

TEST_F(DicondeInterop, DciodvfySaysNothingBeyondTheAgreedList) {
  for (bool jpeg : {false, true}) {
    for (int bps : {1, 2}) {
      for (int meta : {1, 0}) {
        SCOPED_TRACE(std::to_string(jpeg) + std::to_string(bps) + std::to_string(meta));
        settings().useMih = meta;
        CImageItem image;
        makeStudyImage(image, bps);
        ASSERT_EQ(WriteDicondeFile(image, path("v.dcm"), jpeg), 1);
        const auto r = testsupport::runCommand("dciodvfy " + path("v.dcm"));
        ASSERT_NE(r.status, 127) << "dciodvfy is missing";
        EXPECT_NE(r.output.find("SCImage"), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("MediaStorageSOPInstanceUID"), std::string::npos) << r.output;
        std::istringstream lines(r.output);
        for (std::string line; std::getline(lines, line);) {
          bool agreed = false;
          for (const char* a : kAgreedDciodvfy) agreed = agreed || line == a;
          EXPECT_TRUE(agreed) << line;
        }
      }
    }
  }
}

TEST_F(DicondeInterop, BothVariantsPassTheValidatorAndPydicomReadsTheTextAsTyped) {
  for (bool jpeg : {false, true}) {
    for (int bps : {1, 2}) {
      SCOPED_TRACE(std::to_string(jpeg) + std::to_string(bps));
      CImageItem image;
      makeStudyImage(image, bps);
      CStudyInfo& s = *image.study;
      CStudyInfo::set(s.componentName, platform::text::utf8ToCp932("高橋^鋼管"));
      CStudyInfo::set(s.componentIdNumber, platform::text::utf8ToCp932("管-7 ∵"));
      CStudyInfo::set(s.studyId, platform::text::utf8ToCp932("第2"));
      CStudyInfo::set(s.studyDescription, platform::text::utf8ToCp932("突合せ 溶融 A-3"));
      const std::string file = path("j" + std::to_string(jpeg) + std::to_string(bps) + ".dcm");
      ASSERT_EQ(WriteDicondeFile(image, file, jpeg), 1);
      std::map<std::string, std::string> texts;
      const std::vector<std::string> complaints = testsupport::dicomJudgeComplaints(file, &texts);
      EXPECT_TRUE(complaints.empty()) << ::testing::PrintToString(complaints);
      EXPECT_EQ(texts["0010,0010"], "高橋^鋼管");
      EXPECT_EQ(texts["0010,0020"], "管-7 ∵");
      EXPECT_EQ(texts["0020,0010"], "第2");
      EXPECT_EQ(texts["0008,1030"], "突合せ 溶融 A-3");
    }
  }
}

TEST_F(DicondeInterop, PydicomDecodesTheKanjiComponentNameAndThePixels) {
  CImageItem image;
  makeStudyImage(image, 2);
  ASSERT_EQ(WriteDicondeFile(image, path("p.dcm"), false), 1);
  const auto r = run("/usr/bin/python3 -c \"import pydicom,sys\n"
                     "d=pydicom.dcmread(sys.argv[1])\n"
                     "sys.stdout.buffer.write((str(d.PatientName)+'|'+d.StudyDescription+'|'+str(d.PatientSex)+'|').encode())\n"
                     "a=d.pixel_array\n"
                     "print(a.shape[0],a.shape[1],int(a[31,47]),int(a[0,0]),int(a.sum()))\" " + path("p.dcm") + " 2>&1");
  std::int64_t sum = 0;
  for (int v : samples(image)) sum += v;
  EXPECT_EQ(r.output, "試験体^山田|Weld seam 試験|O|32 48 " + std::to_string(image.pixel(47, 31)) + " " +
                          std::to_string(image.pixel(0, 0)) + " " + std::to_string(sum) + "\n");
}

TEST_F(DicondeInterop, DcmdjpegDecodesBothJpegVariants) {
  for (int bps : {1, 2}) {
    SCOPED_TRACE(bps);
    CImageItem image;
    makeStudyImage(image, bps);
    ASSERT_EQ(WriteDicondeFile(image, path("j.dcm"), true), 1);
    run("dcmdjpeg " + path("j.dcm") + " " + path("u.dcm"));
    // DCMTK's decoded file reads back through our reader's explicit path.
    CImageItem decoded;
    ASSERT_EQ(ReadDicondeFile(decoded, path("u.dcm")), 1) << failures().reason() << failures().detail();
    CImageItem ours;
    ASSERT_EQ(ReadDicondeFile(ours, path("j.dcm")), 1);
    EXPECT_LE(maxDifference(samples(decoded), samples(ours)), bps == 1 ? 1 : 2);
    EXPECT_LE(maxDifference(samples(decoded), samples(image)), bps == 1 ? 4 : 64);
    EXPECT_EQ(platform::text::cp932ToUtf8(decoded.study->componentName), "試験体^山田");
  }
}

TEST_F(DicondeInterop, FilesRewrittenByDcmconvReadBack) {
  CImageItem image;
  makeImage(image, 2, 37, 19, 4095);
  ASSERT_EQ(WriteDicondeFile(image, path("o.dcm"), false), 1);
  for (const char* option : {"+te", "+tb", "+ti", "-F +ti"}) {
    SCOPED_TRACE(option);
    run(std::string("dcmconv ") + option + " " + path("o.dcm") + " " + path("c.dcm"));
    CImageItem back;
    ASSERT_EQ(ReadDicondeFile(back, path("c.dcm")), 1) << failures().reason() << failures().detail();
    EXPECT_EQ(samples(back), samples(image));
  }
}

// DCMTK splits a frame's stream over fragments of a set size; the frame reads
// whole, as DCMTK itself decodes it.
TEST_F(DicondeInterop, FramesThatDcmcjpegSplitsIntoFragmentsReadWhole) {
  struct Case {
    int bps;
    const char* process;
  };
  for (const Case c : {Case{1, "+eb"}, Case{2, "+ee"}}) {
    SCOPED_TRACE(c.bps);
    CImageItem image;
    makeImage(image, c.bps, 160, 120, c.bps == 1 ? 255 : 4095);
    ASSERT_EQ(WriteDicondeFile(image, path("u.dcm"), false), 1);
    run(std::string("dcmcjpeg ") + c.process + " +fs 1 " + path("u.dcm") + " " + path("j.dcm"));
    const std::string dump = run("dcmdump +E " + path("j.dcm")).output;
    std::size_t fragments = 0;
    for (std::size_t at = dump.find("(fffe,e000) pi"); at != std::string::npos; at = dump.find("(fffe,e000) pi", at + 1))
      ++fragments;
    ASSERT_GE(fragments, 4u) << dump;  // the offset table and three or more fragments
    run("dcmdjpeg " + path("j.dcm") + " " + path("d.dcm"));
    CImageItem decoded, back;
    ASSERT_EQ(ReadDicondeFile(decoded, path("d.dcm")), 1) << failures().reason() << failures().detail();
    ASSERT_EQ(ReadDicondeFile(back, path("j.dcm")), 1) << failures().reason() << failures().detail();
    EXPECT_LE(maxDifference(samples(back), samples(decoded)), c.bps == 1 ? 1 : 2);
    EXPECT_LE(maxDifference(samples(back), samples(image)), c.bps == 1 ? 16 : 256);
  }
}
