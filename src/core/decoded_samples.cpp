// Counting an MP3 file's samples by decoding it whole, inside the program.
#include "core/decoded_samples.h"

#include "platform/mpeg/mpg123_file.h"

#include <mpg123.h>

#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace snipora {

std::optional<DecodedSamples> decodeMp3Samples(const QByteArray& path,
                                               const std::atomic<bool>& stop) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<DecodedSamples> counted;
    {
        mpeg::BufferedReader reader(fd);
        const mpeg::Mpg123Handle handle = mpeg::newMpg123Handle();
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (handle &&
            (mpeg::acceptSigned16Only(handle.get()), mpeg::openThrough(handle.get(), reader)) &&
            mpg123_getformat(handle.get(), &rate, &channels, &encoding) == MPG123_OK && rate > 0 &&
            channels > 0) {
            std::vector<unsigned char> buffer(64 * 1024);
            std::int64_t bytes = 0;
            for (;;) {
                if (stop.load()) {
                    break;
                }
                std::size_t done = 0;
                const int result = mpg123_read(handle.get(), buffer.data(), buffer.size(), &done);
                bytes += static_cast<std::int64_t>(done);
                if (result == MPG123_DONE) {
                    counted = DecodedSamples{bytes / (2 * channels), static_cast<int>(rate)};
                    break;
                }
                if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
                    break;
                }
            }
        }
    }
    ::close(fd);
    return counted;
}

} // namespace snipora
