// What the tests share: scratch folders, a test picture, and one way to run
// a process.
#ifndef TEST_UTIL_H
#define TEST_UTIL_H

#include <SDL.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// SDL never reaches for a real display or sound card in the tests, unless
// a test asks for it.
static const int headless = setenv("SDL_VIDEODRIVER", "dummy", 0) + setenv("SDL_AUDIODRIVER", "dummy", 0);

struct TempDir {
    std::string path;
    TempDir()
    {
        char tmpl[] = "/tmp/vaskiloimu-test-XXXXXX";
        path = mkdtemp(tmpl) ? tmpl : "";
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

inline void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string slurp(const std::string &path)
{
    std::ostringstream b;
    b << std::ifstream(path, std::ios::binary).rdbuf();
    return b.str();
}

// An asymmetric picture, so a mirror or a swap of red and blue shows, with
// a black (transparent) block at its top left; its pixel (x, y) as the
// word B | G << 8 | R << 16. Saved as BMP: the demo goes by content.
inline Uint32 image_pixel(int x, int y)
{
    if (x < 16 && y < 12)
        return 0;
    return (Uint32)(1 + (x ^ y) % 250) | (Uint32)(10 + y * 3 % 230) << 8 | (Uint32)(40 + (x * 7 + y) % 200) << 16;
}

inline void write_image(const std::string &path, int w, int h)
{
    SDL_Surface *im = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            ((Uint32 *)((Uint8 *)im->pixels + y * im->pitch))[x] = image_pixel(x, y);
    SDL_SaveBMP(im, path.c_str());
    SDL_FreeSurface(im);
}

struct Outcome {
    int status = -1;  // exit status, 128 + signal, or -1 when it had to be killed
    std::string out;  // stdout and stderr together
    double seconds = 0;
};

// Runs argv in dir with env added to the environment, in a session of its
// own with every signal at its default (SDL turns SIGTERM into a quit only
// then). SIGTERM after term_after seconds (0: never), SIGKILL at limit.
inline Outcome run(const std::vector<std::string> &argv, const std::string &dir,
                   const std::vector<std::string> &env = {}, double term_after = 0, double limit = 30)
{
    TempDir out;
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int sig = 1; sig < NSIG; sig++)
            signal(sig, SIG_DFL);
        std::vector<char *> a;
        for (const std::string &s : env)
            putenv(const_cast<char *>(s.c_str()));
        for (const std::string &s : argv)
            a.push_back(const_cast<char *>(s.c_str()));
        a.push_back(nullptr);
        int fd = open((out / "o").c_str(), O_WRONLY | O_CREAT, 0644);
        if (chdir(dir.c_str()) == 0 && dup2(fd, 1) >= 0 && dup2(fd, 2) >= 0)
            execv(a[0], a.data());
        _exit(127);
    }
    Outcome o;
    int st = 0;
    while (waitpid(pid, &st, WNOHANG) == 0) {
        double before = o.seconds;
        o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (term_after > 0 && before < term_after && o.seconds >= term_after)
            kill(pid, SIGTERM);
        if (o.seconds >= limit)
            kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    o.status = o.seconds >= limit ? -1 : WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    o.out = slurp(out / "o");
    return o;
}

#endif
