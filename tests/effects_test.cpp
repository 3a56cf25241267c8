// The effects against plain reference computations written out here on
// their own, so a faster rewrite of an effect is held to the same results.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <random>
#include <vector>
#include "util.h"
#include "vaskiloimu.h"

namespace {

const int W = 640, H = 480, NPIX = W * H;
const int FW = 640, FH = 486, NCELL = FW * FH;
const int LAST_STEPPED = (FH - 5) * FW;  // 307840
const int GUARD = 4096;                  // cells either side, to catch overruns

// The screen is set up once per process; SDL_Quit at exit, as the demo does.
class Effects : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (s)
            return;
        if (SDL_Init(SDL_INIT_VIDEO) != 0)
            return;
        s = SDL_SetVideoMode(640, 480, 32, SDL_FULLSCREEN);
        atexit(SDL_Quit);
    }

    void SetUp() override
    {
        ASSERT_NE(s, nullptr) << SDL_GetError();
        // The effects address pixels as one gapless run of B,G,R,x bytes.
        ASSERT_EQ(s->w, W);
        ASSERT_EQ(s->h, H);
        ASSERT_EQ(s->format->BytesPerPixel, 4);
        ASSERT_EQ(s->pitch, 4 * W);
        buf.assign(GUARD + NCELL + GUARD, 0);
        for (int i = 0; i < GUARD; i++) {
            buf[i] = guard_value(i);
            buf[GUARD + NCELL + i] = guard_value(GUARD + NCELL + i);
        }
        firekg = buf.data() + GUARD;
        firew = FW;
        fireh = FH;
    }

    void TearDown() override
    {
        for (int i = 0; i < GUARD; i++) {
            int j = GUARD + NCELL + i;
            ASSERT_EQ(buf[i], guard_value(i)) << "written " << GUARD - i << " cells before the field";
            ASSERT_EQ(buf[j], guard_value(j)) << "written " << i << " cells after the field";
        }
        firekg = nullptr;
    }

    static Sint32 guard_value(int i) { return (Sint32)(0x5A5A0000u ^ (Uint32)i); }

    Uint8 *px() { return (Uint8 *)s->pixels; }
    std::vector<Uint8> screen() { return std::vector<Uint8>(px(), px() + 4 * NPIX); }
    void set_screen(const std::vector<Uint8> &b) { std::copy(b.begin(), b.end(), px()); }
    std::vector<Sint32> field() { return std::vector<Sint32>(firekg, firekg + NCELL); }
    void set_field(const std::vector<Sint32> &f) { std::copy(f.begin(), f.end(), firekg); }

    std::vector<Sint32> buf;
};

::testing::AssertionResult same_screen(const std::vector<Uint8> &want, const std::vector<Uint8> &got)
{
    long bad = 0, first = -1;
    for (long i = 0; i < 4L * NPIX; i++)
        if (want[i] != got[i] && bad++ == 0)
            first = i;
    if (!bad)
        return ::testing::AssertionSuccess();
    static const char *const byte_name[] = {"B", "G", "R", "4th"};
    long p = first / 4;
    return ::testing::AssertionFailure()
           << bad << " bytes differ; first: pixel " << p << " (x " << p % W << ", y " << p / W << ") "
           << byte_name[first % 4] << " expected " << (int)want[first] << ", got " << (int)got[first];
}

::testing::AssertionResult same_field(const std::vector<Sint32> &want, const std::vector<Sint32> &got)
{
    long bad = 0, first = -1;
    for (long i = 0; i < NCELL; i++)
        if (want[i] != got[i] && bad++ == 0)
            first = i;
    if (!bad)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << bad << " cells differ; first: cell " << first << " (x " << first % FW << ", y " << first / FW
           << ") expected " << want[first] << ", got " << got[first];
}

// Values where the effects change behaviour, mixed with arbitrary seeds.
Sint32 biased_value(std::mt19937 &g)
{
    static const Sint32 special[] = {0,  1,   -1,  31,  -31, 32,  -32,    33,   -33,
                                     -7, -6,  -5,  500, 501, 600, 601, -57344, 73727};
    const int n = sizeof special / sizeof special[0];
    if (g() % 2)
        return special[g() % n];
    return (Sint32)(g() % 131072) - 57344;
}

std::vector<Sint32> biased_field(unsigned seed)
{
    std::mt19937 g(seed);
    std::vector<Sint32> f(NCELL);
    for (Sint32 &v : f)
        v = biased_value(g);
    return f;
}

// ---- background -----------------------------------------------------------

Uint8 ref_shade(Sint32 phase, int x, int y)
{
    int64_t v = (int64_t)x * ((int64_t)phase + 52000 * (int64_t)x) + 25000 * (int64_t)y;
    return (Uint8)(((uint64_t)v >> 16) & 0xFF);  // bits 16..23 of the two's complement
}

class Background : public Effects {};

TEST_F(Background, KnownPixels)
{
    struct Case { Sint32 phase; int x, y; Uint8 b, g, r; };
    const Case cases[] = {
        {0, 0, 479, 91, 45, 22},        {60000, 0, 479, 91, 45, 22}, {INT32_MIN, 0, 479, 91, 45, 22},
        {0, 1, 0, 0, 0, 0},             {0, 2, 0, 1, 0, 0},          {0, 639, 0, 72, 36, 18},
        {3560000, 639, 479, 111, 55, 27}, {60000, 100, 200, 83, 41, 20},
    };
    for (const Case &c : cases) {
        memset(px(), 0xFF, 4 * NPIX);
        bkge(c.phase);
        const Uint8 *p = pixel(s, c.x, c.y);
        EXPECT_EQ(p[0], c.b) << "phase " << c.phase << " (" << c.x << ", " << c.y << ")";
        EXPECT_EQ(p[1], c.g) << "phase " << c.phase << " (" << c.x << ", " << c.y << ")";
        EXPECT_EQ(p[2], c.r) << "phase " << c.phase << " (" << c.x << ", " << c.y << ")";
    }
    for (Sint32 phase : {0, 1, -1, 2147483647, INT32_MIN}) {
        bkge(phase);
        const Uint8 *p = pixel(s, 0, 0);
        EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0) << "pixel (0, 0) not black at phase " << phase;
    }
}

TEST_F(Background, WholeFramesMatchExactArithmeticAndSpareTheFourthByte)
{
    const Sint32 phases[] = {0,          1,          7,           59998,    60000,     3560000,
                             2147480000, 2147483647, -1,          -3940000, INT32_MIN, 123456789};
    for (Sint32 phase : phases) {
        SCOPED_TRACE(::testing::Message() << "phase " << phase);
        // 0xFF is beyond every shade, so a pixel left unpainted shows up.
        std::vector<Uint8> before(4 * NPIX, 0xFF), want(4 * NPIX);
        for (int i = 0; i < NPIX; i++)
            before[4 * i + 3] = (Uint8)(0xA5 ^ i ^ (i >> 8));
        set_screen(before);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                int i = y * W + x;
                Uint8 c = ref_shade(phase, x, y);
                want[4 * i + 0] = c / 2;
                want[4 * i + 1] = c / 4;
                want[4 * i + 2] = c / 8;
                want[4 * i + 3] = before[4 * i + 3];
            }
        bkge(phase);
        EXPECT_TRUE(same_screen(want, screen()));
    }
}

// ---- fire: seeding --------------------------------------------------------

class FireSeed : public Effects {
protected:
    static Sint32 marker(int i) { return (Sint32)(0x40000000 + i); }  // outside the seed range
    void fill_markers()
    {
        for (int i = 0; i < NCELL; i++)
            firekg[i] = marker(i);
    }
};

TEST_F(FireSeed, OneDrawPerCellRowByRowInsideTheRectangleOnly)
{
    struct Rect { Sint32 x0, w, y0, h; unsigned seed; };
    const Rect rects[] = {
        {5, 37, 3, 4, 12345u}, {0, 640, 480, 6, 1u},   {600, 40, 0, 1, 777u},
        {0, 1, 485, 1, 42u},   {639, 1, 485, 1, 99u},  {0, 640, 0, 486, 2024u},
    };
    for (const Rect &r : rects) {
        SCOPED_TRACE(::testing::Message() << "x0 " << r.x0 << " w " << r.w << " y0 " << r.y0 << " h " << r.h);
        std::vector<Sint32> want(NCELL);
        for (int i = 0; i < NCELL; i++)
            want[i] = marker(i);
        srand(r.seed);
        for (int y = r.y0; y < r.y0 + r.h; y++)
            for (int x = r.x0; x < r.x0 + r.w; x++)
                want[y * FW + x] = (rand() & 131071) - 57344;
        int next = rand();

        fill_markers();
        srand(r.seed);
        firegf(r.x0, r.w, r.y0, r.h);
        EXPECT_EQ(rand(), next) << "not exactly one rand() per cell";
        EXPECT_TRUE(same_field(want, field()));
    }
}

TEST_F(FireSeed, EmptyRectangleWritesAndDrawsNothing)
{
    const Sint32 sizes[][2] = {{0, 5}, {-3, 5}, {5, 0}, {5, -2}, {0, 0}, {-1, -1}, {INT32_MIN, 3}};
    for (const auto &wh : sizes) {
        SCOPED_TRACE(::testing::Message() << "w " << wh[0] << " h " << wh[1]);
        srand(31337);
        int first = rand();
        fill_markers();
        std::vector<Sint32> before = field();
        srand(31337);
        firegf(10, wh[0], 20, wh[1]);
        EXPECT_EQ(rand(), first);
        EXPECT_TRUE(same_field(before, field()));
    }
}

// ---- fire: propagation ----------------------------------------------------

Sint32 floor_div32(int64_t n)
{
    int64_t q = n / 32;
    if (n % 32 != 0 && n < 0)
        q -= 1;
    return (Sint32)q;
}

std::vector<Sint32> ref_step(const std::vector<Sint32> &old)
{
    std::vector<Sint32> out = old;
    for (int k = 1; k <= LAST_STEPPED; k++) {
        int64_t sum = 10 * ((int64_t)old[k + 1] + old[k + 2 * FW - 1]) + 8 * (int64_t)old[k + FW] +
                      3 * (int64_t)old[k + 3 * FW];
        out[k] = floor_div32(sum);
    }
    return out;
}

class FireStep : public Effects {};

TEST_F(FireStep, RandomFieldsOverSeveralSteps)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        std::vector<Sint32> want = biased_field(seed);
        set_field(want);
        for (int step = 1; step <= 4; step++) {
            SCOPED_TRACE(::testing::Message() << "seed " << seed << " step " << step);
            want = ref_step(want);
            firekl();
            ASSERT_TRUE(same_field(want, field()));
        }
    }
}

TEST_F(FireStep, UniformFields)
{
    // Hand-computed: 31 * value / 32, rounded down.
    const Sint32 cases[][2] = {{0, 0},     {-7, -7},  {-6, -6},  {1, 0},           {32, 31},
                               {-1, -1},   {31, 30},  {-32, -31}, {73727, 71423},  {-57344, -55552}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "uniform " << c[0]);
        std::vector<Sint32> want(NCELL, c[0]);
        for (int k = 1; k <= LAST_STEPPED; k++)
            want[k] = c[1];
        set_field(std::vector<Sint32>(NCELL, c[0]));
        firekl();
        EXPECT_TRUE(same_field(want, field()));
    }
}

TEST_F(FireStep, SingleCellReachesTheFourCellsThatReadIt)
{
    // A cell at the start of row 100: its left reader wraps to the end of row 99.
    const int p = 100 * FW;
    const int right_of = p - 1, below_left_of = p - 2 * FW + 1, below_of = p - FW, three_below_of = p - 3 * FW;
    struct Case { Sint32 v, r10, b8, t3; };
    const Case cases[] = {
        {3200, 1000, 800, 300},
        {3201, 1000, 800, 300},       // 32010/32, 25608/32, 9603/32 rounded down
        {-3201, -1001, -801, -301},   // rounded down, not toward zero
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "value " << c.v);
        std::vector<Sint32> want(NCELL, 0);
        // The cell itself reads only zeros, so it cools to 0.
        want[right_of] = c.r10;
        want[below_left_of] = c.r10;
        want[below_of] = c.b8;
        want[three_below_of] = c.t3;
        std::vector<Sint32> f(NCELL, 0);
        f[p] = c.v;
        set_field(f);
        firekl();
        EXPECT_TRUE(same_field(want, field()));
    }
}

TEST_F(FireStep, RoundsDownNotTowardZero)
{
    // right, below-left, below, three below -> new value (weights 10, 10, 8, 3)
    struct Case { Sint32 a, b, c, d, want; };
    const Case cases[] = {
        {0, 0, 1, -3, -1},  // sum -1: truncation would give 0
        {0, 0, 4, -1, 0},   // 29
        {1, 1, -1, -1, 0},  // 9
        {0, 0, -4, 0, -1},  // -32
        {0, 0, -4, -1, -2}, // -35
        {2, 1, 0, 0, 0},    // 30
        {2, 1, 0, 1, 1},    // 33
        {0, 0, 0, -1, -1},  // -3
    };
    for (int k : {200 * FW + 300, LAST_STEPPED}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(::testing::Message() << "cell " << k << " inputs " << c.a << ' ' << c.b << ' '
                                              << c.c << ' ' << c.d);
            std::vector<Sint32> f(NCELL, 0);
            f[k + 1] = c.a;
            f[k + 2 * FW - 1] = c.b;
            f[k + FW] = c.c;
            f[k + 3 * FW] = c.d;
            set_field(f);
            firekl();
            EXPECT_EQ(firekg[k], c.want);
            if (k == LAST_STEPPED) {
                EXPECT_EQ(firekg[k + 1], c.a) << "the cell after the last stepped one changed";
            }
        }
    }
}

// ---- fire: overlay --------------------------------------------------------

void ref_paint(Sint32 v, Uint8 *p)
{
    if (v > 600) {
        p[1] = (Uint8)((((int64_t)v / 32) + 100) % 256);
        p[2] = 240;
    } else if (v >= 501) {
        p[1] = (Uint8)(v % 256);
        p[2] = (Uint8)((v * 10) % 256);
    } else if (v < -6) {
        int a = (p[0] + 60) / 2;
        p[0] = (Uint8)a;
        p[1] = (Uint8)((a + 90) / 2);
        p[2] = (Uint8)((a + 60) / 2);
    }
}

class FirePaint : public Effects {};

TEST_F(FirePaint, ThresholdsAndWrapHandComputed)
{
    struct Case { Sint32 v; Uint8 in_b, in_g, in_r, b, g, r; };
    const Case cases[] = {
        {-7, 100, 11, 22, 80, 85, 70},     {-6, 100, 11, 22, 100, 11, 22},
        {-100, 100, 11, 22, 80, 85, 70},   {-57344, 255, 1, 2, 157, 123, 108},
        {INT32_MIN, 0, 1, 2, 30, 60, 45},  {0, 9, 8, 7, 9, 8, 7},
        {500, 9, 8, 7, 9, 8, 7},           {501, 9, 8, 7, 9, 245, 146},
        {550, 9, 8, 7, 9, 38, 124},        {600, 9, 8, 7, 9, 88, 112},
        {601, 50, 8, 7, 50, 118, 240},     {640, 50, 8, 7, 50, 120, 240},
        {5000, 50, 8, 7, 50, 0, 240},      {73727, 50, 8, 7, 50, 99, 240},
        {INT32_MAX, 50, 8, 7, 50, 99, 240},
    };
    const int n = sizeof cases / sizeof cases[0];
    // First and last pixel, the rest spread over the screen.
    auto where = [&](int j) { return j == 0 ? 0 : j == n - 1 ? NPIX - 1 : j * 20011 + 641; };

    std::vector<Uint8> scr(4 * NPIX);
    for (int i = 0; i < 4 * NPIX; i++)
        scr[i] = (Uint8)(i * 7 + 3);
    std::vector<Sint32> f(NCELL, 0);
    for (int i = NPIX; i < NCELL; i++)
        f[i] = 601;  // below the screen: must paint nothing anywhere
    std::vector<Uint8> want = scr;
    for (int j = 0; j < n; j++) {
        int i = where(j);
        f[i] = cases[j].v;
        Uint8 *p = &scr[4 * i];
        p[0] = cases[j].in_b, p[1] = cases[j].in_g, p[2] = cases[j].in_r;
        Uint8 *q = &want[4 * i];
        q[0] = cases[j].b, q[1] = cases[j].g, q[2] = cases[j].r;
    }
    set_screen(scr);
    set_field(f);
    firegk();
    EXPECT_TRUE(same_screen(want, screen()));
    EXPECT_TRUE(same_field(f, field())) << "the field changed";
}

TEST_F(FirePaint, RandomScreensAndFields)
{
    for (unsigned seed : {11u, 12u, 13u}) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        std::mt19937 g(seed * 7919);
        std::vector<Uint8> scr(4 * NPIX);
        for (Uint8 &b : scr)
            b = (Uint8)g();
        std::vector<Sint32> f = biased_field(seed);
        std::vector<Uint8> want = scr;
        for (int i = 0; i < NPIX; i++)
            ref_paint(f[i], &want[4 * i]);
        set_screen(scr);
        set_field(f);
        firegk();
        EXPECT_TRUE(same_screen(want, screen()));
        EXPECT_TRUE(same_field(f, field())) << "the field changed";
    }
}

}  // namespace
