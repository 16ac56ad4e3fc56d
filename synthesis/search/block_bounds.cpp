#include "synthesis/search/block_bounds.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TEXSYNTH_X86 1
#endif

namespace {

unsigned surviving_lanes_plain(const float* block, const float* query, int axes, float allowed) {
    float bound[kBlockLanes] = {};
    unsigned lanes = 0;
    for (int a = 0; a < axes; a += kBlockLanes) {
        lanes = 0;
        for (int lane = 0; lane < kBlockLanes; ++lane) {
            for (int j = a; j < a + kBlockLanes; ++j) {
                const float d = block[j * kBlockLanes + lane] - query[j];
                bound[lane] += d * d;
            }
            lanes |= (bound[lane] <= allowed ? 1U : 0U) << lane;
        }
        if (lanes == 0) {
            break;
        }
    }
    return lanes;
}

#ifdef TEXSYNTH_X86
__attribute__((target("avx2,fma"))) unsigned surviving_lanes_avx2(const float* block, const float* query, int axes,
                                                                   float allowed) {
    __m256 bound = _mm256_setzero_ps();
    const __m256 limit = _mm256_set1_ps(allowed);
    unsigned lanes = 0;
    for (int a = 0; a < axes; a += kBlockLanes) {
        for (int j = a; j < a + kBlockLanes; ++j) {
            const __m256 d = _mm256_sub_ps(_mm256_loadu_ps(block + j * kBlockLanes), _mm256_set1_ps(query[j]));
            bound = _mm256_fmadd_ps(d, d, bound);
        }
        lanes = static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(bound, limit, _CMP_LE_OQ)));
        if (lanes == 0) {
            break;
        }
    }
    return lanes;
}
#endif

// The same with AVX-512: two axes of the block at a time.
__attribute__((target("avx512f,avx512dq"))) unsigned surviving_lanes_avx512(const float* block, const float* query, int axes,
                                                                    float allowed) {
    __m512 bound = _mm512_setzero_ps();
    const __m256 limit = _mm256_set1_ps(allowed);
    unsigned lanes = 0;
    for (int a = 0; a < axes; a += kBlockLanes) {
        for (int j = a; j < a + kBlockLanes; j += 2) {
            const __m512 q = _mm512_insertf32x8(_mm512_set1_ps(query[j]), _mm256_set1_ps(query[j + 1]), 1);
            const __m512 d = _mm512_sub_ps(_mm512_loadu_ps(block + j * kBlockLanes), q);
            bound = _mm512_fmadd_ps(d, d, bound);
        }
        const __m256 folded = _mm256_add_ps(_mm512_extractf32x8_ps(bound, 0), _mm512_extractf32x8_ps(bound, 1));
        lanes = static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(folded, limit, _CMP_LE_OQ)));
        if (lanes == 0) {
            break;
        }
    }
    return lanes;
}

float box_distance_plain(const float* lower, const float* upper, const float* point) {
    float bound = 0;
    for (int a = 0; a < kBlockLanes; ++a) {
        const float d = std::max(lower[a] - point[a], 0.0F) + std::max(point[a] - upper[a], 0.0F);
        bound += d * d;
    }
    return bound;
}

#ifdef TEXSYNTH_X86
__attribute__((target("avx2,fma"))) float box_distance_avx2(const float* lower, const float* upper,
                                                              const float* point) {
    const __m256 p = _mm256_loadu_ps(point);
    const __m256 zero = _mm256_setzero_ps();
    const __m256 d = _mm256_add_ps(_mm256_max_ps(_mm256_sub_ps(_mm256_loadu_ps(lower), p), zero),
                                   _mm256_max_ps(_mm256_sub_ps(p, _mm256_loadu_ps(upper)), zero));
    const __m256 squares = _mm256_mul_ps(d, d);
    __m128 sum = _mm_add_ps(_mm256_castps256_ps128(squares), _mm256_extractf128_ps(squares, 1));
    sum = _mm_add_ps(sum, _mm_movehl_ps(sum, sum));
    sum = _mm_add_ss(sum, _mm_movehdup_ps(sum));
    return _mm_cvtss_f32(sum);
}
#endif

}  // namespace

std::vector<BoxDistanceFunction> box_distance_functions() {
    std::vector<BoxDistanceFunction> functions;
#ifdef TEXSYNTH_X86
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        functions.push_back(box_distance_avx2);
    }
#endif
    functions.push_back(box_distance_plain);
    return functions;
}

BoxDistanceFunction box_distance_function() { return box_distance_functions().front(); }

std::vector<SurvivingLanesFunction> surviving_lanes_functions() {
    std::vector<SurvivingLanesFunction> functions;
#ifdef TEXSYNTH_X86
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")) {
        functions.push_back(surviving_lanes_avx512);
    }
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        functions.push_back(surviving_lanes_avx2);
    }
#endif
    functions.push_back(surviving_lanes_plain);
    return functions;
}

SurvivingLanesFunction surviving_lanes_function() { return surviving_lanes_functions().front(); }
