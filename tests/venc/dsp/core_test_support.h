#pragma once
// What the DSP unit tests share: aligned blocks and the plain class beside every variant the
// processor can run.
#include <memory>
#include <string>
#include <vector>

#include "tests/venc/dsp/check/harness.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp::dsptest {

struct alignas(16) Block {
  int16_t v[64] = {};
};

struct alignas(16) BlockPair {
  int16_t v[128] = {};
};

struct NamedCore {
  std::string name;
  std::unique_ptr<CMBCore> core;
  bool plain() const { return name == "plain"; }
};

inline std::vector<NamedCore> PlainAndVariants() {
  std::vector<NamedCore> cores;
  cores.push_back({"plain", std::make_unique<CMBCore>()});
  for (const check::Variant& v : check::RunnableVariants()) {
    cores.push_back({v.name, std::move(check::MakeVariantCores(v).mb)});
  }
  return cores;
}

inline std::unique_ptr<CMBCore> RunningCore() {
  return std::move(check::MakeVariantCores(check::RunnableVariants().front()).mb);
}

}  // namespace orx::dsp::dsptest
