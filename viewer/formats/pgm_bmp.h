// The two 8-bit formats: binary PGM ("P5") and uncompressed 8-bit BMP with a
// grey palette. Images of 10 or 12 bits stored are scaled to 8 bits when written.
#pragma once

#include <string>

#include "viewer/image_model.h"

namespace viewer::formats {

int ReadPgmFile(CImageItem& image, const std::string& path);
int WritePgmFile(const CImageItem& image, const std::string& path);
int ReadBmpFile(CImageItem& image, const std::string& path);
int WriteBmpFile(const CImageItem& image, const std::string& path);

}  // namespace viewer::formats
