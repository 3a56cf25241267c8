#include "util.h"
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <unistd.h>

// SDL must never reach for a real display or sound card in the tests, even
// when a test program is run by hand; ctest's settings, if any, stand.
static const bool headless = [] {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    return true;
}();

TempDir::TempDir()
{
    char tmpl[] = "/tmp/vaskiloimu-test-XXXXXX";
    const char *p = mkdtemp(tmpl);
    if (!p)
        abort();
    path = p;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

InDir::InDir(const std::string &dir)
{
    old = std::filesystem::current_path().string();
    if (chdir(dir.c_str()) != 0)
        abort();
}

InDir::~InDir()
{
    if (chdir(old.c_str()) != 0)
        abort();
}

bool image_black(int x, int y, int w)
{
    return (x < 16 && y < 12) || x == w - 3;
}

void image_rgb(int x, int y, int w, Uint8 *r, Uint8 *g, Uint8 *b)
{
    if (image_black(x, y, w)) {
        *r = *g = *b = 0;
        return;
    }
    *r = (Uint8)(40 + (x * 7 + y) % 200);
    *g = (Uint8)(10 + (y * 3) % 230);
    *b = (Uint8)(1 + (x ^ y) % 250);
}

void write_image(const std::string &path, int w, int h)
{
    SDL_Surface *im = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
    ASSERT_NE(im, nullptr);
    for (int y = 0; y < h; y++) {
        Uint8 *row = (Uint8 *)im->pixels + y * im->pitch;
        for (int x = 0; x < w; x++)
            image_rgb(x, y, w, &row[3 * x + 2], &row[3 * x + 1], &row[3 * x]);
    }
    ASSERT_EQ(SDL_SaveBMP(im, path.c_str()), 0);
    SDL_FreeSurface(im);
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

const Uint8 *pixel(SDL_Surface *sf, int x, int y)
{
    return (const Uint8 *)sf->pixels + y * sf->pitch + 4 * x;
}
