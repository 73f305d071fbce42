// Building the quantiser tables of a macroblock core and selecting the current quantiser.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <new>
#include <string>

#include "platform/debug_output.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {
namespace {

// Codec codes of the encoder settings.
constexpr int32_t kCodecMpeg1 = 0, kCodecMpeg2 = 1, kCodecKalder = 2, kCodecVc1 = 4, kCodecH264 = 5;

bool UsesMpegScale(int32_t codec) {
  return codec == kCodecMpeg1 || codec == kCodecMpeg2 || codec == kCodecKalder;
}

// Reciprocals are unsigned 16-bit: a value above 65535 (only user matrices with weight x
// multiplier below about 27 reach it) is held at 65535 instead of wrapping around.
uint16_t StoreReciprocal(double value) {
  double rounded = std::nearbyint(value);
  return rounded >= 65535.0 ? uint16_t{65535} : static_cast<uint16_t>(rounded);
}

int16_t DeadZoneThreshold(int mult, int fv, int fh, uint16_t intraReciprocal) {
  if (mult < 40 || (fv == 0 && fh == 0)) return 0;
  int64_t k = intraReciprocal > 128 ? (int64_t{1} << 23) / intraReciprocal : 65536;
  int64_t threshold = ((std::min(mult, 72) + 184 + 8 * (fv + fh)) * k) >> 15;
  return static_cast<int16_t>(std::min<int64_t>(threshold, 32767));
}

}  // namespace

void CMBCore::InitQuantTables(const QuantTableParams& params, QuantTableBlock* block,
                              void* workArea) {
  assert(reinterpret_cast<uintptr_t>(block) % 128 == 0);
  quantTables = block;
  uintptr_t work = reinterpret_cast<uintptr_t>(workArea);
  scratch = static_cast<uint8_t*>(workArea) + ((128 - work % 128) % 128);
  intraDcPrecision = 0;
  if (params.codec == kCodecH264) {
    BuildH264Tables();
  } else {
    BuildMpegTables(params);
  }
}

void CMBCore::BuildMpegTables(const QuantTableParams& params) {
  const int32_t codec = params.codec;
  const int p = intraDcPrecision;
  for (int type = 0; type < 2; ++type) {
    for (int q = 1; q <= 31; ++q) {
      const int n = 32 * type + q;
      const bool nonLinear = type == 1 && (UsesMpegScale(codec) || params.mpegQuantisation);
      const int mult = nonLinear ? kNonLinearQuantScale[q] : 2 * q;
      QuantRow& row = quantTables->quant[n];
      DequantRow& dequant = quantTables->dequant[n];
      // fv: vertical frequency (raster row of the matrices), fh: horizontal frequency.
      for (int fv = 0; fv < 8; ++fv) {
        for (int fh = 0; fh < 8; ++fh) {
          double scale;
          if (codec == kCodecVc1) {
            scale = kVc1QuantScale[4 * (fv % 4) + fh % 4] / 1048576.0;
          } else {
            scale = AanScale(fv) * AanScale(fh);
            if (fv == 7 && fh == 7) scale /= 2;  // the forward DCT doubles that coefficient
          }
          if (q == 31 && fv >= 4) scale = 0;
          const int raster = 8 * fv + fh;
          const int index = 8 * fh + fv;
          const double intraStep = double(params.intraMatrix[raster] * mult);
          const double interStep = double(params.interMatrix[raster] * mult);
          row.intraReciprocal[index] = StoreReciprocal(scale / intraStep * 1048576.0);
          row.interReciprocal[index] = StoreReciprocal(scale / interStep * 1048576.0);
          row.deadZoneThreshold[index] =
              DeadZoneThreshold(mult, fv, fh, row.intraReciprocal[index]);
          dequant.intraMultiplier[index] = params.intraMatrix[raster] * mult;
          dequant.interMultiplier[index] = params.interMatrix[raster] * mult;
        }
      }
      dequant.intraMultiplier[0] = 1 << (7 - p);
      if (UsesMpegScale(codec)) {
        row.intraReciprocal[0] = static_cast<uint16_t>(1024 << p);
        quantTables->dcQuant[n] = {1024 << p, 1024 << p};
        quantTables->dcMultiplier[n] = {1 << (7 - p), 1 << (7 - p)};
      } else if (codec == kCodecVc1) {
        const int d = kVc1DcStep[q];
        const int dcQuant = (116508 + 8 * d) / (16 * d);
        quantTables->dcQuant[n] = {dcQuant, dcQuant};
        quantTables->dcMultiplier[n] = {16 * d, 16 * d};
      } else {
        const int luma = kMpeg4LumaDcScaler[q], chroma = kMpeg4ChromaDcScaler[q];
        quantTables->dcQuant[n] = {((1 << 17) + 8 * luma) / (16 * luma),
                                   ((1 << 17) + 8 * chroma) / (16 * chroma)};
        quantTables->dcMultiplier[n] = {16 * luma, 16 * chroma};
      }
    }
  }
}

void CMBCore::BuildH264Tables() {
  static const int kPercent[3] = {66, 70, 73};
  H264QuantRecord* records = reinterpret_cast<H264QuantRecord*>(quantTables);
  for (int qp = 12; qp <= 51; ++qp) {
    for (int kind = 0; kind < 3; ++kind) {
      H264QuantRecord* record = new (&records[3 * (qp - 12) + kind]) H264QuantRecord{};
      for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
          const int position = 4 * r + c;
          const int positionClass = H264PositionClass(r, c);
          const int m = (kH264ForwardMultiplier[qp % 6][positionClass] * 4) >> (qp / 6);
          record->multiplier[position] = static_cast<int16_t>(m);
          const int64_t divisor = std::max(m, 2);
          int64_t threshold;
          if (kind == 2) {
            threshold = (int64_t{73} * (1 << 17) / 100) / divisor + 1;
          } else {
            threshold = position == 0
                            ? 0
                            : (int64_t{kPercent[kind] + r + c} * (1 << 17) / 100) / divisor + 1;
          }
          record->threshold[position] = static_cast<int16_t>(std::min<int64_t>(threshold, 32767));
          record->levelScale[position] =
              static_cast<int16_t>(kH264LevelScale[qp % 6][positionClass] << (qp / 6));
        }
      }
    }
  }
}

void CMBCore::SetIntraDcPrecision(int precision) {
  assert(quantTables != nullptr && precision >= 0 && precision <= 3);
  if (precision == intraDcPrecision) return;
  for (int n = 0; n < kQuantIndexCount; ++n) {
    quantTables->quant[n].intraReciprocal[0] = static_cast<uint16_t>(1024 << precision);
    quantTables->dcQuant[n] = {1024 << precision, 1024 << precision};
    quantTables->dequant[n].intraMultiplier[0] = 1 << (7 - precision);
    quantTables->dcMultiplier[n] = {1 << (7 - precision), 1 << (7 - precision)};
  }
  intraDcPrecision = precision;
}

void CMBCore::SelectQuantizer(int k, bool intra) {
  assert(quantTables != nullptr && k > 0 && k < kQuantIndexCount && (k & 31) != 0);
  const QuantRow& row = quantTables->quant[k];
  currentReciprocals = intra ? row.intraReciprocal : row.interReciprocal;
  currentDcQuant = &quantTables->dcQuant[k];
  currentDeadZone = (k & 31) >= 20 ? row.deadZoneThreshold : nullptr;
}

void CMBCore::SelectIntraDequantizer(int k) {
  assert(quantTables != nullptr && k > 0 && k < kQuantIndexCount);
  currentDequant = quantTables->dequant[k].intraMultiplier;
  currentDcMultiplier = &quantTables->dcMultiplier[k];
}

void CMBCore::SelectInterDequantizer(int k) {
  assert(quantTables != nullptr && k > 0 && k < kQuantIndexCount);
  currentDequant = quantTables->dequant[k].interMultiplier;
  currentDcMultiplier = &quantTables->dcMultiplier[k];
}

const H264QuantRecord* CMBCore::H264Records() const {
  return std::launder(reinterpret_cast<const H264QuantRecord*>(quantTables));
}

void CMBCore::SelectQuantRecord(int internalQp, int kind) {
  assert(quantTables != nullptr && kind >= 0 && kind < 3);
  // Records exist for internal QPs 0..39 only; an index outside would read past the table
  // block, so it is held to the nearest record and reported.
  if (internalQp < 0 || internalQp > kH264MaxInternalQp) {
    platform::DebugOutput("CMBCore::SelectQuantRecord: internal QP " + std::to_string(internalQp) +
                          " outside 0.." + std::to_string(kH264MaxInternalQp) + ", clamped\n");
    internalQp = internalQp < 0 ? 0 : kH264MaxInternalQp;
  }
  currentQuantRecord = H264Records() + 3 * internalQp + kind;
}

}  // namespace orx::dsp
