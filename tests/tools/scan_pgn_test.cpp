// PGN scanning against the built engine: each comment rule, each mode on
// games worked out by hand, bad input, and "-scan_pgn2" on 20 fastchess
// games (tests/tools/make_selfplay_pgn.sh) checked against their replay.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <tuple>

#include "core/attacks.h"
#include "core/makemove.h"
#include "helpers.h"
#include "net_file.h"
#include "pgn/pgn.h"
#include "run_engine.h"
#include "tools/scan_pgn.h"

namespace zelk::test {
namespace {

std::string last_line(const EngineRun& run) {
    auto lines = run.lines();
    return lines.empty() ? "" : lines.back();
}

struct Scanned {
    EngineRun run;
    std::vector<std::string> out, best;
};

Scanned scan(const std::string& pgn, int mode) {
    const std::string dir = make_temp_dir();
    write_bytes(dir + "/in.pgn", pgn);
    Scanned s;
    s.run = run_engine({"-use_hce", "-scan_pgn" + std::to_string(mode), "in.pgn", "-o", "out.epd"}, "", dir);
    s.out = read_lines(dir + "/out.epd");
    s.best = read_lines(dir + "/tmpX.epd");
    return s;
}

TEST(CommentScore, EachRule) {
    const struct {
        const char* comment;
        bool black;
        int score;
    } cases[] = {
        {"+0.50/3 book", true, 0}, {"eval 35, depth 3", true, -35}, {"eval , depth 3", false, SCORE_UNREADABLE},
        {"eval 12 +3.00/5", false, 12}, {"-1.50/10 0.1s", true, -150},
        {"+0.29/5", false, 29},   // rounded, not truncated to 28
        {"+M5/12 0.1s", false, 9000}, {"-M3/7 0.1s", true, -9000}, {"a good move", false, SCORE_UNREADABLE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(comment_score(c.comment, c.black), c.score) << c.comment;
}

// Ruy Lopez, white wins: book moves, "/" scores, an "eval" score of a black
// move, a comment without a score and a move without a comment.
const std::string GAME_A =
    "[Event \"A\"]\n[Result \"1-0\"]\n\n"
    "1. e4 {book} e5 {book} 2. Nf3 {+0.30/10 0.1s} Nc6 {-0.25/10 0.1s} 3. Bb5 {+0.35/10 0.1s}\n"
    "a6 {-0.30/10 0.1s} 4. Ba4 {+0.40/10 0.1s} Nf6 {-0.35/10 0.1s} 5. O-O {+0.45/10 0.1s}\n"
    "Be7 {eval 30} 6. Re1 {no score here} b5 7. Bb3 {+0.50/9 0.1s} d6 {-0.40/9 0.1s}\n"
    "8. c3 {+0.55/9 0.1s} O-O {-0.50/9 0.1s} 1-0\n\n";
// Lost on time: nothing of it is written.
const std::string GAME_B =
    "[Event \"B\"]\n[Termination \"time forfeit\"]\n[Result \"0-1\"]\n\n"
    "1. d4 {+0.20/10 0.1s} d5 {-0.20/10 0.1s} 2. c4 {+0.20/10 0.1s} e6 {-0.20/10 0.1s}\n"
    "3. Nc3 {+0.20/10 0.1s} Nf6 {-0.20/10 0.1s} 0-1\n\n";
// Black wins from a set-up position: a halfmove clock near its limit and
// positions in check.
const std::string GAME_C =
    "[Event \"C\"]\n[FEN \"4k3/8/8/8/8/8/4P3/R3K3 w - - 25 1\"]\n[Result \"0-1\"]\n\n"
    "1. Ra8+ {+5.00/10 0.1s} Kd7 {-5.00/10 0.1s} 2. e4 {+5.10/10 0.1s} Kd6 {-5.00/9 0.1s}\n"
    "3. Ra6+ {+4.00/8 0.1s} Kc5 {-4.00/8 0.1s} 4. Ra5+ {+3.00/8 0.1s} Kb4 {-3.00/8 0.1s}\n"
    "5. Ra1 {+2.00/8 0.1s} Kb3 {-2.00/8 0.1s} 0-1\n\n";

// A draw of 28 plies whose every score is 0: only plies 20 on count.
std::string game_d() {
    std::string text = "[Event \"D\"]\n[Result \"1/2-1/2\"]\n\n";
    for (int i = 0; i < 7; ++i)
        text += std::to_string(2 * i + 1) + ". Nf3 {0.00/5 0.1s} Nf6 {0.00/5 0.1s} " + std::to_string(2 * i + 2) +
                ". Ng1 {0.00/5 0.1s} Ng8 {0.00/5 0.1s}\n";
    return text + "1/2-1/2\n\n";
}

TEST(ScanPgn, Mode2PositionsWithScoreAndResult) {
    Scanned s = scan(GAME_A + GAME_B + GAME_C + game_d(), 2);
    EXPECT_EQ(last_line(s.run), "games= 3, positions= 15");
    const std::vector<std::string> expected = {
        // A: the two book moves and the last four plies are left out, and
        // the two plies without a score.
        "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 ce 30; gr 1.0;",
        "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - ce -25; gr 0.0;",
        "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - ce 35; gr 1.0;",
        "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - ce -30; gr 0.0;",
        "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq - ce 40; gr 1.0;",
        "r1bqkbnr/1ppp1ppp/p1n5/4p3/B3P3/5N2/PPPP1PPP/RNBQK2R b KQkq - ce -35; gr 0.0;",
        "r1bqkb1r/1ppp1ppp/p1n2n2/4p3/B3P3/5N2/PPPP1PPP/RNBQK2R w KQkq - ce 45; gr 1.0;",
        "r1bqkb1r/1ppp1ppp/p1n2n2/4p3/B3P3/5N2/PPPP1PPP/RNBQ1RK1 b kq - ce -30; gr 0.0;",
        // C: black in check after Ra8+ and Ra6+; halfmove clock 27 before e4.
        "4k3/8/8/8/8/8/4P3/R3K3 w - - ce 500; gr 0.0;",
        "R7/3k4/8/8/4P3/8/8/4K3 b - e3 ce -500; gr 1.0;",
        "R7/8/3k4/8/4P3/8/8/4K3 w - - ce 400; gr 0.0;",
        // D: scores of 0 count from ply 20 on.
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 0; gr 0.5;",
        "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq - ce 0; gr 0.5;",
        "rnbqkb1r/pppppppp/5n2/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq - ce 0; gr 0.5;",
        "rnbqkb1r/pppppppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - ce 0; gr 0.5;",
        "",
    };
    EXPECT_EQ(s.out, expected);
    EXPECT_TRUE(s.best.empty());
}

TEST(ScanPgn, Mode3StopsAfterALargeScore) {
    Scanned s = scan(GAME_A + GAME_C, 3);
    EXPECT_EQ(last_line(s.run), "games= 2, positions= 13");
    // Book moves are written with score 0, then every ply of A up to Be7...
    ASSERT_EQ(s.out.size(), 14u);
    EXPECT_EQ(s.out[0], "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - bm e4; ce 0;");
    EXPECT_EQ(s.out[9], "r1bqkb1r/1ppp1ppp/p1n2n2/4p3/B3P3/5N2/PPPP1PPP/RNBQ1RK1 b kq - bm Be7; ce -30;");
    // ...where a comment without a score is beyond 500 in size: the game stops.
    EXPECT_EQ(s.out[10], "r1bqk2r/1pppbppp/p1n2n2/4p3/B3P3/5N2/PPPP1PPP/RNBQ1RK1 w kq - bm Re1; ce -29999;");
    // C: the check position is left out; 5.10 ends the game.
    EXPECT_EQ(s.out[11], "4k3/8/8/8/8/8/4P3/R3K3 w - - bm Ra8+; ce 500;");
    EXPECT_EQ(s.out[12], "R7/3k4/8/8/8/8/4P3/4K3 w - - bm e4; ce 510;");
}

TEST(ScanPgn, Mode4RookAndPawnAgainstRook) {
    const std::string game_e =
        "[Event \"E\"]\n[FEN \"r7/8/4k3/8/4P3/8/4K3/R7 w - - 0 1\"]\n[Result \"1-0\"]\n\n"
        "1. Ra6+ {+1.00/10 0.1s} Kf7 {-0.90/10 0.1s} 2. Rxa8 {+9.00/10 0.1s} Kg6 {-9.00/10 0.1s} 1-0\n\n";
    Scanned s = scan(GAME_A + game_e, 4);
    EXPECT_EQ(last_line(s.run), "games= 2, positions= 3");
    const std::vector<std::string> expected = {
        "r7/8/4k3/8/4P3/8/4K3/R7 w - - bm Ra6+; ce 100; tune 0.64566;",
        "r7/8/R3k3/8/4P3/8/4K3/8 b - - bm Kf7; ce -90; tune 0.36819;",
        "r7/5k2/R7/8/4P3/8/4K3/8 w - - bm Rxa8; ce 900; tune 0.99550;",
        "",
    };
    EXPECT_EQ(s.out, expected);
}

TEST(ScanPgn, Mode1ListingWithMistakeAndReply) {
    // Knight shuffles; the opponent's score after ply 12 (Nf3) jumps from 0
    // to 1.00 one, three and seven plies later: Nf3 is the mistake, Nf6 the
    // punishing reply.
    std::string text = "[Event \"m\"]\n[Round \"7\"]\n[White \"a\"]\n[Result \"1/2-1/2\"]\n\n";
    // The first plies: a book move, an "eval" score of black's, no comment.
    const char* const moves[] = {"Nf3", "Nf6", "Ng1", "Ng8"}, *const first[] = {"{book}", "{eval 25}", ""};
    for (int ply = 0; ply < 24; ++ply) {
        const bool up = ply == 13 || ply == 15 || ply == 19;
        text += (ply % 2 ? "" : std::to_string(ply / 2 + 1) + ". ") + moves[ply % 4] + " " +
                (ply < 3 ? first[ply] : up ? "{+1.00/5 0.1s}" : "{0.00/5 0.1s}") + "\n";
    }
    text += "1/2-1/2\n";
    Scanned s = scan(text, 1);
    EXPECT_EQ(last_line(s.run), "games= 1, positions= 2");
    ASSERT_EQ(s.out.size(), 32u);
    EXPECT_EQ(s.out[2], "[Tag \"game_1\"]");
    EXPECT_EQ(s.out[6], "      Nf6     { -0.25}");
    EXPECT_EQ(s.out[17], "  7.  Nf3    ? {  0.00}");
    EXPECT_EQ(s.out[18], "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - am Nf3;");
    EXPECT_EQ(s.out[19], "      Nf6    ! {  1.00}");
    EXPECT_EQ(s.out[20], "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq - bm Nf6;");
    EXPECT_EQ(s.out[31], "");
    EXPECT_EQ(s.best, (std::vector<std::string>{"rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq - bm Nf6;"}));
}

// Files that cannot be opened are named; without "-o" the positions go to
// tmpX.epd, which is also the best-move file. Input built to break readers:
// every mode must finish and count. Mode 3 stops a long game at ply 201 (the
// reader's own cap: pgn_test).
TEST(ScanPgn, BadFilesAndHostileAndLongInput) {
    const std::string dir = make_temp_dir();
    write_bytes(dir + "/in.pgn", GAME_A);
    for (const auto& [in, out, named] : {std::tuple{"missing.pgn", "out.epd", "missing.pgn"},
                                         std::tuple{"in.pgn", "no/such/dir/out.epd", "no/such/dir/out.epd"}}) {
        const EngineRun run = run_engine({"-use_hce", "-scan_pgn2", in, "-o", out}, "", dir);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(last_line(run), std::string("info string cannot open ") + named);
        EXPECT_FALSE(std::ifstream(dir + "/out.epd").good());
    }
    EXPECT_EQ(last_line(run_engine({"-use_hce", "-scan_pgn2", "in.pgn"}, "", dir)), "games= 1, positions= 8");
    EXPECT_EQ(read_lines(dir + "/tmpX.epd").size(), 9u);
    std::string text = "[Event \"long\"]\n[Site \"" + std::string(5000, 's') + "\"]\n[Result \"1-0\"]\n\n";
    text += "1. e4 {" + std::string(5000, 'c') + " +0.50/3} e5 {+0.10/3}\n";
    text += std::string(5000, 'x') + "\n";
    // Binary noise, then a comment left open to the end of the file.
    text += noise_bytes(20000, 12345) + "\n[Event \"open\"]\n[Result \"0-1\"]\n\n1. d4 {+0.30/4} d5 {never closed\n";
    for (int mode = 1; mode <= 4; ++mode) {
        Scanned s = scan(text, mode);
        EXPECT_EQ(s.run.status, 0) << "mode " << mode;
        EXPECT_TRUE(last_line(s.run).starts_with("games= ")) << "mode " << mode << ": " << last_line(s.run);
    }
    std::string shuffle = "[Event \"800\"]\n[Result \"1/2-1/2\"]\n\n";
    for (int i = 0; i < 400; ++i)
        shuffle += "Nf3 {+0.01/1} Nf6 {-0.01/1} Ng1 {+0.01/1} Ng8 {-0.01/1}\n";
    EXPECT_EQ(last_line(scan(shuffle + "1/2-1/2\n", 3).run), "games= 1, positions= 201");
}

const std::string GAMES = std::string(ZELK_TEST_DATA) + "/selfplay-20.pgn";

// The lines mode 2 may write for the games: each position before a move, not
// in check, with a halfmove clock below 26 and a ply below 280, as "EPD ce N;
// gr R;" with its comment's score (not a 0 before ply 20) and the result for
// its side to move. Counts the games and every position before a move.
std::set<std::string> writable_lines(int& games, int& positions) {
    std::set<std::string> lines;
    std::FILE* f = std::fopen(GAMES.c_str(), "r");
    EXPECT_NE(f, nullptr);
    if (!f)
        return lines;
    pgn::GameReader reader(f, 255, 1000);
    pgn::Game g;
    Board b;
    while (reader.next(g)) {
        ++games;
        EXPECT_EQ(g.result, g.result_tag);
        const char* for_white = g.result == "1-0" ? "1.0" : g.result == "0-1" ? "0.0" : "0.5";
        const char* for_black = g.result == "1-0" ? "0.0" : g.result == "0-1" ? "1.0" : "0.5";
        EXPECT_TRUE(pgn::set_start_position(g, b.pos));
        for (size_t i = 0; i < g.moves.size(); ++i, ++positions) {
            const Move m = pgn::decode_move(b.pos, g.moves[i].text);
            EXPECT_NE(m, NO_MOVE) << g.moves[i].text;
            if (m == NO_MOVE)
                break;
            const int score = comment_score(g.moves[i].comment, false);
            if (b.pos.halfmove < 26 && i < 280 && !(i < 20 && score == 0) &&
                !is_attacked(b.pos, b.pos.king_sq[b.pos.side], b.pos.side ^ 1))
                lines.insert(b.fen() + " ce " + std::to_string(score) + "; gr " +
                             (b.pos.side == WHITE ? for_white : for_black) + ";");
            make_move(b.pos, m);
        }
    }
    std::fclose(f);
    return lines;
}

TEST(ScanRoundTrip, SelfPlayGamesToScoredPositions) {
    int games = 0, positions = 0;
    const std::set<std::string> writable = writable_lines(games, positions);
    ASSERT_EQ(games, 20);
    const std::string dir = make_temp_dir();
    const EngineRun run = run_engine({"-use_hce", "-scan_pgn2", GAMES, "-o", "out.epd"}, "", dir);
    int written = 0;
    for (const std::string& line : read_lines(dir + "/out.epd")) {
        if (line.empty())
            continue;
        ++written;
        EXPECT_TRUE(writable.contains(line)) << line;
    }
    EXPECT_EQ(last_line(run), "games= 20, positions= " + std::to_string(written));
    // Every game's last four plies are left out too.
    EXPECT_GT(written, 2000);
    EXPECT_LT(written, positions - 4 * 20);
}

} // namespace
} // namespace zelk::test
