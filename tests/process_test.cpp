// The built program as a process: the music it plays, ended by SIGTERM, and
// a whole run in real time, silent on the terminal.
#include <string.h>
#include "util.h"

namespace {

const int RATE = 48000;

// A sound no sample of which is 0, different on the two channels, so where
// it starts in a recording is exact and a swap, resampling or volume change
// shows. Stored as WAV under the music's name: the mixer goes by content.
Sint16 tone(size_t frame, int channel)
{
    return (Sint16)(channel == 0 ? 300 + (int)(frame * 37 % 5000) : -(200 + (int)(frame * 11 % 7000)));
}

void write_music(const std::string &path, Uint32 frames)
{
    std::string b = "RIFF";
    auto put = [&](Uint32 x, int bytes) {
        for (int i = 0; i < bytes; i++)
            b += (char)(x >> 8 * i);
    };
    put(36 + frames * 4, 4), b += "WAVEfmt ";
    put(16, 4), put(1, 2), put(2, 2), put(RATE, 4), put(RATE * 4, 4), put(4, 2), put(16, 2);
    b += "data", put(frames * 4, 4);
    for (Uint32 f = 0; f < frames; f++)
        put((Uint16)tone(f, 0), 2), put((Uint16)tone(f, 1), 2);
    write_file(path, b);
}

// Music shorter than the demo: half a second of silence while the demo
// starts, the music exactly once, then silence.
TEST(Process, MusicIsPlayedUnchangedOnceAfterTheStartUpPause)
{
    TempDir dir;
    write_image(dir / "galleri.jpg", 64, 48);
    const size_t frames = RATE;
    write_music(dir / "musa.ogg", frames);
    // The delay makes the disk writer keep pace with the wall clock.
    Outcome o = run("env SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=out.raw SDL_DISKAUDIODELAY=21 " DEMO_BINARY, dir.path, 3.5);
    EXPECT_EQ(o.status, 0);
    std::string raw = slurp(dir / "out.raw");
    std::vector<Sint16> rec(raw.size() / 2);
    memcpy(rec.data(), raw.data(), 2 * rec.size());
    // The demo asks for little-endian samples on every machine.
    for (Sint16 &v : rec)
        v = (Sint16)SDL_SwapLE16((Uint16)v);
    size_t first = 0;
    while (first < rec.size() && rec[first] == 0)
        first++;
    ASSERT_LT(first, rec.size()) << "nothing but silence";
    EXPECT_EQ(first % 2, 0u) << "the channels are shifted";
    EXPECT_GE(first / 2, (size_t)RATE / 4) << "the music started before the pause ended";
    size_t played = (rec.size() - first) / 2;
    ASSERT_GE(played, frames + RATE / 4) << "too short a recording to tell a repeat";
    for (size_t f = 0; f < played; f++)
        for (int c = 0; c < 2; c++)
            ASSERT_EQ(rec[first + 2 * f + c], f < frames ? tone(f, c) : 0) << "frame " << f << " channel " << c;
}

// The whole demo in real time ends by itself.
TEST(Process, FullRunEndsByItselfAfter75SecondsLong)
{
    TempDir dir;
    write_image(dir / "galleri.jpg", 64, 48);
    Outcome o = run(DEMO_BINARY, dir.path, 0, 120);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "");
    EXPECT_GE(o.seconds, 75.0);
    EXPECT_LE(o.seconds, 80.0);
}

}
