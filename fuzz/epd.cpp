// EPD text: every line through the reader, the moves of its operations read
// on its position as the analysis reads them; then the whole file through
// the analysis job itself, one-ply searches, as "-anepd" runs it.
#include <string>

#include "common.h"
#include "core/notation.h"
#include "core/position.h"
#include "search/control.h"
#include "search/thread.h"
#include "search/tt.h"
#include "tools/analyse.h"
#include "tools/epd.h"

namespace zelk::fuzz {
namespace {

// The operand's words as the analysis splits them, each read as a move.
void read_moves(const std::string& operand) {
    std::string word;
    for (char c : operand + ',') {
        if (c != ',' && c != '"' && c != '=' && c != ' ') {
            word += c;
            continue;
        }
        Move m = NO_MOVE;
        if (!word.empty())
            parse_move(game->pos, word.c_str(), m);
        word.clear();
    }
}

} // namespace
} // namespace zelk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelk;
    using namespace zelk::fuzz;
    init_engine();
    const std::string text = as_text(data, size);
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        EpdLine epd;
        if (parse_epd_line(line.c_str(), epd) != 0)
            fail("parse_epd_line refused a line", line);
        pos_from_fen(game->pos, epd.position.c_str());
        if (game->pos.king_sq[WHITE] == NO_SQUARE || game->pos.king_sq[BLACK] == NO_SQUARE)
            continue;
        read_moves(epd.bm);
        read_moves(epd.am);
        read_moves(epd.c0);
    }
    const std::string path = write_file("input.epd", data, size);
    control.depth_limit = 1;
    control.node_limit = 0;
    control.time_control_moves = 1;
    control.time_per_move = 1000;
    control.use_hash = 1;
    control.quit_flag = 0;
    analyse_epd(path.c_str(), "analysis.epd");
    reset_game();
    return 0;
}
