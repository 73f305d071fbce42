#include "tests/venc/dsp/check/vc1_edges.h"

#include <algorithm>

namespace orx::dsp::check {

void DrawEdges(Rng& rng, uint8_t* p1, int lineStep, int sampleStep, int lines, int pquant) {
  static const int kRoughness[] = {0, 1, 2, 4, 12};
  for (int first = 0; first < lines; first += 4) {
    // A step of height h gives a0 = (3h + 4) >> 3, so steps up to about 3 PQUANT pass.
    const int reach = 3 * pquant + 3;
    const int base = rng.Uniform(0, 255), step = rng.Uniform(-reach, reach);
    const int roughness = kRoughness[rng.Uniform(0, 4)];
    const int odd = rng.Uniform(0, 3);  // the third line alone, another line alone, or none
    for (int line = first; line < first + 4 && line < lines; ++line) {
      int height = step;
      if (odd == 0 && line - first == 2) height = rng.Uniform(-1, 1);  // shuts
      if (odd == 1 && line - first != 2) height = rng.Uniform(-3 * reach, 3 * reach);
      for (int k = 0; k < 8; ++k) {
        const int level = base + (k >= 4 ? height : 0) + rng.Uniform(-roughness, roughness);
        p1[line * lineStep + k * sampleStep] = static_cast<uint8_t>(std::clamp(level, 0, 255));
      }
    }
  }
}

}  // namespace orx::dsp::check
