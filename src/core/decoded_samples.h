// Counting an MP3 file's samples by decoding it whole, inside the program, while it is written.
#pragma once

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace snipora {

struct DecodedSamples {
    std::int64_t samples = 0; // per channel, the encoder's delay and padding left out
    int rate = 0;
};

// What the thread that follows a file being written is told by the one that watches the writer:
// the writer is done, or the following is to stop. Either wakes a waiting follower at once.
class FollowSignal {
public:
    void markWritten();
    void stop();
    bool written() const;
    bool stopped() const;
    // Returns when told either, or after `timeout`.
    void wait(std::chrono::milliseconds timeout);

private:
    mutable std::mutex mutex_;
    std::condition_variable told_;
    bool written_ = false;
    bool stopped_ = false;
};

// Decodes the MP3 file at `path` while its writer still writes it, from the moment the file
// appears, so that little is left to decode once the writer is done. Every frame is decoded; the
// samples are then counted on the finished file (whose first frame the encoder rewrites at its
// end with its padding) by libmpg123, which honours the LAME tag's delay and padding as ffmpeg
// does, and that count must be of as many frames as were decoded. Empty when the file cannot be
// read as MPEG audio, when a frame stops the decoding, when the two disagree, or when stopped.
std::optional<DecodedSamples> followMp3Samples(const QByteArray& path, FollowSignal& signal);

} // namespace snipora
