#include "io/output.h"

#include <cstdio>

#include "io/locks.h"

namespace zelk {

namespace {
FILE* log_stream = nullptr;
bool log_on = false;
}

int command_echo = 1;

void log_line(const char* text) {
    if (log_on && log_stream) {
        std::fputs(text, log_stream);
        std::fputc('\n', log_stream);
        std::fflush(log_stream);
    }
}

void emit_line(const char* text) {
    SpinGuard guard(locks.output_lock);
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    log_line(text);
}

bool set_logging(bool on) {
    log_on = false;
    if (!on)
        return false;
    if (!log_stream) {
        if (FILE* old = std::fopen("zelk.log", "r")) {
            std::fclose(old);
            if (std::remove("zelk.log") != 0) {
                std::fputs("log file in use.\n", stdout);
                return false;
            }
        }
        log_stream = std::fopen("zelk.log", "w");
    }
    log_on = log_stream != nullptr;
    return log_on;
}

void close_log() {
    log_on = false;
    if (log_stream) {
        std::fclose(log_stream);
        log_stream = nullptr;
    }
}

} // namespace zelk
