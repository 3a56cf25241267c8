// The music's instruments and effects: voices that add themselves into the
// song's buses, and the effects that the buses' sends go through.
#pragma once

#include <cstdint>
#include <vector>

// The music: 76 seconds in stereo, mixed in floats.
const int SR = 48000;  // samples a second
const double SONG = 76.0;
const double BEAT = 0.5, BAR = 2.0, STEP8 = BEAT / 2, STEP16 = BEAT / 4;  // 120 beats per minute
const long FRAMES = (long)(SONG * SR);

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

// Two-operator FM: one voice type covers bells, the lead, the arpeggio and the bass.
struct Patch {
    double ratio, index0, index1, index_time;  // modulation index falls from index0 to index1
    double attack, decay, sustain, release;
    double vibrato, cutoff;
    float verb, echo;
};

// The voices: each starts at t0 seconds and has the loudness vel.
void fm_note(Buses &b, double t0, double dur, double midi, double vel, double pan_pos,
             const Patch &p);
// Soft pad: three detuned voices of a band-limited saw, darkened by a gentle lowpass curve.
void pad_note(Buses &b, double t0, double dur, int midi, double vel, double cutoff, double attack,
              Rng &rng);
void kick(Buses &b, double t0, double vel);
void snare(Buses &b, double t0, double vel, uint64_t seed);
void hat(Buses &b, double t0, double vel, bool open, uint64_t seed);
// Noise-based swells: a long crash and the riser into the 40 s drop.
void noise_swell(Buses &b, double t0, double dur, double vel, bool rising, uint64_t seed);

// The effects: each adds what it makes of in into out.
// Freeverb-style room: parallel damped combs into series allpasses, one set per side.
void reverb(const Stereo &in, Stereo &out);
// Ping-pong echo at a dotted eighth, darker on every repeat.
void echo(const Stereo &in, Stereo &out);
