// The ffmpeg program as a video encoder, fed raw frames through a pipe.
#ifndef CAPTURE_ENCODER_H
#define CAPTURE_ENCODER_H

#include <SDL.h>
#include <string>
#include <sys/types.h>
#include <vector>
#include "vaskiloimu.h"

namespace capture {

const size_t FRAME_BYTES = (size_t)SCREEN_W * SCREEN_H * 4;  // bgr0

// ffmpeg's arguments for a video of frames at fps with the sound of music
// from its start, cut at seconds, written into path in the container named
// by its usual extension (mkv, mp4 or webm).
std::vector<std::string> ffmpeg_args(const std::string &container, const std::string &path,
                                     int fps, const std::string &music,
                                     const std::string &seconds);

class Encoder {
public:
    ~Encoder();
    // Starts ffmpeg with args. On failure returns false with the reason in err.
    bool start(const std::vector<std::string> &args, std::string &err);
    // One frame of FRAME_BYTES bytes B, G, R, 0. False once ffmpeg has gone.
    bool frame(const Uint8 *bgr0);
    // Ends the input and waits for ffmpeg; true when it finished well.
    bool finish(std::string &err);
    // Stops ffmpeg without waiting for what it would still write.
    void abandon();

private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

}

#endif
