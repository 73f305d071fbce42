#include "tests/support/output_sink.h"

#include <algorithm>

namespace orx::test {

bool OutputSink::Refusal::Refuses() {
  if (status == QVA_SUCCESS) return false;
  if (before == 0) return true;
  --before;
  return false;
}

QVAStatus OutputSink::Connect(ComponentInstance* instance, uint32_t pin) {
  return instance->methods.QVAComp_ConnectOutput(instance, pin, Get, Deliver, this);
}

QVAStatus OutputSink::Get(void* self, ComponentBuffer** out) {
  auto* sink = static_cast<OutputSink*>(self);
  std::lock_guard<std::mutex> lock(sink->mutex_);
  *out = nullptr;
  if (sink->getRefusal_.Refuses()) return sink->getRefusal_.status;
  auto lent = std::make_unique<Lent>();
  lent->storage.assign(sink->capacity_, 0xA5);
  lent->record.frameworkMark = 1;  // as in every record the framework builds
  lent->record.data = lent->storage.data();
  lent->record.capacity = sink->capacity_;
  *out = &lent->record;
  sink->lent_.push_back(std::move(lent));
  return QVA_SUCCESS;
}

QVAStatus OutputSink::Deliver(void* self, ComponentBuffer* buffer) {
  auto* sink = static_cast<OutputSink*>(self);
  std::lock_guard<std::mutex> lock(sink->mutex_);
  if (!(buffer->flags & QVA_BUFFLAG_EOS) && sink->deliveryRefusal_.Refuses()) return sink->deliveryRefusal_.status;
  Delivery delivery{buffer->flags, buffer->timestamp, buffer->bytesRead, buffer->componentWord, 0, {}};
  if (buffer->flags & QVA_BUFFLAG_SEEK) delivery.seekOffset = buffer->SeekOffset();
  if (buffer->data != nullptr && buffer->length != 0) delivery.data.assign(buffer->data, buffer->data + buffer->length);
  sink->deliveries_.push_back(std::move(delivery));
  // A lent record comes back with its delivery; a foreign one (a format change) stays the sender's.
  const auto own = std::find_if(sink->lent_.begin(), sink->lent_.end(),
                                [buffer](const std::unique_ptr<Lent>& lent) { return &lent->record == buffer; });
  if (own != sink->lent_.end()) sink->lent_.erase(own);
  sink->delivered_.notify_all();
  return QVA_SUCCESS;
}

void OutputSink::RefuseGets(QVAStatus status, size_t lend) {
  std::lock_guard<std::mutex> lock(mutex_);
  getRefusal_ = {status, lend};
}

void OutputSink::RefuseDeliveries(QVAStatus status, size_t take) {
  std::lock_guard<std::mutex> lock(mutex_);
  deliveryRefusal_ = {status, take};
}

std::vector<OutputSink::Delivery> OutputSink::Deliveries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return deliveries_;
}

size_t OutputSink::Count(const std::function<bool(const Delivery&)>& test) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count_if(deliveries_.begin(), deliveries_.end(), test));
}

bool OutputSink::WaitFor(const std::function<bool(const Delivery&)>& test, size_t count,
                         std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return delivered_.wait_for(lock, timeout, [&] {
    return static_cast<size_t>(std::count_if(deliveries_.begin(), deliveries_.end(), test)) >= count;
  });
}

std::vector<uint8_t> OutputSink::Joined(uint32_t skipFlags) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<uint8_t> joined;
  for (const Delivery& delivery : deliveries_) {
    if (!(delivery.flags & skipFlags)) joined.insert(joined.end(), delivery.data.begin(), delivery.data.end());
  }
  return joined;
}

void OutputSink::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  deliveries_.clear();
}

}  // namespace orx::test
