#include "tests/venc/dsp/model/h264_standard.h"

namespace orx::dsp::standard {
namespace {

int Clip1(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

}  // namespace

void Intra4x4(int mode, const Neighbour& p, bool leftAvailable, bool topAvailable, int pred[4][4]) {
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      int v = 0;
      switch (mode) {
        case 0: v = p(x, -1); break;  // Intra_4x4_Vertical
        case 1: v = p(-1, y); break;  // Intra_4x4_Horizontal
        case 2: {                      // Intra_4x4_DC
          int top = p(0, -1) + p(1, -1) + p(2, -1) + p(3, -1);
          int left = p(-1, 0) + p(-1, 1) + p(-1, 2) + p(-1, 3);
          if (leftAvailable && topAvailable) v = (top + left + 4) >> 3;
          else if (!leftAvailable && topAvailable) v = (top + 2) >> 2;
          else if (leftAvailable && !topAvailable) v = (left + 2) >> 2;
          else v = 128;
          break;
        }
        case 3:  // Intra_4x4_Diagonal_Down_Left
          if (x == 3 && y == 3) v = (p(6, -1) + 3 * p(7, -1) + 2) >> 2;
          else v = (p(x + y, -1) + 2 * p(x + y + 1, -1) + p(x + y + 2, -1) + 2) >> 2;
          break;
        case 4:  // Intra_4x4_Diagonal_Down_Right
          if (x > y) v = (p(x - y - 2, -1) + 2 * p(x - y - 1, -1) + p(x - y, -1) + 2) >> 2;
          else if (x < y) v = (p(-1, y - x - 2) + 2 * p(-1, y - x - 1) + p(-1, y - x) + 2) >> 2;
          else v = (p(0, -1) + 2 * p(-1, -1) + p(-1, 0) + 2) >> 2;
          break;
        case 5: {  // Intra_4x4_Vertical_Right
          int zVR = 2 * x - y;
          if (zVR >= 0 && zVR % 2 == 0) {
            v = (p(x - (y >> 1) - 1, -1) + p(x - (y >> 1), -1) + 1) >> 1;
          } else if (zVR >= 0) {
            v = (p(x - (y >> 1) - 2, -1) + 2 * p(x - (y >> 1) - 1, -1) + p(x - (y >> 1), -1) + 2) >> 2;
          } else if (zVR == -1) {
            v = (p(-1, 0) + 2 * p(-1, -1) + p(0, -1) + 2) >> 2;
          } else {
            v = (p(-1, y - 1) + 2 * p(-1, y - 2) + p(-1, y - 3) + 2) >> 2;
          }
          break;
        }
        case 6: {  // Intra_4x4_Horizontal_Down
          int zHD = 2 * y - x;
          if (zHD >= 0 && zHD % 2 == 0) {
            v = (p(-1, y - (x >> 1) - 1) + p(-1, y - (x >> 1)) + 1) >> 1;
          } else if (zHD >= 0) {
            v = (p(-1, y - (x >> 1) - 2) + 2 * p(-1, y - (x >> 1) - 1) + p(-1, y - (x >> 1)) + 2) >> 2;
          } else if (zHD == -1) {
            v = (p(-1, 0) + 2 * p(-1, -1) + p(0, -1) + 2) >> 2;
          } else {
            v = (p(x - 1, -1) + 2 * p(x - 2, -1) + p(x - 3, -1) + 2) >> 2;
          }
          break;
        }
        case 7:  // Intra_4x4_Vertical_Left
          if (y == 0 || y == 2) v = (p(x + (y >> 1), -1) + p(x + (y >> 1) + 1, -1) + 1) >> 1;
          else v = (p(x + (y >> 1), -1) + 2 * p(x + (y >> 1) + 1, -1) + p(x + (y >> 1) + 2, -1) + 2) >> 2;
          break;
        default: {  // Intra_4x4_Horizontal_Up
          int zHU = x + 2 * y;
          if (zHU == 0 || zHU == 2 || zHU == 4) {
            v = (p(-1, y + (x >> 1)) + p(-1, y + (x >> 1) + 1) + 1) >> 1;
          } else if (zHU == 1 || zHU == 3) {
            v = (p(-1, y + (x >> 1)) + 2 * p(-1, y + (x >> 1) + 1) + p(-1, y + (x >> 1) + 2) + 2) >> 2;
          } else if (zHU == 5) {
            v = (p(-1, 2) + 3 * p(-1, 3) + 2) >> 2;
          } else {
            v = p(-1, 3);
          }
          break;
        }
      }
      pred[y][x] = v;
    }
  }
}

void Intra16x16(int mode, const Neighbour& p, bool leftAvailable, bool topAvailable,
                int pred[16][16]) {
  int dc = 128, a = 0, b = 0, c = 0;
  if (mode == 2) {
    int top = 0, left = 0;
    for (int i = 0; i < 16; ++i) {
      if (topAvailable) top += p(i, -1);
      if (leftAvailable) left += p(-1, i);
    }
    if (leftAvailable && topAvailable) dc = (top + left + 16) >> 5;
    else if (topAvailable) dc = (top + 8) >> 4;
    else if (leftAvailable) dc = (left + 8) >> 4;
  } else if (mode == 3) {
    int H = 0, V = 0;
    for (int i = 0; i <= 7; ++i) {
      H += (i + 1) * (p(8 + i, -1) - p(6 - i, -1));
      V += (i + 1) * (p(-1, 8 + i) - p(-1, 6 - i));
    }
    a = 16 * (p(-1, 15) + p(15, -1));
    b = (5 * H + 32) >> 6;
    c = (5 * V + 32) >> 6;
  }
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      switch (mode) {
        case 0: pred[y][x] = p(x, -1); break;
        case 1: pred[y][x] = p(-1, y); break;
        case 2: pred[y][x] = dc; break;
        default: pred[y][x] = Clip1((a + b * (x - 7) + c * (y - 7) + 16) >> 5); break;
      }
    }
  }
}

void IntraChroma(int mode, const Neighbour& p, bool leftAvailable, bool topAvailable,
                 int pred[8][8]) {
  if (mode == 0) {
    for (int blk = 0; blk < 4; ++blk) {
      int xO = 4 * (blk % 2), yO = 4 * (blk / 2);
      int top = 0, left = 0;
      for (int i = 0; i < 4; ++i) {
        if (topAvailable) top += p(i + xO, -1);
        if (leftAvailable) left += p(-1, i + yO);
      }
      int s = 128;
      if ((xO == 0 && yO == 0) || (xO > 0 && yO > 0)) {
        if (leftAvailable && topAvailable) s = (top + left + 4) >> 3;
        else if (leftAvailable) s = (left + 2) >> 2;
        else if (topAvailable) s = (top + 2) >> 2;
      } else if (xO > 0 && yO == 0) {
        if (topAvailable) s = (top + 2) >> 2;
        else if (leftAvailable) s = (left + 2) >> 2;
      } else {
        if (leftAvailable) s = (left + 2) >> 2;
        else if (topAvailable) s = (top + 2) >> 2;
      }
      for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) pred[yO + y][xO + x] = s;
      }
    }
    return;
  }
  int a = 0, b = 0, c = 0;
  if (mode == 3) {
    int H = 0, V = 0;
    for (int i = 0; i <= 3; ++i) {
      H += (i + 1) * (p(4 + i, -1) - p(2 - i, -1));
      V += (i + 1) * (p(-1, 4 + i) - p(-1, 2 - i));
    }
    a = 16 * (p(-1, 7) + p(7, -1));
    b = (34 * H + 32) >> 6;
    c = (34 * V + 32) >> 6;
  }
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      if (mode == 1) pred[y][x] = p(-1, y);
      else if (mode == 2) pred[y][x] = p(x, -1);
      else pred[y][x] = Clip1((a + b * (x - 3) + c * (y - 3) + 16) >> 5);
    }
  }
}

int LumaSample(const Sample& ref, int x, int y, int xFrac, int yFrac) {
  auto tap6 = [](int e, int f, int g, int h, int i, int j) { return e - 5 * f + 20 * g + 20 * h - 5 * i + j; };
  // Horizontal intermediate at row yy between columns x and x + 1; vertical at column xx.
  auto b1At = [&](int yy) { return tap6(ref(x - 2, yy), ref(x - 1, yy), ref(x, yy), ref(x + 1, yy), ref(x + 2, yy), ref(x + 3, yy)); };
  auto h1At = [&](int xx) { return tap6(ref(xx, y - 2), ref(xx, y - 1), ref(xx, y), ref(xx, y + 1), ref(xx, y + 2), ref(xx, y + 3)); };
  int G = ref(x, y), H = ref(x + 1, y), M = ref(x, y + 1);
  int b = Clip1((b1At(y) + 16) >> 5), s = Clip1((b1At(y + 1) + 16) >> 5);
  int h = Clip1((h1At(x) + 16) >> 5), m = Clip1((h1At(x + 1) + 16) >> 5);
  // j1 = cc - 5 dd + 20 h1 + 20 m1 - 5 ee + ff, from the vertical intermediates.
  int j1 = tap6(h1At(x - 2), h1At(x - 1), h1At(x), h1At(x + 1), h1At(x + 2), h1At(x + 3));
  int j = Clip1((j1 + 512) >> 10);
  auto avg = [](int u, int v) { return (u + v + 1) >> 1; };
  const int table[4][4] = {
      // [xFrac][yFrac]
      {G, avg(G, h), h, avg(M, h)},                     // G d h n
      {avg(G, b), avg(b, h), avg(h, j), avg(h, s)},     // a e i p
      {b, avg(b, j), j, avg(j, s)},                     // b f j q
      {avg(H, b), avg(b, m), avg(j, m), avg(m, s)},     // c g k r
  };
  return table[xFrac][yFrac];
}

int ChromaSample(const Sample& ref, int x, int y, int xFrac, int yFrac) {
  int A = ref(x, y), B = ref(x + 1, y), C = ref(x, y + 1), D = ref(x + 1, y + 1);
  return ((8 - xFrac) * (8 - yFrac) * A + xFrac * (8 - yFrac) * B + (8 - xFrac) * yFrac * C +
          xFrac * yFrac * D + 32) >> 6;
}

int LevelScale(int m, int i, int j) {
  static const int v[6][3] = {{10, 16, 13}, {11, 18, 14}, {13, 20, 16},
                              {14, 23, 18}, {16, 25, 20}, {18, 29, 23}};
  if (i % 2 == 0 && j % 2 == 0) return v[m][0];
  if (i % 2 == 1 && j % 2 == 1) return v[m][1];
  return v[m][2];
}

void ScaleResidual4x4(const int c[4][4], int qP, bool dcGiven, int d[4][4]) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) d[i][j] = c[i][j] * LevelScale(qP % 6, i, j) * (1 << (qP / 6));
  }
  if (dcGiven) d[0][0] = c[0][0];
}

void TransformResidual4x4(const int d[4][4], int r[4][4]) {
  int f[4][4], h[4][4];
  for (int i = 0; i < 4; ++i) {
    int e0 = d[i][0] + d[i][2], e1 = d[i][0] - d[i][2];
    int e2 = (d[i][1] >> 1) - d[i][3], e3 = d[i][1] + (d[i][3] >> 1);
    f[i][0] = e0 + e3;
    f[i][1] = e1 + e2;
    f[i][2] = e1 - e2;
    f[i][3] = e0 - e3;
  }
  for (int j = 0; j < 4; ++j) {
    int g0 = f[0][j] + f[2][j], g1 = f[0][j] - f[2][j];
    int g2 = (f[1][j] >> 1) - f[3][j], g3 = f[1][j] + (f[3][j] >> 1);
    h[0][j] = g0 + g3;
    h[1][j] = g1 + g2;
    h[2][j] = g1 - g2;
    h[3][j] = g0 - g3;
  }
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) r[i][j] = (h[i][j] + 32) >> 6;
  }
}

int Construct(int pred, int r) { return Clip1(pred + r); }

void LumaDcTransform(const int c[4][4], int qP, int dcY[4][4]) {
  static const int H[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, -1, 1}, {1, -1, 1, -1}};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      int f = 0;
      for (int k = 0; k < 4; ++k) {
        for (int l = 0; l < 4; ++l) f += H[i][k] * c[k][l] * H[l][j];
      }
      dcY[i][j] = f * LevelScale(qP % 6, 0, 0) * (1 << (qP / 6 - 2));  // qP >= 12
    }
  }
}

void ChromaDcTransform(const int c[2][2], int qP, int dcC[2][2]) {
  static const int H[2][2] = {{1, 1}, {1, -1}};
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j) {
      int f = 0;
      for (int k = 0; k < 2; ++k) {
        for (int l = 0; l < 2; ++l) f += H[i][k] * c[k][l] * H[l][j];
      }
      dcC[i][j] = (f * LevelScale(qP % 6, 0, 0) * (1 << (qP / 6))) >> 1;
    }
  }
}

}  // namespace orx::dsp::standard
