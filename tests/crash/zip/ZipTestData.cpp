#include "tests/crash/zip/ZipTestData.h"

#include "crash/zip/Deflate.h"

#include <zlib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>

namespace taluvo::test {

std::string MakeText(size_t size, uint32_t seed)
{
    static const char* const kWords[] = { "the", "page", "update", "watch", "group", "check", "interval", "browser",
        "address", "program", "changed", "content", "between", "start", "stop", "text", "server", "reply", "of", "and",
        "to", "a", "in", "is", "that", "for", "it", "with", "as", "was", "on", "window", "report", "crash", "archive",
        "entry", "compressed", "table", "mail", "settings", "when", "every", "minute", "new", "old" };
    std::mt19937 rng(seed);
    std::string text;
    text.reserve(size + 16);
    int sentence = 0;
    while (text.size() < size) {
        std::string word = kWords[rng() % std::size(kWords)];
        if (sentence == 0)
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        text += word;
        if (++sentence > 6 + static_cast<int>(rng() % 10)) {
            text += (rng() % 5 == 0) ? ".\n" : ". ";
            sentence = 0;
        } else {
            text += ' ';
        }
    }
    text.resize(size);
    return text;
}

std::string MakeHtml(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string html = "<!DOCTYPE html>\n<html><head><title>Watched pages</title></head><body>\n";
    int row = 0;
    while (html.size() < size) {
        html += "<div class=\"row r" + std::to_string(row % 7) + "\" id=\"item" + std::to_string(row) + "\">\n";
        html += "  <a href=\"https://example.org/page/" + std::to_string(rng() % 100000)
            + "?q=" + std::to_string(rng() % 977) + "\">" + MakeText(20 + rng() % 60, rng()) + "</a>\n";
        html += "  <span style=\"color:#" + std::to_string(100000 + rng() % 800000) + "\">"
            + std::to_string(rng() % 1000) + " updates</span>\n</div>\n";
        ++row;
    }
    html.resize(size);
    return html;
}

std::string MakeRandom(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng() & 0xFF);
    return bytes;
}

std::string ReadElfBinary(size_t maxSize, bool large)
{
    static const char* const kSmall[] = { "/usr/bin/ls", "/bin/ls", "/bin/sh" };
    // Qt is a build dependency, so its core library is always there.
    static const char* const kLarge[]
        = { "/usr/lib/x86_64-linux-gnu/libQt6Core.so.6", "/usr/bin/cmake", "/usr/bin/ls" };
    for (const char* path : large ? std::span<const char* const>(kLarge) : std::span<const char* const>(kSmall)) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            continue;
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (data.size() > maxSize)
            data.resize(maxSize);
        if (data.size() > 4
            && data.compare(0, 4,
                   "\x7F"
                   "ELF")
                == 0)
            return data;
    }
    return {};
}

namespace {

struct SRunContext {
    const std::string* input;
    size_t pos = 0;
    std::function<unsigned(unsigned)> chunk;
    std::string* output;
    unsigned reads = 0;
};

int ReadInput(SDeflateState* state, BYTE* buffer, unsigned count)
{
    auto* ctx = static_cast<SRunContext*>(state->owner);
    ++ctx->reads;
    unsigned n = ctx->chunk ? ctx->chunk(count) : count;
    if (n > count)
        n = count;
    const size_t left = ctx->input->size() - ctx->pos;
    if (n > left)
        n = static_cast<unsigned>(left);
    if (n == 0)
        return 0;
    std::memcpy(buffer, ctx->input->data() + ctx->pos, n);
    ctx->pos += n;
    return static_cast<int>(n);
}

void TakeOutput(void* owner, const BYTE* bytes, unsigned* count)
{
    auto* ctx = static_cast<SRunContext*>(owner);
    ctx->output->append(reinterpret_cast<const char*>(bytes), *count);
    *count = 0;
}

} // namespace

SDeflateRun RunDeflate(const std::string& input, int level, unsigned outSize, std::function<unsigned(unsigned)> chunk)
{
    SDeflateRun run;
    SRunContext ctx { &input, 0, std::move(chunk), &run.output };
    auto state = std::make_unique<SDeflateState>();
    state->owner = &ctx;
    state->read = ReadInput;
    state->flush = TakeOutput;
    std::string outBuf(outSize, '\0');
    WORD fileType = 0;
    WORD flags = 0;
    run.reportedLength
        = DeflateCompress(*state, level, &fileType, &flags, reinterpret_cast<BYTE*>(outBuf.data()), outSize, true);
    run.err = state->err;
    run.reads = ctx.reads;
    return run;
}

bool ZlibInflate(const std::string& deflated, std::string& out, std::string& why, int* blocks)
{
    z_stream zs {};
    if (inflateInit2(&zs, -15) != Z_OK) {
        why = "inflateInit2 failed";
        return false;
    }
    out.clear();
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
    zs.avail_in = static_cast<uInt>(deflated.size());
    int count = 0;
    int rc;
    char buf[65536];
    do {
        zs.next_out = reinterpret_cast<Bytef*>(buf);
        zs.avail_out = sizeof buf;
        rc = inflate(&zs, Z_BLOCK);
        out.append(buf, sizeof buf - zs.avail_out);
        // At the end of each block, the final one included, inflate stops with bit 128 set.
        if (rc == Z_OK && (zs.data_type & 128))
            ++count;
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
            why = "stream ends before its final block";
            inflateEnd(&zs);
            return false;
        }
    } while (rc == Z_OK || rc == Z_BUF_ERROR);
    const bool ok = rc == Z_STREAM_END && zs.avail_in == 0;
    if (rc != Z_STREAM_END)
        why = std::string("inflate: ") + (zs.msg ? zs.msg : std::to_string(rc));
    else if (zs.avail_in != 0)
        why = std::to_string(zs.avail_in) + " bytes after the end of the stream";
    inflateEnd(&zs);
    if (blocks)
        *blocks = count;
    return ok;
}

} // namespace taluvo::test
