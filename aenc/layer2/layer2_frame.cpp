// One ISO/IEC 11172-3 Layer II frame: analysis, scalefactors, scfsi, allocation, quantization
// and the bitstream (MPEG-1, or the lower sampling frequencies of ISO/IEC 13818-3 with ID 0).
#include <cmath>
#include <cstdlib>

#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/layer2/layer2_code.h"
#include "aenc/layer2/layer2_tables.h"
#include "aenc/psy/psychoacoustic_model.h"

namespace orx::aenc {

void CMPEGAudioEncoder::EncodeLayer2Frame(int bits) {
  MpegWorkArea& work = *mpegWork.get();
  for (int slot = 0; slot < kLayer2Slots; ++slot) {
    for (int ch = 0; ch < channels; ++ch) {
      float* out = work.subband[ch][slot];
      AnalysisStep(pcmPtr[ch], out, ch);
      pcmPtr[ch] += 32;
      for (int sb = bandwidthSubbands; sb < sblimit; ++sb) out[sb] = 0;
    }
  }
  Layer2ScaleFactors(&work.subband[0][0][0], &work.scalefactor[0][0][0]);
  psyModel->ComputeSmr(work.pcm, &work.scalefactor[0][0][0], smr, HeaderWords());
  Layer2SelectScfsi(&work.scalefactor[0][0][0], &work.scfsi[0][0]);
  int leftover = Layer2Allocate(smr, &work.scfsi[0][0], &work.allocation[0][0], bits);
  Layer2Quantize(&work.scalefactor[0][0][0], &work.subband[0][0][0], &work.allocation[0][0],
                 work.codes);

  uint8_t* buffer = bitstream ? bitstream->GetBuffer() : nullptr;
  if (!buffer) return;  // no output: the frame is dropped, its state has advanced
  frameStart = writePtr = buffer;
  bitsLeft = 8;
  buffer[0] = 0;
  WriteMpegAudioHeader();
  if (crc) PutBits(Layer2Crc16(&work.allocation[0][0], &work.scfsi[0][0]), 16);

  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) PutBits(work.allocation[sb][ch], allocTable->rows[sb].nbal);
  }
  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (work.allocation[sb][ch] != 0) PutBits(work.scfsi[sb][ch], 2);
    }
  }
  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (work.allocation[sb][ch] == 0) continue;
      const uint32_t* s = work.scalefactor[sb][ch];
      switch (work.scfsi[sb][ch]) {
        case 0:
          PutBits(s[0], 6), PutBits(s[1], 6), PutBits(s[2], 6);
          break;
        case 2:
          PutBits(s[0], 6);
          break;
        default:
          PutBits(s[0], 6), PutBits(s[2], 6);
          break;
      }
    }
  }
  const uint32_t* code = work.codes;
  for (int group = 0; group < 12; ++group) {
    for (int sb = 0; sb < sblimit; ++sb) {
      for (int ch = 0; ch < channels; ++ch) {
        uint32_t a = work.allocation[sb][ch];
        if (a == 0) continue;
        const Layer2AllocEntry& entry = allocTable->rows[sb].entries[a];
        if (entry.codewords == 1) {
          PutBits((code[2] * entry.steps + code[1]) * entry.steps + code[0], entry.bits);
        } else {
          for (int s = 0; s < 3; ++s) PutBits(code[s], entry.bits);
        }
        code += 3;
      }
    }
  }
  PutBits(0, leftover);  // the frame fills its nominal size exactly
  bitstream->Commit(static_cast<uint32_t>(((writePtr - frameStart) * 8 - bitsLeft + 15) / 8));
}

void CMPEGAudioEncoder::Layer2ScaleFactors(const float* subband, uint32_t* scalefactor) {
  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      for (int part = 0; part < 3; ++part) {
        float peak = 0;
        for (int t = 12 * part; t < 12 * part + 12; ++t) {
          float magnitude = std::fabs(subband[(ch * kLayer2Slots + t) * kMpegSubbands + sb]);
          if (magnitude > peak) peak = magnitude;
        }
        // The largest index whose scalefactor still covers the peak (B1 falls with the index).
        uint32_t index = 0;
        for (uint32_t step = 32; step >= 1; step /= 2) {
          if (peak <= kScalefactorB1[index + step]) index += step;
        }
        scalefactor[(sb * 2 + ch) * 3 + part] = index;
      }
    }
  }
}

namespace {

// Difference class of two neighbouring scalefactor indices.
int ScfDifferenceClass(int d) {
  if (d <= -3) return 0;
  if (d < 0) return 1;
  if (d == 0) return 2;
  if (d < 3) return 3;
  return 4;
}

// Transmission patterns by the two difference classes (ISO/IEC 11172-3 Table C.4).
constexpr int kScfsiPatterns[5][5] = {
    {123, 122, 122, 133, 123}, {113, 111, 111, 444, 113}, {111, 111, 111, 333, 113},
    {222, 222, 222, 333, 123}, {123, 122, 122, 133, 123}};

}  // namespace

void CMPEGAudioEncoder::Layer2SelectScfsi(uint32_t* scalefactor, uint32_t* scfsi) const {
  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      uint32_t* s = scalefactor + (sb * 2 + ch) * 3;
      int d1 = static_cast<int>(s[0]) - static_cast<int>(s[1]);
      int d2 = static_cast<int>(s[1]) - static_cast<int>(s[2]);
      uint32_t& selection = scfsi[sb * 2 + ch];
      switch (kScfsiPatterns[ScfDifferenceClass(d1)][ScfDifferenceClass(d2)]) {
        case 123: selection = 0; break;
        case 122: selection = 3; s[2] = s[1]; break;
        case 133: selection = 3; s[1] = s[2]; break;
        case 113: selection = 1; s[1] = s[0]; break;
        case 111: selection = 2; s[1] = s[2] = s[0]; break;
        case 222: selection = 2; s[0] = s[2] = s[1]; break;
        case 333: selection = 2; s[0] = s[1] = s[2]; break;
        default:  // 444: the largest scalefactor of the outer two
          selection = 2;
          s[0] = s[1] = s[2] = s[0] < s[2] ? s[0] : s[2];
          break;
      }
    }
  }
}

void CMPEGAudioEncoder::Layer2Quantize(const uint32_t* scalefactor, const float* subband,
                                       const uint32_t* allocation, uint32_t* codes) {
  ForEachQuantizedTriple(*this, scalefactor, subband, allocation,
                         [&codes](const Layer2AllocEntry& entry, float mult, const float* x) {
                           float dPrime = static_cast<float>(kLayer2QuantClasses[entry.quantClass].dPrime);
                           float msb = static_cast<float>(entry.msb);
                           for (int s = 0; s < 3; ++s)
                             *codes++ = Layer2Code(x[s * kMpegSubbands] * mult + dPrime, msb, entry);
                         });
}

}  // namespace orx::aenc
