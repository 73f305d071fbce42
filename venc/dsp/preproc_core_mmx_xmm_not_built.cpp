// Own bodies of the MMX and integer-SSE preprocessing cores, which the factories build only
// for processors without SSE2.
#include "venc/dsp/not_built.h"
#include "venc/dsp/preproc_core_variants.h"

namespace orx::dsp {

const uint8_t* CPreprocCoreMMX::CopyPlane(int, int, int, int, const uint8_t*, uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "CopyPlane");
}
void CPreprocCoreMMX::InterleaveUV(int, int, int, int, const uint8_t*, const uint8_t*, uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "InterleaveUV");
}
int CPreprocCoreMMX::BlockDeviation(const uint8_t*, const uint8_t*, int, int*, const void*) {
  ReportNotBuilt("CPreprocCoreMMX", "BlockDeviation");
}
int CPreprocCoreMMX::FieldFrameDifference(const uint8_t*, int) {
  ReportNotBuilt("CPreprocCoreMMX", "FieldFrameDifference");
}
void CPreprocCoreMMX::FilterCombRows(uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreMMX", "FilterCombRows");
}
void CPreprocCoreMMX::FilterCombBlock16(uint8_t*, uint8_t*, int) {
  ReportNotBuilt("CPreprocCoreMMX", "FilterCombBlock16");
}
void CPreprocCoreMMX::FilterCombRowsTwoSource(uint8_t*, uint8_t*, int, int) {
  ReportNotBuilt("CPreprocCoreMMX", "FilterCombRowsTwoSource");
}
void CPreprocCoreMMX::FilterCombRowsWithTop(uint8_t*, int, int, int, uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "FilterCombRowsWithTop");
}
void CPreprocCoreMMX::DownscaleHorz(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreMMX", "DownscaleHorz");
}
void CPreprocCoreMMX::DownscaleHorzChroma(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreMMX", "DownscaleHorzChroma");
}
void CPreprocCoreMMX::Downscale2x2(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreMMX", "Downscale2x2");
}
void CPreprocCoreMMX::DownscaleVert(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreMMX", "DownscaleVert");
}
const uint8_t* CPreprocCoreMMX::ConvertUYVYMode0(int, int, int, int, const uint8_t*, uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "ConvertUYVYMode0");
}
const uint8_t* CPreprocCoreMMX::ConvertUYVYMode1(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "ConvertUYVYMode1");
}
const uint8_t* CPreprocCoreMMX::ConvertUYVYMode2(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "ConvertUYVYMode2");
}
const uint8_t* CPreprocCoreMMX::ConvertUYVYMode3(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "ConvertUYVYMode3");
}
const uint8_t* CPreprocCoreMMX::ConvertUYVYMode4(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "ConvertUYVYMode4");
}
const uint8_t* CPreprocCoreMMX::ConvertYUY2Mode0(int, int, int, int, const uint8_t*, uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "ConvertYUY2Mode0");
}
const uint8_t* CPreprocCoreMMX::ConvertYUY2Mode1(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "ConvertYUY2Mode1");
}
const uint8_t* CPreprocCoreMMX::ConvertYUY2Mode2(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "ConvertYUY2Mode2");
}
const uint8_t* CPreprocCoreMMX::ConvertYUY2Mode3(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "ConvertYUY2Mode3");
}
const uint8_t* CPreprocCoreMMX::ConvertYUY2Mode4(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreMMX", "ConvertYUY2Mode4");
}
const uint8_t* CPreprocCoreXMM::CopyPlane(int, int, int, int, const uint8_t*, uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "CopyPlane");
}
void CPreprocCoreXMM::InterleaveUV(int, int, int, int, const uint8_t*, const uint8_t*, uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "InterleaveUV");
}
int CPreprocCoreXMM::BlockDeviation(const uint8_t*, const uint8_t*, int, int*, const void*) {
  ReportNotBuilt("CPreprocCoreXMM", "BlockDeviation");
}
int CPreprocCoreXMM::SubBlockMeans4x4(const uint8_t*, int, int*, const void*) {
  ReportNotBuilt("CPreprocCoreXMM", "SubBlockMeans4x4");
}
int CPreprocCoreXMM::FieldFrameDifference(const uint8_t*, int) {
  ReportNotBuilt("CPreprocCoreXMM", "FieldFrameDifference");
}
void CPreprocCoreXMM::FilterCombRows(uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM", "FilterCombRows");
}
void CPreprocCoreXMM::FilterCombBlock16(uint8_t*, uint8_t*, int) {
  ReportNotBuilt("CPreprocCoreXMM", "FilterCombBlock16");
}
void CPreprocCoreXMM::FilterCombRowsTwoSource(uint8_t*, uint8_t*, int, int) {
  ReportNotBuilt("CPreprocCoreXMM", "FilterCombRowsTwoSource");
}
void CPreprocCoreXMM::FilterCombRowsWithTop(uint8_t*, int, int, int, uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "FilterCombRowsWithTop");
}
void CPreprocCoreXMM::MedianFilter(uint8_t*, int, int, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM", "MedianFilter");
}
void CPreprocCoreXMM::MedianFilterStep2(uint8_t*, int, int, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM", "MedianFilterStep2");
}
void CPreprocCoreXMM::MedianFilterBounded(uint8_t*, const uint8_t*, int, int, int, int, int, int,
                                          int, int) {
  ReportNotBuilt("CPreprocCoreXMM", "MedianFilterBounded");
}
void CPreprocCoreXMM::DownscaleHorz(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM", "DownscaleHorz");
}
void CPreprocCoreXMM::DownscaleHorzChroma(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM", "DownscaleHorzChroma");
}
void CPreprocCoreXMM::DownscaleVert(uint8_t*, const uint8_t*, int, int, int) {
  ReportNotBuilt("CPreprocCoreXMM", "DownscaleVert");
}
const uint8_t* CPreprocCoreXMM::ConvertUYVYMode0(int, int, int, int, const uint8_t*, uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "ConvertUYVYMode0");
}
const uint8_t* CPreprocCoreXMM::ConvertUYVYMode1(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "ConvertUYVYMode1");
}
const uint8_t* CPreprocCoreXMM::ConvertUYVYMode2(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "ConvertUYVYMode2");
}
const uint8_t* CPreprocCoreXMM::ConvertUYVYMode3(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "ConvertUYVYMode3");
}
const uint8_t* CPreprocCoreXMM::ConvertUYVYMode4(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "ConvertUYVYMode4");
}
const uint8_t* CPreprocCoreXMM::ConvertYUY2Mode0(int, int, int, int, const uint8_t*, uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "ConvertYUY2Mode0");
}
const uint8_t* CPreprocCoreXMM::ConvertYUY2Mode1(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "ConvertYUY2Mode1");
}
const uint8_t* CPreprocCoreXMM::ConvertYUY2Mode2(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "ConvertYUY2Mode2");
}
const uint8_t* CPreprocCoreXMM::ConvertYUY2Mode3(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "ConvertYUY2Mode3");
}
const uint8_t* CPreprocCoreXMM::ConvertYUY2Mode4(int, int, int, int, int, const uint8_t*, uint8_t*,
                                                 uint8_t*) {
  ReportNotBuilt("CPreprocCoreXMM", "ConvertYUY2Mode4");
}

}  // namespace orx::dsp
