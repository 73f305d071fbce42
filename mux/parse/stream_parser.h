#pragma once
// Frames a byte stream into whole access units with time stamps: MPEG audio and AC-3 frames,
// or MPEG-1/2 pictures and MPEG-4 VOPs; any other kind passes through unchanged.
#include <cstddef>
#include <cstdint>

namespace orx::mux {

enum StreamParserFlags : uint32_t {
  kParserEndOfInput = 0x1,
  kParserTimeValid = 0x4,
  kParserPictureI = 0x100,
  kParserPictureP = 0x200,
  kParserPictureB = 0x300,
};

struct StreamParserInput {
  const uint8_t* data = nullptr;
  uint32_t flags = 0;
  uint64_t time = 0;
  uint32_t length = 0;
  uint32_t consumed = 0;  // advanced by Parse
};

struct StreamParserOutput {
  const uint8_t* data = nullptr;  // valid until the next Parse
  uint32_t flags = 0;
  uint64_t time = 0;
  uint32_t length = 0;
};

class IStreamParser {
 public:
  virtual void Release() = 0;
  // kind: 0 audio, 1 video, any other value passes the input through.
  virtual void Init(uint32_t kind, uint32_t value) = 0;
  // Takes what fits of the input and answers true with one access unit in output.
  virtual bool Parse(StreamParserInput* input, StreamParserOutput& output) = 0;

 protected:
  virtual ~IStreamParser() = default;
};

IStreamParser* NewStreamParser();

}  // namespace orx::mux
