#include "search/movepick.h"

#include <algorithm>

#include "core/attacks.h"
#include "core/movegen.h"
#include "core/see.h"
#include "search/thread.h"

namespace zelk {

namespace {

// Picker states (low nibble of the stage).
enum : uint16_t { ST_START, ST_GEN_CAPTURES, ST_CAPTURES, ST_GEN_QUIETS, ST_QUIETS, ST_CHECKS, ST_DONE };

// Good captures score from GOOD_CAPTURE up, ordered by the victim's value and
// the capture history; losing ones stay below the picker's threshold and are
// tried after the quiet moves.
constexpr int GOOD_CAPTURE = 2000;
constexpr int BAD_CAPTURE = -30000;

int capture_score(const SearchThread& t, const MoveEntry& e) {
    const int victim = type_of(e.victim), mover = type_of(e.piece);
    int score = GOOD_CAPTURE + 2 * see_values[victim] - mover + t.capture_history[e.piece][move_to(e.move)][victim] / 16;
    if ((e.move & FLAG_MASK) && mover == PAWN && promotion_type(e.move) == QUEEN)
        score += 1500;
    return score;
}

void score_captures(SearchThread& t, MoveEntry* begin, MoveEntry* end, bool by_exchange) {
    const Position& pos = t.pos;
    for (MoveEntry* e = begin; e != end; ++e) {
        const int victim = type_of(e->victim), mover = type_of(e->piece);
        e->score = int16_t(capture_score(t, *e));
        // The opponent wins back at most the mover, so a victim worth 50 more
        // than the mover needs no exchange test.
        if (!by_exchange || !victim || see_values[victim] - see_values[mover] >= 50)
            continue;
        const int from = move_from(e->move), to = move_to(e->move);
        const int gain = see_values[victim] - see(pos, pos.side ^ 1, to, mover, occupancy(pos) & ~bit(from));
        if (gain <= -50)
            e->score = int16_t(victim + 4);
    }
}

// Quiet moves: killers and counter moves first, then the sum of the
// butterfly history and the continuation histories of the moves one, two and
// four plies back (the last at half weight).
void score_quiets(SearchThread& t, int ply, MoveEntry* begin, MoveEntry* end) {
    const Position& pos = t.pos;
    const PlyRecord& rec = t.plies[ply];
    const Move prev = t.last_move;
    const int prev_piece = prev ? pos.board[move_to(prev)] : 0;
    const Move c1 = prev ? t.counter1[prev_piece][move_to(prev)] : NO_MOVE;
    const int16_t* h1 = cont_of(t, ply - 1);
    const int16_t* h2 = cont_of(t, ply - 2);
    const int16_t* h4 = cont_of(t, ply - 4);
    const int16_t* main = t.main_history[pos.side];
    for (MoveEntry* e = begin; e != end; ++e) {
        const Move m = e->move;
        const int i = e->piece * 64 + move_to(m);
        int h;
        if (m == (rec.in_check ? rec.evasion_killer : rec.killer1))
            h = 30000;
        else if (!rec.in_check && m == rec.killer2)
            h = 29000;
        else if (m == c1)
            h = 28000;
        else
            h = std::clamp((main[butterfly(m)] + h1[i] + h2[i] + h4[i] / 2) / 4, -20000, 20000);
        e->score = int16_t(h);
    }
}

inline MoveEntry* list_end(MoveEntry* e) {
    while (e->move != END_OF_LIST)
        ++e;
    return e;
}

} // namespace

void picker_start(SearchThread& t, int ply, uint16_t stage) {
    PlyRecord& rec = t.plies[ply];
    rec.stage = stage;
    rec.current = rec.list;
    rec.given_hash_move = NO_MOVE;
}

MoveEntry* next_move(SearchThread& t) {
    const int ply = t.search_ply;
    PlyRecord& rec = t.plies[ply];
    Position& pos = t.pos;
    const uint16_t wants = rec.stage & 0xF0;
    for (;;) {
        switch (rec.stage & 0x0F) {
        case ST_START:
            rec.stage = uint16_t(wants | ST_GEN_CAPTURES);
            if ((wants & PICK_HASH) && rec.hash_move) {
                MoveEntry& e = rec.hash_entry;
                e.move = rec.hash_move;
                e.score = 255;
                e.piece = pos.board[move_from(rec.hash_move)];
                e.victim = pos.board[move_to(rec.hash_move)];
                rec.given_hash_move = rec.hash_move;
                return &e;
            }
            break;
        case ST_GEN_CAPTURES: {
            MoveEntry* out = gen_captures(pos, pos.side, rec.list, rec.check_sq);
            out = gen_promotions(pos, pos.side, (wants & PICK_QUIETS) ? 1 : 0, out);
            out = gen_seventh_pushes(pos, pos.side, out);
            out->move = END_OF_LIST;
            t.plies[ply + 1].list = out + 1;
            score_captures(t, rec.list, out, (wants & PICK_QUIETS) != 0);
            rec.current = rec.list;
            rec.stage = uint16_t(wants | ST_CAPTURES);
            break;
        }
        case ST_CAPTURES:
            if (rec.current->move != END_OF_LIST) {
                pick_best(rec.current);
                if (!(wants & PICK_QUIETS) || rec.current->score > 150)
                    return rec.current++;
            }
            if (wants & PICK_QUIETS)
                rec.stage = uint16_t(wants | ST_GEN_QUIETS);
            else if (wants & PICK_QUIET_CHECKS)
                rec.stage = uint16_t(wants | ST_CHECKS);
            else
                rec.stage = uint16_t(wants | ST_DONE);
            if ((rec.stage & 0x0F) == ST_CHECKS) {
                MoveEntry* out = gen_quiet_checks(pos, pos.side, rec.current);
                for (MoveEntry* e = rec.current; e != out; ++e)
                    e->score = 100;
                out->move = END_OF_LIST;
                t.plies[ply + 1].list = out + 1;
            }
            break;
        case ST_GEN_QUIETS: {
            // Quiet moves go behind the bad captures still in the list.
            MoveEntry* begin = list_end(rec.current);
            MoveEntry* out = gen_quiets(pos, pos.side, begin, rec.check_sq);
            out->move = END_OF_LIST;
            t.plies[ply + 1].list = out + 1;
            for (MoveEntry* e = rec.current; e != begin; ++e)
                e->score = int16_t(BAD_CAPTURE + e->score);
            if (ply > 1)
                score_quiets(t, ply, begin, out);
            else
                for (MoveEntry* e = begin; e != out; ++e)
                    e->score = 0;
            rec.stage = uint16_t(wants | ST_QUIETS);
            break;
        }
        case ST_QUIETS:
            if (rec.current->move == END_OF_LIST) {
                rec.stage = uint16_t(wants | ST_DONE);
                break;
            }
            pick_best(rec.current);
            return rec.current++;
        case ST_CHECKS:
            if (rec.current->move != END_OF_LIST)
                return rec.current++;
            rec.stage = uint16_t(wants | ST_DONE);
            break;
        default:
            return nullptr;
        }
    }
}

int move_gives_check(const Position& pos, int side, Move m) {
    const int from = move_from(m), to = move_to(m);
    const int k = pos.king_sq[side ^ 1];
    if (k == NO_SQUARE)
        return 0;
    const int piece = type_of(pos.board[from]);
    Bitboard occ = (occupancy(pos) & ~bit(from)) | bit(to);
    Bitboard moved_away = bit(from);   // own pieces no longer where they stood
    if ((m & FLAG_MASK) && piece == KING) {
        // Castling: the rook checks from its new square (the move's to-square
        // is the king's destination, also in Chess960).
        const int right = side * 2 + ((m & FLAG_SHORT) ? 0 : 1);
        const int rook_from = pos.castle_rook[right];
        const int rook_to = (m & FLAG_SHORT) ? to - 1 : to + 1;
        if (rook_from == NO_SQUARE)
            return 0;
        occ = (occupancy(pos) & ~bit(from) & ~bit(rook_from)) | bit(to) | bit(rook_to);
        if (rook_attacks(rook_to, occ) & bit(k))
            return 1;
        moved_away |= bit(rook_from);
    } else {
        if (piece == PAWN && to == pos.ep_square)
            occ &= ~bit(to - (side == WHITE ? 8 : -8));
        const int moved = (m & FLAG_MASK) && piece == PAWN ? promotion_type(m) : piece;
        if (attacks_by_type(moved, side, to, occ) & bit(k))
            return 1;
    }
    // Discovered checks: sliders whose line to the king ran through a vacated square.
    const Bitboard* own = pos.pieces + side * 8;
    const Bitboard diagonal = bishop_attacks(k, occ) & (own[BISHOP] | own[QUEEN]) & ~moved_away;
    const Bitboard straight = rook_attacks(k, occ) & (own[ROOK] | own[QUEEN]) & ~moved_away;
    return (diagonal | straight) != 0;
}

uint16_t move_flags(const Position& pos, int side, const MoveEntry& e) {
    const Move m = e.move;
    const int to = move_to(m);
    const int piece = type_of(e.piece);
    uint16_t flags = 0;
    if (e.victim || (piece == PAWN && to == pos.ep_square))
        flags |= MF_CAPTURE;
    if (move_gives_check(pos, side, m))
        flags |= MF_CHECK;
    if (piece == PAWN) {
        const int rank = side == WHITE ? rank_of(to) : 7 - rank_of(to);
        if (rank == 6)
            flags |= MF_SEVENTH;
        if ((m & FLAG_MASK) && promotion_type(m) == QUEEN)
            flags |= MF_QUEEN_PROMOTION | MF_ADVANCED_PAWN;
        if (rank >= 6)
            flags |= MF_ADVANCED_PAWN;
        else if (rank == 5 && !(tables.passed_span[side][to] & pieces_of(pos, side ^ 1, PAWN)) &&
                 !pos.board[to + (side == WHITE ? 8 : -8)])
            flags |= MF_ADVANCED_PAWN;
    }
    return flags;
}

} // namespace zelk
