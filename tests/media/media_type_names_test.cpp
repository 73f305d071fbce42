// The display tables against the named codes: every named subtype reads back its short name.
#include <gtest/gtest.h>

#include <string>

#include "media/media_codes.h"
#include "media/media_type_names.h"

namespace {

template <size_t N>
std::string FirstName(const CodeNameEntry (&table)[N], uint32_t code) {
  for (const CodeNameEntry& row : table) {
    if (row.code == code) return row.text;
  }
  return {};
}

TEST(MediaTypeNames, TablesEndWithUnknownAndRunInParallel) {
  EXPECT_EQ(std::size(SubtypeNames), std::size(SubtypeShortNames));
  for (size_t i = 0; i < std::size(SubtypeNames); ++i) {
    EXPECT_EQ(SubtypeNames[i].code, SubtypeShortNames[i].code) << i;
  }
  EXPECT_EQ(std::string(std::end(SubtypeNames)[-1].text), "Unknown");
  EXPECT_EQ(std::end(SubtypeNames)[-1].code, 0xFFFFFFFFu);
  EXPECT_EQ(std::string(std::end(SubtypeShortNames)[-1].text), "Unknown");
  EXPECT_EQ(std::string(std::end(StreamTypeNames)[-1].text), "Unknown");
  EXPECT_EQ(std::end(StreamTypeNames)[-1].code, 0xFFFFFFFFu);
}

TEST(MediaTypeNames, NamedCodesMatchTheirRows) {
  struct Row {
    uint32_t code;
    const char* shortName;
  };
  const Row subtypes[] = {
      {QVA_MSUBTYPE_MPV2, "MPV2"},         {QVA_MSUBTYPE_MPV_PES2, "MPV_PES2"},
      {QVA_MSUBTYPE_H264, "H264"},         {QVA_MSUBTYPE_MPA2, "MPA2"},
      {QVA_MSUBTYPE_MPA3, "MPA3"},         {QVA_MSUBTYPE_WMV9AP, "WMV9AP"},
      {QVA_MSUBTYPE_WMA, "WMA"},           {QVA_MSUBTYPE_AC3_ATSC, "AC3_ATSC"},
      {QVA_MSUBTYPE_PCM, "PCM"},           {QVA_MSUBTYPE_AAC, "AAC"},
      {QVA_MSUBTYPE_JPEG, "JPEG"},         {QVA_MSUBTYPE_MJPEG, "JPEG"},
      {QVA_MSUBTYPE_RGBA8888, "RGBA8888"}, {QVA_MSUBTYPE_YUV420, "YUV420"},
      {QVA_MSUBTYPE_YUV422I, "YUV422I"},   {QVA_MSUBTYPE_YUV444I, "YUV444I"},
      {QVA_MSUBTYPE_XVID, "XVID"},         {QVA_MSUBTYPE_UNDEFINED, "Undefined"},
  };
  for (const Row& row : subtypes) EXPECT_EQ(FirstName(SubtypeShortNames, row.code), row.shortName);
  EXPECT_EQ(FirstName(SubtypeNames, QVA_MSUBTYPE_JPEG), "JPEG Still Video");

  // Codes the system uses that have no row.
  for (uint32_t code : {QVA_MSUBTYPE_VC1, QVA_MSUBTYPE_BGRA, QVA_MSUBTYPE_NV12,
                        QVA_MSUBTYPE_VUYA_FLOAT, QVA_MSUBTYPE_YV12, QVA_MSUBTYPE_YV12_420}) {
    EXPECT_EQ(FirstName(SubtypeNames, code), "") << std::hex << code;
  }
  EXPECT_EQ(FirstName(StreamTypeNames, QVA_MTYPE_MP4), "MP4 Muxed Stream");
  EXPECT_EQ(FirstName(StreamTypeNames, QVA_MTYPE_MPEG2_PS), "MPEG-2 Program Stream");
  EXPECT_EQ(FirstName(StreamTypeNames, QVA_MTYPE_DIVX_480), "DIVX Stream");
  EXPECT_EQ(FirstName(StreamTypeNames, QVA_MTYPE_WAV), "WAV Audio Stream");
  EXPECT_EQ(FirstName(StreamTypeNames, QVA_MTYPE_FILEOUTPUT), "");
}

}  // namespace
