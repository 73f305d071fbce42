#pragma once
// A general check of one slot (or one motion-compensation kernel) on a few buffers and integer
// arguments, for the motion-compensation and motion-estimation families. Input buffers are
// generated once per trial and shared by the subject and the reference; output buffers (and
// the arguments, which the slot may write through pointers) are copied for each run and must
// match byte for byte, as must the result, unless the scenario compares in its own way.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/venc/dsp/check/harness.h"

namespace orx::dsp::check {

struct CoreBuffer {
  size_t size;
  bool output = false;  // written by the slot: copied before every run and compared
};

struct CoreCall {
  // Set for the first trial of an entry, which generators make their typical case (a whole
  // macroblock of 16 rows): bench/dsp_bench times the first trial.
  bool first = false;
  uint8_t* buffer[6] = {};
  int arg[10] = {};
  int64_t result = 0;
  template <typename T>
  T* as(int i) const {
    return reinterpret_cast<T*>(buffer[i]);
  }
};

struct CoreScenario {
  std::vector<CoreBuffer> buffers;  // each 16-byte aligned, filled with random bytes
  std::function<void(Rng&, CoreCall&)> generate;
  // Runs the slot; `run` on the variant's cores, `reference` (when empty: `run`) on the
  // reference cores or as a scalar model.
  std::function<int64_t(CoreSet&, CoreCall&)> run;
  std::function<int64_t(CoreSet&, CoreCall&)> reference;
  // An own comparison (empty string when the outputs agree); when empty, every output byte,
  // argument and the result must be equal.
  std::function<std::string(const CoreCall& got, const CoreCall& expected)> compare;
  // Describes the generated arguments in failure messages.
  std::function<std::string(const CoreCall& input)> describe;
};

class CoreScenarioTrial : public KernelTrial {
 public:
  explicit CoreScenarioTrial(CoreScenario scenario);
  void Generate(Rng& rng) override;
  void RunSubject(CoreSet& subject) override;
  void RunReference(CoreSet& reference) override;
  std::string Compare() override;

 private:
  void Prepare(CoreCall& call) const;
  CoreScenario scenario_;
  CoreCall input_, subject_, expected_;
  int generated_ = 0;
};

KernelEntry CoreScenarioEntry(Family family, int slot, const char* operation, const char* label,
                              const char* comparison, int trials, CoreScenario scenario);

// Registers every entry (for a file's `const bool kRegistered = RegisterKernels(Entries());`).
bool RegisterKernels(std::vector<KernelEntry> entries);

// Random bytes 0..maximum (a small maximum gives few distinct values and many equal costs).
void FillBytes(Rng& rng, uint8_t* p, size_t n, int maximum = 255);

}  // namespace orx::dsp::check
