// The H.264 stream headers through independent readers: every stream is written by the DC
// picture writer and read back by ffmpeg's header trace, ffprobe and ffmpeg's strict decoder;
// the tests compare fields with the settings they were written from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/test_paths.h"
#include "tests/venc/core/vbv_checker.h"
#include "tests/venc/mbenc/h264_dc_stream.h"
#include "tests/venc/mbenc/stream_tools.h"

namespace orx::venc::test {
namespace {

constexpr int kNalSlice = 1, kNalIdr = 5, kNalSei = 6, kNalSps = 7, kNalPps = 8, kNalDelimiter = 9;

struct TracedStream {
  std::string path;
  std::vector<TraceField> fields;        // packets 0 and up only
  std::vector<std::vector<int>> units;   // NAL unit types of every packet (access unit)
  std::string log;

  // Values of a field in one packet (all packets when packet is -1).
  std::vector<int64_t> Values(const std::string& name, int packet = -1,
                              const std::string& section = "") const {
    std::vector<int64_t> v;
    for (const TraceField& f : fields) {
      if (f.name == name && (packet < 0 || f.packet == packet) &&
          (section.empty() || f.section == section)) {
        v.push_back(f.value);
      }
    }
    return v;
  }
  // The one value of a field in the first sequence parameter set of the stream.
  int64_t Sps(const std::string& name) const {
    const std::vector<int64_t> v = Values(name, -1, "Sequence Parameter Set");
    return v.empty() ? -1 : v.front();
  }
  bool Has(const std::string& name, const std::string& section = "") const {
    return !Values(name, -1, section).empty();
  }
};

// The NAL unit types ffmpeg lists for every packet it splits the stream into.
std::vector<std::vector<int>> PacketUnits(const std::string& log) {
  std::vector<std::vector<int>> packets;
  std::istringstream in(log);
  std::string line;
  bool inPackets = false;
  while (std::getline(in, line)) {
    if (line.find("trace_headers") == std::string::npos) continue;
    if (line.find("] Packet:") != std::string::npos) {
      packets.emplace_back();
      inPackets = true;
      continue;
    }
    const size_t at = line.find("] nal_unit_type: ");
    if (inPackets && at != std::string::npos) packets.back().push_back(std::atoi(line.c_str() + at + 17));
  }
  return packets;
}

TracedStream EncodeAndTrace(H264DcRig& rig, int frames, const PlanOptions& options, const std::string& tag) {
  TracedStream t;
  t.path = orx::test::MakeTempDir("h264_headers") + "/" + tag + ".h264";
  EXPECT_TRUE(WriteBytes(t.path, rig.Encode(frames, options)));
  for (const TraceField& f : TraceH264Headers(t.path, &t.log)) {
    if (f.packet >= 0) t.fields.push_back(f);
  }
  t.units = PacketUnits(t.log);
  return t;
}

int Count(const std::vector<int>& v, int x) { return static_cast<int>(std::count(v.begin(), v.end(), x)); }

// Every access unit opens with exactly one delimiter.
void ExpectOneLeadingDelimiter(const TracedStream& t) {
  for (size_t p = 0; p < t.units.size(); ++p) {
    ASSERT_FALSE(t.units[p].empty());
    EXPECT_EQ(t.units[p].front(), kNalDelimiter) << "access unit " << p;
    EXPECT_EQ(Count(t.units[p], kNalDelimiter), 1) << "access unit " << p;
  }
}

// The decode is strict, counts the pictures and answers the frames.
orx::test::RawVideo DecodeAll(const TracedStream& t, int frames) {
  orx::test::RawVideo video;
  orx::test::DecodeOptions options;
  options.inputArgs = {"-err_detect", "explode", "-f", "h264"};
  std::string log;
  EXPECT_TRUE(orx::test::DecodeVideo(t.path, video, options, &log)) << log;
  EXPECT_EQ(static_cast<int>(video.frames.size()), frames);
  return video;
}

DcLevels StreamLevels(int picture, int x, int y) {
  return RandomDcLevels(static_cast<uint32_t>(7919 * picture + 131 * y + x));
}

struct HeaderCase {
  const char* name;
  int width = 352;
  int height = 288;
  bool progressive = true;
  int frames = 4;
  bool release = false;  // HD rows run in the release configuration only
  PlanOptions plan = {};
  std::function<void(EncoderSettings&)> settings = {};
  // Field = value pairs of the sequence parameter set ("-" prefix: the field is absent).
  std::map<std::string, int64_t> sps = {};
  // ffprobe key = value pairs of the video stream.
  std::map<std::string, std::string> probe = {};
  std::function<void(const TracedStream&, const H264DcRig&)> check = {};
};

PlanOptions Gop(int n, int m, bool closed = false) {
  PlanOptions o;
  o.gopLength = n;
  o.anchorDistance = m;
  o.closedGops = closed;
  return o;
}

// The timing messages of a stream read into the checker's access units.
std::vector<HrdAccessUnit> HrdUnits(const TracedStream& t, const H264DcRig& rig) {
  std::vector<HrdAccessUnit> units;
  const std::vector<PlannedPicture*> coding = rig.planner->CodingOrder();
  for (size_t p = 0; p < t.units.size(); ++p) {
    HrdAccessUnit u;
    const int packet = static_cast<int>(p);
    const std::vector<int64_t> initial = t.Values("initial_cpb_removal_delay[0]", packet);
    u.bufferingPeriod = !initial.empty();
    if (u.bufferingPeriod) u.initialCpbRemovalDelay = initial.front();
    const std::vector<int64_t> cpb = t.Values("cpb_removal_delay", packet);
    const std::vector<int64_t> dpb = t.Values("dpb_output_delay", packet);
    EXPECT_EQ(cpb.size(), 1u) << "access unit " << p;
    EXPECT_EQ(dpb.size(), 1u) << "access unit " << p;
    if (cpb.size() == 1) u.cpbRemovalDelay = cpb.front();
    if (dpb.size() == 1) u.dpbOutputDelay = dpb.front();
    u.displayIndex = p < coding.size() ? coding[p]->display : -1;
    units.push_back(u);
  }
  return units;
}

void CheckTypeFiveStream(const TracedStream& t, const H264DcRig& rig) {
  ExpectOneLeadingDelimiter(t);
  const std::vector<PlannedPicture*> coding = rig.planner->CodingOrder();
  ASSERT_EQ(t.units.size(), coding.size());
  for (size_t p = 0; p < t.units.size(); ++p) {
    SCOPED_TRACE("access unit " + std::to_string(p));
    const int packet = static_cast<int>(p);
    const CPicture& pic = coding[p]->picture;
    EXPECT_EQ(t.Values("initial_cpb_removal_delay[0]", packet).size(), pic.gopStart ? 1u : 0u);
    EXPECT_EQ(t.Values("recovery_frame_cnt", packet).size(), pic.gopStart && !pic.closedGop ? 1u : 0u);
    EXPECT_EQ(t.Values("pic_struct", packet), std::vector<int64_t>{0});
    EXPECT_EQ(t.Values("clock_timestamp_flag[0]", packet), std::vector<int64_t>{0});
    EXPECT_TRUE(t.Values("clock_timestamp_flag[1]", packet).empty());
    EXPECT_EQ(t.Values("pan_scan_rect_cancel_flag", packet), std::vector<int64_t>{1});
    // The buffering period comes before the picture timing, both before the slice.
    EXPECT_EQ(t.units[p].back(), pic.closedGop && pic.pictureType == PICTURE_I ? kNalIdr : kNalSlice);
  }
  const double tick = double(kNumUnitsInTick[rig.settings.frameRateIndex]) /
                      (2.0 * kFrameRateTable[rig.settings.frameRateIndex].rateX1000);
  const HrdReport report = CheckHrdTiming(HrdUnits(t, rig), tick, 2);
  EXPECT_EQ(report.problems, 0) << report.firstProblem;
}

TEST(H264Headers, SettingsCasesReadBackThroughFfmpeg) {
  ORX_RELEASE_ONLY();  // a table of encodes
  const std::vector<HeaderCase> cases = {
      {.name = "type 0, I B B P, N 15, M 3",
       .frames = 31,
       .plan = Gop(15, 3),
       .sps = {{"profile_idc", 77}, {"level_idc", 30}, {"constraint_set1_flag", 1},
               {"-chroma_format_idc", 0}, {"frame_mbs_only_flag", 1}, {"frame_cropping_flag", 0},
               {"pic_width_in_mbs_minus1", 21}, {"pic_height_in_map_units_minus1", 17},
               {"video_full_range_flag", 0}, {"nal_hrd_parameters_present_flag", 0},
               {"pic_struct_present_flag", 0}, {"num_units_in_tick", 1000}, {"time_scale", 50000}},
       .probe = {{"color_range", "tv"}, {"width", "352"}, {"height", "288"}},
       .check = [](const TracedStream& t, const H264DcRig& rig) {
         const std::vector<PlannedPicture*> coding = rig.planner->CodingOrder();
         ASSERT_EQ(t.units.size(), coding.size());
         EXPECT_EQ(t.units[0], (std::vector<int>{kNalSps, kNalPps, kNalIdr}));
         for (size_t p = 0; p < t.units.size(); ++p) {
           const bool gopStart = coding[p]->picture.gopStart != 0;
           EXPECT_EQ(Count(t.units[p], kNalSps), gopStart ? 1 : 0) << p;
           EXPECT_EQ(Count(t.units[p], kNalPps), gopStart ? 1 : 0) << p;
           EXPECT_EQ(Count(t.units[p], kNalDelimiter), 0) << p;
           EXPECT_EQ(Count(t.units[p], kNalSei), 0) << p;
         }
         EXPECT_FALSE(t.Has("transform_8x8_mode_flag"));
       }},
      {.name = "type 5, High, N 6, M 3, open GOPs",
       .frames = 13,
       .plan = Gop(6, 3),
       .settings = [](EncoderSettings& s) {
         s.streamType = 5;
         s.profileLevel = (100 << 8) | 30;
         s.bitRate = s.maxBitRate = 20000000;
         s.vbvBufferSize = 112;
       },
       .sps = {{"profile_idc", 100}, {"chroma_format_idc", 1}, {"nal_hrd_parameters_present_flag", 1},
               {"bit_rate_value_minus1[0]", 20000000 / 64 - 1},
               {"cpb_size_value_minus1[0]", 112 * 1024 - 1}, {"cbr_flag[0]", 1},
               {"initial_cpb_removal_delay_length_minus1", 23}, {"time_offset_length", 0},
               {"low_delay_hrd_flag", 0}, {"pic_struct_present_flag", 1}, {"video_full_range_flag", 0}},
       .probe = {{"color_range", "tv"}},
       .check = [](const TracedStream& t, const H264DcRig& rig) {
         EXPECT_TRUE(t.Has("transform_8x8_mode_flag", "Picture Parameter Set"));
         CheckTypeFiveStream(t, rig);
       }},
      {.name = "type 5, intra only (N 1), variable rate",
       .frames = 14,
       .plan = Gop(1, 1),
       .settings = [](EncoderSettings& s) {
         s.streamType = 5;
         s.variableBitRate = 1;
       },
       .sps = {{"cbr_flag[0]", 0}, {"bit_rate_value_minus1[0]", 6000000 / 64 - 1}},
       .check = [](const TracedStream& t, const H264DcRig& rig) {
         CheckTypeFiveStream(t, rig);
         // The sequence parameter set repeats on every twelfth GOP start only.
         for (size_t p = 0; p < t.units.size(); ++p) EXPECT_EQ(Count(t.units[p], kNalSps), p % 12 == 0 ? 1 : 0) << p;
       }},
      {.name = "type 7, intra only (N 1)",
       .frames = 14,
       .plan = Gop(1, 1),
       .settings = [](EncoderSettings& s) { s.streamType = 7; },
       .sps = {{"pic_struct_present_flag", 0}, {"nal_hrd_parameters_present_flag", 0}},
       .check = [](const TracedStream& t, const H264DcRig&) {
         ExpectOneLeadingDelimiter(t);
         for (const std::vector<int>& u : t.units) EXPECT_EQ(Count(u, kNalSei), 0);
       }},
      {.name = "type 7, progressive, N 6, M 3: delimiters, no SEI",
       .frames = 13,
       .plan = Gop(6, 3),
       .settings = [](EncoderSettings& s) { s.streamType = 7; },
       .sps = {{"pic_struct_present_flag", 0}},
       .check = [](const TracedStream& t, const H264DcRig&) {
         ExpectOneLeadingDelimiter(t);
         for (const std::vector<int>& u : t.units) EXPECT_EQ(Count(u, kNalSei), 0);
       }},
      {.name = "type 7, interlaced 720x576, N 6, M 3",
       .width = 720, .height = 576, .progressive = false, .frames = 7,
       .plan = Gop(6, 3),
       .settings = [](EncoderSettings& s) { s.streamType = 7; },
       .sps = {{"frame_mbs_only_flag", 0}, {"mb_adaptive_frame_field_flag", 0},
               {"pic_height_in_map_units_minus1", 17}, {"pic_struct_present_flag", 1},
               {"frame_cropping_flag", 0}},
       .probe = {{"height", "576"}},
       .check = [](const TracedStream& t, const H264DcRig&) {
         ExpectOneLeadingDelimiter(t);
         EXPECT_TRUE(t.Has("bottom_field_pic_order_in_frame_present_flag"));
         for (size_t p = 0; p < t.units.size(); ++p) {
           const int packet = static_cast<int>(p);
           EXPECT_EQ(t.Values("pic_struct", packet), std::vector<int64_t>{3}) << p;
           EXPECT_EQ(t.Values("clock_timestamp_flag[0]", packet), std::vector<int64_t>{0}) << p;
           EXPECT_EQ(t.Values("clock_timestamp_flag[1]", packet), std::vector<int64_t>{0}) << p;
           EXPECT_EQ(t.Values("last_payload_size_byte", packet), std::vector<int64_t>{1}) << p;
         }
       }},
      {.name = "1920x1080 progressive: crop 4 at the bottom",
       .width = 1920, .height = 1080, .frames = 2, .release = true,
       .settings = [](EncoderSettings& s) { s.profileLevel = (100 << 8) | 40; },
       .sps = {{"frame_cropping_flag", 1}, {"frame_crop_bottom_offset", 4},
               {"frame_crop_right_offset", 0}, {"pic_height_in_map_units_minus1", 67}},
       .probe = {{"width", "1920"}, {"height", "1080"}}},
      {.name = "1920x1080 interlaced: crop 2 field lines",
       .width = 1920, .height = 1080, .progressive = false, .frames = 2, .release = true,
       .settings = [](EncoderSettings& s) { s.profileLevel = (100 << 8) | 40; s.streamType = 7; },
       .sps = {{"frame_cropping_flag", 1}, {"frame_crop_bottom_offset", 2},
               {"pic_height_in_map_units_minus1", 33}, {"frame_mbs_only_flag", 0}},
       .probe = {{"height", "1080"}}},
      {.name = "1280x720: no cropping",
       .width = 1280, .height = 720, .frames = 2, .release = true,
       .sps = {{"frame_cropping_flag", 0}, {"pic_width_in_mbs_minus1", 79}},
       .probe = {{"width", "1280"}, {"height", "720"}}},
      {.name = "720x576, aspect code 255 with 16:11, Baseline",
       .width = 720, .height = 576, .frames = 2,
       .settings = [](EncoderSettings& s) {
         s.aspectCode = 255 | (16 << 8) | (11 << 16);
         s.profileLevel = (66 << 8) | 30;
         s.constraintFlags = 0xE0;
       },
       .sps = {{"aspect_ratio_idc", 255}, {"sar_width", 16}, {"sar_height", 11}, {"profile_idc", 66},
               {"constraint_set0_flag", 1}, {"-chroma_format_idc", 0}},
       .probe = {{"sample_aspect_ratio", "16:11"}}},
      {.name = "coded aspect 2, colour description all 2",
       .settings = [](EncoderSettings& s) {
         s.aspectCode = 2;
         s.colourPrimaries = s.transferCharacteristics = s.matrixCoefficients = 2;
       },
       .sps = {{"aspect_ratio_idc", 2}, {"-sar_width", 0}, {"colour_description_present_flag", 0},
               {"-colour_primaries", 0}},
       .probe = {{"sample_aspect_ratio", "12:11"}}},
      {.name = "colour description 6, 6, 6",
       .settings = [](EncoderSettings& s) {
         s.colourPrimaries = s.transferCharacteristics = s.matrixCoefficients = 6;
       },
       .sps = {{"colour_description_present_flag", 1}, {"colour_primaries", 6},
               {"transfer_characteristics", 6}, {"matrix_coefficients", 6}},
       .probe = {{"color_primaries", "smpte170m"}, {"color_transfer", "smpte170m"}, {"color_space", "smpte170m"}}},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.release && kOrxSanitizedBuild) continue;
    H264DcRig rig(c.width, c.height, c.progressive);
    if (c.settings) c.settings(rig.settings);
    rig.encoder.levels = StreamLevels;
    const TracedStream t = EncodeAndTrace(rig, c.frames, c.plan, "case");
    ASSERT_EQ(static_cast<int>(t.units.size()), c.frames) << t.log.substr(0, 4000);
    for (const auto& [field, value] : c.sps) {
      if (field[0] == '-') {
        EXPECT_FALSE(t.Has(field.substr(1), "Sequence Parameter Set")) << field;
      } else {
        EXPECT_EQ(t.Sps(field), value) << field;
      }
    }
    const std::map<std::string, std::string> probe =
        c.probe.empty() ? std::map<std::string, std::string>{} : orx::test::ProbeStream(t.path, "v:0");
    for (const auto& [key, value] : c.probe) {
      const auto it = probe.find(key);
      EXPECT_TRUE(it != probe.end() && it->second == value)
          << key << " = " << (it == probe.end() ? "(none)" : it->second) << ", wanted " << value;
    }
    if (c.check) c.check(t, rig);
    DecodeAll(t, c.frames);
  }
}

TEST(H264Headers, FrameRateIndicesGiveTheirTicksAndRates) {
  ORX_RELEASE_ONLY();  // a table of encodes
  struct Rate {
    int64_t numUnitsInTick, timeScale;
    const char* rate;
  };
  const Rate rates[12] = {{1000, 24000, "12/1"},      {1000, 25000, "25/2"},
                          {1001, 30000, "15000/1001"}, {1000, 30000, "15/1"},
                          {1001, 48000, "24000/1001"}, {1000, 48000, "24/1"},
                          {1000, 50000, "25/1"},       {1001, 60000, "30000/1001"},
                          {1000, 60000, "30/1"},       {1000, 100000, "50/1"},
                          {1001, 120000, "60000/1001"}, {1000, 120000, "60/1"}};
  for (int index = 0; index < 12; ++index) {
    SCOPED_TRACE("frame-rate index " + std::to_string(index));
    H264DcRig rig(64, 48);
    rig.settings.frameRateIndex = index;
    const TracedStream t = EncodeAndTrace(rig, 2, Gop(1, 1), "rate");
    EXPECT_EQ(t.Sps("num_units_in_tick"), rates[index].numUnitsInTick);
    EXPECT_EQ(t.Sps("time_scale"), rates[index].timeScale);
    EXPECT_EQ(orx::test::ProbeStream(t.path, "v:0")["r_frame_rate"], rates[index].rate);
  }
}

TEST(H264Headers, AnEmptyBufferStillWaitsOneRemovalPeriod) {
  // A buffer fullness of 0 would give initial_cpb_removal_delay 0, which readers reject.
  H264DcRig rig(64, 48);
  rig.settings.streamType = 5;
  rig.rateControl.vbvFullness = 0;
  const TracedStream t = EncodeAndTrace(rig, 1, Gop(1, 1), "empty_buffer");
  EXPECT_EQ(t.Values("initial_cpb_removal_delay[0]"), std::vector<int64_t>{1}) << t.log.substr(0, 3000);
  EXPECT_EQ(t.Values("initial_cpb_removal_delay_offset[0]").size(), 1u);
}

TEST(H264Headers, SequenceParameterSetOfTheSettingsEqualsTheStreamsOwn) {
  for (bool progressive : {true, false}) {
    H264DcRig rig(720, 576, progressive);
    rig.settings.streamType = 5;
    const std::vector<uint8_t> bytes = rig.Encode(1, Gop(1, 1));
    std::vector<uint8_t> nal = H264SequenceParameterSetNal(rig.settings, false);
    std::vector<uint8_t> unit = {0, 0, 0, 1};
    unit.insert(unit.end(), nal.begin(), nal.end());
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), unit.begin(), unit.end()), bytes.end())
        << "progressive " << progressive;
  }
}

TEST(H264Headers, DcPicturesDecodeToTheirReconstruction) {
  struct Case {
    const char* name;
    int width, height;
    PlanOptions plan;
    int frames;
  };
  const std::vector<Case> cases = {
      {.name = "I and skipped P, N 4", .width = 176, .height = 144, .plan = Gop(4, 1), .frames = 9},
      {.name = "I B B P with skipped B", .width = 176, .height = 144, .plan = Gop(6, 3), .frames = 13},
      {.name = "cropped 100x60", .width = 100, .height = 60, .plan = Gop(2, 1), .frames = 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    H264DcRig rig(c.width, c.height);
    rig.encoder.levels = StreamLevels;
    const TracedStream t = EncodeAndTrace(rig, c.frames, c.plan, "dc");
    const orx::test::RawVideo decoded = DecodeAll(t, c.frames);
    const orx::test::RawVideo expected = ReconstructDcStream(rig);
    ASSERT_EQ(decoded.frames.size(), expected.frames.size());
    for (size_t f = 0; f < decoded.frames.size(); ++f) {
      size_t first = 0;
      while (first < decoded.frames[f].size() && decoded.frames[f][first] == expected.frames[f][first]) ++first;
      EXPECT_EQ(first, decoded.frames[f].size()) << "frame " << f << " differs first at byte " << first << ": "
          << int(first < decoded.frames[f].size() ? decoded.frames[f][first] : 0) << " decoded, "
          << int(first < decoded.frames[f].size() ? expected.frames[f][first] : 0) << " expected";
    }
  }
}

}  // namespace
}  // namespace orx::venc::test
