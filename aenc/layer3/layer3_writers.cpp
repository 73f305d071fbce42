// The Layer III writers: header and side information into a frame node, the Huffman-coded
// main data of both granules into the staging buffer.
#include <algorithm>

#include "aenc/core/mpeg_audio_encoder.h"
#include "aenc/layer3/layer3_state.h"
#include "aenc/layer3/layer3_tables.h"

namespace orx::aenc {

void CMPEGAudioEncoder::Layer3WriteSideInfo(int mainDataBegin) {
  WriteMpegAudioHeader();
  if (crc) PutBits(0, 16);
  PutBits(static_cast<uint32_t>(mainDataBegin), 9);
  PutBits(0, channels == 2 ? 11 : 9);  // private bits and scfsi
  for (int g = 0; g < 2; ++g) {
    for (int ch = 0; ch < channels; ++ch) {
      const Layer3GranuleRecord& r = l3State->granules[g][ch];
      PutBits(r.part23Length, 12);
      PutBits(r.bigValues, 9);
      PutBits(r.globalGain, 8);
      PutBits(0, 5);  // scalefac_compress, window_switching_flag
      for (uint32_t table : r.tableSelect) PutBits(table, 5);
      PutBits(r.region0Count, 4);
      PutBits(r.region1Count, 3);
      PutBits(0, 2);  // preflag, scalefac_scale
      PutBits(r.count1TableSelect, 1);
    }
  }
}

void CMPEGAudioEncoder::Layer3WritePair(int table, int x, int y, bool xNegative, bool yNegative) {
  const Layer3HuffmanTable& t = kLayer3HuffmanTables[table];
  if (t.linbits == 0) {
    const uint32_t entry = t.codes[x * t.size + y];
    uint32_t value = HuffmanCode(entry);
    int length = HuffmanLength(entry);
    if (x) {
      value = (value << 1) | xNegative;
      ++length;
    }
    if (y) {
      value = (value << 1) | yNegative;
      ++length;
    }
    PutMainDataBits(value, length);
    return;
  }
  const uint32_t entry = t.codes[std::min(x, 15) * t.size + std::min(y, 15)];
  PutMainDataBits(HuffmanCode(entry), HuffmanLength(entry));
  // Linbits (up to 13) and signs of both values, at most 28 bits: written in one value.
  uint64_t value = 0;
  int length = 0;
  auto append = [&value, &length](uint32_t bits, int count) {
    value = (value << count) | bits;
    length += count;
  };
  if (x >= 15) append(static_cast<uint32_t>(x - 15), t.linbits);
  if (x) append(xNegative, 1);
  if (y >= 15) append(static_cast<uint32_t>(y - 15), t.linbits);
  if (y) append(yNegative, 1);
  if (length > 24) {
    PutMainDataBits(static_cast<uint32_t>(value >> 16), length - 16);
    PutMainDataBits(static_cast<uint32_t>(value & 0xFFFF), 16);
  } else {
    PutMainDataBits(static_cast<uint32_t>(value), length);
  }
}

void CMPEGAudioEncoder::Layer3WriteGranule(const int32_t* ix, const float* xr, const Layer3GranuleRecord& r) {
  const uint16_t* bounds = l3State->sfbBounds;
  const int v = static_cast<int>(2 * r.bigValues);
  const int a = bounds[r.region0Count + 1];
  const int b = bounds[r.region0Count + r.region1Count + 2];
  for (int i = 0; i < v; i += 2) {
    const int table = static_cast<int>(r.tableSelect[i < a ? 0 : i < b ? 1 : 2]);
    if (table == 0) continue;
    Layer3WritePair(table, ix[i], ix[i + 1], xr[i] < 0, xr[i + 1] < 0);
  }
  const uint32_t* codes = kLayer3Count1Codes[r.count1TableSelect];
  for (int i = v; i < v + 4 * static_cast<int>(r.count1); i += 4) {
    const uint32_t entry = codes[8 * ix[i] + 4 * ix[i + 1] + 2 * ix[i + 2] + ix[i + 3]];
    uint32_t value = HuffmanCode(entry);
    int length = HuffmanLength(entry);
    for (int k = 0; k < 4; ++k) {
      if (ix[i + k]) {
        value = (value << 1) | (xr[i + k] < 0);
        ++length;
      }
    }
    PutMainDataBits(value, length);
  }
}

void CMPEGAudioEncoder::Layer3WriteMainData() {
  const Layer3WorkArea& w = *l3Work.get();
  for (int g = 0; g < 2; ++g) {
    for (int ch = 0; ch < channels; ++ch) {
      const Layer3GranuleRecord& r = l3State->granules[g][ch];
      const int start = MainDataBitsWritten();
      Layer3WriteGranule(w.ix[g][ch], w.xr[g][ch], r);
      // Bits counted but not written (a region reaching past the big values, stuffed excess)
      // are 1-bits inside part2_3_length.
      int fill = static_cast<int>(r.part23Length) - (MainDataBitsWritten() - start);
      while (fill > 0) {
        const int n = std::min(fill, 16);
        PutMainDataBits((1u << n) - 1, n);
        fill -= n;
      }
    }
  }
  PutMainDataBits(0, static_cast<int>(l3State->stuffingBits));
}

}  // namespace orx::aenc
