// Small network files for the tests: random parameters from a fixed seed,
// written in the engine's file format, and a plain double-precision forward
// pass over the same parameters to check the engine's inference against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelk::test {

struct NetShape {
    uint16_t inputs_a = 896, inputs_b = 0;
    uint16_t hidden1 = 32, hidden2 = 8, outputs = 1;
    int inputs() const { return inputs_a + inputs_b; }
    // Floats of the parameter block: W1, W2, W3, W4, 8 extra.
    size_t param_count() const;
};

// Parameters in file order, uniform in [-scale, scale].
std::vector<float> random_params(const NetShape& shape, uint32_t seed, float scale = 0.25f);

// One network's bytes: the header with the given count field, then params.
std::string network_bytes(const NetShape& shape, int16_t count_field, const std::vector<float>& params);

// A file of `count` random networks of one shape; the first header carries count.
std::string random_net_file(const NetShape& shape, int count, uint32_t seed);

// A king-bucket network: its sizes and scales. Buckets go by the own king's
// rank, buckets * rank / 8.
struct KbShape {
    int buckets = 4, width = 32, outputs = 8;
    bool mirror = true;
    int activation = 1;   // 0 clipped, 1 squared clipped
    int ceiling = 255, weight_scale = 64, eval_scale = 400;
};

// A "ZKN2" file of random weights from seed: first-layer values within +-40,
// output weights within +-120 (so ceiling * |w| stays in 16 bits).
std::string kb_net_file(const KbShape& shape, uint32_t seed);

void write_bytes(const std::string& path, const std::string& bytes);

// The network's outputs for a feature list, from the (rounded) file parameters.
std::vector<double> reference_outputs(const NetShape& shape, const std::vector<float>& params,
                                      const uint16_t* features, int count);

} // namespace zelk::test
