#pragma once
// The software GCX runtime's object model: devices, resources in host memory, contexts with
// their memory handles and bindings, modules, and the compiler's objects and images, every one
// named by a non-zero 32-bit id from one table (0 = none; a freed id is never handed out
// again). One instance serves both the runtime and the compiler library, so an image the
// compiler links is what the runtime loads. Every method is thread-safe; runs copy what they
// need under the table's lock and execute outside it, so runs of different contexts proceed in
// parallel.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/gcx/gcx_api.h"

namespace orx::gcxsoft {

using gcx::GcxResult;

inline constexpr int32_t kVersionMajor = 1;
inline constexpr int32_t kVersionMinor = 2;
inline constexpr int32_t kVersionBuild = 0;
inline constexpr uint32_t kDeviceTarget = 1;  // one target code for every device
inline constexpr uint32_t kMaxDevices = 8;
inline constexpr uint32_t kPitchAlign = 64;   // elements
inline constexpr uint32_t kAddressAlign = 256;  // bytes

// The pitch, in elements, of a 2-D plane of the given width and element size: the width
// rounded up to the pitch alignment, its bytes rounded up to the address alignment.
uint32_t AlignedPitch(uint32_t width, uint32_t elementBytes);

// The calling thread's last error texts, one for each library.
const char* RuntimeErrorText();
const char* CompilerErrorText();

class SoftCore {
 public:
  SoftCore();
  ~SoftCore();
  SoftCore(const SoftCore&) = delete;
  SoftCore& operator=(const SoftCore&) = delete;

  // Runtime, slots 1-38 (gcxExtGetProc lives with the entries, which know their addresses).
  GcxResult Init();
  GcxResult GetVersion(int32_t* major, int32_t* minor, int32_t* build);
  GcxResult Shutdown();
  GcxResult DeviceGetCount(uint32_t* count);
  GcxResult DeviceGetInfo(gcx::GcxDeviceInfo* info, uint32_t ordinal);
  GcxResult DeviceGetAttribs(gcx::GcxDeviceAttribs* attribs, uint32_t ordinal);
  GcxResult DeviceGetStatus(gcx::GcxDeviceStatus* status, gcx::GcxDevice device);
  GcxResult DeviceOpen(gcx::GcxDevice* device, uint32_t ordinal);
  GcxResult DeviceClose(gcx::GcxDevice device);
  GcxResult ResAlloc2D(gcx::GcxResource* resource, const gcx::GcxDevice* devices, uint32_t deviceCount,
                       uint32_t width, uint32_t height, uint32_t format);
  GcxResult ResAlloc1D(gcx::GcxResource* resource, const gcx::GcxDevice* devices, uint32_t deviceCount,
                       uint32_t width, uint32_t format);
  GcxResult ResCreate(gcx::GcxResource* resource, gcx::GcxDevice device, void* memory, uint32_t width,
                      uint32_t height, bool twoD, uint32_t format, uint32_t size);
  GcxResult ResFree(gcx::GcxResource resource);
  GcxResult ResMap(void** address, uint32_t* pitch, gcx::GcxResource resource);
  GcxResult ResUnmap(gcx::GcxResource resource);
  GcxResult CtxCreate(gcx::GcxContext* context, gcx::GcxDevice device);
  GcxResult CtxDestroy(gcx::GcxContext context);
  GcxResult CtxGetMem(gcx::GcxMemory* memory, gcx::GcxContext context, gcx::GcxResource resource);
  GcxResult CtxReleaseMem(gcx::GcxContext context, gcx::GcxMemory memory);
  GcxResult CtxSetMem(gcx::GcxContext context, gcx::GcxName name, gcx::GcxMemory memory);
  GcxResult CtxSetSamplerParameter(gcx::GcxContext context, gcx::GcxName sampler, uint32_t parameter,
                                   const void* value);
  GcxResult CtxRunProgram(gcx::GcxEvent* event, gcx::GcxContext context, gcx::GcxFunction function,
                          const gcx::GcxDomain* domain);
  GcxResult CtxRunProgramGrid(gcx::GcxEvent* event, gcx::GcxContext context, const gcx::GcxProgramGrid* grid);
  GcxResult CtxIsEventDone(gcx::GcxContext context, gcx::GcxEvent event);
  GcxResult CtxFlush(gcx::GcxContext context);
  GcxResult MemCopy(gcx::GcxEvent* event, gcx::GcxContext context, gcx::GcxMemory source,
                    gcx::GcxMemory destination);
  GcxResult ModuleLoad(gcx::GcxModule* module, gcx::GcxContext context, gcx::GcxImage image);
  GcxResult ModuleUnload(gcx::GcxContext context, gcx::GcxModule module);
  GcxResult ModuleGetEntry(gcx::GcxFunction* function, gcx::GcxContext context, gcx::GcxModule module,
                           const char* name);
  GcxResult ModuleGetName(gcx::GcxName* name, gcx::GcxContext context, gcx::GcxModule module, const char* symbol);
  GcxResult Unsupported(const char* entry);
  GcxResult ExtSupported(uint32_t extension);
  GcxResult ExtGetVersion(uint32_t* major, uint32_t* minor, uint32_t extension);

  // Compiler, slots 39-49.
  GcxResult ClGetVersion(int32_t* major, int32_t* minor, int32_t* build);
  GcxResult ClCompile(gcx::GcxObject* object, uint32_t language, const char* source, uint32_t target);
  GcxResult ClLink(gcx::GcxImage* image, const gcx::GcxObject* objects, uint32_t count);
  GcxResult ClFreeObject(gcx::GcxObject object);
  GcxResult ClFreeImage(gcx::GcxImage image);
  void ClDisassembleImage(gcx::GcxImage image, gcx::GcxLineCallback callback);
  void ClDisassembleObject(const gcx::GcxObject* object, gcx::GcxLineCallback callback);
  GcxResult ClImageGetSize(uint32_t* size, gcx::GcxImage image);
  GcxResult ClImageWrite(void* buffer, uint32_t size, gcx::GcxImage image);

  // Live objects of every kind (the tests' leak check).
  size_t LiveObjects();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orx::gcxsoft

// The one instance both libraries share, exported by the state library they both depend on.
extern "C" orx::gcxsoft::SoftCore* orxGcxSoftCore();

namespace orx::gcxsoft {

inline SoftCore& Core() { return *orxGcxSoftCore(); }

}  // namespace orx::gcxsoft
