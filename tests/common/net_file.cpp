#include "net_file.h"

#include <bit>
#include <fstream>
#include <random>
#include <stdexcept>

#include "nn/network.h"

namespace zelk::test {

namespace {

// Little-endian, `bytes` wide.
void put(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s += char((v >> (8 * i)) & 0xff);
}

double leaky(double x) { return x >= 0 ? x : x * 0.0625; }

} // namespace

size_t NetShape::param_count() const {
    return size_t(inputs()) * hidden1 + size_t(hidden1) * hidden2 + size_t(hidden2) * outputs + outputs + 8;
}

std::vector<float> random_params(const NetShape& shape, uint32_t seed, float scale) {
    std::mt19937 gen(seed);
    std::vector<float> p(shape.param_count());
    for (float& v : p)
        v = (float(gen() >> 8) * (1.0f / 8388608.0f) - 1.0f) * scale;   // 24 bits: exact on every target
    return p;
}

std::string network_bytes(const NetShape& shape, int16_t count_field, const std::vector<float>& params) {
    std::string file;
    for (uint16_t field : {uint16_t(0), uint16_t(count_field), shape.inputs_a, shape.inputs_b, shape.hidden1,
                           shape.hidden2, shape.outputs})
        put(file, field, 2);
    put(file, uint32_t(params.size()), 4);
    for (float v : params)
        put(file, std::bit_cast<uint32_t>(v), 4);
    return file;
}

std::string random_net_file(const NetShape& shape, int count, uint32_t seed) {
    std::string file;
    for (int i = 0; i < count; ++i)
        file += network_bytes(shape, int16_t(count), random_params(shape, seed + uint32_t(i)));
    return file;
}

std::string kb_net_file(const KbShape& s, uint32_t seed) {
    std::mt19937 gen(seed);
    auto draw = [&](int limit) { return int32_t(gen() % uint32_t(2 * limit + 1)) - limit; };
    std::string params;
    const size_t features = size_t(s.buckets) * 768 * size_t(s.width);
    for (size_t i = 0; i < features + size_t(s.width); ++i)
        put(params, uint32_t(draw(40)), 2);
    for (size_t i = 0; i < size_t(s.outputs) * 2 * size_t(s.width); ++i)
        put(params, uint32_t(draw(120)), 2);
    for (int o = 0; o < s.outputs; ++o)
        put(params, uint32_t(draw(s.ceiling * s.weight_scale)), 4);
    uint32_t checksum = 2166136261u;
    for (char c : params)
        checksum = (checksum ^ uint8_t(c)) * 16777619u;

    std::string file = "ZKN2";
    for (int field : {1, 128, s.buckets, s.width, s.outputs})
        put(file, uint32_t(field), 2);
    file += char(s.activation);
    file += char(s.mirror ? 1 : 0);
    for (int field : {s.ceiling, s.weight_scale, s.eval_scale, 0})
        put(file, uint32_t(field), 2);
    put(file, uint32_t(params.size()), 4);
    put(file, checksum, 4);
    file.resize(64, '\0');
    for (int sq = 0; sq < 64; ++sq)
        file += char((sq >> 3) * s.buckets / 8);
    return file + params;
}

void write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<double> reference_outputs(const NetShape& shape, const std::vector<float>& params,
                                      const uint16_t* features, int count) {
    const size_t h1 = shape.hidden1, h2 = shape.hidden2, n = size_t(shape.inputs());
    auto q = [&](size_t i) { return double(quantise_weight(params[i])); };
    const size_t w2 = n * h1, w3 = w2 + h2 * h1, extra = w3 + size_t(shape.outputs) * h2 + shape.outputs;
    std::vector<double> a(h1), b(h2), out(shape.outputs);
    for (size_t i = 0; i < h1; ++i) {
        double s = q(extra + 1);
        for (int f = 0; f < count; ++f)
            s += q(size_t(features[f]) * h1 + i);
        a[i] = leaky(s);
    }
    for (size_t j = 0; j < h2; ++j) {
        double s = q(extra + 2);
        for (size_t i = 0; i < h1; ++i)
            s += q(w2 + j * h1 + i) * a[i];
        b[j] = leaky(s);
    }
    for (size_t h = 0; h < shape.outputs; ++h) {
        double s = 0;
        for (size_t j = 0; j < h2; ++j)
            s += q(w3 + h * h2 + j) * b[j];
        out[h] = s;
    }
    return out;
}

} // namespace zelk::test
