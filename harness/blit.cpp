#include "blit.h"

namespace {

// A surface of the layout the blend below is written for.
bool plain(const SDL_Surface *surface)
{
    const SDL_PixelFormat *f = surface->format;
    return f->BytesPerPixel == 4 && f->Rmask == 0xFF0000 && f->Gmask == 0xFF00 && f->Bmask == 0xFF &&
           f->Amask == 0 && !(surface->flags & SDL_HWSURFACE) && !SDL_MUSTLOCK(surface) && !surface->locked;
}

// SDL's keyed copy: the key is the whole word, and the copy's fourth byte
// is 0, the alpha SDL writes where the destination has no alpha mask.
void copy_row(const Uint32 *__restrict from, Uint32 *__restrict to, int w, Uint32 key)
{
    for (int x = 0; x < w; x++) {
        const Uint32 s = from[x], d = to[x];
        to[x] = s == key ? d : s & 0xFFFFFF;
    }
}

// SDL blends each channel as d + (((s - d)*a + 255) >> 8) in unsigned
// arithmetic, which is (s*a + d*(256 - a) + 255) >> 8: at most 65535, so
// red and blue go together in one word, sixteen bits apart, without a
// carry between them. Where s < d the unsigned difference wraps, and the
// part of SDL's sum above the eight bits of blue lands in the fourth byte
// as a 1: exactly where the blended blue comes out below the old one. The
// word is written whatever the key, so that the loop has no branch.
void blend_row(const Uint32 *__restrict from, Uint32 *__restrict to, int w, Uint32 key, Uint32 a)
{
    const Uint32 b = 256 - a;
    for (int x = 0; x < w; x++) {
        const Uint32 s = from[x], d = to[x];
        const Uint32 rb = ((s & 0xFF00FF) * a + (d & 0xFF00FF) * b + 0xFF00FF) >> 8 & 0xFF00FF;
        const Uint32 g = ((s & 0xFF00) * a + (d & 0xFF00) * b + 0xFF00) >> 8 & 0xFF00;
        const Uint32 wrapped = (rb & 0xFF) < (d & 0xFF) ? 0x1000000 : 0;
        to[x] = s == key ? d : rb | g | wrapped;
    }
}

// One axis of SDL_UpperBlit's clipping, as SDL does it, to the types: the
// rectangle's fields 16 bits, the sums int. From `from` in the source,
// `length` long, placed at `to`: first to the source's `size`, then to the
// clip rectangle's span from `low`, `span` long.
void clip_axis(int &from, int &length, Sint16 &to, int size, int low, int span)
{
    if (from < 0) {
        length += from;
        to -= from;
        from = 0;
    }
    if (length > size - from)
        length = size - from;
    int over = low - to;
    if (over > 0) {
        length -= over;
        to += over;
        from += over;
    }
    over = to + length - low - span;
    if (over > 0)
        length -= over;
}

}

extern "C" {

bool keyed_blit_covers(const SDL_Surface *src, const SDL_Surface *dst)
{
    return src && dst && src != dst && plain(src) && plain(dst) &&
           (src->flags & (SDL_SRCCOLORKEY | SDL_RLEACCELOK | SDL_RLEACCEL)) == SDL_SRCCOLORKEY;
}

bool keyed_blit_clip(const SDL_Surface *src, const SDL_Rect *srcrect, const SDL_Surface *dst,
                     SDL_Rect *dstrect, SDL_Rect *part)
{
    int x = srcrect ? srcrect->x : 0, w = srcrect ? srcrect->w : src->w;
    int y = srcrect ? srcrect->y : 0, h = srcrect ? srcrect->h : src->h;
    const SDL_Rect &clip = dst->clip_rect;
    clip_axis(x, w, dstrect->x, src->w, clip.x, clip.w);
    clip_axis(y, h, dstrect->y, src->h, clip.y, clip.h);
    if (w <= 0 || h <= 0) {
        dstrect->w = dstrect->h = 0;
        return false;
    }
    part->x = (Sint16)x;
    part->y = (Sint16)y;
    part->w = dstrect->w = (Uint16)w;
    part->h = dstrect->h = (Uint16)h;
    return true;
}

void keyed_blit_draw(const SDL_Surface *src, const SDL_Rect *part, SDL_Surface *dst, const SDL_Rect *at)
{
    const Uint32 a = src->flags & SDL_SRCALPHA ? src->format->alpha : 255;
    if (a == 0)
        return;
    for (int y = 0; y < part->h; y++) {
        const Uint32 *from = (const Uint32 *)((const Uint8 *)src->pixels + (part->y + y) * src->pitch) + part->x;
        Uint32 *to = (Uint32 *)((Uint8 *)dst->pixels + (at->y + y) * dst->pitch) + at->x;
        if (a == 255)
            copy_row(from, to, part->w, src->format->colorkey);
        else
            blend_row(from, to, part->w, src->format->colorkey, a);
    }
}

int keyed_blit(SDL_Surface *src, SDL_Rect *srcrect, SDL_Surface *dst, SDL_Rect *dstrect)
{
    SDL_Rect whole = {0, 0, 0, 0}, part;
    if (!dstrect)
        dstrect = &whole;
    if (keyed_blit_clip(src, srcrect, dst, dstrect, &part))
        keyed_blit_draw(src, &part, dst, dstrect);
    return 0;
}

}
