// Taking a section out of an MP3 source: the frames before and after it joined without re-encoding.
#pragma once

#include "core/mp3_cut.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace snipora {

// What a removal writes: a frame plan for writeMp3Cut, and the section it takes out, rounded to
// frame edges, in gapless samples and milliseconds of the source (what a caller shows).
struct Mp3RemovalPlan {
    Mp3CutPlan cut;
    std::int64_t removedStartSample = 0;
    std::int64_t removedEndSample = 0;
    std::int64_t removedStartMs = 0;
    std::int64_t removedEndMs = 0;
    // The output's gapless samples: the source's less the rounded section.
    std::int64_t samples() const { return cut.samples(); }
};

// Plans the source without [startMs, endMs), the marks moved to the nearest frame edges. The
// frames after the join get back the bit reservoir bytes they borrow from frames taken out:
// the frame before the join is written larger (a higher bitrate) with those bytes at its end,
// or, where no bitrate holds them, stands aside for a silent frame that carries them. Nullopt
// with `error` set when the section takes out the whole file, leaves less than a frame, or
// rounds to nothing.
std::optional<Mp3RemovalPlan> planMp3Removal(int sourceFd, const Mp3FrameMap& map,
                                             std::int64_t startMs, std::int64_t endMs,
                                             QString* error);

} // namespace snipora
