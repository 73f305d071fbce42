#pragma once
// The plug-in's log file: named by the configuration's log path, opened for appending at each
// pass start and closed at its end. LogOwner is the configuration whose open log LogFile_Write
// uses; it starts at the properties dialog's default configuration.
#include "media/tengine_config.h"

namespace orx::plugin {

void LogFile_Open(QVATengineConfig* config);
// Closes the given configuration's log (the owner's when none is given); 0.
int LogFile_Close(QVATengineConfig* config);
// Closes the given configuration's log and answers the log owner.
QVATengineConfig* LogFile_Detach(QVATengineConfig* config);
// Formats one line (at most 512 bytes, ending in CR LF) into the owner's log; the bytes
// written, or 0 without an open log or on a write failure.
int LogFile_Write(const char* format, ...) __attribute__((format(printf, 1, 2)));

QVATengineConfig* LogOwner();
void SetLogOwner(QVATengineConfig* config);

}  // namespace orx::plugin
