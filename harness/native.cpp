// The device beneath the scripted clock natively: SDL's own, where nobody
// sends a live run elsewhere, and so none needs a checkpoint.
#include "scripted.h"

// SDL's own calls: the program's go to the scripted clock (its --wrap).
extern "C" void __real_SDL_Delay(Uint32 ms);
extern "C" Uint32 __real_SDL_GetTicks(void);

void scripted::device_delay(Uint32 ms)
{
    __real_SDL_Delay(ms);
}

Uint32 scripted::device_ticks()
{
    return __real_SDL_GetTicks();
}

void scripted::device_shown(SDL_Surface *, Sint32) {}

bool scripted::device_event(SDL_Event *)
{
    return false;
}

void scripted::device_idle()
{
    __real_SDL_Delay(1);
}

bool scripted::device_go_to(Sint32 *)
{
    return false;
}

void scripted::device_moved(Sint32) {}

void scripted::device_keep(long, long, const Sint32 *, unsigned long, Uint32) {}

bool scripted::device_restore(long, long *, unsigned long *, Uint32 *)
{
    return false;
}
