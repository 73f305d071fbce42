#include "venc/core/level_tables.h"

namespace orx::venc {

const Mpeg2LevelLimits* FindMpeg2Level(int32_t levelCode) {
  for (const Mpeg2LevelLimits& row : kMpeg2Levels) {
    if (row.levelCode == levelCode) return &row;
  }
  return nullptr;
}

}  // namespace orx::venc
