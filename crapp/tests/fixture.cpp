#include "fixture.h"

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

}  // namespace crapptest
