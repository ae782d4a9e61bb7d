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
// then closed. `dir` (optional) is the working directory of the child.
EngineRun run_engine(const std::vector<std::string>& args, const std::string& input, const std::string& dir = "",
                     int seconds = 30);

// A fresh empty directory under the system temporary folder.
std::string make_temp_dir();

} // namespace zelk::test
