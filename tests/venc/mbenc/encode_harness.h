#pragma once
// Whole encodes for the tests: a clip from an ffmpeg lavfi source (or given frames), planned
// by the test planner, coded picture by picture (or row by row) by the MPEG-1, MPEG-2,
// MPEG-4 Part 2, Kalder or H.264 encoder with the test rate controller, and the pieces the
// checks need: the stream, the encoder's reconstruction of every picture in display order and
// the statistics it reported.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/venc/mbenc/memory_bit_stream.h"
#include "tests/venc/mbenc/test_encoders.h"
#include "tests/venc/mbenc/test_planner.h"
#include "tests/venc/mbenc/test_rate_control.h"
#include "tests/support/ffmpeg.h"

namespace orx::venc::test {

struct EncodeSetup {
  int codec = CODEC_MPEG2;
  int width = 720;
  int height = 576;
  int frames = 10;
  std::string source = "testsrc2";  // lavfi source; size and rate are appended
  const orx::test::RawVideo* video = nullptr;  // frames to code instead of a lavfi source
  PlanOptions plan;
  int quantiser = 4;  // H.264: the internal QP (QP - 12)
  bool callback = true;    // per-picture callback set: every picture is reconstructed
  bool rowMode = false;    // the row-pipelined mode (block-ordered pictures, zero vectors)
  bool accelerated = false;
  std::function<bool(int row)> refusePredictionJob;  // the accelerator refuses these rows' jobs
  std::function<void(EncoderSettings&)> adjustSettings;
  std::function<void(TestRateControl&)> adjustRateControl;
  // Replaces planned decisions (after planning, before coding).
  std::function<void(TestPlanner&)> script;
  // Creates the encoder instead of the plain MPEG-1/2 classes (test subclasses).
  std::function<std::unique_ptr<CMBEncoder_MPEG1>()> makeEncoder;
  // Called after each picture is coded (coding order).
  std::function<void(PlannedPicture&, CMBEncoder&)> afterPicture;
};

struct CallbackRecord {
  int pictureType;
  int displayNumber;
  PictureStatistics statistics;
};

struct EncodeRun {
  bool initialised = false;
  int codec = CODEC_MPEG2;
  int width = 0;
  int height = 0;
  std::vector<uint8_t> stream;
  // Display order, planar 4:2:0 at the display size.
  std::vector<std::vector<uint8_t>> sources;
  std::vector<std::vector<uint8_t>> reconstructions;  // a repeat picture: what it repeats
  std::vector<char> pictureTypes;                      // coding order
  std::vector<bool> repeats;                           // display order
  std::vector<CallbackRecord> callbacks;
  std::vector<std::vector<MBInfo>> plans;  // coding order, after coding
  std::vector<int> displayNumbers;         // coding order
  std::vector<int> rowQuantisers;
  int acceleratorJobs = 0;
  int acceleratorMaxOutstanding = 0;
  int acceleratorResets = 0;
  int acceleratorErrors = 0;
  bool guardsIntact = true;
  uint64_t lostBytes = 0;
};

// A setup for a lavfi clip of width x height (or for `video`, set afterwards): N, M and the
// rate controller's quantiser.
EncodeSetup MakeSetup(int codec, int width, int height, int frames, int n, int m, int quantiser);

EncodeRun RunEncode(const EncodeSetup& setup);

// Writes the stream to a temporary file and checks it against ffmpeg: strict decoding, the
// frame count, and every decoded frame against the encoder's reconstruction (PSNR at least
// minimumPsnr, or exact). Answers the path of the stream.
std::string CheckDecodesToReconstruction(const EncodeRun& run, const std::string& tag,
                                         double minimumPsnr = 45.0, bool exact = false);

// Lowest luma PSNR of the reconstructions against the sources.
double LowestSourcePsnr(const EncodeRun& run);

}  // namespace orx::venc::test
