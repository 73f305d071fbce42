#include "tests/gcx-soft/soft_gpu.h"

#include <gtest/gtest.h>

#include "platform/gcx-soft/texel_format.h"

namespace orx::test::gcxsoft {

SoftGpu::SoftGpu() {
  EXPECT_EQ(core().Init(), 0);
  EXPECT_EQ(core().DeviceOpen(&device_, 0), 0);
  EXPECT_EQ(core().CtxCreate(&context_, device_), 0);
}

SoftGpu::~SoftGpu() {
  for (uint32_t m : modules_) core().ModuleUnload(context_, m);
  EXPECT_EQ(core().CtxDestroy(context_), 0);
  for (uint32_t r : resources_) core().ResFree(r);
  EXPECT_EQ(core().DeviceClose(device_), 0);
  EXPECT_EQ(core().Shutdown(), 0);
}

Plane SoftGpu::NewPlane(uint32_t width, uint32_t height, uint32_t format) {
  Plane p;
  EXPECT_EQ(core().ResAlloc2D(&p.resource, &device_, 1, width, height, format), 0) << RuntimeError();
  void* address = nullptr;
  EXPECT_EQ(core().ResMap(&address, &p.pitch, p.resource), 0);
  EXPECT_EQ(core().ResUnmap(p.resource), 0);
  EXPECT_EQ(core().CtxGetMem(&p.memory, context_, p.resource), 0);
  p.data = static_cast<uint8_t*>(address);
  p.elementBytes = orx::gcxsoft::FindTexelFormat(format)->ElementBytes();
  resources_.push_back(p.resource);
  return p;
}

Plane SoftGpu::NewLinear(uint32_t width, uint32_t format) {
  Plane p;
  EXPECT_EQ(core().ResAlloc1D(&p.resource, &device_, 1, width, format), 0) << RuntimeError();
  void* address = nullptr;
  EXPECT_EQ(core().ResMap(&address, &p.pitch, p.resource), 0);
  EXPECT_EQ(core().CtxGetMem(&p.memory, context_, p.resource), 0);
  p.data = static_cast<uint8_t*>(address);
  p.elementBytes = orx::gcxsoft::FindTexelFormat(format)->ElementBytes();
  resources_.push_back(p.resource);
  return p;
}

uint32_t SoftGpu::Load(const std::string& text) {
  uint32_t object = 0, image = 0, module = 0;
  if (core().ClCompile(&object, 1, text.c_str(), orx::gcxsoft::kDeviceTarget) != 0) {
    ADD_FAILURE() << "compile: " << CompilerError() << "\n" << text;
    return 0;
  }
  EXPECT_EQ(core().ClLink(&image, &object, 1), 0);
  EXPECT_EQ(core().ModuleLoad(&module, context_, image), 0);
  EXPECT_EQ(core().ClFreeObject(object), 0);
  EXPECT_EQ(core().ClFreeImage(image), 0);
  modules_.push_back(module);
  return module;
}

void SoftGpu::Bind(uint32_t module, const std::string& symbol, const Plane& plane) {
  uint32_t name = 0;
  ASSERT_EQ(core().ModuleGetName(&name, context_, module, symbol.c_str()), 0) << symbol;
  ASSERT_EQ(core().CtxSetMem(context_, name, plane.memory), 0) << RuntimeError();
}

void SoftGpu::SetFetch4(bool on) {
  uint32_t value = on ? 1 : 0;
  ASSERT_EQ(core().CtxSetSamplerParameter(context_, 1, 0, &value), 0);
}

GcxResult SoftGpu::Run(uint32_t module, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  uint32_t function = 0, event = 0;
  EXPECT_EQ(core().ModuleGetEntry(&function, context_, module, "main"), 0);
  gcx::GcxDomain domain{x, y, width, height};
  GcxResult r = core().CtxRunProgram(&event, context_, function, &domain);
  if (r == 0) {
    EXPECT_EQ(core().CtxIsEventDone(context_, event), 0);
  }
  return r;
}

GcxResult SoftGpu::RunGrid(uint32_t module, uint32_t groupSize, uint32_t groups) {
  uint32_t function = 0, event = 0;
  EXPECT_EQ(core().ModuleGetEntry(&function, context_, module, "main"), 0);
  gcx::GcxProgramGrid grid{function, groupSize, 1, 1, groups, 1, 1, 0};
  GcxResult r = core().CtxRunProgramGrid(&event, context_, &grid);
  if (r == 0) {
    EXPECT_EQ(core().CtxIsEventDone(context_, event), 0);
  }
  return r;
}

std::string RuntimeError() { return orx::gcxsoft::RuntimeErrorText(); }
std::string CompilerError() { return orx::gcxsoft::CompilerErrorText(); }

}  // namespace orx::test::gcxsoft
