#include "scripted.h"
#include <stdlib.h>
#include <time.h>
#include "vaskiloimu.h"

namespace scripted {

std::deque<SDL_Event> events;
bool real_events;
bool real_clock;
bool returned;
int status;

namespace {
Uint32 ticks;
time_t now;  // what time() answers while SDL_main runs, so srand gets the seed
bool playing;
std::function<void()> on_flip;
}

long play(Uint32 seed, const std::function<Uint32(long)> &time_of,
          const std::function<bool(long, Sint32)> &see, Uint32 base)
{
    ticks = base;
    now = (time_t)seed;
    returned = false;
    long n = 0;
    Uint32 start = 0;
    on_flip = [&] {
        if (n == 0)
            start = ticks;
        if (see(n, (Sint32)(ticks - start)))
            ticks = start + time_of(n + 1);
        else
            events.push_back(quit());
        n++;
    };
    playing = true;
    status = SDL_main(0, nullptr);
    playing = false;
    returned = true;
    on_flip = nullptr;
    events.clear();
    return n;
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

using namespace scripted;

extern "C" {

Uint32 __real_SDL_GetTicks(void);
void __real_SDL_Delay(Uint32 ms);
int __real_SDL_Flip(SDL_Surface *screen);
int __real_SDL_PollEvent(SDL_Event *event);

Uint32 __wrap_SDL_GetTicks(void)
{
    return real_clock ? __real_SDL_GetTicks() : ticks;
}

void __wrap_SDL_Delay(Uint32 ms)
{
    if (real_clock)
        __real_SDL_Delay(ms);
    else
        ticks += ms;
}

int __wrap_SDL_Flip(SDL_Surface *screen)
{
    int r = __real_SDL_Flip(screen);
    if (on_flip)
        on_flip();
    return r;
}

int __wrap_SDL_PollEvent(SDL_Event *event)
{
    if (!events.empty()) {
        *event = events.front();
        events.pop_front();
        return 1;
    }
    return real_events ? __real_SDL_PollEvent(event) : 0;
}

time_t __real_time(time_t *t);

time_t __wrap_time(time_t *t)
{
    time_t v = playing ? now : __real_time(nullptr);
    if (t)
        *t = v;
    return v;
}

}
