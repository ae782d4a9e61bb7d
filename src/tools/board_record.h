// A position with its own history stack, for jobs that play moves outside
// a search.
#pragma once

#include <memory>

#include "core/board.h"

namespace zelk {

class BoardRecord {
public:
    BoardRecord() : record_(std::make_unique<BoardState>()) {
        board_init(*record_);
        pos_from_fen(record_->pos, START_FEN);
    }
    Position& pos() { return record_->pos; }

private:
    std::unique_ptr<BoardState> record_;
};

} // namespace zelk
