#include "run_engine.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zelk::test {

std::vector<std::string> EngineRun::lines() const {
    std::vector<std::string> out;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line))
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

// Starts the engine with pipes on its standard input and output.
pid_t spawn_engine(const std::vector<std::string>& args, const std::string& dir, int& in, int& out,
                   const char* binary_path = ZELK_BINARY) {
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
        std::vector<char*> argv;
        std::string binary = binary_path;
        argv.push_back(binary.data());
        std::vector<std::string> copies(args);
        for (auto& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
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

} // namespace

EngineSession::EngineSession(const std::vector<std::string>& args) { pid_ = spawn_engine(args, "", in_, out_); }

EngineSession::~EngineSession() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status;
        waitpid(pid_, &status, 0);
    }
    if (in_ >= 0)
        close(in_);
    if (out_ >= 0)
        close(out_);
}

void EngineSession::send(const std::string& line) {
    const std::string text = line + "\n";
    if (write(in_, text.data(), text.size()) < 0)
        return;
}

bool EngineSession::read_line(std::string& line, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        const size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return true;
        }
        char chunk[4096];
        const ssize_t n = read(out_, chunk, sizeof chunk);
        if (n > 0) {
            buffer_.append(chunk, size_t(n));
            continue;
        }
        if (n == 0 || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string EngineSession::expect(const std::string& prefix, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::string line;
    for (;;) {
        const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !read_line(line, left))
            return "";
        if (line.rfind(prefix, 0) == 0)
            return line;
        seen.push_back(line);
    }
}

int EngineSession::finish(double seconds) {
    close(in_);
    in_ = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? int(int8_t(WEXITSTATUS(status))) : -2000;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1000;
}

EngineRun run_engine(const std::vector<std::string>& args, const std::string& input, const std::string& dir,
                     int seconds, const char* binary) {
    int in = -1, out = -1;
    const pid_t pid = spawn_engine(args, dir, in, out, binary);
    std::thread writer([fd = in, &input] {
        size_t done = 0;
        while (done < input.size()) {
            ssize_t n = write(fd, input.data() + done, input.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        close(fd);
    });
    EngineRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buffer[4096];
    bool killed = false;
    for (;;) {
        ssize_t n = read(out, buffer, sizeof buffer);
        if (n > 0) {
            run.output.append(buffer, size_t(n));
            continue;
        }
        if (n == 0)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    close(out);
    writer.join();
    int status = 0;
    waitpid(pid, &status, 0);
    if (!killed && WIFEXITED(status))
        run.status = int(int8_t(WEXITSTATUS(status)));
    else if (!killed && WIFSIGNALED(status))
        run.status = -2000 - WTERMSIG(status);
    return run;
}

} // namespace zelk::test
