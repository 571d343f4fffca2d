// The report archive's compressor against zlib at level 8 with the same parameters (raw
// stream, 32 KB window, 15-bit hash, lazy matching with good 32, lazy 128, nice 258, chain
// 1024), on the same inputs in the same run. Prints sizes and speeds of both and their ratios.
#include "crash/zip/Deflate.h"
#include "tests/crash/zip/ZipTestData.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

using namespace taluvo::test;

namespace {

constexpr size_t kCorpusSize = size_t { 4 } * 1024 * 1024;

const std::string& Corpus(int which)
{
    static const std::string text = MakeText(kCorpusSize, 101);
    static const std::string html = MakeHtml(kCorpusSize, 102);
    static const std::string binary = ReadElfBinary(kCorpusSize, true);
    switch (which) {
    case 0:
        return text;
    case 1:
        return html;
    default:
        return binary;
    }
}

const char* CorpusName(int which)
{
    static const char* const kNames[] = { "text", "html", "binary" };
    return kNames[which];
}

struct SReaderCtx {
    const std::string* in;
    size_t pos;
};

int ReadCorpus(SDeflateState* s, BYTE* buf, unsigned n)
{
    auto* c = static_cast<SReaderCtx*>(s->owner);
    const size_t take = std::min<size_t>(n, c->in->size() - c->pos);
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): deflate input is bytes, not a C string
    std::memcpy(buf, c->in->data() + c->pos, take);

    c->pos += take;
    return static_cast<int>(take);
}

// Output is counted, not kept: both sides hand a 16 KB buffer to a sink.
void CountOutput(void*, const BYTE*, unsigned* count)
{
    *count = 0;
}

size_t OwnCompress(const std::string& in, SDeflateState& state)
{
    SReaderCtx ctx { &in, 0 };
    state.owner = &ctx;
    state.read = ReadCorpus;
    state.flush = CountOutput;
    static BYTE out[0x4000];
    WORD fileType = 0;
    WORD flags = 0;
    return static_cast<size_t>(DeflateCompress(state, 8, &fileType, &flags, out, sizeof out, true));
}

size_t ZlibCompress(const std::string& in)
{
    z_stream zs {};
    deflateInit2(&zs, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    static Bytef out[0x4000];
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    size_t total = 0;
    int rc;
    do {
        zs.next_out = out;
        zs.avail_out = sizeof out;
        rc = deflate(&zs, Z_FINISH);
        total += sizeof out - zs.avail_out;
    } while (rc == Z_OK || rc == Z_BUF_ERROR);
    deflateEnd(&zs);
    return total;
}

void BM_Own(benchmark::State& st)
{
    const std::string& in = Corpus(static_cast<int>(st.range(0)));
    auto state = std::make_unique<SDeflateState>();
    size_t size = 0;
    for (auto _ : st)
        benchmark::DoNotOptimize(size = OwnCompress(in, *state));
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * in.size()));
    st.counters["out_bytes"] = static_cast<double>(size);
    st.counters["ratio_pct"] = 100.0 * size / in.size();
    st.SetLabel(CorpusName(static_cast<int>(st.range(0))));
}

void BM_Zlib(benchmark::State& st)
{
    const std::string& in = Corpus(static_cast<int>(st.range(0)));
    size_t size = 0;
    for (auto _ : st)
        benchmark::DoNotOptimize(size = ZlibCompress(in));
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * in.size()));
    st.counters["out_bytes"] = static_cast<double>(size);
    st.counters["ratio_pct"] = 100.0 * size / in.size();
    st.SetLabel(CorpusName(static_cast<int>(st.range(0))));
}

BENCHMARK(BM_Own)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zlib)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// A side-by-side summary: both compressors timed alternately on each corpus, best of several
// rounds, so the ratios compare like with like.
void PrintSummary()
{
    auto state = std::make_unique<SDeflateState>();
    std::printf("\n%-7s %10s %12s %12s %10s %10s %10s %10s\n", "corpus", "input", "own bytes", "zlib bytes",
        "size ratio", "own MB/s", "zlib MB/s", "speed x");
    for (int which = 0; which < 3; ++which) {
        const std::string& in = Corpus(which);
        if (in.empty())
            continue;
        double bestOwn = 1e9;
        double bestZlib = 1e9;
        size_t ownSize = 0;
        size_t zlibSize = 0;
        for (int round = 0; round < 7; ++round) {
            auto t0 = std::chrono::steady_clock::now();
            ownSize = OwnCompress(in, *state);
            auto t1 = std::chrono::steady_clock::now();
            zlibSize = ZlibCompress(in);
            auto t2 = std::chrono::steady_clock::now();
            bestOwn = std::min(bestOwn, std::chrono::duration<double>(t1 - t0).count());
            bestZlib = std::min(bestZlib, std::chrono::duration<double>(t2 - t1).count());
        }
        const double mb = in.size() / 1e6;
        std::printf("%-7s %10zu %12zu %12zu %10.4f %10.1f %10.1f %10.2f\n", CorpusName(which), in.size(), ownSize,
            zlibSize, static_cast<double>(ownSize) / zlibSize, mb / bestOwn, mb / bestZlib, bestZlib / bestOwn);
    }
    std::printf("size ratio = own / zlib (target <= 1.01); speed x = own speed / zlib speed (target >= 1.0)\n");
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    return 0;
}
