// The effects against the plain reference, on whole frames and fields
// biased toward the values the code treats specially, with guards after the
// screen and around the field to catch a write one element too far.
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include "reference.h"
#include "vaskiloimu.h"

namespace {

const int W = 640, N = W * 480, FH = 486, CELLS = W * FH, GUARD = 4 * W, MARK = 0x5A5A5A5A;

struct Effects : ::testing::Test {
    std::vector<Uint32> screen = std::vector<Uint32>(N + GUARD, MARK);
    std::vector<Sint32> field = std::vector<Sint32>(GUARD + CELLS + GUARD, MARK);
    std::mt19937 rng{2024};

    void SetUp() override
    {
        s = SDL_CreateRGBSurfaceFrom(screen.data(), W, 480, 32, 4 * W, 0xFF0000, 0xFF00, 0xFF, 0);
        firekg = field.data() + GUARD, firew = W, fireh = FH;
    }
    void TearDown() override
    {
        SDL_FreeSurface(s);
        for (int i = 0; i < GUARD; i++)
            ASSERT_TRUE(screen[N + i] == MARK && field[i] == MARK && field[GUARD + CELLS + i] == MARK)
                << "written past the screen or the field";
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

// The reference against values worked out by hand.
TEST(Reference, KnownPixels)
{
    EXPECT_EQ(pattern_pixel(0, 0, 479), 91u | 45 << 8 | 22 << 16);
    EXPECT_EQ(pattern_pixel(INT32_MIN, 0, 479), 91u | 45 << 8 | 22 << 16);
    EXPECT_EQ(pattern_pixel(12345, 0, 0), 0u);
    EXPECT_EQ(pattern_pixel(0, 2, 0), 1u);
    EXPECT_EQ(pattern_pixel(3560000, 639, 479), 111u | 55 << 8 | 27 << 16);
    EXPECT_EQ(pattern_pixel(60000, 100, 200), 83u | 41 << 8 | 20 << 16);
    // cell, blue before -> blue, green, red after (from 8, 7)
    const Sint32 overlay[][5] = {{601, 50, 50, 118, 240}, {550, 9, 9, 38, 124}, {-100, 100, 80, 85, 70},
                                 {-7, 100, 80, 85, 70},   {-6, 100, 100, 8, 7}, {500, 9, 9, 8, 7}};
    for (auto &c : overlay) {
        Uint8 p[3] = {(Uint8)c[1], 8, 7};
        overlay_pixel(c[0], p);
        EXPECT_TRUE(p[0] == c[2] && p[1] == c[3] && p[2] == c[4]) << "cell " << c[0];
    }
}

TEST_F(Effects, PatternWholeFramesKeepTheFourthByte)
{
    for (Sint32 phase : {0, 1, 59998, 60000, 3560000, -3940000, INT32_MAX, INT32_MIN}) {
        std::generate(screen.begin(), screen.begin() + N, rng);
        std::vector<Uint32> before(screen);
        bkge(phase);
        for (int i = 0; i < N; i++)
            // The pixels are the bytes B, G, R, x: words read little-endian.
            ASSERT_EQ(SDL_SwapLE32(screen[i]),
                      (SDL_SwapLE32(before[i]) & 0xFF000000) | pattern_pixel(phase, i % W, i / W))
                << "phase " << phase << " pixel " << i;
    }
}

TEST_F(Effects, SeedsOneRandPerCellRowByRowInsideTheRectangle)
{
    const Sint32 rects[][4] = {{5, 37, 3, 4}, {0, 640, 480, 6}, {639, 1, 485, 1}, {10, 0, 20, 5}, {10, -3, 20, 5},
                               {10, 5, 20, 0}};
    for (auto &r : rects) {
        std::vector<Sint32> want = cells();
        srand(77);
        for (int y = r[2]; y < r[2] + r[3]; y++)
            for (int x = r[0]; x < r[0] + r[1]; x++)
                want[y * W + x] = (rand() & 131071) - 57344;
        int next = rand();
        srand(77);
        firegf(r[0], r[1], r[2], r[3]);
        EXPECT_EQ(rand(), next) << "not one rand() per cell: " << r[0] << ' ' << r[1] << ' ' << r[2] << ' ' << r[3];
        EXPECT_TRUE(cells() == want) << r[0] << ' ' << r[1] << ' ' << r[2] << ' ' << r[3];
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
            for (int i = 0; i < CELLS; i++)
                ASSERT_EQ(firekg[i], want[i]) << "round " << round << " step " << step << " cell " << i;
        }
    }
}

TEST_F(Effects, OverlayMatchesTheReferenceOnRandomScreensAndFields)
{
    for (int round = 0; round < 3; round++) {
        for (int i = 0; i < N; i++)
            screen[i] = rng() % 3 ? rng() : rng() % 2 ? 0xFFFFFFFF : 0;
        for (int i = 0; i < CELLS; i++)
            firekg[i] = biased();
        // The first and the last pixel, each tinted one way and then the other.
        firekg[0] = round % 2 ? 601 : -100;
        firekg[N - 1] = round % 2 ? -100 : 601;
        std::vector<Uint32> want(screen.begin(), screen.begin() + N);
        for (int i = 0; i < N; i++)
            overlay_pixel(firekg[i], (Uint8 *)&want[i]);
        firegk();
        for (int i = 0; i < N; i++)
            ASSERT_EQ(screen[i], want[i]) << "pixel " << i << " over cell " << firekg[i];
    }
}

}
