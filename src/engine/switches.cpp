#include "engine/switches.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/setup.h"
#include "search/control.h"
#include "search/strength.h"
#include "engine/options.h"

namespace zelk {

namespace {

template <int N>
void copy_value(char (&field)[N], const char* text, int max_length) {
    int i = 0;
    for (; i < N - 1 && i < max_length && text[i]; ++i)
        field[i] = text[i];
    field[i] = 0;
}

long long to_integer(const char* text) { return std::strtoll(text, nullptr, 10); }

} // namespace

int read_switches(int argc, char** argv) {
    // Every switch that takes values, with how many it needs at least.
    struct Valued {
        const char* name;
        int needed;
    };
    static const Valued VALUED[] = {{"-noise", 1},  {"-cfg", 1},        {"-d", 1},          {"-t", 1},
                                    {"-n", 1},      {"-nps", 1}, {"-seed", 1},        {"-hash", 1},       {"-threads", 1},
                                    {"-book", 1},   {"-tbpath", 1},     {"-o", 1},          {"-anepd", 1},
                                    {"-scan_pgn", 1}, {"-scan_pgn1", 1}, {"-scan_pgn2", 1}, {"-scan_pgn3", 1},
                                    {"-scan_pgn4", 1}, {"-mkbook", 1},   {"-mktune1", 1},    {"-mktune2", 1},
                                    {"-mktraindata", 2}, {"-tune", 3},   {"-tune2", 3}};
    // A value is never taken for a switch: values are skipped as they will be consumed.
    for (int i = 1; i < argc; ++i)
        for (const Valued& v : VALUED)
            if (std::strcmp(argv[i], v.name) == 0) {
                if (i + v.needed >= argc)
                    return 1;
                i += v.needed;
                break;
            }

    for (int i = 1; i < argc; ++i) {
        const int start = i;
        bool matched = false;
        auto is = [&](const char* name) {
            const bool yes = i < argc && std::strcmp(argv[i], name) == 0;
            matched = matched || yes;
            return yes;
        };
        auto value = [&]() -> const char* { return argv[++i]; };
        if (is("-uci"))
            set_protocol_mode(1);
        if (is("-c"))
            set_protocol_mode(0);
        if (is("-log"))
            options.Log = 1;
        if (is("-noise"))
            control.noise = float(std::atof(value()));
        if (is("-quiet")) {
            control.noise = 9999.0f;
            options.Log = 0;
        }
        if (is("-cfg"))
            copy_value(options.ConfigFilePath, value(), 143);
        if (is("-d")) {
            const long long d = to_integer(value());
            control.depth_limit = int8_t(d > DEPTH_UNLIMITED ? DEPTH_UNLIMITED : d < -128 ? -128 : d);
            control.switch_depth_limit = control.depth_limit;
            control.time_control_moves = 1;
            control.time_per_move = 10000.0f;
        }
        if (is("-t")) {
            control.time_per_move = float(std::atof(value()));
            control.time_control_moves = 1;
        }
        if (is("-n")) {
            const long long n = to_integer(value());
            control.node_limit = uint64_t(n < 0 ? 0 : n);
            control.time_control_moves = 1;
            control.time_per_move = 1000.0f;
        }
        if (is("-nps")) {
            const double nps = std::atof(value());
            search_settings.UCI_LimitStrength = 1;
            search_settings.UCI_Elo = int16_t(elo_for_node_rate(nps));
            std::printf("Elo= %d\n", search_settings.UCI_Elo);
        }
        if (is("-hash")) {
            const long long mb = to_integer(value());
            search_settings.Hash = int32_t(mb < 0 ? 0 : mb > 32767 ? 32768 : mb);
        }
        if (is("-threads")) {
            const long long n = to_integer(value());
            search_settings.Threads = int16_t(n < 1 ? 1 : n > MAX_THREADS ? MAX_THREADS : n);
        }
        if (is("-book"))
            copy_value(options.OwnBook_File, value(), 143);
        if (is("-tbpath"))
            copy_value(options.SyzygyPath, value(), 143);
        if (is("-tbx"))
            copy_value(options.SyzygyPath, "C:\\Chess\\Syzygy;C:\\Chess\\Syzygy\\6-Piece", 143);
        if (is("-use_hce"))
            eval_settings.Use_NN_eval = 0;
        if (is("-use_nn"))
            eval_settings.Use_NN_eval = 1;
        if (is("-o"))
            copy_value(setup.job_output, value(), 139);
        if (is("-anepd")) {
            setup.job = OfflineJob::EPD_ANALYSIS;
            control.noise = 9999.0f;
            copy_value(setup.job_input, value(), 139);
        }
        if (is("-scan_pgn"))
            copy_value(setup.pgn_input, value(), 139);
        static const char* const SCANS[] = {"-scan_pgn1", "-scan_pgn2", "-scan_pgn3", "-scan_pgn4"};
        static const OfflineJob SCAN_JOBS[] = {OfflineJob::PGN_SCAN1, OfflineJob::PGN_SCAN2, OfflineJob::PGN_SCAN3,
                                               OfflineJob::PGN_SCAN4};
        for (int k = 0; k < 4; ++k)
            if (is(SCANS[k])) {
                setup.job = SCAN_JOBS[k];
                copy_value(setup.job_input, value(), 139);
            }
        if (is("-bench"))
            setup.job = OfflineJob::BENCH;
        if (is("-bench2"))
            setup.job = OfflineJob::BENCH_INERT;
        if (is("-pbench"))
            setup.job = OfflineJob::BENCH_DIRECT;
        if (is("-mkconfig"))
            setup.job = OfflineJob::MAKE_CONFIG;
        if (is("-mkbook")) {
            setup.job = OfflineJob::MAKE_BOOK;
            copy_value(setup.job_input, value(), 139);
        }
        if (is("-mktune1")) {
            setup.job = OfflineJob::TUNE_DATA1;
            copy_value(setup.job_input, value(), 139);
        }
        if (is("-mktune2")) {
            setup.job = OfflineJob::TUNE_DATA2;
            copy_value(setup.job_input, value(), 139);
        }
        if (is("-seed"))
            setup.seed = uint32_t(to_integer(value()));
        if (is("-mktraindata")) {
            setup.job = OfflineJob::TRAIN_DATA;
            copy_value(setup.job_input, value(), 139);
            setup.job_count = to_integer(value());
        }
        if (is("-tune") || is("-tune2")) {
            setup.job = is("-tune") ? OfflineJob::TUNE : OfflineJob::TUNE2;
            copy_value(setup.job_input, value(), 139);
            setup.job_number = to_integer(value());
            setup.job_count = to_integer(value());
            // An optional digit may follow the three values.
            if (i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9' && argv[i + 1][1] == 0)
                setup.job_digit = argv[++i][0] - '0';
        }
        // Any other word is a command line, run before standard input is read.
        if (!matched && argv[start][0] != '-')
            setup.command_words.push_back(argv[start]);
    }
    return 0;
}

} // namespace zelk
