#include "engine/output.h"

#include <cstdio>

#include "engine/locks.h"
#include "engine/options.h"

namespace zelk {

namespace {
FILE* log_stream = nullptr;
}

int command_echo = 1;

void log_line(const char* text) {
    if (options.Log && log_stream) {
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

void open_log() {
    if (log_stream)
        return;
    if (FILE* old = std::fopen("zelk.log", "r")) {
        std::fclose(old);
        if (std::remove("zelk.log") != 0) {
            std::fputs("log file in use.\n", stdout);
            options.Log = 0;
            return;
        }
    }
    log_stream = std::fopen("zelk.log", "w");
}

void close_log() {
    if (log_stream) {
        std::fclose(log_stream);
        log_stream = nullptr;
    }
}

} // namespace zelk
