#include "run_engine.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zelk::test {

using Clock = std::chrono::steady_clock;

std::vector<std::string> EngineRun::lines() const {
    std::vector<std::string> out;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

bool has_line(const EngineRun& run, const std::string& line) {
    const std::vector<std::string> lines = run.lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool contains(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

std::string line_starting(const std::vector<std::string>& lines, const std::string& prefix) {
    const auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); });
    return it == lines.end() ? "" : *it;
}

std::string move_of(const std::string& bestmove_line) {
    std::istringstream in(bestmove_line);
    std::string word, move;
    in >> word >> move;
    return move;
}

std::vector<std::string> read_lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string make_temp_dir() {
    char templ[] = "/tmp/zelk-test-XXXXXX";
    if (!mkdtemp(templ))
        throw std::runtime_error("mkdtemp failed");
    return templ;
}

namespace {

// Starts the engine in `dir` with pipes on its standard input and output
// (the output read without blocking).
pid_t spawn_engine(const std::vector<std::string>& args, const std::string& dir, const char* binary, int& in,
                   int& out) {
    int to_child[2], from_child[2];
    if (pipe(to_child) || pipe(from_child))
        throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(to_child[0], 0);
        dup2(from_child[1], 1);
        close(to_child[1]);
        close(from_child[0]);
        if (!dir.empty() && chdir(dir.c_str()) != 0)
            _exit(120);
        std::vector<std::string> words(args);
        words.insert(words.begin(), binary);
        std::vector<char*> argv;
        for (auto& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        execv(binary, argv.data());
        _exit(121);
    }
    signal(SIGPIPE, SIG_IGN);
    close(to_child[0]);
    close(from_child[1]);
    in = to_child[1];
    out = from_child[0];
    fcntl(out, F_SETFL, O_NONBLOCK);
    return pid;
}

// Appends what `fd` has to `buffer`, waiting until `deadline`: 1 when
// something came, 0 at the end of the output, -1 at the deadline.
int read_some(int fd, std::string& buffer, Clock::time_point deadline) {
    for (char chunk[4096];;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n >= 0) {
            buffer.append(chunk, size_t(n));
            return n > 0;
        }
        if (Clock::now() > deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int exit_status(int status) {
    return WIFEXITED(status) ? int(int8_t(WEXITSTATUS(status))) : -2000 - WTERMSIG(status);
}

Clock::time_point after(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

} // namespace

EngineSession::EngineSession(const std::vector<std::string>& args) {
    pid_ = spawn_engine(args, "", ZELK_BINARY, in_, out_);
}

EngineSession::~EngineSession() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (in_ >= 0)
        close(in_);
    close(out_);
}

void EngineSession::send(const std::string& line) {
    const std::string text = line + "\n";
    if (write(in_, text.data(), text.size()) < 0)
        return;
}

bool EngineSession::read_line(std::string& line, double seconds) {
    const auto deadline = after(seconds);
    size_t nl;
    while ((nl = buffer_.find('\n')) == std::string::npos)
        if (read_some(out_, buffer_, deadline) <= 0)
            return false;
    line = buffer_.substr(0, nl);
    buffer_.erase(0, nl + 1);
    return true;
}

std::string EngineSession::expect(const std::string& prefix, double seconds) {
    const auto deadline = after(seconds);
    for (std::string line; read_line(line, std::chrono::duration<double>(deadline - Clock::now()).count());) {
        if (line.starts_with(prefix))
            return line;
        seen.push_back(line);
    }
    return "";
}

int EngineSession::finish(double seconds) {
    close(in_);
    in_ = -1;
    for (const auto deadline = after(seconds); Clock::now() < deadline;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return exit_status(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1000;
}

EngineRun run_engine(const std::vector<std::string>& args, const std::string& input, const std::string& dir,
                     int seconds, const char* binary) {
    int in = -1, out = -1;
    const pid_t pid = spawn_engine(args, dir, binary, in, out);
    std::thread writer([in, &input] {
        for (size_t done = 0; done < input.size();) {
            const ssize_t n = write(in, input.data() + done, input.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        close(in);
    });
    EngineRun run;
    const auto deadline = after(seconds);
    int got;
    while ((got = read_some(out, run.output, deadline)) > 0) {
    }
    const bool killed = got < 0;
    if (killed)
        kill(pid, SIGKILL);
    close(out);
    writer.join();
    int status = 0;
    waitpid(pid, &status, 0);
    if (!killed)
        run.status = exit_status(status);
    return run;
}

} // namespace zelk::test
