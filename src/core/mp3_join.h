// Taking sections out of an MP3 source: the frames around each joined without re-encoding.
#pragma once

#include "core/mp3_cut.h"
#include "core/selection.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace snipora {

// One section as taken out, rounded to frame edges where it lies inside the file: in gapless
// samples and milliseconds of the source (what a caller shows).
struct RemovedSection {
    std::int64_t startSample = 0;
    std::int64_t endSample = 0;
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;
};

// What a removal writes: a frame plan for writeMp3Cut, and the sections it takes out, in order.
struct Mp3RemovalPlan {
    Mp3CutPlan cut;
    std::vector<RemovedSection> sections;
    // The output's gapless samples: the source's less the rounded sections.
    std::int64_t samples() const { return cut.samples(); }
};

// Plans the source without `sections` (milliseconds, in any order; those that overlap or touch
// are one). A section that reaches the file's start or end is cut there to the sample; the
// others leave out the whole frames between the frame edges nearest their marks, and sections
// closer than a frame to each other, or to one at an end, become one. At each join the frames
// after it get back the bit reservoir bytes they borrow from frames taken out: the frame before
// the join is written larger (a higher bitrate) with those bytes at its end, or, where no
// bitrate holds them, stands aside for a silent frame that carries them. With `joinFade` the
// granules on either side of each join are lowered by their global gain, so that the join is
// soft. Nullopt with `error` set when a section is empty, the sections take out the whole file,
// leave less than a frame, or one rounds to nothing.
std::optional<Mp3RemovalPlan> planMp3Removal(int sourceFd, const Mp3FrameMap& map,
                                             std::span<const Selection> sections, QString* error,
                                             bool joinFade = false);

} // namespace snipora
