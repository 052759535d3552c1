// Fades of a frame cut made by lowering each granule's global gain, without re-encoding.
#pragma once

#include "core/mp3_cut.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace snipora {

// The longest fade at either edge.
inline constexpr std::int64_t maxFadeMs = 10'000;

// A step count that takes a granule's global gain to 0, whatever it was.
inline constexpr int silentGain = 255;

// What the layer III side information says of one granule of one channel.
struct GranuleSide {
    int codedBits = 0;  // part2_3_length: none means the granule is silent
    int globalGain = 0; // the quantiser step, larger for louder sound
    int gainBitAt = 0;  // where the global gain sits, in bits from the side information's start
};

// The side information of one layer III frame, read field by field.
struct Layer3Side {
    int mainDataBegin = 0; // bytes before the side information where its main data starts
    int sideStart = 0;     // bytes from the frame's start to the side information
    int sideSize = 0;
    int granules = 0; // 2 for MPEG-1, 1 for MPEG-2 and 2.5
    int channels = 0;
    std::array<GranuleSide, 4> parts{}; // granule by granule, channel by channel
    std::span<const GranuleSide> all() const {
        return std::span(parts).first(static_cast<std::size_t>(granules * channels));
    }
};

// Reads the side information of the layer III frame starting at `frame` (`bytes` of it
// available, at least its header and side information). Nullopt for other layers, a bad
// header, a short frame or fields no encoder writes; the CRC is not checked.
std::optional<Layer3Side> readLayer3Side(const unsigned char* frame, int bytes);

// Lowers the global gain of every granule of every channel of one layer III frame (`frame`
// holds its whole bytes) by `steps[granule]` steps of 1.5 dB, down to 0 at most, and writes a
// fresh CRC when the frame has one. Nothing else changes. False, with the frame untouched, when
// the frame is not one we can read (a wrong CRC, side information no encoder writes).
bool lowerGlobalGains(QByteArray& frame, std::span<const int> steps);

// Writes the CRC of a layer III frame that has one, after its header or side information
// changed.
void writeFrameCrc(QByteArray& frame);

// The fades of a selection of `selectionSamples`, in samples; `shortened` when the asked ones
// together were longer than the selection and were cut down in proportion to fit.
struct FittedFades {
    std::int64_t inSamples = 0;
    std::int64_t outSamples = 0;
    bool shortened = false;
};
FittedFades fitFades(std::int64_t fadeInMs, std::int64_t fadeOutMs, int sampleRate,
                     std::int64_t selectionSamples);

// Adds the fades to a planned cut: the frames whose granules fall inside a fade are read from
// the source, their gains lowered so that the level rises from silence over the first
// `fades.inSamples` and falls to silence over the last `fades.outSamples`, and the edited
// bytes go into plan.replacedFrames. Only granules whose decoded sound lies wholly inside a
// fade are edited, so every sample outside the fades decodes as before. A frame that cannot
// be read as layer III stays as it was. Nullopt on success, else why the source could not be read.
std::optional<QString> addMp3Fades(int sourceFd, const Mp3FrameMap& map, const FittedFades& fades,
                                   Mp3CutPlan& plan);

} // namespace snipora
