// The program's real SDL_main on a scripted clock. The linker routes the
// program's calls of the blit, the alpha setting, rand and the effects
// through the recorders below, so each frame's decisions can be checked.
#include <gtest/gtest.h>
#include <algorithm>
#include <stdlib.h>
#include <string.h>
#include <functional>
#include <vector>
#include <SDL_image.h>
#include "media.h"
#include "scripted.h"
#include "util.h"
#include "vaskiloimu.h"

namespace {

struct Seed {
    Sint32 x0, w, y0, h;
};

// What the program did in one frame, in the order it did it.
struct Frame {
    Sint32 t = 0;
    Sint32 phase = 0;
    bool blitted = false;
    int alpha = -1;              // last SDL_SetAlpha value, -1 when not set
    SDL_Rect src{}, dst_in{}, dst_out{};
    int ticks = 0;               // propagation steps
    bool overlay_before_ticks = true;
    std::vector<Seed> seeds;
    std::vector<Sint32> seen;    // the field as the overlay saw it, when asked for
};

Frame cur;
std::vector<Frame> frames;
bool draw = true;           // false: skip the effects' drawing, keep the calls
bool keep_field = false;    // copy the field the overlay sees into each frame
SDL_Surface *fake_screen;   // when set, what SDL_SetVideoMode answers
unsigned long draws;        // rand() calls

}

extern "C" {

SDL_Surface *__real_SDL_SetVideoMode(int, int, int, Uint32);
int __real_SDL_UpperBlit(SDL_Surface *, SDL_Rect *, SDL_Surface *, SDL_Rect *);
int __real_SDL_SetAlpha(SDL_Surface *, Uint32, Uint8);
void __real_bkge(Sint32);
void __real_firekl(void);
void __real_firegf(Sint32, Sint32, Sint32, Sint32);
void __real_firegk(void);
int __real_rand(void);

SDL_Surface *__wrap_SDL_SetVideoMode(int w, int h, int bpp, Uint32 flags)
{
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_EQ(bpp, 32);
    EXPECT_EQ(flags, (Uint32)SDL_FULLSCREEN);
    SDL_Surface *screen = __real_SDL_SetVideoMode(w, h, bpp, flags);
    return screen && fake_screen ? fake_screen : screen;
}

int __wrap_SDL_UpperBlit(SDL_Surface *a, SDL_Rect *sr, SDL_Surface *b, SDL_Rect *dr)
{
    if (a != ims[0])
        return __real_SDL_UpperBlit(a, sr, b, dr);
    cur.blitted = true;
    cur.src = *sr;
    cur.dst_in = *dr;
    int r = __real_SDL_UpperBlit(a, sr, b, dr);
    cur.dst_out = *dr;
    return r;
}

int __wrap_SDL_SetAlpha(SDL_Surface *sf, Uint32 flags, Uint8 alpha)
{
    EXPECT_EQ(flags, (Uint32)SDL_SRCALPHA);
    cur.alpha = alpha;
    return __real_SDL_SetAlpha(sf, flags, alpha);
}

void __wrap_bkge(Sint32 phase)
{
    cur.phase = phase;
    if (draw)
        __real_bkge(phase);
}

void __wrap_firekl(void)
{
    cur.ticks++;
    if (draw)
        __real_firekl();
}

void __wrap_firegf(Sint32 x0, Sint32 w, Sint32 y0, Sint32 h)
{
    cur.seeds.push_back({x0, w, y0, h});
    __real_firegf(x0, w, y0, h);
}

void __wrap_firegk(void)
{
    if (cur.ticks > 0)
        cur.overlay_before_ticks = false;
    if (keep_field)
        cur.seen.assign(firekg, firekg + firew * fireh);
    if (draw)
        __real_firegk();
}

int __wrap_rand(void)
{
    draws++;
    return __real_rand();
}

}

namespace {

const Uint32 BASE = 1000;           // SDL_GetTicks when the program starts
const Uint32 START = BASE + 500;    // ... and when its clock starts

struct Result {
    std::vector<Frame> frames;
    int status = -1;
};

// Runs SDL_main in dir, which holds whatever media the case needs. The first
// frame comes at t = 0; after it, frame k+1 comes at times[k]. When the times
// run out the script asks to quit. inspect, if given, sees each frame on the
// screen.
Result play_in(const std::string &dir, const std::vector<Sint32> &times,
               std::function<void(const Frame &)> inspect = nullptr, Uint32 base = BASE)
{
    InDir in(dir);
    scripted::reset(base);
    scripted::now = 12345;
    frames.clear();
    cur = Frame{};
    size_t next = 0;
    scripted::on_flip = [&] {
        cur.t = (Sint32)(scripted::ticks - (base + 500));
        if (inspect)
            inspect(cur);
        frames.push_back(std::move(cur));
        cur = Frame{};
        if (next < times.size())
            scripted::ticks = base + 500 + (Uint32)times[next++];
        else
            scripted::events.push_back(scripted::quit());
    };
    Result r;
    r.status = SDL_main(0, nullptr);
    r.frames = std::move(frames);
    scripted::release();
    return r;
}

// The same with an image of w x h pixels.
Result play(int w, int h, const std::vector<Sint32> &times,
         std::function<void(const Frame &)> inspect = nullptr, Uint32 base = BASE)
{
    TempDir dir;
    if (w > 0)
        write_image(dir / "galleri.jpg", w, h);
    return play_in(dir.path, times, inspect, base);
}

std::vector<Sint32> every(Sint32 from, Sint32 to, Sint32 step)
{
    std::vector<Sint32> v;
    for (Sint32 t = from; t <= to; t += step)
        v.push_back(t);
    return v;
}

const Frame &at(const Result &r, Sint32 t)
{
    for (const Frame &f : r.frames)
        if (f.t == t)
            return f;
    ADD_FAILURE() << "no frame at " << t;
    return r.frames.back();
}

struct Quick {
    Quick() { draw = false; }
    ~Quick() { draw = true; }
};

}

TEST(Timeline, NoImageBeforeTenSeconds)
{
    Result r = play(300, 200, {1, 5000, 9999, 10000});
    ASSERT_EQ(r.frames.size(), 5u);
    for (size_t i = 0; i < 4; i++) {
        EXPECT_FALSE(r.frames[i].blitted) << r.frames[i].t;
        EXPECT_EQ(r.frames[i].alpha, -1) << r.frames[i].t;
    }
    EXPECT_TRUE(r.frames[4].blitted);
}

// Expected positions for a 300-pixel-wide image (half = 170), from an
// independent evaluation of the placement in double precision.
TEST(Timeline, FadeAndSlideIn)
{
    Result r = play(300, 200, {10000, 18000, 25999, 26000, 28000, 28500, 29250});
    const Frame &a = at(r, 10000);
    EXPECT_EQ(a.alpha, 0);
    EXPECT_EQ(a.dst_in.x, 169);
    EXPECT_EQ(a.dst_in.y, 13);  // 8 above trunc(21.49...)
    EXPECT_EQ(at(r, 18000).alpha, 90);
    EXPECT_EQ(at(r, 18000).dst_in.y, 14);
    EXPECT_EQ(at(r, 25999).alpha, 254);
    EXPECT_EQ(at(r, 25999).dst_in.y, 19);
    EXPECT_EQ(at(r, 26000).alpha, 255);
    EXPECT_EQ(at(r, 26000).dst_in.x, 171);
    EXPECT_EQ(at(r, 26000).dst_in.y, 20);
    EXPECT_EQ(at(r, 28000).dst_in.y, 19);
    EXPECT_EQ(at(r, 28500).dst_in.x, 170);
    EXPECT_EQ(at(r, 28500).dst_in.y, 21);
    EXPECT_EQ(at(r, 29250).dst_in.x, 168);
    for (const Frame &f : r.frames) {
        if (!f.blitted)
            continue;
        EXPECT_EQ(f.src.x, 0);
        EXPECT_EQ(f.src.y, 0);
        EXPECT_EQ(f.src.w, 300);
        EXPECT_EQ(f.src.h, 200);
        EXPECT_EQ(f.dst_in.w, 0);
        EXPECT_EQ(f.dst_in.h, 0);
    }
}

// What reaches the screen: nothing at alpha 0, the image's own colours at
// 255 except where it is black, and the pattern everywhere else.
TEST(Timeline, ImageOnScreen)
{
    std::vector<Uint8> bg(640 * 480 * 4);
    auto check = [&](const Frame &f) {
        if (f.t != 10000 && f.t != 26000)
            return;
        Uint8 *saved = (Uint8 *)s->pixels;
        s->pixels = bg.data();
        __real_bkge(f.phase);
        s->pixels = saved;
        for (int y = 0; y < 480; y++) {
            for (int x = 0; x < 640; x++) {
                const Uint8 *p = pixel(s, x, y);
                const Uint8 *q = &bg[4 * (y * 640 + x)];
                int ix = x - f.dst_out.x, iy = y - f.dst_out.y;
                bool inside = f.t == 26000 && ix >= 0 && iy >= 0 && ix < 300 && iy < 200;
                Uint8 e[3] = {q[0], q[1], q[2]};
                if (inside && !image_black(ix, iy, 300))
                    image_rgb(ix, iy, 300, &e[2], &e[1], &e[0]);
                if (memcmp(p, e, 3) != 0) {
                    ADD_FAILURE() << "t=" << f.t << " pixel " << x << "," << y << " is "
                                  << (int)p[0] << "," << (int)p[1] << "," << (int)p[2] << " not "
                                  << (int)e[0] << "," << (int)e[1] << "," << (int)e[2];
                    return;
                }
            }
        }
    };
    play(300, 200, {10000, 26000}, check);
}

TEST(Timeline, CutFromTheBottom)
{
    struct Case {
        int h;
        Sint32 last_shown, first_empty;
    };
    for (Case c : {Case{300, 63899, 63900}, Case{480, 63937, 63938}}) {
        Result r = play(200, c.h, {33999, 34000, 49000, c.last_shown, c.first_empty, 64000, 70000});
        EXPECT_EQ(at(r, 33999).src.h, c.h);
        EXPECT_EQ(at(r, 34000).src.h, c.h);
        EXPECT_EQ(at(r, 49000).src.h, c.h / 2);
        EXPECT_EQ(at(r, c.last_shown).src.h, 1) << c.h;
        for (Sint32 t : {c.first_empty, 64000, 70000}) {
            const Frame &f = at(r, t);
            EXPECT_EQ(f.src.h, 0) << c.h << " at " << t;
            EXPECT_EQ(f.dst_out.w, 0);
            EXPECT_EQ(f.dst_out.h, 0);
        }
    }
}

// An image wider and taller than the screen is clipped by the blit, and the
// fire reads the clipped rectangle.
TEST(Timeline, ClippedRectangleFeedsTheSeeds)
{
    Result r = play(700, 500, {26000, 33000});
    const Frame &f = at(r, 26000);
    EXPECT_EQ(f.dst_in.x, -28);  // trunc(1.5 cos + (-30)), toward zero
    EXPECT_EQ(f.dst_out.x, 0);
    EXPECT_EQ(f.dst_out.w, 640);
    EXPECT_EQ(f.dst_out.y, 20);
    EXPECT_EQ(f.dst_out.h, 460);
    const Frame &g = at(r, 33000);
    ASSERT_FALSE(g.seeds.empty());
    for (const Seed &sd : g.seeds) {
        EXPECT_EQ(sd.x0, g.dst_out.x);
        EXPECT_EQ(sd.w, g.dst_out.w);
        EXPECT_EQ(sd.y0, g.dst_out.y + g.dst_out.h);
        EXPECT_EQ(sd.y0, 480);
        EXPECT_EQ(sd.h, 1);
    }
}

TEST(Timeline, PhaseAroundTheSpeedUp)
{
    Quick q;
    Result r = play(100, 100, {1, 3, 39999, 40000, 40001, 74999});
    EXPECT_EQ(at(r, 0).phase, 0);
    EXPECT_EQ(at(r, 1).phase, 1);
    EXPECT_EQ(at(r, 3).phase, 4);
    EXPECT_EQ(at(r, 39999).phase, 59998);
    EXPECT_EQ(at(r, 40000).phase, 60000);
    EXPECT_EQ(at(r, 40001).phase, 60100);
    EXPECT_EQ(at(r, 74999).phase, 3559900);
}

// The frame at 75000 ms or later is still drawn and shown, then the demo
// ends by itself; 74999 is not yet the end.
TEST(Timeline, EndsAfterTheFrameAt75Seconds)
{
    Quick q;
    Result r = play(100, 100, {74999, 75000, 76000});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.frames.size(), 3u);
    EXPECT_EQ(r.frames.back().t, 75000);
    EXPECT_EQ(r.frames.back().phase, 3560000);
}

TEST(Timeline, EscReleaseEndsItPressDoesNot)
{
    Quick q;
    int n = 0;
    Result r = play(100, 100, every(100, 5000, 100), [&](const Frame &) {
        n++;
        if (n == 3)
            scripted::events.push_back(scripted::key(SDL_KEYDOWN, SDLK_ESCAPE));
        if (n == 4)
            scripted::events.push_back(scripted::key(SDL_KEYUP, SDLK_SPACE));
        if (n == 6)
            scripted::events.push_back(scripted::key(SDL_KEYUP, SDLK_ESCAPE));
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.frames.size(), 6u);
}

TEST(Timeline, QuitRequestEndsIt)
{
    Quick q;
    int n = 0;
    Result r = play(100, 100, every(100, 5000, 100), [&](const Frame &) {
        if (++n == 2) {
            scripted::events.push_back(scripted::key(SDL_KEYDOWN, SDLK_a));
            scripted::events.push_back(scripted::quit());
        }
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.frames.size(), 2u);
}

// The tick counter lives on SDL_GetTicks' own scale, which wraps after 49
// days; a run that crosses the wrap must not notice.
TEST(Timeline, ClockWrapsUnnoticed)
{
    Quick q;
    Result r = play(100, 100, {1000, 2000, 40001}, nullptr, 0xFFFFFFFFu - 1200);
    EXPECT_EQ(at(r, 1000).phase, 1500);
    EXPECT_EQ(at(r, 2000).phase, 3000);
    EXPECT_EQ(at(r, 40001).phase, 60100);
    int ticks = 0;
    for (const Frame &f : r.frames)
        ticks += f.ticks;
    EXPECT_EQ(ticks, 40001 / 40 + 1);
}

TEST(Fire, NoSeedBeforeTheFirstWindow)
{
    keep_field = true;
    Result r = play(300, 200, {10000, 27999, 28000, 28001});
    keep_field = false;
    for (const Frame &f : r.frames) {
        if (f.t <= 27999) {
            EXPECT_TRUE(f.seeds.empty()) << f.t;
        }
    }
    EXPECT_FALSE(at(r, 28000).seeds.empty());
    // what the overlay of 28000 saw was written before any seed
    const Frame &f = at(r, 28000);
    for (size_t i = 0; i < f.seen.size(); i++)
        ASSERT_EQ(f.seen[i], 0) << i;
}

// The patch swings round the middle of the screen; at 28000 the
// sine is a hair below zero, so truncation toward zero lands on 319; at
// 29000 it is too small to move 320 at all.
TEST(Fire, SwingingPatch)
{
    Quick q;
    Result r = play(300, 200, {28000, 28500, 29000, 29250, 30000, 31159, 31199, 31200, 32000});
    struct Want {
        Sint32 t, x;
    };
    for (Want w : {Want{28000, 319}, Want{28500, 370}, Want{29000, 320}, Want{29250, 284},
                   Want{30000, 320}, Want{31199, 290}}) {
        const Frame &f = at(r, w.t);
        ASSERT_FALSE(f.seeds.empty()) << w.t;
        EXPECT_EQ((int)f.seeds.size(), f.ticks) << w.t;
        for (const Seed &sd : f.seeds) {
            EXPECT_EQ(sd.x0, w.x) << w.t;
            EXPECT_EQ(sd.w, 10);
            EXPECT_EQ(sd.y0, f.dst_out.y + f.dst_out.h) << w.t;
            EXPECT_EQ(sd.h, 2);
        }
    }
    EXPECT_TRUE(at(r, 31200).seeds.empty());
    EXPECT_TRUE(at(r, 32000).seeds.empty());
}

TEST(Fire, SeedRowClimbsWithTheCutEdge)
{
    Quick q;
    EXPECT_TRUE(play(300, 400, {32499}).frames.back().seeds.empty());
    Result r = play(300, 400, {32479, 32500, 34000, 49000, 63000, 63925, 64299, 64300});
    for (Sint32 t : {32500, 34000, 49000, 63000}) {
        const Frame &f = at(r, t);
        ASSERT_FALSE(f.seeds.empty()) << t;
        for (const Seed &sd : f.seeds) {
            EXPECT_EQ(sd.x0, f.dst_out.x);
            EXPECT_EQ(sd.w, 300);
            EXPECT_EQ(sd.y0, f.dst_out.y + (int)f.src.h) << t;
            EXPECT_EQ(sd.h, 1);
        }
    }
    EXPECT_EQ(at(r, 49000).seeds[0].y0, at(r, 49000).dst_out.y + 200);
    // once nothing is shown the row has no width: nothing is drawn
    for (const Seed &sd : at(r, 64299).seeds)
        EXPECT_EQ(sd.w, 0);
    EXPECT_TRUE(at(r, 64300).seeds.empty());
}

// The overlay comes before the ticks: seeds written in one frame show in the
// next, and a frame without ticks shows the field exactly as it was left.
TEST(Fire, SeedsShowInTheNextFrame)
{
    keep_field = true;
    std::vector<Sint32> after;
    Result r = play(300, 200, {28000, 28001, 28039, 28040}, [&](const Frame &f) {
        if (f.t == 28000)
            after.assign(firekg, firekg + firew * fireh);
    });
    keep_field = false;
    const Frame &a = at(r, 28000), &b = at(r, 28001), &c = at(r, 28039), &d = at(r, 28040);
    EXPECT_TRUE(a.overlay_before_ticks);
    EXPECT_EQ(a.ticks, 28000 / 40);  // the frame at 0 ran the first
    EXPECT_EQ(b.ticks, 0);
    EXPECT_EQ(c.ticks, 0);
    EXPECT_EQ(d.ticks, 1);
    EXPECT_TRUE(b.seen == after);
    EXPECT_TRUE(d.seen == after);
    // the overlay of 28000 saw none of its own seeds
    Seed sd = a.seeds.back();
    for (Sint32 y = sd.y0; y < sd.y0 + sd.h; y++)
        for (Sint32 x = sd.x0; x < sd.x0 + sd.w; x++)
            EXPECT_EQ(a.seen[y * firew + x], 0);
}

TEST(Fire, HotSeedIsPaintedNextFrame)
{
    Sint32 hot = -1;
    std::vector<Sint32> field;
    Result r = play(300, 200, {28000, 28001}, [&](const Frame &f) {
        if (f.t == 28000) {
            field.assign(firekg, firekg + firew * fireh);
            const Seed &sd = f.seeds.back();
            for (Sint32 x = sd.x0; x < sd.x0 + sd.w && hot < 0; x++)
                if (firekg[sd.y0 * firew + x] > 600 && sd.y0 < 480)
                    hot = sd.y0 * firew + x;
            ASSERT_GE(hot, 0) << "no hot seed drawn with this srand seed";
            EXPECT_NE(pixel(s, hot % 640, hot / 640)[2], 240);
        }
        if (f.t == 28001) {
            const Uint8 *p = pixel(s, hot % 640, hot / 640);
            EXPECT_EQ(p[2], 240);
            EXPECT_EQ(p[1], (Uint8)((field[hot] >> 5) + 100));
        }
    });
    EXPECT_EQ(r.frames.size(), 3u);
}

TEST(Fire, TicksFollowTheClockNotTheFrames)
{
    Quick q;
    for (Sint32 step : {1, 7, 40, 41, 300}) {
        Sint32 end = step == 1 ? 3000 : 30000;
        Result r = play(100, 100, every(step, end, step));
        int ticks = 0;
        for (const Frame &f : r.frames)
            ticks += f.ticks;
        Sint32 last = r.frames.back().t;
        EXPECT_EQ(ticks, last / 40 + 1) << "frames every " << step << " ms";
    }
}

TEST(Fire, StallIsCaughtUpInOneFrame)
{
    Quick q;
    Result r = play(100, 100, {100, 60000, 60001});
    EXPECT_EQ(at(r, 0).ticks, 1);
    EXPECT_EQ(at(r, 100).ticks, 2);
    EXPECT_EQ(at(r, 60000).ticks, (60000 - 120) / 40 + 1);
    EXPECT_EQ(at(r, 60001).ticks, 0);
}

// Ticks after the last frame could never be seen: a frame hours late draws
// itself and ends without running them, and its phase wraps harmlessly.
TEST(Fire, StallOfHoursCostsOneFrame)
{
    Quick q;
    Sint32 late = 7 * 3600 * 1000;
    Result r = play(100, 100, {100, late});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.frames.size(), 3u);
    EXPECT_EQ(r.frames.back().ticks, 0);
    EXPECT_EQ(r.frames.back().phase, (Sint32)(Uint32)((Sint64)late * 100 - 3940000));

    // Past 2^31 ms the difference of two tick counts no longer fits t; the
    // demo must still see a clock past its end, not a negative one.
    Uint32 days = 0x80000010u;
    r = play(100, 100, {100, (Sint32)days, (Sint32)(days + 100)});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.frames.size(), 3u);
    EXPECT_EQ(r.frames.back().ticks, 0);
    EXPECT_EQ(r.frames.back().phase, (Sint32)(100u * 0x7FFFFFFFu - 3940000u));
}

// An image tall enough to reach the bottom row puts the patch on rows 480
// and 481; no step rewrites row 481 (but its first cell), so its seeds stay.
TEST(Fire, SeedsBelowTheScreenPersist)
{
    std::vector<Sint32> times = every(27959, 31159, 40);
    times.insert(times.end(), {31199, 40000, 60000});
    std::vector<Sint32> row481;
    Result r = play(300, 470, times, [&](const Frame &f) {
        std::vector<Sint32> now(firekg + 481 * firew, firekg + 482 * firew);
        if (f.t == 31199) {
            row481 = now;
            ASSERT_FALSE(f.seeds.empty());
            EXPECT_EQ(f.seeds.back().y0, 480);
        } else if (f.t > 31199) {
            for (int x = 1; x < 640; x++)
                ASSERT_EQ(now[x], row481[x]) << f.t << " column " << x;
        }
    });
    int seeded = 0;
    for (int x = 270; x < 390; x++)
        seeded += row481[x] != 0;
    EXPECT_GT(seeded, 100);
    for (int x = 1; x < 270; x++)
        EXPECT_EQ(row481[x], 0);
}

TEST(Fire, OneRandPerSeededCell)
{
    Quick q;
    draws = 0;
    Result r = play(300, 200, {28000, 33000});
    unsigned long cells = 0;
    for (const Frame &f : r.frames)
        for (const Seed &sd : f.seeds)
            cells += (unsigned long)sd.w * sd.h;
    EXPECT_EQ(draws, cells);
    EXPECT_EQ(cells, 28000u / 40 * 20 + 125u * 300);  // 10x2 patches, then 300-wide rows
}

// With the seed srand receives fixed, the fire and so every frame repeats.
TEST(Fire, Reproducible)
{
    auto sums = [] {
        std::vector<Uint64> h;
        play(300, 200, {28000, 30000, 33000, 40000, 50000}, [&](const Frame &) {
            Uint64 x = 1469598103934665603ull;
            const Uint8 *p = (const Uint8 *)s->pixels;
            for (int i = 0; i < 640 * 480 * 4; i++)
                if (i % 4 != 3)
                    x = (x ^ p[i]) * 1099511628211ull;
            h.push_back(x);
        });
        return h;
    };
    std::vector<Uint64> a = sums(), b = sums();
    EXPECT_EQ(a, b);
    EXPECT_NE(a[2], a[3]);
}

// Screens the effects cannot write directly: rows with a gap, red and blue
// swapped, or a surface that must be locked. The picture must be the same.
TEST(Layout, OtherScreenLayoutsShowTheSamePicture)
{
    const std::vector<Sint32> times{26000, 28500};
    auto colours = [](SDL_Surface *sf) {
        std::vector<Uint8> rgb;
        for (int y = 0; y < 480; y++) {
            for (int x = 0; x < 640; x++) {
                Uint32 v = *(const Uint32 *)((const Uint8 *)sf->pixels + y * sf->pitch + 4 * x);
                Uint8 c[3];
                SDL_GetRGB(v, sf->format, &c[0], &c[1], &c[2]);
                rgb.insert(rgb.end(), c, c + 3);
            }
        }
        return rgb;
    };
    std::vector<std::vector<Uint8>> want;
    play(300, 200, times, [&](const Frame &) { want.push_back(colours(shown)); });
    ASSERT_EQ(s, shown);

    std::vector<Uint8> gap(2600 * 480);
    SDL_Surface *screens[] = {
        SDL_CreateRGBSurfaceFrom(gap.data(), 640, 480, 32, 2600, 0xFF0000, 0xFF00, 0xFF, 0),
        SDL_CreateRGBSurface(SDL_SWSURFACE, 640, 480, 32, 0xFF, 0xFF00, 0xFF0000, 0),
        SDL_CreateRGBSurface(SDL_SWSURFACE, 640, 480, 32, 0xFF0000, 0xFF00, 0xFF, 0),
    };
    screens[2]->flags |= SDL_HWSURFACE;
    ASSERT_TRUE(SDL_MUSTLOCK(screens[2]));
    for (SDL_Surface *screen : screens) {
        fake_screen = screen;
        std::vector<std::vector<Uint8>> got;
        play(300, 200, times, [&](const Frame &) {
            EXPECT_EQ(shown, screen);
            EXPECT_NE(s, screen);
            got.push_back(colours(screen));
        });
        fake_screen = nullptr;
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); i++)
            EXPECT_TRUE(got[i] == want[i]) << "frame " << i << " differs";
        screen->flags &= ~SDL_HWSURFACE;
        SDL_FreeSurface(screen);
    }
}

// A stall: the clock jumps 3 s between two frames, as when the process was
// stopped. The first frame after it is drawn at the later time with the
// missed ticks caught up, and an Esc release still ends the demo without
// another frame, whether it comes with that frame or with a later one.
TEST(Stall, EscStillEndsItAfterAJump)
{
    Quick q;
    for (size_t esc_after : {3u, 4u}) {
        SCOPED_TRACE(esc_after);
        size_t n = 0;
        Result r = play(100, 100, {100, 3100, 3140, 3180, 3220}, [&](const Frame &) {
            if (++n == esc_after)
                scripted::events.push_back(scripted::key(SDL_KEYUP, SDLK_ESCAPE));
        });
        EXPECT_EQ(r.status, 0);
        ASSERT_EQ(r.frames.size(), esc_after);
        const Frame &f = at(r, 3100);
        EXPECT_EQ(f.phase, 4650);
        EXPECT_EQ(f.ticks, (3100 - 120) / 40 + 1);
        if (esc_after == 4) {
            EXPECT_EQ(at(r, 3140).phase, 4710);
            EXPECT_EQ(at(r, 3140).ticks, 1);
        }
    }
}

// A stall that ends on the last frame before the end still runs every tick
// due, in that one frame, and the frame after it ends the demo.
TEST(Stall, UpToTheLastFrameRunsEveryTickDue)
{
    Quick q;
    Result r = play(100, 100, {100, 74999, 75000, 76000});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.frames.size(), 4u);
    EXPECT_EQ(at(r, 74999).ticks, (74999 - 120) / 40 + 1);
    EXPECT_EQ(at(r, 75000).ticks, 0);
    EXPECT_EQ(r.frames.back().t, 75000);
}

// Pictures of the kinds SDL_image reads, odd sizes and a damaged file that
// still decodes: each shows where it should with its black keyed out, what
// is known of its colours holds on the screen, and a run to the end seeds
// only cells of the fire field and ends by itself.
TEST(OddImage, ShowsAndRunsToTheEnd)
{
    std::vector<Uint8> bg(640 * 480 * 4);
    for (const ImageCase &c : loadable_images()) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string file = dir / "galleri.jpg";
        c.make(file);
        if (HasFatalFailure())
            return;

        Sint32 step = c.edges ? 211 : 1999;
        std::vector<Sint32> times = every(step, 74999, step);
        times.insert(times.end(), {25960, 26000});
        std::sort(times.begin(), times.end());
        times.erase(std::unique(times.begin(), times.end()), times.end());
        times.insert(times.end(), {75000, 76000});
        auto holds = c.shown;
        long shown = 0;
        draw = false;
        Result r = play_in(dir.path, times, [&](const Frame &f) {
            if (f.t == 25960)
                draw = true;  // for the next frame, so the screen can be checked whole
            if (f.t != 26000)
                return;
            draw = false;
            ASSERT_TRUE(f.blitted);
            EXPECT_EQ(f.alpha, 255);
            SDL_Surface *loaded = IMG_Load(file.c_str());
            ASSERT_NE(loaded, nullptr);
            SDL_Surface *im = SDL_ConvertSurface(loaded, s->format, 0);
            SDL_FreeSurface(loaded);
            ASSERT_NE(im, nullptr);
            Uint8 *saved = (Uint8 *)s->pixels;
            s->pixels = bg.data();
            __real_bkge(f.phase);
            s->pixels = saved;
            const SDL_Rect &o = f.dst_out;
            for (int y = 0; y < 480; y++) {
                for (int x = 0; x < 640; x++) {
                    const Uint8 *p = pixel(s, x, y);
                    const Uint8 *e = &bg[4 * (y * 640 + x)];
                    int ix = x - f.dst_in.x, iy = y - f.dst_in.y;
                    bool inside = x >= o.x && x < o.x + o.w && y >= o.y && y < o.y + o.h;
                    if (inside && (*(const Uint32 *)pixel(im, ix, iy) & 0xFFFFFF) != 0) {
                        e = pixel(im, ix, iy);
                        shown++;
                        if (holds && !holds(ix, iy, p[2], p[1], p[0])) {
                            ADD_FAILURE() << "image pixel " << ix << "," << iy << " shows as "
                                          << (int)p[2] << "," << (int)p[1] << "," << (int)p[0];
                            holds = nullptr;
                        }
                    }
                    if (memcmp(p, e, 3) != 0) {
                        ADD_FAILURE() << "pixel " << x << "," << y << " is " << (int)p[0] << ","
                                      << (int)p[1] << "," << (int)p[2] << " not " << (int)e[0]
                                      << "," << (int)e[1] << "," << (int)e[2];
                        y = 480;
                        break;
                    }
                }
            }
            SDL_FreeSurface(im);
        });
        draw = true;
        EXPECT_GT(shown, 0);

        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.frames.back().t, 75000) << "the demo did not end by itself";
        long seeded = 0, outside = 0, unblitted = 0;
        for (const Frame &f : r.frames) {
            if (f.t >= 10000 && !f.blitted && unblitted++ == 0)
                ADD_FAILURE() << "no image at " << f.t;
            for (const Seed &sd : f.seeds) {
                if (sd.w <= 0 || sd.h <= 0)
                    continue;  // writes nothing, wherever it is
                seeded += (long)sd.w * sd.h;
                bool inside = sd.x0 >= 0 && sd.x0 + sd.w <= 640 && sd.y0 >= 0 && sd.y0 + sd.h <= 486;
                if (!inside && outside++ == 0)
                    ADD_FAILURE() << "seeds outside the field at " << f.t << ": " << sd.w << "x"
                                  << sd.h << " at " << sd.x0 << "," << sd.y0;
            }
        }
        EXPECT_EQ(unblitted, 0);
        EXPECT_EQ(outside, 0);
        EXPECT_GT(seeded, 0);
    }
}
