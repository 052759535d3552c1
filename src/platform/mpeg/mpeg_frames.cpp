// Finding the MPEG audio frames of a file and its tags.
#include "platform/mpeg/mpeg_frames.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace snipora::mpeg {

namespace {
constexpr std::array<std::array<int, 15>, 5> bitrates{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG-2/2.5 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG-2/2.5 II, III
}};
constexpr std::array<int, 3> mpeg1Rates{44100, 48000, 32000};

int bitrateTable(MpegVersion version, int layer) {
    if (version == MpegVersion::Mpeg1) {
        return layer - 1;
    }
    return layer == 1 ? 3 : 4;
}

int frameSize(MpegVersion version, int layer, int kbps, int rate, bool padding) {
    const int bps = kbps * 1000;
    if (layer == 1) {
        return (12 * bps / rate + (padding ? 1 : 0)) * 4;
    }
    const int factor = layer == 3 && version != MpegVersion::Mpeg1 ? 72 : 144;
    return factor * bps / rate + (padding ? 1 : 0);
}

// Whether two frames belong to one stretch of a stream: a false sync inside audio data rarely
// agrees, and a change of rate or channel count starts another stretch.
bool sameStream(const MpegFrameHeader& a, const MpegFrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate &&
           a.channels == b.channels;
}

std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

std::int64_t syncSafe(const unsigned char* p) {
    return (std::int64_t{p[0] & 0x7f} << 21) | (std::int64_t{p[1] & 0x7f} << 14) |
           (std::int64_t{p[2] & 0x7f} << 7) | (p[3] & 0x7f);
}

// Reads by pread through a large window, so that the scan of a long file costs few system calls.
class WindowReader {
public:
    WindowReader(int fd, std::int64_t end) : fd_(fd), end_(end), buffer_(1 << 17) {}

    // The bytes [pos, pos + n) (n at most 64 KiB), or nullptr when they pass the end or a read
    // fails.
    const unsigned char* at(std::int64_t pos, int n) {
        if (pos < 0 || pos + n > end_) {
            return nullptr;
        }
        if (pos < start_ || pos + n > start_ + fill_) {
            const auto want =
                static_cast<std::int64_t>(std::min<std::int64_t>(buffer_.size(), end_ - pos));
            std::int64_t got = 0;
            while (got < want) {
                const ssize_t r =
                    ::pread(fd_, buffer_.data() + got, static_cast<size_t>(want - got),
                            static_cast<off_t>(pos + got));
                if (r < 0 && errno == EINTR) {
                    continue;
                }
                if (r <= 0) {
                    failed_ = r < 0;
                    break;
                }
                got += r;
            }
            start_ = pos;
            fill_ = got;
            if (pos + n > start_ + fill_) {
                return nullptr;
            }
        }
        return buffer_.data() + (pos - start_);
    }
    bool failed() const { return failed_; }

private:
    int fd_;
    std::int64_t end_;
    std::vector<unsigned char> buffer_;
    std::int64_t start_ = 0;
    std::int64_t fill_ = 0;
    bool failed_ = false;
};

std::optional<MpegFrameHeader> headerAt(WindowReader& reader, std::int64_t pos) {
    const unsigned char* p = reader.at(pos, 4);
    return p ? MpegFrameHeader::parse(bigEndian32(p)) : std::nullopt;
}

// A frame starts at `pos` and the frames after it (as many as the data holds, up to two)
// follow on without a gap: how a stream is told from bytes that only look like a header.
bool frameRunAt(WindowReader& reader, std::int64_t pos, std::int64_t end,
                const MpegFrameHeader* stream) {
    const auto first = headerAt(reader, pos);
    if (!first || (stream && !sameStream(*first, *stream))) {
        return false;
    }
    std::int64_t next = pos + first->size;
    for (int i = 0; i < 2; ++i) {
        if (next + 4 > end) {
            return next <= end;
        }
        const auto following = headerAt(reader, next);
        if (!following || !sameStream(*first, *following)) {
            return false;
        }
        next += following->size;
    }
    return true;
}

// Where the audio starts past the ID3v2 tags at the start (the first tag's size goes to
// `firstTagSize`, 0 without one); nothing when a tag claims more than the file holds.
std::optional<std::int64_t> audioBegin(WindowReader& reader, std::int64_t fileSize,
                                       std::int64_t* firstTagSize) {
    std::int64_t begin = 0;
    *firstTagSize = 0;
    while (const unsigned char* p = reader.at(begin, 10)) {
        if (std::memcmp(p, "ID3", 3) != 0 || p[3] == 0xff || p[4] == 0xff) {
            break;
        }
        const std::int64_t size = 10 + syncSafe(p + 6) + ((p[5] & 0x10) ? 10 : 0);
        if (begin + size > fileSize) {
            return std::nullopt;
        }
        if (begin == 0) {
            *firstTagSize = size;
        }
        begin += size;
    }
    return begin;
}

// The layer III side information says where the frame's data starts.
std::uint16_t mainDataBeginAt(WindowReader& reader, std::int64_t pos, const MpegFrameHeader& h) {
    if (h.layer != 3) {
        return 0;
    }
    const unsigned char* p = reader.at(pos + 4 + (h.hasCrc ? 2 : 0), 2);
    if (!p) {
        return 0;
    }
    const int bits = (p[0] << 8) | p[1];
    return static_cast<std::uint16_t>(h.version == MpegVersion::Mpeg1 ? bits >> 7 : bits >> 8);
}

// The frames of one stream known by their header alone. The fields that tell a stream apart
// (version, layer, rate; mono or not) are compared as they stand, and the frame's size comes from
// a table of every bitrate and padding made once: the per-frame work of a long scan, without a
// look-up of each field. A header this refuses still goes through the full test.
class StreamHeaders {
public:
    explicit StreamHeaders(std::uint32_t streamWord)
        : fixed_(streamWord & fixedMask), mono_(isMono(streamWord)),
          layer3_(((streamWord >> 17) & 3) == 1), mpeg1_(((streamWord >> 19) & 3) == 3) {
        for (std::uint32_t index = 0; index < 16; ++index) {
            for (std::uint32_t padding = 0; padding < 2; ++padding) {
                const auto h = MpegFrameHeader::parse((streamWord & ~0x0000f200u) | (index << 12) |
                                                      (padding << 9));
                sizes_[index * 2 + padding] = static_cast<std::uint16_t>(h ? h->size : 0);
            }
        }
    }

    // The size of the frame whose header is `word`, 0 when it is no frame of this stream (or
    // not one this can tell: a free-format or reserved bitrate).
    int sizeOf(std::uint32_t word) const {
        if ((word & fixedMask) != fixed_ || isMono(word) != mono_) {
            return 0;
        }
        return sizes_[((word >> 12) & 15) * 2 + ((word >> 9) & 1)];
    }
    // Layer III: where the frame's audio data starts before its side information, read from
    // the frame's first bytes `p` (at least 8); 0 for layers I and II.
    std::uint16_t mainDataBegin(const unsigned char* p, std::uint32_t word) const {
        if (!layer3_) {
            return 0;
        }
        const unsigned char* side = p + ((word & 0x00010000u) ? 4 : 6);
        const int bits = (side[0] << 8) | side[1];
        return static_cast<std::uint16_t>(mpeg1_ ? bits >> 7 : bits >> 8);
    }

private:
    static constexpr std::uint32_t fixedMask = 0xfffe0c00u; // sync, version, layer, rate
    static bool isMono(std::uint32_t word) { return ((word >> 6) & 3) == 3; }

    std::uint32_t fixed_;
    bool mono_;
    bool layer3_;
    bool mpeg1_;
    std::array<std::uint16_t, 32> sizes_{};
};

// The Xing/Info or VBRI header of a first frame, if it has one.
std::optional<Mp3InfoFrame> infoFrameAt(WindowReader& reader, std::int64_t pos,
                                        const MpegFrameHeader& h) {
    if (h.layer != 3) {
        return std::nullopt;
    }
    const unsigned char* frame = reader.at(pos, h.size);
    if (!frame) {
        return std::nullopt;
    }
    Mp3InfoFrame info;
    info.offset = pos;
    info.size = h.size;
    // lame writes the tag of a frame with a CRC where it would be without one; libmpg123 finds it.
    int xing = 4 + (h.hasCrc ? 2 : 0) + h.sideInfoSize();
    if (h.hasCrc && xing + 8 <= h.size && std::memcmp(frame + xing, "Xing", 4) != 0 &&
        std::memcmp(frame + xing, "Info", 4) != 0) {
        xing -= 2;
    }
    if (xing + 8 <= h.size &&
        (std::memcmp(frame + xing, "Xing", 4) == 0 || std::memcmp(frame + xing, "Info", 4) == 0)) {
        info.kind = frame[xing] == 'X' ? Mp3InfoFrame::Kind::Xing : Mp3InfoFrame::Kind::Info;
        const std::uint32_t flags = bigEndian32(frame + xing + 4);
        int at = xing + 8;
        if ((flags & 1) && at + 4 <= h.size) {
            info.frameCount = bigEndian32(frame + at);
            info.frameCountAt = at;
            at += 4;
        }
        if ((flags & 2) && at + 4 <= h.size) {
            info.byteCount = bigEndian32(frame + at);
            info.byteCountAt = at;
            at += 4;
        }
        at += (flags & 4) ? 100 : 0;
        at += (flags & 8) ? 4 : 0;
        // libmpg123 reads the extension whenever there is room for it.
        if (at + 36 <= h.size) {
            info.lameExtension = QByteArray(reinterpret_cast<const char*>(frame + at), 36);
            info.lameExtensionAt = at;
            const unsigned char* d = frame + at + 21;
            info.encoderDelay = (d[0] << 4) | (d[1] >> 4);
            info.encoderPadding = ((d[1] & 0x0f) << 8) | d[2];
        }
        return info;
    }
    if (36 + 18 <= h.size && std::memcmp(frame + 36, "VBRI", 4) == 0) {
        info.kind = Mp3InfoFrame::Kind::Vbri;
        info.frameCount = bigEndian32(frame + 36 + 14);
        return info;
    }
    return std::nullopt;
}

// Moves `end` back over the tags that may follow the audio; where the ID3v1 tag starts. The
// APEv2 tag nearest the audio is noted in `frames`.
std::optional<std::int64_t> trimTrailingTags(WindowReader& reader, std::int64_t begin,
                                             std::int64_t& end, MpegFrames& frames) {
    std::optional<std::int64_t> id3v1;
    for (bool found = true; found;) {
        found = false;
        if (end - begin >= 128) {
            const unsigned char* p = reader.at(end - 128, 3);
            if (p && std::memcmp(p, "TAG", 3) == 0) {
                if (!id3v1) {
                    id3v1 = end - 128;
                }
                end -= 128;
                found = true;
                continue;
            }
        }
        if (end - begin >= 32) {
            const unsigned char* p = reader.at(end - 32, 32);
            if (p && std::memcmp(p, "APETAGEX", 8) == 0) {
                const std::int64_t size =
                    p[12] | (p[13] << 8) | (p[14] << 16) | (std::int64_t{p[15]} << 24);
                const bool hasHeader = (p[23] & 0x80) != 0;
                const std::int64_t total = size + (hasHeader ? 32 : 0);
                if (total >= 32 && total <= end - begin) {
                    end -= total;
                    if (frames.apeSize == 0) {
                        frames.apeOffset = end;
                        frames.apeSize = total;
                    }
                    found = true;
                    continue;
                }
            }
        }
        if (end - begin >= 15) {
            const unsigned char* p = reader.at(end - 15, 15);
            if (p && std::memcmp(p + 6, "LYRICS200", 9) == 0 &&
                std::all_of(p, p + 6, [](unsigned char c) { return c >= '0' && c <= '9'; })) {
                const std::int64_t size = std::atoll(std::string(p, p + 6).c_str());
                if (size + 15 <= end - begin) {
                    end -= size + 15;
                    found = true;
                    continue;
                }
            }
        }
        if (end - begin >= 20) {
            const unsigned char* p = reader.at(end - 10, 10);
            if (p && std::memcmp(p, "3DI", 3) == 0) {
                const std::int64_t total = syncSafe(p + 6) + 20;
                if (total <= end - begin) {
                    end -= total;
                    found = true;
                }
            }
        }
    }
    return id3v1;
}
} // namespace

std::optional<MpegFrameHeader> MpegFrameHeader::parse(std::uint32_t word) {
    if ((word & 0xffe00000u) != 0xffe00000u) {
        return std::nullopt;
    }
    const int versionBits = (word >> 19) & 3;
    const int layerBits = (word >> 17) & 3;
    const int bitrateIndex = (word >> 12) & 15;
    const int rateIndex = (word >> 10) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3) {
        return std::nullopt;
    }
    MpegFrameHeader h;
    h.version = versionBits == 3   ? MpegVersion::Mpeg1
                : versionBits == 2 ? MpegVersion::Mpeg2
                                   : MpegVersion::Mpeg25;
    h.layer = 4 - layerBits;
    h.bitrateKbps = bitrates[static_cast<std::size_t>(bitrateTable(h.version, h.layer))]
                            [static_cast<std::size_t>(bitrateIndex)];
    const int divisor = h.version == MpegVersion::Mpeg1   ? 1
                        : h.version == MpegVersion::Mpeg2 ? 2
                                                          : 4;
    h.sampleRate = mpeg1Rates[static_cast<std::size_t>(rateIndex)] / divisor;
    h.channels = ((word >> 6) & 3) == 3 ? 1 : 2;
    h.hasCrc = ((word >> 16) & 1) == 0;
    h.size = frameSize(h.version, h.layer, h.bitrateKbps, h.sampleRate, ((word >> 9) & 1) != 0);
    h.samplesPerFrame = h.layer == 1                                      ? 384
                        : h.layer == 2 || h.version == MpegVersion::Mpeg1 ? 1152
                                                                          : 576;
    return h;
}

int MpegFrameHeader::sideInfoSize() const {
    if (layer != 3) {
        return 0;
    }
    if (version == MpegVersion::Mpeg1) {
        return channels == 1 ? 17 : 32;
    }
    return channels == 1 ? 9 : 17;
}

int MpegFrameHeader::sizeFor(std::uint32_t word, int bitrateIndex) {
    const auto h = parse((word & ~0x0000f200u) | (static_cast<std::uint32_t>(bitrateIndex) << 12));
    return h ? h->size : 0;
}

std::optional<MpegFrameHeader> MpegFrames::firstHeader(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return std::nullopt;
    }
    WindowReader reader(fd, info.st_size);
    std::int64_t tagSize = 0;
    const std::optional<std::int64_t> begin = audioBegin(reader, info.st_size, &tagSize);
    if (!begin) {
        return std::nullopt;
    }
    // Junk before the first frame is rare and short; a source that has none in the first
    // megabyte past its tags is not worth reading further for this.
    const std::int64_t end = std::min<std::int64_t>(info.st_size, *begin + (1 << 20));
    for (std::int64_t pos = *begin; pos + 4 <= end; ++pos) {
        if (frameRunAt(reader, pos, info.st_size, nullptr)) {
            return headerAt(reader, pos);
        }
    }
    return std::nullopt;
}

std::optional<MpegFrames> MpegFrames::scan(int fd, QString* error,
                                           const std::function<bool()>& keepGoing) {
    const auto fail = [error](const char* reason) -> std::optional<MpegFrames> {
        if (error) {
            *error = QCoreApplication::translate("snipora::MpegFrames", reason);
        }
        return std::nullopt;
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return fail(QT_TRANSLATE_NOOP("snipora::MpegFrames", "the source file cannot be read"));
    }
    MpegFrames map;
    map.fileSize = info.st_size;
    WindowReader reader(fd, map.fileSize);

    // ID3v2 tags at the start: the first is kept for the output, any more are passed over.
    const std::optional<std::int64_t> audio = audioBegin(reader, map.fileSize, &map.id3v2Size);
    if (!audio) {
        return fail("the ID3v2 tag at the start of the source is longer than the file");
    }
    const std::int64_t begin = *audio;
    std::int64_t end = map.fileSize;
    map.id3v1Offset = trimTrailingTags(reader, begin, end, map);

    std::optional<MpegFrameHeader> stream;
    std::optional<StreamHeaders> streamHeaders;
    // Lists one frame; false once the scan is to stop.
    const auto add = [&map, &keepGoing](std::int64_t at, std::uint32_t word, int size,
                                        std::uint16_t mainDataBegin) {
        if (!map.frames.empty()) {
            if (((map.frames.front().header ^ word) & 0xf000u) != 0) {
                map.variableBitrate = true;
            }
            if (const Mp3Frame& last = map.frames.back(); last.offset + last.size != at) {
                map.framesAdjoin = false;
            }
        }
        map.frames.push_back(Mp3Frame{at, word, static_cast<std::uint16_t>(size), mainDataBegin});
        // About every 4 MB of a 128 kbit/s stream.
        return !keepGoing || map.frames.size() % 10000 != 0 || keepGoing();
    };
    std::int64_t pos = begin;
    while (pos + 4 <= end) {
        // Most frames repeat the stream's header but for bitrate and padding.
        if (const unsigned char* p = streamHeaders ? reader.at(pos, 8) : nullptr) {
            const std::uint32_t word = bigEndian32(p);
            if (const int size = streamHeaders->sizeOf(word); size > 0 && pos + size <= end) {
                if (!add(pos, word, size, streamHeaders->mainDataBegin(p, word))) {
                    return fail(QT_TRANSLATE_NOOP("snipora::MpegFrames", "the scan was stopped"));
                }
                pos += size;
                continue;
            }
        }
        const auto h = headerAt(reader, pos);
        const bool inStep = h && stream && sameStream(*h, *stream) && pos + h->size <= end;
        if (!inStep && !frameRunAt(reader, pos, end, stream ? &*stream : nullptr)) {
            if (stream && frameRunAt(reader, pos, end, nullptr)) {
                map.nextStretch = h;
                break; // frames of another rate or channel count: the first stretch ends
            }
            ++pos; // not a frame: look for the next one
            continue;
        }
        if (pos + h->size > end) {
            break; // a frame cut off by the end of the file is no audio
        }
        if (!stream) {
            stream = h;
            streamHeaders.emplace(bigEndian32(reader.at(pos, 4)));
            map.first = *h;
            // Room for frames of half the first one's size on average, as a variable bitrate
            // stream's may be: the list never grows by copying, and room never used costs no
            // memory.
            map.frames.reserve(static_cast<std::size_t>((end - pos) / (h->size / 2) + 1));
            map.info = infoFrameAt(reader, pos, *h);
            if (map.info && map.info->kind != Mp3InfoFrame::Kind::Vbri) {
                pos += h->size;
                continue;
            }
        }
        if (!add(pos, bigEndian32(reader.at(pos, 4)), h->size, mainDataBeginAt(reader, pos, *h))) {
            return fail(QT_TRANSLATE_NOOP("snipora::MpegFrames", "the scan was stopped"));
        }
        pos += h->size;
    }
    if (reader.failed()) {
        return fail(QT_TRANSLATE_NOOP("snipora::MpegFrames",
                                      "the source file could not be read to its end"));
    }
    if (map.frames.empty()) {
        return fail(
            QT_TRANSLATE_NOOP("snipora::MpegFrames", "the source holds no MPEG audio frames"));
    }
    if (auto& header = map.info; header && header->encoderPadding) {
        const Mp3Frame& last = map.frames.back();
        const bool countFits = header->frameCount == map.frames.size();
        const bool bytesFit =
            header->byteCount && (*header->byteCount == last.offset + last.size - header->offset ||
                                  *header->byteCount == map.fileSize - map.id3v2Size);
        if (!countFits && !bytesFit) {
            header->encoderPadding = mpg123DecoderDelay;
        }
    }

    return map;
}

} // namespace snipora::mpeg
