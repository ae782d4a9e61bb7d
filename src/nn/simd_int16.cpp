// The king-bucket network's 16-bit loops: accumulator updates and the
// activated dot products of the output layer, on SSE2 or AVX2 (x86-64), NEON
// (ARM) or scalar code. Integer sums wrap the same way on every target, so
// all of them give the same bits.
#include <cassert>
#include <cstdint>

#include "nn/simd.h"

#if defined(__SSE2__)
#include <immintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#endif

namespace zelk {

namespace {

[[maybe_unused]] bool aligned(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 31) == 0; }

inline int clamp_activation(int x, int ceiling) { return x < 0 ? 0 : x > ceiling ? ceiling : x; }

} // namespace

namespace scalar {

void update_i16(int16_t* out, const int16_t* in, const int16_t* const* add, int adds, const int16_t* const* sub,
                int subs, int n) {
    for (int i = 0; i < n; ++i) {
        int32_t v = in[i];
        for (int k = 0; k < adds; ++k)
            v += add[k][i];
        for (int k = 0; k < subs; ++k)
            v -= sub[k][i];
        out[i] = int16_t(v);   // modulo 2^16, like the vector adds
    }
}

int32_t crelu_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    uint32_t sum = 0;
    for (int i = 0; i < n; ++i)
        sum += uint32_t(clamp_activation(a[i], ceiling) * int32_t(w[i]));
    return int32_t(sum);
}

int32_t screlu_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    uint32_t sum = 0;
    for (int i = 0; i < n; ++i) {
        const int32_t c = clamp_activation(a[i], ceiling);
        sum += uint32_t(int32_t(int16_t(c * w[i])) * c);
    }
    return int32_t(sum);
}

} // namespace scalar

#if defined(__SSE2__)

namespace {

inline __m128i load8(const int16_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }

inline int32_t lane_sum(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4e));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xb1));
    return _mm_cvtsi128_si32(v);
}

namespace sse2 {

void update_i16(int16_t* out, const int16_t* in, const int16_t* const* add, int adds, const int16_t* const* sub,
                int subs, int n) {
    for (int i = 0; i < n; i += 8) {
        __m128i v = load8(in + i);
        for (int k = 0; k < adds; ++k)
            v = _mm_add_epi16(v, load8(add[k] + i));
        for (int k = 0; k < subs; ++k)
            v = _mm_sub_epi16(v, load8(sub[k] + i));
        _mm_store_si128(reinterpret_cast<__m128i*>(out + i), v);
    }
}

template <bool Squared>
int32_t activated_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    const __m128i zero = _mm_setzero_si128(), top = _mm_set1_epi16(int16_t(ceiling));
    __m128i sum = zero;
    for (int i = 0; i < n; i += 8) {
        const __m128i x = _mm_min_epi16(_mm_max_epi16(load8(a + i), zero), top);
        const __m128i y = load8(w + i);
        sum = _mm_add_epi32(sum, Squared ? _mm_madd_epi16(_mm_mullo_epi16(x, y), x) : _mm_madd_epi16(x, y));
    }
    return lane_sum(sum);
}

} // namespace sse2

#if defined(__GNUC__)
#define ZELK_AVX2_I16 1

namespace avx2 {

[[gnu::target("avx2")]] inline __m256i load16(const int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

[[gnu::target("avx2")]] void update_i16(int16_t* out, const int16_t* in, const int16_t* const* add, int adds,
                                        const int16_t* const* sub, int subs, int n) {
    for (int i = 0; i < n; i += 16) {
        __m256i v = load16(in + i);
        for (int k = 0; k < adds; ++k)
            v = _mm256_add_epi16(v, load16(add[k] + i));
        for (int k = 0; k < subs; ++k)
            v = _mm256_sub_epi16(v, load16(sub[k] + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), v);
    }
}

template <bool Squared>
[[gnu::target("avx2")]] int32_t activated_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi16(int16_t(ceiling));
    __m256i sum = zero;
    for (int i = 0; i < n; i += 16) {
        const __m256i x = _mm256_min_epi16(_mm256_max_epi16(load16(a + i), zero), top);
        const __m256i y = load16(w + i);
        sum = _mm256_add_epi32(sum, Squared ? _mm256_madd_epi16(_mm256_mullo_epi16(x, y), x)
                                            : _mm256_madd_epi16(x, y));
    }
    return lane_sum(_mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1)));
}

} // namespace avx2
#endif

} // namespace

#if defined(ZELK_AVX2_I16)
#define ZELK_DISPATCH_I16(f, ...) (simd_wide() ? avx2::f(__VA_ARGS__) : sse2::f(__VA_ARGS__))
#else
#define ZELK_DISPATCH_I16(f, ...) sse2::f(__VA_ARGS__)
#endif

void vec_update_i16(int16_t* out, const int16_t* in, const int16_t* const* add, int adds,
                    const int16_t* const* sub, int subs, int n) {
    assert(aligned(out) && aligned(in) && n % 16 == 0);
    ZELK_DISPATCH_I16(update_i16, out, in, add, adds, sub, subs, n);
}

int32_t vec_crelu_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    assert(aligned(a) && aligned(w) && n % 16 == 0);
    return ZELK_DISPATCH_I16(activated_dot<false>, a, w, n, ceiling);
}

int32_t vec_screlu_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    assert(aligned(a) && aligned(w) && n % 16 == 0);
    return ZELK_DISPATCH_I16(activated_dot<true>, a, w, n, ceiling);
}

#elif defined(__ARM_NEON)

namespace {

inline int32_t lane_sum(int32x4_t v) {
    const int32x2_t halves = vadd_s32(vget_low_s32(v), vget_high_s32(v));
    return vget_lane_s32(vpadd_s32(halves, halves), 0);
}

template <bool Squared>
int32_t activated_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    const int16x8_t zero = vdupq_n_s16(0), top = vdupq_n_s16(int16_t(ceiling));
    int32x4_t sum = vdupq_n_s32(0);
    for (int i = 0; i < n; i += 8) {
        const int16x8_t x = vminq_s16(vmaxq_s16(vld1q_s16(a + i), zero), top);
        const int16x8_t y = Squared ? vmulq_s16(x, vld1q_s16(w + i)) : vld1q_s16(w + i);
        sum = vmlal_s16(sum, vget_low_s16(y), vget_low_s16(x));
        sum = vmlal_s16(sum, vget_high_s16(y), vget_high_s16(x));
    }
    return lane_sum(sum);
}

} // namespace

void vec_update_i16(int16_t* out, const int16_t* in, const int16_t* const* add, int adds,
                    const int16_t* const* sub, int subs, int n) {
    assert(aligned(out) && aligned(in) && n % 16 == 0);
    for (int i = 0; i < n; i += 8) {
        int16x8_t v = vld1q_s16(in + i);
        for (int k = 0; k < adds; ++k)
            v = vaddq_s16(v, vld1q_s16(add[k] + i));
        for (int k = 0; k < subs; ++k)
            v = vsubq_s16(v, vld1q_s16(sub[k] + i));
        vst1q_s16(out + i, v);
    }
}

int32_t vec_crelu_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    assert(aligned(a) && aligned(w) && n % 16 == 0);
    return activated_dot<false>(a, w, n, ceiling);
}

int32_t vec_screlu_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    assert(aligned(a) && aligned(w) && n % 16 == 0);
    return activated_dot<true>(a, w, n, ceiling);
}

#else

void vec_update_i16(int16_t* out, const int16_t* in, const int16_t* const* add, int adds,
                    const int16_t* const* sub, int subs, int n) {
    scalar::update_i16(out, in, add, adds, sub, subs, n);
}
int32_t vec_crelu_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    return scalar::crelu_dot(a, w, n, ceiling);
}
int32_t vec_screlu_dot(const int16_t* a, const int16_t* w, int n, int ceiling) {
    return scalar::screlu_dot(a, w, n, ceiling);
}

#endif

} // namespace zelk
