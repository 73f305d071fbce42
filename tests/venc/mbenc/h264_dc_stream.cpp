#include "tests/venc/mbenc/h264_dc_stream.h"

#include <algorithm>
#include <cstdlib>
#include <random>

#include "tests/venc/mbenc/test_encoders.h"

namespace orx::venc::test {
namespace {

constexpr int kMbTypeI16x16DcChromaDc = 7;  // Intra 16x16, DC prediction, chroma DC only
constexpr int kSliceTypeP = 5, kSliceTypeB = 6, kSliceTypeI = 7;
constexpr int kLevelScaleDc[6] = {10, 11, 13, 14, 16, 18};  // the (0, 0) dequantisation value

int Clip(int v) { return std::clamp(v, 0, 255); }

int CountNonZero(const int16_t* levels, int n, int step) {
  int count = 0;
  for (int i = 0; i < n; ++i) count += levels[i * step] != 0;
  return count;
}

// One planar picture of the coded size.
struct Planes {
  int width = 0, height = 0;
  std::vector<uint8_t> y, u, v;
  Planes(int w, int h) : width(w), height(h), y(size_t(w) * h), u(size_t(w / 2) * (h / 2)), v(size_t(w / 2) * (h / 2)) {}
};

// Inverse luma DC: the 4x4 Hadamard transform of the levels, then the DC scaling.
void LumaDc(const int16_t* levels, int qp, int out[16]) {
  static constexpr int kH[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, -1, 1}, {1, -1, 1, -1}};
  int t[4][4] = {};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) t[i][j] += kH[i][k] * levels[4 * k + j];
  const int scale = 16 * kLevelScaleDc[qp % 6];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      int f = 0;
      for (int k = 0; k < 4; ++k) f += t[i][k] * kH[k][j];
      out[4 * i + j] = qp >= 36 ? (f * scale) << (qp / 6 - 6)
                                : (f * scale + (1 << (5 - qp / 6))) >> (6 - qp / 6);
    }
  }
}

void ChromaDc(const int16_t* c, int qpc, int out[4]) {
  const int f[4] = {c[0] + c[1] + c[2] + c[3], c[0] - c[1] + c[2] - c[3],
                    c[0] + c[1] - c[2] - c[3], c[0] - c[1] - c[2] + c[3]};
  const int scale = 16 * kLevelScaleDc[qpc % 6];
  for (int i = 0; i < 4; ++i) out[i] = ((f[i] * scale) << (qpc / 6)) >> 5;
}

int Sum(const uint8_t* p, int n, int step) {
  int s = 0;
  for (int i = 0; i < n; ++i) s += p[i * step];
  return s;
}

void ReconstructIntraPicture(Planes& pic, int mbw, int mbh, int qp,
                             const std::function<DcLevels(int, int)>& levelsOf) {
  const int w = pic.width;
  const int cw = w / 2;
  for (int my = 0; my < mbh; ++my) {
    for (int mx = 0; mx < mbw; ++mx) {
      const DcLevels levels = levelsOf(mx, my);
      const bool left = mx > 0, top = my > 0;
      // Luma: 16x16 DC prediction plus one DC residual per 4x4 block.
      uint8_t* y0 = pic.y.data() + size_t(16 * my) * w + 16 * mx;
      int pred = 128;
      if (left && top) pred = (Sum(y0 - w, 16, 1) + Sum(y0 - 1, 16, w) + 16) >> 5;
      else if (left) pred = (Sum(y0 - 1, 16, w) + 8) >> 4;
      else if (top) pred = (Sum(y0 - w, 16, 1) + 8) >> 4;
      int dc[16];
      LumaDc(levels.luma, qp, dc);
      for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) y0[r * w + c] = Clip(pred + ((dc[4 * (r / 4) + c / 4] + 32) >> 6));
      // Chroma: DC prediction per 4x4 block, then the DC residual.
      for (int plane = 0; plane < 2; ++plane) {
        uint8_t* c0 = (plane == 0 ? pic.u.data() : pic.v.data()) + size_t(8 * my) * cw + 8 * mx;
        int cdc[4];
        ChromaDc(levels.chroma[plane], qp, cdc);  // QPc = QP below 30
        int preds[4];
        for (int b = 0; b < 4; ++b) {
          const int bx = 4 * (b & 1), by = 4 * (b >> 1);
          // Every block predicts from the row above the macroblock and its own rows of the
          // column to the left.
          const int sTop = top ? Sum(c0 - cw + bx, 4, 1) : 0;
          const int sLeft = left ? Sum(c0 + by * cw - 1, 4, cw) : 0;
          int v = 128;
          if (bx == by) {
            if (left && top) v = (sTop + sLeft + 4) >> 3;
            else if (left) v = (sLeft + 2) >> 2;
            else if (top) v = (sTop + 2) >> 2;
          } else if (bx > by) {
            if (top) v = (sTop + 2) >> 2;
            else if (left) v = (sLeft + 2) >> 2;
          } else {
            if (left) v = (sLeft + 2) >> 2;
            else if (top) v = (sTop + 2) >> 2;
          }
          preds[b] = v;
        }
        for (int b = 0; b < 4; ++b) {
          const int bx = 4 * (b & 1), by = 4 * (b >> 1);
          for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
              c0[(by + r) * cw + bx + c] = Clip(preds[b] + ((cdc[b] + 32) >> 6));
        }
      }
    }
  }
}

}  // namespace

EncoderSettings MakeH264Settings(int width, int height, IVideoBitStream* output, bool progressive) {
  EncoderSettings s = MakeSettings(CODEC_H264, width, height, output);
  s.mbRows = progressive ? (height + 15) / 16 : 2 * ((height + 31) / 32);
  s.codedHeight = 16 * s.mbRows;
  s.progressiveSequence = progressive ? 1 : 0;
  s.videoFormat = 5;
  s.profileLevel = (77 << 8) | 30;  // main profile, level 3.0
  s.constraintFlags = 0x60;
  s.aspectCode = 1;
  s.loopFilter = 0;
  return s;
}

void H264DcStreamEncoder::WriteSliceHeader(const CPicture* picture) {
  const int type = picture->pictureType;
  const bool idr = type == PICTURE_I && picture->closedGop;
  if (idr) {
    idrDisplay_ = picture->displayNumber;
    ++idrCount_;
  }
  BeginEscapedUnit(1);
  PutBits(idr ? 0x65 : type == PICTURE_B ? 0x01 : 0x41, 8);
  PutUe(0);  // first_mb_in_slice
  PutUe(type == PICTURE_I ? kSliceTypeI : type == PICTURE_P ? kSliceTypeP : kSliceTypeB);
  PutUe(0);  // pic_parameter_set_id
  PutBits((type == PICTURE_B ? frameNumber_ + 1 : frameNumber_) & 15, 4);
  if (!settings_->progressiveSequence) PutBits(0, 1);  // field_pic_flag
  if (idr) PutUe(static_cast<uint32_t>(idrCount_ & 1));  // idr_pic_id
  PutBits(static_cast<uint32_t>(2 * (picture->displayNumber - idrDisplay_)) & 63, 6);
  if (!settings_->progressiveSequence) PutSe(0);  // delta_pic_order_cnt_bottom
  if (type == PICTURE_B) PutBits(1, 1);  // direct_spatial_mv_pred_flag
  if (type != PICTURE_I) PutBits(0, 1);  // num_ref_idx_active_override_flag
  if (type != PICTURE_I) PutBits(0, 1);  // ref_pic_list_reordering_flag_l0
  if (type == PICTURE_B) PutBits(0, 1);  // ref_pic_list_reordering_flag_l1
  if (idr) {
    PutBits(0, 1);  // no_output_of_prior_pics_flag
    PutBits(0, 1);  // long_term_reference_flag
  } else if (type != PICTURE_B) {
    PutBits(0, 1);  // adaptive_ref_pic_marking_mode_flag
  }
  PutSe(sliceQp - 26);  // slice_qp_delta
  if (!settings_->loopFilter) PutUe(1);  // disable_deblocking_filter_idc
}

void H264DcStreamEncoder::EncodePictureBody(CPicture* picture) {
  WriteSliceHeader(picture);
  const int mbs = settings_->mbCols * settings_->mbRows;
  if (picture->pictureType != PICTURE_I) {
    PutUe(static_cast<uint32_t>(mbs));  // mb_skip_run: the whole picture
  } else {
    for (int my = 0; my < settings_->mbRows; ++my) {
      for (int mx = 0; mx < settings_->mbCols; ++mx) {
        const DcLevels l = levels ? levels(codedIndex_, mx, my) : DcLevels{};
        PutUe(kMbTypeI16x16DcChromaDc);
        PutUe(0);  // intra_chroma_pred_mode: DC
        PutSe(0);  // mb_qp_delta
        // No AC anywhere, so every neighbouring block's count is 0 and nC is 0.
        WriteCavlcBlock(this, l.luma, kH264LumaDcFrameScan, CountNonZero(l.luma, 16, 1), 0, 15);
        int16_t* dc = DcArea();
        for (int i = 0; i < 4; ++i) {
          dc[2 * i] = l.chroma[0][i];
          dc[2 * i + 1] = l.chroma[1][i];
        }
        WriteCavlcBlock(this, dc, kH264ChromaDcScan, CountNonZero(l.chroma[0], 4, 1), 4, 3);
        WriteCavlcBlock(this, dc + 1, kH264ChromaDcScan, CountNonZero(l.chroma[1], 4, 1), 4, 3);
        if (BufferedWholeWords() * 4 >= kFlushThresholdBytes) FlushBits(false);
      }
    }
  }
  PutBits(1, 1);  // rbsp_stop_one_bit
  AlignToByte();
  ++codedIndex_;
}

H264DcRig::H264DcRig(int width, int height, bool progressive)
    : settings(MakeH264Settings(width, height, &output, progressive)) {
  rateControl.encoder = &encoder;
  rateControl.vbvFullness = 1000000;
}

std::vector<uint8_t> H264DcRig::Encode(int frames, const PlanOptions& options) {
  clip.width = settings.width;
  clip.height = settings.height;
  clip.frames.assign(static_cast<size_t>(frames), std::vector<uint8_t>(clip.FrameBytes(), 128));
  settings.gopLength = options.gopLength;
  settings.anchorDistance = options.anchorDistance;
  PlanOptions plan = options;
  plan.searchRange = 0;
  planner = std::make_unique<TestPlanner>(settings, plan, clip);
  // Interlaced sequences: frames of two fields, coded as frame macroblocks (no pairs).
  if (!settings.progressiveSequence) {
    for (PlannedPicture* p : planner->CodingOrder()) p->picture.topFieldFirst = options.topFieldFirst ? 1 : 0;
  }
  if (!encoder.Init(&settings, &rateControl)) return {};
  for (PlannedPicture* p : planner->CodingOrder()) encoder.EncodePicture(&p->picture, nullptr);
  encoder.Finish();
  return output.AllBytes();
}

orx::test::RawVideo ReconstructDcStream(const H264DcRig& rig) {
  const EncoderSettings& s = rig.settings;
  std::vector<PlannedPicture*> coding = rig.planner->CodingOrder();
  std::vector<Planes> recon;
  std::vector<int> codingOf(coding.size());
  for (size_t n = 0; n < coding.size(); ++n) {
    const PlannedPicture* p = coding[n];
    codingOf[static_cast<size_t>(p->display)] = static_cast<int>(n);
    Planes pic(s.codedWidth, s.codedHeight);
    const int type = p->picture.pictureType;
    if (type == PICTURE_I) {
      ReconstructIntraPicture(pic, s.mbCols, s.mbRows, rig.encoder.sliceQp, [&](int x, int y) {
        return rig.encoder.levels ? rig.encoder.levels(static_cast<int>(n), x, y) : DcLevels{};
      });
    } else if (type == PICTURE_P) {
      pic = recon[static_cast<size_t>(p->forward->codingIndex)];
    } else {
      const Planes& a = recon[static_cast<size_t>(p->forward->codingIndex)];
      const Planes& b = recon[static_cast<size_t>(p->backward->codingIndex)];
      for (size_t i = 0; i < pic.y.size(); ++i) pic.y[i] = uint8_t((a.y[i] + b.y[i] + 1) >> 1);
      for (size_t i = 0; i < pic.u.size(); ++i) {
        pic.u[i] = uint8_t((a.u[i] + b.u[i] + 1) >> 1);
        pic.v[i] = uint8_t((a.v[i] + b.v[i] + 1) >> 1);
      }
    }
    recon.push_back(std::move(pic));
  }
  orx::test::RawVideo out;
  out.width = s.width;
  out.height = s.height;
  for (size_t d = 0; d < coding.size(); ++d) {
    const Planes& pic = recon[static_cast<size_t>(codingOf[d])];
    std::vector<uint8_t> frame;
    for (int r = 0; r < s.height; ++r)
      frame.insert(frame.end(), pic.y.begin() + size_t(r) * pic.width, pic.y.begin() + size_t(r) * pic.width + s.width);
    for (const std::vector<uint8_t>* plane : {&pic.u, &pic.v})
      for (int r = 0; r < (s.height + 1) / 2; ++r)
        frame.insert(frame.end(), plane->begin() + size_t(r) * (pic.width / 2),
                     plane->begin() + size_t(r) * (pic.width / 2) + (s.width + 1) / 2);
    out.frames.push_back(std::move(frame));
  }
  return out;
}

DcLevels RandomDcLevels(uint32_t seed) {
  std::mt19937 rng(seed);
  DcLevels l;
  const int kind = static_cast<int>(rng() % 6);
  // Mostly small levels with trailing ones; some blocks end in one large level that the
  // coder must escape (at 16 and above with suffixLength 0 and 1, 31 and 61 further up).
  const int nonZero = static_cast<int>(rng() % 17);
  for (int i = 0; i < nonZero; ++i) {
    const int pos = static_cast<int>(rng() % 16);
    int v = static_cast<int>(rng() % 7) - 3;
    l.luma[pos] = static_cast<int16_t>(v);
  }
  if (kind == 1) l.luma[0] = static_cast<int16_t>(16 + rng() % 4);
  if (kind == 2) l.luma[rng() % 16] = static_cast<int16_t>(-(int)(17 + rng() % 30));
  if (kind == 3) {
    // A run of rising levels that climbs the suffixLength tables into an escape.
    const int16_t climb[6] = {4, 7, 13, 25, 49, 130};
    for (int i = 0; i < 6; ++i) l.luma[i] = static_cast<int16_t>(climb[5 - i] * ((rng() & 1) ? 1 : -1));
    for (int i = 6; i < 16; ++i) l.luma[i] = 0;
  }
  for (int plane = 0; plane < 2; ++plane) {
    for (int i = 0; i < 4; ++i) {
      const int r = static_cast<int>(rng() % 10);
      l.chroma[plane][i] = static_cast<int16_t>(r < 4 ? 0 : r < 8 ? (int)(rng() % 5) - 2 : (int)(rng() % 81) - 40);
    }
  }
  return l;
}

}  // namespace orx::venc::test
