#include "tests/venc/mbenc/test_pictures.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace orx::venc::test {
namespace {

constexpr size_t kGuardRows = 4;

}  // namespace

void FrameBuffer::Free::operator()(uint8_t* p) const { std::free(p); }

FrameBuffer::FrameBuffer(int codedWidth, int codedHeight, int padX, int padY)
    : width_(codedWidth), height_(codedHeight), stride_(codedWidth + 2 * padX) {
  // Each plane with its border rows (padY luma, padY / 2 chroma) above and below.
  const size_t lumaBytes = static_cast<size_t>(stride_) * (height_ + 2 * padY);
  const size_t chromaBytes = static_cast<size_t>(stride_) * (height_ / 2 + padY);
  const size_t guard = kGuardRows * static_cast<size_t>(stride_) + 128;
  const size_t total = (guard + lumaBytes + guard + chromaBytes + guard + 127) / 128 * 128 + 256;
  memory_.reset(static_cast<uint8_t*>(std::aligned_alloc(128, total)));
  std::memset(memory_.get(), 0x80, total);
  const size_t guardAligned = (guard + 127) / 128 * 128;
  uint8_t* lumaArea = memory_.get() + guardAligned;
  uint8_t* chromaArea = lumaArea + (lumaBytes + guardAligned + 127) / 128 * 128;
  luma_ = lumaArea + static_cast<size_t>(padY) * stride_ + padX;
  chroma_ = chromaArea + static_cast<size_t>(padY / 2) * stride_ + padX;
}

void FrameBuffer::FromPlanar(const uint8_t* frame, int width, int height) {
  const int cw = (width + 1) / 2;
  const int ch = (height + 1) / 2;
  const uint8_t* cb = frame + static_cast<size_t>(width) * height;
  const uint8_t* cr = cb + static_cast<size_t>(cw) * ch;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = frame + static_cast<size_t>(std::min(y, height - 1)) * width;
    uint8_t* dst = luma_ + static_cast<size_t>(y) * stride_;
    for (int x = 0; x < width_; ++x) dst[x] = src[std::min(x, width - 1)];
  }
  for (int y = 0; y < height_ / 2; ++y) {
    const size_t row = static_cast<size_t>(std::min(y, ch - 1)) * cw;
    uint8_t* dst = chroma_ + static_cast<size_t>(y) * stride_;
    for (int x = 0; x < width_ / 2; ++x) {
      dst[2 * x] = cb[row + std::min(x, cw - 1)];
      dst[2 * x + 1] = cr[row + std::min(x, cw - 1)];
    }
  }
}

std::vector<uint8_t> FrameBuffer::ToPlanar(int width, int height) const {
  const int cw = (width + 1) / 2;
  const int ch = (height + 1) / 2;
  std::vector<uint8_t> out(static_cast<size_t>(width) * height + 2 * static_cast<size_t>(cw) * ch);
  for (int y = 0; y < height; ++y) {
    std::memcpy(out.data() + static_cast<size_t>(y) * width, luma_ + static_cast<size_t>(y) * stride_,
                static_cast<size_t>(width));
  }
  uint8_t* cb = out.data() + static_cast<size_t>(width) * height;
  uint8_t* cr = cb + static_cast<size_t>(cw) * ch;
  for (int y = 0; y < ch; ++y) {
    const uint8_t* src = chroma_ + static_cast<size_t>(y) * stride_;
    for (int x = 0; x < cw; ++x) {
      cb[static_cast<size_t>(y) * cw + x] = src[2 * x];
      cr[static_cast<size_t>(y) * cw + x] = src[2 * x + 1];
    }
  }
  return out;
}

std::vector<uint8_t> FrameBuffer::ToBlockOrdered() const {
  const int mbw = width_ / 16;
  const int mbh = height_ / 16;
  std::vector<uint8_t> out(static_cast<size_t>(mbw) * mbh * 384);
  uint8_t* p = out.data();
  for (int row = 0; row < mbh; ++row) {
    for (int col = 0; col < mbw; ++col, p += 256) {
      for (int y = 0; y < 16; ++y) {
        std::memcpy(p + 16 * y, luma_ + static_cast<size_t>(16 * row + y) * stride_ + 16 * col, 16);
      }
    }
    for (int col = 0; col < mbw; ++col, p += 128) {
      for (int y = 0; y < 8; ++y) {
        std::memcpy(p + 16 * y, chroma_ + static_cast<size_t>(8 * row + y) * stride_ + 16 * col, 16);
      }
    }
  }
  return out;
}

void FrameBuffer::FromBlockOrdered(const uint8_t* blocks) {
  const int mbw = width_ / 16;
  const int mbh = height_ / 16;
  const uint8_t* p = blocks;
  for (int row = 0; row < mbh; ++row) {
    for (int col = 0; col < mbw; ++col, p += 256) {
      for (int y = 0; y < 16; ++y) {
        std::memcpy(luma_ + static_cast<size_t>(16 * row + y) * stride_ + 16 * col, p + 16 * y, 16);
      }
    }
    for (int col = 0; col < mbw; ++col, p += 128) {
      for (int y = 0; y < 8; ++y) {
        std::memcpy(chroma_ + static_cast<size_t>(8 * row + y) * stride_ + 16 * col, p + 16 * y, 16);
      }
    }
  }
}

}  // namespace orx::venc::test
