#include "aenc/simd/audio_factories.h"

#include <new>

#include "aenc/simd/mpeg_audio_encoder_variants.h"
#include "aenc/simd/psychoacoustic_model_variants.h"
#include "platform/export.h"

extern "C" ORX_EXPORT uint32_t QueryProcessorExtensions() { return 0x31; }

namespace orx::aenc {
namespace {

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
  if (mask & kExtensionSse2) encoder = BuildEncoder<CMPEGAudioEncoder_SSE2>(config, mask);
  else if (mask & kExtensionSse) encoder = BuildEncoder<CMPEGAudioEncoder_SSE>(config, mask);
  else if (mask & kExtensionXmm) encoder = BuildEncoder<CMPEGAudioEncoder_XMM>(config, mask);
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
  if (mask & kExtensionSse) model = new (std::nothrow) CPsychoacousticModel_SSE();
  else if (mask & kExtensionVorpx) model = new (std::nothrow) CPsychoacousticModel_VORPX();
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

}  // namespace orx::aenc
