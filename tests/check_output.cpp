// Judges what the demo put out, as caught from outside it by a screenshot or
// by the sound device:
//   check_output pattern SHOT.ppm MAXPHASE    the background of one frame, or
//       of two where the shot caught a flip, exact, at phases 0 to MAXPHASE
//   check_output music SOUND.raw MUSIC.raw    the sound (16-bit stereo) is
//       the music decoded elsewhere
// Says what it found; exit status 0 when it holds, 1 when not.
#include "reference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct Image {
    int w = 0, h = 0;
    std::vector<uint32_t> px;  // as the demo writes them: B | G << 8 | R << 16
    explicit Image(const char *ppm)
    {
        std::ifstream f(ppm, std::ios::binary);
        std::string b{std::istreambuf_iterator<char>(f), {}};
        int max = 0, n = 0;
        if (std::sscanf(b.c_str(), "P6 %d %d %d%n", &w, &h, &max, &n) == 3 && max == 255)
            for (size_t i = n + 1; i + 2 < b.size(); i += 3)
                px.push_back((uint8_t)b[i + 2] | (uint8_t)b[i + 1] << 8 | (uint8_t)b[i] << 16);
    }
    const uint32_t *row(int y) const { return &px.at((size_t)y * w); }
};

static int pattern(const Image &s, int32_t max)
{
    auto shows = [&](int y, int32_t phase) {
        for (int x = s.w - 1; x >= 0; x--)  // from the right, where phases differ most
            if (s.row(y)[x] != pattern_pixel(phase, x, y))
                return false;
        return true;
    };
    // A flip caught halfway shows the older frame above the newer one.
    std::vector<int32_t> found;
    for (int32_t p = 0; p <= max; p++)
        if (shows(0, p) || shows(s.h - 1, p))
            found.push_back(p);
    for (int y = 0; y < s.h; y++)
        if (std::none_of(found.begin(), found.end(), [&](int32_t p) { return shows(y, p); }))
            return std::printf("row %d is the pattern at no phase from 0 to %d\n", y, max), 1;
    // None found, row 0 has failed already.
    return std::printf("phase %d to %d\n", found.front(), found.back()), 0;
}

// Both without their silent frames: where wine runs short of sound it plays
// silence, and the music goes on after it.
static int music(const char *got, const char *want)
{
    auto sounding = [](const char *raw) {
        std::ifstream f(raw, std::ios::binary);
        std::vector<double> o;
        for (int16_t s[2]; f.read((char *)s, sizeof s);)
            if (s[0] || s[1])
                o.insert(o.end(), {(double)s[0], (double)s[1]});
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
        return music(argv[2], argv[3]);
    Image shot(argc == 4 ? argv[2] : "");
    if (mode != "pattern")
        return std::fprintf(stderr, "usage: %s pattern SHOT MAXPHASE | music SOUND MUSIC\n", argv[0]), 2;
    if (shot.px.size() != 640 * 480)
        return std::printf("%s is no screenshot of 640x480\n", argv[2]), 1;
    return pattern(shot, std::stoi(argv[3]));
}
