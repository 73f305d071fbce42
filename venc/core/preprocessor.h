#pragma once
// CPreprocessor: turns each input picture into the encoder's working form and drives motion
// estimation for it. Per macroblock row it converts the caller's frame (planar 4:2:0, NV12 or
// packed 4:2:2) into the picture's source frame buffer (luma plane plus one interleaved chroma
// plane), fills what lies outside the input with black, optionally resamples, filters noise,
// repairs combing and blends an overlay, pads the borders for motion search, and measures every
// macroblock (intra activity, smallest 8x8 deviation, field or frame structure) into its MBInfo
// record with the picture sums that rate control and motion estimation read.
//
// Two roads: ProcessPicture (the whole picture, then the estimator's whole-picture driver) and
// ProcessQueuedPicture (macroblock by macroblock into the picture's block-ordered row buffer,
// each row handed to the estimator's row driver), used when the encoder reorders pictures.
#include <cstdint>
#include <memory>

#include "media/media_codes.h"
#include "venc/common/encoder_settings.h"
#include "venc/common/picture.h"
#include "venc/dsp/mb_core.h"
#include "venc/dsp/preproc_core.h"

namespace orx::venc {

class CMotionEstimator;

// Input FOURCCs, as the component names its input kinds.
constexpr uint32_t MakeFourcc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
inline constexpr uint32_t FOURCC_I420 = MakeFourcc('I', '4', '2', '0');
inline constexpr uint32_t FOURCC_YV12 = MakeFourcc('Y', 'V', '1', '2');
inline constexpr uint32_t FOURCC_NV12 = MakeFourcc('N', 'V', '1', '2');
inline constexpr uint32_t FOURCC_YUY2 = MakeFourcc('Y', 'U', 'Y', '2');
inline constexpr uint32_t FOURCC_UYVY = MakeFourcc('U', 'Y', 'V', 'Y');

// The FOURCC the component gives the encoder for an input media subtype. Any subtype not listed
// is "I420": planar 4:2:0, and the 32-bit inputs the component converts to it first.
struct InputFourcc {
  uint32_t subtype;
  uint32_t fourcc;
};
inline constexpr InputFourcc kInputFourccs[] = {
    {QVA_MSUBTYPE_YUV411, FOURCC_YV12},
    {QVA_MSUBTYPE_YUV422, FOURCC_YV12},
    {QVA_MSUBTYPE_NV12, FOURCC_NV12},
};
constexpr uint32_t InputFourccOf(uint32_t subtype) {
  for (const InputFourcc& listed : kInputFourccs) {
    if (listed.subtype == subtype) return listed.fourcc;
  }
  return FOURCC_I420;
}

// Preprocessor flag bits (the encoder's flags word).
inline constexpr uint32_t PREPROC_NO_ESTIMATOR = 0x10000;  // ProcessPicture leaves out the estimator
inline constexpr uint32_t PREPROC_ROW_WINDOW = 0x80000;    // rows: first bits 0-7, count bits 24-31

// An image blended over the picture with a per-pixel weight map: ((256 - w) x picture +
// w x overlay) >> 8, w = (weight x (strength + 1)) >> 8.
struct PictureOverlay {
  int32_t width;
  int32_t height;
  int32_t stride;  // of all four planes
  int32_t x;  // position in the picture, rounded down to even
  int32_t y;
  const uint8_t* luma;
  const uint8_t* chroma;  // interleaved Cb/Cr, half the rows
  const uint8_t* lumaWeights;
  const uint8_t* chromaWeights;
  int32_t strength;  // 0-255
};

// Where one picture's input comes from and how it maps onto the coded picture. Coordinates are
// conversion coordinates: the coded picture doubled horizontally with halving and vertically in
// vertical mode 2, counted from the crop origin of the input.
struct InputConversion {
  bool packed = false;  // "YUY2" or "UYVY"
  uint32_t fourcc = 0;
  bool separateFields = false;  // the two fields at two pointers
  bool fieldRead = false;  // one field of an interleaved frame is read (vertical mode 1)
  int width = 0;  // input size in pixels (one field's height with separate fields)
  int height = 0;
  int fieldOrder = 0;  // 0 progressive, 1 or 2 the field that comes first
  int combFieldOrder = 0;
  int horizontalHalving = 0;
  int verticalMode = 0;
  int chromaModes[2] = {2, 2};  // packed 4:2:2 chroma modes of the first and second field
  // Source planes at the crop origin: luma (or the packed rows), first and second chroma planes
  // (Cb then Cr; the interleaved plane of NV12 in chroma), and the second field's copies.
  const uint8_t* luma = nullptr;
  const uint8_t* chroma = nullptr;
  const uint8_t* chroma2 = nullptr;
  const uint8_t* fieldLuma = nullptr;
  const uint8_t* fieldChroma = nullptr;
  const uint8_t* fieldChroma2 = nullptr;
  int lumaPitch = 0;  // source bytes from one converted row to the next
  int chromaPitch = 0;
  // The input rectangle.
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

class CPreprocessor {
 public:
  CPreprocessor() = default;
  ~CPreprocessor() { Free(); }
  CPreprocessor(const CPreprocessor&) = delete;
  CPreprocessor& operator=(const CPreprocessor&) = delete;

  void SetFlags(uint32_t flags) { flags_ = flags; }
  uint32_t Flags() const { return flags_; }
  // The macroblock encoder's core, for the border padding of codecs that pad (or null).
  void SetPaddingCore(dsp::CMBCore* core) { paddingCore_ = core; }

  // Frees what an earlier Init made, allocates the row-buffer block and the core and resets the
  // noise estimate; false when either cannot be had.
  bool Init(const EncoderSettings* settings, CMotionEstimator* estimator);
  bool Finish();
  void Free();

  void SetupInput(InputConversion* in, const CPicture* picture, int xOffset, int yOffset) const;
  // Converts one block of the picture (conversion coordinates) to destinations at the block's
  // origin, rows `stride` apart, the chroma plane with half the rows. Everything outside the
  // input rectangle becomes black (luma 0, chroma 128). Answers 1 when the whole block lay
  // outside the input rectangle, else 0.
  int ConvertRow(const InputConversion& in, uint8_t* luma, uint8_t* chroma, int x, int y, int width, int rows,
                 int stride);
  // Comb filtering and 2:1 resampling of `rows` coded rows converted into the line stores, to
  // destinations `stride` apart. continuation: the band continues a picture already begun;
  // carryColumn: where the band's comb-filter carry lies in the filter lines.
  void ResampleRows(const InputConversion& in, uint8_t* luma, uint8_t* chroma, int stride, int width, int rows,
                    bool continuation, int carryColumn);
  void BlendOverlay(uint8_t* luma, uint8_t* chroma, int x, int y, int width, int rows, int stride,
                    const PictureOverlay& overlay);

  void ProcessPicture(CPicture* picture);
  void ProcessQueuedPicture(CPicture* picture);

  // Noise estimate (for tests).
  double NoiseLevel() const { return noiseLevel_; }

 private:
  struct NoiseFilter {
    int mode = 0;  // 0 off, 1, 2
    int strength = 0;
    bool measure = false;  // a noise measurement is due (mode 2)
    bool bounded = false;  // filter against the previous picture (mode 2)
    int threshold = 0, limit = 0, gain = 0;  // bounded luma: a, b, c
    int chromaLimit = 0, chromaGain = 0;  // bounded chroma: d, e
  };
  struct RowSums {
    int activity = 1;
    int deviation = 1;
  };

  NoiseFilter PlanNoiseFilter(const CPicture* picture) const;
  void ConvertBand(const InputConversion& in, CPicture* picture, int firstRow, int rows, bool resample,
                   bool continuation);
  void FilterNoise(CPicture* picture, int row, const NoiseFilter& filter, const uint8_t* previousLuma,
                   const uint8_t* previousChroma);
  void RepairCombs(CPicture* picture, int row, int combOrder);
  void PadRow(CPicture* picture, int row);
  // Measures the macroblocks of one row (the MPEG family, or H.264 on the odd row of a pair).
  void AnalyseRow(CPicture* picture, int row, RowSums* sums);
  void AnalyseMpegMacroblock(MBInfo* mb, const uint8_t* luma, int stride, bool progressive, CPicture* picture);
  void AnalyseH264Pair(CPicture* picture, int upperRow, RowSums* upperSums, RowSums* lowerSums);
  void ApplyFewFieldRule(CPicture* picture);
  void CopyLinkedMeasures(CPicture* picture, int firstRow, int rows) const;
  void UpdateNoiseEstimate(const CPicture* picture, const NoiseFilter& filter);
  void RowWindow(int* first, int* end) const;
  bool RowInsideBorders(int row) const;
  bool RowWhollyInBorder(int row) const;
  void Fill(uint8_t* destination, int width, int rows, int pitch, uint32_t value);
  void ConvertSpan(const InputConversion& in, uint8_t* luma, uint8_t* chroma, int x, int y, int width, int rows,
                   int stride);

  uint32_t flags_ = 0;
  dsp::CPreprocCore* core_ = nullptr;  // owned
  CMotionEstimator* estimator_ = nullptr;
  dsp::CMBCore* paddingCore_ = nullptr;
  const EncoderSettings* settings_ = nullptr;
  uint8_t* block_ = nullptr;  // the row-buffer block, 64-byte aligned, owned
  uint8_t* lumaLines_ = nullptr;  // 40 lines of the conversion width
  uint8_t* chromaLines_ = nullptr;  // 40 lines
  uint8_t* lumaFilterLine_ = nullptr;
  uint8_t* chromaFilterLine_ = nullptr;
  int lineWidth_ = 0;  // conversion width: the coded width, doubled with halving
  double noiseLevel_ = 100.0;
  double measuredNoise_ = 4.0;
  double lastNoise_ = 4.0;
  int measurementPicture_ = 0;
  int previousSource_ = -1;
  // Noise measurement of the picture in progress.
  int64_t noiseSum_ = 0;
  int noiseCount_ = 0;
};

}  // namespace orx::venc
