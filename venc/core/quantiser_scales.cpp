#include "venc/core/quantiser_scales.h"

#include "venc/common/quantiser_qp.h"
#include "venc/dsp/quant_tables.h"

namespace orx::venc {
namespace {

std::vector<int> BuildNonLinearQuantToCode() {
  std::vector<int> table(113);
  for (int q = 0; q <= 112; ++q) {
    int code = 1;
    while (code < 31 && orx::dsp::kNonLinearQuantScale[code] < q) ++code;
    table[q] = code;
  }
  return table;
}

std::vector<int> BuildH264CodeToQuant() {
  const int maxCode = kQuantiserToQp[kQuantiserToQpSize - 1];
  std::vector<int> table(maxCode + 1);
  for (int code = 0; code <= maxCode; ++code) {
    int q = 0;
    while (q < kQuantiserToQpSize - 1 && kQuantiserToQp[q] < code) ++q;
    table[code] = q;
  }
  return table;
}

}  // namespace

const std::vector<int>& NonLinearQuantToCode() {
  static const std::vector<int> table = BuildNonLinearQuantToCode();
  return table;
}

const std::vector<int>& NonLinearCodeToQuant() {
  static const std::vector<int> table(orx::dsp::kNonLinearQuantScale,
                                      orx::dsp::kNonLinearQuantScale + 32);
  return table;
}

const std::vector<int>& H264QuantToCode() {
  static const std::vector<int> table(kQuantiserToQp, kQuantiserToQp + kQuantiserToQpSize);
  return table;
}

const std::vector<int>& H264CodeToQuant() {
  static const std::vector<int> table = BuildH264CodeToQuant();
  return table;
}

}  // namespace orx::venc
