#include "tests/venc/dsp/check/h264_setup.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "venc/dsp/quant_tables.h"

namespace orx::dsp::check {
namespace {

struct H264Tables {
  std::unique_ptr<QuantTableBlock> block = std::make_unique<QuantTableBlock>();
  alignas(128) uint8_t work[kQuantWorkAreaSize + 128];
  H264Tables() {
    QuantTableParams params;
    params.codec = 5;
    CMBCore builder;
    builder.InitQuantTables(params, block.get(), work);
  }
};

QuantTableBlock* Tables() {
  static H264Tables tables;
  return tables.block.get();
}

// Scratch areas handed out to cores that have none; kept for the process's life.
uint8_t* NewScratch() {
  static std::mutex lock;
  static std::vector<std::unique_ptr<uint8_t[]>> areas;
  std::lock_guard<std::mutex> hold(lock);
  areas.push_back(std::make_unique<uint8_t[]>(kQuantWorkAreaSize + 128));
  uintptr_t start = reinterpret_cast<uintptr_t>(areas.back().get());
  return reinterpret_cast<uint8_t*>((start + 127) & ~uintptr_t{127});
}

}  // namespace

void PrepareH264Core(CMBCore& core, int internalQp, int kind) {
  core.quantTables = Tables();
  core.SelectQuantRecord(internalQp, kind);
  if (core.scratch == nullptr) core.scratch = NewScratch();
}

void QuantisedLevels(int16_t* blocks, int count, const int16_t* residuals, int internalQp, int kind,
                     int start) {
  thread_local CMBCore plain;
  PrepareH264Core(plain, internalQp, kind);
  for (int b = 0; b < count; ++b) {
    std::memcpy(blocks + 16 * b, residuals + 16 * b, 32);
    plain.TransformQuant4x4(blocks + 16 * b, start);
  }
}

}  // namespace orx::dsp::check
