#include "encoder.h"

namespace capture {

namespace {

// The encoders' settings, chosen by measuring the whole demo's frames
// against its stills: quality, time and size are in the capture notes.
const std::vector<std::string> H264 = {"-c:v", "libx264", "-preset", "ultrafast", "-crf", "14"};
const std::vector<std::string> VP9 = {"-c:v", "libvpx-vp9", "-profile:v", "0", "-deadline",
                                      "realtime", "-cpu-used", "8", "-row-mt", "1", "-crf", "15",
                                      "-b:v", "0"};
const std::vector<std::string> LOSSLESS = {"-c:v", "libx264rgb", "-preset", "ultrafast", "-qp",
                                           "0"};

void add(std::vector<std::string> &a, const std::vector<std::string> &more)
{
    a.insert(a.end(), more.begin(), more.end());
}

// Matroska and WebM carry the Ogg's Vorbis untouched; a clip's is made anew,
// since a copy starts at the packet before its moment, before its picture.
std::vector<std::string> vorbis(const Options &o)
{
    if (o.from)
        return {"-c:a", "libvorbis", "-q:a", "8"};
    return {"-c:a", "copy"};
}

}

std::vector<std::string> ffmpeg_args(const Options &o, const std::string &path, const std::string &music,
                                     const std::string &from, const std::string &seconds)
{
    // "file:" keeps a colon in a name from being read as a protocol.
    std::vector<std::string> a = {
        "ffmpeg", "-hide_banner", "-loglevel", "error", "-nostats",
        "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size",
        std::to_string(SCREEN_W) + "x" + std::to_string(SCREEN_H),
        "-framerate", std::to_string(o.fps), "-i", "pipe:0",
        // The demo stops its sound with its last frame.
        "-ss", from, "-t", seconds, "-i", "file:" + music,
        "-map", "0:v:0", "-map", "1:a:0",
        // No time, random identifier or version in the file: the same frames
        // and ffmpeg give the same bytes.
        "-fflags", "+bitexact", "-flags:v", "+bitexact", "-flags:a", "+bitexact"};
    std::string n = std::to_string(o.scale), scale = "scale=iw*" + n + ":ih*" + n + ":flags=neighbor";
    if (o.lossless) {
        if (o.scale > 1)
            add(a, {"-vf", scale});
        add(a, {"-f", "matroska"});
        add(a, LOSSLESS);
        add(a, vorbis(o));
        add(a, {"-y", "file:" + path});
        return a;
    }
    // In 4:2:0 each 2x2 block of pixels shares one colour: a scale by 2
    // makes each block one pixel of the demo, and the nearest pixel, taken
    // for the conversion as for the scale instead of a filter reaching
    // across blocks, keeps its colour. The matrix is named in the stream,
    // since players guess BT.709 for frames this large, BT.601 for small.
    add(a, {"-vf", scale + "+full_chroma_int+accurate_rnd:out_color_matrix=bt709:out_range=tv,format=yuv420p",
            "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv"});
    bool mp4 = o.container == "mp4", webm = o.container == "webm";
    add(a, {"-f", mp4 ? "mp4" : webm ? "webm" : "matroska"});
    add(a, webm ? VP9 : H264);
    // MP4 players expect AAC.
    add(a, mp4 ? std::vector<std::string>{"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart"} : vorbis(o));
    add(a, {"-y", "file:" + path});
    return a;
}

}

#if defined(_WIN32) || defined(__EMSCRIPTEN__)

namespace capture {

Encoder::~Encoder()
{
    abandon();
}

bool Encoder::start(const std::vector<std::string> &, std::string &err)
{
    err = "this build cannot start ffmpeg: it makes stills only (--still)";
    return false;
}

bool Encoder::frame(const Uint8 *) { return false; }
bool Encoder::finish(std::string &) { return false; }

void Encoder::abandon()
{
    pid_ = -1;
    fd_ = said_ = -1;
}

}

#else

#include <algorithm>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace capture {

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
    // Its messages are kept, to give the last as the reason it failed: one
    // line, where a full disk makes ffmpeg say the same thing several times.
    said_ = memfd_create("ffmpeg-messages", MFD_CLOEXEC);
    if (said_ >= 0)
        posix_spawn_file_actions_adddup2(&fa, said_, 2);
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
    pid_t pid;
    int e = posix_spawnp(&pid, argv[0], &fa, &attr, argv.data(), environ);
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
    pid_ = pid;
    fd_ = p[1];
    return true;
}

bool Encoder::frame(const Uint8 *rgb)
{
    size_t done = 0;
    while (done < FRAME_BYTES) {
        ssize_t n = write(fd_, rgb + done, FRAME_BYTES - done);
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
    while (waitpid((pid_t)pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    err = WIFEXITED(status) ? "ffmpeg failed with status " + std::to_string(WEXITSTATUS(status))
                            : std::string("ffmpeg was stopped: ") + strsignal(WTERMSIG(status));
    // The end of what it said, its last line.
    std::string said(4096, '\0');
    off_t size = said_ >= 0 ? lseek(said_, 0, SEEK_END) : 0;
    ssize_t n = size > 0 ? pread(said_, &said[0], said.size(), std::max<off_t>(0, size - 4096)) : 0;
    said.resize(n > 0 ? (size_t)n : 0);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r'))
        said.pop_back();
    if (!said.empty())
        err += " (" + said.substr(said.find_last_of("\r\n") + 1) + ")";
    return false;
}

void Encoder::abandon()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (said_ >= 0)
        close(said_);
    said_ = -1;
    if (pid_ > 0) {
        kill((pid_t)pid_, SIGTERM);
        while (waitpid((pid_t)pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
}

}

#endif
