#include "venc/gpu/dataflow/gcx_binding.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/debug_output.h"
#include "platform/gcx/gcx_library_name.h"
#include "platform/library_loader.h"

namespace orx::gcx {
namespace {

GcxEntryTable g_table;
// The loaded libraries stay loaded for the life of the process.
void* g_runtimeLibrary = nullptr;
void* g_compilerLibrary = nullptr;

constexpr uint32_t kSkipRuntime = 1;
constexpr uint32_t kSkipCompiler = 2;
constexpr size_t kNameSlot = 256;

template <typename Fn>
Fn Bound(int slot) {
  return reinterpret_cast<Fn>(g_table.entries[slot]);
}

// Calls a bound entry and returns its result unchanged; an unbound entry answers 1.
template <typename Fn, typename... Args>
GcxResult Forward(int slot, Args... args) {
  Fn fn = Bound<Fn>(slot);
  return fn != nullptr ? fn(args...) : 1;
}

struct LibraryKind {
  const char* label;  // as the messages name it
  const char* const* candidates;
  void** handle;
};

// Tries both candidate names in order; answers the library and the name that loaded.
bool LoadOne(const char* folder, const LibraryKind& kind, char (&loadedName)[kNameSlot]) {
  char names[2][kNameSlot];
  for (int i = 0; i < 2; ++i) {
    std::string file = GcxLibraryFileName(kind.candidates[i]);
    if (folder != nullptr) std::snprintf(names[i], kNameSlot, "%.200s/%s", folder, file.c_str());
    else std::snprintf(names[i], kNameSlot, "%s", file.c_str());
  }
  char text[2 * kNameSlot + 128];
  for (int i = 0; i < 2; ++i) {
    void* library = platform::LoadLibrary(names[i]);
    if (library != nullptr) {
      *kind.handle = library;
      std::memcpy(loadedName, names[i], kNameSlot);
      std::snprintf(text, sizeof(text), "gcxLoadLibrary: loaded %s DLL \"%s\" ...", kind.label, names[i]);
      platform::DebugOutput(text);
      return true;
    }
  }
  std::snprintf(text, sizeof(text), "gcxLoadLibrary: ** ERROR: LoadLibrary() failed for %s DLL:\n   \"%.200s\"\n   \"%.200s\"",
                kind.label, names[0], names[1]);
  platform::DebugOutput(text);
  return false;
}

// Looks up the slots in order, going on past a missing entry; false when any was missing.
bool BindSlots(void* library, const char* loadedName, int first, int last) {
  bool all = true;
  for (int slot = first; slot <= last; ++slot) {
    const char* name = kGcxSlotNames[slot - 1].name;
    void* address = platform::GetLibrarySymbol(library, name);
    g_table.entries[slot] = reinterpret_cast<GcxProc>(address);
    if (address == nullptr) {
      char text[kNameSlot + 128];
      std::snprintf(text, sizeof(text), "gcxLoadLibrary: ** ERROR: %s missing in %s", name, loadedName);
      platform::DebugOutput(text);
      all = false;
    }
  }
  return all;
}

}  // namespace

const GcxEntryTable& GcxEntries() { return g_table; }

int32_t gcxLoadLibrary(const char* folder, uint32_t flags) {
  g_table.loadedFlag = -1;
  int32_t result = 0;
  char runtimeName[kNameSlot] = "";
  char compilerName[kNameSlot] = "";
  if (!(flags & kSkipRuntime) &&
      !LoadOne(folder, {"GCXRT", kGcxRuntimeCandidates, &g_runtimeLibrary}, runtimeName)) {
    result = 1;
    flags |= kSkipRuntime;
  }
  if (!(flags & kSkipCompiler) &&
      !LoadOne(folder, {"GCXCL", kGcxCompilerCandidates, &g_compilerLibrary}, compilerName)) {
    result = 1;
    flags |= kSkipCompiler;
  }
  if (!(flags & kSkipRuntime) &&
      !BindSlots(g_runtimeLibrary, runtimeName, kGcxRuntimeFirstSlot, kGcxRuntimeLastSlot))
    result = 1;
  if (!(flags & kSkipCompiler) &&
      !BindSlots(g_compilerLibrary, compilerName, kGcxCompilerFirstSlot, kGcxCompilerLastSlot))
    result = 1;
  if (result == 0) g_table.loadedFlag = 1;
  return result;
}

int32_t gcxInit() {
  int32_t result = 0;
  if (g_table.loadedFlag == 0) result = gcxLoadLibrary(nullptr, 0);
  // A load that bound no runtime cannot initialise one: answer failure on every later call
  // too, rather than success with nothing bound.
  if (result == 0 && g_table.loadedFlag == -1 && Bound<PfnGcxInit>(1) == nullptr) result = 1;
  bool runtimeStarted = false;
  if (result == 0 && Bound<PfnGcxInit>(1) != nullptr) {
    result = Bound<PfnGcxInit>(1)();
    runtimeStarted = result == 0;
  }
  struct Extension {
    int slot;
    uint32_t id;
    const char* name;
  };
  const Extension extensions[] = {{50, GCX_EXT_SAMPLER_PARAM, "gcxCtxSetSamplerParameter"},
                                  {52, GCX_EXT_RES_CREATE, "gcxResCreate2D"},
                                  {51, GCX_EXT_RES_CREATE, "gcxResCreate1D"}};
  for (const Extension& e : extensions) {
    if (result == 0 && Bound<PfnGcxExtGetProc>(38) != nullptr)
      result = Bound<PfnGcxExtGetProc>(38)(&g_table.entries[e.slot], e.id, e.name);
  }
  // A failed extension lookup leaves no runtime initialised behind: nothing would end it.
  if (result != 0 && runtimeStarted && Bound<PfnGcxShutdown>(3) != nullptr) Bound<PfnGcxShutdown>(3)();
  return result;
}

GcxResult gcxGetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  return Forward<PfnGcxGetVersion>(2, major, minor, build);
}
GcxResult gcxShutdown() { return Forward<PfnGcxShutdown>(3); }
GcxResult gcxDeviceGetCount(uint32_t* count) { return Forward<PfnGcxDeviceGetCount>(4, count); }
GcxResult gcxDeviceGetInfo(GcxDeviceInfo* info, uint32_t ordinal) {
  return Forward<PfnGcxDeviceGetInfo>(5, info, ordinal);
}
GcxResult gcxDeviceGetAttribs(GcxDeviceAttribs* attribs, uint32_t ordinal) {
  return Forward<PfnGcxDeviceGetAttribs>(6, attribs, ordinal);
}
GcxResult gcxDeviceGetStatus(GcxDeviceStatus* status, GcxDevice device) {
  return Forward<PfnGcxDeviceGetStatus>(7, status, device);
}
GcxResult gcxDeviceOpen(GcxDevice* device, uint32_t ordinal) { return Forward<PfnGcxDeviceOpen>(8, device, ordinal); }
GcxResult gcxDeviceClose(GcxDevice device) { return Forward<PfnGcxDeviceClose>(9, device); }
GcxResult gcxResAllocLocal2D(GcxResource* resource, GcxDevice device, uint32_t width, uint32_t height,
                             uint32_t format, uint32_t flags) {
  return Forward<PfnGcxResAllocLocal2D>(10, resource, device, width, height, format, flags);
}
GcxResult gcxResAllocRemote2D(GcxResource* resource, const GcxDevice* devices, uint32_t deviceCount,
                              uint32_t width, uint32_t height, uint32_t format, uint32_t flags) {
  return Forward<PfnGcxResAllocRemote2D>(11, resource, devices, deviceCount, width, height, format, flags);
}
GcxResult gcxResAllocLocal1D(GcxResource* resource, GcxDevice device, uint32_t width, uint32_t format,
                             uint32_t flags) {
  return Forward<PfnGcxResAllocLocal1D>(12, resource, device, width, format, flags);
}
GcxResult gcxResAllocRemote1D(GcxResource* resource, const GcxDevice* devices, uint32_t deviceCount,
                              uint32_t width, uint32_t format, uint32_t flags) {
  return Forward<PfnGcxResAllocRemote1D>(13, resource, devices, deviceCount, width, format, flags);
}
GcxResult gcxResFree(GcxResource resource) { return Forward<PfnGcxResFree>(14, resource); }
GcxResult gcxResMap(void** address, uint32_t* pitch, GcxResource resource, uint32_t flags) {
  return Forward<PfnGcxResMap>(15, address, pitch, resource, flags);
}
GcxResult gcxResUnmap(GcxResource resource) { return Forward<PfnGcxResUnmap>(16, resource); }
GcxResult gcxCtxCreate(GcxContext* context, GcxDevice device) { return Forward<PfnGcxCtxCreate>(17, context, device); }
GcxResult gcxCtxDestroy(GcxContext context) { return Forward<PfnGcxCtxDestroy>(18, context); }
GcxResult gcxCtxGetMem(GcxMemory* memory, GcxContext context, GcxResource resource) {
  return Forward<PfnGcxCtxGetMem>(19, memory, context, resource);
}
GcxResult gcxCtxReleaseMem(GcxContext context, GcxMemory memory) {
  return Forward<PfnGcxCtxReleaseMem>(20, context, memory);
}
GcxResult gcxCtxSetMem(GcxContext context, GcxName name, GcxMemory memory) {
  return Forward<PfnGcxCtxSetMem>(21, context, name, memory);
}
GcxResult gcxCtxRunProgram(GcxEvent* event, GcxContext context, GcxFunction function, const GcxDomain* domain) {
  return Forward<PfnGcxCtxRunProgram>(22, event, context, function, domain);
}
GcxResult gcxCtxIsEventDone(GcxContext context, GcxEvent event) {
  return Forward<PfnGcxCtxIsEventDone>(23, context, event);
}
GcxResult gcxCtxFlush(GcxContext context) { return Forward<PfnGcxCtxFlush>(24, context); }
GcxResult gcxMemCopy(GcxEvent* event, GcxContext context, GcxMemory source, GcxMemory destination,
                     uint32_t flags) {
  return Forward<PfnGcxMemCopy>(25, event, context, source, destination, flags);
}
GcxResult gcxImageRead(GcxImage* image, const void* data, uint32_t size) {
  return Forward<PfnGcxImageRead>(26, image, data, size);
}
GcxResult gcxImageFree(GcxImage image) { return Forward<PfnGcxImageFree>(27, image); }

GcxResult gcxModuleLoad(GcxModule* module, GcxContext context, GcxImage image) {
  GcxResult result = Forward<PfnGcxModuleLoad>(28, module, context, image);
  auto setSampler = Bound<PfnGcxCtxSetSamplerParameter>(50);
  if (result != 0 || setSampler == nullptr) return result;
  const uint32_t fetch4 = 1;
  result = setSampler(context, 1, GCX_SAMPLER_PARAM_FETCH4, &fetch4);
  if (result != 0 && module != nullptr) {
    // The caller sees a failed load and never unloads: leave no module behind.
    Forward<PfnGcxModuleUnload>(29, context, *module);
    *module = 0;
  }
  return result;
}
GcxResult gcxModuleUnload(GcxContext context, GcxModule module) {
  return Forward<PfnGcxModuleUnload>(29, context, module);
}
GcxResult gcxModuleGetEntry(GcxFunction* function, GcxContext context, GcxModule module, const char* name) {
  return Forward<PfnGcxModuleGetEntry>(30, function, context, module, name);
}
GcxResult gcxModuleGetName(GcxName* name, GcxContext context, GcxModule module, const char* symbol) {
  return Forward<PfnGcxModuleGetName>(31, name, context, module, symbol);
}
const char* gcxGetErrorString() {
  auto fn = Bound<PfnGcxGetErrorString>(32);
  return fn != nullptr ? fn() : nullptr;
}
GcxResult gcxCtxRunProgramGrid(GcxEvent* event, GcxContext context, const GcxProgramGrid* grid) {
  return Forward<PfnGcxCtxRunProgramGrid>(33, event, context, grid);
}
GcxResult gcxModuleGetFuncInfo(void* info, GcxContext context, GcxModule module, GcxFunction function) {
  return Forward<PfnGcxModuleGetFuncInfo>(34, info, context, module, function);
}
GcxResult gcxCtxRunProgramGridArray(GcxEvent* event, GcxContext context, const void* gridArray) {
  return Forward<PfnGcxCtxRunProgramGridArray>(35, event, context, gridArray);
}
GcxResult gcxExtSupported(uint32_t extension) { return Forward<PfnGcxExtSupported>(36, extension); }
GcxResult gcxExtGetVersion(uint32_t* major, uint32_t* minor, uint32_t extension) {
  return Forward<PfnGcxExtGetVersion>(37, major, minor, extension);
}
GcxResult gcxExtGetProc(GcxProc* address, uint32_t extension, const char* name) {
  return Forward<PfnGcxExtGetProc>(38, address, extension, name);
}

GcxResult gcxclGetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  return Forward<PfnGcxclGetVersion>(39, major, minor, build);
}
GcxResult gcxclCompile(GcxObject* object, uint32_t language, const char* source, uint32_t target) {
  return Forward<PfnGcxclCompile>(40, object, language, source, target);
}
GcxResult gcxclLink(GcxImage* image, const GcxObject* objects, uint32_t count) {
  return Forward<PfnGcxclLink>(41, image, objects, count);
}
GcxResult gcxclFreeObject(GcxObject object) { return Forward<PfnGcxclFreeObject>(42, object); }
GcxResult gcxclFreeImage(GcxImage image) { return Forward<PfnGcxclFreeImage>(43, image); }
void gcxclDisassembleImage(GcxImage image, GcxLineCallback callback) {
  if (auto fn = Bound<PfnGcxclDisassembleImage>(44)) fn(image, callback);
}
GcxResult gcxclAssembleObject(GcxObject* object, uint32_t language, const char* text, uint32_t target) {
  return Forward<PfnGcxclAssembleObject>(45, object, language, text, target);
}
void gcxclDisassembleObject(const GcxObject* object, GcxLineCallback callback) {
  if (auto fn = Bound<PfnGcxclDisassembleObject>(46)) fn(object, callback);
}
GcxResult gcxclImageGetSize(uint32_t* size, GcxImage image) { return Forward<PfnGcxclImageGetSize>(47, size, image); }
GcxResult gcxclImageWrite(void* buffer, uint32_t size, GcxImage image) {
  return Forward<PfnGcxclImageWrite>(48, buffer, size, image);
}
const char* gcxclGetErrorString() {
  auto fn = Bound<PfnGcxclGetErrorString>(49);
  return fn != nullptr ? fn() : nullptr;
}

GcxResult gcxResCreate1D(GcxResource* resource, GcxDevice device, void* memory, uint32_t width, uint32_t format,
                         uint32_t size, uint32_t flags) {
  return Forward<PfnGcxResCreate1D>(51, resource, device, memory, width, format, size, flags);
}
GcxResult gcxResCreate2D(GcxResource* resource, GcxDevice device, void* memory, uint32_t width, uint32_t height,
                         uint32_t format, uint32_t size, uint32_t flags) {
  return Forward<PfnGcxResCreate2D>(52, resource, device, memory, width, height, format, size, flags);
}

}  // namespace orx::gcx
