#pragma once
// The AENC component's private area, its output object and the hooks the framework calls.
#include <cstdint>
#include <vector>

#include "aenc/core/audio_encoder.h"
#include "aenc/core/audio_encoder_config.h"
#include "aenc/core/mpeg_audio_encoder.h"
#include "framework/qva_component.h"
#include "media/media_params.h"
#include "media/media_type.h"

namespace orx::aenc {

inline constexpr uint32_t QVA_PARAM_AUDIOENCODER = 0x40005;
// QVA_PARAM_AUDIOENCODER_ADTS (0x40006, media/media_params.h), our addition next to it: a 4-byte
// word, 1 for ADTS headers before AAC frames (elementary files), 0 for raw data blocks (into a
// multiplexer, the default). It takes effect with the next encoder opened.

// Parameter 0x40005: stored and returned, never read by the encoder.
struct AudioEncoderParams {
  uint32_t size;  // 36
  uint32_t words[8];
};
static_assert(sizeof(AudioEncoderParams) == 36);

// The output object: one coded frame per output buffer, the pending time stamp on the first.
class CBitStream final : public IAudioBitstream {
 public:
  explicit CBitStream(ComponentInstance* instance) : instance_(instance) {}

  uint8_t* GetBuffer() override;
  void Commit(uint32_t bytes) override;

  void SetPendingTime(uint64_t time) {
    timestampPending_ = true;
    pendingTime_ = time;
  }
  // Output buffers smaller than this are not written into (a frame would overrun them).
  void SetFrameCapacity(uint32_t bytes) { frameCapacity_ = bytes; }
  // Frames handed downstream since the last call.
  uint32_t TakeDelivered() {
    uint32_t count = delivered_;
    delivered_ = 0;
    return count;
  }

 private:
  bool timestampPending_ = false;
  uint64_t pendingTime_ = 0;
  ComponentInstance* instance_;
  ComponentBuffer* current_ = nullptr;
  uint32_t frameCapacity_ = 0;
  uint32_t delivered_ = 0;
};

struct AudioEncComponentState {
  CMPEGAudioEncoder* encoder = nullptr;
  AudioEncoderConfig config;
  AudioEncoderParams params{36, {}};
  CBitStream* bitstream = nullptr;
  uint32_t reconfigure = 0;
  uint32_t adts = 0;  // QVA_PARAM_AUDIOENCODER_ADTS
  AudioMediaType inputType{};
  AudioMediaType outputType{};
  uint32_t formatSet = 0;
  uint32_t framesEncoded = 0;  // frames of the open encoder's current stream delivered downstream
  uint32_t encoderOpen = 0;
  uint32_t inputBufferSize = 16000;
  uint32_t inputBufferCount = 32;
  uint32_t outputBufferSize = 4096;
  uint32_t outputBufferCount = 32;
  uint64_t lastPts = 0;
  uint32_t carriedSamples = 0;  // 16-bit samples carried from the previous input buffer
  int16_t carry[4096] = {};
  std::vector<int16_t> mergeBuffer;  // carried and new samples joined
};

inline AudioEncComponentState& AencState(ComponentInstance* instance) {
  return *CompPrivate<AudioEncComponentState>(instance);
}

// Component steps (aenc_process.cpp).
QVAStatus CreateAudioEncoder(ComponentInstance* instance);
QVAStatus AudioEncoderProcessBuf(ComponentInstance* instance, ComponentBuffer* buffer);
QVAStatus DestroyAudioEncoder(ComponentInstance* instance);
QVAStatus OpenAudioEncoder(ComponentInstance* instance, const void* record, uint32_t length);

// Samples of silence after the last input sample that a stream needs so that a decoder puts the
// sample out. MPEG audio: the analysis filter bank's delay plus a standard decoder's synthesis
// delay. AAC: a whole frame, as each frame's transform overlaps the previous one by 1024
// samples, so a decoder puts out a frame's samples only with the next frame.
// Layer III: the filter banks' 481 and the MDCT's overlap of one granule, 576 samples, whose
// second half a decoder adds only with the next granule.
inline constexpr uint32_t kCodecDelaySamples = 481;
inline constexpr uint32_t kLayer3CodecDelaySamples = 481 + 576;
inline constexpr uint32_t kAacCodecDelaySamples = 1024;
inline uint32_t CodecDelaySamples(uint32_t codec, uint32_t layer = 2) {
  if (codec == kCodecAacLc) return kAacCodecDelaySamples;
  return layer == 3 ? kLayer3CodecDelaySamples : kCodecDelaySamples;
}

}  // namespace orx::aenc
