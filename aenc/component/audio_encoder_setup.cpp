#include "aenc/component/audio_encoder_setup.h"

#include "aenc/aac/aac_tables.h"
#include "aenc/core/mpeg_audio_tables.h"
#include "media/media_codes.h"

namespace orx::aenc {
namespace {

constexpr uint32_t kSubtypeMpegAudio = 0x10;  // "MPEG audio layer 1 or 2" as the engine routes it
constexpr uint32_t kSubtypeLayer1 = 0x11;
constexpr uint32_t kSubtypeAc3 = 0x200;
constexpr uint32_t kStatusFormat = 40;

}  // namespace

void MakeAudioEncoderConfig(const AudioMediaType& input, const AudioMediaType& output,
                            AudioEncoderConfig& config) {
  config.mode = input.Channels == 1 ? 3 : 0;
  if (input.SamplRate != 0) config.sampleRate = input.SamplRate;
  // Every rate stays as it is (the encoder codes the six MPEG rates and refuses the others);
  // only an unknown rate of 0 means 48 kHz.
  if (config.sampleRate == 0) config.sampleRate = 48000;
  config.adts = 0;
  config.layer = 0;
  config.psyMode = 1;
  switch (output.subtype) {
    case kSubtypeMpegAudio:
    case QVA_MSUBTYPE_MPA2:
      config.codec = kCodecMpegAudio;
      config.layer = 2;
      break;
    case kSubtypeLayer1:
      config.codec = kCodecMpegAudio;
      config.layer = 1;
      break;
    case QVA_MSUBTYPE_MPA3:
      config.codec = kCodecMpegAudio;
      config.layer = 3;
      break;
    case kSubtypeAc3:
      config.codec = kCodecAc3;
      break;
    case QVA_MSUBTYPE_AAC:
      config.codec = kCodecAacLc;
      break;
    case QVA_MSUBTYPE_WMA:
      config.codec = kCodecWmaStyle;
      break;
    default:
      break;  // the codec word stays
  }
  config.bitrate = output.Bitrate != 0 ? output.Bitrate : 128000;
  config.copyright = 0;
  config.original = 0;
  config.crc = 0;
  config.maxFrameBytes = 0;
  config.bandwidthBase = 0;
  config.frameSamples = 8000;
}

bool IsCodableOutputSubtype(uint32_t subtype) {
  // Layer I (0x11) would be Layer II data under a Layer I header and AC-3 (0x200) a header with
  // layer bits 00: both invalid streams. The WMA style codec has no coder in this library yet.
  return subtype == kSubtypeMpegAudio || subtype == QVA_MSUBTYPE_MPA2 || subtype == QVA_MSUBTYPE_MPA3 ||
         subtype == QVA_MSUBTYPE_AAC;
}

bool IsAacTableRate(uint32_t rate) {
  for (uint32_t tableRate : kAacSampleRates) {
    if (rate == tableRate) return true;
  }
  return false;
}

uint32_t CheckCodableConfig(const AudioEncoderConfig& config) {
  // AAC codes the rates its header can name, exactly: a nearest index would put a rate in the
  // header and band layout that the frame size and bandwidth do not follow.
  if (config.codec == kCodecAacLc) return IsAacTableRate(config.sampleRate) ? 0 : kStatusFormat;
  if (config.codec != kCodecMpegAudio || (config.layer != 2 && config.layer != 3)) return kStatusFormat;
  if (config.layer == 3) return IsLayer3Rate(config.sampleRate) ? 0 : kStatusFormat;
  if (MpegSamplingIndex(config.sampleRate).id < 0) return kStatusFormat;
  return 0;
}

bool IsLayer3Rate(uint32_t rate) {
  // Layer III is written with MPEG-1 side information only: 32000, 44100 and 48000 Hz. At the
  // lower rates its header would say MPEG-2 over an MPEG-1 frame, which no decoder reads.
  return MpegSamplingIndex(rate).id == 1;
}

void WmaBlockInfo(uint32_t sampleRate, uint32_t bitrate, uint32_t& samplesPerBlock,
                  uint32_t& blockBytes) {
  samplesPerBlock = 0;
  blockBytes = 0;
  if (sampleRate < 1 || bitrate < 1) return;
  samplesPerBlock = sampleRate <= 16000 ? 512 : sampleRate <= 22050 ? 1024 : 2048;
  uint64_t bits = (uint64_t{samplesPerBlock} * bitrate + sampleRate / 2) / sampleRate;
  uint64_t bytes = (bits + 7) / 8;
  blockBytes = static_cast<uint32_t>(bytes < 2 ? 2 : bytes);
}

void WriteWmaCodecPrivate(AudioMediaType& type, uint32_t samplesPerBlock, uint32_t blockBytes) {
  uint8_t* out = type.codecPrivate;
  auto put = [&out](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) *out++ = static_cast<uint8_t>(value >> (8 * i));
  };
  put(samplesPerBlock, 4);
  put(1, 2);  // encode options
  put(blockBytes, 4);
  type.codecPrivateLength = 10;
}

}  // namespace orx::aenc
