// Demo control: start-up, the timeline and the frame loop, shutdown.
#include <math.h>
#include <stdlib.h>
#include <time.h>
#include <SDL_image.h>
#include "vaskiloimu.h"

SDL_Surface *s;
SDL_Surface *shown;
SDL_Surface *ims[1];
const char *imf[1] = {IMAGE_FILE};
Mix_Chunk *musa;
Sint32 firew;
Sint32 fireh;
Sint32 *firekg;
Uint32 firenext;

// The image sways round its resting place, its top edge REST_TOP pixels down
// the screen, by 1.5 pixels, half a turn every SWAY_HALF_TURN ms.
const double SWAY_HALF_TURN = 1172;
const double REST_TOP = 20;
// The swinging seeds go 50 cells either side of the middle, half a swing
// every SWING_HALF ms.
const double SWING_HALF = 1000;
// The phase runs at 1.5 a millisecond until the speed-up, then at 100; the
// second line starts where the first ends.
const Uint32 PHASE_AT_SPEED_UP_OFFSET = 100u * SPEED_UP - 3u * SPEED_UP / 2;

void paska(void)
{
    SDL_Quit();
}

// The effects write each pixel as the bytes B, G, R, x in rows without gaps,
// and do not lock. Where the screen is laid out otherwise or must be locked,
// they draw into a surface of their own layout instead, and every frame is
// blitted to the screen, which converts it and takes care of the locking.
static SDL_Surface *drawing_surface(SDL_Surface *screen)
{
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
    const Uint32 r = 0x00FF0000, g = 0x0000FF00, b = 0x000000FF;
#else
    const Uint32 r = 0x0000FF00, g = 0x00FF0000, b = 0xFF000000;
#endif
    const SDL_PixelFormat *f = screen->format;
    if (f->BytesPerPixel == 4 && f->Rmask == r && f->Gmask == g && f->Bmask == b &&
        screen->pitch == 4 * screen->w && !SDL_MUSTLOCK(screen))
        return screen;
    return SDL_CreateRGBSurface(SDL_SWSURFACE, screen->w, screen->h, 32, r, g, b, 0);
}

void homon(void)
{
    atexit(paska);
    srand((unsigned)time(NULL));
    SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO);
    shown = SDL_SetVideoMode(SCREEN_W, SCREEN_H, SCREEN_BPP, SDL_FULLSCREEN);
    if (!shown)
        exit(1);
    s = drawing_surface(shown);
    if (!s)
        exit(1);
    SDL_ShowCursor(0);
    Mix_OpenAudio(48000, AUDIO_S16LSB, 2, 1024);
    SDL_PauseAudio(1);
    SDL_WM_SetCaption("vaskiloimu", NULL);

    // Cleared, so nothing shows before the first seeds and no sum can come
    // near overflow. Without a field there is no picture to show: the same
    // status as a screen that cannot be set.
    firew = s->w;
    fireh = s->h + FIELD_ROWS_BELOW_SCREEN;
    firekg = (Sint32 *)calloc((size_t)firew * fireh, sizeof(Sint32));
    if (!firekg)
        exit(1);

    for (int i = 0; i < 1; i++) {
        SDL_Surface *loaded = IMG_Load(imf[i]);
        if (!loaded)
            exit(2);
        ims[i] = SDL_ConvertSurface(loaded, s->format, 0);
        if (!ims[i])
            exit(2);
        SDL_SetColorKey(ims[i], SDL_SRCCOLORKEY, SDL_MapRGB(ims[i]->format, 0, 0, 0));
        SDL_FreeSurface(loaded);
    }

    musa = Mix_LoadWAV_RW(SDL_RWFromFile(MUSIC_FILE, "rb"), 1);
}

// Where the image goes in this frame: src is the part still shown, dst its
// place on the screen before the blit clips it.
static void place_image(Sint32 t, SDL_Rect *src, SDL_Rect *dst)
{
    double cut = ((double)t - CUT_START) / CUT_LENGTH;  // below 0 before the cut, above 1 after
    double left = cut < 0 ? 1 : cut > 1 ? 0 : 1 - cut;  // the share of its height still shown
    Sint32 centred_x = (s->w - ims[0]->w) / 2;
    src->x = 0;
    src->y = 0;
    src->w = (Uint16)ims[0]->w;
    src->h = (Uint16)(Sint32)(ims[0]->h * left);
    dst->x = (Sint16)(Sint32)(1.5 * cos(M_PI * t / SWAY_HALF_TURN) + centred_x);
    dst->y = (Sint16)(Sint32)(1.5 * sin(M_PI * t / SWAY_HALF_TURN) + REST_TOP);
    dst->w = 0;
    dst->h = 0;
}

// The pattern's phase. After the speed-up 100*t would overflow 32 bits once
// a frame begins some six hours in; only the low 32 bits reach the pattern,
// so unsigned arithmetic gives the same picture without the overflow.
static Sint32 pattern_phase(Sint32 t)
{
    if (t < SPEED_UP)
        return (Sint32)(1.5 * t);
    return (Sint32)(100u * (Uint32)t - PHASE_AT_SPEED_UP_OFFSET);
}

// Fades and slides the image in, then blits what is left of it; SDL writes
// the clipped rectangle it drew back into dst.
static void draw_image(Sint32 t, SDL_Rect *src, SDL_Rect *dst)
{
    double fade_in = ((double)t - IMAGE_IN) / IMAGE_FADE;  // 0 to 1 while it fades in
    if (fade_in < 0)
        return;
    if (fade_in < 1) {
        dst->y = (Sint16)(Sint32)(dst->y - (1 - fade_in) * 8);
        SDL_SetAlpha(ims[0], SDL_SRCALPHA, (Uint8)(Sint32)(pow(fade_in, 1.5) * 255));
    } else {
        SDL_SetAlpha(ims[0], SDL_SRCALPHA, 255);
    }
    SDL_UpperBlit(ims[0], src, s, dst);
}

// Runs the fire ticks the wall clock calls for, each seeding just below the
// image as drawn in this frame.
static void run_fire_ticks(Uint32 now, Uint32 *next, Sint32 t, const SDL_Rect *dst)
{
    while ((Sint32)(now - *next) >= 0) {
        *next += FIRE_TICK;
        firekl();
        if (SWING_SEEDS_AFTER < t && t <= SWING_SEEDS_UNTIL)
            firegf((Sint32)(50 * sin(M_PI * t / SWING_HALF) + s->w / 2), 10, dst->y + dst->h, 2);
        if (EDGE_SEEDS_AFTER < t && t <= EDGE_SEEDS_UNTIL)
            firegf(dst->x, dst->w, dst->y + dst->h, 1);
    }
}

static void show_frame(void)
{
    if (shown != s)
        SDL_BlitSurface(s, NULL, shown, NULL);
    SDL_Flip(shown);
}

static int asked_to_stop(void)
{
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (e.type == SDL_QUIT)
            return 1;
        if (e.type == SDL_KEYUP && e.key.keysym.sym == SDLK_ESCAPE)
            return 1;
    }
    return 0;
}

int SDL_main(int argc, char *argv[])
{
    (void)argc;
    (void)argv;
    homon();
    Mix_PlayChannelTimed(-1, musa, 0, -1);
    SDL_Delay(START_PAUSE);
    SDL_PauseAudio(0);
    Uint32 start = SDL_GetTicks();
    firenext = start;

    for (;;) {
        Uint32 now = SDL_GetTicks();
        // A stall of 2^31 ms (25 days stopped) would turn t negative and
        // keep the demo going; the clock saturates instead, so it ends.
        Uint32 elapsed = now - start;
        Sint32 t = elapsed > 0x7FFFFFFFu ? 0x7FFFFFFF : (Sint32)elapsed;
        SDL_Rect src, dst;
        place_image(t, &src, &dst);
        bkge(pattern_phase(t));
        draw_image(t, &src, &dst);
        firegk();
        // The last frame's ticks would only be seen after it, and there is
        // no after; a stall of hours would make them cost minutes.
        if (t < DEMO_LENGTH)
            run_fire_ticks(now, &firenext, t, &dst);
        show_frame();
        if (t >= DEMO_LENGTH)
            return 0;
        if (asked_to_stop())
            return 0;
    }
}
