// The "mpegvideo" device: playback state and heard position over a decoder and an output.
#include "platform/mci/mpeg_video_device.h"

#include "platform/logging.h"

#include "platform/mci/mci_status.h"
#include "platform/mci/paced_output.h"

#include <algorithm>

namespace snipora::mci {

namespace {
// An output that has not got a stretch going this long after its start is taken as stuck.
constexpr auto startLimit = std::chrono::milliseconds(1000);
// A playing output whose heard position stands still this long, with sound left to hear, is
// taken as stalled.
constexpr auto stallLimit = std::chrono::milliseconds(1500);
// When an output never reports its last frames as heard, the end is taken this long after
// they should have been.
constexpr auto endGrace = std::chrono::milliseconds(500);
} // namespace

// The decoder, shared by the device and every stretch an output's thread may still hold. Only
// the current stretch reads it: one an output has not let go of yet gets nothing, so it can
// neither move the decoder nor be heard after its stop.
class MpegVideoDevice::Decoding {
public:
    explicit Decoding(std::unique_ptr<MpegDecoder> decoder) : decoder_(std::move(decoder)) {}

    // Moves to `frame` and gives the number of the stretch that may read from there; reading
    // jumps as `skip` says, inside the decoding, so that no sample is lost or repeated there.
    std::uint64_t begin(std::int64_t frame, std::optional<FrameSkip> skip) {
        const std::lock_guard lock(mutex_);
        decoder_->seek(frame);
        position_ = frame;
        skip_ = skip;
        return ++current_;
    }
    // No stretch reads any more.
    void end() {
        const std::lock_guard lock(mutex_);
        ++current_;
    }
    std::size_t read(std::uint64_t stretch, std::int16_t* out, std::size_t maxFrames) {
        const std::lock_guard lock(mutex_);
        if (stretch != current_) {
            return 0;
        }
        jumpIfDue();
        if (skip_) {
            maxFrames =
                std::min<std::size_t>(maxFrames, static_cast<std::size_t>(skip_->at - position_));
        }
        const std::size_t got = decoder_->read(out, maxFrames);
        position_ += static_cast<std::int64_t>(got);
        jumpIfDue();
        return got;
    }

private:
    void jumpIfDue() {
        if (skip_ && position_ >= skip_->at) {
            decoder_->seek(skip_->to);
            position_ = skip_->to;
            skip_.reset();
        }
    }

    std::mutex mutex_;
    std::unique_ptr<MpegDecoder> decoder_;
    std::uint64_t current_ = 0;
    std::int64_t position_ = 0; // the frame the decoder reads next
    std::optional<FrameSkip> skip_;
};

// One stretch of the file as an output's source, from its first frame to the end.
class MpegVideoDevice::Stretch final : public PcmSource {
public:
    Stretch(std::shared_ptr<Decoding> decoding, std::uint64_t number, std::int64_t frames)
        : decoding_(std::move(decoding)), number_(number), frames_(frames) {}

    std::size_t readFrames(std::int16_t* out, std::size_t maxFrames) override {
        const std::size_t got = decoding_->read(number_, out, maxFrames);
        if (got == 0) {
            exhausted_.store(true);
        } else {
            handed_.fetch_add(static_cast<std::int64_t>(got));
        }
        return got;
    }

    std::int64_t framesLeft() const override {
        return exhausted_.load() ? 0 : std::max<std::int64_t>(frames_ - handed_.load(), 0);
    }

    std::int64_t handed() const { return handed_.load(); }
    bool exhausted() const { return exhausted_.load(); }

private:
    const std::shared_ptr<Decoding> decoding_;
    const std::uint64_t number_;
    const std::int64_t frames_;
    std::atomic<std::int64_t> handed_{0};
    std::atomic<bool> exhausted_{false};
};

MpegVideoDevice::OpenResult MpegVideoDevice::open(const QByteArray& path,
                                                  const AudioOutputFactory& outputs) {
    MpegDecoder::OpenResult opened = MpegDecoder::open(path);
    if (!opened.decoder) {
        return {nullptr, opened.status};
    }
    std::unique_ptr<AudioOutput> output = outputs ? outputs() : nullptr;
    if (!output) {
        qCInfo(logAudio) << "no sound output; playing through the silent output";
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
    decoding_ = std::make_shared<Decoding>(std::move(decoder));
    stretch_ = std::make_shared<Stretch>(decoding_, 0, 0);
}

MpegVideoDevice::~MpegVideoDevice() {
    // An output's thread that still holds the stretch reads nothing more; the decoder goes
    // with the last holder.
    endStretch();
    output_.reset();
}

std::int64_t MpegVideoDevice::toFrame(std::int64_t ms) const {
    // Rounded up, so that the millisecond read back from this frame is `ms` itself.
    return (ms * format_.rate + 999) / 1000;
}

std::int64_t MpegVideoDevice::toMs(std::int64_t frame) const {
    return frame * 1000 / format_.rate;
}

void MpegVideoDevice::watchOutput() {
    if (state_ == State::Stopped) {
        return;
    }
    const SteadyClock::time_point now = SteadyClock::now();
    const bool started = output_->started();
    if (output_->failed() || (!started && now - stretchBegan_ > startLimit)) {
        fallBack();
        return;
    }
    if (state_ != State::Playing || !started || stretch_->exhausted()) {
        // Nothing is due to be heard yet, or the end is near: no stall to look for.
        lastMoved_ = now;
        return;
    }
    const std::int64_t heard = currentFrame();
    if (heard != lastHeard_) {
        lastHeard_ = heard;
        lastMoved_ = now;
        restartedAfterStall_ = false;
        return;
    }
    if (now - lastMoved_ < stallLimit) {
        return;
    }
    // Playing, sound left, and nothing more heard: a sink that is never woken, or one a sound
    // server holds. A fresh start of the stretch from what was heard wakes the one; the other
    // does not start or stalls again, and the paced output takes over.
    if (restartedAfterStall_) {
        fallBack();
    } else {
        restartedAfterStall_ = true;
        startStretch(heard, skipAhead());
    }
}

void MpegVideoDevice::fallBack() {
    // Go on in silence, in real time, from what was last heard.
    const std::int64_t heard = currentFrame();
    const bool paused = state_ == State::Paused;
    const std::optional<FrameSkip> skip = skipAhead();
    endStretch();
    qCInfo(logAudio) << "the sound output stalled; playing on through the silent output";
    output_ = std::make_unique<PacedOutput>();
    startStretch(heard, skip);
    if (paused && state_ == State::Playing) {
        output_->pause();
        state_ = State::Paused;
    }
}

void MpegVideoDevice::noticeEnd() {
    watchOutput();
    if (state_ != State::Playing || !stretch_->exhausted()) {
        return;
    }
    const std::int64_t handed = stretch_->handed();
    const std::int64_t unheard = handed - std::min(output_->framesPlayed(), handed);
    const SteadyClock::time_point now = SteadyClock::now();
    if (!endSeenAt_) {
        endSeenAt_ = now;
        unheardAtEnd_ = unheard;
    }
    // Heard to the end, but for what a sound server may leave unreported: its rounding and
    // part of its last period.
    const bool heard = unheard <= format_.rate / 100;
    // A server may also hold the last frames back for good. What was unheard when the end was
    // first seen is counted from then, never from what is heard later, so that the end is
    // never taken while sound is still coming.
    const auto due =
        *endSeenAt_ + std::chrono::microseconds(unheardAtEnd_ * 1'000'000 / format_.rate);
    if (heard || now > due + endGrace) {
        endStretch();
        state_ = State::Stopped;
        stoppedAt_ = lengthFrames_;
    }
}

std::int64_t MpegVideoDevice::currentFrame() {
    if (state_ == State::Stopped) {
        return stoppedAt_;
    }
    const std::int64_t played = std::min(output_->framesPlayed(), stretch_->handed());
    if (skip_ && played >= skip_->at - stretchStart_) {
        return std::min(skip_->to + played - (skip_->at - stretchStart_), lengthFrames_);
    }
    return std::min(stretchStart_ + played, lengthFrames_);
}

void MpegVideoDevice::endStretch() {
    output_->stop();
    decoding_->end();
    endSeenAt_.reset();
}

std::optional<MpegVideoDevice::FrameSkip> MpegVideoDevice::skipAhead() {
    if (!skip_ || state_ == State::Stopped) {
        return std::nullopt;
    }
    const std::int64_t played = std::min(output_->framesPlayed(), stretch_->handed());
    return played < skip_->at - stretchStart_ ? skip_ : std::nullopt;
}

void MpegVideoDevice::startStretch(std::int64_t frame, std::optional<FrameSkip> skip) {
    endStretch();
    frame = std::clamp<std::int64_t>(frame, 0, lengthFrames_);
    if (skip) {
        skip->to = std::clamp<std::int64_t>(skip->to, 0, lengthFrames_);
        // A place never reached (before the start, or at or past the end) makes no jump.
        if (skip->at < frame || skip->at >= lengthFrames_) {
            skip.reset();
        } else if (skip->at == frame) {
            // The jump comes before any sound: it is a start from its far side.
            frame = skip->to;
            skip.reset();
        }
    }
    skip_ = skip;
    if (frame >= lengthFrames_) {
        // Nothing left to hear: playing from the end is over at once.
        state_ = State::Stopped;
        stoppedAt_ = lengthFrames_;
        return;
    }
    const std::int64_t frames =
        skip ? (skip->at - frame) + (lengthFrames_ - skip->to) : lengthFrames_ - frame;
    stretch_ = std::make_shared<Stretch>(decoding_, decoding_->begin(frame, skip), frames);
    stretchStart_ = frame;
    stretchBegan_ = SteadyClock::now();
    lastHeard_ = frame;
    lastMoved_ = stretchBegan_;
    if (!output_->start(format_, stretch_)) {
        // The sound device went away: keep playing in silence, in real time.
        qCInfo(logAudio) << "the sound output did not start; playing on through the silent output";
        output_ = std::make_unique<PacedOutput>();
        output_->start(format_, stretch_);
    }
    state_ = State::Playing;
}

std::uint32_t MpegVideoDevice::play(std::optional<std::int64_t> fromMs, std::optional<Skip> skip) {
    const std::lock_guard lock(mutex_);
    noticeEnd();
    if (skip) {
        startStretch(fromMs ? toFrame(*fromMs) : currentFrame(),
                     FrameSkip{toFrame(skip->atMs), toFrame(skip->toMs)});
        return Ok;
    }
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
        lastMoved_ = SteadyClock::now();
        break;
    case State::Stopped:
        startStretch(stoppedAt_);
        break;
    }
    return Ok;
}

std::uint32_t MpegVideoDevice::seek(std::int64_t ms) {
    const std::lock_guard lock(mutex_);
    endStretch();
    state_ = State::Stopped;
    stoppedAt_ = std::clamp<std::int64_t>(toFrame(ms), 0, lengthFrames_);
    return Ok;
}

std::uint32_t MpegVideoDevice::stop() {
    const std::lock_guard lock(mutex_);
    noticeEnd();
    if (state_ != State::Stopped) {
        stoppedAt_ = currentFrame();
        endStretch();
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
        endSeenAt_.reset(); // the time paused is no time for the last frames to be heard in
    }
    return Ok;
}

std::uint32_t MpegVideoDevice::resume() {
    const std::lock_guard lock(mutex_);
    noticeEnd();
    if (state_ == State::Paused) {
        output_->resume();
        state_ = State::Playing;
        lastMoved_ = SteadyClock::now();
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
