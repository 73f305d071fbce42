// Slot 35 of the macroblock cores and the motion-compensation drivers, built with the
// motion-compensation kernels.
#include "venc/dsp/mb_core_variants.h"
#include "venc/dsp/not_built.h"

namespace orx::dsp {

void CMBCore::InitMcTables() { ReportNotBuilt("CMBCore", "InitMcTables"); }
void CMBCoreXMM2::InitMcTables() { ReportNotBuilt("CMBCoreXMM2", "InitMcTables"); }
void CMBCoreXMM3::InitMcTables() { ReportNotBuilt("CMBCoreXMM3", "InitMcTables"); }

// The motion-compensation drivers, built with the kernels they call.
void CMBCore::MotionCompensateMB(uint8_t* const*, uint8_t* const*, int, int, int, int, int) {
  ReportNotBuilt("CMBCore", "MotionCompensateMB");
}
void CMBCore::MotionCompensateMBBidir(uint8_t* const*, uint8_t* const*, uint8_t* const*, int, int,
                                      int, int, int, int, int) {
  ReportNotBuilt("CMBCore", "MotionCompensateMBBidir");
}
void CMBCore::MotionCompensateMBRounded(uint8_t* const*, uint8_t* const*, int, int, int, int, int) {
  ReportNotBuilt("CMBCore", "MotionCompensateMBRounded");
}
void CMBCore::MotionCompensateMBRoundedBidir(uint8_t* const*, uint8_t* const*, uint8_t* const*, int,
                                             int, int, int, int, int, int) {
  ReportNotBuilt("CMBCore", "MotionCompensateMBRoundedBidir");
}
void CMBCore::MotionCompensateMBVc1HalfPel(uint8_t* const*, uint8_t* const*, int, int, int, int,
                                           int, int, int) {
  ReportNotBuilt("CMBCore", "MotionCompensateMBVc1HalfPel");
}
void CMBCore::MotionCompensateMBVc1HalfPelBidir(uint8_t* const*, uint8_t* const*, uint8_t* const*,
                                                int, int, int, int, int, int, int) {
  ReportNotBuilt("CMBCore", "MotionCompensateMBVc1HalfPelBidir");
}
void CMBCore::MotionCompensateMBVc1(uint8_t* const*, uint8_t* const*, int, int, int, int, int, int,
                                    int, int) {
  ReportNotBuilt("CMBCore", "MotionCompensateMBVc1");
}
void CMBCore::MotionCompensateMBVc1Bidir(uint8_t* const*, uint8_t* const*, uint8_t* const*, int,
                                         int, int, int, int, int, int, int) {
  ReportNotBuilt("CMBCore", "MotionCompensateMBVc1Bidir");
}
void CMBCore::MotionCompensateFieldMB(uint8_t* const*, uint8_t* const*, int, int, int, int, int,
                                      int, int) {
  ReportNotBuilt("CMBCore", "MotionCompensateFieldMB");
}
void CMBCore::MotionCompensateFieldMBBidir(uint8_t* const*, uint8_t* const*, uint8_t* const*, int,
                                           int, int, int, int, int, int, int, int, int) {
  ReportNotBuilt("CMBCore", "MotionCompensateFieldMBBidir");
}

}  // namespace orx::dsp
