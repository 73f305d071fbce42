// The AENC component's library, descriptor and format methods, through libqvaaenc.so loaded by
// name as the engine loads it.
#include <gtest/gtest.h>

#include <cstring>

#include "media/media_codes.h"
#include "tests/aenc/aenc_driver.h"

namespace orx::test {
namespace {

TEST(AencComponent, LibraryAndDescriptor) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  EXPECT_EQ(library.queryProcessorExtensions(), 0x31u);
  EXPECT_EQ(library.libGetCount(), 1u);
  ComponentInfo info{};
  ASSERT_EQ(library.getInfo(0, &info), QVA_SUCCESS);
  EXPECT_STREQ(info.shortName, "AENC");
  EXPECT_STREQ(info.longName, "Pelkor Audio Encoder");
  const uint8_t id[8] = {0x00, 0x10, 0xef, 0x00, 0x00, 0x00, 0x00, 0x23};
  EXPECT_EQ(0, std::memcmp(info.compId, id, 8));
  EXPECT_EQ(info.typeFlags, 0x00100010u);
  EXPECT_EQ(info.inputPins, 1u);
  EXPECT_EQ(info.outputPins, 1u);
  EXPECT_EQ(info.maxInstances, 0u);
}

// Input buffers are cut into whole frames whatever their sizes: the frames equal the core's.

TEST(AencComponent, FormatsAreCheckedWhenSet) {
  AencLibrary library;
  ASSERT_TRUE(library.Loaded());
  AudioSink sink;
  AencInstance aenc(library, sink);
  auto setInput = [&](AudioMediaType t) { return aenc.Methods().QVAComp_SetFormat(aenc.instance, 0, 0, &t); };
  auto setOutput = [&](AudioMediaType t) { return aenc.Methods().QVAComp_SetFormat(aenc.instance, 1, 0, &t); };
  struct Case {
    const char* name;
    bool output;
    uint32_t mtype, subtype, size;
    QVAStatus expected;
  } cases[] = {
      {"PCM input", false, QVA_MTYPE_AUDIO, QVA_MSUBTYPE_PCM, 136, 0},
      {"0x80012 input", false, QVA_MTYPE_AUDIO, 0x80012, 136, 0},
      {"0x40015 input", false, QVA_MTYPE_AUDIO, 0x40015, 16, 0},
      {"coded input", false, QVA_MTYPE_AUDIO, QVA_MSUBTYPE_MPA2, 136, 40},
      {"video input", false, QVA_MTYPE_VIDEO, QVA_MSUBTYPE_PCM, 136, 40},
      {"short input record", false, QVA_MTYPE_AUDIO, QVA_MSUBTYPE_PCM, 12, 29},
      {"Layer II output", true, QVA_MTYPE_AUDIO, QVA_MSUBTYPE_MPA2, 136, 0},
      {"0x10 output, coded as Layer II", true, QVA_MTYPE_AUDIO, 0x10, 136, 0},
      {"Layer I output", true, QVA_MTYPE_AUDIO, 0x11, 136, 40},
      {"AC-3 output", true, QVA_MTYPE_AUDIO, 0x200, 136, 40},
      {"Layer III output", true, QVA_MTYPE_AUDIO, QVA_MSUBTYPE_MPA3, 136, 0},
      {"AAC output", true, QVA_MTYPE_AUDIO, QVA_MSUBTYPE_AAC, 136, 0},
      {"WMA-style output (no coder yet)", true, QVA_MTYPE_AUDIO, QVA_MSUBTYPE_WMA, 136, 40},
      {"unknown output", true, QVA_MTYPE_AUDIO, 0x999, 136, 40},
      {"short output record", true, QVA_MTYPE_AUDIO, QVA_MSUBTYPE_MPA2, 8, 29},
  };
  for (const Case& c : cases) {
    AudioMediaType t = PcmType(48000, 2);
    t.MType = c.mtype;
    t.subtype = c.subtype;
    t.size = c.size;
    EXPECT_EQ(c.output ? setOutput(t) : setInput(t), c.expected) << c.name;
  }
  AudioMediaType t = PcmType(48000, 2);
  EXPECT_EQ(aenc.Methods().QVAComp_SetFormat(aenc.instance, 2, 0, &t), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(aenc.Methods().QVAComp_SetFormat(aenc.instance, 0, 1, &t), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(aenc.Methods().QVAComp_SetFormat(aenc.instance, 0, 0, nullptr), QVA_ERR_BADARG);
  t.size = 8;
  EXPECT_EQ(aenc.Methods().QVAComp_GetFormat(aenc.instance, 1, 0, &t), QVA_ERR_TOOSMALL);
  t.size = 40;
  EXPECT_EQ(aenc.Methods().QVAComp_GetFormat(aenc.instance, 1, 0, &t), QVA_SUCCESS);
  EXPECT_EQ(t.size, 16u);
}

// The coding, rate and header of what an output subtype and rate give, decoded by ffmpeg.

}  // namespace
}  // namespace orx::test
