// Registry of the table files found on the path list, file mapping, and the
// lazy loaders of WDL tables (under the mutex) and DTZ tables (MRU cache).
#include "tablebase/tbcore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelk::tb {

TbRegistry registry;

void MappedFile::unmap() {
    if (data && munmap(const_cast<uint8_t*>(data), size) != 0)
        std::perror("munmap");
    data = nullptr;
    size = 0;
}

int open_tb(const char* name, const char* suffix) {
    char file[TB_PATH_MAX + 1];
    for (const char* dir : registry.dirs) {
        const int n = std::snprintf(file, sizeof file, "%s/%s%s", dir, name, suffix);
        if (n < 0 || n > TB_PATH_MAX)
            continue;
        const int fd = ::open(file, O_RDONLY);
        if (fd < 0)
            continue;
        struct stat st;
        if (fstat(fd, &st) != 0) {
            std::perror("fstat");
            ::close(fd);
            continue;
        }
        // A directory or device named like a table is not a table.
        if (!S_ISREG(st.st_mode)) {
            ::close(fd);
            continue;
        }
        return fd;
    }
    return -1;
}

namespace {

enum class MapResult { missing, mapped, empty };

MapResult map_file(const char* name, const char* suffix, MappedFile& out) {
    const int fd = open_tb(name, suffix);
    if (fd < 0)
        return MapResult::missing;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        std::perror("fstat");
        ::close(fd);
        return MapResult::missing;
    }
    // Too short for any table (mmap refuses a zero length anyway).
    if (st.st_size < 64 + 16) {
        ::close(fd);
        return MapResult::empty;
    }
    void* p = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) {
        std::fprintf(stderr, "Could not mmap() %s.\n", name);
        std::exit(1);
    }
    out.data = static_cast<const uint8_t*>(p);
    out.size = size_t(st.st_size);
    return MapResult::mapped;
}

void insert_key(uint64_t key, TbEntry* e) {
    for (TbHashSlot& slot : registry.hash[key >> 54])
        if (slot.key == 0) {
            slot.key = key;
            slot.entry = e;
            return;
        }
    std::fputs("HSHMAX too low!\n", stderr);
    std::exit(1);
}

// Registers one signature when its WDL file exists.
void init_tb(const char* name) {
    const int fd = open_tb(name, ".rtbw");
    if (fd < 0)
        return;
    ::close(fd);

    TbMaterial mat;
    std::snprintf(mat.name, sizeof mat.name, "%s", name);
    int counts[2][7] = {};
    int colour = 0;
    for (const char* p = name; *p; ++p) {
        const char* kinds = " PNBRQK";
        if (*p == 'v') {
            colour = 1;
        } else if (const char* k = std::strchr(kinds, *p); k && *p != ' ') {
            ++counts[colour][k - kinds];
            ++mat.men;
        }
    }
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < 7; ++k)
            mat.counts[c][k] = uint8_t(counts[c][k]);
    mat.key = material_key(counts, false);
    mat.mirrored_key = material_key(counts, true);
    mat.symmetric = mat.key == mat.mirrored_key;
    mat.has_pawns = counts[0][1] + counts[1][1] > 0;

    TbEntry* e;
    if (mat.has_pawns) {
        if (registry.pawn_count == TBMAX_PAWN) {
            std::fputs("TBMAX_PAWN limit too low!\n", stderr);
            std::exit(1);
        }
        e = &registry.pawn_entries[registry.pawn_count++];
        const bool black_leads = counts[1][1] > 0 && (counts[0][1] == 0 || counts[1][1] < counts[0][1]);
        mat.lead_colour = black_leads;
        mat.pawns[0] = uint8_t(counts[mat.lead_colour][1]);
        mat.pawns[1] = uint8_t(counts[mat.lead_colour ^ 1][1]);
    } else {
        if (registry.piece_count == TBMAX_PIECE) {
            std::fputs("TBMAX_PIECE limit too low!\n", stderr);
            std::exit(1);
        }
        e = &registry.piece_entries[registry.piece_count++];
        int unique = 0, smallest = 7;
        for (int c = 0; c < 2; ++c)
            for (int k = 1; k <= 6; ++k) {
                unique += counts[c][k] == 1;
                if (counts[c][k] > 1)
                    smallest = std::min(smallest, counts[c][k]);
            }
        mat.enc_type = uint8_t(unique >= 3 ? 0 : unique == 2 ? 2 : 1 + smallest);
    }
    e->mat = mat;
    e->state.store(TABLE_REGISTERED, std::memory_order_relaxed);
    registry.largest = std::max(registry.largest, int(mat.men));
    insert_key(mat.key, e);
    if (mat.mirrored_key != mat.key)
        insert_key(mat.mirrored_key, e);
}

void release_all() {
    for (DtzSlot& slot : registry.dtz_cache) {
        slot.entry.reset();
        slot.key1 = slot.key2 = 0;
    }
    registry.piece_entries.reset();
    registry.pawn_entries.reset();
    registry.path.reset();
    registry.dirs.clear();
    registry.piece_count = registry.pawn_count = 0;
    registry.largest = 0;
    for (auto& row : registry.hash)
        row.fill(TbHashSlot{});
}

// The candidate signatures, in the fixed order of the registry.
void register_candidates() {
    const char* P = "KQRBNP";
    char name[16];
    for (int i = 1; i <= 5; ++i) {
        std::snprintf(name, sizeof name, "K%cvK", P[i]);
        init_tb(name);
    }
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j) {
            std::snprintf(name, sizeof name, "K%cvK%c", P[i], P[j]);
            init_tb(name);
        }
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j) {
            std::snprintf(name, sizeof name, "K%c%cvK", P[i], P[j]);
            init_tb(name);
        }
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j)
            for (int k = 1; k <= 5; ++k) {
                std::snprintf(name, sizeof name, "K%c%cvK%c", P[i], P[j], P[k]);
                init_tb(name);
            }
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j)
            for (int k = j; k <= 5; ++k) {
                std::snprintf(name, sizeof name, "K%c%c%cvK", P[i], P[j], P[k]);
                init_tb(name);
            }
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j)
            for (int k = i; k <= 5; ++k)
                for (int l = (i == k ? j : k); l <= 5; ++l) {
                    std::snprintf(name, sizeof name, "K%c%cvK%c%c", P[i], P[j], P[k], P[l]);
                    init_tb(name);
                }
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j)
            for (int k = j; k <= 5; ++k)
                for (int l = 1; l <= 5; ++l) {
                    std::snprintf(name, sizeof name, "K%c%c%cvK%c", P[i], P[j], P[k], P[l]);
                    init_tb(name);
                }
    for (int i = 1; i <= 5; ++i)
        for (int j = i; j <= 5; ++j)
            for (int k = j; k <= 5; ++k)
                for (int l = k; l <= 5; ++l) {
                    std::snprintf(name, sizeof name, "K%c%c%c%cvK", P[i], P[j], P[k], P[l]);
                    init_tb(name);
                }
}

} // namespace

int init_tablebases(const char* path) {
    release_all();
    if (!path || !*path || std::strcmp(path, "<empty>") == 0)
        return 0;
    const size_t len = std::strlen(path);
    registry.path.reset(new char[len + 1]);
    std::memcpy(registry.path.get(), path, len + 1);
    char* p = registry.path.get();
    for (char* start = p;; ++p) {
        if (*p == ':' || *p == 0) {
            const bool end = *p == 0;
            *p = 0;
            if (*start)
                registry.dirs.push_back(start);
            if (end)
                break;
            start = p + 1;
        }
    }
    registry.piece_entries.reset(new TbEntry[TBMAX_PIECE]);
    registry.pawn_entries.reset(new TbEntry[TBMAX_PAWN]);
    register_candidates();
    const int found = registry.piece_count + registry.pawn_count;
    std::printf("info string found %d tablebases\n", found);
    std::fflush(stdout);
    return found;
}

TbEntry* find_entry(uint64_t key) {
    for (const TbHashSlot& slot : registry.hash[key >> 54])
        if (slot.key == key)
            return slot.entry;
    return nullptr;
}

TbEntry* get_wdl_table(uint64_t key) {
    TbEntry* e = find_entry(key);
    if (!e)
        return nullptr;
    uint8_t state = e->state.load(std::memory_order_acquire);
    if (state == TABLE_READY)
        return e;
    if (state == TABLE_DROPPED)
        return nullptr;
    std::lock_guard<std::mutex> lock(registry.load_mutex);
    state = e->state.load(std::memory_order_acquire);
    if (state != TABLE_REGISTERED)
        return state == TABLE_READY ? e : nullptr;
    const MapResult r = map_file(e->mat.name, ".rtbw", e->file);
    if (r == MapResult::missing) {
        std::fprintf(stderr, "Could not find %s.rtbw\n", e->mat.name);
    } else if (r == MapResult::empty || !parse_wdl(*e)) {
        std::fputs("Corrupted table.\n", stderr);
        e->file.unmap();
    } else {
        e->state.store(TABLE_READY, std::memory_order_release);
        return e;
    }
    e->state.store(TABLE_DROPPED, std::memory_order_release);
    return nullptr;
}

DtzEntry* get_dtz_table(uint64_t key) {
    auto& cache = registry.dtz_cache;
    for (int i = 0; i < DTZ_CACHE_SLOTS; ++i)
        if (cache[i].key1 == key || cache[i].key2 == key) {
            if (i > 0)
                std::rotate(cache.begin(), cache.begin() + i, cache.begin() + i + 1);
            return cache[0].entry.get();
        }
    const TbEntry* e = find_entry(key);
    if (!e)
        return nullptr;
    cache[DTZ_CACHE_SLOTS - 1].entry.reset();
    std::rotate(cache.begin(), cache.end() - 1, cache.end());
    DtzSlot& slot = cache[0];
    slot.key1 = e->mat.key;
    slot.key2 = e->mat.mirrored_key;
    auto d = std::make_unique<DtzEntry>();
    d->mat = e->mat;
    const MapResult r = map_file(e->mat.name, ".rtbz", d->file);
    if (r == MapResult::mapped && parse_dtz(*d)) {
        slot.entry = std::move(d);
    } else if (r != MapResult::missing) {
        std::fputs("Corrupted table.\n", stderr);
    }
    return slot.entry.get();
}

} // namespace zelk::tb
