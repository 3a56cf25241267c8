// The capture tool: its command line, and its stills and video frames
// against the demo's own frames, run here on the same clock and seed.
#include <SDL_image.h>
#include "options.h"
#include "scripted.h"
#include "util.h"
#include "vaskiloimu.h"

namespace {

TEST(Capture, BadCommandLinesAreRefusedWithAReason)
{
    const std::vector<std::vector<const char *>> cases = {
        {"--fps", "0"}, {"--fps", "1001"}, {"--fps", "abc"}, {"--fps"}, {"--seed", "-5"}, {"--frobnicate"},
        {"stray"}, {"--still", "1000"}, {"--still", "75001", "--out-dir", "x"}, {"--still", "10,,20", "--out-dir", "x"},
        {"--still", "10", "--out-dir", "x", "--out", "v.mkv"}, {"--out-dir", "x"}, {"--out", "v.avi"}};
    for (auto args : cases) {
        args.insert(args.begin(), "vaskiloimu-capture");
        capture::Options o;
        std::string err;
        EXPECT_FALSE(capture::parse((int)args.size(), const_cast<char **>(args.data()), o, err)) << args[1];
        EXPECT_TRUE(!err.empty() && err.find('\n') == std::string::npos) << args[1] << ": " << err;
    }
}

// The demo in media with seed, frame n at the clock value frame_time(n),
// up to and including last; same(t, pixels) compares each frame it shows.
long check_demo_frames(const std::string &media, Uint32 seed, int fps, Sint32 last,
                       const std::function<void(Sint32, const Uint32 *)> &same)
{
    std::filesystem::current_path(media);
    scripted::Run run;
    run.seed = seed;
    run.time_of = [&](long n) { return (Uint32)std::min(scripted::frame_time(n, fps), last); };
    run.see = [&](long, Sint32 t) { return same(t, (Uint32 *)s->pixels), t < last; };
    return scripted::play(run).frames;
}

void expect_same_colours(const Uint32 *want, const Uint32 *got, Sint32 t)
{
    for (int i = 0; i < 640 * 480; i++)
        ASSERT_EQ(got[i] & 0xFFFFFF, want[i] & 0xFFFFFF) << "frame at " << t << ", pixel " << i;
}

// Frame times of 7 fps, in both seeding windows, and one off them: the
// frame the demo draws there after the frames before it.
TEST(Capture, StillsAreTheDemosFrames)
{
    TempDir media, out;
    write_image(media / "galleri.jpg", 300, 200);
    Outcome o = run(CAPTURE_BINARY " --fps 7 --seed 5 --still 0,28571,45000,45001 --quiet --out-dir " + out.path,
                    media.path);
    ASSERT_EQ(o.status, 0) << o.out;
    int stills = 0;
    check_demo_frames(media.path, 5, 7, 45001, [&](Sint32 t, const Uint32 *want) {
        char name[32];
        snprintf(name, sizeof name, "/still-%05d.png", t);
        SDL_Surface *png = IMG_Load((out.path + name).c_str());
        if (!png)
            return;
        SDL_Surface *rgb = SDL_ConvertSurface(png, s->format, 0);
        expect_same_colours(want, (Uint32 *)rgb->pixels, t);
        SDL_FreeSurface(png), SDL_FreeSurface(rgb), stills++;
    });
    EXPECT_EQ(stills, 4);
}

// Without --seed the fire's seed is the time, as in the demo itself.
TEST(Capture, SeedIsTheTimeWhenNotGiven)
{
    TempDir media, out;
    write_image(media / "galleri.jpg", 30, 20);
    Outcome o = run(CAPTURE_BINARY " --still 0 --out-dir " + out.path, media.path);
    EXPECT_GT(atol(o.out.substr(o.out.rfind("seed ") + 5).c_str()), 1600000000L) << o.out;
}

// A stand-in ffmpeg keeps the raw frames it is fed: every frame of the
// whole run, the last at 75 s, each as the demo drew it.
TEST(Capture, VideoIsFedTheDemosFrames)
{
    TempDir media, bin;
    write_image(media / "galleri.jpg", 300, 200);
    write_file(media / "musa.ogg", "");
    write_file(bin / "ffmpeg", "#!/bin/sh\ncat > " + media / "frames.raw" + "\n");
    std::filesystem::permissions(bin / "ffmpeg", std::filesystem::perms::owner_all);
    Outcome o = run("env PATH=" + bin.path + ":$PATH " CAPTURE_BINARY " --fps 1 --seed 9 --quiet", media.path);
    ASSERT_EQ(o.status, 0) << o.out;
    EXPECT_TRUE(std::filesystem::exists(media / "vaskiloimu.mkv"));
    std::ifstream raw(media / "frames.raw", std::ios::binary);
    std::vector<Uint32> frame(640 * 480);
    EXPECT_EQ(check_demo_frames(media.path, 9, 1, 75000, [&](Sint32 t, const Uint32 *want) {
                  raw.read((char *)frame.data(), 4 * frame.size());
                  expect_same_colours(want, frame.data(), t);
              }), 76);
    EXPECT_EQ(raw.peek(), EOF) << "more frames than the demo shows";
}

}
