// The page's device: what the demo needs from a browser page beneath its
// unchanged code and the scripted clock, which in the page's test mode runs
// it as in the native tools. It runs in the page's worker (web/worker.js),
// which stands for "the page" below.
//  - each frame shown goes to the canvas, and the program waits for the
//    next animation frame (ASYNCIFY unwinds it meanwhile);
//  - SDL's audio wants a thread, and there are none: the device is the page,
//    which is handed the mixer's output as far as the clock has come on each
//    frame. SDL itself has no audio driver here, so its mixing routine takes
//    the format to be 16-bit, as opened; the linker's --wrap (see
//    CMakeLists.txt here) sends the mixer's calls of SDL's audio here;
//  - a released Esc arrives as SDL's key event;
//  - while the page is paused, the program is kept waiting, and its clock
//    leaves the paused time out;
//  - played normally, the demo is the run at 60 frames a second on the
//    page's clock (scripted.h, a live run), which the viewer can send to any
//    moment: the sound goes there with it. The page keeps the fire's
//    checkpoints, for every run of its seed and picture; a worker of its
//    own makes them ahead of the viewer, as a live run sent to the end.
// The picture's blit is our own here (parts.cpp), and rand and srand are
// glibc's, from ports/rand.c.
#include <emscripten.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include "scripted.h"
#include "vaskiloimu.h"

extern "C" {

// The page's side, in its Module object (see worker.js).
EM_JS(int, page_fps, (void), { return Module.fps || 0; });
EM_JS(int, page_seed, (void), { return Module.seed || 0; });
EM_JS(int, page_from, (void), { return Module.from || 0; });
EM_JS(void, page_length, (int ms), { Module.length(ms); });
// Where the viewer asks to go, in ms of the demo's clock; -1: nowhere.
EM_JS(int, page_go_to, (void), { return Module.goTo(); });
EM_JS(int, page_escape, (void), { return Module.escape(); });
EM_JS(void, page_show, (const void *rgba, int w, int h, int t), {
    Module.show(HEAPU8.buffer, rgba, w, h, t);
});
EM_JS(int, page_audio_wanted, (void), { return Module.audioWanted(); });
EM_JS(void, page_audio, (const void *p, int bytes), {
    Module.audio(HEAP16.subarray(p >> 1, (p + bytes) >> 1));
});
EM_JS(void, page_audio_start, (int rate), { Module.audioStart(rate); });
EM_JS(void, page_audio_moved, (int first), { Module.audioMoved(first); });
EM_JS(void, page_end, (int status), { Module.ended(status); });
// The fire's checkpoints, which the page keeps for its seed and picture
// (see worker.js): one of its stretch; and the page's latest at or before
// frame `before`, its field into `field` and its draws and next tick into
// `out`: its frame, or -1 if none.
EM_JS(void, page_keep, (int stretch, int frame, const Sint32 *field, int cells, Uint32 draws, Uint32 next), {
    Module.keep(stretch, { frame, field: HEAP32.subarray(field >> 2, (field >> 2) + cells), draws, next });
});
EM_JS(int, page_restore, (int before, Sint32 *field, Uint32 *out), {
    const c = Module.restore(before);
    if (!c) return -1;
    HEAP32.set(c.field, field >> 2);
    HEAPU32[out >> 2] = c.draws;
    HEAPU32[(out >> 2) + 1] = c.next;
    return c.frame;
});
// Waits for the next animation frame, or ms milliseconds, and for as long
// as the page is paused: ASYNCIFY unwinds the program, and rewinds it on
// the wake-up (the build lists this among the calls that may do so). A
// plain callback, no promise: each promise costs microtasks on every frame.
EM_JS(void, page_wait, (int ms), { Asyncify.handleSleep(wake => Module.wait(ms, wake)); });
// Milliseconds, less the time the page was paused; as an unsigned 32-bit
// count, it wraps as SDL's does.
EM_JS(Uint32, page_ticks, (void), { return Module.ticks(); });

}

// The audio device.
namespace {

SDL_AudioSpec device;
bool opened, paused = true;
long played;      // sample frames handed to the page since the sound started
Uint32 audio_at;  // the clock when the sound last started
Uint8 chunk[48000 * 4];

// Hands the page the sound up to where it is wanted: on the scripted clock,
// up to the clock; on the page's, as far ahead as the page asks.
void pump_audio()
{
    if (!opened || paused)
        return;
    long want = scripted::clocked() && !scripted::live()
                    ? (long)(SDL_GetTicks() - audio_at) * (device.freq / 1000) - played
                    : page_audio_wanted();
    while (want > 0) {
        int n = want < (long)sizeof chunk / 4 ? (int)want : (int)sizeof chunk / 4;
        memset(chunk, device.silence, (size_t)n * 4);
        device.callback(device.userdata, chunk, n * 4);
        page_audio(chunk, n * 4);
        played += n;
        want -= n;
    }
}

// The screen's bytes are B, G, R, x; the canvas's R, G, B, A.
Uint32 *rgba;

void show(const SDL_Surface *screen, int t)
{
    const int n = screen->w * screen->h;
    if (!rgba && !(rgba = (Uint32 *)malloc((size_t)n * 4)))
        exit(1);
    const Uint32 *__restrict from = (const Uint32 *)screen->pixels;
    Uint32 *__restrict to = rgba;
    for (int i = 0; i < n; i++) {
        const Uint32 p = from[i];
        to[i] = 0xFF000000u | (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF);
    }
    page_show(rgba, screen->w, screen->h, t);
}

}

// The device beneath the scripted clock (scripted.h).
void scripted::device_delay(Uint32 ms)
{
    page_wait((int)ms);
}

Uint32 scripted::device_ticks()
{
    return page_ticks();
}

// Off the scripted clock, a frame is shown at the next animation frame; on
// it, as soon as the page has taken the last.
void scripted::device_shown(SDL_Surface *screen, Sint32 t)
{
    pump_audio();
    show(screen, t);
    page_wait(scripted::clocked() ? 0 : -1);
}

void scripted::device_idle()
{
    page_wait(-1);
}

bool scripted::device_go_to(Sint32 *t)
{
    int to = page_go_to();
    if (to < 0)
        return false;
    *t = to;
    return true;
}

// The music from the sample frame of clock value t on: the mixer plays a
// chunk that starts there, as the demo's would have by then.
void scripted::device_moved(Sint32 t)
{
    static Mix_Chunk from;
    const long frame = (long)t * (device.freq / 1000);
    if (!opened || !musa)
        return;
    Mix_HaltChannel(-1);
    if ((Uint32)frame * 4 < musa->alen) {
        from = *musa;
        from.abuf += frame * 4;
        from.alen -= (Uint32)frame * 4;
        Mix_PlayChannelTimed(-1, &from, 0, -1);
    }
    played = frame;
    page_audio_moved((int)frame);
}

// Before the first seeds the field is all zero, as at the demo's start,
// which a live run goes from where the page has no checkpoint.
void scripted::device_keep(long stretch, long frame, const Sint32 *field, unsigned long draws, Uint32 next)
{
    if (field)
        page_keep((int)stretch, (int)frame, field, firew * fireh, (Uint32)draws, next);
}

bool scripted::device_restore(long before, long *frame, unsigned long *draws, Uint32 *next)
{
    Uint32 out[2];
    const int at = page_restore((int)before, firekg, out);
    if (at < 0)
        return false;
    *frame = at;
    *draws = out[0];
    *next = out[1];
    return true;
}

bool scripted::device_event(SDL_Event *event)
{
    if (!page_escape())
        return false;
    *event = scripted::key(SDL_KEYUP, SDLK_ESCAPE);
    return true;
}

extern "C" {

int __wrap_SDL_OpenAudio(SDL_AudioSpec *want, SDL_AudioSpec *got)
{
    if (opened || want->format != AUDIO_S16LSB || want->channels != 2) {
        SDL_SetError("the page plays 16-bit stereo only");
        return -1;
    }
    device = *want;
    device.silence = 0;
    device.size = (Uint32)device.samples * 4;
    if (got)
        *got = device;
    opened = true;
    paused = true;
    return 0;
}

void __wrap_SDL_PauseAudio(int on)
{
    if (opened && paused && !on) {
        played = 0;
        audio_at = SDL_GetTicks();
        page_audio_start(device.freq);
    }
    paused = on;
    pump_audio();
}

SDL_audiostatus __wrap_SDL_GetAudioStatus(void)
{
    return !opened ? SDL_AUDIO_STOPPED : paused ? SDL_AUDIO_PAUSED : SDL_AUDIO_PLAYING;
}

void __wrap_SDL_CloseAudio(void) { opened = false; }
void __wrap_SDL_LockAudio(void) {}
void __wrap_SDL_UnlockAudio(void) {}

// No process to end: the run stops here, and emscripten takes the 'unwind'
// it is told as a quiet stop.
void __wrap_exit(int status)
{
    page_end(status);
    EM_ASM({ throw 'unwind'; });
    __builtin_unreachable();
}

}

// The page's own start. In test mode (a rate given) on the scripted clock,
// frame n at scripted::frame_time(n, fps), with the page's seed, shown from
// the page's moment on; played normally as the run at 60 frames a second on
// the page's clock, seeded as the demo seeds, with the time, unless the page
// names a seed.
int main()
{
    // The only video driver there is, which SDL uses only when named.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    const int fps = page_fps(), from = page_from();
    page_length(DEMO_LENGTH);
    scripted::Run run;
    run.real_events = true;
    run.seed = page_seed() ? (Uint32)page_seed() : (Uint32)time(nullptr);
    run.shows = [from](Sint32 t) { return t >= from; };
    if (fps)
        run.time_of = [fps](long n) { return (Uint32)scripted::frame_time(n, fps); };
    else
        run.live_fps = 60;  // and the page asks to go to `from` at once
    const int status = scripted::play(run).status;
    page_end(status);
    return status;
}
