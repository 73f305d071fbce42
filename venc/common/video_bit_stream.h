#pragma once
// The output writer the macroblock encoders hand their bytes to. The video encoder component
// implements it (`CBitStream`) and adds its own end-of-stream call; this is the part the
// encoders call, in slot order.
#include <cstdint>

namespace orx::venc {

class IVideoBitStream {
 public:
  // An output area for the next block: at least 4096 bytes, plus what emulation prevention
  // inserts, plus 7 bytes of copy slack; null when none can be had. The output hands on the
  // previous area first when it holds data.
  virtual uint8_t* GetWritePointer() = 0;
  // Marks the next area as a picture start with a time stamp: A for a B picture whose A is
  // valid, else B.
  virtual void SetTimeStamps(int64_t stampA, int64_t stampB, int pictureType, int reserved) = 0;
  // Adds bytes written at pointer to the current area.
  virtual void Advance(uint8_t* pointer, int bytes) = 0;
  // Hands the current area on as the end of a picture.
  virtual void Deliver() = 0;
  // The end of the stream, after the encoder's Finish: an output hands on what it still holds
  // (the sequence end code). The macroblock encoders never call it; the component does.
  virtual void Finish() {}

 protected:
  ~IVideoBitStream() = default;
};

}  // namespace orx::venc
