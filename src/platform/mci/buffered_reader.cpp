// Buffered positional reads and the seeks libmpg123 asks for.
#include "platform/mci/buffered_reader.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace snipora::mci {

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
