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
// written, so it still holds its old value. Neighbours are taken by flat
// offset, so a row's right neighbour wraps to the next row's start. The
// shift rounds toward minus infinity, which a division by 32 would not:
// that is what lets small negative values hold still while positive ones die.
void firekl(void)
{
    Sint32 *f = firekg;
    Sint32 w = firew;
    Sint32 last = (fireh - 5) * w;
    for (Sint32 k = 1; k <= last; k++)
        f[k] = (10 * (f[k + 1] + f[k + 2 * w - 1]) + 8 * f[k + w] + 3 * f[k + 3 * w]) >> 5;
}

// Tints the pixels over hot and cool cells. Cell index equals pixel index.
void firegk(void)
{
    Uint8 *p = (Uint8 *)s->pixels;
    const Sint32 *f = firekg;
    Sint32 n = s->w * s->h;
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
