// The device beneath the scripted clock natively: SDL's own.
#include "scripted.h"

extern "C" void __real_SDL_Delay(Uint32 ms);

void scripted::device_delay(Uint32 ms)
{
    __real_SDL_Delay(ms);
}

void scripted::device_shown(SDL_Surface *, Sint32) {}

bool scripted::device_event(SDL_Event *)
{
    return false;
}
