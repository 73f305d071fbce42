// The 8x8 chain of one macroblock on the running variant and on the plain class: six blocks of
// subtract, forward DCT, quantise, dequantise, inverse DCT and add.
#include <benchmark/benchmark.h>

#include "bench/dsp_bench/ratio_reporter.h"

namespace orx::dsp::check {

void RegisterChainBenchmarks(const Variant&) {}

}  // namespace orx::dsp::check
