// The built program as a separate process: its exit statuses, its silence on
// the terminal, how it ends and what it plays.
#include "launch.h"

namespace {

// A sound no sample of which is 0, different on the two channels, so where
// it starts in a recording is exact and any swap, resampling or volume
// change shows.
Sint16 tone(size_t frame, int channel)
{
    int v = channel == 0 ? 300 + (int)(frame * 37 % 5000) : -(200 + (int)(frame * 11 % 7000));
    return (Sint16)v;
}

void write_wav(const std::string &path, size_t frames)
{
    std::string b;
    auto u32 = [&](Uint32 x) {
        for (int i = 0; i < 4; i++)
            b += (char)(x >> (8 * i));
    };
    auto u16 = [&](Uint16 x) {
        b += (char)x;
        b += (char)(x >> 8);
    };
    Uint32 data = (Uint32)(frames * 4);
    b += "RIFF";
    u32(36 + data);
    b += "WAVEfmt ";
    u32(16);
    u16(1);  // PCM
    u16(2);
    u32(RATE);
    u32(RATE * 4);
    u16(4);
    u16(16);
    b += "data";
    u32(data);
    for (size_t f = 0; f < frames; f++)
        for (int c = 0; c < 2; c++)
            u16((Uint16)tone(f, c));
    write_file(path, b);
}

}  // namespace

TEST(Image, WithoutAUsableOneTheDemoEndsAtOnceWithStatus2)
{
    struct Case {
        const char *what;
        void (*make)(const std::string &path);
    };
    const Case cases[] = {
        {"missing", [](const std::string &) {}},
        {"text", [](const std::string &p) { write_file(p, "not a picture at all\n"); }},
        {"empty", [](const std::string &p) { write_file(p, ""); }},
        {"a directory", [](const std::string &p) { ASSERT_EQ(mkdir(p.c_str(), 0755), 0); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        c.make(dir / "galleri.jpg");
        Launch l;
        l.dir = dir.path;
        Outcome o = run_demo(l);
        expect_exit(o, 2);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, "");
    }
}

// The screen is set before the image is looked at, so a missing image
// cannot hide a screen that could not be set.
TEST(Video, WithoutADriverTheDemoEndsWithStatus1)
{
    for (bool image : {true, false}) {
        SCOPED_TRACE(image ? "with an image" : "without an image");
        TempDir dir;
        if (image)
            write_image(dir / "galleri.jpg", 64, 48);
        Launch l;
        l.dir = dir.path;
        l.env = {"SDL_VIDEODRIVER=nosuchdriver", "SDL_AUDIODRIVER=dummy"};
        Outcome o = run_demo(l);
        expect_exit(o, 1);
        EXPECT_EQ(o.out, "");
    }
}

TEST(Stop, SigtermEndsARunWithoutMusicWithStatus0)
{
    TempDir dir;
    write_image(dir / "galleri.jpg", 64, 48);
    Outcome o = run_until(dir.path, SIGTERM);
    expect_clean_stop(o);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}

TEST(Stop, SigintEndsARunWithoutMusicWithStatus0)
{
    TempDir dir;
    write_image(dir / "galleri.jpg", 64, 48);
    Outcome o = run_until(dir.path, SIGINT);
    expect_clean_stop(o);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}

// Bad music must neither stop the demo nor come out as noise.
TEST(Music, GarbageIsSkippedAndTheDemoRunsSilently)
{
    const std::pair<const char *, std::string> cases[] = {
        {"text", "this is no music\n"},
        {"a broken Ogg stream", std::string("OggS\0\2", 6) + std::string(400, '\x5a')},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        TempDir dir, sink;
        write_image(dir / "galleri.jpg", 64, 48);
        write_file(dir / "musa.ogg", c.second);
        Outcome o = run_until(dir.path, SIGTERM, disk_audio(sink / "out.raw"));
        expect_clean_stop(o);
        EXPECT_EQ(o.out, "");

        std::vector<Sint16> rec = samples(slurp(sink / "out.raw"));
        // Something was recorded, or silence would prove nothing.
        EXPECT_GT(rec.size(), 2u * RATE / 2);
        size_t loud = 0;
        for (Sint16 v : rec)
            loud += v != 0;
        EXPECT_EQ(loud, 0u) << "of " << rec.size() << " samples";
    }
}

TEST(Music, IsPlayedUnchangedOnceTheStartUpPauseIsOver)
{
    TempDir dir, sink;
    write_image(dir / "galleri.jpg", 64, 48);
    const size_t frames = 4 * RATE;
    write_wav(dir / "musa.ogg", frames);
    Outcome o = run_until(dir.path, SIGTERM, disk_audio(sink / "out.raw"));
    expect_clean_stop(o);
    EXPECT_EQ(o.out, "");

    std::vector<Sint16> rec = samples(slurp(sink / "out.raw"));
    size_t first = 0;
    while (first < rec.size() && rec[first] == 0)
        first++;
    ASSERT_LT(first, rec.size()) << "nothing but silence in " << rec.size() << " samples";
    ASSERT_EQ(first % 2, 0u) << "the sound is shifted by one sample";
    // Half a second of silence at the writer's pace; a loaded machine can
    // only make the writer slower, so less must be allowed for.
    EXPECT_GE(first / 2, (size_t)RATE / 4) << "the music started before the pause ended";

    size_t played = (rec.size() - first) / 2;
    EXPECT_GE(played, (size_t)RATE / 4) << "the music barely played before the stop";
    size_t differ = 0, at = 0;
    for (size_t f = 0; f < played; f++)
        for (int c = 0; c < 2; c++) {
            Sint16 want = f < frames ? tone(f, c) : 0;
            if (rec[first + 2 * f + c] != want && differ++ == 0)
                at = f;
        }
    EXPECT_EQ(differ, 0u) << "first difference at frame " << at << " of the sound";
}

// Long: the whole demo in real time, stopped for 3 s on the way. The demo's
// clock is the wall clock, so the stop costs frames, not time: the end
// comes when it would have come without it.
TEST(FullRun, EndsByItselfAfter75SecondsEvenWithAStallOnTheWay)
{
    TempDir dir;
    write_image(dir / "galleri.jpg", 64, 48);
    Launch l;
    l.dir = dir.path;
    l.limit = 120;
    l.stop_at = 5;
    l.stop_for = 3;
    Outcome o = run_demo(l);
    EXPECT_TRUE(o.seen_stopped) << describe(o);
    EXPECT_TRUE(o.seen_continued) << describe(o);
    expect_exit(o, 0);
    // 75 s of demo after a half-second pause, with room for a busy machine.
    EXPECT_GE(o.seconds, 75.0) << describe(o);
    EXPECT_LE(o.seconds, 80.0) << describe(o);
    // Had the stop been added to the run, it would have taken 78.5 s at least.
    EXPECT_LT(o.seconds, 78.0) << describe(o);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}
