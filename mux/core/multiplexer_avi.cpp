// AVI files with the OpenDML extensions: the header lists, one chunk per video frame and per
// audio sample, standard indexes every few thousand chunks with a super index per stream in the
// room reserved for it, the legacy index of the first segment, and "AVIX" segments past about
// 1 GB.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "framework/qva_status.h"
#include "mux/core/multiplexer.h"
#include "mux/mp4/mp4_index.h"
#include "mux/parse/es_parsers.h"
#include "platform/debug_output.h"

namespace orx::mux {
namespace {

constexpr size_t kChunkHeader = 8;
constexpr size_t kFrameReserve = 1u << 20;
// A video frame beyond this is refused rather than gathered.
constexpr size_t kLargestFrame = 256u << 20;
// Room a file keeps under the size limit for its index.
constexpr uint64_t kSizeLimitMargin = 128000;

uint64_t Position27MHz(double seconds) {
  const double ticks = std::round(seconds * 27000000.0);
  return ticks > 0 ? static_cast<uint64_t>(ticks) : 0;
}

void StoreChunkHeader(uint8_t* at, const char* id, uint32_t size) {
  std::memcpy(at, id, 4);
  for (int i = 0; i < 4; ++i) at[4 + i] = static_cast<uint8_t>(size >> (8 * i));
}

}  // namespace

bool CMultiplexer::AviHasVideo() const { return avi_.video.positions.strh != 0; }
bool CMultiplexer::AviHasAudio() const { return avi_.audio.positions.strh != 0; }
const char* CMultiplexer::AviAudioChunkId() const { return AviHasVideo() ? "01wb" : "00wb"; }

void CMultiplexer::FailAvi(uint32_t status) {
  if (failure_ == 0) failure_ = status;
  state_ = kMuxStopped;
  videoState_ = kStreamAbsent;
  audioState_ = kStreamAbsent;
  avi_ = AviFileState{};
}

bool CMultiplexer::ReserveAviBuffers() {
  // The index arrays come from the same allowance as the MP4 index blocks, so one test hook
  // refuses them all.
  if (!Mp4IndexChain::MayAllocate(0)) return false;
  try {
    avi_.frame.reserve(kFrameReserve);
    avi_.frame.resize(kChunkHeader);
    avi_.legacy.reserve(std::min<uint32_t>(avi_.limits.legacyEntries, 0x80000));
    for (AviStreamIndex* index : {&avi_.video, &avi_.audio}) {
      index->entries.reserve(avi_.limits.stdIndexEntries);
      index->super.reserve(kAviSuperIndexSlots);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void CMultiplexer::WriteAviHeader() {
  // WriteAviHeader:
  // 1. Buffers and counters; the current segment's byte count starts at its "movi" fourcc.
  avi_ = AviFileState{};
  avi_.limits = AviLimits::Current();
  if (!ReserveAviBuffers()) {
    FailAvi(QVA_ERR_NOMEMORY);
    return;
  }
  avi_.riffBytes = 4;
  avi_.latestVideoTime = lastVideoPts_;
  avi_.audioScale = AviAudioScale({audioKind_, config_.audioFormat, audioBytesPerSecond_});
  desc_.kind = kWriteVideoPack;
  desc_.position = 0;
  desc_.muxRate = clockRate_;
  const bool video = Running(videoState_);
  const bool audio = Running(audioState_);

  // 2. RIFF "AVI ", the header list and the main header.
  const uint64_t base = bytesWritten_;
  RiffBuffer header;
  header.OpenChunk("RIFF");
  header.FourCC("AVI ");
  const size_t hdrl = header.OpenList("hdrl");
  AviMainHeader main;
  main.microsPerFrame = video && frameRate_ > 0 ? static_cast<uint32_t>(std::lround(1000000.0 / frameRate_)) : 0;
  main.streams = (video ? 1 : 0) + (audio ? 1 : 0);
  main.width = video ? width_ : 0;
  main.height = video ? height_ : 0;
  avi_.avihAt = base + WriteAvih(header, main);
  // 3-4. One stream header list per stream, each with its reserve for the super index.
  if (video) {
    AviVideoStream stream;
    stream.codec = videoCodec_;
    stream.rateNum = frameRateNum_;
    stream.rateDen = frameRateDen_;
    stream.width = width_;
    stream.height = height_;
    stream.aspectX = aspectX_;
    stream.aspectY = aspectY_;
    avi_.video.positions = WriteAviVideoStrl(header, stream);
    avi_.video.positions.strh += base;
    avi_.video.positions.junk += base;
  }
  if (audio) {
    AviAudioStream stream;
    stream.kind = audioKind_;
    stream.format = config_.audioFormat;
    stream.bytesPerSecond = audioBytesPerSecond_;
    avi_.audio.positions = WriteAviAudioStrl(header, stream);
    avi_.audio.positions.strh += base;
    avi_.audio.positions.junk += base;
  }
  // 5. The OpenDML header closes the header list.
  avi_.dmlhAt = base + WriteAviOdml(header, 0);
  header.CloseChunk(hdrl);
  // 6. The software's name.
  WriteAviInfo(header);
  // 7. The "movi" list; both standard indexes count from its fourcc.
  const size_t movi = header.OpenList("movi");
  avi_.riffAt = base;
  avi_.moviAt = base + movi;
  avi_.firstMoviAt = avi_.moviAt + 8;
  avi_.video.baseOffset = avi_.firstMoviAt;
  avi_.audio.baseOffset = avi_.firstMoviAt;
  AppendFileBytes(header.Data(), header.Size(), kWriteVideoPack, 0);
  // 8. The first pick is audio when there is audio.
  nextStream_ = audio ? kStreamAudio : kStreamVideo;
}

uint32_t CMultiplexer::WriteAviSample(uint32_t stream, const MuxSampleDesc& sample) {
  const bool end = (sample.flags & kSampleEndOfStream) != 0;
  const bool timed = (sample.flags & kSampleTimeValid) != 0;
  if (stream == kStreamVideo) {
    if (timed && sample.time > avi_.latestVideoTime) avi_.latestVideoTime = sample.time;
    // A timed sample or the end completes the pending frame.
    if ((timed || end) && avi_.framePending) {
      ++avi_.videoFrames;
      const uint32_t length = static_cast<uint32_t>(avi_.frame.size() - kChunkHeader);
      avi_.frame.push_back(0xFF);  // the pad byte of an odd-length chunk
      desc_.position = Position27MHz(avi_.latestVideoTime);
      const bool written = WriteAviChunk(kStreamVideo, avi_.frame.data(), length);
      avi_.frame.resize(kChunkHeader);
      avi_.framePending = false;
      if (!written || state_ != kMuxRunning) return sample.length;
    }
    // The size limit starts a new file at a sequence header.
    if (config_.maxFileSize && !end && avi_.videoFrames + avi_.audioLength > 30 &&
        bytesWritten_ + 16ull * avi_.legacy.size() + kSizeLimitMargin >= config_.maxFileSize) {
      VideoEsInfo info;
      if (ParseVideoHeader(sample.data, sample.length, info, videoCodec_, config_.videoFormat) &&
          info.seqHeaderFound) {
        FinishAvi();
        desc_.kind = kWriteVideoPack;
        desc_.data = config_.bitStream->Write(&desc_, 0);
        state_ = kMuxProbing;
        videoState_ = kStreamWaiting;
        audioState_ = config_.audioPresent ? kStreamWaiting : kStreamAbsent;
        return 0;
      }
    }
    if (end) {
      videoState_ = kStreamAbsent;
    } else if (sample.data != nullptr && sample.length > 0) {
      if (avi_.frame.size() - kChunkHeader + sample.length > kLargestFrame) {
        FailAvi(QVA_ERR_NOMEMORY);
        return sample.length;
      }
      try {
        avi_.frame.insert(avi_.frame.end(), sample.data, sample.data + sample.length);
      } catch (const std::bad_alloc&) {
        FailAvi(QVA_ERR_NOMEMORY);
        return sample.length;
      }
      avi_.framePending = true;
    }
  } else {
    if (timed) audioTime_ = sample.time;
    if (end) {
      audioState_ = kStreamAbsent;
    } else if (sample.data != nullptr && sample.length > 0) {
      const uint32_t scale = avi_.audioScale;
      avi_.audioLength += audioKind_ == kAudioLpcm ? sample.length / scale : sample.length;
      desc_.position = Position27MHz(audioTime_);
      try {
        avi_.scratch.resize(kChunkHeader + sample.length + 1);
      } catch (const std::bad_alloc&) {
        FailAvi(QVA_ERR_NOMEMORY);
        return sample.length;
      }
      std::memcpy(avi_.scratch.data() + kChunkHeader, sample.data, sample.length);
      // The multiplexer takes LPCM big-endian; a wave file's samples are little-endian.
      if (audioKind_ == kAudioLpcm) {
        uint8_t* pcm = avi_.scratch.data() + kChunkHeader;
        for (uint32_t i = 0; i + 1 < sample.length; i += 2) std::swap(pcm[i], pcm[i + 1]);
      }
      avi_.scratch[kChunkHeader + sample.length] = 0;
      if (!WriteAviChunk(kStreamAudio, avi_.scratch.data(), sample.length) || state_ != kMuxRunning)
        return sample.length;
    }
  }
  const bool videoRuns = Running(videoState_);
  const bool audioRuns = Running(audioState_);
  if (!videoRuns && !audioRuns) {
    FinishAvi();
    return sample.length;
  }
  nextStream_ = (videoRuns && audioTime_ > avi_.latestVideoTime) || !audioRuns ? kStreamVideo : kStreamAudio;
  return sample.length;
}

bool CMultiplexer::WriteAviChunk(uint32_t stream, uint8_t* chunk, uint32_t n) {
  const bool video = stream == kStreamVideo;
  // 1. A new "AVIX" segment past the segment size, or when the first segment's legacy index is full.
  if (avi_.riffBytes + n > avi_.limits.segmentBytes ||
      (avi_.extraSegments == 0 && avi_.legacy.size() >= avi_.limits.legacyEntries)) {
    FinishAviRiff();
    RiffBuffer segment;
    segment.OpenChunk("RIFF");
    segment.FourCC("AVIX");
    segment.OpenList("movi");
    avi_.riffAt = bytesWritten_;
    avi_.moviAt = bytesWritten_ + 12;
    ++avi_.extraSegments;
    avi_.riffBytes = 4;
    AppendFileBytes(segment.Data(), segment.Size(), kWriteVideoPack, desc_.position);
  }
  // 2. The size word: a video chunk that is not a key frame gets bit 31.
  uint32_t sizeWord = n;
  if (video) {
    VideoEsInfo info;
    if (ParseVideoHeader(chunk + kChunkHeader, n, info, videoCodec_, config_.videoFormat) &&
        info.pictureType >= kPictureP)
      sizeWord |= kAviNotKeyFrame;
  }
  AviStreamIndex& index = video ? avi_.video : avi_.audio;
  const uint64_t position = bytesWritten_;
  // 3. The chunk, padded to even length.
  const char* id = video ? "00dc" : AviAudioChunkId();
  StoreChunkHeader(chunk, id, n);
  const uint32_t padded = (n + 1) & ~1u;
  AppendFileBytes(chunk, kChunkHeader + padded, video ? kWriteVideoPack : kWriteAudioPack, desc_.position);
  index.largestChunk = std::max<uint32_t>(index.largestChunk, padded + kChunkHeader);
  avi_.riffBytes += kChunkHeader + padded;
  // 4. The standard-index entry (and, 5., the legacy entry); a full standard index is written out.
  index.entries.push_back({static_cast<uint32_t>(position - index.baseOffset), sizeWord});
  // 5. The legacy index covers the first segment.
  if (avi_.extraSegments == 0 && avi_.legacy.size() < avi_.limits.legacyEntries) {
    const uint32_t offset = static_cast<uint32_t>(position - avi_.firstMoviAt) | (video ? 0 : kAviAudioEntry);
    avi_.legacy.push_back({offset, sizeWord});
  }
  if (index.entries.size() >= avi_.limits.stdIndexEntries) {
    FlushAviStdIndex(stream);
    if (avi_.superIndexFull) {
      // Standard indexes beyond the super index could not be found by any reader: the file ends
      // here, whole and indexed, and the stream fails.
      platform::DebugOutput(
          "CMUX: AVI super index full (" + std::to_string(avi_.limits.superIndexEntries) + " standard indexes of " +
          std::to_string(avi_.limits.stdIndexEntries) + " chunks per stream): the file ends here");
      FinishAvi();
      FailAvi(QVA_ERR_UNSUPPORTED);
      return false;
    }
  }
  return true;
}

void CMultiplexer::FlushAviStdIndex(uint32_t stream) {
  const bool video = stream == kStreamVideo;
  AviStreamIndex& index = video ? avi_.video : avi_.audio;
  if (index.entries.empty() || index.super.size() >= avi_.limits.superIndexEntries) return;
  const uint32_t count = static_cast<uint32_t>(index.entries.size());
  const uint32_t total = video ? avi_.videoFrames : avi_.audioLength;
  AviSuperIndexEntry entry;
  entry.offset = bytesWritten_;
  entry.size = 8 * count + 32;
  entry.duration = total - index.superDuration;
  index.superDuration = total;
  index.super.push_back(entry);
  const char* indexId = video || !AviHasVideo() ? "ix00" : "ix01";
  RiffBuffer chunk;
  WriteAviStdIndex(chunk, indexId, video ? "00dc" : AviAudioChunkId(), index.baseOffset, index.entries.data(), count);
  AppendFileBytes(chunk.Data(), chunk.Size(), video ? kWriteVideoPack : kWriteAudioPack, desc_.position);
  avi_.riffBytes += chunk.Size();
  index.baseOffset = bytesWritten_;
  index.entries.clear();
  if (index.super.size() >= avi_.limits.superIndexEntries) avi_.superIndexFull = true;
}

void CMultiplexer::WriteAviSuperIndex(uint32_t stream) {
  const bool video = stream == kStreamVideo;
  const AviStreamIndex& index = video ? avi_.video : avi_.audio;
  RiffBuffer indx;
  mux::WriteAviSuperIndex(indx, video ? "00dc" : AviAudioChunkId(), index.super.data(),
                     static_cast<uint32_t>(index.super.size()));
  PatchFileBytes(index.positions.junk, indx.Data(), indx.Size());
}

void CMultiplexer::FinishAviRiff() {
  PatchFileU32(avi_.moviAt + 4, static_cast<uint32_t>(avi_.riffBytes));
  if (avi_.extraSegments == 0) {
    if (!avi_.legacy.empty()) WriteAviIdx1();
    PatchFileU32(avi_.avihAt + kAvihTotalFramesAt, AviHasVideo() ? avi_.videoFrames : avi_.audioLength);
  }
  PatchFileU32(avi_.riffAt + 4, static_cast<uint32_t>(bytesWritten_ - avi_.riffAt - 8));
  desc_.kind = kWriteVideoPack;
}

void CMultiplexer::WriteAviIdx1() {
  RiffBuffer idx1;
  mux::WriteAviIdx1(idx1, avi_.legacy.data(), static_cast<uint32_t>(avi_.legacy.size()), AviAudioChunkId());
  AppendFileBytes(idx1.Data(), idx1.Size(), kWriteVideoPack, desc_.position);
}

void CMultiplexer::FinishAvi() {
  state_ = kMuxClosed;
  if (AviHasVideo()) FlushAviStdIndex(kStreamVideo);
  if (AviHasAudio()) FlushAviStdIndex(kStreamAudio);
  if (AviHasVideo()) WriteAviSuperIndex(kStreamVideo);
  if (AviHasAudio()) WriteAviSuperIndex(kStreamAudio);
  FinishAviRiff();
  PatchFileU32(avi_.dmlhAt + kDmlhTotalFramesAt, AviHasVideo() ? avi_.videoFrames : avi_.audioLength);
  if (AviHasVideo()) {
    PatchFileU32(avi_.video.positions.strh + kStrhLengthAt, avi_.videoFrames);
    PatchFileU32(avi_.video.positions.strh + kStrhSuggestedBufferAt, avi_.video.largestChunk);
  }
  if (AviHasAudio()) {
    PatchFileU32(avi_.audio.positions.strh + kStrhLengthAt, avi_.audioLength);
    PatchFileU32(avi_.audio.positions.strh + kStrhSuggestedBufferAt, avi_.audio.largestChunk);
  }
  const AviLimits limits = avi_.limits;
  avi_ = AviFileState{};
  avi_.limits = limits;
}

}  // namespace orx::mux
