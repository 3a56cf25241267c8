// vaskiloimu-stills: the frames of the demo's own SDL_main at chosen clock
// values, on the scripted clock, as 24-bit BMP files. It needs nothing but
// SDL, so it builds wherever the demo does, and the same seed and rate give
// the same files on every platform: that is what it is for.
//
//   vaskiloimu-stills --media DIR --seed N --fps N --still MS[,MS...] --out-dir DIR
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>
#include "scripted.h"
#include "vaskiloimu.h"

// Where SDL's header renames main (Windows), this program keeps its own.
#undef main

namespace {

int usage()
{
    fputs("usage: vaskiloimu-stills --media DIR --seed N --fps N --still MS[,MS...] --out-dir DIR\n", stderr);
    return 1;
}

bool number(const char *text, unsigned long max, unsigned long &v)
{
    char *end;
    v = strtoul(text, &end, 10);
    return *text >= '0' && *text <= '9' && *end == '\0' && v <= max;
}

}

int main(int argc, char **argv)
{
    std::string media = ".", out;
    unsigned long seed = 0, fps = 0, ms;
    std::vector<Sint32> times;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string opt = argv[i];
        const char *value = argv[i + 1];
        if (opt == "--media") {
            media = value;
        } else if (opt == "--out-dir") {
            out = value;
        } else if (opt == "--seed") {
            if (!number(value, 0xFFFFFFFFul, seed))
                return usage();
        } else if (opt == "--fps") {
            if (!number(value, 1000, fps) || fps == 0)
                return usage();
        } else if (opt == "--still") {
            for (char *item = strtok(argv[i + 1], ","); item; item = strtok(nullptr, ",")) {
                if (!number(item, DEMO_LENGTH, ms))
                    return usage();
                times.push_back((Sint32)ms);
            }
        } else {
            return usage();
        }
    }
    if (argc % 2 == 0 || out.empty() || fps == 0 || times.empty())
        return usage();
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    std::error_code made;
    std::filesystem::create_directories(out, made);
    out = std::filesystem::absolute(out, made).string();
    if (chdir(media.c_str()) != 0) {
        fprintf(stderr, "vaskiloimu-stills: cannot open the media folder %s\n", media.c_str());
        return 2;
    }
    SDL_putenv((char *)"SDL_VIDEODRIVER=dummy");
    SDL_putenv((char *)"SDL_AUDIODRIVER=dummy");
    std::string err;
    bool ok = scripted::stills((Uint32)seed, (int)fps, times, [&](Sint32 t, std::string &why) {
        char name[32];
        snprintf(name, sizeof name, "/still-%05d.bmp", (int)t);
        if (SDL_SaveBMP(shown, (out + name).c_str()) == 0)
            return true;
        why = "cannot write " + out + name + ": " + SDL_GetError();
        return false;
    }, err);
    if (!ok)
        fprintf(stderr, "vaskiloimu-stills: %s\n", err.c_str());
    return ok ? 0 : 1;
}
