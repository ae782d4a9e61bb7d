// Configuration files: the input is the file named by ConfigFilePath, read
// as start-up reads it; every option it sets goes through the one option
// setter. Lines that would set a hash table above 16 MB, or that name a
// path under /dev, /proc or /sys, are left out (they test the machine, not
// the reader). The defaults come back after each input.
#include <cstdio>
#include <string>

#include "common.h"
#include "engine/options.h"
#include "io/output.h"
#include "nn/network.h"
#include "search/control.h"
#include "search/tt.h"
#include "tablebase/tbcore.h"

namespace zelk::fuzz {
namespace {

constexpr long long MAX_HASH_MB = 16;

// The lines of the input that are kept (the reader splits at LF too).
std::string kept_lines(const std::string& text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(at, end - at);
        at = end;
        bool keep = !(line.find("Hash") != std::string::npos && has_number_above(line, MAX_HASH_MB));
        for (const char* device : {"/dev", "/proc", "/sys"})
            keep = keep && line.find(device) == std::string::npos;
        if (keep)
            out += line;
    }
    return out;
}

} // namespace
} // namespace zelk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelk;
    using namespace zelk::fuzz;
    init_engine();
    const std::string text = kept_lines(as_text(data, size));
    const std::string path = write_file("zelk.cfg", reinterpret_cast<const uint8_t*>(text.data()), text.size());
    copy_text(options.ConfigFilePath, path.c_str());
    if (load_config() != 1)
        fail("load_config could not open its file", path);
    // Back to the defaults.
    close_log();
    std::remove("zelk.log");
    options_set_defaults("/nonexistent");
    search_settings.Hash = 1;
    if (tt.megabytes != 1 && !tt_alloc())
        fail("table allocation failed", "");
    control.thread_count = 1;
    if (networks.count)
        unload_networks();
    if (!tb::registry.dirs.empty())
        tb::init_tablebases("");
    return 0;
}
