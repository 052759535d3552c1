// Counting an MP3 file's samples by decoding it whole, inside the program, while it is written.
#include "core/decoded_samples.h"

#include "core/open_file.h"
#include "platform/mpeg/mpg123_file.h"

#include <mpg123.h>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace snipora {

namespace {
// How often a file still being written is looked at for more. The writer's end wakes the
// follower at once, so this costs nothing at the end of a save.
constexpr std::chrono::milliseconds lookAgain{40};

int openToRead(const QByteArray& path) {
    return ::open(path.constData(), O_RDONLY | O_CLOEXEC);
}

// Decodes what the feed holds of whole frames; false when a frame stops the decoding.
bool decodeFed(mpg123_handle_struct* handle, std::int64_t* frames) {
    for (;;) {
        off_t number = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        const int result = mpg123_decode_frame(handle, &number, &audio, &bytes);
        if (result == MPG123_NEED_MORE) {
            return true;
        }
        if (result == MPG123_OK) {
            ++*frames;
        } else if (result != MPG123_NEW_FORMAT) {
            return false;
        }
    }
}

// The finished file's samples and frames as libmpg123 counts them, frame by frame.
struct Counted {
    DecodedSamples samples;
    std::int64_t frames = 0;
};

std::optional<Counted> countFinished(const QByteArray& path) {
    const OpenFile file(openToRead(path));
    if (file.fd() < 0) {
        return std::nullopt;
    }
    mpeg::BufferedReader reader(file.fd());
    const mpeg::Mpg123Handle handle = mpeg::newMpg123Handle();
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (!handle ||
        !(mpeg::acceptSigned16Only(handle.get()), mpeg::openThrough(handle.get(), reader)) ||
        mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        mpg123_scan(handle.get()) != MPG123_OK) {
        return std::nullopt;
    }
    const off_t samples = mpg123_length(handle.get());
    const off_t frames = mpg123_framelength(handle.get());
    if (samples < 0 || frames < 0) {
        return std::nullopt;
    }
    return Counted{DecodedSamples{samples, static_cast<int>(rate)}, frames};
}
} // namespace

void FollowSignal::markWritten() {
    {
        const std::lock_guard lock(mutex_);
        written_ = true;
    }
    told_.notify_all();
}

void FollowSignal::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    told_.notify_all();
}

bool FollowSignal::written() const {
    const std::lock_guard lock(mutex_);
    return written_;
}

bool FollowSignal::stopped() const {
    const std::lock_guard lock(mutex_);
    return stopped_;
}

void FollowSignal::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    told_.wait_for(lock, timeout, [this] { return written_ || stopped_; });
}

std::optional<DecodedSamples> followMp3Samples(const QByteArray& path, FollowSignal& signal) {
    // The writer creates the file when it starts.
    int fd = -1;
    for (;;) {
        if (signal.stopped()) {
            return std::nullopt;
        }
        const bool written = signal.written();
        fd = openToRead(path);
        if (fd >= 0) {
            break;
        }
        if (written) {
            return std::nullopt;
        }
        signal.wait(lookAgain);
    }
    const OpenFile file(fd);
    // Decoded as it comes, without the gapless trim: the delay and padding the encoder notes in
    // its first frame are final only once it is done, and every frame is decoded either way.
    const mpeg::Mpg123Handle handle = mpeg::newMpg123Handle();
    if (!handle) {
        return std::nullopt;
    }
    mpg123_param(handle.get(), MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpeg::acceptSigned16Only(handle.get());
    bool decodes = mpg123_open_feed(handle.get()) == MPG123_OK;
    std::int64_t frames = 0;
    std::vector<unsigned char> buffer(64 * 1024);
    for (;;) {
        if (signal.stopped()) {
            return std::nullopt;
        }
        // Asked before reading, so that once written, this read reaches the file's end.
        const bool written = signal.written();
        while (decodes) {
            const ssize_t got = ::read(file.fd(), buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                decodes = got == 0;
                break;
            }
            decodes = mpg123_feed(handle.get(), buffer.data(), static_cast<std::size_t>(got)) ==
                          MPG123_OK &&
                      decodeFed(handle.get(), &frames);
        }
        if (written) {
            break;
        }
        // A file that stopped decoding is still waited for: the report comes after the writer's.
        signal.wait(lookAgain);
    }
    if (!decodes || frames == 0) {
        return std::nullopt;
    }
    const std::optional<Counted> counted = countFinished(path);
    if (!counted || counted->frames != frames) {
        return std::nullopt;
    }
    return counted->samples;
}

} // namespace snipora
