// One Layer III frame: transform, bit budget, side information into a queued node, main data
// into the staging buffer, and every frame whose main data is complete handed to the output.
// The end of a stream completes the frames still waiting.
#include <algorithm>
#include <cstring>
#include <new>

#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/layer3/layer3_state.h"
#include "aenc/layer3/layer3_tables.h"

namespace orx::aenc {

bool CMPEGAudioEncoder::SetupLayer3() {
  l3State.reset(new (std::nothrow) Layer3State);
  if (!l3State || !l3Work.Allocate(1)) return false;
  l3State->sfbBounds = kLayer3SfbBoundsLong[id * 3 + samplingIndex];
  return true;
}

void CMPEGAudioEncoder::ResetLayer3Stream() {
  // A new stream starts as the first did: empty reservoir, fresh gain smoothing, no queued
  // frames, and the padding pattern from its start.
  if (!l3State) return;
  l3Work.Clear();
  const uint16_t* bounds = l3State->sfbBounds;
  std::unique_ptr<Layer3FrameNode> spare = std::move(l3State->freeNodes);
  *l3State = Layer3State{};
  l3State->sfbBounds = bounds;
  l3State->freeNodes = std::move(spare);
  paddingAccumulator = -frameRemainder;
}

bool CMPEGAudioEncoder::EncodeLayer3Frame(int bits) {
  const int side = channels == 1 ? 168 : 288;
  const int mean = bits - side - (crc ? 16 : 0);
  Layer3Transform();
  Layer3Granules(mean / 2, bits);
  const bool written = Layer3WriteFrame(bits);
  ++l3State->streamFrames;
  return written;
}

int CMPEGAudioEncoder::MainDataBitsWritten() const { return 8 * stageIndex + 8 - stageBitsLeft; }

bool CMPEGAudioEncoder::Layer3WriteFrame(int bits) {
  Layer3State& st = *l3State;
  uint32_t pendingBytes = 0;
  for (const Layer3FrameNode* n = st.pending.get(); n; n = n->next.get()) pendingBytes += n->PayloadBytes();
  const int mainDataBegin = static_cast<int>(pendingBytes) - stageIndex;

  std::unique_ptr<Layer3FrameNode> node = std::move(st.freeNodes);
  if (node) st.freeNodes = std::move(node->next);
  else if (!(node = NewLayer3Node())) return false;
  frameStart = writePtr = node->bytes;
  bitsLeft = 8;
  node->bytes[0] = 0;
  Layer3WriteSideInfo(mainDataBegin);
  node->frameBits = static_cast<uint32_t>(bits);
  node->headerSideBits = static_cast<uint32_t>((writePtr - frameStart) * 8 + 8 - bitsLeft);
  Layer3FrameNode* added = node.get();
  if (st.pendingTail) st.pendingTail->next = std::move(node);
  else st.pending = std::move(node);
  st.pendingTail = added;

  Layer3WriteMainData();
  Layer3OutputCompleteFrames();
  return true;
}

std::unique_ptr<Layer3FrameNode> CMPEGAudioEncoder::NewLayer3Node() {
  if (layer3NodeAllocationsLeft == 0) return nullptr;
  if (layer3NodeAllocationsLeft > 0) --layer3NodeAllocationsLeft;
  return std::unique_ptr<Layer3FrameNode>(new (std::nothrow) Layer3FrameNode);
}

void CMPEGAudioEncoder::Layer3OutputCompleteFrames() {
  Layer3State& st = *l3State;
  while (st.pending && static_cast<uint32_t>(stageIndex) >= st.pending->PayloadBytes()) {
    std::unique_ptr<Layer3FrameNode> node = std::move(st.pending);
    st.pending = std::move(node->next);
    if (!st.pending) st.pendingTail = nullptr;
    const uint32_t headerBytes = node->headerSideBits / 8;
    uint8_t* buffer = bitstream ? bitstream->GetBuffer() : nullptr;
    if (buffer) {
      std::memcpy(buffer, node->bytes, headerBytes);
      frameStart = buffer;
      writePtr = buffer + headerBytes;
      *writePtr = 0;
    } else {
      // The frame is lost (the output said so), but its main data leaves the stage all the same:
      // the following frames point back into the stream as it was planned.
      frameStart = writePtr = nullptr;
    }
    FlushMainData(static_cast<int>(node->PayloadBytes()));
    if (buffer) bitstream->Commit(node->frameBits / 8);
    frameStart = writePtr = nullptr;
    node->next = std::move(st.freeNodes);
    st.freeNodes = std::move(node);
  }
}

bool CMPEGAudioEncoder::EndOfStream() {
  if (!l3State) return true;
  // The frames still waiting get their missing main data as zero bytes (ancillary data after
  // the last granule), so every coded frame reaches the output whole and in order.
  Layer3State& st = *l3State;
  uint32_t pendingBytes = 0;
  for (const Layer3FrameNode* n = st.pending.get(); n; n = n->next.get()) pendingBytes += n->PayloadBytes();
  while (static_cast<uint32_t>(stageIndex) < pendingBytes && stageIndex < static_cast<int>(sizeof stage) - 1)
    PutMainDataBits(0, 8);
  Layer3OutputCompleteFrames();
  st.pending.reset();
  st.pendingTail = nullptr;
  st.freeNodes.reset();
  return true;
}

}  // namespace orx::aenc
