// The MPEG audio frames of a source, its tags, and its sample count as libmpg123 gives it.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace snipora {

enum class MpegVersion : std::uint8_t { Mpeg1, Mpeg2, Mpeg25 };

// What the four header bytes of one frame say.
struct MpegFrameHeader {
    MpegVersion version = MpegVersion::Mpeg1;
    int layer = 3;
    int bitrateKbps = 0;
    int sampleRate = 0;
    int channels = 2;
    bool hasCrc = false;
    int size = 0; // bytes of the whole frame, header included
    int samplesPerFrame = 0;

    // Nullopt for anything that is not a frame we can cut (bad sync, reserved fields, free format).
    static std::optional<MpegFrameHeader> parse(std::uint32_t word);
    // Layer III side information bytes after the header (and the CRC).
    int sideInfoSize() const;
    // The frame size this header would have with another bitrate index and no padding.
    static int sizeFor(std::uint32_t word, int bitrateIndex);
};

struct Mp3Frame {
    std::int64_t offset = 0;
    std::uint32_t header = 0;
    std::uint16_t size = 0;
    // Layer III: how many bytes before this frame's side information its audio data starts (the
    // bit reservoir), 0 for layers I and II.
    std::uint16_t mainDataBegin = 0;
};

// The first frame when it describes the stream instead of holding audio.
struct Mp3InfoFrame {
    enum class Kind { Xing, Info, Vbri };
    Kind kind = Kind::Info;
    std::int64_t offset = 0;
    int size = 0;
    std::optional<std::uint32_t> frameCount;
    // From the LAME extension: samples the encoder added at the start and at the end.
    std::optional<int> encoderDelay;
    std::optional<int> encoderPadding;
    QByteArray lameExtension; // its 36 bytes as found, empty without one
};

class Mp3FrameMap {
public:
    // Reads the source through `fd` (pread only: the file offset is left alone). On failure
    // `error` (when given) says why in words for the user.
    static std::optional<Mp3FrameMap> scan(int fd, QString* error);
    // The header of the source's first frame, read from its start alone (no pass over the
    // whole file): what a frame of this source is, in samples and rate.
    static std::optional<MpegFrameHeader> firstFrameHeader(int fd);

    const std::vector<Mp3Frame>& frames() const { return frames_; }
    const std::optional<Mp3InfoFrame>& infoFrame() const { return info_; }
    std::int64_t fileSize() const { return fileSize_; }
    // The ID3v2 tag at the start (footer included), 0 without one.
    std::int64_t id3v2Size() const { return id3v2Size_; }
    // Where the ID3v1 tag (the last 128 bytes) starts, nullopt without one.
    std::optional<std::int64_t> id3v1Offset() const { return id3v1Offset_; }

    MpegVersion version() const { return first_.version; }
    int layer() const { return first_.layer; }
    int sampleRate() const { return first_.sampleRate; }
    int channels() const { return first_.channels; }
    int samplesPerFrame() const { return first_.samplesPerFrame; }
    bool variableBitrate() const { return variableBitrate_; }

    // Samples of the decoded stream libmpg123 drops before gapless sample 0 (the encoder delay
    // and its own decoder delay when the stream's LAME header is honoured), and the gapless
    // length it reports after mpg123_scan.
    std::int64_t decoderSkip() const { return skip_; }
    std::int64_t lengthSamples() const { return length_; }

    // The gapless sample a mark of `ms` milliseconds stands for (rounded up, as the player
    // seeks), within [0, lengthSamples()].
    std::int64_t sampleAtMs(std::int64_t ms) const;

private:
    std::vector<Mp3Frame> frames_;
    std::optional<Mp3InfoFrame> info_;
    MpegFrameHeader first_;
    bool variableBitrate_ = false;
    std::int64_t fileSize_ = 0;
    std::int64_t id3v2Size_ = 0;
    std::optional<std::int64_t> id3v1Offset_;
    std::int64_t skip_ = 0;
    std::int64_t length_ = 0;
};

// libmpg123's own decoder delay: the samples its synthesis adds before the first encoded one.
inline constexpr int mpg123DecoderDelay = 529;

} // namespace snipora
