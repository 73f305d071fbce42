#include <atomic>
#include <new>

#include "framework/qva_os.h"
#include "platform/recursive_lock.h"

namespace {

struct LockData {
  uint32_t valid = 1;
  orx::platform::RecursiveLock lock;
  // Changed only by the holder; read by anyone through QVAGetLockCount.
  std::atomic<uint32_t> enterCount{0};
};

LockData* Data(QVAHandle lock) { return static_cast<LockData*>(QVAHandleData(lock, nullptr)); }

bool Usable(QVAHandle lock) { return lock != nullptr && Data(lock)->valid != 0; }

}  // namespace

QVAStatus QVACreateLock(QVAHandle* outLock) {
  if (outLock == nullptr) return QVA_ERR_BADARG;
  *outLock = QVAAllocHandle(QVA_HANDLE_LOCK, nullptr, sizeof(LockData));
  if (*outLock == nullptr) return QVA_ERR_NOMEMORY;
  new (Data(*outLock)) LockData;
  return QVA_SUCCESS;
}

QVAStatus QVALock(QVAHandle lock) {
  if (!Usable(lock)) return QVA_ERR_BADHANDLE;
  LockData* data = Data(lock);
  data->lock.Enter();
  data->enterCount.fetch_add(1, std::memory_order_relaxed);
  return QVA_SUCCESS;
}

QVAStatus QVAUnlock(QVAHandle lock) {
  if (!Usable(lock)) return QVA_ERR_BADHANDLE;
  LockData* data = Data(lock);
  data->enterCount.fetch_sub(1, std::memory_order_relaxed);
  data->lock.Leave();
  return QVA_SUCCESS;
}

uint32_t QVAGetLockCount(QVAHandle lock) {
  if (lock == nullptr) return 0x80000000u;
  return Data(lock)->enterCount.load(std::memory_order_relaxed);
}

QVAStatus QVADestroyLock(QVAHandle lock) {
  if (lock == nullptr) return QVA_ERR_BADHANDLE;
  Data(lock)->~LockData();
  return QVAFreeHandleBlock(lock);
}
