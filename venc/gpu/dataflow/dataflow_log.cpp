#include "venc/gpu/dataflow/dataflow_log.h"

#include <cstdarg>
#include <cstdio>

#include "venc/common/write_log_file.h"
#include "venc/common/dataflow_hooks.h"

namespace orx::dataflow {

void DataflowLog(const char* text) {
  if (DataflowLogCallback callback = g_dataflow_log_callback.load()) {
    callback(text);
    return;
  }
  venc::WriteLogFile("LOG: %s\n", text);
}

void DataflowLogf(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  DataflowLog(text);
}

}  // namespace orx::dataflow
