/* What the demo needs from a browser page, beneath its unchanged code. It
 * runs in the page's worker (worker.js), which stands for "the page" below.
 * The linker's --wrap (see build.sh) sends the calls of these SDL and C
 * library functions here:
 *  - each flip hands the screen to the canvas and waits for the next
 *    animation frame (ASYNCIFY unwinds the program meanwhile);
 *  - SDL's audio wants a thread, and there are none: the device is the page,
 *    which is handed the mixer's output as far as the clock has come on each
 *    flip. SDL itself has no audio driver here, so its mixing routine takes
 *    the format to be 16-bit, as opened;
 *  - a released Esc arrives as SDL's key event;
 *  - on a scripted clock (the page's test mode) SDL_GetTicks and SDL_Delay
 *    answer from the script, and srand takes the script's seed, as in the
 *    native capture tool;
 *  - the picture is blitted run-length encoded while it is opaque;
 *  - the effects, the image's blit and the handing over of each frame are
 *    timed, for the page's benchmark (bench.js).
 * rand and srand are glibc's, from ports/rand.c. */
#include <emscripten.h>
#include <stdlib.h>
#include <string.h>

#include "vaskiloimu.h"

/* The page's side, in its Module object (see index.html). */
EM_JS(int, page_fps, (void), { return Module.fps || 0; });
EM_JS(int, page_seed, (void), { return Module.seed || 0; });
EM_JS(int, page_escape, (void), { return Module.escape(); });
EM_JS(void, page_show, (const void *rgba, int w, int h, int t), {
    Module.show(HEAPU8.buffer, rgba, w, h, t);
});
EM_JS(int, page_audio_wanted, (void), { return Module.audioWanted(); });
EM_JS(void, page_audio, (const void *p, int bytes), {
    Module.audio(HEAP16.subarray(p >> 1, (p + bytes) >> 1));
});
EM_JS(void, page_audio_start, (int rate), { Module.audioStart(rate); });
/* Waits for the next animation frame, or ms milliseconds: ASYNCIFY unwinds
 * the program, and rewinds it on the wake-up (build.sh lists this among the
 * calls that may do so). Plain callbacks, no promises: each promise costs
 * microtasks on every frame. The page keeps the moments of the wake-up and
 * of the next wait, and adds up the unwinding: from that wait until the
 * wake-up returns. */
EM_JS(void, page_wait, (int ms), {
    Module.asked = performance.now();
    Asyncify.handleSleep(wake => {
        const go = () => {
            Module.resumed = performance.now();
            wake();
            if (Module.asked > Module.resumed)
                Module.unwinding += performance.now() - Module.asked;
        };
        if (ms < 0)
            requestAnimationFrame(go);
        else
            setTimeout(go, ms);
    });
});
EM_JS(double, page_resumed, (void), { return Module.resumed; });

/* Milliseconds spent so far in each timed part, and frames shown; the page
 * reads them through spent(). */
enum { PATTERN, OVERLAY, STEPS, BLIT, SHOW, AUDIO, REWINDING, AWAKE, FRAMES, PARTS };
static double spent[PARTS];

EMSCRIPTEN_KEEPALIVE const double *spent_ms(void) { return spent; }

void __real_bkge(Sint32 phase);
void __real_firegk(void);
void __real_firekl(void);
int __real_SDL_UpperBlit(SDL_Surface *src, SDL_Rect *srcrect, SDL_Surface *dst, SDL_Rect *dstrect);

void __wrap_bkge(Sint32 phase)
{
    double t0 = emscripten_get_now();
    __real_bkge(phase);
    spent[PATTERN] += emscripten_get_now() - t0;
}

void __wrap_firegk(void)
{
    double t0 = emscripten_get_now();
    __real_firegk();
    spent[OVERLAY] += emscripten_get_now() - t0;
}

void __wrap_firekl(void)
{
    double t0 = emscripten_get_now();
    __real_firekl();
    spent[STEPS] += emscripten_get_now() - t0;
}

int __wrap_SDL_UpperBlit(SDL_Surface *src, SDL_Rect *srcrect, SDL_Surface *dst, SDL_Rect *dstrect)
{
    double t0 = emscripten_get_now();
    int r = __real_SDL_UpperBlit(src, srcrect, dst, dstrect);
    spent[BLIT] += emscripten_get_now() - t0;
    return r;
}

/* A colour-keyed picture drawn opaque is blitted fastest run-length
 * encoded, SDL's own portable way, with the same pixels: those not keyed
 * out, copied. Blended, the encoded blit rounds otherwise, so the picture is
 * encoded only while it is opaque. The program does not read its pixels. */
int __real_SDL_SetAlpha(SDL_Surface *surface, Uint32 flag, Uint8 alpha);

int __wrap_SDL_SetAlpha(SDL_Surface *surface, Uint32 flag, Uint8 alpha)
{
    if ((surface->flags & SDL_SRCCOLORKEY) && (flag & SDL_SRCALPHA) && alpha == SDL_ALPHA_OPAQUE)
        flag |= SDL_RLEACCEL;
    return __real_SDL_SetAlpha(surface, flag, alpha);
}

/* The screen's bytes are B, G, R, x; the canvas's R, G, B, A. */
static Uint32 *rgba;

static void show(const SDL_Surface *screen, int t)
{
    double t0 = emscripten_get_now();
    const int n = screen->w * screen->h;
    if (!rgba && !(rgba = malloc((size_t)n * 4)))
        exit(1);
    const Uint32 *__restrict from = screen->pixels;
    Uint32 *__restrict to = rgba;
    for (int i = 0; i < n; i++) {
        const Uint32 p = from[i];
        to[i] = 0xFF000000u | (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF);
    }
    page_show(rgba, screen->w, screen->h, t);
    spent[SHOW] += emscripten_get_now() - t0;
}

Uint32 __real_SDL_GetTicks(void);
int __real_SDL_Flip(SDL_Surface *screen);
int __real_SDL_PollEvent(SDL_Event *event);
void __real_srand(unsigned seed);

static int fps;          /* frames a second of the scripted clock; 0: the real one */
static Uint32 ticks;     /* the scripted clock */
static Uint32 start;     /* the scripted clock at the first flip */
static long flips;       /* the program's flips; SDL's own in SDL_SetVideoMode is not one */
static Uint32 audio_at;  /* the clock when the sound last started */

Uint32 __wrap_SDL_GetTicks(void)
{
    return fps ? ticks : __real_SDL_GetTicks();
}

void __wrap_SDL_Delay(Uint32 ms)
{
    if (fps)
        ticks += ms;
    else
        page_wait((int)ms);
}

void __wrap_srand(unsigned seed)
{
    __real_srand(fps ? (unsigned)page_seed() : seed);
}

int __wrap_SDL_PollEvent(SDL_Event *e)
{
    if (page_escape()) {
        if (e) {
            memset(e, 0, sizeof *e);
            e->type = e->key.type = SDL_KEYUP;
            e->key.state = SDL_RELEASED;
            e->key.keysym.sym = SDLK_ESCAPE;
        }
        return 1;
    }
    return __real_SDL_PollEvent(e);
}

/* The audio device. */
static SDL_AudioSpec device;
static int opened, paused = 1;
static long played;      /* sample frames handed to the page since the sound started */
static Uint8 chunk[48000 * 4];

static void pump_audio(void);

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
    opened = 1;
    paused = 1;
    return 0;
}

void __wrap_SDL_PauseAudio(int on)
{
    if (opened && paused && !on) {
        played = 0;
        audio_at = __wrap_SDL_GetTicks();
        page_audio_start(device.freq);
    }
    paused = on;
    pump_audio();
}

SDL_audiostatus __wrap_SDL_GetAudioStatus(void)
{
    return !opened ? SDL_AUDIO_STOPPED : paused ? SDL_AUDIO_PAUSED : SDL_AUDIO_PLAYING;
}

void __wrap_SDL_CloseAudio(void) { opened = 0; }
void __wrap_SDL_LockAudio(void) {}
void __wrap_SDL_UnlockAudio(void) {}

/* Hands the page the sound up to where it is wanted: on the scripted clock,
 * up to the clock; otherwise as far ahead as the page asks. */
static void pump_audio(void)
{
    if (!opened || paused)
        return;
    long want = fps ? (long)(ticks - audio_at) * (device.freq / 1000) - played
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

/* SDL_SetVideoMode flips once by itself, to clear the screen. wasm-ld
 * wraps calls inside a library too, so that flip would come here as well:
 * it is no frame of the program's. */
static int setting_mode;

SDL_Surface *__real_SDL_SetVideoMode(int w, int h, int bpp, Uint32 flags);

SDL_Surface *__wrap_SDL_SetVideoMode(int w, int h, int bpp, Uint32 flags)
{
    setting_mode = 1;
    SDL_Surface *screen = __real_SDL_SetVideoMode(w, h, bpp, flags);
    setting_mode = 0;
    return screen;
}

int __wrap_SDL_Flip(SDL_Surface *screen)
{
    int r = __real_SDL_Flip(screen);
    if (setting_mode)
        return r;
    if (flips == 0)
        start = __wrap_SDL_GetTicks();
    double t0 = emscripten_get_now();
    pump_audio();
    spent[AUDIO] += emscripten_get_now() - t0;
    show(screen, (int)(__wrap_SDL_GetTicks() - start));
    /* From the last wake-up to this wait: all the program's work in a frame. */
    if (flips > 0)
        spent[AWAKE] += emscripten_get_now() - page_resumed();
    flips++;
    spent[FRAMES] = flips;
    if (fps) {
        /* Frame n at trunc(n * 1000 / fps) ms after the first, as frame_time
         * in the native tools' scripted clock (tools/scripted.h). */
        ticks = start + (Uint32)((long long)flips * 1000 / fps);
        page_wait(0);
    } else {
        page_wait(-1);
    }
    spent[REWINDING] += emscripten_get_now() - page_resumed();
    return r;
}

/* The page learns how the run ended: SDL_main's status, or exit's. */
EM_JS(void, page_end, (int status), { Module.ended(status); });

int __real_SDL_main(int argc, char *argv[]);

int __wrap_SDL_main(int argc, char *argv[])
{
    fps = page_fps();
    /* The only driver there is, which SDL uses only when named. */
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    int r = __real_SDL_main(argc, argv);
    page_end(r);
    return r;
}

/* No process to end: the run stops here, and emscripten takes the 'unwind'
 * it is told as a quiet stop. */
void __wrap_exit(int status)
{
    page_end(status);
    EM_ASM({ throw 'unwind'; });
    __builtin_unreachable();
}
