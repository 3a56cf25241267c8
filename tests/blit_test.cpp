// The page's blit of the picture (harness/blit.h) against classic SDL 1.2's
// SDL_UpperBlit, which it must equal to the bit: whole words of the
// destination, its fourth byte and the padding of its rows included, the
// rectangle written back and the result. Random bytes, half of them 0x00 or
// 0xFF, where the blend's sums are at their ends.
#include <gtest/gtest.h>
#include <string.h>
#include <random>
#include <string>
#include "blit.h"
#include "util.h"

namespace {

struct Blit : ::testing::Test {
    std::mt19937 rng{1205};
    // A picture of 20x10 in rows of 21 words onto 30x20 in rows of 33,
    // clipped to 20x12 at (4, 3).
    std::vector<Uint32> picture = words(21 * 10), screen = words(33 * 20);
    SDL_Surface *src = SDL_CreateRGBSurfaceFrom(picture.data(), 20, 10, 32, 21 * 4, 0xFF0000, 0xFF00, 0xFF, 0);
    SDL_Surface *dst = SDL_CreateRGBSurfaceFrom(screen.data(), 30, 20, 32, 33 * 4, 0xFF0000, 0xFF00, 0xFF, 0);

    void SetUp() override
    {
        if (SDL_Linked_Version()->patch >= 50)
            GTEST_SKIP() << "sdl12-compat blends as d + (s - d)*a/255, not as classic SDL 1.2";
        SDL_Rect clip = {4, 3, 20, 12};
        SDL_SetClipRect(dst, &clip);
    }
    void TearDown() override { SDL_FreeSurface(src), SDL_FreeSurface(dst); }
    Uint32 biased()
    {
        Uint32 word = 0;
        for (int i = 0; i < 4; i++)
            word = word << 8 | (rng() % 4 == 0 ? 0x00 : rng() % 3 == 0 ? 0xFF : rng() % 256);
        return word;
    }
    std::vector<Uint32> words(size_t n)
    {
        std::vector<Uint32> w(n);
        for (Uint32 &word : w)
            word = biased();
        return w;
    }
    void key(Uint32 key, int alpha)  // alpha -1: no SDL_SRCALPHA
    {
        SDL_SetColorKey(src, SDL_SRCCOLORKEY, key);
        SDL_SetAlpha(src, alpha < 0 ? 0 : SDL_SRCALPHA, (Uint8)alpha);
        ASSERT_TRUE(keyed_blit_covers(src, dst));
    }
    // SDL's blit and ours from the same screen; ours is left there.
    void same(const SDL_Rect *from, const SDL_Rect *at, const std::string &what)
    {
        const std::vector<Uint32> start = screen;
        SDL_Rect from_sdl = from ? *from : SDL_Rect(), at_sdl = at ? *at : SDL_Rect();
        SDL_Rect from_ours = from_sdl, at_ours = at_sdl;
        int sdl = SDL_UpperBlit(src, from ? &from_sdl : nullptr, dst, at ? &at_sdl : nullptr);
        const std::vector<Uint32> by_sdl = screen;
        screen = start;
        EXPECT_EQ(keyed_blit(src, from ? &from_ours : nullptr, dst, at ? &at_ours : nullptr), sdl) << what;
        EXPECT_TRUE(!memcmp(&at_sdl, &at_ours, sizeof at_sdl)) << what << ": written back " << at_ours.x << ","
            << at_ours.y << " " << at_ours.w << "x" << at_ours.h << ", SDL " << at_sdl.x << "," << at_sdl.y;
        for (size_t i = 0; i < screen.size(); i++)
            ASSERT_EQ(screen[i], by_sdl[i]) << what << ": word " << i % 33 << "," << i / 33 << " from " << start[i];
    }
};

// Every alpha, keys with and without a fourth byte, and pixels equal to the
// key but in one bit of one byte.
TEST_F(Blit, EveryAlphaAsSdl)
{
    for (int alpha = -1; alpha < 256; alpha++) {
        const Uint32 k = alpha % 2 ? 0 : biased();
        for (Uint32 bit : {0u, 0x1000000u, 0x80000000u, 0x10000u, 0x100u, 1u, 0u})
            picture[rng() % 210] = k ^ bit;
        key(k, alpha);
        SDL_Rect at = {4, 3, 0, 0};
        same(nullptr, &at, "alpha " + std::to_string(alpha));
    }
}

// Clipped by a pixel and by more at each side of the clip rectangle, wholly,
// from rectangles that reach outside the picture or have no height, with
// either rectangle null, and across the 16 bits of a coordinate. The size
// dstrect comes with is never read, only written.
TEST_F(Blit, ClipsAndWritesBackAsSdl)
{
    struct { SDL_Rect from, at; } c[] = {
        {{2, 1, 10, 5}, {6, 5, 99, 99}},    {{2, 1, 10, 5}, {3, 5, 0, 0}},     {{2, 1, 10, 5}, {1, 5, 0, 0}},
        {{2, 1, 10, 5}, {15, 5, 0, 0}},     {{2, 1, 10, 5}, {20, 5, 0, 0}},    {{2, 1, 10, 5}, {6, 2, 0, 0}},
        {{2, 1, 10, 5}, {6, 0, 0, 0}},      {{2, 1, 10, 5}, {6, 11, 0, 0}},    {{2, 1, 10, 5}, {6, 12, 0, 0}},
        {{2, 1, 10, 5}, {-30, 5, 99, 99}},  {{2, 1, 10, 5}, {6, -40, 99, 99}}, {{2, 1, 10, 5}, {24, 5, 99, 99}},
        {{2, 1, 10, 5}, {6, 15, 99, 99}},   {{-3, -2, 40, 30}, {5, 4, 0, 0}},  {{-3, -2, 8, 6}, {8, 7, 0, 0}},
        {{0, 0, 10, 0}, {6, 5, 99, 99}},    {{19, 8, 2, 3}, {6, 5, 0, 0}},     {{20, 0, 5, 5}, {6, 5, 99, 99}},
        {{-5, 0, 20, 10}, {32765, 5, 0, 0}},
    };
    key(0x5A5A5A5A, 200);
    for (auto &r : c)
        same(&r.from, &r.at, "from " + std::to_string(r.from.x) + "," + std::to_string(r.from.y) + " at " +
                                 std::to_string(r.at.x) + "," + std::to_string(r.at.y));
    SDL_Rect at = {-1, 4, 0, 0};
    same(nullptr, &at, "the whole picture");
    same(nullptr, nullptr, "at the corner");
    // Worked by hand: three columns clipped off at the left.
    SDL_Rect from = {2, 1, 10, 5}, part;
    at = {1, 5, 0, 0};
    EXPECT_TRUE(keyed_blit_clip(src, &from, dst, &at, &part));
    EXPECT_TRUE(at.x == 4 && at.y == 5 && at.w == 7 && at.h == 5 && part.x == 5 && part.y == 1);
}

}
