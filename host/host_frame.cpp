#include "host/host_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace orx::host {
namespace {

using host_sdk::HostFrame;

std::atomic<int> g_live{0};
std::atomic<int> g_outstanding{0};

// Frames the plug-in gave back, kept with their pixel memory for the next render: a fresh
// frame-sized block costs a page fault per page and a clearing pass, more than rendering it.
// Under the sanitizers every frame is a new block, so that a frame used after its disposal is
// caught instead of reading a later frame.
std::mutex g_spareMutex;
std::vector<HostFrame*> g_spareFrames;
#if defined(ORX_SANITIZED)
constexpr size_t kMaxSpareFrames = 0;
#else
constexpr size_t kMaxSpareFrames = 40;  // the 30 a plug-in may hold, and the render threads'
#endif

uint8_t ClampByte(double v) {
  long r = std::lround(v);
  return static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
}

struct Planes {
  const uint8_t* y;
  const uint8_t* cb;
  const uint8_t* cr;
  int chromaWidth;

  Planes(const uint8_t* i420, int width, int height) : y(i420), chromaWidth((width + 1) / 2) {
    cb = i420 + static_cast<size_t>(width) * height;
    cr = cb + static_cast<size_t>(chromaWidth) * ((height + 1) / 2);
  }
  size_t ChromaAt(int x, int row) const {
    return static_cast<size_t>(row / 2) * chromaWidth + x / 2;
  }
};

// Rows of 4-byte pixels, bottom-up; pixel() writes the 4 bytes of image pixel (x, row).
template <typename PixelFn>
void PackBottomUp(HostFrame& frame, PixelFn pixel) {
  for (int row = 0; row < frame.height; ++row) {
    uint8_t* out =
        frame.pixels.data() + static_cast<size_t>(frame.height - 1 - row) * frame.width * 4;
    for (int x = 0; x < frame.width; ++x) pixel(x, row, out + 4 * x);
  }
}

}  // namespace

bool HostRendersFormat(uint32_t f) {
  return f == host_sdk::kPixelFormatVuya || f == host_sdk::kPixelFormatBgra ||
         f == host_sdk::kPixelFormatYuy2 || IsPlanar420(f);
}

bool IsPlanar420(uint32_t f) {
  return f == host_sdk::kPixelFormatYv12 || f == host_sdk::kPixelFormatYvi2;
}

uint32_t ChooseRenderFormat(const uint32_t* formats, int count) {
  uint32_t first = 0;
  for (int i = 0; formats != nullptr && i < count; ++i) {
    if (IsPlanar420(formats[i])) return formats[i];
    if (first == 0 && HostRendersFormat(formats[i])) first = formats[i];
  }
  return first;
}

size_t HostFrameBytes(uint32_t f, int width, int height) {
  size_t pixels = static_cast<size_t>(width) * height;
  if (f == host_sdk::kPixelFormatVuya || f == host_sdk::kPixelFormatBgra) return pixels * 4;
  if (f == host_sdk::kPixelFormatYuy2) return pixels * 2;
  if (f == host_sdk::kPixelFormatYv12 || f == host_sdk::kPixelFormatYvi2) {
    // Room for the plug-in's count (W x H x 3 / 2) and for the planes of odd sizes.
    size_t chroma = static_cast<size_t>((width + 1) / 2) * ((height + 1) / 2);
    return std::max(pixels * 3 / 2, pixels + 2 * chroma);
  }
  return 0;
}

void PackHostFrame(const uint8_t* i420, int width, int height, HostFrame& frame) {
  frame.width = width;
  frame.height = height;
  // Every byte is written below (a reused frame keeps its block: no clearing pass).
  frame.pixels.resize(HostFrameBytes(frame.pixelFormat, width, height));
  Planes p(i420, width, height);
  switch (frame.pixelFormat) {
    case host_sdk::kPixelFormatVuya:
      // Row by row (the format every export renders by default, so it is kept cheap).
      for (int row = 0; row < height; ++row) {
        uint8_t* out = frame.pixels.data() + static_cast<size_t>(height - 1 - row) * width * 4;
        const uint8_t* y = p.y + static_cast<size_t>(row) * width;
        const uint8_t* cb = p.cb + p.ChromaAt(0, row);
        const uint8_t* cr = p.cr + p.ChromaAt(0, row);
        for (int x = 0; x < width; ++x, out += 4) {
          out[0] = cr[x >> 1];
          out[1] = cb[x >> 1];
          out[2] = y[x];
          out[3] = 255;
        }
      }
      break;
    case host_sdk::kPixelFormatBgra:
      PackBottomUp(frame, [&](int x, int row, uint8_t* out) {
        size_t c = p.ChromaAt(x, row);
        // The engine's fixed-point converter truncates at every step, about 0.4 of a level
        // low; values rendered that much higher give the source luma back exactly.
        double y = 1.164383562 * (p.y[static_cast<size_t>(row) * width + x] - 16) + 0.4;
        double u = p.cb[c] - 128.0, v = p.cr[c] - 128.0;
        out[0] = ClampByte(y + 2.017232143 * u);
        out[1] = ClampByte(y - 0.391762290 * u - 0.812967647 * v);
        out[2] = ClampByte(y + 1.596026786 * v);
        out[3] = 255;
      });
      break;
    case host_sdk::kPixelFormatYuy2:
      for (int row = 0; row < height; ++row) {
        uint8_t* out = frame.pixels.data() + static_cast<size_t>(row) * width * 2;
        for (int x = 0; x < width; ++x) {
          size_t c = p.ChromaAt(x, row);
          out[2 * x] = p.y[static_cast<size_t>(row) * width + x];
          out[2 * x + 1] = (x & 1) ? p.cr[c] : p.cb[c];
        }
      }
      break;
    case host_sdk::kPixelFormatYv12:
    case host_sdk::kPixelFormatYvi2: {
      size_t planes = PlanarFrameBytes(width, height);
      std::memcpy(frame.pixels.data(), i420, planes);
      std::fill(frame.pixels.begin() + static_cast<std::ptrdiff_t>(planes), frame.pixels.end(), 0);
      break;
    }
    default:
      break;
  }
}

void ResizeI420(const uint8_t* source, int sw, int sh, uint8_t* destination, int w, int h) {
  auto plane = [](const uint8_t* in, int inW, int inH, uint8_t* out, int outW, int outH) {
    for (int row = 0; row < outH; ++row) {
      const uint8_t* src = in + static_cast<size_t>(static_cast<int64_t>(row) * inH / outH) * inW;
      for (int x = 0; x < outW; ++x)
        out[static_cast<size_t>(row) * outW + x] = src[static_cast<int64_t>(x) * inW / outW];
    }
  };
  int scw = (sw + 1) / 2, sch = (sh + 1) / 2, cw = (w + 1) / 2, ch = (h + 1) / 2;
  plane(source, sw, sh, destination, w, h);
  const uint8_t* scb = source + static_cast<size_t>(sw) * sh;
  uint8_t* dcb = destination + static_cast<size_t>(w) * h;
  plane(scb, scw, sch, dcb, cw, ch);
  plane(scb + static_cast<size_t>(scw) * sch, scw, sch, dcb + static_cast<size_t>(cw) * ch, cw, ch);
}

size_t PlanarFrameBytes(int width, int height) {
  return static_cast<size_t>(width) * height +
         2 * static_cast<size_t>((width + 1) / 2) * ((height + 1) / 2);
}

HostFrame* NewHostFrame() {
  ++g_live;
  {
    std::lock_guard<std::mutex> lock(g_spareMutex);
    if (!g_spareFrames.empty()) {
      HostFrame* frame = g_spareFrames.back();
      g_spareFrames.pop_back();
      return frame;
    }
  }
  return new HostFrame;
}

void DropSpareHostFrames() {
  std::vector<HostFrame*> spare;
  {
    std::lock_guard<std::mutex> lock(g_spareMutex);
    spare.swap(g_spareFrames);
  }
  for (HostFrame* frame : spare) delete frame;
}

int LiveHostFrames() { return g_live.load(); }
int NoteFrameRequest() { return ++g_outstanding; }

namespace {

int32_t GetPixelFormat(host_sdk::FrameHandle frame, uint32_t* format) {
  if (frame == nullptr || format == nullptr) return host_sdk::kSuiteErrorBadArgument;
  *format = frame->pixelFormat;
  return 0;
}

int32_t Dispose(host_sdk::FrameHandle frame) {
  if (frame == nullptr) return host_sdk::kSuiteErrorBadArgument;
  bool kept = false;
  {
    std::lock_guard<std::mutex> lock(g_spareMutex);
    if (g_spareFrames.size() < kMaxSpareFrames) {
      g_spareFrames.push_back(frame);
      kept = true;
    }
  }
  if (!kept) delete frame;
  --g_live;
  --g_outstanding;
  return 0;
}

int32_t GetPixels(host_sdk::FrameHandle frame, char** pixels) {
  if (frame == nullptr || pixels == nullptr) return host_sdk::kSuiteErrorBadArgument;
  *pixels = reinterpret_cast<char*>(frame->pixels.data());
  return 0;
}

const host_sdk::PPixSuite kPPix{&GetPixelFormat, &Dispose, &GetPixels};

}  // namespace

const host_sdk::PPixSuite* PPixSuiteTable() { return &kPPix; }

}  // namespace orx::host
