// Transport-stream timing: the PCR goes out on the PCR PID at most 100 ms apart on the 27 MHz
// clock (a packet checks the interval before it goes out, and the clock never moves more than
// 25 ms between two packets), and PAT and PMT go out right before every PCR, so a reader
// finds them at the PCR's own time.
#include "mux/core/multiplexer.h"

namespace orx::mux {
namespace {

constexpr uint64_t kPcrInterval27MHz = 60 * 27000;    // 60 ms

}  // namespace

void CMultiplexer::WriteTablesNow() {
  MuxWriteDesc packet = desc_;
  packet.kind = kPackVideo;
  packet.position = Scr27MHz();
  packet.continuityCounter = patCounter_;
  WritePatPacket(packet, 0);
  desc_.data = config_.bitStream->Write(&packet, packConfig_.packSize);
  outputBytes_ += packConfig_.packSize;
  if (!hold_) bytesWritten_ += packConfig_.packSize;
  patCounter_ = (patCounter_ + 1) & 15;

  packet.data = desc_.data;
  packet.continuityCounter = pmtCounter_;
  WritePmtPacket(packet, MakePmtSpec());
  desc_.data = config_.bitStream->Write(&packet, packConfig_.packSize);
  outputBytes_ += packConfig_.packSize;
  if (!hold_) bytesWritten_ += packConfig_.packSize;
  pmtCounter_ = (pmtCounter_ + 1) & 15;
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
  outputBytes_ += packConfig_.packSize;
  if (!hold_) bytesWritten_ += packConfig_.packSize;
  lastPcr27MHz_ = packet.position;
  pcrSent_ = true;
}

bool CMultiplexer::TransportClockPacketDue() const {
  return !pcrSent_ || Scr27MHz() - lastPcr27MHz_ >= kPcrInterval27MHz;
}

void CMultiplexer::PrepareTransportPacket(bool& withPcr) {
  withPcr = false;
  if (!TransportClockPacketDue()) return;
  WriteTablesNow();
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
