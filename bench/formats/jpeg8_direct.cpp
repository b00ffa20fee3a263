// libjpeg-turbo, 8-bit samples.
#include "peers.h"

#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

#define DIRECT_SAMPLE std::uint8_t
#define DIRECT_ENCODE jpeg8Encode
#define DIRECT_DECODE jpeg8Decode
#include "jpeg_direct.inc"
