// The min/max overview of a file's sound: fixed buckets of a few MPEG frames, 8 bits a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace snipora {

// The lowest and highest sample of a stretch, scaled from 16 bits to -128..127.
struct PeakRange {
    std::int8_t low = 0;
    std::int8_t high = 0;
    friend bool operator==(PeakRange, PeakRange) = default;
};

// How the buckets map to time: every bucket holds the same number of samples.
struct PeakLayout {
    int rate = 0;                     // samples per second
    int bucketSamples = 0;            // samples per bucket
    std::int64_t expectedBuckets = 0; // the estimated total, to reserve once
    bool valid() const { return rate > 0 && bucketSamples > 0; }
};

// Filled from the start as the computation delivers; asked by the view for any stretch of time.
class WaveformPeaks {
public:
    WaveformPeaks() = default;
    explicit WaveformPeaks(const PeakLayout& layout);

    const PeakLayout& layout() const { return layout_; }
    std::int64_t bucketCount() const { return static_cast<std::int64_t>(ranges_.size()); }
    const PeakRange& bucket(std::int64_t index) const {
        return ranges_[static_cast<std::size_t>(index)];
    }
    // Milliseconds from the start of the file that the buckets so far cover.
    std::int64_t coveredMs() const;
    std::size_t memoryBytes() const { return ranges_.capacity() * sizeof(PeakRange); }

    void append(const std::vector<PeakRange>& ranges);
    // Puts `ranges` in place of the buckets from `first` on (a better picture of the same sound);
    // those beyond the buckets so far are appended.
    void replace(std::int64_t first, const std::vector<PeakRange>& ranges);
    const std::vector<PeakRange>& ranges() const { return ranges_; }
    // Gives back the memory reserved beyond what the file turned out to need.
    void finish() { ranges_.shrink_to_fit(); }

    // The min/max of each of `columnCount` equal slices of [fromMs, toMs): one per pixel column
    // of a view showing that stretch. A slice not yet covered is empty; a slice narrower than a
    // bucket takes the bucket it lies in.
    std::vector<std::optional<PeakRange>> columns(std::int64_t fromMs, std::int64_t toMs,
                                                  int columnCount) const;

private:
    PeakLayout layout_;
    std::vector<PeakRange> ranges_;
};

} // namespace snipora
