// Exception codes of the crash report and the signals that map onto them.
//
// Everything here is async-signal-safe: the signal handler classifies its own signal when no
// helper process is there to do it.
#pragma once

#include <cstdint>

namespace taluvo::debug {

inline constexpr uint32_t kExceptionGuardPage = 0x80000001;
inline constexpr uint32_t kExceptionMisalignment = 0x80000002;
inline constexpr uint32_t kExceptionBreakpoint = 0x80000003;
inline constexpr uint32_t kExceptionSingleStep = 0x80000004;
inline constexpr uint32_t kExceptionAccessViolation = 0xC0000005;
inline constexpr uint32_t kExceptionInPageError = 0xC0000006;
inline constexpr uint32_t kExceptionIllegalInstruction = 0xC000001D;
inline constexpr uint32_t kExceptionArrayBoundsExceeded = 0xC000008C;
inline constexpr uint32_t kExceptionFltDivideByZero = 0xC000008E;
inline constexpr uint32_t kExceptionFltInexactResult = 0xC000008F;
inline constexpr uint32_t kExceptionFltInvalidOperation = 0xC0000090;
inline constexpr uint32_t kExceptionFltOverflow = 0xC0000091;
inline constexpr uint32_t kExceptionFltUnderflow = 0xC0000093;
inline constexpr uint32_t kExceptionIntDivideByZero = 0xC0000094;
inline constexpr uint32_t kExceptionIntOverflow = 0xC0000095;
inline constexpr uint32_t kExceptionPrivInstruction = 0xC0000096;
inline constexpr uint32_t kExceptionStackOverflow = 0xC00000FD;
// An exception of the language that nothing caught (it ended in std::terminate).
inline constexpr uint32_t kExceptionCpp = 0xE06D7363;

// How far from the stack pointer a fault still counts as running into the stack's guard area: a
// call writes just below it, the first store into a new frame anywhere inside that frame.
inline constexpr uint64_t kStackGuardReach = uint64_t(64) * 1024;

// The exception code for a signal: the table's code for the fault kinds, otherwise the signal's
// own number (the report then names it by its signal text).
uint32_t ExceptionCodeForSignal(int signalNumber, int signalCode, uint64_t dataAddress, uint64_t stackPointer);

// The name of the table, or null for a code outside it.
const char* ExceptionNameFromTable(uint32_t code);

} // namespace taluvo::debug
