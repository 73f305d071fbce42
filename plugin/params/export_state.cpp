#include "plugin/params/export_state.h"

namespace orx::plugin {
namespace {
ExportState g_state{};
}  // namespace

ExportState& GlobalExportState() { return g_state; }

void ResetExportStateForTest() { g_state = ExportState{}; }

}  // namespace orx::plugin
