// The study record is typed by the operator and the ini by anyone: whatever
// bytes they hold, the header is refused or ends exactly at 1028, and its
// converted values never grow past the room they were given.
//   input: the 1240 bytes of the study record (short input padded with zeros),
//   then the ini's DICOM values, one a line
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "hosts/scanapp/dicom_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  scanui::StudyData study{};
  const std::size_t studyBytes = std::min(size, sizeof study);
  std::memcpy(&study, data, studyBytes);
  std::istringstream rest(std::string(reinterpret_cast<const char*>(data) + studyBytes, size - studyBytes));
  ombrel::DicomSettings s;
  for (std::string* v : {&s.specificCharacterSet, &s.sopClassUid, &s.modality, &s.conversionType,
                         &s.manufacturer, &s.uidRoot}) {
    std::getline(rest, *v);
    v->resize(std::min<std::size_t>(v->size(), 63));
  }
  std::uint16_t pixels[4] = {};
  scanui::ScanData scan{};
  scan.width = 2;
  scan.height = 2;
  scan.pixels = pixels;
  scan.bytesPerPixel = 2;
  scan.bits = 12;
  scan.pitch = 50;
  const ombrel::RunUids uids(s.uidRoot, 1700000000);
  const auto header = ombrel::buildDicomHeader(study, scan, s, uids, 99999999);
  if (header && header->size() != ombrel::kDicomHeaderBytes) std::abort();
  const std::string text(study.studyDescription, strnlen(study.studyDescription, sizeof study.studyDescription));
  for (std::size_t room : {0u, 1u, 7u, 64u, 300u})
    if (ombrel::toIso2022JpWithin(text, room).size() > room) std::abort();
  return 0;
}
