// Greedy Layer II bit allocation: the (channel, subband) with the smallest mask-to-noise ratio
// gets the next allocation step while bits remain.
#include "aenc/layer2/layer2_allocation.h"

#include <utility>

#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/layer2/layer2_tables.h"

namespace orx::aenc {

void Layer2AllocHeap::Build(Layer2AllocNode* nodes, int count) {
  size_ = count;
  for (int i = 0; i < count; ++i) entries_[i] = &nodes[i];
  for (int i = count / 2; i >= 0; --i) SiftDown(i);
}

void Layer2AllocHeap::SiftDown(int position) {
  for (;;) {
    int smallest = position;
    int left = 2 * position + 1;
    int right = left + 1;
    if (left < size_ && entries_[left]->key < entries_[smallest]->key) smallest = left;
    if (right < size_ && entries_[right]->key < entries_[smallest]->key) smallest = right;
    if (smallest == position) return;
    std::swap(entries_[position], entries_[smallest]);
    position = smallest;
  }
}

int CMPEGAudioEncoder::Layer2Allocate(const float (*smrIn)[kMpegSubbands], const uint32_t* scfsi,
                                      uint32_t* allocation, int bits) const {
  Layer2AllocNode nodes[64];
  int count = 0;
  for (int ch = 0; ch < channels; ++ch) {
    for (int sb = 0; sb < sblimit; ++sb) {
      allocation[sb * 2 + ch] = 0;
      nodes[count++] = {ch, sb, 0, false, -smrIn[ch][sb]};
    }
  }
  Layer2AllocHeap heap;
  heap.Build(nodes, count);

  int available = bits - crcBits - 32;
  for (int sb = 0; sb < sblimit; ++sb) available -= allocTable->rows[sb].nbal * channels;
  int used = 0;
  while (!heap.Empty()) {
    Layer2AllocNode& node = heap.Top();
    const Layer2AllocRow& row = allocTable->rows[node.subband];
    int next = node.allocation + 1;
    const Layer2AllocEntry& entry = row.entries[next];
    int cost;
    if (!node.allocated) {
      uint32_t selection = scfsi[node.subband * 2 + node.channel];
      cost = 12 * entry.codewords * entry.bits + 6 * kScalefactorsPerScfsi[selection] + 2;
    } else {
      const Layer2AllocEntry& previous = row.entries[node.allocation];
      cost = 12 * (entry.codewords * entry.bits - previous.codewords * previous.bits);
    }
    if (used + cost > available) {
      if (available <= used) break;
      heap.RemoveTop();  // this candidate no longer fits; smaller steps of others may
    } else {
      node.allocation = next;
      node.allocated = true;
      used += cost;
      node.key = kLayer2QuantClasses[entry.quantClass].snrDb - smrIn[node.channel][node.subband];
      allocation[node.subband * 2 + node.channel] = static_cast<uint32_t>(next);
      if (next == (1 << row.nbal) - 1) heap.RemoveTop();
    }
    heap.SiftDown(0);
  }
  return available - used;
}

}  // namespace orx::aenc
