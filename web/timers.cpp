// The benchmark's build of the page (tools/dev/page_bench.js) times the
// parts of the demo's frames, as harness/parts.cpp runs them when built for
// it, and the worker's whole frame, from each wake-up to the next wait:
// milliseconds spent so far in each. The page that ships has none of this.
#include <emscripten.h>
#include "vaskiloimu.h"

namespace {

enum { FRAME = 4, PARTS };  // after the pattern, the overlay, the steps and the blit
double spent[PARTS];
double woke;  // when the program last woke from a wait

}

extern "C" {

EMSCRIPTEN_KEEPALIVE const double *spent_ms(void) { return spent; }

void time_part(int part, double ms)
{
    spent[part] += ms;
}

void __real_page_wait(int ms);

void __wrap_page_wait(int ms)
{
    if (woke)
        spent[FRAME] += emscripten_get_now() - woke;
    __real_page_wait(ms);
    woke = emscripten_get_now();
}

}
