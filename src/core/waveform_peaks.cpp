// The peak overview's storage and its per-column summary.
#include "core/waveform_peaks.h"

#include <algorithm>

namespace snipora {

WaveformPeaks::WaveformPeaks(const PeakLayout& layout) : layout_(layout) {
    // Reserved once from the estimate, so that growing never holds two copies at a time.
    ranges_.reserve(static_cast<std::size_t>(std::max<std::int64_t>(layout.expectedBuckets, 0)));
}

std::int64_t WaveformPeaks::coveredMs() const {
    if (!layout_.valid()) {
        return 0;
    }
    return bucketCount() * layout_.bucketSamples * 1000 / layout_.rate;
}

void WaveformPeaks::append(const std::vector<PeakRange>& ranges) {
    ranges_.insert(ranges_.end(), ranges.begin(), ranges.end());
}

void WaveformPeaks::replace(std::int64_t first, const std::vector<PeakRange>& ranges) {
    const auto from = static_cast<std::size_t>(std::clamp<std::int64_t>(first, 0, bucketCount()));
    const std::size_t overlap = std::min(ranges.size(), ranges_.size() - from);
    std::copy_n(ranges.begin(), overlap, ranges_.begin() + static_cast<std::ptrdiff_t>(from));
    ranges_.insert(ranges_.end(), ranges.begin() + static_cast<std::ptrdiff_t>(overlap),
                   ranges.end());
}

std::vector<std::optional<PeakRange>> WaveformPeaks::columns(std::int64_t fromMs, std::int64_t toMs,
                                                             int columnCount) const {
    std::vector<std::optional<PeakRange>> result(
        static_cast<std::size_t>(std::max(columnCount, 0)));
    if (!layout_.valid() || columnCount <= 0 || toMs <= fromMs || ranges_.empty()) {
        return result;
    }
    // Bucket boundaries in milliseconds are fractions; working in samples keeps them exact.
    const auto bucketAt = [this](std::int64_t ms) {
        return std::max<std::int64_t>(ms, 0) * layout_.rate / 1000 / layout_.bucketSamples;
    };
    const std::int64_t span = toMs - fromMs;
    for (int column = 0; column < columnCount; ++column) {
        const std::int64_t begin = fromMs + span * column / columnCount;
        const std::int64_t end = fromMs + span * (column + 1) / columnCount;
        const std::int64_t first = bucketAt(begin);
        const std::int64_t last = std::max(first, bucketAt(end - 1));
        if (first >= bucketCount()) {
            continue;
        }
        PeakRange range = ranges_[static_cast<std::size_t>(first)];
        for (std::int64_t i = first + 1; i <= std::min(last, bucketCount() - 1); ++i) {
            const PeakRange& next = ranges_[static_cast<std::size_t>(i)];
            range.low = std::min(range.low, next.low);
            range.high = std::max(range.high, next.high);
        }
        result[static_cast<std::size_t>(column)] = range;
    }
    return result;
}

} // namespace snipora
