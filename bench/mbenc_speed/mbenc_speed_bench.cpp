// Two speed figures of the MPEG-1/2 macroblock encoder, each as a ratio against a reference run
// in the same process:
// 1. The MPEG-2 picture loop on 100 pictures of 720x576 testsrc2 (plan precomputed, zero
//    vectors, IBBP, N = 15, quantiser 4, one thread) against `ffmpeg -threads 1 -c:v mpeg2video
//    -qscale:v 4 -g 15 -bf 2 -motion_est zero -mbd simple` on the same pictures (its -benchmark
//    user time). The system asks for at least 1.0 x ffmpeg's pictures per second.
// 2. PutBitsFast on a code mix recorded from that encode against a bit-at-a-time byte writer.
//    The system asks for at least 4 x.
// 3. The H.264 picture loop on the same 100 pictures (plan precomputed with the test planner's
//    quarter-sample vectors, IBBP, N = 15, internal QP 14, one thread) against `x264 --preset
//    ultrafast --no-cabac --threads 1 --qp 26 --keyint 15 --bframes 2 --no-scenecut` on the
//    same pictures (the child's user time). The system asks for at least 1.0 x x264's pictures
//    per second.
// Times are user CPU seconds, the best of three runs.

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/venc/mbenc/memory_bit_stream.h"
#include "tests/venc/mbenc/test_planner.h"
#include "tests/venc/mbenc/test_rate_control.h"
#include "tests/support/cpu_time.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "venc/mbenc/h264_encoder.h"
#include "venc/mbenc/mb_encoder_mpeg12.h"

namespace orx::venc::bench {
namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr int kPictures = 100;
constexpr int kRuns = 3;

// An output that takes every block into one area and forgets it.
class DiscardingOutput final : public IVideoBitStream {
 public:
  uint8_t* GetWritePointer() override { return area_.data(); }
  void SetTimeStamps(int64_t, int64_t, int, int) override {}
  void Advance(uint8_t*, int bytes) override { bytes_ += static_cast<uint64_t>(bytes); }
  void Deliver() override {}
  uint64_t Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> area_ = std::vector<uint8_t>(4096 + 2048 + 8);
  uint64_t bytes_ = 0;
};

struct Code {
  uint32_t value;
  int length;
};

// The MPEG-2 encoder, recording the codes of the blocks it writes when asked to.
class BenchEncoder : public CMBEncoder_MPEG2 {
 public:
  std::vector<Code>* record = nullptr;

  void WriteMacroblock(MBInfo* mb, int cbp, int mbX) override {
    if (record != nullptr) RecordBlocks(*mb, cbp);
    CMBEncoder_MPEG2::WriteMacroblock(mb, cbp, mbX);
  }

 private:
  // The table codes (or 24-bit escapes) of every coded block, as the block coders write them.
  void RecordBlocks(const MBInfo& mb, int cbp) {
    const Mpeg12Tables& tables = GetMpeg12Tables();
    const bool intra = (mb.flags & MBINFO_INTRA) != 0;
    for (int b = 0; b < 6; ++b) {
      if (!intra && !(cbp & (0x20 >> b))) continue;
      const int16_t* block = coefficients_ + 64 * b;
      int run = 0;
      for (int p = intra ? 1 : 0; p < 64; ++p) {
        const int level = block[scan_[p]];
        if (level == 0) {
          ++run;
          continue;
        }
        const uint32_t entry =
            run <= kAcRunLimit && level >= -kAcLevelLimit && level <= kAcLevelLimit ? tables.acTableZero[AcIndex(level, run)] : 0;
        if (entry != 0) {
          record->push_back({PackedBits(entry), static_cast<int>(PackedLength(entry))});
        } else {
          record->push_back({(1u << 18) | static_cast<uint32_t>(run << 12) | (static_cast<uint32_t>(level) & 0xFFF), 24});
        }
        run = 0;
      }
      record->push_back({kEndOfBlockZero.code, kEndOfBlockZero.length});
    }
  }
};

struct Clip {
  orx::test::RawVideo video;
  std::string y4m;
};

EncoderSettings Settings(IVideoBitStream* output, int gopLength) {
  EncoderSettings s{};
  s.bitStream = output;
  s.gopLength = gopLength;
  s.anchorDistance = 3;
  s.codec = CODEC_MPEG2;
  s.bitRate = 8000000;
  s.width = kWidth;
  s.height = kHeight;
  s.frameRateIndex = 6;
  s.vbvBufferSize = 112;
  s.progressiveSequence = 1;
  s.chromaFormat = 1;
  s.videoFormat = 2;
  s.colourPrimaries = s.transferCharacteristics = s.matrixCoefficients = 1;
  s.mbCols = kWidth / 16;
  s.mbRows = kHeight / 16;
  s.codedWidth = kWidth;
  s.codedHeight = kHeight;
  s.stride = kWidth;
  s.profileLevel = 0x48;
  s.aspectCode = 2;
  return s;
}

// Codes every planned picture; answers the bytes written.
uint64_t Encode(const EncoderSettings& base, test::TestPlanner& planner, std::vector<Code>* record) {
  DiscardingOutput output;
  EncoderSettings settings = base;
  settings.bitStream = &output;
  test::TestRateControl rateControl;
  rateControl.quantiser = 4;
  BenchEncoder encoder;
  encoder.record = record;
  rateControl.encoder = &encoder;
  if (!encoder.Init(&settings, &rateControl)) {
    std::fprintf(stderr, "Init failed\n");
    std::exit(1);
  }
  for (test::PlannedPicture* p : planner.CodingOrder()) encoder.EncodePicture(&p->picture, nullptr);
  encoder.Finish();
  return output.Bytes();
}

double TimeOurLoop(const EncoderSettings& settings, test::TestPlanner& planner, uint64_t* bytes) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const double start = orx::test::UserCpuSeconds();
    *bytes = Encode(settings, planner, nullptr);
    best = std::min(best, orx::test::UserCpuSeconds() - start);
  }
  return best;
}

double TimeFfmpeg(const std::string& y4m, int pictures) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const orx::test::ProcessResult r = orx::test::RunProcess(
        {"ffmpeg", "-nostdin", "-benchmark", "-threads", "1", "-i", y4m, "-frames:v", std::to_string(pictures),
         "-c:v", "mpeg2video", "-qscale:v", "4", "-g", "15", "-bf", "2", "-motion_est", "zero", "-mbd", "simple",
         "-f", "null", "-"});
    const size_t at = r.err.find("utime=");
    if (r.exitCode != 0 || at == std::string::npos) {
      std::fprintf(stderr, "ffmpeg failed: %s\n", r.err.c_str());
      std::exit(1);
    }
    best = std::min(best, std::atof(r.err.c_str() + at + 6));
  }
  return best;
}

// The reference writer: one bit at a time into bytes.
class BitAtATimeWriter {
 public:
  void Put(uint32_t value, int length) {
    for (int i = length - 1; i >= 0; --i) {
      current_ = static_cast<uint8_t>((current_ << 1) | ((value >> i) & 1));
      if (++bits_ == 8) {
        bytes_[position_] = current_;
        position_ = (position_ + 1) & (bytes_.size() - 1);
        bits_ = 0;
        current_ = 0;
      }
    }
  }
  uint8_t Checksum() const { return bytes_[position_ / 2] ^ current_; }

 private:
  std::vector<uint8_t> bytes_ = std::vector<uint8_t>(1 << 20);
  size_t position_ = 0;
  int bits_ = 0;
  uint8_t current_ = 0;
};

void PackingRatio(const std::vector<Code>& recorded) {
  // A cache-sized part of the recording, so that both writers measure packing, not memory.
  const std::vector<Code> mix(recorded.begin(), recorded.begin() + std::min<size_t>(recorded.size(), 32768));
  constexpr int kRepeats = 4000;
  DiscardingOutput output;
  EncoderSettings settings = Settings(&output, 15);
  test::TestRateControl rateControl;
  BenchEncoder encoder;
  if (!encoder.Init(&settings, &rateControl)) std::exit(1);
  double fast = 1e30, slow = 1e30;
  uint8_t checksum = 0;
  for (int run = 0; run < kRuns; ++run) {
    double start = orx::test::UserCpuSeconds();
    for (int r = 0; r < kRepeats; ++r) {
      // PutBitsFast leaves the flush threshold to its caller, which checks it now and then, as
      // the macroblock layer does once a macroblock.
      for (size_t chunk = 0; chunk < mix.size(); chunk += 1024) {
        const size_t end = std::min(mix.size(), chunk + 1024);
        for (size_t i = chunk; i < end; ++i) encoder.PutBitsFast(mix[i].value, mix[i].length);
        encoder.FlushBits(false);
      }
    }
    encoder.FlushBits(true);
    fast = std::min(fast, orx::test::UserCpuSeconds() - start);
    BitAtATimeWriter reference;
    start = orx::test::UserCpuSeconds();
    for (int r = 0; r < kRepeats; ++r) {
      for (const Code& c : mix) reference.Put(c.value, c.length);
    }
    slow = std::min(slow, orx::test::UserCpuSeconds() - start);
    checksum ^= reference.Checksum();
  }
  uint64_t bits = 0;
  for (const Code& c : mix) bits += static_cast<uint64_t>(c.length);
  std::printf("\nPutBitsFast on %zu recorded codes (%.1f bits each), %d passes (checksum %u):\n", mix.size(),
              static_cast<double>(bits) / static_cast<double>(mix.size()), kRepeats, checksum);
  std::printf("  PutBitsFast              %7.3f s\n", fast);
  std::printf("  bit-at-a-time writer     %7.3f s\n", slow);
  std::printf("  ratio %.2f (at least 4 asked)\n", slow / fast);
}

// ---- H.264 ----

EncoderSettings H264Settings() {
  EncoderSettings s = Settings(nullptr, 15);
  s.codec = CODEC_H264;
  s.profileLevel = (77 << 8) | 30;  // main profile, level 3.0
  s.constraintFlags = 0x60;
  s.aspectCode = 1;
  s.videoFormat = 5;
  s.padX = 32;
  s.padY = 16;
  s.stride = s.codedWidth + 2 * s.padX;
  return s;
}

uint64_t EncodeH264(const EncoderSettings& base, test::TestPlanner& planner) {
  DiscardingOutput output;
  EncoderSettings settings = base;
  settings.bitStream = &output;
  test::TestRateControl rateControl;
  rateControl.quantiser = 14;  // QP 26
  CMBEncoder_H264 encoder;
  rateControl.encoder = &encoder;
  if (!encoder.Init(&settings, &rateControl)) {
    std::fprintf(stderr, "H.264 Init failed\n");
    std::exit(1);
  }
  for (test::PlannedPicture* p : planner.CodingOrder()) encoder.EncodePicture(&p->picture, nullptr);
  encoder.Finish();
  return output.Bytes();
}

double ChildUserSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
}

double TimeX264(const std::string& y4m, int pictures) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const double start = ChildUserSeconds();
    const orx::test::ProcessResult r = orx::test::RunProcess(
        {"x264", "--quiet", "--preset", "ultrafast", "--no-cabac", "--threads", "1", "--qp", "26", "--keyint",
         "15", "--bframes", "2", "--no-scenecut", "--frames", std::to_string(pictures), "-o", "/dev/null", y4m});
    if (r.exitCode != 0) {
      std::fprintf(stderr, "x264 failed: %s\n", r.err.c_str());
      std::exit(1);
    }
    best = std::min(best, ChildUserSeconds() - start);
  }
  return best;
}

void H264Ratio(const orx::test::RawVideo& video, const std::string& y4m) {
  test::PlanOptions plan;
  plan.gopLength = 15;
  plan.anchorDistance = 3;
  plan.closedGops = true;
  const EncoderSettings settings = H264Settings();
  test::TestPlanner planner(settings, plan, video);
  uint64_t bytes = 0;
  double ours = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const double start = orx::test::UserCpuSeconds();
    bytes = EncodeH264(settings, planner);
    ours = std::min(ours, orx::test::UserCpuSeconds() - start);
  }
  const double x264 = TimeX264(y4m, kPictures);
  const double x264One = TimeX264(y4m, 1);
  std::printf("\nH.264 picture loop, %d pictures %dx%d IBBP N 15, QP 26, planner's quarter-sample vectors:\n",
              kPictures, kWidth, kHeight);
  std::printf("  x264 ultrafast, CAVLC, 1 thread %7.3f s  (%.1f pictures/s; one picture: %.3f s)\n", x264,
              kPictures / x264, x264One);
  std::printf("  CMBEncoder_H264 picture loop   %7.3f s  (%.1f pictures/s, %llu bytes)\n", ours, kPictures / ours,
              static_cast<unsigned long long>(bytes));
  std::printf("  ratio %.2f (at least 1.0 asked); against x264 without its start-up %.2f\n", x264 / ours,
              (x264 - x264One) * kPictures / (kPictures - 1) / ours);
}

}  // namespace
}  // namespace orx::venc::bench

int main() {
  using namespace orx::venc;
  using namespace orx::venc::bench;
  orx::test::RawVideo video;
  std::string log;
  const std::string source = "testsrc2=size=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) + ":rate=25";
  if (!orx::test::GenerateLavfiVideo(source, kPictures, video, &log)) {
    std::fprintf(stderr, "cannot generate the clip: %s\n", log.c_str());
    return 1;
  }
  char dir[] = "/tmp/mbenc_speed_XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  const std::string y4m = std::string(dir) + "/clip.y4m";
  if (!orx::test::WriteY4mFile(y4m, video, 25, 1)) return 1;

  test::PlanOptions plan;
  plan.gopLength = 15;
  plan.anchorDistance = 3;
  plan.searchRange = 0;
  plan.halfPel = false;
  const EncoderSettings settings = Settings(nullptr, plan.gopLength);
  test::TestPlanner planner(settings, plan, video);

  std::vector<Code> mix;
  Encode(settings, planner, &mix);
  uint64_t bytes = 0;
  const double ours = TimeOurLoop(settings, planner, &bytes);
  const double ffmpeg = TimeFfmpeg(y4m, kPictures);
  const double ffmpegOne = TimeFfmpeg(y4m, 1);
  std::printf("MPEG-2 picture loop, %d pictures %dx%d IBBP N 15, quantiser 4, zero vectors:\n", kPictures,
              kWidth, kHeight);
  std::printf("  ffmpeg -threads 1 mpeg2video   %7.3f s  (%.1f pictures/s; one picture: %.3f s)\n", ffmpeg,
              kPictures / ffmpeg, ffmpegOne);
  std::printf("  CMBEncoder_MPEG2 picture loop  %7.3f s  (%.1f pictures/s, %llu bytes)\n", ours, kPictures / ours,
              static_cast<unsigned long long>(bytes));
  std::printf("  ratio %.2f (at least 1.0 asked); against ffmpeg without its start-up %.2f\n", ffmpeg / ours,
              (ffmpeg - ffmpegOne) * kPictures / (kPictures - 1) / ours);
  PackingRatio(mix);
  H264Ratio(video, y4m);
  std::remove(y4m.c_str());
  rmdir(dir);
  return 0;
}
