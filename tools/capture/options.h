// The capture tool's command line.
#ifndef CAPTURE_OPTIONS_H
#define CAPTURE_OPTIONS_H

#include <SDL.h>
#include <optional>
#include <string>
#include <vector>

namespace capture {

// The demo ends by itself with the first frame at or after this clock value.
const Sint32 END_MS = 75000;
const int MAX_FPS = 1000;  // above this two frames would share a clock value

struct Options {
    int fps = 60;
    std::optional<Uint32> seed;   // what srand receives; none: the current time
    std::string out = "vaskiloimu.mkv";
    std::vector<Sint32> stills;   // increasing, no repeats; empty: make a video
    std::string out_dir;
    std::string media;            // empty: the working directory
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Reads argv into o. On a bad option, value or combination, returns false
// with a one-line reason in err.
bool parse(int argc, char **argv, Options &o, std::string &err);

extern const char USAGE[];
extern const char VERSION_LINE[];  // "vaskiloimu-capture X.Y.Z"

// The clock value of frame n at fps frames a second, truncated like the
// frame times a real display would give.
inline Sint32 frame_time(long n, int fps)
{
    return (Sint32)((Sint64)n * 1000 / fps);
}

// Frames 0 .. 75*fps: the last is the first at or after END_MS, and with a
// whole fps it falls on END_MS exactly.
inline long frame_count(int fps)
{
    return (long)END_MS / 1000 * fps + 1;
}

// Whether some frame at fps is drawn at clock value ms. The first frame not
// before ms is frame ceil(ms*fps/1000).
inline bool on_grid(Sint32 ms, int fps)
{
    long n = (long)(((Sint64)ms * fps + 999) / 1000);
    return frame_time(n, fps) == ms;
}

}

#endif
