// The plane resizer against its closed form, and the row copier of copy mode.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/vscaler/closed_form_resize.h"
#include "vscaler/plane_copy.h"
#include "vscaler/plane_resize.h"

namespace orx::vscaler {
namespace {

TEST(ResizePlaneNearest, MatchesTheClosedForm) {
  struct Case {
    int srcW, srcH, dstW, dstH;
  };
  const Case sizes[] = {{720, 480, 1920, 1080}, {1920, 1080, 720, 480}, {1, 1, 1, 1}, {1, 1, 5, 3},
                        {7, 5, 7, 5}, {1920, 4, 1, 4}, {13, 9, 4, 17}};
  std::mt19937 rng(5);
  for (const Case& c : sizes) {
    for (int e = 1; e <= 4; ++e) {
      for (bool flip : {false, true}) {
        SCOPED_TRACE(std::to_string(c.srcW) + "x" + std::to_string(c.srcH) + " to " + std::to_string(c.dstW) + "x" +
                     std::to_string(c.dstH) + " element " + std::to_string(e) + (flip ? " flipped" : ""));
        const int srcPitchBytes = c.srcW * e + (e == 3 ? 3 : 2 * e);  // padded rows
        std::vector<uint8_t> src(static_cast<size_t>(srcPitchBytes) * c.srcH);
        for (auto& b : src) b = static_cast<uint8_t>(rng());
        const int dstPitchBytes = c.dstW * e + e;
        std::vector<uint8_t> dst(static_cast<size_t>(dstPitchBytes) * c.dstH, 0xEE);
        // Sizes 2 and 4 count the source pitch in elements, 1 and 3 in bytes.
        const int srcPitch = (e == 2 || e == 4) ? srcPitchBytes / e : srcPitchBytes;
        uint8_t* dstStart = dst.data();
        ResizePlaneNearest(e, src.data(), c.srcW, c.srcH, srcPitch, dstStart, c.dstW, c.dstH,
                           flip ? -dstPitchBytes : dstPitchBytes);
        std::vector<uint8_t> expected(dst.size(), 0xEE);
        test::ClosedFormResize(src.data(), e, c.srcW, c.srcH, srcPitchBytes, expected.data(), c.dstW, c.dstH,
                               dstPitchBytes, flip);
        EXPECT_EQ(dst, expected);
      }
    }
  }
}

TEST(ResizePlaneNearest, NegativeHeightsDoNotFlipAndEmptySourcesWriteNothing) {
  std::vector<uint8_t> src = {1, 2, 3, 4, 5, 6};  // 3x2
  std::vector<uint8_t> dst(6, 0);
  ResizePlaneNearest(1, src.data(), 3, -2, 3, dst.data(), 3, -2, 3);
  EXPECT_EQ(dst, src);
  std::vector<uint8_t> untouched(6, 0xEE);
  ResizePlaneNearest(1, src.data(), 0, 2, 3, untouched.data(), 3, 2, 3);
  ResizePlaneNearest(1, src.data(), 3, 0, 3, untouched.data(), 3, 2, 3);
  EXPECT_EQ(untouched, std::vector<uint8_t>(6, 0xEE));
}

TEST(CopyPlaneRows, TallerOutputGetsGreyRowsAndNarrowerOutputCrops) {
  const std::vector<uint8_t> src = {1, 2, 3, 4, 5, 6, 7, 8};  // 4x2, pitch 4
  std::vector<uint8_t> taller(3 * 5, 0xEE);                   // 3 rows, pitch 5, 4 bytes used
  CopyPlaneRows(src.data(), 2, 4, taller.data(), 3, 5, 4, 4);
  EXPECT_EQ(taller, (std::vector<uint8_t>{1, 2, 3, 4, 0xEE, 5, 6, 7, 8, 0xEE, 128, 128, 128, 128, 0xEE}));
  std::vector<uint8_t> narrower(2 * 2, 0xEE);
  CopyPlaneRows(src.data(), 2, 4, narrower.data(), 2, 2, 2, 4);
  EXPECT_EQ(narrower, (std::vector<uint8_t>{1, 2, 5, 6}));
}

}  // namespace
}  // namespace orx::vscaler
