#include "mux/mp4/mp4_sample_tables.h"

#include <algorithm>

#include "mux/parse/es_info.h"

namespace orx::mux {

size_t WriteMp4Stts(Mp4Buffer& out, uint32_t sampleCount, uint32_t delta) {
  const size_t box = out.OpenFullBox("stts", 0, 0);
  out.U32(1);
  out.U32(sampleCount);
  out.U32(delta);
  out.CloseBox(box);
  return out.Size() - box;
}

Mp4CompositionOffsets ComputeMp4CompositionOffsets(const Mp4IndexChain& index, uint32_t delta) {
  Mp4CompositionOffsets result;
  const uint32_t count = index.Count();
  // In frames: presentation - decoding position, the smallest of which sets the shift.
  int64_t lowest = 0;
  for (uint32_t n = 0; n < count; ++n) lowest = std::min<int64_t>(lowest, index.At(n).presentation - int64_t{n});
  result.shift = static_cast<uint32_t>(-lowest * delta);
  result.offsets.reserve(count);
  for (uint32_t n = 0; n < count; ++n) {
    const int64_t frames = index.At(n).presentation - int64_t{n} - lowest;
    result.offsets.push_back(static_cast<uint32_t>(frames * delta));
    if (frames != 0) result.allZero = false;
  }
  return result;
}

size_t WriteMp4Ctts(Mp4Buffer& out, const Mp4CompositionOffsets& offsets) {
  if (offsets.allZero) return 0;
  const size_t box = out.OpenFullBox("ctts", 0, 0);
  out.U32(static_cast<uint32_t>(offsets.offsets.size()));
  for (uint32_t offset : offsets.offsets) {
    out.U32(1);
    out.U32(offset);
  }
  out.CloseBox(box);
  return out.Size() - box;
}

size_t WriteMp4Stsc(Mp4Buffer& out, const Mp4IndexChain& index, uint32_t& chunkCount) {
  const size_t box = out.OpenFullBox("stsc", 0, 0);
  const size_t countAt = out.Size();
  out.U32(0);
  uint32_t entries = 0;
  uint32_t lastPerChunk = 0;
  chunkCount = 0;
  const uint32_t count = index.Count();
  for (uint32_t n = 0; n < count;) {
    uint32_t end = n + 1;
    while (end < count && !index.At(end).StartsChunk()) ++end;
    const uint32_t perChunk = end - n;
    ++chunkCount;
    if (perChunk != lastPerChunk) {
      out.U32(chunkCount);
      out.U32(perChunk);
      out.U32(1);  // sample description
      ++entries;
      lastPerChunk = perChunk;
    }
    n = end;
  }
  out.PatchU32(countAt, entries);
  out.CloseBox(box);
  return out.Size() - box;
}

size_t WriteMp4Stsz(Mp4Buffer& out, const Mp4IndexChain& index, uint32_t constantSize) {
  const size_t box = out.OpenFullBox("stsz", 0, 0);
  out.U32(constantSize);
  out.U32(index.Count());
  if (constantSize == 0) {
    for (uint32_t n = 0; n < index.Count(); ++n) out.U32(index.At(n).Size());
  }
  out.CloseBox(box);
  return out.Size() - box;
}

size_t WriteMp4Stco(Mp4Buffer& out, const Mp4IndexChain& index, bool largeOffsets) {
  const size_t box = out.OpenFullBox(largeOffsets ? "co64" : "stco", 0, 0);
  const size_t countAt = out.Size();
  out.U32(0);
  uint32_t chunks = 0;
  for (uint32_t n = 0; n < index.Count(); ++n) {
    if (n != 0 && !index.At(n).StartsChunk()) continue;
    if (largeOffsets) {
      out.U64(index.At(n).offset);
    } else {
      out.U32(static_cast<uint32_t>(index.At(n).offset));
    }
    ++chunks;
  }
  out.PatchU32(countAt, chunks);
  out.CloseBox(box);
  return out.Size() - box;
}

size_t WriteMp4Stss(Mp4Buffer& out, const Mp4IndexChain& index) {
  uint32_t sync = 0;
  for (uint32_t n = 0; n < index.Count(); ++n) sync += index.At(n).PictureType() == kPictureI ? 1 : 0;
  if (sync == 0 || sync == index.Count()) return 0;
  const size_t box = out.OpenFullBox("stss", 0, 0);
  out.U32(sync);
  for (uint32_t n = 0; n < index.Count(); ++n) {
    if (index.At(n).PictureType() == kPictureI) out.U32(n + 1);
  }
  out.CloseBox(box);
  return out.Size() - box;
}

}  // namespace orx::mux
