#pragma once
// A video format record for the scaler tests: picture size = frame size unless given.
#include <cstdint>

#include "media/media_codes.h"
#include "media/media_type.h"

namespace orx::vscaler::test {

inline VideoMediaType VideoFormat(uint32_t subtype, uint32_t w, uint32_t h, uint32_t pw = 0, uint32_t ph = 0) {
  VideoMediaType t{};
  t.size = sizeof(VideoMediaType);
  t.MType = QVA_MTYPE_VIDEO;
  t.subtype = subtype;
  t.width = w;
  t.height = h;
  t.secondWidth = pw ? pw : w;
  t.secondHeight = ph ? ph : h;
  return t;
}

}  // namespace orx::vscaler::test
