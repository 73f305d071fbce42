// The software GCX runtime's interpreter against plain C++ loops that compute the same, in the
// same run: the 2x2 scale-down program over a 720x576 plane and a 4x4 SAD program (four-texel
// fetches of two pictures) over CIF. The closing table gives interpreter / plain for each; the
// target is at most 20.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/gcx-soft/soft_runtime.h"

namespace {

using orx::gcxsoft::Core;

const char* kScaledown =
    " il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n"
    " dcl_resource_id(0)_type(2d,unnorm)_fmtx(float)_fmty(float)_fmtz(float)_fmtw(float) \n dcl_output_generic o0 \n"
    " dcl_literal l0, 2.0f, 2.0f, 0, 0 \n trc r1.x, v0.x \n trc r1.y, v0.y \n mul r1.x, r1.x, l0.x \n"
    " mul r1.y, r1.y, l0.y \n sample_resource(0)_sampler(1) r2, r1.xyxx \n"
    " dcl_literal l1, 0.25f, 0.25f, 0.25f, 0.25f \n dp4 o0.x, r2, l1 \n ret_dyn \n end \n";

// The sum of absolute differences of the 4x4 block at (4X, 4Y) of two pictures, in 8-bit units.
const char* kSad4x4 =
    " il_ps_2_0 \n dcl_input_position_interp(linear_noperspective) v0.xy__ \n"
    " dcl_resource_id(0)_type(2d,unnorm)_fmtx(float)_fmty(float)_fmtz(float)_fmtw(float) \n"
    " dcl_resource_id(1)_type(2d,unnorm)_fmtx(float)_fmty(float)_fmtz(float)_fmtw(float) \n dcl_output_generic o0 \n"
    " dcl_literal l0, 4.0f, 4.0f, 255.0f, 0.0f \n dcl_literal l1, 1.0f, 1.0f, 1.0f, 1.0f \n"
    " dcl_literal l2, 0.0f, 0.0f, 2.0f, 0.0f \n dcl_literal l3, 0.0f, 2.0f, 2.0f, 2.0f \n"
    " flr r0.xy, v0.xy \n mul r0.xy, r0.xy, l0.xy \n"
    " add r1.xy, r0.xy, l2.xy \n add r2.xy, r0.xy, l2.zw \n add r3.xy, r0.xy, l3.xy \n add r4.xy, r0.xy, l3.zw \n"
    " sample_resource(0)_sampler(1) r10, r1.xyxx \n sample_resource(1)_sampler(1) r11, r1.xyxx \n"
    " add r12, r10, -r11 \n dp4 r20.x, r12_abs, l1 \n"
    " sample_resource(0)_sampler(1) r10, r2.xyxx \n sample_resource(1)_sampler(1) r11, r2.xyxx \n"
    " add r12, r10, -r11 \n dp4 r20.y, r12_abs, l1 \n"
    " sample_resource(0)_sampler(1) r10, r3.xyxx \n sample_resource(1)_sampler(1) r11, r3.xyxx \n"
    " add r12, r10, -r11 \n dp4 r20.z, r12_abs, l1 \n"
    " sample_resource(0)_sampler(1) r10, r4.xyxx \n sample_resource(1)_sampler(1) r11, r4.xyxx \n"
    " add r12, r10, -r11 \n dp4 r20.w, r12_abs, l1 \n"
    " dp4 r21.x, r20, l1 \n mul o0.x, r21.x, l0.z \n ret_dyn \n end \n";

void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "bench_gcx_soft: %s failed: %s %s\n", what, orx::gcxsoft::RuntimeErrorText(),
                 orx::gcxsoft::CompilerErrorText());
    std::exit(1);
  }
}

struct Plane {
  uint32_t resource = 0, memory = 0, pitch = 0;
  uint8_t* data = nullptr;
};

// One device, one context, the program loaded, its planes bound.
class Setup {
 public:
  explicit Setup(const char* text) {
    Require(Core().Init() == 0, "init");
    Require(Core().DeviceOpen(&device_, 0) == 0, "open");
    Require(Core().CtxCreate(&context_, device_) == 0, "context");
    uint32_t one = 1;
    Require(Core().CtxSetSamplerParameter(context_, 1, 0, &one) == 0, "sampler");
    uint32_t object = 0, image = 0;
    Require(Core().ClCompile(&object, 1, text, orx::gcxsoft::kDeviceTarget) == 0, "compile");
    Require(Core().ClLink(&image, &object, 1) == 0, "link");
    Require(Core().ModuleLoad(&module_, context_, image) == 0, "load");
    Core().ClFreeObject(object);
    Core().ClFreeImage(image);
    Require(Core().ModuleGetEntry(&function_, context_, module_, "main") == 0, "entry");
  }
  Plane Bind(const char* symbol, uint32_t width, uint32_t height, uint32_t format) {
    Plane p;
    void* address = nullptr;
    Require(Core().ResAlloc2D(&p.resource, &device_, 1, width, height, format) == 0, "alloc");
    Require(Core().ResMap(&address, &p.pitch, p.resource) == 0, "map");
    Require(Core().CtxGetMem(&p.memory, context_, p.resource) == 0, "memory");
    uint32_t name = 0;
    Require(Core().ModuleGetName(&name, context_, module_, symbol) == 0, "name");
    Require(Core().CtxSetMem(context_, name, p.memory) == 0, "bind");
    p.data = static_cast<uint8_t*>(address);
    return p;
  }
  void Run(uint32_t width, uint32_t height) {
    orx::gcx::GcxDomain domain{0, 0, width, height};
    uint32_t event = 0;
    Require(Core().CtxRunProgram(&event, context_, function_, &domain) == 0, "run");
  }

 private:
  uint32_t device_ = 0, context_ = 0, module_ = 0, function_ = 0;
};

void FillRandom(const Plane& p, uint32_t width, uint32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) p.data[size_t{y} * p.pitch + x] = static_cast<uint8_t>(random());
}

constexpr uint32_t kSdWidth = 720, kSdHeight = 576;
constexpr uint32_t kCifWidth = 352, kCifHeight = 288;

void BM_Scaledown720x576(benchmark::State& state, bool interpreter) {
  Setup setup(kScaledown);
  Plane in = setup.Bind("i0", kSdWidth, kSdHeight, 0);
  Plane out = setup.Bind("o0", kSdWidth / 2, kSdHeight / 2, 0);
  FillRandom(in, kSdWidth, kSdHeight, 1);
  std::vector<uint8_t> plain(size_t{out.pitch} * kSdHeight / 2);
  for (auto _ : state) {
    if (interpreter) {
      setup.Run(kSdWidth / 2, kSdHeight / 2);
    } else {
      for (uint32_t y = 0; y < kSdHeight / 2; ++y) {
        const uint8_t* a = in.data + size_t{2 * y} * in.pitch;
        const uint8_t* b = a + in.pitch;
        uint8_t* o = plain.data() + size_t{y} * out.pitch;
        for (uint32_t x = 0; x < kSdWidth / 2; ++x)
          o[x] = static_cast<uint8_t>((a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + 2) >> 2);
      }
    }
    benchmark::DoNotOptimize(out.data);
    benchmark::DoNotOptimize(plain.data());
    benchmark::ClobberMemory();
  }
  if (!interpreter) {
    setup.Run(kSdWidth / 2, kSdHeight / 2);
    if (std::memcmp(plain.data(), out.data, plain.size()) != 0) state.SkipWithError("the two results differ");
  }
}

void BM_Sad4x4Cif(benchmark::State& state, bool interpreter) {
  Setup setup(kSad4x4);
  Plane current = setup.Bind("i0", kCifWidth, kCifHeight, 0);
  Plane reference = setup.Bind("i1", kCifWidth, kCifHeight, 0);
  Plane out = setup.Bind("o0", kCifWidth / 4, kCifHeight / 4, 11);
  FillRandom(current, kCifWidth, kCifHeight, 2);
  FillRandom(reference, kCifWidth, kCifHeight, 3);
  std::vector<float> plain(size_t{out.pitch} * kCifHeight / 4);
  for (auto _ : state) {
    if (interpreter) {
      setup.Run(kCifWidth / 4, kCifHeight / 4);
    } else {
      for (uint32_t by = 0; by < kCifHeight / 4; ++by)
        for (uint32_t bx = 0; bx < kCifWidth / 4; ++bx) {
          int sad = 0;
          for (uint32_t y = 0; y < 4; ++y) {
            const uint8_t* c = current.data + size_t{4 * by + y} * current.pitch + 4 * bx;
            const uint8_t* r = reference.data + size_t{4 * by + y} * reference.pitch + 4 * bx;
            for (uint32_t x = 0; x < 4; ++x) sad += std::abs(c[x] - r[x]);
          }
          plain[size_t{by} * out.pitch + bx] = static_cast<float>(sad);
        }
    }
    benchmark::DoNotOptimize(out.data);
    benchmark::DoNotOptimize(plain.data());
    benchmark::ClobberMemory();
  }
  if (!interpreter) {
    setup.Run(kCifWidth / 4, kCifHeight / 4);
    const float* got = reinterpret_cast<const float*>(out.data);
    for (uint32_t by = 0; by < kCifHeight / 4; ++by)
      for (uint32_t bx = 0; bx < kCifWidth / 4; ++bx)
        if (std::abs(got[size_t{by} * out.pitch + bx] - plain[size_t{by} * out.pitch + bx]) > 0.01f)
          state.SkipWithError("the two results differ");
  }
}

BENCHMARK_CAPTURE(BM_Scaledown720x576, interpreter, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Scaledown720x576, plain, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Sad4x4Cif, interpreter, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Sad4x4Cif, plain, false)->Unit(benchmark::kMicrosecond);

// Console output plus the closing table of interpreter / plain.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) nanoseconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  void PrintRatios() const {
    std::printf("\n%-22s %14s %14s %8s\n", "program", "interpreter", "plain", "ratio");
    for (const char* name : {"BM_Scaledown720x576", "BM_Sad4x4Cif"}) {
      auto i = nanoseconds_.find(std::string(name) + "/interpreter");
      auto p = nanoseconds_.find(std::string(name) + "/plain");
      if (i == nanoseconds_.end() || p == nanoseconds_.end()) continue;
      std::printf("%-22s %14.1f %14.1f %8.2f  (target at most 20)\n", name, i->second, p->second, i->second / p->second);
    }
  }

 private:
  std::map<std::string, double> nanoseconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
