#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "io/output.h"
#include "nn/kbnet.h"
#include "nn/network.h"

namespace zelk {

NetworkSet networks;

namespace {

// One network in memory may take at most this many floats (1 GiB).
constexpr uint64_t MAX_NETWORK_FLOATS = uint64_t(1) << 28;

uint16_t read_u16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t read_u32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The file with a count of the bytes not yet read.
struct NetReader {
    std::ifstream file;
    std::istringstream memory;
    std::istream& in;
    uint64_t left = 0;

    explicit NetReader(const char* path) : file(path, std::ios::binary), in(file) {
        if (!in)
            return;
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.seekg(0, std::ios::beg);
        left = size > 0 ? uint64_t(size) : 0;
    }
    explicit NetReader(std::span<const unsigned char> bytes)
        : memory(std::string(bytes.begin(), bytes.end()), std::ios::binary), in(memory), left(bytes.size()) {}

    bool read(unsigned char* out, size_t bytes) {
        if (bytes > left || !in.read(reinterpret_cast<char*>(out), std::streamsize(bytes)))
            return false;
        left -= bytes;
        return true;
    }

    // rows x cols floats into rows of `stride` values at out, each stored as convert(value).
    template <class T, class Convert>
    bool read_rows(T* out, uint64_t rows, int cols, int stride, Convert convert) {
        unsigned char buffer[4096];
        const int per_read = int(sizeof buffer / 4);
        for (uint64_t r = 0; r < rows; ++r) {
            T* row = out + r * uint64_t(stride);
            for (int c = 0; c < cols;) {
                const int n = cols - c < per_read ? cols - c : per_read;
                if (!read(buffer, size_t(n) * 4))
                    return false;
                for (int i = 0; i < n; ++i)
                    row[c + i] = convert(std::bit_cast<float>(read_u32(buffer + 4 * i)));
                c += n;
            }
        }
        return true;
    }
};

void report(const char* path, const char* reason) {
    char line[400];
    std::snprintf(line, sizeof line, "info string %s: %s; the networks in use are kept", path, reason);
    emit_line(line);
}

// A short file prints the plain message straight to standard output first.
void report_short(const char* path, const char* reason) {
    std::fputs("error loading NN\n", stdout);
    std::fflush(stdout);
    report(path, reason);
}

bool all_finite(const float* p, uint64_t n) {
    for (uint64_t i = 0; i < n; ++i)
        if (!std::isfinite(p[i]))
            return false;
    return true;
}


// Reads network `index` (its header and block) into net.
NnLoad read_network(NetReader& file, const char* path, int index, Network& net, int& count) {
    char reason[200];
    unsigned char h[NN_HEADER_BYTES];
    if (!file.read(h, sizeof h)) {
        std::snprintf(reason, sizeof reason, "the file ends inside the header of network %d", index + 1);
        report_short(path, reason);
        return NnLoad::BAD_FILE;
    }
    net.unused = int16_t(read_u16(h));
    net.count_field = int16_t(read_u16(h + 2));
    net.inputs_a = read_u16(h + 4);
    net.inputs_b = read_u16(h + 6);
    net.hidden1 = read_u16(h + 8);
    net.hidden2 = read_u16(h + 10);
    net.outputs = read_u16(h + 12);
    net.unused_count = read_u32(h + 14);
    net.inputs = net.inputs_a + net.inputs_b;
    // The first header's count governs the file.
    if (index == 0) {
        count = net.count_field == 0 ? 1 : net.count_field;
        if (count < 1 || count > NN_MAX_SLOTS) {
            std::snprintf(reason, sizeof reason, "the file claims %d networks, 1 or 2 are supported", count);
            report(path, reason);
            return NnLoad::BAD_FILE;
        }
    }
    if (net.inputs < NN_STANDARD_INPUTS || !net.hidden1 || !net.hidden2 || !net.outputs) {
        std::snprintf(reason, sizeof reason,
                      "network %d has %d inputs, layers of %d and %d and %d outputs (needs at least %d inputs "
                      "and non-empty layers)",
                      index + 1, net.inputs, net.hidden1, net.hidden2, net.outputs, NN_STANDARD_INPUTS);
        report(path, reason);
        return NnLoad::BAD_FILE;
    }

    const uint64_t n = uint64_t(net.inputs), h1 = net.hidden1, h2 = net.hidden2, out = net.outputs;
    net.param_count = n * h1 + h1 * h2 + h2 * out + out + NN_EXTRA_COUNT;
    if (net.param_count * 4 > file.left) {
        std::snprintf(reason, sizeof reason,
                      "network %d needs %" PRIu64 " bytes of parameters, the file holds %" PRIu64 " more", index + 1,
                      net.param_count * 4, file.left);
        report_short(path, reason);
        return NnLoad::BAD_FILE;
    }
    net.stride1 = pad_to_lanes(net.hidden1);
    net.stride2 = pad_to_lanes(net.hidden2);
    const uint64_t s1 = uint64_t(net.stride1), s2 = uint64_t(net.stride2);
    const uint64_t w1_size = n * s1, w2_size = h2 * s1, w3_size = out * s2, w4_size = uint64_t(pad_to_lanes(out));
    const uint64_t first_size = w1_size + s1, rest_size = w2_size + w3_size + w4_size + NN_EXTRA_COUNT;
    if (first_size + rest_size > MAX_NETWORK_FLOATS) {
        std::snprintf(reason, sizeof reason, "network %d would take %" PRIu64 " MB, more than this engine takes",
                      index + 1, (first_size + rest_size) * 4 >> 20);
        report(path, reason);
        return NnLoad::BAD_FILE;
    }
    net.first_layer = alloc_aligned<int32_t>(size_t(first_size));
    net.params = alloc_floats(size_t(rest_size));
    if (!net.first_layer || !net.params) {
        emit_line("allocating memory for net failed!");
        return NnLoad::NO_MEMORY;
    }
    int32_t* w1 = net.first_layer.get();
    int32_t* bias1 = w1 + w1_size;
    float* w2 = net.params.get();
    float* w3 = w2 + w2_size;
    float* w4 = w3 + w3_size;
    float* extra = w4 + w4_size;
    // First-layer values out of range (or not numbers) are noted and the file refused below.
    bool first_layer_ok = true;
    auto units = [&](float v) {
        const float q = quantise_weight(v);
        if (!(std::fabs(q) <= NN_MAX_FIRST_LAYER_WEIGHT)) {
            first_layer_ok = false;
            return int32_t(0);
        }
        return int32_t(std::round(double(q) * 2000.0));
    };
    if (!file.read_rows(w1, n, net.hidden1, net.stride1, units) ||
        !file.read_rows(w2, h2, net.hidden1, net.stride1, quantise_weight) ||
        !file.read_rows(w3, out, net.hidden2, net.stride2, quantise_weight) ||
        !file.read_rows(w4, 1, net.outputs, net.outputs, quantise_weight) ||
        !file.read_rows(extra, 1, NN_EXTRA_COUNT, NN_EXTRA_COUNT, quantise_weight)) {
        std::snprintf(reason, sizeof reason, "reading network %d failed", index + 1);
        report_short(path, reason);
        return NnLoad::BAD_FILE;
    }
    if (!first_layer_ok || !(std::fabs(extra[1]) <= NN_MAX_FIRST_LAYER_WEIGHT)) {
        std::snprintf(reason, sizeof reason, "network %d has a first-layer value beyond +-%g", index + 1,
                      double(NN_MAX_FIRST_LAYER_WEIGHT));
        report(path, reason);
        return NnLoad::BAD_FILE;
    }
    if (!all_finite(w2, rest_size)) {
        std::snprintf(reason, sizeof reason, "network %d holds a value that is not a finite number", index + 1);
        report(path, reason);
        return NnLoad::BAD_FILE;
    }
    const int32_t bias_units = int32_t(std::round(double(extra[1]) * 2000.0));
    for (int i = 0; i < net.hidden1; ++i)
        bias1[i] = bias_units;
    net.w1 = w1;
    net.w2 = w2;
    net.w3 = w3;
    net.w4 = w4;
    net.extra = extra;
    net.bias1 = bias1;
    return NnLoad::LOADED;
}

int max_of(int a, int b) { return a > b ? a : b; }

} // namespace

float quantise_weight(float v) {
    // std::round rounds halves away from zero like lround, and stays defined
    // for values no integer type holds.
    return float(std::round(double(v) * 2000.0) * 0.0005);
}

namespace {

NnLoad load_from(NetReader& file, const char* path) {
    Network staged[NN_MAX_SLOTS];
    int count = 1;
    for (int i = 0; i < count; ++i) {
        const NnLoad result = read_network(file, path, i, staged[i], count);
        if (result != NnLoad::LOADED)
            return result;
    }
    for (int i = 0; i < NN_MAX_SLOTS; ++i) {
        networks.slot[i] = std::move(staged[i]);
        if (i < count) {
            const Network& net = networks.slot[i];
            networks.max_stride1 = max_of(networks.max_stride1, net.stride1);
            networks.max_stride2 = max_of(networks.max_stride2, net.stride2);
            networks.max_outputs = max_of(networks.max_outputs, net.outputs);
        }
    }
    networks.count = count;
    ++networks.generation;
    unload_kb_network();
    return NnLoad::LOADED;
}

} // namespace

NnLoad load_network(const char* path) {
    NetReader file(path);
    if (!file.in)
        return NnLoad::CANNOT_OPEN;
    unsigned char magic[4] = {};
    if (file.left >= 4 && file.in.read(reinterpret_cast<char*>(magic), 4) && is_kb_network(magic)) {
        if (file.left > MAX_NETWORK_FLOATS * 4) {
            report(path, "the file is larger than any network this engine takes");
            return NnLoad::BAD_FILE;
        }
        std::vector<unsigned char> bytes(size_t(file.left));
        file.in.seekg(0, std::ios::beg);
        if (!file.in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()))) {
            report(path, "reading the file failed");
            return NnLoad::BAD_FILE;
        }
        return load_kb_network(bytes, path);
    }
    file.in.clear();
    file.in.seekg(0, std::ios::beg);
    return load_from(file, path);
}

NnLoad load_embedded_network() {
    if (embedded_network().empty())
        return NnLoad::CANNOT_OPEN;
    if (is_kb_network(embedded_network()))
        return load_kb_network(embedded_network(), "<embedded>");
    NetReader file(embedded_network());
    return load_from(file, "<embedded>");
}

void unload_networks() {
    for (Network& net : networks.slot)
        net = Network();
    networks.count = 0;
    networks.max_stride1 = networks.max_stride2 = networks.max_outputs = 0;
    ++networks.generation;
}

} // namespace zelk
