// The marker lines' twips per slider step, shared by Open and Play.
#pragma once

#include "app/failure.h"

#include <cstdint>

namespace snipora {

// 9230 twips lie between the start places of the two marker lines (9400 - 170); spread over the
// slider's steps, truncated. A maximum of 0 raises DivisionByZero, so the caller's skipped step
// keeps the previous scale.
inline std::int32_t markerScaleFor(std::int32_t sliderMaximum) {
    constexpr std::int32_t markerSpan = 9230;
    return checkedDivide(markerSpan, sliderMaximum);
}

} // namespace snipora
