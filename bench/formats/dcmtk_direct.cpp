#include "peers.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <cstring>

namespace bench_formats {

struct DcmtkImage::File {
  DcmFileFormat format;
};

DcmtkImage::DcmtkImage(int width, int height, const std::uint16_t* pixels) : file_(std::make_unique<File>()) {
  DcmDataset* d = file_->format.getDataset();
  d->putAndInsertString(DCM_SOPClassUID, "1.2.840.10008.5.1.4.1.1.7");
  d->putAndInsertString(DCM_SOPInstanceUID, "1.2.3.4.5");
  d->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
  d->putAndInsertUint16(DCM_SamplesPerPixel, 1);
  d->putAndInsertUint16(DCM_Rows, Uint16(height));
  d->putAndInsertUint16(DCM_Columns, Uint16(width));
  d->putAndInsertUint16(DCM_BitsAllocated, 16);
  d->putAndInsertUint16(DCM_BitsStored, 12);
  d->putAndInsertUint16(DCM_HighBit, 11);
  d->putAndInsertUint16(DCM_PixelRepresentation, 0);
  d->putAndInsertUint16Array(DCM_PixelData, pixels, static_cast<unsigned long>(std::size_t(width) * height));
}

DcmtkImage::~DcmtkImage() = default;

bool DcmtkImage::save(const std::string& path) {
  return file_->format.saveFile(path.c_str(), EXS_LittleEndianExplicit).good();
}

bool dcmtkRead(const std::string& path, Pixels<std::uint16_t>* copy) {
  DcmFileFormat file;
  if (file.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, Uint32(0xFFFFFFFFu)).bad()) return false;
  DcmDataset* d = file.getDataset();
  Uint16 rows = 0, columns = 0;
  const Uint16* p = nullptr;
  unsigned long count = 0;
  if (d->findAndGetUint16(DCM_Rows, rows).bad() || d->findAndGetUint16(DCM_Columns, columns).bad() ||
      d->findAndGetUint16Array(DCM_PixelData, p, &count).bad() || count != std::size_t(rows) * columns)
    return false;
  // The data set holds the pixels it read; a copy only for the comparison.
  if (copy) {
    copy->width = columns;
    copy->height = rows;
    copy->data.reset(new std::uint16_t[count]);
    std::memcpy(copy->data.get(), p, count * 2);
  }
  return true;
}

}  // namespace bench_formats
