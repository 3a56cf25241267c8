// The device beneath the scripted clock natively: SDL's own.
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
