// The transcode engine with the real qvavenc (and for program streams the real qvacmux and
// qvaaenc), fed by a driver as the export feeds it: 720 x 480 at 30000/1001, frames lent by
// reference. ffprobe and ffmpeg read back what reached the write callback. Under the sanitizers
// the clips are 30 frames long.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "media/media_codes.h"
#include "tests/engine/catalogue/loader_test_support.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/test_paths.h"
#include "tests/engine/transcode/real_encode.h"

namespace orx::test {
namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 480;
constexpr uint32_t kFrames = kOrxSanitizedBuild ? 30 : 300;

uint32_t ThreadCount() {
  uint32_t count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.' ? 1 : 0;
    closedir(dir);
  }
  return count;
}

const RawVideo& TreeClip() {
  static RawVideo clip;
  if (clip.frames.empty()) {
    DecodeOptions options;
    options.xerror = false;
    options.inputArgs = {"-stream_loop", "-1"};
    options.outputArgs = {"-vf", "scale=720:480", "-frames:v", std::to_string(kFrames)};
    std::string log;
    EXPECT_TRUE(DecodeVideo(MediaPath("tree.avi"), clip, options, &log)) << log;
  }
  return clip;
}

const RawVideo& Testsrc2Clip() {
  static RawVideo clip;
  if (clip.frames.empty()) {
    std::string log;
    EXPECT_TRUE(GenerateLavfiVideo("testsrc2=size=720x480:rate=30000/1001", static_cast<int>(kFrames), clip, &log))
        << log;
  }
  return clip;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// Splitting the stream over instances costs next to nothing in quality over the whole clip. (The
// short clips of the sanitizer builds are mostly start-up pictures of each instance.)
void ExpectSameQuality(double oneInstance, double fourInstances) {
  std::printf("average Y-PSNR: one instance %.2f dB, four instances %.2f dB\n", oneInstance, fourInstances);
  if (!kOrxSanitizedBuild) {
    EXPECT_NEAR(fourInstances, oneInstance, 0.5);
  }
}

class RealEncode : public LoaderTest {
 protected:
  // Encodes, checks what every encode must give, and answers the stream's average Y-PSNR.
  // Encodes; the stream ends, every lent frame comes back exactly once, and no thread and no
  // library stays behind, whether the encode succeeds or not.
  RealEncodeResult EncodeLeavingNothingBehind(const RealEncodeJob& job) {
    InstallRealComponents(folder_, job.programStream);
    const uint32_t threadsBefore = ThreadCount();
    const RealEncodeResult result = EncodeThroughEngine(job);
    EXPECT_TRUE(result.opened);
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.releasesPerFrame, std::vector<uint32_t>(job.frames, 1));
    EXPECT_EQ(ThreadCount(), threadsBefore);
    for (const char* name : {"libqvavenc.so", "qvacmux.so", "libqvaaenc.so"}) {
      EXPECT_FALSE(IsLibraryMapped(folder_ + "/" + name)) << name;
    }
    return result;
  }

  // The N 15, M 3 plan: every group of pictures holds one I picture and, but for the last, at
  // least the 13 pictures of a stream's first group (one instance once cut each batch into 13
  // and 2 pictures, two I pictures in a row).
  static void ExpectGroupsOfPicturesAsPlanned(const std::vector<uint8_t>& es) {
    std::vector<std::string> groups;
    for (size_t i = 0; i + 5 < es.size(); ++i) {
      if (es[i] != 0 || es[i + 1] != 0 || es[i + 2] != 1) continue;
      if (es[i + 3] == 0xB8) groups.emplace_back();
      if (es[i + 3] == 0x00 && !groups.empty()) groups.back() += "?IPB"[(es[i + 5] >> 3) & 3];
    }
    ASSERT_FALSE(groups.empty());
    for (size_t g = 0; g < groups.size(); ++g) {
      EXPECT_EQ(std::count(groups[g].begin(), groups[g].end(), 'I'), 1) << g << ": " << groups[g];
      if (g + 1 < groups.size()) {
        EXPECT_GE(groups[g].size(), 13u) << g << ": " << groups[g];
      }
    }
  }

  // With direct, qvavenc itself is the graph's encoder (neither multi-instance flag) and
  // instances is not used.
  double EncodeAndCheck(const RawVideo& source, uint32_t subtype, uint32_t instances, bool programStream,
                        bool direct = false) {
    SCOPED_TRACE(direct ? std::string("qvavenc as the graph's encoder") : std::to_string(instances) + " instance(s)");
    RealEncodeJob job;
    job.source = &source;
    job.frames = kFrames;
    job.subtype = subtype;
    job.instances = instances;
    job.programStream = programStream;
    job.direct = direct;
    const RealEncodeResult result = EncodeLeavingNothingBehind(job);
    // The leaf of the graph (the multiplexer, MULTIVENC or qvavenc) reached its end state: the
    // graph wait returns instead of running out its time (26).
    EXPECT_EQ(result.waited, QVA_SUCCESS);
    const std::string path = folder_ + (programStream ? "/out.mpg" : "/out.m2v");
    EXPECT_TRUE(WriteFile(path, result.stream));

    std::map<std::string, std::string> video = ProbeStream(path, "v:0", true);
    EXPECT_EQ(video["codec_name"], "mpeg2video");
    EXPECT_EQ(video["nb_read_frames"], std::to_string(kFrames));
    EXPECT_EQ(video["width"], std::to_string(kWidth));
    EXPECT_EQ(video["height"], std::to_string(kHeight));
    EXPECT_EQ(video["r_frame_rate"], "30000/1001");
    if (programStream) {
      EXPECT_EQ(ProbeFormat(path)["format_name"], "mpeg");
      std::map<std::string, std::string> audio = ProbeStream(path, "a:0");
      EXPECT_EQ(audio["codec_name"], "mp2");
      const double frameSeconds = 1001.0 / 30000.0;
      EXPECT_NEAR(std::stod(audio["duration"].empty() ? "0" : audio["duration"]),
                  std::stod(video["duration"].empty() ? "-1" : video["duration"]), frameSeconds);
    }

    if (!programStream) ExpectGroupsOfPicturesAsPlanned(result.stream);

    RawVideo decoded;
    std::string log;
    EXPECT_TRUE(DecodeVideo(path, decoded, {}, &log)) << log;  // -xerror
    EXPECT_EQ(decoded.frames.size(), kFrames);
    const PsnrReport psnr = ComparePsnr(source, decoded);
    for (size_t i = 0; i < psnr.lumaPerFrame.size(); ++i) {
      EXPECT_GE(psnr.lumaPerFrame[i], 30.0) << "frame " << i;
    }
    EXPECT_GE(psnr.lumaAverage, 35.0);
    return psnr.lumaAverage;
  }
};

TEST_F(RealEncode, TreeClipAsBottomUpVuyaOnOneAndFourInstances) {
  const RawVideo& clip = TreeClip();
  ASSERT_EQ(clip.frames.size(), kFrames);
  const double one = EncodeAndCheck(clip, QVA_MSUBTYPE_YUV444I, 1, false);
  const double four = EncodeAndCheck(clip, QVA_MSUBTYPE_YUV444I, 4, false);
  ExpectSameQuality(one, four);
}

TEST_F(RealEncode, Testsrc2AsPlanarOnOneAndFourInstances) {
  const RawVideo& clip = Testsrc2Clip();
  ASSERT_EQ(clip.frames.size(), kFrames);
  const double one = EncodeAndCheck(clip, QVA_MSUBTYPE_YUV420, 1, false);
  const double four = EncodeAndCheck(clip, QVA_MSUBTYPE_YUV420, 4, false);
  ExpectSameQuality(one, four);
}

TEST_F(RealEncode, AnH264TargetWhoseEncoderRefusesTheSizeFailsTheEngineWait) {
  // The H.264 encoder refuses an odd frame width: each qvavenc instance fails its configuration
  // on its first picture and ends its stream. The engine's wait answers that error (a bad
  // argument, not success), every frame still comes back once, the stream still ends, and
  // nothing is written.
  RawVideo clip;
  clip.width = 353;
  clip.height = 240;
  for (int i = 0; i < 10; ++i) clip.frames.emplace_back(clip.FrameBytes(), static_cast<uint8_t>(16 + 20 * i));
  for (uint32_t instances : {1u, 4u}) {
    SCOPED_TRACE(std::to_string(instances) + " instance(s)");
    RealEncodeJob job;
    job.source = &clip;
    job.frames = 10;
    job.subtype = QVA_MSUBTYPE_YUV420;
    job.instances = instances;
    job.codec = QVA_MSUBTYPE_H264;
    const RealEncodeResult result = EncodeLeavingNothingBehind(job);
    EXPECT_EQ(result.waited, QVA_ERR_BADARG);
    EXPECT_TRUE(result.stream.empty());
  }
}

// The engine's own qvavenc, without MULTIVENC, as a direct user of the engine configures it.
TEST_F(RealEncode, Testsrc2ThroughTheEncoderAsTheGraphLeaf) {
  const RawVideo& clip = Testsrc2Clip();
  ASSERT_EQ(clip.frames.size(), kFrames);
  EncodeAndCheck(clip, QVA_MSUBTYPE_YUV420, 1, false, true);
}

TEST_F(RealEncode, ProgramStreamWithMpegAudio) {
  const RawVideo& clip = Testsrc2Clip();
  ASSERT_EQ(clip.frames.size(), kFrames);
  EncodeAndCheck(clip, QVA_MSUBTYPE_YUV420, 2, true);
}

}  // namespace
}  // namespace orx::test
