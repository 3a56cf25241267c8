// The demo's default music, 76 seconds in A minor, as an Ogg Vorbis file. The
// samples come from nothing but our own arithmetic, so they are the same on
// every run; the file's bytes then depend only on the Vorbis encoder.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <vorbis/vorbisenc.h>

#include "exact_math.h"
#include "instruments.h"
#include "makemedia.h"

namespace {

const double FADE_START = 70.0, FADE_END = 75.0;

// The song's sounds.
const Patch BELL = {3.5, 2.6, 0.0, 0.7, 0.004, 1.6, 0.0, 0.6, 0.0, 5000, 0.45f, 0.5f};
const Patch LEAD = {1.0, 1.8, 0.6, 0.25, 0.03, 0.4, 0.7, 0.3, 0.004, 3400, 0.35f, 0.3f};
const Patch LEAD_BRIGHT = {1.0, 3.0, 1.3, 0.3, 0.02, 0.4, 0.75, 0.3, 0.005, 4500, 0.3f, 0.3f};
const Patch ARP = {2.0, 2.2, 0.2, 0.06, 0.003, 0.16, 0.0, 0.05, 0.0, 4200, 0.25f, 0.35f};
const Patch BASS = {1.0, 1.6, 0.5, 0.1, 0.004, 0.25, 0.6, 0.05, 0.0, 900, 0.0f, 0.0f};

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

}  // namespace

bool make_music(const char *path)
{
    const std::vector<float> pcm = render_music();
    FILE *f = std::fopen(path, "wb");
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
