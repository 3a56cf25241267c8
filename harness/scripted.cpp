#include "scripted.h"
#include <deque>
#include <stdlib.h>
#include "vaskiloimu.h"

namespace scripted {

namespace {
// What the wrapped calls answer while a run is on; null between runs, when
// they pass every call through.
const Run *current;
Uint32 ticks;
Uint32 next_ticks;  // the next frame's clock, once the device has shown this one
std::deque<SDL_Event> queue;
std::function<Sint32()> on_flip;  // counts a frame of the program's; returns its clock value

// What homon made, freed as the process's end would free it.
void release()
{
    free(firekg);
    firekg = nullptr;
    if (s != shown)
        SDL_FreeSurface(s);
    s = shown = nullptr;
    SDL_FreeSurface(ims[0]);
    ims[0] = nullptr;
    Mix_FreeChunk(musa);
    musa = nullptr;
    Mix_CloseAudio();
    SDL_Quit();
}
}

long frame_count(int fps)
{
    return (long)DEMO_LENGTH * fps / 1000 + 1;
}

Result play(const Run &run)
{
    std::function<Uint32(long)> time_of = run.time_of;
    if (!time_of)
        time_of = [](long n) { return (Uint32)frame_time(n, 60); };
    Result r;
    Uint32 start = 0;
    size_t next_event = 0;
    on_flip = [&] {
        long n = r.frames++;
        if (n == 0)
            start = ticks;
        Sint32 t = (Sint32)(ticks - start);
        for (; next_event < run.events.size() && run.events[next_event].after <= n; next_event++)
            queue.push_back(run.events[next_event].event);
        next_ticks = ticks;
        if (!run.see || run.see(n, t))
            next_ticks = start + time_of(n + 1);
        else
            queue.push_back(quit());
        return t;
    };
    ticks = run.base;
    current = &run;
    r.status = SDL_main(0, nullptr);
    current = nullptr;
    on_flip = nullptr;
    queue.clear();
    release();
    return r;
}

bool stills(Uint32 seed, int fps, const std::vector<Sint32> &times,
            const std::function<bool(Sint32, std::string &)> &save, std::string &err)
{
    auto on_grid = [fps](Sint32 ms) {
        long n = (long)(((Sint64)ms * fps + 999) / 1000);  // the first frame not before ms
        return frame_time(n, fps) == ms;
    };
    // A still off the frame times ends its run, since the extra frame it
    // needs would change the fire of every frame after it.
    size_t from = 0;
    while (from < times.size()) {
        size_t to = from;
        while (to + 1 < times.size() && on_grid(times[to]))
            to++;
        std::vector<Uint32> clock;
        for (long n = 0; frame_time(n, fps) < times[to]; n++)
            clock.push_back((Uint32)frame_time(n, fps));
        clock.push_back((Uint32)times[to]);
        size_t next = from;
        Run run;
        run.seed = seed;
        run.real_events = true;
        run.time_of = [&](long n) { return clock[(size_t)n]; };
        run.see = [&](long n, Sint32 t) {
            if (next <= to && t == times[next]) {
                if (!save(t, err))
                    return false;
                next++;
            }
            return (size_t)n + 1 < clock.size();
        };
        play(run);
        if (!err.empty())
            return false;
        if (next <= to) {
            err = "stopped before the still at " + std::to_string(times[next]) + " ms";
            return false;
        }
        from = to + 1;
    }
    return true;
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

bool clocked()
{
    return current && !current->real_clock;
}

}

using namespace scripted;

// The program's calls of these come here instead (the linker's --wrap):
// the scripted clock's answers while a run is on, the device's otherwise.
extern "C" {

int __real_SDL_Flip(SDL_Surface *screen);
int __real_SDL_PollEvent(SDL_Event *event);
void __real_srand(unsigned seed);

Uint32 __wrap_SDL_GetTicks(void)
{
    return clocked() ? ticks : device_ticks();
}

void __wrap_SDL_Delay(Uint32 ms)
{
    if (clocked())
        ticks += ms;
    else
        device_delay(ms);
}

// Only the program's flips are frames: SDL also flips inside
// SDL_SetVideoMode, before the program has its screen. The device shows a
// frame at its own clock value, before the clock moves on.
int __wrap_SDL_Flip(SDL_Surface *screen)
{
    int r = __real_SDL_Flip(screen);
    if (screen != shown)
        return r;
    device_shown(screen, current ? on_flip() : -1);
    if (current)
        ticks = next_ticks;
    return r;
}

int __wrap_SDL_PollEvent(SDL_Event *event)
{
    if (device_event(event))
        return 1;
    if (current && !queue.empty()) {
        *event = queue.front();
        queue.pop_front();
        return 1;
    }
    return !current || current->real_events ? __real_SDL_PollEvent(event) : 0;
}

void __wrap_srand(unsigned seed)
{
    __real_srand(current ? current->seed : seed);
}

}
