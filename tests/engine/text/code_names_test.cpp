// The display tables, transcribed by hand from the system's tables, and their lookups.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "engine/text/code_names.h"

namespace {

struct Row {
  uint32_t code;
  std::string name;
};

// Rows "code|name" (or "code|name|short name" with column 2), one per line.
std::vector<Row> Transcribed(const char* text, int column = 1) {
  std::vector<Row> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string f; std::getline(parts, f, '|');) fields.push_back(f);
    rows.push_back({static_cast<uint32_t>(std::strtoul(fields[0].c_str(), nullptr, 0)), fields.at(column)});
  }
  return rows;
}

void ExpectTable(const QVACodeText* table, const std::vector<Row>& expected) {
  size_t i = 0;
  for (; table[i].code != kQVATextSentinel; ++i) {
    ASSERT_LT(i, expected.size()) << "extra row " << table[i].text;
    EXPECT_EQ(table[i].code, expected[i].code) << "row " << i;
    EXPECT_EQ(std::string(table[i].text), expected[i].name) << "row " << i;
  }
  ASSERT_EQ(i + 1, expected.size()) << "rows missing";
  EXPECT_EQ(std::string(table[i].text), expected.back().name);
}

constexpr const char* kStatusRows = R"(0|Success
1|Generic Error
2|Unsupported
3|Bad argument supplied to routine
4|Error allocating memory
5|Error during execution
6|No more buffers available
7|Not found
8|Unable to open or initialize
9|Error reading
10|Error writing
11|Not in open state
17|Error between components
18|End of stream
19|Invalid in stopped state
20|Error connecting components
21|Already opened
22|Routine or component is busy
23|Mediatype unsupported
24|Wrong state for action
25|Unknown format
26|Operation timed out
27|Operation aborted
28|Bad handle supplied to routine
29|Buffer supplied is too small to fit data
30|Buffer must be supplied
31|Error parsing configuration setting 
32|Error in command syntax
33|Component not found
34|Unknown solution
35|No components were created in graph.
36|Invalid PIN specified.
37|Command unknown
38|Function unknown
39|Parameter unknown
40|Format not supported
41|Buffers are too full to process
42|Already started
43|Error processing marker
44|String type not supported
45|Fatal error
46|Action ignored
47|No index was found
48|Index is invalid
49|Stream is corrupted
50|Flush in process
51|Component is not connected
52|Error seeking
0x201|Speed is unsupported
0x202|Seek is unsupported
0xFFFFFFFF|Unkown error status
)";

constexpr const char* kStateRows = R"(0|NONE
0x1|INIT
0x2|IDLE
0x4|PREROLL
0x8|STARTING
0x10|PLAYING
0x20|PAUSING
0x40|PAUSED
0x1000|RATECHANGE
0x2000|TRICK
0x4000|SEEKING
0x10000|STOPPING
0x20000|STOPPED
0x100|STEPPING
0x80000|DESTROYING
0x10000000|STREAMERROR
0x40000000|INTERNALERROR
0x80000000|UNKNOWN
0xFFFFFFFF|Unknown
)";

constexpr const char* kCommandRows = R"(0|NONE
0x1|PLAY
0x2|PAUSE
0x4|STOP
0x8|PLAY_INDEX
0x10|STEP
0x20|NEXT
0x40|PREVIOUS
0x80|RESTART
0x200|SEEK
0x1000|CONNECT
0x2000|DISCONNECT
0x4000|EMPTY
0x8000|FLUSH
0xFFFFFFFF|Unknown
)";

constexpr const char* kTokenTypeRows = R"(0|UNKNOWN
0x1|KEYWORD
0x2|IDENTIFIER
0x4|STRING
0x8|INTEGER
0x10|PERCENT
0x20|BRACED
0x40|PARENS
0xFFFFFFFF|Unknown
)";

constexpr const char* kStreamTypeRows = R"(0|None
0x20000|Audio Stream
0x40000|Video Stream
0x80000|Muxed Stream
0x80001|MPEG MediaType
0x80003|MPEG-1 Systems
0x80005|MPEG-2 Program Stream
0x80009|MPEG-2 Transport Stream
0x80010|ASF Muxed Stream
0x80030|ASF Stream with Windows Media data
0x80040|AVI Muxed Stream
0x80080|DIVX Stream
0x80180|DIVX Stream
0x80280|DIVX Stream
0x80480|DIVX Stream
0x81000|MP4 Muxed Stream
0x82000|AVC Muxed Stream
0x20001|WAV Audio Stream
0x800000|ORX Proprietary Stream
0xFFFFFFFF|Unknown
)";

constexpr const char* kSubtypeRows = R"(0|None|None
0x1|MPEG Video|MPV
0x2|MPEG-2 Video|MPV2
0x8003|MPEG Video in MPEG-1 PES stream|MPV_PES1
0x8004|MPEG Video in MPEG-2 PES stream|MPV_PES2
0x5|MPEG-4 Video|MPV4
0x7|H264 Video|H264
0x10|MPEG Audio|MPA
0x11|MPEG Audio layer 1|MPA1
0x12|MPEG Audio layer 2|MPA2
0x13|MPEG Audio layer 3|MPA3
0x14|MPEG Audio in MPEG-1 PES stream|MPA_PES1
0x15|MPEG Audio in MPEG-2 PES stream|MPA_PES2
0x40|Windows Media Video|WMV
0x41|Windows Media Video V7|WMV7
0x42|Windows Media Video V8|WMV8
0x43|Windows Media Video V9|WMV9
0x44|Windows Media Video V9 Advanced Profile|WMV9AP
0x100|Windows Media Audio|WMA
0x101|Windows Media Audio (Pro)|WMAPRO
0x200|Dolby AC-3 Audio|AC3
0x201|AC3 in MPEG-2 PES stream|AC3_PES2
0x202|AC3 in ATSC stream|AC3_ATSC
0x400|PCM Audio|PCM
0x401|AAC Audio|AAC
0x402|OGG Audio|OGG
0x403|DTS Audio|DTS
0x10000|Microsoft Bitmap|BMP
0x10001|TIFF Video|TIFF
0x20000|JPEG Still Video|JPEG
0x20000|Motion JPEG Video|MJPEG
0x40000|Raw RGB Video|RGB
0x40001|Raw RGB 8-bit Video|RGB8
0x40002|Raw RGB 555 (15-bit) Video|RGB555
0x40003|Raw RGB 565 (16-bit) Video|RGB565
0x40004|Raw RGB 888 (24-bit) Video|RGB888
0x40005|Raw BGR+Alpha 8888 (32-bit) video.|RGBA8888
0x80000|Raw YUV Video|YUV
0x80001|Raw YUV 4:1:1 Planar Video|YUV411
0x80002|Raw YUV 4:2:0 Planar Video|YUV420
0x80003|Raw YUV 4:2:2 Planar Video|YUV422
0x80004|Raw YUV 4:4:4 Planar Video|YUV444
0x80011|Raw YUV 4:2:2 Interleaved Video|YUV422I
0x80012|Raw YUV 4:4:4 Interleaved Video|YUV444I
0x100000|DIVX|DIVX
0x200000|XVID|XVID
0x80000000|Undefined|Undefined
0xFFFFFFFF|Unknown|Unknown
)";

TEST(CodeNames, TablesEqualTheTranscribedTables) {
  ExpectTable(StatusNames, Transcribed(kStatusRows));
  ExpectTable(GraphStateNames, Transcribed(kStateRows));
  ExpectTable(CommandNames, Transcribed(kCommandRows));
  ExpectTable(TokenTypeNames, Transcribed(kTokenTypeRows));
  ExpectTable(StreamTypeNames, Transcribed(kStreamTypeRows));
  ExpectTable(SubtypeNames, Transcribed(kSubtypeRows, 1));
  ExpectTable(SubtypeShortNames, Transcribed(kSubtypeRows, 2));
}

TEST(CodeNames, CodeToNameExamples) {
  struct Case {
    const QVACodeText* table;
    uint32_t code;
    const char* expected;
  };
  const Case cases[] = {
      {SubtypeShortNames, 0x81015, "0x00081015"},
      {StreamTypeNames, 0x81000, "MP4 Muxed Stream"},
      {CommandNames, 0x8000, "FLUSH"},
      {CommandNames, 3, "0x00000003"},
      {SubtypeNames, 0x20000, "JPEG Still Video"},
      {StatusNames, 56, "0x00000038"},
      {GraphStateNames, 0x10010, "0x00010010"},
  };
  for (const Case& c : cases) EXPECT_STREQ(CodeToName(c.table, c.code), c.expected);
  // Two results can be used together.
  const char* first = CodeToName(CommandNames, 1);
  const char* second = CodeToName(CommandNames, 4);
  EXPECT_STREQ(first, "PLAY");
  EXPECT_STREQ(second, "STOP");
}

TEST(CodeNames, NameToCodeAndFlags) {
  EXPECT_EQ(NameToCode(CommandNames, "flush"), 0x8000u);
  EXPECT_EQ(NameToCode(SubtypeShortNames, "MJPEG"), 0x20000u);
  EXPECT_EQ(NameToCode(CommandNames, "jump"), 0xFFFFFFFFu);
  EXPECT_EQ(NameToCodeOrZero(CommandNames, "jump"), 0u);
  EXPECT_EQ(NameToCodeOrZero(GraphStateNames, "Paused"), 0x40u);

  EXPECT_STREQ(FlagsToNames(GraphStateNames, 0x11), "INIT|PLAYING");
  EXPECT_STREQ(FlagsToNames(GraphStateNames, 0), "NONE");
  EXPECT_STREQ(FlagsToNames(CommandNames, 0x30000), "0x00030000");
  EXPECT_STREQ(FlagsToNames(TokenTypeNames, 0x7F), "KEYWORD|IDENTIFIER|STRING|INTEGER|PERCENT|BRACED|PARENS");
  // Every state bit at once still fits.
  EXPECT_EQ(std::string(FlagsToNames(GraphStateNames, 0xFFFFFFFF)).substr(0, 15), "INIT|IDLE|PRERO");
}

TEST(CodeNames, StatusToTextInEachKind) {
  EXPECT_STREQ(static_cast<const char*>(StatusToText(26, kStatusTextNarrow)), "0x0000001A Operation timed out");
  EXPECT_STREQ(static_cast<const char*>(StatusToText(54, 7)), "0x00000036 Unkown error status");
  const auto* utf16 = static_cast<const char16_t*>(StatusToText(0, kStatusTextUtf16));
  EXPECT_EQ(std::u16string(utf16), u"0x00000000 Success");
  const auto* utf32 = static_cast<const char32_t*>(StatusToText(0x202, kStatusTextUtf32));
  EXPECT_EQ(std::u32string(utf32), U"0x00000202 Seek is unsupported");
}

}  // namespace
