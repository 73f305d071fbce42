// A library with its own copy of the framework, for the tests that need a second copy: its
// allocator and its threads belong to it alone.
#include "framework/qva_component.h"
#include "platform/export.h"

namespace {

uint32_t ShortWork(QVAHandle, void*) {
  QVASleep(20);
  return 0;
}

}  // namespace

extern "C" ORX_EXPORT void* FrameworkProbeAllocate(uint32_t size) { return QVAMalloc(size); }

extern "C" ORX_EXPORT uint32_t FrameworkProbeFree(void* block) { return QVAFree(block); }

// Starts a thread that runs library code and destroys it with the wait flag, so the library
// can be unloaded as soon as this returns.
extern "C" ORX_EXPORT uint32_t FrameworkProbeRunThread() {
  QVAHandle thread = QVACreateThread(ShortWork, nullptr, 0);
  if (thread == nullptr) return QVA_ERR_NOMEMORY;
  QVAStatus status = QVAStartThread(thread);
  if (status == QVA_SUCCESS) status = QVAWaitThreadStage(thread, QVA_THREAD_ENDED, QVA_INFINITE);
  QVADestroyThread(thread, 1);
  return status;
}
