#include "options.h"
#include <algorithm>
#include "vaskiloimu.h"

namespace capture {

const char USAGE[] =
    "Usage: vaskiloimu-capture [OPTION]...\n"
    "Runs the demo on a clock that advances exactly one frame per frame and records\n"
    "what it draws: a video with the music (by default), or PNG stills.\n"
    "\n"
    "  --fps N           frames a second, 1 to 1000 (default 60); frame n is drawn\n"
    "                    at clock value trunc(n*1000/N) ms\n"
    "  --seed N          the fire's random seed, 0 to 4294967295 (default: the\n"
    "                    current time, as the demo does)\n"
    "  --out FILE        the video; .mkv (H.264, Vorbis), .mp4 (H.264, AAC) or\n"
    "                    .webm (VP9, Vorbis) (default vaskiloimu.mkv)\n"
    "  --still MS[,MS]   PNG stills of the frames at these clock values (0 to 75000 ms,\n"
    "                    from when the music starts) instead of a video\n"
    "  --out-dir DIR     where the stills go, as still-MS.png (made if missing)\n"
    "  --media DIR       where galleri.jpg and musa.ogg are (default: here)\n"
    "  --quiet           no progress line and no summary\n"
    "  --help            this text\n"
    "  --version         the version\n"
    "\n"
    "A still at a clock value that is no frame time at that rate is the frame the\n"
    "demo would draw there after the video's frames before it. Needs the ffmpeg\n"
    "program for a video. Status: 0 done, 2 media missing, 1 any other error.\n";

const char VERSION_LINE[] = "vaskiloimu-capture " VASKILOIMU_VERSION;

namespace {

// Plain decimal digits only: no sign, no spaces, nothing after.
bool whole(const std::string &s, unsigned long long max, unsigned long long &v)
{
    if (s.empty() || s.size() > 19)
        return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (unsigned long long)(c - '0');
    }
    return v <= max;
}

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return s;
}

bool stills(const std::string &list, std::vector<Sint32> &out, std::string &err)
{
    size_t from = 0;
    for (;;) {
        size_t comma = list.find(',', from);
        std::string item = list.substr(from, comma == std::string::npos ? comma : comma - from);
        unsigned long long v;
        if (!whole(item, (unsigned long long)DEMO_LENGTH, v)) {
            err = "bad --still value '" + item + "': a clock value in ms from 0 to " +
                  std::to_string(DEMO_LENGTH);
            return false;
        }
        out.push_back((Sint32)v);
        if (comma == std::string::npos)
            return true;
        from = comma + 1;
    }
}

}

bool parse(int argc, char **argv, Options &o, std::string &err)
{
    bool out_given = false, dir_given = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i], value;
        bool has_value = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            has_value = true;
        }
        bool wants = arg == "--fps" || arg == "--seed" || arg == "--out" || arg == "--still" ||
                     arg == "--out-dir" || arg == "--media";
        if (!wants && (arg == "--quiet" || arg == "--help" || arg == "--version")) {
            if (has_value) {
                err = arg + " takes no value";
                return false;
            }
            (arg == "--quiet" ? o.quiet : arg == "--help" ? o.help : o.version) = true;
            continue;
        }
        if (!wants) {
            err = arg.compare(0, 1, "-") == 0 ? "unknown option " + arg
                                              : "unexpected argument '" + arg + "'";
            return false;
        }
        if (!has_value) {
            if (i + 1 >= argc) {
                err = arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        unsigned long long v;
        if (arg == "--fps") {
            if (!whole(value, MAX_FPS, v) || v == 0) {
                err = "bad --fps value '" + value + "': a whole number from 1 to " +
                      std::to_string(MAX_FPS);
                return false;
            }
            o.fps = (int)v;
        } else if (arg == "--seed") {
            if (!whole(value, 0xFFFFFFFFull, v)) {
                err = "bad --seed value '" + value + "': a whole number from 0 to 4294967295";
                return false;
            }
            o.seed = (Uint32)v;
        } else if (value.empty()) {
            err = arg + " needs a value";
            return false;
        } else if (arg == "--out") {
            o.out = value;
            out_given = true;
        } else if (arg == "--still") {
            if (!stills(value, o.stills, err))
                return false;
        } else if (arg == "--out-dir") {
            o.out_dir = value;
            dir_given = true;
        } else {
            o.media = value;
        }
    }
    if (o.help || o.version)
        return true;
    std::sort(o.stills.begin(), o.stills.end());
    o.stills.erase(std::unique(o.stills.begin(), o.stills.end()), o.stills.end());
    if (!o.stills.empty()) {
        if (!dir_given) {
            err = "--still needs --out-dir DIR for the pictures";
            return false;
        }
        if (out_given) {
            err = "--out makes a video and --still makes pictures: give one of them";
            return false;
        }
    } else if (dir_given) {
        err = "--out-dir goes with --still";
        return false;
    } else {
        size_t dot = o.out.rfind('.'), slash = o.out.rfind('/');
        std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                              ? ""
                              : lower(o.out.substr(dot));
        if (ext != ".mkv" && ext != ".mp4" && ext != ".webm") {
            err = "cannot tell the container of '" + o.out + "': end it in .mkv, .mp4 or .webm";
            return false;
        }
        o.container = ext.substr(1);
    }
    return true;
}

}
