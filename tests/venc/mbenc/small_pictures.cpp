#include "tests/venc/mbenc/small_pictures.h"

namespace orx::venc::test {

orx::test::RawVideo DrawVideo(int width, int height, int frames, const PixelFormula& pixel) {
  orx::test::RawVideo video;
  video.width = width;
  video.height = height;
  for (int f = 0; f < frames; ++f) {
    std::vector<uint8_t> frame(video.FrameBytes());
    size_t i = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) frame[i++] = pixel(f, 0, x, y);
    }
    for (int plane = 1; plane <= 2; ++plane) {
      for (int y = 0; y < (height + 1) / 2; ++y) {
        for (int x = 0; x < (width + 1) / 2; ++x) frame[i++] = pixel(f, plane, x, y);
      }
    }
    video.frames.push_back(std::move(frame));
  }
  return video;
}

uint8_t Texture(int frame, int plane, int x, int y) {
  const unsigned v = static_cast<unsigned>((x * 37 + y * 91 + frame * 13 + plane * 50) ^ (x * y * 7));
  return static_cast<uint8_t>(16 + v % 224);
}

EncodeSetup RecordedSetup(int codec, const orx::test::RawVideo& video, int n, int m, int q,
                          std::vector<MacroblockRecord>* log, CoreCounters* counters) {
  EncodeSetup setup = MakeSetup(codec, video.width, video.height, 0, n, m, q);
  setup.video = &video;
  setup.makeEncoder = [codec, log, counters]() -> std::unique_ptr<CMBEncoder_MPEG1> {
    if (codec == CODEC_MPEG1) return std::make_unique<RecordingEncoder<CMBEncoder_MPEG1>>(log, counters);
    return std::make_unique<RecordingEncoder<CMBEncoder_MPEG2>>(log, counters);
  };
  return setup;
}

}  // namespace orx::venc::test
