// The H.264 deblocking slots of the reference and SSE2 macroblock cores, built with the H.264
// in-loop deblocking.
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/not_built.h"

namespace orx::dsp {

void CMBCore::DeblockLumaHorzEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*) {
  ReportNotBuilt("CMBCore", "DeblockLumaHorzEdge");
}
void CMBCore::DeblockChromaHorzEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*) {
  ReportNotBuilt("CMBCore", "DeblockChromaHorzEdge");
}
void CMBCore::DeblockLumaVertEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*, int) {
  ReportNotBuilt("CMBCore", "DeblockLumaVertEdge");
}
void CMBCore::DeblockChromaVertEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*, int) {
  ReportNotBuilt("CMBCore", "DeblockChromaVertEdge");
}
void CMBCoreXMM2::DeblockLumaHorzEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM2", "DeblockLumaHorzEdge");
}
void CMBCoreXMM2::DeblockChromaHorzEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*) {
  ReportNotBuilt("CMBCoreXMM2", "DeblockChromaHorzEdge");
}
void CMBCoreXMM2::DeblockLumaVertEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "DeblockLumaVertEdge");
}
void CMBCoreXMM2::DeblockChromaVertEdge(uint8_t*, uint8_t*, int, uint32_t, const uint8_t*, int) {
  ReportNotBuilt("CMBCoreXMM2", "DeblockChromaVertEdge");
}

}  // namespace orx::dsp
