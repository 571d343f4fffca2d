#include "platform/debug/CrashCapture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {

using namespace taluvo::debug;

stack_t CurrentAltStack()
{
    stack_t current {};
    sigaltstack(nullptr, &current);
    return current;
}

// A thread gets its own signal stack once, large enough for the handler, and keeps it.
TEST(CrashCapture, EveryPreparedThreadHasItsOwnSignalStack)
{
    stack_t first {};
    stack_t again {};
    std::thread a([&] {
        PrepareThreadForCrashes();
        first = CurrentAltStack();
        PrepareThreadForCrashes();
        again = CurrentAltStack();
    });
    a.join();
    EXPECT_FALSE(first.ss_flags & SS_DISABLE);
    EXPECT_GE(first.ss_size, kCrashStackMinimum);
    EXPECT_EQ(again.ss_sp, first.ss_sp);

    stack_t other {};
    std::thread b([&] {
        PrepareThreadForCrashes();
        other = CurrentAltStack();
    });
    b.join();
    EXPECT_FALSE(other.ss_flags & SS_DISABLE);
}

} // namespace
