#include "venc/core/aspect_ratio.h"

#include <cmath>

#include "venc/core/fraction.h"

namespace orx::venc {
namespace {

// ISO/IEC 11172-2 pel aspect ratios, codes 1..14.
constexpr float kMpeg1PelAspect[14] = {1.0f,    0.6735f, 0.7031f, 0.7615f, 0.8055f,
                                       0.8437f, 0.8935f, 0.9157f, 0.9815f, 1.0255f,
                                       1.0695f, 1.0950f, 1.1575f, 1.2015f};

struct SampleAspect {
  int w;
  int h;
  int code;
};
// Sample aspect ratios 1..13 (MPEG-4 Part 2 has only 1..5), then the near ratios H.264 also
// takes.
constexpr SampleAspect kSampleAspects[] = {
    {1, 1, 1},    {12, 11, 2},  {10, 11, 3}, {16, 11, 4}, {40, 33, 5},
    {24, 11, 6},  {20, 11, 7},  {32, 11, 8}, {80, 33, 9}, {18, 11, 10},
    {15, 11, 11}, {64, 33, 12}, {160, 99, 13},
};
constexpr SampleAspect kH264NearAspects[] = {
    {8, 9, 3}, {16, 15, 2}, {64, 45, 4}, {32, 29, 5}, {32, 27, 5},
};

int32_t Mpeg1AspectCode(const EncoderSettings& s, int x, int y) {
  const float ratio = static_cast<float>(s.mbCols * y) / static_cast<float>(s.mbRows * x);
  float best = 1000.0f;
  int32_t code = 1;
  for (int i = 0; i < 14; ++i) {
    const float distance = std::fabs(ratio - kMpeg1PelAspect[i]);
    if (distance < best) {
      best = distance;
      code = i + 1;
    }
  }
  return code;
}

int32_t SampleAspectCode(const EncoderSettings& s, int x, int y) {
  const bool h264 = s.codec == CODEC_H264;
  int w = s.height * x;
  int h = s.width * y;
  ReduceFraction(&w, &h);
  while (w >= 100 || h >= 100) {
    w = (w + 1) >> 1;
    h = (h + 1) >> 1;
    ReduceFraction(&w, &h);
  }
  if (w < 1) w = 1;
  if (h < 1) h = 1;
  const int lastCode = h264 ? 13 : 5;
  for (const SampleAspect& a : kSampleAspects) {
    if (a.code <= lastCode && a.w == w && a.h == h) return a.code;
  }
  if (h264) {
    for (const SampleAspect& a : kH264NearAspects) {
      if (a.w == w && a.h == h) return a.code;
    }
  }
  return (h << 16) | (w << 8) | (h264 ? 255 : 15);
}

int32_t DisplayAspectCode(const EncoderSettings& s, int x, int y) {
  const float ratio = static_cast<float>(y) / static_cast<float>(x);
  float best =
      std::fabs(ratio - static_cast<float>(s.height) / static_cast<float>(s.width)) + 0.05f;
  int32_t code = 1;
  const float candidates[3] = {0.75f, 0.5625f, 1.0f / 2.21f};
  for (int i = 0; i < 3; ++i) {
    const float distance = std::fabs(ratio - candidates[i]);
    if (distance <= best) {
      best = distance;
      code = i + 2;
    }
  }
  return code;
}

}  // namespace

void SetAspectRatio(EncoderSettings& s, int x, int y) {
  ReduceFraction(&x, &y);
  s.aspectX = x;
  s.aspectY = y;
  if (x < 1 || y < 1) {
    s.aspectCode = 1;
    return;
  }
  switch (s.codec) {
    case CODEC_MPEG1: s.aspectCode = Mpeg1AspectCode(s, x, y); break;
    case CODEC_MPEG4:
    case CODEC_H264: s.aspectCode = SampleAspectCode(s, x, y); break;
    default: s.aspectCode = DisplayAspectCode(s, x, y); break;
  }
}

}  // namespace orx::venc
