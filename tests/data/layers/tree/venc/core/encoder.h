#pragma once
#include "platform/threads.h"
