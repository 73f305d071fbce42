#pragma once
// The factories that pick the processor variant of the encoder and of the psychoacoustic model
// from the processor-extension mask, once, at creation.
#include <cstdint>

#include "aenc/core/audio_encoder_config.h"

namespace orx::aenc {

class CMPEGAudioEncoder;
class CPsychoacousticModel;

// Bits of the processor-extension mask.
constexpr uint32_t kExtensionVorpx = 0x02;
constexpr uint32_t kExtensionXmm = 0x04;  // the integer extensions of SSE
constexpr uint32_t kExtensionSse = 0x08;
constexpr uint32_t kExtensionSse2 = 0x20;

// 0x20 -> _SSE2, else 0x08 -> _SSE, else 0x04 -> _XMM, else _MMX. False (and *out null) for a
// null config, a failed allocation or a configuration the encoder cannot code.
bool NewMPEGAudioEncoder(CMPEGAudioEncoder** out, AudioEncoderConfig* config);
bool NewMPEGAudioEncoderForMask(CMPEGAudioEncoder** out, AudioEncoderConfig* config,
                                uint32_t mask);

// 0x08 -> _SSE, else 0x02 -> _VORPX, else the plain model.
bool NewPsychoacousticModel(CPsychoacousticModel** out);
bool NewPsychoacousticModelForMask(CPsychoacousticModel** out, uint32_t mask);

}  // namespace orx::aenc

// The library's processor-extension mask: the constant 0x31 (SSE2 and the plain model).
extern "C" uint32_t QueryProcessorExtensions();
