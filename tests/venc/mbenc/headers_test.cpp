// MPEG-1/2 headers read back by ffmpeg's trace_headers filter and by ffprobe: every field is
// compared with the settings and the plan that produced it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/venc/mbenc/encode_harness.h"
#include "tests/venc/mbenc/stream_tools.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"
#include "venc/dsp/mpeg_scans.h"

namespace orx::venc::test {
namespace {

struct Traced {
  EncodeRun run;
  std::string path;
  std::vector<TraceField> fields;
  int64_t One(const std::string& name, const std::string& section = "") const {
    const std::vector<int64_t> values = FieldValues(fields, name, section);
    EXPECT_FALSE(values.empty()) << name;
    return values.empty() ? -1 : values.front();
  }
  size_t Count(const std::string& name, const std::string& section = "") const {
    return FieldValues(fields, name, section).size();
  }
};

// A short flat-content encode, written to a file and traced.
Traced Trace(const std::string& tag, EncodeSetup setup) {
  Traced t;
  t.run = RunEncode(setup);
  t.path = orx::test::MakeTempDir("mbenc_headers") + "/" + tag + ".mpv";
  EXPECT_TRUE(WriteBytes(t.path, t.run.stream));
  std::string log;
  t.fields = TraceHeaders(t.path, &log);
  EXPECT_FALSE(t.fields.empty()) << log.substr(0, 2000);
  return t;
}

EncodeSetup Small(int codec, int width, int height, int frames, int n = 1, int m = 1) {
  return MakeSetup(codec, width, height, frames, n, m, 8);
}

TEST(Headers, StandardDefinitionSequence) {
  EncodeSetup setup = Small(CODEC_MPEG2, 720, 576, 2);
  setup.adjustSettings = [](EncoderSettings& s) {
    s.aspectCode = 3;
    s.bitRate = 6000000;
    s.vbvBufferSize = 112;
  };
  const Traced t = Trace("sd", setup);
  EXPECT_EQ(t.One("horizontal_size_value"), 720);
  EXPECT_EQ(t.One("vertical_size_value"), 576);
  EXPECT_EQ(t.One("aspect_ratio_information"), 3);
  EXPECT_EQ(t.One("frame_rate_code"), 3);
  EXPECT_EQ(t.One("bit_rate_value"), 15000);
  EXPECT_EQ(t.One("vbv_buffer_size_value"), 112);
  EXPECT_EQ(t.One("profile_and_level_indication"), 0x48);
  for (const char* name : {"horizontal_size_extension", "vertical_size_extension", "bit_rate_extension",
                           "vbv_buffer_size_extension", "frame_rate_extension_n", "frame_rate_extension_d"}) {
    EXPECT_EQ(t.One(name), 0) << name;
  }
  EXPECT_EQ(t.One("video_format"), 2);
  EXPECT_EQ(t.One("display_horizontal_size"), 720);
  EXPECT_EQ(t.One("display_vertical_size"), 576);
  const auto probe = orx::test::ProbeStream(t.path, "v:0");
  EXPECT_EQ(probe.at("width"), "720");
  EXPECT_EQ(probe.at("height"), "576");
  EXPECT_EQ(probe.at("r_frame_rate"), "25/1");
  // Exactly one sequence end, at the end.
  const std::vector<uint8_t>& s = t.run.stream;
  int ends = 0;
  for (size_t i = 0; i + 3 < s.size(); ++i) ends += s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xB7;
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(std::vector<uint8_t>(s.end() - 4, s.end()), (std::vector<uint8_t>{0, 0, 1, 0xB7}));
}

TEST(Headers, BitRateAboveEighteenBitsUsesTheExtension) {
  EncodeSetup setup = Small(CODEC_MPEG2, 64, 32, 1);
  setup.adjustSettings = [](EncoderSettings& s) { s.bitRate = 120000000; };
  const Traced t = Trace("bitrate", setup);
  EXPECT_EQ(t.One("bit_rate_value"), 300000 & 0x3FFFF);
  EXPECT_EQ(t.One("bit_rate_extension"), 300000 >> 18);
}

TEST(Headers, FrameRateCodes) {
  const char* rates[12] = {"12/1",       "25/2", "15000/1001", "15/1", "24000/1001", "24/1",
                           "25/1",       "30000/1001", "30/1", "50/1", "60000/1001", "60/1"};
  for (int codec : {CODEC_MPEG2, CODEC_MPEG1}) {
    for (int index = codec == CODEC_MPEG1 ? 4 : 0; index < 12; ++index) {
      SCOPED_TRACE("codec " + std::to_string(codec) + " index " + std::to_string(index));
      EncodeSetup setup = Small(codec, 64, 32, 1);
      setup.adjustSettings = [index](EncoderSettings& s) { s.frameRateIndex = index; };
      const Traced t = Trace("rate" + std::to_string(codec) + "_" + std::to_string(index), setup);
      EXPECT_EQ(t.One("frame_rate_code"), index < 4 ? index + 2 : index - 3);
      if (codec == CODEC_MPEG2) {
        EXPECT_EQ(t.One("frame_rate_extension_d"), index < 4 ? 1 : 0);
      }
      EXPECT_EQ(orx::test::ProbeStream(t.path, "v:0")["r_frame_rate"], rates[index]);
    }
  }
}

TEST(Headers, VideoFormatFiveHasNoDisplayExtension) {
  EncodeSetup setup = Small(CODEC_MPEG2, 64, 32, 1);
  setup.adjustSettings = [](EncoderSettings& s) { s.videoFormat = 5; };
  const Traced t = Trace("format5", setup);
  EXPECT_EQ(t.Count("video_format"), 0u);
  EXPECT_GE(t.Count("profile_and_level_indication"), 1u);
}

TEST(Headers, FCodePlacement) {
  for (int codec : {CODEC_MPEG1, CODEC_MPEG2}) {
    SCOPED_TRACE(codec);
    EncodeSetup setup = Small(codec, 96, 64, 4, 15, 3);
    setup.script = [](TestPlanner& planner) {
      for (PlannedPicture* p : planner.CodingOrder()) {
        if (p->picture.pictureType == PICTURE_I) continue;
        p->picture.forwardFCodeX = p->picture.forwardFCodeY = 4;
        if (p->picture.pictureType == PICTURE_B) p->picture.backwardFCodeX = p->picture.backwardFCodeY = 3;
      }
    };
    const Traced t = Trace("fcode" + std::to_string(codec), setup);
    const std::vector<int64_t> forward = FieldValues(t.fields, "forward_f_code");
    const std::vector<int64_t> backward = FieldValues(t.fields, "backward_f_code");
    ASSERT_EQ(forward.size(), 3u);  // P, B, B
    ASSERT_EQ(backward.size(), 2u);
    for (int64_t f : forward) EXPECT_EQ(f, codec == CODEC_MPEG1 ? 4 : 7);
    for (int64_t f : backward) EXPECT_EQ(f, codec == CODEC_MPEG1 ? 3 : 7);
    if (codec == CODEC_MPEG2) {
      EXPECT_EQ(FieldValues(t.fields, "f_code[0][0]"), (std::vector<int64_t>{15, 4, 4, 4}));
      EXPECT_EQ(FieldValues(t.fields, "f_code[1][1]"), (std::vector<int64_t>{15, 15, 3, 3}));
    } else {
      EXPECT_EQ(t.Count("f_code[0][0]"), 0u);
    }
    CheckDecodesToReconstruction(t.run, "fcode" + std::to_string(codec));
  }
}

TEST(Headers, SliceStartCodesAndQuantisers) {
  struct Case {
    int height;
    bool releaseOnly;
  };
  for (const Case& c : {Case{1088, false}, Case{2816, true}}) {
    SCOPED_TRACE(c.height);
    if (c.releaseOnly && kOrxSanitizedBuild) continue;
    EncodeSetup setup = Small(CODEC_MPEG2, 64, c.height, 1);
    setup.callback = false;
    setup.adjustRateControl = [](TestRateControl& rc) {
      rc.rowQuantiser = [](int, int row) { return 1 + row % 31; };
    };
    const Traced t = Trace("slices" + std::to_string(c.height), setup);
    const int rows = c.height / 16;
    const std::vector<int64_t> positions = FieldValues(t.fields, "slice_vertical_position");
    const std::vector<int64_t> extensions = FieldValues(t.fields, "slice_vertical_position_extension");
    ASSERT_EQ(positions.size(), static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row) {
      EXPECT_EQ(positions[row], c.height > 2800 ? 1 + row % 128 : 1 + row) << row;
    }
    if (c.height > 2800) {
      ASSERT_EQ(extensions.size(), static_cast<size_t>(rows));
      EXPECT_EQ(positions[130], 3);
      EXPECT_EQ(extensions[130], 1);
    } else {
      EXPECT_TRUE(extensions.empty());
      EXPECT_EQ(positions.back(), 0x44);
    }
    const std::vector<int64_t> quantisers = FieldValues(t.fields, "quantiser_scale_code", "Slice Header");
    ASSERT_EQ(quantisers.size(), t.run.rowQuantisers.size());
    for (size_t i = 0; i < quantisers.size(); ++i) EXPECT_EQ(quantisers[i], t.run.rowQuantisers[i]);
    orx::test::RawVideo decoded;
    EXPECT_TRUE(DecodeStrict(t.path, decoded));
  }
}

TEST(Headers, UserMatricesInZigZagOrder) {
  static uint8_t intra[64];
  static uint8_t nonIntra[64];
  for (int i = 0; i < 64; ++i) {
    intra[i] = static_cast<uint8_t>(8 + (i * 5) % 40);
    nonIntra[i] = static_cast<uint8_t>(16 + (i * 3) % 30);
  }
  intra[0] = 8;
  EncodeSetup setup = Small(CODEC_MPEG2, 96, 64, 4, 15, 3);
  setup.adjustSettings = [](EncoderSettings& s) {
    s.loadIntraMatrix = s.loadNonIntraMatrix = 1;
    s.userIntraMatrix = intra;
    s.userNonIntraMatrix = nonIntra;
  };
  const Traced t = Trace("matrices", setup);
  for (int i = 0; i < 64; ++i) {
    const std::vector<int64_t> a = FieldValues(t.fields, "intra_quantiser_matrix[" + std::to_string(i) + "]");
    const std::vector<int64_t> b = FieldValues(t.fields, "non_intra_quantiser_matrix[" + std::to_string(i) + "]");
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(a.front(), intra[dsp::kZigzagScan[i]]) << i;
    EXPECT_EQ(b.front(), nonIntra[dsp::kZigzagScan[i]]) << i;
  }
  CheckDecodesToReconstruction(t.run, "matrices");
}

TEST(Headers, GopAndPictureCodingExtensionFollowThePlan) {
  EncodeSetup setup = Small(CODEC_MPEG2, 96, 64, 10, 6, 3);
  setup.plan.interlaced = true;
  setup.plan.topFieldFirst = false;
  setup.plan.intraDcPrecision = 2;
  setup.adjustSettings = [](EncoderSettings& s) { s.frameRateIndex = 7; };
  setup.adjustRateControl = [](TestRateControl& rc) {
    rc.pictureFlags = [](int picture, CPicture* p) {
      p->qScaleType = picture % 2;
      p->intraVlcFormat = (picture / 2) % 2;
      p->alternateScan = (picture / 4) % 2;
    };
  };
  struct Planned {
    int temporalReference, pictureType, topFieldFirst, framePredFrameDct, progressiveFrame,
        repeatFirstField;
  };
  std::vector<Planned> planned;
  setup.script = [&planned](TestPlanner& planner) {
    for (PlannedPicture* p : planner.CodingOrder()) {
      const CPicture& c = p->picture;
      planned.push_back({c.temporalReference, c.pictureType, c.topFieldFirst, c.framePredFrameDct,
                         c.progressiveFrame, c.repeatFirstField});
    }
  };
  const Traced t = Trace("gop", setup);
  // GOPs start at display 0 (closed) and 6 (open: B pictures 4 and 5 precede it).
  EXPECT_EQ(FieldValues(t.fields, "closed_gop"), (std::vector<int64_t>{1, 0}));
  const std::vector<int64_t> timeCodes = FieldValues(t.fields, "time_code");
  ASSERT_EQ(timeCodes.size(), 2u);
  EXPECT_EQ(timeCodes[0], 1 << 12);
  EXPECT_EQ(timeCodes[1], (1 << 12) | 4);
  const std::vector<int64_t> temporal = FieldValues(t.fields, "temporal_reference");
  ASSERT_EQ(temporal.size(), planned.size());
  struct Flag {
    const char* name;
    int64_t (*value)(const Planned&, int);
  };
  const Flag flags[] = {
      {"temporal_reference", [](const Planned& p, int) -> int64_t { return p.temporalReference; }},
      {"picture_coding_type", [](const Planned& p, int) -> int64_t { return p.pictureType; }},
      {"top_field_first", [](const Planned& p, int) -> int64_t { return p.topFieldFirst; }},
      {"frame_pred_frame_dct", [](const Planned& p, int) -> int64_t { return p.framePredFrameDct; }},
      {"progressive_frame", [](const Planned& p, int) -> int64_t { return p.progressiveFrame; }},
      {"chroma_420_type", [](const Planned& p, int) -> int64_t { return p.progressiveFrame; }},
      {"repeat_first_field", [](const Planned& p, int) -> int64_t { return p.repeatFirstField; }},
      {"intra_dc_precision", [](const Planned&, int) -> int64_t { return 2; }},
      {"q_scale_type", [](const Planned&, int i) -> int64_t { return i % 2; }},
      {"intra_vlc_format", [](const Planned&, int i) -> int64_t { return (i / 2) % 2; }},
      {"alternate_scan", [](const Planned&, int i) -> int64_t { return (i / 4) % 2; }},
  };
  for (const Flag& flag : flags) {
    const std::vector<int64_t> values = FieldValues(t.fields, flag.name);
    ASSERT_EQ(values.size(), planned.size()) << flag.name;
    for (size_t i = 0; i < planned.size(); ++i) {
      EXPECT_EQ(values[i], flag.value(planned[i], static_cast<int>(i))) << flag.name << " picture " << i;
    }
  }
  EXPECT_EQ(planned[0].topFieldFirst, 0);
  EXPECT_EQ(planned[0].progressiveFrame, 0);
  CheckDecodesToReconstruction(t.run, "gop");
}

TEST(Headers, CaptionUserData) {
  struct Case {
    int codec;
    int streamType;
    std::vector<uint8_t> bytes;
    bool a53;
  };
  const Case cases[] = {
      {CODEC_MPEG2, STREAM_TYPE_MPEG2_SD,
       {0, 0, 1, 0xB2, 0x47, 0x41, 0x39, 0x34, 0x03, 0xC1, 0xFF, 0xFC, 0x14, 0x2C, 0xFF}, true},
      {CODEC_MPEG2, STREAM_TYPE_MPEG1_LARGE, {0, 0, 1, 0xB2, 0x11, 0x04, 0x14, 0x2C}, false},
      {CODEC_MPEG1, STREAM_TYPE_MPEG1_SIF, {0, 0, 1, 0xB2, 0x11, 0x04, 0x14, 0x2C}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codec * 10 + c.streamType);
    EncodeSetup setup = Small(c.codec, 64, 32, 2);
    setup.plan.captions = {{1, {0x2C14}}};
    setup.adjustSettings = [&c](EncoderSettings& s) { s.streamType = c.streamType; };
    const Traced t = Trace("captions" + std::to_string(c.codec) + std::to_string(c.streamType), setup);
    const std::vector<uint8_t>& s = t.run.stream;
    const auto found = std::search(s.begin(), s.end(), c.bytes.begin(), c.bytes.end());
    ASSERT_NE(found, s.end());
    EXPECT_EQ(s[static_cast<size_t>(found - s.begin()) + c.bytes.size()], 0) << "a start code follows";
    if (c.a53) {
      const orx::test::ProcessResult probe = orx::test::RunProcess(
          {"ffprobe", "-v", "error", "-show_frames", "-of", "default=noprint_wrappers=1", t.path});
      EXPECT_NE(probe.out.find("side_data_type=ATSC A53 Part 4 Closed Captions"), std::string::npos) << probe.out;
    }
  }
}

}  // namespace
}  // namespace orx::venc::test
