#include "tests/venc/dsp/check/harness.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "tests/venc/dsp/model/preproc_models.h"
#include "venc/dsp/core_factories.h"
#include "venc/dsp/cpu_features.h"

namespace orx::dsp::check {
namespace {

constexpr size_t kCanaryBytes = 64;
constexpr uint8_t kCanary = 0xA5;
constexpr uint64_t kDefaultSeed = 0x0D5B5EEDu;

uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

uint64_t SplitMix(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::vector<KernelEntry>& Registry() {
  static std::vector<KernelEntry> entries;
  return entries;
}

}  // namespace

const char* FamilyName(Family family) {
  switch (family) {
    case Family::kMBCore:
      return "CMBCore";
    case Family::kMotionEstimationCore:
      return "CMotionEstimationCore";
    case Family::kPreprocCore:
      return "CPreprocCore";
  }
  return "?";
}

Rng::Rng(uint64_t seed) {
  for (auto& s : state_) s = SplitMix(seed);
}

uint64_t Rng::Next() {
  uint64_t result = Rotl(state_[1] * 5, 7) * 9;
  uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = Rotl(state_[3], 45);
  return result;
}

int Rng::Uniform(int low, int high) {
  uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(high) - low + 1);
  return static_cast<int>(low + static_cast<int64_t>(Next() % span));
}

bool Rng::Chance(int percent) { return Uniform(0, 99) < percent; }

uint64_t HarnessSeed() {
  const char* text = std::getenv("ORX_DSP_SEED");
  if (text == nullptr || *text == '\0') return kDefaultSeed;
  return std::strtoull(text, nullptr, 0);
}

GuardedBuffer::GuardedBuffer(size_t size, size_t alignment, size_t offset) : size_(size) {
  storage_.assign(size + offset + 2 * kCanaryBytes + 2 * alignment, kCanary);
  uintptr_t base = reinterpret_cast<uintptr_t>(storage_.data()) + kCanaryBytes;
  uintptr_t aligned = (base + alignment - 1) / alignment * alignment;
  data_ = reinterpret_cast<uint8_t*>(aligned + offset);
  before_ = static_cast<size_t>(data_ - storage_.data());
  std::memset(data_, 0, size_);
}

bool GuardedBuffer::CanariesIntact() const {
  for (size_t i = 0; i < before_; ++i) {
    if (storage_[i] != kCanary) return false;
  }
  for (size_t i = before_ + size_; i < storage_.size(); ++i) {
    if (storage_[i] != kCanary) return false;
  }
  return true;
}

GuardedBuffer& KernelTrial::NewBuffer(size_t size, size_t alignment, size_t offset) {
  buffers_.push_back(std::make_unique<GuardedBuffer>(size, alignment, offset));
  return *buffers_.back();
}

std::string KernelTrial::DamagedBuffer() const {
  for (size_t i = 0; i < buffers_.size(); ++i) {
    if (!buffers_[i]->CanariesIntact()) return "buffer " + std::to_string(i);
  }
  return {};
}

std::vector<Variant> RunnableVariants() {
  std::vector<Variant> variants = {{"XMM2", kCpuSse2 | kCpuSse2Second | kCpuSse | kCpuMmx}};
  uint32_t detected = DetectCpuFeatures();
  if (detected & kCpuSse3) variants.push_back({"XMM3", detected | kCpuSse2});
  return variants;
}

CoreSet MakeVariantCores(const Variant& variant) {
  CoreSet set;
  CMBCore* mb = nullptr;
  CMotionEstimationCore* me = nullptr;
  CPreprocCore* pp = nullptr;
  CreateMBCore(&mb, variant.features);
  CreateMotionEstimationCore(&me, variant.features);
  CreatePreprocCore(&pp, variant.features);
  set.mb.reset(mb);
  set.me.reset(me);
  set.pp.reset(pp);
  return set;
}

CoreSet MakeReferenceCores() {
  CoreSet set;
  set.mb = std::make_unique<CMBCore>();
  set.me = std::make_unique<CMotionEstimationCore>();
  set.pp = model::MakeReferencePreprocCore();
  return set;
}

void RegisterKernel(KernelEntry entry) { Registry().push_back(std::move(entry)); }

const std::vector<KernelEntry>& RegisteredKernels() { return Registry(); }

std::string RunEntry(const KernelEntry& entry, const Variant& variant, int trials, uint64_t seed) {
  CoreSet subject = MakeVariantCores(variant);
  CoreSet reference = MakeReferenceCores();
  Rng rng(seed ^ (uint64_t(entry.slot) << 32) ^ uint64_t(static_cast<int>(entry.family)) << 48);
  std::unique_ptr<KernelTrial> trial = entry.make();
  for (int i = 0; i < trials; ++i) {
    trial->Generate(rng);
    trial->RunSubject(subject);
    trial->RunReference(reference);
    std::string failure = trial->Compare();
    std::string damaged = trial->DamagedBuffer();
    if (!failure.empty() || !damaged.empty()) {
      std::ostringstream out;
      out << FamilyName(entry.family) << "::" << entry.operation << " on " << variant.name
          << ", trial " << i << ", ORX_DSP_SEED=0x" << std::hex << seed << std::dec << ": ";
      if (!damaged.empty()) out << "canaries overwritten around " << damaged << ". ";
      out << failure;
      return out.str();
    }
  }
  return {};
}

}  // namespace orx::dsp::check
