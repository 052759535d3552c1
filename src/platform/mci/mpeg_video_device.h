// The "mpegvideo" device: one open MP3 file, its playback state, and its position as heard.
#pragma once

#include "platform/mci/audio_output.h"
#include "platform/mci/mpeg_decoder.h"

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

namespace snipora::mci {

// Thread-safe: commands may come from any thread while the output's thread decodes, and no
// command waits on the output's thread. Positions and lengths are milliseconds. Positions past
// the end are taken as the end. The position is what has been heard: the output's played
// frames, never what was decoded ahead. At the end of the media the mode turns to "stopped"
// with the position at the length.
// The device watches its output whenever it is asked anything: an output that has not started
// a stretch within a second, that gave up, or that has heard nothing more for a while though
// sound is due, is replaced by the paced null output from the heard position (a stall is first
// given one fresh start of its stretch on the same output).
class MpegVideoDevice {
public:
    struct OpenResult {
        std::unique_ptr<MpegVideoDevice> device; // empty on failure
        std::uint32_t status = 0;
    };
    static OpenResult open(const QByteArray& path, const AudioOutputFactory& outputs);
    ~MpegVideoDevice();
    MpegVideoDevice(const MpegVideoDevice&) = delete;
    MpegVideoDevice& operator=(const MpegVideoDevice&) = delete;

    // A jump inside one stretch of play: on reaching `atMs` the sound goes on from `toMs`, the
    // first sample from there following the last one before at once.
    struct Skip {
        std::int64_t atMs = 0;
        std::int64_t toMs = 0;
    };

    // Plays from `fromMs`, or on from the current position (a paused device resumes). With a
    // skip, a new stretch starts (from the current position when no `fromMs` is given) that
    // jumps as it says; a skip whose place lies before the start, or at or past the
    // end, is left out.
    std::uint32_t play(std::optional<std::int64_t> fromMs, std::optional<Skip> skip = {});
    // Moves to `ms` and leaves the device stopped there.
    std::uint32_t seek(std::int64_t ms);
    // Stops and keeps the position.
    std::uint32_t stop();
    std::uint32_t pause();
    std::uint32_t resume();

    std::int64_t lengthMs();
    std::int64_t positionMs();
    std::string_view mode();

private:
    using SteadyClock = std::chrono::steady_clock;
    enum class State { Stopped, Playing, Paused };
    class Decoding;
    class Stretch;

    MpegVideoDevice(std::unique_ptr<MpegDecoder> decoder, std::unique_ptr<AudioOutput> output);

    // The callers hold mutex_.
    void watchOutput();
    void fallBack();
    void noticeEnd();
    std::int64_t currentFrame();
    // A skip in frames: at `at`, on from `to`.
    struct FrameSkip {
        std::int64_t at = 0;
        std::int64_t to = 0;
    };
    void startStretch(std::int64_t frame, std::optional<FrameSkip> skip = {});
    // The current stretch's skip while it is still to come.
    std::optional<FrameSkip> skipAhead();
    void endStretch();
    std::int64_t toFrame(std::int64_t ms) const;
    std::int64_t toMs(std::int64_t frame) const;

    std::mutex mutex_;
    std::shared_ptr<Decoding> decoding_;
    std::shared_ptr<Stretch> stretch_; // shared with the output, whose thread may outlive it
    std::unique_ptr<AudioOutput> output_;
    PcmFormat format_;
    std::int64_t lengthFrames_ = 0;
    State state_ = State::Stopped;
    std::int64_t stoppedAt_ = 0;    // the position while stopped
    std::int64_t stretchStart_ = 0; // where the output's current stretch began
    std::optional<FrameSkip> skip_; // the current stretch's jump, nullopt without one
    SteadyClock::time_point stretchBegan_;
    // The last heard position seen while sound was due, and when it last moved.
    std::int64_t lastHeard_ = 0;
    SteadyClock::time_point lastMoved_;
    bool restartedAfterStall_ = false;
    // When the device first saw the source exhausted, and how much was then still unheard.
    std::optional<SteadyClock::time_point> endSeenAt_;
    std::int64_t unheardAtEnd_ = 0;
};

} // namespace snipora::mci
