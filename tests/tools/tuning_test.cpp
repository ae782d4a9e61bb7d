// The tuning tools: "-mktune" on hand-made lines; zelk-tune's self-play
// "-mktraindata" (its sample filter, seeds, start files and bad input); the
// piece-square tuner (its model against the engine's evaluation, known shifts
// recovered from self-labelled data, its parameter file, bad input); and the
// SPSA list, every name in it an option of the tuning build.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "../eval/eval_setup.h"
#include "core/attacks.h"
#include "core/makemove.h"
#include "core/notation.h"
#include "eval/evaluate.h"
#include "eval/weights.h"
#include "helpers.h"
#include "pgn/pgn.h"
#include "run_engine.h"
#include "tools/ttune_tuner.h"
#include "tools/tuning.h"

namespace zelk::test {
namespace {

using namespace pst_tuner;

// Runs the tuning build in `dir` with the blank-separated `args`.
EngineRun run_tune(const std::string& dir, const std::string& args) {
    std::vector<std::string> words = {"-use_hce"};
    std::istringstream in(args);
    for (std::string w; in >> w;)
        words.push_back(w);
    return run_engine(words, "", dir, 120, ZELK_TUNE_BINARY);
}

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
        return run_tune(dir, std::string("-n 2000 -seed ") + seed + " -o " + out + " -mktraindata startpos 150");
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
    const EngineRun r = run_tune(dir, "-n 2000 -threads 2 -o q.epd -mktraindata starts.epd 40");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<ScoredLine> lines = parse_data(dir + "/q.epd");
    ASSERT_GE(lines.size(), 40u);
    for (const ScoredLine& l : lines) {
        const bool white = l.fen.find(" w ") != std::string::npos;
        EXPECT_EQ(l.gr, white ? 1.0 : 0.0) << l.fen;
        EXPECT_EQ(l.ce > 0, white) << l.fen << " ce " << l.ce;
    }
}

// Positions from the test openings, each followed by random legal play
// (which with `greedy` takes when it can every other move), taken every
// `every` plies: openings, middle games and thin endings with the kings on
// either half.
std::vector<std::string> sample_positions(int openings, uint32_t seed, bool greedy, int every) {
    std::ifstream in(ZELK_TEST_DATA "/openings.epd");
    std::vector<std::string> fens;
    std::mt19937 rng(seed);
    std::string line;
    for (int i = 0; i < openings && std::getline(in, line); ++i) {
        Board b(line.c_str());
        for (int ply = 1; ply <= 90; ++ply) {
            std::vector<Move> moves = legal_moves(b.pos);
            if (moves.empty())
                break;
            std::vector<Move> captures;
            for (Move m : moves)
                if (b.pos.board[m & 63])
                    captures.push_back(m);
            if (greedy && !captures.empty() && ply % 2 == 0)
                moves = captures;
            make_move(b.pos, moves[rng() % moves.size()]);
            b.pos.owner->search_ply = 1;
            if (ply % every == 0)
                fens.push_back(b.fen());
        }
    }
    return fens;
}

class Tuner : public ::testing::Test {
protected:
    void SetUp() override {
        init_eval_for_tests();
        dir_ = make_temp_dir();
    }
    void TearDown() override { init_eval_for_tests(); }

    // The lines, each followed by `suffix`, as the file `name` in the test's folder.
    std::string write_lines(const std::string& name, const std::vector<std::string>& lines, const char* suffix = "") {
        const std::string path = dir_ + "/" + name;
        std::ofstream out(path);
        for (const std::string& l : lines)
            out << l << suffix << "\n";
        return path;
    }
    std::string dir_;
};

TEST_F(Tuner, ModelEqualsTheEngineUnderRandomTables) {
    std::vector<std::string> fens = sample_positions(80, 7, true, 15);
    // Thin endings where the scale factor depends on who is ahead.
    for (const char* f : {"8/5k2/8/2b5/8/2P2B2/5K2/8 w - -", "8/8/4k3/8/8/2b5/8/R3K3 w - -",
                          "k7/8/8/8/P7/8/8/2B1K3 w - -", "7k/8/8/8/7p/8/8/4K1b1 b - -",
                          "8/2k5/8/8/8/3BB3/8/1K1n4 w - -"})
        fens.push_back(f);
    TuneData data;
    ASSERT_TRUE(load_samples(write_lines("model.epd", fens, " ce 0; gr 0.5;").c_str(), 0.0, true, data));
    ASSERT_GE(data.samples.size(), 180u);
    // Kings on the same and on different halves (the two table sets) occur.
    int same_half = 0;
    for (const Position& p : data.boards)
        same_half += (file_of(p.king_sq[WHITE]) < 4) == (file_of(p.king_sq[BLACK]) < 4);
    EXPECT_GT(same_half, 20);
    EXPECT_LT(same_half, int(data.boards.size()) - 20);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> shift(-40, 40);
    for (int round = 0; round < 3; ++round) {
        TableValues values = data.start;
        for (auto& v : values)
            for (int16_t& half : v)
                half = int16_t(half + shift(rng));
        apply_tables(values);
        for (size_t i = 0; i < data.samples.size(); ++i)
            ASSERT_EQ(model_eval(data, data.samples[i], values), engine_eval(data.boards[i]))
                << board_text(data.boards[i]);
    }
}

// Labels from the engine under a changed table: the tuner finds the changes
// again, and the file it writes loads back into exactly its tables.
TEST_F(Tuner, RecoversShiftedEntriesAndWritesThem) {
    const std::vector<std::string> fens = sample_positions(240, 3, false, 10);
    TuneData data;
    ASSERT_TRUE(load_samples(write_lines("plain.epd", fens, " ce 0;").c_str(), 1.0, false, data));
    // The most used open knight and bishop entries, shifted by +25 and -25.
    std::vector<int> uses(TABLE_ENTRIES, 0);
    for (const EntryUse& u : data.uses)
        uses[u.entry] += std::abs(u.count);
    const TableValues defaults = current_tables();
    TableValues truth = defaults;
    std::vector<int> shifted;
    for (int table : {PST_N1, PST_B1, PST_N2, PST_B2}) {
        for (int pick = 0; pick < 2; ++pick) {
            int best = -1;
            for (int r = 0; r < 64; ++r) {
                const int e = table * 64 + r;
                if (!entry_is_held(table, r) && truth[e] == defaults[e] && (best < 0 || uses[e] > uses[best]))
                    best = e;
            }
            truth[best][0] = int16_t(truth[best][0] + (pick ? -25 : 25));
            shifted.push_back(best);
        }
    }
    apply_tables(truth);
    std::vector<std::string> labelled;
    for (const std::string& f : fens) {
        Board b(f.c_str());
        const int white = engine_eval(b.pos);
        labelled.push_back(f + " ce " + std::to_string(b.pos.side == WHITE ? white : -white) + ";");
    }
    apply_tables(defaults);
    const std::string file = write_lines("labelled.epd", labelled);
    const std::string output = dir_ + "/tuned.txt";
    // The fit, then the local search with the full evaluation from the
    // defaults: each finds the shifts and moves no entry outside group 2 or held.
    TuningJob job{TuningKind::TUNE, file.c_str(), 400, 100, 2, output.c_str(), 0, ""};
    TuneReport report;
    for (const TuningKind kind : {TuningKind::TUNE, TuningKind::TUNE2}) {
        SCOPED_TRACE(kind == TuningKind::TUNE ? "tune" : "tune2");
        apply_tables(defaults);
        job.kind = kind;
        job.count = kind == TuningKind::TUNE ? 400 : 15;
        report = TuneReport{};
        std::string message;
        ::testing::internal::CaptureStdout();
        const bool ok = run_tuner(job, report, message);
        ::testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ok) << message;
        EXPECT_EQ(report.positions, int(data.samples.size()));
        EXPECT_LT(report.error_after, report.error_before / 10);
        if (kind == TuningKind::TUNE) {
            EXPECT_NEAR(report.error_after, report.error_model, 1e-6);
        }
        for (int e : shifted)
            EXPECT_NEAR(report.tables[e][0], truth[e][0], 3) << PST_NAMES[e / 64] << " " << e % 64;
        for (int e = 0; e < TABLE_ENTRIES; ++e)
            if (!table_in_group(e / 64, 2) || entry_is_held(e / 64, e % 64)) {
                EXPECT_EQ(report.tables[e], defaults[e]) << PST_NAMES[e / 64] << " " << e % 64;
            }
    }
    // The file holds every record; loaded, the tables are the tuner's and
    // every other weight keeps its value.
    std::vector<EvalWeight> before(eval_params.records, eval_params.records + eval_params.count);
    std::snprintf(eval_settings.param_file, sizeof eval_settings.param_file, "%s", output.c_str());
    ::testing::internal::CaptureStdout();
    init_eval_params();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");   // no record out of place
    EXPECT_EQ(current_tables(), report.tables);
    const int first_table = int(eval_weights.pst[0][0] - eval_params.records);
    for (int i = 0; i < first_table; ++i)
        EXPECT_EQ(eval_params.records[i].value, before[i].value) << before[i].name;
    EXPECT_EQ(read_lines(output).size(), size_t(EVAL_WEIGHT_COUNT));
}

// The tool that turns a parameter file into the built-in tables: the
// defaults give back the very source; a changed entry changes its cell only.
TEST_F(Tuner, SourceTablesFromParameterFile) {
    const std::string root = std::string(ZELK_TEST_DATA) + "/../..";
    const std::string source = root + "/src/eval/pst_tables.cpp", copy = dir_ + "/pst_tables.cpp";
    const std::string params = dir_ + "/defaults.txt";
    ASSERT_TRUE(write_params_file(params.c_str()));
    const std::vector<std::string> original = read_lines(source);
    ASSERT_GT(original.size(), 100u);
    auto run_tool = [&] {
        std::ofstream(copy, std::ios::binary) << std::ifstream(source, std::ios::binary).rdbuf();
        const std::string command =
            "/usr/bin/python3 '" + root + "/trainer/pst_source.py' '" + params + "' '" + copy + "' >/dev/null 2>&1";
        return std::system(command.c_str());
    };
    ASSERT_EQ(run_tool(), 0);
    EXPECT_EQ(read_text(source), read_text(copy));
    // Record c3 (18) of PST_N2 is the third cell of the row for rank 3.
    TableValues values = current_tables();
    values[PST_N2 * 64 + 18] = {-123, 45};
    apply_tables(values);
    ASSERT_TRUE(write_params_file(params.c_str()));
    ASSERT_EQ(run_tool(), 0);
    const std::vector<std::string> changed = read_lines(copy);
    ASSERT_EQ(changed.size(), original.size());
    int differing = 0;
    for (size_t i = 0; i < original.size(); ++i)
        if (changed[i] != original[i]) {
            ++differing;
            EXPECT_NE(changed[i].find("}, {-123,  45}, {"), std::string::npos) << changed[i];
            EXPECT_NE(changed[i].find("// 3"), std::string::npos);
        }
    EXPECT_EQ(differing, 1);
    // A parameter file that stops before the tables is refused; the source stays.
    std::ofstream(params) << "mtl_pawn, 100, 100\n";
    EXPECT_NE(run_tool(), 0);
    EXPECT_EQ(read_lines(copy), original);
}

// Bad input to the jobs of the tuning build says why and writes nothing; one
// good line is enough for a tuner run; the normal build refuses the jobs.
TEST_F(Tuner, BadInputSaysWhyAndWritesNothing) {
    write_lines("empty.epd", {"not a position"});
    write_lines("none.epd", {
        "# a comment",
        "not a position at all",
        "4k3/8/8/8/8/8/4P3/4K3 w - - ce 50; gr 1.0;",          // king and pawn against king
        "4k3/8/8/8/8/8/8/3BNK2 w - - ce 500; gr 1.0;",         // the mating ending of bishop and knight
        "4k3/8/8/8/8/8/8/3NK3 w - - ce 0; gr 0.5;",            // drawn material
        "4k3/8/8/8/8/8/8/R3K3 b - - ce -800; gr 0.0;",         // rook against king
        "4k3/8/8/8/1b6/8/5P2/4K3 w - - ce 0; gr 0.5;",         // in check
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 20;",   // no result
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 20; gr 1-0;",   // nor here
    });
    write_lines("good.epd", {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 20; gr 0.5;"});
    const std::pair<const char*, const char*> cases[] = {
        {"-mktraindata empty.epd 10", "no start positions in empty.epd"},
        {"-mktraindata startpos 0", "nothing to do"},
        {"-o no/such/dir/x.epd -mktraindata startpos 10", "cannot open no/such/dir/x.epd"},
        {"-tune missing.epd 0 5", "info string tune: cannot open missing.epd\n"},
        {"-tune none.epd 0 5", "info string tune: no usable position in none.epd (8 lines)\n"},
        {"-tune good.epd 101 5", "info string tune: score share 101 must be 0..100"},
        {"-tune good.epd 0 5 -o good.epd", "info string tune: the training data would be overwritten"},
    };
    for (const auto& [args, message] : cases) {
        const EngineRun run = run_tune(dir_, args);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
        EXPECT_FALSE(std::ifstream(dir_ + "/params.txt").good()) << args;
    }
    const EngineRun run = run_tune(dir_, "-tune good.epd 0 3");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("info string tune: wrote params.txt"), std::string::npos) << run.output;
    EXPECT_TRUE(std::ifstream(dir_ + "/params.txt").good());
    const EngineRun plain = run_engine({"-mktraindata", "startpos", "10"}, "", dir_, 30);
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.output, "Need to compile with 'make ttune'\n\n");
}

struct SpsaEntry {
    std::string name;
    int value, min, max;
    double c_end, r_end;
};

// Lines "Name, int, value, min, max, c_end, r_end".
std::vector<SpsaEntry> spsa_list(const char* binary) {
    std::vector<SpsaEntry> list;
    for (const std::string& line : run_engine({"spsa", "quit"}, "", "", 30, binary).lines()) {
        if (line.find(", int, ") == std::string::npos)
            continue;
        SpsaEntry e;
        char name[64] = "";
        int end = 0;
        EXPECT_EQ(std::sscanf(line.c_str(), "%63[^, ], int, %d, %d, %d, %lf, %lf%n", name, &e.value, &e.min, &e.max,
                              &e.c_end, &e.r_end, &end), 6) << line;
        EXPECT_EQ(size_t(end), line.size()) << line;
        e.name = name;
        list.push_back(e);
    }
    return list;
}

TEST(Spsa, ListParsesAndEveryNameIsAnOptionOfTheTuningBuild) {
    const auto list = spsa_list(ZELK_TUNE_BINARY);
    ASSERT_GE(list.size(), 8u);
    std::string commands = "uci\n";
    for (const SpsaEntry& e : list) {
        EXPECT_TRUE(e.min <= e.value && e.value <= e.max) << e.name;
        EXPECT_GT(e.c_end, 0) << e.name;
        EXPECT_LT(e.c_end, e.max - e.min) << e.name;
        EXPECT_TRUE(e.r_end > 0 && e.r_end < 1) << e.name;
        commands += "setoption name " + e.name + " value " + std::to_string(e.max + 1000) + "\n";
    }
    const EngineRun tune = run_engine({}, commands, "", 30, ZELK_TUNE_BINARY);
    for (const SpsaEntry& e : list) {
        EXPECT_TRUE(contains(tune.lines(), "option name " + e.name + " type spin default " + std::to_string(e.value)))
            << e.name << "\n" << tune.output;
        EXPECT_TRUE(has_line(tune, "info string " + e.name + " set to " + std::to_string(e.max))) << e.name;
    }
    // The normal build lists the same and keeps its options to the design's.
    EXPECT_EQ(spsa_list(ZELK_BINARY).size(), list.size());
    EXPECT_FALSE(contains(run_engine({}, "uci\n").lines(), "option name FP_step "));
}

} // namespace
} // namespace zelk::test
