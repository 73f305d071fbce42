#include "mux/parse/es_tables.h"

namespace orx::mux {

FrameRate Mpeg2FrameRate(uint32_t code) {
  if (code < 1 || code > 8) code = 4;
  return kMpegFrameRates[code - 1];
}

double Mpeg1PelAspect(uint32_t code) {
  static constexpr double kPelAspect[15] = {0.0,    1.0,    0.6735, 0.7031, 0.7615,
                                            0.8055, 0.8437, 0.8935, 0.9157, 0.9815,
                                            1.0255, 1.0695, 1.0950, 1.1575, 1.2015};
  return code < 15 ? kPelAspect[code] : 0.0;
}

uint32_t MpegAudioBitRateKbps(uint32_t id, uint32_t layerBits, uint32_t index) {
  // [id][layer I, II, III][index]
  static constexpr uint16_t kRates[2][3][16] = {
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}}};
  if (id > 1 || layerBits < 1 || layerBits > 3 || index > 15) return 0;
  return kRates[id][3 - layerBits][index];
}

uint32_t MpegAudioSampleRate(uint32_t id, uint32_t index) {
  static constexpr uint32_t kRates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};
  if (id > 1 || index > 2) return 0;
  return kRates[id][index];
}

uint32_t Ac3BitRateKbps(uint32_t frameSizeCode) {
  static constexpr uint16_t kRates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                          192, 224, 256, 320, 384, 448, 512, 576, 640};
  return frameSizeCode < kAc3FrameSizeCodes ? kRates[frameSizeCode / 2] : 0;
}

uint32_t Ac3FrameWords(uint32_t sampleRateCode, uint32_t frameSizeCode) {
  static constexpr uint16_t kWords[3][kAc3FrameSizeCodes] = {
      {64,  64,  80,  80,  96,  96,  112, 112, 128, 128, 160, 160, 192,  192,  224,  224,  256,  256,  320,
       320, 384, 384, 448, 448, 512, 512, 640, 640, 768, 768, 896, 896, 1024, 1024, 1152, 1152, 1280, 1280},
      {69,  70,  87,  88,  104, 105, 121, 122, 139, 140, 174, 175, 208,  209,  243,  244,  278,  279,  348,
       349, 417, 418, 487, 488, 557, 558, 696, 697, 835, 836, 975, 976, 1114, 1115, 1253, 1254, 1393, 1394},
      {96,  96,  120, 120, 144, 144, 168, 168, 192, 192, 240, 240, 288,  288,  336,  336,  384,  384,  480,
       480, 576, 576, 672, 672, 768, 768, 960, 960, 1152, 1152, 1344, 1344, 1536, 1536, 1728, 1728, 1920, 1920}};
  if (sampleRateCode > 2 || frameSizeCode >= kAc3FrameSizeCodes) return 0;
  return kWords[sampleRateCode][frameSizeCode];
}

}  // namespace orx::mux
