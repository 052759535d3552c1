// Planning, writing and checking a frame-exact MP3 cut.
#include "core/mp3_cut.h"
#include "core/core_text.h"

#include "core/time_text.h"
#include "platform/mpeg/mpg123_file.h"

#include <QFile>
#include <QFileDevice>
#include <QScopeGuard>

#include <mpg123.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace snipora {

namespace {
constexpr int maxDelayOrPadding = 4095; // the LAME header's 12-bit fields
// Large enough that the system calls cost little, small enough to stay in the processor's
// cache between the read and the write.
constexpr std::int64_t copyBlock = 1 << 20;

// CRC-16 as the LAME header uses it (polynomial 0x8005, reflected, start 0), for its own bytes.
std::uint16_t crc16(const unsigned char* p, std::size_t n) {
    std::uint16_t crc = 0;
    while (n-- > 0) {
        crc ^= *p++;
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001u : crc >> 1);
        }
    }
    return crc;
}

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

int dataStart(const MpegFrameHeader& h) {
    return 4 + (h.hasCrc ? 2 : 0) + h.sideInfoSize();
}

// The layer III data bytes of a frame (after its header, CRC and side information).
int dataBytes(const Mp3Frame& frame) {
    const auto h = MpegFrameHeader::parse(frame.header);
    return h ? std::max(0, frame.size - dataStart(*h)) : 0;
}

// The header of a frame made here from one of the stream's: no CRC, no padding, and the
// smallest bitrate whose frame holds `bytes` bytes; 0 when none does.
std::uint32_t madeHeader(std::uint32_t streamHeader, int bytes) {
    for (int index = 1; index < 15; ++index) {
        if (MpegFrameHeader::sizeFor(streamHeader, index) >= bytes) {
            return (streamHeader & ~0x0001f200u) | 0x00010000u |
                   (static_cast<std::uint32_t>(index) << 12);
        }
    }
    return 0;
}

void putBigEndian(unsigned char* p, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(value & 0xff);
        value >>= 8;
    }
}

// The bytes of a silent frame: with every side information field zero (layer III) the frame
// decodes to silence and leaves its whole data part to the next frame's bit reservoir.
QByteArray leadFrameBytes(std::uint32_t streamHeader, const QByteArray& reservoir) {
    const auto h = MpegFrameHeader::parse(streamHeader);
    const std::uint32_t header = madeHeader(streamHeader, dataStart(*h) + 2 + reservoir.size());
    QByteArray frame(MpegFrameHeader::sizeFor(header, (header >> 12) & 15), '\0');
    putBigEndian(reinterpret_cast<unsigned char*>(frame.data()), header, 4);
    std::memcpy(frame.data() + frame.size() - reservoir.size(), reservoir.constData(),
                static_cast<std::size_t>(reservoir.size()));
    return frame;
}

// The bit reservoir bytes that frames [first, end) borrow from frames before `first`, as far as
// the source holds them; nullopt when the source cannot be read.
std::optional<QByteArray> reservoirFor(int sourceFd, const std::vector<Mp3Frame>& frames,
                                       std::int64_t first, std::int64_t end) {
    // The copied frames' data may start in frames left out: how far back.
    std::int64_t reservoir = 0;
    std::int64_t ahead = 0; // data bytes of copied frames before frame i
    for (std::int64_t i = first; i < end && ahead <= 511; ++i) {
        reservoir = std::max<std::int64_t>(
            reservoir, frames[static_cast<std::size_t>(i)].mainDataBegin - ahead);
        ahead += dataBytes(frames[static_cast<std::size_t>(i)]);
    }
    // Only what the source holds before the first copied frame can be carried over.
    std::vector<std::size_t> carried;
    std::int64_t available = 0;
    for (std::int64_t i = first - 1; i >= 0 && available < reservoir; --i) {
        carried.push_back(static_cast<std::size_t>(i));
        available += dataBytes(frames[static_cast<std::size_t>(i)]);
    }
    reservoir = std::min(reservoir, available);
    QByteArray bytes;
    if (reservoir > 0) {
        for (auto it = carried.rbegin(); it != carried.rend(); ++it) {
            const Mp3Frame& frame = frames[*it];
            const int n = dataBytes(frame);
            QByteArray part(n, '\0');
            if (!readAt(sourceFd, part.data(), n, frame.offset + frame.size - n)) {
                return std::nullopt;
            }
            bytes += part;
        }
    }
    return bytes.right(reservoir);
}

// libmpg123 decodes layer III from this many frames before the one where its output starts.
constexpr std::int64_t mpg123Preframes = 4;

// After how many decoded frames libmpg123's synthesis filter rounds alike. Its window turns by
// 18 of 16 steps per granule, and the order in which it sums a sample's products, so the last
// bit of rounding, follows where it stands: every other granule for stereo, every fourth for
// mono (found by decoding pieces against their source from its start). A frame holds two
// granules in MPEG-1, one in MPEG-2 and 2.5: for MPEG-2 mono the 2 to 4 frames an output can
// decode before the kept one cover only part of the cycle, so about half its cuts have no
// frame in step.
std::int64_t synthesisCycleFrames(const Mp3FrameMap& map) {
    const std::int64_t granules = map.channels() == 1 ? 4 : 2;
    return granules / (map.version() == MpegVersion::Mpeg1 ? 2 : 1);
}

// The output's audio frames as its Xing/Info frame describes them: how many, their bytes, and
// where each hundredth of them starts (its seek table), counted without listing every frame.
struct OutputFrames {
    std::uint32_t streamHeader = 0;
    std::int64_t count = 0; // every audio frame of the output, the lead frame included
    std::int64_t audioBytes = 0;
    std::array<std::int64_t, 100>
        hundredths{}; // bytes of the audio frames before frame i * count / 100
};

// Calls `visit` with the size of every audio frame of the output in order, the lead frame
// first, until it returns false.
template <typename Visit>
void visitOutputFrames(const Mp3FrameMap& map, const Mp3CutPlan& plan, std::int64_t leadSize,
                       Visit visit) {
    if (plan.leadFrame && !visit(leadSize)) {
        return;
    }
    const auto& frames = map.frames();
    for (std::size_t i = plan.firstFrame; i < plan.endFrame; ++i) {
        if (!plan.removedFrames.empty() && plan.keptFrom(i) != i) {
            i = plan.keptFrom(i) - 1;
            continue;
        }
        const auto replaced =
            plan.replacedFrames.empty() ? plan.replacedFrames.end() : plan.replacedFrames.find(i);
        if (!visit(replaced != plan.replacedFrames.end() ? replaced->second.size()
                                                         : frames[i].size)) {
            return;
        }
    }
}

OutputFrames outputFrames(const Mp3FrameMap& map, const Mp3CutPlan& plan) {
    OutputFrames out;
    out.streamHeader = map.frames()[plan.firstFrame].header;
    const std::int64_t leadSize =
        plan.leadFrame ? leadFrameBytes(out.streamHeader, plan.reservoir).size() : 0;
    if (map.framesAdjoin() && plan.replacedFrames.empty() && plan.removedFrames.empty()) {
        // The source's frames as they lie: their bytes are the distance between offsets, so a
        // long cut needs no pass over its frames.
        const auto& frames = map.frames();
        const auto first = static_cast<std::int64_t>(plan.firstFrame);
        const auto lead = plan.leadFrame ? 1 : 0;
        const auto bytesBefore = [&](std::int64_t frame) { // audio bytes before output frame
            if (frame < lead) {
                return std::int64_t{0};
            }
            return leadSize + frames[static_cast<std::size_t>(first + frame - lead)].offset -
                   frames[plan.firstFrame].offset;
        };
        out.count = static_cast<std::int64_t>(plan.endFrame - plan.firstFrame) + lead;
        const Mp3Frame& last = frames[plan.endFrame - 1];
        out.audioBytes = leadSize + last.offset + last.size - frames[plan.firstFrame].offset;
        for (std::size_t i = 0; i < out.hundredths.size(); ++i) {
            out.hundredths[i] = bytesBefore(static_cast<std::int64_t>(i) * out.count / 100);
        }
        return out;
    }
    visitOutputFrames(map, plan, leadSize, [&out](std::int64_t size) {
        ++out.count;
        out.audioBytes += size;
        return true;
    });
    std::int64_t frame = 0;
    std::int64_t bytes = 0;
    std::size_t next = 0;
    visitOutputFrames(map, plan, leadSize, [&](std::int64_t size) {
        for (; next < out.hundredths.size() &&
               static_cast<std::int64_t>(next) * out.count / 100 <= frame;
             ++next) {
            out.hundredths[next] = bytes;
        }
        ++frame;
        bytes += size;
        return next < out.hundredths.size();
    });
    return out;
}

// The Xing (VBR) or Info (CBR) frame with its LAME extension. Its music CRC stays zero, as
// decoders accept: computing it cost a third of the time of a long save.
QByteArray infoFrameBytes(const Mp3FrameMap& map, const Mp3CutPlan& plan, const OutputFrames& out) {
    const auto stream = MpegFrameHeader::parse(out.streamHeader);
    const int xing = dataStart(*stream) - (stream->hasCrc ? 2 : 0);
    const int lame = xing + 8 + 4 + 4 + 100 + 4;
    const std::uint32_t header = madeHeader(out.streamHeader, lame + 36);
    QByteArray bytes(MpegFrameHeader::sizeFor(header, (header >> 12) & 15), '\0');
    auto* f = reinterpret_cast<unsigned char*>(bytes.data());
    putBigEndian(f, header, 4);
    std::memcpy(f + xing, map.variableBitrate() ? "Xing" : "Info", 4);
    putBigEndian(f + xing + 4, 0x0f, 4); // frames, bytes, table of contents, quality
    const std::int64_t frameCount = out.count;
    const std::int64_t streamBytes = bytes.size() + out.audioBytes;
    putBigEndian(f + xing + 8, static_cast<std::uint32_t>(frameCount), 4);
    putBigEndian(f + xing + 12, static_cast<std::uint32_t>(streamBytes), 4);
    // Seek table: where each hundredth of the playing time starts, in 256ths of the stream.
    for (std::size_t i = 0; i < out.hundredths.size(); ++i) {
        const std::int64_t offset = bytes.size() + out.hundredths[i];
        f[xing + 16 + static_cast<int>(i)] =
            static_cast<unsigned char>(std::min<std::int64_t>(255, offset * 256 / streamBytes));
    }
    // The LAME extension: the source's encoder settings where it had one, never its gain or
    // peak, which describe the whole song. The encoder name always starts with "LAME":
    // GStreamer honours the delay and padding only after that name, and what ffmpeg names
    // "Lavc" or "Lavf" was encoded by LAME all the same.
    unsigned char* l = f + lame;
    const QByteArray& source = map.infoFrame() ? map.infoFrame()->lameExtension : QByteArray();
    const bool knownEncoder =
        source.startsWith("LAME") || source.startsWith("Lavf") || source.startsWith("Lavc");
    const QByteArray encoder =
        source.startsWith("LAME") ? source.left(9) : QByteArrayLiteral("LAME3.100");
    std::copy_n(encoder.constData(), std::min<qsizetype>(encoder.size(), 9), l);
    if (knownEncoder) {
        const auto* s = reinterpret_cast<const unsigned char*>(source.constData());
        l[9] = s[9] & 0x0f;
        l[10] = s[10];
        l[19] = s[19];
        l[20] = s[20];
        l[24] = s[24];
        l[26] = s[26];
        l[27] = s[27];
    } else {
        l[9] = map.variableBitrate() ? 3 : 1;
    }
    l[21] = static_cast<unsigned char>(plan.encoderDelay >> 4);
    l[22] =
        static_cast<unsigned char>(((plan.encoderDelay & 0x0f) << 4) | (plan.encoderPadding >> 8));
    l[23] = static_cast<unsigned char>(plan.encoderPadding & 0xff);
    putBigEndian(l + 28, static_cast<std::uint32_t>(streamBytes), 4);
    putBigEndian(l + 34, crc16(f, static_cast<std::size_t>(lame + 34)), 2);
    return bytes;
}

// The source file mapped for reading by the system's copy alone (this process never reads the
// mapping itself, so a source cut short meanwhile fails a write instead of raising a signal);
// empty where the file cannot be mapped.
class SourceMapping {
public:
    explicit SourceMapping(int fd) {
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
            return;
        }
        void* data =
            ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
        if (data != MAP_FAILED) {
            data_ = static_cast<const char*>(data);
            size_ = info.st_size;
        }
    }
    ~SourceMapping() {
        if (data_) {
            ::munmap(const_cast<char*>(data_), static_cast<std::size_t>(size_));
        }
    }
    SourceMapping(const SourceMapping&) = delete;
    SourceMapping& operator=(const SourceMapping&) = delete;

    bool holds(std::int64_t offset, std::int64_t n) const {
        return data_ && offset >= 0 && offset + n <= size_;
    }
    // The bytes [offset, offset + n), mapped in before the write that reads them: the system
    // maps them in one go instead of one fault at a time during the write. Block by block, so
    // that a long file is never read in whole ahead of the copy.
    const char* mappedIn(std::int64_t offset, std::int64_t n) const {
        static const std::int64_t pageSize = ::sysconf(_SC_PAGESIZE);
        const std::int64_t page = offset - offset % pageSize;
        ::madvise(const_cast<char*>(data_) + page, static_cast<std::size_t>(offset + n - page),
                  MADV_POPULATE_READ);
        return data_ + offset;
    }

private:
    const char* data_ = nullptr;
    std::int64_t size_ = 0;
};

bool writeAll(QFileDevice& target, const char* data, std::int64_t size) {
    // A short write sets no error; writing the rest makes the system say why (a full disk).
    while (size > 0) {
        const qint64 written = target.write(data, size);
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

QString writeReason(const QFileDevice& target) {
    return CoreText::tr("the output could not be written (%1)").arg(target.errorString());
}

// A file's bytes mapped for reading, handed to libmpg123 as its reader: the check scans what
// was just written straight from the page cache, without a read into a buffer first. Only for
// the save's own new file, which nobody else shortens while it is read (a shortened mapping
// would fault).
class MappedBytes {
public:
    explicit MappedBytes(int fd) {
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
            return;
        }
        void* data = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ,
                            MAP_SHARED | MAP_POPULATE, fd, 0);
        if (data != MAP_FAILED) {
            data_ = static_cast<const char*>(data);
            size_ = info.st_size;
        }
    }
    ~MappedBytes() {
        if (data_) {
            ::munmap(const_cast<char*>(data_), static_cast<std::size_t>(size_));
        }
    }
    MappedBytes(const MappedBytes&) = delete;
    MappedBytes& operator=(const MappedBytes&) = delete;

    bool isValid() const { return data_ != nullptr; }
    bool openThrough(mpg123_handle* handle) {
        return mpg123_replace_reader_handle(handle, &MappedBytes::read, &MappedBytes::seek,
                                            nullptr) == MPG123_OK &&
               mpg123_open_handle(handle, this) == MPG123_OK;
    }

private:
    static ssize_t read(void* self, void* out, std::size_t count) {
        auto* bytes = static_cast<MappedBytes*>(self);
        const auto n = static_cast<std::size_t>(
            std::clamp<off_t>(bytes->size_ - bytes->position_, 0, static_cast<off_t>(count)));
        std::memcpy(out, bytes->data_ + bytes->position_, n);
        bytes->position_ += static_cast<off_t>(n);
        return static_cast<ssize_t>(n);
    }
    static off_t seek(void* self, off_t offset, int whence) {
        auto* bytes = static_cast<MappedBytes*>(self);
        const off_t base = whence == SEEK_SET   ? 0
                           : whence == SEEK_CUR ? bytes->position_
                           : whence == SEEK_END ? bytes->size_
                                                : -1;
        if (base < 0 || base + offset < 0) {
            return -1;
        }
        bytes->position_ = base + offset;
        return bytes->position_;
    }

    const char* data_ = nullptr;
    off_t size_ = 0;
    off_t position_ = 0;
};

} // namespace

bool readAt(int fd, void* data, std::int64_t size, std::int64_t offset) {
    auto* bytes = static_cast<char*>(data);
    std::int64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, bytes + done, static_cast<size_t>(size - done),
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = 0;
            }
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray mp3SilentFrame(std::uint32_t streamHeader, const QByteArray& reservoir) {
    return leadFrameBytes(streamHeader, reservoir);
}

std::optional<Mp3CutPlan> planMp3Cut(int sourceFd, const Mp3FrameMap& map, std::int64_t startMs,
                                     std::int64_t endMs, QString* error) {
    const auto fail = [error](const QString& reason) -> std::optional<Mp3CutPlan> {
        if (error) {
            *error = reason;
        }
        return std::nullopt;
    };
    if (map.layer() != 3) {
        return fail(CoreText::tr("the source is MPEG audio layer %1, not MP3").arg(map.layer()));
    }
    Mp3CutPlan plan;
    plan.startSample = map.sampleAtMs(startMs);
    plan.endSample = map.sampleAtMs(endMs);
    if (plan.endSample <= plan.startSample) {
        return fail(CoreText::tr("the selection is empty"));
    }
    // ffmpeg and GStreamer trim the start of a cut only in a frame other than the one where
    // they trim its end: a selection within one frame would come out from its frame's start.
    if (plan.samples() <= map.samplesPerFrame()) {
        const std::int64_t shortest = (map.samplesPerFrame() + 1) * 1000 / map.sampleRate() + 1;
        return fail(CoreText::tr("the selection is shorter than one MPEG frame, which many "
                                 "players would play from the frame's start; the shortest "
                                 "cut of this file is %1 ms")
                        .arg(shortest));
    }
    // Frames of another format cannot follow in one file without every decoder losing them;
    // the player stops where the first stretch ends, and so does a cut.
    if (const auto& next = map.nextStretch();
        next &&
        (std::max<std::int64_t>(endMs, 0) * map.sampleRate() + 999) / 1000 > map.lengthSamples()) {
        const auto format = [](int rate, int channels) {
            return CoreText::tr("%1 Hz %2")
                .arg(rate)
                .arg(channels == 1 ? CoreText::tr("mono") : CoreText::tr("stereo"));
        };
        return fail(CoreText::tr("the source changes from %1 to %2 at %3; Direct Save cuts "
                                 "only before that point (Convert Save re-encodes the rest)")
                        .arg(format(map.sampleRate(), map.channels()),
                             format(next->sampleRate, next->channels),
                             preciseTime(map.lengthSamples() * 1000 / map.sampleRate())));
    }
    const auto& frames = map.frames();
    const auto count = static_cast<std::int64_t>(frames.size());
    const std::int64_t spf = map.samplesPerFrame();
    // Samples of the source's decoded stream, before libmpg123 drops its start.
    const std::int64_t rawStart = plan.startSample + map.decoderSkip();
    const std::int64_t rawEnd = plan.endSample + map.decoderSkip();
    const std::int64_t startFrame = std::min(rawStart / spf, count - 1);
    // A frame's first granule overlaps the granule before it and the synthesis filter remembers
    // the last 512 samples: the frame before (two frames of one granule each for MPEG-2 and 2.5)
    // must be decoded from its own data for the first kept sample to come out as in the source.
    const std::int64_t before = map.version() == MpegVersion::Mpeg1 ? 1 : 2;
    const std::int64_t needed = std::max<std::int64_t>(0, startFrame - before);
    const std::int64_t end = std::clamp<std::int64_t>((rawEnd + spf - 1) / spf, needed + 1, count);
    // libmpg123 decodes from `mpg123Preframes` frames before the one holding the first sample
    // it gives (or from the first frame): how many frames the source and the output have
    // decoded when they reach the frame of the first kept sample must agree (see
    // synthesisCycleFrames). The output decodes min(k, preframes) frames before it, k being
    // the frames it holds before it.
    const std::int64_t cycle = synthesisCycleFrames(map);
    const std::int64_t sourcePhase =
        startFrame - std::max<std::int64_t>(0, map.decoderSkip() / spf - mpg123Preframes);
    struct Choice {
        std::int64_t first = 0;
        bool lead = false;
        QByteArray reservoir;
    };
    std::optional<Choice> chosen;
    std::optional<Choice> fallback;
    for (std::int64_t first = needed;
         !chosen && first >= 0 && startFrame - first <= mpg123Preframes; --first) {
        auto reservoir = reservoirFor(sourceFd, frames, first, end);
        if (!reservoir) {
            return fail(CoreText::tr("the source could not be read (%1)").arg(systemReason(errno)));
        }
        // A lead frame is needed to carry the reservoir or to make room for the decoder delay;
        // a silent one may be added anyway, as one more frame decoded before the copied ones.
        const bool leadNeeded =
            !reservoir->isEmpty() || rawStart - first * spf < mpg123DecoderDelay;
        for (const bool lead : {leadNeeded, true}) {
            const std::int64_t decodedBefore = startFrame - first + (lead ? 1 : 0);
            if (decodedBefore > mpg123Preframes) {
                continue;
            }
            const Choice choice{first, lead, *reservoir};
            if (!fallback) {
                fallback = choice;
            }
            if ((sourcePhase - decodedBefore) % cycle == 0) {
                chosen = choice;
                break;
            }
        }
    }
    // Where no choice decodes in step, the nearest: a few of its samples may differ from the
    // source's by one step of rounding. A decoder that seeks to the start before it plays
    // (libmpg123 after a scan, as our player does) steps otherwise, and no choice suits both;
    // ffmpeg's decoder gives the source's samples from any of them.
    const Choice& choice = chosen ? *chosen : *fallback;
    plan.firstFrame = static_cast<std::size_t>(choice.first);
    plan.leadFrame = choice.lead;
    plan.reservoir = choice.reservoir;
    plan.endFrame = static_cast<std::size_t>(end);
    const auto first = static_cast<std::int64_t>(plan.firstFrame);
    // The output's first decoded sample, in the source's decoded stream.
    std::int64_t base = first * spf;
    if (plan.leadFrame) {
        base -= spf;
    }
    const auto outFrames = end - first + (plan.leadFrame ? 1 : 0);
    const std::int64_t delay = rawStart - base - mpg123DecoderDelay;
    const std::int64_t padding = outFrames * spf + mpg123DecoderDelay - (rawEnd - base);
    // By the choice of frames above the delay stays under 3 frames and the padding under 2.
    if (delay < 0 || delay > maxDelayOrPadding || padding < 0 || padding > maxDelayOrPadding) {
        return fail(CoreText::tr("the selection cannot be cut at these marks"));
    }
    plan.encoderDelay = static_cast<int>(delay);
    plan.encoderPadding = static_cast<int>(padding);

    plan.outputBytes = mp3CutOutputBytes(map, plan);
    return plan;
}

std::int64_t mp3CutOutputBytes(const Mp3FrameMap& map, const Mp3CutPlan& plan) {
    const OutputFrames out = outputFrames(map, plan);
    return (plan.id3v2Tag ? plan.id3v2Tag->size() : map.id3v2Size()) +
           infoFrameBytes(map, plan, out).size() + out.audioBytes + map.apeSize() +
           (plan.id3v1Tag       ? plan.id3v1Tag->size()
            : map.id3v1Offset() ? 128
                                : 0);
}

SaveOutcome writeMp3Cut(int sourceFd, const Mp3FrameMap& map, std::int64_t startMs,
                        std::int64_t endMs, QFileDevice& target, const Mp3CutProgress& progress) {
    QString error;
    const auto plan = planMp3Cut(sourceFd, map, startMs, endMs, &error);
    if (!plan) {
        return SaveOutcome::failed(error);
    }
    return writeMp3Cut(sourceFd, map, *plan, target, progress);
}

SaveOutcome writeMp3Cut(int sourceFd, const Mp3FrameMap& map, const Mp3CutPlan& plan,
                        QFileDevice& target, const Mp3CutProgress& progress) {
    const OutputFrames out = outputFrames(map, plan);
    const QByteArray info = infoFrameBytes(map, plan, out);
    const std::int64_t total = plan.outputBytes;
    std::int64_t done = 0;
    std::vector<char> buffer;
    // The source's bytes are written from a mapping of the file, so that they are copied once,
    // from file to file, and not read into a buffer first. A write that meets a page the source
    // no longer holds fails (it raises no signal), and is then done again by a read, which
    // says why.
    const SourceMapping mapping(sourceFd);

    // Copies source bytes [from, to) in large blocks.
    const auto copy = [&](std::int64_t from, std::int64_t to) -> SaveOutcome {
        while (from < to) {
            std::int64_t n = std::min(copyBlock, to - from);
            // What the target holds in its own buffer goes first, at the file's position,
            // where the write from the mapping then goes.
            const ssize_t written = mapping.holds(from, n) && target.flush()
                                        ? ::write(target.handle(), mapping.mappedIn(from, n),
                                                  static_cast<std::size_t>(n))
                                        : -1;
            if (written > 0) {
                n = written;
            } else {
                if (buffer.empty()) {
                    buffer.resize(static_cast<std::size_t>(copyBlock));
                }
                if (!readAt(sourceFd, buffer.data(), n, from)) {
                    return SaveOutcome::failed(
                        errno == 0
                            ? CoreText::tr("the source file became shorter while it was saved")
                            : CoreText::tr("the source could not be read (%1)")
                                  .arg(systemReason(errno)));
                }
                if (!writeAll(target, buffer.data(), n)) {
                    return SaveOutcome::failed(writeReason(target));
                }
            }
            // The disk starts on what is written while the rest is copied and checked, so
            // that the final sync has little left to wait for. Only a hint: where the file
            // cannot take it (not a regular file), the final sync does all.
            ::sync_file_range(target.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
            from += n;
            done += n;
            if (progress && !progress(done, total)) {
                return SaveOutcome::cancelled();
            }
        }
        return {};
    };

    // Tags made for this output are written as they are; the source's are copied.
    const auto writeTag = [&](const QByteArray& tag) {
        done += tag.size();
        return writeAll(target, tag.constData(), tag.size());
    };
    if (plan.id3v2Tag) {
        if (!writeTag(*plan.id3v2Tag)) {
            return SaveOutcome::failed(writeReason(target));
        }
    } else if (const auto failed = copy(0, map.id3v2Size())) {
        return failed;
    }
    if (!writeAll(target, info.constData(), info.size())) {
        return SaveOutcome::failed(writeReason(target));
    }
    done += info.size();
    if (plan.leadFrame) {
        const QByteArray lead = leadFrameBytes(out.streamHeader, plan.reservoir);
        if (!writeAll(target, lead.constData(), lead.size())) {
            return SaveOutcome::failed(writeReason(target));
        }
        done += lead.size();
    }
    // Runs of adjacent frames are copied as one range; bytes between frames (junk the scan
    // passed over) are left out, and so are removed frames; replaced frames are written apart.
    const auto& frames = map.frames();
    const auto copiedAsIs = [&plan](std::size_t i) {
        return !plan.replacedFrames.contains(i) && plan.keptFrom(i) == i;
    };
    for (std::size_t i = plan.firstFrame; i < plan.endFrame;) {
        if (const std::size_t kept = plan.keptFrom(i); kept != i) {
            i = kept;
            continue;
        }
        if (const auto replaced = plan.replacedFrames.find(i);
            replaced != plan.replacedFrames.end()) {
            if (!writeAll(target, replaced->second.constData(), replaced->second.size())) {
                return SaveOutcome::failed(writeReason(target));
            }
            done += replaced->second.size();
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < plan.endFrame && copiedAsIs(j) &&
               frames[j].offset == frames[j - 1].offset + frames[j - 1].size) {
            ++j;
        }
        if (const auto failed = copy(frames[i].offset, frames[j - 1].offset + frames[j - 1].size)) {
            return failed;
        }
        i = j;
    }
    // The APEv2 tag goes where it was, after the audio and before the ID3v1 tag.
    if (const auto failed = copy(map.apeOffset(), map.apeOffset() + map.apeSize())) {
        return failed;
    }
    if (plan.id3v1Tag) {
        if (!writeTag(*plan.id3v1Tag)) {
            return SaveOutcome::failed(writeReason(target));
        }
    } else if (const auto id3v1 = map.id3v1Offset()) {
        if (const auto failed = copy(*id3v1, *id3v1 + 128)) {
            return failed;
        }
    }
    if (!target.flush()) {
        return SaveOutcome::failed(writeReason(target));
    }
    return {};
}

std::optional<QString> checkMp3Cut(int fd, std::int64_t expectedSamples) {
    // A QSaveFile's descriptor is write-only: read through a descriptor of our own.
    const int own = ::open(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(),
                           O_RDONLY | O_CLOEXEC);
    const auto closeOwn = qScopeGuard([own] {
        if (own >= 0) {
            ::close(own);
        }
    });
    // What was just written is still in the page cache: the decoder reads it from there through
    // a mapping; a descriptor that cannot be mapped is read through a buffer.
    MappedBytes mapped(own);
    std::optional<mpeg::BufferedReader> file;
    if (!mapped.isValid()) {
        file.emplace(own >= 0 ? own : fd, 1 << 20);
    }
    const mpeg::Mpg123Handle handle = mpeg::newMpg123Handle();
    if (!handle) {
        return CoreText::tr("the written file could not be checked (no decoder)");
    }
    mpg123_handle* mh = handle.get();
    const bool opened = file ? mpeg::openThrough(mh, *file) : mapped.openThrough(mh);
    if (!opened || mpg123_scan(mh) != MPG123_OK) {
        return CoreText::tr("the written file cannot be read back as MP3");
    }
    const off_t length = mpg123_length(mh);
    const off_t frames = mpg123_framelength(mh);
    const int spf = mpg123_spf(mh);
    mpg123_close(mh);
    if (length != expectedSamples) {
        return CoreText::tr("the written file holds %1 samples instead of %2 (it was not "
                            "written completely)")
            .arg(length)
            .arg(expectedSamples);
    }
    // libmpg123 gives up the header's delay and padding when its frame count disagrees with
    // the file's; a length that still matches is then a coincidence.
    if (frames > 0 && spf > 0 && length == frames * spf) {
        return CoreText::tr("the written file's frame count does not match its header");
    }
    return std::nullopt;
}

std::optional<QString> checkMp3Cut(const QString& path, std::int64_t expectedSamples) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return CoreText::tr("the written file cannot be opened (%1)").arg(systemReason(errno));
    }
    const auto result = checkMp3Cut(fd, expectedSamples);
    ::close(fd);
    return result;
}

} // namespace snipora
