#include "tests/plugin/export/export_fixture.h"

#include <cmath>
#include <filesystem>

#include "host/basic_suite.h"
#include "host/host_services.h"
#include "host/param_store.h"
#include "host/plugin_host.h"
#include "plugin/export/enc_session.h"
#include "plugin/startup/exporter_startup.h"

namespace orx::plugin::test {

void ExportTest::SetUp() {
  PluginTest::SetUp();
  script_ = EngineScript{};
}

void ExportTest::TearDown() {
  ScriptedEngine::Instance().Uninstall();
  SetSinkEndWaitMsForTest(0);
  PluginTest::TearDown();
}

host::SourceDescription ExportTest::Pattern(int width, int height) {
  host::SourceDescription s;
  s.width = width;
  s.height = height;
  return s;
}

host::ExportOptions ExportTest::Options(int frames, const std::string& name) {
  host::ExportOptions o;
  o.output = dir_ + "/" + name;
  o.frames = frames;
  o.showProgress = false;
  return o;
}

ExportRun ExportTest::Export(const host::SourceDescription& source, host::ExportOptions options,
                             const std::vector<std::pair<std::string, std::string>>& edits,
                             uint32_t fileType) {
  ExportRun run;
  if (realEngine_) {
    // The plug-in linked into this test finds its components through the install path only;
    // a short link to the library folder keeps it within the registry value's 255 characters
    // wherever the build folder lies.
    const std::string install = dir_ + "/lib";
    std::error_code ignored;
    std::filesystem::create_directory_symlink(orx::test::LibraryDir(), install, ignored);
    SetString("Software\\ORX\\AdobePluginCS4", "InstallPath", install);
  } else {
    ScriptedEngine::Instance().Install(script_);
  }
  ResetStartupStateForTest();
  host::SetCurrentSource(source);
  host::PluginHost plugin;
  plugin.UseEntry(&xSDKExport);
  int32_t final = 0;
  std::vector<host::RegisteredExporter> exporters = plugin.Startup(final);
  const host::RegisteredExporter* chosen = nullptr;
  for (const host::RegisteredExporter& e : exporters) {
    if (e.fileType == fileType) chosen = &e;
  }
  if (chosen == nullptr) {
    run.error = "exporter not registered";
    return run;
  }
  host::ExporterSession session(plugin, *chosen);
  session.Begin();
  session.GenerateDefaults();
  session.PostProcess();
  std::vector<std::pair<std::string, std::string>> all = {{"ORXLogFile", dir_ + "/orx.log"}};
  all.insert(all.end(), edits.begin(), edits.end());
  for (const auto& [id, value] : all) {
    int32_t answer = 0;
    std::string error;
    // As a host holding an old preset: values off a list (PCM audio, say) pass.
    if (!session.SetAndValidate(id, value, answer, error, /*unlisted=*/true))
      run.error += error + "\n";
  }
  run.ran = host::RunHostExport(session, source, options, run.outcome, run.error);
  session.End();
  host::DropStore(chosen->exporterId);
  run.engine = ScriptedEngine::Instance().Record();
  run.suitesBalance = host::SuiteRegistry::Instance().liveBlocks() == 0;
  for (const auto& [key, count] : host::SuiteRegistry::Instance().Outstanding()) {
    if (count != 0) run.suitesBalance = false;
  }
  return run;
}

double LumaPsnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w, int h) {
  size_t n = static_cast<size_t>(w) * h;
  if (a.size() < n || b.size() < n) return 0.0;
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  if (sum == 0.0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / sum);
}

}  // namespace orx::plugin::test
