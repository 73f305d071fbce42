#pragma once
// A small stand-in for the motion estimator, for the macroblock encoder tests: it orders the
// frames of a clip into pictures (N, M, open or closed GOPs), fills every picture field the
// encoders read, measures the macroblock costs and runs a small exhaustive search (+-16
// samples, half-sample refinement, predictions kept inside the picture) to choose vectors,
// directions, intra and field DCT. Scripts can then replace any decision.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "tests/venc/mbenc/test_pictures.h"
#include "tests/support/ffmpeg.h"
#include "venc/common/encoder_settings.h"
#include "venc/common/picture.h"

namespace orx::venc::test {

struct PlanOptions {
  int gopLength = 1;        // N
  int anchorDistance = 1;   // M
  bool closedGops = false;  // otherwise only the first GOP is closed
  int searchRange = 16;     // in samples; 0 gives zero vectors only
  bool halfPel = true;
  bool interlaced = false;  // progressive_frame 0 and field DCT where the fields differ less
  bool topFieldFirst = true;
  bool pulldown = false;    // 3:2 pattern of top_field_first and repeat_first_field
  int intraDcPrecision = 0;
  std::map<int, int> repeatPictures;             // display number -> copy mode 1 or 2
  std::map<int, std::vector<uint16_t>> captions;  // display number -> caption byte pairs
};

struct PlannedPicture {
  CPicture picture;
  std::vector<MBInfo> mbs;
  int display = 0;
  int codingIndex = 0;
  FrameBuffer* source = nullptr;
  FrameBuffer* recon = nullptr;  // a repeat P picture shares its reference's
  PlannedPicture* forward = nullptr;
  PlannedPicture* backward = nullptr;

  MBInfo& Mb(int column, int row, int mbCols) { return mbs[static_cast<size_t>(row) * mbCols + column]; }
};

class TestPlanner {
 public:
  // Plans every frame of `video` (planar 4:2:0 at its display size) for the settings.
  TestPlanner(const EncoderSettings& settings, const PlanOptions& options,
              const orx::test::RawVideo& video);

  // Pictures in coding order.
  std::vector<PlannedPicture*> CodingOrder();
  // Pictures in display order.
  std::vector<PlannedPicture*> DisplayOrder();
  int MbCols() const { return mbCols_; }
  int MbRows() const { return mbRows_; }

  // Recomputes the f_codes from the vectors the macroblocks now hold (after a script).
  void UpdateFCodes(PlannedPicture& p) const;

 private:
  void Order(int frames);
  void Analyse(PlannedPicture& p);
  void SetPictureFields(PlannedPicture& p, int gopFirstDisplay, bool gopStart, bool closed);

  const EncoderSettings& settings_;
  PlanOptions options_;
  int mbCols_;
  int mbRows_;
  std::vector<std::unique_ptr<FrameBuffer>> sources_;
  std::vector<std::unique_ptr<FrameBuffer>> recons_;
  std::vector<std::unique_ptr<PlannedPicture>> pictures_;  // coding order
};

}  // namespace orx::venc::test
