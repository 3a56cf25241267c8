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
        {"--fps", "0"}, {"--fps", "1001"}, {"--fps", "abc"}, {"--fps"}, {"--seed", "-5"},
        {"--frobnicate"}, {"stray"}, {"--still", "1000"}, {"--still", "75001", "--out-dir", "x"},
        {"--still", "10,,20", "--out-dir", "x"},
        {"--still", "10", "--out-dir", "x", "--out", "v.mkv"}, {"--out-dir", "x"}, {"--out", "v.avi"}};
    for (auto args : cases) {
        args.insert(args.begin(), "vaskiloimu-capture");
        capture::Options o;
        std::string err;
        EXPECT_FALSE(capture::parse((int)args.size(), const_cast<char **>(args.data()), o, err)) << args[1];
        EXPECT_TRUE(!err.empty() && err.find('\n') == std::string::npos) << args[1] << ": " << err;
    }
}

// The demo's frame at ms, drawn after the frames at fps before it.
std::vector<Uint32> demo_frame(const std::string &media, Uint32 seed, int fps, Sint32 ms)
{
    std::vector<Uint32> times, frame;
    for (long n = 0; capture::frame_time(n, fps) < ms; n++)
        times.push_back(capture::frame_time(n, fps));
    times.push_back(ms);
    std::filesystem::current_path(media);
    scripted::play(seed, [&](long n) { return times[n]; }, [&](long n, Sint32) {
        if (n + 1 == (long)times.size())
            frame.assign((Uint32 *)s->pixels, (Uint32 *)s->pixels + 640 * 480);
        return n + 1 < (long)times.size();
    });
    scripted::release();
    return frame;
}

void expect_same_colours(const std::vector<Uint32> &want, const Uint32 *got, const std::string &what)
{
    ASSERT_EQ(want.size(), 640u * 480);
    for (size_t i = 0; i < want.size(); i++)
        ASSERT_EQ(got[i] & 0xFFFFFF, want[i] & 0xFFFFFF) << what << ", pixel " << i;
}

// On and off the frame times of 7 fps, in both seeding windows and at the end.
TEST(Capture, StillsAreTheDemosFrames)
{
    TempDir media, out;
    write_image(media / "galleri.jpg", 300, 200);
    Outcome o = run({CAPTURE_BINARY, "--media", media.path, "--fps", "7", "--seed", "5", "--still",
                     "0,28571,30000,45000,75000", "--out-dir", out.path, "--quiet"}, media.path);
    ASSERT_EQ(o.status, 0) << o.out;
    for (Sint32 ms : {0, 28571, 30000, 45000, 75000}) {
        char name[32];
        snprintf(name, sizeof name, "/still-%05d.png", ms);
        SDL_Surface *png = IMG_Load((out.path + name).c_str());
        ASSERT_TRUE(png) << name;
        SDL_Surface *rgb = SDL_CreateRGBSurface(SDL_SWSURFACE, 640, 480, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        SDL_BlitSurface(png, nullptr, rgb, nullptr);
        expect_same_colours(demo_frame(media.path, 5, 7, ms), (Uint32 *)rgb->pixels, name);
        SDL_FreeSurface(png), SDL_FreeSurface(rgb);
    }
}

// A stand-in ffmpeg keeps the raw frames it is fed: every frame of the whole
// run, the last at 75 s, each as the demo drew it.
TEST(Capture, VideoIsFedTheDemosFrames)
{
    TempDir media, bin;
    write_image(media / "galleri.jpg", 300, 200);
    write_file(media / "musa.ogg", "");
    write_file(bin / "ffmpeg", "#!/bin/sh\ncat > " + media / "frames.raw" + "\n");
    std::filesystem::permissions(bin / "ffmpeg", std::filesystem::perms::owner_all);
    Outcome o = run({CAPTURE_BINARY, "--media", media.path, "--fps", "1", "--seed", "9", "--quiet"}, media.path,
                    {"PATH=" + bin.path + ":" + getenv("PATH")});
    ASSERT_EQ(o.status, 0) << o.out;
    EXPECT_TRUE(std::filesystem::exists(media / "vaskiloimu.mkv"));
    std::ifstream raw(media / "frames.raw", std::ios::binary);
    std::vector<Uint32> frame(640 * 480);
    std::filesystem::current_path(media.path);
    long n = scripted::play(9, [](long n) { return (Uint32)capture::frame_time(n, 1); }, [&](long n, Sint32 t) {
        raw.read((char *)frame.data(), 4 * frame.size());
        expect_same_colours(std::vector<Uint32>((Uint32 *)s->pixels, (Uint32 *)s->pixels + 640 * 480),
                            frame.data(), "frame at " + std::to_string(t));
        return !raw.fail() && n < 1000;
    });
    scripted::release();
    EXPECT_EQ(n, capture::frame_count(1));
    EXPECT_EQ(raw.peek(), EOF) << "more frames than the demo shows";
}

}
