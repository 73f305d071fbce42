// The MP4 writer's mended faults, each on the smallest input that showed it: presentation times
// of pictures with two B pictures between anchors, the codec header ahead of a video-only file,
// an access unit larger than 1 MB, an index past one block, a failed index allocation, the
// language and handler names; and the 64-bit file, written without disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "mux/core/mux_interfaces.h"
#include "tests/mux/mp4_file_checks.h"
#include "tests/mux/mp4_fixtures.h"
#include "tests/support/orx_test.h"
#include "tests/support/process.h"
#include "tests/support/test_paths.h"

namespace orx::mux::test {
namespace {

using orx::test::RunProcess;

std::string WriteTemp(const std::vector<uint8_t>& bytes, const char* name) {
  const std::string path = orx::test::MakeTempDir("mp4-faults") + "/" + name;
  EXPECT_TRUE(WriteBytes(path, bytes));
  return path;
}

uint32_t EditMediaTime(const Mp4BoxTree& tree, const std::vector<uint8_t>& bytes, int track) {
  const Mp4Box* elst = tree.Find("moov/trak[" + std::to_string(track) + "]/edts/elst");
  return elst == nullptr ? 0xFFFFFFFFu : ReadU32(bytes, elst->payload + 12);
}

// Two B pictures between anchors (decode order I0 P3 B1 B2 P6 ...): each picture keeps its own
// time, the offsets are non-negative, and the edit list starts the presentation at the first.
TEST(Mp4Faults, TwoBPicturesKeepTheirPresentationTimes) {
  const H264Stream video = MakeH264Stream({});
  std::vector<EsSample> samples;
  const std::vector<uint8_t> bytes = RunMp4Core(MakeMp4CoreRun(kMuxQuickTime, &video, nullptr, samples));
  const std::string path = WriteTemp(bytes, "two-b.mov");
  CheckMp4File(path, {.majorBrand = "qt  ", .video = &video});
  const Mp4BoxTree tree = ReadMp4Boxes(bytes);
  // One frame (1000 units at 29970 per second) of shift.
  EXPECT_EQ(EditMediaTime(tree, bytes, 0), 1000u);
  const Mp4Box* ctts = tree.Find("moov/trak[0]/mdia/minf/stbl/ctts");
  ASSERT_NE(ctts, nullptr);
  EXPECT_EQ(bytes[ctts->payload], 0) << "version 0: unsigned offsets";
}

// The codec header ahead of the pictures of a video-only file is no sample of the file.
TEST(Mp4Faults, VideoOnlyHeaderSampleIsNotASample) {
  const H264Stream video = MakeH264Stream({.bFrames = 0});
  std::vector<EsSample> samples;
  const std::vector<uint8_t> bytes = RunMp4Core(MakeMp4CoreRun(kMuxQuickTime, &video, nullptr, samples));
  CheckMp4File(WriteTemp(bytes, "video-only.mov"), {.majorBrand = "qt  ", .video = &video});
}

// A 3 MB picture (a lossless picture of noise) is written whole and decodes.
TEST(Mp4Faults, ThreeMegabyteAccessUnitWrittenWhole) {
  const std::string es = MakeEsFile("h264-noise-1080p.h264",
                                    {"-f", "lavfi", "-i", "nullsrc=s=1920x1080:r=25,geq=lum='random(1)*255':cb='random(2)*255':cr='random(3)*255'",
                                     "-frames:v", "1", "-c:v", "libx264", "-qp", "0", "-preset", "ultrafast",
                                     "-pix_fmt", "yuv420p", "-f", "h264"});
  H264Stream video;
  video.path = es;
  video.width = 1920;
  video.height = 1080;
  video.frameRate = 25;
  video.framesPer1000s = 25000;
  for (const EsSample& unit : SplitVideoByProbe(es, 25.0)) {
    bool first = true;
    for (const std::vector<uint8_t>& nal : AnnexBNalUnits(unit.bytes)) {
      EsSample buffer;
      buffer.bytes = {0, 0, 0, 1};
      buffer.bytes.insert(buffer.bytes.end(), nal.begin(), nal.end());
      buffer.timeMs = unit.timeMs;
      buffer.timed = buffer.key = first;
      first = false;
      if ((nal[0] & 0x1F) == 7 && video.sps.empty()) video.sps = nal;
      if ((nal[0] & 0x1F) == 8 && video.pps.empty()) video.pps = nal;
      if ((nal[0] & 0x1F) == 1 || (nal[0] & 0x1F) == 5) video.slices.push_back(nal);
      video.buffers.push_back(std::move(buffer));
    }
    video.pictureTimesMs.push_back(unit.timeMs);
    video.idr.push_back(true);
  }
  video.annexBHeader = {0, 0, 1};
  video.annexBHeader.insert(video.annexBHeader.end(), video.sps.begin(), video.sps.end());
  video.annexBHeader.insert(video.annexBHeader.end(), {0, 0, 1});
  video.annexBHeader.insert(video.annexBHeader.end(), video.pps.begin(), video.pps.end());
  video.avcC = video.annexBHeader;
  ASSERT_GT(video.slices.at(0).size(), 3u << 20) << "the fixture's first picture is not above 3 MB";
  std::vector<EsSample> samples;
  const std::vector<uint8_t> bytes = RunMp4Core(MakeMp4CoreRun(kMuxQuickTime, &video, nullptr, samples));
  CheckMp4File(WriteTemp(bytes, "large-unit.mov"), {.majorBrand = "qt  ", .video = &video});
}

// An audio track of 65540 samples needs a second index block; every sample is in the file.
TEST(Mp4Faults, IndexPastOneBlock) {
  AacStream audio;
  constexpr size_t kSamples = 65540;
  for (size_t i = 0; i < kSamples; ++i) {
    EsSample frame;
    frame.bytes.assign(6 + i % 3, static_cast<uint8_t>(i));
    frame.timeMs = static_cast<int64_t>(i * 1024 * 1000 / 48000);
    audio.frames.push_back(std::move(frame));
  }
  std::vector<EsSample> none;
  const std::vector<uint8_t> bytes = RunMp4Core(MakeMp4CoreRun(kMuxQuickTime, nullptr, &audio, none));
  const std::string path = WriteTemp(bytes, "many-samples.mov");
  auto probe = RunProcess({"ffprobe", "-v", "error", "-count_packets", "-select_streams", "a:0", "-show_entries",
                           "stream=nb_read_packets", "-of", "csv=p=0", path});
  EXPECT_EQ(probe.out, std::to_string(kSamples) + "\n") << probe.err;
  const Mp4BoxTree tree = ReadMp4Boxes(bytes);
  const Mp4Box* stsz = tree.Find("moov/trak[0]/mdia/minf/stbl/stsz");
  ASSERT_NE(stsz, nullptr);
  EXPECT_EQ(ReadU32(bytes, stsz->payload + 8), kSamples);
  EXPECT_EQ(ReadU32(bytes, stsz->payload + 12 + 4 * (kSamples - 1)), 6 + (kSamples - 1) % 3);
}

// An index block that cannot be had stops the component with status 4 instead of a file that
// says less than it holds.
TEST(Mp4Faults, IndexAllocationFailureStopsTheComponent) {
  const AacStream audio = MakeAacStream(48000, 2, 128, 0.5);
  orx::test::ScopedEnv noBlocks("ORX_TEST_MUX_INDEX_BLOCKS", "0");
  MuxLibrary library;
  MuxSink sink;
  ComponentResult result;
  RunComponent(library, MakeMp4ComponentRun(nullptr, false, &audio), sink, result);
  ASSERT_EQ(result.setupStatus, 0);
  EXPECT_EQ(result.errorStatus, 4);
  EXPECT_TRUE(result.ended) << "no end of stream reached the sink";
}

// mdhd says "und"; the handler names are length-prefixed in QuickTime and zero-terminated in the
// ISO forms.
TEST(Mp4Faults, LanguageAndHandlerNamesPerType) {
  const AacStream audio = MakeAacStream(48000, 2, 128, 0.5);
  const H264Stream video = MakeH264Stream({});
  struct Row {
    uint32_t muxType;
    bool quickTime;
  };
  for (const Row row : {Row{kMuxMp4, false}, Row{kMuxMp4Portable, false}, Row{kMuxQuickTime, true}}) {
    SCOPED_TRACE("type " + std::to_string(row.muxType));
    std::vector<EsSample> samples;
    const std::vector<uint8_t> bytes = RunMp4Core(MakeMp4CoreRun(row.muxType, &video, &audio, samples));
    const Mp4BoxTree tree = ReadMp4Boxes(bytes);
    for (int track = 0; track < 2; ++track) {
      const std::string mdia = "moov/trak[" + std::to_string(track) + "]/mdia";
      const Mp4Box* mdhd = tree.Find(mdia + "/mdhd");
      const Mp4Box* hdlr = tree.Find(mdia + "/hdlr");
      ASSERT_NE(mdhd, nullptr);
      ASSERT_NE(hdlr, nullptr);
      EXPECT_EQ(ReadU32(bytes, mdhd->payload + 20) >> 16, 0x55C4u);
      const std::string name = track == 0 ? "Video Media Handler"
                                          : row.quickTime ? "Apple Sound Media Handler" : "Sound Media Handler";
      const size_t field = hdlr->payload + 24;
      std::string written;
      if (row.quickTime) {
        EXPECT_EQ(bytes[field], name.size());
        written.assign(reinterpret_cast<const char*>(bytes.data() + field + 1), name.size());
      } else {
        written.assign(reinterpret_cast<const char*>(bytes.data() + field), name.size());
        EXPECT_EQ(bytes[field + name.size()], 0);
      }
      EXPECT_EQ(written, name);
    }
  }
}

// A bit stream that keeps only the first and last megabytes of what it is given, and every
// seek-then-write: enough to read a file's header and movie box without its media.
class SparseBitStream final : public IMuxBitStream {
 public:
  static constexpr size_t kKept = 1u << 20;
  uint8_t* GetBuffer(uint32_t size) override {
    buffer_.resize(std::max<size_t>(size, kMinBitStreamBuffer));
    return buffer_.data();
  }
  uint8_t* Write(MuxWriteDesc* desc, uint32_t count) override {
    if (desc->kind == kWriteSeekThenWrite) {
      patches.push_back({desc->position, std::vector<uint8_t>(desc->data, desc->data + count)});
      return buffer_.data();
    }
    if (head.size() < kKept) head.insert(head.end(), desc->data, desc->data + std::min<size_t>(count, kKept - head.size()));
    tail.insert(tail.end(), desc->data, desc->data + count);
    if (tail.size() > 2 * kKept) tail.erase(tail.begin(), tail.end() - kKept);
    size += count;
    return buffer_.data();
  }
  void Reset() override {}

  struct Patch {
    uint64_t position;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> head, tail;
  std::vector<Patch> patches;
  uint64_t size = 0;

 private:
  std::vector<uint8_t> buffer_;
};

// Past 4.3 GB of media: the 64-bit mdat header, the shorter ftyp, co64, and the media at the
// same offset as in a small file.
TEST(Mp4Faults, LargeFileUses64BitForms) {
  ORX_RELEASE_ONLY();
  constexpr size_t kUnit = 4u << 20;
  constexpr int kPictures = 1100;  // 4.6 GB
  std::vector<uint8_t> picture(kUnit, 0x5A);
  const uint8_t kIdrStart[] = {0, 0, 0, 1, 0x65, 0x88};
  std::memcpy(picture.data(), kIdrStart, sizeof(kIdrStart));
  MuxVideoFormat format;
  format.width = 1920;
  format.height = 1080;
  format.frameRateNum = 25000;
  format.frameRateDen = 1000;
  format.privateSize = 5;
  const uint8_t kHeader[5] = {0, 0, 1, 0x67, 0x64};
  std::memcpy(format.privateData, kHeader, sizeof(kHeader));
  SparseBitStream out;
  MuxConfig config;
  config.videoPresent = 1;
  config.muxType = kMuxQuickTime;
  config.bitStream = &out;
  config.videoCodecHint = kHintH264;
  config.videoFormat = &format;
  IMultiplexer* mux = NewMultiplexer();
  ASSERT_TRUE(mux->Open(&config));
  for (int n = 0; n < kPictures;) {
    MuxSampleDesc sample;
    sample.data = picture.data();
    sample.length = static_cast<uint32_t>(picture.size());
    sample.flags = kSampleTimeValid | kSamplePictureStart;
    sample.time = n / 25.0;
    if (mux->Write(kStreamVideo, &sample) == sample.length) ++n;
  }
  MuxSampleDesc end;
  end.flags = kSampleEndOfStream;
  mux->Write(kStreamVideo, &end);
  EXPECT_EQ(mux->Failure(), 0u);
  mux->Close();
  mux->Release();

  ASSERT_EQ(out.patches.size(), 1u) << "the file header is rewritten once";
  const std::vector<uint8_t>& header = out.patches[0].bytes;
  EXPECT_EQ(out.patches[0].position, 0u);
  // ftyp "qt  " with only its own brand (20 bytes), then size 1, "mdat" and the 64-bit size.
  ASSERT_EQ(header.size(), 36u) << "the media starts where a small file's does";
  EXPECT_EQ(ReadU32(header, 0), 20u);
  EXPECT_EQ(std::string(header.begin() + 16, header.begin() + 20), "qt  ");
  EXPECT_EQ(ReadU32(header, 20), 1u);
  EXPECT_EQ(std::string(header.begin() + 24, header.begin() + 28), "mdat");
  // Each picture's 4-byte NAL length takes the place of its start code.
  const uint64_t mediaSize = static_cast<uint64_t>(kPictures) * kUnit;
  const uint64_t mdatSize = static_cast<uint64_t>(ReadU32(header, 28)) << 32 | ReadU32(header, 32);
  EXPECT_EQ(mdatSize, mediaSize + 16);
  // The movie box is the end of the file: co64 with the first picture at offset 36.
  const std::vector<uint8_t>& tail = out.tail;
  const auto co64 = std::search(tail.begin(), tail.end(), std::begin("co64"), std::end("co64") - 1);
  ASSERT_NE(co64, tail.end()) << "no co64 in the movie box";
  const size_t at = static_cast<size_t>(co64 - tail.begin()) + 8;
  EXPECT_EQ(ReadU32(tail, at), static_cast<uint32_t>(kPictures)) << "one chunk per I picture";
  EXPECT_EQ((static_cast<uint64_t>(ReadU32(tail, at + 4)) << 32 | ReadU32(tail, at + 8)), 36u);
  const uint64_t last = static_cast<uint64_t>(ReadU32(tail, at + 4 + 8 * (kPictures - 1))) << 32 |
                        ReadU32(tail, at + 8 + 8 * (kPictures - 1));
  EXPECT_EQ(last, 36 + (kPictures - 1) * static_cast<uint64_t>(kUnit));
  EXPECT_EQ(std::search(tail.begin(), tail.end(), std::begin("stco"), std::end("stco") - 1), tail.end());
}

}  // namespace
}  // namespace orx::mux::test
