// CPreprocessor's input side: where a picture's input lies (SetupInput), its conversion into the
// encoder's planes with black outside the input (ConvertRow), 2:1 resampling of converted rows
// (ResampleRows) and the overlay blend (BlendOverlay).
//
// The SIMD kernels take widths in steps of 16 (8 chroma samples for the interleave) and store
// aligned; the columns they leave, and blocks they cannot take, are converted here sample by
// sample, so any even input width converts completely.
#include <algorithm>
#include <cstring>

#include "venc/core/preprocessor.h"
#include "venc/dsp/packed_422_samples.h"

namespace orx::venc {
namespace {

bool Aligned16(const void* pointer, int pitch) {
  return (reinterpret_cast<uintptr_t>(pointer) & 15) == 0 && (pitch & 15) == 0;
}

// The byte of a packed 4:2:2 pixel pair that holds luma: UYVY the odd bytes, YUY2 the even ones.
int LumaByteOf(uint32_t fourcc) {
  return fourcc == FOURCC_UYVY ? dsp::packed422::kUyvyLumaByte : dsp::packed422::kYuy2LumaByte;
}

// The kernels' per-sample steps for columns [from, to) of a packed conversion: destination pitch as the
// dispatcher takes it (mode 1 writes chroma rows at half that pitch).
void ConvertPackedColumns(const uint8_t* source, int sourcePitch, uint8_t* luma, uint8_t* chroma, int pitch,
                          int rows, int from, int to, int mode, int lumaByte) {
  for (int r = 0; r < rows; ++r) {
    uint8_t* rowChroma = mode == 1 ? chroma + static_cast<ptrdiff_t>(r) * (pitch >> 1) : nullptr;
    dsp::packed422::ConvertRowSamples(source + static_cast<ptrdiff_t>(r) * sourcePitch, lumaByte, from, to,
                                      luma + static_cast<ptrdiff_t>(r) * pitch, rowChroma);
  }
  if (mode < 2 || mode > 4) return;
  for (int r = 0; r + 1 < rows; r += 2) {
    const uint8_t* first = source + static_cast<ptrdiff_t>(r) * sourcePitch;
    dsp::packed422::CombineRowPairChroma(first, first + sourcePitch, lumaByte, mode, from, to,
                                         chroma + static_cast<ptrdiff_t>(r / 2) * pitch);
  }
}

}  // namespace

void CPreprocessor::Fill(uint8_t* destination, int width, int rows, int pitch, uint32_t value) {
  if (width <= 0 || rows <= 0) return;
  const int whole = width & ~3;
  if (whole > 0) core_->FillRows(destination, whole, rows, pitch, value);
  for (int r = 0; r < rows && whole < width; ++r) {
    std::memset(destination + static_cast<ptrdiff_t>(r) * pitch + whole, static_cast<int>(value & 0xFF),
                static_cast<size_t>(width - whole));
  }
}

void CPreprocessor::SetupInput(InputConversion* in, const CPicture* picture, int xOffset, int yOffset) const {
  const EncoderSettings& s = *settings_;
  *in = InputConversion{};
  in->fourcc = picture->inputFourcc;
  in->packed = in->fourcc == FOURCC_YUY2 || in->fourcc == FOURCC_UYVY;
  in->width = picture->inputWidth;
  in->height = picture->inputHeight;
  in->horizontalHalving = s.horizontalHalving;
  in->verticalMode = s.verticalMode;

  const uint8_t* first = picture->inputData;
  const uint8_t* second = reinterpret_cast<const uint8_t*>(picture->inputDataWord);
  if (second != nullptr) {
    if (picture->pictureMark != 0 && s.progressiveSequence != 0) {
      // The two pointers are alternatives: one progressive frame, from the second with word 2.
      if (picture->pictureWord == 2) first = second;
      second = nullptr;
    } else {
      in->separateFields = true;
    }
  }
  if (in->separateFields && in->verticalMode == 1) {
    // One field only: the first field is read as the frame.
    in->separateFields = false;
    in->verticalMode = 0;
    second = nullptr;
  }

  if (picture->progressiveFrame == 0) {
    in->fieldOrder = picture->topFieldFirst != 0 ? 1 : 2;
    if (s.reorderPictures != 0 || in->verticalMode != 0) in->fieldOrder = 2;
  }
  if (picture->progressiveFrame == 0) {
    in->chromaModes[0] = 3;
    in->chromaModes[1] = 4;
  } else if (in->fieldOrder != 0) {
    if (in->separateFields) {
      in->chromaModes[0] = in->fieldOrder == 1 ? 1 : 0;
      in->chromaModes[1] = in->fieldOrder == 1 ? 0 : 1;
    } else {
      in->chromaModes[0] = 3;
      in->chromaModes[1] = 4;
    }
  } else if (in->separateFields) {
    in->chromaModes[0] = 1;
    in->chromaModes[1] = 0;
  }
  if (in->verticalMode != 0) {
    in->combFieldOrder = in->fieldOrder;
    in->fieldOrder = 0;
  }

  // Planes of one frame (or field) of the input kind.
  const int w = in->width;
  const int h = in->height;
  const size_t lumaBytes = static_cast<size_t>(w) * h;
  in->lumaPitch = in->packed ? 2 * w : w;
  in->chromaPitch = in->fourcc == FOURCC_NV12 ? w : w / 2;
  const int fieldRowOffset = in->separateFields ? yOffset / 2 : yOffset;
  auto place = [&](const uint8_t* base, const uint8_t** luma, const uint8_t** chroma, const uint8_t** chroma2) {
    if (base == nullptr) return;
    *luma = base + static_cast<size_t>(fieldRowOffset) * in->lumaPitch + (in->packed ? 2 * xOffset : xOffset);
    if (in->packed) return;
    const size_t chromaRow = static_cast<size_t>(fieldRowOffset / 2) * in->chromaPitch;
    if (in->fourcc == FOURCC_NV12) {
      *chroma = base + lumaBytes + chromaRow + xOffset;
      return;
    }
    const size_t planeBytes = static_cast<size_t>(w / 2) * (h / 2);
    const uint8_t* firstPlane = base + lumaBytes + chromaRow + xOffset / 2;
    const uint8_t* secondPlane = firstPlane + planeBytes;
    // YV12 holds V before U.
    *chroma = in->fourcc == FOURCC_YV12 ? secondPlane : firstPlane;
    *chroma2 = in->fourcc == FOURCC_YV12 ? firstPlane : secondPlane;
  };
  place(first, &in->luma, &in->chroma, &in->chroma2);
  place(second, &in->fieldLuma, &in->fieldChroma, &in->fieldChroma2);

  // One field of an interleaved frame: every second row.
  int inputRows = in->separateFields ? 2 * h : h;
  if (in->verticalMode == 1) {
    in->fieldRead = true;
    in->lumaPitch *= 2;
    in->chromaPitch *= 2;
    inputRows = h / 2;
  }

  const int hs = in->horizontalHalving != 0 ? 2 : 1;
  const int vs = in->verticalMode == 2 ? 2 : 1;
  in->left = s.borderX * hs;
  in->top = s.borderY * vs;
  in->right = std::min((s.width - s.borderX) * hs, w - xOffset);
  in->bottom = std::min((s.height - s.borderY) * vs, inputRows - yOffset);
}

void CPreprocessor::ConvertSpan(const InputConversion& in, uint8_t* luma, uint8_t* chroma, int x, int y,
                                int width, int rows, int stride) {
  // Plane copy: the kernel for whole 16-byte groups to an aligned destination, the rest here.
  auto copyRows = [&](const uint8_t* source, int sourcePitch, uint8_t* destination, int pitch, int bytes, int n) {
    const int whole = Aligned16(destination, pitch) ? bytes & ~15 : 0;
    if (whole > 0) core_->CopyPlane(n, whole, sourcePitch - whole, pitch - whole, source, destination);
    for (int r = 0; r < n && whole < bytes; ++r) {
      std::memcpy(destination + static_cast<ptrdiff_t>(r) * pitch + whole,
                  source + static_cast<ptrdiff_t>(r) * sourcePitch + whole, static_cast<size_t>(bytes - whole));
    }
  };
  auto interleaveRows = [&](const uint8_t* cb, const uint8_t* cr, int sourcePitch, uint8_t* destination, int pitch,
                            int samples, int n) {
    const int whole = Aligned16(destination, pitch) ? samples & ~7 : 0;
    if (whole > 0) core_->InterleaveUV(n, whole, sourcePitch - whole, pitch - 2 * whole, cb, cr, destination);
    for (int r = 0; r < n && whole < samples; ++r) {
      uint8_t* out = destination + static_cast<ptrdiff_t>(r) * pitch;
      for (int i = whole; i < samples; ++i) {
        out[2 * i] = cb[static_cast<ptrdiff_t>(r) * sourcePitch + i];
        out[2 * i + 1] = cr[static_cast<ptrdiff_t>(r) * sourcePitch + i];
      }
    }
  };
  auto convertPacked = [&](const uint8_t* source, int sourcePitch, uint8_t* lumaOut, uint8_t* chromaOut, int pitch,
                           int n, int mode) {
    const bool pairs = mode != 1;  // every mode but 1 takes rows in pairs
    const int chromaPitch = mode == 1 ? pitch >> 1 : pitch;
    const bool kernel = Aligned16(lumaOut, pitch) && Aligned16(chromaOut, chromaPitch) && (!pairs || n % 2 == 0);
    const int whole = kernel ? width & ~15 : 0;
    if (whole > 0) {
      uint8_t* destinations[2] = {lumaOut, chromaOut};
      const int skip = sourcePitch - 2 * whole;
      if (in.fourcc == FOURCC_UYVY) {
        core_->ConvertUYVY(n, whole, skip, pitch, source, destinations, mode);
      } else {
        core_->ConvertYUY2(n, whole, skip, pitch, source, destinations, mode);
      }
    }
    if (whole < width) {
      ConvertPackedColumns(source, sourcePitch, lumaOut, chromaOut, pitch, n, whole, width, mode, LumaByteOf(in.fourcc));
    }
  };

  const int sampleX = x / 2;
  if (in.packed) {
    const bool fieldWise = in.separateFields || in.chromaModes[0] != in.chromaModes[1];
    if (!fieldWise) {
      const uint8_t* source = in.luma + static_cast<ptrdiff_t>(y) * in.lumaPitch + 2 * x;
      convertPacked(source, in.lumaPitch, luma, chroma, stride, rows, in.chromaModes[0]);
      return;
    }
    for (int field = 0; field < 2; ++field) {
      const uint8_t* source =
          in.separateFields
              ? (field == 0 ? in.luma : in.fieldLuma) + static_cast<ptrdiff_t>(y / 2) * in.lumaPitch + 2 * x
              : in.luma + static_cast<ptrdiff_t>(y + field) * in.lumaPitch + 2 * x;
      const int sourcePitch = in.separateFields ? in.lumaPitch : 2 * in.lumaPitch;
      // The second field's chroma goes one chroma row lower when the first field wrote chroma.
      uint8_t* chromaOut = chroma + (field == 1 && in.chromaModes[0] != 0 ? stride : 0);
      convertPacked(source, sourcePitch, luma + field * stride, chromaOut, 2 * stride, rows / 2,
                    in.chromaModes[field]);
    }
    return;
  }

  if (!in.separateFields) {
    copyRows(in.luma + static_cast<ptrdiff_t>(y) * in.lumaPitch + x, in.lumaPitch, luma, stride, width, rows);
    const ptrdiff_t chromaRow = static_cast<ptrdiff_t>(y / 2) * in.chromaPitch;
    if (in.fourcc == FOURCC_NV12) {
      copyRows(in.chroma + chromaRow + x, in.chromaPitch, chroma, stride, width, rows / 2);
    } else {
      interleaveRows(in.chroma + chromaRow + sampleX, in.chroma2 + chromaRow + sampleX, in.chromaPitch, chroma,
                     stride, width / 2, rows / 2);
    }
    return;
  }
  // Separate fields: the first field gives the even rows, the second the odd ones.
  for (int field = 0; field < 2; ++field) {
    const uint8_t* fieldLuma = field == 0 ? in.luma : in.fieldLuma;
    const uint8_t* fieldChroma = field == 0 ? in.chroma : in.fieldChroma;
    const uint8_t* fieldChroma2 = field == 0 ? in.chroma2 : in.fieldChroma2;
    copyRows(fieldLuma + static_cast<ptrdiff_t>(y / 2) * in.lumaPitch + x, in.lumaPitch, luma + field * stride,
             2 * stride, width, rows / 2);
    const ptrdiff_t chromaRow = static_cast<ptrdiff_t>(y / 4) * in.chromaPitch;
    if (in.fourcc == FOURCC_NV12) {
      copyRows(fieldChroma + chromaRow + x, in.chromaPitch, chroma + field * stride, 2 * stride, width, rows / 4);
    } else {
      interleaveRows(fieldChroma + chromaRow + sampleX, fieldChroma2 + chromaRow + sampleX, in.chromaPitch,
                     chroma + field * stride, 2 * stride, width / 2, rows / 4);
    }
  }
}

int CPreprocessor::ConvertRow(const InputConversion& in, uint8_t* luma, uint8_t* chroma, int x, int y, int width,
                              int rows, int stride) {
  // The part of the block that comes from the input, in whole chroma units (and in whole row
  // pairs of both fields when the fields are converted apart).
  const bool fieldWise = in.separateFields || (in.packed && in.chromaModes[0] != in.chromaModes[1]);
  const int rowUnit = fieldWise ? 4 : 2;
  const int x0 = (std::max(x, in.left) + 1) & ~1;
  const int x1 = std::min(x + width, in.right) & ~1;
  const int y0 = (std::max(y, in.top) + rowUnit - 1) / rowUnit * rowUnit;
  int y1 = std::min(y + rows, in.bottom);
  y1 = y0 + std::max(y1 - y0, 0) / rowUnit * rowUnit;
  if (x1 <= x0 || y1 <= y0 || in.luma == nullptr) {
    Fill(luma, width, rows, stride, 0);
    Fill(chroma, width, rows / 2, stride, 0x80808080u);
    return 1;
  }
  const int above = y0 - y;
  const int below = y + rows - y1;
  const int inside = y1 - y0;
  Fill(luma, width, above, stride, 0);
  Fill(chroma, width, above / 2, stride, 0x80808080u);
  Fill(luma + static_cast<ptrdiff_t>(y1 - y) * stride, width, below, stride, 0);
  Fill(chroma + static_cast<ptrdiff_t>((y1 - y) / 2) * stride, width, below / 2, stride, 0x80808080u);
  uint8_t* lumaInside = luma + static_cast<ptrdiff_t>(above) * stride;
  uint8_t* chromaInside = chroma + static_cast<ptrdiff_t>(above / 2) * stride;
  const int left = x0 - x;
  const int right = x + width - x1;
  Fill(lumaInside, left, inside, stride, 0);
  Fill(chromaInside, left, inside / 2, stride, 0x80808080u);
  Fill(lumaInside + (x1 - x), right, inside, stride, 0);
  Fill(chromaInside + (x1 - x), right, inside / 2, stride, 0x80808080u);
  ConvertSpan(in, lumaInside + left, chromaInside + left, x0, y0, x1 - x0, inside, stride);
  return 0;
}

void CPreprocessor::ResampleRows(const InputConversion& in, uint8_t* luma, uint8_t* chroma, int stride, int width,
                                 int rows, bool continuation, int carryColumn) {
  const int hs = in.horizontalHalving != 0 ? 2 : 1;
  const int vs = in.verticalMode == 2 ? 2 : 1;
  const int pitch = width * hs;  // the converted rows lie one after another
  const int convertedRows = rows * vs;
  if (in.combFieldOrder == 2) {
    uint8_t* lumaCarry = lumaFilterLine_ + carryColumn;
    uint8_t* chromaCarry = chromaFilterLine_ + carryColumn;
    if (!continuation) {
      std::memcpy(lumaCarry, lumaLines_, static_cast<size_t>(pitch));
      std::memcpy(chromaCarry, chromaLines_, static_cast<size_t>(pitch));
    }
    if (convertedRows >= 2) core_->FilterCombRowsTwoSource(lumaCarry, lumaLines_, pitch, convertedRows / 2);
    if (convertedRows >= 4) core_->FilterCombRowsTwoSource(chromaCarry, chromaLines_, pitch, convertedRows / 4);
  }
  const int skip = stride - width;
  if (hs == 2 && vs == 2) {
    core_->Downscale2x2(luma, lumaLines_, width, rows, skip);
    core_->Downscale2x2Chroma(chroma, chromaLines_, width, rows / 2, skip);
  } else if (hs == 2) {
    core_->DownscaleHorz(luma, lumaLines_, width, rows, skip);
    core_->DownscaleHorzChroma(chroma, chromaLines_, width, rows / 2, skip);
  } else if (vs == 2) {
    core_->DownscaleVert(luma, lumaLines_, width, rows, skip);
    core_->DownscaleVert(chroma, chromaLines_, width, rows / 2, skip);
  }
}

void CPreprocessor::BlendOverlay(uint8_t* luma, uint8_t* chroma, int x, int y, int width, int rows, int stride,
                                 const PictureOverlay& overlay) {
  if (overlay.luma == nullptr || overlay.lumaWeights == nullptr) return;
  const int ox = overlay.x & ~1;
  const int oy = overlay.y & ~1;
  // The overlay clipped to the block, in whole chroma units. The plain blend takes any position
  // and width, so nothing outside the overlay's planes is read.
  const int x0 = std::max(x, ox);
  const int x1 = std::min(x + width, ox + overlay.width) & ~1;
  const int y0 = std::max(y, oy);
  const int y1 = std::min(y + rows, oy + overlay.height) & ~1;
  if (x1 - x0 < 2 || y1 - y0 < 2) return;
  const ptrdiff_t overlayOffset = static_cast<ptrdiff_t>(y0 - oy) * overlay.stride + (x0 - ox);
  core_->BlendWeighted(luma + static_cast<ptrdiff_t>(y0 - y) * stride + (x0 - x), overlay.luma + overlayOffset,
                       overlay.lumaWeights + overlayOffset, overlay.strength, x1 - x0, y1 - y0, overlay.stride,
                       stride);
  if (overlay.chroma == nullptr || overlay.chromaWeights == nullptr) return;
  const ptrdiff_t chromaOffset = static_cast<ptrdiff_t>((y0 - oy) / 2) * overlay.stride + (x0 - ox);
  core_->BlendWeighted(chroma + static_cast<ptrdiff_t>((y0 - y) / 2) * stride + (x0 - x),
                       overlay.chroma + chromaOffset, overlay.chromaWeights + chromaOffset, overlay.strength, x1 - x0,
                       (y1 - y0) / 2, overlay.stride, stride);
}

}  // namespace orx::venc
