// A UCI engine run as a child process: its standard input, output and error
// on pipes, output split into lines by our own buffering, and every line
// in either direction written to the match log.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace referee {

// Microseconds on the monotonic clock.
int64_t now_us();

// The engine log: one line per message, "<ms since start> g<game> <engine>
// <direction> <text>", direction ">>" sent, "<<" received on standard
// output, "!!" received on standard error, "--" a note of the referee.
// Without a file it writes nothing.
class MatchLog {
public:
    bool open(const std::string& path);
    void write(const std::string& engine, const char* direction, std::string_view text);
    int game = 0;   // the game the next lines belong to

private:
    std::FILE* file_ = nullptr;
    int64_t start_us_ = now_us();
};

class EngineProcess {
public:
    EngineProcess(std::string name, std::vector<std::string> argv, MatchLog& log);
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    const std::string& name() const { return name_; }
    bool running() const { return pid_ > 0; }

    // Forks and execs the command in a process group of its own. False
    // (and a message in `error`) when the pipes or the fork fail; an exec
    // failure shows as an early exit with status 127.
    bool start(std::string& error);

    // Writes one line (the newline is added). False when the engine cannot
    // take it (its input closed, or full for 5 s); its output then counts
    // as closed.
    bool send(std::string_view line);

    // Takes the next complete output line, if any, and the time it was read.
    bool next_line(std::string& line, int64_t& read_us);

    // Time of the latest line on standard output.
    int64_t last_output_us() const { return last_output_us_; }

    // True once standard output reached its end (or a write failed) and
    // every line before the end was taken.
    bool closed() const { return (out_fd_ < 0 || input_broken_) && lines_.empty(); }

    // Waits up to `wait_ms` for the process to end and says how it ended
    // ("exit status 0", "killed by signal 11 (Segmentation fault)"); a
    // process still running then is killed, and the text says so.
    std::string reap(int wait_ms);

    // Kills the whole process group and reaps the engine.
    void kill_now();

    // "quit", then up to `wait_ms` for the exit, then a kill. Returns how
    // the process ended.
    std::string quit(int wait_ms);

    // For the poll loop: the descriptors to watch (-1 when closed) and the
    // reads once poll() reports them.
    int out_fd() const { return out_fd_; }
    int err_fd() const { return err_fd_; }
    void read_output();
    void read_errors();

    // Writes a note of the referee's to the log under this engine's name.
    void note(std::string_view text) { log_.write(name_, "--", text); }

private:
    void split_lines(std::string& buffer, bool is_output, bool at_end, int64_t read_us);
    void close_pipes();

    std::string name_;
    std::vector<std::string> argv_;
    MatchLog& log_;
    pid_t pid_ = -1;
    int in_fd_ = -1, out_fd_ = -1, err_fd_ = -1;
    std::string out_buffer_, err_buffer_;
    struct Line {
        std::string text;
        int64_t read_us;
    };
    std::deque<Line> lines_;
    int64_t last_output_us_ = 0;
    bool input_broken_ = false;
};

// Waits until a pipe of one of the engines has data or the deadline passes,
// and reads what came.
void pump(EngineProcess* const* engines, int count, int64_t deadline_us);

// Installs the handlers that kill the running engines when the referee
// gets SIGINT or SIGTERM, and ignores SIGPIPE.
void install_signal_handlers();

} // namespace referee
