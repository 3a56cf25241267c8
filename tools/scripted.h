// Runs the demo's own SDL_main, unchanged, on a clock and an event queue that
// the caller scripts: the tests, the capture tool and the benchmark share it.
// Link with the options CMake gives the scripted library: the linker's --wrap
// sends the program's calls of SDL_GetTicks, SDL_Delay, SDL_Flip,
// SDL_PollEvent and time here instead of to the system.
#ifndef SCRIPTED_H
#define SCRIPTED_H

#include <SDL.h>
#include <deque>
#include <functional>

namespace scripted {

extern std::deque<SDL_Event> events;  // handed out by SDL_PollEvent before SDL's own
extern bool real_events;              // also hand out SDL's own events (signals become SDL_QUIT)
extern bool real_clock;               // let SDL_GetTicks and SDL_Delay through to SDL
extern bool returned;                 // SDL_main has returned
extern int status;                    // ... with this value

// Runs SDL_main from its start, with seed for srand and SDL_GetTicks at base
// before the start-up pause. Frame n is drawn at demo clock time_of(n): the
// first at 0, since nothing moves the clock before it. see(n, t) sees each
// frame once it is shown and returns false to ask the demo to quit. Returns
// the frames shown.
long play(Uint32 seed, const std::function<Uint32(long)> &time_of,
          const std::function<bool(long, Sint32)> &see, Uint32 base = 0);

// Frees what a run leaves for the end of the process and quits SDL, so that
// another run in the same process starts clean.
void release();

SDL_Event key(Uint8 type, SDLKey sym);
SDL_Event quit();

}

#endif
