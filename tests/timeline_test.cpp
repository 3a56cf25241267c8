// The program's own SDL_main on a scripted clock. The linker routes its
// calls of SDL's start-up, the blit, the alpha setting, time and the effects
// through the recorders below, so each frame's decisions show.
#include <gtest/gtest.h>
#include <string.h>
#include "reference.h"
#include "scripted.h"
#include "util.h"
#include "vaskiloimu.h"

namespace {

struct Frame {
    Sint32 t = 0, phase = 0;
    int alpha = -1;                // the last alpha set, -1 for none
    SDL_Rect dst{};                // the blit's, as the blit left it
    std::string calls;             // b pattern, i image, o overlay, k tick, s seeds
    std::vector<std::vector<Sint32>> seeds;
};
std::vector<Frame> frames(1);
std::string startup;               // SDL's start-up calls, in order
bool fake_layout;                  // answer the video mode with another pixel layout
bool no_memory;                    // calloc and the program's SDL_CreateRGBSurface fail
SDL_Surface *fake_screen;          // that layout's screen, ours to free
bool effects;                      // false: the effects' calls are recorded, not run
bool returned;                     // SDL_main has returned

template <class... A> void log(const char *call, A... args)
{
    startup += call;
    ((startup += " " + std::to_string(args)), ...);
    startup += "\n";
}

}

// WRAP(ret, name, (params)) declares the real function and opens the
// definition of the recorder the linker puts in its place.
#define WRAP(ret, name, params) \
    ret __real_##name params;   \
    ret __wrap_##name params
extern "C" {
WRAP(time_t, time, (time_t * t)) { return log("time"), __real_time(t); }
WRAP(void *, calloc, (size_t n, size_t size)) { return no_memory ? nullptr : __real_calloc(n, size); }
WRAP(SDL_Surface *, SDL_CreateRGBSurface, (Uint32 f, int w, int h, int d, Uint32 r, Uint32 g, Uint32 b, Uint32 a))
{
    return no_memory ? nullptr : __real_SDL_CreateRGBSurface(f, w, h, d, r, g, b, a);
}
WRAP(int, SDL_main, (int argc, char **argv))
{
    returned = false;
    int status = __real_SDL_main(argc, argv);
    returned = true;
    return status;
}
WRAP(int, SDL_Init, (Uint32 f)) { return log("Init", f), __real_SDL_Init(f); }
WRAP(SDL_Surface *, SDL_SetVideoMode, (int w, int h, int bpp, Uint32 f))
{
    log("SetVideoMode", w, h, bpp, f);
    SDL_Surface *screen = __real_SDL_SetVideoMode(w, h, bpp, f);
    if (!fake_layout || !screen)
        return screen;
    return fake_screen = __real_SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xFF, 0xFF00, 0xFF0000, 0);
}
WRAP(int, SDL_ShowCursor, (int on)) { return log("ShowCursor", on), __real_SDL_ShowCursor(on); }
WRAP(int, Mix_OpenAudio, (int rate, Uint16 format, int channels, int chunk))
{
    return log("OpenAudio", rate, format, channels, chunk), __real_Mix_OpenAudio(rate, format, channels, chunk);
}
WRAP(void, SDL_PauseAudio, (int on)) { log("PauseAudio at", on, SDL_GetTicks()), __real_SDL_PauseAudio(on); }
WRAP(void, SDL_WM_SetCaption, (const char *title, const char *icon))
{
    log(title, icon != nullptr), __real_SDL_WM_SetCaption(title, icon);
}
WRAP(int, SDL_SetColorKey, (SDL_Surface * sf, Uint32 flags, Uint32 key))
{
    return log("SetColorKey", sf == ims[0], flags, key), __real_SDL_SetColorKey(sf, flags, key);
}
WRAP(int, Mix_PlayChannelTimed, (int ch, Mix_Chunk *c, int loops, int ticks))
{
    return log("Play", ch, c == musa, loops, ticks), __real_Mix_PlayChannelTimed(ch, c, loops, ticks);
}
// What the exit tests look for on the standard error.
WRAP(void, SDL_Quit, (void))
{
    fprintf(stderr, returned ? "SDL_Quit after SDL_main returned\n" : "SDL_Quit on exit\n");
    __real_SDL_Quit();
}

WRAP(int, SDL_UpperBlit, (SDL_Surface * a, SDL_Rect *sr, SDL_Surface *b, SDL_Rect *dr))
{
    int r = __real_SDL_UpperBlit(a, sr, b, dr);
    if (a == ims[0])
        frames.back().calls += "i", frames.back().dst = *dr;
    return r;
}
WRAP(int, SDL_SetAlpha, (SDL_Surface * sf, Uint32 flags, Uint8 alpha))
{
    frames.back().alpha = flags == SDL_SRCALPHA ? alpha : -2;
    return __real_SDL_SetAlpha(sf, flags, alpha);
}
WRAP(void, bkge, (Sint32 p)) { frames.back().calls += "b", frames.back().phase = p, effects ? __real_bkge(p) : void(); }
WRAP(void, firekl, (void)) { frames.back().calls += "k", effects ? __real_firekl() : void(); }
WRAP(void, firegk, (void)) { frames.back().calls += "o", effects ? __real_firegk() : void(); }
WRAP(void, firegf, (Sint32 x0, Sint32 w, Sint32 y0, Sint32 h))
{
    frames.back().calls += "s";
    frames.back().seeds.push_back({x0, w, y0, h});
    __real_firegf(x0, w, y0, h);
}
}

namespace {

// The demo with a 300x200 test picture and no music, seed 99, frame n at
// times[n]; event is put in the event queue once the second frame is shown.
// Returns the frames as recorded; see, if given, looks at each on the screen.
// Every run starts from the same state, whatever the runs before it did.
std::vector<Frame> play(const std::vector<Uint32> &times, SDL_Event event = {}, Uint32 base = 1000,
                        std::function<void(const Frame &)> see = nullptr, bool run_effects = true,
                        bool other_layout = false)
{
    TempDir dir;
    write_image(dir / "galleri.jpg", 300, 200);
    std::filesystem::current_path(dir.path);
    frames.assign(1, Frame());
    startup.clear();
    effects = run_effects;
    fake_layout = other_layout;
    scripted::Run run;
    run.seed = 99;
    run.base = base;
    run.time_of = [&](long n) { return times[n]; };
    run.see = [&](long n, Sint32 t) {
        frames.back().t = t;
        if (see)
            see(frames.back());
        frames.emplace_back();
        return n + 1 < (long)times.size();
    };
    if (event.type)
        run.events.push_back({1, event});
    EXPECT_EQ(scripted::play(run).status, 0);
    if (fake_layout)
        SDL_FreeSurface(fake_screen);
    fake_layout = false;
    frames.pop_back();
    return frames;
}

TEST(Timeline, StartUp)
{
    // The runs meant for sdl12-compat (its folder on the library path) must
    // not quietly test the classic SDL 1.2 again, nor the others sdl12-compat.
    const char *path = getenv("LD_LIBRARY_PATH");
    EXPECT_EQ(SDL_Linked_Version()->patch >= 50, path && strstr(path, "sdl12-compat"));
    std::vector<Frame> f = play({0, 40}, {}, 1000, [](const Frame &) {
        // The dummy screen is laid out as the effects write only where
        // words are little-endian; elsewhere they draw aside.
        EXPECT_EQ(s == shown, SDL_BYTEORDER == SDL_LIL_ENDIAN);
        EXPECT_EQ(firew, 640);
        EXPECT_EQ(fireh, 486);
        for (int i = 0; i < firew * fireh; i++)
            ASSERT_EQ(firekg[i], 0) << "cell " << i;
    });
    EXPECT_EQ(startup, "time\nInit 48\nSetVideoMode 640 480 32 2147483648\nShowCursor 0\n"
                       "OpenAudio 48000 32784 2 1024\nPauseAudio at 1 1000\nvaskiloimu 0\n"
                       "SetColorKey 1 4096 0\nPlay -1 1 0 -1\nPauseAudio at 0 1500\n");
    // No seeds yet, so the generator is as srand left it: seeded with 99.
    int next = rand();
    srand(99);
    EXPECT_EQ(next, rand());
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].calls, "bok");  // no image before 10 s; the first frame runs a tick
    EXPECT_EQ(f[1].calls, "bok");
}

// The frame at t after one at 0: expected values from an independent
// evaluation of the timeline in double precision, for the 300x200 picture
// (centred at x = 170). Every tick of the frame (t / 40 of them) uses its
// clock and the rectangle the blit left, and writes the same seeds.
struct At { Uint32 t; Sint32 phase; int alpha; Sint16 x, y; Uint16 h; std::vector<Sint32> seeds; };
class Timeline : public ::testing::TestWithParam<At> {};

TEST_P(Timeline, FrameAt)
{
    const At &c = GetParam();
    // Thousands of ticks to catch up: the calls are what counts here.
    Frame f = play({0, c.t}, {}, 1000, nullptr, false)[1];
    EXPECT_EQ(f.phase, c.phase);
    EXPECT_EQ(f.alpha, c.alpha);
    std::string want = c.alpha < 0 ? "bo" : "bio";
    for (Uint32 i = 0; i < (c.t > 74999 ? 0 : c.t / 40); i++)
        want += c.seeds.empty() ? "k" : "ks";
    EXPECT_EQ(f.calls, want);
    for (auto &seed : f.seeds)
        ASSERT_EQ(seed, c.seeds);
    if (c.alpha >= 0) {
        EXPECT_TRUE(f.dst.x == c.x && f.dst.y == c.y && f.dst.w == (c.h ? 300 : 0) && f.dst.h == c.h)
            << f.dst.x << " " << f.dst.y << " " << f.dst.w << " " << f.dst.h;
    }
}

INSTANTIATE_TEST_SUITE_P(Timeline, Timeline, ::testing::Values(
    At{9999, 14998, -1, 0, 0, 0, {}},        At{10000, 15000, 0, 169, 13, 200, {}},
    At{18000, 27000, 90, 169, 14, 200, {}},   At{25999, 38998, 254, 171, 19, 200, {}},
    At{26000, 39000, 255, 171, 20, 200, {}},  At{27248, 40872, 255, 168, 18, 200, {}},
    At{27999, 41998, 255, 171, 19, 200, {}},  At{28000, 42000, 255, 171, 19, 200, {319, 10, 219, 2}},
    At{28500, 42750, 255, 170, 21, 200, {370, 10, 221, 2}}, At{29500, 44250, 255, 168, 19, 200, {270, 10, 219, 2}},
    At{31199, 46798, 255, 169, 21, 200, {290, 10, 221, 2}}, At{31200, 46800, 255, 169, 21, 200, {}},
    At{32499, 48748, 255, 170, 18, 200, {}},  At{32500, 48750, 255, 170, 18, 200, {170, 300, 218, 1}},
    At{39999, 59998, 255, 171, 20, 160, {171, 300, 180, 1}}, At{40000, 60000, 255, 171, 20, 160, {171, 300, 180, 1}},
    At{40001, 60100, 255, 171, 20, 159, {171, 300, 179, 1}}, At{45000, 560000, 255, 170, 21, 126, {170, 300, 147, 1}},
    At{49000, 960000, 255, 171, 19, 100, {171, 300, 119, 1}}, At{63850, 2445000, 255, 170, 21, 1, {170, 300, 22, 1}},
    At{63851, 2445100, 255, 170, 21, 0, {170, 0, 21, 1}},    At{64299, 2489900, 255, 168, 20, 0, {168, 0, 20, 1}},
    At{64300, 2490000, 255, 168, 20, 0, {}},  At{74999, 3559900, 255, 171, 19, 0, {}},
    At{75000, 3560000, 255, 171, 19, 0, {}}));

// How a run ends: the frames it shows, and the phase of its second frame.
struct Ending { const char *what; std::vector<Uint32> times; SDL_Event event; size_t shown; Uint32 base; Sint32 phase; };
class Ends : public ::testing::TestWithParam<Ending> {};

TEST_P(Ends, AfterTheFramesItShows)
{
    const Ending &c = GetParam();
    std::vector<Frame> f = play(c.times, c.event, c.base);
    EXPECT_EQ(f.size(), c.shown) << c.what;
    ASSERT_GE(f.size(), 2u);
    EXPECT_EQ(f[1].phase, c.phase) << c.what;
}

SDL_Event none{}, quit = scripted::quit(), esc_down = scripted::key(SDL_KEYDOWN, SDLK_ESCAPE),
    esc_up = scripted::key(SDL_KEYUP, SDLK_ESCAPE), a_up = scripted::key(SDL_KEYUP, SDLK_a);
INSTANTIATE_TEST_SUITE_P(Timeline, Ends, ::testing::Values(
    Ending{"at 75 s", {0, 74999, 75000, 80000}, none, 3, 1000, 3559900},
    Ending{"Esc pressed", {0, 100, 200}, esc_down, 3, 1000, 150},
    Ending{"Esc released", {0, 100, 200}, esc_up, 2, 1000, 150},
    Ending{"another key released", {0, 100, 200}, a_up, 3, 1000, 150},
    Ending{"asked to quit", {0, 100, 200}, quit, 2, 1000, 150},
    Ending{"across the tick counter's wrap", {0, 5000, 6000}, none, 3, 0xFFFFFFFFu - 1000, 7500},
    Ending{"after a stall of 2^31 ms", {0, 0x80000000u, 0x80000010u}, none, 2, 1000, -3940100}));

// The whole frame at 27000 ms (no seeds yet, so no fire): the picture, with
// exactly black pixels keyed out, over the pattern. On a screen the effects
// cannot write directly (red and blue swapped) the demo draws aside and
// converts: the same picture.
class Screen : public ::testing::TestWithParam<bool> {};

TEST_P(Screen, ShowsThePictureOverThePattern)
{
    play({0, 27000}, {}, 1000, [](const Frame &f) {
        for (int i = 0; f.t == 27000 && i < 640 * 480; i++) {
            int x = i % 640 - 168, y = i / 640 - 19;
            bool in = x >= 0 && x < 300 && y >= 0 && y < 200 && image_pixel(x, y);
            Uint32 want = in ? image_pixel(x, y) : pattern_pixel(40500, i % 640, i / 640);
            Uint32 got = ((Uint32 *)shown->pixels)[i];
            got = fake_layout ? (got >> 16 & 0xFF) | (got & 0xFF00) | (got & 0xFF) << 16 : got & 0xFFFFFF;
            ASSERT_EQ(got, want) << "pixel " << i % 640 << ", " << i / 640;
        }
    }, true, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Timeline, Screen, ::testing::Bool());

// SDL is shut down at every exit: after SDL_main returns, and on the
// failures that end the process from start-up.
struct Exit { const char *what, *image, *driver; int status; const char *says; bool no_memory = false, other_layout = false; };
class Exits : public ::testing::TestWithParam<Exit> {};

TEST_P(Exits, WithTheStatusAndSdlShutDown)
{
    const Exit &c = GetParam();
    TempDir dir;
    if (c.image && !strcmp(c.image, "picture"))
        write_image(dir / "galleri.jpg", 30, 20);
    else if (c.image)
        write_file(dir / "galleri.jpg", c.image);
    EXPECT_EXIT(
        {
            setenv("SDL_VIDEODRIVER", c.driver, 1);
            no_memory = c.no_memory;
            fake_layout = c.other_layout;
            std::filesystem::current_path(dir.path);
            // Frames at 0 and at the end; a failing start-up exits on its own.
            scripted::Run run;
            run.time_of = [](long) { return 75000u; };
            exit(scripted::play(run).status);
        },
        ::testing::ExitedWithCode(c.status), c.says)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(Timeline, Exits, ::testing::Values(
    Exit{"the end", "picture", "dummy", 0, "SDL_Quit after SDL_main returned"},
    Exit{"no picture", nullptr, "dummy", 2, "SDL_Quit on exit"},
    Exit{"text for a picture", "no picture\n", "dummy", 2, "SDL_Quit on exit"},
    Exit{"no screen", "picture", "nosuchdriver", 1, "SDL_Quit on exit"},
    Exit{"no memory for the fire field", "picture", "dummy", 1, "SDL_Quit on exit", true},
    Exit{"a screen of another layout, no memory to draw aside", "picture", "dummy", 1, "SDL_Quit on exit", true, true}));

}
