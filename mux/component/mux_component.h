#pragma once
// The qvacmux component: its private state record and the glue routines shared by its files.
#include <cstdint>

#include "framework/qva_component.h"
#include "media/media_type.h"
#include "media/video_encoder_params.h"
#include "mux/core/mux_interfaces.h"

namespace orx::mux {

class CMuxBitStream;

inline constexpr uint32_t kMuxFileNameSize = 300;
inline constexpr uint32_t kAudioQueueBufferSize = 8192;
inline constexpr uint32_t kAudioQueueCount = 256;
inline constexpr uint32_t kPcmAudioQueueCount = 128;
inline constexpr uint32_t kVideoQueueBufferSize = 32768;
inline constexpr uint32_t kVideoQueueCount = 128;
// Room for an Annex B header made from 64 codec-private bytes (each parameter set of an avcC
// record grows by two bytes, from its length field to its start code).
inline constexpr uint32_t kMaxCodecHeaderSize = 128;

// Pin 0 is video, pin 1 audio; the multiplexer numbers its streams the other way round.
inline constexpr uint32_t kVideoPin = 0;
inline constexpr uint32_t kAudioPin = 1;

// The component's private area.
struct MuxComponentState {
  IMultiplexer* multiplexer;
  MuxConfig config;
  CMuxBitStream* bitStream;
  MuxVideoFormat videoFormat;
  MuxAudioFormat audioFormat;
  uint32_t muxCreated;
  uint32_t muxOpened;
  uint32_t deferredOpen;  // selects the deferred file open; nothing sets it
  uint32_t audioBufferSize, audioBufferCount;
  uint32_t videoBufferSize, videoBufferCount;
  ComponentBuffer* heldBuffer[2];
  uint32_t consumed[2];
  uint32_t pinConnected[2];
  uint32_t pinStarted[2];
  uint32_t pinEnded[2];
  uint32_t formatKnown[2];
  uint32_t outputFormatKnown;
  char fileName[kMuxFileNameSize];
  QVAHandle openEvent;
  uint32_t deferredPending;
  uint32_t lastError;
  QVAHandle outputFile;
  uint64_t bytesWritten;
  StreamMediaType outputType;
  VideoMediaType videoType;
  AudioMediaType audioType;
  VideoEncoderParams encoderParams;
  uint32_t encoderParamsSet;
  // The Annex B header made from an H.264 format's codec-private bytes, waiting for the next
  // picture, and that picture with the header in front while the multiplexer takes it.
  uint8_t codecHeader[kMaxCodecHeaderSize];
  uint32_t codecHeaderLength;
  uint8_t* headedSample;
  uint32_t headedSampleLength;
};

inline MuxComponentState& MuxState(ComponentInstance* instance) { return *CompPrivate<MuxComponentState>(instance); }

// Set-up and release of the private area at QVACompCreate / QVACompRelease.
void InitMuxState(ComponentInstance* instance);
void ReleaseMuxState(ComponentInstance* instance);

QVAStatus CreateMultiplexer(ComponentInstance* instance);
QVAStatus DestroyMultiplexer(ComponentInstance* instance);
QVAStatus ConfigureMultiplexer(ComponentInstance* instance, uint32_t index, const void* record, uint32_t length);
QVAStatus MultiplexerProcessBuf(ComponentInstance* instance, ComponentBuffer* buffer);
void FreeHeadedSample(MuxComponentState& state);
void UpdateVideoQueueSize(ComponentInstance* instance);

// Output: the component's own file, or buffers on output pin 0.
QVAStatus OpenMuxOutputFile(ComponentInstance* instance);
void CloseMuxOutputFile(ComponentInstance* instance);
QVAStatus WriteMuxOutput(ComponentInstance* instance, const uint8_t* data, uint32_t count, uint64_t timeMs);
QVAStatus SeekMuxOutput(ComponentInstance* instance, uint64_t offset);

void MuxDebugLine(ComponentInstance* instance, const char* format, ...);

}  // namespace orx::mux
