// Rate control driving the MPEG-2 macroblock encoder on real footage: tree.avi, scaled to
// 720x576 and looped, coded at constant rates and at a variable rate. The streams are checked
// independently: ffmpeg decodes them, their size gives the bit rate, and a VBV checker written
// from ISO/IEC 13818-2 Annex C reads the vbv_delay of every picture header.
//
// The plan has I pictures and zero-vector P pictures (N 15, M 1). The macroblock measures are
// the preprocessor's block statistics (CPreprocCore::BlockDeviation over the frame halves); the
// P pictures' inter costs are the zero-vector SADs that motion estimation would find.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "media/media_codes.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/test_paths.h"
#include "tests/venc/common/collecting_bit_stream.h"
#include "tests/venc/core/mpeg2_stream_reader.h"
#include "tests/venc/core/vbv_checker.h"
#include "venc/core/aspect_ratio.h"
#include "venc/core/derive_settings.h"
#include "venc/common/frame_store.h"
#include "venc/core/mb_encoder_rate_output.h"
#include "venc/core/rate_control.h"
#include "venc/core/sequence_checks.h"
#include "venc/dsp/core_factories.h"
#include "venc/dsp/cpu_features.h"
#include "venc/dsp/preproc_core.h"
#include "venc/mbenc/mb_encoder_mpeg12.h"

namespace {

using namespace orx::venc;
using orx::venc::test::CollectingBitStream;
using orx::venc::test::PictureHeader;
using orx::venc::test::ReadPictureHeaders;

// Forwards to the controller and keeps the quantiser each picture was planned with.
class RecordingRateControl final : public IRateControl {
 public:
  explicit RecordingRateControl(CRateControl* inner) : inner_(inner) {}
  void StartGop(CPicture* p, uint32_t a, uint32_t b) override { inner_->StartGop(p, a, b); }
  int CheckVbv(CPicture* p) override { return inner_->CheckVbv(p); }
  void StartPicture(CPicture* p) override {
    inner_->StartPicture(p);
    plannedQuants.push_back(p->stats.quantiser);
  }
  void EndPicture(CPicture* p) override { inner_->EndPicture(p); }
  int GetRowQuant(MBCodingState* s) override { return inner_->GetRowQuant(s); }
  void UpdateMbQuant(MBInfo* mb, MBCodingState* s) override { inner_->UpdateMbQuant(mb, s); }
  void AccumulateMb(MBInfo* mb) override { inner_->AccumulateMb(mb); }
  int GetVbvDelay() override { return inner_->GetVbvDelay(); }
  int GetActivityQuant(CPicture* p, bool h, int* s) override {
    return inner_->GetActivityQuant(p, h, s);
  }
  std::vector<float> plannedQuants;

 private:
  CRateControl* inner_;
};

int ZeroVectorSad(const uint8_t* source, const uint8_t* reference, int stride) {
  int sad = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) sad += std::abs(source[y * stride + x] - reference[y * stride + x]);
  }
  return sad;
}

// The measures and picture sums the preprocessor forms for a progressive picture, and for a P
// picture the zero-vector costs and sums of motion estimation (no macroblock turned intra).
void MeasurePicture(CPicture* picture, const EncoderSettings& s) {
  static const std::unique_ptr<orx::dsp::CPreprocCore> core = [] {
    orx::dsp::CPreprocCore* made = nullptr;
    orx::dsp::CreatePreprocCore(&made);
    return std::unique_ptr<orx::dsp::CPreprocCore>(made);
  }();
  int intraCost = 0;
  int deviationSum = 0;
  int smallestRowCost = 0;
  int smallestRowDeviation = 0;
  for (int row = 0; row < s.mbRows; ++row) {
    int rowCost = 1;
    int rowDeviation = 1;
    for (int col = 0; col < s.mbCols; ++col) {
      MBInfo& mb = picture->mbInfo[row * s.mbCols + col];
      mb = {};
      mb.flags = MBINFO_INTRA;
      int smallest = 0;
      const uint8_t* upper = picture->srcLuma + 16 * (row * s.stride + col);
      mb.intraActivity = core->BlockDeviation(upper, upper + 8 * s.stride, s.stride, &smallest, nullptr);
      mb.minBlockDeviation = smallest;
      rowCost += mb.intraActivity;
      rowDeviation += smallest;
    }
    intraCost += rowCost;
    deviationSum += rowDeviation;
    if (smallestRowCost == 0 || rowCost < smallestRowCost) smallestRowCost = rowCost;
    if (smallestRowDeviation == 0 || rowDeviation < smallestRowDeviation) {
      smallestRowDeviation = rowDeviation;
    }
  }
  picture->intraCostSum = intraCost;
  picture->interCostSum = intraCost;
  picture->intraActivitySum = intraCost;
  picture->intraMbCount = s.mbCols * s.mbRows;
  picture->minDeviationSum = deviationSum;
  picture->minRowCostTotal = smallestRowCost;
  picture->minRowDeviationSum = smallestRowDeviation;
  if (picture->pictureType != PICTURE_P) return;
  int interCost = 0;
  for (int row = 0; row < s.mbRows; ++row) {
    int rowCost = 1;
    for (int col = 0; col < s.mbCols; ++col) {
      MBInfo& mb = picture->mbInfo[row * s.mbCols + col];
      const size_t offset = 16 * (static_cast<size_t>(row) * s.stride + col);
      mb.flags = 0;  // zero vector
      mb.interCost = ZeroVectorSad(picture->srcLuma + offset,
                                   picture->forwardRef->reconLuma + offset, s.stride);
      rowCost += mb.interCost;
    }
    interCost += rowCost;
    picture->minRowCostTotal = std::min(picture->minRowCostTotal, rowCost);
  }
  picture->interCostSum = interCost;
  picture->intraActivitySum = 0;
  picture->intraMbCount = 0;
}

int32_t PackTimeCode(int frame) {
  const int pictures = frame % 25;
  const int seconds = frame / 25 % 60;
  const int minutes = frame / 1500 % 60;
  const int hours = frame / 90000 % 24;
  return (hours << 19) | (minutes << 13) | (1 << 12) | (seconds << 6) | pictures;
}

struct EncodeOptions {
  int bitRate = 6000000;
  bool variableRate = false;
  int peakRate = 0;  // with a variable rate
  int frames = 30;
  uint32_t aspectX = 4;
  uint32_t aspectY = 3;
};

struct EncodeResult {
  std::vector<uint8_t> stream;
  std::vector<float> plannedQuants;
  RateControlStatistics stats{};
  EncoderSettings settings{};
};

const orx::test::RawVideo& TreeFootage() {
  static orx::test::RawVideo video;
  if (video.frames.empty()) {
    orx::test::DecodeOptions options;
    options.xerror = false;
    options.outputArgs = {"-vf", "scale=720:576"};
    std::string log;
    EXPECT_TRUE(orx::test::DecodeVideo(orx::test::MediaPath("tree.avi"), video, options, &log)) << log;
  }
  return video;
}

EncodeResult Encode(const EncodeOptions& o) {
  EncodeResult result;
  const orx::test::RawVideo& footage = TreeFootage();
  if (footage.frames.empty()) return result;

  // The settings as the component derives and checks them.
  VideoEncoderParams params{};
  params.size = sizeof params;
  params.gopLength = 15;
  params.anchorDistance = 1;
  params.vbvBufferSize = 112;
  params.displayAspectX = o.aspectX;
  params.displayAspectY = o.aspectY;
  params.averageBitRate = static_cast<uint32_t>(o.bitRate);
  if (o.variableRate) {
    params.rateControl = VEP_RATE_VBR;
    params.peakBitRate = static_cast<uint32_t>(o.peakRate);
  }
  VideoMediaType input{};
  input.size = sizeof input;
  input.MType = QVA_MTYPE_VIDEO;
  input.subtype = QVA_MSUBTYPE_YUV420;
  input.width = input.secondWidth = 720;
  input.height = input.secondHeight = 576;
  input.FrameRate = 25000;
  VideoMediaType output = input;
  output.subtype = QVA_MSUBTYPE_MPV2;
  EncoderSettings& s = result.settings;
  RequestOptions request{};
  DeriveEncoderSettings(params, input, output, s, request);
  CollectingBitStream bitStream;
  s.bitStream = &bitStream;
  s.frameRateIndex = 6;
  if (o.variableRate) s.maxBitRate = o.peakRate;
  s.searchParams[0].noSearch = 1;  // no motion search: the picture-at-a-time path
  EXPECT_TRUE(CheckSequenceParams(s, false, orx::dsp::GetCpuFeatures()));
  s.mbCols = (s.width + 15) / 16;
  s.mbRows = (s.height + 15) / 16;
  s.codedWidth = 16 * s.mbCols;
  s.codedHeight = 16 * s.mbRows;
  s.stride = s.codedWidth;
  s.useMpegQuant = 1;
  s.frameRate = kFrameRateTable[s.frameRateIndex].rate;
  s.pelRateToBits = s.frameRate * s.codedWidth * s.codedHeight / std::max(s.maxBitRate, 32000);
  SetAspectRatio(s, s.aspectX, s.aspectY);

  CFrameStore store(0, 0);
  EXPECT_TRUE(store.Init(&s, 4, nullptr));
  CMBEncoder_MPEG2 encoder;
  MBEncoderRateOutput rateOutput(&encoder);
  CRateControl rateControl;
  RecordingRateControl recording(&rateControl);
  EXPECT_TRUE(rateControl.Init(&s, &rateOutput, &result.stats));
  if (!encoder.Init(&s, &recording)) {
    ADD_FAILURE() << "the macroblock encoder did not open";
    return result;
  }

  CPicture* reference = nullptr;
  for (int d = 0; d < o.frames; ++d) {
    const std::vector<uint8_t>& frame = footage.frames[d % footage.frames.size()];
    CPicture* picture = nullptr;
    EXPECT_TRUE(store.GetPicture(&picture));
    if (picture == nullptr) break;
    const int inGop = d % s.gopLength;
    picture->SetSourceBuffer(0);
    picture->SetReconBuffer(1 + d % 2);  // the reference keeps the other one
    // Planar 4:2:0 into the store's luma plane and interleaved chroma plane.
    for (int y = 0; y < 576; ++y) std::memcpy(picture->srcLuma + y * s.stride, &frame[y * 720], 720);
    const uint8_t* cb = frame.data() + 720 * 576;
    const uint8_t* cr = cb + 360 * 288;
    for (int y = 0; y < 288; ++y) {
      uint8_t* row = picture->srcChroma + y * s.stride;
      for (int x = 0; x < 360; ++x) {
        row[2 * x] = cb[y * 360 + x];
        row[2 * x + 1] = cr[y * 360 + x];
      }
    }
    picture->pictureType = inGop == 0 ? PICTURE_I : PICTURE_P;
    picture->forwardRef = inGop == 0 ? nullptr : reference;
    if (inGop != 0) picture->forwardFCodeX = picture->forwardFCodeY = 1;
    picture->displayNumber = d;
    picture->gopStart = inGop == 0;
    picture->closedGop = d == 0;
    picture->temporalReference = inGop;
    picture->timeCode = PackTimeCode(d);
    picture->gopPicturesP = s.gopLength - 1;
    picture->gopPicturesB = 0;
    picture->framePredFrameDct = 1;
    picture->progressiveFrame = 1;
    picture->timeStamp = picture->decodeTimeStamp = int64_t{d} * 400000;
    MeasurePicture(picture, s);
    encoder.EncodePicture(picture, nullptr);
    if (reference != nullptr) reference->Release();
    reference = picture;
  }
  if (reference != nullptr) reference->Release();
  encoder.Finish();
  encoder.Close();
  result.stream = bitStream.Collected();
  result.plannedQuants = recording.plannedQuants;
  return result;
}

std::string WriteStream(const std::vector<uint8_t>& stream, const std::string& name) {
  const std::string path = orx::test::MakeTempDir("venc_footage") + "/" + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(stream.data()),
                                              static_cast<std::streamsize>(stream.size()));
  return path;
}

void CheckDecodes(const std::string& path, int frames) {
  orx::test::RawVideo decoded;
  std::string log;
  ASSERT_TRUE(orx::test::DecodeVideo(path, decoded, {}, &log)) << log;
  EXPECT_EQ(decoded.frames.size(), static_cast<size_t>(frames));
  EXPECT_EQ(decoded.width, 720);
  EXPECT_EQ(decoded.height, 576);
}

TEST(Mpeg2RateFootage, ConstantRatesMeetTargetAndVbv) {
  const int frames = kOrxSanitizedBuild ? 30 : 200;
  for (int rate : {3000000, 6000000, 8000000}) {
    SCOPED_TRACE(rate);
    const EncodeResult run = Encode({rate, false, 0, frames});
    ASSERT_FALSE(run.stream.empty());
    const std::string path = WriteStream(run.stream, "cbr" + std::to_string(rate) + ".m2v");
    CheckDecodes(path, frames);
    const double achieved = run.stream.size() * 8.0 * 25.0 / frames;
    // Short sanitizer runs also spend the buffer's initial fill; long runs must hit the rate.
    EXPECT_NEAR(achieved / rate, 1.0, kOrxSanitizedBuild ? 0.2 : 0.05);
    const std::vector<PictureHeader> headers = ReadPictureHeaders(run.stream);
    ASSERT_EQ(headers.size(), static_cast<size_t>(frames));
    for (const PictureHeader& h : headers) EXPECT_LT(h.vbvDelay, 0xFFFF);
    const auto report = orx::venc::test::CheckVbvAnnexC(orx::venc::test::VbvPictures(headers), rate,
                                                        int64_t{112} << 14, 2.0 * rate / 90000);
    EXPECT_EQ(report.underflows, 0) << report.firstProblem;
    EXPECT_EQ(report.overflows, 0) << report.firstProblem;
    EXPECT_EQ(run.stats.vbvUnderflows, 0u);
  }
}

TEST(Mpeg2RateFootage, NonLinearScaleAboveQuantiserThirty) {
  ORX_RELEASE_ONLY();  // the quantiser passes 30 only after the buffer's initial fill is spent
  const int frames = 60;
  const EncodeResult run = Encode({1500000, false, 0, frames});
  ASSERT_FALSE(run.stream.empty());
  const std::vector<PictureHeader> headers = ReadPictureHeaders(run.stream);
  ASSERT_EQ(headers.size(), run.plannedQuants.size());
  int nonLinear = 0;
  for (size_t i = 0; i < headers.size(); ++i) {
    EXPECT_EQ(headers[i].qScaleType, run.plannedQuants[i] > 30.0f ? 1 : 0) << i;
    nonLinear += headers[i].qScaleType;
  }
  EXPECT_GT(nonLinear, 0);
  EXPECT_LT(nonLinear, frames);  // both scales are used
  CheckDecodes(WriteStream(run.stream, "low.m2v"), frames);
}

TEST(Mpeg2RateFootage, VariableRateWritesVbvDelayFFFF) {
  const int frames = 20;
  const EncodeResult run = Encode({4000000, true, 8000000, frames});
  ASSERT_FALSE(run.stream.empty());
  const std::vector<PictureHeader> headers = ReadPictureHeaders(run.stream);
  ASSERT_EQ(headers.size(), static_cast<size_t>(frames));
  for (const PictureHeader& h : headers) EXPECT_EQ(h.vbvDelay, 0xFFFF);
  CheckDecodes(WriteStream(run.stream, "vbr.m2v"), frames);
}

TEST(Mpeg2RateFootage, DisplayAspectReadBack) {
  struct Case {
    uint32_t x, y;
    int code;
    const char* probed;
  };
  for (Case c : {Case{4, 3, 2, "4:3"}, Case{16, 9, 3, "16:9"}}) {
    const EncodeResult run = Encode({6000000, false, 0, 3, c.x, c.y});
    ASSERT_FALSE(run.stream.empty());
    EXPECT_EQ(run.settings.aspectCode, c.code);
    const auto stream = orx::test::ProbeStream(WriteStream(run.stream, "aspect.m2v"), "v:0");
    ASSERT_TRUE(stream.count("display_aspect_ratio"));
    EXPECT_EQ(stream.at("display_aspect_ratio"), c.probed);
  }
}

}  // namespace
