#pragma once
// Result codes shared by every library of the system, and the {code, text} tables through which
// codes, component states and commands become words for logs.
#include <cstdint>

using QVAStatus = uint32_t;

inline constexpr QVAStatus QVA_SUCCESS = 0;
inline constexpr QVAStatus QVA_ERR_GENERIC = 1;
inline constexpr QVAStatus QVA_ERR_UNSUPPORTED = 2;
inline constexpr QVAStatus QVA_ERR_BADARG = 3;
inline constexpr QVAStatus QVA_ERR_NOMEMORY = 4;
inline constexpr QVAStatus QVA_ERR_EXECUTION = 5;
inline constexpr QVAStatus QVA_ERR_NOBUFFERS = 6;
inline constexpr QVAStatus QVA_ERR_NOTFOUND = 7;
inline constexpr QVAStatus QVA_ERR_OPEN = 8;
inline constexpr QVAStatus QVA_ERR_READ = 9;
inline constexpr QVAStatus QVA_ERR_WRITE = 10;
inline constexpr QVAStatus QVA_ERR_NOTOPEN = 11;
inline constexpr QVAStatus QVA_ERR_COMPONENTS = 17;
inline constexpr QVAStatus QVA_ERR_ENDOFSTREAM = 18;
inline constexpr QVAStatus QVA_ERR_STOPPED = 19;
inline constexpr QVAStatus QVA_ERR_CONNECT = 20;
inline constexpr QVAStatus QVA_ERR_ALREADYOPEN = 21;
inline constexpr QVAStatus QVA_ERR_BUSY = 22;
inline constexpr QVAStatus QVA_ERR_MEDIATYPE = 23;
inline constexpr QVAStatus QVA_ERR_WRONGSTATE = 24;
inline constexpr QVAStatus QVA_ERR_UNKNOWNFORMAT = 25;
inline constexpr QVAStatus QVA_ERR_TIMEOUT = 26;
inline constexpr QVAStatus QVA_ERR_ABORTED = 27;
inline constexpr QVAStatus QVA_ERR_BADHANDLE = 28;
inline constexpr QVAStatus QVA_ERR_TOOSMALL = 29;
inline constexpr QVAStatus QVA_ERR_NOBUFFER = 30;  // as a hook result: no output this round
inline constexpr QVAStatus QVA_ERR_CONFIG = 31;
inline constexpr QVAStatus QVA_ERR_SYNTAX = 32;
inline constexpr QVAStatus QVA_ERR_NOCOMPONENT = 33;
inline constexpr QVAStatus QVA_ERR_NOSOLUTION = 34;
inline constexpr QVAStatus QVA_ERR_EMPTYGRAPH = 35;
inline constexpr QVAStatus QVA_ERR_BADPIN = 36;
inline constexpr QVAStatus QVA_ERR_UNKNOWNCOMMAND = 37;
inline constexpr QVAStatus QVA_ERR_UNKNOWNFUNCTION = 38;
inline constexpr QVAStatus QVA_ERR_UNKNOWNPARAM = 39;
inline constexpr QVAStatus QVA_ERR_FORMAT = 40;
inline constexpr QVAStatus QVA_ERR_FULL = 41;
inline constexpr QVAStatus QVA_ERR_STARTED = 42;
inline constexpr QVAStatus QVA_ERR_MARKER = 43;
inline constexpr QVAStatus QVA_ERR_STRINGTYPE = 44;
inline constexpr QVAStatus QVA_ERR_FATAL = 45;
inline constexpr QVAStatus QVA_ERR_IGNORED = 46;
inline constexpr QVAStatus QVA_ERR_NOINDEX = 47;
inline constexpr QVAStatus QVA_ERR_BADINDEX = 48;
inline constexpr QVAStatus QVA_ERR_CORRUPT = 49;
inline constexpr QVAStatus QVA_ERR_FLUSHING = 50;
inline constexpr QVAStatus QVA_ERR_NOTCONNECTED = 51;
inline constexpr QVAStatus QVA_ERR_SEEK = 52;
inline constexpr QVAStatus QVA_ERR_BADBLOCK = 56;     // allocator: not a live block of this library
inline constexpr QVAStatus QVA_ERR_BLOCKFREED = 57;   // allocator: already released
inline constexpr QVAStatus QVA_ERR_SPEED = 0x201;
inline constexpr QVAStatus QVA_ERR_SEEKUNSUPPORTED = 0x202;

// One row of a text table; every table ends with a row whose code is kQVATextSentinel.
struct QVACodeText {
  uint32_t code;
  const char* text;
};
inline constexpr uint32_t kQVATextSentinel = 0xFFFFFFFFu;

extern const QVACodeText kQVAStatusTexts[];
extern const QVACodeText kQVAStateTexts[];
extern const QVACodeText kQVACommandTexts[];

// The text of the first row whose code equals code exactly (no bit tests), else the sentinel's.
const char* QVALookupText(const QVACodeText* table, uint32_t code);
