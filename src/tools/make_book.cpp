#include "tools/make_book.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "book/book.h"
#include "core/board.h"
#include "core/makemove.h"
#include "io/output.h"
#include "pgn/pgn.h"

namespace zelk {

namespace {

constexpr int LIST_COUNT = 16384;          // lists by the top 14 bits of the key
constexpr int GAME_MOVE_LIMIT = 36;        // a line starting later in a game is skipped
constexpr int GAME_MOVE_CAP = HISTORY_CAPACITY / 2;   // what one game may hold at all
constexpr size_t LINE_CHARS = 1023;
constexpr double MAX_WEIGHT = 60000;
constexpr const char* BOOK_NAME = "tmp_book.bin";

enum GameResult : uint8_t { WHITE_WON = 0, BLACK_WON = 1, DRAWN = 2, UNDECIDED = 3 };
enum Outcome : uint8_t { WIN, LOSS, DRAW };

struct MoveStats {
    uint64_t key;
    uint32_t counts[3];   // by Outcome, for the side that played the move
    uint16_t move;        // Polyglot move field
    MoveStats* next;
};

// Each list stays in ascending key order; equal keys keep the order in
// which their moves first appeared.
struct StatsTable {
    std::array<MoveStats*, LIST_COUNT> lists{};
    int nodes = 0;

    StatsTable() = default;
    StatsTable(const StatsTable&) = delete;
    StatsTable& operator=(const StatsTable&) = delete;
    ~StatsTable() {
        for (MoveStats* node : lists)
            while (node) {
                MoveStats* next = node->next;
                delete node;
                node = next;
            }
    }

    // False when a new node cannot be allocated.
    bool count(uint64_t key, uint16_t move, Outcome outcome) {
        MoveStats** link = &lists[key >> 50];
        while (*link && (*link)->key < key)
            link = &(*link)->next;
        for (; *link && (*link)->key == key; link = &(*link)->next)
            if ((*link)->move == move) {
                ++(*link)->counts[outcome];
                return true;
            }
        MoveStats* node = new (std::nothrow) MoveStats{key, {0, 0, 0}, move, *link};
        if (!node)
            return false;
        ++node->counts[outcome];
        *link = node;
        ++nodes;
        return true;
    }
};

struct GameState {
    GameResult result = UNDECIDED;
    int moves = 0;
    bool error = false;
};

GameResult result_of(std::string_view line) {
    if (line.find("1-0") != std::string_view::npos)
        return WHITE_WON;
    if (line.find("0-1") != std::string_view::npos)
        return BLACK_WON;
    if (line.find("1/2") != std::string_view::npos)
        return DRAWN;
    return UNDECIDED;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Reads the games into the table; returns false when memory ran out.
bool count_games(std::FILE* input, StatsTable& table, int& games) {
    auto board = std::make_unique<BoardState>();
    board_init(*board);
    Position& pos = board->pos;
    pgn::LineReader lines(input, LINE_CHARS);
    pgn::Lexer lexer;
    std::vector<pgn::Token> tokens;
    GameState game;
    std::string_view line;
    while (lines.next(line)) {
        if (line.find("[Result") != std::string_view::npos) {
            pos_from_fen(pos, START_FEN);
            game = GameState{result_of(line), 0, false};
            lexer.reset();
            if (++games % 1024 == 0) {
                std::fputc('.', stdout);
                std::fflush(stdout);
            }
            continue;
        }
        const bool skipped_line = !line.empty() && (line[0] == ';' || line[0] == '[') && lexer.comment_depth() == 0;
        if (skipped_line || game.result == UNDECIDED || game.moves >= GAME_MOVE_LIMIT || game.error)
            continue;
        lexer.lex_line(line, tokens);
        for (const pgn::Token& token : tokens) {
            if (token.kind != pgn::TokenKind::MOVE || token.variation_depth != 0)
                continue;
            const uint64_t key = book_key(pos);
            const Outcome outcome = game.result == pos.side ? WIN : game.result == (pos.side ^ 1) ? LOSS : DRAW;
            const Move m = pgn::decode_move(pos, token.text);
            if (!m || game.moves >= GAME_MOVE_CAP) {
                game.error = true;
                break;
            }
            ++game.moves;
            const uint16_t polyglot_move = book_move_from_engine(m, pos);
            make_move(pos, m);
            if (!table.count(key, polyglot_move, outcome))
                return false;
        }
    }
    return true;
}

int64_t score_of(const MoveStats& n) {
    return 4 * int64_t(n.counts[WIN]) - 2 * int64_t(n.counts[LOSS]) + n.counts[DRAW];
}

bool is_kept(const MoveStats& n) { return n.counts[WIN] > 2 && score_of(n) > 9; }

// The kept moves of one key (the run first .. end), weighted by their score
// scaled to at most MAX_WEIGHT, heaviest first.
void keep_moves(const MoveStats* first, const MoveStats* end, std::vector<BookEntry>& kept) {
    kept.clear();
    int64_t best = 0;
    for (const MoveStats* n = first; n != end; n = n->next)
        if (is_kept(*n))
            best = std::max(best, score_of(*n));
    const double factor = best > MAX_WEIGHT ? MAX_WEIGHT / double(best) : 1.0;
    for (const MoveStats* n = first; n != end; n = n->next)
        if (is_kept(*n))
            kept.push_back(BookEntry{n->key, n->move, uint16_t(double(score_of(*n)) * factor), 0});
    std::stable_sort(kept.begin(), kept.end(), [](const BookEntry& a, const BookEntry& b) { return a.weight > b.weight; });
}

bool write_book(const StatsTable& table) {
    std::remove(BOOK_NAME);
    FileHandle out(std::fopen(BOOK_NAME, "wb"));
    if (!out)
        return false;
    std::vector<BookEntry> kept;
    unsigned char bytes[BOOK_ENTRY_BYTES];
    for (const MoveStats* node : table.lists) {
        while (node) {
            const MoveStats* end = node;
            while (end && end->key == node->key)
                end = end->next;
            keep_moves(node, end, kept);
            for (const BookEntry& e : kept) {
                book_entry_encode(e, bytes);
                if (std::fwrite(bytes, 1, sizeof bytes, out.get()) != sizeof bytes)
                    return false;
            }
            node = end;
        }
    }
    return true;
}

} // namespace

void make_book(const char* pgn_name) {
    FileHandle input(std::fopen(pgn_name, "r"));
    if (!input)
        return;
    char line[200];
    std::snprintf(line, sizeof line, " Creating file %s from games in %s", BOOK_NAME, pgn_name);
    emit_line(line);
    StatsTable table;
    int games = 0;
    const bool counted = count_games(input.get(), table, games);
    input.reset();
    if (!counted) {
        emit_line("info string out of memory: no book written");
        return;
    }
    std::fputs("\nwriting book file ...", stdout);
    if (!write_book(table))
        emit_line("info string cannot write tmp_book.bin");
    std::printf("\nngames= %d, nmoves= %d\n", games, table.nodes);
    std::fputs("done\n\n", stdout);
    std::fflush(stdout);
}

} // namespace zelk
