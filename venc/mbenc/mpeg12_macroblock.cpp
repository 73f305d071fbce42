// The macroblock layer of MPEG-1 and MPEG-2: address increment, macroblock modes, motion
// vectors, coded block pattern and the block coders. The codes are written with
// PutBitsFast or packed straight into the word buffer; the 1 MiB threshold is checked once
// per macroblock.
#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "venc/common/median.h"
#include "venc/mbenc/mb_encoder_mpeg12.h"

namespace orx::venc {
namespace {

constexpr int kEscapeMpeg1 = 0;
constexpr int kEscapeMpeg2 = 1;

}  // namespace

void CMBEncoder_MPEG1::InitTables() { GetMpeg12Tables(); }

template <int kEscapeForm>
void CMBEncoder_MPEG1::WriteCoefficients(const int16_t* block, int first, int last,
                                         const uint32_t* acTable, uint32_t endOfBlock,
                                         int endOfBlockLength) {
  // The writer's word pointer and free bits in locals, so the packing stays in registers.
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
    }
    freeBits -= n;
    *wp |= value << freeBits;
  };
  int run = 0;
  for (int p = first; p <= last; ++p) {
    const int level = block[scan_[p]];
    if (level == 0) {
      ++run;
      continue;
    }
    uint32_t entry = 0;
    if (run <= kAcRunLimit && level >= -kAcLevelLimit && level <= kAcLevelLimit) {
      entry = acTable[AcIndex(level, run)];
    }
    if (entry != 0) {
      put(PackedBits(entry), static_cast<int>(PackedLength(entry)));
    } else if constexpr (kEscapeForm == kEscapeMpeg1) {
      // Escape, run, then 8 bits for -127..127 or 16 bits for the larger magnitudes.
      assert(level >= -255 && level <= 255);
      const uint32_t head = (kDctEscape.code << 6) | static_cast<uint32_t>(run);
      const uint32_t low8 = static_cast<uint32_t>(level) & 0xFF;
      if (level >= -127 && level <= 127) {
        put((head << 8) | low8, 20);
      } else {
        put((head << 16) | (level < 0 ? 0x8000u : 0u) | low8, 28);
      }
    } else {
      const uint32_t head = (kDctEscape.code << 6) | static_cast<uint32_t>(run);
      put((head << 12) | (static_cast<uint32_t>(level) & 0xFFF), 24);
    }
    run = 0;
  }
  put(endOfBlock, endOfBlockLength);
  wordPtr_ = wp;
  freeBits_ = freeBits;
}

void CMBEncoder_MPEG1::WriteIntraBlockMpeg1(const int16_t* block, int last, uint32_t dcEntry) {
  PutBitsFast(PackedBits(dcEntry), static_cast<int>(PackedLength(dcEntry)));
  WriteCoefficients<kEscapeMpeg1>(block, 1, last, GetMpeg12Tables().acTableZero,
                                  kEndOfBlockZero.code, kEndOfBlockZero.length);
}

void CMBEncoder_MPEG1::WriteIntraBlockMpeg2(const int16_t* block, int last, uint32_t dcEntry) {
  PutBitsFast(PackedBits(dcEntry), static_cast<int>(PackedLength(dcEntry)));
  WriteCoefficients<kEscapeMpeg2>(block, 1, last, GetMpeg12Tables().acTableZero,
                                  kEndOfBlockZero.code, kEndOfBlockZero.length);
}

void CMBEncoder_MPEG1::WriteIntraBlockMpeg2Alt(const int16_t* block, int last, uint32_t dcEntry) {
  PutBitsFast(PackedBits(dcEntry), static_cast<int>(PackedLength(dcEntry)));
  WriteCoefficients<kEscapeMpeg2>(block, 1, last, GetMpeg12Tables().acTableOne,
                                  kEndOfBlockOne.code, kEndOfBlockOne.length);
}

void CMBEncoder_MPEG1::WriteInterBlockMpeg1(const int16_t* block, int last) {
  // A first coefficient of +1 or -1 has its own short code, 1s.
  const int first = block[scan_[0]];
  const bool shortFirst = first == 1 || first == -1;
  if (shortFirst) PutBitsFast(first < 0 ? 3 : 2, 2);
  WriteCoefficients<kEscapeMpeg1>(block, shortFirst ? 1 : 0, last, GetMpeg12Tables().acTableZero,
                                  kEndOfBlockZero.code, kEndOfBlockZero.length);
}

void CMBEncoder_MPEG1::WriteInterBlockMpeg2(const int16_t* block, int last) {
  const int first = block[scan_[0]];
  const bool shortFirst = first == 1 || first == -1;
  if (shortFirst) PutBitsFast(first < 0 ? 3 : 2, 2);
  WriteCoefficients<kEscapeMpeg2>(block, shortFirst ? 1 : 0, last, GetMpeg12Tables().acTableZero,
                                  kEndOfBlockZero.code, kEndOfBlockZero.length);
}

void CMBEncoder_MPEG1::WriteIntraBlockMpeg4(const int16_t*, const uint8_t*, int, int, int) {}

void CMBEncoder_MPEG1::WriteInterBlockMpeg4(const int16_t*, const uint8_t*, int) {}

int CMBEncoder_MPEG1::WriteIntraBlock(const int16_t* block, int component, int intraVlcFormat) {
  const int last = core_->FindLastCoefficient(block, positionToScan_);
  const int dc = block[0];
  const int differential = dc - state_.dcPredictor[component];
  state_.dcPredictor[component] = dc;
  if (codec_ >= CODEC_KALDER) {
    WriteIntraBlockMpeg4(block, scan_, last, differential, component);
    return last;
  }
  assert(differential >= -kDcDifferentialLimit && differential <= kDcDifferentialLimit);
  const Mpeg12Tables& tables = GetMpeg12Tables();
  // DC levels lie in 0..2047, so the differential fits the table; the bound keeps a broken
  // block from reading outside it.
  const int index = differential < -kDcDifferentialLimit  ? 0
                    : differential > kDcDifferentialLimit ? 2 * kDcDifferentialLimit
                                                          : differential + kDcDifferentialLimit;
  const uint32_t dcEntry = (component == 0 ? tables.dcLuma : tables.dcChroma)[index];
  if (codec_ == CODEC_MPEG1) {
    WriteIntraBlockMpeg1(block, last, dcEntry);
  } else if (intraVlcFormat) {
    WriteIntraBlockMpeg2Alt(block, last, dcEntry);
  } else {
    WriteIntraBlockMpeg2(block, last, dcEntry);
  }
  return last;
}

int CMBEncoder_MPEG1::WriteInterBlock(const int16_t* block) {
  const int last = core_->FindLastCoefficient(block, positionToScan_);
  if (codec_ >= CODEC_KALDER) {
    WriteInterBlockMpeg4(block, scan_, last);
  } else if (codec_ == CODEC_MPEG1) {
    WriteInterBlockMpeg1(block, last);
  } else {
    WriteInterBlockMpeg2(block, last);
  }
  return last;
}

void CMBEncoder_MPEG1::WriteAddressIncrement(int increment) {
  const Mpeg12Tables& tables = GetMpeg12Tables();
  while (increment > 33) {
    PutBitsFast(kMacroblockEscape.code, kMacroblockEscape.length);
    increment -= 33;
  }
  const VlcCode& code = tables.addressIncrement[increment];
  PutBitsFast(code.code, code.length);
}

void CMBEncoder_MPEG1::WriteMotionCode(int delta, int fCode) {
  // The decoding of a motion vector component run backwards: wrap the difference into the
  // range of f_code, then motion_code and motion_residual.
  const int r = codec_ >= CODEC_MPEG4 ? fCode - 2 : fCode - 1;
  const int f = (codec_ >= CODEC_MPEG4 ? 32 : 16) << r;
  if (delta >= f) {
    delta -= 2 * f;
  } else if (delta < -f) {
    delta += 2 * f;
  }
  const int magnitude = std::abs(delta);
  const int motionCode = (magnitude + (1 << r) - 1) >> r;
  if (motionCode == 0) {
    PutBitsFast(1, 1);
    return;
  }
  const int residual = (magnitude - 1) & ((1 << r) - 1);
  const VlcCode& code = GetMpeg12Tables().motionCode[motionCode];
  const uint32_t value = (((code.code << 1) | (delta < 0 ? 1u : 0u)) << r) | static_cast<uint32_t>(residual);
  PutBitsFast(value, code.length + 1 + r);
}

void CMBEncoder_MPEG1::WriteCodedBlockPattern(int cbp) {
  const VlcCode& code = GetMpeg12Tables().codedBlockPattern[cbp];
  PutBitsFast(code.code, code.length);
}

void CMBEncoder_MPEG1::WriteMotionVectorMedian(const PackedMV* vectors, const PackedMV* left,
                                               const PackedMV* top, const PackedMV* topRight,
                                               int index, int fCodeX, int fCodeY) {
  const int px = Median3(left[index].x, top[index].x, topRight[index].x);
  const int py = Median3(left[index].y, top[index].y, topRight[index].y);
  WriteMotionCode(vectors[index].x - px, fCodeX);
  WriteMotionCode(vectors[index].y - py, fCodeY);
}

void CMBEncoder_MPEG1::WriteMacroblock(MBInfo* mb, int cbp, int mbX) {
  (void)mbX;
  const CPicture& picture = *state_.picture;
  uint32_t flags = mb->flags & (MBINFO_INTRA | MBINFO_PATTERN | MBINFO_BACKWARD | MBINFO_FORWARD |
                                MBINFO_QUANT);
  const bool intra = (flags & MBINFO_INTRA) != 0;
  // A P macroblock without coefficients is written as motion-compensated and not coded; one
  // that had no forward flag carries the zero vector.
  PackedMV forward = mb->mv[0].forward;
  if (pictureType_ == PICTURE_P && !intra && !(flags & MBINFO_FORWARD)) {
    forward = PackedMV{};
    if (cbp == 0) flags |= MBINFO_FORWARD;
  }
  if (intra) flags &= MBINFO_INTRA | MBINFO_QUANT;

  WriteAddressIncrement(state_.addressIncrement);

  const VlcCode& type = GetMpeg12Tables().macroblockType[pictureType_ - 1][flags];
  assert(type.length != 0);
  uint32_t code = type.code;
  int length = type.length;
  if (!picture.framePredFrameDct) {
    if (flags & (MBINFO_FORWARD | MBINFO_BACKWARD)) {
      code = (code << 2) | 2;  // frame_motion_type: frame-based
      length += 2;
    }
    if (cbp != 0) {
      code = (code << 1) | (UsesFieldDct(mb->flags) ? 1u : 0u);  // dct_type
      length += 1;
    }
  }
  if (flags & MBINFO_QUANT) {
    code = (code << 5) | static_cast<uint32_t>(state_.mbQuant);
    length += 5;
  }
  PutBits(code, length);

  // MPEG-1 has one f_code per direction (the estimator makes both components equal).
  const bool mpeg1 = codec_ == CODEC_MPEG1;
  if (flags & MBINFO_FORWARD) {
    WriteMotionCode(forward.x - state_.forwardPredictor.x, picture.forwardFCodeX);
    WriteMotionCode(forward.y - state_.forwardPredictor.y,
                    mpeg1 ? picture.forwardFCodeX : picture.forwardFCodeY);
    state_.forwardPredictor = forward;
  }
  if (flags & MBINFO_BACKWARD) {
    const PackedMV backward = mb->mv[0].backward;
    WriteMotionCode(backward.x - state_.backwardPredictor.x, picture.backwardFCodeX);
    WriteMotionCode(backward.y - state_.backwardPredictor.y,
                    mpeg1 ? picture.backwardFCodeX : picture.backwardFCodeY);
    state_.backwardPredictor = backward;
  }

  if (intra) {
    static constexpr int kComponent[6] = {0, 0, 0, 0, 1, 2};
    for (int b = 0; b < 6; ++b) {
      state_.lastPosition[b] =
          WriteIntraBlock(coefficients_ + 64 * b, kComponent[b], picture.intraVlcFormat);
    }
  } else if (flags & MBINFO_PATTERN) {
    WriteCodedBlockPattern(cbp);
    for (int b = 0; b < 6; ++b) {
      if (cbp & (0x20 >> b)) state_.lastPosition[b] = WriteInterBlock(coefficients_ + 64 * b);
    }
  }
  if (BufferedWholeWords() * 4 >= kFlushThresholdBytes) FlushBits(false);
}

}  // namespace orx::venc
