#include <gtest/gtest.h>

#include "tests/framework/test_component.h"

namespace orx::test {
namespace {

using CompPins = TestLibrary;

QVAStatus GlueGet(void*, ComponentBuffer**) { return QVA_SUCCESS; }
QVAStatus GlueDeliver(void*, ComponentBuffer*) { return QVA_SUCCESS; }
void PinCallback(ComponentInstance*, ComponentBuffer*, uint32_t, void*) {}

uint32_t SlotSize(QVAHandle queue) {
  uint32_t size = 0;
  BufferQueue_GetStatus(queue, nullptr, &size, nullptr, nullptr);
  return size;
}

TEST_F(CompPins, InputAndOutputPinsAsATable) {
  ComponentInstance* encoder = Create(kTestEncoder);
  ComponentInstance* muxer = Create(kTestMuxer);

  // A pin the descriptor does not have: 36 and nothing written.
  QVAGetEmptyBufferFn get = GlueGet;
  QVADeliverBufferFn deliver = GlueDeliver;
  EXPECT_EQ(CompBase_GetInputPin(encoder, 1, &get, &deliver, 0, 0), QVA_ERR_BADPIN);
  EXPECT_EQ(get, GlueGet);
  EXPECT_EQ(deliver, GlueDeliver);

  // The defaults, the same twice, with sizes kept for the queue to come.
  EXPECT_EQ(CompBase_GetInputPin(muxer, 1, &get, &deliver, 4096, 3), QVA_SUCCESS);
  EXPECT_EQ(get, CompBase_GetEmptyInput1);
  EXPECT_EQ(deliver, CompBase_DeliverInput1);
  QVAGetEmptyBufferFn again = nullptr;
  EXPECT_EQ(CompBase_GetInputPin(muxer, 1, &again, nullptr, 0, 0), QVA_SUCCESS);
  EXPECT_EQ(again, CompBase_GetEmptyInput1);
  EXPECT_EQ(muxer->inputPin[1].bufferSize, 4096u);
  EXPECT_EQ(CompBase_IsPinConnected(muxer, 0, 1), 1u);

  // Entry points a glue installed are never replaced by the defaults.
  EXPECT_EQ(CompBase_SetupInputPin(encoder, 0, GlueGet, GlueDeliver, 0, 0), QVA_SUCCESS);
  EXPECT_NE(encoder->inputPin[0].queue, nullptr);  // set-up made the queue
  EXPECT_EQ(CompBase_GetInputPin(encoder, 0, &get, &deliver, 0, 0), QVA_SUCCESS);
  EXPECT_EQ(get, GlueGet);
  EXPECT_EQ(deliver, GlueDeliver);

  // Output connection: NULL entries disconnect but leave the pin set up.
  EXPECT_EQ(CompBase_ConnectOutput(encoder, 1, GlueGet, GlueDeliver, muxer), QVA_ERR_UNSUPPORTED);
  EXPECT_EQ(CompBase_ConnectOutput(encoder, 0, GlueGet, GlueDeliver, muxer), QVA_SUCCESS);
  EXPECT_EQ(CompBase_IsPinConnected(encoder, 1, 0), 1u);
  EXPECT_EQ(CompBase_ConnectOutput(encoder, 0, nullptr, nullptr, nullptr), QVA_SUCCESS);
  EXPECT_EQ(encoder->outputPin[0].setUp, 1u);
  EXPECT_EQ(CompBase_IsPinConnected(encoder, 1, 0), 0u);
  EXPECT_EQ(CompBase_IsPinConnected(encoder, 2, 0), 0u);

  // Growing an input queue resizes it; smaller values change nothing.
  QVAHandle queue = encoder->inputPin[0].queue;
  EXPECT_EQ(SlotSize(queue), 8192u);
  EXPECT_EQ(CompBase_SetupInputPin(encoder, 0, nullptr, nullptr, 20000, 2), QVA_SUCCESS);
  EXPECT_EQ(SlotSize(queue), 20000u);
  EXPECT_EQ(CompBase_SetupInputPin(encoder, 0, nullptr, nullptr, 100, 1), QVA_SUCCESS);
  EXPECT_EQ(SlotSize(queue), 20000u);
  EXPECT_EQ(encoder->inputPin[0].bufferCount, 2u);

  // An output pin set up without entries gets the instance's own output queue.
  EXPECT_EQ(CompBase_SetupOutputPin(muxer, 0, nullptr, nullptr, nullptr, 1024, 4), QVA_SUCCESS);
  EXPECT_EQ(muxer->outputPin[0].deliver, CompBase_QueueOutput);
  EXPECT_EQ(muxer->outputPin[0].getBuffer, CompBase_GetFreeOutputSlot);
  EXPECT_EQ(muxer->outputPin[0].context, muxer);
  EXPECT_EQ(SlotSize(muxer->outputPin[0].queue), 1024u);

  // A callback set before its queue exists is kept and installed with the queue.
  EXPECT_EQ(CompBase_SetPinCallback(muxer, 0, 0, PinCallback, nullptr), QVA_ERR_BADARG);
  EXPECT_EQ(muxer->inputPin[0].pinCallback, PinCallback);
  EXPECT_EQ(CompBase_SetupInputPin(muxer, 0, nullptr, nullptr, 0, 0), QVA_SUCCESS);
  EXPECT_EQ(CompBase_SetPinCallback(muxer, 0, 0, PinCallback, nullptr), QVA_SUCCESS);
  EXPECT_EQ(CompBase_SetPinCallback(muxer, 1, 0, PinCallback, nullptr), QVA_SUCCESS);
  EXPECT_EQ(CompBase_SetPinCallback(muxer, 3, 0, PinCallback, nullptr), QVA_ERR_BADARG);

  // Pin numbers beyond the pin arrays.
  EXPECT_EQ(CompBase_SetPinCallback(muxer, 0, 2, PinCallback, nullptr), QVA_ERR_BADPIN);
  EXPECT_EQ(CompBase_SetPinCallback(muxer, 1, 4, PinCallback, nullptr), QVA_ERR_BADPIN);
  EXPECT_EQ(CompBase_SetupInputPin(muxer, 2, nullptr, nullptr, 0, 0), QVA_ERR_BADPIN);
  EXPECT_EQ(CompBase_SetupOutputPin(muxer, 4, nullptr, nullptr, nullptr, 0, 0), QVA_ERR_BADPIN);
  EXPECT_EQ(CompBase_GetInputQueue(muxer, 2), nullptr);
  EXPECT_EQ(CompBase_GetInputQueue(muxer, 0), muxer->inputPin[0].queue);

  EXPECT_EQ(CompBase_Deinit(encoder), QVA_SUCCESS);
  EXPECT_EQ(encoder->inputPin[0].queue, nullptr);
  EXPECT_EQ(CompBase_Deinit(muxer), QVA_SUCCESS);
  EXPECT_EQ(muxer->outputPin[0].deliver, nullptr);  // the default entries are removed
  EXPECT_EQ(CompBase_Release(encoder), QVA_SUCCESS);
  EXPECT_EQ(CompBase_Release(muxer), QVA_SUCCESS);
}

}  // namespace
}  // namespace orx::test
