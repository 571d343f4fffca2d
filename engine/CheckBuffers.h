// The buffers a check fills with its page, kept by the thread that ran it for the next check on
// the same thread. Fresh memory for a page's text costs a page fault for every 4 KB the first time
// it is written (the C library maps large blocks of their own and unmaps them when freed), which is
// most of the cost of a large page; a kept buffer is written again without one. Buffers above the
// cap are given back when their check ends, so a round of very large pages leaves nothing behind.
#pragma once

#include <QString>

#include <cstddef>
#include <vector>

namespace taluvo::engine {

// Room kept per thread for a page's text (UTF-16, two bytes a unit) and for its read buffer.
constexpr qsizetype kKeptTextBytes = qsizetype(4) * 1024 * 1024;
constexpr size_t kKeptReadBytes = size_t(2) * 1024 * 1024;

// Empties text, and gives it the room of the last text kept on this thread when nobody else holds
// that one any more.
void TakeKeptText(QString& text);
// Keeps a share of the finished check's text for the next check on this thread, when its room is
// within the cap: the buffer is reused once the check's receiver has let go of its own share.
void KeepText(const QString& text);

// This thread's read buffer, at least size bytes long.
std::vector<char>& KeptReadBuffer(size_t size);
// Gives a read buffer that grew beyond the cap back.
void TrimReadBuffer();

} // namespace taluvo::engine
