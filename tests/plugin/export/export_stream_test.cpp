// orx-export exports with the real transcode engine and component libraries, as a user runs
// it, and ffmpeg and ffprobe read back what it wrote: elementary streams from a file and from
// the built-in pattern, every host pixel format, odd completion orders, the audio side file,
// the DVD program stream, scaled exports, failures, the GPU request without a GPU runtime and
// the libraries the export loads.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "support/audio_clip.h"
#include "support/test_pattern.h"
#include "tests/plugin/plugin_test_fixture.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/vscaler/closed_form_resize.h"

namespace orx::plugin::test {
namespace {

using orx::test::ProcessResult;
using orx::test::RawVideo;

constexpr double kNtscFrameSeconds = 1001.0 / 30000.0;

// Frames of a stream the sanitizer build encodes: short SD runs only there.
int Frames(int release, int sanitized = 10) { return kOrxSanitizedBuild ? sanitized : release; }

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// The path with every link and ".." resolved; "" for a missing file.
std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

RawVideo PatternVideo(int width, int height, int frames) {
  RawVideo v;
  v.width = width;
  v.height = height;
  for (int i = 0; i < frames; ++i) {
    v.frames.emplace_back(support::TestPatternFrameBytes(width, height));
    support::RenderTestPattern(width, height, i, v.frames.back().data());
  }
  return v;
}

double Number(const std::map<std::string, std::string>& m, const char* key) {
  auto it = m.find(key);
  return it == m.end() ? -1.0 : std::atof(it->second.c_str());
}

// ffprobe's frame count, size and rate of the video stream, ffmpeg's strict decode, and every
// frame's PSNR-Y against the reference (at least minFrame dB, average at least 35 dB).
orx::test::PsnrReport ExpectVideoStream(const std::string& path, const RawVideo& reference,
                                        const char* rate = "30000/1001", double minFrame = 30.0) {
  SCOPED_TRACE(path);
  std::map<std::string, std::string> v = orx::test::ProbeStream(path, "v:0", true);
  EXPECT_EQ(v["codec_name"], "mpeg2video");
  EXPECT_EQ(v["nb_read_frames"], std::to_string(reference.frames.size()));
  EXPECT_EQ(v["width"], std::to_string(reference.width));
  EXPECT_EQ(v["height"], std::to_string(reference.height));
  EXPECT_EQ(v["r_frame_rate"], rate);
  RawVideo decoded;
  std::string log;
  EXPECT_TRUE(orx::test::DecodeVideo(path, decoded, {}, &log)) << log;
  EXPECT_EQ(decoded.frames.size(), reference.frames.size());
  orx::test::PsnrReport psnr = orx::test::ComparePsnr(reference, decoded);
  for (size_t i = 0; i < psnr.lumaPerFrame.size(); ++i)
    EXPECT_GE(psnr.lumaPerFrame[i], minFrame) << "frame " << i;
  EXPECT_GE(psnr.lumaAverage, 35.0);
  return psnr;
}

// Interleaved 16-bit stereo at 48 kHz, decoded by ffmpeg from a file's first audio stream.
std::vector<int16_t> DecodeAudio(const std::string& path) {
  std::string raw = path + ".s16";
  ProcessResult r = orx::test::RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i",
                                           path, "-map", "0:a:0", "-f", "s16le", "-ac", "2", "-ar",
                                           "48000", "-y", raw});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::string bytes;
  orx::test::ReadFileBytes(raw, bytes);
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

// SNR of the decoded audio against the source, both interleaved stereo, after aligning them at
// the lag (the coder's delay) of the best cross-correlation.
double AlignedSnr(const std::vector<float>& source, const std::vector<int16_t>& decoded) {
  int64_t frames = static_cast<int64_t>(std::min(source.size(), decoded.size()) / 2);
  constexpr int64_t kMaxLag = 2400;
  constexpr int64_t kEdge = 4096;  // the coder's start and end are left out
  if (frames < 2 * kEdge + 2 * kMaxLag) return 0.0;
  auto src = [&](int64_t i, int c) { return static_cast<double>(source[2 * i + c]) * 32767.0; };
  auto dec = [&](int64_t i, int c) { return static_cast<double>(decoded[2 * i + c]); };
  const int64_t first = kEdge + kMaxLag, last = frames - kEdge - kMaxLag;
  // The lag from a quarter second of the middle; the SNR over everything but the edges.
  int64_t bestLag = 0;
  double best = -1e300;
  const int64_t middle = (first + last) / 2, span = std::min<int64_t>(6000, (last - first) / 2);
  for (int64_t lag = -kMaxLag; lag <= kMaxLag; ++lag) {
    double sum = 0.0;
    for (int64_t i = middle - span; i < middle + span; ++i)
      sum += src(i, 0) * dec(i + lag, 0) + src(i, 1) * dec(i + lag, 1);
    if (sum > best) best = sum, bestLag = lag;
  }
  double signal = 0.0, noise = 0.0;
  for (int64_t i = first; i < last; ++i) {
    for (int c = 0; c < 2; ++c) {
      double d = src(i, c) - dec(i + bestLag, c);
      signal += src(i, c) * src(i, c);
      noise += d * d;
    }
  }
  return noise > 0.0 ? 10.0 * std::log10(signal / noise) : 99.0;
}

class ExportStream : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = orx::test::MakeTempDir("export_stream");
    std::ofstream(dir_ + "/cpuid") << GatePassingProcessorTableText();
    registry_ = "HKCU\\Software\\ORX\\AdobePluginCS4\\GPUFlags = dword:0x00000000\n";
    options_.setEnv["ORX_REGISTRY"] = dir_ + "/registry";
    options_.setEnv["ORX_CPUID_TABLE"] = dir_ + "/cpuid";
    options_.workingDir = dir_;
  }

  // orx-export export --type MPG2 with the arguments, into dir_/name.
  ProcessResult Export(const std::string& name, std::vector<std::string> args,
                       const std::string& type = "MPG2") {
    std::ofstream(dir_ + "/registry") << registry_;
    std::vector<std::string> all = {orx::test::ProgramDir() + "/orx-export", "export", "--type",
                                    type, "--no-progress", "--output", dir_ + "/" + name};
    all.insert(all.end(), args.begin(), args.end());
    return orx::test::RunProcess(all, options_);
  }
  // The pattern into an elementary stream (a later --set may choose another container).
  std::vector<std::string> Pattern(const std::string& size, int frames) {
    return {"--pattern", size, "--frames", std::to_string(frames), "--set",
            "ORXMultiplexerContainer=0"};
  }

  std::string dir_;
  std::string registry_;
  orx::test::ProcessOptions options_;
};

// tree.avi re-timed to 720x480 at 30000/1001 and the 300-frame pattern: one pass to an .m2v
// that decodes as its source. The pattern run also shows which libraries the export loads:
// each one by name from the library output folder (the dynamic loader's own account).
TEST_F(ExportStream, VideoOnlyElementaryStreamsDecodeAsTheirSource) {
  RawVideo tree;
  std::string log;
  ASSERT_TRUE(orx::test::DecodeVideo(orx::test::MediaPath("tree.avi"), tree,
                                     {false, {}, {"-vf", "scale=720:480"}}, &log))
      << log;
  tree.frames.resize(std::min<size_t>(tree.frames.size(), Frames(1000)));
  ASSERT_TRUE(orx::test::WriteY4mFile(dir_ + "/tree.y4m", tree, 30000, 1001));
  ProcessResult r = Export("tree.m2v", {"--input", dir_ + "/tree.y4m", "--set",
                                        "ORXMultiplexerContainer=0"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  ExpectVideoStream(dir_ + "/tree.m2v", tree);

  options_.setEnv["LD_DEBUG"] = "files";
  int frames = Frames(300);
  r = Export("pattern.m2v", Pattern("720x480@29.97", frames));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  ExpectVideoStream(dir_ + "/pattern.m2v", PatternVideo(720, 480, frames));
  EXPECT_FALSE(FileExists(dir_ + "/pattern.tmp"));

  std::istringstream lines(r.err);
  std::string line;
  std::vector<std::string> loaded;
  while (std::getline(lines, line)) {
    size_t at = line.find("file=");
    if (at == std::string::npos || line.find("dynamically loaded by") == std::string::npos)
      continue;
    std::string file = line.substr(at + 5, line.find(" [", at) - at - 5);
    // The C library may load its own helpers (libgcc_s) at run time.
    if (file.rfind("/lib", 0) == 0 || file.rfind("/usr/", 0) == 0) continue;
    if (std::find(loaded.begin(), loaded.end(), file) == loaded.end()) loaded.push_back(file);
  }
  // The plug-in lies beside the host or in the library folder (orx-export's "../lib").
  std::string libraries = Canonical(orx::test::LibraryDir());
  for (std::string& file : loaded) file = Canonical(file);
  for (const char* name : {"ExporterORXEncoder.so", "libqvavenc.so"}) {
    EXPECT_NE(std::find(loaded.begin(), loaded.end(), libraries + "/" + name), loaded.end())
        << name;
  }
  for (const std::string& file : loaded) {
    EXPECT_EQ(file.rfind(libraries + "/", 0), 0u) << file;
  }
}

// The plug-in carries the engine, the framework and the converter: it needs no library of
// ours and exports exactly its entry point.
TEST_F(ExportStream, ThePlugInIsOneLibraryWithOneEntryPoint) {
  std::string plugin = orx::test::LibraryDir() + "/ExporterORXEncoder.so";
  ProcessResult r = orx::test::RunProcess({"nm", "-D", "--defined-only", plugin});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::istringstream in(r.out);
  std::string address, kind, name;
  std::vector<std::string> exported;
  while (in >> address >> kind >> name) {
    if (kind != "A") exported.push_back(name);
  }
  EXPECT_EQ(exported, std::vector<std::string>{"xSDKExport"});
  r = orx::test::RunProcess({"readelf", "-d", "-W", plugin});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::istringstream dynamic(r.out);
  std::string line;
  while (std::getline(dynamic, line)) {
    if (line.find("(NEEDED)") == std::string::npos) continue;
    bool system = false;
    for (const char* lib : {"libc.so", "libm.so", "libstdc++.so", "libgcc_s.so", "ld-linux",
                            "libasan.so", "libubsan.so", "libtsan.so"}) {
      system = system || line.find(lib) != std::string::npos;
    }
    EXPECT_TRUE(system) << line;
  }
}

// Whatever format the host renders, the stream carries the same picture: a wrong row or plane
// order would fall far below. The YUV layouts carry the source's own samples, so their streams
// are the same bytes: the default 'vuya' costs a conversion to 4:4:4 and back that 'yv12'
// spares, and changes nothing else. A switch from 'vuya' to 'bgra' mid-export changes nothing either,
// into an elementary stream or a DVD program stream, with or without audio (the switch once
// ended the encoder's output in the middle: the program stream kept only the frames before it).
TEST_F(ExportStream, EveryHostPixelFormatGivesTheSameStream) {
  ORX_RELEASE_ONLY();
  const int frames = 60;
  RawVideo source = PatternVideo(720, 480, frames);
  std::vector<double> averages;
  std::map<std::string, std::string> streams;
  for (const char* format : {"vuya", "bgra", "yuy2", "yv12"}) {
    SCOPED_TRACE(format);
    std::string name = std::string(format) + ".m2v";
    std::vector<std::string> args = Pattern("720x480@29.97", frames);
    args.insert(args.end(), {"--pixel-format", format});
    ProcessResult r = Export(name, args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    averages.push_back(ExpectVideoStream(dir_ + "/" + name, source).lumaAverage);
    ASSERT_TRUE(orx::test::ReadFileBytes(dir_ + "/" + name, streams[format]));
  }
  for (double a : averages) EXPECT_LT(std::fabs(a - averages[0]), 0.5) << a << " against " << averages[0];
  EXPECT_TRUE(streams["vuya"] == streams["yv12"]);
  EXPECT_TRUE(streams["yuy2"] == streams["yv12"]);

  struct Row {
    const char* name;
    std::vector<std::string> container;
  };
  const Row rows[] = {{"switch.m2v", {}},
                      {"switch.mpg", {"--set", "ORXMultiplexerContainer=1"}},
                      {"switch-tone.mpg", {"--tone", "440", "--set", "ORXMultiplexerContainer=1"}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args = Pattern("720x480@29.97", frames);
    args.insert(args.end(), row.container.begin(), row.container.end());
    args.insert(args.end(), {"--pixel-format", "vuya", "--pixel-format", "bgra@30"});
    ProcessResult r = Export(row.name, args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectVideoStream(dir_ + "/" + row.name, source);
  }
}

// Completions shuffled within 8 frames, and the last one delivered inside its request: the
// stream is still in display order, and the host's own checks (at most 30 frames outstanding,
// no frame left alive, suites and blocks balanced) pass, or orx-export would exit with 4.
TEST_F(ExportStream, OddCompletionOrdersKeepTheDisplayOrder) {
  int frames = Frames(90);
  RawVideo source = PatternVideo(720, 480, frames);
  for (const char* order : {"shuffle:8", "early-final"}) {
    SCOPED_TRACE(order);
    std::vector<std::string> args = Pattern("720x480@29.97", frames);
    args.insert(args.end(), {"--completion", order, "--render-threads", "4", "--seed", "7"});
    std::string name = std::string(order) == "early-final" ? "early.m2v" : "shuffled.m2v";
    ProcessResult r = Export(name, args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectVideoStream(dir_ + "/" + name, source);
  }
}

// A write that fails answers an error and leaves no file; so do a cancel at 30 % and a failed
// audio pass.
TEST_F(ExportStream, AFailedWriteOrACancelLeavesNoFile) {
  int frames = Frames(60, 20);
  std::vector<std::string> args = Pattern("720x480@29.97", frames);
  args.insert(args.end(), {"--fail-write", "3"});
  ProcessResult r = Export("failed.m2v", args);
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.err.find("the export failed"), std::string::npos) << r.err;
  EXPECT_FALSE(FileExists(dir_ + "/failed.m2v"));
  EXPECT_FALSE(FileExists(dir_ + "/failed.tmp"));

  args = Pattern("720x480@29.97", frames);
  args.insert(args.end(), {"--tone", "--cancel-at", std::to_string(frames * 3 / 10)});
  r = Export("cancelled.m2v", args);
  EXPECT_EQ(r.exitCode, 6) << r.err;
  EXPECT_FALSE(FileExists(dir_ + "/cancelled.m2v"));
  EXPECT_FALSE(FileExists(dir_ + "/cancelled.tmp"));
  EXPECT_FALSE(FileExists(dir_ + "/cancelled.mpa"));

  // A rate the audio encoder cannot code (96 kHz) never reaches an export: the host refuses it
  // off the list, the plug-in's validation when it is let through.
  args = Pattern("720x480@29.97", frames);
  args.insert(args.end(), {"--tone", "--unlisted", "--set", "ADBEAudioRatePerSecond=96000"});
  r = Export("audio-failed.m2v", args);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("the audio encoder codes 32000, 44100 or 48000 Hz"), std::string::npos)
      << r.err;
  for (const char* name : {"audio-failed.m2v", "audio-failed.tmp", "audio-failed.mpa"})
    EXPECT_FALSE(FileExists(dir_ + "/" + name)) << name;
}

// The 'MPG2' elementary export with MPEG-1 Layer III audio (codec 2) writes real Layer III
// frames into the .mp3 side file (before, the engine dropped the encoder's refusal and Layer II
// frames went into it): mp3 at the chosen rate and bit rate, as long as the video, decoded
// without a message by ffmpeg and by mpg123, and sounding as the tone.
TEST_F(ExportStream, TheMp3SideFileHoldsLayerThree) {
  const int frames = 30;
  const double seconds = frames * kNtscFrameSeconds;
  support::AudioClip tone;
  tone.sampleRate = 48000;
  tone.channels = 2;
  for (int64_t i = 0; i < static_cast<int64_t>(seconds * 48000) + 48000; ++i) {
    float s = support::ToneSample(1000.0, 48000.0, i);
    tone.samples.insert(tone.samples.end(), {s, s});
  }
  struct Row {
    const char* name;
    std::vector<std::string> set;
    const char* rate;
    const char* bitrate;
  } rows[] = {
      {"default", {}, "48000", "128000"},
      {"192 kbit/s", {"--set", "ORXAudioBitRate=192000"}, "48000", "192000"},
      {"44.1 kHz", {"--set", "ADBEAudioRatePerSecond=44100"}, "44100", "128000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args = Pattern("352x240@29.97", frames);
    args.insert(args.end(), {"--tone", "1000", "--set", "ORXMultiplexerContainer=0", "--set", "ADBEAudioCodec=2"});
    args.insert(args.end(), row.set.begin(), row.set.end());
    ProcessResult r = Export("out.m2v", args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string mp3 = dir_ + "/out.mp3";
    std::map<std::string, std::string> a = orx::test::ProbeStream(mp3, "a:0");
    EXPECT_EQ(a["codec_name"], "mp3");
    EXPECT_EQ(a["sample_rate"], row.rate);
    EXPECT_EQ(a["channels"], "2");
    EXPECT_EQ(a["bit_rate"], row.bitrate);
    EXPECT_NEAR(Number(a, "duration"), seconds, 0.050);
    ProcessResult mpg123 = orx::test::RunProcess({"mpg123", "-q", "-t", mp3});
    EXPECT_EQ(mpg123.exitCode, 0) << mpg123.err;
    EXPECT_EQ(mpg123.err, "");
    EXPECT_GE(AlignedSnr(tone.samples, DecodeAudio(mp3)), 20.0);
    std::remove(mp3.c_str());
  }
}

// An encoder that fails ends its stream like one that finished: the export must still answer
// an error. The H.264 exporters' video encoder refuses an odd frame width when it opens on its
// first picture; the export fails, leaves no file, and every rendered frame was disposed of
// (the host reports any that were not).
TEST_F(ExportStream, AnEncoderThatCannotOpenFailsTheExport) {
  registry_ += "HKCU\\Software\\ORX\\AdobePluginCS4\\ShowOnGUI = dword:00040000\n";
  for (const char* type : {"H264", "264B"}) {
    SCOPED_TRACE(type);
    const std::string name = std::string(type) + ".mp4";
    ProcessResult r = Export(name, {"--pattern", "353x288@25", "--frames", "10"}, type);
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_NE(r.err.find("the export failed"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("never disposed of"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(dir_ + "/" + name));
  }
}

// A 25 fps source exported at 29.97: the stream holds the frames rendered at the export's rate,
// and the closing line counts those, not the source's.
TEST_F(ExportStream, TheClosingLineCountsTheExportedFrames) {
  std::vector<std::string> args = Pattern("352x240@25", 50);
  args.insert(args.end(), {"--set", "ADBEVideoFPS=40040000"});
  ProcessResult r = Export("rate.m2v", args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("exported 60 frames to"), std::string::npos) << r.err;
  EXPECT_EQ(orx::test::ProbeStream(dir_ + "/rate.m2v", "v:0", true)["nb_read_frames"], "60");
}

// A frame size the MPEG-2 encoder refuses (4:2:0 needs an even width and height) fails the
// export and leaves no file; the log lines printed with the failure say why, each on its own
// line.
TEST_F(ExportStream, AnOddFrameSizeFailsTheExportAndSaysWhy) {
  const struct {
    const char* size;
    const char* reason;
  } rows[] = {{"353x240@25", "\norx-export: log: horizontal_size must be even (4:2:0 / 4:2:2)\n"},
              {"352x241@25", "\norx-export: log: vertical_size must be even (4:2:0)\n"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    ProcessResult r = Export("odd.m2v", Pattern(row.size, 5));
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_NE(r.err.find(row.reason), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(dir_ + "/odd.m2v"));
  }
}

// Two passes into an elementary .m2v and the .mpa side file, from a WAV file and from the
// tone: the audio is MPEG audio layer II at 48 kHz stereo, as long as the video, and sounds as
// the source.
TEST_F(ExportStream, ElementaryExportsWriteTheAudioSideFile) {
  int frames = Frames(150, 20);
  std::string wav = dir_ + "/source.wav";
  double seconds = frames * kNtscFrameSeconds;
  ProcessResult r = orx::test::RunProcess(
      {"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
       "aevalsrc=0.3*sin(2*PI*440*t)+0.2*sin(2*PI*1250*t)|0.25*sin(2*PI*660*t)+0.15*sin(2*PI*"
       "3100*t):s=48000:d=" + std::to_string(seconds + 1.0),
       "-c:a", "pcm_s16le", "-y", wav});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  support::AudioClip clip;
  std::string error;
  ASSERT_TRUE(support::ReadWavFile(wav, clip, error)) << error;

  support::AudioClip tone;
  tone.sampleRate = 48000;
  tone.channels = 2;
  for (int64_t i = 0; i < static_cast<int64_t>(seconds * 48000) + 48000; ++i) {
    float s = support::ToneSample(1000.0, 48000.0, i);
    tone.samples.insert(tone.samples.end(), {s, s});
  }

  struct Row {
    const char* name;
    std::vector<std::string> audio;
    const support::AudioClip* source;
  };
  const Row rows[] = {{"wav", {"--audio", wav}, &clip}, {"tone", {"--tone"}, &tone}};
  RawVideo video = PatternVideo(720, 480, frames);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args = Pattern("720x480@29.97", frames);
    args.insert(args.end(), row.audio.begin(), row.audio.end());
    std::string base = dir_ + "/" + row.name;
    r = Export(std::string(row.name) + ".m2v", args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectVideoStream(base + ".m2v", video);
    EXPECT_FALSE(FileExists(base + ".tmp"));
    std::map<std::string, std::string> a = orx::test::ProbeStream(base + ".mpa", "a:0");
    EXPECT_EQ(a["codec_name"], "mp2");
    EXPECT_EQ(a["sample_rate"], "48000");
    EXPECT_EQ(a["channels"], "2");
    EXPECT_NEAR(Number(a, "duration"), seconds, 0.050);
    EXPECT_GE(AlignedSnr(row.source->samples, DecodeAudio(base + ".mpa")), 20.0);
  }
}

// Container 1: one DVD program stream with the video and the audio, of equal length.
TEST_F(ExportStream, AProgramStreamCarriesVideoAndAudioOfEqualLength) {
  int frames = Frames(150, 20);
  std::vector<std::string> args = Pattern("720x480@29.97", frames);
  args.insert(args.end(), {"--tone", "440", "--set", "ORXMultiplexerContainer=1"});
  ProcessResult r = Export("program.mpg", args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string path = dir_ + "/program.mpg";
  EXPECT_EQ(orx::test::ProbeFormat(path)["format_name"], "mpeg");
  ExpectVideoStream(path, PatternVideo(720, 480, frames));
  std::map<std::string, std::string> v = orx::test::ProbeStream(path, "v:0", true);
  std::map<std::string, std::string> a = orx::test::ProbeStream(path, "a:0", true);
  EXPECT_EQ(a["codec_name"], "mp2");
  EXPECT_EQ(a["sample_rate"], "48000");
  EXPECT_NEAR(Number(v, "duration"), frames * kNtscFrameSeconds, kNtscFrameSeconds);
  // The audio starts with the video and lasts as long. ffprobe's audio duration in a program
  // stream ends one frame after the last PES time stamp, not after the frames that follow it
  // in that PES, so the length is taken from the decoded samples.
  EXPECT_EQ(a["start_time"], v["start_time"]);
  double audioSeconds = static_cast<double>(DecodeAudio(path).size() / 2) / 48000.0;
  EXPECT_NEAR(audioSeconds, Number(v, "duration"), kNtscFrameSeconds);
  r = orx::test::RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", path, "-f",
                             "null", "-"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

// dvdauthor takes the program streams of the DVD exports without a warning: the video's time
// stamps fall on field boundaries of the 90 kHz clock (the 29.97 fps demo used to draw "Video
// PTS does not line up on a multiple of a field"), at NTSC and PAL rates.
TEST_F(ExportStream, DvdProgramStreamsPassDvdauthorWithoutAWarning) {
  if (orx::test::RequireProgram("dvdauthor").empty()) GTEST_SKIP() << "dvdauthor is missing";
  struct Row {
    const char* name;
    const char* pattern;
    const char* videoFormat;
  };
  const Row rows[] = {{"ntsc.mpg", "720x480@29.97", "NTSC"}, {"pal.mpg", "720x576@25", "PAL"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args = Pattern(row.pattern, Frames(60, 20));
    args.insert(args.end(), {"--tone", "440", "--set", "ORXMultiplexerContainer=1"});
    ProcessResult r = Export(row.name, args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    orx::test::ProcessOptions options;
    options.setEnv["VIDEO_FORMAT"] = row.videoFormat;
    const std::string dvd = dir_ + "/dvd-" + row.videoFormat;
    ProcessResult title = orx::test::RunProcess({"dvdauthor", "-o", dvd, "-t", dir_ + "/" + row.name}, options);
    EXPECT_EQ(title.exitCode, 0) << title.err;
    std::string complaints;
    for (const std::string* text : {&title.out, &title.err}) {
      std::istringstream in(*text);
      std::string line;
      while (std::getline(in, line))
        if (line.find("WARN:") != std::string::npos || line.find("ERR:") != std::string::npos)
          complaints += line + "\n";
    }
    EXPECT_EQ(complaints, "");
  }
}

// A 1280x720 sequence exported at 720x480 through the scaler: the picture is the source
// resized by nearest neighbour (the host's 'vuya' frames carry the luma unchanged, so the
// converter leaves it as it is), also when the host switches to 'bgra' mid-export. A 720x576
// sequence exported at 720x480 is 720x480 as well.
TEST_F(ExportStream, ScaledExportsHaveTheExportedSize) {
  int frames = Frames(60);
  std::vector<std::string> args = Pattern("1280x720@29.97", frames);
  args.insert(args.end(), {"--set", "ORXScaler=1", "--set", "ADBEVideoWidth=720", "--set",
                           "ADBEVideoHeight=480"});
  ProcessResult r = Export("scaled.m2v", args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  RawVideo hd = PatternVideo(1280, 720, frames);
  RawVideo expected;
  expected.width = 720;
  expected.height = 480;
  for (const std::vector<uint8_t>& frame : hd.frames) {
    expected.frames.push_back(
        vscaler::test::ClosedFormPlanar(frame.data(), 1280, 720, 1280, 720, 720, 480));
  }
  ExpectVideoStream(dir_ + "/scaled.m2v", expected);
  // A switch from 'vuya' to 'bgra' mid-export reaches the scaler in line with the frames: the
  // stream goes on (the scaler used to be handed the encoder's target format and refuse the next
  // frame, failing the export).
  args.insert(args.end(), {"--pixel-format", "vuya", "--pixel-format", "bgra@" + std::to_string(frames / 2)});
  r = Export("scaled-switch.m2v", args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  ExpectVideoStream(dir_ + "/scaled-switch.m2v", expected);

  args = Pattern("720x576@25", Frames(30));
  args.insert(args.end(), {"--set", "ADBEVideoWidth=720", "--set", "ADBEVideoHeight=480"});
  r = Export("pal.m2v", args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::map<std::string, std::string> v = orx::test::ProbeStream(dir_ + "/pal.m2v", "v:0", true);
  EXPECT_EQ(v["width"], "720");
  EXPECT_EQ(v["height"], "480");
  EXPECT_EQ(v["nb_read_frames"], std::to_string(Frames(30)));
  r = orx::test::RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i",
                             dir_ + "/pal.m2v", "-f", "null", "-"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

// The scaler reads planar, packed 4:4:4 and BGRA frames but not YUY2: it fails on the format,
// and the export fails at once with no file, into an elementary and into a program stream (the
// render thread used to wait for room in the stopped scaler's queue for ever). The run is
// bounded by `timeout`, so a hang fails the test instead of stalling it.
TEST_F(ExportStream, AScalerThatCannotReadTheHostFormatFailsTheExport) {
  struct Row {
    const char* name;
    std::vector<std::string> extra;
  };
  const Row rows[] = {{"yuy2.m2v", {}}, {"yuy2.mpg", {"--tone", "--set", "ORXMultiplexerContainer=1"}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::ofstream(dir_ + "/registry") << registry_;
    std::vector<std::string> args = {"timeout", "60", orx::test::ProgramDir() + "/orx-export", "export",
                                     "--type", "MPG2", "--no-progress", "--output", dir_ + "/" + row.name};
    for (const std::string& a : Pattern("1280x720@29.97", 60)) args.push_back(a);
    args.insert(args.end(), row.extra.begin(), row.extra.end());
    args.insert(args.end(), {"--set", "ORXScaler=1", "--set", "ADBEVideoWidth=720", "--set",
                             "ADBEVideoHeight=480", "--pixel-format", "yuy2"});
    ProcessResult r = orx::test::RunProcess(args, options_);
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_NE(r.err.find("the export failed"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("never disposed of"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(dir_ + "/" + row.name));
  }
}

// With no GPU runtime, asking for a GPU changes nothing: the encoder falls back to the
// processor, and the stream equals the one exported without the request, byte for byte.
TEST_F(ExportStream, AGpuRequestWithoutAGpuRuntimeGivesTheSameStream) {
  // "ShowOnGUI" shows and enables the GPU count (bits 1 and 9) beside the MPEG-2 exporters.
  registry_ += "HKCU\\Software\\ORX\\AdobePluginCS4\\ShowOnGUI = dword:0x00020213\n";
  int frames = Frames(45);
  std::string streams[2];
  for (int gpus = 0; gpus < 2; ++gpus) {
    std::string name = "gpu" + std::to_string(gpus) + ".m2v";
    std::vector<std::string> args = Pattern("720x480@29.97", frames);
    args.insert(args.end(), {"--set", "ORXNumEncoders=1", "--set",
                             "ORXNumGPUs=" + std::to_string(gpus)});
    ProcessResult r = Export(name, args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(orx::test::ReadFileBytes(dir_ + "/" + name, streams[gpus]));
  }
  EXPECT_FALSE(streams[0].empty());
  EXPECT_TRUE(streams[0] == streams[1]);
}

}  // namespace
}  // namespace orx::plugin::test
