// The benchmark's build of the page (bench.js) times the parts of the
// demo's frames here, by wrapping the calls that make them: milliseconds
// spent so far in each, and in the worker's whole frame, from each wake-up
// to the next wait. The page that ships has none of this.
#include <emscripten.h>
#include "vaskiloimu.h"

namespace {

enum { PATTERN, OVERLAY, STEPS, BLIT, FRAME, PARTS };
double spent[PARTS];
double woke;  // when the program last woke from a wait

}

extern "C" {

EMSCRIPTEN_KEEPALIVE const double *spent_ms(void) { return spent; }

void __real_bkge(Sint32 phase);
void __real_firegk(void);
void __real_firekl(void);
int __real_keyed_blit(SDL_Surface *src, SDL_Rect *srcrect, SDL_Surface *dst, SDL_Rect *dstrect);
void __real_page_wait(int ms);

void __wrap_bkge(Sint32 phase)
{
    double t0 = emscripten_get_now();
    __real_bkge(phase);
    spent[PATTERN] += emscripten_get_now() - t0;
}

void __wrap_firegk(void)
{
    double t0 = emscripten_get_now();
    __real_firegk();
    spent[OVERLAY] += emscripten_get_now() - t0;
}

void __wrap_firekl(void)
{
    double t0 = emscripten_get_now();
    __real_firekl();
    spent[STEPS] += emscripten_get_now() - t0;
}

// The picture's blit, which the page's device hands to its own.
int __wrap_keyed_blit(SDL_Surface *src, SDL_Rect *srcrect, SDL_Surface *dst, SDL_Rect *dstrect)
{
    double t0 = emscripten_get_now();
    int r = __real_keyed_blit(src, srcrect, dst, dstrect);
    spent[BLIT] += emscripten_get_now() - t0;
    return r;
}

void __wrap_page_wait(int ms)
{
    if (woke)
        spent[FRAME] += emscripten_get_now() - woke;
    __real_page_wait(ms);
    woke = emscripten_get_now();
}

}
