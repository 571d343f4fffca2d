#include "platform/debug/ExceptionCodes.h"
#include "platform/debug/ExceptionSection.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace {

using namespace taluvo::debug;

TEST(ExceptionCodes, SignalsMapOntoTheExceptionTable)
{
    const uint64_t sp = 0x7ffc00100000;
    struct Case {
        int signal;
        int code;
        uint64_t address;
        uint32_t expected;
    } cases[] = {
        { SIGSEGV, SEGV_MAPERR, 0, kExceptionAccessViolation },
        { SIGSEGV, SEGV_ACCERR, 0x401000, kExceptionAccessViolation },
        // Just below the stack pointer (a call) or just above it (the first store into a frame).
        { SIGSEGV, SEGV_MAPERR, sp - 8, kExceptionStackOverflow },
        { SIGSEGV, SEGV_ACCERR, sp + 0x40C, kExceptionStackOverflow },
        { SIGSEGV, SEGV_MAPERR, sp - kStackGuardReach - 1, kExceptionAccessViolation },
        { SIGSEGV, SI_USER, sp, kExceptionAccessViolation }, // sent, not a fault
        { SIGBUS, BUS_ADRALN, 0x1001, kExceptionMisalignment },
        { SIGBUS, BUS_ADRERR, 0x1000, kExceptionInPageError },
        { SIGBUS, BUS_OBJERR, 0x1000, kExceptionInPageError },
        { SIGILL, ILL_ILLOPN, 0, kExceptionIllegalInstruction },
        { SIGILL, ILL_PRVOPC, 0, kExceptionPrivInstruction },
        { SIGFPE, FPE_INTDIV, 0, kExceptionIntDivideByZero },
        { SIGFPE, FPE_INTOVF, 0, kExceptionIntOverflow },
        { SIGFPE, FPE_FLTDIV, 0, kExceptionFltDivideByZero },
        { SIGFPE, FPE_FLTOVF, 0, kExceptionFltOverflow },
        { SIGFPE, FPE_FLTUND, 0, kExceptionFltUnderflow },
        { SIGFPE, FPE_FLTRES, 0, kExceptionFltInexactResult },
        { SIGFPE, FPE_FLTINV, 0, kExceptionFltInvalidOperation },
        { SIGTRAP, TRAP_BRKPT, 0, kExceptionBreakpoint },
        { SIGTRAP, SI_KERNEL, 0, kExceptionBreakpoint }, // int3 arrives this way
        { SIGTRAP, TRAP_TRACE, 0, kExceptionSingleStep },
        { SIGABRT, SI_TKILL, 0, static_cast<uint32_t>(SIGABRT) },
        { SIGUSR1, SI_USER, 0, static_cast<uint32_t>(SIGUSR1) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "signal " << c.signal << " code " << c.code);
        EXPECT_EQ(ExceptionCodeForSignal(c.signal, c.code, c.address, sp), c.expected);
    }
}

TEST(ExceptionCodes, NamesComeFromTheTableThenFromTheSignal)
{
    auto name = [](uint32_t code) {
        char buffer[128];
        SafeText text(buffer, sizeof(buffer));
        AppendExceptionName(code, text);
        return std::string(text.Text());
    };
    EXPECT_EQ(name(0xC0000005), "ACCESS_VIOLATION");
    EXPECT_EQ(name(0xC00000FD), "STACK_OVERFLOW");
    EXPECT_EQ(name(0x80000001), "GUARD_PAGE");
    EXPECT_EQ(name(0xC0000092), "FLT_STACK_CHECK");
    EXPECT_EQ(name(SIGABRT), "Aborted");
    EXPECT_EQ(name(kExceptionCpp), "C++ exception");
    EXPECT_EQ(name(0xC0000017), ""); // outside the table and not a signal: no name
}

} // namespace
