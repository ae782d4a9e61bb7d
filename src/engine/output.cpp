#include "engine/output.h"

#include <atomic>
#include <cstdio>

#include "engine/options.h"

namespace zelk {

namespace {

// A spin lock suffices: it is held for one write, one flush and one log write.
std::atomic_flag output_lock = ATOMIC_FLAG_INIT;
FILE* log_stream = nullptr;

} // namespace

void log_line(const char* text) {
    if (options.Log && log_stream) {
        std::fputs(text, log_stream);
        std::fputc('\n', log_stream);
        std::fflush(log_stream);
    }
}

void emit_line(const char* text) {
    while (output_lock.test_and_set(std::memory_order_acquire)) {
    }
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    log_line(text);
    output_lock.clear(std::memory_order_release);
}

void open_log() {
    if (log_stream)
        return;
    FILE* probe = std::fopen("zelk.log", "r");
    if (probe) {
        std::fclose(probe);
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
