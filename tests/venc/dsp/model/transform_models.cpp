#include <algorithm>

#include "tests/venc/dsp/model/models.h"

namespace orx::dsp::model {
namespace {

// floor(a * c / 65536) of a 16-bit a.
int High(int a, int c) { return (a * c) >> 16; }

struct Aan {
  int (*k1)(int);
  int (*k2)(int);
  int (*k3)(int);
  int (*k4)(int);
  int (*k5)(int);
};

int V1(int a) { return High(Wrap16(4 * a), 11585); }
int V2(int a) { return High(Wrap16(4 * a), 6270); }
int V3(int a) { return High(Wrap16(4 * a), 8867); }
int V4(int a) { return High(Wrap16(4 * a), 21407); }
int H1(int a) { return Wrap16(4 * High(a, 11585)); }
int H2(int a) { return High(a, 25080); }
int H3(int a) { return High(Wrap16(2 * a), 17734); }
int H4(int a) { return Wrap16(2 * High(Wrap16(2 * a), 21407)); }
int H5(int a) { return High(Wrap16(2 * a), 23170); }

// y[0..7] from x[0..7], every sum wrapped to 16 bits.
void AanPass(const int x[8], int y[8], const Aan& k) {
  auto W = Wrap16;
  int t0 = W(x[0] + x[7]), t7 = W(x[0] - x[7]), t1 = W(x[1] + x[6]), t6 = W(x[1] - x[6]);
  int t2 = W(x[2] + x[5]), t5 = W(x[2] - x[5]), t3 = W(x[3] + x[4]), t4 = W(x[3] - x[4]);
  int t10 = W(t0 + t3), t13 = W(t0 - t3), t11 = W(t1 + t2), t12 = W(t1 - t2);
  int z1 = k.k1(W(t12 + t13));
  y[0] = W(t10 + t11);
  y[4] = W(t10 - t11);
  y[2] = W(t13 + z1);
  y[6] = W(t13 - z1);
  int u10 = W(t4 + t5), u11 = W(t5 + t6), u12 = W(t6 + t7);
  int z5 = k.k2(W(u10 - u12));
  int z2 = W(k.k3(u10) + z5), z4 = W(k.k4(u12) + z5), z3 = k.k5(u11);
  int z11 = W(t7 + z3), z13 = W(t7 - z3);
  y[5] = W(z13 + z2);
  y[3] = W(z13 - z2);
  y[1] = W(z11 + z4);
  y[7] = W(z11 - z4);
}

void Vc1Pass(const int x[8], int y[8]) {
  auto W = Wrap16;
  auto quarterUp = [&](int a) { return W(a + 1) >> 2; };
  int a0 = W(x[0] + x[7]), a7 = W(x[0] - x[7]), a1 = W(x[1] + x[6]), a6 = W(x[1] - x[6]);
  int a2 = W(x[2] + x[5]), a5 = W(x[2] - x[5]), a3 = W(x[3] + x[4]), a4 = W(x[3] - x[4]);
  int s03 = W(a0 + a3), s12 = W(a1 + a2), b1 = W(a0 - a3), b2 = W(a1 - a2);
  y[0] = W(s03 + s12);
  y[4] = W(s03 - s12);
  y[2] = W(2 * b1 + b2 - quarterUp(b2));
  y[6] = W(b1 - 2 * b2 - quarterUp(b1));
  int p = W(a5 - a6), q = W(a5 + a6);
  int c1 = W(a4 + (a4 >> 1) + p), c2 = W(p + (p >> 1) - 2 * a4);
  int c3 = W(a7 + (a7 >> 1) - q), c4 = W(q + (q >> 1) + 2 * a7);
  y[1] = W(c4 - quarterUp(c2));
  y[7] = W(c2 + quarterUp(c4));
  y[3] = W(c3 - c1 + quarterUp(W(c3 + c1)));
  y[5] = W(c3 + c1 - quarterUp(W(c3 - c1)));
}

// The same 1-D pass over columns (of the raster samples) then rows, output v of row u at 8v + u.
template <typename Pass>
void ColumnsThenRows(int16_t* block, Pass pass) {
  int rowsOfU[8][8];  // [u][x]
  for (int x = 0; x < 8; ++x) {
    int in[8], out[8];
    for (int r = 0; r < 8; ++r) in[r] = block[8 * r + x];
    pass(in, out, true);
    for (int u = 0; u < 8; ++u) rowsOfU[u][x] = out[u];
  }
  for (int u = 0; u < 8; ++u) {
    int out[8];
    pass(rowsOfU[u], out, false);
    for (int v = 0; v < 8; ++v) block[8 * v + u] = static_cast<int16_t>(out[v]);
  }
}

int64_t Saturate16(int64_t v) { return std::clamp<int64_t>(v, -32768, 32767); }

void IdctPass(const int x[8], int y[8], int shift) {
  const int64_t round = int64_t{1} << (shift - 1);
  int64_t t2 = 4433LL * x[2] - 10704LL * x[6], t3 = 10703LL * x[2] + 4433LL * x[6];
  int64_t t0 = (int64_t{x[0]} + x[4]) * 8192, t1 = (int64_t{x[0]} - x[4]) * 8192;
  int64_t e0 = t0 + t3, e3 = t0 - t3, e1 = t1 + t2, e2 = t1 - t2;
  int64_t z5 = 9633LL * (int64_t{x[1]} + x[3] + x[5] + x[7]);
  int64_t o0 = z5 + 1730LL * x[1] - 3196LL * x[5] - 7373LL * x[7];
  int64_t o1 = z5 - 11892LL * x[3] - 20995LL * x[5] - 16069LL * x[7];
  int64_t o2 = z5 - 3196LL * x[1] - 20995LL * x[3] - 7372LL * x[5];
  int64_t o3 = z5 - 7373LL * x[1] - 16069LL * x[3] - 20996LL * x[7];
  const int64_t out[8] = {e0 + o0, e1 + o1, e2 + o2, e3 + o3, e3 - o3, e2 - o2, e1 - o1, e0 - o0};
  for (int i = 0; i < 8; ++i) y[i] = static_cast<int>(Saturate16((out[i] + round) >> shift));
}

}  // namespace

void ForwardDct16(int16_t* block) {
  static const Aan kVertical = {V1, V2, V3, V4, V1};
  static const Aan kHorizontal = {H1, H2, H3, H4, H5};
  ColumnsThenRows(block, [](const int* in, int* out, bool first) {
    AanPass(in, out, first ? kVertical : kHorizontal);
  });
  block[63] = static_cast<int16_t>(Wrap16(2 * block[63]));
}

void ForwardTransformVc1Bits16(int16_t* block) {
  ColumnsThenRows(block, [](const int* in, int* out, bool) { Vc1Pass(in, out); });
}

void InverseDct13(int16_t* block) {
  // First pass per vertical frequency u over horizontal frequencies (indices 8k + u).
  int intermediate[8][8];  // [u][j]
  for (int u = 0; u < 8; ++u) {
    int x[8];
    for (int k = 0; k < 8; ++k) x[k] = block[8 * k + u];
    IdctPass(x, intermediate[u], 11);
  }
  // Second pass per horizontal position j over vertical frequencies.
  for (int j = 0; j < 8; ++j) {
    int x[8], y[8];
    for (int u = 0; u < 8; ++u) x[u] = intermediate[u][j];
    IdctPass(x, y, 18);
    for (int i = 0; i < 8; ++i) block[8 * i + j] = static_cast<int16_t>(y[i]);
  }
}

void InverseTransformVc1Bits16(int16_t* block) {
  auto W = Wrap16;
  int e[8][8];  // [u][x]: horizontal stage of vertical frequency u
  for (int u = 0; u < 8; ++u) {
    int c[8];
    for (int k = 0; k < 8; ++k) c[k] = block[8 * k + u];
    int ee[4] = {12 * (c[0] + c[4]) + 4 + 16 * c[2] + 6 * c[6],
                 12 * (c[0] - c[4]) + 4 + 6 * c[2] - 16 * c[6],
                 12 * (c[0] - c[4]) + 4 - 6 * c[2] + 16 * c[6],
                 12 * (c[0] + c[4]) + 4 - 16 * c[2] - 6 * c[6]};
    int dd[4] = {
        16 * c[1] + 15 * c[3] + 9 * c[5] + 4 * c[7], 15 * c[1] - 4 * c[3] - 16 * c[5] - 9 * c[7],
        9 * c[1] - 16 * c[3] + 4 * c[5] + 15 * c[7], 4 * c[1] - 9 * c[3] + 15 * c[5] - 16 * c[7]};
    for (int k = 0; k < 4; ++k) {
      e[u][k] = W(ee[k] + dd[k]) >> 3;
      e[u][7 - k] = W(ee[k] - dd[k]) >> 3;
    }
  }
  for (int x = 0; x < 8; ++x) {
    int c[8];
    for (int u = 0; u < 8; ++u) c[u] = e[u][x];
    int h17 = W(c[1] + c[7]) >> 1, h35 = W(c[3] + c[5]) >> 1;
    int g[4] = {
        6 * (c[0] + c[4]) + 32 + 8 * c[2] + 3 * c[6], 6 * (c[0] - c[4]) + 32 + 3 * c[2] - 8 * c[6],
        6 * (c[0] - c[4]) + 32 - 3 * c[2] + 8 * c[6], 6 * (c[0] + c[4]) + 32 - 8 * c[2] - 3 * c[6]};
    int d[4] = {8 * c[1] + 7 * c[3] + 4 * c[5] + 2 * c[7] + h35,
                7 * c[1] - 2 * c[3] - 8 * c[5] - 5 * c[7] + h17,
                4 * c[1] - 8 * c[3] + 2 * c[5] + 7 * c[7] + h17,
                2 * c[1] - 5 * c[3] + 7 * c[5] - 8 * c[7] + h35};
    for (int k = 0; k < 4; ++k) {
      block[8 * k + x] = static_cast<int16_t>(W(g[k] + d[k]) >> 6);
      block[8 * (7 - k) + x] = static_cast<int16_t>(W(g[k] - d[k]) >> 6);
    }
  }
}

}  // namespace orx::dsp::model
