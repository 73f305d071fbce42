#pragma once
// The video encoder's log file: the file named by the string value "LogFilePath" of the
// encoder's registry key. The GPU layer's "LOG: ..." lines go there.

namespace orx::venc {

// The encoder's registry key (values "EncodeGpuWaitSleep" and "LogFilePath").
inline constexpr const char* kEncoderRegistryKey = "HKLM\\Software\\TYV Technologies\\Vidarc";

// Status answers of WriteLogFile.
inline constexpr int kLogWritten = 0;
inline constexpr int kLogNotConfigured = 7;  // no "LogFilePath", or an empty one: nothing written
inline constexpr int kLogFileFailed = 8;     // the file could not be opened or written

// Formats the text (at most 1024 bytes; longer texts are cut) and appends it to the log file,
// opened and closed at every call. Each text goes out in one write on an O_APPEND descriptor,
// so lines of several encoders never interleave.
int WriteLogFile(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orx::venc
