// The H.264 residual path of the plain macroblock core (slots 63-71): 4x4 residuals, the forward
// core transform with the dead-zone quantiser, the second-stage DC transforms, dequantisation,
// the inverse core transform and reconstruction. The orders are those of h264_blocks.h.
#include <cstdint>
#include <cstring>

#include "venc/dsp/clipping.h"
#include "venc/dsp/h264_blocks.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

inline int16_t Low16(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

// Forward core transform of a row-major residual into the column-major coefficient order.
void ForwardCoreTransform(const int16_t* residual, int16_t* coefficients) {
  int t[4][4];  // t[k][c]: vertical frequency k of column c
  for (int c = 0; c < 4; ++c) {
    int x0 = residual[c], x1 = residual[4 + c], x2 = residual[8 + c], x3 = residual[12 + c];
    t[0][c] = x0 + x1 + x2 + x3;
    t[1][c] = 2 * x0 + x1 - x2 - 2 * x3;
    t[2][c] = x0 - x1 - x2 + x3;
    t[3][c] = x0 - 2 * x1 + 2 * x2 - x3;
  }
  for (int k = 0; k < 4; ++k) {
    int y0 = t[k][0], y1 = t[k][1], y2 = t[k][2], y3 = t[k][3];
    coefficients[k] = Low16(y0 + y1 + y2 + y3);
    coefficients[4 + k] = Low16(2 * y0 + y1 - y2 - 2 * y3);
    coefficients[8 + k] = Low16(y0 - y1 - y2 + y3);
    coefficients[12 + k] = Low16(y0 - 2 * y1 + 2 * y2 - y3);
  }
}

// Dead-zone quantiser of one coefficient: zero up to the threshold, else rounded to nearest
// with halves upward.
inline int16_t QuantizeCoefficient(int c, int multiplier, int threshold) {
  int magnitude = c < 0 ? -c : c;
  if (magnitude <= threshold) return 0;
  return Low16((c * multiplier + 65536) >> 17);
}

// Quantises words first..15 in place and counts the non-zero levels.
int QuantizeBlock(int16_t* block, const H264QuantRecord& record, int first) {
  int count = 0;
  for (int n = first; n < 16; ++n) {
    block[n] = QuantizeCoefficient(block[n], record.multiplier[n], record.threshold[n]);
    count += block[n] != 0;
  }
  return count;
}

// Inverse core transform of a dequantised column-major block, rounded and added to a 4x4
// prediction read with `predictionStride` and written with `stride`: the horizontal pass in 16
// bits, the vertical pass in 32.
void InverseCoreTransformAdd(const int16_t* w, uint8_t* destination, const uint8_t* prediction,
                             int stride, int predictionStride) {
  int16_t rows[4][4];  // rows[v][x]: vertical frequency v at column x
  for (int v = 0; v < 4; ++v) {
    int x0 = w[v], x1 = w[4 + v], x2 = w[8 + v], x3 = w[12 + v];
    int e = x0 + x2, f = x0 - x2, g = (x1 >> 1) - x3, h = x1 + (x3 >> 1);
    rows[v][0] = Low16(e + h);
    rows[v][1] = Low16(f + g);
    rows[v][2] = Low16(f - g);
    rows[v][3] = Low16(e - h);
  }
  for (int x = 0; x < 4; ++x) {
    int x0 = rows[0][x], x1 = rows[1][x], x2 = rows[2][x], x3 = rows[3][x];
    int e = x0 + x2, f = x0 - x2, g = (x1 >> 1) - x3, h = x1 + (x3 >> 1);
    int out[4] = {e + h, f + g, f - g, e - h};
    for (int y = 0; y < 4; ++y) {
      destination[y * stride + x] =
          static_cast<uint8_t>(ClipToByte(prediction[y * predictionStride + x] + ((out[y] + 32) >> 6)));
    }
  }
}

void AddDc(uint8_t* destination, const uint8_t* prediction, int stride, int predictionStride,
           int dc) {
  int offset = (dc + 32) >> 6;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      destination[y * stride + x] =
          static_cast<uint8_t>(ClipToByte(prediction[y * predictionStride + x] + offset));
    }
  }
}

}  // namespace

void CMBCore::Subtract4x4(int16_t* residual, const uint8_t* prediction, const uint8_t* current,
                          int stride) {
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) residual[4 * y + x] = Low16(current[y * stride + x] - prediction[4 * y + x]);
  }
}

int CMBCore::TransformQuant4x4(int16_t* block, int start) {
  int16_t coefficients[16];
  ForwardCoreTransform(block, coefficients);
  std::memcpy(block, coefficients, sizeof coefficients);
  return QuantizeBlock(block, *currentQuantRecord, start != 0 ? 1 : 0);
}

void CMBCore::TransformQuant4x4Pair(int16_t* levels, const uint8_t* prediction,
                                    const uint8_t* current, int stride, uint32_t* counts) {
  // The 8x4 prediction is split into two 4x4 blocks in the scratch area.
  uint8_t* halves = scratch + 256;
  for (int y = 0; y < 4; ++y) {
    std::memcpy(halves + 4 * y, prediction + 8 * y, 4);
    std::memcpy(halves + 16 + 4 * y, prediction + 8 * y + 4, 4);
  }
  for (int half = 0; half < 2; ++half) {
    int16_t* block = levels + 16 * half;
    CMBCore::Subtract4x4(block, halves + 16 * half, current + 4 * half, stride);
    counts[half] = static_cast<uint32_t>(CMBCore::TransformQuant4x4(block, 0));
  }
}

void CMBCore::TransformQuantChromaAc(int16_t* levels, const uint8_t* prediction,
                                     const uint8_t* current, int stride, uint32_t* counts) {
  for (int p = 0; p < 2; ++p) {
    int16_t residual[16], coefficients[16];
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) {
        residual[4 * r + c] =
            Low16(current[r * stride + 2 * c + p] - prediction[8 * r + 2 * c + p]);
      }
    }
    ForwardCoreTransform(residual, coefficients);
    counts[p] = static_cast<uint32_t>(QuantizeBlock(coefficients, *currentQuantRecord, 1));
    for (int n = 0; n < 16; ++n) levels[2 * n + p] = coefficients[n];
  }
}

void CMBCore::TransformQuantChromaDc(int16_t* dcRecord, const int16_t* coefficients,
                                     uint32_t* counts) {
  const H264QuantRecord& record = *currentQuantRecord;
  for (int p = 0; p < 2; ++p) {
    int d0 = coefficients[p], d1 = coefficients[32 + p], d2 = coefficients[64 + p],
        d3 = coefficients[96 + p];
    int f[4] = {Low16(d0 + d1 + d2 + d3), Low16(d0 - d1 + d2 - d3), Low16(d0 + d1 - d2 - d3),
                Low16(d0 - d1 - d2 + d3)};
    int level[4];
    uint32_t count = 0;
    for (int k = 0; k < 4; ++k) {
      level[k] = Low16((f[k] * record.multiplier[0] + 131072) >> 18);
      dcRecord[2 * k + p] = static_cast<int16_t>(level[k]);
      count += level[k] != 0;
    }
    counts[p] = count;
    int e[4] = {level[0] + level[1] + level[2] + level[3], level[0] - level[1] + level[2] - level[3],
                level[0] + level[1] - level[2] - level[3], level[0] - level[1] - level[2] + level[3]};
    int scale = record.levelScale[0] >> 1;
    for (int k = 0; k < 4; ++k) dcRecord[8 + 2 * k + p] = Low16(e[k] * scale);
  }
}

int CMBCore::TransformQuantLumaDc(int16_t* dcRecord, int16_t* coefficients) {
  const H264QuantRecord& record = *currentQuantRecord;
  int d[4][4];
  for (int y = 0; y < 4; ++y) {
    int a0 = coefficients[16 * (4 * y)], a1 = coefficients[16 * (4 * y + 1)],
        a2 = coefficients[16 * (4 * y + 2)], a3 = coefficients[16 * (4 * y + 3)];
    d[y][0] = Low16(a0 + a1 + a2 + a3);
    d[y][1] = Low16(a0 + a1 - a2 - a3);
    d[y][2] = Low16(a0 - a1 - a2 + a3);
    d[y][3] = Low16(a0 - a1 + a2 - a3);
  }
  int count = 0;
  int level[4][4];
  for (int u = 0; u < 4; ++u) {
    // Each pair sum is halved before the pairs are combined.
    int s = (d[0][u] + d[3][u]) >> 1, t = (d[1][u] + d[2][u]) >> 1;
    int p = (d[0][u] - d[3][u]) >> 1, q = (d[1][u] - d[2][u]) >> 1;
    int column[4] = {Low16(s + t), Low16(p + q), Low16(s - t), Low16(p - q)};
    for (int v = 0; v < 4; ++v) {
      level[v][u] = Low16((column[v] * record.multiplier[0] + 131072) >> 18);
      dcRecord[4 * v + u] = static_cast<int16_t>(level[v][u]);
      count += level[v][u] != 0;
    }
  }
  int rows[4][4];
  for (int v = 0; v < 4; ++v) {
    int a0 = level[v][0], a1 = level[v][1], a2 = level[v][2], a3 = level[v][3];
    rows[v][0] = Low16(a0 + a1 + a2 + a3);
    rows[v][1] = Low16(a0 + a1 - a2 - a3);
    rows[v][2] = Low16(a0 - a1 - a2 + a3);
    rows[v][3] = Low16(a0 - a1 + a2 - a3);
  }
  for (int x = 0; x < 4; ++x) {
    int a0 = rows[0][x], a1 = rows[1][x], a2 = rows[2][x], a3 = rows[3][x];
    int out[4] = {a0 + a1 + a2 + a3, a0 + a1 - a2 - a3, a0 - a1 - a2 + a3, a0 - a1 + a2 - a3};
    for (int y = 0; y < 4; ++y) {
      coefficients[16 * (4 * y + x)] = Low16((Low16(out[y]) * record.levelScale[0]) >> 2);
    }
  }
  return count;
}

void CMBCore::Reconstruct4x4(uint8_t* destination, const uint8_t* prediction,
                             const int16_t* block, int stride, int start, int coded) {
  if (coded == 0) {
    AddDc(destination, prediction, stride, 4, block[0]);
    return;
  }
  const H264QuantRecord& record = *currentQuantRecord;
  int16_t w[16];
  for (int n = 0; n < 16; ++n) w[n] = Low16(block[n] * record.levelScale[n]);
  if (start != 0) w[0] = block[0];
  InverseCoreTransformAdd(w, destination, prediction, stride, 4);
}

void CMBCore::Reconstruct4x4Pair(uint8_t* destination, const uint8_t* prediction,
                                 const int16_t* levels, int stride, int coded) {
  // The 8x4 prediction is split into two 4x4 blocks in the scratch area.
  uint8_t* halves = scratch + 256;
  for (int y = 0; y < 4; ++y) {
    std::memcpy(halves + 4 * y, prediction + 8 * y, 4);
    std::memcpy(halves + 16 + 4 * y, prediction + 8 * y + 4, 4);
  }
  CMBCore::Reconstruct4x4(destination, halves, levels, stride, 0, coded);
  CMBCore::Reconstruct4x4(destination + 4, halves + 16, levels + 16, stride, 0, coded);
}

void CMBCore::ReconstructChroma(uint8_t* destination, const uint8_t* prediction,
                                const int16_t* levels, const int16_t* dcPair, int stride,
                                int coded) {
  const H264QuantRecord& record = *currentQuantRecord;
  for (int p = 0; p < 2; ++p) {
    // Component p: every other byte of the destination and the 8-byte prediction rows.
    uint8_t out[16];
    uint8_t predicted[16];
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) predicted[4 * y + x] = prediction[8 * y + 2 * x + p];
    }
    if (coded == 0) {
      AddDc(out, predicted, 4, 4, dcPair[p]);
    } else {
      int16_t w[16];
      w[0] = dcPair[p];
      for (int n = 1; n < 16; ++n) w[n] = Low16(levels[2 * n + p] * record.levelScale[n]);
      InverseCoreTransformAdd(w, out, predicted, 4, 4);
    }
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) destination[y * stride + 2 * x + p] = out[4 * y + x];
    }
  }
}

}  // namespace orx::dsp
