#include "synthesis/search/squared_distance.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TEXSYNTH_HAS_AVX2_KERNEL 1
#endif

std::int64_t squared_distance_plain(const std::int16_t* a, const std::int16_t* b, int length, std::int64_t limit) {
    std::int64_t total = 0;
    for (int block = 0; block < length; block += kDistanceBlock) {
        std::int64_t sum = 0;
        for (int i = block; i < block + kDistanceBlock; ++i) {
            const std::int64_t d = a[i] - b[i];
            sum += d * d;
        }
        total += sum;
        if (total > limit) {
            break;
        }
    }
    return total;
}

#ifdef TEXSYNTH_HAS_AVX2_KERNEL
namespace {

// Components lie from 0 to kMaxComponent (4,095; 255 for colours), so each 32-bit lane, which gathers four
// squared differences per block, stays far below 2^31; the lanes are widened to 64 bits every block.
__attribute__((target("avx2"))) std::int64_t squared_distance_avx2(const std::int16_t* a, const std::int16_t* b,
                                                                    int length, std::int64_t limit) {
    __m256i totals = _mm256_setzero_si256();
    std::int64_t total = 0;
    for (int block = 0; block < length; block += kDistanceBlock) {
        const __m256i d0 = _mm256_sub_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + block)),
                                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + block)));
        const __m256i d1 = _mm256_sub_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + block + 16)),
                                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + block + 16)));
        const __m256i sums = _mm256_add_epi32(_mm256_madd_epi16(d0, d0), _mm256_madd_epi16(d1, d1));
        // Widen the eight lane sums to 64 bits before adding them up.
        totals = _mm256_add_epi64(totals, _mm256_add_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(sums)),
                                                           _mm256_cvtepi32_epi64(_mm256_extracti128_si256(sums, 1))));
        const __m128i pair = _mm_add_epi64(_mm256_castsi256_si128(totals), _mm256_extracti128_si256(totals, 1));
        total = _mm_cvtsi128_si64(pair) + _mm_extract_epi64(pair, 1);
        if (total > limit) {
            break;
        }
    }
    return total;
}

}  // namespace
#endif

SquaredDistanceFunction squared_distance_function() {
#ifdef TEXSYNTH_HAS_AVX2_KERNEL
    if (__builtin_cpu_supports("avx2")) {
        return squared_distance_avx2;
    }
#endif
    return squared_distance_plain;
}
