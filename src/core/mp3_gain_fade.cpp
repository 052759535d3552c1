// Editing the global gains in layer III side information, and the fades made of it.
#include "core/mp3_gain_fade.h"
#include "core/core_text.h"
#include "core/mp3_cut.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace snipora {

namespace {
constexpr int granuleSamples = 576;
// The decoded samples a granule's coefficients reach, from the first of its own slot: its
// transform overlaps the next granule, and the synthesis filter remembers 15 slots of 32.
constexpr int granuleReachBegin = 0;
constexpr int granuleReachEnd = 2 * granuleSamples + 15 * 32;

// Reads bit fields, most significant bit first.
class BitCursor {
public:
    BitCursor(const unsigned char* bytes, int sizeBytes) : bytes_(bytes), size_(sizeBytes * 8) {}
    int position() const { return position_; }
    bool fits(int bits) const { return position_ + bits <= size_; }
    unsigned read(int bits) {
        unsigned value = 0;
        for (int i = 0; i < bits; ++i, ++position_) {
            value = (value << 1) | ((bytes_[position_ >> 3] >> (7 - (position_ & 7))) & 1u);
        }
        return value;
    }

private:
    const unsigned char* bytes_;
    int size_;
    int position_ = 0;
};

// Writes a bit field at bit `at`, most significant bit first.
void writeBits(unsigned char* bytes, int at, unsigned value, int bits) {
    for (int i = 0; i < bits; ++i) {
        const int bit = at + i;
        const auto mask = static_cast<unsigned char>(1u << (7 - (bit & 7)));
        if ((value >> (bits - 1 - i)) & 1u) {
            bytes[bit >> 3] |= mask;
        } else {
            bytes[bit >> 3] &= static_cast<unsigned char>(~mask);
        }
    }
}

// The CRC of MPEG audio frames: polynomial 0x8005, start 0xffff, most significant bit first.
std::uint16_t frameCrc(const unsigned char* p, std::size_t n, std::uint16_t crc = 0xffff) {
    while (n-- > 0) {
        crc ^= static_cast<std::uint16_t>(*p++ << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x8005u : crc << 1);
        }
    }
    return crc;
}

// The CRC over the header's last two bytes and the side information.
std::uint16_t frameCrcOf(const unsigned char* frame, int sideInfoSize) {
    return frameCrc(frame + 6, static_cast<std::size_t>(sideInfoSize), frameCrc(frame + 2, 2));
}

// Steps that take a level down to `factor` of itself (4 steps halve the amplitude).
int stepsFor(double factor) {
    return factor <= 0.0 ? silentGain : static_cast<int>(std::lround(-4.0 * std::log2(factor)));
}
// The level of a granule in a fade of `fade` samples, as a share of the source's, when its
// sound lies `distance` samples inside the fade's silent edge: a straight rise over the
// stretch such granules can lie in (their sound is longer than a granule), none at the edge.
double rampFactor(std::int64_t distance, std::int64_t fade) {
    const std::int64_t span =
        std::max<std::int64_t>(granuleSamples, fade - granuleReachEnd + 2 * granuleSamples);
    return std::clamp(static_cast<double>(distance) / static_cast<double>(span), 0.0, 1.0);
}
} // namespace

std::optional<Layer3Side> readLayer3Side(const unsigned char* frame, int bytes) {
    if (bytes < 4) {
        return std::nullopt;
    }
    const auto header =
        MpegFrameHeader::parse((std::uint32_t{frame[0]} << 24) | (std::uint32_t{frame[1]} << 16) |
                               (std::uint32_t{frame[2]} << 8) | frame[3]);
    if (!header || header->layer != 3) {
        return std::nullopt;
    }
    Layer3Side result;
    result.sideStart = 4 + (header->hasCrc ? 2 : 0);
    result.sideSize = header->sideInfoSize();
    if (result.sideStart + result.sideSize > bytes) {
        return std::nullopt;
    }
    const bool mpeg1 = header->version == MpegVersion::Mpeg1;
    result.granules = mpeg1 ? 2 : 1;
    result.channels = header->channels;
    const int channels = header->channels;
    BitCursor side(frame + result.sideStart, result.sideSize);
    result.mainDataBegin = static_cast<int>(side.read(mpeg1 ? 9 : 8));
    side.read(mpeg1 ? (channels == 1 ? 5 : 3) : channels); // private bits
    if (mpeg1) {
        side.read(4 * channels); // scale factor selection
    }
    // Every field is read, so that a damaged frame is found and each gain is where it is.
    for (int granule = 0; granule < result.granules; ++granule) {
        for (int channel = 0; channel < channels; ++channel) {
            if (!side.fits(mpeg1 ? 59 : 63)) {
                return std::nullopt;
            }
            GranuleSide& part =
                result.parts[static_cast<std::size_t>(granule * channels + channel)];
            part.codedBits = static_cast<int>(side.read(12)); // part2_3_length
            if (side.read(9) > 288) {
                return std::nullopt; // big_values beyond the 576 coefficients
            }
            part.gainBitAt = side.position();
            part.globalGain = static_cast<int>(side.read(8));
            side.read(mpeg1 ? 4 : 9); // scalefac_compress
            if (side.read(1) != 0) {  // window switching
                if (side.read(2) == 0) {
                    return std::nullopt; // block type 0 is never switched to
                }
                side.read(1);     // mixed block
                side.read(2 * 5); // table select
                side.read(3 * 3); // subblock gain
            } else {
                side.read(3 * 5); // table select
                side.read(4 + 3); // region counts
            }
            side.read(mpeg1 ? 3 : 2); // preflag (MPEG-1), scalefac_scale, count1 table
        }
    }
    return result;
}

bool lowerGlobalGains(QByteArray& frame, std::span<const int> steps) {
    auto* bytes = reinterpret_cast<unsigned char*>(frame.data());
    const auto side = readLayer3Side(bytes, static_cast<int>(frame.size()));
    if (!side) {
        return false;
    }
    const auto header =
        MpegFrameHeader::parse((std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                               (std::uint32_t{bytes[2]} << 8) | bytes[3]);
    if (header->size != frame.size()) {
        return false;
    }
    if (header->hasCrc && frameCrcOf(bytes, side->sideSize) != ((bytes[4] << 8) | bytes[5])) {
        return false;
    }
    for (int i = 0; i < side->granules * side->channels; ++i) {
        const GranuleSide& part = side->parts[static_cast<std::size_t>(i)];
        const auto granule = static_cast<std::size_t>(i / side->channels);
        const int step = granule < steps.size() ? steps[granule] : 0;
        writeBits(bytes + side->sideStart, part.gainBitAt,
                  static_cast<unsigned>(std::max(0, part.globalGain - std::max(0, step))), 8);
    }
    writeFrameCrc(frame);
    return true;
}

void writeFrameCrc(QByteArray& frame) {
    auto* bytes = reinterpret_cast<unsigned char*>(frame.data());
    const auto header = frame.size() < 6
                            ? std::nullopt
                            : MpegFrameHeader::parse((std::uint32_t{bytes[0]} << 24) |
                                                     (std::uint32_t{bytes[1]} << 16) |
                                                     (std::uint32_t{bytes[2]} << 8) | bytes[3]);
    if (!header || !header->hasCrc || 6 + header->sideInfoSize() > frame.size()) {
        return;
    }
    const std::uint16_t crc = frameCrcOf(bytes, header->sideInfoSize());
    bytes[4] = static_cast<unsigned char>(crc >> 8);
    bytes[5] = static_cast<unsigned char>(crc & 0xff);
}

FittedFades fitFades(std::int64_t fadeInMs, std::int64_t fadeOutMs, int sampleRate,
                     std::int64_t selectionSamples) {
    FittedFades fades;
    fades.inSamples = std::max<std::int64_t>(0, fadeInMs) * sampleRate / 1000;
    fades.outSamples = std::max<std::int64_t>(0, fadeOutMs) * sampleRate / 1000;
    const std::int64_t total = fades.inSamples + fades.outSamples;
    if (total > selectionSamples) {
        fades.shortened = true;
        fades.inSamples = fades.inSamples * selectionSamples / total;
        fades.outSamples = selectionSamples - fades.inSamples;
    }
    return fades;
}

std::optional<QString> addMp3Fades(int sourceFd, const Mp3FrameMap& map, const FittedFades& fades,
                                   Mp3CutPlan& plan) {
    if (map.layer() != 3) {
        return std::nullopt;
    }
    const int perFrame = map.samplesPerFrame() / granuleSamples;
    // Raw sample positions of the source's decoded stream (before the start is dropped).
    const std::int64_t rawStart = plan.startSample + map.decoderSkip();
    const std::int64_t rawEnd = plan.endSample + map.decoderSkip();
    const auto firstGranule = static_cast<std::int64_t>(plan.firstFrame) * perFrame;
    const auto endGranule = static_cast<std::int64_t>(plan.endFrame) * perFrame;
    std::map<std::int64_t, int> steps; // by granule of the source

    // Fade-in: the granules whose sound ends inside it. Each is lowered by how far into the
    // fade its sound starts, so that those heard at the very start are silent.
    if (fades.inSamples > 0) {
        for (std::int64_t g = firstGranule; g < endGranule; ++g) {
            const std::int64_t begin = g * granuleSamples + granuleReachBegin;
            const std::int64_t end = g * granuleSamples + granuleReachEnd;
            if (end > rawStart && end <= rawStart + fades.inSamples) {
                steps[g] = stepsFor(rampFactor(begin - rawStart, fades.inSamples));
            }
        }
    }
    // Fade-out: the granules whose sound starts inside it, lowered by how close to the end
    // their sound reaches.
    if (fades.outSamples > 0) {
        for (std::int64_t g = firstGranule; g < endGranule; ++g) {
            const std::int64_t begin = g * granuleSamples + granuleReachBegin;
            const std::int64_t end = g * granuleSamples + granuleReachEnd;
            if (begin >= rawEnd - fades.outSamples && begin < rawEnd) {
                const int step = stepsFor(rampFactor(rawEnd - end, fades.outSamples));
                steps[g] = std::max(steps[g], step);
            }
        }
    }

    const auto& frames = map.frames();
    for (auto it = steps.begin(); it != steps.end();) {
        const auto index = static_cast<std::size_t>(it->first / perFrame);
        std::vector<int> frameSteps(static_cast<std::size_t>(perFrame), 0);
        for (; it != steps.end() && static_cast<std::size_t>(it->first / perFrame) == index; ++it) {
            frameSteps[static_cast<std::size_t>(it->first % perFrame)] = it->second;
        }
        const Mp3Frame& frame = frames[index];
        QByteArray bytes(frame.size, '\0');
        if (!readAt(sourceFd, bytes.data(), frame.size, frame.offset)) {
            return CoreText::tr("the source could not be read (%1)")
                .arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
        // A frame we cannot read keeps its own bytes: copied as it is, it harms nothing.
        if (lowerGlobalGains(bytes, frameSteps)) {
            plan.replacedFrames[index] = bytes;
        }
    }
    return std::nullopt;
}

} // namespace snipora
