// The fuzz targets without libFuzzer: runs the target over every file named
// on the command line or found in a folder named there (a folder that does
// not exist is passed over), in name order. A fault aborts, as under the
// fuzzer; otherwise prints how many inputs ran.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool is_folder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> files;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string path = folder + "/" + e->d_name;
            struct stat st;
            if (e->d_name[0] != '.' && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                files.push_back(path);
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        if (is_folder(argv[i])) {
            const std::vector<std::string> files = files_in(argv[i]);
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else if (std::ifstream(argv[i]).good()) {
            inputs.push_back(argv[i]);
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs found\n");
        return 1;
    }
    for (const std::string& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
        static const uint8_t none = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &none : reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replay: %zu inputs, no fault\n", inputs.size());
    return 0;
}
