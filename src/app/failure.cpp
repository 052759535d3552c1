// Checked 32-bit arithmetic and rounding shared by the handlers.
#include "app/failure.h"

#include <cmath>
#include <limits>

namespace snipora {

namespace {
std::int32_t narrow(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        throw OverflowError("overflow");
    }
    return static_cast<std::int32_t>(value);
}
} // namespace

std::int32_t checkedMultiply(std::int32_t a, std::int32_t b) {
    return narrow(std::int64_t{a} * b);
}

std::int32_t checkedAdd(std::int32_t a, std::int32_t b) {
    return narrow(std::int64_t{a} + b);
}

std::int32_t checkedSubtract(std::int32_t a, std::int32_t b) {
    return narrow(std::int64_t{a} - b);
}

std::int32_t checkedDivide(std::int32_t a, std::int32_t b) {
    if (b == 0) {
        throw DivisionByZero("division by zero");
    }
    return narrow(std::int64_t{a} / b);
}

std::int32_t roundToInt32(double value) {
    if (!std::isfinite(value)) {
        throw OverflowError("overflow");
    }
    // Halves go to the even neighbour, as the platform's integer conversion does.
    const double rounded = value - std::remainder(value, 1.0);
    if (rounded < -2147483648.0 || rounded > 2147483647.0) {
        throw OverflowError("overflow");
    }
    return static_cast<std::int32_t>(rounded);
}

} // namespace snipora
