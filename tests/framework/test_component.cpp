#include "tests/framework/test_component.h"

#include <filesystem>
#include <mutex>
#include <thread>

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
  for (int i = 0; i < 200 && ThreadCount() != expected; ++i) QVASleep(5);
  return ThreadCount();
}

namespace {
std::mutex g_eventsMutex;

void RecordStateEvent(ComponentInstance*, uint32_t eventId, void* record, uint32_t size, void* user) {
  if (eventId != PROGRESS_STATE) return;
  EXPECT_EQ(size, sizeof(ProgressStateRecord));
  auto* r = static_cast<ProgressStateRecord*>(record);
  EXPECT_EQ(r->size, sizeof(ProgressStateRecord));
  auto* events = static_cast<StateEvents*>(user);
  std::lock_guard<std::mutex> lock(g_eventsMutex);
  events->changes.emplace_back(r->oldState, r->newState);
  events->flags.push_back(r->flags);
}
}  // namespace

void StateEvents::Attach(ComponentInstance* instance) {
  CompBase_SetEventCallback(instance, RecordStateEvent, PROGRESS_STATE, this);
}

}  // namespace orx::test
