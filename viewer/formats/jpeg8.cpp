// The 8-bit build of libjpeg (the system library); its only user.
#include <cstdio>
#include <new>

#include <jpeglib.h>

#include "viewer/formats/jpeg.h"

#define GLUE_SAMPLE std::uint8_t
#define GLUE_ENCODE EncodeJpeg8
#define GLUE_DECODE DecodeJpegToBuffer8
#include "viewer/formats/internal/jpeg_glue.inc"
