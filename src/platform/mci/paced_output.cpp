// The null and capturing outputs: sound consumed in real time on their own thread.
#include "platform/mci/paced_output.h"

#include <algorithm>

namespace snipora::mci {

namespace {
// The thread wakes this often while playing and keeps this much sound handed over ahead.
constexpr auto period = std::chrono::milliseconds(20);
constexpr std::int64_t leadPeriods = 2;
// The largest piece read in one go, so a stop() never waits for more than one piece.
constexpr std::size_t pieceFrames = 1152;
} // namespace

PacedOutput::PacedOutput() : thread_([this] { run(); }) {}

PacedOutput::~PacedOutput() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool PacedOutput::start(const PcmFormat& format, std::shared_ptr<PcmSource> source) {
    {
        const std::lock_guard lock(mutex_);
        format_ = format;
        source_.swap(source); // the last stretch's source goes when this returns, outside the lock
        handed_ = 0;
        exhausted_ = false;
        drained_ = false;
        playedBefore_ = {};
        playingSince_ = Clock::now();
        state_ = State::Playing;
        buffer_.resize(pieceFrames * static_cast<std::size_t>(std::max(format.channels, 1)));
        stretchBegins();
    }
    wake_.notify_all();
    return true;
}

void PacedOutput::pause() {
    const std::lock_guard lock(mutex_);
    if (state_ == State::Playing) {
        playedBefore_ += Clock::now() - playingSince_;
        state_ = State::Paused;
    }
}

void PacedOutput::resume() {
    {
        const std::lock_guard lock(mutex_);
        if (state_ != State::Paused) {
            return;
        }
        playingSince_ = Clock::now();
        state_ = State::Playing;
    }
    wake_.notify_all();
}

void PacedOutput::stop() {
    // The thread reads the source only while holding the lock, so once it is taken here
    // no read is under way and none follows.
    std::shared_ptr<PcmSource> source;
    const std::lock_guard lock(mutex_);
    state_ = State::Idle;
    source.swap(source_);
}

std::int64_t PacedOutput::framesPlayed() {
    const std::lock_guard lock(mutex_);
    return playedLocked(Clock::now());
}

std::int64_t PacedOutput::playedLocked(Clock::time_point now) const {
    if (state_ == State::Idle) {
        return 0;
    }
    Clock::duration elapsed = playedBefore_;
    if (state_ == State::Playing) {
        elapsed += now - playingSince_;
    }
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    return std::min(handed_, micros * format_.rate / 1'000'000);
}

void PacedOutput::handed(const std::int16_t* samples, std::size_t frames, int channels) {
    (void)samples;
    (void)frames;
    (void)channels;
}

void PacedOutput::run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (state_ != State::Playing || source_ == nullptr || drained_) {
            wake_.wait(lock);
            continue;
        }
        const Clock::time_point now = Clock::now();
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
                                 playedBefore_ + (now - playingSince_))
                                 .count();
        const std::int64_t periodFrames =
            std::chrono::duration_cast<std::chrono::microseconds>(period).count() * format_.rate /
            1'000'000;
        const std::int64_t target = elapsed * format_.rate / 1'000'000 + leadPeriods * periodFrames;
        while (!exhausted_ && handed_ < target) {
            const auto want = static_cast<std::size_t>(
                std::min<std::int64_t>(target - handed_, static_cast<std::int64_t>(pieceFrames)));
            const std::size_t got = source_->readFrames(buffer_.data(), want);
            if (got == 0) {
                exhausted_ = true;
                break;
            }
            handed(buffer_.data(), got, format_.channels);
            handed_ += static_cast<std::int64_t>(got);
        }
        if (exhausted_ && playedLocked(now) >= handed_) {
            // Everything was heard: no more wake-ups until the next stretch.
            drained_ = true;
            continue;
        }
        wake_.wait_until(lock, now + period);
    }
}

std::vector<std::int16_t> CapturingOutput::captured() {
    const std::lock_guard lock(recordMutex_);
    return record_;
}

int CapturingOutput::capturedChannels() {
    const std::lock_guard lock(recordMutex_);
    return channels_;
}

void CapturingOutput::handed(const std::int16_t* samples, std::size_t frames, int channels) {
    const std::lock_guard lock(recordMutex_);
    channels_ = channels;
    record_.insert(record_.end(), samples, samples + frames * static_cast<std::size_t>(channels));
}

void CapturingOutput::stretchBegins() {
    const std::lock_guard lock(recordMutex_);
    record_.clear();
}

} // namespace snipora::mci
