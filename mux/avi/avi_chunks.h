#pragma once
// The chunks of an AVI file with the OpenDML extensions, written as plain functions over a
// little-endian byte buffer: the main header, the stream header lists with their reserve for the
// super index, the OpenDML header, the software name, the standard indexes, the super index and
// the legacy index.
#include <cstddef>
#include <cstdint>

#include "mux/avi/riff_buffer.h"
#include "mux/parse/mux_formats.h"

namespace orx::mux {

// The wave format of MPEG audio (Layers I/II or III by kind) after its tag, as AVI and ASF write it.
void WriteMpegWaveFormat(RiffBuffer& out, uint32_t kind, uint32_t channels, uint32_t rate,
                         uint32_t bytesPerSecond);

// Bytes reserved after each stream format for the super index ("indx" with 256 entries).
inline constexpr uint32_t kAviSuperIndexReserve = 4120;
inline constexpr uint32_t kAviSuperIndexSlots = 256;
// Size word bit 31: a video chunk that is not a key frame.
inline constexpr uint32_t kAviNotKeyFrame = 0x80000000u;
// Legacy index offset bit 31: an audio chunk.
inline constexpr uint32_t kAviAudioEntry = 0x80000000u;

struct AviMainHeader {
  uint32_t microsPerFrame = 0;
  uint32_t totalFrames = 0;
  uint32_t streams = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

struct AviVideoStream {
  int32_t codec = -1;  // VideoKind
  uint32_t rateNum = 0;
  uint32_t rateDen = 1;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t aspectX = 0;
  uint32_t aspectY = 0;
};

struct AviAudioStream {
  uint32_t kind = 0;  // AudioKind
  const MuxAudioFormat* format = nullptr;
  uint32_t bytesPerSecond = 0;
};

// Where the patched fields of a stream header list lie in the buffer.
struct AviStrlPositions {
  size_t strh = 0;  // the "strh" chunk's id
  size_t junk = 0;  // the reserved "JUNK" chunk's id
};

struct AviStdIndexEntry {
  uint32_t offset = 0;  // chunk position minus the index's base offset
  uint32_t size = 0;    // data size, bit 31 for a video chunk that is not a key frame
};

struct AviSuperIndexEntry {
  uint64_t offset = 0;  // position of the standard index chunk
  uint32_t size = 0;    // its size, header included
  uint32_t duration = 0;
};

struct AviLegacyEntry {
  uint32_t offset = 0;  // from the "movi" fourcc; bit 31 for audio
  uint32_t size = 0;    // bit 31 for a video chunk that is not a key frame
};

// Video handler and compression code by codec: "DIVX", "WMV3", "H264" or "MPEG".
const char* AviVideoHandler(int32_t codec);
// The audio stream's scale (bytes per sample frame for LPCM, else 1).
uint32_t AviAudioScale(const AviAudioStream& audio);

// "avih" (56 bytes of data); answers the chunk's position in the buffer.
size_t WriteAvih(RiffBuffer& out, const AviMainHeader& header);
// LIST "strl": "strh", "strf" and the reserve.
AviStrlPositions WriteAviVideoStrl(RiffBuffer& out, const AviVideoStream& video);
AviStrlPositions WriteAviAudioStrl(RiffBuffer& out, const AviAudioStream& audio);
// LIST "odml" with "dmlh"; answers the "dmlh" chunk's position.
size_t WriteAviOdml(RiffBuffer& out, uint32_t totalFrames);
// LIST "INFO" with "ISFT", the software's name.
void WriteAviInfo(RiffBuffer& out);
// A standard index chunk ("ix00"/"ix01") over the given entries.
void WriteAviStdIndex(RiffBuffer& out, const char* indexId, const char* chunkId, uint64_t baseOffset,
                      const AviStdIndexEntry* entries, uint32_t count);
// The super index ("indx") with all its slots, filling the reserve exactly.
void WriteAviSuperIndex(RiffBuffer& out, const char* chunkId, const AviSuperIndexEntry* entries, uint32_t count);
// "idx1": one entry of 16 bytes per legacy entry.
void WriteAviIdx1(RiffBuffer& out, const AviLegacyEntry* entries, uint32_t count, const char* audioChunkId);

// Offsets of the patched fields inside the chunks (from the chunk's id).
inline constexpr size_t kAvihTotalFramesAt = 8 + 16;
inline constexpr size_t kStrhLengthAt = 8 + 32;
inline constexpr size_t kStrhSuggestedBufferAt = 8 + 36;
inline constexpr size_t kDmlhTotalFramesAt = 8;

}  // namespace orx::mux
