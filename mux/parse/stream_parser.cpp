#include "mux/parse/stream_parser.h"

#include <algorithm>
#include <cstring>

#include "mux/parse/es_tables.h"

namespace orx::mux {
namespace {

constexpr size_t kBufferSize = 8192;
constexpr size_t kFullSize = 8188;  // a multiple of 4 handed out when no boundary is found
constexpr size_t kRingSize = 8;

enum class AudioFraming { kUnknown, kMpeg, kAc3 };
enum class VideoFraming { kUnknown, kMpeg12, kMpeg4 };

// Bytes of the MPEG audio frame whose header is at p (4 bytes), 0 when it is no header.
size_t MpegAudioFrameBytes(const uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return 0;
  const uint32_t id = (p[1] >> 3) & 1;
  const uint32_t layerBits = (p[1] >> 1) & 3;
  const uint32_t index = p[2] >> 4;
  const uint32_t rate = MpegAudioSampleRate(id, (p[2] >> 2) & 3);
  const uint32_t kbps = MpegAudioBitRateKbps(id, layerBits, index);
  const uint32_t padding = (p[2] >> 1) & 1;
  if (layerBits == 0 || kbps == 0 || rate == 0 || (p[1] & 0x10) == 0) return 0;
  if (layerBits == 3) return (12 * kbps * 1000 / rate + padding) * 4;
  const uint32_t samples = layerBits == 1 && id == 0 ? 576 : 1152;
  return samples * kbps * 125 / rate + padding;
}

size_t Ac3FrameBytes(const uint8_t* p) {
  if (p[0] != 0x0B || p[1] != 0x77) return 0;
  return 2 * static_cast<size_t>(Ac3FrameWords(p[4] >> 6, p[4] & 0x3F));
}

class CStreamParser final : public IStreamParser {
 public:
  void Release() override { delete this; }
  void Init(uint32_t kind, uint32_t value) override;
  bool Parse(StreamParserInput* input, StreamParserOutput& output) override;

 private:
  ~CStreamParser() override = default;
  struct Stamp {
    uint32_t flags = 0;
    uint64_t time = 0;
    int64_t position = -1;
  };
  void Take(StreamParserInput* input);
  size_t FindAudioFrame(size_t& start);
  size_t FindVideoUnit(uint32_t& pictureFlags);
  bool HandOut(size_t start, size_t length, uint32_t flags, StreamParserOutput& output);

  uint32_t kind_ = 2;
  uint8_t buffer_[kBufferSize] = {};
  size_t fill_ = 0;
  size_t handedOut_ = 0;
  bool endOfInput_ = false;
  int64_t inputBytes_ = 0;   // stream position of buffer_[0] is inputBytes_ - fill_
  Stamp ring_[kRingSize];
  size_t ringIndex_ = 0;
  int64_t lastStampPosition_ = -1;
  AudioFraming audio_ = AudioFraming::kUnknown;
  VideoFraming video_ = VideoFraming::kUnknown;
};

void CStreamParser::Init(uint32_t kind, uint32_t /*value*/) {
  kind_ = kind;
  fill_ = 0;
  handedOut_ = 0;
  endOfInput_ = false;
  inputBytes_ = 0;
  for (Stamp& stamp : ring_) stamp = Stamp{};
  ringIndex_ = 0;
  lastStampPosition_ = -1;
  audio_ = AudioFraming::kUnknown;
  video_ = VideoFraming::kUnknown;
}

void CStreamParser::Take(StreamParserInput* input) {
  if (input == nullptr) return;
  if (input->consumed == 0) {
    if (input->flags & kParserEndOfInput) endOfInput_ = true;
    // A new time takes the next ring entry; so does the first time of all, even 0.
    const Stamp& current = ring_[ringIndex_];
    if ((input->flags & kParserTimeValid) && (input->time != current.time || current.position < 0)) {
      ringIndex_ = (ringIndex_ + 1) % kRingSize;
      ring_[ringIndex_] = Stamp{input->flags, input->time, inputBytes_};
    }
  }
  const size_t count = std::min<size_t>(input->length - input->consumed, kBufferSize - fill_);
  if (count > 0) std::memcpy(buffer_ + fill_, input->data + input->consumed, count);
  fill_ += count;
  inputBytes_ += static_cast<int64_t>(count);
  input->consumed += static_cast<uint32_t>(count);
}

// Finds the next whole frame; answers its length (0 when none is complete) and its start.
size_t CStreamParser::FindAudioFrame(size_t& start) {
  for (start = 0; start + 5 <= fill_; ++start) {
    size_t bytes = 0;
    if (audio_ != AudioFraming::kAc3) {
      bytes = MpegAudioFrameBytes(buffer_ + start);
      if (bytes && audio_ == AudioFraming::kUnknown) audio_ = AudioFraming::kMpeg;
    }
    if (bytes == 0 && audio_ != AudioFraming::kMpeg) {
      bytes = Ac3FrameBytes(buffer_ + start);
      if (bytes && audio_ == AudioFraming::kUnknown) audio_ = AudioFraming::kAc3;
    }
    if (bytes == 0) continue;
    return start + bytes <= fill_ ? bytes : 0;
  }
  return 0;
}

// Finds the end of the access unit at the buffer's start: the next picture or VOP start code
// after the first one.
size_t CStreamParser::FindVideoUnit(uint32_t& pictureFlags) {
  bool seenPicture = false;
  for (size_t i = 0; i + 4 <= fill_; ++i) {
    if (buffer_[i] != 0 || buffer_[i + 1] != 0 || buffer_[i + 2] != 1) continue;
    const uint8_t code = buffer_[i + 3];
    if (video_ == VideoFraming::kUnknown) {
      if (code == 0xB3) video_ = VideoFraming::kMpeg12;
      if (code == 0xB0 || code <= 0x2F) video_ = VideoFraming::kMpeg4;
    }
    const bool picture = (video_ == VideoFraming::kMpeg12 && code == 0x00) ||
                         (video_ == VideoFraming::kMpeg4 && code == 0xB6);
    if (!picture) continue;
    if (seenPicture) return i;
    seenPicture = true;
    if (i + 6 > fill_) return 0;
    const uint32_t type = video_ == VideoFraming::kMpeg12 ? (buffer_[i + 5] >> 3) & 7 : (buffer_[i + 4] >> 6) + 1u;
    pictureFlags = type == 1 ? kParserPictureI : type == 2 ? kParserPictureP : type == 3 ? uint32_t{kParserPictureB} : 0u;
  }
  return 0;
}

bool CStreamParser::HandOut(size_t start, size_t length, uint32_t flags, StreamParserOutput& output) {
  // The stamp whose input position is the nearest at or before the unit's start.
  const int64_t position = inputBytes_ - static_cast<int64_t>(fill_) + static_cast<int64_t>(start);
  const Stamp* best = nullptr;
  for (const Stamp& stamp : ring_)
    if (stamp.position >= 0 && stamp.position <= position && (!best || stamp.position > best->position)) best = &stamp;
  output.data = buffer_ + start;
  output.length = static_cast<uint32_t>(length);
  output.flags = flags;
  output.time = 0;
  if (best && best->position != lastStampPosition_) {
    output.flags |= best->flags & kParserTimeValid;
    output.time = best->time;
    lastStampPosition_ = best->position;
  }
  handedOut_ = start + length;
  return true;
}

bool CStreamParser::Parse(StreamParserInput* input, StreamParserOutput& output) {
  output = StreamParserOutput{};
  if (handedOut_ > 0) {
    std::memmove(buffer_, buffer_ + handedOut_, fill_ - handedOut_);
    fill_ -= handedOut_;
    handedOut_ = 0;
  }
  Take(input);
  if (kind_ > 1) {
    if (fill_ == 0) return false;
    return HandOut(0, fill_, 0, output);
  }
  if (kind_ == 0) {
    size_t start = 0;
    const size_t bytes = FindAudioFrame(start);
    if (bytes > 0) return HandOut(start, bytes, 0, output);
  } else {
    uint32_t pictureFlags = 0;
    const size_t bytes = FindVideoUnit(pictureFlags);
    if (bytes > 0) return HandOut(0, bytes, pictureFlags, output);
    if (endOfInput_ && fill_ > 0 && (input == nullptr || input->consumed == input->length)) {
      FindVideoUnit(pictureFlags);
      return HandOut(0, fill_, pictureFlags, output);
    }
  }
  if (fill_ >= kFullSize || (endOfInput_ && fill_ > 0 && (input == nullptr || input->consumed == input->length)))
    return HandOut(0, std::min(fill_, kFullSize), 0, output);
  return false;
}

}  // namespace

IStreamParser* NewStreamParser() { return new CStreamParser(); }

}  // namespace orx::mux
