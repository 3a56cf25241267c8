/* rand and srand as glibc has them, for the ports whose C library has
 * others (Windows: 15 bits; the browser: another generator), so that a seed
 * gives the same fire there as on Linux. Linked as an object before the C
 * library, these are the ones the program calls.
 *
 * glibc's default generator: additive feedback, x[i] = x[i-3] + x[i-31],
 * seeded by a Park-Miller sequence and run 310 steps before the first
 * result, each result the sum without its lowest bit. */
#include <stdint.h>
#include <stdlib.h>

static uint32_t rs[31];
static int rf = 3, rr = 0;
/* Unseeded, as glibc: the same as srand(1). */
static int seeded;

int rand(void)
{
    if (!seeded)
        srand(1);
    uint32_t v = rs[rf] += rs[rr];
    rf = rf == 30 ? 0 : rf + 1;
    rr = rr == 30 ? 0 : rr + 1;
    return (int)(v >> 1);
}

void srand(unsigned seed)
{
    seeded = 1;
    int64_t w = (int32_t)(seed ? seed : 1);
    rs[0] = (uint32_t)w;
    for (int i = 1; i < 31; i++) {
        w = 16807 * (w % 127773) - 2836 * (w / 127773);
        if (w < 0)
            w += 2147483647;
        rs[i] = (uint32_t)w;
    }
    rf = 3;
    rr = 0;
    for (int i = 0; i < 310; i++)
        rand();
}
