// The probe's dataflow commands: a script of steps run against whatever runtime the child's
// LD_LIBRARY_PATH names (the stand-in, the recording software runtime, or none), one step per
// argument, fields separated by ':'. Each step prints what it saw as "key=value" lines.
//   init:MODE:WORD      FBAPI_Initialize; init=, lock=
//   open:INDEX          OpenDevice on a new object; open=, type=, row=, context=
//   close               CloseDevice of the last object
//   common:W:H:F:MASK   CDataflow::AllocCommonBuffer; common=, pitch=, cpu=, shared_by= (objects
//                       that bind it), then FreeCommonBuffer; freed=
//   sys:W:H:F / gpu:W:H:F  the last object's AllocSysBuffer / AllocGpuBuffer, then FreeBuffer;
//                       alloc=, pitch=, cpu=, memory=, freed=
//   queue               a program run whose event goes to the last object's event slot
//   hook / callback:ANSWER  install a recording wait hook / a wait callback answering ANSWER
//   wait                WaitForEvent; wait=, hook=MS for each pause, callback_polls=
//   pc                  PCBegin, PCEnd, PCGet; pc=begin/end/get, pc_text=
//   fb:DEV:COUNT:W:H:PX:PY  FBAPI_Alloc; fb=, pitch=, luma=, chroma=, plane=, array=
//   fbcheck             writes every frame through FBAPI_GetBuffer, a GPU program copies frames
//                       0 and COUNT-1 out; fbread=frame:1 when it read what was written
//   fbfree              FBAPI_Free; fbfree=, array=
//   setup / unsetup     InitGpuAcceleration(1) / ShutdownGpuAcceleration; setup=
//   shutdown            FBAPI_Shutdown; shutdown=, lock=
//   mark                forgets the calls recorded so far
//   trace               call=ENTRY ARGS for each call since the mark (pointers as "p")
//   live                live_init=, open_devices=, contexts=, resources=, flag= (binding table)
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/gcx-stand-in/gcx_stand_in_control.h"
#include "venc/common/dataflow_hooks.h"
#include "venc/core/gpu_setup.h"
#include "venc/gpu/dataflow/dataflow_device.h"
#include "venc/gpu/dataflow/fbapi.h"
#include "venc/gpu/dataflow/gcx_binding.h"

namespace orx::test::gpu {
namespace {

using namespace orx::dataflow;
using orx::gcx::standin::GcxStandInState;

GcxStandInState* Runtime() {
  for (const char* name : {"tyvgcxrt.so", "orxgcxrt.so"}) {
    void* library = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) continue;
    auto control = reinterpret_cast<orx::gcx::standin::GcxStandInControlFn>(
        dlsym(library, orx::gcx::standin::kControlEntryName));
    dlclose(library);
    if (control != nullptr) return control();
  }
  return nullptr;
}

std::vector<std::string> Fields(const std::string& step) {
  std::vector<std::string> out;
  std::stringstream in(step);
  std::string field;
  while (std::getline(in, field, ':')) out.push_back(field);
  return out;
}

uint32_t U(const std::vector<std::string>& f, size_t i) {
  return i < f.size() ? static_cast<uint32_t>(std::strtoul(f[i].c_str(), nullptr, 0)) : 0;
}

int g_callbackPolls = 0;
int32_t g_callbackAnswer = 0;
void RecordingHook(uint32_t ms, void*) { std::printf("hook=%u\n", ms); }
int32_t RecordingCallback(DataflowPollFn poll, void* pollContext, uint32_t ms, void*) {
  std::printf("callback_ms=%u\n", ms);
  g_callbackPolls += poll(pollContext) >= 0 ? 1 : 0;
  return g_callbackAnswer;
}

// Copies a format-0 frame buffer into an output of the same size, read through resource 0.
constexpr const char* kCopyProgram =
    "il_ps_2_0\n"
    "dcl_input_position_interp(linear_noperspective) v0.xy__\n"
    "dcl_resource_id(0)_type(2d,unnorm)_fmtx(unorm)_fmty(unorm)_fmtz(unorm)_fmtw(unorm)\n"
    "dcl_output_generic o0\n"
    "sample_resource(0)_sampler(0) r0, v0\n"
    "mov o0, r0\n"
    "ret_dyn\n"
    "end\n";

uint8_t Pattern(int frame, size_t offset) { return static_cast<uint8_t>((offset * 7 + frame * 13 + offset / 977) & 0xff); }

// Runs the copy program over frame buffer i into a system buffer of this object; true when
// every byte of the picture area came out as written.
bool ProgramReads(CDataflow& object, FbapiFrameBuffers& frames, int i) {
  DataflowBuffer source = frames.buffers[i];
  DataflowBuffer out{};
  if (object.UseCommonBuffer(&source) != 0) return false;
  if (object.AllocSysBuffer(&out, source.width, source.height, kDataflowU8x1) != 0) return false;
  gcx::GcxObject compiled = 0;
  gcx::GcxImage image = 0;
  gcx::GcxModule module = 0;
  gcx::GcxFunction function = 0;
  gcx::GcxName input = 0, output = 0;
  bool ok = gcx::gcxclCompile(&compiled, gcx::GCX_LANGUAGE_IL, kCopyProgram, 1) == 0 &&
            gcx::gcxclLink(&image, &compiled, 1) == 0 &&
            gcx::gcxModuleLoad(&module, object.GetContext(), image) == 0 &&
            gcx::gcxModuleGetEntry(&function, object.GetContext(), module, "main") == 0 &&
            gcx::gcxModuleGetName(&input, object.GetContext(), module, "i0") == 0 &&
            gcx::gcxModuleGetName(&output, object.GetContext(), module, "o0") == 0 &&
            gcx::gcxCtxSetMem(object.GetContext(), input, source.memory) == 0 &&
            gcx::gcxCtxSetMem(object.GetContext(), output, out.memory) == 0;
  gcx::GcxDomain domain{0, 0, source.width, source.height};
  ok = ok && gcx::gcxCtxRunProgram(object.GetEventSlot(), object.GetContext(), function, &domain) == 0 &&
       object.WaitForEvent(nullptr) == 0;
  const auto* read = static_cast<const uint8_t*>(out.cpuAddress);
  for (uint32_t y = 0; ok && y < source.height; ++y)
    for (uint32_t x = 0; ok && x < source.width; ++x)
      ok = read[size_t{y} * out.pitch + x] == Pattern(i, size_t{y} * frames.pitch + x);
  if (module != 0) gcx::gcxModuleUnload(object.GetContext(), module);
  gcx::gcxclFreeImage(image);
  gcx::gcxclFreeObject(compiled);
  object.FreeBuffer(&out);
  object.UnuseCommonBuffer(&source);
  return ok;
}

}  // namespace

int RunDataflowScript(int argc, char** argv) {
  std::vector<std::unique_ptr<CDataflow>> objects;
  FbapiFrameBuffers frames{};
  for (int a = 0; a < argc; ++a) {
    const std::vector<std::string> f = Fields(argv[a]);
    const std::string& step = f[0];
    if (step == "init") {
      std::printf("init=%d\n", FBAPI_Initialize(static_cast<int32_t>(U(f, 1)), U(f, 2)));
      std::printf("lock=%d\n", FBAPI_LockExists() ? 1 : 0);
    } else if (step == "open") {
      objects.push_back(std::make_unique<CDataflow>());
      CDataflow& o = *objects.back();
      std::printf("open=%d\n", o.OpenDevice(static_cast<int32_t>(U(f, 1))));
      std::printf("type=%d\nrow=%d\ncontext=%u\n", o.GetDeviceType(), o.GetDeviceRow(), o.GetContext());
      if (o.GetDeviceRow() >= 0 && GetDataflowDevice(o.GetDeviceRow()) != nullptr)
        std::printf("device_handle=%u\n", GetDataflowDevice(o.GetDeviceRow())->deviceHandle);
    } else if (step == "close") {
      std::printf("close=%d\n", objects.back()->CloseDevice());
    } else if (step == "common") {
      DataflowBuffer b{};
      const int r = CDataflow::AllocCommonBuffer(&b, U(f, 1), U(f, 2), U(f, 3), U(f, 4));
      std::printf("common=%d\npitch=%u\ncpu=%d\nresource=%u\n", r, b.pitch, b.cpuAddress != nullptr, b.resource);
      if (r == 0) {
        int shared = 0;
        for (auto& o : objects) {
          DataflowBuffer view = b;
          if (o->UseCommonBuffer(&view) == 0 && view.cpuAddress == b.cpuAddress && view.memory != 0) ++shared;
          o->UnuseCommonBuffer(&view);
        }
        std::printf("shared_by=%d\n", shared);
        std::printf("freed=%d\n", CDataflow::FreeCommonBuffer(&b));
      }
    } else if (step == "sys" || step == "gpu") {
      CDataflow& o = *objects.back();
      DataflowBuffer b{};
      const int r = step == "sys" ? o.AllocSysBuffer(&b, U(f, 1), U(f, 2), U(f, 3))
                                  : o.AllocGpuBuffer(&b, U(f, 1), U(f, 2), U(f, 3));
      std::printf("alloc=%d\npitch=%u\ncpu=%d\nmemory=%d\nerror=%s\n", r, b.pitch, b.cpuAddress != nullptr,
                  b.memory != 0, o.GetErrorText());
      if (r == 0) std::printf("freed=%d\n", o.FreeBuffer(&b));
    } else if (step == "queue") {
      CDataflow& o = *objects.back();
      gcx::GcxDomain domain{0, 0, 1, 1};
      std::printf("queue=%d\n", gcx::gcxCtxRunProgram(o.GetEventSlot(), o.GetContext(), 0, &domain));
    } else if (step == "hook") {
      g_dataflow_wait_hook.store(&RecordingHook);
    } else if (step == "callback") {
      g_callbackAnswer = static_cast<int32_t>(std::strtol(f[1].c_str(), nullptr, 0));
      g_dataflow_wait_callback.store(&RecordingCallback);
    } else if (step == "wait") {
      CDataflow& o = *objects.back();
      const int waited = o.WaitForEvent(nullptr);
      std::printf("wait=%d\nevent_kept=%d\ncallback_polls=%d\n", waited, *o.GetEventSlot() != 0, g_callbackPolls);
    } else if (step == "pc") {
      CDataflow& o = *objects.back();
      char text[256];
      std::strcpy(text, "stale");
      const int begun = o.PCBegin();
      const int ended = o.PCEnd();
      std::printf("pc=%d/%d/", begun, ended);
      const int got = o.PCGet(text, sizeof(text));
      std::printf("%d\npc_text=%s\n", got, text);
    } else if (step == "fb") {
      frames = FbapiFrameBuffers{};
      frames.deviceIndex = static_cast<int32_t>(U(f, 1));
      frames.count = static_cast<int32_t>(U(f, 2));
      frames.width = static_cast<int32_t>(U(f, 3));
      frames.height = static_cast<int32_t>(U(f, 4));
      frames.padX = static_cast<int32_t>(U(f, 5));
      frames.padY = static_cast<int32_t>(U(f, 6));
      const int allocated = FBAPI_Alloc(&frames);
      std::printf("fb=%d\n", allocated);
      std::printf("pitch=%d\nluma=%d\nchroma=%d\nplane=%d\narray=%d\n", frames.pitch, frames.lumaOrigin,
                  frames.chromaOrigin, frames.planeSize, frames.buffers != nullptr);
      if (frames.buffers != nullptr) std::printf("height=%u\nwidth=%u\n", frames.buffers[0].height, frames.buffers[0].width);
      std::printf("past_end=%d\n", FBAPI_GetBuffer(&frames, frames.count) != nullptr);
    } else if (step == "fbcheck") {
      for (int i = 0; i < frames.count; ++i) {
        uint8_t* p = FBAPI_GetBuffer(&frames, i);
        for (int32_t k = 0; k < frames.planeSize; ++k) p[k] = Pattern(i, static_cast<size_t>(k));
      }
      objects.push_back(std::make_unique<CDataflow>());
      CDataflow& o = *objects.back();
      o.OpenDevice(frames.deviceIndex);
      for (int i : {0, frames.count - 1}) std::printf("fbread=%d:%d\n", i, ProgramReads(o, frames, i) ? 1 : 0);
      o.CloseDevice();
    } else if (step == "fbfree") {
      std::printf("fbfree=%d\n", FBAPI_Free(&frames));
      std::printf("array=%d\n", frames.buffers != nullptr);
    } else if (step == "setup") {
      std::printf("setup=%d\n", venc::InitGpuAcceleration(1));
    } else if (step == "unsetup") {
      venc::ShutdownGpuAcceleration();
    } else if (step == "shutdown") {
      std::printf("shutdown=%d\n", FBAPI_Shutdown());
      std::printf("lock=%d\n", FBAPI_LockExists() ? 1 : 0);
    } else if (step == "mark") {
      if (GcxStandInState* s = Runtime()) s->callCount = 0;
    } else if (step == "trace") {
      GcxStandInState* s = Runtime();
      for (uint32_t i = 0; s != nullptr && i < s->callCount && i < uint32_t(orx::gcx::standin::kMaxRecordedCalls); ++i) {
        std::string line = s->calls[i].entry;
        for (uint32_t k = 0; k < s->calls[i].argCount; ++k)
          line += s->calls[i].args[k] > 0xFFFFFFFFull ? " p" : " " + std::to_string(s->calls[i].args[k]);
        std::printf("call=%s\n", line.c_str());
      }
    } else if (step == "live") {
      GcxStandInState* s = Runtime();
      std::printf("flag=%d\n", gcx::GcxEntries().loadedFlag);
      if (s != nullptr)
        std::printf("live_init=%d\nopen_devices=%d\ncontexts=%d\nresources=%d\nmodules=%d\n", s->liveInitialisations,
                    s->openDevices, s->liveContexts, s->liveResources, s->loadedModules);
    } else {
      std::fprintf(stderr, "unknown step %s\n", argv[a]);
      return 2;
    }
  }
  return 0;
}

}  // namespace orx::test::gpu
