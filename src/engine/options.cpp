#include "engine/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/setup.h"
#include "search/control.h"
#include "core/notation.h"
#include "io/output.h"
#include "search/tt.h"
#include "tablebase/tbcore.h"

namespace zelk {

EngineOptions options;
SavedOptions saved_options;

namespace {

// Set while a configuration file is read: a ConfigFilePath line inside it
// (naming itself or another file) is ignored, so loading always ends.
bool loading_config = false;

bool idle() { return control.search_state.load() == STATE_IDLE; }

void emit_text_set(const char* name, const char* value) {
    char line[300];
    std::snprintf(line, sizeof line, "info string %s set to '%s'", name, value);
    emit_line(line);
}

} // namespace

void options_set_defaults(const char* program_dir) {
    EngineOptions& o = saved_options.engine;
    o = EngineOptions{};
    o.OwnBook_Variety = 25;
    o.OwnBook_Depth = 24;
    char nn[400];
    std::snprintf(nn, sizeof nn, "%s/nn.bin", program_dir);
    copy_text(o.NN_File, nn);

    SearchSettings& s = saved_options.search;
    s = SearchSettings{};
    s.options_changed = 1;
    s.Hash = 4;
    s.Threads = 1;
    s.MoveOverhead = 50;
    s.Ponder = 1;
    s.MultiPV = 1;
    s.SyzygyProbeDepth6 = 1;
    s.Selectivity = 100;
    s.SEP_depth = 8;
    s.SEP_step = 80;
    s.NMP_depth = 2;
    s.FP_depth = 8;
    s.FP_step = 100;
    s.LMP_depth = 8;
    s.LMP_step = 3;
    s.LMR_depth = 2;
    s.Razor_margin = 250;
    s.NMP_base = 4;
    s.NMP_divisor = 3;
    s.NMP_eval_div = 200;
    s.LMR_base = 75;
    s.LMR_divisor = 225;
    s.LMR_history = 8192;
    s.FP_base = 100;
    s.SEE_quiet = 25;
    s.SEE_capture = 100;
    s.HP_margin = 3000;
    s.Hist_bonus = 170;
    s.Hist_max = 1700;
    s.Time_fail_low = 250;
    s.Time_fail_high = 100;
    s.Time_drop = 30;
    s.Time_unstable = 20;
    s.Time_stable = 250;

    EvalSettings& e = saved_options.eval;
    e = EvalSettings{};
    e.contempt_base = 15;
    copy_text(e.param_file, "params.txt");
    for (auto& pair : e.eval_scales)
        pair[0] = pair[1] = 100;
    restore_saved_options();
}

void save_options() {
    saved_options.engine = options;
    saved_options.search = search_settings;
    saved_options.eval = eval_settings;
}

void restore_saved_options() {
    options = saved_options.engine;
    search_settings = saved_options.search;
    eval_settings = saved_options.eval;
}

NnLoad load_network_option() {
    const NnLoad result = load_network(options.NN_File);
    if (result == NnLoad::NO_MEMORY)
        std::exit(0);
    return result;
}

int parse_int_option(const char* name, const char* value, int min, int max) {
    // A leading decimal integer, 0 when there is none; huge values saturate.
    const char* p = value;
    while (*p == ' ')
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (v < 1000000000LL)
            v = v * 10 + (*p - '0');
    if (negative)
        v = -v;
    int result = int(v < min ? min : v > max ? max : v);
    char line[200];
    std::snprintf(line, sizeof line, "info string %s set to %d", name, result);
    emit_line(line);
    return result;
}

int parse_bool_option(const char* name, const char* value) {
    int result = std::strstr(value, "true") != nullptr;
    char line[200];
    std::snprintf(line, sizeof line, "info string %s set to %d", name, result);
    emit_line(line);
    return result;
}

const TunableSetting TUNABLE_SETTINGS[TUNABLE_COUNT] = {
    {"SEP_depth", &SearchSettings::SEP_depth, 0, 11, 1, 0.002},
    {"SEP_step", &SearchSettings::SEP_step, 20, 200, 9, 0.002},
    {"NMP_depth", &SearchSettings::NMP_depth, 1, 8, 0.5, 0.002},
    {"FP_depth", &SearchSettings::FP_depth, 0, 11, 1, 0.002},
    {"FP_step", &SearchSettings::FP_step, 40, 300, 13, 0.002},
    {"LMP_depth", &SearchSettings::LMP_depth, 0, 11, 1, 0.002},
    {"LMP_step", &SearchSettings::LMP_step, 1, 8, 0.5, 0.002},
    {"LMR_depth", &SearchSettings::LMR_depth, 1, 8, 0.5, 0.002},
    {"Selectivity", &SearchSettings::Selectivity, 50, 200, 8, 0.002},
    {"Razor_margin", &SearchSettings::Razor_margin, 100, 500, 20, 0.002},
    {"NMP_base", &SearchSettings::NMP_base, 2, 7, 0.5, 0.002},
    {"NMP_divisor", &SearchSettings::NMP_divisor, 2, 8, 0.5, 0.002},
    {"NMP_eval_div", &SearchSettings::NMP_eval_div, 80, 400, 20, 0.002},
    {"LMR_base", &SearchSettings::LMR_base, 20, 140, 8, 0.002},
    {"LMR_divisor", &SearchSettings::LMR_divisor, 150, 350, 12, 0.002},
    {"LMR_history", &SearchSettings::LMR_history, 3000, 16000, 600, 0.002},
    {"FP_base", &SearchSettings::FP_base, 0, 250, 15, 0.002},
    {"SEE_quiet", &SearchSettings::SEE_quiet, 5, 80, 4, 0.002},
    {"SEE_capture", &SearchSettings::SEE_capture, 30, 200, 10, 0.002},
    {"HP_margin", &SearchSettings::HP_margin, 1000, 8000, 400, 0.002},
    {"Hist_bonus", &SearchSettings::Hist_bonus, 60, 320, 15, 0.002},
    {"Hist_max", &SearchSettings::Hist_max, 600, 3200, 120, 0.002},
    {"Time_fail_low", &SearchSettings::Time_fail_low, 50, 400, 20, 0.002},
    {"Time_fail_high", &SearchSettings::Time_fail_high, 0, 250, 12, 0.002},
    {"Time_drop", &SearchSettings::Time_drop, 0, 100, 5, 0.002},
    {"Time_unstable", &SearchSettings::Time_unstable, 0, 80, 4, 0.002},
    {"Time_stable", &SearchSettings::Time_stable, 0, 600, 30, 0.002},
};

void print_spsa_list() {
    for (const TunableSetting& t : TUNABLE_SETTINGS) {
        char line[200];
        std::snprintf(line, sizeof line, "%s, int, %d, %d, %d, %g, %g", t.name, int(saved_options.search.*t.field),
                      t.min, t.max, t.c_end, t.r_end);
        emit_line(line);
    }
}

void set_option(const char* name, const char* value) {
    auto is = [name](const char* n) { return std::strcmp(name, n) == 0; };
    if (is("ConfigFilePath")) {
        if (idle() && !loading_config) {
            copy_text(options.ConfigFilePath, value);
            emit_text_set("ConfigFilePath", options.ConfigFilePath);
            load_config();
        }
    } else if (is("Hash")) {
        if (idle()) {
            search_settings.Hash = parse_int_option(name, value, 0, 32768);
            if ((search_settings.Hash != tt.megabytes || !tt.entries) && !tt_alloc())
                parse_int_option(name, std::to_string(search_settings.Hash).c_str(), 0, 32768);
        }
    } else if (is("Threads")) {
        if (idle()) {
            int n = parse_int_option(name, value, 1, MAX_THREADS);
            if (n != control.thread_count)
                control.thread_count = search_settings.Threads = int16_t(n);
        }
    } else if (is("MoveOverhead")) {
        search_settings.MoveOverhead = int16_t(parse_int_option(name, value, 0, 5000));
    } else if (is("Ponder")) {
        search_settings.Ponder = int16_t(parse_bool_option(name, value));
    } else if (is("Contempt")) {
        eval_settings.Contempt = int16_t(parse_int_option(name, value, -150, 150));
    } else if (is("Selectivity")) {
        search_settings.Selectivity = int16_t(parse_int_option(name, value, 0, 200));
    } else if (is("MultiPV")) {
        search_settings.MultiPV = int16_t(parse_int_option(name, value, 1, 255));
    } else if (is("NN_File")) {
        copy_text(options.NN_File, value);
        emit_text_set("NN_File", options.NN_File);
        // The search threads read the networks: they are replaced only between searches.
        if (idle())
            load_network_option();
        else
            emit_line("info string the network is not reloaded during a search");
    } else if (is("Use_NN_eval")) {
        eval_settings.Use_NN_eval = uint8_t(parse_bool_option(name, value));
    } else if (is("OwnBook")) {
        options.OwnBook = int16_t(parse_bool_option(name, value));
    } else if (is("OwnBook_File")) {
        copy_text(options.OwnBook_File, value);
        emit_text_set("OwnBook_File", options.OwnBook_File);
    } else if (is("OwnBook2_File")) {
        copy_text(options.OwnBook2_File, value);
        emit_text_set("OwnBook2_File", options.OwnBook2_File);
    } else if (is("OwnBook_Variety")) {
        options.OwnBook_Variety = int16_t(parse_int_option(name, value, 0, 100));
    } else if (is("OwnBook_Depth")) {
        options.OwnBook_Depth = int16_t(parse_int_option(name, value, 0, 60));
    } else if (is("OwnBook2_Depth")) {
        options.OwnBook2_Depth = int16_t(parse_int_option(name, value, 0, 60));
    } else if (is("Log")) {
        options.Log = int16_t(set_logging(parse_bool_option(name, value)));
    } else if (is("Clear_Hash")) {
        if (idle()) {
            tt_clear();
            emit_line("info string Hash table cleared");
        }
    } else if (is("SyzygyPath")) {
        copy_text(options.SyzygyPath, value);
        emit_text_set("SyzygyPath", options.SyzygyPath);
        // The search threads probe the mapped tables: they are replaced only between searches.
        if (idle())
            tb::init_tablebases(options.SyzygyPath);
        else
            emit_line("info string the tablebases are not reloaded during a search");
    } else if (is("SyzygyProbeDepth6")) {
        search_settings.SyzygyProbeDepth6 = int16_t(parse_int_option(name, value, -5, 100));
    } else if (is("UCI_LimitStrength")) {
        search_settings.UCI_LimitStrength = int16_t(parse_bool_option(name, value));
    } else if (is("UCI_Elo")) {
        search_settings.UCI_Elo = int16_t(parse_int_option(name, value, 1500, 3300));
    } else if (is("UCI_ShowWDL")) {
        search_settings.UCI_ShowWDL = int16_t(parse_bool_option(name, value));
    } else if (is("UCI_Chess960")) {
        notation_style.chess960 = uint8_t(parse_bool_option(name, value));
    } else if (setup.tuning_build) {
        for (const TunableSetting& t : TUNABLE_SETTINGS)
            if (is(t.name))
                search_settings.*t.field = int16_t(parse_int_option(name, value, t.min, t.max));
    }
}

int load_config() {
    FILE* f = std::fopen(options.ConfigFilePath, "r");
    if (!f)
        return 0;
    char line[300];
    std::snprintf(line, sizeof line, "info string loading parameters from %s", options.ConfigFilePath);
    emit_line(line);
    loading_config = true;
    char text[256];
    while (std::fgets(text, sizeof text, f)) {
        const size_t length = std::strlen(text);
        // The rest of an over-long line is dropped, not read as a line of its own.
        if (length == sizeof text - 1 && text[length - 1] != '\n') {
            int c;
            while ((c = std::fgetc(f)) != EOF && c != '\n') {
            }
        }
        if (length < 4)
            continue;
        // Files written on Windows end their lines with CR LF: the CR goes too.
        text[std::strcspn(text, "\r\n")] = 0;
        text[std::strcspn(text, "#")] = 0;
        char* eq = std::strchr(text, '=');
        if (!eq)
            continue;
        auto is_space = [](char c) { return c == ' ' || c == '\t'; };
        char* name_end = eq;
        while (name_end > text && is_space(name_end[-1]))
            --name_end;
        *name_end = 0;
        const char* value = eq + 1;
        while (is_space(*value))
            ++value;
        char name[101], val[201];
        copy_text(name, text);
        copy_text(val, value);
        set_option(name, val);
    }
    loading_config = false;
    std::fclose(f);
    search_settings.options_changed = 1;
    save_options();
    return 1;
}

} // namespace zelk
