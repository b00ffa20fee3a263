#include "fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "testsupport/testsupport.h"

namespace crapptest {

void writeMainIni(const std::filesystem::path& programDir) {
  testsupport::writeFile(programDir / "Halcyone.ini",
                         "[IPSizeID_1]\r\nMmWidth=254\r\nMmHeight=305\r\nDispName=10x12\r\n"
                         "CassetteSizeString=10INX12IN\r\n"
                         "[IPSizeID_2]\r\nMmWidth=356\r\nMmHeight=432\r\nDispName=14x17\r\n"
                         "CassetteSizeString=14INX17IN\r\n"
                         "[IPSizeID_3]\r\nMmWidth=100\r\nMmHeight=400\r\nDispName=Strip\r\n"
                         "CassetteSizeString=STRIP\r\n");
}

std::string makeRaw(int rows, int columns, int bits) {
  std::string raw(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns) * 2, '\0');
  const unsigned mask = (1u << bits) - 1;
  std::size_t at = 0;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      const unsigned v = (static_cast<unsigned>(x) * 7u + static_cast<unsigned>(y) * 131u + 5u) & mask;
      raw[at++] = static_cast<char>(v & 0xFF);
      raw[at++] = static_cast<char>(v >> 8);
    }
  }
  return raw;
}

std::string prepareScan(crapp::CDataContainer& container, int rows, int columns, int bits,
                        const crapp::ScanInformation& info) {
  std::string raw = makeRaw(rows, columns, bits);
  testsupport::writeFile(container.rawImagePath(), raw);
  container.CreateScanInfomation(info);
  container.CreateScanCondition(crapp::ScanCondition{2, 50, 200, 2});
  container.CreateScanImage(
      crapp::ScanImage{rows, columns, bits, std::int64_t{rows} * columns * 2});
  return raw;
}

std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

std::string listFolder(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto& entry : std::filesystem::directory_iterator(folder, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string out;
  for (auto& n : names) out += n + "\n";
  return out;
}

namespace {

// Copies a library of the program directory. The build gives each library a
// search path back into the build folder, which a copy must not keep: it is cut
// to "$ORIGIN", so that the copy finds only what lies beside it.
void copyLibrary(const std::filesystem::path& binDir, const std::string& name, const std::filesystem::path& to) {
  std::string bytes = testsupport::readFile(binDir / name);
  ASSERT_FALSE(bytes.empty()) << name;
  const std::string searchPath = "$ORIGIN:" + binDir.string() + std::string(1, '\0');
  for (std::size_t at = bytes.find(searchPath); at != std::string::npos; at = bytes.find(searchPath, at))
    bytes[at + 7] = '\0';
  testsupport::writeFile(to / name, bytes);
}

}  // namespace

ProgramFolder::ProgramFolder(const std::filesystem::path& binDir, const std::filesystem::path& program,
                             const FolderOptions& options)
    : programName_(program.filename()) {
  namespace fs = std::filesystem;
  std::vector<std::string> libraries = {"libQuorin2.so", "libLog.so", "libndtplatform.so", "libndtplatform_qt.so"};
  if (options.readerLibraries) {
    libraries.push_back("libZentrac.so");
    libraries.push_back("libPravik.so");
  }
  for (const std::string& library : libraries) copyLibrary(binDir, library, root_.path());
  fs::create_directories(dir());
  fs::copy_file(program, this->program());
  fs::permissions(this->program(), fs::perms::owner_all);
  writeMainIni(dir());
  if (options.testMode) {
    testsupport::writeFile(dir() / "HalcyoneHard.ini", "[Common]\r\nMode=Test\r\n");
    const fs::path images = dir() / "halcDemoData";
    fs::create_directories(images);
    if (options.storedImage) {
      testsupport::writeFile(images / "plate.raw", makeRaw(options.storedHeight, options.storedWidth, 16));
      testsupport::writeFile(images / "plate.raw.info",
                             "[ImageInfo]\r\nImageWidth=" + std::to_string(options.storedWidth) +
                                 "\r\nImageHeight=" + std::to_string(options.storedHeight) +
                                 "\r\nBitsPerPixel=16\r\n");
    }
  }
}

std::string ProgramFolder::log() const {
  std::string all;
  std::error_code ec;
  for (auto& entry : std::filesystem::directory_iterator(dir() / "halcLog", ec))
    all += testsupport::readFile(entry.path());
  return all;
}

}  // namespace crapptest
