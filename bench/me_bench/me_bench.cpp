// Motion estimation speed: an N 15, M 3 sequence of the tree clip scaled to 720x576 through
// the whole-picture driver (P and B pictures, default search records, mode 4), once with the
// deepest core the CPU allows and once with the plain core. Reports macroblocks per second
// for both in the same process, so the two rates give the ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/venc/me/me_fixtures.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/test_paths.h"
#include "venc/dsp/core_factories.h"
#include "venc/me/mpeg2_motion_estimator.h"

namespace {

using namespace orx::venc;

const orx::test::RawVideo& Clip() {
  static orx::test::RawVideo clip = [] {
    orx::test::RawVideo video;
    orx::test::DecodeOptions options;
    options.outputArgs = {"-frames:v", "16", "-vf", "scale=720:576"};
    if (!orx::test::DecodeVideo(orx::test::MediaPath("tree.avi"), video, options)) {
      std::fprintf(stderr, "tree.avi could not be decoded\n");
    }
    return video;
  }();
  return clip;
}

// One pass over the clip; answers the macroblocks estimated in P and B pictures.
int64_t EncodeClip(bool plain) {
  const orx::test::RawVideo& clip = Clip();
  EncoderSettings s = test::MeSettings(720, 576, 15, 3);
  s.streamType = STREAM_TYPE_UNSPECIFIED;
  orx::dsp::CMotionEstimationCore* core = nullptr;
  if (plain) {
    core = new orx::dsp::CMotionEstimationCore;
  } else {
    orx::dsp::CreateMotionEstimationCore(&core);
  }
  test::MeSession session(s, new CMPEG2MotionEstimator(core));
  int64_t macroblocks = 0;
  for (size_t d = 0; d < clip.frames.size(); ++d) {
    CPicture* p = session.NewPicture(static_cast<int>(d));
    session.Feed(p, false, [&](uint8_t* luma, int stride) {
      for (int y = 0; y < 576; ++y)
        std::memcpy(luma + y * stride, clip.frames[d].data() + y * 720, 720);
    });
  }
  session.Estimator().FlushQueue();
  for (const test::CodedPicture& c : session.Encoder().coded) {
    if (c.type == PICTURE_P) macroblocks += s.mbCols * s.mbRows;
    if (c.type == PICTURE_B) macroblocks += 2 * s.mbCols * s.mbRows;  // forward and backward
  }
  return macroblocks;
}

void BM_EstimatePicture(benchmark::State& state) {
  const bool plain = state.range(0) != 0;
  if (Clip().frames.empty()) {
    state.SkipWithError("no clip");
    return;
  }
  int64_t macroblocks = 0;
  for (auto _ : state) macroblocks += EncodeClip(plain);
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(macroblocks), benchmark::Counter::kIsRate);
  state.SetLabel(plain ? "plain core" : "deepest core");
}
BENCHMARK(BM_EstimatePicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
