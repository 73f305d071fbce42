#pragma once
// The boxes of the MP4 and QuickTime files: each writer appends one box (with what it holds)
// to a buffer, big-endian, and can be checked on its own.
#include <cstdint>
#include <vector>

#include "mux/mp4/mp4_buffer.h"
#include "mux/parse/mux_formats.h"

namespace orx::mux {

// Media data sizes from this one on need the 64-bit mdat header.
inline constexpr uint64_t kMp4LargeMediaSize = 1ull << 31;
inline constexpr uint32_t kMp4MovieTimescale = 90000;
// Packed ISO 639-2 "und" (undetermined).
inline constexpr uint16_t kMp4LanguageUndetermined = 0x55C4;

// What the portable-player profile box states about the streams.
struct Mp4ProfileInfo {
  uint32_t audioBytesPerSecond = 0;
  uint32_t audioSampleRate = 48000;
  uint32_t videoBytesPerSecond = 0;
  double frameRate = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

// ftyp, the portable-player profile box (type 11) and the mdat header for a media size. The
// 64-bit mdat header is 8 bytes longer and the ftyp then 8 bytes shorter, so the media starts
// at the same offset whatever its size.
void WriteMp4Ftyp(Mp4Buffer& out, uint32_t muxType, uint64_t mediaSize);
void WriteMp4ProfileBox(Mp4Buffer& out, const Mp4ProfileInfo& info);
void WriteMp4MdatHeader(Mp4Buffer& out, uint64_t mediaSize);
void WriteMp4FileHeader(Mp4Buffer& out, uint32_t muxType, const Mp4ProfileInfo& info, uint64_t mediaSize);

void WriteMp4Mvhd(Mp4Buffer& out, uint32_t creationTime, uint32_t duration, uint32_t nextTrackId);
void WriteMp4Tkhd(Mp4Buffer& out, uint32_t creationTime, uint32_t trackId, uint32_t duration, uint32_t volume,
                  uint32_t width, uint32_t height);
// edts with one elst entry: the segment's duration (movie timescale) and its media start.
void WriteMp4Edts(Mp4Buffer& out, uint32_t segmentDuration, uint32_t mediaTime);
void WriteMp4Mdhd(Mp4Buffer& out, uint32_t creationTime, uint32_t timescale, uint32_t duration);
// hdlr with a 30-byte name field: a length byte and the name in QuickTime files, the name and a
// terminating zero in the ISO forms.
void WriteMp4Hdlr(Mp4Buffer& out, const char* handler, const char* name, bool quickTime);
void WriteMp4Vmhd(Mp4Buffer& out);
void WriteMp4Smhd(Mp4Buffer& out);
void WriteMp4Dinf(Mp4Buffer& out);
// The portable-player metadata box at the end of each track.
void WriteMp4UsmtBox(Mp4Buffer& out);

// The visual sample entry: its format follows the video kind (VideoKind).
struct Mp4VideoEntry {
  int32_t codec = 0;  // VideoKind
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t aspectX = 0;  // display aspect ratio
  uint32_t aspectY = 0;
  uint32_t bufferSize = 0;       // bytes, MPEG-4 Part 2's decoder buffer
  uint32_t bytesPerSecond = 0;   // MPEG-4 Part 2's maximum rate
  std::vector<uint8_t> codecPrivate;  // MPEG-4 Part 2's decoder configuration
  std::vector<uint8_t> sps;           // H.264 parameter sets, without start codes
  std::vector<uint8_t> pps;
};
// 72 dpi divided by the pixel aspect ratio, 16.16.
uint32_t Mp4HorizontalResolution(uint32_t width, uint32_t height, uint32_t aspectX, uint32_t aspectY);
void WriteMp4VideoSampleEntry(Mp4Buffer& out, const Mp4VideoEntry& entry);
void WriteMp4AvcC(Mp4Buffer& out, const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps);
void WriteMp4VideoEsds(Mp4Buffer& out, const Mp4VideoEntry& entry);

struct Mp4AudioEntry {
  uint32_t audioKind = 0;  // AudioKind
  uint32_t channels = 2;
  uint32_t sampleRate = 48000;
  uint32_t bytesPerSecond = 0;
  bool formatKnown = true;
  uint32_t formatTag = 0;
};
void WriteMp4AudioSampleEntry(Mp4Buffer& out, uint32_t muxType, const Mp4AudioEntry& entry);
// esds for AAC: the ISO form, or (quickTime) the one inside the sound description's wave box.
void WriteMp4AudioEsds(Mp4Buffer& out, const Mp4AudioEntry& entry, bool quickTime);

}  // namespace orx::mux
