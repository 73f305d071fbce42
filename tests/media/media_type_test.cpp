// The receive rule of the media type records and the records that carry 64-bit fields at
// 4-aligned offsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "media/media_codes.h"
#include "media/media_type.h"
#include "media/tengine_config.h"

namespace {

enum class Taken { Refused, HeaderOnly, Whole };

struct ReceiveCase {
  uint32_t sizeWord;
  Taken expected;
};

// Fills a record's bytes with a pattern so that a field copied from it is easy to tell apart.
template <class Record>
Record Patterned(uint8_t seed) {
  Record record;
  auto* bytes = reinterpret_cast<uint8_t*>(&record);
  for (size_t i = 0; i < sizeof record; ++i) bytes[i] = static_cast<uint8_t>(seed + i);
  return record;
}

template <class Record>
void CheckReceiveRule(const std::vector<ReceiveCase>& cases) {
  for (const ReceiveCase& c : cases) {
    SCOPED_TRACE(c.sizeWord);
    const Record before = Patterned<Record>(1);
    // The sender's buffer holds only as many bytes as its size word claims (at least the word).
    std::vector<uint8_t> sent(std::max<size_t>(c.sizeWord, 4));
    Record source = Patterned<Record>(100);
    source.size = c.sizeWord;
    std::memcpy(sent.data(), &source, std::min(sent.size(), sizeof source));

    Record target = before;
    const uint32_t status = ApplyReceivedMediaType(target, sent.data());
    switch (c.expected) {
      case Taken::Refused:
        EXPECT_EQ(status, 29u);
        EXPECT_EQ(std::memcmp(&target, &before, sizeof target), 0);
        break;
      case Taken::HeaderOnly:
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(std::memcmp(&target, &source, 16), 0);
        EXPECT_EQ(std::memcmp(reinterpret_cast<uint8_t*>(&target) + 16,
                              reinterpret_cast<const uint8_t*>(&before) + 16, sizeof target - 16),
                  0);
        break;
      case Taken::Whole:
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(std::memcmp(&target, &source, sizeof target), 0);
        break;
    }
  }
}

TEST(MediaTypeReceive, VideoRecordTakesRefusesHeaderOrWhole) {
  CheckReceiveRule<VideoMediaType>({{0, Taken::Refused},
                                    {15, Taken::Refused},
                                    {16, Taken::HeaderOnly},
                                    {100, Taken::HeaderOnly},
                                    {155, Taken::HeaderOnly},
                                    {156, Taken::Whole},
                                    {300, Taken::Whole}});
}

TEST(MediaTypeReceive, AudioAndStreamRecordsFollowTheSameRule) {
  CheckReceiveRule<AudioMediaType>(
      {{15, Taken::Refused}, {16, Taken::HeaderOnly}, {135, Taken::HeaderOnly},
       {136, Taken::Whole}, {156, Taken::Whole}});
  CheckReceiveRule<StreamMediaType>(
      {{15, Taken::Refused}, {16, Taken::HeaderOnly}, {159, Taken::HeaderOnly},
       {160, Taken::Whole}});
}

TEST(MediaTypeLayout, StreamRecordSixtyFourBitFieldsSitAtTheirBytes) {
  // Written by value into a 4-aligned record: the bytes land at +20 and +28, little-endian.
  StreamMediaType stream{};
  stream.size = sizeof stream;
  stream.LenInBytes = 0x0102030405060708ull;
  stream.LenInTime = 0x1112131415161718ull;
  stream.currentPosition = 0x2122232425262728ull;
  uint8_t bytes[sizeof stream];
  std::memcpy(bytes, &stream, sizeof stream);
  EXPECT_EQ(bytes[20], 0x08);
  EXPECT_EQ(bytes[27], 0x01);
  EXPECT_EQ(bytes[28], 0x18);
  EXPECT_EQ(bytes[35], 0x11);
  EXPECT_EQ(bytes[72], 0x28);
  // Read by value: a reference to the member (as EXPECT_EQ takes) would be misaligned.
  const StreamMediaType copy = stream;
  const uint64_t lenInTime = copy.LenInTime;
  EXPECT_EQ(lenInTime, 0x1112131415161718ull);
}

TEST(MediaTypeLayout, TengineConfigEmbedsWholeRecords) {
  // Copying the configuration carries its embedded records field for field.
  QVATengineConfig config{};
  config.targetVideo.size = sizeof(VideoMediaType);
  config.targetVideo.MType = QVA_MTYPE_VIDEO;
  config.targetVideo.subtype = QVA_MSUBTYPE_MPV2;
  config.encoderParams.size = sizeof(VideoEncoderParams);
  config.encoderParams.engineFlags = VEP_ENGINE_MULTI_INSTANCE;
  config.targetAudio.secondBitrate = 224000;
  const QVATengineConfig copy = config;
  EXPECT_EQ(copy.targetVideo.subtype, QVA_MSUBTYPE_MPV2);
  EXPECT_EQ(copy.encoderParams.engineFlags, 0x800u);
  EXPECT_EQ(copy.targetAudio.secondBitrate, 224000u);
}

}  // namespace
