#include "scripted.h"
#include <algorithm>
#include <deque>
#include <stdlib.h>
#include <string.h>
#include "vaskiloimu.h"

extern "C" {
void __real_srand(unsigned seed);
int __real_rand(void);
}

namespace scripted {

namespace {
// What the wrapped calls answer while a run is on; null between runs, when
// they pass every call through.
const Run *current;
Uint32 ticks;
Uint32 next_ticks;  // the next frame's clock, once the device has shown this one
bool quiet_now, quiet_next;  // whether this frame is quiet, and the next
std::deque<SDL_Event> queue;
Uint32 seed_taken;   // what srand was given
unsigned long draws;  // rand() results drawn since

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

// Whether a quiet frame at clock t (the next at `following`, quiet too or
// not) would change nothing and can be left out: no tick falls in it; or the
// fire has had no seeds yet, and the next frame, quiet and before any can
// come, runs its ticks too, which on a field all zero move the next tick
// on and nothing else (and a quiet frame does not even run them).
bool needless(Uint32 t, Uint32 following, bool following_quiet, Uint32 start)
{
    return t < firenext - start || (!seeded() && following_quiet && following <= (Uint32)SWING_SEEDS_AFTER);
}

// A live run: its frames are those of a run at fps, each on the device's
// clock. Every two seconds' frames it hands the device what it needs to be
// there again at once: from the first seeds to the end, some 24 fields,
// 30 MB. The demo's start is the checkpoint of the first two seconds.
struct Live {
    int fps = 0;
    long last = 0;      // the last frame of the demo
    long frame = 0;     // the frame under way
    long target = 0;    // the frame to show next: those before it run quietly
    Uint32 zero = 0;    // the device's clock at the demo's clock 0
    Uint32 start = 0;   // SDL_GetTicks at the demo's clock 0
    long stretch = 0;   // the last stretch of two seconds handed over

    long every() const { return 2L * fps; }

    // The frame a run at fps shows at ms: the last drawn at or before it.
    long at(Sint32 ms) const
    {
        long n = (long)((Sint64)ms * fps / 1000);
        while (frame_time(n + 1, fps) <= ms)
            n++;
        return n < 0 ? 0 : n > last ? last : n;
    }

    // At the first frame run in each stretch of two seconds.
    void keep(long n)
    {
        if (n / every() <= stretch)
            return;
        stretch = n / every();
        device_keep(stretch, n, draws ? firekg : nullptr, draws, firenext - start);
    }

    // Goes to the frame shown at ms: what a whole run holds at the start of
    // the device's latest checkpoint before it, or at the demo's start, and
    // from there its frames quietly.
    void go_to(Sint32 ms)
    {
        target = at(ms);
        long from = 0;
        unsigned long drawn = 0;
        Uint32 next = 0;
        if (!device_restore(target, &from, &drawn, &next))
            memset(firekg, 0, sizeof(Sint32) * (size_t)firew * fireh);
        __real_srand(seed_taken);
        for (draws = 0; draws < drawn; draws++)
            __real_rand();
        firenext = start + next;
        frame = from - 1;
        zero = device_ticks() - (Uint32)frame_time(target, fps);
        device_moved(frame_time(target, fps));
    }

    // After the frame under way: which is next, waiting for the device's
    // clock to reach it, or for the viewer to go elsewhere. After the last
    // frame there is none: the demo ends. A quiet frame that would change
    // nothing is not run at all.
    long next()
    {
        for (Sint32 ms; frame >= target && frame < last;) {
            if (device_go_to(&ms)) {
                go_to(ms);
                break;
            }
            long want = at((Sint32)(device_ticks() - zero + 500 / fps));  // the nearest
            if (want > frame) {
                target = want;
                break;
            }
            device_idle();
        }
        for (frame++; frame < target && needless(frame_time(frame, fps), frame_time(frame + 1, fps), frame + 1 < target, start);)
            frame++;
        keep(frame);
        return frame;
    }
};

// A run under way. The page's device waits below flip(), and a program
// built for the page can wait only at the end of direct calls (ASYNCIFY, see
// CMakeLists.txt here): flip() is called as a plain function, never
// through a std::function.
struct Session {
    const Run &run;
    Result result;
    Uint32 start = 0;
    long n = 0;  // SDL_main's frames so far
    size_t next_event = 0;
    Live live;

    Uint32 time_of(long f) const { return run.time_of ? run.time_of(f) : (Uint32)frame_time(f, 60); }
    bool shows(Sint32 t) const { return !run.shows || run.shows(t); }

    // Ends a frame of the program's, shown or quiet, and sets the next.
    void flip(SDL_Surface *screen)
    {
        if (n == 0)
            start = live.start = ticks;
        Sint32 t = (Sint32)(ticks - start);
        if (!quiet_now) {
            result.frames++;
            device_shown(screen, t);
        }
        for (; next_event < run.events.size() && run.events[next_event].after <= n; next_event++)
            queue.push_back(run.events[next_event].event);
        next_ticks = ticks;
        if (!quiet_now && run.see && !run.see(n, t)) {
            queue.push_back(quit());
        } else if (run.live_fps) {
            long f = live.next();
            next_ticks = start + (Uint32)frame_time(f, run.live_fps);
            quiet_next = f < live.target;
        } else {
            // Quiet frames that would change nothing are not run.
            long m = n + 1;
            while (!shows((Sint32)time_of(m)) && needless(time_of(m), time_of(m + 1), !shows((Sint32)time_of(m + 1)), start))
                m++;
            next_ticks = start + time_of(m);
            quiet_next = !shows((Sint32)time_of(m));
            // The picture jumps past the quiet frames, and the sound with it.
            if ((quiet_now || m > n + 1) && !quiet_next)
                device_moved((Sint32)time_of(m));
            n = m - 1;
        }
        n++;
    }
};
Session *session;

}

long frame_count(int fps)
{
    return (long)DEMO_LENGTH * fps / 1000 + 1;
}

Result play(const Run &run)
{
    Session now{run, {}, 0, 0, 0, {}};
    now.live.fps = run.live_fps;
    now.live.last = frame_count(run.live_fps ? run.live_fps : 1) - 1;
    ticks = run.base;
    draws = 0;
    quiet_now = !now.shows(0);
    session = &now;
    current = &run;
    now.result.status = SDL_main(0, nullptr);
    current = nullptr;
    session = nullptr;
    queue.clear();
    release();
    return now.result;
}

bool stills(Uint32 seed, int fps, const std::vector<Sint32> &times,
            const std::function<bool(Sint32, std::string &)> &save, std::string &err)
{
    auto on_grid = [fps](Sint32 ms) {
        long n = (long)(((Sint64)ms * fps + 999) / 1000);  // the first frame not before ms
        return frame_time(n, fps) == ms;
    };
    // A still off the frame times ends its run, since the extra frame it
    // needs would change the fire of every frame after it. The frames
    // between stills are quiet.
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
        run.shows = [&](Sint32 t) { return std::find(times.begin() + (long)from, times.begin() + (long)to + 1, t) !=
                                           times.begin() + (long)to + 1; };
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

bool live()
{
    return current && current->live_fps;
}

bool quiet()
{
    return current && quiet_now;
}

bool seeded()
{
    return draws > 0;
}

}

using namespace scripted;

// The program's calls of these come here instead (the linker's --wrap):
// the scripted clock's answers while a run is on, the device's otherwise.
extern "C" {

int __real_SDL_Flip(SDL_Surface *screen);
int __real_SDL_PollEvent(SDL_Event *event);

Uint32 __wrap_SDL_GetTicks(void)
{
    return clocked() ? ticks : device_ticks();
}

// A live run waits out the demo's pause on the device, and its clock 0 is
// the device's then.
void __wrap_SDL_Delay(Uint32 ms)
{
    if (!clocked() || live())
        device_delay(ms);
    if (clocked())
        ticks += ms;
    if (live())
        session->live.zero = device_ticks();
}

// Only the program's flips are frames: SDL also flips inside
// SDL_SetVideoMode, before the program has its screen. A quiet frame is
// not flipped. The device shows a frame at its own clock value, before the
// clock moves on.
int __wrap_SDL_Flip(SDL_Surface *screen)
{
    int r = current && quiet_now && screen == shown ? 0 : __real_SDL_Flip(screen);
    if (screen != shown)
        return r;
    if (!current) {
        device_shown(screen, -1);
        return r;
    }
    session->flip(screen);
    ticks = next_ticks;
    quiet_now = quiet_next;
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
    // Quiet frames leave SDL's own events to the next frame shown.
    return !current || (current->real_events && !quiet_now) ? __real_SDL_PollEvent(event) : 0;
}

void __wrap_srand(unsigned seed)
{
    seed_taken = current ? current->seed : seed;
    draws = 0;
    __real_srand(seed_taken);
}

// Counted, so that a live run can bring the generator to where a whole run
// has it.
int __wrap_rand(void)
{
    draws++;
    return __real_rand();
}

}
