// The data jobs: "-mktune" on hand-made lines, and zelk-tune's self-play
// "-mktraindata" (its sample filter, seeds, start files and bad input).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "core/attacks.h"
#include "core/notation.h"
#include "helpers.h"
#include "pgn/pgn.h"
#include "run_engine.h"
#include "tools/tuning.h"

namespace zelk::test {
namespace {

// Skipped lines, a dropped contradiction, a position in check, the three
// kinds of line, and a position without kings that ends the job.
const char* const INPUT =
    "# comment\n"
    "  6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - ce 10;\n"
    "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - -\n"
    "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - ce 123;\n"
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce -200; gr 1.0;\n"
    "4k3/8/8/8/8/8/4r3/4K3 w - - ce 0; gr 0.5;\n"
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 20; gr 0.5;\n"
    "8/8/8/8/8/8/8/8 w - - ce 0;\n"
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n";

TEST(TuneData, BothVariantsOnHandMadeLines) {
    const std::string dir = make_temp_dir();
    std::ofstream(dir + "/in.epd") << INPUT;
    EngineRun run = run_engine({"-use_hce", "-d", "3", "-mktune2", "in.epd", "-o", "out.epd"}, "", dir);
    auto lines = run.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Creating file out.epd");
    EXPECT_EQ(lines[lines.size() - 2], "8/8/8/8/8/8/8/8 w - - ce 0;");
    EXPECT_EQ(lines.back(), "positions= 6, inconsistent= 1, in check= 1, searched= 3, disagreeing= 0, written= 3");
    auto out = read_lines(dir + "/out.epd");
    ASSERT_EQ(out.size(), 3u);
    // Mate in one: the search score, with or without an input score.
    EXPECT_EQ(out[0], "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - sc 9998;");
    EXPECT_EQ(out[1], "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - sc 9998;");
    EXPECT_TRUE(fits(out[2], "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 20; sc #; gr 0.5;")) << out[2];

    // Variant 1 writes the end of the principal variation: after the
    // mating move black is to move, so the scores turn over.
    run = run_engine({"-use_hce", "-d", "3", "-mktune1", "in.epd", "-o", "out1.epd"}, "", dir);
    out = read_lines(dir + "/out1.epd");
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], "R5k1/5ppp/8/8/8/8/5PPP/6K1 b - - -9998;");
    EXPECT_EQ(out[1], "R5k1/5ppp/8/8/8/8/5PPP/6K1 b - - ce -123;");
    std::vector<std::string> f;
    ASSERT_TRUE(fits(out[2], "* * * * ce #; sc #; gr 0.5;", &f)) << out[2];
    EXPECT_TRUE((f[1] == "w" || f[1] == "b") && std::abs(std::stoi(f[4])) == 20) << out[2];

    // An output named like the input does nothing; a missing input says so.
    run = run_engine({"-use_hce", "-d", "3", "-mktune2", "in.epd", "-o", "in.epd"}, "", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.find("Creating file"), std::string::npos);
    EXPECT_EQ(read_lines(dir + "/in.epd").size(), 9u);
    run = run_engine({"-use_hce", "-d", "3", "-mktune2", "missing.epd", "-o", "out.epd"}, "", dir);
    EXPECT_EQ(run.lines().back(), "info string cannot open missing.epd");
}

bool sample(const char* fen, const char* move, int score = 0) {
    Board b(fen);
    Move m = NO_MOVE;
    EXPECT_EQ(parse_move(b.pos, move, m), 1) << move;
    return is_training_sample(b.pos, m, score);
}

TEST(TrainData, QuietFilter) {
    const char* open = "r3k2r/pppq1ppp/2n5/3pp3/3PP1n1/2N5/PPPQ1PPP/R3K2R w KQkq e6 0 1";
    EXPECT_TRUE(sample(open, "a2a3"));
    EXPECT_TRUE(sample(open, "e1c1"));            // castling flags are no promotion
    EXPECT_FALSE(sample(open, "d4e5"));           // pawn takes
    EXPECT_FALSE(sample(open, "c3d5"));           // piece takes
    EXPECT_FALSE(sample(open, "a2a3", -9990));    // a mate score
    EXPECT_FALSE(sample("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6"));   // en passant
    EXPECT_FALSE(sample("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b8=N"));      // promotions
    EXPECT_FALSE(sample("4k3/8/8/8/8/8/8/4K2r w - - 0 1", "e1e2"));       // in check
}

EngineRun run_tune(const std::vector<std::string>& args, const std::string& dir) {
    std::vector<std::string> all = {"-use_hce"};
    all.insert(all.end(), args.begin(), args.end());
    return run_engine(all, "", dir, 120, ZELK_TUNE_BINARY);
}

// Every line: a playable position with "ce" and "gr" as the scan job writes them.
std::vector<ScoredLine> parse_data(const std::string& path) {
    std::vector<ScoredLine> lines;
    for (const std::string& row : read_lines(path)) {
        ScoredLine line;
        EXPECT_TRUE(read_scored_line(row, line)) << row;
        lines.push_back(line);
    }
    return lines;
}

TEST(TrainData, SameSeedSameFileOtherSeedOtherGames) {
    const std::string dir = make_temp_dir();
    auto run = [&](const char* seed, const char* out) {
        return run_tune({"-n", "2000", "-seed", seed, "-o", out, "-mktraindata", "startpos", "150"}, dir);
    };
    const EngineRun a = run("7", "a.epd");
    ASSERT_EQ(a.status, 0) << a.output;
    run("7", "b.epd");
    run("8", "c.epd");
    const std::string first = read_text(dir + "/a.epd");
    EXPECT_EQ(first, read_text(dir + "/b.epd"));
    EXPECT_NE(first, read_text(dir + "/c.epd"));
    const std::vector<ScoredLine> lines = parse_data(dir + "/a.epd");
    EXPECT_GE(lines.size(), 150u);
    for (const ScoredLine& l : lines) {
        Position pos{};
        pos_from_fen(pos, l.fen.c_str());
        EXPECT_TRUE(pgn::is_playable(pos)) << l.fen;
        EXPECT_FALSE(is_attacked(pos, pos.king_sq[pos.side], pos.side ^ 1)) << l.fen;
    }
}

// White is a queen up: the games are adjudicated for White, so every line
// has a positive score and result 1 with White to move, and the opposite
// with Black to move. Two workers write as much as asked between them.
TEST(TrainData, ResultsFromTheSideToMove) {
    const std::string dir = make_temp_dir();
    std::ofstream(dir + "/starts.epd") << "rnb1kbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -\n"
                                          "rnb1kbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -\n";
    const EngineRun r = run_tune({"-n", "2000", "-threads", "2", "-o", "q.epd", "-mktraindata", "starts.epd", "40"}, dir);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<ScoredLine> lines = parse_data(dir + "/q.epd");
    ASSERT_GE(lines.size(), 40u);
    for (const ScoredLine& l : lines) {
        const bool white = l.fen.find(" w ") != std::string::npos;
        EXPECT_EQ(l.gr, white ? 1.0 : 0.0) << l.fen;
        EXPECT_EQ(l.ce > 0, white) << l.fen << " ce " << l.ce;
    }
}

TEST(TrainData, BadInputSaysWhy) {
    const std::string dir = make_temp_dir();
    std::ofstream(dir + "/empty.epd") << "not a position\n";
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"-mktraindata", "empty.epd", "10"}, "no start positions in empty.epd"},
        {{"-mktraindata", "startpos", "0"}, "nothing to do"},
        {{"-o", "no/such/dir/x.epd", "-mktraindata", "startpos", "10"}, "cannot open no/such/dir/x.epd"},
    };
    for (const auto& [args, message] : cases) {
        const EngineRun r = run_tune(args, dir);
        EXPECT_EQ(r.status, 0) << message;
        EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
    }
    // The normal build refuses the job.
    const EngineRun plain = run_engine({"-mktraindata", "startpos", "10"}, "", dir, 30);
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.output, "Need to compile with 'make ttune'\n\n");
}

} // namespace
} // namespace zelk::test
