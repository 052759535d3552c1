// Time texts: the labels' " h : m : s", the precise m:ss.mmm, and times typed on a command line.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace snipora {

// The labels' time text of a count of whole seconds: " h : m : s", each number blank- or
// minus-prefixed.
QString formatTime(std::int32_t seconds);

// The labels' text of a position in milliseconds: its whole seconds, truncated.
QString formatTimeOfMs(std::int64_t ms);

// The time to the millisecond: "m:ss.mmm", or "h:mm:ss.mmm" from an hour on.
QString preciseTime(std::int64_t ms);

// A time as seconds ("12.5") or h:mm:ss.mmm / m:ss.mmm ("1:02:03.5", "2:03"), in milliseconds
// (rounded to the nearest); nothing for a text that is not a time.
std::optional<std::int64_t> parseTime(const QString& text);

} // namespace snipora
