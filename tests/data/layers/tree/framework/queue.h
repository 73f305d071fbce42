#pragma once
#include "platform/threads.h"
#include "platform/missing.h"
