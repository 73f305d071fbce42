#pragma once
// CBitStream: the output of one video encoder instance. The macroblock encoders write into areas
// that are empty buffers of output pin 0's peer; each area is handed downstream when the next is
// asked for or a picture ends, stamped with the picture's presentation time and the flags and
// words its input buffer carried.
#include <cstdint>

#include "framework/qva_component.h"
#include "venc/component/frame_info_ring.h"
#include "venc/common/video_bit_stream.h"

namespace orx::venc {

class CBitStream final : public IVideoBitStream {
 public:
  CBitStream(ComponentInstance* instance, const FrameInfoRing* ring) : instance_(instance), ring_(ring) {}

  uint8_t* GetWritePointer() override;
  // A B picture whose stamp A is positive is stamped with A, every other picture with B.
  void SetTimeStamps(int64_t stampA, int64_t stampB, int pictureType, int reserved) override;
  void Advance(uint8_t* pointer, int bytes) override;
  void Deliver() override;
  // Hands on a current area that holds data: the sequence end code the encoder's Finish leaves.
  void Finish() override;
  // Neither asks for areas nor hands them on any more (the instance is being destroyed, its
  // peer may be gone): the encoder's bytes are dropped.
  void Detach() { detached_ = true; }
  void Attach() { detached_ = false; }

  // The first status of an output that failed since the last call (an area that could not be
  // had or handed on: its bytes are lost), or 0; clears it.
  QVAStatus TakeFailure();

 private:
  void DeliverCurrent();
  void Fail(QVAStatus status) {
    if (failure_ == QVA_SUCCESS) failure_ = status;
  }

  ComponentInstance* instance_;
  const FrameInfoRing* ring_;
  ComponentBuffer* current_ = nullptr;
  uint32_t delivered_ = 0;
  uint64_t totalBytes_ = 0;
  bool timeStampPending_ = false;
  bool pictureStart_ = true;
  uint64_t outputTimeStamp_ = 0;
  QVAStatus failure_ = QVA_SUCCESS;
  bool detached_ = false;
};

}  // namespace orx::venc
