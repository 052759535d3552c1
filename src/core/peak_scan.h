// A file's peak overview computed in the calling thread: a first picture at once, then refined.
#pragma once

#include "core/waveform_peaks.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace snipora {

// A bucket spans this many MPEG frames (about 0.2 s at 44.1 kHz): fine enough to zoom to a
// minute across the panel, and ten hours of peaks stay under 0.4 MB.
inline constexpr int peakFramesPerBucket = 8;

struct PeakScanCallbacks {
    std::function<bool()> cancelled;                // asked between buckets
    std::function<void(const PeakLayout&)> started; // once, before anything else
    // Once, every bucket of the file, guessed from the frames' global gains without decoding.
    std::function<void(std::vector<PeakRange>&&)> estimated;
    // The next buckets from the first, in order, from decoded sound; each replaces its guess.
    std::function<void(std::vector<PeakRange>&&)> refined;
};

// Reads the file at `path` (bytes as the file system spells them) and hands over its buckets:
// the guess at once, then the decoded ones a few times a second. An error text when the file
// cannot be read as MPEG audio; none when it ran to the end or was cancelled.
std::optional<QString> scanPeaks(const QByteArray& path, const PeakScanCallbacks& callbacks);

} // namespace snipora
