#include "tests/dsp/check/harness.h"

namespace orx::dsp::check {

const std::vector<const char*>& SlotNames(Family family) {
  static const std::vector<const char*> kMB = {
      "ForwardDct", "ForwardTransformVc1", "ApplyDeadZone", "InverseDct", "InverseTransformVc1",
      "QuantizeClip255", "QuantizeClip2047", "QuantizeInterClip255", "QuantizeInterClip2047",
      "QuantizeIntra", "QuantizeIntraTrunc", "CodeIntraDcOnlyPair", "DequantizeIntraMpeg1",
      "DequantizeIntraMpeg2", "DequantizeIntraH263", "ReconstructIntraDcOnly",
      "DequantizeInterMpeg1", "DequantizeInterMpeg2", "DequantizeInterH263",
      "ReconstructInterDcOnly", "LoadBlock", "SubtractBlock", "LoadChromaPair",
      "SubtractChromaPair", "StoreBlockPair", "AddBlockPair", "StoreChromaPair", "AddChromaPair",
      "PadBordersHorizontal", "PadChromaBordersHorizontal", "PadBordersVertical", "Copy16x16",
      "CopyMBBuffer", "AverageMBBuffers", "FindLastCoefficient", "InitMcTables", "StoreAcPredRow",
      "StoreAcPredColumn", "PredictAcRow", "PredictAcColumn", "SumSseSad16x8", "LoadBlockOffset",
      "StoreBlockPairOffset", "LoadChromaPairOffset", "StoreChromaPairOffset", "PredictAcRowVc1",
      "PredictAcColumnVc1", "DequantizeIntraVc1", "DequantizeInterVc1", "ReconstructDcOnlyVc1",
      "CodeIntraDcOnlyPairVc1", "OverlapSmoothVertEdge", "OverlapSmoothVertEdgeRows",
      "OverlapSmoothHorzEdge", "SaveOverlapContext", "DeblockHorzEdgeVc1",
      "DeblockHorzEdgeMaskedVc1", "DeblockVertEdgeVc1", "DeblockVertEdgeMaskedVc1",
      "InterpolateBilinearVc1", "InterpolateBicubicVertVc1", "InterpolateBicubicHorzVc1",
      "InterpolateBicubic2DVc1", "TransformQuant4x4", "TransformQuant4x4Pair",
      "TransformQuantChromaAc", "TransformQuantChromaDc", "TransformQuantLumaDc", "Reconstruct4x4",
      "Reconstruct4x4Pair", "ReconstructChroma", "Subtract4x4", "PredictIntraChroma",
      "McChromaEighthPel", "DeblockLumaHorzEdge", "PredictIntra16x16", "DeblockChromaHorzEdge",
      "InterpolateLumaQpel8x8", "DeblockLumaVertEdge", "PredictIntra4x4Best", "AverageInPlace32",
      "DeblockChromaVertEdge", "AverageInPlace64",
  };
  static const std::vector<const char*> kME = {
      "Satd16", "Satd8x16", "SatdSubPel", "QuarterPelSads16", "QuarterPelSads8", "Sad16Packed",
      "Sad16", "Sad16Prefetch", "SadHalfPel16", "Sad8", "SadHalfPel8", "SadBidirHalfPel16",
      "RefineHalfPelHorz", "RefineHalfPelVert", "RefineFullPelVert", "SearchWindow8x4Stride2",
      "SearchWindow4x4Threshold", "SearchWindow8x4Stride4", "SearchWindow4x4",
      "SearchWindowRowPairs", "SearchWindowThreshold", "DecimateBlock", "DecimateQuadrants",
      "SubPelSadsX16x16", "SubPelSadsY16x16", "SubPelSadsX8x8", "SubPelSadsY8x8", "SubPelSadsX16x8",
      "SubPelSadsY16x8", "SubPelSadsXHalves", "SubPelSadsYHalves", "DecimatePlane",
      "DecimatePlane4x2", "DecimatePlaneAlt", "DecimateHorz", "DecimateVert", "DecimateBlockHorz",
      "DecimateBlockVert", "SearchWindowThreshold2", "SubPelSadsXVc1", "SubPelSadsYVc1",
  };
  static const std::vector<const char*> kPP = {
      "ConvertUYVY", "ConvertYUY2", "CopyPlane", "InterleaveUV", "BlockDeviation",
      "SubBlockMeans4x4", "FieldFrameDifference", "FilterCombRows", "FilterCombBlock16",
      "NoiseGateRow", "NoiseGate16", "FilterCombRowsTwoSource", "FilterCombRowsWithTop", "FillRows",
      "MedianFilter", "MedianFilterStep2", "MedianFilterBounded", "MedianFilterStep2Alt",
      "NeighbourhoodStats", "DownscaleHorz", "DownscaleHorzChroma", "Downscale2x2",
      "Downscale2x2Chroma", "DownscaleVert", "BlendWeighted", "ConvertUYVYMode0",
      "ConvertUYVYMode1", "ConvertUYVYMode2", "ConvertUYVYMode3", "ConvertUYVYMode4",
      "ConvertYUY2Mode0", "ConvertYUY2Mode1", "ConvertYUY2Mode2", "ConvertYUY2Mode3",
      "ConvertYUY2Mode4",
  };
  switch (family) {
    case Family::kMBCore: return kMB;
    case Family::kMotionEstimationCore: return kME;
    case Family::kPreprocCore: return kPP;
  }
  return kMB;
}

}  // namespace orx::dsp::check
