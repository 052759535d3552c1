// The failures a handler can meet, and the "skip the failing step" style some handlers use.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace snipora {

// A number that does not fit the integer it must go into.
struct OverflowError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An integer division by zero.
struct DivisionByZero : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The user cancelled a file dialog; dialogs report a cancel as a failure so that each
// handler's failure path runs.
struct CancelError : std::runtime_error {
    CancelError() : std::runtime_error("cancelled") {}
};

// Runs one step of a handler whose failing steps are skipped: the next step runs regardless.
// Only ordinary failures are swallowed; the end of the program passes through.
template <typename Step> void skipOnFailure(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

// Checked 32-bit arithmetic for the handlers, which compute in 32-bit signed integers.
std::int32_t checkedMultiply(std::int32_t a, std::int32_t b);
std::int32_t checkedAdd(std::int32_t a, std::int32_t b);
std::int32_t checkedSubtract(std::int32_t a, std::int32_t b);
std::int32_t checkedDivide(std::int32_t a, std::int32_t b);
// Rounds to the nearest integer, halves to the even neighbour; raises OverflowError out of range.
std::int32_t roundToInt32(double value);

} // namespace snipora
