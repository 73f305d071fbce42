#pragma once
// Lays out one pack (or transport packet) at a time in the pack buffer: pack header, optional
// system header, one PES packet whose header is reserved first and written last, the payload,
// then stuffing or padding. Also builds the whole packs that carry no elementary-stream data.
#include <cstddef>
#include <cstdint>

#include "mux/syntax/mux_write_desc.h"
#include "mux/syntax/pack_records.h"
#include "mux/syntax/pack_syntax.h"

namespace orx::mux {

struct PackLengths {
  uint32_t packHeader = 0;
  uint32_t systemHeader = 0;
  uint32_t videoPesHeader = 0;     // with PTS and DTS
  uint32_t audioPesHeader = 0;     // with PTS
  uint32_t privatePesHeader = 0;   // private stream 1 with PTS
  uint32_t videoPayload = 0;       // elementary-stream bytes per video pack
  uint32_t audioPayload = 0;       // per audio pack
};

enum PackKind : uint32_t { kPackAudio = 0, kPackVideo = 1, kPackNav = 2 };

class CPackLayout : public CPackSyntax {
 public:
  void SetConfig(const PackConfig& config) { config_ = config; }
  const PackConfig& Config() const { return config_; }
  static PackLengths ComputeLayout(const PackConfig& config);

  // Opens a pack in desc.data. In a transport stream withPcr reserves an adaptation field that
  // carries the packet's SCR as PCR.
  void BeginPack(const MuxWriteDesc& desc, bool stdFlag, uint32_t muxType, bool withPcr = false);
  void AddSystemHeader();
  void InsertHeaderStuffing(uint32_t count);
  void SetSampleLength(uint32_t length);
  void SetTimestamps(bool hasDts, uint64_t pts, uint64_t dts);
  // Appends count bytes (zeros when bytes is null), at most the free space; sampleBytes says
  // whether they belong to the current sample (substream headers do not).
  void AppendPayload(const uint8_t* bytes, size_t count, bool sampleBytes = true);
  uint32_t PayloadWritten() const { return static_cast<uint32_t>(writePos_ - payloadStart_); }
  uint32_t FreeSpace() const { return static_cast<uint32_t>(end_ - writePos_); }
  int32_t SampleRemaining() const { return sampleRemaining_; }
  uint8_t* PayloadStart() const { return buffer_ + payloadStart_; }
  uint32_t CurrentKind() const { return kind_; }
  bool StdFlag() const { return stdFlag_; }
  void ReserveEndCode();
  // Writes the PES header and fills the unused room; answers whether the pack carried payload.
  bool FinishPack();

  void WritePaddingOnlyPack(const MuxWriteDesc& desc, uint32_t muxType);
  bool WriteSystemHeaderOnlyPack(const MuxWriteDesc& desc);
  bool WriteNavPack(const MuxWriteDesc& desc, const NavInfo& nav);
  // PAT and PMT in one transport packet, 0xFF up to the end of the pack.
  void WritePatPacket(const MuxWriteDesc& desc, uint32_t version);
  void WritePmtPacket(const MuxWriteDesc& desc, const PmtSpec& spec);
  // An adaptation-field-only transport packet carrying the descriptor's SCR as PCR.
  void WritePcrOnlyPacket(const MuxWriteDesc& desc, uint32_t pid);

 private:
  PesHeaderSpec PesSpecFor(uint32_t kind, bool withTimestamps) const;
  void WritePrivateTail();
  void FinishTransportPacket(bool hadPayload);

  PackConfig config_;
  uint32_t kind_ = kPackVideo;
  uint8_t* buffer_ = nullptr;
  size_t writePos_ = 0;
  size_t end_ = 0;
  uint32_t sampleLength_ = 0;
  int32_t sampleRemaining_ = 0;
  size_t pesStart_ = 0;
  size_t payloadStart_ = 0;
  bool pesPresent_ = true;
  bool systemHeaderAdded_ = false;
  bool stdFlag_ = false;
  bool timestampSet_ = false;
  bool hasDts_ = false;
  uint64_t pts_ = 0;
  uint64_t dts_ = 0;
  // Transport packet state.
  uint64_t scr_ = 0;
  uint32_t continuityCounter_ = 0;
  bool withPcr_ = false;
};

}  // namespace orx::mux
