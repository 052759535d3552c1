// Sections to take out of a source: put in order, the overlapping and touching ones made one.
#pragma once

#include "core/selection.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace snipora {

// The sections in the order of their starts, those that overlap or touch merged into one.
// Empty sections are kept out; callers that refuse them check first.
std::vector<Selection> mergedSections(std::span<const Selection> sections);

// Milliseconds of `selection` left once the sections are taken out of it.
std::int64_t keptLengthMs(const Selection& selection, std::span<const Selection> sections);

class Mp3FrameMap;

// Why the sections cannot be taken out of the source the map describes, as a conversion takes
// them out (to the sample), or nothing when they can: one is empty or reaches past the end,
// they take out the whole file, or they leave less than one MPEG frame.
std::optional<QString> removalRefusal(std::span<const Selection> sections, const Mp3FrameMap& map);

} // namespace snipora
