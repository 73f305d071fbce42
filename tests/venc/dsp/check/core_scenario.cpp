#include "tests/venc/dsp/check/core_scenario.h"

#include <cstring>
#include <sstream>

namespace orx::dsp::check {

CoreScenarioTrial::CoreScenarioTrial(CoreScenario scenario) : scenario_(std::move(scenario)) {
  for (size_t i = 0; i < scenario_.buffers.size(); ++i) {
    const CoreBuffer& spec = scenario_.buffers[i];
    input_.buffer[i] = NewBuffer(spec.size).data();
    if (spec.output) {
      subject_.buffer[i] = NewBuffer(spec.size).data();
      expected_.buffer[i] = NewBuffer(spec.size).data();
    } else {
      subject_.buffer[i] = expected_.buffer[i] = input_.buffer[i];
    }
  }
}

bool RegisterKernels(std::vector<KernelEntry> entries) {
  for (KernelEntry& entry : entries) RegisterKernel(std::move(entry));
  return true;
}

void FillBytes(Rng& rng, uint8_t* p, size_t n, int maximum) {
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(rng.Uniform(0, maximum));
}

void CoreScenarioTrial::Generate(Rng& rng) {
  for (size_t i = 0; i < scenario_.buffers.size(); ++i) {
    FillBytes(rng, input_.buffer[i], scenario_.buffers[i].size);
  }
  std::memset(input_.arg, 0, sizeof input_.arg);
  input_.first = generated_++ == 0;
  scenario_.generate(rng, input_);
}

void CoreScenarioTrial::Prepare(CoreCall& call) const {
  for (size_t i = 0; i < scenario_.buffers.size(); ++i) {
    if (scenario_.buffers[i].output) {
      std::memcpy(call.buffer[i], input_.buffer[i], scenario_.buffers[i].size);
    }
  }
  std::memcpy(call.arg, input_.arg, sizeof call.arg);
}

void CoreScenarioTrial::RunSubject(CoreSet& subject) {
  Prepare(subject_);
  subject_.result = scenario_.run(subject, subject_);
}

void CoreScenarioTrial::RunReference(CoreSet& reference) {
  Prepare(expected_);
  expected_.result = scenario_.reference ? scenario_.reference(reference, expected_)
                                         : scenario_.run(reference, expected_);
}

std::string CoreScenarioTrial::Compare() {
  std::ostringstream out;
  if (scenario_.describe) {
    out << scenario_.describe(input_) << ": ";
  } else {
    out << "arguments";
    for (int a : input_.arg) out << ' ' << a;
    out << ": ";
  }
  if (scenario_.compare) {
    std::string difference = scenario_.compare(subject_, expected_);
    return difference.empty() ? difference : out.str() + difference;
  }
  if (subject_.result != expected_.result) {
    out << "result " << subject_.result << ", expected " << expected_.result;
    return out.str();
  }
  for (size_t a = 0; a < std::size(subject_.arg); ++a) {
    if (subject_.arg[a] != expected_.arg[a]) {
      out << "argument " << a << " became " << subject_.arg[a] << ", expected "
          << expected_.arg[a];
      return out.str();
    }
  }
  for (size_t i = 0; i < scenario_.buffers.size(); ++i) {
    if (!scenario_.buffers[i].output) continue;
    for (size_t b = 0; b < scenario_.buffers[i].size; ++b) {
      if (subject_.buffer[i][b] != expected_.buffer[i][b]) {
        out << "buffer " << i << " byte " << b << ": " << int{subject_.buffer[i][b]}
            << ", expected " << int{expected_.buffer[i][b]};
        return out.str();
      }
    }
  }
  return {};
}

KernelEntry CoreScenarioEntry(Family family, int slot, const char* operation, const char* label,
                              const char* comparison, int trials, CoreScenario scenario) {
  KernelEntry e;
  e.family = family;
  e.slot = slot;
  e.operation = operation;
  e.label = label;
  e.comparison = comparison;
  e.trials = trials;
  e.make = [scenario] { return std::make_unique<CoreScenarioTrial>(scenario); };
  return e;
}

}  // namespace orx::dsp::check
