// Process entry: start-up in a fixed order, one offline job or the
// interactive engine, and the exit sequence.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "core/attacks.h"
#include "search/perft.h"
#include "engine/setup.h"
#include "search/control.h"
#include "engine/input.h"
#include "io/locks.h"
#include "engine/main_loop.h"
#include "engine/options.h"
#include "core/notation.h"
#include "io/output.h"
#include "engine/switches.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/weights.h"
#include "nn/network.h"
#include "search/root.h"
#include "search/thread.h"
#include "search/trace.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tablebase/tbcore.h"
#include "tools/analyse.h"
#include "tools/bench.h"
#include "tools/make_book.h"
#include "tools/offline_search.h"
#include "tools/scan_pgn.h"
#include "tools/tune_data.h"
#include "tools/tuning.h"

using namespace zelk;

namespace {

// The directory of the executable, absolute, with forward slashes.
void find_program_dir(const char* argv0) {
    char dir[200];
    copy_text(dir, argv0 ? argv0 : "");
    char* cut = dir + std::strlen(dir);
    while (cut > dir && cut[-1] != '/' && cut[-1] != '\\')
        --cut;
    if (cut > dir)
        --cut;
    *cut = 0;
    char result[400];
    const bool absolute = dir[0] == '/' || dir[0] == '\\' || (dir[0] && dir[1] == ':');
    if (absolute) {
        copy_text(result, dir);
    } else {
        char cwd[200] = "";
        if (!getcwd(cwd, sizeof cwd))
            cwd[0] = 0;
        std::snprintf(result, sizeof result, dir[0] ? "%s/%s" : "%s", cwd, dir);
    }
    for (char* p = result; *p; ++p)
        if (*p == '\\')
            *p = '/';
    copy_text(setup.program_dir, result);
}

void seed_random() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::srand(unsigned((double(now.tv_sec) + double(now.tv_nsec) * 1e-9) * 1000));
    control.strength_seed = next_strength_seed(uint64_t(now.tv_sec) * 1000000007ULL + uint64_t(now.tv_nsec) + uint64_t(getpid()));
}

// Fixed-depth and fixed-node runs need little memory: the table shrinks to fit.
void size_hash_for_limits() {
    if (control.depth_limit < 8)
        search_settings.Hash = 1;
    else if (control.depth_limit <= 12)
        search_settings.Hash = 1 << (control.depth_limit - 7);
    if (control.node_limit != 0) {
        search_settings.Hash = 1;
        while (search_settings.Hash < 64 && control.node_limit > uint64_t(32000) * uint64_t(search_settings.Hash))
            search_settings.Hash *= 2;
    }
}

// A short fixed-node search measures this machine's node rate, from which
// the strength limit's Elo scale is derived.
void calibrate() {
    pos_from_fen(game->pos, "rnb1k2r/1pq1bppp/p2p1n2/4p3/4P3/2N1BN2/PPP1BPPP/R2QK2R w KQkq -");
    const int16_t limit_strength = search_settings.UCI_LimitStrength;
    const int threads = control.thread_count;
    const float noise = control.noise;
    const int8_t depth_limit = control.depth_limit;
    control.noise = 99999.0f;
    search_settings.UCI_LimitStrength = 0;
    control.thread_count = 1;
    control.node_limit = 35000;
    // The measure needs its nodes whatever depth "-d" asked for: at depth 0
    // there would be none, and no rate.
    control.depth_limit = DEPTH_UNLIMITED;
    search_start();
    if (thread_setup(0) != 0)
        std::exit(-1);
    clock_reset();
    control.stop_flag = 0;
    search_thread_run(0);
    clock_update();
    const double seconds = timing.elapsed;
    const SearchThread& t = *thread_table[0];
    control.calibration_nps = float(double(t.nodes) / (seconds + 0.001));
    control.calibration_nps = float(double(control.calibration_nps) * 1.22);
    control.search_state = STATE_IDLE;
    control.stop_flag = 0;
    control.node_limit = 0;
    control.thread_count = threads;
    control.noise = noise;
    control.depth_limit = depth_limit;
    search_settings.UCI_LimitStrength = limit_strength;
    // UCI_Elo's range starts at 1500: its maximum never falls below.
    control.max_elo = std::max(1500.0f, float(std::log(std::max(1.0, double(control.calibration_nps))) * 150 + 1060));
    char line[120];
    std::snprintf(line, sizeof line, "info string et= %.3f, calibration nps= %0.0f", seconds,
                  double(control.calibration_nps));
    emit_line(line);
}

int exit_sequence() {
    tt_free();
    destroy_locks();
    delete game;
    game = nullptr;
    close_log();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    find_program_dir(argc > 0 ? argv[0] : "");
    seed_random();
    for (auto& slot : thread_table)
        slot = nullptr;
    game = new (std::nothrow) SearchThread{};
    if (!game)
        return 1;
    thread_record_init(*game);
    init_attack_tables();
    build_kpk_table();

    control.node_limit = 0;
    control.time_per_move = control.clock_white = control.clock_black = 5.0f;
    control.depth_limit = DEPTH_UNLIMITED;
    control.stop_flag = 0;
    control.search_state = STATE_IDLE;
    control.quit_flag = 0;
    control.use_hash = 1;
    control.time_control_moves = 1;
    control.noise = 0;
    control.increment = control.calibration_nps = 0;
    tt.tt_age = 0;
    notation_style.chess960 = 0;
    set_trace_level(0);
    setup.eval_debug = 0;
    eval_settings.Use_NN_eval = 1;
    options_set_defaults(setup.program_dir);
    set_protocol_mode(1);

    if (read_switches(argc, argv))
        return 1;
    setup.tuning_build = tuning_built;
    // "bench [depth]" as the first command-line word: the signature benchmark
    // that testing frameworks run, on one thread with a fixed table.
    const std::vector<std::string>& words = setup.command_words;
    if (!words.empty() && words[0] == "bench") {
        setup.job = OfflineJob::SIGNATURE_BENCH;
        const long long depth = words.size() > 1 ? std::atoll(words[1].c_str()) : 0;
        setup.job_number = depth >= 1 && depth <= DEPTH_UNLIMITED ? depth : SIGNATURE_BENCH_DEPTH;
        search_settings.Threads = 1;
    }
    const OfflineJob job = setup.job;
    const bool tuning_job = job == OfflineJob::TRAIN_DATA || job == OfflineJob::TUNE || job == OfflineJob::TUNE2;
    if (tuning_job && !tuning_built) {
        std::fputs("Need to compile with 'make ttune'\n\n", stdout);
        return 1;
    }
    control.thread_count = search_settings.Threads;
    if (int err = init_locks())
        return err;
    emit_line("info string Hello from Zelk 5.20");
    if (setup.job == OfflineJob::SIGNATURE_BENCH)
        search_settings.Hash = SIGNATURE_BENCH_HASH;
    else
        size_hash_for_limits();
    // A size the machine cannot give falls back to the default.
    if (!tt_alloc()) {
        search_settings.Hash = saved_options.search.Hash;
        if (!tt_alloc())
            return 1;
    }
    options.Log = int16_t(set_logging(options.Log));
    save_options();
    if (options.ConfigFilePath[0])
        load_config();
    init_eval_params();
    search_settings.options_changed = 0;
    if (eval_settings.Use_NN_eval && std::strlen(options.NN_File) > 3) {
        NnLoad loaded = load_network_option();
        char line[400];
        std::snprintf(line, sizeof line, loaded == NnLoad::LOADED ? "info string loaded %s" : "info string error loading %s",
                      options.NN_File);
        // Without the default file beside the program, the network built into it.
        char default_file[400];
        std::snprintf(default_file, sizeof default_file, "%s/nn.bin", setup.program_dir);
        if (loaded == NnLoad::CANNOT_OPEN && std::strcmp(options.NN_File, default_file) == 0 &&
            load_embedded_network() == NnLoad::LOADED) {
            loaded = NnLoad::LOADED;
            std::snprintf(line, sizeof line, "info string loaded the built-in network (no %s)", options.NN_File);
        }
        emit_line(line);
        if (loaded != NnLoad::LOADED)
            return 1;
    }

    if (job != OfflineJob::NONE) {
        offline_poll = command_step;
        if (job == OfflineJob::BENCH || job == OfflineJob::BENCH_DIRECT)
            run_benchmark(job == OfflineJob::BENCH_DIRECT);
        else if (job == OfflineJob::SIGNATURE_BENCH)
            run_signature_bench(int(setup.job_number));
        else if (job == OfflineJob::EPD_ANALYSIS)
            analyse_epd(setup.job_input, setup.job_output[0] ? setup.job_output : "analysis.epd");
        else if (job == OfflineJob::MAKE_BOOK)
            make_book(setup.job_input);
        else if (job >= OfflineJob::PGN_SCAN1 && job <= OfflineJob::PGN_SCAN4)
            scan_pgn(setup.job_input, setup.job_output[0] ? setup.job_output : "tmpX.epd",
                     1 + int(job) - int(OfflineJob::PGN_SCAN1));
        else if (job == OfflineJob::TUNE_DATA1 || job == OfflineJob::TUNE_DATA2)
            make_tuning_data(setup.job_input, setup.job_output[0] ? setup.job_output : "tune_new.epd",
                             job == OfflineJob::TUNE_DATA1 ? 1 : 2, options.SyzygyPath);
        else if (tuning_job)
            run_tuning_job({job == OfflineJob::TRAIN_DATA ? TuningKind::TRAIN_DATA
                            : job == OfflineJob::TUNE     ? TuningKind::TUNE
                                                          : TuningKind::TUNE2,
                            setup.job_input, setup.job_count, setup.job_number, setup.job_digit, setup.job_output,
                            setup.seed, options.SyzygyPath});
        return exit_sequence();
    }

    calibrate();
    tb::init_tablebases(options.SyzygyPath);
    pos_from_fen(game->pos, START_FEN);
    if (control.protocol_mode == 0)
        show_board(game->pos);
    eval_settings.eval_jitter = 1;
    control.quit_flag = 0;
    for (const std::string& word : words)
        queue_commands((word + "@").c_str());
    main_loop();
    return exit_sequence();
}
