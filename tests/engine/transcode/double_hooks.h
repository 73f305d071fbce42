#pragma once
// What the test program offers the doubles and the mock encoder it loads: a recorder of the
// calls they see (one line each, in the order they happen across all libraries) and the
// behaviour each double is to show. The test executable exports both functions; a library finds
// them by name at run time (absent: it records nothing and behaves plainly).
#include <atomic>
#include <cstdint>

struct DoubleBehaviour {
  uint32_t connectOutputFails;   // QVAComp_ConnectOutput answers 20
  uint32_t inputBufferSize;      // input pin buffer size (0: the double's default)
  uint32_t trailer;              // a multiplexer emits data, a seek (high word), data, end at its end
  std::atomic<uint32_t> stall;   // the mock encoder takes no input while set
  uint32_t frameDelayMs[16];     // the mock encoder's time per frame, by instance creation order
  uint32_t pictureBytes;         // mock encoder: bytes per picture (0: 32)
  uint32_t failAtPicture;        // mock encoder: its hook fails with 10 at this picture of the run (0: never)
};

extern "C" {
typedef void (*TengineDoubleRecordFn)(const char* who, const char* line);
typedef DoubleBehaviour* (*TengineDoubleBehaviourFn)(const char* who);
}

inline constexpr const char* kDoubleRecordSymbol = "TengineDoubleRecord";
inline constexpr const char* kDoubleBehaviourSymbol = "TengineDoubleBehaviour";

// The picture the mock encoder makes of each frame: its id (read from the frame's luma) and time.
struct MockPicture {
  uint32_t magic;  // 'MOCK'
  uint32_t id;
  uint64_t time;
  uint32_t instance;  // creation index of the encoder instance
  uint32_t batch;     // batch number within that instance
  uint32_t bytes;     // total bytes of this picture
  uint32_t reserved;
};
inline constexpr uint32_t kMockPictureMagic = 0x4B434F4D;

// The frame id: 16 bits, bit b a 4-sample-wide stripe at columns 4b..4b+3 of luma rows 0..7
// (light 235 for 1, dark 16 for 0). It survives every conversion to planar 4:2:0.
inline constexpr uint32_t kIdBits = 16;
inline constexpr uint32_t kIdStripeWidth = 4;
inline constexpr uint32_t kIdRows = 8;
