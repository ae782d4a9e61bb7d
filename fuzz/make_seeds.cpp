// Makes the seed corpora of the fuzz targets, one folder per target under
// the output folder, from the repository's test data and network and, when
// there, the shared data (book, tables, suites, human games):
//   make_seeds <shared data folder or ""> <repository> <output folder>
// Binary seeds are cut small: a few book keys' entries, networks of a few
// neurons, the smallest real tables.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "book/book.h"
#include "common.h"
#include "core/board.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "core/position.h"
#include "eval/weights.h"
#include "nn/network.h"

using namespace zelk;

namespace {

std::string out_root;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines_of(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

void put(const std::string& target, const std::string& name, const std::string& bytes) {
    const std::string dir = out_root + "/" + target;
    mkdir(dir.c_str(), 0755);
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
}

// The FEN fields of a suite line: the four first words.
std::string fen_fields(const std::string& line) {
    std::string out;
    size_t at = 0;
    for (int field = 0; field < 4 && at != std::string::npos; ++field) {
        const size_t start = line.find_first_not_of(' ', at);
        if (start == std::string::npos)
            break;
        at = line.find(' ', start);
        out += (field ? " " : "") + line.substr(start, at == std::string::npos ? std::string::npos : at - start);
    }
    return out;
}

std::vector<Move> legal_moves(Position& pos) {
    std::vector<Move> moves;
    MoveEntry list[MAX_MOVES];
    gen_all(pos, list);
    for (const MoveEntry* e = list; e->move != END_OF_LIST; ++e)
        if (is_legal(pos, pos.side, e->move))
            moves.push_back(e->move);
    return moves;
}

void fen_and_move_seeds(const std::string& data) {
    std::vector<std::string> fens;
    for (const char* suite : {"perft-standard.epd", "perft-chess960.epd", "openings.epd", "bestmove-40.epd"}) {
        const std::vector<std::string> lines = lines_of(data + "/" + suite);
        for (size_t i = 0; i < lines.size() && i < 40; ++i)
            fens.push_back(fen_fields(lines[i]));
    }
    auto board = std::make_unique<BoardState>();
    board_init(*board);
    Position& pos = board->pos;
    std::mt19937 rng(7);
    for (size_t i = 0; i < fens.size(); ++i) {
        put("fen", "suite-" + std::to_string(i), fens[i] + " 0 1");
        // A short random game from the position, its moves in turn in each
        // of the four written forms.
        pos_from_fen(pos, fens[i].c_str());
        std::string text = fens[i] + "\n";
        for (int ply = 0; ply < 12; ++ply) {
            const std::vector<Move> moves = legal_moves(pos);
            if (moves.empty())
                break;
            const Move m = moves[rng() % moves.size()];
            char forms[4][MOVE_TEXT_SIZE];
            move_to_texts(pos, m, forms[0], forms[1], forms[2], forms[3]);
            text += std::string(forms[ply % 4]) + "\n";
            make_move(pos, m);
        }
        put("move", "game-" + std::to_string(i), text);
    }
}

void epd_seeds(const std::string& data, const std::string& shared) {
    std::vector<std::string> suites = {data + "/tactics-wac.epd", data + "/bestmove-40.epd"};
    for (const char* s : {"/suites/wac-half.epd", "/suites/sts-sample.epd", "/suites/bk.epd"})
        suites.push_back(shared + s);
    int n = 0;
    for (const std::string& suite : suites) {
        const std::vector<std::string> lines = lines_of(suite);
        for (size_t i = 0; i < lines.size() && i < 48; i += 8) {
            std::string chunk;
            for (size_t j = i; j < i + 8 && j < lines.size(); ++j)
                chunk += lines[j] + "\n";
            put("epd", "suite-" + std::to_string(n++), chunk);
        }
    }
}

// Games of a PGN file, each with its tag lines, in groups of `per_file`.
void pgn_seeds(const std::string& path, const std::string& prefix, int per_file, int files) {
    const std::string text = read_file(path);
    std::vector<std::string> games;
    for (size_t at = 0; at < text.size();) {
        size_t next = text.find("\n[Event ", at + 1);
        next = next == std::string::npos ? text.size() : next + 1;
        games.push_back(text.substr(at, next - at));
        at = next;
    }
    for (int f = 0; f < files && size_t(f * per_file) < games.size(); ++f) {
        std::string chunk;
        for (int g = f * per_file; g < (f + 1) * per_file && size_t(g) < games.size(); ++g)
            chunk += games[g];
        if (chunk.size() > 16384)
            chunk.resize(16384);
        for (const char* target : {"pgn", "pgn_jobs"})
            put(target, prefix + std::to_string(f), chunk);
    }
}

// Books of the real book's entries for a few positions: the start, the
// positions after its book moves, and the line of its heaviest moves.
void book_seeds(const std::string& shared) {
    BookFile book((shared + "/books/gnuchess-public-domain.bin").c_str());
    if (!book.entries)
        return;
    auto board = std::make_unique<BoardState>();
    board_init(*board);
    Position& pos = board->pos;
    std::map<uint64_t, std::vector<BookEntry>> start_and_replies, main_line;
    BookEntry run[BOOK_KEY_ENTRIES];
    auto take = [&](std::map<uint64_t, std::vector<BookEntry>>& into) {
        const int n = book_find(book, book_key(pos), run);
        into[book_key(pos)].assign(run, run + n);
        return n;
    };
    pos_from_fen(pos, START_FEN);
    const int n = take(start_and_replies);
    const std::vector<BookEntry> first(run, run + n);
    for (const BookEntry& e : first) {
        const Move m = book_move_to_engine(e.move, pos);
        if (!is_pseudo_legal(pos, m) || !is_legal(pos, pos.side, m))
            continue;
        make_move(pos, m);
        take(start_and_replies);
        unmake_move(pos);
    }
    for (int ply = 0; ply < 16 && take(main_line) > 0; ++ply) {
        const Move m = book_move_to_engine(main_line[book_key(pos)][0].move, pos);
        if (!is_pseudo_legal(pos, m) || !is_legal(pos, pos.side, m))
            break;
        make_move(pos, m);
    }
    auto write = [](const std::string& name, const std::map<uint64_t, std::vector<BookEntry>>& entries) {
        std::string bytes;
        unsigned char b[BOOK_ENTRY_BYTES];
        for (const auto& [key, list] : entries)
            for (const BookEntry& e : list) {
                book_entry_encode(e, b);
                bytes.append(reinterpret_cast<const char*>(b), sizeof b);
            }
        put("book", name, bytes);
    };
    write("start-and-replies", start_and_replies);
    write("main-line", main_line);
    std::map<uint64_t, std::vector<BookEntry>> head;
    BookEntry e;
    for (int64_t i = 0; i < 64 && book.read(i, e); ++i)
        head[e.key].push_back(e);
    write("head", head);
}

// Small networks in the file format, random weights from a fixed seed.
void network_seeds(const std::string& repo) {
    struct Shape {
        uint16_t inputs_a, inputs_b, hidden1, hidden2, outputs;
    };
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> weight(-0.5f, 0.5f);
    auto network = [&](const Shape& s, int16_t count) {
        std::string bytes;
        auto u16 = [&](uint16_t v) { bytes += char(v & 255), bytes += char(v >> 8); };
        u16(0), u16(uint16_t(count)), u16(s.inputs_a), u16(s.inputs_b), u16(s.hidden1), u16(s.hidden2), u16(s.outputs);
        u16(0), u16(0);
        const uint64_t params = uint64_t(s.inputs_a + s.inputs_b) * s.hidden1 + s.hidden1 * s.hidden2 +
                                s.hidden2 * s.outputs + s.outputs + NN_EXTRA_COUNT;
        for (uint64_t i = 0; i < params; ++i) {
            const uint32_t v = std::bit_cast<uint32_t>(weight(rng));
            for (int b = 0; b < 4; ++b)
                bytes += char((v >> (8 * b)) & 255);
        }
        return bytes;
    };
    put("network", "one-neuron", network({896, 0, 1, 1, 1}, 0));
    put("network", "six-heads", network({896, 0, 3, 2, 6}, 1));
    put("network", "extended", network({1792, 0, 1, 1, 1}, 1));
    put("network", "second-inputs", network({896, 3, 2, 1, 2}, 1));
    put("network", "two-networks", network({896, 0, 1, 1, 2}, 2) + network({896, 0, 1, 1, 1}, 0));
    // King-bucket networks ("ZKN2"), width 16: one bucket, and two with the mirror.
    auto kb_network = [&](int buckets, int outputs, int flags, int activation) {
        std::string params;
        auto p16 = [&](int v) { params += char(v & 255), params += char((v >> 8) & 255); };
        for (int i = 0; i < (buckets * 768 + 1) * 16; ++i)
            p16(int(rng() % 81) - 40);
        for (int i = 0; i < outputs * 32; ++i)
            p16(int(rng() % 241) - 120);
        for (int o = 0; o < outputs; ++o)
            p16(int(rng() % 2001) - 1000), p16(o ? 0 : 0);
        uint32_t sum = 2166136261u;
        for (char c : params)
            sum = (sum ^ uint8_t(c)) * 16777619u;
        std::string bytes = "ZKN2";
        auto u16 = [&](int v) { bytes += char(v & 255), bytes += char((v >> 8) & 255); };
        auto u32 = [&](uint32_t v) { u16(int(v & 0xffff)), u16(int(v >> 16)); };
        u16(1), u16(128), u16(buckets), u16(16), u16(outputs);
        bytes += char(activation), bytes += char(flags);
        u16(255), u16(64), u16(400), u16(0);
        u32(uint32_t(params.size())), u32(sum);
        bytes.resize(64, '\0');
        for (int sq = 0; sq < 64; ++sq)
            bytes += char(sq >= 16 && buckets > 1 ? 1 : 0);
        return bytes + params;
    };
    put("network", "kb-one-bucket", kb_network(1, 1, 0, 0));
    put("network", "kb-two-buckets", kb_network(2, 3, 1, 1));
    const std::string shipped = read_file(repo + "/nets/nn.bin");
    if (!shipped.empty())
        put("network", "shipped", shipped);
}

// Real tables whose two files together stay small, each as "name size" and
// the WDL file, then the DTZ file.
void table_seeds(const std::string& shared) {
    const std::string dir = shared + "/syzygy";
    DIR* d = opendir(dir.c_str());
    if (!d)
        return;
    std::vector<std::string> names;
    while (const dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.size() > 5 && n.substr(n.size() - 5) == ".rtbw")
            names.push_back(n.substr(0, n.size() - 5));
    }
    closedir(d);
    for (const std::string& name : names) {
        const std::string wdl = read_file(dir + "/" + name + ".rtbw"), dtz = read_file(dir + "/" + name + ".rtbz");
        if (wdl.size() + dtz.size() > 30000)
            continue;
        put("tablebase", name, name + " " + std::to_string(wdl.size()) + "\n" + wdl + dtz);
    }
}

// The built-in weights as a parameter file, in its two line forms.
void params_seeds() {
    std::string plain, fset;
    for (int i = 0; i < eval_params.count; ++i) {
        const EvalWeight& w = eval_params.records[i];
        const int mg = int(w.mg), eg = int(w.eg);
        const std::string values = std::to_string(mg) + ", " + std::to_string(eg);
        if (i < 200)
            plain += std::string(w.name) + ", " + values + "\n";
        if (i < 120)
            fset += "fset(\"" + std::string(w.name) + "\", " + values + ");\n";
    }
    put("params", "plain", plain);
    put("params", "fset", fset);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <shared data folder or \"\"> <repository> <output folder>\n", argv[0]);
        return 2;
    }
    const std::string shared = argv[1], repo = argv[2];
    out_root = argv[3];
    if (mkdir(out_root.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror(argv[3]);
        return 1;
    }
    fuzz::init_engine();
    const std::string data = repo + "/tests/data";
    fen_and_move_seeds(data);
    epd_seeds(data, shared);
    pgn_seeds(data + "/selfplay-20.pgn", "selfplay-", 1, 12);
    pgn_seeds(data + "/selfplay-chess960.pgn", "chess960-", 1, 8);
    if (!shared.empty()) {
        pgn_seeds(shared + "/suites/games-human.pgn", "human-", 4, 16);
        book_seeds(shared);
        table_seeds(shared);
    }
    network_seeds(repo);
    params_seeds();
    return 0;
}
