// Syzygy table files: the registry of available material signatures, the
// mapped files, lazy parsing of win/draw/loss tables, the distance-to-zero
// cache, and the index and decompression scheme shared by both kinds.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace zelk::tb {

constexpr int TB_MAX_MEN = 6;
constexpr int TBMAX_PIECE = 254;
constexpr int TBMAX_PAWN = 256;
constexpr int TB_HASH_ROWS = 1024;
constexpr int TB_HASH_SLOTS = 5;
constexpr int DTZ_CACHE_SLOTS = 64;
constexpr int TB_PATH_MAX = 255;          // longest full file name accepted

// Material-key multipliers by table colour and piece kind (index = kind, 1 pawn .. 5 queen).
constexpr uint64_t MATERIAL_MULTIPLIER[2][6] = {
    {0, 0xEC0ADE190C0F6003ull, 0xD2FB81862830191Full, 0xAADC1A2BE446234Dull, 0x985DEB9FC49333F9ull,
     0xA3EC1ABC71E90863ull},
    {0, 0xA24F0F571BB202E7ull, 0xBAEB854CD3259441ull, 0xD5A4C95928F2FBE3ull, 0xFD7866B439B94495ull,
     0xD6E4E47D24962951ull},
};

// Material key of men counts [colour][kind]; `mirror` exchanges the colours.
inline uint64_t material_key(const int counts[2][7], bool mirror) {
    uint64_t key = 0;
    for (int c = 0; c < 2; ++c)
        for (int k = 1; k <= 5; ++k)
            key += uint64_t(counts[c][k]) * MATERIAL_MULTIPLIER[c ^ int(mirror)][k];
    return key;
}

// A whole file mapped read-only and shared; unmapped with its owner.
struct MappedFile {
    const uint8_t* data = nullptr;
    size_t size = 0;
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile() { unmap(); }
    void unmap();
};

// Decoding state of one table side (one file group of it for pawn tables).
struct PairsData {
    const uint8_t* index_table = nullptr;  // 6 bytes per entry
    const uint8_t* size_table = nullptr;   // 16 bits per block
    const uint8_t* offsets = nullptr;      // 16 bits per code length from min_len
    const uint8_t* sympat = nullptr;       // 3 bytes per symbol
    const uint8_t* file_begin = nullptr;   // blocks are read by file offset, bounded by the size
    uint64_t file_size = 0;
    uint64_t data_offset = 0;              // first compressed block
    std::vector<uint8_t> symlen;           // values per symbol minus one
    std::array<uint32_t, 33> base{};       // left-justified code bases by length
    uint64_t tb_size = 0;
    uint32_t real_blocks = 0;
    uint32_t size_entries = 0;             // real blocks plus padding
    uint32_t num_syms = 0;
    uint8_t idxbits = 0, blocksize = 0, min_len = 0, max_len = 0;
    uint8_t flags = 0;                     // decoding-header flags (DTZ bits)
    bool single = false;
    uint16_t single_value = 0;
};

// Piece list, grouping and multipliers of one table side (and file group).
struct EncInfo {
    uint8_t pieces[TB_MAX_MEN] = {};       // table piece codes in encoding order
    uint8_t norm[TB_MAX_MEN] = {};
    uint64_t factor[TB_MAX_MEN] = {};
    PairsData pairs;
};

// Fields a signature has before any file is read.
struct TbMaterial {
    uint64_t key = 0;                      // of the signature as named
    uint64_t mirrored_key = 0;
    char name[16] = {};
    uint8_t men = 0;
    bool symmetric = false;
    bool has_pawns = false;
    uint8_t enc_type = 0;                  // tables without pawns
    uint8_t lead_colour = 0;               // table colour whose pawns lead
    uint8_t pawns[2] = {};                 // leading colour's count first
    uint8_t counts[2][7] = {};             // men by table colour and kind
};

enum TableState : uint8_t { TABLE_REGISTERED = 0, TABLE_READY = 1, TABLE_DROPPED = 2 };

struct TbEntry {
    TbMaterial mat;
    std::atomic<uint8_t> state{TABLE_REGISTERED};
    MappedFile file;
    EncInfo enc[4][2];                     // [file group][side]; group 0 only without pawns
};

struct DtzEntry {
    TbMaterial mat;
    MappedFile file;
    EncInfo enc[4];                        // [file group], the one stored side each
    const uint8_t* map = nullptr;
    uint32_t map_idx[4][4] = {};           // first value of each sub-map, bytes from `map`
    uint32_t map_len[4][4] = {};
};

struct TbHashSlot {
    uint64_t key = 0;
    TbEntry* entry = nullptr;
};

struct DtzSlot {
    uint64_t key1 = 0, key2 = 0;
    std::unique_ptr<DtzEntry> entry;
};

// Everything one initialisation sets up; replaced as a whole by the next.
struct TbRegistry {
    std::unique_ptr<char[]> path;          // private copy, split at ':'
    std::vector<const char*> dirs;
    std::unique_ptr<TbEntry[]> piece_entries;
    std::unique_ptr<TbEntry[]> pawn_entries;
    int piece_count = 0, pawn_count = 0;
    int largest = 0;                       // TB_LARGEST
    std::array<std::array<TbHashSlot, TB_HASH_SLOTS>, TB_HASH_ROWS> hash{};
    std::array<DtzSlot, DTZ_CACHE_SLOTS> dtz_cache{};
    std::mutex load_mutex;                 // TB_mutex
};
extern TbRegistry registry;

// (Re)initialises from a ':'-separated directory list; "" or "<empty>"
// registers nothing. Returns the number of registered tables.
int init_tablebases(const char* path);

// The largest number of men among the registered tables (0: none).
inline int tb_largest() { return registry.largest; }

// The registered entry of a material key, or null.
TbEntry* find_entry(uint64_t key);

// The entry mapped and parsed, loading it on first use; null when the table
// is missing, dropped or corrupt (then reported once on standard error).
TbEntry* get_wdl_table(uint64_t key);

// The DTZ table of a material key through the 64-slot cache, or null.
// Not thread-safe: only the root probe uses it.
DtzEntry* get_dtz_table(uint64_t key);

// Open read-only descriptor of name+suffix in the first directory holding it
// as a regular file, or -1.
int open_tb(const char* name, const char* suffix);

// Parsing of mapped files (false: corrupt, including a wrong magic).
bool parse_wdl(TbEntry& e);
bool parse_dtz(DtzEntry& e);

// Index of a placement; squares in list order, modified in place.
uint64_t encode_piece(const EncInfo& ei, uint8_t enc_type, int men, int* squares);
uint64_t encode_pawn(const EncInfo& ei, const TbMaterial& mat, int* squares);
// File group of the leading pawn in squares[0] (files a/h 0 ... d/e 3).
int pawn_file_group(int square);
// Moves the leading pawn (largest twist) among squares[0..count-1] to the front.
void put_leading_pawn_first(int* squares, int count);

// Stored value at idx, or -1 when the table data does not decode.
int decompress_pairs(const PairsData& d, uint64_t idx);

// Constant tables of the index scheme, for the tests.
struct IndexTables {
    int8_t offdiag[64];
    uint8_t flipdiag[64], triangle[64], lower[64], diag[64], flap[64], ptwist[64], invflap[24];
    int16_t kk_idx[10][64];
    uint64_t binomial[5][64];
    uint64_t pawnidx[5][24];
    uint64_t pfactor[5][4];
};
const IndexTables& index_tables();

} // namespace zelk::tb
