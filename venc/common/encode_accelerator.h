#pragma once
// The encode accelerator's records and interface: the CPU worker pool of one encoder instance
// that runs motion-estimation bands and motion-compensated prediction rows as jobs posted by
// the encoder thread. The records hold pointers and are read by field name only.
#include <cstdint>

#include "venc/common/frame_store.h"
#include "venc/common/picture.h"

namespace orx::venc {

struct MBInfo;
struct EncoderSettings;
struct MbExchangeEntry;
struct AccBandStats;

// EncAccJob::kind bits. A motion-estimation job has kind 1, 2 or 3.
inline constexpr uint16_t ACC_JOB_REFINE = 1;
inline constexpr uint16_t ACC_JOB_SEARCH = 2;
inline constexpr uint16_t ACC_JOB_PREDICTION = 4;  // motion-compensated prediction of one row
inline constexpr uint16_t ACC_JOB_PREPROCESS = 32;

// EncAccJob::state.
inline constexpr uint16_t ACC_JOB_FREE = 0;
inline constexpr uint16_t ACC_JOB_POSTED = 1;
inline constexpr uint16_t ACC_JOB_DISPATCHED = 2;
inline constexpr uint16_t ACC_JOB_RUNNING = 3;
inline constexpr uint16_t ACC_JOB_DONE = 4;

// A job as the poster fills it; PostJob copies it into a free slot.
struct EncAccJob {
  uint16_t pictureId;  // source frame-buffer index of the job's picture
  uint16_t kind;  // ACC_JOB_*
  uint16_t tag;  // index of the first macroblock (row x macroblock columns)
  uint16_t count;  // macroblocks of the job
  uint16_t state;  // ACC_JOB_FREE .. ACC_JOB_DONE
  MbExchangeEntry* exchange;  // the posting estimator's exchange array (0 for prediction)
  MBInfo* mbInfo;  // the picture's MBInfo array
  uint32_t results[2];  // elapsed ticks of a prediction or preprocess job, low word first
  AccBandStats* statistics;  // motion estimation
};

inline constexpr uint16_t ACC_NO_BUFFER = 0xFFFF;

// The picture configuration given to ConfigureME, ConfigureMCP and SetPreprocessConfig.
struct AccConfig {
  uint16_t currentSource;  // frame-buffer indices; ACC_NO_BUFFER when there is none
  uint16_t forwardSource;
  uint16_t backwardSource;
  uint16_t forwardRecon;
  uint16_t backwardRecon;
  uint16_t currentRecon;
  uint32_t codedWidth;
  uint32_t codedHeight;
  uint32_t stride;  // luma
  uint32_t mbCols;
  uint32_t mbRows;
  uint32_t rangeX;  // the estimator's search ranges
  uint32_t rangeY;
  uint32_t windowHalfWidth;  // motion-search words 0 and 1
  uint32_t windowHalfHeight;
  uint32_t minX;  // allowed block positions of the search
  uint32_t minY;
  uint32_t maxX;
  uint32_t maxY;
  uint32_t searchMode;  // 4, 6, 8 or 10 selects the strategy; other values none
  uint32_t intraThreshold;  // 0 for an MPEG-4 Part 2 B picture
  uint32_t vectorPenalty;
  uint32_t searchModeWord;  // motion-search word 4
  uint32_t halfPelRefinement;  // motion-search word 5
  uint8_t temporalPredictors;
  uint8_t pictureType;  // 2 P, 3 B
  uint8_t directions;  // 2 x backward search + forward search
  uint8_t constantOne;  // always 1
  uint8_t h264Flag;  // 32 for H.264 when the picture is not a progressive frame
  uint8_t* decimated;  // the estimator's 128-aligned block of decimated pictures
  uint32_t decimatedStride;
  uint32_t decimatedRows;
  uint32_t plane2to1Offset;
  uint32_t plane4to1Offset;
  uint32_t currentDecimatedOffset;  // MPEG-4 style estimator only
  uint8_t* evenRowPredLuma;  // prediction jobs only
  uint8_t* evenRowPredChroma;
};

// The six frame-buffer indices of a picture and of its references (ACC_NO_BUFFER for a
// missing reference).
inline void SetAccBufferIndices(const CPicture& picture, AccConfig* config) {
  const auto index = [](const CPicture* p, bool source) -> uint16_t {
    if (p == nullptr) return ACC_NO_BUFFER;
    return static_cast<uint16_t>(source ? p->sourceBufferIndex : p->reconBufferIndex);
  };
  config->currentSource = index(&picture, true);
  config->forwardSource = index(picture.forwardRef, true);
  config->backwardSource = index(picture.backwardRef, true);
  config->forwardRecon = index(picture.forwardRef, false);
  config->backwardRecon = index(picture.backwardRef, false);
  config->currentRecon = index(&picture, false);
}

// What the workers see of a picture: the six buffers of an AccConfig resolved to their planes
// (null for a missing buffer), and the configuration itself.
struct AccContext {
  FrameBufferPair forwardSource;
  FrameBufferPair backwardSource;
  FrameBufferPair forwardRecon;
  FrameBufferPair backwardRecon;
  FrameBufferPair currentSource;
  FrameBufferPair currentRecon;
  AccConfig config;
};

// The worker plan CVideoEncoder::CreateME hands to CreateEncodeAccelerator.
struct AccThreadPlan {
  uint32_t codedWidth;
  uint32_t codedHeight;
  uint8_t workerCount;
  uint8_t estimationWorkers;
  uint8_t predictionWorkers;
  uint8_t mpeg4Style;  // 1 builds the MPEG-4 style estimation workers
  uint32_t workerKinds[8];  // kind bits per worker; bit 31 means nothing
  const EncoderSettings* settings;  // given to preprocess workers
};

class IEncodeAccelerator {
 public:
  virtual void ConfigureME(const AccConfig* config) = 0;
  virtual void ConfigureMCP(const AccConfig* config) = 0;
  virtual void SetPreprocessConfig(const AccConfig* config) = 0;
  // Clears every job slot; called once per picture after its last row.
  virtual void Reset(int pictureIndex) = 0;
  virtual bool PostJob(const EncAccJob* job) = 0;
  // Waits for the posted job of the same kind and tag and copies its results back.
  virtual int WaitJob(EncAccJob* job) = 0;

 protected:
  ~IEncodeAccelerator() = default;
};

}  // namespace orx::venc
