// Known displacements: pictures cut from one texture at known offsets, so that the true vector
// of every interior macroblock costs 0 (synthetic) or is known to the pel (real footage
// seen through a moving window), estimated through the whole-picture driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <string>

#include "tests/venc/me/me_fixtures.h"
#include "tests/support/ffmpeg.h"
#include "tests/support/test_paths.h"
#include "venc/me/f_code.h"
#include "venc/me/mpeg2_motion_estimator.h"

namespace orx::venc::test {
namespace {

constexpr int kMargin = kTextureMargin;

// Each picture d is the texture seen at offset(d) (half-pel units) from (kMargin, kMargin);
// the coded pictures by display number.
std::map<int, CodedPicture> RunSequence(const EncoderSettings& settings, int length,
                                        const std::vector<uint8_t>& texture, int textureWidth,
                                        const TextureOffset& offset,
                                        CMotionEstimator* estimator = new CMPEG2MotionEstimator()) {
  std::map<int, CodedPicture> coded;
  for (CodedPicture& c :
       CodeTextureSequence(settings, length, texture, textureWidth, offset, estimator)) {
    coded[c.display] = std::move(c);
  }
  return coded;
}

// Macroblocks at least two macroblocks away from every edge.
template <typename Check>
void ForInterior(const EncoderSettings& s, const CodedPicture& c, Check check) {
  for (int row = 2; row < s.mbRows - 2; ++row) {
    for (int col = 2; col < s.mbCols - 2; ++col) check(c.mbs[row * s.mbCols + col], col, row);
  }
}

EncoderSettings Unspecified(int width, int height, int n, int m) {
  EncoderSettings s = MeSettings(width, height, n, m);
  s.streamType = STREAM_TYPE_UNSPECIFIED;
  return s;
}

struct Shift {
  int x, y;  // half-pel
};

class KnownShiftP : public ::testing::TestWithParam<Shift> {};

TEST_P(KnownShiftP, EveryInteriorMacroblockCarriesTheShift) {
  const Shift v = GetParam();
  const EncoderSettings s = Unspecified(720, 576, 15, 1);
  const int tw = s.codedWidth + 2 * kMargin;
  const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin, 17);
  const auto coded = RunSequence(s, 2, texture, tw, [&](int d) {
    return d == 0 ? std::make_pair(0, 0) : std::make_pair(v.x, v.y);
  });
  const CodedPicture& p = coded.at(1);
  ASSERT_EQ(p.type, PICTURE_P);
  // The SIMD cores average diagonal half samples in two rounded steps, which may differ from
  // the exact mean by 1 per sample: there the true vector costs at most 256.
  const bool diagonal = (v.x & 1) != 0 && (v.y & 1) != 0;
  int wrong = 0;
  ForInterior(s, p, [&](const MBInfo& mb, int col, int row) {
    const bool right =
        mb.mv[0].forward == PackedMV{static_cast<int16_t>(v.x), static_cast<int16_t>(v.y)} &&
        mb.flags == ((v.x == 0 && v.y == 0) ? 0u : MBINFO_FORWARD) &&
        (diagonal ? mb.interCost <= 256 : mb.interCost == 0);
    if (!right && ++wrong < 5 && !diagonal) {
      ADD_FAILURE() << "macroblock " << col << "," << row << ": (" << mb.mv[0].forward.x << ","
                    << mb.mv[0].forward.y << ") flags " << mb.flags << " cost " << mb.interCost;
    }
  });
  // A diagonal half-pel vector is reached greedily, horizontal step first: a macroblock here
  // and there settles one half-pel off.
  const int interior = (s.mbCols - 4) * (s.mbRows - 4);
  EXPECT_LE(wrong * 500, diagonal ? interior : 0) << wrong << " of " << interior;
  // The ranges are the largest components of the inter macroblocks (edge macroblocks may
  // choose other vectors), and the f_codes follow from them.
  int largestX = 0;
  int largestY = 0;
  for (const MBInfo& mb : p.mbs) {
    if ((mb.flags & MBINFO_INTRA) != 0) continue;
    largestX = std::max(largestX, std::abs(mb.mv[0].forward.x));
    largestY = std::max(largestY, std::abs(mb.mv[0].forward.y));
  }
  EXPECT_EQ(p.maxVector[0], largestX);
  EXPECT_EQ(p.maxVector[1], largestY);
  EXPECT_GE(largestX, std::abs(v.x));
  EXPECT_EQ(p.fCodes[0], GetFCode(largestX));
  EXPECT_EQ(p.fCodes[1], GetFCode(largestY));
  EXPECT_EQ(p.fCodes[2], FCODE_NONE);
}

INSTANTIATE_TEST_SUITE_P(Shifts, KnownShiftP,
                         ::testing::Values(Shift{0, 0}, Shift{8, 0}, Shift{-14, 6}, Shift{32, -16},
                                           Shift{3, 0}, Shift{-7, 9}, Shift{21, 13}, Shift{-33, -2},
                                           Shift{0, 12}));

class KnownShiftB : public ::testing::TestWithParam<Shift> {};

// N 15, M 3: pictures 1 and 2 are B pictures between the I picture 0 and the P picture 3; the
// texture moves by u per picture.
TEST_P(KnownShiftB, BothVectorsEqualTheDisplacements) {
  const Shift u = GetParam();
  const EncoderSettings s = Unspecified(720, 576, 15, 3);
  const int tw = s.codedWidth + 2 * kMargin + 64;
  const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin + 64, 5);
  auto offset = [&](int d) { return std::make_pair(u.x * d + 32, u.y * d + 32); };
  const auto coded = RunSequence(s, 4, texture, tw, offset);
  ASSERT_EQ(coded.at(3).type, PICTURE_P);
  ForInterior(s, coded.at(3), [&](const MBInfo& mb, int col, int row) {
    EXPECT_EQ(mb.mv[0].forward,
              (PackedMV{static_cast<int16_t>(3 * u.x), static_cast<int16_t>(3 * u.y)}))
        << col << "," << row;
  });
  for (int d : {1, 2}) {
    const CodedPicture& b = coded.at(d);
    ASSERT_EQ(b.type, PICTURE_B);
    const PackedMV forward{static_cast<int16_t>(u.x * d), static_cast<int16_t>(u.y * d)};
    const PackedMV backward{static_cast<int16_t>(u.x * (d - 3)),
                            static_cast<int16_t>(u.y * (d - 3))};
    int wrong = 0;
    ForInterior(s, b, [&](const MBInfo& mb, int col, int row) {
      if (mb.mv[0].forward == forward && mb.mv[0].backward == backward) return;
      if (++wrong > 3) return;
      std::cerr << "B " << d << " macroblock " << col << "," << row << ": forward ("
                << mb.mv[0].forward.x << "," << mb.mv[0].forward.y << ") backward ("
                << mb.mv[0].backward.x << "," << mb.mv[0].backward.y << ")\n";
    });
    // The backward pass starts from an exact temporal prediction, but the 4:1 level may move
    // away from a position that lies between its samples, and the one-step cross after the
    // 2:1 level cannot always come back: a few macroblocks miss by a pel.
    const int interior = (s.mbCols - 4) * (s.mbRows - 4);
    EXPECT_LE(wrong * 50, interior) << "B " << d << ": " << wrong << " of " << interior;
    EXPECT_EQ(b.fCodes[2], GetFCode(b.maxVector[2]));
  }
}

// Even components: whole pels, so that both references hold the true texture.
INSTANTIATE_TEST_SUITE_P(Shifts, KnownShiftB,
                         ::testing::Values(Shift{4, 0}, Shift{-6, 2}, Shift{10, -4}, Shift{0, 6}));

// A frame of tree.avi, upscaled four times, seen through a 720x576 window that moves k pels
// to the right per picture; the content moves k pels to the left.
class KnownShiftFootage : public ::testing::TestWithParam<int> {};

TEST_P(KnownShiftFootage, TexturedMacroblocksFindTheWholePelVector) {
  const int k = GetParam();
  orx::test::RawVideo frame;
  orx::test::DecodeOptions options;
  options.outputArgs = {"-frames:v", "1", "-vf", "scale=1280:960:flags=bicubic"};
  std::string log;
  ASSERT_TRUE(orx::test::DecodeVideo(orx::test::MediaPath("tree.avi"), frame, options, &log))
      << log;
  ASSERT_EQ(frame.width, 1280);
  const std::vector<uint8_t> luma(frame.frames[0].begin(), frame.frames[0].begin() + 1280 * 960);
  const EncoderSettings s = Unspecified(720, 576, 15, 3);
  const int length = 10;
  // The window starts so that the texture offsets stay inside the frame.
  const auto coded = RunSequence(s, length, luma, 1280, [&](int d) {
    return std::make_pair(2 * (k * d - kMargin + 16), 2 * (200 - kMargin));
  });
  // Texture threshold: a mean deviation of 6 per sample.
  constexpr int kTextured = 6 * 256;
  for (int d = 6; d < length; ++d) {
    const CodedPicture& c = coded.at(d);
    int textured = 0;
    int exact = 0;
    const int forwardDistance = d - c.forwardDisplay;
    ForInterior(s, c, [&](const MBInfo& mb, int, int) {
      if (mb.intraActivity < kTextured) return;
      ++textured;
      // The forward search of a B picture reaches 31 pels (searchRangeX scaled for M = 3):
      // a farther displacement cannot be found there.
      const bool forwardReachable = c.type != PICTURE_B || k * forwardDistance <= 31;
      const bool forwardRight =
          !forwardReachable ||
          (mb.mv[0].forward.x == 2 * k * forwardDistance && mb.mv[0].forward.y == 0);
      bool right = forwardRight;
      if (c.type == PICTURE_B) {
        right = right && mb.mv[0].backward.x == -2 * k * (c.backwardDisplay - d) &&
                mb.mv[0].backward.y == 0;
      }
      exact += right ? 1 : 0;
    });
    ASSERT_GT(textured, 100) << d;
    EXPECT_GE(exact * 100, textured * 95)
        << "picture " << d << " type " << c.type << ": " << exact << " of " << textured;
  }
}

INSTANTIATE_TEST_SUITE_P(Speeds, KnownShiftFootage, ::testing::Values(2, 7, 16));

// Pictures wider than 128 macroblocks: the predictor row buffers cover every column.
struct LargePicture {
  int width, height;
};

class LargePictures : public ::testing::TestWithParam<LargePicture> {};

TEST_P(LargePictures, RightVectorsWithoutOverrun) {
  const LargePicture size = GetParam();
  const EncoderSettings s = Unspecified(size.width, size.height, 15, 1);
  const int tw = s.codedWidth + 2 * kMargin;
  const std::vector<uint8_t> texture = MakeTexture(tw, s.codedHeight + 2 * kMargin, 3);
  const Shift v{-12, 6};
  const auto coded = RunSequence(s, 2, texture, tw, [&](int d) {
    return d == 0 ? std::make_pair(0, 0) : std::make_pair(v.x, v.y);
  });
  int wrong = 0;
  ForInterior(s, coded.at(1), [&](const MBInfo& mb, int, int) {
    wrong +=
        mb.mv[0].forward == PackedMV{static_cast<int16_t>(v.x), static_cast<int16_t>(v.y)} ? 0 : 1;
  });
  EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LargePictures,
                         ::testing::Values(LargePicture{4080, 128}, LargePicture{2064, 96},
                                           LargePicture{3840, 2160}));

}  // namespace
}  // namespace orx::venc::test
