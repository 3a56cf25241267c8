/* The part of SDL_image's interface the demo uses, for the builds where the
 * library itself cannot be built from Debian's sources (Windows, the web,
 * the other CPUs): image.c provides it with libjpeg-turbo, libpng, giflib
 * and SDL's own BMP reader. */
#ifndef VASKILOIMU_SDL_IMAGE_H
#define VASKILOIMU_SDL_IMAGE_H

#include "SDL.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Reads a JPEG, PNG, GIF or BMP file, told apart by its first bytes, into a
 * new 24- or 32-bit surface. NULL on any failure, with the reason in SDL_GetError. */
SDL_Surface *IMG_Load(const char *file);

/* The same from an SDL stream, which is closed afterwards when freesrc is
 * non-zero, whether or not the image could be read. */
SDL_Surface *IMG_Load_RW(SDL_RWops *src, int freesrc);

#define IMG_SetError SDL_SetError
#define IMG_GetError SDL_GetError

#ifdef __cplusplus
}
#endif

#endif
