// A GCX runtime and compiler for tests only. The runtime and the compiler libraries (and their
// variants that lack one entry) are built from this one source; each library's version script
// decides which entries it exports. Entries record their arguments and answer 0 unless
// GCXSTANDIN_FAIL names them; the few entries the GPU set-up depends on also behave.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/export.h"
#include "platform/gcx/gcx_api.h"
#include "tests/support/gcx-stand-in/call_recorder.h"
#include "tests/support/gcx-stand-in/gcx_stand_in_control.h"

using namespace orx::gcx;
using orx::gcx::standin::AddLive;
using orx::gcx::standin::CountLive;
using orx::gcx::standin::RecordedState;
using orx::gcx::standin::Arg;
using orx::gcx::standin::GcxStandInState;
using orx::gcx::standin::Record;

namespace {

std::mutex g_handleLock;
uint32_t g_nextHandle = 0x100;

// A fresh non-zero 32-bit id into an out handle after a success.
GcxResult GiveHandle(GcxResult result, uint32_t* out) {
  if (result == 0 && out != nullptr) {
    std::lock_guard<std::mutex> hold(g_handleLock);
    *out = g_nextHandle++;
  }
  return result;
}

GcxResult StandInSetSamplerParameter(GcxContext context, GcxName sampler, uint32_t parameter, const void* value) {
  uint32_t valueWord = value ? *static_cast<const uint32_t*>(value) : 0;
  return Record("gcxCtxSetSamplerParameter", {context, sampler, parameter, Arg(value), valueWord});
}

GcxResult StandInResCreate1D(GcxResource* resource, GcxDevice device, void* memory, uint32_t width,
                             uint32_t format, uint32_t size, uint32_t flags) {
  return GiveHandle(Record("gcxResCreate1D", {Arg(resource), device, Arg(memory), width, format, size, flags}),
                    resource);
}

GcxResult StandInResCreate2D(GcxResource* resource, GcxDevice device, void* memory, uint32_t width,
                             uint32_t height, uint32_t format, uint32_t size, uint32_t flags) {
  return GiveHandle(
      Record("gcxResCreate2D", {Arg(resource), device, Arg(memory), width, height, format, size, flags}), resource);
}

bool CountersOffered() {
  const char* counters = std::getenv("GCXSTANDIN_COUNTERS");
  return counters != nullptr && std::strcmp(counters, "1") == 0;
}

using GcxCounter = orx::gcx::GcxCounter;
GcxResult StandInCreatePrivateCounter(GcxCounter* counter, GcxContext context) {
  return GiveHandle(Record("gcxCtxCreatePrivateCounter", {Arg(counter), context}), counter);
}
GcxResult StandInDestroyCounter(GcxContext context, GcxCounter counter) {
  return Record("gcxCtxDestroyCounter", {context, counter});
}
GcxResult StandInConfigPrivateCounter(GcxContext context, GcxCounter counter, uint32_t block, uint32_t slot,
                                      uint32_t selector) {
  return Record("gcxCtxConfigPrivateCounter", {context, counter, block, slot, selector});
}
GcxResult StandInBeginCounter(GcxContext context, GcxCounter counter) {
  return Record("gcxCtxBeginCounter", {context, counter});
}
GcxResult StandInEndCounter(GcxContext context, GcxCounter counter) {
  return Record("gcxCtxEndCounter", {context, counter});
}
// Word i of the results is 1000 + i (128 words).
GcxResult StandInGetPrivateCounter(void* results, GcxContext context, GcxCounter counter) {
  GcxResult r = Record("gcxCtxGetPrivateCounter", {Arg(results), context, counter});
  if (r == 0 && results != nullptr) {
    for (int32_t i = 0; i < 128; ++i) {
      const int32_t word = 1000 + i;
      std::memcpy(static_cast<char*>(results) + 4 * i, &word, 4);
    }
  }
  return r;
}

struct CounterEntry {
  uint32_t extension;
  const char* name;
  GcxProc address;
};
const CounterEntry kCounterEntries[] = {
    {GCX_EXT_PRIVATE_COUNTERS, "gcxCtxCreatePrivateCounter", reinterpret_cast<GcxProc>(&StandInCreatePrivateCounter)},
    {GCX_EXT_COUNTERS, "gcxCtxDestroyCounter", reinterpret_cast<GcxProc>(&StandInDestroyCounter)},
    {GCX_EXT_PRIVATE_COUNTERS, "gcxCtxConfigPrivateCounter", reinterpret_cast<GcxProc>(&StandInConfigPrivateCounter)},
    {GCX_EXT_COUNTERS, "gcxCtxBeginCounter", reinterpret_cast<GcxProc>(&StandInBeginCounter)},
    {GCX_EXT_COUNTERS, "gcxCtxEndCounter", reinterpret_cast<GcxProc>(&StandInEndCounter)},
    {GCX_EXT_PRIVATE_COUNTERS, "gcxCtxGetPrivateCounter", reinterpret_cast<GcxProc>(&StandInGetPrivateCounter)},
};

void DisassemblyLines(GcxLineCallback callback) {
  if (callback == nullptr) return;
  callback("; stand-in image");
  callback("end");
}

}  // namespace

#define GCX_ENTRY extern "C" ORX_EXPORT

GCX_ENTRY orx::gcx::standin::GcxStandInState* GcxStandInControl() { return &orx::gcx::standin::RecordedState(); }

// Runtime entries, slots 1-38.
GCX_ENTRY GcxResult gcxInit() {
  GcxResult r = Record("gcxInit", {});
  if (r == 0) AddLive(orx::gcx::standin::RecordedState().liveInitialisations, 1);
  return r;
}
GCX_ENTRY GcxResult gcxGetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  GcxResult r = Record("gcxGetVersion", {Arg(major), Arg(minor), Arg(build)});
  if (r == 0 && major && minor && build) {
    *major = 1, *minor = 2, *build = 3;
    if (const char* version = std::getenv("GCXSTANDIN_VERSION")) {
      std::sscanf(version, "%d.%d.%d", major, minor, build);
    }
  }
  return r;
}
GCX_ENTRY GcxResult gcxShutdown() {
  GcxResult r = Record("gcxShutdown", {});
  if (r == 0) AddLive(orx::gcx::standin::RecordedState().liveInitialisations, -1);
  return r;
}
GCX_ENTRY GcxResult gcxDeviceGetCount(uint32_t* count) {
  GcxResult r = Record("gcxDeviceGetCount", {Arg(count)});
  if (r == 0 && count) {
    const char* devices = std::getenv("GCXSTANDIN_DEVICES");
    *count = devices ? static_cast<uint32_t>(std::strtoul(devices, nullptr, 0)) : 1;
  }
  return r;
}
GCX_ENTRY GcxResult gcxDeviceGetInfo(GcxDeviceInfo* info, uint32_t ordinal) {
  GcxResult r = Record("gcxDeviceGetInfo", {Arg(info), ordinal});
  if (r == 0 && info) *info = GcxDeviceInfo{21, {0, 0, 0}};
  return r;
}
GCX_ENTRY GcxResult gcxDeviceGetAttribs(GcxDeviceAttribs* attribs, uint32_t ordinal) {
  return Record("gcxDeviceGetAttribs", {Arg(attribs), ordinal});
}
GCX_ENTRY GcxResult gcxDeviceGetStatus(GcxDeviceStatus* status, GcxDevice device) {
  return Record("gcxDeviceGetStatus", {Arg(status), device});
}
GCX_ENTRY GcxResult gcxDeviceOpen(GcxDevice* device, uint32_t ordinal) {
  return CountLive(GiveHandle(Record("gcxDeviceOpen", {Arg(device), ordinal}), device), RecordedState().openDevices, 1);
}
GCX_ENTRY GcxResult gcxDeviceClose(GcxDevice device) {
  return CountLive(Record("gcxDeviceClose", {device}), RecordedState().openDevices, -1);
}
GCX_ENTRY GcxResult gcxResAllocLocal2D(GcxResource* resource, GcxDevice device, uint32_t width, uint32_t height,
                                       uint32_t format, uint32_t flags) {
  return CountLive(GiveHandle(Record("gcxResAllocLocal2D", {Arg(resource), device, width, height, format, flags}), resource), RecordedState().liveResources, 1);
}
GCX_ENTRY GcxResult gcxResAllocRemote2D(GcxResource* resource, const GcxDevice* devices, uint32_t deviceCount,
                                        uint32_t width, uint32_t height, uint32_t format, uint32_t flags) {
  return CountLive(GiveHandle(
      Record("gcxResAllocRemote2D", {Arg(resource), Arg(devices), deviceCount, width, height, format, flags}),
      resource), RecordedState().liveResources, 1);
}
GCX_ENTRY GcxResult gcxResAllocLocal1D(GcxResource* resource, GcxDevice device, uint32_t width, uint32_t format,
                                       uint32_t flags) {
  return CountLive(GiveHandle(Record("gcxResAllocLocal1D", {Arg(resource), device, width, format, flags}), resource), RecordedState().liveResources, 1);
}
GCX_ENTRY GcxResult gcxResAllocRemote1D(GcxResource* resource, const GcxDevice* devices, uint32_t deviceCount,
                                        uint32_t width, uint32_t format, uint32_t flags) {
  return CountLive(GiveHandle(Record("gcxResAllocRemote1D", {Arg(resource), Arg(devices), deviceCount, width, format, flags}),
                    resource), RecordedState().liveResources, 1);
}
GCX_ENTRY GcxResult gcxResFree(GcxResource resource) {
  return CountLive(Record("gcxResFree", {resource}), RecordedState().liveResources, -1);
}
GCX_ENTRY GcxResult gcxResMap(void** address, uint32_t* pitch, GcxResource resource, uint32_t flags) {
  return Record("gcxResMap", {Arg(address), Arg(pitch), resource, flags});
}
GCX_ENTRY GcxResult gcxResUnmap(GcxResource resource) { return Record("gcxResUnmap", {resource}); }
GCX_ENTRY GcxResult gcxCtxCreate(GcxContext* context, GcxDevice device) {
  return CountLive(GiveHandle(Record("gcxCtxCreate", {Arg(context), device}), context), RecordedState().liveContexts, 1);
}
GCX_ENTRY GcxResult gcxCtxDestroy(GcxContext context) {
  return CountLive(Record("gcxCtxDestroy", {context}), RecordedState().liveContexts, -1);
}
GCX_ENTRY GcxResult gcxCtxGetMem(GcxMemory* memory, GcxContext context, GcxResource resource) {
  return GiveHandle(Record("gcxCtxGetMem", {Arg(memory), context, resource}), memory);
}
GCX_ENTRY GcxResult gcxCtxReleaseMem(GcxContext context, GcxMemory memory) {
  return Record("gcxCtxReleaseMem", {context, memory});
}
GCX_ENTRY GcxResult gcxCtxSetMem(GcxContext context, GcxName name, GcxMemory memory) {
  return Record("gcxCtxSetMem", {context, name, memory});
}
GCX_ENTRY GcxResult gcxCtxRunProgram(GcxEvent* event, GcxContext context, GcxFunction function,
                                     const GcxDomain* domain) {
  return GiveHandle(Record("gcxCtxRunProgram", {Arg(event), context, function, Arg(domain)}), event);
}
GCX_ENTRY GcxResult gcxCtxIsEventDone(GcxContext context, GcxEvent event) {
  GcxResult r = Record("gcxCtxIsEventDone", {context, event});
  return r == 0 && orx::gcx::standin::KeepPending(event) ? GCX_RESULT_PENDING : r;
}
GCX_ENTRY GcxResult gcxCtxFlush(GcxContext context) { return Record("gcxCtxFlush", {context}); }
GCX_ENTRY GcxResult gcxMemCopy(GcxEvent* event, GcxContext context, GcxMemory source, GcxMemory destination,
                               uint32_t flags) {
  return GiveHandle(Record("gcxMemCopy", {Arg(event), context, source, destination, flags}), event);
}
GCX_ENTRY GcxResult gcxImageRead(GcxImage* image, const void* data, uint32_t size) {
  return Record("gcxImageRead", {Arg(image), Arg(data), size});
}
GCX_ENTRY GcxResult gcxImageFree(GcxImage image) { return Record("gcxImageFree", {image}); }
GCX_ENTRY GcxResult gcxModuleLoad(GcxModule* module, GcxContext context, GcxImage image) {
  GcxResult r = GiveHandle(Record("gcxModuleLoad", {Arg(module), context, image}), module);
  if (r == 0) AddLive(orx::gcx::standin::RecordedState().loadedModules, 1);
  return r;
}
GCX_ENTRY GcxResult gcxModuleUnload(GcxContext context, GcxModule module) {
  GcxResult r = Record("gcxModuleUnload", {context, module});
  if (r == 0) AddLive(orx::gcx::standin::RecordedState().loadedModules, -1);
  return r;
}
GCX_ENTRY GcxResult gcxModuleGetEntry(GcxFunction* function, GcxContext context, GcxModule module, const char* name) {
  return GiveHandle(Record("gcxModuleGetEntry", {Arg(function), context, module, Arg(name)}), function);
}
GCX_ENTRY GcxResult gcxModuleGetName(GcxName* name, GcxContext context, GcxModule module, const char* symbol) {
  return GiveHandle(Record("gcxModuleGetName", {Arg(name), context, module, Arg(symbol)}), name);
}
GCX_ENTRY const char* gcxGetErrorString() {
  Record("gcxGetErrorString", {});
  return "stand-in runtime error";
}
GCX_ENTRY GcxResult gcxCtxRunProgramGrid(GcxEvent* event, GcxContext context, const GcxProgramGrid* grid) {
  return GiveHandle(Record("gcxCtxRunProgramGrid", {Arg(event), context, Arg(grid)}), event);
}
GCX_ENTRY GcxResult gcxModuleGetFuncInfo(void* info, GcxContext context, GcxModule module, GcxFunction function) {
  return Record("gcxModuleGetFuncInfo", {Arg(info), context, module, function});
}
GCX_ENTRY GcxResult gcxCtxRunProgramGridArray(GcxEvent* event, GcxContext context, const void* gridArray) {
  return Record("gcxCtxRunProgramGridArray", {Arg(event), context, Arg(gridArray)});
}
GCX_ENTRY GcxResult gcxExtSupported(uint32_t extension) {
  GcxResult r = Record("gcxExtSupported", {extension}, extension);
  if (r != 0) return r;
  if (extension == GCX_EXT_PRIVATE_COUNTERS || extension == GCX_EXT_COUNTERS) return CountersOffered() ? 0 : 1;
  return extension == GCX_EXT_SAMPLER_PARAM || extension == GCX_EXT_RES_CREATE ? 0 : 1;
}
GCX_ENTRY GcxResult gcxExtGetVersion(uint32_t* major, uint32_t* minor, uint32_t extension) {
  return Record("gcxExtGetVersion", {Arg(major), Arg(minor), extension}, extension);
}
GCX_ENTRY GcxResult gcxExtGetProc(GcxProc* address, uint32_t extension, const char* name) {
  GcxResult r = Record("gcxExtGetProc", {Arg(address), extension, Arg(name)}, extension, name ? name : "");
  if (r != 0 || address == nullptr || name == nullptr) return r;
  std::string_view function(name);
  if (extension == GCX_EXT_SAMPLER_PARAM && function == "gcxCtxSetSamplerParameter")
    *address = reinterpret_cast<GcxProc>(&StandInSetSamplerParameter);
  else if (extension == GCX_EXT_RES_CREATE && function == "gcxResCreate1D")
    *address = reinterpret_cast<GcxProc>(&StandInResCreate1D);
  else if (extension == GCX_EXT_RES_CREATE && function == "gcxResCreate2D")
    *address = reinterpret_cast<GcxProc>(&StandInResCreate2D);
  else {
    for (const CounterEntry& entry : kCounterEntries) {
      if (CountersOffered() && extension == entry.extension && function == entry.name) {
        *address = entry.address;
        return 0;
      }
    }
    return 1;
  }
  return 0;
}

// Compiler entries, slots 39-49.
GCX_ENTRY GcxResult gcxclGetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  GcxResult r = Record("gcxclGetVersion", {Arg(major), Arg(minor), Arg(build)});
  if (r == 0 && major && minor && build) {
    *major = 1, *minor = 2, *build = 3;
    if (const char* version = std::getenv("GCXSTANDIN_VERSION")) {
      std::sscanf(version, "%d.%d.%d", major, minor, build);
    }
  }
  return r;
}
GCX_ENTRY GcxResult gcxclCompile(GcxObject* object, uint32_t language, const char* source, uint32_t target) {
  return GiveHandle(Record("gcxclCompile", {Arg(object), language, Arg(source), target}), object);
}
GCX_ENTRY GcxResult gcxclLink(GcxImage* image, const GcxObject* objects, uint32_t count) {
  return GiveHandle(Record("gcxclLink", {Arg(image), Arg(objects), count}), image);
}
GCX_ENTRY GcxResult gcxclFreeObject(GcxObject object) { return Record("gcxclFreeObject", {object}); }
GCX_ENTRY GcxResult gcxclFreeImage(GcxImage image) { return Record("gcxclFreeImage", {image}); }
GCX_ENTRY void gcxclDisassembleImage(GcxImage image, GcxLineCallback callback) {
  Record("gcxclDisassembleImage", {image, Arg(reinterpret_cast<const void*>(callback))});
  DisassemblyLines(callback);
}
GCX_ENTRY GcxResult gcxclAssembleObject(GcxObject* object, uint32_t language, const char* text, uint32_t target) {
  return GiveHandle(Record("gcxclAssembleObject", {Arg(object), language, Arg(text), target}), object);
}
GCX_ENTRY void gcxclDisassembleObject(const GcxObject* object, GcxLineCallback callback) {
  Record("gcxclDisassembleObject", {Arg(object), Arg(reinterpret_cast<const void*>(callback))});
  DisassemblyLines(callback);
}
GCX_ENTRY GcxResult gcxclImageGetSize(uint32_t* size, GcxImage image) {
  return Record("gcxclImageGetSize", {Arg(size), image});
}
GCX_ENTRY GcxResult gcxclImageWrite(void* buffer, uint32_t size, GcxImage image) {
  return Record("gcxclImageWrite", {Arg(buffer), size, image});
}
GCX_ENTRY const char* gcxclGetErrorString() {
  Record("gcxclGetErrorString", {});
  return "stand-in compiler error";
}
