#include "nn/simd.h"

#include <cassert>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <immintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#endif

namespace zelk {

namespace {

[[maybe_unused]] bool aligned(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 0; }

} // namespace

namespace scalar {

void add_row(int32_t* acc, const int32_t* row, int n) {
    for (int i = 0; i < n; ++i)
        acc[i] += row[i];
}

void sub_row(int32_t* acc, const int32_t* row, int n) {
    for (int i = 0; i < n; ++i)
        acc[i] -= row[i];
}

void leaky_units(float* out, const int32_t* in, int n) {
    for (int i = 0; i < n; ++i) {
        const float x = float(in[i]) * NN_UNIT;
        out[i] = x >= 0 ? x : x * 0.0625f;
    }
}

void leaky(float* out, const float* in, int n) {
    for (int i = 0; i < n; ++i)
        out[i] = in[i] >= 0 ? in[i] : in[i] * 0.0625f;
}

void dot_rows(const float* rows, int stride, int count, const float* x, int n, float bias, float* out) {
    for (int j = 0; j < count; ++j) {
        const float* row = rows + size_t(j) * size_t(stride);
        float lane[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        int i = 0;
        for (; i + 8 <= n; i += 8)
            for (int k = 0; k < 8; ++k)
                lane[k] += row[i + k] * x[i + k];
        if (i < n)
            for (int k = 0; k < 4; ++k)
                lane[k] += row[i + k] * x[i + k];
        float a[4];
        for (int k = 0; k < 4; ++k)
            a[k] = lane[k] + lane[k + 4];
        out[j] = bias + ((a[0] + a[2]) + (a[1] + a[3]));
    }
}

} // namespace scalar

#if defined(__SSE2__)

namespace {

inline float lane_sum(__m128 v) {
    const __m128 halves = _mm_add_ps(v, _mm_movehl_ps(v, v));   // l0 + l2, l1 + l3
    return _mm_cvtss_f32(_mm_add_ss(halves, _mm_shuffle_ps(halves, halves, 1)));
}

inline __m128i load_i(const int32_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store_i(int32_t* p, __m128i v) { _mm_store_si128(reinterpret_cast<__m128i*>(p), v); }

inline __m128 leaky4(__m128 x) {
    const __m128 keep = _mm_cmpge_ps(x, _mm_setzero_ps());
    return _mm_or_ps(_mm_and_ps(keep, x), _mm_andnot_ps(keep, _mm_mul_ps(x, _mm_set1_ps(0.0625f))));
}

namespace sse2 {

void add_row(int32_t* acc, const int32_t* row, int n) {
    for (int i = 0; i < n; i += 4)
        store_i(acc + i, _mm_add_epi32(load_i(acc + i), load_i(row + i)));
}

void sub_row(int32_t* acc, const int32_t* row, int n) {
    for (int i = 0; i < n; i += 4)
        store_i(acc + i, _mm_sub_epi32(load_i(acc + i), load_i(row + i)));
}

void leaky_units(float* out, const int32_t* in, int n) {
    const __m128 unit = _mm_set1_ps(NN_UNIT);
    for (int i = 0; i < n; i += 4)
        _mm_store_ps(out + i, leaky4(_mm_mul_ps(_mm_cvtepi32_ps(load_i(in + i)), unit)));
}

void leaky(float* out, const float* in, int n) {
    for (int i = 0; i < n; i += 4)
        _mm_store_ps(out + i, leaky4(_mm_load_ps(in + i)));
}

// Two rows at a time share the loads of x; each keeps its eight lanes in
// two registers.
void dot_rows(const float* rows, int stride, int count, const float* x, int n, float bias, float* out) {
    for (int j = 0; j < count; j += 2) {
        const float* r0 = rows + size_t(j) * size_t(stride);
        const float* r1 = j + 1 < count ? r0 + stride : r0;
        __m128 a0 = _mm_setzero_ps(), b0 = a0, a1 = a0, b1 = a0;
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            const __m128 xa = _mm_load_ps(x + i), xb = _mm_load_ps(x + i + 4);
            a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_load_ps(r0 + i), xa));
            b0 = _mm_add_ps(b0, _mm_mul_ps(_mm_load_ps(r0 + i + 4), xb));
            a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_load_ps(r1 + i), xa));
            b1 = _mm_add_ps(b1, _mm_mul_ps(_mm_load_ps(r1 + i + 4), xb));
        }
        if (i < n) {
            const __m128 xa = _mm_load_ps(x + i);
            a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_load_ps(r0 + i), xa));
            a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_load_ps(r1 + i), xa));
        }
        out[j] = bias + lane_sum(_mm_add_ps(a0, b0));
        if (j + 1 < count)
            out[j + 1] = bias + lane_sum(_mm_add_ps(a1, b1));
    }
}

} // namespace sse2

#if defined(__GNUC__)
#define ZELK_AVX2 1

// Eight lanes where the processor has them (checked when the program
// starts). Integer sums and element-wise work are the same bits at any
// width; a dot product's eight lane sums fill one register.
namespace avx2 {

[[gnu::target("avx2")]] void add_row(int32_t* acc, const int32_t* row, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        auto* a = reinterpret_cast<__m256i*>(acc + i);
        _mm256_storeu_si256(a, _mm256_add_epi32(_mm256_loadu_si256(a),
                                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i))));
    }
    if (i < n)
        sse2::add_row(acc + i, row + i, n - i);
}

[[gnu::target("avx2")]] void sub_row(int32_t* acc, const int32_t* row, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        auto* a = reinterpret_cast<__m256i*>(acc + i);
        _mm256_storeu_si256(a, _mm256_sub_epi32(_mm256_loadu_si256(a),
                                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i))));
    }
    if (i < n)
        sse2::sub_row(acc + i, row + i, n - i);
}

[[gnu::target("avx2")]] inline __m256 leaky8(__m256 x) {
    return _mm256_max_ps(x, _mm256_mul_ps(x, _mm256_set1_ps(0.0625f)));
}

[[gnu::target("avx2")]] void leaky_units(float* out, const int32_t* in, int n) {
    const __m256 unit = _mm256_set1_ps(NN_UNIT);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        _mm256_storeu_ps(out + i, leaky8(_mm256_mul_ps(_mm256_cvtepi32_ps(v), unit)));
    }
    if (i < n)
        sse2::leaky_units(out + i, in + i, n - i);
}

[[gnu::target("avx2")]] void leaky(float* out, const float* in, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps(out + i, leaky8(_mm256_loadu_ps(in + i)));
    if (i < n)
        sse2::leaky(out + i, in + i, n - i);
}

// A row's eight lanes plus its last chunk of four, when there is one, summed.
[[gnu::target("avx2")]] inline float row_sum(__m256 lanes, const float* r, const float* x, int i, int n) {
    __m128 low = _mm256_castps256_ps128(lanes);
    if (i < n)
        low = _mm_add_ps(low, _mm_mul_ps(_mm_load_ps(r + i), _mm_load_ps(x + i)));
    return lane_sum(_mm_add_ps(low, _mm256_extractf128_ps(lanes, 1)));
}

// Four rows at a time share the loads of x, one register of eight lanes each.
[[gnu::target("avx2")]] void dot_rows(const float* rows, int stride, int count, const float* x, int n,
                                      float bias, float* out) {
    int j = 0;
    for (; j + 4 <= count; j += 4) {
        const float* r0 = rows + size_t(j) * size_t(stride);
        const float* r1 = r0 + stride;
        const float* r2 = r1 + stride;
        const float* r3 = r2 + stride;
        __m256 s0 = _mm256_setzero_ps(), s1 = s0, s2 = s0, s3 = s0;
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            const __m256 v = _mm256_loadu_ps(x + i);
            s0 = _mm256_add_ps(s0, _mm256_mul_ps(_mm256_loadu_ps(r0 + i), v));
            s1 = _mm256_add_ps(s1, _mm256_mul_ps(_mm256_loadu_ps(r1 + i), v));
            s2 = _mm256_add_ps(s2, _mm256_mul_ps(_mm256_loadu_ps(r2 + i), v));
            s3 = _mm256_add_ps(s3, _mm256_mul_ps(_mm256_loadu_ps(r3 + i), v));
        }
        out[j] = bias + row_sum(s0, r0, x, i, n);
        out[j + 1] = bias + row_sum(s1, r1, x, i, n);
        out[j + 2] = bias + row_sum(s2, r2, x, i, n);
        out[j + 3] = bias + row_sum(s3, r3, x, i, n);
    }
    if (j < count)
        sse2::dot_rows(rows + size_t(j) * size_t(stride), stride, count - j, x, n, bias, out + j);
}

} // namespace avx2

const bool wide_available = [] {
    __builtin_cpu_init();
    return bool(__builtin_cpu_supports("avx2"));
}();
bool wide = wide_available;

#endif

} // namespace

bool simd_set_wide(bool on) {
#if defined(ZELK_AVX2)
    wide = on && wide_available;
    return wide;
#else
    (void)on;
    return false;
#endif
}

#if defined(ZELK_AVX2)
#define ZELK_DISPATCH(f, ...) (wide ? avx2::f(__VA_ARGS__) : sse2::f(__VA_ARGS__))
#else
#define ZELK_DISPATCH(f, ...) sse2::f(__VA_ARGS__)
#endif

bool simd_wide() {
#if defined(ZELK_AVX2)
    return wide;
#else
    return false;
#endif
}

const char* simd_name() {
#if defined(ZELK_AVX2)
    if (wide)
        return "AVX2";
#endif
    return "SSE2";
}

void vec_add_row(int32_t* acc, const int32_t* row, int n) {
    assert(aligned(acc) && aligned(row) && n % 4 == 0);
    ZELK_DISPATCH(add_row, acc, row, n);
}

void vec_sub_row(int32_t* acc, const int32_t* row, int n) {
    assert(aligned(acc) && aligned(row) && n % 4 == 0);
    ZELK_DISPATCH(sub_row, acc, row, n);
}

void vec_leaky_units(float* out, const int32_t* in, int n) {
    assert(aligned(out) && aligned(in) && n % 4 == 0);
    ZELK_DISPATCH(leaky_units, out, in, n);
}

void vec_leaky(float* out, const float* in, int n) {
    assert(aligned(out) && aligned(in) && n % 4 == 0);
    ZELK_DISPATCH(leaky, out, in, n);
}

void vec_dot_rows(const float* rows, int stride, int count, const float* x, int n, float bias, float* out) {
    assert(aligned(rows) && aligned(x) && n % 4 == 0 && stride % 4 == 0);
    ZELK_DISPATCH(dot_rows, rows, stride, count, x, n, bias, out);
}

#elif defined(__ARM_NEON)

const char* simd_name() { return "NEON"; }
bool simd_set_wide(bool) { return false; }
bool simd_wide() { return false; }

namespace {

inline float lane_sum(float32x4_t v) {
    const float32x2_t halves = vadd_f32(vget_low_f32(v), vget_high_f32(v));   // l0 + l2, l1 + l3
    return vget_lane_f32(vpadd_f32(halves, halves), 0);
}

inline float32x4_t leaky4(float32x4_t x) {
    return vbslq_f32(vcgeq_f32(x, vdupq_n_f32(0)), x, vmulq_f32(x, vdupq_n_f32(0.0625f)));
}

} // namespace

void vec_add_row(int32_t* acc, const int32_t* row, int n) {
    assert(aligned(acc) && aligned(row) && n % 4 == 0);
    for (int i = 0; i < n; i += 4)
        vst1q_s32(acc + i, vaddq_s32(vld1q_s32(acc + i), vld1q_s32(row + i)));
}

void vec_sub_row(int32_t* acc, const int32_t* row, int n) {
    assert(aligned(acc) && aligned(row) && n % 4 == 0);
    for (int i = 0; i < n; i += 4)
        vst1q_s32(acc + i, vsubq_s32(vld1q_s32(acc + i), vld1q_s32(row + i)));
}

void vec_leaky_units(float* out, const int32_t* in, int n) {
    assert(aligned(out) && aligned(in) && n % 4 == 0);
    const float32x4_t unit = vdupq_n_f32(NN_UNIT);
    for (int i = 0; i < n; i += 4)
        vst1q_f32(out + i, leaky4(vmulq_f32(vcvtq_f32_s32(vld1q_s32(in + i)), unit)));
}

void vec_leaky(float* out, const float* in, int n) {
    assert(aligned(out) && aligned(in) && n % 4 == 0);
    for (int i = 0; i < n; i += 4)
        vst1q_f32(out + i, leaky4(vld1q_f32(in + i)));
}

void vec_dot_rows(const float* rows, int stride, int count, const float* x, int n, float bias, float* out) {
    assert(aligned(rows) && aligned(x) && n % 4 == 0 && stride % 4 == 0);
    // Two rows at a time share the loads of x; each keeps its eight lanes in
    // two registers.
    for (int j = 0; j < count; j += 2) {
        const float* r0 = rows + size_t(j) * size_t(stride);
        const float* r1 = j + 1 < count ? r0 + stride : r0;
        float32x4_t a0 = vdupq_n_f32(0), b0 = a0, a1 = a0, b1 = a0;
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            const float32x4_t xa = vld1q_f32(x + i), xb = vld1q_f32(x + i + 4);
            a0 = vaddq_f32(a0, vmulq_f32(vld1q_f32(r0 + i), xa));
            b0 = vaddq_f32(b0, vmulq_f32(vld1q_f32(r0 + i + 4), xb));
            a1 = vaddq_f32(a1, vmulq_f32(vld1q_f32(r1 + i), xa));
            b1 = vaddq_f32(b1, vmulq_f32(vld1q_f32(r1 + i + 4), xb));
        }
        if (i < n) {
            const float32x4_t xa = vld1q_f32(x + i);
            a0 = vaddq_f32(a0, vmulq_f32(vld1q_f32(r0 + i), xa));
            a1 = vaddq_f32(a1, vmulq_f32(vld1q_f32(r1 + i), xa));
        }
        out[j] = bias + lane_sum(vaddq_f32(a0, b0));
        if (j + 1 < count)
            out[j + 1] = bias + lane_sum(vaddq_f32(a1, b1));
    }
}

#else

const char* simd_name() { return "scalar"; }
bool simd_set_wide(bool) { return false; }
bool simd_wide() { return false; }

void vec_add_row(int32_t* acc, const int32_t* row, int n) { scalar::add_row(acc, row, n); }
void vec_sub_row(int32_t* acc, const int32_t* row, int n) { scalar::sub_row(acc, row, n); }
void vec_leaky_units(float* out, const int32_t* in, int n) { scalar::leaky_units(out, in, n); }
void vec_leaky(float* out, const float* in, int n) { scalar::leaky(out, in, n); }
void vec_dot_rows(const float* rows, int stride, int count, const float* x, int n, float bias, float* out) {
    scalar::dot_rows(rows, stride, count, x, n, bias, out);
}

#endif

void* alloc_aligned_bytes(size_t bytes) {
    void* p = ::operator new[](bytes, std::align_val_t(SIMD_ALIGN), std::nothrow);
    if (p)
        std::memset(p, 0, bytes);
    return p;
}

void free_aligned_bytes(void* p) { ::operator delete[](p, std::align_val_t(SIMD_ALIGN)); }

} // namespace zelk
