// Reading a "ZKN2" file image: the header checked field by field, the
// parameter block by its length and checksum, then the weights.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "io/output.h"
#include "nn/kbnet.h"

namespace zelk {

KbNetSet kb_networks;

namespace {

constexpr unsigned char MAGIC[4] = {'Z', 'K', 'N', '2'};

uint16_t u16_at(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t u32_at(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t fnv1a(const unsigned char* p, uint64_t n) {
    uint32_t h = 2166136261u;
    for (uint64_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 16777619u;
    return h;
}

void refuse(const char* name, const char* reason) {
    char line[400];
    std::snprintf(line, sizeof line, "info string %s: %s; the networks in use are kept", name, reason);
    emit_line(line);
}

// rows of `count` little-endian int16 values from p into out.
void read_i16(int16_t* out, const unsigned char* p, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i)
        out[i] = int16_t(u16_at(p + 2 * i));
}

} // namespace

bool is_kb_network(std::span<const unsigned char> bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), MAGIC, 4) == 0;
}

NnLoad load_kb_network(std::span<const unsigned char> bytes, const char* name) {
    char reason[240];
    if (bytes.size() < size_t(KB_HEADER_BYTES) || !is_kb_network(bytes)) {
        refuse(name, "not a complete ZKN2 network header");
        return NnLoad::BAD_FILE;
    }
    const unsigned char* h = bytes.data();
    const int version = u16_at(h + 4), header_bytes = u16_at(h + 6);
    if (version != KB_VERSION || header_bytes != KB_HEADER_BYTES) {
        std::snprintf(reason, sizeof reason, "ZKN2 version %d with a %d-byte header; this engine reads version %d",
                      version, header_bytes, KB_VERSION);
        refuse(name, reason);
        return NnLoad::BAD_FILE;
    }
    KbNetwork net;
    net.buckets = u16_at(h + 8);
    net.width = u16_at(h + 10);
    net.outputs = u16_at(h + 12);
    const int activation = h[14], flags = h[15];
    net.ceiling = u16_at(h + 16);
    net.weight_scale = u16_at(h + 18);
    net.eval_scale = u16_at(h + 20);
    net.mirror = (flags & 1) != 0;
    if (net.buckets < 1 || net.buckets > KB_MAX_BUCKETS || net.width < KB_WIDTH_STEP || net.width > KB_MAX_WIDTH ||
        net.width % KB_WIDTH_STEP != 0 || net.outputs < 1 || net.outputs > KB_MAX_OUTPUTS || activation > 1 ||
        (flags & ~1) != 0 || net.ceiling < 1 || net.ceiling > 32767 || net.weight_scale < 1 ||
        net.weight_scale > 32767 || net.eval_scale < 1 || net.eval_scale > 32767) {
        std::snprintf(reason, sizeof reason,
                      "unsupported ZKN2 sizes: %d buckets, width %d, %d outputs, activation %d, flags %d, "
                      "scales %d/%d/%d",
                      net.buckets, net.width, net.outputs, activation, flags, net.ceiling, net.weight_scale,
                      net.eval_scale);
        refuse(name, reason);
        return NnLoad::BAD_FILE;
    }
    net.activation = KbActivation(activation);
    for (int sq = 0; sq < 64; ++sq) {
        net.bucket_of[sq] = h[64 + sq];
        if (net.bucket_of[sq] >= net.buckets) {
            std::snprintf(reason, sizeof reason, "the king bucket map names bucket %d of %d", net.bucket_of[sq],
                          net.buckets);
            refuse(name, reason);
            return NnLoad::BAD_FILE;
        }
    }

    const uint64_t w = uint64_t(net.width), feature_count = uint64_t(net.buckets) * KB_PIECE_INPUTS * w;
    const uint64_t output_count = uint64_t(net.outputs) * 2 * w;
    const uint64_t expected = 2 * (feature_count + w + output_count) + 4 * uint64_t(net.outputs);
    const uint64_t declared = u32_at(h + 24), present = bytes.size() - KB_HEADER_BYTES;
    if (declared != expected || present != expected) {
        std::snprintf(reason, sizeof reason,
                      "the sizes need %" PRIu64 " parameter bytes; the header says %" PRIu64 ", the file holds %" PRIu64,
                      expected, declared, present);
        refuse(name, reason);
        return NnLoad::BAD_FILE;
    }
    const unsigned char* p = h + KB_HEADER_BYTES;
    if (fnv1a(p, expected) != u32_at(h + 28)) {
        refuse(name, "the parameter checksum does not match: the file is damaged");
        return NnLoad::BAD_FILE;
    }

    net.feature_weights = alloc_aligned<int16_t>(size_t(feature_count));
    net.feature_bias = alloc_aligned<int16_t>(size_t(w));
    net.output_weights = alloc_aligned<int16_t>(size_t(output_count));
    if (!net.feature_weights || !net.feature_bias || !net.output_weights) {
        emit_line("allocating memory for net failed!");
        return NnLoad::NO_MEMORY;
    }
    read_i16(net.feature_weights.get(), p, feature_count);
    p += 2 * feature_count;
    read_i16(net.feature_bias.get(), p, w);
    p += 2 * w;
    read_i16(net.output_weights.get(), p, output_count);
    p += 2 * output_count;
    for (int o = 0; o < net.outputs; ++o)
        net.output_bias[size_t(o)] = int32_t(u32_at(p + 4 * o));

    unload_networks();
    kb_networks.net = std::move(net);
    kb_networks.loaded = true;
    ++kb_networks.generation;
    return NnLoad::LOADED;
}

void unload_kb_network() {
    kb_networks.net = KbNetwork();
    kb_networks.loaded = false;
    ++kb_networks.generation;
}

} // namespace zelk
