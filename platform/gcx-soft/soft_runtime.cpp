#include "platform/gcx-soft/soft_runtime.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <vector>

#include "platform/gcx-soft/gcx_soft_codes.h"
#include "platform/gcx-soft/il_disassembler.h"
#include "platform/gcx-soft/il_interpreter.h"
#include "platform/gcx-soft/il_program.h"
#include "platform/gcx-soft/texel_format.h"

namespace orx::gcxsoft {
namespace {

thread_local std::string t_runtimeError;
thread_local std::string t_compilerError;

constexpr uint32_t kMaxDimension = 16384;
constexpr uint32_t kMemoryMB = 1024;
// The image bytes: this tag, then the program text.
constexpr char kImageTag[8] = {'O', 'R', 'X', 'G', 'C', 'X', 'S', '1'};

GcxResult Fail(std::string& slot, GcxResult code, std::string text) {
  slot = std::move(text);
  return code;
}

enum class Kind : uint8_t { kDevice, kResource, kContext, kMemory, kModule, kFunction, kName, kObject, kImage };

struct Resource {
  const TexelFormat* format = nullptr;
  uint32_t formatCode = 0;
  uint32_t width = 0, height = 0, pitch = 0;
  bool twoD = true;
  uint8_t* data = nullptr;
  bool owned = false;
  ~Resource() {
    if (owned) std::free(data);
  }
  size_t Bytes() const { return size_t{pitch} * height * format->ElementBytes(); }
  Surface AsSurface() const { return Surface{format, data, width, height, pitch}; }
};

struct Program {
  std::shared_ptr<const IlProgram> program;
  std::string text;
};

struct Module {
  std::shared_ptr<const IlProgram> program;
  gcx::GcxFunction function = 0;
  std::map<std::string, gcx::GcxName> names;
};

// What a name handle stands for: a symbol of a module.
struct Name {
  IlSymbolKind kind;
  uint32_t index;
};

struct Context {
  uint32_t device = 0;
  bool fetch4[2] = {false, false};
  // Bound memory ids by symbol.
  std::map<std::pair<IlSymbolKind, uint32_t>, uint32_t> bound;
};

struct Entry {
  Kind kind;
  uint32_t owner;  // the context (memories, modules) or module (functions, names); 0 = none
  std::shared_ptr<void> object;
};

}  // namespace

uint32_t AlignedPitch(uint32_t width, uint32_t elementBytes) {
  uint64_t pa = kPitchAlign - 1, ba = kAddressAlign - 1;
  uint64_t rowBytes = ((((width + pa) & ~pa) * elementBytes) + ba) & ~ba;
  return static_cast<uint32_t>(rowBytes / elementBytes);
}

const char* RuntimeErrorText() { return t_runtimeError.c_str(); }
const char* CompilerErrorText() { return t_compilerError.c_str(); }

struct SoftCore::Impl {
  std::mutex lock;
  std::unordered_map<uint32_t, Entry> table;
  uint32_t nextId = 1;
  int initCount = 0;
  uint32_t deviceCount = 1;

  uint32_t Add(Kind kind, uint32_t owner, std::shared_ptr<void> object) {
    uint32_t id = nextId++;
    if (nextId == 0) nextId = 1;
    table[id] = Entry{kind, owner, std::move(object)};
    return id;
  }

  // Events hold nothing (every run is done when it returns): an id from the same sequence.
  uint32_t NewEvent() {
    uint32_t id = nextId++;
    if (nextId == 0) nextId = 1;
    return id;
  }

  // The program of a function of a module the context loaded.
  std::shared_ptr<Module> FindFunction(uint32_t function, uint32_t context) {
    auto m = Find<Module>(function, Kind::kFunction);
    if (!m) return nullptr;
    auto owner = table.find(table.at(function).owner);
    return owner != table.end() && owner->second.owner == context ? m : nullptr;
  }

  template <typename T>
  std::shared_ptr<T> Find(uint32_t id, Kind kind, uint32_t owner = 0) {
    auto it = table.find(id);
    if (id == 0 || it == table.end() || it->second.kind != kind) return nullptr;
    if (owner != 0 && it->second.owner != owner) return nullptr;
    return std::static_pointer_cast<T>(it->second.object);
  }

  // Removes an id and everything it owns (a context's memories and modules, a module's
  // functions and names).
  void Remove(uint32_t id) {
    table.erase(id);
    std::vector<uint32_t> owned;
    for (const auto& [key, entry] : table)
      if (entry.owner == id) owned.push_back(key);
    for (uint32_t key : owned) Remove(key);
  }

  GcxResult Invalid(const char* what, uint32_t id) {
    return Fail(t_runtimeError, kGcxSoftInvalidHandle, std::string("invalid ") + what + " handle " + std::to_string(id));
  }

  GcxResult NewResource(gcx::GcxResource* out, uint32_t width, uint32_t height, bool twoD, uint32_t format,
                        void* memory, uint32_t size) {
    const TexelFormat* f = FindTexelFormat(format);
    if (out == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null resource pointer");
    if (f == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "unknown format " + std::to_string(format));
    if (width == 0 || height == 0 || width > kMaxDimension * (twoD ? 1 : 64) || height > kMaxDimension)
      return Fail(t_runtimeError, kGcxSoftInvalidArgument, "size out of range");
    auto r = std::make_shared<Resource>();
    r->format = f;
    r->formatCode = format;
    r->width = width;
    r->height = height;
    r->twoD = twoD;
    r->pitch = twoD ? AlignedPitch(width, f->ElementBytes()) : width;
    if (memory != nullptr) {
      if (size < r->Bytes())
        return Fail(t_runtimeError, kGcxSoftInvalidArgument,
                    "caller memory of " + std::to_string(size) + " bytes is smaller than " + std::to_string(r->Bytes()));
      r->data = static_cast<uint8_t*>(memory);
    } else {
      size_t bytes = (r->Bytes() + kAddressAlign - 1) / kAddressAlign * kAddressAlign;
      r->data = static_cast<uint8_t*>(std::aligned_alloc(kAddressAlign, bytes));
      if (r->data == nullptr) return Fail(t_runtimeError, kGcxSoftOutOfMemory, "out of memory");
      std::memset(r->data, 0, bytes);
      r->owned = true;
    }
    *out = Add(Kind::kResource, 0, std::move(r));
    return 0;
  }

  // The run's bindings, or a refusal when a declared symbol is unbound or does not fit.
  GcxResult Bind(const IlProgram& program, const Context& ctx, RunBindings& b,
                 std::vector<std::shared_ptr<Resource>>& keep) {
    auto bound = [&](IlSymbolKind kind, uint32_t index) -> std::shared_ptr<Resource> {
      auto it = ctx.bound.find({kind, index});
      if (it == ctx.bound.end()) return nullptr;
      auto memory = Find<std::shared_ptr<Resource>>(it->second, Kind::kMemory);
      return memory ? *memory : nullptr;
    };
    auto refuse = [](const std::string& what) {
      return Fail(t_runtimeError, kGcxSoftNotReady, what);
    };
    for (uint32_t n = 0; n < 8; ++n) {
      if (!(program.inputMask & (1u << n))) continue;
      auto r = bound(IlSymbolKind::kInput, n);
      if (!r) return refuse("input i" + std::to_string(n) + " is not bound");
      b.inputs[n] = r->AsSurface();
      keep.push_back(r);
    }
    for (uint32_t n = 0; n < 4; ++n) {
      if (!(program.outputMask & (1u << n))) continue;
      auto r = bound(IlSymbolKind::kOutput, n);
      if (!r) return refuse("output o" + std::to_string(n) + " is not bound");
      b.outputs[n] = r->AsSurface();
      keep.push_back(r);
    }
    if (program.constantCount > 0) {
      auto r = bound(IlSymbolKind::kConstants, 0);
      if (!r) return refuse("cb0 is not bound");
      if (r->Bytes() < size_t{program.constantCount} * 16) return refuse("cb0 is smaller than the program declares");
      b.constants = r->data;
      keep.push_back(r);
    }
    if (program.usesGlobal) {
      auto r = bound(IlSymbolKind::kGlobal, 0);
      if (!r) return refuse("g[] is not bound");
      b.global = r->AsSurface();
      keep.push_back(r);
    }
    b.fetch4[0] = ctx.fetch4[0];
    b.fetch4[1] = ctx.fetch4[1];
    return 0;
  }
};

SoftCore::SoftCore() : impl_(std::make_unique<Impl>()) {}
SoftCore::~SoftCore() = default;

size_t SoftCore::LiveObjects() {
  std::lock_guard<std::mutex> hold(impl_->lock);
  return impl_->table.size();
}

GcxResult SoftCore::Init() {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (impl_->initCount++ == 0) {
    impl_->deviceCount = 1;
    if (const char* text = std::getenv("ORX_GCX_SOFT_DEVICES")) {
      long n = std::strtol(text, nullptr, 10);
      if (n >= 1 && n <= static_cast<long>(kMaxDevices)) impl_->deviceCount = static_cast<uint32_t>(n);
    }
  }
  return 0;
}

GcxResult SoftCore::GetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  if (!major || !minor || !build) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null version pointer");
  *major = kVersionMajor, *minor = kVersionMinor, *build = kVersionBuild;
  return 0;
}

GcxResult SoftCore::Shutdown() {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (impl_->initCount == 0) return Fail(t_runtimeError, kGcxSoftFailed, "gcxShutdown without gcxInit");
  --impl_->initCount;
  return 0;
}

GcxResult SoftCore::DeviceGetCount(uint32_t* count) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (count == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null count pointer");
  if (impl_->initCount == 0) return Fail(t_runtimeError, kGcxSoftFailed, "the runtime is not initialised");
  *count = impl_->deviceCount;
  return 0;
}

GcxResult SoftCore::DeviceGetInfo(gcx::GcxDeviceInfo* info, uint32_t ordinal) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (info == nullptr || ordinal >= impl_->deviceCount)
    return Fail(t_runtimeError, kGcxSoftInvalidArgument, "no device " + std::to_string(ordinal));
  *info = gcx::GcxDeviceInfo{kDeviceTarget, {0, 0, 0}};
  return 0;
}

GcxResult SoftCore::DeviceGetAttribs(gcx::GcxDeviceAttribs* attribs, uint32_t ordinal) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (attribs == nullptr || ordinal >= impl_->deviceCount)
    return Fail(t_runtimeError, kGcxSoftInvalidArgument, "no device " + std::to_string(ordinal));
  uint32_t size = attribs->size;
  if (size < 4 || size > sizeof(gcx::GcxDeviceAttribs))
    return Fail(t_runtimeError, kGcxSoftInvalidArgument, "attribute record size " + std::to_string(size));
  gcx::GcxDeviceAttribs full{};
  full.size = size;
  full.target = kDeviceTarget;
  full.gpuMemMB = kMemoryMB;
  full.uncachedMemMB = kMemoryMB / 2;
  full.cpuMemMB = kMemoryMB / 2;
  full.engineClockMHz = 750;
  full.memoryClockMHz = 900;
  full.wavefrontSize = 64;
  full.simdCount = 10;
  full.doublePrecision = 1;
  full.ldsSize = 32768;
  full.gdsSize = 0;
  full.globalGprs = 0;
  full.computeShader = 1;
  full.memExport = 1;
  full.pitchAlign = kPitchAlign;
  full.addrAlign = kAddressAlign;
  // Never more than the caller's record holds.
  std::memcpy(attribs, &full, size);
  return 0;
}

GcxResult SoftCore::DeviceGetStatus(gcx::GcxDeviceStatus* status, gcx::GcxDevice device) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<uint32_t>(device, Kind::kDevice)) return impl_->Invalid("device", device);
  if (status == nullptr || status->size != sizeof(gcx::GcxDeviceStatus))
    return Fail(t_runtimeError, kGcxSoftInvalidArgument, "status record size must be 16");
  *status = gcx::GcxDeviceStatus{16, kMemoryMB, kMemoryMB / 2, kMemoryMB / 2};
  return 0;
}

GcxResult SoftCore::DeviceOpen(gcx::GcxDevice* device, uint32_t ordinal) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (device == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null device pointer");
  if (impl_->initCount == 0) return Fail(t_runtimeError, kGcxSoftFailed, "the runtime is not initialised");
  if (ordinal >= impl_->deviceCount) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "no device " + std::to_string(ordinal));
  *device = impl_->Add(Kind::kDevice, 0, std::make_shared<uint32_t>(ordinal));
  return 0;
}

GcxResult SoftCore::DeviceClose(gcx::GcxDevice device) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<uint32_t>(device, Kind::kDevice)) return impl_->Invalid("device", device);
  impl_->table.erase(device);
  return 0;
}

GcxResult SoftCore::ResAlloc2D(gcx::GcxResource* resource, const gcx::GcxDevice* devices, uint32_t deviceCount,
                               uint32_t width, uint32_t height, uint32_t format) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (devices == nullptr || deviceCount == 0) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "no device");
  for (uint32_t i = 0; i < deviceCount; ++i)
    if (!impl_->Find<uint32_t>(devices[i], Kind::kDevice)) return impl_->Invalid("device", devices[i]);
  return impl_->NewResource(resource, width, height, true, format, nullptr, 0);
}

GcxResult SoftCore::ResAlloc1D(gcx::GcxResource* resource, const gcx::GcxDevice* devices, uint32_t deviceCount,
                               uint32_t width, uint32_t format) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (devices == nullptr || deviceCount == 0) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "no device");
  for (uint32_t i = 0; i < deviceCount; ++i)
    if (!impl_->Find<uint32_t>(devices[i], Kind::kDevice)) return impl_->Invalid("device", devices[i]);
  return impl_->NewResource(resource, width, 1, false, format, nullptr, 0);
}

GcxResult SoftCore::ResCreate(gcx::GcxResource* resource, gcx::GcxDevice device, void* memory, uint32_t width,
                              uint32_t height, bool twoD, uint32_t format, uint32_t size) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<uint32_t>(device, Kind::kDevice)) return impl_->Invalid("device", device);
  if (memory == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null memory");
  return impl_->NewResource(resource, width, height, twoD, format, memory, size);
}

GcxResult SoftCore::ResFree(gcx::GcxResource resource) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Resource>(resource, Kind::kResource)) return impl_->Invalid("resource", resource);
  // Memory handles that still name the resource keep its storage alive until released.
  impl_->table.erase(resource);
  return 0;
}

GcxResult SoftCore::ResMap(void** address, uint32_t* pitch, gcx::GcxResource resource) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  auto r = impl_->Find<Resource>(resource, Kind::kResource);
  if (!r) return impl_->Invalid("resource", resource);
  if (address == nullptr || pitch == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null pointer");
  // The storage never moves: the address stays good after the unmap, for the resource's life.
  *address = r->data;
  *pitch = r->pitch;
  return 0;
}

GcxResult SoftCore::ResUnmap(gcx::GcxResource resource) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Resource>(resource, Kind::kResource)) return impl_->Invalid("resource", resource);
  return 0;
}

GcxResult SoftCore::CtxCreate(gcx::GcxContext* context, gcx::GcxDevice device) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (context == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null context pointer");
  if (!impl_->Find<uint32_t>(device, Kind::kDevice)) return impl_->Invalid("device", device);
  auto ctx = std::make_shared<Context>();
  ctx->device = device;
  *context = impl_->Add(Kind::kContext, 0, std::move(ctx));
  return 0;
}

GcxResult SoftCore::CtxDestroy(gcx::GcxContext context) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Context>(context, Kind::kContext)) return impl_->Invalid("context", context);
  impl_->Remove(context);
  return 0;
}

GcxResult SoftCore::CtxGetMem(gcx::GcxMemory* memory, gcx::GcxContext context, gcx::GcxResource resource) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (memory == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null memory pointer");
  if (!impl_->Find<Context>(context, Kind::kContext)) return impl_->Invalid("context", context);
  auto r = impl_->Find<Resource>(resource, Kind::kResource);
  if (!r) return impl_->Invalid("resource", resource);
  *memory = impl_->Add(Kind::kMemory, context, std::make_shared<std::shared_ptr<Resource>>(r));
  return 0;
}

GcxResult SoftCore::CtxReleaseMem(gcx::GcxContext context, gcx::GcxMemory memory) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Context>(context, Kind::kContext)) return impl_->Invalid("context", context);
  if (!impl_->Find<std::shared_ptr<Resource>>(memory, Kind::kMemory, context)) return impl_->Invalid("memory", memory);
  impl_->table.erase(memory);
  return 0;
}

GcxResult SoftCore::CtxSetMem(gcx::GcxContext context, gcx::GcxName name, gcx::GcxMemory memory) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  auto ctx = impl_->Find<Context>(context, Kind::kContext);
  if (!ctx) return impl_->Invalid("context", context);
  auto symbol = impl_->Find<Name>(name, Kind::kName);
  if (!symbol) return impl_->Invalid("name", name);
  auto key = std::make_pair(symbol->kind, symbol->index);
  if (memory == 0) {
    ctx->bound.erase(key);
    return 0;
  }
  auto m = impl_->Find<std::shared_ptr<Resource>>(memory, Kind::kMemory, context);
  if (!m) return impl_->Invalid("memory", memory);
  if (symbol->kind != IlSymbolKind::kConstants && symbol->kind != IlSymbolKind::kGlobal && !(*m)->twoD)
    return Fail(t_runtimeError, kGcxSoftInvalidArgument, "inputs and outputs need a 2-D resource");
  ctx->bound[key] = memory;
  return 0;
}

GcxResult SoftCore::CtxSetSamplerParameter(gcx::GcxContext context, gcx::GcxName sampler, uint32_t parameter,
                                           const void* value) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  auto ctx = impl_->Find<Context>(context, Kind::kContext);
  if (!ctx) return impl_->Invalid("context", context);
  if (sampler > 1 || parameter != gcx::GCX_SAMPLER_PARAM_FETCH4 || value == nullptr)
    return Fail(t_runtimeError, kGcxSoftInvalidArgument, "only the fetch-4 parameter of sampler 0 or 1");
  uint32_t word;
  std::memcpy(&word, value, 4);
  ctx->fetch4[sampler] = word != 0;
  return 0;
}

namespace {

struct RunRequest {
  std::shared_ptr<const IlProgram> program;
  RunBindings bindings;
  std::vector<std::shared_ptr<Resource>> keep;  // the storage stays alive during the run
};

}  // namespace

GcxResult SoftCore::CtxRunProgram(gcx::GcxEvent* event, gcx::GcxContext context, gcx::GcxFunction function,
                                  const gcx::GcxDomain* domain) {
  RunRequest run;
  {
    std::lock_guard<std::mutex> hold(impl_->lock);
    auto ctx = impl_->Find<Context>(context, Kind::kContext);
    if (!ctx) return impl_->Invalid("context", context);
    auto fn = impl_->FindFunction(function, context);
    if (!fn) return impl_->Invalid("function", function);
    if (event == nullptr || domain == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null pointer");
    run.program = fn->program;
    if (run.program->shader != IlShader::kPixel)
      return Fail(t_runtimeError, kGcxSoftInvalidArgument, "a compute program runs with gcxCtxRunProgramGrid");
    if (GcxResult r = impl_->Bind(*run.program, *ctx, run.bindings, run.keep)) return r;
    if (domain->width > kMaxDimension || domain->height > kMaxDimension)
      return Fail(t_runtimeError, kGcxSoftNotReady, "the domain is larger than any plane");
    for (uint32_t n = 0; n < 4; ++n) {
      if (!(run.program->outputMask & (1u << n))) continue;
      const Surface& first = run.bindings.outputs[n];
      if (uint64_t{domain->x} + domain->width > first.width || uint64_t{domain->y} + domain->height > first.height)
        return Fail(t_runtimeError, kGcxSoftNotReady, "the domain does not lie inside output o" + std::to_string(n));
      break;
    }
    *event = 0;
  }
  RunShape shape;
  shape.x = domain->x, shape.y = domain->y, shape.width = domain->width, shape.height = domain->height;
  std::string error;
  if (!RunIlProgram(*run.program, run.bindings, shape, error)) return Fail(t_runtimeError, kGcxSoftFailed, error);
  std::lock_guard<std::mutex> hold(impl_->lock);
  *event = impl_->NewEvent();
  return 0;
}

GcxResult SoftCore::CtxRunProgramGrid(gcx::GcxEvent* event, gcx::GcxContext context, const gcx::GcxProgramGrid* grid) {
  RunRequest run;
  RunShape shape;
  {
    std::lock_guard<std::mutex> hold(impl_->lock);
    auto ctx = impl_->Find<Context>(context, Kind::kContext);
    if (!ctx) return impl_->Invalid("context", context);
    if (event == nullptr || grid == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null pointer");
    auto fn = impl_->FindFunction(grid->function, context);
    if (!fn) return impl_->Invalid("function", grid->function);
    run.program = fn->program;
    if (run.program->shader != IlShader::kCompute)
      return Fail(t_runtimeError, kGcxSoftInvalidArgument, "a pixel program runs with gcxCtxRunProgram");
    uint64_t group = uint64_t{grid->groupSizeX} * grid->groupSizeY * grid->groupSizeZ;
    uint64_t groups = uint64_t{grid->gridSizeX} * grid->gridSizeY * grid->gridSizeZ;
    if (group == 0 || groups == 0 || group > 1024 || groups > (uint64_t{1} << 24))
      return Fail(t_runtimeError, kGcxSoftInvalidArgument, "group or grid size out of range");
    shape.threads = group * groups;
    if (GcxResult r = impl_->Bind(*run.program, *ctx, run.bindings, run.keep)) return r;
    *event = 0;
  }
  std::string error;
  if (!RunIlProgram(*run.program, run.bindings, shape, error)) return Fail(t_runtimeError, kGcxSoftFailed, error);
  std::lock_guard<std::mutex> hold(impl_->lock);
  *event = impl_->NewEvent();
  return 0;
}

GcxResult SoftCore::CtxIsEventDone(gcx::GcxContext context, gcx::GcxEvent event) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Context>(context, Kind::kContext)) return impl_->Invalid("context", context);
  // Every run is finished when it returns; an id never handed out is no event.
  if (event == 0 || event >= impl_->nextId) return impl_->Invalid("event", event);
  return 0;
}

GcxResult SoftCore::CtxFlush(gcx::GcxContext context) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Context>(context, Kind::kContext)) return impl_->Invalid("context", context);
  return 0;
}

GcxResult SoftCore::MemCopy(gcx::GcxEvent* event, gcx::GcxContext context, gcx::GcxMemory source,
                            gcx::GcxMemory destination) {
  std::shared_ptr<Resource> from, to;
  {
    std::lock_guard<std::mutex> hold(impl_->lock);
    if (!impl_->Find<Context>(context, Kind::kContext)) return impl_->Invalid("context", context);
    auto s = impl_->Find<std::shared_ptr<Resource>>(source, Kind::kMemory, context);
    auto d = impl_->Find<std::shared_ptr<Resource>>(destination, Kind::kMemory, context);
    if (!s) return impl_->Invalid("memory", source);
    if (!d) return impl_->Invalid("memory", destination);
    if (event == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null event pointer");
    from = *s, to = *d;
    if (from->width != to->width || from->height != to->height || from->formatCode != to->formatCode)
      return Fail(t_runtimeError, kGcxSoftInvalidArgument, "gcxMemCopy needs two memories of one size and format");
  }
  size_t rowBytes = size_t{from->width} * from->format->ElementBytes();
  for (uint32_t y = 0; y < from->height; ++y)
    std::memmove(to->data + size_t{y} * to->pitch * to->format->ElementBytes(),
                 from->data + size_t{y} * from->pitch * from->format->ElementBytes(), rowBytes);
  std::lock_guard<std::mutex> hold(impl_->lock);
  *event = impl_->NewEvent();
  return 0;
}

GcxResult SoftCore::ModuleLoad(gcx::GcxModule* module, gcx::GcxContext context, gcx::GcxImage image) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (module == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null module pointer");
  if (!impl_->Find<Context>(context, Kind::kContext)) return impl_->Invalid("context", context);
  auto img = impl_->Find<Program>(image, Kind::kImage);
  if (!img) return impl_->Invalid("image", image);
  // The module keeps the decoded program: the image may be freed right after.
  auto m = std::make_shared<Module>();
  m->program = img->program;
  *module = impl_->Add(Kind::kModule, context, std::move(m));
  return 0;
}

GcxResult SoftCore::ModuleUnload(gcx::GcxContext context, gcx::GcxModule module) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Context>(context, Kind::kContext)) return impl_->Invalid("context", context);
  if (!impl_->Find<Module>(module, Kind::kModule, context)) return impl_->Invalid("module", module);
  impl_->Remove(module);
  return 0;
}

GcxResult SoftCore::ModuleGetEntry(gcx::GcxFunction* function, gcx::GcxContext context, gcx::GcxModule module,
                                   const char* name) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Context>(context, Kind::kContext)) return impl_->Invalid("context", context);
  auto m = impl_->Find<Module>(module, Kind::kModule, context);
  if (!m) return impl_->Invalid("module", module);
  if (function == nullptr || name == nullptr || std::strcmp(name, "main") != 0)
    return Fail(t_runtimeError, kGcxSoftInvalidArgument, "a module has one entry, \"main\"");
  if (m->function == 0) m->function = impl_->Add(Kind::kFunction, module, m);
  *function = m->function;
  return 0;
}

GcxResult SoftCore::ModuleGetName(gcx::GcxName* name, gcx::GcxContext context, gcx::GcxModule module,
                                  const char* symbol) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Context>(context, Kind::kContext)) return impl_->Invalid("context", context);
  auto m = impl_->Find<Module>(module, Kind::kModule, context);
  if (!m) return impl_->Invalid("module", module);
  if (name == nullptr || symbol == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null pointer");
  const IlProgram& p = *m->program;
  std::string s(symbol);
  std::optional<Name> found;
  if (s.size() == 2 && s[0] == 'i' && s[1] >= '0' && s[1] <= '7' && (p.inputMask & (1u << (s[1] - '0'))))
    found = Name{IlSymbolKind::kInput, static_cast<uint32_t>(s[1] - '0')};
  else if (s.size() == 2 && s[0] == 'o' && s[1] >= '0' && s[1] <= '3' && (p.outputMask & (1u << (s[1] - '0'))))
    found = Name{IlSymbolKind::kOutput, static_cast<uint32_t>(s[1] - '0')};
  else if (s == "cb0" && p.constantCount > 0)
    found = Name{IlSymbolKind::kConstants, 0};
  else if (s == "g[]" && p.usesGlobal)
    found = Name{IlSymbolKind::kGlobal, 0};
  if (!found) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "the program declares no \"" + s + "\"");
  auto it = m->names.find(s);
  if (it == m->names.end()) it = m->names.emplace(s, impl_->Add(Kind::kName, module, std::make_shared<Name>(*found))).first;
  *name = it->second;
  return 0;
}

GcxResult SoftCore::Unsupported(const char* entry) {
  return Fail(t_runtimeError, kGcxSoftUnsupported, std::string(entry) + " is not supported");
}

GcxResult SoftCore::ExtSupported(uint32_t extension) {
  if (extension == gcx::GCX_EXT_SAMPLER_PARAM || extension == gcx::GCX_EXT_RES_CREATE) return 0;
  return Fail(t_runtimeError, kGcxSoftUnsupported, "extension " + std::to_string(extension) + " is not supported");
}

GcxResult SoftCore::ExtGetVersion(uint32_t* major, uint32_t* minor, uint32_t extension) {
  if (GcxResult r = ExtSupported(extension)) return r;
  if (major == nullptr || minor == nullptr) return Fail(t_runtimeError, kGcxSoftInvalidArgument, "null pointer");
  *major = 1, *minor = 0;
  return 0;
}

// Compiler.
GcxResult SoftCore::ClGetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  if (!major || !minor || !build) return Fail(t_compilerError, kGcxSoftInvalidArgument, "null version pointer");
  *major = kVersionMajor, *minor = kVersionMinor, *build = kVersionBuild;
  return 0;
}

GcxResult SoftCore::ClCompile(gcx::GcxObject* object, uint32_t language, const char* source, uint32_t target) {
  if (object == nullptr || source == nullptr) return Fail(t_compilerError, kGcxSoftInvalidArgument, "null pointer");
  if (language != gcx::GCX_LANGUAGE_IL)
    return Fail(t_compilerError, kGcxSoftInvalidArgument, "language " + std::to_string(language) + " is not IL (1)");
  if (target != kDeviceTarget)
    return Fail(t_compilerError, kGcxSoftInvalidArgument, "unknown target " + std::to_string(target));
  auto program = std::make_shared<Program>();
  program->text = source;
  std::string error;
  program->program = CompileIl(program->text, error);
  if (!program->program) return Fail(t_compilerError, kGcxSoftCompileError, error);
  std::lock_guard<std::mutex> hold(impl_->lock);
  *object = impl_->Add(Kind::kObject, 0, std::move(program));
  return 0;
}

GcxResult SoftCore::ClLink(gcx::GcxImage* image, const gcx::GcxObject* objects, uint32_t count) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (image == nullptr || objects == nullptr || count != 1)
    return Fail(t_compilerError, kGcxSoftInvalidArgument, "gcxclLink takes one object");
  auto object = impl_->Find<Program>(objects[0], Kind::kObject);
  if (!object) return Fail(t_compilerError, kGcxSoftInvalidHandle, "invalid object handle " + std::to_string(objects[0]));
  *image = impl_->Add(Kind::kImage, 0, std::make_shared<Program>(*object));
  return 0;
}

GcxResult SoftCore::ClFreeObject(gcx::GcxObject object) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Program>(object, Kind::kObject))
    return Fail(t_compilerError, kGcxSoftInvalidHandle, "invalid object handle " + std::to_string(object));
  impl_->table.erase(object);
  return 0;
}

GcxResult SoftCore::ClFreeImage(gcx::GcxImage image) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  if (!impl_->Find<Program>(image, Kind::kImage))
    return Fail(t_compilerError, kGcxSoftInvalidHandle, "invalid image handle " + std::to_string(image));
  impl_->table.erase(image);
  return 0;
}

void SoftCore::ClDisassembleImage(gcx::GcxImage image, gcx::GcxLineCallback callback) {
  std::shared_ptr<Program> program;
  {
    std::lock_guard<std::mutex> hold(impl_->lock);
    program = impl_->Find<Program>(image, Kind::kImage);
  }
  if (program && callback) DisassembleIl(*program->program, callback);
}

void SoftCore::ClDisassembleObject(const gcx::GcxObject* object, gcx::GcxLineCallback callback) {
  std::shared_ptr<Program> program;
  if (object != nullptr) {
    std::lock_guard<std::mutex> hold(impl_->lock);
    program = impl_->Find<Program>(*object, Kind::kObject);
  }
  if (program && callback) DisassembleIl(*program->program, callback);
}

GcxResult SoftCore::ClImageGetSize(uint32_t* size, gcx::GcxImage image) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  auto program = impl_->Find<Program>(image, Kind::kImage);
  if (!program) return Fail(t_compilerError, kGcxSoftInvalidHandle, "invalid image handle " + std::to_string(image));
  if (size == nullptr) return Fail(t_compilerError, kGcxSoftInvalidArgument, "null size pointer");
  *size = static_cast<uint32_t>(sizeof(kImageTag) + program->text.size());
  return 0;
}

GcxResult SoftCore::ClImageWrite(void* buffer, uint32_t size, gcx::GcxImage image) {
  std::lock_guard<std::mutex> hold(impl_->lock);
  auto program = impl_->Find<Program>(image, Kind::kImage);
  if (!program) return Fail(t_compilerError, kGcxSoftInvalidHandle, "invalid image handle " + std::to_string(image));
  size_t need = sizeof(kImageTag) + program->text.size();
  if (buffer == nullptr || size < need)
    return Fail(t_compilerError, kGcxSoftInvalidArgument, "the buffer needs " + std::to_string(need) + " bytes");
  std::memcpy(buffer, kImageTag, sizeof(kImageTag));
  std::memcpy(static_cast<uint8_t*>(buffer) + sizeof(kImageTag), program->text.data(), program->text.size());
  return 0;
}

}  // namespace orx::gcxsoft
