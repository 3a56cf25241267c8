// The capture tool's command line.
#ifndef CAPTURE_OPTIONS_H
#define CAPTURE_OPTIONS_H

#include <SDL.h>
#include <optional>
#include <string>
#include <vector>

namespace capture {

const int MAX_FPS = 1000;  // above this two frames would share a clock value
const int MAX_SCALE = 8;   // 5120x3840: past the largest screens, and slow to encode

struct Options {
    int fps = 60;
    std::optional<Uint32> seed;   // what srand receives; none: the current time
    std::string out = "vaskiloimu.mkv";
    std::string container = "mkv";  // the extension of out, in lower case
    bool lossless = false;        // frames that decode to the demo's own, bit for bit
    int scale = 0;                // nearest-neighbour enlargement; unless given, 2 (1 if lossless)
    std::vector<Sint32> stills;   // increasing, no repeats; empty: make a video
    Sint32 from = 0, to = -1;     // the video's frames from, to clock values (-1: the end)
    std::string out_dir;
    std::string media;            // empty: the working directory
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Reads argv into o. On a bad option, value or combination, returns false
// with a one-line reason in err.
bool parse(int argc, char **argv, Options &o, std::string &err);

extern const char USAGE[];  // a printf format, given DEMO_LENGTH
extern const char VERSION_LINE[];  // "vaskiloimu-capture X.Y.Z"

}

#endif
