// The MPEG audio frames of a file: past its tags, over junk between frames, with its Xing/Info
// header.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace snipora::mpeg {

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

// The first frame when it describes the stream instead of holding audio (Xing, Info), or
// describes it and is decoded as a silent frame all the same (VBRI: libmpg123 and GStreamer
// play it, so it stays one of the audio frames).
struct Mp3InfoFrame {
    enum class Kind { Xing, Info, Vbri };
    Kind kind = Kind::Info;
    std::int64_t offset = 0;
    int size = 0;
    std::optional<std::uint32_t> frameCount;
    std::optional<std::uint32_t> byteCount;
    // Where the frame count and the byte count sit in the frame's bytes (Xing and Info), -1
    // without them.
    int frameCountAt = -1;
    int byteCountAt = -1;
    // From the LAME extension: samples the encoder added at the start and at the end. Where
    // neither the frame count nor the byte count is the stream's (a file cut short), its end
    // is not the encoder's: the padding is then taken as libmpg123's decoder delay, so that
    // the stream ends with its last decoded sample, as ffmpeg ends it.
    std::optional<int> encoderDelay;
    std::optional<int> encoderPadding;
    QByteArray lameExtension; // its 36 bytes as found, empty without one
    int lameExtensionAt = -1; // where it starts in the frame's bytes
};

struct MpegFrames {
    // The audio frames of the stream's first stretch (one sample rate, one channel count), in
    // file order; bytes between them that are no frame are passed over.
    std::vector<Mp3Frame> frames;
    std::optional<Mp3InfoFrame> info;
    MpegFrameHeader first;
    bool variableBitrate = false;
    // Every audio frame starts where the one before it ends (no junk was passed over between
    // them): the bytes of a run of frames are then the distance between their offsets.
    bool framesAdjoin = true;
    std::int64_t fileSize = 0;
    // The ID3v2 tag at the start (footer included), 0 without one.
    std::int64_t id3v2Size = 0;
    // Where the ID3v1 tag (the last 128 bytes) starts, nullopt without one.
    std::optional<std::int64_t> id3v1Offset;
    // The APEv2 tag after the audio (header and footer included): where it starts and its bytes.
    std::int64_t apeOffset = 0;
    std::int64_t apeSize = 0;
    // Frames with another sample rate or channel count that follow the first stretch: the
    // first of them, nullopt when the stream keeps one format to its end.
    std::optional<MpegFrameHeader> nextStretch;

    // Reads the file through `fd` (pread only: the file offset is left alone). On failure
    // `error` (when given) says why in words for the user. A long scan asks `keepGoing` (when
    // given) now and then, and stops with nothing once it says no.
    static std::optional<MpegFrames> scan(int fd, QString* error,
                                          const std::function<bool()>& keepGoing = {});
    // The header of the source's first frame, read from its start alone (no pass over the
    // whole file): what a frame of this source is, in samples and rate.
    static std::optional<MpegFrameHeader> firstHeader(int fd);
};

// libmpg123's own decoder delay: the samples its synthesis adds before the first encoded one.
inline constexpr int mpg123DecoderDelay = 529;

} // namespace snipora::mpeg
