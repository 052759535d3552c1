// Reading an open file for libmpg123 through a buffer of our own.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <vector>

namespace snipora::mci {

// One decoder handle's view of a file it does not own. libmpg123's own reading costs two system
// calls a frame, which would be most of the time of a full scan; reads here come from a buffer.
// Install with mpg123_replace_reader_handle(handle, &readFor, &seekFor, nullptr) and
// mpg123_open_handle(handle, &reader).
class BufferedReader {
public:
    explicit BufferedReader(int fd, std::size_t bufferBytes = 256 * 1024)
        : fd_(fd), buffer_(bufferBytes) {}

    static ssize_t readFor(void* reader, void* out, std::size_t count);
    static off_t seekFor(void* reader, off_t offset, int whence);

private:
    ssize_t read(char* out, std::size_t count);
    off_t seek(off_t offset, int whence);

    const int fd_;
    std::vector<char> buffer_;
    off_t bufferStart_ = 0;
    off_t bufferFill_ = 0;
    off_t position_ = 0;
};

} // namespace snipora::mci
