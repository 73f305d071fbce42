#include "tests/engine/transcode/tengine_test_support.h"

#include <chrono>
#include <cstring>
#include <map>

#include "engine/catalogue/component_loader.h"
#include "engine/transcode/tengine_record.h"
#include "media/media_codes.h"
#include "platform/export.h"

namespace {

std::mutex g_linesMutex;
std::vector<orx::test::RecordedLine> g_lines;

std::mutex g_behaviourMutex;
std::map<std::string, DoubleBehaviour> g_behaviours;

}  // namespace

extern "C" ORX_EXPORT void TengineDoubleRecord(const char* who, const char* line) {
  std::lock_guard<std::mutex> lock(g_linesMutex);
  g_lines.push_back({who, line});
}

extern "C" ORX_EXPORT DoubleBehaviour* TengineDoubleBehaviour(const char* who) {
  std::lock_guard<std::mutex> lock(g_behaviourMutex);
  return &g_behaviours[who];  // a map keeps its elements in place
}

namespace orx::test {

std::vector<RecordedLine> DoubleLines() {
  std::lock_guard<std::mutex> lock(g_linesMutex);
  return g_lines;
}

std::vector<std::string> DoubleLinesOf(const std::string& who) {
  std::vector<std::string> lines;
  for (const RecordedLine& line : DoubleLines()) {
    if (line.who == who) lines.push_back(line.text);
  }
  return lines;
}

void ClearDoubleLines() {
  std::lock_guard<std::mutex> lock(g_linesMutex);
  g_lines.clear();
}

DoubleBehaviour& BehaviourOf(const std::string& who) { return *TengineDoubleBehaviour(who.c_str()); }

std::vector<uint8_t> EngineSink::Stream() {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<uint8_t> stream;
  size_t position = 0;
  for (const WrittenPiece& piece : pieces) {
    if (piece.flags & QVA_BUFFLAG_SEEK) {
      position = static_cast<size_t>(piece.seek);
      continue;
    }
    if ((piece.flags & QVA_BUFFLAG_FORMAT) || piece.data.empty()) continue;
    if (stream.size() < position + piece.data.size()) stream.resize(position + piece.data.size());
    std::memcpy(stream.data() + position, piece.data.data(), piece.data.size());
    position += piece.data.size();
  }
  return stream;
}

QVAStatus SinkWrite(QVAHandle, ComponentBuffer* buffer, void* writeContext, void*) {
  auto* sink = static_cast<EngineSink*>(writeContext);
  WrittenPiece piece{buffer->flags, 0, {}, buffer->timestamp};
  if (buffer->flags & QVA_BUFFLAG_SEEK) piece.seek = buffer->SeekOffset();
  if (buffer->length != 0) piece.data.assign(buffer->data, buffer->data + buffer->length);
  if (buffer->length == 0 && (buffer->flags & QVA_BUFFLAG_EOS)) sink->endOfStream++;
  if (buffer->length != 0) {
    sink->lastDataNanos = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
  }
  std::lock_guard<std::mutex> lock(sink->mutex);
  sink->pieces.push_back(std::move(piece));
  sink->changed.notify_all();
  return QVA_SUCCESS;
}

QVAStatus SinkRelease(QVAHandle, ComponentBuffer*, void* context, void* handle) {
  auto* sink = static_cast<EngineSink*>(context);
  std::lock_guard<std::mutex> lock(sink->mutex);
  sink->releasedHandles.push_back(handle);
  sink->releases++;
  sink->changed.notify_all();
  return QVA_SUCCESS;
}

bool EngineSink::WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex);
  return changed.wait_for(lock, timeout, condition);
}

namespace {

// A video type of the given subtype and size at 29.97 frames per second.
VideoMediaType VideoType(uint32_t subtype, uint32_t width, uint32_t height) {
  VideoMediaType type{};
  type.size = sizeof type;
  type.MType = QVA_MTYPE_VIDEO;
  type.subtype = subtype;
  type.width = type.secondWidth = width;
  type.height = type.secondHeight = height;
  type.FrameRate = 29970;
  return type;
}

}  // namespace

QVATengineConfig MakeConfig(uint32_t sourceSubtype, uint32_t sourceWidth, uint32_t sourceHeight,
                            uint32_t targetWidth, uint32_t targetHeight) {
  QVATengineConfig config{};
  config.videoEnabled = 1;
  config.audioEnabled = 1;
  config.scalingMode = 1;
  config.sourceVideo = VideoType(sourceSubtype, sourceWidth, sourceHeight);
  VideoMediaType& target = config.targetVideo;
  target = VideoType(QVA_MSUBTYPE_MPV2, targetWidth, targetHeight);
  target.BitrateAverage = target.BitrateMax = 6000000;
  VideoEncoderParams& p = config.encoderParams;
  p.size = sizeof p;
  p.gopLength = 15;
  p.anchorDistance = 3;
  p.averageBitRate = p.peakBitRate = 6000000;
  p.optionFlags = VEP_OPT_MULTIVENC;
  p.engineFlags = VEP_ENGINE_MULTI_INSTANCE;
  p.encoderCount = 1;
  AudioMediaType& audio = config.sourceAudio;
  audio.size = sizeof audio;
  audio.MType = QVA_MTYPE_AUDIO;
  audio.subtype = QVA_MSUBTYPE_PCM;
  audio.SamplRate = 48000;
  audio.BitsPerSample = 16;
  audio.Channels = 2;
  AudioMediaType& audioTarget = config.targetAudio;
  audioTarget.size = sizeof audioTarget;
  audioTarget.MType = QVA_MTYPE_AUDIO;
  audioTarget.subtype = QVA_MSUBTYPE_MPA2;
  audioTarget.SamplRate = 48000;
  audioTarget.Channels = 2;
  audioTarget.Bitrate = 224000;
  return config;
}

StreamMediaType MakeTarget(uint32_t majorType, uint32_t subtype) {
  StreamMediaType target{};
  target.size = sizeof target;
  target.MType = majorType;
  target.subtype = subtype;
  return target;
}

EngineDriver::EngineDriver(const QVATengineConfig& config, const StreamMediaType& target) {
  QVATengine_Create(&engine);
  QVATengine_SetConfig(engine, &config);
  if (config.videoEnabled) QVATengine_OpenVideoSource(engine, &config.sourceVideo, SinkRelease, &sink);
  if (config.audioEnabled) QVATengine_OpenAudioSource(engine, &config.sourceAudio, nullptr, &sink);
  openStatus = QVATengine_OpenTarget(engine, &target, 0, SinkWrite, &sink, nullptr, 0);
}

EngineDriver::~EngineDriver() {
  if (engine != nullptr) QVATengine_Release(engine);
}

QVAStatus EngineDriver::Run() { return QVATengine_Run(engine, 0); }

QVAStatus EngineDriver::DeliverFrame(const std::vector<uint8_t>& frame, uint64_t time, void* handle) {
  ComponentBuffer buffer{};
  buffer.flags = QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_TIMESTAMP | QVA_BUFFLAG_VIDEO;
  buffer.frameworkMark = 1;
  buffer.timestamp = time;
  buffer.data = const_cast<uint8_t*>(frame.data());
  buffer.capacity = buffer.length = static_cast<uint32_t>(frame.size());
  return QVATengine_DeliverVideo(engine, &buffer, 0, handle, QVA_INFINITE);
}

QVAStatus EngineDriver::EndVideo() {
  ComponentBuffer marker{};
  marker.flags = QVA_MARKER_EOS;
  marker.frameworkMark = 1;
  videoEnded_ = true;
  return QVATengine_DeliverVideo(engine, &marker, 0, nullptr, 10000);
}

QVAStatus EngineDriver::EndAudio() {
  ComponentBuffer marker{};
  marker.flags = QVA_MARKER_EOI;
  marker.frameworkMark = 1;
  audioEnded_ = true;
  return QVATengine_DeliverAudio(engine, &marker, 0, nullptr, 10000);
}

bool EngineDriver::WaitForSinkEnd(uint32_t timeoutMs) {
  return sink.WaitUntil([this] { return sink.endOfStream.load() != 0; }, std::chrono::milliseconds(timeoutMs));
}

QVAStatus EngineDriver::Finish() {
  QVATengine* record = TengineFromHandle(engine);
  const bool video = record->videoInput.load() != nullptr;
  const bool audio = record->audioInput.load() != nullptr;
  if (video && !videoEnded_) EndVideo();
  if (audio && !audioEnded_) EndAudio();
  if (video || audio) WaitForSinkEnd(10000);
  QVATengine_Flush(engine, 0);
  waited = QVATengine_Wait(engine, 0, 5000);
  const QVAStatus status = QVATengine_Release(engine);
  engine = nullptr;
  return status;
}

std::vector<MockPicture> ParsePictures(const std::vector<uint8_t>& stream) {
  std::vector<MockPicture> pictures;
  size_t offset = 0;
  while (offset + sizeof(MockPicture) <= stream.size()) {
    MockPicture picture;
    std::memcpy(&picture, stream.data() + offset, sizeof picture);
    if (picture.magic != kMockPictureMagic || picture.bytes < sizeof picture) break;
    pictures.push_back(picture);
    offset += picture.bytes;
  }
  return pictures;
}

void TengineTest::SetUp() {
  LoaderTest::SetUp();
  ClearDoubleLines();
  {
    std::lock_guard<std::mutex> lock(g_behaviourMutex);
    for (auto& [name, behaviour] : g_behaviours) {
      behaviour.connectOutputFails = 0;
      behaviour.inputBufferSize = 0;
      behaviour.trailer = 0;
      behaviour.stall = 0;
      std::memset(behaviour.frameDelayMs, 0, sizeof behaviour.frameDelayMs);
      behaviour.pictureBytes = 0;
      behaviour.failAtPicture = 0;
    }
  }
  installed_ = {Install("libtengine_mock_venc.so", "libqvavenc.so"), Install("libtengine_double_mux.so", "qvacmux.so"),
                Install("libtengine_double_aenc.so", "libqvaaenc.so"),
                Install("libtengine_double_scaler.so", "qvavscaler.so")};
}

void TengineTest::TearDown() {
  LoaderTest::TearDown();
  EXPECT_FALSE(AnyFixtureMapped());
}

bool TengineTest::AnyFixtureMapped() const {
  for (const std::string& path : installed_) {
    if (IsLibraryMapped(path)) return true;
  }
  return false;
}

}  // namespace orx::test
