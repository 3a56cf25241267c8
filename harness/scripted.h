// Runs the demo's own SDL_main, unchanged, on a clock and an event queue that
// the caller scripts: the capture tool, the page, the tests and the
// benchmark share it. The linker's --wrap (see CMakeLists.txt here) sends the
// program's calls of SDL_GetTicks, SDL_Delay, SDL_Flip, SDL_PollEvent, srand
// and rand to the scripted clock while a run is on, and to the device
// beneath it otherwise.
//
// A frame that is run but not shown is quiet: it runs its fire ticks, all
// that builds up from frame to frame, and draws nothing (parts.cpp), so that
// a run can start at any moment exactly as a whole run reaches it.
#ifndef SCRIPTED_H
#define SCRIPTED_H

#include <SDL.h>
#include <functional>
#include <string>
#include <vector>

namespace scripted {

// Frame n of a run at fps frames a second is drawn at this clock value,
// truncated as the frame times of a real display would be.
inline Sint32 frame_time(long n, int fps)
{
    return (Sint32)((Sint64)n * 1000 / fps);
}

// The frames 0 .. DEMO_LENGTH*fps/1000 of a whole run: the last is the first
// at or after the demo's end, which a whole fps reaches exactly.
long frame_count(int fps);

struct Event {
    long after;         // handed out once frame `after` has been shown
    SDL_Event event;
};

struct Run {
    Uint32 seed = 0;    // what srand receives in place of the time
    Uint32 base = 0;    // SDL_GetTicks when the demo starts, before its pause
    // The clock of frame n: the first is at 0, since nothing moves the clock
    // before it. Null: frame n at frame_time(n, 60).
    std::function<Uint32(long)> time_of;
    // Whether the frame at clock t is shown; the others are quiet. Null: all.
    std::function<bool(Sint32)> shows;
    // Sees each frame shown, with its number and clock value; false asks the
    // demo to quit. Null: the demo runs to its end.
    std::function<bool(long, Sint32)> see;
    std::vector<Event> events;
    bool real_events = false;  // also SDL's own events (a signal becomes SDL_QUIT)
    bool real_clock = false;   // SDL_GetTicks and SDL_Delay as they are
    // Played on the device's clock as a run at this rate: each frame is the
    // one such a run draws nearest that clock, those a slow device misses
    // run quietly, and the device may send it to any moment (device_go_to).
    // 0: the clock is time_of's.
    int live_fps = 0;
};

struct Result {
    long frames = 0;    // frames shown
    int status = -1;    // what SDL_main returned
};

// Runs SDL_main from its start and, once it returns, frees what homon made
// and quits SDL, so that the next run in the same process starts clean. A
// start-up that fails ends the process, as in the demo.
Result play(const Run &run);

// Stills of the frames at the clock values in times (increasing),
// each the frame a run at fps draws there after the frames of fps before it.
// save(t) is called while the frame at t is on the screen `shown` and returns
// false, with err set, to stop. Returns false with err set on failure.
bool stills(Uint32 seed, int fps, const std::vector<Sint32> &times,
            const std::function<bool(Sint32, std::string &)> &save, std::string &err);

SDL_Event key(Uint8 type, SDLKey sym);
SDL_Event quit();

// Whether a run is on and its clock is scripted; whether it is live.
bool clocked();
bool live();
// Whether the frame under way is quiet; whether the fire has had its first
// seeds (until then its field is all zero and a tick changes nothing).
bool quiet();
bool seeded();

// The device beneath the scripted clock, one a platform: SDL's own natively
// (native.cpp), the page in a browser (page.cpp).
void device_delay(Uint32 ms);  // SDL_Delay when the clock is not scripted
// SDL_GetTicks when the clock is not scripted, and a live run's clock:
// natively SDL's own; the page leaves out the time it was paused, so that
// the demo goes on where it was.
Uint32 device_ticks();
// After each of the program's flips of a frame shown: t is the frame's
// clock value on the scripted clock, else -1.
void device_shown(SDL_Surface *screen, Sint32 t);
// An event of the device's own, handed out before any other; false if none.
bool device_event(SDL_Event *event);
// In a live run: waits for the device's next frame; where it is to go
// instead (t ms from the start, the viewer's choice), true with t set; and
// that the clock now stands at t, having jumped there.
void device_idle();
bool device_go_to(Sint32 *t);
void device_moved(Sint32 t);
// A live run's checkpoints, which the device keeps, so that they outlive
// the run and serve other runs of the same seed and picture (the page's
// are also made ahead of the viewer, by a run that goes to the end at
// once). device_keep: the checkpoint at the start of frame `frame`, the
// one of its stretch of two seconds: the fire field (null while it is all
// zero), the generator's draws and the next tick from the clock's 0.
// device_restore: the device's latest checkpoint at or before frame
// `before`, if it has one: its field into the fire field, and *frame,
// *draws and *next its own; true.
void device_keep(long stretch, long frame, const Sint32 *field, unsigned long draws, Uint32 next);
bool device_restore(long before, long *frame, unsigned long *draws, Uint32 *next);

}

#endif
