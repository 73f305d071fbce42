// The AAC bit stream writers: the ADTS header, the raw data block with its single or paired
// channel element, section, scalefactor and spectral data, the fill elements and END.
#include <algorithm>

#include "aenc/aac/aac_codebook_choice.h"
#include "aenc/aac/aac_state.h"
#include "aenc/aac/aac_tables.h"
#include "aenc/core/mpeg_audio_encoder.h"

namespace orx::aenc {
namespace {

enum ElementId : uint32_t { kSce = 0, kCpe = 1, kFil = 6, kEnd = 7 };
constexpr int kLongestRun = 31;

}  // namespace

void CMPEGAudioEncoder::WriteAdtsHeader(int frameBytesOut) {
  PutBits(0xFFF, 12);  // syncword
  PutBits(0, 1);       // MPEG-4
  PutBits(0, 2);       // layer
  PutBits(1, 1);       // no CRC
  PutBits(1, 2);       // profile: low complexity
  PutBits(static_cast<uint32_t>(samplingIndex), 4);
  PutBits(0, 1);  // private bit
  PutBits(static_cast<uint32_t>(channels), 3);
  PutBits(0, 4);  // original/copy, home, copyright identification bit and start
  PutBits(static_cast<uint32_t>(frameBytesOut), 13);
  const int fullness = std::min(std::max(aacState->reservoir / 4, 0), 2047);
  PutBits(static_cast<uint32_t>(fullness), 11);
  PutBits(0, 2);  // one raw data block
}

void CMPEGAudioEncoder::WriteAacRawDataBlock(int frameBytesOut) {
  if (adts) WriteAdtsHeader(frameBytesOut);
  if (channels == 2) {
    PutBits(kCpe, 3);
    PutBits(0, 5);  // element instance tag, no common window
  } else {
    PutBits(kSce, 3);
    PutBits(0, 4);
  }
  for (int c = 0; c < channels; ++c) {
    const uint8_t* books = aacState->codebooks[c];
    PutBits(static_cast<uint32_t>(aacState->globalGain[c]), 8);
    PutBits(0, 4);  // reserved, one long window, sine shape
    PutBits(static_cast<uint32_t>(sblimit), 6);
    PutBits(0, 1);  // no prediction
    WriteAacSectionData(books);
    WriteAacScaleFactors(books);
    PutBits(0, 3);  // no pulse data, no TNS, no gain control
    WriteAacSpectralData(books, aacWork->quantized[c]);
  }
  // Fill elements up to the frame size, so that the reservoir never overflows.
  while ((AacBitsWritten() + 10) / 8 < frameBytesOut) {
    PutBits(kFil, 3);
    const int written = AacBitsWritten();
    int count = 0;
    while (count < 256 && (written + 14 + 8 * count) / 8 < frameBytesOut) ++count;
    if (count >= 15) {
      PutBits(15, 4);
      PutBits(static_cast<uint32_t>(count - 15), 8);
      PutBits(0, 8 * (count - 1));
    } else {
      PutBits(static_cast<uint32_t>(count), 4);
      PutBits(0, 8 * count);
    }
  }
  PutBits(kEnd, 3);
}

void CMPEGAudioEncoder::WriteAacSectionData(const uint8_t* books) {
  PutBits(books[0], 4);
  int run = 1;
  for (int band = 1; band < sblimit; ++band) {
    if (books[band] != books[band - 1]) {
      PutBits(static_cast<uint32_t>(run), 5);
      if (run == kLongestRun) PutBits(0, 5);
      PutBits(books[band], 4);
      run = 0;
    } else if (run == kLongestRun) {
      PutBits(kLongestRun, 5);
      run = 0;
    }
    ++run;
  }
  PutBits(static_cast<uint32_t>(run), 5);
  if (run == kLongestRun) PutBits(0, 5);
}

void CMPEGAudioEncoder::WriteAacScaleFactors(const uint8_t* books) {
  // Every scalefactor equals the global gain: a difference of 0 per coded band.
  for (int band = 0; band < sblimit; ++band) {
    if (books[band] != 0) PutBits(kAacScalefactorZero.code, kAacScalefactorZero.length);
  }
}

void CMPEGAudioEncoder::WriteAacSpectralData(const uint8_t* books, const int32_t* q) {
  const uint16_t* offsets = aacState->swbOffsets;
  for (int band = 0; band < sblimit; ++band) {
    const int book = books[band];
    if (book == 0) continue;
    const bool isUnsigned = book == 3 || book == 4 || book >= 7;
    const int dimension = book <= 4 ? 4 : 2;
    for (int i = offsets[band]; i < offsets[band + 1]; i += dimension) {
      const AacCodeword word = dimension == 4 ? AacQuadCodeword(book, q + i) : AacPairCodeword(book, q + i);
      PutBits(word.code, static_cast<int>(word.length));
      if (!isUnsigned) continue;
      for (int j = 0; j < dimension; ++j) {
        if (q[i + j] != 0) PutBits(q[i + j] < 0 ? 1 : 0, 1);
      }
      if (book == 11) {
        for (int j = 0; j < 2; ++j) {
          if (q[i + j] >= 16 || q[i + j] <= -16) WriteAacEscape(q[i + j]);
        }
      }
    }
  }
}

void CMPEGAudioEncoder::WriteAacEscape(int value) {
  const int a = value < 0 ? -value : value;
  int log = 0;
  while ((a >> (log + 1)) != 0) ++log;
  const int n = log - 4;
  const uint32_t word = ((1u << n) - 1) << (n + 5) | static_cast<uint32_t>(a - (1 << (n + 4)));
  PutBits(word, 2 * n + 5);
}

}  // namespace orx::aenc
