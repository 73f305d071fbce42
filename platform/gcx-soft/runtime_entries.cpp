// The runtime library's entries (slots 1-38 and the three extension entries), each a thin
// call into the shared core.
#include <cstring>

#include "platform/export.h"
#include "platform/gcx-soft/gcx_soft_codes.h"
#include "platform/gcx-soft/soft_runtime.h"

using namespace orx::gcx;
using orx::gcxsoft::Core;

#define GCX_ENTRY extern "C" ORX_EXPORT

namespace {

GcxResult SetSamplerParameter(GcxContext context, GcxName sampler, uint32_t parameter, const void* value) {
  return Core().CtxSetSamplerParameter(context, sampler, parameter, value);
}
GcxResult ResCreate1D(GcxResource* resource, GcxDevice device, void* memory, uint32_t width, uint32_t format,
                      uint32_t size, uint32_t) {
  return Core().ResCreate(resource, device, memory, width, 1, false, format, size);
}
GcxResult ResCreate2D(GcxResource* resource, GcxDevice device, void* memory, uint32_t width, uint32_t height,
                      uint32_t format, uint32_t size, uint32_t) {
  return Core().ResCreate(resource, device, memory, width, height, true, format, size);
}

}  // namespace

GCX_ENTRY GcxResult gcxInit() { return Core().Init(); }
GCX_ENTRY GcxResult gcxGetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  return Core().GetVersion(major, minor, build);
}
GCX_ENTRY GcxResult gcxShutdown() { return Core().Shutdown(); }
GCX_ENTRY GcxResult gcxDeviceGetCount(uint32_t* count) { return Core().DeviceGetCount(count); }
GCX_ENTRY GcxResult gcxDeviceGetInfo(GcxDeviceInfo* info, uint32_t ordinal) { return Core().DeviceGetInfo(info, ordinal); }
GCX_ENTRY GcxResult gcxDeviceGetAttribs(GcxDeviceAttribs* attribs, uint32_t ordinal) {
  return Core().DeviceGetAttribs(attribs, ordinal);
}
GCX_ENTRY GcxResult gcxDeviceGetStatus(GcxDeviceStatus* status, GcxDevice device) {
  return Core().DeviceGetStatus(status, device);
}
GCX_ENTRY GcxResult gcxDeviceOpen(GcxDevice* device, uint32_t ordinal) { return Core().DeviceOpen(device, ordinal); }
GCX_ENTRY GcxResult gcxDeviceClose(GcxDevice device) { return Core().DeviceClose(device); }
GCX_ENTRY GcxResult gcxResAllocLocal2D(GcxResource* resource, GcxDevice device, uint32_t width, uint32_t height,
                                       uint32_t format, uint32_t) {
  return Core().ResAlloc2D(resource, &device, 1, width, height, format);
}
GCX_ENTRY GcxResult gcxResAllocRemote2D(GcxResource* resource, const GcxDevice* devices, uint32_t deviceCount,
                                        uint32_t width, uint32_t height, uint32_t format, uint32_t) {
  return Core().ResAlloc2D(resource, devices, deviceCount, width, height, format);
}
GCX_ENTRY GcxResult gcxResAllocLocal1D(GcxResource* resource, GcxDevice device, uint32_t width, uint32_t format,
                                       uint32_t) {
  return Core().ResAlloc1D(resource, &device, 1, width, format);
}
GCX_ENTRY GcxResult gcxResAllocRemote1D(GcxResource* resource, const GcxDevice* devices, uint32_t deviceCount,
                                        uint32_t width, uint32_t format, uint32_t) {
  return Core().ResAlloc1D(resource, devices, deviceCount, width, format);
}
GCX_ENTRY GcxResult gcxResFree(GcxResource resource) { return Core().ResFree(resource); }
GCX_ENTRY GcxResult gcxResMap(void** address, uint32_t* pitch, GcxResource resource, uint32_t) {
  return Core().ResMap(address, pitch, resource);
}
GCX_ENTRY GcxResult gcxResUnmap(GcxResource resource) { return Core().ResUnmap(resource); }
GCX_ENTRY GcxResult gcxCtxCreate(GcxContext* context, GcxDevice device) { return Core().CtxCreate(context, device); }
GCX_ENTRY GcxResult gcxCtxDestroy(GcxContext context) { return Core().CtxDestroy(context); }
GCX_ENTRY GcxResult gcxCtxGetMem(GcxMemory* memory, GcxContext context, GcxResource resource) {
  return Core().CtxGetMem(memory, context, resource);
}
GCX_ENTRY GcxResult gcxCtxReleaseMem(GcxContext context, GcxMemory memory) {
  return Core().CtxReleaseMem(context, memory);
}
GCX_ENTRY GcxResult gcxCtxSetMem(GcxContext context, GcxName name, GcxMemory memory) {
  return Core().CtxSetMem(context, name, memory);
}
GCX_ENTRY GcxResult gcxCtxRunProgram(GcxEvent* event, GcxContext context, GcxFunction function,
                                     const GcxDomain* domain) {
  return Core().CtxRunProgram(event, context, function, domain);
}
GCX_ENTRY GcxResult gcxCtxIsEventDone(GcxContext context, GcxEvent event) {
  return Core().CtxIsEventDone(context, event);
}
GCX_ENTRY GcxResult gcxCtxFlush(GcxContext context) { return Core().CtxFlush(context); }
GCX_ENTRY GcxResult gcxMemCopy(GcxEvent* event, GcxContext context, GcxMemory source, GcxMemory destination,
                               uint32_t) {
  return Core().MemCopy(event, context, source, destination);
}
GCX_ENTRY GcxResult gcxImageRead(GcxImage*, const void*, uint32_t) { return Core().Unsupported("gcxImageRead"); }
GCX_ENTRY GcxResult gcxImageFree(GcxImage) { return Core().Unsupported("gcxImageFree"); }
GCX_ENTRY GcxResult gcxModuleLoad(GcxModule* module, GcxContext context, GcxImage image) {
  return Core().ModuleLoad(module, context, image);
}
GCX_ENTRY GcxResult gcxModuleUnload(GcxContext context, GcxModule module) {
  return Core().ModuleUnload(context, module);
}
GCX_ENTRY GcxResult gcxModuleGetEntry(GcxFunction* function, GcxContext context, GcxModule module, const char* name) {
  return Core().ModuleGetEntry(function, context, module, name);
}
GCX_ENTRY GcxResult gcxModuleGetName(GcxName* name, GcxContext context, GcxModule module, const char* symbol) {
  return Core().ModuleGetName(name, context, module, symbol);
}
GCX_ENTRY const char* gcxGetErrorString() { return orx::gcxsoft::RuntimeErrorText(); }
GCX_ENTRY GcxResult gcxCtxRunProgramGrid(GcxEvent* event, GcxContext context, const GcxProgramGrid* grid) {
  return Core().CtxRunProgramGrid(event, context, grid);
}
GCX_ENTRY GcxResult gcxModuleGetFuncInfo(void*, GcxContext, GcxModule, GcxFunction) {
  return Core().Unsupported("gcxModuleGetFuncInfo");
}
GCX_ENTRY GcxResult gcxCtxRunProgramGridArray(GcxEvent*, GcxContext, const void*) {
  return Core().Unsupported("gcxCtxRunProgramGridArray");
}
GCX_ENTRY GcxResult gcxExtSupported(uint32_t extension) { return Core().ExtSupported(extension); }
GCX_ENTRY GcxResult gcxExtGetVersion(uint32_t* major, uint32_t* minor, uint32_t extension) {
  return Core().ExtGetVersion(major, minor, extension);
}
GCX_ENTRY GcxResult gcxExtGetProc(GcxProc* address, uint32_t extension, const char* name) {
  struct Proc {
    uint32_t extension;
    const char* name;
    GcxProc address;
  };
  const Proc procs[] = {
      {GCX_EXT_SAMPLER_PARAM, "gcxCtxSetSamplerParameter", reinterpret_cast<GcxProc>(&SetSamplerParameter)},
      {GCX_EXT_RES_CREATE, "gcxResCreate1D", reinterpret_cast<GcxProc>(&ResCreate1D)},
      {GCX_EXT_RES_CREATE, "gcxResCreate2D", reinterpret_cast<GcxProc>(&ResCreate2D)},
  };
  if (address == nullptr || name == nullptr) return orx::gcxsoft::kGcxSoftInvalidArgument;
  for (const Proc& p : procs)
    if (p.extension == extension && std::strcmp(p.name, name) == 0) {
      *address = p.address;
      return 0;
    }
  *address = nullptr;
  return Core().Unsupported(name);
}
