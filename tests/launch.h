// The built program as a separate process: started in a folder of the
// test's making, stopped, continued or signalled on a schedule, and waited
// for up to a limit. Several can run side by side, so a test with many
// short cases costs about as long as one of them.
//
// Every test program that includes this defines DEMO_BINARY, the path of
// the program to run.
#ifndef TEST_LAUNCH_H
#define TEST_LAUNCH_H

#include <gtest/gtest.h>
#include "util.h"
#include <chrono>
#include <errno.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

const int RATE = 48000;  // frames a second of the audio device the demo opens

struct Launch {
    std::string dir;  // the working directory, with whatever files the case needs
    std::vector<std::string> env{"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};
    double limit = 10;  // seconds before the process is killed and the case fails
    int signal = 0;     // sent after signal_after seconds, if not 0
    double signal_after = 0;
    double stop_at = 0;   // if stop_for > 0: SIGSTOP after stop_at seconds,
    double stop_for = 0;  // and SIGCONT this much later
};

struct Outcome {
    bool exited = false;  // by exit(), so status is meaningful
    int status = -1;
    int killed_by = 0;  // the signal that ended it, if it did not exit
    bool hung = false;  // still running at the limit
    bool ended_before_signal = false;
    bool seen_stopped = false;    // the system reported it stopped
    bool seen_continued = false;  // ... and running again
    double seconds = 0;       // from start to end
    double after_signal = 0;  // from the signal to the end
    std::string out, err;
};

inline std::string slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

inline void start(const Launch &l, const std::string &out_path, const std::string &err_path,
                  pid_t *pid_out)
{
    std::vector<std::string> env = l.env;
    // A system that needs it to find SDL at all would otherwise make every
    // case fail for a reason that has nothing to do with the demo. The
    // sanitizers' settings go through for the same reason.
    for (const char *name : {"LD_LIBRARY_PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char *p = getenv(name))
            env.push_back(std::string(name) + "=" + p);
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

// Runs every launch at once, each to its end or to its limit, whichever
// comes first; a hang costs the limit and a failure, never the whole suite.
inline std::vector<Outcome> run_demos(const std::vector<Launch> &launches)
{
    struct Run {
        TempDir logs;  // apart from the case's folder, so the demo finds only what a case put there
        pid_t pid = -1;
        Clock::time_point t0, signalled;
        bool started = false, sent = false, stop_sent = false, cont_sent = false, done = false;
        int st = 0;
        Outcome o;
    };
    std::vector<std::unique_ptr<Run>> runs;
    for (const Launch &l : launches) {
        runs.push_back(std::make_unique<Run>());
        Run &r = *runs.back();
        r.t0 = Clock::now();
        start(l, r.logs / "out", r.logs / "err", &r.pid);
        r.started = r.pid >= 0;
        r.done = !r.started;
    }

    for (;;) {
        bool busy = false;
        for (size_t i = 0; i < runs.size(); i++) {
            Run &r = *runs[i];
            const Launch &l = launches[i];
            if (r.done)
                continue;
            int st = 0;
            pid_t w = waitpid(r.pid, &st, WNOHANG | WUNTRACED | WCONTINUED);
            if (w < 0 && errno != EINTR) {
                ADD_FAILURE() << "waitpid: " << strerror(errno);
                kill(r.pid, SIGKILL);
                waitpid(r.pid, nullptr, 0);
                r.done = true;
                continue;
            }
            if (w == r.pid && WIFSTOPPED(st)) {
                r.o.seen_stopped = true;
            } else if (w == r.pid && WIFCONTINUED(st)) {
                r.o.seen_continued = true;
            } else if (w == r.pid) {
                r.st = st;
                r.o.seconds = since(r.t0);
                r.done = true;
                continue;
            }
            double t = since(r.t0);
            if (t > l.limit) {
                r.o.hung = true;
                kill(r.pid, SIGKILL);
                waitpid(r.pid, &r.st, 0);
                r.o.seconds = since(r.t0);
                r.done = true;
                continue;
            }
            if (l.stop_for > 0 && !r.stop_sent && t >= l.stop_at) {
                kill(r.pid, SIGSTOP);
                r.stop_sent = true;
            }
            if (r.stop_sent && !r.cont_sent && t >= l.stop_at + l.stop_for) {
                kill(r.pid, SIGCONT);
                r.cont_sent = true;
            }
            if (l.signal && !r.sent && t >= l.signal_after) {
                kill(r.pid, l.signal);
                r.signalled = Clock::now();
                r.sent = true;
            }
            busy = true;
        }
        if (!busy)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    std::vector<Outcome> outcomes;
    for (size_t i = 0; i < runs.size(); i++) {
        Run &r = *runs[i];
        Outcome &o = r.o;
        if (!r.started) {
            outcomes.push_back(o);
            continue;
        }
        o.ended_before_signal = launches[i].signal && !r.sent;
        if (r.sent)
            o.after_signal = since(r.signalled);
        o.exited = WIFEXITED(r.st);
        o.status = o.exited ? WEXITSTATUS(r.st) : -1;
        o.killed_by = WIFSIGNALED(r.st) ? WTERMSIG(r.st) : 0;
        o.out = slurp(r.logs / "out");
        o.err = slurp(r.logs / "err");
        outcomes.push_back(o);
    }
    return outcomes;
}

inline Outcome run_demo(const Launch &l)
{
    return run_demos({l})[0];
}

// The facts a failure message needs, whatever was being checked.
inline std::string describe(const Outcome &o)
{
    std::string d = o.hung ? "still running at the limit" :
                    o.exited ? "exited with " + std::to_string(o.status) :
                               "ended by signal " + std::to_string(o.killed_by);
    d += " after " + std::to_string(o.seconds) + " s";
    if (!o.err.empty())
        d += "; stderr: " + o.err;
    return d;
}

inline void expect_exit(const Outcome &o, int status)
{
    EXPECT_FALSE(o.hung) << describe(o);
    EXPECT_TRUE(o.exited) << describe(o);
    EXPECT_EQ(o.status, status) << describe(o);
}

// A run that must not end by itself before the signal, ended as a user or
// the system would end it.
inline Launch until(const std::string &dir, int sig, std::vector<std::string> env = {})
{
    Launch l;
    l.dir = dir;
    if (!env.empty())
        l.env = env;
    l.signal = sig;
    l.signal_after = 2;
    l.limit = 12;
    return l;
}

inline Outcome run_until(const std::string &dir, int sig, std::vector<std::string> env = {})
{
    return run_demo(until(dir, sig, env));
}

inline void expect_clean_stop(const Outcome &o)
{
    EXPECT_FALSE(o.ended_before_signal) << describe(o);
    expect_exit(o, 0);
    EXPECT_LT(o.after_signal, 5) << describe(o);
}

inline std::vector<std::string> disk_audio(const std::string &raw)
{
    // The delay makes the writer keep pace with the wall clock, as a sound
    // card would, instead of filling the disk as fast as it can.
    return {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + raw,
            "SDL_DISKAUDIODELAY=21"};
}

inline std::vector<Sint16> samples(const std::string &bytes)
{
    std::vector<Sint16> v(bytes.size() / 2);
    for (size_t i = 0; i < v.size(); i++)
        v[i] = (Sint16)((Uint8)bytes[2 * i] | (Uint8)bytes[2 * i + 1] << 8);
    return v;
}

#endif
