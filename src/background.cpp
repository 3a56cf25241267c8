// The drifting interference pattern behind everything.
#include "vaskiloimu.h"

// Paints every pixel of the screen. The sum below needs up to 35 bits, but
// only its bits 16..23 are used, and those are the same in wrapped unsigned
// 32-bit arithmetic: unsigned keeps the wrap defined, where signed overflow
// would not be.
void bkge(Sint32 phase)
{
    Uint8 *p = (Uint8 *)s->pixels;
    Uint32 ph = (Uint32)phase;
    for (Uint32 y = 0; y < (Uint32)s->h; y++) {
        for (Uint32 x = 0; x < (Uint32)s->w; x++) {
            Uint32 v = x * (ph + 52000u * x) + 25000u * y;
            Uint8 c = (Uint8)(v >> 16);
            p[0] = c >> 1;  // blue
            p[1] = c >> 2;  // green
            p[2] = c >> 3;  // red; the fourth byte is left alone
            p += 4;
        }
    }
}
