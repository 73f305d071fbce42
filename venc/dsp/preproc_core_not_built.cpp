// Preprocessing core bodies not written yet: the reference bodies, the SSE2 class and the
// four MMX bodies it inherits.
#include "venc/dsp/not_built.h"
#include "venc/dsp/preproc_core_variants.h"

namespace orx::dsp {

const uint8_t* CPreprocCore::ConvertUYVY(int, int, int, int, const uint8_t*, uint8_t* const*, int) {
  ReportNotBuilt("CPreprocCore", "ConvertUYVY");
}
const uint8_t* CPreprocCore::ConvertYUY2(int, int, int, int, const uint8_t*, uint8_t* const*, int) {
  ReportNotBuilt("CPreprocCore", "ConvertYUY2");
}
void CPreprocCore::MedianFilter(uint8_t*, int, int, int, int, int) {
  ReportNotBuilt("CPreprocCore", "MedianFilter");
}
void CPreprocCore::MedianFilterStep2(uint8_t*, int, int, int, int, int) {
  ReportNotBuilt("CPreprocCore", "MedianFilterStep2");
}
void CPreprocCore::MedianFilterBounded(uint8_t*, const uint8_t*, int, int, int, int, int, int, int,
                                       int) {
  ReportNotBuilt("CPreprocCore", "MedianFilterBounded");
}
void CPreprocCore::MedianFilterStep2Alt(uint8_t*, const uint8_t*, int, int, int, int, int, int, int,
                                        int) {
  ReportNotBuilt("CPreprocCore", "MedianFilterStep2Alt");
}
void CPreprocCore::DownscaleHorz(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCore", "DownscaleHorz");
}
void CPreprocCore::DownscaleHorzChroma(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCore", "DownscaleHorzChroma");
}
void CPreprocCore::Downscale2x2(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCore", "Downscale2x2");
}
void CPreprocCore::Downscale2x2Chroma(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCore", "Downscale2x2Chroma");
}
void CPreprocCore::DownscaleVert(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCore", "DownscaleVert");
}
void CPreprocCore::BlendWeighted(uint8_t*, const uint8_t*, const uint8_t*, int, int, int, int,
                                 int) {
  ReportNotBuilt("CPreprocCore", "BlendWeighted");
}
void CPreprocCoreMMX::NoiseGateRow(const uint8_t*, uint8_t*, int) {
  ReportNotBuilt("CPreprocCoreMMX", "NoiseGateRow");
}
void CPreprocCoreMMX::NoiseGate16(uint8_t*, const uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "NoiseGate16");
}
void CPreprocCoreMMX::Downscale2x2Chroma(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreMMX", "Downscale2x2Chroma");
}
void CPreprocCoreXMM2::FilterCombRows(uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "FilterCombRows");
}
void CPreprocCoreXMM2::FilterCombBlock16(uint8_t*, uint8_t*, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "FilterCombBlock16");
}
void CPreprocCoreXMM2::FilterCombRowsTwoSource(uint8_t*, uint8_t*, int, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "FilterCombRowsTwoSource");
}
void CPreprocCoreXMM2::FilterCombRowsWithTop(uint8_t*, int, int, int, uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "FilterCombRowsWithTop");
}
void CPreprocCoreXMM2::MedianFilter(uint8_t*, int, int, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "MedianFilter");
}
void CPreprocCoreXMM2::MedianFilterStep2(uint8_t*, int, int, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "MedianFilterStep2");
}
void CPreprocCoreXMM2::MedianFilterBounded(uint8_t*, const uint8_t*, int, int, int, int, int, int,
                                           int, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "MedianFilterBounded");
}
void CPreprocCoreXMM2::MedianFilterStep2Alt(uint8_t*, const uint8_t*, int, int, int, int, int, int,
                                            int, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "MedianFilterStep2Alt");
}
void CPreprocCoreXMM2::DownscaleHorz(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "DownscaleHorz");
}
void CPreprocCoreXMM2::DownscaleHorzChroma(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "DownscaleHorzChroma");
}
void CPreprocCoreXMM2::Downscale2x2(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "Downscale2x2");
}
void CPreprocCoreXMM2::DownscaleVert(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM2", "DownscaleVert");
}
const uint8_t* CPreprocCoreXMM2::ConvertUYVYMode0(int, int, int, int, const uint8_t*, uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "ConvertUYVYMode0");
}
const uint8_t* CPreprocCoreXMM2::ConvertUYVYMode1(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                  uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "ConvertUYVYMode1");
}
const uint8_t* CPreprocCoreXMM2::ConvertUYVYMode2(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                  uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "ConvertUYVYMode2");
}
const uint8_t* CPreprocCoreXMM2::ConvertUYVYMode3(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                  uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "ConvertUYVYMode3");
}
const uint8_t* CPreprocCoreXMM2::ConvertUYVYMode4(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                  uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "ConvertUYVYMode4");
}
const uint8_t* CPreprocCoreXMM2::ConvertYUY2Mode0(int, int, int, int, const uint8_t*, uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "ConvertYUY2Mode0");
}
const uint8_t* CPreprocCoreXMM2::ConvertYUY2Mode1(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                  uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "ConvertYUY2Mode1");
}
const uint8_t* CPreprocCoreXMM2::ConvertYUY2Mode2(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                  uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "ConvertYUY2Mode2");
}
const uint8_t* CPreprocCoreXMM2::ConvertYUY2Mode3(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                  uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "ConvertYUY2Mode3");
}
const uint8_t* CPreprocCoreXMM2::ConvertYUY2Mode4(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                  uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM2", "ConvertYUY2Mode4");
}

}  // namespace orx::dsp
