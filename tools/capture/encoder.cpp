#include "encoder.h"
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace capture {

std::vector<std::string> ffmpeg_args(const std::string &ext, const std::string &path,
                                     int fps, const std::string &music,
                                     const std::string &seconds)
{
    // "file:" keeps a colon in a name from being read as a protocol.
    std::vector<std::string> a = {
        "ffmpeg", "-hide_banner", "-loglevel", "error", "-nostats",
        "-f", "rawvideo", "-pix_fmt", "bgr0", "-video_size",
        std::to_string(SCREEN_W) + "x" + std::to_string(SCREEN_H),
        "-framerate", std::to_string(fps), "-i", "pipe:0",
        // The demo stops its sound with its last frame.
        "-t", seconds, "-i", "file:" + music,
        "-map", "0:v:0", "-map", "1:a:0"};
    std::vector<std::string> codecs;
    if (ext == "webm") {
        // VP9 at its fastest setting still keeps well ahead of the demo.
        codecs = {"webm", "-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8",
                  "-row-mt", "1", "-crf", "30", "-b:v", "0", "-pix_fmt", "yuv420p",
                  "-c:a", "copy"};
    } else {
        codecs = {ext == "mp4" ? "mp4" : "matroska", "-c:v", "libx264", "-preset", "veryfast",
                  "-crf", "18", "-pix_fmt", "yuv420p"};
        // MP4 players expect AAC; Matroska carries the Ogg's Vorbis untouched.
        if (ext == "mp4")
            codecs.insert(codecs.end(), {"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart"});
        else
            codecs.insert(codecs.end(), {"-c:a", "copy"});
    }
    a.push_back("-f");
    a.insert(a.end(), codecs.begin(), codecs.end());
    a.insert(a.end(), {"-y", "file:" + path});
    return a;
}

Encoder::~Encoder()
{
    abandon();
}

bool Encoder::start(const std::vector<std::string> &args, std::string &err)
{
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) {
        err = std::string("cannot make a pipe: ") + strerror(errno);
        return false;
    }
    // A larger pipe lets the demo draw the next frame while ffmpeg still
    // reads this one; the default holds only a twentieth of a frame.
    fcntl(p[1], F_SETPIPE_SZ, 1 << 20);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, p[0], 0);
    // Its own process group: an interrupt at the terminal reaches only this
    // program, which then ends the video in order.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::vector<char *> argv;
    for (const std::string &s : args)
        argv.push_back(const_cast<char *>(s.c_str()));
    argv.push_back(nullptr);
    int e = posix_spawnp(&pid_, argv[0], &fa, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    close(p[0]);
    if (e != 0) {
        close(p[1]);
        pid_ = -1;
        err = e == ENOENT ? "no ffmpeg program found: install the Debian package ffmpeg"
                          : std::string("cannot start ffmpeg: ") + strerror(e);
        return false;
    }
    fd_ = p[1];
    return true;
}

bool Encoder::frame(const Uint8 *bgr0)
{
    size_t done = 0;
    while (done < FRAME_BYTES) {
        ssize_t n = write(fd_, bgr0 + done, FRAME_BYTES - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += (size_t)n;
    }
    return true;
}

bool Encoder::finish(std::string &err)
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    err = WIFEXITED(status) ? "ffmpeg failed with status " + std::to_string(WEXITSTATUS(status))
                            : "ffmpeg was stopped by signal " + std::to_string(WTERMSIG(status));
    return false;
}

void Encoder::abandon()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
}

}
