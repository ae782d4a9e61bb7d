#include "engine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace referee {

namespace {

// A line longer than this is cut into pieces of this size.
constexpr size_t MAX_LINE = 1 << 20;

// Process groups of the running engines, for the signal handler.
constexpr int MAX_ENGINES = 8;
volatile sig_atomic_t engine_groups[MAX_ENGINES];

void register_group(pid_t pid) {
    for (auto& g : engine_groups)
        if (g == 0) {
            g = pid;
            return;
        }
}

void unregister_group(pid_t pid) {
    for (auto& g : engine_groups)
        if (g == pid)
            g = 0;
}

void on_fatal_signal(int sig) {
    for (auto& g : engine_groups)
        if (g > 0)
            kill(-pid_t(g), SIGKILL);
    signal(sig, SIG_DFL);
    raise(sig);
}

std::string exit_text(int status) {
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const char* what = strsignal(sig);
        return "killed by signal " + std::to_string(sig) + " (" + (what ? what : "?") + ")";
    }
    return "status " + std::to_string(status);
}

} // namespace

int64_t now_us() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

bool MatchLog::open(const std::string& path) {
    // "e": not inherited by the engines.
    file_ = std::fopen(path.c_str(), "ae");
    return file_ != nullptr;
}

void MatchLog::write(const std::string& engine, const char* direction, std::string_view text) {
    if (!file_)
        return;
    const int64_t ms = (now_us() - start_us_) / 1000;
    std::fprintf(file_, "%lld g%d %s %s %.*s\n", static_cast<long long>(ms), game, engine.c_str(), direction,
                 int(text.size()), text.data());
    // Kept complete at every line: the log is read after crashes and kills.
    std::fflush(file_);
}

EngineProcess::EngineProcess(std::string name, std::vector<std::string> argv, MatchLog& log)
    : name_(std::move(name)), argv_(std::move(argv)), log_(log) {}

EngineProcess::~EngineProcess() {
    if (pid_ > 0)
        kill_now();
}

bool EngineProcess::start(std::string& error) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        close(in[0]), close(in[1]);
        return false;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        close(in[0]), close(in[1]), close(out[0]), close(out[1]);
        return false;
    }
    std::vector<char*> args;
    for (std::string& a : argv_)
        args.push_back(a.data());
    args.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        return false;
    }
    if (pid == 0) {
        // The child: its own process group, so that a kill reaches whatever
        // a wrapper script starts; the signals the referee ignores back to
        // their defaults. Every other descriptor is close-on-exec.
        setpgid(0, 0);
        signal(SIGPIPE, SIG_DFL);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execvp(args[0], args.data());
        const char* what = std::strerror(errno);
        const char prefix[] = "cannot run ";
        (void)!::write(2, prefix, sizeof prefix - 1);
        (void)!::write(2, args[0], std::strlen(args[0]));
        (void)!::write(2, ": ", 2);
        (void)!::write(2, what, std::strlen(what));
        (void)!::write(2, "\n", 1);
        _exit(127);
    }
    setpgid(pid, pid);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    pid_ = pid;
    register_group(pid);
    in_fd_ = in[1];
    out_fd_ = out[0];
    err_fd_ = err[0];
    fcntl(in_fd_, F_SETFL, fcntl(in_fd_, F_GETFL) | O_NONBLOCK);
    input_broken_ = false;
    out_buffer_.clear();
    err_buffer_.clear();
    lines_.clear();
    last_output_us_ = now_us();
    std::string command;
    for (const std::string& a : argv_)
        command += (command.empty() ? "" : " ") + a;
    note("started pid " + std::to_string(pid) + ": " + command);
    return true;
}

bool EngineProcess::send(std::string_view line) {
    if (in_fd_ < 0)
        return false;
    log_.write(name_, ">>", line);
    std::string text(line);
    text += '\n';
    size_t done = 0;
    const int64_t give_up = now_us() + 5000000;
    while (done < text.size()) {
        const ssize_t n = ::write(in_fd_, text.data() + done, text.size() - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && now_us() < give_up) {
            pollfd p{in_fd_, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        note(std::string("cannot write: ") + (n < 0 ? std::strerror(errno) : "no progress"));
        close(in_fd_);
        in_fd_ = -1;
        input_broken_ = true;
        return false;
    }
    return true;
}

bool EngineProcess::next_line(std::string& line, int64_t& read_us) {
    if (lines_.empty())
        return false;
    line = std::move(lines_.front().text);
    read_us = lines_.front().read_us;
    lines_.pop_front();
    return true;
}

void EngineProcess::split_lines(std::string& buffer, bool is_output, bool at_end, int64_t read_us) {
    size_t begin = 0;
    for (;;) {
        size_t end = buffer.find('\n', begin);
        if (end == std::string::npos) {
            if (buffer.size() - begin >= MAX_LINE)
                end = begin + MAX_LINE;
            else if (at_end && begin < buffer.size())
                end = buffer.size();
            else
                break;
        }
        std::string line = buffer.substr(begin, end - begin);
        begin = end < buffer.size() && buffer[end] == '\n' ? end + 1 : end;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        log_.write(name_, is_output ? "<<" : "!!", line);
        if (is_output) {
            last_output_us_ = read_us;
            lines_.push_back({std::move(line), read_us});
        }
    }
    buffer.erase(0, begin);
}

void EngineProcess::read_output() {
    if (out_fd_ < 0)
        return;
    char chunk[65536];
    const ssize_t n = ::read(out_fd_, chunk, sizeof chunk);
    // Lines carry the time they were read, taken before the log is
    // written: a slow log write does not count against the engine's clock.
    const int64_t read_us = now_us();
    if (n > 0) {
        out_buffer_.append(chunk, size_t(n));
        split_lines(out_buffer_, true, false, read_us);
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        split_lines(out_buffer_, true, true, read_us);
        note("end of output");
        close(out_fd_);
        out_fd_ = -1;
    }
}

void EngineProcess::read_errors() {
    if (err_fd_ < 0)
        return;
    char chunk[65536];
    const ssize_t n = ::read(err_fd_, chunk, sizeof chunk);
    if (n > 0) {
        err_buffer_.append(chunk, size_t(n));
        split_lines(err_buffer_, false, false, 0);
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        split_lines(err_buffer_, false, true, 0);
        close(err_fd_);
        err_fd_ = -1;
    }
}

void EngineProcess::close_pipes() {
    for (int* fd : {&in_fd_, &out_fd_, &err_fd_})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
}

std::string EngineProcess::reap(int wait_ms) {
    if (pid_ <= 0)
        return "not running";
    const int64_t until = now_us() + int64_t(wait_ms) * 1000;
    int status = 0;
    std::string how;
    for (;;) {
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            how = exit_text(status);
            break;
        }
        if (r < 0 && errno != EINTR) {
            how = std::string("lost: ") + std::strerror(errno);
            break;
        }
        if (now_us() >= until) {
            kill(-pid_, SIGKILL);
            kill(pid_, SIGKILL);
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            how = "still running after " + std::to_string(wait_ms) + " ms, killed";
            break;
        }
        // Drain standard error meanwhile: a crash report may still be coming.
        if (err_fd_ >= 0) {
            pollfd p{err_fd_, POLLIN, 0};
            if (poll(&p, 1, 10) > 0)
                read_errors();
        } else {
            usleep(10000);
        }
    }
    // Whatever else the process group left running goes too.
    kill(-pid_, SIGKILL);
    unregister_group(pid_);
    while (err_fd_ >= 0) {
        pollfd p{err_fd_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            break;
        read_errors();
    }
    close_pipes();
    note("process " + std::to_string(pid_) + " ended: " + how);
    pid_ = -1;
    lines_.clear();
    return how;
}

void EngineProcess::kill_now() {
    if (pid_ <= 0)
        return;
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    reap(1000);
}

std::string EngineProcess::quit(int wait_ms) {
    if (pid_ <= 0)
        return "not running";
    send("quit");
    return reap(wait_ms);
}

void pump(EngineProcess* const* engines, int count, int64_t deadline_us) {
    pollfd fds[2 * MAX_ENGINES];
    EngineProcess* owner[2 * MAX_ENGINES];
    bool is_output[2 * MAX_ENGINES];
    int n = 0;
    for (int i = 0; i < count && i < MAX_ENGINES; ++i) {
        EngineProcess* e = engines[i];
        if (!e)
            continue;
        if (e->out_fd() >= 0) {
            fds[n] = {e->out_fd(), POLLIN, 0};
            owner[n] = e;
            is_output[n++] = true;
        }
        if (e->err_fd() >= 0) {
            fds[n] = {e->err_fd(), POLLIN, 0};
            owner[n] = e;
            is_output[n++] = false;
        }
    }
    const int64_t left_us = deadline_us - now_us();
    const int timeout_ms = left_us <= 0 ? 0 : int((left_us + 999) / 1000);
    if (poll(fds, nfds_t(n), timeout_ms) <= 0)
        return;
    for (int i = 0; i < n; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        if (is_output[i])
            owner[i]->read_output();
        else
            owner[i]->read_errors();
    }
}

void install_signal_handlers() {
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = on_fatal_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

} // namespace referee
