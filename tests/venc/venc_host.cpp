#include "tests/venc/venc_host.h"

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <cstring>

#include "framework/qva_component.h"
#include "media/media_params.h"
#include "tests/support/test_paths.h"

namespace orx::venc::test {

// ---- library ----

std::string VencLibrary::Path() { return orx::test::LibraryDir() + "/libqvavenc.so"; }

VencLibrary::VencLibrary() {
  handle_ = dlopen(Path().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* text = dlerror();
    error_ = text != nullptr ? text : "dlopen failed";
    return;
  }
  auto bind = [&](auto& entry, const char* name) {
    entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(dlsym(handle_, name));
    if (entry == nullptr) error_ += std::string("missing ") + name + "; ";
  };
  bind(libInit, "QVACompLibInit");
  bind(libRelease, "QVACompLibRelease");
  bind(libGetCount, "QVACompLibGetCount");
  bind(getInfo, "QVACompGetInfo");
  bind(create, "QVACompCreate");
  bind(release, "QVACompRelease");
  if (!error_.empty()) {
    dlclose(handle_);
    handle_ = nullptr;
  }
}

VencLibrary::~VencLibrary() {
  if (handle_ == nullptr) return;
  libRelease();
  dlclose(handle_);
}

// ---- sink ----

QVAStatus VencSink::Get(void* context, ComponentBuffer** out) {
  auto* sink = static_cast<VencSink*>(context);
  std::lock_guard<std::mutex> hold(sink->mutex_);
  if (sink->stopAfter_ >= 0 && sink->gets_ >= sink->stopAfter_) return QVA_ERR_WRONGSTATE;
  sink->gets_ += 1;
  // Records stay where they are (a deque keeps its elements in place).
  auto& slot = sink->lent_.emplace_back();
  slot.second.assign(kCapacity, 0);
  slot.first = ComponentBuffer{};
  slot.first.data = slot.second.data();
  slot.first.capacity = kCapacity;
  *out = &slot.first;
  if (sink->lent_.size() > 64) sink->lent_.pop_front();
  return QVA_SUCCESS;
}

QVAStatus VencSink::Deliver(void* context, ComponentBuffer* b) {
  auto* sink = static_cast<VencSink*>(context);
  std::lock_guard<std::mutex> hold(sink->mutex_);
  Output o{b->flags, b->timestamp, b->bytesRead, b->word40, {}};
  if (b->data != nullptr && b->length != 0) o.data.assign(b->data, b->data + b->length);
  sink->outputs_.push_back(std::move(o));
  sink->changed_.notify_all();
  return QVA_SUCCESS;
}

bool VencSink::WaitFor(const std::function<bool(const Output&)>& test, int seconds) {
  std::unique_lock<std::mutex> hold(mutex_);
  return changed_.wait_for(hold, std::chrono::seconds(seconds), [&] {
    for (const Output& o : outputs_)
      if (test(o)) return true;
    return false;
  });
}

bool VencSink::WaitForEnd(int count, int seconds) {
  std::unique_lock<std::mutex> hold(mutex_);
  return changed_.wait_for(hold, std::chrono::seconds(seconds), [&] {
    int ends = 0;
    for (const Output& o : outputs_)
      if ((o.flags & QVA_BUFFLAG_EOS) != 0 && o.data.empty()) ++ends;
    return ends >= count;
  });
}

std::vector<VencSink::Output> VencSink::Outputs() {
  std::lock_guard<std::mutex> hold(mutex_);
  return outputs_;
}

std::vector<uint8_t> VencSink::Stream() {
  std::lock_guard<std::mutex> hold(mutex_);
  std::vector<uint8_t> stream;
  for (const Output& o : outputs_)
    if ((o.flags & QVA_BUFFLAG_FORMAT) == 0) stream.insert(stream.end(), o.data.begin(), o.data.end());
  return stream;
}

int VencSink::EndMarkers() {
  std::lock_guard<std::mutex> hold(mutex_);
  int ends = 0;
  for (const Output& o : outputs_)
    if ((o.flags & QVA_BUFFLAG_EOS) != 0 && o.data.empty()) ++ends;
  return ends;
}

// ---- lent frames ----

void LentFrames::Release(ComponentInstance*, ComponentBuffer* buffer, uint32_t, void* self) {
  if ((buffer->flags & QVA_BUFFLAG_INPLACE) == 0) return;
  auto* frames = static_cast<LentFrames*>(self);
  std::lock_guard<std::mutex> hold(frames->mutex_);
  auto it = frames->outstanding_.find(buffer->data);
  if (it == frames->outstanding_.end()) return;
  delete[] it->first;
  frames->outstanding_.erase(it);
  frames->released_ += 1;
}

uint8_t* LentFrames::Lend(const uint8_t* bytes, size_t size) {
  uint8_t* copy = new uint8_t[size];
  std::memcpy(copy, bytes, size);
  std::lock_guard<std::mutex> hold(mutex_);
  outstanding_[copy] = size;
  return copy;
}

int LentFrames::Released() {
  std::lock_guard<std::mutex> hold(mutex_);
  return released_;
}

int LentFrames::Outstanding() {
  std::lock_guard<std::mutex> hold(mutex_);
  return static_cast<int>(outstanding_.size());
}

LentFrames::~LentFrames() {
  for (auto& entry : outstanding_) delete[] entry.first;
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
  status = instance->methods.QVAComp_ConnectOutput(instance, 0, VencSink::Get, VencSink::Deliver, &sink);
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

QVAStatus VencRun::PushFrame(const uint8_t* bytes, size_t size, uint64_t timestamp, uint32_t extraFlags,
                            uint32_t word40) {
  ComponentBuffer b{};
  b.flags = QVA_BUFFLAG_EXTERNAL | QVA_BUFFLAG_INPLACE | QVA_BUFFLAG_TIMESTAMP | extraFlags;
  b.timestamp = timestamp;
  b.data = frames.Lend(bytes, size);
  b.length = b.capacity = static_cast<uint32_t>(size);
  b.word40 = word40;
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
  b.word4 = 1;
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

HostResult EncodeThroughHost(VencLibrary& library, const HostEncode& setup, int frameCount, size_t frameBytes,
                             const std::function<void(int, uint8_t*)>& frameAt) {
  HostResult result;
  VencRun run(library);
  if (run.Create() != QVA_SUCCESS) return result;
  run.SetInput(setup.input);
  run.SetOutput(setup.output);
  run.SetParams(setup.params);
  if (run.Start() != QVA_SUCCESS) return result;
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
