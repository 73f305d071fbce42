// A C++ exception thrown inside a component library (its set-up, its private defaults, a hook or
// a method of its own) comes back to the caller in the other library as the failure code of the
// entry it called, with one debugger line, and leaves nothing behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>

#include "framework/component_library.h"
#include "tests/framework/test_component.h"
#include "tests/framework/throwing_component.h"
#include "tests/support/component_library.h"
#include "tests/support/host_log_capture.h"

namespace orx::test {
namespace {

class EntryGuard : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.Loaded());
    arm_ = library_.Bind<ThrowingComponentArmFn>("ThrowingComponentArm");
    liveInstances_ = library_.Bind<ThrowingComponentLiveInstancesFn>("ThrowingComponentLiveInstances");
    liveResources_ = library_.Bind<ThrowingComponentLiveResourcesFn>("ThrowingComponentLiveResources");
    ASSERT_TRUE(arm_ && liveInstances_ && liveResources_);
    threadsBefore_ = BaselineThreadCount();
  }

  void TearDown() override {
    EXPECT_EQ(liveInstances_(), 0u) << "an instance was left alive";
    EXPECT_EQ(liveResources_(), 0u) << "a private resource was not freed";
    EXPECT_EQ(SettledThreadCount(threadsBefore_), threadsBefore_) << "a worker was left running";
  }

  ComponentInstance* Create() {
    ComponentInstance* instance = nullptr;
    EXPECT_EQ(library_.create(nullptr, &instance), QVA_SUCCESS);
    return instance;
  }

  void EndAndRelease(ComponentInstance* instance) {
    EXPECT_EQ(instance->methods.QVAComp_End(instance), QVA_SUCCESS);
    EXPECT_EQ(library_.release(instance), QVA_SUCCESS);
  }

  ComponentLibrary library_{"libframework_throwing.so", {.folder = LibraryFolder::kTestLibraries}};
  ThrowingComponentArmFn arm_ = nullptr;
  ThrowingComponentLiveInstancesFn liveInstances_ = nullptr;
  ThrowingComponentLiveResourcesFn liveResources_ = nullptr;
  HostLogCapture log_;
  int threadsBefore_ = 0;
};

ComponentBuffer DataBuffer(uint8_t* data, uint32_t length) {
  ComponentBuffer buffer{};
  buffer.flags = QVA_BUFFLAG_EXTERNAL;
  buffer.frameworkMark = 1;
  buffer.data = data;
  buffer.length = buffer.capacity = length;
  return buffer;
}

TEST_F(EntryGuard, LibraryInitWhoseSetUpThrowsFailsAndTheNextCallInitialises) {
  arm_(kThrowInLibrarySetup);
  EXPECT_EQ(library_.libInit(), QVA_ERR_EXECUTION);
  EXPECT_NE(log_.Text().find("QVACompLibInit: stopped by an exception (thrown by the library set-up); answered 5"),
            std::string::npos)
      << log_.Text();
  EXPECT_EQ(library_.libGetCount(), 1u);
}

TEST_F(EntryGuard, CreateWhosePrivateDefaultsThrowAnswersNoMemoryAndFreesWhatItMade) {
  arm_(kThrowInPrivateDefaults);
  ComponentInstance* instance = nullptr;
  EXPECT_EQ(library_.create(nullptr, &instance), QVA_ERR_NOMEMORY);
  EXPECT_EQ(instance, nullptr);
  EXPECT_NE(log_.Text().find("QVACompCreate: stopped by an exception (thrown by the private defaults); answered 4"),
            std::string::npos)
      << log_.Text();
  // The half-made instance and its private resource are gone; the next creation works.
  EXPECT_EQ(liveInstances_(), 0u);
  EXPECT_EQ(liveResources_(), 0u);
  instance = Create();
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(library_.release(instance), QVA_SUCCESS);
}

TEST_F(EntryGuard, OwnMethodSlotThatThrowsAnswersExecutionError) {
  ComponentInstance* instance = Create();
  ASSERT_NE(instance, nullptr);
  arm_(kThrowInGetFormat);
  uint8_t record[16] = {16};
  EXPECT_EQ(instance->methods.QVAComp_GetFormat(instance, 0, 0, record), QVA_ERR_EXECUTION);
  EXPECT_NE(log_.Text().find("ThrowingGetFormat: stopped by an exception (thrown by a method slot); answered 5"),
            std::string::npos)
      << log_.Text();
  EXPECT_EQ(instance->methods.QVAComp_GetFormat(instance, 0, 0, record), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(library_.release(instance), QVA_SUCCESS);
}

TEST_F(EntryGuard, StartWhoseCreateHookThrowsFailsWithoutStartingAWorker) {
  ComponentInstance* instance = Create();
  ASSERT_NE(instance, nullptr);
  arm_(kThrowInCreateHook);
  EXPECT_EQ(instance->methods.QVAComp_Start(instance), QVA_ERR_EXECUTION);
  EXPECT_NE(log_.Text().find("CompLib_Start: stopped by an exception (thrown by the create hook); answered 5"),
            std::string::npos)
      << log_.Text();
  uint32_t state = 0xFFFFFFFF;
  EXPECT_EQ(instance->methods.QVAComp_GetState(instance, &state), QVA_SUCCESS);
  EXPECT_EQ(state, QVA_STATE_NONE);
  EXPECT_EQ(ThreadCount(), threadsBefore_);
  EndAndRelease(instance);
}

TEST_F(EntryGuard, ProcessHookThatThrowsOnTheWorkerEndsTheStreamThroughTheErrorPath) {
  ComponentInstance* instance = Create();
  ASSERT_NE(instance, nullptr);
  std::promise<QVAStatus> reported;
  auto onError = [](ComponentInstance*, QVAStatus status, uint32_t, void* user) {
    static_cast<std::promise<QVAStatus>*>(user)->set_value(status);
  };
  ASSERT_EQ(instance->methods.QVAComp_SetErrorCallback(instance, onError, &reported), QVA_SUCCESS);
  ASSERT_EQ(instance->methods.QVAComp_Start(instance), QVA_SUCCESS);
  ASSERT_EQ(instance->methods.QVAComp_SendCommand(instance, CMD_PLAY, 1, 0, 0, 0, 0), QVA_SUCCESS);
  arm_(kThrowInProcessHook);
  uint8_t data[64] = {};
  ComponentBuffer buffer = DataBuffer(data, sizeof data);
  ASSERT_EQ(instance->methods.QVAComp_PushInput(instance, 0, &buffer, QVA_INFINITE, nullptr), QVA_SUCCESS);

  std::future<QVAStatus> failure = reported.get_future();
  ASSERT_EQ(failure.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(failure.get(), QVA_ERR_EXECUTION);
  EXPECT_NE(log_.Text().find("CompProcessHook: stopped by an exception (thrown by the process hook); answered 5"),
            std::string::npos)
      << log_.Text();
  // The stream ends downstream as after any failed round: with an end-of-stream marker.
  ComponentBuffer* marker = nullptr;
  ASSERT_EQ(instance->methods.QVAComp_PullOutput(instance, 0, &marker, 10000), QVA_SUCCESS);
  EXPECT_NE(marker->flags & QVA_BUFFLAG_EOS, 0u);
  EXPECT_EQ(instance->methods.QVAComp_ReleaseBuffer(instance, 0, marker), QVA_SUCCESS);
  EndAndRelease(instance);
}

TEST_F(EntryGuard, ProcessHookThatThrowsInASynchronousRoundGivesItsInputSlotBack) {
  ComponentInstance* instance = Create();
  ASSERT_NE(instance, nullptr);
  // Fed without a start: the first push creates the component, the buffer waits in the queue.
  uint8_t data[64] = {};
  ComponentBuffer buffer = DataBuffer(data, sizeof data);
  ASSERT_EQ(instance->methods.QVAComp_PushInput(instance, 0, &buffer, 0, nullptr), QVA_SUCCESS);
  arm_(kThrowInProcessHook);
  ComponentBuffer* out = nullptr;
  EXPECT_EQ(instance->methods.QVAComp_PullOutput(instance, 0, &out, 0), QVA_ERR_EXECUTION);
  EXPECT_EQ(out, nullptr);
  // Both input slots (the library has two) are free again.
  EXPECT_EQ(instance->methods.QVAComp_PushInput(instance, 0, &buffer, 0, nullptr), QVA_SUCCESS);
  EXPECT_EQ(instance->methods.QVAComp_PushInput(instance, 0, &buffer, 0, nullptr), QVA_SUCCESS);
  EndAndRelease(instance);
}

TEST_F(EntryGuard, EndWhoseDestroyHookThrowsFailsAndTheReleaseStillFreesTheInstance) {
  ComponentInstance* instance = Create();
  ASSERT_NE(instance, nullptr);
  ASSERT_EQ(instance->methods.QVAComp_Start(instance), QVA_SUCCESS);
  arm_(kThrowInDestroyHook);
  EXPECT_EQ(instance->methods.QVAComp_End(instance), QVA_ERR_EXECUTION);
  EXPECT_NE(log_.Text().find("CompLib_End: stopped by an exception (thrown by the destroy hook); answered 5"),
            std::string::npos)
      << log_.Text();
  EXPECT_EQ(library_.release(instance), QVA_SUCCESS);
}

}  // namespace
}  // namespace orx::test
