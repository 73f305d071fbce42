// The qvavscaler library loaded by file name as the engine loads it: its descriptor, and the
// format and parameter entries of its method table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/component_library.h"
#include "media/media_codes.h"
#include "tests/vscaler/video_format.h"
#include "tests/support/component_library.h"
#include "vscaler/vscaler_component.h"

namespace orx::vscaler {
namespace {

using test::VideoFormat;

class ScalerComponent : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib.Loaded()) << lib.Error();
    ASSERT_EQ(lib.create(nullptr, &instance), QVA_SUCCESS);
    state = CompPrivate<VScalerComponentState>(instance);
  }
  void TearDown() override {
    if (instance != nullptr) {
      EXPECT_EQ(lib.release(instance), QVA_SUCCESS);
    }
  }
  QVAStatus SetFormat(uint32_t direction, uint32_t pin, void* record) {
    return instance->methods.QVAComp_SetFormat(instance, direction, pin, record);
  }
  QVAStatus GetFormat(uint32_t direction, uint32_t pin, void* record) {
    return instance->methods.QVAComp_GetFormat(instance, direction, pin, record);
  }
  orx::test::ComponentLibrary lib{"qvavscaler.so"};
  ComponentInstance* instance = nullptr;
  VScalerComponentState* state = nullptr;
};

TEST_F(ScalerComponent, DescriptorAndCreationDefaults) {
  EXPECT_EQ(lib.libGetCount(), 1u);
  uint8_t record[kQVAInfoRecordSize];
  ASSERT_EQ(lib.getInfo(0, record), QVA_SUCCESS);
  ComponentInfo info{};
  std::memcpy(&info, record, sizeof record);
  EXPECT_EQ(info.interfaceVersion, 0x40001u);
  EXPECT_EQ(info.typesVersion, 0x10001u);
  EXPECT_EQ(info.typeFlags, 0x00200020u);
  EXPECT_EQ(info.compVersion, 1u);
  EXPECT_EQ(info.compBuild, 1u);
  const uint8_t id[8] = {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x02, 0x01};
  EXPECT_EQ(std::memcmp(info.compId, id, 8), 0);
  EXPECT_STREQ(info.shortName, "VSCALER");
  EXPECT_STREQ(info.longName, "Video Scaler");
  EXPECT_EQ(info.inputPins, 1u);
  EXPECT_EQ(info.outputPins, 1u);
  EXPECT_EQ(info.maxInstances, 0u);
  EXPECT_EQ(lib.getInfo(1, record), QVA_ERR_BADARG);

  EXPECT_EQ(state->scaler, nullptr);
  EXPECT_EQ(state->scaleMode, 1u);
  EXPECT_EQ(state->inputBufferSize, 0x2FD000u);
  EXPECT_EQ(state->inputBufferCount, 2u);
  EXPECT_EQ(state->outputBufferSize, 0x2FD000u);
  EXPECT_EQ(state->outputBufferCount, 2u);
  EXPECT_EQ(instance->methods.QVAComp_OpenURL, nullptr);
  EXPECT_EQ(instance->methods.reserved19, nullptr);
  EXPECT_EQ(lib.release(nullptr), QVA_ERR_BADHANDLE);
}

TEST_F(ScalerComponent, SetFormatRefusals) {
  VideoMediaType t = VideoFormat(QVA_MSUBTYPE_YUV420, 720, 480);
  EXPECT_EQ(SetFormat(2, 0, &t), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(SetFormat(0, 1, &t), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(SetFormat(1, 0, nullptr), QVA_ERR_BADARG);
  VideoMediaType tiny = t;
  tiny.size = 15;
  EXPECT_EQ(SetFormat(1, 0, &tiny), QVA_ERR_TOOSMALL);
  // Host formats reach the input only in band.
  for (uint32_t subtype : {QVA_MSUBTYPE_BGRA, QVA_MSUBTYPE_YUV444I, QVA_MSUBTYPE_YUV422I}) {
    VideoMediaType host = VideoFormat(subtype, 720, 480);
    EXPECT_EQ(SetFormat(0, 0, &host), QVA_ERR_FORMAT) << std::hex << subtype;
  }
  VideoMediaType audio = t;
  audio.MType = QVA_MTYPE_AUDIO;
  EXPECT_EQ(SetFormat(0, 0, &audio), QVA_ERR_FORMAT);
  EXPECT_EQ(state->inputType.size, 0u);  // nothing stored
  VideoMediaType nv12 = VideoFormat(QVA_MSUBTYPE_NV12, 720, 480);
  EXPECT_EQ(SetFormat(0, 0, &nv12), QVA_SUCCESS);
}

TEST_F(ScalerComponent, SetFormatKeepsPreviousValues) {
  VideoMediaType in = VideoFormat(QVA_MSUBTYPE_YUV420, 720, 480);
  in.secondWidth = in.secondHeight = 0;
  ASSERT_EQ(SetFormat(0, 0, &in), QVA_SUCCESS);
  EXPECT_EQ(state->inputType.secondWidth, 720u);  // a zero picture takes the frame size
  EXPECT_EQ(state->inputType.secondHeight, 480u);
  VideoMediaType zeroHeight = VideoFormat(QVA_MSUBTYPE_YUV420, 640, 0);
  ASSERT_EQ(SetFormat(0, 0, &zeroHeight), QVA_SUCCESS);
  EXPECT_EQ(state->inputType.width, 640u);
  EXPECT_EQ(state->inputType.height, 480u);  // kept
  // A head-only record changes the head alone.
  VideoMediaType head = VideoFormat(QVA_MSUBTYPE_NV12, 1, 1);
  head.size = 16;
  ASSERT_EQ(SetFormat(0, 0, &head), QVA_SUCCESS);
  EXPECT_EQ(state->inputType.subtype, QVA_MSUBTYPE_NV12);
  EXPECT_EQ(state->inputType.width, 640u);

  VideoMediaType out = VideoFormat(QVA_MSUBTYPE_YUV420, 1920, 1080);
  out.BitrateAverage = 8000000;
  out.BitrateMax = 9000000;
  out.codecPrivateLength = 3;
  out.codecPrivate[0] = 0xAB;
  ASSERT_EQ(SetFormat(1, 0, &out), QVA_SUCCESS);
  EXPECT_EQ(state->outputTypeSet, 1u);
  VideoMediaType bare = VideoFormat(QVA_MSUBTYPE_YUV420, 720, 480);
  ASSERT_EQ(SetFormat(1, 0, &bare), QVA_SUCCESS);
  EXPECT_EQ(state->outputType.width, 720u);
  EXPECT_EQ(state->outputType.BitrateAverage, 8000000u);
  EXPECT_EQ(state->outputType.BitrateMax, 9000000u);
  EXPECT_EQ(state->outputType.codecPrivateLength, 3u);
  EXPECT_EQ(state->outputType.codecPrivate[0], 0xAB);

  VideoMediaType whole{};
  whole.size = sizeof whole;
  ASSERT_EQ(GetFormat(1, 0, &whole), QVA_SUCCESS);
  EXPECT_EQ(std::memcmp(&whole, &state->outputType, sizeof whole), 0);
  VideoMediaType small{};
  small.size = 20;
  ASSERT_EQ(GetFormat(0, 0, &small), QVA_SUCCESS);
  EXPECT_EQ(small.size, 16u);
  EXPECT_EQ(small.subtype, QVA_MSUBTYPE_NV12);
  EXPECT_EQ(small.width, 0u);  // only the head was written
  EXPECT_EQ(GetFormat(1, 1, &whole), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(GetFormat(0, 0, nullptr), QVA_ERR_BADARG);
}

TEST_F(ScalerComponent, BufferParameterRecordsPinSizes) {
  PinBufferConfig config{};
  config.pinIndex = 0;
  config.bufferSize = 1000;
  config.bufferCount = 0;  // a zero count keeps the recorded one
  instance->methods.QVAComp_SetParam(instance, QVA_PARAM_BUFFERS, &config, sizeof config);
  EXPECT_EQ(state->inputBufferSize, 1000u);
  EXPECT_EQ(state->inputBufferCount, 2u);
  config.pinIndex = 1;
  config.bufferSize = 0x1000;
  config.bufferCount = 3;
  instance->methods.QVAComp_SetParam(instance, QVA_PARAM_BUFFERS, &config, sizeof config);
  EXPECT_EQ(state->outputBufferSize, 0x1000u);
  EXPECT_EQ(state->outputBufferCount, 3u);
  // A short record changes nothing here.
  config.bufferSize = 0x2000;
  instance->methods.QVAComp_SetParam(instance, QVA_PARAM_BUFFERS, &config, sizeof config - 1);
  EXPECT_EQ(state->outputBufferSize, 0x1000u);
}

}  // namespace
}  // namespace orx::vscaler
