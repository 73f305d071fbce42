// The packed 4:2:2 dispatchers of every preprocessing class: the destination pitch becomes the
// luma and chroma skips of the chosen chroma mode's kernel. Mode 1 writes one chroma row per
// source row into a plane of half the pitch (one field's rows kept together); any mode
// outside 1-4 converts luma only and leaves the chroma plane alone.
#include "venc/dsp/preproc_core.h"

namespace orx::dsp {

namespace {

using LumaKernel = const uint8_t* (CPreprocCore::*)(int, int, int, int, const uint8_t*, uint8_t*);
using ChromaKernel = const uint8_t* (CPreprocCore::*)(int, int, int, int, int, const uint8_t*,
                                                      uint8_t*, uint8_t*);

// The kernels of one byte order: mode 0, then modes 1 to 4.
struct PackedKernels {
  LumaKernel lumaOnly;
  ChromaKernel withChroma[4];
};

const uint8_t* Dispatch(CPreprocCore& core, const PackedKernels& kernels, int rows, int width,
                        int sourceSkip, int destinationPitch, const uint8_t* source,
                        uint8_t* const* destinations, int mode) {
  const int lumaSkip = destinationPitch - width;
  if (mode < 1 || mode > 4) {
    return (core.*kernels.lumaOnly)(rows, width, sourceSkip, lumaSkip, source, destinations[0]);
  }
  const int chromaSkip = mode == 1 ? (destinationPitch >> 1) - width : lumaSkip;
  return (core.*kernels.withChroma[mode - 1])(rows, width, sourceSkip, lumaSkip, chromaSkip, source,
                                              destinations[0], destinations[1]);
}

}  // namespace

const uint8_t* CPreprocCore::ConvertUYVY(int rows, int width, int sourceSkip, int destinationPitch,
                                         const uint8_t* source, uint8_t* const* destinations,
                                         int mode) {
  static constexpr PackedKernels kUyvy = {
      &CPreprocCore::ConvertUYVYMode0,
      {&CPreprocCore::ConvertUYVYMode1, &CPreprocCore::ConvertUYVYMode2,
       &CPreprocCore::ConvertUYVYMode3, &CPreprocCore::ConvertUYVYMode4}};
  return Dispatch(*this, kUyvy, rows, width, sourceSkip, destinationPitch, source, destinations,
                  mode);
}

const uint8_t* CPreprocCore::ConvertYUY2(int rows, int width, int sourceSkip, int destinationPitch,
                                         const uint8_t* source, uint8_t* const* destinations,
                                         int mode) {
  static constexpr PackedKernels kYuy2 = {
      &CPreprocCore::ConvertYUY2Mode0,
      {&CPreprocCore::ConvertYUY2Mode1, &CPreprocCore::ConvertYUY2Mode2,
       &CPreprocCore::ConvertYUY2Mode3, &CPreprocCore::ConvertYUY2Mode4}};
  return Dispatch(*this, kYuy2, rows, width, sourceSkip, destinationPitch, source, destinations,
                  mode);
}

}  // namespace orx::dsp
