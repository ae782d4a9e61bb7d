#include "tb_helpers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/attacks.h"
#include "helpers.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbsearch.h"

namespace zelk::test {

std::string syzygy_dir() { return std::filesystem::is_directory(ZELK_SYZYGY_DIR) ? ZELK_SYZYGY_DIR : ""; }

bool use_real_tables() {
    const std::string dir = syzygy_dir();
    if (dir.empty())
        return false;
    if (tb::tb_largest() == 0 || tb::registry.dirs.size() != 1 || dir != tb::registry.dirs[0]) {
        std::fflush(stdout);
        tb::init_tablebases(dir.c_str());
    }
    return tb::tb_largest() > 0;
}

int quiet_init(const std::string& path) {
    testing::internal::CaptureStdout();
    const int n = tb::init_tablebases(path.c_str());
    testing::internal::GetCapturedStdout();
    return n;
}

tb::TbPosition tb_from_fen(const char* fen) { return tb::tb_position(Board(fen).pos, true); }

std::string tb_to_fen(const tb::TbPosition& p) {
    Board b("8/8/8/8/8/8/8/8 w - -");
    const Bitboard kinds[6] = {p.pawns, p.knights, p.bishops, p.rooks, p.queens, p.kings};
    for (int k = 0; k < 6; ++k)
        for (Bitboard men = kinds[k]; men;) {
            const int sq = pop_lsb(men);
            pos_put_piece(b.pos, (p.white & bit(sq)) ? WHITE : BLACK, PAWN + k, sq);
        }
    b.pos.side = p.turn ? WHITE : BLACK;
    b.pos.ep_square = p.ep ? p.ep : NO_SQUARE;
    b.pos.halfmove = p.rule50;
    return b.fen(true);
}

int probe_value(const tb::TbPosition& p, bool dtz) {
    int success;
    const int v = dtz ? tb::probe_dtz(p, success) : tb::probe_wdl(p, success);
    return success ? v : 99;
}

std::vector<std::string> real_table_names() {
    std::vector<std::string> names;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(ZELK_SYZYGY_DIR, missing))
        if (entry.path().extension() == ".rtbw")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

tb::TbPosition random_position(const std::string& name, std::mt19937_64& rng) {
    const bool swap = rng() & 1;
    for (;;) {
        tb::TbPosition p{};
        Bitboard* kinds[] = {&p.pawns, &p.knights, &p.bishops, &p.rooks, &p.queens, &p.kings};
        Bitboard occ = 0;
        bool white = !swap;
        for (char c : name) {
            if (c == 'v') {
                white = swap;
                continue;
            }
            int sq;
            do {
                sq = int(rng() % 64);
            } while ((occ & bit(sq)) || (c == 'P' && (sq < 8 || sq >= 56)));
            occ |= bit(sq);
            (white ? p.white : p.black) |= bit(sq);
            *kinds[std::string("PNBRQK").find(c)] |= bit(sq);
        }
        p.turn = rng() & 1;
        if (tb::tb_is_valid(p))
            return p;
    }
}

int tb_samples(int fallback) {
    const char* s = std::getenv("ZELK_TB_SAMPLES");
    return s ? std::max(1, std::atoi(s)) : fallback;
}

} // namespace zelk::test
