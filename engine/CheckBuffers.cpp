#include "engine/CheckBuffers.h"

namespace taluvo::engine {
namespace {

thread_local QString t_text;
thread_local std::vector<char> t_readBuffer;

} // namespace

void TakeKeptText(QString& text)
{
    text = QString();
    // A share still held elsewhere (a dialog keeps the text it showed) stays theirs alone.
    if (t_text.isDetached())
        text.swap(t_text);
    t_text = QString();
    text.resize(0); // keeps the room
}

void KeepText(const QString& text)
{
    if (text.capacity() > 0 && text.capacity() * qsizetype(sizeof(char16_t)) <= kKeptTextBytes)
        t_text = text;
    else
        t_text = QString();
}

std::vector<char>& KeptReadBuffer(size_t size)
{
    if (t_readBuffer.size() < size)
        t_readBuffer.resize(size);
    return t_readBuffer;
}

void TrimReadBuffer()
{
    if (t_readBuffer.capacity() > kKeptReadBytes)
        std::vector<char>().swap(t_readBuffer);
}

} // namespace taluvo::engine
