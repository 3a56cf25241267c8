// The effects worked out the obvious way, one pixel or cell at a time, in
// 64-bit arithmetic, with nothing shared with the program's code: what the
// tests hold the program's frames and fields to.
#ifndef REFERENCE_H
#define REFERENCE_H

#include <stdint.h>
#include <vector>

// The pattern's pixel word, B | G << 8 | R << 16, fourth byte 0.
inline uint32_t pattern_pixel(int32_t phase, int x, int y)
{
    int64_t v = (int64_t)x * ((int64_t)phase + 52000 * (int64_t)x) + 25000 * (int64_t)y;
    uint32_t c = (uint32_t)((uint64_t)v >> 16) & 0xFF;  // bits 16..23 of the two's complement
    return c / 2 | (c / 4) << 8 | (c / 8) << 16;
}

// The overlay's effect on one pixel's bytes B, G, R.
inline void overlay_pixel(int32_t v, uint8_t *p)
{
    if (v > 600) {
        p[1] = (uint8_t)((v / 32 + 100) % 256);  // v > 0 here, so / is >>
        p[2] = 240;
    } else if (v >= 501) {
        p[1] = (uint8_t)(v % 256);
        p[2] = (uint8_t)(v * 10 % 256);
    } else if (v < -6) {
        int a = (p[0] + 60) / 2;
        p[0] = (uint8_t)a;
        p[1] = (uint8_t)((a + 90) / 2);
        p[2] = (uint8_t)((a + 60) / 2);
    }
}

// One propagation step of a field w cells wide and h high, computed from a
// copy of the old field: new = floor((10(right + below-left) + 8 below +
// 3 three-below) / 32) for cells 1 to (h - 5) * w.
inline std::vector<int32_t> step_field(const std::vector<int32_t> &old, int w, int h)
{
    std::vector<int32_t> out = old;
    for (int k = 1; k <= (h - 5) * w; k++) {
        int64_t sum = 10 * ((int64_t)old[k + 1] + old[k + 2 * w - 1]) + 8 * (int64_t)old[k + w] +
                      3 * (int64_t)old[k + 3 * w];
        out[k] = (int32_t)(sum >= 0 ? sum / 32 : -((-sum + 31) / 32));
    }
    return out;
}

#endif
