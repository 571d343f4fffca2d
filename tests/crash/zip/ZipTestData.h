// Inputs and the zlib oracle shared by the compressor and archive tests and the benchmark.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>

namespace taluvo::test {

// Word-salad English text of about the given size (deterministic for a seed).
std::string MakeText(size_t size, uint32_t seed = 1);
// Nested HTML markup with attributes and repeated structure.
std::string MakeHtml(size_t size, uint32_t seed = 2);
std::string MakeRandom(size_t size, uint32_t seed = 3);
// The first bytes of an installed ELF program or, when large, of a library of some megabytes
// (empty when none is found).
std::string ReadElfBinary(size_t maxSize, bool large = false);

struct SDeflateRun {
    std::string output;
    uint64_t reportedLength = 0;
    const char* err = nullptr;
    unsigned reads = 0;
};

// Compresses input at level with the project's compressor. chunk(n) tells how many bytes the
// read callback hands over when n are asked for (default: all); outSize is the output buffer.
SDeflateRun RunDeflate(
    const std::string& input, int level, unsigned outSize = 0x4000, std::function<unsigned(unsigned)> chunk = {});

// Raw-inflates with zlib; false (and a reason) when the stream is damaged, incomplete or has
// bytes after its end. blocks receives the number of DEFLATE blocks.
bool ZlibInflate(const std::string& deflated, std::string& out, std::string& why, int* blocks = nullptr);

} // namespace taluvo::test
