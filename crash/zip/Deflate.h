// Raw DEFLATE (RFC 1951) compressor for the entries of the report archive.
//
// One SDeflateState carries one entry from the first byte read to the last bit written. Input
// comes through a read callback, output leaves through the caller's buffer and a flush
// callback. A failed internal check records its message in the state and work goes on; the
// caller must then throw the result away. The compressor never allocates and never prints.
// The state is about 300 KB: keep it on the heap, not on the stack of a thread in trouble.
// Untaken output (a flush callback that leaves *count non-zero) is recorded as a failure and
// dropped, so the output buffer is never overrun.
//
// Calling order for one entry: tree_state_init, bit_writer_init, ct_init, matcher_init, then
// deflate_lazy (which runs deflate_greedy for levels 1 to 3). DeflateCompress does all of it.
#pragma once

#include "platform/base/WinTypes.h"

#include <cstdint>

// Matcher geometry. The window is two halves; the upper half slides down once the current
// position is so far up that a full lookahead would no longer fit.
constexpr unsigned DEFLATE_WSIZE = 0x8000;
constexpr unsigned DEFLATE_WMASK = DEFLATE_WSIZE - 1;
constexpr unsigned MIN_MATCH = 3;
constexpr unsigned MAX_MATCH = 258;
// A full match plus the bytes needed to hash the string after it.
constexpr unsigned MIN_LOOKAHEAD = MAX_MATCH + MIN_MATCH + 1;
// Farther matches could reach bytes that the next slide removes.
constexpr unsigned MAX_DIST = DEFLATE_WSIZE - MIN_LOOKAHEAD;
// A 3-byte match this far back costs more bits than three literals.
constexpr unsigned TOO_FAR = 4096;
constexpr unsigned HASH_BITS = 15;
constexpr unsigned HASH_SIZE = 1u << HASH_BITS;
constexpr unsigned HASH_MASK = HASH_SIZE - 1;
// Each hash step shifts by 5, so after three bytes the oldest byte has left the 15-bit key.
constexpr unsigned HASH_SHIFT = 5;

// Block buffers: one flag bit per buffered symbol says literal or match.
constexpr unsigned LIT_BUFSIZE = 0x8000;
constexpr unsigned DIST_BUFSIZE = 0x8000;
constexpr unsigned FLAG_BUFSIZE = LIT_BUFSIZE / 8;

// Code alphabet sizes of RFC 1951.
constexpr int MAX_BITS = 15; // longest literal/length or distance code
constexpr int MAX_BL_BITS = 7; // longest code of the code-length alphabet
constexpr int LENGTH_CODES = 29;
constexpr int LITERALS = 256;
constexpr int END_BLOCK = 256;
constexpr int L_CODES = LITERALS + 1 + LENGTH_CODES; // 286
constexpr int D_CODES = 30;
constexpr int BL_CODES = 19;
constexpr int HEAP_SIZE = 2 * L_CODES + 1; // every leaf plus every inner node of the largest tree

// A tree node: frequency while counting, then the code; parent while building, then the length.
struct SCtData {
    WORD fc;
    WORD dl;
};

struct STreeDesc {
    SCtData* dyn_tree;
    const SCtData* static_tree; // none for the code-length tree
    const int* extra_bits;
    int extra_base; // first code that has extra bits
    int elems;
    int max_length;
    int max_code; // largest code with a non-zero frequency in the current block
};

struct SDeflateState;

// Reads up to count bytes; 0 or -1 ends the input.
using DeflateReadFn = int (*)(SDeflateState* state, BYTE* buffer, unsigned count);
// Takes *count bytes; sets *count to what is left untaken (0 when everything was taken).
using DeflateFlushFn = void (*)(void* owner, const BYTE* bytes, unsigned* count);

struct SDeflateState {
    // Caller's part.
    void* owner = nullptr;
    int level = 0;
    DeflateReadFn read = nullptr;
    DeflateFlushFn flush = nullptr;

    // Trees (Huffman coding of one block).
    SCtData dyn_ltree[HEAP_SIZE];
    SCtData dyn_dtree[2 * D_CODES + 1];
    SCtData static_ltree[L_CODES + 2];
    SCtData static_dtree[D_CODES];
    SCtData bl_tree[2 * BL_CODES + 1];
    STreeDesc l_desc;
    STreeDesc d_desc;
    STreeDesc bl_desc;
    WORD bl_count[MAX_BITS + 1];
    int heap[HEAP_SIZE];
    int heap_len;
    int heap_max;
    BYTE depth[HEAP_SIZE];

    // Code tables built by ct_init.
    BYTE length_code[MAX_MATCH - MIN_MATCH + 1];
    BYTE dist_code[512];
    int base_length[LENGTH_CODES];
    int base_dist[D_CODES];

    // Block cost counters. Costs of one block are signed because the length limiting corrects
    // them downwards; the running totals are 64-bit so a long entry cannot wrap them.
    int64_t opt_len;
    int64_t static_len;
    uint64_t cmpr_bytelen;
    uint64_t cmpr_len_bits;
    uint64_t input_len;
    WORD* file_type;

    // Bit writer.
    BYTE* out_buf;
    unsigned out_size;
    unsigned out_offset;
    uint64_t bi_buf;
    int bi_valid;
    bool flush_allowed;
    uint64_t bits_sent;

    // Block buffers.
    BYTE l_buf[LIT_BUFSIZE];
    WORD d_buf[DIST_BUFSIZE];
    BYTE flag_buf[FLAG_BUFSIZE];
    unsigned last_lit;
    unsigned last_dist;
    unsigned last_flags;
    unsigned flags;
    unsigned flag_bit;

    // Matcher.
    BYTE window[2 * DEFLATE_WSIZE];
    WORD prev[DEFLATE_WSIZE];
    WORD head[HASH_SIZE];
    unsigned window_size;
    bool sliding;
    unsigned ins_h;
    int64_t block_start; // falls below 0 once the block's first bytes have slid out
    unsigned prev_length;
    unsigned strstart;
    unsigned match_start;
    bool eofile;
    unsigned lookahead;
    unsigned max_chain_length;
    unsigned max_lazy_match;
    unsigned good_match;
    unsigned nice_match;

    // Text of the first failed check, or none.
    const char* err = nullptr;
};

// Records the message when the condition is false; work goes on.
inline void deflate_assert(SDeflateState& s, bool condition, const char* message)
{
    if (!condition && !s.err)
        s.err = message;
}

// Block coder and trees.
void tree_state_init(SDeflateState& s);
void bit_writer_init(SDeflateState& s, BYTE* outBuf, unsigned outSize, bool flushAllowed);
void ct_init(SDeflateState& s, WORD* fileType);
// Codes the buffered block; block is none when its first bytes have left the window.
uint64_t finish_block(SDeflateState& s, const BYTE* block, uint64_t storedLen, bool eof);

// Matcher. Sets bit 2 of *flags for levels 1 and 2 and bit 1 for level 8.
void matcher_init(SDeflateState& s, int level, WORD* flags);
// Compresses the whole input; returns the compressed length in bytes.
uint64_t deflate_lazy(SDeflateState& s);
uint64_t deflate_greedy(SDeflateState& s);
// True when the block is to end.
bool ct_tally(SDeflateState& s, unsigned dist, unsigned lc);

// Distance code of a distance minus 1.
inline unsigned d_code(const SDeflateState& s, unsigned dist)
{
    return dist < 256 ? s.dist_code[dist] : s.dist_code[256 + (dist >> 7)];
}

// The whole run for one entry in the order above; returns the compressed length in bytes.
// s.owner, s.read and s.flush must be set; s.err tells afterwards whether the result is usable.
uint64_t DeflateCompress(
    SDeflateState& s, int level, WORD* fileType, WORD* flags, BYTE* outBuf, unsigned outSize, bool flushAllowed);
