// The drifting interference pattern behind everything.
#include "vaskiloimu.h"

// The value behind pixel (x, y) is v = x*(phase + 52000x) + 25000y. Its sum
// needs up to 35 bits, but only its shade c, bits 16..23, is used, and those
// are the same in wrapped unsigned 32-bit arithmetic: unsigned keeps the
// wrap defined, where signed overflow would not be. The pixel gets c/2, c/4,
// c/8, that is bits 17..23, 18..23 and 19..23 of v, as B, G, R, and keeps
// its fourth byte. The part of v that depends on x alone is worked out once
// a frame, a column at a time, so that each pixel only adds: SSE2 and
// WebAssembly have no cheap 32-bit vector multiply. Whole words, which
// compilers turn into vector code.
static Uint32 column[SCREEN_W];  // the screen is this wide

VECTOR_CLONES void bkge(Sint32 phase)
{
    Uint32 *__restrict p = (Uint32 *)s->pixels;
    const Uint32 ph = (Uint32)phase, w = (Uint32)s->w, h = (Uint32)s->h;
    for (Uint32 x = 0; x < w; x++)
        column[x] = x * (ph + 52000u * x);
    for (Uint32 y = 0; y < h; y++)
        for (Uint32 x = 0; x < w; x++, p++) {
            Uint32 v = column[x] + 25000u * y;
            Uint32 fourth = SDL_SwapLE32(*p) & 0xFF000000u;
            *p = SDL_SwapLE32(fourth | (v >> 17 & 0x7F) | (v >> 10 & 0x3F00) | (v >> 3 & 0x1F0000));
        }
}
