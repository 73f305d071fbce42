#include "tests/engine/transcode/real_encode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "engine/catalogue/component_loader.h"
#include "media/media_codes.h"
#include "framework/qva_clock.h"
#include "tests/support/test_paths.h"
#include "tests/engine/transcode/tengine_test_support.h"

namespace orx::test {
namespace {

constexpr uint32_t kRateNum = 30000;
constexpr uint32_t kRateDen = 1001;
constexpr uint32_t kAudioRate = 48000;
constexpr uint32_t kAudioChannels = 2;
constexpr uint32_t kAudioBlockSamples = 1600;  // 1/30 s
constexpr uint32_t kAudioLeadMs = 100;         // audio delivered ahead of the video
constexpr uint32_t kVuyaPool = 64;             // lent VUYA frames in flight at most
constexpr uint32_t kReleaseWaitMs = 30000;
constexpr uint32_t kEndWaitMs = 120000;

uint64_t FrameTimeMs(uint32_t index) { return uint64_t{index} * 1000 * kRateDen / kRateNum; }
void* FrameHandle(uint32_t index) { return reinterpret_cast<void*>(uintptr_t{index} + 1); }

uint32_t ReleasesOf(EngineSink& sink, uint32_t index) {
  std::lock_guard<std::mutex> lock(sink.mutex);
  return static_cast<uint32_t>(std::count(sink.releasedHandles.begin(), sink.releasedHandles.end(), FrameHandle(index)));
}

// A 1 kHz tone on both channels, 16-bit, from sample `first` on.
std::vector<uint8_t> ToneBlock(uint64_t first, uint32_t samples) {
  std::vector<uint8_t> block(size_t{samples} * kAudioChannels * 2);
  for (uint32_t n = 0; n < samples; ++n) {
    const double phase = 2.0 * M_PI * 1000.0 * static_cast<double>(first + n) / kAudioRate;
    const auto value = static_cast<int16_t>(std::lround(8000.0 * std::sin(phase)));
    for (uint32_t c = 0; c < kAudioChannels; ++c) {
      const size_t at = (size_t{n} * kAudioChannels + c) * 2;
      block[at] = static_cast<uint8_t>(value & 0xFF);
      block[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
    }
  }
  return block;
}

// Feeds PCM up to the given time (ms) plus the lead, never past the last sample, in blocks with
// their time stamps.
void DeliverAudioUpTo(EngineDriver& driver, uint64_t timeMs, uint64_t lastSample, uint64_t& samplesSent) {
  const uint64_t until = std::min((timeMs + kAudioLeadMs) * kAudioRate / 1000, lastSample);
  while (samplesSent < until) {
    const auto samples = static_cast<uint32_t>(std::min<uint64_t>(kAudioBlockSamples, until - samplesSent));
    std::vector<uint8_t> block = ToneBlock(samplesSent, samples);
    ComponentBuffer buffer{};
    buffer.flags = QVA_BUFFLAG_AUDIO | QVA_BUFFLAG_TIMESTAMP | QVA_BUFFLAG_EXTERNAL;
    buffer.frameworkMark = 1;
    buffer.timestamp = samplesSent * 1000 / kAudioRate;
    buffer.data = block.data();
    buffer.capacity = buffer.length = static_cast<uint32_t>(block.size());
    QVATengine_DeliverAudio(driver.engine, &buffer, 0, nullptr, QVA_INFINITE);
    samplesSent += samples;
  }
}

}  // namespace

void InstallRealComponents(const std::string& folder, bool programStream) {
  std::vector<std::string> names = {"libqvavenc.so"};
  if (programStream) {
    names.push_back("qvacmux.so");
    names.push_back("libqvaaenc.so");
  }
  for (const std::string& name : names) {
    std::filesystem::copy_file(std::filesystem::path(LibraryDir()) / name, std::filesystem::path(folder) / name,
                               std::filesystem::copy_options::overwrite_existing);
  }
  CompSetLibPath(folder.c_str(), kLibPathNarrow);
}

void PackVuyaBottomUp(const uint8_t* planar, uint32_t width, uint32_t height, uint8_t* out) {
  const uint8_t* y = planar;
  const uint8_t* cb = y + size_t{width} * height;
  const uint8_t* cr = cb + size_t{width / 2} * (height / 2);
  for (uint32_t row = 0; row < height; ++row) {
    uint8_t* line = out + size_t{height - 1 - row} * width * 4;
    const size_t chromaRow = size_t{row / 2} * (width / 2);
    for (uint32_t x = 0; x < width; ++x) {
      line[4 * x] = cr[chromaRow + x / 2];
      line[4 * x + 1] = cb[chromaRow + x / 2];
      line[4 * x + 2] = y[size_t{row} * width + x];
      line[4 * x + 3] = 255;
    }
  }
}

QVATengineConfig RealEncodeConfig(const RealEncodeJob& job) {
  const uint32_t width = static_cast<uint32_t>(job.source->width);
  const uint32_t height = static_cast<uint32_t>(job.source->height);
  QVATengineConfig config = MakeConfig(job.subtype, width, height, width, height);
  config.audioEnabled = job.programStream ? 1 : 0;
  config.targetVideo.BitrateAverage = config.targetVideo.BitrateMax = job.bitRate;
  config.targetVideo.subtype = job.codec;
  VideoEncoderParams& p = config.encoderParams;
  p.optionFlags = VEP_OPT_CLOSED_GOPS | VEP_OPT_MULTIVENC | VEP_OPT_EOS_FLUSH;
  p.engineFlags = VEP_ENGINE_MULTI_INSTANCE;
  p.encoderCount = job.instances;
  p.gopLength = 15;
  p.anchorDistance = 3;
  p.averageBitRate = p.peakBitRate = job.bitRate;
  p.vbvBufferSize = 112;
  if (job.direct) {
    p.optionFlags = VEP_OPT_CLOSED_GOPS;
    p.engineFlags = 0;
    p.encoderCount = 0;
  }
  return config;
}

RealEncodeResult EncodeThroughEngine(const RealEncodeJob& job) {
  RealEncodeResult result;
  const uint32_t width = static_cast<uint32_t>(job.source->width);
  const uint32_t height = static_cast<uint32_t>(job.source->height);
  const uint32_t frames = std::min<uint32_t>(job.frames, static_cast<uint32_t>(job.source->frames.size()));
  const StreamMediaType target = job.programStream ? MakeTarget(QVA_MTYPE_MPEG2_PS, 0)
                                                   : MakeTarget(QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2);
  EngineDriver driver(RealEncodeConfig(job), target);
  result.opened = driver.openStatus == QVA_SUCCESS;
  if (!result.opened) return result;
  const auto start = std::chrono::steady_clock::now();
  if (driver.Run() != QVA_SUCCESS) return result;
  const bool packed = job.subtype == QVA_MSUBTYPE_YUV444I;
  std::vector<std::vector<uint8_t>> pool(packed ? std::min(kVuyaPool, frames) : 0);
  uint64_t samplesSent = 0;
  // As much sound as picture.
  const uint64_t lastSample = uint64_t{frames} * kAudioRate * kRateDen / kRateNum;
  for (uint32_t i = 0; i < frames; ++i) {
    if (job.programStream) DeliverAudioUpTo(driver, FrameTimeMs(i), lastSample, samplesSent);
    const std::vector<uint8_t>* lent = &job.source->frames[i];
    if (packed) {
      std::vector<uint8_t>& slot = pool[i % pool.size()];
      if (i >= pool.size()) {
        // The host reuses a frame's memory only after the engine gave it back.
        const void* reused = FrameHandle(i - static_cast<uint32_t>(pool.size()));
        driver.sink.WaitUntil(
            [&] {
              const auto& released = driver.sink.releasedHandles;
              return std::find(released.begin(), released.end(), reused) != released.end();
            },
            std::chrono::milliseconds(kReleaseWaitMs));
      }
      slot.resize(size_t{width} * height * 4);
      PackVuyaBottomUp(job.source->frames[i].data(), width, height, slot.data());
      lent = &slot;
    }
    if (driver.DeliverFrame(*lent, FrameTimeMs(i), FrameHandle(i)) != QVA_SUCCESS) break;
  }
  if (job.programStream) DeliverAudioUpTo(driver, FrameTimeMs(frames), lastSample, samplesSent);
  driver.EndVideo();
  if (job.programStream) driver.EndAudio();
  result.ended = driver.WaitForSinkEnd(kEndWaitMs);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto lastData = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(driver.sink.lastDataNanos.load()));
  result.secondsToLastPicture = std::chrono::duration<double>(lastData - start).count();
  driver.Finish();
  result.waited = driver.waited;
  result.stream = driver.sink.Stream();
  result.releasesPerFrame.resize(frames);
  for (uint32_t i = 0; i < frames; ++i) result.releasesPerFrame[i] = ReleasesOf(driver.sink, i);
  return result;
}

}  // namespace orx::test
