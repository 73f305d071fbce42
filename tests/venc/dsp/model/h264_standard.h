#pragma once
// A transcription of the decoding processes of the H.264 standard that the encoder's kernels
// must reproduce: intra sample prediction (Intra_4x4, Intra_16x16, chroma for 4:2:0), fractional
// sample interpolation (luma and chroma), and the scaling and inverse transform of residual
// blocks with picture construction. Written from the standard's equations and variable names
// (p[x, y], the samples G, b, h, j ... of the interpolation, c, d, f, r of the transform), not
// from the kernels; arrays are indexed as the standard indexes them ([row][column] = [i][j]).
#include <cstdint>
#include <functional>

namespace orx::dsp::standard {

// Neighbouring samples p[x, y], x or y = -1, as the standard names them.
using Neighbour = std::function<int(int x, int y)>;

// Intra_4x4 sample prediction of mode 0..8 into pred[y][x]. The caller has applied the
// substitution of p[4..7, -1] by p[3, -1] where those samples are not available; the DC mode
// takes which neighbours are available.
void Intra4x4(int mode, const Neighbour& p, bool leftAvailable, bool topAvailable, int pred[4][4]);

// Intra_16x16 sample prediction of mode 0..3 into pred[y][x].
void Intra16x16(int mode, const Neighbour& p, bool leftAvailable, bool topAvailable,
                int pred[16][16]);

// Chroma intra prediction (4:2:0, one component) of intra_chroma_pred_mode 0..3 into pred[y][x].
void IntraChroma(int mode, const Neighbour& p, bool leftAvailable, bool topAvailable,
                 int pred[8][8]);

// Integer luma sample at (x, y) of the reference picture.
using Sample = std::function<int(int x, int y)>;

// The luma prediction sample at full-sample position (x, y) plus (xFrac, yFrac) quarters.
int LumaSample(const Sample& ref, int x, int y, int xFrac, int yFrac);

// The chroma prediction sample at (x, y) plus (xFrac, yFrac) eighths.
int ChromaSample(const Sample& ref, int x, int y, int xFrac, int yFrac);

// LevelScale(m, i, j) of the flat scaling (m = qP % 6).
int LevelScale(int m, int i, int j);

// Scaling of a 4x4 block of levels c[i][j] at qP into d[i][j]; with `dcGiven` d[0][0] = c[0][0]
// (the DC comes from the separate DC transform).
void ScaleResidual4x4(const int c[4][4], int qP, bool dcGiven, int d[4][4]);

// The 4x4 inverse transform of d[i][j] into the residual r[i][j], (h + 32) >> 6.
void TransformResidual4x4(const int d[4][4], int r[4][4]);

// Picture construction: Clip1(pred + r).
int Construct(int pred, int r);

// The Intra_16x16 luma DC: the inverse Hadamard of the 4x4 DC levels c[i][j] and their scaling
// at qP (12 and above), dcY[i][j] for the block at row i, column j.
void LumaDcTransform(const int c[4][4], int qP, int dcY[4][4]);

// The 4:2:0 chroma DC: c[i][j] of the 2x2 DC levels (c[0][1] the horizontal frequency) to
// dcC[i][j] of the block at row i, column j, at qP.
void ChromaDcTransform(const int c[2][2], int qP, int dcC[2][2]);

}  // namespace orx::dsp::standard
