// Planning the removal of a section: frames left out, and the bit reservoir carried over the join.
#include "core/mp3_join.h"
#include "core/mp3_cut.h"

#include "core/mp3_gain_fade.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace snipora {

namespace {

QString readReason() {
    return QStringLiteral("the source could not be read (%1)")
        .arg(QString::fromLocal8Bit(std::strerror(errno)));
}

// The layer III data bytes of a frame: what follows its header, CRC and side information.
int dataBytes(const Mp3Frame& frame) {
    const auto h = MpegFrameHeader::parse(frame.header);
    return h ? std::max(0, frame.size - 4 - (h->hasCrc ? 2 : 0) - h->sideInfoSize()) : 0;
}

std::int64_t msOf(std::int64_t sample, int rate) {
    return (sample * 1000 + rate / 2) / rate;
}

// The frame `frame` made larger by a higher bitrate, with `tail` as the last bytes of its data:
// its own audio data stays where it was, so it decodes as before. Empty when no bitrate holds it.
QByteArray enlargedFrame(const QByteArray& frame, std::uint32_t word, const QByteArray& tail) {
    for (int index = static_cast<int>((word >> 12) & 15) + 1; index < 15; ++index) {
        const int size = MpegFrameHeader::sizeFor(word, index);
        if (size >= frame.size() + tail.size()) {
            QByteArray bytes = frame + QByteArray(size - frame.size() - tail.size(), '\0') + tail;
            const std::uint32_t header =
                (word & ~0x0000f200u) | (static_cast<std::uint32_t>(index) << 12);
            for (int i = 0; i < 4; ++i) {
                bytes[i] = static_cast<char>((header >> (24 - 8 * i)) & 0xff);
            }
            writeFrameCrc(bytes);
            return bytes;
        }
    }
    return {};
}
} // namespace

std::optional<Mp3RemovalPlan> planMp3Removal(int sourceFd, const Mp3FrameMap& map,
                                             std::int64_t startMs, std::int64_t endMs,
                                             QString* error) {
    const auto fail = [error](const QString& reason) -> std::optional<Mp3RemovalPlan> {
        if (error) {
            *error = reason;
        }
        return std::nullopt;
    };
    const int rate = map.sampleRate();
    const std::int64_t length = map.lengthSamples();
    const std::int64_t spf = map.samplesPerFrame();
    const std::int64_t skip = map.decoderSkip();
    const auto count = static_cast<std::int64_t>(map.frames().size());
    const std::int64_t wholeMs = (length * 1000 + rate - 1) / rate;
    const std::int64_t start = map.sampleAtMs(startMs);
    const std::int64_t end = map.sampleAtMs(endMs);
    if (end <= start) {
        return fail(QStringLiteral("the section to take out is empty"));
    }
    // Frame edges nearest the marks, as frame indexes of the source.
    const std::int64_t first = std::clamp<std::int64_t>((start + skip + spf / 2) / spf, 0, count);
    const std::int64_t last = std::clamp<std::int64_t>((end + skip + spf / 2) / spf, 0, count);
    const bool fromStart = start == 0 || first * spf <= skip;
    const bool toEnd = end == length || last * spf - skip >= length;
    if (fromStart && toEnd) {
        return fail(QStringLiteral("the section takes out the whole file"));
    }

    const QString tooLittleLeft =
        QStringLiteral("the section leaves less than one MP3 frame of sound");
    if ((fromStart && length - end < spf) || (toEnd && start < spf)) {
        return fail(tooLittleLeft);
    }

    Mp3RemovalPlan removal;
    // At either end of the file the rest is an ordinary cut, exact to the sample.
    if (fromStart || toEnd) {
        const auto cut = fromStart ? planMp3Cut(sourceFd, map, endMs, wholeMs, error)
                                   : planMp3Cut(sourceFd, map, 0, startMs, error);
        if (!cut) {
            return std::nullopt;
        }
        removal.cut = *cut;
        removal.removedStartSample = fromStart ? 0 : cut->endSample;
        removal.removedEndSample = fromStart ? cut->startSample : length;
    } else {
        if (last <= first) {
            return fail(QStringLiteral("the section is shorter than half an MP3 frame, so no "
                                       "frame can be taken out"));
        }
        auto whole = planMp3Cut(sourceFd, map, 0, wholeMs, error);
        if (!whole) {
            return std::nullopt;
        }
        Mp3CutPlan& plan = *whole;
        plan.removedFrom = static_cast<std::size_t>(first);
        plan.removedTo = static_cast<std::size_t>(last);
        plan.endSample -= (last - first) * spf;
        removal.removedStartSample = first * spf - skip;
        removal.removedEndSample = last * spf - skip;

        // The frames after the join may start their data in frames taken out: how far back.
        const auto& frames = map.frames();
        std::int64_t reservoir = 0;
        std::int64_t ahead = 0;
        for (std::int64_t i = last; i < count && ahead <= 511; ++i) {
            reservoir = std::max<std::int64_t>(
                reservoir, frames[static_cast<std::size_t>(i)].mainDataBegin - ahead);
            ahead += dataBytes(frames[static_cast<std::size_t>(i)]);
        }
        QByteArray borrowed;
        for (std::int64_t i = last - 1; i >= 0 && borrowed.size() < reservoir; --i) {
            const Mp3Frame& frame = frames[static_cast<std::size_t>(i)];
            const int n = dataBytes(frame);
            QByteArray part(n, '\0');
            if (!readAt(sourceFd, part.data(), n, frame.offset + frame.size - n)) {
                return fail(readReason());
            }
            borrowed.prepend(part);
        }
        borrowed = borrowed.right(static_cast<qsizetype>(reservoir));
        if (!borrowed.isEmpty()) {
            const auto before = static_cast<std::size_t>(first - 1);
            const Mp3Frame& frame = frames[before];
            QByteArray bytes(frame.size, '\0');
            if (!readAt(sourceFd, bytes.data(), frame.size, frame.offset)) {
                return fail(readReason());
            }
            QByteArray carrier = enlargedFrame(bytes, frame.header, borrowed);
            if (carrier.isEmpty()) {
                // No bitrate is large enough: the frame before the join gives way to a silent
                // one, which keeps the length and carries the bytes.
                carrier = mp3SilentFrame(frame.header, borrowed);
            }
            plan.replacedFrames[before] = carrier;
        }
        plan.outputBytes = mp3CutOutputBytes(map, plan);
        removal.cut = plan;
    }
    if (removal.cut.samples() < spf) {
        return fail(tooLittleLeft);
    }
    removal.removedStartMs = msOf(removal.removedStartSample, rate);
    removal.removedEndMs = msOf(removal.removedEndSample, rate);
    return removal;
}

} // namespace snipora
