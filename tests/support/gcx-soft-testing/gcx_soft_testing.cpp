// The software GCX runtime behind the stand-in's recording and failure layer, for tests that
// need a runtime that really executes but fails one entry on demand. Every entry records its
// call and answers the code GCXSTANDIN_FAIL gives it; otherwise the software runtime answers.
// GCXSTANDIN_PENDING=n makes each event answer 8 (still running) to its first n polls.
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/export.h"
#include "platform/gcx-soft/gcx_soft_codes.h"
#include "platform/gcx-soft/soft_runtime.h"
#include "tests/support/gcx-stand-in/call_recorder.h"

using namespace orx::gcx;
using orx::gcx::standin::AddLive;
using orx::gcx::standin::CountLive;
using orx::gcx::standin::Arg;
using orx::gcx::standin::Record;
using orx::gcx::standin::RecordedState;
using orx::gcxsoft::Core;

#define GCX_ENTRY extern "C" ORX_EXPORT

namespace {

// The configured code of the call, or the software runtime's answer.
template <typename Call>
GcxResult Then(GcxResult recorded, Call call) {
  return recorded != 0 ? recorded : call();
}

GcxResult SetSamplerParameter(GcxContext context, GcxName sampler, uint32_t parameter, const void* value) {
  uint32_t valueWord = value ? *static_cast<const uint32_t*>(value) : 0;
  return Then(Record("gcxCtxSetSamplerParameter", {context, sampler, parameter, Arg(value), valueWord}),
              [&] { return Core().CtxSetSamplerParameter(context, sampler, parameter, value); });
}
GcxResult ResCreate1D(GcxResource* resource, GcxDevice device, void* memory, uint32_t width, uint32_t format,
                      uint32_t size, uint32_t flags) {
  return CountLive(Then(Record("gcxResCreate1D", {Arg(resource), device, Arg(memory), width, format, size, flags}),
              [&] { return Core().ResCreate(resource, device, memory, width, 1, false, format, size); }), RecordedState().liveResources, 1);
}
GcxResult ResCreate2D(GcxResource* resource, GcxDevice device, void* memory, uint32_t width, uint32_t height,
                      uint32_t format, uint32_t size, uint32_t flags) {
  return CountLive(Then(Record("gcxResCreate2D", {Arg(resource), device, Arg(memory), width, height, format, size, flags}),
              [&] { return Core().ResCreate(resource, device, memory, width, height, true, format, size); }), RecordedState().liveResources, 1);
}

}  // namespace

GCX_ENTRY orx::gcx::standin::GcxStandInState* GcxStandInControl() { return &RecordedState(); }

// Runtime entries, slots 1-38.
GCX_ENTRY GcxResult gcxInit() {
  GcxResult r = Then(Record("gcxInit", {}), [] { return Core().Init(); });
  if (r == 0) AddLive(RecordedState().liveInitialisations, 1);
  return r;
}
GCX_ENTRY GcxResult gcxGetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  return Then(Record("gcxGetVersion", {Arg(major), Arg(minor), Arg(build)}),
              [&] { return Core().GetVersion(major, minor, build); });
}
GCX_ENTRY GcxResult gcxShutdown() {
  GcxResult r = Then(Record("gcxShutdown", {}), [] { return Core().Shutdown(); });
  if (r == 0) AddLive(RecordedState().liveInitialisations, -1);
  return r;
}
GCX_ENTRY GcxResult gcxDeviceGetCount(uint32_t* count) {
  return Then(Record("gcxDeviceGetCount", {Arg(count)}), [&] { return Core().DeviceGetCount(count); });
}
GCX_ENTRY GcxResult gcxDeviceGetInfo(GcxDeviceInfo* info, uint32_t ordinal) {
  return Then(Record("gcxDeviceGetInfo", {Arg(info), ordinal}), [&] { return Core().DeviceGetInfo(info, ordinal); });
}
GCX_ENTRY GcxResult gcxDeviceGetAttribs(GcxDeviceAttribs* attribs, uint32_t ordinal) {
  return Then(Record("gcxDeviceGetAttribs", {Arg(attribs), ordinal}),
              [&] { return Core().DeviceGetAttribs(attribs, ordinal); });
}
GCX_ENTRY GcxResult gcxDeviceGetStatus(GcxDeviceStatus* status, GcxDevice device) {
  return Then(Record("gcxDeviceGetStatus", {Arg(status), device}),
              [&] { return Core().DeviceGetStatus(status, device); });
}
GCX_ENTRY GcxResult gcxDeviceOpen(GcxDevice* device, uint32_t ordinal) {
  return CountLive(Then(Record("gcxDeviceOpen", {Arg(device), ordinal}), [&] { return Core().DeviceOpen(device, ordinal); }), RecordedState().openDevices, 1);
}
GCX_ENTRY GcxResult gcxDeviceClose(GcxDevice device) {
  return CountLive(Then(Record("gcxDeviceClose", {device}), [&] { return Core().DeviceClose(device); }), RecordedState().openDevices, -1);
}
GCX_ENTRY GcxResult gcxResAllocLocal2D(GcxResource* resource, GcxDevice device, uint32_t width, uint32_t height,
                                       uint32_t format, uint32_t flags) {
  return CountLive(Then(Record("gcxResAllocLocal2D", {Arg(resource), device, width, height, format, flags}),
              [&] { return Core().ResAlloc2D(resource, &device, 1, width, height, format); }), RecordedState().liveResources, 1);
}
GCX_ENTRY GcxResult gcxResAllocRemote2D(GcxResource* resource, const GcxDevice* devices, uint32_t deviceCount,
                                        uint32_t width, uint32_t height, uint32_t format, uint32_t flags) {
  return CountLive(Then(Record("gcxResAllocRemote2D", {Arg(resource), Arg(devices), deviceCount, width, height, format, flags}),
              [&] { return Core().ResAlloc2D(resource, devices, deviceCount, width, height, format); }), RecordedState().liveResources, 1);
}
GCX_ENTRY GcxResult gcxResAllocLocal1D(GcxResource* resource, GcxDevice device, uint32_t width, uint32_t format,
                                       uint32_t flags) {
  return CountLive(Then(Record("gcxResAllocLocal1D", {Arg(resource), device, width, format, flags}),
              [&] { return Core().ResAlloc1D(resource, &device, 1, width, format); }), RecordedState().liveResources, 1);
}
GCX_ENTRY GcxResult gcxResAllocRemote1D(GcxResource* resource, const GcxDevice* devices, uint32_t deviceCount,
                                        uint32_t width, uint32_t format, uint32_t flags) {
  return CountLive(Then(Record("gcxResAllocRemote1D", {Arg(resource), Arg(devices), deviceCount, width, format, flags}),
              [&] { return Core().ResAlloc1D(resource, devices, deviceCount, width, format); }), RecordedState().liveResources, 1);
}
GCX_ENTRY GcxResult gcxResFree(GcxResource resource) {
  return CountLive(Then(Record("gcxResFree", {resource}), [&] { return Core().ResFree(resource); }), RecordedState().liveResources, -1);
}
GCX_ENTRY GcxResult gcxResMap(void** address, uint32_t* pitch, GcxResource resource, uint32_t flags) {
  return Then(Record("gcxResMap", {Arg(address), Arg(pitch), resource, flags}),
              [&] { return Core().ResMap(address, pitch, resource); });
}
GCX_ENTRY GcxResult gcxResUnmap(GcxResource resource) {
  return Then(Record("gcxResUnmap", {resource}), [&] { return Core().ResUnmap(resource); });
}
GCX_ENTRY GcxResult gcxCtxCreate(GcxContext* context, GcxDevice device) {
  return CountLive(Then(Record("gcxCtxCreate", {Arg(context), device}), [&] { return Core().CtxCreate(context, device); }), RecordedState().liveContexts, 1);
}
GCX_ENTRY GcxResult gcxCtxDestroy(GcxContext context) {
  return CountLive(Then(Record("gcxCtxDestroy", {context}), [&] { return Core().CtxDestroy(context); }), RecordedState().liveContexts, -1);
}
GCX_ENTRY GcxResult gcxCtxGetMem(GcxMemory* memory, GcxContext context, GcxResource resource) {
  return Then(Record("gcxCtxGetMem", {Arg(memory), context, resource}),
              [&] { return Core().CtxGetMem(memory, context, resource); });
}
GCX_ENTRY GcxResult gcxCtxReleaseMem(GcxContext context, GcxMemory memory) {
  return Then(Record("gcxCtxReleaseMem", {context, memory}), [&] { return Core().CtxReleaseMem(context, memory); });
}
GCX_ENTRY GcxResult gcxCtxSetMem(GcxContext context, GcxName name, GcxMemory memory) {
  return Then(Record("gcxCtxSetMem", {context, name, memory}), [&] { return Core().CtxSetMem(context, name, memory); });
}
GCX_ENTRY GcxResult gcxCtxRunProgram(GcxEvent* event, GcxContext context, GcxFunction function,
                                     const GcxDomain* domain) {
  return Then(Record("gcxCtxRunProgram", {Arg(event), context, function, Arg(domain)}),
              [&] { return Core().CtxRunProgram(event, context, function, domain); });
}
GCX_ENTRY GcxResult gcxCtxIsEventDone(GcxContext context, GcxEvent event) {
  GcxResult r = Then(Record("gcxCtxIsEventDone", {context, event}),
                     [&] { return Core().CtxIsEventDone(context, event); });
  if (r != 0 || !orx::gcx::standin::KeepPending(event)) return r;
  return GCX_RESULT_PENDING;
}
GCX_ENTRY GcxResult gcxCtxFlush(GcxContext context) {
  return Then(Record("gcxCtxFlush", {context}), [&] { return Core().CtxFlush(context); });
}
GCX_ENTRY GcxResult gcxMemCopy(GcxEvent* event, GcxContext context, GcxMemory source, GcxMemory destination,
                               uint32_t flags) {
  return Then(Record("gcxMemCopy", {Arg(event), context, source, destination, flags}),
              [&] { return Core().MemCopy(event, context, source, destination); });
}
GCX_ENTRY GcxResult gcxImageRead(GcxImage* image, const void* data, uint32_t size) {
  return Then(Record("gcxImageRead", {Arg(image), Arg(data), size}), [] { return Core().Unsupported("gcxImageRead"); });
}
GCX_ENTRY GcxResult gcxImageFree(GcxImage image) {
  return Then(Record("gcxImageFree", {image}), [] { return Core().Unsupported("gcxImageFree"); });
}
GCX_ENTRY GcxResult gcxModuleLoad(GcxModule* module, GcxContext context, GcxImage image) {
  GcxResult r = Then(Record("gcxModuleLoad", {Arg(module), context, image}),
                     [&] { return Core().ModuleLoad(module, context, image); });
  if (r == 0) AddLive(RecordedState().loadedModules, 1);
  return r;
}
GCX_ENTRY GcxResult gcxModuleUnload(GcxContext context, GcxModule module) {
  GcxResult r = Then(Record("gcxModuleUnload", {context, module}), [&] { return Core().ModuleUnload(context, module); });
  if (r == 0) AddLive(RecordedState().loadedModules, -1);
  return r;
}
GCX_ENTRY GcxResult gcxModuleGetEntry(GcxFunction* function, GcxContext context, GcxModule module, const char* name) {
  return Then(Record("gcxModuleGetEntry", {Arg(function), context, module, Arg(name)}, 0, name ? name : ""),
              [&] { return Core().ModuleGetEntry(function, context, module, name); });
}
GCX_ENTRY GcxResult gcxModuleGetName(GcxName* name, GcxContext context, GcxModule module, const char* symbol) {
  return Then(Record("gcxModuleGetName", {Arg(name), context, module, Arg(symbol)}, 0, symbol ? symbol : ""),
              [&] { return Core().ModuleGetName(name, context, module, symbol); });
}
GCX_ENTRY const char* gcxGetErrorString() {
  Record("gcxGetErrorString", {});
  return orx::gcxsoft::RuntimeErrorText();
}
GCX_ENTRY GcxResult gcxCtxRunProgramGrid(GcxEvent* event, GcxContext context, const GcxProgramGrid* grid) {
  return Then(Record("gcxCtxRunProgramGrid", {Arg(event), context, Arg(grid)}),
              [&] { return Core().CtxRunProgramGrid(event, context, grid); });
}
GCX_ENTRY GcxResult gcxModuleGetFuncInfo(void* info, GcxContext context, GcxModule module, GcxFunction function) {
  return Then(Record("gcxModuleGetFuncInfo", {Arg(info), context, module, function}),
              [] { return Core().Unsupported("gcxModuleGetFuncInfo"); });
}
GCX_ENTRY GcxResult gcxCtxRunProgramGridArray(GcxEvent* event, GcxContext context, const void* gridArray) {
  return Then(Record("gcxCtxRunProgramGridArray", {Arg(event), context, Arg(gridArray)}),
              [] { return Core().Unsupported("gcxCtxRunProgramGridArray"); });
}
GCX_ENTRY GcxResult gcxExtSupported(uint32_t extension) {
  return Then(Record("gcxExtSupported", {extension}, extension), [&] { return Core().ExtSupported(extension); });
}
GCX_ENTRY GcxResult gcxExtGetVersion(uint32_t* major, uint32_t* minor, uint32_t extension) {
  return Then(Record("gcxExtGetVersion", {Arg(major), Arg(minor), extension}, extension),
              [&] { return Core().ExtGetVersion(major, minor, extension); });
}
GCX_ENTRY GcxResult gcxExtGetProc(GcxProc* address, uint32_t extension, const char* name) {
  std::string_view function = name ? name : "";
  GcxResult r = Record("gcxExtGetProc", {Arg(address), extension, Arg(name)}, extension, name ? name : "");
  if (r != 0) return r;
  if (address == nullptr) return orx::gcxsoft::kGcxSoftInvalidArgument;
  if (extension == GCX_EXT_SAMPLER_PARAM && function == "gcxCtxSetSamplerParameter")
    *address = reinterpret_cast<GcxProc>(&SetSamplerParameter);
  else if (extension == GCX_EXT_RES_CREATE && function == "gcxResCreate1D")
    *address = reinterpret_cast<GcxProc>(&ResCreate1D);
  else if (extension == GCX_EXT_RES_CREATE && function == "gcxResCreate2D")
    *address = reinterpret_cast<GcxProc>(&ResCreate2D);
  else
    return Core().Unsupported(name ? name : "(null)");
  return 0;
}

// Compiler entries, slots 39-49.
GCX_ENTRY GcxResult gcxclGetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  return Then(Record("gcxclGetVersion", {Arg(major), Arg(minor), Arg(build)}),
              [&] { return Core().ClGetVersion(major, minor, build); });
}
GCX_ENTRY GcxResult gcxclCompile(GcxObject* object, uint32_t language, const char* source, uint32_t target) {
  return Then(Record("gcxclCompile", {Arg(object), language, Arg(source), target}),
              [&] { return Core().ClCompile(object, language, source, target); });
}
GCX_ENTRY GcxResult gcxclLink(GcxImage* image, const GcxObject* objects, uint32_t count) {
  return Then(Record("gcxclLink", {Arg(image), Arg(objects), count}), [&] { return Core().ClLink(image, objects, count); });
}
GCX_ENTRY GcxResult gcxclFreeObject(GcxObject object) {
  return Then(Record("gcxclFreeObject", {object}), [&] { return Core().ClFreeObject(object); });
}
GCX_ENTRY GcxResult gcxclFreeImage(GcxImage image) {
  return Then(Record("gcxclFreeImage", {image}), [&] { return Core().ClFreeImage(image); });
}
GCX_ENTRY void gcxclDisassembleImage(GcxImage image, GcxLineCallback callback) {
  Record("gcxclDisassembleImage", {image, Arg(reinterpret_cast<const void*>(callback))});
  Core().ClDisassembleImage(image, callback);
}
GCX_ENTRY GcxResult gcxclAssembleObject(GcxObject* object, uint32_t language, const char* text, uint32_t target) {
  return Then(Record("gcxclAssembleObject", {Arg(object), language, Arg(text), target}),
              [&] { return Core().ClCompile(object, language, text, target); });
}
GCX_ENTRY void gcxclDisassembleObject(const GcxObject* object, GcxLineCallback callback) {
  Record("gcxclDisassembleObject", {Arg(object), Arg(reinterpret_cast<const void*>(callback))});
  Core().ClDisassembleObject(object, callback);
}
GCX_ENTRY GcxResult gcxclImageGetSize(uint32_t* size, GcxImage image) {
  return Then(Record("gcxclImageGetSize", {Arg(size), image}), [&] { return Core().ClImageGetSize(size, image); });
}
GCX_ENTRY GcxResult gcxclImageWrite(void* buffer, uint32_t size, GcxImage image) {
  return Then(Record("gcxclImageWrite", {Arg(buffer), size, image}),
              [&] { return Core().ClImageWrite(buffer, size, image); });
}
GCX_ENTRY const char* gcxclGetErrorString() {
  Record("gcxclGetErrorString", {});
  return orx::gcxsoft::CompilerErrorText();
}
