#include "still.h"
#include <errno.h>
#include <png.h>
#include <stdio.h>
#include <string.h>
#include "vaskiloimu.h"

namespace capture {

SDL_Surface *rgb_surface()
{
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
    const Uint32 r = 0x0000FF, g = 0x00FF00, b = 0xFF0000;
#else
    const Uint32 r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;
#endif
    // The screen's width is a multiple of 4, so rows of 3 bytes a pixel
    // need no padding.
    return SDL_CreateRGBSurface(SDL_SWSURFACE, SCREEN_W, SCREEN_H, 24, r, g, b, 0);
}

bool copy_shown(SDL_Surface *screen, SDL_Surface *rgb)
{
    return SDL_BlitSurface(screen, nullptr, rgb, nullptr) == 0;
}

namespace {

// libpng reports a failure by calling this, which must not return.
void png_failed(png_structp png, png_const_charp message)
{
    *(std::string *)png_get_error_ptr(png) = message;
    png_longjmp(png, 1);
}

void png_warned(png_structp, png_const_charp) {}

}

bool write_png(const std::string &path, const SDL_Surface *rgb, std::string &err)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        err = "cannot write " + path + ": " + strerror(errno);
        return false;
    }
    std::string why = "out of memory";
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &why, png_failed, png_warned);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    // Volatile, as C asks of a local changed between setjmp and a jump back
    // (aarch64's GCC warns otherwise); nothing else is made or changed here
    // that the jump would skip.
    volatile bool written = false;
    if (png && info) {
        if (setjmp(png_jmpbuf(png)) == 0) {
            png_init_io(png, f);
            png_set_IHDR(png, info, (png_uint_32)rgb->w, (png_uint_32)rgb->h, 8, PNG_COLOR_TYPE_RGB,
                         PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            png_write_info(png, info);
            for (int y = 0; y < rgb->h; y++)
                png_write_row(png, (png_const_bytep)rgb->pixels + (size_t)y * rgb->pitch);
            png_write_end(png, nullptr);
            written = true;
        }
    }
    png_destroy_write_struct(&png, &info);
    if (fclose(f) != 0 && written) {
        why = strerror(errno);
        written = false;
    }
    if (!written) {
        remove(path.c_str());
        err = "cannot write " + path + ": " + why;
    }
    return written;
}

}
