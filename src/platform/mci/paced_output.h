// Outputs without a sound device: the null output (real-time pacing, sound discarded) and the
// capturing output (the same pacing, keeping what it was handed).
#pragma once

#include "platform/mci/audio_output.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace snipora::mci {

// Consumes sound at the pace a sound card would, on a thread of its own, so that positions,
// the end of the media and everything built on them behave as with sound. It keeps a short
// lead of sound handed over but not yet "heard", as a device buffer does.
class PacedOutput : public AudioOutput {
public:
    PacedOutput();
    ~PacedOutput() override;
    PacedOutput(const PacedOutput&) = delete;
    PacedOutput& operator=(const PacedOutput&) = delete;

    bool start(const PcmFormat& format, std::shared_ptr<PcmSource> source) override;
    void pause() override;
    void resume() override;
    void stop() override;
    std::int64_t framesPlayed() override;

protected:
    // Sees every stretch of frames as it is handed over, on the output's thread.
    virtual void handed(const std::int16_t* samples, std::size_t frames, int channels);
    // A new stretch begins.
    virtual void stretchBegins() {}

private:
    using Clock = std::chrono::steady_clock;
    enum class State { Idle, Playing, Paused };

    void run();
    std::int64_t playedLocked(Clock::time_point now) const;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    State state_ = State::Idle;
    std::shared_ptr<PcmSource> source_;
    PcmFormat format_;
    std::int64_t handed_ = 0;
    bool exhausted_ = false;
    bool drained_ = false;
    Clock::time_point playingSince_;
    Clock::duration playedBefore_{};
    std::vector<std::int16_t> buffer_;
    std::thread thread_; // last: starts once everything above exists
};

// The paced output that records the current stretch: what a listener would have heard.
class CapturingOutput final : public PacedOutput {
public:
    // Stopped before the record goes, so the thread never hands frames to a dying object.
    ~CapturingOutput() override { stop(); }
    // The samples handed over since the last start(), interleaved.
    std::vector<std::int16_t> captured();
    int capturedChannels();

protected:
    void handed(const std::int16_t* samples, std::size_t frames, int channels) override;
    void stretchBegins() override;

private:
    std::mutex recordMutex_;
    std::vector<std::int16_t> record_;
    int channels_ = 0;
};

} // namespace snipora::mci
