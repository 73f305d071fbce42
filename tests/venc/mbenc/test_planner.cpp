#include "tests/venc/mbenc/test_planner.h"

#include <emmintrin.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace orx::venc::test {
namespace {

int Sad16x16(const uint8_t* a, int strideA, const uint8_t* b, int strideB) {
  __m128i sum = _mm_setzero_si128();
  for (int y = 0; y < 16; ++y) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + y * strideA));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + y * strideB));
    sum = _mm_add_epi64(sum, _mm_sad_epu8(va, vb));
  }
  return _mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_srli_si128(sum, 8));
}

int BlockDeviation(const uint8_t* p, int stride) {
  int sum = 0;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) sum += p[y * stride + x];
  }
  const int mean = (sum + 32) >> 6;
  int deviation = 0;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) deviation += std::abs(p[y * stride + x] - mean);
  }
  return deviation;
}

// The 16 x 16 luma prediction at a half-sample vector, as MPEG decoders form it.
void PredictLuma(const FrameBuffer& ref, int x, int y, int vx, int vy, uint8_t* out) {
  const int stride = ref.Stride();
  const uint8_t* base = ref.Luma() + static_cast<ptrdiff_t>(y + (vy >> 1)) * stride + x + (vx >> 1);
  const int hx = vx & 1;
  const int hy = vy & 1;
  for (int r = 0; r < 16; ++r) {
    for (int c = 0; c < 16; ++c) {
      const uint8_t* p = base + r * stride + c;
      const int a = p[0];
      const int b = p[hx];
      const int cc = p[hy * stride];
      const int d = p[hy * stride + hx];
      out[16 * r + c] = static_cast<uint8_t>(hx && hy ? (a + b + cc + d + 2) >> 2 : (a + (hx ? b : cc) + 1) >> 1);
    }
  }
}

int SadBlock(const uint8_t* cur, int stride, const uint8_t* pred) { return Sad16x16(cur, stride, pred, 16); }

// True when the luma and chroma predictions of the vector lie inside the coded picture.
bool Inside(int mbX, int mbY, int vx, int vy, int width, int height) {
  const auto fits = [](int start, int v, int size, int limit) {
    const int first = start + (v >> 1);
    return first >= 0 && first + size + (v & 1) <= limit;
  };
  const int cvx = vx / 2;
  const int cvy = vy / 2;
  return fits(16 * mbX, vx, 16, width) && fits(16 * mbY, vy, 16, height) &&
         fits(8 * mbX, cvx, 8, width / 2) && fits(8 * mbY, cvy, 8, height / 2);
}

struct Search {
  PackedMV vector{};
  int cost = INT_MAX;
  uint8_t prediction[256];
};

void SearchReference(const FrameBuffer& cur, const FrameBuffer& ref, int mbX, int mbY, int range,
                     bool halfPel, Search& best) {
  const int stride = cur.Stride();
  const uint8_t* block = cur.Luma() + static_cast<size_t>(16 * mbY) * stride + 16 * mbX;
  int bestX = 0;
  int bestY = 0;
  best.cost = INT_MAX;
  for (int fy = -range; fy <= range; ++fy) {
    for (int fx = -range; fx <= range; ++fx) {
      if (!Inside(mbX, mbY, 2 * fx, 2 * fy, cur.Width(), cur.Height())) continue;
      const uint8_t* candidate = ref.Luma() + static_cast<ptrdiff_t>(16 * mbY + fy) * stride + 16 * mbX + fx;
      const int cost = Sad16x16(block, stride, candidate, stride);
      // Ties go to the shorter vector, so a still area keeps the zero vector.
      if (cost < best.cost || (cost == best.cost && std::abs(fx) + std::abs(fy) < std::abs(bestX) + std::abs(bestY))) {
        best.cost = cost;
        bestX = fx;
        bestY = fy;
      }
    }
  }
  int vx = 2 * bestX;
  int vy = 2 * bestY;
  PredictLuma(ref, 16 * mbX, 16 * mbY, vx, vy, best.prediction);
  if (halfPel) {
    uint8_t trial[256];
    const int cx = vx;
    const int cy = vy;
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        if ((dx == 0 && dy == 0) || !Inside(mbX, mbY, cx + dx, cy + dy, cur.Width(), cur.Height())) continue;
        PredictLuma(ref, 16 * mbX, 16 * mbY, cx + dx, cy + dy, trial);
        const int cost = SadBlock(block, stride, trial);
        if (cost < best.cost) {
          best.cost = cost;
          vx = cx + dx;
          vy = cy + dy;
          std::copy(trial, trial + 256, best.prediction);
        }
      }
    }
  }
  best.vector = PackedMV{static_cast<int16_t>(vx), static_cast<int16_t>(vy)};
}

// The 16 x 16 luma prediction at a quarter-sample vector, bilinear between the full samples:
// a cost estimate for the search (the encoder forms the real prediction).
void PredictLumaQuarter(const FrameBuffer& ref, int x, int y, int vx, int vy, uint8_t* out) {
  const int stride = ref.Stride();
  const uint8_t* base = ref.Luma() + static_cast<ptrdiff_t>(y + (vy >> 2)) * stride + x + (vx >> 2);
  const int fx = vx & 3;
  const int fy = vy & 3;
  for (int r = 0; r < 16; ++r) {
    for (int c = 0; c < 16; ++c) {
      const uint8_t* p = base + r * stride + c;
      const int v = (4 - fx) * (4 - fy) * p[0] + fx * (4 - fy) * p[1] + (4 - fx) * fy * p[stride] +
                    fx * fy * p[stride + 1];
      out[16 * r + c] = static_cast<uint8_t>((v + 8) >> 4);
    }
  }
}

// Full-sample search, then every quarter-sample position within three quarters of the best.
void SearchReferenceQuarter(const FrameBuffer& cur, const FrameBuffer& ref, int mbX, int mbY, int range,
                            Search& best) {
  SearchReference(cur, ref, mbX, mbY, range, false, best);
  const int stride = cur.Stride();
  const uint8_t* block = cur.Luma() + static_cast<size_t>(16 * mbY) * stride + 16 * mbX;
  const int cx = 2 * best.vector.x;  // half samples to quarter samples
  const int cy = 2 * best.vector.y;
  int vx = cx;
  int vy = cy;
  uint8_t trial[256];
  for (int dy = -3; dy <= 3; ++dy) {
    for (int dx = -3; dx <= 3; ++dx) {
      if (dx == 0 && dy == 0) continue;
      PredictLumaQuarter(ref, 16 * mbX, 16 * mbY, cx + dx, cy + dy, trial);
      const int cost = SadBlock(block, stride, trial);
      if (cost < best.cost) {
        best.cost = cost;
        vx = cx + dx;
        vy = cy + dy;
        std::copy(trial, trial + 256, best.prediction);
      }
    }
  }
  best.vector = PackedMV{static_cast<int16_t>(vx), static_cast<int16_t>(vy)};
}

// Field DCT where the lines of one field differ less than neighbouring lines of the frame.
bool PrefersFieldDct(const uint8_t* p, int stride) {
  int frame = 0;
  int field = 0;
  for (int y = 0; y < 14; ++y) {
    for (int x = 0; x < 16; ++x) {
      frame += std::abs(p[y * stride + x] - p[(y + 1) * stride + x]);
      field += std::abs(p[y * stride + x] - p[(y + 2) * stride + x]);
    }
  }
  return field < frame;
}

int FCodeFor(int largest) {
  int f = 1;
  while (largest > 16 * (1 << (f - 1)) - 1) ++f;
  return f;
}

}  // namespace

TestPlanner::TestPlanner(const EncoderSettings& settings, const PlanOptions& options,
                         const orx::test::RawVideo& video)
    : settings_(settings), options_(options), mbCols_(settings.mbCols), mbRows_(settings.mbRows) {
  for (const auto& frame : video.frames) {
    sources_.push_back(std::make_unique<FrameBuffer>(settings.codedWidth, settings.codedHeight,
                                                     settings.padX, settings.padY));
    sources_.back()->FromPlanar(frame.data(), video.width, video.height);
  }
  Order(static_cast<int>(video.frames.size()));
  for (auto& p : pictures_) Analyse(*p);
}

void TestPlanner::Order(int frames) {
  const int n = std::max(1, options_.gopLength);
  const int m = std::max(1, options_.anchorDistance);
  const auto isAnchor = [&](int d) {
    return d % n == 0 || (d % n) % m == 0 || d == frames - 1 ||
           (options_.closedGops && (d + 1) % n == 0);
  };
  std::vector<PlannedPicture*> byDisplay(static_cast<size_t>(frames));
  int previousAnchor = -1;
  int gopFirst = 0;
  int idrFirst = 0;  // H.264 counts temporal references from the last IDR picture
  bool gopClosed = true;
  for (int d = 0; d < frames; ++d) {
    if (!isAnchor(d)) continue;
    const bool intra = d % n == 0;
    std::vector<int> order = {d};
    for (int b = previousAnchor + 1; b < d; ++b) order.push_back(b);
    for (int display : order) {
      auto p = std::make_unique<PlannedPicture>();
      p->display = display;
      p->codingIndex = static_cast<int>(pictures_.size());
      p->source = sources_[static_cast<size_t>(display)].get();
      CPicture& pic = p->picture;
      const bool isB = display != d;
      pic.pictureType = isB ? PICTURE_B : intra ? PICTURE_I : PICTURE_P;
      if (display == d && intra) {
        gopFirst = previousAnchor + 1;
        gopClosed = d == 0 || options_.closedGops;
        if (gopClosed) idrFirst = gopFirst;
        SetPictureFields(*p, gopFirst, true, gopClosed);
      } else {
        SetPictureFields(*p, gopFirst, false, false);
      }
      if (settings_.codec == CODEC_H264) p->picture.temporalReference = display - idrFirst;
      byDisplay[static_cast<size_t>(display)] = p.get();
      pictures_.push_back(std::move(p));
    }
    // References: anchors predict from the previous anchor; B pictures from both.
    PlannedPicture* anchor = byDisplay[static_cast<size_t>(d)];
    PlannedPicture* previous = previousAnchor >= 0 ? byDisplay[static_cast<size_t>(previousAnchor)] : nullptr;
    if (anchor->picture.pictureType == PICTURE_P) anchor->forward = previous;
    for (int b = previousAnchor + 1; b < d; ++b) {
      PlannedPicture* bp = byDisplay[static_cast<size_t>(b)];
      bp->forward = previous;
      bp->backward = anchor;
    }
    previousAnchor = d;
  }
  for (auto& p : pictures_) {
    const auto repeat = options_.repeatPictures.find(p->display);
    if (repeat != options_.repeatPictures.end() && p->picture.pictureType != PICTURE_I) {
      p->picture.copyMode = p->picture.pictureType == PICTURE_P ? COPY_FORWARD : repeat->second;
    }
    // A repeat anchor shares its reference's reconstruction.
    if (p->picture.copyMode != COPY_NONE && p->picture.pictureType == PICTURE_P) {
      p->recon = p->forward->recon;
    } else {
      recons_.push_back(std::make_unique<FrameBuffer>(settings_.codedWidth, settings_.codedHeight,
                                                      settings_.padX, settings_.padY));
      p->recon = recons_.back().get();
    }
    CPicture& pic = p->picture;
    pic.srcLuma = p->source->Luma();
    pic.srcChroma = p->source->Chroma();
    pic.reconLuma = p->recon->Luma();
    pic.reconChroma = p->recon->Chroma();
    pic.forwardRef = p->forward ? &p->forward->picture : nullptr;
    pic.backwardRef = p->backward ? &p->backward->picture : nullptr;
    pic.sourceBufferIndex = static_cast<int16_t>(p->display);
    pic.reconBufferIndex = static_cast<int16_t>(p->codingIndex);
  }
}

void TestPlanner::SetPictureFields(PlannedPicture& p, int gopFirstDisplay, bool gopStart, bool closed) {
  CPicture& pic = p.picture;
  pic.settings = &settings_;
  pic.displayNumber = p.display;
  pic.gopStart = gopStart ? 1 : 0;
  pic.closedGop = closed ? 1 : 0;
  pic.temporalReference = p.display - gopFirstDisplay;
  // time_code of the GOP's first picture: drop_frame_flag, hours, minutes, marker, seconds,
  // pictures, counted at a whole frame rate.
  const int rate = (kFrameRateTable[settings_.frameRateIndex].rateX1000 + 999) / 1000;
  const int frames = gopFirstDisplay;
  const int seconds = frames / rate;
  pic.timeCode = ((seconds / 3600) % 24 << 19) | ((seconds / 60) % 60 << 13) | (1 << 12) |
                 ((seconds % 60) << 6) | (frames % rate);
  pic.progressiveFrame = options_.interlaced ? 0 : 1;
  pic.framePredFrameDct = options_.interlaced ? 0 : 1;
  pic.topFieldFirst = options_.interlaced && options_.topFieldFirst ? 1 : 0;
  if (options_.pulldown) {
    static constexpr int kTopFirst[4] = {1, 0, 0, 1};
    static constexpr int kRepeat[4] = {1, 0, 1, 0};
    pic.topFieldFirst = kTopFirst[p.display % 4];
    pic.repeatFirstField = kRepeat[p.display % 4];
  }
  pic.intraDcPrecision = options_.intraDcPrecision;
  pic.timeStamp = 1000 + 40 * static_cast<int64_t>(p.display);
  pic.decodeTimeStamp = 900 + 40 * static_cast<int64_t>(p.codingIndex);
  const auto captions = options_.captions.find(p.display);
  if (captions != options_.captions.end()) {
    pic.userDataCount = static_cast<int32_t>(std::min<size_t>(captions->second.size(), 4));
    std::copy_n(captions->second.begin(), pic.userDataCount, pic.userData);
  }
}

void TestPlanner::Analyse(PlannedPicture& p) {
  CPicture& pic = p.picture;
  p.mbs.assign(static_cast<size_t>(mbCols_) * mbRows_, MBInfo{});
  pic.mbInfo = p.mbs.data();
  const FrameBuffer& cur = *p.source;
  const int stride = cur.Stride();
  for (int row = 0; row < mbRows_; ++row) {
    for (int col = 0; col < mbCols_; ++col) {
      MBInfo& mb = p.Mb(col, row, mbCols_);
      const uint8_t* block = cur.Luma() + static_cast<size_t>(16 * row) * stride + 16 * col;
      int minDeviation = INT_MAX;
      for (int b = 0; b < 4; ++b) {
        const int deviation = BlockDeviation(block + (b >> 1) * 8 * stride + (b & 1) * 8, stride);
        mb.intraActivity += deviation;
        minDeviation = std::min(minDeviation, deviation);
      }
      mb.minBlockDeviation = minDeviation;
      if (options_.interlaced && PrefersFieldDct(block, stride)) mb.flags |= MBINFO_FIELD;

      if (pic.pictureType == PICTURE_I) {
        mb.flags |= MBINFO_INTRA;
        continue;
      }
      if (pic.copyMode != COPY_NONE) {
        // A repeat picture copies its reference: zero vectors, a fixed mode, nothing coded.
        if (pic.pictureType == PICTURE_B) mb.flags |= pic.copyMode == COPY_FORWARD ? MBINFO_FORWARD : MBINFO_BACKWARD;
        if (settings_.codec == CODEC_H264) {
          mb.flags |= MBINFO_PART_16X16 | (pic.pictureType == PICTURE_P ? MBINFO_FORWARD : 0);
        }
        continue;
      }
      const bool h264 = settings_.codec == CODEC_H264;
      const auto search = [&](const FrameBuffer& ref, Search& result) {
        if (h264) {
          SearchReferenceQuarter(cur, ref, col, row, options_.searchRange, result);
        } else {
          SearchReference(cur, ref, col, row, options_.searchRange, options_.halfPel, result);
        }
      };
      Search forward;
      search(*p.forward->source, forward);
      int best = forward.cost;
      uint32_t direction = MBINFO_FORWARD;
      mb.mv[0].forward = forward.vector;
      if (pic.pictureType == PICTURE_B) {
        Search backward;
        search(*p.backward->source, backward);
        uint8_t average[256];
        for (int i = 0; i < 256; ++i) average[i] = static_cast<uint8_t>((forward.prediction[i] + backward.prediction[i] + 1) >> 1);
        const int both = SadBlock(block, stride, average);
        mb.mv[0].backward = backward.vector;
        if (backward.cost < best) {
          best = backward.cost;
          direction = MBINFO_BACKWARD;
        }
        if (both < best) {
          best = both;
          direction = MBINFO_BIDIRECTIONAL;
        }
      }
      mb.interCost = best;
      // MPEG-4 B-VOPs have no intra macroblocks.
      const bool intraAllowed = !(settings_.codec == CODEC_MPEG4 && pic.pictureType == PICTURE_B);
      if (intraAllowed && mb.intraActivity < best) {
        mb.flags |= MBINFO_INTRA;
        mb.mv[0] = MBVectorPair{};
        continue;
      }
      // In MPEG P pictures a zero vector is the macroblock without the forward flag; H.264
      // macroblocks name their lists and the 16x16 partition.
      if (pic.pictureType == PICTURE_P && forward.vector == PackedMV{} && !h264) direction = 0;
      mb.flags |= direction | (h264 ? MBINFO_PART_16X16 : 0);
      if (!(direction & MBINFO_FORWARD)) mb.mv[0].forward = PackedMV{};
      if (!(direction & MBINFO_BACKWARD)) mb.mv[0].backward = PackedMV{};
    }
  }
  UpdateFCodes(p);
}

void TestPlanner::UpdateFCodes(PlannedPicture& p) const {
  CPicture& pic = p.picture;
  int forwardX = 0, forwardY = 0, backwardX = 0, backwardY = 0;
  for (const MBInfo& mb : p.mbs) {
    if (mb.flags & MBINFO_FORWARD) {
      forwardX = std::max(forwardX, std::abs(mb.mv[0].forward.x) + (mb.mv[0].forward.x > 0));
      forwardY = std::max(forwardY, std::abs(mb.mv[0].forward.y) + (mb.mv[0].forward.y > 0));
    }
    if (mb.flags & MBINFO_BACKWARD) {
      backwardX = std::max(backwardX, std::abs(mb.mv[0].backward.x) + (mb.mv[0].backward.x > 0));
      backwardY = std::max(backwardY, std::abs(mb.mv[0].backward.y) + (mb.mv[0].backward.y > 0));
    }
  }
  // A positive component v needs v <= 16 x 2^(f-1) - 1, a negative one |v| <= 16 x 2^(f-1):
  // both are FCodeFor(|v| - 1 + (v > 0)) after the adjustment above.
  const auto code = [](int adjusted) { return FCodeFor(std::max(0, adjusted - 1)); };
  pic.forwardFCodeX = pic.forwardFCodeY = pic.backwardFCodeX = pic.backwardFCodeY = FCODE_NONE;
  if (pic.pictureType == PICTURE_I) return;
  if (settings_.codec == CODEC_MPEG1 || settings_.codec == CODEC_MPEG4) {
    // One f_code per direction; MPEG-4 counts from 2 (vop_fcode 1).
    const int least = settings_.codec == CODEC_MPEG4 ? 2 : 1;
    pic.forwardFCodeX = pic.forwardFCodeY = std::max(least, code(std::max(forwardX, forwardY)));
    if (pic.pictureType == PICTURE_B) {
      pic.backwardFCodeX = pic.backwardFCodeY = std::max(least, code(std::max(backwardX, backwardY)));
    }
    return;
  }
  pic.forwardFCodeX = code(forwardX);
  pic.forwardFCodeY = code(forwardY);
  if (pic.pictureType == PICTURE_B) {
    pic.backwardFCodeX = code(backwardX);
    pic.backwardFCodeY = code(backwardY);
  }
}

std::vector<PlannedPicture*> TestPlanner::CodingOrder() {
  std::vector<PlannedPicture*> out;
  for (auto& p : pictures_) out.push_back(p.get());
  return out;
}

std::vector<PlannedPicture*> TestPlanner::DisplayOrder() {
  std::vector<PlannedPicture*> out = CodingOrder();
  std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->display < b->display; });
  return out;
}

}  // namespace orx::venc::test
