#pragma once
// The log sink of the GPU layer: one line to the log callback when one is set, else
// "LOG: <text>\n" into the encoder's log file (WriteLogFile).
namespace orx::dataflow {

void DataflowLog(const char* text);

// Formats into a 1024-byte text first (longer texts are cut), then DataflowLog.
void DataflowLogf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orx::dataflow
