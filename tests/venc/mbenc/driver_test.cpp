// The picture driver of CMBEncoder: header cadence, time stamps, delivery, Finish, the mode
// bits, rounding control and the set-up failures. The picture bodies here are scripted, so
// the driver is seen alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "tests/venc/mbenc/test_encoders.h"

namespace orx::venc::test {
namespace {

// An MPEG-2 encoder whose picture body is a script (nothing by default).
class ScriptedBodyEncoder : public TestMpeg2Encoder {
 public:
  std::function<void(CMBEncoder&, CPicture*)> body;
  void EncodePictureBody(CPicture* picture) override {
    if (body) body(*this, picture);
  }
};

// The start-code suffixes of a stream, in order.
std::vector<int> StartCodes(const std::vector<uint8_t>& bytes) {
  std::vector<int> codes;
  for (size_t i = 0; i + 3 < bytes.size(); ++i) {
    if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) codes.push_back(bytes[i + 3]);
  }
  return codes;
}

// A picture record with what BeginPicture reads.
struct TestPicture {
  CPicture picture;
  std::vector<MBInfo> mbs;
  TestPicture(const EncoderSettings& settings, int type, int display, bool gopStart) {
    picture.settings = &settings;
    picture.pictureType = type;
    picture.displayNumber = display;
    picture.gopStart = gopStart ? 1 : 0;
    picture.framePredFrameDct = 1;
    picture.progressiveFrame = 1;
    picture.timeStamp = 100 + display;
    picture.decodeTimeStamp = 500 + display;
    mbs.resize(static_cast<size_t>(settings.mbCols) * settings.mbRows);
    picture.mbInfo = mbs.data();
  }
};

struct DriverRig : EncoderRig<ScriptedBodyEncoder> {
  explicit DriverRig(int gopLength, int streamType = STREAM_TYPE_UNSPECIFIED)
      : EncoderRig(CODEC_MPEG2, 32, 32) {
    settings.gopLength = gopLength;
    settings.streamType = streamType;
  }
  // Encodes pictures of the given types in order; a GOP starts at every I picture.
  void EncodeTypes(const std::string& types, int firstDisplay = 0) {
    for (size_t i = 0; i < types.size(); ++i) {
      const int type = types[i] == 'I' ? PICTURE_I : types[i] == 'P' ? PICTURE_P : PICTURE_B;
      pictures.push_back(std::make_unique<TestPicture>(settings, type,
                                                       firstDisplay + static_cast<int>(i), type == PICTURE_I));
      encoder.EncodePicture(&pictures.back()->picture, nullptr);
    }
  }
  std::vector<std::unique_ptr<TestPicture>> pictures;
};

// Which GOPs (counted from 0) have a sequence header before them.
std::vector<int> GopsWithSequenceHeader(const std::vector<uint8_t>& stream) {
  std::vector<int> gops;
  int gop = 0;
  bool header = false;
  for (int code : StartCodes(stream)) {
    if (code == 0xB3) header = true;
    if (code == 0xB8) {
      if (header) gops.push_back(gop);
      header = false;
      ++gop;
    }
  }
  return gops;
}

TEST(Driver, SequenceHeaderCadence) {
  struct Case {
    const char* name;
    int gopLength;
    int streamType;
    int gops;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {"intra-only with StreamType 1: every twelfth GOP", 1, STREAM_TYPE_MPEG1_SIF, 26, {0, 12, 24}},
      {"N = 15: every GOP", 15, STREAM_TYPE_UNSPECIFIED, 4, {0, 1, 2, 3}},
      {"intra-only with StreamType 3: every GOP", 1, STREAM_TYPE_MPEG2_SD, 4, {0, 1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DriverRig rig(c.gopLength, c.streamType);
    ASSERT_TRUE(rig.Init());
    for (int g = 0; g < c.gops; ++g) rig.EncodeTypes(c.gopLength == 1 ? "I" : "IPP", 3 * g);
    EXPECT_EQ(GopsWithSequenceHeader(rig.output.Stream()), c.expected);
  }
}

TEST(Driver, TheFirstPictureAlwaysGetsASequenceHeader) {
  DriverRig rig(1, STREAM_TYPE_MPEG1_SIF);
  ASSERT_TRUE(rig.Init());
  rig.EncodeTypes("IIII", 0);
  rig.EncodeTypes("II", 0);  // display number 0 again: a new sequence starts
  EXPECT_EQ(GopsWithSequenceHeader(rig.output.Stream()), (std::vector<int>{0, 4}));
}

TEST(Driver, FinishWritesOneSequenceEndAndLeavesItUndelivered) {
  DriverRig rig(15);
  ASSERT_TRUE(rig.Init());
  EXPECT_FALSE(rig.encoder.Finish()) << "nothing started: nothing to end";
  EXPECT_TRUE(rig.output.AllBytes().empty());
  rig.EncodeTypes("IPB");
  const size_t delivered = rig.output.Stream().size();
  EXPECT_TRUE(rig.encoder.Finish());
  EXPECT_FALSE(rig.encoder.Finish());
  EXPECT_EQ(rig.output.Stream().size(), delivered) << "the sequence end is not delivered";
  EXPECT_EQ(rig.output.Undelivered(), (std::vector<uint8_t>{0, 0, 1, 0xB7}));
  EXPECT_EQ(rig.output.DeliverCalls(), 3);
}

TEST(Driver, TimeStampsAndOneDeliveryPerPicture) {
  DriverRig rig(15);
  ASSERT_TRUE(rig.Init());
  rig.EncodeTypes("IPBB");
  const auto& records = rig.output.Pictures();
  ASSERT_EQ(records.size(), 4u);
  size_t previousEnd = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    const CPicture& p = rig.pictures[i]->picture;
    EXPECT_EQ(records[i].stampA, p.decodeTimeStamp);
    EXPECT_EQ(records[i].stampB, p.timeStamp);
    EXPECT_EQ(records[i].pictureType, p.pictureType);
    EXPECT_TRUE(records[i].delivered);
    EXPECT_EQ(records[i].start, previousEnd) << "a picture's bytes start with its headers";
    previousEnd = records[i].end;
    const std::vector<uint8_t> bytes(rig.output.Stream().begin() + static_cast<long>(records[i].start),
                                     rig.output.Stream().begin() + static_cast<long>(records[i].end));
    const std::vector<int> codes = StartCodes(bytes);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x00), 1) << "one picture header";
  }
  EXPECT_EQ(rig.output.DeliverCalls(), 4);
  EXPECT_TRUE(rig.output.GuardsIntact());
  EXPECT_TRUE(rig.output.ProtocolKept());
}

TEST(Driver, TheRateControllerReadsTheBitsSoFarAndMayStuff) {
  for (int stuffing : {0, 5}) {
    SCOPED_TRACE(stuffing);
    DriverRig rig(15);
    rig.rateControl.stuffingBytes = stuffing;
    ASSERT_TRUE(rig.Init());
    rig.encoder.body = [](CMBEncoder& e, CPicture* p) {
      for (int i = 0; i < 1000 + 77 * p->displayNumber; ++i) e.PutBits(static_cast<uint32_t>(i), 13);
    };
    rig.EncodeTypes("IPB");
    // The reading at EndPicture (after the byte padding, before stuffing and the final flush)
    // is 8 x the picture's bytes so far.
    std::vector<int64_t> atEnd;
    for (size_t i = 0; i < rig.rateControl.bitLog.size(); i += 2) atEnd.push_back(rig.rateControl.bitLog[i + 1].bits);
    const auto& records = rig.output.Pictures();
    ASSERT_EQ(atEnd.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      const size_t bytes = records[i].end - records[i].start;
      EXPECT_EQ(atEnd[i], static_cast<int64_t>(8 * (bytes - static_cast<size_t>(stuffing))));
      const auto end = rig.output.Stream().begin() + static_cast<long>(records[i].end);
      EXPECT_TRUE(std::all_of(end - stuffing, end, [](uint8_t b) { return b == 0; }));
    }
  }
}

TEST(Driver, ModeBit18LeavesBeginAndEndToTheCaller) {
  DriverRig rig(15);
  rig.encoder.SetModeFlags(MB_MODE_CALLER_BRACKETS);
  ASSERT_TRUE(rig.Init());
  int bodies = 0;
  rig.encoder.body = [&](CMBEncoder&, CPicture*) { ++bodies; };
  TestPicture picture(rig.settings, PICTURE_I, 0, true);
  rig.encoder.EncodePicture(&picture.picture, nullptr);
  EXPECT_EQ(bodies, 1);
  EXPECT_EQ(rig.output.DeliverCalls(), 0);
  EXPECT_EQ(rig.rateControl.pictures, 0);
  rig.encoder.FlushBits(true);
  EXPECT_TRUE(rig.output.AllBytes().empty()) << "no picture header without BeginPicture";

  rig.encoder.BeginPicture(&picture.picture);
  rig.encoder.EncodePicture(&picture.picture, nullptr);
  rig.encoder.EndPicture(&picture.picture);
  EXPECT_EQ(rig.output.DeliverCalls(), 1);
  const std::vector<int> codes = StartCodes(rig.output.Stream());
  EXPECT_EQ(codes, (std::vector<int>{0xB3, 0xB5, 0xB5, 0xB8, 0x00, 0xB5}));
}

TEST(Driver, HeldBackOutputAndTheFinalFlushBit) {
  struct Case {
    uint32_t flags;
    bool bytesOut;
  };
  for (const Case& c : {Case{0x100, false}, Case{0x100 | MB_MODE_FINAL_FLUSH_OUT, true}}) {
    DriverRig rig(15);
    rig.encoder.SetModeFlags(c.flags);
    EXPECT_EQ(rig.encoder.GetFlags(), c.flags);
    ASSERT_TRUE(rig.Init());
    rig.EncodeTypes("IP");
    EXPECT_EQ(rig.output.DeliverCalls(), 0) << "a sub-encoder never delivers";
    if (c.bytesOut) {
      EXPECT_EQ(rig.encoder.GetBitPosition(), 8 * rig.output.AllBytes().size());
    } else {
      EXPECT_TRUE(rig.output.AllBytes().empty());
    }
    EXPECT_GT(rig.encoder.GetBitPosition(), 0u) << "held-back bytes are counted";
    EXPECT_TRUE(rig.output.GuardsIntact());
  }
}

TEST(Driver, RoundingControlTogglesOnPPicturesOfCode3) {
  DriverRig rig(15);
  rig.settings.codec = CODEC_MPEG4;
  ASSERT_TRUE(rig.Init());
  const std::string types = "IPPPBPIP";
  const int expected[] = {0, 0, 1, 0, 0, 1, 0, 0};  // the core's word; B pictures get 0
  std::vector<std::unique_ptr<TestPicture>> pictures;
  CPicture* lastAnchor = nullptr;
  for (size_t i = 0; i < types.size(); ++i) {
    const int type = types[i] == 'I' ? PICTURE_I : types[i] == 'P' ? PICTURE_P : PICTURE_B;
    pictures.push_back(std::make_unique<TestPicture>(rig.settings, type, static_cast<int>(i), type == PICTURE_I));
    CPicture& p = pictures.back()->picture;
    p.forwardRef = type == PICTURE_I ? nullptr : lastAnchor;
    rig.encoder.BeginPicture(&p);
    EXPECT_EQ(rig.encoder.GetCore()->roundingControl, expected[i]) << "picture " << i;
    rig.encoder.EndPicture(&p);
    if (type != PICTURE_B) lastAnchor = &p;
  }
}

TEST(Driver, SetUpFailuresAnswerFalseAndLeaveNothingBehind) {
  std::string debug;
  platform::SetDebugCapture([](void* text, std::string_view line) { *static_cast<std::string*>(text) += line; },
                            &debug);
  struct Case {
    const char* name;
    bool failCore;
    bool failContext;
    const char* line;
  };
  for (const Case& c : {Case{"core factory", true, false, "macroblock core cannot be created"},
                        Case{"context block", false, true, "context block of"}}) {
    SCOPED_TRACE(c.name);
    debug.clear();
    DriverRig rig(15);
    rig.encoder.failCore = c.failCore;
    rig.encoder.failContext = c.failContext;
    EXPECT_FALSE(rig.Init());
    EXPECT_EQ(rig.encoder.GetCore(), nullptr);
    EXPECT_NE(debug.find(c.line), std::string::npos) << debug;
    EXPECT_FALSE(rig.encoder.Finish());
    rig.encoder.Close();
    rig.encoder.Close();
    // A later Init that succeeds works normally.
    rig.encoder.failCore = rig.encoder.failContext = false;
    ASSERT_TRUE(rig.Init());
    rig.EncodeTypes("I");
    EXPECT_EQ(rig.output.DeliverCalls(), 1);
  }
  platform::SetDebugCapture(nullptr, nullptr);
}

TEST(Driver, Mpeg1RefusesTheRatesItCannotCode) {
  for (int index = 0; index < 12; ++index) {
    EncoderRig<TestMpeg1Encoder> rig(CODEC_MPEG1, 352, 288);
    rig.settings.frameRateIndex = index;
    EXPECT_EQ(rig.Init(), index >= 4) << "frame-rate index " << index;
  }
  EncoderRig<TestMpeg2Encoder> mpeg2(CODEC_MPEG2, 352, 288);
  mpeg2.settings.frameRateIndex = 0;
  EXPECT_TRUE(mpeg2.Init()) << "MPEG-2 codes 12 frames/s with frame_rate_extension_d";
}

TEST(Driver, ALostBlockIsReportedAndLaterPicturesAreComplete) {
  // A body of 1.5 MiB sends blocks out mid-picture; the second block finds no write area.
  const auto run = [](bool fail, std::vector<TestRateControl::Reading>* log, std::vector<uint8_t>* last,
                      uint64_t* lost) {
    DriverRig rig(15);
    ASSERT_TRUE(rig.Init());
    if (fail) rig.output.FailOnCall(2);
    rig.encoder.body = [](CMBEncoder& e, CPicture* p) {
      if (p->displayNumber == 0) {
        for (int i = 0; i < 0x60000; ++i) e.PutBits(static_cast<uint32_t>(i) * 2654435761u, 32);
      }
    };
    rig.EncodeTypes("IPP");
    *log = rig.rateControl.bitLog;
    const auto& pictures = rig.output.Pictures();
    *last = std::vector<uint8_t>(rig.output.Stream().begin() + static_cast<long>(pictures[1].start),
                                 rig.output.Stream().end());
    *lost = rig.encoder.LostOutputBytes();
  };
  std::vector<TestRateControl::Reading> goodLog, lostLog;
  std::vector<uint8_t> goodTail, lostTail;
  uint64_t goodLost = 0, lostBytes = 0;
  run(false, &goodLog, &goodTail, &goodLost);
  run(true, &lostLog, &lostTail, &lostBytes);
  EXPECT_EQ(goodLost, 0u);
  EXPECT_EQ(lostBytes, 4096u);
  ASSERT_EQ(goodLog.size(), lostLog.size());
  for (size_t i = 0; i < goodLog.size(); ++i) EXPECT_EQ(goodLog[i].bits, lostLog[i].bits);
  EXPECT_EQ(goodTail, lostTail) << "the pictures after the loss are complete";
}

}  // namespace
}  // namespace orx::venc::test
