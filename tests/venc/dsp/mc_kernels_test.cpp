// The motion-compensation kernel tables of every class the processor runs, against the
// formulas of each entry, on random sources at every alignment 0-15 with 16, 8 and 4 rows.
// Each source is placed at the end of its own allocation, so that a read beyond the samples an
// entry may read is caught by the address sanitizer; destination rows carry canaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/venc/dsp/check/harness.h"
#include "venc/dsp/core_factories.h"
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/mc_kernels.h"

namespace orx::dsp {
namespace {

// ---------------------------------------------------------------------------------------------
// The formulas. S(r, c) is the source sample r rows below and c bytes right of the output's own
// position; n is the horizontal neighbour distance (1 luma, 2 interleaved chroma).

int Clip(int v) { return std::clamp(v, 0, 255); }

using Sample = std::function<int(int, int)>;

int OneDirection(int index, const Sample& S, int n) {
  switch (index) {
    case 0:
    case 4: return S(0, 0);
    case 1: return (S(0, 0) + S(1, 0) + 1) >> 1;
    case 2: return (S(0, 0) + S(0, n) + 1) >> 1;
    case 3: return (S(0, 0) + S(0, n) + S(1, 0) + S(1, n) + 2) >> 2;
    case 5: return (S(0, 0) + S(1, 0)) >> 1;
    case 6: return (S(0, 0) + S(0, n)) >> 1;
    default: return (S(0, 0) + S(0, n) + S(1, 0) + S(1, n) + 1) >> 2;
  }
}

int FourTapVc1(int index, const Sample& S) {
  const int r = index >= 4 ? 1 : 0;
  switch (index & 3) {
    case 0: return S(0, 0);
    case 1: return Clip((9 * (S(0, 0) + S(1, 0)) - S(-1, 0) - S(2, 0) + 7 + r) >> 4);
    case 2: return Clip((9 * (S(0, 0) + S(0, 1)) - S(0, -1) - S(0, 2) + 8 - r) >> 4);
    default: {
      auto t = [&](int dc) {
        return (9 * (S(0, dc) + S(1, dc)) - S(-1, dc) - S(2, dc) + r) >> 1;
      };
      return Clip((9 * (t(0) + t(1)) - t(-1) - t(2) + 64 - r) >> 7);
    }
  }
}

// Each prediction rounds up on its own; the two are averaged up.
int Bidirectional(int index, const Sample& A, const Sample& B, int step) {
  auto predict = [step](const Sample& S, int xh, int yh) {
    if (xh && yh) return (S(0, 0) + S(0, step) + S(1, 0) + S(1, step) + 2) >> 2;
    if (xh) return (S(0, 0) + S(0, step) + 1) >> 1;
    if (yh) return (S(0, 0) + S(1, 0) + 1) >> 1;
    return S(0, 0);
  };
  const int a = predict(A, (index >> 3) & 1, (index >> 2) & 1);
  const int b = predict(B, (index >> 1) & 1, index & 1);
  return (a + b + 1) >> 1;
}

// ---------------------------------------------------------------------------------------------
// Entries 0-39 as the core installs them.

enum Group { kLuma, kChroma, kVc1, kBidir };
struct Entry {
  Group group;
  int index;
};
Entry EntryOf(int entry) {
  if (entry < 8) return {kLuma, entry};
  if (entry < 16) return {kChroma, entry - 8};
  if (entry < 24) return {kVc1, entry - 16};
  return {kBidir, entry - 24};
}

// Rows and columns around the block that an entry may read (for R rows): first row, rows past
// R - 1, first column, columns past 15.
struct Reach {
  int top, below, left, right;
};
Reach OneSideReach(int xHalf, int yHalf, int n) { return {0, yHalf, 0, xHalf ? n : 0}; }
Reach ReachOf(Entry e, int step, bool first) {
  switch (e.group) {
    case kLuma: return OneSideReach(e.index & 2, e.index & 1, 1);
    case kChroma: return OneSideReach(e.index & 2, e.index & 1, 2);
    case kVc1: {
      const int h = e.index & 2, v = e.index & 1;
      if (h && v) return {-1, 2, -1, 2};
      if (v) return {-1, 2, 0, 0};
      if (h) return {0, 0, -1, 2};
      return {0, 0, 0, 0};
    }
    case kBidir: {
      const int bits = first ? e.index >> 2 : e.index & 3;
      return OneSideReach(bits & 2, bits & 1, step);
    }
  }
  return {};
}

// A source plane whose reach ends at the last byte of its allocation; bytes before the reach
// give the block's top-left sample the wanted alignment (allocations are 16-byte aligned).
struct GuardedSource {
  std::unique_ptr<uint8_t[]> storage;
  const uint8_t* origin = nullptr;  // the block's top-left sample
  GuardedSource(std::mt19937& rng, Reach reach, int rows, int stride, int alignment) {
    const int firstRow = reach.top, lastRow = rows - 1 + reach.below;
    const int firstColumn = reach.left, lastColumn = 15 + reach.right;
    const int lead = -firstRow * stride - firstColumn;  // origin's offset from the reach start
    const int slack = ((alignment - lead) % 16 + 16) % 16;
    const size_t size = slack + (lastRow - firstRow) * stride + (lastColumn - firstColumn) + 1;
    storage.reset(new uint8_t[size]);
    for (size_t i = 0; i < size; ++i) storage[i] = static_cast<uint8_t>(rng());
    origin = storage.get() + slack - firstRow * stride - firstColumn;
  }
};

// Destination rows 16 bytes wide at the given row step; everything else in the buffer is a
// canary.
struct Destination {
  alignas(16) uint8_t bytes[32 * 16 + 64];
  Destination() { std::memset(bytes, 0xA5, sizeof bytes); }
  bool CanariesIntact(int rows, int stride) const {
    for (int i = 0; i < static_cast<int>(sizeof bytes); ++i) {
      const bool written = i < rows * stride && i % stride < 16;
      if (!written && bytes[i] != 0xA5) return false;
    }
    return true;
  }
};

struct NamedCore {
  std::string name;
  std::unique_ptr<CMBCore> core;
};

// The plain class, the MMX class (which installs the plain table) and the running variants.
std::vector<NamedCore> CoresWithTables() {
  std::vector<NamedCore> cores;
  cores.push_back({"plain", std::make_unique<CMBCore>()});
  cores.push_back({"MMX", std::make_unique<CMBCoreMMX>()});
  for (const check::Variant& v : check::RunnableVariants()) {
    CMBCore* core = nullptr;
    EXPECT_TRUE(CreateMBCore(&core, v.features));
    cores.push_back({v.name, std::unique_ptr<CMBCore>(core)});
  }
  for (NamedCore& c : cores) c.core->InitMcTables();
  return cores;
}

void RunEntry(const CMBCore& core, Entry e, const uint8_t* first, const uint8_t* second,
              uint8_t* destination, int stride, int destinationStride, int rows, int step) {
  switch (e.group) {
    case kLuma: core.lumaKernels[e.index](first, destination, stride, destinationStride, rows); break;
    case kChroma: core.chromaKernels[e.index](first, destination, stride, destinationStride, rows); break;
    case kVc1: core.vc1FourTapKernels[e.index](first, destination, stride, destinationStride, rows); break;
    case kBidir:
      core.bidirKernels[e.index](first, second, destination, stride, destinationStride, rows, step);
      break;
  }
}

int Expected(Entry e, const uint8_t* first, const uint8_t* second, int stride, int step, int r,
             int c) {
  Sample A = [&](int dr, int dc) { return int{first[(r + dr) * stride + c + dc]}; };
  Sample B = [&](int dr, int dc) { return int{second[(r + dr) * stride + c + dc]}; };
  switch (e.group) {
    case kLuma: return OneDirection(e.index, A, 1);
    case kChroma: return OneDirection(e.index, A, 2);
    case kVc1: return FourTapVc1(e.index, A);
    case kBidir: return Bidirectional(e.index, A, B, step);
  }
  return -1;
}

TEST(McKernelTables, EveryEntryEqualsItsFormulaAtEveryAlignment) {
  std::mt19937 rng(5);
  auto cores = CoresWithTables();
  for (int entry = 0; entry < 40; ++entry) {
    const Entry e = EntryOf(entry);
    for (int rows : {16, 8, 4}) {
      for (int alignment = 0; alignment < 16; ++alignment) {
        const int stride = 48 + 16 * (alignment % 3) + (alignment & 1);
        const int destinationStride = alignment % 4 == 3 ? 32 : 16;
        const int step = e.group == kBidir ? 1 + (alignment & 1) : 0;
        GuardedSource first(rng, ReachOf(e, step, true), rows, stride, alignment);
        GuardedSource second(rng, ReachOf(e, step, false), rows, stride, (alignment * 7) % 16);
        ASSERT_EQ(reinterpret_cast<uintptr_t>(first.origin) % 16, static_cast<uintptr_t>(alignment));
        for (const NamedCore& c : cores) {
          Destination d;
          RunEntry(*c.core, e, first.origin, second.origin, d.bytes, stride, destinationStride,
                   rows, step);
          SCOPED_TRACE(testing::Message() << c.name << " entry " << entry << " rows " << rows
                                          << " source alignment " << alignment);
          ASSERT_TRUE(d.CanariesIntact(rows, destinationStride));
          for (int r = 0; r < rows; ++r) {
            for (int col = 0; col < 16; ++col) {
              ASSERT_EQ(d.bytes[r * destinationStride + col],
                        Expected(e, first.origin, second.origin, stride, step, r, col))
                  << "row " << r << " column " << col;
            }
          }
        }
      }
    }
  }
}

// Slot 35 per class: the plain table for the plain and MMX classes, the SSE2 table for XMM2,
// and for XMM3 its SSE3 luma and chroma groups over the SSE2 VC-1 and bidirectional groups.
TEST(McKernelTables, SlotThirtyFiveInstallsEachClassesGroups) {
  CMBCoreMMX mmx;
  mmx.InitMcTables();
  EXPECT_EQ(mmx.lumaKernels, kReferenceMcKernels.luma);
  EXPECT_EQ(mmx.chromaKernels, kReferenceMcKernels.chroma);
  EXPECT_EQ(mmx.vc1FourTapKernels, kReferenceMcKernels.vc1FourTap);
  EXPECT_EQ(mmx.bidirKernels, kReferenceMcKernels.bidir);
  CMBCoreXMM2 xmm2;
  xmm2.InitMcTables();
  EXPECT_EQ(xmm2.lumaKernels, kSse2McKernels.luma);
  EXPECT_EQ(xmm2.bidirKernels, kSse2McKernels.bidir);
  // The nine bidirectional entries without a two-dimensional side are CMBCoreXMM's.
  const int shared[] = {0, 1, 2, 4, 5, 6, 8, 9, 10};
  EXPECT_EQ(xmm2.bidirKernels[0], McBidirKernelXmm<0>);
  for (int i : shared) EXPECT_NE(xmm2.bidirKernels[i], kReferenceMcKernels.bidir[i]) << i;
  CMBCoreXMM3 xmm3;
  xmm3.InitMcTables();
  EXPECT_EQ(xmm3.lumaKernels, kSse3McKernels.luma);
  EXPECT_EQ(xmm3.chromaKernels, kSse3McKernels.chroma);
  EXPECT_EQ(xmm3.vc1FourTapKernels, kSse2McKernels.vc1FourTap);
  EXPECT_EQ(xmm3.bidirKernels, kSse2McKernels.bidir);
  // Its own kernels are the copy, the rounding-up vertical and the horizontal averages.
  for (int i : {0, 1, 2, 4}) {
    EXPECT_NE(kSse3McKernels.luma[i], kSse2McKernels.luma[i]) << i;
    EXPECT_NE(kSse3McKernels.chroma[i], kSse2McKernels.chroma[i]) << i;
  }
  for (int i : {3, 5, 6, 7}) {
    EXPECT_EQ(kSse3McKernels.luma[i], kSse2McKernels.luma[i]) << i;
    EXPECT_EQ(kSse3McKernels.chroma[i], kSse2McKernels.chroma[i]) << i;
  }
}

// ---------------------------------------------------------------------------------------------
// Edge cases on small hand-made neighbourhoods: a 24 x 24 plane, the block at (4, 4).

struct Neighbourhood {
  static constexpr int kStride = 40;
  uint8_t plane[kStride * 24] = {};
  // Sets S(r, c) around the block origin.
  void Set(int r, int c, int v) { plane[(4 + r) * kStride + 4 + c] = static_cast<uint8_t>(v); }
  void Fill(int v) { std::memset(plane, v, sizeof plane); }
  const uint8_t* Origin() const { return plane + 4 * kStride + 4; }
};

// Output sample (0, column) of an entry with 4 rows.
int OutputAt(const CMBCore& core, int entry, const Neighbourhood& a, const Neighbourhood& b,
             int column = 0, int step = 1) {
  Destination d;
  RunEntry(core, EntryOf(entry), a.Origin(), b.Origin(), d.bytes, Neighbourhood::kStride, 16, 4,
           step);
  return d.bytes[column];
}

TEST(McKernelTables, EdgeCases) {
  for (const NamedCore& c : CoresWithTables()) {
    SCOPED_TRACE(c.name);
    const CMBCore& core = *c.core;
    Neighbourhood a, b;
    for (int value : {0, 255}) {  // no sum overflows; nothing leaves 0..255
      a.Fill(value);
      b.Fill(value);
      for (int entry = 0; entry < 40; ++entry) {
        for (int column : {0, 7, 15}) EXPECT_EQ(OutputAt(core, entry, a, b, column), value) << entry;
      }
    }
    // Columns alternating 0 and 255: luma horizontal halves 128 rounding up, 127 down.
    for (int i = 0; i < static_cast<int>(sizeof a.plane); ++i) a.plane[i] = (i % 2) ? 255 : 0;
    EXPECT_EQ(OutputAt(core, 2, a, b), 128);
    EXPECT_EQ(OutputAt(core, 6, a, b), 127);
    // Interleaved chroma: each Cb with the next Cb, each Cr with the next Cr (never Cb with Cr).
    EXPECT_EQ(OutputAt(core, 10, a, b, 0), 0);
    EXPECT_EQ(OutputAt(core, 10, a, b, 1), 255);
    // Four samples (0, 1, 1, 1) give 1 with either rounding; (0, 0, 1, 1) give 1 up, 0 down.
    a.Fill(0);
    a.Set(0, 1, 1), a.Set(1, 0, 1), a.Set(1, 1, 1);
    EXPECT_EQ(OutputAt(core, 3, a, b), 1);
    EXPECT_EQ(OutputAt(core, 7, a, b), 1);
    a.Fill(0);
    a.Set(1, 0, 1), a.Set(1, 1, 1);
    EXPECT_EQ(OutputAt(core, 3, a, b), 1);
    EXPECT_EQ(OutputAt(core, 7, a, b), 0);
    // Vertical 0 over 1: 1 rounding up, 0 down.
    EXPECT_EQ(OutputAt(core, 1, a, b), 1);
    EXPECT_EQ(OutputAt(core, 5, a, b), 0);
    // VC-1 vertical on the column 0, 255, 255, 0 (rows -1..2): (4590 + 7) >> 4 = 287 -> 255;
    // on 255, 0, 0, 255: -32 -> 0.
    const int peak[] = {0, 255, 255, 0}, dip[] = {255, 0, 0, 255}, step[] = {1, 1, 0, 0};
    for (int k = 0; k < 4; ++k) a.Set(k - 1, 0, peak[k]);
    EXPECT_EQ(OutputAt(core, 17, a, b), 255);
    for (int k = 0; k < 4; ++k) a.Set(k - 1, 0, dip[k]);
    EXPECT_EQ(OutputAt(core, 17, a, b), 0);
    // VC-1 column 1, 1, 0, 0: (8 + 7) >> 4 = 0 with rc 0, (8 + 8) >> 4 = 1 with rc 1; the row
    // 1, 1, 0, 0 horizontally: (8 + 8) >> 4 = 1 with rc 0, 0 with rc 1.
    a.Fill(0);
    for (int k = 0; k < 4; ++k) a.Set(k - 1, 0, step[k]);
    EXPECT_EQ(OutputAt(core, 17, a, b), 0);
    EXPECT_EQ(OutputAt(core, 21, a, b), 1);
    a.Fill(0);
    for (int k = 0; k < 4; ++k) a.Set(0, k - 1, step[k]);
    EXPECT_EQ(OutputAt(core, 18, a, b), 1);
    EXPECT_EQ(OutputAt(core, 22, a, b), 0);
    // VC-1 horizontal on the row 0, 255, 255, 0 (columns -1..2) and 255, 0, 0, 255.
    a.Fill(0);
    for (int k = 0; k < 4; ++k) a.Set(0, k - 1, peak[k]);
    EXPECT_EQ(OutputAt(core, 18, a, b), 255);
    EXPECT_EQ(OutputAt(core, 22, a, b), 255);
    for (int k = 0; k < 4; ++k) a.Set(0, k - 1, dip[k]);
    EXPECT_EQ(OutputAt(core, 18, a, b), 0);
    // VC-1 two-dimensional: a 2x2 square of 255 in a field of 0 gives 255 at column 0 (the
    // unclipped 323 lies beyond 16-bit sums) and 143 at column 1, for both rounding controls.
    a.Fill(0);
    a.Set(0, 0, 255), a.Set(0, 1, 255), a.Set(1, 0, 255), a.Set(1, 1, 255);
    for (int entry : {19, 23}) {
      EXPECT_EQ(OutputAt(core, entry, a, b, 0), 255) << entry;
      EXPECT_EQ(OutputAt(core, entry, a, b, 1), 143) << entry;
    }
    // Vertical pass 2295 in the two middle columns and -255 in the outer ones:
    // (41884 - rc) >> 7 = 327 -> 255.
    a.Fill(0);
    for (int k = 0; k < 4; ++k) {
      a.Set(k - 1, 0, peak[k]), a.Set(k - 1, 1, peak[k]);
      a.Set(k - 1, -1, dip[k]), a.Set(k - 1, 2, dip[k]);
    }
    EXPECT_EQ(OutputAt(core, 19, a, b), 255);
    EXPECT_EQ(OutputAt(core, 23, a, b), 255);
    // Bidirectional: copies 0 and 1 give 1; entry 39 with four-sample means 0 (0, 0, 0, 1)
    // and 1 (0, 0, 1, 1) gives 1, not the 0 of one eight-sample mean; means 10 and 11 give 11.
    a.Fill(0);
    b.Fill(1);
    EXPECT_EQ(OutputAt(core, 24, a, b), 1);
    b.Fill(0);
    a.Set(1, 1, 1);
    b.Set(1, 0, 1), b.Set(1, 1, 1);
    EXPECT_EQ(OutputAt(core, 39, a, b), 1);
    a.Fill(10);
    b.Fill(11);
    EXPECT_EQ(OutputAt(core, 39, a, b), 11);
  }
}

}  // namespace
}  // namespace orx::dsp
