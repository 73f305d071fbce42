// CFrameStore and CPicture: sizes, the pool, references and links, and the H.264 vector
// code-length table.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/venc/common/settings_fixture.h"
#include "venc/common/frame_store.h"

namespace {

using namespace orx::venc;
using orx::venc::test::Mpeg2Settings;

TEST(FrameStore, FrameSizes) {
  EncoderSettings sd = Mpeg2Settings();
  EXPECT_EQ(CFrameStore::ComputeFrameSize(sd), 622080u);
  EncoderSettings padded = sd;  // the padding of codecs 3 and above
  padded.stride = 784;
  padded.padX = 32;
  padded.padY = 16;
  EXPECT_EQ(CFrameStore::ComputeFrameSize(padded), 715008u);
  EncoderSettings aliased = sd;  // (342 + 171) x 128 = 65664, just past 64 KB
  aliased.codedHeight = 342;
  aliased.stride = 128;
  EXPECT_EQ(CFrameStore::ComputeFrameSize(aliased), 67584u);
  aliased.codedHeight = 256;  // (256 + 128) x 128 = 49152: 16 KB past 32 KB, kept
  EXPECT_EQ(CFrameStore::ComputeFrameSize(aliased), 49152u);
}

TEST(FrameStore, PoolSizesAndBufferLayout) {
  struct Case {
    int anchorDistance, pictures, padX, padY, stride;
  };
  for (Case c : {Case{3, 10, 0, 0, 720}, Case{1, 6, 32, 16, 784}}) {
    EncoderSettings s = Mpeg2Settings();
    s.anchorDistance = c.anchorDistance;
    s.padX = c.padX;
    s.padY = c.padY;
    s.stride = c.stride;
    CFrameStore store(0, 0);
    ASSERT_TRUE(store.Init(&s, c.anchorDistance + 3, nullptr));
    EXPECT_EQ(store.PictureCount(), c.pictures);
    const uint32_t frameSize = store.FrameSize();
    for (int i = 0; i < store.FrameBufferCount(); ++i) {
      const FrameBufferPair pair = store.GetFrameBuffer(i);
      const uint8_t* base = pair.luma - store.LumaOffset();
      EXPECT_EQ(reinterpret_cast<uintptr_t>(base) % 128, 0u);
      EXPECT_EQ(pair.chroma - pair.luma, (s.codedHeight + c.padY + c.padY / 2) * c.stride);
      EXPECT_EQ(pair.chroma - base, static_cast<ptrdiff_t>(store.ChromaOffset()));
      if (i > 0) {
        EXPECT_EQ(pair.luma - store.GetFrameBuffer(i - 1).luma, frameSize);
      }
      // Every byte of the padded frame is ours (ASan watches the reservation's edges).
      std::memset(const_cast<uint8_t*>(base), 0x80, frameSize);
    }
    const FrameBufferPair none = store.GetFrameBuffer(-1);
    EXPECT_EQ(none.luma, nullptr);
    EXPECT_EQ(none.chroma, nullptr);
    EXPECT_EQ(store.GetFrameBuffer(store.FrameBufferCount()).luma, nullptr);
  }
}

TEST(FrameStore, RefusesWhatItCannotHold) {
  EncoderSettings s = Mpeg2Settings();
  CFrameStore store(0, 0);
  EXPECT_FALSE(store.Init(&s, 9, nullptr));  // the table holds 8 frame buffers
  CFrameStore gpu(0, 1);
  EXPECT_FALSE(gpu.Init(&s, 4, nullptr));  // GPU frame buffers come later
}

TEST(FrameStore, PictureLifecycleAndLinks) {
  EncoderSettings s = Mpeg2Settings();
  CFrameStore store(0, 0);
  ASSERT_TRUE(store.Init(&s, 4, nullptr));
  std::vector<CPicture*> taken;
  CPicture* picture = nullptr;
  while (store.GetPicture(&picture)) taken.push_back(picture);
  ASSERT_EQ(taken.size(), 6u);
  EXPECT_EQ(picture, nullptr);
  for (CPicture* p : taken) {
    EXPECT_EQ(p->refCount, 1);
    EXPECT_EQ(p->sourceBufferIndex, -1);
    EXPECT_NE(p->mbInfo, nullptr);
    p->mbInfo[s.mbCols * s.mbRows - 1].flags = MBINFO_INTRA;  // the array covers the picture
  }
  CPicture* source = taken[0];
  CPicture* repeat = taken[1];
  source->SetSourceBuffer(2);
  EXPECT_EQ(source->srcLuma, store.GetFrameBuffer(2).luma);
  repeat->SetLink(source);
  repeat->SetReconBuffer(-1);
  EXPECT_EQ(repeat->reconLuma, nullptr);
  for (size_t i = 2; i < taken.size(); ++i) taken[i]->Release();

  // The shared-source picture stays out of the pool while the repeat links it.
  source->Release();
  std::vector<CPicture*> again;
  while (store.GetPicture(&picture)) again.push_back(picture);
  EXPECT_EQ(again.size(), 4u);
  for (CPicture* p : again) EXPECT_NE(p, source);
  for (CPicture* p : again) p->Release();
  repeat->Release();
  again.clear();
  while (store.GetPicture(&picture)) again.push_back(picture);
  EXPECT_EQ(again.size(), 6u);
  for (CPicture* p : again) {
    EXPECT_EQ(p->srcLuma, nullptr);
    EXPECT_EQ(p->linkedPicture, nullptr);
    p->Release();
  }
}

// Every entry equals the length of the se(v) code of ISO/IEC 14496-10 clause 9.1 (codeNum
// 2d - 1 for d > 0, -2d otherwise; length 2 floor(log2(codeNum + 1)) + 1).
TEST(FrameStore, H264VectorCodeLengths) {
  for (int searchRangeX : {63, 255}) {
    EncoderSettings s = Mpeg2Settings();
    s.codec = CODEC_H264;
    s.searchRangeX = searchRangeX;
    CFrameStore store(0, 0);
    ASSERT_TRUE(store.Init(&s, 4, nullptr));
    const int16_t* centre = store.MvCodeLength();
    ASSERT_NE(centre, nullptr);
    const int range = store.MvCodeLengthRange();
    EXPECT_GE(range, 4 * searchRangeX * 2);  // quarter-pel differences across the window
    for (int d = -range; d <= range; ++d) {
      const uint32_t codeNum = d > 0 ? 2 * d - 1 : -2 * d;
      int bits = 0;
      while ((codeNum + 1) >> (bits + 1)) ++bits;
      ASSERT_EQ(centre[d], 2 * bits + 1) << d;
    }
    CPicture* picture = nullptr;
    ASSERT_TRUE(store.GetPicture(&picture));
    EXPECT_EQ(picture->mvCodeLength, centre);
    picture->Release();
  }
  EncoderSettings mpeg2 = Mpeg2Settings();
  CFrameStore store(0, 0);
  ASSERT_TRUE(store.Init(&mpeg2, 4, nullptr));
  EXPECT_EQ(store.MvCodeLength(), nullptr);
}

}  // namespace
