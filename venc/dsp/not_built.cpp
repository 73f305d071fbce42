#include "venc/dsp/not_built.h"

#include <cstdio>
#include <cstdlib>

namespace orx::dsp {

void ReportNotBuilt(const char* className, const char* operation) {
  std::fprintf(stderr, "%s::%s is not built\n", className, operation);
  std::fflush(stderr);
  std::abort();
}

}  // namespace orx::dsp
