// DeriveEncoderSettings: the settings a parameter block and two formats give.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "media/media_codes.h"
#include "venc/core/derive_settings.h"

namespace {

using namespace orx::venc;

struct Inputs {
  VideoEncoderParams params{};
  VideoMediaType input{};
  VideoMediaType output{};
};

Inputs BaseInputs() {
  Inputs in;
  in.params.size = sizeof(VideoEncoderParams);
  in.input.size = in.output.size = sizeof(VideoMediaType);
  in.input.MType = in.output.MType = QVA_MTYPE_VIDEO;
  in.input.subtype = QVA_MSUBTYPE_YUV420;
  in.input.width = in.input.secondWidth = 720;
  in.input.height = in.input.secondHeight = 576;
  in.input.FrameRate = 25000;
  in.output.subtype = QVA_MSUBTYPE_MPV2;
  in.output.BitrateAverage = 6000000;
  return in;
}

struct Derived {
  EncoderSettings settings{};
  VideoMediaType output{};
  RequestOptions request{};
};

struct DeriveCase {
  std::string name;
  std::function<void(Inputs&)> setUp;
  std::function<void(const Derived&)> check;
};

TEST(DeriveEncoderSettings, Table) {
  const std::vector<DeriveCase> cases = {
      {"all-zero block",
       [](Inputs&) {},
       [](const Derived& d) {
         const EncoderSettings& s = d.settings;
         EXPECT_EQ(s.gopLength, 15);
         EXPECT_EQ(s.anchorDistance, 1);
         EXPECT_EQ(s.progressiveSequence, 1);
         EXPECT_EQ(s.aspectX, 4);
         EXPECT_EQ(s.aspectY, 3);
         EXPECT_EQ(s.bitRate, 6000000);
         EXPECT_EQ(s.maxBitRate, 6000000);
         EXPECT_EQ(s.codec, CODEC_MPEG2);
         EXPECT_EQ(s.reorderPictures, 1);
         EXPECT_EQ(s.frameRateIndex, 8);
         EXPECT_EQ(s.chromaFormat, 1);
         EXPECT_EQ(s.closedGops, 0);
         EXPECT_EQ(s.sceneChangeMinDistance, 0x7FFFFFF);
         EXPECT_EQ(s.variableBitRate, 0);
         EXPECT_EQ(s.vbvInitialFullness, 0.0f);
         EXPECT_EQ(s.activityStrength, 1.0f);
         EXPECT_EQ(s.searchRangeX, 63);
         EXPECT_EQ(s.searchRangeY, 31);
         EXPECT_EQ(s.searchParams[1].windowHalfWidth, 20);
         EXPECT_EQ(s.searchParams[1].searchMode, 5);
         EXPECT_EQ(s.width, 720);
         EXPECT_EQ(s.height, 576);
         EXPECT_EQ(d.request.options, 5u);
         // The output format took the input's second size and frame rate.
         EXPECT_EQ(d.output.width, 720u);
         EXPECT_EQ(d.output.secondHeight, 576u);
         EXPECT_EQ(d.output.FrameRate, 25000u);
       }},
      {"VC-1 target",
       [](Inputs& in) { in.output.subtype = QVA_MSUBTYPE_VC1; },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.codec, CODEC_VC1);
         EXPECT_EQ(d.settings.streamType, STREAM_TYPE_HD);
       }},
      {"MPEG-2 1440x1088",
       [](Inputs& in) {
         in.output.width = in.output.secondWidth = 1440;
         in.output.height = in.output.secondHeight = 1088;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.streamType, STREAM_TYPE_HD);
         EXPECT_EQ(d.settings.videoFormat, 2);
         EXPECT_EQ(d.settings.colourPrimaries, 1);
       }},
      {"MPEG-2 704x576",
       [](Inputs& in) {
         in.output.width = 704;
         in.output.height = 576;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.streamType, STREAM_TYPE_MPEG2_SD);
         EXPECT_EQ(d.settings.videoFormat, 5);
         EXPECT_EQ(d.settings.colourPrimaries, 6);
         EXPECT_EQ(d.settings.transferCharacteristics, 6);
         EXPECT_EQ(d.settings.matrixCoefficients, 6);
         EXPECT_EQ(d.output.secondWidth, 704u);  // took its own size
       }},
      {"H.264 720x576 declares the BT.601 colour of the input conversion",
       [](Inputs& in) { in.output.subtype = QVA_MSUBTYPE_H264; },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.codec, CODEC_H264);
         EXPECT_EQ(d.settings.colourPrimaries, 6);
         EXPECT_EQ(d.settings.transferCharacteristics, 6);
         EXPECT_EQ(d.settings.matrixCoefficients, 6);
       }},
      {"H.264 1280x720 keeps BT.709",
       [](Inputs& in) {
         in.output.subtype = QVA_MSUBTYPE_H264;
         in.output.width = in.output.secondWidth = 1280;
         in.output.height = in.output.secondHeight = 720;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.colourPrimaries, 1);
         EXPECT_EQ(d.settings.transferCharacteristics, 1);
         EXPECT_EQ(d.settings.matrixCoefficients, 1);
       }},
      {"MPEG-1 SIF",
       [](Inputs& in) {
         in.output.subtype = QVA_MSUBTYPE_MPV;
         in.output.width = 352;
         in.output.height = 288;
       },
       [](const Derived& d) { EXPECT_EQ(d.settings.streamType, STREAM_TYPE_MPEG1_SIF); }},
      {"scene change with N 12",
       [](Inputs& in) {
         in.params.optionFlags = VEP_OPT_SCENE_CHANGE_GOP;
         in.params.gopLength = 12;
       },
       [](const Derived& d) { EXPECT_EQ(d.settings.sceneChangeMinDistance, 6); }},
      {"scene change with N 30",
       [](Inputs& in) {
         in.params.optionFlags = VEP_OPT_SCENE_CHANGE_GOP;
         in.params.gopLength = 30;
       },
       [](const Derived& d) { EXPECT_EQ(d.settings.sceneChangeMinDistance, 8); }},
      {"H.264 with M 3 closes GOPs",
       [](Inputs& in) {
         in.output.subtype = QVA_MSUBTYPE_H264;
         in.params.anchorDistance = 3;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.codec, CODEC_H264);
         EXPECT_EQ(d.settings.closedGops, 1);
       }},
      {"H.264 with M 1 keeps GOPs open",
       [](Inputs& in) { in.output.subtype = QVA_MSUBTYPE_H264; },
       [](const Derived& d) { EXPECT_EQ(d.settings.closedGops, 0); }},
      {"option bits 0, 2 and 3",
       [](Inputs& in) {
         in.params.optionFlags = VEP_OPT_CLOSED_GOPS | VEP_OPT_INTRA_ONLY_AT_START | VEP_OPT_CARRIED;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.closedGops, 1);
         EXPECT_EQ(d.settings.intraOnlyAtStart, 1);
         EXPECT_EQ(d.settings.carriedOption, 1);
       }},
      {"average bit rate first",
       [](Inputs& in) {
         in.params.averageBitRate = 4000000;
         in.params.peakBitRate = 9000000;
       },
       [](const Derived& d) { EXPECT_EQ(d.settings.bitRate, 4000000); }},
      {"peak bit rate second",
       [](Inputs& in) { in.params.peakBitRate = 9000000; },
       [](const Derived& d) { EXPECT_EQ(d.settings.maxBitRate, 9000000); }},
      {"output peak last",
       [](Inputs& in) {
         in.output.BitrateAverage = 0;
         in.output.BitrateMax = 7000000;
       },
       [](const Derived& d) { EXPECT_EQ(d.settings.bitRate, 7000000); }},
      {"display aspect from the block",
       [](Inputs& in) {
         in.params.displayAspectX = 16;
         in.params.displayAspectY = 9;
         in.output.secondPARh = 12;
         in.output.secondPARv = 11;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.aspectX, 16);
         EXPECT_EQ(d.settings.aspectY, 9);
       }},
      {"aspect from the output's second pixel aspect",
       [](Inputs& in) {
         in.output.secondPARh = 12;
         in.output.secondPARv = 11;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.aspectX, 720 * 12 / 11);
         EXPECT_EQ(d.settings.aspectY, 576);
       }},
      {"output pixel aspect with a zero divisor word",
       [](Inputs& in) {
         in.output.secondPARh = 12;
         in.output.secondPARv = 0;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.aspectX, 720);
         EXPECT_EQ(d.settings.aspectY, 576);
       }},
      {"aspect from the input's pixel aspect",
       [](Inputs& in) {
         in.input.height = 480;
         in.input.PARh = 10;
         in.input.PARv = 11;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.aspectX, 720 * 10 / 11);
         EXPECT_EQ(d.settings.aspectY, 480);
       }},
      {"input pixel aspect with a zero divisor word",
       [](Inputs& in) {
         in.input.PARh = 10;
         in.input.PARv = 0;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.aspectX, 720);
         EXPECT_EQ(d.settings.aspectY, 576);
       }},
      {"interlaced progressive word",
       [](Inputs& in) { in.params.progressive = 2; },
       [](const Derived& d) { EXPECT_EQ(d.settings.progressiveSequence, 0); }},
      {"variable rate from the block",
       [](Inputs& in) { in.params.rateControl = VEP_RATE_VBR; },
       [](const Derived& d) { EXPECT_EQ(d.settings.variableBitRate, 1); }},
      {"variable rate from the output flags",
       [](Inputs& in) { in.output.VideoFlags = QVA_VIDEOFLAG_VBR; },
       [](const Derived& d) { EXPECT_EQ(d.settings.variableBitRate, 1); }},
      {"H.264 slice layout",
       [](Inputs& in) {
         in.params.h264Slices = 0x104;
         in.params.h264SliceSizeLimit = 0x12345;
       },
       [](const Derived& d) { EXPECT_EQ(d.settings.sliceLayout, 0x04 | (0x2345 << 8)); }},
      {"CPU workers with default counts",
       [](Inputs& in) { in.params.engineFlags = VEP_ENGINE_ACCELERATOR; },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.workerFlags, WORKER_ACCELERATOR);
         EXPECT_EQ(d.settings.workerCounts, (2 << 24) | 2);
       }},
      {"CPU workers with both counts, GPU bit ignored",
       [](Inputs& in) {
         in.params.engineFlags = VEP_ENGINE_ACCELERATOR | VEP_ENGINE_GPU;
         in.params.encoderCount = 3;
         in.params.gpuMask = 5;
       },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.workerFlags, WORKER_ACCELERATOR);
         EXPECT_EQ(d.settings.workerCounts, (5 << 24) | 3);
         EXPECT_EQ(d.settings.gpuDeviceWord, 0x0F08);  // kept
       }},
      {"GPU without CPU workers",
       [](Inputs& in) { in.params.engineFlags = VEP_ENGINE_GPU; },
       [](const Derived& d) {
         EXPECT_EQ(d.settings.workerFlags, WORKER_GPU);
         EXPECT_EQ(d.settings.workerCounts, 0);
         EXPECT_EQ(d.settings.gpuDeviceWord, 0);
       }},
  };
  for (const DeriveCase& c : cases) {
    SCOPED_TRACE(c.name);
    Inputs in = BaseInputs();
    c.setUp(in);
    Derived d;
    d.settings.gpuDeviceWord = 0x0F08;
    DeriveEncoderSettings(in.params, in.input, in.output, d.settings, d.request);
    d.output = in.output;
    c.check(d);
  }
}

TEST(DeriveEncoderSettings, UnknownSubtypeKeepsTheCodec) {
  Inputs in = BaseInputs();
  in.output.subtype = QVA_MSUBTYPE_YUV420;
  Derived d;
  d.settings.codec = CODEC_MPEG4;
  DeriveEncoderSettings(in.params, in.input, in.output, d.settings, d.request);
  EXPECT_EQ(d.settings.codec, CODEC_MPEG4);
}

}  // namespace
