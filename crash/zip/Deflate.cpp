// The matcher: hash chains over a sliding window, lazy match evaluation, and the decision
// when a block has gathered enough symbols to be coded.
#include "crash/zip/Deflate.h"

#include <bit>
#include <cstring>

namespace {

struct SLevelConfig {
    unsigned good_length; // a previous match this long quarters the chain budget
    unsigned max_lazy; // no lazy search after a match this long (greedy: longest match fully hashed)
    unsigned nice_length; // a match this long ends the search
    unsigned max_chain;
};

// Index 0 is unused: levels run from 1 to 8.
constexpr SLevelConfig kLevels[9] = {
    { 0, 0, 0, 0 },
    { 4, 4, 8, 4 },
    { 4, 5, 16, 8 },
    { 4, 6, 32, 32 },
    { 4, 4, 16, 16 },
    { 8, 16, 32, 32 },
    { 8, 16, 128, 128 },
    { 8, 32, 128, 256 },
    { 32, 128, 258, 1024 },
};

inline uint16_t Load16(const BYTE* p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint64_t Load64(const BYTE* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Number of equal leading bytes of a and b, at most max. Eight bytes per step: the first
// differing byte is the lowest set byte of the XOR on a little-endian machine.
inline unsigned CommonPrefix(const BYTE* a, const BYTE* b, unsigned max)
{
    unsigned n = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; n + 8 <= max; n += 8) {
            const uint64_t diff = Load64(a + n) ^ Load64(b + n);
            if (diff != 0)
                return n + static_cast<unsigned>(std::countr_zero(diff)) / 8;
        }
    }
    while (n < max && a[n] == b[n])
        ++n;
    return n;
}

inline void UPDATE_HASH(unsigned& h, BYTE c)
{
    h = ((h << HASH_SHIFT) ^ c) & HASH_MASK;
}

// Enters the string at pos into its hash chain and returns the chain's previous head.
inline unsigned InsertString(SDeflateState& s, unsigned pos)
{
    UPDATE_HASH(s.ins_h, s.window[pos + MIN_MATCH - 1]);
    const unsigned head = s.head[s.ins_h];
    s.prev[pos & DEFLATE_WMASK] = static_cast<WORD>(head);
    s.head[s.ins_h] = static_cast<WORD>(pos);
    return head;
}

void refill_window(SDeflateState& s)
{
    do {
        unsigned more = s.window_size - s.lookahead - s.strstart;
        if (s.sliding && s.strstart >= DEFLATE_WSIZE + MAX_DIST) {
            std::memcpy(s.window, s.window + DEFLATE_WSIZE, DEFLATE_WSIZE);
            s.match_start -= DEFLATE_WSIZE;
            s.strstart -= DEFLATE_WSIZE;
            s.block_start -= DEFLATE_WSIZE;
            // Positions in the lower half are gone; 0 stands for no earlier string.
            for (WORD& h : s.head)
                h = static_cast<WORD>(h >= DEFLATE_WSIZE ? h - DEFLATE_WSIZE : 0);
            for (WORD& p : s.prev)
                p = static_cast<WORD>(p >= DEFLATE_WSIZE ? p - DEFLATE_WSIZE : 0);
            more += DEFLATE_WSIZE;
        }
        if (s.eofile)
            return;
        deflate_assert(s, more >= 2, "more < 2");
        if (more == 0)
            return;
        const int n = s.read(&s, s.window + s.strstart + s.lookahead, more);
        if (n <= 0)
            s.eofile = true;
        else
            s.lookahead += static_cast<unsigned>(n) > more ? more : static_cast<unsigned>(n);
    } while (s.lookahead < MIN_LOOKAHEAD && !s.eofile);
}

unsigned find_longest_match(SDeflateState& s, unsigned cur_match)
{
    unsigned chain = s.max_chain_length;
    const BYTE* const window = s.window;
    const WORD* const prev = s.prev;
    const BYTE* const scan = window + s.strstart;
    const unsigned strstart = s.strstart;
    const unsigned nice = s.nice_match;
    unsigned best_len = s.prev_length;
    unsigned best_start = s.match_start;
    const unsigned limit = strstart > MAX_DIST ? strstart - MAX_DIST : 0;
    if (s.prev_length >= s.good_match)
        chain >>= 2;
    deflate_assert(s, strstart <= s.window_size - MIN_LOOKAHEAD, "insufficient lookahead");

    const uint16_t scan_start = Load16(scan);
    uint16_t scan_end = Load16(scan + best_len - 1);
    bool future = false;
    do {
        future |= cur_match >= strstart;
        const BYTE* const match = window + cur_match;
        // The chain is a walk of dependent loads: ask for the next candidate's bytes while
        // this one is examined.
        const unsigned next = prev[cur_match & DEFLATE_WMASK];
        __builtin_prefetch(window + next + best_len - 1);
        __builtin_prefetch(prev + (next & DEFLATE_WMASK));
        // Most candidates differ at the end of the best match so far or at their start.
        if (Load16(match + best_len - 1) == scan_end && Load16(match) == scan_start) {
            const unsigned len = 2 + CommonPrefix(scan + 2, match + 2, MAX_MATCH - 2);
            if (len > best_len) {
                best_start = cur_match;
                best_len = len;
                if (len >= nice)
                    break;
                scan_end = Load16(scan + best_len - 1);
            }
        }
        cur_match = next;
    } while (cur_match > limit && --chain != 0);
    deflate_assert(s, !future, "no future");
    // A comparison never runs past MAX_MATCH bytes, and the lookahead check above keeps those
    // inside the window.
    deflate_assert(s, strstart + best_len <= s.window_size - 1, "wild scan");
    s.match_start = best_start;
    return best_len;
}

uint64_t FlushBlock(SDeflateState& s, bool eof)
{
    const BYTE* block = s.block_start >= 0 ? s.window + s.block_start : nullptr;
    return finish_block(s, block, static_cast<uint64_t>(static_cast<int64_t>(s.strstart) - s.block_start), eof);
}

} // namespace

void matcher_init(SDeflateState& s, int level, WORD* flags)
{
    deflate_assert(s, level >= 1 && level <= 8, "bad pack level");
    if (level < 1 || level > 8)
        level = 8; // keeps the run well defined; the caller discards it anyway
    s.level = level;
    const SLevelConfig& config = kLevels[level];
    s.good_match = config.good_length;
    s.max_lazy_match = config.max_lazy;
    s.nice_match = config.nice_length;
    s.max_chain_length = config.max_chain;
    if (flags) {
        if (level <= 2)
            *flags |= 4;
        else if (level == 8)
            *flags |= 2;
    }

    s.window_size = 2 * DEFLATE_WSIZE;
    s.sliding = true;
    // Bytes past the input are read by the match comparison (and then clipped): keep them defined.
    std::memset(s.window, 0, sizeof s.window);
    std::memset(s.head, 0, sizeof s.head);
    std::memset(s.prev, 0, sizeof s.prev);
    s.strstart = 0;
    s.block_start = 0;
    s.match_start = 0;
    s.prev_length = MIN_MATCH - 1;
    s.eofile = false;
    s.lookahead = 0;

    const int n = s.read(&s, s.window, s.window_size);
    if (n <= 0) {
        s.eofile = true;
        s.lookahead = 0;
        return;
    }
    s.lookahead = static_cast<unsigned>(n) > s.window_size ? s.window_size : static_cast<unsigned>(n);
    if (s.lookahead < MIN_LOOKAHEAD)
        refill_window(s);
    s.ins_h = 0;
    UPDATE_HASH(s.ins_h, s.window[0]);
    UPDATE_HASH(s.ins_h, s.window[1]);
}

bool ct_tally(SDeflateState& s, unsigned dist, unsigned lc)
{
    s.l_buf[s.last_lit++] = static_cast<BYTE>(lc);
    if (dist == 0) {
        s.dyn_ltree[lc].fc++;
    } else {
        --dist;
        const unsigned dcode = d_code(s, dist);
        const bool sound = dist < MAX_DIST && lc <= MAX_MATCH - MIN_MATCH && dcode < D_CODES;
        deflate_assert(s, sound, "ct_tally: bad match");
        if (sound) {
            s.dyn_ltree[s.length_code[lc] + LITERALS + 1].fc++;
            s.dyn_dtree[dcode].fc++;
        }
        s.d_buf[s.last_dist++] = static_cast<WORD>(dist);
        s.flags |= s.flag_bit;
    }
    s.flag_bit <<= 1;
    if ((s.last_lit & 7) == 0) {
        s.flag_buf[s.last_flags++] = static_cast<BYTE>(s.flags);
        s.flags = 0;
        s.flag_bit = 1;
    }

    // A block whose matches are few and short costs more in trees than it saves; end it early
    // when the estimate says the data compresses well anyway.
    if (s.level > 2 && (s.last_lit & 0xFFF) == 0) {
        static constexpr int kExtraDBits[D_CODES]
            = { 0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13 };
        uint64_t out_length = static_cast<uint64_t>(s.last_lit) * 8;
        const uint64_t in_length = static_cast<uint64_t>(static_cast<int64_t>(s.strstart) - s.block_start);
        for (int dcode = 0; dcode < D_CODES; ++dcode)
            out_length += static_cast<uint64_t>(s.dyn_dtree[dcode].fc) * (5 + kExtraDBits[dcode]);
        out_length >>= 3;
        if (s.last_dist < s.last_lit / 2 && out_length < in_length / 2)
            return true;
    }
    return s.last_lit == LIT_BUFSIZE - 1 || s.last_dist == DIST_BUFSIZE;
}

uint64_t deflate_greedy(SDeflateState& s)
{
    unsigned match_length = 0;
    while (s.lookahead != 0) {
        unsigned hash_head = 0;
        if (s.lookahead >= MIN_MATCH)
            hash_head = InsertString(s, s.strstart);
        if (hash_head != 0 && s.strstart - hash_head <= MAX_DIST) {
            if (s.nice_match > s.lookahead)
                s.nice_match = s.lookahead;
            match_length = find_longest_match(s, hash_head);
            if (match_length > s.lookahead)
                match_length = s.lookahead;
        }

        bool endBlock;
        if (match_length >= MIN_MATCH) {
            endBlock = ct_tally(s, s.strstart - s.match_start, match_length - MIN_MATCH);
            s.lookahead -= match_length;
            if (match_length <= s.max_lazy_match && s.lookahead >= MIN_MATCH) {
                // Short match: hash every string inside it so later matches can start there.
                while (--match_length != 0) {
                    s.strstart++;
                    InsertString(s, s.strstart);
                }
                s.strstart++;
            } else {
                s.strstart += match_length;
                match_length = 0;
                // With no byte left (only at the end of the input) nothing is hashed again,
                // and the byte after the window's last one must not be read.
                if (s.lookahead != 0) {
                    s.ins_h = s.window[s.strstart];
                    UPDATE_HASH(s.ins_h, s.window[s.strstart + 1]);
                }
            }
        } else {
            endBlock = ct_tally(s, 0, s.window[s.strstart]);
            s.lookahead--;
            s.strstart++;
        }
        if (endBlock) {
            FlushBlock(s, false);
            s.block_start = s.strstart;
        }
        if (s.lookahead < MIN_LOOKAHEAD)
            refill_window(s);
    }
    return FlushBlock(s, true);
}

uint64_t deflate_lazy(SDeflateState& s)
{
    if (s.level <= 3)
        return deflate_greedy(s);

    bool match_available = false; // the byte before the current position waits as a literal
    unsigned match_length = MIN_MATCH - 1;
    while (s.lookahead != 0) {
        unsigned hash_head = 0;
        if (s.lookahead >= MIN_MATCH)
            hash_head = InsertString(s, s.strstart);

        s.prev_length = match_length;
        const unsigned prev_match = s.match_start;
        match_length = MIN_MATCH - 1;

        if (hash_head != 0 && s.prev_length < s.max_lazy_match && s.strstart - hash_head <= MAX_DIST) {
            if (s.nice_match > s.lookahead)
                s.nice_match = s.lookahead;
            match_length = find_longest_match(s, hash_head);
            if (match_length > s.lookahead)
                match_length = s.lookahead;
            if (match_length == MIN_MATCH && s.strstart - s.match_start > TOO_FAR)
                match_length = MIN_MATCH - 1;
        }

        if (s.prev_length >= MIN_MATCH && match_length <= s.prev_length) {
            // The match at the previous position is at least as good: take it.
            const unsigned max_insert = s.strstart + s.lookahead - MIN_MATCH;
            const bool endBlock = ct_tally(s, s.strstart - 1 - prev_match, s.prev_length - MIN_MATCH);
            s.lookahead -= s.prev_length - 1;
            // The previous position and the current one are hashed already.
            for (unsigned left = s.prev_length - 2; left != 0; --left) {
                if (++s.strstart <= max_insert)
                    InsertString(s, s.strstart);
            }
            match_available = false;
            match_length = MIN_MATCH - 1;
            s.strstart++;
            if (endBlock) {
                FlushBlock(s, false);
                s.block_start = s.strstart;
            }
        } else if (match_available) {
            if (ct_tally(s, 0, s.window[s.strstart - 1])) {
                FlushBlock(s, false);
                s.block_start = s.strstart;
            }
            s.strstart++;
            s.lookahead--;
        } else {
            match_available = true;
            s.strstart++;
            s.lookahead--;
        }
        if (s.lookahead < MIN_LOOKAHEAD)
            refill_window(s);
    }
    if (match_available)
        ct_tally(s, 0, s.window[s.strstart - 1]);
    return FlushBlock(s, true);
}

uint64_t DeflateCompress(
    SDeflateState& s, int level, WORD* fileType, WORD* flags, BYTE* outBuf, unsigned outSize, bool flushAllowed)
{
    s.err = nullptr;
    tree_state_init(s);
    bit_writer_init(s, outBuf, outSize, flushAllowed);
    ct_init(s, fileType);
    matcher_init(s, level, flags);
    return deflate_lazy(s);
}
