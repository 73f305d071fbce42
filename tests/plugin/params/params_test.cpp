// The parameter set after defaults and post-processing, against golden files written from the
// parameter tables; the option parameters; the default bit rate and frame duration.
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/basic_suite.h"
#include "host/host_services.h"
#include "plugin/params/export_state.h"
#include "plugin/params/exporter_file_type.h"
#include "plugin/params/exporter_instance.h"
#include "plugin/params/param_model.h"
#include "tests/plugin/plugin_test_fixture.h"
#include "tests/support/process.h"

namespace orx::plugin::test {
namespace {

std::string ReadGolden(const std::string& name) {
  std::ifstream in(orx::test::SourceDir() + "/tests/data/plugin/golden/" + name);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_FALSE(ss.str().empty()) << "missing golden file " << name;
  return ss.str();
}

using Params = PluginTest;

TEST_F(Params, DumpAfterPostProcessingMatchesGoldenFiles) {
  struct Row {
    const char* type;
    const char* pattern;
    const char* golden;
  };
  const Row rows[] = {
      {"MPG2", "720x480@29.97", "MPG2_720x480_2997.json"},
      {"MP2B", "720x480@29.97", "MP2B_720x480_2997.json"},
      {"H264", "720x480@29.97", "H264_720x480_2997.json"},
      {"264B", "720x480@29.97", "264B_720x480_2997.json"},
      {"MPG2", "1920x1080@23.976", "MPG2_1920x1080_23976.json"},
      {"MPG2", "0x0@29.97", "MPG2_0x0_2997.json"},
  };
  SetDword("Software\\ORX\\AdobePluginCS4", "ShowOnGUI", 0x60000);
  std::string table = dir_ + "/cpuid";
  std::ofstream(table) << GatePassingProcessorTableText();
  orx::test::ProcessOptions options;
  options.setEnv["ORX_REGISTRY"] = dir_ + "/registry";
  options.setEnv["ORX_CPUID_TABLE"] = table;
  options.setEnv["ORX_PROCESSOR_COUNT"] = "4";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.golden);
    orx::test::ProcessResult r = orx::test::RunProcess(
        {orx::test::ProgramDir() + "/orx-export", "params", "--json", "--type", row.type,
         "--pattern", row.pattern, "--tone"},
        options);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, ReadGolden(row.golden));
  }
}

TEST_F(Params, F4vThroughTheHandlersMatchesItsGoldenFile) {
  Open(kFileTypeF4v);
  EXPECT_EQ(host::StoreFor(exporterId_).ToJson("F4V_"), ReadGolden("F4V__720x480_2997.json"));
}

TEST_F(Params, ShowOnGuiShowsAndEnablesTheOptions) {
  struct Row {
    uint32_t showOnGui;
    bool exists;
    bool visible;
    bool enabled;
  };
  const Row rows[] = {{0x20010, false, false, false},
                      {0x100, false, false, false},
                      {0x707, true, true, true},
                      {0x7, true, true, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.showOnGui);
    SetDword("Software\\ORX\\AdobePluginCS4", "ShowOnGUI", row.showOnGui);
    Open(kFileTypeMpg2);
    for (const char* id : {"ORXLogFile", "ORXNumEncoders", "ORXNumGPUs"}) {
      host::StoredParam* p = host::StoreFor(exporterId_).FindParam(0, id);
      ASSERT_EQ(p != nullptr, row.exists) << id;
      if (!p) continue;
      EXPECT_EQ(p->hidden == 0, row.visible) << id;
      EXPECT_EQ(p->disabled == 0, row.enabled) << id;
    }
    EXPECT_EQ(host::StoreFor(exporterId_).FindGroup(0, "ORXOptions") != nullptr, row.exists);
    Close();
  }
}

TEST_F(Params, GpuCountFollowsTheProcessorsAndLaterInstancesKeepTheConfiguration) {
  SetDword("Software\\ORX\\AdobePluginCS4", "ShowOnGUI", 0x707);
  RemoveValue("Software\\ORX\\AdobePluginCS4", "GPUFlags");
  PresentProcessors(2);
  Open(kFileTypeMpg2);
  EXPECT_EQ(Param("ORXNumGPUs").maximum.intValue, 2);
  EXPECT_EQ(ListInts("ORXNumGPUs"), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(Param("ORXNumGPUs").value.intValue, 1);
  EXPECT_EQ(Param("ORXNumEncoders").value.intValue, 3);
  EXPECT_EQ(Param("ORXLogFile").value.text[0], u'\\');
  Close();
  // The configuration is set up once per process: a later instance starts from its state.
  GlobalExportState().config.encoderParams.gopLength = 12;
  Open(kFileTypeMpg2);
  EXPECT_EQ(Param("ORXKeyframeSpacing").value.intValue, 12);
}

TEST_F(Params, SequenceOfZeroSizeIsNotCaptured) {
  host::SourceDescription source;
  source.width = source.height = 0;
  Open(kFileTypeMpg2, source);
  EXPECT_EQ(GlobalExportState().sequence.captured, 0u);
  EXPECT_EQ(Param("ADBEVideoWidth").value.intValue, 1440);
  EXPECT_EQ(Param("ADBEVideoHeight").value.intValue, 1080);
  Close();
  Open(kFileTypeMpg2);
  EXPECT_EQ(GlobalExportState().sequence.captured, 1u);
  EXPECT_EQ(GlobalExportState().sequence.width, 720u);
}

TEST_F(Params, ComputeDefaultBitrateExamples) {
  struct Row {
    uint32_t w, h;
    double fps;
    double mbps;
  };
  const Row rows[] = {{720, 480, 30000.0 / 1001, 3.8361638},
                      {720, 576, 25, 3.84},
                      {1920, 1080, 30000.0 / 1001, 23.016983},
                      {320, 240, 15, 0.9266667},
                      {352, 240, 30000.0 / 1001, 1.4377289},
                      {1920, 1080, 23.976, 1920.0 * 1080 * 23.976 / 2700 / 1000}};
  for (const Row& row : rows) {
    EXPECT_NEAR(ComputeDefaultBitrate(row.w, row.h, row.fps), row.mbps, 5e-7) << row.w << "x" << row.h;
  }
  // The pixel count wraps in 32 bits: 65536 x 65536 is 0 pixels, so x = 0 and D = 0.5.
  EXPECT_EQ(ComputeDefaultBitrate(65536, 65536, 30), 0.5);
}

TEST_F(Params, DefaultFrameDuration) {
  host::RegisterHostSuites();
  const host_sdk::TimeSuite* time = nullptr;
  const void* suite = nullptr;
  host::SuiteRegistry::Instance().basicSuite()->AcquireSuite("Premiere Time Suite", 1, &suite);
  time = static_cast<const host_sdk::TimeSuite*>(suite);
  struct Row {
    double fps;
    int64_t ticks;
  };
  const int64_t t = host::kTicksPerSecond;
  const Row rows[] = {
      {25.0, t / 25},           {30000.0 / 1001, 40040000}, {0.0, 40040000},
      {61.0, 40040000},         {24000.0 / 1001, 50050000}, {60000.0 / 1001, 20020000},
      {12.5, t / 12},           {60.0, t / 60},
      {0.5, 40040000},  // below one frame per second: no whole rate to divide by
  };
  for (const Row& row : rows) EXPECT_EQ(DefaultFrameDuration(time, row.fps), row.ticks) << row.fps;
  EXPECT_EQ(DefaultFrameDuration(nullptr, 25.0), 0);
  host::SuiteRegistry::Instance().basicSuite()->ReleaseSuite("Premiere Time Suite", 1);
}

TEST_F(Params, PackRowsCopiesOnlyRowsNarrowerThanTheStride) {
  std::vector<uint8_t> source(4 * 10);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> packed(4 * 6, 0xEE);
  PackRows(source.data(), packed.data(), 10, 3, 2, 4);  // 6 of every 10 bytes
  for (int row = 0; row < 4; ++row) {
    for (int i = 0; i < 6; ++i) EXPECT_EQ(packed[row * 6 + i], row * 10 + i);
  }
  std::vector<uint8_t> untouched(40, 0xEE);
  PackRows(source.data(), untouched.data(), 10, 5, 2, 4);  // rows as wide as the stride
  PackRows(source.data(), untouched.data(), 10, 3, 2, 0);  // no rows
  EXPECT_EQ(untouched, std::vector<uint8_t>(40, 0xEE));
}

TEST_F(Params, InstanceSettingsInTheir32BitLayout) {
  ExporterInstance instance{};
  std::memcpy(instance.tag, kInstanceTag, sizeof(instance.tag));
  instance.audioExported = 1;
  instance.qualityIndex = -2;
  instance.width = 720;
  instance.height = 480;
  instance.frameRateNum = 30;
  instance.frameTicks = 0x0102030405060708;
  instance.averageKbps = 3836.25;
  instance.frameRateDen = 1001;
  instance.gpuCount = 4;
  instance.logFileName[0] = u'L';
  instance.logFileName[255] = 0x1234;
  instance.audioChannelType = 2;
  instance.audioSampleRate = 48000.0;
  instance.audioBitRate = 128000;
  uint8_t out[kInstanceSettingsBytes];
  SerializeInstanceSettings(instance, out);
  auto u32 = [&](int at) {
    return static_cast<uint32_t>(out[at]) | (out[at + 1] << 8) | (out[at + 2] << 16) |
           (static_cast<uint32_t>(out[at + 3]) << 24);
  };
  auto f64 = [&](int at) {
    double d;
    std::memcpy(&d, out + at, 8);
    return d;
  };
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out)), "ORX ENCODER ");
  EXPECT_EQ(u32(16), 1u);
  EXPECT_EQ(u32(32), 0xFFFFFFFEu);
  EXPECT_EQ(u32(40), 720u);
  EXPECT_EQ(u32(44), 480u);
  EXPECT_EQ(u32(48), 30u);
  EXPECT_EQ(u32(56), 0x05060708u);
  EXPECT_EQ(u32(60), 0x01020304u);
  EXPECT_EQ(f64(64), 3836.25);
  EXPECT_EQ(u32(72), 1001u);
  EXPECT_EQ(u32(112), 4u);
  EXPECT_EQ(out[116], 'L');
  EXPECT_EQ(out[116 + 2 * 255], 0x34);
  EXPECT_EQ(out[117 + 2 * 255], 0x12);
  EXPECT_EQ(u32(628), 2u);
  EXPECT_EQ(f64(632), 48000.0);
  EXPECT_EQ(u32(640), 128000u);
  for (int i = 644; i < kInstanceSettingsBytes; ++i) ASSERT_EQ(out[i], 0) << i;

  host_sdk::ExportRecord record{};
  instance.height = 0;
  record.privateData = &instance;
  EXPECT_EQ(WriteInstanceSettings(&record), 6);  // no frame size: nothing written
}

}  // namespace
}  // namespace orx::plugin::test
