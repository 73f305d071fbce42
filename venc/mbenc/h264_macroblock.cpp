// The H.264 macroblock layer of one coded macroblock: mb_skip_run, mb_type, the prediction
// syntax, coded_block_pattern, mb_qp_delta and the residual blocks through the CAVLC coder,
// with nC predicted from the coefficient-count grids.
#include "venc/mbenc/h264_encoder.h"
#include "venc/mbenc/h264_mb_tables.h"

namespace orx::venc {

bool CMBEncoder_H264::HasNoCoefficients() const {
  return (luma8x8Count_[0] | luma8x8Count_[1] | luma8x8Count_[2] | luma8x8Count_[3] | chromaAcCount_[0] |
          chromaAcCount_[1] | chromaDcCount_[0] | chromaDcCount_[1]) == 0;
}

// nC of the block at grid entry `entry`: the counts of its left and upper neighbours, those
// inside the macroblock always available, those outside when the macroblock there is.
int CMBEncoder_H264::Nc(const uint8_t* grid, int entry, bool leftInside, bool topInside, int leftStep,
                        int topStep) const {
  const bool hasLeft = leftInside || leftAvailable_;
  const bool hasTop = topInside || aboveAvailable_;
  const int nA = hasLeft ? grid[2 * (entry + leftStep) + 1] : 0;
  const int nB = hasTop ? grid[2 * (entry + topStep) + 1] : 0;
  if (hasLeft && hasTop) return (nA + nB + 1) >> 1;
  return hasLeft ? nA : nB;
}

void CMBEncoder_H264::WriteMBResidual(MBInfo* mb, const uint8_t* lumaGrid, const uint8_t* chromaGrid,
                                      int, const H264BlockEntry* lumaBlocks,
                                      const H264BlockEntry* chromaBlocks) {
  if (pictureType_ != PICTURE_I) PutUe(static_cast<uint32_t>(skipRun_));
  // (Macroblock pairs write mb_field_decoding_flag here.)

  int cbpLuma = 0;
  for (int q = 0; q < 4; ++q) {
    if (luma8x8Count_[q] != 0) cbpLuma |= 1 << q;
  }
  const int chromaPart = (chromaAcCount_[0] | chromaAcCount_[1]) != 0   ? 2
                         : (chromaDcCount_[0] | chromaDcCount_[1]) != 0 ? 1
                                                                        : 0;
  const bool intra = (mb->flags & MBINFO_INTRA) != 0;
  const bool intra16 = intra && (mb->flags & MBINFO_PATTERN) != 0;
  if (intra16) {
    if (cbpLuma != 0) cbpLuma = 15;  // all sixteen AC blocks or none
    PutUe(static_cast<uint32_t>(intraMbTypeOffset_ + 1 + intra16x16Mode_ + 4 * chromaPart + (cbpLuma ? 12 : 0)));
    PutUe(static_cast<uint32_t>(chromaMode_));
  } else if (intra) {
    PutUe(static_cast<uint32_t>(intraMbTypeOffset_));
    for (int group = 0; group < 4; ++group) {
      uint32_t bits = 0;
      int length = 0;
      for (int k = 4 * group; k < 4 * group + 4; ++k) {
        const uint32_t code = intra4x4Codes_[k];
        if (code & 8) {
          bits = bits << 1 | 1;
          length += 1;
        } else {
          bits = bits << 4 | (code & 7);
          length += 4;
        }
      }
      PutBits(bits, length);
    }
    PutUe(static_cast<uint32_t>(chromaMode_));
  } else {
    const auto mvd = [this](PackedMV v, PackedMV predictor) {
      PutSe(v.x - predictor.x);
      PutSe(v.y - predictor.y);
    };
    const PackedMV* pred = mvPredictors_;
    if (pictureType_ == PICTURE_P) {
      switch (PartitionKind(mb)) {
        case MBINFO_PART_16X8:
          PutUe(1);
          mvd(mb->mv[0].forward, pred[0]);
          mvd(mb->mv[2].forward, pred[3]);
          break;
        case MBINFO_PART_8X16:
          PutUe(2);
          mvd(mb->mv[0].forward, pred[0]);
          mvd(mb->mv[1].forward, pred[2]);
          break;
        case MBINFO_PART_8X8:
          PutUe(3);
          for (int k = 0; k < 4; ++k) PutUe(0);  // sub_mb_type: one 8x8 partition each
          mvd(mb->mv[0].forward, pred[0]);
          for (int k = 1; k < 4; ++k) mvd(mb->mv[k].forward, pred[k + 1]);
          break;
        default:
          PutUe(0);
          mvd(mb->mv[0].forward, pred[0]);
          break;
      }
    } else if (mb->flags & MBINFO_DIRECT) {
      PutUe(0);  // B_Direct_16x16
    } else {
      const bool list0 = (mb->flags & MBINFO_FORWARD) != 0;
      const bool list1 = (mb->flags & MBINFO_BACKWARD) != 0;
      PutUe(list0 && list1 ? 3 : list0 ? 1 : 2);
      if (list0) mvd(mb->mv[0].forward, pred[0]);
      if (list1) mvd(mb->mv[0].backward, pred[1]);
    }
  }
  const int cbp = cbpLuma + 16 * chromaPart;
  if (!intra16) PutUe(H264CbpCodeNum(cbp, intra));
  if (!intra16 && cbp == 0) return;

  // mb_qp_delta lies in -26..25: a larger step goes the short way round the 52 QPs.
  int delta = currentQp_ - previousQp_;
  if (delta > 25) delta -= 52;
  if (delta < -26) delta += 52;
  mb->flags |= MBINFO_QUANT;
  PutSe(delta);

  const int lumaLeft = -1;
  const int lumaTop = -4 * mbw_;
  const uint32_t* scan = kH264FrameScan;
  if (intra16) {
    const int nC = Nc(lumaGrid, lumaBlocks[0].gridOffset, false, false, lumaLeft, lumaTop);
    WriteCavlcBlock(this, dcArea_, kH264LumaDcFrameScan, lumaDcCount_, NcClass(nC), 15);
  }
  for (int k = 0; k < 16; ++k) {
    if ((cbpLuma & (1 << (k >> 2))) == 0) continue;
    const int p = kH264BlockToRaster[k];
    const int entry = lumaBlocks[k].gridOffset;
    const int nC = Nc(lumaGrid, entry, (p & 3) != 0, p >= 4, lumaLeft, lumaTop);
    const int count = lumaGrid[2 * entry + 1];
    if (intra16) {
      WriteCavlcBlock(this, coefficients_ + 16 * p, scan + 1, count, NcClass(nC), 14);
    } else {
      WriteCavlcBlock(this, coefficients_ + 16 * p, scan, count, NcClass(nC), 15);
    }
  }
  if (chromaPart == 0) return;
  const int16_t* dc = ChromaDcRecord();
  for (int c = 0; c < 2; ++c) WriteCavlcBlock(this, dc + c, kH264ChromaDcScan, chromaDcCount_[c], 4, 3);
  if (chromaPart != 2) return;
  const int16_t* levels = ChromaLevels();
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 4; ++i) {
      const int entry = chromaBlocks[i].gridOffset + c;
      const int nC = Nc(chromaGrid, entry, (i & 1) != 0, i >= 2, -2, -4 * mbw_);
      WriteCavlcBlock(this, levels + 32 * i + c, kH264ChromaFrameScan + 1, chromaGrid[2 * entry + 1],
                      NcClass(nC), 14);
    }
  }
}

}  // namespace orx::venc
