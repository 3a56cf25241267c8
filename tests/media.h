// Pictures and sounds of odd kinds, made when a test runs: ImageMagick's
// convert turns the tests' own picture into other formats, sox makes tones,
// and the damaged ones are cut from those. Nothing is fetched, nothing is
// kept in the repository.
#ifndef TEST_MEDIA_H
#define TEST_MEDIA_H

#include <gtest/gtest.h>
#include "util.h"
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

// Runs a program found on the PATH; a failure carries what it said.
inline void tool(const std::vector<std::string> &args)
{
    TempDir logs;
    std::string log = logs / "log";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    int e = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ASSERT_EQ(e, 0) << "cannot run " << args[0] << " (" << strerror(e)
                    << "); the tests need ImageMagick and sox with its Ogg and MP3 formats";
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    std::ifstream f(log, std::ios::binary);
    std::string said((std::istreambuf_iterator<char>(f)), {});
    std::string line;
    for (const std::string &a : args)
        line += a + " ";
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << line << "failed: " << said;
}

inline std::string read_bytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The first n bytes of a file, in place of the file.
inline void cut(const std::string &path, size_t n)
{
    std::string b = read_bytes(path);
    ASSERT_LT(n, b.size()) << path;
    write_file(path, b.substr(0, n));
}

// The tests' picture of w x h (see util.h) in the format convert's options
// and prefix ask for, stored under path.
inline void picture(const std::string &path, int w, int h, const std::vector<std::string> &opts,
                    const std::string &prefix)
{
    TempDir tmp;
    std::string bmp = tmp / "source.bmp";
    write_image(bmp, w, h);
    std::vector<std::string> args{"convert", bmp};
    args.insert(args.end(), opts.begin(), opts.end());
    args.push_back(prefix + ":" + path);
    tool(args);
}

inline void jpeg(const std::string &path, int w, int h, const std::vector<std::string> &opts = {})
{
    picture(path, w, h, opts, "JPEG");
}

// Where marker FF m first starts in a JPEG, or npos.
inline size_t jpeg_marker(const std::string &b, unsigned char m)
{
    size_t i = 2;
    while (i + 4 <= b.size() && (unsigned char)b[i] == 0xFF) {
        if ((unsigned char)b[i + 1] == m)
            return i;
        i += 2 + ((unsigned char)b[i + 2] << 8 | (unsigned char)b[i + 3]);
    }
    return std::string::npos;
}

// A picture that loads, and what must hold for it on the screen: shown(x,
// y, r, g, b) is asked of every pixel of it that is drawn, at image
// coordinates x, y; it may be empty.
struct ImageCase {
    const char *what;
    std::function<void(const std::string &path)> make;
    std::function<bool(int x, int y, Uint8 r, Uint8 g, Uint8 b)> shown;
    bool edges;  // its edges meet or pass the screen's, so every frame's seeds are worth a look
};

inline std::vector<ImageCase> loadable_images()
{
    return {
        // libjpeg decodes what is there and fills the rest with mid grey.
        {"a JPEG cut in half",
         [](const std::string &p) {
             jpeg(p, 600, 420);
             cut(p, read_bytes(p).size() / 2);
         },
         [](int, int y, Uint8 r, Uint8 g, Uint8 b) { return y != 419 || (r == 128 && g == 128 && b == 128); },
         false},
        {"1x1, a palette PNG",
         [](const std::string &p) {
             tool({"convert", "-size", "1x1", "xc:rgb(200,120,40)", "PNG8:" + p});
         },
         [](int, int, Uint8 r, Uint8 g, Uint8 b) { return r == 200 && g == 120 && b == 40; }, false},
        {"2000x1500, larger than the screen", [](const std::string &p) { jpeg(p, 2000, 1500); }, nullptr,
         true},
        {"300x470, down to the screen's last row", [](const std::string &p) { jpeg(p, 300, 470); }, nullptr,
         true},
        {"a grayscale JPEG", [](const std::string &p) { jpeg(p, 600, 420, {"-colorspace", "Gray"}); },
         [](int, int, Uint8 r, Uint8 g, Uint8 b) { return r == g && g == b; }, false},
        {"a progressive JPEG", [](const std::string &p) { jpeg(p, 600, 420, {"-interlace", "JPEG"}); },
         nullptr, false},
        // SDL_image 1.2 hands CMYK on as if it were RGB with alpha: the
        // colours come out wrong, but the demo runs and shows them.
        {"a CMYK JPEG", [](const std::string &p) { jpeg(p, 600, 420, {"-colorspace", "CMYK"}); }, nullptr,
         false},
        {"a PNG",
         [](const std::string &p) { picture(p, 600, 420, {}, "PNG24"); },
         [](int x, int y, Uint8 r, Uint8 g, Uint8 b) {
             Uint8 e[3];
             image_rgb(x, y, 600, &e[0], &e[1], &e[2]);
             return r == e[0] && g == e[1] && b == e[2];
         },
         false},
        {"a BMP with a version 5 header",
         [](const std::string &p) { picture(p, 600, 420, {}, "BMP"); },
         [](int x, int y, Uint8 r, Uint8 g, Uint8 b) {
             Uint8 e[3];
             image_rgb(x, y, 600, &e[0], &e[1], &e[2]);
             return r == e[0] && g == e[1] && b == e[2];
         },
         false},
    };
}

#endif
