#include "aenc/core/mpeg_audio_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "aenc/aac/aac_state.h"
#include "aenc/core/analysis_window.h"
#include "aenc/core/mpeg_audio_tables.h"
#include "aenc/layer3/layer3_state.h"
#include "aenc/layer2/layer2_tables.h"
#include "aenc/psy/psychoacoustic_model.h"
#include "aenc/simd/audio_factories.h"

namespace orx::aenc {

CMPEGAudioEncoder::CMPEGAudioEncoder(AudioEncoderConfig* config, uint32_t extensionMask) {
  BuildAnalysisWindow();
  if (!fifo.Allocate(2 * 512)) constructed_ = false;
  id = static_cast<int>(config->codec);
  adts = static_cast<int>(config->adts);
  // MPEG audio Layer II (and the Layer II path of layer words 0 and 1) and AAC-LC have coders;
  // every other codec leaves the object unconstructed, which the factory reports.
  if (config->codec == kCodecMpegAudio || config->codec == kCodecAc3) {
    SetupMpeg(*config, extensionMask);
    config->maxFrameBytes = static_cast<uint32_t>((frameBytes + 5) & ~3);
  } else if (config->codec == kCodecAacLc) {
    SetupAacCodec(*config);
    config->maxFrameBytes = static_cast<uint32_t>((768 * channels + 4) & ~3);
  } else {
    constructed_ = false;
    config->maxFrameBytes = static_cast<uint32_t>((frameBytes + 5) & ~3);
  }
  config->frameSamples = static_cast<uint32_t>(frameSamples * channels);
  stepSum = 0;
  framesCoded = 0;
}

void CMPEGAudioEncoder::BuildAnalysisWindow() {
  if (!windowTable.Allocate(8 * 512)) {
    constructed_ = false;
    return;
  }
  int16_t* copy0 = windowTable.get();
  for (int row = 0; row < 64; ++row) {
    for (int tap = 0; tap < 8; ++tap)
      copy0[8 * row + tap] = static_cast<int16_t>(std::trunc(kAnalysisWindow[64 * tap + row] * 524288.0));
  }
  // Copy m is copy m - 1 with every row of 8 taps rotated right by one, matching the history
  // rows, whose newest tap moves down by one every second analysis step.
  for (int m = 1; m < 8; ++m) {
    const int16_t* previous = copy0 + (m - 1) * 512;
    int16_t* current = copy0 + m * 512;
    for (int row = 0; row < 64; ++row) {
      for (int tap = 0; tap < 8; ++tap) current[8 * row + tap] = previous[8 * row + (tap + 7) % 8];
    }
  }
}

void CMPEGAudioEncoder::SetupMpeg(const AudioEncoderConfig& config, uint32_t extensionMask) {
  mode = config.mode == 1 ? 0 : static_cast<int>(config.mode);
  channels = mode == 3 ? 1 : 2;
  layer = static_cast<int>(config.layer);
  MpegSampling sampling = MpegSamplingIndex(config.sampleRate);
  if (sampling.id < 0 || (layer == 3 && sampling.id != 1)) {
    // No sampling-frequency code for the rate (the component refuses such rates), or Layer III
    // at a lower sampling frequency, whose header would say MPEG-2 over MPEG-1 side information.
    constructed_ = false;
    return;
  }
  id = sampling.id;
  samplingIndex = sampling.index;
  bitrateIndex = FindBitrateIndex(id, layer, config.bitrate);
  int kbps = MpegBitrateKbps(id, layer, bitrateIndex);
  sampleRate = kMpegSampleRates[id * 4 + samplingIndex];
  allocTable = SelectAllocTable(id, sampleRate, kbps, channels);
  sblimit = layer == 3 ? kMpegSubbands : allocTable->sblimit;
  frameSamples = kMpegFrameSamples;
  frameBytes = 144000 * kbps / sampleRate;
  frameRemainder = 144000 * kbps % sampleRate;
  paddingAccumulator = -frameRemainder;
  copyright = config.copyright != 0;
  original = config.original != 0;
  crc = layer == 3 ? 0 : config.crc != 0;
  crcBits = crc ? 16 : 0;
  psyMode = static_cast<int>(config.psyMode);
  if (!mpegWork.Allocate(1)) constructed_ = false;
  if (layer == 3 && !SetupLayer3()) constructed_ = false;
  for (int q = 0; q < 17; ++q) {
    for (int j = 0; j < 64; ++j)
      quantTable[q][j] = static_cast<float>(kLayer2QuantClasses[q].cPrime / kScalefactorB1[j]);
  }
  CPsychoacousticModel* model = nullptr;
  if (!NewPsychoacousticModelForMask(&model, extensionMask)) constructed_ = false;
  psyModel.reset(model);

  SetBandwidth(config);
}

void CMPEGAudioEncoder::SetupAacCodec(const AudioEncoderConfig& config) {
  mode = static_cast<int>(config.mode);
  channels = mode == 3 ? 1 : 2;
  id = kCodecAacLc;
  sampleRate = static_cast<int>(config.sampleRate);
  samplingIndex = AacSamplingIndex(sampleRate);
  bitrateIndex = static_cast<int>(config.bitrate) / channels;
  sblimit = 32;
  frameSamples = 1024;
  const int64_t bitsPerFrame = int64_t{bitrateIndex} * channels * 128;
  frameBytes = static_cast<int>(bitsPerFrame / sampleRate);
  frameRemainder = static_cast<int>(bitsPerFrame % sampleRate);
  if (frameBytes >= 768 * channels) {
    frameBytes = 768 * channels;
    frameRemainder = 0;
  }
  paddingAccumulator = -frameRemainder;
  if (!SetupAac()) constructed_ = false;
  SetBandwidth(config);
}

void CMPEGAudioEncoder::SetBandwidth(const AudioEncoderConfig& config) {
  // Bandwidth: half the rate, or what the frame size can carry well.
  bandwidth = config.bandwidthBase != 0 ? static_cast<int>(config.bandwidthBase / 2) : sampleRate / 2;
  int estimate = static_cast<int>((frameBytes / channels * 0.0075 + 1.0) * 8000.0);
  if (2 * estimate < sampleRate && estimate < bandwidth) bandwidth = estimate;
  bandwidthSubbands = 32;
  if (bandwidth > 0 && 2 * bandwidth < sampleRate)
    bandwidthSubbands = std::min((bandwidth * 64 + sampleRate / 2) / sampleRate, sblimit);
}

CMPEGAudioEncoder::~CMPEGAudioEncoder() { FreeAac(); }

bool CMPEGAudioEncoder::Release() {
  delete this;
  return true;
}

MpegHeaderWords CMPEGAudioEncoder::HeaderWords() const {
  return {id, layer, bitrateIndex, samplingIndex, channels, sblimit, bandwidth, psyMode};
}

bool CMPEGAudioEncoder::Init(IAudioBitstream* output) {
  mpegWork.Clear();
  std::memset(smr, 0, sizeof(smr));
  fifo.Clear();
  fifoPos[0] = fifoPos[1] = 0;
  bitstream = output;
  stageIndex = 0;
  stageBitsLeft = 8;
  stage[0] = 0;
  if (psyModel) psyModel->InitModel(HeaderWords());
  ResetAacStream();
  ResetLayer3Stream();
  return true;
}

bool CMPEGAudioEncoder::EncodeFrame(const int16_t* pcm) {
  if (MpegWorkArea* work = mpegWork.get()) {
    DeinterleavePcm(pcm, work->pcm[0], work->pcm[1], frameSamples, channels);
    pcmPtr[0] = work->pcm[0];
    pcmPtr[1] = work->pcm[1];
  }
  int bits = frameBytes * 8;
  if (frameRemainder != 0) {
    // Pads the fraction frameRemainder / sampleRate of the frames, the first one when
    // 2 x frameRemainder >= sampleRate. Init leaves the accumulator running.
    if (paddingAccumulator > frameRemainder - sampleRate) {
      paddingAccumulator -= frameRemainder;
      padding = 0;
    } else {
      paddingAccumulator += sampleRate - frameRemainder;
      padding = 1;
      bits += 8;
    }
  }
  bool coded = true;
  if (id == kCodecAacLc) EncodeAacFrame(pcm, bits);
  else if (layer == 3) coded = EncodeLayer3Frame(bits);
  else EncodeLayer2Frame(bits);
  ++framesCoded;
  return coded;
}

double CMPEGAudioEncoder::GetAverageStepDb() {
  if (framesCoded == 0 || !(stepSum > 0)) return 0;
  if (layer == 3 && id < 3) return 20.0 * std::log10(stepSum / ((id + 1) * channels * framesCoded));
  if (id == 3) return 20.0 * std::log10(stepSum / (channels * framesCoded));
  return 0;
}

void CMPEGAudioEncoder::DeinterleavePcm(const int16_t* in, int16_t* left, int16_t* right, int count,
                                        int channelCount) {
  if (channelCount == 2) {
    for (int i = 0; i < count; ++i) {
      left[i] = in[2 * i];
      right[i] = in[2 * i + 1];
    }
  } else {
    for (int i = 0; i < count; ++i) {
      left[i] = in[i];
      right[i] = 0;
    }
  }
}

}  // namespace orx::aenc
