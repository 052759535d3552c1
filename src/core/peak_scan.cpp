// Peak scanning: a first picture from the frames' global gains, then one frame a bucket decoded.
//
// Decoding every frame costs about as much as ffmpeg decoding the whole file. Instead the frames
// are listed once and their layer III side information read: a granule with no coded bits is
// silence, and the largest global gain (the coarsest quantiser step, which the encoder picks for
// the loudest sound) both gives a guess of each bucket's level, shown at once, and picks the
// frame that stands for the bucket. That frame is then decoded after the one before it (whose
// last granule overlaps into its first, and which fills the filter banks), fed to libmpg123 by
// hand: the bit reservoir both reach back to comes in a made frame before them, holding the
// earlier frames' main data bytes, so no frame further back needs decoding however far VBR
// frames borrow. That is two frames of every eight on any file.
#include "core/peak_scan.h"
#include "core/core_text.h"

#include "core/mp3_gain_fade.h"
#include "core/open_file.h"
#include "platform/mpeg/mpeg_frames.h"
#include "platform/mpeg/mpg123_file.h"

#include <mpg123.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>

#include <fcntl.h>
#include <unistd.h>

namespace snipora {

namespace {

using mpeg::Mp3Frame;
using mpeg::MpegFrameHeader;

constexpr auto chunkInterval = std::chrono::milliseconds(50);
constexpr int silentFrame = -1;

// The file's bytes through a window that moves forward, one read a megabyte; it keeps a little
// before the place asked, where the frames a bit reservoir reaches back to lie.
class FileWindow {
public:
    explicit FileWindow(int fd) : fd_(fd), buffer_(1 << 20) {}

    // [offset, offset + size), nullptr where the file cannot give them all.
    const unsigned char* at(std::int64_t offset, int size) {
        if (offset < start_ || offset + size > start_ + fill_) {
            start_ = std::max<std::int64_t>(0, offset - keptBehind);
            fill_ = 0;
            while (fill_ < static_cast<std::int64_t>(buffer_.size())) {
                const ssize_t got = ::pread(fd_, buffer_.data() + fill_, buffer_.size() - fill_,
                                            static_cast<off_t>(start_ + fill_));
                if (got <= 0) {
                    break;
                }
                fill_ += got;
            }
            if (offset + size > start_ + fill_) {
                return nullptr;
            }
        }
        return buffer_.data() + (offset - start_);
    }

private:
    static constexpr std::int64_t keptBehind = 16 * 1024;
    const int fd_;
    std::vector<unsigned char> buffer_;
    std::int64_t start_ = 0;
    std::int64_t fill_ = 0;
};

MpegFrameHeader headerOf(const Mp3Frame& frame) {
    return MpegFrameHeader::parse(frame.header).value_or(MpegFrameHeader{});
}

// Where a frame's main data starts, in bytes from its own start.
int mainDataAt(const Mp3Frame& frame) {
    const MpegFrameHeader header = headerOf(frame);
    return 4 + (header.hasCrc ? 2 : 0) + header.sideInfoSize();
}

// The largest global gain of a granule with coded bits, or silentFrame; frames of other layers,
// which carry no such field, and frames that do not read right all score 0.
int loudnessOf(const Mp3Frame& frame, FileWindow& file) {
    const int wanted = std::min<int>(frame.size, 4 + 2 + 32);
    const unsigned char* bytes = file.at(frame.offset, wanted);
    const std::optional<Layer3Side> side =
        bytes == nullptr ? std::nullopt : readLayer3Side(bytes, wanted);
    if (!side) {
        return 0;
    }
    int loudness = silentFrame;
    for (const GranuleSide& part : side->all()) {
        if (part.codedBits > 0) {
            loudness = std::max(loudness, part.globalGain);
        }
    }
    return loudness;
}

// The level a global gain suggests. The quantiser step doubles every 4 steps of gain, and an
// encoder keeps the largest quantised values within a similar range whatever the level, so the
// loudest sample follows the gain: on LAME's files at 64k to 320k, CBR and VBR, music-like and
// speech-like, the decoded peak lies within about 5 steps (a factor of 2.4) of this guess, and
// higher bitrates draw lower. Close enough for a picture that is replaced within seconds.
PeakRange guessFromGain(int gain) {
    if (gain == silentFrame) {
        return {};
    }
    constexpr double fullScaleGain = 173.0;
    const double level = 127.0 * std::exp2((gain - fullScaleGain) / 4.0);
    const auto high = static_cast<std::int8_t>(std::clamp(std::lround(level), 0L, 127L));
    return {static_cast<std::int8_t>(-high), high};
}

// Decodes chosen frames as a straight run would, each after the one before it and a made frame
// holding the main data they borrow.
class FrameDecoder {
public:
    FrameDecoder(const std::vector<Mp3Frame>& frames, FileWindow& file)
        : frames_(frames), file_(file) {}

    bool open() {
        queued_.clear();
        lastDecoded_ = -2;
        handle_ = mpeg::newMpg123Handle();
        if (!handle_) {
            return false;
        }
        mpeg::acceptSigned16Only(handle_.get());
        if (mpg123_open_feed(handle_.get()) != MPG123_OK) {
            return false;
        }
        // libmpg123 counts the reservoir bytes of the frames it has decoded and plays a frame
        // that borrows more than that as silence. Carriers are never decoded, so two large
        // silent frames decoded first raise the count to the most any frame can borrow.
        for (int i = 0; i < 2; ++i) {
            feed(madeFrame(frames_.front().header), Role::Warm);
        }
        return drain();
    }

    // The lowest and highest sample frame `index` decodes to.
    PeakRange decode(std::int64_t index) {
        if (lastDecoded_ != index - 1) {
            const std::int64_t first = std::max<std::int64_t>(index - 1, 0);
            feedCarrier(first);
            if (first < index) {
                feedFrame(first, Role::Warm);
            }
        }
        feedFrame(index, Role::Keep);
        range_ = {};
        if (!drain()) {
            // What libmpg123 holds no longer matches what was fed: start over on a fresh handle.
            open();
            return {};
        }
        lastDecoded_ = index;
        return range_;
    }

private:
    enum class Role { Skip, Warm, Keep };

    // A silent frame like one with the header `like`, at the highest bitrate and without a CRC:
    // room for the most main data any frame can borrow. Empty when no such header exists.
    static std::vector<unsigned char> madeFrame(std::uint32_t like) {
        const std::uint32_t word = ((like | 0x00010000u) & ~0x0000f200u) | (14u << 12);
        const auto header = MpegFrameHeader::parse(word);
        if (!header || header->size < 4 + header->sideInfoSize()) {
            return {};
        }
        std::vector<unsigned char> bytes(static_cast<std::size_t>(header->size), 0);
        for (std::size_t i = 0; i < 4; ++i) {
            bytes[i] = static_cast<unsigned char>(word >> (24 - 8 * i));
        }
        return bytes;
    }

    // A made frame whose main data ends with the bytes that frame `index` borrows, taken from
    // the end of the main data of the frames before it.
    void feedCarrier(std::int64_t index) {
        const Mp3Frame& frame = frames_[static_cast<std::size_t>(index)];
        if (frame.mainDataBegin == 0) {
            return; // nothing borrowed (and layers I and II never borrow)
        }
        std::vector<unsigned char> bytes = madeFrame(frame.header);
        if (bytes.empty()) {
            return;
        }
        const int room =
            static_cast<int>(bytes.size()) - 4 -
            MpegFrameHeader::parse(frame.header).value_or(MpegFrameHeader{}).sideInfoSize();
        int missing = std::min<int>(frame.mainDataBegin, room);
        auto end = bytes.end();
        for (std::int64_t k = index - 1; k >= 0 && missing > 0; --k) {
            const Mp3Frame& earlier = frames_[static_cast<std::size_t>(k)];
            const int take = std::min(std::max(0, earlier.size - mainDataAt(earlier)), missing);
            const unsigned char* from = file_.at(earlier.offset + earlier.size - take, take);
            if (from == nullptr) {
                break;
            }
            end = std::copy_backward(from, from + take, end);
            missing -= take;
        }
        feed(bytes, Role::Skip);
    }

    void feedFrame(std::int64_t index, Role role) {
        const Mp3Frame& frame = frames_[static_cast<std::size_t>(index)];
        feed(file_.at(frame.offset, frame.size), frame.size, role);
    }

    void feed(const std::vector<unsigned char>& bytes, Role role) {
        feed(bytes.data(), bytes.size(), role);
    }

    void feed(const unsigned char* bytes, std::size_t size, Role role) {
        if (handle_ && bytes != nullptr && size > 0 &&
            mpg123_feed(handle_.get(), bytes, size) == MPG123_OK) {
            queued_.push_back(role);
        }
    }

    // Takes in every frame fed so far, decoding those that are not only there for their bytes.
    bool drain() {
        if (!handle_) {
            return false;
        }
        int fillers = 0;
        while (!queued_.empty()) {
            const int result = mpg123_framebyframe_next(handle_.get());
            if (result == MPG123_NEED_MORE) {
                // Should libmpg123 want to see the header after the last frame fed before it
                // takes that one, a silent frame after it gives it one, passed over in its turn.
                if (fillers++ > 2) {
                    return false;
                }
                feed(madeFrame(frames_.front().header), Role::Skip);
                // It stands between the last frame decoded and any that follows.
                lastDecoded_ = -2;
                continue;
            }
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
                return false;
            }
            const Role role = queued_.front();
            queued_.pop_front();
            if (role != Role::Skip) {
                decodeCurrent(role == Role::Keep);
            }
        }
        return true;
    }

    void decodeCurrent(bool keep) {
        off_t number = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        if (mpg123_framebyframe_decode(handle_.get(), &number, &audio, &bytes) != MPG123_OK ||
            audio == nullptr || !keep) {
            return;
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
        range_ = {static_cast<std::int8_t>(low / 256), static_cast<std::int8_t>(high / 256)};
    }

    const std::vector<Mp3Frame>& frames_;
    FileWindow& file_;
    mpeg::Mpg123Handle handle_;
    std::deque<Role> queued_;
    std::int64_t lastDecoded_ = -2;
    PeakRange range_;
};

} // namespace

std::optional<QString> scanPeaks(const QByteArray& path, const PeakScanCallbacks& callbacks) {
    const OpenFile file(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (file.fd() < 0) {
        return CoreText::tr("The file cannot be read.");
    }
    const auto stream =
        mpeg::MpegFrames::scan(file.fd(), nullptr, [&] { return !callbacks.cancelled(); });
    if (callbacks.cancelled()) {
        return std::nullopt;
    }
    if (!stream || stream->frames.empty() || stream->first.samplesPerFrame <= 0) {
        return CoreText::tr("The file is not MPEG audio.");
    }
    const std::vector<Mp3Frame>& frames = stream->frames;
    const auto frameCount = static_cast<std::int64_t>(frames.size());
    PeakLayout layout;
    layout.rate = stream->first.sampleRate;
    layout.bucketSamples = stream->first.samplesPerFrame * peakFramesPerBucket;
    layout.expectedBuckets = (frameCount + peakFramesPerBucket - 1) / peakFramesPerBucket;
    callbacks.started(layout);

    // The first picture, and the frame that stands for each bucket.
    FileWindow window(file.fd());
    std::vector<std::int64_t> loudest;
    std::vector<int> loudestScore;
    std::vector<PeakRange> guesses;
    loudest.reserve(static_cast<std::size_t>(layout.expectedBuckets));
    loudestScore.reserve(static_cast<std::size_t>(layout.expectedBuckets));
    guesses.reserve(static_cast<std::size_t>(layout.expectedBuckets));
    for (std::int64_t first = 0; first < frameCount; first += peakFramesPerBucket) {
        if (callbacks.cancelled()) {
            return std::nullopt;
        }
        std::int64_t chosen = first;
        int chosenScore = silentFrame;
        int guessGain = silentFrame;
        for (std::int64_t i = first; i < std::min(first + peakFramesPerBucket, frameCount); ++i) {
            const int loudness = loudnessOf(frames[static_cast<std::size_t>(i)], window);
            guessGain = std::max(guessGain, loudness);
            // The file's first frame decodes to little more than the encoder's delay, cut off by
            // the gapless trimming: it stands for its bucket only when the others are silent.
            const int score = i == 0 ? std::min(loudness, 0) : loudness;
            if (i == first || score > chosenScore) {
                chosen = i;
                chosenScore = score;
            }
        }
        loudest.push_back(chosen);
        loudestScore.push_back(chosenScore);
        guesses.push_back(guessFromGain(guessGain));
    }
    callbacks.estimated(std::move(guesses));

    FrameDecoder decoder(frames, window);
    if (!decoder.open()) {
        return CoreText::tr("The file is not MPEG audio.");
    }
    using Clock = std::chrono::steady_clock;
    auto lastChunk = Clock::now();
    std::vector<PeakRange> pending;
    const auto buckets = static_cast<std::int64_t>(loudest.size());
    for (std::int64_t bucket = 0; bucket < buckets; ++bucket) {
        if (callbacks.cancelled()) {
            return std::nullopt;
        }
        const auto at = static_cast<std::size_t>(bucket);
        pending.push_back(loudestScore[at] == silentFrame ? PeakRange{}
                                                          : decoder.decode(loudest[at]));
        if (Clock::now() - lastChunk >= chunkInterval) {
            callbacks.refined(std::move(pending));
            pending.clear();
            lastChunk = Clock::now();
        }
    }
    if (!pending.empty()) {
        callbacks.refined(std::move(pending));
    }
    return std::nullopt;
}

} // namespace snipora
