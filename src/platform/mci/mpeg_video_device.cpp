// The "mpegvideo" device: playback state and heard position over a decoder and an output.
#include "platform/mci/mpeg_video_device.h"

#include "platform/mci/mci_status.h"
#include "platform/mci/paced_output.h"

#include <algorithm>

namespace snipora::mci {

namespace {
using SteadyClock = std::chrono::steady_clock;
// When an output never reports its last frames as heard, the end is taken this long after
// they should have been.
constexpr auto endGrace = std::chrono::milliseconds(500);
} // namespace

// The decoder as the output's source: decoding happens on the output's thread, commands
// move it in between under the same lock.
class MpegVideoDevice::Stream final : public PcmSource {
public:
    explicit Stream(std::unique_ptr<MpegDecoder> decoder) : decoder_(std::move(decoder)) {}

    std::size_t readFrames(std::int16_t* out, std::size_t maxFrames) override {
        std::size_t got = 0;
        {
            const std::lock_guard lock(mutex_);
            got = decoder_->read(out, maxFrames);
        }
        if (got == 0) {
            if (!exhausted_.exchange(true)) {
                exhaustedAt_.store(SteadyClock::now().time_since_epoch().count());
            }
        } else {
            handed_.fetch_add(static_cast<std::int64_t>(got));
        }
        return got;
    }

    std::int64_t framesLeft() const override {
        return exhausted_.load() ? 0 : std::max<std::int64_t>(left_.load() - handed_.load(), 0);
    }

    // Only while no output reads.
    void restartAt(std::int64_t frame) {
        const std::lock_guard lock(mutex_);
        decoder_->seek(frame);
        left_.store(decoder_->lengthFrames() - frame);
        handed_.store(0);
        exhausted_.store(false);
    }

    std::int64_t handed() const { return handed_.load(); }
    bool exhausted() const { return exhausted_.load(); }
    SteadyClock::time_point exhaustedAt() const {
        return SteadyClock::time_point(SteadyClock::duration(exhaustedAt_.load()));
    }

private:
    std::mutex mutex_;
    std::unique_ptr<MpegDecoder> decoder_;
    std::atomic<std::int64_t> handed_{0};
    std::atomic<std::int64_t> left_{0}; // at the start of the stretch
    std::atomic<bool> exhausted_{false};
    std::atomic<SteadyClock::rep> exhaustedAt_{0};
};

MpegVideoDevice::OpenResult MpegVideoDevice::open(const QByteArray& path,
                                                  const AudioOutputFactory& outputs) {
    MpegDecoder::OpenResult opened = MpegDecoder::open(path);
    if (!opened.decoder) {
        return {nullptr, opened.status};
    }
    std::unique_ptr<AudioOutput> output = outputs ? outputs() : nullptr;
    if (!output) {
        output = std::make_unique<PacedOutput>();
    }
    return {std::unique_ptr<MpegVideoDevice>(
                new MpegVideoDevice(std::move(opened.decoder), std::move(output))),
            Ok};
}

MpegVideoDevice::MpegVideoDevice(std::unique_ptr<MpegDecoder> decoder,
                                 std::unique_ptr<AudioOutput> output)
    : output_(std::move(output)) {
    format_ = PcmFormat{decoder->rate(), decoder->channels()};
    lengthFrames_ = decoder->lengthFrames();
    stream_ = std::make_unique<Stream>(std::move(decoder));
}

MpegVideoDevice::~MpegVideoDevice() {
    // The output's thread must be done with the stream before the stream goes.
    output_->stop();
    output_.reset();
}

std::int64_t MpegVideoDevice::toFrame(std::int64_t ms) const {
    // Rounded up, so that the millisecond read back from this frame is `ms` itself.
    return (ms * format_.rate + 999) / 1000;
}

std::int64_t MpegVideoDevice::toMs(std::int64_t frame) const {
    return frame * 1000 / format_.rate;
}

void MpegVideoDevice::noticeFailure() {
    if (state_ == State::Stopped || !output_->failed()) {
        return;
    }
    // The sound device went away mid-stretch: go on in silence from what was last heard.
    const std::int64_t heard = currentFrame();
    const bool paused = state_ == State::Paused;
    output_->stop();
    output_ = std::make_unique<PacedOutput>();
    startStretch(heard);
    if (paused && state_ == State::Playing) {
        output_->pause();
        state_ = State::Paused;
    }
}

void MpegVideoDevice::noticeEnd() {
    noticeFailure();
    if (state_ != State::Playing || !stream_->exhausted()) {
        return;
    }
    const std::int64_t handed = stream_->handed();
    const std::int64_t played = output_->framesPlayed();
    const auto due = stream_->exhaustedAt() +
                     std::chrono::microseconds((handed - played) * 1'000'000 / format_.rate);
    // A sound server may hold the last few frames back without reporting them heard.
    if (played >= handed || SteadyClock::now() > due + endGrace) {
        output_->stop();
        state_ = State::Stopped;
        stoppedAt_ = lengthFrames_;
    }
}

std::int64_t MpegVideoDevice::currentFrame() {
    if (state_ == State::Stopped) {
        return stoppedAt_;
    }
    const std::int64_t played = std::min(output_->framesPlayed(), stream_->handed());
    return std::min(stretchStart_ + played, lengthFrames_);
}

void MpegVideoDevice::startStretch(std::int64_t frame) {
    output_->stop();
    frame = std::clamp<std::int64_t>(frame, 0, lengthFrames_);
    if (frame >= lengthFrames_) {
        // Nothing left to hear: playing from the end is over at once.
        state_ = State::Stopped;
        stoppedAt_ = lengthFrames_;
        return;
    }
    stream_->restartAt(frame);
    stretchStart_ = frame;
    if (!output_->start(format_, *stream_)) {
        // The sound device went away: keep playing in silence, in real time.
        output_ = std::make_unique<PacedOutput>();
        output_->start(format_, *stream_);
    }
    state_ = State::Playing;
}

std::uint32_t MpegVideoDevice::play(std::optional<std::int64_t> fromMs) {
    const std::lock_guard lock(mutex_);
    noticeEnd();
    if (fromMs) {
        startStretch(toFrame(*fromMs));
        return Ok;
    }
    switch (state_) {
    case State::Playing:
        break;
    case State::Paused:
        output_->resume();
        state_ = State::Playing;
        break;
    case State::Stopped:
        startStretch(stoppedAt_);
        break;
    }
    return Ok;
}

std::uint32_t MpegVideoDevice::seek(std::int64_t ms) {
    const std::lock_guard lock(mutex_);
    output_->stop();
    state_ = State::Stopped;
    stoppedAt_ = std::clamp<std::int64_t>(toFrame(ms), 0, lengthFrames_);
    return Ok;
}

std::uint32_t MpegVideoDevice::stop() {
    const std::lock_guard lock(mutex_);
    noticeEnd();
    if (state_ != State::Stopped) {
        stoppedAt_ = currentFrame();
        output_->stop();
        state_ = State::Stopped;
    }
    return Ok;
}

std::uint32_t MpegVideoDevice::pause() {
    const std::lock_guard lock(mutex_);
    noticeEnd();
    if (state_ == State::Playing) {
        output_->pause();
        state_ = State::Paused;
    }
    return Ok;
}

std::uint32_t MpegVideoDevice::resume() {
    const std::lock_guard lock(mutex_);
    noticeEnd();
    if (state_ == State::Paused) {
        output_->resume();
        state_ = State::Playing;
    }
    return Ok;
}

std::int64_t MpegVideoDevice::lengthMs() {
    const std::lock_guard lock(mutex_);
    return toMs(lengthFrames_);
}

std::int64_t MpegVideoDevice::positionMs() {
    const std::lock_guard lock(mutex_);
    noticeEnd();
    return toMs(currentFrame());
}

std::string_view MpegVideoDevice::mode() {
    const std::lock_guard lock(mutex_);
    noticeEnd();
    switch (state_) {
    case State::Playing:
        return "playing";
    case State::Paused:
        return "paused";
    case State::Stopped:
        break;
    }
    return "stopped";
}

} // namespace snipora::mci
