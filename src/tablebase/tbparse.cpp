// Reading a mapped table file into its decode records. Every offset is
// checked against the file size, so a damaged file is refused here and
// probes of a loaded table stay inside the mapping.
#include <cstring>

#include "tablebase/tbcore.h"

namespace zelk::tb {

namespace {

constexpr uint32_t WDL_MAGIC = 0x5D23E871;
constexpr uint32_t DTZ_MAGIC = 0xA50C66D7;

inline uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A read cursor over the file that refuses to step past its end.
struct Cursor {
    const uint8_t* file;
    uint64_t size;
    uint64_t at;
    bool has(uint64_t n) const { return at <= size && n <= size - at; }
    const uint8_t* here() const { return file + at; }
    void align(uint64_t m) { at = (at + m - 1) / m * m; }
};

bool magic_ok(const MappedFile& f, uint32_t magic) { return f.size >= 5 && le32(f.data) == magic; }

// The list holds exactly the signature's men, like codes together, and
// starts with the men that form the leading group.
bool list_ok(const uint8_t* list, const TbMaterial& mat) {
    int seen[16] = {};
    for (int i = 0; i < mat.men; ++i) {
        const int code = list[i];
        const int kind = code & 7;
        if (kind < 1 || kind > 6 || code > 14)
            return false;
        if (i > 0 && code != list[i - 1] && seen[code])
            return false;
        ++seen[code];
    }
    for (int code = 1; code <= 14; ++code)
        if ((code & 7) != 0 && (code & 7) != 7 && seen[code] != mat.counts[code >> 3][code & 7])
            return false;
    if (mat.has_pawns) {
        const int lead = mat.lead_colour * 8 + 1, other = (mat.lead_colour ^ 1) * 8 + 1;
        for (int i = 0; i < mat.pawns[0]; ++i)
            if (list[i] != lead)
                return false;
        for (int i = mat.pawns[0]; i < mat.pawns[0] + mat.pawns[1]; ++i)
            if (list[i] != other)
                return false;
    } else if (mat.enc_type == 0) {
        for (int i = 0; i < 3; ++i)
            if (seen[list[i]] != 1)
                return false;
    } else {
        if ((list[0] & 7) != 6 || (list[1] & 7) != 6)
            return false;
    }
    return true;
}

// norm and factor of one side; returns the table size, 0 when the order
// nibbles do not fit the signature.
uint64_t set_encoding(EncInfo& ei, const TbMaterial& mat, int group, int order, int order2) {
    const IndexTables& t = index_tables();
    const int n = mat.men;
    std::memset(ei.norm, 0, sizeof ei.norm);
    std::memset(ei.factor, 0, sizeof ei.factor);
    int i;
    if (mat.has_pawns) {
        ei.norm[0] = mat.pawns[0];
        if (mat.pawns[1])
            ei.norm[mat.pawns[0]] = mat.pawns[1];
        i = mat.pawns[0] + mat.pawns[1];
        if ((mat.pawns[1] > 0) != (order2 != 15))
            return 0;
    } else {
        ei.norm[0] = mat.enc_type == 0 ? 3 : 2;
        i = ei.norm[0];
        order2 = -1;
    }
    for (int j = i; j < n; j += ei.norm[j])
        for (int k = j; k < n && ei.pieces[k] == ei.pieces[j]; ++k)
            ++ei.norm[j];
    int free = 64 - i;
    uint64_t f = 1;
    bool lead_done = false, second_done = !mat.has_pawns || mat.pawns[1] == 0;
    for (int k = 0; i < n || k == order || k == order2; ++k) {
        if (k == order) {
            ei.factor[0] = f;
            f *= mat.has_pawns ? t.pfactor[mat.pawns[0] - 1][group] : (mat.enc_type == 0 ? 31332 : 462);
            lead_done = true;
        } else if (k == order2) {
            ei.factor[mat.pawns[0]] = f;
            f *= t.binomial[mat.pawns[1] - 1][48 - mat.pawns[0]];
            second_done = true;
        } else {
            const int m = ei.norm[i];
            if (m < 1 || m > 5 || free < m)
                return 0;
            ei.factor[i] = f;
            f *= t.binomial[m - 1][free];
            free -= m;
            i += m;
        }
    }
    return lead_done && second_done ? f : 0;
}

// Decoding header at the cursor; advances past it. `max_leaf` bounds the
// leaf values (WDL tables hold 0..4).
bool setup_pairs(Cursor& c, PairsData& d, uint64_t tb_size, uint32_t max_leaf) {
    d.tb_size = tb_size;
    d.file_begin = c.file;
    d.file_size = c.size;
    if (!c.has(2))
        return false;
    const uint8_t* h = c.here();
    d.flags = h[0];
    if (h[0] & 0x80) {
        d.single = true;
        d.single_value = h[1];
        c.at += 2;
        return d.single_value <= max_leaf;
    }
    if (!c.has(12))
        return false;
    d.blocksize = h[1];
    d.idxbits = h[2];
    d.real_blocks = le32(h + 4);
    d.size_entries = d.real_blocks + h[3];
    d.max_len = h[8];
    d.min_len = h[9];
    if (d.blocksize < 1 || d.blocksize > 24 || d.idxbits < 1 || d.idxbits > 31 || d.min_len < 1 || d.max_len > 32 ||
        d.min_len > d.max_len || d.real_blocks == 0 || d.real_blocks > (1u << 30))
        return false;
    const int lengths = d.max_len - d.min_len + 1;
    if (!c.has(12 + 2 * uint64_t(lengths)))
        return false;
    d.offsets = h + 10;
    d.num_syms = le16(h + 10 + 2 * lengths);
    const uint64_t header = 12 + 2 * uint64_t(lengths) + 3 * uint64_t(d.num_syms) + (d.num_syms & 1);
    if (d.num_syms == 0 || !c.has(header))
        return false;
    d.sympat = h + 12 + 2 * lengths;
    c.at += header;

    // Code bases: longer codes have smaller values; left-justified in 32 bits.
    d.base.fill(0);
    uint64_t base[33] = {};
    for (int l = d.max_len - 1; l >= d.min_len; --l) {
        const int64_t v = (int64_t(base[l + 1]) + int64_t(le16(d.offsets + 2 * (l - d.min_len))) -
                           int64_t(le16(d.offsets + 2 * (l + 1 - d.min_len)))) / 2;
        if (v < 0 || v >= (int64_t(1) << l))
            return false;
        base[l] = uint64_t(v);
    }
    for (int l = d.min_len; l <= d.max_len; ++l)
        d.base[l] = uint32_t(base[l] << (32 - l));
    if (d.base[d.max_len] != 0)
        return false;

    // symlen over the pair tree; children may come after their parent.
    d.symlen.assign(d.num_syms, 0);
    std::vector<uint8_t> state(d.num_syms, 0);  // 0 new, 1 open, 2 done
    std::vector<uint32_t> stack;
    auto left = [&](uint32_t s) { return uint32_t(d.sympat[3 * s]) | uint32_t(d.sympat[3 * s + 1] & 0x0F) << 8; };
    auto right = [&](uint32_t s) { return uint32_t(d.sympat[3 * s + 1] >> 4) | uint32_t(d.sympat[3 * s + 2]) << 4; };
    for (uint32_t root = 0; root < d.num_syms; ++root) {
        if (state[root] == 2)
            continue;
        stack.push_back(root);
        while (!stack.empty()) {
            const uint32_t s = stack.back();
            if (right(s) == 0xFFF) {
                if (left(s) > max_leaf)
                    return false;
                d.symlen[s] = 0;
                state[s] = 2;
                stack.pop_back();
                continue;
            }
            const uint32_t a = left(s), b = right(s);
            if (a >= d.num_syms || b >= d.num_syms)
                return false;
            if (state[a] == 2 && state[b] == 2) {
                const uint32_t len = uint32_t(d.symlen[a]) + d.symlen[b] + 1;
                if (len > 255)
                    return false;
                d.symlen[s] = uint8_t(len);
                state[s] = 2;
                stack.pop_back();
                continue;
            }
            if (state[s] == 1)
                return false;  // a cycle through this symbol
            state[s] = 1;
            if (state[a] != 2) {
                if (state[a] == 1)
                    return false;
                stack.push_back(a);
            }
            if (state[b] != 2 && b != a) {
                if (state[b] == 1)
                    return false;
                stack.push_back(b);
            }
        }
    }
    return true;
}

// After the headers (and DTZ maps): index tables, size tables, data areas.
bool lay_out_areas(Cursor& c, PairsData* const* units, int count) {
    for (int u = 0; u < count; ++u) {
        PairsData& d = *units[u];
        if (d.single)
            continue;
        const uint64_t entries = (d.tb_size + (uint64_t(1) << d.idxbits) - 1) >> d.idxbits;
        if (!c.has(6 * entries))
            return false;
        d.index_table = c.here();
        c.at += 6 * entries;
    }
    for (int u = 0; u < count; ++u) {
        PairsData& d = *units[u];
        if (d.single)
            continue;
        if (!c.has(2 * uint64_t(d.size_entries)))
            return false;
        d.size_table = c.here();
        c.at += 2 * uint64_t(d.size_entries);
        uint64_t values = 0;
        for (uint32_t b = 0; b < d.real_blocks; ++b)
            values += le16(d.size_table + 2 * b) + 1;
        if (values != d.tb_size)
            return false;
    }
    for (int u = 0; u < count; ++u) {
        PairsData& d = *units[u];
        if (d.single)
            continue;
        c.align(64);
        const uint64_t bytes = uint64_t(d.real_blocks) << d.blocksize;
        if (!c.has(bytes))
            return false;
        d.data_offset = c.at;
        c.at += bytes;
    }
    c.align(64);
    return c.at + 16 == c.size;
}

// The piece-order records: the lists and order nibbles of every side and
// file group; returns false when one does not fit the signature.
bool read_records(Cursor& c, const TbMaterial& mat, EncInfo (*enc)[2], int sides, uint64_t sizes[4][2]) {
    const int groups = mat.has_pawns ? 4 : 1;
    const int pp = mat.has_pawns && mat.pawns[1] > 0;
    for (int g = 0; g < groups; ++g) {
        if (!c.has(1 + pp + mat.men))
            return false;
        const uint8_t* r = c.here();
        for (int side = 0; side < sides; ++side) {
            const int shift = 4 * side;
            EncInfo& ei = enc[g][side];
            for (int i = 0; i < mat.men; ++i)
                ei.pieces[i] = uint8_t((r[1 + pp + i] >> shift) & 0x0F);
            if (!list_ok(ei.pieces, mat))
                return false;
            const int order = (r[0] >> shift) & 0x0F;
            const int order2 = pp ? (r[1] >> shift) & 0x0F : 15;
            sizes[g][side] = set_encoding(ei, mat, g, order, order2);
            if (sizes[g][side] == 0)
                return false;
        }
        c.at += 1 + pp + mat.men;
    }
    c.align(2);
    return true;
}

bool flags_ok(const MappedFile& f, const TbMaterial& mat) {
    const uint8_t b = f.data[4];
    return (b >> 4) == mat.men && bool(b & 2) == mat.has_pawns && bool(b & 1) == !mat.symmetric;
}

} // namespace

bool parse_wdl(TbEntry& e) {
    const TbMaterial& mat = e.mat;
    if (!magic_ok(e.file, WDL_MAGIC) || !flags_ok(e.file, mat))
        return false;
    Cursor c{e.file.data, e.file.size, 5};
    const int sides = mat.symmetric ? 1 : 2;
    const int groups = mat.has_pawns ? 4 : 1;
    uint64_t sizes[4][2] = {};
    if (!read_records(c, mat, e.enc, sides, sizes))
        return false;
    PairsData* units[8];
    int count = 0;
    for (int g = 0; g < groups; ++g)
        for (int side = 0; side < sides; ++side) {
            units[count++] = &e.enc[g][side].pairs;
            if (!setup_pairs(c, e.enc[g][side].pairs, sizes[g][side], 4))
                return false;
        }
    return lay_out_areas(c, units, count);
}

bool parse_dtz(DtzEntry& e) {
    const TbMaterial& mat = e.mat;
    if (!magic_ok(e.file, DTZ_MAGIC) || !flags_ok(e.file, mat))
        return false;
    Cursor c{e.file.data, e.file.size, 5};
    const int groups = mat.has_pawns ? 4 : 1;
    EncInfo enc[4][2];
    uint64_t sizes[4][2] = {};
    if (!read_records(c, mat, enc, 1, sizes))
        return false;
    PairsData* units[4];
    for (int g = 0; g < groups; ++g) {
        std::memcpy(e.enc[g].pieces, enc[g][0].pieces, sizeof enc[g][0].pieces);
        std::memcpy(e.enc[g].norm, enc[g][0].norm, sizeof enc[g][0].norm);
        std::memcpy(e.enc[g].factor, enc[g][0].factor, sizeof enc[g][0].factor);
        units[g] = &e.enc[g].pairs;
        if (!setup_pairs(c, e.enc[g].pairs, sizes[g][0], 0xFFF))
            return false;
    }
    // Value maps: wins, losses, cursed wins, blessed losses per table.
    e.map = c.here();
    const uint64_t map_start = c.at;
    for (int g = 0; g < groups; ++g) {
        const PairsData& d = e.enc[g].pairs;
        if (!(d.flags & 2))
            continue;
        const bool wide = d.flags & 16;
        if (wide)
            c.align(2);
        for (int i = 0; i < 4; ++i) {
            const uint64_t unit = wide ? 2 : 1;
            if (!c.has(unit))
                return false;
            const uint32_t n = wide ? le16(c.here()) : *c.here();
            c.at += unit;
            if (!c.has(unit * n))
                return false;
            e.map_idx[g][i] = uint32_t(c.at - map_start);
            e.map_len[g][i] = n;
            c.at += unit * n;
        }
    }
    c.align(2);
    return lay_out_areas(c, units, groups);
}

} // namespace zelk::tb
