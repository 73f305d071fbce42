#pragma once
// The multiplexer's output bit stream: each write goes to the component that owns it (its own
// file or output pin 0), each seek too. A failed write or seek is kept, so the process hook
// ends with that status.
#include <cstdint>
#include <vector>

#include "framework/qva_component.h"
#include "mux/core/mux_interfaces.h"

namespace orx::mux {

class CMuxBitStream final : public IMuxBitStream {
 public:
  explicit CMuxBitStream(ComponentInstance* instance) : instance_(instance) {}

  uint8_t* GetBuffer(uint32_t size) override;
  uint8_t* Write(MuxWriteDesc* desc, uint32_t count) override;
  void Reset() override;

  // The first failure since the last ClearStatus, or 0.
  QVAStatus Status() const { return status_; }
  void ClearStatus() { status_ = QVA_SUCCESS; }

 private:
  void Keep(QVAStatus status);

  ComponentInstance* instance_;
  std::vector<uint8_t> buffer_;
  QVAStatus status_ = QVA_SUCCESS;
};

IMuxBitStream* NewMuxBitStream(ComponentInstance* instance);

}  // namespace orx::mux
