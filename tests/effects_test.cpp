// The effects against the plain reference, on whole frames and fields
// biased toward the values the code treats specially, with guards after the
// screen and around the field to catch a write one element too far.
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include "reference.h"
#include "vaskiloimu.h"

namespace {

const int W = 640, H = 480, N = W * H, FH = 486, CELLS = W * FH, GUARD = 4 * W;
const Uint32 GUARD_WORD = 0x5A5A5A5A;

struct Effects : ::testing::Test {
    std::vector<Uint32> screen = std::vector<Uint32>(N + GUARD, GUARD_WORD);
    std::vector<Sint32> field = std::vector<Sint32>(GUARD + CELLS + GUARD, (Sint32)GUARD_WORD);
    std::mt19937 rng{2024};

    void SetUp() override
    {
        s = SDL_CreateRGBSurfaceFrom(screen.data(), W, H, 32, 4 * W, 0xFF0000, 0xFF00, 0xFF, 0);
        firekg = field.data() + GUARD, firew = W, fireh = FH;
    }
    void TearDown() override
    {
        SDL_FreeSurface(s);
        for (int i = 0; i < GUARD; i++) {
            ASSERT_EQ(screen[N + i], GUARD_WORD) << "written after the screen";
            ASSERT_EQ(field[i], (Sint32)GUARD_WORD) << "written before the field";
            ASSERT_EQ(field[GUARD + CELLS + i], (Sint32)GUARD_WORD) << "written after the field";
        }
    }
    std::vector<Sint32> cells() { return std::vector<Sint32>(firekg, firekg + CELLS); }
    // Random values, half of them where the effects change behaviour.
    Sint32 biased()
    {
        static const Sint32 special[] = {0, 1, -1, 31, -31, 32, -32, 33, -7, -6, -5, 500, 501, 600, 601,
                                         -57344, 73727, INT32_MAX, INT32_MIN};
        return rng() % 2 ? special[rng() % 19] : (Sint32)(rng() % 131072) - 57344;
    }
};

TEST_F(Effects, PatternKnownPixels)
{
    struct { Sint32 phase; int x, y; Uint32 bgr; } cases[] = {
        {0, 0, 479, 91 | 45 << 8 | 22 << 16},  {INT32_MIN, 0, 479, 91 | 45 << 8 | 22 << 16},
        {12345, 0, 0, 0},                      {0, 1, 0, 0},
        {0, 2, 0, 1},                          {3560000, 639, 479, 111 | 55 << 8 | 27 << 16},
        {60000, 100, 200, 83 | 41 << 8 | 20 << 16}, {0, 639, 0, 72 | 36 << 8 | 18 << 16},
    };
    for (auto &c : cases) {
        EXPECT_EQ(pattern_pixel(c.phase, c.x, c.y), c.bgr) << "reference, phase " << c.phase;
        bkge(c.phase);
        EXPECT_EQ(screen[c.y * W + c.x] & 0xFFFFFF, c.bgr) << "phase " << c.phase << " x " << c.x << " y " << c.y;
    }
}

TEST_F(Effects, PatternWholeFramesKeepTheFourthByte)
{
    for (Sint32 phase : {0, 1, 59998, 60000, 3560000, -3940000, INT32_MAX, INT32_MIN}) {
        for (int i = 0; i < N; i++)
            screen[i] = rng();
        std::vector<Uint32> before(screen);
        bkge(phase);
        for (int i = 0; i < N; i++)
            ASSERT_EQ(screen[i], (before[i] & 0xFF000000) | pattern_pixel(phase, i % W, i / W))
                << "phase " << phase << " pixel " << i;
    }
}

TEST_F(Effects, SeedsOneRandPerCellRowByRowInsideTheRectangle)
{
    struct { Sint32 x0, w, y0, h; } rects[] = {{5, 37, 3, 4}, {0, 640, 480, 6}, {639, 1, 485, 1},
                                               {10, 0, 20, 5}, {10, -3, 20, 5}, {10, 5, 20, 0}};
    for (auto &r : rects) {
        for (Sint32 &v : field)
            v = (Sint32)GUARD_WORD;
        std::vector<Sint32> want = cells();
        srand(77);
        for (int y = r.y0; y < r.y0 + r.h; y++)
            for (int x = r.x0; x < r.x0 + r.w; x++)
                want[y * W + x] = (rand() & 131071) - 57344;
        int next = rand();
        srand(77);
        firegf(r.x0, r.w, r.y0, r.h);
        EXPECT_EQ(rand(), next) << "not one rand() per cell: " << r.x0 << ' ' << r.w << ' ' << r.y0 << ' ' << r.h;
        EXPECT_TRUE(cells() == want) << r.x0 << ' ' << r.w << ' ' << r.y0 << ' ' << r.h;
    }
}

TEST_F(Effects, StepMatchesTheReferenceOverSeveralSteps)
{
    for (int round = 0; round < 3; round++) {
        for (int i = 0; i < CELLS; i++)
            firekg[i] = round == 0   ? std::clamp(biased(), -(1 << 26), 1 << 26)  // sums within 32 bits
                        : round == 1 ? (Sint32)(rng() % 131072) - 57344
                                     : (Sint32)(rng() % 64) - 32;
        std::vector<Sint32> want = cells();
        for (int step = 1; step <= 3; step++) {
            want = step_field(want, W, FH);
            firekl();
            std::vector<Sint32> got = cells();
            auto bad = std::mismatch(want.begin(), want.end(), got.begin());
            ASSERT_TRUE(bad.first == want.end()) << "round " << round << " step " << step << " cell "
                                                 << bad.first - want.begin() << ": " << *bad.second
                                                 << " instead of " << *bad.first;
        }
    }
}

TEST_F(Effects, OverlayKnownPixels)
{
    // cell, blue before -> blue, green, red after (green and red were 8, 7)
    struct { Sint32 v; Uint8 b0, b, g, r; } cases[] = {
        {601, 50, 50, 118, 240}, {550, 9, 9, 38, 124}, {-100, 100, 80, 85, 70},
        {-6, 100, 100, 8, 7},    {500, 9, 9, 8, 7},    {-7, 100, 80, 85, 70},
    };
    for (auto &c : cases) {
        Uint8 ref[3] = {c.b0, 8, 7};
        overlay_pixel(c.v, ref);
        EXPECT_TRUE(ref[0] == c.b && ref[1] == c.g && ref[2] == c.r) << "reference, cell " << c.v;
        firekg[N - 1] = c.v;
        screen[N - 1] = 0xAB000000u | 7 << 16 | 8 << 8 | c.b0;
        firegk();
        EXPECT_EQ(screen[N - 1], 0xAB000000u | (Uint32)c.r << 16 | (Uint32)c.g << 8 | c.b) << "cell " << c.v;
    }
}

TEST_F(Effects, OverlayMatchesTheReferenceOnRandomScreensAndFields)
{
    for (int round = 0; round < 3; round++) {
        for (int i = 0; i < N; i++)
            screen[i] = rng() % 3 ? rng() : rng() % 2 ? 0xFFFFFFFF : 0;
        for (int i = 0; i < CELLS; i++)
            firekg[i] = biased();
        std::vector<Uint32> want(screen.begin(), screen.begin() + N);
        for (int i = 0; i < N; i++)
            overlay_pixel(firekg[i], (Uint8 *)&want[i]);
        firegk();
        for (int i = 0; i < N; i++)
            ASSERT_EQ(screen[i], want[i]) << "pixel " << i << " over cell " << firekg[i];
    }
}

}
