#pragma once
// The software GCX runtime driven in process, the core linked directly: one device and one
// context, planes in any of the 23 formats, programs compiled, linked and loaded the way the
// GPU layer does it, runs over a domain or a grid.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/gcx-soft/soft_runtime.h"

namespace orx::test::gcxsoft {

using orx::gcx::GcxResult;

struct Plane {
  uint32_t resource = 0;
  uint32_t memory = 0;
  uint8_t* data = nullptr;
  uint32_t pitch = 0;  // elements
  uint32_t elementBytes = 0;
  uint8_t* Element(uint32_t x, uint32_t y) const { return data + (size_t{y} * pitch + x) * elementBytes; }
};

class SoftGpu {
 public:
  SoftGpu();
  ~SoftGpu();
  SoftGpu(const SoftGpu&) = delete;
  SoftGpu& operator=(const SoftGpu&) = delete;

  orx::gcxsoft::SoftCore& core() { return orx::gcxsoft::Core(); }
  uint32_t device() const { return device_; }
  uint32_t context() const { return context_; }

  // A remote 2-D plane (mapped once, the mapping kept) with a memory handle in the context.
  Plane NewPlane(uint32_t width, uint32_t height, uint32_t format);
  // A 1-D plane of the given number of elements.
  Plane NewLinear(uint32_t width, uint32_t format);
  // Compiles, links and loads; frees the object and the image at once. 0 and a test failure
  // when any step fails.
  uint32_t Load(const std::string& text);
  void Bind(uint32_t module, const std::string& symbol, const Plane& plane);
  void SetFetch4(bool on);
  GcxResult Run(uint32_t module, uint32_t x, uint32_t y, uint32_t width, uint32_t height);
  GcxResult RunGrid(uint32_t module, uint32_t groupSize, uint32_t groups);

 private:
  uint32_t device_ = 0;
  uint32_t context_ = 0;
  std::vector<uint32_t> resources_;
  std::vector<uint32_t> modules_;
};

// The last error texts of the runtime and the compiler.
std::string RuntimeError();
std::string CompilerError();

}  // namespace orx::test::gcxsoft
