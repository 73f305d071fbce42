// The elementary-stream header parsers against ffprobe's reading of ffmpeg-made streams, the
// edge cases of the published tables, and every fixture cut at every length.
#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <string>

#include "mux/parse/bit_reader.h"
#include "mux/parse/es_parsers.h"
#include "mux/parse/es_tables.h"
#include "tests/mux/es_fixtures.h"
#include "tests/support/ffmpeg.h"

namespace orx::mux::test {
namespace {

std::string Ratio(int64_t a, int64_t b) {
  const int64_t g = std::gcd(a, b);
  return g ? std::to_string(a / g) + ":" + std::to_string(b / g) : "0:0";
}

std::string Rate(int64_t num, int64_t den) {
  const int64_t g = std::gcd(num, den);
  return g ? std::to_string(num / g) + "/" + std::to_string(den / g) : "0/0";
}

// MSB-first bit writer for synthetic headers.
class BitWriter {
 public:
  void Put(uint32_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) {
      if (bits_ % 8 == 0) bytes.push_back(0);
      if ((value >> i) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
      ++bits_;
    }
  }
  void Align() {
    while (bits_ % 8) Put(0, 1);
  }
  void Bytes(std::initializer_list<uint8_t> list) {
    for (uint8_t b : list) Put(b, 8);
  }
  std::vector<uint8_t> bytes;

 private:
  size_t bits_ = 0;
};

struct VideoCase {
  const char* name;
  std::vector<std::string> args;
  const char* extension;
  int codec;        // codec code handed to the parser
  int32_t kind;     // kind it must report
};

void PrintTo(const VideoCase& c, std::ostream* os) { *os << c.name; }

class VideoParserVsFfprobe : public ::testing::TestWithParam<VideoCase> {};

TEST_P(VideoParserVsFfprobe, FieldsEqualFfprobe) {
  const VideoCase& c = GetParam();
  std::vector<std::string> args = {"-f", "lavfi", "-i", "testsrc2=size=352x288:rate=25", "-frames:v", "8"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const std::string path = MakeEsFile(std::string("parse-") + c.name + c.extension, args);
  const std::vector<EsSample> samples = SplitVideoByProbe(path, 25.0);
  ASSERT_FALSE(samples.empty());
  auto probe = orx::test::ProbeStream(path, "v:0");

  MuxVideoFormat format;
  format.width = 352;
  format.height = 288;
  format.frameRateNum = 25000;
  format.frameRateDen = 1000;
  int codec = c.codec;
  for (size_t i = 0; i < samples.size(); ++i) {
    VideoEsInfo info;
    const std::vector<uint8_t>& bytes = samples[i].bytes;
    // As the multiplexer does, later samples are read as the kind the first one showed.
    ASSERT_TRUE(ParseVideoHeader(bytes.data(), bytes.size(), info, codec, &format)) << i;
    codec = info.kind;
    const char types[] = "?IPBS";
    EXPECT_EQ(types[std::clamp(info.pictureType, 0, 4)], samples[i].pictureType) << "sample " << i;
    if (i != 0) continue;
    EXPECT_EQ(info.kind, c.kind);
    ASSERT_EQ(info.seqHeaderFound, 1u);
    EXPECT_EQ(std::to_string(info.width), probe["width"]);
    EXPECT_EQ(std::to_string(info.height), probe["height"]);
    EXPECT_EQ(Rate(info.frameRateNum, info.frameRateDen), probe["r_frame_rate"]);
    if (c.kind != kVideoH264) {
      EXPECT_EQ(Ratio(info.aspectX, info.aspectY), probe["display_aspect_ratio"]);
    }
    if (c.kind == kVideoMpeg2) {
      EXPECT_EQ(std::to_string(info.profileLevel & 0x0F), probe["level"]);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ffmpeg, VideoParserVsFfprobe,
    ::testing::Values(
        VideoCase{"Mpeg1", {"-c:v", "mpeg1video", "-bf", "2", "-f", "mpeg1video"}, ".m1v", -1, kVideoMpeg1},
        VideoCase{"Mpeg2", {"-c:v", "mpeg2video", "-bf", "2", "-aspect", "16:9", "-f", "mpeg2video"}, ".m2v", -1,
                  kVideoMpeg2},
        VideoCase{"Mpeg4", {"-c:v", "mpeg4", "-bf", "1", "-f", "m4v"}, ".m4v", -1, kVideoMpeg4},
        VideoCase{"H264", {"-c:v", "libx264", "-bf", "2", "-b-pyramid", "none", "-f", "h264"}, ".h264", kVideoH264,
                  kVideoH264}),
    [](const ::testing::TestParamInfo<VideoCase>& info) { return std::string(info.param.name); });

struct AudioCase {
  const char* name;
  std::vector<std::string> args;
  const char* extension;
  double frameSeconds;
  bool (*parse)(const uint8_t*, size_t, AudioHeaderInfo&);
  uint32_t kind;
};

void PrintTo(const AudioCase& c, std::ostream* os) { *os << c.name; }

class AudioParserVsFfprobe : public ::testing::TestWithParam<AudioCase> {};

TEST_P(AudioParserVsFfprobe, BitRateEqualsFfprobe) {
  const AudioCase& c = GetParam();
  std::vector<std::string> args = {"-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=48000", "-ac", "2", "-t",
                                   "0.5"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const std::string path = MakeEsFile(std::string("parse-") + c.name + c.extension, args);
  const std::vector<EsSample> frames = SplitAudioByProbe(path, c.frameSeconds);
  ASSERT_GT(frames.size(), 2u);
  auto probe = orx::test::ProbeStream(path, "a:0");
  for (size_t i = 0; i < frames.size(); ++i) {
    AudioHeaderInfo info;
    ASSERT_TRUE(c.parse(frames[i].bytes.data(), frames[i].bytes.size(), info)) << i;
    EXPECT_EQ(info.audioKind, c.kind);
    EXPECT_EQ(info.syncOffset, 0u);
    if (c.kind == kAudioAac) {
      // ADTS carries no bit rate: six bits per sample is the working estimate.
      EXPECT_EQ(std::to_string(info.bitRate / 6), probe["sample_rate"]);
    } else {
      EXPECT_EQ(std::to_string(info.bitRate), probe["bit_rate"]);
    }
    if (c.kind == kAudioAc3) {
      EXPECT_EQ(info.frameCount, 1u);
    }
  }
  // Two AC-3 frames in one piece count as two.
  if (c.kind == kAudioAc3) {
    std::vector<uint8_t> two = frames[0].bytes;
    two.insert(two.end(), frames[1].bytes.begin(), frames[1].bytes.end());
    AudioHeaderInfo info;
    ASSERT_TRUE(ParseAc3Header(two.data(), two.size(), info));
    EXPECT_EQ(info.frameCount, 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ffmpeg, AudioParserVsFfprobe,
    ::testing::Values(
        AudioCase{"Mp2", {"-c:a", "mp2", "-b:a", "192k", "-f", "mp2"}, ".mp2", 1152.0 / 48000, ParseMpegAudioHeader,
                  kAudioMpegLayer12},
        AudioCase{"Mp3", {"-c:a", "libmp3lame", "-b:a", "128k", "-f", "mp3", "-write_xing", "0", "-id3v2_version", "0"},
                  ".mp3", 1152.0 / 48000, ParseMpegAudioHeader, kAudioMpegLayer3},
        AudioCase{"Ac3", {"-c:a", "ac3", "-b:a", "192k", "-f", "ac3"}, ".ac3", 1536.0 / 48000, ParseAc3Header,
                  kAudioAc3},
        AudioCase{"Adts", {"-c:a", "aac", "-b:a", "128k", "-f", "adts"}, ".aac", 1024.0 / 48000, ParseAdtsHeader,
                  kAudioAac}),
    [](const ::testing::TestParamInfo<AudioCase>& info) { return std::string(info.param.name); });

constexpr int kAudioSource = 100;

// What every parser of a source's kind answers for `length` bytes at `data`: how many parsed,
// and each one's result and filled-in record, byte for byte.
struct ParserAnswers {
  int parsed = 0;
  std::string filled;
  bool operator==(const ParserAnswers&) const = default;
};

ParserAnswers AnswersFor(const uint8_t* data, size_t length, int codec) {
  ParserAnswers answers;
  auto note = [&answers](bool parsed, const auto& record) {
    answers.parsed += parsed ? 1 : 0;
    answers.filled += parsed ? 'y' : 'n';
    answers.filled.append(reinterpret_cast<const char*>(&record), sizeof record);
  };
  const MuxVideoFormat format;
  if (codec == kAudioSource) {
    AudioHeaderInfo mpeg, ac3, adts;
    note(ParseMpegAudioHeader(data, length, mpeg), mpeg);
    note(ParseAc3Header(data, length, ac3), ac3);
    note(ParseAdtsHeader(data, length, adts), adts);
  } else {
    VideoEsInfo own, mpeg2, vc1, vc1Sequence;
    note(ParseVideoHeader(data, length, own, codec, &format), own);
    note(ParseVideoHeader(data, length, mpeg2, kVideoMpeg2, &format), mpeg2);
    note(ParseVideoHeader(data, length, vc1, kVideoVc1, &format), vc1);
    note(ParseVc1SequenceHeader(data, length, vc1Sequence), vc1Sequence);
  }
  return answers;
}

// Every fixture's first sample cut at every length up to its headers and beyond: the parsers
// answer without reading a byte past the cut. AddressSanitizer watches the exact-size copies;
// every build compares their answers with those for the same bytes followed by the rest of
// the stream, which a parser that read past the cut would see.
TEST(EsParsers, TruncatedSamplesParseCleanly) {
  struct Source {
    std::string path;
    int codec;
  };
  const std::vector<Source> sources = {
      {MakeEsFile("cut.m2v", {"-f", "lavfi", "-i", "testsrc2=size=352x288:rate=25", "-frames:v", "2", "-c:v",
                              "mpeg2video", "-f", "mpeg2video"}), -1},
      {MakeEsFile("cut.m4v", {"-f", "lavfi", "-i", "testsrc2=size=352x288:rate=25", "-frames:v", "2", "-c:v",
                              "mpeg4", "-f", "m4v"}), -1},
      {MakeEsFile("cut.h264", {"-f", "lavfi", "-i", "testsrc2=size=352x288:rate=25", "-frames:v", "2", "-c:v",
                               "libx264", "-f", "h264"}), kVideoH264},
      {MakeEsFile("cut.mp2", {"-f", "lavfi", "-i", "sine", "-t", "0.1", "-c:a", "mp2", "-f", "mp2"}), kAudioSource},
      {MakeEsFile("cut.ac3", {"-f", "lavfi", "-i", "sine", "-t", "0.1", "-c:a", "ac3", "-f", "ac3"}), kAudioSource},
      {MakeEsFile("cut.aac", {"-f", "lavfi", "-i", "sine", "-t", "0.1", "-c:a", "aac", "-f", "adts"}), kAudioSource},
  };
  for (const Source& source : sources) {
    SCOPED_TRACE(source.path);
    const std::vector<uint8_t> all = ReadBytes(source.path);
    ASSERT_FALSE(all.empty());
    EXPECT_GT(AnswersFor(all.data(), all.size(), source.codec).parsed, 0) << "no parser knows the whole sample";
    EXPECT_EQ(AnswersFor(nullptr, 0, source.codec).parsed, 0);
    const size_t limit = std::min<size_t>(all.size(), 1200);
    for (size_t length = 1; length <= limit; ++length) {
      const std::vector<uint8_t> cut(all.begin(), all.begin() + static_cast<long>(length));
      if (!(AnswersFor(cut.data(), length, source.codec) == AnswersFor(all.data(), length, source.codec))) {
        ADD_FAILURE() << "cut at " << length << ": an answer depends on the bytes after the cut";
        break;
      }
    }
  }
}

TEST(EsParsers, Mpeg1AspectAndFrameRateCodes) {
  struct Case {
    uint32_t aspectCode, rateCode;
    int32_t aspectY;
    const char* rate;
  };
  for (const Case& c : {Case{12, 0, 526, "30000/1001"}, Case{1, 3, 480, "25/1"}, Case{15, 9, 0, "30000/1001"},
                        Case{8, 1, 440, "24000/1001"}}) {
    BitWriter w;
    w.Bytes({0, 0, 1, 0xB3});
    w.Put(352, 12);
    w.Put(480, 12);
    w.Put(c.aspectCode, 4);
    w.Put(c.rateCode, 4);
    w.Put(2875, 18);  // 1150000 / 400
    w.Put(1, 1);
    w.Put(20, 10);
    w.Put(0, 3);  // constrained, no matrices
    w.Bytes({0, 0, 1, 0x00});
    w.Put(3, 10);
    w.Put(1, 3);
    w.Put(0xFFFF, 16);
    w.Put(0, 3);
    VideoEsInfo info;
    ASSERT_TRUE(ParseVideoHeader(w.bytes.data(), w.bytes.size(), info, -1, nullptr));
    EXPECT_EQ(info.kind, kVideoMpeg1);
    EXPECT_EQ(info.aspectX, 352);
    EXPECT_EQ(info.aspectY, c.aspectY) << c.aspectCode;
    EXPECT_EQ(Rate(info.frameRateNum, info.frameRateDen), c.rate) << c.rateCode;
    EXPECT_EQ(info.bitRate, 1150000);
    EXPECT_EQ(info.vbvSize, 20 * 2048);
    EXPECT_EQ(info.temporalRef, 3);
    EXPECT_EQ(info.pictureType, kPictureI);
    EXPECT_EQ(info.headerLength, 12);
    EXPECT_EQ(info.pictureOffset, 16);
  }
}

// A video object layer with fixed_vop_rate, written as ISO/IEC 14496-2 lays it out.
std::vector<uint8_t> VideoObjectLayer(uint32_t resolution, uint32_t increment, bool layerIdentifier) {
  BitWriter w;
  w.Bytes({0, 0, 1, 0xB0, 0x01, 0, 0, 1, 0xB5});
  w.Put(0, 1);   // no visual object identifier
  w.Put(1, 4);   // video
  w.Put(0, 1);   // no video signal type
  w.Put(1, 2);   // stuffing to the byte
  w.Bytes({0, 0, 1, 0x00, 0, 0, 1, 0x20});
  w.Put(0, 1);   // random accessible
  w.Put(1, 8);   // simple object
  w.Put(layerIdentifier, 1);
  if (layerIdentifier) {
    w.Put(2, 4);
    w.Put(1, 3);
  }
  w.Put(3, 4);   // aspect 10:11
  w.Put(0, 1);   // no control parameters
  w.Put(0, 2);   // rectangular
  w.Put(1, 1);
  w.Put(resolution, 16);
  w.Put(1, 1);
  w.Put(1, 1);   // fixed_vop_rate
  unsigned bits = 1;
  while ((1u << bits) < resolution) ++bits;
  w.Put(increment, bits);
  w.Put(1, 1);
  w.Put(720, 13);
  w.Put(1, 1);
  w.Put(480, 13);
  w.Put(1, 1);
  w.Align();
  w.Put(0, 8);
  w.Bytes({0, 0, 1, 0xB6});
  w.Put(0, 2);  // I VOP
  w.Put(0, 30);
  return w.bytes;
}

TEST(EsParsers, VideoObjectLayerIncrements) {
  struct Case {
    uint32_t resolution, increment;
    bool layerIdentifier;
    const char* rate;
  };
  for (const Case& c : {Case{30000, 1001, false, "30000/1001"}, Case{16, 1, false, "16/1"},
                        Case{25, 1, true, "25/1"}}) {
    const std::vector<uint8_t> bytes = VideoObjectLayer(c.resolution, c.increment, c.layerIdentifier);
    VideoEsInfo info;
    ASSERT_TRUE(ParseVideoHeader(bytes.data(), bytes.size(), info, -1, nullptr)) << c.resolution;
    EXPECT_EQ(info.kind, kVideoMpeg4);
    EXPECT_EQ(info.profileLevel, 1u);
    EXPECT_EQ(info.bitRate, 384000);
    EXPECT_EQ(Rate(info.frameRateNum, info.frameRateDen), c.rate);
    EXPECT_EQ(info.width, 720);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(Ratio(info.aspectX, info.aspectY), Ratio(10 * 45, 30 * 11)) << c.layerIdentifier;
    EXPECT_EQ(info.pictureType, kPictureI);
  }
}

TEST(EsParsers, AudioHeaderEdges) {
  const uint8_t adts[7] = {0xFF, 0xF1, 0x4C, 0x80, 0x2E, 0x7F, 0xFC};  // 48 kHz, LC
  AudioHeaderInfo info;
  ASSERT_TRUE(ParseAdtsHeader(adts, sizeof(adts), info));
  EXPECT_EQ(info.bitRate, 288000u);
  const uint8_t mp2[4] = {0x12, 0xFF, 0xFD, 0xA4};  // junk byte, then MPEG-1 Layer II 192 kbit/s
  ASSERT_TRUE(ParseMpegAudioHeader(mp2, sizeof(mp2), info));
  EXPECT_EQ(info.syncOffset, 1u);
  EXPECT_EQ(info.bitRate, 192000u);
  const uint8_t freeFormat[3] = {0xFF, 0xFD, 0x04};
  EXPECT_FALSE(ParseMpegAudioHeader(freeFormat, sizeof(freeFormat), info));

  struct AacCase {
    uint32_t channels, rate;
    uint16_t config;
  };
  // The index is the AAC coder's: the nearest table rate, the higher one on a tie.
  for (const AacCase& c : {AacCase{2, 48000, 0x1190}, AacCase{2, 44100, 0x1210}, AacCase{1, 7000, 0x1588},
                           AacCase{2, 46000, 0x1210}, AacCase{2, 100000, 0x1010}})
    EXPECT_EQ(BuildAacSpecificConfig(c.channels, c.rate), c.config) << c.rate;
}

TEST(EsParsers, FractionsAndFrameRatePairs) {
  int32_t x = 1440, y = 1080;
  ReduceFraction(x, y);
  EXPECT_EQ(x, 4);
  EXPECT_EQ(y, 3);
  x = 0;
  y = 10;
  ReduceFraction(x, y);
  EXPECT_EQ(y, 10);
  struct Case {
    uint64_t duration;
    uint32_t num, den;
  };
  for (const Case& c : {Case{333667, 30000, 1001}, Case{400000, 25000, 1000}, Case{666666, 15000, 1000},
                        Case{417083, 24000, 1001}, Case{166833, 60000, 1001}}) {
    uint32_t num = 0, den = 0;
    ASSERT_TRUE(ChooseFrameRatePair(c.duration, num, den));
    EXPECT_EQ(num, c.num) << c.duration;
    EXPECT_EQ(den, c.den) << c.duration;
  }
}

TEST(EsParsers, BitReaderStopsAtTheEnd) {
  const uint8_t data[3] = {0xA5, 0x0F, 0xF0};
  BitReader bits(data, sizeof(data), 4);
  uint32_t value = 0;
  ASSERT_TRUE(bits.Read(12, value));
  EXPECT_EQ(value, 0x50Fu);
  EXPECT_FALSE(bits.Read(9, value));
  EXPECT_FALSE(bits.Ok());
  BitReader wide(data, sizeof(data), 3);
  ASSERT_TRUE(wide.Read(21, value));
  EXPECT_EQ(value, 0x050FF0u & 0x1FFFFF);
}

}  // namespace
}  // namespace orx::mux::test
