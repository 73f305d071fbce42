// The bit writer of CMBEncoder: bits are packed most-significant first into 32-bit words in the
// word buffer of the context block and leave for the output in blocks of 4096 bytes (3072
// before escaping in NAL mode), byte-swapped to big-endian on the way out. The word at the
// pointer and the word after it are always zero beyond the written bits, so writers OR into
// them.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "platform/debug_output.h"
#include "venc/mbenc/mb_encoder.h"

namespace orx::venc {
namespace {

// The zero run after one more byte: zero bytes count up to 4, anything else restarts it.
int CarryZeroRun(int zeroRun, uint8_t byte) { return byte == 0 ? std::min(zeroRun + 1, 4) : 0; }

int CarryZeroRunOverTail(int zeroRun, const uint8_t* bytes, int count) {
  for (int i = std::max(0, count - 4); i < count; ++i) zeroRun = CarryZeroRun(zeroRun, bytes[i]);
  return zeroRun;
}

// One pass of the escape rule: a 0x03 goes before any byte of 0..3 that follows two zero
// bytes. With kWrite the bytes are escaped in place, otherwise the insertions are only counted.
template <bool kWrite>
int EscapeScan(uint8_t* bytes, int count, int zeroRun) {
  int inserted = 0;
  for (int i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    if (b == 0 && zeroRun < 2) {
      ++zeroRun;
    } else if (zeroRun >= 2 && b <= 3) {
      if constexpr (kWrite) {
        std::memmove(bytes + i + 1, bytes + i, static_cast<size_t>(count - i));
        bytes[i] = 0x03;
        ++i;
        ++count;
      }
      ++inserted;
      zeroRun = b == 0 ? 1 : 0;
    } else {
      zeroRun = 0;
    }
  }
  return inserted;
}

}  // namespace

void CopyWordsBigEndian(uint8_t* bytes, const uint32_t* words, int n) {
  const int pairs = (n + 7) / 8;
  for (int i = 0; i < 2 * pairs; ++i) {
    const uint32_t swapped = __builtin_bswap32(words[i]);
    std::memcpy(bytes + 4 * i, &swapped, 4);
  }
}

int CMBEncoder::InsertEmulationPrevention(uint8_t* bytes, int count, int zeroRun) {
  return EscapeScan<true>(bytes, count, zeroRun);
}

void CMBEncoder::EmptyWordBuffer() {
  wordPtr_ = wordBuffer_;
  wordBuffer_[0] = 0;
  wordBuffer_[1] = 0;
  freeBits_ = 32;
}

void CMBEncoder::AttachBitStream(IVideoBitStream* stream) {
  bitStream_ = stream;
  EmptyWordBuffer();
  bytesOut_ = 0;
  bytesBefore_ = 0;
  nalMode_ = 0;
  startCodePending_ = 0;
  zeroRun_ = 4;
  lostBytes_ = 0;
}

void CMBEncoder::PutBits(uint32_t value, int n) {
  if (n < 32) value &= (1u << n) - 1;
  if (n >= freeBits_) {
    const int rest = n - freeBits_;
    *wordPtr_ |= value >> rest;
    CloseWord();
    if (BufferedWholeWords() * 4 >= kFlushThresholdBytes) FlushBits(false);
    if (rest == 0) return;
    n = rest;
  }
  freeBits_ -= n;
  *wordPtr_ |= value << freeBits_;
}

void CMBEncoder::AlignToByte() {
  const int k = freeBits_ % 8;
  if (k != 0) PutBits(0, k);
}

void CMBEncoder::StuffToByte() {
  const int k = freeBits_ % 8;
  if (k != 0) PutBits((1u << (k - 1)) - 1, k);
}

void CMBEncoder::PutUe(uint32_t v) {
  const int len = std::bit_width(v + 1) - 1;
  PutBits(v + 1, 2 * len + 1);
}

void CMBEncoder::PutUe32(uint32_t v) {
  const uint64_t codeNum = static_cast<uint64_t>(v) + 1;
  const int len = std::bit_width(codeNum) - 1;
  if (2 * len + 1 <= 32) {
    PutBits(static_cast<uint32_t>(codeNum), 2 * len + 1);
  } else {
    PutBits(0, len);
    PutBits(static_cast<uint32_t>(codeNum), len + 1);
  }
}

int64_t CMBEncoder::GetPictureBits() const {
  return 8 * (static_cast<int64_t>(bytesOut_) + 4 * BufferedWholeWords()) + (32 - freeBits_);
}

uint64_t CMBEncoder::GetBitPosition() const {
  return static_cast<uint64_t>(8 * (bytesBefore_ + bytesOut_ + 4 * BufferedWholeWords()) +
                               (32 - freeBits_));
}

void CMBEncoder::DropOutput(int bytes) {
  if (lostBytes_ == 0) {
    char line[128];
    std::snprintf(line, sizeof line,
                  "CMBEncoder: the output gave no write area; %d bytes of the stream are lost\n",
                  bytes);
    platform::DebugOutput(line);
  }
  lostBytes_ += static_cast<uint64_t>(bytes);
}

int CMBEncoder::EmitBytes(int bytes) {
  // A pending start code is four bytes that are never escaped; the zero run continues over them.
  const int skip = nalMode_ && startCodePending_ ? 4 : 0;
  if (skip) {
    uint8_t startCode[8];
    CopyWordsBigEndian(startCode, wordBuffer_, 4);
    zeroRun_ = CarryZeroRunOverTail(zeroRun_, startCode, 4);
  }
  uint8_t* p = bitStream_->GetWritePointer();
  if (p == nullptr || OutputHeldBack()) {
    // Nothing leaves; the bytes still count (escape bytes too while held back, so the counts
    // do not depend on the hold).
    int counted = bytes;
    if (nalMode_) {
      uint8_t scratch[4 * kOutputBlockWords + 8];
      CopyWordsBigEndian(scratch, wordBuffer_, bytes);
      if (p != nullptr) counted += EscapeScan<false>(scratch + skip, bytes - skip, zeroRun_);
      zeroRun_ = CarryZeroRunOverTail(zeroRun_, scratch + skip, bytes - skip);
    }
    if (p == nullptr) DropOutput(bytes);
    return counted;
  }
  CopyWordsBigEndian(p, wordBuffer_, bytes);
  int count = bytes;
  if (nalMode_) {
    count += InsertEmulationPrevention(p + skip, bytes - skip, zeroRun_);
    zeroRun_ = CarryZeroRunOverTail(zeroRun_, p + skip, count - skip);
  }
  bitStream_->Advance(p, count);
  return count;
}

void CMBEncoder::FlushBits(bool final) {
  const int blockWords = nalMode_ ? kEscapedOutputBlockWords : kOutputBlockWords;
  while (BufferedWholeWords() >= blockWords) {
    bytesOut_ += EmitBytes(4 * blockWords);
    // Keep the rest, the partly filled word and the zero word after it.
    const int remaining = BufferedWholeWords() - blockWords;
    std::memmove(wordBuffer_, wordBuffer_ + blockWords, static_cast<size_t>(remaining + 2) * 4);
    wordPtr_ = wordBuffer_ + remaining;
    startCodePending_ = 0;
  }
  if (!final) return;
  // Pad to a byte; the padding bits are already zero.
  freeBits_ -= freeBits_ % 8;
  if (freeBits_ == 0) CloseWord();
  const int bytes = 4 * BufferedWholeWords() + (32 - freeBits_) / 8;
  if (bytes != 0) bytesOut_ += EmitBytes(bytes);
  EmptyWordBuffer();
  startCodePending_ = 0;
  nalMode_ = 0;
}

void CMBEncoder::BeginEscapedUnit(uint32_t startWord) {
  FlushBits(true);
  if (startWord != 0xFFFFFFFF) {
    wordBuffer_[0] = startWord;
    wordBuffer_[2] = 0;
    wordPtr_ = wordBuffer_ + 1;
    startCodePending_ = 1;
  } else {
    // A unit without a start code begins a new escaped sequence: whatever zero bytes ended
    // the previous data, no decoder counts them into this unit.
    zeroRun_ = 0;
  }
  nalMode_ = 1;
}

}  // namespace orx::venc
