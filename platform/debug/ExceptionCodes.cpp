#include "platform/debug/ExceptionCodes.h"

#include <csignal>

namespace taluvo::debug {

namespace {

struct NamedCode {
    uint32_t code;
    const char* name;
};

constexpr NamedCode kNames[] = {
    { 0x80000001, "GUARD_PAGE" },
    { 0x80000002, "DATATYPE_MISALIGNMENT" },
    { 0x80000003, "BREAKPOINT" },
    { 0x80000004, "SINGLE_STEP" },
    { 0xC0000005, "ACCESS_VIOLATION" },
    { 0xC0000006, "IN_PAGE_ERROR" },
    { 0xC0000008, "INVALID_HANDLE" },
    { 0xC000001D, "ILLEGAL_INSTRUCTION" },
    { 0xC0000025, "NONCONTINUABLE_EXCEPTION" },
    { 0xC0000026, "INVALID_DISPOSITION" },
    { 0xC000008C, "ARRAY_BOUNDS_EXCEEDED" },
    { 0xC000008D, "FLT_DENORMAL_OPERAND" },
    { 0xC000008E, "FLT_DIVIDE_BY_ZERO" },
    { 0xC000008F, "FLT_INEXACT_RESULT" },
    { 0xC0000090, "FLT_INVALID_OPERATION" },
    { 0xC0000091, "FLT_OVERFLOW" },
    { 0xC0000092, "FLT_STACK_CHECK" },
    { 0xC0000093, "FLT_UNDERFLOW" },
    { 0xC0000094, "INT_DIVIDE_BY_ZERO" },
    { 0xC0000095, "INT_OVERFLOW" },
    { 0xC0000096, "PRIV_INSTRUCTION" },
    { 0xC00000FD, "STACK_OVERFLOW" },
};

bool InStackGuardArea(uint64_t address, uint64_t stackPointer)
{
    // Running off the end of the stack faults in the unmapped or protected area beneath the
    // stack, close to the stack pointer: just below it for a call, a little above it for the
    // first write into a new frame.
    const uint64_t distance = address > stackPointer ? address - stackPointer : stackPointer - address;
    return distance <= kStackGuardReach;
}

} // namespace

uint32_t ExceptionCodeForSignal(int signalNumber, int signalCode, uint64_t dataAddress, uint64_t stackPointer)
{
    switch (signalNumber) {
    case SIGSEGV:
        // A signal sent by a process (code 0 or below) carries no fault address.
        return signalCode > 0 && InStackGuardArea(dataAddress, stackPointer) ? kExceptionStackOverflow
                                                                             : kExceptionAccessViolation;
    case SIGBUS:
        return signalCode == BUS_ADRALN ? kExceptionMisalignment : kExceptionInPageError;
    case SIGILL:
        return signalCode == ILL_PRVOPC || signalCode == ILL_PRVREG ? kExceptionPrivInstruction
                                                                    : kExceptionIllegalInstruction;
    case SIGFPE:
        switch (signalCode) {
        case FPE_INTOVF:
            return kExceptionIntOverflow;
        case FPE_FLTDIV:
            return kExceptionFltDivideByZero;
        case FPE_FLTOVF:
            return kExceptionFltOverflow;
        case FPE_FLTUND:
            return kExceptionFltUnderflow;
        case FPE_FLTRES:
            return kExceptionFltInexactResult;
        case FPE_FLTINV:
            return kExceptionFltInvalidOperation;
        case FPE_FLTSUB:
            return kExceptionArrayBoundsExceeded;
        default:
            return kExceptionIntDivideByZero;
        }
    case SIGTRAP:
        return signalCode == TRAP_TRACE ? kExceptionSingleStep : kExceptionBreakpoint;
    default:
        return static_cast<uint32_t>(signalNumber);
    }
}

const char* ExceptionNameFromTable(uint32_t code)
{
    for (const NamedCode& entry : kNames) {
        if (entry.code == code)
            return entry.name;
    }
    return nullptr;
}

} // namespace taluvo::debug
