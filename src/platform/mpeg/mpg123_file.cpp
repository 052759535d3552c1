// libmpg123 handles: their making, and the buffered reads and seeks they ask for.
#include "platform/mpeg/mpg123_file.h"

#include <mpg123.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace snipora::mpeg {

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
        // Junk between frames of any length is passed over, as other decoders do, instead of
        // ending the stream there.
        mpg123_param(handle.get(), MPG123_RESYNC_LIMIT, -1, 0.0);
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

void BufferedReader::showOnly(const MpegFrames& stream) {
    pieces_.clear();
    header_.clear();
    countsFrames_ = false;
    off_t at = 0;
    if (stream.info && stream.info->kind != Mp3InfoFrame::Kind::Vbri) {
        header_.resize(stream.info->size);
        if (readFile(static_cast<off_t>(stream.info->offset), header_.data(),
                     static_cast<std::size_t>(header_.size())) == header_.size()) {
            pieces_.push_back(Piece{0, -1, static_cast<off_t>(header_.size())});
            at = static_cast<off_t>(header_.size());
        } else {
            header_.clear();
        }
    }
    audioStart_ = at;
    for (const Mp3Frame& frame : stream.frames) {
        Piece* last = pieces_.empty() ? nullptr : &pieces_.back();
        if (last && last->fileOffset >= 0 && last->fileOffset + last->size == frame.offset) {
            last->size += frame.size;
        } else {
            pieces_.push_back(Piece{at, static_cast<off_t>(frame.offset), frame.size});
        }
        at += frame.size;
    }
    viewSize_ = at;
    const auto put = [this](int where, std::uint32_t value) {
        if (where >= 0 && where + 4 <= header_.size()) {
            for (int i = 3; i >= 0; --i, value >>= 8) {
                header_[where + i] = static_cast<char>(value & 0xff);
            }
        }
    };
    if (!header_.isEmpty()) {
        put(stream.info->frameCountAt, static_cast<std::uint32_t>(stream.frames.size()));
        countsFrames_ =
            stream.info->frameCountAt >= 0 && stream.info->frameCountAt + 4 <= header_.size();
        put(stream.info->byteCountAt, static_cast<std::uint32_t>(viewSize_));
        // The padding as the scan judged it (a file cut short has none of the encoder's).
        const int lame = stream.info->lameExtensionAt;
        if (lame >= 0 && stream.info->encoderPadding && lame + 24 <= header_.size()) {
            const int padding = *stream.info->encoderPadding;
            header_[lame + 22] = static_cast<char>((header_[lame + 22] & 0xf0) | (padding >> 8));
            header_[lame + 23] = static_cast<char>(padding & 0xff);
        }
    }
    position_ = 0;
}

ssize_t BufferedReader::read(char* out, std::size_t count) {
    if (pieces_.empty()) {
        const ssize_t n = readFile(position_, out, count);
        position_ += std::max<ssize_t>(n, 0);
        return n;
    }
    std::size_t done = 0;
    while (done < count && position_ < viewSize_) {
        const auto piece = std::prev(
            std::upper_bound(pieces_.begin(), pieces_.end(), position_,
                             [](off_t position, const Piece& p) { return position < p.start; }));
        const off_t into = position_ - piece->start;
        const auto n =
            std::min<std::size_t>(count - done, static_cast<std::size_t>(piece->size - into));
        if (piece->fileOffset < 0) {
            std::copy_n(header_.constData() + into, n, out + done);
        } else {
            const ssize_t got = readFile(piece->fileOffset + into, out + done, n);
            if (got <= 0) {
                return done > 0 ? static_cast<ssize_t>(done) : got;
            }
            if (static_cast<std::size_t>(got) < n) {
                position_ += got;
                return static_cast<ssize_t>(done) + got;
            }
        }
        done += n;
        position_ += static_cast<off_t>(n);
    }
    return static_cast<ssize_t>(done);
}

ssize_t BufferedReader::readFile(off_t offset, char* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (offset >= bufferStart_ && offset < bufferStart_ + bufferFill_) {
            const auto into = static_cast<std::size_t>(offset - bufferStart_);
            const std::size_t n =
                std::min(count - done, static_cast<std::size_t>(bufferFill_) - into);
            std::copy_n(buffer_.data() + into, n, out + done);
            done += n;
            offset += static_cast<off_t>(n);
            continue;
        }
        const ssize_t got = ::pread(fd_, buffer_.data(), buffer_.size(), offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return done > 0 ? static_cast<ssize_t>(done) : got;
        }
        bufferStart_ = offset;
        bufferFill_ = static_cast<off_t>(got);
    }
    return static_cast<ssize_t>(done);
}

off_t BufferedReader::seek(off_t offset, int whence) {
    off_t base = 0;
    if (whence == SEEK_CUR) {
        base = position_;
    } else if (whence == SEEK_END && !pieces_.empty()) {
        base = viewSize_;
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

} // namespace snipora::mpeg
