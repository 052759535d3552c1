// libmpg123 handles as the program makes them, reading an open file through a buffer of its own.
#pragma once

#include "platform/mpeg/mpeg_frames.h"

#include <QByteArray>

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <vector>

struct mpg123_handle_struct;

namespace snipora::mpeg {

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

    // From now on the decoder reads only the stream's audio frames, one after the other, after
    // its Xing/Info frame with the frame count and bytes of what it reads: tags, junk between
    // frames and frames of another rate are left out, and a header that miscounts the frames
    // cannot make libmpg123 drop or keep samples that the frame map counts otherwise.
    void showOnly(const MpegFrames& stream);
    // Where the decoder reads the first audio frame of the view, past the made Xing/Info frame
    // (0 without a view or without one).
    off_t audioStart() const { return audioStart_; }
    // Whether the decoder reads a Xing/Info frame that counts the view's frames exactly.
    bool countsFrames() const { return countsFrames_; }

    static ssize_t readFor(void* reader, void* out, std::size_t count);
    static off_t seekFor(void* reader, off_t offset, int whence);

private:
    // A stretch of what the decoder reads: file bytes from `fileOffset`, or the made header's
    // bytes when `fileOffset` is negative.
    struct Piece {
        off_t start = 0; // where it starts in what the decoder reads
        off_t fileOffset = 0;
        off_t size = 0;
    };

    ssize_t read(char* out, std::size_t count);
    off_t seek(off_t offset, int whence);
    // Reads the file at `offset` through the buffer: bytes read, 0 at the end, -1 on an error.
    ssize_t readFile(off_t offset, char* out, std::size_t count);

    const int fd_;
    std::vector<char> buffer_;
    off_t bufferStart_ = 0;
    off_t bufferFill_ = 0;
    off_t position_ = 0;
    std::vector<Piece> pieces_; // empty: the whole file as it is
    QByteArray header_;
    off_t viewSize_ = 0;
    off_t audioStart_ = 0;
    bool countsFrames_ = false;
};

// A new handle, not yet open: quiet (a bad file is reported by the caller, never as text on the
// terminal), gapless (lengths and positions leave out the encoder's delay and padding), and
// passing over the ID3v2 tag (a large cover picture is not kept in memory), and over junk
// between frames however long (where no view hides it). The library is
// initialised on first use. Empty when libmpg123 cannot make one.
Mpg123Handle newMpg123Handle();

// Lets the handle decode to signed 16-bit samples only, at any rate, mono or stereo, so that the
// format never changes mid-file.
void acceptSigned16Only(mpg123_handle_struct* handle);

// Opens the handle on the reader's file; false when libmpg123 refuses it.
bool openThrough(mpg123_handle_struct* handle, BufferedReader& reader);

} // namespace snipora::mpeg
