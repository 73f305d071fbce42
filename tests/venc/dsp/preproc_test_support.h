#pragma once
// What the preprocessing-core tests share: the plain class beside every variant the processor
// can run, and 16-byte aligned pictures.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/venc/dsp/check/harness.h"
#include "tests/venc/dsp/model/preproc_models.h"
#include "venc/dsp/preproc_core.h"

namespace orx::dsp::dsptest {

struct NamedPreprocCore {
  std::string name;
  std::unique_ptr<CPreprocCore> core;
  bool plain() const { return name == "plain"; }
};

// The plain class (its pure slots filled with the harness models) and every runnable variant.
inline std::vector<NamedPreprocCore> PlainAndVariantPreprocCores() {
  std::vector<NamedPreprocCore> cores;
  cores.push_back({"plain", model::MakeReferencePreprocCore()});
  for (const check::Variant& v : check::RunnableVariants()) {
    cores.push_back({v.name, std::move(check::MakeVariantCores(v).pp)});
  }
  return cores;
}

inline std::unique_ptr<CPreprocCore> RunningPreprocCore() {
  return std::move(check::MakeVariantCores(check::RunnableVariants().front()).pp);
}

// Bytes whose first byte (`at(0)`) lies on a 16-byte boundary, with room before it.
class AlignedBytes {
 public:
  explicit AlignedBytes(size_t size, uint8_t fill = 0, size_t before = 64)
      : storage_(size + before + 16, fill) {
    const uintptr_t base = reinterpret_cast<uintptr_t>(storage_.data()) + before;
    start_ =
        storage_.data() + ((base + 15) / 16 * 16 - reinterpret_cast<uintptr_t>(storage_.data()));
  }
  uint8_t* at(ptrdiff_t offset) { return start_ + offset; }
  uint8_t& operator[](ptrdiff_t offset) { return start_[offset]; }

 private:
  std::vector<uint8_t> storage_;
  uint8_t* start_;
};

}  // namespace orx::dsp::dsptest
