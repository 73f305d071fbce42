#pragma once
// The encoder's interface towards the component, and the output interface it writes through.
#include <cstdint>

namespace orx::aenc {

class IAudioBitstream {
 public:
  // The output bytes of one coded frame, or nullptr when no output buffer is available.
  virtual uint8_t* GetBuffer() = 0;
  // Hands the frame written into the buffer of the last GetBuffer downstream.
  virtual void Commit(uint32_t bytes) = 0;

 protected:
  ~IAudioBitstream() = default;
};

class IAudioEncoder {
 public:
  virtual bool Release() = 0;                        // destroys the object
  virtual bool Init(IAudioBitstream* bitstream) = 0;  // binds the output, clears per-stream state
  virtual bool EncodeFrame(const int16_t* pcm) = 0;   // one frame of interleaved PCM
  virtual bool EndOfStream() = 0;
  virtual double GetAverageStepDb() = 0;

 protected:
  virtual ~IAudioEncoder() = default;
};

}  // namespace orx::aenc
