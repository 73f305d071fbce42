#include "plugin/export/tengine_calls.h"

#include <atomic>

// The transcode engine joins the engine library in its own step; until it is there, an
// export finds no engine and answers that it could not create one.
#if __has_include("engine/transcode/tengine.h")
#include "engine/transcode/tengine.h"
#define ORX_HAVE_TENGINE 1
#endif

namespace orx::plugin {
namespace {

#ifdef ORX_HAVE_TENGINE
static_assert(std::is_same_v<TengineReleaseFn, QVATengineReleaseFn>);
static_assert(std::is_same_v<TengineWriteFn, QVATengineWriteFn>);

const TengineCalls kEngineLibrary{&QVATengine_Create,
                                  &QVATengine_SetConfig,
                                  &QVATengine_OpenVideoSource,
                                  &QVATengine_OpenAudioSource,
                                  &QVATengine_OpenTarget,
                                  &QVATengine_Control,
                                  &QVATengine_Run,
                                  &QVATengine_DeliverVideo,
                                  &QVATengine_DeliverAudio,
                                  &QVATengine_Flush,
                                  &QVATengine_Wait,
                                  &QVATengine_Release};
#else
QVAStatus NoEngine(QVAHandle* engine) {
  if (engine != nullptr) *engine = nullptr;
  return QVA_ERR_NOCOMPONENT;
}
const TengineCalls kEngineLibrary{&NoEngine, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr,   nullptr, nullptr, nullptr, nullptr, nullptr};
#endif

std::atomic<const TengineCalls*> g_calls{&kEngineLibrary};

}  // namespace

const TengineCalls& Tengine() { return *g_calls.load(); }

void SetTengineCallsForTest(const TengineCalls* calls) {
  g_calls = calls != nullptr ? calls : &kEngineLibrary;
}

}  // namespace orx::plugin
