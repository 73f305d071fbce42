// Exports through the host, the plug-in and the export bridge, with the scripted engine in
// place of the transcode engine: what reaches the engine, what the host is left with, and how
// the pass ends when it is cancelled, suspended or something fails.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

#include "host/host_frame.h"
#include "media/media_codes.h"
#include "plugin/export/enc_session.h"
#include "plugin/export/host_pixel_formats.h"
#include "support/audio_clip.h"
#include "support/test_pattern.h"
#include "tests/plugin/export/export_fixture.h"

namespace orx::plugin::test {
namespace {

using host::CompletionOrder;

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::vector<uint8_t> PatternFrame(int w, int h, int64_t index) {
  std::vector<uint8_t> f(support::TestPatternFrameBytes(w, h));
  support::RenderTestPattern(w, h, index, f.data());
  return f;
}

// Every frame reached the engine once, and each equals the source frame of its time.
void ExpectFramesMatchPattern(const EngineRecord& engine, int w, int h, int frames,
                              double minPsnr) {
  ASSERT_EQ(engine.frames.size(), static_cast<size_t>(frames));
  std::set<uint64_t> times;
  for (const ScriptedFrame& f : engine.frames) {
    times.insert(f.time);
    int64_t index =
        static_cast<int64_t>(std::llround(static_cast<double>(f.time) * 30000.0 / 1001000.0));
    ASSERT_FALSE(f.i420.empty()) << "subtype 0x" << std::hex << f.subtype;
    EXPECT_GE(LumaPsnr(f.i420, PatternFrame(w, h, index), w, h), minPsnr)
        << "frame " << index << " subtype 0x" << std::hex << f.subtype;
  }
  EXPECT_EQ(times.size(), static_cast<size_t>(frames));
}

TEST_F(ExportTest, VideoOnlyElementaryExportGivesEveryFrameOnceAndLeavesNothingBehind) {
  ExportRun run = Export(Pattern(), Options(30), {{"ORXMultiplexerContainer", "0"}});
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, 0);
  EXPECT_FALSE(run.outcome.hostFault) << run.outcome.hostFaultText;
  EXPECT_TRUE(run.suitesBalance);
  // One pass to the video elementary target, fed host 'vuya' frames.
  ASSERT_EQ(run.engine.targets.size(), 1u);
  EXPECT_EQ(run.engine.targets[0].MType, QVA_MTYPE_VIDEO);
  EXPECT_EQ(run.engine.targets[0].subtype, QVA_MSUBTYPE_MPV2);
  EXPECT_EQ(run.engine.sourceSubtypes, std::vector<uint32_t>{QVA_MSUBTYPE_YUV444I});
  ExpectFramesMatchPattern(run.engine, 352, 240, 30, 99.0);
  EXPECT_EQ(run.engine.videoEndMarkers, 1);
  EXPECT_EQ(run.engine.releases, 1);
  EXPECT_EQ(run.engine.deliveriesWhileReleased, 0);
  EXPECT_LE(run.outcome.render.maxOutstanding, host::kMaxOutstandingFrames);
  EXPECT_EQ(host::LiveHostFrames(), 0);
  EXPECT_EQ(run.outcome.reservedMemory, 352u * 240u * 120u);
  // The engine's output reached the file: one record per frame.
  std::ifstream out(dir_ + "/out.m2v", std::ios::binary | std::ios::ate);
  EXPECT_EQ(static_cast<int64_t>(out.tellg()), 30 * 16);
  // Progress: steps of at least 0.005, up to the last frame's share.
  const std::vector<float>& p = run.outcome.progress.reports;
  ASSERT_FALSE(p.empty());
  for (size_t i = 1; i + 1 < p.size(); ++i) EXPECT_GE(p[i] - p[i - 1], 0.005f - 1e-6f) << i;
  EXPECT_GE(p.back(), 29.0f / 30.0f - 1e-4f);
  EXPECT_TRUE(Session().sinkEnded.load());
}

TEST_F(ExportTest, EveryHostPixelFormatReachesTheEngineAsTheSamePicture) {
  struct Row {
    const char* format;
    uint32_t subtype;
    double psnr;  // 'bgra' goes through RGB and back
  };
  const Row rows[] = {{"vuya", QVA_MSUBTYPE_YUV444I, 99.0},
                      {"bgra", QVA_MSUBTYPE_BGRA, 40.0},
                      {"yuy2", QVA_MSUBTYPE_YUV422I, 99.0},
                      {"yv12", QVA_MSUBTYPE_YUV420, 99.0},
                      {"yvi2", QVA_MSUBTYPE_YUV420, 99.0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.format);
    host::ExportOptions o = Options(6);
    std::pair<int64_t, uint32_t> forced;
    ASSERT_TRUE(host::ParseForcedFormat(row.format, forced));
    o.forcedFormats = {forced};
    ExportRun run = Export(Pattern(), o);
    ASSERT_TRUE(run.ran) << run.error;
    EXPECT_EQ(run.outcome.answer, 0);
    ASSERT_FALSE(run.engine.sourceSubtypes.empty());
    EXPECT_EQ(run.engine.sourceSubtypes.back(), row.subtype);
    ExpectFramesMatchPattern(run.engine, 352, 240, 6, row.psnr);
  }
}

// The host's choice among the formats a render request lists: its own planar 4:2:0 wherever
// the plug-in lists it, else the plug-in's first that it renders. The plug-in's own lists, by
// the source subtype a request is made for, and lists built to show each rule.
TEST(HostRenderFormat, PlanarWhenListedElseThePluginsFirst) {
  using namespace host_sdk;
  struct Row {
    const char* name;
    std::vector<uint32_t> formats;
    uint32_t chosen;
  };
  auto listed = [](uint32_t subtype) {
    std::span<const uint32_t> list = PixelFormatPreferences(subtype);
    return std::vector<uint32_t>(list.begin(), list.end());
  };
  const Row rows[] = {
      {.name = "the plug-in's 4:2:0 list", .formats = listed(QVA_MSUBTYPE_YUV420), .chosen = kPixelFormatYvi2},
      {.name = "the plug-in's 4:4:4 list", .formats = listed(QVA_MSUBTYPE_YUV444I), .chosen = kPixelFormatVuya},
      {.name = "the plug-in's 4:2:2 list", .formats = listed(QVA_MSUBTYPE_YUV422I), .chosen = kPixelFormatYuy2},
      {.name = "the plug-in's BGRA list", .formats = listed(QVA_MSUBTYPE_BGRA), .chosen = kPixelFormatBgra},
      {.name = "the plug-in's list for any other", .formats = listed(0), .chosen = kPixelFormatYv12},
      {.name = "planar listed last", .formats = {kPixelFormatVuya, kPixelFormatBgra, kPixelFormatYv12},
       .chosen = kPixelFormatYv12},
      {.name = "a format the host lacks first", .formats = {kPixelFormatVUya, kPixelFormatBgra}, .chosen = kPixelFormatBgra},
      {.name = "none the host renders", .formats = {kPixelFormatVUya}, .chosen = 0},
      {.name = "an empty list", .formats = {}, .chosen = 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(host::ChooseRenderFormat(row.formats.data(), static_cast<int>(row.formats.size())), row.chosen);
  }
}

// The host keeps the frames the plug-in gives back and renders later frames into them: a frame
// first rendered in one layout and reused for another (planar read straight from the source,
// then packed 4:4:4 of twice the size, then planar again) carries the right picture each time.
TEST_F(ExportTest, ReusedHostFramesCarryTheirNewPictureInAnyLayout) {
  host::ExportOptions o = Options(45);
  std::pair<int64_t, uint32_t> yv12, vuya, back;
  ASSERT_TRUE(host::ParseForcedFormat("yv12", yv12));
  ASSERT_TRUE(host::ParseForcedFormat("vuya@15", vuya));
  ASSERT_TRUE(host::ParseForcedFormat("yv12@30", back));
  o.forcedFormats = {yv12, vuya, back};
  ExportRun run = Export(Pattern(), o);
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, 0);
  EXPECT_EQ(run.engine.sourceSubtypes,
            (std::vector<uint32_t>{QVA_MSUBTYPE_YUV444I, QVA_MSUBTYPE_YUV420, QVA_MSUBTYPE_YUV444I,
                                   QVA_MSUBTYPE_YUV420}));
  ExpectFramesMatchPattern(run.engine, 352, 240, 45, 99.0);
  EXPECT_EQ(host::LiveHostFrames(), 0);
}

// The host renders 'vuya', then 'bgra' from frame 6 on.
host::ExportOptions SwitchToBgraAtSix(host::ExportOptions o) {
  std::pair<int64_t, uint32_t> vuya, bgra;
  EXPECT_TRUE(host::ParseForcedFormat("vuya", vuya));
  EXPECT_TRUE(host::ParseForcedFormat("bgra@6", bgra));
  o.forcedFormats = {vuya, bgra};
  return o;
}

TEST_F(ExportTest, APixelFormatSwitchReopensTheSourceWithTheNewLayout) {
  ExportRun run = Export(Pattern(), SwitchToBgraAtSix(Options(12)));
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, 0);
  EXPECT_EQ(run.engine.sourceSubtypes,
            (std::vector<uint32_t>{QVA_MSUBTYPE_YUV444I, QVA_MSUBTYPE_BGRA}));
  ExpectFramesMatchPattern(run.engine, 352, 240, 12, 40.0);
}

// A switch the engine does not take (its graph's queue stayed full): the frames in the new
// layout are not delivered to be read in the old one, each tries the open again, and the
// export fails instead of answering success with a garbled second half.
TEST_F(ExportTest, APixelFormatSwitchTheEngineRefusesFailsTheExport) {
  script_.keepFrames = false;
  script_.reopenVideo = QVA_ERR_TIMEOUT;
  ExportRun run = Export(Pattern(), SwitchToBgraAtSix(Options(12)));
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, kResultExportFailed);
  EXPECT_EQ(run.engine.frames.size(), 6u);
  EXPECT_EQ(Session().unmappedFrames, 6u);
  EXPECT_EQ(run.engine.sourceSubtypes.size(), 7u);  // the first open and one try per frame
  EXPECT_EQ(host::LiveHostFrames(), 0);
}

TEST_F(ExportTest, CompletionOrdersAllEndWithOneEndMarkerAndNoFrameLeft) {
  struct Row {
    CompletionOrder order;
    int threads;
    bool releaseWithoutHandle;
  };
  const Row rows[] = {{CompletionOrder::kInOrder, 2, false},
                      {CompletionOrder::kShuffled, 4, false},
                      {CompletionOrder::kEarlyFinal, 2, false},
                      {CompletionOrder::kShuffled, 3, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.order));
    script_.releaseWithoutHandle = row.releaseWithoutHandle;
    script_.keepFrames = false;
    host::ExportOptions o = Options(40);
    o.order = row.order;
    o.renderThreads = row.threads;
    o.shuffleWindow = 8;
    ExportRun run = Export(Pattern(), o);
    ASSERT_TRUE(run.ran) << run.error;
    EXPECT_EQ(run.outcome.answer, 0);
    EXPECT_FALSE(run.outcome.hostFault) << run.outcome.hostFaultText;
    EXPECT_EQ(run.engine.frames.size(), 40u);
    EXPECT_EQ(run.engine.videoEndMarkers, 1);
    EXPECT_LE(run.outcome.render.maxOutstanding, host::kMaxOutstandingFrames);
    EXPECT_EQ(host::LiveHostFrames(), 0);
    // A release that carries no frame changes no count and frees no slot.
    EXPECT_EQ(Session().framesInFlight.load(), 0);
    EXPECT_EQ(Session().frameSlots.refusedReleases(), 0);
    EXPECT_EQ(Session().frameSlots.available(), kFrameSlotCount);
    EXPECT_EQ(Session().videoState.load(), static_cast<uint32_t>(kVideoOff));
  }
}

TEST_F(ExportTest, ASuspendAnsweredWithResumeContinues) {
  host::ExportOptions o = Options(30);
  o.suspendAtFrame = 10;
  ExportRun run = Export(Pattern(), o);
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, 0);
  EXPECT_EQ(run.outcome.progress.suspends, 1);
  EXPECT_EQ(run.outcome.progress.resumes, 1);
  EXPECT_EQ(run.engine.frames.size(), 30u);
  EXPECT_TRUE(FileExists(dir_ + "/out.m2v"));
}

TEST_F(ExportTest, ACancelEndsThePassCleanlyAndLeavesNoFile) {
  script_.keepFrames = false;
  host::ExportOptions o = Options(100);
  o.cancelAtFrame = 30;
  ExportRun run = Export(Pattern(), o, {}, 0x4D504732);
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, host_sdk::kProgressCancel);
  EXPECT_TRUE(run.outcome.progress.cancelled);
  EXPECT_TRUE(run.outcome.partialOutputDiscarded);
  EXPECT_FALSE(FileExists(dir_ + "/out.m2v"));
  EXPECT_LT(run.engine.frames.size(), 100u);
  // The end marker went out once and the engine's end came before the finish gave up on it.
  EXPECT_EQ(run.engine.videoEndMarkers, 1);
  EXPECT_TRUE(Session().sinkEnded.load());
  EXPECT_EQ(run.engine.releases, 1);
  EXPECT_EQ(host::LiveHostFrames(), 0);
  EXPECT_FALSE(run.outcome.hostFault) << run.outcome.hostFaultText;
}

TEST_F(ExportTest, AFailedWriteFailsTheExportAndNothingIsWrittenAfterIt) {
  script_.keepFrames = false;
  host::ExportOptions o = Options(20);
  o.failWrite = 5;
  ExportRun run = Export(Pattern(), o);
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, kResultExportFailed);
  EXPECT_TRUE(Session().writeFailed.load());
  EXPECT_TRUE(run.outcome.partialOutputDiscarded);
  EXPECT_FALSE(FileExists(dir_ + "/out.m2v"));
}

// A component that fails ends its stream as one that finished; the engine's end wait answers its
// error, and that fails the export. A wait that only ran out of time does not.
TEST_F(ExportTest, AComponentErrorAtTheEndWaitFailsTheExport) {
  const struct {
    QVAStatus wait;
    int32_t answer;
  } rows[] = {{QVA_ERR_OPEN, kResultExportFailed}, {QVA_ERR_WRITE, kResultExportFailed}, {QVA_ERR_TIMEOUT, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.wait);
    script_ = EngineScript{};
    script_.keepFrames = false;
    script_.wait = row.wait;
    ExportRun run = Export(Pattern(), Options(10));
    ASSERT_TRUE(run.ran) << run.error;
    EXPECT_EQ(run.outcome.answer, row.answer);
    EXPECT_EQ(run.outcome.partialOutputDiscarded, row.answer != 0);
    EXPECT_EQ(FileExists(dir_ + "/out.m2v"), row.answer == 0);
    EXPECT_EQ(run.engine.frames.size(), 10u);
    EXPECT_EQ(host::LiveHostFrames(), 0);
  }
}

TEST_F(ExportTest, AFrameInAFormatTheEngineCannotTakeIsNotDelivered) {
  script_.keepFrames = false;
  host::ExportOptions o = Options(10);
  o.forcedFormats = {{0, host_sdk::kPixelFormatVuya},
                     {4, host_sdk::kPixelFormatVUya},
                     {5, host_sdk::kPixelFormatVuya}};
  ExportRun run = Export(Pattern(), o);
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, kResultExportFailed);
  EXPECT_EQ(Session().unmappedFrames, 1u);
  EXPECT_EQ(run.engine.frames.size(), 9u);
  EXPECT_EQ(run.engine.sourceSubtypes, std::vector<uint32_t>{QVA_MSUBTYPE_YUV444I});
  EXPECT_EQ(host::LiveHostFrames(), 0);
}

TEST_F(ExportTest, AStalledEngineDoesNotHangTheExport) {
  script_.keepFrames = false;
  script_.stallFrom = 5;
  ExportRun run = Export(Pattern(), Options(12));
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, kResultExportFailed);
  EXPECT_EQ(run.engine.frames.size(), 5u);
  EXPECT_GE(Session().abandonedFrames, 1u);
  EXPECT_EQ(host::LiveHostFrames(), 0);
  EXPECT_EQ(run.engine.releases, 1);
}

// An output that ends while frames are still to come (a program stream's multiplexer ends its
// output at an end of stream, and what follows never reaches the file) fails the export; it
// used to answer success with the short stream.
TEST_F(ExportTest, AnOutputThatEndsBeforeTheVideoFailsTheExport) {
  script_.keepFrames = false;
  script_.endOutputAfter = 4;
  ExportRun run = Export(Pattern(), Options(12));
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, kResultExportFailed);
  EXPECT_TRUE(Session().outputEndedEarly.load());
  EXPECT_EQ(host::LiveHostFrames(), 0);
  EXPECT_EQ(run.engine.releases, 1);
}

// The finish waits for the output's end while the engine still writes: an encoder that takes
// longer than the wait to write its last pictures (a loaded machine) keeps them, where the
// finish used to flush them away after its 10 s and answer success with a short file. An
// output that stops and never ends fails the export. The wait is 500 ms here, ten times the
// gap between two tail writes, so that a loaded machine does not stretch a gap into a wait.
TEST_F(ExportTest, TheFinishWaitsForAnOutputStillWritingAndFailsOneThatNeverEnds) {
  struct Row {
    const char* what;
    int tailWrites;
    bool neverEnds;
    int32_t answer;
  };
  const Row rows[] = {
      {"ends after writing for more than two waits", 24, false, 0},
      {"writes and never ends", 3, true, kResultExportFailed},
      {"never ends, writing nothing", 0, true, kResultExportFailed},
  };
  SetSinkEndWaitMsForTest(500);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    script_ = EngineScript{};
    script_.keepFrames = false;
    script_.tailWrites = row.tailWrites;
    script_.tailWriteMs = 50;
    script_.neverEndOutput = row.neverEnds;
    // A failed export leaves an earlier output as it was: each row starts without one.
    std::remove((dir_ + "/out.m2v").c_str());
    ExportRun run = Export(Pattern(), Options(12));
    ASSERT_TRUE(run.ran) << run.error;
    EXPECT_EQ(run.outcome.answer, row.answer);
    EXPECT_EQ(run.engine.tailWritesDone, row.tailWrites);
    EXPECT_EQ(Session().outputNeverEnded.load(), row.neverEnds);
    EXPECT_EQ(FileExists(dir_ + "/out.m2v"), row.answer == 0);
    if (row.answer == 0) {
      // Twelve frame records and the tail's, 16 bytes each.
      std::ifstream out(dir_ + "/out.m2v", std::ios::binary | std::ios::ate);
      EXPECT_EQ(static_cast<int64_t>(out.tellg()), (12 + row.tailWrites) * 16);
    }
    EXPECT_EQ(host::LiveHostFrames(), 0);
  }
  SetSinkEndWaitMsForTest(0);
}

TEST_F(ExportTest, StartFailuresAnswerAnErrorWithoutRequestingFrames) {
  struct Row {
    const char* what;
    QVAStatus EngineScript::*call;
    int32_t answer;
  };
  const Row rows[] = {{"create", &EngineScript::create, host_sdk::kResultEngineNotCreated},
                      {"set config", &EngineScript::setConfig, kResultExportFailed},
                      {"open video", &EngineScript::openVideo, kResultExportFailed},
                      {"open target", &EngineScript::openTarget, kResultExportFailed},
                      {"run", &EngineScript::run, kResultExportFailed}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    script_ = EngineScript{};
    script_.*(row.call) = QVA_ERR_COMPONENTS;
    ExportRun run = Export(Pattern(), Options(10));
    ASSERT_TRUE(run.ran) << run.error;
    EXPECT_EQ(run.outcome.answer, row.answer);
    EXPECT_EQ(run.outcome.render.requests, 0);
    EXPECT_TRUE(run.outcome.partialOutputDiscarded);
    EXPECT_TRUE(run.suitesBalance);
  }
}

// Two passes: the video into the output file, then the audio into the side file; the PCM the
// engine took is the tone, sample for sample, as long as the video.
TEST_F(ExportTest, ElementaryExportWithAudioWritesTheSideFileBesideTheVideo) {
  script_.keepFrames = false;
  host::ExportOptions o = Options(30, "clip.m2v");
  o.tone = true;
  o.toneHz = 440.0;
  ExportRun run = Export(Pattern(), o, {{"ORXMultiplexerContainer", "0"}});
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, 0);
  ASSERT_EQ(run.engine.targets.size(), 2u);
  EXPECT_EQ(run.engine.targets[0].MType, QVA_MTYPE_VIDEO);
  EXPECT_EQ(run.engine.targets[1].MType, QVA_MTYPE_AUDIO);
  EXPECT_EQ(run.engine.targets[1].subtype, QVA_MSUBTYPE_MPA2);
  EXPECT_FALSE(FileExists(dir_ + "/clip.tmp"));
  std::ifstream video(dir_ + "/clip.m2v", std::ios::binary | std::ios::ate);
  EXPECT_EQ(static_cast<int64_t>(video.tellg()), 30 * 16);
  std::ifstream side(dir_ + "/clip.mpa", std::ios::binary | std::ios::ate);
  ASSERT_TRUE(side.good());
  EXPECT_EQ(static_cast<size_t>(side.tellg()), run.engine.audio.size() * 2);
  // 30 frames at 30000/1001 = 1.001 s of stereo at 48 kHz; the end is taken in whole ms.
  size_t frames = run.engine.audio.size() / 2;
  EXPECT_NEAR(static_cast<double>(frames), 48048.0, 48.0);
  for (size_t i = 0; i < frames; i += 97) {
    int expected = static_cast<int>(
        std::trunc(support::ToneSample(440.0, 48000.0, static_cast<int64_t>(i)) * 32767.0));
    ASSERT_EQ(run.engine.audio[2 * i], expected) << i;
    ASSERT_EQ(run.engine.audio[2 * i + 1], expected) << i;
  }
  EXPECT_GE(run.engine.audioEndMarkers, 1);
}

// A two-pass export sets the video aside as NAME.tmp by its path before the audio pass writes
// through the same file object, then renames the audio to NAME.mpa. An export that could not
// keep the two apart fails before a pass: a path the host cannot hand over (longer than its
// path record) once let the audio overwrite the video and answered success, and so did an
// output named clip.mpa (the video moved back over the audio); clip.tmp lost its video to the
// audio pass.
TEST_F(ExportTest, ATwoPassExportThatCannotKeepItsStreamsApartFailsBeforeWriting) {
  // A path of over 255 characters in a folder of 150-character names (a name has at most 255).
  const std::string folder = std::string(150, 'd');
  ASSERT_EQ(::mkdir((dir_ + "/" + folder).c_str(), 0755), 0);
  struct Row {
    std::string name;
    const char* reason;
  } rows[] = {
      {folder + "/" + std::string(150, 'c') + ".m2v", "the output's path is unknown"},
      {"clip.mpa", "named like its temporary or audio side file"},
      {"clip.tmp", "named like its temporary or audio side file"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    debugText_.clear();
    // A file already there is the user's: the export that never opened it leaves it as it was.
    std::ofstream(dir_ + "/" + row.name) << "kept";
    host::ExportOptions o = Options(10, row.name);
    o.tone = true;
    ExportRun run = Export(Pattern(), o, {{"ORXMultiplexerContainer", "0"}});
    ASSERT_TRUE(run.ran) << run.error;
    EXPECT_EQ(run.outcome.answer, kResultExportFailed);
    EXPECT_TRUE(run.engine.targets.empty());
    EXPECT_FALSE(run.outcome.partialOutputDiscarded);
    std::string kept;
    std::ifstream(dir_ + "/" + row.name) >> kept;
    EXPECT_EQ(kept, "kept");
    EXPECT_NE(debugText_.find(row.reason), std::string::npos) << debugText_;
    EXPECT_TRUE(run.suitesBalance);
  }
}

// A log file path longer than the parameter's text is refused, not cut into the name of another
// file: the export logs to the path set before it.
TEST_F(ExportTest, ALogPathTooLongForItsParameterIsRefusedNotCut) {
  script_.keepFrames = false;
  SetDword("Software\\ORX\\AdobePluginCS4", "ShowOnGUI", 0x707);  // the log file is a setting
  const std::string tooLong = dir_ + "/" + std::string(std::max<size_t>(300 - dir_.size(), 20), 'l');
  ExportRun run = Export(Pattern(), Options(5), {{"ORXLogFile", tooLong}});
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, 0);
  EXPECT_NE(run.error.find("ORXLogFile takes a text of at most 255 characters"), std::string::npos)
      << run.error;
  for (const auto& entry : std::filesystem::directory_iterator(dir_))
    EXPECT_NE(entry.path().filename().string().front(), 'l') << entry.path();
}

// One pass into a program stream pumps the audio a quarter second ahead of the frames, but
// never past the sequence's end: the audio the engine takes is as long as the video.
TEST_F(ExportTest, AudioOfAOnePassExportEndsWithTheSequence) {
  script_.keepFrames = false;
  host::ExportOptions o = Options(30, "clip.mpg");
  o.tone = true;
  ExportRun run = Export(Pattern(), o, {{"ORXMultiplexerContainer", "1"}});
  ASSERT_TRUE(run.ran) << run.error;
  EXPECT_EQ(run.outcome.answer, 0);
  ASSERT_EQ(run.engine.targets.size(), 1u);
  // 30 frames at 30000/1001 = 1.001 s of stereo at 48 kHz; the end is taken in whole ms.
  EXPECT_NEAR(static_cast<double>(run.engine.audio.size() / 2), 48048.0, 48.0);
}

TEST_F(ExportTest, APcmElementaryExportThatBuildsNoAudioGraphAnswersAnError) {
  script_.keepFrames = false;
  script_.refusePcmTarget = true;
  host::ExportOptions o = Options(10, "clip.m2v");
  o.tone = true;
  ExportRun run = Export(Pattern(), o, {{"ORXMultiplexerContainer", "0"}, {"ADBEAudioCodec", "0"}});
  ASSERT_TRUE(run.ran) << run.error;
  ASSERT_EQ(run.engine.targets.size(), 2u);
  EXPECT_EQ(run.engine.targets[1].subtype, QVA_MSUBTYPE_PCM);
  EXPECT_EQ(run.outcome.answer, kResultExportFailed);
  EXPECT_FALSE(FileExists(dir_ + "/clip.pcm"));
}

}  // namespace
}  // namespace orx::plugin::test
