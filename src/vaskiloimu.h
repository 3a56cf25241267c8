// Shared state of the demo. Everything here is set up once by homon and
// lives until the process ends; SDL_Quit at exit releases what SDL holds.
#ifndef VASKILOIMU_H
#define VASKILOIMU_H

#include <SDL.h>
#include <SDL_mixer.h>

// C linkage throughout: SDL's start-up glue expects a C SDL_main, and plain
// symbol names let the tests and the capture tool interpose on these calls.
extern "C" {

extern SDL_Surface *s;       // the 640x480x32 screen; bytes B,G,R,x; rows without gaps
extern SDL_Surface *shown;   // the surface SDL shows: s itself, or a screen s is copied to
extern SDL_Surface *ims[1];  // the image in the screen's format, black keyed out
extern const char *imf[1];   // the image's file name, in the working directory
extern Mix_Chunk *musa;      // the music, decoded whole; null when it could not be had
extern Sint32 firew;         // fire field width in cells: the screen width
extern Sint32 fireh;         // fire field height in cells: screen height + 6
extern Sint32 *firekg;       // fire field, row-major: cell (x, y) at y*firew + x

// demo control
void homon(void);
void paska(void);
int SDL_main(int argc, char *argv[]);

// effects
// On x86-64 ELF builds each effect is compiled twice, for AVX2 and for any
// x86-64, and the loader picks the one the CPU runs; elsewhere (Windows,
// the browser, other CPUs), or where asked not to, it is compiled once.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__) && !defined(NO_VECTOR_CLONES)
#define VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VECTOR_CLONES
#endif
void bkge(Sint32 phase);
void firegf(Sint32 x0, Sint32 w, Sint32 y0, Sint32 h);
void firekl(void);
void firegk(void);

}

#endif
