#pragma once
// Numbers and times as the engine's configuration and command texts write them.
#include <cstdint>

// Optional "-" or "+", then "0x" (hexadecimal), a first character that is a hexadecimal letter
// (hexadecimal), "0b" (binary), else decimal; digits up to the first character that is not a
// digit of the radix. Arithmetic wraps at 32 bits, as the system's own words do.
int32_t ParseInt(const char* text);

// Eight upper-case hexadecimal digits and a NUL. A limit other than 0 is the destination's size
// (terminator included) and cuts the digits early. Answers the digits written.
uint32_t FormatHex8(uint32_t value, char* dst, uint32_t limit);

// Radix codes of FormatInt.
inline constexpr uint32_t kRadixHex = 16;
inline constexpr uint32_t kRadixDecimal = 10;
inline constexpr uint32_t kRadixOctal = 8;
inline constexpr uint32_t kRadixBinary = 1;  // up to 32 binary digits

// Writes value in the radix of radixCode (another code writes nothing), with leading zeros
// down to minDigits, a "-" for a negative value when isSigned, and "0" for 0, into dst of
// dstSize characters (terminator included). Answers the length written.
uint32_t FormatInt(uint32_t value, uint32_t radixCode, bool isSigned, uint32_t minDigits, char* dst,
                   uint32_t dstSize);

// "H:MM:SS.mmm" (hours without leading zeros, "-" before a negative time), at most 16
// characters and never more than dstSize - 1. Answers the length written.
inline constexpr uint32_t kFormatTimeMaxLength = 16;
uint32_t FormatTime(int64_t milliseconds, char* dst, uint32_t dstSize);

// Leading white space skipped, then up to four numbers separated by ":": a alone is a itself;
// a:b is (a*60+b) seconds; a:b:c and a:b:c:d likewise in seconds, answered in milliseconds.
// A text that does not start with a digit gives 0.
int64_t ParseTime(const char* text);
