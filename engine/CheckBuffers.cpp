#include "engine/CheckBuffers.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <utility>

namespace taluvo::engine {
namespace {

// Texts kept at most: the next check starts while the receiver of the last one still holds that
// one's text, so the text before it is the one free to be written again.
constexpr size_t kKeptTexts = 2;

// What the last checks left; a check takes a buffer out while it uses it, so checks that run side
// by side never share one.
struct Kept {
    std::mutex lock;
    std::deque<QString> texts; // the newest last
    std::vector<char> readBuffer;

    static Kept& Instance()
    {
        static Kept* kept = new Kept; // pooled threads may still finish a check during exit
        return *kept;
    }
};

} // namespace

void TakeKeptText(QString& text)
{
    text = QString();
    {
        Kept& shelf = Kept::Instance();
        std::lock_guard<std::mutex> guard(shelf.lock);
        // A text still shared with its receiver (a dialog keeps the text it showed) stays theirs.
        const auto free = std::find_if(
            shelf.texts.rbegin(), shelf.texts.rend(), [](const QString& kept) { return kept.isDetached(); });
        if (free != shelf.texts.rend()) {
            text.swap(*free);
            shelf.texts.erase(std::next(free).base());
        }
    }
    text.resize(0); // keeps the room
}

void KeepText(const QString& text)
{
    if (text.capacity() == 0 || text.capacity() * qsizetype(sizeof(char16_t)) > kKeptTextBytes)
        return;
    QString dropped;
    Kept& shelf = Kept::Instance();
    std::lock_guard<std::mutex> guard(shelf.lock);
    shelf.texts.push_back(text);
    if (shelf.texts.size() > kKeptTexts) {
        dropped.swap(shelf.texts.front()); // freed outside the lock
        shelf.texts.pop_front();
    }
}

std::vector<char> TakeReadBuffer(size_t size)
{
    std::vector<char> buffer;
    {
        Kept& shelf = Kept::Instance();
        std::lock_guard<std::mutex> guard(shelf.lock);
        buffer.swap(shelf.readBuffer);
    }
    if (buffer.size() < size)
        buffer.resize(size);
    return buffer;
}

void KeepReadBuffer(std::vector<char>&& buffer)
{
    std::vector<char> keep = std::move(buffer);
    if (keep.capacity() == 0 || keep.capacity() > kKeptReadBytes)
        return;
    Kept& shelf = Kept::Instance();
    std::lock_guard<std::mutex> guard(shelf.lock);
    shelf.readBuffer.swap(keep);
}

} // namespace taluvo::engine
