// The section the user marked: start and end in milliseconds of the decoded sound.
#pragma once

#include <cstdint>

namespace snipora {

// Which of the two marks: the one that nudges and typed times move is the active one.
enum class Mark { Start, End };

struct Selection {
    std::int64_t start = 0;
    std::int64_t end = 0;

    // Only a start strictly before the end marks a section.
    bool isValid() const { return start < end; }
    std::int64_t lengthMs() const { return isValid() ? end - start : 0; }
    bool operator==(const Selection&) const = default;
};

} // namespace snipora
