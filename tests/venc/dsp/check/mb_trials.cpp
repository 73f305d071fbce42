#include "tests/venc/dsp/check/mb_trials.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace orx::dsp::check {

void FillUniform(Rng& rng, int16_t* block, int low, int high) {
  for (int i = 0; i < 64; ++i) block[i] = static_cast<int16_t>(rng.Uniform(low, high));
}

void FillSparse(Rng& rng, int16_t* block, int low, int high) {
  std::memset(block, 0, 64 * sizeof(int16_t));
  int count = rng.Uniform(0, 20);
  for (int i = 0; i < count; ++i) {
    int position = rng.Chance(50) ? rng.Uniform(0, 15) : rng.Uniform(0, 63);
    block[position] = static_cast<int16_t>(rng.Uniform(low, high));
  }
}

namespace {

PreparedTables Build(const std::string& name, int codec, const uint8_t* intra, const uint8_t* inter,
                     bool mpegQuantisation) {
  PreparedTables set;
  set.name = name;
  set.params.codec = codec;
  std::memcpy(set.params.intraMatrix, intra, 64);
  std::memcpy(set.params.interMatrix, inter, 64);
  set.params.mpegQuantisation = mpegQuantisation;
  set.block = std::make_shared<QuantTableBlock>();
  alignas(128) static uint8_t work[kQuantWorkAreaSize];
  CMBCore builder;
  builder.InitQuantTables(set.params, set.block.get(), work);
  return set;
}

}  // namespace

const std::vector<PreparedTables>& QuantTableSets() {
  static const std::vector<PreparedTables> sets = [] {
    uint8_t flat[64], small[64], rising[64];
    for (int i = 0; i < 64; ++i) {
      flat[i] = 16;
      small[i] = static_cast<uint8_t>(1 + (i % 5));  // user weights 1..5: levels beyond 2047
      rising[i] = static_cast<uint8_t>(8 + 3 * (i / 8) + 2 * (i % 8));
    }
    small[0] = 8;
    std::vector<PreparedTables> v;
    v.push_back(Build("MPEG-2 default", 1, kDefaultIntraQuantMatrix, flat, false));
    v.push_back(Build("MPEG-1 default", 0, kDefaultIntraQuantMatrix, flat, false));
    v.push_back(Build("MPEG-2 small weights", 1, small, small, false));
    v.push_back(Build("MPEG-4 MPEG-style", 3, rising, rising, true));
    v.push_back(Build("MPEG-4 H.263-style", 3, flat, flat, false));
    v.push_back(Build("VC-1", 4, flat, flat, false));
    return v;
  }();
  return sets;
}

void QuantState::Apply(CMBCore& core) const {
  core.quantTables = tables->block.get();
  core.quantScaleTypeOffset = k & 32;
  core.SelectQuantizer(k, intra);
  if (intra) {
    core.SelectIntraDequantizer(k);
  } else {
    core.SelectInterDequantizer(k);
  }
}

std::string QuantState::Describe() const {
  std::ostringstream out;
  out << tables->name << ", index " << k << (intra ? ", intra" : ", inter");
  return out.str();
}

QuantState RandomQuantState(Rng& rng) {
  const auto& sets = QuantTableSets();
  QuantState state;
  state.tables = &sets[rng.Uniform(0, static_cast<int>(sets.size()) - 1)];
  state.k = rng.Uniform(1, 31) + (rng.Chance(50) ? 32 : 0);
  state.intra = rng.Chance(50);
  return state;
}

BlockTrial::BlockTrial(Generator generate, Operation operation, Reference reference, int tolerance,
                       bool quantised)
    : generate_(std::move(generate)),
      operation_(std::move(operation)),
      reference_(std::move(reference)),
      tolerance_(tolerance),
      quantised_(quantised) {
  input_ = NewBuffer(128).as<int16_t>();
  subject_ = NewBuffer(128).as<int16_t>();
  expected_ = NewBuffer(128).as<int16_t>();
}

void BlockTrial::Generate(Rng& rng) {
  if (quantised_) state_ = RandomQuantState(rng);
  generate_(rng, input_);
}

void BlockTrial::RunSubject(CoreSet& subject) {
  if (quantised_) state_.Apply(*subject.mb);
  std::memcpy(subject_, input_, 128);
  operation_(*subject.mb, subject_);
}

void BlockTrial::RunReference(CoreSet& reference) {
  if (quantised_) state_.Apply(*reference.mb);
  std::memcpy(expected_, input_, 128);
  reference_(reference, expected_);
}

std::string BlockTrial::Compare() {
  std::string difference = DescribeBlockDifference(input_, subject_, expected_, 64, tolerance_);
  if (!difference.empty() && quantised_) difference = state_.Describe() + ": " + difference;
  return difference;
}

ScenarioTrial::ScenarioTrial(MbScenario scenario) : scenario_(std::move(scenario)) {
  for (size_t i = 0; i < scenario_.buffers.size(); ++i) {
    const BufferSpec& spec = scenario_.buffers[i];
    input_.buffer[i] = NewBuffer(spec.size, 16, spec.offset).data();
    subject_.buffer[i] = NewBuffer(spec.size, 16, spec.offset).data();
    expected_.buffer[i] = NewBuffer(spec.size, 16, spec.offset).data();
  }
}

void ScenarioTrial::Generate(Rng& rng) {
  if (scenario_.quantised) state_ = RandomQuantState(rng);
  for (size_t i = 0; i < scenario_.buffers.size(); ++i) {
    for (size_t b = 0; b < scenario_.buffers[i].size; ++b) {
      input_.buffer[i][b] = static_cast<uint8_t>(rng.Next());
    }
  }
  scenario_.generate(rng, input_);
  for (size_t i = 0; i < scenario_.buffers.size(); ++i) {
    if (scenario_.buffers[i].written) continue;
    std::memcpy(subject_.buffer[i], input_.buffer[i], scenario_.buffers[i].size);
    std::memcpy(expected_.buffer[i], input_.buffer[i], scenario_.buffers[i].size);
  }
}

void ScenarioTrial::Prepare(MbCall& call) const {
  for (size_t i = 0; i < scenario_.buffers.size(); ++i) {
    if (scenario_.buffers[i].written) {
      std::memcpy(call.buffer[i], input_.buffer[i], scenario_.buffers[i].size);
    }
  }
  std::memcpy(call.arg, input_.arg, sizeof call.arg);
}

void ScenarioTrial::RunSubject(CoreSet& subject) {
  if (scenario_.quantised) state_.Apply(*subject.mb);
  Prepare(subject_);
  subjectResult_ = scenario_.run(*subject.mb, subject_);
}

void ScenarioTrial::RunReference(CoreSet& reference) {
  if (scenario_.quantised) state_.Apply(*reference.mb);
  Prepare(expected_);
  expectedResult_ = scenario_.reference ? scenario_.reference(reference, expected_)
                                        : scenario_.run(*reference.mb, expected_);
}

std::string ScenarioTrial::Compare() {
  std::ostringstream out;
  if (scenario_.quantised) out << state_.Describe() << "; ";
  out << "arguments";
  for (int a : input_.arg) out << ' ' << a;
  out << ": ";
  if (subjectResult_ != expectedResult_) {
    out << "result " << subjectResult_ << ", expected " << expectedResult_;
    return out.str();
  }
  for (size_t i = 0; i < scenario_.buffers.size(); ++i) {
    for (size_t b = 0; b < scenario_.buffers[i].size; ++b) {
      if (subject_.buffer[i][b] != expected_.buffer[i][b]) {
        out << "buffer " << i << " byte " << b << ": " << int{subject_.buffer[i][b]}
            << ", expected " << int{expected_.buffer[i][b]};
        if (b % 2 == 1) {
          out << " (16-bit value " << i << "[" << b / 2 << "]: " << subject_.as<int16_t>(i)[b / 2]
              << ", expected " << expected_.as<int16_t>(i)[b / 2] << ")";
        }
        return out.str();
      }
    }
  }
  return {};
}

KernelEntry ScenarioEntry(int slot, const char* operation, const char* label,
                          const char* comparison, int trials, MbScenario scenario) {
  KernelEntry e;
  e.family = Family::kMBCore;
  e.slot = slot;
  e.operation = operation;
  e.label = label;
  e.comparison = comparison;
  e.trials = trials;
  e.make = [scenario] { return std::make_unique<ScenarioTrial>(scenario); };
  return e;
}

std::string DescribeBlockDifference(const int16_t* input, const int16_t* got,
                                    const int16_t* expected, int count, int tolerance) {
  for (int i = 0; i < count; ++i) {
    if (std::abs(got[i] - expected[i]) > tolerance) {
      std::ostringstream out;
      out << "index " << i << ": got " << got[i] << ", expected " << expected[i] << "; input:";
      for (int j = 0; j < count; ++j) out << ' ' << input[j];
      return out.str();
    }
  }
  return {};
}

}  // namespace orx::dsp::check
