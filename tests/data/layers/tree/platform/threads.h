#pragma once
#include "venc/core/encoder.h"
