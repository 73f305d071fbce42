// The MP4 and QuickTime box writers, each against bytes worked out by hand for one case.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "mux/core/mux_interfaces.h"
#include "mux/mp4/h264_nal_units.h"
#include "mux/mp4/mp4_boxes.h"
#include "mux/mp4/mp4_sample_tables.h"
#include "mux/parse/es_info.h"

namespace orx::mux {
namespace {

// Hex digits, with spaces anywhere and 'text' in quotes as its ASCII bytes.
std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  int high = -1;
  bool quoted = false;
  for (char c : text) {
    if (c == '\'') {
      quoted = !quoted;
      continue;
    }
    if (quoted) {
      bytes.push_back(static_cast<uint8_t>(c));
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
    const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  return bytes;
}

std::string Zeros(int count) { return std::string(static_cast<size_t>(count) * 2, '0'); }

constexpr uint32_t kCreation = 0xD0000000;
const std::string kMatrix = "00010000 00000000 00000000 00000000 00010000 00000000 00000000 00000000 40000000";

// SPS 67 64 00 1E AC D9 40 and PPS 68 CE 3C 80, as our encoder's header carries them.
const std::vector<uint8_t> kSps = Hex("67 64 00 1E AC D9 40");
const std::vector<uint8_t> kPps = Hex("68 CE 3C 80");

Mp4AudioEntry Aac48Stereo() {
  Mp4AudioEntry entry;
  entry.audioKind = kAudioAac;
  entry.channels = 2;
  entry.sampleRate = 48000;
  entry.bytesPerSecond = 16000;
  return entry;
}

// An index of video samples: picture types and presentation frames, 10 bytes each, back to back
// from offset 100, each I picture starting a chunk.
Mp4IndexChain VideoIndex(const std::string& types, const std::vector<int32_t>& presentation) {
  Mp4IndexChain index;
  for (uint32_t n = 0; n < types.size(); ++n) {
    Mp4IndexEntry entry;
    const uint32_t type = types[n] == 'I' ? 1 : types[n] == 'P' ? 2 : 3;
    entry.offset = 100 + 10 * n;
    entry.sizeAndFlags = 10 | type << Mp4IndexEntry::kPictureTypeShift |
                         (n == 0 || type == 1 ? Mp4IndexEntry::kChunkStart : 0);
    entry.presentation = n < presentation.size() ? presentation[n] : static_cast<int32_t>(n);
    EXPECT_TRUE(index.Add(n, entry));
  }
  return index;
}

struct BoxCase {
  const char* name;
  std::function<void(Mp4Buffer&)> write;
  std::string expected;
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << c.name; }

class Mp4BoxBytes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(Mp4BoxBytes, MatchWorkedOutBytes) {
  Mp4Buffer out;
  GetParam().write(out);
  const std::vector<uint8_t> expected = Hex(GetParam().expected);
  EXPECT_EQ(out.Bytes(), expected) << "got " << out.Size() << " bytes, expected " << expected.size();
}

std::vector<BoxCase> BoxCases() {
  const std::string creation = "D0000000 D0000000";
  return {
      {"FtypMp4Small", [](Mp4Buffer& o) { WriteMp4Ftyp(o, kMuxMp4, (1ull << 31) - 1); },
       "0000001C 'ftyp' 'isom' 00000000 'isom' 'mp42' 'qt  '"},
      {"FtypMp4Large", [](Mp4Buffer& o) { WriteMp4Ftyp(o, kMuxMp4, 1ull << 31); }, "00000014 'ftyp' 'isom' 00000000 'isom'"},
      {"FtypPortableSmall", [](Mp4Buffer& o) { WriteMp4Ftyp(o, kMuxMp4Portable, 0); },
       "00000020 'ftyp' 'MSNV' 01000021 'MSNV' 'isom' 'mp42' 'qt  '"},
      {"FtypPortableLarge", [](Mp4Buffer& o) { WriteMp4Ftyp(o, kMuxMp4Portable, 5ull << 30); },
       "00000018 'ftyp' 'MSNV' 01000021 'MSNV' 'isom'"},
      {"FtypQuickTimeSmall", [](Mp4Buffer& o) { WriteMp4Ftyp(o, kMuxQuickTime, 100); },
       "0000001C 'ftyp' 'qt  ' 00000000 'qt  ' 'mp42' 'qt  '"},
      {"FtypQuickTimeLarge", [](Mp4Buffer& o) { WriteMp4Ftyp(o, kMuxQuickTime, 1ull << 32); },
       "00000014 'ftyp' 'qt  ' 00000000 'qt  '"},
      {"MdatSmall", [](Mp4Buffer& o) { WriteMp4MdatHeader(o, 100); }, "0000006C 'mdat'"},
      {"MdatLarge", [](Mp4Buffer& o) { WriteMp4MdatHeader(o, 1ull << 31); }, "00000001 'mdat' 00000000 80000010"},
      {"ProfileBox",
       [](Mp4Buffer& o) {
         Mp4ProfileInfo info;
         info.audioBytesPerSecond = 16000;
         info.audioSampleRate = 48000;
         info.videoBytesPerSecond = 500000;
         info.frameRate = 29.97;
         info.width = 720;
         info.height = 480;
         WriteMp4ProfileBox(o, info);
       },
       "00000094 'uuid' 'PROF' 21D24FCE BB88695C FAC9C740 00000000 00000003"
       " 00000014 'FPRF' " + Zeros(12) +
       " 0000002C 'APRF' 00000000 00000002 'mp4a' 0000020F 00000000 00000080 00000080 0000BB80 00000002"
       " 00000034 'VPRF' 00000000 00000001 'mp4v' 00000103 00000000 00000FA0 00000FA0 001DF852 001DF852"
       " 02D001E0 00010001"},
      {"UsmtBox", [](Mp4Buffer& o) { WriteMp4UsmtBox(o); },
       "00000034 'uuid' 'USMT' 21D24FCE BB88695C FAC9C740 0000001C 'MTDT' 00010012 0000000A 55C40000 00000001"
       " 00000000"},
      {"Mvhd", [](Mp4Buffer& o) { WriteMp4Mvhd(o, kCreation, 90000, 3); },
       "0000006C 'mvhd' 00000000 " + creation + " 00015F90 00015F90 00010000 0100 " + Zeros(10) + " " + kMatrix +
           " " + Zeros(24) + " 00000003"},
      {"Tkhd", [](Mp4Buffer& o) { WriteMp4Tkhd(o, kCreation, 1, 90000, 0, 720, 480); },
       "0000005C 'tkhd' 00000007 " + creation + " 00000001 00000000 00015F90 " + Zeros(8) +
           " 0000 0000 0000 0000 " + kMatrix + " 02D00000 01E00000"},
      {"Edts", [](Mp4Buffer& o) { WriteMp4Edts(o, 90000, 1001); },
       "00000024 'edts' 0000001C 'elst' 00000000 00000001 00015F90 000003E9 00010000"},
      {"MdhdUndetermined", [](Mp4Buffer& o) { WriteMp4Mdhd(o, kCreation, 29970, 30000); },
       "00000020 'mdhd' 00000000 " + creation + " 00007512 00007530 55C4 0000"},
      {"HdlrQuickTimeLengthPrefixed", [](Mp4Buffer& o) { WriteMp4Hdlr(o, "vide", "Video Media Handler", true); },
       "0000003E 'hdlr' 00000000 00000000 'vide' " + Zeros(12) + " 13 'Video Media Handler' " + Zeros(10)},
      {"HdlrIsoTerminated", [](Mp4Buffer& o) { WriteMp4Hdlr(o, "soun", "Sound Media Handler", false); },
       "0000003E 'hdlr' 00000000 00000000 'soun' " + Zeros(12) + " 'Sound Media Handler' " + Zeros(11)},
      {"Vmhd", [](Mp4Buffer& o) { WriteMp4Vmhd(o); }, "00000014 'vmhd' 00000000 " + Zeros(8)},
      {"Smhd", [](Mp4Buffer& o) { WriteMp4Smhd(o); }, "00000010 'smhd' 00000000 00000000"},
      {"DinfDref", [](Mp4Buffer& o) { WriteMp4Dinf(o); },
       "00000024 'dinf' 0000001C 'dref' 00000000 00000001 0000000C 'url ' 00000001"},
      {"VideoEntryWidescreen",
       [](Mp4Buffer& o) {
         Mp4VideoEntry entry;
         entry.codec = kVideoMpeg2;
         entry.width = 720;
         entry.height = 480;
         entry.aspectX = 16;
         entry.aspectY = 9;
         WriteMp4VideoSampleEntry(o, entry);
       },
       // 72 dpi x (720 x 9) / (480 x 16) = 60.75 dpi.
       "00000056 'mpeg' " + Zeros(6) + " 0001 " + Zeros(16) + " 02D0 01E0 003CC000 00480000 00000000 0001 " +
           Zeros(32) + " 0018 FFFF"},
      {"AvcCFromThreeByteHeader",
       [](Mp4Buffer& o) {
         std::vector<uint8_t> sps, pps;
         const std::vector<uint8_t> header = Hex("000001 6764001EACD940 000001 68CE3C80");
         EXPECT_TRUE(ReadParameterSets(header.data(), header.size(), sps, pps));
         WriteMp4AvcC(o, sps, pps);
       },
       "0000001E 'avcC' 01 64 00 1E FF E1 0007 6764001EACD940 01 0004 68CE3C80"},
      {"AvcCFromHeaderWithDelimiterFirst",
       [](Mp4Buffer& o) {
         std::vector<uint8_t> sps, pps;
         const std::vector<uint8_t> header = Hex("000001 0910 000001 6764001EACD940 000001 68CE3C80");
         EXPECT_TRUE(ReadParameterSets(header.data(), header.size(), sps, pps));
         WriteMp4AvcC(o, sps, pps);
       },
       "0000001E 'avcC' 01 64 00 1E FF E1 0007 6764001EACD940 01 0004 68CE3C80"},
      {"AvcCFromAvcCWithCompatibilityZero",
       [](Mp4Buffer& o) {
         std::vector<uint8_t> sps, pps;
         const std::vector<uint8_t> record = Hex("01 64 00 1E FF E1 0007 6764001EACD940 01 0004 68CE3C80");
         EXPECT_TRUE(ReadParameterSets(record.data(), record.size(), sps, pps));
         WriteMp4AvcC(o, sps, pps);
       },
       "0000001E 'avcC' 01 64 00 1E FF E1 0007 6764001EACD940 01 0004 68CE3C80"},
      {"EsdsMpeg4Visual",
       [](Mp4Buffer& o) {
         Mp4VideoEntry entry;
         entry.codec = kVideoMpeg4;
         entry.bufferSize = 229376;
         entry.bytesPerSecond = 500000;
         entry.codecPrivate = Hex("00000120");
         WriteMp4VideoEsds(o, entry);
       },
       "00000029 'esds' 00000000 03 1B 0000 00 04 13 20 11 038000 003D0900 00000000 05 04 00000120 06 01 02"},
      {"EsdsAacIso", [](Mp4Buffer& o) { WriteMp4AudioEsds(o, Aac48Stereo(), false); },
       "00000027 'esds' 00000000 03 19 0000 00 04 11 40 15 000600 0001F400 0001F400 05 02 1190 06 01 02"},
      {"AacEntryIso", [](Mp4Buffer& o) { WriteMp4AudioSampleEntry(o, kMuxMp4, Aac48Stereo()); },
       "0000004B 'mp4a' " + Zeros(6) + " 0001 " + Zeros(8) + " 0002 0010 0000 0000 BB800000"
       " 00000027 'esds' 00000000 03 19 0000 00 04 11 40 15 000600 0001F400 0001F400 05 02 1190 06 01 02"},
      {"AacSoundDescriptionQuickTime", [](Mp4Buffer& o) { WriteMp4AudioSampleEntry(o, kMuxQuickTime, Aac48Stereo()); },
       "0000008F 'mp4a' " + Zeros(6) + " 0001 0001 0000 00000000 0002 0010 FFFE 0000 BB800000"
       " 00000400 00000300 00000600 00000000"
       " 0000005B 'wave' 0000000C 'frma' 'mp4a' 0000000C 'mp4a' 00000000"
       " 00000033 'esds' 00000000 03 25 0000 00 04 1D 40 15 000600 0001F400 0001F400 05 02 1190 " + Zeros(12) +
           " 06 01 02 00000008 00000000"},
      {"Stts", [](Mp4Buffer& o) { WriteMp4Stts(o, 30, 1001); }, "00000018 'stts' 00000000 00000001 0000001E 000003E9"},
      // The offsets of decode order I P B P B at delta 1001: presentation 0 2 1 4 3 frames, shifted by
      // one frame so that none is negative.
      {"CttsOneBPicture",
       [](Mp4Buffer& o) { WriteMp4Ctts(o, ComputeMp4CompositionOffsets(VideoIndex("IPBPB", {0, 2, 1, 4, 3}), 1001)); },
       "00000038 'ctts' 00000000 00000005 00000001 000003E9 00000001 000007D2 00000001 00000000 00000001 000007D2"
       " 00000001 00000000"},
      // Anchor distance 3: I0 P3 B1 B2 P6 B4 B5.
      {"CttsTwoBPictures",
       [](Mp4Buffer& o) {
         WriteMp4Ctts(o, ComputeMp4CompositionOffsets(VideoIndex("IPBBPBB", {0, 3, 1, 2, 6, 4, 5}), 1000));
       },
       "00000048 'ctts' 00000000 00000007 00000001 000003E8 00000001 00000BB8 00000001 00000000 00000001 00000000"
       " 00000001 00000BB8 00000001 00000000 00000001 00000000"},
      {"CttsOmittedWithoutReordering",
       [](Mp4Buffer& o) { WriteMp4Ctts(o, ComputeMp4CompositionOffsets(VideoIndex("IPPP", {}), 1000)); }, ""},
      {"StszTable", [](Mp4Buffer& o) { WriteMp4Stsz(o, VideoIndex("IPB", {}), 0); },
       "00000020 'stsz' 00000000 00000000 00000003 0000000A 0000000A 0000000A"},
      {"StszConstantAudio", [](Mp4Buffer& o) { WriteMp4Stsz(o, VideoIndex("BBBB", {}), 10); },
       "00000014 'stsz' 00000000 0000000A 00000004"},
      {"StssSomeSync", [](Mp4Buffer& o) { WriteMp4Stss(o, VideoIndex("IPBI", {})); },
       "00000018 'stss' 00000000 00000002 00000001 00000004"},
      {"StssOmittedAllSync", [](Mp4Buffer& o) { WriteMp4Stss(o, VideoIndex("III", {})); }, ""},
      {"StssOmittedNoSync", [](Mp4Buffer& o) { WriteMp4Stss(o, VideoIndex("PPB", {})); }, ""},
      // Chunks start at each I picture: IPP | IP | I P P.
      {"StscAndStcoByChunks",
       [](Mp4Buffer& o) {
         const Mp4IndexChain index = VideoIndex("IPPIPIPP", {});
         uint32_t chunks = 0;
         WriteMp4Stsc(o, index, chunks);
         EXPECT_EQ(chunks, 3u);
         WriteMp4Stco(o, index, false);
         WriteMp4Stco(o, index, true);
       },
       "00000034 'stsc' 00000000 00000003 00000001 00000003 00000001 00000002 00000002 00000001"
       " 00000003 00000003 00000001"
       " 0000001C 'stco' 00000000 00000003 00000064 00000082 00000096"
       " 00000028 'co64' 00000000 00000003 0000000000000064 0000000000000082 0000000000000096"},
  };
}

INSTANTIATE_TEST_SUITE_P(Table, Mp4BoxBytes, ::testing::ValuesIn(BoxCases()),
                         [](const ::testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

TEST(Mp4FileHeader, MediaStartsAtTheSameOffsetWhateverItsSize) {
  for (uint32_t type : {uint32_t{kMuxMp4}, uint32_t{kMuxMp4Portable}, uint32_t{kMuxQuickTime}}) {
    Mp4Buffer small, large;
    WriteMp4FileHeader(small, type, {}, 1000);
    WriteMp4FileHeader(large, type, {}, 5ull << 30);
    EXPECT_EQ(small.Size(), large.Size()) << "type " << type;
  }
}

TEST(H264NalUnits, SplitAtThreeAndFourByteStartCodes) {
  const std::vector<uint8_t> sample = Hex("AA BB 00 00 00 01 67 11 00 00 01 68 22 00 00 00 01 65 33 44");
  const AnnexBSplit split = SplitAnnexB(sample.data(), sample.size());
  EXPECT_EQ(split.leading, 2u);
  ASSERT_EQ(split.nals.size(), 3u);
  EXPECT_EQ(split.nals[0].start, 6u);
  EXPECT_EQ(split.nals[0].size, 2u);
  EXPECT_EQ(split.nals[1].Type(sample.data()), 8u);
  EXPECT_EQ(split.nals[1].size, 2u);
  EXPECT_EQ(split.nals[2].Type(sample.data()), 5u);
  EXPECT_EQ(split.nals[2].size, 3u);
}

TEST(Mp4IndexChain, SecondBlockPastEntry65535) {
  Mp4IndexChain index;
  Mp4IndexEntry entry;
  for (uint32_t n = 0; n < Mp4IndexChain::kEntriesPerBlock + 2; ++n) {
    entry.offset = n;
    ASSERT_TRUE(index.Add(n, entry));
  }
  EXPECT_EQ(index.Blocks(), 2u);
  EXPECT_EQ(index.At(Mp4IndexChain::kEntriesPerBlock + 1).offset, Mp4IndexChain::kEntriesPerBlock + 1u);
  EXPECT_EQ(index.At(Mp4IndexChain::kEntriesPerBlock - 1).offset, Mp4IndexChain::kEntriesPerBlock - 1u);
}

TEST(Mp4IndexChain, RefusedBlockFailsTheEntry) {
  Mp4IndexChain index;
  Mp4IndexChain::LimitBlocksForTest(1);
  Mp4IndexEntry entry;
  bool refused = false;
  for (uint32_t n = 0; n <= Mp4IndexChain::kEntriesPerBlock; ++n) refused = !index.Add(n, entry);
  Mp4IndexChain::LimitBlocksForTest(-1);
  EXPECT_TRUE(refused);
  EXPECT_EQ(index.Count(), Mp4IndexChain::kEntriesPerBlock);
}

}  // namespace
}  // namespace orx::mux
