#pragma once
// H.264 NAL units as the MP4 writer needs them: a sample split at its start codes (three or
// four bytes, as our encoder and others write them), and the parameter sets of a codec-private
// record, whether that is Annex B or an avcC record.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orx::mux {

enum H264NalType : uint32_t {
  kNalSliceNonIdr = 1,
  kNalSliceIdr = 5,
  kNalSei = 6,
  kNalSps = 7,
  kNalPps = 8,
  kNalAccessUnitDelimiter = 9,
};

struct NalSpan {
  size_t start = 0;  // the NAL header byte
  size_t size = 0;   // without the start code and the zero bytes before the next one
  uint32_t Type(const uint8_t* data) const { return data[start] & 0x1F; }
};

struct AnnexBSplit {
  size_t leading = 0;  // bytes before the first start code: the rest of a NAL begun earlier
  std::vector<NalSpan> nals;
};
AnnexBSplit SplitAnnexB(const uint8_t* data, size_t length);

// The first SPS and PPS (without start codes) of an Annex B header or an avcC record; false when
// the record is neither.
bool ReadParameterSets(const uint8_t* record, size_t length, std::vector<uint8_t>& sps, std::vector<uint8_t>& pps);

}  // namespace orx::mux
