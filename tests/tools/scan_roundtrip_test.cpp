// Round trip on real match games: "-scan_pgn2" on 20 self-play games played
// by fastchess (tests/tools/make_selfplay_pgn.sh), and every written line
// checked against the games replayed on the position core.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>

#include "core/attacks.h"
#include "core/makemove.h"
#include "helpers.h"
#include "pgn/pgn.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

const std::string GAMES = std::string(ZELK_TEST_DATA) + "/selfplay-20.pgn";

struct Seen {
    int score;            // the mover's score in centipawns from the comment
    double result;        // the game result for the side to move
    int halfmove;
    int ply;
};

// fastchess comments: "+0.87/13 0.203s" or "+M5/12 0.1s".
int fastchess_score(const std::string& comment) {
    static const std::regex score(R"(^([+-]?)(M?)(\d+(?:\.\d+)?)/)");
    std::smatch m;
    if (!std::regex_search(comment, m, score))
        return -30000;
    if (m[2] == "M")
        return m[1] == "-" ? -9000 : 9000;
    const double pawns = std::stod(m[3]) * (m[1] == "-" ? -1 : 1);
    return int(std::lround(pawns * 100));
}

// Every position before a move of the games, by its EPD.
std::multimap<std::string, Seen> replay_games(int& games) {
    std::multimap<std::string, Seen> seen;
    std::FILE* f = std::fopen(GAMES.c_str(), "r");
    EXPECT_NE(f, nullptr);
    if (!f)
        return seen;
    pgn::GameReader reader(f, 255, 1000);
    pgn::Game g;
    Board b;
    games = 0;
    while (reader.next(g)) {
        ++games;
        const std::string r = g.tag("Result");
        const double white = r == "1-0" ? 1.0 : r == "0-1" ? 0.0 : 0.5;
        EXPECT_EQ(r, g.result);
        EXPECT_TRUE(pgn::set_start_position(g, b.pos));
        for (size_t i = 0; i < g.moves.size(); ++i) {
            const Move m = pgn::decode_move(b.pos, g.moves[i].text);
            EXPECT_NE(m, NO_MOVE) << g.moves[i].text;
            if (m == NO_MOVE)
                break;
            seen.insert({b.fen(), {fastchess_score(g.moves[i].comment), b.pos.side == WHITE ? white : 1 - white,
                                   b.pos.halfmove, int(i)}});
            make_move(b.pos, m);
        }
    }
    std::fclose(f);
    return seen;
}

TEST(ScanRoundTrip, SelfPlayGamesToScoredPositions) {
    int games = 0;
    const auto seen = replay_games(games);
    ASSERT_EQ(games, 20);

    const std::string dir = make_temp_dir();
    EngineRun run = run_engine({"-use_hce", "-scan_pgn2", GAMES, "-o", "out.epd"}, "", dir);
    std::ifstream in(dir + "/out.epd");
    static const std::regex line_format(R"((\S+ [wb] \S+ \S+) ce (-?\d+); gr (1\.0|0\.5|0\.0);)");
    int written = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty())
            continue;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, line_format)) << line;
        ++written;
        const std::string epd = m[1];
        const int ce = std::stoi(m[2]);
        const double gr = std::stod(m[3]);
        // A legal position that reads back as written.
        Board b(epd.c_str());
        EXPECT_EQ(b.fen(), epd);
        EXPECT_NE(b.pos.king_sq[WHITE], NO_SQUARE);
        EXPECT_NE(b.pos.king_sq[BLACK], NO_SQUARE);
        const int them = b.pos.side ^ 1;
        EXPECT_FALSE(is_attacked(b.pos, b.pos.king_sq[them], b.pos.side)) << line;
        EXPECT_FALSE(is_attacked(b.pos, b.pos.king_sq[b.pos.side], them)) << "in check: " << line;
        // A position of the games with this score and the result seen from its side to move.
        bool found = false;
        auto [first, last] = seen.equal_range(epd);
        for (auto it = first; it != last; ++it) {
            const Seen& s = it->second;
            if (s.score == ce && s.result == gr && s.halfmove < 26 && s.ply < 280 && !(s.ply < 20 && ce == 0))
                found = true;
        }
        EXPECT_TRUE(found) << line;
    }
    EXPECT_EQ(run.lines().back(), "games= 20, positions= " + std::to_string(written));
    // Every game's last four plies and the in-check and book positions are left out.
    EXPECT_GT(written, 2000);
    EXPECT_LT(written, int(seen.size()) - 4 * 20);
}

} // namespace
} // namespace zelk::test
