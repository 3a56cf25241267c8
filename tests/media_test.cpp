// The built program with damaged and unusual media: it never crashes or
// hangs. A picture it cannot read ends it at once with status 2; any picture
// it can read, and any music file at all, lets it run until it is told to
// stop, and music that cannot be played is left out rather than played as
// noise. All cases of a test run side by side.
#include "launch.h"
#include "media.h"

namespace {

// An Ogg Vorbis tone of the given length, rate and channel count.
void ogg(const std::string &path, int seconds, int rate, int channels)
{
    tool({"sox", "-n", "-r", std::to_string(rate), "-c", std::to_string(channels), "-t", "ogg", path,
          "synth", std::to_string(seconds), "sine", "440", "gain", "-6"});
}

// Where the n-th Ogg page (from 0) starts.
size_t ogg_page(const std::string &b, int n)
{
    size_t at = std::string::npos;
    for (int i = 0; i <= n; i++) {
        at = b.find("OggS", at == std::string::npos ? 0 : at + 4);
        if (at == std::string::npos)
            break;
    }
    return at;
}

struct Case {
    const char *what;
    std::function<void(const std::string &path)> make;
};

}  // namespace

// Each is cut or forged from a picture that loads; none gets past IMG_Load.
TEST(Media, UnreadablePicturesEndItWithStatus2)
{
    const Case cases[] = {
        {"a JPEG cut off before its scan",
         [](const std::string &p) {
             jpeg(p, 600, 420);
             size_t sos = jpeg_marker(read_bytes(p), 0xDA);
             ASSERT_NE(sos, std::string::npos);
             cut(p, sos);
         }},
        {"a JPEG cut inside its tables",
         [](const std::string &p) {
             jpeg(p, 600, 420);
             size_t dht = jpeg_marker(read_bytes(p), 0xC4);
             ASSERT_NE(dht, std::string::npos);
             cut(p, dht + 10);
         }},
        // The pixels would take 12 GB; the allocation fails and the loader
        // gives up, rather than the demo running out of memory later.
        {"a JPEG whose header claims 65500x65500",
         [](const std::string &p) {
             jpeg(p, 600, 420);
             std::string b = read_bytes(p);
             size_t sof = jpeg_marker(b, 0xC0);
             ASSERT_NE(sof, std::string::npos);
             b[sof + 5] = b[sof + 7] = (char)0xFF;
             b[sof + 6] = b[sof + 8] = (char)0xDC;
             write_file(p, b);
         }},
        {"a PNG cut in half",
         [](const std::string &p) {
             picture(p, 600, 420, {}, "PNG24");
             cut(p, read_bytes(p).size() / 2);
         }},
        {"a BMP cut in half",
         [](const std::string &p) {
             write_image(p, 600, 420);
             cut(p, read_bytes(p).size() / 2);
         }},
        {"a BMP of 0x0 pixels",
         [](const std::string &p) {
             write_image(p, 4, 4);
             std::string b = read_bytes(p);
             b.replace(18, 8, std::string(8, '\0'));
             write_file(p, b);
         }},
    };
    std::vector<TempDir> dirs(std::size(cases));
    std::vector<Launch> launches;
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(cases[i].what);
        cases[i].make(dirs[i] / "galleri.jpg");
        if (HasFatalFailure())
            return;
        Launch l;
        l.dir = dirs[i].path;
        launches.push_back(l);
    }
    std::vector<Outcome> outcomes = run_demos(launches);
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(cases[i].what);
        const Outcome &o = outcomes[i];
        expect_exit(o, 2);
        EXPECT_EQ(o.out, "");
        // libpng reports what it found wrong on stderr itself; the rest
        // fail without a word.
        if (std::string(cases[i].what).find("PNG") == std::string::npos) {
            EXPECT_EQ(o.err, "");
        }
    }
}

// The pictures the scripted runs show, in the real program: each runs until
// it is told to stop, and then stops cleanly, without a word.
TEST(Media, ReadablePicturesRunUntilStopped)
{
    std::vector<ImageCase> cases = loadable_images();
    std::vector<TempDir> dirs(cases.size());
    std::vector<Launch> launches;
    for (size_t i = 0; i < cases.size(); i++) {
        SCOPED_TRACE(cases[i].what);
        cases[i].make(dirs[i] / "galleri.jpg");
        if (HasFatalFailure())
            return;
        launches.push_back(until(dirs[i].path, SIGTERM));
    }
    std::vector<Outcome> outcomes = run_demos(launches);
    for (size_t i = 0; i < cases.size(); i++) {
        SCOPED_TRACE(cases[i].what);
        expect_clean_stop(outcomes[i]);
        EXPECT_EQ(outcomes[i].out, "");
        EXPECT_EQ(outcomes[i].err, "");
    }
}

// Music is never a reason to stop: the demo runs until told to, and ends
// with status 0. What SDL_mixer can decode is heard (a mono file on both
// channels alike, a 44.1 kHz one however the SDL in use converts it, a cut
// one as far as it goes); anything else leaves the demo silent.
TEST(Media, AnyMusicFileLetsItRunAndOnlyPlayableOnesSound)
{
    struct MusicCase {
        const char *what;
        std::function<void(const std::string &path)> make;
        bool sound;
        bool mono = false;
    };
    const MusicCase cases[] = {
        {"missing", [](const std::string &) {}, false},
        {"empty", [](const std::string &p) { write_file(p, ""); }, false},
        {"a directory", [](const std::string &p) { ASSERT_EQ(mkdir(p.c_str(), 0755), 0); }, false},
        {"a picture", [](const std::string &p) { jpeg(p, 64, 48); }, false},
        {"an MP3",
         [](const std::string &p) {
             tool({"sox", "-n", "-r", "48000", "-c", "2", "-t", "mp3", p, "synth", "3", "sine", "440", "gain",
                   "-6"});
         },
         false},
        {"an Ogg cut inside its headers",
         [](const std::string &p) {
             ogg(p, 3, 48000, 2);
             std::string b = read_bytes(p);
             size_t second = ogg_page(b, 1), third = ogg_page(b, 2);
             ASSERT_NE(third, std::string::npos);
             cut(p, (second + third) / 2);
         },
         false},
        {"an Ogg cut in half",
         [](const std::string &p) {
             ogg(p, 8, 48000, 2);
             std::string b = read_bytes(p);
             ASSERT_GT(b.size() / 2, ogg_page(b, 3)) << "too short to keep any sound";
             cut(p, b.size() / 2);
         },
         true},
        {"a mono Ogg", [](const std::string &p) { ogg(p, 3, 48000, 1); }, true, true},
        {"a 44.1 kHz Ogg", [](const std::string &p) { ogg(p, 3, 44100, 2); }, true},
    };
    const size_t n = std::size(cases);
    std::vector<TempDir> dirs(n), sinks(n);
    std::vector<Launch> launches;
    for (size_t i = 0; i < n; i++) {
        SCOPED_TRACE(cases[i].what);
        write_image(dirs[i] / "galleri.jpg", 64, 48);
        cases[i].make(dirs[i] / "musa.ogg");
        if (HasFatalFailure())
            return;
        launches.push_back(until(dirs[i].path, SIGTERM, disk_audio(sinks[i] / "out.raw")));
    }
    std::vector<Outcome> outcomes = run_demos(launches);
    for (size_t i = 0; i < n; i++) {
        SCOPED_TRACE(cases[i].what);
        const Outcome &o = outcomes[i];
        expect_clean_stop(o);
        EXPECT_EQ(o.out, "");

        std::vector<Sint16> rec = samples(slurp(sinks[i] / "out.raw"));
        size_t frames = rec.size() / 2, loud = 0, lopsided = 0;
        for (size_t f = 0; f < frames; f++) {
            loud += rec[2 * f] != 0 || rec[2 * f + 1] != 0;
            lopsided += rec[2 * f] != rec[2 * f + 1];
        }
        if (cases[i].sound) {
            // A tenth of a second at least, of the second or so after the pause.
            EXPECT_GE(loud, (size_t)RATE / 10) << "of " << frames << " frames";
        } else {
            // Well past the half-second pause, or silence would prove nothing.
            EXPECT_GT(frames, (size_t)RATE * 3 / 4);
            EXPECT_EQ(loud, 0u) << "of " << frames << " frames";
        }
        // One channel goes to both; read as two, it would differ.
        if (cases[i].mono) {
            EXPECT_EQ(lopsided, 0u) << "of " << frames << " frames";
        }
    }
}
