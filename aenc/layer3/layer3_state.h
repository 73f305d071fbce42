#pragma once
// The Layer III coder's records: the 34560-byte work area, the granule records, the frame
// nodes waiting for their main data, and the state that runs across frames.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace orx::aenc {

constexpr int kLayer3Lines = 576;         // spectral lines of a granule
constexpr int kLayer3HistoryRows = 54;    // subband rows: previous granule, granule 0, granule 1
constexpr int kLayer3LargestCode = 8191;  // codes of 8192 and more reject a gain
constexpr int kLayer3MaxPart23 = 4095;    // part2_3_length has 12 bits
constexpr int kLayer3NodeBytes = 64;      // header and side information of one frame

struct alignas(64) Layer3WorkArea {
  int32_t ix[2][2][kLayer3Lines];  // [granule][channel] quantized magnitudes
  float xr34[kLayer3Lines];        // |xr|^0.75 of the granule being coded
  float xr[2][2][kLayer3Lines];    // [granule][channel] MDCT lines after aliasing reduction
  // [channel][row][subband]: rows 0..17 the previous frame's second granule, 18..35 granule 0,
  // 36..53 granule 1.
  float history[2][kLayer3HistoryRows][32];
};
static_assert(sizeof(Layer3WorkArea) == 34560);
static_assert(offsetof(Layer3WorkArea, xr34) == 9216);
static_assert(offsetof(Layer3WorkArea, xr) == 11520);
static_assert(offsetof(Layer3WorkArea, history) == 20736);

// One granule and channel as the side information carries it.
struct Layer3GranuleRecord {
  uint32_t part23Length;
  uint32_t bigValues;  // pairs
  uint32_t count1;     // quadruples
  uint32_t tableSelect[3];
  uint32_t region0Count;
  uint32_t region1Count;
  uint32_t count1TableSelect;
  uint32_t globalGain;
};
static_assert(sizeof(Layer3GranuleRecord) == 40);

// A frame whose header and side information are written and whose main data may still be
// missing. Nodes are reused through the free list.
struct Layer3FrameNode {
  std::unique_ptr<Layer3FrameNode> next;
  uint32_t frameBits = 0;       // including padding
  uint32_t headerSideBits = 0;  // header and side information
  uint8_t bytes[kLayer3NodeBytes] = {};

  uint32_t PayloadBytes() const { return (frameBits - headerSideBits) / 8; }
};

struct Layer3State {
  uint32_t stuffingBits = 0;  // ancillary zero bits of the current frame
  int32_t reservoirBits = 0;
  int32_t maxReservoirBits = 0;
  const uint16_t* sfbBounds = nullptr;  // 23 long-block boundaries of the rate
  std::unique_ptr<Layer3FrameNode> pending;  // frames in stream order, waiting for main data
  Layer3FrameNode* pendingTail = nullptr;
  std::unique_ptr<Layer3FrameNode> freeNodes;
  float smoothedGain = 0;  // of global_gain - 210
  Layer3GranuleRecord granules[2][2] = {};  // [granule][channel]
  int32_t streamFrames = 0;  // frames coded since Init
};

}  // namespace orx::aenc
