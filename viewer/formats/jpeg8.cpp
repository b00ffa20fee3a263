// The 8-bit build of libjpeg (the system library); its only user.
#include <cstdio>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

#include "viewer/formats/jpeg.h"

#define GLUE_SAMPLE std::uint8_t
#define GLUE_ENCODE EncodeJpeg8
#define GLUE_DECODE DecodeJpegToBuffer8
#define GLUE_CORRUPT_WARNINGS \
  JWRN_HIT_MARKER, JWRN_JPEG_EOF, JWRN_HUFF_BAD_CODE, JWRN_ARITH_BAD_CODE, JWRN_EXTRANEOUS_DATA, JWRN_MUST_RESYNC
#define GLUE_MULTI_SCAN(cinfo) ((cinfo).progressive_mode || (cinfo).comps_in_scan < (cinfo).num_components)
#include "viewer/formats/internal/jpeg_glue.inc"
