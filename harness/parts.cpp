// The parts of a frame, as the programs on the scripted clock run them: in
// a quiet frame (scripted.h) nothing is drawn, and the picture's blit only
// works out the rectangle SDL would write back, which places the fire's
// seeds; until the fire's first seeds its field is all zero, and a quiet
// frame skips its ticks too. In the web build the picture's blit is our
// own, SDL's results in vector code (blit.h); in the page's benchmark's
// build each part is timed (web/timers.cpp).
#include "blit.h"
#include "scripted.h"
#include "vaskiloimu.h"

namespace {

enum { PATTERN, OVERLAY, STEPS, BLIT };
#ifdef TIMED_PARTS
}
#include <emscripten.h>
extern "C" void time_part(int part, double ms);
namespace {
struct Timed {
    int part;
    double t0 = emscripten_get_now();
    ~Timed() { time_part(part, emscripten_get_now() - t0); }
};
#else
struct Timed {
    int part;
};
#endif

}

extern "C" {

void __real_bkge(Sint32 phase);
void __real_firegk(void);
void __real_firekl(void);
int __real_SDL_UpperBlit(SDL_Surface *src, SDL_Rect *srcrect, SDL_Surface *dst, SDL_Rect *dstrect);

void __wrap_bkge(Sint32 phase)
{
    [[maybe_unused]] Timed timed{PATTERN};
    if (!scripted::quiet())
        __real_bkge(phase);
}

void __wrap_firegk(void)
{
    [[maybe_unused]] Timed timed{OVERLAY};
    if (!scripted::quiet())
        __real_firegk();
}

void __wrap_firekl(void)
{
    [[maybe_unused]] Timed timed{STEPS};
    if (!scripted::quiet() || scripted::seeded())
        __real_firekl();
}

int __wrap_SDL_UpperBlit(SDL_Surface *src, SDL_Rect *srcrect, SDL_Surface *dst, SDL_Rect *dstrect)
{
    [[maybe_unused]] Timed timed{BLIT};
    if (scripted::quiet() && src && dst) {
        SDL_Rect whole = {0, 0, 0, 0}, part;
        keyed_blit_clip(src, srcrect, dst, dstrect ? dstrect : &whole, &part);
        return 0;
    }
#ifdef __EMSCRIPTEN__
    // The web's SDL blits the picture a pixel at a time.
    if (keyed_blit_covers(src, dst))
        return keyed_blit(src, srcrect, dst, dstrect);
#endif
    return __real_SDL_UpperBlit(src, srcrect, dst, dstrect);
}

}
