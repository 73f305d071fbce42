// The H.264 codec-private header: the access unit delimiter and parameter sets that the
// component puts into its output format equal, byte for byte, those an encoder of the same
// settings writes into its stream; ffmpeg reads each header; a header asked for between two
// pictures leaves the stream as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "tests/venc/common/collecting_bit_stream.h"
#include "tests/venc/common/settings_fixture.h"
#include "venc/core/mpeg_video_encoder.h"
#include "venc/core/preprocessor.h"
#include "venc/core/sequence_header.h"
#include "venc/core/video_encoder.h"
#include "venc/dsp/cpu_features.h"

namespace orx::venc {
namespace {

EncoderSettings H264(int width, int height, int frameRateIndex, int streamType, int bitRate) {
  EncoderSettings s = test::Mpeg2Settings(width, height, frameRateIndex, bitRate);
  s.codec = CODEC_H264;
  s.streamType = streamType;
  s.videoFormat = 2;
  s.quietChecks = 1;
  s.vbvBufferSize = 0;
  return s;
}

// The NAL units of an Annex B byte stream (three- or four-byte start codes), without start
// codes.
std::vector<std::vector<uint8_t>> NalUnits(const std::vector<uint8_t>& bytes) {
  std::vector<std::vector<uint8_t>> units;
  size_t i = 0;
  auto atStart = [&](size_t k) {
    return k + 3 <= bytes.size() && bytes[k] == 0 && bytes[k + 1] == 0 && bytes[k + 2] == 1;
  };
  while (i < bytes.size() && !atStart(i)) ++i;
  while (i < bytes.size()) {
    const size_t begin = i + 3;
    size_t end = begin;
    while (end < bytes.size() && !atStart(end)) ++end;
    size_t last = end;
    // The zero byte of a four-byte start code belongs to the next one.
    while (end < bytes.size() && last > begin && bytes[last - 1] == 0) --last;
    units.emplace_back(bytes.begin() + static_cast<long>(begin), bytes.begin() + static_cast<long>(last));
    i = end;
  }
  return units;
}

const std::vector<uint8_t>* FirstOfType(const std::vector<std::vector<uint8_t>>& units, int type) {
  for (const auto& u : units) {
    if (!u.empty() && (u[0] & 31) == type) return &u;
  }
  return nullptr;
}

// The stream of `frames` grey-ramp pictures (every picture different), and the header asked
// for with `between` (if given) after the first picture.
std::vector<uint8_t> Encode(const EncoderSettings& given, int frames,
                            const EncoderSettings* between = nullptr) {
  IMPEGVideoEncoder* made = nullptr;
  EXPECT_TRUE(NewMPEGVideoEncoder(&made, 0));
  auto* video = static_cast<CVideoEncoder*>(made);
  test::CollectingBitStream out;
  EncoderSettings s = given;
  s.bitStream = &out;
  EXPECT_TRUE(video->Configure(&s));
  EXPECT_TRUE(video->Open());
  const size_t lumaSize = static_cast<size_t>(s.width) * s.height;
  std::vector<uint8_t> frame(lumaSize * 3 / 2, 128);
  for (int f = 0; f < frames; ++f) {
    for (size_t i = 0; i < lumaSize; ++i) frame[i] = static_cast<uint8_t>((i % s.width + 3 * f) & 255);
    EncodeFrameRequest request{};
    request.data = frame.data();
    request.fourcc = FOURCC_I420;
    request.width = s.width;
    request.height = s.height;
    request.timeStamp = 40 * f;
    EXPECT_EQ(video->EncodeFrame(&request), 1);
    if (f == 0 && between != nullptr) {
      uint8_t header[kSequenceHeaderCapacity];
      EXPECT_GT(video->GetSequenceHeader(between, header), 0);
    }
  }
  video->Finish();
  video->Close();
  video->Release();
  return out.Collected();
}

TEST(H264SequenceHeader, EqualsTheStreamsParameterSets) {
  struct Case {
    const char* name;
    int width, height, frameRateIndex, streamType;
  };
  std::vector<Case> cases;
  // Every frame rate: the 32-bit timing fields meet every alignment of their zero bytes.
  static const char* const kRates[12] = {"12",    "12.5", "14.985", "15", "23.976", "24",
                                         "25",    "29.97", "30",     "50", "59.94",  "60"};
  for (int r = 0; r < 12; ++r) cases.push_back({kRates[r], 352, 288, r, 0});
  cases.push_back({"712x580, cropped", 712, 580, 6, 0});
  cases.push_back({"1366x768 at 29.97", 1366, 768, 7, 0});
  cases.push_back({"720x576, stream type 5 (delimiters, HRD)", 720, 576, 6, 5});
  cases.push_back({"720x480, stream type 7", 720, 480, 7, 7});
  std::vector<uint8_t> all;  // every header, one after the other, for one ffmpeg run
  std::vector<int64_t> timeScales;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EncoderSettings s = H264(c.width, c.height, c.frameRateIndex, c.streamType,
                                   c.width >= 1280 ? 8000000 : 2000000);
    uint8_t header[kSequenceHeaderCapacity];
    const int length = GetSequenceHeader(s, header, dsp::GetCpuFeatures());
    ASSERT_GT(length, 0);
    const std::vector<uint8_t> headerBytes(header, header + length);
    const auto headerUnits = NalUnits(headerBytes);
    const bool delimited = c.streamType == 5 || c.streamType == 7;
    ASSERT_EQ(headerUnits.size(), delimited ? 3u : 2u);
    if (delimited) {
      EXPECT_EQ(headerUnits[0], (std::vector<uint8_t>{0x09, 0x10}));
    }
    EXPECT_EQ(headerUnits[headerUnits.size() - 2][0] & 31, 7);
    EXPECT_EQ(headerUnits.back()[0] & 31, 8);

    const auto streamUnits = NalUnits(Encode(s, 1));
    const auto* sps = FirstOfType(streamUnits, 7);
    const auto* pps = FirstOfType(streamUnits, 8);
    ASSERT_NE(sps, nullptr);
    ASSERT_NE(pps, nullptr);
    EXPECT_EQ(headerUnits[headerUnits.size() - 2], *sps);
    EXPECT_EQ(headerUnits.back(), *pps);

    all.insert(all.end(), headerBytes.begin(), headerBytes.end());
    timeScales.push_back(2 * int64_t{kFrameRateTable[c.frameRateIndex].rateX1000});
  }

  // ffmpeg reads every set to its stop bit, with the timing fields as written (a header
  // without pictures writes no output, which ffmpeg then reports: only the reading counts).
  const std::string path = orx::test::MakeTempDir("h264-header") + "/headers.264";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(all.data(), 1, all.size(), f);
  std::fclose(f);
  const orx::test::ProcessResult run = orx::test::RunProcess(
      {"ffmpeg", "-hide_banner", "-loglevel", "debug", "-f", "h264", "-i", path, "-c:v", "copy",
       "-bsf:v", "trace_headers", "-f", "null", "-"});
  const std::string log = run.out + run.err;
  size_t stops = 0;
  for (size_t at = log.find("rbsp_stop_one_bit"); at != std::string::npos;
       at = log.find("rbsp_stop_one_bit", at + 1)) {
    ++stops;
  }
  EXPECT_EQ(stops, 2 * cases.size()) << log;
  EXPECT_EQ(log.find("Failed to read"), std::string::npos) << log;
  std::vector<int64_t> read;
  for (size_t at = log.find("time_scale"); at != std::string::npos; at = log.find("time_scale", at + 1)) {
    const std::string line = log.substr(at, log.find('\n', at) - at);
    read.push_back(std::stoll(line.substr(line.rfind('=') + 1)));
  }
  EXPECT_EQ(read, timeScales);
}

TEST(H264SequenceHeader, ARequestBetweenPicturesLeavesTheStreamAlone) {
  const EncoderSettings s = H264(352, 288, 6, 0, 1500000);
  EncoderSettings other = H264(720, 576, 7, 5, 6000000);
  other.progressiveSequence = 0;
  const std::vector<uint8_t> plain = Encode(s, 4);
  const std::vector<uint8_t> asked = Encode(s, 4, &other);
  ASSERT_FALSE(plain.empty());
  EXPECT_EQ(plain, asked);
}

}  // namespace
}  // namespace orx::venc
