// MP4 and QuickTime files: the file header, the samples as they arrive (H.264 access units
// gathered from the encoder's buffers and written with 4-byte NAL lengths), the index of every
// sample, and at the end the movie box, after which the file header is rewritten with the media
// size.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

#include "mux/core/multiplexer.h"
#include "mux/mp4/h264_nal_units.h"
#include "mux/mp4/mp4_sample_tables.h"
#include "mux/parse/es_parsers.h"

namespace orx::mux {
namespace {

// Seconds from 1904-01-01 to 1970-01-01, both UTC.
constexpr uint64_t kSeconds1904To1970 = 2082844800;
// An access unit beyond this is refused rather than gathered.
constexpr size_t kLargestAccessUnit = 256u << 20;
constexpr size_t kAccessUnitReserve = 1u << 20;
constexpr uint32_t kStatusNoMemory = 4;
// Interleaving: audio leads while the last picture is followed by fewer audio samples than this,
// or while the file holds fewer audio samples than kFirstAudioSamples.
constexpr uint32_t kAudioPerPicture = 8;
constexpr uint32_t kFirstAudioSamples = 20;
constexpr double kAudioLead = 0.25;

bool IsParameterSetOrDelimiter(uint32_t type) {
  return type == kNalSps || type == kNalPps || type == kNalAccessUnitDelimiter;
}

}  // namespace

bool CMultiplexer::IsMp4() const {
  return config_.muxType == kMuxMp4 || config_.muxType == kMuxMp4Portable || config_.muxType == kMuxQuickTime;
}

void CMultiplexer::FailMp4(uint32_t status) {
  if (failure_ == 0) failure_ = status;
  state_ = kMuxStopped;
  videoState_ = kStreamAbsent;
  audioState_ = kStreamAbsent;
  mp4_ = Mp4FileState{};
}

Mp4ProfileInfo CMultiplexer::MakeMp4ProfileInfo() const {
  Mp4ProfileInfo info;
  info.audioBytesPerSecond = config_.audioPresent ? audioBytesPerSecond_ : 0;
  info.audioSampleRate = config_.audioFormat ? config_.audioFormat->sampleRate : 48000;
  info.videoBytesPerSecond = config_.videoPresent ? videoBytesPerSecond_ : 0;
  info.frameRate = frameRate_;
  info.width = width_;
  info.height = height_;
  return info;
}

void CMultiplexer::StartMp4() {
  // StartMp4, the file's start:
  // 1. Per-file fields cleared; the access-unit buffer and one index block per present track.
  mp4_ = Mp4FileState{};
  try {
    mp4_.accessUnit.reserve(kAccessUnitReserve);
  } catch (const std::bad_alloc&) {
    FailMp4(kStatusNoMemory);
    return;
  }
  if ((config_.videoPresent && !mp4_.video.index.Reserve()) || (config_.audioPresent && !mp4_.audio.index.Reserve())) {
    FailMp4(kStatusNoMemory);
    return;
  }
  if (videoCodec_ == kVideoH264) ReadParameterSets(codecPrivate_, codecPrivateLength_, mp4_.sps, mp4_.pps);
  // 2. Creation time.
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  mp4_.creationTime = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count() +
                                            static_cast<int64_t>(kSeconds1904To1970));
  // 3. The file header for no media yet; the first pick is audio when there is audio.
  desc_.kind = kWriteVideoPack;
  desc_.position = 0;
  desc_.muxRate = clockRate_;
  Mp4Buffer header;
  WriteMp4FileHeader(header, config_.muxType, MakeMp4ProfileInfo(), 0);
  mp4_.headerLength = static_cast<uint32_t>(header.Size());
  WriteMp4Bytes(header.Data(), header.Size(), kWriteVideoPack);
  nextStream_ = Running(audioState_) ? kStreamAudio : kStreamVideo;
}

void CMultiplexer::WriteMp4Bytes(const uint8_t* data, size_t count, uint32_t kind) {
  const size_t piece = packConfig_.packSize;
  for (size_t at = 0; at < count; at += piece) {
    const size_t n = std::min(piece, count - at);
    desc_.kind = kind;
    desc_.position = Scr27MHz();
    std::memcpy(desc_.data, data + at, n);
    desc_.data = config_.bitStream->Write(&desc_, static_cast<uint32_t>(n));
    bytesWritten_ += n;
    outputBytes_ += n;
  }
}

bool CMultiplexer::AddMp4IndexEntry(uint32_t stream, const uint8_t* data, uint32_t size, uint32_t pictureType,
                                    int32_t presentation) {
  const bool video = stream == kStreamVideo;
  Mp4TrackState& track = video ? mp4_.video : mp4_.audio;
  Mp4IndexEntry entry;
  entry.offset = bytesWritten_;
  entry.sizeAndFlags = std::min(size, Mp4IndexEntry::kSizeMask);
  entry.presentation = presentation;
  if (video) entry.sizeAndFlags |= (pictureType & 3) << Mp4IndexEntry::kPictureTypeShift;
  // A chunk is a run of one track's samples lying back to back; a video I picture starts one.
  if (track.samples == 0 || track.end != bytesWritten_ || (video && pictureType == kPictureI))
    entry.sizeAndFlags |= Mp4IndexEntry::kChunkStart;
  if (!track.index.Add(track.samples, entry)) {
    FailMp4(kStatusNoMemory);
    return false;
  }
  ++track.samples;
  WriteMp4Bytes(data, size, video ? kWriteVideoPack : kWriteAudioPack);
  track.end = bytesWritten_;
  return true;
}

uint32_t CMultiplexer::WriteMp4Sample(uint32_t stream, const MuxSampleDesc& sample) {
  const uint32_t taken = stream == kStreamVideo ? WriteMp4Video(sample) : WriteMp4Audio(sample);
  if (state_ != kMuxRunning) return taken;
  if (!Running(videoState_) && !Running(audioState_)) {
    WriteMp4Moov();
    return taken;
  }
  // Audio leads the first pictures and each picture by a few samples, so a player finds both
  // streams near each other from the start.
  const bool leadAudio = stream == kStreamAudio &&
                         (mp4_.audioSinceVideo < kAudioPerPicture || mp4_.audio.samples < kFirstAudioSamples);
  if (leadAudio) videoSendTime_ += kAudioLead;
  Interleave(false);
  if (leadAudio) videoSendTime_ -= kAudioLead;
  return taken;
}

void CMultiplexer::StartNextMp4Segment() {
  WriteMp4Moov();
  // A write of no bytes tells the bit stream that a new file begins; its streams are probed anew.
  desc_.kind = kWriteVideoPack;
  desc_.data = config_.bitStream->Write(&desc_, 0);
  state_ = kMuxProbing;
  videoState_ = config_.videoPresent ? kStreamWaiting : kStreamAbsent;
  audioState_ = config_.audioPresent ? kStreamWaiting : kStreamAbsent;
}

uint32_t CMultiplexer::WriteMp4Video(const MuxSampleDesc& sample) {
  // WriteMp4Sample, video:
  // 1. A valid time is the current video time.
  const bool timed = (sample.flags & kSampleTimeValid) != 0;
  if (timed) {
    mp4_.videoTime = sample.time;
    mp4_.videoTimeValid = true;
  }
  // 5. The end: the unit gathered so far is written.
  if (sample.flags & kSampleEndOfStream) {
    FinishAccessUnit();
    if (state_ == kMuxRunning) videoState_ = kStreamAbsent;
    return sample.length;
  }
  if (sample.data == nullptr || sample.length == 0) return sample.length;
  const bool h264 = videoCodec_ == kVideoH264;
  // 3-4. A picture start, or a new time stamp, begins a new access unit: the one gathered so far
  //      is written.
  const bool newUnit = (sample.flags & kSamplePictureStart) || (timed && mp4_.unitTimed && sample.time != mp4_.unitTime);
  if (newUnit && !mp4_.accessUnit.empty()) {
    FinishAccessUnit();
    if (state_ != kMuxRunning) return sample.length;
  }
  // 2. Before the first picture, a sample of parameter sets only (the header made from the
  //    codec-private record, or the encoder's own) gives the parameter sets when none are known
  //    and is never a sample of the file. Later ones stay in the stream where the encoder put them.
  if (h264 && mp4_.video.samples == 0 && mp4_.accessUnit.empty()) {
    const AnnexBSplit split = SplitAnnexB(sample.data, sample.length);
    bool headerOnly = split.leading == 0 && !split.nals.empty();
    for (const NalSpan& nal : split.nals) headerOnly = headerOnly && IsParameterSetOrDelimiter(nal.Type(sample.data));
    if (headerOnly) {
      for (const NalSpan& nal : split.nals) {
        std::vector<uint8_t>& target = nal.Type(sample.data) == kNalSps ? mp4_.sps : mp4_.pps;
        if (nal.Type(sample.data) != kNalAccessUnitDelimiter && target.empty())
          target.assign(sample.data + nal.start, sample.data + nal.start + nal.size);
      }
      return sample.length;
    }
  }
  // 6. The first sample of a unit: the size limit, its time, its picture type.
  if (mp4_.accessUnit.empty()) {
    if (config_.maxFileSize && outputBytes_ >= config_.maxFileSize) {
      VideoEsInfo info;
      if (ParseVideoHeader(sample.data, sample.length, info, videoCodec_, config_.videoFormat) &&
          info.seqHeaderFound) {
        StartNextMp4Segment();
        return 0;
      }
    }
    mp4_.unitTimed = timed || mp4_.videoTimeValid;
    mp4_.unitTime = mp4_.videoTime;
    mp4_.pictureType = 0;
  }
  if (mp4_.pictureType == 0) NotePictureType(sample);
  // 7. The bytes join the unit.
  if (h264) {
    AppendH264Sample(sample);
  } else {
    AppendToAccessUnit(sample.data, sample.length);
  }
  return sample.length;
}

// The picture type of the unit, from the first of its samples that holds a picture header, and
// the send time of its picture for the interleaving.
void CMultiplexer::NotePictureType(const MuxSampleDesc& sample) {
  VideoEsInfo info;
  if (!ParseVideoHeader(sample.data, sample.length, info, videoCodec_, config_.videoFormat)) return;
  if (info.pictureType < kPictureI || info.pictureType > kPictureB) return;
  mp4_.pictureType = static_cast<uint32_t>(info.pictureType);
  // Sequence headers in the stream give the decoder configuration when the format gave none.
  const uint32_t headerLength = SequenceHeaderLength(info);
  if (codecPrivateLength_ == 0 && videoCodec_ != kVideoH264 && info.seqHeaderFound && headerLength > 0 &&
      headerLength <= sizeof(codecPrivate_) && headerLength <= sample.length) {
    codecPrivateLength_ = headerLength;
    std::memcpy(codecPrivate_, sample.data, codecPrivateLength_);
  }
  const double now = mp4_.videoTime;
  if (info.pictureType == kPictureB) {
    videoSendTime_ = now;
  } else {
    videoSendTime_ = nextAnchorDts_;
    nextAnchorDts_ = now;
  }
  lastVideoPts_ = now;
}

bool CMultiplexer::AppendToAccessUnit(const uint8_t* data, size_t count) {
  if (mp4_.accessUnit.size() + count > kLargestAccessUnit) {
    FailMp4(kStatusNoMemory);
    return false;
  }
  try {
    mp4_.accessUnit.insert(mp4_.accessUnit.end(), data, data + count);
  } catch (const std::bad_alloc&) {
    FailMp4(kStatusNoMemory);
    return false;
  }
  return true;
}

void CMultiplexer::CloseOpenNal() {
  if (mp4_.openNalAt == Mp4FileState::kNoOpenNal) return;
  const size_t at = mp4_.openNalAt;
  const uint32_t length = static_cast<uint32_t>(mp4_.accessUnit.size() - at - 4);
  for (int i = 0; i < 4; ++i) mp4_.accessUnit[at + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
  mp4_.openNalAt = Mp4FileState::kNoOpenNal;
}

// Each NAL unit of the sample goes into the unit behind a 4-byte length; bytes before the first
// start code continue the NAL left open by the sample before. Access-unit delimiters are left
// out (a file's sample is the access unit), and so are the first unit's parameter sets, which
// the decoder configuration holds; later ones stay where the encoder put them.
void CMultiplexer::AppendH264Sample(const MuxSampleDesc& sample) {
  const AnnexBSplit split = SplitAnnexB(sample.data, sample.length);
  if (split.leading > 0 && !mp4_.droppingNal && mp4_.openNalAt != Mp4FileState::kNoOpenNal) {
    if (!AppendToAccessUnit(sample.data, split.leading)) return;
  }
  for (const NalSpan& nal : split.nals) {
    CloseOpenNal();
    const uint32_t type = nal.Type(sample.data);
    const uint8_t* bytes = sample.data + nal.start;
    if (type == kNalSps && mp4_.sps.empty()) mp4_.sps.assign(bytes, bytes + nal.size);
    if (type == kNalPps && mp4_.pps.empty()) mp4_.pps.assign(bytes, bytes + nal.size);
    mp4_.droppingNal = type == kNalAccessUnitDelimiter || ((type == kNalSps || type == kNalPps) && mp4_.video.samples == 0);
    if (mp4_.droppingNal) continue;
    static constexpr uint8_t kBlankLength[4] = {0, 0, 0, 0};
    const size_t at = mp4_.accessUnit.size();
    if (!AppendToAccessUnit(kBlankLength, 4) || !AppendToAccessUnit(bytes, nal.size)) return;
    mp4_.openNalAt = at;
  }
}

void CMultiplexer::FinishAccessUnit() {
  if (videoCodec_ == kVideoH264) CloseOpenNal();
  mp4_.droppingNal = false;
  if (mp4_.accessUnit.empty()) return;
  // The presentation time in frames from the first unit, from the unit's own time stamp.
  if (!mp4_.firstTimeKnown) {
    mp4_.firstTime = mp4_.unitTime;
    mp4_.firstTimeKnown = true;
  }
  int32_t presentation = static_cast<int32_t>(mp4_.video.samples);
  if (mp4_.unitTimed) presentation = static_cast<int32_t>(std::llround((mp4_.unitTime - mp4_.firstTime) * frameRate_));
  // A unit whose picture header was never found is not marked as a sync sample.
  const uint32_t type = mp4_.pictureType != 0 ? mp4_.pictureType : static_cast<uint32_t>(kPictureP);
  if (!AddMp4IndexEntry(kStreamVideo, mp4_.accessUnit.data(), static_cast<uint32_t>(mp4_.accessUnit.size()), type,
                        presentation))
    return;
  mp4_.audioSinceVideo = 0;
  mp4_.accessUnit.clear();
  mp4_.pictureType = 0;
}

uint32_t CMultiplexer::WriteMp4Audio(const MuxSampleDesc& sample) {
  if (sample.flags & kSampleTimeValid) audioTime_ = sample.time;
  if (sample.flags & kSampleEndOfStream) {
    audioState_ = kStreamAbsent;
    return sample.length;
  }
  if (config_.maxFileSize && !Running(videoState_) && outputBytes_ >= config_.maxFileSize) {
    StartNextMp4Segment();
    return 0;
  }
  if (sample.data == nullptr || sample.length == 0) return sample.length;
  audioSampleLength_ = sample.length;
  mp4_.smallestAudio = std::min(mp4_.smallestAudio, sample.length);
  mp4_.largestAudio = std::max(mp4_.largestAudio, sample.length);
  if (!AddMp4IndexEntry(kStreamAudio, sample.data, sample.length, 0, 0)) return sample.length;
  ++mp4_.audioSinceVideo;
  return sample.length;
}

void CMultiplexer::WriteMp4VideoTrack(Mp4Buffer& moov, uint32_t& duration) {
  const bool quickTime = config_.muxType == kMuxQuickTime;
  const bool portable = config_.muxType == kMuxMp4Portable;
  const Mp4IndexChain& index = mp4_.video.index;
  const uint32_t delta = frameRateDen_;
  const uint32_t count = mp4_.video.samples;
  const Mp4CompositionOffsets offsets = ComputeMp4CompositionOffsets(index, delta);
  duration = static_cast<uint32_t>(std::llround(static_cast<double>(count) * delta / frameRateNum_ * kMp4MovieTimescale));

  const size_t trak = moov.OpenBox("trak");
  WriteMp4Tkhd(moov, mp4_.creationTime, 1, duration, 0, width_, height_);
  // The edit list starts the presentation at the first picture's composition time.
  if (portable || offsets.shift > 0) WriteMp4Edts(moov, duration, offsets.shift);
  const size_t mdia = moov.OpenBox("mdia");
  WriteMp4Mdhd(moov, mp4_.creationTime, frameRateNum_, delta * count);
  WriteMp4Hdlr(moov, "vide", "Video Media Handler", quickTime);
  const size_t minf = moov.OpenBox("minf");
  WriteMp4Vmhd(moov);
  WriteMp4Dinf(moov);
  const size_t stbl = moov.OpenBox("stbl");
  const size_t stsd = moov.OpenFullBox("stsd", 0, 0);
  moov.U32(1);
  Mp4VideoEntry entry;
  entry.codec = videoCodec_;
  entry.width = width_;
  entry.height = height_;
  entry.aspectX = aspectX_;
  entry.aspectY = aspectY_;
  entry.bufferSize = vbvSize_;
  entry.bytesPerSecond = videoBytesPerSecond_;
  entry.codecPrivate.assign(codecPrivate_, codecPrivate_ + codecPrivateLength_);
  entry.sps = mp4_.sps;
  entry.pps = mp4_.pps;
  WriteMp4VideoSampleEntry(moov, entry);
  moov.CloseBox(stsd);
  WriteMp4Stts(moov, count, delta);
  WriteMp4Ctts(moov, offsets);
  uint32_t chunks = 0;
  WriteMp4Stsc(moov, index, chunks);
  WriteMp4Stsz(moov, index, 0);
  WriteMp4Stco(moov, index, bytesWritten_ > kMp4LargeChunkOffset);
  WriteMp4Stss(moov, index);
  moov.CloseBox(stbl);
  moov.CloseBox(minf);
  moov.CloseBox(mdia);
  if (portable) WriteMp4UsmtBox(moov);
  moov.CloseBox(trak);
  mp4_.video.index.Clear();
}

void CMultiplexer::WriteMp4AudioTrack(Mp4Buffer& moov, uint32_t trackId, uint32_t& duration) {
  const bool quickTime = config_.muxType == kMuxQuickTime;
  const bool portable = config_.muxType == kMuxMp4Portable;
  const MuxAudioFormat* format = config_.audioFormat;
  const uint32_t rate = format != nullptr && format->sampleRate != 0 ? format->sampleRate : 48000;
  uint32_t delta;
  switch (audioKind_) {
    case kAudioMpegLayer12: case kAudioMpegLayer3: delta = 1152; break;
    case kAudioAc3: delta = 1536; break;
    case kAudioLpcm: delta = std::max<uint32_t>(audioSampleLength_ / 4, 1); break;
    default: delta = 1024; break;
  }
  const uint32_t count = mp4_.audio.samples;
  const uint64_t mediaDuration = static_cast<uint64_t>(delta) * count;
  duration = static_cast<uint32_t>(std::llround(static_cast<double>(mediaDuration) / rate * kMp4MovieTimescale));

  const size_t trak = moov.OpenBox("trak");
  WriteMp4Tkhd(moov, mp4_.creationTime, trackId, duration, 0x0100, 0, 0);
  if (portable) WriteMp4Edts(moov, duration, 0);
  const size_t mdia = moov.OpenBox("mdia");
  WriteMp4Mdhd(moov, mp4_.creationTime, rate, static_cast<uint32_t>(mediaDuration));
  WriteMp4Hdlr(moov, "soun", quickTime ? "Apple Sound Media Handler" : "Sound Media Handler", quickTime);
  const size_t minf = moov.OpenBox("minf");
  WriteMp4Smhd(moov);
  WriteMp4Dinf(moov);
  const size_t stbl = moov.OpenBox("stbl");
  const size_t stsd = moov.OpenFullBox("stsd", 0, 0);
  moov.U32(1);
  Mp4AudioEntry entry;
  entry.audioKind = audioKind_;
  entry.channels = format != nullptr ? format->channels : 2;
  entry.sampleRate = rate;
  entry.bytesPerSecond = audioBytesPerSecond_;
  entry.formatKnown = format != nullptr;
  entry.formatTag = format != nullptr ? format->formatTag : 0;
  WriteMp4AudioSampleEntry(moov, config_.muxType, entry);
  moov.CloseBox(stsd);
  WriteMp4Stts(moov, count, delta);
  uint32_t chunks = 0;
  WriteMp4Stsc(moov, mp4_.audio.index, chunks);
  const bool constant = count > 0 && mp4_.smallestAudio == mp4_.largestAudio;
  WriteMp4Stsz(moov, mp4_.audio.index, constant ? mp4_.largestAudio : 0);
  WriteMp4Stco(moov, mp4_.audio.index, bytesWritten_ > kMp4LargeChunkOffset);
  moov.CloseBox(stbl);
  moov.CloseBox(minf);
  moov.CloseBox(mdia);
  if (portable) WriteMp4UsmtBox(moov);
  moov.CloseBox(trak);
  mp4_.audio.index.Clear();
}

void CMultiplexer::WriteMp4Moov() {
  // WriteMp4Moov, the movie box once every stream has ended:
  // 1. The movie header, with the longer track's duration.
  const uint64_t mediaSize = bytesWritten_ - mp4_.headerLength;
  const bool video = config_.videoPresent && mp4_.video.samples > 0;
  const bool audio = config_.audioPresent && mp4_.audio.samples > 0;
  Mp4Buffer tracks;
  uint32_t videoDuration = 0;
  uint32_t audioDuration = 0;
  // 2-3. One track per stream, video first.
  if (video) WriteMp4VideoTrack(tracks, videoDuration);
  if (audio) WriteMp4AudioTrack(tracks, video ? 2 : 1, audioDuration);
  Mp4Buffer moov;
  const size_t box = moov.OpenBox("moov");
  const uint32_t trackCount = (video ? 1 : 0) + (audio ? 1 : 0);
  WriteMp4Mvhd(moov, mp4_.creationTime, std::max(videoDuration, audioDuration), trackCount + 1);
  moov.Bytes(tracks.Bytes());
  moov.CloseBox(box);
  WriteMp4Bytes(moov.Data(), moov.Size(), kWriteVideoPack);
  // 4. The file header again, at offset 0, with the media size.
  Mp4Buffer header;
  WriteMp4FileHeader(header, config_.muxType, MakeMp4ProfileInfo(), mediaSize);
  std::memcpy(desc_.data, header.Data(), header.Size());
  desc_.kind = kWriteSeekThenWrite;
  desc_.position = 0;
  desc_.data = config_.bitStream->Write(&desc_, static_cast<uint32_t>(header.Size()));
  desc_.kind = kWriteVideoPack;
  mp4_ = Mp4FileState{};
  state_ = kMuxClosed;
  videoState_ = kStreamAbsent;
  audioState_ = kStreamAbsent;
}

}  // namespace orx::mux
