// The Layer III transform: two granules of polyphase analysis into the subband history, the
// 18-line MDCT of every subband with frequency inversion, and the aliasing-reduction butterflies.
#include <cmath>
#include <cstring>

#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/layer3/layer3_mdct_table.h"
#include "aenc/layer3/layer3_state.h"

namespace orx::aenc {
namespace {

// The aliasing-reduction butterflies (cs_i, ca_i), i = 0..7.
constexpr float kAliasCs[8] = {0.857492925713f, 0.881741997318f, 0.949628649103f, 0.983314592492f,
                               0.995517816068f, 0.999160558178f, 0.999899195244f, 0.99999315507f};
constexpr float kAliasCa[8] = {0.514495755428f, 0.471731968565f, 0.313377454204f, 0.181913199611f,
                               0.094574192526f, 0.040965582885f, 0.014198568572f, 0.003699974674f};

struct MdctTable {
  alignas(16) float t[kLayer3MdctLines][kLayer3MdctInputs];
  MdctTable() { BuildMdctTable(t); }
};

}  // namespace

void BuildMdctTable(float (*table)[kLayer3MdctInputs]) {
  for (int k = 0; k < kLayer3MdctLines; ++k) {
    for (int n = 0; n < kLayer3MdctInputs; ++n) {
      table[k][n] = static_cast<float>(std::cos(M_PI / 72.0 * (2 * n + 19) * (2 * k + 1)) *
                                       std::sin(M_PI / 36.0 * (n + 0.5)) / 9.0);
    }
  }
}

const float (*Layer3MdctTable())[kLayer3MdctInputs] {
  // Built once for the process, on first use, whichever encoder and thread comes first; every
  // encoder reads the same finished table.
  static const MdctTable table;
  return table.t;
}

void CMPEGAudioEncoder::Layer3Mdct(const float* z, float* out) {
  const float (*t)[kLayer3MdctInputs] = Layer3MdctTable();
  for (int k = 0; k < kLayer3MdctLines; ++k) {
    float sum = 0;
    for (int n = 0; n < kLayer3MdctInputs; ++n) sum += t[k][n] * z[n];
    out[k] = sum;
  }
}

void CMPEGAudioEncoder::Layer3Transform() {
  Layer3WorkArea& w = *l3Work.get();
  for (int g = 0; g < 2; ++g) {
    for (int ch = 0; ch < channels; ++ch) {
      for (int t = 0; t < 18; ++t) {
        float* row = w.history[ch][18 + 18 * g + t];
        AnalysisStep(pcmPtr[ch], row, ch);
        pcmPtr[ch] += 32;
        for (int sb = bandwidthSubbands; sb < 32; ++sb) row[sb] = 0;
      }
    }
  }
  alignas(16) float z[kLayer3MdctInputs];
  for (int g = 0; g < 2; ++g) {
    const int base = 18 * g;
    for (int ch = 0; ch < channels; ++ch) {
      float (*rows)[32] = w.history[ch];
      // Frequency inversion: the odd time slots of the granule's odd subbands change sign.
      for (int r = base + 19; r <= base + 35; r += 2) {
        for (int sb = 1; sb < 32; sb += 2) rows[r][sb] = -rows[r][sb];
      }
      float* xr = w.xr[g][ch];
      for (int sb = 0; sb < 32; ++sb) {
        for (int n = 0; n < kLayer3MdctInputs; ++n) z[n] = rows[base + n][sb];
        Layer3Mdct(z, xr + 18 * sb);
      }
      for (int sb = 0; sb < 31; ++sb) {
        for (int i = 0; i < 8; ++i) {
          const float a = xr[18 * sb + 17 - i];
          const float c = xr[18 * (sb + 1) + i];
          xr[18 * sb + 17 - i] = a * kAliasCs[i] - c * kAliasCa[i];
          xr[18 * (sb + 1) + i] = c * kAliasCs[i] + a * kAliasCa[i];
        }
      }
    }
  }
  for (int ch = 0; ch < channels; ++ch)
    std::memcpy(w.history[ch][0], w.history[ch][36], sizeof(float) * 18 * 32);
}

}  // namespace orx::aenc
