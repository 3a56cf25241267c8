// The demo's default picture, a copper medallion in a ring of flames, as a
// JPEG. The pixels come from nothing but our own arithmetic, so they are the same on
// every run; the file's bytes then depend only on the JPEG library.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "exact_math.h"
#include "makemedia.h"

namespace {

// The noise the picture is made of.

uint32_t hash3(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = (uint32_t)x * 0x8da6b343u ^ (uint32_t)y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h;
}

double hash01(int32_t x, int32_t y, uint32_t seed)
{
    return (hash3(x, y, seed) & 0xffffff) / 16777216.0;
}

double value_noise(double x, double y, uint32_t seed)
{
    double fx = std::floor(x), fy = std::floor(y);
    int32_t ix = (int32_t)fx, iy = (int32_t)fy;
    double tx = smooth(0, 1, x - fx), ty = smooth(0, 1, y - fy);
    double a = mix(hash01(ix, iy, seed), hash01(ix + 1, iy, seed), tx);
    double b = mix(hash01(ix, iy + 1, seed), hash01(ix + 1, iy + 1, seed), tx);
    return mix(a, b, ty);
}

// Four octaves of value noise; the offsets keep the octaves' grids from lining up.
double fbm(double x, double y, uint32_t seed)
{
    double sum = 0, amp = 0.5;
    for (int o = 0; o < 4; ++o) {
        sum += amp * value_noise(x, y, seed + o);
        x = x * 2.03 + 17.1;
        y = y * 2.03 - 9.7;
        amp *= 0.5;
    }
    return sum / 0.9375;
}

// The picture: a copper medallion in a ring of flames, on black.

const int W = 600, H = 420;  // the picture's size in pixels
const int SS = 3;            // samples per pixel edge, for smooth edges
const double CX = 300, CY = 212;  // the medallion's centre

struct Rgb {
    double r = 0, g = 0, b = 0;
};

Rgb lerp(Rgb a, Rgb b, double t)
{
    return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)};
}

struct Surface {
    bool metal = false;
    double h = 0;      // height in pixels, lit to give the engraved look
    Rgb albedo;
    double shine = 0;  // strength of the specular highlight
    Rgb glow;          // light of its own: fire and enamel
};

// Heat 0..1 to ember colour; 0 stays exactly black so the demo sees it as transparent.
Rgb fire_colour(double heat)
{
    static const double at[] = {0, 0.15, 0.35, 0.55, 0.75, 0.9, 1.0};
    static const Rgb col[] = {{0, 0, 0}, {0.25, 0.02, 0}, {0.65, 0.10, 0.01}, {0.95, 0.35, 0.03},
                              {1, 0.62, 0.12}, {1, 0.85, 0.40}, {1, 0.96, 0.75}};
    if (heat <= 0)
        return Rgb();
    for (int i = 1; i < 7; ++i) {
        if (heat < at[i])
            return lerp(col[i - 1], col[i], (heat - at[i - 1]) / (at[i] - at[i - 1]));
    }
    return col[6];
}

// Exact distance to a teardrop: a circle of radius r1 at the origin joined
// smoothly to a circle of radius r2 at height h (standard uneven capsule).
double sd_tear(double x, double y, double r1, double r2, double h)
{
    x = std::fabs(x);
    double b = (r1 - r2) / h, a = std::sqrt(1 - b * b);
    double k = -b * x + a * y;
    if (k < 0)
        return std::sqrt(x * x + y * y) - r1;
    if (k > a * h)
        return std::sqrt(x * x + (y - h) * (y - h)) - r2;
    return a * x + b * y - r1;
}

// A flame in glyph space: base at (bx, by) (image coords), leaning by angle tilt.
double sd_flame(double u, double v, double bx, double by, double tilt, double r1, double h,
                double sway)
{
    double x = u - bx, y = by - v;  // y points up inside the glyph
    double c = mcos(tilt), s = msin(tilt);
    double lx = c * x + s * y, ly = -s * x + c * y;
    lx -= sway * msin(ly / h * PI) * clamp01(ly / h);  // the S-curve of a licking flame
    return sd_tear(lx, ly, r1, 1.5, h);
}

// Union of two distances, rounded over k pixels so the flames grow into each other.
double smin(double a, double b, double k)
{
    double t = clamp01(0.5 + 0.5 * (b - a) / k);
    return mix(b, a, t) - k * t * (1 - t);
}

double glyph_sdf(double u, double v)
{
    double d = sd_flame(u, v, 0, 34, 0, 30, 96, 9);
    d = smin(d, sd_flame(u, v, -36, 50, 0.55, 17, 56, -6), 6);
    d = smin(d, sd_flame(u, v, 36, 50, -0.55, 17, 56, 6), 6);
    return d;
}

double inner_sdf(double u, double v)
{
    return sd_flame(u, v, 0, 40, 0, 15, 56, 6);
}

Rgb fire(double u, double v, double r, double a)
{
    if (r < 1)
        return Rgb();
    double cs = u / r, sn = v / r;
    // The flames reach an ellipse so they fill the wide frame.
    double reach = 1 / std::sqrt((cs / 296) * (cs / 296) + (sn / 206) * (sn / 206));
    double t = clamp01((r - 140) / (reach - 140));
    double heat = 0.55 * mpow(1 - t, 4);
    const int layers[2] = {18, 31};
    for (int layer = 0; layer < 2; ++layer) {
        int n = layers[layer];
        double swirl = a + (layer ? -0.3 : 0.5) * t * t;
        double p = swirl * n / (2 * PI) + 0.35 * (fbm(u / 40, v / 40, 11 + layer) - 0.5);
        double cell = std::floor(p), f = p - cell - 0.5;
        int id = ((int)cell % n + n) % n;
        double len = (layer ? 0.45 : 0.6) + 0.4 * hash01(id, layer, 5);
        double tt = t / len;
        if (tt >= 1)
            continue;
        double w = 0.5 * mpow(1 - tt, 0.8);
        double m = 1 - std::fabs(f) / w;
        double tongue = smooth(0, 0.7, m) * mpow(1 - tt, 0.6) * (layer ? 0.7 : 1.0);
        heat = std::max(heat, tongue);
    }
    heat *= 0.75 + 0.45 * fbm(u / 9, v / 14, 23);
    // Squash the faint tail so the flames end sooner: a wide near-black fringe
    // is opaque to the demo and would show as a dark smear over its pattern.
    heat *= smooth(0.0, 0.2, heat);
    return fire_colour(heat);
}

Surface surface(double x, double y)
{
    const Rgb copper = {0.95, 0.30, 0.08};
    const Rgb patina = {0.42, 0.09, 0.022};
    const Rgb brass = {0.95, 0.55, 0.14};
    double u = x - CX, v = y - CY;
    double r = std::sqrt(u * u + v * v), a = matan2(v, u);
    Surface s;
    if (r < 116) {
        s.metal = true;
        double sd = glyph_sdf(u, v);
        if (sd < 0) {
            s.h = 5 * smooth(0, 4, -sd);
            s.albedo = copper;
            s.shine = 0.9;
            double si = inner_sdf(u, v);
            if (si < 0) {
                // Enamel inlay: sunk below the glyph, glowing from its base upward.
                s.h = 2.5 - 1.5 * smooth(0, 3, -si);
                double up = clamp01((36 - v) / 70);
                double heat = mix(1.0, 0.45, up) * (0.85 + 0.25 * fbm(u / 6, v / 9, 31));
                s.glow = fire_colour(heat);
                s.albedo = Rgb{0.2, 0.05, 0.02};
                s.shine = 0.5;
            } else {
                s.h -= 1.2 * (1 - smooth(0, 1.3, std::fabs(sd + 7)));  // engraved outline
            }
        } else {
            // Engine-turned field: two families of wavy rings crossing into a rosette.
            double calm = smooth(4, 9, sd);
            double g1 = r / 5 + 0.8 * msin(10 * a + r * 0.05) * (r / 116);
            double g2 = r / 5 + 0.8 * msin(-10 * a + r * 0.05) * (r / 116);
            double d1 = std::fabs(g1 - std::floor(g1 + 0.5));
            double d2 = std::fabs(g2 - std::floor(g2 + 0.5));
            double groove = std::max(1 - smooth(0, 0.14, d1), 1 - smooth(0, 0.14, d2));
            double dish = (r / 108) * (r / 108);  // shallow bowl, so the light sweeps across it
            s.h = -0.8 * groove * calm - 4 * (1 - std::min(1.0, dish));
            s.albedo = lerp(patina, copper, 0.35 * groove * calm);
            s.shine = 0.35;
        }
        if (r > 108)
            s.h = mix(s.h, 6, smooth(108, 116, r));  // rising wall to the rim
    } else if (r < 148) {
        // The rim, studded with sixteen brass bosses.
        s.metal = true;
        s.h = 6 + 2 * msin(PI * (r - 116) / 26) - 0.3 * (0.5 + 0.5 * msin(2 * PI * r / 2.4));
        if (r > 142)
            s.h = mix(s.h, 2, smooth(142, 148, r));
        s.albedo = copper;
        s.shine = 0.8;
        double k = std::floor(a / (2 * PI / 16) + 0.5), da = a - k * 2 * PI / 16;
        double ru = r * mcos(da) - 129, rv = r * msin(da);
        double d = std::sqrt(ru * ru + rv * rv);
        if (d < 5.5) {
            s.h = std::max(s.h, 7 + 3 * std::sqrt(1 - (d / 5.5) * (d / 5.5)));
            s.albedo = brass;
            s.shine = 1.0;
        }
    } else {
        // Metal rays, long and short in turn, faceted along their ridge.
        const double step = 2 * PI / 24;
        double k = std::floor(a / step + 0.5);
        double da = a - k * step;
        bool long_ray = ((int)k % 2) == 0;
        double tip = long_ray ? 184 : 168, base = long_ray ? 11 : 8;
        double half = base * (tip - r) / (tip - 148), across = r * std::fabs(msin(da));
        if (r < tip && across < half && std::fabs(da) < step / 2) {
            s.metal = true;
            s.h = 2 + std::min(6.0, 0.9 * (half - across));
            s.albedo = long_ray ? copper : lerp(copper, brass, 0.5);
            s.shine = 0.9;
        }
    }
    if (!s.metal)
        s.glow = fire(u, v, r, a);
    return s;
}

double dot3(const double *a, const double *b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void norm3(double *a)
{
    double l = std::sqrt(dot3(a, a));
    for (int i = 0; i < 3; ++i)
        a[i] /= l;
}

// Samples the surface SS x SS times a pixel, lights the metal from its
// heights, and averages each pixel's samples into 8-bit RGB rows.
std::vector<unsigned char> render_picture()
{
    const int sw = W * SS, sh = H * SS;
    std::vector<Surface> grid((size_t)sw * sh);
    for (int j = 0; j < sh; ++j) {
        for (int i = 0; i < sw; ++i)
            grid[(size_t)j * sw + i] = surface((i + 0.5) / SS, (j + 0.5) / SS);
    }

    // A key light from the upper left, the fire's glow from below, and the
    // half vector between the key and the viewer for the highlight.
    double key[3] = {-0.45, -0.65, 0.62}, below[3] = {0.1, 0.85, 0.5}, half[3];
    norm3(key);
    norm3(below);
    for (int i = 0; i < 3; ++i)
        half[i] = key[i] + (i == 2 ? 1 : 0);
    norm3(half);
    const Rgb ember = {1.0, 0.38, 0.08};  // the light the fire casts
    const Rgb tint = {1.0, 0.72, 0.42};   // the highlight's colour
    // Off the metal, and past the edges, the ground is flat.
    auto height_at = [&](int i, int j) {
        i = std::clamp(i, 0, sw - 1);
        j = std::clamp(j, 0, sh - 1);
        const Surface &o = grid[(size_t)j * sw + i];
        return o.metal ? o.h : 0.0;
    };

    std::vector<Rgb> shaded(grid.size());
    for (int j = 0; j < sh; ++j) {
        for (int i = 0; i < sw; ++i) {
            const Surface &s = grid[(size_t)j * sw + i];
            Rgb c = s.glow;
            if (s.metal) {
                double n[3] = {-(height_at(i + 1, j) - height_at(i - 1, j)) * SS / 2,
                               -(height_at(i, j + 1) - height_at(i, j - 1)) * SS / 2, 1};
                norm3(n);
                double diff = std::max(0.0, dot3(n, key)), warm = std::max(0.0, dot3(n, below));
                double sp = std::max(0.0, dot3(n, half));
                for (int p = 0; p < 5; ++p)
                    sp *= sp;  // highlight exponent 32
                const Rgb &al = s.albedo;
                Rgb lin = {
                    al.r * (0.04 + 0.9 * diff + 0.45 * warm * ember.r) + tint.r * sp * s.shine,
                    al.g * (0.04 + 0.9 * diff + 0.45 * warm * ember.g) + tint.g * sp * s.shine,
                    al.b * (0.04 + 0.9 * diff + 0.45 * warm * ember.b) + tint.b * sp * s.shine};
                // Square root as display gamma: cheap and exactly rounded everywhere.
                c.r += std::sqrt(clamp01(lin.r));
                c.g += std::sqrt(clamp01(lin.g));
                c.b += std::sqrt(clamp01(lin.b));
            }
            shaded[(size_t)j * sw + i] = c;
        }
    }

    std::vector<unsigned char> px((size_t)W * H * 3);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            Rgb sum;
            for (int j = 0; j < SS; ++j) {
                for (int i = 0; i < SS; ++i) {
                    const Rgb &c = shaded[(size_t)(y * SS + j) * sw + x * SS + i];
                    sum.r += c.r;
                    sum.g += c.g;
                    sum.b += c.b;
                }
            }
            double k = 255.0 / (SS * SS);
            unsigned char *o = &px[((size_t)y * W + x) * 3];
            o[0] = (unsigned char)std::min(255.0, std::floor(sum.r * k + 0.5));
            o[1] = (unsigned char)std::min(255.0, std::floor(sum.g * k + 0.5));
            o[2] = (unsigned char)std::min(255.0, std::floor(sum.b * k + 0.5));
        }
    }
    return px;
}

}  // namespace

bool make_picture(const char *path)
{
    const std::vector<unsigned char> px = render_picture();
    FILE *f = std::fopen(path, "wb");
    if (!f)
        return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = W;
    c.image_height = H;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 92, TRUE);
    c.optimize_coding = TRUE;
    // Full-resolution colour keeps the black background from picking up tint near the flames.
    for (int i = 0; i < c.num_components; ++i) {
        c.comp_info[i].h_samp_factor = 1;
        c.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<unsigned char *>(&px[(size_t)c.next_scanline * W * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}
