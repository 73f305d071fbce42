// The 8x8 chain of one macroblock on the running variant and on the plain class: six blocks of
// subtract, forward DCT, quantise, dequantise, inverse DCT and add.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "bench/dsp_bench/ratio_reporter.h"
#include "venc/dsp/mb_core.h"

namespace orx::dsp::check {
namespace {

struct ChainData {
  alignas(16) uint8_t current[384];
  alignas(16) uint8_t prediction[384];
  alignas(16) uint8_t output[384];
  alignas(16) int16_t blocks[6 * 64];
  std::unique_ptr<QuantTableBlock> tables = std::make_unique<QuantTableBlock>();
  alignas(128) uint8_t work[kQuantWorkAreaSize];
};

std::shared_ptr<ChainData> MakeData() {
  auto data = std::make_shared<ChainData>();
  Rng rng(HarnessSeed());
  for (int i = 0; i < 384; ++i) {
    data->prediction[i] = static_cast<uint8_t>(rng.Uniform(0, 255));
    data->current[i] =
        static_cast<uint8_t>(std::clamp(data->prediction[i] + rng.Uniform(-20, 20), 0, 255));
  }
  QuantTableParams params;
  params.codec = 1;
  std::memcpy(params.intraMatrix, kDefaultIntraQuantMatrix, 64);
  std::memset(params.interMatrix, 16, 64);
  CMBCore builder;
  builder.InitQuantTables(params, data->tables.get(), data->work);
  return data;
}

// One macroblock in the block-ordered layout: 16x16 luma (stride 16), then 8 rows of 16
// interleaved chroma bytes.
void Chain(CMBCore& core, ChainData& d) {
  int16_t* b = d.blocks;
  int flags[3];
  flags[0] = core.SubtractBlock(b, d.current, d.prediction, 16, 16, 0) << 1 |
             core.SubtractBlock(b + 64, d.current + 8, d.prediction + 8, 16, 16, 0);
  flags[1] = core.SubtractBlock(b + 128, d.current + 128, d.prediction + 128, 16, 16, 0) << 1 |
             core.SubtractBlock(b + 192, d.current + 136, d.prediction + 136, 16, 16, 0);
  flags[2] = core.SubtractChromaPair(b + 256, d.current + 256, d.prediction + 256, 16, 16, 0);
  for (int i = 0; i < 6; ++i) {
    int16_t* block = b + 64 * i;
    core.ForwardDct(block);
    core.QuantizeInterClip2047(block);
    core.DequantizeInterMpeg2(block);
    core.InverseDct(block);
  }
  core.AddBlockPair(d.output, d.prediction, b, 16, 16, flags[0]);
  core.AddBlockPair(d.output + 128, d.prediction + 128, b + 128, 16, 16, flags[1]);
  core.AddChromaPair(d.output + 256, d.prediction + 256, b + 256, 16, 16, flags[2]);
}

void RegisterChain(const std::string& name, std::shared_ptr<CMBCore> core) {
  auto data = MakeData();
  core->quantTables = data->tables.get();
  core->SelectQuantizer(5, false);
  core->SelectInterDequantizer(5);
  benchmark::RegisterBenchmark(("MacroblockChain/" + name).c_str(),
                               [core, data](benchmark::State& state) {
                                 for (auto _ : state) {
                                   Chain(*core, *data);
                                   benchmark::DoNotOptimize(data->output);
                                 }
                               });
}

}  // namespace

void RegisterChainBenchmarks(const Variant& running) {
  RegisterChain(running.name, std::shared_ptr<CMBCore>(MakeVariantCores(running).mb.release()));
  RegisterChain("reference", std::make_shared<CMBCore>());
}

}  // namespace orx::dsp::check
