// Shared state of the demo and the facts of its timeline. Everything here
// is set up once by homon and lives until the process ends; SDL_Quit at exit
// releases what SDL holds. The tools, the tests' helpers and the ports take
// these facts from here by name.
#ifndef VASKILOIMU_H
#define VASKILOIMU_H

#include <SDL.h>
#include <SDL_mixer.h>

// The media, opened by these names in the working directory.
#define IMAGE_FILE "galleri.jpg"
#define MUSIC_FILE "musa.ogg"

// The screen, and the fire field's rows below it: the seeds under an image
// at the screen's bottom edge take the first two, and the propagation reads
// down to the fifth but writes only the first.
enum {
    SCREEN_W = 640,
    SCREEN_H = 480,
    SCREEN_BPP = 32,
    FIELD_ROWS_BELOW_SCREEN = 6,
    ROWS_ONLY_READ = 5,
};

// Moments of the timeline, in milliseconds of the demo clock.
enum {
    START_PAUSE = 500,          // the music is started this long before the clock
    IMAGE_IN = 10000,           // the image starts to fade and slide in
    IMAGE_FADE = 16000,         // ... over this long
    SWING_SEEDS_AFTER = 27999,  // a swinging patch of seeds below the image
    SWING_SEEDS_UNTIL = 31199,
    EDGE_SEEDS_AFTER = 32499,   // a row of seeds along the image's cut edge
    EDGE_SEEDS_UNTIL = 64299,
    CUT_START = 34000,          // the image starts to be cut away from the bottom
    CUT_LENGTH = 30000,         // ... until nothing is left
    SPEED_UP = 40000,           // the pattern starts to move much faster
    DEMO_LENGTH = 75000,        // the first frame at or after this moment is the last
    FIRE_TICK = 40,             // the fire field advances this often
};

// C linkage throughout: SDL's start-up glue expects a C SDL_main, plain
// symbol names let the tests and the capture tool interpose on these calls,
// and the browser's glue, which is C, reads the same state.
#ifdef __cplusplus
extern "C" {
#endif

extern SDL_Surface *s;       // the 640x480x32 screen; bytes B,G,R,x; rows without gaps
extern SDL_Surface *shown;   // the surface SDL shows: s itself, or a screen s is copied to
extern SDL_Surface *ims[1];  // the image in the screen's format, black keyed out
extern const char *imf[1];   // the image's file name, in the working directory
extern Mix_Chunk *musa;      // the music, decoded whole; null when it could not be had
extern Sint32 firew;         // fire field width in cells: the screen width
extern Sint32 fireh;         // fire field height in cells: screen height + 6
extern Sint32 *firekg;       // fire field, row-major: cell (x, y) at y*firew + x
extern Uint32 firenext;      // when the field next advances, on SDL_GetTicks's scale: SDL_main's,
                             // kept here so that a player can set the fire of another moment

// demo control
void homon(void);
void paska(void);
int SDL_main(int argc, char *argv[]);

// effects
// On x86-64 ELF builds by GCC each effect is compiled twice, for AVX2 and
// for any x86-64, and the loader picks the one the CPU runs; elsewhere
// (Windows, the browser, other CPUs), or where asked not to, it is compiled
// once. clang 14 gives the picking function a name other files cannot call.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__ELF__) && \
    !defined(NO_VECTOR_CLONES)
#define VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VECTOR_CLONES
#endif
void bkge(Sint32 phase);
void firegf(Sint32 x0, Sint32 w, Sint32 y0, Sint32 h);
void firekl(void);
void firegk(void);

#ifdef __cplusplus
}
#endif

#endif
