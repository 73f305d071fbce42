#pragma once
// The checking harness of the DSP cores: a registry of kernel checks, each of which runs a
// slot of a variant class and a reference (the plain body where the results are meant to be
// equal, otherwise a scalar model of the variant) on the same seeded random inputs and
// compares them, with canary bytes around every buffer. The test program runs every entry on
// every variant class the processor can execute; bench/dsp_bench times the same entries.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "venc/dsp/mb_core.h"
#include "venc/dsp/motion_estimation_core.h"
#include "venc/dsp/preproc_core.h"

namespace orx::dsp::check {

enum class Family { kMBCore, kMotionEstimationCore, kPreprocCore };
const char* FamilyName(Family family);

// xoshiro-style generator; every run starts from the harness seed.
class Rng {
 public:
  explicit Rng(uint64_t seed);
  uint64_t Next();
  // Uniform in [low, high].
  int Uniform(int low, int high);
  bool Chance(int percent);

 private:
  uint64_t state_[4];
};

// The seed of this run: ORX_DSP_SEED (decimal or 0x-hexadecimal) when set, else a fixed value.
uint64_t HarnessSeed();

// Bytes with canaries before and after; the data starts `offset` bytes past an `alignment`
// boundary, so kernels can be fed odd alignments where their contract allows.
class GuardedBuffer {
 public:
  GuardedBuffer(size_t size, size_t alignment = 16, size_t offset = 0);
  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  template <typename T>
  T* as() {
    return reinterpret_cast<T*>(data_);
  }
  size_t size() const { return size_; }
  bool CanariesIntact() const;

 private:
  std::vector<uint8_t> storage_;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t before_ = 0;
};

// The cores of one variant class, or the reference classes. The preprocessing reference class
// is abstract: the reference set holds it with scalar models in its pure slots.
struct CoreSet {
  std::unique_ptr<CMBCore> mb;
  std::unique_ptr<CMotionEstimationCore> me;
  std::unique_ptr<CPreprocCore> pp;
};

// A variant the harness can run: its name and the feature word its factories receive.
struct Variant {
  const char* name;
  uint32_t features;
};
// XMM2 always; XMM3 when the processor reports SSE3 (with the HTT bit, as the feature word
// requires).
std::vector<Variant> RunnableVariants();
CoreSet MakeVariantCores(const Variant& variant);
CoreSet MakeReferenceCores();

// One check of one slot. Generate fills the inputs (honouring the slot's alignment, count and
// value preconditions); RunSubject calls the slot on the variant's cores and RunReference
// computes the expected outputs; both must be repeatable after one Generate (in-place kernels
// copy their input first), so the benchmark can call them in a loop. Compare answers an empty
// string when the outputs agree within the entry's contract.
class KernelTrial {
 public:
  virtual ~KernelTrial() = default;
  virtual void Generate(Rng& rng) = 0;
  virtual void RunSubject(CoreSet& subject) = 0;
  virtual void RunReference(CoreSet& reference) = 0;
  virtual std::string Compare() = 0;
  // Every buffer made here is checked for intact canaries after each run.
  GuardedBuffer& NewBuffer(size_t size, size_t alignment = 16, size_t offset = 0);
  // The name of the first buffer whose canaries were overwritten, empty when all are intact.
  std::string DamagedBuffer() const;

 private:
  std::vector<std::unique_ptr<GuardedBuffer>> buffers_;
};

struct KernelEntry {
  Family family = Family::kMBCore;
  int slot = 0;
  const char* operation = "";
  const char* label = "";       // tells several entries of one slot apart ("" for one)
  const char* comparison = "";  // "exact", "within 1", or what differs and why
  int trials = 1000;            // trials per variant in the test program
  // The benchmark times RunSubject on the plain class against the variant; false when the
  // plain class has no body for the slot (it then times RunReference).
  bool plainBody = true;
  std::function<std::unique_ptr<KernelTrial>()> make;
};

void RegisterKernel(KernelEntry entry);
const std::vector<KernelEntry>& RegisteredKernels();

// Registers an entry at static initialisation: `static KernelRegistrar r({...});`.
struct KernelRegistrar {
  explicit KernelRegistrar(KernelEntry entry) { RegisterKernel(std::move(entry)); }
};

// Runs `trials` trials of an entry on one variant; answers the first failure (with the seed
// and trial number) or an empty string.
std::string RunEntry(const KernelEntry& entry, const Variant& variant, int trials, uint64_t seed);

// Slot names of each family in slot order, for listing the slots that have no check yet.
const std::vector<const char*>& SlotNames(Family family);

}  // namespace orx::dsp::check
