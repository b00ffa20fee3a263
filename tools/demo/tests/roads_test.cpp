// The two roads from a simulated scanner into the viewer and out to files,
// each inside a demo tree: this executable is copied into the tree's program
// directory and runs the test again there, where the viewer finds its scan UI
// and the CR program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>

#include "platform/process.h"
#include "testsupport/scan_dialog_driver.h"
#include "testsupport/testsupport.h"
#include "tools/demo/cr_plate.h"
#include "tools/demo/roads.h"
#include "tools/demo/tree.h"

namespace {

namespace fs = std::filesystem;
constexpr const char* kInside = "NDT_DEMO_TEST_IN_TREE";

demo::Tree insideTree() { return demo::Tree{testsupport::selfExecutable().parent_path().parent_path()}; }

// First run: makes a tree, runs this test again from a copy of this
// executable in its program directory and returns true. In the copy: false.
bool ranInTree(demo::CrProgram cr, const std::string& usb) {
  if (std::getenv(kInside) != nullptr) return false;
  testsupport::TempDir root;
  const demo::Tree tree{root.path()};
  std::string fault;
  EXPECT_TRUE(demo::installTree(NDT_BIN_DIR, NDT_DEMO_STANDIN, tree, cr, &fault)) << fault;
  const fs::path self = tree.bin() / "demo_tests";
  fs::copy_file(testsupport::selfExecutable(), self);
  std::map<std::string, std::string> env = demo::treeEnvironment(tree, usb);
  env[kInside] = "1";
  env[demo::plate::kResultsVariable] = tree.results().string();
  testsupport::rerunCurrentTest(self, env, tree.work(), tree.root / "inside.xml", [&] {
    return testsupport::runCommand("ls -lR '" + tree.results().string() + "'").output;
  });
  // The screenshots stay under the build folder for a person to look at.
  std::error_code ec;
  fs::create_directories(DEMO_SCREENSHOT_DIR, ec);
  for (const auto& e : fs::directory_iterator(tree.results(), ec))
    if (e.path().extension() == ".png")
      fs::copy_file(e.path(), fs::path(DEMO_SCREENSHOT_DIR) / e.path().filename(),
                    fs::copy_options::overwrite_existing, ec);
  return true;
}

// What pydicom reads from a file: its elements by "GGGG,EEEE" and its pixels
// as little-endian 16-bit samples.
struct Pydicom {
  int status = -1;
  std::string output;
  std::map<std::string, std::string> elements;
  std::string pixels;
  // "VR value", or empty when the file lacks the element.
  std::string at(const char* tag) const {
    const auto it = elements.find(tag);
    return it == elements.end() ? std::string() : it->second;
  }
};

Pydicom pydicom(const fs::path& file) {
  testsupport::TempDir out;
  Pydicom read;
  const auto r = testsupport::runCommand("/usr/bin/python3 '" PYDICOM_READER "' '" + file.string() + "' '" +
                                         out.path().string() + "'");
  read.status = r.status;
  read.output = r.output;
  std::size_t at = 0;
  while (at < r.output.size()) {
    std::size_t end = r.output.find('\n', at);
    if (end == std::string::npos) end = r.output.size();
    const std::string line = r.output.substr(at, end - at);
    at = end + 1;
    // "E GGGG,EEEE VR value"
    if (line.size() > 14 && line.compare(0, 2, "E ") == 0) read.elements[line.substr(2, 9)] = line.substr(12);  // "VR value"
  }
  read.pixels = testsupport::readFile(out.path() / "pixels.bin");
  return read;
}

std::string bytesOf(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

// 16-bit samples as a 12-bit host receives them: shifted right when more than
// 12 bits are stored (the CR link), then clamped to 4095 (the viewer).
std::string asTwelveBits(const std::string& samples, int bitsStored) {
  const int shift = bitsStored > 12 ? bitsStored - 12 : 0;
  std::string out(samples.size(), '\0');
  for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
    const unsigned v = unsigned(std::uint8_t(samples[i])) | unsigned(std::uint8_t(samples[i + 1])) << 8;
    const unsigned s = std::min(v >> shift, 4095u);
    out[i] = char(s & 0xFF);
    out[i + 1] = char(s >> 8);
  }
  return out;
}

std::string localStamp(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &tm);
  return text;
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Roads, AFilmScannedInTheViewerIsSavedAsDicondeAndTiffWithTheDigitizersPixels) {
  if (ranInTree(demo::CrProgram::Real, "sim:film")) return;
  const demo::Tree tree = insideTree();
  // The digitizer's bus lent to this process, so the film it sent is known.
  testsupport::SimulatedFilmRoad road;
  // The tree's CR program finds no reader here, so the film road serves.
  ASSERT_FALSE(road.crProgramConnects());
  const demo::RoadRun run = demo::filmRoad(tree);
  ASSERT_EQ(run.fault, "");
  EXPECT_TRUE(run.asked.empty()) << run.asked.front();
  const std::string film = bytesOf(road.film(500, 2));
  ASSERT_EQ(film.size(), 500u * 1000u * 2u);

  const auto dump = testsupport::runCommand("dcmdump +E '" + run.dicom.string() + "'");
  EXPECT_EQ(dump.status, 0) << dump.output;
  const Pydicom dicom = pydicom(run.dicom);
  ASSERT_EQ(dicom.status, 0) << dicom.output;
  EXPECT_NE(dicom.output.find("shape 1000x500"), std::string::npos) << dicom.output;
  EXPECT_EQ(dicom.at("0028,0101"), "US 12");
  EXPECT_EQ(dicom.at("0010,0010"), std::string("PN ") + demo::kFilmComponentName);
  EXPECT_EQ(dicom.at("0010,0020"), std::string("LO ") + demo::kFilmComponentId);
  EXPECT_TRUE(dicom.pixels == film) << "the DICONDE file's pixels are not the digitizer's film";

  const auto info = testsupport::runCommand("tiffinfo '" + run.tiff.string() + "'");
  EXPECT_EQ(info.status, 0) << info.output;
  EXPECT_NE(info.output.find("Image Width: 500 Image Length: 1000"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("Bits/Sample: 16"), std::string::npos) << info.output;
  // ImageMagick's samples of the one grey channel, 16 bits each in this machine's order.
  testsupport::TempDir out;
  const auto stream = testsupport::runCommand("stream -map i -storage-type short '" + run.tiff.string() + "' '" +
                                              (out / "samples").string() + "'");
  EXPECT_EQ(stream.status, 0) << stream.output;
  EXPECT_TRUE(testsupport::readFile(out / "samples") == film) << "the TIFF file's pixels are not the digitizer's film";
}

TEST(Roads, APlateExportedByTheCrProgramInThisRunArrivesInTheViewerThroughTheLink) {
  if (ranInTree(demo::CrProgram::StandIn, "sim:cr")) return;
  const demo::Tree tree = insideTree();
  const std::time_t before = std::time(nullptr);
  const demo::RoadRun run = demo::crRoad(tree);
  const std::time_t after = std::time(nullptr);
  const fs::path crFault = tree.results() / demo::plate::kFault;
  ASSERT_FALSE(fs::exists(crFault)) << testsupport::readFile(crFault);
  ASSERT_EQ(run.fault, "");
  EXPECT_TRUE(run.asked.empty()) << run.asked.front();

  // The set the CR program exported: made in this run, its UIDs built on its time stamp.
  const Pydicom exported = pydicom(tree.results() / demo::plate::kExportCopy);
  ASSERT_EQ(exported.status, 0) << exported.output;
  auto value = [&](const char* tag) {
    const std::string v = exported.at(tag);
    return v.substr(std::min(v.size(), v.find(' ') + 1));
  };
  const std::string stamp = value("0008,0020") + value("0008,0030");
  EXPECT_GE(stamp, localStamp(before));
  EXPECT_LE(stamp, localStamp(after));
  EXPECT_TRUE(endsWith(value("0020,000D"), "." + stamp)) << value("0020,000D");
  EXPECT_TRUE(endsWith(value("0020,000E"), "." + stamp + ".0")) << value("0020,000E");
  EXPECT_TRUE(endsWith(value("0008,0018"), "." + stamp + ".0")) << value("0008,0018");
  EXPECT_NE(value("0020,000D"), value("0020,000E"));
  const std::string name = testsupport::readFile(tree.results() / demo::plate::kExportName);
  EXPECT_EQ(name, std::string(demo::plate::kId) + "_" + stamp + ".dcm");
  // Imported, then deleted with its companions.
  for (const char* suffix : {"", ".info", ".ready"})
    EXPECT_FALSE(fs::exists(tree.crFolder() / "halcExport" / (name + suffix))) << name << suffix;

  // The plate the reader rendered, after the reader library's line correction.
  const std::string rendered = testsupport::readFile(tree.results() / demo::plate::kRendered);
  const std::string corrected = testsupport::readFile(tree.results() / demo::plate::kExpected);
  ASSERT_EQ(rendered.size(), 500u * 2000u * 2u);  // the strip plate at 200 micrometres
  ASSERT_EQ(exported.pixels.size(), corrected.size());
  EXPECT_TRUE(exported.pixels == corrected) << "the CR program did not export the corrected plate";
  EXPECT_EQ(value("0028,0101"), "12");  // the CR program's default, 12 bits

  // What the viewer holds and saved.
  const auto dump = testsupport::runCommand("dcmdump +E '" + run.dicom.string() + "'");
  EXPECT_EQ(dump.status, 0) << dump.output;
  const Pydicom viewer = pydicom(run.dicom);
  ASSERT_EQ(viewer.status, 0) << viewer.output;
  for (const char* tag : {"0028,0010", "0028,0011"}) {
    EXPECT_FALSE(value(tag).empty()) << tag;
    EXPECT_EQ(viewer.at(tag), "US " + value(tag)) << tag;
  }
  EXPECT_EQ(viewer.at("0010,0010"), std::string("PN ") + demo::plate::kName);
  EXPECT_EQ(viewer.at("0010,0020"), std::string("LO ") + demo::plate::kId);
  EXPECT_NE(viewer.output.find(demo::plate::kDescription), std::string::npos) << viewer.output;
  const int bits = std::atoi(value("0028,0101").c_str());
  EXPECT_TRUE(viewer.pixels == asTwelveBits(corrected, bits)) << "the viewer's plate is not the corrected plate";
}

}  // namespace
