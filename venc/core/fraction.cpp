#include "venc/core/fraction.h"

#include <cstdlib>

namespace orx::venc {

void ReduceFraction(int* a, int* b) {
  int x = std::abs(*a);
  int y = std::abs(*b);
  while (y != 0) {
    const int r = x % y;
    x = y;
    y = r;
  }
  if (x == 0) return;
  *a /= x;
  *b /= x;
}

}  // namespace orx::venc
