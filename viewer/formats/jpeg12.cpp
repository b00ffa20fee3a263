// The 12-bit build of IJG libjpeg; its only user, so its declarations never
// meet the 8-bit build's.
#include <cstdio>
#include <new>

// The build's header declares C functions without saying so.
extern "C" {
#include <gdcmjpeg/12/jpeglib.h>
#include <gdcmjpeg/12/jerror.h>
}

#include "viewer/formats/jpeg.h"

static_assert(BITS_IN_JSAMPLE == 12, "the 12-bit build");

#define GLUE_SAMPLE std::uint16_t
#define GLUE_ENCODE EncodeJpeg12
#define GLUE_DECODE DecodeJpegToBuffer12
// This build has no arithmetic decoder, so no warning of its own for it.
#define GLUE_CORRUPT_WARNINGS \
  JWRN_HIT_MARKER, JWRN_JPEG_EOF, JWRN_HUFF_BAD_CODE, JWRN_EXTRANEOUS_DATA, JWRN_MUST_RESYNC
#define GLUE_MULTI_SCAN(cinfo) ((cinfo).process == JPROC_PROGRESSIVE || (cinfo).comps_in_scan < (cinfo).num_components)
#include "viewer/formats/internal/jpeg_glue.inc"
