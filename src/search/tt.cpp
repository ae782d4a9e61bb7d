#include "search/tt.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "core/hashcodes.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/position.h"
#include "search/search.h"
#include "search/thread.h"
#include "search/control.h"
#include "io/output.h"

namespace zelk {

TransTable tt;

namespace {

inline uint32_t check_word(uint64_t key, Move move, int score) {
    return uint32_t(key) ^ (uint32_t(move) << 16) ^ uint32_t(score + 15000);
}

// Entries are read and written by every search thread without a lock; the
// check word rejects torn ones. Relaxed atomic accesses compile to the same
// plain loads and stores and say so to the thread sanitizer.
inline TTEntry load_entry(const TTSlot& slot) {
    const uint64_t words[2] = {slot.words[0].load(std::memory_order_relaxed),
                               slot.words[1].load(std::memory_order_relaxed)};
    TTEntry e;
    std::memcpy(&e, words, sizeof e);
    return e;
}

inline void store_entry(TTSlot& slot, const TTEntry& e) {
    uint64_t words[2];
    std::memcpy(words, &e, sizeof words);
    slot.words[0].store(words[0], std::memory_order_relaxed);
    slot.words[1].store(words[1], std::memory_order_relaxed);
}

// The table starts on a 2 MB boundary and asks for huge pages where the
// system offers them on request: a probe then rarely misses the TLB as
// well as the cache.
constexpr uint64_t TT_ALIGN = uint64_t(1) << 21;

TTSlot* alloc_table(uint64_t bytes) {
    const uint64_t rounded = (bytes + TT_ALIGN - 1) / TT_ALIGN * TT_ALIGN;
    void* p = std::aligned_alloc(size_t(TT_ALIGN), size_t(rounded));
#if defined(MADV_HUGEPAGE)
    if (p)
        madvise(p, size_t(rounded), MADV_HUGEPAGE);
#endif
    return static_cast<TTSlot*>(p);
}

// Bytes of memory the machine has, 0 when it cannot tell.
uint64_t machine_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
    return pages > 0 && page_size > 0 ? uint64_t(pages) * uint64_t(page_size) : 0;
}

// Says why a table size is not taken, and puts the option back to the size
// of the table that stays.
int refuse(int32_t mb, const char* why) {
    char line[200];
    std::snprintf(line, sizeof line, "info string Hash of %d MB refused: %s", mb, why);
    emit_line(line);
    search_settings.Hash = tt.megabytes;
    return 0;
}

} // namespace

void tt_free() {
    std::free(tt.entries);
    tt.entries = nullptr;
    tt.count = 0;
    tt.megabytes = 0;
}

int tt_alloc() {
    if (!tt.entries)
        for (int bad = make_hash_codes(); bad > 0; --bad)
            emit_line("bad hashcode");
    const int32_t mb = search_settings.Hash;
    const uint64_t n = uint64_t(mb) * 65536;
    const uint64_t bytes = (n + 16) * sizeof(TTSlot);
    if (bytes > SIZE_MAX - TT_ALIGN)
        return refuse(mb, "more than this build can address");
    const uint64_t memory = machine_memory();
    if (memory && bytes > memory) {
        char why[120];
        std::snprintf(why, sizeof why, "the machine has %llu MB of memory", (unsigned long long)(memory >> 20));
        return refuse(mb, why);
    }
    // The new table is allocated before the old one goes, so that a failure
    // keeps the old one.
    TTSlot* entries = alloc_table(bytes);
    if (!entries)
        return refuse(mb, "the memory could not be allocated");
    tt_free();
    tt.entries = entries;
    tt.count = n;
    tt.megabytes = mb;
    char line[80];
    std::snprintf(line, sizeof line, "info string allocated %d Mbytes for hash table", mb);
    emit_line(line);
    tt_clear();
    return 1;
}

void tt_clear() {
    for (auto& slot : thread_table)
        if (SearchThread* t = slot.load())
            thread_tables_clear(*t);
    if (!control.use_hash || !tt.entries)
        return;
    const uint64_t total = tt.count + 16;
    const int workers = control.thread_count > 0 ? control.thread_count : 1;
    const uint64_t slice = tt.count / uint64_t(workers);
    std::vector<std::thread> pool;
    pool.reserve(size_t(workers));
    try {
        for (int i = 0; i < workers; ++i) {
            const uint64_t begin = uint64_t(i) * slice;
            const uint64_t end = i == workers - 1 ? total : begin + slice;   // the last takes the rest
            pool.emplace_back([begin, end] {
                for (uint64_t k = begin; k < end; ++k) {
                    tt.entries[k].words[0].store(0, std::memory_order_relaxed);
                    tt.entries[k].words[1].store(0, std::memory_order_relaxed);
                }
            });
        }
        for (auto& w : pool)
            w.join();
    } catch (...) {
        std::exit(-1);
    }
    tt.hashfull = 0;
}

void tt_hashfull() {
    tt.hashfull = 0;
    if (tt.count < 3000 || !tt.entries)
        return;
    int used = 0;
    const uint64_t start = tt.count / 2 - 500;
    for (uint64_t i = start; i < start + 1000; ++i)
        used += load_entry(tt.entries[i]).age == uint8_t(tt.tt_age);
    tt.hashfull = float(used) * 0.001f;
}


void tt_store(const Position& pos, int ply, int depth, Move move, int score, int alpha, int beta) {
    if (!control.use_hash || !tt.entries || tt.count == 0)
        return;
    const uint8_t bound = score <= alpha ? 1 : score >= beta ? 2 : 3;
    if (score < -9799)
        score -= ply;
    else if (score > 9798)
        score += ply;
    const uint32_t high = uint32_t(pos.key >> 32);
    TTSlot* b = tt_bucket(pos.key);
    TTSlot* target = nullptr;
    for (int i = 0; i < 4; ++i) {
        const TTEntry e = load_entry(b[i]);
        if (e.key_high == high) {
            if (depth < e.depth - 3 && e.bound != 1)
                return;
            target = &b[i];
            break;
        }
    }
    if (!target) {
        for (int i = 0; i < 4 && !target; ++i)
            if (load_entry(b[i]).age != uint8_t(tt.tt_age))
                target = &b[i];
        if (!target) {
            target = &b[0];
            int shallowest = load_entry(b[0]).depth;
            for (int i = 1; i < 4; ++i) {
                const int d = load_entry(b[i]).depth;
                if (d < shallowest) {
                    shallowest = d;
                    target = &b[i];
                }
            }
            if (depth < shallowest - 7)
                return;
        }
    }
    TTEntry e;
    e.key_high = high;
    e.check = check_word(pos.key, move, int16_t(score));
    e.move = move;
    e.score = int16_t(score);
    e.depth = int8_t(depth);
    e.bound = bound;
    e.age = uint8_t(tt.tt_age);
    e.fifty = pos.halfmove;
    store_entry(*target, e);
}

void tt_probe(const Position& pos, TTEntry& out) {
    if (!control.use_hash || !tt.entries || tt.count == 0)
        return;
    const uint32_t high = uint32_t(pos.key >> 32);
    const TTSlot* b = tt_bucket(pos.key);
    for (int i = 0; i < 4; ++i) {
        const TTEntry e = load_entry(b[i]);
        if (e.key_high != high)
            continue;
        out = e;
        if (e.check != check_word(pos.key, e.move, e.score))
            out.depth = -98;
        else if (e.move && !(is_pseudo_legal(pos, e.move) && is_legal(pos, pos.side, e.move)))
            out.depth = -99;
        return;
    }
}

void pv_from_table(SearchThread& t, int ply, Move* pv) {
    if (ply > 66)
        return;
    Position& pos = t.pos;
    Move m = pv[ply];
    if (!m) {
        TTEntry e;
        e.depth = -10;
        tt_probe(pos, e);
        if (e.depth < 0 || !e.move)
            return;
        m = e.move;
        pv[ply + 1] = NO_MOVE;
        if (is_draw(t, ply))
            return;
    }
    if (!is_pseudo_legal(pos, m) || !is_legal(pos, pos.side, m))
        return;
    pv[ply] = m;
    make_move(pos, m);
    pv_from_table(t, ply + 1, pv);
    unmake_move(pos);
}

} // namespace zelk
