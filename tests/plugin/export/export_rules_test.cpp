// The export's rules on their own: passes, targets, frame sizes, sample conversion, side-file
// names and moves, and the frame slots' ceiling.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "engine/multivenc/preproc_convert.h"
#include "media/media_codes.h"
#include "plugin/export/enc_session.h"
#include "plugin/export/enc_session_targets.h"
#include "plugin/export/export_run.h"
#include "plugin/export/host_pixel_formats.h"
#include "plugin/params/exporter_file_type.h"
#include "tests/support/test_paths.h"

namespace orx::plugin {
namespace {

TEST(ExportRules, PassesByFileTypeContainerAndStreams) {
  struct Row {
    uint32_t fileType;
    uint32_t container;
    bool video;
    bool audio;
    bool twoPasses;
  };
  const Row rows[] = {
      {kFileTypeMpg2, 0, true, true, true},   {kFileTypeMpg2, 0, true, false, false},
      {kFileTypeMpg2, 1, true, true, false},  {kFileTypeMpg2, 0, false, true, false},
      {kFileTypeMp2b, 7, true, true, true},   {kFileTypeMp2b, 1, true, true, false},
      {kFileTypeMp2b, 0, true, true, true},   {kFileType264b, 7, true, true, true},
      {kFileType264b, 7, true, false, false}, {kFileType264b, 1, true, true, false},
      {kFileTypeH264, 0, true, true, true},   {kFileTypeH264, 2, true, true, false},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ExportTakesTwoPasses(r.fileType, ChoiceOf<ContainerChoice>(r.container), r.video, r.audio), r.twoPasses)
        << std::hex << r.fileType << " container " << r.container << " video " << r.video
        << " audio " << r.audio;
  }
}

TEST(ExportRules, TargetStreamTypes) {
  struct Row {
    uint32_t container;
    bool video;
    bool audio;
    uint32_t videoSubtype;
    uint32_t audioSubtype;
    uint32_t major;
    uint32_t subtype;
  };
  const Row rows[] = {
      {0, true, true, QVA_MSUBTYPE_MPV2, QVA_MSUBTYPE_MPA2, QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2},
      {0, false, true, QVA_MSUBTYPE_MPV2, QVA_MSUBTYPE_MPA2, QVA_MTYPE_AUDIO, QVA_MSUBTYPE_MPA2},
      {7, true, false, QVA_MSUBTYPE_H264, 0, QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2},
      {7, false, true, QVA_MSUBTYPE_H264, QVA_MSUBTYPE_PCM, QVA_MTYPE_AUDIO, QVA_MSUBTYPE_PCM},
      {7, false, false, QVA_MSUBTYPE_H264, 0, QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV2},
      {1, true, true, QVA_MSUBTYPE_H264, QVA_MSUBTYPE_MPA2, QVA_MTYPE_MPEG2_PS, 0},
      {2, true, true, QVA_MSUBTYPE_MPV2, QVA_MSUBTYPE_MPA2, QVA_MTYPE_MPEG2_PS, 0},
      {2, true, true, QVA_MSUBTYPE_H264, QVA_MSUBTYPE_AAC, QVA_MTYPE_MP4, 0},
      {3, true, true, QVA_MSUBTYPE_H264, QVA_MSUBTYPE_AAC, QVA_MTYPE_MP4, 0},
      {6, true, false, QVA_MSUBTYPE_H264, 0, QVA_MTYPE_MP4, 0},
      {4, true, true, QVA_MSUBTYPE_MPV4, QVA_MSUBTYPE_WMA, QVA_MTYPE_ASF, QVA_MSUBTYPE_MPV4},
      {5, true, true, QVA_MSUBTYPE_VC1, QVA_MSUBTYPE_WMA, QVA_MTYPE_ASF, QVA_MSUBTYPE_VC1},
      {5, true, true, QVA_MSUBTYPE_MPV4, 0, QVA_MTYPE_VIDEO, QVA_MSUBTYPE_MPV4},
      {5, false, true, QVA_MSUBTYPE_MPV4, QVA_MSUBTYPE_MPA2, QVA_MTYPE_NONE, QVA_MSUBTYPE_MPV4},
  };
  for (const Row& r : rows) {
    StreamMediaType t =
        TargetStreamType(ChoiceOf<ContainerChoice>(r.container), r.video, r.audio, r.videoSubtype, r.audioSubtype);
    EXPECT_EQ(t.MType, r.major) << "container " << r.container << " video 0x" << std::hex
                                << r.videoSubtype;
    EXPECT_EQ(t.subtype, r.subtype)
        << "container " << r.container << " video 0x" << std::hex << r.videoSubtype;
    EXPECT_EQ(t.size, 0u);
  }
  EXPECT_EQ(VideoSubtypeForChoice(VideoCodecChoice::kWmv9Advanced), QVA_MSUBTYPE_MPV2);
  EXPECT_EQ(AudioSubtypeForChoice(ChoiceOf<AudioCodecChoice>(9)), QVA_MSUBTYPE_MPA2);
}

TEST(ExportRules, FrameBytesAndPixelFormats) {
  EXPECT_EQ(GetFrameBytesForSubtype(720, QVA_MSUBTYPE_YUV420, 480), 518400u);
  EXPECT_EQ(GetFrameBytesForSubtype(721, QVA_MSUBTYPE_YUV420, 3), 3244u);  // rounded down
  EXPECT_EQ(GetFrameBytesForSubtype(720, QVA_MSUBTYPE_YUV422I, 480), 691200u);
  EXPECT_EQ(GetFrameBytesForSubtype(720, QVA_MSUBTYPE_BGRA, 480), 1382400u);
  EXPECT_EQ(GetFrameBytesForSubtype(720, QVA_MSUBTYPE_YUV444I, 480), 1382400u);
  EXPECT_EQ(GetFrameBytesForSubtype(720, QVA_MSUBTYPE_VUYA_FLOAT, 480), 11059200u);
  EXPECT_EQ(GetFrameBytesForSubtype(720, QVA_MSUBTYPE_NV12, 480), 0u);
  EXPECT_EQ(SubtypeForPixelFormat(host_sdk::kPixelFormatYv12), QVA_MSUBTYPE_YUV420);
  EXPECT_EQ(SubtypeForPixelFormat(host_sdk::kPixelFormatYvi2), QVA_MSUBTYPE_YUV420);
  EXPECT_EQ(SubtypeForPixelFormat(host_sdk::kPixelFormatVuya), QVA_MSUBTYPE_YUV444I);
  EXPECT_EQ(SubtypeForPixelFormat(host_sdk::kPixelFormatYuy2), QVA_MSUBTYPE_YUV422I);
  EXPECT_EQ(SubtypeForPixelFormat(host_sdk::kPixelFormatBgra), QVA_MSUBTYPE_BGRA);
  EXPECT_EQ(SubtypeForPixelFormat(host_sdk::kPixelFormatVUya), 0u);
}

// The host's formats against the other pixel-format tables: the first format a render request
// asks for gives frames of the subtype the request was made for (so the first frame needs no new
// source format), every format the engine takes is in the list for its own subtype, and
// MULTIVENC's preprocessing turns each of them into the encoders' planar 4:2:0.
TEST(ExportRules, HostPixelFormatsRoundTrip) {
  for (uint32_t subtype : {QVA_MSUBTYPE_YUV420, QVA_MSUBTYPE_YUV422I, QVA_MSUBTYPE_YUV444I, QVA_MSUBTYPE_BGRA}) {
    SCOPED_TRACE(subtype);
    const std::span<const uint32_t> list = PixelFormatPreferences(subtype);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(SubtypeForPixelFormat(list.front()), subtype);
  }
  for (const HostPixelFormat& format : kHostPixelFormats) {
    SCOPED_TRACE(format.pixelFormat);
    const std::span<const uint32_t> list = PixelFormatPreferences(format.subtype);
    EXPECT_NE(std::find(list.begin(), list.end(), format.pixelFormat), list.end());
    const uint32_t code = PreProc_InputCode(format.subtype);
    EXPECT_TRUE(code == kPPCodeI420 || PreProc_CanConvert(code, kPPCodeI420)) << code;
  }
}

TEST(ExportRules, SamplesAreScaledTruncatedAndHeldAtFullScale) {
  const float left[] = {1.0f, -1.0f, 0.5f, 1.5f, -2.0f, 0.0f, -0.5f, 1.0e9f};
  const float right[] = {0.25f, -0.25f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0e9f};
  const float* channels[] = {left, right};
  int16_t stereo[16];
  InterleaveSamples(channels, 2, 8, stereo);
  const int16_t expected[] = {32767,  8191, -32767, -8191, 16383,  0, 32767, 0,
                              -32768, 0,    0,      0,     -16383, 0, 32767, -32768};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(stereo[i], expected[i]) << i;
  int16_t mono[3];
  InterleaveSamples(channels, 1, 3, mono);
  EXPECT_EQ(mono[0], 32767);
  EXPECT_EQ(mono[1], -32767);
  EXPECT_EQ(mono[2], 16383);
}

TEST(ExportRules, SideFilesAndMovesIntoPlace) {
  EXPECT_EQ(ReplaceFileExtension("/a/clip.m2v", "tmp"), "/a/clip.tmp");
  EXPECT_EQ(ReplaceFileExtension("/a/clip.m2v", SideFileExtension(AudioCodecChoice::kMpegLayer2)), "/a/clip.mpa");
  EXPECT_EQ(ReplaceFileExtension("/a.b/clip", "mpa"), "/a.b/clip.mpa");
  EXPECT_EQ(ReplaceFileExtension("clip.x.m2v", "tmp"), "clip.x.tmp");
  const char* names[] = {"pcm", "mpa", "mp3", "wma", "aac", "raw"};
  for (int codec = 0; codec < 6; ++codec) {
    EXPECT_STREQ(SideFileExtension(ChoiceOf<AudioCodecChoice>(codec)), names[codec]);
  }
  EXPECT_STREQ(SideFileExtension(ChoiceOf<AudioCodecChoice>(77)), "raw");

  std::string dir = orx::test::MakeTempDir("export_rules");
  std::ofstream(dir + "/from") << "new";
  std::ofstream(dir + "/to") << "old";
  EXPECT_EQ(MoveFileIntoPlace(dir + "/from", dir + "/to"), 0);
  std::stringstream text;
  text << std::ifstream(dir + "/to").rdbuf();
  EXPECT_EQ(text.str(), "new");
  EXPECT_NE(MoveFileIntoPlace(dir + "/missing", dir + "/to"), 0);
}

TEST(ExportRules, FrameSlotsNeverRiseAboveTheirMaximum) {
  FrameSlots slots;
  slots.Reset(3);
  EXPECT_FALSE(slots.Release());
  EXPECT_EQ(slots.available(), 3);
  EXPECT_EQ(slots.refusedReleases(), 1);
  slots.Acquire();
  EXPECT_TRUE(slots.TryAcquireFor(1));
  EXPECT_TRUE(slots.TryAcquireFor(1));
  EXPECT_FALSE(slots.TryAcquireFor(1));
  EXPECT_TRUE(slots.Release());
  EXPECT_EQ(slots.available(), 1);
}

}  // namespace
}  // namespace orx::plugin
