#include "engine/input.h"

#include <sys/ioctl.h>
#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/setup.h"
#include "search/control.h"
#include "engine/interpreter.h"

namespace zelk {

namespace {

// A line is kept whole up to this length: a "position" command lists every
// move of the game, and a game may be thousands of plies long. Longer lines
// are cut there; the pending text is bounded the same way.
constexpr size_t LINE_LIMIT = size_t(1) << 20;
constexpr size_t PENDING_LIMIT = 2 * LINE_LIMIT;
std::string pending;
bool input_ended = false;   // standard input has ended

void append_pending(const std::string& text) {
    pending.append(text, 0, std::min(text.size(), PENDING_LIMIT - std::min(PENDING_LIMIT, pending.size())));
}

bool input_waiting() {
    if (input_ended)
        return false;
    if (control.protocol_mode) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(0, &set);
        timeval zero{0, 0};
        return select(1, &set, nullptr, nullptr, &zero) > 0;
    }
    int bytes = 0;
    if (ioctl(0, FIONREAD, &bytes) < 0)
        return true;   // not a terminal or pipe that can say: let the read decide
    if (bytes > 0)
        return true;
    // No bytes, yet readable: the end of input (a closed pipe, Ctrl-D), which
    // the read turns into "quit".
    fd_set set;
    FD_ZERO(&set);
    FD_SET(0, &set);
    timeval zero{0, 0};
    return select(1, &set, nullptr, nullptr, &zero) > 0;
}

// One line of standard input without its line end, false at the end of
// input. The stream is unbuffered, so what select sees waiting is all there is.
bool read_line(std::string& line) {
    line.clear();
    int c;
    while ((c = std::getchar()) != EOF && c != '\n')
        if (line.size() < LINE_LIMIT)
            line += char(c);
    return c != EOF || !line.empty();
}

void read_command_line() {
    std::string line;
    if (!read_line(line)) {
        // End of input. An offline job needs no interface (it may run with
        // its input closed): it stops reading and carries on. A console
        // ends as on "quit"; UCI answers its search first (command_step).
        input_ended = true;
        if (setup.job == OfflineJob::NONE && !control.protocol_mode)
            append_pending("quit@");
        return;
    }
    line.resize(std::min(line.find_first_of("\r\n"), line.size()));
    if (!line.empty())
        append_pending(line + '@');
}

} // namespace

std::string first_word(const char* text) {
    while (*text == ' ')
        ++text;
    size_t n = std::strcspn(text, " \n\r");
    return std::string(text, n < 127 ? n : 127);
}

void queue_commands(const char* text) { append_pending(text); }

void command_step() {
    if (input_waiting())
        read_command_line();
    const size_t at = pending.find('@');
    if (at == std::string::npos) {
        if (input_ended && setup.job == OfflineJob::NONE && control.protocol_mode)
            uci_input_ended();
        return;
    }
    std::string command = pending.substr(0, at);
    pending.erase(0, at + 1);
    std::erase(command, '\r');
    std::erase(command, '\n');
    // Interfaces may separate words with tabs: every reader here splits at blanks.
    std::replace(command.begin(), command.end(), '\t', ' ');
    if (control.protocol_mode == 1 || command == "uci")
        uci_command(command);
    else
        console_command(command);
}

void wait_for_input(int us) {
    if (pending.find('@') != std::string::npos)
        return;
    // Only UCI input is watched: a console cannot tell the end of its input
    // from waiting input.
    const bool watch = control.protocol_mode && !input_ended;
    fd_set set;
    FD_ZERO(&set);
    if (watch)
        FD_SET(0, &set);
    timeval timeout{0, us};
    select(watch ? 1 : 0, watch ? &set : nullptr, nullptr, nullptr, &timeout);
}

void stop_and_wait() {
    uint8_t state = control.search_state.load();
    if (state == STATE_IDLE)
        return;
    // A search that was only requested never started: nothing to wait for.
    if (state == STATE_SEARCHING || state == STATE_PONDERING || state == STATE_OFFLINE) {
        control.stop_flag = 1;
        while (!(control.search_state.load() & STATE_FINISHED)) {
            timeval ms{0, 1000};
            select(0, nullptr, nullptr, nullptr, &ms);
        }
    }
    control.stop_flag = 0;
    control.search_state = STATE_IDLE;
}

} // namespace zelk
