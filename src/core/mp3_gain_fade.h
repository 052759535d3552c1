// Fades of a frame cut made by lowering each granule's global gain, without re-encoding.
#pragma once

#include "core/mp3_cut.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace snipora {

// The longest fade at either edge.
inline constexpr std::int64_t maxFadeMs = 10'000;

// A step count that takes a granule's global gain to 0, whatever it was.
inline constexpr int silentGain = 255;

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
