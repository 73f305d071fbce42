#pragma once
// The candidate heap of the Layer II bit allocation: a binary min-heap of (channel, subband)
// nodes keyed by their mask-to-noise ratio.
#include <cstdint>

namespace orx::aenc {

struct Layer2AllocNode {
  int channel = 0;
  int subband = 0;
  int allocation = 0;
  bool allocated = false;  // has had a first allocation (scalefactors and scfsi paid)
  float key = 0;           // SNR of the allocation minus SMR; the smallest is served first
};

class Layer2AllocHeap {
 public:
  // Orders nodes[0..count) into a heap, bottom-up from position count / 2.
  void Build(Layer2AllocNode* nodes, int count);
  bool Empty() const { return size_ == 0; }
  int Size() const { return size_; }
  Layer2AllocNode& Top() { return *entries_[0]; }
  // The last element takes the top's place; the caller sifts.
  void RemoveTop() { entries_[0] = entries_[--size_]; }
  // Moves the element at `position` down: the left child when strictly smaller than the
  // element, then the right child when strictly smaller than that candidate.
  void SiftDown(int position);

 private:
  Layer2AllocNode* entries_[64] = {};
  int size_ = 0;
};

}  // namespace orx::aenc
