#include "mux/mp4/h264_nal_units.h"

namespace orx::mux {
namespace {

bool StartCodeAt(const uint8_t* data, size_t length, size_t at) {
  return at + 3 <= length && data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1;
}

}  // namespace

AnnexBSplit SplitAnnexB(const uint8_t* data, size_t length) {
  AnnexBSplit split;
  bool open = false;
  size_t nalStart = 0;
  // Zero bytes before a start code (the four-byte form, trailing zeros) belong to no NAL.
  const auto close = [&](size_t end) {
    while (end > nalStart && data[end - 1] == 0) --end;
    if (open) {
      if (end > nalStart) split.nals.push_back(NalSpan{nalStart, end - nalStart});
    } else {
      split.leading = end;
    }
  };
  size_t at = 0;
  while (at + 3 <= length) {
    if (data[at + 2] > 1) {
      at += 3;
      continue;
    }
    if (!StartCodeAt(data, length, at)) {
      ++at;
      continue;
    }
    close(at);
    open = true;
    nalStart = at + 3;
    at = nalStart;
  }
  if (open) {
    if (length > nalStart) split.nals.push_back(NalSpan{nalStart, length - nalStart});
  } else {
    split.leading = length;
  }
  return split;
}

bool ReadParameterSets(const uint8_t* record, size_t length, std::vector<uint8_t>& sps, std::vector<uint8_t>& pps) {
  if (record == nullptr || length < 4) return false;
  const bool annexB = StartCodeAt(record, length, 0) || (record[0] == 0 && StartCodeAt(record, length, 1));
  if (annexB) {
    const AnnexBSplit split = SplitAnnexB(record, length);
    for (const NalSpan& nal : split.nals) {
      std::vector<uint8_t>* target = nal.Type(record) == kNalSps ? &sps : nal.Type(record) == kNalPps ? &pps : nullptr;
      if (target != nullptr && target->empty()) target->assign(record + nal.start, record + nal.start + nal.size);
    }
    return !sps.empty() || !pps.empty();
  }
  // avcC: version 1, profile, compatibility, level, length size, then the SPS and PPS lists.
  if (record[0] != 1 || length < 7) return false;
  size_t at = 5;
  for (int list = 0; list < 2 && at < length; ++list) {
    const size_t count = list == 0 ? (record[at] & 0x1F) : record[at];
    ++at;
    for (size_t i = 0; i < count; ++i) {
      if (at + 2 > length) return false;
      const size_t size = static_cast<size_t>(record[at]) << 8 | record[at + 1];
      at += 2;
      if (at + size > length) return false;
      std::vector<uint8_t>& target = list == 0 ? sps : pps;
      if (target.empty()) target.assign(record + at, record + at + size);
      at += size;
    }
  }
  return !sps.empty();
}

}  // namespace orx::mux
