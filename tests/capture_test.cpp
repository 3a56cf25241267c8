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

// Runs the capture tool in dir; prefix goes before the command, e.g. to
// change its environment.
Ran capture(const std::string &dir, const std::vector<std::string> &args,
            const std::string &prefix = "")
{
    std::string cmd = "cd '" + dir + "' && " + prefix + " '" CAPTURE_BINARY "'";
    for (const std::string &a : args)
        cmd += " '" + a + "'";
    cmd += " </dev/null 2>&1";
    Ran r;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
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

// A folder with the demo's media: a test picture and, if asked, three
// seconds of music in Ogg Vorbis.
struct Media {
    TempDir dir;
    explicit Media(bool image = true, bool music = true)
    {
        if (image)
            write_image(dir / "galleri.jpg", 300, 200);
        if (music) {
            std::string cmd = "ffmpeg -v error -f lavfi -i sine=frequency=440:sample_rate=48000:"
                              "duration=3 -ac 2 -c:a libvorbis -y '" + dir / "musa.ogg" + "'";
            EXPECT_EQ(system(cmd.c_str()), 0) << "ffmpeg could not make the music";
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
// at clock value times[k] (times[0] is 0), seen by see as it is shown; then
// the script asks to quit.
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
    free(firekg);
    firekg = nullptr;
    SDL_FreeSurface(ims[0]);
    if (s != naytto)
        SDL_FreeSurface(s);
    Mix_FreeChunk(musa);
    Mix_CloseAudio();
    SDL_Quit();
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

// A PNG as a 640x480 surface of 32-bit pixels, or null.
SDL_Surface *load(const std::string &path)
{
    SDL_Surface *png = IMG_Load(path.c_str());
    EXPECT_NE(png, nullptr) << path << ": " << IMG_GetError();
    if (!png)
        return nullptr;
    EXPECT_EQ(png->w, 640);
    EXPECT_EQ(png->h, 480);
    SDL_Surface *like = SDL_CreateRGBSurface(SDL_SWSURFACE, 1, 1, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    SDL_Surface *got = SDL_ConvertSurface(png, like->format, SDL_SWSURFACE);
    SDL_FreeSurface(like);
    SDL_FreeSurface(png);
    if (got && (got->w != 640 || got->h != 480)) {
        SDL_FreeSurface(got);
        got = nullptr;
    }
    return got;
}

// How many pixels differ in B, G or R; the first is described in where.
int differences(const std::vector<Uint8> &want, SDL_Surface *got, std::string &where)
{
    int n = 0;
    for (int y = 0; y < 480; y++) {
        for (int x = 0; x < 640; x++) {
            const Uint8 *w = &want[4 * (y * 640 + x)];
            Uint8 r, g, b;
            SDL_GetRGB(*(Uint32 *)((Uint8 *)got->pixels + y * got->pitch + 4 * x), got->format,
                       &r, &g, &b);
            if (w[0] == b && w[1] == g && w[2] == r)
                continue;
            if (n++ == 0) {
                std::ostringstream m;
                m << "pixel " << x << "," << y << " is B,G,R " << (int)b << "," << (int)g << ","
                  << (int)r << ", not " << (int)w[0] << "," << (int)w[1] << "," << (int)w[2];
                where = m.str();
            }
        }
    }
    return n;
}

// The checksum the cksum program prints, over the bytes then their count.
Uint32 cksum(const Uint8 *p, size_t n)
{
    static Uint32 table[256];
    if (!table[1])
        for (Uint32 i = 0; i < 256; i++) {
            Uint32 c = i << 24;
            for (int k = 0; k < 8; k++)
                c = c & 0x80000000u ? (c << 1) ^ 0x04C11DB7u : c << 1;
            table[i] = c;
        }
    Uint32 crc = 0;
    for (size_t i = 0; i < n; i++)
        crc = (crc << 8) ^ table[(crc >> 24) ^ p[i]];
    for (size_t len = n; len; len >>= 8)
        crc = (crc << 8) ^ table[(crc >> 24) ^ (len & 0xFF)];
    return ~crc;
}

}

TEST(CaptureOptions, BadOptionsAreRefused)
{
    Media m(true, false);
    std::vector<std::vector<std::string>> cases = {
        {"--fps", "0"},          {"--fps", "-1"},         {"--fps", "abc"},
        {"--fps", "1001"},       {"--fps"},               {"--seed", "-5"},
        {"--frobnicate"},        {"stray"},               {"--still", "1000"},
        {"--still", "75001", "--out-dir", "x"},           {"--still", "10,,20", "--out-dir", "x"},
        {"--still", "10", "--out-dir", "x", "--out", "v.mkv"},
        {"--out-dir", "x"},      {"--out", "v.avi"},      {"--quiet=yes"},
    };
    for (const auto &args : cases) {
        std::string shown;
        for (const std::string &a : args)
            shown += a + " ";
        Ran r = capture(m.dir.path, args);
        EXPECT_EQ(r.status, 1) << shown;
        EXPECT_EQ(r.out.rfind("vaskiloimu-capture: ", 0), 0u) << shown << ": " << r.out;
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << shown << ": not one line: " << r.out;
    }
    EXPECT_NE(capture(m.dir.path, {"--fps", "abc"}).out.find("--fps"), std::string::npos);
    EXPECT_NE(capture(m.dir.path, {"--frobnicate"}).out.find("--frobnicate"), std::string::npos);
    EXPECT_NE(capture(m.dir.path, {"--still", "5"}).out.find("--out-dir"), std::string::npos);
    EXPECT_FALSE(exists(m.dir / "vaskiloimu.mkv"));
    EXPECT_FALSE(exists(m.dir / "x"));
}

TEST(CaptureOptions, Help)
{
    Media m(false, false);
    Ran r = capture(m.dir.path, {"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char *o : {"--fps", "--seed", "--out", "--still", "--out-dir", "--media", "--quiet"})
        EXPECT_NE(r.out.find(o), std::string::npos) << o;
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
             {}, {"--still", "0", "--out-dir", "stills"}}) {
        Ran r = capture(none.dir.path, args);
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find("galleri.jpg"), std::string::npos) << r.out;
    }
    Ran r = capture(none.dir.path, {"--media", "absent"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("absent"), std::string::npos) << r.out;

    // Media found through --media; a video needs the music, a still does not.
    r = capture(none.dir.path, {"--media", silent.dir.path, "--out", "v.mkv"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("musa.ogg"), std::string::npos) << r.out;
    r = capture(none.dir.path, {"--media", silent.dir.path, "--still", "0", "--out-dir", "st", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(exists(none.dir / "st/still-00000.png"));
    EXPECT_FALSE(exists(silent.dir / "st"));
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

// Stills on and off the frame times at 7 fps, whose frame times are
// truncated, in both fire windows and at the very end. Each must be the
// demo's frame at that clock value after exactly the video's frames before
// it, however many other stills were asked for in the same call.
TEST(CaptureStills, AreTheDemosFrames)
{
    Media m(true, false);
    const Uint32 seed = 4242;
    const std::vector<Sint32> at = {0, 18000, 28857, 29050, 31199, 40000, 64299, 75000};
    std::string list;
    for (Sint32 t : at)
        list += (list.empty() ? "" : ",") + std::to_string(t);
    Ran r = capture(m.dir.path, {"--fps", "7", "--seed", std::to_string(seed), "--still", list,
                                 "--out-dir", "stills", "--media", m.dir.path});
    ASSERT_EQ(r.status, 0) << r.out;
    for (Sint32 t : at) {
        char name[32];
        snprintf(name, sizeof name, "stills/still-%05d.png", (int)t);
        SDL_Surface *got = load(m.dir / name);
        ASSERT_NE(got, nullptr) << name;
        std::string where;
        int n = differences(frame_at(m.dir.path, seed, t, 7), got, where);
        EXPECT_EQ(n, 0) << "still at " << t << ": " << n << " pixels differ; " << where;
        if (t == 40000) {
            // The fire shows in this frame, so a wrong seed would be seen.
            EXPECT_GT(differences(frame_at(m.dir.path, seed + 1, t, 7), got, where), 1000);
        }
        SDL_FreeSurface(got);
    }
}

// Frame times are truncated, not rounded: at 30 fps a third of them would
// differ by a millisecond, and with them where the swinging patch was seeded.
TEST(CaptureStills, FollowTruncatedFrameTimes)
{
    Media m(true, false);
    Ran r = capture(m.dir.path, {"--fps", "30", "--seed", "99", "--still", "31199", "--out-dir",
                                 "stills", "--media", m.dir.path, "--quiet"});
    ASSERT_EQ(r.status, 0) << r.out;
    SDL_Surface *got = load(m.dir / "stills/still-31199.png");
    ASSERT_NE(got, nullptr);
    std::string where;
    int n = differences(frame_at(m.dir.path, 99, 31199, 30), got, where);
    EXPECT_EQ(n, 0) << n << " pixels differ; " << where;
    SDL_FreeSurface(got);
}

// A stand-in ffmpeg records its arguments and the checksum of every frame
// it is fed: the frames must be the demo's, bytes B, G, R and 0, at every
// frame time of the whole run up to and including the last frame.
TEST(CaptureVideo, FeedsTheDemosFramesToFfmpeg)
{
    Media m;
    TempDir bin;
    write_file(bin / "ffmpeg", "#!/bin/sh\n"
                               "printf '%s\\n' \"$@\" > '" + bin / "args" + "'\n"
                               "exec split -b 1228800 --filter='cksum >> " + bin / "sums" + "' -\n");
    chmod((bin / "ffmpeg").c_str(), 0755);
    const int fps = 2;
    const Uint32 seed = 777;
    Ran r = capture(m.dir.path, {"--fps", "2", "--seed", "777", "--out", "v.mkv", "--quiet"},
                    "env PATH=" + bin.path + ":$PATH");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(exists(m.dir / "v.mkv"));
    EXPECT_FALSE(exists(m.dir / "v.mkv.part"));

    std::string args = slurp(bin / "args");
    for (const char *want : {"\n-framerate\n2\n", "\n-pix_fmt\nbgr0\n", "\n-video_size\n640x480\n",
                             "\n-i\npipe:0\n"})
        EXPECT_NE(args.find(want), std::string::npos) << want << " not in\n" << args;
    EXPECT_NE(args.find(m.dir / "musa.ogg"), std::string::npos) << args;

    std::vector<std::string> sums;
    std::istringstream in(slurp(bin / "sums"));
    for (std::string line; std::getline(in, line);)
        sums.push_back(line);
    std::vector<Sint32> times = times_to(75000, fps);
    ASSERT_EQ(times.size(), 151u);
    ASSERT_EQ(sums.size(), times.size());
    size_t k = 0;
    std::vector<Uint8> f(FRAME);
    play(m.dir.path, seed, times, [&](Sint32 t) {
        memcpy(f.data(), s->pixels, FRAME);
        for (size_t i = 3; i < FRAME; i += 4)
            f[i] = 0;
        std::string want = std::to_string(cksum(f.data(), FRAME)) + " " + std::to_string(FRAME);
        ASSERT_LT(k, sums.size());
        EXPECT_EQ(sums[k], want) << "frame " << k << " at " << t;
        k++;
    });
    EXPECT_EQ(k, sums.size());
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
        EXPECT_FALSE(exists(m.dir / (std::string(c.name) + ".part")));
        std::string cmd = "ffprobe -v error -count_frames -show_entries "
                          "stream=codec_type,codec_name,width,height,nb_read_frames "
                          "-of default=noprint_wrappers=1 '" + m.dir / c.name + "'";
        Ran p;
        FILE *f = popen(cmd.c_str(), "r");
        ASSERT_NE(f, nullptr);
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            p.out.append(buf, n);
        ASSERT_EQ(pclose(f), 0) << p.out;
        std::string want = std::string("codec_name=") + c.video +
                           "\ncodec_type=video\nwidth=640\nheight=480\nnb_read_frames=376\n";
        EXPECT_NE(p.out.find(want), std::string::npos) << c.name << ":\n" << p.out;
        EXPECT_NE(p.out.find(std::string("codec_name=") + c.audio + "\ncodec_type=audio\n"),
                  std::string::npos) << c.name << ":\n" << p.out;
    }
}
