#pragma once
// The peer of a component's output pin, connected through the framework's get and deliver
// callbacks (QVAComp_ConnectOutput). Every get lends a fresh record of one capacity (its bytes
// set to 0xA5, so bytes the component did not write show), every delivery is copied and kept,
// and a lent record is given back with its delivery. It can refuse gets or deliveries from a
// given call on, as a stalled or failing downstream pin does.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/qva_component.h"

namespace orx::test {

class OutputSink {
 public:
  struct Delivery {
    uint32_t flags;
    uint64_t timestamp;
    uintptr_t bytesRead;  // with QVA_BUFFLAG_REFHANDLE, the sender's reference handle
    uint32_t componentWord;  // component-defined, carried along
    uint64_t seekOffset;  // where a QVA_BUFFLAG_SEEK record moves the write position
    std::vector<uint8_t> data;
  };
  static constexpr std::chrono::milliseconds kWait{120000};

  explicit OutputSink(uint32_t capacity) : capacity_(capacity) {}
  OutputSink(const OutputSink&) = delete;
  OutputSink& operator=(const OutputSink&) = delete;

  // Connects the instance's output pin to this sink.
  QVAStatus Connect(ComponentInstance* instance, uint32_t pin = 0);
  // The callbacks, with the sink as their context.
  static QVAStatus Get(void* self, ComponentBuffer** out);
  static QVAStatus Deliver(void* self, ComponentBuffer* buffer);

  // Once `lend` more gets have been served, every get answers `status` and lends nothing.
  void RefuseGets(QVAStatus status, size_t lend = 0);
  // Once `take` more deliveries have been taken, every delivery but an end of stream answers
  // `status`; it is not kept and its record stays lent.
  void RefuseDeliveries(QVAStatus status, size_t take = 0);

  std::vector<Delivery> Deliveries() const;
  size_t Count(const std::function<bool(const Delivery&)>& test) const;
  // Waits until `count` deliveries pass the test; false when the time ran out first.
  bool WaitFor(const std::function<bool(const Delivery&)>& test, size_t count = 1,
               std::chrono::milliseconds timeout = kWait) const;
  // The data of the deliveries that carry none of `skipFlags`, joined in delivery order.
  std::vector<uint8_t> Joined(uint32_t skipFlags) const;
  // Forgets what was delivered so far.
  void Clear();

 private:
  struct Lent {
    ComponentBuffer record{};
    std::vector<uint8_t> storage;
  };
  // A refusal that starts after `before` more calls; QVA_SUCCESS while none is set.
  struct Refusal {
    QVAStatus status = QVA_SUCCESS;
    size_t before = 0;
    bool Refuses();
  };

  const uint32_t capacity_;
  mutable std::mutex mutex_;
  mutable std::condition_variable delivered_;
  std::vector<std::unique_ptr<Lent>> lent_;
  std::vector<Delivery> deliveries_;
  Refusal getRefusal_;
  Refusal deliveryRefusal_;
};

}  // namespace orx::test
