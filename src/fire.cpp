// The fire field: seeding, propagation and the overlay it paints.
#include <stdint.h>
#include <stdlib.h>
#include "vaskiloimu.h"

// See background.cpp: the same choice of code, by the same knob.
#if defined(__GNUC__) && defined(__SSE2__) && SDL_BYTEORDER == SDL_LIL_ENDIAN && !defined(VASKILOIMU_PORTABLE)
#define VASKILOIMU_X86 1
#include <immintrin.h>
#endif

// One rand() per cell, row by row, left to right, so a fixed srand seed
// gives the same fire. A 31-bit rand() spans hot and cool seeds alike.
void firegf(Sint32 x0, Sint32 w, Sint32 y0, Sint32 h)
{
    for (Sint32 y = y0; y < y0 + h; y++) {
        Sint32 *f = firekg + y * firew + x0;
        for (Sint32 x = 0; x < w; x++)
            *f++ = (rand() & 0x1FFFF) - 0xE000;
    }
}

// ---- propagation ----------------------------------------------------------
//
// One step, in place: every cell read lies below or to the right of the cell
// written, so it still holds its old value. Neighbours are taken by flat
// offset, so a row's right neighbour wraps to the next row's start. The
// shift rounds toward minus infinity, which a division by 32 would not:
// that is what lets small negative values hold still while positive ones die.
//
// The vector code keeps that order: a vector's cells read only cells at
// higher indices, some of them in the vector itself, so all its loads come
// before its store, and no later vector reads a cell already stored.
// 10a + 10b + 8c + 3d is summed as 8(a+b+c) + 2(a+b+d) + d.

static void kl_plain(Sint32 *f, Sint32 w, Sint32 k, Sint32 last)
{
    for (; k <= last; k++)
        f[k] = (10 * (f[k + 1] + f[k + 2 * w - 1]) + 8 * f[k + w] + 3 * f[k + 3 * w]) >> 5;
}

#ifdef VASKILOIMU_X86
__attribute__((target("avx2"))) static void kl_avx2(Sint32 *f, Sint32 w, Sint32 k, Sint32 last)
{
    for (; k + 7 <= last; k += 8) {
        __m256i a = _mm256_loadu_si256((const __m256i *)(f + k + 1));
        __m256i b = _mm256_loadu_si256((const __m256i *)(f + k + 2 * w - 1));
        __m256i c = _mm256_loadu_si256((const __m256i *)(f + k + w));
        __m256i d = _mm256_loadu_si256((const __m256i *)(f + k + 3 * w));
        __m256i ab = _mm256_add_epi32(a, b);
        __m256i s8 = _mm256_slli_epi32(_mm256_add_epi32(ab, c), 3);
        __m256i s2 = _mm256_slli_epi32(_mm256_add_epi32(ab, d), 1);
        __m256i sum = _mm256_add_epi32(_mm256_add_epi32(s8, s2), d);
        _mm256_storeu_si256((__m256i *)(f + k), _mm256_srai_epi32(sum, 5));
    }
    kl_plain(f, w, k, last);
}

static void kl_sse2(Sint32 *f, Sint32 w, Sint32 k, Sint32 last)
{
    for (; k + 3 <= last; k += 4) {
        __m128i a = _mm_loadu_si128((const __m128i *)(f + k + 1));
        __m128i b = _mm_loadu_si128((const __m128i *)(f + k + 2 * w - 1));
        __m128i c = _mm_loadu_si128((const __m128i *)(f + k + w));
        __m128i d = _mm_loadu_si128((const __m128i *)(f + k + 3 * w));
        __m128i ab = _mm_add_epi32(a, b);
        __m128i s8 = _mm_slli_epi32(_mm_add_epi32(ab, c), 3);
        __m128i s2 = _mm_slli_epi32(_mm_add_epi32(ab, d), 1);
        __m128i sum = _mm_add_epi32(_mm_add_epi32(s8, s2), d);
        _mm_storeu_si128((__m128i *)(f + k), _mm_srai_epi32(sum, 5));
    }
    kl_plain(f, w, k, last);
}
#endif

void firekl(void)
{
    Sint32 last = (fireh - 5) * firew;
#ifdef VASKILOIMU_X86
    if (effects_isa >= 2)
        return kl_avx2(firekg, firew, 1, last);
    if (effects_isa >= 1)
        return kl_sse2(firekg, firew, 1, last);
#endif
    kl_plain(firekg, firew, 1, last);
}

// ---- overlay --------------------------------------------------------------
//
// Tints the pixels over hot and cool cells. Cell index equals pixel index.
// Hot (v > 600): G = v/32 + 100, R = 240. Warm (501..600): G = v, R = 10v,
// all modulo 256. Cool (v < -6): a = (B + 60)/2 into B, G = (a + 90)/2,
// R = (a + 60)/2. Anything else is left as it is, and so is every fourth byte.

static void gk_plain(Uint8 *p, const Sint32 *f, Sint32 n)
{
    for (Sint32 i = 0; i < n; i++, p += 4) {
        Sint32 v = f[i];
        if (v > 600) {
            p[1] = (Uint8)((v >> 5) + 100);
            p[2] = 240;
        } else if (v > 500) {
            p[1] = (Uint8)v;
            p[2] = (Uint8)(v * 10);
        } else if (v < -6) {
            Uint8 a = (Uint8)((p[0] + 60) >> 1);
            p[0] = a;
            p[1] = (Uint8)((a + 90) >> 1);
            p[2] = (Uint8)((a + 60) >> 1);
        }
    }
}

#ifdef VASKILOIMU_X86
// Every colour is worked out for every pixel, in its place in the pixel's
// little-endian word, and masks from the comparisons pick one, byte by byte.
// Hot G adds 100 bytewise, so it wraps within its byte; warm G and R are the
// low 16 bits of the cell times 256 and times 10; pavgb rounds up, so
// (x + 60)/2 rounded down is avg(x, 59), and (a + 90)/2 is avg(a, 89).
// Stores start on a 32-byte boundary: the field and the screen have come
// equally aligned, and a store across two cache lines costs more.
__attribute__((target("avx2"))) static void gk_avx2(Uint8 *p, const Sint32 *f, Sint32 n)
{
    const __m256i low_word_twice = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13));
    const __m256i b_thrice = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12, -1));
    const __m256i k59 = _mm256_set1_epi32(0x3B3B3B), k_gr = _mm256_set1_epi32(59 << 16 | 89 << 8);
    const __m256i m_b = _mm256_set1_epi32(0xFF), m_g = _mm256_set1_epi32(0xFF00);
    const __m256i m_gr = _mm256_set1_epi32(0xFFFF00), m_bgr = _mm256_set1_epi32(0xFFFFFF);
    const __m256i hot_add = _mm256_set1_epi32(240 << 16 | 100 << 8), warm_mul = _mm256_set1_epi32(10 << 16 | 256);
    const __m256i t600 = _mm256_set1_epi32(600), t500 = _mm256_set1_epi32(500), t_6 = _mm256_set1_epi32(-6);
    Sint32 i = (Sint32)(-(uintptr_t)p & 31) / 4;
    i = i < n ? i : n;
    gk_plain(p, f, i);
    for (; i + 8 <= n; i += 8) {
        __m256i v = _mm256_loadu_si256((const __m256i *)(f + i));
        __m256i *q = (__m256i *)(p + 4 * i);
        __m256i px = _mm256_loadu_si256(q);
        __m256i hot = _mm256_cmpgt_epi32(v, t600), warm = _mm256_cmpgt_epi32(v, t500);
        __m256i cool = _mm256_cmpgt_epi32(t_6, v);
        __m256i hot_gr = _mm256_add_epi8(_mm256_and_si256(_mm256_slli_epi32(v, 3), m_g), hot_add);
        __m256i warm_gr = _mm256_mullo_epi16(_mm256_shuffle_epi8(v, low_word_twice), warm_mul);
        __m256i gr = _mm256_blendv_epi8(warm_gr, hot_gr, hot);
        __m256i a3 = _mm256_avg_epu8(_mm256_shuffle_epi8(px, b_thrice), k59);
        __m256i bgr = _mm256_blendv_epi8(_mm256_avg_epu8(a3, k_gr), a3, m_b);
        px = _mm256_blendv_epi8(px, gr, _mm256_and_si256(warm, m_gr));
        px = _mm256_blendv_epi8(px, bgr, _mm256_and_si256(cool, m_bgr));
        _mm256_storeu_si256(q, px);
    }
    gk_plain(p + 4 * i, f + i, n - i);
}

// The same in SSE2, which has no byte shuffle and no blend: selections are
// and/andnot/or, and B goes to the second and third bytes by shifts.
static inline __m128i valitse(__m128i m, __m128i a, __m128i b)
{
    return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b));
}

static void gk_sse2(Uint8 *p, const Sint32 *f, Sint32 n)
{
    const __m128i k59 = _mm_set1_epi32(59), k_gr = _mm_set1_epi32(59 << 16 | 89 << 8);
    const __m128i m_b = _mm_set1_epi32(0xFF), m_g = _mm_set1_epi32(0xFF00);
    const __m128i m_gr = _mm_set1_epi32(0xFFFF00), m_bgr = _mm_set1_epi32(0xFFFFFF);
    const __m128i hot_add = _mm_set1_epi32(240 << 16 | 100 << 8), warm_mul = _mm_set1_epi32(10 << 16 | 256);
    const __m128i t600 = _mm_set1_epi32(600), t500 = _mm_set1_epi32(500), t_6 = _mm_set1_epi32(-6);
    Sint32 i = (Sint32)(-(uintptr_t)p & 15) / 4;
    i = i < n ? i : n;
    gk_plain(p, f, i);
    for (; i + 4 <= n; i += 4) {
        __m128i v = _mm_loadu_si128((const __m128i *)(f + i));
        __m128i *q = (__m128i *)(p + 4 * i);
        __m128i px = _mm_loadu_si128(q);
        __m128i hot = _mm_cmpgt_epi32(v, t600), warm = _mm_cmpgt_epi32(v, t500);
        __m128i cool = _mm_cmpgt_epi32(t_6, v);
        __m128i hot_gr = _mm_add_epi8(_mm_and_si128(_mm_slli_epi32(v, 3), m_g), hot_add);
        __m128i low2 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xA0), 0xA0);
        __m128i gr = valitse(hot, hot_gr, _mm_mullo_epi16(low2, warm_mul));
        __m128i a = _mm_avg_epu8(_mm_and_si128(px, m_b), k59);
        __m128i a_gr = _mm_or_si128(_mm_slli_epi32(a, 8), _mm_slli_epi32(a, 16));
        __m128i bgr = _mm_or_si128(a, _mm_avg_epu8(a_gr, k_gr));
        px = valitse(_mm_and_si128(warm, m_gr), gr, px);
        px = valitse(_mm_and_si128(cool, m_bgr), bgr, px);
        _mm_storeu_si128(q, px);
    }
    gk_plain(p + 4 * i, f + i, n - i);
}
#endif

void firegk(void)
{
    Uint8 *p = (Uint8 *)s->pixels;
    Sint32 n = s->w * s->h;
#ifdef VASKILOIMU_X86
    if (effects_isa >= 2)
        return gk_avx2(p, firekg, n);
    if (effects_isa >= 1)
        return gk_sse2(p, firekg, n);
#endif
    gk_plain(p, firekg, n);
}
