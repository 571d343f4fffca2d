// The buffers a check fills with its page, kept for the next check. Fresh memory for a page's text
// costs a page fault for every 4 KB the first time it is written (the C library maps large blocks
// of their own and unmaps them when freed), which is most of the cost of a large page; a kept
// buffer is written again without one. They are kept for the process, not for the thread that ran
// the check: checks run on pooled threads, and the pool hands the next check to whichever thread
// has waited longest, rarely the one that ran the last. Buffers above the cap are given back when
// their check ends, so a round of very large pages leaves nothing behind.
#pragma once

#include <QString>

#include <cstddef>
#include <vector>

namespace taluvo::engine {

// Room kept for a page's text (UTF-16, two bytes a unit) and for its read buffer.
constexpr qsizetype kKeptTextBytes = qsizetype(4) * 1024 * 1024;
constexpr size_t kKeptReadBytes = size_t(2) * 1024 * 1024;

// Empties text, and gives it the room of a text kept earlier that nobody else holds any more.
void TakeKeptText(QString& text);
// Keeps a share of the finished check's text for a later check, when it has room within the cap:
// the buffer is reused once the check's receiver has let go of its own share. The last two are kept,
// since the next check starts while the last one's receiver still holds its text.
void KeepText(const QString& text);

// A read buffer at least size bytes long: the one kept, when no other check has it.
std::vector<char> TakeReadBuffer(size_t size);
// Keeps a check's read buffer for the next check, when it has room within the cap; a larger one is
// given back.
void KeepReadBuffer(std::vector<char>&& buffer);

} // namespace taluvo::engine
