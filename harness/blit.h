// SDL 1.2's blit of a colour-keyed picture with per-surface alpha, the
// picture's blit, with SDL's own results to the bit, in plain loops that a
// compiler can turn into vector code: SDL's own unpacks and repacks every
// pixel through the format's shifts and losses, a pixel at a time. The page
// puts it in place of SDL_UpperBlit for the surfaces it covers (page.cpp).
//
// The same code as classic SDL 1.2, which Debian's libSDL and the ports'
// are built from: sdl12-compat blends otherwise, by up to 1.
#ifndef BLIT_H
#define BLIT_H

#include <SDL.h>

extern "C" {

// Whether keyed_blit gives what SDL_UpperBlit gives: a colour-keyed source,
// with per-surface alpha or none, onto another surface, both of 32-bit
// words with red, green and blue in masks 0xFF0000, 0xFF00 and 0xFF and no
// alpha mask, in memory, unlocked; the source neither run-length encoded
// nor to be. The key is then compared with the whole word, as SDL does.
bool keyed_blit_covers(const SDL_Surface *src, const SDL_Surface *dst);

// SDL_UpperBlit for the surfaces keyed_blit_covers takes: 0, and the
// rectangle drawn into written back into dstrect (null: the whole of dst).
int keyed_blit(SDL_Surface *src, SDL_Rect *srcrect, SDL_Surface *dst, SDL_Rect *dstrect);

// SDL_UpperBlit's clipping, for any surfaces: srcrect (null: the whole of
// src) clipped to src, and placed at dstrect clipped to dst's clip
// rectangle. Writes the rectangle to draw into dstrect, as SDL does, and
// the part of src to draw into part; false when nothing is left to draw.
bool keyed_blit_clip(const SDL_Surface *src, const SDL_Rect *srcrect, const SDL_Surface *dst,
                     SDL_Rect *dstrect, SDL_Rect *part);

// SDL's keyed blend of part of src onto dst at the top left corner of at,
// both already clipped: at alpha 0 nothing, at 255 (or without
// SDL_SRCALPHA) a keyed copy, else a keyed blend.
void keyed_blit_draw(const SDL_Surface *src, const SDL_Rect *part, SDL_Surface *dst, const SDL_Rect *at);

}

#endif
