#include <gtest/gtest.h>

#include <cstring>

#include "framework/qva_component.h"

namespace {

TEST(QvaHandle, TypedLookupChecksTheTypeWord) {
  QVAHandle event = QVACreateEvent(0, 0, nullptr);
  QVAHandle lock = nullptr;
  ASSERT_EQ(QVACreateLock(&lock), QVA_SUCCESS);
  ASSERT_TRUE(event && lock);
  const struct {
    QVAHandle handle;
    uint32_t type;
    bool found;
  } cases[] = {
      {event, QVA_HANDLE_EVENT, true},
      {event, QVA_HANDLE_LOCK, false},
      {lock, QVA_HANDLE_LOCK, true},
      {lock, QVA_HANDLE_QUEUE, false},
      {nullptr, QVA_HANDLE_EVENT, false},
  };
  for (const auto& c : cases) {
    void* data = QVAGetTypedHandle(c.handle, c.type);
    EXPECT_EQ(data != nullptr, c.found) << std::hex << c.type;
    if (c.found) {
      EXPECT_EQ(data, static_cast<char*>(c.handle) + kQVAHandleDataOffset);
    }
  }
  uint32_t type = 0;
  EXPECT_NE(QVAHandleData(event, &type), nullptr);
  EXPECT_EQ(type, QVA_HANDLE_EVENT);
  EXPECT_EQ(QVAHandleData(nullptr, &type), nullptr);
  EXPECT_EQ(QVADestroyEvent(event), QVA_SUCCESS);
  EXPECT_EQ(QVADestroyLock(lock), QVA_SUCCESS);
}

TEST(QvaHandle, DataIsAlignedAndZeroedWithoutTemplate) {
  for (uint32_t size : {1u, 24u, 100u, 4000u}) {
    // Dirty the heap first, so zeroing is not an accident of fresh memory.
    void* dirt = QVAMalloc(size + 64);
    std::memset(dirt, 0xEE, size + 64);
    QVAFree(dirt);
    QVAHandle handle = QVAAllocHandle(0x80002, nullptr, size);
    ASSERT_NE(handle, nullptr);
    auto* data = static_cast<unsigned char*>(QVAGetTypedHandle(handle, 0x80002));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 16, 0u);
    for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(data[i], 0) << "byte " << i << " of " << size;
    EXPECT_EQ(QVAReleaseHandle(handle), QVA_SUCCESS);
  }
  const uint64_t templateData[2] = {0x1122334455667788ull, 42};
  QVAHandle copied = QVACreateHandle(0x80001, templateData, sizeof templateData);
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(std::memcmp(QVAGetHandleData(copied, nullptr), templateData, sizeof templateData), 0);
  EXPECT_EQ(QVAHandleValue(copied, 7), 7u);
  EXPECT_EQ(QVAHandleValue(nullptr, 7), 0u);
  EXPECT_EQ(QVAFreeHandleBlock(copied), QVA_SUCCESS);
  EXPECT_EQ(QVAFreeHandleBlock(nullptr), QVA_SUCCESS);
}

}  // namespace
