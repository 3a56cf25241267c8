// A minimal PNG writer: SDL 1.2 can only save BMP.
#ifndef CAPTURE_PNG_H
#define CAPTURE_PNG_H

#include <SDL.h>
#include <string>

namespace capture {

// Saves w x h pixels stored as bytes B, G, R, x (rows pitch bytes apart) as
// an 8-bit RGB PNG. On failure returns false with the reason in err.
bool write_png(const std::string &path, const Uint8 *pixels, int w, int h, int pitch,
               std::string &err);

}

#endif
