// MPEG audio (layers 1 to 3) through libmpg123: exact length, sample-exact seeks, 16-bit PCM.
#pragma once

#include "platform/mpeg/mpg123_file.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace snipora::mci {

// One open file. Not thread-safe: the owner serialises every call.
class MpegDecoder {
public:
    struct OpenResult {
        std::unique_ptr<MpegDecoder> decoder; // empty on failure
        std::uint32_t status = 0;             // a service status, 0 with a decoder
    };

    // Opens the file at `path` (bytes as the file system spells them) through its frame map, so
    // that the length is exact and every later seek finds its frame in the index; libmpg123
    // makes a pass of its own over the file only where it cannot be told the frame count.
    static OpenResult open(const QByteArray& path);

    int rate() const { return rate_; }
    int channels() const { return channels_; }
    // Interleaved samples per channel the whole file decodes to.
    std::int64_t lengthFrames() const { return lengthFrames_; }

    // Moves to `frame` (clamped to the length); the next read starts exactly there.
    bool seek(std::int64_t frame);
    // Decodes up to `maxFrames` frames into `out` (channels() samples each); 0 at the end
    // or after a decoding error that cannot be passed.
    std::size_t read(std::int16_t* out, std::size_t maxFrames);

    ~MpegDecoder();
    MpegDecoder(const MpegDecoder&) = delete;
    MpegDecoder& operator=(const MpegDecoder&) = delete;

private:
    class BufferedFile;
    MpegDecoder();

    std::unique_ptr<BufferedFile> file_; // outlives handle_, which reads through it
    mpeg::Mpg123Handle handle_;
    int rate_ = 0;
    int channels_ = 0;
    std::int64_t lengthFrames_ = 0;
};

} // namespace snipora::mci
