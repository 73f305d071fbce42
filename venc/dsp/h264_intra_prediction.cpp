// H.264 intra prediction of the plain macroblock core: 16x16 luma (slot 75), 8x8 interleaved
// chroma (slot 72) and the 4x4 luma mode decision (slot 79). Neighbours are read through the
// block's own pointer in the reconstructed plane: the row above, the column to the left and the
// corner; the output layouts are those of h264_blocks.h.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "venc/dsp/clipping.h"
#include "venc/dsp/h264_blocks.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

// Byte of sample (x, y) of a 16x16 prediction in 4x4-block order.
inline int LumaBlockOrder(int x, int y) { return 16 * ((y / 4) * 4 + x / 4) + 4 * (y % 4) + x % 4; }
// Byte of the Cb sample (x, y) of a chroma prediction (Cr follows it).
inline int ChromaBlockOrder(int x, int y) {
  return 2 * (16 * ((y / 4) * 2 + x / 4) + 4 * (y % 4) + x % 4);
}

// DC of one 4x4 block of one chroma component (sample step 2); only available sides are read.
int ChromaDc(const uint8_t* n, int stride, uint32_t flags, int blockX, int blockY) {
  bool left = flags & kIntraLeftAvailable, top = flags & kIntraTopAvailable;
  int sumTop = 0, sumLeft = 0;
  for (int i = 0; i < 4; ++i) {
    if (top) sumTop += n[-stride + 2 * (4 * blockX + i)];
    if (left) sumLeft += n[(4 * blockY + i) * stride - 2];
  }
  int fromTop = (sumTop + 2) >> 2, fromLeft = (sumLeft + 2) >> 2;
  if (blockX == blockY) {  // top-left and bottom-right blocks: both sides when they exist
    return left && top ? (sumTop + sumLeft + 4) >> 3 : left ? fromLeft : top ? fromTop : 128;
  }
  if (blockX == 1) return top ? fromTop : left ? fromLeft : 128;  // top-right: top first
  return left ? fromLeft : top ? fromTop : 128;                  // bottom-left: left first
}

// The nine 4x4 modes; p(x, y) reads the neighbours (x or y = -1), top-right substituted.
struct Neighbours4x4 {
  int top[8];
  int left[4];
  int corner;
};

inline int Filter3(int a, int b, int c) { return (a + 2 * b + c + 2) >> 2; }

// Builds mode m of a 4x4 block into 16 raster bytes.
void Build4x4(int mode, const Neighbours4x4& n, uint32_t flags, uint8_t* out) {
  // e(i): the edge from the bottom-left sample (i = -4) over the corner (i = 0) to the top row
  // (i = 1..8), so that e(i) = top[i - 1] and e(-i) = left[i - 1].
  auto e = [&](int i) { return i > 0 ? n.top[i - 1] : i < 0 ? n.left[-i - 1] : n.corner; };
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      int v = 0;
      switch (mode) {
        case 0: v = n.top[x]; break;
        case 1: v = n.left[y]; break;
        case 2: {
          bool left = flags & kIntraLeftAvailable, top = flags & kIntraTopAvailable;
          int st = n.top[0] + n.top[1] + n.top[2] + n.top[3];
          int sl = n.left[0] + n.left[1] + n.left[2] + n.left[3];
          v = left && top ? (st + sl + 4) >> 3 : left ? (sl + 2) >> 2 : top ? (st + 2) >> 2 : 128;
          break;
        }
        case 3:
          v = x == 3 && y == 3 ? (n.top[6] + 3 * n.top[7] + 2) >> 2
                               : Filter3(n.top[x + y], n.top[x + y + 1], n.top[x + y + 2]);
          break;
        case 4: {
          int d = x - y;  // the diagonal through e(d), filtered along the edge
          v = Filter3(e(d - 1), e(d), e(d + 1));
          break;
        }
        case 5: {
          int z = 2 * x - y;
          if (z >= 0 && (z & 1) == 0) v = (e(x - (y >> 1)) + e(x - (y >> 1) + 1) + 1) >> 1;
          else if (z >= 0) v = Filter3(e(x - (y >> 1) - 1), e(x - (y >> 1)), e(x - (y >> 1) + 1));
          else if (z == -1) v = Filter3(e(-1), e(0), e(1));
          else v = Filter3(e(-y), e(-(y - 1)), e(-(y - 2)));
          break;
        }
        case 6: {
          int z = 2 * y - x;
          if (z >= 0 && (z & 1) == 0) v = (e(-(y - (x >> 1))) + e(-(y - (x >> 1) + 1)) + 1) >> 1;
          else if (z >= 0) v = Filter3(e(-(y - (x >> 1) - 1)), e(-(y - (x >> 1))), e(-(y - (x >> 1) + 1)));
          else if (z == -1) v = Filter3(e(-1), e(0), e(1));
          else v = Filter3(e(x), e(x - 1), e(x - 2));
          break;
        }
        case 7:
          v = (y & 1) == 0 ? (n.top[x + (y >> 1)] + n.top[x + (y >> 1) + 1] + 1) >> 1
                           : Filter3(n.top[x + (y >> 1)], n.top[x + (y >> 1) + 1], n.top[x + (y >> 1) + 2]);
          break;
        default: {
          int z = x + 2 * y;
          if (z > 5) v = n.left[3];
          else if (z == 5) v = (n.left[2] + 3 * n.left[3] + 2) >> 2;
          else if ((z & 1) == 0) v = (n.left[y + (x >> 1)] + n.left[y + (x >> 1) + 1] + 1) >> 1;
          else v = Filter3(n.left[y + (x >> 1)], n.left[y + (x >> 1) + 1], n.left[y + (x >> 1) + 2]);
          break;
        }
      }
      out[4 * y + x] = static_cast<uint8_t>(v);
    }
  }
}

}  // namespace

bool IntraPositionReadable(const IntraPlane& plane, const uint8_t* neighbours, int blockBytes,
                           int blockRows) {
  // The plane keeps its borders: full side borders in every row, the top border rows above.
  if (plane.stride < plane.width + 2 * kIntraPlaneBorderBytes) return false;
  if (plane.origin - plane.memory < ptrdiff_t{kIntraPlaneBorderRows} * plane.stride + kIntraPlaneBorderBytes) {
    return false;
  }
  ptrdiff_t offset = neighbours - plane.origin;
  if (offset < 0) return false;
  ptrdiff_t row = offset / plane.stride, column = offset % plane.stride;
  if (column + blockBytes > plane.width || row + blockRows > plane.rows) return false;
  // The reads of the SIMD DC modes: the row above and the 16 bytes left of every row.
  const uint8_t* first = neighbours - plane.stride - 16;
  const uint8_t* last = neighbours + ptrdiff_t{blockRows - 1} * plane.stride + blockBytes;
  return first >= plane.memory && last <= plane.memory + plane.bytes;
}

int CMBCore::PredictIntra16x16(const uint8_t* neighbours, const uint8_t* current, int stride,
                               uint32_t flags, uint8_t* output) {
  const uint8_t* n = neighbours;
  auto top = [&](int x) { return int{n[x - stride]}; };      // x = -1: the corner
  auto left = [&](int y) { return int{n[y * stride - 1]}; };  // y = -1: the corner
  uint8_t prediction[256];
  int mode = static_cast<int>(flags & 3);
  int dc = 128, a = 0, b = 0, c = 0;
  if (mode == 2) {
    int st = 0, sl = 0;
    bool hasLeft = flags & kIntraLeftAvailable, hasTop = flags & kIntraTopAvailable;
    for (int i = 0; i < 16; ++i) {
      if (hasTop) st += top(i);
      if (hasLeft) sl += left(i);
    }
    dc = hasLeft && hasTop ? (st + sl + 16) >> 5 : hasLeft ? (sl + 8) >> 4 : hasTop ? (st + 8) >> 4 : 128;
  } else if (mode == 3) {
    int h = 0, v = 0;
    for (int i = 0; i < 8; ++i) {
      h += (i + 1) * (top(8 + i) - top(6 - i));
      v += (i + 1) * (left(8 + i) - left(6 - i));
    }
    a = 16 * (left(15) + top(15));
    b = (5 * h + 32) >> 6;
    c = (5 * v + 32) >> 6;
  }
  int sad = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      int p = mode == 0 ? top(x) : mode == 1 ? left(y) : mode == 2 ? dc
                                                                   : ClipToByte((a + b * (x - 7) + c * (y - 7) + 16) >> 5);
      prediction[LumaBlockOrder(x, y)] = static_cast<uint8_t>(p);
      if (current != nullptr) sad += std::abs(current[y * stride + x] - p);
    }
  }
  // Without an output buffer the prediction is built in the scratch area.
  std::memcpy(output != nullptr ? output : scratch, prediction, sizeof prediction);
  return current != nullptr ? sad : 0;
}

int CMBCore::PredictIntraChroma(const uint8_t* neighbours, const uint8_t* current, int stride,
                                uint32_t flags, uint8_t* output) {
  uint8_t prediction[128];
  int mode = static_cast<int>(flags & 3);
  int sad = 0;
  for (int component = 0; component < 2; ++component) {
    const uint8_t* n = neighbours + component;
    auto top = [&](int x) { return int{n[2 * x - stride]}; };
    auto left = [&](int y) { return int{n[y * stride - 2]}; };
    int dc[2][2] = {};
    int a = 0, b = 0, c = 0;
    if (mode == 0) {
      for (int by = 0; by < 2; ++by) {
        for (int bx = 0; bx < 2; ++bx) dc[by][bx] = ChromaDc(n, stride, flags, bx, by);
      }
    } else if (mode == 3) {
      int h = 0, v = 0;
      for (int i = 0; i < 4; ++i) {
        h += (i + 1) * (top(4 + i) - top(2 - i));
        v += (i + 1) * (left(4 + i) - left(2 - i));
      }
      a = 16 * (left(7) + top(7));
      b = (34 * h + 32) >> 6;
      c = (34 * v + 32) >> 6;
    }
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        int p = mode == 0 ? dc[y / 4][x / 4] : mode == 1 ? left(y) : mode == 2 ? top(x)
                                                         : ClipToByte((a + b * (x - 3) + c * (y - 3) + 16) >> 5);
        prediction[ChromaBlockOrder(x, y) + component] = static_cast<uint8_t>(p);
        if (current != nullptr) sad += std::abs(current[y * stride + 2 * x + component] - p);
      }
    }
  }
  std::memcpy(output != nullptr ? output : scratch, prediction, sizeof prediction);
  return current != nullptr ? sad : 0;
}

int CMBCore::PredictIntra4x4Best(int16_t* residual, uint8_t* prediction,
                                 const uint8_t* neighbours, const uint8_t* current, int stride,
                                 uint32_t flags) {
  const uint8_t* b = neighbours;
  bool left = flags & kIntraLeftAvailable, top = flags & kIntraTopAvailable;
  bool topLeft = flags & kIntraTopLeftAvailable, topRight = flags & kIntraTopRightAvailable;
  Neighbours4x4 n = {};
  if (top) {
    for (int x = 0; x < 4; ++x) n.top[x] = b[x - stride];
    for (int x = 4; x < 8; ++x) n.top[x] = topRight ? b[x - stride] : n.top[3];
  }
  if (left) {
    for (int y = 0; y < 4; ++y) n.left[y] = b[y * stride - 1];
  }
  if (top && topLeft) n.corner = b[-1 - stride];
  int predicted = static_cast<int>(flags & kIntraModeMask);
  int bias = static_cast<int32_t>(flags) >> kIntraBiasShift;
  bool candidate[9] = {top, left, true, top, top && topLeft, top && topLeft, top && topLeft, top, left};
  int bestMode = 2;
  int bestKey = 65282;  // a key must be below it; mode 2 when none is
  for (int m = 0; m < 9; ++m) {
    if (!candidate[m]) continue;
    uint8_t* built = scratch + 16 * m;
    Build4x4(m, n, flags, built);
    if (!left && !top) continue;  // only DC, 128 everywhere: nothing to measure
    int sad = 0;
    for (int i = 0; i < 16; ++i) sad += std::abs(current[(i / 4) * stride + i % 4] - built[i]);
    int key = 16 * (sad + (m != predicted ? bias : 0)) + m;
    if (key < bestKey) {
      bestKey = key;
      bestMode = m;
    }
  }
  std::memcpy(prediction, scratch + 16 * bestMode, 16);
  for (int i = 0; i < 16; ++i) {
    residual[i] = static_cast<int16_t>(current[(i / 4) * stride + i % 4] - prediction[i]);
  }
  return bestMode;
}

}  // namespace orx::dsp
