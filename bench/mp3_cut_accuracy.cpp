// Where a cut's decoded samples sit in its source's, both decoded by libmpg123 in gapless mode.
// Usage: bench_mp3_cut_accuracy SOURCE CUT START_MS END_MS
// Prints the start error and the end error in samples (the cut's first and one-past-last sample
// against the marks), the mean difference per sample where it matches best, and the decoder's
// failed reads. A cut that matches nowhere within 8192 samples prints "none".
#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {
struct Decoded {
    std::vector<std::int16_t> samples;
    int channels = 1;
    long rate = 0;
    int errors = 0;
};

Decoded decode(const char* path) {
    Decoded decoded;
    int error = 0;
    const std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> handle(
        mpg123_new(nullptr, &error), mpg123_delete);
    mpg123_handle* mh = handle.get();
    mpg123_param(mh, MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_format_none(mh);
    for (const long rate :
         {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L}) {
        mpg123_format(mh, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    int encoding = 0;
    if (mpg123_open(mh, path) != MPG123_OK ||
        mpg123_getformat(mh, &decoded.rate, &decoded.channels, &encoding) != MPG123_OK) {
        decoded.errors = 1;
        return decoded;
    }
    mpg123_scan(mh);
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        std::size_t done = 0;
        const int result = mpg123_read(mh, buffer.data(), buffer.size(), &done);
        const auto old = decoded.samples.size();
        decoded.samples.resize(old + done / 2);
        std::memcpy(decoded.samples.data() + old, buffer.data(), done / 2 * 2);
        if (result == MPG123_DONE) {
            break;
        }
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            ++decoded.errors;
            break;
        }
    }
    return decoded;
}
} // namespace

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SOURCE CUT START_MS END_MS\n", argv[0]);
        return 2;
    }
    mpg123_init();
    const Decoded source = decode(argv[1]);
    const Decoded cut = decode(argv[2]);
    if (source.errors || cut.samples.empty() || cut.channels != source.channels) {
        std::printf("none none 0 %d\n", cut.errors);
        return 0;
    }
    const int ch = source.channels;
    const std::int64_t start = (std::atoll(argv[3]) * source.rate + 999) / 1000;
    const std::int64_t end = (std::atoll(argv[4]) * source.rate + 999) / 1000;
    const auto sourceFrames = static_cast<std::int64_t>(source.samples.size()) / ch;
    const auto cutFrames = static_cast<std::int64_t>(cut.samples.size()) / ch;
    // Compared over a stretch past the cut's first frames, where a decoder may still settle.
    const std::int64_t skip = std::min<std::int64_t>(2304, cutFrames / 2);
    const std::int64_t span = std::min<std::int64_t>(4096, cutFrames - skip);
    double best = 1e18;
    std::int64_t bestShift = 0;
    for (std::int64_t shift = -8192; shift <= 8192; ++shift) {
        const std::int64_t at = start + shift + skip;
        if (at < 0 || at + span > sourceFrames) {
            continue;
        }
        double sum = 0;
        for (std::int64_t i = 0; i < span && sum < best * static_cast<double>(span); ++i) {
            sum += std::abs(source.samples[static_cast<std::size_t>((at + i) * ch)] -
                            cut.samples[static_cast<std::size_t>((skip + i) * ch)]);
        }
        const double mean = sum / static_cast<double>(span);
        if (mean < best) {
            best = mean;
            bestShift = shift;
        }
    }
    if (best > 50) {
        std::printf("none none %.1f %d\n", best, cut.errors);
        return 0;
    }
    std::printf("%lld %lld %.2f %d\n", static_cast<long long>(bestShift),
                static_cast<long long>(start + bestShift + cutFrames - end), best, cut.errors);
    return 0;
}
