// Plain block load, residual and reconstruction (slots 20-27 and 41-44). The residual slots
// code every block (they answer 1, or 3 for a chroma pair); sums are 32-bit before clipping.
#include <cstdint>

#include "venc/dsp/clipping.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp {

void CMBCore::LoadBlock(int16_t* block, const uint8_t* source, int stride) {
  for (int r = 0; r < 8; ++r, source += stride)
    for (int c = 0; c < 8; ++c) block[8 * r + c] = source[c];
}

int CMBCore::SubtractBlock(int16_t* block, const uint8_t* current, const uint8_t* prediction,
                           int currentStride, int predictionStride, int) {
  for (int r = 0; r < 8; ++r, current += currentStride, prediction += predictionStride)
    for (int c = 0; c < 8; ++c) block[8 * r + c] = static_cast<int16_t>(current[c] - prediction[c]);
  return 1;
}

void CMBCore::LoadChromaPair(int16_t* blocks, const uint8_t* source, int stride) {
  for (int r = 0; r < 8; ++r, source += stride)
    for (int c = 0; c < 8; ++c) {
      blocks[8 * r + c] = source[2 * c];
      blocks[64 + 8 * r + c] = source[2 * c + 1];
    }
}

int CMBCore::SubtractChromaPair(int16_t* blocks, const uint8_t* current, const uint8_t* prediction,
                                int currentStride, int predictionStride, int) {
  for (int r = 0; r < 8; ++r, current += currentStride, prediction += predictionStride)
    for (int c = 0; c < 8; ++c) {
      blocks[8 * r + c] = static_cast<int16_t>(current[2 * c] - prediction[2 * c]);
      blocks[64 + 8 * r + c] = static_cast<int16_t>(current[2 * c + 1] - prediction[2 * c + 1]);
    }
  return 3;
}

void CMBCore::StoreBlockPair(uint8_t* destination, const int16_t* blocks, int stride) {
  for (int r = 0; r < 8; ++r, destination += stride)
    for (int c = 0; c < 8; ++c) {
      destination[c] = static_cast<uint8_t>(ClipToByte(blocks[8 * r + c]));
      destination[8 + c] = static_cast<uint8_t>(ClipToByte(blocks[64 + 8 * r + c]));
    }
}

void CMBCore::AddBlockPair(uint8_t* destination, const uint8_t* prediction, const int16_t* blocks,
                           int destinationStride, int predictionStride, int codedFlags) {
  const bool left = codedFlags & 2, right = codedFlags & 1;
  for (int r = 0; r < 8; ++r, destination += destinationStride, prediction += predictionStride)
    for (int c = 0; c < 8; ++c) {
      destination[c] =
          static_cast<uint8_t>(ClipToByte(prediction[c] + (left ? blocks[8 * r + c] : 0)));
      destination[8 + c] = static_cast<uint8_t>(
          ClipToByte(prediction[8 + c] + (right ? blocks[64 + 8 * r + c] : 0)));
    }
}

void CMBCore::StoreChromaPair(uint8_t* destination, const int16_t* blocks, int stride) {
  for (int r = 0; r < 8; ++r, destination += stride)
    for (int c = 0; c < 8; ++c) {
      destination[2 * c] = static_cast<uint8_t>(ClipToByte(blocks[8 * r + c]));
      destination[2 * c + 1] = static_cast<uint8_t>(ClipToByte(blocks[64 + 8 * r + c]));
    }
}

void CMBCore::AddChromaPair(uint8_t* destination, const uint8_t* prediction, const int16_t* blocks,
                            int destinationStride, int predictionStride, int codedFlags) {
  const bool cb = codedFlags & 2, cr = codedFlags & 1;
  for (int r = 0; r < 8; ++r, destination += destinationStride, prediction += predictionStride)
    for (int c = 0; c < 8; ++c) {
      destination[2 * c] =
          static_cast<uint8_t>(ClipToByte(prediction[2 * c] + (cb ? blocks[8 * r + c] : 0)));
      destination[2 * c + 1] = static_cast<uint8_t>(
          ClipToByte(prediction[2 * c + 1] + (cr ? blocks[64 + 8 * r + c] : 0)));
    }
}

void CMBCore::LoadBlockOffset(int16_t* block, const uint8_t* source, int stride, int offset) {
  for (int r = 0; r < 8; ++r, source += stride)
    for (int c = 0; c < 8; ++c) block[8 * r + c] = static_cast<int16_t>(source[c] - offset);
}

void CMBCore::StoreBlockPairOffset(uint8_t* destination, const int16_t* left, const int16_t* right,
                                   int stride, int offset, int rows) {
  for (int r = 0; r < rows; ++r, destination += stride)
    for (int c = 0; c < 8; ++c) {
      destination[c] = static_cast<uint8_t>(ClipToByte(left[8 * r + c] + offset));
      destination[8 + c] = static_cast<uint8_t>(ClipToByte(right[8 * r + c] + offset));
    }
}

void CMBCore::LoadChromaPairOffset(int16_t* blocks, const uint8_t* source, int stride, int offset) {
  for (int r = 0; r < 8; ++r, source += stride)
    for (int c = 0; c < 8; ++c) {
      blocks[8 * r + c] = static_cast<int16_t>(source[2 * c] - offset);
      blocks[64 + 8 * r + c] = static_cast<int16_t>(source[2 * c + 1] - offset);
    }
}

void CMBCore::StoreChromaPairOffset(uint8_t* destination, const int16_t* cb, const int16_t* cr,
                                    int stride, int offset, int rows) {
  for (int r = 0; r < rows; ++r, destination += stride)
    for (int c = 0; c < 8; ++c) {
      destination[2 * c] = static_cast<uint8_t>(ClipToByte(cb[8 * r + c] + offset));
      destination[2 * c + 1] = static_cast<uint8_t>(ClipToByte(cr[8 * r + c] + offset));
    }
}

}  // namespace orx::dsp
