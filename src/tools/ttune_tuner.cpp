// The tuners of the open piece-square values. "-tune" fits the entries by
// full-batch Adam on the linear model of the evaluation; "-tune2" polishes
// them by Texel's local search with the engine's full evaluation. Both
// write the whole weight table as a parameter file.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "eval/weights.h"
#include "io/output.h"
#include "tools/ttune_tuner.h"
#include "tools/tuning.h"

namespace zelk {

namespace pst_tuner {

namespace {

// An entry half needs this much evidence (uses weighted by the phase share
// of the half) before it may move: rarer ones would follow noise.
constexpr double MIN_EVIDENCE = 8.0;
constexpr double LEARNING_RATE = 1.0;     // centipawns per epoch at the start
// The fit pulls each value towards its start as if a change of this many
// centipawns were as likely as the error of one position (a normal prior):
// entries few positions read stay near where they were.
constexpr double PRIOR_SPREAD = 30.0;
constexpr double BETA1 = 0.9, BETA2 = 0.999, ADAM_EPSILON = 1e-10;
constexpr int MAX_STEPS = 16;             // "-tune2": steps in one direction per entry and pass

// A progress or result line of the job.
template <typename... Args>
void say(const char* format, Args... args) {
    char body[240], text[300];
    std::snprintf(body, sizeof body, format, args...);
    std::snprintf(text, sizeof text, "info string tune: %s", body);
    emit_line(text);
}

// The entry halves (entry * 2 + half) the job may change.
std::vector<int> free_halves(const TuneData& data, int group) {
    std::vector<double> evidence(TABLE_ENTRIES * 2, 0.0);
    for (const Sample& s : data.samples)
        for (uint32_t i = s.first_use; i < s.first_use + s.use_count && !s.held_out; ++i) {
            const EntryUse& u = data.uses[i];
            evidence[u.entry * 2] += std::abs(u.count) * (1.0 - s.eg_weight);
            evidence[u.entry * 2 + 1] += std::abs(u.count) * s.eg_weight;
        }
    std::vector<int> halves;
    for (int e = 0; e < TABLE_ENTRIES; ++e)
        if (table_in_group(e / 64, group) && !entry_is_held(e / 64, e % 64))
            for (int h = 0; h < 2; ++h)
                if (evidence[e * 2 + h] >= MIN_EVIDENCE)
                    halves.push_back(e * 2 + h);
    return halves;
}

// The blended score of the linear model with real-valued tables, before
// the scale factor, and that factor.
double linear_blend(const TuneData& data, const Sample& s, const std::vector<double>& theta, double& sf) {
    double mg = s.d0_mg, eg = s.d0_eg;
    for (uint32_t i = s.first_use; i < s.first_use + s.use_count; ++i) {
        const EntryUse& u = data.uses[i];
        mg += u.count * (theta[u.entry * 2] - data.start[u.entry][0]);
        eg += u.count * (theta[u.entry * 2 + 1] - data.start[u.entry][1]);
    }
    const double blended = s.eg_weight * eg + (1.0 - s.eg_weight) * mg;
    sf = s.sf[blended < 0 ? 0 : blended == 0 ? 1 : 2];
    return blended;
}

// Mean squared error of the linear model with real-valued tables.
double model_error(const TuneData& data, const std::vector<double>& theta, double k, bool held_out) {
    double sum = 0, sf;
    int n = 0;
    for (const Sample& s : data.samples)
        if (bool(s.held_out) == held_out) {
            const double p = sigmoid(s.sign * linear_blend(data, s, theta, sf) * sf / k);
            sum += (p - s.target) * (p - s.target);
            ++n;
        }
    return n ? sum / n : 0.0;
}

int clamp_value(double v) { return int(std::lround(std::clamp(v, double(-VALUE_LIMIT), double(VALUE_LIMIT)))); }

// Full-batch Adam on the mean squared error of the linear model plus the
// prior's penalty. With samples held out, the tables of the epoch that
// predicted them best are kept (early stop). Returns them rounded and clamped.
TableValues fit_linear(const TuneData& data, const std::vector<int>& halves, double k, double start_error,
                       int64_t epochs) {
    std::vector<double> theta(TABLE_ENTRIES * 2), grad(TABLE_ENTRIES * 2), m(TABLE_ENTRIES * 2), v(TABLE_ENTRIES * 2);
    for (int e = 0; e < TABLE_ENTRIES; ++e)
        for (int h = 0; h < 2; ++h)
            theta[e * 2 + h] = data.start[e][h];
    std::vector<double> best = theta;
    double best_held = 1e300;
    int64_t best_epoch = 0;
    const double n = double(data.samples.size() - data.held_out);
    const double held = double(data.held_out);
    const double prior = start_error / (PRIOR_SPREAD * PRIOR_SPREAD * n);
    for (int64_t epoch = 1; epoch <= epochs; ++epoch) {
        std::fill(grad.begin(), grad.end(), 0.0);
        double error = 0, held_error = 0;
        for (const Sample& s : data.samples) {
            double sf;
            const double blended = linear_blend(data, s, theta, sf);
            const double w = s.eg_weight;
            const double p = sigmoid(s.sign * sf * blended / k);
            if (s.held_out) {
                held_error += (p - s.target) * (p - s.target);
                continue;
            }
            error += (p - s.target) * (p - s.target);
            const double g = 2.0 * (p - s.target) * p * (1.0 - p) * s.sign * sf / (k * n);
            for (uint32_t i = s.first_use; i < s.first_use + s.use_count; ++i) {
                const EntryUse& u = data.uses[i];
                grad[u.entry * 2] += g * (1.0 - w) * u.count;
                grad[u.entry * 2 + 1] += g * w * u.count;
            }
        }
        // The tables this epoch started from, judged on the held-out samples.
        if (held > 0 && held_error / held < best_held) {
            best_held = held_error / held;
            best = theta;
            best_epoch = epoch - 1;
        }
        // The step shrinks linearly to a tenth, to settle at the end.
        const double rate = LEARNING_RATE * (1.0 - 0.9 * double(epoch - 1) / double(std::max<int64_t>(1, epochs - 1)));
        const double c1 = 1.0 - std::pow(BETA1, double(epoch)), c2 = 1.0 - std::pow(BETA2, double(epoch));
        for (int i : halves) {
            grad[i] += 2.0 * prior * (theta[i] - data.start[i / 2][i % 2]);
            m[i] = BETA1 * m[i] + (1 - BETA1) * grad[i];
            v[i] = BETA2 * v[i] + (1 - BETA2) * grad[i] * grad[i];
            theta[i] -= rate * (m[i] / c1) / (std::sqrt(v[i] / c2) + ADAM_EPSILON);
        }
        if (epoch == 1 || epoch == epochs || epoch % std::max<int64_t>(1, epochs / 10) == 0)
            say("epoch %lld, error %.6f, held out %.6f", (long long)epoch, error / n, held > 0 ? held_error / held : 0.0);
    }
    if (held > 0 && epochs > 0) {
        // One more look, at the tables of the last step.
        if (model_error(data, theta, k, true) < best_held) {
            best = theta;
            best_epoch = epochs;
        }
        say("kept the tables after epoch %lld", (long long)best_epoch);
    } else {
        best = theta;
    }
    TableValues out = data.start;
    for (int i : halves)
        out[i / 2][i % 2] = int16_t(clamp_value(best[i]));
    return out;
}

double squared(double x) { return x * x; }

// Texel's local search with the engine's evaluation: each free half moves
// by one while that lowers the error of the fitted samples. Only the
// positions that read an entry are evaluated again when it changes. A pass
// that raises the error of the held-out samples is undone and ends the search.
TableValues local_search(const TuneData& data, const std::vector<int>& halves, double k, int64_t passes) {
    std::vector<std::vector<uint32_t>> readers(TABLE_ENTRIES);
    for (uint32_t j = 0; j < data.samples.size(); ++j) {
        const Sample& s = data.samples[j];
        for (uint32_t i = s.first_use; i < s.first_use + s.use_count; ++i)
            readers[data.uses[i].entry].push_back(j);
    }
    std::vector<int> evals(data.samples.size()), trial;
    for (size_t j = 0; j < evals.size(); ++j)
        evals[j] = data.samples[j].eval;
    auto loss = [&](uint32_t j, int eval) {
        const Sample& s = data.samples[j];
        return s.held_out ? 0.0 : squared(sigmoid(s.sign * eval / k) - s.target);
    };
    TableValues values = data.start;
    double held_error = mean_error(data, evals, k, true);
    for (int64_t pass = 1; pass <= passes; ++pass) {
        const TableValues before = values;
        const std::vector<int> evals_before = evals;
        int changes = 0;
        for (int half : halves) {
            const int e = half / 2, h = half % 2;
            const std::vector<uint32_t>& list = readers[e];
            trial.resize(list.size());
            for (int dir : {1, -1}) {
                int steps = 0;
                while (steps < MAX_STEPS && std::abs(values[e][h] + dir) <= VALUE_LIMIT) {
                    values[e][h] = int16_t(values[e][h] + dir);
                    apply_entry(e, values[e][0], values[e][1]);
                    double delta = 0;
                    for (size_t i = 0; i < list.size(); ++i) {
                        trial[i] = engine_eval(data.boards[list[i]]);
                        delta += loss(list[i], trial[i]) - loss(list[i], evals[list[i]]);
                    }
                    if (delta >= 0) {
                        values[e][h] = int16_t(values[e][h] - dir);
                        apply_entry(e, values[e][0], values[e][1]);
                        break;
                    }
                    for (size_t i = 0; i < list.size(); ++i)
                        evals[list[i]] = trial[i];
                    ++steps;
                }
                changes += steps;
                if (steps > 0)
                    break;
            }
        }
        const double held_now = mean_error(data, evals, k, true);
        say("pass %lld, error %.6f, held out %.6f, changes %d", (long long)pass, mean_error(data, evals, k), held_now,
            changes);
        if (data.held_out > 0 && held_now > held_error) {
            say("%s", "the pass predicted the held-out samples worse: undone");
            values = before;
            evals = evals_before;
            break;
        }
        held_error = held_now;
        if (changes == 0)
            break;
    }
    return values;
}

} // namespace

bool write_params_file(const char* name) {
    std::FILE* f = std::fopen(name, "w");
    if (!f)
        return false;
    bool ok = true;
    for (int i = 0; i < eval_params.count && ok; ++i) {
        const EvalWeight& w = eval_params.records[i];
        ok = std::fprintf(f, "%s, %d, %d\n", w.name, mg_of(w.value), eg_of(w.value)) > 0;
    }
    return std::fclose(f) == 0 && ok;
}

bool run_tuner(const TuningJob& job, TuneReport& report, std::string& message) {
    const auto started = std::chrono::steady_clock::now();
    const bool local = job.kind == TuningKind::TUNE2;
    const int group = job.digit < 0 ? 0 : job.digit;
    const char* output = job.output && job.output[0] ? job.output : "params.txt";
    char text[300];
    if (group >= GROUP_COUNT) {
        std::snprintf(text, sizeof text,
                      "no table group %d (0 all, 1 pawns, 2 knights and bishops, 3 rooks and queens, 4 king)", group);
        message = text;
        return false;
    }
    if (job.number < 0 || job.number > 100 || job.count < 0) {
        std::snprintf(text, sizeof text, "score share %lld must be 0..100 and passes %lld at least 0",
                      (long long)job.number, (long long)job.count);
        message = text;
        return false;
    }
    if (!job.file || std::strcmp(job.file, output) == 0) {
        message = "the training data would be overwritten by the output";
        return false;
    }
    const double share = double(job.number) / 100.0;
    TuneData data;
    if (!load_samples(job.file, share, local, data)) {
        std::snprintf(text, sizeof text, "cannot open %.200s", job.file);
        message = text;
        return false;
    }
    if (data.samples.empty()) {
        std::snprintf(text, sizeof text, "no usable position in %.200s (%d lines)", job.file, data.lines);
        message = text;
        return false;
    }
    report.positions = int(data.samples.size());
    report.skipped = data.skipped;
    std::vector<int> evals(data.samples.size());
    for (size_t i = 0; i < evals.size(); ++i)
        evals[i] = data.samples[i].eval;
    hold_out_blocks(data);
    report.held_out = data.held_out;
    report.k = fit_k(data, evals);
    set_targets(data, report.k, share);
    report.error_before = mean_error(data, evals, report.k);
    report.held_before = mean_error(data, evals, report.k, true);
    const std::vector<int> halves = free_halves(data, group);
    report.fitted = int(halves.size());
    say("positions %d (%d held out), skipped %d, K %.1f, entry halves fitted %d", report.positions,
        report.held_out, report.skipped, report.k, report.fitted);
    say("error before %.6f, held out %.6f", report.error_before, report.held_before);

    report.tables = local ? local_search(data, halves, report.k, job.count)
                          : fit_linear(data, halves, report.k, report.error_before, job.count);
    for (size_t i = 0; i < evals.size(); ++i)
        evals[i] = model_eval(data, data.samples[i], report.tables);
    report.error_model = mean_error(data, evals, report.k);

    // The promise checked: the same lines evaluated by the engine with the new tables.
    apply_tables(report.tables);
    TuneData again;
    load_samples(job.file, share, false, again);
    if (again.samples.size() != evals.size()) {
        message = "the training data changed while the tuner ran";
        return false;
    }
    for (size_t i = 0; i < evals.size(); ++i)
        evals[i] = again.samples[i].eval;
    report.error_after = mean_error(data, evals, report.k);
    report.held_after = mean_error(data, evals, report.k, true);

    if (!write_params_file(output)) {
        std::remove(output);
        std::snprintf(text, sizeof text, "cannot write %.200s", output);
        message = text;
        return false;
    }
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    say("error after %.6f (model %.6f), held out %.6f, seconds %.1f", report.error_after, report.error_model,
        report.held_after, report.seconds);
    std::snprintf(text, sizeof text, "info string tune: wrote %.200s", output);
    emit_line(text);
    return true;
}

} // namespace pst_tuner

void tune_tables(const TuningJob& job) {
    pst_tuner::TuneReport report;
    std::string message;
    if (!pst_tuner::run_tuner(job, report, message))
        emit_line(("info string tune: " + message).c_str());
}

} // namespace zelk
