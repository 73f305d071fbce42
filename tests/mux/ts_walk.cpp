#include "tests/mux/ts_walk.h"

#include <map>

namespace orx::mux::test {
namespace {

struct PidState {
  int lastCounter = -1;
  bool inPes = false;
  int64_t pesDeclared = -1;  // bytes after the length field, -1 unbounded
  int64_t pesSeen = 0;
};

}  // namespace

// PCR values by packet index, for the time of the packets between them.
std::vector<std::pair<size_t, double>> CollectPcr(const std::vector<uint8_t>& bytes) {
  std::vector<std::pair<size_t, double>> pcr;
  for (size_t at = 0, index = 0; at + 188 <= bytes.size(); at += 188, ++index) {
    const uint8_t* p = bytes.data() + at;
    if (p[0] == 0x47 && (p[3] & 0x20) && p[4] > 0 && (p[5] & 0x10)) {
      const uint64_t base = static_cast<uint64_t>(p[6]) << 25 | p[7] << 17 | p[8] << 9 | p[9] << 1 | p[10] >> 7;
      pcr.emplace_back(index, static_cast<double>(base * 300 + ((p[10] & 1u) << 8 | p[11])) / 27000.0);
    }
  }
  return pcr;
}

double PacketTime(const std::vector<std::pair<size_t, double>>& pcr, size_t index) {
  if (pcr.size() < 2) return pcr.empty() ? 0 : pcr[0].second;
  size_t k = 1;
  while (k + 1 < pcr.size() && pcr[k].first < index) ++k;
  const auto& [i0, t0] = pcr[k - 1];
  const auto& [i1, t1] = pcr[k];
  return t0 + (t1 - t0) * (static_cast<double>(index) - i0) / static_cast<double>(i1 - i0);
}

TsWalk WalkTransportStream(const std::vector<uint8_t>& bytes) {
  TsWalk walk;
  const auto pcrByPacket = CollectPcr(bytes);
  std::map<uint32_t, PidState> pids;
  double clockMs = -1;
  double lastPcrMs = -1;
  double lastPatClock = -1;
  auto fault = [&](const std::string& text) {
    if (walk.faults.size() < 20) walk.faults.push_back("packet " + std::to_string(walk.packets) + ": " + text);
  };
  auto closePes = [&](PidState& state, uint32_t pid) {
    if (state.inPes && state.pesDeclared >= 0 && state.pesSeen != state.pesDeclared)
      fault("PES on PID " + std::to_string(pid) + " declared " + std::to_string(state.pesDeclared) + " bytes, carried " +
            std::to_string(state.pesSeen));
    state.inPes = false;
  };
  if (bytes.size() % 188 != 0) walk.faults.push_back("size is not a multiple of 188");
  for (size_t at = 0; at + 188 <= bytes.size(); at += 188, ++walk.packets) {
    const uint8_t* p = bytes.data() + at;
    if (p[0] != 0x47) {
      fault("no sync byte");
      continue;
    }
    const bool unitStart = p[1] & 0x40;
    const uint32_t pid = (p[1] & 0x1F) << 8 | p[2];
    const uint32_t control = (p[3] >> 4) & 3;
    const int counter = p[3] & 15;
    if (pid == 0x1FFF) continue;
    PidState& state = pids[pid];
    const bool payload = control & 1;
    if (state.lastCounter >= 0) {
      const int expected = payload ? (state.lastCounter + 1) & 15 : state.lastCounter;
      if (counter != expected) fault("counter " + std::to_string(counter) + " on PID " + std::to_string(pid));
    }
    state.lastCounter = counter;
    size_t start = 4;
    if (control & 2) {
      const size_t length = p[4];
      if (length > 183) fault("adaptation field too long");
      if (length > 0 && (p[5] & 0x10)) {
        const uint64_t base = static_cast<uint64_t>(p[6]) << 25 | p[7] << 17 | p[8] << 9 | p[9] << 1 | p[10] >> 7;
        const uint32_t extension = (p[10] & 1u) << 8 | p[11];
        if ((p[10] & 0x7E) != 0x7E) fault("PCR reserved bits");
        const double pcrMs = static_cast<double>(base * 300 + extension) / 27000.0;
        if (lastPcrMs >= 0) {
          if (pcrMs < lastPcrMs) fault("PCR goes back");
          walk.maxPcrGapMs = std::max(walk.maxPcrGapMs, pcrMs - lastPcrMs);
        }
        lastPcrMs = pcrMs;
        ++walk.pcrCount;
        if (pid != walk.pmtPcrPid && walk.pmtPcrPid != 0) fault("PCR on a PID the PMT does not name");
      }
      for (size_t i = 6 + ((p[5] & 0x10) ? 6 : 0); length > 1 && i < 5 + length; ++i)
        if (p[i] != 0xFF) {
          fault("adaptation stuffing is not 0xFF");
          break;
        }
      start = 5 + length;
    }
    if (!payload || start >= 188) continue;
    const uint8_t* data = p + start;
    const size_t size = 188 - start;
    if (pid == 0 || pid == 0x01D0) {
      const uint8_t* section = data + 1 + data[0];
      if ((section[1] & 0x30) != 0x30 || (section[5] & 0xC0) != 0xC0) fault("table reserved bits");
      if (pid == 0) {
        ++walk.patCount;
        if ((section[10] & 0xE0) != 0xE0) fault("PAT PID reserved bits");
        clockMs = PacketTime(pcrByPacket, walk.packets);
        if (lastPatClock >= 0) walk.maxTableGapMs = std::max(walk.maxTableGapMs, clockMs - lastPatClock);
        lastPatClock = clockMs;
      } else {
        ++walk.pmtCount;
        walk.pmtPcrPid = (section[8] & 0x1F) << 8 | section[9];
        if ((section[8] & 0xE0) != 0xE0 || (section[10] & 0xF0) != 0xF0) fault("PMT reserved bits");
      }
      continue;
    }
    if (unitStart) {
      closePes(state, pid);
      if (!(data[0] == 0 && data[1] == 0 && data[2] == 1)) fault("unit start without a PES header");
      const int64_t length = data[4] << 8 | data[5];
      state.inPes = true;
      state.pesDeclared = length == 0 ? -1 : length;
      state.pesSeen = static_cast<int64_t>(size) - 6;
    } else {
      state.pesSeen += static_cast<int64_t>(size);
    }
    if (state.pesDeclared >= 0 && state.pesSeen > state.pesDeclared) {
      fault("PES payload past its declared length on PID " + std::to_string(pid));
      state.pesDeclared = -1;
    }
  }
  for (auto& [pid, state] : pids) closePes(state, pid);
  return walk;
}

}  // namespace orx::mux::test
