// The network's arithmetic on four lanes: first-layer row additions (32-bit
// integers), the activations, and float dot products, on SSE2 or AVX2
// (x86-64), NEON (ARM) or plain scalar code. Every length is a multiple of four and every
// pointer 16-byte aligned: the network keeps its rows padded to that (see
// network.h). The scalar versions are always built: they are the reference
// the tests compare against, and the whole layer on targets without a
// vector unit.
//
// Each dot product keeps eight lane sums, lane k taking the elements k, k+8,
// ... of the whole chunks of eight; a last chunk of four goes to lanes 0-3.
// The lanes are added as a_k = l_k + l_(k+4), then (a0 + a2) + (a1 + a3), in
// the same order on every target, so vector and scalar results are the same
// bits (builds use no fused multiply-add). Four-lane units keep the eight
// lanes in two registers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zelk {

constexpr int SIMD_LANES = 4;
constexpr int SIMD_ALIGN = 64;   // bytes; a cache line, a multiple of 16

constexpr int pad_to_lanes(int n) { return (n + SIMD_LANES - 1) / SIMD_LANES * SIMD_LANES; }

// Name of the vector unit in use: "AVX2", "SSE2", "NEON" or "scalar".
const char* simd_name();
// On x86-64 the eight-lane AVX2 loops are used when the processor has them;
// this turns them off or back on (tests run both) and says whether they are on.
bool simd_set_wide(bool on);
bool simd_wide();

// First-layer units: the layer's weights are whole multiples of 1/2000.
constexpr float NN_UNIT = 0.0005f;

// acc[i] += row[i], acc[i] -= row[i] for i < n.
void vec_add_row(int32_t* acc, const int32_t* row, int n);
void vec_sub_row(int32_t* acc, const int32_t* row, int n);
// The leaky rectifier: out[i] = x >= 0 ? x : x * 0.0625 with x = in[i], for
// i < n; the first variant takes x = in[i] * NN_UNIT.
void vec_leaky_units(float* out, const int32_t* in, int n);
void vec_leaky(float* out, const float* in, int n);
// out[j] = bias + dot(rows + j * stride, x, n) for j < count.
void vec_dot_rows(const float* rows, int stride, int count, const float* x, int n, float bias, float* out);

// The king-bucket network's 16-bit arithmetic. n is a multiple of 16 and
// every pointer 32-byte aligned. Sums wrap as the vector instructions do, so
// every target gives the same bits; trained weights keep far from the limits.
// out[i] = in[i] + add[0][i] + ... - sub[0][i] - ... for i < n (out may be in).
void vec_update_i16(int16_t* out, const int16_t* in, const int16_t* const* add, int adds,
                    const int16_t* const* sub, int subs, int n);
// Sum of c(a[i]) * w[i] for i < n with c(x) = min(max(x, 0), ceiling).
int32_t vec_crelu_dot(const int16_t* a, const int16_t* w, int n, int ceiling);
// Sum of c(a[i]) * int16(c(a[i]) * w[i]): the squared activation, the inner
// product kept to 16 bits (ceiling * |w| stays below 32768 in a trained net).
int32_t vec_screlu_dot(const int16_t* a, const int16_t* w, int n, int ceiling);

namespace scalar {
void update_i16(int16_t* out, const int16_t* in, const int16_t* const* add, int adds, const int16_t* const* sub,
                int subs, int n);
int32_t crelu_dot(const int16_t* a, const int16_t* w, int n, int ceiling);
int32_t screlu_dot(const int16_t* a, const int16_t* w, int n, int ceiling);
void add_row(int32_t* acc, const int32_t* row, int n);
void sub_row(int32_t* acc, const int32_t* row, int n);
void leaky_units(float* out, const int32_t* in, int n);
void leaky(float* out, const float* in, int n);
void dot_rows(const float* rows, int stride, int count, const float* x, int n, float bias, float* out);
} // namespace scalar

// Owned arrays aligned to SIMD_ALIGN.
void* alloc_aligned_bytes(size_t bytes);   // zero-filled; null when the memory is not there
void free_aligned_bytes(void* p);
struct AlignedFree {
    void operator()(void* p) const { free_aligned_bytes(p); }
};
template <class T>
using Aligned = std::unique_ptr<T[], AlignedFree>;
using AlignedFloats = Aligned<float>;

// count zero-filled values (at least one lane), or empty when the memory is not there.
template <class T>
Aligned<T> alloc_aligned(size_t count) {
    if (count == 0)
        count = SIMD_LANES;
    if (count > SIZE_MAX / 2 / sizeof(T))
        return Aligned<T>();
    return Aligned<T>(static_cast<T*>(alloc_aligned_bytes(count * sizeof(T))));
}
inline AlignedFloats alloc_floats(size_t count) { return alloc_aligned<float>(count); }

} // namespace zelk
