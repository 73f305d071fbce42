#pragma once
// The motion estimator as the encoder driver, the preprocessor and the macroblock encoders see
// it. The macroblock encoders use only DecimateRow, as the row listener that learns when a
// macroblock row of a reference picture is final; the other operations drive the search.
// Operations in slot order; the destructor comes last.
namespace orx::venc {

class CPicture;
class CMBEncoder;
struct EncoderSettings;
struct MBInfo;

class IMotionEstimator {
 public:
  // Destroys the object.
  virtual void Release() = 0;
  // Sequence set-up; false when a buffer cannot be had.
  virtual bool Init(const EncoderSettings* settings, CMBEncoder* encoder) = 0;
  // Frees what Init allocated and releases the held pictures.
  virtual void Close() = 0;
  // The reconstruction of macroblock row `row` of `picture` is final.
  virtual void DecimateRow(CPicture* picture, int row) = 0;
  // Per-picture set-up of the search (geometry, limits, cost constants).
  virtual void SetupPicture() = 0;
  // Stores the picture's search results (vector ranges, reference distance) into it.
  virtual void FinishPicture() = 0;
  // Estimates every macroblock of the current picture into its MBInfo array.
  virtual void EstimatePicture(MBInfo* mbInfo) = 0;
  // Estimates one macroblock row of the row pipeline (rowFirst: the row's first record).
  virtual void EstimateRow(MBInfo* rowFirst, int row) = 0;
  virtual ~IMotionEstimator() = default;
};

}  // namespace orx::venc
