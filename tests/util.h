// What the tests share: scratch folders, a test picture, and one way to run
// a process.
#ifndef TEST_UTIL_H
#define TEST_UTIL_H

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// SDL never reaches for a real display or sound card in the tests, unless
// a test asks for it.
static const int headless = setenv("SDL_VIDEODRIVER", "dummy", 0) + setenv("SDL_AUDIODRIVER", "dummy", 0);

struct TempDir {
    std::string path;
    TempDir()
    {
        char tmpl[] = "/tmp/vaskiloimu-test-XXXXXX";
        path = mkdtemp(tmpl) ? tmpl : "";
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

inline void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string slurp(const std::string &path)
{
    std::ostringstream b;
    b << std::ifstream(path, std::ios::binary).rdbuf();
    return b.str();
}

// An asymmetric picture, so a mirror or a swap of red and blue shows, with
// a black (transparent) block at its top left; its pixel (x, y) as the
// word B | G << 8 | R << 16. Saved as BMP: the demo goes by content.
inline Uint32 image_pixel(int x, int y)
{
    if (x < 16 && y < 12)
        return 0;
    return (Uint32)(1 + (x ^ y) % 250) | (Uint32)(10 + y * 3 % 230) << 8 | (Uint32)(40 + (x * 7 + y) % 200) << 16;
}

inline void write_image(const std::string &path, int w, int h)
{
    SDL_Surface *im = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            ((Uint32 *)((Uint8 *)im->pixels + y * im->pitch))[x] = image_pixel(x, y);
    SDL_SaveBMP(im, path.c_str());
    SDL_FreeSurface(im);
}

struct Outcome {
    int status = -1;
    std::string out;  // stdout and stderr together
    double seconds = 0;
};

// Runs the shell command in dir with its output kept, SIGTERM after
// term_after seconds (0: never) and SIGKILL at limit, and says how it ended:
// its own status, 128 + the signal that killed it.
inline Outcome run(const std::string &command, const std::string &dir, double term_after = 0, double limit = 100)
{
    TempDir out;
    char timeout[64];
    snprintf(timeout, sizeof timeout, "timeout --preserve-status -k %g %g ", limit, term_after ? term_after : limit);
    auto t0 = std::chrono::steady_clock::now();
    int st = system(("cd " + dir + " && exec " + timeout + command + " >" + out / "o" + " 2>&1 </dev/null").c_str());
    Outcome o;
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    o.out = slurp(out / "o");
    return o;
}

#endif
