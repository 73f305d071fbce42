#pragma once
// CMultiplexer turns one video and one audio elementary stream, fed sample by sample, into one
// MPEG program or transport stream, or an MP4 or QuickTime file: it probes the first samples,
// chooses pack size, rate and buffer bounds for the container, then interleaves the two streams
// pack by pack (MPEG) or sample by sample (MP4).
#include <cstdint>

#include "mux/core/mux_interfaces.h"
#include "mux/asf/asf_file_state.h"
#include "mux/avi/avi_file_state.h"
#include "mux/mp4/mp4_file_state.h"
#include "mux/mp4/mp4_boxes.h"
#include "mux/parse/es_info.h"
#include "mux/syntax/pack_layout.h"

namespace orx::mux {

enum MuxState : uint32_t { kMuxClosed = 0, kMuxProbing = 1, kMuxRunning = 2, kMuxStopped = 3 };
enum StreamState : uint32_t {
  kStreamAbsent = 0,   // absent or ended
  kStreamWaiting = 1,  // waiting for its first sample
  kStreamRunning = 2,
  kStreamStopped = 3,  // stopped by the size limit
};

class CMultiplexer final : public IMultiplexer, private CPackLayout {
 public:
  CMultiplexer() = default;

  bool Open(const MuxConfig* config) override;
  bool Release() override;
  uint32_t NextStream() override;
  uint32_t Write(uint32_t stream, const MuxSampleDesc* sample) override;
  bool Close() override;
  uint32_t Failure() const override { return failure_; }

  // Read-only views for tests and the component.
  uint32_t State() const { return state_; }

 private:
  ~CMultiplexer() override = default;

  // Probe (multiplexer_probe.cpp).
  uint32_t Probe(uint32_t stream, const MuxSampleDesc& sample);
  bool ProbeVideo(const MuxSampleDesc& sample);
  uint32_t SequenceHeaderLength(const VideoEsInfo& info) const;
  bool ProbeAudio(const MuxSampleDesc& sample);
  // Start (multiplexer_start.cpp).
  void StartStream();
  void WriteTsTables();
  PmtSpec MakePmtSpec() const;
  // Scheduling (multiplexer_schedule.cpp).
  void Interleave(bool setTimeBase);
  void StartPack();
  bool StartSample(uint32_t stream, const MuxSampleDesc& sample);
  uint32_t WriteMpegSample(uint32_t stream, const MuxSampleDesc& sample);
  void NoteVideoTail(const uint8_t* data, uint32_t count);
  void MakePackFor(uint32_t stream);
  void CountAc3Frames(const uint8_t* bytes, uint32_t count);
  void WriteLpcmHeader();
  // Transport-stream timing (multiplexer_transport.cpp).
  void PrepareTransportPacket(bool& withPcr);
  void WriteTablesNow();
  void WritePcrOnlyNow();
  bool TransportClockPacketDue() const;
  // Ending and whole packs (multiplexer_end.cpp).
  uint32_t EndStream(uint32_t stream, bool endOfStream, uint32_t length);
  void EndVideoSequence();
  void WriteProgramEnd();
  void WritePack();
  void FlushPack();
  void WritePaddingPack();
  void WriteSystemHeaderPack(bool video);
  void WriteNavPackNow(const NavInfo& nav);

  // MP4 and QuickTime files (multiplexer_mp4.cpp).
  bool IsMp4() const;
  void StartMp4();
  uint32_t WriteMp4Sample(uint32_t stream, const MuxSampleDesc& sample);
  uint32_t WriteMp4Video(const MuxSampleDesc& sample);
  uint32_t WriteMp4Audio(const MuxSampleDesc& sample);
  void AppendH264Sample(const MuxSampleDesc& sample);
  bool AppendToAccessUnit(const uint8_t* data, size_t count);
  void CloseOpenNal();
  void FinishAccessUnit();
  void NotePictureType(const MuxSampleDesc& sample);
  bool AddMp4IndexEntry(uint32_t stream, const uint8_t* data, uint32_t size, uint32_t pictureType,
                        int32_t presentation);
  void WriteMp4Bytes(const uint8_t* data, size_t count, uint32_t kind);
  void WriteMp4Moov();
  void WriteMp4VideoTrack(Mp4Buffer& moov, uint32_t& duration);
  void WriteMp4AudioTrack(Mp4Buffer& moov, uint32_t trackId, uint32_t& duration);
  Mp4ProfileInfo MakeMp4ProfileInfo() const;
  void StartNextMp4Segment();
  void FailMp4(uint32_t status);

  // AVI files (multiplexer_avi.cpp).
  bool AviHasVideo() const;
  bool AviHasAudio() const;
  const char* AviAudioChunkId() const;
  void FailAvi(uint32_t status);
  bool ReserveAviBuffers();
  void WriteAviHeader();
  uint32_t WriteAviSample(uint32_t stream, const MuxSampleDesc& sample);
  // chunk: 8 bytes of room for the chunk header, then n data bytes and one pad byte.
  bool WriteAviChunk(uint32_t stream, uint8_t* chunk, uint32_t n);
  void FlushAviStdIndex(uint32_t stream);
  void WriteAviSuperIndex(uint32_t stream);
  void FinishAviRiff();
  void WriteAviIdx1();
  void FinishAvi();

  // ASF files (multiplexer_asf.cpp).
  void FailAsf(uint32_t status);
  uint32_t AsfPacketSize() const;
  uint32_t AsfHeaderRate() const;
  void WriteAsfHeader();
  uint32_t AsfPresentationMs(double time) const;
  uint32_t WriteAsfSample(uint32_t stream, const MuxSampleDesc& sample);
  void CompleteAsfVideoObject();
  void StartAsfPacket(uint32_t bytesLeft);
  uint32_t GetAsfPacketSpace() const;
  void AddAsfPayload(const uint8_t* data, uint32_t n, uint32_t streamByte, uint32_t objectNumber, double time);
  void QueueAsfPayload(const uint8_t* data, uint32_t n, uint32_t streamByte, uint32_t objectNumber, double time);
  void PlaceHeldAsfPayload();
  void FlushAsfPacket();
  void FinishAsf();

  // Whole-file output of the AVI and ASF writers (multiplexer_output.cpp).
  void AppendFileBytes(const uint8_t* data, size_t count, uint32_t kind, uint64_t position);
  void PatchFileBytes(uint64_t offset, const uint8_t* data, size_t count);
  void PatchFileU32(uint64_t offset, uint32_t value);

  // Clock helpers on N = bytes written in packs + extra bytes.
  uint64_t ClockBytes() const { return bytesWritten_ + extraBytes_; }
  double ScrSeconds() const;
  uint64_t Scr27MHz() const;
  int64_t ScrMilliseconds() const;
  uint64_t Pts90kHz(double time) const;
  // The DVD forms present video on field boundaries of the 90 kHz clock: the video's times
  // (whole milliseconds as they arrive) are put back on the field grid, and so is the time
  // base. Other forms keep their times as given.
  double SnapVideoTime(double time) const;
  // A field's duration in seconds in the DVD forms once the frame rate is known; else 0.
  double FieldSeconds() const;
  bool Running(uint32_t streamState) const { return streamState == kStreamRunning; }
  bool IsTransport() const { return config_.muxType == kMuxTransport; }

  MuxConfig config_;
  PackConfig packConfig_;
  MuxWriteDesc desc_;
  uint32_t clockRate_ = 0;       // R, bytes per second
  uint32_t videoMargin_ = 0;     // bytes
  bool vbr_ = false;
  uint32_t videoOverhead_ = 0;
  uint32_t videoPayload_ = 0;
  uint32_t audioOverhead_ = 0;
  uint32_t audioPayload_ = 0;
  uint32_t state_ = kMuxClosed;
  uint32_t videoState_ = kStreamAbsent;
  uint32_t audioState_ = kStreamAbsent;
  uint32_t nextStream_ = kStreamNone;
  uint32_t currentStream_ = kStreamNone;
  uint32_t videoSampleOffset_ = 0;
  uint32_t audioSampleOffset_ = 0;
  double timeBase_ = 0;
  uint64_t bytesWritten_ = 0;
  uint64_t extraBytes_ = 0;
  uint64_t outputBytes_ = 0;  // bytes handed to the bit stream in this segment, held packs too
  bool hold_ = false;
  bool packOpen_ = false;  // a pack is begun and not yet handed to the bit stream
  bool videoStd_ = false;
  bool sequenceEndSeen_ = false;  // the video written so far ends with a sequence end code
  uint8_t videoTail_[4] = {};     // the last four video bytes written
  int32_t videoCodec_ = -1;
  bool noVbvDelay_ = false;
  uint32_t videoBytesPerSecond_ = 0;
  uint32_t vbvSize_ = 229376;
  uint32_t frameRateNum_ = 0;
  uint32_t frameRateDen_ = 0;
  double frameRate_ = 0;
  double nextAnchorDts_ = 0;
  double firstVideoTime_ = 0;
  double lastVideoPts_ = 0;
  uint32_t videoSamplePacked_ = 0;
  double videoSendTime_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t aspectX_ = 0;
  uint32_t aspectY_ = 0;
  bool audioStd_ = false;
  uint32_t audioBytesPerSecond_ = 0;
  uint32_t audioSampleLength_ = 0;
  uint8_t audioSubstreamHeader_[12] = {};
  uint64_t audioBytesPacked_ = 0;
  uint32_t lpcmFrameSize_ = 0;
  uint32_t audioSamplePacked_ = 0;
  double audioTime_ = 0;
  uint32_t audioKind_ = 0;
  uint32_t lastNavCategory_ = 0;
  uint32_t navCategory_ = 0;
  // Transport stream: one continuity counter per PID, and when the PCR last went out.
  uint32_t audioCounter_ = 0;
  uint32_t videoCounter_ = 0;
  uint32_t patCounter_ = 0;
  uint32_t pmtCounter_ = 0;
  bool pcrSent_ = false;
  uint64_t lastPcr27MHz_ = 0;
  // Codec-private bytes of the video (MP4 decoder configuration, H.264 parameter sets).
  uint32_t codecPrivateLength_ = 0;
  uint8_t codecPrivate_[128] = {};
  Mp4FileState mp4_;
  AviFileState avi_;
  AsfFileState asf_;
  bool outputMoved_ = false;  // a patch moved the output; the next append seeks back to the end
  uint32_t failure_ = 0;
};

}  // namespace orx::mux
