// Runs the built engine as a child process: feeds it input, collects its
// standard output and exit status, with a time limit.
#pragma once

#include <string>
#include <vector>

namespace zelk::test {

struct EngineRun {
    std::string output;
    int status = -1000;         // exit status, or -1000 when killed by the time limit
    std::vector<std::string> lines() const;
};

// `args` are the switches; `input` is written to standard input, which is
// then closed. `dir` (optional) is the working directory of the child;
// `binary` another build of the engine.
EngineRun run_engine(const std::vector<std::string>& args, const std::string& input, const std::string& dir = "",
                     int seconds = 30, const char* binary = ZELK_BINARY);

// An engine process held open for a conversation: lines are sent one at a
// time and replies awaited with a time limit.
class EngineSession {
public:
    explicit EngineSession(const std::vector<std::string>& args);
    ~EngineSession();
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    void send(const std::string& line);
    // The first output line starting with `prefix`, waiting at most `seconds`;
    // empty when none came. Lines before it are kept in `seen`.
    std::string expect(const std::string& prefix, double seconds = 30);
    // Closes the input and returns the exit status (-1000 when it had to be killed);
    // quit sends "quit" first.
    int finish(double seconds = 10);
    int quit() { send("quit"); return finish(); }
    std::vector<std::string> seen;

private:
    bool read_line(std::string& line, double seconds);
    int pid_ = -1, in_ = -1, out_ = -1;
    std::string buffer_;
};

bool has_line(const EngineRun& run, const std::string& line);
// True when some line contains `part`.
bool contains(const std::vector<std::string>& lines, const std::string& part);
// The first line starting with `prefix`, or "" when none does.
std::string line_starting(const std::vector<std::string>& lines, const std::string& prefix);
// The move of a "bestmove" line (its second word).
std::string move_of(const std::string& bestmove_line);

// The lines of a text file (none when it cannot be read), and its whole bytes.
std::vector<std::string> read_lines(const std::string& path);
std::string read_text(const std::string& path);

// A fresh empty directory under the system temporary folder.
std::string make_temp_dir();

} // namespace zelk::test
