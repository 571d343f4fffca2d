// The notice a page check sends its window (WM_UPDATER_NOTIFY): its states, and how a state and
// the reading progress are packed into the message's lParam and read back. Every sender and
// receiver goes through these functions, so the packing is written once.
#pragma once

#include "platform/base/WinTypes.h"

#include "platform/ui/WinUser.h"
#include <cstdint>

constexpr UINT WM_UPDATER_NOTIFY = WM_USER + 100;

// The state, in the low word of lParam (receivers read its low byte).
enum : WORD {
    stateResolvingName = 0,
    stateNameResolved = 1,
    stateConnecting = 2,
    stateConnected = 3,
    stateReadingData = 4, // high word: bit 15 set: percent of the announced length; clear: KB of text
    stateFinished = 5,
};

// A notice as its receiver reads it.
struct SCheckNotice {
    WORD state = stateFinished;
    // While reading: true when amount is a percentage of the announced length, false when it is
    // kilobytes of text read so far.
    bool percent = false;
    int amount = 0;
};

// A notice of a state without progress.
constexpr LPARAM StateNotice(WORD state)
{
    return static_cast<LPARAM>(MAKELONG(state, 0));
}

// The reading notice for `readUnits` units of text so far, of a body whose announced length is
// contentLength (0: none announced). The percentage may pass 100: it is cut to 16 bits, and its
// top bit then marks it as one. Worked out in whole numbers, so a body many times longer than
// announced never makes an out-of-range conversion.
constexpr LPARAM ReadingNotice(int64_t readUnits, DWORD contentLength)
{
    const auto units = static_cast<uint64_t>(readUnits < 0 ? 0 : readUnits);
    if (contentLength != 0) {
        // Whole percents and the rest apart, so no product can overflow; what wraps past 64 bits
        // loses nothing the 16-bit cut keeps.
        const uint64_t percent = units / contentLength * 100 + units % contentLength * 100 / contentLength;
        return static_cast<LPARAM>(MAKELONG(stateReadingData, static_cast<WORD>((percent & 0xFFFF) | 0x8000)));
    }
    return static_cast<LPARAM>(MAKELONG(stateReadingData, static_cast<WORD>((units / 1024) & 0xFFFF)));
}

constexpr SCheckNotice ReadNotice(LPARAM lParam)
{
    const auto value = static_cast<DWORD>(lParam);
    SCheckNotice notice;
    notice.state = static_cast<WORD>(value & 0xFF);
    const WORD high = HIWORD(value);
    if (notice.state == stateReadingData) {
        notice.percent = (high & 0x8000) != 0;
        notice.amount = notice.percent ? (high & 0x7FFF) : high;
    }
    return notice;
}
