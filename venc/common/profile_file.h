#pragma once
// The encoder's profiling trace file (its timers live with the encoder's profiling). The GPU
// set-up opens it after every set-up and closes it at every shutdown.

namespace orx::venc {

// With debug bit 22 and no trace file open, creates the trace file.
void OpenProfileFile();
// Flushes and closes the trace file, when one is open.
void CloseProfileFile();

}  // namespace orx::venc
