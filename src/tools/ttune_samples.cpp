// Training positions for the table tuner: which table entries each one
// reads, its evaluation taken apart into the part the tables change and the
// rest, and the error of a set of evaluations against the targets.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "core/attacks.h"
#include "eval/eval_records.h"
#include "eval/hce.h"
#include "pgn/pgn.h"
#include "tools/epd.h"
#include "tools/ttune_tuner.h"

namespace zelk::pst_tuner {

namespace {

constexpr double DEFAULT_K = 1.0 / 0.006;

// The table of each piece kind: [kings on different halves, same half].
constexpr PstId PIECE_TABLE[8][2] = {{}, {}, {PST_N2, PST_N1}, {PST_B2, PST_B1}, {PST_R2, PST_R1}, {PST_Q2, PST_Q1}};

EvalWeight& record_of(int entry) {
    const EvalWeight* w = eval_weights.pst[entry / 64][entry % 64];
    return eval_params.records[w - eval_params.records];
}

// A game result 0..1 ("1.0", "0.5", "0"), or -1 when the text is none.
float read_result(const std::string& text) {
    char* end = nullptr;
    const double r = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == 0 && r >= 0.0 && r <= 1.0 ? float(r) : -1.0f;
}

// A score in centipawns; false when the text is none.
bool read_score(const std::string& text, int& score) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || v < -32000 || v > 32000)
        return false;
    score = int(v);
    return true;
}

EvalState& eval_state() {
    static std::unique_ptr<EvalState> state = std::make_unique<EvalState>();
    return *state;
}

} // namespace

TableValues current_tables() {
    TableValues v;
    for (int e = 0; e < TABLE_ENTRIES; ++e) {
        const ScorePair p = eval_weights.pst[e / 64][e % 64]->value;
        v[e] = {int16_t(mg_of(p)), int16_t(eg_of(p))};
    }
    return v;
}

void apply_entry(int entry, int mg, int eg) {
    EvalWeight& w = record_of(entry);
    w.value = make_score(mg, eg);
    w.mg = float(mg);
    w.eg = float(eg);
}

void apply_tables(const TableValues& values) {
    for (int e = 0; e < TABLE_ENTRIES; ++e)
        apply_entry(e, values[e][0], values[e][1]);
}

bool entry_is_held(int table, int record) {
    const int rank = record / 8, file = record % 8;   // rank 0 is rank 1
    switch (table) {
    case PST_P1: return rank == 0 || rank == 1 || rank == 6 || rank == 7;
    case PST_P2: return rank == 0 || rank == 5 || rank == 7;
    case PST_CP: return rank == 0 || rank == 7;
    case PST_DP: return rank <= 1 || rank == 7;
    case PST_N1: return rank == 7;
    case PST_K: return file < 4 || rank == 0 || rank == 4;
    default: return false;
    }
}

bool table_in_group(int table, int group) {
    switch (table) {
    case PST_P1: case PST_P2: case PST_CP: case PST_DP: return group == 0 || group == 1;
    case PST_N1: case PST_N2: case PST_B1: case PST_B2: return group == 0 || group == 2;
    case PST_R1: case PST_R2: case PST_Q1: case PST_Q2: return group == 0 || group == 3;
    default: return group == 0 || group == 4;
    }
}

void collect_uses(const Position& pos, std::vector<EntryUse>& out) {
    // Each table is seen from its owner with the own king on files e-h.
    const bool w_queenside = file_of(pos.king_sq[WHITE]) < 4, b_queenside = file_of(pos.king_sq[BLACK]) < 4;
    const int mirror[2] = {w_queenside ? 7 : 0, b_queenside ? 63 : 56};
    const bool same_half = w_queenside == b_queenside;
    EntryUse raw[3 * 32];   // at most 32 men, a pawn reads up to three tables
    int n = 0;
    auto use = [&](int table, int record, int sign) { raw[n++] = {uint16_t(table * 64 + record), int16_t(sign)}; };
    for (int c = 0; c < 2; ++c) {
        const int sign = c == WHITE ? 1 : -1;
        const Bitboard pawns = pieces_of(pos, c, PAWN);
        const Bitboard defended = pawn_attack_set(pawns, c) & pawns;
        for (Bitboard b = pawns; b;) {
            const int s = pop_lsb(b), m = s ^ mirror[c];
            use(same_half ? PST_P1 : PST_P2, m, sign);
            if (defended & bit(s))
                use(PST_DP, m, sign);
            if (tables.rank_neighbours[s] & pawns)
                use(PST_CP, m, sign);
        }
        for (int type = KNIGHT; type <= QUEEN; ++type)
            for (Bitboard b = pieces_of(pos, c, type); b;)
                use(PIECE_TABLE[type][same_half], pop_lsb(b) ^ mirror[c], sign);
        use(PST_K, pos.king_sq[c] ^ mirror[c], sign);
    }
    std::sort(raw, raw + n, [](const EntryUse& a, const EntryUse& b) { return a.entry < b.entry; });
    for (int i = 0; i < n;) {
        int j = i, count = 0;
        for (; j < n && raw[j].entry == raw[i].entry; ++j)
            count += raw[j].count;
        if (count != 0)
            out.push_back({raw[i].entry, int16_t(count)});
        i = j;
    }
}

int engine_eval(const Position& pos) {
    int16_t threat[2];
    // Ply 1: neither the evaluation cache nor the pawn hash is read.
    return hce_evaluate(eval_state(), pos, WHITE, 1, 0, 0, threat);
}

int model_eval(const TuneData& data, const Sample& s, const TableValues& values) {
    int mg = s.d0_mg, eg = s.d0_eg;
    for (uint32_t i = s.first_use; i < s.first_use + s.use_count; ++i) {
        const EntryUse& u = data.uses[i];
        mg += u.count * (values[u.entry][0] - data.start[u.entry][0]);
        eg += u.count * (values[u.entry][1] - data.start[u.entry][1]);
    }
    const double w = s.eg_weight;
    const int blended = int(w * eg + (1.0 - w) * mg);
    const float sf = s.sf[blended < 0 ? 0 : blended == 0 ? 1 : 2];
    return int(sf * float(blended));
}

bool load_samples(const char* file, double score_share, bool keep_boards, TuneData& data) {
    std::ifstream in(file);
    if (!in)
        return false;
    data.start = current_tables();
    EvalState& state = eval_state();
    Position pos{};
    std::string line;
    EpdLine epd;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        ++data.lines;
        if (parse_epd_line(line.c_str(), epd) != 0 || epd.position.empty()) {
            ++data.skipped;
            continue;
        }
        const float result = read_result(epd.gr);
        int score = 0;
        const bool has_score = read_score(epd.sc.empty() ? epd.ce : epd.sc, score);
        pos_from_fen(pos, epd.position.c_str());
        if ((score_share < 1.0 && result < 0.0f) || (score_share > 0.0 && !has_score) ||
            !pgn::is_playable(pos) || is_attacked(pos, pos.king_sq[pos.side], pos.side ^ 1)) {
            ++data.skipped;
            continue;
        }
        // The frame returns before its set-up in the special endings; the
        // unset end-game weight tells.
        state.eval_context.eg_weight = -1.0f;
        const int eval = engine_eval(pos);
        const EvalContext& ec = state.eval_context;
        if (ec.eg_weight < 0.0f) {
            ++data.skipped;
            continue;
        }
        Sample s{};
        s.first_use = uint32_t(data.uses.size());
        collect_uses(pos, data.uses);
        s.use_count = uint16_t(data.uses.size() - s.first_use);
        s.sign = pos.side == WHITE ? 1 : -1;
        s.eval = eval;
        const ScorePair d = ec.total[WHITE] - ec.total[BLACK];
        s.d0_mg = mg_of(d);
        s.d0_eg = eg_of(d);
        s.eg_weight = ec.eg_weight;
        const bool thin = pos.npm[WHITE] <= 10 && pos.npm[BLACK] <= 10;
        s.sf[0] = thin ? scale_factor(pos, -1) : 1.0f;
        s.sf[1] = thin ? scale_factor(pos, 0) : 1.0f;
        s.sf[2] = thin ? scale_factor(pos, 1) : 1.0f;
        s.result = result;
        s.score = score;
        data.with_result += s.result >= 0.0f;
        data.samples.push_back(s);
        if (keep_boards)
            data.boards.push_back(pos);
    }
    return true;
}

double sigmoid(double x) { return 1.0 / (1.0 + std::exp(-x)); }

double fit_k(const TuneData& data, const std::vector<int>& evals) {
    if (data.with_result == 0)
        return DEFAULT_K;
    auto error = [&](double k) {
        double sum = 0;
        for (size_t i = 0; i < data.samples.size(); ++i) {
            const Sample& s = data.samples[i];
            if (s.result >= 0.0f) {
                const double e = sigmoid(s.sign * evals[i] / k) - s.result;
                sum += e * e;
            }
        }
        return sum;
    };
    // Golden-section search on a log scale of K.
    double lo = std::log(20.0), hi = std::log(2000.0);
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    double a = hi - ratio * (hi - lo), b = lo + ratio * (hi - lo);
    double ea = error(std::exp(a)), eb = error(std::exp(b));
    for (int i = 0; i < 40; ++i) {
        if (ea < eb) {
            hi = b, b = a, eb = ea;
            a = hi - ratio * (hi - lo);
            ea = error(std::exp(a));
        } else {
            lo = a, a = b, ea = eb;
            b = lo + ratio * (hi - lo);
            eb = error(std::exp(b));
        }
    }
    return std::exp((lo + hi) / 2);
}

void set_targets(TuneData& data, double k, double score_share) {
    for (Sample& s : data.samples) {
        const double from_score = score_share > 0.0 ? sigmoid(s.score / k) : 0.0;
        const double from_result = score_share < 1.0 ? s.result : 0.0;
        s.target = float(score_share * from_score + (1.0 - score_share) * from_result);
    }
}

void hold_out_blocks(TuneData& data) {
    constexpr size_t MIN_SAMPLES = 2000;
    // 500 samples a block, or fewer so that there are 50 blocks at least.
    const size_t block = std::clamp<size_t>(data.samples.size() / 50, 1, 500);
    data.held_out = 0;
    for (size_t i = 0; i < data.samples.size(); ++i) {
        Sample& s = data.samples[i];
        s.held_out = data.samples.size() >= MIN_SAMPLES && i / block % 10 == 9;
        data.held_out += s.held_out;
    }
}

double mean_error(const TuneData& data, const std::vector<int>& evals, double k, bool held_out) {
    double sum = 0;
    int n = 0;
    for (size_t i = 0; i < data.samples.size(); ++i) {
        const Sample& s = data.samples[i];
        if (bool(s.held_out) != held_out)
            continue;
        const double e = sigmoid(s.sign * evals[i] / k) - s.target;
        sum += e * e;
        ++n;
    }
    return n ? sum / n : 0.0;
}

} // namespace zelk::pst_tuner
