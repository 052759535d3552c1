// libmpg123 handles: their making, and the buffered reads and seeks they ask for.
#include "platform/mci/mpg123_file.h"

#include <mpg123.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace snipora::mci {

void Mpg123Deleter::operator()(mpg123_handle_struct* handle) const {
    // mpg123_delete closes the file too.
    mpg123_delete(handle);
}

Mpg123Handle newMpg123Handle() {
    // Needed by libmpg123 before 1.27 and harmless after; never concurrently.
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int error = MPG123_OK;
    Mpg123Handle handle(mpg123_new(nullptr, &error));
    if (handle) {
        mpg123_param(handle.get(), MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_SKIP_ID3V2,
                     0.0);
    }
    return handle;
}

void acceptSigned16Only(mpg123_handle_struct* handle) {
    mpg123_format_none(handle);
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (std::size_t i = 0; i < rateCount; ++i) {
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
}

bool openThrough(mpg123_handle_struct* handle, BufferedReader& reader) {
    return mpg123_replace_reader_handle(handle, &BufferedReader::readFor, &BufferedReader::seekFor,
                                        nullptr) == MPG123_OK &&
           mpg123_open_handle(handle, &reader) == MPG123_OK;
}

ssize_t BufferedReader::readFor(void* reader, void* out, std::size_t count) {
    return static_cast<BufferedReader*>(reader)->read(static_cast<char*>(out), count);
}

off_t BufferedReader::seekFor(void* reader, off_t offset, int whence) {
    return static_cast<BufferedReader*>(reader)->seek(offset, whence);
}

ssize_t BufferedReader::read(char* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (position_ >= bufferStart_ && position_ < bufferStart_ + bufferFill_) {
            const auto offset = static_cast<std::size_t>(position_ - bufferStart_);
            const std::size_t n =
                std::min(count - done, static_cast<std::size_t>(bufferFill_) - offset);
            std::copy_n(buffer_.data() + offset, n, out + done);
            done += n;
            position_ += static_cast<off_t>(n);
            continue;
        }
        const ssize_t got = ::pread(fd_, buffer_.data(), buffer_.size(), position_);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return done > 0 ? static_cast<ssize_t>(done) : got;
        }
        bufferStart_ = position_;
        bufferFill_ = static_cast<off_t>(got);
    }
    return static_cast<ssize_t>(done);
}

off_t BufferedReader::seek(off_t offset, int whence) {
    off_t base = 0;
    if (whence == SEEK_CUR) {
        base = position_;
    } else if (whence == SEEK_END) {
        struct stat info {};
        if (::fstat(fd_, &info) != 0) {
            return -1;
        }
        base = info.st_size;
    } else if (whence != SEEK_SET) {
        return -1;
    }
    if (base + offset < 0) {
        return -1;
    }
    position_ = base + offset;
    return position_;
}

} // namespace snipora::mci
