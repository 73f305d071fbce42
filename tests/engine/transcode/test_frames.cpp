#include "tests/engine/transcode/test_frames.h"

#include <cstring>
#include <random>

#include "media/media_codes.h"
#include "tests/engine/transcode/double_hooks.h"

namespace orx::test {
namespace {

constexpr uint8_t kLight = 235;
constexpr uint8_t kDark = 16;

bool IdBitAt(uint32_t id, uint32_t column) {
  const uint32_t bit = column / kIdStripeWidth;
  return bit < kIdBits && ((id >> bit) & 1) != 0;
}

}  // namespace

uint32_t TestFrameBytes(uint32_t subtype, uint32_t width, uint32_t height) {
  switch (subtype) {
    case QVA_MSUBTYPE_VUYA_FLOAT:
      return width * height * 16;
    case QVA_MSUBTYPE_BGRA:
    case QVA_MSUBTYPE_YUV444I:
      return width * height * 4;
    case QVA_MSUBTYPE_YUV422I:
      return width * height * 2;
    default:
      return width * height * 3 / 2;
  }
}

bool IsBottomUp(uint32_t subtype) {
  return subtype == QVA_MSUBTYPE_VUYA_FLOAT || subtype == QVA_MSUBTYPE_BGRA || subtype == QVA_MSUBTYPE_YUV444I;
}

std::vector<uint8_t> MakeTestFrame(uint32_t subtype, uint32_t width, uint32_t height, uint32_t id, uint32_t seed) {
  std::vector<uint8_t> frame(TestFrameBytes(subtype, width, height));
  std::mt19937 random(seed);
  if (subtype == QVA_MSUBTYPE_VUYA_FLOAT) {
    std::uniform_real_distribution<float> chroma(-0.6f, 0.6f);
    std::uniform_real_distribution<float> luma(-0.1f, 1.1f);
    for (size_t pixel = 0; pixel < static_cast<size_t>(width) * height; ++pixel) {
      const float values[4] = {chroma(random), chroma(random), luma(random), 1.0f};
      std::memcpy(frame.data() + pixel * 16, values, sizeof values);
    }
  } else {
    for (uint8_t& byte : frame) byte = static_cast<uint8_t>(random());
  }
  const uint32_t rows = std::min(kIdRows, height);
  const uint32_t columns = std::min(kIdBits * kIdStripeWidth, width);
  for (uint32_t row = 0; row < rows; ++row) {
    const uint32_t stored = IsBottomUp(subtype) ? height - 1 - row : row;
    for (uint32_t x = 0; x < columns; ++x) {
      const bool light = IdBitAt(id, x);
      const uint8_t sample = light ? kLight : kDark;
      switch (subtype) {
        case QVA_MSUBTYPE_VUYA_FLOAT: {
          const float y = light ? 1.0f : 0.0f;
          std::memcpy(frame.data() + (static_cast<size_t>(stored) * width + x) * 16 + 8, &y, sizeof y);
          break;
        }
        case QVA_MSUBTYPE_BGRA: {
          uint8_t* pixel = frame.data() + (static_cast<size_t>(stored) * width + x) * 4;
          pixel[0] = pixel[1] = pixel[2] = light ? 255 : 0;
          break;
        }
        case QVA_MSUBTYPE_YUV444I:
          frame[(static_cast<size_t>(stored) * width + x) * 4 + 2] = sample;
          break;
        case QVA_MSUBTYPE_YUV422I:
          frame[(static_cast<size_t>(stored) * width + x) * 2] = sample;
          break;
        default:
          frame[static_cast<size_t>(stored) * width + x] = sample;
          break;
      }
    }
  }
  return frame;
}

uint32_t ReadTestId(const uint8_t* luma, uint32_t pitch, uint32_t width) {
  uint32_t id = 0;
  for (uint32_t bit = 0; bit < kIdBits && bit * kIdStripeWidth + 1 < width; ++bit) {
    if (luma[2 * pitch + bit * kIdStripeWidth + 1] > 128) id |= 1u << bit;
  }
  return id;
}

}  // namespace orx::test
