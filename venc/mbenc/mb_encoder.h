#pragma once
// CMBEncoder: the base of every codec's macroblock encoder. It owns what all codecs share: the
// DSP core, the bit writer and its output, the links to the rate controller and the settings,
// one aligned context block holding every work buffer, and the per-picture driver that writes
// sequence and GOP headers, sets time stamps, keeps the statistics and calls the per-picture
// callback. The codec classes supply the headers, the picture loop and the macroblock layer
// through the virtual operations.
//
// An encoder object, its core and its bit writer belong to one thread at a time.
//
// Block-ordered layout (row-pipelined mode): per macroblock row, the luma of every macroblock
// as 256 bytes (16 x 16), then the chroma of every macroblock as 128 bytes (8 rows of 16
// interleaved bytes). A picture in that layout is addressed from its luma pointer alone; the
// source of the row being coded is the row buffer the picture's luma pointer names.
#include <cstddef>
#include <cstdint>

#include "venc/common/encode_accelerator.h"
#include "venc/common/encoder_settings.h"
#include "venc/common/picture.h"
#include "venc/dsp/mb_core.h"
#include "venc/mbenc/mb_coding_state.h"
#include "venc/common/motion_estimator_interface.h"
#include "venc/common/rate_control_interface.h"
#include "venc/common/video_bit_stream.h"

namespace orx::venc {

// Mode flag bits (set only for a group of encoders that share one output).
inline constexpr uint32_t MB_MODE_SUB_ENCODER_MASK = 0xF00;    // non-zero holds output back
inline constexpr uint32_t MB_MODE_CALLER_BRACKETS = 0x40000;   // caller begins and ends pictures
inline constexpr uint32_t MB_MODE_FINAL_FLUSH_OUT = 0x200000;  // picture's final flush goes out

inline constexpr size_t kWordBufferBytes = 0x100000 + 4096;  // 1 MiB + one macroblock's worth
inline constexpr size_t kMacroblockAreaBytes = 384;  // 256 luma + 128 chroma bytes

// The fixed head of the context block, from its 128-aligned start. The picture area follows it
// (its first 2 x mbw x 384 bytes are the row prediction buffers: even luma, even chroma, odd
// luma, odd chroma), then the codec context (GetContextSize, SetContext).
struct alignas(128) MBContextHead {
  uint8_t predictionLuma[256];     // 16 x 16, row step 16
  uint8_t predictionChroma[128];   // 8 rows of 16 interleaved bytes
  int16_t coefficients[6 * 64];    // 6 blocks: Y0 Y1 Y2 Y3 Cb Cr
  int16_t coefficients2[6 * 64];   // transform results kept for a quantiser retry
  uint8_t quantWorkArea[1024];     // the core's work area of the quantiser-table set-up
  uint32_t wordBuffer[kWordBufferBytes / sizeof(uint32_t)];  // the bit writer's words
  dsp::QuantTableBlock quantTables;
};
static_assert(offsetof(MBContextHead, predictionChroma) == 256);
static_assert(offsetof(MBContextHead, coefficients) == 384);
static_assert(offsetof(MBContextHead, coefficients2) == 1152);
static_assert(offsetof(MBContextHead, quantWorkArea) == 1920);
static_assert(offsetof(MBContextHead, wordBuffer) == 2944);
static_assert(offsetof(MBContextHead, quantTables) == 1055616);
static_assert(sizeof(MBContextHead) == 2901 * kMacroblockAreaBytes);

// Bytes buffered before the bit writer hands whole blocks to the output mid-picture.
inline constexpr int kFlushThresholdBytes = 0x100000;
inline constexpr int kOutputBlockWords = 1024;
inline constexpr int kEscapedOutputBlockWords = 768;

class CMBEncoder {
 public:
  CMBEncoder();
  virtual ~CMBEncoder();
  CMBEncoder(const CMBEncoder&) = delete;
  CMBEncoder& operator=(const CMBEncoder&) = delete;

  // ---- codec operations, in slot order ----
  // Codes all slices and macroblocks of one picture.
  virtual void EncodePictureBody(CPicture* picture) = 0;
  // Codes the current macroblock row in the row-pipelined mode.
  virtual void EncodeRow() = 0;
  virtual void WriteSequenceHeader(CPicture* picture) = 0;
  virtual void WriteGopHeader(CPicture* picture) = 0;
  virtual void WritePictureHeader(CPicture* picture, int vbvDelay) = 0;
  virtual void WriteSequenceEnd() = 0;
  // Codec set-up at Init, including the one-time build of the codec's code tables.
  virtual void InitTables() = 0;
  // Bytes of codec context wanted in the context block, and where it landed.
  virtual uint32_t GetContextSize();
  virtual void SetContext(uint8_t* context);

  // ---- set by the video encoder component after construction ----
  void SetModeFlags(uint32_t flags) { modeFlags_ = flags; }
  // The accelerator (or null) and its number of prediction workers (0: none).
  void SetAccelerator(IEncodeAccelerator* accelerator, int predictionWorkers) {
    accelerator_ = accelerator;
    predictionWorkers_ = predictionWorkers;
  }

  // ---- driver ----
  // Sequence set-up. False (with a debug line, nothing left allocated) when the core or the
  // context block cannot be had, or the settings cannot be coded.
  bool Init(EncoderSettings* settings, IRateControl* rateControl);
  // Frees the core and the context block; safe to call at any time, also twice.
  void Close();
  // Ends the sequence: when a sequence header was written since the last Finish, writes the
  // sequence end and flushes it into the output's current area (not delivered), and answers
  // true; otherwise writes nothing and answers false.
  bool Finish();
  void BeginPicture(CPicture* picture);
  void NextRow();
  void EndPicture(CPicture* picture);
  // Begin, body and end of one picture (begin and end left to the caller with
  // MB_MODE_CALLER_BRACKETS). rowListener hears of every finished macroblock row, or is null.
  void EncodePicture(CPicture* picture, IMotionEstimator* rowListener);
  // Adds one macroblock's reconstruction errors to the statistics words 0..3.
  void AccumulateReconStats(CPicture* picture, int mbX, int mbRow);
  // Bits written since the output was attached.
  uint64_t GetBitPosition() const;
  IEncodeAccelerator* GetAccelerator() const { return accelerator_; }
  dsp::CMBCore* GetCore() const { return core_; }
  uint32_t GetFlags() const { return modeFlags_; }

  // ---- bit writer ----
  void AttachBitStream(IVideoBitStream* stream);
  // Appends the n low bits of value (1 <= n <= 32), most significant first.
  void PutBits(uint32_t value, int n);
  // The same for a value that fits in n bits, without the flush threshold check.
  void PutBitsFast(uint32_t value, int n) {
    // Locals: the stores into the word buffer cannot then make the compiler reload the state.
    uint32_t* word = wordPtr_;
    int freeBits = freeBits_;
    if (n < freeBits) {
      freeBits -= n;
      *word |= value << freeBits;
    } else {
      const int rest = n - freeBits;
      *word |= value >> rest;
      ++word;
      word[1] = 0;
      freeBits = 32 - rest;
      // rest < 32; with rest 0 the new word stays empty.
      if (rest != 0) *word = value << freeBits;
    }
    wordPtr_ = word;
    freeBits_ = freeBits;
  }
  // Zero bits up to the next byte boundary.
  void AlignToByte();
  // A 0 followed by ones up to the next byte boundary (nothing when aligned).
  void StuffToByte();
  // Exp-Golomb ue(v) for v up to 65534, and for any 32-bit codeNum up to 2^32 - 2.
  void PutUe(uint32_t v);
  void PutUe32(uint32_t v);
  // Hands whole blocks of buffered words to the output; final also hands the rest.
  void FlushBits(bool final);
  // Starts a unit with emulation prevention: a final flush, then unless startWord is
  // 0xFFFFFFFF the start word as the first (never escaped) buffered word.
  void BeginEscapedUnit(uint32_t startWord);
  // Escapes count bytes in place, after a run of zeroRun zero bytes; answers the number of
  // 0x03 bytes inserted (the buffer must have room for them).
  static int InsertEmulationPrevention(uint8_t* bytes, int count, int zeroRun);
  // Bits of the current picture: what left the writer since BeginPicture and what is buffered.
  int64_t GetPictureBits() const;

  // Output lost because the output had no area to give (sticky until Init).
  bool OutputLost() const { return lostBytes_ != 0; }
  uint64_t LostOutputBytes() const { return lostBytes_; }

 protected:
  // Seams for tests: how the core is made and how the context block is allocated.
  virtual bool CreateCore(dsp::CMBCore** core);
  virtual void* AllocateContextBlock(size_t bytes);
  // The matrices a sequence uses when the user gives none (raster order): the MPEG-2 defaults
  // here; codecs with other defaults override it.
  virtual void DefaultQuantMatrices(uint8_t* intra, uint8_t* nonIntra);

  void CloseWord() {
    ++wordPtr_;
    wordPtr_[1] = 0;
    freeBits_ = 32;
  }
  int BufferedWholeWords() const { return static_cast<int>(wordPtr_ - wordBuffer_); }
  bool OutputHeldBack() const {
    return (modeFlags_ & MB_MODE_SUB_ENCODER_MASK) != 0 && outputHold_ != 1;
  }
  // Sets up the scan tables of the picture: zig-zag or alternate scan in the core's transposed
  // coefficient layout (codecs with scans of their own override it).
  virtual void SetupScanTables(CPicture* picture);

  uint32_t modeFlags_ = 0;
  uint32_t outputHold_ = 0;
  dsp::CMBCore* core_ = nullptr;  // owned
  IVideoBitStream* bitStream_ = nullptr;
  IRateControl* rateControl_ = nullptr;
  EncoderSettings* settings_ = nullptr;
  void* contextBlock_ = nullptr;  // owned

  // Per-picture copies.
  int codedWidth_ = 0;
  int codedHeight_ = 0;
  int stride_ = 0;
  int mbw_ = 0;
  int mbh_ = 0;
  int codec_ = 0;
  int pictureType_ = 0;

  // scan_[p] is the coefficient index at scan position p; positionToScan_ the inverse.
  alignas(16) uint8_t scan_[64] = {};
  alignas(16) uint8_t positionToScan_[64] = {};

  IMotionEstimator* rowListener_ = nullptr;

  // Work buffers in the context block.
  uint8_t* predictionLuma_ = nullptr;    // 16 x 16, row step 16
  uint8_t* predictionChroma_ = nullptr;  // 8 rows of 16 interleaved bytes
  int16_t* coefficients_ = nullptr;      // 6 blocks: Y0 Y1 Y2 Y3 Cb Cr
  int16_t* coefficients2_ = nullptr;     // transform results kept for a quantiser retry

  MBCodingState state_;

  // Bit writer.
  uint32_t* wordPtr_ = nullptr;
  int freeBits_ = 32;
  int32_t bytesOut_ = 0;  // handed to the output since BeginPicture
  uint32_t* wordBuffer_ = nullptr;
  int64_t bytesBefore_ = 0;

  uint32_t gopCounter_ = 0;
  uint32_t sequenceHeaderPeriod_ = 1;
  uint32_t roundingControl_ = 0;
  bool sequenceStarted_ = false;

  int32_t nalMode_ = 0;
  int32_t startCodePending_ = 0;
  int32_t zeroRun_ = 4;

  // Row prediction buffers of the accelerated path (even rows, then odd rows).
  uint8_t* rowPredictionLuma_[2] = {};
  uint8_t* rowPredictionChroma_[2] = {};

  IEncodeAccelerator* accelerator_ = nullptr;
  int predictionWorkers_ = 0;

  // True while the picture being coded is in the block-ordered layout (row-pipelined mode).
  bool blockOrderedPicture_ = false;

 private:
  void FreeResources();
  void EmptyWordBuffer();
  void DropOutput(int bytes);
  // Copies whole words out (or only counts them when output is held back); answers the
  // bytes handed out, escape bytes included.
  int EmitBytes(int bytes);

  uint64_t lostBytes_ = 0;
};

// Copies ceil(n / 8) pairs of words to bytes, each word byte-reversed (big-endian): writes the
// next multiple of 8 bytes at or above n (n at least 1).
void CopyWordsBigEndian(uint8_t* bytes, const uint32_t* words, int n);

}  // namespace orx::venc
