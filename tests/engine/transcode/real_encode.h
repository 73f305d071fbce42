#pragma once
// Encodes through the transcode engine with the real component libraries (libqvavenc.so, and for
// program streams qvacmux.so and libqvaaenc.so) as the export does: frames lent by reference with
// their release callback, PCM audio beside them, the output gathered from the write callback.
// Shared by the end-to-end tests and the engine benchmark.
#include <cstdint>
#include <string>
#include <vector>

#include "media/media_codes.h"
#include "framework/qva_status.h"
#include "media/tengine_config.h"
#include "tests/support/ffmpeg.h"

namespace orx::test {

// Copies the built deliverables the target needs into folder and points the loader there.
void InstallRealComponents(const std::string& folder, bool programStream);

struct RealEncodeJob {
  const RawVideo* source = nullptr;  // planar 4:2:0 frames, width x height
  uint32_t frames = 0;
  uint32_t subtype = 0;            // QVA_MSUBTYPE_YUV420, or QVA_MSUBTYPE_YUV444I (packed bottom-up)
  uint32_t instances = 1;          // MULTIVENC's encoder count
  bool programStream = false;      // {0x80005} with MPEG-1 Layer II audio, else {0x40000, 2}
  uint32_t bitRate = 6000000;
  uint32_t codec = QVA_MSUBTYPE_MPV2;  // the encoder's output subtype
  bool direct = false;             // qvavenc itself is the graph's encoder (no multi-instance flag)
};

struct RealEncodeResult {
  bool opened = false;
  bool ended = false;                   // the write callback saw the end of stream
  std::vector<uint8_t> stream;          // what reached the write callback, seeks applied
  std::vector<uint32_t> releasesPerFrame;  // how often each lent frame came back
  double seconds = 0;                   // wall time from Run to the end of stream
  double secondsToLastPicture = 0;      // wall time from Run to the last data written
  QVAStatus waited = QVA_SUCCESS;       // the engine's wait after the end
};

// The configuration an export gives for 720 x 480 at 30000/1001 (any size works).
QVATengineConfig RealEncodeConfig(const RealEncodeJob& job);
RealEncodeResult EncodeThroughEngine(const RealEncodeJob& job);

// The host's packed VUYA frame of a planar 4:2:0 frame (chroma repeated over its 2 x 2 block,
// alpha 255, bottom row first).
void PackVuyaBottomUp(const uint8_t* planar, uint32_t width, uint32_t height, uint8_t* out);

}  // namespace orx::test
