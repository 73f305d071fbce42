#include "aenc/simd/audio_factories.h"

#include <new>

#include "aenc/simd/mpeg_audio_encoder_variants.h"
#include "aenc/simd/psychoacoustic_model_variants.h"
#include "aenc/simd/resampler_mmx.h"
#include "platform/entry_guard.h"
#include "platform/export.h"

// Guarded as every export is; an exception would answer no extension at all.
extern "C" ORX_EXPORT uint32_t QueryProcessorExtensions() {
  return orx::platform::GuardEntry("QueryProcessorExtensions", uint32_t{0}, [] {
    using namespace orx::platform;
    return kCpuMmx | kCpuSse2 | kCpuSse2Second;
  });
}

namespace orx::aenc {
namespace {

using platform::kCpuIntegerSse;
using platform::kCpuSse;
using platform::kCpuSse2Second;
using platform::kCpuVorpx;

template <typename Encoder>
CMPEGAudioEncoder* BuildEncoder(AudioEncoderConfig* config, uint32_t mask) {
  return new (std::nothrow) Encoder(config, mask);
}

}  // namespace

bool NewMPEGAudioEncoderForMask(CMPEGAudioEncoder** out, AudioEncoderConfig* config,
                                uint32_t mask) {
  *out = nullptr;
  if (!config) return false;
  CMPEGAudioEncoder* encoder;
  if (mask & kCpuSse2Second) encoder = BuildEncoder<CMPEGAudioEncoder_SSE2>(config, mask);
  else if (mask & kCpuSse) encoder = BuildEncoder<CMPEGAudioEncoder_SSE>(config, mask);
  else if (mask & kCpuIntegerSse) encoder = BuildEncoder<CMPEGAudioEncoder_XMM>(config, mask);
  else encoder = BuildEncoder<CMPEGAudioEncoder_MMX>(config, mask);
  if (encoder && !encoder->Constructed()) {
    encoder->Release();
    encoder = nullptr;
  }
  *out = encoder;
  return encoder != nullptr;
}

bool NewMPEGAudioEncoder(CMPEGAudioEncoder** out, AudioEncoderConfig* config) {
  return NewMPEGAudioEncoderForMask(out, config, QueryProcessorExtensions());
}

bool NewPsychoacousticModelForMask(CPsychoacousticModel** out, uint32_t mask) {
  CPsychoacousticModel* model;
  if (mask & kCpuSse) model = new (std::nothrow) CPsychoacousticModel_SSE();
  else if (mask & kCpuVorpx) model = new (std::nothrow) CPsychoacousticModel_VORPX();
  else model = new (std::nothrow) CPsychoacousticModel();
  if (model && !model->Constructed()) {
    delete model;
    model = nullptr;
  }
  *out = model;
  return model != nullptr;
}

bool NewPsychoacousticModel(CPsychoacousticModel** out) {
  return NewPsychoacousticModelForMask(out, QueryProcessorExtensions());
}

bool NewResamplerForMask(IResampler** out, uint32_t mask) {
  (void)mask;  // every processor the mask can describe has the multiply-add kernels
  *out = nullptr;
  CResampler_MMX* resampler = new (std::nothrow) CResampler_MMX();
  if (resampler && !resampler->Constructed()) {
    resampler->Release();
    resampler = nullptr;
  }
  *out = resampler;
  return resampler != nullptr;
}

bool NewResampler(IResampler** out) { return NewResamplerForMask(out, QueryProcessorExtensions()); }

}  // namespace orx::aenc
