#pragma once
// Our own declarations of the GCX compute runtime and its IL compiler: the two libraries that
// the video encoder loads by name at its first GPU set-up and binds entry by entry. Nothing here
// links against them. Every handle is a 32-bit unsigned id, 0 = none (the kernel library keeps
// device handles and contexts in 32-bit fields and tests -1 as a signed value).
#include <cstddef>
#include <cstdint>

namespace orx::gcx {

using GcxResult = int32_t;
inline constexpr GcxResult GCX_RESULT_OK = 0;
inline constexpr GcxResult GCX_RESULT_PENDING = 8;  // gcxCtxIsEventDone: still running

using GcxDevice = uint32_t;
using GcxResource = uint32_t;
using GcxContext = uint32_t;
using GcxMemory = uint32_t;
using GcxEvent = uint32_t;
using GcxModule = uint32_t;
using GcxFunction = uint32_t;
using GcxName = uint32_t;     // a program input, output or constant buffer of a module
using GcxObject = uint32_t;   // a compiled object (compiler)
using GcxImage = uint32_t;    // a linked image (compiler)
using GcxCounter = uint32_t;  // a performance counter of one context (counter extensions)

inline constexpr uint32_t GCX_LANGUAGE_IL = 1;
inline constexpr uint32_t GCX_SAMPLER_PARAM_FETCH4 = 0;

// Extension ids.
inline constexpr uint32_t GCX_EXT_SAMPLER_PARAM = 0x8002;   // gcxCtxSetSamplerParameter
inline constexpr uint32_t GCX_EXT_RES_CREATE = 0x1006;      // gcxResCreate1D, gcxResCreate2D
inline constexpr uint32_t GCX_EXT_PRIVATE_COUNTERS = 0x8005;
inline constexpr uint32_t GCX_EXT_COUNTERS = 0x1004;

// gcxDeviceGetInfo: word 0 is the device target code that compiled images are keyed by.
struct GcxDeviceInfo {
  uint32_t target;
  uint32_t reserved[3];
};
static_assert(sizeof(GcxDeviceInfo) == 16);

// gcxDeviceGetStatus: the caller sets size (16); free memory in MB.
struct GcxDeviceStatus {
  uint32_t size;
  uint32_t freeLocalMB;
  uint32_t freeUncachedRemoteMB;
  uint32_t freeCachedRemoteMB;
};
static_assert(sizeof(GcxDeviceStatus) == 16);

// gcxDeviceGetAttribs: the caller sets size (68) before the call.
struct GcxDeviceAttribs {
  uint32_t size;
  uint32_t target;
  uint32_t gpuMemMB;
  uint32_t uncachedMemMB;
  uint32_t cpuMemMB;
  uint32_t engineClockMHz;
  uint32_t memoryClockMHz;
  uint32_t wavefrontSize;
  uint32_t simdCount;
  uint32_t doublePrecision;
  uint32_t ldsSize;
  uint32_t gdsSize;
  uint32_t globalGprs;
  uint32_t computeShader;
  uint32_t memExport;
  uint32_t pitchAlign;
  uint32_t addrAlign;
};
static_assert(sizeof(GcxDeviceAttribs) == 68);
static_assert(offsetof(GcxDeviceAttribs, engineClockMHz) == 5 * 4);
static_assert(offsetof(GcxDeviceAttribs, memoryClockMHz) == 6 * 4);

// The area a program runs over (gcxCtxRunProgram).
struct GcxDomain {
  uint32_t x;
  uint32_t y;
  uint32_t width;
  uint32_t height;
};
static_assert(sizeof(GcxDomain) == 16);

// A compute program launch (gcxCtxRunProgramGrid).
struct GcxProgramGrid {
  GcxFunction function;
  uint32_t groupSizeX;
  uint32_t groupSizeY;
  uint32_t groupSizeZ;
  uint32_t gridSizeX;
  uint32_t gridSizeY;
  uint32_t gridSizeZ;
  uint32_t flags;
};
static_assert(sizeof(GcxProgramGrid) == 32);

// Any entry address as the runtime hands it out through gcxExtGetProc.
using GcxProc = void (*)();
// The compiler's disassembly sink: one call per text line.
using GcxLineCallback = void (*)(const char* line);

// One function-pointer type per slot, arguments in the runtime's order ("out" first where the
// runtime returns a value).
// Runtime library, slots 1-38.
using PfnGcxInit = GcxResult (*)();                                                     // 1
using PfnGcxGetVersion = GcxResult (*)(int32_t* major, int32_t* minor, int32_t* build);  // 2
using PfnGcxShutdown = GcxResult (*)();                                                 // 3
using PfnGcxDeviceGetCount = GcxResult (*)(uint32_t* count);                            // 4
using PfnGcxDeviceGetInfo = GcxResult (*)(GcxDeviceInfo* info, uint32_t ordinal);       // 5
using PfnGcxDeviceGetAttribs = GcxResult (*)(GcxDeviceAttribs* attribs, uint32_t ordinal);  // 6
using PfnGcxDeviceGetStatus = GcxResult (*)(GcxDeviceStatus* status, GcxDevice device);  // 7
using PfnGcxDeviceOpen = GcxResult (*)(GcxDevice* device, uint32_t ordinal);            // 8
using PfnGcxDeviceClose = GcxResult (*)(GcxDevice device);                              // 9
using PfnGcxResAllocLocal2D = GcxResult (*)(GcxResource* resource, GcxDevice device, uint32_t width,
                                            uint32_t height, uint32_t format, uint32_t flags);  // 10
using PfnGcxResAllocRemote2D = GcxResult (*)(GcxResource* resource, const GcxDevice* devices,
                                             uint32_t deviceCount, uint32_t width, uint32_t height,
                                             uint32_t format, uint32_t flags);  // 11
using PfnGcxResAllocLocal1D = GcxResult (*)(GcxResource* resource, GcxDevice device, uint32_t width,
                                            uint32_t format, uint32_t flags);  // 12
using PfnGcxResAllocRemote1D = GcxResult (*)(GcxResource* resource, const GcxDevice* devices,
                                             uint32_t deviceCount, uint32_t width, uint32_t format,
                                             uint32_t flags);  // 13
using PfnGcxResFree = GcxResult (*)(GcxResource resource);  // 14
using PfnGcxResMap = GcxResult (*)(void** address, uint32_t* pitch, GcxResource resource,
                                   uint32_t flags);  // 15
using PfnGcxResUnmap = GcxResult (*)(GcxResource resource);                              // 16
using PfnGcxCtxCreate = GcxResult (*)(GcxContext* context, GcxDevice device);            // 17
using PfnGcxCtxDestroy = GcxResult (*)(GcxContext context);                              // 18
using PfnGcxCtxGetMem = GcxResult (*)(GcxMemory* memory, GcxContext context, GcxResource resource);  // 19
using PfnGcxCtxReleaseMem = GcxResult (*)(GcxContext context, GcxMemory memory);         // 20
using PfnGcxCtxSetMem = GcxResult (*)(GcxContext context, GcxName name, GcxMemory memory);  // 21
using PfnGcxCtxRunProgram = GcxResult (*)(GcxEvent* event, GcxContext context, GcxFunction function,
                                          const GcxDomain* domain);  // 22
using PfnGcxCtxIsEventDone = GcxResult (*)(GcxContext context, GcxEvent event);          // 23
using PfnGcxCtxFlush = GcxResult (*)(GcxContext context);                                // 24
using PfnGcxMemCopy = GcxResult (*)(GcxEvent* event, GcxContext context, GcxMemory source,
                                    GcxMemory destination, uint32_t flags);  // 25
using PfnGcxImageRead = GcxResult (*)(GcxImage* image, const void* data, uint32_t size);  // 26
using PfnGcxImageFree = GcxResult (*)(GcxImage image);                                   // 27
using PfnGcxModuleLoad = GcxResult (*)(GcxModule* module, GcxContext context, GcxImage image);  // 28
using PfnGcxModuleUnload = GcxResult (*)(GcxContext context, GcxModule module);          // 29
using PfnGcxModuleGetEntry = GcxResult (*)(GcxFunction* function, GcxContext context, GcxModule module,
                                           const char* name);  // 30
using PfnGcxModuleGetName = GcxResult (*)(GcxName* name, GcxContext context, GcxModule module,
                                          const char* symbol);  // 31
using PfnGcxGetErrorString = const char* (*)();                                          // 32
using PfnGcxCtxRunProgramGrid = GcxResult (*)(GcxEvent* event, GcxContext context,
                                              const GcxProgramGrid* grid);  // 33
using PfnGcxModuleGetFuncInfo = GcxResult (*)(void* info, GcxContext context, GcxModule module,
                                              GcxFunction function);  // 34
using PfnGcxCtxRunProgramGridArray = GcxResult (*)(GcxEvent* event, GcxContext context,
                                                   const void* gridArray);  // 35
using PfnGcxExtSupported = GcxResult (*)(uint32_t extension);                            // 36
using PfnGcxExtGetVersion = GcxResult (*)(uint32_t* major, uint32_t* minor, uint32_t extension);  // 37
using PfnGcxExtGetProc = GcxResult (*)(GcxProc* address, uint32_t extension, const char* name);  // 38
// Compiler library, slots 39-49.
using PfnGcxclGetVersion = GcxResult (*)(int32_t* major, int32_t* minor, int32_t* build);  // 39
using PfnGcxclCompile = GcxResult (*)(GcxObject* object, uint32_t language, const char* source,
                                      uint32_t target);  // 40
using PfnGcxclLink = GcxResult (*)(GcxImage* image, const GcxObject* objects, uint32_t count);  // 41
using PfnGcxclFreeObject = GcxResult (*)(GcxObject object);                              // 42
using PfnGcxclFreeImage = GcxResult (*)(GcxImage image);                                 // 43
using PfnGcxclDisassembleImage = void (*)(GcxImage image, GcxLineCallback callback);      // 44
using PfnGcxclAssembleObject = GcxResult (*)(GcxObject* object, uint32_t language, const char* text,
                                             uint32_t target);  // 45
using PfnGcxclDisassembleObject = void (*)(const GcxObject* object, GcxLineCallback callback);  // 46
using PfnGcxclImageGetSize = GcxResult (*)(uint32_t* size, GcxImage image);              // 47
using PfnGcxclImageWrite = GcxResult (*)(void* buffer, uint32_t size, GcxImage image);   // 48
using PfnGcxclGetErrorString = const char* (*)();                                        // 49
// Extension entries, slots 50-52 (fetched with gcxExtGetProc).
using PfnGcxCtxSetSamplerParameter = GcxResult (*)(GcxContext context, GcxName sampler,
                                                   uint32_t parameter, const void* value);  // 50
using PfnGcxResCreate1D = GcxResult (*)(GcxResource* resource, GcxDevice device, void* memory,
                                        uint32_t width, uint32_t format, uint32_t size,
                                        uint32_t flags);  // 51
using PfnGcxResCreate2D = GcxResult (*)(GcxResource* resource, GcxDevice device, void* memory,
                                        uint32_t width, uint32_t height, uint32_t format,
                                        uint32_t size, uint32_t flags);  // 52

// Performance-counter entries, fetched with gcxExtGetProc from extension 0x8005 (private
// counters) or 0x1004 (counters); the dataflow layer binds them for itself, outside the table.
using PfnGcxCtxCreatePrivateCounter = GcxResult (*)(GcxCounter* counter, GcxContext context);
using PfnGcxCtxDestroyCounter = GcxResult (*)(GcxContext context, GcxCounter counter);
using PfnGcxCtxConfigPrivateCounter = GcxResult (*)(GcxContext context, GcxCounter counter, uint32_t block,
                                                    uint32_t slot, uint32_t selector);
using PfnGcxCtxBeginCounter = GcxResult (*)(GcxContext context, GcxCounter counter);
using PfnGcxCtxEndCounter = GcxResult (*)(GcxContext context, GcxCounter counter);
using PfnGcxCtxGetPrivateCounter = GcxResult (*)(void* results, GcxContext context, GcxCounter counter);

// Where a slot's entry comes from.
enum class GcxLibrary : uint8_t { kRuntime, kCompiler, kExtension };

struct GcxSlotName {
  int slot;
  const char* name;
  GcxLibrary library;
  uint32_t extension;  // extension id for slots 50-52, else 0
};

inline constexpr int kGcxRuntimeFirstSlot = 1;
inline constexpr int kGcxRuntimeLastSlot = 38;
inline constexpr int kGcxCompilerFirstSlot = 39;
inline constexpr int kGcxCompilerLastSlot = 49;
inline constexpr int kGcxSlotCount = 52;

// Every entry in slot order (index = slot - 1).
inline constexpr GcxSlotName kGcxSlotNames[kGcxSlotCount] = {
    {1, "gcxInit", GcxLibrary::kRuntime, 0},
    {2, "gcxGetVersion", GcxLibrary::kRuntime, 0},
    {3, "gcxShutdown", GcxLibrary::kRuntime, 0},
    {4, "gcxDeviceGetCount", GcxLibrary::kRuntime, 0},
    {5, "gcxDeviceGetInfo", GcxLibrary::kRuntime, 0},
    {6, "gcxDeviceGetAttribs", GcxLibrary::kRuntime, 0},
    {7, "gcxDeviceGetStatus", GcxLibrary::kRuntime, 0},
    {8, "gcxDeviceOpen", GcxLibrary::kRuntime, 0},
    {9, "gcxDeviceClose", GcxLibrary::kRuntime, 0},
    {10, "gcxResAllocLocal2D", GcxLibrary::kRuntime, 0},
    {11, "gcxResAllocRemote2D", GcxLibrary::kRuntime, 0},
    {12, "gcxResAllocLocal1D", GcxLibrary::kRuntime, 0},
    {13, "gcxResAllocRemote1D", GcxLibrary::kRuntime, 0},
    {14, "gcxResFree", GcxLibrary::kRuntime, 0},
    {15, "gcxResMap", GcxLibrary::kRuntime, 0},
    {16, "gcxResUnmap", GcxLibrary::kRuntime, 0},
    {17, "gcxCtxCreate", GcxLibrary::kRuntime, 0},
    {18, "gcxCtxDestroy", GcxLibrary::kRuntime, 0},
    {19, "gcxCtxGetMem", GcxLibrary::kRuntime, 0},
    {20, "gcxCtxReleaseMem", GcxLibrary::kRuntime, 0},
    {21, "gcxCtxSetMem", GcxLibrary::kRuntime, 0},
    {22, "gcxCtxRunProgram", GcxLibrary::kRuntime, 0},
    {23, "gcxCtxIsEventDone", GcxLibrary::kRuntime, 0},
    {24, "gcxCtxFlush", GcxLibrary::kRuntime, 0},
    {25, "gcxMemCopy", GcxLibrary::kRuntime, 0},
    {26, "gcxImageRead", GcxLibrary::kRuntime, 0},
    {27, "gcxImageFree", GcxLibrary::kRuntime, 0},
    {28, "gcxModuleLoad", GcxLibrary::kRuntime, 0},
    {29, "gcxModuleUnload", GcxLibrary::kRuntime, 0},
    {30, "gcxModuleGetEntry", GcxLibrary::kRuntime, 0},
    {31, "gcxModuleGetName", GcxLibrary::kRuntime, 0},
    {32, "gcxGetErrorString", GcxLibrary::kRuntime, 0},
    {33, "gcxCtxRunProgramGrid", GcxLibrary::kRuntime, 0},
    {34, "gcxModuleGetFuncInfo", GcxLibrary::kRuntime, 0},
    {35, "gcxCtxRunProgramGridArray", GcxLibrary::kRuntime, 0},
    {36, "gcxExtSupported", GcxLibrary::kRuntime, 0},
    {37, "gcxExtGetVersion", GcxLibrary::kRuntime, 0},
    {38, "gcxExtGetProc", GcxLibrary::kRuntime, 0},
    {39, "gcxclGetVersion", GcxLibrary::kCompiler, 0},
    {40, "gcxclCompile", GcxLibrary::kCompiler, 0},
    {41, "gcxclLink", GcxLibrary::kCompiler, 0},
    {42, "gcxclFreeObject", GcxLibrary::kCompiler, 0},
    {43, "gcxclFreeImage", GcxLibrary::kCompiler, 0},
    {44, "gcxclDisassembleImage", GcxLibrary::kCompiler, 0},
    {45, "gcxclAssembleObject", GcxLibrary::kCompiler, 0},
    {46, "gcxclDisassembleObject", GcxLibrary::kCompiler, 0},
    {47, "gcxclImageGetSize", GcxLibrary::kCompiler, 0},
    {48, "gcxclImageWrite", GcxLibrary::kCompiler, 0},
    {49, "gcxclGetErrorString", GcxLibrary::kCompiler, 0},
    {50, "gcxCtxSetSamplerParameter", GcxLibrary::kExtension, GCX_EXT_SAMPLER_PARAM},
    {51, "gcxResCreate1D", GcxLibrary::kExtension, GCX_EXT_RES_CREATE},
    {52, "gcxResCreate2D", GcxLibrary::kExtension, GCX_EXT_RES_CREATE},
};

// The libraries' file names as the system tries them, in order.
inline constexpr const char* kGcxRuntimeCandidates[2] = {"tyvgcxrt.dll", "orxgcxrt.dll"};
inline constexpr const char* kGcxCompilerCandidates[2] = {"tyvgcxcl.dll", "orxgcxcl.dll"};

}  // namespace orx::gcx
