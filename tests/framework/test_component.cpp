#include "tests/framework/test_component.h"

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "tests/support/waiting.h"

QVAStatus CompCreateHook(ComponentInstance* instance) {
  orx::test::Hooks().createCalls++;
  return orx::test::Hooks().create.load()(instance);
}

QVAStatus CompProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  orx::test::Hooks().processCalls++;
  return orx::test::Hooks().process.load()(instance, buffer);
}

QVAStatus CompDestroyHook(ComponentInstance* instance) {
  orx::test::Hooks().destroyCalls++;
  return orx::test::Hooks().destroy.load()(instance);
}

namespace orx::test {

QVAStatus DefaultCreateHook(ComponentInstance* instance) {
  if (!CompBase_IsState(instance, QVA_STATE_NONE)) return QVA_ERR_WRONGSTATE;
  return CompBase_Init(instance);
}

QVAStatus DefaultProcessHook(ComponentInstance*, ComponentBuffer*) { return QVA_SUCCESS; }

QVAStatus DefaultDestroyHook(ComponentInstance* instance) {
  const bool wasNone = CompBase_IsState(instance, QVA_STATE_NONE);
  CompBase_Deinit(instance);
  return wasNone ? QVA_ERR_WRONGSTATE : QVA_SUCCESS;
}

QVAStatus ForwardingProcessHook(ComponentInstance* instance, ComponentBuffer* buffer) {
  if (buffer == nullptr) return QVA_ERR_NOBUFFER;
  if (buffer->flags & QVA_BUFFLAG_FORMAT) {
    if (CompBase_IsRunning(instance)) CompBase_SetState(instance, QVA_STATE_PLAYING);
    return QVA_SUCCESS;
  }
  if (buffer->flags & QVA_BUFFLAG_BATCHSTART) CompBase_SetEOS(instance, 0);
  if (buffer->flags & (QVA_BUFFLAG_EOS | QVA_BUFFLAG_EOI)) return QVA_SUCCESS;
  ComponentBuffer* out = nullptr;
  QVAStatus status = CompBase_GetEmptyOutput(instance, 0, &out);
  if (status != QVA_SUCCESS) return status;
  const uint32_t length = buffer->length < out->capacity ? buffer->length : out->capacity;
  std::memcpy(out->data, buffer->data, length);
  out->length = length;
  out->timestamp = buffer->timestamp;
  out->flags = buffer->flags & QVA_BUFFLAG_TIMESTAMP;
  return CompBase_DeliverOutput(instance, 0, out);
}

std::vector<PulledRecord> DrainOutput(ComponentInstance* instance, uint32_t timeoutMs) {
  std::vector<PulledRecord> records;
  for (;;) {
    ComponentBuffer* record = nullptr;
    if (CompBase_PullOutput(instance, 0, &record, timeoutMs) != QVA_SUCCESS) break;
    records.push_back({record->flags, record->length, std::vector<uint8_t>(record->data, record->data + record->length)});
    EXPECT_EQ(CompBase_ReleaseBuffer(instance, 0, record), QVA_SUCCESS);
  }
  return records;
}

void TestHooks::Reset() {
  create = DefaultCreateHook;
  process = DefaultProcessHook;
  destroy = DefaultDestroyHook;
  createCalls = processCalls = destroyCalls = 0;
}

TestHooks& Hooks() {
  static TestHooks hooks;
  return hooks;
}

const ComponentInfo kTestEncoder = QVAMakeDescriptor(
    {QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_VIDEO | QVA_TYPE_ENCODER, 1, 1,
     {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x70, 0x01}, "TENC", "Test Encoder", 1, 1, 0, {}, {}},
    kCompLibDefaultMethods);
const ComponentInfo kTestMuxer = QVAMakeDescriptor(
    {QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_STREAM | QVA_TYPE_MULTIPLEXER, 1, 1,
     {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x70, 0x02}, "TMUX", "Test Muxer", 2, 1, 16, {}, {}},
    kCompLibDefaultMethods);
const ComponentInfo kTestSink = QVAMakeDescriptor(
    {QVA_INTERFACE_VERSION, QVA_TYPES_VERSION, QVA_TYPE_AUDIO | QVA_TYPE_MULTIPLEXER, 1, 1,
     {0x00, 0x10, 0xEF, 0x00, 0x00, 0x00, 0x70, 0x03}, "TSINK", "Test Sink", 1, 0, 0, {}, {}},
    kCompLibDefaultMethods);

namespace {
const ComponentInfo kTestTable[] = {kTestEncoder, kTestMuxer, kTestSink};
}  // namespace

uint32_t IdleWorker(QVAHandle thread, void* instance) {
  auto* self = static_cast<ComponentInstance*>(instance);
  CompBase_AttachThread(self, thread);
  while (CompBase_IsRunning(self)) QVASleep(5);
  return 0;
}

void TestLibrary::SetUp() {
  Hooks().Reset();
  CompBase_LibRelease();
  CompBase_LibInit(kTestTable, 3);
}

void TestLibrary::TearDown() {
  uint32_t live = 99;
  EXPECT_EQ(CompBase_LibIsInit(&live), 1u);
  EXPECT_EQ(live, 0u) << "an instance was left alive";
  Hooks().Reset();
}

ComponentInstance* TestLibrary::Create(const ComponentInfo& descriptor, uint32_t privateSize) {
  ComponentInstance* instance = nullptr;
  EXPECT_EQ(CompBase_Create(descriptor.compId, privateSize, &instance), QVA_SUCCESS);
  return instance;
}

int ThreadCount() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

int BaselineThreadCount() {
  std::thread([] {}).join();
  return ThreadCount();
}

int SettledThreadCount(int expected) {
  PollUntil([expected] { return ThreadCount() == expected; }, std::chrono::milliseconds(5000),
            std::chrono::milliseconds(5));
  return ThreadCount();
}

namespace {
std::mutex g_eventsMutex;
std::condition_variable g_eventRecorded;

void RecordStateEvent(ComponentInstance*, uint32_t eventId, void* record, uint32_t size, void* user) {
  if (eventId != PROGRESS_STATE) return;
  EXPECT_EQ(size, sizeof(ProgressStateRecord));
  auto* r = static_cast<ProgressStateRecord*>(record);
  EXPECT_EQ(r->size, sizeof(ProgressStateRecord));
  auto* events = static_cast<StateEvents*>(user);
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  // State changes carry no flags; the start and end notices carry theirs.
  if (r->flags == 0) events->changes.emplace_back(r->oldState, r->newState);
  events->flags.push_back(r->flags);
  g_eventRecorded.notify_all();
}
}  // namespace

std::vector<std::pair<uint32_t, uint32_t>> StateEvents::Changes() const {
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  return changes;
}

std::vector<uint32_t> StateEvents::Flags() const {
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  return flags;
}

bool StateEvents::WaitForLastChange(std::pair<uint32_t, uint32_t> last) const {
  std::unique_lock<std::mutex> lock(g_eventsMutex);
  return g_eventRecorded.wait_for(lock, kPatience, [&] { return !changes.empty() && changes.back() == last; });
}

void StateEvents::Attach(ComponentInstance* instance) {
  CompBase_SetEventCallback(instance, RecordStateEvent, PROGRESS_STATE, this);
}

}  // namespace orx::test
