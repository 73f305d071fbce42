// A child process for the GPU binding tests: the binding loads its libraries once per process,
// so every load scenario runs here, started by the test without a shell (with LD_LIBRARY_PATH
// naming a stand-in scenario folder, or none). It prints what it saw as "key=value" lines.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/debug_output.h"
#include "tests/support/gcx-stand-in/gcx_stand_in_control.h"
#include "venc/core/gpu_setup.h"
#include "venc/common/profile_file.h"
#include "venc/gpu/dataflow/dataflow_device.h"
#include "venc/gpu/dataflow/gcx_binding.h"

namespace orx::venc {
// Recording stand-ins for the encoder's profiling.
int g_profileOpens = 0;
int g_profileCloses = 0;
void OpenProfileFile() { ++g_profileOpens; }
void CloseProfileFile() { ++g_profileCloses; }
}  // namespace orx::venc

namespace {

using namespace orx::gcx;
using orx::gcx::standin::GcxStandInState;

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

void PrintDebug(void*, std::string_view text) { std::printf("debug=%s\n", Escape(text).c_str()); }

// The stand-in library the binding loaded, reopened without loading anything new.
GcxStandInState* StandIn(bool runtime) {
  const char* names[2] = {runtime ? "tyvgcxrt.so" : "tyvgcxcl.so", runtime ? "orxgcxrt.so" : "orxgcxcl.so"};
  for (const char* name : names) {
    void* library = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) continue;
    auto control = reinterpret_cast<orx::gcx::standin::GcxStandInControlFn>(
        dlsym(library, orx::gcx::standin::kControlEntryName));
    dlclose(library);  // drops only the reference this lookup took
    if (control != nullptr) return control();
  }
  return nullptr;
}

int CountCalls(const GcxStandInState* state, const char* entry) {
  int n = 0;
  if (state == nullptr) return 0;
  for (uint32_t i = 0; i < state->callCount && i < static_cast<uint32_t>(orx::gcx::standin::kMaxRecordedCalls); ++i)
    if (std::strcmp(state->calls[i].entry, entry) == 0) ++n;
  return n;
}

void PrintTable() {
  const GcxEntryTable& table = GcxEntries();
  std::printf("flag=%d\n", table.loadedFlag);
  std::string bound;
  for (int slot = 1; slot <= kGcxSlotCount; ++slot)
    if (table.entries[slot] != nullptr) bound += (bound.empty() ? "" : ",") + std::to_string(slot);
  std::printf("bound=%s\n", bound.c_str());
  GcxStandInState* runtime = StandIn(true);
  std::printf("runtime_loaded=%d\n", runtime != nullptr);
  std::printf("compiler_loaded=%d\n", StandIn(false) != nullptr);
  if (runtime != nullptr) std::printf("live_init=%d\n", runtime->liveInitialisations);
}

int RunInit(int times) {
  for (int i = 0; i < times; ++i) std::printf("init=%d\n", gcxInit());
  PrintTable();
  return 0;
}

int RunDevices() {
  for (int mode : {0, 7, 1, 1}) std::printf("count%d=%d\n", mode, orx::dataflow::CDataflow::GetDeviceCount(mode));
  std::printf("gcxInit_calls=%d\n", CountCalls(StandIn(true), "gcxInit"));
  return 0;
}

// Sentinel arguments: numbers 0x10000 * slot + k + 1, pointers into a per-slot array.
uint64_t g_sentinels[kGcxSlotCount + 1][8];
int g_lines = 0;
void LineSeen(const char*) { ++g_lines; }

uint32_t U(int slot, int k) { return 0x10000u * static_cast<uint32_t>(slot) + static_cast<uint32_t>(k) + 1; }
template <typename T>
T* P(int slot, int k) {
  return reinterpret_cast<T*>(&g_sentinels[slot][k]);
}
uint64_t A(const void* p) { return reinterpret_cast<uintptr_t>(p); }

struct WrapperCall {
  int slot;
  std::function<int64_t(std::vector<uint64_t>& passed)> call;
};

// Every wrapper with distinct sentinel arguments; each call answers its result and the
// arguments it passed, in the tables' order.
std::vector<WrapperCall> Wrappers() {
  using V = std::vector<uint64_t>;
  const GcxDomain* domain = P<GcxDomain>(22, 3);
  return {
      {2, [](V& v) { v = {A(P<int32_t>(2, 0)), A(P<int32_t>(2, 1)), A(P<int32_t>(2, 2))};
                     return gcxGetVersion(P<int32_t>(2, 0), P<int32_t>(2, 1), P<int32_t>(2, 2)); }},
      {3, [](V& v) { v = {}; return gcxShutdown(); }},
      {4, [](V& v) { v = {A(P<uint32_t>(4, 0))}; return gcxDeviceGetCount(P<uint32_t>(4, 0)); }},
      {5, [](V& v) { v = {A(P<GcxDeviceInfo>(5, 0)), U(5, 1)}; return gcxDeviceGetInfo(P<GcxDeviceInfo>(5, 0), U(5, 1)); }},
      {6, [](V& v) { v = {A(P<GcxDeviceAttribs>(6, 0)), U(6, 1)}; return gcxDeviceGetAttribs(P<GcxDeviceAttribs>(6, 0), U(6, 1)); }},
      {7, [](V& v) { v = {A(P<GcxDeviceStatus>(7, 0)), U(7, 1)}; return gcxDeviceGetStatus(P<GcxDeviceStatus>(7, 0), U(7, 1)); }},
      {8, [](V& v) { v = {A(P<uint32_t>(8, 0)), U(8, 1)}; return gcxDeviceOpen(P<uint32_t>(8, 0), U(8, 1)); }},
      {9, [](V& v) { v = {U(9, 0)}; return gcxDeviceClose(U(9, 0)); }},
      {10, [](V& v) { v = {A(P<uint32_t>(10, 0)), U(10, 1), U(10, 2), U(10, 3), U(10, 4), U(10, 5)};
                      return gcxResAllocLocal2D(P<uint32_t>(10, 0), U(10, 1), U(10, 2), U(10, 3), U(10, 4), U(10, 5)); }},
      {11, [](V& v) { v = {A(P<uint32_t>(11, 0)), A(P<uint32_t>(11, 1)), U(11, 2), U(11, 3), U(11, 4), U(11, 5), U(11, 6)};
                      return gcxResAllocRemote2D(P<uint32_t>(11, 0), P<uint32_t>(11, 1), U(11, 2), U(11, 3), U(11, 4), U(11, 5), U(11, 6)); }},
      {12, [](V& v) { v = {A(P<uint32_t>(12, 0)), U(12, 1), U(12, 2), U(12, 3), U(12, 4)};
                      return gcxResAllocLocal1D(P<uint32_t>(12, 0), U(12, 1), U(12, 2), U(12, 3), U(12, 4)); }},
      {13, [](V& v) { v = {A(P<uint32_t>(13, 0)), A(P<uint32_t>(13, 1)), U(13, 2), U(13, 3), U(13, 4), U(13, 5)};
                      return gcxResAllocRemote1D(P<uint32_t>(13, 0), P<uint32_t>(13, 1), U(13, 2), U(13, 3), U(13, 4), U(13, 5)); }},
      {14, [](V& v) { v = {U(14, 0)}; return gcxResFree(U(14, 0)); }},
      {15, [](V& v) { v = {A(P<void*>(15, 0)), A(P<uint32_t>(15, 1)), U(15, 2), U(15, 3)};
                      return gcxResMap(P<void*>(15, 0), P<uint32_t>(15, 1), U(15, 2), U(15, 3)); }},
      {16, [](V& v) { v = {U(16, 0)}; return gcxResUnmap(U(16, 0)); }},
      {17, [](V& v) { v = {A(P<uint32_t>(17, 0)), U(17, 1)}; return gcxCtxCreate(P<uint32_t>(17, 0), U(17, 1)); }},
      {18, [](V& v) { v = {U(18, 0)}; return gcxCtxDestroy(U(18, 0)); }},
      {19, [](V& v) { v = {A(P<uint32_t>(19, 0)), U(19, 1), U(19, 2)}; return gcxCtxGetMem(P<uint32_t>(19, 0), U(19, 1), U(19, 2)); }},
      {20, [](V& v) { v = {U(20, 0), U(20, 1)}; return gcxCtxReleaseMem(U(20, 0), U(20, 1)); }},
      {21, [](V& v) { v = {U(21, 0), U(21, 1), U(21, 2)}; return gcxCtxSetMem(U(21, 0), U(21, 1), U(21, 2)); }},
      {22, [domain](V& v) { v = {A(P<uint32_t>(22, 0)), U(22, 1), U(22, 2), A(domain)};
                            return gcxCtxRunProgram(P<uint32_t>(22, 0), U(22, 1), U(22, 2), domain); }},
      {23, [](V& v) { v = {U(23, 0), U(23, 1)}; return gcxCtxIsEventDone(U(23, 0), U(23, 1)); }},
      {24, [](V& v) { v = {U(24, 0)}; return gcxCtxFlush(U(24, 0)); }},
      {25, [](V& v) { v = {A(P<uint32_t>(25, 0)), U(25, 1), U(25, 2), U(25, 3), U(25, 4)};
                      return gcxMemCopy(P<uint32_t>(25, 0), U(25, 1), U(25, 2), U(25, 3), U(25, 4)); }},
      {26, [](V& v) { v = {A(P<uint32_t>(26, 0)), A(P<void>(26, 1)), U(26, 2)};
                      return gcxImageRead(P<uint32_t>(26, 0), P<void>(26, 1), U(26, 2)); }},
      {27, [](V& v) { v = {U(27, 0)}; return gcxImageFree(U(27, 0)); }},
      {28, [](V& v) { v = {A(P<uint32_t>(28, 0)), U(28, 1), U(28, 2)}; return gcxModuleLoad(P<uint32_t>(28, 0), U(28, 1), U(28, 2)); }},
      {29, [](V& v) { v = {U(29, 0), U(29, 1)}; return gcxModuleUnload(U(29, 0), U(29, 1)); }},
      {30, [](V& v) { v = {A(P<uint32_t>(30, 0)), U(30, 1), U(30, 2), A(P<char>(30, 3))};
                      return gcxModuleGetEntry(P<uint32_t>(30, 0), U(30, 1), U(30, 2), P<char>(30, 3)); }},
      {31, [](V& v) { v = {A(P<uint32_t>(31, 0)), U(31, 1), U(31, 2), A(P<char>(31, 3))};
                      return gcxModuleGetName(P<uint32_t>(31, 0), U(31, 1), U(31, 2), P<char>(31, 3)); }},
      {32, [](V& v) { v = {}; return static_cast<int64_t>(gcxGetErrorString() != nullptr); }},
      {33, [](V& v) { v = {A(P<uint32_t>(33, 0)), U(33, 1), A(P<GcxProgramGrid>(33, 2))};
                      return gcxCtxRunProgramGrid(P<uint32_t>(33, 0), U(33, 1), P<GcxProgramGrid>(33, 2)); }},
      {34, [](V& v) { v = {A(P<void>(34, 0)), U(34, 1), U(34, 2), U(34, 3)};
                      return gcxModuleGetFuncInfo(P<void>(34, 0), U(34, 1), U(34, 2), U(34, 3)); }},
      {35, [](V& v) { v = {A(P<uint32_t>(35, 0)), U(35, 1), A(P<void>(35, 2))};
                      return gcxCtxRunProgramGridArray(P<uint32_t>(35, 0), U(35, 1), P<void>(35, 2)); }},
      {36, [](V& v) { v = {U(36, 0)}; return gcxExtSupported(U(36, 0)); }},
      {37, [](V& v) { v = {A(P<uint32_t>(37, 0)), A(P<uint32_t>(37, 1)), U(37, 2)};
                      return gcxExtGetVersion(P<uint32_t>(37, 0), P<uint32_t>(37, 1), U(37, 2)); }},
      {38, [](V& v) { v = {A(P<GcxProc>(38, 0)), U(38, 1), A(P<char>(38, 2))};
                      return gcxExtGetProc(P<GcxProc>(38, 0), U(38, 1), P<char>(38, 2)); }},
      {39, [](V& v) { v = {A(P<int32_t>(39, 0)), A(P<int32_t>(39, 1)), A(P<int32_t>(39, 2))};
                      return gcxclGetVersion(P<int32_t>(39, 0), P<int32_t>(39, 1), P<int32_t>(39, 2)); }},
      {40, [](V& v) { v = {A(P<uint32_t>(40, 0)), U(40, 1), A(P<char>(40, 2)), U(40, 3)};
                      return gcxclCompile(P<uint32_t>(40, 0), U(40, 1), P<char>(40, 2), U(40, 3)); }},
      {41, [](V& v) { v = {A(P<uint32_t>(41, 0)), A(P<uint32_t>(41, 1)), U(41, 2)};
                      return gcxclLink(P<uint32_t>(41, 0), P<uint32_t>(41, 1), U(41, 2)); }},
      {42, [](V& v) { v = {U(42, 0)}; return gcxclFreeObject(U(42, 0)); }},
      {43, [](V& v) { v = {U(43, 0)}; return gcxclFreeImage(U(43, 0)); }},
      {44, [](V& v) { v = {U(44, 0), A(reinterpret_cast<const void*>(&LineSeen))};
                      gcxclDisassembleImage(U(44, 0), &LineSeen); return int64_t{0}; }},
      {45, [](V& v) { v = {A(P<uint32_t>(45, 0)), U(45, 1), A(P<char>(45, 2)), U(45, 3)};
                      return gcxclAssembleObject(P<uint32_t>(45, 0), U(45, 1), P<char>(45, 2), U(45, 3)); }},
      {46, [](V& v) { v = {A(P<uint32_t>(46, 0)), A(reinterpret_cast<const void*>(&LineSeen))};
                      gcxclDisassembleObject(P<uint32_t>(46, 0), &LineSeen); return int64_t{0}; }},
      {47, [](V& v) { v = {A(P<uint32_t>(47, 0)), U(47, 1)}; return gcxclImageGetSize(P<uint32_t>(47, 0), U(47, 1)); }},
      {48, [](V& v) { v = {A(P<void>(48, 0)), U(48, 1), U(48, 2)}; return gcxclImageWrite(P<void>(48, 0), U(48, 1), U(48, 2)); }},
      {49, [](V& v) { v = {}; return static_cast<int64_t>(gcxclGetErrorString() != nullptr); }},
      {51, [](V& v) { v = {A(P<uint32_t>(51, 0)), U(51, 1), A(P<void>(51, 2)), U(51, 3), U(51, 4), U(51, 5), U(51, 6)};
                      return gcxResCreate1D(P<uint32_t>(51, 0), U(51, 1), P<void>(51, 2), U(51, 3), U(51, 4), U(51, 5), U(51, 6)); }},
      {52, [](V& v) { v = {A(P<uint32_t>(52, 0)), U(52, 1), A(P<void>(52, 2)), U(52, 3), U(52, 4), U(52, 5), U(52, 6), U(52, 7)};
                      return gcxResCreate2D(P<uint32_t>(52, 0), U(52, 1), P<void>(52, 2), U(52, 3), U(52, 4), U(52, 5), U(52, 6), U(52, 7)); }},
  };
}

// Calls every wrapper once. With the stand-in loaded, every entry is first given its own
// result code (100 + slot), so an unchanged result shows; each line tells whether the entry
// saw exactly the arguments passed.
int RunWrappers() {
  std::printf("init=%d\n", gcxInit());
  std::string codes;
  for (int slot = 2; slot <= kGcxSlotCount; ++slot)
    codes += (codes.empty() ? "" : ",") + std::string(kGcxSlotNames[slot - 1].name) + "=" + std::to_string(100 + slot);
  setenv("GCXSTANDIN_FAIL", codes.c_str(), 1);
  GcxStandInState* runtime = StandIn(true);
  GcxStandInState* compiler = StandIn(false);
  if (runtime) runtime->callCount = 0;
  if (compiler) compiler->callCount = 0;
  for (const WrapperCall& w : Wrappers()) {
    std::vector<uint64_t> passed;
    g_lines = 0;
    int64_t result = w.call(passed);
    GcxStandInState* state = w.slot >= kGcxCompilerFirstSlot && w.slot <= kGcxCompilerLastSlot ? compiler : runtime;
    std::string entry = "-";
    bool match = false;
    if (state != nullptr && state->callCount == 1) {
      const auto& c = state->calls[0];
      entry = c.entry;
      match = c.argCount == passed.size() && std::equal(passed.begin(), passed.end(), c.args);
    }
    if (state != nullptr) state->callCount = 0;
    std::printf("slot=%d result=%lld entry=%s args=%d lines=%d\n", w.slot, static_cast<long long>(result),
                entry.c_str(), match ? 1 : 0, g_lines);
  }
  return 0;
}

int RunModuleLoad() {
  std::printf("init=%d\n", gcxInit());
  GcxStandInState* runtime = StandIn(true);
  if (runtime == nullptr) return 2;
  runtime->callCount = 0;
  GcxModule module = 0xDEAD;
  int result = gcxModuleLoad(&module, 0x55, 0x66);
  std::printf("result=%d\nmodule=%u\nmodules=%d\n", result, module, runtime->loadedModules);
  for (uint32_t i = 0; i < runtime->callCount; ++i) {
    const auto& c = runtime->calls[i];
    std::printf("call=%s", c.entry);
    if (std::strcmp(c.entry, "gcxCtxSetSamplerParameter") == 0)  // context, sampler, parameter, value
      std::printf(" %llu %llu %llu %llu", static_cast<unsigned long long>(c.args[0]),
                  static_cast<unsigned long long>(c.args[1]), static_cast<unsigned long long>(c.args[2]),
                  static_cast<unsigned long long>(c.args[4]));
    std::printf("\n");
  }
  return 0;
}

int RunSetup() {
  std::printf("setup1=%d\n", orx::venc::InitGpuAcceleration(1));
  std::printf("again=%d\n", orx::venc::InitGpuAcceleration(3));
  orx::venc::ShutdownGpuAcceleration();
  std::printf("setup2=%d\n", orx::venc::InitGpuAcceleration(1));
  orx::venc::ShutdownGpuAcceleration();
  std::printf("profile=%d/%d\n", orx::venc::g_profileOpens, orx::venc::g_profileCloses);
  if (GcxStandInState* runtime = StandIn(true)) std::printf("live_init=%d\n", runtime->liveInitialisations);
  return 0;
}

}  // namespace

namespace orx::test::gpu {
int RunDataflowScript(int argc, char** argv);
}

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  orx::platform::SetDebugCapture(PrintDebug, nullptr);
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "init") return RunInit(argc > 2 ? std::atoi(argv[2]) : 1);
  if (command == "devices") return RunDevices();
  if (command == "wrappers") return RunWrappers();
  if (command == "module") return RunModuleLoad();
  if (command == "setup") return RunSetup();
  if (command == "dataflow") return orx::test::gpu::RunDataflowScript(argc - 2, argv + 2);
  std::fprintf(stderr, "usage: gpu_probe init [times] | devices | wrappers | module | setup | dataflow STEP...\n");
  return 2;
}
