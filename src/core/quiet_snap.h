// Snapping marks to the quietest stretch of decoded sound near them, so that a cut starts softly.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace snipora {

// How far from where it was put a mark may move, and the stretch whose quiet counts.
inline constexpr std::int64_t snapReachMs = 250;
inline constexpr std::int64_t quietStretchMs = 10;

// Where the quietest run of `runFrames` frames of interleaved 16-bit sound (`channels` samples a
// frame) starts: the least energy, the one nearest `nearFrame` among equally quiet ones (digital
// silence is quiet everywhere, and then the mark should move least). 0 when the sound is
// shorter than one run.
std::size_t quietestRun(std::span<const std::int16_t> samples, int channels, std::size_t runFrames,
                        std::size_t nearFrame);

// The frame in [from, to) nearest `nearFrame` at which the sound (its channels summed) reaches
// or crosses zero from the frame before; nothing when it never does there.
std::optional<std::size_t> zeroCrossingIn(std::span<const std::int16_t> samples, int channels,
                                          std::size_t from, std::size_t to, std::size_t nearFrame);

struct SnappedMark {
    std::int64_t sample = 0; // in the gapless decoded sound
    std::int64_t ms = 0;     // the same, to the nearest millisecond (how marks are kept)
};

// Decodes the source (read through `fd` with pread only) with libmpg123 around each mark and
// moves it to the middle of the quietest 10 ms within 250 ms of it (held within the file), or,
// with `zeroCrossing`, to the zero crossing inside that stretch nearest its middle. Nullopt with
// `error` set when the source cannot be decoded.
std::optional<std::vector<SnappedMark>>
snapToQuiet(int fd, const std::vector<std::int64_t>& marksMs, bool zeroCrossing, QString* error);

} // namespace snipora
