#include "options.h"
#include <algorithm>
#include <getopt.h>
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
    "  --scale N         enlarge N times, 1 to 8, by nearest neighbour (default 2,\n"
    "                    which keeps every pixel's colour; 1 with --lossless)\n"
    "  --lossless        a .mkv whose frames decode to the demo's, bit for bit\n"
    "  --from MS         the video from the frame at or after this clock value (0 to\n"
    "                    %d ms, from when the music starts), with the music from there\n"
    "  --to MS           ... to the frame at or before this one: a clip of the whole run\n"
    "  --still MS[,MS]   PNG stills of the frames at these clock values (0 to %d ms,\n"
    "                    from when the music starts) instead of a video\n"
    "  --out-dir DIR     where the stills go, as still-MS.png (made if missing)\n"
    "  --media DIR       where " IMAGE_FILE " and " MUSIC_FILE " are (default: here)\n"
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

// A clock value of the demo's, in ms.
bool moment(const std::string &option, const std::string &value, Sint32 &out, std::string &err)
{
    unsigned long long v;
    if (!whole(value, (unsigned long long)DEMO_LENGTH, v)) {
        err = "bad " + option + " value '" + value + "': a clock value in ms from 0 to " + std::to_string(DEMO_LENGTH);
        return false;
    }
    out = (Sint32)v;
    return true;
}

bool stills(const std::string &list, std::vector<Sint32> &out, std::string &err)
{
    size_t from = 0;
    for (;;) {
        size_t comma = list.find(',', from);
        std::string item = list.substr(from, comma == std::string::npos ? comma : comma - from);
        Sint32 v;
        if (!moment("--still", item, v, err))
            return false;
        out.push_back(v);
        if (comma == std::string::npos)
            return true;
        from = comma + 1;
    }
}

}

bool parse(int argc, char **argv, Options &o, std::string &err)
{
    enum { FPS = 1, SEED, OUT, STILL, OUT_DIR, MEDIA, SCALE, LOSSLESS, QUIET, HELP, VERSION, FROM, TO };
    static const option longs[] = {  // in the order of the values above
        {"fps", required_argument, nullptr, FPS},         {"seed", required_argument, nullptr, SEED},
        {"out", required_argument, nullptr, OUT},         {"still", required_argument, nullptr, STILL},
        {"out-dir", required_argument, nullptr, OUT_DIR}, {"media", required_argument, nullptr, MEDIA},
        {"scale", required_argument, nullptr, SCALE},     {"lossless", no_argument, nullptr, LOSSLESS},
        {"quiet", no_argument, nullptr, QUIET},           {"help", no_argument, nullptr, HELP},
        {"version", no_argument, nullptr, VERSION},       {"from", required_argument, nullptr, FROM},
        {"to", required_argument, nullptr, TO},           {nullptr, 0, nullptr, 0}};
    bool out_given = false, dir_given = false;
    // The messages are ours, one line each; 0 starts getopt afresh, so that
    // a second parse in one process sees the whole command line again.
    opterr = 0;
    optind = 0;
    for (int c; (c = getopt_long(argc, argv, ":", longs, nullptr)) != -1;) {
        // getopt names the option in question by its value in optopt;
        // an unknown one is the word it has just read.
        int which = c == '?' || c == ':' ? optopt : c;
        bool ours = which >= FPS && which <= TO;
        std::string arg = ours ? std::string("--") + longs[which - 1].name : argv[optind - 1];
        std::string value = optarg ? optarg : "";
        unsigned long long v;
        if (c == '?') {
            err = ours ? arg + " takes no value" : "unknown option " + arg.substr(0, arg.find('='));
            return false;
        } else if (c == ':' || (optarg && value.empty())) {
            err = arg + " needs a value";
            return false;
        } else if (c == FPS || c == SEED || c == SCALE) {
            const unsigned long long low = c == SEED ? 0 : 1,
                                     high = c == FPS ? MAX_FPS : c == SEED ? 0xFFFFFFFFull : MAX_SCALE;
            if (!whole(value, high, v) || v < low) {
                err = "bad " + arg + " value '" + value + "': a whole number from " + std::to_string(low) +
                      " to " + std::to_string(high);
                return false;
            }
            if (c == FPS)
                o.fps = (int)v;
            else if (c == SEED)
                o.seed = (Uint32)v;
            else
                o.scale = (int)v;
        } else if (c == OUT) {
            o.out = value;
            out_given = true;
        } else if (c == STILL) {
            if (!stills(value, o.stills, err))
                return false;
        } else if (c == OUT_DIR) {
            o.out_dir = value;
            dir_given = true;
        } else if (c == MEDIA) {
            o.media = value;
        } else if (c == FROM || c == TO) {
            if (!moment(arg, value, c == FROM ? o.from : o.to, err))
                return false;
        } else {
            (c == LOSSLESS ? o.lossless : c == QUIET ? o.quiet : c == HELP ? o.help : o.version) = true;
        }
    }
    if (optind < argc) {
        err = "unexpected argument '" + std::string(argv[optind]) + "'";
        return false;
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
        if (o.lossless && o.container != "mkv") {
            err = "--lossless makes Matroska only: end --out in .mkv";
            return false;
        }
    }
    if (o.scale && !o.stills.empty()) {
        err = "--scale goes with a video, not with --still";
        return false;
    }
    if (o.lossless && !o.stills.empty()) {
        err = "--lossless goes with a video; stills are always exact";
        return false;
    }
    if ((o.from || o.to >= 0) && !o.stills.empty()) {
        err = "--from and --to clip a video; stills are of the moments given";
        return false;
    }
    if (o.to < 0)
        o.to = DEMO_LENGTH;
    if (o.from > o.to) {
        err = "--from " + std::to_string(o.from) + " is after --to " + std::to_string(o.to);
        return false;
    }
    if (!o.scale)
        o.scale = o.lossless ? 1 : 2;
    return true;
}

}
