// The MPEG audio frames of a source, its tags, and its sample count as the player gives it.
#pragma once

#include "platform/mpeg/mpeg_frames.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace snipora {

using mpeg::Mp3Frame;
using mpeg::Mp3InfoFrame;
using mpeg::MpegFrameHeader;
using mpeg::MpegVersion;
using mpeg::mpg123DecoderDelay;

class Mp3FrameMap {
public:
    // Reads the source through `fd` (pread only: the file offset is left alone). On failure
    // `error` (when given) says why in words for the user. A long scan asks `keepGoing` (when
    // given) now and then, and stops with nothing once it says no.
    static std::optional<Mp3FrameMap> scan(int fd, QString* error,
                                           const std::function<bool()>& keepGoing = {});
    // The header of the source's first frame, read from its start alone (no pass over the
    // whole file): what a frame of this source is, in samples and rate.
    static std::optional<MpegFrameHeader> firstFrameHeader(int fd) {
        return mpeg::MpegFrames::firstHeader(fd);
    }

    const std::vector<Mp3Frame>& frames() const { return stream_.frames; }
    const std::optional<Mp3InfoFrame>& infoFrame() const { return stream_.info; }
    std::int64_t fileSize() const { return stream_.fileSize; }
    // The ID3v2 tag at the start (footer included), 0 without one.
    std::int64_t id3v2Size() const { return stream_.id3v2Size; }
    // Where the ID3v1 tag (the last 128 bytes) starts, nullopt without one.
    std::optional<std::int64_t> id3v1Offset() const { return stream_.id3v1Offset; }
    // The APEv2 tag after the audio: where it starts and its bytes (0 without one).
    std::int64_t apeOffset() const { return stream_.apeOffset; }
    std::int64_t apeSize() const { return stream_.apeSize; }
    // The format of the frames after the first stretch, when the rate or channel count changes.
    const std::optional<MpegFrameHeader>& nextStretch() const { return stream_.nextStretch; }

    MpegVersion version() const { return stream_.first.version; }
    int layer() const { return stream_.first.layer; }
    int sampleRate() const { return stream_.first.sampleRate; }
    int channels() const { return stream_.first.channels; }
    int samplesPerFrame() const { return stream_.first.samplesPerFrame; }
    bool variableBitrate() const { return stream_.variableBitrate; }
    // Every frame starts where the one before it ends: no junk between them.
    bool framesAdjoin() const { return stream_.framesAdjoin; }

    // Samples of the decoded stream the player drops before gapless sample 0 (the encoder delay
    // and libmpg123's own decoder delay when the LAME header gives one), and the gapless length.
    std::int64_t decoderSkip() const { return skip_; }
    std::int64_t lengthSamples() const { return length_; }

    // The gapless sample a mark of `ms` milliseconds stands for (rounded up, as the player
    // seeks), within [0, lengthSamples()].
    std::int64_t sampleAtMs(std::int64_t ms) const;

private:
    mpeg::MpegFrames stream_;
    std::int64_t skip_ = 0;
    std::int64_t length_ = 0;
};

} // namespace snipora
