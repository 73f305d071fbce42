#include "venc/core/encoder.h"
#include "platform/threads.h"
