// The bit writer against a bit-string model: edge cases, random operation sequences, escaped
// units against a reference escaper, the 1 MiB threshold, held-back and lost output.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "platform/debug_output.h"
#include "tests/venc/mbenc/bit_model.h"
#include "tests/venc/mbenc/test_encoders.h"

namespace orx::venc::test {
namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char digits[4];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X ", b);
    out += digits;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

struct Writer : EncoderRig<TestMpeg2Encoder> {
  Writer() : EncoderRig(CODEC_MPEG2, 16, 16) { EXPECT_TRUE(Init()); }
  CMBEncoder& w() { return encoder; }
};

TEST(BitWriter, EdgeCasesGiveTheirBytes) {
  struct Case {
    const char* name;
    std::function<void(CMBEncoder&)> operations;
    std::string bytes;
  };
  const Case cases[] = {
      {"one whole word", [](CMBEncoder& w) { w.PutBits(0x1B3, 32); }, "00 00 01 B3"},
      {"stuffing when aligned writes nothing",
       [](CMBEncoder& w) {
         w.PutBits(0xAB, 8);
         w.StuffToByte();
       },
       "AB"},
      {"stuffing with three free bits writes 011",
       [](CMBEncoder& w) {
         w.PutBits(0x1F, 5);
         w.StuffToByte();
       },
       "FB"},
      {"ue(0) and ue(3)",
       [](CMBEncoder& w) {
         w.PutUe(0);
         w.PutUe(3);
       },
       "90"},  // 1 00100 00
      {"ue32(65535): 16 zeros then 65536 in 17 bits", [](CMBEncoder& w) { w.PutUe32(65535); },
       "00 00 80 00 00"},
      {"escaped start code unit",
       [](CMBEncoder& w) {
         w.BeginEscapedUnit(1);
         for (int b : {0, 0, 0, 0, 1}) w.PutBits(static_cast<uint32_t>(b), 8);
       },
       "00 00 00 01 00 00 03 00 00 03 01"},
      {"a unit ending in 00, then a unit with a start code: nothing at the seam",
       [](CMBEncoder& w) {
         w.BeginEscapedUnit(0x165);
         w.PutBits(0x8000, 16);
         w.BeginEscapedUnit(0x141);
         w.PutBits(0x01, 8);
       },
       "00 00 01 65 80 00 00 00 01 41 01"},
      {"a unit without start code first after attach starts with no zero run",
       [](CMBEncoder& w) {
         w.BeginEscapedUnit(0xFFFFFFFF);
         w.PutBits(0x0102, 16);
       },
       "01 02"},
      {"a unit without start code after a unit that ends in 00 00",
       [](CMBEncoder& w) {
         w.BeginEscapedUnit(0x106);
         w.PutBits(0x050000, 24);
         w.BeginEscapedUnit(0xFFFFFFFF);
         w.PutBits(0x02, 8);
       },
       "00 00 01 06 05 00 00 02"},
      {"a final flush with nothing buffered ends NAL mode",
       [](CMBEncoder& w) {
         w.BeginEscapedUnit(0xFFFFFFFF);
         w.FlushBits(true);
         w.PutBits(0x000003, 24);
       },
       "00 00 03"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Writer writer;
    c.operations(writer.w());
    writer.w().FlushBits(true);
    EXPECT_EQ(Hex(writer.output.AllBytes()), c.bytes);
  }
}

TEST(BitWriter, BlocksOfAPictureLeaveAtTheFinalFlush) {
  struct Case {
    int bytes;
    std::vector<int> advances;
  };
  for (const Case& c : {Case{4096, {4096}}, Case{4097, {4096, 1}}}) {
    Writer writer;
    for (int i = 0; i < c.bytes; ++i) writer.w().PutBits(static_cast<uint32_t>(i), 8);
    EXPECT_TRUE(writer.output.AdvanceSizes().empty()) << "nothing leaves below 1 MiB";
    writer.w().FlushBits(true);
    EXPECT_EQ(writer.output.AdvanceSizes(), c.advances);
    EXPECT_EQ(writer.output.AllBytes().size(), static_cast<size_t>(c.bytes));
  }
}

// One random operation on both the writer and the model.
void RandomOperation(std::mt19937& rng, CMBEncoder& w, BitModel& model, bool escaping) {
  const int kind = static_cast<int>(rng() % 100);
  if (kind < 45) {
    const int n = 1 + static_cast<int>(rng() % 32);
    // Zero-rich values exercise the escaping.
    const uint32_t value = rng() % 3 == 0 ? 0u : static_cast<uint32_t>(rng());
    w.PutBits(value, n);
    model.Put(n < 32 ? value & ((1u << n) - 1) : value, n);
  } else if (kind < 75) {
    const int n = 1 + static_cast<int>(rng() % 32);
    const uint32_t value = (rng() % 4 == 0 ? 1u : static_cast<uint32_t>(rng())) &
                           (n < 32 ? (1u << n) - 1 : ~0u);
    w.PutBitsFast(value, n);
    model.Put(value, n);
  } else if (kind < 80) {
    w.AlignToByte();
    model.Align();
  } else if (kind < 84) {
    w.StuffToByte();
    model.Stuff();
  } else if (kind < 90) {
    const uint32_t v = static_cast<uint32_t>(rng() % 65535);
    w.PutUe(v);
    model.Ue(v);
  } else if (kind < 95) {
    const uint32_t v = static_cast<uint32_t>(rng()) % 0xFFFFFFFFu;
    w.PutUe32(v);
    model.Ue(v);
  } else if (kind < 97) {
    w.FlushBits(true);
    model.Flush();
  } else if (escaping) {
    const uint32_t starts[] = {1, static_cast<uint32_t>(0x100 + rng() % 255 + 1), 0xFFFFFFFF};
    const uint32_t start = starts[rng() % 3];
    w.BeginEscapedUnit(start);
    model.BeginUnit(start);
  }
}

TEST(BitWriter, RandomOperationsMatchTheBitStringModel) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    Writer writer;
    BitModel model;
    const int operations = 200 + static_cast<int>(rng() % 3000);
    for (int i = 0; i < operations; ++i) {
      RandomOperation(rng, writer.w(), model, false);
      if (i % 97 == 0) {
        // The count the rate controller reads: bytes so far plus the bits in the current word.
        ASSERT_EQ(writer.w().GetPictureBits(), static_cast<int64_t>(model.BitCount()));
      }
    }
    writer.w().FlushBits(true);
    model.Flush();
    ASSERT_EQ(writer.output.AllBytes(), model.Bytes());
    EXPECT_EQ(writer.w().GetBitPosition(), 8 * model.Bytes().size());
    EXPECT_TRUE(writer.output.GuardsIntact());
  }
}

TEST(BitWriter, EscapedUnitsMatchTheReferenceEscaper) {
  // Zero-rich payloads, long enough to cross the 3072-byte blocks of NAL mode.
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    Writer writer;
    BitModel model;
    for (int unit = 0; unit < 6; ++unit) {
      const uint32_t starts[] = {1, 0x165, 0xFFFFFFFF};
      const uint32_t start = starts[rng() % 3];
      writer.w().BeginEscapedUnit(start);
      model.BeginUnit(start);
      const int bytes = static_cast<int>(rng() % 9000);
      for (int i = 0; i < bytes; ++i) {
        const uint32_t r = rng() % 8;
        const uint32_t b = r < 5 ? 0 : r < 7 ? r - 4 : rng() % 256;
        writer.w().PutBits(b, 8);
        model.Put(b, 8);
      }
      // Sometimes a partial byte at the end of a unit.
      if (rng() % 2) {
        writer.w().PutBits(0, 3);
        model.Put(0, 3);
      }
    }
    writer.w().FlushBits(true);
    model.Flush();
    ASSERT_EQ(writer.output.AllBytes(), model.Bytes());
    EXPECT_EQ(writer.w().GetBitPosition(), 8 * model.Bytes().size());
    EXPECT_TRUE(writer.output.GuardsIntact());
  }
}

TEST(BitWriter, InsertEmulationPreventionCountsAndMovesBytes) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<uint8_t> payload(rng() % 64);
    for (uint8_t& b : payload) b = static_cast<uint8_t>(rng() % 3 ? 0 : rng() % 5);
    std::vector<uint8_t> buffer = payload;
    buffer.resize(payload.size() * 2 + 1);
    const int inserted =
        CMBEncoder::InsertEmulationPrevention(buffer.data(), static_cast<int>(payload.size()), 0);
    const std::vector<uint8_t> expected = ReferenceEscape(payload);
    ASSERT_EQ(payload.size() + static_cast<size_t>(inserted), expected.size());
    buffer.resize(expected.size());
    ASSERT_EQ(buffer, expected);
  }
}

TEST(BitWriter, APictureAboveOneMebibyteLeavesInBlocksMidPicture) {
  Writer writer;
  BitModel model;
  std::mt19937 rng(3);
  const int bytes = 0x100000 + 300000;
  for (int i = 0; i < bytes / 4; ++i) {
    const uint32_t v = static_cast<uint32_t>(rng());
    writer.w().PutBits(v, 32);
    model.Put(v, 32);
  }
  const std::vector<int> midPicture = writer.output.AdvanceSizes();
  ASSERT_FALSE(midPicture.empty());
  for (int size : midPicture) EXPECT_EQ(size, 4096);
  writer.w().FlushBits(true);
  model.Flush();
  EXPECT_EQ(writer.output.AllBytes(), model.Bytes());
  EXPECT_TRUE(writer.output.GuardsIntact());
}

TEST(BitWriter, HeldBackOutputIsCountedButNotWritten) {
  Writer writer;
  writer.w().SetModeFlags(0x100);  // sub-encoder 1
  for (int i = 0; i < 5000; ++i) writer.w().PutBits(0x12345678, 32);
  writer.w().FlushBits(true);
  EXPECT_TRUE(writer.output.AdvanceSizes().empty());
  EXPECT_GT(writer.output.WritePointerCalls(), 0) << "write pointers are still fetched";
  EXPECT_EQ(writer.w().GetBitPosition(), 5000u * 32);
  EXPECT_TRUE(writer.output.GuardsIntact());
}

struct DebugLines {
  std::string text;
  DebugLines() {
    platform::SetDebugCapture(
        [](void* self, std::string_view line) { static_cast<DebugLines*>(self)->text += line; },
        this);
  }
  ~DebugLines() { platform::SetDebugCapture(nullptr, nullptr); }
};

TEST(BitWriter, ALostOutputBlockIsReportedAndCounted) {
  DebugLines debug;
  Writer writer;
  BitModel model;
  writer.output.FailOnCall(2);
  const int words = (0x100000 + 20000) / 4;
  for (int i = 0; i < words; ++i) {
    writer.w().PutBits(static_cast<uint32_t>(i), 32);
    model.Put(static_cast<uint32_t>(i), 32);
  }
  writer.w().FlushBits(true);
  model.Flush();
  EXPECT_TRUE(writer.w().OutputLost());
  EXPECT_EQ(writer.w().LostOutputBytes(), 4096u);
  // The counts model what was coded: the lost block counts as written.
  EXPECT_EQ(writer.w().GetBitPosition(), 8 * model.Bytes().size());
  std::vector<uint8_t> expected = model.Bytes();
  expected.erase(expected.begin() + 4096, expected.begin() + 8192);
  EXPECT_EQ(writer.output.AllBytes(), expected);
  EXPECT_NE(debug.text.find("4096 bytes of the stream are lost"), std::string::npos) << debug.text;
}

}  // namespace
}  // namespace orx::venc::test
