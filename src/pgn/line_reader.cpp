#include <algorithm>
#include <cstring>

#include "pgn/pgn.h"

namespace zelk::pgn {

namespace {
constexpr size_t BLOCK_SIZE = 1 << 16;
}

LineReader::LineReader(std::FILE* file, size_t max_chars)
    : file_(file), max_chars_(std::max<size_t>(1, max_chars)), block_(std::max(BLOCK_SIZE, 2 * max_chars_)) {}

// Moves the unread bytes to the front and reads more behind them.
void LineReader::refill() {
    if (begin_ > 0) {
        std::memmove(block_.data(), block_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    size_t got = std::fread(block_.data() + end_, 1, block_.size() - end_, file_);
    if (got == 0)
        at_eof_ = true;
    end_ += got;
}

bool LineReader::next(std::string_view& line) {
    for (;;) {
        const size_t available = end_ - begin_;
        const size_t scan = std::min(available, max_chars_);
        const char* start = block_.data() + begin_;
        const char* nl = static_cast<const char*>(std::memchr(start, '\n', scan));
        size_t piece = 0;
        bool has_end = false;
        if (nl) {
            piece = size_t(nl - start) + 1;
            has_end = true;
        } else if (available >= max_chars_ || (at_eof_ && available > 0)) {
            piece = scan;
        } else if (!at_eof_ && file_) {
            refill();
            continue;
        } else {
            return false;
        }
        begin_ += piece;
        line_ended_ = has_end || (at_eof_ && begin_ == end_);
        size_t len = has_end ? piece - 1 : piece;
        if (has_end && len > 0 && start[len - 1] == '\r')
            --len;
        line = std::string_view(start, len);
        return true;
    }
}

} // namespace zelk::pgn
