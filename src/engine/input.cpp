#include "engine/input.h"

#include <sys/ioctl.h>
#include <sys/select.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "engine/setup.h"
#include "search/control.h"
#include "engine/interpreter.h"

namespace zelk {

namespace {

constexpr size_t PENDING_SIZE = 5000;   // 4999 characters and the terminator
constexpr int LINE_SIZE = 4999;         // 4998 characters and the terminator
char pending[PENDING_SIZE];
size_t pending_length = 0;
bool input_ended = false;   // an offline job met the end of its input

void append_pending(const char* text) {
    size_t n = std::strlen(text);
    if (n > PENDING_SIZE - 1 - pending_length)
        n = PENDING_SIZE - 1 - pending_length;
    std::memcpy(pending + pending_length, text, n);
    pending_length += n;
    pending[pending_length] = 0;
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
    return bytes > 0;
}

void read_line() {
    char line[LINE_SIZE + 1];   // room for the '@' that replaces the line end
    if (!std::fgets(line, LINE_SIZE, stdin)) {
        // End of input: the interface has gone, so the engine ends as on "quit".
        // An offline job needs no interface (it may run with its input
        // closed): it stops reading and carries on.
        if (setup.job != OfflineJob::NONE) {
            input_ended = true;
            return;
        }
        append_pending("quit@");
        return;
    }
    char* end = line + std::strcspn(line, "\r\n");
    *end++ = '@';
    *end = 0;
    if (std::strlen(line) > 1)
        append_pending(line);
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
        read_line();
    char* at = static_cast<char*>(std::memchr(pending, '@', pending_length));
    if (!at)
        return;
    std::string command(pending, size_t(at - pending));
    const size_t rest = pending_length - size_t(at + 1 - pending);
    std::memmove(pending, at + 1, rest);
    pending_length = rest;
    pending[pending_length] = 0;
    std::erase(command, '\r');
    std::erase(command, '\n');
    if (control.protocol_mode == 1 || command == "uci")
        uci_command(command);
    else
        console_command(command);
}

void wait_for_input(int us) {
    if (std::memchr(pending, '@', pending_length))
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
