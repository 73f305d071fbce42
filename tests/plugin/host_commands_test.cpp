// The host's commands on the built plug-in: what a user sees.
#include <fstream>

#include "support/y4m.h"
#include "tests/plugin/plugin_test_fixture.h"
#include "tests/support/process.h"

namespace orx::plugin::test {
namespace {

class HostCommands : public PluginTest {
 protected:
  orx::test::ProcessResult Run(std::vector<std::string> args) {
    std::string table = dir_ + "/cpuid";
    std::ofstream(table) << GatePassingProcessorTableText();
    orx::test::ProcessOptions options;
    options.setEnv["ORX_REGISTRY"] = dir_ + "/registry";
    options.setEnv["ORX_CPUID_TABLE"] = table;
    options.setEnv["ORX_PROCESSOR_COUNT"] = "4";
    args.insert(args.begin(), orx::test::ProgramDir() + "/orx-export");
    return orx::test::RunProcess(args, options);
  }
};

TEST_F(HostCommands, SummaryOutputSettingsAndExtension) {
  orx::test::ProcessResult r = Run({"summary", "--type", "MPG2", "--pattern", "720x480@29.97"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "video: ORX Accelerated MPEG-2, NTSC, 720x480, 29.97 [fps], 3836.2 [Kbps], Standard "
            "4:3, Quality 4.0\naudio: MPA2, 128 [kbps] 48.000 kHz, Stereo\nbitrate: 3836.2 Kbps\n");
  r = Run({"output-settings", "--set", "ORXAverageBitrate=8000", "--set", "ADBEVideoFPS=48000000"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  // The rate change resets the bit rate to its default for 25 frames per second.
  EXPECT_NE(r.out.find("fieldOrder=1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("bytesPerSecond=400000\n"), std::string::npos) << r.out;
  r = Run({"extension", "--set", "ORXMultiplexerContainer=0"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "m2v\n");
}

TEST_F(HostCommands, SourceFromY4mAndWavFiles) {
  std::string y4m = dir_ + "/clip.y4m";
  support::Y4mHeader header;
  header.width = 352;
  header.height = 288;
  header.rateNum = 25;
  header.rateDen = 1;
  support::Y4mWriter writer;
  ASSERT_TRUE(writer.Open(y4m, header));
  std::vector<uint8_t> frame(header.FrameBytes(), 128);
  ASSERT_TRUE(writer.WriteFrame(frame.data(), frame.size()));
  ASSERT_TRUE(writer.Close());
  // A WAV header of 44100 Hz stereo 16-bit and no samples.
  const unsigned char wav[44] = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                 16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0,
                                 4, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
  std::ofstream(dir_ + "/tone.wav", std::ios::binary).write(reinterpret_cast<const char*>(wav), 44);
  orx::test::ProcessResult r = Run({"params", "--input", y4m, "--audio", dir_ + "/tone.wav"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("ADBEVideoWidth           Width                        = 352\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("= 48000000\n"), std::string::npos) << r.out;  // 25 frames per second
  // The sequence's audio runs at 48 kHz whatever the WAV's rate: the host resamples it.
  EXPECT_NE(r.out.find("Sample Frequency             = 48000\n"), std::string::npos) << r.out;
}

TEST_F(HostCommands, UserErrorsAreRefusedClearly) {
  struct Row {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  };
  const Row rows[] = {
      {{"params", "--set", "NoSuchParam=1"}, 1, "no parameter NoSuchParam"},
      {{"params", "--set", "ADBEVideoWidth=wide"}, 1, "cannot read \"wide\""},
      {{"params", "--type", "H264"}, 1, "no exporter H264 is registered"},
      {{"params", "--pattern", "720x480"}, 1, "a pattern is WIDTHxHEIGHT@RATE"},
      {{"frobnicate"}, 1, "unknown command frobnicate"},
      {{"help"}, 1, "help needs --button ID"},
      {{"list", "--plugin", "/nonexistent/ExporterORXEncoder.so"}, 2, "cannot load the plug-in"},
  };
  for (const Row& row : rows) {
    orx::test::ProcessResult r = Run(row.args);
    EXPECT_EQ(r.exitCode, row.exitCode) << row.args[0] << "\n" << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace orx::plugin::test
