// The block coder: chooses stored, fixed or dynamic coding for each block, builds
// length-limited Huffman codes, and writes the bits.
#include "crash/zip/Deflate.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr int STORED_BLOCK = 0;
constexpr int STATIC_TREES = 1;
constexpr int DYN_TREES = 2;

// Code-length alphabet: repeat the previous length 3-6 times (2 extra bits), repeat a zero
// length 3-10 times (3 bits), 11-138 times (7 bits).
constexpr int REP_3_6 = 16;
constexpr int REPZ_3_10 = 17;
constexpr int REPZ_11_138 = 18;

constexpr int kExtraLBits[LENGTH_CODES]
    = { 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0 };
constexpr int kExtraDBits[D_CODES]
    = { 0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13 };
constexpr int kExtraBlBits[BL_CODES] = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7 };
// Order in which the code-length code lengths are sent: the likely ones first, so the
// unused tail can be cut off.
constexpr BYTE kBlOrder[BL_CODES] = { 16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15 };

// ---- Bit writer ----------------------------------------------------------------------------

// Hands the output buffer to the flush callback. A callback that takes nothing would leave no
// room for further bytes: the loss is recorded and the buffer emptied, never overrun.
void FlushOutBuf(SDeflateState& s)
{
    if (s.out_offset == 0)
        return;
    if (!s.flush_allowed) {
        deflate_assert(s, false, "output buffer too small for in-memory compression");
        s.out_offset = 0;
        return;
    }
    unsigned count = s.out_offset;
    s.flush(s.owner, s.out_buf, &count);
    deflate_assert(s, count == 0, "output buffer cannot be flushed");
    s.out_offset = 0;
}

inline void EnsureRoom(SDeflateState& s, unsigned bytes)
{
    if (s.out_size - s.out_offset < bytes)
        FlushOutBuf(s);
}

inline void PutByte(SDeflateState& s, BYTE b)
{
    EnsureRoom(s, 1);
    s.out_buf[s.out_offset++] = b;
}

inline void PutShort(SDeflateState& s, unsigned w)
{
    PutByte(s, static_cast<BYTE>(w & 0xFF));
    PutByte(s, static_cast<BYTE>((w >> 8) & 0xFF));
}

// Bits collect above the valid ones; whole 32-bit groups go out low byte first, so the byte
// stream is the same as with any other group size.
inline void put_bits(SDeflateState& s, unsigned value, int length)
{
    deflate_assert(s, length >= 1 && length <= 15, "invalid length");
    s.bits_sent += static_cast<unsigned>(length);
    s.bi_buf |= static_cast<uint64_t>(value) << s.bi_valid;
    s.bi_valid += length;
    if (s.bi_valid >= 32) {
        EnsureRoom(s, 4);
        const uint32_t low = static_cast<uint32_t>(s.bi_buf);
        BYTE* out = s.out_buf + s.out_offset;
        out[0] = static_cast<BYTE>(low);
        out[1] = static_cast<BYTE>(low >> 8);
        out[2] = static_cast<BYTE>(low >> 16);
        out[3] = static_cast<BYTE>(low >> 24);
        s.out_offset += 4;
        s.bi_buf >>= 32;
        s.bi_valid -= 32;
    }
}

inline void SendCode(SDeflateState& s, int c, const SCtData* tree)
{
    put_bits(s, tree[c].fc, tree[c].dl);
}

unsigned reverse_code_bits(unsigned code, int length)
{
    unsigned res = 0;
    do {
        res = (res << 1) | (code & 1);
        code >>= 1;
    } while (--length > 0);
    return res;
}

void bit_writer_flush(SDeflateState& s)
{
    while (s.bi_valid > 0) {
        PutByte(s, static_cast<BYTE>(s.bi_buf & 0xFF));
        s.bi_buf >>= 8;
        s.bi_valid -= 8;
    }
    s.bi_buf = 0;
    s.bi_valid = 0;
    if (s.flush_allowed)
        FlushOutBuf(s);
    s.bits_sent = (s.bits_sent + 7) & ~static_cast<uint64_t>(7);
}

void put_stored_block(SDeflateState& s, const BYTE* bytes, unsigned length, bool header)
{
    bit_writer_flush(s);
    if (header) {
        PutShort(s, length);
        PutShort(s, ~length & 0xFFFF);
        s.bits_sent += 32; // the two 16-bit lengths
    }
    if (s.flush_allowed) {
        FlushOutBuf(s);
        // Straight from the window: no copy through the output buffer.
        unsigned count = length;
        if (count != 0) {
            s.flush(s.owner, bytes, &count);
            deflate_assert(s, count == 0, "output buffer cannot be flushed");
        }
    } else if (length > s.out_size - s.out_offset) {
        deflate_assert(s, false, "output buffer too small for in-memory compression");
    } else {
        std::memcpy(s.out_buf + s.out_offset, bytes, length);
        s.out_offset += length;
    }
    s.bits_sent += static_cast<uint64_t>(length) * 8;
}

// ---- Trees ---------------------------------------------------------------------------------

void start_new_block(SDeflateState& s)
{
    for (int n = 0; n < L_CODES; ++n)
        s.dyn_ltree[n].fc = 0;
    for (int n = 0; n < D_CODES; ++n)
        s.dyn_dtree[n].fc = 0;
    for (int n = 0; n < BL_CODES; ++n)
        s.bl_tree[n].fc = 0;
    s.dyn_ltree[END_BLOCK].fc = 1;
    s.opt_len = 0;
    s.static_len = 0;
    s.last_lit = 0;
    s.last_dist = 0;
    s.last_flags = 0;
    s.flags = 0;
    s.flag_bit = 1;
}

// Codes are handed out in order of length, and within a length in order of symbol; DEFLATE
// sends them most significant bit first, the bit writer least significant first: hence the
// reversal.
void gen_codes(SDeflateState& s, SCtData* tree, int max_code)
{
    WORD next_code[MAX_BITS + 1];
    unsigned code = 0;
    for (int bits = 1; bits <= MAX_BITS; ++bits) {
        code = (code + s.bl_count[bits - 1]) << 1;
        next_code[bits] = static_cast<WORD>(code);
    }
    deflate_assert(s, code + s.bl_count[MAX_BITS] - 1 == (1u << MAX_BITS) - 1, "inconsistent bit counts");
    for (int n = 0; n <= max_code; ++n) {
        const int len = tree[n].dl;
        if (len == 0)
            continue;
        tree[n].fc = static_cast<WORD>(reverse_code_bits(next_code[len]++, len));
    }
}

// Heap order: less frequent first; equal frequencies, the shallower subtree first, which keeps
// the code lengths short.
inline bool Smaller(const SCtData* tree, const BYTE* depth, int n, int m)
{
    return tree[n].fc < tree[m].fc || (tree[n].fc == tree[m].fc && depth[n] <= depth[m]);
}

void heap_sift_down(SDeflateState& s, const SCtData* tree, int k)
{
    const int v = s.heap[k];
    int j = k << 1;
    while (j <= s.heap_len) {
        if (j < s.heap_len && Smaller(tree, s.depth, s.heap[j + 1], s.heap[j]))
            ++j;
        if (Smaller(tree, s.depth, v, s.heap[j]))
            break;
        s.heap[k] = s.heap[j];
        k = j;
        j <<= 1;
    }
    s.heap[k] = v;
}

// Gives every leaf its depth in the tree, limited to the descriptor's longest length, and
// adds the block's cost under these lengths and under the static tree.
void assign_bit_lengths(SDeflateState& s, STreeDesc& desc)
{
    SCtData* tree = desc.dyn_tree;
    const SCtData* stree = desc.static_tree;
    const int max_code = desc.max_code;
    const int max_length = desc.max_length;
    int overflow = 0;

    std::fill(std::begin(s.bl_count), std::end(s.bl_count), WORD(0));
    // The heap array holds the root at heap_max and every node below its parent: walking up
    // the array visits parents before children.
    tree[s.heap[s.heap_max]].dl = 0;
    for (int h = s.heap_max + 1; h < HEAP_SIZE; ++h) {
        const int n = s.heap[h];
        int bits = tree[tree[n].dl].dl + 1;
        if (bits > max_length) {
            bits = max_length;
            ++overflow;
        }
        tree[n].dl = static_cast<WORD>(bits);
        if (n > max_code)
            continue; // inner node
        s.bl_count[bits]++;
        const int xbits = n >= desc.extra_base ? desc.extra_bits[n - desc.extra_base] : 0;
        const int64_t f = tree[n].fc;
        s.opt_len += f * (bits + xbits);
        if (stree)
            s.static_len += f * (stree[n].dl + xbits);
    }
    if (overflow == 0)
        return;

    // Too deep: move leaves up from the longest length. Each step takes one leaf from
    // length max and one from a shorter length b, and puts two leaves at length b + 1.
    do {
        int bits = max_length - 1;
        while (s.bl_count[bits] == 0)
            --bits;
        s.bl_count[bits]--;
        s.bl_count[bits + 1] += 2;
        s.bl_count[max_length]--;
        overflow -= 2;
    } while (overflow > 0);

    // Hand the lengths out again; the leaves found last in the heap array (extracted first,
    // so the least frequent) get the longest ones.
    int h = HEAP_SIZE;
    for (int bits = max_length; bits != 0; --bits) {
        int n = s.bl_count[bits];
        while (n != 0) {
            const int m = s.heap[--h];
            if (m > max_code)
                continue;
            if (tree[m].dl != bits) {
                s.opt_len += (static_cast<int64_t>(bits) - tree[m].dl) * tree[m].fc;
                tree[m].dl = static_cast<WORD>(bits);
            }
            --n;
        }
    }
}

void build_huffman_tree(SDeflateState& s, STreeDesc& desc)
{
    SCtData* tree = desc.dyn_tree;
    const SCtData* stree = desc.static_tree;
    const int elems = desc.elems;
    int max_code = -1;

    s.heap_len = 0;
    s.heap_max = HEAP_SIZE;
    for (int n = 0; n < elems; ++n) {
        if (tree[n].fc != 0) {
            s.heap[++s.heap_len] = max_code = n;
            s.depth[n] = 0;
        } else {
            tree[n].dl = 0;
        }
    }

    // A valid code needs two symbols at least: give unused ones a frequency of 1. They are
    // never sent, so they cost nothing in either estimate.
    while (s.heap_len < 2) {
        const int node = s.heap[++s.heap_len] = (max_code < 2 ? ++max_code : 0);
        tree[node].fc = 1;
        s.depth[node] = 0;
        s.opt_len--;
        if (stree)
            s.static_len -= stree[node].dl;
    }
    desc.max_code = max_code;

    for (int n = s.heap_len / 2; n >= 1; --n)
        heap_sift_down(s, tree, n);

    int node = elems; // inner nodes are numbered after the leaves
    do {
        const int n = s.heap[1];
        s.heap[1] = s.heap[s.heap_len--];
        heap_sift_down(s, tree, 1);
        const int m = s.heap[1];

        s.heap[--s.heap_max] = n;
        s.heap[--s.heap_max] = m;

        tree[node].fc = static_cast<WORD>(tree[n].fc + tree[m].fc);
        s.depth[node] = static_cast<BYTE>(std::max(s.depth[n], s.depth[m]) + 1);
        tree[n].dl = tree[m].dl = static_cast<WORD>(node);

        s.heap[1] = node++;
        heap_sift_down(s, tree, 1);
    } while (s.heap_len >= 2);
    s.heap[--s.heap_max] = s.heap[1];

    assign_bit_lengths(s, desc);
    // bl_count now holds the final counts per length.
    gen_codes(s, tree, max_code);
}

// The one walk over a tree's code lengths that both counts (for the code-length tree) and
// sends them: runs of equal lengths become repeat codes.
template <typename OnSingle, typename OnRepeat>
void WalkTreeLengths(SCtData* tree, int max_code, OnSingle single, OnRepeat repeat)
{
    int prevlen = -1;
    int nextlen = tree[0].dl;
    int count = 0;
    int max_count = 7;
    int min_count = 4;
    if (nextlen == 0) {
        max_count = 138;
        min_count = 3;
    }
    // Guard: a length no run can continue into. The node above the largest code is unused.
    tree[max_code + 1].dl = 0xFFFF;

    for (int n = 0; n <= max_code; ++n) {
        const int curlen = nextlen;
        nextlen = tree[n + 1].dl;
        if (++count < max_count && curlen == nextlen)
            continue;
        if (count < min_count) {
            single(curlen, count);
        } else if (curlen != 0) {
            if (curlen != prevlen) {
                single(curlen, 1);
                --count;
            }
            repeat(REP_3_6, count);
        } else if (count <= 10) {
            repeat(REPZ_3_10, count);
        } else {
            repeat(REPZ_11_138, count);
        }
        count = 0;
        prevlen = curlen;
        if (nextlen == 0) {
            max_count = 138;
            min_count = 3;
        } else if (curlen == nextlen) {
            max_count = 6;
            min_count = 3;
        } else {
            max_count = 7;
            min_count = 4;
        }
    }
}

void scan_tree_lengths(SDeflateState& s, SCtData* tree, int max_code)
{
    WalkTreeLengths(
        tree, max_code, [&](int len, int count) { s.bl_tree[len].fc += static_cast<WORD>(count); },
        [&](int code, int) { s.bl_tree[code].fc++; });
}

void send_tree_lengths(SDeflateState& s, SCtData* tree, int max_code)
{
    WalkTreeLengths(
        tree, max_code,
        [&](int len, int count) {
            while (count-- > 0)
                SendCode(s, len, s.bl_tree);
        },
        [&](int code, int count) {
            SendCode(s, code, s.bl_tree);
            if (code == REP_3_6) {
                deflate_assert(s, count >= 3 && count <= 6, " 3_6?");
                put_bits(s, static_cast<unsigned>(count - 3), 2);
            } else if (code == REPZ_3_10) {
                put_bits(s, static_cast<unsigned>(count - 3), 3);
            } else {
                put_bits(s, static_cast<unsigned>(count - 11), 7);
            }
        });
}

int build_length_tree(SDeflateState& s)
{
    scan_tree_lengths(s, s.dyn_ltree, s.l_desc.max_code);
    scan_tree_lengths(s, s.dyn_dtree, s.d_desc.max_code);
    build_huffman_tree(s, s.bl_desc);
    int max_blindex;
    for (max_blindex = BL_CODES - 1; max_blindex >= 3; --max_blindex) {
        if (s.bl_tree[kBlOrder[max_blindex]].dl != 0)
            break;
    }
    // 3 bits per sent code-length length, and the three counts of the header.
    s.opt_len += 3 * (max_blindex + 1) + 5 + 5 + 4;
    return max_blindex;
}

void send_tree_headers(SDeflateState& s, int lcodes, int dcodes, int blcodes)
{
    deflate_assert(s, lcodes >= 257 && dcodes >= 1 && blcodes >= 4, "not enough codes");
    deflate_assert(s, lcodes <= L_CODES && dcodes <= D_CODES && blcodes <= BL_CODES, "too many codes");
    put_bits(s, static_cast<unsigned>(lcodes - 257), 5);
    put_bits(s, static_cast<unsigned>(dcodes - 1), 5);
    put_bits(s, static_cast<unsigned>(blcodes - 4), 4);
    for (int rank = 0; rank < blcodes; ++rank)
        put_bits(s, s.bl_tree[kBlOrder[rank]].dl, 3);
    send_tree_lengths(s, s.dyn_ltree, lcodes - 1);
    send_tree_lengths(s, s.dyn_dtree, dcodes - 1);
}

void emit_block_codes(SDeflateState& s, const SCtData* ltree, const SCtData* dtree)
{
    unsigned lx = 0;
    unsigned dx = 0;
    unsigned fx = 0;
    unsigned flag = 0;
    while (lx < s.last_lit) {
        if ((lx & 7) == 0)
            flag = s.flag_buf[fx++];
        unsigned lc = s.l_buf[lx++];
        if ((flag & 1) == 0) {
            SendCode(s, static_cast<int>(lc), ltree);
        } else {
            const int code = s.length_code[lc];
            SendCode(s, code + LITERALS + 1, ltree);
            if (const int extra = kExtraLBits[code]; extra != 0)
                put_bits(s, lc - static_cast<unsigned>(s.base_length[code]), extra);
            unsigned dist = s.d_buf[dx++];
            const unsigned dcode = d_code(s, dist);
            deflate_assert(s, dcode < D_CODES, "bad d_code");
            if (dcode >= D_CODES)
                continue;
            SendCode(s, static_cast<int>(dcode), dtree);
            if (const int extra = kExtraDBits[dcode]; extra != 0)
                put_bits(s, dist - static_cast<unsigned>(s.base_dist[dcode]), extra);
        }
        flag >>= 1;
    }
    SendCode(s, END_BLOCK, ltree);
}

void guess_text_or_binary(SDeflateState& s)
{
    unsigned ascii = 0;
    unsigned bin = 0;
    int n = 0;
    for (; n < 7; ++n)
        bin += s.dyn_ltree[n].fc;
    for (; n < 128; ++n)
        ascii += s.dyn_ltree[n].fc;
    for (; n < LITERALS; ++n)
        bin += s.dyn_ltree[n].fc;
    *s.file_type = (ascii / 4 >= bin) ? 1 : 0;
}

} // namespace

void tree_state_init(SDeflateState& s)
{
    s.l_desc = { s.dyn_ltree, s.static_ltree, kExtraLBits, LITERALS + 1, L_CODES, MAX_BITS, 0 };
    s.d_desc = { s.dyn_dtree, s.static_dtree, kExtraDBits, 0, D_CODES, MAX_BITS, 0 };
    s.bl_desc = { s.bl_tree, nullptr, kExtraBlBits, 0, BL_CODES, MAX_BL_BITS, 0 };
    s.cmpr_bytelen = 0;
    s.cmpr_len_bits = 0;
    s.input_len = 0;
}

void bit_writer_init(SDeflateState& s, BYTE* outBuf, unsigned outSize, bool flushAllowed)
{
    s.out_buf = outBuf;
    s.out_size = outSize;
    s.out_offset = 0;
    s.bi_buf = 0;
    s.bi_valid = 0;
    s.flush_allowed = flushAllowed;
    s.bits_sent = 0;
}

void ct_init(SDeflateState& s, WORD* fileType)
{
    s.file_type = fileType;
    s.cmpr_bytelen = 0;
    s.cmpr_len_bits = 0;
    s.input_len = 0;

    int length = 0;
    int code;
    for (code = 0; code < LENGTH_CODES - 1; ++code) {
        s.base_length[code] = length;
        for (int n = 0; n < (1 << kExtraLBits[code]); ++n)
            s.length_code[length++] = static_cast<BYTE>(code);
    }
    deflate_assert(s, length == 256, "ct_init: length != 256");
    // Length 258 has a code of its own although 28 could also express it: the code with
    // 0 extra bits is shorter.
    s.length_code[length - 1] = static_cast<BYTE>(code);
    s.base_length[LENGTH_CODES - 1] = 0;

    int dist = 0;
    for (code = 0; code < 16; ++code) {
        s.base_dist[code] = dist;
        for (int n = 0; n < (1 << kExtraDBits[code]); ++n)
            s.dist_code[dist++] = static_cast<BYTE>(code);
    }
    deflate_assert(s, dist == 256, "ct_init: dist != 256");
    dist >>= 7; // from here on the table holds one entry per 128 distances
    for (; code < D_CODES; ++code) {
        s.base_dist[code] = dist << 7;
        for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n)
            s.dist_code[256 + dist++] = static_cast<BYTE>(code);
    }
    deflate_assert(s, dist == 256, "ct_init: 256+dist != 512");

    std::fill(std::begin(s.bl_count), std::end(s.bl_count), WORD(0));
    int n = 0;
    for (; n <= 143; ++n, ++s.bl_count[8])
        s.static_ltree[n].dl = 8;
    for (; n <= 255; ++n, ++s.bl_count[9])
        s.static_ltree[n].dl = 9;
    for (; n <= 279; ++n, ++s.bl_count[7])
        s.static_ltree[n].dl = 7;
    for (; n <= 287; ++n, ++s.bl_count[8])
        s.static_ltree[n].dl = 8;
    // Codes 286 and 287 never occur but take part in building the fixed code.
    gen_codes(s, s.static_ltree, L_CODES + 1);
    for (n = 0; n < D_CODES; ++n) {
        s.static_dtree[n].dl = 5;
        s.static_dtree[n].fc = static_cast<WORD>(reverse_code_bits(static_cast<unsigned>(n), 5));
    }
    start_new_block(s);
}

uint64_t finish_block(SDeflateState& s, const BYTE* block, uint64_t storedLen, bool eof)
{
    s.flag_buf[s.last_flags] = static_cast<BYTE>(s.flags);
    if (s.file_type && *s.file_type == 0xFFFF)
        guess_text_or_binary(s);

    build_huffman_tree(s, s.l_desc);
    build_huffman_tree(s, s.d_desc);
    const int max_blindex = build_length_tree(s);

    // Whole bytes, the 3 header bits included.
    uint64_t opt_lenb = static_cast<uint64_t>(s.opt_len + 3 + 7) >> 3;
    const uint64_t static_lenb = static_cast<uint64_t>(s.static_len + 3 + 7) >> 3;
    s.input_len += storedLen;
    if (static_lenb <= opt_lenb)
        opt_lenb = static_lenb;

    const unsigned eofBit = eof ? 1 : 0;
    if (storedLen + 4 <= opt_lenb && block != nullptr) {
        // The window never holds more than 65,274 bytes of one block, so the 16-bit length fits.
        put_bits(s, (STORED_BLOCK << 1) + eofBit, 3);
        s.cmpr_bytelen += ((s.cmpr_len_bits + 3 + 7) >> 3) + storedLen + 4;
        s.cmpr_len_bits = 0;
        put_stored_block(s, block, static_cast<unsigned>(storedLen), true);
    } else if (static_lenb == opt_lenb) {
        put_bits(s, (STATIC_TREES << 1) + eofBit, 3);
        emit_block_codes(s, s.static_ltree, s.static_dtree);
        s.cmpr_len_bits += 3 + static_cast<uint64_t>(s.static_len);
        s.cmpr_bytelen += s.cmpr_len_bits >> 3;
        s.cmpr_len_bits &= 7;
    } else {
        put_bits(s, (DYN_TREES << 1) + eofBit, 3);
        send_tree_headers(s, s.l_desc.max_code + 1, s.d_desc.max_code + 1, max_blindex + 1);
        emit_block_codes(s, s.dyn_ltree, s.dyn_dtree);
        s.cmpr_len_bits += 3 + static_cast<uint64_t>(s.opt_len);
        s.cmpr_bytelen += s.cmpr_len_bits >> 3;
        s.cmpr_len_bits &= 7;
    }
    deflate_assert(s, s.cmpr_bytelen * 8 + s.cmpr_len_bits == s.bits_sent, "bad compressed size");
    start_new_block(s);

    if (eof) {
        bit_writer_flush(s);
        if (s.cmpr_len_bits != 0) {
            s.cmpr_bytelen++;
            s.cmpr_len_bits = 0;
        }
    }
    return s.cmpr_bytelen;
}
