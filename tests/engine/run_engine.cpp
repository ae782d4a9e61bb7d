#include "run_engine.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
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

std::string make_temp_dir() {
    char templ[] = "/tmp/zelk-test-XXXXXX";
    if (!mkdtemp(templ))
        throw std::runtime_error("mkdtemp failed");
    return templ;
}

EngineRun run_engine(const std::vector<std::string>& args, const std::string& input, const std::string& dir,
                     int seconds) {
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
        std::string binary = ZELK_BINARY;
        argv.push_back(binary.data());
        std::vector<std::string> copies(args);
        for (auto& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(121);
    }
    close(to_child[0]);
    close(from_child[1]);
    signal(SIGPIPE, SIG_IGN);
    std::thread writer([fd = to_child[1], &input] {
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
    fcntl(from_child[0], F_SETFL, O_NONBLOCK);
    char buffer[4096];
    bool killed = false;
    for (;;) {
        ssize_t n = read(from_child[0], buffer, sizeof buffer);
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
    close(from_child[0]);
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
