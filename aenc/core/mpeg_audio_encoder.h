#pragma once
// CMPEGAudioEncoder: the one encoder class of the library. It derives every frame parameter from
// the configuration, runs the polyphase analysis filter bank shared by the MPEG layers, writes
// the bit stream, and dispatches each frame to its codec. Processor variants derive from it and
// replace kernel operations only.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "aenc/core/aligned_block.h"
#include "aenc/core/audio_encoder.h"
#include "aenc/core/audio_encoder_config.h"

namespace orx::aenc {

class CPsychoacousticModel;
struct Layer2AllocTable;
struct AacState;
struct AacWorkArea;
struct Layer3State;
struct Layer3WorkArea;
struct Layer3GranuleRecord;
struct Layer3FrameNode;

constexpr int kMpegFrameSamples = 1152;
constexpr int kMpegSubbands = 32;
constexpr int kLayer2Slots = 36;  // time slots of 32 subband samples per frame

// The header words the psychoacoustic model reads.
struct MpegHeaderWords {
  int id = 0;
  int layer = 0;
  int bitrateIndex = 0;
  int samplingIndex = 0;
  int channels = 0;
  int sblimit = 0;
  int bandwidth = 0;
  int psyMode = 0;
};

// The MPEG work area: the frame's PCM, then the Layer II arrays. The 256 bytes after the PCM are
// the SSE matrixing's scratch.
struct alignas(64) MpegWorkArea {
  int16_t pcm[2][kMpegFrameSamples];
  float matrixScratch[64];
  float subband[2][kLayer2Slots][kMpegSubbands];
  uint32_t codes[kLayer2Slots * kMpegSubbands * 2];
  uint32_t allocation[kMpegSubbands][2];
  uint32_t scfsi[kMpegSubbands][2];
  uint32_t scalefactor[kMpegSubbands][2][3];
};
static_assert(sizeof(MpegWorkArea) == 24576);

class CMPEGAudioEncoder : public IAudioEncoder {
 public:
  // Derives every field from `config` and writes frameSamples and maxFrameBytes back. The
  // processor-extension mask picks the psychoacoustic model's variant.
  CMPEGAudioEncoder(AudioEncoderConfig* config, uint32_t extensionMask);
  ~CMPEGAudioEncoder() override;
  CMPEGAudioEncoder(const CMPEGAudioEncoder&) = delete;
  CMPEGAudioEncoder& operator=(const CMPEGAudioEncoder&) = delete;

  // False when an allocation of the constructor failed; such an object must only be released.
  bool Constructed() const { return constructed_; }

  // Slots 0 to 4.
  bool Release() override;
  bool Init(IAudioBitstream* bitstream) override;
  bool EncodeFrame(const int16_t* pcm) override;
  bool EndOfStream() override;
  double GetAverageStepDb() override;

  // Kernels (slots 6, 7, 9, 10, 11), replaced by the processor variants.
  // sums[r] = sum over 8 taps of history[8r + k] x window[8r + k], wrapping 32-bit sums.
  virtual void PolyphaseWindow(const int16_t* history, const int16_t* window, int32_t* sums,
                               int count);
  // out[k] = sum over i of cos((2k + 1)(i - 16) pi / 64) x sums[i] x 2^-34.
  virtual void PolyphaseMatrix(const int32_t* sums, float* out);
  // Scalefactor indices [sb][ch][part] of the frame's subband samples.
  virtual void Layer2ScaleFactors(const float* subband, uint32_t* scalefactor);
  // Sample codes of the allocated subbands, in bitstream order.
  virtual void Layer2Quantize(const uint32_t* scalefactor, const float* subband,
                              const uint32_t* allocation, uint32_t* codes);
  virtual void DeinterleavePcm(const int16_t* in, int16_t* left, int16_t* right, int count,
                               int channels);
  // Slot 8: out[k] = sum over n of T[k][n] x z[n] for 36 subband samples z (oldest first) and
  // the process-wide MDCT table T (layer3/layer3_mdct_table.h).
  virtual void Layer3Mdct(const float* z, float* out);

  // Spectrum kernels (slots 12, 13, 17; spectrum_kernels.cpp and aac/aac_band_max_abs.cpp).
  // codes[i] = the quantized magnitude of xr34[i] x step; answers the OR of all codes. count is
  // a multiple of 2 (of 4 in the SSE variant).
  virtual uint32_t QuantizeSpectrum(const float* xr34, int32_t* codes, float step, int count);
  // out[i] = |in[i]|^(3/4).
  virtual void PowThreeQuarters(float* out, const float* in, int count);
  // The largest of count non-negative codes; each code takes the sign of its coefficient.
  virtual int AacBandMaxAbs(int32_t* codes, const float* coefficients, int count);

  // One analysis step of 32 new samples of a channel into 32 subband samples.
  void AnalysisStep(const int16_t* samples, float* out, int channel);

  // Bit writers.
  void PutBits(uint32_t value, int count);
  void PutMainDataBits(uint32_t value, int count);
  void FlushMainData(int bytes);
  void WriteMpegAudioHeader();

  MpegHeaderWords HeaderWords() const;

  // AAC-LC (aac/).
  static int AacSamplingIndex(int rate);
  bool SetupAac();
  void InitAacTables();
  void FreeAac();
  void ResetAacStream();
  void EncodeAacFrame(const int16_t* pcm, int bits);
  void AacMdct(float* coefficients, const int16_t* current, const int16_t* previous);
  // The transform of AacMdct in double precision: 2048 windowed samples to 1024 coefficients.
  void AacMdctTransform(const float* windowed, double* coefficients);
  static void AacFft512(double* data, const double* twiddles);
  int AacQuantizeChannel(uint8_t* codebooks, int* gainOut, float* coefficients, int32_t* quantized,
                         int target, int minBits, int maxBits, int averageGain);
  int AacSectionBits(uint8_t* codebooks, int32_t* quantized, const float* coefficients);
  void WriteAacRawDataBlock(int frameBytesOut);
  void WriteAdtsHeader(int frameBytesOut);
  void WriteAacSectionData(const uint8_t* codebooks);
  void WriteAacScaleFactors(const uint8_t* codebooks);
  void WriteAacSpectralData(const uint8_t* codebooks, const int32_t* quantized);
  void WriteAacEscape(int value);
  static float AacStepFromGain(int gain);
  int AacBitsWritten() const;

  // Layer III (layer3/). EncodeLayer3Frame answers false when a frame node could not be
  // allocated (the frame is not coded).
  bool SetupLayer3();
  void ResetLayer3Stream();
  bool EncodeLayer3Frame(int bits);
  void Layer3Transform();
  void Layer3Granules(int mean, int bits);
  void Layer3RateLoop(Layer3GranuleRecord& record, int32_t* ix, int minBits, int mean, int maxBits,
                      int preferred);
  int Layer3TryGain(int q, int32_t* ix, Layer3GranuleRecord& record, bool* fits);
  int Layer3CountBits(const int32_t* ix, Layer3GranuleRecord& record) const;
  int Layer3RegionBits(const int32_t* ix, Layer3GranuleRecord& record) const;
  // The cheapest table for values[0..count) of region `region` (0..2, or -1 for none) and its
  // bits (codes, signs, linbits); a table fixed by layer3ForcedTables takes precedence where it
  // can code the values.
  int SelectHuffmanTable(const int32_t* values, int count, int* table, int region = -1) const;
  bool Layer3WriteFrame(int bits);
  void Layer3WriteSideInfo(int mainDataBegin);
  void Layer3WriteMainData();
  void Layer3WriteGranule(const int32_t* ix, const float* xr, const Layer3GranuleRecord& record);
  void Layer3WritePair(int table, int x, int y, bool xNegative, bool yNegative);
  void Layer3OutputCompleteFrames();
  std::unique_ptr<Layer3FrameNode> NewLayer3Node();
  // Bits written into the staging buffer so far.
  int MainDataBitsWritten() const;
  // The quantizer step 2^(-3q/16) of gain offset q (global_gain - 210), 1.0 for q = 0.
  static float Layer3Step(int q);

  // Layer II (layer2/).
  void EncodeLayer2Frame(int bits);
  void Layer2SelectScfsi(uint32_t* scalefactor, uint32_t* scfsi) const;
  int Layer2Allocate(const float (*smr)[kMpegSubbands], const uint32_t* scfsi,
                     uint32_t* allocation, int bits) const;
  uint16_t Layer2Crc16(const uint32_t* allocation, const uint32_t* scfsi) const;

  // Header words, in the order the frame header carries them.
  int id = 0;
  int layer = 0;
  int crc = 0;
  int bitrateIndex = 0;
  int samplingIndex = 0;
  int padding = 0;
  int privateBit = 0;
  int mode = 0;
  int modeExtension = 0;
  int copyright = 0;
  int original = 0;
  int emphasis = 0;

  const Layer2AllocTable* allocTable = nullptr;
  int channels = 0;
  int sblimit = 0;
  int psyMode = 0;
  int bandwidth = 0;
  int bandwidthSubbands = 0;
  int crcBits = 0;
  int adts = 0;
  int frameBytes = 0;
  int frameRemainder = 0;
  int paddingAccumulator = 0;
  int frameSamples = 0;
  int sampleRate = 0;
  int framesCoded = 0;
  double stepSum = 0;

  uint8_t* frameStart = nullptr;
  uint8_t* writePtr = nullptr;
  int bitsLeft = 8;
  IAudioBitstream* bitstream = nullptr;
  std::unique_ptr<CPsychoacousticModel> psyModel;

  AlignedBlock<int16_t> windowTable;  // eight pre-rotated copies of 512 taps
  float quantTable[17][64] = {};
  AlignedBlock<int16_t> fifo;         // [2][512] analysis history
  int32_t partialSums[64] = {};
  AlignedBlock<MpegWorkArea> mpegWork;
  int fifoPos[2] = {};
  const int16_t* pcmPtr[2] = {};
  float smr[2][kMpegSubbands] = {};

  // AAC: the per-stream state and the work area (inside the block, rounded up to 128 bytes).
  struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
  };
  std::unique_ptr<AacState> aacState;
  AacWorkArea* aacWork = nullptr;
  std::unique_ptr<uint8_t, FreeDeleter> aacWorkBlock;

  // Layer III: the state across frames and the 64-byte aligned work area.
  std::unique_ptr<Layer3State> l3State;
  AlignedBlock<Layer3WorkArea> l3Work;
  // Test seams: a table (0..31) fixed per region, a count1 table (0, 1) fixed, and the number
  // of frame nodes still allocatable (-1: no limit).
  int layer3ForcedTables[3] = {-1, -1, -1};
  int layer3ForcedCount1 = -1;
  int layer3NodeAllocationsLeft = -1;

  int stageIndex = 0;
  int stageBitsLeft = 8;
  uint8_t stage[4100] = {};

 private:
  void BuildAnalysisWindow();
  void SetupMpeg(const AudioEncoderConfig& config, uint32_t extensionMask);
  void SetupAacCodec(const AudioEncoderConfig& config);
  void SetBandwidth(const AudioEncoderConfig& config);

  bool constructed_ = true;
};

}  // namespace orx::aenc
