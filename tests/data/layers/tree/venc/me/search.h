#pragma once
#include "venc/mbenc/block.h"
