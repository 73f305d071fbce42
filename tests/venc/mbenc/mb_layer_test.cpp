// The MPEG-1/2 macroblock layer writers: the bit strings of single blocks, macroblocks, motion
// codes and address increments, and motion codes read back by the decoding rule of the
// standard for every f_code, difference and wrap.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "tests/venc/mbenc/test_encoders.h"

namespace orx::venc::test {
namespace {

// The bits of a byte string from bit `from` to bit `to`.
std::string BitString(const std::vector<uint8_t>& bytes, uint64_t from, uint64_t to) {
  std::string s;
  for (uint64_t i = from; i < to; ++i) s.push_back(((bytes[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0');
  return s;
}

// An encoder whose picture body is a script that writes blocks and macroblocks itself.
template <class Base>
class LayerEncoder : public InjectableEncoder<Base> {
 public:
  std::function<void(LayerEncoder&)> body;
  void EncodePictureBody(CPicture*) override { body(*this); }
};

struct BitsCase {
  const char* name;
  int codec;
  int pictureType;
  std::function<void(LayerEncoder<CMBEncoder_MPEG2>&)> write;
  std::string bits;
};

// Runs one picture of the given type whose body is `write`, and answers the bits it wrote.
std::string BitsOf(int codec, int pictureType, int framePredFrameDct,
                   const std::function<void(LayerEncoder<CMBEncoder_MPEG2>&)>& write) {
  EncoderRig<LayerEncoder<CMBEncoder_MPEG2>> rig(codec, 64, 32);
  EXPECT_TRUE(rig.Init());
  uint64_t from = 0, to = 0;
  rig.encoder.body = [&](LayerEncoder<CMBEncoder_MPEG2>& e) {
    e.AlignToByte();
    from = e.GetBitPosition();
    e.state_.dcPredictor[0] = e.state_.dcPredictor[1] = e.state_.dcPredictor[2] = 128;
    std::fill(e.coefficients_, e.coefficients_ + 6 * 64, int16_t{0});
    write(e);
    to = e.GetBitPosition();
  };
  CPicture picture;
  std::vector<MBInfo> mbs(8);
  picture.settings = &rig.settings;
  picture.pictureType = pictureType;
  picture.framePredFrameDct = framePredFrameDct;
  picture.progressiveFrame = 1;
  picture.forwardFCodeX = picture.forwardFCodeY = picture.backwardFCodeX = picture.backwardFCodeY = 1;
  picture.mbInfo = mbs.data();
  rig.encoder.EncodePicture(&picture, nullptr);
  return BitString(rig.output.AllBytes(), from, to);
}

// Puts `level` at scan position `position` of block b (zig-zag scan).
void Place(LayerEncoder<CMBEncoder_MPEG2>& e, int b, int position, int level) {
  e.coefficients_[64 * b + e.scan_[position]] = static_cast<int16_t>(level);
}

TEST(MacroblockLayer, BitStringsOfBlocksAndMacroblocks) {
  using E = LayerEncoder<CMBEncoder_MPEG2>;
  const BitsCase cases[] = {
      {"intra luma block, DC differential 0, no AC", CODEC_MPEG2, PICTURE_I,
       [](E& e) {
         Place(e, 0, 0, 128);
         e.WriteIntraBlock(e.coefficients_, 0, 0);
       },
       "100" "10"},
      {"intra chroma block, DC differential 0, no AC", CODEC_MPEG2, PICTURE_I,
       [](E& e) {
         Place(e, 4, 0, 128);
         e.WriteIntraBlock(e.coefficients_ + 256, 1, 0);
       },
       "00" "10"},
      {"non-intra +1 at scan position 0", CODEC_MPEG2, PICTURE_P,
       [](E& e) {
         Place(e, 0, 0, 1);
         e.WriteInterBlock(e.coefficients_);
       },
       "10" "10"},
      {"non-intra +1 at scan position 1", CODEC_MPEG2, PICTURE_P,
       [](E& e) {
         Place(e, 0, 1, 1);
         e.WriteInterBlock(e.coefficients_);
       },
       "0110" "10"},
      {"MPEG-1 level 200 at run 3", CODEC_MPEG1, PICTURE_P,
       [](E& e) {
         Place(e, 0, 3, 200);
         e.WriteInterBlock(e.coefficients_);
       },
       "000001" "000011" "0000000011001000" "10"},
      {"MPEG-1 level -200 at run 3", CODEC_MPEG1, PICTURE_P,
       [](E& e) {
         Place(e, 0, 3, -200);
         e.WriteInterBlock(e.coefficients_);
       },
       "000001" "000011" "1000000000111000" "10"},
      {"MPEG-1 level -100 at run 40", CODEC_MPEG1, PICTURE_P,
       [](E& e) {
         Place(e, 0, 40, -100);
         e.WriteInterBlock(e.coefficients_);
       },
       "000001" "101000" "10011100" "10"},
      {"MPEG-2 level -200 at run 3", CODEC_MPEG2, PICTURE_P,
       [](E& e) {
         Place(e, 0, 3, -200);
         e.WriteInterBlock(e.coefficients_);
       },
       "000001" "000011" "111100111000" "10"},
      {"level 41 at run 0 escapes", CODEC_MPEG2, PICTURE_P,
       [](E& e) {
         Place(e, 0, 0, 41);
         e.WriteInterBlock(e.coefficients_);
       },
       "000001" "000000" "000000101001" "10"},
      {"intra_vlc_format 1: level 1 at run 0 and end of block 0110", CODEC_MPEG2, PICTURE_I,
       [](E& e) {
         Place(e, 0, 0, 128);
         Place(e, 0, 1, 1);
         e.WriteIntraBlock(e.coefficients_, 0, 1);
       },
       "100" "100" "0110"},
      {"motion delta 0", CODEC_MPEG2, PICTURE_P, [](E& e) { e.WriteMotionCode(0, 1); }, "1"},
      {"motion delta 17 with f_code 1 wraps to -15", CODEC_MPEG2, PICTURE_P,
       [](E& e) { e.WriteMotionCode(17, 1); }, "0000001101" "1"},
      {"address increment 34", CODEC_MPEG2, PICTURE_P, [](E& e) { e.WriteAddressIncrement(34); },
       "00000001000" "1"},
      {"address increment 66", CODEC_MPEG2, PICTURE_P, [](E& e) { e.WriteAddressIncrement(66); },
       "00000001000" "00000011000"},
      {"address increment 67", CODEC_MPEG2, PICTURE_P, [](E& e) { e.WriteAddressIncrement(67); },
       "00000001000" "00000001000" "1"},
  };
  for (const BitsCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BitsOf(c.codec, c.pictureType, 1, c.write), c.bits);
  }
}

TEST(MacroblockLayer, BidirectionalMacroblockWithoutCoefficientsInAnInterlacedPicture) {
  // macroblock_type 10, frame_motion_type 10, no dct_type, four vector components, no pattern.
  const std::string bits = BitsOf(CODEC_MPEG2, PICTURE_B, 0, [](LayerEncoder<CMBEncoder_MPEG2>& e) {
    MBInfo mb{};
    mb.flags = MBINFO_BIDIRECTIONAL | MBINFO_FIELD;
    mb.mv[0].forward = PackedMV{1, 0};
    mb.mv[0].backward = PackedMV{0, -1};
    e.state_.addressIncrement = 1;
    e.WriteMacroblock(&mb, 0, 0);
  });
  EXPECT_EQ(bits, "1" "10" "10" "010" "1" "1" "011");
}

TEST(MacroblockLayer, MotionCodesDecodeToEveryVector) {
  // The decoding rule: motion_code and residual give the difference, which is added to the
  // prediction and wrapped into the range of f_code.
  EncoderRig<InjectableEncoder<CMBEncoder_MPEG2>> rig(CODEC_MPEG2, 16, 16);
  ASSERT_TRUE(rig.Init());
  CMBEncoder_MPEG1& e = rig.encoder;
  struct Expectation {
    int fCode;
    int prediction;
    int vector;
  };
  std::vector<Expectation> written;
  for (int fCode = 1; fCode <= 9; ++fCode) {
    const int f = 1 << (fCode - 1);
    const int low = -16 * f;
    const int high = 16 * f - 1;
    for (int prediction : {low, -7, 0, 5, high}) {
      for (int vector = low; vector <= high; ++vector) {
        e.WriteMotionCode(vector - prediction, fCode);
        written.push_back({fCode, prediction, vector});
      }
    }
  }
  e.FlushBits(true);
  const std::vector<uint8_t> bytes = rig.output.AllBytes();
  const Mpeg12Tables& tables = GetMpeg12Tables();
  uint64_t bit = 0;
  const auto read = [&](int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++bit) v = (v << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1);
    return v;
  };
  for (const Expectation& x : written) {
    // motion_code: the table entry whose bits come next.
    int magnitude = -1;
    for (int m = 0; m <= 16 && magnitude < 0; ++m) {
      const VlcCode& code = tables.motionCode[m];
      const uint64_t at = bit;
      if (read(code.length) == code.code) {
        magnitude = m;
      } else {
        bit = at;
      }
    }
    ASSERT_GE(magnitude, 0);
    const bool negative = magnitude != 0 && read(1) == 1;
    const int rSize = x.fCode - 1;
    const int f = 1 << rSize;
    int delta = magnitude;
    if (f != 1 && magnitude != 0) delta = static_cast<int>((magnitude - 1) * f + read(rSize) + 1);
    if (negative) delta = -delta;
    int vector = x.prediction + delta;
    if (vector < -16 * f) vector += 32 * f;
    if (vector > 16 * f - 1) vector -= 32 * f;
    ASSERT_EQ(vector, x.vector) << "f_code " << x.fCode << " prediction " << x.prediction;
  }
}

TEST(MacroblockLayer, AddressIncrementsDecodeWithEscapes) {
  EncoderRig<InjectableEncoder<CMBEncoder_MPEG2>> rig(CODEC_MPEG2, 16, 16);
  ASSERT_TRUE(rig.Init());
  for (int n = 1; n <= 120; ++n) rig.encoder.WriteAddressIncrement(n);
  rig.encoder.FlushBits(true);
  const std::vector<uint8_t> bytes = rig.output.AllBytes();
  const std::string bits = BitString(bytes, 0, 8 * bytes.size());
  const Mpeg12Tables& tables = GetMpeg12Tables();
  size_t at = 0;
  const std::string escape = "00000001000";
  for (int n = 1; n <= 120; ++n) {
    int value = 0;
    while (bits.compare(at, escape.size(), escape) == 0) {
      value += 33;
      at += escape.size();
    }
    int found = 0;
    for (int k = 1; k <= 33 && !found; ++k) {
      const VlcCode& c = tables.addressIncrement[k];
      std::string code;
      for (int i = c.length - 1; i >= 0; --i) code.push_back(((c.code >> i) & 1) ? '1' : '0');
      if (bits.compare(at, code.size(), code) == 0) {
        found = k;
        at += code.size();
      }
    }
    ASSERT_NE(found, 0) << n;
    EXPECT_EQ(value + found, n);
  }
}


TEST(MacroblockLayer, MedianVectorCodesTheDifferenceToTheComponentwiseMedian) {
  // Entry 1 of each array: the vector (5, -3) against left (1, 4), top (7, -2) and top-right
  // (2, 0), whose medians are x 2 and y 0: the codes of 3 with f_code 2 and -3 with f_code 3.
  const PackedMV vectors[2] = {{99, 99}, {5, -3}};
  const PackedMV left[2] = {{0, 0}, {1, 4}};
  const PackedMV top[2] = {{0, 0}, {7, -2}};
  const PackedMV topRight[2] = {{0, 0}, {2, 0}};
  const std::string median = BitsOf(CODEC_MPEG2, PICTURE_P, 1, [&](LayerEncoder<CMBEncoder_MPEG2>& e) {
    e.WriteMotionVectorMedian(vectors, left, top, topRight, 1, 2, 3);
  });
  const std::string direct = BitsOf(CODEC_MPEG2, PICTURE_P, 1, [](LayerEncoder<CMBEncoder_MPEG2>& e) {
    e.WriteMotionCode(3, 2);
    e.WriteMotionCode(-3, 3);
  });
  EXPECT_FALSE(direct.empty());
  EXPECT_EQ(median, direct);
}

}  // namespace
}  // namespace orx::venc::test
