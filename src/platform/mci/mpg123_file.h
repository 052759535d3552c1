// libmpg123 handles as the program makes them, reading an open file through a buffer of its own.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <vector>

struct mpg123_handle_struct;

namespace snipora::mci {

struct Mpg123Deleter {
    void operator()(mpg123_handle_struct* handle) const;
};
using Mpg123Handle = std::unique_ptr<mpg123_handle_struct, Mpg123Deleter>;

// One decoder handle's view of a file it does not own. libmpg123's own reading costs two system
// calls a frame, which would be most of the time of a full scan; reads here come from a buffer.
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

// A new handle, not yet open: quiet (a bad file is reported by the caller, never as text on the
// terminal), gapless (lengths and positions leave out the encoder's delay and padding), and
// passing over the ID3v2 tag (a large cover picture is not kept in memory). The library is
// initialised on first use. Empty when libmpg123 cannot make one.
Mpg123Handle newMpg123Handle();

// Lets the handle decode to signed 16-bit samples only, at any rate, mono or stereo, so that the
// format never changes mid-file.
void acceptSigned16Only(mpg123_handle_struct* handle);

// Opens the handle on the reader's file; false when libmpg123 refuses it.
bool openThrough(mpg123_handle_struct* handle, BufferedReader& reader);

} // namespace snipora::mci
