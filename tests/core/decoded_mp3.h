// An MP3 file decoded by libmpg123 in gapless mode, for the frame-cut tests.
#pragma once

#include <QFile>
#include <QString>

#include <mpg123.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace snipora::test {

// The file decoded by libmpg123 in gapless mode, 16-bit interleaved; `errors` counts failed reads.
struct Decoded {
    std::vector<std::int16_t> samples;
    int channels = 0;
    std::int64_t headerLength = -1; // the length before the scan: what the header says
    int errors = 0;
    std::int64_t frames() const {
        return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
    }
};
inline Decoded decode(const QString& path) {
    mpg123_init();
    Decoded decoded;
    int error = 0;
    const std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> handle(
        mpg123_new(nullptr, &error), mpg123_delete);
    mpg123_handle* mh = handle.get();
    mpg123_param(mh, MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_format_none(mh);
    for (const long rate :
         {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L}) {
        mpg123_format(mh, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open(mh, QFile::encodeName(path).constData()) != MPG123_OK) {
        decoded.errors = 1;
        return decoded;
    }
    long rate = 0;
    int encoding = 0;
    mpg123_getformat(mh, &rate, &decoded.channels, &encoding);
    decoded.headerLength = mpg123_length(mh);
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        std::size_t done = 0;
        const int result = mpg123_read(mh, buffer.data(), buffer.size(), &done);
        const auto old = decoded.samples.size();
        decoded.samples.resize(old + done / 2);
        std::memcpy(decoded.samples.data() + old, buffer.data(), done / 2 * 2);
        if (result == MPG123_DONE) {
            break;
        }
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            ++decoded.errors;
            break;
        }
    }
    return decoded;
}

} // namespace snipora::test
