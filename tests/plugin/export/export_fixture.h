#pragma once
// An export through the whole road inside the test process: the host's suites and render
// pool, the plug-in (linked in) and the scripted engine in place of the transcode engine.
#include <string>
#include <utility>
#include <vector>

#include "host/export_command.h"
#include "tests/plugin/export/scripted_engine.h"
#include "tests/plugin/plugin_test_fixture.h"

namespace orx::plugin::test {

struct ExportRun {
  bool ran = false;
  std::string error;
  host::ExportOutcome outcome;
  EngineRecord engine;
  bool suitesBalance = false;
};

class ExportTest : public PluginTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Exports the source with the exporter of the file type; edits are a user's, in order.
  ExportRun Export(const host::SourceDescription& source, host::ExportOptions options,
                   const std::vector<std::pair<std::string, std::string>>& edits = {},
                   uint32_t fileType = 0x4D504732 /* MPG2 */);

  static host::SourceDescription Pattern(int width = 352, int height = 240);
  // Export options of a short pattern export into the case's folder.
  host::ExportOptions Options(int frames, const std::string& name = "out.m2v");

  EngineScript script_;
  // The engine library and the component libraries of the library folder instead of the
  // scripted engine.
  bool realEngine_ = false;
};

// PSNR of two planar 4:2:0 pictures' luma planes (99 when equal).
double LumaPsnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width,
                int height);

}  // namespace orx::plugin::test
