#include "tests/venc/me/me_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

namespace orx::venc::test {

EncoderSettings MeSettings(int width, int height, int n, int m) {
  EncoderSettings s{};
  s.gopLength = n;
  s.anchorDistance = m;
  s.codec = CODEC_MPEG2;
  s.width = width;
  s.height = height;
  s.frameRateIndex = 6;
  s.progressiveSequence = 1;
  s.chromaFormat = 1;
  s.streamType = STREAM_TYPE_MPEG2_SD;
  s.sceneChangeMinDistance = 0x7FFFFFF;
  s.searchRangeX = 63;
  s.searchRangeY = 31;
  s.searchParams[0] = s.searchParams[1] = {20, 12, 0, 1, 5, 1};
  s.mbCols = (width + 15) / 16;
  s.mbRows = (height + 15) / 16;
  s.codedWidth = 16 * s.mbCols;
  s.codedHeight = 16 * s.mbRows;
  s.stride = s.codedWidth;
  s.frameRate = kFrameRateTable[6].rate;
  return s;
}

void RecordingEncoder::EncodePictureBody(CPicture* picture) {
  const EncoderSettings& s = *picture->settings;
  CodedPicture c;
  c.display = picture->displayNumber;
  c.type = picture->pictureType;
  c.rowListener = rowListener_ != nullptr;
  c.forwardDisplay = picture->forwardRef != nullptr ? picture->forwardRef->displayNumber : -1;
  c.backwardDisplay = picture->backwardRef != nullptr ? picture->backwardRef->displayNumber : -1;
  c.gopStart = picture->gopStart;
  c.closedGop = picture->closedGop;
  c.temporalReference = picture->temporalReference;
  c.timeCode = picture->timeCode;
  c.gopP = picture->gopPicturesP;
  c.gopB = picture->gopPicturesB;
  c.copyMode = picture->copyMode;
  c.sourceBuffer = picture->sourceBufferIndex;
  c.reconBuffer = picture->reconBufferIndex;
  c.fCodes[0] = picture->forwardFCodeX;
  c.fCodes[1] = picture->forwardFCodeY;
  c.fCodes[2] = picture->backwardFCodeX;
  c.fCodes[3] = picture->backwardFCodeY;
  c.maxVector[0] = picture->maxForwardX;
  c.maxVector[1] = picture->maxForwardY;
  c.maxVector[2] = picture->maxBackwardX;
  c.maxVector[3] = picture->maxBackwardY;
  c.interCostSum = picture->interCostSum;
  c.intraActivitySum = picture->intraActivitySum;
  c.intraMbCount = picture->intraMbCount;
  c.minRowCostTotal = picture->minRowCostTotal;
  c.mbs.assign(picture->mbInfo, picture->mbInfo + s.mbCols * s.mbRows);
  coded.push_back(std::move(c));
  // The reconstruction equals the source: a lossless stand-in.
  if (picture->reconLuma != nullptr && picture->reconLuma != picture->srcLuma) {
    std::memcpy(picture->reconLuma, picture->srcLuma,
                static_cast<size_t>(s.stride) * s.codedHeight);
    std::memcpy(picture->reconChroma, picture->srcChroma,
                static_cast<size_t>(s.stride) * s.codedHeight / 2);
  }
  if (rowListener_ != nullptr) {
    for (int row = 0; row < s.mbRows; ++row) rowListener_->DecimateRow(picture, row);
  }
}

MeSession::MeSession(const EncoderSettings& settings, CMotionEstimator* estimator)
    : settings_(settings), store_(std::make_unique<CFrameStore>(0, 0)), estimator_(estimator) {
  EXPECT_TRUE(store_->Init(&settings_, CFrameStore::kMaxFrameBuffers, nullptr));
  EXPECT_TRUE(estimator_->Init(&settings_, &encoder_));
}

MeSession::~MeSession() {
  estimator_->Close();
  estimator_->Release();
}

CPicture* MeSession::NewPicture(int display) {
  CPicture* picture = nullptr;
  EXPECT_TRUE(store_->GetPicture(&picture));
  picture->displayNumber = display;
  picture->timeStamp = 40 * int64_t{display};
  picture->repeatFirstField = 0;
  picture->repeatGroup = picture->repeatIndex = picture->repeatRemaining = 0;
  picture->progressiveFrame = 1;
  picture->stats = {};
  return picture;
}

void MeSession::MeasureActivity(CPicture* picture) const {
  const EncoderSettings& s = settings_;
  int64_t total = 0;
  int32_t smallestRow = INT_MAX;
  for (int row = 0; row < s.mbRows; ++row) {
    int32_t rowSum = 0;
    for (int col = 0; col < s.mbCols; ++col) {
      int activity = 0;
      for (int b = 0; b < 4; ++b) {
        const uint8_t* block =
            picture->srcLuma + (16 * row + 8 * (b >> 1)) * s.stride + 16 * col + 8 * (b & 1);
        int sum = 0;
        for (int y = 0; y < 8; ++y) {
          for (int x = 0; x < 8; ++x) sum += block[y * s.stride + x];
        }
        const int mean = (sum + 32) >> 6;
        for (int y = 0; y < 8; ++y) {
          for (int x = 0; x < 8; ++x) activity += std::abs(block[y * s.stride + x] - mean);
        }
      }
      MBInfo& mb = picture->mbInfo[row * s.mbCols + col];
      mb = MBInfo{};
      mb.intraActivity = activity;
      rowSum += activity;
    }
    total += rowSum;
    smallestRow = std::min(smallestRow, rowSum);
  }
  picture->intraCostSum = static_cast<int32_t>(total);
  picture->minRowCostTotal = smallestRow;
  picture->minRowDeviationSum = smallestRow / 4;
}

void ExpectSameCoding(const std::vector<CodedPicture>& a, const std::vector<CodedPicture>& b,
                      const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(what + " picture " + std::to_string(a[i].display));
    EXPECT_EQ(a[i].display, b[i].display);
    EXPECT_EQ(a[i].type, b[i].type);
    EXPECT_EQ(a[i].interCostSum, b[i].interCostSum);
    EXPECT_EQ(a[i].intraActivitySum, b[i].intraActivitySum);
    EXPECT_EQ(a[i].intraMbCount, b[i].intraMbCount);
    EXPECT_EQ(a[i].minRowCostTotal, b[i].minRowCostTotal);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(a[i].maxVector[k], b[i].maxVector[k]);
      EXPECT_EQ(a[i].fCodes[k], b[i].fCodes[k]);
    }
    int differing = 0;
    for (size_t m = 0; m < a[i].mbs.size(); ++m) {
      const MBInfo& x = a[i].mbs[m];
      const MBInfo& y = b[i].mbs[m];
      differing +=
          (x.flags != y.flags || x.interCost != y.interCost ||
           !(x.mv[0].forward == y.mv[0].forward) || !(x.mv[0].backward == y.mv[0].backward));
    }
    EXPECT_EQ(differing, 0);
  }
}

namespace {

// Noise box-filtered with the given radius (two passes each way), scaled to unit spread.
std::vector<double> SmoothNoise(int width, int height, int radius, std::mt19937& random) {
  std::vector<double> a(static_cast<size_t>(width) * height);
  for (double& v : a) v = static_cast<double>(random() & 1023);
  std::vector<double> b(a.size());
  for (int pass = 0; pass < 2; ++pass) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        double sum = 0;
        for (int k = -radius; k <= radius; ++k)
          sum += a[y * width + std::clamp(x + k, 0, width - 1)];
        b[y * width + x] = sum;
      }
    }
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        double sum = 0;
        for (int k = -radius; k <= radius; ++k)
          sum += b[std::clamp(y + k, 0, height - 1) * width + x];
        a[y * width + x] = sum;
      }
    }
  }
  double mean = 0;
  for (double v : a) mean += v;
  mean /= static_cast<double>(a.size());
  double spread = 0;
  for (double v : a) spread += std::abs(v - mean);
  spread = std::max(spread / static_cast<double>(a.size()), 1e-9);
  for (double& v : a) v = (v - mean) / spread;
  return a;
}

}  // namespace

std::vector<uint8_t> MakeTexture(int width, int height, uint32_t seed) {
  // Detail at every level of the search: fine grain for the half-pel and full-pel steps,
  // coarser structure for the 2:1 and 4:1 planes.
  std::mt19937 random(seed);
  std::vector<double> sum(static_cast<size_t>(width) * height, 0.0);
  for (const auto& [radius, weight] :
       {std::pair{1, 14.0}, std::pair{3, 18.0}, std::pair{8, 22.0}}) {
    const std::vector<double> layer = SmoothNoise(width, height, radius, random);
    for (size_t i = 0; i < sum.size(); ++i) sum[i] += weight * layer[i];
  }
  std::vector<uint8_t> texture(sum.size());
  for (size_t i = 0; i < sum.size(); ++i) {
    texture[i] = static_cast<uint8_t>(std::clamp(128.0 + sum[i], 0.0, 255.0));
  }
  return texture;
}

void SampleTexture(const std::vector<uint8_t>& texture, int textureWidth, int left, int top,
                   int vectorX, int vectorY, uint8_t* luma, int stride, int width, int height) {
  const int fx = vectorX & 1;
  const int fy = vectorY & 1;
  const int ox = left + (vectorX >> 1);
  const int oy = top + (vectorY >> 1);
  for (int y = 0; y < height; ++y) {
    const uint8_t* a = texture.data() + static_cast<size_t>(oy + y) * textureWidth + ox;
    const uint8_t* b = a + textureWidth;
    for (int x = 0; x < width; ++x) {
      int v;
      if (fx && fy) {
        v = (a[x] + a[x + 1] + b[x] + b[x + 1] + 2) >> 2;
      } else if (fx) {
        v = (a[x] + a[x + 1] + 1) >> 1;
      } else if (fy) {
        v = (a[x] + b[x] + 1) >> 1;
      } else {
        v = a[x];
      }
      luma[y * stride + x] = static_cast<uint8_t>(v);
    }
  }
}

std::vector<CodedPicture> CodeTextureSequence(const EncoderSettings& settings, int length,
                                              const std::vector<uint8_t>& texture,
                                              int textureWidth, const TextureOffset& offset,
                                              CMotionEstimator* estimator,
                                              const std::function<void(MeSession&)>& before) {
  MeSession session(settings, estimator);
  if (before) before(session);
  for (int d = 0; d < length; ++d) {
    const std::pair<int, int> o = offset(d);
    session.Feed(session.NewPicture(d), false, [&](uint8_t* luma, int stride) {
      SampleTexture(texture, textureWidth, kTextureMargin, kTextureMargin, o.first, o.second,
                    luma, stride, settings.codedWidth, settings.codedHeight);
    });
  }
  session.Estimator().FlushQueue();
  return session.Encoder().coded;
}

}  // namespace orx::venc::test
