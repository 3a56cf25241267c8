// Fixtures shared by the tests: scratch folders and test images.
#ifndef TEST_UTIL_H
#define TEST_UTIL_H

#include <SDL.h>
#include <string>

// A fresh folder that is removed again, with everything in it, at the end.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

// Makes the working directory dir until the end of the scope.
struct InDir {
    std::string old;
    explicit InDir(const std::string &dir);
    ~InDir();
};

// An asymmetric, colourful test picture of w x h pixels with a black
// (transparent) block in its top left corner and a black column at x = w-3,
// stored as a BMP under the given name (the demo loads any format by content).
// Pixel (x, y), where not black, is (R, G, B) = image_rgb(x, y).
void write_image(const std::string &path, int w, int h);
void image_rgb(int x, int y, int w, Uint8 *r, Uint8 *g, Uint8 *b);
bool image_black(int x, int y, int w);

void write_file(const std::string &path, const std::string &bytes);

// The screen pixel (x, y) of surface sf as B, G, R, fourth byte.
const Uint8 *pixel(SDL_Surface *sf, int x, int y);

#endif
