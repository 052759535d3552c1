// MPEG audio decoding with libmpg123.
#include "platform/mci/mpeg_decoder.h"

#include "platform/mci/mci_status.h"

#include <mpg123.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace snipora::mci {

// The open file: closed with the decoder, read through a buffer.
class MpegDecoder::BufferedFile {
public:
    explicit BufferedFile(int fd) : fd_(fd), reader(fd) {}
    ~BufferedFile() { ::close(fd_); }
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    // The file opened, its frames shown to the decoder through a view (where they are found),
    // so that its samples are numbered as the frame map numbers them.
    static std::unique_ptr<BufferedFile> open(const QByteArray& path) {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        auto file = std::make_unique<BufferedFile>(fd);
        if (const auto stream = mpeg::MpegFrames::scan(fd, nullptr)) {
            file->reader.showOnly(*stream);
            if (file->reader.countsFrames()) {
                // Every indexStep-th frame's place in what the decoder reads.
                off_t at = file->reader.audioStart();
                for (std::size_t i = 0; i < stream->frames.size(); ++i) {
                    if (i % indexStep == 0) {
                        file->frameIndex.push_back(at);
                    }
                    at += stream->frames[i].size;
                }
            }
        }
        return file;
    }

private:
    const int fd_;

public:
    // libmpg123 seeks within this many frames of any place through the index.
    static constexpr off_t indexStep = 8;
    mpeg::BufferedReader reader;
    // Where every indexStep-th frame starts in what the decoder reads; empty when the decoder
    // cannot be told the stream's exact frame count (no view, or no Xing/Info frame in it).
    std::vector<off_t> frameIndex;
};

MpegDecoder::MpegDecoder() = default;
MpegDecoder::~MpegDecoder() {
    // The handle reads through the file: it goes first.
    handle_.reset();
}

MpegDecoder::OpenResult MpegDecoder::open(const QByteArray& path) {
    mpeg::Mpg123Handle handle = mpeg::newMpg123Handle();
    if (!handle) {
        return {nullptr, InvalidFile};
    }
    mpg123_handle* mh = handle.get();
    // A layer 3 frame may take its data from up to 511 bytes of earlier frames (the bit
    // reservoir): seven frames back at 32 kbps. After a seek that many frames and a margin are
    // decoded unheard first, so the first frame heard is the one a straight run gives (with
    // libmpg123's default of one, a low-bitrate VBR stretch starts with a burst of noise).
    mpg123_param(mh, MPG123_PREFRAMES, 10, 0.0);
    mpeg::acceptSigned16Only(mh);
    std::unique_ptr<BufferedFile> file = BufferedFile::open(path);
    if (!file || !mpeg::openThrough(mh, file->reader)) {
        return {nullptr, InvalidFile};
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels < 1 || channels > 2 || encoding != MPG123_ENC_SIGNED_16) {
        return {nullptr, InvalidFile};
    }
    if (!file->frameIndex.empty()) {
        // The frame map has counted the frames already, and the view's Xing/Info frame tells
        // libmpg123 that count: the length is exact without a second pass over the file, and
        // the map's frame places make every seek find its frame at once.
        if (mpg123_set_index(mh, file->frameIndex.data(), BufferedFile::indexStep,
                             file->frameIndex.size()) != MPG123_OK) {
            return {nullptr, InvalidFile};
        }
    } else if (mpg123_scan(mh) != MPG123_OK) {
        // Without a frame count to give (no view, or a stream without a Xing/Info frame), a
        // full scan makes the length exact (a VBR length is otherwise estimated from the first
        // frame) and fills the frame index for fast seeks.
        return {nullptr, InvalidFile};
    }
    const off_t length = mpg123_length(mh);
    if (length <= 0) {
        return {nullptr, InvalidFile};
    }
    std::unique_ptr<MpegDecoder> decoder(new MpegDecoder());
    decoder->file_ = std::move(file);
    decoder->handle_ = std::move(handle);
    decoder->rate_ = static_cast<int>(rate);
    decoder->channels_ = channels;
    decoder->lengthFrames_ = static_cast<std::int64_t>(length);
    return {std::move(decoder), Ok};
}

bool MpegDecoder::seek(std::int64_t frame) {
    frame = std::clamp<std::int64_t>(frame, 0, lengthFrames_);
    return mpg123_seek(handle_.get(), static_cast<off_t>(frame), SEEK_SET) >= 0;
}

std::size_t MpegDecoder::read(std::int16_t* out, std::size_t maxFrames) {
    const std::size_t frameBytes = sizeof(std::int16_t) * static_cast<std::size_t>(channels_);
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    std::size_t filled = 0;
    const std::size_t wanted = maxFrames * frameBytes;
    // A few empty answers (a new format announced, a frame skipped) are passed; a run of
    // them means the stream cannot go on.
    for (int attempts = 0; filled < wanted && attempts < 64; ++attempts) {
        std::size_t done = 0;
        const int result = mpg123_read(handle_.get(), bytes + filled, wanted - filled, &done);
        filled += done;
        if (result == MPG123_DONE) {
            break;
        }
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            break;
        }
        if (done > 0) {
            attempts = 0;
        }
    }
    return filled / frameBytes;
}

} // namespace snipora::mci
