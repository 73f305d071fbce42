// orx-export under hostile input, faults and signals, with the real plug-in and engine: each
// row is an input a careless or hostile user gives, with the exit status, the message, the
// files left (an earlier file of the output's name byte-identical, no staging file, no partial
// output) and, where it succeeds, what ffprobe reads.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/plugin/plugin_test_fixture.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

extern char** environ;

namespace orx::plugin::test {
namespace {

using orx::test::ProcessResult;

const char kEarlier[] = "an earlier file the user keeps\n";

std::string ReadAll(const std::string& path) {
  std::string bytes;
  orx::test::ReadFileBytes(path, bytes);
  return bytes;
}

// Every name in the folder, hidden ones too.
std::vector<std::string> FolderNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ExportHostile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = orx::test::MakeTempDir("export_hostile");
    std::ofstream(dir_ + "/cpuid") << GatePassingProcessorTableText();
    std::ofstream(dir_ + "/registry")
        << "HKCU\\Software\\ORX\\AdobePluginCS4\\GPUFlags = dword:0x00000000\n";
    options_.setEnv["ORX_REGISTRY"] = dir_ + "/registry";
    options_.setEnv["ORX_CPUID_TABLE"] = dir_ + "/cpuid";
    options_.workingDir = dir_;
    std::ofstream(dir_ + "/out.mpg") << kEarlier;
    // A FIFO, a device node (a FIFO where no device can be made) and a folder under names
    // an output could take.
    ASSERT_EQ(::mkfifo((dir_ + "/fifo.mpg").c_str(), 0644), 0);
    if (::mknod((dir_ + "/device.mpg").c_str(), S_IFCHR | 0644, makedev(1, 7)) != 0) {
      ASSERT_EQ(::mkfifo((dir_ + "/device.mpg").c_str(), 0644), 0);
    }
    ASSERT_TRUE(std::filesystem::create_directory(dir_ + "/folder.mpg"));
    fixtures_ = FolderNames(dir_);
  }

  std::vector<std::string> Command(const std::vector<std::string>& args) const {
    std::vector<std::string> all = {orx::test::ProgramDir() + "/orx-export"};
    all.insert(all.end(), args.begin(), args.end());
    return all;
  }

  // The earlier output is byte-identical and nothing else is left in the folder.
  void ExpectNothingLeft() const {
    EXPECT_EQ(ReadAll(dir_ + "/out.mpg"), kEarlier);
    EXPECT_EQ(FolderNames(dir_), fixtures_);
  }

  std::string dir_;
  std::vector<std::string> fixtures_;
  orx::test::ProcessOptions options_;
};

struct Row {
  const char* name;
  std::vector<std::string> args;
  int exit;
  const char* message;
};

// A short export of the pattern into out.mpg, then the row's arguments.
std::vector<std::string> ExportArgs(std::vector<std::string> args,
                                    const std::string& output = "out.mpg") {
  std::vector<std::string> all = {"export", "--no-progress", "--output", output,
                                  "--pattern", "64x48@25",   "--frames", "3"};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

TEST_F(ExportHostile, FailuresNameTheirCauseAndLeaveTheEarlierFileAlone) {
  const Row rows[] = {
      // An earlier file of the output's name survives a failed or cancelled export.
      {.name = "cancel", .args = ExportArgs({"--cancel-at", "1"}), .exit = 6,
       .message = "the export was cancelled; nothing was written to out.mpg (any earlier file of "
                  "that name is untouched)"},
      {.name = "failed write", .args = ExportArgs({"--fail-write", "2"}), .exit = 5,
       .message = "the export failed (answer 0x80030002); nothing was written to out.mpg: "
                  "ORX Encoder: the pass failed (write failed 1"},
      {.name = "odd scaled width",
       .args = ExportArgs({"--set", "ORXScaler=1", "--set", "ADBEVideoWidth=721"}), .exit = 1,
       .message = "refused ADBEVideoWidth=721: ORX Encoder: ADBEVideoWidth refused: the frame's "
                  "width and height must be even"},
      {.name = "odd scaled height",
       .args = ExportArgs({"--set", "ORXScaler=1", "--set", "ADBEVideoHeight=479"}), .exit = 1,
       .message = "must be even"},
      // Outputs that are not regular files are refused before anything runs.
      {.name = "FIFO output", .args = ExportArgs({}, "fifo.mpg"), .exit = 1,
       .message = "the output fifo.mpg exists and is not a regular file"},
      {.name = "device output", .args = ExportArgs({}, "device.mpg"), .exit = 1,
       .message = "the output device.mpg exists and is not a regular file"},
      {.name = "folder output", .args = ExportArgs({}, "folder.mpg"), .exit = 1,
       .message = "(a folder)"},
      {.name = "missing folder", .args = ExportArgs({}, "missing/out.mpg"), .exit = 1,
       .message = "cannot write the output missing/out.mpg: No such file or directory"},
      {.name = "name too long", .args = ExportArgs({}, std::string(300, 'n') + ".mpg"),
       .exit = 1, .message = "File name too long"},
      // Runaway frame rates.
      {.name = "one tick per frame", .args = ExportArgs({"--set", "ADBEVideoFPS=1"}), .exit = 1,
       .message = "ADBEVideoFPS takes one of 50050000 (23.976)"},
      {.name = "one tick per frame unlisted",
       .args = ExportArgs({"--unlisted", "--set", "ADBEVideoFPS=1"}), .exit = 1,
       .message = "at most 60 frames per second"},
      {.name = "frame rate above its maximum",
       .args = ExportArgs({"--set", "ADBEVideoFPS=1200000001"}), .exit = 1,
       .message = "ADBEVideoFPS takes a value from 1 to 1200000000, not 1200000001"},
      // Audio settings that left the export without its audio.
      {.name = "audio rate 0", .args = ExportArgs({"--tone", "--set", "ADBEAudioRatePerSecond=0"}),
       .exit = 1, .message = "ADBEAudioRatePerSecond takes one of 32000"},
      {.name = "audio rate 0 unlisted",
       .args = ExportArgs({"--tone", "--unlisted", "--set", "ADBEAudioRatePerSecond=0"}),
       .exit = 1, .message = "the audio encoder codes 32000, 44100 or 48000 Hz"},
      {.name = "audio rate nan", .args = ExportArgs({"--set", "ADBEAudioRatePerSecond=nan"}),
       .exit = 1, .message = "cannot read \"nan\""},
      {.name = "audio rate inf", .args = ExportArgs({"--set", "ADBEAudioRatePerSecond=inf"}),
       .exit = 1, .message = "cannot read \"inf\""},
      {.name = "audio rate 1e308", .args = ExportArgs({"--set", "ADBEAudioRatePerSecond=1e308"}),
       .exit = 1, .message = "ADBEAudioRatePerSecond takes one of"},
      {.name = "audio codec 0", .args = ExportArgs({"--tone", "--set", "ADBEAudioCodec=0"}),
       .exit = 1, .message = "ADBEAudioCodec takes one of 1"},
      // Usage errors: one line and a pointer to the help.
      {.name = "unknown option", .args = {"export", "--bogus"}, .exit = 1,
       .message = "orx-export: unknown argument --bogus; see orx-export --help\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ProcessResult r = orx::test::RunProcess(Command(row.args), options_);
    EXPECT_EQ(r.exitCode, row.exit) << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    if (row.exit != 0) {
      // The failure line is the last one.
      std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
      EXPECT_EQ(last.rfind("orx-export: ", 0), 0u) << r.err;
    }
    ExpectNothingLeft();
  }
}

// Every off-range or off-list value of the parameters a user can edit is refused with what the
// parameter takes; strict numbers only.
TEST_F(ExportHostile, ParameterValuesAreTakenAsADialogWouldTakeThem) {
  const struct {
    const char* edit;
    const char* message;
  } rows[] = {
      {"ORXKeyframeSpacing=0", "ORXKeyframeSpacing takes a value from 1 to 15, not 0"},
      {"ORXKeyframeSpacing=-1", "takes a value from 1 to 15, not -1"},
      {"ORXKeyframeSpacing=16", "takes a value from 1 to 15, not 16"},
      {"ORXSubKeySpacing=-1", "ORXSubKeySpacing takes a value from 0 to 3, not -1"},
      {"ORXSubKeySpacing=0", "ORXSubKeySpacing takes one of 1 (None), 3 (3), not 0"},
      {"ORXSubKeySpacing=4", "takes a value from 0 to 3, not 4"},
      {"ORXMultiplexerContainer=-1", "ORXMultiplexerContainer takes a value from 0 to 4"},
      {"ORXMultiplexerContainer=5", "ORXMultiplexerContainer takes a value from 0 to 4, not 5"},
      {"ORXMultiplexerContainer=16", "not 16"},
      {"ORXMultiplexerContainer=3", "ORXMultiplexerContainer takes one of 0"},
      {"ORXVideoAspect=1:0", "cannot read \"1:0\" as a value of ORXVideoAspect"},
      {"ORXVideoAspect=3:2", "ORXVideoAspect takes one of 1:1"},
      {"ADBEAudioNumChannels=-1", "ADBEAudioNumChannels takes one of 1 (Mono), 2 (Stereo)"},
      {"ADBEAudioNumChannels=0", "ADBEAudioNumChannels takes one of"},
      {"ADBEAudioNumChannels=16", "ADBEAudioNumChannels takes one of"},
      {"ORXAudioBitRate=nan", "cannot read \"nan\" as a value of ORXAudioBitRate"},
      {"ORXAudioBitRate=-1", "ORXAudioBitRate takes one of 96000"},
      {"ORXAudioBitRate=1e18", "ORXAudioBitRate takes one of 96000"},
      {"ORXQuality=nan", "cannot read \"nan\" as a value of ORXQuality"},
      {"ORXQuality=inf", "cannot read \"inf\" as a value of ORXQuality"},
      {"ORXQuality=6", "ORXQuality takes a value from 1 to 5, not 6"},
      {"ADBEVideoFPS=0", "ADBEVideoFPS takes a value from 1 to 1200000000, not 0"},
      {"ADBEVideoFPS=-1", "ADBEVideoFPS takes a value from 1 to 1200000000, not -1"},
      {"ORXKeyframeSpacing=0x10", "cannot read \"0x10\" as a value of ORXKeyframeSpacing"},
      {"ORXKeyframeSpacing= 5", "cannot read \" 5\" as a value of ORXKeyframeSpacing"},
      {"ORXKeyframeSpacing=5 ", "cannot read \"5 \""},
      {"ORXAverageBitrate=nan", "cannot read \"nan\" as a value of ORXAverageBitrate"},
      {"ADBEVideoWidth=nan", "cannot read \"nan\" as a value of ADBEVideoWidth"},
      {"ADBEVideoWidth=10000", "ADBEVideoWidth takes a value from 320 to 1920, not 10000"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.edit);
    ProcessResult r = orx::test::RunProcess(Command({"params", "--set", row.edit}), options_);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  // A listed value and a value off the list but inside the range with --unlisted pass.
  for (std::vector<std::string> args :
       {std::vector<std::string>{"params", "--set", "ORXKeyframeSpacing=12"},
        std::vector<std::string>{"params", "--unlisted", "--set", "ORXMultiplexerContainer=3"},
        std::vector<std::string>{"params", "--set", "ORXQuality=2.5e0"}}) {
    ProcessResult r = orx::test::RunProcess(Command(args), options_);
    EXPECT_EQ(r.exitCode, 0) << args.back() << r.err;
  }
}

// SIGTERM, SIGHUP and SIGQUIT cancel the export as SIGINT does; a second signal ends it at
// once. Either way the earlier file stays and nothing is left beside it.
TEST_F(ExportHostile, SignalsCancelAndLeaveNoPartialOutput) {
  // Two different signals, since a second one of the same kind may merge with the first.
  const struct {
    const char* name;
    std::vector<int> signals;
  } rows[] = {{"SIGTERM", {SIGTERM}},
              {"SIGHUP", {SIGHUP}},
              {"SIGQUIT", {SIGQUIT}},
              {"SIGINT", {SIGINT}},
              {"SIGTERM then SIGINT", {SIGTERM, SIGINT}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args =
        Command({"export", "--no-progress", "--output", dir_ + "/out.mpg", "--pattern",
                 "352x288@25", "--frames", "100000"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"ORX_REGISTRY=" + dir_ + "/registry",
                                    "ORX_CPUID_TABLE=" + dir_ + "/cpuid"};
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "ORX_", 4) != 0) env.push_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    // The error output goes beside the export's folder (which must end as it began), into a
    // folder of its own: a shared name would let concurrent runs overwrite each other's.
    const std::string errPath = orx::test::MakeTempDir("export_hostile_err") + "/hostile.err";
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Signalled once the plug-in has written into its staging file: the export is running.
    bool writing = false;
    for (int i = 0; i < 6000 && !writing; ++i) {
      for (const std::string& name : FolderNames(dir_)) {
        std::error_code ec;
        if (name.rfind(".out.orx-", 0) == 0 && std::filesystem::file_size(dir_ + "/" + name, ec) > 0)
          writing = true;
      }
      if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(writing);
    for (int signal : row.signals) ::kill(pid, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 6);
    std::string err = ReadAll(errPath);
    EXPECT_NE(err.find(row.signals.size() == 1 ? "the export was cancelled" : "stopped by a signal"),
              std::string::npos)
        << err;
    ExpectNothingLeft();
  }
}

// A 4:2:0 Y4M of the given rate (as its header's F tag reads) with frames grey pictures.
std::string Y4mText(const char* rate, int frames, int width = 64, int height = 48) {
  std::string text = std::string("YUV4MPEG2 W") + std::to_string(width) + " H" +
                     std::to_string(height) + " F" + rate + " Ip A1:1 C420jpeg\n";
  // 4:2:0: each chroma plane covers the odd last column and row too.
  const size_t frameBytes =
      static_cast<size_t>(width) * height + 2 * static_cast<size_t>((width + 1) / 2) * ((height + 1) / 2);
  for (int i = 0; i < frames; ++i) {
    text += "FRAME\n";
    text += std::string(frameBytes, static_cast<char>(16 + 20 * i));
  }
  return text;
}

// A 16-bit PCM WAV header and samples (the header's fields as given, so damaged ones too).
std::string WavText(uint32_t rate, uint16_t channels, const std::vector<int16_t>& samples) {
  auto le = [](uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
  };
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::string text = "RIFF" + le(36 + dataBytes, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) +
                     le(channels, 2) + le(rate, 4) + le(rate * channels * 2u, 4) +
                     le(channels * 2u, 2) + le(16, 2) + "data" + le(dataBytes, 4);
  for (int16_t v : samples) text += le(static_cast<uint16_t>(v), 2);
  return text;
}

// A stereo 1 kHz tone of the given length.
std::vector<int16_t> ToneSamples(uint32_t rate, double seconds) {
  std::vector<int16_t> samples;
  for (int64_t n = 0; n < static_cast<int64_t>(rate * seconds); ++n) {
    auto v = static_cast<int16_t>(std::lround(12000.0 * std::sin(2.0 * M_PI * 1000.0 * n / rate)));
    samples.push_back(v);
    samples.push_back(v);
  }
  return samples;
}

// Sources a user gives: slow, runaway and streamed video, audio at every rate and damaged WAVs.
TEST_F(ExportHostile, SourcesAreRenderedAtTheExportsRatesOrRefused) {
  std::ofstream(dir_ + "/one-fps.y4m", std::ios::binary) << Y4mText("1:1", 5);
  std::ofstream(dir_ + "/slow.y4m", std::ios::binary) << Y4mText("1:999999", 3);
  std::ofstream(dir_ + "/slowest.y4m", std::ios::binary) << Y4mText("1:2147483647", 3);
  std::ofstream(dir_ + "/fast.y4m", std::ios::binary) << Y4mText("1001:1", 3);
  std::ofstream(dir_ + "/clip.y4m", std::ios::binary) << Y4mText("25:1", 10);
  for (uint32_t rate : {8000u, 22050u}) {
    std::ofstream(dir_ + "/tone" + std::to_string(rate) + ".wav", std::ios::binary)
        << WavText(rate, 2, ToneSamples(rate, 0.4));
  }
  std::ofstream(dir_ + "/none.wav", std::ios::binary) << WavText(48000, 0, {0, 0});
  std::ofstream(dir_ + "/many.wav", std::ios::binary) << WavText(48000, 65535, {0, 0});
  fixtures_ = FolderNames(dir_);
  struct SourceRow {
    const char* name;
    std::vector<std::string> args;
    std::string standardInput = "";
    int exit = 0;
    const char* message = "";
    int frames = 0;          // the video frames ffprobe counts, when it succeeds
    const char* rate = "";   // the video stream's rate
    bool audio = false;      // a 48 kHz audio stream
  };
  const SourceRow rows[] = {
      {.name = "1 fps", .args = {"--input", "one-fps.y4m"}, .exit = 0,
       .message = "exported 120 frames", .frames = 120, .rate = "24000/1001"},
      {.name = "F1:999999", .args = {"--input", "slow.y4m"}, .exit = 1,
       .message = "the source's frame rate 1/999999 is outside what the host renders"},
      {.name = "F1:2147483647", .args = {"--input", "slowest.y4m"}, .exit = 1,
       .message = "outside what the host renders (1 frame per 10 s to 1000 frames per second)"},
      {.name = "F1001:1", .args = {"--input", "fast.y4m"}, .exit = 1,
       .message = "the source's frame rate 1001/1 is outside"},
      {.name = "stdin", .args = {"--input", "-", "--frames", "10"},
       .standardInput = Y4mText("25:1", 10), .exit = 0, .message = "exported 10 frames",
       .frames = 10, .rate = "25/1"},
      {.name = "stdin ending early", .args = {"--input", "-", "--frames", "12"},
       .standardInput = Y4mText("25:1", 4), .exit = 0, .message = "exported 12 frames",
       .frames = 12, .rate = "25/1"},
      {.name = "stdin without --frames", .args = {"--input", "-"},
       .standardInput = Y4mText("25:1", 3), .exit = 1,
       .message = "--input - is a pipe or FIFO: give its length with --frames N"},
      {.name = "8 kHz WAV", .args = {"--input", "clip.y4m", "--audio", "tone8000.wav"}, .exit = 0,
       .message = "exported 10 frames", .frames = 10, .rate = "25/1", .audio = true},
      {.name = "22.05 kHz WAV", .args = {"--input", "clip.y4m", "--audio", "tone22050.wav"},
       .exit = 0, .message = "exported 10 frames", .frames = 10, .rate = "25/1", .audio = true},
      {.name = "WAV on stdin", .args = {"--input", "clip.y4m", "--audio", "-"},
       .standardInput = WavText(44100, 1, std::vector<int16_t>(17640, 1000)), .exit = 0,
       .message = "exported 10 frames", .frames = 10, .rate = "25/1", .audio = true},
      {.name = "WAV of no channels", .args = {"--audio", "none.wav"}, .exit = 1,
       .message = "none.wav: 0 channels (1 to 8 are read)"},
      {.name = "WAV of 65535 channels", .args = {"--audio", "many.wav"}, .exit = 1,
       .message = "many.wav: 65535 channels"},
  };
  for (const SourceRow& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args = {"export", "--no-progress", "--output", "out.mpg"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    orx::test::ProcessOptions options = options_;
    options.input = row.standardInput;
    ProcessResult r = orx::test::RunProcess(Command(args), options);
    EXPECT_EQ(r.exitCode, row.exit) << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    if (row.exit != 0) {
      ExpectNothingLeft();
      continue;
    }
    std::map<std::string, std::string> v = orx::test::ProbeStream(dir_ + "/out.mpg", "v:0", true);
    EXPECT_EQ(v["nb_read_frames"], std::to_string(row.frames));
    EXPECT_EQ(v["r_frame_rate"], row.rate);
    std::map<std::string, std::string> a = orx::test::ProbeStream(dir_ + "/out.mpg", "a:0");
    EXPECT_EQ(a["sample_rate"], row.audio ? "48000" : "");
    EXPECT_EQ(FolderNames(dir_), fixtures_);
    std::ofstream(dir_ + "/out.mpg") << kEarlier;
  }
}

// An encoder that fails while audio still flows ends the export at once with the reason (the
// H.264 exporters' video encoder refuses an odd frame width on its first picture), whatever the
// container.
TEST_F(ExportHostile, AFailingEncoderWithAudioFlowingFailsAtOnce) {
  std::ofstream(dir_ + "/registry")
      << "HKCU\\Software\\ORX\\AdobePluginCS4\\GPUFlags = dword:0x00000000\n"
      << "HKCU\\Software\\ORX\\AdobePluginCS4\\ShowOnGUI = dword:00060000\n";
  std::ofstream(dir_ + "/clip.y4m", std::ios::binary) << Y4mText("25:1", 10, 65, 48);
  std::ofstream(dir_ + "/tone.wav", std::ios::binary) << WavText(48000, 2, ToneSamples(48000, 0.4));
  fixtures_ = FolderNames(dir_);
  ProcessResult r = orx::test::RunProcess(
      Command({"export", "--no-progress", "--type", "H264", "--output", "out.mpg", "--input",
               "clip.y4m", "--audio", "tone.wav"}),
      options_);
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.err.find("the export failed (answer 0x80030002); nothing was written to out.mpg: "
                       "ORX Encoder: the pass failed"),
            std::string::npos)
      << r.err;
  ExpectNothingLeft();
}

// The strongest frequency of a decoded stereo stream near 1 kHz, to a tenth of a hertz: a
// Hann-windowed Fourier sum over the middle second, scanned from 990 to 1010 Hz.
double PeakNear1kHz(const std::vector<int16_t>& stereo, double rate) {
  const size_t frames = stereo.size() / 2;
  const size_t length = static_cast<size_t>(rate);
  if (frames < length) return 0.0;
  const size_t first = (frames - length) / 2;
  std::vector<double> windowed(length);
  for (size_t i = 0; i < length; ++i)
    windowed[i] = (0.5 - 0.5 * std::cos(2.0 * M_PI * i / length)) * stereo[2 * (first + i)];
  double best = 0.0, bestHz = 0.0;
  for (double hz = 990.0; hz <= 1010.0; hz += 0.1) {
    // The Fourier sum at hz by a rotating phasor, renormalised now and then.
    const std::complex<double> step = std::polar(1.0, -2.0 * M_PI * hz / rate);
    std::complex<double> phasor = 1.0, sum = 0.0;
    for (size_t i = 0; i < length; ++i) {
      sum += windowed[i] * phasor;
      phasor *= step;
      if ((i & 1023) == 1023) phasor /= std::abs(phasor);
    }
    if (std::norm(sum) > best) best = std::norm(sum), bestHz = hz;
  }
  return bestHz;
}

// WAVs at 8, 22.05, 44.1 and 96 kHz go into the program stream as 48 kHz Layer II that ffmpeg
// decodes strictly, and their 1 kHz tone is still 1 kHz.
TEST_F(ExportHostile, WavsAtAnyRateBecomeFortyEightKilohertzAudioOfTheSamePitch) {
  for (uint32_t rate : {8000u, 22050u, 44100u, 96000u}) {
    SCOPED_TRACE(rate);
    const std::string wav = dir_ + "/tone" + std::to_string(rate) + ".wav";
    std::ofstream(wav, std::ios::binary) << WavText(rate, 2, ToneSamples(rate, 2.0));
    const std::string output = dir_ + "/tone" + std::to_string(rate) + ".mpg";
    ProcessResult r = orx::test::RunProcess(
        Command({"export", "--no-progress", "--output", output, "--pattern", "64x48@25",
                 "--frames", "50", "--audio", wav}),
        options_);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> a = orx::test::ProbeStream(output, "a:0");
    EXPECT_EQ(a["codec_name"], "mp2");
    EXPECT_EQ(a["sample_rate"], "48000");
    const std::string raw = output + ".s16";
    ProcessResult d = orx::test::RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i",
                                             output, "-map", "0:a:0", "-f", "s16le", "-y", raw});
    ASSERT_EQ(d.exitCode, 0) << d.err;
    std::string bytes = ReadAll(raw);
    std::vector<int16_t> decoded(bytes.size() / 2);
    std::memcpy(decoded.data(), bytes.data(), decoded.size() * 2);
    EXPECT_NEAR(PeakNear1kHz(decoded, 48000.0), 1000.0, 2.0);
  }
}

// A FIFO as the input works like a file when a writer feeds it; without a writer the export
// waits for one, and a signal still ends it.
TEST_F(ExportHostile, AFifoInputWorksAndAWaitingOneStillStops) {
  ::signal(SIGPIPE, SIG_IGN);
  ASSERT_EQ(::mkfifo((dir_ + "/feed.y4m").c_str(), 0644), 0);
  fixtures_ = FolderNames(dir_);
  std::thread writer([this] {
    std::ofstream(dir_ + "/feed.y4m", std::ios::binary) << Y4mText("25:1", 6);
  });
  ProcessResult r = orx::test::RunProcess(
      Command({"export", "--no-progress", "--output", "out.mpg", "--input", "feed.y4m",
               "--frames", "6"}),
      options_);
  writer.join();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(orx::test::ProbeStream(dir_ + "/out.mpg", "v:0", true)["nb_read_frames"], "6");
  std::ofstream(dir_ + "/out.mpg") << kEarlier;

  for (const char* option : {"--input", "--audio"}) {
    SCOPED_TRACE(option);
    std::vector<std::string> args = Command({"export", "--no-progress", "--output", "out.mpg",
                                             "--frames", "3", option, dir_ + "/feed.y4m"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    // Sent once the host waits in the FIFO's open for a writer that never comes.
    std::string waiting;
    for (int i = 0; i < 3000 && waiting != "wait_for_partner"; ++i) {
      waiting = ReadAll("/proc/" + std::to_string(pid) + "/wchan");
      if (waiting != "wait_for_partner") std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(waiting, "wait_for_partner");
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 6);
    ExpectNothingLeft();
  }
}

// The program stream is the DVD form: settings that cannot make a DVD-compliant stream are
// written as asked, with one warning naming what is not compliant.
TEST_F(ExportHostile, ProgramStreamsThatCannotBeDvdFormSaySo) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* warning;  // "" for none
  } rows[] = {
      {"NTSC defaults", {"--frames", "3", "--tone"}, ""},
      {"PAL", {"--pattern", "720x576@25", "--frames", "3", "--tone"}, ""},
      {"small frame", {"--pattern", "64x48@25", "--frames", "3"}, "the frame size 64x48 is no DVD size"},
      {"44.1 kHz audio",
       {"--pattern", "720x576@25", "--frames", "3", "--tone", "--set",
        "ADBEAudioRatePerSecond=44100"},
       "the audio is not at 48 kHz"},
      {"PAL size at 29.97", {"--pattern", "720x576@29.97", "--frames", "3"},
       "the frame rate does not belong to the frame size's system"},
      {"30 fps", {"--frames", "3", "--set", "ADBEVideoFPS=40000000"},
       "the frame rate is not 25, 29.97 or 23.976"},
      {"elementary stream", {"--pattern", "64x48@25", "--frames", "3", "--set",
                             "ORXMultiplexerContainer=0"}, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args = {"export", "--no-progress", "--output", "dvd.mpg"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    ProcessResult r = orx::test::RunProcess(Command(args), options_);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string prefix = "orx-export: warning: the program stream will not be DVD-compliant";
    if (*row.warning == '\0') {
      EXPECT_EQ(r.err.find(prefix), std::string::npos) << r.err;
    } else {
      EXPECT_NE(r.err.find(prefix + ": " + row.warning), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find(prefix), r.err.rfind(prefix)) << r.err;
    }
  }
}

// A successful export replaces the earlier file and leaves nothing beside it.
TEST_F(ExportHostile, ASuccessfulExportReplacesTheEarlierFile) {
  ProcessResult r = orx::test::RunProcess(Command(ExportArgs({"--tone"})), options_);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::map<std::string, std::string> v = orx::test::ProbeStream(dir_ + "/out.mpg", "v:0", true);
  EXPECT_EQ(v["nb_read_frames"], "3");
  std::map<std::string, std::string> a = orx::test::ProbeStream(dir_ + "/out.mpg", "a:0");
  EXPECT_EQ(a["sample_rate"], "48000");
  EXPECT_EQ(FolderNames(dir_), fixtures_);
  struct stat st {};
  ASSERT_EQ(::stat((dir_ + "/out.mpg").c_str(), &st), 0);
  mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

}  // namespace
}  // namespace orx::plugin::test
