// The drifting interference pattern behind everything.
#include <stdint.h>
#include <string.h>
#include "vaskiloimu.h"

// On x86 the effects carry vector code next to the plain code and choose by
// the CPU they run on. Anywhere else, or in a build that asks for portable
// code, there is only the plain code.
#if defined(__GNUC__) && defined(__SSE2__) && SDL_BYTEORDER == SDL_LIL_ENDIAN && !defined(VASKILOIMU_PORTABLE)
#define VASKILOIMU_X86 1
#include <immintrin.h>
#endif

// Which code the effects run: 3 AVX-512 (where an effect has it, else AVX2),
// 2 AVX2, 1 SSE2, 0 plain C++. It starts at the best this build and this CPU
// have; the tests and the benchmark lower it to hold every path to the same
// results. Raising it is never safe.
static int best_isa(void)
{
#ifdef VASKILOIMU_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
        return 3;
    return __builtin_cpu_supports("avx2") ? 2 : 1;
#else
    return 0;
#endif
}
int effects_isa = best_isa();

// The value behind pixel (x, y) is x*(phase + 52000x) + 25000y. Its sum needs
// up to 35 bits, but only bits 16..23 are used, and those are the same in
// wrapped unsigned 32-bit arithmetic: unsigned keeps the wrap defined, where
// signed overflow would not be. The part that depends on x alone is worked
// out once per column, so a pixel costs one addition.
const Uint32 STRIP = 1024;  // columns whose terms are kept at a time

// Shade c = bits 16..23 of v; the pixel gets c/2, c/4, c/8 as B, G, R and
// keeps its fourth byte. Whole pixels are read and written as words, which
// compilers turn into vector code; byte stores they vectorise badly.
static void rivi_plain(Uint8 *p, const Uint32 *col, Uint32 n, Uint32 yterm)
{
    for (Uint32 i = 0; i < n; i++, p += 4) {
        Uint32 c = (col[i] + yterm) >> 16 & 0xFF, w;
        memcpy(&w, p, 4);
        w = (SDL_SwapLE32(w) & 0xFF000000u) | c >> 1 | (c >> 2) << 8 | (c >> 3) << 16;
        w = SDL_SwapLE32(w);
        memcpy(p, &w, 4);
    }
}

#ifdef VASKILOIMU_X86
// Eight pixels, each as one little-endian word. Three shifts and masks per
// colour leave this bound by arithmetic, not memory, so: pshufb puts c in the
// high byte of both 16-bit halves of the word; one multiply-high shifts the
// low half right by 9 and the high half by 11, giving B and R; a multiply by
// 129 copies B, shifted, into the second byte, where bits 1..6 of B are G.
// The stray bit 7 is masked off, and the fourth byte is read back and kept,
// whatever it holds.
__attribute__((target("avx2"), always_inline)) static inline void kahdeksan(Uint8 *p, const Uint32 *col,
                                                                          __m256i y)
{
    const __m256i take_c = _mm256_setr_epi8(-1, 2, -1, 2, -1, 6, -1, 6, -1, 10, -1, 10, -1, 14, -1, 14,
                                            -1, 2, -1, 2, -1, 6, -1, 6, -1, 10, -1, 10, -1, 14, -1, 14);
    const __m256i shift_br = _mm256_set1_epi32(1 << 21 | 1 << 7), copy_g = _mm256_set1_epi32(1 << 16 | 129);
    const __m256i bgr = _mm256_set1_epi32(0x1F3F7F), mx = _mm256_set1_epi32((int)0xFF000000);
    __m256i v = _mm256_add_epi32(_mm256_loadu_si256((const __m256i *)col), y);
    __m256i br = _mm256_mulhi_epu16(_mm256_shuffle_epi8(v, take_c), shift_br);
    __m256i c = _mm256_and_si256(_mm256_mullo_epi16(br, copy_g), bgr);
    __m256i *q = (__m256i *)p;
    _mm256_storeu_si256(q, _mm256_or_si256(c, _mm256_and_si256(_mm256_loadu_si256(q), mx)));
}

// Stores that straddle two cache lines cost more, and the screen's rows need
// not start on a 32-byte boundary. A pixel's colours do not depend on what it
// held, so the run in between goes aligned, and the first and the last eight
// pixels unaligned, painting some pixels twice. Those two are done away from
// the run's ends in time: a load that overlaps a store still in flight only
// in part waits for that store to finish.
__attribute__((target("avx2"))) static void rivi_avx2(Uint8 *p, const Uint32 *col, Uint32 n, Uint32 yterm)
{
    if (n < 8)
        return rivi_plain(p, col, n, yterm);
    const __m256i y = _mm256_set1_epi32((int)yterm);
    Uint32 a = (Uint32)(-(uintptr_t)p & 31) / 4;  // the first pixel on a boundary
    if ((n - a) % 8)
        kahdeksan(p + 4 * (n - 8), col + n - 8, y);
    for (Uint32 i = a; i + 8 <= n; i += 8)
        kahdeksan(p + 4 * i, col + i, y);
    if (a)
        kahdeksan(p, col, y);
}

// Sixteen pixels, or the first m of them, as kahdeksan does eight; a store
// with a byte mask leaves every fourth byte as it is without reading it.
__attribute__((target("avx512f,avx512bw"), always_inline)) static inline void kuusitoista(Uint8 *p,
                                                                                       const Uint32 *col,
                                                                                       __m512i y, Uint32 m)
{
    // Byte 2 of each word into its bytes 1 and 3, per 16-byte lane.
    const __m512i take_c = _mm512_set4_epi32(0x0EFF0EFF, 0x0AFF0AFF, 0x06FF06FF, 0x02FF02FF);
    const __m512i shift_br = _mm512_set1_epi32(1 << 21 | 1 << 7), copy_g = _mm512_set1_epi32(1 << 16 | 129);
    const __m512i bgr = _mm512_set1_epi32(0x1F3F7F);
    __mmask64 bytes = m >= 16 ? ~(__mmask64)0 : ((__mmask64)1 << 4 * m) - 1;
    __m512i v = _mm512_add_epi32(_mm512_maskz_loadu_epi32((__mmask16)((1u << m) - 1), col), y);
    __m512i br = _mm512_mulhi_epu16(_mm512_shuffle_epi8(v, take_c), shift_br);
    __m512i c = _mm512_and_si512(_mm512_mullo_epi16(br, copy_g), bgr);
    _mm512_mask_storeu_epi8(p, bytes & 0x7777777777777777, c);
}

// The run goes in whole cache lines from the first 64-byte boundary on, as
// stores across two lines cost more; the pieces before and after it go
// under a mask.
__attribute__((target("avx512f,avx512bw"))) static void rivi_avx512(Uint8 *p, const Uint32 *col, Uint32 n,
                                                                   Uint32 yterm)
{
    const __m512i y = _mm512_set1_epi32((int)yterm);
    Uint32 i = (Uint32)(-(uintptr_t)p & 63) / 4;
    if (i > n)
        i = n;
    if (i)
        kuusitoista(p, col, y, i);
    for (; i + 16 <= n; i += 16)
        kuusitoista(p + 4 * i, col + i, y, 16);
    if (i < n)
        kuusitoista(p + 4 * i, col + i, y, n - i);
}

// As kahdeksan, four pixels. SSE2 has no byte shuffle: a shift puts c in the
// high byte of the low half (under bits 8..15 of v, which the multiply-high
// drops), and word shuffles copy that half into the high one.
static void rivi_sse2(Uint8 *p, const Uint32 *col, Uint32 n, Uint32 yterm)
{
    const __m128i y = _mm_set1_epi32((int)yterm);
    const __m128i shift_br = _mm_set1_epi32(1 << 21 | 1 << 7), copy_g = _mm_set1_epi32(1 << 16 | 129);
    const __m128i bgr = _mm_set1_epi32(0x1F3F7F), mx = _mm_set1_epi32((int)0xFF000000);
    Uint32 i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128i v = _mm_srli_epi32(_mm_add_epi32(_mm_loadu_si128((const __m128i *)(col + i)), y), 8);
        __m128i cc = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xA0), 0xA0);
        __m128i c = _mm_and_si128(_mm_mullo_epi16(_mm_mulhi_epu16(cc, shift_br), copy_g), bgr);
        __m128i *q = (__m128i *)(p + 4 * i);
        _mm_storeu_si128(q, _mm_or_si128(c, _mm_and_si128(_mm_loadu_si128(q), mx)));
    }
    rivi_plain(p + 4 * i, col + i, n - i, yterm);
}
#endif

// Paints every pixel of the screen, a strip of columns at a time (one strip
// on any screen narrower than STRIP).
void bkge(Sint32 phase)
{
    Uint32 col[STRIP];
    Uint8 *pixels = (Uint8 *)s->pixels;
    Uint32 ph = (Uint32)phase, w = (Uint32)s->w, h = (Uint32)s->h;
    for (Uint32 x0 = 0; x0 < w; x0 += STRIP) {
        Uint32 n = w - x0 < STRIP ? w - x0 : STRIP;
        for (Uint32 i = 0; i < n; i++) {
            Uint32 x = x0 + i;
            col[i] = x * (ph + 52000u * x);
        }
        for (Uint32 y = 0; y < h; y++) {
            Uint8 *p = pixels + 4 * (y * w + x0);
#ifdef VASKILOIMU_X86
            if (effects_isa >= 3)
                rivi_avx512(p, col, n, 25000u * y);
            else if (effects_isa >= 2)
                rivi_avx2(p, col, n, 25000u * y);
            else if (effects_isa >= 1)
                rivi_sse2(p, col, n, 25000u * y);
            else
#endif
                rivi_plain(p, col, n, 25000u * y);
        }
    }
}
