// Transport-stream timing: PAT and PMT repeat, and the PCR goes out on the PCR PID, each at
// most 100 ms apart on the 27 MHz clock.
#include "mux/core/multiplexer.h"

namespace orx::mux {
namespace {

constexpr uint64_t kTableInterval27MHz = 90 * 27000;  // 90 ms
constexpr uint64_t kPcrInterval27MHz = 70 * 27000;    // 70 ms

}  // namespace

void CMultiplexer::WriteTablesNow() {
  MuxWriteDesc packet = desc_;
  packet.kind = kPackVideo;
  packet.position = Scr27MHz();
  packet.continuityCounter = patCounter_;
  WritePatPacket(packet, 0);
  desc_.data = config_.bitStream->Write(&packet, packConfig_.packSize);
  if (!hold_) bytesWritten_ += packConfig_.packSize;
  patCounter_ = (patCounter_ + 1) & 15;

  packet.data = desc_.data;
  packet.continuityCounter = pmtCounter_;
  WritePmtPacket(packet, MakePmtSpec());
  desc_.data = config_.bitStream->Write(&packet, packConfig_.packSize);
  if (!hold_) bytesWritten_ += packConfig_.packSize;
  pmtCounter_ = (pmtCounter_ + 1) & 15;
  lastTables27MHz_ = packet.position;
}

void CMultiplexer::WritePcrOnlyNow() {
  const bool onVideo = config_.videoPresent != 0;
  MuxWriteDesc packet = desc_;
  packet.kind = onVideo ? kPackVideo : kPackAudio;
  packet.position = Scr27MHz();
  // An adaptation-only packet repeats the PID's last counter.
  packet.continuityCounter = ((onVideo ? videoCounter_ : audioCounter_) + 15) & 15;
  WritePcrOnlyPacket(packet, onVideo ? kVideoPid : kAudioPid);
  desc_.data = config_.bitStream->Write(&packet, packConfig_.packSize);
  if (!hold_) bytesWritten_ += packConfig_.packSize;
  lastPcr27MHz_ = packet.position;
  pcrSent_ = true;
}

bool CMultiplexer::TransportClockPacketDue() const {
  return !pcrSent_ || Scr27MHz() - lastPcr27MHz_ >= kPcrInterval27MHz;
}

void CMultiplexer::PrepareTransportPacket(bool& withPcr) {
  withPcr = false;
  if (Scr27MHz() - lastTables27MHz_ >= kTableInterval27MHz) WriteTablesNow();
  if (!TransportClockPacketDue()) return;
  const uint32_t pcrKind = config_.videoPresent ? kPackVideo : kPackAudio;
  if (desc_.kind == pcrKind) {
    withPcr = true;
    lastPcr27MHz_ = Scr27MHz();
    pcrSent_ = true;
  } else {
    WritePcrOnlyNow();
  }
}

}  // namespace orx::mux
