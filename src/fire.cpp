// The fire field: seeding, propagation and the overlay it paints.
#include <stdlib.h>
#include "vaskiloimu.h"

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

// One step, in place: every cell read lies below or to the right of the cell
// written, so it still holds its old value, and the compiler may load a
// whole vector of them before storing. Neighbours are taken by flat offset,
// so a row's right neighbour wraps to the next row's start. The shift rounds
// toward minus infinity, which a division by 32 would not: that is what
// lets small negative values hold still while positive ones die.
// The field's lowest rows are only read: the last cell written is the first
// of row fireh - ROWS_ONLY_READ, and its reads reach three rows further down.
// The field is as wide as the screen. With that width a constant, the reads'
// distances from the write are constants too, and clang sees what GCC works
// out at run time: with a width read from memory it checks whether the
// ranges written and read overlap, finds that they do, and runs the loop a
// cell at a time.
VECTOR_CLONES void firekl(void)
{
    Sint32 *f = firekg;
    const Sint32 w = SCREEN_W, last = (fireh - ROWS_ONLY_READ) * w;
    for (Sint32 k = 1; k <= last; k++)
        f[k] = (10 * (f[k + 1] + f[k + 2 * w - 1]) + 8 * f[k + w] + 3 * f[k + 3 * w]) >> 5;
}

// Tints the pixels over hot and cool cells; cell index equals pixel index.
// Cool (v < -6): a = (B + 60)/2 into B, G = (a + 90)/2, R = (a + 60)/2.
// Hot (v > 600): G = v/32 + 100, R = 240. Warm (501..600): G = v, R = 10v,
// all modulo 256. Anything else is left as it is, and so is every fourth
// byte. Each tint is worked out for every pixel and kept or not without a
// branch, so that the loops become vector code. Cool and burning cells never
// meet, and burning keeps B, so the two tints can go one after the other:
// two small loops, where one big one has more constants than vector
// registers and a browser's compiler rebuilds them on every step.
VECTOR_CLONES void firegk(void)
{
    Uint32 *__restrict p = (Uint32 *)s->pixels;
    const Sint32 *__restrict f = firekg;
    const Sint32 n = s->w * s->h;
    for (Sint32 i = 0; i < n; i++) {
        const Uint32 px = SDL_SwapLE32(p[i]);
        const Uint32 a = ((px & 0xFF) + 60) >> 1;
        const Uint32 cool = (px & 0xFF000000u) | a | ((a + 90) >> 1) << 8 | ((a + 60) >> 1) << 16;
        p[i] = SDL_SwapLE32(f[i] < -6 ? cool : px);
    }
    for (Sint32 i = 0; i < n; i++) {
        const Sint32 v = f[i];
        const Uint32 px = SDL_SwapLE32(p[i]);
        const Uint32 g = v > 600 ? (Uint32)((v >> 5) + 100) : (Uint32)v;
        const Uint32 r = v > 600 ? 240u : (Uint32)v * 10;
        const Uint32 fire = (px & 0xFF0000FFu) | (g & 0xFF) << 8 | (r & 0xFF) << 16;
        p[i] = SDL_SwapLE32(v > 500 ? fire : px);
    }
}
