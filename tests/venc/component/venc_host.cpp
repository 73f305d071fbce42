#include "tests/venc/component/venc_host.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "framework/qva_component.h"
#include "media/media_params.h"

namespace orx::venc::test {

// ---- sink ----

bool VencSink::WaitForEnd(int count, int seconds) const {
  return WaitFor([](const Output& o) { return (o.flags & QVA_BUFFLAG_EOS) != 0 && o.data.empty(); },
                 static_cast<size_t>(count), std::chrono::seconds(seconds));
}

// ---- run ----

VencRun::VencRun(VencLibrary& library) : library_(library) {}

VencRun::~VencRun() { EndAndRelease(); }

void VencRun::OnError(ComponentInstance*, QVAStatus status, uint32_t, void* self) {
  auto* run = static_cast<VencRun*>(self);
  std::lock_guard<std::mutex> hold(run->errorsMutex_);
  run->errors_.push_back(status);
}

std::vector<QVAStatus> VencRun::Errors() {
  std::lock_guard<std::mutex> hold(errorsMutex_);
  return errors_;
}

QVAStatus VencRun::Create() {
  QVAStatus status = library_.create(nullptr, &instance);
  if (status != QVA_SUCCESS) return status;
  status = sink.Connect(instance);
  if (status != QVA_SUCCESS) return status;
  return instance->methods.QVAComp_SetErrorCallback(instance, OnError, this);
}

QVAStatus VencRun::SetInput(const VideoMediaType& format) {
  VideoMediaType copy = format;
  return instance->methods.QVAComp_SetFormat(instance, 0, 0, &copy);
}

QVAStatus VencRun::SetOutput(const VideoMediaType& format) {
  VideoMediaType copy = format;
  return instance->methods.QVAComp_SetFormat(instance, 1, 0, &copy);
}

QVAStatus VencRun::SetParams(const VideoEncoderParams& params) {
  VideoEncoderParams copy = params;
  return instance->methods.QVAComp_SetParam(instance, QVA_PARAM_VIDEOENCODER, &copy, sizeof copy);
}

QVAStatus VencRun::Start() {
  QVAStatus status = instance->methods.QVAComp_Start(instance);
  if (status != QVA_SUCCESS) return status;
  status = instance->methods.QVAComp_SetPinCallback(instance, 0, 0, LentFrames::Release, &frames);
  if (status != QVA_SUCCESS) return status;
  return instance->methods.QVAComp_SendCommand(instance, CMD_PLAY, 1, 0, 0, 0, 0);
}

QVAStatus VencRun::CreateAndStart(const HostEncode& setup) {
  const QVAStatus created = Create();
  if (created != QVA_SUCCESS) return created;
  SetInput(setup.input);
  SetOutput(setup.output);
  SetParams(setup.params);
  return Start();
}

QVAStatus VencRun::PushFrame(const uint8_t* bytes, size_t size, uint64_t timestamp, uint32_t extraFlags,
                            uint32_t componentWord) {
  ComponentBuffer b{};
  b.flags = QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_TIMESTAMP | extraFlags;
  b.timestamp = timestamp;
  b.data = frames.Lend(bytes, size);
  b.length = b.capacity = static_cast<uint32_t>(size);
  b.componentWord = componentWord;
  b.SetReferenceHandle(b.data);
  handles[timestamp] = b.bytesRead;
  uint32_t taken = 0;
  return instance->methods.QVAComp_PushInput(instance, 0, &b, QVA_INFINITE, &taken);
}

QVAStatus VencRun::PushFormat(const VideoMediaType& format) {
  VideoMediaType copy = format;
  ComponentBuffer b{};
  b.flags = QVA_FORMATRECORD_VIDEO;
  b.data = reinterpret_cast<uint8_t*>(&copy);
  b.length = b.capacity = sizeof copy;
  uint32_t taken = 0;
  return instance->methods.QVAComp_PushInput(instance, 0, &b, QVA_INFINITE, &taken);
}

QVAStatus VencRun::PushMarker(uint32_t flags) {
  ComponentBuffer b{};
  b.flags = flags;
  b.frameworkMark = 1;
  uint32_t taken = 0;
  return instance->methods.QVAComp_PushInput(instance, 0, &b, QVA_INFINITE, &taken);
}

void VencRun::EndAndRelease() {
  if (instance == nullptr) return;
  instance->methods.QVAComp_End(instance);
  library_.release(instance);
  instance = nullptr;
}

// ---- formats ----

VideoMediaType PlanarFormat(uint32_t subtype, uint32_t width, uint32_t height, uint32_t frameRate) {
  VideoMediaType t{};
  t.size = sizeof(VideoMediaType);
  t.MType = QVA_MTYPE_VIDEO;
  t.subtype = subtype;
  t.FrameRate = frameRate;
  t.width = t.secondWidth = width;
  t.height = t.secondHeight = height;
  return t;
}

VideoMediaType Mpeg2Format(uint32_t width, uint32_t height, uint32_t frameRate, uint32_t bitRate) {
  VideoMediaType t = PlanarFormat(QVA_MSUBTYPE_MPV2, width, height, frameRate);
  t.BitrateAverage = t.BitrateMax = bitRate;
  return t;
}

VideoEncoderParams ExportParams(uint32_t gopLength, uint32_t anchorDistance, uint32_t bitRate, uint32_t progressive) {
  VideoEncoderParams p{};
  p.size = sizeof p;
  p.optionFlags = VEP_OPT_CLOSED_GOPS | VEP_OPT_MULTIVENC | VEP_OPT_EOS_FLUSH;
  p.engineFlags = VEP_ENGINE_MULTI_INSTANCE;
  p.progressive = progressive;
  p.gopLength = gopLength;
  p.anchorDistance = anchorDistance;
  p.averageBitRate = bitRate;
  p.peakBitRate = bitRate;
  p.vbvBufferSize = 112;
  return p;
}

HostEncode CifEncode(uint32_t anchorDistance, uint32_t bitRate) {
  HostEncode setup;
  setup.input = PlanarFormat(QVA_MSUBTYPE_YUV420, 352, 288, 25000);
  setup.output = Mpeg2Format(352, 288, 25000, bitRate);
  setup.params = ExportParams(15, anchorDistance, bitRate);
  return setup;
}

HostResult EncodeThroughHost(VencLibrary& library, const HostEncode& setup, int frameCount, size_t frameBytes,
                             const std::function<void(int, uint8_t*)>& frameAt) {
  HostResult result;
  VencRun run(library);
  if (run.CreateAndStart(setup) != QVA_SUCCESS) return result;
  std::vector<uint8_t> frame(frameBytes);
  for (int i = 0; i < frameCount; ++i) {
    frameAt(i, frame.data());
    const uint64_t ms = setup.firstMs + static_cast<uint64_t>(std::llround(static_cast<double>(i) * setup.frameMs));
    run.PushFrame(frame.data(), frame.size(), ms);
  }
  run.PushMarker(QVA_MARKER_EOI);
  result.ended = run.sink.WaitForEnd();
  run.EndAndRelease();
  result.stream = run.sink.Stream();
  result.outputs = run.sink.Outputs();
  result.errors = run.Errors();
  return result;
}

HostResult EncodeThroughHost(VencLibrary& library, const HostEncode& setup,
                             const std::vector<std::vector<uint8_t>>& frames) {
  const size_t bytes = frames.empty() ? 0 : frames[0].size();
  return EncodeThroughHost(library, setup, static_cast<int>(frames.size()), bytes,
                           [&](int i, uint8_t* out) { std::memcpy(out, frames[i].data(), bytes); });
}

}  // namespace orx::venc::test
