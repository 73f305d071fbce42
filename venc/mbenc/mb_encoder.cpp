#include "venc/mbenc/mb_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/debug_output.h"
#include "venc/dsp/core_factories.h"
#include "venc/dsp/mpeg_scans.h"

namespace orx::venc {
namespace {

constexpr size_t kContextAlignment = 128;

void DebugLine(const char* text) { platform::DebugOutput(text); }

}  // namespace

CMBEncoder::CMBEncoder() = default;

CMBEncoder::~CMBEncoder() { FreeResources(); }

uint32_t CMBEncoder::GetContextSize() { return 0; }

void CMBEncoder::SetContext(uint8_t*) {}

bool CMBEncoder::CreateCore(dsp::CMBCore** core) { return dsp::CreateMBCore(core); }

void* CMBEncoder::AllocateContextBlock(size_t bytes) {
  const size_t rounded = (bytes + kContextAlignment - 1) / kContextAlignment * kContextAlignment;
  return std::aligned_alloc(kContextAlignment, rounded);
}

void CMBEncoder::DefaultQuantMatrices(uint8_t* intra, uint8_t* nonIntra) {
  std::memcpy(intra, dsp::kDefaultIntraQuantMatrix, 64);
  std::memset(nonIntra, 16, 64);
}

void CMBEncoder::FreeResources() {
  delete core_;
  core_ = nullptr;
  std::free(contextBlock_);
  contextBlock_ = nullptr;
  rowListener_ = nullptr;
  wordBuffer_ = nullptr;
  wordPtr_ = nullptr;
  predictionLuma_ = nullptr;
  predictionChroma_ = nullptr;
  coefficients_ = nullptr;
  coefficients2_ = nullptr;
  rowPredictionLuma_[0] = rowPredictionLuma_[1] = nullptr;
  rowPredictionChroma_[0] = rowPredictionChroma_[1] = nullptr;
}

void CMBEncoder::Close() { FreeResources(); }

bool CMBEncoder::Init(EncoderSettings* settings, IRateControl* rateControl) {
  FreeResources();
  char line[160];
  if (settings == nullptr || rateControl == nullptr || settings->bitStream == nullptr) {
    DebugLine("CMBEncoder::Init: settings, rate controller and output stream are required\n");
    return false;
  }
  if (settings->mbCols < 1 || settings->mbRows < 1 || settings->stride < 16 * settings->mbCols) {
    std::snprintf(line, sizeof line, "CMBEncoder::Init: bad picture geometry %dx%d macroblocks, stride %d\n",
                  settings->mbCols, settings->mbRows, settings->stride);
    DebugLine(line);
    return false;
  }
  if (settings->frameRateIndex < 0 || settings->frameRateIndex > 11) {
    std::snprintf(line, sizeof line, "CMBEncoder::Init: frame-rate index %d is not in 0..11\n",
                  settings->frameRateIndex);
    DebugLine(line);
    return false;
  }
  // MPEG-1 has no frame_rate_code below 23.976 frames/s; coding the doubled rate would play
  // the stream at twice its speed.
  if (settings->codec == CODEC_MPEG1 && settings->frameRateIndex < 4) {
    std::snprintf(line, sizeof line, "CMBEncoder::Init: MPEG-1 cannot code %g frames/s\n",
                  kFrameRateTable[settings->frameRateIndex].rate);
    DebugLine(line);
    return false;
  }
  if ((settings->loadIntraMatrix && settings->userIntraMatrix == nullptr) ||
      (settings->loadNonIntraMatrix && settings->userNonIntraMatrix == nullptr)) {
    DebugLine("CMBEncoder::Init: a user quantiser matrix is asked for but not given\n");
    return false;
  }
  dsp::CMBCore* core = nullptr;
  if (!CreateCore(&core) || core == nullptr) {
    delete core;
    DebugLine("CMBEncoder::Init: the macroblock core cannot be created\n");
    return false;
  }
  core_ = core;
  settings_ = settings;
  rateControl_ = rateControl;
  roundingControl_ = 0;
  sequenceStarted_ = false;

  // Quantiser matrices, raster order, into the settings (the core's table set-up reads them).
  const int codec = settings->codec;
  if (codec == CODEC_VC1 || (codec == CODEC_MPEG4 && !settings->useMpegQuant)) {
    std::memset(settings->intraMatrix, 16, 64);
    std::memset(settings->nonIntraMatrix, 16, 64);
  } else {
    uint8_t defaultIntra[64];
    uint8_t defaultNonIntra[64];
    DefaultQuantMatrices(defaultIntra, defaultNonIntra);
    std::memcpy(settings->intraMatrix,
                settings->loadIntraMatrix ? settings->userIntraMatrix : defaultIntra, 64);
    std::memcpy(settings->nonIntraMatrix,
                settings->loadNonIntraMatrix ? settings->userNonIntraMatrix : defaultNonIntra, 64);
  }

  InitTables();

  // One allocation for every work buffer. The picture area holds at least the two pairs of
  // row prediction buffers (2 x mbw x 384 bytes), also for one-row pictures.
  const size_t mbw = static_cast<size_t>(settings->mbCols);
  const size_t mbh = static_cast<size_t>(settings->mbRows);
  const size_t pictureArea = std::max(mbw * mbh, 2 * mbw) * kMacroblockAreaBytes;
  const size_t contextBytes = sizeof(MBContextHead) + pictureArea + GetContextSize();
  contextBlock_ = AllocateContextBlock(contextBytes);
  if (contextBlock_ == nullptr) {
    std::snprintf(line, sizeof line, "CMBEncoder::Init: the context block of %zu bytes cannot be allocated\n",
                  contextBytes);
    DebugLine(line);
    FreeResources();
    return false;
  }
  uint8_t* const a = static_cast<uint8_t*>(contextBlock_);
  std::memset(a, 0, contextBytes);
  MBContextHead* const head = reinterpret_cast<MBContextHead*>(a);
  predictionLuma_ = head->predictionLuma;
  predictionChroma_ = head->predictionChroma;
  coefficients_ = head->coefficients;
  coefficients2_ = head->coefficients2;
  wordBuffer_ = head->wordBuffer;
  uint8_t* const pictureAreaStart = a + sizeof(MBContextHead);
  rowPredictionLuma_[0] = pictureAreaStart;
  rowPredictionChroma_[0] = rowPredictionLuma_[0] + mbw * 256;
  rowPredictionLuma_[1] = rowPredictionChroma_[0] + mbw * 128;
  rowPredictionChroma_[1] = rowPredictionLuma_[1] + mbw * 256;

  dsp::QuantTableParams params;
  params.codec = codec;
  std::memcpy(params.intraMatrix, settings->intraMatrix, 64);
  std::memcpy(params.interMatrix, settings->nonIntraMatrix, 64);
  params.mpegQuantisation = settings->useMpegQuant != 0;
  core_->InitQuantTables(params, &head->quantTables, head->quantWorkArea);
  core_->InitMcTables();
  SetContext(pictureAreaStart + pictureArea);

  AttachBitStream(settings->bitStream);
  gopCounter_ = 0;
  sequenceHeaderPeriod_ =
      settings->gopLength <= 1 && settings->streamType != STREAM_TYPE_MPEG2_SD ? 12 : 1;
  return true;
}

bool CMBEncoder::Finish() {
  if (!sequenceStarted_) return false;
  WriteSequenceEnd();
  AlignToByte();
  FlushBits(true);
  sequenceStarted_ = false;
  return true;
}

void CMBEncoder::SetupScanTables(CPicture* picture) {
  const uint8_t* raster = picture->alternateScan ? dsp::kAlternateScan : dsp::kZigzagScan;
  for (int p = 0; p < 64; ++p) {
    const int r = raster[p];
    scan_[p] = static_cast<uint8_t>(8 * (r % 8) + r / 8);
    positionToScan_[scan_[p]] = static_cast<uint8_t>(p);
  }
}

void CMBEncoder::BeginPicture(CPicture* picture) {
  bytesBefore_ += bytesOut_;
  bytesOut_ = 0;

  codedWidth_ = settings_->codedWidth;
  codedHeight_ = settings_->codedHeight;
  stride_ = settings_->stride;
  mbw_ = settings_->mbCols;
  mbh_ = settings_->mbRows;
  codec_ = settings_->codec;
  pictureType_ = picture->pictureType;
  picture->stats = PictureStatistics{};

  if (picture->gopStart) {
    rateControl_->StartGop(picture, static_cast<uint32_t>(picture->gopPicturesP),
                           static_cast<uint32_t>(picture->gopPicturesB));
    ++gopCounter_;
    if (picture->displayNumber == 0 || gopCounter_ >= sequenceHeaderPeriod_) {
      gopCounter_ = 0;
      sequenceStarted_ = true;
      WriteSequenceHeader(picture);
    }
    WriteGopHeader(picture);
  }

  bitStream_->SetTimeStamps(picture->decodeTimeStamp, picture->timeStamp, picture->pictureType, 0);

  const int vbvDelay = rateControl_->CheckVbv(picture);
  rateControl_->StartPicture(picture);

  if (codec_ >= CODEC_MPEG4) {
    if (pictureType_ == PICTURE_I) {
      roundingControl_ = 0;
    } else if (pictureType_ == PICTURE_P && picture->forwardRef != nullptr &&
               picture->forwardRef->pictureType != PICTURE_I) {
      roundingControl_ ^= 1;
    }
  }

  WritePictureHeader(picture, vbvDelay);

  core_->quantScaleTypeOffset = 32 * picture->qScaleType;
  core_->roundingControl =
      codec_ >= CODEC_MPEG4 && (pictureType_ == PICTURE_P || codec_ == CODEC_VC1)
          ? static_cast<int32_t>(roundingControl_)
          : 0;
  if (codec_ == CODEC_MPEG2 || codec_ == CODEC_KALDER) {
    core_->SetIntraDcPrecision(picture->intraDcPrecision);
  }

  SetupScanTables(picture);

  state_.picture = picture;
  state_.mbX = 0;
  state_.mbY = 0;
  state_.pixelRow = 0;
  state_.overflow = 0;
  state_.mbRow = picture->mbInfo;
}

void CMBEncoder::NextRow() {
  EncodeRow();
  ++state_.mbY;
  state_.pixelRow += 16;
  state_.mbRow += mbw_;
}

void CMBEncoder::EndPicture(CPicture* picture) {
  if (codec_ != CODEC_VC1) AlignToByte();
  rateControl_->EndPicture(picture);
  if (modeFlags_ & MB_MODE_FINAL_FLUSH_OUT) outputHold_ = 1;
  FlushBits(true);
  outputHold_ = 0;
  if ((modeFlags_ & MB_MODE_SUB_ENCODER_MASK) == 0) bitStream_->Deliver();
  if (settings_->pictureCallback != nullptr) {
    PictureStatistics& stats = picture->stats;
    stats.reconLuma = picture->reconLuma;
    stats.reconChroma = picture->reconChroma;
    stats.stride = static_cast<uint32_t>(stride_);
    stats.codedWidth = static_cast<uint32_t>(codedWidth_);
    stats.codedHeight = static_cast<uint32_t>(codedHeight_);
    settings_->pictureCallback(picture->pictureType, picture->displayNumber, &stats);
  }
}

void CMBEncoder::EncodePicture(CPicture* picture, IMotionEstimator* rowListener) {
  rowListener_ = rowListener;
  const bool bracket = (modeFlags_ & MB_MODE_CALLER_BRACKETS) == 0;
  if (bracket) BeginPicture(picture);
  EncodePictureBody(picture);
  if (bracket) EndPicture(picture);
}

void CMBEncoder::AccumulateReconStats(CPicture* picture, int mbX, int mbRow) {
  const uint8_t* srcLuma;
  const uint8_t* srcChroma;
  const uint8_t* recLuma;
  const uint8_t* recChroma;
  int step;
  if (blockOrderedPicture_) {
    // Source: the current row; reconstruction: the whole picture, row after row.
    const size_t rowBase = static_cast<size_t>(mbRow) * mbw_ * kMacroblockAreaBytes;
    srcLuma = picture->srcLuma + 256 * mbX;
    srcChroma = picture->srcLuma + 256 * static_cast<size_t>(mbw_) + 128 * mbX;
    recLuma = picture->reconLuma + rowBase + 256 * mbX;
    recChroma = picture->reconLuma + rowBase + 256 * static_cast<size_t>(mbw_) + 128 * mbX;
    step = 16;
  } else {
    const size_t lumaOffset = static_cast<size_t>(16 * mbRow) * stride_ + 16 * mbX;
    const size_t chromaOffset = static_cast<size_t>(8 * mbRow) * stride_ + 16 * mbX;
    srcLuma = picture->srcLuma + lumaOffset;
    srcChroma = picture->srcChroma + chromaOffset;
    recLuma = picture->reconLuma + lumaOffset;
    recChroma = picture->reconChroma + chromaOffset;
    step = stride_;
  }
  PictureStatistics& stats = picture->stats;
  core_->SumSseSad16x8(srcLuma, recLuma, step, step, &stats.lumaSad, &stats.lumaSse);
  core_->SumSseSad16x8(srcLuma + 8 * step, recLuma + 8 * step, step, step, &stats.lumaSad,
                       &stats.lumaSse);
  core_->SumSseSad16x8(srcChroma, recChroma, step, step, &stats.chromaSad, &stats.chromaSse);
}

}  // namespace orx::venc
