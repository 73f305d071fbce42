#pragma once
// The analysis window of the MPEG audio polyphase filter bank.

namespace orx::aenc {

// C[0] .. C[511], as published (nine decimals).
extern const double kAnalysisWindow[512];

}  // namespace orx::aenc
