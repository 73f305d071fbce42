#pragma once
// The sample tables of one track, written from its index: decoding times (stts), composition
// offsets (ctts), chunks (stsc, stco or co64), sizes (stsz) and sync samples (stss). Each writer
// answers the bytes of its box, 0 when the box is left out.
#include <cstdint>
#include <vector>

#include "mux/mp4/mp4_buffer.h"
#include "mux/mp4/mp4_index.h"

namespace orx::mux {

// Chunk offsets past this many bytes of file need 64-bit entries.
inline constexpr uint64_t kMp4LargeChunkOffset = 0xFEFFFFFFull;

size_t WriteMp4Stts(Mp4Buffer& out, uint32_t sampleCount, uint32_t delta);

// Each picture's composition offset: its presentation time minus its decoding time (n x delta),
// plus the shift that makes every offset non-negative. The track's presentation then starts at
// `shift` in media time, which an edit list skips.
struct Mp4CompositionOffsets {
  std::vector<uint32_t> offsets;
  uint32_t shift = 0;
  bool allZero = true;
};
Mp4CompositionOffsets ComputeMp4CompositionOffsets(const Mp4IndexChain& index, uint32_t delta);
size_t WriteMp4Ctts(Mp4Buffer& out, const Mp4CompositionOffsets& offsets);

// One entry wherever the samples per chunk change; answers the bytes and sets the chunk count.
size_t WriteMp4Stsc(Mp4Buffer& out, const Mp4IndexChain& index, uint32_t& chunkCount);
// constantSize: every sample has this size (0: a table of sizes).
size_t WriteMp4Stsz(Mp4Buffer& out, const Mp4IndexChain& index, uint32_t constantSize);
size_t WriteMp4Stco(Mp4Buffer& out, const Mp4IndexChain& index, bool largeOffsets);
size_t WriteMp4Stss(Mp4Buffer& out, const Mp4IndexChain& index);

}  // namespace orx::mux
