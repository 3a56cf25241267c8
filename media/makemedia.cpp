// makemedia: writes the demo's default picture, a JPEG, and music, an Ogg Vorbis file.
//
// Usage: makemedia PICTURE MUSIC, the two files to write; the build names them
// as the demo's header does.
//
// Everything is computed here from nothing but arithmetic, so the output is the
// same byte for byte on every run. Sine, exp, log and atan are our own: the C
// library's versions may round differently between releases, and a single
// changed bit would change the files.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <vorbis/vorbisenc.h>

namespace {

const double PI = 3.14159265358979323846;
const double LN2 = 0.69314718055994530942;

// Our own functions of the C library's, and the noise the picture is made of.

double msin(double x)
{
    x -= std::floor(x / (2 * PI) + 0.5) * 2 * PI;
    if (x > PI / 2)
        x = PI - x;
    else if (x < -PI / 2)
        x = -PI - x;
    double x2 = x * x, term = x, sum = x;
    for (int n = 1; n < 12; ++n) {
        term *= -x2 / ((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

double mcos(double x)
{
    return msin(x + PI / 2);
}

double mexp(double x)
{
    if (x < -700)
        return 0;
    double k = std::floor(x / LN2 + 0.5);
    double r = x - k * LN2, term = 1, sum = 1;
    for (int n = 1; n < 20; ++n) {
        term *= r / n;
        sum += term;
    }
    return std::ldexp(sum, (int)k);
}

double mlog(double x)
{
    int e;
    double m = std::frexp(x, &e);  // m in [0.5, 1)
    // A mantissa near 1 keeps z small, and the series short.
    if (m < 0.70710678118654752) {
        m *= 2;
        --e;
    }
    double z = (m - 1) / (m + 1), z2 = z * z, term = z, sum = 0;
    for (int n = 0; n < 30; ++n) {
        sum += term / (2 * n + 1);
        term *= z2;
    }
    return 2 * sum + e * LN2;
}

double mpow(double a, double b)
{
    return a <= 0 ? 0 : mexp(b * mlog(a));
}

double matan(double x)
{
    bool neg = x < 0;
    x = std::fabs(x);
    bool inv = x > 1;
    if (inv)
        x = 1 / x;
    // Two half-angle steps make the series converge in a handful of terms.
    x = x / (1 + std::sqrt(1 + x * x));
    x = x / (1 + std::sqrt(1 + x * x));
    double x2 = x * x, term = x, sum = 0;
    for (int n = 0; n < 20; ++n) {
        sum += term / (2 * n + 1);
        term *= -x2;
    }
    sum *= 4;
    if (inv)
        sum = PI / 2 - sum;
    return neg ? -sum : sum;
}

double matan2(double y, double x)
{
    if (x > 0)
        return matan(y / x);
    if (x < 0)
        return y >= 0 ? matan(y / x) + PI : matan(y / x) - PI;
    return y > 0 ? PI / 2 : (y < 0 ? -PI / 2 : 0);
}

double clamp01(double x)
{
    return x < 0 ? 0 : (x > 1 ? 1 : x);
}

double smooth(double e0, double e1, double x)
{
    double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

double mix(double a, double b, double t)
{
    return a + (b - a) * t;
}

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

bool write_jpeg(const std::string &path, const std::vector<unsigned char> &px)
{
    FILE *f = std::fopen(path.c_str(), "wb");
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

// The music: 76 seconds in stereo, mixed in floats.

const int SR = 48000;  // samples a second
const double SONG = 76.0, FADE_START = 70.0, FADE_END = 75.0;
const double BEAT = 0.5, BAR = 2.0, STEP8 = BEAT / 2, STEP16 = BEAT / 4;  // 120 beats per minute
const long FRAMES = (long)(SONG * SR);
const double PH_PER_RAD = 4294967296.0 / (2 * PI);

// A turn in 4096 steps, and the first again at the end, so that
// interpolating from the last step needs no wrap.
std::vector<float> sine_table;

void init_sine()
{
    sine_table.resize(4097);
    for (int i = 0; i <= 4096; ++i)
        sine_table[i] = (float)msin(2 * PI * i / 4096);
}

// Integer phase wraps for free, so oscillators never drift or need reducing.
inline float sinp(uint32_t ph)
{
    uint32_t i = ph >> 20;
    float f = (ph & 0xFFFFF) * (1.0f / 1048576.0f);
    return sine_table[i] + (sine_table[i + 1] - sine_table[i]) * f;
}

inline uint32_t to_phase(double rad)
{
    return (uint32_t)(int64_t)std::floor(rad * PH_PER_RAD);
}

double hz_inc(double hz)
{
    return hz / SR * 4294967296.0;
}

double midi_hz(double m)
{
    return 440 * mexp((m - 69) / 12 * LN2);
}

double decay_per_sample(double seconds)
{
    return mexp(-1 / (seconds * SR));
}

double one_pole(double hz)
{
    return 1 - mexp(-2 * PI * hz / SR);
}

// xorshift64*: ours, so that the noise is the same wherever it is built.
struct Rng {
    uint64_t s;

    explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}

    float noise()  // uniform in [-1, 1)
    {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return (float)((int32_t)((s * 0x2545F4914F6CDD1Dull) >> 32) * (1.0 / 2147483648.0));
    }
};

struct Stereo {
    std::vector<float> l, r;

    Stereo() : l(FRAMES), r(FRAMES) {}
};

struct Buses {
    Stereo dry, verb, echo;  // the last two are effect sends
};

struct Pan {
    float l, r;
};

// Equal power: the two gains are the cosine and sine of one angle.
Pan pan(double p)
{
    double a = (p + 1) * PI / 4;
    return {(float)mcos(a), (float)msin(a)};
}

// Adds a voice's sample at frame i to the dry bus and to its effect sends.
struct Out {
    Buses &b;
    Pan p;
    float verb, echo;

    void operator()(long i, float x) const
    {
        if (i < 0 || i >= FRAMES)
            return;
        b.dry.l[i] += x * p.l;
        b.dry.r[i] += x * p.r;
        b.verb.l[i] += x * p.l * verb;
        b.verb.r[i] += x * p.r * verb;
        b.echo.l[i] += x * p.l * echo;
        b.echo.r[i] += x * p.r * echo;
    }
};

// Two-operator FM: one voice type covers bells, the lead, the arpeggio and the bass.
struct Patch {
    double ratio, index0, index1, index_time;  // modulation index falls from index0 to index1
    double attack, decay, sustain, release;
    double vibrato, cutoff;
    float verb, echo;
};

const Patch BELL = {3.5, 2.6, 0.0, 0.7, 0.004, 1.6, 0.0, 0.6, 0.0, 5000, 0.45f, 0.5f};
const Patch LEAD = {1.0, 1.8, 0.6, 0.25, 0.03, 0.4, 0.7, 0.3, 0.004, 3400, 0.35f, 0.3f};
const Patch LEAD_BRIGHT = {1.0, 3.0, 1.3, 0.3, 0.02, 0.4, 0.75, 0.3, 0.005, 4500, 0.3f, 0.3f};
const Patch ARP = {2.0, 2.2, 0.2, 0.06, 0.003, 0.16, 0.0, 0.05, 0.0, 4200, 0.25f, 0.35f};
const Patch BASS = {1.0, 1.6, 0.5, 0.1, 0.004, 0.25, 0.6, 0.05, 0.0, 900, 0.0f, 0.0f};

void fm_note(Buses &b, double t0, double dur, double midi, double vel, double pan_pos,
             const Patch &p)
{
    Out out{b, pan(pan_pos), p.verb, p.echo};
    long start = (long)std::floor(t0 * SR + 0.5), held = (long)(dur * SR);
    long total = held + (long)(p.release * SR);
    long attack_n = std::max(1L, (long)(p.attack * SR));
    // Phases and their steps: _c of the carrier, _m of the modulator, _v of the vibrato.
    double f = midi_hz(midi), inc_c = hz_inc(f);
    uint32_t ph_c = 0, ph_m = 0, ph_v = 0;
    uint32_t inc_m = (uint32_t)hz_inc(f * p.ratio), inc_v = (uint32_t)hz_inc(5.3);
    double idx = 1, idx_k = decay_per_sample(p.index_time);
    double dec = 1, dec_k = decay_per_sample(p.decay);
    double lp = 0, lp_a = one_pole(p.cutoff), env = 0, release_from = 0;
    for (long n = 0; n < total; ++n) {
        if (n < attack_n) {
            env = (double)n / attack_n;
        } else if (n < held) {
            env = p.sustain + (1 - p.sustain) * dec;
            dec *= dec_k;
        } else {
            if (n == held)
                release_from = env;
            env = release_from * (1 - (double)(n - held) / (total - held));
        }
        double index = p.index1 + (p.index0 - p.index1) * idx;
        idx *= idx_k;
        float s = sinp(ph_c + to_phase(index * sinp(ph_m)));
        double vib_depth = p.vibrato * smooth(0.25, 0.7, (double)n / SR);
        ph_c += (uint32_t)(inc_c * (1 + vib_depth * sinp(ph_v)));
        ph_m += inc_m;
        ph_v += inc_v;
        lp += lp_a * (s * env - lp);
        out(start + n, (float)(lp * vel));
    }
}

// Soft pad: three detuned voices of a band-limited saw, darkened by a gentle lowpass curve.
void pad_note(Buses &b, double t0, double dur, int midi, double vel, double cutoff, double attack,
              Rng &rng)
{
    const double detune[3] = {-0.09, 0.0, 0.08}, pans[3] = {-0.7, 0.1, 0.7};
    const double release = 1.4;
    long start = (long)std::floor(t0 * SR + 0.5), held = (long)(dur * SR);
    long total = held + (long)(release * SR);
    long attack_n = (long)(attack * SR);
    for (int v = 0; v < 3; ++v) {
        double f = midi_hz(midi + detune[v]);
        std::vector<uint32_t> ph, inc;
        std::vector<float> amp;
        for (int k = 1; k <= 14 && f * k < 9000; ++k) {
            double q = f * k / cutoff;
            amp.push_back((float)(1.0 / k / (1 + q * q)));
            inc.push_back((uint32_t)hz_inc(f * k));
            // Random start phases avoid a buzzy sum.
            ph.push_back((uint32_t)(rng.noise() * 2147483647.0f));
        }
        Out out{b, pan(pans[v]), 0.55f, 0.0f};
        for (long n = 0; n < total; ++n) {
            double env = n < attack_n ? (double)n / attack_n : 1.0;
            if (n >= held)
                env *= 1 - (double)(n - held) / (total - held);
            float s = 0;
            for (size_t k = 0; k < amp.size(); ++k) {
                s += amp[k] * sinp(ph[k]);
                ph[k] += inc[k];
            }
            out(start + n, (float)(s * env * vel / 3));
        }
    }
}

// Chamberlin state-variable filter: cheap, smooth to sweep.
struct Svf {
    double f = 0, q = 1, low = 0, band = 0;

    void tune(double hz, double damping)
    {
        f = 2 * msin(PI * hz / SR);
        q = damping;
    }

    double lowpass(double x)
    {
        low += f * band;
        double high = x - low - q * band;
        band += f * high;
        return low;
    }

    double bandpass(double x)
    {
        lowpass(x);
        return band;
    }
};

void kick(Buses &b, double t0, double vel)
{
    Out out{b, pan(0), 0.05f, 0.0f};
    long start = (long)(t0 * SR);
    double sweep = 1, sweep_k = decay_per_sample(0.035);
    double amp = 1, amp_k = decay_per_sample(0.3);
    double click = 1, click_k = decay_per_sample(0.004);
    uint32_t ph = 0;
    Rng rng(7);
    for (long n = 0; n < SR / 2; ++n) {
        double attack = std::min(1.0, n / 48.0);
        float s = (float)(sinp(ph) * amp * attack + 0.15 * rng.noise() * click);
        ph += (uint32_t)hz_inc(46 + 110 * sweep);
        sweep *= sweep_k;
        amp *= amp_k;
        click *= click_k;
        out(start + n, (float)(s * vel));
    }
}

void snare(Buses &b, double t0, double vel, uint64_t seed)
{
    Out out{b, pan(0.05), 0.3f, 0.0f};
    long start = (long)(t0 * SR);
    Svf bp;
    bp.tune(2300, 0.9);
    Rng rng(seed);
    double tone = 1, tone_k = decay_per_sample(0.06), hiss = 1, hiss_k = decay_per_sample(0.13);
    uint32_t ph = 0;
    for (long n = 0; n < SR * 4 / 10; ++n) {
        double s = 0.45 * sinp(ph) * tone + 0.9 * bp.bandpass(rng.noise()) * hiss;
        ph += (uint32_t)hz_inc(185);
        tone *= tone_k;
        hiss *= hiss_k;
        out(start + n, (float)(s * vel));
    }
}

void hat(Buses &b, double t0, double vel, bool open, uint64_t seed)
{
    Out out{b, pan(0.35), 0.12f, 0.0f};
    long start = (long)(t0 * SR);
    Rng rng(seed);
    double lp = 0, lp_a = one_pole(7000), amp = 1, amp_k = decay_per_sample(open ? 0.16 : 0.028);
    for (long n = 0; n < (open ? SR / 2 : SR / 8); ++n) {
        double x = rng.noise();
        lp += lp_a * (x - lp);
        out(start + n, (float)((x - lp) * amp * vel));  // keep only what the lowpass leaves out
        amp *= amp_k;
    }
}

// Noise-based swells: a long crash and the riser into the 40 s drop.
void noise_swell(Buses &b, double t0, double dur, double vel, bool rising, uint64_t seed)
{
    long start = (long)(t0 * SR), total = (long)(dur * SR);
    Rng rl(seed), rr(seed + 1);
    Svf fl, fr;
    double lpl = 0, lpr = 0, lp_a = one_pole(5000), amp = 1, amp_k = decay_per_sample(1.1);
    for (long n = 0; n < total; ++n) {
        double t = (double)n / total, xl, xr, g;
        if (rising) {
            double hz = 250 * mexp(t * mlog(7000.0 / 250));
            fl.tune(hz, 0.5);
            fr.tune(hz * 1.03, 0.5);
            xl = fl.lowpass(rl.noise());
            xr = fr.lowpass(rr.noise());
            g = t * t;
        } else {
            double nl = rl.noise(), nr = rr.noise();
            lpl += lp_a * (nl - lpl);
            lpr += lp_a * (nr - lpr);
            xl = nl - lpl;
            xr = nr - lpr;
            g = amp * std::min(1.0, n / 100.0);
            amp *= amp_k;
        }
        long i = start + n;
        if (i >= FRAMES)
            break;
        b.dry.l[i] += (float)(xl * g * vel);
        b.dry.r[i] += (float)(xr * g * vel);
        b.verb.l[i] += (float)(xl * g * vel * 0.3);
        b.verb.r[i] += (float)(xr * g * vel * 0.3);
    }
}

// Freeverb-style room: parallel damped combs into series allpasses, one set per side.
struct Comb {
    std::vector<float> buf;
    size_t i = 0;
    float store = 0;

    float tick(float x, float fb, float damp)
    {
        float y = buf[i];
        store = y * (1 - damp) + store * damp;
        buf[i] = x + store * fb;
        if (++i == buf.size())
            i = 0;
        return y;
    }
};

struct Allpass {
    std::vector<float> buf;
    size_t i = 0;

    float tick(float x)
    {
        float b = buf[i], y = b - x;
        buf[i] = x + b * 0.5f;
        if (++i == buf.size())
            i = 0;
        return y;
    }
};

void reverb(const Stereo &in, Stereo &out)
{
    // Delays in samples at 44.1 kHz, scaled to our rate; the right side's are
    // a little longer, so the two sides do not ring alike.
    const int comb_len[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    const int allpass_len[4] = {556, 441, 341, 225};
    for (int side = 0; side < 2; ++side) {
        std::vector<Comb> combs(8);
        std::vector<Allpass> allpasses(4);
        int spread = side ? 23 : 0;
        for (int c = 0; c < 8; ++c)
            combs[c].buf.assign((comb_len[c] + spread) * SR / 44100, 0.f);
        for (int a = 0; a < 4; ++a)
            allpasses[a].buf.assign((allpass_len[a] + spread) * SR / 44100, 0.f);
        std::vector<float> &o = side ? out.r : out.l;
        for (long n = 0; n < FRAMES; ++n) {
            float x = (in.l[n] + in.r[n]) * 0.015f, y = 0;
            for (auto &c : combs)
                y += c.tick(x, 0.86f, 0.3f);
            for (auto &a : allpasses)
                y = a.tick(y);
            o[n] += y;
        }
    }
}

// Ping-pong echo at a dotted eighth, darker on every repeat.
void echo(const Stereo &in, Stereo &out)
{
    const long d = (long)(0.75 * BEAT * SR);
    std::vector<float> dl(d, 0.f), dr(d, 0.f);
    float lpl = 0, lpr = 0;
    const float lp_a = (float)one_pole(3000);
    for (long n = 0; n < FRAMES; ++n) {
        long k = n % d;
        float yl = dl[k], yr = dr[k];
        lpl += lp_a * (yl - lpl);
        lpr += lp_a * (yr - lpr);
        dl[k] = (in.l[n] + in.r[n]) * 0.5f + lpr * 0.45f;
        dr[k] = lpl * 0.45f;
        out.l[n] += yl * 0.5f;
        out.r[n] += yr * 0.5f;
    }
}

struct Chord {
    int bass;    // MIDI note
    int pad[4];  // MIDI notes, low to high
};

// Named as a musician writes them.
const Chord Am = {33, {57, 60, 64, 69}}, F = {29, {53, 57, 60, 65}}, C = {36, {55, 60, 64, 67}},
            G = {31, {55, 59, 62, 67}}, Dm = {38, {50, 57, 62, 65}}, E = {40, {52, 56, 59, 64}};

// One chord per two-second bar. Bar 5 = 10 s (picture enters), bar 14 = 28 s
// (fire starts), bar 20 = 40 s (the pattern speeds up), bar 32 = 64 s (wind-down).
const Chord *const SONG_BARS[] = {
    &Am, &F, &C, &G, &E,                                  // 0-10 s: opening
    &Am, &F, &C, &G, &Am, &F, &C, &G, &E,                 // 10-28 s: melody enters
    &Am, &F, &C, &G, &Dm, &E,                             // 28-40 s: build
    &Am, &F, &C, &G, &Am, &F, &C, &G, &Dm, &F, &G, &E,    // 40-64 s: full
    &Am, &F, &C, &G, &Am, &Am};                           // 64-76 s: wind-down
const int NBARS = sizeof(SONG_BARS) / sizeof(SONG_BARS[0]);

struct Mel {
    int bar;           // counted from the phrase's first bar
    double step, len;  // in eighth notes
    int midi;
};

const std::vector<Mel> PHRASE_A = {
    {0, 0, 2, 69}, {0, 2, 2, 72}, {0, 4, 4, 76}, {1, 0, 3, 77}, {1, 3, 1, 76}, {1, 4, 4, 72},
    {2, 0, 2, 67}, {2, 2, 2, 72}, {2, 4, 2, 76}, {2, 6, 2, 79}, {3, 0, 6, 74}, {3, 6, 2, 71}};
const std::vector<Mel> PHRASE_B = {
    {0, 0, 2, 72}, {0, 2, 1, 71}, {0, 3, 1, 69}, {0, 4, 4, 76}, {1, 0, 2, 81},
    {1, 2, 1, 79}, {1, 3, 1, 77}, {1, 4, 2, 76}, {1, 6, 2, 72}, {2, 0, 3, 76},
    {2, 3, 1, 74}, {2, 4, 2, 72}, {2, 6, 2, 67}, {3, 0, 6, 71}};
const std::vector<Mel> PHRASE_C = {
    {0, 0, 2, 77}, {0, 2, 1, 76}, {0, 3, 1, 74}, {0, 4, 4, 77}, {1, 0, 2, 81}, {1, 2, 2, 84},
    {1, 4, 4, 81}, {2, 0, 2, 79}, {2, 2, 1, 77}, {2, 3, 1, 76}, {2, 4, 4, 74}, {3, 0, 4, 76},
    {3, 4, 2, 80}, {3, 6, 2, 83}};
const std::vector<Mel> PHRASE_D = {
    {0, 0, 2, 74}, {0, 2, 2, 77}, {0, 4, 4, 81}, {1, 0, 2, 80}, {1, 2, 2, 76}, {1, 4, 4, 71}};
const std::vector<Mel> CODA = {
    {0, 0, 8, 81}, {1, 0, 2, 72}, {1, 2, 2, 69}, {1, 4, 4, 65},
    {2, 0, 4, 67}, {2, 4, 4, 64}, {3, 0, 8, 71}, {4, 0, 8, 69}};
const std::vector<Mel> BELLS = {
    {1, 0, 4, 76}, {1, 4, 4, 72}, {2, 0, 4, 79}, {2, 4, 4, 76},
    {3, 0, 4, 74}, {3, 4, 4, 71}, {4, 0, 4, 68}, {4, 4, 4, 71}};
// Climbs into the build.
const std::vector<Mel> BELL_PICKUP = {{0, 0, 2, 76}, {0, 2, 2, 80}, {0, 4, 4, 83}};

void play_phrase(Buses &b, const std::vector<Mel> &phrase, int bar, double vel, const Patch &p,
                 double pan_pos, int transpose = 0)
{
    for (const Mel &m : phrase)
        fm_note(b, (bar + m.bar) * BAR + m.step * STEP8, m.len * STEP8 * 0.92, m.midi + transpose,
                vel, pan_pos, p);
}

double bar_time(int bar, double steps16 = 0)
{
    return bar * BAR + steps16 * STEP16;
}

// Pads: a held chord per bar, joined when the chord repeats; brighter as the song heats up.
void compose_pads(Buses &b, Rng &rng)
{
    for (int bar = 0; bar < NBARS;) {
        int end = bar + 1;
        while (end < NBARS && SONG_BARS[end] == SONG_BARS[bar])
            ++end;
        double cutoff = bar < 5 ? 800 : bar < 14 ? 1300 : bar < 20 ? 1300 + (bar - 13) * 180
                      : bar < 32 ? 2600 : 1300;
        double vel = bar < 5 ? 0.26 : bar < 14 ? 0.3 : bar < 20 ? 0.3 + 0.015 * (bar - 14) : 0.34;
        double attack = bar == 0 ? 3.0 : 0.35;
        for (int note : SONG_BARS[bar]->pad)
            pad_note(b, bar * BAR, (end - bar) * BAR, note, vel, cutoff, attack, rng);
        bar = end;
    }
}

void compose_melody(Buses &b)
{
    play_phrase(b, BELLS, 0, 0.16, BELL, 0.3);
    play_phrase(b, BELL_PICKUP, 13, 0.14, BELL, 0.3);
    play_phrase(b, PHRASE_A, 5, 0.36, LEAD, -0.15);
    play_phrase(b, PHRASE_B, 9, 0.38, LEAD, -0.15);
    play_phrase(b, PHRASE_A, 14, 0.38, LEAD, -0.15);
    play_phrase(b, PHRASE_D, 18, 0.4, LEAD, -0.15);
    play_phrase(b, PHRASE_A, 20, 0.4, LEAD_BRIGHT, -0.1);
    play_phrase(b, PHRASE_B, 24, 0.4, LEAD_BRIGHT, -0.1);
    play_phrase(b, PHRASE_C, 28, 0.42, LEAD_BRIGHT, -0.1);
    // An octave below for body once the beat is full.
    for (int bar : {20, 24, 28})
        play_phrase(b, bar == 28 ? PHRASE_C : bar == 24 ? PHRASE_B : PHRASE_A, bar, 0.14, LEAD,
                    0.25, -12);
    play_phrase(b, CODA, 32, 0.34, LEAD, -0.15);
}

// Bass: quarters, then eighths in the build; sixteenths with octave jumps at full speed.
void compose_bass(Buses &b, int bar, const Chord &ch, bool full, double rise)
{
    if (bar < 16) {
        for (int q = 0; q < 4; ++q)
            fm_note(b, bar_time(bar, q * 4), 0.4, ch.bass, 0.36, 0, BASS);
    } else if (bar < 34) {
        int div = full ? 16 : 8;
        for (int s = 0; s < div; ++s) {
            double t = bar_time(bar, s * 16 / div);
            double vel = full ? (s % 4 == 0 ? 0.62 : 0.42)
                       : bar < 32 ? 0.3 + 0.1 * rise : 0.5 - (bar - 32) * 0.15;
            int note = ch.bass + (full && s % 4 == 2 ? 12 : 0);
            fm_note(b, t, (full ? STEP16 : STEP8) * 0.8, note, vel, 0, BASS);
        }
    } else if (bar < 37) {
        // The last one rings over the final bar.
        fm_note(b, bar_time(bar), bar == 36 ? 3.6 : 1.9, ch.bass, 0.45, 0, BASS);
    }
}

// Arpeggio over the chord's tones, an octave up, swinging side to side.
void compose_arpeggio(Buses &b, int bar, const Chord &ch, bool full, double rise)
{
    if (bar < 16 || bar >= 32)
        return;
    static const int order[16] = {0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2, 1, 0, 1, 2, 3};
    int div = full ? 16 : 8;  // the pulse doubles at 40 s
    for (int s = 0; s < div; ++s) {
        int tone = ch.pad[order[s % 16]] + 12;
        double vel = full ? 0.17 : 0.05 + 0.05 * rise;
        fm_note(b, bar_time(bar, s * 16 / div), STEP16 * 0.7, tone, vel, s % 2 ? 0.55 : -0.55, ARP);
    }
}

void compose_drums(Buses &b, int bar, bool full, double rise, uint64_t &hit_seed)
{
    if (bar < 34) {
        for (int q = 0; q < 4; ++q) {
            if (bar >= 32 && q % 2)
                continue;
            double vel = full ? 1.0 : bar < 20 ? 0.32 + 0.3 * rise : 0.7 - (bar - 32) * 0.2;
            kick(b, bar_time(bar, q * 4), vel);
        }
    }
    if (bar >= 16 && bar < 32) {
        snare(b, bar_time(bar, 4), full ? 0.7 : 0.25, hit_seed++);
        snare(b, bar_time(bar, 12), full ? 0.7 : 0.25, hit_seed++);
    }
    if (bar >= 16 && bar < 34) {
        int div = full ? 16 : 8;
        for (int s = 0; s < div; ++s) {
            int pos = s * 16 / div;
            if (!full && (bar < 18 || bar >= 32) && s % 2 == 0)
                continue;  // offbeats only when sparse
            double vel = full ? (pos % 4 == 2 ? 0.32 : 0.16)
                       : bar < 32 ? 0.08 + 0.07 * rise : 0.16 - (bar - 32) * 0.06;
            bool open = full && pos == 14;
            hat(b, bar_time(bar, pos), vel, open, hit_seed++);
        }
    }
    // Fills into each new phrase.
    if (bar == 19 || bar == 27 || bar == 31) {
        int from = bar == 19 ? 8 : 12;
        for (int s = from; s < 16; ++s)
            snare(b, bar_time(bar, s), 0.15 + 0.45 * (s - from) / (16 - from), hit_seed++);
    }
}

void compose(Buses &b)
{
    Rng rng(2024);
    uint64_t hit_seed = 100;
    compose_pads(b, rng);
    compose_melody(b);
    for (int bar = 14; bar < NBARS; ++bar) {
        const Chord &ch = *SONG_BARS[bar];
        bool full = bar >= 20 && bar < 32;
        double rise = bar < 20 ? (bar - 14) / 6.0 : 1.0;
        compose_bass(b, bar, ch, full, rise);
        compose_arpeggio(b, bar, ch, full, rise);
        compose_drums(b, bar, full, rise, hit_seed);
    }
    noise_swell(b, bar_time(18), 2 * BAR, 0.16, true, 900);
    for (int bar : {20, 24, 28, 32})
        noise_swell(b, bar_time(bar), 3.5, bar == 20 ? 0.16 : 0.1, false, 910 + bar);
}

std::vector<float> render_music()
{
    init_sine();
    Buses b;
    compose(b);
    Stereo wet;
    reverb(b.verb, wet);
    echo(b.echo, wet);
    std::vector<float> out((size_t)FRAMES * 2);
    float peak = 0;
    for (long n = 0; n < FRAMES; ++n) {
        double t = (double)n / SR;
        double g = t < FADE_START ? 1 : t >= FADE_END ? 0
                 : 0.5 + 0.5 * mcos(PI * (t - FADE_START) / (FADE_END - FADE_START));
        out[2 * n] = (float)((b.dry.l[n] + wet.l[n]) * g);
        out[2 * n + 1] = (float)((b.dry.r[n] + wet.r[n]) * g);
        peak = std::max({peak, std::fabs(out[2 * n]), std::fabs(out[2 * n + 1])});
    }
    // A soft knee rounds off the drum peaks so the body of the mix can sit louder.
    const double knee = 0.6, drive = 1.25 / peak;
    float limited = 0;
    for (float &x : out) {
        double a = std::fabs(x * drive);
        if (a > knee) {
            double e = mexp(-2 * (a - knee) / (1 - knee));
            a = knee + (1 - knee) * (1 - e) / (1 + e);  // tanh, from our own exp
        }
        x = (float)(x < 0 ? -a : a);
        limited = std::max(limited, (float)a);
    }
    const float target = 0.891f;  // -1 dBFS leaves room for the codec's overshoot
    for (float &x : out)
        x *= target / limited;
    return out;
}

// Writes out the pages the stream has ready. Flushing writes a part-filled
// page too: the headers must end their page before the first audio does,
// and at the end nothing may be left behind.
void write_pages(ogg_stream_state *os, FILE *f, bool flush)
{
    ogg_page og;
    while (flush ? ogg_stream_flush(os, &og) : ogg_stream_pageout(os, &og)) {
        std::fwrite(og.header, 1, og.header_len, f);
        std::fwrite(og.body, 1, og.body_len, f);
    }
}

bool write_ogg(const std::string &path, const std::vector<float> &pcm)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 2, SR, 0.4f) != 0) {
        std::fclose(f);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", "copper blaze");
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 0x0C0FFE12);  // fixed serial: a random one would change the bytes each run
    ogg_packet header, header_comment, header_code;
    vorbis_analysis_headerout(&vd, &vc, &header, &header_comment, &header_code);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &header_comment);
    ogg_stream_packetin(&os, &header_code);
    write_pages(&os, f, true);
    // Encodes what the analysis holds and writes out the pages it fills.
    auto drain = [&]() {
        ogg_packet op;
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                write_pages(&os, f, false);
            }
        }
    };
    const long chunk = 4096;
    for (long pos = 0; pos < FRAMES; pos += chunk) {
        long n = std::min(chunk, FRAMES - pos);
        float **buf = vorbis_analysis_buffer(&vd, (int)n);
        for (long i = 0; i < n; ++i) {
            buf[0][i] = pcm[2 * (pos + i)];
            buf[1][i] = pcm[2 * (pos + i) + 1];
        }
        vorbis_analysis_wrote(&vd, (int)n);
        drain();
    }
    vorbis_analysis_wrote(&vd, 0);  // the end of the stream
    drain();
    write_pages(&os, f, true);
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PICTURE MUSIC\n", argv[0]);
        return 2;
    }
    if (!write_jpeg(argv[1], render_picture())) {
        std::fprintf(stderr, "makemedia: cannot write %s\n", argv[1]);
        return 1;
    }
    if (!write_ogg(argv[2], render_music())) {
        std::fprintf(stderr, "makemedia: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
