#pragma once
// A frame the host rendered for the plug-in, in one of the host's pixel formats, tightly
// packed (the plug-in computes its size as width x height x bytes per pixel):
//   'vuya'  V, U, Y, A bytes per pixel, rows bottom-up;
//   'bgra'  B, G, R, A bytes per pixel (BT.601 studio range), rows bottom-up;
//   'yuy2'  Y0, Cb, Y1, Cr per pixel pair, rows top-down;
//   'yv12', 'yvi2'  planar Y, then Cb, then Cr (the plug-in maps both to I420 order).
// The frame stays the host's until the PPix suite disposes of it.
#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/host_sdk/suites.h"

namespace orx::host_sdk {

struct HostFrame {
  uint32_t pixelFormat = 0;
  int width = 0;
  int height = 0;
  int64_t time = 0;
  std::vector<uint8_t> pixels;
};

}  // namespace orx::host_sdk

namespace orx::host {

// The formats the host can render.
bool HostRendersFormat(uint32_t pixelFormat);
// 'yv12' and 'yvi2': the layout of the host's own pictures (a Y4M file's or the pattern's).
bool IsPlanar420(uint32_t pixelFormat);
// The format to render a request in: planar 4:2:0 when the plug-in lists it, wherever in its
// list (the frame is then the source's own bytes, and the plug-in has nothing to convert),
// else the plug-in's first choice among those the host renders. 0 when there is none.
uint32_t ChooseRenderFormat(const uint32_t* formats, int count);
// Bytes of a tightly packed frame (0 for an unknown format).
size_t HostFrameBytes(uint32_t pixelFormat, int width, int height);

// Bytes of the planes of a planar 4:2:0 picture (chroma (W + 1) / 2 x (H + 1) / 2).
size_t PlanarFrameBytes(int width, int height);

// Planar 4:2:0 picture (Y, Cb, Cr; chroma (W + 1) / 2 x (H + 1) / 2) to a host frame.
void PackHostFrame(const uint8_t* i420, int width, int height, host_sdk::HostFrame& frame);

// Nearest-neighbour resize of a planar 4:2:0 picture.
void ResizeI420(const uint8_t* source, int sourceWidth, int sourceHeight, uint8_t* destination,
                int width, int height);

// The PPix suite over HostFrame, with the count of frames alive and of frames outstanding
// (render requests accepted whose frame is not yet disposed of).
const host_sdk::PPixSuite* PPixSuiteTable();
// A frame to render into: one given back earlier when there is one (its pixels keep their
// block), else a new one.
host_sdk::HostFrame* NewHostFrame();
// Frees the frames kept for reuse (when a renderer is released).
void DropSpareHostFrames();
int LiveHostFrames();
// Counts one accepted render request; answers the frames outstanding with it.
int NoteFrameRequest();

}  // namespace orx::host
