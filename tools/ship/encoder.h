// The ffmpeg program as a video encoder, fed raw frames through a pipe.
// Where processes cannot be started (Windows, the browser) it refuses to
// start, and the capture tool makes stills only.
#ifndef CAPTURE_ENCODER_H
#define CAPTURE_ENCODER_H

#include <SDL.h>
#include <string>
#include <vector>
#include "options.h"
#include "vaskiloimu.h"

namespace capture {

const size_t FRAME_BYTES = (size_t)SCREEN_W * SCREEN_H * 3;  // rgb24

// ffmpeg's arguments for the video o asks for (container, scale, lossless),
// of frames at o.fps with the sound of music from the second `from`, cut at
// seconds, written into path.
std::vector<std::string> ffmpeg_args(const Options &o, const std::string &path, const std::string &music,
                                     const std::string &from, const std::string &seconds);

class Encoder {
public:
    ~Encoder();
    // Starts ffmpeg with args. On failure returns false with the reason in err.
    bool start(const std::vector<std::string> &args, std::string &err);
    // One frame of FRAME_BYTES bytes R, G, B. False once ffmpeg has gone.
    bool frame(const Uint8 *rgb);
    // Ends the input and waits for ffmpeg; true when it finished well, else
    // the reason in err, with the last thing ffmpeg said.
    bool finish(std::string &err);
    // Stops ffmpeg without waiting for what it would still write.
    void abandon();

private:
    long pid_ = -1;
    int fd_ = -1;
    int said_ = -1;  // ffmpeg's messages, kept to say why it failed
};

}

#endif
