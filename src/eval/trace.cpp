// The breakdown printed by "ev" (trace 1) and "sp" (trace 2): section values
// per colour blended by the phase, the hung pieces and free passed pawns,
// the result, and at level 2 every weight and piece-square table.
#include <cstdio>
#include <cstring>

#include "core/attacks.h"
#include "core/position.h"
#include "eval/hce.h"
#include "eval/weights.h"

namespace zelk {

namespace {

int interp(const EvalContext& ec, ScorePair v) {
    const double eg = ec.eg_weight;
    return int(eg * eg_of(v) + (1.0 - eg) * mg_of(v));
}

void print_squares(TextSink out, const char* title, Bitboard squares) {
    if (!squares)
        return;
    char line[256];
    int n = std::snprintf(line, sizeof line, "%s", title);
    while (squares) {
        char name[4];
        square_name(pop_lsb(squares), name);
        n += std::snprintf(line + n, sizeof line - n, " %s", name);
    }
    out(line);
}

void print_weights(TextSink out) {
    char line[128];
    for (int i = 0; i < eval_params.count; ++i) {
        const EvalWeight& w = eval_params.records[i];
        if (std::strstr(w.name, "PST_"))
            continue;
        std::snprintf(line, sizeof line, "%-22s  %4d , %4d", w.name, mg_of(w.value), eg_of(w.value));
        out(line);
    }
    struct Shown {
        PstId id;
        const char* title;
    };
    constexpr Shown SHOWN[PST_COUNT] = {
        {PST_P1, "Pawn1"},   {PST_P2, "Pawn2"},   {PST_CP, "Connected Pawn"}, {PST_DP, "Defended Pawn"},
        {PST_N1, "Knight1"}, {PST_N2, "Knight2"}, {PST_B1, "Bishop1"},        {PST_B2, "Bishop2"},
        {PST_R1, "Rook1"},   {PST_R2, "Rook2"},   {PST_Q1, "Queen1"},         {PST_Q2, "Queen2"},
        {PST_K, "King"},
    };
    for (const Shown& t : SHOWN) {
        out(t.title);
        for (int rank = 7; rank >= 0; --rank) {
            int n = 0;
            for (int file = 0; file < 8; ++file)
                n += std::snprintf(line + n, sizeof line - n, " %3d", mg_of(eval_weights.pst[t.id][8 * rank + file]->value));
            n += std::snprintf(line + n, sizeof line - n, "     ");
            for (int file = 0; file < 8; ++file)
                n += std::snprintf(line + n, sizeof line - n, " %3d", eg_of(eval_weights.pst[t.id][8 * rank + file]->value));
            out(line);
        }
        out("");
    }
}

} // namespace

void print_trace(const EvalContext& ec, int result, float sf) {
    const TextSink out = ec.state->trace_sink;
    const Position& pos = *ec.pos;
    const EvalHandles& w = eval_weights;
    char line[128];
    out("           white  black    pos    mtl");

    // Sections with material: the material is shown apart from the rest.
    struct Row {
        const char* label;
        EvalSection section;
        const EvalWeight* material;
        int shift;        // the kind's nibble in the material signature
    };
    const Row rows[9] = {
        {"pawns:", SEC_PAWNS, w.mtl_pawn, 0},       {"knights:", SEC_KNIGHTS, w.mtl_knight, 4},
        {"bishops:", SEC_BISHOPS, w.mtl_bishop, 8}, {"rooks:", SEC_ROOKS, w.mtl_rook, 12},
        {"queens:", SEC_QUEENS, w.mtl_queen, 16},   {"king:", SEC_KING, nullptr, 0},
        {"ppawns:", SEC_PPAWNS, nullptr, 0},        {"threats:", SEC_THREATS, nullptr, 0},
        {"special:", SEC_SPECIAL, nullptr, 0},
    };
    for (const Row& row : rows) {
        int white = interp(ec, ec.section[row.section][WHITE]);
        int black = interp(ec, ec.section[row.section][BLACK]);
        int material = 0;
        if (row.material) {
            const int mw = interp(ec, int((pos.mat_sig[WHITE] >> row.shift) & 0xf) * row.material->value);
            const int mb = interp(ec, int((pos.mat_sig[BLACK] >> row.shift) & 0xf) * row.material->value);
            white -= mw;
            black -= mb;
            material = mw - mb;
        }
        std::snprintf(line, sizeof line, "%-10s  %4d   %4d   %4d   %4d", row.label, white, black, white - black,
                      material);
        out(line);
    }
    print_squares(out, "hung pieces on: ", ec.hung);
    print_squares(out, "free pawns on: ", ec.free_pawns);
    std::snprintf(line, sizeof line, "eval= %d, phase= %0.2f, sf= %0.2f, rule50= %d", result, double(ec.eg_weight),
                  double(sf), int(pos.halfmove));
    out(line);
    out("");
    if (ec.trace >= 2)
        print_weights(out);
}

} // namespace zelk
