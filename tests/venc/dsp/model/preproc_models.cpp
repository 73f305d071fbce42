#include "tests/venc/dsp/model/preproc_models.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orx::dsp::model {
namespace {

int Average(int a, int b) { return (a + b + 1) >> 1; }

// A sample outside the range of its neighbours mirrored back, never past the middle.
int Fold(int x, int above, int below) {
  const int lo = std::min(above, below), hi = std::max(above, below);
  const int mid = Average(lo, hi);
  if (x < lo) return std::min(2 * lo - x, mid);
  if (x > hi) return std::max(2 * hi - x, mid);
  return x;
}

}  // namespace

const uint8_t* ConvertPacked(bool uyvy, int mode, int rows, int width, int sourceSkip, int lumaSkip,
                             int chromaSkip, const uint8_t* source, uint8_t* luma,
                             uint8_t* chroma) {
  const int lumaByte = uyvy ? 1 : 0, chromaByte = 1 - lumaByte;
  const int sourceStride = 2 * width + sourceSkip, lumaStride = width + lumaSkip;
  const int chromaStride = width + chromaSkip;
  const int step = mode == 1 ? 1 : 2;  // rows consumed per chroma row (mode 0: per pair)
  for (int r = 0; r + step <= rows; r += step) {
    const uint8_t* a = source + r * sourceStride;
    const uint8_t* b = a + sourceStride;
    for (int row = 0; row < step; ++row) {
      for (int i = 0; i < width; ++i) {
        luma[(r + row) * lumaStride + i] = source[(r + row) * sourceStride + 2 * i + lumaByte];
      }
    }
    if (mode == 0) continue;
    uint8_t* out = chroma + (r / step) * chromaStride;
    for (int i = 0; i < width; ++i) {
      const int ca = a[2 * i + chromaByte];
      const int cb = mode == 1 ? ca : b[2 * i + chromaByte];
      const int m = Average(ca, cb);
      const int value = mode == 1   ? ca
                        : mode == 2 ? m
                        : mode == 3 ? Average(ca, m)
                                    : Average(m, cb);
      out[i] = static_cast<uint8_t>(value);
    }
  }
  return source + (rows / step) * step * sourceStride;
}

const uint8_t* CopyPlane(int rows, int width, int sourceSkip, int destinationSkip,
                         const uint8_t* source, uint8_t* destination) {
  for (int r = 0; r < rows; ++r) {
    for (int i = 0; i < width; ++i) destination[i] = source[i];
    source += width + sourceSkip;
    destination += width + destinationSkip;
  }
  return source;
}

void InterleaveUV(int rows, int width, int sourceSkip, int destinationSkip, const uint8_t* first,
                  const uint8_t* second, uint8_t* destination) {
  for (int r = 0; r < rows; ++r) {
    for (int i = 0; i < width; ++i) {
      destination[2 * i] = first[i];
      destination[2 * i + 1] = second[i];
    }
    first += width + sourceSkip;
    second += width + sourceSkip;
    destination += 2 * width + destinationSkip;
  }
}

void FilterCombRows(uint8_t* firstRow, int width, int stride, int rows) {
  for (int k = 0; k < rows / 2; ++k) {
    uint8_t* middle = firstRow + (2 * k + 1) * stride;
    for (int i = 0; i < width; ++i) {
      middle[i] = static_cast<uint8_t>(Fold(middle[i], middle[i - stride], middle[i + stride]));
    }
  }
}

void FilterCombRowsTwoSource(uint8_t* carryRow, uint8_t* band, int width, int rowPairs) {
  for (int k = 0; k < rowPairs; ++k) {
    uint8_t* row = band + 2 * k * width;
    const uint8_t* above = k == 0 ? carryRow : row - width;
    for (int i = 0; i < width; ++i) {
      row[i] = static_cast<uint8_t>(Fold(row[i], above[i], row[width + i]));
    }
  }
  std::memcpy(carryRow, band + (2 * rowPairs - 1) * width, static_cast<size_t>(width));
}

void FilterCombRowsWithTop(uint8_t* firstRow, int width, int stride, int rows, uint8_t* carryRow) {
  for (int k = 0; k < rows; ++k) {
    uint8_t* row = firstRow + (k + 1) * stride;
    for (int i = 0; i < width; ++i) {
      const int x = row[i];
      const int folded = Fold(x, carryRow[i], row[stride + i]);
      carryRow[i] = static_cast<uint8_t>(x);
      row[i] = static_cast<uint8_t>(Average(folded, x));
    }
  }
}

void NoiseGateRow(const uint8_t* source, uint8_t* gated, int length) {
  for (int i = 0; i < (length / 8) * 8; ++i) {
    if ((std::abs(source[i] - gated[i]) & 0xF8) != 0) gated[i] = source[i];
  }
}

void NoiseGate16(uint8_t* destination, const uint8_t* sourcePair) {
  for (int i = 0; i < 16; ++i) {
    const int old = sourcePair[i], fresh = sourcePair[16 + i];
    destination[i] = static_cast<uint8_t>((std::abs(fresh - old) & 0xF8) ? fresh : old);
  }
}

void FillRows(uint8_t* destination, int width, int rows, int pitch, uint32_t value) {
  uint8_t bytes[4];
  std::memcpy(bytes, &value, 4);
  for (int r = 0; r < rows; ++r) {
    for (int i = 0; i < width; ++i) destination[r * pitch + i] = bytes[i % 4];
  }
}

int BlendTowardsReference(int y, int r, int threshold, int limit, int gain) {
  const int excess = std::max(std::abs(r - y) - (threshold & 0xFF), 0);
  const int g = std::max((limit & 0xFF) - excess, 0);
  const int k = (g * (gain & 0xFFFF)) >> 8;
  const int m = k * (r - y);
  const int magnitude = std::abs(m);
  const int delta = (magnitude + (magnitude >> 8)) >> 8;
  return std::clamp(y + (m < 0 ? -delta : delta), 0, 255);
}

void ImpulseFilter(int step, uint8_t* firstRow, int width, int rows, int distance, int stride,
                   int strength, const BoundedBlend& blend) {
  const bool bounded = blend.reference != nullptr;
  const int s = bounded ? std::clamp(strength, 0, 127) : (strength & 0xFF);
  std::vector<uint8_t> unfiltered(static_cast<size_t>(width));
  std::vector<int> spatial(static_cast<size_t>(width));
  for (int r = 0; r < rows; ++r) {
    uint8_t* row = firstRow + r * stride;
    std::memcpy(unfiltered.data(), row, unfiltered.size());
    for (int x = 0; x < width; ++x) {
      const int c = unfiltered[x];
      int left;
      if (x < step) {
        left = c;
      } else if (x % 16 < step) {
        left = spatial[x - step];  // the previous 16-byte unit's result
      } else {
        left = unfiltered[x - step];
      }
      const int right = x + step < width ? unfiltered[x + step] : c;
      const int vertical = Average(row[x - distance], row[x + distance]);
      const int adjacent = Average(row[x - stride], row[x + stride]);
      const int horizontal = Average(left, right);
      const int lo = std::min({vertical, adjacent, horizontal});
      const int hi = std::max({vertical, adjacent, horizontal});
      const int target = std::clamp(c, lo, hi);
      const int d = std::abs(target - c);
      const int f = d <= s ? d : d < 2 * s ? 2 * s - d : 0;
      spatial[x] = target > c ? c + f : c - f;
      row[x] = static_cast<uint8_t>(spatial[x]);
    }
    if (bounded) {
      const uint8_t* reference = blend.reference + r * stride;
      for (int x = 0; x < width; ++x) {
        row[x] = static_cast<uint8_t>(BlendTowardsReference(
            spatial[x], reference[x], blend.threshold, blend.limit, blend.gain));
      }
    }
  }
}

void BlendWeighted(uint8_t* picture, const uint8_t* overlay, const uint8_t* alpha, int strength,
                   int width, int rows, int overlayPitch, int picturePitch) {
  for (int r = 0; r < rows; ++r) {
    for (int i = 0; i < width; ++i) {
      uint8_t& a = picture[r * picturePitch + i];
      const int b = overlay[r * overlayPitch + i];
      const int w = (alpha[r * overlayPitch + i] * (strength + 1)) >> 8;
      a = static_cast<uint8_t>(((256 - w) * a + w * b) >> 8);
    }
  }
}

namespace {

class ReferencePreprocCore : public CPreprocCore {
 public:
  const uint8_t* CopyPlane(int rows, int width, int sourceSkip, int destinationSkip,
                           const uint8_t* source, uint8_t* destination) override {
    return model::CopyPlane(rows, width, sourceSkip, destinationSkip, source, destination);
  }
  void InterleaveUV(int rows, int width, int sourceSkip, int destinationSkip, const uint8_t* first,
                    const uint8_t* second, uint8_t* destination) override {
    model::InterleaveUV(rows, width, sourceSkip, destinationSkip, first, second, destination);
  }
  void FilterCombRows(uint8_t* firstRow, int width, int stride, int rows) override {
    model::FilterCombRows(firstRow, width, stride, rows);
  }
  void FilterCombBlock16(uint8_t* carryRow, uint8_t* macroblock, int rowPairs) override {
    model::FilterCombRowsTwoSource(carryRow, macroblock, 16, rowPairs);
  }
  void NoiseGateRow(const uint8_t* source, uint8_t* gated, int length) override {
    model::NoiseGateRow(source, gated, length);
  }
  void NoiseGate16(uint8_t* destination, const uint8_t* sourcePair) override {
    model::NoiseGate16(destination, sourcePair);
  }
  void FilterCombRowsTwoSource(uint8_t* carryRow, uint8_t* band, int width, int rowPairs) override {
    model::FilterCombRowsTwoSource(carryRow, band, width, rowPairs);
  }
  void FilterCombRowsWithTop(uint8_t* firstRow, int width, int stride, int rows,
                             uint8_t* carryRow) override {
    model::FilterCombRowsWithTop(firstRow, width, stride, rows, carryRow);
  }
#define ORX_MODEL_CONVERT(Name, uyvy, mode)                                                       \
  const uint8_t* Name(int rows, int width, int sourceSkip, int lumaSkip, int chromaSkip,          \
                      const uint8_t* source, uint8_t* luma, uint8_t* chroma) override {           \
    return ConvertPacked(uyvy, mode, rows, width, sourceSkip, lumaSkip, chromaSkip, source, luma, \
                         chroma);                                                                 \
  }
  const uint8_t* ConvertUYVYMode0(int rows, int width, int sourceSkip, int lumaSkip,
                                  const uint8_t* source, uint8_t* luma) override {
    return ConvertPacked(true, 0, rows, width, sourceSkip, lumaSkip, 0, source, luma, nullptr);
  }
  const uint8_t* ConvertYUY2Mode0(int rows, int width, int sourceSkip, int lumaSkip,
                                  const uint8_t* source, uint8_t* luma) override {
    return ConvertPacked(false, 0, rows, width, sourceSkip, lumaSkip, 0, source, luma, nullptr);
  }
  ORX_MODEL_CONVERT(ConvertUYVYMode1, true, 1)
  ORX_MODEL_CONVERT(ConvertUYVYMode2, true, 2)
  ORX_MODEL_CONVERT(ConvertUYVYMode3, true, 3)
  ORX_MODEL_CONVERT(ConvertUYVYMode4, true, 4)
  ORX_MODEL_CONVERT(ConvertYUY2Mode1, false, 1)
  ORX_MODEL_CONVERT(ConvertYUY2Mode2, false, 2)
  ORX_MODEL_CONVERT(ConvertYUY2Mode3, false, 3)
  ORX_MODEL_CONVERT(ConvertYUY2Mode4, false, 4)
#undef ORX_MODEL_CONVERT
};

}  // namespace

std::unique_ptr<CPreprocCore> MakeReferencePreprocCore() {
  return std::make_unique<ReferencePreprocCore>();
}

}  // namespace orx::dsp::model
