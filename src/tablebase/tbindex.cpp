// The Syzygy index scheme (constant tables, piece and pawn encodings) and
// the decompression of one stored value.
#include <algorithm>
#include <cstring>

#include "tablebase/tbcore.h"

namespace zelk::tb {

namespace {

constexpr uint64_t choose(int n, int k) {
    if (k < 0 || k > n)
        return 0;
    uint64_t r = 1;
    for (int i = 1; i <= k; ++i)
        r = r * uint64_t(n - k + i) / uint64_t(i);
    return r;
}

constexpr int file_of_sq(int s) { return s & 7; }
constexpr int rank_of_sq(int s) { return s >> 3; }
constexpr int flip_diagonal(int s) { return ((s >> 3) | (s << 3)) & 63; }

constexpr IndexTables build_index_tables() {
    IndexTables t{};
    for (int s = 0; s < 64; ++s) {
        const int f = file_of_sq(s), r = rank_of_sq(s);
        t.offdiag[s] = int8_t(r > f ? 1 : r < f ? -1 : 0);
        t.flipdiag[s] = uint8_t(flip_diagonal(s));
        t.diag[s] = uint8_t(r == f ? r : f + r == 7 ? 8 + r : 0);
        // Into a1-d4, then into the a1-d1-d4 triangle.
        int q = s;
        if (file_of_sq(q) > 3)
            q ^= 7;
        if (rank_of_sq(q) > 3)
            q ^= 56;
        if (rank_of_sq(q) > file_of_sq(q))
            q = flip_diagonal(q);
        constexpr int triangle_squares[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};
        for (int i = 0; i < 10; ++i)
            if (triangle_squares[i] == q)
                t.triangle[s] = uint8_t(i);
        if (r > 0 && r < 7) {
            const int g = f < 7 - f ? f : 7 - f;
            t.flap[s] = uint8_t(6 * g + r - 1);
        }
    }
    // lower: squares below the diagonal numbered in square order.
    int next = 0;
    for (int s = 0; s < 64; ++s)
        if (file_of_sq(s) > rank_of_sq(s))
            t.lower[s] = uint8_t(next++);
    for (int s = 0; s < 64; ++s) {
        if (file_of_sq(s) == rank_of_sq(s))
            t.lower[s] = uint8_t(28 + rank_of_sq(s));
        else if (rank_of_sq(s) > file_of_sq(s))
            t.lower[s] = t.lower[flip_diagonal(s)];
    }
    // ptwist: 47 down to 0 over the file pairs a/h, b/g, c/f, d/e, rank by rank.
    int twist = 47;
    for (int g = 0; g < 4; ++g)
        for (int r = 1; r <= 6; ++r) {
            t.ptwist[8 * r + g] = uint8_t(twist--);
            t.ptwist[8 * r + 7 - g] = uint8_t(twist--);
        }
    for (int j = 0; j < 24; ++j)
        t.invflap[j] = uint8_t((j % 6 + 1) * 8 + j / 6);
    // KK_idx: pairs with the first king off the diagonal, then the set-aside
    // pairs with both kings on it.
    constexpr int triangle_squares[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};
    for (auto& row : t.kk_idx)
        for (auto& v : row)
            v = -1;
    int number = 0;
    int aside_t[21] = {}, aside_s[21] = {}, asides = 0;
    for (int ti = 0; ti < 10; ++ti) {
        const int k = triangle_squares[ti];
        for (int s = 0; s < 64; ++s) {
            const int df = file_of_sq(s) - file_of_sq(k), dr = rank_of_sq(s) - rank_of_sq(k);
            if (df >= -1 && df <= 1 && dr >= -1 && dr <= 1)
                continue;
            if (ti >= 6 && rank_of_sq(s) > file_of_sq(s))
                continue;
            if (ti >= 6 && rank_of_sq(s) == file_of_sq(s)) {
                aside_t[asides] = ti;
                aside_s[asides++] = s;
                continue;
            }
            t.kk_idx[ti][s] = int16_t(number++);
        }
    }
    for (int i = 0; i < asides; ++i)
        t.kk_idx[aside_t[i]][aside_s[i]] = int16_t(number++);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 64; ++j)
            t.binomial[i][j] = choose(j, i + 1);
    for (int k = 0; k < 5; ++k)
        for (int j = 0; j < 24; ++j) {
            uint64_t sum = 0;
            for (int i = (j / 6) * 6; i < j; ++i)
                sum += choose(t.ptwist[t.invflap[i]], k);
            t.pawnidx[k][j] = sum;
            if (j % 6 == 5)
                t.pfactor[k][j / 6] = sum + choose(t.ptwist[t.invflap[j]], k);
        }
    return t;
}

constexpr IndexTables TABLES = build_index_tables();

inline uint32_t read_le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Big-endian 32-bit word at offset `at` of a file of `size` bytes; bytes past
// the end read as zero.
inline uint32_t read_be32(const uint8_t* file, uint64_t size, uint64_t at) {
    uint32_t w = 0;
    if (at + 4 <= size) {
        const uint8_t* p = file + at;
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    }
    for (int i = 0; i < 4; ++i)
        w = (w << 8) | (at + i < size ? file[at + i] : 0);
    return w;
}

// Insertion sort of a few squares.
inline void sort_squares(int* s, int n) {
    for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && s[j - 1] > s[j]; --j)
            std::swap(s[j - 1], s[j]);
}

// Squares of later groups: combinatorial number of each sorted group among
// the squares left free by the men before it.
inline uint64_t encode_groups(const EncInfo& ei, int men, const int* s, int start, int pawn_offset) {
    uint64_t idx = 0;
    for (int i = start; i < men;) {
        const int m = ei.norm[i];
        if (m <= 0)
            break;
        int sorted[TB_MAX_MEN];
        std::copy(s + i, s + i + m, sorted);
        sort_squares(sorted, m);
        uint64_t sub = 0;
        for (int j = 0; j < m; ++j) {
            int q = sorted[j] - pawn_offset;
            for (int k = 0; k < i; ++k)
                q -= s[k] < sorted[j];
            sub += TABLES.binomial[j][q & 63];
        }
        idx += sub * ei.factor[i];
        i += m;
    }
    return idx;
}

} // namespace

const IndexTables& index_tables() { return TABLES; }

uint64_t encode_piece(const EncInfo& ei, uint8_t enc_type, int men, int* s) {
    if (s[0] & 4)
        for (int i = 0; i < men; ++i)
            s[i] ^= 7;
    if (s[0] & 32)
        for (int i = 0; i < men; ++i)
            s[i] ^= 56;
    const int lead = enc_type == 0 ? 3 : 2;
    int i = 0;
    while (i < lead && TABLES.offdiag[s[i]] == 0)
        ++i;
    if (i < lead && TABLES.offdiag[s[i]] > 0)
        for (int j = 0; j < men; ++j)
            s[j] = TABLES.flipdiag[s[j]];

    uint64_t idx;
    if (enc_type == 0) {
        const int a = s[1] > s[0];
        const int b = (s[2] > s[0]) + (s[2] > s[1]);
        if (TABLES.offdiag[s[0]])
            idx = TABLES.triangle[s[0]] * 3906ull + (s[1] - a) * 62ull + uint64_t(s[2] - b);
        else if (TABLES.offdiag[s[1]])
            idx = 23436 + TABLES.diag[s[0]] * 1736ull + TABLES.lower[s[1]] * 62ull + uint64_t(s[2] - b);
        else if (TABLES.offdiag[s[2]])
            idx = 30380 + TABLES.diag[s[0]] * 196ull + (TABLES.diag[s[1]] - a) * 28ull + TABLES.lower[s[2]];
        else
            idx = 31164 + TABLES.diag[s[0]] * 42ull + (TABLES.diag[s[1]] - a) * 6ull + uint64_t(TABLES.diag[s[2]] - b);
    } else {
        idx = uint64_t(TABLES.kk_idx[TABLES.triangle[s[0]]][s[1]]);
    }
    return idx * ei.factor[0] + encode_groups(ei, men, s, lead, 0);
}

int pawn_file_group(int square) {
    const int f = square & 7;
    return f < 4 ? f : 7 - f;
}

void put_leading_pawn_first(int* s, int count) {
    int best = 0;
    for (int i = 1; i < count; ++i)
        if (TABLES.ptwist[s[i]] > TABLES.ptwist[s[best]])
            best = i;
    std::swap(s[0], s[best]);
}

uint64_t encode_pawn(const EncInfo& ei, const TbMaterial& mat, int* s) {
    const int men = mat.men, p0 = mat.pawns[0], p1 = mat.pawns[1];
    if (s[0] & 4)
        for (int i = 0; i < men; ++i)
            s[i] ^= 7;
    // The other leading pawns by ascending twist.
    for (int i = 1; i < p0; ++i)
        for (int j = i + 1; j < p0; ++j)
            if (TABLES.ptwist[s[i]] > TABLES.ptwist[s[j]])
                std::swap(s[i], s[j]);
    uint64_t idx = TABLES.pawnidx[p0 - 1][TABLES.flap[s[0]]];
    for (int i = 1; i < p0; ++i)
        idx += TABLES.binomial[i - 1][TABLES.ptwist[s[i]]];
    idx *= ei.factor[0];
    if (p1 > 0) {
        int sorted[TB_MAX_MEN];
        std::copy(s + p0, s + p0 + p1, sorted);
        sort_squares(sorted, p1);
        uint64_t sub = 0;
        for (int j = 0; j < p1; ++j) {
            int q = sorted[j] - 8;
            for (int k = 0; k < p0; ++k)
                q -= s[k] < sorted[j];
            sub += TABLES.binomial[j][q & 63];
        }
        idx += sub * ei.factor[p0];
    }
    return idx + encode_groups(ei, men, s, p0 + p1, 0);
}

int decompress_pairs(const PairsData& d, uint64_t idx) {
    if (d.single)
        return d.single_value;
    if (idx >= d.tb_size)
        return -1;
    const uint8_t* entry = d.index_table + 6 * (idx >> d.idxbits);
    int64_t lit = int64_t(idx & ((uint64_t(1) << d.idxbits) - 1)) - (int64_t(1) << (d.idxbits - 1));
    uint32_t block = read_le32(entry);
    lit += read_le16(entry + 4);
    if (block >= d.size_entries)
        return -1;
    while (lit < 0) {
        if (block == 0)
            return -1;
        --block;
        lit += int64_t(read_le16(d.size_table + 2 * block)) + 1;
    }
    for (int64_t n; lit > (n = read_le16(d.size_table + 2 * block));) {
        lit -= n + 1;
        if (++block >= d.real_blocks)
            return -1;
    }
    if (block >= d.real_blocks)
        return -1;

    // Canonical codes, longest first; each symbol stands for symlen + 1 values.
    const uint8_t* file = d.file_begin;
    const uint64_t size = d.file_size;
    uint64_t at = d.data_offset + (uint64_t(block) << d.blocksize);
    uint64_t buffer = uint64_t(read_be32(file, size, at)) << 32 | read_be32(file, size, at + 4);
    at += 8;
    int valid = 64;
    uint32_t sym;
    for (;;) {
        const uint32_t w = uint32_t(buffer >> 32);
        int l = d.min_len;
        while (w < d.base[l])
            ++l;
        sym = read_le16(d.offsets + 2 * (l - d.min_len)) + ((w - d.base[l]) >> (32 - l));
        if (sym >= d.num_syms)
            return -1;
        if (lit < int64_t(d.symlen[sym]) + 1)
            break;
        lit -= int64_t(d.symlen[sym]) + 1;
        buffer <<= l;
        valid -= l;
        if (valid <= 32) {
            buffer |= uint64_t(read_be32(file, size, at)) << (32 - valid);
            at += 4;
            valid += 32;
        }
    }
    // Down the pair tree to the leaf holding value number `lit`.
    const uint8_t* sp = d.sympat;
    while (d.symlen[sym] != 0) {
        const uint8_t* p = sp + 3 * sym;
        const uint32_t left = uint32_t(p[0]) | uint32_t(p[1] & 0x0F) << 8;
        if (lit < int64_t(d.symlen[left]) + 1) {
            sym = left;
        } else {
            lit -= int64_t(d.symlen[left]) + 1;
            sym = uint32_t(p[1] >> 4) | uint32_t(p[2]) << 4;
        }
    }
    const uint8_t* p = sp + 3 * sym;
    return int(uint32_t(p[0]) | uint32_t(p[1] & 0x0F) << 8);
}

} // namespace zelk::tb
