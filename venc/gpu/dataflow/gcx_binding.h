#pragma once
// The binding of the GCX runtime and compiler: both libraries are loaded by name at the first
// GPU set-up, bound entry by entry into one process-wide table and never unloaded. Every other
// part of the GPU layer calls GCX through the wrappers below, named like the entries: a bound
// entry is called and its result returned unchanged; an unbound one answers 1 (the error-text
// wrappers a null text, the disassembly wrappers do nothing). The wrappers live in this C++
// namespace, so they never bind to a runtime's exports nor serve them.
#include <cstdint>

#include "platform/gcx/gcx_api.h"

namespace orx::gcx {

// One per process, zero at load, never cleared.
struct GcxEntryTable {
  // 0 = no load attempted yet; -1 = a load bound less than it was asked for; 1 = all bound.
  int32_t loadedFlag;
  // Indexed by slot: 1-38 runtime, 39-49 compiler, 50-52 extension entries; [0] unused.
  GcxProc entries[kGcxSlotCount + 1];
};

// The process table, for reading (written only inside gcxLoadLibrary and gcxInit, which the
// encoder calls under its set-up lock).
const GcxEntryTable& GcxEntries();

// Loads and binds. folder: null for the dynamic loader's search, else the libraries' folder.
// flags bit 0 skips the runtime library, bit 1 the compiler library. 0 when every requested
// entry was bound, else 1.
int32_t gcxLoadLibrary(const char* folder, uint32_t flags);

// Loads on first use, initialises the runtime and binds the extension entries; 0 on success,
// else the first failing step's result.
int32_t gcxInit();

// Runtime wrappers (slot 1 has none: gcxInit stands in its place).
GcxResult gcxGetVersion(int32_t* major, int32_t* minor, int32_t* build);
GcxResult gcxShutdown();
GcxResult gcxDeviceGetCount(uint32_t* count);
GcxResult gcxDeviceGetInfo(GcxDeviceInfo* info, uint32_t ordinal);
GcxResult gcxDeviceGetAttribs(GcxDeviceAttribs* attribs, uint32_t ordinal);
GcxResult gcxDeviceGetStatus(GcxDeviceStatus* status, GcxDevice device);
GcxResult gcxDeviceOpen(GcxDevice* device, uint32_t ordinal);
GcxResult gcxDeviceClose(GcxDevice device);
GcxResult gcxResAllocLocal2D(GcxResource* resource, GcxDevice device, uint32_t width, uint32_t height,
                             uint32_t format, uint32_t flags);
GcxResult gcxResAllocRemote2D(GcxResource* resource, const GcxDevice* devices, uint32_t deviceCount,
                              uint32_t width, uint32_t height, uint32_t format, uint32_t flags);
GcxResult gcxResAllocLocal1D(GcxResource* resource, GcxDevice device, uint32_t width, uint32_t format,
                             uint32_t flags);
GcxResult gcxResAllocRemote1D(GcxResource* resource, const GcxDevice* devices, uint32_t deviceCount,
                              uint32_t width, uint32_t format, uint32_t flags);
GcxResult gcxResFree(GcxResource resource);
GcxResult gcxResMap(void** address, uint32_t* pitch, GcxResource resource, uint32_t flags);
GcxResult gcxResUnmap(GcxResource resource);
GcxResult gcxCtxCreate(GcxContext* context, GcxDevice device);
GcxResult gcxCtxDestroy(GcxContext context);
GcxResult gcxCtxGetMem(GcxMemory* memory, GcxContext context, GcxResource resource);
GcxResult gcxCtxReleaseMem(GcxContext context, GcxMemory memory);
GcxResult gcxCtxSetMem(GcxContext context, GcxName name, GcxMemory memory);
GcxResult gcxCtxRunProgram(GcxEvent* event, GcxContext context, GcxFunction function, const GcxDomain* domain);
GcxResult gcxCtxIsEventDone(GcxContext context, GcxEvent event);
GcxResult gcxCtxFlush(GcxContext context);
GcxResult gcxMemCopy(GcxEvent* event, GcxContext context, GcxMemory source, GcxMemory destination,
                     uint32_t flags);
GcxResult gcxImageRead(GcxImage* image, const void* data, uint32_t size);
GcxResult gcxImageFree(GcxImage image);
// After a successful load, sampler 1 of the context is set to fetch-4 mode when the extension
// entry is bound; if that fails the module is unloaded again, *module becomes 0 and the
// sampler call's result is returned.
GcxResult gcxModuleLoad(GcxModule* module, GcxContext context, GcxImage image);
GcxResult gcxModuleUnload(GcxContext context, GcxModule module);
GcxResult gcxModuleGetEntry(GcxFunction* function, GcxContext context, GcxModule module, const char* name);
GcxResult gcxModuleGetName(GcxName* name, GcxContext context, GcxModule module, const char* symbol);
const char* gcxGetErrorString();
GcxResult gcxCtxRunProgramGrid(GcxEvent* event, GcxContext context, const GcxProgramGrid* grid);
GcxResult gcxModuleGetFuncInfo(void* info, GcxContext context, GcxModule module, GcxFunction function);
GcxResult gcxCtxRunProgramGridArray(GcxEvent* event, GcxContext context, const void* gridArray);
GcxResult gcxExtSupported(uint32_t extension);
GcxResult gcxExtGetVersion(uint32_t* major, uint32_t* minor, uint32_t extension);
GcxResult gcxExtGetProc(GcxProc* address, uint32_t extension, const char* name);

// Compiler wrappers.
GcxResult gcxclGetVersion(int32_t* major, int32_t* minor, int32_t* build);
GcxResult gcxclCompile(GcxObject* object, uint32_t language, const char* source, uint32_t target);
GcxResult gcxclLink(GcxImage* image, const GcxObject* objects, uint32_t count);
GcxResult gcxclFreeObject(GcxObject object);
GcxResult gcxclFreeImage(GcxImage image);
void gcxclDisassembleImage(GcxImage image, GcxLineCallback callback);
GcxResult gcxclAssembleObject(GcxObject* object, uint32_t language, const char* text, uint32_t target);
void gcxclDisassembleObject(const GcxObject* object, GcxLineCallback callback);
GcxResult gcxclImageGetSize(uint32_t* size, GcxImage image);
GcxResult gcxclImageWrite(void* buffer, uint32_t size, GcxImage image);
const char* gcxclGetErrorString();

// Extension wrappers (gcxCtxSetSamplerParameter has none: gcxModuleLoad calls it directly).
GcxResult gcxResCreate1D(GcxResource* resource, GcxDevice device, void* memory, uint32_t width, uint32_t format,
                         uint32_t size, uint32_t flags);
GcxResult gcxResCreate2D(GcxResource* resource, GcxDevice device, void* memory, uint32_t width, uint32_t height,
                         uint32_t format, uint32_t size, uint32_t flags);

}  // namespace orx::gcx
