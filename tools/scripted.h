// Runs the demo's own SDL_main, unchanged, on a clock and an event queue that
// the caller scripts. Link with scripted_link_options (see CMakeLists.txt):
// the linker's --wrap sends the program's calls of SDL_GetTicks, SDL_Delay,
// SDL_Flip, SDL_PollEvent and time here instead of to the system.
#ifndef SCRIPTED_H
#define SCRIPTED_H

#include <SDL.h>
#include <deque>
#include <functional>
#include <optional>
#include <ctime>

namespace scripted {

extern Uint32 ticks;                  // what SDL_GetTicks answers; SDL_Delay adds to it
extern bool real_clock;               // let SDL_GetTicks and SDL_Delay through to SDL
extern std::function<void()> on_flip; // runs after each of the program's flips
extern std::deque<SDL_Event> events;  // handed out by SDL_PollEvent, before real ones
extern bool real_events;              // also hand out SDL's own events when the script has none
extern std::optional<time_t> now;     // what time() answers, so srand gets a known seed
extern unsigned long flips;           // flips the program has made

// A fresh script: the clock at base, no events, no hook.
void reset(Uint32 base);

// Frees what a run of SDL_main leaves for the end of the process and quits
// SDL, so that another run in the same process starts clean.
void release();

SDL_Event key(Uint8 type, SDLKey sym);
SDL_Event quit();

}

#endif
