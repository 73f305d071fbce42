#include "tests/venc/mbenc/encode_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "tests/venc/mbenc/h264_dc_stream.h"
#include "tests/venc/mbenc/stream_tools.h"
#include "tests/venc/mbenc/test_accelerator.h"
#include "tests/support/test_paths.h"

namespace orx::venc::test {
namespace {

// The per-picture callback has no context argument; it runs on the encoding thread, so each
// thread records into its own list.
thread_local std::vector<CallbackRecord>* g_callbacks = nullptr;

void RecordCallback(int pictureType, int displayNumber, PictureStatistics* statistics) {
  if (g_callbacks != nullptr) g_callbacks->push_back({pictureType, displayNumber, *statistics});
}

struct AlignedBytes {
  explicit AlignedBytes(size_t n)
      : bytes(static_cast<uint8_t*>(std::aligned_alloc(128, (n + 127) / 128 * 128))) {
    std::memset(bytes, 0x80, n);
  }
  ~AlignedBytes() { std::free(bytes); }
  AlignedBytes(const AlignedBytes&) = delete;
  AlignedBytes& operator=(const AlignedBytes&) = delete;
  uint8_t* bytes;
};

// Codes every picture row by row, in the block-ordered layout.
void EncodeRows(CMBEncoder& encoder, TestPlanner& planner, const EncoderSettings& settings,
                std::vector<std::unique_ptr<AlignedBytes>>& recons,
                const std::function<void(PlannedPicture&, CMBEncoder&)>& afterPicture) {
  const size_t pictureBytes = static_cast<size_t>(settings.mbCols) * settings.mbRows * 384;
  const size_t rowBytes = static_cast<size_t>(settings.mbCols) * 384;
  std::vector<AlignedBytes*> reconOf(planner.CodingOrder().size(), nullptr);
  for (PlannedPicture* p : planner.CodingOrder()) {
    AlignedBytes* recon;
    if (p->picture.copyMode != COPY_NONE && p->picture.pictureType == PICTURE_P) {
      recon = reconOf[static_cast<size_t>(p->forward->codingIndex)];
    } else {
      recons.push_back(std::make_unique<AlignedBytes>(pictureBytes));
      recon = recons.back().get();
    }
    reconOf[static_cast<size_t>(p->codingIndex)] = recon;
    const std::vector<uint8_t> source = p->source->ToBlockOrdered();
    AlignedBytes row(rowBytes);
    CPicture& pic = p->picture;
    pic.reconLuma = recon->bytes;
    pic.reconChroma = recon->bytes + static_cast<size_t>(settings.mbCols) * 256;
    encoder.BeginPicture(&pic);
    for (int r = 0; r < settings.mbRows; ++r) {
      // The preprocessor delivers one row at a time into its row buffer.
      std::memcpy(row.bytes, source.data() + r * rowBytes, rowBytes);
      pic.srcLuma = row.bytes;
      pic.srcChroma = row.bytes + static_cast<size_t>(settings.mbCols) * 256;
      encoder.NextRow();
    }
    encoder.EndPicture(&pic);
    p->recon->FromBlockOrdered(recon->bytes);
    if (afterPicture) afterPicture(*p, encoder);
  }
}

}  // namespace

EncodeSetup MakeSetup(int codec, int width, int height, int frames, int n, int m, int quantiser) {
  EncodeSetup s;
  s.codec = codec;
  s.width = width;
  s.height = height;
  s.frames = frames;
  s.plan.gopLength = n;
  s.plan.anchorDistance = m;
  s.quantiser = quantiser;
  return s;
}

EncodeRun RunEncode(const EncodeSetup& setup) {
  EncodeRun run;
  orx::test::RawVideo generated;
  const orx::test::RawVideo* video = setup.video;
  if (video == nullptr) {
    const std::string source = setup.source + "=size=" + std::to_string(setup.width) + "x" +
                               std::to_string(setup.height) + ":rate=25";
    std::string log;
    if (!orx::test::GenerateLavfiVideo(source, setup.frames, generated, &log)) {
      ADD_FAILURE() << "cannot generate " << source << ": " << log;
      return run;
    }
    video = &generated;
  }
  run.width = video->width;
  run.height = video->height;
  run.codec = setup.codec;

  MemoryBitStream output;
  TestRateControl rateControl;
  const bool h264 = setup.codec == CODEC_H264;
  const bool progressive = !(setup.plan.interlaced || setup.plan.pulldown);
  EncoderSettings settings = h264 ? MakeH264Settings(video->width, video->height, &output, progressive)
                                  : MakeSettings(setup.codec, video->width, video->height, &output);
  if (h264) {
    // Padded reconstructions, as the frame store gives them.
    settings.padX = 32;
    settings.padY = 16;
    settings.stride = settings.codedWidth + 2 * settings.padX;
  }
  settings.gopLength = setup.plan.gopLength;
  settings.anchorDistance = setup.plan.anchorDistance;
  if (!h264) SetProgressiveSequence(settings, progressive);
  settings.reorderPictures = setup.rowMode ? 1 : 0;
  if (setup.callback) settings.pictureCallback = RecordCallback;
  if (setup.adjustSettings) setup.adjustSettings(settings);
  rateControl.quantiser = setup.quantiser;
  if (setup.adjustRateControl) setup.adjustRateControl(rateControl);

  TestPlanner planner(settings, setup.plan, *video);
  if (setup.script) setup.script(planner);

  std::unique_ptr<CMBEncoder> encoder;
  if (setup.makeEncoder) {
    encoder = setup.makeEncoder();
  } else if (h264) {
    encoder = std::make_unique<CMBEncoder_H264>();
  } else if (setup.codec == CODEC_MPEG1) {
    encoder = std::make_unique<TestMpeg1Encoder>();
  } else if (setup.codec == CODEC_KALDER) {
    encoder = std::make_unique<TestKalderEncoder>();
  } else if (setup.codec == CODEC_MPEG4 && settings.useMpegQuant) {
    encoder = std::make_unique<TestMpeg4Encoder>();
  } else if (setup.codec == CODEC_MPEG4) {
    encoder = std::make_unique<TestMpeg4H263Encoder>();
  } else {
    encoder = std::make_unique<TestMpeg2Encoder>();
  }
  rateControl.encoder = encoder.get();

  std::unique_ptr<TestAccelerator> accelerator;
  if (setup.accelerated) {
    std::vector<PlannedPicture*> coding = planner.CodingOrder();
    accelerator = std::make_unique<TestAccelerator>([coding](int reconIndex) {
      PlannedPicture* p = coding[static_cast<size_t>(reconIndex)];
      return std::make_pair(p->recon->Luma(), p->recon->Chroma());
    });
    accelerator->refuse = setup.refusePredictionJob;
    encoder->SetAccelerator(accelerator.get(), 1);
    EXPECT_EQ(encoder->GetAccelerator(), accelerator.get());
  }
  run.initialised = encoder->Init(&settings, &rateControl);
  if (!run.initialised) {
    ADD_FAILURE() << "Init failed";
    return run;
  }
  g_callbacks = &run.callbacks;
  std::vector<std::unique_ptr<AlignedBytes>> rowRecons;
  // Each picture's reconstruction as it stands when the picture is done: a repeat anchor
  // shares (and may rewrite) its reference's buffer.
  std::vector<std::vector<uint8_t>> snapshots(planner.CodingOrder().size());
  const auto afterPicture = [&](PlannedPicture& p, CMBEncoder& e) {
    snapshots[static_cast<size_t>(p.display)] = p.recon->ToPlanar(video->width, video->height);
    if (setup.afterPicture) setup.afterPicture(p, e);
  };
  if (setup.rowMode) {
    EncodeRows(*encoder, planner, settings, rowRecons, afterPicture);
  } else {
    for (PlannedPicture* p : planner.CodingOrder()) {
      encoder->EncodePicture(&p->picture, nullptr);
      afterPicture(*p, *encoder);
    }
  }
  encoder->Finish();
  g_callbacks = nullptr;
  run.stream = output.AllBytes();
  run.guardsIntact = output.GuardsIntact() && output.ProtocolKept();
  run.lostBytes = encoder->LostOutputBytes();
  run.rowQuantisers = rateControl.rowQuantisers;
  if (accelerator) {
    run.acceleratorJobs = accelerator->JobsPosted();
    run.acceleratorMaxOutstanding = accelerator->MaxOutstanding();
    run.acceleratorResets = accelerator->Resets();
    run.acceleratorErrors = accelerator->ProtocolErrors();
  }
  for (PlannedPicture* p : planner.CodingOrder()) {
    run.pictureTypes.push_back(" IPB"[p->picture.pictureType]);
    run.plans.push_back(p->mbs);
    run.displayNumbers.push_back(p->display);
  }
  for (PlannedPicture* p : planner.DisplayOrder()) {
    run.sources.push_back(p->source->ToPlanar(video->width, video->height));
    if (h264) {
      // Every H.264 picture is coded, repeat pictures too.
      run.reconstructions.push_back(snapshots[static_cast<size_t>(p->display)]);
      run.repeats.push_back(p->picture.copyMode != COPY_NONE);
      continue;
    }
    // A repeat picture shows what it repeats.
    const PlannedPicture* shown = p;
    if (p->picture.copyMode == COPY_FORWARD) shown = p->forward;
    if (p->picture.copyMode == COPY_BACKWARD) shown = p->backward;
    while (shown->picture.copyMode != COPY_NONE) shown = shown->forward;
    run.reconstructions.push_back(shown->recon->ToPlanar(video->width, video->height));
    run.repeats.push_back(p->picture.copyMode != COPY_NONE);
  }
  return run;
}

std::string CheckDecodesToReconstruction(const EncodeRun& run, const std::string& tag,
                                         double minimumPsnr, bool exact) {
  const std::string dir = orx::test::MakeTempDir("mbenc");
  const bool mpeg4 = run.codec == CODEC_MPEG4;
  const bool h264 = run.codec == CODEC_H264;
  const std::string path = dir + "/" + tag + (h264 ? ".h264" : mpeg4 ? ".m4v" : ".mpv");
  EXPECT_TRUE(WriteBytes(path, run.stream));
  orx::test::RawVideo decoded;
  std::string log;
  const bool decodes = h264    ? DecodeStrictH264(path, decoded, &log)
                       : mpeg4 ? DecodeStrictMpeg4(path, decoded, &log)
                               : DecodeStrict(path, decoded, &log);
  if (!decodes) {
    ADD_FAILURE() << tag << ": ffmpeg does not decode the stream: " << log;
    return path;
  }
  EXPECT_EQ(decoded.frames.size(), run.reconstructions.size()) << tag;
  EXPECT_EQ(decoded.width, run.width);
  EXPECT_EQ(decoded.height, run.height);
  const size_t n = std::min(decoded.frames.size(), run.reconstructions.size());
  for (size_t i = 0; i < n; ++i) {
    const std::vector<uint8_t>& expected = run.reconstructions[i];
    if (decoded.frames[i].size() != expected.size()) {
      ADD_FAILURE() << tag << ": frame " << i << " has another size";
      break;
    }
    if (exact) {
      if (decoded.frames[i] != expected) {
        // Where the first difference lies: plane, macroblock and sample.
        const size_t at = static_cast<size_t>(std::mismatch(expected.begin(), expected.end(), decoded.frames[i].begin()).first -
                                              expected.begin());
        const size_t luma = static_cast<size_t>(run.width) * run.height;
        const int w = at < luma ? run.width : (run.width + 1) / 2;
        const size_t inPlane = at < luma ? at : (at - luma) % (luma / 4);
        const int x = static_cast<int>(inPlane % static_cast<size_t>(w));
        const int y = static_cast<int>(inPlane / static_cast<size_t>(w));
        const int mbSize = at < luma ? 16 : 8;
        ADD_FAILURE() << tag << ": frame " << i << " differs first in " << (at < luma ? "luma" : "chroma")
                      << " at (" << x << ", " << y << "), macroblock (" << x / mbSize << ", " << y / mbSize
                      << "): " << int(expected[at]) << " against " << int(decoded.frames[i][at]);
      }
      continue;
    }
    const double psnr = orx::test::PlanePsnr(decoded.frames[i].data(), expected.data(), expected.size());
    EXPECT_GE(psnr, minimumPsnr) << tag << ": frame " << i;
  }
  return path;
}

double LowestSourcePsnr(const EncodeRun& run) {
  double lowest = 100;
  const size_t luma = static_cast<size_t>(run.width) * run.height;
  for (size_t i = 0; i < run.sources.size(); ++i) {
    if (run.repeats[i]) continue;
    lowest = std::min(lowest, orx::test::PlanePsnr(run.sources[i].data(), run.reconstructions[i].data(), luma));
  }
  return lowest;
}

}  // namespace orx::venc::test
