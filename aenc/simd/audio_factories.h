#pragma once
// The factories that pick the processor variant of the encoder and of the psychoacoustic model
// from the processor-extension mask, once, at creation.
#include <cstdint>

#include "aenc/core/audio_encoder_config.h"
#include "platform/processor_features.h"

namespace orx::aenc {

class CMPEGAudioEncoder;
class CPsychoacousticModel;
class IResampler;

// The processor-extension mask is a processor feature word (platform/processor_features.h); the
// factories test its second SSE2 bit (0x20), SSE (0x08), integer SSE (0x04, the _XMM variants)
// and the 3-D extension (0x02); 0x10 and 0x01 are set and never tested.

// 0x20 -> _SSE2, else 0x08 -> _SSE, else 0x04 -> _XMM, else _MMX. False (and *out null) for a
// null config, a failed allocation or a configuration the encoder cannot code.
bool NewMPEGAudioEncoder(CMPEGAudioEncoder** out, AudioEncoderConfig* config);
bool NewMPEGAudioEncoderForMask(CMPEGAudioEncoder** out, AudioEncoderConfig* config,
                                uint32_t mask);

// 0x08 -> _SSE, else 0x02 -> _VORPX, else the plain model.
bool NewPsychoacousticModel(CPsychoacousticModel** out);
bool NewPsychoacousticModelForMask(CPsychoacousticModel** out, uint32_t mask);

// Every mask builds CResampler_MMX. False (and *out null) when its filter table could not be
// allocated. Nothing in the system asks for a resampler.
bool NewResampler(IResampler** out);
bool NewResamplerForMask(IResampler** out, uint32_t mask);

}  // namespace orx::aenc

// The library's processor-extension mask: the constant 0x31, the bits of an SSE2 processor
// without its SSE and integer-SSE bits, so the factories build the SSE2 encoder and the plain
// model. The processor is never asked.
extern "C" uint32_t QueryProcessorExtensions();
