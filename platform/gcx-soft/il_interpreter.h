#pragma once
// Runs a compiled IL program on the CPU, 64 elements or threads at a time (one wavefront):
// each instruction works on all 64 lanes under an execution mask, so divergent ifs, loops that
// lanes leave early and discarded elements follow each lane's own path. Outputs and global
// stores of a run are committed after the whole run: a program that writes the plane it reads
// reads only the old values.
#include <cstdint>
#include <string>

#include "platform/gcx-soft/il_program.h"
#include "platform/gcx-soft/texel_format.h"

namespace orx::gcxsoft {

// A 2-D plane in host memory; pitch in elements.
struct Surface {
  const TexelFormat* format = nullptr;
  uint8_t* data = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t pitch = 0;
  size_t Bytes() const { return size_t{pitch} * height * (format ? format->ElementBytes() : 0); }
};

struct RunBindings {
  Surface inputs[8];
  Surface outputs[4];
  Surface global;
  const uint8_t* constants = nullptr;  // 16 bytes per cb0 entry
  bool fetch4[2] = {false, false};     // per sampler
};

struct RunShape {
  // Pixel program: the rectangle of elements.
  uint32_t x = 0, y = 0, width = 0, height = 0;
  // Compute program: the number of threads.
  uint64_t threads = 0;
};

// Runs the program over the shape. The caller has checked that every declared input, output
// and the constant block is bound and that the rectangle lies inside the first output. Answers
// false (with a reason) only when the program itself goes wrong (a loop that never ends).
bool RunIlProgram(const IlProgram& program, const RunBindings& bindings, const RunShape& shape, std::string& error);

// One fetch as the interpreter does it (exposed for the tests' reference checks).
void FetchTexel(const Surface& texture, bool fetch4, float x, float y, uint32_t out[4]);

}  // namespace orx::gcxsoft
