// Judges what the demo put out, as caught from outside it by a screenshot or
// by the sound device:
//   check_output pattern SHOT.ppm MAXPHASE    the background of one frame, or
//       of two where the shot caught a flip, exact, at phases 0 to MAXPHASE
//   check_output picture SHOT.ppm PICTURE.ppm the picture opaque and exact,
//       black keyed out, centred at the top where it sways by two pixels
//   check_output music SOUND.raw MUSIC.raw    the sound (16-bit stereo) is
//       the music decoded elsewhere
// Says what it found; exit status 0 when it holds, 1 when not.
#include "reference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct Image {
    int w = 0, h = 0;
    std::vector<uint32_t> px;  // as the demo writes them: B | G << 8 | R << 16
    uint32_t at(int x, int y) const { return px.at((size_t)y * w + x); }
};

static std::string slurp(const char *path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

static Image ppm(const char *path)
{
    Image im;
    std::string b = slurp(path);
    int max = 0, at = 0;
    if (std::sscanf(b.c_str(), "P6 %d %d %d%n", &im.w, &im.h, &max, &at) == 3 && max == 255)
        for (size_t i = at + 1; i + 2 < b.size(); i += 3)
            im.px.push_back((uint8_t)b[i + 2] | (uint8_t)b[i + 1] << 8 | (uint8_t)b[i] << 16);
    return im;
}

static bool row_is_pattern(const Image &s, int y, int32_t phase)
{
    for (int x = s.w - 1; x >= 0; x--)  // from the right, where phases differ most
        if (s.at(x, y) != pattern_pixel(phase, x, y))
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
    for (int y = 0; y < s.h; y++)
        if (std::none_of(found.begin(), found.end(), [&](int32_t p) { return row_is_pattern(s, y, p); }))
            return std::printf("row %d is the pattern at no phase from 0 to %d\n", y, max), 1;
    return found.empty() ? 1 : (std::printf("phase %d to %d\n", found.front(), found.back()), 0);
}

static int picture(const Image &s, const Image &pic)
{
    // Rows the picture covers wherever it sways; each may come from another frame.
    for (int y = 22; y < 18 + pic.h; y++) {
        bool any = false;
        for (int dy = -2; dy <= 2; dy++)
            for (int dx = -2; dx <= 2 && !any; dx++) {
                int x = 0, left = (s.w - pic.w) / 2 + dx;
                while (x < pic.w && (pic.at(x, y - 20 - dy) == 0 || pic.at(x, y - 20 - dy) == s.at(left + x, y)))
                    x++;
                any = x == pic.w;
            }
        if (!any)
            return std::printf("screen row %d is no row of the picture in its place\n", y), 1;
    }
    return std::printf("rows 22 to %d\n", 17 + pic.h), 0;
}

static std::vector<int16_t> pcm(const char *path)
{
    std::string b = slurp(path);
    return std::vector<int16_t>((const int16_t *)b.data(), (const int16_t *)b.data() + b.size() / 2);
}

// Both without their silent frames: where wine runs short of sound it plays
// silence, and the music goes on after it.
static int music(const std::vector<int16_t> &got, const std::vector<int16_t> &want)
{
    auto sounding = [](const std::vector<int16_t> &s) {
        std::vector<double> o;
        for (size_t i = 0; i + 1 < s.size(); i += 2)
            if (s[i] || s[i + 1])
                o.insert(o.end(), {(double)s[i], (double)s[i + 1]});
        return o;
    };
    std::vector<double> g = sounding(got), w = sounding(want);
    size_t n = std::min(g.size(), w.size());
    double gw = 0, gg = 0, ww = 0;
    for (size_t i = 0; i < n; i++)
        gw += g[i] * w[i], gg += g[i] * g[i], ww += w[i] * w[i];
    double corr = gw / std::sqrt(gg * ww), rms = std::sqrt(gg / n);
    std::printf("%.1f s of sound, RMS %.0f, correlation %.4f with the music\n", n / 96000.0, rms, corr);
    return n >= 3 * 96000 && rms > 300 && corr > 0.99 ? 0 : 1;
}

int main(int argc, char **argv)
{
    std::string mode = argc == 4 ? argv[1] : "";
    if (mode == "music")
        return music(pcm(argv[2]), pcm(argv[3]));
    Image shot = argc == 4 ? ppm(argv[2]) : Image(), pic = mode == "picture" ? ppm(argv[3]) : Image();
    if (mode != "pattern" && (mode != "picture" || pic.px.empty()))
        return std::fprintf(stderr, "usage: %s pattern SHOT MAXPHASE | picture SHOT PICTURE | music SOUND MUSIC\n", argv[0]), 2;
    if (shot.px.size() != 640 * 480)
        return std::printf("%s is no screenshot of 640x480\n", argv[2]), 1;
    return mode == "pattern" ? pattern(shot, std::atoi(argv[3])) : picture(shot, pic);
}
