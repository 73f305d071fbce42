#include "framework/qva_os.h"
#include "platform/event.h"

namespace {

struct EventData {
  orx::platform::Event* event;
};

orx::platform::Event* SystemEvent(QVAHandle event) {
  return static_cast<EventData*>(QVAHandleData(event, nullptr))->event;
}

}  // namespace

QVAHandle QVACreateEvent(uint32_t manualReset, uint32_t initiallySignalled, const char* name) {
  EventData data{orx::platform::CreateEvent(manualReset != 0, initiallySignalled != 0, name)};
  if (data.event == nullptr) return nullptr;
  QVAHandle event = QVAAllocHandle(QVA_HANDLE_EVENT, &data, sizeof data);
  if (event == nullptr) orx::platform::DestroyEvent(data.event);
  return event;
}

QVAHandle QVACreateEvent2(uint32_t /*reserved*/, uint32_t manualReset, uint32_t initiallySignalled,
                          const char* name) {
  return QVACreateEvent(manualReset, initiallySignalled, name);
}

QVAStatus QVASetEvent(QVAHandle event) {
  if (event == nullptr) return QVA_ERR_BADHANDLE;
  orx::platform::SetEvent(SystemEvent(event));
  return QVA_SUCCESS;
}

QVAStatus QVAWaitEvent(QVAHandle event, uint32_t timeoutMs) {
  if (event == nullptr) return QVA_ERR_BADHANDLE;
  return orx::platform::WaitEvent(SystemEvent(event), timeoutMs) == orx::platform::WaitResult::kSignalled
             ? QVA_SUCCESS
             : QVA_ERR_TIMEOUT;
}

QVAStatus QVADestroyEvent(QVAHandle event) {
  if (event == nullptr) return QVA_ERR_BADHANDLE;
  orx::platform::DestroyEvent(SystemEvent(event));
  return QVAFreeHandleBlock(event);
}
