#include "venc/gpu/dataflow/fbapi.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "platform/recursive_lock.h"
#include "venc/gpu/dataflow/dataflow_device.h"

namespace orx::dataflow {
namespace {

constexpr int32_t kMinPictureSide = 16;
constexpr int32_t kMaxPictureSide = 2048;

// Created and deleted under the encoder's set-up lock; read by every encoder's calls between.
std::atomic<platform::RecursiveLock*> g_processLock{nullptr};

bool SideInRange(int32_t side) { return side >= kMinPictureSide && side <= kMaxPictureSide; }

// Holds the process lock for its scope; held() is false when there is no lock.
class ProcessLockHold {
 public:
  ProcessLockHold() : lock_(g_processLock.load()) {
    if (lock_ != nullptr) lock_->Enter();
  }
  ~ProcessLockHold() {
    if (lock_ != nullptr) lock_->Leave();
  }
  ProcessLockHold(const ProcessLockHold&) = delete;
  ProcessLockHold& operator=(const ProcessLockHold&) = delete;
  bool held() const { return lock_ != nullptr; }

 private:
  platform::RecursiveLock* lock_;
};

bool PlaneFits(const FbapiFrameBuffers& frames) {
  const int64_t w2 = int64_t{frames.width} + 2 * int64_t{frames.padX};
  const int64_t h2 = int64_t{frames.height} + 2 * int64_t{frames.padY};
  // The runtime's pitch may round the width up; allow for twice the width.
  return 2 * w2 * (h2 + (h2 + 1) / 2) <= INT32_MAX;
}

void FreeArray(FbapiFrameBuffers* frames) {
  std::free(frames->buffers);
  frames->buffers = nullptr;
}

}  // namespace

int32_t FBAPI_GetDeviceCount(int32_t mode) { return CDataflow::GetDeviceCount(mode); }

int32_t FBAPI_Initialize(int32_t mode, uint32_t configWord) {
  if (g_processLock.load() == nullptr) g_processLock.store(new platform::RecursiveLock());
  const int32_t count = CDataflow::InitDevices(mode, configWord);
  if (count < 0) {
    // The caller never shuts down a set-up that failed: end what it started here.
    CDataflow::ShutdownDevices();
    delete g_processLock.exchange(nullptr);
  }
  return count;
}

int32_t FBAPI_Shutdown() {
  CDataflow::ShutdownDevices();
  delete g_processLock.exchange(nullptr);
  return 0;
}

// The steps of the allocation: 1. the lock; 2. the size and count checks; 3. the record array;
// 4. one common buffer per frame; 5. the layout words from the first buffer's pitch.
int32_t FBAPI_Alloc(FbapiFrameBuffers* frames) {
  ProcessLockHold hold;
  if (!hold.held() || frames == nullptr) return -1;
  if (frames->count < 1 || !SideInRange(frames->width) || !SideInRange(frames->height)) return -1;
  // Borders that are negative, or so wide that a plane's byte count leaves 32 bits, fit no
  // frame buffer.
  if (frames->padX < 0 || frames->padY < 0 || !PlaneFits(*frames)) return -1;
  const int32_t w2 = frames->width + 2 * frames->padX;
  const int32_t h2 = frames->height + 2 * frames->padY;
  const int32_t rows = h2 + (h2 + 1) / 2;

  auto* buffers = static_cast<DataflowBuffer*>(std::calloc(static_cast<size_t>(frames->count), sizeof(DataflowBuffer)));
  if (buffers == nullptr) return -1;
  frames->buffers = buffers;
  const uint32_t deviceMask = frames->deviceIndex >= 0 && frames->deviceIndex < 32 ? 1u << frames->deviceIndex : 0;
  for (int32_t i = 0; i < frames->count; ++i) {
    if (CDataflow::AllocCommonBuffer(&buffers[i], static_cast<uint32_t>(w2), static_cast<uint32_t>(rows),
                                     kDataflowU8x1, deviceMask) != 0) {
      // The caller never frees a set it did not get: give back what this call made.
      for (int32_t made = 0; made < i; ++made) CDataflow::FreeCommonBuffer(&buffers[made]);
      FreeArray(frames);
      return -1;
    }
  }
  frames->pitch = static_cast<int32_t>(buffers[0].pitch);
  frames->lumaOrigin = frames->pitch * frames->padY + frames->padX;
  frames->chromaOrigin = (h2 + frames->padY / 2) * frames->pitch + frames->padX;
  frames->planeSize = rows * frames->pitch;
  return 0;
}

int32_t FBAPI_Free(FbapiFrameBuffers* frames) {
  ProcessLockHold hold;
  if (!hold.held() || frames == nullptr) return -1;
  if (frames->buffers == nullptr) return 0;
  for (int32_t i = 0; i < frames->count; ++i) {
    if (CDataflow::FreeCommonBuffer(&frames->buffers[i]) != 0) return -1;
  }
  FreeArray(frames);
  return 0;
}

uint8_t* FBAPI_GetBuffer(const FbapiFrameBuffers* frames, int32_t i) {
  if (frames == nullptr || frames->buffers == nullptr || i < 0 || i >= frames->count) return nullptr;
  return static_cast<uint8_t*>(frames->buffers[i].cpuAddress);
}

void FBAPI_Lock() {
  if (platform::RecursiveLock* lock = g_processLock.load()) lock->Enter();
}

void FBAPI_Unlock() {
  if (platform::RecursiveLock* lock = g_processLock.load()) lock->Leave();
}

bool FBAPI_LockExists() { return g_processLock.load() != nullptr; }

}  // namespace orx::dataflow
