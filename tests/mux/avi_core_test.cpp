// The AVI writer's segment and index paths, run by the multiplexer core on small files with its
// limits lowered, and the faults it mends: a picture above 1 MB written whole, a full super index
// ending the file properly with a failure, and a start without memory failing with status 4.
#include <gtest/gtest.h>

#include <algorithm>

#include "media/media_codes.h"
#include "mux/avi/avi_file_state.h"
#include "tests/mux/avi_fixtures.h"
#include "tests/mux/mux_component_driver.h"
#include "tests/mux/mux_harness.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/orx_test.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

// Runs the core into an AVI file under the given limits; answers the file's bytes.
std::vector<uint8_t> RunAviCore(const std::vector<EsSample>* video, const std::vector<EsSample>* audio,
                                const AviLimits& limits = {}) {
  AviLimits::SetForTest(&limits);
  CoreRun run;
  run.muxType = kMuxAvi;
  run.videoFormat.frameRateNum = 25000;
  run.video = video;
  run.audio = audio;
  MemoryBitStream out;
  EXPECT_TRUE(RunCore(run, out));
  AviLimits::SetForTest(nullptr);
  EXPECT_EQ(out.segments.size(), 1u);
  return out.segments.front();
}

std::string SaveAvi(const std::vector<uint8_t>& bytes, const std::string& tag) {
  const std::string path = orx::test::MakeTempDir(tag) + "/out.avi";
  EXPECT_TRUE(WriteBytes(path, bytes));
  return path;
}

bool IsMediaChunk(const RiffItem& item) { return item.id == "00dc" || item.id == "01wb" || item.id == "00wb"; }

// The media chunks of each RIFF segment, in order.
std::vector<size_t> ChunksPerSegment(const std::vector<RiffItem>& items) {
  std::vector<size_t> counts;
  for (const RiffItem& item : items) {
    if (item.id.rfind("RIFF:", 0) == 0) counts.push_back(0);
    if (IsMediaChunk(item) && !counts.empty()) ++counts.back();
  }
  return counts;
}

const RiffItem* Find(const std::vector<RiffItem>& items, const std::string& id, size_t nth = 0) {
  for (const RiffItem& item : items)
    if (item.id == id && nth-- == 0) return &item;
  return nullptr;
}

TEST(AviCore, OddFramesEndWithA0xFFPad) {
  const EsFixture video = Mpeg2Video(352, 288, "25", 15);
  const std::vector<uint8_t> bytes = RunAviCore(&video.samples, nullptr);
  std::vector<RiffItem> items;
  ASSERT_TRUE(WalkRiff(bytes, items));
  size_t odd = 0;
  for (const RiffItem& item : items) {
    if (item.id != "00dc" || (item.size & 1) == 0) continue;
    ++odd;
    EXPECT_EQ(bytes[item.offset + 8 + item.size], 0xFF) << "frame at " << item.offset;
  }
  EXPECT_GT(odd, 0u) << "no odd-length frame in the fixture";
}

TEST(AviCore, TheEightThousandthChunkWritesAFullIndex) {
  const EsFixture mp2 = Mp2Audio(48000, 192, 1.0);
  std::vector<EsSample> frames(8001, mp2.samples.front());
  for (size_t i = 0; i < frames.size(); ++i) frames[i].timeMs = static_cast<int64_t>(i) * 24;
  const std::vector<uint8_t> bytes = RunAviCore(nullptr, &frames);
  std::vector<RiffItem> items;
  ASSERT_TRUE(WalkRiff(bytes, items));
  const RiffItem* eightThousandth = Find(items, "00wb", 7999);
  const RiffItem* first = Find(items, "ix00");
  const RiffItem* second = Find(items, "ix00", 1);
  ASSERT_TRUE(eightThousandth && first && second);
  EXPECT_EQ(first->offset, eightThousandth->offset + 8 + ((eightThousandth->size + 1) & ~1u))
      << "the index follows the 8000th chunk";
  EXPECT_EQ(LoadU32(bytes, first->offset + 12), 8000u);
  EXPECT_EQ(LoadU32(bytes, second->offset + 12), 1u);
  // Audio only: "00wb" chunks, avih's total frames and the stream length count the audio bytes.
  const uint32_t audioBytes = static_cast<uint32_t>(8001 * mp2.samples.front().bytes.size());
  EXPECT_EQ(LoadU32(bytes, Find(items, "avih")->offset + 8 + 16), audioBytes);
  EXPECT_EQ(LoadU32(bytes, Find(items, "strh")->offset + 8 + 32), audioBytes);
  EXPECT_EQ(LoadU32(bytes, Find(items, "dmlh")->offset + 8), audioBytes);
  EXPECT_EQ(orx::test::ProbeStream(SaveAvi(bytes, "avi-8000"), "a:0", true)["nb_read_frames"], "8001");
}

struct SegmentCase {
  const char* name;
  AviLimits limits;
  size_t minimumSegments;
  size_t maximumSegments;
  size_t firstSegmentChunks;  // 0: any
};

void PrintTo(const SegmentCase& c, std::ostream* os) { *os << c.name; }

class AviSegments : public ::testing::TestWithParam<SegmentCase> {};

// Past the segment limit, or once the first segment's legacy index is full, an "AVIX" segment
// begins; the legacy index covers the first segment only, the OpenDML indexes all of them.
TEST_P(AviSegments, EveryFrameIndexed) {
  const SegmentCase& c = GetParam();
  const EsFixture video = Mpeg2Video(352, 288, "25", 25);
  const EsFixture audio = Mp2Audio(48000, 192, 1.0);
  const std::vector<uint8_t> bytes = RunAviCore(&video.samples, &audio.samples, c.limits);
  std::vector<RiffItem> items;
  ASSERT_TRUE(WalkRiff(bytes, items));
  const std::vector<size_t> segments = ChunksPerSegment(items);
  EXPECT_GE(segments.size(), c.minimumSegments);
  EXPECT_LE(segments.size(), c.maximumSegments);
  EXPECT_EQ(CountRiff(items, "RIFF:AVI "), 1u);
  if (c.firstSegmentChunks) {
    EXPECT_EQ(segments.front(), c.firstSegmentChunks);
  }
  const RiffItem* idx1 = Find(items, "idx1");
  ASSERT_NE(idx1, nullptr);
  EXPECT_EQ(idx1->size / 16, segments.front()) << "the legacy index covers the first segment";
  for (const RiffItem& item : items) {
    if (item.id.rfind("LIST:movi", 0) == 0) {
      EXPECT_LE(item.size, c.limits.segmentBytes + 16) << item.offset;
    }
  }

  const std::string path = SaveAvi(bytes, "avi-segments");
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_EQ(orx::test::ProbeStream(path, "v:0", true)["nb_read_frames"], std::to_string(video.samples.size()));
  EXPECT_EQ(orx::test::ProbeStream(path, "a:0", true)["nb_read_frames"], std::to_string(audio.samples.size()));
  EXPECT_TRUE(CopyStream(path, "0:v:0", "mpeg2video") == video.bytes);
  EXPECT_TRUE(CopyStream(path, "0:a:0", "mp2") == Concatenate(audio.samples));
}

INSTANTIATE_TEST_SUITE_P(
    Table, AviSegments,
    ::testing::Values(SegmentCase{"SegmentsOf100KB", {.segmentBytes = 100000}, 3, 20, 0},
                      SegmentCase{"LegacyIndexOfTen", {.legacyEntries = 10}, 2, 2, 10},
                      SegmentCase{"SegmentsOf100KBIndexesOf7", {.segmentBytes = 100000, .stdIndexEntries = 7}, 3, 20,
                                  0}),
    [](const ::testing::TestParamInfo<SegmentCase>& info) { return std::string(info.param.name); });

// Segments of 1 MB and standard indexes of 50 entries over a 5 s file: ffprobe's frame counts over
// the whole file equal the input's, which it finds only through the OpenDML indexes.
TEST(AviCore, MegabyteSegmentsAndFiftyEntryIndexes) {
  ORX_RELEASE_ONLY();
  const EsFixture video =
      Mpeg2Video(720, 576, "25", 125, {"-b:v", "12M", "-maxrate", "12M", "-bufsize", "1835k"});
  const EsFixture audio = Mp3Audio(48000, 128, 5.0);
  const std::vector<uint8_t> bytes =
      RunAviCore(&video.samples, &audio.samples, {.segmentBytes = 1 << 20, .stdIndexEntries = 50});
  std::vector<RiffItem> items;
  ASSERT_TRUE(WalkRiff(bytes, items));
  EXPECT_GE(CountRiff(items, "RIFF:AVIX"), 3u);
  EXPECT_GE(CountRiff(items, "ix00"), 3u);
  EXPECT_GE(CountRiff(items, "ix01"), 4u);
  const std::string path = SaveAvi(bytes, "avi-1mb");
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_EQ(orx::test::ProbeStream(path, "v:0", true)["nb_read_frames"], std::to_string(video.samples.size()));
  EXPECT_EQ(orx::test::ProbeStream(path, "a:0", true)["nb_read_frames"], std::to_string(audio.samples.size()));
}

// A picture above the old 1 MB sample buffer is written whole.
TEST(AviFaults, PictureAboveOneMegabyteWrittenWhole) {
  EsFixture video;
  video.path = MakeEsFile("mpeg2-noise-1920x1088-2.m2v",
                          {"-f", "lavfi", "-i", "testsrc2=size=1920x1088:rate=25,noise=alls=100:allf=t", "-frames:v",
                           "2", "-c:v", "mpeg2video", "-g", "1", "-q:v", "1", "-qmin", "1", "-f", "mpeg2video"});
  video.bytes = ReadBytes(video.path);
  video.samples = SplitMpegVideo(video.bytes, 25.0);
  ASSERT_EQ(video.samples.size(), 2u);
  ASSERT_GT(video.samples.front().bytes.size(), 2u << 20);
  const std::string path = SaveAvi(RunAviCore(&video.samples, nullptr), "avi-large");
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_TRUE(CopyStream(path, "0:v:0", "mpeg2video") == video.bytes) << "the picture comes back cut";
}

ComponentRun Mpeg2Mp2Run(const EsFixture& video, const EsFixture& audio) {
  ComponentRun run;
  run.outputType = QVA_MTYPE_AVI;
  run.video.format = RecordBytes(MakeVideoType(QVA_MSUBTYPE_MPV2, 352, 288, 25000, 5000000));
  run.video.samples = &video.samples;
  run.audio.format = RecordBytes(MakeAudioType(QVA_MSUBTYPE_MPA2, 48000, 2, 192000));
  run.audio.samples = &audio.samples;
  return run;
}

// A stream whose super index is full ends the file there, whole and indexed, and the component
// reports the failure instead of writing on without an index.
TEST(AviFaults, FullSuperIndexEndsTheFileWithAFailure) {
  const EsFixture video = Mpeg2Video(352, 288, "25", 25);
  const EsFixture audio = Mp2Audio(48000, 192, 1.0);
  // Standard indexes of 5 entries, 3 of them per stream: 15 chunks per stream.
  orx::test::ScopedEnv limits("ORX_TEST_AVI_LIMITS", "1056964608,5,524288,3");
  MuxLibrary library;
  MuxSink sink;
  ComponentResult result;
  RunComponent(library, Mpeg2Mp2Run(video, audio), sink, result);
  ASSERT_EQ(result.setupStatus, 0);
  EXPECT_EQ(result.errorStatus, QVA_ERR_UNSUPPORTED);
  const std::vector<uint8_t> bytes = sink.Bytes();
  std::vector<RiffItem> items;
  ASSERT_TRUE(WalkRiff(bytes, items));
  const std::string path = SaveAvi(bytes, "avi-super");
  EXPECT_EQ(DecodeErrors(path), "");
  // One stream's super index filled; every chunk written is indexed.
  const size_t audioChunks = CountRiff(items, "01wb");
  const size_t videoChunks = CountRiff(items, "00dc");
  EXPECT_EQ(std::max(audioChunks, videoChunks), 15u);
  EXPECT_EQ(orx::test::ProbeStream(path, "a:0", true)["nb_read_frames"], std::to_string(audioChunks));
  EXPECT_EQ(orx::test::ProbeStream(path, "v:0", true)["nb_read_frames"], std::to_string(videoChunks));
  EXPECT_EQ(LoadU32(bytes, Find(items, "strh", 1)->offset + 8 + 32), audioChunks * audio.samples.front().bytes.size());
}

// The index arrays cannot be had: the start fails with status 4, not a file without an index.
TEST(AviFaults, NoMemoryForTheIndexFailsTheStart) {
  const EsFixture video = Mpeg2Video(352, 288, "25", 25);
  const EsFixture audio = Mp2Audio(48000, 192, 1.0);
  orx::test::ScopedEnv noBlocks("ORX_TEST_MUX_INDEX_BLOCKS", "0");
  MuxLibrary library;
  MuxSink sink;
  ComponentResult result;
  RunComponent(library, Mpeg2Mp2Run(video, audio), sink, result);
  ASSERT_EQ(result.setupStatus, 0);
  EXPECT_EQ(result.errorStatus, QVA_ERR_NOMEMORY);
  EXPECT_TRUE(sink.Bytes().empty()) << "nothing is written";
}

}  // namespace
}  // namespace orx::mux::test
