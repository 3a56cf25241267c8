// Judges what the demo put out, as caught from outside it by a screenshot or
// by the sound device:
//   check_output pattern SHOT.ppm MAXPHASE    the background of one frame, or
//       of two where the shot caught a flip, exact, at phases 0 to MAXPHASE
//   check_output picture SHOT.ppm PICTURE.ppm the picture opaque and exact,
//       black keyed out, centred at the top where it sways by two pixels
//   check_output music SOUND.raw MUSIC.raw    the sound (16-bit stereo) is
//       the music decoded elsewhere, from where each starts to sound
// Says what it found; exit status 0 when it holds, 1 when not.
#include "reference.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

struct Image {
    int w = 0, h = 0;
    std::vector<uint32_t> px;  // as the demo writes them: B | G << 8 | R << 16
};

static int fail(const char *what, const char *path)
{
    std::printf("%s %s\n", path, what);
    std::exit(1);
}

static Image ppm(const char *path)
{
    Image im;
    int max = 0;
    FILE *f = std::fopen(path, "rb");
    if (!f || std::fscanf(f, "P6 %d %d %d", &im.w, &im.h, &max) != 3 || max != 255 || std::fgetc(f) < 0)
        fail("is no 8-bit PPM", path);
    std::vector<unsigned char> rgb((size_t)im.w * im.h * 3);
    if (std::fread(rgb.data(), 1, rgb.size(), f) != rgb.size())
        fail("is cut short", path);
    std::fclose(f);
    for (size_t i = 0; i < rgb.size(); i += 3)
        im.px.push_back(rgb[i + 2] | rgb[i + 1] << 8 | rgb[i] << 16);
    return im;
}

static std::vector<int16_t> pcm(const char *path)
{
    std::vector<int16_t> s;
    FILE *f = std::fopen(path, "rb");
    int16_t b[4096];
    for (size_t n; f && (n = std::fread(b, 2, 4096, f)) > 0;)
        s.insert(s.end(), b, b + n);
    return s;
}

static bool row_is_pattern(const Image &s, int y, int32_t phase)
{
    for (int x = s.w - 1; x >= 0; x--)  // from the right, where phases differ most
        if (s.px[(size_t)y * s.w + x] != pattern_pixel(phase, x, y))
            return false;
    return true;
}

static int pattern(const Image &s, int32_t max)
{
    // A flip caught halfway shows the older frame above the newer one.
    std::vector<int32_t> found;
    for (int32_t p = 0; p <= max; p++)
        if (row_is_pattern(s, 0, p) || row_is_pattern(s, s.h - 1, p))
            found.push_back(p);
    for (int y = 0; y < s.h; y++) {
        bool any = false;
        for (size_t i = 0; i < found.size() && !any; i++)
            any = row_is_pattern(s, y, found[i]);
        if (!any)
            return std::printf("row %d is the pattern at no phase from 0 to %d\n", y, max), 1;
    }
    return std::printf("phase %d to %d\n", found.front(), found.back()), 0;
}

static int picture(const Image &s, const Image &pic)
{
    int half = (s.w - pic.w) / 2;
    // Rows the picture covers wherever it sways; each may come from another frame.
    for (int y = 22; y < 18 + pic.h; y++) {
        bool any = false;
        for (int dy = -2; dy <= 2 && !any; dy++)
            for (int dx = -2; dx <= 2 && !any; dx++) {
                const uint32_t *want = &pic.px[(size_t)(y - 20 - dy) * pic.w];
                const uint32_t *got = &s.px[(size_t)y * s.w + half + dx];
                any = true;
                for (int x = 0; x < pic.w && any; x++)
                    any = want[x] == 0 || want[x] == got[x];
            }
        if (!any)
            return std::printf("screen row %d is no row of the picture in its place\n", y), 1;
    }
    return std::printf("rows 22 to %d\n", 17 + pic.h), 0;
}

static int music(const std::vector<int16_t> &got, const std::vector<int16_t> &want)
{
    auto onset = [](const std::vector<int16_t> &s) {
        size_t i = 0;
        while (i < s.size() && s[i] == 0)
            i++;
        return i & ~(size_t)1;
    };
    size_t g = onset(got), w = onset(want), n = std::min(got.size() - g, want.size() - w);
    double gw = 0, gg = 0, ww = 0;
    for (size_t i = 0; i < n; i++) {
        gw += (double)got[g + i] * want[w + i];
        gg += (double)got[g + i] * got[g + i];
        ww += (double)want[w + i] * want[w + i];
    }
    double corr = n ? gw / std::sqrt(gg * ww) : 0, rms = n ? std::sqrt(gg / n) : 0;
    std::printf("%.1f s of sound, RMS %.0f, correlation %.4f with the music\n", n / 96000.0, rms, corr);
    return n >= 3 * 96000 && rms > 300 && corr > 0.95 ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc == 4 && !std::strcmp(argv[1], "pattern"))
        return pattern(ppm(argv[2]), std::atoi(argv[3]));
    if (argc == 4 && !std::strcmp(argv[1], "picture")) {
        Image s = ppm(argv[2]), pic = ppm(argv[3]);
        if (s.w < pic.w + 4 || s.h < pic.h + 22)
            fail("is too small for the picture", argv[2]);
        return picture(s, pic);
    }
    if (argc == 4 && !std::strcmp(argv[1], "music"))
        return music(pcm(argv[2]), pcm(argv[3]));
    std::fprintf(stderr, "usage: %s pattern SHOT MAXPHASE | picture SHOT PICTURE | music SOUND MUSIC\n", argv[0]);
    return 2;
}
