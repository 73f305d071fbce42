// CRateControl: set-up, bit-rate changes, the quantiser rules and the VBV model, driven by a
// small encoder model whose bits fall with the quantiser.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/venc/common/debug_capture.h"
#include "tests/venc/common/settings_fixture.h"
#include "tests/venc/core/vbv_checker.h"
#include "venc/core/quantiser_scales.h"
#include "venc/core/rate_control.h"

namespace {

using namespace orx::venc;
using orx::venc::test::DebugCapture;
using orx::venc::test::Mpeg2Settings;

class ModelOutput : public IRateControlOutput {
 public:
  int64_t PictureBits() override { return pictureBits; }
  int64_t StreamBits() override { return streamBits; }
  void PutBits(uint32_t value, int bits) override {
    stuffedValues += value;
    stuffedBits += bits;
    Add(bits);
  }
  void Add(int64_t bits) {
    pictureBits += bits;
    streamBits += bits;
  }
  int64_t pictureBits = 0;
  int64_t streamBits = 0;
  int64_t stuffedBits = 0;
  uint64_t stuffedValues = 0;
};

// Drives the controller as a macroblock encoder does, with bits = weight x activity / scale
// per macroblock, and records what an Annex C checker needs.
class EncoderModel {
 public:
  explicit EncoderModel(EncoderSettings settings) : settings_(settings) {
    mbs_.resize(settings_.mbCols * settings_.mbRows);
    picture_.mbInfo = mbs_.data();
  }

  void Open() { ASSERT_TRUE(rc.Init(&settings_, &output, &stats)); }

  // One picture of the given type; activity per macroblock scales the model's bits.
  void Encode(int display, int type, double activity, double weight, int repeatFirstField = 0) {
    picture_.pictureType = type;
    picture_.displayNumber = display;
    picture_.repeatFirstField = repeatFirstField;
    picture_.progressiveFrame = 1;
    const int mbCount = settings_.mbCols * settings_.mbRows;
    for (int i = 0; i < mbCount; ++i) {
      // A texture that varies along the picture.
      const double local = activity * (0.5 + (i % 7) / 6.0);
      mbs_[i].intraActivity = static_cast<int32_t>(local);
      mbs_[i].minBlockDeviation = static_cast<int32_t>(local / 6);
    }
    picture_.intraCostSum = static_cast<int32_t>(activity * mbCount);
    picture_.interCostSum =
        type == PICTURE_I ? picture_.intraCostSum : static_cast<int32_t>(activity * weight * mbCount);
    picture_.intraMbCount = type == PICTURE_I ? mbCount : 0;
    picture_.intraActivitySum = type == PICTURE_I ? picture_.intraCostSum : 0;
    picture_.minDeviationSum = static_cast<int32_t>(activity / 6 * mbCount);
    picture_.minRowDeviationSum = static_cast<int32_t>(activity / 6 * settings_.mbCols);
    picture_.minRowCostTotal = static_cast<int32_t>(activity * settings_.mbCols);

    const int64_t pictureStart = output.streamBits;
    output.pictureBits = 0;
    if (display % settings_.gopLength == 0) {
      rc.StartGop(&picture_, settings_.gopLength / settings_.anchorDistance - 1, 0);
      output.Add(12 * 8 + 10 * 8 + 8 * 8);  // sequence, extension and GOP headers
    }
    const int vbvDelay = rc.CheckVbv(&picture_);
    vbvDelays.push_back(vbvDelay);
    rc.StartPicture(&picture_);
    pictureQuants.push_back(picture_.stats.quantiser);
    scaleTypes.push_back(picture_.qScaleType);
    output.Add(32);  // picture start code
    const int64_t startCodeEnd = output.streamBits;
    output.Add(8 * 8);  // rest of the picture header and its extension
    const double typeWeight = type == PICTURE_I ? 1.0 : weight;
    for (int row = 0; row < settings_.mbRows; ++row) {
      const RowQuantDecision rowDecision = rc.DecideRowQuant(row);
      rowCodes.push_back(rowDecision.code);
      output.Add(40);  // slice header
      int previous = rowDecision.code;
      MBInfo* mbRow = &mbs_[row * settings_.mbCols];
      for (int col = 0; col < settings_.mbCols; ++col) {
        const MbQuantDecision mb = rc.DecideMbQuant(&mbRow[col], col, previous);
        mbCodes.push_back(mb.code);
        previous = mb.code;
        const int scale = picture_.qScaleType != 0 ? NonLinearCodeToQuant()[mb.code] : 2 * mb.code;
        // Past panic level B a macroblock carries its DC coefficients (intra) or nothing.
        const int64_t bits =
            mb.panic ? (type == PICTURE_I ? 60 : 8)
                     : static_cast<int64_t>(1.2 * typeWeight * mbRow[col].intraActivity / scale) + 4;
        output.Add(bits);
        rc.AccumulateMb(&mbRow[col]);
      }
    }
    rc.EndPicture(&picture_);
    annexC.push_back({startCodeEnd, output.streamBits, vbvDelay});
    pictureSizes.push_back(output.streamBits - pictureStart);
  }

  // An IPPP... sequence at the settings' N.
  void EncodeSequence(int pictures, double activity) {
    Open();
    for (int d = 0; d < pictures; ++d) {
      Encode(d, d % settings_.gopLength == 0 ? PICTURE_I : PICTURE_P, activity, 0.35);
    }
  }

  double BitRate() const {
    return static_cast<double>(output.streamBits) * settings_.frameRate / pictureSizes.size();
  }

  EncoderSettings settings_;
  std::vector<MBInfo> mbs_;
  CPicture picture_;
  ModelOutput output;
  RateControlStatistics stats{};
  CRateControl rc;
  std::vector<int> vbvDelays;
  std::vector<float> pictureQuants;
  std::vector<int> scaleTypes;
  std::vector<int> rowCodes;
  std::vector<int> mbCodes;
  std::vector<int64_t> pictureSizes;
  std::vector<orx::venc::test::VbvPicture> annexC;
};

TEST(RateControl, InitialBufferAndDecodingTime) {
  EncoderSettings s = Mpeg2Settings(720, 576, 6, 15000000);
  s.vbvBufferSize = 112;
  ModelOutput output;
  RateControlStatistics stats{};
  CRateControl rc;
  ASSERT_TRUE(rc.Init(&s, &output, &stats));
  EXPECT_EQ(rc.VbvSize(), 1835008);
  EXPECT_DOUBLE_EQ(rc.Fullness(), 1376256.0);
  EXPECT_EQ(rc.DecodingTime(), 33030);
}

TEST(RateControl, SetBitRate) {
  EncoderSettings s = Mpeg2Settings(720, 576, 6, 6000000);
  ModelOutput output;
  CRateControl rc;
  ASSERT_TRUE(rc.Init(&s, &output, nullptr));
  EXPECT_EQ(rc.Mode(), 0);
  rc.SetBitRate(&s, 20000);
  EXPECT_EQ(s.bitRate, 32000);
  EXPECT_EQ(rc.Mode(), 1);  // a changed rate makes the stream variable
  EXPECT_EQ(s.variableBitRate, 1);
  EXPECT_GT(rc.Gain(), 0.0);
  EXPECT_NEAR(s.pelRateToBits, 720.0 * 576 * 25 / 32000, 1e-9);
  rc.SetBitRate(&s, 9000000);
  EXPECT_EQ(s.bitRate, 6000000);  // the peak
  EXPECT_EQ(rc.Gain(), 0.0);  // close to the peak: no VBR gain
}

TEST(RateControl, TargetFullness) {
  EncoderSettings s = Mpeg2Settings();
  ModelOutput output;
  CRateControl rc;
  ASSERT_TRUE(rc.Init(&s, &output, nullptr));
  EXPECT_NEAR(rc.TargetFullness(PICTURE_P, 0.5), 0.625, 1e-12);
  EXPECT_NEAR(rc.TargetFullness(PICTURE_B, 0.5), 0.7, 1e-12);
  rc.SetScaleBounds(10.0, 4.0);  // qStart + 0.5 < qScale
  EXPECT_NEAR(rc.TargetFullness(PICTURE_P, 0.8), 0.75, 1e-12);
  rc.SetScaleBounds(4.0, 4.0);
  EXPECT_NEAR(rc.TargetFullness(PICTURE_P, 0.8), 0.9, 1e-12);
  EncoderSettings vc1 = s;
  vc1.codec = CODEC_VC1;
  CRateControl rcVc1;
  ASSERT_TRUE(rcVc1.Init(&vc1, &output, nullptr));
  rcVc1.SetScaleBounds(4.0, 4.0);
  EXPECT_NEAR(rcVc1.TargetFullness(PICTURE_P, 0.8), 0.95, 1e-12);
}

TEST(RateControl, VbrFloorFactors) {
  struct Case {
    double a, t, factor;
  };
  const double k = 0.25 * std::log10(5.0);
  for (Case c : {Case{1600, 0, 1.0}, Case{8000, 0, 1 + k}, Case{20000, 0.5, 1 + k},
                 Case{320, 0, 1 - k}, Case{100, -0.5, 1 - k}, Case{8000, -0.5, 1 + 0.5 * k},
                 Case{8000, -1, 1.0}, Case{320, 0.5, 1 - 0.5 * k}, Case{320, 1, 1.0}}) {
    EXPECT_NEAR(CRateControl::VbrFloorFactor(c.a, c.t), c.factor, 1e-12) << c.a << " " << c.t;
  }
  EXPECT_NEAR(1 + k, 1.175, 0.001);
  EXPECT_NEAR(1 - k, 0.825, 0.001);
}

TEST(RateControl, RowQuantSpread) {
  // 7.25 on the linear scale over 36 rows: p = 160, k = 11.
  for (int row = 0; row < 36; ++row) {
    const int expected = (row <= 10 || row >= 26) ? 8 : 6;
    EXPECT_EQ(CRateControl::SpreadRowQuant(7.25, row, 36, nullptr, 62), expected) << row;
  }
  // Whole quantisers are not spread.
  for (int row = 0; row < 36; ++row) EXPECT_EQ(CRateControl::SpreadRowQuant(8.0, row, 36, nullptr, 62), 8);
  // On the non-linear scale 40.5 lies between codes 19 (40) and 20 (44).
  const std::vector<int>& table = NonLinearQuantToCode();
  EXPECT_EQ(CRateControl::SpreadRowQuant(40.5, 0, 36, &table, 112), 41);
  EXPECT_EQ(CRateControl::SpreadRowQuant(40.5, 18, 36, &table, 112), 40);
}

TEST(QuantiserScales, InverseRules) {
  // Non-linear: the smallest code whose scale is at least q.
  const std::vector<int>& toCode = NonLinearQuantToCode();
  const std::vector<int>& toQuant = NonLinearCodeToQuant();
  for (int q = 1; q <= 112; ++q) {
    const int code = toCode[q];
    EXPECT_GE(toQuant[code], q) << q;
    if (code > 1) {
      EXPECT_LT(toQuant[code - 1], q) << q;
    }
  }
  EXPECT_EQ(toCode[31], 18);  // 32
  EXPECT_EQ(toCode[112], 31);
  // H.264: the smallest q whose QP is at least the code.
  const std::vector<int>& qp = H264QuantToCode();
  const std::vector<int>& qOfQp = H264CodeToQuant();
  for (int code = 0; code < static_cast<int>(qOfQp.size()); ++code) {
    EXPECT_GE(qp[qOfQp[code]], code) << code;
    if (qOfQp[code] > 0) {
      EXPECT_LT(qp[qOfQp[code] - 1], code) << code;
    }
  }
}

TEST(RateControl, ScaleChoice) {
  struct Case {
    int mode, scaleType, maxQuant, code;
  };
  // Fixed quantisers: 30 stays linear, 31 (odd) and 32 (above 30) go non-linear.
  for (Case c : {Case{-30, 0, 62, 15}, Case{-31, 1, 112, 18}, Case{-32, 1, 112, 18},
                 Case{-8, 0, 62, 4}}) {
    EncoderSettings s = Mpeg2Settings();
    s.variableBitRate = c.mode;
    EncoderModel model(s);
    model.Open();
    model.Encode(0, PICTURE_I, 2000, 1.0);
    model.Encode(1, PICTURE_P, 2000, 0.4);
    EXPECT_EQ(model.scaleTypes[0], c.scaleType) << c.mode;
    EXPECT_EQ(model.rc.MaxQuant(), c.maxQuant) << c.mode;
    for (int code : model.rowCodes) ASSERT_EQ(code, c.code) << c.mode;
    for (int code : model.mbCodes) ASSERT_EQ(code, c.code) << c.mode;
  }
}

TEST(RateControl, ConstantRateModelMeetsRateAndVbv) {
  struct Case {
    int bitRate, vbv;
    double activity;
  };
  for (Case c : {Case{3000000, 112, 4000}, Case{6000000, 112, 4000}, Case{8000000, 112, 8000},
                 Case{1500000, 112, 2000}}) {
    SCOPED_TRACE(c.bitRate);
    EncoderSettings s = Mpeg2Settings(720, 576, 6, c.bitRate);
    s.vbvBufferSize = c.vbv;
    EncoderModel model(s);
    model.EncodeSequence(200, c.activity);
    EXPECT_NEAR(model.BitRate() / c.bitRate, 1.0, 0.05);
    EXPECT_EQ(model.stats.vbvUnderflows, 0u);
    const auto report = orx::venc::test::CheckVbvAnnexC(model.annexC, c.bitRate,
                                                        int64_t{c.vbv} << 14, c.bitRate / 45000.0);
    EXPECT_EQ(report.underflows, 0) << report.firstProblem;
    EXPECT_EQ(report.overflows, 0) << report.firstProblem;
    for (int delay : model.vbvDelays) EXPECT_LT(delay, 65535);
  }
}

TEST(RateControl, ReplayGivesTheSameQuantisers) {
  EncoderSettings s = Mpeg2Settings(352, 288, 6, 1000000);
  EncoderModel first(s);
  EncoderModel second(s);
  first.EncodeSequence(40, 3000);
  second.EncodeSequence(40, 3000);
  EXPECT_EQ(first.pictureQuants, second.pictureQuants);
  EXPECT_EQ(first.rowCodes, second.rowCodes);
  EXPECT_EQ(first.mbCodes, second.mbCodes);
}

TEST(RateControl, VariableRateWritesNoVbvDelay) {
  EncoderSettings s = Mpeg2Settings(352, 288, 6, 2000000);
  s.variableBitRate = 1;
  s.bitRate = 1000000;
  EncoderModel model(s);
  model.EncodeSequence(40, 3000);
  ASSERT_EQ(model.vbvDelays.size(), 40u);
  for (int delay : model.vbvDelays) EXPECT_EQ(delay, 65535);
}

TEST(RateControl, SmallPicturesAreStuffed) {
  // A nearly empty picture at a high constant rate: MPEG-2 writes zero bytes, H.264 only
  // counts them.
  for (int codec : {CODEC_MPEG2, CODEC_H264}) {
    EncoderSettings s = Mpeg2Settings(352, 288, 6, 8000000);
    s.codec = codec;
    s.vbvBufferSize = 40;
    EncoderModel model(s);
    model.Open();
    for (int d = 0; d < 10; ++d) model.Encode(d, d == 0 ? PICTURE_I : PICTURE_P, 20, 0.1);
    if (codec == CODEC_MPEG2) {
      EXPECT_GT(model.stats.stuffingBytes, 0u);
      EXPECT_EQ(model.output.stuffedBits, 8 * int64_t{model.stats.stuffingBytes});
      EXPECT_EQ(model.output.stuffedValues, 0u);
      EXPECT_EQ(model.rc.VirtualStuffing(), 0);
      const auto report = orx::venc::test::CheckVbvAnnexC(model.annexC, 8000000, 40 << 14,
                                                          8000000 / 45000.0);
      EXPECT_EQ(report.overflows, 0) << report.firstProblem;
    } else {
      EXPECT_EQ(model.stats.stuffingBytes, 0u);
      EXPECT_EQ(model.output.stuffedBits, 0);
      EXPECT_GT(model.rc.VirtualStuffing(), 0);
    }
  }
}

TEST(RateControl, CheckVbvDurations) {
  struct Case {
    int progressive, repeat, topFirst, duration;
  };
  // 25 frames/s: 3600 periods a frame, 1.5 frames with a repeated field, 2 or 3 frames in a
  // progressive sequence.
  for (Case c : {Case{1, 0, 0, 3600}, Case{0, 0, 0, 3600}, Case{0, 1, 1, 5400},
                 Case{1, 1, 0, 7200}, Case{1, 1, 1, 10800}}) {
    SCOPED_TRACE(std::string(c.progressive ? "progressive" : "interlaced") + (c.repeat ? ", repeated field" : "") +
                 (c.topFirst ? ", top field first" : ""));
    EncoderSettings s = Mpeg2Settings();
    s.progressiveSequence = c.progressive;
    ModelOutput output;
    CRateControl rc;
    ASSERT_TRUE(rc.Init(&s, &output, nullptr));
    CPicture picture;
    picture.pictureType = PICTURE_I;
    picture.repeatFirstField = c.repeat;
    picture.topFieldFirst = c.topFirst;
    const int64_t before = rc.DecodingTime();
    rc.CheckVbv(&picture);
    EXPECT_EQ(rc.LastDuration(), c.duration);
    EXPECT_EQ(rc.DecodingTime() - before, 4 * c.duration);  // the first anchor advances by its own
  }
}

TEST(RateControl, AnchorsAdvanceByThePreviousAnchor) {
  EncoderSettings s = Mpeg2Settings();
  s.progressiveSequence = 0;
  ModelOutput output;
  CRateControl rc;
  ASSERT_TRUE(rc.Init(&s, &output, nullptr));
  CPicture picture;
  const struct {
    int type, repeat;
    int64_t advance;
  } steps[] = {{PICTURE_I, 1, 4 * 5400}, {PICTURE_P, 0, 4 * 5400}, {PICTURE_B, 0, 4 * 3600},
               {PICTURE_P, 1, 4 * 3600}, {PICTURE_B, 1, 4 * 5400}, {PICTURE_P, 0, 4 * 5400}};
  for (const auto& step : steps) {
    SCOPED_TRACE("step " + std::to_string(&step - steps));
    picture.pictureType = step.type;
    picture.repeatFirstField = step.repeat;
    const int64_t before = rc.DecodingTime();
    rc.CheckVbv(&picture);
    EXPECT_EQ(rc.DecodingTime() - before, step.advance);
  }
}

TEST(RateControl, UnderflowIsReportedAndCounted) {
  EncoderSettings s = Mpeg2Settings(352, 288, 6, 1000000);
  s.vbvBufferSize = 20;
  ModelOutput output;
  RateControlStatistics stats{};
  CRateControl rc;
  ASSERT_TRUE(rc.Init(&s, &output, &stats));
  CPicture picture;
  picture.pictureType = PICTURE_I;
  DebugCapture capture;
  rc.CheckVbv(&picture);
  rc.StartPicture(&picture);
  output.Add(3000000);  // three seconds of bits in one picture
  rc.EndPicture(&picture);
  picture.pictureType = PICTURE_P;
  picture.displayNumber = 1;
  output.pictureBits = 0;
  rc.CheckVbv(&picture);
  EXPECT_EQ(stats.vbvUnderflows, 1u);
  const std::string& text = capture.Text();
  EXPECT_EQ(text.rfind("vbv_delay underflow (", 0), 0u) << text;
  EXPECT_NE(text.find(" bits)! (decoding_time="), std::string::npos) << text;
  EXPECT_NE(text.find(", frame_number=1, avg_q="), std::string::npos) << text;
  EXPECT_EQ(text.back(), '\n');
  // Quiet settings count without printing.
  s.quietChecks = 1;
  capture.Clear();
  rc.CheckVbv(&picture);
  EXPECT_EQ(stats.vbvUnderflows, 2u);
  EXPECT_EQ(capture.Text(), "");
}

}  // namespace

namespace {

// The macroblock encoders' calls write the coding position: the code, the inter threshold
// word (8q + 1, plus q for B pictures), the row threshold word (8q + 32) and the panic flag.
TEST(RateControl, CodingPositionWords) {
  for (int type : {PICTURE_I, PICTURE_B}) {
    EncoderSettings s = Mpeg2Settings(352, 288, 6, 2000000);
    s.variableBitRate = -8;  // fixed quantiser 8
    ModelOutput output;
    CRateControl rc;
    ASSERT_TRUE(rc.Init(&s, &output, nullptr));
    std::vector<MBInfo> mbs(s.mbCols * s.mbRows);
    CPicture picture;
    picture.pictureType = type;
    picture.mbInfo = mbs.data();
    IRateControl& asInterface = rc;
    asInterface.CheckVbv(&picture);
    asInterface.StartPicture(&picture);
    MBCodingState position;
    position.picture = &picture;
    position.mbY = 0;
    position.mbRow = mbs.data();
    const int add = type == PICTURE_B ? 9 : 1;
    EXPECT_EQ(asInterface.GetRowQuant(&position), 4);
    EXPECT_EQ(position.mbQuant, 4);
    EXPECT_EQ(position.interThreshold, 64 + add);
    EXPECT_EQ(position.rowThreshold, 96);
    position.mbX = 1;
    position.overflow = 1;
    position.interThreshold = 0;
    asInterface.UpdateMbQuant(&mbs[1], &position);
    EXPECT_EQ(position.mbQuant, 4);
    EXPECT_EQ(position.interThreshold, 64 + add);
    EXPECT_EQ(position.overflow, 0);
  }
}

// The row plan's per-row step is what the H.264 slice-size limiter reads as the row target:
// with a fixed quantiser there is no budget (8 bits a row); the first I picture at a variable
// rate plans its per-picture target, spread over the rows.
TEST(RateControl, RowBitTargetIsTheRowPlansStep) {
  auto targetOf = [](EncoderSettings s, int type, int display) {
    ModelOutput output;
    CRateControl rc;
    EXPECT_TRUE(rc.Init(&s, &output, nullptr));
    std::vector<MBInfo> mbs(s.mbCols * s.mbRows);
    CPicture picture;
    picture.pictureType = type;
    picture.displayNumber = display;
    picture.progressiveFrame = 1;
    picture.mbInfo = mbs.data();
    IRateControl& asInterface = rc;
    rc.StartGop(&picture, 4, 10);
    asInterface.CheckVbv(&picture);
    asInterface.StartPicture(&picture);
    return asInterface.GetRowBitTarget();
  };
  EncoderSettings fixed = Mpeg2Settings(352, 288, 6, 2000000);
  fixed.variableBitRate = -8;
  EXPECT_EQ(targetOf(fixed, PICTURE_P, 3), 8);
  EncoderSettings variable = Mpeg2Settings(720, 576, 3, 6000000);
  variable.variableBitRate = 1;
  variable.bitRate = 4000000;
  const int first = targetOf(variable, PICTURE_I, 0);
  EXPECT_GT(first, 8);
}

}  // namespace
