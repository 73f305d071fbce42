#include "venc/me/search.h"
#include "framework/queue.h"
