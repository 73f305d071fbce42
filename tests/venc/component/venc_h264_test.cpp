// H.264 streams written by libqvavenc.so through the test host (subtype 7: the MPEG-4 style
// estimator and the H.264 macroblock encoder), read back by ffmpeg and ffprobe: every picture
// pushed decodes with -xerror -err_detect explode (the trailing B pictures included); codec,
// profile, a level recomputed from ITU-T H.264 Table A-1 with the coded macroblock counts, the
// studio range, the colour words (BT.601 at 576 lines and below, BT.709 above), the sample
// aspect ratio of the aspect code the encoder chose; the bit rate on the real clip and a
// constant-rate buffer of the declared size that never overflows or empties.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/venc/component/source_video.h"
#include "tests/venc/component/venc_host.h"
#include "tests/venc/core/gop_plan.h"
#include "tests/venc/core/mpeg2_stream_reader.h"
#include "venc/core/aspect_ratio.h"

namespace orx::venc::test {
namespace {

struct H264Row {
  const char* name;
  int width, height;
  uint32_t rateX1000;
  uint32_t bitRate;
  uint32_t gopLength, anchorDistance;
  int frames;  // in the release configuration; sanitized runs code 30
  bool releaseOnly = false;
};

// The sample aspect pairs of aspect_ratio_idc 1..13 (ITU-T H.264 Table E-1).
constexpr int kSampleAspect[14][2] = {{0, 0},   {1, 1},   {12, 11}, {10, 11}, {16, 11},
                                      {40, 33}, {24, 11}, {20, 11}, {32, 11}, {80, 33},
                                      {18, 11}, {15, 11}, {64, 33}, {160, 99}};

// The level of ITU-T H.264 Table A-1 that the sequence needs: the lowest whose MaxFS, frame
// dimensions, MaxMBPS and MaxBR hold for the coded macroblock counts.
int TableA1Level(int width, int height, double rate, uint32_t bitRate) {
  struct A1 {
    int levelIdc;
    int64_t maxMbps, maxFs, maxBrKbit;
  };
  const A1 rows[] = {{10, 1485, 99, 64},        {11, 3000, 396, 192},     {12, 6000, 396, 384},
                     {13, 11880, 396, 768},     {20, 11880, 396, 2000},   {21, 19800, 792, 4000},
                     {22, 20250, 1620, 4000},   {30, 40500, 1620, 10000}, {31, 108000, 3600, 14000},
                     {32, 216000, 5120, 20000}, {40, 245760, 8192, 20000}, {41, 245760, 8192, 50000},
                     {42, 522240, 8704, 50000}};
  const int64_t cols = (width + 15) / 16;
  const int64_t mbRows = (height + 15) / 16;
  for (const A1& r : rows) {
    const double side = std::sqrt(8.0 * r.maxFs);
    if (cols * mbRows <= r.maxFs && cols <= side && mbRows <= side &&
        cols * mbRows * rate <= r.maxMbps && bitRate <= r.maxBrKbit * 1000) {
      return r.levelIdc;
    }
  }
  return -1;
}

// The sizes in bits of the access units of an Annex B stream, in decoding order: a unit starts
// at a parameter set or delimiter, or at a slice whose first_mb_in_slice is 0 (its ue(v) code
// is the single bit 1) that no parameter set or delimiter introduced.
std::vector<int64_t> AccessUnitBits(const std::vector<uint8_t>& stream) {
  std::vector<size_t> starts;
  bool introduced = false;
  for (size_t i = 0; i + 4 < stream.size(); ++i) {
    if (stream[i] != 0 || stream[i + 1] != 0 || stream[i + 2] != 1) continue;
    const size_t at = i > 0 && stream[i - 1] == 0 ? i - 1 : i;
    const int type = stream[i + 3] & 31;
    if (type == 7 || type == 8 || type == 9) {
      if (!introduced) starts.push_back(at);
      introduced = true;
    } else if ((type == 1 || type == 5) && (stream[i + 4] & 0x80) != 0) {
      if (!introduced) starts.push_back(at);
      introduced = false;
    }
  }
  std::vector<int64_t> bits;
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t end = k + 1 < starts.size() ? starts[k + 1] : stream.size();
    bits.push_back(8 * static_cast<int64_t>(end - starts[k]));
  }
  return bits;
}

// A constant-rate buffer of bufferBits filled at bitRate from time 0, access unit n taken out
// whole at d + n / rate: some start delay d must let every unit arrive before it is taken out
// and keep the buffer from overflowing. The gap between the latest and earliest such delay
// in seconds; negative when none exists.
double CpbDelayMargin(const std::vector<int64_t>& units, double bitRate, double bufferBits, double rate) {
  double earliest = 0.0, latest = 1e300;
  int64_t before = 0;
  for (size_t n = 0; n < units.size(); ++n) {
    const double removal = static_cast<double>(n) / rate;
    // Overflow: what arrived by the removal time, less what left, fits the buffer.
    latest = std::min(latest, (bufferBits + static_cast<double>(before)) / bitRate - removal);
    before += units[n];
    earliest = std::max(earliest, static_cast<double>(before) / bitRate - removal);
  }
  return latest - earliest;
}

std::string Field(const std::map<std::string, std::string>& m, const std::string& key) {
  const auto it = m.find(key);
  return it == m.end() ? "" : it->second;
}

void RunRow(const H264Row& row) {
  SCOPED_TRACE(row.name);
  VencLibrary library;
  ASSERT_TRUE(library.Loaded()) << library.Error();
  const int frames = kOrxSanitizedBuild ? 30 : row.frames;
  const SourceVideo source = TreeSource(row.width, row.height, frames);
  ASSERT_GE(source.frames, frames);
  HostEncode setup;
  setup.input = PlanarFormat(QVA_MSUBTYPE_YUV420, row.width, row.height, row.rateX1000);
  setup.output = Mpeg2Format(row.width, row.height, row.rateX1000, row.bitRate);
  setup.output.subtype = QVA_MSUBTYPE_H264;
  setup.params = ExportParams(row.gopLength, row.anchorDistance, row.bitRate, 1);
  setup.frameMs = 1000000.0 / row.rateX1000;
  const HostResult result = EncodeThroughHost(library, setup, frames, source.FrameBytes(),
                                              [&](int i, uint8_t* out) { source.Read(i, out); });
  ASSERT_TRUE(result.ended) << "no end marker came out";
  EXPECT_TRUE(result.errors.empty());
  ASSERT_FALSE(result.stream.empty());
  std::string fileName = row.name;
  for (char& c : fileName) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  const std::string path = WriteStreamFile(result.stream, "venc_h264", fileName + ".264");

  // Every picture decodes, none lost.
  const orx::test::ProcessResult decode = orx::test::RunProcess(
      {orx::test::RequireProgram("ffmpeg"), "-nostdin", "-v", "error", "-xerror", "-err_detect",
       "explode", "-i", path, "-f", "null", "-"});
  EXPECT_EQ(decode.exitCode, 0) << decode.err;
  const auto probe = orx::test::ProbeStream(path, "v:0", true);
  EXPECT_EQ(Field(probe, "nb_read_frames"), std::to_string(frames));
  EXPECT_EQ(Field(probe, "codec_name"), "h264");
  EXPECT_EQ(Field(probe, "profile"), row.anchorDistance <= 1 ? "Constrained Baseline" : "Main");
  const double rate = row.rateX1000 == 29970 ? 30000.0 / 1001.0 : row.rateX1000 / 1000.0;
  EXPECT_EQ(Field(probe, "level"), std::to_string(TableA1Level(row.width, row.height, rate, row.bitRate)));
  EXPECT_EQ(Field(probe, "width"), std::to_string(row.width));
  EXPECT_EQ(Field(probe, "height"), std::to_string(row.height));
  EXPECT_EQ(Field(probe, "color_range"), "tv");
  const char* colour = row.height <= 576 ? "smpte170m" : "bt709";
  EXPECT_EQ(Field(probe, "color_space"), colour);
  EXPECT_EQ(Field(probe, "color_transfer"), colour);
  EXPECT_EQ(Field(probe, "color_primaries"), row.height <= 576 ? "smpte170m" : "bt709");
  // The sample aspect ratio of the code the encoder chose for the display aspect.
  EncoderSettings settings = ComponentSettings(setup.params, setup.input, setup.output);
  SetAspectRatio(settings, settings.aspectX, settings.aspectY);
  const uint32_t code = static_cast<uint32_t>(settings.aspectCode);
  const int low = static_cast<int>(code & 255);
  const int sarW = low == 255 ? static_cast<int>((code >> 8) & 255) : kSampleAspect[low][0];
  const int sarH = low == 255 ? static_cast<int>(code >> 16) : kSampleAspect[low][1];
  EXPECT_EQ(Field(probe, "sample_aspect_ratio"), std::to_string(sarW) + ":" + std::to_string(sarH));

  if (kOrxSanitizedBuild) return;  // the rate needs the long runs
  const double seconds = frames / rate;
  const double achieved = static_cast<double>(result.stream.size()) * 8.0 / seconds;
  std::printf("%s: %.0f bit/s (%.2f of the target)\n", row.name, achieved, achieved / row.bitRate);
  EXPECT_NEAR(achieved / row.bitRate, 1.0, 0.03) << achieved;
  const std::vector<int64_t> units = AccessUnitBits(result.stream);
  EXPECT_EQ(units.size(), static_cast<size_t>(frames));
  EXPECT_GE(CpbDelayMargin(units, row.bitRate, 16384.0 * setup.params.vbvBufferSize, rate), 0.0);
}

TEST(VencH264, StreamsDecodeAndDescribeThemselves) {
  const H264Row rows[] = {
      {"720x576 IBBP 2 Mbit/s", 720, 576, 25000, 2000000, 15, 3, 97},
      {"720x576 IBBP 6 Mbit/s", 720, 576, 25000, 6000000, 15, 3, 98},
      {"720x480 IBBP 29.97", 720, 480, 29970, 6000000, 15, 3, 99},
      {"720x576 IPPP", 720, 576, 25000, 4000000, 15, 1, 100},
      {"720x576 I only", 720, 576, 25000, 8000000, 1, 1, 101},
      {"712x580 cropped", 712, 580, 25000, 4000000, 15, 3, 97},
      {"1366x768 at 29.97", 1366, 768, 29970, 8000000, 15, 3, 99, true},
      {"1920x1080 8 Mbit/s", 1920, 1080, 25000, 8000000, 15, 3, 100, true},
  };
  for (const H264Row& row : rows) {
    if (row.releaseOnly && kOrxSanitizedBuild) continue;
    RunRow(row);
  }
}

}  // namespace
}  // namespace orx::venc::test
