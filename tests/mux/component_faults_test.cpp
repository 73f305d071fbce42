// qvacmux.so loaded by name: its descriptor and method answers, and the faults it must survive
// (small or refusing sinks, refused formats, repeated format changes, two instances at once).
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "media/media_codes.h"
#include "media/media_params.h"
#include "media/video_encoder_params.h"
#include "mux/component/mux_component.h"
#include "tests/mux/es_fixtures.h"
#include "tests/mux/mux_component_driver.h"
#include "tests/mux/mux_harness.h"
#include "tests/support/test_paths.h"
#include "tests/support/waiting.h"

namespace orx::mux::test {
namespace {

// One second of NTSC MPEG-2 and MP2, and what the core writes of it.
struct FaultInputs {
  EsFixture video = Mpeg2Video(720, 480, "30000/1001", 30);
  EsFixture audio = Mp2Audio(48000, 192, 1.0);
  std::vector<uint8_t> expected;

  FaultInputs() {
    CoreRun core;
    core.video = &video.samples;
    core.audio = &audio.samples;
    MemoryBitStream out;
    EXPECT_TRUE(RunCore(core, out));
    expected = out.segments[0];
  }
  ComponentRun Run(const AudioMediaType& audioType) const {
    ComponentRun run;
    run.video.format = RecordBytes(MakeVideoType(QVA_MSUBTYPE_MPV2, 720, 480, 29970, 8000000));
    run.video.samples = &video.samples;
    run.audio.format = RecordBytes(audioType);
    run.audio.samples = &audio.samples;
    return run;
  }
};

const FaultInputs& Inputs() {
  static const FaultInputs inputs;
  return inputs;
}

bool IsPrefix(const std::vector<uint8_t>& part, const std::vector<uint8_t>& whole) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

enum class AudioVariant { kMp2, kLpcm44100, kCodecPrivate33 };

struct FaultCase {
  const char* name;
  uint32_t sinkCapacity;
  size_t refuseLendingFrom;
  size_t refuseDeliveryFrom;
  AudioVariant audio;
  size_t repeatFormatBefore;  // on both pins
  QVAStatus error;            // what the error callback reports (0: none)
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class ComponentFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ComponentFaults, EndAsTheyShould) {
  const FaultCase& c = GetParam();
  const FaultInputs& in = Inputs();
  AudioMediaType audioType = MakeAudioType(QVA_MSUBTYPE_MPA2, 48000, 2, 192000);
  if (c.audio == AudioVariant::kLpcm44100) audioType = MakeAudioType(QVA_MSUBTYPE_PCM, 44100, 2, 1411200);
  if (c.audio == AudioVariant::kCodecPrivate33) audioType.codecPrivateLength = 33;
  ComponentRun run = in.Run(audioType);
  run.video.repeatFormatBefore = c.repeatFormatBefore;
  run.audio.repeatFormatBefore = c.repeatFormatBefore;
  MuxLibrary library;
  MuxSink sink(c.sinkCapacity, c.refuseLendingFrom, c.refuseDeliveryFrom);
  ComponentResult result;
  RunComponent(library, run, sink, result);
  ASSERT_EQ(result.setupStatus, 0);
  EXPECT_EQ(result.errorStatus, c.error);
  // A failure ends the stream downstream too.
  EXPECT_TRUE(result.ended) << "no end of stream reached the sink";
  const std::vector<uint8_t> bytes = sink.Bytes();
  EXPECT_LE(sink.LargestBuffer(), c.sinkCapacity);
  if (c.error == 0) {
    EXPECT_TRUE(bytes == in.expected) << bytes.size() << " bytes instead of " << in.expected.size();
  } else if (c.refuseLendingFrom != MuxSink::kNever || c.refuseDeliveryFrom != MuxSink::kNever) {
    // What the sink took before it refused is the stream's start, and nothing came after.
    EXPECT_TRUE(IsPrefix(bytes, in.expected));
    EXPECT_EQ(bytes.size(), std::min(c.refuseLendingFrom, c.refuseDeliveryFrom) * 2048);
  } else {
    // A refused format writes nothing, rather than an empty stream reported as success.
    EXPECT_TRUE(bytes.empty()) << bytes.size() << " bytes written";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Component, ComponentFaults,
    ::testing::Values(
        // Each 2048-byte pack goes out in three lent buffers; the bytes are the same.
        FaultCase{"SinkLends1000ByteBuffers", 1000, MuxSink::kNever, MuxSink::kNever, AudioVariant::kMp2,
                  MuxSink::kNever, 0},
        FaultCase{"SinkRefusesToLend", 16384, 5, MuxSink::kNever, AudioVariant::kMp2, MuxSink::kNever,
                  QVA_ERR_NOBUFFERS},
        FaultCase{"SinkRefusesADelivery", 16384, MuxSink::kNever, 5, AudioVariant::kMp2, MuxSink::kNever,
                  QVA_ERR_WRITE},
        // The LPCM substream header codes 48 and 96 kHz only.
        FaultCase{"Lpcm44100Refused", 16384, MuxSink::kNever, MuxSink::kNever, AudioVariant::kLpcm44100,
                  MuxSink::kNever, QVA_ERR_FORMAT},
        FaultCase{"AudioCodecPrivate33Refused", 16384, MuxSink::kNever, MuxSink::kNever,
                  AudioVariant::kCodecPrivate33, MuxSink::kNever, QVA_ERR_FORMAT},
        FaultCase{"SecondFormatChangeMidStream", 16384, MuxSink::kNever, MuxSink::kNever, AudioVariant::kMp2, 12,
                  0}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// Each instance writes its own stream through its own bit stream, at the same time as the
// other; the first to finish is released while the other may still be writing.
TEST(MuxComponentThreads, TwoInstancesWriteTheirOwnStreams) {
  const FaultInputs& ntsc = Inputs();
  const EsFixture palVideo = Mpeg2Video(720, 576, "25", 25);
  CoreRun core;
  core.video = &palVideo.samples;
  core.audio = &ntsc.audio.samples;
  MemoryBitStream palOut;
  ASSERT_TRUE(RunCore(core, palOut));
  ComponentRun pal = ntsc.Run(MakeAudioType(QVA_MSUBTYPE_MPA2, 48000, 2, 192000));
  pal.video.format = RecordBytes(MakeVideoType(QVA_MSUBTYPE_MPV2, 720, 576, 25000, 8000000));
  pal.video.samples = &palVideo.samples;

  MuxLibrary library;
  MuxSink ntscSink, palSink;
  ComponentResult ntscResult, palResult;
  std::thread first(RunComponent, std::ref(library), ntsc.Run(MakeAudioType(QVA_MSUBTYPE_MPA2, 48000, 2, 192000)),
                    std::ref(ntscSink), std::ref(ntscResult));
  std::thread second(RunComponent, std::ref(library), pal, std::ref(palSink), std::ref(palResult));
  first.join();
  second.join();
  EXPECT_EQ(ntscResult.errorStatus, 0);
  EXPECT_EQ(palResult.errorStatus, 0);
  EXPECT_TRUE(ntscSink.Bytes() == ntsc.expected) << "the NTSC stream";
  EXPECT_TRUE(palSink.Bytes() == palOut.segments[0]) << "the PAL stream";
}

// An export stopped before its streams end: the end of the component ends the streams still
// running, and their last packs and the end code reach the file before it is closed.
TEST(ComponentEnd, EndBeforeTheStreamsEndFinishesTheFile) {
  const FaultInputs& in = Inputs();
  const std::string path = orx::test::MakeTempDir("mux-end") + "/out.mpg";
  ComponentRun run = in.Run(MakeAudioType(QVA_MSUBTYPE_MPA2, 48000, 2, 192000));
  run.url = path;
  run.video.end = false;
  run.beforeEnd = [&] {
    // Every sample is written but for the packs the multiplexer still holds open.
    // Only the file shows how far the component's worker has come.
    const size_t written = in.expected.size() - 4 * 2048;
    EXPECT_TRUE(orx::test::PollUntil([&] { return std::filesystem::file_size(path) >= written; },
                                     std::chrono::milliseconds(60000), std::chrono::milliseconds(10)));
  };
  MuxLibrary library;
  MuxSink sink;
  ComponentResult result;
  RunComponent(library, run, sink, result);
  EXPECT_EQ(result.errorStatus, 0);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_GE(bytes.size(), in.expected.size() - 4 * 2048);
  EXPECT_EQ(bytes.size() % 2048, 0u);
  const ProgramStreamWalk walk = WalkProgramStream(bytes, 2048);
  EXPECT_TRUE(walk.everyPackStartsWithBa);
  EXPECT_EQ(walk.endCodes, 1u);
  const std::vector<uint8_t> endCode = {0x00, 0x00, 0x01, 0xB9};
  EXPECT_TRUE(std::search(bytes.end() - 2048, bytes.end(), endCode.begin(), endCode.end()) != bytes.end())
      << "the last pack holds the program end code";
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_EQ(sink.DataBuffers(), 0u);
}

// The method table's answers, as an engine meets them before it starts the component.
class ComponentMethods : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library.Loaded());
    ASSERT_EQ(library.create(nullptr, &instance), QVA_SUCCESS);
  }
  void TearDown() override {
    if (instance != nullptr) {
      EXPECT_EQ(library.release(instance), QVA_SUCCESS);
    }
  }
  QVACompMethods& Methods() { return instance->methods; }
  MuxComponentState& State() { return *CompPrivate<MuxComponentState>(instance); }
  MuxLibrary library;
  ComponentInstance* instance = nullptr;
};

TEST_F(ComponentMethods, Descriptor) {
  EXPECT_EQ(library.libGetCount(), 1u);
  uint8_t record[kQVAInfoRecordSize];
  ASSERT_EQ(library.getInfo(0, record), QVA_SUCCESS);
  ComponentInfo info{};
  std::memcpy(&info, record, sizeof record);
  EXPECT_EQ(info.interfaceVersion, 0x40001u);
  EXPECT_EQ(info.typesVersion, 0x10001u);
  EXPECT_EQ(info.typeFlags, 0x00800080u);
  EXPECT_EQ(info.compVersion, 1u);
  EXPECT_EQ(info.compBuild, 1u);
  const uint8_t id[8] = {0x00, 0x10, 0xef, 0x00, 0x00, 0x00, 0x00, 0x07};
  EXPECT_EQ(std::memcmp(info.compId, id, sizeof id), 0);
  EXPECT_STREQ(info.shortName, "CMUX");
  EXPECT_STREQ(info.longName, "Pelkor Mux Writer");
  EXPECT_EQ(info.inputPins, 2u);
  EXPECT_EQ(info.outputPins, 1u);
  EXPECT_EQ(info.maxInstances, 16u);
  // Every slot but the reserved last one is filled; slot 12 is the framework's refusal.
  void* const* slots = reinterpret_cast<void* const*>(&instance->methods);
  for (size_t slot = 0; slot < 19; ++slot) EXPECT_NE(slots[slot], nullptr) << slot;
  EXPECT_EQ(instance->methods.reserved19, nullptr);
  EXPECT_EQ(Methods().QVAComp_ConnectInput(instance, nullptr, 0, 0, 0), QVA_ERR_UNSUPPORTED);
}

TEST_F(ComponentMethods, RefusalsAndQueueSizes) {
  VideoMediaType video = MakeVideoType(QVA_MSUBTYPE_MPV2, 720, 480, 29970, 0);
  AudioMediaType pcm = MakeAudioType(QVA_MSUBTYPE_PCM, 48000, 2, 1536000);
  AudioMediaType longPrivate = MakeAudioType(QVA_MSUBTYPE_AAC, 48000, 2, 128000);
  longPrivate.codecPrivateLength = 33;
  StreamMediaType output{};
  output.size = 8;
  uint8_t format[sizeof(StreamMediaType)] = {};
  VideoEncoderParams params{};
  QVAGetEmptyBufferFn get = nullptr;
  QVADeliverBufferFn deliver = nullptr;
  struct Call {
    const char* what;
    QVAStatus answer;
    QVAStatus expected;
  };
  const Call calls[] = {
      {"input pin 2", Methods().QVAComp_GetInputPin(instance, 2, &get, &deliver), QVA_ERR_UNSUPPORTED},
      {"format of output pin 1", Methods().QVAComp_GetFormat(instance, 1, 1, format), QVA_ERR_UNSUPPORTED},
      {"format into no record", Methods().QVAComp_GetFormat(instance, 1, 0, nullptr), QVA_ERR_BADARG},
      {"output format of 8 bytes", Methods().QVAComp_SetFormat(instance, 1, 0, &output), QVA_ERR_TOOSMALL},
      {"output format on pin 1", Methods().QVAComp_SetFormat(instance, 1, 1, &output), QVA_ERR_UNSUPPORTED},
      {"video format on the audio pin", Methods().QVAComp_SetFormat(instance, 0, 1, &video), QVA_ERR_UNSUPPORTED},
      {"audio format on the video pin", Methods().QVAComp_SetFormat(instance, 0, 0, &pcm), QVA_ERR_UNSUPPORTED},
      {"input pin 2 format", Methods().QVAComp_SetFormat(instance, 0, 2, &video), QVA_ERR_UNSUPPORTED},
      {"no input format", Methods().QVAComp_SetFormat(instance, 0, 0, nullptr), QVA_ERR_BADARG},
      {"33 codec-private bytes", Methods().QVAComp_SetFormat(instance, 0, 1, &longPrivate), QVA_ERR_FORMAT},
      {"short encoder parameters",
       Methods().QVAComp_SetParam(instance, QVA_PARAM_VIDEOENCODER, &params, sizeof params - 1), QVA_ERR_TOOSMALL},
      {"no encoder parameters", Methods().QVAComp_SetParam(instance, QVA_PARAM_VIDEOENCODER, nullptr, 212),
       QVA_ERR_BADARG},
      {"open mode 256", Methods().QVAComp_OpenURL(instance, 0, "out.mpg", 256, nullptr), QVA_ERR_UNSUPPORTED},
      {"open mode 2", Methods().QVAComp_OpenURL(instance, 0, "out.mpg", 2, nullptr), QVA_ERR_BADARG},
      {"close with no file", Methods().QVAComp_OpenURL(instance, 0, nullptr, 0, nullptr), QVA_ERR_BADARG},
  };
  for (const Call& call : calls) EXPECT_EQ(call.answer, call.expected) << call.what;
  EXPECT_EQ(State().formatKnown[kAudioPin], 0u) << "a refused audio format is not kept";

  // The video queue grows with the bit rate (multiples of 128 buffers), never shrinks; PCM
  // audio takes 128 buffers.
  EXPECT_EQ(State().videoBufferCount, 128u);
  params.averageBitRate = 4000000;
  ASSERT_EQ(Methods().QVAComp_SetParam(instance, QVA_PARAM_VIDEOENCODER, &params, sizeof params), QVA_SUCCESS);
  EXPECT_EQ(State().videoBufferCount, 256u);
  params.peakBitRate = 8000000;
  ASSERT_EQ(Methods().QVAComp_SetParam(instance, QVA_PARAM_VIDEOENCODER, &params, sizeof params), QVA_SUCCESS);
  EXPECT_EQ(State().videoBufferCount, 512u);
  params.averageBitRate = params.peakBitRate = 1000000;
  ASSERT_EQ(Methods().QVAComp_SetParam(instance, QVA_PARAM_VIDEOENCODER, &params, sizeof params), QVA_SUCCESS);
  EXPECT_EQ(State().videoBufferCount, 512u);
  EXPECT_EQ(State().audioBufferCount, 256u);
  ASSERT_EQ(Methods().QVAComp_SetFormat(instance, 0, 1, &pcm), QVA_SUCCESS);
  EXPECT_EQ(State().audioBufferCount, 128u);
}

// A path of 299 characters fits (with its terminator) and names the file; one of 300 is
// refused rather than cut. The "file:/" prefix is cut, whatever its letter case, so
// "file://abs/path" names "/abs/path".
TEST_F(ComponentMethods, OutputPaths) {
  const std::string dir = orx::test::MakeTempDir("mux-path");
  ASSERT_LT(dir.size(), 180u);
  // In a folder of its own, so that no name of the path is longer than a name can be.
  const std::string folder = dir + "/" + std::string(100, 'f');
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const std::string fits = folder + "/" + std::string(299 - folder.size() - 1, 'p');
  ASSERT_EQ(fits.size(), 299u);
  EXPECT_EQ(Methods().QVAComp_OpenURL(instance, 0, ("FILE:/" + fits).c_str(), 0, nullptr), QVA_SUCCESS);
  EXPECT_STREQ(State().fileName, fits.c_str());
  EXPECT_EQ(Methods().QVAComp_OpenURL(instance, 0, nullptr, 0, nullptr), QVA_SUCCESS);
  EXPECT_EQ(Methods().QVAComp_OpenURL(instance, 0, fits.c_str(), 1, nullptr), QVA_SUCCESS);
  EXPECT_TRUE(std::ifstream(fits).good()) << "the output file is made at once";
  EXPECT_EQ(Methods().QVAComp_OpenURL(instance, 0, (fits + "q").c_str(), 0, nullptr), QVA_ERR_BADARG);
  EXPECT_EQ(Methods().QVAComp_OpenURL(instance, 0, ("file:/" + fits + "q").c_str(), 0, nullptr), QVA_ERR_BADARG);
  EXPECT_EQ(Methods().QVAComp_OpenURL(instance, 0, (dir + "/missing/out.mpg").c_str(), 0, nullptr), QVA_ERR_OPEN);
  EXPECT_EQ(State().lastError, static_cast<uint32_t>(QVA_ERR_OPEN));
}

}  // namespace
}  // namespace orx::mux::test
