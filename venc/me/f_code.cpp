#include "venc/me/f_code.h"

namespace orx::venc {

int GetFCode(int range) {
  int fCode = 1;
  for (int limit = 16; fCode < 9 && range >= limit; limit <<= 1) ++fCode;
  return fCode;
}

}  // namespace orx::venc
