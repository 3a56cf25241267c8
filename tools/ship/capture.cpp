// vaskiloimu-capture: the demo's own SDL_main, unchanged, on a clock that
// advances exactly one frame per frame however long a frame takes, so every
// frame is the one a display at that rate would have shown. The frames go to
// ffmpeg as a video with the music, or into PNG stills. It builds wherever
// the demo does, and the same seed and rate give the same stills on every
// platform: that is how the platforms are compared.
#include <SDL.h>
#include <SDL_image.h>
#include <chrono>
#include <errno.h>
#include <filesystem>
#include <functional>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include "encoder.h"
#include "options.h"
#include "scripted.h"
#include "still.h"
#include "vaskiloimu.h"

// Where SDL's header renames main (Windows), this program keeps its own.
#undef main

using namespace capture;
namespace fs = std::filesystem;

namespace {

const char NAME[] = "vaskiloimu-capture";

int fail(int status, const std::string &message)
{
    fprintf(stderr, "%s: %s\n", NAME, message.c_str());
    return status;
}

// The demo ends the process itself when its start-up fails, past any
// return path of ours; this reports it and leaves no half-made video.
struct {
    bool in_demo = false;
    Encoder *encoder = nullptr;
    std::string partial;
} guard;

void early_exit()
{
    if (!guard.in_demo)
        return;
    fprintf(stderr, "%s: the demo stopped before its first frame; nothing was written\n", NAME);
    if (guard.encoder)
        guard.encoder->abandon();
    if (!guard.partial.empty())
        remove(guard.partial.c_str());
}

// What the screen shows, as bytes R, G, B: each frame is copied here.
SDL_Surface *rgb;

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Frames done of all, frames a second, time left: redrawn in place on a
// terminal, a line now and then in a log.
class Progress {
public:
    Progress(bool on, long total)
        : on_(on), tty_(isatty(2)), total_(total), t0_(Clock::now()), shown_(t0_) {}

    void update(long done)
    {
        if (!on_)
            return;
        Clock::time_point now = Clock::now();
        if (done < total_ && now - shown_ < (tty_ ? std::chrono::milliseconds(250)
                                                  : std::chrono::milliseconds(10000)))
            return;
        shown_ = now;
        double secs = since(t0_), rate = secs > 0 ? done / secs : 0;
        long left = rate > 0 ? (long)((total_ - done) / rate + 0.5) : 0;
        fprintf(stderr, "%sframe %ld/%ld  %.0f fps  %ld:%02ld left%s", tty_ ? "\r" : "", done,
                total_, rate, left / 60, left % 60, tty_ ? "   " : "\n");
        drawn_ = true;
    }

    void end()
    {
        if (on_ && tty_ && drawn_)
            fputc('\n', stderr);
        drawn_ = false;
    }

private:
    bool on_, tty_, drawn_ = false;
    long total_;
    Clock::time_point t0_, shown_;
};

int video(const Options &o, const std::string &out, Uint32 seed)
{
    std::error_code ec;
    if (fs::is_directory(out, ec))
        return fail(1, "cannot write " + out + ": it is a folder");
    // Made aside and renamed when complete, so a file under the asked name
    // is always a whole video.
    std::string partial = out + ".part";
    FILE *probe = fopen(partial.c_str(), "wb");
    if (!probe)
        return fail(1, "cannot write " + out + ": " + strerror(errno));
    fclose(probe);

    // The whole run's frames from o.from to o.to: those before run quietly.
    long first = 0, total = 0;
    for (long n = 0; n < scripted::frame_count(o.fps); n++) {
        Sint32 t = scripted::frame_time(n, o.fps);
        first += t < o.from;
        total += t >= o.from && t <= o.to;
    }
    if (total == 0) {
        remove(partial.c_str());
        return fail(1, "no frame at " + std::to_string(o.fps) + " fps lies from --from " + std::to_string(o.from) +
                           " to --to " + std::to_string(o.to));
    }
    Sint32 last = scripted::frame_time(first + total - 1, o.fps);
    char seconds[32];
    snprintf(seconds, sizeof seconds, "%.6f", (double)total / o.fps);
    std::string music = fs::absolute(MUSIC_FILE, ec).string();

    Encoder encoder;
    std::string err;
    // The music from the first frame's moment.
    char music_from[32];
    snprintf(music_from, sizeof music_from, "%.6f", scripted::frame_time(first, o.fps) / 1000.0);
    if (!encoder.start(ffmpeg_args(o, partial, music, music_from, seconds), err)) {
        remove(partial.c_str());
        return fail(1, err);
    }
    guard.encoder = &encoder;
    guard.partial = partial;
#ifdef SIGPIPE
    signal(SIGPIPE, SIG_IGN);
#endif

    bool broken = false;
    Progress progress(!o.quiet, total);
    Clock::time_point t0 = Clock::now();
    scripted::Run run;
    run.seed = seed;
    run.time_of = [&](long n) { return (Uint32)scripted::frame_time(n, o.fps); };
    run.real_events = true;  // SDL makes an interrupt a quit request
    run.shows = [&](Sint32 t) { return t >= o.from && t <= last; };
    long done = 0;
    run.see = [&](long, Sint32 t) {
        if (!copy_shown(shown, rgb) || !encoder.frame((const Uint8 *)rgb->pixels)) {
            broken = true;
            return false;
        }
        progress.update(++done);
        return t < last;
    };
    guard.in_demo = true;
    long frames = scripted::play(run).frames;
    guard.in_demo = false;
    progress.end();
    guard.encoder = nullptr;
    guard.partial.clear();

    std::string why;
    if (broken)
        why = encoder.finish(err) ? "ffmpeg stopped reading frames" : err;
    else if (frames != total)
        why = "stopped after " + std::to_string(frames) + " of " + std::to_string(total) + " frames";
    else if (!encoder.finish(err))
        why = err;
    else if (rename(partial.c_str(), out.c_str()) != 0)
        why = "cannot write " + out + ": " + strerror(errno);
    if (!why.empty()) {
        encoder.abandon();
        remove(partial.c_str());
        return fail(1, why + "; no video was made");
    }
    if (!o.quiet)
        fprintf(stderr, "%s: wrote %s: %ld frames at %d fps, seed %u, in %.1f s\n", NAME,
                out.c_str(), total, o.fps, seed, since(t0));
    return 0;
}

int stills(const Options &o, const std::string &dir, Uint32 seed)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::string probe = dir + "/.capture-probe";
    FILE *f = fopen(probe.c_str(), "wb");
    if (!f)
        return fail(1, "cannot write into " + dir + ": " + strerror(errno));
    fclose(f);
    remove(probe.c_str());

    std::string err;
    guard.in_demo = true;
    bool ok = scripted::stills(seed, o.fps, o.stills, [&](Sint32 t, std::string &why) {
        char name[32];
        snprintf(name, sizeof name, "/still-%05d.png", (int)t);
        if (copy_shown(shown, rgb))
            return write_png(dir + name, rgb, why);
        why = std::string("cannot read the screen: ") + SDL_GetError();
        return false;
    }, err);
    guard.in_demo = false;
    if (!ok)
        return fail(1, err);
    if (!o.quiet)
        fprintf(stderr, "%s: wrote %zu still%s to %s, seed %u\n", NAME, o.stills.size(),
                o.stills.size() == 1 ? "" : "s", dir.c_str(), seed);
    return 0;
}

}

int main(int argc, char **argv)
{
    Options o;
    std::string err;
    if (!parse(argc, argv, o, err))
        return fail(1, err + " (see --help)");
    if (o.help) {
        printf(USAGE, (int)DEMO_LENGTH, (int)DEMO_LENGTH);
        return 0;
    }
    if (o.version)
        return puts(VERSION_LINE) == EOF;
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec)
        return fail(1, "cannot tell the working directory: " + ec.message());

    // The demo opens its media by bare name.
    std::string where = o.media.empty() ? cwd.string() : o.media;
    if (!o.media.empty() && (fs::current_path(o.media, ec), ec))
        return fail(2, "cannot open the media folder " + o.media + ": " + ec.message());
    SDL_Surface *image = IMG_Load(imf[0]);
    if (!image)
        return fail(2, std::string("cannot load ") + imf[0] + " in " + where + ": " + IMG_GetError());
    SDL_FreeSurface(image);
    if (o.stills.empty()) {
        FILE *f = fopen(MUSIC_FILE, "rb");
        if (!f)
            return fail(2, std::string("cannot read ") + MUSIC_FILE + " in " + where + ", the video's sound: " +
                               strerror(errno));
        fclose(f);
    }
    if (!(rgb = rgb_surface()))
        return fail(1, std::string("cannot make a frame: ") + SDL_GetError());

    SDL_putenv((char *)"SDL_VIDEODRIVER=dummy");
    Uint32 seed = o.seed ? *o.seed : (Uint32)time(nullptr);
    atexit(early_exit);
    return o.stills.empty() ? video(o, (cwd / o.out).string(), seed)
                            : stills(o, (cwd / o.out_dir).string(), seed);
}

// The music reaches the video from its file. Without an audio device opened
// the demo needs no sound card, and skips decoding what nobody would hear.
extern "C" {

int __real_SDL_Init(Uint32 flags);

int __wrap_SDL_Init(Uint32 flags)
{
    return __real_SDL_Init(flags & ~(Uint32)SDL_INIT_AUDIO);
}

int __wrap_Mix_OpenAudio(int, Uint16, int, int)
{
    SDL_SetError("no audio device while capturing");
    return -1;
}

}
