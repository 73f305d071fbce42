#pragma once
// The picture types the motion estimator's planner gives a sequence, in coding order, for the
// settings the component derives from an export's formats and parameter block: the check of
// the pict_type sequence a stream carries.
#include <string>
#include <vector>

#include "media/media_type.h"
#include "media/video_encoder_params.h"
#include "venc/common/encoder_settings.h"

namespace orx::venc::test {

struct PlannedPicture {
  char type;  // 'I', 'P', 'B'
  int display;  // display number within its sequence
};

// The settings a component instance derives and checks for these formats and parameters.
EncoderSettings ComponentSettings(const VideoEncoderParams& params, const VideoMediaType& input,
                                  const VideoMediaType& output);

// frames pictures of one sequence (display numbers from 0), planned in display order and put in
// coding order (anchors before the B pictures that precede them), the B pictures still queued
// at the end coded by the end-of-sequence step.
std::vector<PlannedPicture> PlanCodingOrder(const EncoderSettings& settings, int frames);
std::string TypesOf(const std::vector<PlannedPicture>& plan);

}  // namespace orx::venc::test
