// The 12-bit IJG build: 12-bit samples in 16-bit words.
#include "peers.h"

#include <cstdio>

extern "C" {
#include <gdcmjpeg/12/jpeglib.h>
}

#define DIRECT_SAMPLE std::uint16_t
#define DIRECT_ENCODE ijg12Encode
#define DIRECT_DECODE ijg12Decode
#include "jpeg_direct.inc"
