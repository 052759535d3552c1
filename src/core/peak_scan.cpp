// Peak scanning with libmpg123: side information picks the frames worth decoding.
//
// Decoding every frame costs about as much as ffmpeg decoding the whole file. Instead one
// handle reads ahead through a bucket's frames without decoding them and reads each frame's
// layer III side information: a granule with no coded bits is silence, and of the others the
// one with the largest global gain (the coarsest quantiser step, which the encoder picks for
// the loudest sound) stands for the bucket. A second handle follows and decodes only that
// frame, after as many frames before it as its bit reservoir reaches back, plus one for the
// filter banks that the skipped frames left stale (with fewer, a stale overlap shows up as a
// loud click in a quiet bucket, or the frame decodes as silence). On a 128k file that is about
// three frames of every eight.
#include "core/peak_scan.h"

#include "platform/mpeg/mpg123_file.h"

#include <mpg123.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace snipora {

namespace {

constexpr auto chunkInterval = std::chrono::milliseconds(50);

struct FileDescriptor {
    explicit FileDescriptor(int value) : fd(value) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    const int fd;
};

// A handle walking the file frame by frame; `index` counts the frames read so far.
class FrameStream {
public:
    // Reads the frames the player plays (junk and tags left out, when `stream` was found), so
    // that the peaks stand where the player's samples are.
    FrameStream(int fd, const std::optional<mpeg::MpegFrames>& stream) : reader_(fd) {
        if (stream) {
            reader_.showOnly(*stream);
        }
    }

    bool open() {
        handle_ = mpeg::newMpg123Handle();
        if (!handle_) {
            return false;
        }
        mpg123_handle* mh = handle_.get();
        mpeg::acceptSigned16Only(mh);
        // The first frame is read here, to learn the rate. Asking mpg123_getformat instead
        // would read it outside the frame-by-frame walk, and the frames after it would then
        // miss its bytes in their bit reservoir and decode as silence.
        if (!mpeg::openThrough(mh, reader_)) {
            return false;
        }
        const int first = mpg123_framebyframe_next(mh);
        mpg123_frameinfo info{};
        if ((first != MPG123_OK && first != MPG123_NEW_FORMAT) ||
            mpg123_info(mh, &info) != MPG123_OK || info.rate <= 0) {
            return false;
        }
        rate_ = static_cast<int>(info.rate);
        firstFramePending_ = true;
        return true;
    }

    mpg123_handle* handle() const { return handle_.get(); }
    int rate() const { return rate_; }
    std::int64_t index() const { return index_; }

    // Reads the next frame without decoding it; false at the end or where the data stops
    // being MPEG audio.
    bool next() {
        if (firstFramePending_) {
            firstFramePending_ = false;
            ++index_;
            return true;
        }
        const int result = mpg123_framebyframe_next(handle_.get());
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            return false;
        }
        ++index_;
        return true;
    }

    // The lowest and highest sample the frame just read decodes to.
    PeakRange decode() {
        off_t number = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        if (mpg123_framebyframe_decode(handle_.get(), &number, &audio, &bytes) != MPG123_OK ||
            audio == nullptr) {
            return {};
        }
        const auto* samples = reinterpret_cast<const std::int16_t*>(audio);
        const std::size_t count = bytes / sizeof(std::int16_t);
        std::int16_t low = 0;
        std::int16_t high = 0;
        for (std::size_t i = 0; i < count; ++i) {
            low = std::min(low, samples[i]);
            high = std::max(high, samples[i]);
        }
        // Division truncates toward zero, so faint noise scales to a flat 0 on both sides.
        return {static_cast<std::int8_t>(low / 256), static_cast<std::int8_t>(high / 256)};
    }

private:
    mpeg::BufferedReader reader_; // outlives handle_, which reads through it
    mpeg::Mpg123Handle handle_;
    int rate_ = 0;
    bool firstFramePending_ = false;
    std::int64_t index_ = -1;
};

class BitReader {
public:
    BitReader(const unsigned char* data, std::size_t bytes) : data_(data), bits_(bytes * 8) {}
    bool fits(std::size_t count) const { return position_ + count <= bits_; }
    unsigned take(int count) {
        unsigned value = 0;
        for (int i = 0; i < count; ++i, ++position_) {
            value = (value << 1) | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1u);
        }
        return value;
    }

private:
    const unsigned char* data_;
    std::size_t bits_;
    std::size_t position_ = 0;
};

constexpr int silentFrame = -1;

// What the side information of a frame tells before it is decoded.
struct FrameSide {
    // The largest global gain of a granule with coded bits, or silentFrame; frames of other
    // layers, which carry no such field, all score 0.
    int loudness = 0;
    // How far back in earlier frames its main data begins (the bit reservoir), and how many bytes
    // of main data it holds itself.
    int reservoirBytes = 0;
    int mainDataBytes = 0;
};

FrameSide readSide(mpg123_handle* mh) {
    unsigned long header = 0;
    unsigned char* body = nullptr;
    std::size_t bytes = 0;
    if (mpg123_framedata(mh, &header, &body, &bytes) != MPG123_OK || body == nullptr) {
        return {};
    }
    const bool layer3 = ((header >> 17) & 3u) == 1u;
    if (!layer3) {
        return {};
    }
    const bool mpeg1 = ((header >> 19) & 3u) == 3u;
    const bool crc = ((header >> 16) & 1u) == 0u;
    const int channels = ((header >> 6) & 3u) == 3u ? 1 : 2;
    const int crcBytes = crc ? 2 : 0;
    const int sideBytes = mpeg1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
    if (static_cast<int>(bytes) < crcBytes + sideBytes) {
        return {};
    }
    BitReader bits(body + crcBytes, bytes - static_cast<std::size_t>(crcBytes));
    FrameSide side;
    side.mainDataBytes = static_cast<int>(bytes) - crcBytes - sideBytes;
    side.reservoirBytes = static_cast<int>(bits.take(mpeg1 ? 9 : 8));
    bits.take(mpeg1 ? (channels == 1 ? 5 : 3) + 4 * channels : (channels == 1 ? 1 : 2));
    // Per granule and channel: part2_3_length, big_values, global_gain, then scalefac_compress,
    // the block fields and the closing flags.
    const int restBits = mpeg1 ? 4 + 1 + 22 + 3 : 9 + 1 + 22 + 2;
    side.loudness = silentFrame;
    for (int i = 0; i < (mpeg1 ? 2 : 1) * channels; ++i) {
        const unsigned codedBits = bits.take(12);
        bits.take(9);
        const auto globalGain = static_cast<int>(bits.take(8));
        bits.take(restBits);
        if (codedBits > 0) {
            side.loudness = std::max(side.loudness, globalGain);
        }
    }
    return side;
}

// The side information of the last frames read ahead, by frame number.
class SideHistory {
public:
    void put(std::int64_t frame, const FrameSide& side) { sides_[slot(frame)] = side; }
    const FrameSide& at(std::int64_t frame) const { return sides_[slot(frame)]; }
    static constexpr int depth = 64;

private:
    static std::size_t slot(std::int64_t frame) { return static_cast<std::size_t>(frame % depth); }
    std::array<FrameSide, depth> sides_{};
};

// The first frame to decode so that `frame` decodes as in a straight run. libmpg123 keeps a
// frame's reservoir bytes only by copying them while decoding it, so every frame whose main data
// reaches back must be decoded after enough earlier ones: the frame itself, and the one before
// it, whose last granule overlaps into its first.
std::int64_t firstToDecode(const SideHistory& history, std::int64_t frame,
                           std::int64_t decodedUpTo) {
    std::int64_t first = frame;
    for (std::int64_t needy = frame; needy >= std::max<std::int64_t>(frame - 1, 0); --needy) {
        std::int64_t from = needy;
        int covered = 0;
        while (from > 0 && covered < history.at(needy).reservoirBytes &&
               needy - from < SideHistory::depth - peakFramesPerBucket) {
            --from;
            covered += history.at(from).mainDataBytes;
        }
        first = std::min(first, from);
    }
    // A run continued from frames already decoded needs nothing again.
    return std::max(first, decodedUpTo + 1);
}

} // namespace

std::optional<QString> scanPeaks(const QByteArray& path, const PeakScanCallbacks& callbacks) {
    const FileDescriptor file(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) {
        return QStringLiteral("The file cannot be read.");
    }
    const auto stream = mpeg::MpegFrames::scan(file.fd, nullptr);
    FrameStream ahead(file.fd, stream);
    FrameStream behind(file.fd, stream);
    if (!ahead.open() || !behind.open()) {
        return QStringLiteral("The file is not MPEG audio.");
    }
    const int spf = mpg123_spf(ahead.handle());
    if (spf <= 0) {
        return QStringLiteral("The file is not MPEG audio.");
    }
    PeakLayout layout;
    layout.rate = ahead.rate();
    layout.bucketSamples = spf * peakFramesPerBucket;
    const off_t estimated = mpg123_length(ahead.handle());
    layout.expectedBuckets = estimated > 0 ? estimated / layout.bucketSamples + 1 : 0;
    callbacks.started(layout);

    using Clock = std::chrono::steady_clock;
    auto lastChunk = Clock::now();
    std::vector<PeakRange> pending;
    std::int64_t decodedUpTo = -1;
    SideHistory history;
    for (bool more = true; more;) {
        if (callbacks.cancelled()) {
            return std::nullopt;
        }
        std::int64_t loudest = -1;
        int loudestScore = silentFrame;
        int frames = 0;
        for (; frames < peakFramesPerBucket; ++frames) {
            if (!ahead.next()) {
                more = false;
                break;
            }
            const FrameSide side = readSide(ahead.handle());
            history.put(ahead.index(), side);
            // The file's first frame decodes to little more than the encoder's delay, cut off by
            // the gapless trimming: it stands for its bucket only when the others are silent.
            const int score = ahead.index() == 0 ? std::min(side.loudness, 0) : side.loudness;
            if (loudest < 0 || score > loudestScore) {
                loudest = ahead.index();
                loudestScore = score;
            }
        }
        if (frames == 0) {
            break;
        }
        PeakRange range;
        if (loudestScore != silentFrame) {
            const std::int64_t first = firstToDecode(history, loudest, decodedUpTo);
            while (behind.index() < first - 1 && behind.next()) {
            }
            while (behind.index() < loudest && behind.next()) {
                const PeakRange decoded = behind.decode();
                if (behind.index() == loudest) {
                    range = decoded;
                }
            }
            decodedUpTo = behind.index();
        }
        pending.push_back(range);
        if (!more || Clock::now() - lastChunk >= chunkInterval) {
            callbacks.chunk(std::move(pending));
            pending.clear();
            lastChunk = Clock::now();
        }
    }
    if (!pending.empty()) {
        callbacks.chunk(std::move(pending));
    }
    return std::nullopt;
}

} // namespace snipora
