#pragma once
// Building blocks for checks of CMBCore slots: in-place block trials and prepared quantiser
// tables.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/venc/dsp/check/harness.h"
#include "venc/dsp/quant_tables.h"

namespace orx::dsp::check {

// Random fills of a 64-value block.
void FillUniform(Rng& rng, int16_t* block, int low, int high);
// Mostly zeros with a few non-zero values in [low, high], like quantised levels.
void FillSparse(Rng& rng, int16_t* block, int low, int high);

// A table block built by InitQuantTables, with the parameters that made it.
struct PreparedTables {
  std::string name;
  QuantTableParams params;
  std::shared_ptr<QuantTableBlock> block;
};
// MPEG-1, MPEG-2 with default and with small-weight user matrices, MPEG-4 (both methods),
// VC-1; built once per process.
const std::vector<PreparedTables>& QuantTableSets();

// The quantiser state a trial gives both cores before calling a quantiser slot.
struct QuantState {
  const PreparedTables* tables = nullptr;
  int k = 1;  // index 32 x type + quantiser
  bool intra = true;
  void Apply(CMBCore& core) const;  // points the core at the tables and selects index k
  std::string Describe() const;
};
QuantState RandomQuantState(Rng& rng);

// A check of a slot that works on one 64-value block in place (with optional quantiser
// state): the subject and the reference each start from a copy of the generated input.
class BlockTrial : public KernelTrial {
 public:
  using Generator = std::function<void(Rng&, int16_t*)>;
  using Operation = std::function<void(CMBCore&, int16_t*)>;
  using Reference = std::function<void(CoreSet&, int16_t*)>;

  BlockTrial(Generator generate, Operation operation, Reference reference, int tolerance = 0,
             bool quantised = false);
  void Generate(Rng& rng) override;
  void RunSubject(CoreSet& subject) override;
  void RunReference(CoreSet& reference) override;
  std::string Compare() override;

 private:
  Generator generate_;
  Operation operation_;
  Reference reference_;
  int tolerance_;
  bool quantised_;
  QuantState state_;
  int16_t* input_;
  int16_t* subject_;
  int16_t* expected_;
};

// A general check of a CMBCore slot: a set of buffers and integer arguments that the generator
// fills; the subject and the reference each run on their own copy of every buffer (inputs and
// outputs alike), and every buffer and the result must match byte for byte.
struct BufferSpec {
  size_t size;
  size_t offset = 0;    // from a 16-byte boundary
  bool written = true;  // false: the slot only reads it, so it is copied once per Generate
};
struct MbCall {
  uint8_t* buffer[6] = {};
  int arg[6] = {};
  template <typename T>
  T* as(int i) const {
    return reinterpret_cast<T*>(buffer[i]);
  }
};
struct MbScenario {
  std::vector<BufferSpec> buffers;
  bool quantised = false;  // a random quantiser state is applied to both cores first
  std::function<void(Rng&, MbCall&)> generate;
  std::function<int(CMBCore&, MbCall&)> run;
  // The reference; when empty, `run` on the plain class.
  std::function<int(CoreSet&, MbCall&)> reference;
};

class ScenarioTrial : public KernelTrial {
 public:
  explicit ScenarioTrial(MbScenario scenario);
  void Generate(Rng& rng) override;
  void RunSubject(CoreSet& subject) override;
  void RunReference(CoreSet& reference) override;
  std::string Compare() override;

 private:
  void Prepare(MbCall& call) const;
  MbScenario scenario_;
  MbCall input_, subject_, expected_;
  int subjectResult_ = 0, expectedResult_ = 0;
  QuantState state_;
};

// Registers one scenario entry.
KernelEntry ScenarioEntry(int slot, const char* operation, const char* label,
                          const char* comparison, int trials, MbScenario scenario);

// Describes the first difference of two blocks beyond the tolerance, with the input.
std::string DescribeBlockDifference(const int16_t* input, const int16_t* got,
                                    const int16_t* expected, int count, int tolerance);

}  // namespace orx::dsp::check
