// Times the effects against the memory traffic they cannot avoid (memset and
// memcpy of the same amount of data, measured in the same run, so the ratios
// hold on any machine), and the real program's frame rate on the dummy
// drivers. It prints figures and judges nothing: a slow machine must not
// turn a build red.
//
//   vaskiloimu-bench            300 calls per figure, 10 s of real frames
//   vaskiloimu-bench --quick    a few calls per figure, 1 s of real frames
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>
#include "scripted.h"
#include "vaskiloimu.h"

// The effects built for any x86-64 alone (see CMakeLists.txt).
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
    printf("%-34s %9s  %-14s %6s  %s\n", "median per call", "us", "baseline", "ratio", "target");
    for (const Row &r : rows) {
        if (r.base.empty()) {
            printf("%-34s %9.1f\n", r.what.c_str(), r.us);
            continue;
        }
        double ratio = r.us / r.base_us;
        printf("%-34s %9.1f  %-14s %6.2f", r.what.c_str(), r.us, r.base.c_str(), ratio);
        if (r.target > 0)
            printf("  <= %.0f  %s", r.target, ratio <= r.target ? "met" : "MISSED");
        printf("\n");
    }
}

// An image for homon when the media folder has none: colours with black
// (keyed-out) holes, the size of the real one.
std::string make_image_dir()
{
    char dir[] = "/tmp/vaskiloimu-bench-XXXXXX";
    if (!mkdtemp(dir))
        return "";
    SDL_Surface *im = SDL_CreateRGBSurface(SDL_SWSURFACE, 600, 420, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
    for (int y = 0; y < im->h; y++) {
        Uint8 *row = (Uint8 *)im->pixels + y * im->pitch;
        for (int x = 0; x < im->w; x++) {
            bool hole = ((x / 40) + (y / 40)) % 5 == 0;
            row[3 * x + 2] = hole ? 0 : (Uint8)(40 + x % 200);
            row[3 * x + 1] = hole ? 0 : (Uint8)(10 + y % 230);
            row[3 * x + 0] = hole ? 0 : (Uint8)(1 + (x ^ y) % 250);
        }
    }
    std::string d = dir;
    SDL_SaveBMP(im, (d + "/galleri.jpg").c_str());  // SDL_image goes by content
    SDL_FreeSurface(im);
    return d;
}

// The real SDL_main on the real clock for the given time; returns frames/s.
double real_fps(double seconds)
{
    scripted::real_clock = true;
    Clock::time_point first;
    double elapsed = 0;
    long frames = scripted::play(1, [](long) { return 0u; }, [&](long n, Sint32) {
        if (n == 0)
            first = Clock::now();
        elapsed = since_us(first) / 1e6;
        return elapsed < seconds;
    });
    scripted::real_clock = false;
    scripted::release();
    return frames > 1 ? (frames - 1) / elapsed : 0;
}

// The real SDL_main on a scripted clock, 40 ms a frame so that every frame
// has one fire tick, up to demo time t; leaves the field, the image and the
// screen as the program had them then.
void run_demo_to(Sint32 t)
{
    scripted::play(1234567, [](long n) { return (Uint32)(40 * n); }, [t](long, Sint32 now) { return now < t; });
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

    std::string tmp;
    struct stat st;
    if (stat(MEDIA_DIR "/galleri.jpg", &st) == 0) {
        if (chdir(MEDIA_DIR) != 0)
            return 1;
    } else {
        tmp = make_image_dir();
        if (tmp.empty() || chdir(tmp.c_str()) != 0)
            return 1;
    }

    __builtin_cpu_init();
    const char *picked = __builtin_cpu_supports("avx2") ? "AVX2" : "default";
    printf("vaskiloimu-bench: median of %d calls each; the loader picks the %s effects here\n\n", reps,
           picked);
    fflush(stdout);

    double fps = real_fps(quick ? 1.0 : 10.0);

    // A field of the demo at its busiest: seeds under the image, the image
    // being cut away, the pattern at its fast speed.
    run_demo_to(45000);
    const int npix = s->w * s->h;
    const size_t ncell = (size_t)firew * fireh;
    Uint8 *px = (Uint8 *)s->pixels;
    std::vector<Sint32> real_field(firekg, firekg + ncell);
    std::vector<Sint32> random_field = mixed_field(ncell);
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
                                {"default", bkge_default, firegk_default, firekl_default}};
    for (const Variant &v : variants) {
        std::string tag = std::string(" [") + v.name + "]";
        for (Sint32 phase : {0, 60000, 3560000, -123456789})
            add("bkge phase " + std::to_string(phase) + tag, median_us([&] { v.bk(phase); }), "memset frame",
                set_us, 2);
        add("firegk demo field" + tag,
            median_us(v.gk, [&] { use_field(real_field), memcpy(px, frame.data(), 4 * npix); }),
            "memcpy frame", cpy_us, 3);
        add("firegk every kind" + tag,
            median_us(v.gk, [&] { use_field(random_field), memcpy(px, frame.data(), 4 * npix); }),
            "memcpy frame", cpy_us, 3);
        add("firekl demo field" + tag, median_us(v.kl, [&] { use_field(real_field); }), "memcpy field", fcpy_us,
            2);
        add("firekl every kind" + tag, median_us(v.kl, [&] { use_field(random_field); }), "memcpy field",
            fcpy_us, 2);
    }

    // The image as the demo blits it around t = 45000: cut to 19/30 of its
    // height, centred, 20 pixels down.
    SDL_Rect src0 = {0, 0, (Uint16)ims[0]->w, (Uint16)(ims[0]->h * 19 / 30)};
    SDL_Rect dst0 = {(Sint16)((s->w - ims[0]->w) / 2), 20, 0, 0};
    SDL_Rect src0_full = {0, 0, (Uint16)ims[0]->w, (Uint16)ims[0]->h};
    for (int alpha : {128, 255}) {
        SDL_SetAlpha(ims[0], SDL_SRCALPHA, (Uint8)alpha);
        add("image blit, alpha " + std::to_string(alpha),
            median_us([&] {
                SDL_Rect sr = src0_full, dr = dst0;
                SDL_UpperBlit(ims[0], &sr, s, &dr);
            }),
            "memcpy frame", cpy_us);
    }

    // Everything a frame does but the flip, with one tick.
    double frame_us = median_us(
            [&] {
                SDL_Rect sr = src0, dr = dst0;
                bkge(3560000);
                SDL_SetAlpha(ims[0], SDL_SRCALPHA, 255);
                SDL_UpperBlit(ims[0], &sr, s, &dr);
                firegk();
                firekl();
                firegf(dr.x, dr.w, dr.y + dr.h, 1);
            },
            [&] { use_field(real_field); });
    add("whole frame, one tick, no flip", frame_us, "memcpy frame", cpy_us);

    print_rows();
    printf("\nthe whole frame takes %.1f %% of a 60 Hz frame (16667 us)\n", frame_us / 166.67);
    printf("\nreal SDL_main on the dummy drivers: %.0f frames/s over %s s of real time\n", fps,
           quick ? "1" : "10");

    if (!tmp.empty()) {
        unlink((tmp + "/galleri.jpg").c_str());
        rmdir(tmp.c_str());
    }
    return 0;
}
