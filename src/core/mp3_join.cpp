// Planning the removal of sections: frames left out, and the bit reservoir carried over each join.
#include "core/mp3_join.h"
#include "core/core_text.h"
#include "core/mp3_cut.h"

#include "core/mp3_gain_fade.h"
#include "core/removed_sections.h"
#include "core/time_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include <unistd.h>

namespace snipora {

namespace {

QString readReason() {
    return CoreText::tr("the source could not be read (%1)")
        .arg(QString::fromLocal8Bit(std::strerror(errno)));
}

// The layer III data bytes of a frame: what follows its header, CRC and side information.
int dataBytes(const Mp3Frame& frame) {
    const auto h = MpegFrameHeader::parse(frame.header);
    return h ? std::max(0, frame.size - 4 - (h->hasCrc ? 2 : 0) - h->sideInfoSize()) : 0;
}

// The softening of a join: the granule nearest it to a quarter of its level, the next to half.
constexpr int joinNearSteps = 8;
constexpr int joinFarSteps = 4;

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

// Softens each join of the plan: the granules just before and just after it are lowered by
// their global gain, the nearest most. Only those granules and the sound they reach change.
std::optional<QString> fadeJoins(int sourceFd, const Mp3FrameMap& map, Mp3CutPlan& plan) {
    const bool mpeg1 = map.version() == MpegVersion::Mpeg1;
    const auto& frames = map.frames();
    // Steps of 1.5 dB by frame, before (nearest the join last) and after (nearest first).
    std::map<std::size_t, std::vector<int>> steps;
    for (const auto& range : plan.removedFrames) {
        if (mpeg1) {
            steps[range.from - 1] = {joinFarSteps, joinNearSteps};
            steps[range.to] = {joinNearSteps, joinFarSteps};
        } else {
            steps[range.from - 2] = {joinFarSteps};
            steps[range.from - 1] = {joinNearSteps};
            steps[range.to] = {joinNearSteps};
            steps[range.to + 1] = {joinFarSteps};
        }
    }
    for (const auto& [index, frameSteps] : steps) {
        if (index < plan.firstFrame || index >= plan.endFrame || plan.keptFrom(index) != index) {
            continue;
        }
        QByteArray bytes;
        if (const auto replaced = plan.replacedFrames.find(index);
            replaced != plan.replacedFrames.end()) {
            bytes = replaced->second;
        } else {
            const Mp3Frame& frame = frames[index];
            bytes = QByteArray(frame.size, '\0');
            if (!readAt(sourceFd, bytes.data(), frame.size, frame.offset)) {
                return readReason();
            }
        }
        // A frame we cannot read keeps its own bytes: the join is then only less soft.
        if (lowerGlobalGains(bytes, frameSteps)) {
            plan.replacedFrames[index] = bytes;
        }
    }
    return std::nullopt;
}
} // namespace

std::optional<Mp3RemovalPlan> planMp3Removal(int sourceFd, const Mp3FrameMap& map,
                                             std::span<const Selection> sections, QString* error,
                                             bool joinFade) {
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
    if (sections.empty()) {
        return fail(CoreText::tr("no section to take out"));
    }
    for (const Selection& section : sections) {
        if (map.sampleAtMs(section.end) <= map.sampleAtMs(section.start)) {
            return fail(CoreText::tr("the section to take out is empty"));
        }
    }
    // What is kept runs from keptStartMs to keptEndMs (sections at the file's ends cut there to
    // the sample) less the frames of the sections in between.
    std::int64_t keptStartMs = 0;
    std::int64_t keptEndMs = wholeMs;
    struct Middle {
        std::int64_t first = 0; // frame indexes of the source: [first, last) is left out
        std::int64_t last = 0;
        std::int64_t startMs = 0;
        std::int64_t endMs = 0;
    };
    std::vector<Middle> middles;
    for (const Selection& section : mergedSections(sections)) {
        const std::int64_t start = map.sampleAtMs(section.start);
        const std::int64_t end = map.sampleAtMs(section.end);
        // Frame edges nearest the marks, as frame indexes of the source.
        const std::int64_t first =
            std::clamp<std::int64_t>((start + skip + spf / 2) / spf, 0, count);
        const std::int64_t last = std::clamp<std::int64_t>((end + skip + spf / 2) / spf, 0, count);
        const bool fromStart = start == 0 || first * spf <= skip;
        const bool toEnd = end == length || last * spf - skip >= length;
        if (fromStart && toEnd) {
            return fail(CoreText::tr("the section takes out the whole file"));
        }
        if (fromStart) {
            keptStartMs = std::max(keptStartMs, section.end);
        } else if (toEnd) {
            keptEndMs = std::min(keptEndMs, section.start);
        } else if (last <= first) {
            return fail(CoreText::tr("the section %1 to %2 is shorter than half an MP3 frame, "
                                     "so no frame can be taken out")
                            .arg(preciseTime(section.start), preciseTime(section.end)));
        } else if (!middles.empty() && first <= middles.back().last) {
            // Rounded to frame edges, it touches the one before.
            middles.back().last = std::max(middles.back().last, last);
            middles.back().endMs = std::max(middles.back().endMs, section.end);
        } else {
            middles.push_back({first, last, section.start, section.end});
        }
    }
    // A section less than a frame from the stretch cut at the file's start or end joins it: the
    // frame before each join must be one that is copied and decoded whole.
    const auto roundedStart = [&](const Middle& m) {
        return m.first * spf - skip;
    };
    const auto roundedEnd = [&](const Middle& m) {
        return m.last * spf - skip;
    };
    if (keptStartMs > 0) {
        while (!middles.empty() &&
               roundedStart(middles.front()) < map.sampleAtMs(keptStartMs) + spf) {
            keptStartMs = std::max(keptStartMs, middles.front().endMs);
            middles.erase(middles.begin());
        }
    }
    if (keptEndMs < wholeMs) {
        while (!middles.empty() && roundedEnd(middles.back()) > map.sampleAtMs(keptEndMs) - spf) {
            keptEndMs = std::min(keptEndMs, middles.back().startMs);
            middles.pop_back();
        }
    }
    const QString tooLittleLeft =
        CoreText::tr("the section leaves less than one MP3 frame of sound");
    if (keptEndMs <= keptStartMs ||
        map.sampleAtMs(keptEndMs) - map.sampleAtMs(keptStartMs) <= spf) {
        return fail(tooLittleLeft);
    }
    auto cut = planMp3Cut(sourceFd, map, keptStartMs, keptEndMs, error);
    if (!cut) {
        return std::nullopt;
    }
    Mp3RemovalPlan removal;
    Mp3CutPlan& plan = *cut;
    if (plan.startSample > 0) {
        removal.sections.push_back({0, plan.startSample});
    }
    const std::int64_t keptEndSample = plan.endSample;
    const auto& frames = map.frames();
    for (std::size_t k = 0; k < middles.size(); ++k) {
        const std::int64_t first = middles[k].first;
        const std::int64_t last = middles[k].last;
        plan.removedFrames.push_back(
            {static_cast<std::size_t>(first), static_cast<std::size_t>(last)});
        plan.endSample -= (last - first) * spf;
        removal.sections.push_back({roundedStart(middles[k]), roundedEnd(middles[k])});

        // The frames after the join, up to the next one, may start their data in frames taken
        // out: how far back.
        const std::int64_t limit = k + 1 < middles.size()
                                       ? middles[k + 1].first
                                       : static_cast<std::int64_t>(plan.endFrame);
        std::int64_t reservoir = 0;
        std::int64_t ahead = 0;
        for (std::int64_t i = last; i < limit && ahead <= 511; ++i) {
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
    }
    if (joinFade) {
        if (const auto failure = fadeJoins(sourceFd, map, plan)) {
            return fail(*failure);
        }
    }
    if (keptEndSample < length) {
        removal.sections.push_back({keptEndSample, length});
    }
    for (RemovedSection& section : removal.sections) {
        section.startMs = msOf(section.startSample, rate);
        section.endMs = msOf(section.endSample, rate);
    }
    plan.outputBytes = mp3CutOutputBytes(map, plan);
    removal.cut = plan;
    if (removal.cut.samples() < spf) {
        return fail(tooLittleLeft);
    }
    return removal;
}

} // namespace snipora
