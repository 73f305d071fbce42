#pragma once
// The motion estimator as the macroblock encoders see it: the row listener that learns when a
// macroblock row of a reference picture is final. The estimator's issue completes the
// interface with its other slots.
namespace orx::venc {

class CPicture;

class IMotionEstimator {
 public:
  // The reconstruction of macroblock row `row` of `picture` is final.
  virtual void DecimateRow(CPicture* picture, int row) = 0;

 protected:
  ~IMotionEstimator() = default;
};

}  // namespace orx::venc
