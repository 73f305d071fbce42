// A child process for the loader tests: it reaches the software runtime only by the bare
// library names the system uses, through LD_LIBRARY_PATH, and prints what it saw as
// "key=value" lines.
//   image  compiles with the compiler library, loads and runs the image with the runtime library
//          (with the recording runtime of tests/support/gcx-soft-testing, also its live counts)
//   probe  the plug-in's capability probe of the GPU
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/gcx/gcx_api.h"
#include "plugin/startup/capability_probe.h"
#include "plugin/startup/gcx_probe.h"
#include "tests/support/gcx-stand-in/gcx_stand_in_control.h"

namespace {

using namespace orx::gcx;

void* g_runtime = nullptr;
void* g_compiler = nullptr;

template <typename Fn>
Fn Entry(void* library, const char* name) {
  return reinterpret_cast<Fn>(dlsym(library, name));
}
#define RT(name) Entry<PfnGcx##name>(g_runtime, "gcx" #name)
#define CL(name) Entry<PfnGcxcl##name>(g_compiler, "gcxcl" #name)

const char* kMemset =
    " il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n dcl_output_generic o0 \n"
    " dcl_literal l0, 0x11223344, 0x55667788, 0x99aabbcc, 0xddeeff00 \n mov o0, l0 \n ret_dyn \n end \n";

int RunImage() {
  g_runtime = dlopen("orxgcxrt.so", RTLD_NOW | RTLD_LOCAL);
  g_compiler = dlopen("orxgcxcl.so", RTLD_NOW | RTLD_LOCAL);
  std::printf("runtime_loaded=%d\ncompiler_loaded=%d\n", g_runtime != nullptr, g_compiler != nullptr);
  if (!g_runtime || !g_compiler) return 2;
  // Each library answers for its own half only.
  std::printf("runtime_has_compile=%d\n", dlsym(g_runtime, "gcxclCompile") != nullptr);
  std::printf("compiler_has_init=%d\n", dlsym(g_compiler, "gcxInit") != nullptr);
  int missing = 0;
  for (const GcxSlotName& slot : kGcxSlotNames) {
    if (slot.library == GcxLibrary::kExtension) continue;
    void* library = slot.library == GcxLibrary::kRuntime ? g_runtime : g_compiler;
    if (dlsym(library, slot.name) == nullptr) ++missing;
  }
  std::printf("missing_entries=%d\n", missing);

  GcxObject object = 0;
  GcxImage image = 0;
  std::printf("compile=%d\n", CL(Compile)(&object, GCX_LANGUAGE_IL, kMemset, 1));
  std::printf("link=%d\n", CL(Link)(&image, &object, 1));
  std::printf("bad_compile=%d\n", CL(Compile)(&object, GCX_LANGUAGE_IL, "TBD", 1));
  std::printf("compile_error=%s\n", CL(GetErrorString)());

  GcxDevice device = 0;
  GcxContext context = 0;
  GcxResource resource = 0;
  GcxMemory memory = 0;
  GcxModule module = 0;
  GcxFunction function = 0;
  GcxName name = 0;
  GcxEvent event = 0;
  void* address = nullptr;
  uint32_t pitch = 0;
  int failures = 0;
  auto step = [&failures](const char* what, GcxResult r) {
    if (r != 0) {
      std::printf("failed=%s %d\n", what, r);
      ++failures;
    }
  };
  step("init", RT(Init)());
  step("open", RT(DeviceOpen)(&device, 0));
  step("context", RT(CtxCreate)(&context, device));
  step("alloc", RT(ResAllocRemote2D)(&resource, &device, 1, 20, 3, 6, 2));
  step("map", RT(ResMap)(&address, &pitch, resource, 0));
  step("unmap", RT(ResUnmap)(resource));
  step("mem", RT(CtxGetMem)(&memory, context, resource));
  step("load", RT(ModuleLoad)(&module, context, image));
  // The image may go at once: the module keeps its program.
  step("free_image", CL(FreeImage)(image));
  step("free_object", CL(FreeObject)(object));
  step("entry", RT(ModuleGetEntry)(&function, context, module, "main"));
  step("name", RT(ModuleGetName)(&name, context, module, "o0"));
  step("set", RT(CtxSetMem)(context, name, memory));
  GcxDomain domain{0, 0, 20, 3};
  step("run", RT(CtxRunProgram)(&event, context, function, &domain));
  // Poll as the GPU layer does: 8 means still running.
  int polls = 0;
  GcxResult done = RT(CtxIsEventDone)(context, event);
  while (done == GCX_RESULT_PENDING && polls < 100) {
    ++polls;
    done = RT(CtxIsEventDone)(context, event);
  }
  step("done", done);
  std::printf("pending_polls=%d\n", polls);
  const uint32_t expected[4] = {0x11223344u, 0x55667788u, 0x99aabbccu, 0xddeeff00u};
  int wrong = 0;
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 20; ++x)
      if (std::memcmp(static_cast<uint8_t*>(address) + (size_t{y} * pitch + x) * 16, expected, 16) != 0) ++wrong;
  std::printf("image_run=%d\n", failures == 0 && wrong == 0);

  GcxProc proc = nullptr;
  step("proc", RT(ExtGetProc)(&proc, GCX_EXT_SAMPLER_PARAM, "gcxCtxSetSamplerParameter"));
  uint32_t one = 1;
  if (proc) step("sampler", reinterpret_cast<PfnGcxCtxSetSamplerParameter>(proc)(context, 1, GCX_SAMPLER_PARAM_FETCH4, &one));
  std::printf("unknown_proc=%d\n", RT(ExtGetProc)(&proc, GCX_EXT_COUNTERS, "gcxCtxBeginCounter") != 0);
  std::printf("image_read=%d\n", RT(ImageRead)(&image, kMemset, 4));
  std::printf("grid_array=%d\n", RT(CtxRunProgramGridArray)(&event, context, nullptr));
  std::printf("runtime_error=%s\n", RT(GetErrorString)());
  int32_t major = 0, minor = 0, build = 0;
  step("version", CL(GetVersion)(&major, &minor, &build));
  std::printf("compiler_version=%d.%d\n", major, minor);
  step("unload", RT(ModuleUnload)(context, module));
  step("release", RT(CtxReleaseMem)(context, memory));
  step("free", RT(ResFree)(resource));
  step("destroy", RT(CtxDestroy)(context));
  step("close", RT(DeviceClose)(device));
  step("shutdown", RT(Shutdown)());
  std::printf("failures=%d\n", failures);
  // The recording runtime also tells its live counts.
  using Control = orx::gcx::standin::GcxStandInControlFn;
  if (auto control = reinterpret_cast<Control>(dlsym(g_runtime, orx::gcx::standin::kControlEntryName))) {
    orx::gcx::standin::GcxStandInState* state = control();
    std::printf("live_init=%d\nlive_modules=%d\nrecorded=%u\n", state->liveInitialisations, state->loadedModules,
                state->callCount);
  }
  return 0;
}

int RunPluginProbe() {
  int devices = orx::plugin::GcxProbeDevices(nullptr);
  orx::plugin::CapabilityRecord record;
  orx::plugin::ProbeGpu(&record, 1);
  orx::plugin::GcxVersion version = orx::plugin::GcxKnownVersion();
  std::printf("probed=%d\ngpus=%u\npresent=%u\nversion=%u.%u\nversion_word=%u\n", devices, record.gpuCount,
              record.gpuPresent, version.major, version.minor, record.gcxVersion);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "image") return RunImage();
  if (command == "probe") return RunPluginProbe();
  std::fprintf(stderr, "usage: gcx_soft_child image | probe\n");
  return 2;
}
