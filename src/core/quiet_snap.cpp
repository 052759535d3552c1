// Snapping marks to quiet: libmpg123 decodes half a second around each mark, from its frame index.
#include "core/quiet_snap.h"
#include "core/core_text.h"

#include "platform/mpeg/mpg123_file.h"

#include <mpg123.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace snipora {

namespace {
std::size_t distance(std::size_t a, std::size_t b) {
    return a > b ? a - b : b - a;
}

std::int64_t frameSum(std::span<const std::int16_t> samples, int channels, std::size_t frame) {
    std::int64_t sum = 0;
    for (int c = 0; c < channels; ++c) {
        sum += samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
    }
    return sum;
}
} // namespace

std::size_t quietestRun(std::span<const std::int16_t> samples, int channels, std::size_t runFrames,
                        std::size_t nearFrame) {
    if (channels <= 0 || runFrames == 0) {
        return 0;
    }
    const std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
    if (frames < runFrames) {
        return 0;
    }
    const auto energy = [&](std::size_t frame) {
        std::int64_t sum = 0;
        for (int c = 0; c < channels; ++c) {
            const std::int64_t value =
                samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
            sum += value * value;
        }
        return sum;
    };
    // A sliding sum over the run: exact in 64 bits for any run a file can hold.
    std::int64_t running = 0;
    for (std::size_t i = 0; i < runFrames; ++i) {
        running += energy(i);
    }
    std::size_t best = 0;
    std::int64_t bestEnergy = running;
    const auto middle = [runFrames](std::size_t start) {
        return start + runFrames / 2;
    };
    for (std::size_t start = 1; start + runFrames <= frames; ++start) {
        running += energy(start + runFrames - 1) - energy(start - 1);
        if (running < bestEnergy ||
            (running == bestEnergy &&
             distance(middle(start), nearFrame) < distance(middle(best), nearFrame))) {
            best = start;
            bestEnergy = running;
        }
    }
    return best;
}

std::optional<std::size_t> zeroCrossingIn(std::span<const std::int16_t> samples, int channels,
                                          std::size_t from, std::size_t to, std::size_t nearFrame) {
    if (channels <= 0) {
        return std::nullopt;
    }
    to = std::min(to, samples.size() / static_cast<std::size_t>(channels));
    std::optional<std::size_t> found;
    for (std::size_t frame = std::max<std::size_t>(from, 1); frame < to; ++frame) {
        const std::int64_t before = frameSum(samples, channels, frame - 1);
        const std::int64_t here = frameSum(samples, channels, frame);
        const bool crosses = here == 0 || (before < 0) != (here < 0);
        if (crosses && (!found || distance(frame, nearFrame) < distance(*found, nearFrame))) {
            found = frame;
        }
    }
    return found;
}

std::optional<std::vector<SnappedMark>>
snapToQuiet(int fd, const std::vector<std::int64_t>& marksMs, bool zeroCrossing, QString* error) {
    mpeg::BufferedReader reader(fd);
    const mpeg::Mpg123Handle handle = mpeg::newMpg123Handle();
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (handle) {
        // As the player does: enough frames decoded unheard before a seek's target that its
        // bit reservoir is whole.
        mpg123_param(handle.get(), MPG123_PREFRAMES, 10, 0.0);
        mpeg::acceptSigned16Only(handle.get());
    }
    // Without the index a seek would land near, not on, the sample asked for.
    if (!handle || !mpeg::openThrough(handle.get(), reader) ||
        mpg123_scan(handle.get()) != MPG123_OK ||
        mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels <= 0) {
        *error = CoreText::tr("the file cannot be decoded as MPEG audio");
        return std::nullopt;
    }
    const std::int64_t length = mpg123_length(handle.get());
    const std::int64_t reach = snapReachMs * rate / 1000;
    const auto run =
        static_cast<std::size_t>(std::max<std::int64_t>(quietStretchMs * rate / 1000, 1));
    std::vector<SnappedMark> snapped;
    std::vector<std::int16_t> sound;
    for (const std::int64_t ms : marksMs) {
        const std::int64_t mark = std::clamp<std::int64_t>(ms * rate / 1000, 0, length);
        // The run may reach half its length past either end of the reach, so that the middle
        // of the quietest run is at most 250 ms away.
        const std::int64_t from = std::max<std::int64_t>(mark - reach - std::int64_t(run) / 2, 0);
        const std::int64_t to = std::min<std::int64_t>(
            mark + reach + std::int64_t(run) - std::int64_t(run) / 2, length);
        sound.assign(static_cast<std::size_t>(std::max<std::int64_t>(to - from, 0)) *
                         static_cast<std::size_t>(channels),
                     0);
        std::size_t filled = 0;
        if (mpg123_seek(handle.get(), static_cast<off_t>(from), SEEK_SET) < 0) {
            *error = CoreText::tr("the file cannot be decoded near %1 ms").arg(ms);
            return std::nullopt;
        }
        while (filled < sound.size()) {
            std::size_t bytes = 0;
            const int result = mpg123_read(handle.get(), sound.data() + filled,
                                           (sound.size() - filled) * sizeof(std::int16_t), &bytes);
            filled += bytes / sizeof(std::int16_t);
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
                break; // the end of the stream, or a frame that cannot be read: what came counts
            }
        }
        sound.resize(filled - filled % static_cast<std::size_t>(channels));
        const auto near = static_cast<std::size_t>(mark - from);
        const std::size_t start = quietestRun(sound, channels, run, near);
        std::size_t chosen =
            sound.size() / static_cast<std::size_t>(channels) >= run ? start + run / 2 : near;
        if (zeroCrossing) {
            chosen = zeroCrossingIn(sound, channels, start, start + run, chosen).value_or(chosen);
        }
        const std::int64_t sample = from + std::int64_t(chosen);
        snapped.push_back({sample, (sample * 1000 + rate / 2) / rate});
    }
    return snapped;
}

} // namespace snipora
