// The output to the sound device: QAudioSink, written to or pulled from, on an audio thread.
#pragma once

#include "platform/mci/audio_output.h"

#include <atomic>
#include <cstdint>
#include <memory>

class QThread;

namespace snipora::mci {

class DeviceLookup;

// The sink, the device it pulls from and every call on them live on the audio thread, so the
// sound keeps flowing while the window's thread is busy or waiting. Commands are posted to that
// thread and never waited for: a sound server that stops answering holds up the audio thread
// only. What the window asks (frames played, started, failed) comes from atomics the audio
// thread keeps up to date. The device comes from a lookup that may not have ended yet: the audio
// thread waits for it, and a stretch started meanwhile stays unstarted.
class SinkOutput final : public AudioOutput {
public:
    explicit SinkOutput(std::shared_ptr<DeviceLookup> device);
    // Returns at once too: the audio thread ends, and frees itself, once it gets to it; one
    // still waiting for the device lookup stops waiting.
    ~SinkOutput() override;
    SinkOutput(const SinkOutput&) = delete;
    SinkOutput& operator=(const SinkOutput&) = delete;

    bool start(const PcmFormat& format, std::shared_ptr<PcmSource> source) override;
    void pause() override;
    void resume() override;
    void stop() override;
    std::int64_t framesPlayed() override;
    bool started() override;
    bool failed() override;

    // What the audio thread reports, stamped with the stretch it is about, so that news of an
    // earlier stretch arriving late is never taken for news of the current one.
    class Progress;

private:
    class Worker;
    std::shared_ptr<Progress> progress_;
    std::shared_ptr<DeviceLookup> device_;
    std::shared_ptr<std::atomic<bool>> abandoned_; // the audio thread waits for nothing more
    std::uint32_t stretch_ = 0;                    // the current stretch's number
    std::atomic<bool> paused_{false}; // the count stands still from the pause command on
    std::atomic<std::int64_t> heldAt_{0};
    std::uint32_t hold_ = 0; // counts pauses and resumes, so that no count spans one
    QThread* thread_;        // deletes itself once finished
    Worker* worker_;         // lives on thread_ and is deleted there
};

} // namespace snipora::mci
