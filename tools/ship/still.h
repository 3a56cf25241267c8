// What the screen shows, as the capture tool records it: the bytes R, G, B
// of every pixel, whatever the platform's screen looks like, and as a PNG.
#ifndef CAPTURE_STILL_H
#define CAPTURE_STILL_H

#include <SDL.h>
#include <string>

namespace capture {

// A surface as large as the screen holding bytes R, G, B, rows without
// gaps; null, with SDL's error set, when there is no memory for it.
SDL_Surface *rgb_surface();
// Copies what screen shows into rgb. False, with SDL's error set, on failure.
bool copy_shown(SDL_Surface *screen, SDL_Surface *rgb);
// Writes rgb as an 8-bit RGB PNG at path. On failure returns false with the
// reason in err.
bool write_png(const std::string &path, const SDL_Surface *rgb, std::string &err);

}

#endif
