// Plain impulse filters of the preprocessor: each sample is limited to the range of three
// neighbour averages (vertical at the given distance, vertical at one row, horizontal), and a
// correction larger than the strength falls off again, so that large outliers count as
// detail. The bounded form then pulls the sample towards a reference picture by a weight that
// falls as they differ more. The last sample of each row (of each component) stays; the left
// neighbour is always the unfiltered sample.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "venc/dsp/clipping.h"
#include "venc/dsp/preproc_core.h"

namespace orx::dsp {
namespace {

inline int Average(int a, int b) { return (a + b + 1) >> 1; }

// Optional blend of the bounded form.
struct ReferenceBlend {
  const uint8_t* row = nullptr;  // null: no blend
  int threshold = 0;
  int limit = 0;
  int gain = 0;
};

// The samples of one component of `rows` rows: `count` samples `step` bytes apart per row.
void FilterComponent(uint8_t* firstRow, int count, int step, int rows, int distance, int stride,
                     int strength, ReferenceBlend blend) {
  for (int r = 0; r < rows; ++r) {
    uint8_t* row = firstRow + static_cast<ptrdiff_t>(r) * stride;
    const uint8_t* reference = blend.row ? blend.row + static_cast<ptrdiff_t>(r) * stride : nullptr;
    int left = row[0];
    for (int i = 0; i + 1 < count; ++i) {
      uint8_t* p = row + i * step;
      const int c = *p;
      const int vertical = Average(p[-distance], p[distance]);
      const int adjacent = Average(p[-stride], p[stride]);
      const int horizontal = Average(left, p[step]);
      const int lo = std::min({vertical, adjacent, horizontal});
      const int hi = std::max({vertical, adjacent, horizontal});
      int d = std::clamp(c, lo, hi) - c;
      if (d > strength) {
        d = std::max(2 * strength - d, 0);
      } else if (d < -strength) {
        d = std::min(-2 * strength - d, 0);
      }
      int value = c + d;
      if (reference) {
        const int diff = reference[i * step] - value;
        const int excess = std::max(std::abs(diff) - blend.threshold, 0);
        const int64_t g = std::max(blend.limit - excess, 0);
        const int64_t w = (g * blend.gain) >> 8;
        value = ClipToByte(value + static_cast<int>(w * diff / 256));
      }
      left = c;
      *p = static_cast<uint8_t>(value);
    }
  }
}

}  // namespace

void CPreprocCore::MedianFilter(uint8_t* firstRow, int width, int rows, int distance, int stride,
                                int strength) {
  FilterComponent(firstRow, width, 1, rows, distance, stride, strength, {});
}

void CPreprocCore::MedianFilterStep2(uint8_t* firstRow, int width, int rows, int distance,
                                     int stride, int strength) {
  FilterComponent(firstRow, width / 2, 2, rows, distance, stride, strength, {});
  FilterComponent(firstRow + 1, width / 2, 2, rows, distance, stride, strength, {});
}

void CPreprocCore::MedianFilterBounded(uint8_t* firstRow, const uint8_t* referenceRow, int width,
                                       int rows, int distance, int stride, int strength,
                                       int threshold, int limit, int gain) {
  FilterComponent(firstRow, width, 1, rows, distance, stride, strength,
                  {referenceRow, threshold, limit, gain});
}

// The reference class filters chroma without the reference picture.
void CPreprocCore::MedianFilterStep2Alt(uint8_t* firstRow, const uint8_t*, int width, int rows,
                                        int distance, int stride, int strength, int, int, int) {
  MedianFilterStep2(firstRow, width, rows, distance, stride, strength);
}

}  // namespace orx::dsp
