// The moire filter plug-in (libFennick.so): low-passes a film scan across the
// lines of an anti-scatter grid and resamples it to the requested size in one pass.
// The film-scan UI loads the plug-in by name and binds deMoireFunc.
#pragma once

#include <cstddef>
#include <cstdint>

// Filled by the caller, who also owns both sample buffers. The scalar fields
// keep the offsets of the original 32-bit record; the two pointers make the
// record larger on this build, so users take sizeof(MoireParams).
struct MoireParams {
  std::int32_t bits;         // bits per sample; above 8 the samples are 16-bit words, else bytes
  std::int32_t scanPitch;    // micrometres between source samples; 0 is refused
  std::int32_t targetPitch;  // micrometres between target samples; not read (the sizes carry it)
  std::int32_t reserved;     // padding of the original record
  double FilterAmplitudeV;   // filter width across vertical grid lines, micrometres
  double FilterAmplitudeH;   // filter width across horizontal grid lines, micrometres
  std::int32_t direction;    // 0 vertical grid lines (smooth along x), 1 horizontal (along y), 2 both
  std::int32_t srcWidth;     // also the source row stride, in samples
  std::int32_t srcHeight;
  std::int32_t dstWidth;     // also the target row stride, in samples
  std::int32_t dstHeight;
  const void* src;
  void* dst;
};

static_assert(offsetof(MoireParams, bits) == 0);
static_assert(offsetof(MoireParams, scanPitch) == 4);
static_assert(offsetof(MoireParams, targetPitch) == 8);
static_assert(offsetof(MoireParams, FilterAmplitudeV) == 16);
static_assert(offsetof(MoireParams, FilterAmplitudeH) == 24);
static_assert(offsetof(MoireParams, direction) == 32);
static_assert(offsetof(MoireParams, srcWidth) == 36);
static_assert(offsetof(MoireParams, srcHeight) == 40);
static_assert(offsetof(MoireParams, dstWidth) == 44);
static_assert(offsetof(MoireParams, dstHeight) == 48);

// filterType 1: Gaussian smoothing, any other value Lanczos. interpType 1: the
// 2-tap linear interpolation, any other value cubic convolution.
// Returns 0 when the target is written; -1 (target untouched) for a null record,
// source or target, a size or direction out of range, a scan pitch of 0, bits
// outside 1..16, or work storage beyond what the filter allows itself.
extern "C" int deMoireFunc(MoireParams* params, int filterType, int interpType);

using DeMoireFuncPtr = int (*)(MoireParams*, int, int);
