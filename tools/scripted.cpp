#include "scripted.h"
#include <stdlib.h>
#include "vaskiloimu.h"

namespace scripted {

Uint32 ticks;
bool real_clock;
std::function<void()> on_flip;
std::deque<SDL_Event> events;
bool real_events;
std::optional<time_t> now;
unsigned long flips;

void reset(Uint32 base)
{
    ticks = base;
    real_clock = false;
    on_flip = nullptr;
    events.clear();
    real_events = false;
    now.reset();
    flips = 0;
}

void release()
{
    free(firekg);
    firekg = nullptr;
    if (s != shown)
        SDL_FreeSurface(s);
    SDL_FreeSurface(ims[0]);
    ims[0] = nullptr;
    Mix_FreeChunk(musa);
    musa = nullptr;
    Mix_CloseAudio();
    SDL_Quit();
}

SDL_Event key(Uint8 type, SDLKey sym)
{
    SDL_Event e{};
    e.type = type;
    e.key.type = type;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = sym;
    return e;
}

SDL_Event quit()
{
    SDL_Event e{};
    e.type = SDL_QUIT;
    return e;
}

}

extern "C" {

Uint32 __real_SDL_GetTicks(void);
void __real_SDL_Delay(Uint32 ms);
int __real_SDL_Flip(SDL_Surface *screen);
int __real_SDL_PollEvent(SDL_Event *event);
time_t __real_time(time_t *t);

Uint32 __wrap_SDL_GetTicks(void)
{
    return scripted::real_clock ? __real_SDL_GetTicks() : scripted::ticks;
}

void __wrap_SDL_Delay(Uint32 ms)
{
    if (scripted::real_clock)
        __real_SDL_Delay(ms);
    else
        scripted::ticks += ms;
}

int __wrap_SDL_Flip(SDL_Surface *screen)
{
    int r = __real_SDL_Flip(screen);
    scripted::flips++;
    if (scripted::on_flip)
        scripted::on_flip();
    return r;
}

int __wrap_SDL_PollEvent(SDL_Event *event)
{
    if (!scripted::events.empty()) {
        if (event) {
            *event = scripted::events.front();
            scripted::events.pop_front();
        }
        return 1;
    }
    return scripted::real_events ? __real_SDL_PollEvent(event) : 0;
}

time_t __wrap_time(time_t *t)
{
    if (!scripted::now)
        return __real_time(t);
    if (t)
        *t = *scripted::now;
    return *scripted::now;
}

}
