// The plain filter kernels: eight Q14 taps of the position's phase over the input frames
// i - 3 .. i + 4; 16-bit input rounds (sum + 8192) >> 14, 8-bit input (samples minus 128) rounds
// (sum + 32) >> 6; both clamp to the 16-bit range.
#include <algorithm>

#include "aenc/resample/resampler.h"

namespace orx::aenc {
namespace {

int16_t Clamp16(int32_t value) {
  return static_cast<int16_t>(std::clamp<int32_t>(value, -32768, 32767));
}

// Output `count` frames of `channels` channels; Sample(frame, channel) reads one input sample
// already centred on zero.
template <int kChannels, int kShift, typename Sample>
void Filter(int16_t* out, const int16_t* table, uint32_t position, uint32_t step, uint32_t count,
            Sample sample) {
  constexpr int32_t kRounding = 1 << (kShift - 1);
  for (uint32_t k = 0; k < count; ++k, position += step) {
    const int32_t frame = static_cast<int32_t>(position >> 16) - 3;
    const int16_t* taps = table + 8 * ((position >> 4) & 0xFFF);
    for (int c = 0; c < kChannels; ++c) {
      int32_t sum = 0;
      for (int j = 0; j < 8; ++j) sum += taps[j] * sample(frame + j, c);
      *out++ = Clamp16((sum + kRounding) >> kShift);
    }
  }
}

}  // namespace

void CResampler::FilterMono8(int16_t* out, const uint8_t* in, uint32_t count) {
  Filter<1, 6>(out, table(), position(), step(), count,
               [in](int32_t f, int) { return int32_t{in[f]} - 128; });
}

void CResampler::FilterStereo8(int16_t* out, const uint8_t* in, uint32_t count) {
  Filter<2, 6>(out, table(), position(), step(), count,
               [in](int32_t f, int c) { return int32_t{in[2 * f + c]} - 128; });
}

void CResampler::FilterMono16(int16_t* out, const int16_t* in, uint32_t count) {
  Filter<1, 14>(out, table(), position(), step(), count,
                [in](int32_t f, int) { return int32_t{in[f]}; });
}

void CResampler::FilterStereo16(int16_t* out, const int16_t* in, uint32_t count) {
  Filter<2, 14>(out, table(), position(), step(), count,
                [in](int32_t f, int c) { return int32_t{in[2 * f + c]}; });
}

}  // namespace orx::aenc
