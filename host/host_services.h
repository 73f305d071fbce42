#pragma once
// The host's own suites: Export Info (from the source), Time, Memory Manager, Window, Error,
// and the Export Param suite of the parameter store, registered under their names.
#include <cstdint>

#include "host/source_description.h"

namespace orx::host {

// Ticks per second of the host's clock: a multiple of 120000, so that every standard frame
// rate divides it exactly.
inline constexpr int64_t kTicksPerSecond = 1200000000;

// Every suite of the host: these and the export suites (Export File, Export Progress,
// Sequence Render, Sequence Audio, PPix).
void RegisterHostSuites();
void SetCurrentSource(const SourceDescription& source);

// The bytes the plug-in last reserved through the Memory Manager suite (0 before any).
uint32_t ReservedMemory();
void ResetReservedMemory();

// The main window that owns the plug-in's message boxes.
void* HostMainWindow();

}  // namespace orx::host
