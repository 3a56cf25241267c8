// The capture tool as a process, against the demo's own frames: the same
// SDL_main run here on a scripted clock with the same frame times and seed.
#include <gtest/gtest.h>
#include <SDL_image.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <functional>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>
#include "scripted.h"
#include "util.h"
#include "vaskiloimu.h"

namespace {

const size_t FRAME = 640 * 480 * 4;

struct Ran {
    int status = -1;
    std::string out;  // stdout and stderr together
};

Ran shell(const std::string &cmd)
{
    Ran r;
    FILE *p = popen((cmd + " </dev/null 2>&1").c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;)
        r.out.append(buf, n);
    int st = p ? pclose(p) : -1;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// The capture tool in dir; prefix goes before it, e.g. to change its environment.
Ran capture(const std::string &dir, const std::vector<std::string> &args,
            const std::string &prefix = "")
{
    std::string cmd = "cd '" + dir + "' && " + prefix + " '" CAPTURE_BINARY "'";
    for (const std::string &a : args)
        cmd += " '" + a + "'";
    return shell(cmd);
}

std::string slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A folder with the demo's media: a test picture and three seconds of music.
struct Media {
    TempDir dir;
    explicit Media(bool image = true, bool music = true)
    {
        if (image)
            write_image(dir / "galleri.jpg", 300, 200);
        if (music) {
            EXPECT_EQ(shell("ffmpeg -v error -f lavfi -i sine=sample_rate=48000:duration=3 "
                            "-ac 2 -c:a libvorbis '" + dir / "musa.ogg" + "'").status, 0);
        }
    }
};

// The video's frame times at fps before ms, then ms.
std::vector<Sint32> times_to(Sint32 ms, int fps)
{
    std::vector<Sint32> v;
    for (Sint64 n = 0; n * 1000 / fps < ms; n++)
        v.push_back((Sint32)(n * 1000 / fps));
    v.push_back(ms);
    return v;
}

// The demo's SDL_main with the media in dir and srand seed: frame k is drawn
// at clock value times[k] (times[0] is 0) and seen by see; then it is asked to quit.
void play(const std::string &dir, Uint32 seed, const std::vector<Sint32> &times,
          const std::function<void(Sint32)> &see)
{
    InDir in(dir);
    const Uint32 start = 1000 + 500;
    scripted::reset(1000);
    scripted::now = seed;
    size_t next = 1;
    scripted::on_flip = [&] {
        see((Sint32)(scripted::ticks - start));
        if (next < times.size())
            scripted::ticks = start + (Uint32)times[next++];
        else
            scripted::events.push_back(scripted::quit());
    };
    EXPECT_EQ(SDL_main(0, nullptr), 0);
    scripted::on_flip = nullptr;
    scripted::release();
}

// The demo's frame at ms after the video's frames at fps before it.
std::vector<Uint8> frame_at(const std::string &dir, Uint32 seed, Sint32 ms, int fps)
{
    std::vector<Uint8> f;
    play(dir, seed, times_to(ms, fps), [&](Sint32 t) {
        if (t == ms)
            f.assign((const Uint8 *)s->pixels, (const Uint8 *)s->pixels + FRAME);
    });
    EXPECT_EQ(f.size(), FRAME) << "no frame at " << ms;
    return f;
}

// How many pixels of the PNG at path differ from want in B, G or R; the
// first is described in where.
int differences(const std::vector<Uint8> &want, const std::string &path, std::string &where)
{
    SDL_Surface *png = IMG_Load(path.c_str());
    if (!png || png->w != 640 || png->h != 480 || want.size() != FRAME) {
        where = path + " cannot be compared";
        SDL_FreeSurface(png);
        return -1;
    }
    int n = 0;
    for (int y = 0; y < 480; y++) {
        for (int x = 0; x < 640; x++) {
            const Uint8 *w = &want[4 * (y * 640 + x)];
            const Uint8 *p = (const Uint8 *)png->pixels + y * png->pitch + x * png->format->BytesPerPixel;
            Uint32 v = 0;
            memcpy(&v, p, png->format->BytesPerPixel);
            Uint8 r, g, b;
            SDL_GetRGB(v, png->format, &r, &g, &b);
            if ((w[0] != b || w[1] != g || w[2] != r) && n++ == 0)
                where = "first at " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    SDL_FreeSurface(png);
    return n;
}

// What the cksum program prints for these bytes.
std::string cksum(const Uint8 *p, size_t n)
{
    static Uint32 table[256];
    static bool made = false;
    for (Uint32 i = 0; !made && i < 256; i++) {
        Uint32 c = i << 24;
        for (int k = 0; k < 8; k++)
            c = c & 0x80000000u ? (c << 1) ^ 0x04C11DB7u : c << 1;
        table[i] = c;
    }
    made = true;
    Uint32 crc = 0;
    for (size_t i = 0; i < n; i++)
        crc = (crc << 8) ^ table[(crc >> 24) ^ p[i]];
    for (size_t len = n; len; len >>= 8)
        crc = (crc << 8) ^ table[(crc >> 24) ^ (len & 0xFF)];
    return std::to_string(~crc) + " " + std::to_string(n);
}

}

TEST(CaptureOptions, BadOptionsAreRefusedInOneLine)
{
    Media m(true, false);
    std::vector<std::vector<std::string>> cases = {
        {"--fps", "0"}, {"--fps", "-1"}, {"--fps", "abc"}, {"--fps", "1001"}, {"--fps"},
        {"--seed", "-5"}, {"--frobnicate"}, {"stray"}, {"--still", "1000"},
        {"--still", "75001", "--out-dir", "x"}, {"--still", "10,,20", "--out-dir", "x"},
        {"--still", "10", "--out-dir", "x", "--out", "v.mkv"}, {"--out-dir", "x"},
        {"--out", "v.avi"}, {"--quiet=yes"}};
    for (const auto &args : cases) {
        Ran r = capture(m.dir.path, args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.out.rfind("vaskiloimu-capture: ", 0), 0u) << r.out;
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "not one line: " << r.out;
    }
    EXPECT_NE(capture(m.dir.path, {"--fps", "abc"}).out.find("--fps"), std::string::npos);
    EXPECT_NE(capture(m.dir.path, {"--frobnicate"}).out.find("--frobnicate"), std::string::npos);
    EXPECT_NE(capture(m.dir.path, {"--still", "5"}).out.find("--out-dir"), std::string::npos);
    EXPECT_FALSE(exists(m.dir / "vaskiloimu.mkv"));
    EXPECT_FALSE(exists(m.dir / "x"));
    Ran help = capture(m.dir.path, {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char *o : {"--fps", "--seed", "--out", "--still", "--out-dir", "--media", "--quiet"})
        EXPECT_NE(help.out.find(o), std::string::npos) << o;
}

TEST(CaptureErrors, UnwritableOutput)
{
    Media m;
    write_file(m.dir / "plain", "not a folder");
    mkdir((m.dir / "folder").c_str(), 0755);
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"--out", "plain/v.mkv"}, {"--out", "folder"},
             {"--still", "100", "--out-dir", "plain/stills"}, {"--still", "100", "--out-dir", "plain"}}) {
        Ran r = capture(m.dir.path, args);
        EXPECT_EQ(r.status, 1) << args[1] << ": " << r.out;
        EXPECT_NE(r.out.find("cannot"), std::string::npos) << r.out;
    }
    EXPECT_EQ(slurp(m.dir / "plain"), "not a folder");
}

TEST(CaptureErrors, MissingMedia)
{
    Media none(false, false), silent(true, false);
    for (const auto &args : std::vector<std::vector<std::string>>{
             {}, {"--still", "0", "--out-dir", "st"}, {"--media", "absent"}}) {
        Ran r = capture(none.dir.path, args);
        EXPECT_EQ(r.status, 2) << r.out;
        std::string named = args.size() == 2 ? "absent" : "galleri.jpg";
        EXPECT_NE(r.out.find(named), std::string::npos) << r.out;
    }
    // A video needs the music, a still does not; both find the media through
    // --media and write where they were started.
    Ran r = capture(none.dir.path, {"--media", silent.dir.path, "--out", "v.mkv"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("musa.ogg"), std::string::npos) << r.out;
    r = capture(none.dir.path, {"--media", silent.dir.path, "--still", "0", "--out-dir", "st", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(exists(none.dir / "st/still-00000.png"));
}

TEST(CaptureErrors, NoFfmpeg)
{
    Media m;
    TempDir empty;
    Ran r = capture(m.dir.path, {"--fps", "5", "--out", "v.mkv"}, "env PATH=" + empty.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("install the Debian package ffmpeg"), std::string::npos) << r.out;
    EXPECT_FALSE(exists(m.dir / "v.mkv"));
    EXPECT_FALSE(exists(m.dir / "v.mkv.part"));
}

// Each still must be the demo's frame at its clock value after exactly the
// video's frames before it, however many others were asked for at once: at
// 7 fps on and off the frame times, in both fire windows and at the end; at
// 30 fps, where a third of the frame times would change if rounded rather
// than truncated, and with them where the swinging patch was seeded.
TEST(CaptureStills, AreTheDemosFrames)
{
    Media m(true, false);
    struct Case {
        int fps;
        Uint32 seed;
        std::vector<Sint32> at;
    };
    for (const Case &c : {Case{7, 4242, {0, 18000, 28857, 29050, 31199, 40000, 64299, 75000}},
                          Case{30, 99, {31199}}}) {
        std::string list, dir = "stills" + std::to_string(c.fps), where;
        for (Sint32 t : c.at)
            list += (list.empty() ? "" : ",") + std::to_string(t);
        Ran r = capture(m.dir.path, {"--fps", std::to_string(c.fps), "--seed", std::to_string(c.seed),
                                     "--still", list, "--out-dir", dir, "--media", m.dir.path});
        ASSERT_EQ(r.status, 0) << r.out;
        for (Sint32 t : c.at) {
            char name[32];
            snprintf(name, sizeof name, "/still-%05d.png", (int)t);
            std::string png = m.dir / dir + name;
            int n = differences(frame_at(m.dir.path, c.seed, t, c.fps), png, where);
            EXPECT_EQ(n, 0) << "still at " << t << " at " << c.fps << " fps: " << where;
            // The fire shows here, so a wrong seed would be seen.
            if (t == 40000) {
                EXPECT_GT(differences(frame_at(m.dir.path, c.seed + 1, t, c.fps), png, where), 1000);
            }
        }
    }
}

// A stand-in ffmpeg records its arguments and the checksum of each frame it
// is fed: the demo's frames as bytes B, G, R, 0, at every frame time of the
// whole run up to and including the last.
TEST(CaptureVideo, FeedsTheDemosFramesToFfmpeg)
{
    Media m;
    TempDir bin;
    write_file(bin / "ffmpeg", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + bin / "args" + "'\n"
                               "exec split -b 1228800 --filter='cksum >> " + bin / "sums" + "' -\n");
    chmod((bin / "ffmpeg").c_str(), 0755);
    Ran r = capture(m.dir.path, {"--fps", "2", "--seed", "777", "--out", "v.mkv", "--quiet"},
                    "env PATH=" + bin.path + ":$PATH");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(exists(m.dir / "v.mkv"));
    EXPECT_FALSE(exists(m.dir / "v.mkv.part"));

    std::string args = slurp(bin / "args");
    for (const std::string &want : std::vector<std::string>{"\n-framerate\n2\n", "\n-pix_fmt\nbgr0\n",
             "\n-video_size\n640x480\n", "\n-i\npipe:0\n", m.dir / "musa.ogg\n"})
        EXPECT_NE(args.find(want), std::string::npos) << want << " not in\n" << args;

    std::vector<std::string> sums;
    std::istringstream in(slurp(bin / "sums"));
    for (std::string line; std::getline(in, line);)
        sums.push_back(line);
    std::vector<Sint32> times = times_to(75000, 2);
    ASSERT_EQ(sums.size(), 151u);
    size_t k = 0;
    std::vector<Uint8> f(FRAME);
    play(m.dir.path, 777, times, [&](Sint32 t) {
        memcpy(f.data(), s->pixels, FRAME);
        for (size_t i = 3; i < FRAME; i += 4)
            f[i] = 0;
        if (k < sums.size()) {
            EXPECT_EQ(sums[k], cksum(f.data(), FRAME)) << "frame " << k << " at " << t;
        }
        k++;
    });
    EXPECT_EQ(k, times.size());
}

// The real ffmpeg: each container decodes to the whole run's frames at
// 640x480 with the music, and nothing else is left behind.
TEST(CaptureVideo, ContainersDecode)
{
    Media m;
    struct Case {
        const char *name, *video, *audio;
    };
    for (Case c : {Case{"v.mkv", "h264", "vorbis"}, Case{"v.mp4", "h264", "aac"},
                   Case{"v.webm", "vp9", "vorbis"}}) {
        Ran r = capture(m.dir.path, {"--fps", "5", "--seed", "1", "--out", c.name});
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.out;
        EXPECT_NE(r.out.find("376 frames"), std::string::npos) << r.out;
        EXPECT_FALSE(exists(m.dir / c.name + ".part"));
        Ran p = shell("ffprobe -v error -count_frames -show_entries "
                      "stream=codec_type,codec_name,width,height,nb_read_frames "
                      "-of default=noprint_wrappers=1 '" + m.dir / c.name + "'");
        ASSERT_EQ(p.status, 0) << p.out;
        EXPECT_NE(p.out.find(std::string("codec_name=") + c.video +
                             "\ncodec_type=video\nwidth=640\nheight=480\nnb_read_frames=376\n"),
                  std::string::npos) << c.name << ":\n" << p.out;
        EXPECT_NE(p.out.find(std::string("codec_name=") + c.audio + "\ncodec_type=audio\n"),
                  std::string::npos) << c.name << ":\n" << p.out;
    }
}
