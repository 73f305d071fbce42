#include "tests/venc/dsp/model/h264_models.h"

#include <cstdlib>

#include "tests/venc/dsp/model/h264_standard.h"

namespace orx::dsp::model {

int PredictIntra4x4Best(int16_t* residual, uint8_t* prediction, const uint8_t* neighbours,
                        const uint8_t* current, int stride, uint32_t flags) {
  bool left = flags & 0x100, top = flags & 0x200, topLeft = flags & 0x400, topRight = flags & 0x800;
  bool diagonals = top && topLeft;
  auto p = [&](int x, int y) -> int {
    if (y == -1 && x == -1) return diagonals ? neighbours[-1 - stride] : 0;
    if (y == -1) {
      if (!top) return 0;
      return neighbours[(x > 3 && !topRight ? 3 : x) - stride];
    }
    return left ? neighbours[y * stride - 1] : 0;
  };
  const bool allowed[9] = {top, left, true, top, diagonals, diagonals, diagonals, top, left};
  uint32_t predicted = flags & 0xF, penalty = (flags >> 16) & 0xFFF;
  int chosen = 2;
  int best[4][4];
  uint32_t bestKey = 0xFFFFFFFFu;
  for (int m = 0; m < 9; ++m) {
    if (!allowed[m]) continue;
    int pred[4][4];
    standard::Intra4x4(m, p, left, top, pred);
    if (!left && !top) {
      chosen = 2;
      for (int i = 0; i < 16; ++i) best[i / 4][i % 4] = pred[i / 4][i % 4];
      break;
    }
    uint32_t sad = 0;
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) sad += static_cast<uint32_t>(std::abs(current[y * stride + x] - pred[y][x]));
    }
    uint32_t key = 16 * (sad + (static_cast<uint32_t>(m) != predicted ? penalty : 0)) + static_cast<uint32_t>(m);
    if (key < bestKey) {
      bestKey = key;
      chosen = m;
      for (int i = 0; i < 16; ++i) best[i / 4][i % 4] = pred[i / 4][i % 4];
    }
  }
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      prediction[4 * y + x] = static_cast<uint8_t>(best[y][x]);
      residual[4 * y + x] = static_cast<int16_t>(current[y * stride + x] - best[y][x]);
    }
  }
  return chosen;
}

}  // namespace orx::dsp::model
