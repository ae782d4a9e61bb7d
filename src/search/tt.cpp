#include "search/tt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "core/hashcodes.h"
#include "engine/control.h"
#include "engine/options.h"
#include "engine/output.h"

namespace zelk {

TransTable tt;

void tt_free() {
    std::free(tt.entries);
    tt.entries = nullptr;
    tt.count = 0;
    tt.megabytes = 0;
}

int tt_alloc() {
    if (tt.entries)
        tt_free();
    else
        make_hash_codes();
    const int32_t mb = options.Hash;
    const uint64_t n = uint64_t(mb) * 65536;
    const uint64_t bytes = (n + 16) * sizeof(TTEntry);
    if (bytes > SIZE_MAX)
        return 0;
    tt.entries = static_cast<TTEntry*>(std::malloc(size_t(bytes)));
    if (!tt.entries)
        return 0;
    tt.count = n;
    tt.megabytes = mb;
    char line[80];
    std::snprintf(line, sizeof line, "info string allocated %d Mbytes for hash table", mb);
    emit_line(line);
    tt_clear();
    return 1;
}

void tt_clear() {
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
            pool.emplace_back([begin, end] { std::memset(tt.entries + begin, 0, size_t(end - begin) * sizeof(TTEntry)); });
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
        used += tt.entries[i].age == uint8_t(tt.tt_age);
    tt.hashfull = float(used) * 0.001f;
}

} // namespace zelk
