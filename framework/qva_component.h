#pragma once
// The chief header of the component framework: result codes, component states and commands,
// the progress event ids, and (through the headers it includes) the typed handles, the guarded
// allocator, the clock, debug output and trace events.
#include <cstdint>

#include "framework/event_manager.h"
#include "framework/qva_clock.h"
#include "framework/qva_memory.h"
#include "framework/qva_os.h"
#include "framework/qva_status.h"

// --- Component states: exactly one bit value at a time ---
using CompState = uint32_t;
inline constexpr CompState QVA_STATE_NONE = 0x0;
inline constexpr CompState QVA_STATE_INIT = 0x1;
inline constexpr CompState QVA_STATE_IDLE = 0x2;
inline constexpr CompState QVA_STATE_PREROLL = 0x4;
inline constexpr CompState QVA_STATE_STARTING = 0x8;
inline constexpr CompState QVA_STATE_PLAYING = 0x10;
inline constexpr CompState QVA_STATE_PAUSING = 0x20;
inline constexpr CompState QVA_STATE_PAUSED = 0x40;
inline constexpr CompState QVA_STATE_STEPPING = 0x100;
inline constexpr CompState QVA_STATE_RATECHANGE = 0x1000;
inline constexpr CompState QVA_STATE_TRICK = 0x2000;
inline constexpr CompState QVA_STATE_SEEKING = 0x4000;
inline constexpr CompState QVA_STATE_STOPPING = 0x10000;
inline constexpr CompState QVA_STATE_STOPPED = 0x20000;
inline constexpr CompState QVA_STATE_DESTROYING = 0x80000;
inline constexpr CompState QVA_STATE_STREAMERROR = 0x10000000;
inline constexpr CompState QVA_STATE_INTERNALERROR = 0x40000000;
inline constexpr CompState QVA_STATE_UNKNOWN = 0x80000000;

// Named groups of states, used as masks.
// IDLE, STARTING, PLAYING, PAUSING, PAUSED, STEPPING, STOPPING: leaving it for the end group
// closes the input queues.
inline constexpr uint32_t QVA_STATES_ACTIVE = 0x1017A;
// STOPPING, STOPPED: leaving it for the active group reopens the input queues.
inline constexpr uint32_t QVA_STATES_END = 0x30000;
// The active group and STOPPED: stopping the worker re-asserts DESTROYING from these.
inline constexpr uint32_t QVA_STATES_STOPPABLE = 0x3017A;
// INIT, DESTROYING: the worker is not stopped again; a finished worker leaves the state alone.
inline constexpr uint32_t QVA_STATES_SETTLED = 0x80001;
// PAUSED, STOPPED: the worker idles.
inline constexpr uint32_t QVA_STATES_IDLING = 0x20040;
// STARTING, PAUSING, STEPPING, STOPPING, STOPPED: never turned into PLAYING after a round.
inline constexpr uint32_t QVA_STATES_HOLD_PLAYING = 0x30128;
// PLAYING, PAUSED, DESTROYING: pending progress is not announced.
inline constexpr uint32_t QVA_STATES_NO_PROGRESS = 0x80050;

// The one rule for state and flag masks: true when the word shares a bit with the mask or
// equals it, so mask 0 tests for 0. The complement of a state waits until that state is left.
constexpr bool QVAMaskTest(uint32_t word, uint32_t mask) { return (word & mask) != 0 || word == mask; }

// --- Commands ---
inline constexpr uint32_t CMD_NONE = 0x0;
inline constexpr uint32_t CMD_PLAY = 0x1;
inline constexpr uint32_t CMD_PAUSE = 0x2;
inline constexpr uint32_t CMD_STOP = 0x4;
inline constexpr uint32_t CMD_PLAY_INDEX = 0x8;
inline constexpr uint32_t CMD_STEP = 0x10;
inline constexpr uint32_t CMD_NEXT = 0x20;
inline constexpr uint32_t CMD_PREVIOUS = 0x40;
inline constexpr uint32_t CMD_RESTART = 0x80;
inline constexpr uint32_t CMD_SEEK = 0x200;
inline constexpr uint32_t CMD_CONNECT = 0x1000;
inline constexpr uint32_t CMD_DISCONNECT = 0x2000;
inline constexpr uint32_t CMD_EMPTY = 0x4000;
inline constexpr uint32_t CMD_FLUSH = 0x8000;

// --- Progress event ids, also the bits of an instance's event mask ---
inline constexpr uint32_t PROGRESS_STATE = 2;
inline constexpr uint32_t PROGRESS_STREAM = 4;
inline constexpr uint32_t PROGRESS_VIDEO = 8;
inline constexpr uint32_t PROGRESS_AUDIO = 16;
inline constexpr uint32_t PROGRESS_BUFFER = 32;
