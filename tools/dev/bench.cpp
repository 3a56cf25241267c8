// Times the effects against the memory traffic they cannot avoid (memset and
// memcpy of the same amount of data, measured in the same run, so the ratios
// hold on any machine), whole frames of the real SDL_main, and its frame
// rate on the dummy drivers. It prints each figure beside the ratio we aim
// for, and judges none of them. Run it in a folder with the media, as the
// demo (the build's target bench does so with the default media):
//
//   vaskiloimu-bench            300 calls per figure, 10 s of real frames
//   vaskiloimu-bench --quick    a few calls per figure, 1 s of real frames
#include <SDL.h>
#include <SDL_image.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>
#include "scripted.h"
#include "vaskiloimu.h"

// The effects as built for any processor of this kind (see CMakeLists.txt);
// on x86-64 the loader may pick others, made for AVX2.
extern "C" void bkge_default(Sint32 phase);
extern "C" void firekl_default(void);
extern "C" void firegk_default(void);

namespace {

using Clock = std::chrono::steady_clock;

int reps = 300;

double since_us(Clock::time_point t0)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// Median time of one call of run; prepare runs untimed before each call, so
// every call starts from the same input.
double median_us(const std::function<void()> &run, const std::function<void()> &prepare = nullptr)
{
    std::vector<double> us;
    for (int i = 0; i < reps + 3; i++) {
        if (prepare)
            prepare();
        Clock::time_point t0 = Clock::now();
        run();
        double d = since_us(t0);
        if (i >= 3)  // the first calls warm the caches and the branch predictors
            us.push_back(d);
    }
    std::nth_element(us.begin(), us.begin() + us.size() / 2, us.end());
    return us[us.size() / 2];
}

struct Row {
    std::string what;
    double us;
    std::string base;  // empty for a baseline itself
    double base_us;
    double target;     // 0: none
};
std::vector<Row> rows;

void add(const std::string &what, double us, const std::string &base = "", double base_us = 0, double target = 0)
{
    rows.push_back({what, us, base, base_us, target});
}

void print_rows()
{
    printf("%-34s %9s  %-14s %6s  %s\n", "median per call", "us", "baseline", "ratio", "aim");
    for (const Row &r : rows) {
        if (r.base.empty()) {
            printf("%-34s %9.1f\n", r.what.c_str(), r.us);
            continue;
        }
        double ratio = r.us / r.base_us;
        printf("%-34s %9.1f  %-14s %6.2f", r.what.c_str(), r.us, r.base.c_str(), ratio);
        if (r.target > 0)
            printf("  <= %.0f", r.target);
        printf("\n");
    }
}

// The real SDL_main on the real clock for the given time; returns frames/s.
double real_fps(double seconds)
{
    scripted::Run run;
    run.seed = 1;
    run.real_clock = true;
    Clock::time_point first;
    double elapsed = 0;
    run.see = [&](long n, Sint32) {
        if (n == 0)
            first = Clock::now();
        elapsed = since_us(first) / 1e6;
        return elapsed < seconds;
    };
    long frames = scripted::play(run).frames;
    return frames > 1 ? (frames - 1) / elapsed : 0;
}

// The real SDL_main on a scripted clock, 40 ms a frame so that every frame
// runs one fire tick: the median time from one flip to the next over the
// frames from `from` to `to` ms (fire, the cut, the fast pattern), and, in
// field, the fire field as the frame at `to` left it.
double whole_frame_us(Sint32 from, Sint32 to, std::vector<Sint32> &field)
{
    scripted::Run run;
    run.seed = 1234567;
    run.time_of = [](long n) { return (Uint32)(FIRE_TICK * n); };
    std::vector<double> us;
    Clock::time_point last;
    run.see = [&](long, Sint32 t) {
        if (t > from)
            us.push_back(since_us(last));
        last = Clock::now();
        if (t >= to)
            field.assign(firekg, firekg + (size_t)firew * fireh);
        return t < to;
    };
    scripted::play(run);
    std::nth_element(us.begin(), us.begin() + us.size() / 2, us.end());
    return us.empty() ? 0 : us[us.size() / 2];
}

// A field with cells of every kind the overlay tells apart, in random
// order: hot, warm, cool and none.
std::vector<Sint32> mixed_field(size_t n)
{
    std::mt19937 g(99);
    const Sint32 low[] = {601, 501, -57344, -6}, span[] = {73127, 100, 57337, 507};
    std::vector<Sint32> f(n);
    for (Sint32 &v : f) {
        int kind = g() % 4;
        v = low[kind] + (Sint32)(g() % span[kind]);
    }
    return f;
}

struct Variant {
    const char *name;
    void (*bk)(Sint32);
    void (*gk)(void);
    void (*kl)(void);
};

}  // namespace

int main(int argc, char **argv)
{
    bool quick = false;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--quick")) {
            quick = true;
        } else {
            fprintf(stderr, "usage: %s [--quick]\n", argv[0]);
            return 2;
        }
    }
    if (quick)
        reps = 15;
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);

    SDL_Surface *picture = IMG_Load(IMAGE_FILE);
    if (!picture) {
        fprintf(stderr, "%s: no %s here: run it in a folder with the media\n", argv[0], IMAGE_FILE);
        return 2;
    }
    SDL_FreeSurface(picture);

    // Which clone of each effect the loader picks, where there are clones.
    const char *picked = "as built";
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        picked = "AVX2";
#endif
    printf("vaskiloimu-bench: median of %d calls each; the %s effects here\n\n", reps, picked);
    fflush(stdout);

    double fps = real_fps(quick ? 1.0 : 10.0);

    // Whole frames of the real program at its busiest, with fire, the cut
    // and the fast pattern; the field the effects are timed on below is the
    // one it left at 45 s.
    std::vector<Sint32> real_field;
    double frame_us = whole_frame_us(36000, 45000, real_field);

    // The effects alone, on a screen and a field of their own.
    SDL_Init(SDL_INIT_VIDEO);
    s = SDL_CreateRGBSurface(SDL_SWSURFACE, SCREEN_W, SCREEN_H, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    firew = SCREEN_W;
    fireh = SCREEN_H + FIELD_ROWS_BELOW_SCREEN;
    firekg = real_field.data();
    const int npix = s->w * s->h;
    const size_t ncell = real_field.size();
    Uint8 *px = (Uint8 *)s->pixels;
    std::vector<Sint32> demo_field = real_field;
    std::vector<Sint32> random_field = mixed_field(ncell);
    bkge(560000);
    std::vector<Uint8> frame(px, px + 4 * npix), other(4 * npix);
    std::vector<Sint32> field_copy(ncell);

    double set_us = median_us([&] { memset(px, 0, 4 * npix); });
    double cpy_us = median_us([&] { memcpy(px, other.data(), 4 * npix); });
    double fcpy_us = median_us([&] { memcpy(field_copy.data(), firekg, 4 * ncell); });
    add("memset frame (" + std::to_string(4 * npix) + " B)", set_us);
    add("memcpy frame", cpy_us);
    add("memcpy field (" + std::to_string(4 * ncell) + " B)", fcpy_us);

    auto use_field = [&](const std::vector<Sint32> &f) { memcpy(firekg, f.data(), 4 * ncell); };
    const Variant variants[] = {{picked, bkge, firegk, firekl},
                                {"no clones", bkge_default, firegk_default, firekl_default}};
    for (const Variant &v : variants) {
        std::string tag = std::string(" [") + v.name + "]";
        for (Sint32 phase : {0, 60000, 3560000, -123456789})
            add("bkge phase " + std::to_string(phase) + tag, median_us([&] { v.bk(phase); }), "memset frame",
                set_us, 2);
        add("firegk demo field" + tag,
            median_us(v.gk, [&] { use_field(demo_field), memcpy(px, frame.data(), 4 * npix); }),
            "memcpy frame", cpy_us, 3);
        add("firegk every kind" + tag,
            median_us(v.gk, [&] { use_field(random_field), memcpy(px, frame.data(), 4 * npix); }),
            "memcpy frame", cpy_us, 3);
        add("firekl demo field" + tag, median_us(v.kl, [&] { use_field(demo_field); }), "memcpy field", fcpy_us,
            2);
        add("firekl every kind" + tag, median_us(v.kl, [&] { use_field(random_field); }), "memcpy field",
            fcpy_us, 2);
    }

    // The image as the demo prepares it, blitted whole, centred, 20 pixels down.
    SDL_Surface *loaded = IMG_Load(IMAGE_FILE);
    SDL_Surface *image = loaded ? SDL_ConvertSurface(loaded, s->format, 0) : nullptr;
    if (image) {
        SDL_SetColorKey(image, SDL_SRCCOLORKEY, SDL_MapRGB(image->format, 0, 0, 0));
        for (int alpha : {128, 255}) {
            SDL_SetAlpha(image, SDL_SRCALPHA, (Uint8)alpha);
            add("image blit, alpha " + std::to_string(alpha), median_us([&] {
                    SDL_Rect dr = {(Sint16)((s->w - image->w) / 2), 20, 0, 0};
                    SDL_UpperBlit(image, nullptr, s, &dr);
                }),
                "memcpy frame", cpy_us);
        }
    }
    add("whole frame of SDL_main, one tick", frame_us, "memcpy frame", cpy_us);

    print_rows();
    printf("\nthe whole frame takes %.1f %% of a 60 Hz frame (16667 us)\n", frame_us / 166.67);
    printf("\nreal SDL_main on the dummy drivers: %.0f frames/s over %s s of real time\n", fps,
           quick ? "1" : "10");
    return 0;
}
