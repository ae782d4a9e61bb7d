#include "chess_game.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "core/attacks.h"
#include "core/board.h"
#include "core/hashcodes.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "core/position.h"

using namespace zelk;

namespace referee {

namespace {

std::vector<Move> legal_moves(const Position& pos) {
    MoveEntry list[MAX_MOVES];
    gen_all(pos, list);
    std::vector<Move> moves;
    for (MoveEntry* e = list; e->move != END_OF_LIST; ++e)
        if (is_legal(pos, pos.side, e->move))
            moves.push_back(e->move);
    return moves;
}

bool in_check(const Position& pos) {
    const int k = pos.king_sq[pos.side];
    return k != NO_SQUARE && is_attacked(pos, k, pos.side ^ 1);
}

std::vector<std::string> fields_of(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> fields;
    for (std::string f; in >> f;)
        fields.push_back(f);
    return fields;
}

} // namespace

void init_chess() {
    init_attack_tables();
    make_hash_codes();
    notation_style.uci = true;
    notation_style.chess960 = false;
}

ChessGame::ChessGame() : board_(std::make_unique<BoardState>()) { board_init(*board_); }

ChessGame::~ChessGame() = default;

int ChessGame::side_to_move() const { return board_->pos.side; }

bool ChessGame::reset(const std::string& fen, std::string& error) {
    const std::vector<std::string> f = fields_of(fen);
    if (f.size() < 4) {
        error = "a FEN needs at least four fields";
        return false;
    }
    if (f[1] != "w" && f[1] != "b") {
        error = "the side to move is not \"w\" or \"b\"";
        return false;
    }
    board_init(*board_);
    Position& pos = board_->pos;
    pos_from_fen(pos, fen.c_str());
    const int clock = fen_halfmove_clock(fen);
    pos.halfmove = uint8_t(clock >= 0 ? std::min(clock, 100) : 0);
    start_fullmove_ = f.size() >= 6 ? std::max(1, std::atoi(f[5].c_str())) : 1;
    start_side_ = pos.side;
    for (int c = 0; c < 2; ++c)
        if (popcount(pieces_of(pos, c, KING)) != 1) {
            error = std::string("not exactly one ") + (c == WHITE ? "white" : "black") + " king";
            return false;
        }
    if (is_attacked(pos, pos.king_sq[pos.side ^ 1], pos.side)) {
        error = "the side not to move is in check";
        return false;
    }
    if (legal_moves(pos).empty()) {
        error = "no legal move";
        return false;
    }
    // The engines get the FEN as the core read it, so both sides agree on
    // the position even when the text had squares or rights it dropped.
    char text[FEN_BUFFER_SIZE];
    pos_to_fen(pos, text, false);
    start_fen_ = std::string(text) + " " + std::to_string(pos.halfmove) + " " + std::to_string(start_fullmove_);
    standard_start_ = std::string(text) == START_FEN && pos.halfmove == 0 && start_fullmove_ == 1;
    moves_.clear();
    keys_.assign(1, repetition_key());
    return true;
}

Move ChessGame::find_move(const std::string& text) const {
    const Position& pos = board_->pos;
    for (Move m : legal_moves(pos)) {
        char coord[MOVE_TEXT_SIZE];
        move_to_coord(pos, pos.side, m, coord);
        if (text == coord)
            return m;
    }
    return NO_MOVE;
}

bool ChessGame::has_legal_move() const { return !legal_moves(board_->pos).empty(); }

std::string ChessGame::san(Move m) {
    Position& pos = board_->pos;
    char forms[4][MOVE_TEXT_SIZE];
    move_to_texts(pos, m, forms[0], forms[1], forms[2], forms[3]);
    // Form 2 is SAN, except castling, which form 3 spells "O-O". The check
    // mark is set here, with "#" for mate (the writer leaves castling bare).
    const bool castling = type_of(pos.board[move_from(m)]) == KING && move_flags_of(m);
    std::string text = castling ? forms[2] : forms[1];
    while (!text.empty() && text.back() == '+')
        text.pop_back();
    make_move(pos, m);
    if (in_check(pos))
        text += legal_moves(pos).empty() ? "#" : "+";
    unmake_move(pos);
    return text;
}

void ChessGame::play(Move m, const std::string& coordinate) {
    make_move(board_->pos, m);
    moves_.push_back(coordinate);
    keys_.push_back(repetition_key());
}

// The position as FIDE's repetition rule compares it: pieces, side,
// castling rights, and the en-passant square only when a capture there is
// legal.
std::string ChessGame::repetition_key() const {
    const Position& pos = board_->pos;
    char text[FEN_BUFFER_SIZE];
    pos_to_fen(pos, text, false);
    std::string key = text;
    if (pos.ep_square != NO_SQUARE) {
        bool capture = false;
        for (Move m : legal_moves(pos))
            capture = capture || (move_to(m) == pos.ep_square && type_of(pos.board[move_from(m)]) == PAWN);
        if (!capture) {
            const size_t blank = key.rfind(' ');
            key = key.substr(0, blank) + " -";
        }
    }
    return key;
}

Ending ChessGame::ending() const {
    const Position& pos = board_->pos;
    if (legal_moves(pos).empty())
        return in_check(pos) ? Ending::Checkmate : Ending::Stalemate;
    if (std::count(keys_.begin(), keys_.end(), keys_.back()) >= 3)
        return Ending::Repetition;
    if (pos.halfmove >= 100)
        return Ending::FiftyMoves;
    const int heavy = popcount(pos.pieces[PAWN] | pos.pieces[ROOK] | pos.pieces[QUEEN] | pos.pieces[8 + PAWN] |
                               pos.pieces[8 + ROOK] | pos.pieces[8 + QUEEN]);
    if (heavy == 0) {
        const Bitboard knights = pos.pieces[KNIGHT] | pos.pieces[8 + KNIGHT];
        const Bitboard bishops = pos.pieces[BISHOP] | pos.pieces[8 + BISHOP];
        constexpr Bitboard DARK = 0xAA55AA55AA55AA55ULL;
        // K v K, K+minor v K, and bishops all on one square colour.
        if (popcount(knights | bishops) <= 1 ||
            (knights == 0 && ((bishops & DARK) == 0 || (bishops & ~DARK) == 0)))
            return Ending::Material;
    }
    return Ending::None;
}

bool ChessGame::bare_king(int side) const {
    const Position& pos = board_->pos;
    return colour_pieces(pos, side) == pieces_of(pos, side, KING);
}

std::string ChessGame::position_command(const std::vector<std::string>& extra) const {
    std::string cmd = standard_start_ ? "position startpos" : "position fen " + start_fen_;
    if (!moves_.empty() || !extra.empty()) {
        cmd += " moves";
        for (const std::string& m : moves_)
            cmd += " " + m;
        for (const std::string& m : extra)
            cmd += " " + m;
    }
    return cmd;
}

bool write_pgn(std::FILE* file, const PgnGame& game) {
    std::string out;
    for (const auto& [name, value] : game.tags) {
        std::string quoted;
        for (char c : value) {
            if (c == '"' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        out += "[" + name + " \"" + quoted + "\"]\n";
    }
    out += '\n';

    // Move text as words, wrapped at 79 columns. A black move after a
    // comment gets its number again ("12..."), as export format asks.
    std::vector<std::string> words;
    auto comment = [&](const std::string& text) {
        std::string clean = text;
        std::replace(clean.begin(), clean.end(), '}', ')');
        std::replace(clean.begin(), clean.end(), '{', '(');
        std::istringstream in("{" + clean + "}");
        for (std::string w; in >> w;)
            words.push_back(w);
    };
    if (!game.first_comment.empty())
        comment(game.first_comment);
    bool after_comment = true;
    int side = game.start_side, number = game.start_fullmove;
    for (size_t i = 0; i < game.sans.size(); ++i) {
        if (side == WHITE)
            words.push_back(std::to_string(number) + ".");
        else if (after_comment)
            words.push_back(std::to_string(number) + "...");
        words.push_back(game.sans[i]);
        after_comment = i < game.comments.size() && !game.comments[i].empty();
        if (after_comment)
            comment(game.comments[i]);
        if (side == BLACK)
            ++number;
        side ^= 1;
    }
    if (!game.last_comment.empty())
        comment(game.last_comment);
    words.push_back(game.result);

    std::string line;
    for (const std::string& w : words) {
        if (!line.empty() && line.size() + 1 + w.size() > 79) {
            out += line + '\n';
            line.clear();
        }
        line += (line.empty() ? "" : " ") + w;
    }
    out += line + "\n\n";
    const bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fflush(file) == 0 && ok;
}

} // namespace referee
