// The built program as a separate process: its exit statuses, its silence on
// the terminal, how it ends and what it plays.
#include <gtest/gtest.h>
#include "util.h"
#include <chrono>
#include <errno.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int RATE = 48000;  // frames a second of the audio device the demo opens

struct Launch {
    std::string dir;  // the working directory, with whatever files the case needs
    std::vector<std::string> env{"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};
    double limit = 10;  // seconds before the process is killed and the case fails
    int signal = 0;     // sent after signal_after seconds, if not 0
    double signal_after = 0;
};

struct Outcome {
    bool exited = false;  // by exit(), so status is meaningful
    int status = -1;
    int killed_by = 0;  // the signal that ended it, if it did not exit
    bool hung = false;  // still running at the limit
    bool ended_before_signal = false;
    double seconds = 0;       // from start to end
    double after_signal = 0;  // from the signal to the end
    std::string out, err;
};

std::string slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void start(const Launch &l, const std::string &out_path, const std::string &err_path,
           pid_t *pid_out)
{
    std::vector<std::string> env = l.env;
    // A system that needs it to find SDL at all would otherwise make every
    // case fail for a reason that has nothing to do with the demo.
    if (const char *p = getenv("LD_LIBRARY_PATH"))
        env.push_back(std::string("LD_LIBRARY_PATH=") + p);
    std::vector<char *> envp;
    for (auto &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    char *argv[] = {const_cast<char *>(DEMO_BINARY), nullptr};

    int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int report[2];
    ASSERT_TRUE(in >= 0 && out >= 0 && err >= 0);
    ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // SDL turns SIGINT and SIGTERM into a quit event only when it finds
        // them at their defaults; a runner started in the background, for
        // one, hands SIGINT down ignored. Its own session keeps terminal
        // signals meant for the runner away from it.
        setsid();
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction dfl;
        memset(&dfl, 0, sizeof dfl);
        dfl.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; sig++)
            sigaction(sig, &dfl, nullptr);
        if (chdir(l.dir.c_str()) == 0 && dup2(in, 0) >= 0 && dup2(out, 1) >= 0 &&
            dup2(err, 2) >= 0)
            execve(DEMO_BINARY, argv, envp.data());
        int e = errno;
        ssize_t n = write(report[1], &e, sizeof e);
        (void)n;
        _exit(127);
    }
    close(in);
    close(out);
    close(err);
    close(report[1]);
    int e = 0;
    ssize_t n = read(report[0], &e, sizeof e);
    close(report[0]);
    if (n > 0) {
        waitpid(pid, nullptr, 0);
        FAIL() << "could not start " << DEMO_BINARY << ": " << strerror(e);
    }
    *pid_out = pid;
}

// Runs the demo to its end or to the limit, whichever comes first; a hang
// costs the limit and a failure, never the whole suite.
Outcome run_demo(const Launch &l)
{
    Outcome o;
    TempDir logs;  // apart from l.dir, so the demo finds only what a case put there
    pid_t pid = -1;
    Clock::time_point t0 = Clock::now();
    start(l, logs / "out", logs / "err", &pid);
    if (pid < 0)
        return o;

    Clock::time_point signalled;
    bool sent = false;
    int st = 0;
    for (;;) {
        pid_t r = waitpid(pid, &st, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR) {
            ADD_FAILURE() << "waitpid: " << strerror(errno);
            return o;
        }
        if (since(t0) > l.limit) {
            o.hung = true;
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            break;
        }
        if (l.signal && !sent && since(t0) >= l.signal_after) {
            kill(pid, l.signal);
            signalled = Clock::now();
            sent = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    o.seconds = since(t0);
    o.ended_before_signal = l.signal && !sent;
    if (sent)
        o.after_signal = since(signalled);
    o.exited = WIFEXITED(st);
    o.status = o.exited ? WEXITSTATUS(st) : -1;
    o.killed_by = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
    o.out = slurp(logs / "out");
    o.err = slurp(logs / "err");
    return o;
}

// The facts a failure message needs, whatever was being checked.
std::string describe(const Outcome &o)
{
    std::string d = o.hung ? "still running at the limit" :
                    o.exited ? "exited with " + std::to_string(o.status) :
                               "ended by signal " + std::to_string(o.killed_by);
    d += " after " + std::to_string(o.seconds) + " s";
    if (!o.err.empty())
        d += "; stderr: " + o.err;
    return d;
}

void expect_exit(const Outcome &o, int status)
{
    EXPECT_FALSE(o.hung) << describe(o);
    EXPECT_TRUE(o.exited) << describe(o);
    EXPECT_EQ(o.status, status) << describe(o);
}

// Ends a run that must not end by itself before the signal, as a user or
// the system would end it.
Outcome run_until(const std::string &dir, int sig, std::vector<std::string> env = {})
{
    Launch l;
    l.dir = dir;
    if (!env.empty())
        l.env = env;
    l.signal = sig;
    l.signal_after = 2;
    l.limit = 12;
    return run_demo(l);
}

void expect_clean_stop(const Outcome &o)
{
    EXPECT_FALSE(o.ended_before_signal) << describe(o);
    expect_exit(o, 0);
    EXPECT_LT(o.after_signal, 5) << describe(o);
}

std::vector<std::string> disk_audio(const std::string &raw)
{
    // The delay makes the writer keep pace with the wall clock, as a sound
    // card would, instead of filling the disk as fast as it can.
    return {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + raw,
            "SDL_DISKAUDIODELAY=21"};
}

std::vector<Sint16> samples(const std::string &bytes)
{
    std::vector<Sint16> v(bytes.size() / 2);
    for (size_t i = 0; i < v.size(); i++)
        v[i] = (Sint16)((Uint8)bytes[2 * i] | (Uint8)bytes[2 * i + 1] << 8);
    return v;
}

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

// Long: the whole demo in real time.
TEST(FullRun, EndsByItselfAfter75Seconds)
{
    TempDir dir;
    write_image(dir / "galleri.jpg", 64, 48);
    Launch l;
    l.dir = dir.path;
    l.limit = 120;
    Outcome o = run_demo(l);
    expect_exit(o, 0);
    // 75 s of demo after a half-second pause, with room for a busy machine.
    EXPECT_GE(o.seconds, 75.0) << describe(o);
    EXPECT_LE(o.seconds, 80.0) << describe(o);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}
