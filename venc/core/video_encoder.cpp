// CVideoEncoder: construction and release, configuration, opening (CreateME) and closing, and the
// small operations of the interface. EncodeFrame and the drain are in video_encoder_encode.cpp.
#include "venc/core/video_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "venc/core/aspect_ratio.h"
#include "venc/common/debug_printf.h"
#include "venc/core/encoder_lock.h"
#include "venc/core/gpu_setup.h"
#include "venc/common/profiling.h"
#include "venc/core/sequence_checks.h"
#include "venc/core/sequence_header.h"
#include "venc/core/sequence_setup.h"
#include "venc/dsp/cpu_features.h"
#include "venc/mbenc/mb_encoder_mpeg12.h"
#include "venc/mbenc/h264_encoder.h"
#include "venc/mbenc/mb_encoder_mpeg4.h"
#include "venc/me/mpeg2_motion_estimator.h"
#include "venc/me/mpeg4_motion_estimator.h"

namespace orx::venc {
namespace {

// The fields Configure copies: the 67 derived from the parameter block and those after the
// derived sequence block; the encoder's own derived fields stay.
void CopySequenceFields(EncoderSettings& to, const EncoderSettings& from) {
  constexpr size_t kDerivedStart = offsetof(EncoderSettings, codedWidth);
  constexpr size_t kDerivedEnd = offsetof(EncoderSettings, loadIntraMatrix);
  std::memcpy(static_cast<void*>(&to), &from, kDerivedStart);
  std::memcpy(reinterpret_cast<uint8_t*>(&to) + kDerivedEnd, reinterpret_cast<const uint8_t*>(&from) + kDerivedEnd,
              sizeof(EncoderSettings) - kDerivedEnd);
}

}  // namespace

bool NewMPEGVideoEncoder(IMPEGVideoEncoder** out, int multi) {
  if (out == nullptr) return false;
  *out = nullptr;
  // The parallel CMultiVideoEncoder is not part of this library yet.
  if (multi != 0) return false;
  *out = new (std::nothrow) CVideoEncoder();
  return *out != nullptr;
}

CVideoEncoder::CVideoEncoder() : instance_(TakeInstanceNumber()) {}

CVideoEncoder::~CVideoEncoder() = default;

void CVideoEncoder::Release() {
  PrintInstanceTimings(instance_);
  DestroyComponents();
  // No GPU mode is active in this library yet, so nothing of the GPU survives the components.
  {
    EncoderSetupLock hold;
    if (ReturnInstanceNumber(instance_)) ShutdownGpuAcceleration();
  }
  delete this;
}

bool CVideoEncoder::Configure(const EncoderSettings* settings) {
  CopySequenceFields(settings_, *settings);
  return ConfigureSequence(settings_, dsp::GetCpuFeatures());
}

bool CVideoEncoder::Open() {
  if ((flags_ & ENCODER_SKIP_CREATE) == 0 && !CreateME()) {
    DestroyComponents();
    return false;
  }
  bool ok = rateControl_ != nullptr && mbEncoder_ != nullptr && estimator_ != nullptr && preprocessor_ != nullptr;
  if (ok) {
    rateOutput_ = std::make_unique<MBEncoderRateOutput>(mbEncoder_.get());
    ok = rateControl_->Init(&settings_, rateOutput_.get(), &statistics_) &&
         mbEncoder_->Init(&settings_, rateControl_.get()) && estimator_->Init(&settings_, mbEncoder_.get());
    if (ok) {
      preprocessor_->SetPaddingCore(mbEncoder_->GetCore());
      ok = preprocessor_->Init(&settings_, estimator_);
    }
  }
  // The components of a failed open are not left for the next EncodeFrame to use.
  if (!ok) DestroyComponents();
  return ok;
}

bool CVideoEncoder::CreateME() {
  EncoderSettings& s = settings_;
  // CVideoEncoder::CreateME, the sequence set-up that builds the encoder's parts:
  // 1. Geometry.
  SetCodedGeometry(s);

  // 2. Noise-filter region and the aspect code.
  s.noiseFilterRegion = 0;
  SetAspectRatio(s.aspectX, s.aspectY);

  // 3. Frame buffers.
  frameBufferCount_ = std::max(s.anchorDistance + 3, 4);
  if (s.pictureCallback != nullptr || (s.codec == CODEC_H264 && s.anchorDistance >= 2)) frameBufferCount_ += 1;

  // 4. GPU state. With no GPU devices in the process the encoder stays on the CPU. The dataflow
  // frame buffers (step 5) come with the GPU estimators, and the kernel-library buffers and
  // presets (step 6) with the hierarchical GPU search: until then the CPU path serves every mode.
  estimatorOption_ = (s.gpuDeviceWord >> 3) & 1;
  displayCounter_ = repeatCounter_ = 0;
  queuedCount_ = 0;
  gpuModeMinusOne_ = 0;
  s.workerFlags &= ~WORKER_GPU;

  // 7. The picture store on ordinary memory.
  store_ = std::make_unique<CFrameStore>(flags_, 0);
  if (!store_->Init(&s, frameBufferCount_, nullptr)) return false;

  // 8. Preprocessor, rate controller and the codec's macroblock encoder. The VC-1 encoder comes
  // with its own wave: that codec fails to open until then.
  preprocessor_ = std::make_unique<CPreprocessor>();
  rateControl_ = std::make_unique<CRateControl>();
  switch (s.codec) {
    case CODEC_MPEG2:
      mbEncoder_ = std::make_unique<CMBEncoder_MPEG2>();
      break;
    case CODEC_KALDER:
      mbEncoder_ = std::make_unique<CMBEncoder_Kalder>();
      break;
    case CODEC_MPEG4:
      if (s.useMpegQuant) {
        mbEncoder_ = std::make_unique<CMBEncoder_MPEG4>();
      } else {
        mbEncoder_ = std::make_unique<CMBEncoder_MPEG4_H263>();
      }
      break;
    case CODEC_H264:
      mbEncoder_ = std::make_unique<CMBEncoder_H264>();
      break;
    case CODEC_VC1:
      mbEncoder_.reset();
      break;
    default:
      mbEncoder_ = std::make_unique<CMBEncoder_MPEG1>();
      break;
  }

  // 9. The encode accelerator (workerFlags bit 0) comes with its thread pool; until then such an
  // encoder cannot be built, as a failed accelerator fails it.
  if ((s.workerFlags & WORKER_ACCELERATOR) != 0) {
    DebugPrintf("VIDEOENC#%d: the encode accelerator is not available\n", instance_);
    return false;
  }

  // 10. The estimator: the MPEG-4 style estimator (H.264, VC-1 advanced) or the MPEG-2 block
  // matcher (the GPU estimators come with their wave).
  if (estimator_ == nullptr) {
    if (s.mpeg4StyleEstimator != 0) {
      estimator_ = new (std::nothrow) CMPEG4MotionEstimator();
    } else {
      estimator_ = new (std::nothrow) CMPEG2MotionEstimator();
    }
  }

  // 11. Every part must exist; the mode flags reach them.
  if (!mbEncoder_ || estimator_ == nullptr) return false;
  preprocessor_->SetFlags(flags_);
  estimator_->SetModeFlags(flags_);
  estimator_->SetProfileInstance(instance_);
  mbEncoder_->SetModeFlags(flags_);
  mbEncoder_->SetAccelerator(nullptr, 0);
  return true;
}

void CVideoEncoder::DestroyComponents() {
  for (int i = 0; i < queuedCount_; ++i) {
    if (queuedB_[i] != nullptr) queuedB_[i]->Release();
    queuedB_[i] = nullptr;
  }
  queuedCount_ = 0;
  // The estimator holds pictures of the store: it goes first.
  if (estimator_ != nullptr) {
    estimator_->Release();
    estimator_ = nullptr;
  }
  if (store_ != nullptr) store_->Free();
  store_.reset();
  preprocessor_.reset();
  mbEncoder_.reset();
  rateOutput_.reset();
  rateControl_.reset();
}

bool CVideoEncoder::Finish() {
  // The B pictures still waiting for an anchor are coded before the sequence ends.
  Drain();
  return mbEncoder_ != nullptr && mbEncoder_->Finish();
}

bool CVideoEncoder::Close() {
  if (preprocessor_ != nullptr) preprocessor_->Finish();
  if (estimator_ != nullptr) estimator_->Close();
  if (mbEncoder_ != nullptr) mbEncoder_->Close();
  DestroyComponents();
  return true;
}

void CVideoEncoder::GetCodedSize(int* width, int* height) {
  if (width != nullptr) *width = settings_.codedWidth;
  if (height != nullptr) *height = settings_.codedHeight;
}

void CVideoEncoder::GetStatistics(int32_t out[5]) {
  out[0] = static_cast<int32_t>(statistics_.vbvUnderflows);
  out[1] = static_cast<int32_t>(statistics_.stuffingBytes);
  out[2] = displayCounter_;
  out[3] = repeatCounter_;
  out[4] = estimator_ == nullptr ? -1 : (gpuModeMinusOne_ != 0 ? 1 : 0);
}

int CVideoEncoder::SetAuxParams(const int32_t params[3]) {
  settings_.noiseFilterMode = params[0];
  settings_.noiseFilterLevel = params[1];
  if (params[2] >= 0) settings_.noiseFilterRegion = params[2];
  return params[1];
}

void CVideoEncoder::SetAspectRatio(int x, int y) { venc::SetAspectRatio(settings_, x, y); }

void CVideoEncoder::SetBitRate(int bitRate) {
  if (bitRate == settings_.bitRate) return;
  if (rateControl_ == nullptr) {
    settings_.bitRate = bitRate;
    return;
  }
  rateControl_->SetBitRate(&settings_, bitRate);
  rateControl_->TuneWeights(&settings_);
}

int CVideoEncoder::GetSequenceHeader(const EncoderSettings* settings, uint8_t* out) {
  return venc::GetSequenceHeader(*settings, out, dsp::GetCpuFeatures());
}

int CVideoEncoder::SetGopLength(int gopLength) {
  if (gopLength != 0) settings_.gopLength = gopLength;
  return gopLength;
}

bool CVideoEncoder::ForceKeyFrame() {
  if (estimator_ == nullptr) return false;
  estimator_->ForceKeyFrame();
  return true;
}

bool CVideoEncoder::EnableGpu(int mode) {
  if (mode == GPU_MODE_NONE) return true;
  EncoderSetupLock hold;
  gpuDeviceCount_ = InitGpuAcceleration(mode);
  return gpuDeviceCount_ != 0;
}

int CVideoEncoder::QueryGpu(int* deviceCount, int mode) {
  EncoderSetupLock hold;
  const int count = InitGpuAcceleration(mode);
  if (deviceCount != nullptr) *deviceCount = count;
  return 0;
}

PictureLayout CVideoEncoder::ComputePictureLayout(const PictureLayoutRequest& r, int* frameRateIndex) {
  PictureLayout layout{};
  const int h = r.interleave ? 2 * r.height : r.height;
  const bool tall = r.interleave ? !r.interlaced : (r.height >= 480 && !r.interlaced);
  int align = r.interlaced ? 32 : 16;
  const int tallAlign = r.interlaced ? 64 : 32;
  if (tall && h % tallAlign == 0) {
    align = tallAlign;
  } else if ((!r.interlaced && r.mode == 0) || h == 218 || r.mode >= 4) {
    align = 2;
  }
  const int xAlign = r.alignMode == 1 ? 32 : 16;
  layout.xCount = r.width / xAlign * xAlign;
  layout.yCount = h / align * align;
  layout.xOffset = (r.width - layout.xCount) / 2;
  layout.yOffset = (h - layout.yCount) / 2;
  layout.xEnd = layout.xCount + layout.xOffset;
  layout.yEnd = layout.yCount + layout.yOffset;
  auto margin = [](int size, int overscan, int offset) {
    const int cut = static_cast<int>(std::trunc(static_cast<double>(size) * overscan / 200.0 + 0.5));
    return std::max(((cut * 2 + 4) & ~7) - offset, 0);
  };
  layout.xMargin = margin(r.width, r.overscanX, layout.xOffset);
  layout.yMargin = margin(h, r.overscanY, layout.yOffset);
  if (r.alignMode == 1) {
    layout.xCount /= 2;
    layout.xMargin /= 2;
  }
  if (r.interlaced) {
    layout.yCount /= 2;
    layout.yMargin /= 2;
  }
  layout.xMargin &= ~7;
  layout.yMargin &= ~1;
  if (r.interleave && frameRateIndex != nullptr && *frameRateIndex >= 0 && *frameRateIndex < 12) {
    const double rate = kFrameRateTable[*frameRateIndex].rate;
    if (rate > 30.1) {
      for (int i = 0; i < 12; ++i) {
        if (std::fabs(kFrameRateTable[i].rate - rate / 2) < 0.0001) {
          *frameRateIndex = i;
          break;
        }
      }
    } else if (settings_.quietChecks == 0) {
      DebugPrintf("WARNING: Can't interleave if frame rate <= 30Hz!\n");
    }
  }
  return layout;
}

}  // namespace orx::venc
