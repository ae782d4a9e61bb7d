#include "helpers.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "search/perft.h"

namespace zelk::test {

std::vector<PerftCase> load_perft_suite(const char* file_name) {
    std::ifstream in(std::string(ZELK_TEST_DATA) + "/" + file_name);
    if (!in)
        throw std::runtime_error(std::string("missing test data ") + file_name);
    std::vector<PerftCase> suite;
    std::string line;
    while (std::getline(in, line)) {
        size_t semi = line.find(';');
        if (semi == std::string::npos)
            continue;
        PerftCase c{line.substr(0, semi), {}};
        std::istringstream rest(line.substr(semi));
        std::string tag;
        uint64_t n;
        while (rest >> tag >> n)
            c.counts.push_back(n);
        suite.push_back(c);
    }
    return suite;
}

std::vector<Move> legal_moves(Position& pos) {
    MoveEntry list[MAX_MOVES];
    gen_all(pos, list);
    std::vector<Move> moves;
    for (MoveEntry* e = list; e->move != END_OF_LIST; ++e)
        if (is_legal(pos, pos.side, e->move))
            moves.push_back(e->move);
    return moves;
}

void play(Position& pos, const char* moves) {
    std::istringstream in(moves);
    std::string text;
    while (in >> text) {
        Move m;
        if (!parse_move(pos, text.c_str(), m))
            throw std::runtime_error("unreadable move " + text);
        make_move(pos, m);
        pos.owner->search_ply = 1;   // a game's moves: lists stay at ply 1
    }
}

uint64_t perft_count(Board& b, int depth) {
    b.thread->nodes = 0;
    perft(*b.thread, b.pos.side, b.thread->search_ply, depth);
    return b.thread->nodes;
}

Move find_move(Position& pos, const std::string& text) {
    for (Move m : legal_moves(pos))
        if (text == coord(pos, m))
            return m;
    return NO_MOVE;
}

std::string coord(const Position& pos, Move m) {
    char buffer[MOVE_TEXT_SIZE];
    move_to_coord(pos, pos.side, m, buffer);
    return buffer;
}

std::string flip_fen(const std::string& fen) {
    std::istringstream in(fen);
    std::string board, side, castling = "-", ep = "-", flipped;
    in >> board >> side >> castling >> ep;
    auto swap_case = [](std::string s) {
        for (char& c : s)
            c = char(std::isalpha(static_cast<unsigned char>(c)) ? c ^ 32 : c);
        return s;
    };
    std::istringstream rows(board);
    for (std::string rank; std::getline(rows, rank, '/');)
        flipped = swap_case(rank) + (flipped.empty() ? "" : "/") + flipped;
    if (ep != "-")
        ep[1] = char('1' + ('8' - ep[1]));
    return flipped + (side == "w" ? " b " : " w ") + (castling == "-" ? castling : swap_case(castling)) + " " + ep;
}

int perft_depth(int fallback) {
    const char* env = std::getenv("ZELK_PERFT_DEPTH");
    return env ? std::atoi(env) : fallback;
}

std::string noise_bytes(size_t count, uint32_t seed) {
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 16);
    }
    return bytes;
}

bool fits(const std::string& text, const std::string& pattern, std::vector<std::string>* fields) {
    auto digit = [&](size_t i) { return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); };
    size_t t = 0;
    for (size_t p = 0; p < pattern.size(); ++p) {
        const size_t start = t;
        if (pattern[p] == '#') {
            t += t < text.size() && text[t] == '-';
            if (!digit(t))
                return false;
            while (digit(t))
                ++t;
        } else if (pattern[p] == '?') {
            if (!digit(t++))
                return false;
        } else if (pattern[p] == '*') {
            const char stop = p + 1 < pattern.size() ? pattern[p + 1] : ' ';
            while (t < text.size() && text[t] != stop && !std::isspace(static_cast<unsigned char>(text[t])))
                ++t;
            if (t == start)
                return false;
        } else {
            if (t >= text.size() || text[t++] != pattern[p])
                return false;
            continue;
        }
        if (fields)
            fields->push_back(text.substr(start, t - start));
    }
    return t == text.size();
}

bool read_scored_line(const std::string& line, ScoredLine& out) {
    std::vector<std::string> f;
    if (!fits(line, "* * * * ce #; gr *;", &f) || (f[1] != "w" && f[1] != "b") ||
        (f[5] != "1.0" && f[5] != "0.5" && f[5] != "0.0"))
        return false;
    out = {f[0] + " " + f[1] + " " + f[2] + " " + f[3], std::stoi(f[4]), std::stod(f[5])};
    return true;
}

} // namespace zelk::test
