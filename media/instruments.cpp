// The music's instruments and effects, from our own arithmetic alone, so that
// the samples are the same on every run.

#include "instruments.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "exact_math.h"

namespace {

const double PH_PER_RAD = 4294967296.0 / (2 * PI);

// A turn in 4096 steps, and the first again at the end, so that
// interpolating from the last step needs no wrap.
std::vector<float> make_sine_table()
{
    std::vector<float> t(4097);
    for (int i = 0; i <= 4096; ++i)
        t[i] = (float)msin(2 * PI * i / 4096);
    return t;
}

const std::vector<float> sine_table = make_sine_table();

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

}  // namespace

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

// The room's parts: damped combs in parallel, then allpasses in series.
namespace {

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

}  // namespace

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
