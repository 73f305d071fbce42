#include "aenc/resample/resampler.h"

#include <algorithm>
#include <cstring>

#include "aenc/resample/resampler_table.h"

namespace orx::aenc {

CResampler::CResampler() {
  // A block that could not be allocated leaves the object without a table: Constructed() is
  // false, the factory hands no such object out, and every operation refuses to run.
  if (tableBlock_.Allocate(kTableBlockBytes)) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(tableBlock_.get());
    table_ = reinterpret_cast<int16_t*>((start + 127) & ~uintptr_t{127});
    BuildResamplerTable(table_, ResamplerFilterFor(44100, 44100));
  }
  Setup(2, 16);
}

void CResampler::Release() { delete this; }

bool CResampler::Setup(uint32_t channels, uint32_t bits) {
  if (!table_) return false;
  if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16)) return false;
  channels_ = channels;
  bits_ = bits;
  position_ = skipFrames_ = heldFrames_ = 0;
  inFrames_ = outFrames_ = remainder_ = pendingCorrection_ = 0;
  inRate_ = outRate_ = 44100;
  step_ = kUnitStep;
  FillSilence(history_, HistoryCapacity());
  return true;
}

bool CResampler::SetRates(uint32_t inRate, uint32_t outRate) {
  if (!table_ || inRate == 0 || outRate == 0) return false;
  if (inRate == inRate_ && outRate == outRate_) return true;
  // The 16.16 step must move (a zero step would never consume input) and stay below 2^31 so
  // that a block's position (at most 2^30 plus one step) never wraps.
  const uint64_t scaledIn = uint64_t{inRate} << 16;
  const uint64_t step = scaledIn / outRate;
  if (step == 0 || step >= (uint64_t{1} << 31)) return false;
  inRate_ = inRate;
  outRate_ = outRate;
  step_ = static_cast<uint32_t>(step);
  remainder_ = static_cast<uint32_t>(scaledIn - step * outRate);
  pendingCorrection_ = outFrames_ = inFrames_ = 0;
  BuildResamplerTable(table_, ResamplerFilterFor(inRate, outRate));
  return true;
}

uint32_t CResampler::StereoToMono(int16_t* samples, uint32_t n) {
  if (!samples) return 0;
  for (uint32_t i = 0; i < n; ++i)
    samples[i] = static_cast<int16_t>((int32_t{samples[2 * i]} + samples[2 * i + 1]) >> 1);
  return n;
}

void CResampler::MonoToStereo(int16_t* samples, uint32_t n) {
  if (!samples) return;
  for (uint32_t i = n; i-- > 0;) samples[2 * i] = samples[2 * i + 1] = samples[i];
}

uint32_t CResampler::OutputFramesFor(uint32_t n) const {
  const uint32_t limit = std::min(n, kMaxBlockInput) << 16;
  // The plain quotient would answer 1 for a limit at or below the position (the division of a
  // negative count truncates towards zero): no frame is reachable there.
  if (limit <= position_) return 0;
  return (limit - position_ - 1) / step_ + 1;
}

void CResampler::FillSilence(uint8_t* frames, uint32_t count) const {
  std::memset(frames, bits_ == 8 ? 128 : 0, count * FrameBytes());
}

void CResampler::RunKernel(int16_t* out, const uint8_t* in, uint32_t count) {
  if (!in) {
    std::memset(out, 0, sizeof(int16_t) * channels_ * count);
    return;
  }
  const int16_t* in16 = reinterpret_cast<const int16_t*>(in);
  if (bits_ == 8) {
    if (channels_ == 1) FilterMono8(out, in, count);
    else FilterStereo8(out, in, count);
  } else {
    if (channels_ == 1) FilterMono16(out, in16, count);
    else FilterStereo16(out, in16, count);
  }
}

// The block's output frames, then the counters. The correction of the truncated step is added
// to the position right after the output frame that completes a second of output, whole: tied
// to output frames rather than to the end of a block, it keeps the output independent of the
// block sizes the caller feeds, and it never waits on a fraction with no room left (a step of
// whole frames would keep its fraction at 65535 and never take a spread-out correction). A
// correction moves the positions after it forward, so the block ends early rather than read
// past the `available` input frames that sized it; `made` is the frames written.
uint32_t CResampler::AdvanceBlock(int16_t* out, const uint8_t* in, uint32_t count,
                                  uint32_t available, uint32_t& made) {
  made = 0;
  while (made < count) {
    const uint32_t run = std::min({count - made, outRate_ - outFrames_, OutputFramesFor(available)});
    if (run == 0) break;
    RunKernel(out + made * channels_, in, run);
    made += run;
    outFrames_ += run;
    position_ += step_ * run;
    if (outFrames_ >= outRate_) {
      pendingCorrection_ += remainder_;
      outFrames_ -= outRate_;
      inFrames_ -= inRate_;
      position_ += pendingCorrection_;
      pendingCorrection_ = 0;
    }
  }
  const uint32_t advance = position_ >> 16;
  inFrames_ += advance;
  position_ &= 0xFFFF;
  return advance;
}

void CResampler::ShiftHistory(const uint8_t* in, uint32_t n) {
  const uint32_t f = FrameBytes();
  if (n >= 3) {
    if (in) std::memmove(history_, in + (n - 3) * f, 3 * f);
    else FillSilence(history_, 3);
    return;
  }
  for (uint32_t i = 0; i < n; ++i) {
    std::memmove(history_, history_ + f, 2 * f);
    if (in) std::memmove(history_ + 2 * f, in + i * f, f);
    else FillSilence(history_ + 2 * f, 1);
  }
}

void CResampler::DropHistoryFrames(uint32_t frames) {
  std::memmove(history_, HistoryFrame(frames), (heldFrames_ + 3) * FrameBytes());
}

void CResampler::SettleAdvance(uint32_t advance) {
  if (advance > heldFrames_) {
    skipFrames_ += advance - heldFrames_;
    advance = heldFrames_;
    heldFrames_ = 0;
  } else {
    heldFrames_ -= advance;
  }
  DropHistoryFrames(advance);
}

uint32_t CResampler::Process(int16_t* out, const void* in, uint32_t* inFrames, uint32_t maxOut) {
  if (!inFrames) return 0;
  if (!table_) {
    *inFrames = 0;
    return 0;
  }
  if (!out) maxOut = 0;
  const uint8_t* input = static_cast<const uint8_t*>(in);
  // The step alone would also call 1:1 a ratio within 1/65536 of it, whose remainder the copy
  // would then never correct.
  if (step_ == kUnitStep && remainder_ == 0) return ProcessUnitRate(out, input, inFrames, maxOut);
  return ProcessOtherRates(out, input, inFrames, maxOut);
}

uint32_t CResampler::ProcessUnitRate(int16_t* out, const uint8_t* in, uint32_t* inFrames,
                                     uint32_t maxOut) {
  // 1. Frames held from other rates go out first; otherwise the input is copied.
  uint32_t n = std::min(heldFrames_, maxOut);
  const bool fromHistory = n > 0;
  const uint8_t* source = in;
  if (fromHistory) {
    source = HistoryFrame(3);
    *inFrames = 0;
  } else {
    n = std::min(*inFrames, maxOut);
    *inFrames = n;
  }
  // 2. The copy, or the 8-bit samples widened to 16 bits.
  const uint32_t samples = n * channels_;
  if (bits_ == 16) {
    if (source) std::memcpy(out, source, samples * sizeof(int16_t));
    else std::memset(out, 0, samples * sizeof(int16_t));
  } else {
    for (uint32_t i = 0; i < samples; ++i)
      out[i] = source ? static_cast<int16_t>((int32_t{source[i]} - 128) * 256) : int16_t{0};
  }
  if (fromHistory) {
    // The held frames leave the history as they go out; h[0..2] keep the last frames before
    // the ones still held.
    heldFrames_ -= n;
    DropHistoryFrames(n);
  } else if (bits_ == 16 && n > 0) {
    if (!source) {
      FillSilence(history_, 3);
    } else {
      const uint32_t f = FrameBytes();
      const uint32_t first = n >= 3 ? n - 3 : 0;
      const uint32_t pick[3] = {first, n >= 3 ? n - 2 : 0, n - 1};
      for (uint32_t i = 0; i < 3; ++i) std::memcpy(HistoryFrame(i), source + pick[i] * f, f);
    }
  }
  return n;
}

// The history holds h[0..2], the three frames before the read position, then the held frames.
// Filter runs over the history start at h[3]; runs straight from the input start at the input
// pointer, which has then always passed at least three frames of this call's input.
uint32_t CResampler::ProcessOtherRates(int16_t* out, const uint8_t* in, uint32_t* inFrames,
                                       uint32_t maxOut) {
  const uint32_t f = FrameBytes();
  const uint32_t capacity = HistoryCapacity();
  const uint32_t available = *inFrames;
  uint32_t rest = available;  // input frames not yet consumed
  uint32_t room = maxOut;
  uint32_t written = 0;
  auto take = [&](uint32_t k) {
    ShiftHistory(in, k);
    rest -= k;
    if (in) in += k * f;
  };
  auto skip = [&] {
    if (skipFrames_ > 0 && rest > 0) {
      const uint32_t k = std::min(skipFrames_, rest);
      take(k);
      skipFrames_ -= k;
    }
  };
  auto fromHistory = [&](uint32_t n, uint32_t available) {
    uint32_t made = 0;
    const uint32_t advance = AdvanceBlock(out, HistoryFrame(3), n, available, made);
    SettleAdvance(advance);
    room -= made;
    written += made;
    out += made * channels_;
  };

  // 1. Output what the held frames allow.
  if (heldFrames_ >= 5) {
    const uint32_t n = std::min(OutputFramesFor(heldFrames_ - 4), room);
    if (n > 0) fromHistory(n, heldFrames_ - 4);
  }
  // 2. Input frames the position has already passed.
  skip();
  // 3. Bridge from the history into the input, then run straight from the input.
  if (room > 0 && rest >= 9 && heldFrames_ + 3 + 8 <= capacity) {
    uint8_t* copy = HistoryFrame(3 + heldFrames_);
    if (in) std::memcpy(copy, in, 8 * f);
    else FillSilence(copy, 8);
    heldFrames_ += 3;
    rest -= 3;
    if (in) in += 3 * f;
    const uint32_t n = std::min(OutputFramesFor(heldFrames_), room);
    if (n == 0) {
      heldFrames_ += 5;
      rest -= 5;
      if (in) in += 5 * f;
    } else {
      fromHistory(n, heldFrames_);
      skip();
      if (heldFrames_ == 0 && room > 0 && rest >= 5) {
        const uint32_t j = std::min(OutputFramesFor(rest - 4), room);
        if (j > 0) {
          uint32_t made = 0;
          const uint32_t advance = AdvanceBlock(out, in, j, rest - 4, made);
          written += made;
          room -= made;
          out += made * channels_;
          uint32_t consumed = advance + 4;
          if (consumed > rest) {
            skipFrames_ = consumed - rest;
            consumed = rest;
          }
          rest -= consumed;
          if (in) {
            in += consumed * f;
            std::memcpy(history_, in - 7 * f, 7 * f);
          } else {
            FillSilence(history_, 7);
          }
          heldFrames_ = 4;
          // A position past the input: the held frames it passed leave the history too.
          if (skipFrames_ > 0) {
            const uint32_t k = std::min(skipFrames_, 4u);
            heldFrames_ -= k;
            skipFrames_ -= k;
            DropHistoryFrames(k);
          }
        }
      }
    }
  }
  // 4. Passed frames again, now that the runs may have passed more.
  if (skipFrames_ > 0) {
    if (rest == 0) {
      *inFrames = available;
      return written;
    }
    skip();
  }
  // 5. A short rest is held for the next call, as far as the history has room; a longer one
  // (the output room ran out) stays unconsumed.
  if (rest >= 1 && rest <= 8) {
    const uint32_t free = capacity > heldFrames_ + 3 ? capacity - heldFrames_ - 3 : 0;
    const uint32_t k = std::min(rest, free);
    if (k > 0) {
      uint8_t* copy = HistoryFrame(3 + heldFrames_);
      if (in) std::memcpy(copy, in, k * f);
      else FillSilence(copy, k);
      heldFrames_ += k;
      rest -= k;
    }
  }
  // 6.
  *inFrames = available - rest;
  return written;
}

}  // namespace orx::aenc
