// The Kalder stream's macroblock layer and the MPEG-4 style codes it shares with MPEG-4 Part 2:
// intra coding with the flat test, the block coders, not-coded runs, MCBPC/CBPY and the B-VOP
// type codes. The block coders pack codes straight into the word buffer; the 1 MiB threshold
// is checked once per macroblock.
#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "venc/mbenc/mb_encoder_mpeg4.h"

namespace orx::venc {
namespace {

int16_t* Block(int16_t* coefficients, int b) { return coefficients + 64 * b; }
int PatternBit(int b) { return 0x20 >> b; }

}  // namespace

void CMBEncoder_Kalder::InitTables() { GetMpeg4Tables(); }

// ---- intra coding ----

int CMBEncoder_Kalder::CodeIntra(MBInfo* mb, bool truncating) {
  core_->SelectQuantizer(CurrentQuantIndex(), true);
  const auto quantize = [&](int16_t* block, int b) {
    return truncating ? core_->QuantizeIntraTrunc(block, b) : core_->QuantizeIntra(block, b);
  };
  const LumaBlockLayout luma = LumaLayout(stride_, UsesFieldDct(mb->flags));
  int cbp = 0;
  if (3 * mb->minBlockDeviation + state_.rowThreshold < mb->intraActivity) {
    for (int b = 0; b < 4; ++b) {
      int16_t* block = Block(coefficients_, b);
      core_->LoadBlock(block, state_.srcLuma + luma.offset[b], luma.step);
      core_->ForwardDct(block);
      core_->ApplyDeadZone(block);
      if (quantize(block, b)) cbp |= PatternBit(b);
    }
  } else {
    // Flat: the luma blocks keep their DC only.
    core_->CodeIntraDcOnlyPair(Block(coefficients_, 0), state_.srcLuma + luma.offset[0], luma.step);
    core_->CodeIntraDcOnlyPair(Block(coefficients_, 2), state_.srcLuma + luma.offset[2], luma.step);
  }
  core_->LoadChromaPair(Block(coefficients_, 4), state_.srcChroma, stride_);
  for (int b = 4; b < 6; ++b) {
    int16_t* block = Block(coefficients_, b);
    core_->ForwardDct(block);
    core_->ApplyDeadZone(block);
    if (quantize(block, b)) cbp |= PatternBit(b);
  }
  return cbp;
}

int CMBEncoder_Kalder::CodeIntraMB(MBInfo* mb) { return CodeIntra(mb, false); }

int CMBEncoder_Kalder::CodeReconstructIntraMB(MBInfo* mb, const uint8_t* srcLuma,
                                              const uint8_t* srcChroma) {
  const bool field = UsesFieldDct(mb->flags);
  static constexpr int kFrameOffsets[4] = {0, 8, 128, 136};
  static constexpr int kFieldOffsets[4] = {0, 8, 16, 24};
  const int* offsets = field ? kFieldOffsets : kFrameOffsets;
  for (int b = 0; b < 4; ++b) core_->LoadBlock(Block(coefficients_, b), srcLuma + offsets[b], field ? 32 : 16);
  core_->LoadChromaPair(Block(coefficients_, 4), srcChroma, 16);
  core_->SelectQuantizer(CurrentQuantIndex(), true);
  int cbp = 0;
  for (int b = 0; b < 6; ++b) {
    int16_t* block = Block(coefficients_, b);
    core_->ForwardDct(block);
    if (core_->QuantizeIntra(block, b)) cbp |= PatternBit(b);
  }
  return cbp;
}

// ---- block coders ----

template <bool kIntra>
void CMBEncoder_Kalder::WriteLevels(const int16_t* block, const uint8_t* scan, int first, int last) {
  const Mpeg4Tables& tables = GetMpeg4Tables();
  const Mpeg4TcoefTable& notLast = kIntra ? tables.intra[0] : tables.inter[0];
  const Mpeg4TcoefTable& lastTable = kIntra ? tables.intra[1] : tables.inter[1];
  uint32_t* wp = wordPtr_;
  int freeBits = freeBits_;
  const auto put = [&](uint32_t value, int n) {
    if (n >= freeBits) {
      const int rest = n - freeBits;
      *wp |= value >> rest;
      ++wp;
      wp[1] = 0;
      freeBits = 32;
      if (rest == 0) return;
      n = rest;
      value &= (1u << rest) - 1;
    }
    freeBits -= n;
    *wp |= value << freeBits;
  };
  int run = 0;
  for (int p = first; p <= last; ++p) {
    const int level = block[scan[p]];
    if (level == 0) {
      ++run;
      continue;
    }
    const Mpeg4TcoefTable& table = p == last ? lastTable : notLast;
    const uint32_t entry = table.Entry(level, run);
    if (entry != 0) {
      put(PackedBits(entry), static_cast<int>(PackedLength(entry)));
    } else {
      int length = 0;
      const uint32_t code = Mpeg4Escape(table, level, run, &length);
      put(code >> (32 - length), length);
    }
    run = 0;
  }
  wordPtr_ = wp;
  freeBits_ = freeBits;
}

void CMBEncoder_Kalder::WriteIntraBlockMpeg4(const int16_t* block, const uint8_t* scan, int last,
                                             int dcDifferential, int component) {
  const Mpeg4Tables& tables = GetMpeg4Tables();
  // DC levels lie in 0..2047, so every differential has a code; the bound keeps a broken
  // block from reading outside the table.
  const int index = std::clamp(dcDifferential, -kMpeg4DcLimit, kMpeg4DcLimit) + kMpeg4DcLimit;
  const VlcCode& dc = (component == 0 ? tables.dcLuma : tables.dcChroma)[index];
  PutBitsFast(dc.code, dc.length);
  if (last == 0) return;
  WriteLevels<true>(block, scan, 1, last);
}

void CMBEncoder_Kalder::WriteInterBlockMpeg4(const int16_t* block, const uint8_t* scan, int last) {
  WriteLevels<false>(block, scan, 0, last);
}

void CMBEncoder_Kalder::WriteNotCodedRun(int n) {
  if (n < 32) {
    PutBitsFast((1u << n) - 2, n);
    return;
  }
  const int chunks = (n - 32) / 31 + 1;
  for (int i = 0; i < chunks; ++i) PutBitsFast(0x7FFFFFFF, 31);
  const int rest = n - 31 * chunks;
  PutBitsFast((1u << rest) - 2, rest);
}

void CMBEncoder_Kalder::WriteMbTypeAndPattern(int pictureType, uint32_t flags, int cbp) {
  const Mpeg4Tables& tables = GetMpeg4Tables();
  if (pictureType == PICTURE_B) {
    if (flags & MBINFO_DIRECT) {
      // modb 1: direct with a zero delta and nothing coded; else modb 01 and mb_type 1.
      if (!(flags & MBINFO_BIDIRECTIONAL)) {
        PutBitsFast(1, 1);
      } else {
        PutBitsFast(3, 3);
      }
      return;
    }
    const bool forward = flags & MBINFO_FORWARD, backward = flags & MBINFO_BACKWARD;
    const int typeLength = forward && backward ? kBMbTypeBidirectionalLength
                           : backward          ? kBMbTypeBackwardLength
                                               : kBMbTypeForwardLength;
    if (cbp != 0) {
      PutBitsFast((1u << 6) | static_cast<uint32_t>(cbp), 2 + typeLength + 6);
    } else {
      PutBitsFast((1u << typeLength) | 1, 2 + typeLength);
    }
    return;
  }
  const bool intra = flags & MBINFO_INTRA;
  const bool quant = flags & MBINFO_QUANT;
  const VlcCode& mcbpc = pictureType == PICTURE_I
                             ? tables.mcbpcIntra[(cbp & 3) + (quant ? 4 : 0)]
                             : tables.mcbpcP[intra ? (quant ? 4 : 3) : (quant ? 1 : 0)][cbp & 3];
  assert(mcbpc.length != 0);
  uint32_t code = mcbpc.code;
  int length = mcbpc.length;
  if (codec_ == CODEC_MPEG4 && intra) {
    code = (code << 1) | ((flags & MBINFO_AC_PRED) ? 1u : 0u);
    ++length;
  }
  const VlcCode& cbpy = tables.cbpy[intra ? cbp >> 2 : (cbp ^ 0x3C) >> 2];
  PutBitsFast((code << cbpy.length) | cbpy.code, length + cbpy.length);
}

// ---- macroblock layer ----

void CMBEncoder_Kalder::MedianCandidates(const MBInfo* mb, int mbX, uint32_t flag, PackedMV* left,
                                         PackedMV* top, PackedMV* topRight) const {
  const bool forward = flag == MBINFO_FORWARD;
  const auto vector = [&](const MBInfo& m) {
    return (m.flags & flag) ? (forward ? m.mv[0].forward : m.mv[0].backward) : PackedMV{};
  };
  *left = mbX > 0 ? vector(mb[-1]) : PackedMV{};
  if (state_.mbY == 0) {
    *top = *topRight = *left;
    return;
  }
  *top = vector(mb[-mbw_]);
  *topRight = mbX == mbw_ - 1 ? PackedMV{} : vector(mb[-mbw_ + 1]);
}

void CMBEncoder_Kalder::WriteMacroblock(MBInfo* mb, int cbp, int mbX) {
  const CPicture& picture = *state_.picture;
  const bool intra = (mb->flags & MBINFO_INTRA) != 0;
  if (pictureType_ == PICTURE_P && !intra && !(mb->flags & MBINFO_FORWARD)) {
    mb->flags |= MBINFO_FORWARD;
    mb->mv[0].forward = PackedMV{};
  }
  if (pictureType_ != PICTURE_I) WriteNotCodedRun(state_.addressIncrement);

  uint32_t flags = mb->flags;
  if (pictureType_ == PICTURE_B) {
    uint32_t typeFlags = flags & (MBINFO_INTRA | MBINFO_PATTERN | MBINFO_BACKWARD | MBINFO_FORWARD |
                                  MBINFO_QUANT);
    if (intra) typeFlags &= MBINFO_INTRA | MBINFO_QUANT;
    const VlcCode& type = GetMpeg12Tables().macroblockType[PICTURE_B - 1][typeFlags];
    assert(type.length != 0);
    PutBitsFast(type.code, type.length);
    if (intra || (flags & MBINFO_PATTERN)) WriteCodedBlockPattern(cbp);
  } else {
    WriteMbTypeAndPattern(pictureType_, flags & ~MBINFO_AC_PRED, cbp);
  }
  if (flags & MBINFO_QUANT) PutBitsFast(static_cast<uint32_t>(state_.mbQuant), 5);
  if (!picture.framePredFrameDct) {
    PutBitsFast((flags & MBINFO_FIELD) ? 1 : 0, 1);
    if (!intra) PutBitsFast(0, 1);  // field prediction: never chosen
  }
  if (!intra) {
    for (const uint32_t direction : {MBINFO_FORWARD, MBINFO_BACKWARD}) {
      if (!(flags & direction)) continue;
      const bool forward = direction == MBINFO_FORWARD;
      MBVectorPair candidates[3] = {};
      MedianCandidates(mb, mbX, direction, forward ? &candidates[0].forward : &candidates[0].backward,
                       forward ? &candidates[1].forward : &candidates[1].backward,
                       forward ? &candidates[2].forward : &candidates[2].backward);
      const auto asArray = [](const MBVectorPair& pair) { return &pair.forward; };
      WriteMotionVectorMedian(asArray(mb->mv[0]), asArray(candidates[0]), asArray(candidates[1]),
                              asArray(candidates[2]), forward ? 0 : 1,
                              forward ? picture.forwardFCodeX : picture.backwardFCodeX,
                              forward ? picture.forwardFCodeY : picture.backwardFCodeY);
    }
  }
  if (intra) {
    static constexpr int kComponent[6] = {0, 0, 0, 0, 1, 2};
    for (int b = 0; b < 6; ++b) {
      state_.lastPosition[b] = WriteIntraBlock(coefficients_ + 64 * b, kComponent[b], 0);
    }
  } else {
    for (int b = 0; b < 6; ++b) {
      if (cbp & PatternBit(b)) state_.lastPosition[b] = WriteInterBlock(coefficients_ + 64 * b);
    }
  }
  if (BufferedWholeWords() * 4 >= kFlushThresholdBytes) FlushBits(false);
}

}  // namespace orx::venc
