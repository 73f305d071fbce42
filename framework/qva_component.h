#pragma once
// The chief header of the component framework: result codes, component states and commands,
// the progress event ids, the component descriptor and its method table, the instance and pin
// records, the parameter and event records, and the framework's operations (CompBase_*).
// Through the headers it includes: the buffer record, the typed handles, the guarded
// allocator, the clock, debug output and trace events.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "framework/buffer_queue.h"
#include "framework/component_buffer.h"
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
inline constexpr uint32_t QVA_STATES_ACTIVE = QVA_STATE_IDLE | QVA_STATE_STARTING | QVA_STATE_PLAYING |
                                              QVA_STATE_PAUSING | QVA_STATE_PAUSED | QVA_STATE_STEPPING |
                                              QVA_STATE_STOPPING;  // 0x1017A
// STOPPING, STOPPED: leaving it for the active group reopens the input queues.
inline constexpr uint32_t QVA_STATES_END = QVA_STATE_STOPPING | QVA_STATE_STOPPED;  // 0x30000
// The active group and STOPPED: stopping the worker re-asserts DESTROYING from these.
inline constexpr uint32_t QVA_STATES_STOPPABLE = QVA_STATES_ACTIVE | QVA_STATE_STOPPED;  // 0x3017A
// INIT, DESTROYING: the worker is not stopped again; a finished worker leaves the state alone.
inline constexpr uint32_t QVA_STATES_SETTLED = QVA_STATE_INIT | QVA_STATE_DESTROYING;  // 0x80001
// PAUSED, STOPPED: the worker idles.
inline constexpr uint32_t QVA_STATES_IDLING = QVA_STATE_PAUSED | QVA_STATE_STOPPED;  // 0x20040
// STARTING, PAUSING, STEPPING, STOPPING, STOPPED: never turned into PLAYING after a round.
inline constexpr uint32_t QVA_STATES_HOLD_PLAYING = QVA_STATE_STARTING | QVA_STATE_PAUSING | QVA_STATE_STEPPING |
                                                    QVA_STATE_STOPPING | QVA_STATE_STOPPED;  // 0x30128
// PLAYING, PAUSED, DESTROYING: pending progress is not announced.
inline constexpr uint32_t QVA_STATES_NO_PROGRESS = QVA_STATE_PLAYING | QVA_STATE_PAUSED | QVA_STATE_DESTROYING;  // 0x80050

// The one rule for state and flag masks: true when the word shares a bit with the mask or
// equals it, so mask 0 tests for 0. The complement of a state waits until that state is left.
constexpr bool QVAMaskTest(uint32_t value, uint32_t mask) { return (value & mask) != 0 || value == mask; }

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

// Event record flags of PROGRESS_STATE.
inline constexpr uint32_t QVA_PROGRESSFLAG_START = 0x1;
inline constexpr uint32_t QVA_PROGRESSFLAG_EOS = 0x10;
inline constexpr uint32_t QVA_PROGRESSFLAG_AUDIO = 0x10000;
inline constexpr uint32_t QVA_PROGRESSFLAG_VIDEO = 0x20000;

// --- Class and role bits of ComponentInfo::typeFlags ---
inline constexpr uint32_t QVA_TYPE_READER = 0x1;
inline constexpr uint32_t QVA_TYPE_DEMUX = 0x4;
inline constexpr uint32_t QVA_TYPE_DECODER = 0x8;
inline constexpr uint32_t QVA_TYPE_ENCODER = 0x10;
inline constexpr uint32_t QVA_TYPE_SCALER = 0x20;
inline constexpr uint32_t QVA_TYPE_MULTIPLEXER = 0x80;  // or renderer
inline constexpr uint32_t QVA_TYPE_AUDIO = 0x100000;
inline constexpr uint32_t QVA_TYPE_VIDEO = 0x200000;
inline constexpr uint32_t QVA_TYPE_STREAM = 0x800000;  // multiplexed stream

inline constexpr uint32_t QVA_INTERFACE_VERSION = 0x40001;
inline constexpr uint32_t QVA_TYPES_VERSION = 0x10001;

// Progress kinds.
inline constexpr uint32_t QVA_PROGRESS_KIND_VIDEO = 1;
inline constexpr uint32_t QVA_PROGRESS_KIND_AUDIO = 0x100;

// --- Framework parameter ids (media ids are in media/media_params.h) ---
inline constexpr uint32_t QVA_PARAM_LOG = 1;                 // LogSetup
inline constexpr uint32_t QVA_PARAM_BUFFERS = 4;             // PinBufferConfig
inline constexpr uint32_t QVA_PARAM_PRIORITY = 5;            // by value
inline constexpr uint32_t QVA_PARAM_STATISTICS = 8;          // CompStatistics
inline constexpr uint32_t QVA_PARAM_PROGRESS_INTERVAL = 11;  // by value, ms
inline constexpr uint32_t QVA_PARAM_PROGRESS = 13;           // ProgressInfo, get only
inline constexpr uint32_t QVA_PARAM_LOGLEVEL = 0x1000001;    // by value

struct ComponentInstance;
struct StreamMediaType;  // media/media_type.h

// --- Entry points, callbacks and method slots: binary interfaces called across libraries ---
extern "C" {
// An input pin's entry points, handed upstream; context is the downstream instance.
typedef QVAStatus (*QVAGetEmptyBufferFn)(void* context, ComponentBuffer** outBuffer);
typedef QVAStatus (*QVADeliverBufferFn)(void* context, ComponentBuffer* buffer);
typedef void (*QVAErrorCallbackFn)(ComponentInstance* instance, QVAStatus status, uint32_t detail, void* user);
// Called on the thread that raises the event; record is one of the event records below.
typedef void (*QVAEventCallbackFn)(ComponentInstance* instance, uint32_t eventId, void* record, uint32_t recordSize,
                                   void* user);

typedef QVAStatus (*QVAComp_GetInputPinFn)(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn* outGet,
                                           QVADeliverBufferFn* outDeliver);
typedef QVAStatus (*QVAComp_ConnectOutputFn)(ComponentInstance* instance, uint32_t pin, QVAGetEmptyBufferFn get,
                                             QVADeliverBufferFn deliver, void* context);
// direction 0 input, 1 output; mediaType starts with its size word.
typedef QVAStatus (*QVAComp_GetFormatFn)(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* mediaType);
typedef QVAStatus (*QVAComp_GetParamFn)(ComponentInstance* instance, uint32_t id, void* data, uint32_t size);
// A by-value parameter travels in the data pointer itself.
typedef QVAStatus (*QVAComp_SetParamFn)(ComponentInstance* instance, uint32_t id, void* data, uint32_t size);
typedef QVAStatus (*QVAComp_StartFn)(ComponentInstance* instance);
typedef QVAStatus (*QVAComp_SendCommandFn)(ComponentInstance* instance, uint32_t command, uintptr_t param1,
                                           uintptr_t param2, uintptr_t param3, uintptr_t param4, uint32_t timeoutMs);
typedef QVAStatus (*QVAComp_EndFn)(ComponentInstance* instance);
typedef QVAStatus (*QVAComp_SetErrorCallbackFn)(ComponentInstance* instance, QVAErrorCallbackFn callback, void* user);
typedef QVAStatus (*QVAComp_SetEventCallbackFn)(ComponentInstance* instance, QVAEventCallbackFn callback,
                                                uint32_t eventMask, void* user);
typedef QVAStatus (*QVAComp_GetStateFn)(ComponentInstance* instance, uint32_t* outState);
typedef QVAStatus (*QVAComp_OpenURLFn)(ComponentInstance* instance, uintptr_t reserved, const char* url, uint32_t mode,
                                       StreamMediaType* mediaType);
typedef QVAStatus (*QVAComp_ConnectInputFn)(ComponentInstance* instance, ComponentInstance* upstream,
                                            uintptr_t reserved, uint32_t pin, uintptr_t reserved2);
// *buffer NULL asks for a queue record (give it back with QVAComp_ReleaseBuffer); otherwise the
// caller's own record with data and capacity set receives the data.
typedef QVAStatus (*QVAComp_PullOutputFn)(ComponentInstance* instance, uint32_t pin, ComponentBuffer** buffer,
                                          uint32_t timeoutMs);
typedef QVAStatus (*QVAComp_PushInputFn)(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer,
                                         uint32_t timeoutMs, uint32_t* outBytesTaken);
typedef QVAStatus (*QVAComp_ReleaseBufferFn)(ComponentInstance* instance, uint32_t pin, ComponentBuffer* buffer);
typedef QVAStatus (*QVAComp_SetFormatFn)(ComponentInstance* instance, uint32_t direction, uint32_t pin, void* mediaType);
typedef QVAStatus (*QVAComp_SetPinCallbackFn)(ComponentInstance* instance, uint32_t direction, uint32_t pin,
                                              QVAPinCallbackFn callback, void* user);
// Time-out 0 answers 6 at once when no slot is free.
typedef QVAStatus (*QVAComp_GetInputBufferFn)(ComponentInstance* instance, uint32_t pin, ComponentBuffer** outBuffer,
                                              uint32_t timeoutMs);
}  // extern "C"

// The 20 method slots that end every descriptor and so every instance.
struct QVACompMethods {
  QVAComp_GetInputPinFn QVAComp_GetInputPin;            // 0
  QVAComp_ConnectOutputFn QVAComp_ConnectOutput;        // 1
  QVAComp_GetFormatFn QVAComp_GetFormat;                // 2
  QVAComp_GetParamFn QVAComp_GetParam;                  // 3
  QVAComp_SetParamFn QVAComp_SetParam;                  // 4
  QVAComp_StartFn QVAComp_Start;                        // 5
  QVAComp_SendCommandFn QVAComp_SendCommand;            // 6
  QVAComp_EndFn QVAComp_End;                            // 7
  QVAComp_SetErrorCallbackFn QVAComp_SetErrorCallback;  // 8
  QVAComp_SetEventCallbackFn QVAComp_SetEventCallback;  // 9
  QVAComp_GetStateFn QVAComp_GetState;                  // 10
  QVAComp_OpenURLFn QVAComp_OpenURL;                    // 11
  QVAComp_ConnectInputFn QVAComp_ConnectInput;          // 12
  QVAComp_PullOutputFn QVAComp_PullOutput;              // 13
  QVAComp_PushInputFn QVAComp_PushInput;                // 14
  QVAComp_ReleaseBufferFn QVAComp_ReleaseBuffer;        // 15
  QVAComp_SetFormatFn QVAComp_SetFormat;                // 16
  QVAComp_SetPinCallbackFn QVAComp_SetPinCallback;      // 17
  QVAComp_GetInputBufferFn QVAComp_GetInputBuffer;      // 18
  void* reserved19;                                     // 19, NULL
};
static_assert(sizeof(QVACompMethods) == 20 * sizeof(void*));

// The static descriptor of one component. The first 112 bytes hold no pointer: they are what
// QVACompGetInfo copies out.
struct ComponentInfo {
  uint32_t interfaceVersion;  // QVA_INTERFACE_VERSION
  uint32_t typesVersion;      // QVA_TYPES_VERSION
  uint32_t typeFlags;         // QVA_TYPE_* bits
  uint32_t compVersion;
  uint32_t compBuild;
  uint8_t compId[8];          // compared byte for byte
  char shortName[16];
  char longName[32];
  uint32_t inputPins;         // 0 to 2
  uint32_t outputPins;        // 0 to 4
  uint32_t maxInstances;      // 0 for no limit
  uint32_t reserved[8];
  QVACompMethods methods;
};
inline constexpr uint32_t kQVAInfoRecordSize = 112;
static_assert(sizeof(ComponentInfo) == 280);
static_assert(offsetof(ComponentInfo, compId) == 20);
static_assert(offsetof(ComponentInfo, shortName) == 28);
static_assert(offsetof(ComponentInfo, longName) == 44);
static_assert(offsetof(ComponentInfo, inputPins) == 76);
static_assert(offsetof(ComponentInfo, outputPins) == 80);
static_assert(offsetof(ComponentInfo, maxInstances) == 84);
static_assert(offsetof(ComponentInfo, methods) == 120);

// A descriptor from a head (the fields before the method table) and a method table.
constexpr ComponentInfo QVAMakeDescriptor(ComponentInfo head, const QVACompMethods& methods) {
  head.methods = methods;
  return head;
}

// --- Statistics and event records ---
#pragma pack(push, 1)
// The instance's statistics block; a get answers a copy.
struct CompStatistics {
  // size, statisticsLevel and historyLength are read from a caller's request by the transcode
  // engine's control call; the framework's own block keeps them 0.
  uint32_t size;
  uint32_t stateBits;          // QVA_STATS_* state bits; control bits in a request
  uint32_t statisticsLevel;
  uint32_t typeFlags;
  uint32_t reserved16;
  uint64_t startTime;          // ms
  uint64_t pauseTime;          // ms, pause or stop
  uint64_t sampleTime;         // ms, last snapshot
  uint16_t blockMarker;        // 129, written by the reset and the start
  uint64_t sampleTimestamp;    // presentation time at the last snapshot
  uint16_t resetMarker;        // 129, written by the reset only
  uint32_t framesInput;
  uint32_t framesProcessed;
  uint32_t framesRendered;
  uint32_t framesSkipped;
  uint32_t buffersInput;
  uint32_t buffersOutput;
  uint32_t buffersProcessed;
  uint32_t bytesInput;
  uint32_t bytesOutput;
  uint32_t bytesProcessed;
  uint64_t totalProcessingTime;  // ms
  uint32_t framesInputSecondCount;  // counted with framesInput
  uint8_t reserved108[18];
  uint32_t averageTime;        // ms per timed frame, filled in a get answer only
  uint32_t shortestTime;
  uint32_t longestTime;
  uint32_t timedFrames;
  uint8_t reserved142[8];
  uint32_t historyLength;      // trace events per manager
  uint32_t timingRing[30];     // frame start times, each replaced by the frame's duration
  uint8_t reserved274[16];
};
#pragma pack(pop)
static_assert(sizeof(CompStatistics) == 290);
static_assert(offsetof(CompStatistics, stateBits) == 4);
static_assert(offsetof(CompStatistics, statisticsLevel) == 8);
static_assert(offsetof(CompStatistics, typeFlags) == 12);
static_assert(offsetof(CompStatistics, startTime) == 20);
static_assert(offsetof(CompStatistics, pauseTime) == 28);
static_assert(offsetof(CompStatistics, sampleTime) == 36);
static_assert(offsetof(CompStatistics, blockMarker) == 44);
static_assert(offsetof(CompStatistics, sampleTimestamp) == 46);
static_assert(offsetof(CompStatistics, resetMarker) == 54);
static_assert(offsetof(CompStatistics, framesInput) == 56);
static_assert(offsetof(CompStatistics, framesRendered) == 64);
static_assert(offsetof(CompStatistics, buffersInput) == 72);
static_assert(offsetof(CompStatistics, bytesInput) == 84);
static_assert(offsetof(CompStatistics, bytesProcessed) == 92);
static_assert(offsetof(CompStatistics, totalProcessingTime) == 96);
static_assert(offsetof(CompStatistics, framesInputSecondCount) == 104);
static_assert(offsetof(CompStatistics, averageTime) == 126);
static_assert(offsetof(CompStatistics, shortestTime) == 130);
static_assert(offsetof(CompStatistics, longestTime) == 134);
static_assert(offsetof(CompStatistics, timedFrames) == 138);
static_assert(offsetof(CompStatistics, historyLength) == 150);
static_assert(offsetof(CompStatistics, timingRing) == 154);

// State bits of the statistics block, and the control bits of a request.
inline constexpr uint32_t QVA_STATS_RESET = 0x1;
inline constexpr uint32_t QVA_STATS_COUNTING = 0x1000;
inline constexpr uint32_t QVA_STATS_PAUSED = 0x2000;
inline constexpr uint32_t QVA_STATS_STOPPED = 0x4000;
inline constexpr uint32_t QVA_STATS_CONTROL_RESET = 0x2;
inline constexpr uint32_t QVA_STATS_CONTROL_START = 0x1000;
inline constexpr uint32_t QVA_STATS_CONTROL_PAUSE = 0x2000;
inline constexpr uint32_t QVA_STATS_CONTROL_STOP = 0x4000;

// The event records hold the instance pointer, so they are larger than on the original 32-bit
// platform; their field order is kept and their size word is their sizeof.

// PROGRESS_STATE.
struct ProgressStateRecord {
  uint32_t size;
  uint32_t flags;  // QVA_PROGRESSFLAG_*; 0 for state changes
  ComponentInstance* instance;
  uint32_t reserved;
  uint32_t newState;
  uint32_t oldState;
  uint64_t timestamp;  // 0 for state changes
  uint32_t reserved2[4];
};

static_assert(offsetof(ProgressStateRecord, instance) == 8);
static_assert(offsetof(ProgressStateRecord, newState) == 20);
static_assert(offsetof(ProgressStateRecord, oldState) == 24);
static_assert(offsetof(ProgressStateRecord, timestamp) == 32);

// PROGRESS_STREAM.
struct StreamEventRecord {
  uint32_t size;
  uint32_t flags;  // as the sender gives them, plus 0x1000000 when the timestamp is new
  ComponentInstance* instance;
  uint32_t reserved[3];
  uint64_t timestamp;
  uint32_t reserved2[4];
};
static_assert(offsetof(StreamEventRecord, instance) == 8);
static_assert(offsetof(StreamEventRecord, timestamp) == 32);
inline constexpr uint32_t QVA_STREAMEVENT_TIME = 0x1000000;

// PROGRESS_VIDEO and PROGRESS_AUDIO.
struct ProgressRecord {
  uint32_t size;
  uint32_t flags;  // 0x20 periodic report; 0x20005 / 0x10005 progress begins
  ComponentInstance* instance;
  uint32_t reserved16;
  uint32_t reserved20;
  uint32_t reserved24;
  uint32_t frames;        // frames since the stream start
  uint32_t progressKind;  // 1 video, 0x100 audio
  uint32_t timestampLow;  // ms
  uint32_t timestampHigh; // 0
  uint32_t reserved44[5];
};
static_assert(offsetof(ProgressRecord, frames) == 28);
static_assert(offsetof(ProgressRecord, timestampLow) == 36);
static_assert(sizeof(ProgressRecord) == 64);
inline constexpr uint32_t QVA_PROGRESS_PERIODIC = 0x20;
inline constexpr uint32_t QVA_PROGRESS_BEGIN_VIDEO = 0x20005;
inline constexpr uint32_t QVA_PROGRESS_BEGIN_AUDIO = 0x10005;

#pragma pack(push, 1)
// PROGRESS_BUFFER.
struct BufferLevelRecord {
  uint32_t size;
  uint32_t eventId;  // 32
  ComponentInstance* instance;
  uint32_t reserved;
  uint64_t timestamp;
  uint16_t kind;     // 2
  uint32_t bytesUsed;
  uint32_t bytesFree;
  uint32_t slotsInUse;
  uint32_t slotCount;
};
#pragma pack(pop)
static_assert(offsetof(BufferLevelRecord, instance) == 8);
static_assert(offsetof(BufferLevelRecord, timestamp) == 20);
static_assert(offsetof(BufferLevelRecord, kind) == 28);
static_assert(offsetof(BufferLevelRecord, bytesUsed) == 30);
static_assert(offsetof(BufferLevelRecord, slotCount) == 42);
static_assert(sizeof(BufferLevelRecord) == 46);

// --- Parameter records ---
// QVA_PARAM_LOG. Holds pointers, so it is larger than on the original platform: size checks
// use sizeof(LogSetup).
struct LogSetup {
  uint32_t level;         // not 0 enables the flags; the instance's logLevel
  uint32_t mask;
  uint32_t flags;         // QVA_LOGFLAG_*
  uint32_t reserved;
  uint32_t eventCount;    // events of a new manager, 0 for 500
  uint32_t managerCount;  // set: not 0 shares managers[0]; get: 1 with the instance's manager
  EventManager* managers[20];
};
inline constexpr uint32_t QVA_LOGFLAG_KEEP_MANAGER = 0x10000;
static_assert(offsetof(LogSetup, eventCount) == 16);
static_assert(offsetof(LogSetup, managerCount) == 20);
static_assert(offsetof(LogSetup, managers) == 24);

#pragma pack(push, 1)
// QVA_PARAM_BUFFERS.
struct PinBufferConfig {
  uint32_t flags;        // QVA_PINBUF_*
  uint32_t pinIndex;     // input pins first, then output pins
  uint32_t bufferCount;
  uint32_t bufferSize;
  uint16_t reserved16;
  uint32_t hold;         // not 0: sizes are left alone unless count and size are both given
  uint16_t reserved22;
  uint32_t reserved24;
  uint32_t bytesQueued;  // get: bytes in full slots
  uint32_t slotsInUse;   // get
  uint8_t reserved36[8];
};
#pragma pack(pop)
static_assert(sizeof(PinBufferConfig) == 44);
static_assert(offsetof(PinBufferConfig, pinIndex) == 4);
static_assert(offsetof(PinBufferConfig, bufferCount) == 8);
static_assert(offsetof(PinBufferConfig, bufferSize) == 12);
static_assert(offsetof(PinBufferConfig, hold) == 18);
static_assert(offsetof(PinBufferConfig, reserved24) == 24);
static_assert(offsetof(PinBufferConfig, bytesQueued) == 28);
static_assert(offsetof(PinBufferConfig, slotsInUse) == 32);
inline constexpr uint32_t QVA_PINBUF_FILL_LIMIT_ONE = 0x1;
inline constexpr uint32_t QVA_PINBUF_NO_FILL_LIMIT = 0x2;
inline constexpr uint32_t QVA_PINBUF_STATUS_VALID = 0xC00;

// QVA_PARAM_PROGRESS. The caller puts the class it asks for in classBits.
struct ProgressInfo {
  uint32_t size;
  uint32_t classBits;  // 0x10000 audio, 0x20000 video, 0x400000 other
  ComponentInstance* instance;
  uint32_t reserved16;
  uint32_t bytesInput;
  uint32_t bytesOutput;
  // The audio and video answers and the other answer (QVA_PROGRESSINFO_OTHER) fill these
  // words differently; each name says both.
  uint32_t framesOrTimestampLow;  // audio/video: frames since the stream start; other: timestamp low word
  uint32_t progressKind;          // audio/video: QVA_PROGRESS_KIND_*; other: 0
  uint32_t timestampLowOrState;   // audio/video: timestamp low word; other: the state word
  uint32_t reserved40;            // audio/video: 0; other: not written
  uint32_t state;                 // audio/video: the state word; other: not written
  uint32_t reserved48[4];
};
static_assert(offsetof(ProgressInfo, bytesInput) == 20);
static_assert(offsetof(ProgressInfo, framesOrTimestampLow) == 28);
static_assert(offsetof(ProgressInfo, progressKind) == 32);
static_assert(offsetof(ProgressInfo, timestampLowOrState) == 36);
static_assert(offsetof(ProgressInfo, state) == 44);
static_assert(sizeof(ProgressInfo) == 64);
inline constexpr uint32_t QVA_PROGRESSINFO_AUDIO = 0x10000;
inline constexpr uint32_t QVA_PROGRESSINFO_VIDEO = 0x20000;
inline constexpr uint32_t QVA_PROGRESSINFO_OTHER = 0x400000;

// --- Instance and pins (private to the library that made them, apart from the head) ---
struct ComponentPin {
  uint32_t setUp;           // input: GetInputPin ran; output: ConnectOutput ran
  uint32_t hasEntryPoints;  // answered by CompBase_IsPinConnected
  QVAHandle queue;          // BufferQueue or NULL
  uint32_t bufferSize;      // slot size for the queue
  uint32_t bufferCount;     // slots
  void* context;            // output: the peer's context
  QVAGetEmptyBufferFn getBuffer;
  QVADeliverBufferFn deliver;
  QVAPinCallbackFn pinCallback;
  void* pinCallbackUser;
  uint32_t lastProgressTime;  // output: ms of the last periodic progress event
};

inline constexpr uint32_t kQVAInputPinSlots = 2;
inline constexpr uint32_t kQVAOutputPinSlots = 4;

// Worker activity.
inline constexpr uint32_t QVA_WORKER_NONE = 0;
inline constexpr uint32_t QVA_WORKER_STARTING = 1;
inline constexpr uint32_t QVA_WORKER_IDLE = 2;
inline constexpr uint32_t QVA_WORKER_WAITING = 4;
inline constexpr uint32_t QVA_WORKER_PROCESSING = 16;
inline constexpr uint32_t QVA_WORKER_ENDED = 0x80000000;

// One per created component. Its head is the whole descriptor, so the engine reaches the
// methods through instance->methods and the name through instance->shortName. Words the worker
// reads while other threads write them are atomic.
struct ComponentInstance : ComponentInfo {
  uint32_t index;  // creation index
  std::atomic<uint32_t> state;  // CompState, written under the state lock
  QVAHandle workerThread;
  int32_t workerPriority;
  ComponentPin inputPin[kQVAInputPinSlots];    // named apart from the descriptor's pin counts
  ComponentPin outputPin[kQVAOutputPinSlots];
  std::atomic<QVAErrorCallbackFn> errorCallback;
  std::atomic<void*> errorUser;
  std::atomic<QVAEventCallbackFn> eventCallback;
  std::atomic<void*> eventUser;
  std::atomic<uint32_t> eventMask;
  std::atomic<uint32_t> progressInterval;  // ms
  std::atomic<EventManager*> eventManager;
  QVAHandle stateLock;
  QVAHandle processLock;
  std::atomic<uint32_t> lastStatus;
  std::atomic<uint64_t> timestamp;  // ms
  std::atomic<uint32_t> progressKind;
  std::atomic<uint32_t> framesSinceStart;
  std::atomic<uint32_t> timestampState;   // 0 none, 1 new, 2 reported
  std::atomic<uint32_t> progressPending;  // 0 none, 1 pending, 2 announced
  std::atomic<uint32_t> flushWord;
  std::atomic<uint32_t> inputMode;
  CompStatistics statistics;
  std::atomic<uint32_t> inputEndWord;
  std::atomic<uint32_t> eoiWord;
  std::atomic<uint32_t> streamStartWord;
  std::atomic<uint32_t> eosWord;
  std::atomic<uint32_t> logLevel;
  void* privateArea;  // the component's own record, zeroed at creation
  // Not in the original record: the trace manager this instance created, destroyed at release.
  EventManager* ownedEventManager;
  // Not in the original record: set by a component whose output stream goes on when its input
  // format changes (CompBase_SetFormatKeepsStream).
  std::atomic<uint32_t> formatKeepsStream;
  // Not in the original record: the end marker of a stream ended by a format record, held while
  // the hook handles the record (1 armed, 2 held), so the old stream's last output goes first.
  std::atomic<uint32_t> endMarkerHold;
  // Not in the original record: the worker CompBase_StartThread runs, and 1 from its start until
  // it returns or is reclaimed. While it is 1 the worker certainly runs, so CompBase_IsRunning
  // answers without the state lock, which every round of every worker would otherwise take.
  QVAThreadFn workerEntry;
  std::atomic<uint32_t> workerLive;
  // Not in the original record: 1 while the statistics count (QVA_STATS_COUNTING), mirrored
  // under the state lock, so a buffer counted while they do not skips that lock.
  std::atomic<uint32_t> statisticsCounting;
  // Not in the original record: upstream threads inside a delivery or an empty-slot request on
  // each input pin. End destroys the input queues while the producer upstream may still run, so
  // a queue is destroyed only once none of them is left inside it.
  std::atomic<uint32_t> inputQueueUsers[kQVAInputPinSlots];
  // Moved here from after workerPriority: the worker writes it twice a round, so it lies on a
  // cache line of its own, away from the words other threads read at every delivery.
  char workerActivityLineBefore[64];
  std::atomic<uint32_t> workerActivity;
  char workerActivityLineAfter[64];
};

// The component's private record.
template <typename T>
T* CompPrivate(ComponentInstance* instance) {
  return static_cast<T*>(instance->privateArea);
}

#include "framework/comp_base.h"
