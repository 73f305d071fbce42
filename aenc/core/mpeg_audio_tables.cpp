#include "aenc/core/mpeg_audio_tables.h"

#include <cstdlib>

namespace orx::aenc {

const int kMpegBitrateKbps[7][15] = {
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
};

const int kMpegSampleRates[8] = {22050, 24000, 16000, 0, 44100, 48000, 32000, 0};

MpegSampling MpegSamplingIndex(uint32_t sampleRate) {
  for (int code = 0; code < 8; ++code) {
    if (kMpegSampleRates[code] != 0 && static_cast<uint32_t>(kMpegSampleRates[code]) == sampleRate)
      return {code / 4, code % 4};
  }
  return {};
}

static int BitrateRow(int id, int layer) {
  int row = id * 3 + layer;
  return row < 0 || row > 6 ? 0 : row;
}

int FindBitrateIndex(int id, int layer, uint32_t bitrate) {
  const int* row = kMpegBitrateKbps[BitrateRow(id, layer)];
  int kbps = static_cast<int>(bitrate / 1000);
  int best = 1;
  for (int index = 1; index <= 14; ++index) {
    if (std::abs(row[index] - kbps) <= std::abs(row[best] - kbps)) best = index;
  }
  return best;
}

int MpegBitrateKbps(int id, int layer, int bitrateIndex) {
  if (bitrateIndex < 0 || bitrateIndex > 14) return 0;
  return kMpegBitrateKbps[BitrateRow(id, layer)][bitrateIndex];
}

}  // namespace orx::aenc
