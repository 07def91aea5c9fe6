#include "engine/engine.h"

#include <emmintrin.h>
#include <math.h>

// x86 processors differ in their widest vector unit, which is asked at run time. A WebAssembly
// build carries SSE2 as 128-bit SIMD, which a browser runs or refuses to load, and has no AVX2.
#if defined(__x86_64__) || defined(__i386__)
#define VOIDRUNNER_AVX2 1
#include <immintrin.h>
#endif

static float clampUnit(float g) {
    return g < 0.0f ? 0.0f : g > 1.0f ? 1.0f : g;
}

static uint32_t channelByte(float value) {
    if (value <= 0.0f) {
        return 0;
    }
    if (value >= 255.0f) {
        return 255;
    }
    return (uint32_t)value;
}

static float stepFor(int32_t size) {
    return size < 2 ? 1.0f : 1.0f / (float)(size - 1);
}

// Each pixel's three sums are a column half plus a row half: the squared horizontal and
// vertical distances from the two glows' centres and, for the vignette, from the middle.
struct Terms {
    float glowA;    // ((u - 0.76) / 0.52)^2, ((v - 0.68) / 0.6)^2
    float glowB;    // ((u - 0.24) / 0.62)^2, ((v - 0.34) / 0.75)^2
    float vignette; // (u - 0.5)^2 x 2.1, (v - 0.5)^2 x 2.1
};

static Terms columnTermsAt(int32_t x, float sx) {
    const float u = (float)x * sx;
    const float hA = (u - 0.76f) / 0.52f;
    const float hB = (u - 0.24f) / 0.62f;
    return Terms{hA * hA, hB * hB, (u - 0.5f) * (u - 0.5f) * 2.1f};
}

static Terms rowTermsAt(int32_t y, float sy) {
    const float v = (float)y * sy;
    const float qA = (v - 0.68f) / 0.6f;
    const float qB = (v - 0.34f) / 0.75f;
    return Terms{qA * qA, qB * qB, (v - 0.5f) * (v - 0.5f) * 2.1f};
}

// Per channel, red first: the weights of glow A and glow B and the base.
static const float channelWeights[3][3] = {
    {8.0f, 13.0f, 1.0f}, {15.0f, 18.0f, 2.0f}, {27.0f, 42.0f, 7.0f}};

static uint32_t backgroundWord(Terms column, Terms row, int32_t x, int32_t y) {
    const float glowA = clampUnit(1.0f - sqrtf(column.glowA + row.glowA));
    const float glowB = clampUnit(1.0f - sqrtf(column.glowB + row.glowB));
    const float r = sqrtf(column.vignette + row.vignette);
    float vignette = r * -0.7f + 1.1f;
    vignette = vignette < 0.18f ? 0.18f : vignette > 1.0f ? 1.0f : vignette;
    const float dither = (float)((uint32_t)(7 * y + 5 * x + (x ^ y)) & 7u) * 0.11f;
    uint32_t word = 0;
    for (const float* weight : channelWeights) {
        const float value =
            ((glowA * weight[0] + (glowB * weight[1] + weight[2])) + dither) * vignette;
        word = word << 8 | channelByte(value);
    }
    return word;
}

// The reference: every other path must give exactly these bits.
static void fillBackgroundScalar(uint32_t* background, int32_t width, int32_t height) {
    const float sx = stepFor(width);
    const float sy = stepFor(height);
    uint32_t* out = background;
    for (int32_t y = 0; y < height; y++) {
        const Terms row = rowTermsAt(y, sy);
        for (int32_t x = 0; x < width; x++) {
            *out++ = backgroundWord(columnTermsAt(x, sx), row, x, y);
        }
    }
}

// The vector paths work out the column halves, with their divisions, once per column for a
// block of columns; they then serve every row.
const int32_t columnBlock = 256;

struct ColumnTerms {
    float glowA[columnBlock];
    float glowB[columnBlock];
    float vignette[columnBlock];
};

static void fillColumnTerms(ColumnTerms& columns, int32_t first, int32_t count, float sx) {
    for (int32_t i = 0; i < count; i++) {
        const Terms column = columnTermsAt(first + i, sx);
        columns.glowA[i] = column.glowA;
        columns.glowB[i] = column.glowB;
        columns.vignette[i] = column.vignette;
    }
}

// 1 - sqrt(column + row), clamped to 0 .. 1, four columns at a time.
static inline __m128 glow4(const float* column, float row) {
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 g =
        _mm_sub_ps(one, _mm_sqrt_ps(_mm_add_ps(_mm_loadu_ps(column), _mm_set1_ps(row))));
    return _mm_max_ps(_mm_min_ps(g, one), _mm_setzero_ps());
}

// Whole vectors of one row's pixels in the block, from block column 0 (image column x) on;
// returns how many it wrote, a multiple of 4.
static int32_t backgroundRowSse2(uint32_t* out, const ColumnTerms& columns, int32_t count,
                                 int32_t x, int32_t y, Terms row) {
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
        const __m128 glowA = glow4(columns.glowA + i, row.glowA);
        const __m128 glowB = glow4(columns.glowB + i, row.glowB);
        const __m128 r =
            _mm_sqrt_ps(_mm_add_ps(_mm_loadu_ps(columns.vignette + i), _mm_set1_ps(row.vignette)));
        const __m128 vignette = _mm_max_ps(
            _mm_min_ps(_mm_add_ps(_mm_mul_ps(r, _mm_set1_ps(-0.7f)), _mm_set1_ps(1.1f)), one),
            _mm_set1_ps(0.18f));
        const __m128i xs = _mm_add_epi32(_mm_set1_epi32(x + i), _mm_setr_epi32(0, 1, 2, 3));
        const __m128i sum = _mm_add_epi32(
            _mm_add_epi32(_mm_set1_epi32(7 * y), _mm_add_epi32(_mm_slli_epi32(xs, 2), xs)),
            _mm_xor_si128(xs, _mm_set1_epi32(y)));
        const __m128 dither =
            _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(sum, _mm_set1_epi32(7))), _mm_set1_ps(0.11f));
        // Clamped as floats first, so that the truncation itself never sees a value out of range.
        const __m128 top = _mm_set1_ps(255.0f);
        __m128i word = _mm_setzero_si128();
        for (int channel = 0; channel < 3; channel++) {
            const __m128 glows =
                _mm_add_ps(_mm_mul_ps(glowA, _mm_set1_ps(channelWeights[channel][0])),
                           _mm_add_ps(_mm_mul_ps(glowB, _mm_set1_ps(channelWeights[channel][1])),
                                      _mm_set1_ps(channelWeights[channel][2])));
            const __m128 value = _mm_mul_ps(_mm_add_ps(glows, dither), vignette);
            const __m128i byte = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(value, zero), top));
            word = _mm_or_si128(_mm_slli_epi32(word, 8), byte);
        }
        _mm_storeu_si128((__m128i*)(out + i), word);
    }
    return i;
}

#ifdef VOIDRUNNER_AVX2
__attribute__((target("avx2"))) static inline __m256 glow8(const float* column, float row) {
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 g = _mm256_sub_ps(
        one, _mm256_sqrt_ps(_mm256_add_ps(_mm256_loadu_ps(column), _mm256_set1_ps(row))));
    return _mm256_max_ps(_mm256_min_ps(g, one), _mm256_setzero_ps());
}

// The same eight at a time, where the processor has AVX2.
__attribute__((target("avx2"))) static int32_t backgroundRowAvx2(uint32_t* out,
                                                                 const ColumnTerms& columns,
                                                                 int32_t count, int32_t x,
                                                                 int32_t y, Terms row) {
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
        const __m256 glowA = glow8(columns.glowA + i, row.glowA);
        const __m256 glowB = glow8(columns.glowB + i, row.glowB);
        const __m256 r = _mm256_sqrt_ps(
            _mm256_add_ps(_mm256_loadu_ps(columns.vignette + i), _mm256_set1_ps(row.vignette)));
        const __m256 vignette = _mm256_max_ps(
            _mm256_min_ps(
                _mm256_add_ps(_mm256_mul_ps(r, _mm256_set1_ps(-0.7f)), _mm256_set1_ps(1.1f)), one),
            _mm256_set1_ps(0.18f));
        const __m256i xs =
            _mm256_add_epi32(_mm256_set1_epi32(x + i), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        const __m256i sum =
            _mm256_add_epi32(_mm256_add_epi32(_mm256_set1_epi32(7 * y),
                                              _mm256_add_epi32(_mm256_slli_epi32(xs, 2), xs)),
                             _mm256_xor_si256(xs, _mm256_set1_epi32(y)));
        const __m256 dither = _mm256_mul_ps(
            _mm256_cvtepi32_ps(_mm256_and_si256(sum, _mm256_set1_epi32(7))), _mm256_set1_ps(0.11f));
        const __m256 top = _mm256_set1_ps(255.0f);
        __m256i word = _mm256_setzero_si256();
        for (int channel = 0; channel < 3; channel++) {
            const __m256 glows = _mm256_add_ps(
                _mm256_mul_ps(glowA, _mm256_set1_ps(channelWeights[channel][0])),
                _mm256_add_ps(_mm256_mul_ps(glowB, _mm256_set1_ps(channelWeights[channel][1])),
                              _mm256_set1_ps(channelWeights[channel][2])));
            const __m256 value = _mm256_mul_ps(_mm256_add_ps(glows, dither), vignette);
            const __m256i byte =
                _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(value, zero), top));
            word = _mm256_or_si256(_mm256_slli_epi32(word, 8), byte);
        }
        _mm256_storeu_si256((__m256i*)(out + i), word);
    }
    return i;
}
#endif

typedef int32_t (*BackgroundRowKernel)(uint32_t* out, const ColumnTerms& columns, int32_t count,
                                       int32_t x, int32_t y, Terms row);

static void fillBackgroundBlocks(BackgroundRowKernel kernel, uint32_t* background, int32_t width,
                                 int32_t height) {
    const float sx = stepFor(width);
    const float sy = stepFor(height);
    ColumnTerms columns;
    for (int32_t first = 0; first < width; first += columnBlock) {
        const int32_t count = width - first < columnBlock ? width - first : columnBlock;
        fillColumnTerms(columns, first, count, sx);
        uint32_t* out = background + first;
        for (int32_t y = 0; y < height; y++, out += width) {
            const Terms row = rowTermsAt(y, sy);
            // The columns left over after the last whole vector.
            for (int32_t i = kernel(out, columns, count, first, y, row); i < count; i++) {
                const Terms column{columns.glowA[i], columns.glowB[i], columns.vignette[i]};
                out[i] = backgroundWord(column, row, first + i, y);
            }
        }
    }
}

bool backgroundPathAvailable(BackgroundPath path) {
    switch (path) {
        case BackgroundScalar:
        case BackgroundSse2:
            return true; // every x86-64 processor has SSE2, and WebAssembly has it as SIMD128
        case BackgroundAvx2:
#ifdef VOIDRUNNER_AVX2
            return __builtin_cpu_supports("avx2");
#else
            return false;
#endif
    }
    return false;
}

void fillBackgroundOn(BackgroundPath path, uint32_t* background, int32_t width, int32_t height) {
    switch (path) {
        case BackgroundScalar:
            fillBackgroundScalar(background, width, height);
            break;
        case BackgroundSse2:
            fillBackgroundBlocks(backgroundRowSse2, background, width, height);
            break;
        case BackgroundAvx2:
#ifdef VOIDRUNNER_AVX2
            fillBackgroundBlocks(backgroundRowAvx2, background, width, height);
#endif
            break;
    }
}

void fillBackground(uint32_t* background, int32_t width, int32_t height) {
    fillBackgroundOn(backgroundPathAvailable(BackgroundAvx2) ? BackgroundAvx2 : BackgroundSse2,
                     background, width, height);
}
